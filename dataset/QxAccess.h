// The record-set layer: the three abstract classes through which the SQL framework reaches a database server
// without knowing which one (TQxConnection, TQxCommand, TQxRecordSet), and the parameter descriptors of a
// command (TParamDesc, TParamDescs).
//
// Options and callbacks cross this boundary as numbered properties. A class handles the codes it knows and
// hands every other code to its base; a code that no level handles fails an assertion whose text is the code
// in decimal. Servers add their own codes above the ones below.
#pragma once

#include "dataset/MemData.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

class TQxConnection;
class TQxCommand;
class TQxRecordSet;

// ---- Property codes used by the framework ----
enum : int {
    prAutoCommit = 5,        // connection, command: Boolean
    prScanParams = 11,       // command, get: the command finds the parameters itself
    prRowsProcessed = 13,    // command, get: rows processed or fetched
    prUniDirectional = 20,   // record set: Boolean
    prFetchRows = 21,        // record set: 32-bit
    prFetchAll = 22,         // record set: Boolean
    prExecuting = 24,        // command, get: an execution is in progress
    prLongStrings = 25,      // record set: Boolean
    prKeepEmptyStrings = 26, // record set: Boolean
    prFlatBuffers = 27,      // record set: Boolean
    prConvertEOL = 28,       // connection: Boolean
    // Method properties.
    prOnAfterExecute = 100,   // command: (Sender, Result)
    prOnError = 101,          // connection: (Sender, E, var Fail)
    prOnRSAfterExecute = 102, // record set: (Sender, Result)
    prOnAfterFetch = 103,     // record set: (Sender)
    prOnFetchBracket = 104,   // record set: (Sender, Before, var Cancel)
};

// The arguments of a method property. Each callback reads the members its code defines:
//   100, 102: Result; 101: Error and Fail (in/out); 103: nothing; 104: Before and Cancel (in/out).
struct TQxMethodArgs {
    void* Sender = nullptr;
    bool Result = false;
    EDatabaseError* Error = nullptr;
    bool Fail = true;
    bool Before = false;
    bool Cancel = false;
};
using TQxMethod = std::function<void(TQxMethodArgs& args)>;

// Fails the assertion for a property code that no level of a class handles.
[[noreturn]] void RaiseUnknownProp(int code);

// ---- Parameter descriptors ----

// The framework's parameter directions.
enum TParamDirection : uint8_t { pdUnknown = 0, pdInput = 1, pdOutput = 2, pdInputOutput = 3, pdResult = 4 };

class TParamDesc {
public:
    TParamDesc() = default;
    virtual ~TParamDesc();
    TParamDesc(const TParamDesc&) = delete;
    TParamDesc& operator=(const TParamDesc&) = delete;

    // Virtual operations in slot order.
    virtual void SetDataType(uint16_t code) { dataType_ = code; }
    virtual void SetSize(int32_t size) { size_ = size; }
    virtual void GetValue(Variant& value) { value = value_; }
    // Copies the value; the descriptor is null when the value is Empty or Null. Returns is-null.
    virtual bool SetValue(const Variant& value);
    virtual bool GetNull() { return isNull_; }
    virtual void SetNull(bool isNull);

    const std::string& GetName() const { return name_; }
    void SetName(const std::string& name) { name_ = name; }
    uint16_t GetDataType() const { return dataType_; }
    uint8_t GetParamType() const { return paramType_; }
    void SetParamType(uint8_t type) { paramType_ = type; }
    int32_t GetSize() const { return size_; }
    bool GetIsBound() const { return isBound_; }
    void SetIsBound(bool value) { isBound_ = value; }

protected:
    std::string name_;
    uint16_t dataType_ = dtUnknown;
    uint8_t paramType_ = pdUnknown;
    int32_t size_ = 0;
    Variant value_;
    bool isNull_ = true;
    bool isBound_ = false;
};

// Owns its descriptors.
class TParamDescs {
public:
    int Count() const { return int(items_.size()); }
    TParamDesc* operator[](int i) const { return items_[size_t(i)].get(); }
    TParamDesc* Add(std::unique_ptr<TParamDesc> desc);
    void Delete(int i);
    void Clear() { items_.clear(); }
    // Case-insensitive; nil when there is none.
    TParamDesc* FindParam(const std::string& name) const;

private:
    std::vector<std::unique_ptr<TParamDesc>> items_;
};

// ---- Connection ----

class TQxConnection {
public:
    TQxConnection() = default;
    virtual ~TQxConnection();
    TQxConnection(const TQxConnection&) = delete;
    TQxConnection& operator=(const TQxConnection&) = delete;

    // Virtual operations in slot order.
    virtual void Connect(const std::string& connectString) = 0;
    virtual void Disconnect() = 0;
    virtual void StartTransaction() = 0;
    virtual void Commit() = 0;
    virtual void Rollback() = 0;
    virtual void SetProp(int code, const Variant& value);
    virtual void GetProp(int code, Variant& value);
    virtual void SetMethodProp(int code, TQxMethod method);
    // A new command of the server's class bound to this connection.
    virtual std::unique_ptr<TQxCommand> CreateCommand() = 0;
    // A new record set of the server's class.
    virtual std::unique_ptr<TQxRecordSet> CreateRecordSet() = 0;

    bool GetConnected() const { return connected_; }
    void SetUsername(const char* value) { username_ = value ? value : ""; }
    void SetPassword(const char* value) { password_ = value ? value : ""; }
    void SetServer(const char* value) { server_ = value ? value : ""; }
    const std::string& GetUsername() const { return username_; }
    const std::string& GetPassword() const { return password_; }
    const std::string& GetServer() const { return server_; }
    bool GetAutoCommit() const { return autoCommit_; }
    bool GetConvertEOL() const { return convertEOL_; }

protected:
    bool connected_ = false;
    std::string username_;
    std::string password_;
    std::string server_;
    bool autoCommit_ = true;
    bool convertEOL_ = false;
};

// ---- Command ----

class TQxCommand {
public:
    TQxCommand() = default;
    virtual ~TQxCommand();
    TQxCommand(const TQxCommand&) = delete;
    TQxCommand& operator=(const TQxCommand&) = delete;

    // Virtual operations in slot order.
    virtual void Prepare() = 0;
    virtual void Unprepare() = 0;
    virtual bool GetPrepared() = 0;
    virtual void Execute(int iterations) = 0;
    virtual void SetConnection(TQxConnection* connection) { connection_ = connection; }
    virtual void SetSQL(const std::string& text) { sql_ = text.c_str(); } // up to the first NUL, as a C text
    virtual int GetCursorState() = 0;
    virtual void SetCursorState(int state) = 0;
    // Creates a descriptor of the server's class, appends it and returns it.
    virtual TParamDesc* AddParam();
    virtual void SetProp(int code, const Variant& value);
    virtual void GetProp(int code, Variant& value);
    virtual void SetMethodProp(int code, TQxMethod method);

    int GetParamCount() const { return params_.Count(); }
    TParamDesc* GetParam(int i) const { return params_[i]; }
    void DeleteParam(int i) { params_.Delete(i); }
    TParamDescs& Params() { return params_; }

    TQxConnection* GetConnection() const { return connection_; }
    const std::string& GetSQL() const { return sql_; }
    bool GetAutoCommit() const { return autoCommit_; }
    bool GetExecuting() const { return executing_; }

protected:
    // Runs the after-execute callback (property 100) when one is installed.
    void DoAfterExecute(bool result);

    TQxConnection* connection_ = nullptr;
    std::string sql_;
    TParamDescs params_;
    bool autoCommit_ = true;
    bool executing_ = false;
    TQxMethod afterExecute_;
};

// ---- Record set ----

// Kind of result a statement gives.
enum : uint8_t { rkUnknown = 0, rkNoRows = 1, rkRows = 2 };

class TQxRecordSet : public TMemData {
public:
    TQxRecordSet();
    ~TQxRecordSet() override;

    // Overrides of the store.
    void InternalPrepare() override;
    void InternalUnPrepare() override;
    void InternalOpen() override;
    bool GetConvertEOL() override;
    void Prepare() override;
    void GetNextRecord(uint8_t* recBuf) override;
    void GetPriorRecord(uint8_t* recBuf) override;
    // Positioning by number; when fetching replaces the loaded items (UniDirectional, CanFetchBack),
    // positions beyond the loaded rows are reached by stepping, and a number that does not exist leaves the
    // store at Eof.
    void SetRecNo(int recNo) override;
    // Server layer: appends the next block of rows (or the previous one with fetchBack); true when rows came.
    bool Fetch(bool fetchBack) override { return false; }

    // New virtual operations, in slot order.
    // A new command of the server's class. C++ constructors cannot call a derived override, so the command is
    // created on first use (GetCommand) or when a derived constructor calls InitCommand.
    virtual std::unique_ptr<TQxCommand> CreateCommand() = 0;
    virtual void SetCommand(std::unique_ptr<TQxCommand> command) { command_ = std::move(command); }
    virtual bool CanFetchBack() { return false; }
    virtual void ExecuteAndFirstFetch();
    virtual void ExecCommand();
    virtual void FetchAll();
    virtual bool ReturnsRows() { return resultKind_ == rkRows; }
    virtual void SetConnection(TQxConnection* connection);
    virtual void SetSQL(const std::string& text);
    virtual void SetProp(int code, const Variant& value);
    virtual void GetProp(int code, Variant& value);
    virtual void SetMethodProp(int code, TQxMethod method);

    TQxCommand* GetCommand();
    bool GetUniDirectional() const { return uniDirectional_; }
    int GetFetchRows() const { return fetchRows_; }
    bool GetFetchAll() const { return fetchAll_; }
    bool GetLongStrings() const { return longStrings_; }
    bool GetFlatBuffers() const { return flatBuffers_; }
    uint8_t GetResultKind() const { return resultKind_; }

protected:
    void InitCommand();
    void DoAfterExecute(bool result);
    void DoAfterFetch();
    // The fetch bracket (104); with before = true the return value tells that the callee cancelled the fetch.
    bool DoFetchBracket(bool before);

    std::unique_ptr<TQxCommand> command_;
    bool uniDirectional_ = false;
    int fetchRows_ = 25;
    bool fetchAll_ = false;
    bool longStrings_ = true;
    bool flatBuffers_ = true;
    uint8_t resultKind_ = rkUnknown;
    TQxMethod onAfterExecute_;
    TQxMethod onAfterFetch_;
    TQxMethod onFetchBracket_;

private:
    // Moves from item forward to the first visible item, fetching when the list runs out. Returns nil at the
    // end.
    PItemHeader NextVisible(PItemHeader from, bool fromStart);
    PItemHeader PriorVisible(PItemHeader from, bool fromEnd);
};
