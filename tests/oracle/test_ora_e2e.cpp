// End to end: TOraSession, TOraQuery and TOraSQL against the protocol emulator, the way the worksheet uses them.
#include "OraE2e.h"

#include "dataset/DateTimeUtil.h"

#include <gtest/gtest.h>

using namespace oratest;
using namespace oracall;

namespace oratest {

namespace {
std::mutex g_logLock;
std::vector<std::string> g_log;
TOCIStmtPrepare g_prevPrepare = nullptr;
sword LoggingPrepare(OCIStmt* stmtp, OCIError* errhp, const OraText* stmt, ub4 len, ub4 language, ub4 mode) {
    {
        std::lock_guard<std::mutex> g(g_logLock);
        g_log.emplace_back(reinterpret_cast<const char*>(stmt));
    }
    return g_prevPrepare(stmtp, errhp, stmt, len, language, mode);
}
} // namespace

TPrepareLog::TPrepareLog() {
    g_prevPrepare = OCIStmtPrepare;
    OCIStmtPrepare = &LoggingPrepare;
    std::lock_guard<std::mutex> g(g_logLock);
    g_log.clear();
}
TPrepareLog::~TPrepareLog() { OCIStmtPrepare = g_prevPrepare; }
std::vector<std::string> TPrepareLog::Texts() {
    std::lock_guard<std::mutex> g(g_logLock);
    return g_log;
}
std::vector<std::string> TPrepareLog::Starting(const std::string& prefix) {
    std::vector<std::string> out;
    for (auto& t : Texts())
        if (t.rfind(prefix, 0) == 0)
            out.push_back(t);
    return out;
}

} // namespace oratest

namespace {

// The session is installed before the log, so the emulation is in the table when the log wraps it.
TEST(OraSession, ConnectSendsLanguageThenDateFormatAndDatesComeBackFormatted) {
    TEmu emu;
    auto s = MakeSession(emu);
    TPrepareLog log;
    s->Connect();
    ASSERT_TRUE(s->Connected());
    auto alters = log.Starting("ALTER SESSION");
    ASSERT_EQ(alters.size(), 2u);
    EXPECT_EQ(alters[0], "ALTER SESSION SET NLS_DATE_LANGUAGE='German'");
    EXPECT_EQ(alters[1], "ALTER SESSION SET NLS_DATE_FORMAT='DD.MM.YYYY'");
    EXPECT_EQ(s->Options().DateFormat(), "DD.MM.YYYY");

    TOraQuery q(s.get());
    q.SetSQL("SELECT TO_CHAR(HIREDATE) H, HIREDATE, TO_CHAR(HIREDATE, 'DD. MONTH YYYY') M FROM EMP WHERE EMPNO = 7369");
    q.Open();
    EXPECT_EQ(q.FieldByName("H")->AsString(), "17.12.1980");
    EXPECT_EQ(q.FieldByName("HIREDATE")->AsDateTime(), EncodeDate(1980, 12, 17));
    EXPECT_NE(q.FieldByName("M")->AsString().find("DEZEMBER"), std::string::npos) << q.FieldByName("M")->AsString();
}

TEST(OraSession, WithoutNlsOptionsNoAlterSessionAndDateFormatReadsTheServerValue) {
    TEmu emu;
    auto s = MakeSession(emu, "scott", "tiger", false);
    TPrepareLog log;
    s->Connect();
    EXPECT_TRUE(log.Starting("ALTER SESSION").empty());
    EXPECT_FALSE(s->Options().DateFormat().empty());
    EXPECT_EQ(s->GetServerVersion().substr(0, 1) >= "8", true) << s->GetServerVersion();
}

TEST(OraSession, WrongPasswordRaisesOraErrorAndLeavesTheSessionClosed) {
    TEmu emu;
    auto s = MakeSession(emu, "scott", "wrong");
    try {
        s->Connect();
        FAIL() << "connected with a wrong password";
    } catch (EOraError& e) {
        EXPECT_EQ(e.ErrorCode, 1017) << e.what();
    }
    EXPECT_FALSE(s->Connected());
    s->SetPassword("tiger");
    s->Connect();
    EXPECT_TRUE(s->Connected());
}

} // namespace
