// End to end over loopback, once per protocol generation: the logon family (logon, wrong password, unknown
// SID, commit, rollback, logoff, redirect, resend, logons on many threads) against the emulator, which
// serves the current generation to a client that offers it and the classic one otherwise.
#include "E2eSession.h"
#include "emulator/EmuServer.h"
#include "oranet/NetHandles.h"
#include "tests/WaitFor.h"

#include <algorithm>
#include <atomic>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

using namespace ve2e;
using namespace oracall;

namespace {

enum class TGeneration { Classic, Current };

struct Server {
    vemu::EmuServer emu;
    explicit Server(vemu::EmuOptions o) : emu(std::move(o)) { emu.Start(); }
    std::string Address(const char* sid = "bnx") const {
        return "127.0.0.1:" + std::to_string(emu.Port()) + ":" + sid;
    }
};

class E2eGenerations : public ::testing::TestWithParam<TGeneration> {
protected:
    void SetUp() override { oranet::SetOfferCurrentProtocol(GetParam() == TGeneration::Current); }
    void TearDown() override { oranet::SetOfferCurrentProtocol(false); }
    vemu::EmuOptions Options() const {
        vemu::EmuOptions o;
        // The emulator answers each client in the generation it offers; the classic run makes sure of it.
        o.generation = GetParam() == TGeneration::Current ? vemu::EmuOptions::Generation::Current
                                                          : vemu::EmuOptions::Generation::Classic;
        return o;
    }
    static oranet::TNetConnection* Connection(TNetSessionRig& s) {
        return static_cast<oranet::TNetConnection*>(
            static_cast<oranet::TNetHandle*>(static_cast<void*>(s.svc)));
    }
    // Whether the rig's connection speaks the generation of the run.
    bool SpeaksTheRightGeneration(TNetSessionRig& s) {
        return (Connection(s)->current != nullptr) == (GetParam() == TGeneration::Current);
    }
};

std::string Name(const ::testing::TestParamInfo<TGeneration>& info) {
    return info.param == TGeneration::Current ? "Current" : "Classic";
}

} // namespace

TEST_P(E2eGenerations, LogonCommitRollbackLogoff) {
    Server srv(Options());
    TNetSessionRig s;
    ASSERT_EQ(s.Logon(srv.Address(), "scott", "tiger"), 0) << s.ErrorText();
    EXPECT_TRUE(SpeaksTheRightGeneration(s));
    EXPECT_EQ(OCITransCommit(s.svc, s.err, 0), 0) << s.ErrorText();
    EXPECT_EQ(OCITransRollback(s.svc, s.err, 0), 0) << s.ErrorText();
    // A second logon on the same service context is refused without touching the error handle.
    EXPECT_EQ(OCISessionBegin(s.svc, s.err, s.ses, 1, 0), -1);
    EXPECT_EQ(s.Logoff(), 0) << s.ErrorText();
    EXPECT_EQ(s.Logoff(), -1);
}

TEST_P(E2eGenerations, WrongPasswordAndUnknownUserGiveOra01017) {
    Server srv(Options());
    for (const char* user : {"SCOTT", "NOBODY"}) {
        TNetSessionRig s;
        EXPECT_EQ(s.Logon(srv.Address(), user, "wrong"), -1) << user;
        sb4 code = 0;
        std::string text = s.ErrorText(&code);
        EXPECT_EQ(code, 1017) << user;
        EXPECT_NE(text.find("ORA-01017"), std::string::npos) << text;
    }
    // The server is still there for the right password.
    TNetSessionRig s;
    EXPECT_EQ(s.Logon(srv.Address(), "scott", "tiger"), 0) << s.ErrorText();
    s.Logoff();
}

TEST_P(E2eGenerations, UnknownSidIsRefused) {
    Server srv(Options());
    TNetSessionRig s;
    EXPECT_EQ(s.Logon(srv.Address("NOSUCH"), "scott", "tiger"), -1);
    sb4 code = 0;
    EXPECT_EQ(s.ErrorText(&code), "NET: Invalid SID");
}

TEST_P(E2eGenerations, RedirectAndResend) {
    Server target(Options());
    vemu::EmuOptions o = Options();
    o.redirectTo = "127.0.0.1:" + std::to_string(target.emu.Port());
    Server front(o);
    TNetSessionRig s;
    EXPECT_EQ(s.Logon(front.Address(), "scott", "tiger"), 0) << s.ErrorText();
    EXPECT_TRUE(SpeaksTheRightGeneration(s));
    s.Logoff();

    vemu::EmuOptions r = Options();
    r.resendOnce = true;
    Server resend(r);
    TNetSessionRig t;
    EXPECT_EQ(t.Logon(resend.Address(), "scott", "tiger"), 0) << t.ErrorText();
    t.Logoff();
}

// Every logon derives its own keys: logons on many threads at once never mix them up (ORA-01017).
TEST_P(E2eGenerations, ConcurrentLogonsOfDifferentUsers) {
    constexpr int Threads = 6, Rounds = 3;
    vemu::EmuOptions o = Options();
    for (int i = 0; i < Threads; ++i)
        o.extraUsers.push_back(
            {"user" + std::to_string(i), "Secret" + std::string(size_t(i + 1), char('a' + i))});
    Server srv(o);
    const std::string address = srv.Address();
    oranet::InstallNetCalls();
    std::atomic<int> waiting{Threads};
    std::vector<std::string> failures(Threads);
    std::vector<std::thread> pool;
    for (int i = 0; i < Threads; ++i)
        pool.emplace_back([&, i] {
            const std::string user = o.extraUsers[size_t(i)].first, password = o.extraUsers[size_t(i)].second;
            waiting.fetch_sub(1);
            while (waiting.load() > 0)
                std::this_thread::yield();
            for (int round = 0; round < Rounds && failures[size_t(i)].empty(); ++round) {
                TNetSessionRig s(TNetSessionRig::OwnErrorHandle);
                if (s.Logon(address, user.c_str(), password.c_str()) != 0)
                    failures[size_t(i)] = user + " round " + std::to_string(round) + ": " + s.ErrorText();
                else if (s.Logoff() != 0)
                    failures[size_t(i)] = user + " logoff: " + s.ErrorText();
            }
        });
    for (auto& t : pool)
        t.join();
    for (const auto& f : failures)
        EXPECT_EQ(f, "");
}

TEST_P(E2eGenerations, QueryFetchedInBlocks) {
    Server srv(Options());
    TNetSessionRig s;
    ASSERT_EQ(s.Logon(srv.Address(), "scott", "tiger"), 0) << s.ErrorText();
    TStmt q(s, "SELECT DEPTNO, DNAME, LOC FROM DEPT ORDER BY DEPTNO");
    ASSERT_EQ(q.Execute(), 0) << s.ErrorText();
    EXPECT_EQ(q.Attr<int32_t>(OCI_ATTR_PARAM_COUNT), 3);
    int32_t deptno[3] = {};
    char dname[3][15] = {};
    sb2 ind[3] = {};
    q.Define(1, deptno, 4, SQLT_INT);
    q.Define(2, dname, 15, SQLT_STR, ind);
    EXPECT_EQ(q.Fetch(3), 0) << s.ErrorText();
    EXPECT_EQ(deptno[0], 10);
    EXPECT_EQ(deptno[2], 30);
    EXPECT_STREQ(dname[0], "ACCOUNTING");
    EXPECT_STREQ(dname[2], "SALES");
    EXPECT_EQ(ind[1], 0);
    // The fourth row, then the end of the data.
    EXPECT_EQ(q.Fetch(3), 100) << s.ErrorText();
    EXPECT_EQ(deptno[0], 40);
    EXPECT_STREQ(dname[0], "OPERATIONS");
    EXPECT_EQ(q.Attr<int32_t>(OCI_ATTR_ROW_COUNT), 4);
    EXPECT_EQ(s.Logoff(), 0) << s.ErrorText();
}

// The server reads the next rows of a query while the client works on the last ones; whatever the client
// does in between (another statement, DML, a re-execution, a closed cursor), every row comes exactly once and
// in order.
TEST_P(E2eGenerations, BlocksReadAheadStayInOrderAcrossOtherCalls) {
    vemu::EmuOptions o = Options();
    o.benchRows = 2500;
    Server srv(o);
    TNetSessionRig s;
    ASSERT_EQ(s.Logon(srv.Address(), "scott", "tiger"), 0) << s.ErrorText();
    int32_t ids[1000] = {};
    auto block = [&](TStmt& q, int32_t first, int rows, sword expect) {
        std::fill(std::begin(ids), std::end(ids), 0);
        EXPECT_EQ(q.Fetch(1000), expect) << s.ErrorText();
        for (int i = 0; i < rows; ++i)
            if (ids[i] != first + i) return ::testing::AssertionFailure() << "row " << i << ": " << ids[i];
        return ::testing::AssertionSuccess();
    };
    TStmt q(s, "SELECT ID FROM BENCH ORDER BY ID");
    ASSERT_EQ(q.Execute(), 0) << s.ErrorText();
    q.Define(1, ids, 4, SQLT_INT);
    EXPECT_TRUE(block(q, 1, 1000, 0));
    {
        // another cursor's query and a DML between two blocks
        TStmt other(s, "SELECT COUNT(*) FROM DEPT");
        ASSERT_EQ(other.Execute(), 0) << s.ErrorText();
        TStmt dml(s, "UPDATE DEPT SET LOC = LOC WHERE DEPTNO = 10");
        ASSERT_EQ(dml.Execute(1), 0) << s.ErrorText();
    }
    EXPECT_TRUE(block(q, 1001, 1000, 0));
    // executed again: the rows start over, none of the rows read before come back
    ASSERT_EQ(q.Execute(), 0) << s.ErrorText();
    EXPECT_TRUE(block(q, 1, 1000, 0));
    EXPECT_TRUE(block(q, 1001, 1000, 0));
    EXPECT_TRUE(block(q, 2001, 500, 100));
    EXPECT_EQ(q.Attr<int32_t>(OCI_ATTR_ROW_COUNT), 2500);
    {
        // a cursor closed in the middle of its rows leaves nothing behind for the next one
        TStmt half(s, "SELECT ID FROM BENCH ORDER BY ID DESC");
        ASSERT_EQ(half.Execute(), 0) << s.ErrorText();
        half.Define(1, ids, 4, SQLT_INT);
        EXPECT_EQ(half.Fetch(1000), 0) << s.ErrorText();
        EXPECT_EQ(ids[0], 2500);
    }
    TStmt again(s, "SELECT ID FROM BENCH WHERE ID > 2400 ORDER BY ID");
    ASSERT_EQ(again.Execute(), 0) << s.ErrorText();
    again.Define(1, ids, 4, SQLT_INT);
    EXPECT_TRUE(block(again, 2401, 100, 100));
    EXPECT_EQ(s.Logoff(), 0) << s.ErrorText();
}

TEST_P(E2eGenerations, ErrorsWithOffsetsAndTheSessionGoesOn) {
    Server srv(Options());
    TNetSessionRig s;
    ASSERT_EQ(s.Logon(srv.Address(), "scott", "tiger"), 0) << s.ErrorText();
    {
        TStmt q(s, "SELECT * FROM NO_SUCH_TABLE");
        EXPECT_EQ(q.Execute(), -1);
        sb4 code = 0;
        std::string text = s.ErrorText(&code);
        EXPECT_EQ(code, 942) << text;
        EXPECT_NE(text.find("ORA-00942"), std::string::npos) << text;
    }
    TStmt q(s, "SELECT DNAME FROM DEPT WHERE DEPTNO = 20");
    ASSERT_EQ(q.Execute(), 0) << s.ErrorText();
    char dname[15] = {};
    q.Define(1, dname, 15, SQLT_STR);
    EXPECT_EQ(q.Fetch(1), 0) << s.ErrorText();
    EXPECT_STREQ(dname, "RESEARCH");
}

TEST_P(E2eGenerations, DmlCountsCommitAndRollbackSeenByASecondSession) {
    Server srv(Options());
    TNetSessionRig a;
    TNetSessionRig b(
        TNetSessionRig::OwnErrorHandle); // a second default rig would free the first one's handle
    ASSERT_EQ(a.Logon(srv.Address(), "scott", "tiger"), 0) << a.ErrorText();
    ASSERT_EQ(b.Logon(srv.Address(), "scott", "tiger"), 0) << b.ErrorText();
    auto count = [&](TNetSessionRig& s) {
        TStmt q(s, "SELECT COUNT(*) FROM DEPT");
        int32_t n = -1;
        if (q.Execute() != 0) return -1;
        q.Define(1, &n, 4, SQLT_INT);
        q.Fetch(1);
        return int(n);
    };
    {
        TStmt ins(a, "INSERT INTO DEPT (DEPTNO, DNAME, LOC) VALUES (50, 'QA', 'BERLIN')");
        ASSERT_EQ(ins.Execute(1), 0) << a.ErrorText();
        EXPECT_EQ(ins.Attr<int32_t>(OCI_ATTR_ROW_COUNT), 1);
    }
    EXPECT_EQ(count(b), 4);
    EXPECT_EQ(OCITransCommit(a.svc, a.err, 0), 0) << a.ErrorText();
    EXPECT_EQ(count(b), 5);
    {
        TStmt del(a, "DELETE FROM DEPT WHERE DEPTNO >= 40");
        ASSERT_EQ(del.Execute(1), 0) << a.ErrorText();
        EXPECT_EQ(del.Attr<int32_t>(OCI_ATTR_ROW_COUNT), 2);
    }
    EXPECT_EQ(OCITransRollback(a.svc, a.err, 0), 0) << a.ErrorText();
    EXPECT_EQ(count(b), 5);
    EXPECT_EQ(count(a), 5);
}

// Stop: a break from another thread while the server sends rows slowly ends the fetch with ORA-01013, and
// the session goes on.
TEST_P(E2eGenerations, BreakDuringASlowFetch) {
    std::atomic<long long> checks{0};
    vemu::EmuOptions o = Options();
    o.benchRows = 1000;
    o.slowFetchMs = 20;
    o.breakChecks = &checks;
    Server srv(o);
    TNetSessionRig s;
    ASSERT_EQ(s.Logon(srv.Address(), "scott", "tiger"), 0) << s.ErrorText();
    {
        TStmt q(s, "SELECT ID FROM BENCH");
        ASSERT_EQ(q.Execute(), 0) << s.ErrorText();
        int32_t ids[1000];
        q.Define(1, ids, 4, SQLT_INT);
        std::atomic<bool> done{false};
        sword rc = 0;
        std::thread fetcher([&] {
            rc = q.Fetch(1000);
            done = true;
        });
        EXPECT_TRUE(vtest::WaitFor([&] { return checks.load() >= 2; })); // the server is sending rows
        EXPECT_FALSE(done.load());                                       // 20 s of rows
        dvoid* h = nullptr;
        OCIHandleAlloc(hOCIEnv, &h, OCI_HTYPE_ERROR, 0, nullptr); // the break reports into its own handle
        EXPECT_EQ(OCIBreak(s.svc, static_cast<OCIError*>(h)), 0);
        fetcher.join();
        OCIHandleFree(h, OCI_HTYPE_ERROR);
        EXPECT_EQ(rc, -1);
        sb4 code = 0;
        std::string text = s.ErrorText(&code);
        EXPECT_EQ(code, 1013) << text;
    }
    TStmt q(s, "SELECT DNAME FROM DEPT WHERE DEPTNO = 30");
    ASSERT_EQ(q.Execute(), 0) << s.ErrorText();
    char dname[15] = {};
    q.Define(1, dname, 15, SQLT_STR);
    EXPECT_EQ(q.Fetch(1), 0) << s.ErrorText();
    EXPECT_STREQ(dname, "SALES");
}

INSTANTIATE_TEST_SUITE_P(Protocol, E2eGenerations,
                         ::testing::Values(TGeneration::Classic, TGeneration::Current), Name);

// The current generation only.

namespace {

struct CurrentOnly : ::testing::Test {
    void SetUp() override { oranet::SetOfferCurrentProtocol(true); }
    void TearDown() override { oranet::SetOfferCurrentProtocol(false); }
};

} // namespace

using E2eCurrent = CurrentOnly;

TEST_F(E2eCurrent, BothVerifiersLogOn) {
    for (bool v11g : {false, true}) {
        vemu::EmuOptions o;
        o.verifier11g = v11g;
        Server srv(o);
        TNetSessionRig s;
        ASSERT_EQ(s.Logon(srv.Address(), "scott", "tiger"), 0) << (v11g ? "11G: " : "12C: ") << s.ErrorText();
        EXPECT_EQ(s.Logoff(), 0) << s.ErrorText();
        TNetSessionRig wrong;
        EXPECT_EQ(wrong.Logon(srv.Address(), "scott", "TIGER"), -1);
        sb4 code = 0;
        wrong.ErrorText(&code);
        EXPECT_EQ(code, 1017);
    }
}

TEST_F(E2eCurrent, AServerThatRequiresEncryptionEndsTheLogonWithAClearMessage) {
    vemu::EmuOptions o;
    o.requireEncryption = true;
    Server srv(o);
    TNetSessionRig s;
    EXPECT_EQ(s.Logon(srv.Address(), "scott", "tiger"), -1);
    EXPECT_EQ(s.ErrorText(), "NET: native network encryption not supported (ORA-12660)");
}

TEST_F(E2eCurrent, AClassicServerIsStillServedByTheSameConnect) {
    vemu::EmuOptions o;
    o.generation = vemu::EmuOptions::Generation::Classic;
    Server srv(o);
    TNetSessionRig s;
    ASSERT_EQ(s.Logon(srv.Address(), "scott", "tiger"), 0) << s.ErrorText();
    TStmt q(s, "SELECT DNAME FROM DEPT WHERE DEPTNO = 10");
    ASSERT_EQ(q.Execute(), 0) << s.ErrorText();
    char dname[32] = {};
    q.Define(1, dname, sizeof dname, SQLT_STR);
    EXPECT_EQ(q.Fetch(1), 0) << s.ErrorText();
    EXPECT_STREQ(dname, "ACCOUNTING");
    s.Logoff();
}
