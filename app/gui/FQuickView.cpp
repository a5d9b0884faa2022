#include "app/gui/FQuickView.h"

#include "app/ListIndexError.h"
#include "app/gui/SchemaPanel.h"
#include "app/gui/SchemaText.h"
#include "grid/DBNavigator.h"
#include "grid/QxGrid.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QSplitter>
#include <QStatusBar>
#include <QTabBar>
#include <QToolBar>
#include <QVBoxLayout>

using namespace schemagui;

TQuickViewQueries::TQuickViewQueries(TOraSession& sess) : QryQVusr(&sess), QryQVExec(&sess) {
    QryQVusr.Name = "QryQVusr";
    QryQVusr.ReadOnly = true;
    QryQVusr.SetAutoCommit(false);
    QryQVusr.SetFetchRows(500); // an owner with thousands of tables in a few round trips
    DSQVusr.SetDataSet(&QryQVusr);
    QryQVExec.Name = "QryQVExec";
    QryQVExec.SetNonBlocking(true);
    QryQVExec.SetAutoCommit(true);
    QryQVExec.ReadOnly = true;
    QryQVExec.RefreshOptions = roAfterInsert | roAfterUpdate | roBeforeEdit;
    QryQVExec.SetUpdateObject(&QryQVUpd);
    DSQVExec.SetDataSet(&QryQVExec);
}

namespace {

QString Lines(const std::string& text1252) {
    // The generated statements separate their lines with a lone carriage return.
    QString s = Q(text1252);
    s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return s;
}

} // namespace

TFQuickView::TFQuickView(TQuickViewQueries& queries, QWidget* parent)
    : QMainWindow(parent), q_(queries), writer_(queries.QryQVExec, queries.QryQVUpd, statements_) {
    setObjectName(QStringLiteral("FQuickView"));
    setWindowTitle(QStringLiteral("Ziziv Ovod IZ"));
    resize(1100, 680);

    auto* tools = addToolBar(QStringLiteral("Werkzeuge"));
    tools->setObjectName(QStringLiteral("ToolBar1"));
    tools->setMovable(false);
    Schliessen = new QAction(QStringLiteral("Schlie\u00DFen"), this);
    Schliessen->setObjectName(QStringLiteral("Schliessen"));
    Schliessen->setToolTip(QStringLiteral("Schlie\u00DFen"));
    Schliessen->setStatusTip(QStringLiteral("Form Schlie\u00DFen"));
    tools->addAction(Schliessen);
    connect(Schliessen, &QAction::triggered, this, &QWidget::close);

    auto* split = new QSplitter(Qt::Horizontal, this);
    split->setObjectName(QStringLiteral("Splitter1"));
    setCentralWidget(split);

    auto* left = new QWidget(split);
    auto* lv = new QVBoxLayout(left);
    lv->setContentsMargins(4, 4, 0, 4);
    CBBenutzer3 = new QComboBox(left);
    CBBenutzer3->setObjectName(QStringLiteral("CBBenutzer3"));
    CBBenutzer3->setEditable(false);
    CBBenutzer3->setAccessibleName(QStringLiteral("Besitzer"));
    LBTabellen3 = new QListWidget(left);
    LBTabellen3->setObjectName(QStringLiteral("LBTabellen3"));
    LBTabellen3->setAccessibleName(QStringLiteral("Tabellen"));
    LBTabellen3->setUniformItemSizes(true);
    lv->addWidget(CBBenutzer3);
    lv->addWidget(LBTabellen3, 1);

    auto* right = new QWidget(split);
    auto* rv = new QVBoxLayout(right);
    rv->setContentsMargins(0, 4, 4, 4);
    rv->setSpacing(4);
    TabControl1 = new QTabBar(right);
    TabControl1->setObjectName(QStringLiteral("TabControl1"));
    TabControl1->setExpanding(false);
    TabControl1->setDrawBase(true);
    for (int i = 0; i < schema::tabCount; ++i)
        TabControl1->addTab(Q(schema::TabCaption(i)));
    TabControl1->setEnabled(false);
    rv->addWidget(TabControl1);

    StatementPanel = new QWidget(right);
    StatementPanel->setObjectName(QStringLiteral("StatementPanel"));
    auto* sp = new QVBoxLayout(StatementPanel);
    sp->setContentsMargins(0, 0, 0, 0);
    QVMmo = new QPlainTextEdit(StatementPanel);
    QVMmo->setObjectName(QStringLiteral("QVMmo"));
    QVMmo->setAccessibleName(QStringLiteral("SQL Anzeige"));
    QVMmo->setReadOnly(true);
    QVMmo->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    QVMmo->setLineWrapMode(QPlainTextEdit::NoWrap);
    sp->addWidget(QVMmo);
    KeyPanel = new QWidget(StatementPanel);
    KeyPanel->setObjectName(QStringLiteral("KeyPanel"));
    auto* kp = new QHBoxLayout(KeyPanel);
    kp->setContentsMargins(0, 0, 0, 0);
    CheckListBox1 = new QListWidget(KeyPanel);
    CheckListBox1->setObjectName(QStringLiteral("CheckListBox1"));
    CheckListBox1->setAccessibleName(QStringLiteral("Schl\u00FCsselspalten"));
    CheckListBox1->setToolTip(QStringLiteral("PK_SCHL\u00DCSSEL ausw\u00E4hlen"));
    CheckListBox1->setStatusTip(
        QStringLiteral("ACHTUNG !!!! sehr wichtig... es darf NULL als PK ausgew\u00E4hlt werden"));
    CheckListBox1->setMinimumWidth(200);
    Notice = new QLabel(KeyPanel);
    Notice->setObjectName(QStringLiteral("Notice"));
    Notice->setTextFormat(Qt::RichText);
    Notice->setWordWrap(true);
    Notice->setText(
        QStringLiteral("<b>Achtung:</b><br>&lt;- Hier die PK's ausw\u00E4hlen, wenn als Pk ich der erste "
                       "Spaltenname gennomen werden soll !!!"));
    // A note in the palette's note colours (light yellow on a light desktop), readable on a dark one too.
    Notice->setAutoFillBackground(true);
    QPalette note = Notice->palette();
    note.setColor(QPalette::Window, note.color(QPalette::ToolTipBase));
    note.setColor(QPalette::WindowText, note.color(QPalette::ToolTipText));
    Notice->setPalette(note);
    Notice->setMargin(6);
    Notice->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Notice->setMaximumWidth(300);
    kp->addWidget(CheckListBox1, 1);
    kp->addWidget(Notice);
    sp->addWidget(KeyPanel);
    rv->addWidget(StatementPanel);

    EditBar = new QWidget(right);
    EditBar->setObjectName(QStringLiteral("EditBar"));
    auto* eb = new QHBoxLayout(EditBar);
    eb->setContentsMargins(0, 0, 0, 0);
    DBNavigator1 = new TDBNavigator(EditBar);
    DBNavigator1->setObjectName(QStringLiteral("DBNavigator1"));
    DBNavigator1->SetDataSource(&q_.DSQVExec);
    cbDebug = new QCheckBox(QStringLiteral("Debug"), EditBar);
    cbDebug->setObjectName(QStringLiteral("cbDebug"));
    eb->addWidget(DBNavigator1);
    eb->addSpacing(12);
    eb->addWidget(cbDebug);
    eb->addStretch(1);
    rv->addWidget(EditBar);

    DBGrid1 = new TQxDBGrid(right);
    DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
    DBGrid1->SetOptions(DefaultGridOptions);
    DBGrid1->SetDataSource(&q_.DSQVExec);
    // A title-click sort or a filter reopens the query: a row in edit is settled first, as for a tab change.
    DBGrid1->BeforeReopen = [this] { return SettleEdit(); };
    rv->addWidget(DBGrid1, 1);

    split->addWidget(left);
    split->addWidget(right);
    split->setStretchFactor(0, 0);
    split->setStretchFactor(1, 1);
    split->setSizes({200, 900});
    statusBar()->setObjectName(QStringLiteral("StatusBar1"));

    SetPanels(schema::tabInhalt);
    QVMmo->hide();

    connect(CBBenutzer3, &QComboBox::currentIndexChanged, this, [this] {
        if (!filling_) OwnerChanged();
    });
    // A table is chosen whenever the list's current item changes, by the mouse or by the keyboard, so that
    // the generated statements always belong to the table shown; a click on the item already chosen runs
    // it again.
    LBTabellen3->viewport()->installEventFilter(this);
    connect(LBTabellen3, &QListWidget::currentRowChanged, this, [this] {
        if (filling_) return;
        changedSincePress_ = true;
        TableChosen();
    });
    connect(LBTabellen3, &QListWidget::itemClicked, this, [this] {
        if (!changedSincePress_ && LBTabellen3->currentRow() == rowBeforePress_) TableChosen();
    });
    connect(TabControl1, &QTabBar::currentChanged, this, [this](int tab) {
        if (!filling_) TabChanged(tab);
    });
    connect(CheckListBox1, &QListWidget::itemChanged, this, [this] {
        if (!filling_) KeyClicked();
    });
    connect(cbDebug, &QCheckBox::toggled, this, [this](bool on) { q_.QryQVExec.SetDebug(on); });
}

TFQuickView::~TFQuickView() = default;

QString TFQuickView::StatusText() const {
    return statusBar()->currentMessage();
}

void TFQuickView::SetStatus(const std::string& text1252) {
    statusBar()->showMessage(Q(text1252));
}

bool TFQuickView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == LBTabellen3->viewport() && event->type() == QEvent::MouseButtonPress) {
        rowBeforePress_ = LBTabellen3->currentRow();
        changedSincePress_ = false;
    }
    return QMainWindow::eventFilter(watched, event);
}

void TFQuickView::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!event->spontaneous()) LoadOwners();
}

void TFQuickView::closeEvent(QCloseEvent* event) {
    if (!SettleEdit()) {
        event->ignore();
        return;
    }
    event->accept();
    QMainWindow::closeEvent(event);
    if (OnClosed) OnClosed();
}

// ---- Owners and tables ----

void TFQuickView::LoadOwners() {
    filling_ = true;
    CBBenutzer3->clear();
    CBBenutzer3->addItem(Q(schema::kAllOwners));
    filling_ = false;
    QStringList owners;
    Guarded(this,
            [&] { SchemaListFromQuery(q_.QryQVusr, schema::OwnerListSQL(), schema::kOwnerField, owners); });
    filling_ = true;
    CBBenutzer3->addItems(owners);
    filling_ = false;
    filling_ = true;
    CBBenutzer3->setCurrentIndex(0);
    filling_ = false;
    OwnerChanged();
}

void TFQuickView::OwnerChanged() {
    filling_ = true;
    LBTabellen3->clear();
    filling_ = false;
    lastTableRow_ = -1;
    std::string owner = S(CBBenutzer3->currentText());
    QStringList tables;
    Guarded(this, [&] {
        SchemaListFromQuery(q_.QryQVusr, schema::TableListSQL(owner), schema::kTableField, tables);
    });
    LBTabellen3->addItems(tables);
}

void TFQuickView::TableChosen() {
    QListWidgetItem* current = LBTabellen3->currentItem();
    if (!current) return;
    if (!SettleEdit()) {
        // Stay with the table whose row is being edited.
        filling_ = true;
        if (lastTableRow_ >= 0 && lastTableRow_ < LBTabellen3->count())
            LBTabellen3->setCurrentRow(lastTableRow_);
        filling_ = false;
        return;
    }
    lastTableRow_ = LBTabellen3->currentRow();
    std::string item = S(current->text());
    TabControl1->setEnabled(true);
    filling_ = true;
    TabControl1->setCurrentIndex(schema::tabInhalt);
    filling_ = false;
    tab_ = schema::tabInhalt;
    SetPanels(tab_);
    q_.QryQVExec.ReadOnly = true;
    selectText_ = schema::ContentSQL(item);
    QVMmo->setPlainText(Q(selectText_));

    q_.DSQVExec.SetEnabled(false);
    SetStatus("...");
    DBGrid1->ClearSortList();
    DBGrid1->ClearColumnFilters();
    DBGrid1->SetFiltered(false);
    q_.DSQVExec.SetEnabled(true);

    Guarded(this, [&] {
        q_.QryQVExec.SetSQL(selectText_);
        q_.QryQVExec.Execute();
        SetStatus(schema::WorkbenchStatus(q_.QryQVExec.RowsAffected()));
        std::vector<std::string> names;
        for (int i = 0; i < q_.QryQVExec.FieldCount(); ++i)
            names.push_back(q_.QryQVExec.Fields(i)->FieldName());
        statements_.SetTable(item, names);
        filling_ = true;
        CheckListBox1->clear();
        for (const std::string& n : names) {
            auto* it = new QListWidgetItem(Q(n), CheckListBox1);
            it->setFlags(it->flags() | Qt::ItemIsUserCheckable);
            it->setCheckState(Qt::Unchecked);
        }
        filling_ = false;
        GiveStatements();
    });
}

void TFQuickView::GiveStatements() {
    q_.QryQVUpd.ModifySQL = statements_.ModifySQL();
    q_.QryQVUpd.InsertSQL = statements_.InsertSQL();
    q_.QryQVUpd.DeleteSQL = statements_.DeleteSQL();
    q_.QryQVUpd.RefreshSQL = statements_.RefreshSQL();
    ShowStatements();
}

void TFQuickView::ShowStatements() {
    // The table's statement first, then what writes its rows back.
    QString text = Q(selectText_);
    if (!statements_.Table().empty()) {
        text += QStringLiteral("\n\n") + Lines(q_.QryQVUpd.ModifySQL);
        text += QStringLiteral("\n\n") + Lines(q_.QryQVUpd.InsertSQL);
        text += QStringLiteral("\n\n") + Lines(q_.QryQVUpd.DeleteSQL);
    }
    QVMmo->setPlainText(text);
}

// ---- Tabs ----

void TFQuickView::SetPanels(int tab) {
    bool editing = tab == schema::tabAendern;
    StatementPanel->setVisible(tab == schema::tabSQL || editing);
    // The statements get room to be read; the key list only what it needs.
    StatementPanel->setMaximumHeight(tab == schema::tabSQL ? 340 : 150);
    StatementPanel->setMinimumHeight(tab == schema::tabSQL ? 320 : 0);
    QVMmo->setVisible(tab == schema::tabSQL);
    KeyPanel->setVisible(editing);
    EditBar->setVisible(editing);
    DBGrid1->SetReadOnly(!editing);
}

void TFQuickView::TabChanged(int tab) {
    if (tab == tab_) return;
    if (!SettleEdit()) {
        filling_ = true;
        TabControl1->setCurrentIndex(tab_);
        filling_ = false;
        return;
    }
    tab_ = tab;
    SetPanels(tab);
    if (tab != schema::tabAendern) q_.QryQVExec.ReadOnly = true;
    Guarded(this, [&] {
        // The selected table is read from the list each time; without one the list's index check fails.
        QListWidgetItem* current = LBTabellen3->currentItem();
        int row = CheckListIndex(current ? LBTabellen3->currentRow() : -1, LBTabellen3->count());
        std::string item = S(LBTabellen3->item(row)->text());
        if (tab == schema::tabAendern) q_.QryQVExec.ReadOnly = false;
        q_.QryQVExec.SetSQL(schema::TabSQL(tab, item));
        q_.QryQVExec.Execute();
    });
}

// ---- Key columns ----

void TFQuickView::KeyClicked() {
    std::vector<bool> ticked;
    for (int i = 0; i < CheckListBox1->count(); ++i)
        ticked.push_back(CheckListBox1->item(i)->checkState() == Qt::Checked);
    if (!statements_.ApplyKeys(ticked)) return;
    q_.QryQVUpd.ModifySQL = statements_.ModifySQL();
    q_.QryQVUpd.RefreshSQL = statements_.RefreshSQL();
    QMessageBox box(QMessageBox::Information, QStringLiteral("Vestra"), Lines(statements_.DeleteSQL()),
                    QMessageBox::Ok, this);
    box.setObjectName(QStringLiteral("DeleteStatementBox"));
    box.exec();
    q_.QryQVUpd.DeleteSQL = statements_.DeleteSQL();
    ShowStatements();
}

// ---- Edits not yet posted ----

bool TFQuickView::SettleEdit() {
    TOraQuery& q = q_.QryQVExec;
    if (!q.Active() || (q.State() != dsEdit && q.State() != dsInsert)) return true;
    QMessageBox box(
        QMessageBox::Question, QStringLiteral("Vestra"),
        QStringLiteral("Der ge\u00E4nderte Datensatz ist noch nicht gespeichert. Jetzt speichern?"),
        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, this);
    box.setObjectName(QStringLiteral("PostQuestionBox"));
    box.setDefaultButton(QMessageBox::Yes);
    int answer = box.exec();
    if (answer == QMessageBox::Yes) return Guarded(this, [&] { q.Post(); });
    if (answer == QMessageBox::No) return Guarded(this, [&] { q.Cancel(); });
    return false;
}

void OpenQuickView(QWidget* worksheet, TFQuickView* quickView) {
    if (worksheet) {
        worksheet->showMinimized();
        quickView->OnClosed = [worksheet] { worksheet->showNormal(); };
    }
    quickView->show();
    quickView->raise();
    quickView->activateWindow();
}
