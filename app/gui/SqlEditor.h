// The SQL editor of the worksheet: a plain-text editor with SQL colours, line numbers, the current line and
// matching brackets marked, a find and replace bar at its foot, go to line, commenting lines and case change.
#pragma once

#include <QPlainTextEdit>
#include <QPointer>

class QCheckBox;
class QLabel;
class QLineEdit;
class TFindBar;
class TSqlHighlighter;

class TSqlEditor : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit TSqlEditor(QWidget* parent = nullptr);
    ~TSqlEditor() override;

    // The find bar: shown with the focus in its search field (and with the replace row when replace is set).
    void ShowFind(bool replace);
    // The next and the previous place of the search text; false when there is none.
    bool FindNext();
    bool FindPrevious();
    // Replaces the selected place (when it is one) and goes on to the next.
    void ReplaceOne();
    // Replaces every place in one undo step; returns how many.
    int ReplaceAll();
    // Asks for a line number and moves the cursor there.
    void AskGoToLine();
    void GoToLine(int line);
    // Comments or uncomments the lines of the selection (or the cursor's line) in one undo step.
    void ToggleComment();
    // Upper or lower case of the selection (or the word at the cursor) in one undo step.
    void ChangeCase(bool upper);

    // The completion's list while it is open: Return, Tab and Escape belong to it then.
    QPointer<QWidget> CompletionPopup;

    TFindBar* FindBar() const { return findBar_; }
    QWidget* Gutter() const { return gutter_; }
    int GutterWidth() const;
    void PaintGutter(class QPaintEvent* e);
    void LayoutMargins();

signals:
    // A "." was typed right behind a name.
    void DotTyped();

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void changeEvent(QEvent* e) override;

private:
    bool Find(bool forward);
    void UpdateMarks();
    void SelectRange(int pos, int length);

    QWidget* gutter_;
    TFindBar* findBar_;
    TSqlHighlighter* highlighter_;
};

// The find and replace bar under the editor's text.
class TFindBar : public QWidget {
    Q_OBJECT
public:
    explicit TFindBar(TSqlEditor* editor);
    QLineEdit* FindText;
    QLineEdit* ReplaceText;
    QCheckBox* WholeWord;
    QCheckBox* MatchCase;
    QCheckBox* RegExp;
    QLabel* Result;
    void ShowReplace(bool on);
    void SetResult(const QString& text, bool error = false);

protected:
    void keyPressEvent(QKeyEvent* e) override;

private:
    QWidget* replaceRow_;
    TSqlEditor* editor_;
};
