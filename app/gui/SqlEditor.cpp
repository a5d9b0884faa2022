#include "app/gui/SqlEditor.h"

#include "app/EditText.h"
#include "app/gui/Cp1252Qt.h"
#include "app/gui/SqlHighlighter.h"
#include "grid/ThemeColors.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QTextBlock>
#include <QToolButton>
#include <QVBoxLayout>

#include <memory>

namespace {

// Bracket matching reads the whole text on every cursor move; past this size it is left out.
constexpr int kBracketScanLimit = 2'000'000;

class TGutter : public QWidget {
public:
    explicit TGutter(TSqlEditor* editor) : QWidget(editor), editor_(editor) {
        setObjectName("Zeilennummern");
        setAccessibleName("Zeilennummern");
    }
    QSize sizeHint() const override { return {editor_->GutterWidth(), 0}; }

protected:
    void paintEvent(QPaintEvent* e) override { editor_->PaintGutter(e); }

private:
    TSqlEditor* editor_;
};

QColor CurrentLineColour(const QPalette& pal) {
    const QColor base = pal.color(QPalette::Base);
    return theme::IsDark(pal) ? base.lighter(150) : QColor(0xFF, 0xF8, 0xC8);
}

QColor BracketColour(const QPalette& pal) {
    return theme::IsDark(pal) ? QColor(0x2F, 0x6A, 0x4A) : QColor(0xB8, 0xE6, 0xB8);
}

} // namespace

TSqlEditor::TSqlEditor(QWidget* parent) : QPlainTextEdit(parent) {
    gutter_ = new TGutter(this);
    findBar_ = new TFindBar(this);
    findBar_->hide();
    highlighter_ = new TSqlHighlighter(document(), palette());
    connect(this, &QPlainTextEdit::blockCountChanged, this, [this] { LayoutMargins(); });
    connect(this, &QPlainTextEdit::updateRequest, this, [this](const QRect& r, int dy) {
        if (dy)
            gutter_->scroll(0, dy);
        else
            gutter_->update(0, r.y(), gutter_->width(), r.height());
    });
    connect(this, &QPlainTextEdit::cursorPositionChanged, this, [this] { UpdateMarks(); });
    LayoutMargins();
    UpdateMarks();
}

TSqlEditor::~TSqlEditor() = default;

int TSqlEditor::GutterWidth() const {
    int digits = 1;
    for (int n = std::max(1, blockCount()); n >= 10; n /= 10)
        ++digits;
    digits = std::max(digits, 3);
    return 8 + fontMetrics().horizontalAdvance(QLatin1Char('9')) * digits;
}

void TSqlEditor::LayoutMargins() {
    const int barHeight = findBar_->isVisible() ? findBar_->sizeHint().height() : 0;
    setViewportMargins(GutterWidth(), 0, 0, barHeight);
    const QRect vp = viewport()->geometry();
    gutter_->setGeometry(vp.left() - GutterWidth(), vp.top(), GutterWidth(), vp.height());
    if (findBar_->isVisible())
        findBar_->setGeometry(vp.left() - GutterWidth(), vp.bottom() + 1, vp.width() + GutterWidth(),
                              barHeight);
}

void TSqlEditor::keyPressEvent(QKeyEvent* e) {
    if (CompletionPopup && CompletionPopup->isVisible()) {
        switch (e->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Escape:
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            e->ignore(); // the list takes them
            return;
        default:
            break;
        }
    }
    QPlainTextEdit::keyPressEvent(e);
    if (e->text() == QLatin1String(".") && !(e->modifiers() & Qt::ControlModifier)) {
        const QTextCursor c = textCursor();
        const QString line = c.block().text();
        // The name in front of the ".": it must start with a letter (a number such as 1.5 asks for nothing).
        int at = c.positionInBlock() - 2;
        auto nameChar = [&line](int i) {
            const QChar ch = line[i];
            return ch.isLetterOrNumber() || ch == '_' || ch == '$' || ch == '#';
        };
        bool name = false;
        if (at >= 0 && nameChar(at)) {
            while (at > 0 && nameChar(at - 1))
                --at;
            name = line[at].isLetter();
        }
        if (name) emit DotTyped();
    }
}

void TSqlEditor::resizeEvent(QResizeEvent* e) {
    QPlainTextEdit::resizeEvent(e);
    LayoutMargins();
}

void TSqlEditor::changeEvent(QEvent* e) {
    QPlainTextEdit::changeEvent(e);
    if (e->type() == QEvent::PaletteChange) {
        highlighter_->SetPalette(palette());
        UpdateMarks();
    } else if (e->type() == QEvent::FontChange) {
        LayoutMargins();
    }
}

void TSqlEditor::PaintGutter(QPaintEvent* e) {
    QPainter p(gutter_);
    const QPalette& pal = palette();
    p.fillRect(e->rect(), pal.color(QPalette::Window));
    const int current = textCursor().blockNumber();
    QTextBlock block = firstVisibleBlock();
    int top = qRound(blockBoundingGeometry(block).translated(contentOffset()).top());
    const int right = gutter_->width() - 4;
    const QColor ink = pal.color(QPalette::PlaceholderText);
    QFont normal = font();
    QFont bold = font();
    bold.setBold(true);
    while (block.isValid() && top <= e->rect().bottom()) {
        const int height = qRound(blockBoundingRect(block).height());
        if (block.isVisible() && top + height >= e->rect().top()) {
            const bool here = block.blockNumber() == current;
            p.setFont(here ? bold : normal);
            p.setPen(here ? pal.color(QPalette::WindowText) : ink);
            p.drawText(0, top, right, height, Qt::AlignRight | Qt::AlignVCenter,
                       QString::number(block.blockNumber() + 1));
        }
        top += height;
        block = block.next();
    }
}

void TSqlEditor::UpdateMarks() {
    QList<QTextEdit::ExtraSelection> marks;
    QTextEdit::ExtraSelection line;
    line.format.setBackground(CurrentLineColour(palette()));
    line.format.setProperty(QTextFormat::FullWidthSelection, true);
    line.cursor = textCursor();
    line.cursor.clearSelection();
    marks.append(line);
    // The bracket at the cursor or just before it, and its partner.
    const int pos = textCursor().position();
    auto isBracket = [this](int at) {
        const QChar ch = document()->characterAt(at);
        return ch == '(' || ch == ')';
    };
    if ((isBracket(pos) || isBracket(pos - 1)) && document()->characterCount() < kBracketScanLimit) {
        const std::string text = EditorBytes(toPlainText());
        for (int at : {pos, pos - 1}) {
            if (at < 0 || size_t(at) >= text.size() || (text[size_t(at)] != '(' && text[size_t(at)] != ')'))
                continue;
            if (auto partner = MatchingBracket(text, size_t(at))) {
                for (int p : {at, int(*partner)}) {
                    QTextEdit::ExtraSelection b;
                    b.format.setBackground(BracketColour(palette()));
                    b.format.setFontWeight(QFont::Bold);
                    b.cursor = QTextCursor(document());
                    b.cursor.setPosition(p);
                    b.cursor.setPosition(p + 1, QTextCursor::KeepAnchor);
                    marks.append(b);
                }
            }
            break;
        }
    }
    setExtraSelections(marks);
    gutter_->update();
}

void TSqlEditor::SelectRange(int pos, int length) {
    QTextCursor c = textCursor();
    c.setPosition(pos);
    c.setPosition(pos + length, QTextCursor::KeepAnchor);
    setTextCursor(c);
    ensureCursorVisible();
}

void TSqlEditor::ShowFind(bool replace) {
    // A selection on one line is what the user wants to find.
    const QString selected = textCursor().selectedText();
    if (!selected.isEmpty() && !selected.contains(QChar::ParagraphSeparator))
        findBar_->FindText->setText(selected);
    findBar_->ShowReplace(replace);
    findBar_->show();
    LayoutMargins();
    findBar_->FindText->setFocus(Qt::ShortcutFocusReason);
    findBar_->FindText->selectAll();
}

namespace {

std::unique_ptr<TTextFinder> MakeFinder(TFindBar* bar) {
    const std::string pattern = QStringTo1252(bar->FindText->text());
    if (pattern.empty()) return nullptr;
    TFindOptions o;
    o.wholeWord = bar->WholeWord->isChecked();
    o.caseSensitive = bar->MatchCase->isChecked();
    o.regularExpression = bar->RegExp->isChecked();
    try {
        return std::make_unique<TTextFinder>(pattern, o);
    } catch (const EFindPattern& e) {
        bar->SetResult(QStringFrom1252(e.what()), true);
        return nullptr;
    }
}

} // namespace

bool TSqlEditor::FindNext() {
    return Find(true);
}

bool TSqlEditor::FindPrevious() {
    return Find(false);
}

// Forward from the selection's end, backward from its start; the find bar says what came of it.
bool TSqlEditor::Find(bool forward) {
    auto finder = MakeFinder(findBar_);
    if (!finder) return false;
    const std::string text = EditorBytes(toPlainText());
    try {
        const QTextCursor c = textCursor();
        if (auto m = forward ? finder->Next(text, size_t(c.selectionEnd()))
                             : finder->Previous(text, size_t(c.selectionStart()))) {
            SelectRange(int(m->pos), int(m->length));
            findBar_->SetResult(QString());
            return true;
        }
    } catch (const EFindPattern& e) {
        findBar_->SetResult(QStringFrom1252(e.what()), true);
        return false;
    }
    findBar_->SetResult("Nicht gefunden", true);
    return false;
}

namespace {

// The replacement of one match, built from the editor's own text (never from the 1252 bytes, so that a
// character Windows-1252 lacks survives a group reference).
QString Replacement(const std::vector<TReplacePiece>& pieces, const TFindMatch& m, const QString& text) {
    QString out;
    for (const TReplacePiece& p : pieces) {
        if (p.group < 0)
            out += QStringFrom1252(p.literal);
        else if (p.group == 0)
            out += text.mid(qsizetype(m.pos), qsizetype(m.length));
        else if (size_t(p.group) < m.groups.size())
            out += text.mid(qsizetype(m.groups[size_t(p.group)].first),
                            qsizetype(m.groups[size_t(p.group)].second));
    }
    return out;
}

} // namespace

void TSqlEditor::ReplaceOne() {
    auto finder = MakeFinder(findBar_);
    if (!finder) return;
    const QString doc = toPlainText();
    const std::string text = EditorBytes(doc);
    QTextCursor c = textCursor();
    try {
        if (c.hasSelection()) {
            auto m = finder->Next(text, size_t(c.selectionStart()), false);
            if (m && int(m->pos) == c.selectionStart() &&
                int(m->length) == c.selectionEnd() - c.selectionStart()) {
                const auto pieces = ParseReplacement(QStringTo1252(findBar_->ReplaceText->text()),
                                                     findBar_->RegExp->isChecked());
                // A literal replacement is taken as typed, so that no character is lost on the way.
                const QString with = findBar_->RegExp->isChecked() ? Replacement(pieces, *m, doc)
                                                                   : findBar_->ReplaceText->text();
                c.insertText(with);
                setTextCursor(c);
            }
        }
    } catch (const EFindPattern& e) {
        findBar_->SetResult(QStringFrom1252(e.what()), true);
        return;
    }
    FindNext();
}

int TSqlEditor::ReplaceAll() {
    auto finder = MakeFinder(findBar_);
    if (!finder) return 0;
    const QString doc = toPlainText();
    const std::string text = EditorBytes(doc);
    std::vector<TFindMatch> all;
    try {
        all = finder->All(text);
    } catch (const EFindPattern& e) {
        findBar_->SetResult(QStringFrom1252(e.what()), true);
        return 0;
    }
    const bool regex = findBar_->RegExp->isChecked();
    const auto pieces = ParseReplacement(QStringTo1252(findBar_->ReplaceText->text()), regex);
    if (!all.empty()) {
        QTextCursor c(document());
        c.beginEditBlock();
        // From the end, so that the offsets in front stay right.
        for (auto it = all.rbegin(); it != all.rend(); ++it) {
            c.setPosition(int(it->pos));
            c.setPosition(int(it->pos + it->length), QTextCursor::KeepAnchor);
            c.insertText(regex ? Replacement(pieces, *it, doc) : findBar_->ReplaceText->text());
        }
        c.endEditBlock();
    }
    const int n = int(all.size());
    findBar_->SetResult(n == 0 ? QStringLiteral("Nicht gefunden") : QString("%1 ersetzt").arg(n), n == 0);
    return n;
}

void TSqlEditor::AskGoToLine() {
    bool ok = false;
    const int line = QInputDialog::getInt(this, "Gehe zu Zeile", QString("Zeile (1 - %1):").arg(blockCount()),
                                          textCursor().blockNumber() + 1, 1, blockCount(), 1, &ok);
    if (ok) GoToLine(line);
}

void TSqlEditor::GoToLine(int line) {
    const QTextBlock b = document()->findBlockByNumber(std::clamp(line, 1, blockCount()) - 1);
    QTextCursor c(b);
    setTextCursor(c);
    centerCursor();
    setFocus();
}

void TSqlEditor::ToggleComment() {
    QTextCursor c = textCursor();
    const QTextBlock first = document()->findBlock(c.selectionStart());
    QTextBlock last = document()->findBlock(c.selectionEnd());
    // A selection that ends at the start of a line leaves that line alone.
    if (c.hasSelection() && last != first && c.selectionEnd() == last.position()) last = last.previous();
    const int from = first.position();
    const int to = last.position() + last.length() - 1;
    QTextCursor r(document());
    r.setPosition(from);
    r.setPosition(to, QTextCursor::KeepAnchor);
    // The block's lines joined by '\n' (QTextCursor gives U+2029 between them).
    QString lines = r.selectedText();
    lines.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    const std::string bytes = EditorBytes(lines);
    const std::string toggled = ToggleLineComments(bytes);
    if (toggled == bytes) return;
    // Only "-- " marks are added or removed: rebuild the new lines from the old text, character for
    // character, so that nothing else in them changes.
    QString result;
    size_t i = 0, j = 0;
    while (i < bytes.size() || j < toggled.size()) {
        if (i < bytes.size() && j < toggled.size() && bytes[i] == toggled[j]) {
            result += lines[qsizetype(i)];
            ++i;
            ++j;
        } else if (toggled.size() > bytes.size() && j < toggled.size()) {
            result += QChar(QLatin1Char(toggled[j]));
            ++j;
        } else {
            ++i;
        }
    }
    r.beginEditBlock();
    r.insertText(result);
    r.endEditBlock();
    // The commented lines stay selected.
    QTextCursor sel(document());
    sel.setPosition(from);
    sel.setPosition(from + int(result.size()), QTextCursor::KeepAnchor);
    setTextCursor(sel);
}

void TSqlEditor::ChangeCase(bool upper) {
    QTextCursor c = textCursor();
    if (!c.hasSelection()) c.select(QTextCursor::WordUnderCursor);
    if (!c.hasSelection()) return;
    const int a = c.selectionStart(), b = c.selectionEnd();
    const QString old = c.selectedText();
    const std::string bytes = EditorBytes(old);
    const std::string changed = upper ? UpperCase1252(bytes) : LowerCase1252(bytes);
    // Only the characters whose case changed are taken from the 1252 text; everything else stays as it was.
    QString result = old;
    for (qsizetype i = 0; i < old.size(); ++i)
        if (bytes[size_t(i)] != changed[size_t(i)])
            result[i] = QStringFrom1252(std::string(1, changed[size_t(i)]))[0];
    if (result == old) return;
    c.beginEditBlock();
    c.insertText(result);
    c.endEditBlock();
    QTextCursor sel(document());
    sel.setPosition(a);
    sel.setPosition(b, QTextCursor::KeepAnchor);
    setTextCursor(sel);
}

TFindBar::TFindBar(TSqlEditor* editor) : QWidget(editor), editor_(editor) {
    setObjectName("FindBar");
    setAccessibleName("Suchen und Ersetzen");
    setAutoFillBackground(true);
    auto* v = new QVBoxLayout(this);
    v->setContentsMargins(4, 2, 4, 2);
    v->setSpacing(2);
    auto* row1 = new QHBoxLayout;
    auto* lbl = new QLabel("&Suchen:", this);
    FindText = new QLineEdit(this);
    FindText->setObjectName("FindText");
    FindText->setAccessibleName("Suchtext");
    lbl->setBuddy(FindText);
    auto button = [this](const char* name, const QString& caption, const QString& tip) {
        auto* b = new QToolButton(this);
        b->setObjectName(name);
        b->setText(caption);
        b->setToolTip(tip);
        b->setAccessibleName(tip);
        return b;
    };
    auto* next = button("FindNextBtn", "Weiter", "Weitersuchen (F3)");
    auto* prev = button("FindPrevBtn", "Zur\u00FCck", "R\u00FCckw\u00E4rts suchen (Umschalt+F3)");
    WholeWord = new QCheckBox("Ganzes &Wort", this);
    WholeWord->setObjectName("WholeWord");
    MatchCase = new QCheckBox("&Gro\u00DF-/Kleinschreibung", this);
    MatchCase->setObjectName("MatchCase");
    RegExp = new QCheckBox("Regul\u00E4rer &Ausdruck", this);
    RegExp->setObjectName("RegExp");
    Result = new QLabel(this);
    Result->setObjectName("FindResult");
    auto* close = button("FindClose", "\u2715", "Suchleiste schlie\u00DFen (Esc)");
    for (QWidget* w :
         std::initializer_list<QWidget*>{lbl, FindText, next, prev, WholeWord, MatchCase, RegExp})
        row1->addWidget(w);
    row1->addWidget(Result, 1);
    row1->addWidget(close);
    v->addLayout(row1);
    replaceRow_ = new QWidget(this);
    auto* row2 = new QHBoxLayout(replaceRow_);
    row2->setContentsMargins(0, 0, 0, 0);
    auto* lbl2 = new QLabel("&Ersetzen:", replaceRow_);
    ReplaceText = new QLineEdit(replaceRow_);
    ReplaceText->setObjectName("ReplaceText");
    ReplaceText->setAccessibleName("Ersetzen durch");
    lbl2->setBuddy(ReplaceText);
    auto* one = new QToolButton(replaceRow_);
    one->setObjectName("ReplaceOneBtn");
    one->setText("Ersetzen");
    one->setToolTip("Die gefundene Stelle ersetzen und weitersuchen");
    auto* all = new QToolButton(replaceRow_);
    all->setObjectName("ReplaceAllBtn");
    all->setText("Alle ersetzen");
    all->setToolTip("Jede Stelle ersetzen (ein Schritt zum R\u00FCckg\u00E4ngigmachen)");
    row2->addWidget(lbl2);
    row2->addWidget(ReplaceText, 1);
    row2->addWidget(one);
    row2->addWidget(all);
    row2->addStretch(1);
    v->addWidget(replaceRow_);
    connect(next, &QToolButton::clicked, editor, [editor] { editor->FindNext(); });
    connect(prev, &QToolButton::clicked, editor, [editor] { editor->FindPrevious(); });
    connect(one, &QToolButton::clicked, editor, [editor] { editor->ReplaceOne(); });
    connect(all, &QToolButton::clicked, editor, [editor] { editor->ReplaceAll(); });
    connect(close, &QToolButton::clicked, this, [this] {
        hide();
        editor_->LayoutMargins();
        editor_->setFocus();
    });
    connect(FindText, &QLineEdit::returnPressed, editor, [editor] { editor->FindNext(); });
    connect(ReplaceText, &QLineEdit::returnPressed, editor, [editor] { editor->ReplaceOne(); });
}

void TFindBar::ShowReplace(bool on) {
    replaceRow_->setVisible(on);
}

void TFindBar::SetResult(const QString& text, bool error) {
    QPalette pal = Result->palette();
    pal.setColor(QPalette::WindowText,
                 error ? theme::AlertText(palette()) : palette().color(QPalette::WindowText));
    Result->setPalette(pal);
    Result->setText(text);
}

void TFindBar::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Escape) {
        hide();
        editor_->LayoutMargins();
        editor_->setFocus();
        return;
    }
    // The bar sits inside the editor: a key that its fields leave unused (Return after a search) must not
    // travel on into the editor's text.
    e->accept();
}
