#include "app/gui/FParam.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

TFParam::TFParam(QWidget* parent) : QDialog(parent) {
    setObjectName("FParam");
    setWindowTitle("Prametereingabe");
    VLE = new QTableWidget(0, 2, this);
    VLE->setObjectName("VLE");
    VLE->setAccessibleName("Parameter");
    VLE->setHorizontalHeaderLabels({"Schl\u00FCssel", "Wert"});
    VLE->horizontalHeader()->setStretchLastSection(true);
    VLE->horizontalHeader()->resizeSection(0, 140);
    VLE->verticalHeader()->hide();
    VLE->setSelectionMode(QAbstractItemView::SingleSelection);
    VLE->setEditTriggers(QAbstractItemView::AllEditTriggers);
    BtnOK = new QPushButton("OK", this);
    BtnOK->setObjectName("BtnOK");
    BtnOK->setDefault(true);
    BtnCancel = new QPushButton("Cancel", this);
    BtnCancel->setObjectName("BtnCancel");
    connect(BtnOK, &QPushButton::clicked, this, [this] {
        // A value still being typed counts: leaving the cell commits its editor.
        VLE->setCurrentIndex(QModelIndex());
        accept();
    });
    connect(BtnCancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(BtnOK);
    buttons->addWidget(BtnCancel);
    auto* v = new QVBoxLayout(this);
    v->addWidget(VLE, 1);
    v->addLayout(buttons);
    resize(380, 240);
}

void TFParam::AddRow(const QString& key, const QString& value) {
    const int row = VLE->rowCount();
    VLE->insertRow(row);
    auto* k = new QTableWidgetItem(key);
    k->setFlags(Qt::ItemIsEnabled);
    VLE->setItem(row, 0, k);
    VLE->setItem(row, 1, new QTableWidgetItem(value));
    if (row == 0) VLE->setCurrentCell(0, 1);
}

QString TFParam::Value(int row) const {
    const QTableWidgetItem* item = VLE->item(row, 1);
    return item ? item->text() : QString();
}

int TFParam::RowCount() const {
    return VLE->rowCount();
}
