#include "app/gui/ExportAction.h"

#include "app/DataSetResult.h"
#include "app/gui/Cp1252Qt.h"
#include "app/gui/FExport.h"
#include "dataset/DB.h"
#include "oracle/Ora.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QPointer>
#include <QProgressDialog>
#include <QThread>
#include <QTimer>
#include <memory>
#include <stdexcept>

namespace {

// Escape (or closing the window) cancels, as the button does.
class TExportProgressDialog : public QProgressDialog {
public:
    using QProgressDialog::QProgressDialog;
    void reject() override { cancel(); }
};

// The worksheet as the export run sees it, with the progress window. The work's thread calls only
// Result, RunStatement (the query's own), Progress and StopRequested; everything else is the GUI thread's.
class TExportHost : public IExportWorksheet {
public:
    explicit TExportHost(const TExportWiring& w)
        : w_(w), result_(*w.query), fetchRows_(*w.query), window_(w.window) {
        ticker_.setInterval(200);
        QObject::connect(&ticker_, &QTimer::timeout, [this] { Tick(); });
    }
    ~TExportHost() override { End(); }

    // The export has ended (or was dropped with the window): the query's own fetch size comes back, the
    // progress window and the progress text go.
    void End() {
        if (ended_) return;
        ended_ = true;
        ticker_.stop();
        ShowProgress(QString());
        delete progress_;
        try {
            fetchRows_.Restore();
        } catch (...) {
            // The query keeps the export's size; nothing the user could act on.
        }
    }

    bool BeginExecute(const std::string& text) override {
        if (progress_) progress_->setLabelText(QStringFrom1252("... " + text));
        if (!w_.beginExecute(text)) return false;
        // The table comes in large blocks. The statement's own text already in the query left its result
        // open: Execute would close it first anyway.
        if (w_.query->Active()) w_.query->Close();
        fetchRows_.Use();
        return true;
    }
    void RunStatement() override { w_.runStatement(); }
    void EndExecute(const std::string& text) override { w_.endExecute(text); }
    IResultSource& Result() override { return result_; }
    void SetStatus(const std::string& text) override {
        if (w_.setStatus) w_.setStatus(QStringFrom1252(text));
    }
    void Repaint() override {
        if (!window_) return;
        // With the work off the GUI thread the event loop paints on its own (the status line has painted
        // already); a full paint here would only hold the loop up.
        if (w_.runInBackground)
            window_->update();
        else
            window_->repaint();
    }
    void SetGridAttached(bool on) override {
        if (!w_.dataSource) return;
        if (!on) {
            // A closed query has no rows on the grid to detach from (the walk raises its error at once).
            detached_ = w_.query->Active();
            if (detached_) w_.dataSource->SetEnabled(false);
        } else if (detached_) {
            w_.dataSource->SetEnabled(true);
            detached_ = false;
        }
    }
    std::string PathText(const std::string& path) override {
        return QStringTo1252(QFile::decodeName(QByteArray::fromStdString(path)));
    }

    void RunWork(std::function<void()> work, std::function<void(std::exception_ptr)> done,
                 const std::atomic<long>* records) override {
        if (!w_.runInBackground) return IExportWorksheet::RunWork(std::move(work), std::move(done), records);
        QThread* gui = QThread::currentThread();
        auto wrapped = [this, gui, work = std::move(work)] {
            background_.store(QThread::currentThread() != gui);
            work();
        };
        if (!w_.runInBackground(std::move(wrapped), std::move(done), records))
            throw std::runtime_error("Es l\xC3\xA4uft bereits eine Anweisung.");
    }
    bool StopRequested() override {
        return background_.load() && (cancelAsked_.load() || (w_.stopRequested && w_.stopRequested()));
    }

    void WriteStarted(const std::string& shownName, const std::atomic<long>& records) override {
        file_ = shownName;
        records_ = &records;
        clock_.start();
        ticker_.start();
    }
    void WriteEnded() override {
        ticker_.stop();
        records_ = nullptr;
        ShowProgress(QString());
    }

    // On the work's thread. Off the GUI thread only the stop counts (the GUI thread shows the count
    // itself); on it, the status line and the progress window are kept up to date here and the events
    // that reach them are handled.
    bool Progress(const std::string& fileName, long records) override {
        if (background_.load()) return true;
        const std::string text = ExportProgressText(fileName, records);
        SetStatus(text);
        if (!progress_ && clock_.elapsed() >= w_.progressWindowAfterMs) OpenProgressWindow(true);
        if (!progress_) {
            // Nothing can be clicked before the progress window is up: only painting goes on.
            QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
            return true;
        }
        progress_->setLabelText(QStringFrom1252(text));
        // The progress window is modal here: what the user can reach now is its cancel button and Escape.
        QApplication::processEvents();
        return progress_ && !progress_->wasCanceled();
    }

private:
    void ShowProgress(const QString& text) {
        if (!window_) return;
        if (w_.showProgress)
            w_.showProgress(text);
        else if (!text.isEmpty())
            w_.setStatus(text);
    }

    void OpenProgressWindow(bool modal) {
        progress_ = new TExportProgressDialog(window_);
        progress_->setObjectName("ExportProgress");
        progress_->setWindowTitle(QString::fromUtf8("Export"));
        progress_->setCancelButtonText(QString::fromUtf8("Abbrechen"));
        progress_->setRange(0, 0);
        progress_->setMinimumDuration(0);
        progress_->setWindowModality(modal ? Qt::ApplicationModal : Qt::NonModal);
        progress_->setAutoClose(false);
        progress_->setAutoReset(false);
        progress_->setMinimumWidth(420);
        if (!modal)
            QObject::connect(progress_, &QProgressDialog::canceled, [this] {
                // The break ends a server call in progress; the flag ends the walk at its next check.
                cancelAsked_.store(true);
                if (w_.stop) w_.stop();
            });
        progress_->show();
    }

    // GUI thread, while a file is written off it: the count the work raises, over the status line and in
    // the progress window.
    void Tick() {
        if (!records_ || !background_.load()) return;
        const QString text =
            QStringFrom1252(ExportProgressText(file_, records_->load(std::memory_order_relaxed)));
        ShowProgress(text);
        if (!progress_ && clock_.elapsed() >= w_.progressWindowAfterMs) OpenProgressWindow(false);
        if (progress_) progress_->setLabelText(text);
    }

    const TExportWiring w_;
    TDataSetResult result_;
    TExportFetchRows fetchRows_;
    QPointer<QWidget> window_;
    QPointer<QProgressDialog> progress_;
    QTimer ticker_;
    QElapsedTimer clock_;
    std::string file_;
    const std::atomic<long>* records_ = nullptr;
    // Whether the current work runs off the GUI thread: set by the work when it starts, read by it and,
    // after it, by the GUI thread.
    std::atomic<bool> background_{false};
    // The progress window's cancel, set on the GUI thread and read by the work.
    std::atomic<bool> cancelAsked_{false};
    bool detached_ = false;
    bool ended_ = false;
};

} // namespace

void StartExportWith(const TExportWiring& wiring, const TExportSettings& settings, TExportFinished finished) {
    auto host = std::make_shared<TExportHost>(wiring);
    StartExport(settings, *host, [host, finished](TExportOutcome outcome, std::exception_ptr error) {
        host->End();
        if (finished) finished(outcome, error);
    });
}

void StartExportAction(const TExportWiring& wiring, TExportFinished finished) {
    TExportSettings settings;
    {
        TFExport form(*wiring.session, wiring.window, wiring.programFolder);
        if (form.exec() != QDialog::Accepted) {
            if (finished) finished(TExportOutcome::Cancelled, nullptr);
            return;
        }
        settings = form.Settings();
    }
    StartExportWith(wiring, settings, std::move(finished));
}

namespace {

// Runs start and waits for its end: at once when the work ran here, otherwise in a local event loop.
TExportOutcome WaitFor(const std::function<void(TExportFinished)>& start) {
    struct TEnd {
        bool ended = false;
        TExportOutcome outcome = TExportOutcome::Done;
        std::exception_ptr error;
        QEventLoop loop;
    };
    auto end = std::make_shared<TEnd>();
    start([end](TExportOutcome outcome, std::exception_ptr error) {
        end->ended = true;
        end->outcome = outcome;
        end->error = error;
        end->loop.quit();
    });
    if (!end->ended) end->loop.exec();
    if (end->error) std::rethrow_exception(end->error);
    return end->outcome;
}

} // namespace

TExportOutcome RunExportAction(const TExportWiring& wiring) {
    return WaitFor([&wiring](TExportFinished finished) { StartExportAction(wiring, std::move(finished)); });
}

TExportOutcome RunExportWith(const TExportWiring& wiring, const TExportSettings& settings) {
    return WaitFor([&wiring, &settings](TExportFinished finished) {
        StartExportWith(wiring, settings, std::move(finished));
    });
}
