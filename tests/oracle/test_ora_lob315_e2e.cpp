// The Oracle layer reads LOB and LONG fields over the current protocol generation as it does over the
// classic one: a query's CLOB, BLOB and LONG columns become field values through the record set's locators
// and define callbacks.
#include "OraE2e.h"
#include "oranet/NetHandles.h"

#include <gtest/gtest.h>

using namespace oratest;
using namespace oracall;

namespace {

class OraLobsCurrent : public ::testing::Test {
protected:
    void SetUp() override { oranet::SetOfferCurrentProtocol(true); }
    void TearDown() override { oranet::SetOfferCurrentProtocol(false); }
};

std::string Letters(size_t n) {
    std::string s(n, ' ');
    for (size_t i = 0; i < n; ++i)
        s[i] = char('a' + i % 26);
    return s;
}

} // namespace

TEST_F(OraLobsCurrent, ClobBlobAndLongFieldsReadThroughTheRecordSet) {
    vemu::EmuOptions o;
    o.generation = vemu::EmuOptions::Generation::Current;
    TEmu emu(o);
    auto s = MakeSession(emu);
    s->Connect();
    TOraSQL sql(s.get());
    sql.SetSQL("CREATE TABLE T_CBL (ID NUMBER, C CLOB, B BLOB, L LONG)");
    sql.Execute();
    const std::string text = Letters(3000) + "\xE9";
    sql.SetSQL("INSERT INTO T_CBL VALUES (1, '" + text + "', HEXTORAW('00FF7F80'), '" + Letters(2000) + "')");
    sql.Execute();
    sql.SetSQL("INSERT INTO T_CBL VALUES (2, NULL, NULL, NULL)");
    sql.Execute();
    TOraQuery q(s.get());
    q.SetSQL("SELECT C, B, L FROM T_CBL ORDER BY ID");
    q.Open();
    EXPECT_EQ(q.Fields(0)->AsString(), text);
    Variant b = q.Fields(1)->AsVariant();
    ASSERT_TRUE(b.IsByteArray());
    EXPECT_EQ(b.Bytes(), (std::vector<uint8_t>{0x00, 0xFF, 0x7F, 0x80}));
    EXPECT_EQ(q.Fields(2)->AsString(), Letters(2000));
    q.Next();
    ASSERT_FALSE(q.Eof());
    EXPECT_TRUE(q.Fields(0)->IsNull());
    EXPECT_TRUE(q.Fields(1)->IsNull());
    EXPECT_TRUE(q.Fields(2)->IsNull());
}
