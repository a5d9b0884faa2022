// The connect dialog's logic against the emulator, with a scripted form and the in-memory registry stand-in.
#include "connect/ConnectDialog.h"
#include "dataset/DAHooks.h"
#include "ocicall/OraCall.h"
#include "oracle/OraError.h"
#include "tests/oracle/OraE2e.h"
#include "tests/oracle/SilentListener.h"
#include "tests/oranet/TnsTestDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <string>
#include <vector>

namespace {

struct TAttempt {
    std::string user, password, server;
    bool usernameHasFocus = false;
};

// A form that fills in its inputs from a script and presses Connect until it succeeds, the retries are used
// up or the script ends (Cancel).
struct TScriptedForm {
    std::deque<TAttempt> attempts;
    std::vector<std::string> errors;
    std::vector<TConnectFocus> focus;
    std::vector<std::string> shownItems;
    std::string shownUser, shownPassword, shownServer;
    TConnectFocus initialFocus = cfNone;
    int runs = 0;

    bool Run(TConnectDialog& d) {
        ++runs;
        TConnectFormLogic logic(d);
        shownItems = logic.ServerItems;
        shownUser = logic.Username;
        shownPassword = logic.Password;
        shownServer = logic.Server;
        initialFocus = logic.InitialFocus;
        while (!attempts.empty()) {
            TAttempt a = attempts.front();
            attempts.pop_front();
            try {
                logic.Connect(a.user, a.password, a.server, a.usernameHasFocus);
                return true;
            } catch (const EDAError& e) {
                errors.push_back(e.what());
                focus.push_back(logic.ErrorFocus);
                if (logic.GiveUp()) return false;
            }
        }
        return false;
    }
};

class ConnectDialog : public ::testing::Test {
protected:
    oratest::TEmu emu;
    std::unique_ptr<TOraSession> s = oratest::MakeSession(emu, "system", "manager");
    TMemorySettings reg;
    TScriptedForm form;
    TConnectDialog dlg;
    const std::string appKey = "\\SOFTWARE\\Tessaron\\Nodal\\Connect\\Brennic";
    const std::string histKey = "\\SOFTWARE\\Tessaron\\Nodal\\Connect";

    void SetUp() override {
        RegisterConnectFormClass("TScriptedForm", [this](TConnectDialog& d) { return form.Run(d); });
        dlg.DialogClass = "TScriptedForm";
        dlg.Settings = &reg;
        dlg.ApplicationTitle = "Brennic";
        dlg.SetLabelSet(lsGerman);
        s->ConnectPrompt = true;
        s->SetConnectDialog(&dlg);
    }
    void TearDown() override { UnregisterConnectFormClass("TScriptedForm"); }
};

TEST_F(ConnectDialog, ThreeWrongPasswordsEndWithFalseAndTheSessionsValuesBack) {
    const std::string server = emu.Server();
    for (int i = 0; i < 4; ++i)
        form.attempts.push_back({"scott", "wrong" + std::to_string(i), server});
    dlg.SetConnection(s.get());
    s->SetPassword("manager");
    EXPECT_FALSE(dlg.Execute());
    EXPECT_EQ(form.errors.size(), 3u); // the form closes after the third error
    EXPECT_EQ(form.attempts.size(), 1u);
    for (const std::string& e : form.errors)
        EXPECT_NE(e.find("ORA-01017"), std::string::npos) << e;
    EXPECT_FALSE(s->Connected());
    EXPECT_EQ(s->Username(), "system");
    EXPECT_EQ(s->Password(), "manager");
    EXPECT_EQ(s->Server(), server);
    EXPECT_TRUE(reg.Writes.empty()); // only a successful logon writes
}

TEST_F(ConnectDialog, ConnectingThroughTheSessionUsesTheDialogAndRetries) {
    form.attempts = {{"scott", "bad", emu.Server()}, {"scott", "tiger", emu.Server()}};
    s->Connect();
    EXPECT_TRUE(s->Connected());
    EXPECT_EQ(form.errors.size(), 1u);
    EXPECT_EQ(s->Username(), "scott");
    // The last logon of the application and the history (the key's parent was created with the logon).
    std::string v;
    ASSERT_TRUE(reg.ReadString(appKey, "Username", v));
    EXPECT_EQ(v, "scott");
    ASSERT_TRUE(reg.ReadString(appKey, "NServer", v)); // network mode keeps its own history
    EXPECT_EQ(v, emu.Server());
    EXPECT_FALSE(reg.ReadString(appKey, "Server", v));
    ASSERT_TRUE(reg.ReadString(histKey, "NServer1", v));
    EXPECT_EQ(v, emu.Server());

    // A cancelled dialog: the connect aborts silently (EAbort), the session keeps its values.
    s->Disconnect();
    form.attempts.clear();
    EXPECT_THROW(s->Connect(), EAbort);
    EXPECT_FALSE(s->Connected());
    EXPECT_EQ(s->Username(), "scott");
}

TEST_F(ConnectDialog, RememberedLogonFillsTheFormAndThePasswordIsCleared) {
    reg.WriteString(appKey, "Username", "SCOTT");
    reg.WriteString(appKey, "NServer", emu.Server());
    reg.WriteString(histKey, "NServer1", "a:1:x");
    reg.WriteString(histKey, "NServer2", emu.Server());
    reg.WriteString(histKey, "NServer4", "never-read:1:x"); // after the first gap
    s->SetServer("elsewhere:1521:bnx");
    form.attempts = {{"SCOTT", "tiger", emu.Server()}};
    dlg.SetConnection(s.get());
    EXPECT_TRUE(dlg.Execute());
    EXPECT_EQ(form.shownUser, "SCOTT");
    EXPECT_EQ(form.shownPassword, ""); // SavePassword off
    EXPECT_EQ(form.shownServer, emu.Server());
    EXPECT_EQ(form.initialFocus, cfPassword);
    EXPECT_EQ(form.shownItems, (std::vector<std::string>{"a:1:x", emu.Server()}));

    // The server already in the history moves to number 1, the others shift down without duplicates.
    std::string v;
    ASSERT_TRUE(reg.ReadString(histKey, "NServer1", v));
    EXPECT_EQ(v, emu.Server());
    ASSERT_TRUE(reg.ReadString(histKey, "NServer2", v));
    EXPECT_EQ(v, "a:1:x");
    EXPECT_FALSE(reg.ReadString(histKey, "NServer3", v));
}

TEST_F(ConnectDialog, SavePasswordKeepsThePasswordOfTheSameUserOnly) {
    reg.WriteString(appKey, "Username", "System");
    dlg.SavePassword = true;
    form.attempts = {{"system", "manager", emu.Server()}};
    dlg.SetConnection(s.get());
    EXPECT_TRUE(dlg.Execute());
    EXPECT_EQ(form.shownPassword, "manager"); // same user, compared without case
    EXPECT_EQ(form.initialFocus, cfNone);

    s->Disconnect();
    reg.WriteString(appKey, "Username", "scott");
    form.attempts = {{"scott", "tiger", emu.Server()}};
    EXPECT_TRUE(dlg.Execute());
    EXPECT_EQ(form.shownPassword, "");
}

TEST_F(ConnectDialog, CommandLineValuesAreNotReplacedByTheRememberedLogon) {
    reg.WriteString(appKey, "Username", "system");
    reg.WriteString(appKey, "NServer", "elsewhere:1:x");
    s->SetUsername("scott");
    s->SetPassword("tiger");
    dlg.KeepSessionValues = true;
    form.attempts = {{"scott", "tiger", emu.Server()}};
    dlg.SetConnection(s.get());
    EXPECT_TRUE(dlg.Execute());
    EXPECT_EQ(form.shownUser, "scott");
    EXPECT_EQ(form.shownPassword, "tiger");
    EXPECT_EQ(form.shownServer, emu.Server());
}

TEST_F(ConnectDialog, WithoutStoreLogInfoNothingIsReadOrWritten) {
    reg.WriteString(appKey, "Username", "system");
    reg.Writes.clear();
    dlg.StoreLogInfo = false;
    s->SetUsername("scott");
    s->SetPassword("tiger");
    form.attempts = {{"scott", "tiger", emu.Server()}};
    dlg.SetConnection(s.get());
    EXPECT_TRUE(dlg.Execute());
    EXPECT_EQ(form.shownUser, "scott");
    EXPECT_EQ(form.shownPassword, "tiger");
    EXPECT_TRUE(reg.Writes.empty());
}

TEST_F(ConnectDialog, AHistoryKeyThatDoesNotExistIsNotCreated) {
    // Writing the last logon into a settings store whose history key is missing (the per-application key
    // stands elsewhere): only the two values of the last logon are written.
    dlg.SetConnection(s.get());
    struct TFlatSettings : TMemorySettings {
        std::string missing;
        bool KeyExists(const std::string& key) override { return key != missing; }
    } flat;
    flat.missing = histKey;
    dlg.Settings = &flat;
    dlg.StoreLogon();
    EXPECT_EQ(flat.Writes.size(), 2u);
    for (const std::string& w : flat.Writes)
        EXPECT_EQ(w.find(histKey + "|"), std::string::npos) << w;
}

TEST_F(ConnectDialog, NoSessionRaisesConnectionIsNotDefined) {
    TConnectDialog lone;
    try {
        lone.Execute();
        FAIL() << "no error";
    } catch (const EDAError& e) {
        EXPECT_STREQ(e.what(), "Connection is not defined.");
    }
}

TEST(ConnectFocus, ByErrorCode) {
    EXPECT_EQ(TConnectFormLogic::FocusForError(1005, false), cfPassword);
    EXPECT_EQ(TConnectFormLogic::FocusForError(1017, false), cfPassword);
    EXPECT_EQ(TConnectFormLogic::FocusForError(1017, true), cfUsername);
    EXPECT_EQ(TConnectFormLogic::FocusForError(12154, true), cfServer);
    EXPECT_EQ(TConnectFormLogic::FocusForError(12203, false), cfServer);
    EXPECT_EQ(TConnectFormLogic::FocusForError(1, false), cfServer);
    EXPECT_EQ(TConnectFormLogic::FocusForError(942, false), cfNone);
}

TEST_F(ConnectDialog, ANetworkFailureReachesTheFormWithCode1AndMovesTheFocusToTheServer) {
    form.attempts = {{"scott", "tiger", "127.0.0.1:1:bnx"}};
    dlg.Retries = 1;
    dlg.SetConnection(s.get());
    EXPECT_FALSE(dlg.Execute());
    ASSERT_EQ(form.errors.size(), 1u);
    EXPECT_EQ(form.errors[0].rfind("NET: ", 0), 0u) << form.errors[0];
    EXPECT_EQ(form.focus[0], cfServer);
}

TEST(ConnectLabelSets, StringIdsAndCustom) {
    TConnectDialog d;
    EXPECT_EQ(d.LabelSet(), lsEnglish);
    EXPECT_EQ(d.Caption(), "Connect");
    d.SetLabelSet(lsRussian);
    EXPECT_EQ(LabelSetBase(lsRussian), 0);
    const std::string ru[6] = {
        "\xD0\xA1\xD0\xBE\xD0\xB5\xD0\xB4\xD0\xB8\xD0\xBD\xD0\xB5\xD0\xBD\xD0\xB8\xD0\xB5",
        "\xD0\x98\xD0\xBC\xD1\x8F",
        "\xD0\x9F\xD0\xB0\xD1\x80\xD0\xBE\xD0\xBB\xD1\x8C",
        "\xD0\xA1\xD0\xB5\xD1\x80\xD0\xB2\xD0\xB5\xD1\x80",
        "\xD0\xA1\xD0\xBE\xD0\xB5\xD0\xB4\xD0\xB8\xD0\xBD\xD0\xB8\xD1\x82\xD1\x8C",
        "\xD0\x9E\xD1\x82\xD0\xBC\xD0\xB5\xD0\xBD\xD0\xB0"};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(LoadLabelString(i), ru[i]) << i;
    EXPECT_EQ(d.Caption(), ru[0]);
    EXPECT_EQ(d.CancelButton(), ru[5]);

    d.SetLabelSet(lsGerman);
    EXPECT_EQ(d.ServerLabel(), "Host-Zeichenfolge");
    EXPECT_EQ(d.ConnectButton(), "Ok");
    // Loading the stored texts keeps the label set; changing one afterwards makes it custom.
    d.Loading = true;
    d.SetCaption("Anmeldung");
    EXPECT_EQ(d.LabelSet(), lsGerman);
    d.Loading = false;
    d.SetCaption("Logon");
    EXPECT_EQ(d.LabelSet(), lsCustom);
    EXPECT_EQ(d.Caption(), "Logon");
    EXPECT_EQ(d.UsernameLabel(), "Benutzername");
    d.SetLabelSet(lsPortuguese);
    EXPECT_EQ(d.ServerLabel(), "Liga\xC3\xA7\xC3\xA3o ao Host");
    EXPECT_EQ(LoadLabelString(6), "");
}

} // namespace

namespace {

// The debug window hears the data set's own name (an Oracle data set once hid it behind a second Name).
TEST(DebugHook, HearsTheComponentNameOfAnOracleDataSet) {
    oratest::TRig rig;
    std::vector<TDAMonitorInfo> heard;
    DAHooks().Monitor = [&](const TDAMonitorInfo& i) { heard.push_back(i); };
    TOraQuery q(rig.s.get());
    q.Name = "Qry";
    q.SetDebug(true);
    q.SetSQL("select * from dept");
    q.Open();
    TOraSQL sql(rig.s.get());
    sql.Name = "Cmd";
    sql.Debug = true;
    sql.SetSQL("update dept set loc = loc");
    sql.Execute();
    DAHooks().Monitor = nullptr;
    bool sawQuery = false, sawCommand = false;
    for (const TDAMonitorInfo& i : heard) {
        if (!i.Before || !i.Debug) continue;
        EXPECT_FALSE(i.Component.empty()) << i.SQL;
        if (i.Component == "Qry" && i.SQL.find("from dept") != std::string::npos) sawQuery = true;
        if (i.Component == "Cmd" && i.Kind == mkExecute) sawCommand = true;
    }
    EXPECT_TRUE(sawQuery);
    EXPECT_TRUE(sawCommand);
    // The lock savepoint is named after the same Name.
    EXPECT_EQ(q.LockSavepointName(), "LOCK_Qry");
}

} // namespace

// ---- The logon on a thread of its own ----

namespace {

struct TOutcomeSeen {
    bool seen = false;
    TConnectFormLogic::TOutcome outcome = TConnectFormLogic::coFailed;
    std::string error;
    TConnectFormLogic::TConnectDone Done() {
        return [this](TConnectFormLogic::TOutcome o, std::exception_ptr e) {
            seen = true;
            outcome = o;
            if (e) try {
                    std::rethrow_exception(e);
                } catch (const std::exception& x) {
                    error = x.what();
                }
        };
    }
};

// Runs the posted tasks until the outcome arrived or ms passed.
bool Pump(TQueuePoster& poster, const TOutcomeSeen& seen, int ms = 10000) {
    for (int waited = 0; !seen.seen && waited < ms; waited += 20)
        poster.WaitAndRun(20);
    return seen.seen;
}

} // namespace

TEST_F(ConnectDialog, ABackgroundLogonCancelledWhileTheServerIsSilentEndsAtOnceAndCountsNothing) {
    oratest::TSilentListener silent(true);
    dlg.SetConnection(s.get());
    s->Options().SetConnectTimeout(20);
    TQueuePoster poster;
    TConnectFormLogic logic(dlg);
    TOutcomeSeen seen;
    logic.StartConnect("scott", "tiger", silent.Server(), false, poster, seen.Done());
    EXPECT_TRUE(logic.Connecting());
    for (int i = 0; i < 500 && silent.BytesRead() == 0; ++i)
        poster.WaitAndRun(5);
    ASSERT_GT(silent.BytesRead(), 0) << "the logon never reached the listener";
    EXPECT_FALSE(seen.seen);
    const auto t0 = std::chrono::steady_clock::now();
    logic.CancelConnect();
    ASSERT_TRUE(Pump(poster, seen, 5000));
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count(), 1.0);
    EXPECT_EQ(seen.outcome, TConnectFormLogic::coCancelled);
    EXPECT_EQ(seen.error, "");
    EXPECT_FALSE(logic.Connecting());
    EXPECT_FALSE(s->Connected());
    EXPECT_EQ(logic.RetriesLeft(), dlg.Retries);
    EXPECT_FALSE(logic.Retrying());

    // The same logic logs on to the emulator next; a wrong password before counts as in Connect.
    TOutcomeSeen wrong;
    logic.StartConnect("system", "wrong", emu.Server(), false, poster, wrong.Done());
    ASSERT_TRUE(Pump(poster, wrong));
    EXPECT_EQ(wrong.outcome, TConnectFormLogic::coFailed);
    EXPECT_EQ(wrong.error.rfind("ORA-01017", 0), 0u) << wrong.error;
    EXPECT_EQ(logic.ErrorFocus, cfPassword);
    EXPECT_EQ(logic.RetriesLeft(), dlg.Retries - 1);
    TOutcomeSeen ok;
    logic.StartConnect("system", "manager", emu.Server(), false, poster, ok.Done());
    ASSERT_TRUE(Pump(poster, ok));
    EXPECT_EQ(ok.outcome, TConnectFormLogic::coConnected) << ok.error;
    EXPECT_TRUE(s->Connected());
    EXPECT_EQ(s->Server(), emu.Server());
}

TEST_F(ConnectDialog, AbandoningABackgroundLogonEndsItsThreadAndDropsItsResult) {
    oratest::TSilentListener silent(true);
    dlg.SetConnection(s.get());
    TQueuePoster poster;
    TOutcomeSeen seen;
    const auto t0 = std::chrono::steady_clock::now();
    {
        TConnectFormLogic logic(dlg);
        logic.StartConnect("scott", "tiger", silent.Server(), false, poster, seen.Done());
        // The form goes away while the logon waits: the logic's end cancels and joins.
    }
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count(), 1.0);
    poster.WaitAndRun(50); // the thread's posted end finds nothing to do
    EXPECT_FALSE(seen.seen);
    EXPECT_FALSE(s->Connected());
}

// ---- tnsnames.ora aliases in the server list ----

TEST_F(ConnectDialog, InNetworkModeTheAliasesJoinTheHistoryAndALogonByAliasStoresOnlyTheHistory) {
    vtest::TTempDir dir;
    dir.Write("tnsnames.ora", "EMU = (DESCRIPTION = (ADDRESS = (PROTOCOL = TCP)(HOST = 127.0.0.1)(PORT = " +
                                  std::to_string(emu.emu.Port()) +
                                  "))\n"
                                  "        (CONNECT_DATA = (SERVICE_NAME = BNX)))\n"
                                  "# an old installation's domain\n"
                                  "OTHER.WORLD, Third = (DESCRIPTION=(ADDRESS=(PROTOCOL=TCP)(HOST=h)))\n");
    vtest::TScopedEnv admin("TNS_ADMIN", dir.Path());
    vtest::TScopedEnv home("ORACLE_HOME", std::nullopt);
    reg.WriteString(histKey, "NServer1", "oldhost:1521:X");
    reg.WriteString(histKey, "NServer2", "other");
    form.attempts = {{"scott", "tiger", "emu"}};
    dlg.SetConnection(s.get());
    ASSERT_TRUE(dlg.Execute()) << (form.errors.empty() ? "" : form.errors[0]);
    EXPECT_EQ(form.shownItems, (std::vector<std::string>{"oldhost:1521:X", "other", "EMU", "Third"}));
    EXPECT_TRUE(s->Connected());
    EXPECT_EQ(s->Server(), "emu");
    // The history gets the alias first and keeps its own entries; the other aliases are not written.
    std::vector<std::string> history;
    dlg.GetServerList(history);
    EXPECT_EQ(history, (std::vector<std::string>{"emu", "oldhost:1521:X", "other"}));
}

TEST_F(ConnectDialog, InClientLibraryModeWithReadAliasesTheListIsTheAliasFileOfTheOracleHome) {
    vtest::TTempDir home;
    home.Write("network/admin/tnsnames.ora", "PROD.WORLD = (DESCRIPTION=(ADDRESS=(PROTOCOL=TCP)(HOST=p)))\n"
                                             "IFILE = /elsewhere/tnsnames.ora\n"
                                             "TEST, Dev = (DESCRIPTION=(ADDRESS=(PROTOCOL=TCP)(HOST=t)))\n");
    vtest::TScopedEnv admin("TNS_ADMIN", std::nullopt);
    vtest::TScopedEnv oh("ORACLE_HOME", home.Path());
    reg.WriteString(histKey, "Server1", "remembered");
    s->Options().SetNet(false);
    dlg.SetConnection(s.get());
    std::vector<std::string> list;
    dlg.GetServerList(list);
    EXPECT_EQ(list, (std::vector<std::string>{"remembered"})); // ReadAliases off: the history
    dlg.ReadAliases = true;
    // A client library counts as loaded (its home, none here, would be searched after ORACLE_HOME).
    struct TPretendLoaded {
        TPretendLoaded() { oracall::OCIInited = true; }
        ~TPretendLoaded() { oracall::OCIInited = false; }
    } loaded;
    dlg.GetServerList(list);
    EXPECT_EQ(list, (std::vector<std::string>{"PROD", "TEST", "Dev"}));
    std::vector<std::string> items;
    dlg.GetServerItems(items);
    EXPECT_EQ(items, list); // nothing is added outside network mode
}

TEST(ConnectAliases, TheHomeOfAClientLibrary) {
    EXPECT_EQ(ClientLibraryHome("/opt/oracle/product/19c/lib/libclntsh.so"), "/opt/oracle/product/19c");
    EXPECT_EQ(ClientLibraryHome("/opt/instantclient_19_21/libclntsh.so.19.1"), "/opt/instantclient_19_21");
    EXPECT_EQ(ClientLibraryHome(""), "");
}
