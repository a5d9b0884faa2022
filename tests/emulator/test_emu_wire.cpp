// Connect, negotiation, logon and one query through the emulator, spoken in raw bytes.
#include "emulator/EmuServer.h"
#include "tests/emulator/EmuTestClient.h"

#include <gtest/gtest.h>

using emutest::Item;
using emutest::Row;
using emutest::TestClient;

namespace {

std::unique_ptr<vemu::EmuServer> StartServer(vemu::EmuOptions o = {}) {
    auto s = std::make_unique<vemu::EmuServer>(o);
    s->Start();
    return s;
}

void Logon(TestClient& c, uint16_t port, const char* user = "scott", const char* pw = "tiger") {
    ASSERT_EQ(c.Connect(port, "bnx"), 2);
    c.Negotiate();
    auto st = c.Logon(user, pw);
    ASSERT_EQ(st.code, 0) << st.text;
}

} // namespace

TEST(EmuWire, ConnectLogonAndQuery) {
    auto srv = StartServer();
    TestClient c;
    Logon(c, srv->Port());
    std::vector<Row> rows;
    auto st = c.Query("select ename, sal, hiredate from emp where deptno = 10 order by ename", rows, 3);
    ASSERT_EQ(st.code, 0) << st.text;
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(*rows[0][0], "CLARK");
    EXPECT_EQ(*rows[0][1], "2450");
    EXPECT_EQ(*rows[0][2], "09-JUN-81");
    EXPECT_EQ(*rows[1][0], "KING");
    EXPECT_EQ(*rows[2][0], "MILLER");
    EXPECT_EQ(c.Logoff().code, 0);
    c.Disconnect();
}
