// The status check and the error retrieval against a scripted error handle: every status value, the code read
// from an "ORA-" text, warnings that pass and the one that does not, and the error callback's silent abort.
#include "oracle/Ora.h"

#include "dataset/DBErrors.h"

#include <cstring>
#include <gtest/gtest.h>

using namespace oracall;

namespace {

// What the scripted OCIErrorGet answers next.
struct TScript {
    sword Result = OCI_SUCCESS;
    sb4 Code = 0;
    std::string Text;
    int Calls = 0;
};
TScript g_script;

sword ScriptedErrorGet(dvoid*, ub4, OraText*, sb4* code, OraText* buf, ub4 size, ub4) {
    ++g_script.Calls;
    *code = g_script.Code;
    size_t n = std::min<size_t>(g_script.Text.size(), size_t(size));
    std::memcpy(buf, g_script.Text.data(), n);
    if (n < size) buf[n] = 0;
    return g_script.Result;
}

// Installs the scripted entry point and the version-8 call style for one test.
class OraErrorRetrieval : public ::testing::Test {
protected:
    void SetUp() override {
        prevGet_ = OCIErrorGet;
        prevStyle_ = OCIDefaultCallStyle;
        OCIErrorGet = &ScriptedErrorGet;
        OCIDefaultCallStyle = 2;
        g_script = TScript();
    }
    void TearDown() override {
        OCIErrorGet = prevGet_;
        OCIDefaultCallStyle = prevStyle_;
    }
    static std::pair<int, std::string> Get(sword status) {
        int code = -12345;
        std::string text = "stale";
        GetOraErrorText(status, nullptr, code, text);
        return {code, text};
    }

private:
    TOCIErrorGet prevGet_ = nullptr;
    int prevStyle_ = 0;
};

TEST_F(OraErrorRetrieval, EveryStatusValueGivesItsCodeAndText) {
    EXPECT_EQ(Get(OCI_SUCCESS), (std::pair<int, std::string>{0, ""}));
    EXPECT_EQ(g_script.Calls, 0) << "success asks the error handle nothing";

    g_script.Result = OCI_SUCCESS;
    g_script.Code = 942;
    g_script.Text = "ORA-00942: table or view does not exist\n";
    EXPECT_EQ(Get(OCI_ERROR), (std::pair<int, std::string>{942, "ORA-00942: table or view does not exist"}));

    // The retrieval itself reports an error: the code comes from the text, not from the out-value.
    g_script.Result = OCI_ERROR;
    g_script.Code = 1;
    g_script.Text = "ORA-01017: invalid username/password; logon denied";
    EXPECT_EQ(Get(OCI_ERROR).first, 1017);
    // ... and a text that carries no readable number leaves the code as it was.
    g_script.Text = "ORA-0x12: garbled";
    EXPECT_EQ(Get(OCI_ERROR).first, 1);
    g_script.Text = "ORA-";
    EXPECT_EQ(Get(OCI_ERROR).first, 1);

    g_script.Result = OCI_SUCCESS_WITH_INFO;
    EXPECT_EQ(Get(OCI_ERROR).second, "OCI_SUCCESS_WITH_INFO");
    g_script.Result = OCI_NO_DATA;
    EXPECT_EQ(Get(OCI_NO_DATA).second, "OCI_NO_DATA");

    // No text: "ORA-" and the code in decimal.
    g_script.Result = OCI_SUCCESS;
    g_script.Code = -3113;
    g_script.Text.clear();
    EXPECT_EQ(Get(OCI_ERROR), (std::pair<int, std::string>{3113, "ORA-3113"}));

    EXPECT_EQ(Get(OCI_NEED_DATA), (std::pair<int, std::string>{99, "OCI_NEED_DATA"}));
    EXPECT_EQ(Get(OCI_INVALID_HANDLE), (std::pair<int, std::string>{2, "OCI_INVALID_HANDLE"}));
    EXPECT_EQ(Get(-7), (std::pair<int, std::string>{7, "Unknown error: ORA--7"}));
}

TEST_F(OraErrorRetrieval, AnOverlongServerTextIsCutAt512Characters) {
    g_script.Code = 6550;
    g_script.Text = "ORA-06550: " + std::string(2000, 'x');
    auto r = Get(OCI_ERROR);
    EXPECT_EQ(r.first, 6550);
    EXPECT_EQ(r.second.size(), 512u);
}

TEST_F(OraErrorRetrieval, ConnectionCheckPassesWarningsButNotCompilationErrors) {
    TOCIConnection c;
    // Without a chosen call style nothing can be asked.
    try {
        c.Check(OCI_ERROR);
        FAIL();
    } catch (EOraError&) {
        FAIL() << "raised an Oracle error without a call style";
    } catch (Exception& e) {
        EXPECT_STREQ(e.what(), "OCI is not inizialized");
    }
    c.SetCallStyle(2);
    c.Check(OCI_SUCCESS);
    g_script.Code = 28002;
    g_script.Text = "ORA-28002: the password will expire within 7 days";
    EXPECT_NO_THROW(c.Check(OCI_SUCCESS_WITH_INFO));
    EXPECT_EQ(c.LastErrorCode(), 28002);

    g_script.Code = 24344;
    g_script.Text = "ORA-24344: success with compilation error";
    try {
        c.Check(OCI_SUCCESS_WITH_INFO);
        FAIL() << "compilation errors passed as a warning";
    } catch (EOraError& e) {
        EXPECT_EQ(e.ErrorCode, 24344);
        EXPECT_STREQ(e.what(), "ORA-24344: success with compilation error");
    }

    g_script.Code = 942;
    g_script.Text = "ORA-00942: table or view does not exist";
    try {
        c.Check(OCI_ERROR);
        FAIL();
    } catch (EOraError& e) {
        EXPECT_EQ(e.ErrorCode, 942);
    }
    EXPECT_EQ(c.LastErrorCode(), 942);
    try {
        c.Check(OCI_INVALID_HANDLE);
        FAIL();
    } catch (EOraError& e) {
        EXPECT_EQ(e.ErrorCode, 2);
        EXPECT_STREQ(e.what(), "OCI_INVALID_HANDLE");
    }
}

TEST_F(OraErrorRetrieval, ErrorCallbackSeesTheErrorAndMayTurnItIntoASilentAbort) {
    TOCIConnection c;
    c.SetCallStyle(2);
    g_script.Code = 1;
    g_script.Text = "ORA-00001: unique constraint violated";
    int seen = 0;
    bool clearFail = false;
    c.SetMethodProp(prOnError, [&](TQxMethodArgs& a) {
        ASSERT_NE(a.Error, nullptr);
        auto* e = dynamic_cast<EDAError*>(a.Error);
        ASSERT_NE(e, nullptr);
        seen = e->ErrorCode;
        EXPECT_TRUE(a.Fail);
        if (clearFail) a.Fail = false;
    });
    EXPECT_THROW(c.Check(OCI_ERROR), EOraError);
    EXPECT_EQ(seen, 1);
    clearFail = true;
    seen = 0;
    try {
        c.Check(OCI_ERROR);
        FAIL();
    } catch (EOraError&) {
        FAIL() << "the handler cleared Fail, yet the error propagated";
    } catch (EAbort&) {
    }
    EXPECT_EQ(seen, 1);
    // Warnings never reach the callback.
    seen = 0;
    g_script.Code = 28002;
    c.Check(OCI_SUCCESS_WITH_INFO);
    EXPECT_EQ(seen, 0);
}

TEST_F(OraErrorRetrieval, GlobalCheckRaisesWithTheTrimmedTextAndPassesWarnings) {
    g_script.Code = 22275;
    g_script.Text = "ORA-22275: invalid LOB locator specified  \r\n";
    try {
        OraCheckGlobal(OCI_ERROR);
        FAIL();
    } catch (EOraError& e) {
        EXPECT_EQ(e.ErrorCode, 22275);
        EXPECT_STREQ(e.what(), "ORA-22275: invalid LOB locator specified");
    }
    EXPECT_NO_THROW(OraCheckGlobal(OCI_SUCCESS_WITH_INFO));
    EXPECT_NO_THROW(OraCheckGlobal(OCI_SUCCESS));
}

TEST(OraErrorCodes, FatalCodesAreExactlyTheConnectionLosingOnes) {
    for (int code : {28, 1012, 3113, 3114, 12203, 12571}) {
        EXPECT_TRUE(IsFatalOraCode(code)) << code;
        EXPECT_TRUE(IsFatalOraCode(-code)) << code;
    }
    for (int code : {0, 1, 942, 1017, 3123, 12154, 12541, 24344, 6550})
        EXPECT_FALSE(IsFatalOraCode(code)) << code;
    TOraSession s;
    EXPECT_TRUE(s.IsFatalError(EOraError(3114, "ORA-03114: not connected to ORACLE")));
    // The same number in an error of another kind says nothing about the Oracle connection.
    EXPECT_FALSE(s.IsFatalError(EDAError("other", 3114)));
}

} // namespace
