// The current protocol generation of the emulator: its logon cryptography, its CONNECT decoding and how it
// treats clients that send what no real client sends. Oracle's own thin driver checks the good paths (the
// ThinPeer tests); these tests check the bad ones in raw bytes.
#include "emulator/EmuO5Logon.h"
#include "emulator/EmuServer.h"
#include "emulator/EmuTns315.h"
#include "tests/emulator/EmuFuzzModern.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <openssl/sha.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

using vemu::Bytes;
using vemu::O5Logon;
using vemu::VerifierKind;

namespace {

// ---- a raw client
// ------------------------------------------------------------------------------------------

class RawClient {
public:
    explicit RawClient(uint16_t port) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~RawClient() {
        if (fd_ >= 0) ::close(fd_);
    }
    bool Ok() const { return fd_ >= 0; }
    void Send(const std::vector<uint8_t>& b) {
        ASSERT_EQ(::send(fd_, b.data(), b.size(), MSG_NOSIGNAL), (ssize_t)b.size());
    }
    // One packet (header included); empty when the server closed the line or 5 s passed.
    std::vector<uint8_t> Read(bool large) {
        std::vector<uint8_t> h(8);
        if (!ReadExact(h.data(), 8)) return {};
        size_t len = large ? (size_t(h[0]) << 24 | size_t(h[1]) << 16 | size_t(h[2]) << 8 | h[3])
                           : (size_t(h[0]) << 8 | h[1]);
        if (len < 8) return {};
        h.resize(len);
        if (!ReadExact(h.data() + 8, len - 8)) return {};
        return h;
    }
    // Whether the server closed the connection (within 5 s).
    bool Closed() {
        uint8_t b[256];
        for (;;) {
            pollfd p{fd_, POLLIN, 5000};
            if (::poll(&p, 1, 5000) <= 0) return false;
            ssize_t r = ::recv(fd_, b, sizeof b, 0);
            if (r <= 0) return true;
        }
    }

private:
    bool ReadExact(uint8_t* p, size_t n) {
        while (n) {
            pollfd pf{fd_, POLLIN, 5000};
            if (::poll(&pf, 1, 5000) <= 0) return false;
            ssize_t r = ::recv(fd_, p, n, 0);
            if (r <= 0) return false;
            p += r;
            n -= static_cast<size_t>(r);
        }
        return true;
    }
    int fd_ = -1;
};

// A CONNECT packet of the given version carrying the connect data (in the packet when it fits, else in a
// DATA packet of its own, as clients send long descriptors).
std::vector<std::vector<uint8_t>> ConnectPackets(uint16_t version, const std::string& data,
                                                 uint8_t naFlags = 0x08, uint32_t sdu = 8192) {
    bool inline_ = data.size() <= 230;
    size_t size = 74 + (inline_ ? data.size() : 0);
    std::vector<uint8_t> p(size, 0);
    auto put16 = [&](size_t o, uint16_t v) {
        p[o] = uint8_t(v >> 8);
        p[o + 1] = uint8_t(v);
    };
    put16(0, uint16_t(size));
    p[4] = 1;
    put16(8, version);
    put16(10, 300);
    put16(12, 1);
    put16(14, uint16_t(std::min<uint32_t>(sdu, 65535)));
    put16(16, 65535);
    put16(22, 1);
    put16(24, uint16_t(data.size()));
    put16(26, 74);
    p[32] = p[33] = naFlags;
    for (int i = 0; i < 4; ++i)
        p[58 + i] = uint8_t(sdu >> (24 - 8 * i));
    if (inline_) std::memcpy(p.data() + 74, data.data(), data.size());
    std::vector<std::vector<uint8_t>> out{p};
    if (!inline_) {
        std::vector<uint8_t> d(10 + data.size(), 0);
        put16(0, 0); // (p no longer used)
        d[0] = uint8_t(d.size() >> 8);
        d[1] = uint8_t(d.size());
        d[4] = 6;
        std::memcpy(d.data() + 10, data.data(), data.size());
        out.push_back(d);
    }
    return out;
}

std::string Descriptor(const std::string& connectData) {
    return "(DESCRIPTION=(ADDRESS=(PROTOCOL=tcp)(HOST=127.0.0.1)(PORT=1521))(CONNECT_DATA=" + connectData +
           "))";
}

// A DATA packet after the ACCEPT (four-byte length).
std::vector<uint8_t> Data(const std::vector<uint8_t>& payload, uint16_t flags = 0) {
    size_t n = 10 + payload.size();
    std::vector<uint8_t> p = {uint8_t(n >> 24),    uint8_t(n >> 16), uint8_t(n >> 8), uint8_t(n), 6, 0, 0, 0,
                              uint8_t(flags >> 8), uint8_t(flags)};
    p.insert(p.end(), payload.begin(), payload.end());
    return p;
}

std::string RefuseText(const std::vector<uint8_t>& p) {
    return p.size() > 12 ? std::string(p.begin() + 12, p.end()) : std::string();
}

std::unique_ptr<vemu::EmuServer> Start(vemu::EmuOptions o = {}) {
    auto s = std::make_unique<vemu::EmuServer>(o);
    s->Start();
    return s;
}

// Connects and negotiates the protocol with a request a real client sends; returns the ACCEPT.
std::vector<uint8_t> Accepted(RawClient& c, const std::string& connectData = "(SERVICE_NAME=bnx)") {
    for (auto& p : ConnectPackets(319, Descriptor(connectData)))
        c.Send(p);
    return c.Read(false);
}

} // namespace

// ---- the logon's key exchange
// ------------------------------------------------------------------------------

class O5LogonExchange : public ::testing::TestWithParam<VerifierKind> {};

TEST_P(O5LogonExchange, AClientThatKnowsThePasswordIsAcceptedAndGetsTheServerProof) {
    auto v = vemu::MakeVerifier(GetParam(), "tiger");
    O5Logon server(v);
    auto client = O5Logon::ClientForTest(GetParam(), "tiger", server.SaltHex(), server.ServerSessionKeyHex(),
                                         server.CskSaltHex());
    ASSERT_FALSE(client.clientKeyHex.empty());
    ASSERT_TRUE(server.AcceptClientKey(client.clientKeyHex));
    std::string pw;
    ASSERT_TRUE(server.DecryptPassword(client.passwordHex, pw));
    EXPECT_EQ(pw, "tiger");
    EXPECT_TRUE(server.PasswordMatches(pw));
    EXPECT_FALSE(server.PasswordMatches("TIGER")) << "passwords keep their case";
    if (GetParam() == VerifierKind::V12c) {
        EXPECT_TRUE(server.SpeedyKeyMatches(client.speedyKeyHex));
    }
    Bytes proof;
    ASSERT_TRUE(O5Logon::DecryptForTest(client.comboKey, server.ServerResponseHex(), proof));
    ASSERT_GE(proof.size(), 32u);
    EXPECT_EQ(std::string(proof.begin() + 16, proof.begin() + 32), "SERVER_TO_CLIENT");
}

TEST_P(O5LogonExchange, AWrongPasswordDecryptsButDoesNotMatch) {
    O5Logon server(vemu::MakeVerifier(GetParam(), "tiger"));
    // the client derives its key from the wrong password, so it cannot read the server's key half
    auto client = O5Logon::ClientForTest(GetParam(), "lion", server.SaltHex(), server.ServerSessionKeyHex(),
                                         server.CskSaltHex());
    ASSERT_TRUE(server.AcceptClientKey(client.clientKeyHex));
    std::string pw;
    bool readable = server.DecryptPassword(client.passwordHex, pw);
    EXPECT_FALSE(readable && server.PasswordMatches(pw));
    if (GetParam() == VerifierKind::V12c) {
        EXPECT_FALSE(server.SpeedyKeyMatches(client.speedyKeyHex));
    }
}

TEST_P(O5LogonExchange, MalformedKeysAndPasswordsAreRejected) {
    O5Logon server(vemu::MakeVerifier(GetParam(), "tiger"));
    std::string key = server.ServerSessionKeyHex();
    EXPECT_FALSE(server.AcceptClientKey(""));
    EXPECT_FALSE(server.AcceptClientKey(key.substr(2)));                // one byte short
    EXPECT_FALSE(server.AcceptClientKey(std::string(key.size(), 'G'))); // not hex
    std::string pw;
    EXPECT_FALSE(server.DecryptPassword("00", pw)) << "no session key yet";
    auto client = O5Logon::ClientForTest(GetParam(), "tiger", server.SaltHex(), key, server.CskSaltHex());
    ASSERT_TRUE(server.AcceptClientKey(client.clientKeyHex));
    EXPECT_FALSE(server.DecryptPassword(client.passwordHex.substr(0, 30), pw)) << "not whole blocks";
    // Blocks the client did not encrypt: their padding is refused, except when the random key happens to turn
    // them into bytes that end like padding (about one time in 200); the text is never the password.
    EXPECT_FALSE(server.DecryptPassword(std::string(64, '0'), pw) && pw == "tiger");
    EXPECT_FALSE(server.SpeedyKeyMatches(std::string(160, 'Z')));
}

INSTANTIATE_TEST_SUITE_P(Verifiers, O5LogonExchange,
                         ::testing::Values(VerifierKind::V11g, VerifierKind::V12c));

TEST(O5LogonVerifier, The11gVerifierIsSha1OfPasswordAndSalt) {
    auto v = vemu::MakeVerifier(VerifierKind::V11g, "tiger");
    ASSERT_EQ(v.salt.size(), 10u);
    std::string in = "tiger" + std::string(v.salt.begin(), v.salt.end());
    uint8_t h[20];
    SHA1(reinterpret_cast<const uint8_t*>(in.data()), in.size(), h);
    EXPECT_EQ(v.hash, Bytes(h, h + 20));
    auto w = vemu::MakeVerifier(VerifierKind::V12c, "tiger");
    EXPECT_EQ(w.salt.size(), 16u);
    EXPECT_EQ(w.hash.size(), 64u);
}

// ---- CONNECT decoding
// --------------------------------------------------------------------------------------

TEST(ModernConnect, DecodesVersionSduAndConnectData) {
    auto pk = ConnectPackets(319, "(CONNECT_DATA=(SERVICE_NAME=bnx))", 0x08, 65536)[0];
    auto c = vemu::ParseConnect(pk);
    EXPECT_EQ(c.version, 319);
    EXPECT_EQ(c.lowest, 300);
    EXPECT_EQ(c.sdu, 65536u) << "the 32-bit SDU of a 315+ CONNECT wins";
    EXPECT_EQ(c.naFlags0, 0x08);
    EXPECT_EQ(c.data, "(CONNECT_DATA=(SERVICE_NAME=bnx))");
    auto longer = ConnectPackets(319, std::string(300, 'x'));
    auto l = vemu::ParseConnect(longer[0]);
    EXPECT_TRUE(l.data.empty());
    EXPECT_EQ(l.dataLength, 300u);
}

TEST(ModernConnect, MalformedConnectPacketsAreProtocolErrors) {
    auto pk = ConnectPackets(319, "(CONNECT_DATA=(SID=bnx))")[0];
    auto shorter = pk;
    shorter.resize(60);
    EXPECT_THROW(vemu::ParseConnect(shorter), vemu::ProtocolError) << "a 315+ CONNECT is at least 74 bytes";
    auto badOffset = pk;
    badOffset[26] = 0xFF;
    EXPECT_THROW(vemu::ParseConnect(badOffset), vemu::ProtocolError);
    auto cut = pk;
    cut.resize(pk.size() - 3);
    EXPECT_THROW(vemu::ParseConnect(cut), vemu::ProtocolError) << "connect data cut short";
    auto versions = pk;
    versions[10] = 0x02; // lowest 512 above the version
    EXPECT_THROW(vemu::ParseConnect(versions), vemu::ProtocolError);
}

TEST(ModernConnect, DescriptorValuesAreFoundWhateverTheirCase) {
    std::string d = "(description=(connect_data=(service_name = Bnx )(CID=(PROGRAM=x))))";
    EXPECT_EQ(vemu::DescriptorValue(d, "SERVICE_NAME"), "Bnx");
    EXPECT_EQ(vemu::DescriptorValue(d, "SID"), "");
    EXPECT_EQ(vemu::DescriptorValue("(SID=orcl", "SID"), "") << "no closing parenthesis";
}

// ---- the listener's answers
// --------------------------------------------------------------------------------

TEST(ModernListener, AcceptsA315ClientWithLargeSduAndNoNetworkServices) {
    auto srv = Start();
    RawClient c(srv->Port());
    ASSERT_TRUE(c.Ok());
    auto acc = Accepted(c);
    ASSERT_GE(acc.size(), 45u);
    EXPECT_EQ(acc[4], 2) << "ACCEPT";
    EXPECT_EQ(acc[8] << 8 | acc[9], 319);
    EXPECT_EQ(acc[23] & 0x08, 0x08) << "no network services: the client skips their negotiation";
    uint32_t sdu = uint32_t(acc[32]) << 24 | uint32_t(acc[33]) << 16 | uint32_t(acc[34]) << 8 | acc[35];
    EXPECT_EQ(sdu, 8192u);
}

TEST(ModernListener, LongConnectDataInItsOwnPacketIsAccepted) {
    auto srv = Start();
    RawClient c(srv->Port());
    std::string data =
        Descriptor("(SERVICE_NAME=bnx)(CID=(PROGRAM=" + std::string(250, 'p') + ")(HOST=h)(USER=u))");
    for (auto& p : ConnectPackets(319, data))
        c.Send(p);
    auto acc = c.Read(false);
    ASSERT_FALSE(acc.empty());
    EXPECT_EQ(acc[4], 2);
}

TEST(ModernListener, RefusesWithTheListenersReasons) {
    struct Case {
        const char* what;
        vemu::EmuOptions opts;
        uint16_t version;
        std::string connectData;
        const char* err;
    };
    vemu::EmuOptions current, encrypted;
    current.generation = vemu::EmuOptions::Generation::Current;
    encrypted.requireEncryption = true;
    std::vector<Case> cases = {
        {"unknown service", {}, 319, "(SERVICE_NAME=other)", "(ERR=12514)"},
        {"unknown SID", {}, 319, "(SID=other)", "(ERR=12505)"},
        {"a classic client at a 19c-only server", current, 307, "(SID=bnx)", "(ERR=28040)"},
        {"encryption required", encrypted, 319, "(SERVICE_NAME=bnx)", "(ERR=12660)"},
    };
    for (auto& k : cases) {
        auto srv = Start(k.opts);
        RawClient c(srv->Port());
        for (auto& p : ConnectPackets(k.version, Descriptor(k.connectData)))
            c.Send(p);
        auto r = c.Read(false);
        ASSERT_FALSE(r.empty()) << k.what;
        EXPECT_EQ(r[4], 4) << k.what << ": REFUSE";
        EXPECT_NE(RefuseText(r).find(k.err), std::string::npos) << k.what << ": " << RefuseText(r);
    }
}

TEST(ModernListener, AClassicClientStillGetsTheClassicAccept) {
    auto srv = Start();
    RawClient c(srv->Port());
    for (auto& p : ConnectPackets(307, Descriptor("(SID=bnx)")))
        c.Send(p);
    auto r = c.Read(false);
    ASSERT_GE(r.size(), 10u);
    EXPECT_EQ(r[4], 2);
    EXPECT_EQ(r[8] << 8 | r[9], 307) << "the classic generation answers with its own version";
}

// ---- requests no real client sends
// -------------------------------------------------------------------------

TEST(ModernHostileClient, MalformedRequestsEndTheConnectionWithTheServersProtocolError) {
    struct Case {
        const char* what;
        std::vector<uint8_t> payload;
    };
    std::vector<Case> cases = {
        {"a function before the negotiation", {3, 118, 0}},
        {"an endless protocol version list", std::vector<uint8_t>(64, 1)},
        {"compile capabilities of one byte", {2, 0x69, 0x03, 0x69, 0x03, 0x03, 1, 6}},
    };
    for (auto& k : cases) {
        auto srv = Start();
        RawClient c(srv->Port());
        ASSERT_EQ(Accepted(c)[4], 2);
        c.Send(Data(k.payload));
        auto reply = c.Read(true);
        if (!reply.empty() && reply.size() > 10 && reply[10] == 1)
            reply = c.Read(true); // the protocol answer
        EXPECT_TRUE(c.Closed()) << k.what;
    }
}

TEST(ModernHostileClient, APacketLongerThanTheSduIsRefused) {
    auto srv = Start();
    RawClient c(srv->Port());
    ASSERT_EQ(Accepted(c)[4], 2);
    // announces 16 MB in the four-byte length
    c.Send({0x01, 0x00, 0x00, 0x00, 6, 0, 0, 0, 0, 0});
    EXPECT_TRUE(c.Closed());
}

TEST(ModernHostileClient, OversizedIntegersAndByteStringsAreRefused) {
    // The data-type request: character sets, flags, then capabilities whose chunked length claims 4 GB.
    std::vector<std::vector<uint8_t>> payloads = {
        {2, 0x69, 0x03, 0x69, 0x03, 0x03, 0xFE, 4, 0xFF, 0xFF, 0xFF, 0xFF},
        {2, 0x69, 0x03, 0x69, 0x03, 0x03, 0xFE, 9, 1, 2, 3, 4, 5, 6, 7, 8, 9}, // a nine-byte integer
    };
    for (auto& p : payloads) {
        auto srv = Start();
        RawClient c(srv->Port());
        ASSERT_EQ(Accepted(c)[4], 2);
        c.Send(Data({1, 6, 0, 'x', 0}));
        auto proto = c.Read(true);
        ASSERT_GT(proto.size(), 11u);
        EXPECT_EQ(proto[10], 1) << "protocol answer";
        c.Send(Data(p));
        auto err = c.Read(true);
        ASSERT_GT(err.size(), 11u);
        EXPECT_EQ(err[10], 4) << "the error message with ORA-03137";
        std::string text(err.begin(), err.end());
        EXPECT_NE(text.find("ORA-03137"), std::string::npos);
        EXPECT_TRUE(c.Closed());
    }
}

// ---- the fuzz entry over hand-made inputs
// ------------------------------------------------------------------

TEST(ModernFuzzEntry, HandMadeInputsEndWithoutCrashing) {
    std::vector<std::vector<uint8_t>> inputs = {
        {},
        {0},
        {0, 0, 0, 0, 12, 6, 0, 0, 0, 0, 0}, // a packet of length 12 with type 6
        {1, 1, 6, 0, 'x', 0},               // a protocol request
        {1, 2, 0x69, 0x03, 0x69, 0x03, 0x03, 0xFE, 0x84, 0xFF, 0xFF, 0xFF}, // an over-long chunk
        {2, 3, 118, 0, 1, 4, 0xFF, 0xFF, 0xFF, 0xFF},                       // a logon with a 4 GB user name
        {2, 3, 94, 0, 0},                                                   // an execute before the logon
        {2, 17, 105, 0, 1, 4, 0xFF, 0xFF, 0xFF, 0xFF},                      // a piggyback before the logon
        {3, 3, 147, 5},                                                     // a ping after the logon
        {3, 3, 200, 5},                               // an unknown function after the logon
        {3, 3, 94, 5, 1, 0x21, 0, 1, 1, 5, 1, 1, 13}, // an execute cut short after the logon
    };
    for (const auto& in : inputs)
        EXPECT_EQ(emufuzz::FuzzModernServer(in.data(), in.size()), 0);
}

// ---- a logged-on session that is sent what no real client sends -------------------------------------------

namespace {

void PutUb(std::vector<uint8_t>& b, uint64_t v) {
    if (v == 0) return b.push_back(0);
    int n = v <= 0xFF ? 1 : v <= 0xFFFF ? 2 : v <= 0xFFFFFFFFu ? 4 : 8;
    b.push_back(uint8_t(n));
    for (int i = n - 1; i >= 0; --i)
        b.push_back(uint8_t(v >> (8 * i)));
}
void PutBytes(std::vector<uint8_t>& b, const std::string& s) {
    b.push_back(uint8_t(s.size())); // short values only
    b.insert(b.end(), s.begin(), s.end());
}
void PutPair(std::vector<uint8_t>& b, const std::string& k, const std::string& v) {
    PutUb(b, k.size());
    PutBytes(b, k);
    PutUb(b, v.size());
    if (!v.empty()) {
        if (v.size() <= 252) {
            PutBytes(b, v);
        } else {
            b.push_back(0xFE);
            PutUb(b, v.size());
            b.insert(b.end(), v.begin(), v.end());
            b.push_back(0);
        }
    }
    PutUb(b, 0);
}

// The value of KEY in a parameter reply (keys and values are short here: one length byte each).
std::string ParamValue(const std::vector<uint8_t>& reply, const std::string& key) {
    std::string all(reply.begin(), reply.end());
    size_t p = all.find(key);
    if (p == std::string::npos) return {};
    p += key.size();
    if (p >= all.size()) return {};
    uint8_t n = uint8_t(all[p]); // UB4 length: its byte count
    p += 1 + n;
    if (p >= all.size()) return {};
    uint8_t len = uint8_t(all[p]);
    return all.substr(p + 1, len);
}

// Connects, negotiates and logs on as scott/tiger, as a client of the current protocol does.
bool LogOn(RawClient& c) {
    if (Accepted(c).size() < 45) return false;
    c.Send(Data({1, 6, 0, 't', 0}));
    if (c.Read(true).empty()) return false;
    std::vector<uint8_t> dt = {2, 0x69, 0x03, 0x69, 0x03, 0x03, 53};
    std::vector<uint8_t> caps(53, 0);
    caps[7] = 13;
    dt.insert(dt.end(), caps.begin(), caps.end());
    dt.insert(dt.end(), {7, 2, 0, 0, 0, 0, 0, 0x04, 0, 1, 0, 1, 0, 1, 0, 0, 0, 0});
    c.Send(Data(dt));
    if (c.Read(true).empty()) return false;
    std::vector<uint8_t> p1 = {3, 118, 1, 1};
    PutUb(p1, 5);
    PutUb(p1, 0x101);
    p1.push_back(1);
    PutUb(p1, 0);
    p1.insert(p1.end(), {0, 1});
    PutBytes(p1, "scott");
    c.Send(Data(p1));
    auto r1 = c.Read(true);
    auto cl = O5Logon::ClientForTest(VerifierKind::V12c, "tiger", ParamValue(r1, "AUTH_VFR_DATA"),
                                     ParamValue(r1, "AUTH_SESSKEY"), ParamValue(r1, "AUTH_PBKDF2_CSK_SALT"));
    std::vector<uint8_t> p2 = {3, 115, 2, 1};
    PutUb(p2, 5);
    PutUb(p2, 0x101);
    p2.push_back(1);
    PutUb(p2, 3);
    p2.insert(p2.end(), {1, 1});
    PutBytes(p2, "scott");
    PutPair(p2, "AUTH_SESSKEY", cl.clientKeyHex);
    PutPair(p2, "AUTH_PBKDF2_SPEEDY_KEY", cl.speedyKeyHex);
    PutPair(p2, "AUTH_PASSWORD", cl.passwordHex);
    c.Send(Data(p2));
    auto r2 = c.Read(true);
    return std::string(r2.begin(), r2.end()).find("AUTH_SVR_RESPONSE") != std::string::npos;
}

bool HasText(const std::vector<uint8_t>& reply, const char* text) {
    return std::string(reply.begin(), reply.end()).find(text) != std::string::npos;
}

std::vector<uint8_t> Ping() {
    return Data({3, 147, 9});
}

} // namespace

TEST(ModernHostileClient, CallsWithImpossibleCountsEndTheConnection) {
    struct Case {
        const char* what;
        std::vector<uint8_t> payload;
    };
    std::vector<Case> cases = {
        {"an execution vector of 14 entries", {3, 94, 3, 1, 0x21, 0, 1, 1, 5, 1, 1, 14}},
        {"70 000 cursors to close", {17, 105, 3, 1, 4, 0, 1, 0x11, 0x70}},
        {"a LOB call without a locator",
         {3, 96, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"an unknown function", {3, 200, 3}},
        {"a negative cursor id", {3, 5, 3, 0x81, 1, 1, 10}},
    };
    for (auto& k : cases) {
        auto srv = Start();
        RawClient c(srv->Port());
        ASSERT_TRUE(LogOn(c)) << k.what;
        c.Send(Data(k.payload));
        auto r = c.Read(true);
        EXPECT_TRUE(HasText(r, "ORA-03137")) << k.what;
        EXPECT_TRUE(c.Closed()) << k.what;
    }
}

TEST(ModernHostileClient, ErrorsAboutCursorsAndLocatorsKeepTheConnection) {
    auto srv = Start();
    RawClient c(srv->Port());
    ASSERT_TRUE(LogOn(c));
    c.Send(Data({3, 5, 3, 1, 77, 1, 10})); // fetch from cursor 77, which was never opened
    EXPECT_TRUE(HasText(c.Read(true), "ORA-01001"));
    // a LOB read with a locator this server never gave out
    std::vector<uint8_t> lob = {3, 96, 4, 1, 1, 40, 0, 0, 0, 0, 0, 0, 0};
    PutUb(lob, 2); // read
    lob.insert(lob.end(), {0, 0, 1, 1, 0, 1, 0, 0, 0, 0, 0, 0});
    std::vector<uint8_t> forged(40, 0);
    forged[9] = 20;
    lob.insert(lob.end(), forged.begin(), forged.end());
    PutUb(lob, 10);
    c.Send(Data(lob));
    EXPECT_TRUE(HasText(c.Read(true), "ORA-22275"));
    c.Send(Ping());
    auto pong = c.Read(true);
    ASSERT_GT(pong.size(), 10u);
    EXPECT_EQ(pong[10], 4) << "the connection still answers";
}

TEST(ModernListener, RedirectsTheFirstClientToTheGivenAddressAndResendsOnce) {
    auto target = Start();
    vemu::EmuOptions o;
    o.redirectTo = "127.0.0.1:" + std::to_string(target->Port());
    o.resendOnce = true;
    auto front = Start(o);
    RawClient c(front->Port());
    auto connect = ConnectPackets(319, Descriptor("(SERVICE_NAME=bnx)"));
    for (auto& p : connect)
        c.Send(p);
    auto resend = c.Read(false);
    ASSERT_GE(resend.size(), 8u);
    EXPECT_EQ(resend[4], 11) << "RESEND";
    for (auto& p : connect)
        c.Send(p);
    auto redirect = c.Read(false);
    ASSERT_GT(redirect.size(), 10u);
    EXPECT_EQ(redirect[4], 5) << "REDIRECT";
    size_t len = size_t(redirect[8]) << 8 | redirect[9];
    ASSERT_EQ(len, redirect.size() - 10);
    EXPECT_NE(std::string(redirect.begin() + 10, redirect.end())
                  .find("(PORT=" + std::to_string(target->Port()) + ")"),
              std::string::npos);
    RawClient next(target->Port());
    EXPECT_EQ(Accepted(next)[4], 2) << "the address redirected to accepts";
}
