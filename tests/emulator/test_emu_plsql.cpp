// PL/SQL blocks as the client layer and the worksheet send them, with bind vectors.
#include "tests/emulator/EmuTestUtil.h"

using namespace emutest;

namespace {
struct EmuPlsql : ::testing::TestWithParam<int> {
    void SetUp() override {
        vemu::EmuOptions o;
        o.protocol = GetParam();
        srv = StartServer(o);
        LogonOk(c, srv->Port());
    }
    Status Block(const std::string& text, const std::vector<Item>& binds,
                 std::vector<std::optional<std::string>>& out, std::vector<uint8_t>* marks = nullptr) {
        int cur = c.OpenCursor();
        Status s = c.Parse(cur, text);
        if (!s.code) s = c.Execute(cur, binds, {}, true, &out, marks);
        return s;
    }
    std::unique_ptr<vemu::EmuServer> srv;
    TestClient c;
};
} // namespace

TEST_P(EmuPlsql, AssignmentReturnsTheValue) {
    std::vector<std::optional<std::string>> out;
    std::vector<uint8_t> marks;
    Status s = Block("begin :x := :a * 2 + 1; end;", {Str("", 40), Num(20)}, out, &marks);
    ASSERT_EQ(s.code, 0) << s.text;
    EXPECT_EQ(s.commandType, 47);
    ASSERT_EQ(marks.size(), 2u);
    EXPECT_EQ(marks[0], 0x10);
    EXPECT_EQ(marks[1], 0x20);
    EXPECT_EQ(out[0], "41");
}

TEST_P(EmuPlsql, ClientLayerBlocks) {
    std::vector<std::optional<std::string>> out;
    Status s = Block(
        "begin SELECT Version INTO :Result FROM SYS.PRODUCT_COMPONENT_VERSION WHERE Upper(Product) LIKE "
        "'%ORACLE%'; end;",
        {Str("", 65)}, out);
    ASSERT_EQ(s.code, 0) << s.text;
    EXPECT_EQ(out[0], GetParam() == 4 ? "7.3.4.0.0" : GetParam() == 5 ? "8.0.6.0.0" : "8.1.7.0.0");
    out.clear();
    std::string nls =
        "declare  cursor NlsParamsCursor is    SELECT * FROM nls_session_parameters;begin  SELECT "
        "Nvl(Lengthb(Chr(65536)), Nvl(Lengthb(Chr(65536)), 1))    INTO :CharLength FROM dual;  for NlsRecord "
        "in "
        "NlsParamsCursor loop    if NlsRecord.parameter = 'NLS_DATE_LANGUAGE' then      :NlsDateLanguage := "
        "NlsRecord.value;    elsif NlsRecord.parameter = 'NLS_DATE_FORMAT' then      :NlsDateFormat := "
        "NlsRecord.value;    end if;  end loop;end;";
    Item len;
    len.type = 3;
    len.size = 4;
    s = Block(nls, {len, Str("", 41), Str("", 41)}, out);
    ASSERT_EQ(s.code, 0) << s.text;
    EXPECT_EQ(TestClient::ToInt(*out[0]), 1);
    EXPECT_EQ(out[1], "AMERICAN");
    EXPECT_EQ(out[2], "DD-MON-RR");
    out.clear();
    s = Block("begin  :result := sys.dbms_transaction.local_transaction_id(true); end;", {Str("", 41)}, out);
    ASSERT_EQ(s.code, 0) << s.text;
    ASSERT_TRUE(out[0].has_value());
    std::string id = *out[0];
    out.clear();
    s = Block("begin  :result := sys.dbms_transaction.local_transaction_id; end;", {Str("", 41)}, out);
    EXPECT_EQ(out[0], id);
    ASSERT_EQ(c.Commit().code, 0);
    out.clear();
    s = Block("begin  :result := sys.dbms_transaction.local_transaction_id; end;", {Str("", 41)}, out);
    EXPECT_FALSE(out[0].has_value());
}

TEST_P(EmuPlsql, ReturningIntoAndCursorVariables) {
    std::vector<std::optional<std::string>> out;
    Status s =
        Block("begin UPDATE emp SET sal = sal + :d WHERE empno = 7369 RETURNING sal, ename INTO :s, :n; end;",
              {Num(100), Str("", 22), Str("", 20)}, out);
    ASSERT_EQ(s.code, 0) << s.text;
    EXPECT_EQ(s.rows, 1);
    EXPECT_EQ(out[1], "900");
    EXPECT_EQ(out[2], "SMITH");
    ASSERT_EQ(c.Rollback().code, 0);
    out.clear();
    Item cur;
    cur.type = 102;
    cur.size = 4;
    s = Block("begin open :c for select ename from emp where deptno = :d order by ename; end;",
              {cur, Num(10)}, out);
    ASSERT_EQ(s.code, 0) << s.text;
    ASSERT_TRUE(out[0].has_value());
    ASSERT_EQ(out[0]->size(), 2u);
    EXPECT_EQ((*out[0])[0], 1);
    int id = static_cast<unsigned char>((*out[0])[1]);
    std::vector<Column> cols;
    ASSERT_EQ(c.Describe(id, "", cols).code, 0);
    ASSERT_EQ(cols.size(), 1u);
    EXPECT_EQ(cols[0].name, "ENAME");
    std::vector<Row> rows;
    Item def = Str("", 11);
    s = c.Fetch(id, {def}, 10, rows);
    EXPECT_EQ(s.code, 1403);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0][0], "CLARK");
}

TEST_P(EmuPlsql, LobsThroughDbmsLob) {
    ASSERT_EQ(c.Exec("create table docs (id number primary key, body clob)").code, 0);
    ASSERT_EQ(c.Exec("insert into docs values (1, 'Hello world')").code, 0);
    std::vector<std::optional<std::string>> out;
    Item loc;
    loc.type = 112;
    loc.size = 4;
    Status s = Block("begin update docs set body = empty_clob() where id = 1 returning body into :b; end;",
                     {loc}, out);
    ASSERT_EQ(s.code, 0) << s.text;
    ASSERT_TRUE(out[0].has_value());
    Item locator = loc;
    locator.value = *out[0];
    Item text;
    text.type = 96;
    text.size = 5;
    text.value = "Vestr";
    out.clear();
    s = Block("begin dbms_lob.write(:1,:2,:3,:4); end;", {locator, Num(5), Num(1), text}, out);
    ASSERT_EQ(s.code, 0) << s.text;
    Item len;
    len.type = 3;
    len.size = 4;
    out.clear();
    s = Block("begin :1 := dbms_lob.getLength(:2); end;", {len, locator}, out);
    ASSERT_EQ(s.code, 0) << s.text;
    EXPECT_EQ(TestClient::ToInt(*out[0]), 5);
    Item buf;
    buf.type = 96;
    buf.size = 100;
    out.clear();
    s = Block("begin dbms_lob.read(:1,:2,:3,:4); end;", {locator, Num(100), Num(2), buf}, out);
    ASSERT_EQ(s.code, 0) << s.text;
    EXPECT_EQ(TestClient::ToInt(*out[1]), 4);
    EXPECT_EQ(out[3], "estr");
    out.clear();
    s = Block("begin dbms_lob.read(:1,:2,:3,:4); end;", {locator, Num(100), Num(50), buf}, out);
    EXPECT_EQ(s.code, 1403);
    out.clear();
    ASSERT_EQ(Block("begin dbms_lob.trim(:1,:2); end;", {locator, Num(2)}, out).code, 0);
    ASSERT_EQ(c.Commit().code, 0);
    EXPECT_EQ(One(c, "select body from docs where id = 1"), "Ve");
}

TEST_P(EmuPlsql, AnythingElseIsPls) {
    std::vector<std::optional<std::string>> out;
    Status s = Block("begin for i in 1..3 loop null; end loop; end;", {}, out);
    EXPECT_EQ(s.code, 6550);
    EXPECT_EQ(s.text.rfind("ORA-06550: line 1, column 7:", 0), 0u) << s.text;
}

INSTANTIATE_TEST_SUITE_P(Protocols, EmuPlsql, ::testing::Values(4, 5, 6));

TEST(EmuLobs, SelectedLobsAreLocatorsOfTheirRows) {
    auto srv = StartServer();
    TestClient c;
    LogonOk(c, srv->Port());
    ASSERT_EQ(c.Exec("create table docs (id number, body clob)").code, 0);
    ASSERT_EQ(c.Exec("insert into docs values (1, 'abc')").code, 0);
    ASSERT_EQ(c.Commit().code, 0);
    int cur = c.OpenCursor();
    ASSERT_EQ(c.Parse(cur, "select id, body from docs where id = 1 for update").code, 0);
    ASSERT_EQ(c.Execute(cur, {}).code, 0);
    std::vector<Column> cols;
    ASSERT_EQ(c.Describe(cur, "", cols).code, 0);
    ASSERT_EQ(cols.size(), 2u); // the row's rowid travels out of sight
    EXPECT_EQ(cols[1].type, 112);
    std::vector<Row> rows;
    Item def;
    def.type = 112;
    def.size = 4;
    EXPECT_EQ(c.Fetch(cur, {Num(0), def}, 10, rows).code, 1403);
    ASSERT_EQ(rows.size(), 1u);
    ASSERT_TRUE(rows[0][1].has_value());
    Item loc = def;
    loc.value = *rows[0][1];
    Item text;
    text.type = 96;
    text.size = 3;
    text.value = "xyz";
    int b = c.OpenCursor();
    ASSERT_EQ(c.Parse(b, "begin dbms_lob.write(:1,:2,:3,:4); end;").code, 0);
    std::vector<std::optional<std::string>> out;
    ASSERT_EQ(c.Execute(b, {loc, Num(3), Num(4), text}, {}, true, &out).code, 0);
    ASSERT_EQ(c.Commit().code, 0);
    EXPECT_EQ(One(c, "select body from docs"), "abcxyz");
}
