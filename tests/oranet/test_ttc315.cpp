// The TTC layer of the current generation: its primitives, the negotiation, and both logon phases against
// scripted server replies.
#include "ScriptSocket.h"
#include "oranet/NetErrors.h"
#include "oranet/NetHandles.h"
#include "oranet/NetSession315.h"
#include "oranet/NetTtc.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace oranet;
using namespace vtest;

namespace {

Bytes Data4(const Bytes& payload) {
    size_t len = 10 + payload.size();
    return Bytes{uint8_t(len >> 24), uint8_t(len >> 16), uint8_t(len >> 8), uint8_t(len), 6, 0, 0, 0, 0, 0} +
           payload;
}

TAcceptInfo Accept319() {
    TAcceptInfo a;
    a.version = 319;
    a.sdu = 8192;
    return a;
}

// The DATA payloads in a stream of 4-byte-length packets, joined.
Bytes Payload4(const Bytes& stream) {
    Bytes out;
    size_t at = 0;
    while (at + 10 <= stream.size()) {
        size_t len = (size_t(stream[at]) << 24) | (size_t(stream[at + 1]) << 16) |
                     (size_t(stream[at + 2]) << 8) | stream[at + 3];
        if (len < 10 || at + len > stream.size()) break;
        if (stream[at + 4] == 6)
            out.insert(out.end(), stream.begin() + long(at + 10), stream.begin() + long(at + len));
        at += len;
    }
    return out;
}

Bytes Text(const std::string& s) {
    return FromText(s);
}

// A byte string as the server writes one (short form).
Bytes Str(const std::string& s) {
    return Bytes{uint8_t(s.size())} + Text(s);
}

Bytes UB4(uint32_t v) {
    if (v == 0) return {0};
    if (v <= 0xFF) return {1, uint8_t(v)};
    if (v <= 0xFFFF) return {2, uint8_t(v >> 8), uint8_t(v)};
    return {4, uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
}

Bytes Pair(const std::string& k, const std::string& v, uint32_t flags = 0) {
    Bytes b = UB4(uint32_t(k.size())) + Str(k) + UB4(uint32_t(v.size()));
    if (!v.empty()) b = b + Str(v);
    return b + UB4(flags);
}

Bytes Parameters(const std::vector<Bytes>& pairs) {
    Bytes b = Bytes{8} + UB4(uint32_t(pairs.size()));
    for (auto& p : pairs)
        b = b + p;
    return b;
}

// The error-information message of a 19c server.
Bytes ErrorInfo(uint32_t code, const std::string& text = "", uint32_t rows = 0, uint32_t cursor = 0) {
    Bytes b = Hex("04 00 00 00 00 00 00") + UB4(cursor) + Hex("81 01 00 00 00 00 00 00") +
              Hex("00 00 00 00 00") + Hex("00 00 00 00 00 00 00 00 00");
    b = b + UB4(code) + UB4(rows);
    if (code != 0) b = b + Str(text + "\n");
    return b;
}

Bytes ProtocolReply(uint8_t fieldVersion, const Bytes& fdo = Hex("00 00 00 00 00 00 00 00 00 07 D0")) {
    Bytes caps(53, 0);
    caps[7] = fieldVersion;
    Bytes runtime = Hex("02 00 00 00 00 00 05");
    return Bytes{1, 6, 0} + Text("Oracle Database 19c") + Bytes{0} + Hex("69 03 01 00 00 00") +
           Bytes{uint8_t(fdo.size())} + fdo + Bytes{53} + caps + Bytes{7} + runtime;
}

Bytes DataTypesReply() {
    return Hex("02 00 01 00 01 00 01 00 00 00 02 00 00 00 00");
}

TClientInfo Client() {
    return {"host1", "alice", "12:34", "vestra"};
}

TRandomFill Counting() {
    auto call = std::make_shared<int>(0);
    return [call](uint8_t* p, size_t n) {
        for (size_t i = 0; i < n; ++i)
            p[i] = uint8_t(*call * 37 + int(i) * 5 + 1);
        ++*call;
    };
}

std::vector<uint8_t> ServerKey48() {
    std::vector<uint8_t> b(48);
    for (size_t i = 0; i < 48; ++i)
        b[i] = uint8_t(i * 7 + 3);
    return b;
}

// Phase one of an 11G account whose answer the O5LOGON tests know (password "tiger", counting random bytes).
Bytes PhaseOne11g() {
    auto k = ServerKey48();
    return Parameters({Pair("AUTH_SESSKEY", ToHexUpper(k.data(), k.size())),
                       Pair("AUTH_VFR_DATA", "A1B2C3D4E5F60718293A", vfr11g1)}) +
           ErrorInfo(0);
}
const char Proof11g[] =
    "F01DE972AA575F0164F0C4F882F9A04865E0D5D6F83FEDED6339F7E0D6A0EFF01F83A22C5D822BBDA826E17526A4DC96";

struct SessionRig {
    TScriptSocket sock;
    std::unique_ptr<TCurrentSession> s;
    explicit SessionRig(const Bytes& replies) {
        sock.connected = true;
        sock.input = replies;
        s = std::make_unique<TCurrentSession>(sock, Accept319(), std::string_view());
        s->random = Counting();
    }
    Bytes Sent() { return Payload4(sock.sent); }
};

} // namespace

TEST(CurrentTtcPrimitives, WrittenForms) {
    struct {
        std::function<void(TTtcWriter&)> write;
        const char* bytes;
    } cases[] = {
        {[](TTtcWriter& w) { w.UB4(0); }, "00"},
        {[](TTtcWriter& w) { w.UB4(255); }, "01 FF"},
        {[](TTtcWriter& w) { w.UB4(256); }, "02 01 00"},
        {[](TTtcWriter& w) { w.UB4(65536); }, "04 00 01 00 00"}, // no 3-byte form in this generation
        {[](TTtcWriter& w) { w.UB8(0x100000000ull); }, "08 00 00 00 01 00 00 00 00"},
        {[](TTtcWriter& w) { w.U16LE(873); }, "69 03"},
        {[](TTtcWriter& w) { w.BytesWithLength(""); }, "00"},
        {[](TTtcWriter& w) { w.KeyValue("AUTH_PID", "42"); }, "01 08 08 415554485F504944 01 02 02 3432 00"},
        {[](TTtcWriter& w) { w.KeyValue("K", "", 1); }, "01 01 01 4B 00 01 01"},
    };
    for (auto& c : cases) {
        TTtcWriter w;
        c.write(w);
        EXPECT_EQ(w.Bytes(), Hex(c.bytes)) << c.bytes;
    }
    // 253 bytes: the long form, one chunk with a UB4 length, then a zero length.
    TTtcWriter w;
    w.BytesWithLength(std::string(253, 'x'));
    Bytes expected = Hex("FE 01 FD") + Bytes(253, 'x') + Hex("00");
    EXPECT_EQ(w.Bytes(), expected);
    TTtcWriter big;
    big.BytesWithLength(std::string(40000, 'y'));
    EXPECT_EQ(Bytes(big.Bytes().begin(), big.Bytes().begin() + 4), Hex("FE 02 7F FF"));
    EXPECT_EQ(Bytes(big.Bytes().begin() + 4 + 32767, big.Bytes().begin() + 4 + 32767 + 3), Hex("02 1C 41"));
}

TEST(CurrentTtcPrimitives, ReadAcrossPacketsAndChecked) {
    TScriptSocket sock;
    sock.connected = true;
    // Values cut at packet boundaries: a UB4 after its length byte, a chunked string inside its chunk.
    sock.input = Data4(Hex("02 01")) + Data4(Hex("00 81 05 FE 01 03 41")) +
                 Data4(Hex("42 43 01 02 44 45 00 FF 03 5A"));
    TTnsLink link(sock, Accept319());
    TTtcReader r(link);
    EXPECT_EQ(r.UB4(), 256u);
    EXPECT_EQ(r.SB2(), -5);
    EXPECT_EQ(r.BytesWithLength(), "ABCDE");
    EXPECT_EQ(r.BytesWithLength(), "");           // 255: null
    EXPECT_THROW(r.BytesWithLength(), ENetError); // the string runs past the end of the stream

    struct {
        const char* input;
        std::function<void(TTtcReader&)> read;
    } bad[] = {
        {"03 01 02 03", [](TTtcReader& x) { x.UB2(); }},       // too wide for a UB2
        {"81 01", [](TTtcReader& x) { x.UB4(); }},             // negative where none is allowed
        {"05 01 02 03 04 05", [](TTtcReader& x) { x.UB4(); }}, // too wide for a UB4
        {"FE 04 7F FF FF FF", [](TTtcReader& x) { x.BytesWithLength(100); }}, // over the limit
        {"10 41", [](TTtcReader& x) { x.BytesWithLength(8); }},
        {"41 42 43", [](TTtcReader& x) { x.NullTerminated(2); }},
    };
    for (auto& c : bad) {
        TScriptSocket s;
        s.connected = true;
        s.input = Data4(Hex(c.input));
        TTnsLink l(s, Accept319());
        TTtcReader x(l);
        EXPECT_THROW(c.read(x), EDBError) << c.input;
    }
}

TEST(CurrentLogon, NegotiationReadsTheServersFacts) {
    SessionRig r(Data4(ProtocolReply(12)) + Data4(DataTypesReply()));
    r.s->Negotiate();
    const TServerFacts& f = r.s->Server();
    EXPECT_EQ(f.ttcVersion, 6);
    EXPECT_EQ(f.banner, "Oracle Database 19c");
    EXPECT_EQ(f.charset, 873);
    EXPECT_EQ(f.ncharset, 2000);
    EXPECT_EQ(f.fieldVersion, 12); // the lower of the server's and ours
    EXPECT_EQ(f.maxString, 32767u);
    Bytes sent = r.Sent();
    Bytes protocol = Hex("01 06 00") + Text("Vestra") + Bytes{0};
    ASSERT_GT(sent.size(), protocol.size() + 10);
    EXPECT_EQ(Bytes(sent.begin(), sent.begin() + long(protocol.size())), protocol);
    // Data types: AL32UTF8 twice, the flags, 53 capability bytes naming the agreed field version.
    Bytes types(sent.begin() + long(protocol.size()), sent.end());
    EXPECT_EQ(Bytes(types.begin(), types.begin() + 7), Hex("02 69 03 69 03 03 35"));
    EXPECT_EQ(types[7 + 7], 12);
    EXPECT_EQ(Bytes(types.end() - 2, types.end()), Hex("00 00"));
    // The types that must arrive in their own forms are named as themselves in the universal representation.
    for (uint16_t t : {100, 101, 180, 181, 182, 183, 208, 231, 252}) {
        Bytes entry{uint8_t(t >> 8), uint8_t(t), uint8_t(t >> 8), uint8_t(t), 0, 1, 0, 0};
        EXPECT_NE(std::search(types.begin(), types.end(), entry.begin(), entry.end()), types.end()) << t;
    }

    SessionRig newer(Data4(ProtocolReply(24)) + Data4(DataTypesReply()));
    newer.s->Negotiate();
    EXPECT_EQ(newer.s->Server().fieldVersion, TCurrentSession::FieldVersion);
}

TEST(CurrentLogon, MalformedNegotiationReplies) {
    // A format descriptor too short for the national character set (twice: its variable parts point past
    // its end), an answer of another type, a truncated answer.
    for (const Bytes& reply :
         {ProtocolReply(12, Hex("00 00 00")), ProtocolReply(12, Hex("00 00 00 00 00 09 09 00")), Hex("07 00"),
          Hex("01 06 00 41 00 69")}) {
        SessionRig r(Data4(reply) + Data4(DataTypesReply()));
        EXPECT_THROW(r.s->Negotiate(), std::exception);
    }
}

TEST(CurrentLogon, BothPhasesCarryTheSessionDataAndTheServerProvesItself) {
    SessionRig r(Data4(PhaseOne11g()) +
                 Data4(Parameters({Pair("AUTH_VERSION_NO", "318767104"), Pair("AUTH_SVR_RESPONSE", Proof11g),
                                   Pair("AUTH_SESSION_ID", "17")}) +
                       ErrorInfo(0)));
    TCallEnd end = r.s->Logon("SCOTT", "tiger", Client());
    EXPECT_EQ(end.code, 0u);
    EXPECT_EQ(end.warningCode, 0);
    EXPECT_EQ(r.s->Server().versionNumber, 318767104u);
    EXPECT_EQ(r.s->Server().sessionId, "17");
    Bytes sent = r.Sent();
    Bytes phaseOne = Hex("03 76 01 01 01 05 02 01 01 01 01 05 00 01 05") + Text("SCOTT") + Hex("01 0D 0D") +
                     Text("AUTH_TERMINAL") + Hex("01 07 07") + Text("unknown") + Hex("00") + Hex("01 0F 0F") +
                     Text("AUTH_PROGRAM_NM") + Hex("01 06 06") + Text("vestra") + Hex("00") +
                     Hex("01 0C 0C") + Text("AUTH_MACHINE") + Hex("01 05 05") + Text("host1") + Hex("00") +
                     Hex("01 08 08") + Text("AUTH_PID") + Hex("01 02 02") + Text("12") + Hex("00") +
                     Hex("01 08 08") + Text("AUTH_SID") + Hex("01 05 05") + Text("alice") + Hex("00");
    ASSERT_GT(sent.size(), phaseOne.size());
    EXPECT_EQ(Bytes(sent.begin(), sent.begin() + long(phaseOne.size())), phaseOne);
    // Phase two: sequence 2, six pairs for an 11G account, the client's key half first; the password never
    // travels as it stands.
    std::string two(sent.begin() + long(phaseOne.size()), sent.end());
    EXPECT_EQ(two.substr(0, 15),
              std::string("\x03\x73\x02\x01\x01\x05\x02\x01\x01\x01\x01\x06\x01\x01\x05", 15));
    EXPECT_NE(two.find("AUTH_SESSKEY\x01\x60\x60"
                       "569650FC95504B07"),
              std::string::npos);
    EXPECT_NE(two.find("SESSION_CLIENT_DRIVER_NAME\x01\x06\x06Vestra"), std::string::npos);
    EXPECT_NE(two.find("AUTH_PASSWORD\x01\x40\x40"
                       "85B76F1DA0002CF8"),
              std::string::npos);
    EXPECT_EQ(two.find("AUTH_PBKDF2_SPEEDY_KEY"), std::string::npos);
    EXPECT_EQ(two.find("tiger"), std::string::npos);
}

TEST(CurrentLogon, RefusalsWarningsAndMissingProof) {
    SessionRig wrong(Data4(PhaseOne11g()) +
                     Data4(ErrorInfo(1017, "ORA-01017: invalid username/password; logon denied")));
    TCallEnd end = wrong.s->Logon("SCOTT", "tiger", Client());
    EXPECT_EQ(end.code, 1017u);
    EXPECT_EQ(end.message, "ORA-01017: invalid username/password; logon denied");

    SessionRig expiring(Data4(PhaseOne11g()) +
                        Data4(Parameters({Pair("AUTH_SVR_RESPONSE", Proof11g)}) +
                              ErrorInfo(28002, "ORA-28002: the password will expire within 7 days")));
    end = expiring.s->Logon("SCOTT", "tiger", Client());
    EXPECT_EQ(end.code, 0u);
    EXPECT_EQ(end.warningCode, 28002);
    EXPECT_EQ(end.warning, "ORA-28002: the password will expire within 7 days");

    // The same as a warning message beside a successful end of the call.
    SessionRig warned(Data4(PhaseOne11g()) +
                      Data4(Parameters({Pair("AUTH_SVR_RESPONSE", Proof11g)}) + Hex("0F 02 6D 62 01 10 00") +
                            Str("ORA-28002: soon") + ErrorInfo(0)));
    end = warned.s->Logon("SCOTT", "tiger", Client());
    EXPECT_EQ(end.code, 0u);
    EXPECT_EQ(end.warningCode, 28002);
    EXPECT_EQ(end.warning, "ORA-28002: soon");

    // A server that accepts the logon without proving that it knows the password is not trusted.
    SessionRig impostor(Data4(PhaseOne11g()) +
                        Data4(Parameters({Pair("AUTH_SVR_RESPONSE", std::string(96, '0'))}) + ErrorInfo(0)));
    EXPECT_THROW(impostor.s->Logon("SCOTT", "tiger", Client()), std::runtime_error);

    SessionRig unknownVerifier(
        Data4(Parameters({Pair("AUTH_SESSKEY", "00"), Pair("AUTH_VFR_DATA", "AB", 0x1234)}) + ErrorInfo(0)));
    EXPECT_THROW(unknownVerifier.s->Logon("SCOTT", "tiger", Client()), std::runtime_error);

    // A parameter message where the call has none to take, and a message type nobody sends.
    SessionRig stray(Data4(Parameters({Pair("X", "Y")}) + ErrorInfo(0)));
    EXPECT_THROW(stray.s->Simple(fnCommit), EDBError);
    SessionRig unknown(Data4(Hex("63")));
    EXPECT_THROW(unknown.s->Simple(fnCommit), EDBError);
}

TEST(CurrentLogon, CallsReportErrorsWithRowsAndServerPiggybacksAreReadOver) {
    // A session-settings piggyback (one key and value), then the end of the call with an error.
    Bytes piggyback =
        Hex("17 05 00 00 01 01 00") + Hex("01 01") + Str("K") + Hex("01 01") + Str("V") + Hex("00 00");
    SessionRig r(Data4(piggyback + ErrorInfo(2091, "ORA-02091: transaction rolled back", 3)));
    TCallEnd end = r.s->Simple(fnCommit);
    EXPECT_EQ(end.code, 2091u);
    EXPECT_EQ(end.rows, 3u);
    EXPECT_EQ(end.offset, -1);
    EXPECT_EQ(end.message, "ORA-02091: transaction rolled back");
    EXPECT_EQ(r.Sent(), Hex("03 0E 01"));
}

TEST(CurrentFetch, ColumnsLeftOutRepeatThePreviousRow) {
    std::vector<TColumnInfo> cols(3);
    cols[0].type = 1, cols[0].maxSize = 10;
    cols[1].type = 2, cols[1].maxSize = 22;
    cols[2].type = 11, cols[2].maxSize = 18; // ROWID: block address parts instead of a byte string
    Bytes rowHeader = Hex("06 00 00 00 00 00 00 00");
    Bytes rowid =
        Hex("01 02 01 00 01 01 00 02 01 00 01 05"); // present, object 256, file 1, block 256, slot 5
    Bytes reply = rowHeader + Bytes{7} + Str("AB") + Hex("02 C1 02") + rowid + // row 1: every column
                  Hex("15 01 01 01") + Bytes{7} + Str("CD") +                  // row 2: the first one only
                  Hex("15 01 02 06") + Bytes{7} + Hex("00 FF") + // row 3: NUMBER and ROWID, both NULL
                  ErrorInfo(1403, "ORA-01403: no data found", 3);
    SessionRig r(Data4(reply));
    std::vector<std::vector<std::string>> got(3, std::vector<std::string>(3, "<null>"));
    uint32_t rows = 0;
    TCallEnd end = r.s->Fetch(
        7, 10, cols,
        [&](uint32_t row, size_t col, const std::string* v) {
            if (v) got[row][col] = *v;
        },
        rows);
    EXPECT_EQ(end.code, 1403u);
    EXPECT_EQ(end.rows, 3u);
    ASSERT_EQ(rows, 3u);
    EXPECT_EQ(got[0], (std::vector<std::string>{"AB", "\xC1\x02", "AAAAEAAABAAAAEAAAF"}));
    EXPECT_EQ(got[1], (std::vector<std::string>{"CD", "\xC1\x02", "AAAAEAAABAAAAEAAAF"}));
    EXPECT_EQ(got[2], (std::vector<std::string>{"CD", "<null>", "<null>"}));
    EXPECT_EQ(r.Sent(), Hex("03 05 01 01 07 01 0A"));

    // More rows than asked for cannot be placed: a protocol violation, not an overrun.
    SessionRig over(Data4(rowHeader + Bytes{7} + Str("A") + Hex("02 C1 02 00") + Bytes{7} + Str("B") +
                          Hex("02 C1 02 00") + ErrorInfo(0)));
    EXPECT_THROW(over.s->Fetch(
                     7, 1, cols, [](uint32_t, size_t, const std::string*) {}, rows),
                 EDBError);
}

TEST(CurrentFetch, UniversalRowidsAndDateTimesKeepTheStreamInStep) {
    std::vector<TColumnInfo> cols(3);
    cols[0].type = 208, cols[0].maxSize = 0; // UROWID: read even when described without a size
    cols[1].type = 181, cols[1].maxSize = 13;
    cols[2].type = 1, cols[2].maxSize = 10;
    Bytes physical = Hex("01 01 0D 01 00 00 01 00 00 01 00 00 01 00 00 05");
    Bytes tstz = Hex("0D 78 7C 01 01 0B 01 01 00 00 00 00 22 3C");
    Bytes reply = Hex("06 00 00 00 00 00 00 00") + Bytes{7} + physical + tstz + Str("AB") + // row 1
                  Bytes{7} + Hex("00") + Hex("00") + Str("CD") +                            // row 2: NULLs
                  ErrorInfo(1403, "ORA-01403: no data found", 2);
    SessionRig r(Data4(reply));
    std::vector<std::vector<std::string>> got(2, std::vector<std::string>(3, "<null>"));
    uint32_t rows = 0;
    TCallEnd end = r.s->Fetch(
        7, 10, cols,
        [&](uint32_t row, size_t col, const std::string* v) {
            if (v) got[row][col] = *v;
        },
        rows);
    EXPECT_EQ(end.code, 1403u);
    ASSERT_EQ(rows, 2u);
    EXPECT_EQ(got[0][0], std::string("\x01\x00\x00\x01\x00\x00\x01\x00\x00\x01\x00\x00\x05", 13));
    EXPECT_EQ(got[0][1].size(), 13u);
    EXPECT_EQ(got[0][2], "AB");
    EXPECT_EQ(got[1], (std::vector<std::string>{"<null>", "<null>", "CD"}));
}

TEST(CurrentFetch, DescribeAndClosePiggybacked) {
    // Describe info of one VARCHAR2(20) column named DNAME, then the end of the call naming cursor 9.
    Bytes describe = Hex("10 00") + Hex("01 50") + Hex("01 01 00") +
                     Hex("01 00 00 00 01 14 00 00 00 00 00 01 01 14 01 00") + Hex("01 05") + Str("DNAME") +
                     Hex("00 00 00 00") + Hex("00 00 00 00 00 00");
    Bytes end = ErrorInfo(0, "", 0, 9);
    SessionRig r(Data4(describe + end) + Data4(ErrorInfo(0)));
    uint32_t cursor = 0;
    std::vector<TColumnInfo> cols;
    TCallEnd e = r.s->Execute(cursor, "SELECT DNAME FROM DEPT", true, false, false, cols);
    EXPECT_EQ(e.code, 0u);
    EXPECT_EQ(cursor, 9u);
    ASSERT_EQ(cols.size(), 1u);
    EXPECT_EQ(cols[0].type, 1);
    EXPECT_EQ(cols[0].maxSize, 20u);
    EXPECT_EQ(cols[0].name, "DNAME");
    EXPECT_TRUE(cols[0].nullable);
    // The next call carries the close of cursor 9 in front of it.
    r.s->CloseCursorLater(9);
    r.sock.sent.clear();
    r.s->Simple(fnCommit);
    EXPECT_EQ(r.Sent(), Hex("11 69 02 01 01 01 01 09 03 0E 03"));
}

TEST(CurrentText, ServerTextBecomesWindows1252WithVisibleSubstitutes) {
    struct {
        const char* raw;
        size_t length;
        bool national;
        const char* text;
        bool substituted;
    } cases[] = {
        {"plain", 5, false, "plain", false},
        {"caf\xC3\xA9", 5, false, "caf\xE9", false}, // e acute has a 1252 byte
        {"\xE2\x82\xAC", 3, false, "\x80", false},   // so has the euro sign
        {"\xCE\xA9x", 3, false, "?x", true},         // Greek capital omega has none
        {"\x00\x41\x03\xA9", 4, true, "A?", true},   // the national set: UTF-16, big-endian
        {"\x00\xE9", 2, true, "\xE9", false},
        {"\xFF\xFE", 2, false, "??", true}, // malformed UTF-8 is substituted as well
    };
    for (auto& c : cases) {
        std::string out;
        EXPECT_EQ(ServerTextToCp1252(std::string(c.raw, c.length), c.national, out), c.substituted) << c.text;
        EXPECT_EQ(out, c.text);
    }
}

namespace {

// A statement handle on a current session over a scripted server.
struct CursorRig {
    TScriptSocket sock;
    std::unique_ptr<TNetConnection> conn;
    TNetCursor cur{nullptr};
    TNetErrorHandle err{nullptr};
    char text[2][64] = {};
    sb2 ind[2] = {};
    ub2 len[2] = {};
    explicit CursorRig(const Bytes& replies) {
        sock.connected = true;
        sock.input = replies;
        auto unused = std::make_unique<TScriptSocket>();
        unused->connected = true;
        conn = std::make_unique<TNetConnection>(nullptr, std::move(unused));
        conn->current = std::make_unique<TCurrentSession>(sock, Accept319(), std::string_view());
        cur.connection = conn.get();
    }
    // One column defined as zero-terminated text, two rows.
    void DefineText() {
        auto d = std::make_unique<TNetDefine>(nullptr);
        d->dataType = oracall::SQLT_STR;
        d->value = text;
        d->valueSize = sizeof text[0];
        d->valueSkip = sizeof text[0];
        d->indicator = ind;
        d->length = len;
        cur.defines.clear();
        cur.defines.push_back(std::move(d));
    }
};

// Describe info of one column of the given type and size 20, then the call's end naming cursor 9.
Bytes DescribeOne(uint8_t type) {
    return Hex("10 00 01 50 01 01 00") + Bytes{type} + Hex("00 00 00 01 14 00 00 00 00 00 01 01 14 01 00") +
           Hex("01 01") + Str("C") + Hex("00 00 00 00") + Hex("00 00 00 00 00 00") + ErrorInfo(0, "", 0, 9);
}

// One bind of each kind a block hands back: a string (in/out), a cursor (out) and a CLOB locator (out).
TCallBinds ThreeBinds(std::vector<std::string>& got, std::vector<uint32_t>& cursors,
                      std::vector<std::vector<TColumnInfo>>& lists) {
    TCallBinds b;
    b.descs.resize(3);
    b.descs[0].type = 1, b.descs[0].maxSize = 10, b.descs[0].charsetForm = 1;
    b.descs[1].type = 102, b.descs[1].maxSize = 4;
    b.descs[2].type = 112, b.descs[2].maxSize = 112, b.descs[2].contFlags = 0x2000000,
    b.descs[2].charsetForm = 1;
    b.plsql = true;
    b.writeRow = [](TTtcWriter& w, uint32_t) {
        w.BytesWithLength("in");
        w.U8(1), w.U8(0);
        w.U8(0);
    };
    got.assign(3, "<none>");
    cursors.assign(3, 0);
    lists.assign(3, {});
    b.out = [&](size_t i, const std::string* raw, uint32_t cursor, const std::vector<TColumnInfo>* cols) {
        got[i] = raw ? *raw : "<null>";
        cursors[i] = cursor;
        if (cols) lists[i] = *cols;
    };
    return b;
}

// The I/O vector of three binds: in/out, out, out.
Bytes IoVector3() {
    return Hex("0B 00 01 03 00 01 01 00 00 00") + Hex("30 10 10");
}

// The select list of one NUMBER column named N, as a cursor's value carries it.
Bytes CursorBody() {
    return Hex("01 16") + Hex("01 01 00") + Hex("02 00 00 81 01 16 00 00 00 00 00 00 00 01 01") +
           Hex("01 01") + Str("N") + Hex("00 00 00 00") + Hex("00 00 00 00 00 00");
}

} // namespace

TEST(CurrentCursor, RefusedTypesAndBadValuesLeaveTheConnectionUsable) {
    // A JSON column (23ai): refused with the type's number; the cursor is closed with the next call.
    Bytes badDay = Hex("07 78 7B 0D 01 01 01 01");              // month 13
    Bytes goodDay = Hex("0B 78 7C 02 1D 0E 2E 01 07 5B CD 15"); // 2024-02-29 13:45:00.123456789
    Bytes rows = Hex("06 00 00 00 00 00 00 00") + Bytes{7} + badDay + Bytes{7} + goodDay +
                 ErrorInfo(1403, "ORA-01403: no data found", 2);
    CursorRig r(Data4(DescribeOne(119)) + Data4(DescribeOne(180)) + Data4(rows) + Data4(ErrorInfo(0)));
    r.cur.Analyse("SELECT J FROM T");
    EXPECT_EQ(r.cur.ExecuteCurrent(0, 1, &r.err), -1);
    EXPECT_EQ(r.err.message, "Datentyp wird nicht unterst\xFCtzt (119)");

    r.sock.sent.clear();
    r.cur.Analyse("SELECT TS FROM T");
    ASSERT_EQ(r.cur.ExecuteCurrent(0, 1, &r.err), 0);
    Bytes sent = Payload4(r.sock.sent);
    Bytes close = Hex("01 01 01 01 09"); // one cursor, number 9
    ASSERT_GE(sent.size(), 2u);
    EXPECT_EQ(Bytes(sent.begin(), sent.begin() + 2), Hex("11 69"));
    EXPECT_NE(std::search(sent.begin(), sent.end(), close.begin(), close.end()), sent.end());
    ASSERT_EQ(r.cur.columns.size(), 1u);
    EXPECT_EQ(r.cur.columns[0]->dataType, 1); // shown as text
    EXPECT_EQ(r.cur.columns[0]->dataSize, 30);

    // A day no calendar holds: that value is NULL, the good one arrives, the fetch ends with the reason.
    r.DefineText();
    EXPECT_EQ(r.cur.FetchCurrent(2, &r.err), -1);
    EXPECT_EQ(r.err.message,
              "Ung\xFCltiger Wert vom Server in Spalte 1 (TIMESTAMP): Datum oder Uhrzeit au\xDF"
              "erhalb des Bereichs");
    EXPECT_EQ(r.ind[0], -1);
    EXPECT_EQ(r.ind[1], 0);
    EXPECT_STREQ(r.text[1], "2024-02-29 13:45:00.123456789");
    // The whole reply was read: the next call gets its own answer.
    EXPECT_EQ(r.conn->current->Simple(fnCommit).code, 0u);
}

TEST(CurrentBinds, AnExecuteDescribesItsBindsAndSendsTheirRows) {
    SessionRig r(Data4(ErrorInfo(0, "", 1, 4)));
    TCallBinds b;
    b.descs.resize(1);
    b.descs[0].type = 2, b.descs[0].maxSize = 22;
    b.rows = 2;
    b.writeRow = [](TTtcWriter& w, uint32_t row) { w.BytesWithLength(row == 0 ? "\xC1\x02" : "\xC1\x03"); };
    uint32_t cursor = 0;
    std::vector<TColumnInfo> cols;
    TCallEnd e = r.s->Execute(cursor, "INSERT INTO T VALUES (:1)", false, false, false, cols, &b);
    EXPECT_EQ(e.code, 0u);
    EXPECT_EQ(cursor, 4u);
    Bytes sent = r.Sent();
    // Options: parse, binds, execute, not PL/SQL; one bind.
    ASSERT_GE(sent.size(), 8u);
    EXPECT_EQ(Bytes(sent.begin(), sent.begin() + 6), Hex("03 5E 01 02 80 29"));
    // After the statement and its al8i4 (two executions): the description as Oracle's thin driver writes it,
    // then a row-data message per row of values.
    Bytes tail = Str("INSERT INTO T VALUES (:1)") + Hex("01 01 01 02") + Hex("00 00 00 00 00 00 00") +
                 Hex("02 80 00 00 00 00") + Hex("02 01 00 00 01 16 00 00 00 00 00 00 00") +
                 Hex("07 02 C1 02") + Hex("07 02 C1 03");
    ASSERT_GE(sent.size(), tail.size());
    EXPECT_EQ(Bytes(sent.end() - long(tail.size()), sent.end()), tail);
}

TEST(CurrentBinds, ABlockHandsBackTextCursorsAndLocators) {
    Bytes reply = IoVector3() + Bytes{7} + Str("out") +
                  Hex("00") + // the string and its count beyond the room
                  Hex("01") + CursorBody() + Hex("01 0B") + Hex("00") + // cursor 11 with its select list
                  Hex("01 03") + Hex("01 05 02 7F 00") + Str("LOC") + Hex("00") + ErrorInfo(0);
    SessionRig r(Data4(reply));
    std::vector<std::string> got;
    std::vector<uint32_t> cursors;
    std::vector<std::vector<TColumnInfo>> lists;
    TCallBinds b = ThreeBinds(got, cursors, lists);
    uint32_t cursor = 0;
    std::vector<TColumnInfo> cols;
    TCallEnd e = r.s->Execute(cursor, "BEGIN X(:A, :C, :L); END;", false, true, false, cols, &b);
    EXPECT_EQ(e.code, 0u);
    EXPECT_EQ(got[0], "out");
    EXPECT_EQ(cursors[1], 11u);
    ASSERT_EQ(lists[1].size(), 1u);
    EXPECT_EQ(lists[1][0].type, 2);
    EXPECT_EQ(lists[1][0].name, "N");
    EXPECT_EQ(got[2], "LOC");
    // The options of a block with binds: parse, binds, execute, PL/SQL binds.
    Bytes sent = r.Sent();
    ASSERT_GE(sent.size(), 6u);
    EXPECT_EQ(Bytes(sent.begin(), sent.begin() + 6), Hex("03 5E 01 02 04 29"));

    // NULLs of each: an empty string, no cursor, no locator.
    SessionRig n(Data4(IoVector3() + Bytes{7} + Hex("00 00") + Hex("00 00") + Hex("00 00") + ErrorInfo(0)));
    TCallBinds nb = ThreeBinds(got, cursors, lists);
    cursor = 0;
    EXPECT_EQ(n.s->Execute(cursor, "BEGIN X(:A, :C, :L); END;", false, true, false, cols, &nb).code, 0u);
    EXPECT_EQ(got, (std::vector<std::string>{"<null>", "<null>", "<null>"}));
}

TEST(CurrentBinds, MalformedOutputsAreProtocolViolations) {
    std::vector<std::string> got;
    std::vector<uint32_t> cursors;
    std::vector<std::vector<TColumnInfo>> lists;
    const Bytes cases[] = {
        // Row data before any I/O vector names the outputs.
        Bytes{7} + Str("out") + Hex("00") + ErrorInfo(0),
        // An I/O vector for another number of binds.
        Hex("0B 00 01 02 00 01 01 00 00 00 30 10") + ErrorInfo(0),
        // A cursor's select list announcing more columns than any statement has.
        IoVector3() + Bytes{7} + Str("out") + Hex("00") + Hex("01 01 16 02 27 10 00") + ErrorInfo(0),
        // A value cut short by the end of the reply.
        IoVector3() + Bytes{7} + Hex("05 61 62"),
    };
    for (const Bytes& reply : cases) {
        SessionRig r(Data4(reply));
        TCallBinds b = ThreeBinds(got, cursors, lists);
        uint32_t cursor = 0;
        std::vector<TColumnInfo> cols;
        EXPECT_ANY_THROW(r.s->Execute(cursor, "BEGIN X(:A, :C, :L); END;", false, true, false, cols, &b));
    }
}

TEST(CurrentBinds, TheFirstFetchOfARefCursorIsAnExecuteThatFetches) {
    std::vector<TColumnInfo> cols(1);
    cols[0].type = 2, cols[0].maxSize = 22;
    Bytes reply = Hex("06 00 00 00 00 00 00 00") + Bytes{7} + Hex("02 C1 0B") + Bytes{7} + Hex("02 C1 15") +
                  ErrorInfo(1403, "ORA-01403: no data found", 2);
    SessionRig r(Data4(reply));
    std::vector<std::string> got;
    uint32_t rows = 0;
    TCallEnd end = r.s->FirstFetch(
        11, 10, cols, [&](uint32_t, size_t, const std::string* v) { got.push_back(v ? *v : "<null>"); },
        rows);
    EXPECT_EQ(end.code, 1403u);
    EXPECT_EQ(rows, 2u);
    EXPECT_EQ(got, (std::vector<std::string>{"\xC1\x0B", "\xC1\x15"}));
    // Fetch and not PL/SQL, cursor 11 without text, ten rows to prefetch; a query executed ten times.
    Bytes sent = r.Sent();
    Bytes head = Hex("03 5E 01 02 80 40 01 0B 00 00 01 01 0D 00 00 00 01 0A");
    ASSERT_GE(sent.size(), head.size());
    EXPECT_EQ(Bytes(sent.begin(), sent.begin() + long(head.size())), head);
    Bytes al8i4 = Hex("00 01 0A 00 00 00 00 00 01 01 00 00 00 00 00");
    EXPECT_EQ(Bytes(sent.end() - long(al8i4.size()), sent.end()), al8i4);
}
