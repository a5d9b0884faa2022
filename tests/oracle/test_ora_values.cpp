// Oracle value forms, SQL text operations, the parameter scan and option mappings, without a server.
#include "oracle/Ora.h"

#include <gtest/gtest.h>

namespace {

TEST(OraDate, DecodesAndEncodesTheSevenByteForm) {
    const uint8_t bytes[7] = {120, 103, 12, 31, 24, 60, 60};
    TDateTime dt = OraDateToDateTime(bytes);
    EXPECT_DOUBLE_EQ(dt, EncodeDate(2003, 12, 31) + EncodeTime(23, 59, 59, 0));
    uint8_t back[7] = {};
    DateTimeToOraDate(dt, back);
    EXPECT_EQ(std::vector<uint8_t>(back, back + 7), std::vector<uint8_t>(bytes, bytes + 7));
}

TEST(OraDate, DatesBeforeTheEpochAndMalformedBytes) {
    uint8_t d[7] = {};
    TDateTime v = EncodeDate(1899, 12, 29) - EncodeTime(6, 0, 0, 0); // negative day count, time as a fraction
    DateTimeToOraDate(v, d);
    EXPECT_EQ(d[0], 118);
    EXPECT_EQ(d[1], 199);
    EXPECT_EQ(d[4], 7);
    EXPECT_DOUBLE_EQ(OraDateToDateTime(d), v);
    const uint8_t bad[7] = {120, 103, 13, 40, 1, 1, 1}; // month 13
    EXPECT_EQ(OraDateToDateTime(bad), 0);
}

TEST(OraSqlTextSent, LineEndsOutsideLiteralsBecomeLineFeeds) {
    EXPECT_EQ(ConvertSQLText("  SELECT 1\r\nFROM DUAL\r  "), "SELECT 1\nFROM DUAL");
    EXPECT_EQ(ConvertSQLText("SELECT 'a\r\nb' FROM DUAL"), "SELECT 'a\r\nb' FROM DUAL");
    EXPECT_EQ(ConvertSQLText("SELECT 1 -- it's\r\nFROM DUAL"), "SELECT 1 -- it's\nFROM DUAL");
    // A position of the converted text maps back to the text as written.
    std::string sql = " SELECT\r\nX FROM DUAL";
    std::string sent = ConvertSQLText(sql);
    ASSERT_EQ(sent[7], 'X');
    EXPECT_EQ(sql[size_t(ConvertedToOriginalPos(sql, 7))], 'X');
}

TEST(OraParamScan, NamesOnceInOrderWithoutAssignmentsOrTriggerBodies) {
    auto p = ScanOraParams("SELECT :a, :A, :b FROM T WHERE X = :a AND Y = :\"Mixed\" AND Z = :1");
    ASSERT_EQ(p.size(), 4u);
    EXPECT_EQ(p[0].Name, "a");
    EXPECT_EQ(p[1].Name, "b");
    EXPECT_EQ(p[2].Name, "Mixed");
    EXPECT_TRUE(p[2].Quoted);
    EXPECT_EQ(p[3].Name, "1");
    EXPECT_TRUE(ScanOraParams("begin x := 1; end;").empty());
    auto t = ScanOraParams("CREATE TRIGGER TR BEFORE INSERT ON T FOR EACH ROW BEGIN :new.X := :old.X; END;");
    EXPECT_TRUE(t.empty());
    auto kw = ScanOraParams("begin :Result := :Type; end;");
    ASSERT_EQ(kw.size(), 2u);
    EXPECT_EQ(kw[1].Name, "Type");
}

TEST(OraSqlOps, AddWhereBeforeClausesAndJoinedWithAnd) {
    EXPECT_EQ(OraAddWhere("SELECT * FROM EMP ORDER BY ENAME", "DEPTNO = 10"),
              "SELECT * FROM EMP \rWHERE DEPTNO = 10 ORDER BY ENAME");
    EXPECT_EQ(OraAddWhere("SELECT * FROM EMP WHERE SAL > 1000", "DEPTNO = 10"),
              "SELECT * FROM EMP WHERE SAL > 1000 AND DEPTNO = 10 ");
    EXPECT_EQ(OraAddWhere("SELECT * FROM EMP", ""), "SELECT * FROM EMP");
    EXPECT_EQ(OraAddWhere("UPDATE EMP SET SAL = 1", "DEPTNO = 10"), "UPDATE EMP SET SAL = 1");
    // A subquery's WHERE and ORDER BY are not the statement's.
    EXPECT_EQ(OraAddWhere("SELECT * FROM (SELECT * FROM EMP WHERE X = 1 ORDER BY Y) E", "Z = 2"),
              "SELECT * FROM (SELECT * FROM EMP WHERE X = 1 ORDER BY Y) E\rWHERE Z = 2 ");
    // An existing condition with OR keeps its meaning.
    EXPECT_EQ(OraAddWhere("SELECT * FROM EMP WHERE A = 1 OR B = 2", "C = 3"),
              "SELECT * FROM EMP WHERE (A = 1 OR B = 2) AND C = 3 ");
    EXPECT_EQ(OraDeleteWhere("SELECT * FROM EMP WHERE A = 1 ORDER BY B"), "SELECT * FROM EMP ORDER BY B");
}

TEST(OraSqlOps, OrderByReplacedRemovedAndRead) {
    EXPECT_EQ(OraSetOrderBy("SELECT * FROM EMP", "ENAME;SAL DESC"),
              "SELECT * FROM EMP ORDER BY ENAME,SAL DESC");
    EXPECT_EQ(OraSetOrderBy("SELECT * FROM EMP ORDER BY SAL", "ENAME"), "SELECT * FROM EMP ORDER BY ENAME");
    EXPECT_EQ(OraSetOrderBy("SELECT * FROM EMP ORDER BY SAL FOR UPDATE", ""), "SELECT * FROM EMP FOR UPDATE");
    EXPECT_EQ(OraSetOrderBy("SELECT * FROM EMP FOR UPDATE", "SAL"),
              "SELECT * FROM EMP ORDER BY SAL FOR UPDATE");
    EXPECT_EQ(OraSetOrderBy("SELECT *\rFROM EMP", "SAL"), "SELECT *\rFROM EMP\r  ORDER BY SAL");
    EXPECT_EQ(OraGetOrderBy("SELECT * FROM EMP ORDER BY SAL DESC, ENAME"), "SAL DESC, ENAME");
    EXPECT_EQ(OraGetOrderBy("SELECT * FROM (SELECT * FROM EMP ORDER BY SAL)"), "");
    EXPECT_EQ(OraFirstTable("SELECT * FROM scott.emp e, dept d"), "SCOTT.EMP");
}

TEST(OraComponents, ConnectStringSplitsAndJoins) {
    TOraSession s;
    s.SetConnectString("scott/tiger@host:1521:bnx");
    EXPECT_EQ(s.Username(), "scott");
    EXPECT_EQ(s.Password(), "tiger");
    EXPECT_EQ(s.Server(), "host:1521:bnx");
    s.SetConnectString("system@srv");
    EXPECT_EQ(s.Username(), "system");
    EXPECT_EQ(s.Password(), "");
    EXPECT_EQ(s.ConnectString(), "system@srv");
    s.SetConnectString("only");
    EXPECT_EQ(s.ConnectString(), "only");
    EXPECT_EQ(s.Server(), "");
    EXPECT_EQ(TOraSession::DefaultSession(), &s);
}

TEST(OraComponents, OlderOptionMappingsAndSavepointName) {
    TOraQuery q;
    q.SetOptions(doStrictUpdate | doKeepPrepared | doQueryRecCount);
    EXPECT_FALSE(q.Options().RequiredFields);
    EXPECT_TRUE(q.Options().StrictUpdate);
    EXPECT_TRUE(q.OptionsDS.KeepPrepared);
    EXPECT_EQ(q.GetOptions(), doStrictUpdate | doKeepPrepared | doQueryRecCount);
    q.RefreshOptions = roBeforeEdit;
    q.SetRefreshMode(rmAlways);
    EXPECT_EQ(q.RefreshOptions, roBeforeEdit | roAfterInsert | roAfterUpdate);
    q.RefreshOptions = roAfterUpdate;
    EXPECT_EQ(q.GetRefreshMode(), rmAfterUpdate);
    q.RefreshOptions = roAfterInsert;
    EXPECT_EQ(q.GetRefreshMode(), rmAfterInsert);
    q.Name = "QryQuickViewExecuteWorkbenchTable";
    EXPECT_EQ(q.LockSavepointName(), "LOCK_ViewExecuteWorkbenchTable");
    q.SQLUpdate = "UPDATE T SET A = :A";
    EXPECT_TRUE(q.CanModify());
}

TEST(OraComponents, ParameterElementsAndErrors) {
    TOraParamDesc p;
    p.SetName("n");
    p.SetDataType(dtInt32);
    p.SetLength(3);
    p.SetItemValue(2, Variant(int32_t(5)));
    EXPECT_TRUE(p.GetItemNull(1));
    EXPECT_EQ(p.GetItemValue(2).AsInteger(), 5);
    EXPECT_THROW(p.GetItemValue(4), ERangeError);
    TOraParamDesc s;
    s.SetDataType(dtString);
    s.SetValue(Variant(std::string("a longer text than the size")));
    Variant v;
    s.GetValue(v);
    EXPECT_EQ(v.AsString(), "a longer text than the size");
    TOraParamDesc d;
    d.SetDataType(dtDateTime);
    d.SetValue(Variant::FromDateTime(EncodeDate(2001, 2, 3)));
    EXPECT_EQ(std::vector<uint8_t>(d.ValuePtr(), d.ValuePtr() + 7),
              (std::vector<uint8_t>{120, 101, 2, 3, 1, 1, 1}));
    EXPECT_TRUE(IsFatalOraCode(3113));
    EXPECT_TRUE(IsFatalOraCode(-12571));
    EXPECT_FALSE(IsFatalOraCode(942));
    EOraError e(-942, "ORA-00942: table or view does not exist");
    EXPECT_EQ(e.ErrorCode, 942);
}

} // namespace
