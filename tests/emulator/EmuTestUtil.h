// Shared set-up of the emulator tests: a server per test and a logged-on client.
#pragma once
#include "emulator/EmuServer.h"
#include "tests/emulator/EmuTestClient.h"

#include <gtest/gtest.h>
#include <memory>

namespace emutest {

inline std::unique_ptr<vemu::EmuServer> StartServer(vemu::EmuOptions o = {}) {
    auto s = std::make_unique<vemu::EmuServer>(o);
    s->Start();
    return s;
}

inline void LogonOk(TestClient& c, uint16_t port, const char* user = "scott", const char* pw = "tiger") {
    ASSERT_EQ(c.Connect(port, "bnx"), 2);
    c.Negotiate();
    auto st = c.Logon(user, pw);
    ASSERT_EQ(st.code, 0) << st.text;
}

inline Item Str(const std::string& s, int size = 4000) {
    Item i;
    i.type = 1;
    i.size = size;
    if (!s.empty()) i.value = s;
    return i;
}
inline Item Num(long long v) {
    Item i;
    i.type = 2;
    i.size = 22;
    i.value = TestClient::Number(v);
    return i;
}
inline Item NullOf(int type, int size = 4000) {
    Item i;
    i.type = type;
    i.size = size;
    return i;
}

// One text value of a query with one row.
inline std::string One(TestClient& c, const std::string& sql, const std::vector<Item>& binds = {}) {
    std::vector<Row> rows;
    Status s = c.Query(sql, rows, 1, binds);
    if (s.code) return "ERR " + s.text;
    if (rows.empty()) return "NO ROWS";
    return rows[0][0] ? *rows[0][0] : "NULL";
}

} // namespace emutest
