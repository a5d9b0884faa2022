#include "app/gui/QuickViewStandIns.h"

#include "app/gui/SchemaText.h"
#include "dataset/DB.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QTimer>
#include <QToolButton>

using namespace schemagui;

class TQVGridStandIn::TLink : public TDataLink {
public:
    explicit TLink(TQVGridStandIn* g) : g_(g) {}
    void ActiveChanged() override { g_->ScheduleReload(); }
    void DataSetChanged() override { g_->ScheduleReload(); }
    void RecordChanged(TField*) override { g_->ScheduleReload(); }

private:
    TQVGridStandIn* g_;
};

TQVGridStandIn::TQVGridStandIn(QWidget* parent) : QTableWidget(parent), link_(std::make_unique<TLink>(this)) {
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    verticalHeader()->setDefaultSectionSize(20);
}

TQVGridStandIn::~TQVGridStandIn() {
    link_->SetDataSource(nullptr);
}

void TQVGridStandIn::SetDataSource(TDataSource* ds) {
    link_->SetDataSource(ds);
    ScheduleReload();
}

void TQVGridStandIn::ScheduleReload() {
    if (scheduled_) return;
    scheduled_ = true;
    QTimer::singleShot(0, this, [this] {
        scheduled_ = false;
        Reload();
    });
}

void TQVGridStandIn::Reload() {
    TDataSet* ds = link_->Active() ? link_->DataSet() : nullptr;
    if (!ds || !ds->Active() || ds->ControlsDisabled()) {
        if (!ds || !ds->Active()) {
            setRowCount(0);
            setColumnCount(0);
        }
        return;
    }
    setColumnCount(ds->FieldCount());
    QStringList titles;
    for (int c = 0; c < ds->FieldCount(); ++c)
        titles << Q(ds->Fields(c)->FieldName());
    setHorizontalHeaderLabels(titles);
    if (ds->State() != dsBrowse) {
        // The edited row shows the values being typed.
        int r = currentRow() < 0 ? 0 : currentRow();
        if (r < rowCount())
            for (int c = 0; c < ds->FieldCount(); ++c)
                setItem(r, c, new QTableWidgetItem(Q(ds->Fields(c)->AsString())));
        return;
    }
    TBookmark bm = ds->GetBookmark();
    int current = ds->RecNo();
    ds->DisableControls();
    std::vector<QStringList> rows;
    try {
        ds->First();
        while (!ds->Eof() && rows.size() < 1000) {
            QStringList r;
            for (int c = 0; c < ds->FieldCount(); ++c)
                r << Q(ds->Fields(c)->AsString());
            rows.push_back(r);
            ds->Next();
        }
        if (!bm.empty()) ds->GotoBookmark(bm);
    } catch (...) {
    }
    ds->EnableControls();
    setRowCount(int(rows.size()));
    for (int r = 0; r < int(rows.size()); ++r)
        for (int c = 0; c < rows[size_t(r)].size(); ++c)
            setItem(r, c, new QTableWidgetItem(rows[size_t(r)][c]));
    if (current > 0 && current <= rowCount()) selectRow(current - 1);
}

class TQVNavigatorStandIn::TLink : public TDataLink {
public:
    explicit TLink(TQVNavigatorStandIn* n) : n_(n) {}
    void ActiveChanged() override { n_->UpdateButtons(); }
    void DataSetChanged() override { n_->UpdateButtons(); }
    void EditingChanged() override { n_->UpdateButtons(); }

private:
    TQVNavigatorStandIn* n_;
};

TQVNavigatorStandIn::TQVNavigatorStandIn(QWidget* parent)
    : QWidget(parent), link_(std::make_unique<TLink>(this)) {
    static const char* const names[10] = {"First",  "Prior", "Next", "Last",   "Insert",
                                          "Delete", "Edit",  "Post", "Cancel", "Refresh"};
    static const char* const glyphs[10] = {"|<", "<", ">", ">|", "+", "-", "^", "\u2713", "x", "\u21BB"};
    static const char* const hints[10] = {"Erster Datensatz",        "Vorheriger Datensatz",
                                          "N\u00E4chster Datensatz", "Letzter Datensatz",
                                          "Datensatz einf\u00FCgen", "Datensatz l\u00F6schen",
                                          "Datensatz bearbeiten",    "Bearbeitung speichern",
                                          "Bearbeitung abbrechen",   "Daten aktualisieren"};
    auto* h = new QHBoxLayout(this);
    h->setContentsMargins(0, 0, 0, 0);
    h->setSpacing(1);
    for (int i = 0; i < 10; ++i) {
        auto* b = new QToolButton(this);
        b->setObjectName(QStringLiteral("nb") + QString::fromLatin1(names[i]));
        b->setText(QString::fromUtf8(glyphs[i]));
        b->setToolTip(QString::fromUtf8(hints[i]));
        b->setAccessibleName(QString::fromUtf8(hints[i]));
        b->setFixedSize(26, 22);
        connect(b, &QToolButton::clicked, this, [this, i] { Click(TQVNavigateBtn(i)); });
        h->addWidget(b);
        buttons_[i] = b;
    }
    UpdateButtons();
}

TQVNavigatorStandIn::~TQVNavigatorStandIn() {
    link_->SetDataSource(nullptr);
}

void TQVNavigatorStandIn::SetDataSource(TDataSource* ds) {
    link_->SetDataSource(ds);
    UpdateButtons();
}

void TQVNavigatorStandIn::UpdateButtons() {
    TDataSet* ds = link_->Active() ? link_->DataSet() : nullptr;
    bool on = ds && ds->Active();
    bool editing = on && (ds->State() == dsEdit || ds->State() == dsInsert);
    bool canModify = on && ds->CanModify();
    for (int i = 0; i < 10; ++i) {
        bool e = on;
        if (i == nvInsert || i == nvDelete || i == nvEdit) e = canModify && !editing;
        if (i == nvPost || i == nvCancel) e = editing;
        buttons_[i]->setEnabled(e);
    }
}

void TQVNavigatorStandIn::Click(TQVNavigateBtn b) {
    TDataSet* ds = link_->DataSet();
    if (!ds) return;
    Guarded(this, [&] {
        switch (b) {
        case nvFirst:
            ds->First();
            break;
        case nvPrior:
            ds->Prior();
            break;
        case nvNext:
            ds->Next();
            break;
        case nvLast:
            ds->Last();
            break;
        case nvInsert:
            ds->Insert();
            break;
        case nvDelete:
            ds->Delete();
            break;
        case nvEdit:
            ds->Edit();
            break;
        case nvPost:
            ds->Post();
            break;
        case nvCancel:
            ds->Cancel();
            break;
        case nvRefresh:
            ds->Refresh();
            break;
        }
    });
    UpdateButtons();
}
