// The objects behind the handles and descriptors of the call-interface emulation: error handle, server,
// session, service context (the connection with its TTC exchanges), statement (the cursor), binds,
// defines, columns, LOB locators and ROWID descriptors.
#pragma once

#include "ocicall/OraCall.h"
#include "oranet/ConnectString.h"
#include "oranet/NetTransport.h"
#include "oranet/NetTypes315.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace oranet {

using oracall::sb2;
using oracall::sb4;
using oracall::sword;
using oracall::ub1;
using oracall::ub2;
using oracall::ub4;

class TNetErrorHandle;

class TNetHandle {
public:
    explicit TNetHandle(void* parent) : parent(parent) {}
    virtual ~TNetHandle();
    TNetHandle(const TNetHandle&) = delete;
    TNetHandle& operator=(const TNetHandle&) = delete;

    virtual sword GetAttribute(void* target, ub4* size, TNetErrorHandle* err, ub4 attr);
    virtual sword SetAttribute(void* value, ub4 size, TNetErrorHandle* err, ub4 attr);
    virtual sword GetParameter(TNetErrorHandle* err, void** param, ub4 position);

    void* parent;
};

class TNetErrorHandle : public TNetHandle {
public:
    using TNetHandle::TNetHandle;
    int32_t code = 0;
    std::string message;
};

class TNetServer : public TNetHandle {
public:
    using TNetHandle::TNetHandle;
    sword SetAttribute(void* value, ub4 size, TNetErrorHandle* err, ub4 attr) override;
    std::string serverString;
    // The bound on connection establishment and logon (NET_ATTR_CONNECT_TIMEOUT); 0: none.
    ub4 connectTimeoutMs = 20000;
};

class TNetSession : public TNetHandle {
public:
    using TNetHandle::TNetHandle;
    sword SetAttribute(void* value, ub4 size, TNetErrorHandle* err, ub4 attr) override;
    std::string userName;
    std::string password;
};

class TNetCursor;
class TCurrentSession;
struct TAcceptInfo;
struct TColumnInfo;

// Fills the error handle from an exception; returns -1.
sword MapNetError(const std::exception& e, TNetErrorHandle* err);

// The five texts about the client machine that the logon sends.
struct TClientInfo {
    std::string computerName;
    std::string osUser;
    std::string processText;
    std::string programName;
};
TClientInfo GatherClientInfo();

// Whether new connections offer the current protocol generation (TNS 315+) beside the classic one: on by
// default, so the listener picks (the current generation from 315 on, the classic one below). Off, the
// CONNECT is the classic one and only the classic generation is spoken (tests that must stay classic).
void SetOfferCurrentProtocol(bool on);
bool OfferCurrentProtocol();

// The 685 bytes of the data-type negotiation table.
const std::string& DataTypeTable();

class TNetConnection : public TNetHandle {
public:
    explicit TNetConnection(void* parent, std::unique_ptr<TWinSocket> socket = nullptr);
    ~TNetConnection() override;
    sword GetAttribute(void* target, ub4* size, TNetErrorHandle* err, ub4 attr) override;
    sword SetAttribute(void* value, ub4 size, TNetErrorHandle* err, ub4 attr) override;

    sword BeginSession(TNetErrorHandle* err);
    sword EndSession(TNetErrorHandle* err);
    sword Commit(TNetErrorHandle* err);
    sword Rollback(TNetErrorHandle* err);
    sword Break(TNetErrorHandle* err);
    void SetClientCharset(uint16_t id);

    // TTC framing.
    void SendProtocol();
    void ReadProtocol();
    void SendDataTypes();
    void ReadDataTypes();
    void WriteCall(uint8_t function);
    int ReadStatus(TNetErrorHandle* err, TNetCursor* cursor);
    int ReadWarning();
    int ReadSimpleReply(TNetErrorHandle* err);

    // Logon.
    void SendLogon(int phase);
    int ReadLogonReply(int phase, TNetErrorHandle* err);

    bool Version8() const { return serverVersion >= 8000; }

    // The current protocol generation (NetSession315.cpp): the session after a current ACCEPT.
    sword BeginCurrentSession(const TAcceptInfo& accepted, TNetErrorHandle* err);
    sword CurrentCall(uint8_t function, TNetErrorHandle* err);
    sword CurrentEndSession(TNetErrorHandle* err);
    // Whether the CONNECT offers the current generation besides the classic one; off, the connection
    // speaks the classic protocol only and its CONNECT is the classic one.
    bool offerCurrent = OfferCurrentProtocol();
    // The session of a current connection; empty on a classic one.
    std::unique_ptr<TCurrentSession> current;

    TNetServer* server = nullptr;
    TNetSession* session = nullptr;
    std::unique_ptr<TNetTransport> transport;
    std::string sessionKey;
    uint16_t serverVersion = 0;
    uint8_t protocolVersion = 0;
    uint16_t serverCharset = 0;
    uint16_t clientCharset = 0;
    bool loggedOn = false;
    int32_t maxInlineString = 2000;
    // Error code of the last status message read.
    uint16_t lastStatusCode = 0;
    // Whether the object is a live service context (a freed statement must not reach a freed connection).
    static bool IsAlive(const TNetConnection* c);
    // Where the client information of the logon comes from; tests put fixed texts here.
    TClientInfo (*clientInfo)() = &GatherClientInfo;
};

// The value description shared by binds, defines and columns.
class TNetParam : public TNetHandle {
public:
    using TNetHandle::TNetHandle;
    sword GetAttribute(void* target, ub4* size, TNetErrorHandle* err, ub4 attr) override;

    std::string name;
    uint16_t dataType = 0;
    uint16_t dataSize = 0;
    uint16_t precision = 0;
    int8_t scale = 0;
    uint8_t nullable = 0;

    void* value = nullptr;
    int32_t valueSize = 0;
    void* indicator = nullptr;
    void* length = nullptr;
    uint32_t valueSkip = 0;
    uint32_t indicatorSkip = sizeof(sb2);
    uint32_t lengthSkip = sizeof(ub2);
    void* inContext = nullptr;
    oracall::OCICallbackInBind inCallback = nullptr;
    void* outContext = nullptr;
    void* outCallback = nullptr; // OCICallbackOutBind for binds, OCICallbackDefine for defines
    uint32_t maxArrayLength = 0;
    ub4* currentCount = nullptr;
};

class TNetBind : public TNetParam {
public:
    using TNetParam::TNetParam;
    sword SetAttribute(void* value, ub4 size, TNetErrorHandle* err, ub4 attr) override;
};

class TNetDefine : public TNetParam {
public:
    using TNetParam::TNetParam;
    sword SetAttribute(void* value, ub4 size, TNetErrorHandle* err, ub4 attr) override;
};

class TNetColumn : public TNetParam {
public:
    using TNetParam::TNetParam;
};

class TNetDescriptor : public TNetHandle {
public:
    using TNetHandle::TNetHandle;
};

class TNetLobLocator : public TNetDescriptor {
public:
    using TNetDescriptor::TNetDescriptor;
    sword SetAttribute(void* value, ub4 size, TNetErrorHandle* err, ub4 attr) override;
    // NET_ATTR_SUBSTITUTED_VALUES: 1 once a read of this LOB met characters Windows-1252 lacks.
    sword GetAttribute(void* target, ub4* size, TNetErrorHandle* err, ub4 attr) override;
    std::string bytes;
    uint16_t lobType = 0;
    int32_t attr45 = 0;
    // What the current generation's fetch sends with the locator: the length (characters of a CLOB, bytes
    // of a BLOB), the chunk size, and the character set form of the column (2: national).
    uint64_t length = 0;
    uint32_t chunkSize = 0;
    uint8_t charsetForm = 0;
    uint32_t substitutedValues = 0;
};

// The LOB operations over the current protocol generation (NetLob315.cpp); status returns as the
// call-interface functions give them, errors in err.
sword CurrentLobLength(TNetConnection& c, TNetLobLocator& loc, ub4* length, TNetErrorHandle* err);
sword CurrentLobRead(TNetConnection& c, TNetLobLocator& loc, ub4* amount, ub4 offset, void* buffer, ub4 size,
                     TNetErrorHandle* err);
sword CurrentLobWrite(TNetConnection& c, TNetLobLocator& loc, ub4* amount, ub4 offset, const void* buffer,
                      ub4 size, TNetErrorHandle* err);
sword CurrentLobTrim(TNetConnection& c, TNetLobLocator& loc, ub4 length, TNetErrorHandle* err);
sword CurrentLobCreateTemporary(TNetConnection& c, TNetLobLocator& loc, ub1 form, ub1 lobType,
                                TNetErrorHandle* err);

class TNetRowid : public TNetDescriptor {
public:
    explicit TNetRowid(void* parent) : TNetDescriptor(parent), data(area) {}
    uint8_t* data;
    uint8_t area[16] = {};
};

// Bind-vector marks.
enum : uint8_t { bmOutput = 0x10, bmInput = 0x20 };

// Options of the combined call (function 71).
enum : uint32_t {
    coParse = 0x0001,
    coBinds = 0x0008,
    coDefines = 0x0010,
    coExecute = 0x0020,
    coFetch = 0x0040,
    coPlSql = 0x0400,
    coNotPlSql = 0x8000,
};

class TNetCursor : public TNetHandle {
public:
    using TNetHandle::TNetHandle;
    ~TNetCursor() override;
    sword GetAttribute(void* target, ub4* size, TNetErrorHandle* err, ub4 attr) override;
    sword GetParameter(TNetErrorHandle* err, void** param, ub4 position) override;

    sword Prepare(const std::string& text, TNetErrorHandle* err);
    sword Execute(TNetConnection* svc, uint32_t iters, uint32_t mode, TNetErrorHandle* err);
    sword DescribeOnly(TNetErrorHandle* err);
    sword Fetch(uint32_t rows, TNetErrorHandle* err);
    sword Close(TNetErrorHandle* err);
    // The same over the current protocol generation (NetCursor315.cpp).
    sword ExecuteCurrent(uint32_t mode, uint32_t iters, TNetErrorHandle* err);
    sword FetchCurrent(uint32_t rows, TNetErrorHandle* err);
    // Takes a select list the server described (of this statement, or of a REF CURSOR bound to another).
    sword AdoptCurrentColumns(const std::vector<TColumnInfo>& described, TNetErrorHandle* err);

    // The statement analysis of Prepare, without the error mapping.
    void Analyse(const std::string& text);
    bool IsPlSql() const { return statementType == 8 || statementType == 9; }

    // TTC calls; exceptions pass through.
    int OpenCursor(TNetErrorHandle* err);
    int CombinedCall(uint32_t options, const std::string* text, TNetErrorHandle* err, bool withBinds,
                     bool withDefines);
    int Describe43(TNetErrorHandle* err);
    int Describe98(const std::string* text, TNetErrorHandle* err);
    int DoDescribeOnly(TNetErrorHandle* err);
    int CloseCursor(TNetErrorHandle* err);

    // Values (bind rows, row values, row header, bind vector).
    // The name of a floating-point bind holding a NaN in a row about to be sent; empty when there is none.
    // A NaN has no NUMBER form, so such a statement is refused before anything is sent.
    std::string NotANumberBind() const;
    void WriteBindRow(const uint8_t* marks);
    void WriteLong(TNetParam& bind);
    void ReadRow(bool defines, const uint8_t* marks);
    void ReadElement(TNetParam& item, int64_t row, bool store, bool fromDefines);
    void PlanRows();
    void ReadRowInPlace(bool following);
    struct TRowSlot;
    const uint8_t* ReadSlotValue(size_t slot, const uint8_t* at);
    static void StoreValue(const TRowSlot& slot, const uint8_t* src, unsigned length, sb2 indicator);
    // The row whose message type was just read, and the rows that directly follow it in the packet.
    void ReadDefineRows();
    void ReadRowHeader();
    void ReadBindVector();
    void FreeItems();

    TNetConnection* connection = nullptr;
    TNetTransport* transport = nullptr;
    std::vector<std::unique_ptr<TNetDefine>> defines;
    std::vector<std::unique_ptr<TNetBind>> binds;
    std::vector<std::unique_ptr<TNetColumn>> columns;
    std::string statementText;
    int32_t cursorId = 0;
    uint16_t statementType = 0;
    uint16_t serverCommandType = 0;
    int32_t rowCount = 0;
    uint16_t parseErrorOffset = 0;
    int32_t fetchRows = 0;
    int32_t iterations = 1;
    int32_t readRowIndex = 0;
    int32_t writeRowIndex = 0;
    uint8_t rowidImage[13] = {};

    // Marks of the last bind vector, one per bind.
    std::vector<uint8_t> marks;
    bool marksValid = false;
    std::string scratch; // reused for values that span packets
    // Current generation: the largest size of each select-list item (0: always NULL), and how many values
    // read so far held characters that Windows-1252 lacks (shown with a substitute; such a value must not
    // be written back as if it were the server's).
    std::vector<uint32_t> currentMaxSizes;
    std::vector<uint8_t> currentForms;
    std::vector<TTextColumn> currentTypes;    // the wire types, as described
    std::vector<uint32_t> currentDefineSizes; // the define's buffer size per column, 0 without a define
    bool currentTextDefinesChecked = false;   // the defines asking for a server's conversion to text are sent
    uint32_t substitutedValues = 0;
    // The text the server cursor was parsed with: executed again as it is, it is not parsed again.
    std::string currentParsedText;
    // A cursor a PL/SQL block handed back and nobody fetched from yet.
    bool currentRefCursorFresh = false;

    // How each define's values are stored (worked out once per call) and where the next row's value,
    // indicator and length go.
    enum : uint8_t {
        rkBytes,
        rkText,
        rkSkipBytes,
        rkInt32,
        rkInt64,
        rkInt16,
        rkInt8,
        rkDouble,
        rkFloat,
        rkSkipNumber
    };
    struct TRowSlot {
        uint8_t kind = rkBytes;
        bool terminate = false; // a zero byte follows the copied bytes (rkText), or makes a null empty
        uint32_t cap = 0;       // most bytes copied
        uintptr_t value = 0;    // 0 where the caller gave no buffer; the skip is 0 then as well
        uintptr_t indicator = 0;
        uintptr_t length = 0;
        uintptr_t valueSkip = 0;
        uintptr_t indicatorSkip = 0;
        uintptr_t lengthSkip = 0;
    };
    std::vector<TRowSlot> rowSlots;
    bool rowPlanReady = false; // rowSlots describe the defines of this call
    bool rowsInPlace = false;  // every define can be read in place
    int32_t slotRow = -1;      // the row the slots' addresses belong to
};

// Description of one define or bind in the combined call.
void WriteDescription(TNetTransport& t, const TNetParam& item, bool version8);
void ReadColumnDescription(TNetTransport& t, TNetParam& column, bool version8);

// NUMBER conversions.
// Sign, exponent and base-100 digits of a NUMBER form; false for zero and the infinities.
bool DecodeNumber(const uint8_t* b, size_t n, bool& negative, int& e, int* digits, int& count);
std::string IntToNumber(int32_t v);
std::string FloatToNumber(double x);
int32_t NumberToInt(const uint8_t* bytes, size_t length);
double NumberToFloat(const uint8_t* bytes, size_t length);

} // namespace oranet
