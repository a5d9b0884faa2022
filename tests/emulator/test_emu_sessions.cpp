// Connection establishment, hooks, breaks, lost connections, persistence and many sessions at once.
#include "tests/WaitFor.h"
#include "tests/emulator/EmuTestUtil.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <poll.h>
#include <random>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace emutest;

TEST(EmuSessions, RefusesOtherSidsAndWrongPasswords) {
    auto srv = StartServer();
    TestClient a;
    EXPECT_EQ(a.Connect(srv->Port(), "orcl"), 4);
    TestClient b;
    ASSERT_EQ(b.Connect(srv->Port(), "BNX"), 2);
    b.Negotiate();
    Status s = b.Logon("scott", "lion");
    EXPECT_EQ(s.code, 1017);
    EXPECT_EQ(s.text, "ORA-01017: invalid username/password; logon denied\n");
    TestClient d;
    ASSERT_EQ(d.Connect(srv->Port(), "bnx"), 2);
    d.Negotiate();
    EXPECT_EQ(d.Logon("nobody", "tiger").code, 1017);
    TestClient e;
    LogonOk(e, srv->Port(), "system", "manager");
    EXPECT_EQ(One(e, "select count(*) from scott.emp"), "14");
}

TEST(EmuSessions, ExtraUsersHaveTheirOwnSchema) {
    vemu::EmuOptions o;
    o.extraUsers = {{"alice", "Secret"}};
    auto srv = StartServer(o);
    TestClient c;
    LogonOk(c, srv->Port(), "ALICE", "secret");
    ASSERT_EQ(c.Exec("create table emp (x number)").code, 0);
    EXPECT_EQ(One(c, "select count(*) from emp"), "0");
    EXPECT_EQ(One(c, "select count(*) from scott.emp"), "14");
}

TEST(EmuSessions, RedirectAndResendHooks) {
    auto target = StartServer();
    vemu::EmuOptions o;
    o.redirectTo = "127.0.0.1:" + std::to_string(target->Port());
    auto srv = StartServer(o);
    TestClient a;
    std::string detail;
    ASSERT_EQ(a.Connect(srv->Port(), "bnx", &detail), 5);
    EXPECT_NE(detail.find("(PORT=" + std::to_string(target->Port()) + ")"), std::string::npos);
    EXPECT_NE(detail.find("(SID=bnx)"), std::string::npos);
    TestClient b; // only the first CONNECT is redirected
    EXPECT_EQ(b.Connect(srv->Port(), "bnx"), 2);

    vemu::EmuOptions r;
    r.resendOnce = true;
    auto srv2 = StartServer(r);
    TestClient c;
    EXPECT_EQ(c.Connect(srv2->Port(), "bnx", nullptr, false), 11);
    TestClient d;
    LogonOk(d, srv2->Port());
}

TEST(EmuSessions, OlderProtocolsDescribeWithFunction43) {
    for (int p : {4, 5}) {
        vemu::EmuOptions o;
        o.protocol = p;
        auto srv = StartServer(o);
        TestClient c;
        LogonOk(c, srv->Port());
        EXPECT_EQ(c.protocol, p);
        int cur = c.OpenCursor();
        // 40 columns take two batches of at most 32
        std::string sql = "select ";
        for (int i = 0; i < 40; ++i)
            sql += (i ? ", " : "") + std::string("empno c") + std::to_string(i);
        sql += " from emp";
        ASSERT_EQ(c.Parse(cur, sql).code, 0);
        std::vector<Column> cols;
        Status s = c.Describe43(cur, cols);
        ASSERT_EQ(s.code, 0) << s.text;
        ASSERT_EQ(cols.size(), 40u);
        EXPECT_EQ(cols[39].name, "C39");
        std::vector<Row> rows;
        EXPECT_EQ(c.Query("select ename from emp where empno = 7839", rows, 1).code, 0);
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(rows[0][0], "KING");
    }
}

TEST(EmuSessions, BreakEndsALongFetchWithOra01013) {
    std::atomic<long long> checks{0};
    vemu::EmuOptions o;
    o.slowFetchMs = 20;
    o.benchRows = 1000;
    o.breakChecks = &checks;
    auto srv = StartServer(o);
    TestClient c;
    LogonOk(c, srv->Port());
    int cur = c.OpenCursor();
    ASSERT_EQ(c.Parse(cur, "select id from bench").code, 0);
    ASSERT_EQ(c.Execute(cur, {}).code, 0);
    std::thread breaker([&] {
        vtest::WaitFor([&] { return checks.load() >= 2; }); // the fetch is under way
        c.SendBreak();
    });
    std::vector<Row> rows;
    Status s = c.Fetch(cur, {Str("", 11)}, 1000, rows);
    breaker.join();
    EXPECT_EQ(s.code, 1013);
    EXPECT_LT(rows.size(), 1000u); // 20 s of rows: the break ended the fetch long before
    // the session goes on
    EXPECT_EQ(One(c, "select count(*) from dept"), "4");
}

TEST(EmuSessions, DropAfterBytesCutsTheConnection) {
    vemu::EmuOptions o;
    o.dropAfterBytes = 200;
    auto srv = StartServer(o);
    TestClient c;
    ASSERT_EQ(c.Connect(srv->Port(), "bnx"), 2);
    EXPECT_THROW(
        {
            c.Negotiate();
            c.Logon("scott", "tiger");
            std::vector<Row> rows;
            c.Query("select * from emp", rows, 8);
        },
        std::runtime_error);
}

TEST(EmuSessions, MalformedPacketsCloseOnlyThatConnection) {
    auto srv = StartServer();
    {
        TestClient c;
        LogonOk(c, srv->Port());
        c.SendData(std::string("\x63\x01\x02", 3)); // no such message type
        EXPECT_THROW(c.Exec("select 1 from dual"), std::runtime_error);
    }
    {
        TestClient c;
        LogonOk(c, srv->Port());
        std::string m("\x03\x47\x00\x04\xff\xff\xff\xff", 8); // a combined call with absurd counts
        c.SendData(m + std::string(40, '\x04'));
        EXPECT_THROW(c.Exec("select 1 from dual"), std::runtime_error);
    }
    TestClient d;
    LogonOk(d, srv->Port());
    EXPECT_EQ(One(d, "select 1 from dual"), "1");
}

TEST(EmuSessions, CommittedDataSurvivesARestart) {
    std::string path = ::testing::TempDir() + "vemu_persist_" + std::to_string(::getpid()) + ".db";
    std::remove(path.c_str());
    vemu::EmuOptions o;
    o.dbFile = path;
    {
        auto srv = StartServer(o);
        TestClient c;
        LogonOk(c, srv->Port());
        ASSERT_EQ(c.Exec("insert into dept values (70, 'KEPT', 'X')").code, 0);
        ASSERT_EQ(c.Commit().code, 0);
        ASSERT_EQ(c.Exec("create sequence s1").code, 0);
        EXPECT_EQ(One(c, "select s1.nextval from dual"), "1");
        ASSERT_EQ(c.Exec("insert into dept values (80, 'LOST', 'Y')").code, 0);
        c.Disconnect(); // leaves without commit
        srv->Stop();
    }
    {
        auto srv = StartServer(o);
        TestClient c;
        LogonOk(c, srv->Port());
        EXPECT_EQ(One(c, "select dname from dept where deptno = 70"), "KEPT");
        EXPECT_EQ(One(c, "select count(*) from dept where deptno = 80"), "0");
        EXPECT_EQ(One(c, "select s1.nextval from dual"), "2");
    }
    std::remove(path.c_str());
    std::remove((path + "-wal").c_str());
    std::remove((path + "-shm").c_str());
}

TEST(EmuSessions, TwentySessionsOfMixedStatementsLoseNoCommittedRow) {
    vemu::EmuOptions o;
    o.lockWaitMs = 60000; // sessions queue for the write lock; a slow (sanitised) build must not time out
    auto srv = StartServer(o);
    {
        TestClient c;
        LogonOk(c, srv->Port());
        ASSERT_EQ(c.Exec("create table work (sess number, n number, note varchar2(40))").code, 0);
    }
    constexpr int kSessions = 20, kStatements = 1000;
    std::atomic<int> committed{0}, failures{0};
    std::vector<std::thread> threads;
    auto t0 = std::chrono::steady_clock::now();
    for (int s = 0; s < kSessions; ++s)
        threads.emplace_back([&, s] {
            try {
                TestClient c;
                if (c.Connect(srv->Port(), "bnx") != 2) throw std::runtime_error("connect");
                c.Negotiate();
                if (c.Logon("scott", "tiger").code) throw std::runtime_error("logon");
                int cur = c.OpenCursor();
                int mine = 0;
                for (int i = 0; i < kStatements; ++i) {
                    Status st;
                    switch (i % 5) {
                    case 0:
                    case 1:
                        st = c.Parse(cur, "insert into work values (:s, :n, 'row')");
                        if (!st.code) st = c.Execute(cur, {Num(s), Num(i)});
                        if (!st.code) ++mine;
                        break;
                    case 2: {
                        std::vector<Row> rows;
                        st = c.Query("select count(*) from work where sess = :s", rows, 1, {Num(s)});
                        break;
                    }
                    case 3:
                        st = c.Exec("update work set note = 'upd' where sess = :s and n = :n",
                                    {Num(s), Num(i - 3)});
                        break;
                    case 4:
                        st = c.Commit();
                        if (!st.code) committed += mine;
                        mine = 0;
                        break;
                    }
                    if (st.code) {
                        ++failures;
                        ADD_FAILURE() << "session " << s << " statement " << i << ": " << st.text;
                    }
                }
                c.Commit();
                committed += mine;
                c.Logoff();
            } catch (const std::exception&) {
                ++failures;
            }
        });
    for (auto& t : threads)
        t.join();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(240));
    EXPECT_EQ(failures.load(), 0);
    TestClient c;
    LogonOk(c, srv->Port());
    EXPECT_EQ(One(c, "select count(*) from work"), std::to_string(committed.load()));
    EXPECT_EQ(committed.load(), kSessions * kStatements * 2 / 5);
}

TEST(EmuSessions, BreakEndsALongExecuteWithOra01013) {
    std::atomic<long long> checks{0};
    vemu::EmuOptions o;
    o.benchRows = 2000;
    o.breakChecks = &checks;
    auto srv = StartServer(o);
    TestClient c;
    LogonOk(c, srv->Port());
    int cur = c.OpenCursor();
    ASSERT_EQ(c.Parse(cur, "select count(*) from bench a, bench b, bench c").code, 0);
    std::thread breaker([&] {
        vtest::WaitFor([&] { return checks.load() >= 1; }); // the statement is running
        c.SendBreak();
    });
    Status s = c.Execute(cur, {}); // eight billion rows to count: only the break ends it
    breaker.join();
    EXPECT_EQ(s.code, 1013) << s.text;
    EXPECT_EQ(One(c, "select count(*) from bench where id <= 10"), "10");
}

TEST(EmuSessions, ExecutableAnnouncesItsPortAndStopsOnSigterm) {
    // the programs are in <build>/bin, the tests in <build>/tests
    std::string dir;
    if (const char* env = std::getenv("VESTRA_BIN_DIR")) {
        dir = env;
    } else {
        char self[4096];
        ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
        if (n <= 0) GTEST_SKIP() << "cannot tell where the programs are";
        std::string path(self, static_cast<size_t>(n));
        dir = path.substr(0, path.rfind('/')) + "/../bin";
    }
    std::string exe = dir + "/vestra-emu";
    if (::access(exe.c_str(), X_OK) != 0) GTEST_SKIP() << exe << " not built";
    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::dup2(out[1], 1);
        ::close(out[0]);
        ::execl(exe.c_str(), exe.c_str(), "--listen", "127.0.0.1:0", "--sid", "demo", "--user", "kim/k1",
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    // Whatever fails below, the child does not outlive the test.
    struct ChildGuard {
        pid_t pid;
        ~ChildGuard() {
            if (pid <= 0) return;
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    } child{pid};
    ::close(out[1]);
    // The first line, read with a deadline: a program that never announces its port fails the test.
    std::string line;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    for (char ch = 0; ch != '\n';) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                          std::chrono::steady_clock::now());
        pollfd p{out[0], POLLIN, 0};
        if (left.count() <= 0 || ::poll(&p, 1, int(left.count())) <= 0 || ::read(out[0], &ch, 1) != 1) break;
        if (ch != '\n') line += ch;
    }
    ::close(out[0]);
    ASSERT_EQ(line.rfind("listening on 127.0.0.1:", 0), 0u) << line;
    int port = std::atoi(line.c_str() + 23);
    ASSERT_GT(port, 0);
    {
        TestClient c;
        ASSERT_EQ(c.Connect(static_cast<uint16_t>(port), "demo"), 2);
        c.Negotiate();
        EXPECT_EQ(c.Logon("kim", "k1").code, 0);
        EXPECT_EQ(One(c, "select count(*) from scott.dept"), "4");
        c.Logoff();
        c.Disconnect();
    }
    ::kill(pid, SIGTERM);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    child.pid = 0; // reaped
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(EmuSessions, RandomRequestsNeverBringTheServerDown) {
    // A truncated request makes the server wait for the rest, as any stream peer must; the client then
    // leaves, and the server has to notice, end that session and go on serving the others.
    auto srv = StartServer();
    std::mt19937 rng(4711);
    for (int round = 0; round < 60; ++round) {
        TestClient c;
        LogonOk(c, srv->Port());
        std::string m;
        m += '\x03';
        const char fns[] = {2, 8, 9, 14, 15, 43, 71, 98, 81, 82, 5};
        m += fns[rng() % sizeof fns];
        m += '\0';
        size_t n = rng() % 300;
        for (size_t i = 0; i < n; ++i)
            m += static_cast<char>(rng() % 4 ? rng() % 8 : rng() % 256);
        c.SendData(m);
        c.Disconnect();
    }
    TestClient d;
    LogonOk(d, srv->Port());
    EXPECT_EQ(One(d, "select count(*) from emp"), "14");
    // every garbled session has ended
    std::string sessions;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while ((sessions = One(d, "select count(*) from v$session")) != "1" &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(sessions, "1");
}

// Rows read ahead between fetches: whatever the client asks next (fewer rows, other defines, another cursor
// in between, DML, a new execution), it gets the rows in order, counted as it fetched them.
TEST(EmuSessions, RowsReadAheadArriveInOrderWhateverTheNextFetchAsks) {
    auto srv = StartServer();
    TestClient c;
    LogonOk(c, srv->Port());
    ASSERT_EQ(c.Exec("create table ra (id number, name varchar2(20))").code, 0);
    for (int i = 1; i <= 57; ++i)
        ASSERT_EQ(c.Exec("insert into ra values (:1, :2)", {Num(i), Str("N" + std::to_string(i))}).code, 0);
    ASSERT_EQ(c.Commit().code, 0);

    int a = c.OpenCursor();
    ASSERT_EQ(c.Parse(a, "select id, name from ra order by id").code, 0);
    ASSERT_EQ(c.Execute(a, {}).code, 0);
    const std::vector<Item> text = {Str("", 40), Str("", 40)};
    std::vector<Row> rows;
    auto expectIds = [&rows](int from, int to) {
        ASSERT_EQ(rows.size(), size_t(to - from + 1));
        for (int i = from; i <= to; ++i) {
            ASSERT_TRUE(rows[size_t(i - from)][1].has_value());
            EXPECT_EQ(*rows[size_t(i - from)][1], "N" + std::to_string(i));
        }
        rows.clear();
    };
    Status s = c.Fetch(a, text, 10, rows);
    EXPECT_EQ(s.code, 0);
    EXPECT_EQ(s.rows, 10);
    expectIds(1, 10);

    // Another cursor in between, then fewer rows than were read ahead.
    EXPECT_EQ(One(c, "select count(*) from ra"), "57");
    s = c.Fetch(a, text, 3, rows);
    EXPECT_EQ(s.rows, 13);
    expectIds(11, 13);

    // Other defines: the id as a NUMBER.
    std::vector<Row> numRows;
    s = c.Fetch(a, {Num(0), Str("", 40)}, 5, numRows);
    EXPECT_EQ(s.rows, 18);
    ASSERT_EQ(numRows.size(), 5u);
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(numRows[size_t(i)][0].has_value());
        EXPECT_EQ(TestClient::ToInt(*numRows[size_t(i)][0]), 14 + i);
    }

    // Changes made after the query started are not seen by it.
    ASSERT_EQ(c.Exec("update ra set name = 'X' where id in (25, 50)").code, 0);
    s = c.Fetch(a, text, 100, rows);
    EXPECT_EQ(s.code, 1403);
    EXPECT_EQ(s.rows, 57);
    expectIds(19, 57);

    // A new execution starts from the first row again and sees the change.
    ASSERT_EQ(c.Execute(a, {}).code, 0);
    s = c.Fetch(a, text, 25, rows);
    EXPECT_EQ(s.rows, 25);
    ASSERT_EQ(rows.size(), 25u);
    EXPECT_EQ(*rows[0][1], "N1");
    EXPECT_EQ(*rows[24][1], "X");
    rows.clear();
    // Closed with rows read ahead: the cursor's successor starts clean.
    ASSERT_EQ(c.Close(a).code, 0);
    EXPECT_EQ(One(c, "select max(id) from ra"), "57");
    ASSERT_EQ(c.Rollback().code, 0);
}
