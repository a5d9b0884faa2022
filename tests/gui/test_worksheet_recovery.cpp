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
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <csignal>
#include <memory>
#include <sys/types.h>

using namespace guitest;

namespace {

// One run of the real program, driven through its environment hooks; it ends when the test ends it.
class TVestraProcess {
public:
    TVestraProcess(const QString& settings, const std::string& server, const QStringList& env) {
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        e.insert("QT_QPA_PLATFORM", "offscreen");
        e.insert("VESTRA_DRIVE", "1");
        for (const QString& kv : env)
            e.insert(kv.section('=', 0, 0), kv.section('=', 1));
        p_.setProcessEnvironment(e);
        p_.setProcessChannelMode(QProcess::SeparateChannels);
        p_.start(QCoreApplication::applicationDirPath() + "/../bin/vestra",
                 {"--settings", settings, "--connect", QString::fromStdString("scott/tiger@" + server)});
    }
    ~TVestraProcess() {
        if (p_.state() != QProcess::NotRunning) {
            Kill9();
        }
    }
    // Waits until standard output holds a line starting with prefix; returns the rest of that line.
    bool WaitLine(const QString& prefix, QString& rest, int ms = 20000) {
        const bool found = QTest::qWaitFor(
            [&] {
                out_ += QString::fromUtf8(p_.readAllStandardOutput());
                for (const QString& line : out_.split('\n'))
                    if (line.startsWith(prefix)) {
                        rest = line.mid(prefix.size());
                        return true;
                    }
                return p_.state() == QProcess::NotRunning && !p_.bytesAvailable();
            },
            ms);
        if (!found) return false;
        for (const QString& line : out_.split('\n'))
            if (line.startsWith(prefix)) return true;
        return false;
    }
    const QString& Output() const { return out_; }
    void Kill9() {
        ::kill(pid_t(p_.processId()), SIGKILL);
        p_.waitForFinished(5000);
    }
    bool WaitExit(int ms) {
        const bool done = p_.waitForFinished(ms);
        out_ += QString::fromUtf8(p_.readAllStandardOutput());
        return done && p_.exitStatus() == QProcess::NormalExit;
    }

private:
    QProcess p_;
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
