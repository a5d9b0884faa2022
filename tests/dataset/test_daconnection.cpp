// The connection component: connect and disconnect sequences, login prompt, transactions, error routing and
// the clients' notifications.
#include "tests/dataset/testserver/TestComponents.h"

#include <gtest/gtest.h>

using namespace testsrv;

namespace {

// Counts the wait-cursor hooks for the duration of a test.
struct HookCounter {
    int start = 0, stop = 0, notify = 0;
    std::vector<TDAMonitorInfo> monitor;
    HookCounter() {
        DAHooks().StartWait = [this] { ++start; };
        DAHooks().StopWait = [this] { ++stop; };
        DAHooks().CursorNotify = [this] { ++notify; };
        DAHooks().Monitor = [this](const TDAMonitorInfo& i) { monitor.push_back(i); };
    }
    ~HookCounter() { DAHooks() = TDAHooks(); }
};

class ScriptedDialog : public TCustomConnectDialog {
public:
    std::vector<std::string> Passwords; // one attempt per entry
    int Runs = 0;
    std::vector<std::string> Errors;
    bool Execute() override {
        ++Runs;
        for (size_t i = 0; i < Passwords.size(); ++i) {
            Connection()->SetPassword(Passwords[i]);
            try {
                Connection()->PerformConnect(i > 0);
                return true;
            } catch (EDAError& e) {
                Errors.push_back(e.what());
            }
        }
        return false;
    }
};

class ConnFixture : public ::testing::Test {
protected:
    void SetUp() override {
        SeedScott(db);
        conn.ConnectPrompt = false;
        conn.SetUsername("scott");
        conn.SetPassword("tiger");
        conn.SetServer("localhost:1521:bnx");
    }
    TTestDatabase db;
    TTestDAConnection conn{&db};
};

} // namespace

TEST_F(ConnFixture, ConnectSequencePassesLogonDataAndFiresEventsInOrder) {
    HookCounter hooks;
    std::vector<std::string> events;
    conn.BeforeConnect = [&](TCustomDAConnection&) { events.push_back("before"); };
    conn.AfterConnect = [&](TCustomDAConnection& c) {
        events.push_back(std::string("after ") + (c.Connected() ? "connected" : "not connected"));
    };
    conn.Connect();
    EXPECT_TRUE(conn.Connected());
    EXPECT_EQ(events, (std::vector<std::string>{"before", "after connected"}));
    // The layer connection carries AutoCommit and has the error callback (it reaches OnError, tested
    // below), and was connected with the logon data.
    EXPECT_GE(db.Find("conn.SetProp " + std::to_string(prAutoCommit) + " True"), 0);
    EXPECT_GE(db.Find("conn.SetMethodProp " + std::to_string(prOnError)), 0);
    EXPECT_GE(db.Find("conn.Connect scott/tiger@localhost:1521:bnx"), 0);
    EXPECT_EQ(hooks.start, 1);
    EXPECT_EQ(hooks.stop, 1);
    conn.Connect(); // already connected: nothing happens
    EXPECT_EQ(db.Count("conn.Connect scott/tiger@localhost:1521:bnx"), 1);
}

TEST_F(ConnFixture, FailedConnectStaysDisconnectedAndEndsTheWaitCursor) {
    HookCounter hooks;
    db.ValidPassword = "secret";
    bool after = false;
    conn.AfterConnect = [&](TCustomDAConnection&) { after = true; };
    EXPECT_THROW(conn.Connect(), EDAError);
    EXPECT_FALSE(conn.Connected());
    EXPECT_FALSE(after);
    EXPECT_EQ(hooks.start, hooks.stop);
    EXPECT_EQ(conn.Layer()->GetUsername(), "scott"); // the layer keeps the last logon data
    EXPECT_EQ(conn.Layer()->GetPassword(), "tiger");
}

TEST_F(ConnFixture, ChangingLogonDataDisconnectsFirst) {
    conn.Connect();
    conn.SetUsername("scott"); // same value: nothing
    EXPECT_TRUE(conn.Connected());
    conn.SetServer("otherhost:1521:orcl");
    EXPECT_FALSE(conn.Connected());
    EXPECT_EQ(conn.Layer()->GetServer(), "otherhost:1521:orcl");
}

TEST_F(ConnFixture, LoginPromptRunsTheDialogWhichConnectsItself) {
    db.ValidPassword = "right";
    ScriptedDialog dialog;
    dialog.Passwords = {"wrong", "right"};
    int before = 0;
    conn.BeforeConnect = [&](TCustomDAConnection&) { ++before; };
    conn.ConnectPrompt = true;
    conn.SetConnectDialog(&dialog);
    conn.Connect();
    EXPECT_TRUE(conn.Connected());
    EXPECT_EQ(dialog.Runs, 1);
    EXPECT_EQ(dialog.Errors.size(), 1u);
    EXPECT_EQ(before, 1); // BeforeConnect does not run again on a retry
}

TEST_F(ConnFixture, CancelledDialogAbortsSilentlyAtRunTimeAndFailsWhileLoading) {
    ScriptedDialog dialog; // no attempts: the user cancels
    conn.ConnectPrompt = true;
    conn.SetConnectDialog(&dialog);
    EXPECT_THROW(conn.Connect(), EAbort);
    EXPECT_FALSE(conn.Connected());

    conn.BeginLoading();
    conn.SetConnected(true);
    EXPECT_FALSE(conn.Connected()); // only remembered while loading
    try {
        conn.Loaded();
        FAIL() << "no error";
    } catch (EDAError& e) {
        EXPECT_STREQ(e.what(), "Cannot connect to database.");
    }
}

TEST_F(ConnFixture, DefaultDialogFactoryIsUsedWithoutAnOwnDialog) {
    db.ValidPassword = "tiger";
    int made = 0;
    SetDefaultConnectDialogFactory([&]() -> std::unique_ptr<TCustomConnectDialog> {
        ++made;
        auto d = std::make_unique<ScriptedDialog>();
        d->Passwords = {"tiger"};
        return d;
    });
    conn.ConnectPrompt = true;
    conn.Connect();
    SetDefaultConnectDialogFactory(nullptr);
    EXPECT_EQ(made, 1);
    EXPECT_TRUE(conn.Connected());
}

TEST_F(ConnFixture, DestroyedDialogIsForgotten) {
    {
        ScriptedDialog dialog;
        conn.SetConnectDialog(&dialog);
        EXPECT_EQ(conn.ConnectDialog(), &dialog);
    }
    EXPECT_EQ(conn.ConnectDialog(), nullptr);
    conn.ConnectPrompt = true; // no dialog class: the sequence runs without a prompt
    conn.Connect();
    EXPECT_TRUE(conn.Connected());
}

TEST_F(ConnFixture, ConnectedWhileLoadingIsAppliedAfterLoadingWhenTheOptionAllowsIt) {
    conn.BeginLoading();
    conn.SetConnected(true);
    EXPECT_FALSE(conn.Connected());
    conn.Loaded();
    EXPECT_TRUE(conn.Connected());

    TTestDAConnection other(&db);
    other.ConnectPrompt = false;
    other.Options.KeepDesignConnected = false;
    other.BeginLoading();
    other.SetConnected(true);
    other.Loaded();
    EXPECT_FALSE(other.Connected());
}

TEST_F(ConnFixture, TransactionsSwitchLayerAutoCommitAndRefuseASecondStart) {
    EXPECT_THROW(conn.StartTransaction(), EDAError);
    try {
        conn.Commit();
        FAIL();
    } catch (EDAError& e) {
        EXPECT_STREQ(e.what(), "Operation is not allowed when the connection is closed");
    }
    conn.Connect();
    conn.StartTransaction();
    EXPECT_TRUE(conn.InTransaction());
    EXPECT_FALSE(conn.Layer()->GetAutoCommit());
    try {
        conn.StartTransaction();
        FAIL();
    } catch (EDAError& e) {
        EXPECT_STREQ(e.what(), "User transaction is already in progress.");
    }
    conn.Rollback();
    EXPECT_FALSE(conn.InTransaction());
    EXPECT_TRUE(conn.Layer()->GetAutoCommit());

    conn.SetAutoCommit(false);
    conn.StartTransaction();
    conn.Commit();
    EXPECT_FALSE(conn.Layer()->GetAutoCommit()); // the component's own value comes back
}

TEST_F(ConnFixture, DisconnectCommitsAnOpenTransaction) {
    conn.Connect();
    conn.StartTransaction();
    db.Log.clear();
    conn.Disconnect();
    EXPECT_FALSE(conn.Connected());
    EXPECT_FALSE(conn.InTransaction());
    int commit = db.Find("conn.Commit");
    ASSERT_GE(commit, 0);
    EXPECT_GT(db.Find("conn.Disconnect"), commit);
}

TEST_F(ConnFixture, FailedCommitOnDisconnectStillDisconnectsTheLayer) {
    conn.Connect();
    conn.StartTransaction();
    db.FailCommitMessage = "ORA-02091: transaction rolled back";
    bool after = false;
    conn.AfterDisconnect = [&](TCustomDAConnection&) { after = true; };
    EXPECT_THROW(conn.Disconnect(), EDAError);
    EXPECT_FALSE(conn.Connected());
    EXPECT_FALSE(conn.InTransaction());
    EXPECT_TRUE(after);
}

TEST_F(ConnFixture, DisconnectClosesDataSetsAndUnpreparesSqlComponents) {
    TTestDADataSet ds;
    ds.SetConnection(&conn);
    ds.SetSQL("SELECT * FROM EMP");
    ds.Open();
    TCustomDASQL sql;
    sql.SetConnection(&conn);
    sql.SetSQL("UPDATE EMP SET SAL = 1 WHERE EMPNO = 0");
    sql.Prepare();
    EXPECT_TRUE(sql.Prepared());
    std::vector<std::string> order;
    conn.BeforeDisconnect = [&](TCustomDAConnection&) {
        order.push_back(std::string("before, data set ") + (ds.Active() ? "open" : "closed"));
    };
    conn.Disconnect();
    EXPECT_EQ(order, (std::vector<std::string>{"before, data set closed"}));
    EXPECT_FALSE(ds.Active());
    EXPECT_FALSE(ds.Prepared());
    EXPECT_FALSE(sql.Prepared());
    // Using a component again connects again.
    conn.BeforeDisconnect = nullptr;
    ds.Open();
    EXPECT_TRUE(conn.Connected());
    EXPECT_EQ(ds.RecordCount(), 7);
}

namespace {
// A client whose close fails.
class FailingClient : public TDAConnectionClient {
public:
    int ErrorCode = 0;
    int Calls = 0;
    void ConnectChange(bool connected) override {
        if (!connected && Calls++ == 0) throw EDAError("close failed", ErrorCode);
    }
    void ConnectionChanged(TCustomDAConnection*) override {}
};
} // namespace

TEST_F(ConnFixture, ClientErrorsDoNotStopTheDisconnect) {
    conn.Connect();
    FailingClient c;
    conn.RegisterClient(&c);
    bool after = false;
    conn.AfterDisconnect = [&](TCustomDAConnection&) { after = true; };
    EXPECT_THROW(conn.Disconnect(), EDAError);
    EXPECT_FALSE(conn.Connected());
    EXPECT_TRUE(after);
    conn.UnregisterClient(&c);
}

TEST_F(ConnFixture, FatalClientErrorRestartsTheNotification) {
    conn.Connect();
    FailingClient c;
    c.ErrorCode = TTestDAConnection::FatalCode;
    conn.RegisterClient(&c);
    EXPECT_NO_THROW(conn.Disconnect());
    EXPECT_EQ(c.Calls, 2); // notified again after the fatal error
    EXPECT_FALSE(conn.Connected());
    conn.UnregisterClient(&c);
}

TEST_F(ConnFixture, ServerErrorsReachOnErrorAndFatalOnesDisconnect) {
    TCustomDASQL sql;
    sql.SetConnection(&conn);
    std::vector<std::string> seen;
    conn.OnError = [&](TCustomDAConnection& c, EDAError& e, bool& fail) {
        seen.push_back(std::string(e.what()) + (c.Connected() ? " (connected)" : " (disconnected)"));
        EXPECT_TRUE(fail);
    };
    sql.SetSQL("DELETE FROM NOSUCH");
    EXPECT_THROW(sql.Execute(), EDAError);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_NE(seen[0].find("(connected)"), std::string::npos);
    EXPECT_TRUE(conn.Connected());

    // A fatal error: the connection disconnects before OnError runs.
    db.FailOnText = "EMP";
    db.FailMessage = "ORA-03113: end-of-file on communication channel";
    db.FailCode = TTestDAConnection::FatalCode;
    sql.SetSQL("DELETE FROM EMP");
    EXPECT_THROW(sql.Execute(), EDAError);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_NE(seen[1].find("(disconnected)"), std::string::npos);
    EXPECT_FALSE(conn.Connected());
}

TEST_F(ConnFixture, DestroyingTheConnectionDetachesItsClients) {
    TTestDADataSet ds;
    TCustomDASQL sql;
    {
        TTestDAConnection c(&db);
        c.ConnectPrompt = false;
        ds.SetConnection(&c);
        sql.SetConnection(&c);
        ds.SetSQL("SELECT * FROM DEPT");
        ds.Open();
        sql.SetSQL("DELETE FROM DEPT WHERE DEPTNO = 99");
        sql.Execute();
    }
    EXPECT_EQ(ds.Connection(), nullptr);
    EXPECT_EQ(sql.Connection(), nullptr);
    EXPECT_FALSE(ds.Active());
    try {
        ds.Open();
        FAIL();
    } catch (EDAError& e) {
        EXPECT_STREQ(e.what(), "Connection is not defined.");
    }
    EXPECT_THROW(sql.Execute(), EDAError);
}

TEST_F(ConnFixture, MonitorHearsConnectsAndDebugStatements) {
    HookCounter hooks;
    DAHooks().MonitorActive = true;
    conn.Connect();
    ASSERT_GE(hooks.monitor.size(), 2u);
    EXPECT_EQ(hooks.monitor[0].Kind, mkConnect);
    EXPECT_TRUE(hooks.monitor[0].Before);
    EXPECT_FALSE(hooks.monitor[1].Before);

    DAHooks().MonitorActive = false;
    hooks.monitor.clear();
    TCustomDASQL sql;
    sql.Name = "Upd";
    sql.SetConnection(&conn);
    sql.SetSQL("UPDATE EMP SET SAL = :SAL WHERE EMPNO = 7369");
    sql.ParamByName("SAL")->SetAsFloat(900);
    sql.Execute();
    EXPECT_TRUE(hooks.monitor.empty()); // no monitor, no Debug
    sql.Debug = true;
    sql.Execute();
    ASSERT_EQ(hooks.monitor.size(), 2u);
    EXPECT_EQ(hooks.monitor[0].Component, "Upd");
    EXPECT_TRUE(hooks.monitor[0].Debug);
    EXPECT_EQ(hooks.monitor[0].SQL, "UPDATE EMP SET SAL = :SAL WHERE EMPNO = 7369");
    EXPECT_NE(hooks.monitor[0].Params.find("SAL=900"), std::string::npos);
}

TEST_F(ConnFixture, OnLoginStandsInForTheDialog) {
    db.ValidPassword = "fromhandler";
    conn.ConnectPrompt = true;
    conn.OnLogin = [](TCustomDAConnection&, std::string& user, std::string& password) {
        EXPECT_EQ(user, "scott");
        password = "fromhandler";
    };
    conn.Connect();
    EXPECT_TRUE(conn.Connected());
    EXPECT_EQ(conn.Password(), "fromhandler");
}
