#include "app/gui/DriveHooks.h"

#include "app/gui/DataModule1.h"
#include "app/gui/FVestra.h"
#include "connect/ConnectForm.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

#include <cstdio>

namespace {

bool Driven() {
    return qEnvironmentVariableIsSet("VESTRA_DRIVE");
}

void Say(const QString& line) {
    std::fputs((line + "\n").toUtf8().constData(), stdout);
    std::fflush(stdout);
}

void SendKey(QWidget* target, int key, const QString& text) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QApplication::sendEvent(target, &release);
}

} // namespace

void InstallDriveHooks() {
    if (!Driven()) return;
    TConnectForm::OnShown = [](TConnectForm& f) {
        QTimer::singleShot(0, &f, [&f] { f.btConnect->click(); });
    };
    const bool yes = qEnvironmentVariable("VESTRA_DRIVE_ANSWER") != "no";
    auto* watch = new QTimer(qApp);
    watch->setInterval(20);
    QObject::connect(watch, &QTimer::timeout, [yes] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || box->property("driven").toBool()) return;
        box->setProperty("driven", true);
        Say("Frage: " + box->text());
        QAbstractButton* b = box->button(yes ? QMessageBox::Yes : QMessageBox::No);
        if (!b) b = box->button(QMessageBox::Ok);
        if (b) QTimer::singleShot(0, b, &QAbstractButton::click);
    });
    watch->start();
}

void DriveAfterStart(TFVestra* w) {
    if (!Driven() || !w) return;
    QString text = QString::fromStdU16String(w->EditorRawText());
    Say("Editor: " + text.replace("\r\n", "\\n"));
    // Every worksheet tab: its caption and text, and which one is current.
    for (int i = 0; i < w->TabCount(); ++i) {
        QString t = w->TabEditor(i)->toPlainText();
        Say(QString("Blatt %1: %2 | %3")
                .arg(i + 1)
                .arg(QString::fromStdString(w->Tabs().Caption(i)), t.replace("\n", "\\n")));
    }
    Say(QString("Aktuell: %1").arg(w->CurrentTab() + 1));
    const QString typed = qEnvironmentVariable("VESTRA_DRIVE_TYPE");
    if (!typed.isEmpty()) {
        w->Mmo->setFocus();
        w->Mmo->moveCursor(QTextCursor::End);
        for (QChar c : typed) {
            // A tab character opens a new worksheet tab (Ctrl+T); the typing goes on there.
            if (c == '\t') {
                if (w->DataModule()) w->DataModule()->NewWorksheet->trigger();
                continue;
            }
            if (c == '\n')
                SendKey(w->Mmo, Qt::Key_Return, "\r");
            else
                SendKey(w->Mmo,
                        c.isLetterOrNumber() && c.unicode() < 128 ? int(c.toUpper().unicode())
                                                                  : int(Qt::Key_unknown),
                        QString(c));
        }
        Say("getippt");
    }
    if (qEnvironmentVariableIsSet("VESTRA_DRIVE_CLOSE")) {
        QPointer<TFVestra> p(w);
        QTimer::singleShot(0, w, [p] {
            if (p) p->close();
        });
    }
}
