// A small in-memory server behind the record-set contracts, for the framework's tests.
//
// It serves rows from tables held in memory and records every call and property it receives in a log, so that
// tests can check the framework's call order. Its SQL is deliberately tiny:
//   SELECT * | col, ... FROM table [WHERE cond AND ...] [ORDER BY col [DESC], ...]
//   INSERT INTO table [(col, ...)] VALUES (expr, ...)
//   UPDATE table SET col = expr, ... [WHERE cond AND ...]
//   DELETE FROM table [WHERE cond AND ...]
// where cond is "col = expr" or "col IS NULL" and expr is :param, a number, a 'string' or NULL.
// Parameters bind by name (case-insensitive). Anything else fails with "unknown statement".
#pragma once

#include "dataset/QxAccess.h"

#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace testsrv {

struct TColumn {
    std::string Name;
    uint16_t DataType = dtString;
    uint16_t Length = 0;
};

struct TTable {
    std::vector<TColumn> Columns;
    std::vector<std::vector<Variant>> Rows;
    int ColumnIndex(const std::string& name) const; // -1 when absent
};

// The shared state of one test: tables, transaction snapshot, call log and injected behaviour.
class TTestDatabase {
public:
    std::map<std::string, TTable> Tables; // upper-case names
    std::vector<std::string> Log;

    void AddTable(const std::string& name, std::vector<TColumn> columns,
                  std::vector<std::vector<Variant>> rows);
    TTable& Table(const std::string& name);
    void Record(const std::string& entry) { Log.push_back(entry); }
    // Index of the first log entry equal to entry at or after from, or -1.
    int Find(const std::string& entry, size_t from = 0) const;
    int Count(const std::string& entry) const;
    // Log entries starting with prefix, in order.
    std::vector<std::string> With(const std::string& prefix) const;

    // Injected behaviour.
    std::string FailOnText; // a statement containing this text fails at execute
    std::string FailMessage = "server error";
    int FailCode = 0;               // error code of the injected failure
    int FailCloseCode = -1;         // >= 0: the next record-set close fails with this error code
    std::string FailConnectMessage; // non-empty: Connect fails with this message
    std::string FailCommitMessage;  // non-empty: Commit fails with this message
    bool ScanParams = false;        // commands report property 11 (they find parameters themselves)
    int ForceRowsAffected = -1;     // >= 0: DML reports this count instead of the real one
    bool Executing = false;         // commands report property 24 = this value
    std::string ValidPassword;      // non-empty: Connect refuses other passwords

    // Transactions: a snapshot of the tables taken at StartTransaction.
    bool InTransaction = false;
    std::map<std::string, TTable> Snapshot;
};

class TTestConnection;

// The result of one executed statement.
struct TResult {
    std::vector<TColumn> Columns;
    std::vector<std::vector<Variant>> Rows;
};

class TTestCommand : public TQxCommand {
public:
    explicit TTestCommand(TTestDatabase* db) : db_(db) {}
    void Prepare() override;
    void Unprepare() override;
    bool GetPrepared() override { return prepared_; }
    void Execute(int iterations) override;
    void SetConnection(TQxConnection* connection) override;
    void SetSQL(const std::string& text) override;
    int GetCursorState() override { return cursorState_; }
    void SetCursorState(int state) override { cursorState_ = state; }
    void SetProp(int code, const Variant& value) override;
    void GetProp(int code, Variant& value) override;
    void SetMethodProp(int code, TQxMethod method) override;

    // Statement kind after prepare: 0 unknown, 1 no rows, 2 rows.
    uint8_t Kind() const { return kind_; }
    const std::vector<TColumn>& Columns() const { return columns_; }
    TResult& Result() { return result_; }
    int RowsProcessed = 0;
    // A name for log entries ("cmd" or "rs.cmd").
    std::string Tag = "cmd";
    // Parses the statement (columns and kind) without logging.
    void Describe() { Parse(); }
    // Runs the statement on a background thread: no log entries, no callbacks; returns the error text or "".
    std::string RunDetached();

private:
    void Parse();
    void Run();
    Variant ParamValue(const std::string& name) const;

    TTestDatabase* db_;
    bool prepared_ = false;
    int cursorState_ = 0;
    uint8_t kind_ = 0;
    std::vector<TColumn> columns_;
    TResult result_;
};

class TTestRecordSet : public TQxRecordSet {
public:
    explicit TTestRecordSet(TTestDatabase* db);
    ~TTestRecordSet() override;
    // Non-blocking: the statement runs on a background thread and its completion is posted to the main thread
    // (GetMainThreadPoster), which then loads the rows and calls the after-execute and after-fetch callbacks.
    bool NonBlocking = false;
    void ExecuteAndFirstFetch() override;
    std::unique_ptr<TQxCommand> CreateCommand() override;
    void InternalPrepare() override;
    void InternalInitFields() override;
    void ExecCommand() override;
    void InternalClose() override;
    bool Fetch(bool fetchBack) override;
    void SetProp(int code, const Variant& value) override;
    void SetMethodProp(int code, TQxMethod method) override;
    TTestCommand* Cmd() { return static_cast<TTestCommand*>(GetCommand()); }
    int FetchCalls = 0;

private:
    TTestDatabase* db_;
    size_t cursor_ = 0; // next result row to fetch
    // Like a server cursor: a query executed outside an open is not executed again by the open that follows.
    bool opening_ = false;
    bool executedForOpen_ = false;
    // A background execution is running: its rows are not there yet, fetching finds nothing.
    bool running_ = false;
    std::thread worker_;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

class TTestConnection : public TQxConnection {
public:
    explicit TTestConnection(TTestDatabase* db) : db_(db) {}
    void Connect(const std::string& connectString) override;
    void Disconnect() override;
    void StartTransaction() override;
    void Commit() override;
    void Rollback() override;
    void SetProp(int code, const Variant& value) override;
    void SetMethodProp(int code, TQxMethod method) override;
    std::unique_ptr<TQxCommand> CreateCommand() override;
    std::unique_ptr<TQxRecordSet> CreateRecordSet() override;
    TTestDatabase* Database() const { return db_; }
    // Calls the error callback (101) and then raises the error, as a server layer does.
    [[noreturn]] void RaiseServerError(const std::string& message, int code = 0);

private:
    TTestDatabase* db_;
    TQxMethod onError_;
};

} // namespace testsrv
