// The SQL component and the SQL data set: call order on the layer, parameters, macros, open/execute/fetch
// settings, FilterSQL, master/detail and the ORDER BY entry points.
#include "tests/dataset/testserver/TestComponents.h"

#include <gtest/gtest.h>

using namespace testsrv;

namespace {

class DSFixture : public ::testing::Test {
protected:
    void SetUp() override {
        SeedScott(db);
        conn.ConnectPrompt = false;
        conn.SetUsername("scott");
        conn.SetPassword("tiger");
        ds.Name = "Qry";
        ds.SetConnection(&conn);
    }
    void TearDown() override { DAHooks() = TDAHooks(); }

    std::vector<int> EmpNos(TDataSet& d) {
        std::vector<int> out;
        d.First();
        while (!d.Eof()) {
            out.push_back(d.FieldByName("EMPNO")->AsInteger());
            d.Next();
        }
        return out;
    }

    TTestDatabase db;
    TTestDAConnection conn{&db};
    TTestDADataSet ds;
};

std::string ErrorText(const std::function<void()>& f) {
    try {
        f();
    } catch (std::exception& e) {
        return e.what();
    }
    return "(no error)";
}

} // namespace

TEST_F(DSFixture, RecordSetIsCreatedWithItsPropertiesAndCallbacks) {
    // The record set gets the data set's options and its three callbacks as it is created, before any
    // statement reaches its command.
    auto prop = [](int code, const char* value) {
        return "rs.SetProp " + std::to_string(code) + " " + value;
    };
    auto method = [](int code) { return "rs.SetMethodProp " + std::to_string(code); };
    int created = db.Find("conn.CreateRecordSet");
    int firstSql = db.Find("rs.cmd.SetSQL ");
    ASSERT_GE(created, 0);
    ASSERT_GT(firstSql, created);
    for (const std::string& entry :
         {prop(prUniDirectional, "False"), prop(prFetchRows, "25"), prop(prFetchAll, "False"),
          prop(prLongStrings, "True"), prop(prFlatBuffers, "False"), method(prOnRSAfterExecute),
          method(prOnAfterFetch), method(prOnFetchBracket)}) {
        int at = db.Find(entry);
        EXPECT_GT(at, created) << entry;
        EXPECT_LT(at, firstSql) << entry;
    }
    // Then the SQL component treats the record set's command like its own: text, auto-commit, callback.
    int ac = db.Find("rs.cmd.SetProp " + std::to_string(prAutoCommit) + " True");
    int cb = db.Find("rs.cmd.SetMethodProp " + std::to_string(prOnAfterExecute));
    EXPECT_GT(ac, firstSql);
    EXPECT_GT(cb, firstSql);
}

TEST_F(DSFixture, OpeningConnectsExecutesAndFetchesTheFirstBlock) {
    ds.SetSQL("SELECT * FROM EMP");
    EXPECT_FALSE(conn.Connected());
    ds.Open();
    EXPECT_TRUE(conn.Connected());
    EXPECT_EQ(ds.RecordCount(), 7);
    EXPECT_EQ(ds.FieldByName("ENAME")->AsString(), "SMITH");
    EXPECT_EQ(ds.RowsAffected(), -1);
    EXPECT_EQ(EmpNos(ds), (std::vector<int>{7369, 7499, 7521, 7566, 7698, 7782, 7839}));
}

TEST_F(DSFixture, FetchRowsOneGrowsTheCountOneRowPerStep) {
    ds.SetFetchRows(1);
    ds.SetSQL("SELECT * FROM EMP");
    ds.Open();
    EXPECT_EQ(ds.RecordCount(), 1);
    for (int i = 2; i <= 7; ++i) {
        ds.Next();
        EXPECT_EQ(ds.RecordCount(), i);
    }
    EXPECT_EQ(ds.Rs()->FetchCalls, 7);
}

TEST_F(DSFixture, FetchRowsIsCheckedAndNeedsAnInactiveDataSet) {
    EXPECT_EQ(ErrorText([&] { ds.SetFetchRows(0); }), "FetchRows must be 1..10000.");
    EXPECT_EQ(ErrorText([&] { ds.SetFetchRows(10001); }), "FetchRows must be 1..10000.");
    ds.SetFetchRows(10000);
    ds.SetSQL("SELECT * FROM EMP");
    ds.Open();
    EXPECT_NO_THROW(ds.SetFetchRows(10000)); // the same value on an active data set is accepted
    EXPECT_EQ(ErrorText([&] { ds.SetFetchRows(5); }), SDataSetOpen);
    EXPECT_EQ(ds.FetchRows(), 10000);
}

TEST_F(DSFixture, FetchAllOpensWithTheFinalCountAndSwitchesUniDirectionalOff) {
    ds.SetFetchRows(2);
    ds.SetUniDirectional(true);
    ds.SetFetchAll(true);
    EXPECT_FALSE(ds.UniDirectional());
    ds.SetSQL("SELECT * FROM EMP");
    ds.Open();
    EXPECT_EQ(ds.RecordCount(), 7);
    ds.Close();

    // Switched on while open: everything is fetched at once.
    ds.SetFetchAll(false);
    ds.Open();
    EXPECT_EQ(ds.RecordCount(), 2);
    ds.SetFetchAll(true);
    EXPECT_EQ(ds.RecordCount(), 7);
}

TEST_F(DSFixture, UniDirectionalSteppingBackLeavesTheBeginning) {
    ds.SetFetchRows(2);
    ds.SetSQL("SELECT * FROM EMP");
    ds.SetUniDirectional(true);
    EXPECT_FALSE(ds.CanModify());
    ds.Open();
    ds.Next();
    ds.Next();
    ds.Next();
    EXPECT_EQ(ds.FieldByName("EMPNO")->AsInteger(), 7566);
    ds.Prior();
    EXPECT_TRUE(ds.Bof());
    EXPECT_EQ(ds.IRecordSet()->CurrentItem(), nullptr);
    EXPECT_EQ(ErrorText([&] { ds.SetUniDirectional(false); }), SDataSetOpen);
}

TEST_F(DSFixture, NoRowsOpensEmpty) {
    ds.SetSQL("SELECT * FROM EMP WHERE DEPTNO = 99");
    ds.Open();
    EXPECT_EQ(ds.RecordCount(), 0);
    EXPECT_TRUE(ds.Eof());
    EXPECT_TRUE(ds.Bof());
}

TEST_F(DSFixture, ParametersComeFromTheTextAndKeepTheirValues) {
    ds.SetSQL("SELECT * FROM EMP WHERE DEPTNO = :DEPTNO AND JOB = :JOB");
    ASSERT_EQ(ds.Params().Count(), 2);
    ds.ParamByName("DEPTNO")->SetAsInteger(30);
    ds.ParamByName("JOB")->SetAsString("SALESMAN");
    ds.Open();
    EXPECT_EQ(EmpNos(ds), (std::vector<int>{7499, 7521}));
    // The descriptors got name, type and value.
    EXPECT_GE(db.Find("rs.cmd.Param DEPTNO=30"), 0);
    EXPECT_EQ(ds.IRecordSet()->GetCommand()->GetParam(0)->GetDataType(), dtInt32);
    EXPECT_EQ(ds.IRecordSet()->GetCommand()->GetParam(1)->GetDataType(), dtString);

    // A new text keeps the values of parameters of the same name; surplus descriptors go.
    ds.SetSQL("SELECT * FROM EMP WHERE DEPTNO = :deptno");
    EXPECT_FALSE(ds.Active());
    ASSERT_EQ(ds.Params().Count(), 1);
    EXPECT_EQ(ds.Params()[0]->AsInteger(), 30);
    ds.Open();
    EXPECT_EQ(ds.RecordCount(), 3);
    EXPECT_EQ(ds.IRecordSet()->GetCommand()->GetParamCount(), 1);
}

TEST_F(DSFixture, WithParamCheckOffTheParametersStayAsTheyAre) {
    ds.SetSQL("SELECT * FROM EMP WHERE DEPTNO = :A");
    ds.SetParamCheck(false);
    ds.SetSQL("SELECT * FROM EMP WHERE DEPTNO = :B");
    ASSERT_EQ(ds.Params().Count(), 1);
    EXPECT_EQ(ds.Params()[0]->Name, "A");
    ds.SetParamCheck(true);
    EXPECT_EQ(ds.Params()[0]->Name, "B");
}

TEST_F(DSFixture, ACommandThatScansItselfSuppliesTheParameters) {
    db.ScanParams = true;
    TTestDADataSet q;
    q.SetConnection(&conn);
    q.SetSQL("SELECT * FROM EMP WHERE DEPTNO = :DNO");
    ASSERT_EQ(q.Params().Count(), 1);
    EXPECT_EQ(q.Params()[0]->Name, "DNO");
    EXPECT_EQ(q.Params()[0]->ParamType, ptInput);
    q.Params()[0]->SetAsInteger(10);
    q.SetSQL("SELECT * FROM EMP WHERE DEPTNO = :DNO ");
    EXPECT_EQ(q.Params()[0]->AsInteger(), 10);
    q.Open();
    EXPECT_EQ(q.RecordCount(), 2);
}

TEST_F(DSFixture, MacrosRederiveTheFinalSqlAndCloseTheDataSet) {
    ds.SetSQL("SELECT * FROM EMP &cond");
    ASSERT_EQ(ds.Macros().Count(), 1);
    ds.MacroByName("cond")->SetValue("WHERE DEPTNO = 10");
    ds.Open();
    EXPECT_EQ(ds.RecordCount(), 2);
    ds.MacroByName("cond")->SetActive(false);
    EXPECT_FALSE(ds.Active());
    EXPECT_EQ(ds.FinalSQL(), "SELECT * FROM EMP "); // trimmed before the expansion
    ds.Open();
    EXPECT_EQ(ds.RecordCount(), 7);
}

TEST_F(DSFixture, ExecuteRunsStatementsAndOpensQueries) {
    ds.SetSQL("UPDATE EMP SET SAL = :SAL WHERE DEPTNO = :DEPTNO");
    ds.ParamByName("SAL")->SetAsFloat(1000);
    ds.ParamByName("DEPTNO")->SetAsInteger(30);
    ds.Execute();
    EXPECT_FALSE(ds.Active());
    EXPECT_EQ(ds.RowsAffected(), 3);
    EXPECT_EQ(db.Table("EMP").Rows[1][3].AsDouble(), 1000);

    ds.SetSQL("SELECT * FROM DEPT");
    ds.Execute();
    EXPECT_TRUE(ds.Active());
    EXPECT_EQ(ds.RecordCount(), 3);
    EXPECT_EQ(ds.RowsAffected(), -1);

    db.Executing = true; // an execution in progress: nothing happens
    db.Log.clear();
    ds.Execute();
    EXPECT_TRUE(ds.Active());
    EXPECT_TRUE(db.Log.empty());
}

TEST_F(DSFixture, AfterExecuteFiresWithTheResult) {
    std::vector<bool> results;
    ds.AfterExecute = [&](void*, bool r) { results.push_back(r); };
    ds.SetSQL("DELETE FROM EMP WHERE EMPNO = 7369");
    ds.Execute();
    ds.SetSQL("DELETE FROM NOSUCH");
    EXPECT_THROW(ds.Execute(), EDAError);
    EXPECT_EQ(results, (std::vector<bool>{true, false}));
}

TEST_F(DSFixture, RefreshShowsNewServerRowsAndKeepsThePosition) {
    ds.SetSQL("SELECT * FROM DEPT");
    ds.Open();
    ds.Next();
    db.Table("DEPT").Rows.push_back({Variant(int32_t(40)), Variant("OPERATIONS"), Variant("BOSTON")});
    ds.Refresh();
    EXPECT_EQ(ds.RecordCount(), 4);
    EXPECT_EQ(ds.FieldByName("DEPTNO")->AsInteger(), 20);
    EXPECT_EQ(ds.RowsAffected(), -1);
}

TEST_F(DSFixture, FilterSqlAddsAWhereConditionAndReopens) {
    ds.SetSQL("SELECT * FROM EMP ORDER BY ENAME");
    ds.Open();
    ds.SetFilterSQL("  DEPTNO = 10 ");
    EXPECT_EQ(ds.FilterSQL(), "DEPTNO = 10");
    EXPECT_TRUE(ds.Active());
    EXPECT_EQ(ds.FinalSQL(), "SELECT * FROM EMP WHERE DEPTNO = 10 ORDER BY ENAME");
    EXPECT_EQ(EmpNos(ds), (std::vector<int>{7782, 7839}));

    // A failing reopen restores the previous filter.
    EXPECT_THROW(ds.SetFilterSQL("NOSUCHCOL = 1"), EDAError);
    EXPECT_EQ(ds.FilterSQL(), "DEPTNO = 10");
    EXPECT_EQ(ds.FinalSQL(), "SELECT * FROM EMP WHERE DEPTNO = 10 ORDER BY ENAME");
    ds.Open();
    EXPECT_EQ(ds.RecordCount(), 2);
}

TEST_F(DSFixture, DetailFollowsTheMasterRecord) {
    TTestDADataSet master;
    master.SetConnection(&conn);
    master.SetSQL("SELECT * FROM DEPT");
    TDataSource src(&master);
    ds.SetSQL("SELECT * FROM EMP");
    ds.SetMasterSource(&src);
    ds.SetMasterFields("DEPTNO");
    ds.SetDetailFields("DEPTNO");
    EXPECT_EQ(ds.FinalSQL(), "SELECT * FROM EMP WHERE DEPTNO = :DEPTNO");
    ASSERT_EQ(ds.Params().Count(), 1);
    master.Open();
    ds.Open();
    EXPECT_EQ(EmpNos(ds), (std::vector<int>{7782, 7839}));
    master.Next();
    EXPECT_EQ(EmpNos(ds), (std::vector<int>{7369, 7566}));
    master.Next();
    EXPECT_EQ(ds.RecordCount(), 3);

    // A new detail record takes the master's key.
    ds.LocalUpdate = true;
    ds.Append();
    EXPECT_EQ(ds.FieldByName("DEPTNO")->AsInteger(), 30);
    ds.Cancel();

    // Linking the master back to its detail is refused.
    TDataSource back(&ds);
    EXPECT_EQ(ErrorText([&] { master.SetMasterSource(&back); }), SCircularDataLink);
    ds.SetMasterSource(nullptr);
}

TEST_F(DSFixture, OrderByEntryPointsRewriteTheTextAndRememberTheOriginal) {
    ds.SetSQL("SELECT * FROM EMP");
    ds.Open();
    ds.SetOrderBy("SAL DESC");
    EXPECT_FALSE(ds.Active()); // a new SQL text closes the data set
    EXPECT_EQ(ds.SQL(), "SELECT * FROM EMP ORDER BY SAL DESC");
    EXPECT_EQ(ds.GetOrderBy(), "SAL DESC");
    EXPECT_EQ(ds.BaseSQL(), "SELECT * FROM EMP");
    ds.Open();
    EXPECT_EQ(ds.FieldByName("ENAME")->AsString(), "KING");
    ds.SetOrderBy("ENAME");
    EXPECT_EQ(ds.BaseSQL(), "SELECT * FROM EMP"); // remembered the first time only
    db.Log.clear();
    ds.ReplaceSQL(" SELECT * FROM EMP ORDER BY ENAME ");
    ds.ReplaceSQL("SELECT * FROM EMP ORDER BY ENAME");
    EXPECT_EQ(db.Find("rs.cmd.SetSQL SELECT * FROM EMP ORDER BY ENAME"), -1); // equal to the trimmed text
}

TEST_F(DSFixture, QueryRecCountAddsTheRowsNotFetchedYet) {
    ds.SetFetchRows(2);
    ds.SetQueryRecCount(true);
    ds.ServerRecordCount = 7;
    ds.SetSQL("SELECT * FROM EMP");
    ds.Open();
    EXPECT_EQ(ds.RecordCount(), 7);
    ds.Next();
    ds.Next();
    EXPECT_EQ(ds.RecordCount(), 7);
}

TEST_F(DSFixture, BlockingOpenBracketsServerCallsWithTheWaitCursor) {
    int start = 0, stop = 0, notify = 0;
    DAHooks().StartWait = [&] { ++start; };
    DAHooks().StopWait = [&] { ++stop; };
    DAHooks().CursorNotify = [&] { ++notify; };
    ds.SetSQL("SELECT * FROM EMP");
    ds.SetFetchRows(3);
    ds.Open();
    EXPECT_GE(start, 3); // the connect, the open and its fetch
    EXPECT_EQ(start, stop);
    EXPECT_EQ(notify, 0);
    db.FailOnText = "DEPT";
    ds.Close();
    ds.SetSQL("SELECT * FROM DEPT");
    EXPECT_THROW(ds.Open(), EDAError);
    EXPECT_EQ(start, stop);
}

TEST_F(DSFixture, FreeStandingSqlComponentExecutesWithParameters) {
    TCustomDASQL sql;
    EXPECT_EQ(ErrorText([&] { sql.Execute(); }), "Connection is not defined.");
    sql.SetConnection(&conn);
    std::vector<bool> results;
    sql.AfterExecute = [&](void*, bool r) { results.push_back(r); };
    sql.SetSQL("INSERT INTO DEPT (DEPTNO, DNAME, LOC) VALUES (:NO, :NAME, :LOC)");
    ASSERT_EQ(sql.Params().Count(), 3);
    sql.ParamByName("NO")->SetAsInteger(50);
    sql.ParamByName("NAME")->SetAsString("IT");
    sql.ParamByName("LOC")->Clear();
    sql.ParamByName("LOC")->DataType = ftString;
    sql.Execute();
    EXPECT_EQ(sql.RowsAffected(), 1);
    EXPECT_EQ(results, (std::vector<bool>{true}));
    ASSERT_EQ(db.Table("DEPT").Rows.size(), 4u);
    EXPECT_TRUE(db.Table("DEPT").Rows[3][2].IsNull());
    EXPECT_GE(db.Find("cmd.AutoCommitted"), 0);
}

TEST_F(DSFixture, DateParametersAreCutToTheDayAndBlobStringsBecomeBytes) {
    TCustomDASQL sql;
    sql.SetConnection(&conn);
    sql.SetSQL("UPDATE EMP SET HIREDATE = :D, JOB = :B WHERE EMPNO = 0");
    sql.ParamByName("D")->SetAsDate(40000.75);
    sql.ParamByName("B")->SetAsString("AB");
    sql.ParamByName("B")->DataType = ftBlob;
    sql.Execute();
    TQxCommand* cmd = sql.ICommand();
    Variant d, b;
    cmd->GetParam(0)->GetValue(d);
    cmd->GetParam(1)->GetValue(b);
    EXPECT_EQ(cmd->GetParam(0)->GetDataType(), dtDate);
    EXPECT_DOUBLE_EQ(d.AsDateTime(), 40000.0);
    ASSERT_TRUE(b.IsByteArray());
    EXPECT_EQ(b.Bytes(), (std::vector<uint8_t>{'A', 'B'}));
}

TEST_F(DSFixture, ReplacingTheLayerConnectionReattachesTheComponents) {
    ds.SetSQL("SELECT * FROM DEPT");
    ds.Open();
    TCustomDASQL sql;
    sql.SetConnection(&conn);
    sql.SetSQL("DELETE FROM DEPT WHERE DEPTNO = 99");
    sql.Prepare();
    TQxRecordSet* before = ds.IRecordSet();
    conn.SetIConnection(std::make_unique<TTestConnection>(&db));
    EXPECT_FALSE(sql.Prepared());
    EXPECT_EQ(sql.ICommand()->GetConnection(), conn.IConnection());
    sql.Execute();
    EXPECT_EQ(sql.RowsAffected(), 0);
    EXPECT_FALSE(ds.Active());
    ds.Open(); // same class: the record set stays
    EXPECT_EQ(ds.IRecordSet(), before);
    EXPECT_EQ(ds.RecordCount(), 3);
    EXPECT_EQ(ds.IRecordSet()->GetCommand()->GetConnection(), conn.IConnection());
}

TEST_F(DSFixture, PrepareDescribesTheColumnsBeforeOpening) {
    ds.SetSQL("SELECT EMPNO, ENAME FROM EMP");
    ds.Prepare();
    EXPECT_TRUE(ds.Prepared());
    EXPECT_FALSE(ds.Active());
    ASSERT_EQ(ds.FieldDefs().Count(), 2);
    EXPECT_EQ(ds.FieldDefs()[1]->Name, "ENAME");
    EXPECT_EQ(ds.FieldDefs()[1]->DataType, ftString);
    ds.Open();
    EXPECT_EQ(ds.RecordCount(), 7);
    ds.Close();
    EXPECT_TRUE(ds.Prepared()); // closing keeps the statement prepared
    ds.SetSQL("SELECT * FROM DEPT");
    EXPECT_FALSE(ds.Prepared());
}

TEST_F(DSFixture, RequiredFieldsOptionDecidesTheLocalConstraints) {
    EXPECT_TRUE(ds.LocalConstraints);
    ds.SetRequiredFields(false);
    EXPECT_FALSE(ds.LocalConstraints);
    EXPECT_FALSE(ds.Options().RequiredFields);
}

TEST_F(DSFixture, FatalErrorWhileClosingIsDroppedOthersAreRaised) {
    ds.SetSQL("SELECT * FROM EMP");
    ds.Open();
    db.FailCloseCode = TTestDAConnection::FatalCode;
    EXPECT_NO_THROW(ds.Close());
    EXPECT_FALSE(ds.Active());
    ds.Open();
    db.FailCloseCode = 942;
    EXPECT_THROW(ds.Close(), EDAError);
    EXPECT_FALSE(ds.Active());
}

TEST_F(DSFixture, PlainCommandGetsItsSettingsInOrderAndOutputValuesComeBack) {
    TCustomDASQL sql;
    db.Log.clear();
    sql.SetSQL("UPDATE EMP SET SAL = 1 WHERE EMPNO = :NO");
    sql.SetConnection(&conn);
    int create = db.Find("conn.CreateCommand");
    int text = db.Find("cmd.SetSQL UPDATE EMP SET SAL = 1 WHERE EMPNO = :NO");
    int ac = db.Find("cmd.SetProp " + std::to_string(prAutoCommit) + " True");
    int cb = db.Find("cmd.SetMethodProp " + std::to_string(prOnAfterExecute));
    ASSERT_GE(create, 0);
    EXPECT_GT(text, create);
    EXPECT_GT(ac, text);
    EXPECT_GT(cb, text);

    sql.ParamByName("NO")->ParamType = ptInputOutput;
    sql.ParamByName("NO")->SetAsInteger(7369);
    sql.Execute();
    EXPECT_EQ(sql.ParamByName("NO")->AsString(), "out:NO"); // read back after the execution

    ds.SetSQL("UPDATE EMP SET SAL = 2 WHERE EMPNO = :NO");
    ds.ParamByName("NO")->ParamType = ptInputOutput;
    ds.ParamByName("NO")->SetAsInteger(7369);
    ds.Execute();
    EXPECT_EQ(ds.ParamByName("NO")->AsString(), "out:NO");
}
