// The print action with the engine's windows on the offscreen platform: the options dialog, the progress
// box and the preview are driven like a user would, and the PDF files are read back with the
// distribution's PDF tools (pdftotext, pdfinfo).
#include "ReportTestData.h"

#include "app/History.h"
#include "dataset/DB.h"
#include "grid/QxGrid.h"
#include "report/GridColumns.h"
#include "report/L9.h"
#include "report/L9Engine.h"
#include "report/L9Qt.h"
#include "report/PrintResult.h"

#include <QAbstractButton>
#include <QAbstractItemModelTester>
#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using reporttest::TempDir;

namespace {

std::string Run(const std::string& command) {
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

// The text of every page, split at the form feeds pdftotext puts between pages.
std::vector<std::string> PdfPages(const std::string& file) {
    const std::string text = Run("pdftotext -layout '" + file + "' -");
    std::vector<std::string> pages;
    std::string cur;
    for (char c : text) {
        if (c == '\f') {
            pages.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    if (!cur.empty() && cur.find_first_not_of(" \n") != std::string::npos) pages.push_back(cur);
    return pages;
}

// "Page size:      595.276 x 841.89 pts (A4)" -> width and height.
bool PdfPageSize(const std::string& file, double& w, double& h) {
    const std::string info = Run("pdfinfo '" + file + "'");
    const size_t p = info.find("Page size:");
    if (p == std::string::npos) return false;
    return std::sscanf(info.c_str() + p, "Page size: %lf x %lf", &w, &h) == 2;
}

// Pictures of the windows for a look at them, when VESTRA_GRAB_DIR names a folder.
void Grab(QWidget* w, const char* name) {
    const char* dir = std::getenv("VESTRA_GRAB_DIR");
    if (dir && w) w->grab().save(QString::fromLocal8Bit(dir) + "/" + name + ".png");
}

// The PDF files too, for pdftoppm.
void KeepPdf(const std::string& pdf, const char* name) {
    const char* dir = std::getenv("VESTRA_GRAB_DIR");
    if (dir && fs::exists(pdf))
        fs::copy_file(pdf, fs::path(dir) / (std::string(name) + ".pdf"),
                      fs::copy_options::overwrite_existing);
}

// Runs f on the modal window that is up when the event loop next runs.
void WhenModal(std::function<void(QWidget*)> f) {
    QTimer::singleShot(0, [f]() { f(QApplication::activeModalWidget()); });
}

template <class T> T* Child(QWidget* w, const char* name) {
    T* c = w ? w->findChild<T*>(name) : nullptr;
    EXPECT_NE(c, nullptr) << name;
    return c;
}

void ClickOk(QWidget* dialog) {
    auto* box = Child<QDialogButtonBox>(dialog, "Buttons");
    if (box) box->button(QDialogButtonBox::Ok)->click();
}

// Chooses the PDF destination with that file in the options dialog and prints; then optionally runs after()
// on the next modal window (the progress box).
void ChoosePdf(const std::string& file, std::function<void(QWidget*)> after = nullptr) {
    WhenModal([file, after](QWidget* dlg) {
        ASSERT_NE(dlg, nullptr);
        EXPECT_EQ(dlg->objectName(), "L9OptionsDialog");
        Child<QRadioButton>(dlg, "RbFile")->click();
        Child<QLineEdit>(dlg, "EdFile")->setText(QString::fromStdString(file));
        Grab(dlg, "options");
        if (after) WhenModal(after);
        ClickOk(dlg);
    });
}

class PrintGui : public ::testing::Test {
protected:
    void SetUp() override {
        // A copy of the shipped fragments as the program's report folder, and a temporary folder of our own.
        fs::create_directories(report_);
        for (const char* f : {"first.bnx", "firstq.bnx", "linkcandh.bnx", "last.bnx", "lastq.bnx"})
            fs::copy_file(fs::path(reporttest::FragmentFolder()) / f, fs::path(report_) / f);
        setenv("TMPDIR", tmp_.Str().c_str(), 1);
    }
    void TearDown() override { unsetenv("TMPDIR"); }

    // The report folder holds the fragments and nothing else; the temporary folder is empty.
    void ExpectNothingLeft() {
        EXPECT_FALSE(fs::exists(report_ + "/bnxrep.lst"));
        int files = 0;
        for (auto& e : fs::directory_iterator(report_)) {
            (void)e;
            ++files;
        }
        EXPECT_EQ(files, 5);
        EXPECT_TRUE(fs::is_empty(tmp_.Str())) << "left in the temporary folder";
    }

    std::vector<TReportColumn> Cols() const {
        return {{"ID", "Nr.", 50}, {"NAME", "Name", 140}, {"HIRED", "", 90}};
    }

    TempDir dir_{"printgui"};
    TempDir tmp_{"printtmp"};
    std::string report_ = dir_.File("Report");
};

} // namespace

TEST_F(PrintGui, FourteenRowsToPdfGiveOnePageWithHeaderAndEveryValue) {
    auto ds = reporttest::Rows(14);
    const std::string pdf = dir_.File("out14.pdf");
    ChoosePdf(pdf);
    EXPECT_EQ(PrintResult(*ds, Cols(), false, nullptr, report_), 0);
    const auto pages = PdfPages(pdf);
    ASSERT_EQ(pages.size(), 1u);
    for (const char* h : {"ID", "NAME", "HIRED", "Seite 1 von 1", "Gedruckt am"})
        EXPECT_NE(pages[0].find(h), std::string::npos) << h;
    for (int i = 1; i <= 14; ++i)
        EXPECT_NE(pages[0].find("Name " + std::to_string(i)), std::string::npos) << i;
    EXPECT_NE(pages[0].find("07.07.2009"), std::string::npos); // day 40001 of the first row
    EXPECT_NE(pages[0].find("20.07.2009"), std::string::npos); // and 40014 of the last
    double w = 0, h = 0;
    ASSERT_TRUE(PdfPageSize(pdf, w, h));
    EXPECT_LT(w, h);
    ExpectNothingLeft();
}

TEST_F(PrintGui, TwoThousandRowsRepeatTheHeaderAndNumberThePages) {
    auto ds = reporttest::Rows(2000);
    const std::string pdf = dir_.File("out2000.pdf");
    ChoosePdf(pdf);
    EXPECT_EQ(PrintResult(*ds, Cols(), false, nullptr, report_), 0);
    std::string project;
    for (const std::string& l : BuildListProject(report_, 'H', Cols()))
        project += l + "\r\n";
    const int per = L9Geometry(ReadL9Layout(project)).LinesPerPage;
    const int expected = (2000 + per - 1) / per;
    const auto pages = PdfPages(pdf);
    ASSERT_EQ(int(pages.size()), expected);
    int row = 1;
    for (int p = 0; p < expected; ++p) {
        const std::string& t = pages[size_t(p)];
        EXPECT_NE(t.find("NAME"), std::string::npos) << "page " << p + 1;
        EXPECT_NE(t.find("Seite " + std::to_string(p + 1) + " von " + std::to_string(expected)),
                  std::string::npos)
            << t;
        // The page's first and last rows.
        EXPECT_NE(t.find("Name " + std::to_string(row) + " "), std::string::npos) << "page " << p + 1;
        row = std::min(2000, row + per);
        const int last = p + 1 == expected ? 2000 : row - 1;
        EXPECT_NE(t.find("Name " + std::to_string(last) + " "), std::string::npos) << "page " << p + 1;
    }
    ExpectNothingLeft();
}

TEST_F(PrintGui, LandscapePagesAreWiderThanTall) {
    auto ds = reporttest::Rows(30);
    const std::string pdf = dir_.File("q.pdf");
    ChoosePdf(pdf);
    EXPECT_EQ(PrintResult(*ds, Cols(), true, nullptr, report_), 0);
    KeepPdf(pdf, "landscape");
    double w = 0, h = 0;
    ASSERT_TRUE(PdfPageSize(pdf, w, h));
    EXPECT_GT(w, h);
    EXPECT_NEAR(w, 841.9, 1.0);
    ExpectNothingLeft();
}

TEST_F(PrintGui, AWideTableIsScaledToThePageAndLongValuesAreShortened) {
    auto ds = reporttest::Rows(2);
    ds->Edit();
    ds->Fields(1)->SetAsString(std::string(25, 'x') + "ENDE");
    ds->Post();
    // The three columns many times over: far wider than the page.
    std::vector<TReportColumn> cols;
    for (int i = 0; i < 5; ++i)
        for (const TReportColumn& c :
             {TReportColumn{"ID", "", 120}, TReportColumn{"NAME", "", 60}, TReportColumn{"HIRED", "", 200}})
            cols.push_back(c);
    const std::string pdf = dir_.File("wide.pdf");
    ChoosePdf(pdf);
    EXPECT_EQ(PrintResult(*ds, cols, false, nullptr, report_), 0);
    KeepPdf(pdf, "wide");
    const auto pages = PdfPages(pdf);
    ASSERT_EQ(pages.size(), 1u);
    // Every column on the page: the last header and the last row's last date are there.
    size_t dates = 0;
    for (size_t p = pages[0].find("07.07.2009"); p != std::string::npos;
         p = pages[0].find("07.07.2009", p + 1))
        ++dates;
    EXPECT_EQ(dates, 5u);
    // The long name is cut with an ellipsis, not run into the next column.
    EXPECT_EQ(pages[0].find("ENDE"), std::string::npos);
    EXPECT_NE(pages[0].find("\u2026"), std::string::npos);
    ExpectNothingLeft();
}

TEST_F(PrintGui, CancelInTheOptionsDialog) {
    auto ds = reporttest::Rows(10);
    WhenModal([](QWidget* dlg) {
        ASSERT_NE(dlg, nullptr);
        auto* box = Child<QDialogButtonBox>(dlg, "Buttons");
        if (box) box->button(QDialogButtonBox::Cancel)->click();
    });
    EXPECT_EQ(PrintResult(*ds, Cols(), false, nullptr, report_), LL_ERR_USER_ABORTED);
    ExpectNothingLeft();
}

TEST_F(PrintGui, CancelInTheProgressBox) {
    auto ds = reporttest::Rows(2000);
    const std::string pdf = dir_.File("cancelled.pdf");
    bool sawBox = false;
    ChoosePdf(pdf, [&sawBox](QWidget* box) {
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->objectName(), "L9ProgressBox");
        sawBox = true;
        EXPECT_EQ(Child<QLabel>(box, "LblPrinter")->text(), "PDF-Datei");
        Grab(box, "progress");
        Child<QPushButton>(box, "BtnCancel")->click();
    });
    EXPECT_EQ(PrintResult(*ds, Cols(), false, nullptr, report_), LL_ERR_USER_ABORTED);
    EXPECT_TRUE(sawBox);
    EXPECT_FALSE(fs::exists(pdf));
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    ExpectNothingLeft();
}

TEST_F(PrintGui, PreviewPagesThroughAndItsFilesAreDeleted) {
    auto ds = reporttest::Rows(120);
    std::string label1, label2;
    bool previewFileExisted = false;
    const std::string savedPdf = dir_.File("fromPreview.pdf");
    WhenModal([&](QWidget* dlg) {
        ASSERT_NE(dlg, nullptr);
        Child<QRadioButton>(dlg, "RbPreview")->click();
        ClickOk(dlg);
    });
    // The preview is up once the print has run: look at it from a timer that waits for it.
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [&]() {
        QWidget* w = QApplication::activeModalWidget();
        if (!w || w->objectName() != "L9Preview") return;
        poll->stop();
        for (auto& e : fs::recursive_directory_iterator(tmp_.Str()))
            if (e.path().filename() == "bnxrep.ll") {
                previewFileExisted = true;
                // The per-process folder above "HomeDir" is the user's alone.
                EXPECT_EQ(fs::status(e.path().parent_path().parent_path()).permissions(),
                          fs::perms::owner_all);
            }
        label1 = Child<QLabel>(w, "LblPage")->text().toStdString();
        Child<QPushButton>(w, "BtnNext")->click();
        label2 = Child<QLabel>(w, "LblPage")->text().toStdString();
        Grab(w, "preview");
        // Saved as PDF from the preview through the file dialog.
        WhenModal([&](QWidget* fd) {
            auto* dlg = qobject_cast<QFileDialog*>(fd);
            ASSERT_NE(dlg, nullptr);
            dlg->selectFile(QString::fromStdString(savedPdf));
            static_cast<QDialog*>(dlg)->accept();
        });
        Child<QPushButton>(w, "BtnPdf")->click();
        Child<QPushButton>(w, "BtnClose")->click();
    });
    poll->start(5);
    EXPECT_EQ(PrintResult(*ds, Cols(), false, nullptr, report_), 0);
    delete poll;
    EXPECT_TRUE(previewFileExisted);
    const auto saved = PdfPages(savedPdf);
    ASSERT_EQ(saved.size(), 3u);
    EXPECT_NE(saved[2].find("Name 120"), std::string::npos);
    EXPECT_EQ(label1.rfind("Seite 1 von ", 0), 0u) << label1;
    EXPECT_EQ(label2.rfind("Seite 2 von ", 0), 0u) << label2;
    EXPECT_FALSE(fs::exists(fs::current_path() / "HomeDir"));
    ExpectNothingLeft();
}

TEST_F(PrintGui, NoOpenResultSaysSoAndPrintsNothing) {
    auto ds = reporttest::Rows(3);
    ds->Close();
    std::string text;
    WhenModal([&text](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        ASSERT_NE(box, nullptr);
        text = box->text().toStdString();
        box->button(QMessageBox::Ok)->click();
    });
    EXPECT_EQ(PrintResult(*ds, Cols(), false, nullptr, report_), PrintNoResult);
    EXPECT_NE(text.find("kein Ergebnis"), std::string::npos) << text;
    ExpectNothingLeft();
}

TEST_F(PrintGui, MissingFragmentShowsTheFileErrorAndNeverCallsTheEngine) {
    auto ds = reporttest::Rows(3);
    fs::remove(report_ + "/lastq.bnx");
    std::string text, title;
    WhenModal([&](QWidget* w) {
        ASSERT_NE(w, nullptr);
        title = w->objectName().toStdString();
        auto* box = qobject_cast<QMessageBox*>(w);
        ASSERT_NE(box, nullptr);
        text = box->text().toStdString();
        box->button(QMessageBox::Ok)->click();
    });
    EXPECT_EQ(PrintResult(*ds, Cols(), true, nullptr, report_), PrintNoProject);
    EXPECT_NE(text.find("lastq.bnx"), std::string::npos) << text;
    EXPECT_FALSE(fs::exists(report_ + "/bnxrep.lst"));
}

TEST_F(PrintGui, TheGridsColumnsInTheirOrderWithTheirWidths) {
    auto ds = reporttest::Rows(5);
    TDataSource source(ds.get());
    TQxDBGrid grid;
    QAbstractItemModelTester tester(grid.model(), QAbstractItemModelTester::FailureReportingMode::Warning);
    grid.SetDataSource(&source);
    ASSERT_EQ(grid.ColumnCount(), 3);
    grid.Columns(0)->SetWidth(64);
    grid.Columns(1)->SetWidth(100);
    grid.Columns(1)->Title().SetCaption("Name des Mitarbeiters");
    grid.Columns(2)->SetWidth(77);
    const auto cols = ReportColumnsOf(grid);
    ASSERT_EQ(cols.size(), 3u);
    EXPECT_EQ(cols[0].FieldName, "ID");
    EXPECT_EQ(cols[0].WidthPx, 64);
    EXPECT_EQ(cols[1].FieldName, "NAME");
    EXPECT_EQ(cols[1].Title, "Name des Mitarbeiters");
    EXPECT_EQ(cols[1].WidthPx, 100);
    EXPECT_EQ(cols[2].WidthPx, 77);

    // Printed through the window's component over the grid's data source, as the print button does.
    TDBL9 dbl9;
    dbl9.ConfigureForWorksheet(&source);
    const std::string pdf = dir_.File("grid.pdf");
    ChoosePdf(pdf);
    EXPECT_EQ(PrintResult(dbl9, cols, false, nullptr, report_), 0);
    const auto pages = PdfPages(pdf);
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_NE(pages[0].find("Name 5"), std::string::npos);
    ExpectNothingLeft();
}

int main(int argc, char** argv) {
    // Test discovery runs the program without the test's environment.
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
