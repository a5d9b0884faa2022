// The worksheet's Execute sequence, commit, rollback, refresh and logging on again, without a window. The
// worksheet window, vestra-sql and the tests implement IWorksheetView.
#pragma once

#include <string>
#include <utility>
#include <vector>

class TOraSession;
class TOraQuery;
class TOraSQL;
class TParams;
class TDataSet;
class THistory;

class IWorksheetView {
public:
    virtual ~IWorksheetView() = default;
    virtual void SetStatus(const std::string& text1252) = 0;
    virtual void SetCommitRollbackEnabled(bool on) = 0;
    virtual void SetHistoryLabel(const std::string& text) = 0;
    // One pair per parameter in parameter order, values empty; false when the user cancelled.
    virtual bool AskParameters(std::vector<std::pair<std::string, std::string>>& nameValue) = 0;
    virtual void ShowMessage(const std::string& text1252) = 0;
    // A Yes/No box captioned "Vestra".
    virtual bool AskYesNo(const std::string& question1252) = 0;
    enum TAnswer { Yes, No, Cancel };
    // A Yes/No/Cancel box captioned "Vestra"; views without a third button answer through AskYesNo.
    virtual TAnswer AskYesNoCancel(const std::string& question1252) {
        return AskYesNo(question1252) ? Yes : No;
    }
    // ClearSortList, ClearColumnFilters, Filtered := False.
    virtual void ResetGrid() = 0;
    // The data source enabled (grid attached to the query) or disabled.
    virtual void SetGridAttached(bool on) = 0;
};

class TWorksheetController {
public:
    TWorksheetController(TOraSession& sess, TOraQuery& qry, THistory& history, IWorksheetView& view);

    // The whole Execute sequence on the editor's whole text; false when the parameter dialog was cancelled.
    // Server errors propagate as exceptions; the status line keeps "..." then and nothing is recorded.
    bool Execute(const std::string& editorText1252);
    // Execute in three parts, for a window that runs the server call on another thread: BeginExecute runs
    // the steps up to the worksheet commands (false when the parameter dialog was cancelled), RunStatement
    // the server call (it touches only the query and the session), EndExecute the report and the history.
    bool BeginExecute(const std::string& editorText1252);
    void RunStatement();
    void EndExecute(const std::string& editorText1252);
    // A script's statement in the same three parts: a query (or a worksheet command) runs as Execute does;
    // any other statement runs through ScriptCommand when there is one, so that the grid keeps the last
    // query's rows. Parameters, report, C and R and the history are those of Execute.
    bool BeginScriptStatement(const std::string& text1252);
    void RunScriptStatement();
    void EndScriptStatement(const std::string& text1252);
    TOraSQL* ScriptCommand = nullptr;
    // Commit and rollback in the same three parts: BeginTransactionStatement asks and sets the statement
    // (false: the user said No), RunStatement runs it, EndTransactionStatement reports.
    bool BeginTransactionStatement(bool commit);
    void EndTransactionStatement(bool commit);
    // Ask first ("COMMIT ausführen?" / "ROLLBACK ausführen?"); anything but Yes does nothing.
    void Commit();
    void Rollback();
    // Re-runs the query's open statement (a closed query raises the data set's error), and the schema
    // browser's query when it is open.
    void Refresh();
    // Logs on again through the session's connect dialog. Uncommitted changes are settled first as the user
    // chooses; false when the user cancelled that question or the dialog (the session then stays as it is, or
    // disconnected after a cancelled dialog).
    bool LogOnAgain();
    // Asks "Sollen die nicht bestätigten Änderungen übernommen werden?" while C and R are enabled: Yes
    // commits, No rolls back, Cancel returns false and changes nothing. Without pending changes it returns
    // true at once.
    bool SettlePendingChanges();
    // Rolls back what the worksheet does not know as pending, so that a disconnect never commits implicitly.
    void EndSession();
    // Ending the session in three parts, for a window that runs the server calls off the GUI thread and
    // under a time limit (closing, logging on again). AskHowToEnd asks the pending-changes question when C
    // and R are enabled: Cancel; otherwise whether to commit (Yes) or roll back (No, and always without
    // pending changes, so that a disconnect never commits implicitly). EndOnServer runs that statement and
    // touches only the query and the session; EndReported updates the buttons and the status line.
    IWorksheetView::TAnswer AskHowToEnd();
    void EndOnServer(bool commit);
    void EndReported(bool commit);
    // Connects the session again through its connect dialog; false when the user cancelled it.
    bool Reconnect();

    // "USER@server "
    std::string ConnectionLabel() const;
    // What to tell the user after a logon the server accepted with a warning (the password expires soon:
    // "Anmeldung mit Warnung: ORA-28002: ..."); empty after a plain logon.
    std::string LogonWarningText();
    bool PendingChanges() const { return pending_; }
    // RowsAffected of the last successful Execute (-1 after a result set).
    int LastRowsAffected() const { return lastRows_; }
    // The schema browser's list query, refreshed with the worksheet's result when it is open.
    TDataSet* BrowserQuery = nullptr;

    TOraSession& Session() { return sess_; }
    TOraQuery& Query() { return *qry_; }
    // The worksheet query of the current tab; never while a statement runs.
    void SetQuery(TOraQuery& qry) { qry_ = &qry; }
    THistory& History() { return history_; }

private:
    void RunTransactionStatement(const char* sql, const char* status);
    // Asks for the values of the parameters; false when the user cancelled.
    bool AskParameterValues(TParams& params);
    void Report(int rows, const std::string& editorText1252);
    void SetPending(bool on);

    TOraSession& sess_;
    TOraQuery* qry_;
    THistory& history_;
    IWorksheetView& view_;
    bool pending_ = false;
    int lastRows_ = -1;
    bool viaCommand_ = false;
};

extern const char* const kAskPendingChanges; // "Sollen die nicht bestätigten Änderungen übernommen werden?"
