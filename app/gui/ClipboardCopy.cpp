#include "app/gui/ClipboardCopy.h"

#include "app/DataSetResult.h"
#include "app/ResultText.h"
#include "app/gui/Cp1252Qt.h"
#include "dataset/DB.h"

#include <QClipboard>
#include <QGuiApplication>

#include <atomic>
#include <memory>

namespace {

// A result read on the runner's thread: checks for a stop before every move to the next record (which may
// fetch) and counts the records read.
class TStoppableResult : public IResultSource {
public:
    TStoppableResult(IResultSource& inner, std::function<void()> checkStop, std::atomic<long>& rows)
        : inner_(inner), stop_(std::move(checkStop)), rows_(rows) {}
    int FieldCount() override { return inner_.FieldCount(); }
    std::string FieldName(int index) override { return inner_.FieldName(index); }
    void First() override { inner_.First(); }
    bool Eof() override { return inner_.Eof(); }
    void Next() override {
        rows_.fetch_add(1, std::memory_order_relaxed);
        if (stop_) stop_();
        inner_.Next();
    }
    std::string FieldText(int index) override { return inner_.FieldText(index); }

private:
    IResultSource& inner_;
    std::function<void()> stop_;
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

bool CopyResultToClipboard(TDataSet& query, TDataSource* dataSource, const TRunInBackground& run,
                           std::function<void()> checkStop, std::function<void(std::exception_ptr)> done) {
    if (!query.Active() || !run) {
        std::exception_ptr error;
        try {
            CopyResultToClipboard(query, dataSource);
        } catch (...) {
            error = std::current_exception();
        }
        if (done) done(error);
        return true;
    }
    // The grid lets go here, so that it stays detached also when run runs the walk at once on this thread.
    if (dataSource) dataSource->SetEnabled(false);
    struct TCopy {
        QString text;
        std::atomic<long> rows{0};
    };
    auto copy = std::make_shared<TCopy>();
    const bool started = run(
        [copy, checkStop = std::move(checkStop), &query] {
            TDataSetResult result(query);
            TStoppableResult source(result, checkStop, copy->rows);
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
        [copy, dataSource, done = std::move(done)](std::exception_ptr error) {
            if (dataSource) dataSource->SetEnabled(true);
            if (!error) QGuiApplication::clipboard()->setText(copy->text, QClipboard::Clipboard);
            if (done) done(error);
        },
        &copy->rows);
    if (!started && dataSource) dataSource->SetEnabled(true);
    return started;
}
