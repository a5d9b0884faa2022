#include "grid/MemoEditor.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

QString NormaliseLineBreaks(const QString& text) {
    QString out;
    out.reserve(text.size() + text.size() / 16);
    for (qsizetype i = 0; i < text.size(); ++i) {
        QChar c = text[i];
        if (c == '\r') {
            out += "\r\n";
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else if (c == '\n')
            out += "\r\n";
        else
            out += c;
    }
    return out;
}

TMemoEditorForm::TMemoEditorForm(QWidget* parent) : QDialog(parent) {
    setObjectName("MemoEditorForm");
    memo_ = new QPlainTextEdit(this);
    memo_->setObjectName("Memo");
    memo_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    memo_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    memo_->setLineWrapMode(QPlainTextEdit::NoWrap);
    memo_->installEventFilter(this);
    wrap_ = new QCheckBox("Word Wrap", this);
    wrap_->setObjectName("WordWrap");
    ok_ = new QPushButton("&OK", this);
    ok_->setObjectName("BtnOK");
    cancel_ = new QPushButton("&Cancel", this);
    cancel_->setObjectName("BtnCancel");
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(wrap_);
    buttons->addStretch();
    buttons->addWidget(ok_);
    buttons->addWidget(cancel_);
    auto* lay = new QVBoxLayout(this);
    lay->addWidget(memo_);
    lay->addLayout(buttons);
    connect(wrap_, &QCheckBox::toggled, this, &TMemoEditorForm::SetWordWrap);
    connect(ok_, &QPushButton::clicked, this, [this] {
        closingByOk_ = true;
        accept();
    });
    connect(cancel_, &QPushButton::clicked, this, &TMemoEditorForm::reject);
    setMinimumSize(260, 100);
    resize(530, 308);
    if (QScreen* s = QGuiApplication::primaryScreen()) {
        QRect g = s->availableGeometry();
        move(g.center() - QPoint(width() / 2, height() / 2));
    }
}

void TMemoEditorForm::SetField(const QString& displayName, const QString& text, bool readOnly) {
    setWindowTitle(displayName);
    original_ = NormaliseLineBreaks(text);
    // The editor keeps lines; the text goes back with CR LF pairs.
    QString shown = original_;
    shown.replace("\r\n", "\n");
    memo_->setPlainText(shown);
    memo_->document()->setModified(false);
    readOnly_ = readOnly;
    memo_->setReadOnly(readOnly);
    ok_->setVisible(!readOnly);
    cancel_->setText(readOnly ? "&Close" : "&Cancel");
}

QString TMemoEditorForm::Text() const {
    return NormaliseLineBreaks(memo_->toPlainText());
}

bool TMemoEditorForm::Modified() const {
    return !readOnly_ && Text() != original_;
}

bool TMemoEditorForm::WordWrap() const {
    return wrap_->isChecked();
}

void TMemoEditorForm::SetWordWrap(bool on) {
    if (wrap_->isChecked() != on) wrap_->setChecked(on);
    memo_->setLineWrapMode(on ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
}

bool TMemoEditorForm::ConfirmClose() {
    if (closingByOk_ || !Modified() || asking_) return true;
    asking_ = true;
    QString q = QString("Field \"%1\" is modified. Save?").arg(windowTitle());
    auto answer = QMessageBox::question(
        this, windowTitle(), q, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes);
    asking_ = false;
    if (answer == QMessageBox::Cancel) return false;
    if (answer == QMessageBox::Yes) {
        closingByOk_ = true;
        QDialog::accept();
        return false;
    }
    return true;
}

void TMemoEditorForm::reject() {
    if (!ConfirmClose()) return;
    QDialog::reject();
}

void TMemoEditorForm::closeEvent(QCloseEvent* e) {
    if (!ConfirmClose()) {
        e->ignore();
        return;
    }
    QDialog::closeEvent(e);
}

bool TMemoEditorForm::eventFilter(QObject* o, QEvent* e) {
    if (o == memo_ && e->type() == QEvent::KeyPress) {
        auto* ke = static_cast<QKeyEvent*>(e);
        if ((ke->key() == Qt::Key_Return || ke->key() == Qt::Key_Enter) &&
            (ke->modifiers() & Qt::ControlModifier)) {
            if (!readOnly_) {
                closingByOk_ = true;
                accept();
            } else
                reject();
            return true;
        }
        if (ke->key() == Qt::Key_Escape) {
            reject();
            return true;
        }
    }
    return QDialog::eventFilter(o, e);
}
