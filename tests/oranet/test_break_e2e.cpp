// The break against the emulator: a marker goes out only while a call is under way, so a break that lands
// after a call has ended, or between the calls of a walk over many blocks, reaches no idle server (the
// emulator counts those it receives) and the next statement runs normally; a break during a call ends it
// with ORA-01013 and leaves the session usable, whatever the timing.
#include "E2eSession.h"
#include "emulator/EmuServer.h"
#include "oranet/NetHandles.h"
#include "tests/WaitFor.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <random>
#include <thread>

using namespace ve2e;
using namespace oracall;
using namespace std::chrono_literals;

namespace {

struct TBreakRig {
    std::atomic<long long> checks{0};
    std::atomic<long long> idleBreaks{0};
    vemu::EmuServer emu;
    TNetSessionRig s;
    OCIError* breakErr = nullptr; // the break reports into its own error handle

    static vemu::EmuOptions Options(TBreakRig* rig, int slowFetchMs) {
        vemu::EmuOptions o;
        o.benchRows = 200;
        o.slowFetchMs = slowFetchMs;
        o.breakChecks = &rig->checks;
        o.idleBreaks = &rig->idleBreaks;
        return o;
    }
    explicit TBreakRig(int slowFetchMs) : emu(Options(this, slowFetchMs)) {
        emu.Start();
        const std::string address = "127.0.0.1:" + std::to_string(emu.Port()) + ":bnx";
        EXPECT_EQ(s.Logon(address, "scott", "tiger"), 0) << s.ErrorText();
        dvoid* h = nullptr;
        OCIHandleAlloc(hOCIEnv, &h, OCI_HTYPE_ERROR, 0, nullptr);
        breakErr = static_cast<OCIError*>(h);
    }
    ~TBreakRig() { OCIHandleFree(breakErr, OCI_HTYPE_ERROR); }
    sword Break() { return OCIBreak(s.svc, breakErr); }
    oranet::TNetTransport& Transport() {
        return *dynamic_cast<oranet::TNetConnection*>(
                    static_cast<oranet::TNetHandle*>(static_cast<void*>(s.svc)))
                    ->transport;
    }
    // The next statement works: four departments.
    void ExpectCountWorks() {
        TStmt q(s, "SELECT COUNT(*) FROM DEPT");
        int32_t n = 0;
        q.Define(1, &n, 4, SQLT_INT);
        ASSERT_EQ(q.Execute(), 0) << s.ErrorText();
        ASSERT_EQ(q.Fetch(1), 0) << s.ErrorText();
        EXPECT_EQ(n, 4);
    }
};

} // namespace

TEST(E2eBreakGate, ABreakAfterTheCallHasEndedSendsNothing) {
    TBreakRig rig(0);
    {
        TStmt q(rig.s, "SELECT ID FROM BENCH WHERE ID <= 5");
        int32_t ids[5];
        q.Define(1, ids, 4, SQLT_INT);
        ASSERT_EQ(q.Execute(), 0) << rig.s.ErrorText();
        ASSERT_EQ(q.Fetch(5), 0) << rig.s.ErrorText();
        // The fetch has returned: no call is under way, and the break would only reach a waiting server.
        EXPECT_EQ(rig.Break(), 0);
        EXPECT_EQ(rig.Break(), 0);
        EXPECT_EQ(q.Fetch(5), 100); // the end of the rows, not an interrupted call
    }
    EXPECT_EQ(rig.Transport().BreaksSent(), 0);
    rig.ExpectCountWorks();
    std::this_thread::sleep_for(50ms); // a marker sent would have arrived by now
    EXPECT_EQ(rig.idleBreaks.load(), 0);
}

TEST(E2eBreakGate, ABreakBetweenTheBlocksOfAWalkSendsNothingAndTheWalkGoesOn) {
    TBreakRig rig(1);
    TStmt q(rig.s, "SELECT ID FROM BENCH ORDER BY ID");
    int32_t ids[20];
    q.Define(1, ids, 4, SQLT_INT);
    ASSERT_EQ(q.Execute(), 0) << rig.s.ErrorText();
    int32_t seen = 0;
    for (int block = 0; block < 10; ++block) {
        ASSERT_EQ(q.Fetch(20), 0) << rig.s.ErrorText();
        EXPECT_EQ(ids[0], seen + 1);
        seen += 20;
        EXPECT_EQ(rig.Break(), 0); // between two calls of the walk: whoever walks asks for a stop itself
    }
    EXPECT_EQ(q.Fetch(20), 100);
    EXPECT_EQ(rig.Transport().BreaksSent(), 0);
    rig.ExpectCountWorks();
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(rig.idleBreaks.load(), 0);
}

// A break fired from another thread at a random moment around a slow fetch: before the call, during it,
// just as it ends or after it. Either the fetch is broken (ORA-01013) or it brings its rows; the statement
// after it always works.
TEST(E2eBreakGate, ABreakAtAnyMomentLeavesTheNextStatementWorking) {
    TBreakRig rig(1);
    std::mt19937 random(19);
    std::uniform_int_distribution<int> delayUs(0, 12000);
    int broken = 0, whole = 0;
    const int rounds = 300;
    for (int round = 0; round < rounds; ++round) {
        const auto delay = std::chrono::microseconds(delayUs(random));
        std::atomic<bool> go{false};
        std::thread breaker([&] {
            while (!go.load())
                std::this_thread::yield();
            std::this_thread::sleep_for(delay);
            EXPECT_EQ(rig.Break(), 0);
        });
        {
            TStmt q(rig.s, "SELECT ID FROM BENCH WHERE ID <= 5");
            int32_t ids[5] = {};
            q.Define(1, ids, 4, SQLT_INT);
            go = true;
            sword rc = q.Execute();
            if (rc == 0) rc = q.Fetch(5);
            if (rc == 0) {
                ++whole;
                EXPECT_EQ(ids[0], 1);
                EXPECT_EQ(ids[4], 5);
            } else {
                ++broken;
                sb4 code = 0;
                const std::string text = rig.s.ErrorText(&code);
                ASSERT_EQ(code, 1013) << "round " << round << ": " << text;
            }
            breaker.join();
        }
        ASSERT_NO_FATAL_FAILURE(rig.ExpectCountWorks()) << "round " << round;
    }
    // The timing covered both sides of the call's end.
    EXPECT_GT(broken, 0);
    EXPECT_GT(whole, 0);
    EXPECT_LE(rig.Transport().BreaksSent(), rounds);
}
