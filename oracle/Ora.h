// The Oracle components: the session (TOraSession with TOraSessionOptions), the SQL component (TOraSQL), the
// data sets (TOraDataSet, TOraQuery), the update statements holder (TOraUpdateSQL) and the data source.
#pragma once

#include "dataset/DEDozivo.h"
#include "oracle/OraClasses.h"

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class TOraSession;
class TOraSQL;
class TOraDataSet;

enum TConnectMode : uint8_t { cmNormal, cmSysOper, cmSysDBA };
enum TOracleHome : uint8_t { ohDefault, ohHome0, ohHome1, ohHome2, ohHome3, ohHome4, ohHome5 };

class TOraSessionOptions {
public:
    explicit TOraSessionOptions(TOraSession* owner) : owner_(owner) {}
    bool NeverConnect = false;
    bool UseOCI7() const { return useOCI7_; }
    void SetUseOCI7(bool value);
    std::string Charset();
    void SetCharset(const std::string& value);
    int CharLength();
    void SetCharLength(int value);
    std::string DateFormat();
    void SetDateFormat(const std::string& value);
    std::string DateLanguage();
    void SetDateLanguage(const std::string& value);
    bool EnableIntegers() const { return enableIntegers_; }
    void SetEnableIntegers(bool value);
    bool ConvertEOL() const { return convertEOL_; }
    void SetConvertEOL(bool value);
    bool Net() const;
    void SetNet(bool value);
    // Seconds that connecting and logging on may take in network mode before the logon fails with
    // "NET: Connection timed out" (default 20; 0 waits without a bound).
    int ConnectTimeout() const { return connectTimeout_; }
    void SetConnectTimeout(int seconds);

private:
    friend class TOraSession;
    TOraSession* owner_;
    bool useOCI7_ = false;
    int connectTimeout_ = 20;
    bool enableIntegers_ = true;
    bool convertEOL_ = false;
    bool net_ = false;
};

using TConnectChangeEvent = std::function<void(TOraSession&, bool connected)>;

class TOraSession : public TCustomDAConnection {
public:
    TOraSession();
    ~TOraSession() override;

    TOraSessionOptions& Options() { return options_; }
    TOCIConnection* OCIConnection();
    bool ThreadSafety() const { return threadSafety_; }
    void SetThreadSafety(bool value);
    TConnectMode ConnectMode() const { return connectMode_; }
    void SetConnectMode(TConnectMode value);
    // Which installed client home the library is loaded from (client-library mode). Setting a value that
    // differs from the process-wide home disconnects every session and unloads the library; a session whose
    // field differs at connect time does the same first.
    TOracleHome Home = ohDefault;
    void SetHome(TOracleHome value);
    // The process-wide home.
    static TOracleHome ProcessHome();
    bool Debug = false;

    std::string ConnectString() const;
    void SetConnectString(const std::string& value);

    // Runs one statement on the session's internal SQL component; values go to the parameters by position.
    Variant ExecSQL(const std::string& text, const std::vector<Variant>& values = {});
    void Savepoint(const std::string& name);
    void RollbackToSavepoint(const std::string& name);
    std::string GetCompileErrors(const std::string& statement);
    std::string GetServerVersion();
    void StartTransaction();
    void Commit();
    void Rollback();
    bool InTransaction();
    const std::string& TransactionId() const { return transactionId_; }

    bool IsFatalError(const EDAError& e) override;
    // Network mode: the socket is shut down under the calls in flight (see TOCIConnection::Abort).
    void AbortCalls() override;
    std::unique_ptr<TCustomDADataSet> CreateDataSet() override;
    std::unique_ptr<TCustomDASQL> CreateSQL() override;

    TConnectChangeEvent OnConnectChange;

    // Process-wide list of sessions and the default session.
    static int SessionCount();
    static TOraSession* SessionAt(int i);
    static TOraSession* DefaultSession();

protected:
    std::unique_ptr<TQxConnection> CreateIConnection() override;
    void ArmAbort(bool on) override;

private:
    friend class TOraSessionOptions;
    class TChangeClient;
    // Connect step of client-library mode: a home that differs from the process-wide one reloads the library.
    void ApplyHome();
    // Unloads the library and makes value the process-wide home of every session.
    void SwitchHome(TOracleHome value);
    TOraSessionOptions options_;
    bool threadSafety_ = true;
    TConnectMode connectMode_ = cmNormal;
    std::string transactionId_;
    std::unique_ptr<TOraSQL> sql_;
    std::unique_ptr<TChangeClient> changeClient_;
};

// ---- SQL text operations (Oracle lexer) ----
std::string OraAddWhere(const std::string& sql, const std::string& condition);
std::string OraDeleteWhere(const std::string& sql);
std::string OraSetOrderBy(const std::string& sql, const std::string& fields);
std::string OraGetOrderBy(const std::string& sql);
// The first table of the FROM list, upper case ("" when there is none).
std::string OraFirstTable(const std::string& sql);

// Adjusts the command's descriptors to the component's parameters (Oracle types, sizes) before binding.
void OraAdjustParams(TParams& params, TOCICommand& command);

class TOraSQL : public TCustomDASQL {
public:
    explicit TOraSQL(TOraSession* session = nullptr);
    TOraSession* Session() const;
    void SetSession(TOraSession* session) { SetConnection(session); }
    void Execute(int iterations = 1);
    // The command's ROWID of the last execution (when asked for with property 68).
    TOCICommand* OCICommand() const { return dynamic_cast<TOCICommand*>(ICommand()); }
};

struct TOraDataSetOptions {
    bool KeepPrepared = false;
    bool AutoClose = false;
    bool FieldsOrigin = false;
    bool DefaultValues = false;
    bool FieldsAsString = false;
    bool DeferredLobRead = false;
    bool CacheLobs = true;
    bool ScrollableCursor = false;
};

enum TLockMode : uint8_t { lmNone, lmLockImmediate, lmLockDelayed };
enum TSequenceMode : uint8_t { smInsert, smPost };
enum TRefreshMode : uint8_t { rmNone, rmAfterInsert, rmAfterUpdate, rmAlways };
// Bits of the older Options set.
enum : int {
    doRequiredFields = 1,
    doStrictUpdate = 2,
    doDefaultValue = 4,
    doLongStrings = 8,
    doNumberRange = 16,
    doKeepPrepared = 32,
    doAutoClose = 64,
    doQueryRecCount = 128
};

class TOraDataSet : public TCustomDADataSet {
public:
    explicit TOraDataSet(TOraSession* session = nullptr);
    ~TOraDataSet() override;

    // Name is the data set's own (TDataSet::Name): the monitor and the debug window announce it.
    TOraSession* Session() const { return dynamic_cast<TOraSession*>(Connection()); }
    void SetSession(TOraSession* session) { SetConnection(session); }
    TOraDataSetOptions OptionsDS;
    void SetCacheLobs(bool value);
    void SetScrollableCursor(bool value);

    // Own write, lock and refresh statements.
    std::string SQLInsert, SQLUpdate, SQLDelete, SQLLock, SQLRefresh;
    std::string KeyFields;
    std::string KeySequence;
    TSequenceMode SequenceMode = smPost;
    TLockMode LockMode = lmNone;

    // Older option properties.
    int GetOptions() const;
    void SetOptions(int value);
    TRefreshMode GetRefreshMode() const;
    void SetRefreshMode(TRefreshMode mode);

    void Execute() override;
    TOCIRecordSet* OCIRecordSet() const { return dynamic_cast<TOCIRecordSet*>(IRecordSet()); }
    // The first table of the FROM list and the key fields.
    std::string PSGetTableName();
    std::string PSGetKeyFields();
    std::string LockSavepointName() const;
    TFieldType GetFieldType(uint16_t dataType) override;
    // The first name of KeyFields (trimmed; empty when there is none).
    std::string FirstKeyField() const;
    // Text values fetched so far that show a substitute ('?') for characters Windows-1252 lacks.
    unsigned SubstitutedValues() const;
    // Runs the key sequence: the sequence's next value goes into the first key field.
    void FetchKeySequence();

protected:
    std::string AddWhere(const std::string& sql, const std::string& condition) override;
    std::string SetOrderByText(const std::string& sql, const std::string& fields) override;
    std::string GetOrderByText(const std::string& sql) override;
    int GetServerRecordCount() override;
    int GetRecordCount() override;
    std::string UpdateStatementText(TStatementType kind) override;
    void OpenCursor() override;
    void InternalEdit() override;
    void InternalInsert() override;
    void InternalDelete() override;
    void PerformAppend() override;
    void PerformUpdate() override;
    void PerformDelete() override;
    void PerformCheckedAppend();
    void PerformCheckedUpdate();
    void PerformCheckedDelete();
    void DoOnNewRecord() override;
    void InternalPost() override;
    void AdjustUpdateParams(TParams& params, TStatementTypes kinds) override;
    bool GetCanModify() override;
    // Whether a row may be written with a statement of this kind (insert, update, delete); without one the
    // edit stops silently before it starts, so that nothing is changed only locally by mistake.
    bool MayWrite(TStatementType kind);

    void SetupCommand();
    // Sets the lock savepoint and runs the lock statement; false when there is none. A failing lock
    // statement rolls back to the savepoint, so that no row stays locked.
    bool LockRow();
    // With StrictUpdate, runs a write (and the refresh that follows it) so that the database changes only
    // when it succeeds: a savepoint first, the commit only after the row-count check, a rollback to the
    // savepoint when anything fails.
    void CheckedWrite(const std::function<void()>& write);
    std::string WriteSavepointName() const;
};

class TOraQuery : public TOraDataSet {
public:
    explicit TOraQuery(TOraSession* session = nullptr) : TOraDataSet(session) {}
};

class TOraUpdateSQL : public TCustomDAUpdateSQL {};

class TOraDataSource : public TDataSource {};
