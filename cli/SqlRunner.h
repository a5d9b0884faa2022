// The headless worksheet: runs statements through the worksheet's preparation on a session and a query set up
// like the worksheet's, and prints results, status texts and errors.
#pragma once

#include "app/History.h"
#include "app/WorksheetController.h"
#include "cli/CliOptions.h"

#include <cstdio>
#include <functional>
#include <memory>
#include <string>

class TOraSession;
class TOraQuery;

class TSqlRunner : private IWorksheetView {
public:
    // Output streams: `out` for results and status texts, `err` for errors, messages and timings.
    TSqlRunner(const TCliOptions& options, std::FILE* out, std::FILE* err);
    ~TSqlRunner() override;

    // Logs on in network mode with the worksheet's session settings (date format DD.MM.YYYY, German).
    void Connect(const std::string& user, const std::string& password, const std::string& server);

    // Runs one statement (Windows-1252 text as the editor would hold it). Errors are printed; returns false
    // when the statement failed.
    bool Run(const std::string& statement);

    // Commits (with --commit) or rolls back what is uncommitted; prints a line when changes were rolled back.
    void Finish();

    // Asks for a parameter value (terminal); returns false when there is none to be had.
    std::function<bool(const std::string& name, std::string& value)> AskParam;

    bool TerminalOutput = false; // table format by default, and text converted to UTF-8
    int Failures() const { return failures_; }

private:
    void Print(const std::string& text, bool toFile);
    void PrintResult();

    // The worksheet's view, on the terminal: values come from --param or are asked for, the SHOW PARAMETER
    // message goes to the error stream, and the window's controls have nothing to show here.
    void SetStatus(const std::string&) override {}
    void SetCommitRollbackEnabled(bool) override {}
    void SetHistoryLabel(const std::string&) override {}
    bool AskParameters(std::vector<std::pair<std::string, std::string>>& nameValue) override;
    void ShowMessage(const std::string& text1252) override;
    bool AskYesNo(const std::string&) override { return false; }
    void ResetGrid() override {}
    void SetGridAttached(bool) override {}

    const TCliOptions& opt_;
    std::FILE* out_;
    std::FILE* err_;
    std::FILE* file_ = nullptr;
    std::unique_ptr<TOraSession> session_;
    std::unique_ptr<TOraQuery> query_;
    THistory history_;
    std::unique_ptr<TWorksheetController> controller_;
    bool dirty_ = false;
    int failures_ = 0;
};
