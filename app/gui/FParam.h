// The parameter dialog: one row per parameter, the name as key and the value to type.
#pragma once

#include <QDialog>

class QPushButton;
class QTableWidget;

class TFParam : public QDialog {
    Q_OBJECT
public:
    explicit TFParam(QWidget* parent = nullptr);
    void AddRow(const QString& key, const QString& value);
    QString Value(int row) const;
    int RowCount() const;

    QTableWidget* VLE;
    QPushButton* BtnOK;
    QPushButton* BtnCancel;
};
