// One client connection: TNS connect, TTC negotiation, logon and the statement calls.
#pragma once
#include "emulator/EmuEngine.h"
#include "emulator/EmuWire.h"

#include <atomic>
#include <map>
#include <memory>

namespace vemu {

struct ServerHooks {
    std::atomic<bool> redirectUsed{false};
    std::atomic<bool> resendUsed{false};
};

// What the client described for one define or bind.
struct ItemDesc {
    int wireType = 0;
    int flags = 0;
    uint32_t size = 0;
    uint32_t maxArray = 0;
};

struct Cursor {
    int id = 0;
    std::unique_ptr<EmuStatement> st;
    bool fromCursorVariable = false;
};

class Session {
public:
    Session(int fd, EmuDatabase& db, ServerHooks& hooks);
    ~Session();
    void Run(); // until the client leaves or breaks the protocol

private:
    bool Connect();
    void Protocol();
    void DataTypes();
    void Call(uint8_t fn);
    void Logon(bool phase1);
    void OpenCursor();
    void CloseCursor();
    void Combined();
    void Describe98();
    void Describe43();
    void SimpleReply(const OraError& e);

    ItemDesc ReadDesc();
    Value ReadValue(const ItemDesc& d, bool& present);
    void ReadBindRow(const std::vector<ItemDesc>& binds, const std::vector<uint8_t>* marks,
                     std::vector<Value>& out);
    void WriteValue(const Value& v, const ItemDesc& d, const ColumnMeta* col);
    void WriteColumn(EmuStatement& s, int c, const ItemDesc& d, const ColumnMeta& col);
    void WriteColumnDesc(const ColumnMeta& c);
    void WriteStatus(long long rows, const OraError& e, int commandType, const RowidParts* rowid = nullptr);
    bool Fetch(Cursor& c, const std::vector<ItemDesc>& defines, uint32_t rows, OraError& err);
    // Rows of a query read and encoded between calls, while the client works on the previous ones; the next
    // fetch of that cursor takes them first (re-encoded from their values if its defines differ).
    struct ReadAhead {
        int cursorId = 0;
        uint64_t runSerial = 0;
        std::vector<ItemDesc> defines; // what the rows were encoded for
        std::vector<uint8_t> bytes;    // the encoded rows, back to back
        std::vector<size_t> rowEnd;    // where each row's bytes end
        std::vector<std::vector<Value>> values;
        size_t next = 0;    // first row not served yet
        bool ended = false; // stepping past the last row ended the query ...
        OraError err;       // ... with this error, if any
        size_t Pending() const { return rowEnd.size() - next; }
    };
    struct AheadPlan {
        int cursorId = 0;
        std::vector<ItemDesc> defines;
        uint32_t rows = 0;
    };
    bool ServesAhead(const Cursor& c) const;
    void PlanReadAhead(const Cursor& c, const std::vector<ItemDesc>& defines, uint32_t rows);
    void DoReadAhead();
    std::unique_ptr<ReadAhead> ahead_;
    std::unique_ptr<AheadPlan> aheadPlan_;
    void ExecuteBlock(Cursor& c, const std::vector<ItemDesc>& binds, uint32_t iterations);
    int NewCursorId();
    Cursor* Find(uint32_t id);

    Wire w_;
    EmuDatabase& db_;
    const EmuOptions& opts_;
    ServerHooks& hooks_;
    int protocol_ = 6;
    int serverVersion_ = 8100;
    bool negotiated_ = false;
    bool loggedOn_ = false;
    std::unique_ptr<EmuEngine> eng_;
    std::map<int, std::unique_ptr<Cursor>> cursors_;
    // logon
    std::string logonUser_;
    Block8 sessionKey_{};
    bool phase1Done_ = false;
    SessionInfo info_;
    int sid_ = 0;
    bool trace_ = false;        // VESTRA_EMU_TRACE=1: every call and status on stderr
    bool breakPending_ = false; // a break arrived while SQLite worked
    bool lostPending_ = false;  // the connection went away while SQLite worked
};

} // namespace vemu
