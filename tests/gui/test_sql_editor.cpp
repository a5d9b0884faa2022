// The SQL editor of the worksheet through real key presses: colours from the lexer on a light and a dark
// palette, line numbers and marks, find (Ctrl+F, F3, Shift+F3), replace all (Ctrl+H) in one undo step, go to
// line (Ctrl+G), commenting lines (Ctrl+/, Ctrl+#) and case (Ctrl+U, Ctrl+Shift+U). With VESTRA_SNAPSHOT_DIR
// set, the editor with its colours and the find bar is saved as a picture per palette.
#include "app/gui/SqlCompleter.h"
#include "app/gui/SqlEditor.h"
#include "grid/ThemeColors.h"
#include "tests/Snapshot.h"
#include "tests/gui/WorksheetRig.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QCompleter>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QSpinBox>
#include <QTextBlock>
#include <QTextLayout>
#include <QToolButton>

namespace {

QPalette DarkPalette() {
    QPalette p(QColor(0x35, 0x35, 0x35), QColor(0x2d, 0x2d, 0x2d));
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText, QPalette::BrightText})
        p.setColor(role, QColor(0xee, 0xee, 0xee));
    p.setColor(QPalette::Base, QColor(0x1e, 0x1e, 0x1e));
    p.setColor(QPalette::Highlight, QColor(0x2a, 0x82, 0xda));
    p.setColor(QPalette::HighlightedText, Qt::white);
    return p;
}

// The format the highlighter gave to the character at column col of line (from 0).
QTextCharFormat FormatAt(QPlainTextEdit* e, int line, int col) {
    const QTextBlock b = e->document()->findBlockByNumber(line);
    for (const QTextLayout::FormatRange& r : b.layout()->formats())
        if (col >= r.start && col < r.start + r.length) return r.format;
    return {};
}

template <bool kDark> class SqlEditorWindow : public guitest::TWorksheetRig<0, 20> {
protected:
    QPalette saved_;
    TSqlEditor* ed = nullptr;
    void BeforeWindow() override {
        saved_ = QApplication::palette();
        if (kDark) QApplication::setPalette(DarkPalette());
    }
    void AfterWindow() override {
        ed = qobject_cast<TSqlEditor*>(w->Mmo);
        ASSERT_TRUE(ed);
        Activate();
        ed->setFocus();
    }
    void TearDown() override {
        guitest::TWorksheetRig<0, 20>::TearDown();
        QApplication::setPalette(saved_);
    }
    // Replaces the editor's text by typing it (Return for each line break).
    void Type(const QString& text) {
        ed->selectAll();
        QTest::keyClick(ed, Qt::Key_Delete);
        const QStringList lines = text.split('\n');
        for (int i = 0; i < lines.size(); ++i) {
            if (i) QTest::keyClick(ed, Qt::Key_Return);
            // Letters beyond ASCII come as the text of a key press, as a keyboard layout sends them.
            for (const QChar c : lines[i]) {
                if (c.unicode() < 0x80)
                    QTest::keyClick(ed, char(c.unicode()));
                else
                    QTest::sendKeyEvent(QTest::Click, ed, Qt::Key_unknown, QString(c), Qt::NoModifier);
            }
        }
    }
    void Select(int from, int to) {
        QTextCursor c = ed->textCursor();
        c.setPosition(from);
        c.setPosition(to, QTextCursor::KeepAnchor);
        ed->setTextCursor(c);
    }

    void ColoursReadable(const char* name) {
        Type("select ename, 'Text' -- Kommentar\nfrom emp where sal > 1000 and deptno = :dept");
        const QColor base = ed->palette().color(QPalette::Base);
        const QTextCharFormat keyword = FormatAt(ed, 0, 2);
        const QTextCharFormat plain = FormatAt(ed, 0, 8);
        const QTextCharFormat string = FormatAt(ed, 0, 16);
        const QTextCharFormat comment = FormatAt(ed, 0, 25);
        const QTextCharFormat number = FormatAt(ed, 1, 22);
        const QTextCharFormat parameter = FormatAt(ed, 1, 42);
        EXPECT_EQ(keyword.fontWeight(), QFont::Bold);
        EXPECT_FALSE(plain.hasProperty(QTextFormat::ForegroundBrush)) << "a plain name keeps the text colour";
        EXPECT_TRUE(comment.fontItalic());
        EXPECT_EQ(FormatAt(ed, 1, 0).foreground(), keyword.foreground()) << "FROM on the second line";
        const QList<QColor> inks = {keyword.foreground().color(), string.foreground().color(),
                                    comment.foreground().color(), number.foreground().color(),
                                    parameter.foreground().color()};
        for (int i = 0; i < inks.size(); ++i) {
            for (int j = i + 1; j < inks.size(); ++j)
                EXPECT_NE(inks[i], inks[j]) << i << " " << j;
            EXPECT_GE(theme::Contrast(inks[i], base), 4.5) << "colour " << i << " on " << name;
        }
        // The line numbers stand left of the text, the current line and a bracket pair are marked.
        EXPECT_TRUE(ed->Gutter()->isVisible());
        EXPECT_GT(ed->Gutter()->width(), ed->fontMetrics().horizontalAdvance("99"));
        Type("select count(*) from (select 1 from dual)");
        QTest::keyClick(ed, Qt::Key_Left); // the cursor just behind the last ")"
        EXPECT_EQ(ed->extraSelections().size(), 3) << "the current line and two brackets";
        EXPECT_EQ(ed->extraSelections()[2].cursor.selectionStart(), 21);
        QTest::keyClick(ed, Qt::Key_Home);
        EXPECT_EQ(ed->extraSelections().size(), 1) << "no bracket at the cursor";
        Type("select e.ename, d.dname -- wer wo\n  from emp e\n  join dept d on (d.deptno = e.deptno)\n"
             " where e.sal > 1000 and e.job = :job /* Parameter */");
        EXPECT_EQ(FormatAt(ed, 1, 2).foreground(), keyword.foreground()) << "FROM behind blanks";
        EXPECT_EQ(FormatAt(ed, 3, 1).foreground(), keyword.foreground()) << "WHERE behind a blank";
        EXPECT_TRUE(FormatAt(ed, 3, 40).fontItalic()) << "the block comment";
        QTest::keyClick(ed, Qt::Key_F, Qt::ControlModifier);
        QTest::keyClicks(ed->FindBar()->FindText, "deptno");
        QTest::keyClick(ed->FindBar()->FindText, Qt::Key_Return);
        QTest::qWait(50);
        vtest::Snapshot(*ed, (std::string("sql-editor-") + name).c_str());
    }

    // The completion list with the editor under it, as one picture.
    void PictureWithList(const char* name) {
        QWidget* popup = w->findChild<TEditorCompletion*>()->Completer()->popup();
        QImage img = ed->grab().toImage();
        QPainter p(&img);
        p.drawPixmap(ed->mapFromGlobal(popup->mapToGlobal(QPoint(0, 0))), popup->grab());
        p.end();
        vtest::Snapshot(img, (std::string("sql-completion-") + name).c_str());
    }

    void CompletionAfterAlias(const char* name) {
        auto* completion = w->findChild<TEditorCompletion*>();
        ASSERT_TRUE(completion);
        QAbstractItemView* popup = completion->Completer()->popup();
        // A number's decimal point asks for nothing (and reads no dictionary).
        Type("select 1.5");
        QTest::qWait(50);
        EXPECT_FALSE(popup->isVisible());
        EXPECT_FALSE(completion->Loaded());
        Type("select  from scott.emp e");
        QTest::keyClick(ed, Qt::Key_Home);
        for (int i = 0; i < 7; ++i)
            QTest::keyClick(ed, Qt::Key_Right);
        QTest::keyClicks(ed, "e.");
        // The dictionary and then EMP's columns are read in the background; the list follows.
        ASSERT_TRUE(QTest::qWaitFor([&] { return popup->isVisible(); }, 10000));
        QStringList offered;
        for (int i = 0; i < popup->model()->rowCount(); ++i)
            offered << popup->model()->index(i, 0).data().toString();
        EXPECT_TRUE(offered.contains("EMPNO")) << offered.join(",").toStdString();
        EXPECT_TRUE(offered.contains("ENAME"));
        EXPECT_FALSE(offered.contains("DNAME")) << "DEPT's columns are not EMP's";
        PictureWithList(name);
        QTest::keyClick(popup, Qt::Key_E);
        QTest::keyClick(popup, Qt::Key_N);
        ASSERT_TRUE(popup->isVisible());
        EXPECT_EQ(popup->model()->rowCount(), 1);
        QTest::keyClick(popup, Qt::Key_Return);
        EXPECT_FALSE(popup->isVisible());
        EXPECT_EQ(ed->toPlainText(), "select e.ENAME from scott.emp e");
        // Ctrl+Space on a table name's start offers the tables, from the cache this time.
        QTest::keyClick(ed, Qt::Key_End);
        QTest::keyClicks(ed, " join de");
        QTest::keyClick(ed, Qt::Key_Space, Qt::ControlModifier);
        ASSERT_TRUE(popup->isVisible()) << "no wait: the names are at hand";
        EXPECT_EQ(popup->model()->index(0, 0).data().toString(), "DEPT");
        QTest::keyClick(popup, Qt::Key_Escape);
        EXPECT_FALSE(popup->isVisible());
        EXPECT_EQ(ed->toPlainText(), "select e.ENAME from scott.emp e join de") << "Escape inserts nothing";
    }
};

using LightEditor = SqlEditorWindow<false>;
using DarkEditor = SqlEditorWindow<true>;

TEST_F(LightEditor, ColoursFromTheLexerAndMarks) {
    ColoursReadable("light");
}
TEST_F(DarkEditor, ColoursFromTheLexerAndMarks) {
    ColoursReadable("dark");
}

TEST_F(LightEditor, CompletionAfterAnAliasOffersItsTablesColumns) {
    CompletionAfterAlias("light");
}
TEST_F(DarkEditor, CompletionAfterAnAliasOffersItsTablesColumns) {
    CompletionAfterAlias("dark");
}

TEST_F(LightEditor, CtrlFFindsAndF3GoesOn) {
    Type("select emp from emp_x\nwhere emp = EMP");
    QTest::keyClick(ed, Qt::Key_Home, Qt::ControlModifier);
    QTest::keyClick(ed, Qt::Key_F, Qt::ControlModifier);
    TFindBar* bar = ed->FindBar();
    ASSERT_TRUE(bar->isVisible());
    ASSERT_TRUE(bar->FindText->hasFocus());
    EXPECT_FALSE(bar->ReplaceText->isVisible());
    QTest::keyClicks(bar->FindText, "emp");
    QTest::keyClick(bar->FindText, Qt::Key_Return);
    EXPECT_EQ(ed->textCursor().selectionStart(), 7);
    EXPECT_EQ(ed->textCursor().selectedText(), "emp");
    QTest::keyClick(bar->FindText, Qt::Key_F3);
    EXPECT_EQ(ed->textCursor().selectionStart(), 16) << "EMP_X holds it too";
    // Whole words and case: only the last EMP.
    QTest::keyClick(bar->WholeWord, Qt::Key_Space);
    QTest::keyClick(bar->MatchCase, Qt::Key_Space);
    bar->FindText->selectAll();
    QTest::keyClicks(bar->FindText, "EMP");
    ed->setFocus();
    QTest::keyClick(ed, Qt::Key_F3);
    EXPECT_EQ(ed->textCursor().selectionStart(), 34);
    QTest::keyClick(ed, Qt::Key_F3);
    EXPECT_EQ(ed->textCursor().selectionStart(), 34) << "the search wraps round to the one place";
    QTest::keyClick(bar->MatchCase, Qt::Key_Space);
    QTest::keyClick(ed, Qt::Key_F3, Qt::ShiftModifier);
    EXPECT_EQ(ed->textCursor().selectionStart(), 28) << "Shift+F3 goes back";
    // Nothing found says so and leaves the cursor.
    bar->FindText->selectAll();
    QTest::keyClicks(bar->FindText, "dept");
    QTest::keyClick(bar->FindText, Qt::Key_Return);
    EXPECT_EQ(bar->Result->text(), "Nicht gefunden");
    EXPECT_EQ(ed->textCursor().selectionStart(), 28);
    // A broken regular expression is reported, nothing moves.
    QTest::keyClick(bar->RegExp, Qt::Key_Space);
    bar->FindText->selectAll();
    QTest::keyClicks(bar->FindText, "(emp");
    QTest::keyClick(bar->FindText, Qt::Key_Return);
    EXPECT_TRUE(bar->Result->text().startsWith(QString::fromUtf8("Ungültiger regulärer Ausdruck")))
        << bar->Result->text().toStdString();
    // Escape closes the bar and gives the editor the focus back.
    QTest::keyClick(bar->FindText, Qt::Key_Escape);
    EXPECT_FALSE(bar->isVisible());
    EXPECT_TRUE(ed->hasFocus());
    // F3 goes on with the last text while the bar is closed.
    QTest::keyClick(bar->RegExp, Qt::Key_Space);
    bar->FindText->setText("emp");
    QTest::keyClick(ed, Qt::Key_F3);
    EXPECT_FALSE(bar->isVisible());
    EXPECT_EQ(ed->textCursor().selectionStart(), 34) << "the whole word after the one at 28, in any case";
}

TEST_F(LightEditor, CtrlHReplacesAllInOneUndoStep) {
    const QString before = QString::fromUtf8("select ename from emp\nwhere emp.x = 'emp' -- emp €");
    Type(before);
    QTest::keyClick(ed, Qt::Key_H, Qt::ControlModifier);
    TFindBar* bar = ed->FindBar();
    ASSERT_TRUE(bar->ReplaceText->isVisible());
    QTest::keyClicks(bar->FindText, "emp");
    QTest::keyClick(bar->WholeWord, Qt::Key_Space);
    QTest::keyClicks(bar->ReplaceText, "scott.emp");
    QTest::mouseClick(bar->findChild<QToolButton*>("ReplaceAllBtn"), Qt::LeftButton);
    EXPECT_EQ(bar->Result->text(), "4 ersetzt");
    EXPECT_EQ(
        ed->toPlainText(),
        QString::fromUtf8("select ename from scott.emp\nwhere scott.emp.x = 'scott.emp' -- scott.emp €"));
    ed->setFocus();
    QTest::keyClick(ed, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(ed->toPlainText(), before) << "one Ctrl+Z undoes every replacement";
    // Groups of a regular expression; a character outside Windows-1252 in a group survives.
    Type(QString::fromUtf8("a1 = 'Ω', b22 = 'x'"));
    QTest::keyClick(bar->WholeWord, Qt::Key_Space);
    QTest::keyClick(bar->RegExp, Qt::Key_Space);
    bar->FindText->selectAll();
    QTest::keyClicks(bar->FindText, "([a-z])(\\d+) = ('[^']*')");
    bar->ReplaceText->selectAll();
    QTest::keyClicks(bar->ReplaceText, "$3 AS $1$2");
    QTest::mouseClick(bar->findChild<QToolButton*>("ReplaceAllBtn"), Qt::LeftButton);
    EXPECT_EQ(bar->Result->text(), "2 ersetzt");
    EXPECT_EQ(ed->toPlainText(), QString::fromUtf8("'Ω' AS a1, 'x' AS b22"));
}

TEST_F(LightEditor, CtrlGMovesTheCursorToTheLine) {
    Type("select *\nfrom emp\nwhere 1 = 1\norder by 1");
    bool asked = false;
    guitest::OnNextModal(
        [&asked](QWidget* d) {
            auto* input = qobject_cast<QInputDialog*>(d);
            if (!input) return;
            asked = true;
            auto* spin = input->findChild<QSpinBox*>();
            spin->selectAll();
            QTest::keyClicks(spin, "3");
            QTest::keyClick(spin, Qt::Key_Return);
        },
        "QInputDialog");
    QTest::keyClick(ed, Qt::Key_G, Qt::ControlModifier);
    EXPECT_TRUE(asked);
    EXPECT_EQ(ed->textCursor().blockNumber(), 2);
    EXPECT_EQ(ed->textCursor().positionInBlock(), 0);
}

TEST_F(LightEditor, CommentKeysToggleAndCtrlZUndoesInOneStep) {
    const QString before = "select *\n  from emp\n where 1 = 1";
    Type(before);
    Select(3, 14); // from the first line into the second
    QTest::keyClick(ed, Qt::Key_Slash, Qt::ControlModifier);
    EXPECT_EQ(ed->toPlainText(), "-- select *\n--   from emp\n where 1 = 1");
    QTest::keyClick(ed, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(ed->toPlainText(), before) << "one Ctrl+Z takes back every mark";
    // Ctrl+# (German keyboards) on the cursor's line, twice: on and off again.
    QTest::keyClick(ed, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClick(ed, Qt::Key_NumberSign, Qt::ControlModifier);
    EXPECT_EQ(ed->toPlainText(), "select *\n  from emp\n -- where 1 = 1");
    QTest::keyClick(ed, Qt::Key_NumberSign, Qt::ControlModifier);
    EXPECT_EQ(ed->toPlainText(), before);
}

TEST_F(LightEditor, CaseOfTheSelectionOrTheWord) {
    Type(QString::fromUtf8("select größe from maße"));
    Select(7, 12);
    QTest::keyClick(ed, Qt::Key_U, Qt::ControlModifier);
    EXPECT_EQ(ed->toPlainText(), QString::fromUtf8("select GRÖßE from maße"));
    EXPECT_EQ(ed->textCursor().selectedText(), QString::fromUtf8("GRÖßE")) << "the selection stays";
    QTest::keyClick(ed, Qt::Key_End);
    QTest::keyClick(ed, Qt::Key_U, Qt::ControlModifier); // the word at the cursor
    EXPECT_EQ(ed->toPlainText(), QString::fromUtf8("select GRÖßE from MAßE"));
    ed->selectAll();
    QTest::keyClick(ed, Qt::Key_U, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(ed->toPlainText(), QString::fromUtf8("select größe from maße"));
    QTest::keyClick(ed, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(ed->toPlainText(), QString::fromUtf8("select GRÖßE from MAßE")) << "one step back";
}

} // namespace
