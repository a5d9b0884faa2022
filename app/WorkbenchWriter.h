// How the table workbench writes a row back without harm: it never commits the worksheet's unconfirmed
// changes, it writes nothing over a row another session changed or deleted since it was read, and it reads a
// written row back only where the key columns identify it. Qt-free; the workbench window installs it on its
// query.
#pragma once

#include "dataset/DEDozivo.h"

#include <functional>
#include <string>

class TOraQuery;
class TOraUpdateSQL;
namespace schema {
class TWorkbenchStatements;
}

// Messages (Windows-1252).
extern const char* const kWorkbenchWorksheetPending; // the worksheet holds changes the user has not confirmed
extern const char* const kWorkbenchRowChanged;       // "%s": the first column found changed
extern const char* const kWorkbenchRowGone;
extern const char* const kWorkbenchRowNotUnique;
extern const char* const kWorkbenchRowLocked;
extern const char* const kWorkbenchRowSubstituted; // the row holds characters shown as '?'

class TWorkbenchWriter {
public:
    // Installs itself on the query's BeforeEdit, BeforePost, BeforeDelete and BeforeUpdateExecute; the
    // statements are the workbench's, read at each use (they follow the table and the key columns chosen).
    TWorkbenchWriter(TOraQuery& query, TOraUpdateSQL& update, const schema::TWorkbenchStatements& statements);
    ~TWorkbenchWriter();
    TWorkbenchWriter(const TWorkbenchWriter&) = delete;
    TWorkbenchWriter& operator=(const TWorkbenchWriter&) = delete;

    // True while the worksheet holds changes the user has not committed or rolled back (its C and R are
    // enabled). Both windows share one session, and a post commits: while this says true, posts and deletes
    // are refused with kWorkbenchWorksheetPending and nothing is written; while it says false, a write
    // refused because the row changed ends the session's transaction (releasing the row's lock). Unset:
    // never pending, and a refused write leaves the transaction to the next commit or rollback.
    std::function<bool()> WorksheetHasPendingChanges;

private:
    void BeforeEdit();
    void BeforePost();
    void BeforeDelete();
    void BeforeWrite(TStatementTypes kinds);
    void RefuseWhileWorksheetPending();
    // The refresh statement for the coming refresh: the workbench's where the key columns hold values that
    // will choose exactly one row, else none (the row then shows what was posted).
    void ChooseRefresh(bool useOld, int othersAllowed);
    // Locks the row as it was read and compares every column with the values read.
    void CheckUnchanged(bool useOld);

    TOraQuery& q_;
    TOraUpdateSQL& update_;
    const schema::TWorkbenchStatements& statements_;
};
