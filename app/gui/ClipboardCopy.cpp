#include "app/gui/ClipboardCopy.h"

#include "app/DataSetResult.h"
#include "app/ResultText.h"
#include "app/gui/Cp1252Qt.h"
#include "app/gui/WorksheetRun.h"
#include "dataset/DB.h"
#include "grid/QxGridWork.h"

#include <QClipboard>
#include <QGuiApplication>

#include <atomic>
#include <memory>

namespace {

// A result read on the runner's thread: asks the stop test before every move to the next record (which may
// fetch) and counts the records read.
class TStoppableResult : public IResultSource {
public:
    TStoppableResult(IResultSource& inner, std::function<bool()> stop, std::atomic<long>& rows)
        : inner_(inner), stop_(std::move(stop)), rows_(rows) {}
    int FieldCount() override { return inner_.FieldCount(); }
    std::string FieldName(int index) override { return inner_.FieldName(index); }
    void First() override { inner_.First(); }
    bool Eof() override { return inner_.Eof(); }
    void Next() override {
        rows_.fetch_add(1, std::memory_order_relaxed);
        if (stop_ && stop_()) throw EWalkStopped();
        inner_.Next();
    }
    std::string FieldText(int index) override { return inner_.FieldText(index); }

private:
    IResultSource& inner_;
    std::function<bool()> stop_;
    std::atomic<long>& rows_;
};

} // namespace

QString ClipboardTextOf(IResultSource& source) {
    QString text;
    WalkResultText(source, "\t", true, false, [&text](std::string& buffer, long, bool done) {
        if (buffer.size() < (1 << 16) && !done) return;
        text += QStringFrom1252(buffer);
        buffer.clear();
    });
    source.First();
    return text;
}

void CopyResultToClipboard(TDataSet& query, TDataSource* dataSource) {
    // A closed query has no rows on the grid to detach from: the walk raises its error at once.
    if (!query.Active()) dataSource = nullptr;
    if (dataSource) dataSource->SetEnabled(false);
    try {
        TDataSetResult result(query);
        const QString text = ClipboardTextOf(result);
        QGuiApplication::clipboard()->setText(text, QClipboard::Clipboard);
    } catch (...) {
        if (dataSource) dataSource->SetEnabled(true);
        throw;
    }
    if (dataSource) dataSource->SetEnabled(true);
}

bool CopyResultToClipboard(TDataSet& query, TDataSource* dataSource, TWorksheetRun& run,
                           std::function<void(std::exception_ptr)> done) {
    if (!query.Active() || !run.Background) {
        std::exception_ptr error;
        try {
            CopyResultToClipboard(query, dataSource);
        } catch (...) {
            error = std::current_exception();
        }
        if (done) done(error);
        return true;
    }
    // The run detaches the grid itself; the text and the counter live until its end.
    struct TCopy {
        QString text;
        std::atomic<long> rows{0};
    };
    auto copy = std::make_shared<TCopy>();
    TWorksheetRun* r = &run;
    return run.RunInBackground(
        [copy, r, &query] {
            TDataSetResult result(query);
            TStoppableResult source(
                result, [r] { return r->StopRequested(); }, copy->rows);
            try {
                copy->text = ClipboardTextOf(source);
            } catch (...) {
                // A stopped walk leaves the query on its first record too (the rows are in the store).
                try {
                    result.First();
                } catch (...) {
                    // The walk's own error is the one to report.
                }
                throw;
            }
        },
        [copy, done = std::move(done)](std::exception_ptr error) {
            if (!error) QGuiApplication::clipboard()->setText(copy->text, QClipboard::Clipboard);
            if (done) done(error);
        },
        &copy->rows);
}
