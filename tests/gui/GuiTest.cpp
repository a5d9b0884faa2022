#include "tests/gui/GuiTest.h"

#include "app/gui/FVestra.h"
#include "app/gui/VestraApp.h"
#include "connect/ConnectForm.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QList>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <memory>

namespace guitest {

namespace {
QList<QPointer<QTimer>>& Pending() {
    static QList<QPointer<QTimer>> timers;
    return timers;
}
} // namespace

void CancelPendingModals() {
    for (const QPointer<QTimer>& t : Pending())
        if (t) {
            t->stop();
            delete t.data();
        }
    Pending().clear();
}

void OnNextModal(std::function<void(QWidget*)> f, const char* inherits) {
    auto* timer = new QTimer(qApp);
    Pending().append(timer);
    auto tries = std::make_shared<int>(0);
    // The modal widget active now (the dialog the caller is in) is not the next one.
    QPointer<QWidget> current = QApplication::activeModalWidget();
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, tries, f, current, inherits] {
        QWidget* w = QApplication::activeModalWidget();
        if (w && w == current.data()) w = nullptr;
        if (w && inherits && !w->inherits(inherits)) w = nullptr;
        if (!w && ++*tries < 500) return;
        timer->stop();
        timer->deleteLater();
        if (qEnvironmentVariableIsSet("GUITEST_TRACE")) // which dialog a test met

            qWarning("modal: %s %s", w ? w->metaObject()->className() : "-",
                     w ? qPrintable(w->objectName()) : "");
        f(w);
    });
    timer->start();
}

QString MessageText(QWidget* w) {
    auto* box = qobject_cast<QMessageBox*>(w);
    return box ? box->text() : QString();
}

void ClickButton(QWidget* w, int standardButton) {
    auto* box = qobject_cast<QMessageBox*>(w);
    if (!box) return;
    if (QAbstractButton* b = box->button(QMessageBox::StandardButton(standardButton))) b->click();
}

void AcceptFileDialog(QWidget* w, const QString& file) {
    auto* dlg = qobject_cast<QFileDialog*>(w);
    if (!dlg) return;
    auto* edit = dlg->findChild<QLineEdit*>("fileNameEdit");
    if (!edit) {
        dlg->reject();
        return;
    }
    edit->setText(file);
    QTest::keyClick(edit, Qt::Key_Return);
}

QString BinFolder() {
    return QCoreApplication::applicationDirPath() + "/../bin";
}

std::unique_ptr<TFVestra> StartLoggedOn(const std::string& server) {
    TConnectForm::OnShown = [](TConnectForm& f) {
        QTimer::singleShot(0, &f, [&f] { f.btConnect->click(); });
    };
    TStartOptions o;
    o.connect = "scott/tiger@" + server;
    o.haveConnect = true;
    std::unique_ptr<TFVestra> w(CreateVestra(o));
    TConnectForm::OnShown = nullptr;
    return w;
}

} // namespace guitest
