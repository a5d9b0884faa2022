// A small client for the emulator's tests: raw TNS packets and TTC messages, written from the protocol's
// description and independent of the network client library.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace emutest {

struct Status {
    long long rows = 0;
    int code = 0;
    int pos = 0;
    int commandType = 0;
    std::string text;
};

struct Column {
    int type = 0, precision = 0, scale = 0, size = 0;
    bool nullable = true;
    std::string name;
};

// A bind or define: wire type and size; the value as raw bytes (nullopt = NULL).
struct Item {
    int type = 1;
    int size = 4000;
    std::optional<std::string> value;
};

using Row = std::vector<std::optional<std::string>>;

class TestClient {
public:
    ~TestClient();
    // TNS connect; returns the answer's packet type (2 ACCEPT, 4 REFUSE, 5 REDIRECT ...); redirect text in
    // detail.
    int Connect(uint16_t port, const std::string& sid, std::string* detail = nullptr,
                bool followResend = true);
    int Negotiate(); // protocol and data types; returns the server's protocol version
    Status Logon(const std::string& user, const std::string& password);
    int OpenCursor();
    Status Parse(int cursor, const std::string& sql);
    // Execute with binds (one row per element of rows); for PL/SQL blocks the outputs land in outBinds.
    Status Execute(int cursor, const std::vector<Item>& binds,
                   const std::vector<std::vector<Item>>& rows = {}, bool plsql = false,
                   std::vector<std::optional<std::string>>* outBinds = nullptr,
                   std::vector<uint8_t>* marks = nullptr);
    Status Fetch(int cursor, const std::vector<Item>& defines, int rows, std::vector<Row>& out);
    // The same fetch without keeping the values (for the benchmark): counts rows and value bytes.
    Status FetchCount(int cursor, const std::vector<Item>& defines, int rows, long long& count,
                      long long& bytes);
    Status Describe(int cursor, const std::string& text, std::vector<Column>& cols); // function 98
    Status Describe43(int cursor, std::vector<Column>& cols);
    Status Close(int cursor);
    Status Commit();
    Status Rollback();
    Status Logoff();
    void SendBreak();
    void Disconnect();
    bool Closed() const { return fd_ < 0; }

    // Convenience: run a statement (parse + execute) on a fresh cursor; for queries fetch everything as text.
    Status Query(const std::string& sql, std::vector<Row>& rows, int ncols,
                 const std::vector<Item>& binds = {});
    Status Exec(const std::string& sql, const std::vector<Item>& binds = {});

    int serverVersion = 8100;
    int protocol = 0;

    // Encoders for bind values.
    static std::string Number(long long v);
    static std::string NumberD(double v);
    static long long ToInt(const std::string& numberBytes);
    static double ToDouble(const std::string& numberBytes);

    void SendData(const std::string& payload); // one request, split into DATA packets

private:
    void SendRaw(const std::string& bytes);
    std::string ReadPacket(int& type);
    uint8_t U8() { return inPos_ < in_.size() ? static_cast<uint8_t>(in_[inPos_++]) : U8Slow(); }
    uint8_t U8Slow();
    void Skip(size_t n);
    std::string FetchRequest(int cursor, const std::vector<Item>& defines, int rows);
    long long Int(); // variable-length integer
    std::string Clr();
    std::string MessageText();
    Status ReadStatus();
    void WB(std::string& m, uint8_t v) { m += static_cast<char>(v); }
    void WUB4(std::string& m, uint32_t v);
    void WUB2(std::string& m, uint16_t v);
    void WClr(std::string& m, const std::string& s);
    void WDesc(std::string& m, const Item& it);
    void WBindRow(std::string& m, const std::vector<Item>& row, const std::vector<uint8_t>* marks);

    int fd_ = -1;
    std::string in_;
    size_t inPos_ = 0;
    std::string rbuf_ = std::string(65536, '\0');
    size_t rpos_ = 0, rlen_ = 0;
};

} // namespace emutest
