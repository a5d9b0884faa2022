// The export form, the folder picker and the clipboard copy on the offscreen platform against vestra-emu.
#include "OraE2e.h"
#include "app/ExportPlan.h"
#include "app/History.h"
#include "app/WorksheetController.h"
#include "app/gui/ClipboardCopy.h"
#include "app/gui/Cp1252Qt.h"
#include "app/gui/ExportAction.h"
#include "app/gui/FExport.h"
#include "app/gui/FFolderSelect.h"
#include "dataset/DB.h"
#include "dataset/DBErrors.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>

namespace fs = std::filesystem;
using oratest::TRig;

namespace {

QString U(const char* utf8) {
    return QString::fromUtf8(utf8);
}

// Calls fn with the modal widget of type T once it is up (looked for from the event loop).
template <class T> QTimer* WhenModal(std::function<void(T*)> fn) {
    auto* timer = new QTimer(qApp);
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, fn] {
        if (T* w = qobject_cast<T*>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            fn(w);
        }
    });
    timer->start();
    return timer;
}

// A program folder of its own with the DAT folder the program expects beside it.
class ProgramFolder {
public:
    ProgramFolder() {
        path_ = fs::temp_directory_path() / ("vestra-exportgui-" + std::to_string(::getpid()) + "-" +
                                             ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(path_);
        fs::create_directories(path_ / "DAT");
    }
    ~ProgramFolder() { fs::remove_all(path_); }
    std::string Folder() const { return path_.string() + "/"; }
    std::string Dat(const std::string& name = "") const { return (path_ / "DAT" / name).string(); }
    std::vector<std::string> DatEntries() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(path_ / "DAT"))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    fs::path path_;
};

// Counts what the grid would see of the worksheet query.
class CountingLink : public TDataLink {
public:
    int scrolls = 0, activeChanges = 0;
    void DataSetScrolled(int) override { ++scrolls; }
    void ActiveChanged() override { ++activeChanges; }
};

// The worksheet as far as the export needs it: editor, status line, query, data source and history, with
// the worksheet's own Execute controller behind them.
struct Worksheet : IWorksheetView {
    TRig rig;
    TOraQuery qry{rig.s.get()};
    TDataSource datS{&qry};
    THistory history;
    TWorksheetController controller{*rig.s, qry, history, *this};
    QWidget window;
    QPlainTextEdit* editor = new QPlainTextEdit(&window);
    QLabel* status = new QLabel(&window);
    ProgramFolder program;
    TExportWiring wiring;

    explicit Worksheet(vemu::EmuOptions o = {}) : rig(std::move(o)) {
        qry.ReadOnly = true;
        qry.SetAutoCommit(false);
        auto* layout = new QVBoxLayout(&window);
        layout->addWidget(editor);
        layout->addWidget(status);
        wiring.window = &window;
        wiring.session = rig.s.get();
        wiring.query = &qry;
        wiring.dataSource = &datS;
        wiring.beginExecute = [this](const std::string& text) {
            editor->setPlainText(QString::fromLatin1(text.c_str())); // the statements here are ASCII
            return controller.BeginExecute(text);
        };
        wiring.runStatement = [this] { controller.RunStatement(); };
        wiring.endExecute = [this](const std::string& text) { controller.EndExecute(text); };
        wiring.setStatus = [this](const QString& text) { status->setText(text); };
        wiring.programFolder = program.Folder();
        rig.Exec("create table T (A number, B varchar2(10))");
        rig.Exec("insert into T values (1, 'x')");
        rig.Exec("insert into T values (2, null)");
        rig.Exec("create table C (S char(5), N varchar2(10))");
        rig.Exec("insert into C values (' ab', '  c ')");
        rig.Exec("commit");
    }
    // IWorksheetView
    void SetStatus(const std::string& text) override { status->setText(QStringFrom1252(text)); }
    void SetCommitRollbackEnabled(bool) override {}
    void SetHistoryLabel(const std::string&) override {}
    bool AskParameters(std::vector<std::pair<std::string, std::string>>&) override { return false; }
    void ShowMessage(const std::string&) override {}
    bool AskYesNo(const std::string&) override { return false; }
    void ResetGrid() override {}
    void SetGridAttached(bool on) override { datS.SetEnabled(on); }

    void Show(const std::string& sql) {
        qry.Close();
        qry.SetSQL(sql);
        qry.Open();
    }
    // The export action with the form set up by fill and closed with OK.
    TExportOutcome Export(const std::function<void(TFExport*)>& fill) {
        WhenModal<TFExport>([fill](TFExport* form) {
            fill(form);
            form->OKBtn->click();
        });
        return RunExportAction(wiring);
    }
};

void TypeInto(QLineEdit* edit, const QString& text) {
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
}

// Clicks a radio button or check box on its caption, where a user clicks.
void ClickCaption(QAbstractButton* b) {
    QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(24, b->height() / 2));
}

std::string Read(const std::string& file) {
    return ReadWholeFile(file);
}

} // namespace

TEST(ExportForm, StartValuesAndTheGroupsEnabledInTurn) {
    Worksheet ws;
    TFExport form(*ws.rig.s, nullptr, ws.program.Folder());
    EXPECT_EQ(form.windowTitle(), U("Aktuelle Abfragedaten oder Tabellendaten exortieren ..."));
    EXPECT_EQ(form.EdtDatei->text().toStdString(), ws.program.Dat("output.DAT"));
    EXPECT_EQ(form.EdtOrdner->text().toStdString(), ws.program.Dat());
    EXPECT_TRUE(form.EdtDatei->isReadOnly());
    EXPECT_TRUE(form.EdtOrdner->isReadOnly());
    EXPECT_TRUE(form.RBAbfrage->isChecked());
    EXPECT_TRUE(form.RBNurTabName->isChecked());
    EXPECT_FALSE(form.RBBenutzerUndTabName->isChecked());
    EXPECT_EQ(form.RBBenutzerUndTabName->text(),
              U("Dateien benennen als \"Benutzername_Tabellenname.Dateiendung\""));
    EXPECT_EQ(form.EdtDateiendung->text(), U("DAT"));
    EXPECT_EQ(form.EdtDateiendung->maxLength(), 6);
    EXPECT_EQ(form.EdtTrenner->text(), U("|"));
    EXPECT_EQ(form.EdtTrenner->maxLength(), 6);
    EXPECT_TRUE(form.ChBUeberschriften->isChecked());
    EXPECT_TRUE(form.ChBTrim->isChecked());
    EXPECT_FALSE(form.ChBAscii->isChecked());
    EXPECT_FALSE(form.CBBenutzer->isEditable());
    EXPECT_EQ(form.CBBenutzer->currentIndex(), -1);
    ASSERT_GE(form.CBBenutzer->count(), 3);
    EXPECT_EQ(form.CBBenutzer->itemText(0), U("*ALLE*"));
    EXPECT_GE(form.CBBenutzer->findText("SCOTT"), 1);
    EXPECT_EQ(form.LBTabellen->count(), 0);
    form.show();
    EXPECT_TRUE(form.EdtDatei->isEnabled());
    EXPECT_FALSE(form.LBTabellen->isEnabled());
    EXPECT_FALSE(form.BtnOrdner->isEnabled());

    // Choosing the tables for the first time lists every table of every owner, all marked.
    ClickCaption(form.RBTabellen);
    EXPECT_TRUE(form.RBTabellen->isChecked());
    EXPECT_FALSE(form.BtnDatei->isEnabled());
    EXPECT_FALSE(form.GrpBox1->isEnabled());
    EXPECT_TRUE(form.LBTabellen->isEnabled());
    EXPECT_TRUE(form.EdtDateiendung->isEnabled());
    EXPECT_EQ(form.CBBenutzer->currentText(), U("*ALLE*"));
    const int all = form.LBTabellen->count();
    ASSERT_GE(all, 5);
    EXPECT_EQ(int(form.LBTabellen->selectedItems().size()), all);
    EXPECT_FALSE(form.LBTabellen->findItems("SCOTT.EMP", Qt::MatchExactly).isEmpty());

    // One owner: only its tables, again all marked; a click marks one alone, the button marks all again.
    form.CBBenutzer->setCurrentIndex(form.CBBenutzer->findText("SCOTT"));
    const int scott = form.LBTabellen->count();
    EXPECT_LT(scott, all);
    EXPECT_EQ(int(form.LBTabellen->selectedItems().size()), scott);
    for (int i = 0; i < scott; ++i)
        EXPECT_TRUE(form.LBTabellen->item(i)->text().startsWith("SCOTT."));
    QListWidgetItem* emp = form.LBTabellen->findItems("SCOTT.EMP", Qt::MatchExactly).value(0);
    ASSERT_TRUE(emp);
    QTest::mouseClick(form.LBTabellen->viewport(), Qt::LeftButton, {},
                      form.LBTabellen->visualItemRect(emp).center());
    EXPECT_EQ(form.LBTabellen->selectedItems().size(), 1);
    EXPECT_EQ(form.Settings().tables, std::vector<std::string>{"SCOTT.EMP"});
    form.BtnMarkAlleTabs->click();
    EXPECT_EQ(int(form.LBTabellen->selectedItems().size()), scott);

    ClickCaption(form.RBAbfrage);
    EXPECT_TRUE(form.GrpBox1->isEnabled());
    EXPECT_FALSE(form.GrpBox2->isEnabled());
    EXPECT_FALSE(form.Settings().tableMode);

    TFExport fromExe(*ws.rig.s);
    EXPECT_EQ(fromExe.EdtDatei->text().toStdString(), ExportProgramFolder() + "DAT/output.DAT");
    if (const char* shots = std::getenv("VESTRA_SHOTS")) {
        form.RBTabellen->click();
        form.grab().save(QString::fromUtf8(shots) + "/export-form.png");
    }
}

TEST(ExportForm, WithoutTheCatalogTheResultCanStillBeExported) {
    // A session that cannot reach its server: the owner list fails; the form still opens for the result.
    oratest::TEmu emu;
    auto sess = oratest::MakeSession(emu);
    sess->SetServer("127.0.0.1:1:bnx");
    ProgramFolder program;
    QString shown;
    WhenModal<QMessageBox>([&shown](QMessageBox* box) {
        shown = box->text();
        box->accept();
    });
    TFExport form(*sess, nullptr, program.Folder());
    form.show();
    EXPECT_TRUE(QTest::qWaitFor([&shown] { return !shown.isEmpty(); }, 10000)); // shown once the form is up
    EXPECT_TRUE(shown.contains("NET"));
    EXPECT_EQ(form.CBBenutzer->count(), 1);
    EXPECT_FALSE(form.RBTabellen->isEnabled());
    EXPECT_TRUE(form.RBAbfrage->isChecked());
    EXPECT_TRUE(form.EdtDatei->isEnabled());
}

TEST(ExportForm, ResultFilesWithTheFormsSeparatorsAndTrim) {
    Worksheet ws;
    ws.Show("select A, B from T where A = 1");
    // Default settings: DAT/output.DAT beside the program.
    EXPECT_EQ(ws.Export([](TFExport*) {}), TExportOutcome::Done);
    EXPECT_EQ(Read(ws.program.Dat("output.DAT")), "A|B\r\n1|x\r\n");
    EXPECT_EQ(ws.status->text(), U("OK"));
    EXPECT_TRUE(ws.history.Entries().empty()); // nothing re-executed
    EXPECT_TRUE(ws.datS.Enabled());

    ws.Export([](TFExport* f) {
        TypeInto(f->EdtTrenner, "0D0A");
        ClickCaption(f->ChBAscii);
    });
    EXPECT_EQ(Read(ws.program.Dat("output.DAT")), "A\r\nB\r\n1\r\nx\r\n");

    ws.Export([](TFExport* f) { TypeInto(f->EdtTrenner, ";;"); });
    EXPECT_EQ(Read(ws.program.Dat("output.DAT")), "A;;B\r\n1;;x\r\n");

    // Trim off keeps the blanks as the data set renders the values; trim on takes them off; headers off
    // leaves the header out. The query trims a CHAR value's trailing blanks itself unless told otherwise.
    ws.Show("select S, N from C");
    ws.Export([](TFExport* f) { ClickCaption(f->ChBTrim); });
    EXPECT_EQ(Read(ws.program.Dat("output.DAT")), "S|N\r\n ab|  c \r\n");
    ws.qry.Close();
    ws.qry.SetTrimFixedChar(false);
    ws.Show("select S, N from C");
    ws.Export([](TFExport* f) { ClickCaption(f->ChBTrim); });
    EXPECT_EQ(Read(ws.program.Dat("output.DAT")), "S|N\r\n ab  |  c \r\n");
    ws.Export([](TFExport* f) { ClickCaption(f->ChBUeberschriften); });
    EXPECT_EQ(Read(ws.program.Dat("output.DAT")), "ab|c\r\n");

    // Cancel in the form does nothing.
    fs::remove(ws.program.Dat("output.DAT"));
    WhenModal<TFExport>([](TFExport* f) { f->CancelBtn->click(); });
    EXPECT_EQ(RunExportAction(ws.wiring), TExportOutcome::Cancelled);
    EXPECT_TRUE(ws.program.DatEntries().empty());
}

TEST(ExportForm, BadHexPairOrNoResultWritesNothing) {
    Worksheet ws;
    ws.Show("select A, B from T");
    try {
        ws.Export([](TFExport* f) {
            TypeInto(f->EdtTrenner, "3BZZ");
            f->ChBAscii->click();
        });
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_EQ(std::string(e.what()), "'$ZZ' ist kein g\xFCltiger Integerwert");
    }
    EXPECT_TRUE(ws.program.DatEntries().empty());

    ws.qry.Close();
    try {
        ws.Export([](TFExport*) {});
        FAIL();
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(std::string(e.what()), SDataSetClosed);
    }
    EXPECT_TRUE(ws.program.DatEntries().empty());
    EXPECT_TRUE(ws.datS.Enabled());

    // The DAT folder is not created by the program: without it the file error stops the export.
    fs::remove_all(ws.program.Dat());
    ws.Show("select A from T");
    EXPECT_THROW(ws.Export([](TFExport*) {}), EFileError);
    EXPECT_FALSE(fs::exists(ws.program.Dat()));
}

TEST(ExportForm, TablesByTableNameAndByOwnerAndTableName) {
    Worksheet ws;
    auto pickThree = [&ws](TFExport* f, bool ownerNames) {
        ClickCaption(f->RBTabellen);
        f->CBBenutzer->setCurrentIndex(f->CBBenutzer->findText("SCOTT"));
        f->LBTabellen->clearSelection();
        for (const char* t : {"SCOTT.DEPT", "SCOTT.EMP", "SCOTT.SALGRADE"})
            f->LBTabellen->findItems(t, Qt::MatchExactly).value(0)->setSelected(true);
        if (ownerNames) ClickCaption(f->RBBenutzerUndTabName);
        // The folder through the picker.
        WhenModal<TFFolderSelect>([&ws](TFFolderSelect* picker) {
            picker->Tree()->setCurrentIndex(picker->Model()->index(QString::fromStdString(ws.program.Dat())));
            picker->findChild<QPushButton*>("OKBtn")->click();
        });
        f->BtnOrdner->click();
    };
    ws.Export([&](TFExport* f) { pickThree(f, false); });
    EXPECT_EQ(ws.program.DatEntries(), (std::vector<std::string>{"DEPT.DAT", "EMP.DAT", "SALGRADE.DAT"}));
    EXPECT_EQ(Read(ws.program.Dat("DEPT.DAT")),
              "DEPTNO|DNAME|LOC\r\n10|ACCOUNTING|NEW YORK\r\n20|RESEARCH|DALLAS\r\n30|SALES|CHICAGO\r\n"
              "40|OPERATIONS|BOSTON\r\n");
    EXPECT_EQ(Read(ws.program.Dat("SALGRADE.DAT")).substr(0, 31), "GRADE|LOSAL|HISAL\r\n1|700|1200\r\n");
    EXPECT_EQ(ws.history.Count(), 3);
    EXPECT_EQ(ws.history.Entries().back(), "select * from SCOTT.SALGRADE");
    EXPECT_EQ(ws.editor->toPlainText(), U("select * from SCOTT.SALGRADE"));
    EXPECT_EQ(ws.status->text(), U("OK"));

    fs::remove_all(ws.program.Dat());
    fs::create_directory(ws.program.Dat());
    ws.Export([&](TFExport* f) { pickThree(f, true); });
    EXPECT_EQ(ws.program.DatEntries(),
              (std::vector<std::string>{"SCOTT_DEPT.DAT", "SCOTT_EMP.DAT", "SCOTT_SALGRADE.DAT"}));
    EXPECT_EQ(ws.history.Count(), 6);

    // A table that fails stops the rest and keeps what was written.
    fs::remove_all(ws.program.Dat());
    fs::create_directory(ws.program.Dat());
    TExportSettings s;
    s.tableMode = true;
    s.folder = ws.program.Dat();
    s.tables = {"SCOTT.DEPT", "SCOTT.NOSUCH", "SCOTT.EMP"};
    EXPECT_ANY_THROW(RunExportWith(ws.wiring, s));
    EXPECT_EQ(ws.program.DatEntries(), std::vector<std::string>{"DEPT.DAT"});
}

TEST(ExportForm, SaveDialogRefusesMissingFoldersAndReadOnlyFiles) {
    Worksheet ws;
    TFExport form(*ws.rig.s, nullptr, ws.program.Folder());
    const QString readOnly = "locked.DAT"; // typed in the dialog's folder, the DAT folder
    const QString lockedPath = QString::fromStdString(ws.program.Dat("locked.DAT"));
    WriteWholeFile(lockedPath.toStdString(), "keep\r\n");
    fs::permissions(lockedPath.toStdString(), fs::perms::owner_read | fs::perms::group_read);
    const QString missing = QString::fromStdString(ws.program.Folder() + "nosuch/out.DAT");
    const QString goodPath = QString::fromStdString(ws.program.Dat("mine.txt"));
    WriteWholeFile(goodPath.toStdString(), "old\r\n");
    QStringList boxes;
    // Puts the name into the dialog and confirms it; the message box that follows is answered by answer.
    std::function<void(QFileDialog*, const QString&, QMessageBox::StandardButton, std::function<void()>)>
        type = [&](QFileDialog* dialog, const QString& name, QMessageBox::StandardButton answer,
                   std::function<void()> then) {
            WhenModal<QMessageBox>([&boxes, answer, then](QMessageBox* box) {
                boxes << box->text();
                if (QAbstractButton* b = box->button(answer))
                    b->click();
                else
                    box->reject();
                QTimer::singleShot(0, then);
            });
            dialog->selectFile(name);
            QMetaObject::invokeMethod(dialog, "accept"); // what Enter or the Save button calls
        };
    WhenModal<QFileDialog>([&](QFileDialog* dialog) {
        type(dialog, missing, QMessageBox::Ok, [&, dialog] {
            type(dialog, readOnly, QMessageBox::Ok, [&, dialog] {
                type(dialog, goodPath, QMessageBox::No,
                     [&, dialog] { type(dialog, goodPath, QMessageBox::Yes, [] {}); });
            });
        });
    });
    form.BtnDatei->click();
    ASSERT_EQ(boxes.size(), 4) << boxes.join(" / ").toStdString();
    EXPECT_TRUE(boxes[0].contains(U("Der Pfad ist nicht vorhanden")));
    EXPECT_TRUE(boxes[1].contains(U("schreibgeschützt"))) << boxes.join(" / ").toStdString();
    EXPECT_TRUE(boxes[2].contains(U("existiert bereits"))) << boxes.join(" / ").toStdString();
    EXPECT_EQ(boxes[3], boxes[2]);
    EXPECT_EQ(form.EdtDatei->text(), goodPath);
    EXPECT_EQ(Read(goodPath.toStdString()), "old\r\n"); // choosing a file does not write it
}

TEST(FolderPicker, ReturnsTheChosenFolderWithSeparatorAndNothingWithoutOne) {
    ProgramFolder dir;
    TFFolderSelect picker(nullptr, QString::fromStdString(dir.Dat()));
    // No QAbstractItemModelTester here: the model is Qt's own file system model, and the tester would walk
    // the whole file system ten folders deep.
    EXPECT_EQ(picker.windowTitle(), U("Ordner auswählen..."));
    EXPECT_EQ(picker.SelectedFolder().toStdString(), dir.Dat());
    EXPECT_TRUE(picker.Model()->filter() & QDir::AllDirs);
    EXPECT_FALSE(picker.Model()->filter() & QDir::Files);
    EXPECT_EQ(picker.Model()->rootPath(), QDir::rootPath());

    // A right click chooses the folder under the mouse.
    picker.show();
    const QModelIndex parent = picker.Model()->index(QString::fromStdString(dir.Folder()));
    picker.Tree()->scrollTo(parent);
    const QPoint at = picker.Tree()->visualRect(parent).center();
    QContextMenuEvent menu(QContextMenuEvent::Mouse, at, picker.Tree()->viewport()->mapToGlobal(at));
    QApplication::sendEvent(picker.Tree()->viewport(), &menu);
    EXPECT_EQ(picker.SelectedFolder().toStdString(), dir.Folder());

    // The home button goes home.
    picker.findChild<QPushButton*>("BtnHome")->click();
    EXPECT_EQ(picker.SelectedFolder(), QDir::homePath() + "/");
    if (const char* shots = std::getenv("VESTRA_SHOTS"))
        picker.grab().save(QString::fromUtf8(shots) + "/picker.png");

    // OK without a chosen folder changes nothing; Cancel neither.
    QString folder = "/keep/";
    WhenModal<TFFolderSelect>([](TFFolderSelect* p) {
        p->Tree()->selectionModel()->clear();
        p->findChild<QPushButton*>("OKBtn")->click();
    });
    EXPECT_FALSE(TFFolderSelect::Choose(nullptr, folder));
    WhenModal<TFFolderSelect>([](TFFolderSelect* p) { p->findChild<QPushButton*>("CancelBtn")->click(); });
    EXPECT_FALSE(TFFolderSelect::Choose(nullptr, folder));
    EXPECT_EQ(folder, U("/keep/"));
}

TEST(ExportProgress, EscapeCancelsTheTableAndTheRest) {
    vemu::EmuOptions o;
    o.benchRows = 300000;
    Worksheet ws(o);
    ws.wiring.progressWindowAfterMs = 0;
    WriteWholeFile(ws.program.Dat("BENCH.DAT"), "previous\r\n");
    TExportSettings s;
    s.tableMode = true;
    s.folder = ws.program.Dat();
    s.tables = {"SCOTT.DEPT", "SCOTT.BENCH", "SCOTT.EMP"};
    bool sawProgress = false;
    WhenModal<QProgressDialog>([&](QProgressDialog* p) {
        sawProgress =
            p->labelText().contains(U("Speichere Datei")) && p->labelText().contains(U("Datensätze"));
        QTest::keyClick(p, Qt::Key_Escape);
    });
    EXPECT_EQ(RunExportWith(ws.wiring, s), TExportOutcome::Cancelled);
    EXPECT_TRUE(sawProgress);
    EXPECT_TRUE(Read(ws.program.Dat("BENCH.DAT")) == "previous\r\n"); // no diff of 300 000 lines
    EXPECT_EQ(ws.program.DatEntries(), (std::vector<std::string>{"BENCH.DAT", "DEPT.DAT"}));
    EXPECT_TRUE(ws.status->text().startsWith(U("Export abgebrochen: Datei ")));
    EXPECT_TRUE(ws.status->text().endsWith(U("die übrigen Tabellen wurden nicht exportiert")));
    EXPECT_EQ(ws.history.Count(), 2);
    EXPECT_TRUE(ws.datS.Enabled());
    EXPECT_EQ(ws.qry.RecNo(), 1);
}

TEST(ExportFetchRows, LargeBlocksForTheExportTheQuerysOwnSizeForTheStatementsAfterIt) {
    Worksheet ws;
    TOraQuery& q = ws.qry;
    int closes = 0;
    q.AfterClose = [&closes](TDataSet&) { ++closes; }; // a handler of the query's own stays in place
    const int own = q.FetchRows();
    ASSERT_NE(own, kExportFetchRows);

    // Restored while the query is closed: at once.
    {
        TExportFetchRows rows(q);
        rows.Use();
        EXPECT_EQ(q.FetchRows(), kExportFetchRows);
        rows.Restore();
        EXPECT_EQ(q.FetchRows(), own);
    }

    // Restored while the last table's result is open: the result keeps its blocks until it closes.
    TExportFetchRows first(q);
    first.Use();
    ws.Show("select * from SCOTT.EMP");
    first.Restore();
    EXPECT_EQ(q.FetchRows(), kExportFetchRows);
    EXPECT_TRUE(q.Active());
    // A second export before the query closed: it knows the query's own size.
    {
        TExportFetchRows second(q);
        EXPECT_EQ(second.OwnRows(), own);
        q.Close();
        second.Use();
        ws.Show("select * from SCOTT.DEPT");
        second.Restore();
    }
    // An export of the current result uses no blocks of its own, but hands the pending restore on.
    {
        TExportFetchRows resultOnly(q);
        resultOnly.Restore();
    }
    EXPECT_EQ(q.FetchRows(), kExportFetchRows);
    const int closesBefore = closes;
    ws.Show("select * from SCOTT.DEPT"); // the worksheet's next statement closes the query first
    EXPECT_EQ(q.FetchRows(), own);
    EXPECT_EQ(closes, closesBefore + 1);
    q.Close();
    EXPECT_EQ(q.FetchRows(), own);
    EXPECT_EQ(closes, closesBefore + 2);
    q.AfterClose = nullptr;
}

TEST(ClipboardCopy, TabSeparatedUnicodeTextWithTheGridDetached) {
    Worksheet ws;
    ws.rig.Exec("insert into T values (3, 'M\xFCller \x80')");
    ws.Show("select A, B from T where A < 3 order by A");
    CountingLink link;
    link.SetDataSource(&ws.datS);
    ws.qry.Last();
    const int before = link.activeChanges;
    link.scrolls = 0;
    CopyResultToClipboard(ws.qry, &ws.datS);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), U("A\tB\r\n1\tx\r\n2\t\r\n"));
    EXPECT_EQ(link.scrolls, 0);                // detached during the walk
    EXPECT_EQ(link.activeChanges - before, 2); // off and on again
    EXPECT_TRUE(ws.datS.Enabled());
    EXPECT_EQ(ws.qry.RecNo(), 1); // the grid shows the first record

    ws.Show("select B from T where A = 3");
    CopyResultToClipboard(ws.qry, &ws.datS);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), U("B\r\nMüller €\r\n")); // 0x80 is the euro sign in 1252

    ws.Show("select B from T order by A");
    CopyResultToClipboard(ws.qry, &ws.datS);
    EXPECT_FALSE(QGuiApplication::clipboard()->text().contains('\t'));

    // Closed: the error, the old clipboard, the grid attached again.
    ws.qry.Close();
    EXPECT_THROW(CopyResultToClipboard(ws.qry, &ws.datS), EDatabaseError);
    EXPECT_TRUE(QGuiApplication::clipboard()->text().startsWith(U("B\r\nx\r\n")));
    EXPECT_TRUE(ws.datS.Enabled());
}

int main(int argc, char** argv) {
    // Test discovery runs the program without the test's environment.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // A dialog that no test step closes would hang the run: after 30 s it is rejected (and the test fails
    // on what it expected of it).
    QWidget* stuck = nullptr;
    int seconds = 0;
    QTimer watchdog;
    QObject::connect(&watchdog, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        seconds = modal && modal == stuck ? seconds + 1 : 0;
        stuck = modal;
        if (seconds >= 30)
            if (auto* dialog = qobject_cast<QDialog*>(modal)) {
                ADD_FAILURE() << "dialog left open: " << modal->objectName().toStdString();
                dialog->reject();
            }
    });
    watchdog.start(1000);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
