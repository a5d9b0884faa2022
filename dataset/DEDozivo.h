// The SQL data-set framework: the connection component with login prompt, transactions and error routing
// (TCustomDAConnection), the component that runs one SQL text with parameters and macros (TCustomDASQL), the
// SQL data set over a fetching record set (TCustomDADataSet), and the holder of the statements that write one
// row back (TCustomDAUpdateSQL). Server components derive from these classes and supply the record-set
// layer's classes and their SQL text operations.
#pragma once

#include "dataset/DAError.h"
#include "dataset/DAHooks.h"
#include "dataset/DAMacros.h"
#include "dataset/MemDS.h"
#include "dataset/QxAccess.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

class TCustomDAConnection;
class TCustomDASQL;
class TCustomDADataSet;
class TCustomDAUpdateSQL;

// Statement kinds; a set of kinds is a bit mask (bit n = ordinal n).
enum TStatementType : uint8_t { stQuery, stInsert, stUpdate, stDelete, stLock, stRefresh, stCheck, stCustom };
using TStatementTypes = uint8_t;
constexpr TStatementTypes StmtBit(TStatementType t) {
    return TStatementTypes(1u << t);
}

// Refresh options (bit set).
inline constexpr int roAfterInsert = 1;
inline constexpr int roAfterUpdate = 2;
inline constexpr int roBeforeEdit = 4;

// ---- Connect dialog ----

// The base of the interactive logon. Execute runs the dialog, which calls the connection's PerformConnect
// itself (possibly several times) and returns whether the connection was made.
class TCustomConnectDialog {
public:
    TCustomConnectDialog() = default;
    virtual ~TCustomConnectDialog();
    TCustomConnectDialog(const TCustomConnectDialog&) = delete;
    TCustomConnectDialog& operator=(const TCustomConnectDialog&) = delete;

    TCustomDAConnection* Connection() const { return connection_; }
    void SetConnection(TCustomDAConnection* connection) { connection_ = connection; }
    virtual bool Execute() = 0;

private:
    friend class TCustomDAConnection;
    TCustomDAConnection* connection_ = nullptr;
    std::vector<TCustomDAConnection*> users_; // connections whose ConnectDialog this is
};

using TConnectDialogFactory = std::function<std::unique_ptr<TCustomConnectDialog>()>;
// The dialog class of connections that have none of their own (installed by the GUI).
void SetDefaultConnectDialogFactory(TConnectDialogFactory factory);

// ---- Connection ----

// Data sets and SQL components attached to a connection.
class TDAConnectionClient {
public:
    virtual ~TDAConnectionClient() = default;
    // After a connect (true) or before a disconnect (false).
    virtual void ConnectChange(bool connected) = 0;
    // The connection's layer connection object was replaced, or the connection goes away (nil).
    virtual void ConnectionChanged(TCustomDAConnection* connection) = 0;
};

struct TDAConnectionOptions {
    // Allows remembering Connected while the component is loaded (always allowed at design time).
    bool KeepDesignConnected = true;
};

using TConnectionNotify = std::function<void(TCustomDAConnection&)>;
using TConnectionErrorEvent = std::function<void(TCustomDAConnection&, EDAError& e, bool& fail)>;
using TLoginEvent = std::function<void(TCustomDAConnection&, std::string& username, std::string& password)>;

class TCustomDAConnection {
public:
    TCustomDAConnection();
    virtual ~TCustomDAConnection();
    TCustomDAConnection(const TCustomDAConnection&) = delete;
    TCustomDAConnection& operator=(const TCustomDAConnection&) = delete;

    std::string Name;
    bool DesignTime = false;
    TDAConnectionOptions Options;

    // ---- Logon data ----
    const std::string& Username() const { return username_; }
    const std::string& Password() const { return password_; }
    const std::string& Server() const { return server_; }
    // A different value disconnects first, then goes to the layer connection.
    void SetUsername(const std::string& value);
    void SetPassword(const std::string& value);
    void SetServer(const std::string& value);
    bool ConnectPrompt = true;
    TCustomConnectDialog* ConnectDialog() const { return connectDialog_; }
    void SetConnectDialog(TCustomConnectDialog* dialog);

    // ---- Connecting ----
    bool Connected() const;
    void SetConnected(bool value);
    void Connect() { SetConnected(true); }
    void Disconnect() { SetConnected(false); }
    // The connect sequence; the connect dialog calls it, with retry on its second and later attempts.
    void PerformConnect(bool retry = false);
    // The same sequence with its server calls on another thread: BeginConnect on the owning thread (the
    // events, the monitor, the layer connection with the logon data; from here on AbortCalls counts), then
    // the returned layer connection's Connect("") on one other thread, then EndConnect on the owning thread
    // with whether that succeeded (after success: the monitor, the clients, the events).
    TQxConnection* BeginConnect(bool retry = false);
    void EndConnect(bool connected);
    // From any thread: ends the server calls in flight at once, the logon between BeginConnect and
    // EndConnect (it fails), or a call waiting for its reply. Nothing where the layer cannot do it.
    virtual void AbortCalls() {}
    // Loading from a stored form: Connected is remembered while loading and applied by Loaded.
    void BeginLoading() { loading_ = true; }
    void Loaded();
    bool Loading() const { return loading_; }

    // ---- Transactions ----
    bool AutoCommit() const { return autoCommit_; }
    void SetAutoCommit(bool value);
    void StartTransaction();
    void Commit();
    void Rollback();
    bool InTransaction() const { return !transactionId_.empty(); }

    // ---- The layer connection ----
    // Created by the server component on first use.
    TQxConnection* IConnection();
    // Replaces the layer connection object; every attached component re-attaches.
    void SetIConnection(std::unique_ptr<TQxConnection> connection);

    // ---- Hooks of the server component ----
    virtual bool IsFatalError(const EDAError& e) { return false; }
    // The data set and SQL component classes of the server (the update query is created through them).
    virtual std::unique_ptr<TCustomDADataSet> CreateDataSet() = 0;
    virtual std::unique_ptr<TCustomDASQL> CreateSQL() = 0;

    // ---- Clients ----
    void RegisterClient(TDAConnectionClient* client);
    void UnregisterClient(TDAConnectionClient* client);
    int ClientCount() const { return int(clients_.size()); }

    // ---- Events ----
    TConnectionNotify BeforeConnect, AfterConnect, BeforeDisconnect, AfterDisconnect;
    TLoginEvent OnLogin;
    TConnectionErrorEvent OnError;

    // Announces an operation to the monitor (when it is active).
    void Monitor(TDAMonitorKind kind, bool before, const std::string& sql = std::string(), bool debug = false,
                 const std::string& component = std::string(), const std::string& label = std::string(),
                 const std::string& params = std::string()) const;

protected:
    // BeginConnect (true) and EndConnect (false): an AbortCalls in between counts even before the layer
    // connection has a socket.
    virtual void ArmAbort(bool on) { (void)on; }
    // The layer connection without creating one (nil before first use); safe from the thread of AbortCalls.
    TQxConnection* ExistingIConnection() const { return iConnection_.get(); }
    virtual std::unique_ptr<TQxConnection> CreateIConnection() = 0;
    // The dialog class (the process default unless the server component has its own); nil for none.
    virtual std::unique_ptr<TCustomConnectDialog> CreateConnectDialog();
    virtual bool NeedPrompt();
    // The error callback of the layer (method property 101).
    virtual void DoError(EDAError& e, bool& fail);
    // Derived destructors call this while their overrides still exist; the base destructor calls it too.
    void DestroyConnection();

private:
    friend class TCustomConnectDialog;
    void DoConnect();
    void DoDisconnect();
    void NotifyClients(bool connected);
    void InitIConnection(TQxConnection* c);

    std::string username_, password_, server_;
    bool autoCommit_ = true;
    std::string transactionId_;
    TCustomConnectDialog* connectDialog_ = nullptr;
    std::unique_ptr<TQxConnection> iConnection_;
    std::vector<TDAConnectionClient*> clients_;
    bool loading_ = false;
    bool streamedConnected_ = false;
    bool loadConnect_ = false;
    bool disconnecting_ = false;
    bool errorDisconnect_ = false;
    bool destroying_ = false;
};

// ---- SQL component ----

using TAfterExecuteEvent = std::function<void(void* sender, bool result)>;

class TCustomDASQL : public TDAConnectionClient {
public:
    // owner: the data set this component belongs to, or nil for a free-standing component.
    explicit TCustomDASQL(TCustomDADataSet* owner = nullptr);
    ~TCustomDASQL() override;
    TCustomDASQL(const TCustomDASQL&) = delete;
    TCustomDASQL& operator=(const TCustomDASQL&) = delete;

    std::string Name;

    const std::string& SQL() const { return sql_; }
    void SetSQL(const std::string& text);
    TParams& Params() { return params_; }
    TParam* ParamByName(const std::string& name) { return params_.ParamByName(name); }
    TParam* FindParam(const std::string& name) { return params_.FindParam(name); }
    TMacros& Macros();
    TMacro* MacroByName(const std::string& name) { return Macros().MacroByName(name); }
    bool ParamCheck() const { return paramCheck_; }
    void SetParamCheck(bool value);
    bool AutoCommit() const { return autoCommit_; }
    void SetAutoCommit(bool value);
    bool Debug = false;
    bool NonBlocking = false;

    TCustomDAConnection* Connection() const { return connection_; }
    void SetConnection(TCustomDAConnection* connection);
    TQxCommand* ICommand() const { return command_; }
    TCustomDADataSet* DataSet() const { return dataSet_; }

    // The SQL text as it goes to the server: right-trimmed with macros expanded (a data set's adds its
    // conditions).
    std::string FinalSQL();
    void Prepare();
    void UnPrepare();
    bool Prepared();
    void Execute(int iterations = 1);
    bool Executing();
    int RowsAffected();

    TAfterExecuteEvent AfterExecute;

    // ---- Used by the owning data set and the server components ----
    void CheckConnection();
    // Hands over the command to use (the owned one of a free-standing component, the record set's of a data
    // set); the command gets the SQL, AutoCommit and the after-execute callback, and the parameters are
    // rebuilt.
    void AttachCommand(TQxCommand* command);
    void WriteParams(bool withValues);
    void ReadParams();
    // Rebuilds the final SQL and the parameters and hands the text to the command.
    void RebuildParams();
    void ScanMacros();
    std::string ParamsText() const;
    // Whether operations are announced (a monitor is installed and active, or Debug is on).
    bool Announcing() const;

    void ConnectChange(bool connected) override;
    void ConnectionChanged(TCustomDAConnection* connection) override;

protected:
    virtual std::string GetFinalSQL();
    TFieldType FieldTypeOf(uint16_t dataType);
    void DoAfterExecute(bool result);

private:
    friend class TCustomDADataSet;
    void MacrosChanged();

    TCustomDADataSet* dataSet_;
    std::string sql_;
    TParams params_;
    std::unique_ptr<TMacros> ownMacros_;
    bool paramCheck_ = true;
    bool autoCommit_ = true;
    TCustomDAConnection* connection_ = nullptr;
    bool registered_ = false;
    TQxCommand* command_ = nullptr;
    std::unique_ptr<TQxCommand> ownCommand_;
    TQxConnection* attachedTo_ = nullptr;
};

// ---- Data set ----

struct TDADataSetOptions {
    bool RequiredFields = true;
    bool StrictUpdate = true;
    bool NumberRange = false;
    bool QueryRecCount = false;
    bool ReturnParams = false;
    bool TrimFixedChar = true;
    bool LongStrings = true;
    bool FlatBuffers = false;
    bool RemoveOnRefresh = true;
};

using TUpdateExecuteEvent = std::function<void(TDataSet&, TStatementTypes, TParams&)>;

class TDAMasterLink;

class TCustomDADataSet : public TMemDataSet, public TDAConnectionClient {
public:
    TCustomDADataSet();
    ~TCustomDADataSet() override;

    TCustomDAConnection* Connection() const { return connection_; }
    void SetConnection(TCustomDAConnection* connection);
    TCustomDASQL& SQLComponent() { return *sql_; }
    TQxRecordSet* IRecordSet() const { return recordSet_; }

    // ---- SQL, parameters, macros ----
    const std::string& SQL() const { return sql_->SQL(); }
    void SetSQL(const std::string& text) { sql_->SetSQL(text); }
    TParams& Params() { return sql_->Params(); }
    TParam* ParamByName(const std::string& name) { return sql_->ParamByName(name); }
    TMacros& Macros() { return macros_; }
    TMacro* MacroByName(const std::string& name) { return macros_.MacroByName(name); }
    bool ParamCheck() const { return sql_->ParamCheck(); }
    void SetParamCheck(bool value) { sql_->SetParamCheck(value); }
    std::string FinalSQL() { return sql_->FinalSQL(); }

    // ---- Properties ----
    int FetchRows() const { return fetchRows_; }
    void SetFetchRows(int value);
    bool FetchAll() const { return fetchAll_; }
    void SetFetchAll(bool value);
    bool UniDirectional() const { return uniDirectional_; }
    void SetUniDirectional(bool value);
    bool AutoCommit() const { return sql_->AutoCommit(); }
    void SetAutoCommit(bool value) { sql_->SetAutoCommit(value); }
    bool ReadOnly = false;
    int RefreshOptions = 0;
    bool Debug() const { return sql_->Debug; }
    void SetDebug(bool value) { sql_->Debug = value; }
    bool NonBlocking() const { return sql_->NonBlocking; }
    void SetNonBlocking(bool value) { sql_->NonBlocking = value; }
    TCustomDAUpdateSQL* UpdateObject() const { return updateObject_; }
    void SetUpdateObject(TCustomDAUpdateSQL* object);
    const std::string& FilterSQL() const { return filterSQL_; }
    void SetFilterSQL(const std::string& value);
    TDataSource* MasterSource() const;
    void SetMasterSource(TDataSource* source);
    const std::string& MasterFields() const { return masterFields_; }
    void SetMasterFields(const std::string& value);
    const std::string& DetailFields() const { return detailFields_; }
    void SetDetailFields(const std::string& value);

    const TDADataSetOptions& Options() const { return options_; }
    void SetRequiredFields(bool value);
    void SetStrictUpdate(bool value) { options_.StrictUpdate = value; }
    void SetNumberRangeOption(bool value);
    void SetQueryRecCount(bool value) { options_.QueryRecCount = value; }
    void SetReturnParams(bool value) { options_.ReturnParams = value; }
    void SetTrimFixedChar(bool value);
    void SetLongStrings(bool value);
    void SetFlatBuffers(bool value);
    void SetRemoveOnRefresh(bool value) { options_.RemoveOnRefresh = value; }

    // ---- Operations ----
    void Prepare() override;
    void UnPrepare() override;
    bool Prepared() const { return data_ && data_->Prepared(); }
    // Virtual: the server's data set binds its own parameter types (PerformSQL runs the update query
    // through this class).
    virtual void Execute();
    bool Executing();
    int RowsAffected() const { return rowsAffected_; }
    // Reads the current record again from the server (the refresh statement).
    void RefreshRecord();
    // Runs one write statement for the current record; false (and nothing done) for an empty text.
    bool PerformSQL(const std::string& text, TStatementTypes kinds);
    bool InPost() const { return inPost_; }
    bool Internal = false; // an internal data set (the update query) is not announced to the monitor

    // ---- ORDER BY entry points (the grid's title-click sorting) ----
    void SetOrderBy(const std::string& fields);
    std::string GetOrderBy();
    // Replaces the SQL text, remembering the original text the first time.
    void ReplaceSQL(const std::string& text);
    const std::string& BaseSQL() const { return baseSQL_; }
    bool HasBaseSQL() const { return hasBaseSQL_; }

    // ---- Events ----
    TAfterExecuteEvent AfterExecute;
    TUpdateExecuteEvent BeforeUpdateExecute;
    TUpdateExecuteEvent AfterUpdateExecute;

    void CheckConnection();
    void ConnectChange(bool connected) override;
    void ConnectionChanged(TCustomDAConnection* connection) override;
    TFieldType GetFieldType(uint16_t dataType) override { return TMemDataSet::GetFieldType(dataType); }
    // With the connection's ConvertEOL, a memo opened for writing first expands its line feeds.
    std::unique_ptr<TStream> CreateBlobStream(TField* field, TBlobStreamMode mode) override;

protected:
    // ---- The server's SQL text operations ----
    virtual std::string AddWhere(const std::string& sql, const std::string& condition) = 0;
    virtual std::string SetOrderByText(const std::string& sql, const std::string& fields) = 0;
    virtual std::string GetOrderByText(const std::string& sql) = 0;
    // The server's record count for QueryRecCount (-1 when it has none).
    virtual int GetServerRecordCount() { return -1; }
    // The write statement of a kind (the update object's in the base).
    virtual std::string UpdateStatementText(TStatementType kind);
    // Called by PerformSQL once every parameter has its value and has become an input parameter: a
    // descendant may turn some into input/output parameters whose values come back into the fields.
    virtual void AdjustUpdateParams(TParams& params, TStatementTypes kinds) {
        (void)params;
        (void)kinds;
    }

    friend class TCustomDASQL;
    friend class TDAMasterLink;
    friend class TCustomDAUpdateSQL;
    virtual std::string GetFinalSQL(const std::string& componentSQL);

    void CreateRecordStore() override;
    void OpenCursor() override;
    void CloseCursor() override;
    void InternalRefresh() override;
    void InternalPost() override;
    bool GetCanModify() override;
    int GetRecordCount() override;
    void DoOnNewRecord() override;
    void PerformAppend() override;
    void PerformUpdate() override;
    void PerformDelete() override;

    // Attaches a record set created by the connection (or a plain store without a connection).
    void AttachRecordSet();
    void SetRecordSetProps();
    // Takes the master's field values into the parameters; refreshes an open detail when one changed.
    void SetMasterParams(bool refreshWhenChanged);
    void MasterChanged();
    void SQLChanged();
    void RederiveSQL(bool reopen);
    void DoRecordSetAfterExecute(bool result);
    // The command's completion of a statement without rows that Execute ran in the background.
    void DoCommandAfterExecute(bool result);
    void DoFetchBracket(bool before);
    void DoAfterFetch();
    void StartWait();
    void StopWait();
    void CursorNotify();
    void MonitorOp(TDAMonitorKind kind, bool before, const std::string& label = std::string());

    std::unique_ptr<TCustomDASQL> sql_;
    TMacros macros_;
    TCustomDAConnection* connection_ = nullptr;
    bool registered_ = false;
    TQxRecordSet* recordSet_ = nullptr; // the store, when it is a record set
    TQxConnection* attachedTo_ = nullptr;
    int fetchRows_ = 25;
    bool fetchAll_ = false;
    bool uniDirectional_ = false;
    int rowsAffected_ = -1;
    TDADataSetOptions options_;
    TCustomDAUpdateSQL* updateObject_ = nullptr;
    std::string filterSQL_;
    std::unique_ptr<TDAMasterLink> masterLink_;
    std::string masterFields_, detailFields_;
    std::string baseSQL_;
    bool hasBaseSQL_ = false;
    std::unique_ptr<TCustomDADataSet> updateQuery_;
    bool inPost_ = false;
    // Set by a server data set that checks a write before it is committed: the update query then leaves
    // the commit to it.
    bool holdCommit_ = false;
    bool commandPending_ = false; // a non-blocking Execute of a statement without rows is running
    int serverRecCount_ = -1;
    bool masterRefreshing_ = false;
};

// ---- Update statements ----

class TCustomDAUpdateSQL {
public:
    TCustomDAUpdateSQL() = default;
    virtual ~TCustomDAUpdateSQL();
    TCustomDAUpdateSQL(const TCustomDAUpdateSQL&) = delete;
    TCustomDAUpdateSQL& operator=(const TCustomDAUpdateSQL&) = delete;

    std::string ModifySQL, InsertSQL, DeleteSQL, RefreshSQL;
    // The statement of an update kind (0 modify, 1 insert, 2 delete).
    std::string& SQL(TUpdateKind kind);
    TCustomDADataSet* DataSet() const { return dataSet_; }
    void SetDataSet(TCustomDADataSet* dataSet);
    // Runs the statement of a kind through the data set's PerformSQL with the update bit (for
    // OnUpdateRecord).
    void ExecStatement(TUpdateKind kind);

private:
    friend class TCustomDADataSet;
    TCustomDADataSet* dataSet_ = nullptr;
};
