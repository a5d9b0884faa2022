// The crash-proof editor: the real program vestra is killed with SIGKILL after text was typed and not saved;
// the next start offers the text back. After a normal exit the text is simply there, without a question.
#include "app/ProgramFolder.h"
#include "app/Recovery.h"
#include "app/gui/DataModule1.h"
#include "app/gui/FVestra.h"
#include "app/gui/RecoveryKeeper.h"
#include "app/gui/WorksheetRun.h"
#include "tests/Snapshot.h"
#include "tests/gui/GuiTest.h"
#include "tests/oracle/OraE2e.h"

#include <QCoreApplication>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <memory>
#include <spawn.h>
#include <string>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace guitest;

namespace {

// One run of the real program, driven through its environment hooks; it ends when the test ends it. Started
// with posix_spawn, not QProcess: a fork of this multi-threaded test (the emulator serves on a thread) is
// refused under ThreadSanitizer.
class TVestraProcess {
public:
    TVestraProcess(const QString& settings, const std::string& server, const QStringList& env) {
        std::vector<std::string> vars;
        for (char** e = environ; *e; ++e)
            vars.emplace_back(*e);
        vars.emplace_back("QT_QPA_PLATFORM=offscreen");
        vars.emplace_back("VESTRA_DRIVE=1");
        for (const QString& kv : env)
            vars.push_back(kv.toStdString());
        std::vector<char*> envp;
        for (std::string& v : vars)
            envp.push_back(v.data());
        envp.push_back(nullptr);
        const std::string program = (QCoreApplication::applicationDirPath() + "/../bin/vestra").toStdString();
        const std::string settingsDir = settings.toStdString();
        const std::string logon = "scott/tiger@" + server;
        std::vector<std::string> args = {program, "--settings", settingsDir, "--connect", logon};
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        if (::posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), envp.data()) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        out_fd_ = fds[0];
        ::fcntl(out_fd_, F_SETFL, O_NONBLOCK);
    }
    ~TVestraProcess() {
        if (pid_ > 0 && !exited_) Kill9();
        if (out_fd_ >= 0) ::close(out_fd_);
    }
    // Waits until standard output holds a line starting with prefix; rest is the rest of that line.
    bool WaitLine(const QString& prefix, QString& rest, int ms = 20000) {
        bool found = false;
        (void)QTest::qWaitFor(
            [&] {
                ReadOutput();
                for (const QString& line : out_.split('\n'))
                    if (line.startsWith(prefix)) {
                        rest = line.mid(prefix.size());
                        found = true;
                    }
                return found || Exited();
            },
            ms);
        return found;
    }
    const QString& Output() const { return out_; }
    void Kill9() {
        ::kill(pid_, SIGKILL);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        exited_ = true;
    }
    // True when the program ended by itself, with exit status 0, within ms.
    bool WaitExit(int ms) {
        (void)QTest::qWaitFor([this] { return Exited(); }, ms);
        ReadOutput();
        return exited_ && WIFEXITED(status_) && WEXITSTATUS(status_) == 0;
    }

private:
    void ReadOutput() {
        char buf[4096];
        for (ssize_t n; out_fd_ >= 0 && (n = ::read(out_fd_, buf, sizeof buf)) > 0;)
            out_ += QString::fromUtf8(buf, int(n));
    }
    bool Exited() {
        if (!exited_ && pid_ > 0 && ::waitpid(pid_, &status_, WNOHANG) == pid_) exited_ = true;
        return exited_;
    }
    pid_t pid_ = -1;
    int out_fd_ = -1;
    int status_ = 0;
    bool exited_ = false;
    QString out_;
};

TEST(WorksheetRecovery, TextTypedBeforeAKillNineComesBackAfterTheQuestion) {
    oratest::TEmu emu;
    QTemporaryDir settings;
    const QString typed = "\n-- nicht gespeichert: \u00E4\u00F6\u00FC \u00A0\nselect 42 from dual";
    const QString expected = "select * from sys.dba_tables order by table_name\\n-- nicht gespeichert: "
                             "\u00E4\u00F6\u00FC \u00A0\\nselect 42 from dual";
    QString rest;
    {
        TVestraProcess first(settings.path(), emu.Server(), {"VESTRA_DRIVE_TYPE=" + typed});
        ASSERT_TRUE(first.WaitLine("getippt", rest)) << first.Output().toStdString();
        EXPECT_FALSE(first.Output().contains("Frage:")) << "a first start has nothing to offer";
        // The text is written once typing has stopped for a moment, without any save by the user.
        const QString file = settings.filePath("wiederherstellung-1.txt");
        const bool saved = QTest::qWaitFor(
            [&] {
                QFile f(file);
                return f.open(QIODevice::ReadOnly) && f.readAll().contains("select 42 from dual");
            },
            10000);
        ASSERT_TRUE(saved) << "the typed text never reached the recovery file";
        first.Kill9();
    }
    {
        // The next start asks, and Yes brings the text back.
        TVestraProcess second(settings.path(), emu.Server(), {"VESTRA_DRIVE_CLOSE=1"});
        ASSERT_TRUE(second.WaitLine("Editor: ", rest)) << second.Output().toStdString();
        EXPECT_EQ(rest, expected);
        EXPECT_TRUE(second.Output().contains("Frage: Nicht gespeicherten Text wiederherstellen?"))
            << second.Output().toStdString();
        // This run ends normally (the window is closed).
        EXPECT_TRUE(second.WaitExit(20000));
    }
    {
        // After a normal exit: no question, the text is simply there.
        TVestraProcess third(settings.path(), emu.Server(), {"VESTRA_DRIVE_CLOSE=1"});
        ASSERT_TRUE(third.WaitLine("Editor: ", rest)) << third.Output().toStdString();
        EXPECT_EQ(rest, expected);
        EXPECT_FALSE(third.Output().contains("Frage:")) << third.Output().toStdString();
        EXPECT_TRUE(third.WaitExit(20000));
    }
}

TEST(WorksheetRecovery, EveryTabTypedBeforeAKillNineComesBack) {
    oratest::TEmu emu;
    QTemporaryDir settings;
    // A tab character in the typed text is Ctrl+T: the typing goes on in a new worksheet tab.
    const QString typed = "\n-- erstes Blatt\tselect 2 from dual";
    const QString firstTab =
        "Blatt 1: Arbeitsblatt 1* | select * from sys.dba_tables order by table_name\\n-- "
        "erstes Blatt";
    const QString secondTab = "Blatt 2: Arbeitsblatt 2* | select 2 from dual";
    QString rest;
    {
        TVestraProcess first(settings.path(), emu.Server(), {"VESTRA_DRIVE_TYPE=" + typed});
        ASSERT_TRUE(first.WaitLine("getippt", rest)) << first.Output().toStdString();
        const QString file = settings.filePath("wiederherstellung-1.txt");
        const bool saved = QTest::qWaitFor(
            [&] {
                QFile f(file);
                return f.open(QIODevice::ReadOnly) && f.readAll().contains("select 2 from dual");
            },
            10000);
        ASSERT_TRUE(saved) << "the second tab's text never reached the recovery file";
        first.Kill9();
    }
    for (const bool afterCrash : {true, false}) {
        // After the kill the question comes and Yes brings both tabs back; after that run's normal exit
        // they are simply there.
        TVestraProcess next(settings.path(), emu.Server(), {"VESTRA_DRIVE_CLOSE=1"});
        ASSERT_TRUE(next.WaitLine("Aktuell: ", rest)) << next.Output().toStdString();
        EXPECT_EQ(rest, "2") << "the second tab was current";
        EXPECT_TRUE(next.Output().contains(firstTab)) << next.Output().toStdString();
        EXPECT_TRUE(next.Output().contains(secondTab)) << next.Output().toStdString();
        EXPECT_EQ(next.Output().contains("Frage: Nicht gespeicherten Text wiederherstellen?"), afterCrash)
            << next.Output().toStdString();
        EXPECT_TRUE(next.WaitExit(20000));
    }
}

// The same offer in the test's own window: No keeps the start's text and lets this run's state replace the
// old one, Yes brings back text and history; the pictures show the question and the worksheet after it.
TEST(WorksheetRecovery, NoKeepsTheStartTextAndTheHistoryComesBackWithYes) {
    oratest::TEmu emu;
    QTemporaryDir folder;
    SetProgramFolderForTests(BinFolder().toStdString());
    TRecoveryState crashed;
    crashed.text = "select 'verloren?' from dual";
    crashed.history = {"select 1 from dual", "select 2\xA7\xA7"
                                             "from dual"};
    crashed.historyPos = 2;
    for (bool yes : {false, true}) {
        {
            TRecoveryFile f;
            ASSERT_TRUE(f.Open(folder.path().toStdString()));
            f.Save(crashed);
        }
        std::unique_ptr<TFVestra> w = StartLoggedOn(emu.Server());
        ASSERT_TRUE(w);
        w->StartRecovery(folder.path().toStdString());
        ASSERT_TRUE(w->Recovery()->Active());
        w->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
        QString question;
        OnNextModal([&](QWidget* box) {
            question = MessageText(box);
            if (box && yes) {
                box->move(w->geometry().center() - box->rect().center());
                vtest::Snapshot(*box, "recovery_question");
            }
            ClickButton(box, yes ? QMessageBox::Yes : QMessageBox::No);
        });
        w->OfferRecovery();
        EXPECT_EQ(question, "Nicht gespeicherten Text wiederherstellen?");
        if (yes) {
            EXPECT_EQ(w->Mmo->toPlainText(), "select 'verloren?' from dual");
            EXPECT_EQ(w->LblPos->text(), "2 / 2");
            QTest::mouseClick(w->BtnBack, Qt::LeftButton);
            EXPECT_EQ(w->Mmo->toPlainText(), "select 1 from dual");
            vtest::Snapshot(*w, "recovery_worksheet");
        } else {
            EXPECT_EQ(w->Mmo->toPlainText(), "select * from sys.dba_tables order by table_name");
            EXPECT_EQ(w->LblPos->text(), "0 / 0");
            // This run's state has taken the old one's place, marked as running.
            TRecoveryState now;
            QFile f(QString::fromStdString(w->Recovery()->FilePath()));
            ASSERT_TRUE(f.open(QIODevice::ReadOnly));
            ASSERT_TRUE(ParseRecovery(f.readAll().toStdString(), now));
            EXPECT_FALSE(now.closedNormally);
            EXPECT_TRUE(now.history.empty());
        }
        CancelPendingModals();
        w->Controller().EndSession();
        w.reset();
    }
    SetProgramFolderForTests("");
}

} // namespace
