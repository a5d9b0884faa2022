// Values: NUMBER conversions, descriptions, bind rows, row values, row header and bind vector.
#include "ScriptSocket.h"
#include "oranet/NetErrors.h"
#include "oranet/NetHandles.h"
#include "oranet/NetRowid.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>

using namespace oranet;
using namespace oracall;
using namespace vtest;

namespace {

std::string H(const char* hex) {
    Bytes b = Hex(hex);
    return std::string(b.begin(), b.end());
}

struct CursorRig {
    TScriptSocket* sock;
    std::unique_ptr<TNetConnection> conn;
    TNetCursor cur{nullptr};
    explicit CursorRig(int protocol = 6) {
        auto s = std::make_unique<TScriptSocket>();
        sock = s.get();
        sock->connected = true;
        conn = std::make_unique<TNetConnection>(nullptr, std::move(s));
        conn->protocolVersion = uint8_t(protocol);
        conn->serverVersion = protocol == 4 ? 7230 : protocol == 5 ? 8030 : 8100;
        conn->maxInlineString = conn->serverVersion >= 8000 ? 4000 : 2000;
        conn->transport->SetNegotiatedRepresentation();
        cur.connection = conn.get();
        cur.transport = conn->transport.get();
    }
    TNetBind& AddBind(ub2 type, void* value, sb4 size, sb2* ind = nullptr) {
        auto b = std::make_unique<TNetBind>(&cur);
        b->dataType = type;
        b->value = value;
        b->valueSize = size;
        b->valueSkip = uint32_t(size);
        b->indicator = ind;
        cur.binds.push_back(std::move(b));
        return *cur.binds.back();
    }
    TNetDefine& AddDefine(ub2 type, void* value, sb4 size, sb2* ind, ub2* len) {
        auto d = std::make_unique<TNetDefine>(&cur);
        d->dataType = type;
        d->value = value;
        d->valueSize = size;
        d->valueSkip = uint32_t(size);
        d->indicator = ind;
        d->length = len;
        cur.defines.push_back(std::move(d));
        return *cur.defines.back();
    }
    Bytes Sent() {
        conn->transport->Flush(0);
        Bytes p = Payload(sock->sent);
        sock->sent.clear();
        return p;
    }
};

} // namespace

TEST(Numbers, IntToNumberTable) {
    struct {
        int32_t v;
        const char* hex;
    } cases[] = {
        {0, "80"},
        {1, "C1 02"},
        {10, "C1 0B"},
        {100, "C2 02"},
        {123, "C2 02 18"},
        {1000000, "C4 02"},
        {-1, "3E 64 66"},
        {-100, "3D 64 66"},
        {-123, "3D 64 4E 66"},
        {2147483647, "C5 16 30 31 25 30"},
        {-2147483647 - 1, "3A 50 36 35 41 35 66"},
    };
    for (auto& c : cases) {
        EXPECT_EQ(IntToNumber(c.v), H(c.hex)) << c.v;
        std::string n = H(c.hex);
        EXPECT_EQ(NumberToInt(reinterpret_cast<const uint8_t*>(n.data()), n.size()), c.v) << c.hex;
    }
}

TEST(Numbers, NumberToIntTruncatesAndSpecialForms) {
    struct {
        const char* hex;
        int32_t v;
    } cases[] = {{"C0 33", 0},     {"3D 64 4E 66", -123},   {"FF 65", 0},
                 {"00", 0},        {"C2 02 18 2E 3D", 123}, {"3D 64 4E 38 29 66", -123},
                 {"C3 02", 10000}, {"CA 02", 2147483647}};
    for (auto& c : cases) {
        std::string n = H(c.hex);
        EXPECT_EQ(NumberToInt(reinterpret_cast<const uint8_t*>(n.data()), n.size()), c.v) << c.hex;
    }
}

TEST(Numbers, FloatToNumberTable) {
    struct {
        double v;
        const char* hex;
    } cases[] = {
        {0.0, "80"},
        {0.5, "C0 33"},
        {123.456, "C2 02 18 2E 3D"},
        {-123.456, "3D 64 4E 38 29 66"},
        {1.0 / 3.0, "C0 22 22 22 22 22 22 22 1F"},
        {3.14159265358979, "C1 04 0F 10 5D 42 24 5A 50"},
        {INFINITY, "FF 65"},
        {-INFINITY, "00"},
        {NAN, "80"},
        {100.0, "C2 02"},
    };
    for (auto& c : cases)
        EXPECT_EQ(FloatToNumber(c.v), H(c.hex)) << c.v;
}

TEST(Numbers, NumberToFloat) {
    auto f = [](const char* hex) {
        std::string n = H(hex);
        return NumberToFloat(reinterpret_cast<const uint8_t*>(n.data()), n.size());
    };
    EXPECT_DOUBLE_EQ(f("C0 22 22 22 22 22 22 22 1F"), 0.333333333333333);
    EXPECT_DOUBLE_EQ(f("C2 02 18 2E 3D"), 123.456);
    EXPECT_DOUBLE_EQ(f("3D 64 4E 38 29 66"), -123.456);
    EXPECT_DOUBLE_EQ(f("C0 33"), 0.5);
    EXPECT_EQ(f("80"), 0.0);
    EXPECT_EQ(f("FF 65"), INFINITY);
    EXPECT_EQ(f("00"), -INFINITY);
    // Round trips of typical values.
    for (double v : {1.0, -1.0, 42.25, 1e10, -9.87654321e-5, 12345678901234.5}) {
        std::string n = FloatToNumber(v);
        EXPECT_DOUBLE_EQ(NumberToFloat(reinterpret_cast<const uint8_t*>(n.data()), n.size()), v);
    }
}

TEST(Descriptions, WireTypeSizeAndFlags) {
    struct {
        ub2 type;
        sb4 size;
        uint32_t maxArray;
        bool v8;
        const char* hex;
    } cases[] = {
        {0, 10, 0, false, "00 80 00 00 01 0A 00 00"},
        {3, 4, 0, false, "02 01 00 00 01 16 00 00"},
        {5, 10, 0, false, "01 01 00 00 01 09 00 00"},
        {23, 100, 0, false, "17 03 00 00 01 64 00 00"},
        {96, 20, 0, false, "60 21 00 00 01 14 00 00"},
        {97, 20, 0, false, "60 01 00 00 01 13 00 00"},
        {116, 4, 0, false, "66 01 00 00 01 01 00 00"},
        {12, 7, 5, false, "0C 41 00 00 01 07 01 05 00"},
        {12, 7, 0, true, "0C 01 00 00 01 07 00 00 00 00 00 01"},
    };
    for (auto& c : cases) {
        CursorRig r;
        TNetBind b(nullptr);
        b.dataType = c.type;
        b.valueSize = c.size;
        b.maxArrayLength = c.maxArray;
        WriteDescription(*r.conn->transport, b, c.v8);
        EXPECT_EQ(r.Sent(), Hex(c.hex)) << c.type;
    }
}

TEST(Descriptions, ColumnDescriptionIn7And8Layouts) {
    CursorRig r;
    // NUMBER(10,2): type 2, precision 10, scale as UB2, max length 22.
    r.sock->input = Data(Hex("02 00 0A 01 02 01 16 00 00"));
    TNetColumn c(nullptr);
    ReadColumnDescription(*r.conn->transport, c, false);
    EXPECT_EQ(c.dataType, 2);
    EXPECT_EQ(c.precision, 10);
    EXPECT_EQ(c.scale, 2);
    EXPECT_EQ(c.dataSize, 22);
    // Version 8: VARCHAR2(30), scale -127 as UB1, then a UB4-prefixed value, 2 x UB2, UB1.
    CursorRig r8;
    r8.sock->input = Data(Hex("01 00 00 81 01 1E 00 00 01 03 02 41 42 00 00 00"));
    TNetColumn d(nullptr);
    ReadColumnDescription(*r8.conn->transport, d, true);
    EXPECT_EQ(d.dataType, 1);
    EXPECT_EQ(d.scale, -127);
    EXPECT_EQ(d.dataSize, 30);
    EXPECT_EQ(r8.conn->transport->ReadPos(), r8.conn->transport->ReadLen());
}

TEST(BindRows, ValuesByType) {
    CursorRig r;
    int32_t i = -123;
    double f = 0.5;
    char s[10] = "ab";
    char chr[6] = {'x', 'y', 'z', 0, 'q', 'q'};
    uint8_t raw[4] = {1, 2, 3, 4};
    ub2 rawLen = 3;
    sb2 nullInd = -1;
    char nul[4] = "zz";
    r.AddBind(SQLT_INT, &i, 4);
    r.AddBind(SQLT_FLT, &f, 8);
    r.AddBind(SQLT_STR, s, 10);
    r.AddBind(SQLT_CHR, chr, 6);
    r.AddBind(SQLT_BIN, raw, 4).length = &rawLen;
    r.AddBind(SQLT_STR, nul, 4, &nullInd);
    r.AddBind(0, nullptr, 0); // never bound: no element
    r.AddBind(SQLT_RSET, nullptr, 4);
    r.cur.WriteBindRow(nullptr);
    EXPECT_EQ(r.Sent(), Hex("07 04 3D 64 4E 66 02 C0 33 02 61 62 03 78 79 7A 03 01 02 03 00 01 00"));
    EXPECT_EQ(r.cur.writeRowIndex, 1);
}

TEST(BindRows, LongInPlaceAndAfterTheRow) {
    CursorRig r;
    static std::string longValue(100, 'L');
    auto cb = [](dvoid*, OCIBind*, ub4, ub4, dvoid** buf, ub4* len, ub1* piece, dvoid** ind) -> sb4 {
        static sb2 zero = 0;
        *buf = longValue.data();
        *len = ub4(longValue.size());
        *piece = OCI_LAST_PIECE;
        *ind = &zero;
        return 0;
    };
    int32_t n = 7;
    TNetBind& small = r.AddBind(SQLT_LNG, nullptr, 200);
    small.inCallback = cb;
    TNetBind& big = r.AddBind(SQLT_LNG, nullptr, 100000);
    big.inCallback = cb;
    r.AddBind(SQLT_INT, &n, 4);
    r.cur.WriteBindRow(nullptr);
    Bytes longBytes = Hex("FE 40") + Bytes(64, 'L') + Hex("24") + Bytes(36, 'L') + Hex("00");
    EXPECT_EQ(r.Sent(), Hex("07") + longBytes + Hex("02 C1 08") + longBytes);
}

TEST(BindRows, LongPiecesAreJoined) {
    CursorRig r;
    struct Ctx {
        int calls = 0;
        std::vector<ub1> pieces;
    } ctx;
    auto cb = [](dvoid* c, OCIBind*, ub4, ub4, dvoid** buf, ub4* len, ub1* piece, dvoid** ind) -> sb4 {
        static char data[] = "abc";
        static sb2 zero = 0, null = -1;
        auto* x = static_cast<Ctx*>(c);
        x->pieces.push_back(*piece);
        ++x->calls;
        *buf = data;
        *len = 3;
        *ind = x->calls == 2 ? &null : &zero; // the second piece is null: dropped
        if (x->calls == 3) *piece = OCI_LAST_PIECE;
        return 0;
    };
    TNetBind& b = r.AddBind(SQLT_LNG, nullptr, 100);
    b.inCallback = cb;
    b.inContext = &ctx;
    r.cur.WriteBindRow(nullptr);
    EXPECT_EQ(r.Sent(), Hex("07 FE 06 61 62 63 61 62 63 00"));
    EXPECT_EQ(ctx.pieces, (std::vector<ub1>{OCI_FIRST_PIECE, OCI_NEXT_PIECE, OCI_NEXT_PIECE}));
    // Without a callback the LONG is empty: just the closing zero.
    CursorRig e;
    e.AddBind(SQLT_LNG, nullptr, 100);
    e.cur.WriteBindRow(nullptr);
    EXPECT_EQ(e.Sent(), Hex("07 00"));
}

TEST(BindRows, LobLocatorsCarryTheirLengthFromProtocol6) {
    for (int protocol : {5, 6}) {
        CursorRig r(protocol);
        TNetLobLocator loc(nullptr);
        loc.bytes = "LOC";
        TNetHandle* ref = &loc;
        r.AddBind(SQLT_CLOB, &ref, sizeof ref);
        r.cur.WriteBindRow(nullptr);
        EXPECT_EQ(r.Sent(), protocol >= 6 ? Hex("07 01 03 03 4C 4F 43") : Hex("07 03 4C 4F 43"));
    }
}

TEST(RowValues, DefinesReceiveConvertedValues) {
    CursorRig r;
    int32_t iv = 0;
    double fv = 0;
    char sv[10];
    char cv[4];
    uint8_t dv[7];
    char nv[10];
    sb2 ind[6] = {9, 9, 9, 9, 9, 9};
    ub2 len[6] = {99, 99, 99, 99, 99, 99};
    r.AddDefine(SQLT_INT, &iv, 4, &ind[0], &len[0]);
    r.AddDefine(SQLT_FLT, &fv, 8, &ind[1], &len[1]);
    r.AddDefine(SQLT_STR, sv, 10, &ind[2], &len[2]);
    r.AddDefine(SQLT_AFC, cv, 4, &ind[3], &len[3]);
    r.AddDefine(SQLT_DAT, dv, 7, &ind[4], &len[4]);
    r.AddDefine(SQLT_STR, nv, 10, &ind[5], &len[5]);
    r.cur.fetchRows = 1;
    r.sock->input = Data(Hex("04 3D 64 4E 66 00"                         // -123
                             "02 C0 33 00"                               // 0.5
                             "0C 41 42 43 44 45 46 47 48 49 4A 4B 4C 00" // 12 bytes into a size-10 string
                             "06 31 32 33 34 35 36 00"                   // 6 bytes into a 4-byte CHAR
                             "07 78 7D 0C 1F 0B 1F 3C 00"                // a DATE passes unchanged
                             "00 00"));                                  // NULL
    r.cur.ReadRow(true, nullptr);
    EXPECT_EQ(iv, -123);
    EXPECT_EQ(len[0], 4);
    EXPECT_EQ(fv, 0.5);
    EXPECT_EQ(std::string(sv), "ABCDEFGHI");
    EXPECT_EQ(len[2], 9);
    EXPECT_EQ(std::string(cv, 4), "1234");
    EXPECT_EQ(len[3], 4);
    EXPECT_EQ(Bytes(dv, dv + 7), Hex("78 7D 0C 1F 0B 1F 3C"));
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(ind[i], 0);
    EXPECT_EQ(ind[5], -1);
    EXPECT_EQ(len[5], 0);
    EXPECT_EQ(r.cur.readRowIndex, 1);
}

TEST(RowValues, RowsBeyondTheFetchSizeAreDropped) {
    CursorRig r;
    int32_t v[2] = {0, 0};
    sb2 ind[2];
    r.AddDefine(SQLT_INT, v, 4, ind, nullptr);
    r.cur.fetchRows = 1;
    r.sock->input = Data(Hex("02 C1 02 00 02 C1 03 00"));
    r.cur.ReadRow(true, nullptr);
    r.cur.ReadRow(true, nullptr); // the server sent more rows than asked for
    EXPECT_EQ(v[0], 1);
    EXPECT_EQ(v[1], 0);
}

TEST(RowValues, ArrayOfStructStrides) {
    CursorRig r;
    struct Row {
        int32_t id;
        sb2 ind;
        ub2 len;
    } rows[3] = {};
    TNetDefine& d = r.AddDefine(SQLT_INT, &rows[0].id, 4, &rows[0].ind, &rows[0].len);
    d.valueSkip = d.indicatorSkip = d.lengthSkip = sizeof(Row);
    r.cur.fetchRows = 3;
    r.sock->input = Data(Hex("02 C1 02 00 00 00 02 C1 04 00"));
    for (int i = 0; i < 3; ++i)
        r.cur.ReadRow(true, nullptr);
    EXPECT_EQ(rows[0].id, 1);
    EXPECT_EQ(rows[1].ind, -1);
    EXPECT_EQ(rows[2].id, 3);
    EXPECT_EQ(rows[2].len, 2);
}

TEST(RowValues, LongThroughTheDefineCallback) {
    CursorRig r;
    struct Ctx {
        std::string got;
        char buf[40];
        ub4 room = 40;
        sb2 ind = 5;
        int calls = 0;
    } ctx;
    auto cb = [](dvoid* c, OCIDefine*, ub4, dvoid** bufpp, ub4** alenpp, ub1*, dvoid** indpp, ub2**) -> sb4 {
        auto* x = static_cast<Ctx*>(c);
        if (x->calls++ > 0) x->got.append(x->buf, x->room);
        x->room = 40;
        *bufpp = x->buf;
        *alenpp = &x->room;
        *indpp = &x->ind;
        return 0;
    };
    TNetDefine& d = r.AddDefine(SQLT_LNG, nullptr, 0, nullptr, nullptr);
    d.outCallback = reinterpret_cast<void*>(+cb);
    d.outContext = &ctx;
    r.cur.fetchRows = 1;
    Bytes value(100, 'v');
    r.sock->input = Data(Hex("FE 40") + Bytes(64, 'v') + Hex("24") + Bytes(36, 'v') + Hex("00 00"));
    r.cur.ReadRow(true, nullptr);
    ctx.got.append(ctx.buf, ctx.room);
    EXPECT_EQ(ctx.calls, 3); // 40 + 40 + 20
    EXPECT_EQ(ctx.got, std::string(100, 'v'));
    EXPECT_EQ(ctx.ind, 0);
}

TEST(RowValues, CursorVariableAndLobLocator) {
    CursorRig r;
    TNetCursor target(nullptr);
    TNetHandle* tref = &target;
    TNetLobLocator loc(nullptr);
    TNetHandle* lref = &loc;
    TNetLobLocator empty(nullptr);
    TNetHandle* eref = &empty;
    sb2 ind[3] = {9, 9, 9};
    ub2 len[3] = {};
    r.AddDefine(SQLT_RSET, &tref, sizeof tref, &ind[0], &len[0]);
    r.AddDefine(SQLT_BLOB, &lref, sizeof lref, &ind[1], &len[1]);
    r.AddDefine(SQLT_CLOB, &eref, sizeof eref, &ind[2], &len[2]);
    r.cur.fetchRows = 1;
    r.sock->input = Data(Hex("02 01 05 00"
                             "01 04 04 4C 4F 43 31 00"
                             "00 81 FF"));
    r.cur.ReadRow(true, nullptr);
    EXPECT_EQ(target.cursorId, 5);
    EXPECT_EQ(target.connection, r.conn.get());
    EXPECT_EQ(loc.bytes, "LOC1");
    EXPECT_EQ(loc.lobType, SQLT_BLOB);
    EXPECT_EQ(len[1], 4);
    EXPECT_EQ(ind[2], -255); // the UB2 indicator, stored as it came
    EXPECT_TRUE(empty.bytes.empty());
}

TEST(RowValues, RowHeaderLayouts) {
    CursorRig v7(4);
    v7.sock->input = Data(Hex("01 02 01 05 00 00"));
    EXPECT_NO_THROW(v7.cur.ReadRowHeader());
    CursorRig v8(6);
    v8.sock->input = Data(Hex("01 01 02 00 00 01 07"));
    try {
        v8.cur.ReadRowHeader();
        FAIL();
    } catch (const EDBError& e) {
        EXPECT_EQ(e.Code(), 40);
    }
}

TEST(BindVector, OutputOnlyReadsOneRowAndInputAnswersWithBindRows) {
    CursorRig r;
    int32_t in = 7, out = 0;
    sb2 outInd = 9;
    r.AddBind(SQLT_INT, &in, 4);
    r.AddBind(SQLT_INT, &out, 4, &outInd);
    r.cur.iterations = 1;
    // Output only: marks 10 10, then a row with both binds' values.
    r.sock->input = Data(Hex("0B 00 01 02 00 00 00 10 10 07 02 C1 02 00 02 C1 2B 00"));
    ASSERT_EQ(r.conn->transport->ReadUB1(), 11);
    r.cur.ReadBindVector();
    EXPECT_EQ(out, 42);
    EXPECT_EQ(outInd, 0);
    EXPECT_EQ(in, 1); // marked output too: it received its value
    // Input: marks 20 10: one bind row with only the input bind.
    CursorRig s;
    s.AddBind(SQLT_INT, &in, 4);
    s.AddBind(SQLT_INT, &out, 4);
    s.cur.iterations = 1;
    s.sock->input = Data(Hex("0B 00 01 02 00 00 00 20 10"));
    ASSERT_EQ(s.conn->transport->ReadUB1(), 11);
    s.cur.ReadBindVector();
    EXPECT_EQ(s.Sent(), Hex("07 02 C1 02"));
    // A zero mark is refused.
    CursorRig z;
    z.AddBind(SQLT_INT, &in, 4);
    z.sock->input = Data(Hex("0B 00 01 01 00 00 00 00"));
    z.conn->transport->ReadUB1();
    EXPECT_THROW(z.cur.ReadBindVector(), EDBError);
}

namespace {

int32_t IntOf(const char* hex) {
    std::string n = H(hex);
    return NumberToInt(reinterpret_cast<const uint8_t*>(n.data()), n.size());
}

double FloatOf(const std::string& n) {
    return NumberToFloat(reinterpret_cast<const uint8_t*>(n.data()), n.size());
}

} // namespace

TEST(Numbers, IntegerBoundaries) {
    struct {
        const char* hex;
        int32_t v;
    } cases[] = {
        {"80", 0},
        {"C1", 0},                                 // no digits at all
        {"C1 64 64", 99},                          // 99.99 truncated
        {"3E 02 02 66", -99},                      // -99.99 truncated toward zero
        {"C4 02", 1000000},                        // missing digits count as zeros
        {"C4 64 64 64 64", 99999999},              // the largest of the short form
        {"C5 02", 100000000},                      // the first beyond it
        {"C5 16 30 31 25 31", 2147483647},         // 2147483648 saturates
        {"3A 50 36 35 41 34 66", -2147483647 - 1}, // -2147483649 saturates
        {"CA 02 02 02 02 02 02 02 02 02 02 02 02 02 02 02 02 02 02 02 02", 2147483647}, // 20 digits
        {"35 64 64 64 64 64 64 64 64 64 64 64 64 64 64 64 64 64 64 64 64", -2147483647 - 1},
        {"FF 02", 2147483647}, // 100^62
        {"80 02", 0},          // 100^-65
        {"7F 64 66", 0},       // -100^-65
        {"C0 64", 0},          // 0.99
    };
    for (auto& c : cases)
        EXPECT_EQ(IntOf(c.hex), c.v) << c.hex;
}

TEST(Numbers, FloatsAreTheNearestDoubleOfTheirDecimal) {
    // Numbers of up to 15 digits with a small exponent: one exact power of ten, so the result is the double
    // nearest to the decimal value, as the C library's conversion of its text gives it.
    int checked = 0;
    for (int64_t i = 1; i < 2000000; i += 7919) {
        for (int k = 0; k <= 12; ++k) {
            char text[40];
            std::snprintf(text, sizeof text, "%lldE-%d", static_cast<long long>(i), k);
            const double v = std::strtod(text, nullptr);
            EXPECT_EQ(FloatOf(FloatToNumber(v)), v) << text;
            EXPECT_EQ(FloatOf(FloatToNumber(-v)), -v) << "-" << text;
            ++checked;
        }
    }
    EXPECT_GT(checked, 3000);
    EXPECT_EQ(FloatOf(H("C3 02 18 2E 44")), 12345.67);
    EXPECT_EQ(FloatOf(H("BF 02 18")), 0.000123);
    EXPECT_EQ(FloatOf(H("3C 64 4E 38 22 66")), -12345.67);
}

TEST(Numbers, FloatBoundaries) {
    EXPECT_EQ(FloatOf(H("80")), 0.0);
    EXPECT_EQ(FloatOf(H("C1")), 0.0); // no digits
    // 20 digits: fifteen are taken (the sixteenth rounds, far below a double's precision).
    EXPECT_DOUBLE_EQ(FloatOf(H("C1 0C 17 22 2D 38 43 4E 59 64 0C 17 22 2D 38 43 4E 59 64 0C 17")),
                     11.2233445566778899112233);
    EXPECT_DOUBLE_EQ(FloatOf(H("3E 5A 4F 44 39 2E 23 18 0D 02 5A 4F 44 39 2E 23 18 0D 02 5A 4F")),
                     -11.2233445566778899112233);
    // Exponents beyond the exact powers of ten.
    EXPECT_DOUBLE_EQ(FloatOf(H("FF 02")), 1e124);
    EXPECT_DOUBLE_EQ(FloatOf(H("FF 0B")), 1e125);
    EXPECT_DOUBLE_EQ(FloatOf(H("80 02")), 1e-130);
    EXPECT_DOUBLE_EQ(FloatOf(H("80 0B")), 1e-129);
    EXPECT_DOUBLE_EQ(FloatOf(H("D0 02")), 1e30);
    EXPECT_DOUBLE_EQ(FloatOf(H("00 64 66")), -1e124);
    // Float defines take the nearest float of the double.
    CursorRig r;
    float f = 0;
    r.AddDefine(SQLT_FLT, &f, 4, nullptr, nullptr);
    r.cur.fetchRows = 1;
    r.sock->input = Data(Hex("03 C0 0B 15 00"));
    r.cur.ReadRow(true, nullptr);
    EXPECT_EQ(f, 0.102f);
}

TEST(RowIdText, RestrictedExtendedAndUniversalForms) {
    EXPECT_EQ(RowIdRestricted(0x1A2B, 3, 4), "00001A2B.0003.0004");
    // Object 1, file 2, block 3, row 4 in base 64 digits.
    EXPECT_EQ(RowIdExtended(1, 2, 3, 4), "AAAAABAACAAAAADAAE");
    const uint8_t image[13] = {1, 0, 0, 0x45, 0x67, 0, 4, 0, 0, 0, 0x8F, 0, 0};
    EXPECT_EQ(RowIdImageToText(image, 13), "AAAEVnAAEAAAACPAAA"); // object 0x4567, file 4, block 0x8F, row 0
    const uint8_t restricted[13] = {1, 0, 0, 0, 0, 0, 5, 0, 0, 1, 0, 0, 7};
    EXPECT_EQ(RowIdImageToText(restricted, 13), "00000100.0007.0005");
    const uint8_t universal[4] = {0xFF, 0x00, 0x10, 0x80};
    EXPECT_EQ(RowIdUniversal(universal, 3), "*/wAQ");
    EXPECT_EQ(RowIdImageToText(universal, 2), ""); // too short for an image
}

// A NaN in any row about to be sent is found, with its bind's name; NULL rows and the infinities are not.
TEST(BindRows, NotANumberIsFoundInEveryRowSent) {
    CursorRig r;
    double rows[3] = {1.5, HUGE_VAL, -HUGE_VAL};
    sb2 ind[3] = {0, 0, 0};
    r.AddBind(SQLT_FLT, rows, 8, ind).name = "amount";
    float rates[3] = {2.0f, 0.5f, 1.0f};
    r.AddBind(SQLT_FLT, rates, 4).name = "rate";
    r.cur.iterations = 3;
    EXPECT_EQ(r.cur.NotANumberBind(), "");
    rows[2] = std::nan("");
    EXPECT_EQ(r.cur.NotANumberBind(), "amount");
    ind[2] = -1; // a NULL element: its buffer is not a value
    EXPECT_EQ(r.cur.NotANumberBind(), "");
    rates[1] = std::nanf("");
    EXPECT_EQ(r.cur.NotANumberBind(), "rate");
    r.cur.iterations = 1; // only the first row is sent
    EXPECT_EQ(r.cur.NotANumberBind(), "");
}
