// End to end: TOraSession, TOraQuery and TOraSQL against the protocol emulator, the way the worksheet uses
// them.
#include "OraE2e.h"

#include "dataset/DateTimeUtil.h"

#include <gtest/gtest.h>

using namespace oratest;
using namespace oracall;

namespace {

// The session is installed before the log, so the emulation is in the table when the log wraps it.
TEST(OraSession, ConnectSendsLanguageThenDateFormatAndDatesComeBackFormatted) {
    TEmu emu;
    auto s = MakeSession(emu);
    TPrepareLog log;
    s->Connect();
    ASSERT_TRUE(s->Connected());
    auto alters = log.Starting("ALTER SESSION");
    ASSERT_EQ(alters.size(), 2u);
    EXPECT_EQ(alters[0], "ALTER SESSION SET NLS_DATE_LANGUAGE='German'");
    EXPECT_EQ(alters[1], "ALTER SESSION SET NLS_DATE_FORMAT='DD.MM.YYYY'");
    EXPECT_EQ(s->Options().DateFormat(), "DD.MM.YYYY");

    TOraQuery q(s.get());
    q.SetSQL("SELECT TO_CHAR(HIREDATE) H, HIREDATE, TO_CHAR(HIREDATE, 'DD. MONTH YYYY') M FROM EMP WHERE "
             "EMPNO = 7369");
    q.Open();
    EXPECT_EQ(q.FieldByName("H")->AsString(), "17.12.1980");
    EXPECT_EQ(q.FieldByName("HIREDATE")->AsDateTime(), EncodeDate(1980, 12, 17));
    EXPECT_NE(q.FieldByName("M")->AsString().find("DEZEMBER"), std::string::npos)
        << q.FieldByName("M")->AsString();
}

TEST(OraSession, WithoutNlsOptionsNoAlterSessionAndDateFormatReadsTheServerValue) {
    TEmu emu;
    auto s = MakeSession(emu, "scott", "tiger", false);
    TPrepareLog log;
    s->Connect();
    EXPECT_TRUE(log.Starting("ALTER SESSION").empty());
    EXPECT_FALSE(s->Options().DateFormat().empty());
    EXPECT_EQ(s->GetServerVersion().substr(0, 1) >= "8", true) << s->GetServerVersion();
}

TEST(OraSession, WrongPasswordRaisesOraErrorAndLeavesTheSessionClosed) {
    TEmu emu;
    auto s = MakeSession(emu, "scott", "wrong");
    try {
        s->Connect();
        FAIL() << "connected with a wrong password";
    } catch (EOraError& e) {
        EXPECT_EQ(e.ErrorCode, 1017) << e.what();
    }
    EXPECT_FALSE(s->Connected());
    s->SetPassword("tiger");
    s->Connect();
    EXPECT_TRUE(s->Connected());
}

} // namespace

namespace {

struct Rig {
    TEmu emu;
    std::unique_ptr<TOraSession> s;
    explicit Rig(vemu::EmuOptions o = {}) : emu(std::move(o)) {
        s = MakeSession(emu);
        s->Connect();
    }
};

TEST(OraQueryTypes, EveryColumnTypeWithNullsReadsThroughFields) {
    Rig r(oratest::ClassicServer()); // classic until the current one fetches these types
    TOraSQL ddl(r.s.get());
    ddl.SetSQL("CREATE TABLE T_ALL (I NUMBER(9), F NUMBER(10,2), N NUMBER, V VARCHAR2(20), W VARCHAR2(100), "
               "L VARCHAR2(300), C CHAR(4), D DATE, R RAW(8), B RAW(100))");
    ddl.Execute();
    ddl.SetSQL(
        "INSERT INTO T_ALL VALUES (7, 2.5, 123456789012, 'abc', 'wide text', 'long text', 'xy', "
        "TO_DATE('2003-12-31 23:59:59','YYYY-MM-DD HH24:MI:SS'), HEXTORAW('0102'), HEXTORAW('0A0B0C'))");
    ddl.Execute();
    ddl.SetSQL("INSERT INTO T_ALL VALUES (NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL)");
    ddl.Execute();
    TOraQuery q(r.s.get());
    q.SetSQL("SELECT * FROM T_ALL ORDER BY NVL(I, 999999)");
    q.Open();
    EXPECT_EQ(q.FieldByName("I")->DataType(), ftInteger);
    EXPECT_EQ(q.FieldByName("F")->DataType(), ftFloat);
    EXPECT_EQ(q.FieldByName("D")->DataType(), ftDateTime);
    EXPECT_EQ(q.FieldByName("I")->AsInteger(), 7);
    EXPECT_DOUBLE_EQ(q.FieldByName("F")->AsFloat(), 2.5);
    EXPECT_DOUBLE_EQ(q.FieldByName("N")->AsFloat(), 123456789012.0);
    EXPECT_EQ(q.FieldByName("V")->AsString(), "abc");
    EXPECT_EQ(q.FieldByName("W")->AsString(), "wide text");
    EXPECT_EQ(q.FieldByName("L")->AsString(), "long text");
    EXPECT_EQ(q.FieldByName("C")->AsString(), "xy");
    EXPECT_DOUBLE_EQ(q.FieldByName("D")->AsDateTime(), EncodeDate(2003, 12, 31) + EncodeTime(23, 59, 59, 0));
    Variant raw = q.FieldByName("R")->AsVariant();
    ASSERT_TRUE(raw.IsByteArray());
    EXPECT_EQ(raw.Bytes(), (std::vector<uint8_t>{1, 2}));
    Variant braw = q.FieldByName("B")->AsVariant();
    ASSERT_TRUE(braw.IsByteArray());
    EXPECT_EQ(braw.Bytes(), (std::vector<uint8_t>{10, 11, 12}));
    q.Next();
    ASSERT_FALSE(q.Eof());
    for (int i = 0; i < q.FieldCount(); ++i)
        EXPECT_TRUE(q.Fields(i)->IsNull()) << q.Fields(i)->FieldName();
    q.Next();
    EXPECT_TRUE(q.Eof());
}

TEST(OraQueryFetch, FetchRowsBlocksArriveOnDemandAndRecordCountGrows) {
    vemu::EmuOptions o;
    o.benchRows = 1000;
    Rig r(o);
    TOraQuery q(r.s.get());
    q.SetFetchRows(25);
    q.SetSQL("SELECT ID, NAME, CREATED, AMOUNT FROM BENCH ORDER BY ID");
    q.Open();
    EXPECT_EQ(q.RecordCount(), 25);
    for (int i = 0; i < 25; ++i)
        q.Next();
    EXPECT_EQ(q.RecordCount(), 50);
    EXPECT_EQ(q.FieldByName("ID")->AsInteger(), 26);
    q.Last();
    EXPECT_EQ(q.RecordCount(), 1000);
    EXPECT_EQ(q.FieldByName("ID")->AsInteger(), 1000);
}

TEST(OraDml, RowsAffectedThenCommitIsSeenFromASecondSession) {
    Rig r;
    TOraQuery q(r.s.get());
    q.SetAutoCommit(false);
    q.SetSQL("UPDATE EMP SET SAL = SAL + 1 WHERE DEPTNO = :d");
    q.ParamByName("d")->SetAsInteger(10);
    q.Execute();
    EXPECT_EQ(q.RowsAffected(), 3);
    auto other = MakeSession(r.emu);
    other->Connect();
    TOraQuery check(other.get());
    check.SetSQL("SELECT SUM(SAL) S FROM EMP WHERE DEPTNO = 10");
    check.Open();
    double before = check.FieldByName("S")->AsFloat();
    check.Close();
    r.s->Commit();
    check.Open();
    EXPECT_DOUBLE_EQ(check.FieldByName("S")->AsFloat(), before + 3);
}

TEST(OraDml, RollbackLeavesTheDataAsItWas) {
    Rig r;
    TOraQuery q(r.s.get());
    q.SetAutoCommit(false);
    q.SetSQL("DELETE FROM EMP WHERE DEPTNO = :d");
    q.ParamByName("d")->SetAsInteger(20);
    q.Execute();
    EXPECT_EQ(q.RowsAffected(), 5);
    r.s->Rollback();
    auto other = MakeSession(r.emu);
    other->Connect();
    TOraQuery check(other.get());
    check.SetSQL("SELECT COUNT(*) N FROM EMP WHERE DEPTNO = 20");
    check.Open();
    EXPECT_EQ(check.FieldByName("N")->AsInteger(), 5);
}

TEST(OraParams, ReturningIntoAndPlSqlInOut) {
    Rig r;
    TOraSQL sql(r.s.get());
    sql.SetSQL("UPDATE DEPT SET LOC = :loc WHERE DEPTNO = 10 RETURNING DNAME INTO :name");
    sql.ParamByName("loc")->SetAsString("BONN");
    sql.ParamByName("name")->DataType = ftString;
    sql.ParamByName("name")->ParamType = ptOutput;
    sql.Execute();
    EXPECT_EQ(sql.ParamByName("name")->AsString(), "ACCOUNTING");
    sql.SetSQL("begin :x := :x * 2; :s := 'got ' || :x; end;");
    sql.ParamByName("x")->SetAsInteger(21);
    sql.ParamByName("x")->ParamType = ptInputOutput;
    sql.ParamByName("s")->DataType = ftString;
    sql.ParamByName("s")->ParamType = ptOutput;
    sql.Execute();
    EXPECT_EQ(sql.ParamByName("x")->AsInteger(), 42);
    EXPECT_EQ(sql.ParamByName("s")->AsString(), "got 42");
}

TEST(OraParams, RefCursorOpensIntoADataSet) {
    Rig r;
    TOraQuery q(r.s.get());
    q.SetSQL("begin open :c for select ename from emp where deptno = :d order by ename; end;");
    q.ParamByName("c")->DataType = ftCursor;
    q.ParamByName("c")->ParamType = ptOutput;
    q.ParamByName("d")->SetAsInteger(10);
    q.Open();
    std::vector<std::string> names;
    for (; !q.Eof(); q.Next())
        names.push_back(q.Fields(0)->AsString());
    EXPECT_EQ(names, (std::vector<std::string>{"CLARK", "KING", "MILLER"}));
}

TEST(OraLobs, LongClobAndBlobRoundTrips) {
    Rig r(oratest::ClassicServer()); // classic until the current one fetches these types
    TOraSQL sql(r.s.get());
    sql.SetSQL("CREATE TABLE T_LOBS (ID NUMBER, TXT LONG)");
    sql.Execute();
    std::string longText(10000, 'x');
    for (size_t i = 0; i < longText.size(); ++i)
        longText[i] = char('a' + i % 26);
    sql.SetSQL("INSERT INTO T_LOBS VALUES (1, :t)");
    sql.ParamByName("t")->SetAsMemo(longText);
    sql.Execute();
    TOraQuery q(r.s.get());
    q.SetSQL("SELECT TXT FROM T_LOBS");
    q.Open();
    EXPECT_EQ(q.Fields(0)->AsString(), longText);
    q.Close();

    sql.SetSQL("CREATE TABLE T_CB (ID NUMBER, C CLOB, B BLOB)");
    sql.Execute();
    sql.SetSQL("INSERT INTO T_CB VALUES (1, EMPTY_CLOB(), EMPTY_BLOB()) RETURNING C, B INTO :c, :b");
    std::string clob(50000, ' ');
    for (size_t i = 0; i < clob.size(); ++i)
        clob[i] = char('A' + i % 23);
    std::vector<uint8_t> blob(3000);
    for (size_t i = 0; i < blob.size(); ++i)
        blob[i] = uint8_t(i * 7);
    sql.ParamByName("c")->DataType = ftOraClob;
    sql.ParamByName("c")->ParamType = ptInput;
    sql.ParamByName("c")->SetValue(Variant(clob));
    sql.ParamByName("b")->DataType = ftOraBlob;
    sql.ParamByName("b")->ParamType = ptInput;
    sql.ParamByName("b")->SetValue(Variant::FromBytes(blob));
    sql.Execute();
    r.s->Commit();
    q.SetSQL("SELECT C, B FROM T_CB");
    q.Open();
    EXPECT_EQ(q.Fields(0)->AsString(), clob);
    Variant b = q.Fields(1)->AsVariant();
    ASSERT_TRUE(b.IsByteArray());
    EXPECT_EQ(b.Bytes(), blob);
}

TEST(OraErrors, MissingTableIsOraError942WithServerText) {
    Rig r;
    TOraQuery q(r.s.get());
    q.SetSQL("SELECT * FROM NO_SUCH_TABLE");
    try {
        q.Open();
        FAIL();
    } catch (EOraError& e) {
        EXPECT_EQ(e.ErrorCode, 942);
        EXPECT_EQ(std::string(e.what()).rfind("ORA-00942", 0), 0u) << e.what();
        EXPECT_NE(std::string(e.what()).back(), '\n');
    }
    EXPECT_TRUE(r.s->Connected());
}

TEST(OraErrors, DroppedConnectionDisconnectsAndANewConnectWorks) {
    vemu::EmuOptions o;
    o.benchRows = 5000;
    o.dropAfterBytes = 30000;
    Rig r(o);
    TOraQuery q(r.s.get());
    q.SetFetchRows(500);
    q.SetSQL("SELECT ID, NAME FROM BENCH");
    int code = 0;
    try {
        q.Open();
        q.Last();
    } catch (EOraError& e) {
        code = e.ErrorCode;
    }
    EXPECT_TRUE(IsFatalOraCode(code)) << code;
    EXPECT_FALSE(r.s->Connected());
    r.s->Connect();
    TOraQuery again(r.s.get());
    again.SetSQL("SELECT COUNT(*) FROM DEPT");
    again.Open();
    EXPECT_EQ(again.Fields(0)->AsInteger(), 4);
}

TEST(OraSqlText, OrderByRewritingAndFilterSQL) {
    Rig r;
    TOraQuery q(r.s.get());
    q.SetSQL("SELECT EMPNO, ENAME, SAL FROM EMP");
    q.SetOrderBy("SAL DESC;EMPNO");
    EXPECT_EQ(q.GetOrderBy(), "SAL DESC,EMPNO");
    q.Open();
    EXPECT_EQ(q.FieldByName("ENAME")->AsString(), "KING");
    q.Close();
    q.SetOrderBy("ENAME");
    EXPECT_EQ(q.SQL(), "SELECT EMPNO, ENAME, SAL FROM EMP ORDER BY ENAME");
    q.SetFilterSQL("DEPTNO = 30");
    q.Open();
    EXPECT_EQ(q.RecordCount(), 6);
    EXPECT_EQ(q.FieldByName("ENAME")->AsString(), "ALLEN");
}

TEST(OraWorkbench, EditPostWritesOneRowStrictUpdateAndRefresh) {
    Rig r;
    TOraQuery q(r.s.get());
    TOraUpdateSQL upd;
    upd.ModifySQL = "UPDATE DEPT SET DNAME = :DNAME, LOC = :LOC WHERE DEPTNO = :OLD_DEPTNO";
    upd.RefreshSQL = "SELECT DEPTNO, DNAME, LOWER(LOC) LOC FROM DEPT WHERE DEPTNO = :DEPTNO";
    q.SetUpdateObject(&upd);
    q.RefreshOptions = roAfterUpdate;
    q.SetSQL("SELECT DEPTNO, DNAME, LOC FROM DEPT ORDER BY DEPTNO");
    q.Open();
    ASSERT_TRUE(q.CanModify());
    q.Edit();
    q.FieldByName("LOC")->SetAsString("KOELN");
    q.Post();
    EXPECT_EQ(q.FieldByName("LOC")->AsString(), "koeln");
    auto other = MakeSession(r.emu);
    other->Connect();
    TOraQuery check(other.get());
    check.SetSQL("SELECT LOC FROM DEPT WHERE DEPTNO = 10");
    check.Open();
    EXPECT_EQ(check.Fields(0)->AsString(), "KOELN");
    // A key that hits no row fails under StrictUpdate.
    upd.ModifySQL = "UPDATE DEPT SET DNAME = :DNAME WHERE DEPTNO = :OLD_DEPTNO + 1000";
    q.Next();
    q.Edit();
    q.FieldByName("DNAME")->SetAsString("NOBODY");
    try {
        q.Post();
        FAIL() << "an update of no row was accepted";
    } catch (EDatabaseError& e) {
        EXPECT_EQ(std::string(e.what()), "Update failed. Found 0 records.");
    }
    q.Cancel();
}

} // namespace

namespace {

TEST(OraTransactions, InTransactionSavepointsAndDdlEndingTheTransaction) {
    Rig r;
    r.s->StartTransaction();
    EXPECT_TRUE(r.s->InTransaction());
    EXPECT_THROW(r.s->StartTransaction(), EDAError);
    TOraSQL sql(r.s.get());
    sql.SetSQL("UPDATE DEPT SET LOC = 'X' WHERE DEPTNO = 10");
    sql.Execute();
    r.s->Savepoint("SP1");
    sql.SetSQL("UPDATE DEPT SET LOC = 'Y' WHERE DEPTNO = 20");
    sql.Execute();
    r.s->RollbackToSavepoint("SP1");
    r.s->Commit();
    EXPECT_FALSE(r.s->InTransaction());
    TOraQuery q(r.s.get());
    q.SetSQL("SELECT LOC FROM DEPT WHERE DEPTNO IN (10, 20) ORDER BY DEPTNO");
    q.Open();
    EXPECT_EQ(q.Fields(0)->AsString(), "X");
    q.Next();
    EXPECT_EQ(q.Fields(0)->AsString(), "DALLAS");
}

TEST(OraParams, ArrayDmlBindsEachParameterOnce) {
    Rig r;
    TOraSQL sql(r.s.get());
    sql.SetSQL("CREATE TABLE T_ARR (ID NUMBER, NAME VARCHAR2(10))");
    sql.Execute();
    TOCIConnection* c = r.s->OCIConnection();
    auto cmd = c->CreateCommand();
    auto* oc = static_cast<TOCICommand*>(cmd.get());
    oc->SetSQL("INSERT INTO T_ARR VALUES (:id, :name)");
    ASSERT_EQ(oc->GetParamCount(), 2);
    oc->Param(0)->SetDataType(dtInt32);
    oc->Param(0)->SetLength(3);
    oc->Param(1)->SetDataType(dtString);
    oc->Param(1)->SetSize(10);
    oc->Param(1)->SetLength(3);
    for (int i = 1; i <= 3; ++i) {
        oc->Param(0)->SetItemValue(i, Variant(int32_t(i)));
        oc->Param(1)->SetItemValue(i, Variant("n" + std::to_string(i)));
    }
    oc->Param(0)->SetParamType(pdInput);
    oc->Param(1)->SetParamType(pdInput);
    oc->Execute(3);
    TOraQuery q(r.s.get());
    q.SetSQL("SELECT COUNT(*), MAX(NAME) FROM T_ARR");
    q.Open();
    EXPECT_EQ(q.Fields(0)->AsInteger(), 3);
    EXPECT_EQ(q.Fields(1)->AsString(), "n3");
    // A parameter shorter than the iterations is refused with its name.
    oc->Param(1)->SetLength(2);
    try {
        oc->Execute(3);
        FAIL();
    } catch (std::exception& e) {
        EXPECT_EQ(std::string(e.what()), "name parameter must be array with length 3");
    }
}

TEST(OraQueryFetch, QueryRecCountAndExecSQLResult) {
    Rig r;
    TOraQuery q(r.s.get());
    q.SetQueryRecCount(true);
    q.SetFetchRows(5);
    q.SetSQL("SELECT * FROM EMP ORDER BY EMPNO");
    q.Open();
    EXPECT_EQ(q.RecordCount(), 14);
    // Values go to the parameters by position, Result included.
    Variant v = r.s->ExecSQL("begin :Result := :a + :b; end;",
                             {Variant::Null(), Variant(int32_t(2)), Variant(int32_t(3))});
    EXPECT_EQ(VarToStr(v), "5");
}

} // namespace
