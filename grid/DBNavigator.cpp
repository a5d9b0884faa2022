#include "grid/DBNavigator.h"

#include "dataset/DB.h"

#include <QHBoxLayout>
#include <QMessageBox>
#include <QPainter>
#include <QPainterPath>
#include <QToolButton>

class TNavDataLink : public TDataLink {
public:
    explicit TNavDataLink(TDBNavigator* nav) : nav_(nav) {}
    void ActiveChanged() override { nav_->UpdateButtons(); }
    void DataSetChanged() override { nav_->UpdateButtons(); }
    void DataSetScrolled(int) override { nav_->UpdateButtons(); }
    void EditingChanged() override { nav_->UpdateButtons(); }
    void RecordChanged(TField*) override { nav_->UpdateButtons(); }

private:
    TDBNavigator* nav_;
};

namespace {

struct TBtnInfo {
    const char* Name;
    const char* Hint; // short part | long part
};

// Hints: the short part is the tool tip, the long part goes to the status line.
const TBtnInfo kButtons[NavigateBtnCount] = {
    {"First", "Erster Datensatz|Zum ersten Datensatz"},
    {"Prior", "Vorheriger Datensatz|Zum vorherigen Datensatz"},
    {"Next", "N\xC3\xA4"
             "chster Datensatz|Zum n\xC3\xA4"
             "chsten Datensatz"},
    {"Last", "Letzter Datensatz|Zum letzten Datensatz"},
    {"Insert", "Datensatz einf\xC3\xBCgen|Einen neuen Datensatz einf\xC3\xBCgen"},
    {"Delete", "Datensatz l\xC3\xB6schen|Den aktuellen Datensatz l\xC3\xB6schen"},
    {"Edit", "Datensatz bearbeiten|Den aktuellen Datensatz bearbeiten"},
    {"Post", "Datensatz speichern|Die \xC3\x84nderungen speichern"},
    {"Cancel", "Bearbeitung abbrechen|Die \xC3\x84nderungen verwerfen"},
    {"Refresh", "Daten aktualisieren|Die Daten neu lesen"},
};

QIcon NavIcon(int b) {
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QColor c(40, 60, 110);
    p.setPen(QPen(c, 1.5));
    p.setBrush(c);
    auto tri = [&](double x, bool right) {
        QPainterPath path;
        if (right) {
            path.moveTo(x, 3);
            path.lineTo(x + 6, 8);
            path.lineTo(x, 13);
        } else {
            path.moveTo(x + 6, 3);
            path.lineTo(x, 8);
            path.lineTo(x + 6, 13);
        }
        path.closeSubpath();
        p.drawPath(path);
    };
    switch (b) {
    case nbFirst:
        p.drawLine(QPointF(4, 3), QPointF(4, 13));
        tri(6, false);
        break;
    case nbPrior:
        tri(5, false);
        break;
    case nbNext:
        tri(5, true);
        break;
    case nbLast:
        tri(4, true);
        p.drawLine(QPointF(12, 3), QPointF(12, 13));
        break;
    case nbInsert:
        p.drawLine(QPointF(8, 3), QPointF(8, 13));
        p.drawLine(QPointF(3, 8), QPointF(13, 8));
        break;
    case nbDelete:
        p.drawLine(QPointF(3, 8), QPointF(13, 8));
        break;
    case nbEdit:
        p.setBrush(Qt::NoBrush);
        p.drawLine(QPointF(3, 13), QPointF(12, 4));
        p.drawLine(QPointF(2, 14), QPointF(5, 14));
        break;
    case nbPost:
        p.setBrush(Qt::NoBrush);
        p.drawPolyline(QPolygonF({QPointF(3, 8), QPointF(7, 12), QPointF(13, 4)}));
        break;
    case nbCancel:
        p.drawLine(QPointF(4, 4), QPointF(12, 12));
        p.drawLine(QPointF(12, 4), QPointF(4, 12));
        break;
    default:
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(3, 3, 10, 10), 30 * 16, 300 * 16);
        p.drawLine(QPointF(12.5, 3), QPointF(12.5, 7));
        break;
    }
    return QIcon(pm);
}

} // namespace

TDBNavigator::TDBNavigator(QWidget* parent) : QWidget(parent), link_(std::make_unique<TNavDataLink>(this)) {
    setObjectName("DBNavigator");
    auto* lay = new QHBoxLayout(this);
    lay->setContentsMargins(0, 0, 0, 0);
    lay->setSpacing(0);
    for (int b = 0; b < NavigateBtnCount; ++b) {
        auto* btn = new QToolButton(this);
        btn->setObjectName(kButtons[b].Name);
        QString hint = QString::fromUtf8(kButtons[b].Hint);
        btn->setToolTip(hint.section('|', 0, 0));
        btn->setStatusTip(hint.section('|', 1));
        btn->setAccessibleName(hint.section('|', 0, 0));
        btn->setIcon(NavIcon(b));
        btn->setAutoRaise(false);
        btn->setFixedSize(25, 25);
        connect(btn, &QToolButton::clicked, this, [this, b] { BtnClick(TNavigateBtn(b)); });
        lay->addWidget(btn);
        buttons_[b] = btn;
    }
    lay->addStretch();
    UpdateButtons();
}

TDBNavigator::~TDBNavigator() {
    link_->SetDataSource(nullptr);
}

void TDBNavigator::SetDataSource(TDataSource* ds) {
    dataSource_ = ds;
    link_->SetDataSource(ds);
    UpdateButtons();
}

TDataSet* TDBNavigator::DataSet() const {
    return link_->DataSet();
}

void TDBNavigator::UpdateButtons() {
    TDataSet* ds = DataSet();
    const bool active = ds && ds->Active();
    const bool editing = active && (ds->State() == dsEdit || ds->State() == dsInsert);
    const bool canModify = active && ds->CanModify();
    const bool bof = !active || ds->Bof();
    const bool eof = !active || ds->Eof();
    buttons_[nbFirst]->setEnabled(active && !bof);
    buttons_[nbPrior]->setEnabled(active && !bof);
    buttons_[nbNext]->setEnabled(active && !eof);
    buttons_[nbLast]->setEnabled(active && !eof);
    buttons_[nbInsert]->setEnabled(canModify);
    buttons_[nbDelete]->setEnabled(canModify && !ds->IsEmpty() && !editing);
    buttons_[nbEdit]->setEnabled(canModify && !editing);
    buttons_[nbPost]->setEnabled(editing);
    buttons_[nbCancel]->setEnabled(editing);
    buttons_[nbRefresh]->setEnabled(active && !editing);
}

void TDBNavigator::BtnClick(TNavigateBtn b) {
    TDataSet* ds = DataSet();
    if (!ds) return;
    try {
        switch (b) {
        case nbFirst:
            ds->First();
            break;
        case nbPrior:
            ds->Prior();
            break;
        case nbNext:
            ds->Next();
            break;
        case nbLast:
            ds->Last();
            break;
        case nbInsert:
            ds->Insert();
            break;
        case nbDelete:
            if (!ConfirmDelete ||
                QMessageBox::question(this, QStringLiteral("Vestra"),
                                      QString::fromUtf8("Datensatz löschen?")) == QMessageBox::Yes)
                ds->Delete();
            break;
        case nbEdit:
            ds->Edit();
            break;
        case nbPost:
            ds->Post();
            break;
        case nbCancel:
            ds->Cancel();
            break;
        case nbRefresh:
            ds->Refresh();
            break;
        }
    } catch (const std::exception& e) {
        ShowException(e);
    }
    UpdateButtons();
}
