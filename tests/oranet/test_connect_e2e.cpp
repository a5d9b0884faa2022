// Logons by service name, descriptor and tnsnames.ora alias against the emulator over loopback.
#include "E2eSession.h"
#include "TnsTestDir.h"
#include "emulator/EmuServer.h"

#include <gtest/gtest.h>

using namespace ve2e;
using namespace oracall;

namespace {

struct TServiceServer {
    vemu::EmuServer emu;
    TServiceServer() : emu(Options()) { emu.Start(); }
    static vemu::EmuOptions Options() {
        vemu::EmuOptions o;
        o.service = "pdb1.example.com";
        return o;
    }
    std::string Port() const { return std::to_string(emu.Port()); }
};

// Logs on as SCOTT, reads one value and logs off; "" on success, else the error text.
std::string LogonAndQuery(const std::string& server) {
    TNetSessionRig s;
    if (s.Logon(server, "scott", "tiger") != 0) return s.ErrorText();
    {
        TStmt st(s, "select ename from emp where empno = 7839");
        if (st.Execute(0) != 0) return s.ErrorText();
        char name[32] = {};
        sb2 ind = 0;
        st.Define(1, name, sizeof name, SQLT_STR, &ind);
        if (st.Fetch(1) != 0) return s.ErrorText();
        if (std::string(name) != "KING") return "unexpected row: " + std::string(name);
    }
    if (s.Logoff() != 0) return s.ErrorText();
    return {};
}

} // namespace

TEST(E2eConnectForms, LogonByServiceNameDescriptorAndAlias) {
    TServiceServer srv;
    vtest::TTempDir dir;
    dir.Write("tnsnames.ora",
              "# the emulator\n"
              "PDB1, PDB1_ALT =\n"
              "  (DESCRIPTION =\n"
              "    (ADDRESS = (PROTOCOL = TCP)(HOST = 127.0.0.1)(PORT = " +
                  srv.Port() +
                  "))\n"
                  "    (CONNECT_DATA = (SERVER = DEDICATED) (SERVICE_NAME = pdb1.example.com))\n"
                  "  )\n"
                  "BYSID = (DESCRIPTION=(ADDRESS=(PROTOCOL=TCP)(HOST=127.0.0.1)(PORT=" +
                  srv.Port() + "))(CONNECT_DATA=(SID=BNX)))\n");
    vtest::TScopedEnv admin("TNS_ADMIN", dir.Path());
    const std::string forms[] = {
        "127.0.0.1:" + srv.Port() + "/pdb1.example.com",
        "//127.0.0.1:" + srv.Port() + "/PDB1.Example.COM", // services compare case-insensitively
        "127.0.0.1:" + srv.Port() + "/bnx",                // the SID's own name is a service too
        "127.0.0.1:" + srv.Port() + ":bnx",
        "(DESCRIPTION=(ADDRESS=(PROTOCOL=TCP)(HOST=127.0.0.1)(PORT=" + srv.Port() +
            "))\n(CONNECT_DATA=(SERVICE_NAME=pdb1.example.com)))",
        "pdb1_alt",
        "BySid",
    };
    for (const std::string& f : forms)
        EXPECT_EQ(LogonAndQuery(f), "") << f;
}

TEST(E2eConnectForms, AnUnknownServiceIsRefusedByTheListenerWithAClearMessage) {
    TServiceServer srv;
    TNetSessionRig s;
    EXPECT_EQ(s.Logon("127.0.0.1:" + srv.Port() + "/nosuch.example.com", "scott", "tiger"), -1);
    sb4 code = 0;
    EXPECT_EQ(s.ErrorText(&code),
              "NET: ORA-12514: Der Listener kennt den Dienst \x84nosuch.example.com\x93 nicht");
    EXPECT_EQ(code, -1);
    // The same service context logs on once the right service is named.
    TNetSessionRig again;
    EXPECT_EQ(again.Logon("127.0.0.1:" + srv.Port() + "/pdb1.example.com", "scott", "tiger"), 0)
        << again.ErrorText();
}

TEST(E2eConnectForms, AWrongStringFailsBeforeAnythingIsSent) {
    TNetSessionRig s;
    EXPECT_EQ(s.Logon("(DESCRIPTION=(ADDRESS=(PROTOCOL=TCP)(HOST=127.0.0.1)(PORT=1))", "scott", "tiger"), -1);
    sb4 code = 0;
    EXPECT_EQ(s.ErrorText(&code),
              "NET: Verbindungsbeschreibung: Klammern nicht ausgeglichen: \x84)\x93 fehlt am Ende");
    EXPECT_EQ(code, -1);
}
