// The handlers behind BtnExport (action Export) and BitBtn2 (action AusgabeinZwischenablage) on the
// worksheet.
#pragma once

#include "app/ExportPlan.h"

#include <QString>
#include <atomic>
#include <exception>
#include <functional>
#include <string>

class QWidget;
class TDataSource;
class TOraQuery;
class TOraSession;

// What the export needs of the worksheet window. The wiring is copied: the export may outlive the call
// that started it.
struct TExportWiring {
    QWidget* window = nullptr;
    TOraSession* session = nullptr;    // Sess
    TOraQuery* query = nullptr;        // Qry
    TDataSource* dataSource = nullptr; // DatS, disabled while a file is written
    // The worksheet's Execute in its parts (TWorksheetController's BeginExecute, RunStatement, EndExecute);
    // beginExecute puts the text into the editor first and is false when the parameter dialog was
    // cancelled; server errors propagate from runStatement.
    std::function<bool(const std::string& text1252)> beginExecute;
    std::function<void()> runStatement;
    std::function<void(const std::string& text1252)> endExecute;
    // TWorksheetRun::RunInBackground; empty: the work runs here, at once.
    std::function<bool(std::function<void()> work, std::function<void(std::exception_ptr)> done,
                       const std::atomic<long>* rows)>
        runInBackground;
    // TWorksheetRun::StopRequested and Stop (the progress window's cancel button).
    std::function<bool()> stopRequested;
    std::function<void()> stop;
    std::function<void(const QString&)> setStatus;
    // Shows the progress of the file being written over the status line while the work runs off the GUI
    // thread; an empty text takes it away. Empty: setStatus shows it.
    std::function<void(const QString&)> showProgress;
    std::string programFolder = ExportProgramFolder();
    // A file that takes longer than this gets the progress window with its cancel button.
    int progressWindowAfterMs = 400;
};

// Shows the export form; after OK starts the export, showing progress over the status line and, for a file
// that takes longer, in a small window whose button (or Escape) cancels. finished follows on the GUI thread
// with the outcome and the failure (nullptr), which the caller shows; Cancel in the form gives Cancelled
// at once.
void StartExportAction(const TExportWiring& wiring, TExportFinished finished);
// Starts the export of settings as StartExportAction does after the form closed with OK.
void StartExportWith(const TExportWiring& wiring, const TExportSettings& settings, TExportFinished finished);

// The same, waiting for the end (a local event loop turns while the work runs off the GUI thread); failures
// propagate to the caller.
TExportOutcome RunExportAction(const TExportWiring& wiring);
TExportOutcome RunExportWith(const TExportWiring& wiring, const TExportSettings& settings);
