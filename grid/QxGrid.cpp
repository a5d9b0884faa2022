#include "grid/QxGrid.h"

#include "dataset/Cp1252.h"
#include "dataset/DB.h"
#include "dataset/DEDozivo.h"
#include "dataset/MemDS.h"
#include "grid/MemoEditor.h"
#include "grid/QxGridHeader.h"
#include "grid/QxGridModel.h"
#include "grid/QxGridWork.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>
#include <QStyledItemDelegate>

#include <algorithm>

namespace {

QString ToQ(const std::string& s) {
    return QString::fromStdU16String(cp1252::ToUtf16(s));
}

std::string UpperAscii(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    return s;
}

void Report(const std::exception& e) {
    ShowException(e);
}

void Report(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        ShowException(e);
    } catch (...) {
        ShowException(Exception("Unknown error"));
    }
}

} // namespace

// ---- The data link ----

class TQxGridDataLink : public TDataLink {
public:
    explicit TQxGridDataLink(TQxDBGrid* grid) : grid_(grid) {}
    void ActiveChanged() override { grid_->LinkActiveChanged(); }
    void DataSetChanged() override { grid_->LinkDataSetChanged(); }
    void DataSetScrolled(int) override { grid_->LinkScrolled(); }
    void RecordChanged(TField*) override { grid_->LinkRecordChanged(); }
    void EditingChanged() override { grid_->LinkEditingChanged(); }
    void LayoutChanged() override { grid_->LinkActiveChanged(); }

private:
    TQxDBGrid* grid_;
};

// ---- Cells: cut texts and the application's cell parameters ----

class TQxCellDelegate : public QStyledItemDelegate {
public:
    explicit TQxCellDelegate(TQxDBGrid* grid) : QStyledItemDelegate(grid), grid_(grid) {}
    void paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        const int col = index.column();
        TQxColumn* c = col < grid_->ColumnCount() ? grid_->Columns(col) : nullptr;
        TField* f = c ? c->Field() : nullptr;
        QFont font = opt.font;
        QColor background = opt.palette.color(QPalette::Base);
        unsigned state = 0;
        if (opt.state & QStyle::State_Selected) state |= gdSelected;
        if (opt.state & QStyle::State_HasFocus) state |= gdFocused;
        if (grid_->OnGetCellParams && f) grid_->OnGetCellParams(*grid_, f, font, background, state, 0);
        const bool selected = opt.state & QStyle::State_Selected;
        p->save();
        p->fillRect(opt.rect, selected ? opt.palette.brush(QPalette::Highlight) : QBrush(background));
        if (grid_->DefaultDrawing) {
            const bool numeric = f && IsNumericFieldType(f->DataType());
            int width = opt.rect.width();
            QRect memo = grid_->MemoButtonRect();
            if (!memo.isEmpty() && index == grid_->currentIndex()) width -= memo.width();
            QFontMetrics fm(font);
            bool cut = false;
            const std::string text = grid_->GridModel()->CellText(index.row(), col);
            std::string shown = FitCellText(
                text, width, numeric, numeric,
                [&](const std::string& t) { return fm.horizontalAdvance(ToQ(t)); }, cut);
            p->setFont(font);
            p->setPen(opt.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
            QRect r = opt.rect.adjusted(2, 0, -2, 0);
            r.setWidth(std::max(width - 4, 0));
            Qt::Alignment al = (numeric && !cut ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter;
            p->drawText(r, int(al) | Qt::TextSingleLine, ToQ(shown));
        }
        if (opt.state & QStyle::State_HasFocus) {
            p->setPen(QPen(opt.palette.color(QPalette::Highlight).darker(130), 1, Qt::DotLine));
            p->drawRect(opt.rect.adjusted(0, 0, -1, -1));
        }
        p->restore();
    }

private:
    TQxDBGrid* grid_;
};

// The indicator column: the current record, an edited or an inserted row.
class TQxIndicator : public QHeaderView {
public:
    explicit TQxIndicator(TQxDBGrid* grid) : QHeaderView(Qt::Vertical, grid), grid_(grid) {}

protected:
    void paintSection(QPainter* p, const QRect& rect, int logical) const override {
        p->save();
        p->fillRect(rect, palette().button());
        p->setPen(palette().color(QPalette::Mid));
        p->drawLine(rect.topRight(), rect.bottomRight());
        p->drawLine(rect.bottomLeft(), rect.bottomRight());
        TDataSet* ds = grid_->DataSet();
        if (ds && ds->Active() && grid_->currentIndex().isValid() && grid_->currentIndex().row() == logical) {
            p->setRenderHint(QPainter::Antialiasing);
            QColor c(20, 20, 20);
            const int cy = rect.center().y();
            if (ds->State() == dsInsert) {
                p->setPen(QPen(c, 1.5));
                p->drawLine(QPointF(rect.center().x(), cy - 4), QPointF(rect.center().x(), cy + 4));
                p->drawLine(QPointF(rect.center().x() - 2, cy - 4), QPointF(rect.center().x() + 2, cy - 4));
                p->drawLine(QPointF(rect.center().x() - 2, cy + 4), QPointF(rect.center().x() + 2, cy + 4));
            } else if (ds->State() == dsEdit) {
                p->setPen(QPen(c, 1.5));
                p->drawLine(QPointF(rect.left() + 2, cy + 4), QPointF(rect.right() - 2, cy - 4));
            } else {
                QPainterPath path;
                path.moveTo(rect.left() + 3, cy - 4);
                path.lineTo(rect.left() + 8, cy);
                path.lineTo(rect.left() + 3, cy + 4);
                path.closeSubpath();
                p->fillPath(path, c);
            }
        }
        p->restore();
    }

private:
    TQxDBGrid* grid_;
};

// ---- Titles and columns ----

std::string TQxColumnTitle::ShownCaption(const TField* field) const {
    if (!caption_.empty()) return caption_;
    return field ? field->DisplayLabel() : std::string();
}

TQxColumn::TQxColumn(TQxDBGrid* grid, TField* field) : grid_(grid), field_(field) {
    if (field) {
        name_ = field->FieldName();
        type_ = field->DataType();
    }
}

std::string TQxColumn::FieldName() const {
    return name_;
}

bool TQxColumn::Sortable() const {
    if (!field_ || field_->FieldKind() != fkData) return false;
    TFieldType t = field_->DataType();
    return t != ftMemo && t != ftFmtMemo && t != ftOraClob;
}

void TQxColumn::SetMinWidth(int w) {
    minWidth_ = std::max(w, 0);
    if (Width() < minWidth_) SetWidth(minWidth_);
}

int TQxColumn::Width() const {
    return grid_->horizontalHeader()->sectionSize(index_);
}

void TQxColumn::SetWidth(int w) {
    grid_->horizontalHeader()->resizeSection(index_, std::max(w, minWidth_));
}

TSortOrder TQxColumn::SortOrder() const {
    for (const TSortEntry& e : grid_->sortList_)
        if (e.Column == index_) return e.Desc ? soDesc : soAsc;
    return soNone;
}

void TQxColumn::SetSortOrder(TSortOrder order) {
    auto& list = grid_->sortList_;
    auto it = std::find_if(list.begin(), list.end(), [&](const TSortEntry& e) { return e.Column == index_; });
    if (order == soNone) {
        if (it != list.end()) list.erase(it);
    } else if (it == list.end())
        list.push_back({index_, order == soDesc});
    else
        it->Desc = order == soDesc;
    grid_->ApplySort();
}

int TQxColumn::SortSequence() const {
    const auto& list = grid_->sortList_;
    if (list.size() < 2) return 0;
    for (size_t i = 0; i < list.size(); ++i)
        if (list[i].Column == index_) return int(i) + 1;
    return 0;
}

void TQxColumn::SetSummaryMode(TSummaryMode mode) {
    if (mode != smNone && (!field_ || !SummaryTypeAllowed(field_->DataType()))) mode = smNone;
    summaryMode_ = mode;
    summary_.Computed = false;
    grid_->summaryHeld_ = false;
    if (grid_->Footer()) grid_->Footer()->update();
}

void TQxColumn::SetFloatFormat(TFloatFormat f) {
    fmt_.Format = f;
    if (summary_.Computed) summary_.Text = SummaryFormat(summary_, summaryMode_, fmt_);
    if (grid_->Footer()) grid_->Footer()->update();
}

void TQxColumn::SetFloatPrecision(int p) {
    fmt_.Precision = p;
    SetFloatFormat(fmt_.Format);
}

void TQxColumn::SetFloatDigits(int d) {
    fmt_.Digits = d;
    SetFloatFormat(fmt_.Format);
}

std::string TQxColumn::SummaryText() {
    if (summaryMode_ == smNone) return std::string();
    if (!summary_.Computed) grid_->SummaryNeeded();
    // Until it is computed (a computation off the GUI thread takes a while) no number shows.
    return summary_.Computed ? summary_.Text : std::string();
}

std::string TQxColumn::ComputedSummaryText() const {
    return summaryMode_ != smNone && summary_.Computed ? summary_.Text : std::string();
}

// ---- The grid ----

TQxDBGrid::TQxDBGrid(QWidget* parent) : QTableView(parent) {
    setObjectName("DBGrid");
    link_ = std::make_unique<TQxGridDataLink>(this);
    model_ = new TQxGridModel(this);
    model_->SetLink(link_.get());
    model_->TitleText = [this](int c) { return Title(c); };
    model_->AllowFetch = [this] {
        if (explicitFetch_) return true;
        const int last = model_->Rows() - 1;
        if (last < 0) return true;
        if (verticalScrollBar()->value() == verticalScrollBar()->maximum()) return true;
        const int y = rowViewportPosition(last);
        return y >= 0 && y < viewport()->height();
    };
    header_ = new TQxTitleHeader(this);
    setHorizontalHeader(header_);
    setVerticalHeader(new TQxIndicator(this));
    setItemDelegate(new TQxCellDelegate(this));
    footer_ = new TQxGridFooter(this);
    titleEdit_ = new TQxGridTitleEdit(this);
    auto* corner = new TQxCornerCell(this);
    corner->setObjectName("GridCorner");
    setModel(model_);
    verticalHeader()->setObjectName("Indicator");
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setFixedWidth(12);
    const int rowH = fontMetrics().height() + 4;
    verticalHeader()->setMinimumSectionSize(rowH);
    verticalHeader()->setDefaultSectionSize(rowH);
    horizontalHeader()->setDefaultSectionSize(defaultColWidth_);
    horizontalHeader()->setMinimumSectionSize(10);
    setCornerButtonEnabled(false);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                    QAbstractItemView::AnyKeyPressed);
    setWordWrap(false);
    setTextElideMode(Qt::ElideNone);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setAccessibleName(QString::fromUtf8("Ergebnis"));
    popup_ = new QMenu(this);
    popup_->setObjectName("GridPopup");
    actFiltered_ = popup_->addAction("Filtered");
    actFiltered_->setObjectName("Filtered");
    actFiltered_->setCheckable(true);
    popup_->addSeparator();
    actFilterBar_ = popup_->addAction("Filter bar");
    actFilterBar_->setObjectName("FilterBar");
    actFilterBar_->setCheckable(true);
    actSearchBar_ = popup_->addAction("Search bar");
    actSearchBar_->setObjectName("SearchBar");
    actSearchBar_->setCheckable(true);
    connect(actFiltered_, &QAction::triggered, this, [this](bool on) {
        try {
            SetFiltered(on);
        } catch (const std::exception& e) {
            Report(e);
        }
    });
    connect(actFilterBar_, &QAction::triggered, this,
            [this](bool on) { SetOptionsEx(on ? optionsEx_ | dgeFilterBar : optionsEx_ & ~dgeFilterBar); });
    connect(actSearchBar_, &QAction::triggered, this,
            [this](bool on) { SetOptionsEx(on ? optionsEx_ | dgeSearchBar : optionsEx_ & ~dgeSearchBar); });
    connect(horizontalHeader(), &QHeaderView::sectionResized, this, &TQxDBGrid::OnSectionResized);
    connect(horizontalScrollBar(), &QScrollBar::valueChanged, this, [this] {
        if (footer_) footer_->update();
        if (titleEdit_->IsOpen()) titleEdit_->Reposition();
    });
    SyncMenuChecks();
}

TQxDBGrid::~TQxDBGrid() {
    model_->Detach();
    link_->SetDataSource(nullptr);
}

void TQxDBGrid::SetDataSource(TDataSource* ds) {
    if (ds == dataSource_) return;
    dataSource_ = ds;
    link_->SetDataSource(ds);
    LinkActiveChanged();
}

TDataSet* TQxDBGrid::DataSet() const {
    return link_->DataSet();
}

void TQxDBGrid::SetOptions(unsigned options) {
    options_ = options;
    verticalHeader()->setVisible(options_ & dgIndicator);
    horizontalHeader()->setVisible(options_ & dgTitles);
    setShowGrid(options_ & (dgColLines | dgRowLines));
    setSelectionBehavior(options_ & dgRowSelect ? QAbstractItemView::SelectRows
                                                : QAbstractItemView::SelectItems);
    model_->Editable = (options_ & dgEditing) && !readOnly_;
    updateGeometries();
    viewport()->update();
}

void TQxDBGrid::SetOptionsEx(unsigned options) {
    unsigned old = optionsEx_;
    optionsEx_ = options;
    if ((old ^ options) & (dgeFilterBar | dgeSearchBar)) {
        if (titleEdit_->IsOpen()) titleEdit_->CloseCell();
        header_->TitlesChanged();
    }
    SyncMenuChecks();
    if ((old ^ options) & dgeStretch) ApplyStretch();
    updateGeometries();
    viewport()->update();
    UpdateFooter();
}

void TQxDBGrid::SetReadOnly(bool value) {
    readOnly_ = value;
    model_->Editable = (options_ & dgEditing) && !readOnly_;
}

void TQxDBGrid::SetLevelDelimiterChar(char c) {
    levelDelimiter_ = c;
    header_->TitlesChanged();
}

TQxColumn* TQxDBGrid::ColumnOfField(const std::string& fieldName) const {
    std::string up = UpperAscii(fieldName);
    for (const auto& c : columns_)
        if (c->Field() && UpperAscii(c->Field()->FieldName()) == up) return c.get();
    return nullptr;
}

QString TQxDBGrid::Title(int column) const {
    if (column < 0 || column >= int(columns_.size())) return QString();
    const TQxColumn* c = columns_[size_t(column)].get();
    return ToQ(c->Title().ShownCaption(c->Field()));
}

bool TQxDBGrid::IsSqlDataSet() const {
    return dynamic_cast<TCustomDADataSet*>(DataSet()) != nullptr;
}

QWidget* TQxDBGrid::Footer() const {
    return footer_;
}

int TQxDBGrid::FooterHeight() const {
    if (!(optionsEx_ & (dgeRecordCount | dgeSummary))) return 0;
    return verticalHeader()->defaultSectionSize() + 2;
}

void TQxDBGrid::SyncMenuChecks() {
    actFiltered_->setChecked(filtered_);
    actFilterBar_->setChecked(optionsEx_ & dgeFilterBar);
    actSearchBar_->setChecked(optionsEx_ & dgeSearchBar);
}

// ---- Link events ----

void TQxDBGrid::BuildColumns() {
    TDataSet* ds = DataSet();
    summaryHeld_ = false;
    // A switched-off data source shows as closed: the data set may be busy elsewhere (a background run).
    if (!ds || !ds->Active() || !link_->Active()) {
        // Closed: the columns stay (with their filters, sizes and summaries) until the fields come back.
        if (!columns_.empty() && columns_[0]->field_) {
            widthsKept_.clear();
            for (auto& c : columns_)
                widthsKept_.push_back(c->Width());
        }
        for (auto& c : columns_)
            c->field_ = nullptr;
        model_->SetDataSet(ds);
        model_->SetFields({});
        return;
    }
    std::vector<TField*> fields;
    for (int i = 0; i < ds->FieldCount(); ++i)
        if (ds->Fields(i)->Visible) fields.push_back(ds->Fields(i));
    bool same = fields.size() == columns_.size() && !fields.empty();
    for (size_t i = 0; same && i < fields.size(); ++i)
        same = UpperAscii(columns_[i]->name_) == UpperAscii(fields[i]->FieldName()) &&
               columns_[i]->type_ == fields[i]->DataType();
    std::vector<int> widths;
    if (same) {
        for (size_t i = 0; i < fields.size(); ++i) {
            columns_[i]->field_ = fields[i];
            columns_[i]->summary_.Computed = false;
            widths.push_back(columns_[i]->Width());
        }
        if (widthsKept_.size() == widths.size()) widths = widthsKept_;
    } else {
        widthsKept_.clear();
        columns_.clear();
        QFontMetrics fm(font());
        QFontMetrics tfm(horizontalHeader()->font());
        const int avg = std::max(fm.averageCharWidth(), 1);
        for (size_t i = 0; i < fields.size(); ++i) {
            auto col = std::make_unique<TQxColumn>(this, fields[i]);
            col->index_ = int(i);
            TField* f = fields[i];
            int chars;
            switch (f->DataType()) {
            case ftString:
            case ftFixedChar:
            case ftWideString:
                chars = std::clamp(f->Size(), 4, 40);
                break;
            case ftDate:
                chars = 10;
                break;
            case ftDateTime:
            case ftTimeStamp:
                chars = 19;
                break;
            case ftTime:
                chars = 8;
                break;
            case ftMemo:
            case ftFmtMemo:
            case ftOraClob:
            case ftBlob:
            case ftOraBlob:
                chars = 24;
                break;
            case ftBytes:
            case ftVarBytes:
                chars = std::clamp(2 * f->Size(), 8, 40);
                break;
            default:
                chars = IsNumericFieldType(f->DataType()) ? 10 : 12;
            }
            if (f->DisplayWidth > 0) chars = f->DisplayWidth;
            int w = chars * avg + 8;
            int tw = tfm.horizontalAdvance(ToQ(f->DisplayLabel())) + 22; // room for the sort mark
            widths.push_back(std::max({w, tw, col->MinWidth()}));
            columns_.push_back(std::move(col));
        }
    }
    std::vector<TField*> shown;
    for (const auto& c : columns_)
        shown.push_back(c->Field());
    model_->SetDataSet(ds);
    model_->SetFields(shown);
    for (size_t i = 0; i < widths.size(); ++i)
        horizontalHeader()->resizeSection(int(i), widths[i]);
    header_->TitlesChanged();
    if (optionsEx_ & dgeStretch) {
        if (!same) TakeRatios();
        ApplyStretch();
    }
}

void TQxDBGrid::ReadSortFromSQL() {
    auto* dads = dynamic_cast<TCustomDADataSet*>(DataSet());
    if (!dads || !dads->Active() || !dads->IRecordSet() || !dads->IRecordSet()->ReturnsRows()) return;
    std::vector<std::string> defs;
    for (int i = 0; i < dads->FieldDefs().Count(); ++i)
        defs.push_back(dads->FieldDefs()[i]->Name);
    try {
        sortList_ = ParseOrderByText(dads->GetOrderBy(), defs, [this](const std::string& name) {
            std::string up = UpperAscii(name);
            for (size_t i = 0; i < columns_.size(); ++i)
                if (columns_[i]->Field() && UpperAscii(columns_[i]->FieldName()) == up) return int(i);
            return -1;
        });
    } catch (const std::exception&) {
        // A statement the lexer cannot read shows no sort marks.
    }
}

void TQxDBGrid::LinkActiveChanged() {
    // The data source is back (or a run of someone else began): the picture has done its part.
    if (link_->Active()) HideStandIn();
    if (titleEdit_->IsOpen()) titleEdit_->CloseCell();
    if (!sorting_) sortList_.clear();
    BuildColumns();
    if (!sorting_) ReadSortFromSQL();
    FollowDataSet();
    header_->viewport()->update();
    viewport()->update();
    UpdateFooter();
}

void TQxDBGrid::LinkDataSetChanged() {
    model_->SyncRows(false, true);
    for (auto& c : columns_)
        c->summary_.Computed = false;
    summaryHeld_ = false;
    FollowDataSet();
    UpdateFooter();
}

void TQxDBGrid::LinkScrolled() {
    model_->SyncRows(false, false);
    FollowDataSet();
    UpdateFooter();
}

void TQxDBGrid::LinkRecordChanged() {
    model_->SyncRows(false, true);
    UpdateFooter();
}

void TQxDBGrid::LinkEditingChanged() {
    model_->SyncRows(false, true);
    FollowDataSet();
    verticalHeader()->viewport()->update();
    UpdateFooter();
}

void TQxDBGrid::FollowDataSet() {
    TDataSet* ds = DataSet();
    if (moving_ || !ds || !ds->Active() || model_->Rows() == 0 || columns_.empty()) return;
    int row = model_->PendingInsertRow();
    if (row < 0) row = ds->RecNo() - 1;
    if (row < 0 || row >= model_->Rows()) return;
    int col = currentIndex().isValid() ? currentIndex().column() : 0;
    col = std::clamp(col, 0, int(columns_.size()) - 1);
    if (currentIndex().row() == row && currentIndex().column() == col) {
        verticalHeader()->viewport()->update();
        return;
    }
    following_ = true;
    setCurrentIndex(model_->index(row, col));
    following_ = false;
    verticalHeader()->viewport()->update();
}

void TQxDBGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QTableView::currentChanged(current, previous);
    verticalHeader()->viewport()->update();
    viewport()->update();
    if (following_ || !current.isValid()) return;
    TDataSet* ds = DataSet();
    if (!ds || !ds->Active()) return;
    int row = current.row();
    int pending = model_->PendingInsertRow();
    if (row == pending) return;
    int recNo = row + 1;
    if (pending >= 0 && row > pending) --recNo;
    if (recNo != ds->RecNo() || ds->State() == dsInsert) {
        moving_ = true;
        try {
            ds->SetRecNo(recNo);
        } catch (const std::exception& e) {
            moving_ = false;
            Report(e);
            FollowDataSet();
            return;
        }
        moving_ = false;
        model_->SyncRows(false, false);
        FollowDataSet();
    }
    UpdateFooter();
    emit CurrentRecordChanged();
}

void TQxDBGrid::UpdateFooter() {
    if (footer_) footer_->Changed();
}

// ---- Sorting ----

void TQxDBGrid::ClearSortList() {
    sortList_.clear();
}

std::string TQxDBGrid::OrderByText() const {
    return BuildOrderByText(sortList_, [this](int c) {
        if (c < 0 || c >= int(columns_.size()) || !columns_[size_t(c)]->Sortable()) return 0;
        return columns_[size_t(c)]->Field()->FieldNo();
    });
}

void TQxDBGrid::ApplySort() {
    auto* dads = dynamic_cast<TCustomDADataSet*>(DataSet());
    if (!dads) return;
    std::string text = OrderByText();
    if (Backgrounded()) {
        StartSort(text, sortList_);
        return;
    }
    bool wasSorting = sorting_;
    sorting_ = true;
    try {
        dads->SetOrderBy(text);
        dads->Open();
    } catch (...) {
        sorting_ = wasSorting;
        header_->viewport()->update();
        throw;
    }
    sorting_ = wasSorting;
    header_->viewport()->update();
}

void TQxDBGrid::SortByColumn(int column, bool shift, bool ctrl) {
    TDataSet* ds = DataSet();
    if (!(optionsEx_ & dgeEnableSort) || !(options_ & dgTitles) || !ds || !ds->Active() || !IsSqlDataSet())
        return;
    if (column < 0 || column >= int(columns_.size()) || !columns_[size_t(column)]->Sortable()) return;
    if (BeforeReopen && !BeforeReopen()) return;
    if (Backgrounded()) {
        // The reopen runs off the GUI thread; the widths, the horizontal position and the sort list come
        // back when it ends (the old list after a failure).
        std::vector<TSortEntry> before = sortList_;
        ApplyTitleClick(sortList_, column, shift, ctrl);
        StartSort(OrderByText(), before);
        return;
    }
    std::vector<int> widths;
    for (size_t i = 0; i < columns_.size(); ++i)
        widths.push_back(columns_[i]->Width());
    const int hscroll = horizontalScrollBar()->value();
    sorting_ = true;
    setUpdatesEnabled(false);
    std::vector<TSortEntry> before = sortList_;
    ApplyTitleClick(sortList_, column, shift, ctrl);
    try {
        ApplySort();
    } catch (const std::exception& e) {
        sortList_ = before;
        sorting_ = false;
        setUpdatesEnabled(true);
        Report(e);
        return;
    }
    sorting_ = false;
    for (size_t i = 0; i < widths.size() && i < columns_.size(); ++i)
        horizontalHeader()->resizeSection(int(i), widths[i]);
    setUpdatesEnabled(true);
    horizontalScrollBar()->setValue(hscroll);
    header_->viewport()->update();
}

// ---- Filters ----

void TQxDBGrid::ClearColumnFilters() {
    for (auto& c : columns_)
        c->filterExpression_.clear();
    header_->viewport()->update();
}

std::string TQxDBGrid::BuildFilterCondition(TQxColumn* column, const std::string& text) {
    if (!column || !column->Field() || !column->Sortable()) return std::string();
    return FilterCondition(column->FieldName(), column->Field()->DataType(), text,
                           optionsEx_ & dgeLocalFilter);
}

void TQxDBGrid::ApplyColumnFilters() {
    if (!filtered_) return;
    TDataSet* ds = DataSet();
    if (!ds) return;
    std::string cond;
    for (auto& c : columns_) {
        std::string one = BuildFilterCondition(c.get(), c->FilterExpression());
        if (one.empty()) continue;
        if (!cond.empty()) cond += " AND ";
        cond += one;
    }
    const auto* sqlSet = dynamic_cast<TCustomDADataSet*>(ds);
    const bool reopens = (optionsEx_ & dgeLocalFilter) ? ds->Filter() != cond || !ds->Filtered()
                                                       : sqlSet && sqlSet->FilterSQL() != cond;
    if (reopens && BeforeReopen && !BeforeReopen()) return;
    if (optionsEx_ & dgeLocalFilter) {
        ds->SetFilter(cond);
        ds->SetFiltered(filtered_);
    } else if (auto* dads = dynamic_cast<TCustomDADataSet*>(ds)) {
        // A changed text reopens the query: off the GUI thread when the hook is there.
        if (Backgrounded() && dads->FilterSQL() != cond) {
            StartFilterSQL(cond);
            return;
        }
        dads->SetFilterSQL(cond);
    }
    FinishFilters();
}

void TQxDBGrid::FinishFilters() {
    model_->SyncRows(false, true);
    InvalidateSummaries();
    FollowDataSet();
    UpdateFooter();
    header_->viewport()->update();
}

void TQxDBGrid::SetFiltered(bool value) {
    if (value == filtered_) return;
    if (DataSet() && DataSet()->Active() && BeforeReopen && !BeforeReopen()) {
        actFiltered_->setChecked(filtered_);
        return;
    }
    filtered_ = value;
    actFiltered_->setChecked(value);
    header_->viewport()->update();
    TDataSet* ds = DataSet();
    if (optionsEx_ & dgeLocalFilter) {
        if (ds) ds->SetFiltered(value);
        model_->SyncRows(false, true);
        InvalidateSummaries();
        UpdateFooter();
        return;
    }
    if (value)
        ApplyColumnFilters();
    else if (auto* dads = dynamic_cast<TCustomDADataSet*>(ds)) {
        if (Backgrounded() && !dads->FilterSQL().empty())
            StartFilterSQL("");
        else
            dads->SetFilterSQL("");
    }
}

bool TQxDBGrid::FiltersPending() const {
    return titleEdit_->Pending();
}

// ---- Footer and summaries ----

std::string TQxDBGrid::RecordCountText() {
    TDataSet* ds = DataSet();
    if (!ds || !ds->Active()) return std::string();
    return std::to_string(std::max(ds->RecNo(), 0)) + "/" + std::to_string(std::max(ds->RecordCount(), 0));
}

void TQxDBGrid::InvalidateSummaries() {
    for (auto& c : columns_)
        c->summary_.Computed = false;
    summaryHeld_ = false;
    UpdateFooter();
}

void TQxDBGrid::ComputeSummaries() {
    TDataSet* ds = DataSet();
    std::vector<TQxColumn*> cols;
    for (auto& c : columns_)
        if (c->summaryMode_ != smNone && c->Field()) cols.push_back(c.get());
    if (cols.empty()) return;
    if (!ds || !ds->Active()) {
        for (TQxColumn* c : cols) {
            c->summary_ = TSummaryValue();
            c->summary_.Computed = true;
        }
        return;
    }
    if (Backgrounded()) {
        StartSummaries();
        return;
    }
    std::vector<TSummaryJob> jobs;
    for (TQxColumn* c : cols)
        jobs.push_back({c->Field(), c->summaryMode_});
    std::vector<TSummaryValue> values = WalkSummaries(*ds, jobs);
    for (size_t i = 0; i < cols.size(); ++i) {
        TQxColumn* c = cols[i];
        c->summary_ = values[i];
        c->summary_.Text = SummaryFormat(c->summary_, c->summaryMode_, c->fmt_);
        c->summary_.Computed = true;
    }
}

void TQxDBGrid::SummaryNeeded() {
    if (!RunInBackground) {
        ComputeSummaries();
        return;
    }
    // Asked from the footer's paint: the walk starts from the event loop, once, and not again after it
    // failed or was stopped until the data changes.
    if (summaryQueued_ || summaryHeld_ || !Backgrounded()) return;
    summaryQueued_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            summaryQueued_ = false;
            bool pending = false;
            for (auto& c : columns_)
                pending = pending || (c->summaryMode_ != smNone && c->Field() && !c->summary_.Computed);
            if (pending && !summaryHeld_) ComputeSummaries();
        },
        Qt::QueuedConnection);
}

// ---- Work through the hook ----

bool TQxDBGrid::Backgrounded() const {
    TDataSet* ds = DataSet();
    return RunInBackground && ds && ds->Active() && link_->Active();
}

bool TQxDBGrid::RunWork(std::function<void()> work, std::function<void(std::exception_ptr)> done) {
    workRows_.store(0, std::memory_order_relaxed);
    // The run disables the grid, which then loses the focus: a move made from the grid (or its bars) gives
    // it back when it ends, so that the keys go on where they were.
    QWidget* focus = QApplication::focusWidget();
    const bool hadFocus = focus && (focus == this || isAncestorOf(focus));
    ShowStandIn();
    const bool started = RunInBackground(
        std::move(work),
        [this, hadFocus, done = std::move(done)](std::exception_ptr error) {
            done(error);
            if (hadFocus && isEnabled() && isVisible() && !titleEdit_->IsOpen())
                setFocus(Qt::OtherFocusReason);
        },
        &workRows_);
    if (!started || link_->Active()) HideStandIn();
    return started;
}

void TQxDBGrid::ShowStandIn() {
    if (!isVisible() || width() <= 0 || height() <= 0) return;
    QPixmap picture = grab();
    {
        QPainter p(&picture);
        QColor veil = palette().color(QPalette::Window);
        veil.setAlpha(110);
        p.fillRect(picture.rect(), veil);
    }
    if (!standIn_) {
        standIn_ = new QLabel(this);
        standIn_->setObjectName("GridStandIn");
        standIn_->setAttribute(Qt::WA_TransparentForMouseEvents);
        standIn_->setAccessibleName(QString::fromUtf8("Ergebnis (wird geladen)"));
    }
    standIn_->setPixmap(picture);
    standIn_->setGeometry(rect());
    standIn_->show();
    standIn_->raise();
}

void TQxDBGrid::HideStandIn() {
    if (standIn_ && standIn_->isVisible()) {
        standIn_->hide();
        standIn_->clear();
    }
}

TQxDBGrid::TViewKept TQxDBGrid::KeepView() const {
    TViewKept k;
    k.Sort = sortList_;
    for (const auto& c : columns_)
        k.Widths.push_back(c->Width());
    k.HScroll = horizontalScrollBar()->value();
    k.VScroll = verticalScrollBar()->value();
    k.Column = currentIndex().isValid() ? currentIndex().column() : 0;
    return k;
}

void TQxDBGrid::RestoreView(const TViewKept& k, bool scrollRows) {
    // The data source came back while the work ended: the link rebuilt the sort list from the statement
    // and the view lost its current column and scroll position.
    sortList_ = k.Sort;
    if (k.Widths.size() == columns_.size())
        for (size_t i = 0; i < k.Widths.size(); ++i)
            horizontalHeader()->resizeSection(int(i), k.Widths[i]);
    QModelIndex cur = currentIndex();
    if (cur.isValid() && k.Column < model_->columnCount() && cur.column() != k.Column) {
        following_ = true;
        setCurrentIndex(model_->index(cur.row(), k.Column));
        following_ = false;
    }
    executeDelayedItemsLayout();
    horizontalScrollBar()->setValue(k.HScroll);
    if (scrollRows) verticalScrollBar()->setValue(k.VScroll);
    header_->viewport()->update();
    verticalHeader()->viewport()->update();
    UpdateFooter();
}

void TQxDBGrid::StartSummaries() {
    TDataSet* ds = DataSet();
    std::vector<TSummaryJob> jobs;
    std::vector<size_t> at;
    for (size_t i = 0; i < columns_.size(); ++i) {
        TQxColumn* c = columns_[i].get();
        if (c->summaryMode_ == smNone || !c->Field()) continue;
        jobs.push_back({c->Field(), c->summaryMode_});
        at.push_back(i);
    }
    if (jobs.empty()) return;
    auto values = std::make_shared<std::vector<TSummaryValue>>();
    TStopTest stop = StopRequested;
    std::atomic<long>* rows = &workRows_;
    const TViewKept kept = KeepView();
    RunWork([ds, jobs, values, stop, rows] { *values = WalkSummaries(*ds, jobs, stop, rows); },
            [this, jobs, at, values, kept](std::exception_ptr error) {
                if (!error) {
                    for (size_t k = 0; k < at.size() && k < values->size(); ++k) {
                        if (at[k] >= columns_.size()) continue;
                        TQxColumn* c = columns_[at[k]].get();
                        if (c->Field() != jobs[k].Field || c->summaryMode_ != jobs[k].Mode) continue;
                        c->summary_ = (*values)[k];
                        c->summary_.Text = SummaryFormat(c->summary_, c->summaryMode_, c->fmt_);
                        c->summary_.Computed = true;
                    }
                } else {
                    summaryHeld_ = true;
                }
                RestoreView(kept, true);
                if (error) Report(error);
            });
}

void TQxDBGrid::StartFetchToEnd(int column) {
    TDataSet* ds = DataSet();
    TStopTest stop = StopRequested;
    std::atomic<long>* rows = &workRows_;
    TViewKept kept = KeepView();
    kept.Column = column;
    RunWork([ds, stop, rows] { FetchToEnd(*ds, stop, rows); },
            [this, kept](std::exception_ptr error) {
                // A stopped fetch leaves the rows it got and the view where it was; a complete one shows
                // the last row.
                if (error) summaryHeld_ = true;
                RestoreView(kept, bool(error));
                if (!error) {
                    QModelIndex cur = currentIndex();
                    if (cur.isValid()) scrollTo(cur);
                }
                if (error) Report(error);
            });
}

void TQxDBGrid::StartSort(const std::string& orderBy, std::vector<TSortEntry> sortOnError) {
    auto* dads = dynamic_cast<TCustomDADataSet*>(DataSet());
    if (!dads) return;
    const TViewKept kept = KeepView();
    // While the hook runs the work here (no thread), the link hears the reopen at once: the flag keeps the
    // sort list from being read back from the statement meanwhile.
    const bool wasSorting = sorting_;
    sorting_ = true;
    const bool started = RunWork(
        [dads, orderBy] {
            dads->SetOrderBy(orderBy);
            dads->Open();
        },
        [this, kept, sortOnError](std::exception_ptr error) {
            TViewKept k = kept;
            if (error) {
                k.Sort = sortOnError;
                summaryHeld_ = true;
            }
            RestoreView(k, false);
            if (error) Report(error);
        });
    sorting_ = wasSorting;
    if (!started) sortList_ = sortOnError;
    header_->viewport()->update();
}

void TQxDBGrid::StartFilterSQL(const std::string& filterSQL) {
    auto* dads = dynamic_cast<TCustomDADataSet*>(DataSet());
    if (!dads) return;
    const TViewKept kept = KeepView();
    RunWork([dads, filterSQL] { dads->SetFilterSQL(filterSQL); },
            [this, kept](std::exception_ptr error) {
                RestoreView(kept, false);
                FinishFilters();
                if (error) {
                    summaryHeld_ = true;
                    Report(error);
                }
            });
}

// ---- Widths ----

void TQxDBGrid::TakeRatios() {
    std::vector<int> widths;
    for (auto& c : columns_)
        widths.push_back(c->Width());
    auto r = WidthRatios(widths);
    for (size_t i = 0; i < columns_.size(); ++i)
        columns_[i]->WidthRatio = r[i];
}

void TQxDBGrid::ApplyStretch() {
    if (!(optionsEx_ & dgeStretch) || columns_.empty() || stretching_) return;
    std::vector<double> ratios;
    for (auto& c : columns_)
        ratios.push_back(c->WidthRatio);
    bool any = std::any_of(ratios.begin(), ratios.end(), [](double r) { return r > 0; });
    if (!any) {
        TakeRatios();
        ratios.clear();
        for (auto& c : columns_)
            ratios.push_back(c->WidthRatio);
    }
    int avail = AvailableWidth(viewport()->width() + ((options_ & dgIndicator) ? 12 : 1),
                               options_ & dgIndicator, options_ & dgColLines, 1, int(columns_.size()));
    auto w = StretchedWidths(ratios, avail - 2);
    stretching_ = true;
    for (size_t i = 0; i < w.size(); ++i)
        horizontalHeader()->resizeSection(int(i), std::max(w[i], columns_[i]->MinWidth()));
    stretching_ = false;
}

void TQxDBGrid::OnSectionResized(int logical, int oldSize, int newSize) {
    if (logical >= 0 && logical < int(columns_.size()) && newSize < columns_[size_t(logical)]->MinWidth() &&
        !stretching_) {
        horizontalHeader()->resizeSection(logical, columns_[size_t(logical)]->MinWidth());
        return;
    }
    if ((optionsEx_ & dgeStretch) && !stretching_ && !sorting_ && header_->PressedSection() < 0 &&
        QApplication::mouseButtons() != Qt::NoButton) {
        std::vector<int> widths, mins;
        for (auto& c : columns_) {
            widths.push_back(c->Width());
            mins.push_back(c->MinWidth());
        }
        int avail = AvailableWidth(viewport()->width() + ((options_ & dgIndicator) ? 12 : 1),
                                   options_ & dgIndicator, options_ & dgColLines, 1, int(columns_.size()));
        auto w = SizeColumnStretched(widths, mins, logical, newSize, avail);
        stretching_ = true;
        for (size_t i = 0; i < w.size(); ++i)
            horizontalHeader()->resizeSection(int(i), w[i]);
        stretching_ = false;
        TakeRatios();
    } else if ((optionsEx_ & dgeStretch) && !stretching_) {
        TakeRatios();
    }
    footer_->update();
    if (titleEdit_->IsOpen()) titleEdit_->Reposition();
    (void)oldSize;
}

void TQxDBGrid::AutoSizeColumn(int column) {
    if (column < 0 || column >= int(columns_.size())) return;
    QFontMetrics fm(font());
    int widest = 0;
    int first = rowAt(0), last = rowAt(viewport()->height() - 1);
    if (first < 0) first = 0;
    if (last < 0) last = model_->Rows() - 1;
    for (int r = first; r <= last && r < model_->Rows(); ++r)
        widest = std::max(widest, fm.horizontalAdvance(ToQ(model_->CellText(r, column))));
    columns_[size_t(column)]->SetWidth(widest + 4);
}

// ---- Geometry ----

void TQxDBGrid::updateGeometries() {
    if (!footer_ || !titleEdit_) {
        QTableView::updateGeometries();
        return;
    }
    if (inGeometries_) return;
    inGeometries_ = true;
    QTableView::updateGeometries();
    const int fh = FooterHeight();
    const int left = verticalHeader()->isVisible() ? verticalHeader()->width() : 0;
    const int top = horizontalHeader()->isVisible() ? horizontalHeader()->height() : 0;
    const QSize before = viewport()->size();
    setViewportMargins(left, top, 0, fh);
    // The margins shrink the viewport by the footer: the scroll ranges were just computed for the larger
    // one (the resize this causes comes back here while the guard is set), so the last row would lie under
    // the footer. Compute them again for the viewport as it is now.
    if (viewport()->size() != before) QTableView::updateGeometries();
    QRect vg = viewport()->geometry();
    if (fh > 0) {
        footer_->setGeometry(vg.left() - left, vg.bottom() + 1, vg.width() + left, fh);
        footer_->show();
        footer_->raise();
    } else
        footer_->hide();
    if (auto* corner = findChild<TQxCornerCell*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (left > 0 && top > 0) {
            corner->setGeometry(vg.left() - left, vg.top() - top, left, top);
            corner->show();
            corner->raise();
        } else
            corner->hide();
    }
    if (titleEdit_->IsOpen()) titleEdit_->Reposition();
    inGeometries_ = false;
}

void TQxDBGrid::resizeEvent(QResizeEvent* e) {
    QTableView::resizeEvent(e);
    if (standIn_ && standIn_->isVisible()) standIn_->setGeometry(rect());
    ApplyStretch();
    updateGeometries();
}

void TQxDBGrid::scrollContentsBy(int dx, int dy) {
    QTableView::scrollContentsBy(dx, dy);
    if (dx) {
        footer_->update();
        if (titleEdit_->IsOpen()) titleEdit_->Reposition();
    }
}

void TQxDBGrid::paintEvent(QPaintEvent* e) {
    QTableView::paintEvent(e);
    // The memo button of the current cell.
    QRect r = MemoButtonRect();
    if (!r.isEmpty()) {
        QPainter p(viewport());
        p.fillRect(r, palette().button());
        p.setPen(palette().color(QPalette::Mid));
        p.drawRect(r.adjusted(0, 0, -1, -1));
        p.setPen(palette().color(QPalette::ButtonText));
        p.drawText(r, Qt::AlignCenter, QStringLiteral("..."));
    }
}

QRect TQxDBGrid::MemoButtonRect() const {
    QModelIndex cur = currentIndex();
    if (!cur.isValid() || cur.column() >= int(columns_.size())) return QRect();
    TField* f = columns_[size_t(cur.column())]->Field();
    if (!f || (f->DataType() != ftMemo && f->DataType() != ftFmtMemo && f->DataType() != ftOraClob))
        return QRect();
    QRect cell = visualRect(cur);
    const int h = rowHeight(cur.row());
    if (columnWidth(cur.column()) < h + 5) return QRect();
    const int side = cell.height();
    return QRect(cell.right() - side + 1, cell.top(), side, side);
}

// ---- Keys and mouse ----

int TQxDBGrid::NextSortable(int from, int dir) const {
    for (int c = from + dir; c >= 0 && c < int(columns_.size()); c += dir)
        if (columns_[size_t(c)]->Sortable()) return c;
    return -1;
}

void TQxDBGrid::BackToGrid(int column) {
    TDataSet* ds = DataSet();
    if (titleEdit_->IsOpen()) titleEdit_->CloseCell();
    if (ds && ds->Active() && model_->Rows() > 0) {
        int top = std::max(rowAt(0), 0);
        if (top + 1 != ds->RecNo()) {
            try {
                ds->SetRecNo(top + 1);
            } catch (const std::exception& e) {
                Report(e);
            }
        }
        int c = std::clamp(column, 0, std::max(int(columns_.size()) - 1, 0));
        following_ = true;
        setCurrentIndex(model_->index(std::max(ds->RecNo() - 1, 0), c));
        following_ = false;
    }
    setFocus(Qt::OtherFocusReason);
    UpdateFooter();
}

QModelIndex TQxDBGrid::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) {
    QModelIndex cur = currentIndex();
    TDataSet* ds = DataSet();
    if (ds && ds->Active()) {
        const bool atLast = cur.isValid() && cur.row() == model_->Rows() - 1;
        explicitFetch_ = true;
        if ((action == MoveDown || action == MovePageDown) && atLast && model_->canFetchMore(QModelIndex()))
            model_->fetchMore(QModelIndex());
        explicitFetch_ = false;
        if (action == MoveEnd && (modifiers & Qt::ControlModifier)) {
            auto* mds = dynamic_cast<TMemDataSet*>(ds);
            if (Backgrounded() && mds && !mds->AllRowsFetched()) {
                // The rows still on the server come off the GUI thread; the move follows when they are in.
                // It starts from the event loop, not from inside the view's key handling.
                const int column = cur.isValid() ? cur.column() : 0;
                QMetaObject::invokeMethod(
                    this,
                    [this, column] {
                        if (Backgrounded()) StartFetchToEnd(column);
                    },
                    Qt::QueuedConnection);
                return QModelIndex();
            }
            // An explicit move to the last record fetches every row.
            try {
                moving_ = true;
                ds->Last();
                moving_ = false;
            } catch (const std::exception& e) {
                moving_ = false;
                Report(e);
            }
            model_->SyncRows(false, false);
            return model_->index(std::max(ds->RecNo() - 1, 0), cur.isValid() ? cur.column() : 0);
        }
    }
    QModelIndex next = QTableView::moveCursor(action, modifiers);
    if (action == MovePageDown || action == MovePageUp || action == MoveHome || action == MoveEnd ||
        action == MoveUp || action == MoveDown)
        UpdateFooter();
    return next;
}

void TQxDBGrid::keyPressEvent(QKeyEvent* e) {
    TDataSet* ds = DataSet();
    QModelIndex cur = currentIndex();
    const bool titles = options_ & dgTitles;
    if (ds && ds->Active() && cur.isValid()) {
        TQxColumn* col = cur.column() < int(columns_.size()) ? columns_[size_t(cur.column())].get() : nullptr;
        TField* f = col ? col->Field() : nullptr;
        const bool memo =
            f && (f->DataType() == ftMemo || f->DataType() == ftFmtMemo || f->DataType() == ftOraClob);
        if ((e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) && memo) {
            EditMemo();
            return;
        }
        const bool anyBar = header_->FilterBarShown() || header_->SearchBarShown();
        if (e->key() == Qt::Key_Up && titles && anyBar && col && col->Sortable() && cur.row() == rowAt(0) &&
            (ds->RecNo() == 1 || (e->modifiers() & Qt::ShiftModifier))) {
            titleEdit_->OpenCell(header_->SearchBarShown() ? TQxGridTitleEdit::brSearch
                                                           : TQxGridTitleEdit::brFilter,
                                 cur.column());
            return;
        }
        if (e->key() == Qt::Key_Backtab && titles && anyBar && cur.column() == 0 && cur.row() == rowAt(0)) {
            int last = NextSortable(int(columns_.size()), -1);
            if (last >= 0) {
                following_ = true;
                setCurrentIndex(model_->index(cur.row(), last));
                following_ = false;
                titleEdit_->OpenCell(header_->SearchBarShown() ? TQxGridTitleEdit::brSearch
                                                               : TQxGridTitleEdit::brFilter,
                                     last);
                return;
            }
        }
        if (e->key() == Qt::Key_Escape && (ds->State() == dsEdit || ds->State() == dsInsert) &&
            state() != QAbstractItemView::EditingState) {
            ds->Cancel();
            return;
        }
        if (e->key() == Qt::Key_Insert && model_->Editable && e->modifiers() == Qt::NoModifier) {
            try {
                ds->Insert();
            } catch (const std::exception& ex) {
                Report(ex);
            }
            return;
        }
        if (e->key() == Qt::Key_Delete && (e->modifiers() & Qt::ControlModifier) && model_->Editable) {
            try {
                if (!(options_ & dgConfirmDelete) ||
                    QMessageBox::question(this, QStringLiteral("Vestra"),
                                          QString::fromUtf8("Datensatz löschen?")) == QMessageBox::Yes)
                    ds->Delete();
            } catch (const std::exception& ex) {
                Report(ex);
            }
            return;
        }
    }
    QTableView::keyPressEvent(e);
    if (e->key() == Qt::Key_PageUp || e->key() == Qt::Key_PageDown || e->key() == Qt::Key_Home ||
        e->key() == Qt::Key_End || e->key() == Qt::Key_Up || e->key() == Qt::Key_Down)
        UpdateFooter();
}

void TQxDBGrid::mousePressEvent(QMouseEvent* e) {
    if (titleEdit_->Pending()) {
        try {
            titleEdit_->ApplyPending();
        } catch (const std::exception& ex) {
            Report(ex);
        }
    }
    if (titleEdit_->IsOpen()) titleEdit_->CloseCell();
    QRect memo = MemoButtonRect();
    if (e->button() == Qt::LeftButton && memo.contains(e->pos())) {
        EditMemo();
        return;
    }
    QTableView::mousePressEvent(e);
}

void TQxDBGrid::mouseDoubleClickEvent(QMouseEvent* e) {
    QModelIndex idx = indexAt(e->pos());
    if (idx.isValid() && idx.column() < int(columns_.size())) {
        TField* f = columns_[size_t(idx.column())]->Field();
        if (f && (f->DataType() == ftMemo || f->DataType() == ftFmtMemo || f->DataType() == ftOraClob)) {
            EditMemo();
            return;
        }
    }
    QTableView::mouseDoubleClickEvent(e);
}

void TQxDBGrid::focusOutEvent(QFocusEvent* e) {
    QTableView::focusOutEvent(e);
    QWidget* to = QApplication::focusWidget();
    bool toBars = to && (to == titleEdit_ || titleEdit_->isAncestorOf(to));
    bool toChild = to && isAncestorOf(to);
    if (titleEdit_->Pending() && !toBars && !toChild) {
        try {
            titleEdit_->ApplyPending();
        } catch (const std::exception& ex) {
            Report(ex);
        }
    }
}

// ---- Memo ----

void TQxDBGrid::EditMemo() {
    QModelIndex cur = currentIndex();
    if (!cur.isValid() || cur.column() >= int(columns_.size())) return;
    TQxColumn* col = columns_[size_t(cur.column())].get();
    TField* f = col->Field();
    TDataSet* ds = DataSet();
    if (!f || !ds || !ds->Active()) return;
    if (OnMemoClick) {
        OnMemoClick(*this, *col);
        return;
    }
    const bool readOnly = f->ReadOnly || readOnly_ || !(options_ & dgEditing) || !ds->CanModify();
    TMemoEditorForm form(this);
    form.SetField(ToQ(f->DisplayLabel()), ToQ(f->IsNull() ? std::string() : f->AsString()), readOnly);
    form.resize(MemoEditorSize);
    form.SetWordWrap(MemoWordWrap);
    const bool ok = form.exec() == QDialog::Accepted;
    MemoEditorSize = form.size();
    MemoWordWrap = form.WordWrap();
    if (!ok || readOnly) return;
    try {
        if (ds->State() != dsEdit && ds->State() != dsInsert) ds->Edit();
        f->SetAsString(cp1252::FromUtf16(form.Text().toStdU16String()));
    } catch (const std::exception& e) {
        Report(e);
    }
    model_->SyncRows(false, true);
}
