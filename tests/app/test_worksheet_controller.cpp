// The worksheet's Execute sequence against the emulator, through a view that records what the window would
// show.
#include "app/History.h"
#include "app/WorksheetController.h"
#include "dataset/DBErrors.h"
#include "tests/oracle/OraE2e.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

namespace {

struct TRecordingView : IWorksheetView {
    std::vector<std::string> status;
    bool crEnabled = false;
    int crCalls = 0;
    std::string historyLabel = "0 / 0";
    std::vector<std::string> messages;
    std::vector<std::string> questions;
    std::vector<std::vector<std::pair<std::string, std::string>>> asked;
    // Scripted answers: parameter values (nullopt-like: cancel when the list is empty), yes/no.
    std::deque<std::vector<std::string>> paramAnswers;
    std::deque<bool> yesNo;
    std::deque<TAnswer> yesNoCancel;
    int resets = 0;
    std::vector<bool> attached;

    void SetStatus(const std::string& t) override { status.push_back(t); }
    void SetCommitRollbackEnabled(bool on) override {
        crEnabled = on;
        ++crCalls;
    }
    void SetHistoryLabel(const std::string& t) override { historyLabel = t; }
    bool AskParameters(std::vector<std::pair<std::string, std::string>>& nv) override {
        asked.push_back(nv);
        if (paramAnswers.empty()) return false;
        const std::vector<std::string> values = paramAnswers.front();
        paramAnswers.pop_front();
        for (size_t i = 0; i < nv.size() && i < values.size(); ++i)
            nv[i].second = values[i];
        return true;
    }
    void ShowMessage(const std::string& t) override { messages.push_back(t); }
    bool AskYesNo(const std::string& q) override {
        questions.push_back(q);
        if (yesNo.empty()) return false;
        const bool a = yesNo.front();
        yesNo.pop_front();
        return a;
    }
    TAnswer AskYesNoCancel(const std::string& q) override {
        questions.push_back(q);
        if (yesNoCancel.empty()) return Cancel;
        const TAnswer a = yesNoCancel.front();
        yesNoCancel.pop_front();
        return a;
    }
    void ResetGrid() override { ++resets; }
    void SetGridAttached(bool on) override { attached.push_back(on); }
    std::string LastStatus() const { return status.empty() ? std::string() : status.back(); }
};

class WorksheetController : public ::testing::Test {
protected:
    oratest::TRig rig;
    TOraQuery qry{rig.s.get()};
    THistory history;
    TRecordingView view;
    TWorksheetController ws{*rig.s, qry, history, view};
    void SetUp() override {
        qry.ReadOnly = true;
        qry.SetAutoCommit(false);
    }
    // The value another session sees.
    std::string SalOf(int empno) {
        auto other = oratest::MakeSession(rig.emu);
        other->Connect();
        return rig.One("select sal from emp where empno = " + std::to_string(empno), other.get());
    }
};

TEST_F(WorksheetController, SelectReportsOkAndRecordsTheEditorText) {
    ASSERT_TRUE(ws.Execute("select * from emp"));
    EXPECT_EQ(view.status, (std::vector<std::string>{"...", "OK"}));
    EXPECT_TRUE(qry.Active());
    EXPECT_EQ(qry.RecordCount(), 14);
    EXPECT_FALSE(view.crEnabled);
    EXPECT_EQ(view.crCalls, 0); // a result leaves C and R alone
    EXPECT_EQ(view.resets, 1);
    EXPECT_EQ(view.attached, (std::vector<bool>{false, true}));
    EXPECT_EQ(view.historyLabel, "1 / 1");
    EXPECT_EQ(ws.LastRowsAffected(), -1);

    // Three lines become one entry with "§§" for each line break; no break is added after the last line.
    ASSERT_TRUE(ws.Execute("select ename\r\nfrom emp\r\nwhere deptno = 10"));
    EXPECT_EQ(history.Entries().back(), "select ename\xA7\xA7"
                                        "from emp\xA7\xA7where deptno = 10");
    EXPECT_EQ(view.historyLabel, "2 / 2");
}

TEST_F(WorksheetController, DmlEnablesCommitAndRollbackUntilOneOfThemRuns) {
    ASSERT_TRUE(ws.Execute("update emp set sal = sal + 1 where deptno = 10"));
    EXPECT_EQ(view.LastStatus(), "3 Datens\xE4tze verarbeitet!");
    EXPECT_TRUE(view.crEnabled);
    EXPECT_TRUE(ws.PendingChanges());
    EXPECT_FALSE(qry.Active());

    // A question answered No changes nothing.
    view.yesNo = {false};
    ws.Rollback();
    EXPECT_EQ(view.questions.back(), "ROLLBACK ausf\xFChren?");
    EXPECT_TRUE(view.crEnabled);

    view.yesNo = {true};
    ws.Rollback();
    EXPECT_FALSE(view.crEnabled);
    EXPECT_EQ(view.LastStatus(), "ROLLBACK ausgef\xFChrt!");
    EXPECT_EQ(SalOf(7839), "5000"); // KING's salary as before
    EXPECT_EQ(history.Count(), 1);  // commit and rollback leave the history alone

    ASSERT_TRUE(ws.Execute("update emp set sal = 5001 where empno = 7839"));
    EXPECT_EQ(view.LastStatus(), "1 Datens\xE4tze verarbeitet!");
    view.yesNo = {true};
    ws.Commit();
    EXPECT_EQ(view.questions.back(), "COMMIT ausf\xFChren?");
    EXPECT_EQ(view.LastStatus(), "COMMIT ausgef\xFChrt!");
    EXPECT_FALSE(view.crEnabled);
    EXPECT_EQ(SalOf(7839), "5001");

    // DDL reports its count of 0 and enables the buttons as well.
    ASSERT_TRUE(ws.Execute("create table t_ws (n number)"));
    EXPECT_EQ(view.LastStatus(), "0 Datens\xE4tze verarbeitet!");
    EXPECT_TRUE(view.crEnabled);
}

TEST_F(WorksheetController, ParametersAskedInOrderAndCancelLeavesEverythingAsItWas) {
    view.paramAnswers = {{"20"}};
    ASSERT_TRUE(ws.Execute("select dname from dept where deptno = :d"));
    ASSERT_EQ(view.asked.size(), 1u);
    EXPECT_EQ(view.asked[0], (std::vector<std::pair<std::string, std::string>>{{"d", ""}}));
    EXPECT_EQ(qry.Fields(0)->AsString(), "RESEARCH");
    EXPECT_EQ(view.historyLabel, "1 / 1");

    // Cancel: "..." stays, nothing runs, nothing is recorded, the grid is attached again.
    view.status.clear();
    view.attached.clear();
    EXPECT_FALSE(ws.Execute("select ename from emp where deptno = :dep and job = :job"));
    EXPECT_EQ(view.asked.back(),
              (std::vector<std::pair<std::string, std::string>>{{"dep", ""}, {"job", ""}}));
    EXPECT_EQ(view.status, (std::vector<std::string>{"..."}));
    EXPECT_EQ(view.attached, (std::vector<bool>{false, true}));
    EXPECT_EQ(history.Count(), 1);
    EXPECT_EQ(view.historyLabel, "1 / 1");
}

TEST_F(WorksheetController, WorksheetCommandsRunTheirCatalogQueries) {
    ASSERT_TRUE(ws.Execute("  desc DEPT \r\n"));
    EXPECT_EQ(qry.Fields(0)->FieldName(), "SPALTE");
    EXPECT_EQ(qry.RecordCount(), 3);
    // The editor's text is what the history keeps, not the catalog query.
    EXPECT_EQ(history.Entries().back(), "  desc DEPT \xA7\xA7");

    ASSERT_TRUE(ws.Execute("show parameter db_name"));
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0], "SELECT * from v$parameter where NAME = 'db_name'\r\n");
    EXPECT_EQ(view.LastStatus(), "OK");

    ASSERT_TRUE(ws.Execute("show user"));
    EXPECT_EQ(qry.Fields(0)->FieldName(), "SID");
}

TEST_F(WorksheetController, AFailingStatementKeepsTheBusyTextTheButtonsAndTheHistory) {
    ASSERT_TRUE(ws.Execute("update emp set sal = sal where deptno = 10"));
    view.status.clear();
    EXPECT_THROW(ws.Execute("select * from no_such_table"), EOraError);
    EXPECT_EQ(view.status, (std::vector<std::string>{"..."}));
    EXPECT_TRUE(view.crEnabled);
    EXPECT_EQ(history.Count(), 1);
    // The empty editor goes to the layer, which reports it.
    EXPECT_ANY_THROW(ws.Execute(""));
    EXPECT_EQ(history.Count(), 1);
}

TEST_F(WorksheetController, RefreshRerunsTheOpenStatementAndFailsOnAClosedResult) {
    EXPECT_THROW(ws.Refresh(), EDatabaseError);
    ASSERT_TRUE(ws.Execute("select * from dept order by deptno"));
    rig.Exec("insert into dept values (50, 'X', 'Y')");
    rig.Exec("commit");
    ws.Refresh();
    EXPECT_EQ(qry.RecordCount(), 5);
    EXPECT_EQ(history.Count(), 1);
}

TEST_F(WorksheetController, PendingChangesAreSettledAsTheUserChooses) {
    // Nothing pending: no question.
    EXPECT_TRUE(ws.SettlePendingChanges());
    EXPECT_TRUE(view.questions.empty());

    ASSERT_TRUE(ws.Execute("update emp set sal = 1 where empno = 7839"));
    view.yesNoCancel = {IWorksheetView::Cancel};
    EXPECT_FALSE(ws.SettlePendingChanges());
    EXPECT_EQ(view.questions.back(), kAskPendingChanges);
    EXPECT_TRUE(ws.PendingChanges());

    view.yesNoCancel = {IWorksheetView::No};
    EXPECT_TRUE(ws.SettlePendingChanges());
    EXPECT_FALSE(ws.PendingChanges());
    EXPECT_EQ(SalOf(7839), "5000");

    ASSERT_TRUE(ws.Execute("update emp set sal = 2 where empno = 7839"));
    view.yesNoCancel = {IWorksheetView::Yes};
    EXPECT_TRUE(ws.SettlePendingChanges());
    EXPECT_EQ(SalOf(7839), "2");
}

TEST_F(WorksheetController, EndingTheSessionNeverCommitsImplicitly) {
    ASSERT_TRUE(ws.Execute("update emp set sal = 3 where empno = 7839"));
    ws.EndSession();
    rig.s->Disconnect();
    EXPECT_EQ(SalOf(7839), "5000");
}

TEST_F(WorksheetController, LogOnAgainWithoutADialogReconnectsAndLabelsTheConnection) {
    EXPECT_EQ(ws.ConnectionLabel(), "scott@" + rig.emu.Server() + " ");
    ASSERT_TRUE(ws.Execute("update emp set sal = 4 where empno = 7839"));
    view.yesNoCancel = {IWorksheetView::Cancel};
    EXPECT_FALSE(ws.LogOnAgain());
    EXPECT_TRUE(rig.s->Connected());
    view.yesNoCancel = {IWorksheetView::No};
    EXPECT_TRUE(ws.LogOnAgain());
    EXPECT_TRUE(rig.s->Connected());
    EXPECT_EQ(SalOf(7839), "5000");
}

} // namespace
