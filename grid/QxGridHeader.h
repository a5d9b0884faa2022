// The title area of the result grid (multi-level titles with merged cells, sort marks with their positions,
// the pressed title, the filter and search bar rows with their editors, the top-left cell's icons) and the
// footer under the rows (record position and count, column summaries).
#pragma once

#include <QHeaderView>
#include <QLabel>
#include <QWidget>

#include <string>
#include <vector>

class TQxDBGrid;
class QLineEdit;

// The grid's bitmaps, drawn by the program: "SORTASC", "SORTDESC", "MENU", "SEARCH", "FILTER",
// "ACTIVE_FILTER", "EDIT"; in the ink of the palette given, at the screen's scale.
QPixmap GridBitmap(const QString& name, const QPalette& pal);

class TQxTitleHeader : public QHeaderView {
    Q_OBJECT
public:
    explicit TQxTitleHeader(TQxDBGrid* grid);
    // Heights of the parts.
    int LevelCount() const;
    int TitleHeight() const;
    int BarHeight() const;
    bool FilterBarShown() const;
    bool SearchBarShown() const;
    // The rectangle of a bar cell (bar 0 filter, 1 search) of a section, in header coordinates.
    QRect BarCellRect(int bar, int logical) const;
    // Recomputes the height after a change of titles or bars.
    void TitlesChanged();
    int PressedSection() const { return pressed_; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* e) override;
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;

private:
    void PaintBars(QPainter& p, const QRect& rect, int logical) const;
    TQxDBGrid* grid_;
    int pressed_ = -1;
    bool pressInTitle_ = false;
    bool sizing_ = false;
    bool afterDoubleClick_ = false;
};

// The top-left cell over the indicator column: the menu icon and the bars' icons.
class TQxCornerCell : public QWidget {
    Q_OBJECT
public:
    explicit TQxCornerCell(TQxDBGrid* grid);

protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;

private:
    TQxDBGrid* grid_;
};

class TQxGridFooter : public QWidget {
    Q_OBJECT
public:
    explicit TQxGridFooter(TQxDBGrid* grid);
    // The position, count or a summary may have changed: repaint, and tell assistive technology the new text.
    void Changed();
    // What the footer shows, as one line for a screen reader: "1/14; SAL: 29025".
    QString SpokenText() const;

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    void RefreshSpoken();
    TQxDBGrid* grid_;
};

// The in-title editor: a cell control over one bar cell with an inner borderless edit box that shows while
// editing. It keeps the pending filter texts, one per column, while filter edits are pending.
class TQxGridTitleEdit : public QLabel {
    Q_OBJECT
public:
    enum TBar { brFilter = 0, brSearch = 1 };
    explicit TQxGridTitleEdit(TQxDBGrid* grid);
    // Opens the cell of a column in a bar: covers it and takes the focus.
    void OpenCell(TBar bar, int column);
    void CloseCell();
    bool IsOpen() const { return open_; }
    TBar Bar() const { return bar_; }
    int Column() const { return column_; }
    bool Pending() const { return pending_; }
    // The pending (or current) filter text of a column.
    std::string PendingText(int column) const;
    // Every pending text becomes its column's filter expression and the filters apply.
    void ApplyPending();
    void DiscardPending();
    QLineEdit* EditBox() const { return edit_; }
    bool Editing() const;
    void StartEdit(const QString& typed = QString());
    // Commits the edit box; false when the filter text does not convert (the user stays in the box).
    bool Commit();
    void Reposition();

protected:
    bool event(QEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    bool eventFilter(QObject* o, QEvent* e) override;

private:
    bool HandleMoveKey(QKeyEvent* e, bool inEdit);
    void MoveForward();
    void MoveBackward();
    void MoveUp();
    void MoveDown();
    void EditChanged(const QString& text);
    TQxDBGrid* grid_;
    QLineEdit* edit_;
    TBar bar_ = brFilter;
    int column_ = -1;
    bool open_ = false;
    bool pending_ = false;
    bool committing_ = false;
    std::vector<std::string> pendingTexts_;
    std::vector<std::string> searchTexts_;
};
