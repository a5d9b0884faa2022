// The schema browser's and the workbench's statement texts, and the workbench's generated write statements
// with the key-column choice.
#include "app/ListIndexError.h"
#include "app/SchemaStatements.h"

#include <gtest/gtest.h>

using namespace schema;

namespace {

// The catalog statements for SCOTT.EMP, written out in full.
const char kDescEmp[] = "Select Column_name as Spalte, substr(Data_type,1,15) as Datentyp, Data_length as "
                        "Laenge, Nullable    as NULLZUGELASSEN, Data_Default as Defaultwert from "
                        "SYS.ALL_TAB_COLUMNS where Table_name = 'EMP' and OWNER = 'SCOTT'";
const char kCountEmp[] = " select  COUNT(*) as Anzahl from SCOTT.EMP";
const char kIndexEmp[] =
    " select  SUBSTR(OWNER,1,15) as OWNER,   INDEX_NAME,   SUBSTR(INDEX_TYPE,1,10) as INDEX_TYPE,   STATUS,  "
    " LAST_ANALYZED,   UNIQUENESS,   COMPRESSION,   TABLESPACE_NAME from     dba_indexes where   OWNER not "
    "in ('SYS','SYSTEM') and      TABLE_NAME = 'EMP'";
const char kConstrEmp[] =
    " select   c.OWNER,    c.TABLE_NAME      as FK_TABELLE,   c.CONSTRAINT_NAME as FK_NAME,      "
    "cc.COLUMN_NAME    as FK_SPALTE,    r.TABLE_NAME      as PK_TABLE,     rc.COLUMN_NAME    as PK_SPALTE,   "
    " cc.POSITION from     dba_constraints c, dba_constraints r,              dba_cons_columns cc, "
    "dba_cons_columns rc  where    c.CONSTRAINT_TYPE = 'R' and      c.OWNER not in ('SYS','SYSTEM')and      "
    "c.R_OWNER = r.OWNER   and      c.R_CONSTRAINT_NAME = r.CONSTRAINT_NAME and      c.CONSTRAINT_NAME = "
    "cc.CONSTRAINT_NAME  and      c.OWNER = cc.OWNER                      and      r.CONSTRAINT_NAME = "
    "rc.CONSTRAINT_NAME  and      r.OWNER = rc.OWNER                      and      cc.POSITION = rc.POSITION "
    "              and      r.TABLE_NAME = 'EMP'order by c.OWNER, c.TABLE_NAME, c.CONSTRAINT_NAME, "
    "cc.POSITION ";
const char kTrigEmp[] =
    " select   TRIGGER_NAME,                       substr(TABLE_OWNER,1,15) as TBL_OWNER,   Trigger_TYPE,    "
    "                        STATUS,                                  substr(TRIGGERING_EVENT,1,30) as "
    "EVENT,   BASE_OBJECT_TYPE,                         WHEN_CLAUSE,                              "
    "DESCRIPTION,                              ACTION_TYPE,                              TRIGGER_BODY from   "
    "  dba_triggers where   OWNER not in ('SYS','SYSTEM')and      TABLE_NAME = 'EMP'";

TEST(SchemaStatements, OwnerAndTableListsFollowTheChosenOwner) {
    EXPECT_EQ(OwnerListSQL(), "select distinct OWNER from SYS.DBA_TABLES");
    EXPECT_EQ(TableListSQL("*ALLE*"),
              "select distinct OWNER||'.'||TABLE_NAME as TABLENAME from SYS.DBA_TABLES");
    EXPECT_EQ(
        TableListSQL("SCOTT"),
        "select distinct OWNER||'.'||TABLE_NAME as TABLENAME from SYS.DBA_TABLES where OWNER = 'SCOTT'");
}

TEST(SchemaStatements, TheSixButtonsInsertOwnerAndTableWhereTheirTextsHaveThem) {
    EXPECT_EQ(ButtonSQL(TBrowserButton::Inhalt, "SCOTT.EMP"), "Select * from SCOTT.EMP");
    EXPECT_EQ(ButtonSQL(TBrowserButton::Desc, "SCOTT.EMP"), kDescEmp);
    EXPECT_EQ(ButtonSQL(TBrowserButton::Anz, "SCOTT.EMP"), kCountEmp);
    EXPECT_EQ(ButtonSQL(TBrowserButton::Idx, "SCOTT.EMP"), kIndexEmp);
    EXPECT_EQ(ButtonSQL(TBrowserButton::Constr, "SCOTT.EMP"), kConstrEmp);
    EXPECT_EQ(ButtonSQL(TBrowserButton::Trig, "SCOTT.EMP"), kTrigEmp);
    // The owner plays no part in the index, constraint and trigger lists.
    EXPECT_EQ(ButtonSQL(TBrowserButton::Idx, "OTHER.EMP"), kIndexEmp);
    // The item is split at its first ".".
    TTableItem t = SplitTableItem("A.B.C");
    EXPECT_EQ(t.owner, "A");
    EXPECT_EQ(t.table, "B.C");
    // A table name holding a "." is no ordinary name: it goes in double quotes.
    EXPECT_EQ(ButtonSQL(TBrowserButton::Anz, "A.B.C"), " select  COUNT(*) as Anzahl from A.\"B.C\"");
}

TEST(SchemaStatements, TheWorkbenchTabsRunTheBrowserStatements) {
    EXPECT_EQ(TabSQL(tabInhalt, "SCOTT.EMP"), "Select * from SCOTT.EMP");
    EXPECT_EQ(TabSQL(tabAendern, "SCOTT.EMP"), "Select * from SCOTT.EMP");
    EXPECT_EQ(TabSQL(tabSQL, "SCOTT.EMP"), "Select * from SCOTT.EMP");
    EXPECT_EQ(TabSQL(tabBeschreibung, "SCOTT.EMP"), kDescEmp);
    EXPECT_EQ(TabSQL(tabAnzahl, "SCOTT.EMP"), kCountEmp);
    EXPECT_EQ(TabSQL(tabIndex, "SCOTT.EMP"), kIndexEmp);
    EXPECT_EQ(TabSQL(tabConstraints, "SCOTT.EMP"), kConstrEmp);
    EXPECT_EQ(TabSQL(tabTrigger, "SCOTT.EMP"), kTrigEmp);
    EXPECT_STREQ(TabCaption(tabAnzahl), "Anzahl der Datens\xE4tze");
    EXPECT_STREQ(TabCaption(tabAendern), "Tabelle \xE4ndern");
    EXPECT_THROW(TabCaption(tabCount), EListError);
    EXPECT_EQ(WorkbenchStatus(-1), "Anweisung verarbeitet");
    EXPECT_EQ(WorkbenchStatus(3), "3 Datens\xE4tze verarbeitet!");
}

TEST(SchemaStatements, NamesHoldingQuotesAreQuotedAndOrdinaryNamesStayByteIdentical) {
    // A quote in an owner or table name no longer ends the literal: it is doubled.
    EXPECT_EQ(TableListSQL("O'X"), "select distinct OWNER||'.'||TABLE_NAME as TABLENAME from SYS.DBA_TABLES "
                                   "where OWNER = 'O''X'");
    EXPECT_EQ(ButtonSQL(TBrowserButton::Desc, "O'X.T'||F()||'"),
              "Select Column_name as Spalte, substr(Data_type,1,15) as Datentyp, Data_length as Laenge, "
              "Nullable    as NULLZUGELASSEN, Data_Default as Defaultwert from SYS.ALL_TAB_COLUMNS where "
              "Table_name = 'T''||F()||''' and OWNER = 'O''X'");
    std::string idx = ButtonSQL(TBrowserButton::Idx, "S.A'B");
    EXPECT_EQ(idx.substr(idx.size() - 19), "TABLE_NAME = 'A''B'");
    std::string constr = ButtonSQL(TBrowserButton::Constr, "S.A'B");
    EXPECT_NE(constr.find("r.TABLE_NAME = 'A''B'order by"), std::string::npos);
    std::string trig = ButtonSQL(TBrowserButton::Trig, "S.A'B");
    EXPECT_EQ(trig.substr(trig.size() - 19), "TABLE_NAME = 'A''B'");
    // As identifiers, names that are not ordinary go in double quotes with their double quotes doubled.
    EXPECT_EQ(ButtonSQL(TBrowserButton::Inhalt, "SCOTT.my \"t\""), "Select * from SCOTT.\"my \"\"t\"\"\"");
    EXPECT_EQ(ButtonSQL(TBrowserButton::Anz, "O'X.emp"), " select  COUNT(*) as Anzahl from \"O'X\".\"emp\"");
    EXPECT_EQ(TableRefText("SYS.X$KSPPI"), "SYS.X$KSPPI");
    EXPECT_EQ(TableRefText("SCOTT.T#1"), "SCOTT.T#1");
    EXPECT_EQ(TableRefText("SCOTT.1T"), "SCOTT.\"1T\"");
    EXPECT_EQ(LiteralText("EMP"), "EMP");
    // The workbench writes to the quoted table.
    TWorkbenchStatements w;
    w.SetTable("SCOTT.my tab", {"A"});
    EXPECT_EQ(w.DeleteSQL(), "DELETE FROM SCOTT.\"my tab\"\rWHERE\r   A = :A");
    EXPECT_EQ(w.InsertSQL().substr(0, 28), "INSERT INTO SCOTT.\"my tab\" (");
}

TEST(SchemaStatements, ListIndexErrorNamesTheIndex) {
    EXPECT_EQ(ListIndexErrorText(-1), "Listenindex \xFC"
                                      "berschreitet das Maximum (-1)");
    try {
        CheckListIndex(3, 3);
        FAIL();
    } catch (EListError& e) {
        EXPECT_EQ(std::string(e.what()), ListIndexErrorText(3));
    }
    EXPECT_EQ(CheckListIndex(2, 3), 2);
}

TEST(WorkbenchStatements, ChoosingScottDeptGeneratesTheThreeStatementsWithTheFirstColumnAsKey) {
    TWorkbenchStatements w;
    w.SetTable("SCOTT.DEPT", {"DEPTNO", "DNAME", "LOC"});
    EXPECT_EQ(w.SetList(), "   DEPTNO = :DEPTNO,\r   DNAME = :DNAME,\r   LOC = :LOC\r");
    EXPECT_EQ(w.ColumnList(), "DEPTNO, DNAME, LOC ");
    EXPECT_EQ(w.ValueList(), ":DEPTNO, :DNAME, :LOC");
    EXPECT_EQ(w.ModifySQL(), "UPDATE SCOTT.DEPT SET \r"
                             "   DEPTNO = :DEPTNO,\r"
                             "   DNAME = :DNAME,\r"
                             "   LOC = :LOC\r"
                             "\r"
                             " WHERE \r"
                             "   DEPTNO = :OLD_DEPTNO");
    EXPECT_EQ(w.InsertSQL(), "INSERT INTO SCOTT.DEPT (\r"
                             "DEPTNO, DNAME, LOC )\r"
                             " VALUES ( \r"
                             ":DEPTNO, :DNAME, :LOC)");
    EXPECT_EQ(w.DeleteSQL(), "DELETE FROM SCOTT.DEPT\r"
                             "WHERE\r"
                             "   DEPTNO = :DEPTNO");
    EXPECT_EQ(w.RefreshSQL(), "SELECT * FROM SCOTT.DEPT\r"
                              "WHERE\r"
                              "   DEPTNO = :DEPTNO");
}

TEST(WorkbenchStatements, TheKeyClausesFollowEveryTickedItemOfTheWholeList) {
    TWorkbenchStatements w;
    w.SetTable("SCOTT.DEPT", {"DEPTNO", "DNAME", "LOC"});
    // Only the second column ticked: both clauses name only it.
    ASSERT_TRUE(w.ApplyKeys({false, true, false}));
    EXPECT_EQ(w.UpdateKey(), "DNAME = :OLD_DNAME \r");
    EXPECT_EQ(w.DeleteKey(), "   DNAME = :DNAME \r");
    EXPECT_EQ(w.ModifySQL(), "UPDATE SCOTT.DEPT SET \r"
                             "   DEPTNO = :DEPTNO,\r"
                             "   DNAME = :DNAME,\r"
                             "   LOC = :LOC\r"
                             "\r"
                             " WHERE \r"
                             "DNAME = :OLD_DNAME \r");
    EXPECT_EQ(w.DeleteSQL(), "DELETE FROM SCOTT.DEPT\rWHERE\r   DNAME = :DNAME \r");
    // A key ticked below the one clicked last still counts, in list order.
    ASSERT_TRUE(w.ApplyKeys({true, false, true}));
    EXPECT_EQ(w.UpdateKey(), "DEPTNO = :OLD_DEPTNO and \rLOC = :OLD_LOC \r");
    EXPECT_EQ(w.DeleteKey(), "   DEPTNO = :DEPTNO and \r   LOC = :LOC \r");
    EXPECT_EQ(w.RefreshSQL(), "SELECT * FROM SCOTT.DEPT\rWHERE\r   DEPTNO = :DEPTNO and \r   LOC = :LOC \r");
    // The insert statement never changes.
    EXPECT_EQ(w.InsertSQL(),
              "INSERT INTO SCOTT.DEPT (\rDEPTNO, DNAME, LOC )\r VALUES ( \r:DEPTNO, :DNAME, :LOC)");
}

TEST(WorkbenchStatements, NoTickedItemLeavesThePreviousStatementsInPlace) {
    TWorkbenchStatements w;
    w.SetTable("SCOTT.DEPT", {"DEPTNO", "DNAME", "LOC"});
    std::string modify = w.ModifySQL(), del = w.DeleteSQL();
    EXPECT_FALSE(w.ApplyKeys({false, false, false}));
    EXPECT_EQ(w.ModifySQL(), modify);
    EXPECT_EQ(w.DeleteSQL(), del);
    ASSERT_TRUE(w.ApplyKeys({false, true, false}));
    modify = w.ModifySQL();
    del = w.DeleteSQL();
    // Unticking the only ticked item keeps the statements of the previous click.
    EXPECT_FALSE(w.ApplyKeys({false, false, false}));
    EXPECT_EQ(w.ModifySQL(), modify);
    EXPECT_EQ(w.DeleteSQL(), del);
    // A new table starts again with its first column as key.
    w.SetTable("SCOTT.BONUS", {"ENAME", "JOB"});
    EXPECT_EQ(w.DeleteSQL(), "DELETE FROM SCOTT.BONUS\rWHERE\r   ENAME = :ENAME");
    EXPECT_EQ(w.SetList(), "   ENAME = :ENAME,\r   JOB = :JOB\r");
}

TEST(WorkbenchStatements, ATableWithOneColumnOrNoneStaysWellFormed) {
    TWorkbenchStatements w;
    w.SetTable("A.T", {"X"});
    EXPECT_EQ(w.SetList(), "   X = :X\r");
    EXPECT_EQ(w.InsertSQL(), "INSERT INTO A.T (\rX )\r VALUES ( \r:X)");
    w.SetTable("A.T", {});
    EXPECT_EQ(w.SetList(), "");
    EXPECT_EQ(w.RefreshSQL(), "");
    EXPECT_FALSE(w.ApplyKeys({true}));
}

} // namespace
