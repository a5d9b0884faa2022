// Printing from the worksheet window: BitBtn1 and the action AusgabeDrucker with the orientation of the two
// radio buttons, against the emulator's EMP table, read back from the PDF chosen in the options dialog.
#include "ReportTestData.h"

#include "app/ProgramFolder.h"
#include "app/gui/DataModule1.h"
#include "app/gui/FVestra.h"
#include "app/gui/VestraApp.h"
#include "app/gui/WorksheetRun.h"
#include "connect/ConnectForm.h"
#include "tests/gui/GuiTest.h"
#include "tests/oracle/OraE2e.h"

#include <QAction>
#include <QApplication>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

namespace fs = std::filesystem;
using namespace guitest;

namespace {

std::string Shell(const std::string& command) {
    std::string out;
    FILE* p = popen(command.c_str(), "r");
    if (!p) return out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        out.append(buf, n);
    pclose(p);
    return out;
}

class PrintWindow : public ::testing::Test {
protected:
    oratest::TEmu emu;
    std::unique_ptr<TFVestra> w;
    reporttest::TempDir dir{"printwindow"};

    void SetUp() override {
        // A program folder of its own: the build's files (help file, folders) linked, the Report folder a
        // copy of the shipped fragments, so that the test sees what a print leaves there.
        const fs::path bin = fs::path(reporttest::FragmentFolder()).parent_path();
        for (auto& e : fs::directory_iterator(bin))
            if (e.path().filename() != "Report")
                fs::create_symlink(e.path(), fs::path(dir.Str()) / e.path().filename());
        fs::create_directories(dir.File("Report"));
        for (auto& e : fs::directory_iterator(reporttest::FragmentFolder()))
            fs::copy_file(e.path(), fs::path(dir.File("Report")) / e.path().filename());
        SetProgramFolderForTests(dir.Str());
        w = StartLoggedOn(emu.Server());
        ASSERT_TRUE(w);
        // The checks follow each click at once: statements run on the GUI thread here.
        w->Run()->Background = false;
        w->show();
    }
    void TearDown() override {
        if (w) {
            w->Controller().EndSession();
            w.reset();
        }
        SetProgramFolderForTests("");
    }

    // Chooses the PDF file in the options dialog that the next print shows.
    void ChoosePdf(const std::string& pdf) {
        OnNextModal([pdf](QWidget* dlg) {
            ASSERT_NE(dlg, nullptr);
            ASSERT_EQ(dlg->objectName(), "L9OptionsDialog");
            dlg->findChild<QRadioButton*>("RbFile")->click();
            dlg->findChild<QLineEdit*>("EdFile")->setText(QString::fromStdString(pdf));
            dlg->findChild<QDialogButtonBox*>("Buttons")->button(QDialogButtonBox::Ok)->click();
        });
    }
};

} // namespace

TEST_F(PrintWindow, BitBtn1PrintsTheResultAndTheActionPrintsItInLandscape) {
    w->Mmo->setPlainText("select empno, ename, hiredate, sal from emp order by empno");
    w->BtnExec->click();
    ASSERT_TRUE(w->Qry.Active());

    const std::string pdf = dir.File("emp.pdf");
    ChoosePdf(pdf);
    w->BitBtn1->click();
    const std::string text = Shell("pdftotext -layout '" + pdf + "' -");
    for (const char* s : {"EMPNO", "ENAME", "HIREDATE", "SAL", "SMITH", "ALLEN", "KING", "MILLER", "7934",
                          "17.12.1980", "Seite 1 von 1"})
        EXPECT_NE(text.find(s), std::string::npos) << s << "\n" << text;
    EXPECT_FALSE(fs::exists(dir.File("Report/bnxrep.lst")));
    EXPECT_NE(Shell("pdfinfo '" + pdf + "'").find("595"), std::string::npos); // A4 portrait, 595 points wide

    w->RadioButton2->click();
    const std::string q = dir.File("empq.pdf");
    ChoosePdf(q);
    w->DataModule()->AusgabeDrucker->trigger();
    const std::string info = Shell("pdfinfo '" + q + "'");
    double pw = 0, ph = 0;
    const size_t at = info.find("Page size:");
    ASSERT_NE(at, std::string::npos);
    ASSERT_EQ(std::sscanf(info.c_str() + at, "Page size: %lf x %lf", &pw, &ph), 2);
    EXPECT_GT(pw, ph);
    EXPECT_NE(Shell("pdftotext '" + q + "' -").find("MILLER"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir.File("Report/bnxrep.lst")));
}

TEST_F(PrintWindow, WithoutAResultThePrintSaysSo) {
    ASSERT_FALSE(w->Qry.Active());
    QString shown;
    OnNextModal([&shown](QWidget* box) {
        shown = MessageText(box);
        ClickButton(box, QMessageBox::Ok);
    });
    w->BitBtn1->click();
    EXPECT_TRUE(shown.contains("kein Ergebnis")) << shown.toStdString();
    EXPECT_FALSE(fs::exists(dir.File("Report/bnxrep.lst")));
}
