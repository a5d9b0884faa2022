#include "app/gui/FocusKeys.h"

#include <QKeyEvent>
#include <QPlainTextEdit>

namespace {

class TCtrlTabLeaves : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (e->type() != QEvent::KeyPress && e->type() != QEvent::ShortcutOverride) return false;
        auto* k = static_cast<QKeyEvent*>(e);
        if (!(k->modifiers() & Qt::ControlModifier)) return false;
        const bool forward = k->key() == Qt::Key_Tab && !(k->modifiers() & Qt::ShiftModifier);
        const bool back =
            k->key() == Qt::Key_Backtab || (k->key() == Qt::Key_Tab && (k->modifiers() & Qt::ShiftModifier));
        if (!forward && !back) return false;
        // Claim the key before any shortcut sees it, then move on the key press itself.
        if (e->type() == QEvent::ShortcutOverride) {
            e->accept();
            return true;
        }
        auto* editor = static_cast<QWidget*>(watched);
        QWidget* next = forward ? editor->nextInFocusChain() : editor->previousInFocusChain();
        // Skip what cannot take the focus (labels, hidden or disabled controls).
        for (int guard = 0; next && next != editor && guard < 1000; ++guard) {
            if (next->isVisible() && next->isEnabled() && (next->focusPolicy() & Qt::TabFocus)) break;
            next = forward ? next->nextInFocusChain() : next->previousInFocusChain();
        }
        if (next && next != editor) next->setFocus(forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
        return true;
    }
};

} // namespace

void LetCtrlTabLeave(QPlainTextEdit* editor) {
    editor->installEventFilter(new TCtrlTabLeaves(editor));
}
