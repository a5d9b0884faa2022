#include "app/gui/FVestra.h"

#include "app/AnsiText.h"
#include "app/History.h"
#include "app/ProgramFolder.h"
#include "app/SelectParser.h"
#include "app/Worksheet.h"
#include "app/gui/ClipboardCopy.h"
#include "app/gui/Cp1252Qt.h"
#include "app/gui/DataModule1.h"
#include "app/gui/FInfo.h"
#include "app/gui/FParam.h"
#include "app/gui/FQuickView.h"
#include "app/gui/FocusKeys.h"
#include "app/gui/HelpWindow.h"
#include "app/gui/Icons.h"
#include "app/gui/RecoveryKeeper.h"
#include "app/gui/SchemaPanel.h"
#include "app/gui/SqlEditor.h"
#include "app/gui/StatementTools.h"
#include "app/gui/WorksheetRun.h"
#include "connect/QtText.h"
#include "dataset/DBErrors.h"
#include "grid/QxGrid.h"
#include "grid/ThemeColors.h"
#include "report/GridColumns.h"
#include "report/L9.h"
#include "report/L9Qt.h"
#include "report/PrintResult.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHostInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTabBar>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

const char* const kProductName = "Vestra";
const char* const kProductVersion = "1.41";

namespace {

const char kInitialSql[] = "select * from sys.dba_tables order by table_name";

void SetHint(QWidget* w, const QString& hint) {
    const int bar = hint.indexOf('|');
    w->setToolTip((bar < 0 ? hint : hint.left(bar)).trimmed());
    w->setStatusTip((bar < 0 ? hint : hint.mid(bar + 1)).trimmed());
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(name);
    b->setAutoDefault(false);
    b->setFocusPolicy(Qt::TabFocus);
    return b;
}

// A button bound to an action: it triggers the action and follows its enabled state and hint.
void BindButton(QPushButton* b, QAction* a) {
    QObject::connect(b, &QPushButton::clicked, a, &QAction::trigger);
    auto sync = [b, a] {
        b->setEnabled(a->isEnabled());
        if (b->toolTip().isEmpty()) b->setToolTip(a->toolTip());
        if (b->statusTip().isEmpty()) b->setStatusTip(a->statusTip());
    };
    QObject::connect(a, &QAction::changed, b, sync);
    sync();
}

QFont FixedFont() {
    QFont f = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    f.setStyleHint(QFont::TypeWriter);
    return f;
}

} // namespace

TFVestra::TFVestra(const TStartOptions& options, QWidget* parent) : QMainWindow(parent) {
    setObjectName("FVestra");
    setWindowTitle(QString("%1   Version %2").arg(kProductName, kProductVersion));
    BuildWindow();
    ConfigureComponents(options);
}

TFVestra::~TFVestra() {
    recovery_.reset();
    // A statement still running ends before the session and the query go.
    run_.reset();
    tools_.reset();
    // Help windows close with the worksheet window.
    if (help_) help_->CloseAll();
    controller_.reset();
    // The grids are children (they go after the members): each lets go of its data source now.
    for (const auto& p : pages_)
        p->grid->SetDataSource(nullptr);
    // The data module's queries (the workbench's) go before the session they use.
    delete dm_;
    dm_ = nullptr;
}

void TFVestra::BuildWindow() {
    // Tool bar (bound to the data module's actions in SetDataModule).
    ToolBar1 = addToolBar("Symbolleiste");
    ToolBar1->setObjectName("ToolBar1");
    ToolBar1->setMovable(false);
    ToolBar1->setIconSize(QSize(20, 20));

    auto* central = new QWidget(this);
    central->setObjectName("Panel2");
    auto* v = new QVBoxLayout(central);
    v->setContentsMargins(0, 0, 0, 0);
    v->setSpacing(0);

    // Button bar.
    auto* bar = new QWidget(central);
    bar->setObjectName("Panel1");
    auto* h = new QHBoxLayout(bar);
    h->setContentsMargins(6, 4, 6, 4);
    h->setSpacing(4);
    BtnExec = MakeButton(bar, "BtnExec", "Ausf\u00FChren");
    BtnRefresh = MakeButton(bar, "BtnRefresh", "Aktualisieren");
    BtnBack = MakeButton(bar, "BtnBack", "<<");
    BtnForw = MakeButton(bar, "BtnForw", ">>");
    BtnBack->setAccessibleName("Historie zur\u00FCck");
    BtnForw->setAccessibleName("Historie vor");
    BtnBack->setFixedWidth(36);
    BtnForw->setFixedWidth(36);
    LblPos = new QLabel("0 / 0", bar);
    LblPos->setObjectName("LblPos");
    // The label's text is what a screen reader announces (its name); the caption says what it is.
    LblPos->setAccessibleDescription("Position in der Historie");
    LblPos->setMinimumWidth(56);
    LblPos->setAlignment(Qt::AlignCenter);
    BtnC = MakeButton(bar, "BtnC", "C");
    BtnR = MakeButton(bar, "BtnR", "R");
    BtnC->setAccessibleName("COMMIT");
    BtnR->setAccessibleName("ROLLBACK");
    BtnC->setFixedWidth(30);
    BtnR->setFixedWidth(30);
    BtnC->setEnabled(false);
    BtnR->setEnabled(false);
    BitBtn3 = MakeButton(bar, "BitBtn3", "Format");
    BitBtn2 = MakeButton(bar, "BitBtn2", QString());
    BitBtn2->setIcon(Icons::Clipboard());
    BitBtn2->setAccessibleName("In die Zwischenablage kopieren");
    SetHint(BitBtn2,
            "Copy to Clipbord Funktion | Nach dem Klick auf diesen Button k\u00F6nnen Sie die Informationen "
            "in Excel einf\u00FCgen");
    BitBtn1 = MakeButton(bar, "BitBtn1", QString());
    BitBtn1->setIcon(Icons::Printer());
    BitBtn1->setAccessibleName("Drucken");
    SetHint(BitBtn1, "Drucken | Ausgabe kann ausgedruckt werden");
    connect(BitBtn1, &QPushButton::clicked, this, [this] { Guard([this] { DoPrint(); }); });
    auto* radios = new QWidget(bar);
    radios->setObjectName("PanelOrientation");
    auto* rv = new QVBoxLayout(radios);
    rv->setContentsMargins(2, 0, 2, 0);
    rv->setSpacing(0);
    RadioButton1 = new QRadioButton("Hochformat", radios);
    RadioButton1->setObjectName("RadioButton1");
    RadioButton2 = new QRadioButton("Querformat", radios);
    RadioButton2->setObjectName("RadioButton2");
    RadioButton1->setChecked(true);
    rv->addWidget(RadioButton1);
    rv->addWidget(RadioButton2);
    BitBtn4 = MakeButton(bar, "BitBtn4", "Zusatz");
    BBtnQV = MakeButton(bar, "BBtnQV", "Ziziv Ovod IZ");
    BtnExport = MakeButton(bar, "BtnExport", "Export...");
    SetHint(BtnExport, "Daten oder Tabellen exportieren");
    BitBtn4->hide();
    BBtnQV->hide();
    BtnExport->hide();
    LblConnect = new QLabel(bar);
    LblConnect->setObjectName("LblConnect");
    LblConnect->setAccessibleDescription("Verbindung");
    QFont red = FixedFont();
    red.setBold(true);
    LblConnect->setFont(red);
    // Red that stays readable on the desktop's palette, light or dark.
    QPalette alert = LblConnect->palette();
    alert.setColor(QPalette::WindowText, theme::AlertText(alert));
    LblConnect->setPalette(alert);
    for (QWidget* w :
         std::initializer_list<QWidget*>{BtnExec, BtnRefresh, BtnBack, BtnForw, LblPos, BtnC, BtnR, BitBtn3,
                                         BitBtn2, BitBtn1, radios, BitBtn4, BBtnQV, BtnExport})
        h->addWidget(w);
    h->addStretch(1);
    h->addWidget(LblConnect);
    v->addWidget(bar);

    // Client area: editor over grid, the schema browser's place at the right.
    auto* client = new QWidget(central);
    client->setObjectName("Panel3");
    auto* ch = new QHBoxLayout(client);
    ch->setContentsMargins(0, 0, 0, 0);
    ch->setSpacing(0);
    // The worksheets: their tabs (hidden while there is one), each tab's editor over its grid.
    auto* sheets = new QWidget(client);
    sheets->setObjectName("PanelWorksheets");
    auto* sv = new QVBoxLayout(sheets);
    sv->setContentsMargins(0, 0, 0, 0);
    sv->setSpacing(0);
    TabBar1 = new QTabBar(sheets);
    TabBar1->setObjectName("TabBar1");
    TabBar1->setAccessibleName("Arbeitsbl\u00E4tter");
    TabBar1->setAutoHide(true);
    TabBar1->setTabsClosable(true);
    TabBar1->setDocumentMode(true);
    TabBar1->setExpanding(false);
    TabBar1->setUsesScrollButtons(true);
    sv->addWidget(TabBar1);
    Splitter1 = new QSplitter(Qt::Vertical, sheets);
    Splitter1->setObjectName("Splitter1");
    Splitter1->setChildrenCollapsible(false);
    auto* editors = new QStackedWidget(Splitter1);
    editors->setObjectName("EditorPlace");
    auto* grids = new QStackedWidget(Splitter1);
    grids->setObjectName("GridPlace");
    EditorPlace = editors;
    GridPlace = grids;
    Splitter1->addWidget(EditorPlace);
    Splitter1->addWidget(GridPlace);
    Splitter1->setStretchFactor(0, 1);
    Splitter1->setStretchFactor(1, 2);
    sv->addWidget(Splitter1, 1);
    ch->addWidget(sheets, 1);
    AddPage(true);
    connect(TabBar1, &QTabBar::currentChanged, this, [this](int index) { SetCurrentTab(index); });
    connect(TabBar1, &QTabBar::tabCloseRequested, this, [this](int index) { CloseTab(index); });
    // The schema browser (hidden at start): BitBtn4 shows and hides it; a click in its table list runs the
    // statement through the editor as Execute does.
    auto* schemaPanel = new TSchemaPanel(QryUserTables2, Qry, client);
    schemaPanel_ = schemaPanel;
    schemaPanel->ExecuteInEditor = [this](const std::string& sql1252) {
        SetEditorText(sql1252);
        DoFormat();
        ExecuteEditor();
    };
    connect(BitBtn4, &QPushButton::clicked, this,
            [this, schemaPanel] { Guard([schemaPanel] { schemaPanel->Toggle(); }); });
    panel4_ = schemaPanel;
    ch->addWidget(panel4_);
    v->addWidget(client, 1);
    setCentralWidget(central);

    // Status line: the worksheet's progress texts, and the long hint of what is under the mouse.
    StatusBar1 = new QLabel(this);
    StatusBar1->setObjectName("StatusBar1");
    StatusBar1->setAccessibleDescription("Statuszeile");
    statusBar()->setObjectName("StatusBar");
    statusBar()->addWidget(StatusBar1, 1);

    connect(BtnC, &QPushButton::clicked, this, [this] { Guard([this] { DoCommit(); }); });
    connect(BtnR, &QPushButton::clicked, this, [this] { Guard([this] { DoRollback(); }); });
    connect(BitBtn2, &QPushButton::clicked, this, [this] {
        if (!run_) return Guard([this] { CopyResultToClipboard(Query(), &DataSource()); });
        TWorksheetRun* r = run_.get();
        CopyResultToClipboard(
            Query(), &DataSource(),
            [r](std::function<void()> work, std::function<void(std::exception_ptr)> done,
                const std::atomic<long>* rows) {
                return r->RunInBackground(std::move(work), std::move(done), rows);
            },
            [r] { r->ThrowIfStopped(); },
            [this](std::exception_ptr error) {
                if (error) Guard([&] { std::rethrow_exception(error); });
            });
    });
    connect(BtnExport, &QPushButton::clicked, this, [this] {
        Guard([this] {
            StartExportAction(ExportWiring(), [this](TExportOutcome, std::exception_ptr error) {
                if (error) Guard([&] { std::rethrow_exception(error); });
            });
        });
    });

    // Ctrl+Enter anywhere in the window clicks BtnExec; the window sees the keys first.
    qApp->installEventFilter(this);
    resize(1000, 700);
}

void TFVestra::ConfigureComponents(const TStartOptions& options) {
    Sess.Name = "Sess";
    Sess.Options().SetDateFormat("DD.MM.YYYY");
    Sess.Options().SetDateLanguage("German");
    Sess.Options().SetNet(true);
    Sess.ConnectPrompt = true;
    ConnectDialog1.Loading = true;
    ConnectDialog1.Retries = 3;
    ConnectDialog1.SetLabelSet(lsGerman);
    ConnectDialog1.SetCaption("Anmeldung");
    ConnectDialog1.SetUsernameLabel("Benutzername");
    ConnectDialog1.SetPasswordLabel("Kennwort");
    ConnectDialog1.SetServerLabel("Host-Zeichenfolge");
    ConnectDialog1.SetConnectButton("Ok");
    ConnectDialog1.SetCancelButton("Abbrechen");
    ConnectDialog1.Loading = false;
    ConnectDialog1.ApplicationTitle = ToAnsi(QApplication::applicationDisplayName());
    Sess.SetConnectDialog(&ConnectDialog1);

    Qry.Name = "Qry";
    Qry.SetSession(&Sess);
    Qry.SetSQL(kInitialSql);
    Qry.ReadOnly = true;
    Qry.SetAutoCommit(false);
    Qry.SetFiltered(true);
    DatS.SetDataSet(&Qry);
    QryUserTables2.Name = "QryUserTables2";
    QryUserTables2.SetSession(&Sess);
    QryUserTables2.ReadOnly = true;
    QryUserTables2.SetAutoCommit(false);
    DSUserTables2.SetDataSet(&QryUserTables2);

    // The stored logon: system on this machine's listener, SID bnx; --connect names what the user wants now.
    Sess.BeginLoading();
    Sess.SetUsername("system");
    Sess.SetPassword("manager");
    Sess.SetServer(ToAnsi(QHostInfo::localHostName()) + ":1521:bnx");
    if (options.haveConnect) {
        Sess.SetConnectString(options.connect);
        ConnectDialog1.KeepSessionValues = true;
    }
    Sess.SetConnected(true);
    Sess.Loaded(); // connects through the dialog; raises "Cannot connect to database." when it fails
    ConnectDialog1.KeepSessionValues = false;
    // Bound only now: when the logon fails the window's children outlive the components.
    DBGrid->SetDataSource(&DatS);
    L9InstallQtUi();
    DBL9_1 = std::make_unique<TDBL9>();
    DBL9_1->ConfigureForWorksheet(&DatS);
}

void TFVestra::SetDataModule(TDataModule1* dm) {
    dm_ = dm;
    controller_ = std::make_unique<TWorksheetController>(Sess, Qry, dm->FHistory, *this);
    controller_->BrowserQuery = &QryUserTables2;
    BindToCurrentTab();
    run_ = std::make_unique<TWorksheetRun>(*this, *dm);
    for (const auto& p : pages_)
        run_->HookGrid(p->grid);
    // A statement that ends in another tab than the one shown records its history entry for its own tab: the
    // shown tab's place is taken before the report and put back after it.
    connect(run_.get(), &TWorksheetRun::RunningChanged, this, [this](bool running) {
        historyCountAtEnd_ = dm_->FHistory.Count();
        if (!running && boundPage_ && boundPage_ != &page())
            tabs_.At(tabs_.Current()).historyPos = dm_->FHistory.Pos();
    });
    connect(run_.get(), &TWorksheetRun::Ended, this, [this] {
        THistory& h = dm_->FHistory;
        if (boundPage_ && boundPage_ != &page()) {
            // A failed statement records nothing: its tab keeps its place then.
            const int i = PageIndex(boundPage_);
            if (i >= 0 && h.Count() > historyCountAtEnd_) tabs_.At(i).historyPos = h.Count();
            h.SetPos(tabs_.At(tabs_.Current()).historyPos);
            LblPos->setText(FromAnsi(h.LabelText()));
        }
        // Once the run has ended (and a script has no statement left) the worksheet follows the shown tab.
        QTimer::singleShot(0, this, [this] {
            if (RunningTab() < 0) BindToCurrentTab();
        });
    });
    // The schema browser's lists and buttons run off the GUI thread like the worksheet's statements.
    if (auto* panel = qobject_cast<TSchemaPanel*>(panel4_)) {
        panel->RunInBackground = [this](std::function<void()> work,
                                        std::function<void(std::exception_ptr)> done) {
            return run_ && run_->RunInBackground(std::move(work), std::move(done));
        };
        panel->StopRequested = [this] { return run_ && run_->StopRequested(); };
    }
    for (QMenu* m : dm->Menus())
        menuBar()->addMenu(m);
    menuBar()->setObjectName("MainMenu1");
    addActions(dm->Actions());
    ToolBar1->addAction(dm->Beenden);
    ToolBar1->addSeparator();
    ToolBar1->addActions({dm->Neu, dm->NewWorksheet, dm->Open, dm->Save, dm->Export});
    ToolBar1->addSeparator();
    ToolBar1->addActions({dm->SelectAll, dm->Cut, dm->Copy, dm->Paste});
    ToolBar1->addSeparator();
    ToolBar1->addActions({dm->QuickView, dm->QuickViewII});
    for (QAction* a : ToolBar1->actions())
        if (QWidget* w = ToolBar1->widgetForAction(a)) {
            w->setObjectName("ToolButton" + a->objectName());
            w->setAccessibleName(a->text().remove('&'));
        }
    BindButton(BtnExec, dm->Execute);
    BindButton(BtnRefresh, dm->Refrech);
    BindButton(BtnBack, dm->SQLBack);
    BindButton(BtnForw, dm->SQLForward);
    BindButton(BitBtn3, dm->Parse);
    // The editing commands act on the window's controls.
    for (QAction* a : {dm->SelectAll, dm->Undo, dm->Cut, dm->Copy, dm->Paste})
        a->setShortcutContext(Qt::WindowShortcut);
    tools_ = std::make_unique<TStatementTools>(*this);
    dm->SetEditor(SqlEditor());
}

// ---- Events ----

bool TFVestra::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride) {
        auto* w = qobject_cast<QWidget*>(watched);
        auto* k = static_cast<QKeyEvent*>(event);
        if (w && w->window() == this && (k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter) &&
            (k->modifiers() & Qt::ControlModifier)) {
            // Ctrl+Shift+Enter runs the statement under the cursor, Ctrl+Enter the whole text.
            if (event->type() == QEvent::KeyPress && !BtnExec->isEnabled()) SayBusy();
            if (event->type() == QEvent::KeyPress) {
                if ((k->modifiers() & Qt::ShiftModifier) && tools_)
                    tools_->RunStatement->trigger();
                else if (!(k->modifiers() & Qt::ShiftModifier))
                    BtnExec->click();
            }
            event->accept();
            return true; // the line feed does not reach the editor
        }
        // F5, Shift+F5 and F9 while the statement of another tab runs: the user learns why nothing starts.
        if (w && w->window() == this && event->type() == QEvent::KeyPress &&
            (k->key() == Qt::Key_F5 || k->key() == Qt::Key_F9) && dm_ && !dm_->Execute->isEnabled())
            SayBusy();
    }
    return QMainWindow::eventFilter(watched, event);
}

bool TFVestra::event(QEvent* e) {
    if (e->type() == QEvent::StatusTip) {
        // The long hint while the mouse is over a control; the worksheet's text again afterwards.
        const QString tip = static_cast<QStatusTipEvent*>(e)->tip();
        StatusBar1->setText(tip.isEmpty() ? progressText_ : tip);
        return true;
    }
    return QMainWindow::event(e);
}

void TFVestra::showEvent(QShowEvent* e) {
    QMainWindow::showEvent(e);
    if (firstShow_) {
        firstShow_ = false;
        Sess.SetConnectDialog(&ConnectDialog1);
        UpdateConnectionLabel();
        ShowLogonWarning();
    }
}

void TFVestra::closeEvent(QCloseEvent* e) {
    // A workbench row in edit is settled first, with the workbench's own question.
    if (!closing_ && dm_ && dm_->FQuickView && !dm_->FQuickView->SettleEdit()) {
        e->ignore();
        return;
    }
    if (!closing_ && controller_ && run_) {
        // A second request while the session is being ended waits for that end.
        if (endingSession_) return e->ignore();
        // The question comes first, while a statement may still run: Abbrechen leaves it running.
        IWorksheetView::TAnswer answer = IWorksheetView::No;
        Guard([&] { answer = controller_->AskHowToEnd(); });
        if (answer == IWorksheetView::Cancel) return e->ignore();
        run_->StopAndWait();
        // COMMIT or ROLLBACK and the logoff off the GUI thread, each with its time limit. The window goes on
        // answering meanwhile (painting, the seconds in the status line); whatever would start another
        // statement is disabled by the run, and a second close request is ignored above.
        endingSession_ = true;
        bool ended = false, ok = false;
        QEventLoop wait;
        run_->EndSession(answer == IWorksheetView::Yes, [&](bool success) {
            ended = true;
            ok = success;
            wait.quit();
        });
        if (!ended) wait.exec();
        endingSession_ = false;
        if (!ok) return e->ignore(); // the error has been shown; the window stays open
    } else if (controller_ && !closing_) {
        bool ok = false;
        Guard([&] { ok = controller_->SettlePendingChanges(); });
        if (!ok) return e->ignore();
        Guard([&] { controller_->EndSession(); });
    }
    closing_ = true;
    // A normal exit: the text is simply there at the next start, without a question.
    if (recovery_) recovery_->SaveNow(true);
    if (help_) help_->CloseAll();
    if (info_) info_->hide();
    QMainWindow::closeEvent(e);
}

void TFVestra::Guard(const std::function<void()>& f) {
    try {
        f();
    } catch (const std::exception& e) {
        ShowErrorBox(this, e);
    } catch (...) {
        ShowErrorBox(this, std::runtime_error("Unbekannter Fehler"));
    }
}

// ---- Status and view ----

void TFVestra::SetStatusText(const QString& text) {
    progressText_ = text;
    StatusBar1->setText(text);
    StatusBar1->repaint();
}

QString TFVestra::StatusText() const {
    return progressText_;
}

void TFVestra::SetStatus(const std::string& text1252) {
    SetStatusText(FromAnsi(text1252));
}

void TFVestra::SetCommitRollbackEnabled(bool on) {
    BtnC->setEnabled(on);
    BtnR->setEnabled(on);
}

void TFVestra::SetHistoryLabel(const std::string& text) {
    LblPos->setText(FromAnsi(text));
}

bool TFVestra::AskParameters(std::vector<std::pair<std::string, std::string>>& nameValue) {
    TFParam dlg(this);
    for (const auto& [name, value] : nameValue)
        dlg.AddRow(FromAnsi(name), FromAnsi(value));
    if (dlg.exec() != QDialog::Accepted) return false;
    for (size_t i = 0; i < nameValue.size(); ++i) {
        // A value Windows-1252 cannot hold is refused as the editor's text is: never sent as "?".
        const QString v = dlg.Value(int(i));
        const std::u16string u(reinterpret_cast<const char16_t*>(v.utf16()), size_t(v.size()));
        char32_t ch = 0;
        size_t at = 0;
        if (FindNonAnsiChar(u, ch, at)) {
            ShowNonAnsiMessage(NonAnsiValueMessage(ch, cp1252::ToUtf8(nameValue[i].first),
                                                   "Die Anweisung wurde nicht ausgef\xC3\xBChrt."));
            return false;
        }
        nameValue[i].second = cp1252::FromUtf16(u);
    }
    return true;
}

void TFVestra::ShowMessage(const std::string& text1252) {
    ShowPlainMessage(this, FromAnsi(text1252));
}

bool TFVestra::AskYesNo(const std::string& question1252) {
    QMessageBox box(QMessageBox::Question, kProductName, FromAnsi(question1252),
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setObjectName("QuestionBox");
    return box.exec() == QMessageBox::Yes;
}

IWorksheetView::TAnswer TFVestra::AskYesNoCancel(const std::string& question1252) {
    QMessageBox box(QMessageBox::Question, kProductName, FromAnsi(question1252),
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, this);
    box.setObjectName("QuestionBox");
    box.setDefaultButton(QMessageBox::Cancel);
    switch (box.exec()) {
    case QMessageBox::Yes:
        return Yes;
    case QMessageBox::No:
        return No;
    default:
        return Cancel;
    }
}

void TFVestra::SayBusy() {
    const int running = RunningTab();
    if (running < 0 || running == tabs_.Current()) return;
    statusBar()->showMessage(FromAnsi(tabs_.BusyMessage(running)), 5000);
}

void TFVestra::ResetGrid() {
    DBGrid->ClearSortList();
    DBGrid->ClearColumnFilters();
    DBGrid->SetFiltered(false);
}

void TFVestra::SetGridAttached(bool on) {
    DataSource().SetEnabled(on);
}

// ---- Execute and the editor ----

void TFVestra::ShowNonAnsiMessage(const std::string& messageUtf8) {
    QMessageBox box(QMessageBox::Warning, kProductName, QString::fromUtf8(messageUtf8.c_str()),
                    QMessageBox::Ok, this);
    box.setObjectName("MessageBox");
    box.exec();
}

namespace {

std::u16string RawTextOf(const QPlainTextEdit* editor) {
    // The document's raw text: its plain-text view would turn no-break spaces into blanks.
    const QString raw = editor->document()->toRawText();
    return EditorTextFromRaw(
        std::u16string(reinterpret_cast<const char16_t*>(raw.utf16()), size_t(raw.size())));
}

} // namespace

std::u16string TFVestra::EditorRawText() const {
    return RawTextOf(Mmo);
}

void TFVestra::EditorText1252Lossy(std::string& text) const {
    text = cp1252::FromUtf16(EditorRawText());
}

bool TFVestra::EditorText1252(std::string& text, const char* whatUtf8) {
    return Text1252(QString::fromStdU16String(EditorRawText()), text, whatUtf8);
}

bool TFVestra::Text1252(const QString& t, std::string& text, const char* whatUtf8) {
    const std::u16string u(reinterpret_cast<const char16_t*>(t.utf16()), size_t(t.size()));
    char32_t ch = 0;
    size_t at = 0;
    if (FindNonAnsiChar(u, ch, at)) {
        ShowNonAnsiMessage(NonAnsiMessage(ch, LineOfIndex(u, at), whatUtf8));
        return false;
    }
    text = cp1252::FromUtf16(u);
    return true;
}

void TFVestra::SetEditorText(const std::string& text1252, bool joinPreviousEdit) {
    // One step on the editor's undo stack (Ctrl+Z brings the old text back), unlike setPlainText, which
    // forgets the stack. Line breaks of any kind become the document's paragraphs.
    QTextCursor c(Mmo->document());
    if (joinPreviousEdit)
        c.joinPreviousEditBlock();
    else
        c.beginEditBlock();
    c.select(QTextCursor::Document);
    c.insertText(FromAnsi(text1252));
    c.endEditBlock();
    Mmo->moveCursor(QTextCursor::Start);
}

TExportWiring TFVestra::ExportWiring() {
    TExportWiring w;
    w.window = this;
    w.session = &Sess;
    w.query = &Query();
    w.dataSource = &DataSource();
    // Each table's statement goes into the editor and through the worksheet's Execute (status, grid,
    // history), its server call and the file's writing off the GUI thread.
    w.beginExecute = [this](const std::string& text1252) {
        SetEditorText(text1252);
        return controller_->BeginExecute(text1252);
    };
    w.runStatement = [this] { controller_->RunStatement(); };
    w.endExecute = [this](const std::string& text1252) { controller_->EndExecute(text1252); };
    if (run_) {
        w.runInBackground = [this](std::function<void()> work, std::function<void(std::exception_ptr)> done,
                                   const std::atomic<long>* rows) {
            return run_->RunInBackground(std::move(work), std::move(done), rows);
        };
        w.stopRequested = [this] { return run_->StopRequested(); };
        w.stop = [this] { run_->Stop(); };
    }
    w.setStatus = [this](const QString& text) { SetStatusText(text); };
    // Over the status line: the seconds the run shows there go on beneath it.
    w.showProgress = [this](const QString& text) {
        if (text.isEmpty())
            statusBar()->clearMessage();
        else
            statusBar()->showMessage(text);
    };
    return w;
}

void TFVestra::ExecuteEditor() {
    if (!controller_) return;
    // One statement at a time on the session: while another tab's statement runs, this one waits.
    if (boundPage_ != &page()) return SayBusy();
    std::string text;
    if (!EditorText1252(text, "Die Anweisung wurde nicht ausgef\xC3\xBChrt.")) return;
    // The text is safe before the statement goes out; the history once it has been recorded.
    if (recovery_) recovery_->SaveNow();
    if (run_) {
        run_->Execute(text);
        if (recovery_ && !run_->Busy()) recovery_->SaveNow();
        return;
    }
    Guard([&] { controller_->Execute(text); });
    if (recovery_) recovery_->SaveNow();
}

void TFVestra::DoPrint() {
    PrintResult(*DBL9_1, ReportColumnsOf(*DBGrid), RadioButton2->isChecked(), this);
}

void TFVestra::DoCommit() {
    if (run_) return run_->Commit();
    controller_->Commit();
}

void TFVestra::DoRollback() {
    if (run_) return run_->Rollback();
    controller_->Rollback();
}

void TFVestra::DoRefresh() {
    if (run_) return run_->Refresh();
    controller_->Refresh();
}

void TFVestra::DoNeu() {
    SetEditorText(std::string());
    Query().Close();
    SetTabFile(std::string());
}

void TFVestra::DoHistoryStep(bool forward) {
    std::string text;
    THistory& h = dm_->FHistory;
    if (forward ? h.Forward(text) : h.Back(text)) SetEditorText(text);
    LblPos->setText(FromAnsi(h.LabelText()));
}

void TFVestra::DoFormat() {
    std::string text;
    if (!EditorText1252(text, "Die Anweisung wurde nicht formatiert.")) return;
    TSelectParser parser;
    const std::string formatted = parser.FormatStatement(text);
    SetEditorText(formatted);
}

void TFVestra::DoOpen() {
    SetEditorText(std::string());
    Query().Close();
    SetTabFile(std::string());
    const QString file = dm_->RunFileDialog(dm_->OpenDialog1, FromAnsi(ProgramSubFolder("SQL")),
                                            "SQL Dateien (*.SQL *.sql)", QString());
    if (file.isEmpty()) return;
    // A file beyond the editor's capacity is refused before it is read. The load joins the clearing above,
    // so that one Ctrl+Z brings back the text from before Open.
    SetEditorText(LoadSqlFile(file.toStdString()), true);
    SetTabFile(file.toStdString());
}

void TFVestra::DoSave() {
    std::string text;
    if (!EditorText1252(text, "Es wurde nichts gespeichert.")) return;
    const QString file = dm_->RunFileDialog(dm_->SaveDialog1, FromAnsi(ProgramSubFolder("SQL")),
                                            "SQL Dateien (*.SQL *.sql)", "SQL");
    if (file.isEmpty()) return;
    SaveSqlFile(file.toStdString(), text);
    SetTabFile(file.toStdString());
}

void TFVestra::DoSaveHistorie() {
    const QString file = dm_->RunFileDialog(dm_->SaveDialog1, FromAnsi(ProgramSubFolder("HIST")),
                                            "Historie Dateien (*.HIST *.hist)", "HIST");
    if (file.isEmpty()) return;
    dm_->FHistory.SaveToFile(file.toStdString());
}

void TFVestra::DoLoadHistory() {
    THistory& h = dm_->FHistory;
    const QString file = dm_->RunFileDialog(dm_->OpenDialog1, FromAnsi(ProgramSubFolder("HIST")),
                                            "Historie Dateien (*.HIST *.hist)", QString());
    // A cancelled dialog keeps the history; so does a file that cannot be read or is beyond the editor's
    // capacity (LoadFromFile replaces the entries only once the file is read).
    if (file.isEmpty()) return;
    const std::string first = h.LoadFromFile(file.toStdString());
    SetEditorText(first);
    LblPos->setText(FromAnsi(h.LabelText()));
}

void TFVestra::DoDBChange() {
    if (!run_) {
        const bool loggedOn = controller_->LogOnAgain();
        if (tools_) tools_->SessionChanged();
        if (loggedOn) {
            UpdateConnectionLabel();
            ShowLogonWarning();
        }
        return;
    }
    if (run_->Busy() || endingSession_) return;
    const IWorksheetView::TAnswer answer = controller_->AskHowToEnd();
    if (answer == IWorksheetView::Cancel) return;
    // The old session ends off the GUI thread with its time limit; the connect dialog follows.
    endingSession_ = true;
    run_->EndSession(answer == IWorksheetView::Yes, [this](bool ok) {
        endingSession_ = false;
        if (!ok) return;
        Guard([this] {
            const bool loggedOn = controller_->Reconnect();
            if (tools_) tools_->SessionChanged();
            if (loggedOn) {
                UpdateConnectionLabel();
                ShowLogonWarning();
            }
        });
    });
}

void TFVestra::ShowLogonWarning() {
    if (!controller_) return;
    const std::string warning = controller_->LogonWarningText();
    if (warning.empty()) return;
    SetStatus(warning);
    // after the window has come up (or the connect dialog has gone)
    QTimer::singleShot(0, this, [this, warning] { ShowMessage(warning); });
}

void TFVestra::UpdateConnectionLabel() {
    LblConnect->setText(
        FromAnsi(controller_ ? controller_->ConnectionLabel() : Sess.Username() + "@" + Sess.Server() + " "));
}

// ---- Crash-proof text ----

void TFVestra::StartRecovery(const std::string& folder) {
    recovery_ = std::make_unique<TRecoveryKeeper>(*this, folder);
    for (const auto& p : pages_)
        recovery_->Watch(p->editor->document());
    // A statement run in the background has recorded its history entry when it ends.
    if (run_) connect(run_.get(), &TWorksheetRun::Ended, recovery_.get(), [this] { recovery_->SaveNow(); });
}

void TFVestra::OfferRecovery() {
    if (recovery_) recovery_->OfferAtStart();
}

// ---- Help and info ----

QString TFVestra::HelpFileName() const {
    return FromAnsi(DataFolder()) + "/vestra.qch";
}

void TFVestra::SetupHelp() {
    const QString file = HelpFileName();
    if (!QFileInfo::exists(file)) {
        ShowPlainMessage(this, "Hilfe-Datei nicht gefunden\r" + file);
        return;
    }
    help_ = std::make_unique<THelpWindow>(file);
}

void TFVestra::ShowHelp(int context) {
    // Without a help file the request ends quietly, as after the message at start-up.
    if (help_) help_->ShowContext(context);
}

void TFVestra::ShowInfo() {
    if (!info_) info_ = new TFInfo(this);
    info_->show();
    info_->raise();
    info_->activateWindow();
}

// ---- Tabs ----

TSqlEditor* TFVestra::MakeEditor(QWidget* parent, const QString& name) {
    auto* e = new TSqlEditor(parent);
    e->setObjectName(name);
    e->setAccessibleName("SQL-Eingabe");
    LetCtrlTabLeave(e);
    e->setLineWrapMode(QPlainTextEdit::NoWrap);
    e->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    e->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    e->setFont(FixedFont());
    return e;
}

TQxDBGrid* TFVestra::MakeGrid(QWidget* parent, const QString& name) {
    auto* g = new TQxDBGrid(parent);
    g->setObjectName(name);
    g->setAccessibleName("Ergebnis");
    g->SetOptionsEx(g->OptionsEx() | dgeEnableSort | dgeRecordCount);
    return g;
}

void TFVestra::AddPage(bool first) {
    auto p = std::make_unique<TWorksheetPage>();
    const QString suffix = first ? QString() : QString("_%1").arg(++pageSerial_);
    p->editor = MakeEditor(EditorPlace, "Mmo" + suffix);
    p->grid = MakeGrid(GridPlace, "DBGrid" + suffix);
    if (first) {
        // The first worksheet is the window's own: Qry and DatS, bound to its grid once the session is on.
        p->query = &Qry;
        p->source = &DatS;
        p->editor->setPlainText(kInitialSql);
    } else {
        p->ownQuery = std::make_unique<TOraQuery>();
        p->ownSource = std::make_unique<TOraDataSource>();
        p->query = p->ownQuery.get();
        p->source = p->ownSource.get();
        p->query->Name = "Qry";
        p->query->SetSession(&Sess);
        p->query->ReadOnly = true;
        p->query->SetAutoCommit(false);
        p->query->SetFiltered(true);
        p->source->SetDataSet(p->query);
        p->grid->SetDataSource(p->source);
    }
    static_cast<QStackedWidget*>(EditorPlace)->addWidget(p->editor);
    static_cast<QStackedWidget*>(GridPlace)->addWidget(p->grid);
    p->editor->document()->setModified(false);
    TWorksheetPage* raw = p.get();
    connect(p->editor->document(), &QTextDocument::modificationChanged, this, [this, raw](bool changed) {
        const int i = PageIndex(raw);
        if (i < 0) return;
        tabs_.At(i).modified = changed;
        UpdateTabCaption(i);
    });
    if (run_) run_->HookGrid(p->grid);
    if (recovery_) recovery_->Watch(p->editor->document());
    pages_.push_back(std::move(p));
    if (first) {
        Mmo = raw->editor;
        DBGrid = raw->grid;
    }
    // The tab bar follows the pages; its signal is wired once the first page is there.
    QSignalBlocker block(TabBar1);
    TabBar1->addTab(QString());
    UpdateTabCaption(int(pages_.size()) - 1);
}

void TFVestra::TabsState(std::vector<TWorksheetTab>& tabs, int& current) {
    if (dm_) tabs_.At(tabs_.Current()).historyPos = dm_->FHistory.Pos();
    tabs = tabs_.All();
    for (size_t i = 0; i < tabs.size(); ++i) {
        tabs[i].text = cp1252::FromUtf16(RawTextOf(pages_[i]->editor));
        tabs[i].modified = pages_[i]->editor->document()->isModified();
    }
    current = tabs_.Current();
}
