// TNS of the current generation: the CONNECT both generations understand, the ACCEPT that picks one,
// redirects, resends and refusals, the 4-byte packet layer, and the network-services negotiation.
#include "ScriptSocket.h"
#include "oranet/NetAno.h"
#include "oranet/NetErrors.h"
#include "oranet/NetHandles.h"
#include "oranet/NetTns315.h"
#include "oranet/NetTransport.h"

#include <gtest/gtest.h>

using namespace oranet;
using namespace vtest;

namespace {

const char Desc89[] =
    "(DESCRIPTION=(ADDRESS=(PROTOCOL=tcp)(HOST=10.0.0.5)(PORT=1521))(CONNECT_DATA=(SID=ORCL)))";

// An ACCEPT body (after the 8 header bytes) of a given version, unit and flags.
Bytes AcceptBody(uint16_t version, uint32_t sdu, uint8_t flags1 = naNoServices, uint32_t flags2 = 0) {
    Bytes b(37, 0);
    b[0] = uint8_t(version >> 8), b[1] = uint8_t(version);
    b[4] = 0x08, b[5] = 0x00; // 2-byte unit
    b[8] = 0, b[9] = 1;
    b[15] = flags1;
    for (int i = 0; i < 4; ++i) {
        b[24 + i] = uint8_t(sdu >> (24 - 8 * i));
        b[28 + i] = uint8_t(0xFFFF >> (24 - 8 * i));
        b[33 + i] = uint8_t(flags2 >> (24 - 8 * i));
    }
    return b;
}

// A packet with a 4-byte length, as sent after a current ACCEPT.
Bytes Packet4(uint8_t type, const Bytes& body, uint8_t flags = 0) {
    size_t len = 8 + body.size();
    Bytes p = {uint8_t(len >> 24), uint8_t(len >> 16), uint8_t(len >> 8), uint8_t(len), type, flags, 0, 0};
    return p + body;
}
Bytes Data4(const Bytes& payload, uint16_t flags = 0) {
    return Packet4(6, Bytes{uint8_t(flags >> 8), uint8_t(flags)} + payload);
}

std::vector<Bytes> SplitPackets4(const Bytes& stream) {
    std::vector<Bytes> out;
    size_t at = 0;
    while (at + 8 <= stream.size()) {
        size_t len = (size_t(stream[at]) << 24) | (size_t(stream[at + 1]) << 16) |
                     (size_t(stream[at + 2]) << 8) | stream[at + 3];
        if (len < 8 || at + len > stream.size()) break;
        out.emplace_back(stream.begin() + long(at), stream.begin() + long(at + len));
        at += len;
    }
    return out;
}

struct DualRig {
    TScriptSocket* sock;
    std::unique_ptr<TNetTransport> t;
    explicit DualRig(const Bytes& input) {
        auto s = std::make_unique<TScriptSocket>();
        sock = s.get();
        sock->input = input;
        t = std::make_unique<TNetTransport>(std::move(s));
    }
};

std::string ErrorText(const std::function<void()>& f) {
    try {
        f();
    } catch (const std::exception& e) {
        TNetErrorHandle err(nullptr);
        MapNetError(e, &err);
        return err.message;
    }
    return "no error";
}

} // namespace

TEST(DualConnect, OnePacketForBothGenerations) {
    uint8_t buf[512];
    int len = WriteDualConnect(buf, sizeof buf, Desc89);
    ASSERT_EQ(len, 74 + 89);
    // Classic part: version 319 offered, 300 the lowest, the classic unit sizes, connect data at offset 74.
    // Current part: the 4-byte unit sizes at 58 and 62.
    EXPECT_EQ(Bytes(buf, buf + 74), Hex("00 A3 00 00 01 00 00 00"
                                        "01 3F 01 2C 00 01 08 00 7F FF 7F 08 00 00 00 01 00 59 00 4A"
                                        "00 00 00 00 08 08 00 00 00 00 00 00 00 00 00 00 00 00"
                                        "00 00 00 00 00 00 00 00 00 00 00 00"
                                        "00 00 FF FF 00 00 FF FF 00 00 00 00 00 00 00 00"));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf + 74), 89), Desc89);
    EXPECT_THROW(WriteDualConnect(buf, 100, Desc89), std::runtime_error);
}

TEST(DualConnect, LongConnectDataFollowsInADataPacket) {
    DualRig r(Packet(2, AcceptBody(307, 0)));
    std::string host(200, 'h');
    TAcceptInfo a;
    r.t->ConnectDual(host, 1521, "ORCL", a);
    auto packets = SplitPackets(r.sock->sent);
    ASSERT_EQ(packets.size(), 2u);
    std::string desc = TNetTransport::Descriptor(host, 1521, "ORCL");
    ASSERT_EQ(packets[0].size(), 74u);
    EXPECT_EQ((packets[0][24] << 8) | packets[0][25], int(desc.size()));
    EXPECT_EQ(packets[1][4], 6);
    EXPECT_EQ(std::string(packets[1].begin() + 10, packets[1].end()), desc);
}

TEST(DualConnect, ClassicAcceptKeepsTheClassicFraming) {
    // The classic listener answers in its own version and goes on with 2-byte packet lengths.
    DualRig r(Packet(2, Bytes{0x01, 0x33, 0, 0, 0x08, 0x00, 0x7F, 0xFF, 1, 0, 0, 0, 0, 32, 0, 0}) +
              Data(Hex("11 22")));
    TAcceptInfo a;
    r.t->ConnectDual("10.0.0.5", 1521, "ORCL", a);
    EXPECT_EQ(a.version, 307);
    EXPECT_FALSE(a.Current());
    EXPECT_EQ(r.t->ReadUB1(), 0x11);
    EXPECT_EQ(r.t->ReadUB1(), 0x22);
}

TEST(DualConnect, CurrentAcceptNamesUnitAndFlags) {
    Bytes accept = Packet(2, AcceptBody(319, 8192, 0, 0x02000000));
    TAcceptInfo a = ParseAccept(accept.data(), int(accept.size()));
    EXPECT_TRUE(a.Current());
    EXPECT_EQ(a.sdu, 8192u);
    EXPECT_EQ(a.tdu, 0xFFFFu);
    EXPECT_TRUE(a.EndOfRequest());
    EXPECT_FALSE(a.NoNetServices());
    Bytes a315 = Packet(2, AcceptBody(315, 8192, naNoServices, 0x02000000));
    a315.resize(41); // a 315 ACCEPT ends before flags2
    a315[1] = 41;
    TAcceptInfo b = ParseAccept(a315.data(), int(a315.size()));
    EXPECT_FALSE(b.EndOfRequest());
    EXPECT_TRUE(b.NoNetServices());

    struct {
        const char* what;
        uint16_t version;
        uint32_t sdu;
        size_t cut;
    } bad[] = {
        {"315 without its unit sizes", 315, 8192, 40},
        {"318 without flags2", 318, 8192, 44},
        {"unit below 512", 319, 100, 45},
        {"shorter than the classic fields", 307, 0, 20},
    };
    for (auto& c : bad) {
        Bytes p = Packet(2, AcceptBody(c.version, c.sdu));
        p.resize(c.cut);
        EXPECT_EQ(ErrorText([&] { ParseAccept(p.data(), int(p.size())); }), "NET: Malformed ACCEPT packet")
            << c.what;
    }
    Bytes compressed = Packet(2, AcceptBody(319, 8192));
    compressed[40] = 0x80;
    EXPECT_THROW(ParseAccept(compressed.data(), int(compressed.size())), std::runtime_error);
}

TEST(DualConnect, RedirectWithSeparateConnectData) {
    std::string text = std::string("(ADDRESS=(PROTOCOL=TCP)(HOST=db2)(PORT=1600))") + '\0' +
                       "(DESCRIPTION=(CONNECT_DATA=(SERVICE_NAME=svc)(INSTANCE_NAME=i2)))";
    Bytes data = FromText(text);
    DualRig r({});
    r.sock->perOpen = {
        Packet(5, Bytes{uint8_t(data.size() >> 8), uint8_t(data.size())} + data, pfRedirectSeparated),
        Packet(2, AcceptBody(319, 8192))};
    TAcceptInfo a;
    r.t->ConnectDual("db1", 1521, "ORCL", a);
    ASSERT_EQ(r.sock->opened.size(), 2u);
    EXPECT_EQ(r.sock->opened[1], "db2:1600");
    auto packets = SplitPackets(r.sock->sent);
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(packets[1][5], pfRedirected);
    EXPECT_EQ(std::string(packets[1].begin() + 74, packets[1].end()),
              "(DESCRIPTION=(CONNECT_DATA=(SERVICE_NAME=svc)(INSTANCE_NAME=i2)))");
    EXPECT_TRUE(a.Current());
}

TEST(DualConnect, RedirectTextInTheFollowingDataPacket) {
    DualRig r({});
    r.sock->perOpen = {Packet(5, Bytes{0, 40}) +
                           Data(FromText("(ADDRESS=(PROTOCOL=TCP)(HOST=db3)(PORT=1700))")),
                       Packet(2, AcceptBody(307, 0))};
    TAcceptInfo a;
    r.t->ConnectDual("db1", 1521, "ORCL", a);
    ASSERT_EQ(r.sock->opened.size(), 2u);
    EXPECT_EQ(r.sock->opened[1], "db3:1700");
    auto packets = SplitPackets(r.sock->sent);
    ASSERT_EQ(packets.size(), 2u);
    // Not separated: the original connect data goes to the new address, marked as redirected.
    Bytes second = packets[1];
    EXPECT_EQ(second[5], pfRedirected);
    second[5] = 0;
    EXPECT_EQ(second, packets[0]);
}

TEST(DualConnect, ResendAndRefusals) {
    DualRig resend(Packet(11, {}) + Packet(2, AcceptBody(319, 8192)));
    TAcceptInfo a;
    resend.t->ConnectDual("10.0.0.5", 1521, "ORCL", a);
    auto packets = SplitPackets(resend.sock->sent);
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(packets[0], packets[1]);

    auto refuse = [](const std::string& text, bool separate = false) {
        Bytes t = FromText(text);
        Bytes head = {1, 0, uint8_t(t.size() >> 8), uint8_t(t.size())};
        DualRig r(separate ? Packet(4, head) + Data(t) : Packet(4, head + t));
        TAcceptInfo a;
        return ErrorText([&] { r.t->ConnectDual("h", 1521, "S", a); });
    };
    EXPECT_EQ(refuse("(DESCRIPTION=(ERR=12505)(VSNNUM=0))"), "NET: Invalid SID");
    EXPECT_EQ(refuse(""), "NET: Invalid SID");
    EXPECT_EQ(refuse("(DESCRIPTION=(TMP=)(ERR=12514)(ERROR_STACK=(ERROR=(CODE=12514))))"),
              "NET: Service not known to the listener (ORA-12514)");
    EXPECT_EQ(refuse("(DESCRIPTION=(ERR=12514))", true),
              "NET: Service not known to the listener (ORA-12514)");
    EXPECT_EQ(refuse("(ERR=12660)"), "NET: native network encryption not supported (ORA-12660)");
    EXPECT_EQ(refuse("(ERR=12519)"), "NET: Connection refused (ORA-12519)");
}

TEST(TnsLink, FourByteFramingSplitsAtTheUnit) {
    TScriptSocket sock;
    sock.connected = true;
    TAcceptInfo a;
    a.version = 319;
    a.sdu = 512;
    a.flags2 = 0x02000000;
    TTnsLink link(sock, a);
    Bytes payload(1200);
    for (size_t i = 0; i < payload.size(); ++i)
        payload[i] = uint8_t(i);
    link.SendData(payload.data(), payload.size(), dataFlagEndOfRequest);
    auto packets = SplitPackets4(sock.sent);
    ASSERT_EQ(packets.size(), 3u);
    EXPECT_EQ(packets[0].size(), 512u);
    EXPECT_EQ(packets[1].size(), 512u);
    EXPECT_EQ(packets[2].size(), 10u + 1200 - 2 * 502);
    EXPECT_EQ(Bytes(packets[0].begin(), packets[0].begin() + 10), Hex("00 00 02 00 06 00 00 00 00 00"));
    EXPECT_EQ(packets[2][8], 0x20); // end of request on the last packet only
    Bytes joined;
    for (auto& p : packets)
        joined.insert(joined.end(), p.begin() + 10, p.end());
    EXPECT_EQ(joined, payload);
}

TEST(TnsLink, HeadersAreChecked) {
    TAcceptInfo a;
    a.version = 319;
    a.sdu = 8192;
    struct {
        Bytes input;
        int code;
    } cases[] = {
        {Hex("00 00 20 01 06 00 00 00"), 203}, // one byte over the unit
        {Hex("FF FF FF FF 06 00 00 00"), 203}, // a length nobody can hold
        {Hex("00 00 00 07 06 00 00 00"), 207},  {Hex("00 00 00 0A 14 00 00 00 00 00"), 204},
        {Hex("00 00 00 10 06 00 00 00 00"), 0}, // cut short
    };
    for (auto& c : cases) {
        TScriptSocket sock;
        sock.connected = true;
        sock.input = c.input;
        TTnsLink link(sock, a);
        try {
            link.ReadPacket();
            ADD_FAILURE() << c.code;
        } catch (const ENetError& e) {
            EXPECT_EQ(e.Code(), c.code);
        }
    }
}

TEST(TnsLink, PendingBytesMarkersAndData) {
    TScriptSocket sock;
    sock.connected = true;
    TAcceptInfo a;
    a.version = 319;
    a.sdu = 8192;
    Bytes whole = Data4(Hex("AA BB")) + Packet4(12, Hex("01 00 01")) + Data4(Hex("DD")) +
                  Packet4(12, Hex("01 00 02")) + Data4(Hex("EE"), dataFlagEndOfFile);
    // The first bytes arrived with the ACCEPT; the rest comes from the socket in small pieces.
    sock.input = Bytes(whole.begin() + 5, whole.end());
    sock.chunk = 3;
    TTnsLink link(sock, a, std::string_view(reinterpret_cast<const char*>(whole.data()), 5));
    uint16_t flags = 0;
    EXPECT_EQ(link.ReadData(flags), "\xAA\xBB");
    // A break: the client answers with a reset (4-byte length) and drops everything up to the server's reset.
    EXPECT_EQ(link.ReadData(flags), "\xEE");
    EXPECT_EQ(flags, dataFlagEndOfFile);
    EXPECT_EQ(sock.sent, Hex("00 00 00 0B 0C 00 00 00 01 00 02"));
}

// The request as Oracle's thin driver lays it out (its version number aside): supervisor, authentication,
// encryption, data integrity.
TEST(NetServices, RequestLayout) {
    const uint8_t id[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(BuildAnoRequest(id), Hex("DEADBEEF 0092 13000000 0004 00"
                                       "0004 0003 00000000 0004 0005 13000000 0008 0001 0102030405060708"
                                       "0012 0001 DEADBEEF 0003 00000004 0001 0002 0003 0004"
                                       "0001 0005 00000000 0004 0005 13000000 0002 0003 E0E1 0002 0006 FCFF"
                                       "0001 0002 02 0004 0000 74637073"
                                       "0002 0002 00000000 0004 0005 13000000 0001 0001 00"
                                       "0003 0002 00000000 0004 0005 13000000 0001 0001 00"));
}

namespace {

// A server's answer: header, then the services given.
std::string AnoReply(const std::vector<Bytes>& services) {
    Bytes b = Hex("DEADBEEF 0000 13000000") + Bytes{0, uint8_t(services.size()), 0};
    for (auto& s : services)
        b = b + s;
    return std::string(b.begin(), b.end());
}
const Bytes SupervisorOk = Hex("0004 0003 00000000 0004 0005 13000000 0002 0006 001F 0012 0001 DEADBEEF 0003 "
                               "00000004 0001 0002 0003 0004");
const Bytes AuthDontUse = Hex("0001 0002 00000000 0004 0005 13000000 0002 0006 FBFF");
Bytes Algorithm(uint16_t service, uint8_t chosen, uint32_t error = 0) {
    return Bytes{0,
                 uint8_t(service),
                 0,
                 2,
                 uint8_t(error >> 24),
                 uint8_t(error >> 16),
                 uint8_t(error >> 8),
                 uint8_t(error)} +
           Hex("0004 0005 13000000 0001 0002") + Bytes{chosen};
}

std::string Check(const std::string& reply) {
    return ErrorText([&] { CheckAnoReply(reply); });
}

} // namespace

TEST(NetServices, ServerThatAcceptsEncryptionGoesOnWithout) {
    EXPECT_EQ(Check(AnoReply({SupervisorOk, AuthDontUse, Algorithm(2, 0), Algorithm(3, 0)})), "no error");
}

TEST(NetServices, ServerThatRequiresEncryptionEndsWithAClearMessage) {
    EXPECT_EQ(Check(AnoReply({SupervisorOk, AuthDontUse, Algorithm(2, 0, 12660)})),
              "NET: native network encryption not supported (ORA-12660)");
    EXPECT_EQ(Check(AnoReply({SupervisorOk, Algorithm(2, 17)})),
              "NET: native network encryption not supported");
    EXPECT_EQ(Check(AnoReply({SupervisorOk, Algorithm(3, 3)})),
              "NET: native network encryption not supported");
    EXPECT_EQ(Check(AnoReply({Hex("0001 0002 00000000 0004 0005 13000000 0002 0006 FAFF")})),
              "NET: Network authentication services not supported");
}

TEST(NetServices, MalformedAnswersAreRefused) {
    std::string good = AnoReply({SupervisorOk, AuthDontUse, Algorithm(2, 0), Algorithm(3, 0)});
    for (size_t cut = 0; cut < good.size(); ++cut)
        EXPECT_EQ(Check(good.substr(0, cut)), "NET: Malformed network services answer") << cut;
    std::string badMagic = good;
    badMagic[0] = 0;
    EXPECT_EQ(Check(badMagic), "NET: Malformed network services answer");
    EXPECT_EQ(Check(AnoReply({Hex("0004 0003 00000000 0004 0005 13000000 0002 0006 0000")})),
              "NET: Malformed network services answer");
    EXPECT_EQ(Check(AnoReply({Hex("0009 0000 00000000")})), "NET: Malformed network services answer");
}

TEST(CurrentSession, EncryptionRequiredEndsTheLogonWithTheMessage) {
    auto s = std::make_unique<TScriptSocket>();
    TScriptSocket* sock = s.get();
    sock->input = Packet(2, AcceptBody(319, 8192, 0, 0)) +
                  Data4(FromText(AnoReply({SupervisorOk, AuthDontUse, Algorithm(2, 0, 12660)})));
    TNetConnection conn(nullptr, std::move(s));
    conn.offerCurrent = true;
    TNetErrorHandle err(nullptr);
    EXPECT_EQ(conn.BeginSession(&err), -1);
    EXPECT_EQ(err.message, "NET: native network encryption not supported (ORA-12660)");
    EXPECT_FALSE(sock->connected);
    // The request went out after the CONNECT in a 4-byte DATA packet.
    auto connect = SplitPackets(sock->sent);
    ASSERT_FALSE(connect.empty());
    Bytes rest(sock->sent.begin() + long(connect[0].size()), sock->sent.end());
    auto data = SplitPackets4(rest);
    ASSERT_EQ(data.size(), 1u);
    EXPECT_EQ(Bytes(data[0].begin() + 10, data[0].begin() + 14), Hex("DEADBEEF"));
}

TEST(CurrentSession, ClassicOnlyConnectionSendsTheClassicConnect) {
    auto s = std::make_unique<TScriptSocket>();
    TScriptSocket* sock = s.get();
    sock->input = Packet(4, Hex("00 00 00 00"));
    TNetConnection conn(nullptr, std::move(s));
    conn.offerCurrent = false;
    TNetErrorHandle err(nullptr);
    EXPECT_EQ(conn.BeginSession(&err), -1);
    EXPECT_EQ(err.message, "NET: Invalid SID");
    auto packets = SplitPackets(sock->sent);
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(Bytes(packets[0].begin() + 8, packets[0].begin() + 12), Hex("01 33 01 2C"));
    EXPECT_EQ(packets[0][26], 0);
    EXPECT_EQ(packets[0][27], 34);
}
