// Queries against the emulator: the describe of every column type the server offers (with and without
// FieldsAsString, EnableIntegers, LongStrings), fetch boundaries, re-opening, and statements that return no
// rows.
#include "OraE2e.h"

#include "dataset/DBErrors.h"
#include "dataset/DateTimeUtil.h"

#include <gtest/gtest.h>

using namespace oratest;

namespace {

using Rig = TRig;

const TFieldDesc& Desc(TOraQuery& q, const std::string& name) {
    return *q.OCIRecordSet()->Fields().FieldByName(name);
}

class OraDescribe : public ::testing::Test {
protected:
    void SetUp() override {
        r.Exec("CREATE TABLE T_D (I9 NUMBER(9) NOT NULL, I10 NUMBER(10), F52 NUMBER(5,2), N NUMBER, "
               "V20 VARCHAR2(20), V31 VARCHAR2(31), V32 VARCHAR2(32), V300 VARCHAR2(300), C4 CHAR(4), "
               "D DATE, R8 RAW(8), R100 RAW(100), L LONG, CL CLOB, BL BLOB)");
        r.Exec("INSERT INTO T_D VALUES (123456789, 1234567890, 123.45, 0.5, 'v', 'w', 'x', 'y', 'ab', "
               "TO_DATE('2003-12-31 23:59:59','YYYY-MM-DD HH24:MI:SS'), HEXTORAW('0102'), HEXTORAW('03'), "
               "'long', 'clob', HEXTORAW('04'))");
    }
    Rig r{ClassicServer()}; // classic until the current generation fetches LOB columns and these defines
};

TEST_F(OraDescribe, ColumnTypesBecomeTheirStoredForms) {
    TOraQuery q(r.s.get());
    q.SetSQL("SELECT T_D.*, ROWID FROM T_D");
    q.Open();
    struct Row {
        const char* Name;
        uint16_t Type;
        uint16_t Sub;
        uint16_t Length;
        uint16_t Size; // 0: not checked (pointer slots)
    };
    const Row rows[] = {
        {"I9", dtInt32, 0, 9, 4},       {"I10", dtFloat, 0, 10, 8},
        {"F52", dtFloat, 0, 5, 8},      {"N", dtFloat, 0, 0, ExactNumberFieldSize}, // room for 40 digits
        {"V20", dtString, 0, 20, 21},   {"V31", dtString, 0, 31, 32},
        {"V32", dtExtString, 0, 32, 0}, {"V300", dtExtString, 0, 300, 0},
        {"C4", dtString, 0, 4, 5},      {"D", dtDateTime, 0, 0, 7},
        {"R8", dtVarBytes, 0, 8, 10},   {"R100", dtExtVarBytes, 0, 100, 0},
        {"L", dtMemo, 0, 0, 0},         {"CL", dtOraClob, 0, 0, 0},
        {"BL", dtOraBlob, 0, 0, 0},     {"ROWID", dtString, 100, 18, 19},
    };
    for (const Row& row : rows) {
        const TFieldDesc& f = Desc(q, row.Name);
        EXPECT_EQ(f.DataType, row.Type) << row.Name;
        EXPECT_EQ(f.SubDataType, row.Sub) << row.Name;
        EXPECT_EQ(f.Length, row.Length) << row.Name;
        if (row.Size) {
            EXPECT_EQ(f.Size, row.Size) << row.Name;
        }
    }
    EXPECT_EQ(Desc(q, "F52").Scale, 2);
    EXPECT_TRUE(Desc(q, "C4").Fixed);
    EXPECT_FALSE(Desc(q, "V20").Fixed);
    EXPECT_TRUE(Desc(q, "I9").Required);
    EXPECT_FALSE(Desc(q, "I10").Required);
    // The values read through every form.
    EXPECT_EQ(q.FieldByName("I9")->AsInteger(), 123456789);
    EXPECT_DOUBLE_EQ(q.FieldByName("I10")->AsFloat(), 1234567890.0);
    EXPECT_DOUBLE_EQ(q.FieldByName("F52")->AsFloat(), 123.45);
    EXPECT_DOUBLE_EQ(q.FieldByName("N")->AsFloat(), 0.5);
    EXPECT_EQ(q.FieldByName("V32")->AsString(), "x");
    EXPECT_EQ(q.FieldByName("V300")->AsString(), "y");
    EXPECT_EQ(q.FieldByName("C4")->AsString(), "ab");
    EXPECT_EQ(q.FieldByName("L")->AsString(), "long");
    EXPECT_EQ(q.FieldByName("CL")->AsString(), "clob");
    EXPECT_EQ(q.FieldByName("ROWID")->AsString().size(), 18u);
    // The ROWID selects its row.
    std::string rowid = q.FieldByName("ROWID")->AsString();
    TOraQuery byRowId(r.s.get());
    byRowId.SetSQL("SELECT V20 FROM T_D WHERE ROWID = :r");
    byRowId.ParamByName("r")->SetAsString(rowid);
    byRowId.Open();
    ASSERT_FALSE(byRowId.Eof());
    EXPECT_EQ(byRowId.Fields(0)->AsString(), "v");
}

TEST_F(OraDescribe, LongStringsOffTurnsWideVarcharsIntoTextMemosFlatBuffersKeepsThemInline) {
    TOraQuery q(r.s.get());
    q.SetLongStrings(false);
    q.SetSQL("SELECT V20, V32, V300, R100 FROM T_D");
    q.Open();
    EXPECT_EQ(Desc(q, "V300").DataType, dtMemo);
    EXPECT_EQ(Desc(q, "V300").SubDataType, 1);
    EXPECT_EQ(Desc(q, "V32").DataType, dtExtString);
    EXPECT_EQ(q.FieldByName("V300")->AsString(), "y");
    q.Close();
    TOraQuery flat(r.s.get());
    flat.SetFlatBuffers(true);
    flat.SetSQL("SELECT V20, V32, V300, R100 FROM T_D");
    flat.Open();
    EXPECT_EQ(Desc(flat, "V300").DataType, dtString);
    EXPECT_EQ(Desc(flat, "V300").Size, 301);
    EXPECT_EQ(Desc(flat, "R100").DataType, dtVarBytes);
    EXPECT_EQ(flat.FieldByName("V32")->AsString(), "x");
    Variant b = flat.FieldByName("R100")->AsVariant();
    ASSERT_TRUE(b.IsByteArray());
    EXPECT_EQ(b.Bytes(), std::vector<uint8_t>{3});
}

TEST_F(OraDescribe, FieldsAsStringUsesTheNlsLengthsAndServerTexts) {
    TOraQuery q(r.s.get());
    q.OptionsDS.FieldsAsString = true;
    q.SetSQL("SELECT I9, F52, N, D, R8 FROM T_D");
    q.Open();
    EXPECT_EQ(Desc(q, "I9").DataType, dtString);
    EXPECT_EQ(Desc(q, "I9").Length, 11);
    EXPECT_EQ(Desc(q, "F52").Length, 7);
    EXPECT_EQ(Desc(q, "N").Length, 40);
    EXPECT_EQ(Desc(q, "D").DataType, dtString);
    EXPECT_EQ(Desc(q, "D").Length, 10); // DD.MM.YYYY
    EXPECT_EQ(Desc(q, "R8").Length, 16);
    EXPECT_EQ(q.FieldByName("I9")->AsString(), "123456789");
    EXPECT_EQ(q.FieldByName("D")->AsString(), "31.12.2003");
    EXPECT_EQ(q.FieldByName("R8")->AsString(), "0102");
    q.Close();
    // A format with MONTH gets room for the longest month name.
    r.s->Options().SetDateFormat("DD. MONTH YYYY");
    q.Open();
    EXPECT_EQ(Desc(q, "D").Length, 14 + 7);
    EXPECT_EQ(q.FieldByName("D")->AsString().rfind("31. DEZEMBER", 0), 0u) << q.FieldByName("D")->AsString();
}

TEST_F(OraDescribe, EnableIntegersOffMakesEveryNumberAFloat) {
    r.s->Options().SetEnableIntegers(false);
    TOraQuery q(r.s.get());
    q.SetSQL("SELECT I9, COUNT(*) OVER () C FROM T_D");
    q.Open();
    EXPECT_EQ(Desc(q, "I9").DataType, dtFloat);
    EXPECT_EQ(q.FieldByName("I9")->DataType(), ftFloat);
    EXPECT_DOUBLE_EQ(q.FieldByName("I9")->AsFloat(), 123456789.0);
}

TEST(OraFetch, ZeroRowsExactlyOneBlockAndOneShort) {
    vemu::EmuOptions o;
    o.benchRows = 60;
    Rig r(o);
    TOraQuery q(r.s.get());
    q.SetFetchRows(25);
    q.SetSQL("SELECT ID FROM BENCH WHERE ID > :n ORDER BY ID");
    for (int n : {60, 35, 36, 10}) {
        q.Close();
        q.ParamByName("n")->SetAsInteger(n);
        q.Open();
        int expected = 60 - n;
        if (expected == 0) {
            EXPECT_TRUE(q.Eof());
            EXPECT_TRUE(q.Bof());
            EXPECT_EQ(q.RecordCount(), 0);
            continue;
        }
        EXPECT_EQ(q.FieldByName("ID")->AsInteger(), n + 1);
        int seen = 0, last = 0;
        for (; !q.Eof(); q.Next()) {
            ++seen;
            EXPECT_EQ(q.FieldByName("ID")->AsInteger(), last ? last + 1 : n + 1);
            last = q.FieldByName("ID")->AsInteger();
        }
        EXPECT_EQ(seen, expected) << n;
        EXPECT_EQ(q.RecordCount(), expected) << n;
        EXPECT_EQ(last, 60);
    }
}

TEST(OraFetch, FetchAllReopenAndUniDirectional) {
    vemu::EmuOptions o;
    o.benchRows = 130;
    Rig r(o);
    TOraQuery q(r.s.get());
    q.SetFetchRows(10);
    q.SetFetchAll(true);
    q.SetSQL("SELECT ID, NAME FROM BENCH ORDER BY ID");
    q.Open();
    EXPECT_EQ(q.RecordCount(), 130);
    EXPECT_EQ(q.FieldByName("ID")->AsInteger(), 1);
    // Re-opening runs the statement again and sees new rows.
    r.Exec("DELETE FROM BENCH WHERE ID > 100");
    q.Close();
    q.Open();
    EXPECT_EQ(q.RecordCount(), 100);
    q.Refresh();
    EXPECT_EQ(q.RecordCount(), 100);
    q.Close();

    TOraQuery u(r.s.get());
    u.SetUniDirectional(true);
    u.SetFetchRows(7);
    u.SetSQL("SELECT ID FROM BENCH ORDER BY ID");
    u.Open();
    long sum = 0;
    int n = 0;
    for (; !u.Eof(); u.Next()) {
        sum += u.Fields(0)->AsInteger();
        ++n;
    }
    EXPECT_EQ(n, 100);
    EXPECT_EQ(sum, 5050);
}

// Rows with LONG, CLOB, BLOB and wide VARCHAR2 values of different lengths (NULL, short, across a piece)
// fetched in blocks, also reusing one block, also with CHAR values untrimmed.
TEST(OraFetch, ComplexColumnsOverManyBlocksKeepEachRowsValue) {
    Rig r(ClassicServer()); // classic until the current generation fetches LOB columns
    r.Exec("CREATE TABLE T_C (ID NUMBER(9), L LONG, C CLOB, B BLOB, V VARCHAR2(200), F CHAR(6))");
    auto text = [](int id) -> std::string {
        if (id % 7 == 0) return std::string();
        size_t n = id % 5 == 0 ? 70000 + size_t(id) : size_t(id) * 13;
        std::string t(n, ' ');
        for (size_t i = 0; i < n; ++i)
            t[i] = char('a' + (i + size_t(id)) % 26);
        return t;
    };
    TOraSQL ins(r.s.get());
    ins.SetSQL(
        "INSERT INTO T_C VALUES (:id, :l, EMPTY_CLOB(), EMPTY_BLOB(), :v, :f) RETURNING C, B INTO :c, :b");
    for (int id = 1; id <= 40; ++id) {
        std::string t = text(id);
        ins.ParamByName("id")->SetAsInteger(id);
        ins.ParamByName("l")->SetAsMemo(t);
        ins.ParamByName("c")->DataType = ftOraClob;
        ins.ParamByName("c")->ParamType = ptInput;
        ins.ParamByName("c")->SetValue(Variant(t.substr(0, 5000)));
        ins.ParamByName("b")->DataType = ftOraBlob;
        ins.ParamByName("b")->ParamType = ptInput;
        ins.ParamByName("b")->SetValue(Variant::FromBytes(t.data(), std::min<size_t>(t.size(), 300)));
        ins.ParamByName("v")->SetAsString(t.substr(0, 199) + (t.empty() ? "" : " "));
        ins.ParamByName("f")->SetAsString(t.substr(0, 2));
        ins.Execute();
    }
    r.s->Commit();
    for (bool uni : {false, true}) {
        TOraQuery q(r.s.get());
        q.SetFetchRows(6);
        q.SetUniDirectional(uni);
        q.SetTrimFixedChar(false);
        q.SetSQL("SELECT ID, L, C, B, V, F FROM T_C ORDER BY ID");
        q.Open();
        int seen = 0;
        for (; !q.Eof(); q.Next()) {
            int id = q.FieldByName("ID")->AsInteger();
            std::string t = text(id);
            ++seen;
            EXPECT_EQ(q.FieldByName("L")->IsNull(), t.empty()) << id;
            EXPECT_EQ(q.FieldByName("L")->AsString(), t) << id << (uni ? " uni" : "");
            EXPECT_EQ(q.FieldByName("C")->AsString(), t.substr(0, 5000)) << id;
            Variant b = q.FieldByName("B")->AsVariant();
            if (t.empty()) {
                // EMPTY_BLOB() is a LOB of no bytes, not a NULL
                EXPECT_FALSE(q.FieldByName("B")->IsNull()) << id;
                EXPECT_TRUE(b.IsByteArray() && b.Bytes().empty()) << id;
            } else {
                ASSERT_TRUE(b.IsByteArray()) << id;
                EXPECT_EQ(std::string(b.Bytes().begin(), b.Bytes().end()), t.substr(0, 300)) << id;
            }
            EXPECT_EQ(q.FieldByName("V")->AsString(), t.empty() ? "" : t.substr(0, 199) + " ") << id;
            EXPECT_EQ(q.FieldByName("F")->AsString(), t.empty() ? "" : t.substr(0, 2) + "    ") << id;
        }
        EXPECT_EQ(seen, 40);
    }
}

TEST(OraQueryOptions, CursorOptionsNeedAClosedDataSetAndScrollableIsReadOnly) {
    Rig r;
    TOraQuery q(r.s.get());
    q.SQLUpdate = "UPDATE DEPT SET DNAME = :DNAME WHERE DEPTNO = :OLD_DEPTNO";
    q.SetSQL("SELECT DEPTNO, DNAME FROM DEPT");
    q.Open();
    EXPECT_TRUE(q.CanModify());
    EXPECT_THROW(q.SetCacheLobs(false), EDatabaseError);
    EXPECT_THROW(q.SetScrollableCursor(true), EDatabaseError);
    EXPECT_TRUE(q.OptionsDS.CacheLobs);
    EXPECT_FALSE(q.OptionsDS.ScrollableCursor);
    q.Close();
    q.SetScrollableCursor(true);
    EXPECT_FALSE(q.CanModify());
    q.SetCacheLobs(false);
    EXPECT_FALSE(q.OptionsDS.CacheLobs);
}

TEST(OraFetch, FetchRowsOutsideTheRangeIsRefused) {
    Rig r;
    TOraQuery q(r.s.get());
    EXPECT_ANY_THROW(q.SetFetchRows(0));
    EXPECT_ANY_THROW(q.SetFetchRows(10001));
    q.SetFetchRows(10000);
    EXPECT_EQ(q.FetchRows(), 10000);
}

TEST(OraFetch, OpeningAnUpdateExecutesItThenSaysItReturnsNoRows) {
    Rig r;
    TOraQuery q(r.s.get());
    q.SetSQL("UPDATE DEPT SET LOC = 'X' WHERE DEPTNO = 40");
    try {
        q.Open();
        FAIL();
    } catch (Exception& e) {
        EXPECT_STREQ(e.what(), "SQL statement doesn't return rows");
    }
    EXPECT_FALSE(q.Active());
    TOraQuery check(r.s.get());
    check.SetSQL("SELECT LOC FROM DEPT WHERE DEPTNO = 40");
    check.Open();
    EXPECT_EQ(check.Fields(0)->AsString(), "X");
    // The same component runs a query afterwards.
    q.SetSQL("SELECT COUNT(*) FROM DEPT");
    q.Open();
    EXPECT_EQ(q.Fields(0)->AsInteger(), 4);
}

TEST(OraFetch, ExecuteOfASelectFetchesAndRowsAffectedCountsDml) {
    Rig r;
    TOraQuery q(r.s.get());
    q.SetSQL("SELECT ENAME FROM EMP WHERE DEPTNO = 10 ORDER BY ENAME");
    q.Execute();
    EXPECT_TRUE(q.Active());
    EXPECT_EQ(q.Fields(0)->AsString(), "CLARK");
    q.Close();
    q.SetSQL("UPDATE EMP SET COMM = NULL WHERE DEPTNO = 99");
    q.Execute();
    EXPECT_EQ(q.RowsAffected(), 0);
    q.SetSQL("UPDATE EMP SET COMM = 1 WHERE DEPTNO = 30");
    q.Execute();
    EXPECT_EQ(q.RowsAffected(), 6);
}

TEST(OraFetch, QueryRecCountDropsTheOrderByAndKeepsParameters) {
    Rig r;
    TPrepareLog log;
    TOraQuery q(r.s.get());
    q.SetQueryRecCount(true);
    q.SetFetchRows(2);
    q.SetSQL("SELECT ENAME FROM EMP WHERE DEPTNO = :d ORDER BY ENAME");
    q.ParamByName("d")->SetAsInteger(30);
    q.Open();
    EXPECT_EQ(q.RecordCount(), 6);
    auto counts = log.Starting("SELECT Count(*) FROM (");
    ASSERT_EQ(counts.size(), 1u);
    EXPECT_EQ(counts[0].find("ORDER BY"), std::string::npos) << counts[0];
}

} // namespace
