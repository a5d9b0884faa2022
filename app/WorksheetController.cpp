#include "app/WorksheetController.h"

#include "app/History.h"
#include "app/Worksheet.h"
#include "dataset/DBErrors.h"
#include "oracle/Ora.h"

const char* const kAskPendingChanges = "Sollen die nicht best\xE4tigten \xC4nderungen \xFC"
                                       "bernommen werden?";

TWorksheetController::TWorksheetController(TOraSession& sess, TOraQuery& qry, THistory& history,
                                           IWorksheetView& view)
    : sess_(sess), qry_(&qry), history_(history), view_(view) {}

bool TWorksheetController::Execute(const std::string& editorText1252) {
    if (!BeginExecute(editorText1252)) return false;
    // 7. Execute; a failure leaves "..." and the buttons as they are.
    RunStatement();
    EndExecute(editorText1252);
    return true;
}

bool TWorksheetController::BeginExecute(const std::string& editorText1252) {
    // 1.-2. Detach and reset the grid while the statement is prepared.
    view_.SetGridAttached(false);
    view_.SetStatus(kStatusBusy);
    view_.ResetGrid();
    try {
        // 3. The query finds the parameters in the text.
        qry_->SetSQL(editorText1252);
        // 4. Parameter values.
        if (!AskParameterValues(qry_->Params())) {
            view_.SetGridAttached(true);
            return false;
        }
    } catch (...) {
        view_.SetGridAttached(true);
        throw;
    }
    // 5. Attach again.
    view_.SetGridAttached(true);

    // 6. Worksheet commands.
    const TPreparedStatement prepared = PrepareWorksheetStatement(editorText1252);
    if (prepared.kind != TPreparedStatement::Plain) qry_->SetSQL(prepared.sql);
    if (!prepared.message.empty()) view_.ShowMessage(prepared.message);
    return true;
}

bool TWorksheetController::AskParameterValues(TParams& params) {
    if (params.Count() == 0) return true;
    std::vector<std::pair<std::string, std::string>> nameValue;
    for (int i = 0; i < params.Count(); ++i)
        nameValue.emplace_back(params.Items(i)->Name, std::string());
    if (!view_.AskParameters(nameValue)) return false;
    for (int i = 0; i < params.Count() && i < int(nameValue.size()); ++i)
        params.Items(i)->SetAsString(nameValue[size_t(i)].second);
    return true;
}

void TWorksheetController::RunStatement() {
    qry_->Execute();
}

void TWorksheetController::EndExecute(const std::string& editorText1252) {
    // 8. Report.
    Report(qry_->RowsAffected(), editorText1252);
}

bool TWorksheetController::BeginScriptStatement(const std::string& text1252) {
    viaCommand_ = ScriptCommand && !IsQueryText(text1252);
    if (!viaCommand_) return BeginExecute(text1252);
    view_.SetStatus(kStatusBusy);
    ScriptCommand->SetSQL(text1252);
    return AskParameterValues(ScriptCommand->Params());
}

void TWorksheetController::RunScriptStatement() {
    if (viaCommand_)
        ScriptCommand->Execute();
    else
        qry_->Execute();
}

void TWorksheetController::EndScriptStatement(const std::string& text1252) {
    Report(viaCommand_ ? ScriptCommand->RowsAffected() : qry_->RowsAffected(), text1252);
}

void TWorksheetController::Report(int rows, const std::string& editorText1252) {
    lastRows_ = rows;
    if (rows >= 0) SetPending(true);
    std::string status = StatusTextFor(rows);
    // the rows fetched so far: the user sees that some values are not the server's characters
    if (!viaCommand_) status += SubstitutedValuesNote(qry_->SubstitutedValues());
    view_.SetStatus(status);

    // 9. History: the editor's text, not the rewritten SQL.
    history_.Record(editorText1252);
    view_.SetHistoryLabel(history_.LabelText());
}

void TWorksheetController::SetPending(bool on) {
    pending_ = on;
    view_.SetCommitRollbackEnabled(on);
}

void TWorksheetController::RunTransactionStatement(const char* sql, const char* status) {
    view_.SetStatus(kStatusBusy);
    qry_->SetSQL(sql);
    qry_->Execute();
    SetPending(false);
    view_.SetStatus(status);
}

void TWorksheetController::Commit() {
    if (!BeginTransactionStatement(true)) return;
    RunStatement();
    EndTransactionStatement(true);
}

void TWorksheetController::Rollback() {
    if (!BeginTransactionStatement(false)) return;
    RunStatement();
    EndTransactionStatement(false);
}

bool TWorksheetController::BeginTransactionStatement(bool commit) {
    if (!view_.AskYesNo(commit ? kAskCommit : kAskRollback)) return false;
    view_.SetStatus(kStatusBusy);
    qry_->SetSQL(commit ? "COMMIT" : "ROLLBACK");
    return true;
}

void TWorksheetController::EndTransactionStatement(bool commit) {
    SetPending(false);
    view_.SetStatus(commit ? kStatusCommitDone : kStatusRollbackDone);
}

void TWorksheetController::Refresh() {
    qry_->Refresh();
    if (BrowserQuery && BrowserQuery->Active()) BrowserQuery->Refresh();
}

bool TWorksheetController::SettlePendingChanges() {
    if (!pending_ || !sess_.Connected()) return true;
    switch (view_.AskYesNoCancel(kAskPendingChanges)) {
    case IWorksheetView::Yes:
        RunTransactionStatement("COMMIT", kStatusCommitDone);
        return true;
    case IWorksheetView::No:
        RunTransactionStatement("ROLLBACK", kStatusRollbackDone);
        return true;
    case IWorksheetView::Cancel:
        break;
    }
    return false;
}

void TWorksheetController::EndSession() {
    if (!sess_.Connected()) return;
    qry_->Close();
    // A disconnect ends the server session with a commit; whatever is still open was not chosen by the user.
    sess_.Rollback();
    SetPending(false);
}

IWorksheetView::TAnswer TWorksheetController::AskHowToEnd() {
    if (!pending_ || !sess_.Connected()) return IWorksheetView::No;
    return view_.AskYesNoCancel(kAskPendingChanges);
}

void TWorksheetController::EndOnServer(bool commit) {
    if (!sess_.Connected()) return;
    qry_->SetSQL(commit ? "COMMIT" : "ROLLBACK");
    qry_->Execute();
    qry_->Close();
}

void TWorksheetController::EndReported(bool commit) {
    if (!pending_) return;
    SetPending(false);
    view_.SetStatus(commit ? kStatusCommitDone : kStatusRollbackDone);
}

bool TWorksheetController::Reconnect() {
    try {
        sess_.Connect();
    } catch (const EAbort&) {
        return false;
    }
    return true;
}

bool TWorksheetController::LogOnAgain() {
    if (!SettlePendingChanges()) return false;
    EndSession();
    sess_.Disconnect();
    try {
        sess_.Connect();
    } catch (const EAbort&) {
        return false;
    }
    return true;
}

std::string TWorksheetController::LogonWarningText() {
    if (!sess_.Connected()) return std::string();
    TOCIConnection* c = sess_.OCIConnection();
    if (!c || c->LogonWarning().empty()) return std::string();
    return "Anmeldung mit Warnung: " + c->LogonWarning();
}

std::string TWorksheetController::ConnectionLabel() const {
    return sess_.Username() + "@" + sess_.Server() + " ";
}
