// The handlers behind BtnExport (action Export) and BitBtn2 (action AusgabeinZwischenablage) on the
// worksheet.
#pragma once

#include "app/ExportPlan.h"

#include <QString>
#include <functional>
#include <string>

class QWidget;
class TDataSet;
class TDataSource;
class TOraSession;

// What the export needs of the worksheet window.
struct TExportWiring {
    QWidget* window = nullptr;
    TOraSession* session = nullptr;    // Sess
    TDataSet* query = nullptr;         // Qry
    TDataSource* dataSource = nullptr; // DatS, disabled while a file is written
    // Puts the text into the editor and runs the worksheet's Execute on it (status line, grid, history);
    // false when the parameter dialog was cancelled; server errors propagate.
    std::function<bool(const std::string& text1252)> execute;
    std::function<void(const QString&)> setStatus;
    std::string programFolder = ExportProgramFolder();
    // A file that takes longer than this gets the progress window with its cancel button.
    int progressWindowAfterMs = 400;
};

// Shows the export form; after OK runs the export, showing progress in the status line and, for a file that
// takes longer, in a small window whose button (or Escape) cancels. Failures propagate to the caller, which
// shows them; Cancel in the form does nothing. Returns what became of the export (Cancelled also when the
// form was cancelled).
TExportOutcome RunExportAction(const TExportWiring& wiring);

// Runs the export of settings as RunExportAction does after the form closed with OK.
TExportOutcome RunExportWith(const TExportWiring& wiring, const TExportSettings& settings);
