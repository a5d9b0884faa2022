#include "connect/ConnectForm.h"

#include "connect/QtPoster.h"
#include "connect/QtText.h"
#include "dataset/DBErrors.h"

#include <QApplication>
#include <QComboBox>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>

#include <algorithm>

void (*TConnectForm::OnShown)(TConnectForm&) = nullptr;

TConnectForm::TConnectForm(TConnectDialog& dialog, QWidget* parent)
    : QDialog(parent,
              Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      logic_(dialog), poster_(std::make_unique<TQtPoster>()) {
    setObjectName("ConnectForm");
    setFixedSize(291, 175);
    setModal(true);

    Panel = new QFrame(this);
    Panel->setObjectName("Panel");
    Panel->setFrameShape(QFrame::StyledPanel);
    Panel->setFrameShadow(QFrame::Raised);
    Panel->setLineWidth(1);
    Panel->setGeometry(8, 8, 273, 121);

    auto label = [this](const char* name, int top) {
        auto* l = new QLabel(Panel);
        l->setObjectName(name);
        l->setGeometry(16, top, 86, 16);
        return l;
    };
    lbUsername = label("lbUsername", 20);
    lbPassword = label("lbPassword", 54);
    lbServer = label("lbServer", 88);

    edUsername = new QLineEdit(Panel);
    edUsername->setObjectName("edUsername");
    edUsername->setGeometry(104, 16, 153, 22);
    edUsername->setMaxLength(32767);
    edPassword = new QLineEdit(Panel);
    edPassword->setObjectName("edPassword");
    edPassword->setGeometry(104, 50, 153, 22);
    edPassword->setEchoMode(QLineEdit::Password);
    edPassword->setMaxLength(32767);
    edServer = new QComboBox(Panel);
    edServer->setObjectName("edServer");
    edServer->setEditable(true);
    edServer->setMaxVisibleItems(10);
    edServer->setGeometry(104, 84, 153, 22);
    edServer->lineEdit()->setMaxLength(32767);
    edServer->setInsertPolicy(QComboBox::NoInsert);

    btConnect = new QPushButton(this);
    btConnect->setObjectName("btConnect");
    btConnect->setGeometry(52, 141, 89, 25);
    btConnect->setDefault(true);
    btCancel = new QPushButton(this);
    btCancel->setObjectName("btCancel");
    btCancel->setGeometry(148, 141, 89, 25);
    connect(btConnect, &QPushButton::clicked, this, &TConnectForm::DoConnect);
    connect(btCancel, &QPushButton::clicked, this, &TConnectForm::DoCancel);

    lbUsername->setBuddy(edUsername);
    lbPassword->setBuddy(edPassword);
    lbServer->setBuddy(edServer);

    // Texts from the dialog (UTF-8), the logon data from the session (Windows-1252).
    setWindowTitle(QString::fromUtf8(dialog.Caption().c_str()));
    lbUsername->setText(QString::fromUtf8(dialog.UsernameLabel().c_str()));
    lbPassword->setText(QString::fromUtf8(dialog.PasswordLabel().c_str()));
    lbServer->setText(QString::fromUtf8(dialog.ServerLabel().c_str()));
    btConnect->setText(QString::fromUtf8(dialog.ConnectButton().c_str()));
    btCancel->setText(QString::fromUtf8(dialog.CancelButton().c_str()));
    // The design geometry with labels 73 wide; a font whose labels need more widens the form to match.
    int labelWidth = 73;
    for (QLabel* l : {lbUsername, lbPassword, lbServer})
        labelWidth = std::max(labelWidth, l->fontMetrics().horizontalAdvance(l->text()) + 4);
    const int inputLeft = 16 + labelWidth + 15;
    const int panelWidth = inputLeft + 153 + 16;
    setFixedSize(panelWidth + 18, 175);
    Panel->setGeometry(8, 8, panelWidth, 121);
    for (QLabel* l : {lbUsername, lbPassword, lbServer})
        l->setGeometry(16, l->y(), labelWidth, 16);
    edUsername->move(inputLeft, 16);
    edPassword->move(inputLeft, 50);
    edServer->move(inputLeft, 84);
    const int shift = (width() - 291) / 2;
    btConnect->move(52 + shift, 141);
    btCancel->move(148 + shift, 141);

    for (const std::string& s : logic_.ServerItems)
        edServer->addItem(FromAnsi(s));
    edUsername->setText(FromAnsi(logic_.Username));
    edPassword->setText(FromAnsi(logic_.Password));
    edServer->setEditText(FromAnsi(logic_.Server));
    edUsername->setAccessibleName(lbUsername->text());
    edPassword->setAccessibleName(lbPassword->text());
    edServer->setAccessibleName(lbServer->text());

    edUsername->setFocus();
    if (logic_.InitialFocus == cfPassword) edPassword->setFocus();

    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - QPoint(width() / 2, height() / 2));
}

void TConnectForm::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    if (OnShown) OnShown(*this);
}

void TConnectForm::FocusInput(TConnectFocus focus) {
    switch (focus) {
    case cfUsername:
        edUsername->setFocus();
        edUsername->selectAll();
        break;
    case cfPassword:
        edPassword->setFocus();
        edPassword->selectAll();
        break;
    case cfServer:
        edServer->setFocus();
        edServer->lineEdit()->selectAll();
        break;
    case cfNone:
        break;
    }
}

TConnectForm::~TConnectForm() {
    // A logon still running is ended and waited for; its result goes nowhere.
    logic_.AbandonConnect();
}

void TConnectForm::Post(std::function<void()> task) {
    // From the logon's thread, which the form's end waits for.
    poster_->Post(std::move(task));
}

void TConnectForm::SetWaiting(bool on) {
    for (QWidget* w : std::initializer_list<QWidget*>{edUsername, edPassword, edServer, btConnect})
        w->setEnabled(!on);
    if (on) {
        connectText_ = btConnect->text();
        btConnect->setText(QStringLiteral("..."));
        setCursor(Qt::BusyCursor);
        btCancel->setCursor(Qt::ArrowCursor);
        btCancel->setFocus();
    } else {
        btConnect->setText(connectText_);
        unsetCursor();
        btCancel->unsetCursor();
    }
}

void TConnectForm::DoConnect() {
    if (logic_.Connecting()) return;
    const bool userFocus = edUsername->hasFocus();
    try {
        logic_.StartConnect(
            ToAnsi(edUsername->text()), ToAnsi(edPassword->text()), ToAnsi(edServer->currentText()),
            userFocus, *this,
            [this](TConnectFormLogic::TOutcome outcome, std::exception_ptr error) { Ended(outcome, error); });
    } catch (const std::exception& e) {
        ShowErrorBox(this, e);
        return;
    }
    SetWaiting(true);
}

void TConnectForm::Ended(TConnectFormLogic::TOutcome outcome, std::exception_ptr error) {
    SetWaiting(false);
    switch (outcome) {
    case TConnectFormLogic::coConnected:
        accept();
        return;
    case TConnectFormLogic::coCancelled:
        // The form stays for another try; most often the server was the wrong one.
        FocusInput(cfServer);
        return;
    case TConnectFormLogic::coFailed:
        break;
    }
    try {
        std::rethrow_exception(error);
    } catch (const EDAError& e) {
        FocusInput(logic_.ErrorFocus);
        // Once the retries are used up the form closes after the error.
        if (logic_.GiveUp()) setResult(QDialog::Rejected);
        ShowErrorBox(this, e);
        if (logic_.GiveUp()) reject();
    } catch (const std::exception& e) {
        ShowErrorBox(this, e);
    }
}

void TConnectForm::DoCancel() {
    // While a logon runs Cancel ends it and the form stays; otherwise it closes the form.
    if (logic_.Connecting())
        logic_.CancelConnect();
    else
        QDialog::reject();
}

void TConnectForm::reject() {
    DoCancel();
}

namespace {

bool RunConnectForm(TConnectDialog& dialog) {
    QWidget* parent = QApplication::activeWindow();
    TConnectForm form(dialog, parent);
    return form.exec() == QDialog::Accepted;
}

} // namespace

void RegisterConnectForm() {
    RegisterConnectFormClass("TConnectForm", RunConnectForm);
}
