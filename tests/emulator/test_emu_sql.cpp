// SQL behaviour: Oracle names, functions, dictionary, DML, DDL, transactions and error codes.
#include "tests/emulator/EmuTestUtil.h"

using namespace emutest;

namespace {
struct EmuSql : ::testing::Test {
    void SetUp() override {
        srv = StartServer();
        LogonOk(c, srv->Port());
    }
    std::unique_ptr<vemu::EmuServer> srv;
    TestClient c;
};
} // namespace

TEST_F(EmuSql, FunctionsAndPseudoColumnsBehaveAsInOracle) {
    EXPECT_EQ(One(c, "select nvl(comm, -1) from emp where empno = 7839"), "-1");
    EXPECT_EQ(One(c, "select substr('Vestra', 0, 3) from dual"), "Ves");
    EXPECT_EQ(One(c, "select substr('Vestra', -3) from dual"), "tra");
    EXPECT_EQ(One(c, "select 'a' || null || 'b' from dual"), "ab");
    EXPECT_EQ(One(c, "select decode(deptno, 10, 'TEN', 20, 'TWENTY', 'OTHER') from emp where empno = 7369"),
              "TWENTY");
    EXPECT_EQ(One(c, "select decode(null, null, 'match', 'no') from dual"), "match");
    EXPECT_EQ(One(c, "select count(*) from emp"), "14");
    EXPECT_EQ(One(c, "select sum(sal) from emp where deptno = 10"), "8750");
    EXPECT_EQ(One(c, "select avg(sal) from emp where deptno = 30"), "1566.66666666667");
    EXPECT_EQ(One(c, "select 1/2 from dual"), ".5");
    EXPECT_EQ(One(c, "select max(ename) from emp"), "WARD");
    EXPECT_EQ(One(c, "select count(*) from (select ename from emp where rownum <= 5)"), "5");
    EXPECT_EQ(One(c, "select count(*) from emp where rownum < 3"), "2");
    EXPECT_EQ(One(c, "select user from dual"), "SCOTT");
    EXPECT_EQ(One(c, "select to_char(hiredate, 'YYYY-MM-DD') from emp where empno = 7788"), "1987-04-19");
    EXPECT_EQ(One(c, "select 'x' || hiredate from emp where empno = 7788"), "x19-APR-87");
    EXPECT_EQ(One(c, "select hiredate + 1 from emp where empno = 7788"), "20-APR-87");
    EXPECT_EQ(
        One(c, "select to_char(add_months(to_date('31.01.2020','DD.MM.YYYY'), 1), 'DD.MM.YYYY') from dual"),
        "29.02.2020");
    // the wire carries Windows-1252
    EXPECT_EQ(One(c, "select upper('stra\xDF"
                     "e') || lower('\xC4"
                     "B') from dual"),
              "STRA\xDF"
              "E\xE4"
              "b");
    EXPECT_EQ(One(c, "select length('M\xFCller') from dual"), "6");
    EXPECT_EQ(One(c, "select 7/2 from dual"), "3.5");
    EXPECT_EQ(One(c, "select trunc(1234.567, 2) from dual"), "1234.56");
    EXPECT_EQ(One(c, "select to_char(1234.5, '9999.99') from dual"), " 1234.50");
    EXPECT_EQ(One(c, "select ename from emp where ename like 'K%'"), "KING");
    EXPECT_EQ(One(c, "select to_number('42') + 1 from dual"), "43");
}

TEST_F(EmuSql, SessionDateFormatAndLanguageAreHonoured) {
    ASSERT_EQ(c.Exec("ALTER SESSION SET NLS_DATE_LANGUAGE='German'").code, 0);
    ASSERT_EQ(c.Exec("ALTER SESSION SET NLS_DATE_FORMAT='DD.MM.YYYY'").code, 0);
    EXPECT_EQ(One(c, "select hiredate from emp where empno = 7566"), "02.04.1981");
    EXPECT_EQ(One(c, "select to_char(hiredate, 'DD. Month YYYY') from emp where empno = 7934"),
              "23. Januar    1982");
    EXPECT_EQ(One(c, "select to_char(hiredate, 'fmDay') from emp where empno = 7934"), "Samstag");
    EXPECT_EQ(One(c, "select to_char(to_date('03.03.2021'), 'DD-MON-YYYY') from dual"), "03-M\xC4R-2021");
    EXPECT_EQ(One(c, "select value from nls_session_parameters where parameter = 'NLS_DATE_FORMAT'"),
              "DD.MM.YYYY");
}

TEST_F(EmuSql, DescribeReportsOracleTypes) {
    int cur = c.OpenCursor();
    std::vector<Column> cols;
    auto st = c.Describe(
        cur, "select empno, ename, hiredate, sal, comm, count(*) over () n, 'ab' lit, sysdate from emp",
        cols);
    ASSERT_EQ(st.code, 0) << st.text;
    ASSERT_EQ(cols.size(), 8u);
    EXPECT_EQ(cols[0].name, "EMPNO");
    EXPECT_EQ(cols[0].type, 2);
    EXPECT_EQ(cols[0].precision, 4);
    EXPECT_EQ(cols[0].scale, 0);
    EXPECT_FALSE(cols[0].nullable);
    EXPECT_EQ(cols[1].type, 1);
    EXPECT_EQ(cols[1].size, 10);
    EXPECT_TRUE(cols[1].nullable);
    EXPECT_EQ(cols[2].type, 12);
    EXPECT_EQ(cols[3].precision, 7);
    EXPECT_EQ(cols[3].scale, 2);
    EXPECT_EQ(cols[5].name, "N");
    EXPECT_EQ(cols[5].type, 2);
    EXPECT_EQ(cols[6].name, "LIT");
    EXPECT_EQ(cols[6].type, 96);
    EXPECT_EQ(cols[7].name, "SYSDATE");
    EXPECT_EQ(cols[7].type, 12);
    cols.clear();
    st = c.Describe(cur, "select sal * 2, ename || 'x' from emp", cols);
    ASSERT_EQ(cols.size(), 2u);
    EXPECT_EQ(cols[0].name, "SAL*2");
    EXPECT_EQ(cols[1].name, "ENAME||'X'");
    EXPECT_EQ(cols[1].type, 1);
}

// Every error has the code and the text of one table, whichever part of the server finds it: the DDL
// parser, the lexer, the SQLite error mapping, the SQL functions and the date conversion.
TEST_F(EmuSql, ErrorTextsComeFromTheErrorTable) {
    struct Case {
        const char* sql;
        int code;
        const char* text;
    } cases[] = {
        {"create frob x", 901, "ORA-00901: invalid CREATE command\n"},
        {"drop frob x", 950, "ORA-00950: invalid DROP option\n"},
        {"drop index no_such_index", 1418, "ORA-01418: specified index does not exist\n"},
        {"select \"ename from emp", 1740, "ORA-01740: missing double quote in identifier\n"},
        {"insert into dept values (1, 'A', 'B', 'C')", 913, "ORA-00913: too many values\n"},
        {"insert into dept values (1)", 947, "ORA-00947: not enough values\n"},
        {"insert into dept (deptno, dname) values (1, 'A', 'B')", 913, "ORA-00913: too many values\n"},
        {"insert into dept (deptno, dname) values (1)", 947, "ORA-00947: not enough values\n"},
        {"select to_number('x1') from dual", 1722, "ORA-01722: invalid number\n"},
        {"select to_date('2001-13-01', 'YYYY-MM-DD') from dual", 1843, "ORA-01843: not a valid month\n"},
        {"update emp set sal = 123456789 where empno = 7369", 1438,
         "ORA-01438: value larger than specified precision allowed for this column\n"},
    };
    for (const Case& k : cases) {
        Status st = c.Exec(k.sql);
        EXPECT_EQ(st.code, k.code) << k.sql << ": " << st.text;
        EXPECT_EQ(st.text, k.text) << k.sql;
    }
}

TEST_F(EmuSql, ErrorsCarryOracleCodesAndPositions) {
    Status s = c.Exec("select * from nosuch");
    EXPECT_EQ(s.code, 942);
    EXPECT_EQ(s.text, "ORA-00942: table or view does not exist\n");
    EXPECT_EQ(s.pos, 14);
    s = c.Exec("select enamex from emp");
    EXPECT_EQ(s.code, 904);
    EXPECT_NE(s.text.find("ENAMEX"), std::string::npos);
    EXPECT_EQ(s.pos, 7);
    EXPECT_EQ(c.Exec("frobnicate the table").code, 900);
    Status w = c.Exec("select * from emp where");
    EXPECT_EQ(w.code, 936) << w.text;
    EXPECT_EQ(c.Exec("select * from emp e1 e2").code, 933);
    s = c.Exec("insert into dept values (10, 'DUP', 'X')");
    EXPECT_EQ(s.code, 1);
    EXPECT_NE(s.text.find("SCOTT.PK_DEPT"), std::string::npos) << s.text;
    s = c.Exec("insert into emp (empno) values (null)");
    EXPECT_EQ(s.code, 1400);
    EXPECT_NE(s.text.find("(\"SCOTT\".\"EMP\".\"EMPNO\")"), std::string::npos) << s.text;
    s = c.Exec("insert into emp (empno, deptno) values (1, 99)");
    EXPECT_EQ(s.code, 2291);
    EXPECT_NE(s.text.find("FK_DEPTNO"), std::string::npos) << s.text;
    EXPECT_EQ(c.Exec("delete from dept where deptno = 10").code, 2292);
    s = c.Exec("update emp set ename = 'FAR TOO LONG A NAME' where empno = 7369");
    EXPECT_EQ(s.code, 12899);
    EXPECT_NE(s.text.find("\"SCOTT\".\"EMP\".\"ENAME\""), std::string::npos) << s.text;
    EXPECT_EQ(c.Exec("update emp set sal = 123456789 where empno = 7369").code, 1438);
    EXPECT_EQ(c.Exec("update emp set sal = 'much' where empno = 7369").code, 1722);
    EXPECT_EQ(c.Exec("update emp set sal = '1234.5' where empno = 7369").code, 0);
    ASSERT_EQ(c.Exec("create table chk (n number check (n > 0))").code, 0);
    EXPECT_EQ(c.Exec("insert into chk values (-1)").code, 2290);
    EXPECT_EQ(c.Exec("select 'unterminated from dual").code, 1756);
}

TEST_F(EmuSql, NumbersWithAScaleAreStoredRoundedToIt) {
    ASSERT_EQ(c.Exec("create table rnd (a number(5,2), i integer, n number, k number(3))").code, 0);
    ASSERT_EQ(c.Exec("insert into rnd values (1.236, 2.5, 1.23456, 7)").code, 0);
    EXPECT_EQ(One(c, "select a from rnd"), "1.24");
    EXPECT_EQ(One(c, "select i from rnd"), "3");       // half away from zero
    EXPECT_EQ(One(c, "select n from rnd"), "1.23456"); // no scale: kept
    EXPECT_EQ(One(c, "select k from rnd"), "7");
    EXPECT_EQ(One(c, "select count(*) from rnd where a = 1.24"), "1");
    ASSERT_EQ(c.Exec("update rnd set a = -2.004, k = 12.5").code, 0);
    EXPECT_EQ(One(c, "select a from rnd"), "-2");
    EXPECT_EQ(One(c, "select k from rnd"), "13");
    // Rounded up past the precision: refused, and the row keeps its value.
    EXPECT_EQ(c.Exec("update rnd set a = 999.996").code, 1438);
    EXPECT_EQ(One(c, "select a from rnd"), "-2");
    EXPECT_EQ(c.Exec("update rnd set a = 999.994").code, 0);
    EXPECT_EQ(One(c, "select a from rnd"), "999.99");
}

TEST_F(EmuSql, DmlReportsRowsAndRollsBack) {
    Status s = c.Exec("update emp set sal = sal + 1 where deptno = 20");
    EXPECT_EQ(s.code, 0);
    EXPECT_EQ(s.rows, 5);
    EXPECT_EQ(s.commandType, 6);
    EXPECT_EQ(c.Exec("delete from bonus").rows, 0);
    ASSERT_EQ(c.Rollback().code, 0);
    EXPECT_EQ(One(c, "select sal from emp where empno = 7369"), "800");
    // binds and array DML
    int cur = c.OpenCursor();
    ASSERT_EQ(c.Parse(cur, "insert into bonus (ename, sal) values (:n, :s)").code, 0);
    s = c.Execute(cur, {Str("", 10), NullOf(2, 22)},
                  {{Str("A"), Num(1)}, {Str("B"), Num(2)}, {Str("C"), NullOf(2, 22)}});
    EXPECT_EQ(s.code, 0) << s.text;
    EXPECT_EQ(s.rows, 3);
    EXPECT_EQ(One(c, "select count(sal) || '/' || count(*) from bonus"), "2/3");
    EXPECT_EQ(c.Commit().code, 0);
    EXPECT_EQ(One(c, "select ename from emp where empno = :e", {Num(7839)}), "KING");
}

TEST_F(EmuSql, SavepointsKeepEarlierWork) {
    ASSERT_EQ(c.Exec("insert into dept values (50, 'A', 'X')").code, 0);
    ASSERT_EQ(c.Exec("SAVEPOINT s1").code, 0);
    ASSERT_EQ(c.Exec("insert into dept values (60, 'B', 'Y')").code, 0);
    ASSERT_EQ(c.Exec("ROLLBACK TO SAVEPOINT s1").code, 0);
    EXPECT_EQ(One(c, "select count(*) from dept where deptno >= 50"), "1");
    EXPECT_EQ(c.Exec("ROLLBACK TO SAVEPOINT nosuch").code, 1086);
    ASSERT_EQ(c.Commit().code, 0);
    EXPECT_EQ(One(c, "select dname from dept where deptno = 50"), "A");
}

TEST_F(EmuSql, DdlSequencesAndDictionary) {
    ASSERT_EQ(
        c.Exec("create table t1 (id number(5) constraint t1_pk primary key, name varchar2(20) not null, "
               "created date default sysdate, amount number(10,2), note clob)")
            .code,
        0);
    EXPECT_EQ(c.Exec("create table t1 (x number)").code, 955);
    ASSERT_EQ(c.Exec("create index t1_name on t1 (name)").code, 0);
    ASSERT_EQ(c.Exec("create sequence t1_seq start with 100").code, 0);
    ASSERT_EQ(c.Exec("insert into t1 (id, name) values (t1_seq.nextval, 'first')").code, 0);
    ASSERT_EQ(c.Exec("insert into t1 (id, name) values (t1_seq.nextval, 'second')").code, 0);
    EXPECT_EQ(One(c, "select t1_seq.currval from dual"), "101");
    EXPECT_EQ(One(c, "select min(id) from t1"), "100");
    EXPECT_EQ(One(c, "select count(*) from t1 where created is not null"), "2");
    ASSERT_EQ(c.Commit().code, 0);
    EXPECT_EQ(
        One(c, "select data_type || ' ' || data_length || ' ' || nullable from all_tab_columns where owner = "
               "'SCOTT' and table_name = 'T1' and column_name = 'NAME'"),
        "VARCHAR2 20 N");
    EXPECT_EQ(
        One(c, "select data_precision || ',' || data_scale from all_tab_columns where table_name = 'T1' and "
               "column_name = 'AMOUNT'"),
        "10,2");
    EXPECT_EQ(One(c, "select constraint_type from dba_constraints where constraint_name = 'T1_PK'"), "P");
    EXPECT_EQ(
        One(c,
            "select r_constraint_name from sys.dba_constraints where owner = 'SCOTT' and constraint_name = "
            "'FK_DEPTNO'"),
        "PK_DEPT");
    EXPECT_EQ(One(c, "select column_name from dba_cons_columns where constraint_name = 'PK_EMP'"), "EMPNO");
    EXPECT_EQ(One(c, "select uniqueness from dba_indexes where index_name = 'T1_NAME'"), "NONUNIQUE");
    EXPECT_EQ(One(c, "select count(*) from sys.dba_tables where owner = 'SCOTT'"), "5");
    EXPECT_EQ(One(c, "select count(*) from dba_triggers"), "0");
    EXPECT_EQ(One(c, "select count(*) from v$session"), "1");
    EXPECT_EQ(One(c, "select value from v$parameter where name = 'db_name'"), "bnx");
    EXPECT_EQ(
        One(c, "select version from sys.product_component_version where upper(product) like '%ORACLE%'"),
        "8.1.7.0.0");
    EXPECT_EQ(One(c, "select count(*) from user_errors"), "0");
    ASSERT_EQ(c.Exec("drop table t1").code, 0);
    EXPECT_EQ(c.Exec("select * from t1").code, 942);
    EXPECT_EQ(c.Exec("drop sequence t1_seq").code, 0);
    EXPECT_EQ(c.Exec("select t1_seq.nextval from dual").code, 2289);
}

TEST_F(EmuSql, LockedRowsGiveResourceBusy) {
    TestClient other;
    LogonOk(other, srv->Port());
    ASSERT_EQ(c.Exec("update emp set sal = 1 where empno = 7369").code, 0);
    Status s = other.Exec("select * from emp where empno = 7369 for update nowait");
    EXPECT_EQ(s.code, 54) << s.text;
    // readers see the committed value meanwhile
    EXPECT_EQ(One(other, "select sal from emp where empno = 7369"), "800");
    ASSERT_EQ(c.Commit().code, 0);
    EXPECT_EQ(One(other, "select sal from emp where empno = 7369"), "1");
}

TEST_F(EmuSql, WorksheetAndBrowserCatalogQueries) {
    std::vector<Row> rows;
    Status s =
        c.Query("Select Column_name as Spalte, substr(Data_type,1,15) as Datentyp, Data_length as Laenge, "
                "Nullable    as NULLZUGELASSEN, Data_Default as Defaultwert from SYS.ALL_TAB_COLUMNS where "
                "Table_name = 'EMP' and OWNER = 'SCOTT'",
                rows, 5);
    ASSERT_EQ(s.code, 0) << s.text;
    ASSERT_EQ(rows.size(), 8u);
    EXPECT_EQ(rows[0][0], "EMPNO");
    EXPECT_EQ(rows[0][3], "N");
    EXPECT_EQ(rows[4][1], "DATE");
    rows.clear();
    s = c.Query(
        "SELECT sid, to_char(logon_time,'DD.MM.YYYY:HH24:MI') logon_time, username,type, status, process, "
        "sql_address, sql_hash_value FROM v$session WHERE username is not null and status ='ACTIVE'",
        rows, 8);
    ASSERT_EQ(s.code, 0) << s.text;
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][2], "SCOTT");
    EXPECT_EQ(rows[0][1]->size(), 16u);
    rows.clear();
    s = c.Query("SELECT * from v$parameter where NAME = 'db_block_size'", rows, 6);
    ASSERT_EQ(s.code, 0) << s.text;
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][3], "8192");
    rows.clear();
    s = c.Query(
        "select distinct OWNER||'.'||TABLE_NAME as TABLENAME from SYS.DBA_TABLES where OWNER = 'SCOTT'", rows,
        1);
    ASSERT_EQ(s.code, 0) << s.text;
    EXPECT_EQ(rows.size(), 4u);
    rows.clear();
    s = c.Query(
        " select   c.OWNER,    c.TABLE_NAME      as FK_TABELLE,   c.CONSTRAINT_NAME as FK_NAME,      "
        "cc.COLUMN_NAME    as FK_SPALTE,    r.TABLE_NAME      as PK_TABLE,     rc.COLUMN_NAME    as "
        "PK_SPALTE,"
        "    cc.POSITION from     dba_constraints c, dba_constraints r,              dba_cons_columns cc, "
        "dba_cons_columns rc  where    c.CONSTRAINT_TYPE = 'R' and      c.OWNER not in ('SYS','SYSTEM')and   "
        "   c.R_OWNER = r.OWNER   and      c.R_CONSTRAINT_NAME = r.CONSTRAINT_NAME and      "
        "c.CONSTRAINT_NAME "
        "= cc.CONSTRAINT_NAME  and      c.OWNER = cc.OWNER                      and      r.CONSTRAINT_NAME = "
        "rc.CONSTRAINT_NAME  and      r.OWNER = rc.OWNER                      and      cc.POSITION = "
        "rc.POSITION               and      r.TABLE_NAME = 'DEPT'",
        rows, 7);
    ASSERT_EQ(s.code, 0) << s.text;
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][1], "EMP");
    EXPECT_EQ(rows[0][3], "DEPTNO");
    rows.clear();
    s = c.Query(
        " select  SUBSTR(OWNER,1,15) as OWNER,   INDEX_NAME,   SUBSTR(INDEX_TYPE,1,10) as INDEX_TYPE,   "
        "STATUS,"
        "   LAST_ANALYZED,   UNIQUENESS,   COMPRESSION,   TABLESPACE_NAME from     dba_indexes where   OWNER "
        "not in ('SYS','SYSTEM') and      TABLE_NAME = 'EMP'",
        rows, 8);
    ASSERT_EQ(s.code, 0) << s.text;
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][1], "PK_EMP");
    EXPECT_EQ(rows[0][5], "UNIQUE");
    rows.clear();
    s = c.Query(
        " select   TRIGGER_NAME,                       substr(TABLE_OWNER,1,15) as TBL_OWNER,   "
        "Trigger_TYPE, "
        "STATUS, substr(TRIGGERING_EVENT,1,30) as EVENT,   BASE_OBJECT_TYPE, WHEN_CLAUSE, DESCRIPTION, "
        "ACTION_TYPE, TRIGGER_BODY from     dba_triggers where   OWNER not in ('SYS','SYSTEM')and      "
        "TABLE_NAME = 'EMP'",
        rows, 10);
    EXPECT_EQ(s.code, 0) << s.text;
    EXPECT_EQ(One(c, "SELECT Count(*) FROM (\rselect * from emp where deptno = 20)"), "5");
    rows.clear();
    s = c.Query(
        "SELECT table_name,column_name,table_id FROM (\rSELECT table_name,column_name,1 table_id,column_id "
        "FROM all_tab_columns WHERE owner = sys_context('USERENV', 'CURRENT_SCHEMA') and table_name = 'DEPT'"
        "\rUNION (\rSELECT table_name,column_name,2 table_id,column_id FROM all_tab_columns WHERE owner = "
        "'SCOTT' and table_name = 'SALGRADE'))\rORDER BY table_id,column_id",
        rows, 3);
    ASSERT_EQ(s.code, 0) << s.text;
    ASSERT_EQ(rows.size(), 6u);
    EXPECT_EQ(rows[0][1], "DEPTNO");
    EXPECT_EQ(rows[5][1], "HISAL");
    std::vector<std::optional<std::string>> out;
    ASSERT_EQ(c.Exec("create sequence emp_seq start with 8000").code, 0);
    int cur = c.OpenCursor();
    ASSERT_EQ(c.Parse(cur, "begin\r  SELECT emp_seq.NEXTVAL INTO :EMPNO FROM Dual;\rend;").code, 0);
    s = c.Execute(cur, {Str("", 40)}, {}, true, &out);
    ASSERT_EQ(s.code, 0) << s.text;
    EXPECT_EQ(out[0], "8000");
}

TEST_F(EmuSql, TextComparedWithDatesUsesTheSessionFormat) {
    EXPECT_EQ(One(c, "select count(*) from emp where hiredate > '01-JAN-82'"), "3");
    EXPECT_EQ(One(c, "select count(*) from emp where hiredate between '01-JAN-81' and '31-DEC-81'"), "10");
    EXPECT_EQ(One(c, "select ename from emp where hiredate = '17-NOV-81'"), "KING");
    EXPECT_EQ(One(c, "select count(*) from emp where '01-JAN-82' < hiredate"), "3");
    EXPECT_EQ(One(c, "select count(*) from emp e where e.hiredate in ('17-NOV-81', '03-DEC-81')"), "3");
    EXPECT_EQ(One(c, "select count(*) from emp where hiredate > to_date('1982-01-01', 'YYYY-MM-DD')"), "3");
    Status bad = c.Exec("select * from emp where hiredate > 'not a date'");
    EXPECT_EQ(bad.text.rfind("ORA-018", 0), 0u) << bad.text;
}

TEST_F(EmuSql, NullsSortLastAscendingAndFirstDescendingAsInOracle) {
    auto column = [this](const std::string& sql) {
        std::vector<Row> rows;
        Status s = c.Query(sql, rows, 1);
        EXPECT_EQ(s.code, 0) << s.text;
        std::vector<std::string> out;
        for (const Row& r : rows)
            out.push_back(r[0] ? *r[0] : "NULL");
        return out;
    };
    // COMM is set for four of the fourteen employees.
    auto asc = column("select comm from emp order by comm");
    ASSERT_EQ(asc.size(), 14u);
    EXPECT_EQ(asc[0], "0");
    EXPECT_EQ(asc[3], "1400");
    EXPECT_EQ(asc[4], "NULL");
    EXPECT_EQ(asc[13], "NULL");
    auto desc = column("select comm from emp order by comm desc, empno");
    EXPECT_EQ(desc[9], "NULL");
    EXPECT_EQ(desc[10], "1400");
    EXPECT_EQ(desc[13], "0");
    // What the statement says stands; positions and inner queries get the same rule.
    EXPECT_EQ(column("select comm from emp order by comm nulls first")[0], "NULL");
    EXPECT_EQ(column("select comm from emp order by 1 asc")[0], "0");
    EXPECT_EQ(column("select comm from (select comm from emp order by comm desc) where rownum <= 1")[0],
              "NULL");
    EXPECT_EQ(column("select comm from emp where deptno = 30 order by comm for update")[0], "0");
    ASSERT_EQ(c.Rollback().code, 0);
}
