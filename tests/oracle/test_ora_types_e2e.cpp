// The current protocol's own types end to end: vestra-emu describes and sends them natively, the network
// client turns them into exact text, and a query shows every digit the server holds.
#include "OraE2e.h"
#include "oranet/NetHandles.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

using namespace oratest;

namespace {

class CurrentTypes : public ::testing::Test {
protected:
    void SetUp() override { oranet::SetOfferCurrentProtocol(true); }
    void TearDown() override { oranet::SetOfferCurrentProtocol(false); }

    static vemu::EmuOptions Current() {
        vemu::EmuOptions o;
        o.generation = vemu::EmuOptions::Generation::Current;
        return o;
    }

    // Every row of the query, each column's shown text ("<null>" for NULL).
    static std::vector<std::vector<std::string>> Rows(TRig& rig, const std::string& sql) {
        TOraQuery q(rig.s.get());
        q.SetSQL(sql);
        q.Open();
        std::vector<std::vector<std::string>> rows;
        for (; !q.Eof(); q.Next()) {
            std::vector<std::string> row;
            for (int i = 0; i < q.FieldCount(); ++i)
                row.push_back(q.Fields(i)->IsNull() ? "<null>" : q.Fields(i)->AsString());
            rows.push_back(row);
        }
        return rows;
    }
};

// A UTC time as this machine's current offset shows it ("YYYY-MM-DD HH:MM:SS").
std::string Local(int y, int mo, int d, int h, int mi, int se = 0) {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    std::tm t{};
    t.tm_year = y - 1900, t.tm_mon = mo - 1, t.tm_mday = d, t.tm_hour = h, t.tm_min = mi, t.tm_sec = se;
    std::time_t shifted = timegm(&t) + local.tm_gmtoff;
    std::tm out{};
    gmtime_r(&shifted, &out);
    char b[40];
    std::snprintf(b, sizeof b, "%04d-%02d-%02d %02d:%02d:%02d", out.tm_year + 1900, out.tm_mon + 1,
                  out.tm_mday, out.tm_hour, out.tm_min, out.tm_sec);
    return b;
}

const char* const CreateTable =
    "create table native_types (id number, ts timestamp(9), tstz timestamp(9) with time zone, "
    "ltz timestamp(6) with local time zone, iym interval year(9) to month, ids interval day(9) to second(9), "
    "bf binary_float, bd binary_double, nv nvarchar2(2000), nc nchar(3), b boolean)";

} // namespace

TEST_F(CurrentTypes, EveryDigitOfEveryTypeWithNullsAndExtremes) {
    TRig rig(Current());
    rig.Exec(CreateTable);
    // 2000 characters, some of which Windows-1252 lacks (Greek, Japanese), as the server's UNISTR makes them.
    std::string national;
    for (int i = 0; i < 125; ++i)
        national += "Gr\\00FC\\00DFe \\0395\\03BB\\03BB\\03AC\\03B4\\03B1 \\65E5\\672C ";
    rig.Exec("insert into native_types values (1, '2024-02-29 13:45:00.123456789', "
             "'2024-01-01 10:00:00.000000001 +14:00', '2024-06-30 12:00:00.5', '+000000002-03', "
             "'-000000001 02:03:04.000000005', '3.4028235e38', 'NaN', unistr('" +
             national + "'), 'ab', 1)");
    rig.Exec(
        "insert into native_types values (2, '-4712-01-01 00:00:00', '9999-12-31 11:59:59.999999999 -12:00', "
        "'9999-12-31 23:59:59.999999', '-999999999-11', '+999999999 23:59:59.999999999', '-Inf', 'Inf', 'x', "
        "'abc', 0)");
    rig.Exec("insert into native_types values (3, '2000-01-01 00:00:00', '2024-07-01 15:30:00 Asia/Kolkata', "
             "null, null, null, -1.5, -0.1, null, null, null)");
    rig.Exec(
        "insert into native_types values (4, null, null, null, null, null, null, null, null, null, null)");
    rig.Exec("commit");
    auto rows = Rows(rig, "select id, ts, tstz, iym, ids, nv, nc, b from native_types order by id");
    ASSERT_EQ(rows.size(), 4u);
    std::string shown;
    for (int i = 0; i < 125; ++i)
        shown += "Gr\xFC\xDF"
                 "e ?????? ?? ";
    EXPECT_EQ(rows[0], (std::vector<std::string>{"1", "2024-02-29 13:45:00.123456789",
                                                 "2024-01-01 10:00:00.000000001 +14:00", "+000000002-03",
                                                 "-000000001 02:03:04.000000005", shown, "ab",
                                                 "TRUE"})); // CHAR blanks trimmed
    EXPECT_EQ(rows[1], (std::vector<std::string>{"2", "-4712-01-01 00:00:00.000000000",
                                                 "9999-12-31 11:59:59.999999999 -12:00", "-999999999-11",
                                                 "+999999999 23:59:59.999999999", "x", "abc", "FALSE"}));
    EXPECT_EQ(rows[2], (std::vector<std::string>{"3", "2000-01-01 00:00:00.000000000",
                                                 "2024-07-01 10:00:00.000000000 UTC", "<null>", "<null>",
                                                 "<null>", "<null>", "<null>"}));
    EXPECT_EQ(rows[3], (std::vector<std::string>{"4", "<null>", "<null>", "<null>", "<null>", "<null>",
                                                 "<null>", "<null>"}));
    // WITH LOCAL TIME ZONE in the session's zone (the client's offset at logon); the binary floats as the
    // dataset shows a double.
    auto more = Rows(rig, "select ltz, bf, bd from native_types order by id");
    ASSERT_EQ(more.size(), 4u);
    EXPECT_EQ(more[0], (std::vector<std::string>{Local(2024, 6, 30, 12, 0) + ".500000",
                                                 "3.40282346638529E+38", "NAN"}));
    EXPECT_EQ(more[1],
              (std::vector<std::string>{Local(9999, 12, 31, 23, 59, 59) + ".999999", "-INF", "INF"}));
    EXPECT_EQ(more[2], (std::vector<std::string>{"<null>", "-1.5", "-0.1"}));
    EXPECT_EQ(more[3], (std::vector<std::string>{"<null>", "<null>", "<null>"}));

    // A ROWID arrives in the server's own form (its parts) and reads back as the text that finds the row.
    auto byRowid = Rows(rig, "select rowid, id from native_types where id = 2");
    ASSERT_EQ(byRowid.size(), 1u);
    ASSERT_EQ(byRowid[0][0].size(), 18u);
    EXPECT_EQ(rig.One("select id from native_types where rowid = '" + byRowid[0][0] + "'"), "2");
}

TEST_F(CurrentTypes, AValueNoCalendarHoldsEndsTheFetchWithAnErrorAndTheSessionGoesOn) {
    TRig rig(Current());
    rig.Exec("create table odd_days (id number, ts timestamp(3))");
    // vestra-emu sends the day it was given as it is; 2023 has no February 29.
    rig.Exec("insert into odd_days values (1, '2023-02-29 10:00:00')");
    rig.Exec("insert into odd_days values (2, '2024-02-29 10:00:00')");
    std::string message;
    try {
        Rows(rig, "select id, ts from odd_days order by id");
    } catch (const std::exception& e) {
        message = e.what();
    }
    EXPECT_NE(message.find("Spalte 2 (TIMESTAMP): Datum oder Uhrzeit au\xDF"
                           "erhalb des Bereichs"),
              std::string::npos)
        << message;
    // The rest of the reply was read: the same connection answers the next query.
    EXPECT_EQ(rig.One("select ts from odd_days where id = 2"), "2024-02-29 10:00:00.000");
    EXPECT_EQ(rig.One("select count(*) from odd_days"), "2");
}
