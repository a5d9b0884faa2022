// The TNS transport: packet framing and checks, the send limit, markers, and the TTC primitives.
#include "ScriptSocket.h"
#include "oranet/NetErrors.h"
#include "oranet/NetHandles.h"
#include "oranet/NetTransport.h"

#include <cerrno>
#include <functional>
#include <gtest/gtest.h>

using namespace oranet;
using namespace vtest;

namespace {

struct Rig {
    TScriptSocket* sock;
    std::unique_ptr<TNetTransport> t;
    Rig() {
        auto s = std::make_unique<TScriptSocket>();
        sock = s.get();
        sock->connected = true;
        t = std::make_unique<TNetTransport>(std::move(s));
    }
    // Writes with f, flushes, returns the DATA payload sent.
    template <class F> Bytes Written(F f) {
        sock->sent.clear();
        f(*t);
        t->Flush(0);
        return Payload(sock->sent);
    }
};

int NetCode(const std::function<void()>& f) {
    try {
        f();
    } catch (const ENetError& e) {
        return e.Code();
    }
    return -999;
}

} // namespace

TEST(TtcPrimitives, WritesFollowTheTable) {
    Rig r;
    struct {
        std::function<void(TNetTransport&)> write;
        const char* hex;
    } cases[] = {
        {[](TNetTransport& t) { t.WriteUB2(0); }, "00"},
        {[](TNetTransport& t) { t.WriteUB2(0x1234); }, "34 12"},
        {[](TNetTransport& t) { t.WriteUB4(0); }, "00"},
        {[](TNetTransport& t) { t.WriteUB4(255); }, "01 FF"},
        {[](TNetTransport& t) { t.WriteUB4(4096); }, "02 10 00"},
        {[](TNetTransport& t) { t.WriteUB4(65536); }, "03 01 00 00"},
        {[](TNetTransport& t) { t.WriteSB4(-1); }, "04 FF FF FF FF"},
        {[](TNetTransport& t) { t.WriteBytes("", 0); }, "00"},
        {[](TNetTransport& t) { t.WriteText(""); }, ""},
        {[](TNetTransport& t) { t.WriteText("AB"); }, "02 41 42"},
        {[](TNetTransport& t) { t.WritePresent(true), t.WriteFlag(false); }, "01 00"},
        {[](TNetTransport& t) {
             uint32_t v[3] = {1, 0, 300};
             t.WriteUB4Array(v, 3);
         },
         "01 01 00 02 01 2C"},
    };
    for (auto& c : cases)
        EXPECT_EQ(r.Written(c.write), Hex(c.hex)) << c.hex;
}

TEST(TtcPrimitives, ByteStringsChunkAbove64Bytes) {
    Rig r;
    std::string s64(64, 'x'), s65(65, 'y');
    Bytes w64 = r.Written([&](TNetTransport& t) { t.WriteBytes(s64); });
    ASSERT_EQ(w64.size(), 65u);
    EXPECT_EQ(w64[0], 0x40);
    Bytes w65 = r.Written([&](TNetTransport& t) { t.WriteBytes(s65); });
    ASSERT_EQ(w65.size(), 1 + 1 + 64 + 1 + 1 + 1u);
    EXPECT_EQ(w65[0], 0xFE);
    EXPECT_EQ(w65[1], 0x40);
    EXPECT_EQ(w65[66], 0x01);
    EXPECT_EQ(w65[67], 'y');
    EXPECT_EQ(w65[68], 0x00);
}

TEST(TtcPrimitives, IntegerReadsInBothRepresentations) {
    struct {
        bool variable;
        int kind;
        const char* hex;
        int32_t expected;
    } cases[] = {
        {true, 2, "00", 0},          {true, 2, "02 01 00", 256},
        {true, 1, "81 05", -5},      {true, 2, "04 7F FF FF FF", 0x7FFFFFFF},
        {false, 1, "1F 00", 31},     {false, 2, "00 00 01 00", 256},
        {false, 1, "34 12", 0x1234},
    };
    for (auto& c : cases) {
        Rig r;
        r.sock->input = Data(Hex(c.hex));
        if (c.variable) r.t->SetNegotiatedRepresentation();
        EXPECT_EQ(r.t->ReadInt(c.kind), c.expected) << c.hex;
    }
}

TEST(TtcPrimitives, TextAndValueReads) {
    Rig r;
    r.sock->input = Data(Hex("03 41 42 43"           // message text
                             "FF"                    // message text 255: empty
                             "FE 02 41 42 01 43 00"  // chunked message text
                             "00"                    // value: empty
                             "41 42 43 00 58"        // zero-terminated text, then one more byte
                             "00 00 00 00 02 44 45") // UB4-prefixed value: count 0 (fixed, 4 bytes)
    );
    EXPECT_EQ(r.t->ReadMessageText(), "ABC");
    EXPECT_EQ(r.t->ReadMessageText(), "");
    EXPECT_EQ(r.t->ReadMessageText(), "ABC");
    std::string scratch;
    EXPECT_EQ(r.t->ReadValue(scratch), "");
    EXPECT_EQ(r.t->ReadZText(50), "ABC");
    EXPECT_EQ(r.t->ReadUB1(), 0x58);
    EXPECT_EQ(r.t->ReadUB4Value(scratch), "");
    EXPECT_EQ(r.t->ReadShortBytes(), "DE");

    Rig bad;
    bad.sock->input = Data(Hex("FD"));
    try {
        bad.t->ReadMessageText();
        FAIL() << "length byte 253 accepted";
    } catch (const EDBError& e) {
        EXPECT_EQ(e.Code(), 1);
        EXPECT_STREQ(e.what(), "Unknown error 1");
    }
}

TEST(TtcPrimitives, ValueOf255BytesAndChunkSkipping) {
    Rig r;
    Bytes v(255, 'q');
    r.sock->input = Data(Bytes{0xFF} + v + Hex("FE FE 01 5A 00"));
    std::string scratch;
    EXPECT_EQ(r.t->ReadValue(scratch).size(), 255u);
    r.t->skipChunk254 = true; // a chunk length 254 is skipped without data
    EXPECT_EQ(r.t->ReadValue(scratch), "Z");
}

TEST(TtcPrimitives, ValuesSpanPackets) {
    Rig r;
    // A value of 5 bytes whose last bytes come in the next packet, and an integer split across packets.
    r.sock->input = Data(Hex("05 41 42")) + Data(Hex("43 44 45 02 01")) + Data(Hex("00"));
    r.t->SetNegotiatedRepresentation();
    std::string scratch;
    EXPECT_EQ(r.t->ReadValue(scratch), "ABCDE");
    EXPECT_EQ(r.t->ReadUB4(), 256);
}

TEST(TnsPackets, HeaderChecks) {
    struct {
        Bytes header;
        int code;
    } cases[] = {
        {Hex("0F F7 00 00 06 00 00 00"), 203}, // 4087
        {Hex("08 01 00 00 06 00 00 00"), 203}, // 2049: above the sdu
        {Hex("00 07 00 00 06 00 00 00"), 207},
        {Hex("00 0B 00 00 14 00 00 00"), 204}, // type 20
        {Hex("00 0B 00 00 0B"), 0},            // cut short: the receive fails
    };
    for (auto& c : cases) {
        Rig r;
        r.sock->input = c.header;
        EXPECT_EQ(NetCode([&] { r.t->ReadPacket(); }), c.code);
    }
    Rig ok;
    ok.sock->input = Packet(6, Bytes(2040, 0));
    EXPECT_EQ(ok.t->ReadPacket().length, 2048);
}

TEST(TnsPackets, RequestOf5000BytesLeavesInThreePackets) {
    Rig r;
    Bytes req(5000);
    for (size_t i = 0; i < req.size(); ++i)
        req[i] = uint8_t(i * 7);
    r.t->WriteRaw(req.data(), req.size());
    // The full packets leave while writing; the rest waits for the reply.
    EXPECT_EQ(SplitPackets(r.sock->sent).size(), 2u);
    r.sock->input = Data(Hex("2A"));
    EXPECT_EQ(r.t->ReadUB1(), 0x2A);
    auto packets = SplitPackets(r.sock->sent);
    ASSERT_EQ(packets.size(), 3u);
    EXPECT_EQ(packets[0].size(), 2048u);
    EXPECT_EQ(packets[1].size(), 2048u);
    EXPECT_EQ(packets[2].size(), 934u);
    for (auto& p : packets) {
        EXPECT_EQ(p[4], 6);
        EXPECT_EQ(p[8], 0);
        EXPECT_EQ(p[9], 0);
    }
    EXPECT_EQ(Payload(r.sock->sent), req);
}

TEST(TnsPackets, BreakMarkerIsAnsweredWithReset) {
    Rig r;
    r.sock->input = Marker(1, 1) + Data(Hex("99")) /* discarded */ + Marker(1, 2) + Data(Hex("04 05"));
    EXPECT_EQ(r.t->ReadUB1(), 4);
    EXPECT_EQ(r.t->ReadUB1(), 5);
    ASSERT_EQ(r.sock->sends.size(), 1u);
    EXPECT_EQ(r.sock->sends[0], Marker(1, 2));
    EXPECT_FALSE(r.t->resetPending);
}

TEST(TnsPackets, ResetMarkerAloneIsAnsweredAndReadingGoesOn) {
    Rig r;
    r.sock->input = Marker(1, 2) + Data(Hex("07"));
    EXPECT_EQ(r.t->ReadUB1(), 7);
    ASSERT_EQ(r.sock->sends.size(), 1u);
    EXPECT_EQ(r.sock->sends[0], Marker(1, 2));
}

// The break goes out only while a call is under way: after its request has left, before its reply has
// been read to the end; at most once per call.
TEST(TnsBreak, OneMarkerWhileTheCallIsUnderWayAndNoneAfterIt) {
    const Bytes breakMarker = Hex("00 0B 00 00 0C 00 00 00 01 00 01");
    Rig r;
    r.sock->input = Data(Hex("04 05")) + Data(Hex("06"));
    TNetOperation op(r.t.get());
    r.t->WriteUB1(0x55); // a request being built
    EXPECT_EQ(r.t->ReadUB1(), 4);
    EXPECT_TRUE(r.t->CallUnderWay());
    ASSERT_EQ(r.sock->sends.size(), 1u); // the request
    EXPECT_TRUE(r.t->Break());
    EXPECT_TRUE(r.t->Break()); // the call has its break already
    ASSERT_EQ(r.sock->sends.size(), 2u);
    EXPECT_EQ(r.sock->sends[1], breakMarker);
    EXPECT_EQ(r.t->BreaksSent(), 1);
    EXPECT_EQ(r.t->ReadUB1(), 5);
    r.t->EndCall(); // the reply has been read
    EXPECT_FALSE(r.t->CallUnderWay());

    // The next call has not been sent yet: a break now is held for it and goes out after its request,
    // without touching the request being built.
    r.t->WriteUB1(0x66);
    EXPECT_TRUE(r.t->Break());
    EXPECT_EQ(r.sock->sends.size(), 2u);
    EXPECT_EQ(r.t->WritePos(), 11);
    EXPECT_EQ(r.t->ReadUB1(), 6);
    ASSERT_EQ(r.sock->sends.size(), 4u);
    EXPECT_EQ(Payload(r.sock->sends[2]), Hex("66"));
    EXPECT_EQ(r.sock->sends[3], breakMarker);
    EXPECT_EQ(r.t->BreaksSent(), 2);
}

TEST(TnsBreak, OutsideAnOperationNothingIsSentAndAHeldBreakDiesWithItsOperation) {
    Rig r;
    EXPECT_FALSE(r.t->Break()); // idle: the server waits for a request and would take it for the next call
    EXPECT_TRUE(r.sock->sends.empty());
    {
        TNetOperation op(r.t.get());
        EXPECT_TRUE(r.t->Break()); // between calls: held for the next one, which never comes
    }
    r.sock->input = Data(Hex("07"));
    {
        TNetOperation op(r.t.get());
        r.t->WriteUB1(0x55);
        EXPECT_EQ(r.t->ReadUB1(), 7);
        r.t->EndCall();
    }
    ASSERT_EQ(r.sock->sends.size(), 1u); // the request alone
    EXPECT_EQ(r.t->BreaksSent(), 0);
    EXPECT_FALSE(r.t->Break());
    EXPECT_EQ(r.sock->sends.size(), 1u);
}

TEST(TnsBreak, InnerOperationsKeepTheOuterOneAndAServerBreakEndsTheCallsBreak) {
    Rig r;
    r.sock->input = Marker(1, 1) + Marker(1, 2) + Data(Hex("04")) + Data(Hex("09"));
    TNetOperation outer(r.t.get());
    {
        TNetOperation inner(r.t.get()); // a commit inside an execute
        r.t->WriteUB1(0x55);
        // The server breaks the call itself: the client answers with a reset, and a break asked for now
        // would reach the server after the call has ended.
        EXPECT_EQ(r.t->ReadUB1(), 4);
        EXPECT_TRUE(r.t->Break());
        EXPECT_EQ(r.t->BreaksSent(), 0);
    }
    EXPECT_FALSE(r.t->CallUnderWay());
    EXPECT_TRUE(r.t->Break()); // the outer operation goes on: held for its next call
    r.t->WriteUB1(0x66);
    EXPECT_EQ(r.t->ReadUB1(), 9);
    EXPECT_EQ(r.t->BreaksSent(), 1);
}

TEST(TnsBreak, ABreakDuringACallNeedsAConnection) {
    Rig r;
    r.sock->input = Data(Hex("04"));
    TNetOperation op(r.t.get());
    EXPECT_EQ(r.t->ReadUB1(), 4);
    r.sock->connected = false;
    EXPECT_EQ(NetCode([&] { r.t->Break(); }), 200);
}

TEST(TnsPackets, UnexpectedPacketTypeAndShortDataPacket) {
    Rig r;
    r.sock->input = Packet(2, Bytes{});
    EXPECT_EQ(NetCode([&] { r.t->ReadUB1(); }), 205);
    Rig s;
    s.sock->input = Packet(6, Bytes{0});
    uint8_t b;
    EXPECT_EQ(s.t->ReadRaw(&b, 1), -1);
    Rig u;
    u.sock->input = Packet(6, Bytes{0});
    EXPECT_THROW(u.t->ReadUB1(), EDBError);
}

TEST(TnsPackets, ReceivesInSmallPieces) {
    Rig r;
    r.sock->chunk = 3;
    r.sock->input = Data(Hex("01 02 03 04 05 06 07"));
    uint8_t b[7];
    EXPECT_EQ(r.t->ReadRaw(b, 7), 7);
    EXPECT_EQ(b[6], 7);
}

TEST(TnsPackets, PacketsInOneReceiveAndAcrossReceivesWithARequestWrittenMeanwhile) {
    // Three packets: whole in one receive, or in pieces of 3 and of 17 bytes, so that packets lie whole
    // in the receive buffer, straddle its refills or arrive in many parts.
    const Bytes stream =
        Data(Hex("01 02 03 04 05 06")) + Data(Hex("07 08")) + Data(Bytes(300, 0x09) + Hex("0A"));
    for (int chunk : {0, 3, 17}) {
        Rig r;
        r.sock->chunk = chunk;
        r.sock->input = stream;
        EXPECT_EQ(r.t->ReadUB1(), 1);
        // A request built while the packet is still being read does not change what is read.
        for (int i = 0; i < 20; ++i)
            r.t->WriteUB1(0xEE);
        uint8_t b[5];
        ASSERT_EQ(r.t->ReadRaw(b, 5), 5);
        EXPECT_EQ(Bytes(b, b + 5), Hex("02 03 04 05 06")) << chunk;
        EXPECT_EQ(r.t->ReadUB2(), 0x0807) << chunk; // least significant byte first before negotiation
        // The request left when the next packet was needed.
        EXPECT_EQ(Payload(r.sock->sent), Bytes(20, 0xEE));
        std::string scratch;
        std::string_view v = r.t->ReadValue(scratch);
        EXPECT_EQ(v.size(), 9u); // length byte 9, nine bytes of 9
        r.t->Skip(290);
        EXPECT_EQ(r.t->ReadUB1(), 0x0A) << chunk;
        EXPECT_EQ(r.t->ReadPos(), r.t->ReadLen());
    }
}

TEST(TnsPackets, DisconnectSendsEndOfFile) {
    Rig r;
    r.t->Disconnect();
    ASSERT_EQ(r.sock->sends.size(), 1u);
    EXPECT_EQ(r.sock->sends[0], Hex("00 0A 00 00 06 00 00 00 00 40"));
    EXPECT_FALSE(r.sock->connected);
}

TEST(Connect, ConnectPacketFor10_0_0_5) {
    TNetTransport t;
    t.host = "10.0.0.5";
    t.port = 1521;
    t.sid = "ORCL";
    EXPECT_EQ(TNetTransport::Descriptor("10.0.0.5", 1521, "ORCL").size(), 89u);
    int len = t.BuildConnectPacket();
    ASSERT_EQ(len, 123);
    const uint8_t* b = t.Buffer();
    Bytes head(b, b + 34);
    EXPECT_EQ(head, Hex("00 7B 00 00 01 00 00 00 01 33 01 2C 00 00 08 00 7F FF 7F 08 00 00 01 00 00 59 00 22"
                        "00 00 04 00 04 00"));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(b + 34), 89),
              "(DESCRIPTION=(ADDRESS=(PROTOCOL=tcp)(HOST=10.0.0.5)(PORT=1521))(CONNECT_DATA=(SID=ORCL)))");
}

TEST(Connect, OversizedDescriptorIsRefused) {
    TNetTransport t;
    t.host = std::string(5000, 'h');
    EXPECT_THROW(t.BuildConnectPacket(), std::runtime_error);
    auto s = std::make_unique<TScriptSocket>();
    TScriptSocket* sock = s.get();
    TNetTransport t2(std::move(s));
    try {
        t2.Connect(std::string(4040, 'h'), 1521, "x");
        FAIL();
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("Connect descriptor too long"), std::string::npos);
    }
    EXPECT_TRUE(sock->opened.empty());
}

TEST(Connect, ServerStrings) {
    struct {
        const char* text;
        const char* host;
        int port;
        const char* sid;
    } cases[] = {
        {"", "local", 1521, "orcl"},
        {"dbhost", "dbhost", 1521, "orcl"},
        {"dbhost:1522", "dbhost", 1522, "orcl"},
        {"dbhost:1522:PROD", "dbhost", 1522, "PROD"},
        {"dbhost::PROD", "dbhost", 1521, "PROD"},
        {":1522:PROD", "local", 1522, "PROD"},
        {"dbhost:1522:", "dbhost", 1522, "orcl"},
    };
    for (auto& c : cases) {
        std::string host, sid;
        int port;
        ParseServerString(c.text, host, port, sid);
        EXPECT_EQ(host, c.host) << c.text;
        EXPECT_EQ(port, c.port) << c.text;
        EXPECT_EQ(sid, c.sid) << c.text;
    }
    std::string host, sid;
    int port;
    try {
        ParseServerString("dbhost:abc:PROD", host, port, sid);
        FAIL();
    } catch (const std::exception& e) {
        TNetErrorHandle err(nullptr);
        EXPECT_EQ(MapNetError(e, &err), -1);
        EXPECT_EQ(err.code, -1);
        EXPECT_EQ(err.message, "NET: Invalid port");
    }
}

namespace {

struct ConnectRig {
    TScriptSocket* sock;
    std::unique_ptr<TNetTransport> t;
    ConnectRig(const Bytes& input) {
        auto s = std::make_unique<TScriptSocket>();
        sock = s.get();
        sock->input = input;
        t = std::make_unique<TNetTransport>(std::move(s));
    }
};

Bytes Redirect(const std::string& text) {
    Bytes data = FromText(text);
    return Packet(5, Bytes{uint8_t(data.size() >> 8), uint8_t(data.size())} + data);
}

} // namespace

TEST(Connect, RedirectReconnectsToTheNamedAddress) {
    ConnectRig r({});
    r.sock->perOpen = {Redirect(std::string("(ADDRESS=(PROTOCOL=TCP)(HOST=db2)(PORT=1600))") + '\0' +
                                "(DESCRIPTION=(CONNECT_DATA=(SID=X)))"),
                       Packet(2, Bytes(24, 0))};
    r.t->Connect("db1", 1521, "ORCL");
    ASSERT_EQ(r.sock->opened.size(), 2u);
    EXPECT_EQ(r.sock->opened[0], "db1:1521");
    EXPECT_EQ(r.sock->opened[1], "db2:1600");
    EXPECT_EQ(r.t->sid, "");
    auto packets = SplitPackets(r.sock->sent);
    ASSERT_EQ(packets.size(), 2u);
    std::string second(packets[1].begin() + 34, packets[1].end());
    EXPECT_TRUE(second.size() > 22 && second.compare(second.size() - 22, 22, "(CONNECT_DATA=(SID=)))") == 0)
        << second;
}

TEST(Connect, RedirectWithServiceName) {
    TNetTransport t;
    t.ApplyRedirect("(ADDRESS=(HOST=h9)(PORT=1700))(CONNECT_DATA=(SERVICE_NAME=svc))");
    EXPECT_EQ(t.host, "h9");
    EXPECT_EQ(t.port, 1700);
    EXPECT_EQ(t.sid, "svc");
    std::string d = TNetTransport::Descriptor(t.host, t.port, t.sid);
    EXPECT_TRUE(d.size() > 25 && d.compare(d.size() - 25, 25, "(CONNECT_DATA=(SID=svc)))") == 0) << d;
    EXPECT_THROW(t.ApplyRedirect("(HOST=x)(PORT=)"), EConvertError);
    EXPECT_THROW(t.ApplyRedirect("(HOST=x)(PORT=zz)"), EConvertError);
    t.ApplyRedirect(""); // an empty text keeps the address
    EXPECT_EQ(t.host, "h9");
}

TEST(Connect, ResendRepeatsTheSamePacketOnTheSameSocket) {
    ConnectRig r(Packet(11, Bytes{}) + Packet(2, Bytes(24, 0)));
    r.t->Connect("10.0.0.5", 1521, "ORCL");
    EXPECT_EQ(r.sock->opened.size(), 1u);
    auto packets = SplitPackets(r.sock->sent);
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(packets[0], packets[1]);
    EXPECT_EQ(packets[0].size(), 123u);
}

TEST(Connect, RefuseAndUnexpectedAnswers) {
    ConnectRig refuse(Packet(4, Hex("00 00 00 00")));
    try {
        refuse.t->Connect("h", 1, "NOPE");
        FAIL();
    } catch (const ENetError& e) {
        EXPECT_EQ(e.Code(), 206);
        TNetErrorHandle err(nullptr);
        MapNetError(e, &err);
        EXPECT_EQ(err.code, -1);
        EXPECT_EQ(err.message, "NET: Invalid SID");
    }
    ConnectRig other(Packet(6, Bytes{0, 0}));
    EXPECT_EQ(NetCode([&] { other.t->Connect("h", 1, "s"); }), 205);
    EXPECT_FALSE(other.sock->connected);
}

TEST(NetErrors, MappingTable) {
    struct {
        std::function<void()> raise;
        int code;
        const char* text;
    } cases[] = {
        {[] { throw ESocketError(10049, "x"); }, -1, "NET: Invalid host"},
        {[] { throw ESocketError(10054, "x"); }, -3113, "ORA-03113"},
        {[] { throw ESocketError(10060, "x"); }, -1, "NET: Connection timed out"},
        {[] { throw ESocketError(10061, "x"); }, -1, "NET: Service unavailable"},
        {[] { throw ESocketError(11001, "x"); }, -1, "NET: Network error (1001)"},
        {[] { throw ESocketError(0, "no number"); }, -1, "NET: Network error (-10000)"},
        {[] { throw ENetError(0); }, -12571, "ORA-12571"},
        {[] { throw ENetError(205); }, -1, "NET: Net error 205"},
        {[] { throw ENetError(206); }, -1, "NET: Invalid SID"},
        {[] { throw EDBError(444); }, -1, "NET: Unknown error 444"},
    };
    for (auto& c : cases) {
        try {
            c.raise();
        } catch (const std::exception& e) {
            TNetErrorHandle err(nullptr);
            EXPECT_EQ(MapNetError(e, &err), -1);
            EXPECT_EQ(err.code, c.code) << c.text;
            EXPECT_EQ(err.message, c.text);
        }
    }
    EXPECT_EQ(MapNetError(ENetError(0), nullptr), -1);
    EXPECT_EQ(SocketErrorNumber(ECONNRESET), 10054);
    EXPECT_EQ(SocketErrorNumber(ECONNREFUSED), 10061);
}

TEST(Socket, RealSocketConnectFailureCarriesTheRefusedNumber) {
    // Port 1 on loopback: nothing listens there.
    TWinSocket s;
    try {
        s.Open("127.0.0.1", 1);
        FAIL();
    } catch (const ESocketError& e) {
        EXPECT_EQ(e.Number(), 10061);
        TNetErrorHandle err(nullptr);
        MapNetError(e, &err);
        EXPECT_EQ(err.message, "NET: Service unavailable");
    }
    EXPECT_FALSE(s.Connected());
}
