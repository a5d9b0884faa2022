// End to end over loopback, once per protocol generation: the logon family (logon, wrong password, unknown
// SID, commit, rollback, logoff, redirect, resend, logons on many threads) against the emulator, which
// serves the current generation to a client that offers it and the classic one otherwise.
#include "E2eSession.h"
#include "emulator/EmuServer.h"
#include "oranet/NetHandles.h"
#include "oranet/NetNumber.h"
#include "tests/WaitFor.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstring>
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
    void TearDown() override { oranet::SetOfferCurrentProtocol(true); }
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

namespace {

// A table with a column of each bound type, made by the first connection.
void MakeBindTable(TNetSessionRig& s) {
    TStmt ddl(s, "CREATE TABLE BINDS (K CHAR(6) NOT NULL, N NUMBER, S VARCHAR2(4000), D DATE, R RAW(200), "
                 "L LONG)");
    ASSERT_EQ(ddl.Execute(1), 0) << s.ErrorText();
}

} // namespace

// Every bound type, NULLs and extreme values go in by name and come back unchanged; a CHAR key compares
// blank-padded; the same parsed statement runs again with new values.
TEST_P(E2eGenerations, BindsOfEveryTypeRoundTrip) {
    Server srv(Options());
    TNetSessionRig s;
    ASSERT_EQ(s.Logon(srv.Address(), "scott", "tiger"), 0) << s.ErrorText();
    MakeBindTable(s);
    const std::string big38 = "-12345678901234567890123456789012345678";
    std::string number;
    ASSERT_TRUE(oranet::DecimalTextToNumber(big38, number));
    {
        TStmt ins(s, "INSERT INTO BINDS (K, N, S, D, R) VALUES (:K, :N, :S, :D, :R)");
        char key[8] = "AB";
        char text[64] = "Gr\xFC\xDF"
                        "e \x80 \xE9t\xE9";               // Windows-1252: umlauts, euro sign, accents
        uint8_t date[7] = {120, 123, 12, 31, 24, 60, 60}; // 2023-12-31 23:59:59
        uint8_t raw[4] = {0x00, 0xFF, 0x10, 0x80};
        ub2 rawLen = 4;
        ins.BindName("K", key, sizeof key, SQLT_STR);
        ins.BindName("N", number.data(), sb4(number.size()), SQLT_NUM);
        ins.BindName("S", text, sizeof text, SQLT_STR);
        ins.BindName("D", date, 7, SQLT_DAT);
        ins.BindName("R", raw, sizeof raw, SQLT_BIN, nullptr, &rawLen);
        ASSERT_EQ(ins.Execute(1), 0) << s.ErrorText();
        EXPECT_EQ(ins.Attr<int32_t>(OCI_ATTR_ROW_COUNT), 1);
        // The same statement again: NULLs everywhere but the key.
        std::strcpy(key, "CD");
        sb2 null = -1;
        ins.BindName("N", number.data(), sb4(number.size()), SQLT_NUM, &null);
        ins.BindName("S", text, sizeof text, SQLT_STR, &null);
        ins.BindName("D", date, 7, SQLT_DAT, &null);
        ins.BindName("R", raw, sizeof raw, SQLT_BIN, &null, &rawLen);
        ASSERT_EQ(ins.Execute(1), 0) << s.ErrorText();
    }
    // A blank-padded key finds the CHAR(6) 'AB    '.
    TStmt q(s, "SELECT N, S, D, R FROM BINDS WHERE K = :K");
    char fixed[7] = "AB    ";
    q.BindPos(1, fixed, 6, SQLT_AFC);
    ASSERT_EQ(q.Execute(), 0) << s.ErrorText();
    char text[64] = {};
    uint8_t n[22] = {}, date[7] = {}, raw[16] = {};
    sb2 ind[4] = {};
    ub2 rawLen = 0, nLen = 0;
    q.Define(1, n, sizeof n, SQLT_NUM, &ind[0], &nLen);
    q.Define(2, text, sizeof text, SQLT_STR, &ind[1]);
    q.Define(3, date, 7, SQLT_DAT, &ind[2]);
    q.Define(4, raw, sizeof raw, SQLT_BIN, &ind[3], &rawLen);
    ASSERT_EQ(q.Fetch(1), 0) << s.ErrorText();
    EXPECT_EQ(std::string(reinterpret_cast<char*>(n), nLen), number); // all 38 digits
    EXPECT_STREQ(text, "Gr\xFC\xDF"
                       "e \x80 \xE9t\xE9");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(date), 7), std::string("\x78\x7B\x0C\x1F\x18\x3C\x3C", 7));
    EXPECT_EQ(rawLen, 4);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(raw), 4), std::string("\x00\xFF\x10\x80", 4));
    // The parsed query again with the other key: all NULL.
    std::strcpy(fixed, "CD    ");
    ASSERT_EQ(q.Execute(), 0) << s.ErrorText();
    ASSERT_EQ(q.Fetch(1), 0) << s.ErrorText();
    EXPECT_EQ(ind[0], -1);
    EXPECT_EQ(ind[1], -1);
    EXPECT_EQ(ind[2], -1);
    EXPECT_EQ(ind[3], -1);
}

// Integers of every width, floating point numbers and a string longer than 4000 bytes (sent after the
// other values) in one statement; rows of binds in one execution.
TEST_P(E2eGenerations, NumbersLongValuesAndRowsOfBinds) {
    Server srv(Options());
    TNetSessionRig s;
    ASSERT_EQ(s.Logon(srv.Address(), "scott", "tiger"), 0) << s.ErrorText();
    MakeBindTable(s);
    {
        TStmt ins(s, "INSERT INTO BINDS (K, L, N) VALUES (:1, :2, :3)");
        char key[7] = "LONG";
        std::string longText(5000, 'x');
        longText[0] = '\xC4';
        longText.back() = 'Z';
        int32_t big = INT32_MIN;
        ins.BindPos(1, key, sizeof key, SQLT_STR);
        ins.BindPos(2, longText.data(), sb4(longText.size() + 1), SQLT_STR);
        ins.BindPos(3, &big, 4, SQLT_INT);
        ASSERT_EQ(ins.Execute(1), 0) << s.ErrorText();
    }
    {
        TStmt q(s, "SELECT LENGTH(L), SUBSTR(L, 1, 2), N FROM BINDS WHERE K = 'LONG'");
        ASSERT_EQ(q.Execute(), 0) << s.ErrorText();
        int32_t len = 0;
        char head[8] = {}, n[32] = {};
        q.Define(1, &len, 4, SQLT_INT);
        q.Define(2, head, sizeof head, SQLT_STR);
        q.Define(3, n, sizeof n, SQLT_STR);
        ASSERT_EQ(q.Fetch(1), 0) << s.ErrorText();
        EXPECT_EQ(len, 5000);
        EXPECT_STREQ(head, "\xC4x");
        EXPECT_STREQ(n, "-2147483648");
    }
    // Three rows in one execution.
    TStmt ins(s, "INSERT INTO BINDS (K, N) VALUES (:K, :N)");
    char keys[3][7] = {"R1", "R2", "R3"};
    double values[3] = {0.5, -1e-100, 1.25e125};
    ins.BindName("K", keys, 7, SQLT_STR);
    ins.BindName("N", values, 8, SQLT_FLT);
    ASSERT_EQ(ins.Execute(3), 0) << s.ErrorText();
    EXPECT_EQ(ins.Attr<int32_t>(OCI_ATTR_ROW_COUNT), 3);
    TStmt q(s, "SELECT N FROM BINDS WHERE K LIKE 'R%' ORDER BY K");
    ASSERT_EQ(q.Execute(), 0) << s.ErrorText();
    double got[3] = {};
    q.Define(1, got, 8, SQLT_FLT);
    ASSERT_EQ(q.Fetch(3), 0) << s.ErrorText();
    EXPECT_DOUBLE_EQ(got[0], 0.5);
    EXPECT_DOUBLE_EQ(got[1], -1e-100);
    EXPECT_DOUBLE_EQ(got[2], 1.25e125);
}

// A NULL bound into a NOT NULL column fails with ORA-01400; the session goes on with the same statement.
TEST_P(E2eGenerations, ABindErrorLeavesTheSessionUsable) {
    Server srv(Options());
    TNetSessionRig s;
    ASSERT_EQ(s.Logon(srv.Address(), "scott", "tiger"), 0) << s.ErrorText();
    MakeBindTable(s);
    TStmt ins(s, "INSERT INTO BINDS (K) VALUES (:K)");
    char key[7] = "X";
    sb2 ind = -1;
    ins.BindName("K", key, sizeof key, SQLT_STR, &ind);
    EXPECT_EQ(ins.Execute(1), -1);
    sb4 code = 0;
    std::string text = s.ErrorText(&code);
    EXPECT_EQ(code, 1400) << text;
    ind = 0;
    ASSERT_EQ(ins.Execute(1), 0) << s.ErrorText();
    EXPECT_EQ(ins.Attr<int32_t>(OCI_ATTR_ROW_COUNT), 1);
}

// A PL/SQL block: IN, OUT and IN/OUT binds of the types the worksheet binds.
TEST_P(E2eGenerations, PlSqlOutAndInOutBinds) {
    Server srv(Options());
    TNetSessionRig s;
    ASSERT_EQ(s.Logon(srv.Address(), "scott", "tiger"), 0) << s.ErrorText();
    TStmt b(s, "BEGIN :T := :T || '!'; :N := :I * 2; SELECT DNAME INTO :D FROM DEPT WHERE DEPTNO = :I; "
               ":Z := NULL; END;");
    char text[32] = "Stra\xDF"
                    "e";
    int32_t in = 20, out = 0, zero = 7;
    char dname[20] = "garbage";
    sb2 zind = 0;
    b.BindName("T", text, sizeof text, SQLT_STR);
    b.BindName("N", &out, 4, SQLT_INT);
    b.BindName("I", &in, 4, SQLT_INT);
    b.BindName("D", dname, sizeof dname, SQLT_STR);
    b.BindName("Z", &zero, 4, SQLT_INT, &zind);
    ASSERT_EQ(b.Execute(1), 0) << s.ErrorText();
    EXPECT_STREQ(text, "Stra\xDF"
                       "e!");
    EXPECT_EQ(out, 40);
    EXPECT_STREQ(dname, "RESEARCH");
    EXPECT_EQ(zind, -1);
}

// DML with RETURNING ... INTO hands back the row's values.
TEST_P(E2eGenerations, ReturningInto) {
    Server srv(Options());
    TNetSessionRig s;
    ASSERT_EQ(s.Logon(srv.Address(), "scott", "tiger"), 0) << s.ErrorText();
    TStmt u(s, "UPDATE DEPT SET LOC = :L WHERE DEPTNO = :D RETURNING DNAME, LOC INTO :N, :O");
    char loc[16] = "K\xD6LN", name[20] = {}, old[20] = {};
    int32_t dept = 30;
    u.BindName("L", loc, sizeof loc, SQLT_STR);
    u.BindName("D", &dept, 4, SQLT_INT);
    u.BindName("N", name, sizeof name, SQLT_STR);
    u.BindName("O", old, sizeof old, SQLT_STR);
    ASSERT_EQ(u.Execute(1), 0) << s.ErrorText();
    EXPECT_STREQ(name, "SALES");
    EXPECT_STREQ(old, "K\xD6LN");
}

// A REF CURSOR bound as output is fetched like a query.
TEST_P(E2eGenerations, RefCursorOutBind) {
    Server srv(Options());
    TNetSessionRig s;
    ASSERT_EQ(s.Logon(srv.Address(), "scott", "tiger"), 0) << s.ErrorText();
    dvoid* h = nullptr;
    ASSERT_EQ(OCIHandleAlloc(hOCIEnv, &h, OCI_HTYPE_STMT, 0, nullptr), 0);
    auto* rc = static_cast<OCIStmt*>(h);
    {
        TStmt b(s,
                "BEGIN OPEN :C FOR SELECT DEPTNO, DNAME FROM DEPT WHERE DEPTNO >= :F ORDER BY DEPTNO; END;");
        int32_t from = 20;
        b.BindName("C", &rc, sizeof rc, SQLT_RSET);
        b.BindName("F", &from, 4, SQLT_INT);
        ASSERT_EQ(b.Execute(1), 0) << s.ErrorText();
    }
    ub4 count = 0;
    OCIAttrGet(rc, OCI_HTYPE_STMT, &count, nullptr, OCI_ATTR_PARAM_COUNT, s.err);
    EXPECT_EQ(count, 2u);
    int32_t deptno[4] = {};
    char dname[4][15] = {};
    OCIDefine* d = nullptr;
    OCIDefineByPos(rc, &d, s.err, 1, deptno, 4, SQLT_INT, nullptr, nullptr, nullptr, 0);
    OCIDefineByPos(rc, &d, s.err, 2, dname, 15, SQLT_STR, nullptr, nullptr, nullptr, 0);
    EXPECT_EQ(OCIStmtFetch(rc, s.err, 4, 2, 0), 100) << s.ErrorText();
    EXPECT_EQ(deptno[0], 20);
    EXPECT_EQ(deptno[2], 40);
    EXPECT_STREQ(dname[1], "SALES");
    OCIHandleFree(rc, OCI_HTYPE_STMT);
    // The session goes on.
    TStmt q(s, "SELECT COUNT(*) FROM DEPT WHERE DEPTNO < :X");
    int32_t x = 25, n = 0;
    q.BindPos(1, &x, 4, SQLT_INT);
    ASSERT_EQ(q.Execute(), 0) << s.ErrorText();
    q.Define(1, &n, 4, SQLT_INT);
    ASSERT_EQ(q.Fetch(1), 0) << s.ErrorText();
    EXPECT_EQ(n, 2);
}

// Bound DML seen by a second session after the commit only.
TEST_P(E2eGenerations, BoundDmlCommitAndRollbackSeenByASecondSession) {
    Server srv(Options());
    TNetSessionRig a;
    TNetSessionRig b(TNetSessionRig::OwnErrorHandle);
    ASSERT_EQ(a.Logon(srv.Address(), "scott", "tiger"), 0) << a.ErrorText();
    ASSERT_EQ(b.Logon(srv.Address(), "scott", "tiger"), 0) << b.ErrorText();
    auto count = [&](TNetSessionRig& s) {
        TStmt q(s, "SELECT COUNT(*) FROM DEPT WHERE LOC = :L");
        char loc[10] = "BONN";
        int32_t n = -1;
        q.BindPos(1, loc, sizeof loc, SQLT_STR);
        if (q.Execute() != 0) return -1;
        q.Define(1, &n, 4, SQLT_INT);
        q.Fetch(1);
        return int(n);
    };
    TStmt ins(a, "INSERT INTO DEPT (DEPTNO, DNAME, LOC) VALUES (:1, :2, :3)");
    int32_t dept = 60;
    char dname[10] = "IT", loc[10] = "BONN";
    ins.BindPos(1, &dept, 4, SQLT_INT);
    ins.BindPos(2, dname, sizeof dname, SQLT_STR);
    ins.BindPos(3, loc, sizeof loc, SQLT_STR);
    ASSERT_EQ(ins.Execute(1), 0) << a.ErrorText();
    EXPECT_EQ(count(b), 0);
    EXPECT_EQ(OCITransCommit(a.svc, a.err, 0), 0) << a.ErrorText();
    EXPECT_EQ(count(b), 1);
    dept = 61;
    ASSERT_EQ(ins.Execute(1), 0) << a.ErrorText();
    EXPECT_EQ(count(a), 2);
    EXPECT_EQ(OCITransRollback(a.svc, a.err, 0), 0) << a.ErrorText();
    EXPECT_EQ(count(b), 1);
    EXPECT_EQ(count(a), 1);
}

// LOB locators a statement hands back are bound again by the LOB operations (small blocks over dbms_lob):
// write, length, read from an offset, trim.
TEST_P(E2eGenerations, LobLocatorBinds) {
    Server srv(Options());
    TNetSessionRig s;
    ASSERT_EQ(s.Logon(srv.Address(), "scott", "tiger"), 0) << s.ErrorText();
    {
        TStmt c(s, "CREATE TABLE LOBS (ID NUMBER, C CLOB, B BLOB)");
        ASSERT_EQ(c.Execute(1), 0) << s.ErrorText();
        TStmt i(s, "INSERT INTO LOBS VALUES (1, EMPTY_CLOB(), EMPTY_BLOB())");
        ASSERT_EQ(i.Execute(1), 0) << s.ErrorText();
    }
    dvoid* c = nullptr;
    dvoid* b = nullptr;
    OCIDescriptorAlloc(hOCIEnv, &c, OCI_DTYPE_LOB, 0, nullptr);
    OCIDescriptorAlloc(hOCIEnv, &b, OCI_DTYPE_LOB, 0, nullptr);
    auto* cl = static_cast<OCILobLocator*>(c);
    auto* bl = static_cast<OCILobLocator*>(b);
    {
        TStmt q(s, "UPDATE LOBS SET ID = 1 WHERE ID = 1 RETURNING C, B INTO :C, :B");
        q.BindName("C", &cl, sizeof cl, SQLT_CLOB);
        q.BindName("B", &bl, sizeof bl, SQLT_BLOB);
        ASSERT_EQ(q.Execute(1), 0) << s.ErrorText();
    }
    std::string text(40000, ' ');
    for (size_t i = 0; i < text.size(); ++i)
        text[i] = char('A' + i % 23);
    std::string bin(33000, '\0');
    for (size_t i = 0; i < bin.size(); ++i)
        bin[i] = char(i * 31 + 7);
    ub4 amount = 0, len = 0;
    ASSERT_EQ(
        OCILobWrite(s.svc, s.err, cl, &amount, 1, text.data(), ub4(text.size()), 0, nullptr, nullptr, 0, 0),
        0)
        << s.ErrorText();
    EXPECT_EQ(amount, text.size());
    ASSERT_EQ(
        OCILobWrite(s.svc, s.err, bl, &amount, 1, bin.data(), ub4(bin.size()), 0, nullptr, nullptr, 0, 0), 0)
        << s.ErrorText();
    ASSERT_EQ(OCILobGetLength(s.svc, s.err, cl, &len), 0) << s.ErrorText();
    EXPECT_EQ(len, text.size());
    ASSERT_EQ(OCILobGetLength(s.svc, s.err, bl, &len), 0) << s.ErrorText();
    EXPECT_EQ(len, bin.size());
    std::string back(50000, '\0');
    ASSERT_EQ(OCILobRead(s.svc, s.err, cl, &amount, 1, back.data(), ub4(back.size()), nullptr, nullptr, 0, 0),
              0)
        << s.ErrorText();
    EXPECT_EQ(amount, text.size());
    EXPECT_EQ(back.substr(0, text.size()), text);
    ASSERT_EQ(OCILobRead(s.svc, s.err, bl, &amount, 1, back.data(), ub4(back.size()), nullptr, nullptr, 0, 0),
              0)
        << s.ErrorText();
    EXPECT_EQ(amount, bin.size());
    EXPECT_EQ(back.substr(0, bin.size()), bin);
    char part[10] = {};
    ASSERT_EQ(OCILobRead(s.svc, s.err, cl, &amount, 3, part, 10, nullptr, nullptr, 0, 0), 0) << s.ErrorText();
    EXPECT_EQ(std::string(part, amount), text.substr(2, 10));
    ASSERT_EQ(OCILobTrim(s.svc, s.err, cl, 100), 0) << s.ErrorText();
    OCILobGetLength(s.svc, s.err, cl, &len);
    EXPECT_EQ(len, 100u);
    OCIDescriptorFree(c, OCI_DTYPE_LOB);
    OCIDescriptorFree(b, OCI_DTYPE_LOB);
}

INSTANTIATE_TEST_SUITE_P(Protocol, E2eGenerations,
                         ::testing::Values(TGeneration::Classic, TGeneration::Current), Name);

// The current generation only.

namespace {

struct CurrentOnly : ::testing::Test {
    void SetUp() override { oranet::SetOfferCurrentProtocol(true); }
    void TearDown() override { oranet::SetOfferCurrentProtocol(true); }
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

// A password in its grace period: the logon succeeds with the server's warning, and the session works.
TEST_F(E2eCurrent, APasswordAboutToExpireLogsOnWithTheWarning) {
    vemu::EmuOptions o;
    o.passwordExpiresInDays = 3;
    Server srv(o);
    TNetSessionRig s;
    ASSERT_EQ(s.Logon(srv.Address(), "scott", "tiger"), 1) << s.ErrorText();
    sb4 code = 0;
    EXPECT_EQ(s.ErrorText(&code), "ORA-28002: the password will expire within 3 days");
    EXPECT_EQ(code, 28002);
    TStmt q(s, "SELECT DNAME FROM DEPT WHERE DEPTNO = 10");
    ASSERT_EQ(q.Execute(), 0) << s.ErrorText();
    char dname[32] = {};
    q.Define(1, dname, sizeof dname, SQLT_STR);
    EXPECT_EQ(q.Fetch(1), 0) << s.ErrorText();
    EXPECT_STREQ(dname, "ACCOUNTING");
    EXPECT_EQ(s.Logoff(), 0) << s.ErrorText();
}
