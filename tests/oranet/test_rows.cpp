// Rows fetched into defines: the in-place reading of the packet buffer gives the same buffers as the general
// reading (the one output binds take) wherever packet boundaries fall; nulls, truncation, indicators, rows
// beyond the fetch size and defines that change between fetches.
#include "ScriptSocket.h"
#include "oranet/NetErrors.h"
#include "oranet/NetHandles.h"

#include <cstring>
#include <gtest/gtest.h>

using namespace oranet;
using namespace oracall;
using namespace vtest;

namespace {

// One row of every store form the in-place path knows, laid out as an array of structures.
struct Row {
    int32_t i4;
    int64_t i8;
    int16_t i2;
    double f8;
    float f4;
    char str[10];
    char chr[6];
    uint8_t date[7];
    char afc[4];
    uint8_t raw[300];
    int32_t unused;
    sb2 ind[11];
    ub2 len[11];
};

struct Column {
    ub2 type;
    sb4 size;
    size_t offset;
    bool indicator;
    bool length;
};

// clang-format off
const Column Columns[] = {
    {SQLT_INT, 4, offsetof(Row, i4), true, true},
    {SQLT_INT, 8, offsetof(Row, i8), true, true},
    {SQLT_INT, 2, offsetof(Row, i2), true, false},
    {SQLT_FLT, 8, offsetof(Row, f8), true, true},
    {SQLT_FLT, 4, offsetof(Row, f4), false, true},
    {SQLT_STR, 10, offsetof(Row, str), true, true},
    {SQLT_CHR, 6, offsetof(Row, chr), true, true},
    {SQLT_DAT, 7, offsetof(Row, date), true, true},
    {SQLT_AFC, 4, offsetof(Row, afc), true, true},
    {SQLT_BIN, 300, offsetof(Row, raw), true, true},
    {SQLT_INT, 3, offsetof(Row, unused), true, true}, // a size no integer has: only indicator and length
};
// clang-format on
constexpr size_t ColumnCount = sizeof Columns / sizeof Columns[0];

template <class T> void Describe(T& item, const Column& c, Row* rows, size_t i) {
    item.dataType = c.type;
    item.valueSize = c.size;
    item.value = reinterpret_cast<uint8_t*>(rows) + c.offset;
    item.valueSkip = sizeof(Row);
    item.indicator = c.indicator ? &rows[0].ind[i] : nullptr;
    item.indicatorSkip = sizeof(Row);
    item.length = c.length ? &rows[0].len[i] : nullptr;
    item.lengthSkip = sizeof(Row);
}

Bytes Repeat(uint8_t b, size_t n) {
    return Bytes(n, b);
}

// Three rows' values (without the message type 7 in front of each).
std::vector<Bytes> RowValues() {
    std::vector<Bytes> rows;
    // Plain values, the indicator 0 each.
    rows.push_back(Hex("04 C3 0D 23 39 00"          // 123456
                       "02 C1 02 00"                // 1
                       "03 3E 59 66 00"             // -12
                       "05 C3 02 18 2E 3D 00"       // 12345.6
                       "02 C0 33 00"                // 0.5
                       "05 41 42 43 44 45 00"       // ABCDE
                       "03 78 79 7A 00"             // xyz
                       "07 78 7D 0C 1F 0B 1F 3C 00" // a DATE
                       "04 31 32 33 34 00"          // 1234
                       "03 01 02 03 00"             // raw bytes
                       "02 C1 08 00"));             // 7, with nowhere to go
    // Nulls, truncation with the indicator the server sent, numbers beyond the short forms.
    rows.push_back(Hex("00 00"                                        // null
                       "07 C7 02 02 02 02 02 02 00"                   // 10^12+...: saturated
                       "07 3A 50 36 35 41 35 66 00"                   // -2147483648 into 16 bits
                       "06 3D 64 4E 38 29 66 00"                      // -123.456
                       "00 00"                                        // null
                       "0C 41 42 43 44 45 46 47 48 49 4A 4B 4C 01 0C" // 12 bytes, indicator 12
                       "09 61 62 63 64 65 66 67 68 69 01 09"          // 9 bytes into 6
                       "00 00"                                        // null
                       "06 31 32 33 34 35 36 81 06"                   // indicator -6
                       "00 00"                                        // null
                       "00 00"));                                     // null
    // A value sent in pieces, one of 255 bytes, a number of 20 digits.
    Bytes r3 = Hex("0B CB 0B 15 1F 29 33 3D 47 51 5B 65 00" // 10 digits, e = 10: saturated
                   "02 80 01 00"                            // a tiny number, 0 as an integer
                   "01 80 00"                               // zero
                   "15 C5 0B 15 1F 29 33 3D 47 51 5B 64 0B 15 1F 29 33 3D 47 51 5B 64 00" // 20 digits
                   "02 C1 0B 00"                                                          // 10
                   "FE 03 41 42 43 02 44 45 00 00"    // ABCDE in two pieces
                   "FE 02 71 72 00 00"                // qr in one piece
                   "07 78 7D 0C 1F 0B 1F 3C 02 01 00" // indicator 256 as two bytes
                   "01 20 00");                       // one blank
    r3 = r3 + Hex("FF") + Repeat(0xAB, 255) + Hex("00") + Hex("02 C1 08 00");
    rows.push_back(r3);
    return rows;
}

// Header, rows and the closing status of a fetch reply.
Bytes FetchReply(const std::vector<Bytes>& rows) {
    Bytes out = Hex("06 01 00 00 00 00");
    for (const Bytes& r : rows)
        out = out + Hex("07") + r;
    // Status: rows, code 1403, three UB2, position, command type 3, fifteen zero fields, the text.
    const std::string text = "ORA-01403: no data found";
    out = out + Hex("04 01") + Bytes{uint8_t(rows.size())} + Hex("02 05 7B 00 00 00 00 03") + Bytes(15, 0);
    return out + Bytes{uint8_t(text.size())} + FromText(text);
}

// The payload cut into DATA packets of at most size bytes; size 0 cuts once at cut.
Bytes Packets(const Bytes& payload, size_t size, size_t cut = 0) {
    Bytes out;
    if (size == 0) {
        out = Data(Bytes(payload.begin(), payload.begin() + long(cut)));
        return out + Data(Bytes(payload.begin() + long(cut), payload.end()));
    }
    for (size_t at = 0; at < payload.size(); at += size)
        out = out + Data(Bytes(payload.begin() + long(at),
                               payload.begin() + long(std::min(payload.size(), at + size))));
    return out;
}

struct Rig {
    TScriptSocket* sock;
    std::unique_ptr<TNetConnection> conn;
    TNetErrorHandle err{nullptr};
    TNetCursor cur{nullptr};
    Rig() {
        auto s = std::make_unique<TScriptSocket>();
        sock = s.get();
        sock->connected = true;
        conn = std::make_unique<TNetConnection>(nullptr, std::move(s));
        conn->protocolVersion = 6;
        conn->serverVersion = 8100;
        conn->maxInlineString = 4000;
        conn->transport->SetNegotiatedRepresentation();
        cur.Prepare("select * from t", &err);
        cur.connection = conn.get();
        cur.transport = conn->transport.get();
        cur.cursorId = 1;
    }
    void DefineAll(Row* rows) {
        for (size_t i = 0; i < ColumnCount; ++i) {
            cur.defines.push_back(std::make_unique<TNetDefine>(&cur));
            Describe(*cur.defines.back(), Columns[i], rows, i);
        }
    }
};

void Fill(Row* rows, size_t n) {
    std::memset(static_cast<void*>(rows), 0x5A, n * sizeof(Row));
}

// The general reading: the same rows read into output binds.
void ReadThroughBinds(const std::vector<Bytes>& values, Row* rows) {
    Rig r;
    for (size_t i = 0; i < ColumnCount; ++i) {
        r.cur.binds.push_back(std::make_unique<TNetBind>(&r.cur));
        Describe(*r.cur.binds.back(), Columns[i], rows, i);
    }
    r.cur.iterations = int32_t(values.size());
    Bytes payload;
    for (const Bytes& v : values)
        payload = payload + Hex("07") + v;
    r.sock->input = Data(payload);
    for (size_t i = 0; i < values.size(); ++i) {
        ASSERT_EQ(r.conn->transport->ReadUB1(), 7);
        r.cur.ReadRow(false, nullptr);
    }
}

} // namespace

TEST(RowsInPlace, SameBuffersAsTheGeneralPathWhereverPacketsEnd) {
    const std::vector<Bytes> values = RowValues();
    Row expected[4];
    Fill(expected, 4);
    ReadThroughBinds(values, expected);
    const Bytes reply = FetchReply(values);
    std::vector<Bytes> streams;
    for (size_t cut = 1; cut < reply.size(); ++cut)
        streams.push_back(Packets(reply, 0, cut));
    for (size_t size : {1, 2, 3, 5, 7, 16, 61})
        streams.push_back(Packets(reply, size));
    for (size_t n = 0; n < streams.size(); ++n) {
        Rig r;
        Row got[4];
        Fill(got, 4);
        r.DefineAll(got);
        r.sock->input = streams[n];
        ASSERT_EQ(r.cur.Fetch(4, &r.err), 100) << "stream " << n << ": " << r.err.message;
        EXPECT_EQ(r.cur.readRowIndex, 3);
        ASSERT_EQ(std::memcmp(got, expected, sizeof got), 0) << "stream " << n;
    }
}

TEST(RowsInPlace, ValuesNullsTruncationAndIndicators) {
    const std::vector<Bytes> values = RowValues();
    Rig r;
    Row rows[4];
    Fill(rows, 4);
    r.DefineAll(rows);
    r.sock->input = Data(FetchReply(values));
    ASSERT_EQ(r.cur.Fetch(4, &r.err), 100);
    const Row& a = rows[0];
    EXPECT_EQ(a.i4, 123456);
    EXPECT_EQ(a.len[0], 4);
    EXPECT_EQ(a.i8, 1);
    EXPECT_EQ(a.i2, -12);
    EXPECT_EQ(a.f8, 12345.6);
    EXPECT_EQ(a.f4, 0.5f);
    EXPECT_STREQ(a.str, "ABCDE");
    EXPECT_EQ(a.len[5], 5);
    EXPECT_EQ(std::string(a.chr, 3), "xyz");
    EXPECT_EQ(Bytes(a.date, a.date + 7), Hex("78 7D 0C 1F 0B 1F 3C"));
    EXPECT_EQ(std::string(a.afc, 4), "1234");
    EXPECT_EQ(Bytes(a.raw, a.raw + 3), Hex("01 02 03"));
    EXPECT_EQ(a.len[10], 2);
    for (int i = 0; i < 11; ++i)
        EXPECT_EQ(a.ind[i], i == 4 ? 0x5A5A : 0) << i;
    uint8_t untouched[4];
    std::memset(untouched, 0x5A, 4);
    EXPECT_EQ(std::memcmp(&a.unused, untouched, 4), 0); // no integer of 3 bytes

    const Row& b = rows[1];
    EXPECT_EQ(b.ind[0], -1);
    EXPECT_EQ(b.len[0], 0);
    EXPECT_EQ(b.i8, 2147483647); // saturated to 32 bits, then widened
    EXPECT_EQ(b.i2, 0);          // -2147483648 cut to 16 bits
    EXPECT_DOUBLE_EQ(b.f8, -123.456);
    EXPECT_STREQ(b.str, "ABCDEFGHI"); // truncated: 9 bytes and the zero, the server's indicator kept
    EXPECT_EQ(b.len[5], 9);
    EXPECT_EQ(b.ind[5], 12);
    EXPECT_EQ(std::string(b.chr, 6), "abcdef");
    EXPECT_EQ(b.len[6], 6);
    EXPECT_EQ(b.ind[6], 9);
    EXPECT_EQ(b.ind[7], -1);
    EXPECT_EQ(b.ind[8], -6);
    EXPECT_EQ(b.len[8], 4);

    const Row& c = rows[2];
    EXPECT_EQ(c.i4, 2147483647);
    EXPECT_EQ(c.i8, 0);
    EXPECT_EQ(c.i2, 0);
    EXPECT_DOUBLE_EQ(c.f8, 1020304050.607080901);
    EXPECT_EQ(c.f4, 10.0f);
    EXPECT_STREQ(c.str, "ABCDE");
    EXPECT_EQ(c.len[5], 5);
    EXPECT_EQ(std::string(c.chr, 2), "qr");
    EXPECT_EQ(c.ind[7], 256);
    EXPECT_EQ(c.afc[0], ' ');
    EXPECT_EQ(c.len[8], 1);
    EXPECT_EQ(c.len[9], 255);
    EXPECT_EQ(Bytes(c.raw, c.raw + 255), Repeat(0xAB, 255));
    EXPECT_EQ(c.raw[255], 0x5A);
    // The fourth row was never sent.
    Row blank[1];
    Fill(blank, 1);
    EXPECT_EQ(std::memcmp(&rows[3], blank, sizeof(Row)), 0);
}

TEST(RowsInPlace, RowsBeyondTheFetchSizeAreReadAndDropped) {
    const std::vector<Bytes> values = RowValues();
    for (size_t size : {0, 9, 4096}) {
        Rig r;
        Row rows[3];
        Fill(rows, 3);
        r.DefineAll(rows);
        Bytes reply = FetchReply(values);
        r.sock->input = size == 0 ? Data(reply) : Packets(reply, size);
        // Only two rows asked for: the third one is consumed, and the status after it is read.
        ASSERT_EQ(r.cur.Fetch(2, &r.err), 100) << r.err.message;
        EXPECT_EQ(rows[1].ind[0], -1);
        Row blank[1];
        Fill(blank, 1);
        EXPECT_EQ(std::memcmp(&rows[2], blank, sizeof(Row)), 0) << size;
        EXPECT_EQ(r.cur.rowCount, 3);
    }
}

TEST(RowsInPlace, DefinesChangedBetweenFetchesAreFollowed) {
    Rig r;
    int32_t numbers[2] = {0, 0};
    char texts[2][8] = {};
    sb2 ind[2] = {9, 9};
    ub2 len[2] = {9, 9};
    r.cur.defines.push_back(std::make_unique<TNetDefine>(&r.cur));
    TNetDefine& d = *r.cur.defines[0];
    d.dataType = SQLT_INT;
    d.value = numbers;
    d.valueSize = 4;
    d.valueSkip = 4;
    d.indicator = ind;
    r.sock->input = Data(FetchReply({Hex("02 C1 2B 00"), Hex("02 C1 2C 00")}));
    ASSERT_EQ(r.cur.Fetch(2, &r.err), 100);
    EXPECT_EQ(numbers[0], 42);
    EXPECT_EQ(numbers[1], 43);
    // Now as text, with lengths, into another buffer: nothing of the first plan may remain.
    d.dataType = SQLT_STR;
    d.value = texts;
    d.valueSize = 8;
    d.valueSkip = 8;
    d.length = len;
    r.sock->input = Data(FetchReply({Hex("02 34 32 00"), Hex("00 00")}));
    r.sock->at = 0;
    ASSERT_EQ(r.cur.Fetch(2, &r.err), 100);
    EXPECT_STREQ(texts[0], "42");
    EXPECT_EQ(len[0], 2);
    EXPECT_EQ(texts[1][0], 0);
    EXPECT_EQ(ind[1], -1);
    EXPECT_EQ(numbers[0], 42); // the old buffer is left alone
    // A define added later joins the rows.
    int32_t more[1] = {0};
    r.cur.defines.push_back(std::make_unique<TNetDefine>(&r.cur));
    TNetDefine& e = *r.cur.defines[1];
    e.dataType = SQLT_INT;
    e.value = more;
    e.valueSize = 4;
    e.valueSkip = 4;
    r.sock->input = Data(FetchReply({Hex("01 41 00 02 C1 06 00")}));
    r.sock->at = 0;
    ASSERT_EQ(r.cur.Fetch(1, &r.err), 100);
    EXPECT_STREQ(texts[0], "A");
    EXPECT_EQ(more[0], 5);
}

TEST(RowsInPlace, StringsWithoutRoomTakeTheGeneralPath) {
    // A zero-terminated string of size 1 has no room for a byte: its value is not even read, so the
    // indicator directly follows the previous value.
    Rig r;
    char s[1] = {'x'};
    int32_t n = 0;
    sb2 ind[2] = {9, 9};
    r.cur.defines.push_back(std::make_unique<TNetDefine>(&r.cur));
    r.cur.defines[0]->dataType = SQLT_STR;
    r.cur.defines[0]->value = s;
    r.cur.defines[0]->valueSize = 1;
    r.cur.defines[0]->indicator = &ind[0];
    r.cur.defines.push_back(std::make_unique<TNetDefine>(&r.cur));
    r.cur.defines[1]->dataType = SQLT_INT;
    r.cur.defines[1]->value = &n;
    r.cur.defines[1]->valueSize = 4;
    r.cur.defines[1]->indicator = &ind[1];
    r.sock->input = Data(FetchReply({Hex("00 02 C1 04 00")}));
    ASSERT_EQ(r.cur.Fetch(1, &r.err), 100);
    EXPECT_EQ(s[0], 0);
    EXPECT_EQ(ind[0], -1);
    EXPECT_EQ(n, 3);
}

TEST(RowsInPlace, ARowBrokenOffByAnErrorIsReadAgainIntoTheSameRow) {
    Rig r;
    int32_t ids[3] = {0, 0, 0}, counts[3] = {0, 0, 0};
    char names[3][8] = {};
    for (auto* buf : {static_cast<void*>(ids), static_cast<void*>(counts), static_cast<void*>(names)}) {
        r.cur.defines.push_back(std::make_unique<TNetDefine>(&r.cur));
        TNetDefine& d = *r.cur.defines.back();
        d.dataType = buf == names ? SQLT_STR : SQLT_INT;
        d.value = buf;
        d.valueSize = buf == names ? 8 : 4;
        d.valueSkip = uint32_t(d.valueSize);
    }
    r.cur.fetchRows = 3;
    // A whole row, then the connection ends inside the last value of the next, which comes in pieces.
    r.sock->input = Data(Hex("02 C1 02 00 02 C1 0B 00 02 61 62 00"
                             "02 C1 03 00 02 C1 15 00 FE 03 41 42 43"));
    r.cur.ReadRow(true, nullptr);
    EXPECT_THROW(r.cur.ReadRow(true, nullptr), ENetError);
    EXPECT_EQ(r.cur.readRowIndex, 1);
    // The second row again, whole this time: all of it lands in row 1, nothing one further.
    r.sock->input = Data(Hex("02 C1 04 00 02 C1 16 00 02 78 79 00"));
    r.sock->at = 0;
    r.cur.ReadRow(true, nullptr);
    EXPECT_EQ(ids[0], 1);
    EXPECT_EQ(counts[0], 10);
    EXPECT_STREQ(names[0], "ab");
    EXPECT_EQ(ids[1], 3);
    EXPECT_EQ(counts[1], 21);
    EXPECT_STREQ(names[1], "xy");
    EXPECT_EQ(ids[2], 0);
    EXPECT_EQ(counts[2], 0);
    EXPECT_EQ(names[2][0], 0);
}
