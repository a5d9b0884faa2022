#include "app/gui/RecoveryKeeper.h"

#include "app/gui/DataModule1.h"
#include "app/gui/FVestra.h"
#include "connect/QtText.h"

#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTextDocument>
#include <QTimer>

const char* const kAskRecovery = "Nicht gespeicherten Text wiederherstellen?";

TRecoveryKeeper::TRecoveryKeeper(TFVestra& window, const std::string& folder) : QObject(&window), w_(window) {
    setObjectName("RecoveryKeeper");
    file_.Open(folder);
    idle_ = new QTimer(this);
    idle_->setSingleShot(true);
    connect(idle_, &QTimer::timeout, this, [this] {
        if (dirty_) SaveNow();
    });
}

void TRecoveryKeeper::Watch(QTextDocument* document) {
    // Each change only restarts the timer: nothing is written while the user types.
    connect(document, &QTextDocument::contentsChanged, this, [this] {
        dirty_ = true;
        idle_->start(IdleMs);
    });
}

void TRecoveryKeeper::OfferAtStart() {
    if (!Active()) return;
    std::string broken;
    const std::optional<TRecoveryState> found = file_.LoadOrSetAside(broken);
    // A broken file has been kept aside, not replaced: the user learns where it is.
    if (!broken.empty()) w_.ShowMessage(broken);
    std::string initial;
    w_.EditorText1252Lossy(initial);
    bool restore = false;
    switch (RecoveryOfferFor(found, initial)) {
    case TRecoveryOffer::Nothing:
        break;
    case TRecoveryOffer::RestoreQuietly:
        restore = true;
        break;
    case TRecoveryOffer::Ask: {
        QMessageBox box(QMessageBox::Question, kProductName, kAskRecovery, QMessageBox::Yes | QMessageBox::No,
                        &w_);
        box.setObjectName("RecoveryBox");
        box.setDefaultButton(QMessageBox::Yes);
        restore = box.exec() == QMessageBox::Yes;
        break;
    }
    }
    if (restore && w_.DataModule()) {
        THistory& h = w_.DataModule()->FHistory;
        h.Restore(found->history, found->historyPos);
        w_.LblPos->setText(FromAnsi(h.LabelText()));
        if (found->tabs.empty())
            w_.SetEditorText(found->text);
        else
            w_.RestoreTabs(found->tabs, found->currentTab);
    }
    // From here on the file says "running": a crash now offers this run's text.
    SaveNow();
}

void TRecoveryKeeper::SaveNow(bool closedNormally) {
    if (!Active()) return;
    idle_->stop();
    TRecoveryState s;
    s.closedNormally = closedNormally;
    w_.EditorText1252Lossy(s.text);
    if (w_.DataModule()) {
        const THistory& h = w_.DataModule()->FHistory;
        s.history = h.Entries();
        s.historyPos = h.Pos();
    }
    w_.TabsState(s.tabs, s.currentTab);
    try {
        file_.Save(s);
        dirty_ = false;
    } catch (const std::exception&) {
        // A full disk or a folder gone: the next change tries again. A message at every pause in typing
        // would keep the user from working; the editor's text itself is untouched.
    }
}
