// The LOB call of the current generation byte for byte: its requests for each operation, the replies it
// reads (data, the locator's new state, the amount), LOB columns in fetched rows, the define that asks for
// them, LONG values with their trailer, and what a hostile server's replies lead to.
#include "ScriptSocket.h"
#include "oranet/NetErrors.h"
#include "oranet/NetSession315.h"
#include "oranet/NetTtc.h"

#include <gtest/gtest.h>

using namespace oranet;
using namespace vtest;

namespace {

Bytes Data4(const Bytes& payload) {
    size_t len = 10 + payload.size();
    return Bytes{uint8_t(len >> 24), uint8_t(len >> 16), uint8_t(len >> 8), uint8_t(len), 6, 0, 0, 0, 0, 0} +
           payload;
}

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

Bytes Str(const std::string& s) {
    return Bytes{uint8_t(s.size())} + FromText(s);
}

// The error-information message of a 19c server.
Bytes ErrorInfo(uint32_t code, const std::string& text = "") {
    Bytes b = Hex("04 00 00 00 00 00 00 00 81 01 00 00 00 00 00 00") + Hex("00 00 00 00 00") +
              Hex("00 00 00 00 00 00 00 00 00");
    b = b + (code == 0 ? Bytes{0} : Bytes{2, uint8_t(code >> 8), uint8_t(code)}) + Bytes{0};
    if (code != 0) b = b + Str(text + "\n");
    return b;
}

// A locator of n bytes: its length in the first two, the rest counting up from seed.
std::string Locator(size_t n, uint8_t seed) {
    std::string l(n, '\0');
    l[0] = char((n - 2) >> 8), l[1] = char(n - 2);
    for (size_t i = 2; i < n; ++i)
        l[i] = char(seed + i);
    return l;
}

Bytes B(const std::string& s) {
    return FromText(s);
}

struct SessionRig {
    TScriptSocket sock;
    std::unique_ptr<TCurrentSession> s;
    explicit SessionRig(const Bytes& replies) {
        sock.connected = true;
        sock.input = replies;
        TAcceptInfo a;
        a.version = 319;
        a.sdu = 8192;
        s = std::make_unique<TCurrentSession>(sock, a, std::string_view());
    }
    Bytes Sent() { return Payload4(sock.sent); }
};

} // namespace

TEST(CurrentLobCall, RequestsOfEachOperation) {
    const std::string loc = Locator(20, 0x40);
    // Function 96, sequence 1, the source locator's presence and length, the fixed fields, the operation,
    // both offsets, whether an amount follows, three two-byte zeros, the locator, then per operation its
    // character set, its data or its amount.
    const Bytes head = Hex("03 60 01") + Hex("01 01 14") + Hex("00 00 00 00");
    struct {
        const char* what;
        TLobCall call;
        std::string data;
        Bytes expected;
    } cases[] = {
        {"length",
         {lobGetLength, nullptr, 0, 0, 0, true, 0},
         "",
         head + Hex("00 00 00 01 01 00 00 00 00 01 00 00 00 00 00 00") + B(loc) + Hex("00")},
        {"read",
         {lobRead, nullptr, 11, 0, 0, true, 5},
         "",
         head + Hex("00 00 00 01 02 00 00 01 0B 00 01 00 00 00 00 00 00") + B(loc) + Hex("01 05")},
        {"read far",
         {lobRead, nullptr, 0x123456789ull, 0, 0, true, 1u << 20},
         "",
         head + Hex("00 00 00 01 02 00 00 08 00 00 00 01 23 45 67 89 00 01 00 00 00 00 00 00") + B(loc) +
             Hex("04 00 10 00 00")},
        {"write",
         {lobWrite, nullptr, 3, 0, 0, false, 0},
         "XYZ",
         head + Hex("00 00 00 01 40 00 00 01 03 00 00 00 00 00 00 00 00") + B(loc) + Hex("0E 03") + B("XYZ")},
        {"trim",
         {lobTrim, nullptr, 0, 0, 0, true, 8},
         "",
         head + Hex("00 00 00 01 20 00 00 00 00 01 00 00 00 00 00 00") + B(loc) + Hex("01 08")},
        {"free temporary",
         {lobFreeTemp, nullptr, 0, 0, 0, false, 0},
         "",
         head + Hex("00 00 00 02 01 11 00 00 00 00 00 00 00 00 00 00 00") + B(loc)},
    };
    for (auto& c : cases) {
        std::string l = loc;
        SessionRig r(Data4(Hex("08") + B(loc) + (c.call.sendAmount ? Hex("00") : Bytes{}) + ErrorInfo(0)));
        TLobCall call = c.call;
        call.locator = &l;
        if (!c.data.empty()) call.data = &c.data;
        EXPECT_EQ(r.s->Lob(call).code, 0u) << c.what;
        EXPECT_EQ(r.Sent(), c.expected) << c.what;
    }
    // Creating a temporary LOB: 40 bytes of room, the duration, the character set and its flag come back,
    // the type in the destination offset, the form in the source offset, the character set after the locator.
    std::string room(40, '\0');
    const std::string made = Locator(40, 0x70);
    SessionRig r(Data4(Hex("08") + B(made) + Hex("02 03 69 00") + ErrorInfo(0)));
    TLobCall create;
    create.operation = lobCreateTemp;
    create.locator = &room;
    create.sourceOffset = 1;
    create.destinationOffset = 112;
    create.destinationLength = 10;
    create.charset = 873;
    EXPECT_EQ(r.s->Lob(create).code, 0u);
    EXPECT_EQ(
        r.Sent(),
        Hex("03 60 01 01 01 28 00 01 0A 00 00 01 00 01 02 01 10 00 00 01 01 01 70 00 00 00 00 00 00 00") +
            Bytes(40, 0) + Hex("02 03 69"));
    EXPECT_EQ(room, made);
}

TEST(CurrentLobCall, RepliesGiveDataLocatorAndAmount) {
    const std::string loc = Locator(20, 0x40), changed = Locator(20, 0x50);
    std::string l = loc, got;
    SessionRig r(Data4(Hex("0E") + Str("klmno") + Hex("08") + B(changed) + Hex("01 05") + ErrorInfo(0)));
    TLobCall read;
    read.operation = lobRead;
    read.locator = &l;
    read.sourceOffset = 11;
    read.sendAmount = true;
    read.amount = 5;
    read.received = &got;
    read.receivedLimit = 5;
    EXPECT_EQ(r.s->Lob(read).code, 0u);
    EXPECT_EQ(got, "klmno");
    EXPECT_EQ(read.amount, 5u);
    EXPECT_EQ(l, changed); // the server's state of the locator replaces ours

    // Data in chunks (the long form) is joined.
    std::string big(600, 'q');
    Bytes chunked =
        Hex("0E FE 02 01 2C") + B(big.substr(0, 300)) + Hex("02 01 2C") + B(big.substr(300)) + Hex("00");
    SessionRig c(Data4(chunked + Hex("08") + B(loc) + Hex("02 02 58") + ErrorInfo(0)));
    l = loc;
    read.amount = 600;
    read.receivedLimit = 600;
    EXPECT_EQ(c.s->Lob(read).code, 0u);
    EXPECT_EQ(got, big);
    EXPECT_EQ(read.amount, 600u);

    // A refused call ends with the server's error and leaves the locator alone.
    SessionRig e(Data4(ErrorInfo(22275, "ORA-22275: invalid LOB locator specified")));
    TLobCall length;
    length.operation = lobGetLength;
    length.locator = &l;
    length.sendAmount = true;
    TCallEnd end = e.s->Lob(length);
    EXPECT_EQ(end.code, 22275u);
    EXPECT_EQ(end.message, "ORA-22275: invalid LOB locator specified");
    EXPECT_EQ(l, loc);
}

TEST(CurrentLobCall, HostileRepliesAreProtocolErrors) {
    const std::string loc = Locator(20, 0x40);
    struct {
        const char* what;
        Bytes reply;
        uint32_t operation;
    } cases[] = {
        // More data than the read asked for.
        {"data beyond the limit",
         Hex("0E") + Str("klmnopq") + Hex("08") + B(loc) + Hex("01 05") + ErrorInfo(0), lobRead},
        {"chunks beyond the limit", Hex("0E FE 01 04") + B("abcd") + Hex("01 04") + B("efgh") + Hex("00"),
         lobRead},
        // Data for an operation that reads none, twice for one that does.
        {"data for a length", Hex("0E") + Str("ab") + ErrorInfo(0), lobGetLength},
        {"data twice", Hex("0E") + Str("ab") + Hex("0E") + Str("cd") + ErrorInfo(0), lobRead},
        // A negative amount, an unknown message.
        {"negative amount", Hex("08") + B(loc) + Hex("81 05") + ErrorInfo(0), lobGetLength},
        {"unknown message", Hex("63 00"), lobGetLength},
    };
    for (auto& c : cases) {
        std::string l = loc, got;
        SessionRig r(Data4(c.reply));
        TLobCall call;
        call.operation = c.operation;
        call.locator = &l;
        call.sendAmount = true;
        call.amount = 5;
        if (c.operation == lobRead) call.received = &got, call.receivedLimit = 5;
        EXPECT_THROW(r.s->Lob(call), EDBError) << c.what;
    }
    // Data that claims more bytes than the connection delivers: the reply ends in an error, not a hang or an
    // overrun.
    std::string l = loc, got;
    SessionRig cut(Data4(Hex("0E 40") + B("only a few")));
    TLobCall read;
    read.operation = lobRead;
    read.locator = &l;
    read.sendAmount = true;
    read.amount = 100;
    read.received = &got;
    read.receivedLimit = 100;
    EXPECT_ANY_THROW(cut.s->Lob(read));
}

TEST(CurrentLobColumns, LocatorsWithLengthAndChunkSizeAndTheirLimits) {
    std::vector<TColumnInfo> cols(2);
    cols[0].type = 112, cols[0].maxSize = 4000, cols[0].defineSize = 4000;
    cols[1].type = 8, cols[1].maxSize = 0, cols[1].defineSize = 0x7FFFFFFF; // LONG: its value has a trailer
    const std::string loc = Locator(40, 0x10);
    Bytes rowHeader = Hex("06 00 00 00 00 00 00 00");
    Bytes lob =
        Hex("01 28") + Hex("02 27 10") + Hex("02 7F 00") + Str(loc); // 40 bytes, 10000 long, chunk 32512
    Bytes longValue = Str("long text") + Hex("00 00"); // indicator 0, return code 0; NULL: indicator -1
    Bytes reply = rowHeader + Hex("07") + lob + longValue + Hex("07 00 00 81 01 00") + ErrorInfo(0);
    SessionRig r(Data4(reply));
    std::vector<std::string> first(2), second(2, "set");
    uint32_t rows = 0;
    r.s->Fetch(
        3, 5, cols,
        [&](uint32_t row, size_t col, const std::string* v) {
            (row == 0 ? first : second)[col] = v ? *v : "<null>";
        },
        rows);
    ASSERT_EQ(rows, 2u);
    TLobValue value;
    ASSERT_TRUE(TLobValue::Unpack(first[0], value));
    EXPECT_EQ(value.length, 10000u);
    EXPECT_EQ(value.chunkSize, 32512u);
    EXPECT_EQ(value.locator, loc);
    EXPECT_EQ(first[1], "long text");
    EXPECT_EQ(second[0], "<null>");
    EXPECT_EQ(second[1], "<null>"); // a NULL LONG: 0xFF, indicator -1, return code 0

    // A locator longer than any server sends, and one shorter than announced.
    struct {
        const char* what;
        Bytes value;
    } bad[] = {
        {"absurd length", Hex("04 7F FF FF FF 01 05 01 01") + Str(loc)},
        {"longer than a locator can be", Hex("02 20 00 01 05 01 01") + Str(loc)},
        {"shorter than announced", Hex("01 30 01 05 01 01") + Str(loc)},
    };
    for (auto& b : bad) {
        SessionRig h(Data4(rowHeader + Hex("07") + b.value + longValue + ErrorInfo(0)));
        EXPECT_THROW(h.s->Fetch(
                         3, 5, cols, [](uint32_t, size_t, const std::string*) {}, rows),
                     EDBError)
            << b.what;
    }
}

TEST(CurrentLobColumns, TheDefineAsksForLocatorsWithTheirPrefetch) {
    std::vector<TColumnInfo> cols(3);
    cols[0].type = 2, cols[0].maxSize = 22;
    cols[1].type = 112, cols[1].maxSize = 4000, cols[1].charsetForm = 1;
    cols[2].type = 11, cols[2].maxSize = 18;
    SessionRig r(Data4(ErrorInfo(0)));
    ASSERT_EQ(r.s->Define(7, cols).code, 0u);
    Bytes sent = r.Sent();
    // The options (define, not PL/SQL), the cursor, no text, three defines.
    Bytes head = Hex("03 5E 01 02 80 10 01 07 00 00");
    ASSERT_GE(sent.size(), head.size());
    EXPECT_EQ(Bytes(sent.begin(), sent.begin() + long(head.size())), head);
    // The define descriptions close the request: NUMBER, the CLOB with the LOB prefetch flag, ROWID as text.
    Bytes defines = Hex("02 01 00 00 01 16 00 00 00 00 00 00 00") +
                    Hex("70 01 00 00 02 0F A0 00 04 02 00 00 00 00 00 02 03 69 01 00") +
                    Hex("01 01 00 00 02 14 93 00 00 00 00 00 00 00");
    ASSERT_GE(sent.size(), defines.size());
    EXPECT_EQ(Bytes(sent.end() - long(defines.size()), sent.end()), defines);
    EXPECT_EQ(cols[0].defineSize, 22u);
    EXPECT_EQ(cols[1].defineSize, 4000u);
    EXPECT_EQ(cols[2].defineSize, 5267u);
}

TEST(CurrentLobText, ClobTextBecomesWindows1252OneByteACodeUnit) {
    struct {
        const char* raw;
        size_t length;
        bool utf16;
        const char* text;
        size_t substituted;
    } cases[] = {
        {"plain", 5, false, "plain", 0},
        {"caf\xC3\xA9 \xE2\x82\xAC", 9, false, "caf\xE9 \x80", 0},
        {"\xCE\xA9x", 3, false, "?x", 1},
        {"\xF0\x9F\x98\x80.", 5, false, "??.", 1}, // outside the BMP: two code units on the server's count
        {"\xC3", 1, false, "?", 1},                // cut sequence
        {"\x00\x41\x20\xAC\x03\xA9", 6, true, "A\x80?", 1},
        {"\xD8\x3D\xDE\x00", 4, true, "??", 2}, // a surrogate pair
        {"\x00\x41\x00", 3, true, "A?", 1},     // an odd byte at the end
    };
    for (auto& c : cases) {
        std::string out;
        EXPECT_EQ(LobTextToCp1252(std::string_view(c.raw, c.length), c.utf16, out), c.substituted) << c.text;
        EXPECT_EQ(out, c.text);
    }
    EXPECT_EQ(Cp1252ToLobText("A\xE9\x80", false), "A\xC3\xA9\xE2\x82\xAC");
    EXPECT_EQ(Cp1252ToLobText("A\xE9\x80", true), std::string("\x00\x41\x00\xE9\x20\xAC", 6));
}
