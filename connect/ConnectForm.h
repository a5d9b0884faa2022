// The modal logon form TConnectForm and its registration as the connect dialog's form class.
#pragma once

#include "connect/ConnectDialog.h"

#include <QDialog>

class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

class TConnectForm : public QDialog {
    Q_OBJECT
public:
    TConnectForm(TConnectDialog& dialog, QWidget* parent = nullptr);

    QLineEdit* edUsername;
    QLineEdit* edPassword;
    QComboBox* edServer;
    QPushButton* btConnect;
    QPushButton* btCancel;
    QLabel* lbUsername;
    QLabel* lbPassword;
    QLabel* lbServer;
    QFrame* Panel;

    TConnectFormLogic& Logic() { return logic_; }

    // Called when a form has been created and is about to be shown (tests and the benchmark listen).
    static void (*OnShown)(TConnectForm&);

protected:
    void showEvent(QShowEvent* e) override;

private:
    void DoConnect();
    void FocusInput(TConnectFocus focus);
    TConnectFormLogic logic_;
};

// Registers TConnectForm as the default form class of TConnectDialog.
void RegisterConnectForm();
