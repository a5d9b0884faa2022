// Ending the server calls of a session from another thread: a logon to a listener that never answers ends at
// once when aborted (also when the abort comes before the socket exists), leaves the session unconnected and
// usable for the next logon; a statement waiting for its reply ends too, and the logoff after it does not
// hang.
#include "OraE2e.h"
#include "SilentListener.h"

#include "dataset/QxAccess.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace oratest;

namespace {

using TClock = std::chrono::steady_clock;

double SecondsSince(TClock::time_point t0) {
    return std::chrono::duration<double>(TClock::now() - t0).count();
}

std::unique_ptr<TOraSession> Session(const std::string& server) {
    auto s = std::make_unique<TOraSession>();
    s->ConnectPrompt = false;
    s->Options().SetNet(true);
    s->Options().SetConnectTimeout(20);
    s->SetUsername("scott");
    s->SetPassword("tiger");
    s->SetServer(server);
    return s;
}

// The dialog's way of logging on: the server calls on a thread of their own.
struct TThreadLogon {
    TOraSession& s;
    std::thread thread;
    std::string error;
    bool connected = false;
    TClock::time_point ended;
    explicit TThreadLogon(TOraSession& session) : s(session) {}
    void Start() {
        TQxConnection* c = s.BeginConnect();
        thread = std::thread([this, c] {
            try {
                c->Connect("");
                connected = true;
            } catch (const std::exception& e) {
                error = e.what();
            }
            ended = TClock::now();
        });
    }
    void Join() {
        thread.join();
        s.EndConnect(connected);
    }
};

} // namespace

TEST(ConnectAbort, AnAbortedLogonToASilentListenerEndsAtOnceAndTheSessionLogsOnAfterwards) {
    TSilentListener silent(true);
    auto s = Session(silent.Server());
    TThreadLogon logon(*s);
    logon.Start();
    // Wait until the connect packet is out: the logon then waits for an answer that never comes.
    for (int i = 0; i < 500 && silent.BytesRead() == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_GT(silent.BytesRead(), 0);
    const auto t0 = TClock::now();
    s->AbortCalls();
    logon.Join();
    EXPECT_LT(std::chrono::duration<double>(logon.ended - t0).count(), 1.0);
    EXPECT_FALSE(logon.connected);
    EXPECT_FALSE(logon.error.empty());
    EXPECT_NE(logon.error, "NET: Connection timed out");
    EXPECT_FALSE(s->Connected());

    // Nothing of the abort is left over: the same session logs on and works.
    TEmu emu;
    s->SetServer(emu.Server());
    TThreadLogon again(*s);
    again.Start();
    again.Join();
    EXPECT_TRUE(again.connected) << again.error;
    ASSERT_TRUE(s->Connected());
    TOraQuery q(s.get());
    q.SetSQL("select count(*) from scott.dept");
    q.Open();
    EXPECT_EQ(q.Fields(0)->AsInteger(), 4);
}

TEST(ConnectAbort, AnAbortBeforeTheLogonReachesTheSocketStillEndsIt) {
    TSilentListener silent(true);
    auto s = Session(silent.Server());
    TQxConnection* c = s->BeginConnect();
    s->AbortCalls(); // before any socket exists
    const auto t0 = TClock::now();
    EXPECT_ANY_THROW(c->Connect(""));
    EXPECT_LT(SecondsSince(t0), 1.0);
    s->EndConnect(false);
    EXPECT_FALSE(s->Connected());
    EXPECT_EQ(silent.BytesRead(), 0);
}

TEST(ConnectAbort, AnAbortOutsideALogonIsNotRememberedForTheNextOne) {
    TEmu emu;
    auto s = Session(emu.Server());
    s->AbortCalls(); // idle: nothing to end
    s->Connect();
    EXPECT_TRUE(s->Connected());
    s->Disconnect();
    // One asked for during a logon ends that logon only: the next logon is not touched by it.
    TQxConnection* c = s->BeginConnect();
    s->AbortCalls();
    EXPECT_ANY_THROW(c->Connect(""));
    s->EndConnect(false);
    EXPECT_FALSE(s->Connected());
    s->Connect();
    EXPECT_TRUE(s->Connected());
}

TEST(ConnectAbort, AStatementWaitingForItsReplyEndsAtOnceAndTheLogoffDoesNotHang) {
    vemu::EmuOptions o;
    o.slowFetchMs = 1000; // a row a second
    TEmu emu(o);
    auto s = Session(emu.Server());
    s->Connect();
    std::string error;
    TClock::time_point ended;
    std::thread worker([&] {
        try {
            TOraQuery q(s.get());
            q.SetSQL("select empno from scott.emp");
            q.Open();
        } catch (const std::exception& e) {
            error = e.what();
        }
        ended = TClock::now();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const auto t0 = TClock::now();
    s->AbortCalls();
    worker.join();
    EXPECT_LT(std::chrono::duration<double>(ended - t0).count(), 1.0);
    EXPECT_FALSE(error.empty());
    const auto t1 = TClock::now();
    try {
        s->Disconnect();
    } catch (const std::exception&) {
        // the logoff cannot reach the server any more; what counts is that it ends
    }
    EXPECT_LT(SecondsSince(t1), 1.0);
    EXPECT_FALSE(s->Connected());
}
