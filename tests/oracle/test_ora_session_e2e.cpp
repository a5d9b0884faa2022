// The session against the emulator: NLS options set before and after logon, charset and character length,
// auto-commit of session and components, connect-string changes, reconnects with open data sets, the
// transaction state after each kind of statement, compile errors and the session list.
#include "OraE2e.h"

#include "dataset/DBErrors.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <map>

using namespace oratest;

namespace {

std::unique_ptr<TOraSession> Connected(const TEmu& emu, bool german = true) {
    auto s = MakeSession(emu, "scott", "tiger", german);
    s->Connect();
    return s;
}

std::string One(TOraSession* s, const std::string& sql) {
    TOraQuery q(s);
    q.SetSQL(sql);
    q.Open();
    return q.Fields(0)->AsString();
}

TEST(OraSessionNls, SettingsWhileConnectedTakeEffectAtOnceAndSurviveAReconnect) {
    TEmu emu;
    auto s = Connected(emu, false);
    TPrepareLog log;
    s->Options().SetDateFormat("YYYY-MM-DD");
    ASSERT_EQ(log.Starting("ALTER SESSION").size(), 1u);
    EXPECT_EQ(One(s.get(), "SELECT TO_CHAR(HIREDATE) FROM EMP WHERE EMPNO = 7369"), "1980-12-17");
    // The same value again sends nothing; an empty value sends nothing either.
    s->Options().SetDateFormat("YYYY-MM-DD");
    EXPECT_EQ(log.Starting("ALTER SESSION").size(), 1u);
    s->Disconnect();
    s->Connect();
    auto alters = log.Starting("ALTER SESSION");
    ASSERT_EQ(alters.size(), 2u);
    EXPECT_EQ(alters[1], "ALTER SESSION SET NLS_DATE_FORMAT='YYYY-MM-DD'");
    EXPECT_EQ(One(s.get(), "SELECT TO_CHAR(HIREDATE) FROM EMP WHERE EMPNO = 7369"), "1980-12-17");
    s->Options().SetDateFormat("");
    EXPECT_EQ(log.Starting("ALTER SESSION").size(), 2u);
    // Unset, the option reads back the server session's value.
    EXPECT_EQ(s->Options().DateFormat(), "YYYY-MM-DD");
    s->Disconnect();
    s->Connect();
    EXPECT_EQ(log.Starting("ALTER SESSION").size(), 2u);
    EXPECT_NE(s->Options().DateFormat(), "YYYY-MM-DD");
    EXPECT_FALSE(s->Options().DateFormat().empty());
}

TEST(OraSessionNls, AFormatWithAQuoteReachesTheServerAsOneLiteral) {
    TEmu emu;
    auto s = Connected(emu, false);
    TPrepareLog log;
    s->Options().SetDateFormat("DD.MM.YYYY \"o'clock\"");
    auto alters = log.Starting("ALTER SESSION");
    ASSERT_EQ(alters.size(), 1u);
    EXPECT_EQ(alters[0], "ALTER SESSION SET NLS_DATE_FORMAT='DD.MM.YYYY \"o''clock\"'");
    EXPECT_TRUE(s->Connected());
    // Nothing else is executed by a value that tries to end the literal.
    s->Options().SetDateLanguage("German'; DROP TABLE EMP; --");
    EXPECT_EQ(One(s.get(), "SELECT COUNT(*) FROM EMP"), "14");
}

// A server that refuses one NLS value: the execute of a statement prepared with a text starting "ALTER
// SESSION SET NLS_DATE_FORMAT='BAD" fails with ORA-01821.
namespace refuse {
std::map<oracall::OCIStmt*, std::string> g_texts;
oracall::TOCIStmtPrepare g_prepare = nullptr;
oracall::TOCIStmtExecute g_execute = nullptr;
oracall::TOCIErrorGet g_errorGet = nullptr;
bool g_refused = false;
oracall::sword Prepare(oracall::OCIStmt* st, oracall::OCIError* e, const oracall::OraText* t, oracall::ub4 n,
                       oracall::ub4 l, oracall::ub4 m) {
    g_texts[st] = reinterpret_cast<const char*>(t);
    return g_prepare(st, e, t, n, l, m);
}
oracall::sword Execute(oracall::OCISvcCtx* svc, oracall::OCIStmt* st, oracall::OCIError* e, oracall::ub4 it,
                       oracall::ub4 off, const oracall::OCISnapshot* a, oracall::OCISnapshot* b,
                       oracall::ub4 m) {
    if (g_texts[st].rfind("ALTER SESSION SET NLS_DATE_FORMAT='BAD", 0) == 0) {
        g_refused = true;
        return oracall::OCI_ERROR;
    }
    g_refused = false;
    return g_execute(svc, st, e, it, off, a, b, m);
}
oracall::sword ErrorGet(oracall::dvoid* h, oracall::ub4 rec, oracall::OraText* state, oracall::sb4* code,
                        oracall::OraText* buf, oracall::ub4 size, oracall::ub4 type) {
    if (!g_refused) return g_errorGet(h, rec, state, code, buf, size, type);
    *code = 1821;
    std::snprintf(reinterpret_cast<char*>(buf), size, "ORA-01821: date format not recognized");
    return oracall::OCI_SUCCESS;
}
struct Install {
    Install() {
        g_prepare = oracall::OCIStmtPrepare;
        g_execute = oracall::OCIStmtExecute;
        g_errorGet = oracall::OCIErrorGet;
        oracall::OCIStmtPrepare = &Prepare;
        oracall::OCIStmtExecute = &Execute;
        oracall::OCIErrorGet = &ErrorGet;
    }
    ~Install() {
        oracall::OCIStmtPrepare = g_prepare;
        oracall::OCIStmtExecute = g_execute;
        oracall::OCIErrorGet = g_errorGet;
        g_texts.clear();
    }
};
} // namespace refuse

TEST(OraSessionNls, ARefusedValueKeepsTheFormatInEffectAndTheNextLogonWorks) {
    TEmu emu;
    auto s = Connected(emu);
    refuse::Install wrap;
    try {
        s->Options().SetDateFormat("BAD FORMAT");
        FAIL() << "the refusal was not reported";
    } catch (EOraError& e) {
        EXPECT_EQ(e.ErrorCode, 1821);
    }
    EXPECT_TRUE(s->Connected());
    EXPECT_EQ(s->Options().DateFormat(), "DD.MM.YYYY");
    s->Disconnect();
    s->Connect();
    EXPECT_TRUE(s->Connected());
    EXPECT_EQ(One(s.get(), "SELECT TO_CHAR(HIREDATE) FROM EMP WHERE EMPNO = 7369"), "17.12.1980");
}

TEST(OraSessionNls, TextOptionsReadBackAtMostFortyCharacters) {
    TEmu emu;
    auto s = MakeSession(emu, "scott", "tiger", false);
    std::string longFormat = "DD.MM.YYYY HH24:MI:SS DD.MM.YYYY HH24:MI:SS";
    ASSERT_GT(longFormat.size(), 40u);
    s->Options().SetDateFormat(longFormat);
    EXPECT_EQ(s->Options().DateFormat(), longFormat.substr(0, 40));
}

TEST(OraSessionCharset, KnownCharsetConnectsUnknownOneFailsTheConnect) {
    TEmu emu;
    auto s = MakeSession(emu);
    s->Options().SetCharset("WE8MSWIN1252");
    s->Connect();
    EXPECT_TRUE(s->Connected());
    EXPECT_NE(s->OCIConnection()->CharsetId(), 0);
    EXPECT_EQ(One(s.get(), "SELECT DNAME FROM DEPT WHERE DEPTNO = 10"), "ACCOUNTING");
    s->Disconnect();
    EXPECT_EQ(s->OCIConnection()->CharsetId(), 0);

    s->Options().SetCharset("NO_SUCH_CHARSET");
    try {
        s->Connect();
        FAIL() << "connected with an unknown charset";
    } catch (EOraError&) {
        FAIL() << "the charset failure is a plain error";
    } catch (Exception& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot find charset NO_SUCH_CHARSET");
    }
    EXPECT_FALSE(s->Connected());
    s->Options().SetCharset("");
    s->Connect();
    EXPECT_TRUE(s->Connected());
}

TEST(OraSessionCharset, CharLengthZeroDetectsASingleByteDatabase) {
    TEmu emu;
    auto s = Connected(emu);
    EXPECT_EQ(s->Options().CharLength(), 1);
    Variant v;
    s->OCIConnection()->GetProp(prMaxStringSize, v);
    EXPECT_EQ(v.AsInteger(), 4000);
    s->Options().SetCharLength(0);
    EXPECT_EQ(s->Options().CharLength(), 1);
    s->Options().SetCharLength(2);
    s->OCIConnection()->GetProp(prMaxStringSize, v);
    EXPECT_EQ(v.AsInteger(), 2000) << "the cache is cleared by a new character length";
}

TEST(OraSessionAutoCommit, SessionAndComponentFlagsDecideWhoseWorkIsCommitted) {
    TEmu emu;
    auto s = Connected(emu);
    auto other = Connected(emu);
    auto locOf10 = [&] { return One(other.get(), "SELECT LOC FROM DEPT WHERE DEPTNO = 10"); };
    // A query (AutoCommit on by default) on an auto-committing session: committed at once.
    TOraQuery q(s.get());
    ASSERT_TRUE(q.AutoCommit());
    q.SetSQL("UPDATE DEPT SET LOC = 'A' WHERE DEPTNO = 10");
    q.Execute();
    EXPECT_EQ(locOf10(), "A");
    // TOraSQL does not commit by default.
    TOraSQL sql(s.get());
    EXPECT_FALSE(sql.AutoCommit());
    sql.SetSQL("UPDATE DEPT SET LOC = 'B' WHERE DEPTNO = 10");
    sql.Execute();
    EXPECT_EQ(locOf10(), "A");
    s->Commit();
    EXPECT_EQ(locOf10(), "B");
    // Session AutoCommit off: nothing commits until Commit.
    s->SetAutoCommit(false);
    q.SetSQL("UPDATE DEPT SET LOC = 'C' WHERE DEPTNO = 10");
    q.Execute();
    EXPECT_EQ(locOf10(), "B");
    s->Rollback();
    EXPECT_EQ(One(s.get(), "SELECT LOC FROM DEPT WHERE DEPTNO = 10"), "B");
    // A user transaction suspends auto-commit until it ends.
    s->SetAutoCommit(true);
    s->StartTransaction();
    q.Execute();
    EXPECT_EQ(locOf10(), "B");
    EXPECT_TRUE(s->InTransaction());
    s->Commit();
    EXPECT_FALSE(s->InTransaction());
    EXPECT_EQ(locOf10(), "C");
    q.SetSQL("UPDATE DEPT SET LOC = 'D' WHERE DEPTNO = 10");
    q.Execute();
    EXPECT_EQ(locOf10(), "D") << "auto-commit is back after the transaction";
}

TEST(OraSessionTransactions, DdlEndsTheUserTransactionAndAutoCommitReturns) {
    TEmu emu;
    auto s = Connected(emu);
    auto other = Connected(emu);
    s->StartTransaction();
    TOraSQL sql(s.get());
    sql.SetSQL("CREATE TABLE T_TX (N NUMBER)");
    sql.Execute();
    EXPECT_FALSE(s->InTransaction());
    TOraQuery q(s.get());
    q.SetSQL("INSERT INTO T_TX VALUES (1)");
    q.Execute();
    EXPECT_EQ(One(other.get(), "SELECT COUNT(*) FROM T_TX"), "1");
    // Rollback and commit without a transaction do no harm.
    s->Rollback();
    s->Commit();
    EXPECT_TRUE(s->Connected());
}

TEST(OraSessionLifecycle, DisconnectClosesOpenDataSetsAndTheyReopenAfterAReconnect) {
    TEmu emu;
    auto s = MakeSession(emu);
    std::vector<bool> changes;
    s->OnConnectChange = [&](TOraSession&, bool connected) { changes.push_back(connected); };
    s->Connect();
    TOraQuery q(s.get());
    q.SetSQL("SELECT ENAME FROM EMP ORDER BY EMPNO");
    q.SetFetchRows(3);
    q.Open();
    q.Next();
    EXPECT_EQ(q.Fields(0)->AsString(), "ALLEN");
    s->Disconnect();
    EXPECT_FALSE(q.Active());
    EXPECT_FALSE(s->Connected());
    s->Connect();
    q.Open();
    EXPECT_EQ(q.Fields(0)->AsString(), "SMITH");
    q.Last();
    EXPECT_EQ(q.RecordCount(), 14);
    EXPECT_EQ(changes, (std::vector<bool>{true, false, true}));
    // A new connect string disconnects.
    s->SetConnectString("scott/tiger@" + emu.Server());
    EXPECT_TRUE(s->Connected()) << "the same connect string changes nothing";
    s->SetConnectString("scott/wrong@" + emu.Server());
    EXPECT_FALSE(s->Connected());
    EXPECT_FALSE(q.Active());
    EXPECT_THROW(s->Connect(), EOraError);
    EXPECT_FALSE(s->Connected());
}

TEST(OraSessionLifecycle, StatementsOnAClosedSessionFailClearly) {
    TEmu emu;
    auto s = MakeSession(emu);
    TOraQuery q(s.get());
    q.SetSQL("SELECT * FROM DEPT");
    s->ConnectPrompt = false;
    // The framework connects on demand.
    q.Open();
    EXPECT_TRUE(s->Connected());
    q.Close();
    s->Disconnect();
    TOCIConnection* c = s->OCIConnection();
    auto cmd = c->CreateCommand();
    cmd->SetSQL("SELECT * FROM DEPT");
    try {
        cmd->Prepare();
        FAIL();
    } catch (Exception& e) {
        EXPECT_STREQ(e.what(), "Session is not connected");
    }
    TOCICommand loose;
    loose.SetSQL("SELECT * FROM DEPT");
    try {
        loose.Prepare();
        FAIL();
    } catch (Exception& e) {
        EXPECT_STREQ(e.what(), "Session is not defined");
    }
}

TEST(OraSessionLogon, WrongSidAndClosedPortLeaveTheSessionClosedAndUsable) {
    TEmu emu;
    auto s = MakeSession(emu);
    s->SetServer("127.0.0.1:" + std::to_string(emu.emu.Port()) + ":nosuchsid");
    EXPECT_ANY_THROW(s->Connect());
    EXPECT_FALSE(s->Connected());
    s->SetServer("not a server string");
    EXPECT_ANY_THROW(s->Connect());
    EXPECT_FALSE(s->Connected());
    s->SetServer(emu.Server());
    s->SetUsername("nobody");
    try {
        s->Connect();
        FAIL();
    } catch (EOraError& e) {
        EXPECT_EQ(e.ErrorCode, 1017);
    }
    s->SetUsername("scott");
    s->Connect();
    EXPECT_EQ(One(s.get(), "SELECT USER FROM DUAL"), "SCOTT");
}

TEST(OraSessionErrors, OnErrorSeesTheErrorAndClearingFailMakesItSilent) {
    TEmu emu;
    auto s = Connected(emu);
    int seen = 0;
    bool silence = false;
    s->OnError = [&](TCustomDAConnection&, EDAError& e, bool& fail) {
        seen = e.ErrorCode;
        if (silence) fail = false;
    };
    TOraQuery q(s.get());
    q.SetSQL("SELECT * FROM NO_SUCH_TABLE");
    EXPECT_THROW(q.Open(), EOraError);
    EXPECT_EQ(seen, 942);
    silence = true;
    seen = 0;
    try {
        q.Open();
        FAIL();
    } catch (EOraError&) {
        FAIL() << "the handler cleared Fail";
    } catch (EAbort&) {
    }
    EXPECT_EQ(seen, 942);
    EXPECT_FALSE(q.Active());
    EXPECT_TRUE(s->Connected());
}

TEST(OraSessionErrors, ALostConnectionIsClosedBeforeOnErrorRuns) {
    vemu::EmuOptions o;
    o.benchRows = 5000;
    o.dropAfterBytes = 30000;
    TEmu emu(o);
    auto s = Connected(emu);
    int calls = 0, code = 0;
    bool connectedInHandler = true;
    s->OnError = [&](TCustomDAConnection& c, EDAError& e, bool&) {
        ++calls;
        code = e.ErrorCode;
        connectedInHandler = c.Connected();
    };
    TOraQuery q(s.get());
    q.SetFetchRows(500);
    q.SetSQL("SELECT ID, NAME FROM BENCH");
    EXPECT_THROW(
        {
            q.Open();
            q.Last();
        },
        EOraError);
    EXPECT_EQ(calls, 1) << "the failing logoff of the lost session is not reported again";
    EXPECT_TRUE(IsFatalOraCode(code)) << code;
    EXPECT_FALSE(connectedInHandler);
    EXPECT_FALSE(s->Connected());
    EXPECT_FALSE(q.Active());
}

TEST(OraSessionErrors, ParseErrorPositionPointsIntoTheTextAsWritten) {
    TEmu emu;
    auto s = Connected(emu);
    TOraQuery q(s.get());
    std::string sql = "SELECT ENAME\r\n  FROM EMP\r\n WHERE SAL >> 1";
    q.SetSQL(sql);
    EXPECT_THROW(q.Open(), EOraError);
    Variant v;
    q.OCIRecordSet()->Cmd()->GetProp(prErrorOffset, v);
    int pos = v.AsInteger();
    ASSERT_GT(pos, 0);
    ASSERT_LT(size_t(pos), sql.size());
    EXPECT_EQ(sql.substr(size_t(pos)).rfind(">", 0), 0u) << pos;
}

TEST(OraSessionCompileErrors, NothingForOtherTextsNoErrorsForACleanDefinition) {
    TEmu emu;
    auto s = Connected(emu);
    EXPECT_EQ(s->GetCompileErrors("SELECT * FROM DUAL"), "");
    EXPECT_EQ(s->GetCompileErrors("CREATE TABLE X (N NUMBER)"), "");
    EXPECT_EQ(s->GetCompileErrors("CREATE OR FOO PROCEDURE P IS BEGIN NULL; END;"), "");
    // A definition the server holds no errors for (vestra-emu keeps no stored program units, so the list of
    // a failed compilation cannot be produced here).
    EXPECT_EQ(s->GetCompileErrors("CREATE OR REPLACE PROCEDURE P_GOOD IS BEGIN NULL; END;"), "No errors");
    EXPECT_EQ(s->GetCompileErrors("create package body scott.PK is end;"), "No errors");
    EXPECT_TRUE(s->Connected());
}

TEST(OraSessionList, DefaultSessionAndListFollowCreationAndDestruction) {
    int before = TOraSession::SessionCount();
    auto a = std::make_unique<TOraSession>();
    auto b = std::make_unique<TOraSession>();
    EXPECT_EQ(TOraSession::SessionCount(), before + 2);
    if (before == 0) {
        EXPECT_EQ(TOraSession::DefaultSession(), a.get());
    }
    EXPECT_EQ(TOraSession::SessionAt(TOraSession::SessionCount() - 1), b.get());
    a.reset();
    EXPECT_EQ(TOraSession::SessionCount(), before + 1);
    if (before == 0) {
        EXPECT_EQ(TOraSession::DefaultSession(), b.get());
    }
    b.reset();
    EXPECT_EQ(TOraSession::SessionCount(), before);
    if (before == 0) {
        EXPECT_EQ(TOraSession::DefaultSession(), nullptr);
    }
}

TEST(OraSessionList, TheLastSessionGoneANewOneReloadsNetworkMode) {
    ASSERT_EQ(TOraSession::SessionCount(), 0);
    TEmu emu;
    {
        auto s = Connected(emu);
        EXPECT_TRUE(s->Connected());
    }
    EXPECT_EQ(TOraSession::DefaultSession(), nullptr);
    auto s = Connected(emu);
    EXPECT_EQ(One(s.get(), "SELECT COUNT(*) FROM DEPT"), "4");
    // A second session copies network mode from the first.
    TOraSession second;
    EXPECT_TRUE(second.Options().Net());
}

} // namespace
