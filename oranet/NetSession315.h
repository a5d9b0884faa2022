// A connection of the current protocol generation after its ACCEPT: the network-services exchange, the TTC
// protocol and data-type negotiation, the O5LOGON, and the calls without a cursor (commit, rollback, ping,
// logoff). Each call is a function message; its reply ends with the error-information message (or a status
// message), which carries the Oracle error number, its text, the error offset and the row count.
#pragma once

#include "oranet/NetHandles.h"
#include "oranet/NetO5Logon.h"
#include "oranet/NetTns315.h"
#include "oranet/NetTtc.h"

#include <cstdint>
#include <functional>
#include <string>

namespace oranet {

// The end of a call as the server reports it.
struct TCallEnd {
    uint32_t code = 0;   // Oracle error number, 0 for success
    std::string message; // the server's text, without its line end
    int32_t offset = -1; // error position in the statement text
    uint64_t rows = 0;   // rows processed
    uint16_t cursor = 0; // cursor id
    uint32_t callStatus = 0;
    uint16_t warningCode = 0;
    std::string warning;
    bool ended = false; // the reply has been read to its end (the error information or the status came)
    // The row a DML statement touched last, as the call interface's 13-byte image: the byte before the block,
    // object, file, block and row, big-endian.
    uint8_t rowid[13] = {};
};

// Text in the server's character set (UTF-8, or UTF-16 big-endian for the national one) in Windows-1252; a
// character that 1252 lacks becomes '?'. True when one had to be substituted.
bool ServerTextToCp1252(const std::string& raw, bool national, std::string& out);

// LOB text as the LOB call carries it (UTF-8, or UTF-16 big-endian) in Windows-1252, one byte per UTF-16 code
// unit, so that offsets and amounts stay those of the server; returns how many characters became '?'.
size_t LobTextToCp1252(std::string_view raw, bool utf16, std::string& out);
// Windows-1252 text in the form the LOB call carries.
std::string Cp1252ToLobText(std::string_view text, bool utf16);

// What the logon tells about the server.
struct TServerFacts {
    uint8_t ttcVersion = 0;
    std::string banner;
    uint16_t charset = 0;
    uint16_t ncharset = 0;
    uint8_t fieldVersion = 0;   // the lower of the server's and ours
    uint32_t versionNumber = 0; // AUTH_VERSION_NO
    uint32_t maxString = 4000;
    std::string sessionId;
    std::string serialNumber;
    int zoneMinutes = 0; // the session's time zone as the logon set it, minutes east of UTC
};

// A select-list item as the server describes it.
struct TColumnInfo {
    uint8_t type = 0;
    uint8_t charsetForm = 0; // 2: national character set
    int8_t precision = 0;
    int8_t scale = 0;
    uint32_t maxSize = 0;
    uint32_t size = 0;
    uint32_t defineSize = 0; // the buffer size of the define, when the client defined the column
    // A DATE or RAW column the caller reads as text: the server converts it (NLS date format and language,
    // hexadecimal digits), as it does for every client that defines such a column as a string.
    bool defineAsText = false;
    bool nullable = true;
    std::string name; // UTF-8
};

// Receives the values of a fetch: the row (0-based in this fetch), the column, the raw value (nullptr for
// NULL). The value is valid during the call only.
using TValueSink = std::function<void(uint32_t row, size_t column, const std::string* value)>;

// The LOB operations of the LOB call.
enum : uint32_t {
    lobGetLength = 0x0001,
    lobRead = 0x0002,
    lobTrim = 0x0020,
    lobWrite = 0x0040,
    lobCreateTemp = 0x0110,
    lobFreeTemp = 0x0111,
    lobGetChunkSize = 0x4000,
};

// One LOB call: what goes out and what the reply gives back. The locator travels both ways: the server
// answers with the locator's new state in the same number of bytes.
struct TLobCall {
    uint32_t operation = 0;
    std::string* locator = nullptr;
    uint64_t sourceOffset = 0;      // 1-based; characters of a CLOB, bytes of a BLOB
    uint64_t destinationOffset = 0; // create temporary: the LOB's type
    uint32_t destinationLength = 0; // create temporary: the duration
    bool sendAmount = false;
    uint64_t amount = 0;               // in: the amount asked for; out: the server's answer
    const std::string* data = nullptr; // write: the bytes to store
    std::string* received = nullptr;   // read: the bytes the server sent
    size_t receivedLimit = 0;          // read: the most bytes taken from the server
    uint32_t charset = 0;              // create temporary: the character set
};

// A LOB column's value as the fetch hands it over: UB8 length, UB4 chunk size (both big-endian) and the
// locator bytes.
struct TLobValue {
    uint64_t length = 0;
    uint32_t chunkSize = 0;
    std::string locator;
    static void Pack(std::string& out, uint64_t length, uint32_t chunkSize, const std::string& locator);
    static bool Unpack(const std::string& packed, TLobValue& out);
};
// The longest locator a server's LOB column may carry.
constexpr size_t MaxLobLocator = 4096;

// A bind as an execute describes it.
struct TBindDesc {
    uint8_t type = 1;        // the wire type
    uint8_t flags = 0x01;    // 0x01: the values carry indicators
    uint32_t maxSize = 1;    // the longest value in bytes (for output binds: the most that may come back)
    uint32_t contFlags = 0;  // 0x2000000 for LOB locators
    uint8_t charsetForm = 0; // 1: text in the database character set
};

// The binds of an execution: their descriptions, the rows of values (each row is written by writeRow after
// its row-data byte) and where the values a PL/SQL block hands back go. For an output value raw is its
// bytes (nullptr: NULL); a cursor comes with its id and select list, a LOB locator with its bytes.
struct TCallBinds {
    std::vector<TBindDesc> descs;
    uint32_t rows = 1;
    bool plsql = false;
    std::function<void(TTtcWriter& out, uint32_t row)> writeRow;
    std::function<void(size_t bind, const std::string* raw, uint32_t cursorId,
                       const std::vector<TColumnInfo>* columns)>
        out;
};

class TCurrentSession {
public:
    // The TTC field version this client speaks (19.1 with its first extension).
    static constexpr uint8_t FieldVersion = 13;

    TCurrentSession(TWinSocket& socket, const TAcceptInfo& accepted, std::string_view pending);

    void NetServices();
    void Negotiate();
    // Both logon phases. user and password: UTF-8. A wrong password or any other refusal comes back as the
    // call end with its code; a logon the server accepts with a warning (ORA-28002) has the warning set.
    TCallEnd Logon(const std::string& user, const std::string& password, const TClientInfo& client);
    // A function without arguments: commit, rollback, ping, logoff.
    TCallEnd Simple(uint8_t function);
    // Parses and executes a statement without binds (a query is described, not fetched; describeOnly parses
    // and describes only). cursorId: 0 for a new cursor, the server's id afterwards.
    // With binds, their rows of values follow the call; a cursor already parsed (cursorId not 0) is executed
    // again without its text.
    TCallEnd Execute(uint32_t& cursorId, std::string_view sqlUtf8, bool query, bool plsql, bool describeOnly,
                     std::vector<TColumnInfo>& columns, const TCallBinds* binds = nullptr);
    // Fetches up to rows rows of an executed query; rowsRead counts them. The end code 1403 means the last
    // row has been read.
    TCallEnd Fetch(uint32_t cursorId, uint32_t rows, const std::vector<TColumnInfo>& columns,
                   const TValueSink& sink, uint32_t& rowsRead);
    // Defines every column of an executed query (LOB columns as locators with their length and chunk size);
    // the server sends rows with LOB columns only after this. Sets each column's defineSize.
    TCallEnd Define(uint32_t cursorId, std::vector<TColumnInfo>& columns);
    // One LOB call (NetLob315.cpp).
    TCallEnd Lob(TLobCall& call);
    // The first fetch of a cursor a PL/SQL block opened (a REF CURSOR): an execute that fetches only.
    TCallEnd FirstFetch(uint32_t cursorId, uint32_t rows, const std::vector<TColumnInfo>& columns,
                        const TValueSink& sink, uint32_t& rowsRead);
    // A cursor to be closed with the next call.
    void CloseCursorLater(uint32_t cursorId) {
        if (cursorId != 0) cursorsToClose_.push_back(cursorId);
    }
    // Ends the TNS connection after the logoff: a DATA packet marked end of file.
    void Disconnect();
    bool Break();

    const TServerFacts& Server() const { return server_; }
    // The transport whose break gate follows this session's calls (none in tests of the session alone).
    TNetTransport* gate = nullptr;
    // Where the logon's random bytes come from; tests put fixed bytes here.
    TRandomFill random = OpenSslRandom;
    TTnsLink& Link() { return link_; }

private:
    using TParameterSink =
        std::function<void(const std::string& key, const std::string& value, uint32_t flags)>;
    void Send();
    // The reply has been read to its end: no call is under way any more.
    void ReplyRead() {
        in_.Reset();
        if (gate) gate->EndCall();
    }
    void FunctionHeader(uint8_t function);
    void WriteExecute(uint32_t options, uint32_t cursorId, std::string_view sql, bool parse,
                      uint32_t prefetchRows, uint32_t bindCount, uint32_t executions, bool query,
                      uint32_t flags);
    TCallEnd ReadRows(uint32_t rows, const std::vector<TColumnInfo>& columns, const TValueSink& sink,
                      uint32_t& rowsRead);
    // Reads messages up to the end of the reply; parameter messages go to sink (refused when there is none).
    TCallEnd ReadReply(const TParameterSink& sink = nullptr);
    // A message any reply may carry: the server's piggyback and a warning (the reply goes on), the error
    // information or the status (the reply has ended: end.ended). False for any other message.
    bool ReadCommonMessage(uint8_t type, TCallEnd& end);
    void ReadErrorInfo(TCallEnd& end);
    void ReadServerPiggyback();
    void ReadDescribeInfo(std::vector<TColumnInfo>& columns);
    void ReadDescribeBody(std::vector<TColumnInfo>& columns);
    // The values a PL/SQL block hands back, after the I/O vector told which binds are outputs.
    void ReadOutValues(const TCallBinds& binds, const std::vector<uint8_t>& directions);
    void ReadRowHeader(const std::vector<TColumnInfo>& columns);
    void ReadRow(uint32_t row, const std::vector<TColumnInfo>& columns, const TValueSink& sink);
    void ReadReturnParameter();
    // A LOB column's value: its locator with length and chunk size, packed as TLobValue (empty: NULL).
    void ReadLobColumn(std::string& value);

    TTnsLink link_;
    TTtcWriter out_;
    TTtcReader in_;
    uint8_t sequence_ = 1;
    TServerFacts server_;
    std::vector<uint32_t> cursorsToClose_;
    // The fetch's duplicate-column vector (a set bit: the column is sent) and the last row's values, which
    // a column left out repeats.
    std::string bitVector_;
    std::vector<std::string> lastValues_;
    std::vector<bool> lastNull_;
};

} // namespace oranet
