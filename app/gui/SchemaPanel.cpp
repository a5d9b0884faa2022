#include "app/gui/SchemaPanel.h"

#include "app/ListIndexError.h"
#include "app/SchemaStatements.h"
#include "app/gui/SchemaText.h"
#include "oracle/Ora.h"

#include <QComboBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <memory>

using namespace schemagui;

void SchemaListFromQuery(TOraQuery& q, const std::string& sql, const char* field, QStringList& items) {
    q.Close();
    q.SetSQL(sql);
    q.Open();
    TField* f = q.FieldByName(field);
    q.DisableControls();
    try {
        while (!q.Eof()) {
            items << Q(f->AsString());
            q.Next();
        }
    } catch (...) {
        q.EnableControls();
        throw;
    }
    q.EnableControls();
}

namespace {

struct TButtonDef {
    const char* name;
    const char* caption;
    const char* hint; // short part | long part
};

const TButtonDef kButtons[] = {
    {"BtnZusInhalt", "I", "Inhalt der Tabelle| zeigt im Grid den Tabelleninhalt an (SELECT * from )"},
    {"BtnZusDesc", "B", "Beschreibung der Tabelle| zeigt im Grid die Tabellenbeschreibung an (DESC)"},
    {"BtnZusAnz", "Anz", "Count (*)  | zeigt Ihnen im Grid die Anzahl der Datens\xE4tze an"},
    {"BtnZusIDX", "Idx", "INDEX | zeigt Ihnen im Grid die Indexe an"},
    {"BtnZusConstr", "C", "Constraints | zeigt Ihnen im Grid die Contstraints an"},
    {"BtnZusTrig", "T", "TRIGGER | zeigt Ihnen im Grid die Trigger an"},
};

void SetHint(QWidget* w, const std::string& hint1252) {
    size_t bar = hint1252.find('|');
    w->setToolTip(Q(hint1252.substr(0, bar)).trimmed());
    w->setStatusTip(bar == std::string::npos ? QString() : Q(hint1252.substr(bar + 1)).trimmed());
}

} // namespace

TSchemaPanel::TSchemaPanel(TOraQuery& listQuery, TOraQuery& qry, QWidget* parent)
    : QFrame(parent), qryUserTables2_(listQuery), qry_(&qry) {
    setObjectName(QStringLiteral("Panel4"));
    setFrameShape(QFrame::StyledPanel);
    qryUserTables2_.SetFetchRows(500); // an owner with thousands of tables in a few round trips

    auto* v = new QVBoxLayout(this);
    v->setContentsMargins(4, 4, 4, 4);
    v->setSpacing(4);

    auto* top = new QHBoxLayout;
    CBBenutzer2 = new QComboBox(this);
    CBBenutzer2->setObjectName(QStringLiteral("CBBenutzer2"));
    CBBenutzer2->setEditable(false);
    CBBenutzer2->setAccessibleName(QStringLiteral("Besitzer"));
    CBBenutzer2->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    CBBenutzer2->setMinimumContentsLength(8);
    Button2 = new QPushButton(QStringLiteral("X"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setAccessibleName(QStringLiteral("Schlie\u00DFen"));
    Button2->setFixedWidth(26);
    top->addWidget(CBBenutzer2, 1);
    top->addWidget(Button2);
    v->addLayout(top);

    auto* row = new QHBoxLayout;
    row->setSpacing(2);
    QPushButton** targets[] = {&BtnZusInhalt, &BtnZusDesc,   &BtnZusAnz,
                               &BtnZusIDX,    &BtnZusConstr, &BtnZusTrig};
    for (int i = 0; i < 6; ++i) {
        auto* b = new QPushButton(QString::fromLatin1(kButtons[i].caption), this);
        b->setObjectName(QString::fromLatin1(kButtons[i].name));
        SetHint(b, kButtons[i].hint);
        b->setEnabled(false);
        b->setFixedWidth(34);
        connect(b, &QPushButton::clicked, this, [this, i] { RunButton(i); });
        row->addWidget(b);
        *targets[i] = b;
    }
    v->addLayout(row);

    LBTabellen2 = new QListWidget(this);
    LBTabellen2->setObjectName(QStringLiteral("LBTabellen2"));
    LBTabellen2->setAccessibleName(QStringLiteral("Tabellen"));
    LBTabellen2->setUniformItemSizes(true); // thousands of tables stay quick to fill and scroll
    LBTabellen2->installEventFilter(this);
    v->addWidget(LBTabellen2, 1);

    connect(Button2, &QPushButton::clicked, this, &QWidget::hide);
    connect(CBBenutzer2, &QComboBox::currentIndexChanged, this, [this] {
        if (!loading_) OwnerChanged();
    });
    // The keyboard chooses a table as a click does; a click on the item already chosen runs it again.
    LBTabellen2->viewport()->installEventFilter(this);
    connect(LBTabellen2, &QListWidget::currentRowChanged, this, [this] {
        if (loading_) return;
        changedSincePress_ = true;
        TableClicked();
    });
    connect(LBTabellen2, &QListWidget::itemClicked, this, [this] {
        if (!changedSincePress_ && LBTabellen2->currentRow() == rowBeforePress_) TableClicked();
    });
    setMinimumWidth(170);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
    hide();
}

TSchemaPanel::~TSchemaPanel() = default;

bool TSchemaPanel::eventFilter(QObject* watched, QEvent* event) {
    // Entering the table list enables the six buttons for good.
    if (watched == LBTabellen2 && event->type() == QEvent::FocusIn)
        for (QPushButton* b : {BtnZusInhalt, BtnZusDesc, BtnZusAnz, BtnZusIDX, BtnZusConstr, BtnZusTrig})
            b->setEnabled(true);
    if (watched == LBTabellen2->viewport() && event->type() == QEvent::MouseButtonPress) {
        rowBeforePress_ = LBTabellen2->currentRow();
        changedSincePress_ = false;
    }
    return QFrame::eventFilter(watched, event);
}

void TSchemaPanel::Toggle() {
    if (isVisible()) {
        hide();
        return;
    }
    show();
    LoadOwners();
}

bool TSchemaPanel::Run(std::function<void()> work, std::function<void(bool failed)> done) {
    auto report = [this, done = std::move(done)](std::exception_ptr error) {
        if (error) Guarded(this, [&] { std::rethrow_exception(error); });
        if (done) done(error != nullptr);
    };
    if (RunInBackground) return RunInBackground(std::move(work), std::move(report));
    std::exception_ptr error;
    try {
        work();
    } catch (...) {
        error = std::current_exception();
    }
    report(error);
    return true;
}

void TSchemaPanel::LoadOwners() {
    loading_ = true;
    CBBenutzer2->clear();
    CBBenutzer2->addItem(Q(schema::kAllOwners));
    CBBenutzer2->setCurrentIndex(0);
    LBTabellen2->clear();
    loading_ = false;
    // The owners as the server returns them; after an error the box keeps what was read. The work's thread
    // fills the list; the box gets it once the work has ended.
    auto owners = std::make_shared<QStringList>();
    Run(
        [this, owners] {
            SchemaListFromQuery(qryUserTables2_, schema::OwnerListSQL(), schema::kOwnerField, *owners);
        },
        [this, owners](bool) {
            loading_ = true;
            CBBenutzer2->addItems(*owners);
            CBBenutzer2->setCurrentIndex(0);
            loading_ = false;
            if (StopRequested && StopRequested()) return;
            OwnerChanged();
        });
}

void TSchemaPanel::OwnerChanged() {
    loading_ = true;
    LBTabellen2->clear();
    loading_ = false;
    std::string owner = S(CBBenutzer2->currentText());
    auto tables = std::make_shared<QStringList>();
    Run(
        [this, owner, tables] {
            SchemaListFromQuery(qryUserTables2_, schema::TableListSQL(owner), schema::kTableField, *tables);
        },
        [this, tables](bool) {
            loading_ = true;
            LBTabellen2->addItems(*tables);
            loading_ = false;
        });
}

void TSchemaPanel::TableClicked() {
    QListWidgetItem* item = LBTabellen2->currentItem();
    if (!item) return;
    if (ExecuteInEditor) ExecuteInEditor(schema::ContentSQL(S(item->text())));
}

void TSchemaPanel::RunButton(int button) {
    std::string sql;
    if (!Guarded(this, [&] {
            // No selected item: the list's index check fails and nothing runs.
            int row = CheckListIndex(LBTabellen2->currentItem() ? LBTabellen2->currentRow() : -1,
                                     LBTabellen2->count());
            std::string item = S(LBTabellen2->item(row)->text());
            sql = schema::ButtonSQL(static_cast<schema::TBrowserButton>(button), item);
        }))
        return;
    // The worksheet query is the grid's: the worksheet's runner lets the grid go of it while this runs.
    Run(
        [q = qry_, sql] {
            q->SetSQL(sql);
            q->Execute();
        },
        nullptr);
}
