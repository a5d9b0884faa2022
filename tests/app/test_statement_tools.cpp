// DBMS_OUTPUT, the execution plan and a script's statements against vestra-emu, through the Oracle
// components the worksheet uses; and the script's progression and log lines.
#include "app/ExplainPlan.h"
#include "app/History.h"
#include "app/ScriptLog.h"
#include "app/ServerOutput.h"
#include "app/WorksheetController.h"
#include "tests/oracle/OraE2e.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

std::string Joined(const Lines& lines) {
    std::string s;
    for (const std::string& l : lines)
        s += l + "\n";
    return s;
}

bool Holds(const Lines& lines, const std::string& part) {
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::string& l) { return l.find(part) != std::string::npos; });
}

struct TQuietView : IWorksheetView {
    std::string status;
    std::string historyLabel;
    bool cr = false;
    void SetStatus(const std::string& t) override { status = t; }
    void SetCommitRollbackEnabled(bool on) override { cr = on; }
    void SetHistoryLabel(const std::string& t) override { historyLabel = t; }
    bool AskParameters(std::vector<std::pair<std::string, std::string>>&) override { return false; }
    void ShowMessage(const std::string&) override {}
    bool AskYesNo(const std::string&) override { return false; }
    void ResetGrid() override {}
    void SetGridAttached(bool) override {}
};

} // namespace

TEST(ServerOutput, LinesComeInTheOrderTheyWereWrittenOnlyWhileWanted) {
    oratest::TRig rig;
    TServerOutput out(*rig.s);
    auto run = [&](const std::string& sql) { out.Around([&] { rig.Exec(sql); }); };
    // Off: nothing is enabled and nothing fetched.
    run("begin dbms_output.put_line('unseen'); end;");
    EXPECT_TRUE(out.TakeLines().empty());

    out.SetWanted(true);
    run("begin dbms_output.put_line('one'); dbms_output.put('tw'); dbms_output.put('o'); "
        "dbms_output.new_line; dbms_output.put_line(1 + 2); dbms_output.put_line(null); end;");
    EXPECT_EQ(out.TakeLines(), (Lines{"one", "two", "3", ""}));
    EXPECT_TRUE(out.TakeLines().empty()); // taken once

    // Several round trips keep the order; the lines of a block that failed afterwards still come.
    out.BatchLines = 2;
    run("begin dbms_output.put_line('a'); dbms_output.put_line('b'); dbms_output.put_line('c'); "
        "dbms_output.put_line('d'); dbms_output.put_line('e'); end;");
    EXPECT_EQ(out.TakeLines(), (Lines{"a", "b", "c", "d", "e"}));
    EXPECT_THROW(run("begin dbms_output.put_line('before'); insert into nosuchtable values (1); end;"),
                 std::exception);
    EXPECT_EQ(out.TakeLines(), (Lines{"before"}));

    // Long lines come whole; one that no longer fits the joined text of a round trip comes on its own.
    out.BatchLines = 100;
    run("begin dbms_output.put_line(rpad('x', 5000, 'x')); dbms_output.put_line(rpad('y', 30000, 'y')); "
        "dbms_output.put_line('z'); end;");
    const Lines longOnes = out.TakeLines();
    ASSERT_EQ(longOnes.size(), 3u);
    EXPECT_EQ(longOnes[0], std::string(5000, 'x'));
    EXPECT_EQ(longOnes[1], std::string(30000, 'y'));
    EXPECT_EQ(longOnes[2], "z");

    // Off again: the server's buffer is switched off before the next statement.
    out.SetWanted(false);
    run("begin dbms_output.put_line('gone'); end;");
    out.SetWanted(true);
    run("begin null; end;");
    EXPECT_TRUE(out.TakeLines().empty());
}

TEST(ServerOutput, ANewLogonNeedsTheBufferSwitchedOnAgain) {
    oratest::TRig rig;
    TServerOutput out(*rig.s);
    out.SetWanted(true);
    out.Around([&] { rig.Exec("begin dbms_output.put_line('first'); end;"); });
    EXPECT_EQ(out.TakeLines(), Lines{"first"});
    rig.s->Disconnect();
    rig.s->Connect();
    out.SessionChanged();
    out.Around([&] { rig.Exec("begin dbms_output.put_line('second'); end;"); });
    EXPECT_EQ(out.TakeLines(), Lines{"second"});
}

TEST(ServerOutput, GetLineHandsOutOneLineAtATimeAndDisableDropsTheRest) {
    oratest::TRig rig;
    rig.Exec(
        "begin dbms_output.enable(20000); dbms_output.put_line('erste'); dbms_output.put_line('zweite'); "
        "end;");
    TOraSQL sql(rig.s.get());
    sql.SetSQL("begin dbms_output.get_line(:line, :status); end;");
    TParam* line = sql.ParamByName("line");
    line->DataType = ftString;
    line->ParamType = ptOutput;
    line->Size = 100;
    TParam* status = sql.ParamByName("status");
    status->DataType = ftInteger;
    status->ParamType = ptOutput;
    sql.Execute();
    EXPECT_EQ(line->AsString(), "erste");
    EXPECT_EQ(status->AsInteger(), 0);
    rig.Exec("begin dbms_output.disable; end;");
    sql.Execute();
    EXPECT_TRUE(line->IsNull());
    EXPECT_EQ(status->AsInteger(), 1);
    // Calls the emulator does not know are refused with the PL/SQL error.
    EXPECT_THROW(rig.Exec("begin dbms_output.put_line; end;"), std::exception);
    EXPECT_THROW(rig.Exec("begin dbms_output.put_line('a') x; end;"), std::exception);
}

TEST(ServerOutput, JoinedFetchesSplitIntoLines) {
    Lines got;
    const std::string rest = "long";
    AppendFetchedLines("a\n\nb\n", &rest, got);
    AppendFetchedLines("", nullptr, got);
    EXPECT_EQ(got, (Lines{"a", "", "b", "long"}));
}

TEST(ExplainPlan, AJoinShowsTheStatementLineAndBothTables) {
    oratest::TRig rig;
    const Lines plan = ExplainPlan(
        *rig.s, "select e.ename, d.dname from emp e join dept d on d.deptno = e.deptno where e.sal > :s");
    ASSERT_GE(plan.size(), 6u);
    EXPECT_TRUE(Holds(plan, "SELECT STATEMENT"));
    EXPECT_TRUE(Holds(plan, "| Id  | Operation"));
    EXPECT_TRUE(Holds(plan, "EMP")) << Joined(plan);
    EXPECT_TRUE(Holds(plan, "DEPT")) << Joined(plan);
    // A second plan replaces the first.
    const Lines update = ExplainPlan(*rig.s, "update emp set sal = sal where empno = 7369");
    EXPECT_TRUE(Holds(update, "UPDATE STATEMENT"));
    EXPECT_FALSE(Holds(update, "DEPT"));
    // Nothing is changed by a plan: the update did not run.
    EXPECT_EQ(rig.One("select count(*) from emp where sal is null"), "0");
}

TEST(ExplainPlan, AStatementThatCannotBeExplainedRaisesTheServersError) {
    oratest::TRig rig;
    EXPECT_THROW(ExplainPlan(*rig.s, "select * from nosuchtable"), std::exception);
    EXPECT_THROW(ExplainPlan(*rig.s, "commit"), std::exception);
    // Broken EXPLAIN texts are refused, never half read.
    for (const char* bad :
         {"explain", "explain plan", "explain plan set statement_id =", "explain plan for",
          "explain plan into for select 1 from dual", "explain plan for explain plan for select 1 from dual",
          "select * from table(dbms_xplan.display(", "select * from table(sys.dbms_xplan"})
        EXPECT_THROW(rig.Exec(bad), std::exception) << bad;
    // SET STATEMENT_ID, INTO and the arguments of DISPLAY are taken.
    rig.Exec("explain plan set statement_id = 'x' into plan_table for select * from dept");
    EXPECT_EQ(rig.One("select count(*) from table(sys.dbms_xplan.display('PLAN_TABLE', 'x', 'TYPICAL')) "
                      "where plan_table_output like '%DEPT%'"),
              "1");
    // The session stays usable.
    EXPECT_EQ(rig.One("select 1 from dual"), "1");
}

TEST(ScriptStatements, ANonQueryAfterAQueryLeavesTheQuerysRowsAndIsPending) {
    oratest::TRig rig;
    TOraQuery qry(rig.s.get());
    qry.ReadOnly = true;
    qry.SetAutoCommit(false);
    TOraSQL command(rig.s.get());
    command.SetAutoCommit(false);
    THistory history;
    TQuietView view;
    TWorksheetController ws(*rig.s, qry, history, view);
    ws.ScriptCommand = &command;
    for (const std::string sql : {"select ename from emp order by empno", "update emp set sal = sal + 1"}) {
        ASSERT_TRUE(ws.BeginScriptStatement(sql));
        ws.RunScriptStatement();
        ws.EndScriptStatement(sql);
    }
    EXPECT_TRUE(qry.Active());
    EXPECT_EQ(qry.Fields(0)->AsString(), "SMITH");
    EXPECT_TRUE(view.cr);
    EXPECT_EQ(view.status, "14 Datens\xE4tze verarbeitet!");
    EXPECT_EQ(history.LabelText(), "2 / 2");
    // Not committed: another session still sees the old salaries.
    rig.Exec("rollback");
    EXPECT_EQ(rig.One("select sal from emp where empno = 7369"), "800");
}

TEST(ScriptProgress, AnErrorEndsTheScriptUnlessItShouldGoOn) {
    const auto statements = TStatementSplitter::Split("select 1 from dual;\nbad;\nselect 3 from dual;");
    TScriptProgress stop(statements, false);
    ASSERT_TRUE(stop.Next());
    EXPECT_EQ(stop.Record({true, -1, "", 0.126}), "[1/3] select 1 from dual: OK (0,13 s)");
    ASSERT_TRUE(stop.Next());
    EXPECT_EQ(stop.Record({false, -1, "ORA-00900: invalid SQL statement\nmore", 0.01}),
              "[2/3] bad: Fehler: ORA-00900: invalid SQL statement (0,01 s)");
    EXPECT_EQ(stop.Next(), nullptr);
    EXPECT_EQ(stop.Summary(), "Skript nach einem Fehler beendet: 2 von 3 Anweisungen ausgef\xFChrt");

    TScriptProgress go(statements, true);
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(go.Next());
        go.Record({i != 1, i == 2 ? 4 : -1, "ORA-00900", 0.5});
    }
    EXPECT_EQ(go.Next(), nullptr);
    EXPECT_EQ(go.Summary(), "Skript beendet: 3 Anweisungen, 1 Fehler (1,50 s)");
}

TEST(ScriptProgress, StopEndsTheScriptAfterTheRunningStatement) {
    TScriptProgress p(TStatementSplitter::Split("a;\nb;\nc;"), true);
    ASSERT_TRUE(p.Next());
    p.Stop();
    EXPECT_EQ(p.Record({false, -1, "ORA-01013: user requested cancel of current operation", 2}),
              "[1/3] a: Fehler: ORA-01013: user requested cancel of current operation (2,00 s)");
    EXPECT_EQ(p.Next(), nullptr);
    EXPECT_EQ(p.Summary(), "Skript abgebrochen: 1 von 3 Anweisungen ausgef\xFChrt");
    EXPECT_EQ(ScriptLogLine(2, 2, "delete from t\r\nwhere 1 = 1", {true, 3, "", 0}),
              "[2/2] delete from t: 3 Datens\xE4tze verarbeitet! (0,00 s)");
}
