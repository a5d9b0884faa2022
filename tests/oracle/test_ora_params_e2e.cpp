// Parameters against the emulator: every supported type in and out of a PL/SQL block, NULLs and empty
// strings, strings at the size limits, dates, numbers with scale, names against positions, and the write
// statements of the table workbench (update object, own statements, refresh, ROWID after insert).
#include "OraE2e.h"

#include "dataset/DBErrors.h"
#include "dataset/DateTimeUtil.h"

#include <cmath>
#include <gtest/gtest.h>

using namespace oratest;

namespace {

// One value as text, "<null>" for NULL.
struct Rig : TRig {
    std::string One(const std::string& sql) {
        TOraQuery q(s.get());
        q.SetSQL(sql);
        q.Open();
        return q.Fields(0)->IsNull() ? "<null>" : q.Fields(0)->AsString();
    }
};

TParam* Out(TOraSQL& sql, const std::string& name, TFieldType type, int size = 0) {
    TParam* p = sql.ParamByName(name);
    p->DataType = type;
    p->ParamType = ptOutput;
    if (size) p->Size = size;
    return p;
}

TEST(OraParamTypes, EveryTypeRoundTripsThroughAPlSqlBlock) {
    Rig r;
    TOraSQL sql(r.s.get());
    sql.SetSQL("begin :os := :s || '!'; :oi := :i + 1; :of := :f * 2; :od := :d + 1; :ob := :b; "
               ":om := :m; end;");
    sql.ParamByName("s")->SetAsString("Gr\xFC\xDF"
                                      "e");
    sql.ParamByName("i")->SetAsInteger(-2147483647);
    sql.ParamByName("f")->SetAsFloat(1234.5678);
    sql.ParamByName("d")->SetAsDateTime(EncodeDate(1999, 12, 31) + EncodeTime(23, 59, 58, 0));
    std::vector<uint8_t> bytes = {0, 1, 0xFF, 0x80, 0};
    sql.ParamByName("b")->DataType = ftVarBytes;
    sql.ParamByName("b")->SetValue(Variant::FromBytes(bytes));
    std::string memo(5000, 'm');
    sql.ParamByName("m")->SetAsMemo(memo);
    Out(sql, "os", ftString, 100);
    Out(sql, "oi", ftInteger);
    Out(sql, "of", ftFloat);
    Out(sql, "od", ftDateTime);
    Out(sql, "ob", ftVarBytes, 100);
    Out(sql, "om", ftMemo);
    sql.Execute();
    EXPECT_EQ(sql.ParamByName("os")->AsString(), "Gr\xFC\xDF"
                                                 "e!");
    EXPECT_EQ(sql.ParamByName("oi")->AsInteger(), -2147483646);
    EXPECT_DOUBLE_EQ(sql.ParamByName("of")->AsFloat(), 2469.1356);
    EXPECT_DOUBLE_EQ(sql.ParamByName("od")->AsDateTime(), EncodeDate(2000, 1, 1) + EncodeTime(23, 59, 58, 0));
    Variant ob = sql.ParamByName("ob")->Value();
    ASSERT_TRUE(ob.IsByteArray()) << VarToStr(ob);
    EXPECT_EQ(ob.Bytes(), bytes);
    EXPECT_EQ(sql.ParamByName("om")->AsString(), memo);
}

TEST(OraParamTypes, SeveralLongOutputsInOneBlockEachKeepTheirOwnLength) {
    Rig r;
    TOraSQL sql(r.s.get());
    sql.SetSQL("begin :a := RPAD('a', 3000, 'a'); :b := 'short'; :c := RPAD('c', 30000, 'c'); end;");
    Out(sql, "a", ftMemo);
    Out(sql, "b", ftMemo);
    Out(sql, "c", ftMemo);
    sql.Execute();
    EXPECT_EQ(sql.ParamByName("a")->AsString(), std::string(3000, 'a'));
    EXPECT_EQ(sql.ParamByName("b")->AsString(), "short");
    EXPECT_EQ(sql.ParamByName("c")->AsString(), std::string(30000, 'c'));
    // Again, with the lengths the other way round.
    sql.SetSQL("begin :a := 'x'; :b := RPAD('b', 5000, 'b'); :c := NULL; end;");
    Out(sql, "a", ftMemo);
    Out(sql, "b", ftMemo);
    Out(sql, "c", ftMemo);
    sql.Execute();
    EXPECT_EQ(sql.ParamByName("a")->AsString(), "x");
    EXPECT_EQ(sql.ParamByName("b")->AsString(), std::string(5000, 'b'));
    EXPECT_EQ(sql.ParamByName("c")->AsString(), "");
}

TEST(OraParamTypes, NullsAndEmptyStringsGoInAndComeOutAsNull) {
    Rig r;
    TOraSQL sql(r.s.get());
    sql.SetSQL("begin :a := NVL(:s, 'was null'); :b := NVL(TO_CHAR(:i), 'was null'); "
               ":c := NVL(TO_CHAR(:d, 'YYYY'), 'was null'); :n := :s; end;");
    sql.ParamByName("s")->DataType = ftString;
    sql.ParamByName("s")->SetValue(Variant::Null());
    sql.ParamByName("i")->DataType = ftInteger;
    sql.ParamByName("d")->DataType = ftDateTime;
    Out(sql, "a", ftString, 20);
    Out(sql, "b", ftString, 20);
    Out(sql, "c", ftString, 20);
    Out(sql, "n", ftString, 20)->SetAsString("stale");
    sql.ParamByName("n")->ParamType = ptOutput;
    sql.Execute();
    EXPECT_EQ(sql.ParamByName("a")->AsString(), "was null");
    EXPECT_EQ(sql.ParamByName("b")->AsString(), "was null");
    EXPECT_EQ(sql.ParamByName("c")->AsString(), "was null");
    EXPECT_TRUE(sql.ParamByName("n")->IsNull()) << sql.ParamByName("n")->AsString();
    // Oracle keeps no empty strings: '' is NULL.
    sql.ParamByName("s")->SetAsString("");
    sql.Execute();
    EXPECT_EQ(sql.ParamByName("a")->AsString(), "was null");
    EXPECT_TRUE(sql.ParamByName("n")->IsNull());
}

TEST(OraParamTypes, StringsAtTheSizeLimitsAndOutputThatDoesNotFit) {
    Rig r;
    r.Exec("CREATE TABLE T_S (V VARCHAR2(4000))");
    TOraSQL ins(r.s.get());
    ins.SetSQL("INSERT INTO T_S VALUES (:v)");
    std::string big(4000, 'a');
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = char('a' + i % 26);
    ins.ParamByName("v")->SetAsString(big);
    ins.Execute();
    EXPECT_EQ(r.One("SELECT LENGTH(V) FROM T_S"), "4000");
    TOraQuery q(r.s.get());
    q.SetSQL("SELECT V FROM T_S");
    q.Open();
    EXPECT_EQ(q.Fields(0)->AsString(), big);
    // One character more than the column holds is the server's error, not a silent cut.
    ins.ParamByName("v")->SetAsString(big + "z");
    EXPECT_THROW(ins.Execute(), EOraError);
    EXPECT_EQ(r.One("SELECT COUNT(*) FROM T_S"), "1");

    // An output parameter of default size takes the longest string the server sends.
    TOraSQL blk(r.s.get());
    blk.SetSQL("begin SELECT V INTO :o FROM T_S; end;");
    Out(blk, "o", ftString);
    blk.Execute();
    EXPECT_EQ(blk.ParamByName("o")->AsString(), big);
}

// A NaN has no NUMBER form: it is refused before anything is sent, with the parameter's name, and the
// session goes on. The infinities have Oracle NUMBER forms and are stored as such.
TEST(OraParamTypes, NotANumberIsRefusedInfinityIsStored) {
    Rig r;
    r.Exec("CREATE TABLE T_F (ID NUMBER, F NUMBER)");
    TOraSQL ins(r.s.get());
    ins.SetSQL("INSERT INTO T_F VALUES (:id, :f)");
    ins.ParamByName("id")->SetAsInteger(1);
    ins.ParamByName("f")->SetAsFloat(std::nan(""));
    try {
        ins.Execute();
        ADD_FAILURE() << "a NaN was accepted";
    } catch (EOraError& e) {
        EXPECT_EQ(e.ErrorCode, 1722);
        EXPECT_EQ(std::string(e.what()), "ORA-01722: invalid number (the value of :f is not a number)");
    }
    EXPECT_EQ(r.One("SELECT COUNT(*) FROM T_F"), "0");
    ins.ParamByName("f")->SetAsFloat(2.5);
    ins.Execute();
    EXPECT_EQ(r.One("SELECT F FROM T_F WHERE ID = 1"), "2.5");
    // A NULL float parameter is no NaN, whatever its buffer holds.
    ins.ParamByName("id")->SetAsInteger(2);
    ins.ParamByName("f")->Clear();
    ins.ParamByName("f")->DataType = ftFloat;
    ins.Execute();
    EXPECT_EQ(r.One("SELECT COUNT(*) FROM T_F WHERE F IS NULL"), "1");
    ins.ParamByName("id")->SetAsInteger(3);
    ins.ParamByName("f")->SetAsFloat(HUGE_VAL);
    ins.Execute();
    TOraQuery q(r.s.get());
    q.SetSQL("SELECT F FROM T_F WHERE ID = 3");
    q.Open();
    EXPECT_EQ(q.Fields(0)->AsFloat(), HUGE_VAL);
    ins.ParamByName("id")->SetAsInteger(4);
    ins.ParamByName("f")->SetAsFloat(-HUGE_VAL);
    ins.Execute();
    q.Close();
    q.SetSQL("SELECT F FROM T_F WHERE ID = 4");
    q.Open();
    EXPECT_EQ(q.Fields(0)->AsFloat(), -HUGE_VAL);
}

// An output string parameter declared smaller than the value the server assigns must fail (Oracle: ORA-06502)
// or at least report the truncation; today the network client cuts the value at the bind size and reports
// success, because vestra-emu answers with the whole value and ignores the bind's maximum length. Enable once
// one of them signals it.
TEST(OraParamTypes, OutputValueLongerThanTheDeclaredSizeIsNotSilentlyCut) {
    Rig r;
    TOraSQL small(r.s.get());
    small.SetSQL("begin :o := 'abcdefghij'; end;");
    Out(small, "o", ftString, 4);
    try {
        small.Execute();
        ADD_FAILURE() << "a value that does not fit came back as " << small.ParamByName("o")->AsString();
    } catch (EOraError& e) {
        EXPECT_EQ(e.ErrorCode, 6502) << e.what();
    }
    // The same value in a buffer that holds it.
    TOraSQL fits(r.s.get());
    fits.SetSQL("begin :o := 'abcdefghij'; end;");
    Out(fits, "o", ftString, 10);
    fits.Execute();
    EXPECT_EQ(fits.ParamByName("o")->AsString(), "abcdefghij");
}

// A CLOB parameter whose locator the server never filled (a plain INSERT, no RETURNING) must not break the
// request stream: the next statements on the connection still work.
TEST(OraParamTypes, UnfilledLobLocatorKeepsTheConnectionUsable) {
    Rig r;
    r.Exec("CREATE TABLE T_CI (ID NUMBER, C CLOB)");
    TOraSQL ins(r.s.get());
    ins.SetSQL("INSERT INTO T_CI (ID, C) VALUES (1, :c)");
    ins.ParamByName("c")->DataType = ftOraClob;
    ins.ParamByName("c")->ParamType = ptInput;
    ins.Execute();
    ins.Execute();
    EXPECT_EQ(r.One("SELECT COUNT(*) FROM T_CI"), "2");
    EXPECT_TRUE(r.s->Connected());
    // With a value to store there, the value is not silently dropped: the write is refused.
    ins.ParamByName("c")->SetValue(Variant(std::string("x")));
    try {
        ins.Execute();
        ADD_FAILURE() << "a CLOB value without a server locator was accepted";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "Lob locator should be inited");
    }
    r.s->Rollback();
    EXPECT_EQ(r.One("SELECT COUNT(*) FROM T_CI WHERE C IS NOT NULL"), "0");
    EXPECT_TRUE(r.s->Connected());
}

TEST(OraParamTypes, NumbersWithScaleAndDatesAsDateOnly) {
    Rig r;
    r.Exec("CREATE TABLE T_N (A NUMBER(7,2), B NUMBER(12), D DATE)");
    TOraSQL ins(r.s.get());
    ins.SetSQL("INSERT INTO T_N VALUES (:a, :b, :d)");
    ins.ParamByName("a")->SetAsFloat(12345.67);
    ins.ParamByName("b")->SetAsFloat(99999999999.0);
    ins.ParamByName("d")->SetAsDate(EncodeDate(2024, 2, 29) + EncodeTime(13, 14, 15, 0));
    ins.Execute();
    TOraQuery q(r.s.get());
    q.SetSQL("SELECT A, B, D, TO_CHAR(D, 'HH24:MI:SS') T FROM T_N");
    q.Open();
    EXPECT_DOUBLE_EQ(q.FieldByName("A")->AsFloat(), 12345.67);
    EXPECT_DOUBLE_EQ(q.FieldByName("B")->AsFloat(), 99999999999.0);
    EXPECT_DOUBLE_EQ(q.FieldByName("D")->AsDateTime(), EncodeDate(2024, 2, 29));
    EXPECT_EQ(q.FieldByName("T")->AsString(), "00:00:00") << "a date parameter carries no time";
}

TEST(OraParamNames, NamesAreCaseInsensitiveRepeatsBindOnceAndValuesGoByPosition) {
    Rig r;
    TOraQuery q(r.s.get());
    q.SetSQL("SELECT ENAME FROM EMP WHERE DEPTNO = :Dept AND (SAL > :minsal OR :DEPT = 0) ORDER BY ENAME");
    ASSERT_EQ(q.Params().Count(), 2);
    EXPECT_EQ(q.Params()[0]->Name, "Dept");
    q.ParamByName("DEPT")->SetAsInteger(10);
    q.Params()[1]->SetAsInteger(2000);
    q.Open();
    std::vector<std::string> names;
    for (; !q.Eof(); q.Next())
        names.push_back(q.Fields(0)->AsString());
    EXPECT_EQ(names, (std::vector<std::string>{"CLARK", "KING"}));
    // A quoted name keeps its case on the server.
    TOraSQL sql(r.s.get());
    sql.SetSQL("begin :\"Out\" := :\"In\" || 'x'; end;");
    ASSERT_EQ(sql.Params().Count(), 2);
    sql.ParamByName("In")->SetAsString("a");
    Out(sql, "Out", ftString, 10);
    sql.Execute();
    EXPECT_EQ(sql.ParamByName("Out")->AsString(), "ax");
    // Session.ExecSQL: missing values are NULL.
    Variant v = r.s->ExecSQL("begin :Result := NVL(:a, 'none') || NVL(:b, 'none'); end;",
                             {Variant::Null(), Variant(std::string("A"))});
    EXPECT_EQ(VarToStr(v), "Anone");
}

TEST(OraParamNames, AParameterWithoutTypeButWithAValueIsRefusedByName) {
    Rig r;
    auto cmd = r.s->OCIConnection()->CreateCommand();
    auto* c = static_cast<TOCICommand*>(cmd.get());
    c->SetSQL("SELECT * FROM DUAL WHERE :x IS NULL AND :y IS NULL");
    c->Param(0)->SetValue(Variant(int32_t(1)));
    try {
        c->Execute(1);
        FAIL();
    } catch (Exception& e) {
        EXPECT_STREQ(e.what(), "Unknown type of parameter x.");
    }
    // Typeless NULLs bind as NULL.
    c->Param(0)->SetValue(Variant::Null());
    EXPECT_NO_THROW(c->Execute(1));
}

TEST(OraParamArrays, ArrayInsertWithNullElementsAndTooShortArrays) {
    Rig r;
    r.Exec("CREATE TABLE T_A (ID NUMBER, D DATE, F NUMBER(6,1))");
    auto cmd = r.s->OCIConnection()->CreateCommand();
    auto* c = static_cast<TOCICommand*>(cmd.get());
    c->SetSQL("INSERT INTO T_A VALUES (:id, :d, :f)");
    c->Param(0)->SetDataType(dtInt32);
    c->Param(1)->SetDataType(dtDateTime);
    c->Param(2)->SetDataType(dtFloat);
    for (int i = 0; i < 3; ++i) {
        c->Param(i)->SetLength(4);
        c->Param(i)->SetParamType(pdInput);
    }
    for (int i = 1; i <= 4; ++i) {
        c->Param(0)->SetItemValue(i, Variant(int32_t(i)));
        c->Param(1)->SetItemValue(i,
                                  i == 2 ? Variant::Null() : Variant::FromDateTime(EncodeDate(2000, 1, i)));
        c->Param(2)->SetItemValue(i, i == 3 ? Variant::Null() : Variant(i + 0.5));
    }
    c->Execute(4);
    Variant rows;
    c->GetProp(prRowsProcessed, rows);
    EXPECT_EQ(rows.AsInteger(), 4);
    EXPECT_EQ(r.One("SELECT COUNT(*) FROM T_A WHERE D IS NULL"), "1");
    EXPECT_EQ(r.One("SELECT ID FROM T_A WHERE D IS NULL"), "2");
    EXPECT_EQ(r.One("SELECT ID FROM T_A WHERE F IS NULL"), "3");
    EXPECT_EQ(r.One("SELECT SUM(F) FROM T_A"), "8.5");
    // Fewer iterations than elements insert only that many rows.
    c->Execute(2);
    EXPECT_EQ(r.One("SELECT COUNT(*) FROM T_A"), "6");
}

// ---- Write statements of the workbench ----

struct WriteRig : Rig {
    WriteRig() {
        Exec("CREATE TABLE T_W (ID NUMBER(9) PRIMARY KEY, NAME VARCHAR2(20), NOTE VARCHAR2(20))");
        Exec("INSERT INTO T_W VALUES (1, 'one', 'a')");
        Exec("INSERT INTO T_W VALUES (2, 'two', 'b')");
        s->Commit();
    }
};

TEST(OraUpdateSQL, InsertAndDeleteThroughTheUpdateObjectWithOldValues) {
    WriteRig r;
    TOraQuery q(r.s.get());
    TOraUpdateSQL upd;
    upd.InsertSQL = "INSERT INTO T_W (ID, NAME, NOTE) VALUES (:ID, :NAME, :NOTE)";
    upd.DeleteSQL = "DELETE FROM T_W WHERE ID = :OLD_ID";
    upd.ModifySQL = "UPDATE T_W SET ID = :ID, NAME = :NAME WHERE ID = :OLD_ID";
    q.SetUpdateObject(&upd);
    q.SetSQL("SELECT ID, NAME, NOTE FROM T_W ORDER BY ID");
    q.Open();
    q.Append();
    q.FieldByName("ID")->SetAsInteger(3);
    q.FieldByName("NAME")->SetAsString("three");
    q.Post();
    EXPECT_EQ(r.One("SELECT NAME FROM T_W WHERE ID = 3"), "three");
    EXPECT_EQ(r.One("SELECT NVL(NOTE, 'null') FROM T_W WHERE ID = 3"), "null");
    // Changing the key: the statement finds the row by its old key.
    q.First();
    q.Edit();
    q.FieldByName("ID")->SetAsInteger(10);
    q.Post();
    EXPECT_EQ(r.One("SELECT NAME FROM T_W WHERE ID = 10"), "one");
    EXPECT_EQ(r.One("SELECT COUNT(*) FROM T_W WHERE ID = 1"), "0");
    q.First();
    ASSERT_EQ(q.FieldByName("ID")->AsInteger(), 10);
    q.Delete();
    EXPECT_EQ(r.One("SELECT COUNT(*) FROM T_W WHERE ID = 10"), "0");
    EXPECT_EQ(q.RecordCount(), 2);
}

TEST(OraUpdateSQL, OwnStatementsRefreshConditionAndReadOnly) {
    WriteRig r;
    TOraQuery q(r.s.get());
    q.SQLUpdate = "UPDATE T_W SET NOTE = UPPER(:NOTE) WHERE ID = :OLD_ID";
    q.SQLRefresh = "WHERE ID = :ID";
    q.RefreshOptions = roAfterUpdate;
    q.SetSQL("SELECT ID, NAME, NOTE FROM T_W ORDER BY ID");
    q.Open();
    ASSERT_TRUE(q.CanModify());
    q.Edit();
    q.FieldByName("NOTE")->SetAsString("changed");
    q.Post();
    EXPECT_EQ(q.FieldByName("NOTE")->AsString(), "CHANGED") << "the row was refreshed from the server";
    EXPECT_EQ(q.FieldByName("ID")->AsInteger(), 1);
    EXPECT_EQ(q.RecordCount(), 2);
    // Without an insert or delete statement an insert or delete stops silently before it starts.
    q.Next();
    EXPECT_THROW(q.Append(), EAbort);
    EXPECT_EQ(q.State(), dsBrowse);
    EXPECT_EQ(q.FieldByName("ID")->AsInteger(), 2) << "the current row is still the one the insert began on";
    EXPECT_THROW(q.Delete(), EAbort);
    EXPECT_EQ(q.RecordCount(), 2);
    EXPECT_EQ(r.One("SELECT COUNT(*) FROM T_W"), "2");
    // LocalUpdate allows changes that stay in the data set.
    q.LocalUpdate = true;
    q.Append();
    q.FieldByName("ID")->SetAsInteger(9);
    q.Post();
    EXPECT_EQ(q.RecordCount(), 3);
    EXPECT_EQ(r.One("SELECT COUNT(*) FROM T_W"), "2");
    q.Close();
    q.ReadOnly = true;
    q.Open();
    EXPECT_FALSE(q.CanModify());
}

TEST(OraUpdateSQL, RowIdOfAnInsertedRowLandsInTheRowIdField) {
    WriteRig r;
    TOraQuery q(r.s.get());
    q.SQLInsert = "INSERT INTO T_W (ID, NAME) VALUES (:ID, :NAME)";
    q.SetSQL("SELECT ROWID, ID, NAME FROM T_W ORDER BY ID");
    q.Open();
    q.Append();
    q.FieldByName("ID")->SetAsInteger(5);
    q.FieldByName("NAME")->SetAsString("five");
    q.Post();
    std::string rowid = q.FieldByName("ROWID")->AsString();
    ASSERT_EQ(rowid.size(), 18u) << rowid;
    EXPECT_EQ(r.One("SELECT NAME FROM T_W WHERE ROWID = '" + rowid + "'"), "five");
}

TEST(OraUpdateSQL, ImmediateLockHoldsTheRowAgainstASecondSession) {
    vemu::EmuOptions o;
    o.lockWaitMs = 200;
    TEmu emu(o);
    auto s = MakeSession(emu);
    s->Connect();
    {
        TOraSQL ddl(s.get());
        ddl.SetSQL("CREATE TABLE T_L (ID NUMBER(9) PRIMARY KEY, NAME VARCHAR2(20))");
        ddl.Execute();
        ddl.SetSQL("INSERT INTO T_L VALUES (1, 'one')");
        ddl.Execute();
        s->Commit();
    }
    s->SetAutoCommit(false);
    TOraQuery q(s.get());
    q.Name = "QryLock";
    q.LockMode = lmLockImmediate;
    q.SQLUpdate = "UPDATE T_L SET NAME = :NAME WHERE ID = :OLD_ID";
    q.SQLLock = "SELECT * FROM T_L WHERE ID = :OLD_ID FOR UPDATE NOWAIT";
    q.SetSQL("SELECT ID, NAME FROM T_L");
    q.Open();
    TPrepareLog log;
    q.Edit();
    EXPECT_EQ(log.Starting("SAVEPOINT LOCK_QryLock").size(), 1u);
    auto other = MakeSession(emu);
    other->Connect();
    TOraSQL blocked(other.get());
    blocked.SetSQL("UPDATE T_L SET NAME = 'other' WHERE ID = 1");
    EXPECT_THROW(blocked.Execute(), EOraError);
    q.FieldByName("NAME")->SetAsString("mine");
    q.Post();
    s->Commit();
    blocked.SetSQL("SELECT NAME FROM T_L WHERE ID = 1 FOR UPDATE NOWAIT");
    TOraQuery check(other.get());
    check.SetSQL("SELECT NAME FROM T_L WHERE ID = 1");
    check.Open();
    EXPECT_EQ(check.Fields(0)->AsString(), "mine");
}

} // namespace
