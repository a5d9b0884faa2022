// TQxDBGrid, the result grid: a table view bound to a data source, one row per record and one column per
// field, with title-click sorting through the data set's ORDER BY, column filters with a filter bar and a
// search bar in the title area, a footer with the record position and count and column summaries, multi-level
// titles, and a memo editor.
#pragma once

#include "grid/QxGridLogic.h"

#include <QTableView>

#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class TDataSource;
class TDataSet;
class TField;
class TQxDBGrid;
class TQxGridModel;
class TQxTitleHeader;
class TQxGridFooter;
class TQxGridDataLink;
class TQxGridTitleEdit;
class QMenu;
class QAction;
class QLabel;

// The framework grid's options.
enum TDBGridOption : unsigned {
    dgEditing = 1,
    dgAlwaysShowEditor = 2,
    dgTitles = 4,
    dgIndicator = 8,
    dgColumnResize = 16,
    dgColLines = 32,
    dgRowLines = 64,
    dgTabs = 128,
    dgRowSelect = 256,
    dgAlwaysShowSelection = 512,
    dgConfirmDelete = 1024,
    dgCancelOnExit = 2048,
};
inline constexpr unsigned DefaultGridOptions = dgEditing | dgTitles | dgIndicator | dgColumnResize |
                                               dgColLines | dgRowLines | dgTabs | dgConfirmDelete |
                                               dgCancelOnExit;

// The grid's own options (OptionsEx).
enum TQxGridOptionEx : unsigned {
    dgeEnableSort = 1,
    dgeFilterBar = 2,
    dgeLocalFilter = 4,
    dgeRecordCount = 8,
    dgeSearchBar = 16,
    dgeStretch = 32,
    dgeSummary = 64,
};
inline constexpr unsigned DefaultGridOptionsEx = dgeEnableSort | dgeLocalFilter | dgeRecordCount;

class TQxColumnTitle {
public:
    // The stored caption, empty when it is the field's default caption; LevelDelimiterChar separates levels.
    const std::string& Caption() const { return caption_; }
    void SetCaption(const std::string& caption1252) { caption_ = caption1252; }
    // The caption shown: the stored one, else the field's display label.
    std::string ShownCaption(const TField* field) const;

private:
    std::string caption_;
};

class TQxColumn {
public:
    explicit TQxColumn(TQxDBGrid* grid, TField* field);
    TField* Field() const { return field_; }
    std::string FieldName() const;
    TQxColumnTitle& Title() { return title_; }
    const TQxColumnTitle& Title() const { return title_; }
    // A data field (not calculated or lookup) whose type is not memo, formatted memo or CLOB.
    bool Sortable() const;

    const std::string& FilterExpression() const { return filterExpression_; }
    void SetFilterExpression(const std::string& text1252) { filterExpression_ = text1252; }
    int MinWidth() const { return minWidth_; }
    void SetMinWidth(int w);
    int Width() const;
    void SetWidth(int w);
    TSortOrder SortOrder() const;
    void SetSortOrder(TSortOrder order);
    int SortSequence() const;
    TSummaryMode SummaryMode() const { return summaryMode_; }
    void SetSummaryMode(TSummaryMode mode);
    TFloatFormat FloatFormat() const { return fmt_.Format; }
    void SetFloatFormat(TFloatFormat f);
    int FloatPrecision() const { return fmt_.Precision; }
    void SetFloatPrecision(int p);
    int FloatDigits() const { return fmt_.Digits; }
    void SetFloatDigits(int d);
    // The summary text (computed on demand).
    std::string SummaryText();
    // The summary when it has been computed, else empty; never starts a computation.
    std::string ComputedSummaryText() const;
    bool SummaryComputed() const { return summary_.Computed; }
    const TSummaryValue& Summary() const { return summary_; }
    double WidthRatio = 0;

private:
    friend class TQxDBGrid;
    TQxDBGrid* grid_;
    TField* field_;
    std::string name_; // the field's name and type, to find the column again when the data set reopens
    TFieldType type_ = ftUnknown;
    int index_ = 0;
    TQxColumnTitle title_;
    std::string filterExpression_;
    int minWidth_ = 30;
    TSummaryMode summaryMode_ = smNone;
    TFloatFormatting fmt_;
    TSummaryValue summary_;
};

// Cell state flags handed to OnGetCellParams.
enum TGridDrawState : unsigned { gdSelected = 1, gdFocused = 2, gdFixed = 4 };

class TQxDBGrid : public QTableView {
    Q_OBJECT
public:
    explicit TQxDBGrid(QWidget* parent = nullptr);
    ~TQxDBGrid() override;

    // ---- Binding ----
    TDataSource* DataSource() const { return dataSource_; }
    void SetDataSource(TDataSource* ds);
    TDataSet* DataSet() const;

    // ---- Options ----
    unsigned Options() const { return options_; }
    void SetOptions(unsigned options);
    unsigned OptionsEx() const { return optionsEx_; }
    void SetOptionsEx(unsigned options);
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool value);
    char LevelDelimiterChar() const { return levelDelimiter_; }
    void SetLevelDelimiterChar(char c);
    bool DefaultDrawing = true;
    int DefaultColWidth() const { return defaultColWidth_; }

    // ---- Columns ----
    int ColumnCount() const { return int(columns_.size()); }
    TQxColumn* Columns(int i) const { return columns_[size_t(i)].get(); }
    TQxColumn* ColumnOfField(const std::string& fieldName) const;

    // ---- Sorting ----
    const std::vector<TSortEntry>& SortList() const { return sortList_; }
    void ClearSortList();
    // Sorts by the entries of the sort list (the statement is run again with the ORDER BY built from it).
    void ApplySort();
    // The title click: plain, with Shift (add or flip) or with Ctrl (remove).
    void SortByColumn(int column, bool shift, bool ctrl);

    // ---- Filters ----
    bool Filtered() const { return filtered_; }
    void SetFiltered(bool value);
    void ClearColumnFilters();
    void ApplyColumnFilters();
    // The condition of a column's filter text (raises EConvertError for a value that does not convert).
    std::string BuildFilterCondition(TQxColumn* column, const std::string& text);
    bool FiltersPending() const;

    // ---- Footer and summaries ----
    // The footer's position text, "3/25"; empty for an inactive data set.
    std::string RecordCountText();
    void InvalidateSummaries();
    void ComputeSummaries();

    // ---- Work off the GUI thread ----
    // Set by a window that runs the data set's server calls on a thread of its own (the worksheet): the moves
    // that fetch every row or reopen the query (Ctrl+End, the summaries, a title-click sort, the server-side
    // filter) go through it. work runs on that thread and touches only the data set; the hook takes the
    // grid's data source away for that time and gives it back before done, which follows on this thread with
    // work's error or nullptr; work raises *rows as it reaches rows. False when nothing can run now
    // (something else is running). Without the hook every move runs here at once, as the workbench has it.
    std::function<bool(std::function<void()> work, std::function<void(std::exception_ptr)> done,
                       const std::atomic<long>* rows)>
        RunInBackground;
    // Asked by work run through the hook between its rows or blocks: true once the user asked for a stop.
    std::function<bool()> StopRequested;
    // Asked before a title-click sort or a change of the column filters reopens the data set (which drops a
    // row being edited); false leaves the sort, the filters and the data set as they are.
    std::function<bool()> BeforeReopen;

    // ---- Events ----
    std::function<void(TQxDBGrid&, TQxColumn&)> OnMemoClick;
    // Lets the application change font and background of a data cell before it is drawn.
    std::function<void(TQxDBGrid&, TField*, QFont&, QColor& background, unsigned state, unsigned stateEx)>
        OnGetCellParams;

    // ---- Memo editor ----
    // Opens the memo editor (or OnMemoClick) for the current cell's field.
    void EditMemo();
    QSize MemoEditorSize{530, 308};
    bool MemoWordWrap = false;

    // ---- Parts for the windows and tests ----
    TQxGridModel* GridModel() const { return model_; }
    TQxTitleHeader* TitleHeader() const { return header_; }
    TQxGridTitleEdit* TitleEdit() const { return titleEdit_; }
    QWidget* Footer() const;
    QMenu* PopupMenu() const { return popup_; }
    int FooterHeight() const;
    // Sizes a column to the widest text among the visible rows + 4 (the border double click).
    void AutoSizeColumn(int column);
    // The memo button's rectangle in the viewport for the current cell, empty when none shows.
    QRect MemoButtonRect() const;
    // Moves the data set so that the current record is the top visible row and focuses the grid.
    void BackToGrid(int column);
    // The first and last sortable columns, -1 when none.
    int NextSortable(int from, int dir) const;

signals:
    void CurrentRecordChanged();

protected:
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void keyPressEvent(QKeyEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void updateGeometries() override;
    void scrollContentsBy(int dx, int dy) override;
    void focusOutEvent(QFocusEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;

private:
    friend class TQxGridDataLink;
    friend class TQxTitleHeader;
    friend class TQxGridTitleEdit;
    friend class TQxColumn;
    void LinkActiveChanged();
    void LinkDataSetChanged();
    void LinkScrolled();
    void LinkRecordChanged();
    void LinkEditingChanged();
    void BuildColumns();
    void ReadSortFromSQL();
    void FollowDataSet();
    void UpdateFooter();
    void OnSectionResized(int logical, int oldSize, int newSize);
    void ApplyStretch();
    void TakeRatios();
    void SyncMenuChecks();
    bool IsSqlDataSet() const;
    QString Title(int column) const;
    // The hook is set and the grid shows its data set (a data set the grid does not show may be in use
    // elsewhere and is left alone).
    bool Backgrounded() const;
    // While work of the grid runs through the hook the grid has no data set to paint: a dimmed picture of
    // how it looked stands in until the data source comes back.
    void ShowStandIn();
    void HideStandIn();
    // Runs work through the hook; false (and nothing runs) when it cannot run now.
    bool RunWork(std::function<void()> work, std::function<void(std::exception_ptr)> done);
    // What a background move keeps of the view across the data source's absence, put back in done.
    struct TViewKept {
        std::vector<TSortEntry> Sort;
        std::vector<int> Widths;
        int HScroll = 0;
        int VScroll = 0;
        int Column = 0;
    };
    TViewKept KeepView() const;
    void RestoreView(const TViewKept& kept, bool scrollRows);
    // Reopens with the ORDER BY text through the hook; sortOnError is the sort list after a failure.
    std::string OrderByText() const;
    void StartSort(const std::string& orderBy, std::vector<TSortEntry> sortOnError);
    void StartFilterSQL(const std::string& filterSQL);
    void StartFetchToEnd(int column);
    void StartSummaries();
    // A footer paint needs a summary that is not computed.
    void SummaryNeeded();
    void FinishFilters();

    TDataSource* dataSource_ = nullptr;
    std::unique_ptr<TQxGridDataLink> link_;
    TQxGridModel* model_ = nullptr;
    TQxTitleHeader* header_ = nullptr;
    TQxGridFooter* footer_ = nullptr;
    TQxGridTitleEdit* titleEdit_ = nullptr;
    QMenu* popup_ = nullptr;
    QAction* actFiltered_ = nullptr;
    QAction* actFilterBar_ = nullptr;
    QAction* actSearchBar_ = nullptr;
    std::vector<std::unique_ptr<TQxColumn>> columns_;
    std::vector<TSortEntry> sortList_;
    unsigned options_ = DefaultGridOptions;
    unsigned optionsEx_ = DefaultGridOptionsEx;
    bool filtered_ = true;
    bool readOnly_ = false;
    char levelDelimiter_ = '|';
    int defaultColWidth_ = 60;
    bool sorting_ = false;   // a title-click sort is reopening the data set
    bool following_ = false; // the view's current index is being set from the data set
    bool moving_ = false;    // the data set is being moved from the view
    bool inGeometries_ = false;
    bool stretching_ = false;
    std::vector<int> widthsKept_;   // column widths while the data set is closed and reopened
    bool explicitFetch_ = false;    // a key move past the last row asks for the next block
    std::atomic<long> workRows_{0}; // rows reached by the work running through the hook
    bool summaryQueued_ = false;    // a summary computation waits for the event loop
    bool summaryHeld_ = false;      // one failed or was stopped: not again until the data changes
    QLabel* standIn_ = nullptr;
};
