// The editor's text through the real window: bytes kept from file to server and back to file, undoable text
// changes, parameter values and files the editor cannot hold refused, read-only files left alone.
#include "app/FileSave.h"
#include "app/ProgramFolder.h"
#include "app/gui/DataModule1.h"
#include "app/gui/FParam.h"
#include "app/gui/FVestra.h"
#include "app/gui/WorksheetRun.h"
#include "tests/gui/GuiTest.h"
#include "tests/oracle/OraE2e.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <sys/stat.h>

using namespace guitest;

namespace {

class WorksheetEditor : public ::testing::Test {
protected:
    oratest::TEmu emu;
    std::unique_ptr<TFVestra> w;
    QTemporaryDir dir;

    void SetUp() override {
        SetProgramFolderForTests(BinFolder().toStdString());
        w = StartLoggedOn(emu.Server());
        ASSERT_TRUE(w);
        // Each step is checked right after its key press; the background runs have tests of their own.
        w->Run()->Background = false;
        w->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    }
    void TearDown() override {
        CancelPendingModals();
        if (w) {
            w->Controller().EndSession();
            w.reset();
        }
        SetProgramFolderForTests("");
    }
    TDataModule1* dm() { return w->DataModule(); }
    void Activate() {
        w->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    }
    void Type(const QString& sql) {
        w->Mmo->setPlainText(sql);
        w->Mmo->setFocus();
    }
    void PressF5() {
        Activate();
        QTest::keyClick(w->Mmo, Qt::Key_F5);
    }
    void CtrlZ() {
        Activate();
        w->Mmo->setFocus();
        QTest::keyClick(w->Mmo, Qt::Key_Z, Qt::ControlModifier);
    }
    QString Text() const { return w->Mmo->toPlainText(); }
    // The editor's text exactly (toPlainText would hide a no-break space).
    QString RawText() const { return QString::fromStdU16String(w->EditorRawText()); }
    void Write(const QString& file, const QByteArray& bytes) {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    QByteArray Read(const QString& file) {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    // Runs a file action with the dialog answered by the file name; returns the text of a message box that
    // followed (empty when none).
    QString WithFile(QAction* action, const QString& file) {
        auto box = std::make_shared<QString>();
        OnNextModal([file, box](QWidget* d) {
            if (qobject_cast<QFileDialog*>(d)) {
                OnNextModal([box](QWidget* m) {
                    if (!m) return;
                    *box = MessageText(m);
                    ClickButton(m, QMessageBox::Ok);
                });
                AcceptFileDialog(d, file);
            }
        });
        action->trigger();
        QTest::qWait(50);
        CancelPendingModals();
        return *box;
    }
};

TEST_F(WorksheetEditor, NoBreakSpacesSurviveOpenSaveAndExecute) {
    const QByteArray sql("select 'a\xA0"
                         "b' as v from dual\r\n-- \xA0 Ende");
    Write(dir.filePath("nbsp.SQL"), sql);
    EXPECT_EQ(WithFile(dm()->Open, dir.filePath("nbsp.SQL")), "");
    EXPECT_EQ(RawText(), "select 'a\u00A0b' as v from dual\r\n-- \u00A0 Ende");
    EXPECT_EQ(WithFile(dm()->Save, dir.filePath("copy.SQL")), "");
    EXPECT_EQ(Read(dir.filePath("copy.SQL")), sql) << "Open then Save changed the file's bytes";

    PressF5();
    EXPECT_EQ(w->StatusText(), "OK");
    ASSERT_TRUE(w->Qry.Active());
    EXPECT_EQ(w->Qry.Fields(0)->AsString(), "a\xA0"
                                            "b")
        << "the literal reached the server changed";
    ASSERT_EQ(dm()->FHistory.Count(), 1);
    EXPECT_EQ(dm()->FHistory.Entries()[0], "select 'a\xA0"
                                           "b' as v from dual\xA7\xA7-- \xA0 Ende");
}

TEST_F(WorksheetEditor, AParameterValueWindows1252CannotHoldIsRefusedNotSentAsAQuestionMark) {
    Type("select dname from dept where dname = :d");
    QString message;
    OnNextModal([&](QWidget* dlg) {
        auto* p = qobject_cast<TFParam*>(dlg);
        if (!p) return;
        OnNextModal([&](QWidget* box) {
            message = MessageText(box);
            ClickButton(box, QMessageBox::Ok);
        });
        p->VLE->setCurrentCell(0, 1);
        p->VLE->editItem(p->VLE->item(0, 1));
        if (auto* editor = p->VLE->viewport()->findChild<QLineEdit*>()) {
            // A key whose character has no Windows-1252 byte (the test library types only ASCII).
            QTest::keyClicks(editor, "S");
            QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(QChar(0x0101)));
            QApplication::sendEvent(editor, &press);
            QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(QChar(0x0101)));
            QApplication::sendEvent(editor, &release);
            QTest::keyClicks(editor, "LES");
        }
        QTest::mouseClick(p->BtnOK, Qt::LeftButton);
    });
    PressF5();
    EXPECT_TRUE(message.contains("U+0101")) << message.toStdString();
    EXPECT_TRUE(message.contains(":d")) << message.toStdString();
    EXPECT_TRUE(message.contains("nicht ausgef\u00FChrt")) << message.toStdString();
    EXPECT_FALSE(w->Qry.Active()) << "the statement ran with the value changed";
    EXPECT_EQ(dm()->FHistory.Count(), 0);
    EXPECT_TRUE(w->DatS.Enabled());
}

TEST_F(WorksheetEditor, CtrlZBringsTheOldTextBackAfterNeuOpenHistoryStepsAndFormat) {
    Type("select 1 from dual");
    PressF5();
    Type("select 2 from dual");
    PressF5();
    ASSERT_EQ(w->LblPos->text(), "2 / 2");

    dm()->Neu->trigger();
    EXPECT_EQ(Text(), "");
    CtrlZ();
    EXPECT_EQ(Text(), "select 2 from dual") << "Neu forgot the undo stack";

    QTest::mouseClick(w->BtnBack, Qt::LeftButton);
    EXPECT_EQ(Text(), "select 1 from dual");
    CtrlZ();
    EXPECT_EQ(Text(), "select 2 from dual") << "<< forgot the undo stack";
    QTest::mouseClick(w->BtnForw, Qt::LeftButton); // at the end already: nothing changes
    EXPECT_EQ(Text(), "select 2 from dual");

    Type("select ename, sal from emp where deptno = 10");
    Activate();
    QTest::keyClick(w->Mmo, Qt::Key_F8);
    ASSERT_NE(Text(), "select ename, sal from emp where deptno = 10");
    CtrlZ();
    EXPECT_EQ(Text(), "select ename, sal from emp where deptno = 10") << "F8 forgot the undo stack";

    // Open clears and loads as one step.
    Write(dir.filePath("a.SQL"), "select 3 from dual");
    EXPECT_EQ(WithFile(dm()->Open, dir.filePath("a.SQL")), "");
    EXPECT_EQ(Text(), "select 3 from dual");
    CtrlZ();
    EXPECT_EQ(Text(), "select ename, sal from emp where deptno = 10") << "Open forgot the undo stack";

    // Loading a history file.
    Write(dir.filePath("h.HIST"), "select 4 from dual\r\nselect 5 from dual\r\n");
    EXPECT_EQ(WithFile(dm()->LoadHistory, dir.filePath("h.HIST")), "");
    EXPECT_EQ(Text(), "select 4 from dual");
    EXPECT_EQ(w->LblPos->text(), "1 / 2");
    CtrlZ();
    EXPECT_EQ(Text(), "select ename, sal from emp where deptno = 10")
        << "the history load forgot the undo stack";
}

TEST_F(WorksheetEditor, CancellingTheHistoryLoadKeepsTheHistory) {
    Type("select 1 from dual");
    PressF5();
    Type("select 2 from dual");
    PressF5();
    OnNextModal([](QWidget* d) {
        if (auto* fd = qobject_cast<QFileDialog*>(d)) fd->reject();
    });
    dm()->LoadHistory->trigger();
    EXPECT_EQ(dm()->FHistory.Count(), 2);
    EXPECT_EQ(w->LblPos->text(), "2 / 2");
    QTest::mouseClick(w->BtnBack, Qt::LeftButton);
    EXPECT_EQ(Text(), "select 1 from dual");
}

TEST_F(WorksheetEditor, FilesBeyondTheEditorsCapacityAreRefusedWithTheMemoMessage) {
    // Sparse: the size is there at once, no byte of it was written, and none is read.
    const QString big = dir.filePath("big.SQL");
    Write(big, "");
    std::filesystem::resize_file(big.toStdString(), kEditorCapacity + 1);
    Type("select 1 from dual");
    PressF5();

    EXPECT_EQ(WithFile(dm()->Open, big), "Text \u00FCberschreitet Memo-Kapazit\u00E4t");
    EXPECT_EQ(Text(), "");
    CtrlZ();
    EXPECT_EQ(Text(), "select 1 from dual");

    const QString bigHist = dir.filePath("big.HIST");
    Write(bigHist, "");
    std::filesystem::resize_file(bigHist.toStdString(), kEditorCapacity + 1);
    EXPECT_EQ(WithFile(dm()->LoadHistory, bigHist), "Text \u00FCberschreitet Memo-Kapazit\u00E4t");
    EXPECT_EQ(dm()->FHistory.Count(), 1);
    EXPECT_EQ(w->LblPos->text(), "1 / 1");
    EXPECT_EQ(Text(), "select 1 from dual");
}

TEST_F(WorksheetEditor, SavingIntoAReadOnlyFileShowsTheNoRightsErrorAndKeepsTheFile) {
    const QString ro = dir.filePath("ro.SQL");
    Write(ro, "old content");
    ::chmod(ro.toLocal8Bit().constData(), 0444);
    Type("select 1 from dual");
    const QString message = WithFile(dm()->Save, ro);
    EXPECT_TRUE(message.contains("kann nicht erstellt werden")) << message.toStdString();
    EXPECT_EQ(Read(ro), "old content");

    // Through a link the target is written and the link stays.
    Write(dir.filePath("target.SQL"), "x");
    ::chmod(dir.filePath("target.SQL").toLocal8Bit().constData(), 0600);
    ASSERT_TRUE(QFile::link(dir.filePath("target.SQL"), dir.filePath("link.SQL")));
    EXPECT_EQ(WithFile(dm()->Save, dir.filePath("link.SQL")), "");
    EXPECT_TRUE(QFileInfo(dir.filePath("link.SQL")).isSymLink());
    EXPECT_EQ(Read(dir.filePath("target.SQL")), "select 1 from dual");
    EXPECT_EQ(QFile::permissions(dir.filePath("target.SQL")) & 0x7777,
              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser |
                  QFileDevice::WriteUser);
}

} // namespace
