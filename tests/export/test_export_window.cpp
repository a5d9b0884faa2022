// The export and the clipboard copy through the worksheet window itself: its buttons and actions, its
// Execute, its history and its error box, against the emulator.
#include "app/History.h"
#include "app/ProgramFolder.h"
#include "app/gui/DataModule1.h"
#include "app/gui/FExport.h"
#include "app/gui/FVestra.h"
#include "app/gui/VestraApp.h"
#include "app/gui/WorksheetRun.h"
#include "connect/ConnectForm.h"
#include "connect/QtText.h"
#include "dataset/DBConsts.h"
#include "tests/gui/GuiTest.h"
#include "tests/oracle/OraE2e.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>

namespace fs = std::filesystem;
using namespace guitest;

namespace {

QString U(const char* utf8) {
    return QString::fromUtf8(utf8);
}

class ExportWindow : public ::testing::Test {
protected:
    oratest::TEmu emu;
    fs::path program;
    std::unique_ptr<TFVestra> w;

    void SetUp() override {
        program =
            fs::temp_directory_path() / ("vestra-exportwin-" + std::to_string(::getpid()) + "-" +
                                         ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(program);
        fs::create_directories(program / "DAT");
        // The window starts from the build's program folder (its help file); the export then looks for its
        // DAT folder in a folder of the test's own.
        SetProgramFolderForTests(BinFolder().toStdString());
        w = StartLoggedOn(emu.Server());
        ASSERT_TRUE(w);
        // The checks follow each click at once: statements run on the GUI thread here.
        w->Run()->Background = false;
        w->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
        SetProgramFolderForTests(program.string());
        Run("create table T (A number, B varchar2(10))");
        Run("insert into T values (1, 'x')");
        Run("insert into T values (2, null)");
        Run("commit");
    }
    void TearDown() override {
        if (w) {
            w->Controller().EndSession();
            w.reset();
        }
        SetProgramFolderForTests("");
        fs::remove_all(program);
    }
    // Types the statement and presses F5.
    void Run(const QString& sql) {
        w->Mmo->setPlainText(sql);
        w->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
        QTest::keyClick(w->Mmo, Qt::Key_F5);
    }
    std::string Dat(const std::string& name) const { return (program / "DAT" / name).string(); }
    std::vector<std::string> DatEntries() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(program / "DAT"))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    // Triggers the action Export; the form is set up by fill and closed with OK. With expectError, returns
    // the text of the error box that follows (answered).
    QString Export(const std::function<void(TFExport*)>& fill, bool expectError = false) {
        auto error = std::make_shared<QString>();
        OnNextModal(
            [fill, error, expectError](QWidget* widget) {
                auto* form = qobject_cast<TFExport*>(widget);
                ASSERT_TRUE(form);
                fill(form);
                if (expectError)
                    OnNextModal(
                        [error](QWidget* box) {
                            *error = MessageText(box);
                            if (box) ClickButton(box, QMessageBox::Ok);
                        },
                        "QMessageBox");
                form->OKBtn->click();
            },
            "TFExport");
        w->DataModule()->Export->trigger();
        return *error; // the error box is modal: it has been answered when the action returns
    }
};

} // namespace

TEST_F(ExportWindow, DefaultsWriteTheResultIntoTheProgramsDatFolder) {
    Run("select A, B from T where A = 1");
    Export([](TFExport*) {});
    EXPECT_EQ(ReadWholeFile(Dat("output.DAT")), "A|B\r\n1|x\r\n");
    EXPECT_EQ(w->StatusBar1->text(), U("OK"));

    // A hexadecimal pair that is no number: the error box, and nothing written.
    fs::remove(Dat("output.DAT"));
    const QString error = Export(
        [](TFExport* f) {
            f->EdtTrenner->setText("ZZ");
            f->ChBAscii->setChecked(true);
        },
        true);
    EXPECT_EQ(error, U("'$ZZ' ist kein gültiger Integerwert"));
    EXPECT_TRUE(DatEntries().empty());
}

TEST_F(ExportWindow, ThreeTablesGoThroughTheWorksheetsExecute) {
    // The first table's statement is the one whose result is open.
    Run("select * from SCOTT.DEPT");
    ASSERT_TRUE(w->Qry.Active());
    const int before = w->Controller().History().Count();
    Export([](TFExport* f) {
        f->RBTabellen->click();
        f->CBBenutzer->setCurrentIndex(f->CBBenutzer->findText("SCOTT"));
        f->LBTabellen->clearSelection();
        for (const char* t : {"SCOTT.DEPT", "SCOTT.EMP", "SCOTT.T"})
            f->LBTabellen->findItems(t, Qt::MatchExactly).value(0)->setSelected(true);
        f->RBBenutzerUndTabName->click();
    });
    EXPECT_EQ(DatEntries(), (std::vector<std::string>{"SCOTT_DEPT.DAT", "SCOTT_EMP.DAT", "SCOTT_T.DAT"}));
    EXPECT_EQ(ReadWholeFile(Dat("SCOTT_T.DAT")), "A|B\r\n1|x\r\n2|\r\n");
    EXPECT_EQ(w->Controller().History().Count(), before + 3);
    EXPECT_EQ(w->Mmo->toPlainText(), U("select * from SCOTT.T"));
    EXPECT_TRUE(w->Qry.Active());
    EXPECT_EQ(ReadWholeFile(Dat("SCOTT_DEPT.DAT")).substr(0, 18), "DEPTNO|DNAME|LOC\r\n");
}

TEST_F(ExportWindow, ClipboardFromTheButtonAndTheAction) {
    Run("select A, B from T order by A");
    w->Qry.Last();
    w->BitBtn2->click();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), U("A\tB\r\n1\tx\r\n2\t\r\n"));
    EXPECT_EQ(w->Qry.RecNo(), 1);
    EXPECT_TRUE(w->DataSource().Enabled());

    Run("select B from T where A = 1");
    w->DataModule()->AusgabeinZwischenablage->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), U("B\r\nx\r\n"));

    // After DML the query is closed: the error box, the clipboard as it was.
    Run("update T set B = 'y' where A = 1");
    auto error = std::make_shared<QString>();
    OnNextModal(
        [error](QWidget* box) {
            *error = MessageText(box);
            if (box) ClickButton(box, QMessageBox::Ok);
        },
        "QMessageBox");
    w->BitBtn2->click();
    EXPECT_EQ(*error, FromAnsi(SDataSetClosed));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), U("B\r\nx\r\n"));
    EXPECT_TRUE(w->DataSource().Enabled());
}
