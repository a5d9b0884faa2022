// vestra-sql run as a program against an in-process emulator.
#include "app/History.h"
#include "emulator/EmuServer.h"
#include "tests/oranet/TnsTestDir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/wait.h>

namespace {

struct TRun {
    int status = -1;
    std::string out, err;
};

class VestraSql : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        emu_ = new vemu::EmuServer(vemu::EmuOptions{});
        emu_->Start();
    }
    static void TearDownTestSuite() {
        delete emu_;
        emu_ = nullptr;
    }

    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("vestra-sql-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::string File(const char* name) const { return (dir_ / name).string(); }
    static std::string Connect() { return "scott/tiger@127.0.0.1:" + std::to_string(emu_->Port()) + ":bnx"; }

    static std::string Quote(const std::string& s) {
        std::string q = "'";
        for (char c : s)
            q += c == '\'' ? std::string("'\\''") : std::string(1, c);
        return q + "'";
    }

    // Runs vestra-sql with the arguments (each quoted for the shell) and the given standard input.
    TRun Run(const std::vector<std::string>& args, const std::string& input = "", bool connect = true) {
        // build/tests/test_vestra_sql -> build/bin/vestra-sql
        const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe");
        std::string cmd = Quote((self.parent_path().parent_path() / "bin" / "vestra-sql").string());
        for (const auto& a : args)
            cmd += " " + Quote(a);
        if (connect) cmd += " " + Quote(Connect());
        WriteWholeFile(File("stdin"), input);
        cmd += " < " + Quote(File("stdin")) + " 2> " + Quote(File("stderr"));
        TRun r;
        FILE* p = ::popen(cmd.c_str(), "r");
        if (!p) return r;
        char buf[4096];
        for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;)
            r.out.append(buf, n);
        const int st = ::pclose(p);
        r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
        r.err = ReadWholeFile(File("stderr"));
        return r;
    }

    static vemu::EmuServer* emu_;
    std::filesystem::path dir_;
};

vemu::EmuServer* VestraSql::emu_ = nullptr;

const char kDeptTsv[] = "DEPTNO\tDNAME\r\n10\tACCOUNTING\r\n20\tRESEARCH\r\n30\tSALES\r\n40\tOPERATIONS\r\n";

} // namespace

TEST_F(VestraSql, AQueryInEveryFormat) {
    const std::string q = "select deptno, dname from dept order by deptno";
    TRun r = Run({"-e", q, "--format", "tsv"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, kDeptTsv);

    r = Run({"-e", q + ";", "--format", "export", "--sep", ";;"});
    EXPECT_EQ(r.out, "DEPTNO;;DNAME\r\n10;;ACCOUNTING\r\n20;;RESEARCH\r\n30;;SALES\r\n40;;OPERATIONS\r\n");

    r = Run({"-e", "select dname, deptno from dept where deptno <= 20 order by deptno", "--format", "export",
             "--sep", "0D0A", "--hex", "--no-header"});
    EXPECT_EQ(r.out, "ACCOUNTING\r\n10\r\nRESEARCH\r\n20\r\n");

    r = Run({"-e", q, "--format", "table"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "DEPTNO | DNAME\n"
                     "------ | ----------\n"
                     "10     | ACCOUNTING\n"
                     "20     | RESEARCH\n"
                     "30     | SALES\n"
                     "40     | OPERATIONS\n"
                     "(4 Zeilen)\n");

    // Without a terminal the default is the tab-separated text.
    r = Run({"-e", q});
    EXPECT_EQ(r.out, kDeptTsv);
}

TEST_F(VestraSql, WorksheetCommandsAndParameters) {
    // The object name is used exactly as typed: the catalog keeps upper-case names.
    TRun r = Run({"-e", "desc DEPT", "--format", "tsv"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, r.out.find("\r\n")), "SPALTE\tDATENTYP\tLAENGE\tNULLZUGELASSEN\tDEFAULTWERT");
    EXPECT_NE(r.out.find("DNAME\tVARCHAR2\t14\tY\t"), std::string::npos) << r.out;

    r = Run({"-e", "show parameter db_name", "--format", "tsv"});
    EXPECT_NE(r.err.find("SELECT * from v$parameter where NAME = 'db_name'"), std::string::npos) << r.err;

    r = Run({"-e", "select dname from dept where deptno = :d", "--param", "D=20", "--format", "tsv"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "DNAME\r\nRESEARCH\r\n");

    // No value and no terminal to ask on.
    r = Run({"-e", "select dname from dept where deptno = :d"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Parameter d"), std::string::npos) << r.err;
}

TEST_F(VestraSql, DmlStatusTextsExitCodesAndRollbackAtExit) {
    TRun r = Run({"-e", "update emp set sal = sal where deptno = 10"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "3 Datens\xC3\xA4tze verarbeitet!\n");
    EXPECT_NE(r.err.find("zur\xC3\xBC"
                         "ckgerollt"),
              std::string::npos)
        << r.err;

    // Uncommitted changes do not survive; committed ones do.
    r = Run({"-e", "insert into dept values (60, 'TEMP', 'X')"});
    EXPECT_EQ(r.out, "1 Datens\xC3\xA4tze verarbeitet!\n");
    r = Run({"-e", "select count(*) from dept where deptno = 60"});
    EXPECT_EQ(r.out, "COUNT(*)\r\n0\r\n");
    r = Run({"--commit", "-e", "insert into dept values (61, 'KEEP', 'X')"});
    EXPECT_EQ(r.err.find("zur\xC3\xBC"
                         "ckgerollt"),
              std::string::npos)
        << r.err;
    r = Run({"-e", "select dname from dept where deptno = 61", "-e", "delete from dept where deptno = 61",
             "-e", "commit"});
    EXPECT_EQ(r.out, "DNAME\r\nKEEP\r\n1 Datens\xC3\xA4tze verarbeitet!\n0 Datens\xC3\xA4tze verarbeitet!\n");
}

TEST_F(VestraSql, AFailingStatementStopsUnlessToldToContinue) {
    TRun r = Run({"-e", "select * from no_such_table", "-e", "select 1 from dual"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("ORA-00942"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");

    r = Run({"--continue", "-e", "select * from no_such_table", "-e", "select 1 as one from dual"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "ONE\r\n1\r\n");

    r = Run({"--bogus"}, "", false);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("usage"), std::string::npos);
}

TEST_F(VestraSql, ScriptsWithBlocksAndStandardInput) {
    WriteWholeFile(File("s.sql"), "select 1 as a from dual;\r\n"
                                  "begin\r\n  update dept set loc = loc where deptno = 10;\r\nend;\r\n/\r\n"
                                  "select 2 as b\r\n  from dual;\r\n");
    TRun r = Run({"-f", File("s.sql")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("A\r\n1\r\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Datens\xC3\xA4tze verarbeitet!\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("B\r\n2\r\n"), std::string::npos) << r.out;

    r = Run({}, "select 3 as c from dual;\nselect 4 as d\nfrom dual\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "C\r\n3\r\nD\r\n4\r\n");
}

TEST_F(VestraSql, TextIsUtf8OnTheTerminalAndWindows1252InFiles) {
    TRun r =
        Run({"-e", "insert into dept values (70, 'M\xC3\xBCller', 'K\xC3\xB6ln')", "-e",
             "select dname, loc from dept where deptno = 70", "--format", "tsv", "--out", File("o.tsv")});
    EXPECT_EQ(r.status, 0) << r.err;
    // The file holds the result alone; status texts stay on the terminal.
    EXPECT_EQ(ReadWholeFile(File("o.tsv")), "DNAME\tLOC\r\nM\xFCller\tK\xF6ln\r\n");
    EXPECT_EQ(r.out, "1 Datens\xC3\xA4tze verarbeitet!\n");

    r = Run({"-e",
             "select 'Gr\xC3\xBC\xC3\x9F"
             "e' as g from dual",
             "--format", "tsv"});
    EXPECT_EQ(r.out, "G\r\nGr\xC3\xBC\xC3\x9F"
                     "e\r\n");
}

// Over the current protocol the server's text is Unicode: what Windows-1252 lacks shows as '?', and standard
// error says how many values that touched.
TEST_F(VestraSql, ValuesShownWithSubstitutesAreCounted) {
    TRun r = Run({"-e", "select unistr('\\03A9') as a, unistr('\\2200 \\00E4') as b, 'x' as c from dual",
                  "--format", "tsv"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "A\tB\tC\r\n?\t? \xC3\xA4\tx\r\n");
    EXPECT_NE(r.err.find("Hinweis: 2 Werte mit Zeichen au\xC3\x9F"
                         "erhalb von Windows-1252 (als ? angezeigt)"),
              std::string::npos)
        << r.err;
    r = Run({"-e", "select dname from dept where deptno = 10", "--format", "tsv"});
    EXPECT_EQ(r.err.find("Hinweis"), std::string::npos) << r.err;
}

TEST_F(VestraSql, FormatSqlPrintsTheLayoutOnly) {
    TRun r = Run({"--format-sql"}, "select ename as name, sal from emp where deptno = 10;", false);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out,
              "SELECT\r\n   ename AS name,\r\n   sal\r\nFROM\r\n   emp\r\nWHERE\r\n   deptno = 10\r\n");
    r = Run({"--format-sql"}, "distinct a", false);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Listenindex"), std::string::npos);
}

TEST_F(VestraSql, EveryServerStringFormAndATnsnamesAlias) {
    const std::string port = std::to_string(emu_->Port());
    WriteWholeFile(File("tnsnames.ora"), "# test aliases\r\n"
                                         "EMU.WORLD, EMU2 =\r\n"
                                         "  (DESCRIPTION =\r\n"
                                         "    (ADDRESS = (PROTOCOL = TCP)(HOST = 127.0.0.1)(PORT = " +
                                             port +
                                             "))\r\n"
                                             "    (CONNECT_DATA = (SERVICE_NAME = bnx)))\r\n");
    vtest::TScopedEnv admin("TNS_ADMIN", dir_.string());
    const std::string q = "select dname from dept where deptno = 10";
    for (const std::string& server : {std::string("emu"), std::string("Emu2"), "127.0.0.1:" + port + "/BNX",
                                      "(DESCRIPTION=(ADDRESS=(PROTOCOL=TCP)(HOST=127.0.0.1)(PORT=" + port +
                                          "))(CONNECT_DATA=(SID=bnx)))"}) {
        TRun r = Run({"-e", q, "--format", "tsv", "scott/tiger@" + server}, "", false);
        EXPECT_EQ(r.status, 0) << server << ": " << r.err;
        EXPECT_EQ(r.out, "DNAME\r\nACCOUNTING\r\n") << server;
    }
    // A wrong string is named in the message (UTF-8 on the terminal), and nothing runs.
    TRun r = Run({"-e", q, "scott/tiger@127.0.0.1:" + port + "/"}, "", false);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("Dienstname fehlt in \xE2\x80\x9E"
                         "127.0.0.1:" +
                         port + "/\xE2\x80\x9C"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(r.out, "");
    r = Run({"-e", q, "scott/tiger@127.0.0.1:" + port + "/nosuch"}, "", false);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("ORA-12514"), std::string::npos) << r.err;
}

namespace {

// "ā" (U+0101) has no Windows-1252 byte; "ä" has (0xE4).
TEST_F(VestraSql, CharactersWindows1252LacksAreRefusedFromEveryInput) {
    TRun r = Run({"-e", "select 'x\xC4\x81' as v from dual", "--format", "tsv"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "") << "the statement ran with the character changed";
    EXPECT_NE(r.err.find("U+0101"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("nicht ausgef\xC3\xBChrt"), std::string::npos) << r.err;

    // Standard input: the refused line's statement is dropped, the error names the input's line.
    r = Run({"--format", "tsv"}, "select 1 as a from dual;\nselect 'x\xC4\x81'\nas v from dual;\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "A\r\n1\r\n");
    EXPECT_NE(r.err.find("Zeile 2"), std::string::npos) << r.err;
    // With --continue the statements after it still run.
    r = Run({"--format", "tsv", "--continue"},
            "select 'x\xC4\x81' as v from dual;\nselect 2 as b from dual;\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "B\r\n2\r\n");

    // A parameter value.
    r = Run({"-e", "select dname from dept where dname = :d", "--param", "d=S\xC4\x81LES"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("U+0101"), std::string::npos) << r.err;

    // Windows-1252 characters pass as before.
    r = Run({"-e", "select 'x\xC3\xA4' as v from dual", "--format", "tsv"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "V\r\nx\xC3\xA4\r\n");
}

TEST_F(VestraSql, AUtf8ScriptIsDetectedOrNamedWithEncoding) {
    const std::string query = "select 'x\xC3\xA4' as v, length('x\xC3\xA4') as n from dual;\n";
    WriteWholeFile(File("utf8.sql"), query);
    TRun r = Run({"-f", File("utf8.sql"), "--format", "tsv"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "V\tN\r\nx\xC3\xA4\t2\r\n") << "a UTF-8 script was read as Windows-1252";

    WriteWholeFile(File("bom.sql"), "\xEF\xBB\xBFselect 'x' as v from dual;\n");
    r = Run({"-f", File("bom.sql"), "--format", "tsv"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "V\r\nx\r\n");

    // A Windows-1252 script stays one.
    WriteWholeFile(File("ansi.sql"), "select 'x\xE4' as v, length('x\xE4') as n from dual;\n");
    r = Run({"-f", File("ansi.sql"), "--format", "tsv"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "V\tN\r\nx\xC3\xA4\t2\r\n");

    // --encoding overrides the guess; a script it cannot read is refused whole.
    r = Run({"-f", File("utf8.sql"), "--format", "tsv", "--encoding", "cp1252"});
    EXPECT_EQ(r.out, "V\tN\r\nx\xC3\x83\xC2\xA4\t3\r\n");
    r = Run({"-f", File("ansi.sql"), "--encoding", "utf-8"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("UTF-8"), std::string::npos) << r.err;
    WriteWholeFile(File("lacks.sql"), "select 1 from dual;\nselect 'x\xC5\x91' from dual;\n");
    r = Run({"-f", File("lacks.sql")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "") << "a part of a refused script ran";
    EXPECT_NE(r.err.find("Zeile 2"), std::string::npos) << r.err;
    r = Run({"-f", File("utf8.sql"), "--encoding", "latin9"});
    EXPECT_EQ(r.status, 2);
}

} // namespace
