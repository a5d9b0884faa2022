// Bind values of the current generation, byte for byte: the wire type, description and value each external
// type of the call interface is sent as (the forms Oracle's thin driver writes for the same values), the
// order of a row's values, the refusals, and output values stored back into the caller's buffers.
#include "ScriptSocket.h"
#include "oranet/NetBind315.h"

#include <climits>
#include <cstring>
#include <gtest/gtest.h>

using namespace oranet;
using namespace oracall;
using namespace vtest;

namespace {

// A bind of one value: the buffer, its indicator and length as the call interface's caller keeps them.
struct OneBind {
    TNetBind bind{nullptr};
    sb2 indicator = 0;
    ub2 length = 0;
    OneBind(ub2 type, void* value, sb4 size, bool withLength = false) {
        bind.name = "V";
        bind.dataType = type;
        bind.value = value;
        bind.valueSize = size;
        bind.valueSkip = uint32_t(size);
        bind.indicator = &indicator;
        if (withLength) bind.length = &length;
    }
};

Bytes Written(const TEncodedBind& e, uint32_t row = 0) {
    TTtcWriter w;
    WriteCurrentBindValue(w, e, row);
    return Bytes(w.Bytes().begin(), w.Bytes().end());
}

struct Expected {
    uint8_t type;
    uint32_t maxSize;
    uint8_t form;
    const char* wire;
};

void Check(OneBind& b, const Expected& x, bool plsql = false) {
    TEncodedBind e;
    std::string error;
    ASSERT_TRUE(EncodeCurrentBind(b.bind, 1, plsql, e, error)) << error;
    EXPECT_EQ(e.desc.type, x.type);
    EXPECT_EQ(e.desc.flags, 0x01);
    EXPECT_EQ(e.desc.maxSize, x.maxSize);
    EXPECT_EQ(e.desc.charsetForm, x.form);
    EXPECT_EQ(Written(e), Hex(x.wire));
}

} // namespace

TEST(CurrentBindValues, NumbersTravelAsNumber) {
    int32_t i32 = 42;
    int16_t i16 = -1;
    int64_t i64 = INT64_MAX;
    int8_t i8 = 100;
    double d = 0.5;
    float f = -2.0f;
    {
        OneBind b(SQLT_INT, &i32, 4);
        Check(b, {2, 22, 0, "02 C1 2B"});
    }
    {
        OneBind b(SQLT_INT, &i16, 2);
        Check(b, {2, 22, 0, "03 3E 64 66"});
    }
    {
        OneBind b(SQLT_INT, &i64, 8); // 9 22 33 72 03 68 54 77 58 07 in base 100
        Check(b, {2, 22, 0, "0B CA 0A 17 22 49 04 45 37 4E 3B 08"});
    }
    {
        OneBind b(SQLT_INT, &i8, 1);
        Check(b, {2, 22, 0, "02 C2 02"});
    }
    {
        OneBind b(SQLT_FLT, &d, 8);
        Check(b, {2, 22, 0, "02 C0 33"});
    }
    {
        OneBind b(SQLT_FLT, &f, 4);
        Check(b, {2, 22, 0, "03 3E 63 66"});
    }
    // The NUMBER bytes themselves: 38 digits as they are, and the length-prefixed form.
    uint8_t wide[21] = {0xD3};
    for (int i = 1; i < 20; ++i)
        wide[i] = uint8_t(100 - i);
    {
        OneBind b(SQLT_NUM, wide, 20);
        TEncodedBind e;
        std::string error;
        ASSERT_TRUE(EncodeCurrentBind(b.bind, 1, false, e, error)) << error;
        EXPECT_EQ(Written(e), Bytes{20} + Bytes(wide, wide + 20));
    }
    uint8_t vnu[22] = {3, 0xC2, 0x02, 0x03};
    {
        OneBind b(SQLT_VNU, vnu, 22);
        Check(b, {2, 22, 0, "03 C2 02 03"});
    }
}

TEST(CurrentBindValues, TextTravelsInUtf8WithCharForTheBlankPaddedTypes) {
    char str[10] = "Gr\xFC\xDF"; // Windows-1252 umlaut and sharp s
    {
        OneBind b(SQLT_STR, str, sizeof str);
        Check(b, {1, 6, 1, "06 47 72 C3 BC C3 9F"});
    }
    char euro[4] = "\x80";
    {
        OneBind b(SQLT_STR, euro, sizeof euro);
        Check(b, {1, 3, 1, "03 E2 82 AC"});
    }
    char fixed[4] = {'A', 'B', ' ', ' '};
    {
        OneBind b(SQLT_AFC, fixed, 4);
        Check(b, {96, 4, 1, "04 41 42 20 20"});
    }
    char charz[6] = "AB  ";
    {
        OneBind b(SQLT_AVC, charz, sizeof charz);
        Check(b, {96, 4, 1, "04 41 42 20 20"});
    }
    char chr[6] = "ABCDE";
    {
        OneBind b(SQLT_CHR, chr, 5, true);
        b.length = 3;
        Check(b, {1, 3, 1, "03 41 42 43"});
    }
    char lng[4] = "abc";
    {
        OneBind b(SQLT_LNG, lng, 3);
        Check(b, {8, 3, 1, "03 61 62 63"});
    }
    // Longer than a short string: chunks, each with its length, ended by a zero length.
    std::string big(5000, 'x');
    {
        OneBind b(SQLT_STR, big.data(), sb4(big.size() + 1));
        TEncodedBind e;
        std::string error;
        ASSERT_TRUE(EncodeCurrentBind(b.bind, 1, false, e, error)) << error;
        EXPECT_EQ(e.desc.maxSize, 5000u);
        Bytes expect = Hex("FE 02 13 88") + Bytes(5000, 'x') + Hex("00");
        EXPECT_EQ(Written(e), expect);
    }
}

TEST(CurrentBindValues, DatesRawCursorsLocatorsAndNulls) {
    uint8_t date[7] = {120, 123, 12, 31, 24, 60, 60};
    {
        OneBind b(SQLT_DAT, date, 7);
        Check(b, {12, 7, 0, "07 78 7B 0C 1F 18 3C 3C"});
    }
    uint8_t ociDate[8] = {};
    int16_t year = 2023;
    std::memcpy(ociDate, &year, 2);
    ociDate[2] = 12, ociDate[3] = 31, ociDate[4] = 23, ociDate[5] = 59, ociDate[6] = 59;
    {
        OneBind b(SqltOciDate, ociDate, 8);
        Check(b, {12, 7, 0, "07 78 7B 0C 1F 18 3C 3C"});
    }
    uint8_t raw[4] = {0x00, 0xFF, 0x7F, 0x80};
    {
        OneBind b(SQLT_BIN, raw, 4, true);
        b.length = 2;
        Check(b, {23, 2, 0, "02 00 FF"});
    }
    {
        OneBind b(SQLT_LBI, raw, 4);
        Check(b, {24, 4, 0, "04 00 FF 7F 80"});
    }
    // A statement handle without a server cursor asks for one.
    TNetCursor target(nullptr);
    TNetHandle* handle = &target;
    {
        OneBind b(SQLT_RSET, &handle, sizeof handle);
        Check(b, {102, 4, 0, "01 00"}, true);
    }
    TNetLobLocator loc(nullptr);
    loc.bytes = "LOC";
    TNetHandle* locHandle = &loc;
    {
        OneBind b(SQLT_CLOB, &locHandle, sizeof locHandle);
        TEncodedBind e;
        std::string error;
        ASSERT_TRUE(EncodeCurrentBind(b.bind, 1, true, e, error)) << error;
        EXPECT_EQ(e.desc.type, 112);
        EXPECT_EQ(e.desc.contFlags, 0x2000000u);
        EXPECT_EQ(e.desc.charsetForm, 1);
        EXPECT_EQ(e.desc.maxSize, 112u);
        EXPECT_EQ(Written(e), Hex("01 03 03 4C 4F 43")); // the locator's length, then its bytes
    }
    loc.bytes.clear(); // never filled by the server: a NULL
    {
        OneBind b(SQLT_BLOB, &locHandle, sizeof locHandle);
        Check(b, {113, 112, 0, "00"}, true);
    }
    // The indicator makes any of them NULL.
    int32_t n = 5;
    {
        OneBind b(SQLT_INT, &n, 4);
        b.indicator = -1;
        Check(b, {2, 22, 0, "00"});
    }
    {
        OneBind b(SQLT_STR, raw, 4);
        b.indicator = -1;
        Check(b, {1, 1, 1, "00"});
    }
}

TEST(CurrentBindValues, RowsOfValuesFollowTheSkips) {
    struct Row {
        int32_t id;
        char name[6];
    } rows[3] = {{1, "A"}, {2, ""}, {3, "CCCCC"}};
    OneBind b(SQLT_STR, rows[0].name, 6);
    b.bind.valueSkip = sizeof(Row);
    b.bind.indicator = nullptr; // no indicators: no NULLs but the empty string
    TEncodedBind e;
    std::string error;
    ASSERT_TRUE(EncodeCurrentBind(b.bind, 3, false, e, error)) << error;
    EXPECT_EQ(e.desc.maxSize, 5u); // the longest of the rows
    EXPECT_EQ(Written(e, 0), Hex("01 41"));
    EXPECT_EQ(Written(e, 1), Hex("00")); // an empty string is NULL
    EXPECT_EQ(Written(e, 2), Hex("05 43 43 43 43 43"));
}

TEST(CurrentBindValues, LongValuesOfAStatementFollowTheOthers) {
    std::string big(4001, 'y');
    int32_t n = 1;
    char s[2] = "s";
    OneBind a(SQLT_STR, big.data(), sb4(big.size() + 1)), b(SQLT_INT, &n, 4), c(SQLT_STR, s, 2);
    std::vector<TEncodedBind> all(3);
    std::string error;
    ASSERT_TRUE(EncodeCurrentBind(a.bind, 1, false, all[0], error));
    ASSERT_TRUE(EncodeCurrentBind(b.bind, 1, false, all[1], error));
    ASSERT_TRUE(EncodeCurrentBind(c.bind, 1, false, all[2], error));
    Bytes bigWire = Hex("FE 02 0F A1") + Bytes(4001, 'y') + Hex("00");
    TTtcWriter statement;
    WriteCurrentBindRow(statement, all, 0, false);
    EXPECT_EQ(Bytes(statement.Bytes().begin(), statement.Bytes().end()), Hex("02 C1 02 01 73") + bigWire);
    // A block takes its values in their order.
    TTtcWriter block;
    WriteCurrentBindRow(block, all, 0, true);
    EXPECT_EQ(Bytes(block.Bytes().begin(), block.Bytes().end()), bigWire + Hex("02 C1 02 01 73"));
}

TEST(CurrentBindValues, OutputRoomOfABlock) {
    // An output may come back longer than what went in: the description offers the buffer's room.
    char text[11] = "ab";
    OneBind t(SQLT_STR, text, sizeof text);
    TEncodedBind e;
    std::string error;
    ASSERT_TRUE(EncodeCurrentBind(t.bind, 1, true, e, error));
    EXPECT_EQ(e.desc.maxSize, 10u);
    uint8_t raw[100] = {};
    OneBind r(SQLT_BIN, raw, 100, true);
    r.length = 0;
    r.indicator = -1;
    ASSERT_TRUE(EncodeCurrentBind(r.bind, 1, true, e, error));
    EXPECT_EQ(e.desc.maxSize, 100u);
    // Output-only NUMBER and DATE buffers may hold anything: a block gets a NULL for them.
    uint8_t junk[22] = {0xFF, 0xFF, 0xFF};
    OneBind n(SQLT_NUM, junk, 3);
    ASSERT_TRUE(EncodeCurrentBind(n.bind, 1, true, e, error));
    EXPECT_EQ(Written(e), Hex("00"));
    OneBind d(SQLT_DAT, junk, 7);
    ASSERT_TRUE(EncodeCurrentBind(d.bind, 1, true, e, error));
    EXPECT_EQ(Written(e), Hex("00"));
}

TEST(CurrentBindValues, WhatCannotBeSentIsRefusedWithAClearMessage) {
    uint8_t junk[22] = {0xFF, 0xFF, 0xFF, 0, 0, 0, 0};
    struct {
        ub2 type;
        sb4 size;
        uint32_t arrayLength;
        const char* message;
    } cases[] = {
        {0, 4, 0, "ORA-01008: not all variables bound (:V)"},
        {SQLT_NUM, 3, 0, "ORA-01722: invalid number (the value of :V is no NUMBER)"},
        {SQLT_DAT, 7, 0, "ORA-01858: the value of :V is no valid DATE"},
        {SQLT_DAT, 4, 0, "NET: A DATE bind holds 7 bytes (:V)"},
        {SQLT_FLT, 2, 0, "NET: A floating-point bind holds 4 or 8 bytes (:V)"},
        {108, 8, 0,
         "NET: Binds of external type 108 are not available over the current Oracle protocol (:V)"},
        {SQLT_INT, 4, 5, "NET: PL/SQL tables are not available over the current Oracle protocol (:V)"},
    };
    for (const auto& c : cases) {
        OneBind b(c.type, junk, c.size);
        b.bind.maxArrayLength = c.arrayLength;
        TEncodedBind e;
        std::string error;
        EXPECT_FALSE(EncodeCurrentBind(b.bind, 1, false, e, error)) << c.message;
        EXPECT_EQ(error, c.message);
    }
}

TEST(CurrentBindOutput, ValuesAreStoredInTheBindsExternalType) {
    // Text in UTF-8 becomes Windows-1252, cut to the buffer's room; a character 1252 lacks is counted.
    char text[6] = "xxxxx";
    OneBind t(SQLT_STR, text, sizeof text, true);
    std::string utf8 = "\xC3\xA4\xE2\x82\xAC"
                       "bcdef";
    EXPECT_FALSE(StoreCurrentOutValue(t.bind, &utf8));
    EXPECT_STREQ(text, "\xE4\x80"
                       "bcd");
    EXPECT_EQ(t.length, 5);
    EXPECT_EQ(t.indicator, 0);
    std::string greek = "\xCE\xA9";
    EXPECT_TRUE(StoreCurrentOutValue(t.bind, &greek));
    EXPECT_STREQ(text, "?");
    EXPECT_FALSE(StoreCurrentOutValue(t.bind, nullptr));
    EXPECT_EQ(t.indicator, -1);
    EXPECT_STREQ(text, "");
    // NUMBER into the integer widths and floating point, past a double's exact integers.
    int64_t i64 = 0;
    OneBind i(SQLT_INT, &i64, 8);
    std::string max = std::string("\xCA\x0A\x17\x22\x49\x04\x45\x37\x4E\x3B\x08", 11);
    StoreCurrentOutValue(i.bind, &max);
    EXPECT_EQ(i64, INT64_MAX);
    int16_t i16 = 0;
    OneBind s(SQLT_INT, &i16, 2);
    std::string minusOne("\x3E\x64\x66", 3);
    StoreCurrentOutValue(s.bind, &minusOne);
    EXPECT_EQ(i16, -1);
    double d = 0;
    OneBind f(SQLT_FLT, &d, 8);
    std::string half("\xC0\x33", 2);
    StoreCurrentOutValue(f.bind, &half);
    EXPECT_EQ(d, 0.5);
    // The DATE structure and RAW bytes.
    uint8_t od[8] = {};
    OneBind o(SqltOciDate, od, 8);
    std::string date("\x78\x7B\x0C\x1F\x18\x3C\x3C", 7);
    StoreCurrentOutValue(o.bind, &date);
    int16_t year = 0;
    std::memcpy(&year, od, 2);
    EXPECT_EQ(year, 2023);
    EXPECT_EQ(od[2], 12);
    EXPECT_EQ(od[6], 59);
    uint8_t raw[2] = {};
    OneBind r(SQLT_BIN, raw, 2, true);
    std::string three("\x01\x02\x03", 3);
    StoreCurrentOutValue(r.bind, &three);
    EXPECT_EQ(r.length, 2);
    EXPECT_EQ(raw[1], 2);
}
