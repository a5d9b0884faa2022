// The call-interface layer of the Oracle client: the connection (TOCIConnection), the command with its
// parameter descriptors and cursors (TOCICommand, TOraParamDesc, TOraCursor), the fetching record set
// (TOCIRecordSet) and the LOB holder (TOraLob). Everything talks to the server only through the entry points
// of OraCall.
//
// Only the version-8 call style is served: the version-7 branches raise "OCI is not inizialized" (the place
// where a loaded client library would serve them).
#pragma once

#include "dataset/QxAccess.h"
#include "ocicall/OraCall.h"
#include "oracle/OraError.h"
#include "oranet/NetSocket.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// ---- Oracle data types (stored forms of the Oracle layer) ----
enum : uint16_t {
    dtRowId = 100,
    dtCursor = 101,
    dtOraBlob = 102,
    dtOraClob = 103,
    dtBFile = 104,
    dtCFile = 105,
    dtLabel = 106,
    dtFixedChar = 107,
    dtVarChar = 108,
    dtTimeStamp = 109,
    dtTimeStampTZ = 110,
    dtTimeStampLTZ = 111,
    dtIntervalYM = 112,
    dtIntervalDS = 113,
};

// ---- Property numbers of the Oracle layer ----
enum : int {
    prThreadSafety = 51,
    prMaxStringSize = 58,
    prNlsDateFormat = 60,
    prConnectMode = 62,
    prCharLength = 63,
    prEnableIntegers = 65,
    prInternalName = 66,
    prCharset = 69,
    prNlsDateLanguage = 70,
    prNlsTimeStampFormat = 71,
    prNlsTimeStampTZFormat = 72,
    // connection: milliseconds that connecting and logging on may take in network mode (0: no bound)
    prConnectTimeout = 90,
    prStmtType = 12,
    prNonBlocking = 50,
    prErrorOffset = 57,
    prFieldsAsString = 59,
    prCacheLobs = 64,
    prScrollableCursor = 67,
    prRowId = 68,
    prAutoClose = 55,
    prDeferredLobRead = 61,
};

// Cursor states.
enum TCursorState : int {
    csInactive = 0,
    csOpened,
    csParsed,
    csPrepared,
    csBound,
    csExecuting,
    csExecuted,
    csFetching,
    csFetchingAll,
    csFetched
};

// Statement types (version-7 SQL function code numbering).
enum : uint16_t {
    SQL_UNKNOWN = 0,
    SQL_INSERT = 3,
    SQL_SELECT = 4,
    SQL_UPDATE = 5,
    SQL_DELETE = 9,
    SQL_PLSQL = 34,
    SQL_NOBIND = 27
};

// The stored statement type of a statement-type attribute value (OCI_STMT_...).
uint16_t OraStmtTypeFromOCI(oracall::ub2 ociStmtType);

// ---- Oracle value forms ----

// The 7-byte DATE form; decoding a malformed value gives 0.
TDateTime OraDateToDateTime(const uint8_t* d);
void DateTimeToOraDate(TDateTime value, uint8_t* d);

// The text sent to the server: trimmed, CR LF -> LF and lone CR -> LF outside literals.
std::string ConvertSQLText(const std::string& sql);
// Translates an offset of the converted text back to the text as written.
int ConvertedToOriginalPos(const std::string& sql, int pos);
// The parameter names of a text in order of first appearance (case-insensitive), with their quoted flags.
struct TScannedParam {
    std::string Name;
    bool Quoted = false;
};
std::vector<TScannedParam> ScanOraParams(const std::string& sql);

// Server and client versions compared as numbers, part by part ("19.3" and "10.2" are above "8", "9.2.0.1.0"
// below "10"): -1, 0 or 1. An empty version (not read yet) is below every other.
int CompareOraVersions(const std::string& a, const std::string& b);
// The version in a server banner (OCIServerVersion): "9.2.0.1.0" of "... Release 9.2.0.1.0 - Production", the
// release update "19.3.0.0.0" of a banner with a "Version 19.3.0.0.0" line; "" when there is none.
std::string VersionFromBanner(const std::string& banner);

// ---- A manual-reset event ----
class TOraEvent {
public:
    void Set();
    void Reset();
    void Pulse(); // wakes the waiters without leaving the event set
    void Wait();

private:
    std::mutex m_;
    std::condition_variable cv_;
    bool set_ = true;
    uint64_t pulses_ = 0;
};

class TOCIConnection;
class TOCICommand;
class TOCIRecordSet;

// ---- Cursor holder ----
class TOraCursor : public TSharedObject {
public:
    TOraCursor() = default;
    oracall::OCIStmt* Handle() const { return stmt_; }
    // The address bound for a REF CURSOR parameter or define.
    oracall::OCIStmt** HandleAddr() { return &stmt_; }
    void AllocCursor();
    void FreeCursor();
    int State() const { return state_.load(); }
    void SetState(int s) { state_.store(s); }
    int CallStyle = 2;
    bool Scrollable = false;

protected:
    ~TOraCursor() override;

private:
    oracall::OCIStmt* stmt_ = nullptr;
    std::atomic<int> state_{csInactive};
};

// ---- LOB holder ----
class TOraLob : public TBlob {
public:
    TOraLob(uint16_t lobType, TOCIConnection* connection);
    uint32_t Size() override;
    uint32_t Read(uint32_t position, uint32_t count, void* dest) override;
    void Write(uint32_t position, uint32_t count, const void* source) override;
    void AllocLob();
    void FreeLob();
    oracall::OCILobLocator* Locator() const { return locator_; }
    oracall::OCILobLocator** LocatorAddr() { return &locator_; }
    bool LobInited();
    uint32_t LengthOnServer();
    // Reads the whole server LOB into the pieces.
    void ReadLob();
    // Writes the pieces to the server LOB (trims it first).
    void WriteLob();
    bool NotRead = false;
    uint16_t LobType; // 112 CLOB, 113 BLOB, 114 BFILE
    // SQLCS_IMPLICIT or SQLCS_NCHAR (an NCLOB); 0 until the server was asked with OCILobCharSetForm.
    uint8_t CharsetForm = 0;
    // The form passed to reads and writes: never 0.
    uint8_t Form();
    // A file's locator as text: BFILENAME('DIR', 'name').
    std::string FileLocatorText();
    oracall::ub4 DescType() const;
    TOCIConnection* Connection;

protected:
    ~TOraLob() override;

private:
    oracall::OCILobLocator* locator_ = nullptr;
};

// ---- Timestamp and interval holders ----

// A TIMESTAMP [WITH [LOCAL] TIME ZONE] value in its datetime descriptor (68, 69 or 70).
class TOraTimeStamp : public TSharedObject {
public:
    explicit TOraTimeStamp(oracall::ub4 descType) : DescType(descType) {}
    void AllocDesc();
    oracall::OCIDateTime* Handle() const { return desc_; }
    // "29.02.2024 13:45:30,123456": fraction digits as given, " +01:00" for a timestamp with time zone.
    std::string AsText(int fractionDigits);
    const oracall::ub4 DescType;
    int16_t Indicator = -1;

protected:
    ~TOraTimeStamp() override;

private:
    oracall::OCIDateTime* desc_ = nullptr;
};

// An INTERVAL YEAR TO MONTH or DAY TO SECOND value in its interval descriptor (62 or 63).
class TOraInterval : public TSharedObject {
public:
    explicit TOraInterval(oracall::ub4 descType) : DescType(descType) {}
    void AllocDesc();
    oracall::OCIInterval* Handle() const { return desc_; }
    // The library's text ("+02-03", "+04 05:06:07.890000") with the leading and fraction precisions.
    std::string AsText(int leading, int fraction);
    const oracall::ub4 DescType;
    int16_t Indicator = -1;

protected:
    ~TOraInterval() override;

private:
    oracall::OCIInterval* desc_ = nullptr;
};

// ---- Parameter descriptor ----
class TOraParamDesc : public TParamDesc {
public:
    TOraParamDesc() = default;
    ~TOraParamDesc() override;

    void SetDataType(uint16_t code) override;
    void SetSize(int32_t size) override;
    void GetValue(Variant& value) override;
    bool SetValue(const Variant& value) override;
    bool GetNull() override;
    void SetNull(bool isNull) override;

    int Length() const { return length_; }
    void SetLength(int n);
    bool Table = false;
    bool Quoted = false;
    uint32_t CurrentCount = 1;
    int UsedLength = -1; // used length of a string value, -1 unknown
    oracall::OCIBind* BindHandle = nullptr;
    int PieceCount = 0;
    // Length and indicator slots of the piece of a piece-wise output handed out last.
    oracall::ub4 OutPieceLen = 0;
    oracall::sb2 OutPieceInd = 0;

    int ElementSize() const;
    // Element access, 1-based.
    void SetItemValue(int index, const Variant& value);
    Variant GetItemValue(int index);
    bool GetItemNull(int index);
    void SetItemNull(int index, bool isNull);
    uint8_t* ValuePtr() { return buffer_.data(); }
    int16_t* IndPtr() { return indicators_.data(); }
    // The NUMBER bytes of a single float value given as a text of more than 15 digits, bound instead of
    // the double so that no digit is lost; empty otherwise.
    const std::string& ExactNumber() const { return exactNumber_; }
    // The object of object-like types (blob, memo, LOB, cursor); nil for the others.
    TSharedObject* Object() const { return object_; }
    void SetObject(TSharedObject* object); // takes a reference
    TOraCursor* Cursor() const;
    TBlob* Blob() const;
    TOraLob* Lob() const;
    bool IsObjectType() const;
    // (Re)allocates value buffer and indicators for data type, size and length.
    void AllocBuffer();

private:
    void CheckIndex(int index) const;
    int length_ = 1;
    std::vector<uint8_t> buffer_;
    std::vector<int16_t> indicators_ = std::vector<int16_t>(1, -1);
    TSharedObject* object_ = nullptr;
    std::string exactNumber_;
};

// ---- Connection ----

// The process-wide Oracle home the client library is loaded from: 0 the default search order, 1..6 the
// homes 0..5 (see ocicall/OraCallLoad.h).
extern std::atomic<int> OraProcessHome;

class TOCIConnection : public TQxConnection {
public:
    TOCIConnection();
    ~TOCIConnection() override;

    void Connect(const std::string& connectString) override;
    void Disconnect() override;
    void StartTransaction() override;
    void Commit() override;
    void Rollback() override;
    void SetProp(int code, const Variant& value) override;
    void GetProp(int code, Variant& value) override;
    void SetMethodProp(int code, TQxMethod method) override;
    std::unique_ptr<TQxCommand> CreateCommand() override;
    std::unique_ptr<TQxRecordSet> CreateRecordSet() override;

    void Break();
    // From any thread: ends the server calls in flight at once (network mode). A logon fails (Arm the abort
    // before the logon starts, so that an early one counts), a call waiting for its reply fails and leaves
    // the connection unusable.
    void Abort() { callAbort_.Abort(); }
    oranet::TSocketAbort& CallAbort() { return callAbort_; }
    std::string GetServerVersion();
    int MaxStringSize();
    // The status check: raises EOraError (through the error callback) for failures.
    void Check(oracall::sword status);
    // Runs the NLS query block (charset id, char length, NLS slot values).
    void GetSessionParameters();

    std::recursive_mutex& ConnectionLock() { return lock_; }
    oracall::OCISvcCtx* SvcCtx() const { return svc_; }
    oracall::OCIError* ErrorHandle() const { return err_ ? err_ : oracall::hOCIError; }
    int CallStyle() const { return callStyle_; }
    void SetCallStyle(int value);
    int EffectiveCallStyle() const { return effectiveCallStyle_; }
    bool ThreadSafety() const { return threadSafety_; }
    bool EnableIntegers() const { return enableIntegers_; }
    int CharsetId() const { return charsetId_; }
    int CharLength() const { return charLength_; }
    int LastErrorCode() const { return lastErrorCode_; }
    // The warning of the last logon ("ORA-28002: the password will expire within 7 days"), empty without one.
    const std::string& LogonWarning() const { return logonWarning_; }
    std::thread::id OwnerThread() const { return ownerThread_; }
    // The internal command for the connection's own statements.
    TOCICommand* InternalCommand();
    // Runs a statement on the internal command (prepare, bind, execute once).
    void ExecInternal(const std::string& sql);
    // NLS slot values: 0 language, 1 date format, 2 timestamp format, 3 timestamp TZ format.
    std::string NlsValue(int slot);
    // The ROWID of the row inserted last by a command of this connection that asks for ROWIDs.
    std::string LastInsertRowId;
    // Runs first in Connect (the session applies its Oracle home there).
    std::function<void()> OnBeforeConnect;

private:
    void SetNls(int slot, const std::string& value);
    void FreeHandles();
    std::recursive_mutex lock_;
    oranet::TSocketAbort callAbort_;
    int callStyle_ = 0;
    int effectiveCallStyle_ = 0;
    oracall::OCISvcCtx* svc_ = nullptr;
    oracall::OCIServer* srv_ = nullptr;
    oracall::OCISession* ses_ = nullptr;
    oracall::OCIError* err_ = nullptr;
    bool threadSafety_ = true;
    uint8_t connectMode_ = 0;
    bool enableIntegers_ = true;
    bool ownLogon_ = true;
    std::string serverVersion_;
    bool serverVersionKnown_ = false;
    int maxStringSize_ = 0;
    std::string charset_;
    int charsetId_ = 0;
    int connectTimeoutMs_ = 20000;
    int charLength_ = 1;
    bool detectCharLength_ = false;
    std::string internalName_;
    struct TNlsSlot {
        const char* Name;
        std::string Value;
        bool Set = false;
    };
    TNlsSlot nls_[4] = {{"NLS_DATE_LANGUAGE", {}, false},
                        {"NLS_DATE_FORMAT", {}, false},
                        {"NLS_TIMESTAMP_FORMAT", {}, false},
                        {"NLS_TIMESTAMP_TZ_FORMAT", {}, false}};
    bool inNlsQuery_ = false;
    std::unique_ptr<TOCICommand> internalCommand_;
    TQxMethod onError_;
    std::atomic<int> lastErrorCode_{0};
    std::string logonWarning_;
    std::thread::id ownerThread_;
};

// ---- Command ----

// A background run: a thread whose completion is posted to the owning thread.
struct TOraBackground;

class TOCICommand : public TQxCommand {
public:
    TOCICommand();
    ~TOCICommand() override;

    void Prepare() override;
    void Unprepare() override;
    bool GetPrepared() override;
    void Execute(int iterations) override;
    void SetConnection(TQxConnection* connection) override;
    void SetSQL(const std::string& text) override;
    int GetCursorState() override;
    void SetCursorState(int state) override;
    TParamDesc* AddParam() override;
    void SetProp(int code, const Variant& value) override;
    void GetProp(int code, Variant& value) override;
    void SetMethodProp(int code, TQxMethod method) override;

    TOCIConnection* Conn() const { return static_cast<TOCIConnection*>(connection_); }
    TOraParamDesc* Param(int i) const { return static_cast<TOraParamDesc*>(params_[i]); }
    void ScanParams();
    void BindParams();
    void ExecuteStatement();
    // Execution core; returns the call's status (0, 99 or 3123).
    oracall::sword ExecuteOnce(oracall::ub4 mode);
    // Binds, executes and handles pieces, LOBs and auto-commit (what Execute runs, in the calling thread).
    void ExecuteInternal();
    int Fetch(int rows, int orientation = 2, int offset = 0);
    void CancelCursor();
    std::string GetRowId();
    void Break();
    uint16_t StatementType() const { return sqlType_; }
    bool IsSelect() const { return sqlType_ == SQL_SELECT; }
    bool IsPlSql() const { return sqlType_ == SQL_PLSQL; }
    TOraCursor* OwnCursor() const { return ownCursor_; }
    TOraCursor* CurrentCursor() const { return cursor_; }
    void SetCurrentCursor(TOraCursor* cursor);
    // The first REF CURSOR parameter, or nil.
    TOraParamDesc* CursorParam() const;
    std::recursive_mutex& CommandLock() { return cmdLock_; }
    TOraEvent& Event() { return event_; }
    bool NonBlocking() const { return nonBlocking_; }
    bool FieldsAsString() const { return fieldsAsString_; }
    bool CacheLobs() const { return cacheLobs_; }
    int RowsProcessed() const { return rowsProcessed_; }
    // How many text values the statement has fetched so far that held characters Windows-1252 lacks and
    // show a substitute ('?') instead; such values are not the server's. 0 where the connection cannot tell
    // (a client library converts on its own).
    unsigned SubstitutedValues() const;
    int FetchedRows = 0;
    bool Executing() const { return executing_; }
    void SetExecuting(bool v) { executing_ = v; }
    // Called before values are bound: the owning component adjusts the descriptors (Oracle types, sizes).
    std::function<void(TOCICommand&)> ParamHook;
    void RunParamHook() {
        if (ParamHook) ParamHook(*this);
    }
    // Runs routine on a background thread; endRoutine(success) runs on the owning thread when it is done (the
    // error, if any, is raised there after endRoutine(false)).
    // With deferStart the thread starts when the owning thread next runs its posted tasks, so that the
    // caller's own work on the store (the rest of an open) is done before the background run touches it.
    void RunInBackground(std::function<void()> routine, std::function<void(bool)> endRoutine,
                         bool deferStart = false);
    bool BackgroundRunning() const;
    void WaitBackground();
    // Runs a deferred run that has not started yet on the calling thread (its completion is still posted);
    // false when there is none.
    bool RunPendingHere();
    // Forgets the completion of a background run that was abandoned (a close during the run).
    void DropPendingCompletion();
    // The end step of Execute (after-execute callback).
    void EndExecute(bool success);

private:
    void CheckActive();
    void Check(oracall::sword status);
    void BindParam(TOraParamDesc* p);
    void HandleLobParams();
    friend class TOCIRecordSet;

    TOraCursor* ownCursor_;
    TOraCursor* cursor_;
    uint16_t sqlType_ = 0;
    int rowsProcessed_ = 0;
    uint16_t errorOffset_ = 0;
    int iterations_ = 1;
    bool paramCheck_ = true;
    bool nonBlocking_ = false;
    bool fieldsAsString_ = false;
    bool cacheLobs_ = true;
    bool returnRowId_ = false;
    std::string rowId_;
    std::string convertedSQL_;
    std::recursive_mutex cmdLock_;
    TOraEvent event_;
    std::unique_ptr<TOraBackground> bg_;
};

// ---- Record set ----
// Record size of a NUMBER field that can hold more digits than a double: the double, then the length (16
// bits) and the up to 22 bytes of the NUMBER form as fetched, the exact value.
constexpr uint16_t ExactNumberFieldSize = 8 + 2 + 22;

class TOCIRecordSet : public TQxRecordSet {
public:
    TOCIRecordSet();
    ~TOCIRecordSet() override;

    void InternalPrepare() override;
    void InternalUnPrepare() override;
    void InternalOpen() override;
    void InternalClose() override;
    void InternalInitFields() override;
    int GetIndicatorSize() override { return FieldCount() * 2; }
    bool GetEOF() override;
    void Reopen() override;
    bool GetNull(int fieldNo, const uint8_t* recBuf) override;
    void SetNull(int fieldNo, uint8_t* recBuf, bool isNull) override;
    void GetDateFromBuf(const uint8_t* buf, void* dest, TDateMode mode) override;
    void PutDateToBuf(uint8_t* buf, const void* source, TDateMode mode) override;
    void GetBlobTypes(TDataTypeSet& set) override;
    void GetComplexTypes(TDataTypeSet& set) override;
    void CreateComplexFields(uint8_t* recBuf, bool withBlob) override;
    void GetFieldAsVariant(int fieldNo, uint8_t* recBuf, Variant& value) override;
    bool DecodeExactNumber(const uint8_t* room, size_t size, std::string& text) override;
    bool EncodeExactNumber(const std::string& text, uint8_t* room, size_t size) override;
    // Timestamps, intervals, files, cursors, objects and REFs are read as text (see HolderText).
    void GetFieldData(TFieldDesc* field, uint8_t* recBuf, void* dest) override;
    // Raises "Feld '%s' kann nicht geändert werden" for those columns.
    void PutFieldData(TFieldDesc* field, uint8_t* recBuf, const void* source) override;
    static bool IsShownAsText(uint16_t dataType);
    void SetToEnd() override;
    bool Fetch(bool fetchBack) override;
    bool AllRowsFetched() override;

    std::unique_ptr<TQxCommand> CreateCommand() override;
    bool CanFetchBack() override { return false; }
    void ExecuteAndFirstFetch() override;
    void ExecCommand() override;
    void FetchAll() override;
    void SetConnection(TQxConnection* connection) override;
    void SetSQL(const std::string& text) override;
    bool ReturnsRows() override;
    void SetProp(int code, const Variant& value) override;
    void GetProp(int code, Variant& value) override;

    TOCICommand* Cmd() { return static_cast<TOCICommand*>(GetCommand()); }
    TOraEvent& Event() { return event_; }
    bool BackgroundRunning() const;
    bool DeferredLobRead() const { return deferredLobRead_; }

private:
    void DescribeFields();
    void DescribeField(oracall::OCIStmt* stmt, int col, TFieldDesc& f);
    int NlsLength(int slot, bool timestamp);
    // The text of a holder-held value: "29.02.2024 13:45:30,123456", "+02-03", BFILENAME('DIR', 'f'),
    // "(Cursor)", ADDRESS_T('Hauptstr. 1', 53113, 'BONN'), "REF PERSON_T".
    std::string HolderText(TFieldDesc* f, uint8_t* recBuf);
    void AllocAux();
    void FreeAux();
    bool FetchBlock();
    // The steps of a block fetch.
    void DropFetchedRows();
    void PrimeAuxSlots(PBlockHeader block, int rows);
    int DefineAndFetch(PBlockHeader block, int rows);
    void FinishLongPieces(PBlockHeader block, int fetched);
    void FinishExactNumbers(PBlockHeader block, int fetched);
    void MoveAuxValues(PBlockHeader block, int fetched);
    void LinkFetchedRows(PBlockHeader block, int fetched);
    void OpenStep();
    void FetchAllLoop();
    void EndOpen(bool success);
    static oracall::sb4 LongCallback(void* ctx, oracall::OCIDefine* defnp, oracall::ub4 iter, void** bufpp,
                                     oracall::ub4** alenpp, oracall::ub1* piecep, void** indpp,
                                     oracall::ub2** rcodep);

    void ComputeKind();
    TOCIConnection* conn_ = nullptr;
    std::string kindSQL_; // the statement the result kind was computed for
    bool autoClose_ = false;
    bool deferredLobRead_ = false;
    bool endReached_ = false;
    std::vector<uint8_t> aux_;
    int auxRowSize_ = 0;
    TOraEvent event_;
    // Per-block state for the LONG callback.
    struct TLongDefine {
        oracall::OCIDefine* Define = nullptr;
        TFieldDesc* Field = nullptr;
        TOCIRecordSet* Owner = nullptr;
        PBlockHeader Block = nullptr;
        // Per row of the block: the length slot of the piece handed out last for that row.
        std::vector<oracall::ub4> PieceLens;
    };
    std::vector<std::unique_ptr<TLongDefine>> longDefines_;
};
