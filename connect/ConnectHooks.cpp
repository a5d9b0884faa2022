#include "connect/ConnectHooks.h"

#include "connect/ConnectForm.h"
#include "connect/QtText.h"
#include "dataset/DAHooks.h"
#include "dataset/DBErrors.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QFont>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

void (*OnDebugWindowShown)(QDialog&) = nullptr;

// ---- Messages ----

void ShowErrorBox(QWidget* parent, const std::exception& e) {
    if (dynamic_cast<const EAbort*>(&e)) return;
    QMessageBox box(QMessageBox::Critical, QApplication::applicationDisplayName(), FromAnsi(e.what()),
                    QMessageBox::Ok, parent);
    box.setObjectName("ErrorBox");
    box.exec();
}

void ShowPlainMessage(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, QApplication::applicationDisplayName(), text, QMessageBox::Ok,
                    parent);
    box.setObjectName("MessageBox");
    box.exec();
}

// ---- Settings ----

namespace {

QString QtKey(const std::string& key) {
    QString k = FromAnsi(key);
    k.replace('\\', '/');
    while (k.startsWith('/'))
        k.remove(0, 1);
    while (k.endsWith('/'))
        k.chop(1);
    return k;
}

} // namespace

TQtSettings::TQtSettings(const QString& dir)
    : settings_(dir.isEmpty() ? std::make_unique<QSettings>("Tessaron", "Vestra")
                              : std::make_unique<QSettings>(dir + "/vestra.ini", QSettings::IniFormat)) {}

TQtSettings::~TQtSettings() = default;

bool TQtSettings::KeyExists(const std::string& key) {
    settings_->beginGroup(QtKey(key));
    const bool exists = !settings_->childKeys().isEmpty() || !settings_->childGroups().isEmpty();
    settings_->endGroup();
    return exists;
}

bool TQtSettings::ReadString(const std::string& key, const std::string& name, std::string& value) {
    const QString path = QtKey(key) + "/" + FromAnsi(name);
    if (!settings_->contains(path)) return false;
    value = ToAnsi(settings_->value(path).toString());
    return true;
}

void TQtSettings::WriteString(const std::string& key, const std::string& name, const std::string& value) {
    settings_->setValue(QtKey(key) + "/" + FromAnsi(name), FromAnsi(value));
    settings_->sync();
}

// ---- Wait cursor ----

namespace {

struct TWaitState {
    bool waiting = false;
    int arrowCount = 0;
    QElapsedTimer started;
    QTimer* timer = nullptr;
};

TWaitState& Wait() {
    static TWaitState w;
    return w;
}

bool OnMainThread() {
    return qApp && QThread::currentThread() == qApp->thread();
}

void ShowCursor(Qt::CursorShape shape) {
    if (QApplication::overrideCursor())
        QApplication::changeOverrideCursor(QCursor(shape));
    else
        QApplication::setOverrideCursor(QCursor(shape));
}

// End of work: the default cursor, or the arrow while non-blocking work is announced.
void RestoreCursor() {
    TWaitState& w = Wait();
    w.waiting = false;
    if (w.arrowCount > 0) {
        ShowCursor(Qt::BusyCursor);
        return;
    }
    while (QApplication::overrideCursor())
        QApplication::restoreOverrideCursor();
    if (w.timer) w.timer->stop();
}

void StartWait() {
    if (!OnMainThread()) return;
    TWaitState& w = Wait();
    if (!w.waiting) ShowCursor(Qt::WaitCursor);
    w.waiting = true;
    w.started.start();
    if (!w.timer) {
        w.timer = new QTimer(qApp);
        w.timer->setInterval(30);
        QObject::connect(w.timer, &QTimer::timeout, [] {
            TWaitState& s = Wait();
            if (!s.started.isValid() || s.started.elapsed() > 30) {
                // The arrow of announced non-blocking work lasts one tick past its completion.
                if (!s.waiting && s.arrowCount > 0) --s.arrowCount;
                RestoreCursor();
            }
        });
    }
    if (!w.timer->isActive()) w.timer->start();
}

void StopWait() {
    if (!OnMainThread()) return;
    RestoreCursor();
}

void CursorNotify() {
    if (!OnMainThread()) return;
    TWaitState& w = Wait();
    ++w.arrowCount;
    ShowCursor(Qt::BusyCursor);
    StartWait();
    w.waiting = false;
}

// ---- Debug window ----

const char kDebugKey[] = "\\SOFTWARE\\Tessaron\\DEDozivo\\Debug";

class TDebugWindow : public QDialog {
public:
    TDebugWindow(const QString& title, const QString& text) {
        setObjectName("DebugForm");
        setWindowTitle(title);
        auto* top = new QWidget(this);
        top->setObjectName("Panel1");
        auto* h = new QHBoxLayout(top);
        h->setContentsMargins(4, 4, 4, 4);
        auto* close = new QPushButton("Close", top);
        close->setObjectName("btClose");
        close->setFixedSize(150, 22);
        QFont bold = close->font();
        bold.setBold(true);
        close->setFont(bold);
        auto* label = new QLabel("Before execution", top);
        label->setObjectName("lbBefore");
        label->setFont(bold);
        label->setStyleSheet("color: #000080;");
        h->addWidget(close);
        h->addWidget(label, 1);
        memo_ = new QPlainTextEdit(this);
        memo_->setObjectName("meSQL");
        memo_->setReadOnly(true);
        memo_->setLineWrapMode(QPlainTextEdit::NoWrap);
        memo_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        memo_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        QFont mono("Courier New");
        mono.setStyleHint(QFont::TypeWriter);
        memo_->setFont(mono);
        memo_->setPlainText(text);
        memo_->setAccessibleName("SQL-Text");
        auto* v = new QVBoxLayout(this);
        v->setContentsMargins(0, 0, 0, 0);
        v->setSpacing(0);
        v->addWidget(top);
        v->addWidget(memo_, 1);
        connect(close, &QPushButton::clicked, this, &QDialog::accept);

        QRect r;
        if (QScreen* screen = QGuiApplication::primaryScreen()) {
            const QRect s = screen->availableGeometry();
            r = QRect(s.x() + s.width() / 4, s.y() + s.height() / 4, s.width() / 2, s.height() / 2);
        }
        if (IConnectSettings* store = ConnectSettings()) {
            int l, t, w, hh;
            if (store->ReadInteger(kDebugKey, "Left", l) && store->ReadInteger(kDebugKey, "Top", t) &&
                store->ReadInteger(kDebugKey, "Width", w) && store->ReadInteger(kDebugKey, "Height", hh) &&
                w > 0 && hh > 0)
                r = QRect(l, t, w, hh);
        }
        if (r.isValid()) setGeometry(r);
    }
    ~TDebugWindow() override {
        if (IConnectSettings* store = ConnectSettings()) {
            const QRect r = geometry();
            store->WriteInteger(kDebugKey, "Left", r.x());
            store->WriteInteger(kDebugKey, "Top", r.y());
            store->WriteInteger(kDebugKey, "Width", r.width());
            store->WriteInteger(kDebugKey, "Height", r.height());
        }
    }

protected:
    void keyPressEvent(QKeyEvent* e) override {
        if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter || e->key() == Qt::Key_Escape) {
            accept();
            return;
        }
        QDialog::keyPressEvent(e);
    }

private:
    QPlainTextEdit* memo_;
};

void DebugHook(const TDAMonitorInfo& info) {
    if (!info.Debug || !info.Before || DAHooks().MonitorActive || !OnMainThread()) return;
    if (info.Kind != mkExecute && info.Kind != mkOpen && info.Kind != mkRefresh) return;
    std::string sql = info.SQL;
    while (!sql.empty() && static_cast<unsigned char>(sql.back()) <= 32)
        sql.pop_back();
    size_t b = 0;
    while (b < sql.size() && static_cast<unsigned char>(sql[b]) <= 32)
        ++b;
    const std::string operation = info.Label.empty() ? std::string("Execute") : info.Label;
    TDebugWindow w(DebugWindowTitle(std::string(), info.Component, operation),
                   FromAnsi(sql.substr(b) + "\r\n\r\n" + info.Params));
    if (OnDebugWindowShown) QTimer::singleShot(0, &w, [&w] { OnDebugWindowShown(w); });
    w.exec();
}

} // namespace

QString DebugWindowTitle(const std::string& owner, const std::string& name, const std::string& operation) {
    QString t = "Nodal Debug: ";
    if (!owner.empty()) t += FromAnsi(owner) + ".";
    return t + FromAnsi(name) + "  [" + FromAnsi(operation) + "]";
}

void InstallScreenHooks() {
    TDAHooks& h = DAHooks();
    h.StartWait = StartWait;
    h.StopWait = StopWait;
    h.CursorNotify = CursorNotify;
    h.Monitor = DebugHook;
    RegisterConnectForm();
}

void RemoveScreenHooks() {
    TDAHooks& h = DAHooks();
    h.StartWait = nullptr;
    h.StopWait = nullptr;
    h.CursorNotify = nullptr;
    h.Monitor = nullptr;
    TWaitState& w = Wait();
    if (w.timer) {
        w.timer->stop();
        delete w.timer;
        w.timer = nullptr;
    }
    w.arrowCount = 0;
    if (qApp)
        while (QApplication::overrideCursor())
            QApplication::restoreOverrideCursor();
}
