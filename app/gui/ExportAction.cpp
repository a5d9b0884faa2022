#include "app/gui/ExportAction.h"

#include "app/DataSetResult.h"
#include "app/gui/Cp1252Qt.h"
#include "app/gui/FExport.h"
#include "dataset/DB.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPointer>
#include <QProgressDialog>
#include <memory>

namespace {

// Escape (or closing the window) cancels, as the button does.
class TExportProgressDialog : public QProgressDialog {
public:
    using QProgressDialog::QProgressDialog;
    void reject() override { cancel(); }
};

// The worksheet as the export run sees it, with the progress window.
class TExportHost : public IExportWorksheet {
public:
    explicit TExportHost(const TExportWiring& w) : w_(w), result_(*w.query) {}
    ~TExportHost() override { delete progress_; }

    bool ExecuteEditorText(const std::string& text) override { return w_.execute(text); }
    IResultSource& Result() override { return result_; }
    void SetStatus(const std::string& text) override {
        if (w_.setStatus) w_.setStatus(QStringFrom1252(text));
    }
    void Repaint() override {
        if (w_.window) w_.window->repaint();
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

    bool Progress(const std::string& fileName, long records) override {
        const std::string text = ExportProgressText(fileName, records);
        SetStatus(text);
        if (fileName != file_) {
            file_ = fileName;
            clock_.start();
        }
        if (!progress_ && clock_.elapsed() >= w_.progressWindowAfterMs) {
            progress_ = new TExportProgressDialog(w_.window);
            progress_->setObjectName("ExportProgress");
            progress_->setWindowTitle(QString::fromUtf8("Export"));
            progress_->setCancelButtonText(QString::fromUtf8("Abbrechen"));
            progress_->setRange(0, 0);
            progress_->setMinimumDuration(0);
            progress_->setWindowModality(Qt::ApplicationModal);
            progress_->setAutoClose(false);
            progress_->setAutoReset(false);
            progress_->setMinimumWidth(420);
            progress_->show();
        }
        if (!progress_) {
            // Nothing can be clicked before the progress window is up: only painting goes on.
            QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
            return true;
        }
        progress_->setLabelText(QStringFrom1252(text));
        // The progress window is modal: what the user can reach now is its cancel button and Escape.
        QApplication::processEvents();
        return progress_ && !progress_->wasCanceled();
    }

private:
    const TExportWiring& w_;
    TDataSetResult result_;
    QPointer<QProgressDialog> progress_;
    std::string file_;
    QElapsedTimer clock_;
    bool detached_ = false;
};

} // namespace

TExportOutcome RunExportWith(const TExportWiring& wiring, const TExportSettings& settings) {
    TExportHost host(wiring);
    return RunExport(settings, host);
}

TExportOutcome RunExportAction(const TExportWiring& wiring) {
    TExportSettings settings;
    {
        TFExport form(*wiring.session, wiring.window, wiring.programFolder);
        if (form.exec() != QDialog::Accepted) return TExportOutcome::Cancelled;
        settings = form.Settings();
    }
    return RunExportWith(wiring, settings);
}
