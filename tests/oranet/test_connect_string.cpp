// Server strings of every form, tnsnames.ora files, and the connect packet they produce.
#include "ScriptSocket.h"
#include "TnsTestDir.h"
#include "oranet/ConnectString.h"
#include "oranet/NetHandles.h"
#include "oranet/NetTransport.h"
#include "oranet/TnsNames.h"

#include <gtest/gtest.h>

using namespace oranet;
using namespace vtest;

namespace {

struct TGood {
    const char* text;
    const char* host;
    int port;
    const char* sid;     // "" when a service is named
    const char* service; // "" when a SID is named
    const char* extra;
};

void ExpectAddress(const TConnectAddress& a, const TGood& g) {
    EXPECT_EQ(a.host, g.host) << g.text;
    EXPECT_EQ(a.port, g.port) << g.text;
    EXPECT_EQ(a.sid, g.sid) << g.text;
    EXPECT_EQ(a.serviceName, g.service) << g.text;
    EXPECT_EQ(a.connectDataExtra, g.extra) << g.text;
}

// The message of the failure of f; "" when f does not fail.
template <class F> std::string FailureOf(F f) {
    try {
        f();
    } catch (const std::exception& e) {
        return e.what();
    }
    return {};
}

const TTnsFile kNoAliases{};

} // namespace

TEST(ServerStringForms, EveryFormGivesItsAddress) {
    const TGood cases[] = {
        // The classic form keeps its defaults and rules.
        {"", "local", 1521, "orcl", "", ""},
        {"dbhost:1522:PROD", "dbhost", 1522, "PROD", "", ""},
        {"dbhost::PROD", "dbhost", 1521, "PROD", "", ""},
        {":1522:PROD", "local", 1522, "PROD", "", ""},
        {"dbhost:1522", "dbhost", 1522, "orcl", "", ""},
        // Easy Connect.
        {"dbhost:1522/pdb1.example.com", "dbhost", 1522, "", "pdb1.example.com", ""},
        {"dbhost/ORCLPDB1", "dbhost", 1521, "", "ORCLPDB1", ""},
        {"//db.example.com:1600/sales", "db.example.com", 1600, "", "sales", ""},
        {"  //10.0.0.5/sales  ", "10.0.0.5", 1521, "", "sales", ""},
        {"db:1521/sales:dedicated", "db", 1521, "", "sales", "(SERVER=DEDICATED)"},
        {"db/sales:Pooled/sales1", "db", 1521, "", "sales", "(SERVER=POOLED)(INSTANCE_NAME=sales1)"},
        // Descriptors: keywords in any case, blanks and line breaks between the tokens.
        {"(DESCRIPTION=(ADDRESS=(PROTOCOL=TCP)(HOST=db1)(PORT=1530))(CONNECT_DATA=(SERVICE_NAME=svc)))",
         "db1", 1530, "", "svc", ""},
        {"(description = (address = (protocol = tcp) (host = db1) (port = 1530))\r\n"
         "  (connect_data =\n    (sid = PROD)\n  )\n)",
         "db1", 1530, "PROD", "", ""},
        // The first TCP address of the lists, in order; PORT left out means 1521.
        {"(DESCRIPTION=(ADDRESS_LIST=(ADDRESS=(PROTOCOL=IPC)(KEY=x))(ADDRESS=(PROTOCOL=tcp)(HOST=a))"
         "(ADDRESS=(PROTOCOL=TCP)(HOST=b)(PORT=2)))(CONNECT_DATA=(SERVICE_NAME=s)))",
         "a", 1521, "", "s", ""},
        {"(DESCRIPTION_LIST=(DESCRIPTION=(ADDRESS=(PROTOCOL=TCP)(HOST=first)(PORT=1))(CONNECT_DATA=(SID=X)))"
         "(DESCRIPTION=(ADDRESS=(PROTOCOL=TCP)(HOST=second)(PORT=2))(CONNECT_DATA=(SID=Y))))",
         "first", 1, "X", "", ""},
        // SERVICE_NAME wins over SID; SERVER and INSTANCE_NAME are kept, CID and the rest dropped.
        {"(DESCRIPTION=(CONNECT_TIMEOUT=5)(ADDRESS=(PROTOCOL=TCP)(HOST=h)(PORT=9))(CONNECT_DATA=(SID=a)"
         "(SERVICE_NAME=\"b\")(server=dedicated)(INSTANCE_NAME=i1)(CID=(PROGRAM=x)(HOST=y)(USER=z))))",
         "h", 9, "", "b", "(SERVER=dedicated)(INSTANCE_NAME=i1)"},
    };
    for (const TGood& g : cases)
        ExpectAddress(ParseServerText(g.text, kNoAliases), g);
}

TEST(ServerStringForms, WrongStringsSayWhatIsWrong) {
    struct {
        const char* text;
        const char* message; // a part of the message
    } cases[] = {
        {"dbhost:abc/svc", "Ung\xFCltiger Port \x84"
                           "abc\x93 in \x84"
                           "dbhost:abc/svc\x93"},
        {"dbhost:70000/svc", "Ung\xFCltiger Port \x84"
                             "70000\x93"},
        {"dbhost:/svc", "Ung\xFCltiger Port \x84\x93"},
        {"//:1521/svc", "Host fehlt in \x84//:1521/svc\x93"},
        {"/svc", "Host fehlt"},
        {"dbhost:1521/", "Dienstname fehlt in \x84"
                         "dbhost:1521/\x93"},
        {"//dbhost", "Dienstname fehlt"},
        {"db/svc:fast", "Unbekannte Serverart \x84"
                        "fast\x93"},
        {"db/svc?connect_timeout=5", "Unzul\xE4ssiges Zeichen in Dienstname"},
        {"[::1]:1521/svc", "IPv6-Adressen werden nicht unterst\xFCtzt"},
        {"(DESCRIPTION=(ADDRESS=(PROTOCOL=TCP)(HOST=h)(PORT=1))(CONNECT_DATA=(SID=x))",
         "Klammern nicht ausgeglichen: \x84)\x93 fehlt am Ende"},
        {"(DESCRIPTION=(ADDRESS=(PROTOCOL=TCP)(HOST=h)))) ", "Klammern nicht ausgeglichen: \xFC"
                                                             "bers\xE4tzliches"},
        {"(DESCRIPTION=(ADDRESS=(PROTOCOL=TCP)(PORT=1))(CONNECT_DATA=(SID=x)))", "HOST fehlt"},
        {"(DESCRIPTION=(ADDRESS=(PROTOCOL=TCP)(HOST=h)(PORT=x1))(CONNECT_DATA=(SID=x)))",
         "Ung\xFCltiger Port \x84x1\x93"},
        {"(DESCRIPTION=(ADDRESS=(PROTOCOL=TCPS)(HOST=h)(PORT=2484))(CONNECT_DATA=(SID=x)))",
         "TCPS (TLS) wird nicht unterst\xFCtzt"},
        {"(DESCRIPTION=(ADDRESS=(PROTOCOL=TCP)(HOST=h)))", "CONNECT_DATA fehlt"},
        {"(DESCRIPTION=(ADDRESS=(PROTOCOL=TCP)(HOST=h))(CONNECT_DATA=(SERVER=DEDICATED)))",
         "weder SERVICE_NAME noch SID"},
        {"(ADDRESS=(PROTOCOL=TCP)(HOST=h))", "mit (DESCRIPTION= beginnen"},
        {"(DESCRIPTION (ADDRESS=(HOST=h)))", "\x84=\x93 fehlt nach \x84"
                                             "DESCRIPTION\x93"},
        {"(DESCRIPTION=(ADDRESS=(PROTOCOL=TCP)(HOST=h))(CONNECT_DATA=(SID=x))) tail",
         "Text nach der letzten"},
        {"(DESCRIPTION=(ADDRESS=(PROTOCOL=TCP)(HOST=h))(CONNECT_DATA=(SERVICE_NAME=\"a(b\")))",
         "Unzul\xE4ssiges Zeichen in SERVICE_NAME"},
    };
    for (auto& c : cases) {
        std::string m = FailureOf([&] { ParseServerText(c.text, kNoAliases); });
        EXPECT_NE(m.find(c.message), std::string::npos) << c.text << " -> " << m;
    }
    // The classic form keeps its own message.
    EXPECT_EQ(FailureOf([] { ParseServerText("dbhost:abc:PROD", kNoAliases); }), "Invalid port");
}

TEST(ServerStringForms, HostileDescriptorsEndInAnErrorNotAHang) {
    EXPECT_NE(FailureOf([] { ParseDescriptor(std::string(100000, '(')); }).find("zu lang"),
              std::string::npos);
    std::string deep;
    for (int i = 0; i < 40; ++i)
        deep += "(A=";
    EXPECT_NE(FailureOf([&] { ParseDescriptor(deep); }).find("zu tief verschachtelt"), std::string::npos);
    std::string wide = "(DESCRIPTION=";
    for (int i = 0; i < 3000; ++i)
        wide += "(A=1)";
    wide += ")";
    EXPECT_NE(FailureOf([&] { ParseDescriptor(wide); }).find("zu viele"), std::string::npos);
    std::string binary("(DESCRIPTION=\x01\xFF\0(", 17);
    EXPECT_NE(FailureOf([&] { ParseDescriptor(binary); }), "");
}

TEST(ConnectDescriptorText, ASidGivesTheClassicDescriptorAndAServiceNamesIt) {
    TConnectAddress a;
    a.host = "10.0.0.5";
    a.sid = "ORCL";
    EXPECT_EQ(ConnectDescriptor(a), TNetTransport::Descriptor("10.0.0.5", 1521, "ORCL"));
    EXPECT_EQ(ConnectDescriptor(a),
              "(DESCRIPTION=(ADDRESS=(PROTOCOL=tcp)(HOST=10.0.0.5)(PORT=1521))(CONNECT_DATA=(SID=ORCL)))");
    TConnectAddress s = ParseServerText("db:1600/sales:shared", kNoAliases);
    EXPECT_EQ(ConnectDescriptor(s),
              "(DESCRIPTION=(ADDRESS=(PROTOCOL=tcp)(HOST=db)(PORT=1600))(CONNECT_DATA=(SERVICE_NAME=sales)"
              "(SERVER=SHARED)))");
    EXPECT_EQ(ConnectData(s, "(CID=(PROGRAM=p))"), "(SERVICE_NAME=sales)(SERVER=SHARED)(CID=(PROGRAM=p))");
}

// ---- tnsnames.ora ----

namespace {

const char kTnsFile[] = "# Vestra test aliases\n"
                        "PROD, prod_alt =\n"
                        "  (DESCRIPTION =\n"
                        "    (ADDRESS = (PROTOCOL = TCP)(HOST = prodhost)(PORT = 1530)) # the primary\n"
                        "    (CONNECT_DATA =\n"
                        "      (SERVICE_NAME = prod.example.com)\n"
                        "    )\n"
                        "  )\n"
                        "\n"
                        "ORCL.WORLD=(DESCRIPTION=(ADDRESS=(PROTOCOL=TCP)(HOST=orclhost)(PORT=1521))"
                        "(CONNECT_DATA=(SID=ORCL)))\n"
                        "IFILE = /etc/other/tnsnames.ora\n"
                        ") stray\n"
                        "BROKEN_DESC = (DESCRIPTION=(ADDRESS=(PROTOCOL=TCP)(PORT=1))(CONNECT_DATA=(SID=x)))\n"
                        "open-end = (DESCRIPTION=(ADDRESS=(PROTOCOL=TCP)(HOST=h)\n";

} // namespace

TEST(TnsNamesFile, TheFilesOwnSyntax) {
    std::vector<TTnsEntry> e = ScanTnsNames(kTnsFile);
    ASSERT_EQ(e.size(), 5u);
    EXPECT_EQ(e[0].names, (std::vector<std::string>{"PROD", "prod_alt"}));
    EXPECT_EQ(e[0].value.find('#'), std::string::npos) << "comments inside an entry are dropped";
    EXPECT_EQ(e[1].names, (std::vector<std::string>{"ORCL.WORLD"}));
    EXPECT_EQ(e[2].names, (std::vector<std::string>{"IFILE"}));
    EXPECT_EQ(e[2].value, "/etc/other/tnsnames.ora");
    // The stray ")" is skipped and the name after it starts the next entry.
    EXPECT_EQ(e[3].names, (std::vector<std::string>{"stray", "BROKEN_DESC"}));
    EXPECT_FALSE(e[4].complete);

    TTnsFile f;
    f.path = "/x/tnsnames.ora";
    f.entries = e;
    EXPECT_EQ(TnsAliasNames(f),
              (std::vector<std::string>{"PROD", "prod_alt", "ORCL", "stray", "BROKEN_DESC", "open-end"}));
    ExpectAddress(ParseServerText("prod_alt", f), {"prod_alt", "prodhost", 1530, "", "prod.example.com", ""});
    ExpectAddress(ParseServerText("orcl", f), {"orcl", "orclhost", 1521, "ORCL", "", ""});
    ExpectAddress(ParseServerText("orcl.world", f), {"orcl.world", "orclhost", 1521, "ORCL", "", ""});
    TConnectAddress a = ParseServerText("PROD", f);
    EXPECT_EQ(a.alias, "PROD");
    EXPECT_EQ(a.aliasFile, "/x/tnsnames.ora");
    EXPECT_TRUE(a.notAnAlias.empty());
    // IFILE is no alias: a plain name that is none is a host, as ever.
    TConnectAddress h = ParseServerText("IFILE", f);
    EXPECT_EQ(h.host, "IFILE");
    EXPECT_EQ(h.sid, "orcl");
    EXPECT_EQ(h.notAnAlias, "kein Eintrag in /x/tnsnames.ora");

    EXPECT_EQ(FailureOf([&] { ParseServerText("broken_desc", f); }),
              "Alias \x84"
              "broken_desc\x93 in /x/tnsnames.ora: Verbindungsbeschreibung: HOST fehlt in der Adresse");
    EXPECT_NE(FailureOf([&] { ParseServerText("OPEN-END", f); }).find("Klammern nicht ausgeglichen"),
              std::string::npos);
}

TEST(TnsNamesFile, HostileFilesCostBoundedWork) {
    // Binary bytes, unbalanced parentheses, an entry that never ends: a list as far as it got.
    std::string junk;
    for (int i = 0; i < 200000; ++i)
        junk += char(i * 7919 % 256);
    EXPECT_NO_THROW(ScanTnsNames(junk));
    std::string opens(500000, '(');
    std::vector<TTnsEntry> none = ScanTnsNames(opens);
    EXPECT_TRUE(none.empty());
    std::vector<TTnsEntry> names = ScanTnsNames(std::string(300000, 'A') + "=(" + std::string(300000, ')'));
    ASSERT_EQ(names.size(), 1u);

    // A file larger than the bound: its start is read, the rest is not.
    TTempDir dir;
    std::string big = "FIRST=(DESCRIPTION=(ADDRESS=(PROTOCOL=TCP)(HOST=h1))(CONNECT_DATA=(SID=A)))\n";
    while (big.size() < 2 * MaxTnsFileBytes)
        big += "# " + std::string(100, 'x') + "\n";
    big += "LAST=(DESCRIPTION=(ADDRESS=(PROTOCOL=TCP)(HOST=h2))(CONNECT_DATA=(SID=B)))\n";
    dir.Write("tnsnames.ora", big);
    TTnsFile f = LoadTnsNames({{dir.Path(), "TNS_ADMIN"}});
    EXPECT_TRUE(f.truncated);
    EXPECT_NE(FindTnsAlias(f, "first"), nullptr);
    EXPECT_EQ(FindTnsAlias(f, "last"), nullptr);
    EXPECT_NE(ParseServerText("last", f).notAnAlias.find("nur das erste MiB"), std::string::npos);
}

TEST(TnsNamesPlaces, TnsAdminFirstThenTheOracleHome) {
    TTempDir admin, home;
    admin.Write("tnsnames.ora", "SALES=(DESCRIPTION=(ADDRESS=(PROTOCOL=TCP)(HOST=adminhost)(PORT=1600))"
                                "(CONNECT_DATA=(SERVICE_NAME=sales)))\n");
    home.Write("network/admin/tnsnames.ora", "SALES=(DESCRIPTION=(ADDRESS=(PROTOCOL=TCP)(HOST=homehost))"
                                             "(CONNECT_DATA=(SID=S)))\n"
                                             "HR=(DESCRIPTION=(ADDRESS=(PROTOCOL=TCP)(HOST=hrhost))"
                                             "(CONNECT_DATA=(SID=HR)))\n");
    {
        TScopedEnv a("TNS_ADMIN", admin.Path());
        TScopedEnv h("ORACLE_HOME", home.Path());
        TConnectAddress s = ResolveServerString("sales");
        EXPECT_EQ(s.host, "adminhost");
        EXPECT_EQ(s.port, 1600);
        EXPECT_EQ(s.serviceName, "sales");
        // Only the first file that exists is read.
        TConnectAddress hr = ResolveServerString("HR");
        EXPECT_EQ(hr.host, "HR");
        EXPECT_EQ(hr.notAnAlias, "kein Eintrag in " + admin.Path() + "/tnsnames.ora");
    }
    {
        TScopedEnv a("TNS_ADMIN", home.Path() + "/nowhere");
        TScopedEnv h("ORACLE_HOME", home.Path() + "/");
        EXPECT_EQ(ResolveServerString("hr").host, "hrhost");
        TTnsFile f = LoadTnsNames(TnsAdminFolders());
        ASSERT_EQ(f.searched.size(), 2u);
        EXPECT_EQ(f.searched[0].origin, "TNS_ADMIN");
        EXPECT_EQ(f.path, home.Path() + "/network/admin/tnsnames.ora");
        // The other forms read no file.
        EXPECT_EQ(ResolveServerString("hr:1521:X").host, "hr");
    }
    {
        TScopedEnv a("TNS_ADMIN", admin.Path() + "/missing");
        TScopedEnv h("ORACLE_HOME", std::nullopt);
        TConnectAddress n = ResolveServerString("sales");
        EXPECT_EQ(n.notAnAlias,
                  "keine tnsnames.ora in " + admin.Path() + "/missing/tnsnames.ora (TNS_ADMIN)");
        EXPECT_EQ(UnknownNameMessage("sales", n),
                  "Unbekannter Alias \x84sales\x93 (keine tnsnames.ora in " + admin.Path() +
                      "/missing/tnsnames.ora (TNS_ADMIN)), und als Host ist \x84sales\x93 nicht auffindbar");
    }
    {
        TScopedEnv a("TNS_ADMIN", std::nullopt);
        TScopedEnv h("ORACLE_HOME", std::nullopt);
        EXPECT_EQ(ResolveServerString("sales").notAnAlias, "weder TNS_ADMIN noch ORACLE_HOME ist gesetzt");
        // A client library's home adds its own folder.
        std::vector<TTnsFolder> f = TnsAdminFolders({home.Path()});
        ASSERT_EQ(f.size(), 1u);
        EXPECT_EQ(f[0].path, home.Path() + "/network/admin");
    }
}

// ---- The connect packet ----

namespace {

// A socket whose host cannot be found.
class TNoSuchHostSocket : public TScriptSocket {
public:
    void Open(const std::string& host, int) override {
        throw ESocketError(11001, "host " + host + " not found: Name or service not known");
    }
};

} // namespace

TEST(ConnectPacketForms, AServiceIsNamedInTheConnectDataAndASidPacketIsAsEver) {
    auto sidSock = std::make_unique<TScriptSocket>();
    TScriptSocket* sidS = sidSock.get();
    sidS->input = Packet(2, Bytes(24, 0));
    TNetTransport bySid(std::move(sidSock));
    bySid.Connect(ResolveServerString("10.0.0.5:1521:ORCL"));
    TNetTransport classic;
    classic.host = "10.0.0.5";
    classic.sid = "ORCL";
    int len = classic.BuildConnectPacket();
    EXPECT_EQ(sidS->sent, Bytes(classic.Buffer(), classic.Buffer() + len));

    auto sock = std::make_unique<TScriptSocket>();
    TScriptSocket* s = sock.get();
    s->input = Packet(2, Bytes(24, 0));
    TNetTransport t(std::move(sock));
    t.Connect(ResolveServerString("10.0.0.5/ORCLPDB1"));
    const std::string d = "(DESCRIPTION=(ADDRESS=(PROTOCOL=tcp)(HOST=10.0.0.5)(PORT=1521))(CONNECT_DATA=("
                          "SERVICE_NAME=ORCLPDB1)))";
    ASSERT_EQ(d.size(), 102u);
    ASSERT_EQ(s->opened, (std::vector<std::string>{"10.0.0.5:1521"}));
    ASSERT_EQ(s->sent.size(), 34u + 102u);
    EXPECT_EQ(Bytes(s->sent.begin(), s->sent.begin() + 34),
              Hex("00 88 00 00 01 00 00 00 01 33 01 2C 00 00 08 00 7F FF 7F 08 00 00 01 00 00 66 00 22"
                  "00 00 04 00 04 00"));
    EXPECT_EQ(std::string(s->sent.begin() + 34, s->sent.end()), d);
}

TEST(ConnectPacketForms, RefusalsByServiceAndByNameSayWhatWasNotFound) {
    auto refuse = [](const std::string& err) {
        std::string text =
            "(DESCRIPTION=(TMP=)(VSNNUM=0)(ERR=" + err + ")(ERROR_STACK=(ERROR=(CODE=" + err + "))))";
        return Packet(4, Bytes{1, 0, uint8_t(text.size() >> 8), uint8_t(text.size())} + FromText(text));
    };
    struct {
        const char* server;
        Bytes answer;
        std::string message;
    } cases[] = {
        {"db/nosuch", refuse("12514"), "ORA-12514: Der Listener kennt den Dienst \x84nosuch\x93 nicht"},
        {"db/other", refuse("12520"),
         "ORA-12520: Der Listener lehnt die Verbindung zum Dienst \x84other\x93 ab"},
        {"db/bare", Packet(4, Bytes{}),
         "Der Listener lehnt die Verbindung zum Dienst \x84"
         "bare\x93 ab"},
        {"db:1521:X", refuse("12505"), "NET: Invalid SID"},
    };
    for (auto& c : cases) {
        auto sock = std::make_unique<TScriptSocket>();
        sock->input = c.answer;
        TNetTransport t(std::move(sock));
        std::string m;
        try {
            t.Connect(ResolveServerString(c.server));
        } catch (const std::exception& e) {
            TNetErrorHandle err(nullptr);
            MapNetError(e, &err);
            m = err.message;
        }
        if (std::string(c.message).rfind("NET: ", 0) != 0) c.message = "NET: " + c.message;
        EXPECT_EQ(m, c.message) << c.server;
    }

    TScopedEnv a("TNS_ADMIN", std::nullopt);
    TScopedEnv h("ORACLE_HOME", std::nullopt);
    TNetTransport t(std::make_unique<TNoSuchHostSocket>());
    EXPECT_EQ(
        FailureOf([&] { t.Connect(ResolveServerString("nosuchalias")); }),
        "Unbekannter Alias \x84nosuchalias\x93 (weder TNS_ADMIN noch ORACLE_HOME ist gesetzt), und als Host "
        "ist \x84nosuchalias\x93 nicht auffindbar");
    // A host given as such keeps the socket's own failure.
    EXPECT_NE(FailureOf([&] { t.Connect(ResolveServerString("nosuchhost:1521:X")); }).find("(11001)"),
              std::string::npos);
}
