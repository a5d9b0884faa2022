// Logging on in network mode is bounded by the session's ConnectTimeout: a listener that accepts and never
// answers, or one that never completes the TCP handshake, ends the logon with "NET: Connection timed out";
// statements after the logon are not bounded by it.
#include "OraE2e.h"
#include "SilentListener.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace oratest;

namespace {

struct TTimedLogon {
    std::string message;
    double seconds = 0;
};

TTimedLogon LogonTo(TOraSession& s, const std::string& server) {
    s.SetServer(server);
    auto t0 = std::chrono::steady_clock::now();
    TTimedLogon r;
    try {
        s.Connect();
        r.message = "(connected)";
    } catch (const std::exception& e) {
        r.message = e.what();
    }
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    return r;
}

std::unique_ptr<TOraSession> SessionWithTimeout(int seconds) {
    auto s = std::make_unique<TOraSession>();
    s->ConnectPrompt = false;
    s->Options().SetNet(true);
    s->Options().SetConnectTimeout(seconds);
    s->SetUsername("scott");
    s->SetPassword("tiger");
    return s;
}

} // namespace

TEST(ConnectTimeout, AListenerThatAcceptsAndNeverAnswersEndsTheLogonAfterTheTimeOut) {
    TSilentListener silent(true);
    auto s = SessionWithTimeout(1);
    TTimedLogon r = LogonTo(*s, silent.Server());
    EXPECT_EQ(r.message, "NET: Connection timed out");
    EXPECT_FALSE(s->Connected());
    // The connect packet did reach the listener: the time-out struck while waiting for its answer.
    EXPECT_GT(silent.BytesRead(), 0);
    EXPECT_GE(r.seconds, 0.9);
    EXPECT_LT(r.seconds, 15.0);

    // The same session logs on normally afterwards.
    TEmu emu;
    TTimedLogon ok = LogonTo(*s, emu.Server());
    EXPECT_EQ(ok.message, "(connected)");
    EXPECT_TRUE(s->Connected());
}

TEST(ConnectTimeout, AHandshakeThatNeverCompletesEndsAfterTheTimeOut) {
    // A listener that never accepts, with its queue filled: the kernel drops further handshakes, so the
    // connect itself waits.
    TSilentListener full(false, 0);
    std::vector<int> fillers;
    for (int i = 0; i < 4; ++i) {
        int c = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(uint16_t(full.Port()));
        ::connect(c, reinterpret_cast<sockaddr*>(&a), sizeof a);
        fillers.push_back(c);
    }
    auto s = SessionWithTimeout(1);
    TTimedLogon r = LogonTo(*s, full.Server());
    for (int c : fillers)
        ::close(c);
    EXPECT_EQ(r.message, "NET: Connection timed out");
    EXPECT_LT(r.seconds, 15.0);
}

TEST(ConnectTimeout, StatementsAfterTheLogonAreNotBoundedByIt) {
    vemu::EmuOptions o;
    o.slowFetchMs = 400; // five rows take about two seconds, twice the time-out
    TEmu emu(o);
    auto s = SessionWithTimeout(1);
    ASSERT_EQ(LogonTo(*s, emu.Server()).message, "(connected)");
    TOraQuery q(s.get());
    q.SetSQL("select deptno from scott.emp where rownum <= 5 order by empno");
    q.Open();
    int rows = 0;
    for (; !q.Eof(); q.Next())
        ++rows;
    EXPECT_EQ(rows, 5);
}

TEST(ConnectTimeout, TheOptionKeepsItsRangeAndDefault) {
    TOraSession s;
    EXPECT_EQ(s.Options().ConnectTimeout(), 20);
    EXPECT_THROW(s.Options().SetConnectTimeout(-1), EDatabaseError);
    EXPECT_EQ(s.Options().ConnectTimeout(), 20);
    s.Options().SetConnectTimeout(0);
    EXPECT_EQ(s.Options().ConnectTimeout(), 0);
}
