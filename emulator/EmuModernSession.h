// One client connection of the current protocol generation: TNS 315+ CONNECT/ACCEPT, TTC protocol and
// data-type negotiation, the O5LOGON with AES session keys, and the calls of a 19c server.
#pragma once
#include "emulator/EmuEngine.h"
#include "emulator/EmuSession.h"
#include "emulator/EmuTns315.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace vemu {

class O5Logon;

// LOB locators on the wire: a 16-byte head the client reads flags from (temporary, character set), then the
// engine's own locator; at least 40 bytes, the size a client allocates for a temporary LOB.
std::string WireLocator(const std::string& engineLocator, bool blob, bool temp);
bool EngineLocator(const std::string& wire, std::string& engineLocator); // false when malformed

// Whether a connection whose CONNECT packet announces this TNS version is served by the current generation.
bool ServeCurrentGeneration(const EmuOptions& o, uint16_t connectVersion);

class ModernSession {
public:
    ModernSession(int fd, EmuDatabase& db, ServerHooks& hooks);
    ~ModernSession();
    ModernSession(const ModernSession&) = delete;
    ModernSession& operator=(const ModernSession&) = delete;
    void Run(); // until the client leaves or breaks the protocol

private:
    bool Connect();
    void Refuse(int code);
    void Protocol();
    void DataTypes();
    void AuthPhaseOne();
    void AuthPhaseTwo();
    void Piggyback();
    void Function(uint8_t fn);
    struct LogonRequest {
        std::string user;
        uint32_t mode = 0;
        std::map<std::string, std::pair<std::string, uint32_t>> pairs; // key -> value, flags
    };
    LogonRequest ReadLogonRequest(bool phaseOne);
    void WriteParameters(const std::vector<std::pair<std::string, std::pair<std::string, uint32_t>>>& params);
    // The end of every call: the error-information message (code 0 for success).
    // rowid: the row an INSERT added, reported as Oracle reports it.
    void WriteCallEnd(const OraError& e, long long rowCount = 0, int cursorId = 0,
                      const RowidParts* rowid = nullptr);
    uint32_t CallStatus() const;

    // Statement calls (EmuModernCalls.cpp).
    struct BindDesc {
        uint8_t type = 0, flags = 0, csfrm = 0;
        uint32_t maxSize = 0, maxArray = 0, contFlags = 0;
    };
    struct ModernCursor {
        int id = 0;
        std::unique_ptr<EmuStatement> st;
        std::vector<BindDesc> defines; // what the client asked the columns to be sent as
        std::vector<BindDesc> binds;   // the binds of the last execute
        size_t returnFrom = 0;         // binds from here on are a DML's RETURNING ... INTO targets
        long long fetched = 0;
        bool ended = false;
    };
    void Execute();
    void Reexecute(bool andFetch);
    void FetchCall();
    void CloseCursor(uint32_t id);
    std::vector<BindDesc> ReadBindDescs(uint32_t n);
    // Values of the binds before sent (those after a DML's RETURNING ... INTO come back, the client sends
    // none).
    std::vector<std::vector<Value>> ReadBindRows(const std::vector<BindDesc>& binds, uint32_t rows,
                                                 size_t sent, bool plsql);
    void ExecuteReturning(ModernCursor& c, const std::vector<BindDesc>& binds,
                          const std::vector<std::vector<Value>>& rows);
    Value ReadBindValue(const BindDesc& d);
    void RunAndReply(ModernCursor& c, uint32_t options, const std::vector<BindDesc>& binds,
                     const std::vector<std::vector<Value>>& rows, uint32_t fetchRows, bool describe);
    void ExecuteBlock(ModernCursor& c, const std::vector<BindDesc>& binds, std::vector<Value> values);
    void WriteDescribe(const EmuStatement& s);
    void WriteDescribeBody(const EmuStatement& s); // what a REF CURSOR value carries as well
    // Sends up to n rows; false when the query has ended (err says how, code 0 = no more rows).
    bool SendRows(ModernCursor& c, uint32_t n, OraError& err);
    // outBind: a value a block or a RETURNING clause hands back, which never carries a fetch's trailer.
    void WriteColumnValue(const Value& v, const ColumnMeta& col, const BindDesc* define,
                          bool outBind = false);
    void EndFetch(ModernCursor& c, bool more, const OraError& err);
    // Rows of a query read and encoded after a fetch reply has gone out, while the client works on the rows
    // it got; the next fetch of that cursor sends them first. Nothing is read from the connection meanwhile.
    struct ReadAhead {
        int cursorId = 0;
        uint64_t runSerial = 0;
        std::vector<BindDesc> defines;
        uint32_t rows = 0;                      // how many to read (the plan)
        std::vector<uint8_t> bytes;             // the rows' messages
        std::vector<size_t> rowEnd;             // where each row's message ends in bytes
        std::vector<std::vector<Value>> values; // each row's values, for defines changed meanwhile
        size_t next = 0;                        // the first row not sent yet
        bool ended = false;                     // the query ended while reading ahead, err says how
        OraError err;
    };
    // Whether the rows read ahead belong to this execution of the cursor; sameDefines: their bytes fit the
    // cursor's defines (else they are encoded again from their values).
    bool ServesAhead(const ModernCursor& c, bool* sameDefines = nullptr) const;
    void PlanReadAhead(const ModernCursor& c, uint32_t rows);
    void DoReadAhead();
    std::unique_ptr<ReadAhead> ahead_, aheadPlan_;
    bool readingAhead_ = false; // the interrupt check leaves the connection alone meanwhile
    // LOBs (EmuModernLobs.cpp).
    void LobOp();
    void FreeTempLobsPiggyback();
    void WriteLobValue(const Value& content, const std::string& engineLocator, bool blob, bool temp);
    // A LOB value as a locator: a table's LOB when the row is known, else a temporary LOB holding it.
    void WriteLobColumn(EmuStatement& s, int c, const ColumnMeta& col);
    void WriteLobOut(const Value& v, bool blob);

    ModernWire w_;
    EmuDatabase& db_;
    const EmuOptions& opts_;
    ServerHooks& hooks_;
    std::string clientCompileCaps_;
    bool negotiated_ = false;
    std::unique_ptr<O5Logon> logon_;
    std::string logonUser_;
    bool knownUser_ = false;
    bool loggedOn_ = false;
    SessionInfo info_;
    int sid_ = 0;
    std::unique_ptr<EmuEngine> eng_;
    uint8_t fieldVersion_ = 0;  // the TTC field version both sides speak
    bool breakPending_ = false; // a break arrived while SQLite worked
    bool lostPending_ = false;  // the connection went away while SQLite worked
    std::map<uint32_t, std::unique_ptr<ModernCursor>> cursors_;
    uint32_t nextCursor_ = 1;
};

} // namespace vemu
