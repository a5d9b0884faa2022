// vestra-emu: an Oracle-protocol server emulator backed by SQLite, for tests, benchmarks and the demo.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace vemu {

struct EmuOptions {
    std::string host = "127.0.0.1";
    uint16_t port = 0;       // 0 = a free port
    std::string sid = "bnx"; // CONNECT for any other SID is REFUSEd
    int protocol = 6;        // TTC protocol version answered: 4, 5 or 6
    // Which protocol generation the server speaks: Auto serves the current one (TNS 315+, O5LOGON) to
    // clients that offer it and the classic one to older clients; Current refuses older clients as 19c
    // does; Classic answers every client with the classic protocol.
    enum class Generation { Auto, Current, Classic };
    Generation generation = Generation::Auto;
    bool verifier11g = false; // accounts hold 11G (SHA-1) verifiers instead of 12C (PBKDF2-SHA512)
    // > 0: every current-protocol logon succeeds with ORA-28002 (the password is in its grace period and
    // expires within that many days), as a server with a password life time answers.
    int passwordExpiresInDays = 0;
    bool requireEncryption = false; // refuse current-protocol clients as a server that requires network
                                    // encryption refuses one without it (the emulator offers none)
    std::string dbFile;             // empty = in-memory database, seeded
    std::vector<std::pair<std::string, std::string>> extraUsers; // NAME, PASSWORD
    std::string redirectTo;  // "HOST:PORT": answer the first CONNECT with a REDIRECT there
    bool resendOnce = false; // answer the first CONNECT with RESEND
    int slowFetchMs = 0;     // sleep between rows while fetching (to test break)
    // Counts the checks for a break made while a call runs (one per slow row, one per SQLite progress
    // step); a test waits on it to know that the call it wants to break is under way. Owned by the caller.
    std::atomic<long long>* breakChecks = nullptr;
    // Counts the break markers that arrived while no call ran (between calls, or after a call's work was
    // done). They interrupt nothing and are dropped; a test counts them to see that the client sends
    // none. Owned by the caller.
    std::atomic<long long>* idleBreaks = nullptr;
    long long dropAfterBytes = -1; // close the connection after sending this many DATA bytes; -1 = never
    long long benchRows = 0;       // > 0: SCOTT owns table BENCH(ID NUMBER, NAME VARCHAR2(30), CREATED DATE,
                                   //       AMOUNT NUMBER(10,2)) with this many rows (ID 1..N)
    int lockWaitMs = 3000;         // how long a session waits for another session's transaction before
                                   // it gets ORA-00054
    bool verbose = false;          // log sessions and protocol errors to stderr
    // A service served besides the SID's own name; a CONNECT naming another service is REFUSEd (ORA-12514).
    std::string service;
};

class EmuServer {
public:
    explicit EmuServer(EmuOptions opts);
    ~EmuServer();          // stops, closes every session, joins every thread
    void Start();          // binds, listens, starts accepting; throws std::runtime_error on failure
    uint16_t Port() const; // the bound port
    void Stop();           // idempotent

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

} // namespace vemu
