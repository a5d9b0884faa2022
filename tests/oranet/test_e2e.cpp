// End to end over loopback: the emulated call-interface entry points against the protocol emulator.
#include "E2eSession.h"
#include "emulator/EmuServer.h"
#include "tests/WaitFor.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

using namespace ve2e;
using namespace oracall;

namespace {

struct Server {
    vemu::EmuServer emu;
    explicit Server(vemu::EmuOptions o = {}) : emu(std::move(o)) { emu.Start(); }
    std::string Address(const char* sid = "bnx") const {
        return "127.0.0.1:" + std::to_string(emu.Port()) + ":" + sid;
    }
};

vemu::EmuOptions Opts(int protocol = 6) {
    vemu::EmuOptions o;
    o.protocol = protocol;
    // The older TTC versions belong to the classic generation: such a server speaks it alone.
    if (protocol < 6) o.generation = vemu::EmuOptions::Generation::Classic;
    return o;
}

} // namespace

TEST(E2eLogon, ScottLogsOnAndOff) {
    Server srv;
    TNetSessionRig s;
    ASSERT_EQ(s.Logon(srv.Address(), "scott", "tiger"), 0) << s.ErrorText();
    char ver[16] = {};
    OCIServerVersion(s.svc, s.err, reinterpret_cast<OraText*>(ver), sizeof ver, OCI_HTYPE_SVCCTX);
    EXPECT_STREQ(ver, "Oracle8");
    // A second logon on the same service context is refused without touching the error handle.
    EXPECT_EQ(OCISessionBegin(s.svc, s.err, s.ses, 1, 0), -1);
    EXPECT_EQ(s.Logoff(), 0) << s.ErrorText();
    EXPECT_EQ(s.Logoff(), -1);
}

TEST(E2eLogon, WrongPasswordLeavesOra01017InTheErrorHandle) {
    Server srv;
    TNetSessionRig s;
    EXPECT_EQ(s.Logon(srv.Address(), "SCOTT", "wrong"), -1);
    sb4 code = 0;
    std::string text = s.ErrorText(&code);
    EXPECT_EQ(code, 1017);
    EXPECT_NE(text.find("ORA-01017"), std::string::npos) << text;
}

TEST(E2eLogon, UnknownSidIsRefused) {
    Server srv;
    TNetSessionRig s;
    EXPECT_EQ(s.Logon(srv.Address("NOSUCH"), "scott", "tiger"), -1);
    sb4 code = 0;
    EXPECT_EQ(s.ErrorText(&code), "NET: Invalid SID");
    EXPECT_EQ(code, -1);
}

TEST(E2eLogon, NothingListening) {
    TNetSessionRig s;
    EXPECT_EQ(s.Logon("127.0.0.1:1:bnx", "scott", "tiger"), -1);
    EXPECT_EQ(s.ErrorText(), "NET: Service unavailable");
}

// Logons on many threads of one process at the same moment, each with its own user and password: every
// logon encrypts with its own key schedule, so none of them fails with another's key (ORA-01017).
TEST(E2eLogon, ConcurrentLogonsOfDifferentUsers) {
    constexpr int Threads = 8, Rounds = 5;
    vemu::EmuOptions o;
    for (int i = 0; i < Threads; ++i)
        o.extraUsers.push_back(
            {"user" + std::to_string(i), "Secret" + std::string(size_t(i + 1), char('a' + i))});
    Server srv(o);
    const std::string address = srv.Address();
    oranet::InstallNetCalls(); // the table is written once, before any thread reads it
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

TEST(E2eLogon, RedirectAndResend) {
    Server target;
    vemu::EmuOptions o;
    o.redirectTo = "127.0.0.1:" + std::to_string(target.emu.Port());
    Server front(o);
    TNetSessionRig s;
    EXPECT_EQ(s.Logon(front.Address(), "scott", "tiger"), 0) << s.ErrorText();
    s.Logoff();

    vemu::EmuOptions r;
    r.resendOnce = true;
    Server resend(r);
    TNetSessionRig t;
    EXPECT_EQ(t.Logon(resend.Address(), "scott", "tiger"), 0) << t.ErrorText();
    t.Logoff();
}

TEST(E2eLogon, ProtocolVersions4To6) {
    for (int v : {4, 5, 6}) {
        Server srv(Opts(v));
        TNetSessionRig s;
        ASSERT_EQ(s.Logon(srv.Address(), "scott", "tiger"), 0) << "protocol " << v << ": " << s.ErrorText();
        char ver[16] = {};
        OCIServerVersion(s.svc, s.err, reinterpret_cast<OraText*>(ver), sizeof ver, OCI_HTYPE_SVCCTX);
        EXPECT_STREQ(ver, v == 4 ? "Oracle7" : "Oracle8");
        TStmt q(s, "SELECT DEPTNO, DNAME, LOC FROM DEPT ORDER BY DEPTNO");
        ASSERT_EQ(q.Execute(), 0) << s.ErrorText();
        EXPECT_EQ(q.Attr<int32_t>(OCI_ATTR_PARAM_COUNT), 3);
        int32_t deptno[4] = {};
        char dname[4][15] = {};
        q.Define(1, deptno, 4, SQLT_INT);
        q.Define(2, dname, 15, SQLT_STR);
        EXPECT_EQ(q.Fetch(4), 0) << s.ErrorText();
        EXPECT_EQ(deptno[0], 10);
        EXPECT_STREQ(dname[3], "OPERATIONS");
        EXPECT_EQ(q.Fetch(4), 100);
        EXPECT_EQ(s.Logoff(), 0);
    }
}

TEST(E2eQuery, DescribeGivesNamesTypesAndSizes) {
    Server srv;
    TNetSessionRig s;
    ASSERT_EQ(s.Logon(srv.Address(), "scott", "tiger"), 0) << s.ErrorText();
    TStmt q(s, "SELECT EMPNO, ENAME, HIREDATE, SAL FROM EMP");
    ASSERT_EQ(q.Execute(0, OCI_DESCRIBE_ONLY), 0) << s.ErrorText();
    ASSERT_EQ(q.Attr<int32_t>(OCI_ATTR_PARAM_COUNT), 4);
    const char* names[] = {"EMPNO", "ENAME", "HIREDATE", "SAL"};
    ub2 types[] = {SQLT_NUM, SQLT_CHR, SQLT_DAT, SQLT_NUM};
    for (ub4 i = 1; i <= 4; ++i) {
        dvoid* p = nullptr;
        ASSERT_EQ(OCIParamGet(q.stmt, OCI_HTYPE_STMT, s.err, &p, i), 0);
        char* name = nullptr;
        ub4 len = 0;
        OCIAttrGet(p, OCI_DTYPE_PARAM, &name, &len, OCI_ATTR_NAME, s.err);
        EXPECT_EQ(std::string(name, len), names[i - 1]);
        ub2 type = 0;
        OCIAttrGet(p, OCI_DTYPE_PARAM, &type, nullptr, OCI_ATTR_DATA_TYPE, s.err);
        EXPECT_EQ(type, types[i - 1]) << names[i - 1];
    }
    dvoid* none = nullptr;
    EXPECT_EQ(OCIParamGet(q.stmt, OCI_HTYPE_STMT, s.err, &none, 5), 100);
}

TEST(E2eQuery, NullsOfEverySupportedType) {
    Server srv;
    TNetSessionRig s;
    ASSERT_EQ(s.Logon(srv.Address(), "scott", "tiger"), 0) << s.ErrorText();
    {
        TStmt c(s, "CREATE TABLE NULLS_T (ID NUMBER, N NUMBER, F NUMBER, V VARCHAR2(20), C CHAR(4), D DATE, "
                   "R RAW(8))");
        ASSERT_EQ(c.Execute(1), 0) << s.ErrorText();
    }
    {
        TStmt i(s, "INSERT INTO NULLS_T VALUES (2, NULL, NULL, NULL, NULL, NULL, NULL)");
        ASSERT_EQ(i.Execute(1), 0) << s.ErrorText();
        TStmt j(s, "INSERT INTO NULLS_T VALUES (1, 7, 2.5, 'abc', 'xy', TO_DATE('2001-02-03','YYYY-MM-DD'), "
                   "HEXTORAW('0102'))");
        ASSERT_EQ(j.Execute(1), 0) << s.ErrorText();
    }
    TStmt q(s, "SELECT N, F, V, C, D, R FROM NULLS_T ORDER BY ID");
    ASSERT_EQ(q.Execute(), 0) << s.ErrorText();
    int32_t n[2] = {-5, -5};
    double f[2] = {-5, -5};
    char v[2][21], c[2][5];
    uint8_t d[2][7], r[2][8];
    sb2 ind[6][2];
    ub2 len[6][2];
    q.Define(1, n, 4, SQLT_INT, ind[0], len[0]);
    q.Define(2, f, 8, SQLT_FLT, ind[1], len[1]);
    q.Define(3, v, 21, SQLT_STR, ind[2], len[2]);
    q.Define(4, c, 5, SQLT_STR, ind[3], len[3]);
    q.Define(5, d, 7, SQLT_DAT, ind[4], len[4]);
    q.Define(6, r, 8, SQLT_BIN, ind[5], len[5]);
    // Both rows asked for are there: success, and the end is only reported by the next fetch.
    ASSERT_EQ(q.Fetch(2), 0) << s.ErrorText();
    // The first row has values, the second NULLs only.
    for (int col = 0; col < 6; ++col) {
        EXPECT_EQ(ind[col][0], 0) << "column " << col;
        EXPECT_EQ(ind[col][1], -1) << "column " << col;
        EXPECT_EQ(len[col][1], 0) << "column " << col;
    }
    EXPECT_EQ(n[0], 7);
    EXPECT_DOUBLE_EQ(f[0], 2.5);
    EXPECT_STREQ(v[0], "abc");
    EXPECT_STREQ(c[0], "xy  ");
    EXPECT_EQ(d[0][0], 120);
    EXPECT_EQ(d[0][1], 101);
    EXPECT_EQ(d[0][2], 2);
    EXPECT_EQ(d[0][3], 3);
    EXPECT_EQ(len[5][0], 2);
    EXPECT_EQ(r[0][1], 2);
}

TEST(E2eQuery, FetchAcrossManyRoundTrips) {
    vemu::EmuOptions o;
    o.benchRows = 5000;
    Server srv(o);
    TNetSessionRig s;
    ASSERT_EQ(s.Logon(srv.Address(), "scott", "tiger"), 0) << s.ErrorText();
    TStmt q(s, "SELECT ID, NAME, CREATED, AMOUNT FROM BENCH ORDER BY ID");
    ASSERT_EQ(q.Execute(), 0) << s.ErrorText();
    constexpr int N = 77;
    int32_t id[N];
    char name[N][31];
    uint8_t created[N][7];
    double amount[N];
    q.Define(1, id, 4, SQLT_INT);
    q.Define(2, name, 31, SQLT_STR);
    q.Define(3, created, 7, SQLT_DAT);
    q.Define(4, amount, 8, SQLT_FLT);
    int total = 0, calls = 0;
    int64_t sum = 0;
    for (;;) {
        int before = q.Attr<int32_t>(OCI_ATTR_ROW_COUNT);
        sword rc = q.Fetch(N);
        ASSERT_TRUE(rc == 0 || rc == 100) << s.ErrorText();
        int got = q.Attr<int32_t>(OCI_ATTR_ROW_COUNT) - before;
        for (int i = 0; i < got; ++i) {
            EXPECT_EQ(id[i], total + i + 1);
            sum += id[i];
        }
        total += got;
        ++calls;
        if (rc == 100) break;
        ASSERT_LT(calls, 1000);
    }
    EXPECT_EQ(total, 5000);
    EXPECT_EQ(sum, 5000LL * 5001 / 2);
    EXPECT_EQ(calls, 5000 / N + 1);
}

TEST(E2eDml, RowsProcessedCommitAndRollback) {
    Server srv;
    TNetSessionRig s;
    ASSERT_EQ(s.Logon(srv.Address(), "scott", "tiger"), 0) << s.ErrorText();
    {
        TStmt u(s, "UPDATE EMP SET SAL = SAL + 1 WHERE DEPTNO = :d");
        int32_t dept = 10;
        u.BindName("d", &dept, 4, SQLT_INT);
        ASSERT_EQ(u.Execute(1), 0) << s.ErrorText();
        EXPECT_EQ(u.Attr<int32_t>(OCI_ATTR_ROW_COUNT), 3);
        EXPECT_EQ(u.Attr<ub2>(OCI_ATTR_STMT_TYPE), 2);
        EXPECT_EQ(u.Attr<ub2>(OCI_ATTR_SQLFNCODE), 5);
    }
    EXPECT_EQ(OCITransRollback(s.svc, s.err, 0), 0) << s.ErrorText();
    {
        // Array DML: three rows in one execute.
        TStmt i(s, "INSERT INTO DEPT (DEPTNO, DNAME) VALUES (:1, :2)");
        int32_t no[3] = {50, 60, 70};
        char names[3][10] = {"A", "B", "C"};
        i.BindPos(1, no, 4, SQLT_INT);
        i.BindPos(2, names, 10, SQLT_STR);
        ASSERT_EQ(i.Execute(3), 0) << s.ErrorText();
        EXPECT_EQ(i.Attr<int32_t>(OCI_ATTR_ROW_COUNT), 3);
    }
    EXPECT_EQ(OCITransCommit(s.svc, s.err, 0), 0) << s.ErrorText();
    TStmt q(s, "SELECT COUNT(*) FROM DEPT");
    ASSERT_EQ(q.Execute(), 0) << s.ErrorText();
    int32_t count = 0;
    q.Define(1, &count, 4, SQLT_INT);
    q.Fetch(1);
    EXPECT_EQ(count, 7);
    // A statement error: code and text, and the parse error offset.
    TStmt bad(s, "SELECT NOSUCHCOLUMN FROM DEPT");
    EXPECT_EQ(bad.Execute(), -1);
    sb4 code = 0;
    std::string text = s.ErrorText(&code);
    EXPECT_EQ(code, 904) << text;
}

TEST(E2ePlSql, BindVectorWithInAndOutBinds) {
    Server srv;
    TNetSessionRig s;
    ASSERT_EQ(s.Logon(srv.Address(), "scott", "tiger"), 0) << s.ErrorText();
    TStmt p(s, "begin :o := :i * 2; :t := upper(:s); end;");
    int32_t in = 21, out = 0;
    char text[16] = "hello", up[16] = {};
    sb2 outInd = 5, upInd = 5;
    p.BindName("o", &out, 4, SQLT_INT, &outInd);
    p.BindName("i", &in, 4, SQLT_INT);
    p.BindName("t", up, 16, SQLT_STR, &upInd);
    p.BindName("s", text, 16, SQLT_STR);
    ASSERT_EQ(p.Execute(1), 0) << s.ErrorText();
    EXPECT_EQ(out, 42);
    EXPECT_EQ(outInd, 0);
    EXPECT_STREQ(up, "HELLO");
    EXPECT_EQ(p.Attr<ub2>(OCI_ATTR_STMT_TYPE), 8);
}

namespace {

struct LongIn {
    std::string value;
    size_t at = 0;
    static sb4 Cb(dvoid* ctx, OCIBind*, ub4, ub4, dvoid** buf, ub4* len, ub1* piece, dvoid** ind) {
        static sb2 zero = 0;
        auto* x = static_cast<LongIn*>(ctx);
        size_t n = std::min<size_t>(1000, x->value.size() - x->at);
        *buf = x->value.data() + x->at;
        *len = ub4(n);
        *ind = &zero;
        x->at += n;
        *piece = x->at >= x->value.size() ? OCI_LAST_PIECE : OCI_NEXT_PIECE;
        return 0;
    }
};

struct LongOut {
    std::string got;
    char buf[700];
    ub4 len = 0;
    sb2 ind = 9;
    bool pending = false;
    static sb4 Cb(dvoid* ctx, OCIDefine*, ub4, dvoid** bufpp, ub4** alenpp, ub1*, dvoid** indpp, ub2**) {
        auto* x = static_cast<LongOut*>(ctx);
        if (x->pending) x->got.append(x->buf, x->len);
        x->pending = true;
        x->len = sizeof x->buf;
        *bufpp = x->buf;
        *alenpp = &x->len;
        *indpp = &x->ind;
        return 0;
    }
    void Finish() {
        if (pending) got.append(buf, len);
        pending = false;
    }
};

} // namespace

TEST(E2eLong, LongInAndOutThroughCallbacks) {
    Server srv;
    TNetSessionRig s;
    ASSERT_EQ(s.Logon(srv.Address(), "scott", "tiger"), 0) << s.ErrorText();
    {
        TStmt c(s, "CREATE TABLE LONGS (ID NUMBER, TXT LONG)");
        ASSERT_EQ(c.Execute(1), 0) << s.ErrorText();
    }
    LongIn small, big;
    small.value = std::string(100, 's');
    big.value.resize(10000);
    for (size_t i = 0; i < big.value.size(); ++i)
        big.value[i] = char('a' + i % 26);
    for (auto* v : {&small, &big}) {
        TStmt i(s, "INSERT INTO LONGS (ID, TXT) VALUES (:id, :txt)");
        int32_t id = v == &small ? 1 : 2;
        i.BindName("id", &id, 4, SQLT_INT);
        OCIBind* b = i.BindName("txt", nullptr, v == &small ? 200 : 1000000, SQLT_LNG);
        OCIBindDynamic(b, s.err, v, &LongIn::Cb, nullptr, nullptr);
        ASSERT_EQ(i.Execute(1), 0) << s.ErrorText();
    }
    TStmt q(s, "SELECT ID, TXT FROM LONGS ORDER BY ID");
    ASSERT_EQ(q.Execute(), 0) << s.ErrorText();
    int32_t id = 0;
    q.Define(1, &id, 4, SQLT_INT);
    LongOut out;
    OCIDefine* d = q.Define(2, nullptr, 1000000, SQLT_LNG);
    OCIDefineDynamic(d, s.err, &out, &LongOut::Cb);
    ASSERT_EQ(q.Fetch(1), 0) << s.ErrorText();
    out.Finish();
    EXPECT_EQ(out.got, small.value);
    out.got.clear();
    ASSERT_EQ(q.Fetch(1), 0) << s.ErrorText();
    out.Finish();
    EXPECT_EQ(id, 2);
    EXPECT_EQ(out.got, big.value);
    EXPECT_EQ(out.ind, 0);
}

TEST(E2eLob, ClobAndBlobWriteReadLengthTrim) {
    Server srv;
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
    OCILobLocator* cl = static_cast<OCILobLocator*>(c);
    OCILobLocator* bl = static_cast<OCILobLocator*>(b);
    {
        TStmt q(s, "SELECT C, B FROM LOBS WHERE ID = 1 FOR UPDATE");
        ASSERT_EQ(q.Execute(), 0) << s.ErrorText();
        q.Define(1, &cl, sizeof cl, SQLT_CLOB);
        q.Define(2, &bl, sizeof bl, SQLT_BLOB);
        ASSERT_EQ(q.Fetch(1), 0) << s.ErrorText();
    }
    int init = 0;
    OCILobLocatorIsInit(hOCIEnv, s.err, cl, &init);
    EXPECT_EQ(init, 1);
    std::string text(50000, ' ');
    for (size_t i = 0; i < text.size(); ++i)
        text[i] = char('A' + i % 23);
    std::string bin(70000, '\0');
    for (size_t i = 0; i < bin.size(); ++i)
        bin[i] = char(i * 31 + 7);
    try {
        ub4 amount = 0;
        EXPECT_EQ(OCILobWrite(s.svc, s.err, cl, &amount, 1, text.data(), ub4(text.size()), 0, nullptr,
                              nullptr, 0, 0),
                  0);
        EXPECT_EQ(amount, text.size());
        EXPECT_EQ(
            OCILobWrite(s.svc, s.err, bl, &amount, 1, bin.data(), ub4(bin.size()), 0, nullptr, nullptr, 0, 0),
            0);
        EXPECT_EQ(amount, bin.size());
        ub4 len = 0;
        OCILobGetLength(s.svc, s.err, cl, &len);
        EXPECT_EQ(len, text.size());
        OCILobGetLength(s.svc, s.err, bl, &len);
        EXPECT_EQ(len, bin.size());
        // Reading more than there is: one full piece, then the short rest.
        std::string back(100000, '\0');
        amount = 0;
        OCILobRead(s.svc, s.err, cl, &amount, 1, back.data(), ub4(back.size()), nullptr, nullptr, 0, 0);
        EXPECT_EQ(amount, text.size());
        EXPECT_EQ(back.substr(0, text.size()), text);
        std::string bback(100000, '\0');
        OCILobRead(s.svc, s.err, bl, &amount, 1, bback.data(), ub4(bback.size()), nullptr, nullptr, 0, 0);
        EXPECT_EQ(amount, bin.size());
        EXPECT_EQ(bback.substr(0, bin.size()), bin);
        // From an offset.
        char part[10] = {};
        OCILobRead(s.svc, s.err, cl, &amount, 11, part, 10, nullptr, nullptr, 0, 0);
        EXPECT_EQ(amount, 10u);
        EXPECT_EQ(std::string(part, 10), text.substr(10, 10));
        // A LOB of exactly two full pieces: the third piece meets the end of the LOB without an error.
        OCILobTrim(s.svc, s.err, bl, 0);
        std::string exact(65024, 'e');
        OCILobWrite(s.svc, s.err, bl, &amount, 1, exact.data(), ub4(exact.size()), 0, nullptr, nullptr, 0, 0);
        OCILobRead(s.svc, s.err, bl, &amount, 1, bback.data(), ub4(bback.size()), nullptr, nullptr, 0, 0);
        EXPECT_EQ(amount, 65024u);
        EXPECT_EQ(bback.substr(0, 65024), exact);
        OCILobTrim(s.svc, s.err, cl, 100);
        OCILobGetLength(s.svc, s.err, cl, &len);
        EXPECT_EQ(len, 100u);
    } catch (const std::exception& e) {
        ADD_FAILURE() << e.what();
    }
    EXPECT_EQ(OCITransCommit(s.svc, s.err, 0), 0);
    OCIDescriptorFree(c, OCI_DTYPE_LOB);
    OCIDescriptorFree(b, OCI_DTYPE_LOB);
}

TEST(E2eCursor, CursorVariableFromAPlSqlBlock) {
    Server srv;
    TNetSessionRig s;
    ASSERT_EQ(s.Logon(srv.Address(), "scott", "tiger"), 0) << s.ErrorText();
    dvoid* h = nullptr;
    OCIHandleAlloc(hOCIEnv, &h, OCI_HTYPE_STMT, 0, nullptr);
    OCIStmt* inner = static_cast<OCIStmt*>(h);
    {
        TStmt p(s, "begin open :c for select ename from emp where deptno = 10 order by ename; end;");
        p.BindName("c", &inner, sizeof inner, SQLT_RSET);
        ASSERT_EQ(p.Execute(1), 0) << s.ErrorText();
    }
    int32_t cols = 0;
    OCIAttrGet(inner, OCI_HTYPE_STMT, &cols, nullptr, OCI_ATTR_PARAM_COUNT, s.err);
    EXPECT_EQ(cols, 1);
    char names[5][11] = {};
    OCIDefine* d = nullptr;
    OCIDefineByPos(inner, &d, s.err, 1, names, 11, SQLT_STR, nullptr, nullptr, nullptr, 0);
    EXPECT_EQ(OCIStmtFetch(inner, s.err, 5, 2, 0), 100) << s.ErrorText();
    EXPECT_STREQ(names[0], "CLARK");
    EXPECT_STREQ(names[1], "KING");
    EXPECT_STREQ(names[2], "MILLER");
    OCIHandleFree(inner, OCI_HTYPE_STMT);
}

TEST(E2eBreak, BreakDuringASlowFetch) {
    std::atomic<long long> checks{0};
    vemu::EmuOptions o;
    o.benchRows = 1000;
    o.slowFetchMs = 20;
    o.breakChecks = &checks;
    Server srv(o);
    TNetSessionRig s;
    ASSERT_EQ(s.Logon(srv.Address(), "scott", "tiger"), 0) << s.ErrorText();
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
    TNetSessionRig* rig = &s;
    dvoid* h = nullptr;
    OCIHandleAlloc(hOCIEnv, &h, OCI_HTYPE_ERROR, 0, nullptr); // Break reports into its own error handle
    EXPECT_EQ(OCIBreak(rig->svc, static_cast<OCIError*>(h)), 0);
    fetcher.join();
    OCIHandleFree(h, OCI_HTYPE_ERROR);
    EXPECT_EQ(rc, -1);
    sb4 code = 0;
    std::string text = s.ErrorText(&code);
    EXPECT_EQ(code, 1013) << text;
    // The connection is still usable.
    TStmt again(s, "SELECT COUNT(*) FROM DEPT");
    ASSERT_EQ(again.Execute(), 0) << s.ErrorText();
}

TEST(E2eDrop, ServerDropsTheConnectionMidFetch) {
    vemu::EmuOptions o;
    o.benchRows = 5000;
    o.dropAfterBytes = 20000;
    Server srv(o);
    TNetSessionRig s;
    ASSERT_EQ(s.Logon(srv.Address(), "scott", "tiger"), 0) << s.ErrorText();
    TStmt q(s, "SELECT ID, NAME FROM BENCH");
    sword rc = q.Execute();
    int32_t ids[500];
    char names[500][31];
    if (rc == 0) {
        q.Define(1, ids, 4, SQLT_INT);
        q.Define(2, names, 31, SQLT_STR);
        for (int i = 0; i < 100 && rc == 0; ++i)
            rc = q.Fetch(500);
    }
    EXPECT_EQ(rc, -1);
    sb4 code = 0;
    std::string text = s.ErrorText(&code);
    // The server closes its end after the bytes it sent: the next receive returns nothing.
    EXPECT_EQ(code, -12571) << text;
    EXPECT_EQ(text, "ORA-12571");
    // Later calls fail cleanly as well.
    EXPECT_EQ(OCITransCommit(s.svc, s.err, 0), -1);
}
