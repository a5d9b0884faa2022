// The info window: product, version, support address and the change history.
#pragma once

#include <QDialog>

class QLabel;
class QPlainTextEdit;
class QPushButton;

class TFInfo : public QDialog {
    Q_OBJECT
public:
    explicit TFInfo(QWidget* parent = nullptr);
    QLabel* LPrgName;
    QLabel* LPrgVer;
    QLabel* LMail;
    QPushButton* BtnOK;
    QPlainTextEdit* Memo1;
};
