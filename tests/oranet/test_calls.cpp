// Negotiation, status messages, logon messages, statement analysis and calls, and the entry points.
#include "ScriptSocket.h"
#include "ocicall/OraCall.h"
#include "oranet/NetCalls.h"
#include "oranet/NetErrors.h"
#include "oranet/NetHandles.h"
#include "oranet/OraCrypt.h"

#include <cstring>
#include <gtest/gtest.h>

using namespace oranet;
using namespace oracall;
using namespace vtest;

namespace {

struct ConnRig {
    TScriptSocket* sock;
    std::unique_ptr<TNetConnection> conn;
    TNetErrorHandle err{nullptr};
    ConnRig() {
        auto s = std::make_unique<TScriptSocket>();
        sock = s.get();
        sock->connected = true;
        conn = std::make_unique<TNetConnection>(nullptr, std::move(s));
        conn->clientInfo = [] { return TClientInfo{"host1", "alice", "12:34", "vestra"}; };
    }
    void Negotiated(int protocol) {
        conn->protocolVersion = uint8_t(protocol);
        conn->serverVersion = protocol == 4 ? 7230 : protocol == 5 ? 8030 : 8100;
        conn->maxInlineString = conn->serverVersion >= 8000 ? 4000 : 2000;
        conn->transport->SetNegotiatedRepresentation();
    }
    Bytes Sent() {
        if (conn->transport->WritePos() > TNetTransport::DataStart) conn->transport->Flush(0);
        Bytes p = Payload(sock->sent);
        sock->sent.clear();
        return p;
    }
};

// A status message in the variable-length representation: rows, code, position, command type, text.
Bytes Status(int rows, int code, int cmd = 0, const std::string& text = "") {
    auto ub = [](uint32_t v) {
        Bytes b;
        int n = v > 0xFFFFFF ? 4 : v > 0xFFFF ? 3 : v > 0xFF ? 2 : v > 0 ? 1 : 0;
        b.push_back(uint8_t(n));
        for (int i = n - 1; i >= 0; --i)
            b.push_back(uint8_t(v >> (8 * i)));
        return b;
    };
    Bytes m = {4};
    m = m + ub(uint32_t(rows)) + ub(uint32_t(code)) + Hex("00 00 00") + ub(0) + Bytes{uint8_t(cmd)} +
        Hex("00 00 00 00 00");
    m = m + Hex("00 00 00 00 00") + Hex("00 00 00 00 00");
    if (code != 0) m = m + Bytes{uint8_t(text.size())} + FromText(text);
    return m;
}

} // namespace

TEST(Negotiation, ProtocolRequestAndRepliesForVersions4To6) {
    ConnRig r;
    r.conn->SendProtocol();
    EXPECT_EQ(r.Sent(), Hex("01 06 05 04 03 02 01 00") + FromText(std::string("NET_TTC-8.1.0") + '\0'));
    struct {
        int v;
        Bytes tail;
        uint16_t version;
    } cases[] = {
        {4, Hex("1F 00 00 01 00 AA BB CC DD EE"), 7230},
        {5, Hex("1F 00 00 00 00 00 03 01 02 03"), 8030},
        {6, Hex("1F 00 00 00 00 00 02 01 02 02 AA BB 01 CC"), 8100},
    };
    for (auto& c : cases) {
        ConnRig x;
        x.sock->input =
            Data(Bytes{1, uint8_t(c.v), 0} + FromText("Oracle banner") + Bytes{0} + c.tail + Hex("77"));
        x.conn->ReadProtocol();
        EXPECT_EQ(x.conn->serverVersion, c.version);
        EXPECT_EQ(x.conn->serverCharset, 31);
        EXPECT_EQ(x.conn->transport->ReadUB1(), 0x77) << "reply not consumed exactly for version " << c.v;
    }
    ConnRig bad;
    bad.sock->input = Data(Hex("01 07 00 00"));
    try {
        bad.conn->ReadProtocol();
        FAIL();
    } catch (const EDBError& e) {
        EXPECT_EQ(e.Code(), 444);
    }
    ConnRig wrong;
    wrong.sock->input = Data(Hex("02"));
    EXPECT_THROW(wrong.conn->ReadProtocol(), EDBError);
}

TEST(Negotiation, DataTypeRequestAndReply) {
    EXPECT_EQ(DataTypeTable().size(), 685u);
    EXPECT_EQ(uint8_t(DataTypeTable()[4]), 0x02);
    EXPECT_EQ(uint8_t(DataTypeTable()[636]), 0x74);
    EXPECT_EQ(uint8_t(DataTypeTable()[684]), 0x00);
    for (int v : {4, 5, 6}) {
        ConnRig r;
        r.conn->protocolVersion = uint8_t(v);
        r.conn->clientCharset = 31;
        r.conn->SendDataTypes();
        Bytes sent = r.Sent();
        Bytes head = Hex("02 1F 00 1F 00 02");
        if (v >= 6) head = head + Hex("15") + Bytes(17, 0) + Hex("03 00 00 00 01 02");
        ASSERT_EQ(sent.size(), head.size() + 685) << v;
        EXPECT_EQ(Bytes(sent.begin(), sent.begin() + long(head.size())), head);
    }
    ConnRig r;
    r.sock->input = Data(Hex("02 05 00 07 00 00 99"));
    r.conn->ReadDataTypes();
    EXPECT_EQ(r.conn->transport->representation[1], 1);
    EXPECT_EQ(r.conn->transport->ReadUB1(), 0x99);
    ConnRig s;
    s.sock->input = Data(Hex("02 00 01 00 00 98"));
    s.conn->ReadDataTypes();
    EXPECT_EQ(s.conn->transport->ReadUB1(), 0x98);
}

TEST(StatusMessages, FieldsErrorTextAndRowid) {
    ConnRig r;
    r.Negotiated(6);
    TNetCursor cur(nullptr);
    Bytes st = Hex("04 01 03 02 05 7B 00 00 00 01 0C 03 00 00 00 00 00" // rows 3, 1403, pos 12, cmd 3
                   "04 00 01 02 03 02 04 05 06 04 07 08 09 0A 02 0B 0C" // rowid parts
                   "00 00 00 00 00"                                     // unused
                   "0D 4F 52 41 2D 30 31 34 30 33 3A 20 6E 6F");        // message text
    r.sock->input = Data(Bytes(st.begin() + 1, st.end()));
    EXPECT_EQ(r.conn->ReadStatus(&r.err, &cur), -1);
    EXPECT_EQ(r.err.code, 1403);
    EXPECT_EQ(r.err.message, "ORA-01403: no");
    EXPECT_EQ(cur.rowCount, 3);
    EXPECT_EQ(cur.parseErrorOffset, 12);
    EXPECT_EQ(cur.serverCommandType, 3);
    EXPECT_EQ(Bytes(cur.rowidImage, cur.rowidImage + 13), Hex("06 00 01 02 03 04 05 07 08 09 0A 0B 0C"));
    // Success empties the text.
    Bytes ok = Status(0, 0);
    r.sock->input = Data(Bytes(ok.begin() + 1, ok.end()));
    r.sock->at = 0;
    EXPECT_EQ(r.conn->ReadStatus(&r.err, nullptr), 0);
    EXPECT_EQ(r.err.code, 0);
    EXPECT_EQ(r.err.message, "");
}

TEST(StatusMessages, WarningAndSimpleReply) {
    ConnRig r;
    r.Negotiated(6);
    r.sock->input = Data(Hex("00 01 05 00"
                             "01 01 01 02 00 03 41 42 43"
                             "09"
                             "0E"));
    EXPECT_EQ(r.conn->ReadWarning(), 0);
    EXPECT_EQ(r.conn->ReadWarning(), 0);
    EXPECT_EQ(r.conn->ReadSimpleReply(&r.err), 0);
    EXPECT_THROW(r.conn->ReadSimpleReply(&r.err), EDBError);
}

TEST(Logon, PhaseMessagesAndReplies) {
    ConnRig r;
    r.Negotiated(6);
    TNetSession sess(nullptr);
    sess.userName = "scott";
    sess.password = " tiger ";
    r.conn->session = &sess;
    r.conn->SendLogon(1);
    Bytes p1 = r.Sent();
    Bytes expect1 = Hex("03 52 00 01 01 05 00 00 00 00 00 00" // header, user present/len 5, no password
                        "01 01 05 01 01 05 01 01 05 02 10 00" // host, host, user, 4096
                        "01 01 05 01 01 06 00 00 00 00 01 01 10 01") + // process, program, ..., 1, 16, 1
                    FromText("\x05scott\x05host1\x05host1\x05"
                             "alice\x05"
                             "12:34\x06vestra");
    EXPECT_EQ(p1, expect1);
    // Phase 1 reply: the session key, then success.
    r.sock->input = Data(Hex("08 00 10") + FromText("13EF157FB1E9C12D") + Status(0, 0));
    EXPECT_EQ(r.conn->ReadLogonReply(1, &r.err), 0);
    EXPECT_EQ(r.conn->sessionKey, "13EF157FB1E9C12D");
    r.conn->SendLogon(2);
    Bytes p2 = r.Sent();
    TDesBlock key = OraCrypt::DecryptSessionKey(OraCrypt::PasswordHash("scott", "tiger"), "13EF157FB1E9C12D");
    std::string enc = OraCrypt::EncryptPassword(key, "tiger");
    ASSERT_EQ(enc.size(), 17u);
    EXPECT_EQ(p2[1], 0x51);
    EXPECT_EQ(Bytes(p2.begin() + 3, p2.begin() + 8), Hex("01 01 05 01 01"));
    EXPECT_EQ(p2[8], 17);
    std::string tail(p2.begin() + 39, p2.end());
    EXPECT_EQ(tail.substr(0, 6), "\x05scott");
    EXPECT_EQ(tail.substr(6, 18), "\x11" + enc);
}

TEST(Logon, ReplyViolationsAndSessionKeyChecks) {
    struct {
        int phase;
        Bytes reply;
        int code;
    } cases[] = {
        {1, Hex("08 00 02 41 42 08 00 02 41 42"), 1}, // two return parameters
        {2, Hex("08 00 02 41 42"), 1},                // return parameters in phase 2
        {1, Hex("08 00 00"), 210},                    // empty session key
        {1, Hex("05"), 1},                            // unknown message type
    };
    for (auto& c : cases) {
        ConnRig r;
        r.Negotiated(6);
        r.sock->input = Data(c.reply);
        try {
            r.conn->ReadLogonReply(c.phase, &r.err);
            FAIL();
        } catch (const EDBError& e) {
            EXPECT_EQ(e.Code(), c.code);
        }
    }
    ConnRig w;
    w.Negotiated(6);
    w.sock->input = Data(Status(0, 1017, 0, "ORA-01017: invalid username/password; logon denied"));
    EXPECT_EQ(w.conn->ReadLogonReply(2, &w.err), -1);
    EXPECT_EQ(w.err.code, 1017);
    EXPECT_NE(w.err.message.find("ORA-01017"), std::string::npos);
    ConnRig k;
    TNetSession sess(nullptr);
    sess.userName = "a";
    k.conn->session = &sess;
    k.conn->sessionKey = std::string(17, 'A');
    try {
        k.conn->SendLogon(2);
        FAIL();
    } catch (const EDBError& e) {
        EXPECT_EQ(e.Code(), 106);
    }
    k.conn->sessionKey = "ABC"; // too short: refused instead of reading past its bytes
    EXPECT_THROW(k.conn->SendLogon(2), std::runtime_error);
    k.conn->sessionKey.clear();
    EXPECT_THROW(k.conn->SendLogon(2), EDBError);
}

TEST(Prepare, StatementTypesAndPlaceholders) {
    struct {
        const char* text;
        int type;
        std::vector<std::string> binds;
        const char* sent = nullptr;
    } cases[] = {
        {"SELECT * FROM t, ( SELECT 1 FROM dual)", 1, {}},
        {"(SELECT 1 FROM dual)", 1, {}},
        {"  ((select a from t where a = :a))  \n", 1, {"a"}},
        {"WITH x AS (SELECT 1 FROM dual) SELECT * FROM x", 0, {}},
        {"UPDATE t SET a = :a RETURNING b INTO :b",
         8,
         {"a", "b"},
         "begin UPDATE t SET a = :a RETURNING b INTO :b; end;"},
        {"INSERT INTO t VALUES (:x, :x)", 4, {"x", "x"}},
        {"BEGIN p(:x, :X); END;", 8, {"x"}},
        {"declare v number; begin :v := 1; end;", 9, {"v"}},
        {"DELETE FROM t WHERE a = :1 AND b = :from", 3, {"1", "from"}},
        {"CREATE TRIGGER trg BEFORE INSERT ON t FOR EACH ROW BEGIN :NEW.c := 1; END;", 0, {}},
        {"select ':no' from t -- :no\n where a = /* :no */ :yes", 1, {"yes"}},
        {"begin :a := :b; end;", 8, {"a", "b"}},
    };
    for (auto& c : cases) {
        TNetCursor cur(nullptr);
        TNetErrorHandle err(nullptr);
        ASSERT_EQ(cur.Prepare(c.text, &err), 0) << c.text << ": " << err.message;
        EXPECT_EQ(cur.statementType, c.type) << c.text;
        std::vector<std::string> names;
        for (auto& b : cur.binds)
            names.push_back(b->name);
        EXPECT_EQ(names, c.binds) << c.text;
        if (c.sent) {
            EXPECT_EQ(cur.statementText, c.sent);
        }
    }
}

TEST(StatementCalls, ParseAndExecuteMessages) {
    ConnRig r;
    r.Negotiated(6);
    TNetCursor cur(nullptr);
    ASSERT_EQ(cur.Prepare("select 1 from dual", &r.err), 0);
    cur.cursorId = 3;
    // Parse answered by a status; execute answered by a status with command type 3; describe answered with
    // one column and the end.
    r.sock->input = Data(Status(0, 0, 3)) + Data(Status(0, 0, 3)) +
                    Data(Hex("08 01 01 02 00 00 00 01 16 00 00 00 00 00 00 01 00 01 01 01 41 00 00 09"));
    EXPECT_EQ(cur.Execute(r.conn.get(), 0, 0, &r.err), 0) << r.err.message;
    auto packets = SplitPackets(r.sock->sent);
    ASSERT_EQ(packets.size(), 3u);
    Bytes parse(packets[0].begin() + 10, packets[0].end());
    Bytes head = Hex("03 47 00 02 80 01 01 03 01 01 12 00 00 01 01 07 01 01 02 00 00 00 00 00");
    EXPECT_EQ(Bytes(parse.begin(), parse.begin() + long(head.size())), head);
    EXPECT_EQ(std::string(parse.begin() + long(head.size()) + 1, parse.end() - 8), "select 1 from dual");
    // [0] = 1 and [1] = 0 in the parse call; [1] = iterations (1 for 0) in the execute call.
    EXPECT_EQ(Bytes(parse.end() - 8, parse.end()), Hex("01 01 00 00 00 00 00 00"));
    Bytes exec(packets[1].begin() + 10, packets[1].end());
    EXPECT_EQ(Bytes(exec.begin(), exec.begin() + 6), Hex("03 47 00 02 80 20"));
    EXPECT_EQ(Bytes(exec.end() - 9, exec.end()), Hex("01 01 01 01 00 00 00 00 00"));
    Bytes describe(packets[2].begin() + 10, packets[2].end());
    EXPECT_EQ(describe, Hex("03 62 00 07 01 03 00 00 01 02 01 01"));
    ASSERT_EQ(cur.columns.size(), 1u);
    EXPECT_EQ(cur.columns[0]->name, "A");
    EXPECT_EQ(cur.columns[0]->dataType, 2);
}

TEST(StatementCalls, FetchEndsWithNoDataAfterTheLastRows) {
    ConnRig r;
    r.Negotiated(6);
    TNetCursor cur(nullptr);
    cur.Prepare("select a from t", &r.err);
    cur.connection = r.conn.get();
    cur.transport = r.conn->transport.get();
    cur.cursorId = 1;
    int32_t v[10] = {};
    sb2 ind[10];
    TNetDefine d(nullptr);
    cur.defines.push_back(std::make_unique<TNetDefine>(&cur));
    TNetDefine& def = *cur.defines[0];
    def.dataType = SQLT_INT;
    def.value = v;
    def.valueSize = 4;
    def.valueSkip = 4;
    def.indicator = ind;
    r.sock->input = Data(Hex("06 01 00 00 00 00"
                             "07 02 C1 02 00"
                             "07 02 C1 03 00"
                             "07 02 C1 04 00") +
                         Status(10, 1403, 3, "ORA-01403: no data found"));
    EXPECT_EQ(cur.Fetch(10, &r.err), 100);
    EXPECT_EQ(v[0], 1);
    EXPECT_EQ(v[2], 3);
    EXPECT_EQ(cur.rowCount, 10);
    // Row data before any row header is a protocol violation.
    r.sock->input = Data(Hex("07 02 C1 02 00"));
    r.sock->at = 0;
    EXPECT_EQ(cur.Fetch(10, &r.err), -1);
    EXPECT_EQ(r.err.message, "NET: Unknown error 1");
}

TEST(StatementCalls, Describe43BatchesAndNameBlockChecks) {
    ConnRig r;
    r.Negotiated(4);
    TNetCursor cur(nullptr);
    cur.connection = r.conn.get();
    cur.transport = r.conn->transport.get();
    cur.cursorId = 2;
    auto col = [](const char* name) {
        return Hex("01 00 00 00 01 0A 00 00") + Bytes{1, uint8_t(std::strlen(name))};
    };
    // Two batches of one column each (total 2), each answered with 9.
    r.sock->input = Data(Hex("08 01 02 01 01") + col("AB") + Hex("01 03 03 41 42 00 09")) +
                    Data(Hex("08 01 02 01 01") + col("C") + Hex("01 02 02 43 00 09"));
    EXPECT_EQ(cur.Describe43(&r.err), 0);
    ASSERT_EQ(cur.columns.size(), 2u);
    EXPECT_EQ(cur.columns[0]->name, "AB");
    EXPECT_EQ(cur.columns[1]->name, "C");
    auto packets = SplitPackets(r.sock->sent);
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(Bytes(packets[1].begin() + 10, packets[1].end()),
              Hex("03 2B 00 01 02 01 02 01 01 01 20 01 01 02 03 C0 01"));
    struct {
        Bytes reply;
        int code;
    } bad[] = {
        {Hex("08 01 01 01 01") + col("A") + Hex("02 03 C1 01 41"), 107},
        {Hex("08 01 01 01 01") + col("A") + Hex("00 00"), 112},
        {Hex("08 01 01 01 01") + col("A") + Hex("01 02 00"), 210},
    };
    for (auto& b : bad) {
        ConnRig x;
        x.Negotiated(4);
        TNetCursor c(nullptr);
        c.connection = x.conn.get();
        c.transport = x.conn->transport.get();
        x.sock->input = Data(b.reply);
        try {
            c.Describe43(&x.err);
            FAIL();
        } catch (const EDBError& e) {
            EXPECT_EQ(e.Code(), b.code);
        }
    }
}

TEST(StatementCalls, CloseKeepsTheCursorOnError) {
    ConnRig r;
    r.Negotiated(6);
    TNetCursor cur(nullptr);
    cur.connection = r.conn.get();
    cur.transport = r.conn->transport.get();
    cur.cursorId = 4;
    r.sock->input = Data(Status(0, 1001, 0, "ORA-01001: invalid cursor"));
    EXPECT_EQ(cur.Close(&r.err), -1);
    EXPECT_EQ(cur.cursorId, 4);
    r.sock->input = Data(Hex("09"));
    r.sock->at = 0;
    EXPECT_EQ(cur.Close(&r.err), 0);
    EXPECT_EQ(cur.cursorId, 0);
}

TEST(StatementCalls, ConnectionLostDuringACall) {
    ConnRig r;
    r.Negotiated(6);
    r.sock->input = Data(Hex("04 01")); // the reply stops halfway
    EXPECT_EQ(r.conn->Commit(&r.err), -1);
    EXPECT_EQ(r.err.code, -12571);
    EXPECT_EQ(r.err.message, "ORA-12571");
}

class EntryPoints : public ::testing::Test {
protected:
    void SetUp() override { InstallNetCalls(); }
    void TearDown() override {
        RemoveNetCalls();
        ResetOCICalls();
    }
};

TEST(OraCallTable, SlotsRaiseNotLinkedUntilInstalled) {
    ResetOCICalls();
    try {
        OCIStmtFetch(nullptr, nullptr, 1, 2, 0);
        FAIL();
    } catch (const EOCICallError& e) {
        EXPECT_STREQ(e.what(), "OCI function is not linked");
    }
    EXPECT_THROW(olog(nullptr, nullptr, nullptr, 0, nullptr, 0, nullptr, 0, 0), EOCICallError);
}

TEST_F(EntryPoints, InstallationSetsTheLoaderState) {
    EXPECT_TRUE(OCIInited);
    EXPECT_EQ(OCIFunctionGroups, 4);
    EXPECT_EQ(OCIClientVersionCode, 3);
    EXPECT_EQ(OCIDefaultCallStyle, 2);
    EXPECT_NE(hOCIError, nullptr);
    EXPECT_THROW(OCIStmtFetch2(nullptr, nullptr, 1, 2, 0, 0), EOCICallError);
    try {
        OCILobCreateTemporary(nullptr, nullptr, nullptr, 0, 0, 0, 0, 0);
    } catch (const EOCICallError& e) {
        EXPECT_STREQ(e.what(), "Function is not supported");
    }
    EXPECT_THROW(odescr(nullptr, 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
                 EOCICallError); // version-7 routines are not emulated
    RemoveNetCalls();
    EXPECT_FALSE(OCIInited);
    EXPECT_EQ(OCIDefaultCallStyle, 0);
}

TEST_F(EntryPoints, HandlesAttributesAndErrors) {
    dvoid* stmt = nullptr;
    ASSERT_EQ(OCIHandleAlloc(hOCIEnv, &stmt, OCI_HTYPE_STMT, 0, nullptr), 0);
    dvoid* bogus = nullptr;
    EXPECT_EQ(OCIHandleAlloc(hOCIEnv, &bogus, 77, 0, nullptr), -2);
    OCIError* err = hOCIError;
    const char* text = "select a, b from t where a = :a";
    ASSERT_EQ(
        OCIStmtPrepare(static_cast<OCIStmt*>(stmt), err, reinterpret_cast<const OraText*>(text), 0, 1, 0), 0);
    ub2 type = 0;
    EXPECT_EQ(OCIAttrGet(stmt, OCI_HTYPE_STMT, &type, nullptr, OCI_ATTR_STMT_TYPE, err), 0);
    EXPECT_EQ(type, 1);
    uint32_t untouched = 0xABCD;
    EXPECT_EQ(OCIAttrGet(stmt, OCI_HTYPE_STMT, &untouched, nullptr, 25, err), -2);
    EXPECT_EQ(untouched, 0xABCDu);
    // Two described columns: position 3 gives no parameter.
    auto* cur = static_cast<TNetCursor*>(static_cast<TNetHandle*>(stmt));
    cur->columns.push_back(std::make_unique<TNetColumn>(cur));
    cur->columns.push_back(std::make_unique<TNetColumn>(cur));
    cur->columns[1]->name = "B";
    dvoid* param = reinterpret_cast<dvoid*>(1);
    EXPECT_EQ(OCIParamGet(stmt, OCI_HTYPE_STMT, err, &param, 3), 100);
    EXPECT_EQ(param, nullptr);
    ASSERT_EQ(OCIParamGet(stmt, OCI_HTYPE_STMT, err, &param, 2), 0);
    char* name = nullptr;
    ub4 nameLen = 0;
    EXPECT_EQ(OCIAttrGet(param, OCI_DTYPE_PARAM, &name, &nameLen, OCI_ATTR_NAME, err), 0);
    EXPECT_EQ(std::string(name, nameLen), "B");
    int32_t count = 0;
    EXPECT_EQ(OCIAttrGet(stmt, OCI_HTYPE_STMT, &count, nullptr, OCI_ATTR_PARAM_COUNT, err), 0);
    EXPECT_EQ(count, 2);
    // Binding by name.
    int32_t v = 1;
    OCIBind* bind = nullptr;
    EXPECT_EQ(OCIBindByName(static_cast<OCIStmt*>(stmt), &bind, err, reinterpret_cast<const OraText*>(":a"),
                            2, &v, 4, SQLT_INT, nullptr, nullptr, nullptr, 0, nullptr, 0),
              -1);
    sb4 code = 0;
    char msg[64];
    OCIErrorGet(err, 1, nullptr, &code, reinterpret_cast<OraText*>(msg), sizeof msg, OCI_HTYPE_ERROR);
    EXPECT_EQ(code, 1036);
    EXPECT_EQ(OCIBindByName(static_cast<OCIStmt*>(stmt), &bind, err, reinterpret_cast<const OraText*>("A"), 1,
                            &v, 4, SQLT_INT, nullptr, nullptr, nullptr, 0, nullptr, 0),
              0);
    EXPECT_EQ(cur->binds[0]->value, &v);
    EXPECT_EQ(OCIBindByPos(static_cast<OCIStmt*>(stmt), &bind, err, 2, &v, 4, SQLT_INT, nullptr, nullptr,
                           nullptr, 0, nullptr, 0),
              -1);
    // Error handle reads.
    auto* e = static_cast<TNetErrorHandle*>(static_cast<TNetHandle*>(static_cast<void*>(err)));
    e->code = 0;
    EXPECT_EQ(
        OCIErrorGet(err, 1, nullptr, &code, reinterpret_cast<OraText*>(msg), sizeof msg, OCI_HTYPE_ERROR),
        100);
    e->code = -1;
    e->message = "NET: a rather long message";
    EXPECT_EQ(OCIErrorGet(err, 1, nullptr, &code, reinterpret_cast<OraText*>(msg), 8, OCI_HTYPE_ERROR), 0);
    EXPECT_STREQ(msg, "NET: a ");
    EXPECT_EQ(OCIErrorGet(stmt, 1, nullptr, &code, reinterpret_cast<OraText*>(msg), 8, OCI_HTYPE_STMT), -2);
    // Defines grow the list to the position.
    OCIDefine* def = nullptr;
    EXPECT_EQ(OCIDefineByPos(static_cast<OCIStmt*>(stmt), &def, err, 3, &v, 4, SQLT_INT, nullptr, nullptr,
                             nullptr, 0),
              0);
    EXPECT_EQ(cur->defines.size(), 3u);
    EXPECT_EQ(cur->defines[0]->dataType, 0);
    EXPECT_EQ(OCIHandleFree(stmt, OCI_HTYPE_STMT), 0);
}

// The statement's ROWID attribute fills a rowid descriptor; its text comes through the rowid-to-text entry
// point, with the length check of the caller's buffer.
TEST_F(EntryPoints, RowidDescriptorToText) {
    dvoid* stmt = nullptr;
    ASSERT_EQ(OCIHandleAlloc(hOCIEnv, &stmt, OCI_HTYPE_STMT, 0, nullptr), 0);
    auto* cur = static_cast<TNetCursor*>(static_cast<TNetHandle*>(stmt));
    const uint8_t image[13] = {1, 0, 0, 0x45, 0x67, 0, 4, 0, 0, 0, 0x8F, 0, 0};
    std::memcpy(cur->rowidImage, image, 13);
    dvoid* rowid = nullptr;
    ASSERT_EQ(OCIDescriptorAlloc(hOCIEnv, &rowid, OCI_DTYPE_ROWID, 0, nullptr), 0);
    OCIError* err = hOCIError;
    ASSERT_EQ(OCIAttrGet(stmt, OCI_HTYPE_STMT, rowid, nullptr, OCI_ATTR_ROWID, err), 0);
    OraText buf[64];
    ub2 len = sizeof buf;
    ASSERT_EQ(OCIRowidToChar(static_cast<OCIRowid*>(rowid), buf, &len, err), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), len), "AAAEVnAAEAAAACPAAA");
    // Too small a buffer: nothing is written, the length needed comes back with ORA-01406.
    std::memset(buf, '#', sizeof buf);
    len = 10;
    EXPECT_EQ(OCIRowidToChar(static_cast<OCIRowid*>(rowid), buf, &len, err), -1);
    EXPECT_EQ(len, 18);
    EXPECT_EQ(buf[0], '#');
    sb4 code = 0;
    OCIErrorGet(err, 1, nullptr, &code, nullptr, 0, OCI_HTYPE_ERROR);
    EXPECT_EQ(code, 1406);
    // No row touched: an image of zeros has an empty text.
    std::memset(cur->rowidImage, 0, 13);
    ASSERT_EQ(OCIAttrGet(stmt, OCI_HTYPE_STMT, rowid, nullptr, OCI_ATTR_ROWID, err), 0);
    len = sizeof buf;
    EXPECT_EQ(OCIRowidToChar(static_cast<OCIRowid*>(rowid), buf, &len, err), 0);
    EXPECT_EQ(len, 0);
    // A handle that is no rowid descriptor is refused.
    EXPECT_EQ(OCIRowidToChar(static_cast<OCIRowid*>(stmt), buf, &len, err), -2);
    EXPECT_EQ(OCIDescriptorFree(rowid, OCI_DTYPE_ROWID), 0);
    EXPECT_EQ(OCIHandleFree(stmt, OCI_HTYPE_STMT), 0);
}

TEST_F(EntryPoints, ServerVersionLobFormAndSessionAttributes) {
    dvoid* svc = nullptr;
    ASSERT_EQ(OCIHandleAlloc(hOCIEnv, &svc, OCI_HTYPE_SVCCTX, 0, nullptr), 0);
    auto* c = static_cast<TNetConnection*>(static_cast<TNetHandle*>(svc));
    char buf[16] = "xxxxxxxxxxxxxxx";
    c->serverVersion = 7230;
    OCIServerVersion(svc, hOCIError, reinterpret_cast<OraText*>(buf), sizeof buf, OCI_HTYPE_SVCCTX);
    EXPECT_STREQ(buf, "Oracle7");
    c->serverVersion = 8030;
    OCIServerVersion(svc, hOCIError, reinterpret_cast<OraText*>(buf), 5, OCI_HTYPE_SVCCTX);
    EXPECT_STREQ(buf, "Orac");
    c->serverVersion = 8100;
    OCIServerVersion(svc, hOCIError, reinterpret_cast<OraText*>(buf), sizeof buf, OCI_HTYPE_SVCCTX);
    EXPECT_STREQ(buf, "Oracle8");
    dvoid* env = reinterpret_cast<dvoid*>(1);
    EXPECT_EQ(OCIAttrGet(svc, OCI_HTYPE_SVCCTX, &env, nullptr, OCI_ATTR_ENV, hOCIError), 0);
    EXPECT_EQ(env, nullptr);
    dvoid* sess = nullptr;
    ASSERT_EQ(OCIHandleAlloc(hOCIEnv, &sess, OCI_HTYPE_SESSION, 0, nullptr), 0);
    char user[] = "scott";
    EXPECT_EQ(OCIAttrSet(sess, OCI_HTYPE_SESSION, user, 99, OCI_ATTR_USERNAME, hOCIError), 0);
    EXPECT_EQ(static_cast<TNetSession*>(static_cast<TNetHandle*>(sess))->userName, "scott");
    // An unknown server string port fails at session begin with the mapped text.
    dvoid* srv = nullptr;
    ASSERT_EQ(OCIHandleAlloc(hOCIEnv, &srv, OCI_HTYPE_SERVER, 0, nullptr), 0);
    OCIServerAttach(static_cast<OCIServer*>(srv), hOCIError,
                    reinterpret_cast<const OraText*>("dbhost:abc:PROD"), 0, 0);
    OCIAttrSet(svc, OCI_HTYPE_SVCCTX, srv, 0, OCI_ATTR_SERVER, hOCIError);
    EXPECT_EQ(OCISessionBegin(static_cast<OCISvcCtx*>(svc), hOCIError, static_cast<OCISession*>(sess), 1, 0),
              -1);
    sb4 code = 0;
    char msg[64];
    OCIErrorGet(hOCIError, 1, nullptr, &code, reinterpret_cast<OraText*>(msg), sizeof msg, OCI_HTYPE_ERROR);
    EXPECT_EQ(code, -1);
    EXPECT_STREQ(msg, "NET: Invalid port");
    // Session end without a logon.
    EXPECT_EQ(OCISessionEnd(static_cast<OCISvcCtx*>(svc), hOCIError, nullptr, 0), -1);
    dvoid* lob = nullptr;
    ASSERT_EQ(OCIDescriptorAlloc(hOCIEnv, &lob, OCI_DTYPE_LOB, 0, nullptr), 0);
    ub1 form = 77;
    EXPECT_EQ(OCILobCharSetForm(hOCIEnv, hOCIError, static_cast<OCILobLocator*>(lob), &form), 1);
    EXPECT_EQ(form, 77);
    int init = 5;
    EXPECT_EQ(OCILobLocatorIsInit(hOCIEnv, hOCIError, static_cast<OCILobLocator*>(lob), &init), 0);
    EXPECT_EQ(init, 0);
    dvoid* bad = nullptr;
    EXPECT_EQ(OCIDescriptorAlloc(hOCIEnv, &bad, 99, 0, nullptr), -2);
    OCIDescriptorFree(lob, OCI_DTYPE_LOB);
    OCIHandleFree(sess, OCI_HTYPE_SESSION);
    OCIHandleFree(srv, OCI_HTYPE_SERVER);
    OCIHandleFree(svc, OCI_HTYPE_SVCCTX);
}
