// bench-fetch: 1 000 000 rows (NUMBER, VARCHAR2(30), DATE, NUMBER(10,2)) from the emulator through the
// emulated call-interface entry points, with 25 and with 1000 rows per fetch; then the same received byte
// stream replayed over loopback once into the client and once into a reader that only discards the bytes.
//
// What raw_reader_ratio compares. A third live pass (1000 rows per fetch) records every byte the client
// received. The recording is then sent, unchanged and four times over (so that each timed run lasts long
// enough not to measure mainly where the scheduler placed the threads), by the same loopback feeder thread to
// two readers in turn:
//  - the client: the fetch loop through the entry points on a socket whose receive calls ask for 32768
//    bytes (the transport's receive size) and whose sends are dropped; it frames the packets, reads each
//    reply and converts every row into the caller's buffers, exactly as in the live pass;
//  - the raw reader: receive calls of 32768 bytes into one buffer until the stream ends, and nothing else.
// Each side is timed by the CPU time of its reading thread (the kernel's receive work included), which the
// shared machine disturbs least. Noise on a busy machine only adds time, so each side counts with its best
// of seven runs, the runs of the two sides interleaved; the ratio is client time over raw reader time.
#include "E2eSession.h"
#include "emulator/EmuServer.h"
#include "oranet/NetHandles.h"

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace ve2e;
using namespace oracall;

namespace {

double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

double ThreadCpu() {
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

// Wraps the transport's socket: counts and optionally records what arrives.
class TRecordingSocket : public oranet::TWinSocket {
public:
    bool record = false;
    long long received = 0;
    std::vector<uint8_t> captured;
    int ReceiveBuf(void* buffer, int count) override {
        int n = TWinSocket::ReceiveBuf(buffer, count);
        if (n > 0) {
            received += n;
            if (record)
                captured.insert(captured.end(), static_cast<uint8_t*>(buffer),
                                static_cast<uint8_t*>(buffer) + n);
        }
        return n;
    }
};

// A socket connected to a loopback feeder that writes a recorded stream; what the client sends is dropped.
class TReplaySocket : public oranet::TWinSocket {
public:
    explicit TReplaySocket(int fd) : fd_(fd) {}
    ~TReplaySocket() override { ::close(fd_); }
    bool Connected() const override { return true; }
    int SendBuf(const void*, int count) override { return count; }
    int ReceiveBuf(void* buffer, int count) override {
        ssize_t n = ::recv(fd_, buffer, size_t(count), 0);
        return int(n);
    }

private:
    int fd_;
};

// Each replay reads the recorded stream this many times over one connection: a few milliseconds of reading
// would measure little more than where the scheduler happened to place the feeder and the reader.
constexpr int ReplayPasses = 4;

// Starts a thread that accepts one loopback connection and writes the stream into it ReplayPasses times;
// returns the client fd.
int Feed(const std::vector<uint8_t>& stream, std::thread& feeder) {
    int ls = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(ls, reinterpret_cast<sockaddr*>(&a), sizeof a);
    listen(ls, 1);
    socklen_t len = sizeof a;
    getsockname(ls, reinterpret_cast<sockaddr*>(&a), &len);
    feeder = std::thread([ls, &stream] {
        int s = accept(ls, nullptr, nullptr);
        for (int pass = 0; pass < ReplayPasses; ++pass) {
            size_t at = 0;
            while (at < stream.size()) {
                ssize_t n = send(s, stream.data() + at, stream.size() - at, MSG_NOSIGNAL);
                if (n <= 0) break;
                at += size_t(n);
            }
        }
        ::close(s);
        ::close(ls);
    });
    int c = socket(AF_INET, SOCK_STREAM, 0);
    connect(c, reinterpret_cast<sockaddr*>(&a), sizeof a);
    return c;
}

struct Buffers {
    int rows;
    std::vector<int32_t> id;
    std::vector<char> name;
    std::vector<uint8_t> created;
    std::vector<double> amount;
    std::vector<sb2> ind;
    explicit Buffers(int n)
        : rows(n), id(size_t(n)), name(size_t(n) * 31), created(size_t(n) * 7), amount(size_t(n)),
          ind(size_t(n) * 4) {}
    void Define(OCIStmt* stmt, OCIError* err) {
        OCIDefine* d = nullptr;
        OCIDefineByPos(stmt, &d, err, 1, id.data(), 4, SQLT_INT, &ind[0], nullptr, nullptr, 0);
        OCIDefineByPos(stmt, &d, err, 2, name.data(), 31, SQLT_STR, &ind[size_t(rows)], nullptr, nullptr, 0);
        OCIDefineByPos(stmt, &d, err, 3, created.data(), 7, SQLT_DAT, &ind[size_t(rows) * 2], nullptr,
                       nullptr, 0);
        OCIDefineByPos(stmt, &d, err, 4, amount.data(), 8, SQLT_FLT, &ind[size_t(rows) * 3], nullptr, nullptr,
                       0);
    }
};

// Fetches until no data; returns the rows.
long long FetchAll(OCIStmt* stmt, OCIError* err, int perFetch, long long& checksum) {
    long long total = 0;
    for (;;) {
        int32_t before = 0, after = 0;
        OCIAttrGet(stmt, OCI_HTYPE_STMT, &before, nullptr, OCI_ATTR_ROW_COUNT, err);
        sword rc = OCIStmtFetch(stmt, err, ub4(perFetch), 2, 0);
        if (rc != 0 && rc != 100) {
            std::fprintf(stderr, "fetch failed: %d\n", rc);
            std::exit(1);
        }
        OCIAttrGet(stmt, OCI_HTYPE_STMT, &after, nullptr, OCI_ATTR_ROW_COUNT, err);
        total += after - before;
        if (rc == 100) break;
    }
    checksum += total;
    return total;
}

struct LiveResult {
    long long rows = 0;
    double seconds = 0;
    double cpu = 0;
    long long bytes = 0;
    std::vector<uint8_t> stream;
    uint16_t protocolVersion = 6;
    uint16_t serverVersion = 8100;
};

LiveResult Live(vemu::EmuServer& emu, int perFetch, bool capture) {
    TNetSessionRig s;
    // Put a counting socket under the service context before it connects.
    auto* conn =
        static_cast<oranet::TNetConnection*>(static_cast<oranet::TNetHandle*>(static_cast<void*>(s.svc)));
    auto rec = std::make_unique<TRecordingSocket>();
    TRecordingSocket* sock = rec.get();
    conn->transport = std::make_unique<oranet::TNetTransport>(std::move(rec));
    std::string addr = "127.0.0.1:" + std::to_string(emu.Port()) + ":bnx";
    if (s.Logon(addr, "scott", "tiger") != 0) {
        std::fprintf(stderr, "logon failed: %s\n", s.ErrorText().c_str());
        std::exit(1);
    }
    TStmt q(s, "SELECT ID, NAME, CREATED, AMOUNT FROM BENCH");
    if (q.Execute() != 0) {
        std::fprintf(stderr, "execute failed: %s\n", s.ErrorText().c_str());
        std::exit(1);
    }
    Buffers b(perFetch);
    b.Define(q.stmt, s.err);
    LiveResult r;
    sock->record = capture;
    long long bytesBefore = sock->received;
    long long checksum = 0;
    double t0 = Now(), c0 = ThreadCpu();
    r.rows = FetchAll(q.stmt, s.err, perFetch, checksum);
    r.cpu = ThreadCpu() - c0;
    r.seconds = Now() - t0;
    r.bytes = sock->received - bytesBefore;
    r.stream = std::move(sock->captured);
    r.protocolVersion = conn->protocolVersion;
    r.serverVersion = conn->serverVersion;
    s.Logoff();
    return r;
}

// The recorded fetch replies replayed into the client's fetch loop.
double ReplayClient(const LiveResult& live, int perFetch) {
    oranet::InstallNetCalls();
    std::thread feeder;
    int fd = Feed(live.stream, feeder);
    auto* conn = new oranet::TNetConnection(nullptr, std::make_unique<TReplaySocket>(fd));
    conn->protocolVersion = uint8_t(live.protocolVersion);
    conn->serverVersion = live.serverVersion;
    conn->maxInlineString = 4000;
    conn->loggedOn = true;
    conn->transport->SetNegotiatedRepresentation();
    // One statement per pass of the stream, as the row counts of its replies start again each time.
    long long checksum = 0, rows = 0;
    double t = 0;
    Buffers b(perFetch);
    for (int pass = 0; pass < ReplayPasses; ++pass) {
        dvoid* h = nullptr;
        OCIHandleAlloc(hOCIEnv, &h, OCI_HTYPE_STMT, 0, nullptr);
        OCIStmt* stmt = static_cast<OCIStmt*>(h);
        const char* sql = "SELECT ID, NAME, CREATED, AMOUNT FROM BENCH";
        OCIStmtPrepare(stmt, hOCIError, T(sql), ub4(std::strlen(sql)), 1, 0);
        auto* cur = static_cast<oranet::TNetCursor*>(static_cast<oranet::TNetHandle*>(h));
        cur->connection = conn;
        cur->transport = conn->transport.get();
        cur->cursorId = 1;
        b.Define(stmt, hOCIError);
        double t0 = ThreadCpu();
        rows += FetchAll(stmt, hOCIError, perFetch, checksum);
        t += ThreadCpu() - t0;
        cur->cursorId = 0;
        OCIHandleFree(stmt, OCI_HTYPE_STMT);
    }
    feeder.join();
    delete conn;
    if (rows != live.rows * ReplayPasses) {
        std::fprintf(stderr, "replay gave %lld rows, live %lld\n", rows / ReplayPasses, live.rows);
        std::exit(1);
    }
    return t;
}

double ReplayRaw(const LiveResult& live) {
    std::thread feeder;
    int fd = Feed(live.stream, feeder);
    std::vector<uint8_t> buf(32768); // the same receive size as the client's transport
    long long got = 0;
    double t0 = ThreadCpu();
    for (;;) {
        ssize_t n = recv(fd, buf.data(), buf.size(), 0);
        if (n <= 0) break;
        got += n;
    }
    double t = ThreadCpu() - t0;
    feeder.join();
    ::close(fd);
    if (got != (long long)live.stream.size() * ReplayPasses)
        std::fprintf(stderr, "raw reader short: %lld\n", got);
    return t;
}

// Milliseconds of one logon (connect, negotiation, both logon phases) over loopback, the median of runs; the
// logoff is not counted.
double LogonMs(vemu::EmuServer& emu, bool current) {
    oranet::SetOfferCurrentProtocol(current);
    std::string addr = "127.0.0.1:" + std::to_string(emu.Port()) + ":bnx";
    std::vector<double> ms;
    for (int i = 0; i < 21; ++i) {
        TNetSessionRig s;
        double t0 = Now();
        if (s.Logon(addr, "scott", "tiger") != 0) {
            std::fprintf(stderr, "logon failed: %s\n", s.ErrorText().c_str());
            std::exit(1);
        }
        ms.push_back((Now() - t0) * 1000);
        s.Logoff();
    }
    oranet::SetOfferCurrentProtocol(false);
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

// The same fetch by Oracle's thin driver (node, 1000 rows per fetch, rows as arrays) against the same
// emulator: rows per second of its fetch, or 0 when node or the driver is missing (scripts/install-deps puts
// them in place); cpuSeconds: the node process's CPU time during the fetch.
double ThinPeerRowsPerSecond(vemu::EmuServer& emu, long long rows, double& cpuSeconds) {
    std::string command = "node '" VESTRA_THIN_FETCH_SCRIPT "' '" VESTRA_THIN_PEER_MODULES "' " +
                          std::to_string(emu.Port()) + " 2>&1";
    FILE* p = popen(command.c_str(), "r");
    if (!p) return 0;
    char line[512];
    long long got = 0;
    double seconds = 0;
    bool seen = false;
    while (std::fgets(line, sizeof line, p)) {
        if (std::sscanf(line, "ROWS %lld SECONDS %lf CPU %lf", &got, &seconds, &cpuSeconds) == 3)
            seen = true;
        else
            std::fprintf(stderr, "thin driver: %s", line);
    }
    int rc = pclose(p);
    if (rc != 0 || !seen || got != rows || seconds <= 0) {
        std::fprintf(stderr, "thin driver fetch failed (exit %d, %lld rows)\n", rc, got);
        return 0;
    }
    return double(got) / seconds;
}

} // namespace

int main(int argc, char** argv) {
    long long rows = argc > 1 ? std::atoll(argv[1]) : 1000000;
    vemu::EmuOptions o;
    o.benchRows = rows;
    vemu::EmuServer emu(o);
    emu.Start();
    // The classic generation's figures and the recorded stream are the classic protocol's: offered alone.
    oranet::SetOfferCurrentProtocol(false);

    LiveResult r25 = Live(emu, 25, false);
    LiveResult r1000 = Live(emu, 1000, false);
    // The same fetch over the current protocol generation.
    oranet::SetOfferCurrentProtocol(true);
    LiveResult modern = Live(emu, 1000, false);
    oranet::SetOfferCurrentProtocol(false);
    // A third pass records the stream for the replays; recording costs time, so it is not measured.
    LiveResult recorded = Live(emu, 1000, true);
    if (r25.rows != rows || r1000.rows != rows || recorded.rows != rows || modern.rows != rows) {
        std::fprintf(stderr, "expected %lld rows, got %lld and %lld\n", rows, r25.rows, r1000.rows);
        return 1;
    }
    // The machine is shared: the best of seven replays of each kind.
    double client = 1e9, raw = 1e9;
    for (int i = 0; i < 7; ++i) {
        client = std::min(client, ReplayClient(recorded, 1000));
        raw = std::min(raw, ReplayRaw(recorded));
    }

    std::printf("METRIC fetch25_rows_per_s %.0f rows/s\n", double(r25.rows) / r25.seconds);
    std::printf("METRIC fetch1000_rows_per_s %.0f rows/s\n", double(r1000.rows) / r1000.seconds);
    std::printf("METRIC client_cpu_ns_per_row %.1f ns\n", r1000.cpu * 1e9 / double(r1000.rows));
    std::printf("METRIC fetch25_bytes_received %lld bytes\n", r25.bytes);
    std::printf("METRIC fetch1000_bytes_received %lld bytes\n", r1000.bytes);
    const double replayed = double(recorded.rows) * ReplayPasses;
    std::printf("METRIC replay_client_cpu_ns_per_row %.1f ns\n", client * 1e9 / replayed);
    std::printf("METRIC replay_raw_cpu_ns_per_row %.1f ns\n", raw * 1e9 / replayed);
    std::printf("METRIC raw_reader_ratio %.2f ratio\n", client / raw);
    const double modernRate = double(modern.rows) / modern.seconds;
    std::printf("METRIC modern_fetch1000_rows_per_s %.0f rows/s\n", modernRate);
    std::printf("METRIC modern_vs_classic_ratio %.2f ratio\n",
                modernRate / (double(r1000.rows) / r1000.seconds));
    std::printf("METRIC modern_client_cpu_ns_per_row %.1f ns\n", modern.cpu * 1e9 / double(modern.rows));
    double thinCpu = 0;
    if (double thin = ThinPeerRowsPerSecond(emu, rows, thinCpu); thin > 0) {
        std::printf("METRIC thin_peer_rows_per_s %.0f rows/s\n", thin);
        std::printf("METRIC vestra_vs_thin_peer_ratio %.2f ratio\n", modernRate / thin);
        // Both ends share one emulator, which bounds both rates; the CPU each client spends a row tells them
        // apart (the thin driver's process time includes its collector's threads).
        std::printf("METRIC thin_peer_cpu_ns_per_row %.1f ns\n", thinCpu * 1e9 / double(rows));
        std::printf("METRIC vestra_vs_thin_peer_cpu_ratio %.2f ratio\n",
                    thinCpu / std::max(modern.cpu, 1e-9));
    }
    // Logons: the current generation with the 12C verifier (PBKDF2-SHA512 on both sides), and the classic
    // one.
    std::printf("METRIC modern_logon_ms %.2f ms\n", LogonMs(emu, true));
    std::printf("METRIC classic_logon_ms %.2f ms\n", LogonMs(emu, false));
    return 0;
}
