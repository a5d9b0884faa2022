// The modal logon form TConnectForm and its registration as the connect dialog's form class.
#pragma once

#include "connect/ConnectDialog.h"
#include "dataset/DAHooks.h"

#include <QDialog>
#include <memory>

class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class TQtPoster;

// The logon runs on a thread of its own: meanwhile the inputs and the connect button are disabled, the
// connect button shows "..." and Cancel (or Escape) ends the logon at once, leaving the form open.
class TConnectForm : public QDialog, private MainThreadPoster {
    Q_OBJECT
public:
    TConnectForm(TConnectDialog& dialog, QWidget* parent = nullptr);
    ~TConnectForm() override;

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

    // True while a logon runs.
    bool Connecting() const { return logic_.Connecting(); }

protected:
    void showEvent(QShowEvent* e) override;
    void reject() override;

private:
    void DoConnect();
    void DoCancel();
    void Ended(TConnectFormLogic::TOutcome outcome, std::exception_ptr error);
    void SetWaiting(bool on);
    void FocusInput(TConnectFocus focus);
    void Post(std::function<void()> task) override;
    TConnectFormLogic logic_;
    QString connectText_;
    // Carries the logon's end to the GUI thread; it outlives the logon's thread (the destructor waits).
    std::unique_ptr<TQtPoster> poster_;
};

// Registers TConnectForm as the default form class of TConnectDialog.
void RegisterConnectForm();
