// The SQL side of the emulator: one engine per session over its own SQLite connection, the database shared by
// all sessions, Oracle-to-SQLite translation, dictionary views, transactions and the few PL/SQL blocks
// clients send.
#pragma once
#include "emulator/EmuCrypt.h"
#include "emulator/EmuErrors.h"
#include "emulator/EmuLexer.h"
#include "emulator/EmuO5Logon.h"
#include "emulator/EmuServer.h"
#include "emulator/EmuValues.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace vemu {

// The text of a result column; a NULL (or a failed conversion) gives the empty text.
std::string ColumnText(sqlite3_stmt* st, int column);

// Oracle type codes as the describe reports them.
enum OraType : int {
    kOraVarchar2 = 1,
    kOraNumber = 2,
    kOraLong = 8,
    kOraRowid = 11,
    kOraDate = 12,
    kOraRaw = 23,
    kOraLongRaw = 24,
    kOraChar = 96,
    kOraClob = 112,
    kOraBlob = 113,
    kOraCursor = 102,
};

// Column type as declared (parsed from the declared type text kept in SQLite).
struct ColumnType {
    int type = kOraVarchar2;
    int size = 4000;
    int precision = 0;
    int scale = 0;
    bool scaleGiven = false;
    // What the current protocol describes beyond the classic type: its own type number (0: the classic
    // one), the leading and fractional digits of date-times and intervals, and national text.
    int wire = 0;
    int wireLead = 0, wireFraction = 0;
    bool national = false;
};
ColumnType ParseDeclType(const std::string& decl);
std::string
DeclTypeText(const ColumnType& t); // as stored in SQLite (affinity-safe) and shown by the dictionary

struct ColumnMeta {
    std::string name;
    ColumnType t;
    bool nullable = true;
    std::string originTable, originColumn; // where a plain column comes from (for LOB locators)
};

// A value on its way between the wire and SQLite.
struct Value {
    enum Kind { Null, Int, Real, Text, Blob } kind = Null;
    long long i = 0;
    double r = 0;
    std::string s; // Text: UTF-8; Blob: bytes
    bool isDate = false;
    bool isLocator = false; // s holds a LOB locator
    bool fixedChar = false; // a bind of a fixed-length character type (compared blank-padded)
};

// The ROWID parts the emulator shows for a row of a table (object number, file, block, row).
struct RowidParts {
    unsigned long long object = 0, file = 4, block = 0, row = 0;
};
RowidParts RowidOf(const std::string& sqliteTable, long long rowid);

// Days since 1899-12-30 (the date form kept in SQLite, so that date arithmetic is plain arithmetic).
double DayNumberFromDateTime(const DateTime& dt);
DateTime DateTimeFromDayNumber(double d);

struct Account {
    std::string name;
    Block8 hash;                 // the classic logon's DES hash
    PasswordVerifier v11g, v12c; // the current logon's verifiers
};

struct SessionInfo {
    int sid = 0;
    std::string user, machine, osuser, program, process, logonTime;
};

struct Sequence {
    long long next = 1, increment = 1, minValue = 1, maxValue = 0; // maxValue 0 = none
    bool cycle = false, dirty = false;
};

class EmuEngine;

// State shared by every session of one server.
class EmuDatabase {
public:
    explicit EmuDatabase(const EmuOptions& opts);
    ~EmuDatabase();
    void Open(); // creates (and seeds) the database; throws std::runtime_error
    sqlite3* Connect();

    const Account* FindAccount(const std::string& upperName) const;
    const EmuOptions& Options() const { return opts_; }

    // One session writes at a time; the others wait up to the lock time-out.
    bool AcquireWriter(int sid, int timeoutMs);
    void ReleaseWriter(int sid);

    bool SeqNext(const std::string& owner, const std::string& name, long long& v);
    bool SeqExists(const std::string& owner, const std::string& name);
    void SeqCreate(const std::string& owner, const std::string& name, const Sequence& s);
    void SeqDrop(const std::string& owner, const std::string& name);
    void SeqFlush(sqlite3* db); // writes the dirty sequence values (inside the caller's write transaction)

    int RegisterSession(const SessionInfo& info);
    void UnregisterSession(int sid);
    std::vector<SessionInfo> Sessions();
    int NewObjectId() { return ++objectIds_; }
    // Set once a table with CHAR columns exists: statements then compare varying binds byte for byte.
    void NoteCharColumns() { charColumns_ = true; }
    bool HasCharColumns() const { return charColumns_; }

private:
    void Seed(EmuEngine& e);
    EmuOptions opts_;
    std::string path_;
    bool tempFile_ = false;
    std::vector<Account> accounts_;
    sqlite3* keeper_ = nullptr; // keeps the database alive and does the checkpoints

    std::mutex writerMu_;
    std::condition_variable writerCv_;
    int writer_ = 0;
    std::deque<int> writerQueue_; // waiting sessions, served first come first served

    std::mutex seqMu_;
    std::map<std::string, Sequence> seqs_; // "OWNER.NAME"

    std::mutex sessMu_;
    std::map<int, SessionInfo> sessions_;
    int nextSid_ = 10;
    int objectIds_ = 70000;
    std::atomic<bool> charColumns_{false};
};

enum class StmtKind {
    Query,
    Dml,
    Ddl,
    Plsql,
    Commit,
    Rollback,
    Savepoint,
    RollbackTo,
    AlterSession,
    Ignore,
    Explain
};

// The translated form of one statement.
struct Translation {
    StmtKind kind = StmtKind::Query;
    int commandType = 0;
    std::string sql;                             // SQLite text (queries and DML)
    int bindCount = 0;                           // placeholders, numbered ?1.. in order of appearance
    std::map<std::string, ColumnType> itemTypes; // inferred types of select items without a declared type
    std::set<std::string> dictViews;             // dictionary views the statement reads
    bool lockRows = false, noWait = false;       // SELECT ... FOR UPDATE
    bool hiddenRowid = false;                    // the query carries the row's rowid as its last column
    std::string dmlTable;                        // "OWNER.TABLE" written by DML
    // DDL: statements to run, and catalog rows; filled by the DDL translator
    std::vector<std::string> ddl;
    std::function<void(EmuEngine&)> afterDdl;
    std::string savepoint;
    std::string alterName, alterValue;
    int explainedCommand = 0; // EXPLAIN PLAN: the command type of the statement explained
    OraError error;
};

struct TableRef {
    std::string owner, name; // Oracle names
    std::string sqliteName;  // as in SQLite ("SCOTT.EMP"), or the temp table of a dictionary view
    bool dictionary = false;
    bool isView = false;
};

// One statement of a server cursor, ready to bind and run.
class EmuStatement {
public:
    ~EmuStatement();
    std::string text;
    std::vector<Tok> toks;
    Translation tr;
    sqlite3_stmt* st = nullptr;
    std::vector<ColumnMeta> cols;
    int bindCount() const { return tr.bindCount; }
    // query state
    bool executed = false;
    bool done = false;    // no more rows
    bool pending = false; // st holds a row that has not been sent yet
    long long rowsFetched = 0;
    uint64_t runSerial = 0;               // tells one execution of the query from any other
    std::vector<std::vector<Value>> rows; // rows detached from SQLite (materialised), read from rowIndex
    size_t rowIndex = 0;
    bool materialized = false;
    int rowidColumn = -1;         // hidden rowid column of a single-table query with LOB columns
    EmuEngine* tracker = nullptr; // the engine that lists this statement among its open queries
    std::vector<bool> exactBinds; // binds compared byte for byte in st (EmuCharSemantics.cpp)
};

// One session's SQL engine.
class EmuEngine {
public:
    EmuEngine(EmuDatabase& db, int sid, const std::string& user);
    ~EmuEngine();
    EmuEngine(const EmuEngine&) = delete;
    EmuEngine& operator=(const EmuEngine&) = delete;

    const std::string& User() const { return user_; }
    int Sid() const { return sid_; }
    EmuDatabase& Db() { return db_; }
    sqlite3* Handle() { return conn_; }

    // Parses (translates and prepares) a statement; errors go to err.
    std::unique_ptr<EmuStatement> Parse(const std::string& text, OraError& err);
    // Runs a non-query statement (or opens a query) with one row of bind values; rows = rows processed.
    OraError Execute(EmuStatement& s, const std::vector<Value>& binds, long long& rows);
    // Re-prepares the statement so that its varying character binds compare byte for byte with CHAR columns
    // (EmuCharSemantics.cpp).
    OraError UseBindCollations(EmuStatement& s, const std::vector<Value>& binds);
    // Next row of an open query (false at the end); err set on failure.
    bool Step(EmuStatement& s, OraError& err);
    // Reads column c of the current row as a value.
    Value ColumnValue(EmuStatement& s, int c);
    void Close(EmuStatement* s);

    OraError Commit();
    OraError Rollback();
    bool InTransaction() const { return writing_; }
    std::string TransactionId() const { return writing_ ? txnId_ : std::string(); }

    // NLS settings of the session.
    std::string nlsDateFormat = "DD-MON-RR";
    std::string nlsDateLanguage = "AMERICAN";
    std::string nlsTerritory = "AMERICA";
    std::string nlsNumericChars = ".,";
    std::string nlsSort = "BINARY";
    std::string nlsTimestampFormat = "DD-MON-RR HH.MI.SSXFF AM";
    std::string nlsTimestampTzFormat = "DD-MON-RR HH.MI.SSXFF AM TZR";

    // Text of a value as Oracle's implicit conversion to a character string shows it.
    std::string ValueText(const Value& v, bool isDate);
    std::string DateText(double dayNumber);

    // Helpers for the translators.
    bool ResolveTable(const std::string& schema, const std::string& name, TableRef& out);
    std::vector<ColumnMeta> TableColumns(const std::string& sqliteName);
    bool Exec(const std::string& sql, OraError& err); // runs SQL that needs no binds
    OraError EnsureWriting(int timeoutMs);
    OraError MapSqliteError(int rc, const std::string& msg, const EmuStatement* s);
    OraError ConstraintError(const std::string& msg, const EmuStatement* s);
    long long NextVal(const std::string& owner, const std::string& seq, OraError& err);
    long long CurrVal(const std::string& owner, const std::string& seq, OraError& err);

    // Called now and then while SQLite works; returning true interrupts the statement (ORA-01013).
    void SetInterruptCheck(std::function<bool()> f);

    // Open queries of the session, detached from SQLite when the session must start a write transaction.
    void Track(EmuStatement* s) {
        open_.insert(s);
        s->tracker = this;
    }
    void Untrack(EmuStatement* s) {
        open_.erase(s);
        s->tracker = nullptr;
    }

    // PL/SQL blocks (EmuPlsql.cpp): which binds are read and written, and running the block.
    struct BlockPlan {
        std::vector<uint8_t> marks; // per placeholder: 0x20 in, 0x10 out
        bool supported = false;
        OraError error;
    };
    BlockPlan PlanBlock(const EmuStatement& s);
    // Runs a block; values in/out by placeholder; newCursor receives a statement opened by OPEN :c FOR.
    OraError RunBlock(EmuStatement& s, std::vector<Value>& values,
                      std::vector<std::unique_ptr<EmuStatement>>& newCursors, std::vector<int>& cursorBinds,
                      long long& rows);

    // LOB locators: "VEMULOB" + type + table + column + rowid for a table's LOB, "VEMULOBT" + type + number
    // for a temporary LOB holding what a query returned.
    std::string MakeLocator(int type, const std::string& table, const std::string& column, long long rowid);
    std::string MakeTempLocator(int type, const std::string& content);
    bool ReadLob(const std::string& locator, std::string& content, bool& isClob, OraError& err);
    OraError StoreLob(const std::string& locator, const std::string& content);
    // DML with RETURNING: the values of the (last) returned row, the rowid last.
    OraError ExecuteReturning(EmuStatement& s, const std::vector<Value>& binds, long long& rows,
                              std::vector<Value>& returned);
    std::string TransactionIdFor(bool create);

    // DBMS_OUTPUT of the session (EmuPlsql.cpp): PUT and PUT_LINE write only while it is enabled; GET_LINES
    // hands out complete lines, oldest first. Text is UTF-8.
    struct ServerOutput {
        bool enabled = false;
        std::deque<std::string> lines;
        std::string partial; // PUT text still waiting for its line's end
    };
    ServerOutput serverOutput;
    // EXPLAIN PLAN FOR (EmuExplain.cpp): SQLite's query plan of the statement, kept as the lines that
    // DBMS_XPLAN.DISPLAY shows (the view XPLAN$DISPLAY).
    OraError Explain(EmuStatement& s);
    std::vector<std::string> explainedPlan;

    // Dictionary views (EmuCatalog.cpp).
    void PrepareDictionary(const std::set<std::string>& views);
    void RefreshDictionary(const std::set<std::string>& views);

private:
    friend class EmuDatabase;
    void Materialize(EmuStatement* s);
    EmuDatabase& db_;
    int sid_;
    std::string user_;
    sqlite3* conn_ = nullptr;
    bool writing_ = false;
    std::string txnId_;
    std::set<EmuStatement*> open_;
    std::map<std::string, long long> currVals_;
    std::map<std::string, std::string> tempLobs_;
    int nextTempLob_ = 1;
    std::string pendingTxnId_;
    std::function<bool()> interruptCheck_;
    std::set<std::string> savepoints_;
};

// Translation entry points (EmuTranslate.cpp, EmuDdl.cpp).
Translation TranslateStatement(EmuEngine& e, const std::vector<Tok>& toks, const std::string& text);
Translation TranslateDdl(EmuEngine& e, const std::vector<Tok>& toks, const std::string& text);
// EXPLAIN PLAN [SET STATEMENT_ID = '...'] [INTO table] FOR statement (EmuExplain.cpp).
Translation TranslateExplain(EmuEngine& e, const std::vector<Tok>& toks, const std::string& text);
// A query over TABLE(DBMS_XPLAN.DISPLAY...) rewritten to read the view XPLAN$DISPLAY; false for any other.
bool RewriteXplanDisplay(const std::vector<Tok>& toks, const std::string& text, std::string& rewritten);
// Translates an expression or query fragment toks[from, to) with binds numbered by the given map (PL/SQL).
std::string TranslateFragment(EmuEngine& e, const std::vector<Tok>& toks, size_t from, size_t to,
                              const std::map<std::string, int>& bindIndex, OraError& err,
                              std::map<std::string, ColumnType>* itemTypes = nullptr);
ColumnType InferFragmentType(EmuEngine& e, const std::vector<Tok>& toks, size_t from, size_t to);

void RegisterFunctions(sqlite3* db, EmuEngine* e);

// CHAR columns (EmuCharSemantics.cpp): the collation of a column's declaration, and the triggers that pad
// what is written to a table's CHAR columns (name, length).
std::string CharColumnCollation(const ColumnType& t);
std::vector<std::string> CharPadTriggers(const std::string& table,
                                         const std::vector<std::pair<std::string, int>>& cols);

} // namespace vemu
