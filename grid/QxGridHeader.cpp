#include "grid/QxGridHeader.h"

#include "dataset/Cp1252.h"
#include "dataset/DB.h"
#include "dataset/DBErrors.h"
#include "grid/QxGrid.h"
#include "grid/QxGridModel.h"
#include "grid/ThemeColors.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>
#include <QStyleOptionHeader>

#include <algorithm>
#include <cmath>

namespace {

QString ToQ(const std::string& s) {
    return QString::fromStdU16String(cp1252::ToUtf16(s));
}

std::string To1252(const QString& s) {
    return cp1252::FromUtf16(s.toStdU16String());
}

constexpr int kBarInset = 5;

} // namespace

QPixmap GridBitmap(const QString& name, const QPalette& pal) {
    // Drawn at the screen's scale, so that the marks stay sharp on a 200 % screen.
    const int s = 12;
    const qreal dpr = qApp ? qApp->devicePixelRatio() : 1.0;
    QPixmap pm(int(std::ceil(s * dpr)), int(std::ceil(s * dpr)));
    pm.setDevicePixelRatio(dpr);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    const QColor ink = theme::MarkInk(pal);
    p.setRenderHint(QPainter::Antialiasing);
    if (name == "SORTASC" || name == "SORTDESC") {
        QPainterPath path;
        if (name == "SORTASC") {
            path.moveTo(6, 2.5);
            path.lineTo(10.5, 9);
            path.lineTo(1.5, 9);
        } else {
            path.moveTo(1.5, 3);
            path.lineTo(10.5, 3);
            path.lineTo(6, 9.5);
        }
        path.closeSubpath();
        p.fillPath(path, ink);
    } else if (name == "MENU") {
        p.setPen(Qt::NoPen);
        p.setBrush(ink);
        for (int i = 0; i < 3; ++i)
            p.drawRect(2, 2 + 3 * i, 8, 2);
    } else if (name == "SEARCH") {
        p.setPen(QPen(ink, 1.6));
        p.drawEllipse(QRectF(1.5, 1.5, 6.5, 6.5));
        p.drawLine(QPointF(7.2, 7.2), QPointF(10.8, 10.8));
    } else if (name == "FILTER" || name == "ACTIVE_FILTER") {
        QPainterPath path;
        path.moveTo(1, 1.5);
        path.lineTo(11, 1.5);
        path.lineTo(7, 6);
        path.lineTo(7, 10.5);
        path.lineTo(5, 9.5);
        path.lineTo(5, 6);
        path.closeSubpath();
        p.fillPath(path, name == "FILTER" ? ink : theme::ActiveMark(pal));
    } else if (name == "EDIT") {
        p.setPen(QPen(pal.color(QPalette::Highlight), 2));
        p.drawLine(QPointF(2.5, 9.5), QPointF(9.5, 2.5));
        p.setPen(QPen(ink, 1));
        p.drawLine(QPointF(1.5, 10.5), QPointF(3.5, 10.5));
    }
    return pm;
}

// ---- Title header ----

TQxTitleHeader::TQxTitleHeader(TQxDBGrid* grid) : QHeaderView(Qt::Horizontal, grid), grid_(grid) {
    setObjectName("Titles");
    setSectionsClickable(true);
    setHighlightSections(false);
    setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    setMinimumSectionSize(10);
    setSortIndicatorShown(false);
}

int TQxTitleHeader::LevelCount() const {
    int levels = 1;
    for (int i = 0; i < grid_->ColumnCount(); ++i) {
        TQxColumn* c = grid_->Columns(i);
        levels = std::max(
            levels,
            int(TitleLevels(c->Title().ShownCaption(c->Field()), grid_->LevelDelimiterChar()).size()));
    }
    return levels;
}

int TQxTitleHeader::TitleHeight() const {
    const int rowH = grid_->verticalHeader()->defaultSectionSize();
    const int levels = LevelCount();
    return levels * (rowH + 1);
}

int TQxTitleHeader::BarHeight() const {
    return grid_->verticalHeader()->defaultSectionSize() + 10;
}

bool TQxTitleHeader::FilterBarShown() const {
    return grid_->OptionsEx() & dgeFilterBar;
}

bool TQxTitleHeader::SearchBarShown() const {
    return grid_->OptionsEx() & dgeSearchBar;
}

QSize TQxTitleHeader::sizeHint() const {
    QSize s = QHeaderView::sizeHint();
    int h = TitleHeight();
    if (FilterBarShown()) h += BarHeight();
    if (SearchBarShown()) h += BarHeight();
    s.setHeight(h);
    return s;
}

void TQxTitleHeader::TitlesChanged() {
    int h = sizeHint().height();
    setFixedHeight(h);
    updateGeometry();
    viewport()->update();
}

QRect TQxTitleHeader::BarCellRect(int bar, int logical) const {
    int top = TitleHeight();
    if (bar == 1 && FilterBarShown()) top += BarHeight();
    int x = sectionViewportPosition(logical);
    return QRect(x, top, sectionSize(logical), BarHeight());
}

void TQxTitleHeader::paintEvent(QPaintEvent* e) {
    QHeaderView::paintEvent(e);
    // Upper title levels span the sections that share them: paint them over the whole span once.
    QPainter p(viewport());
    const int n = grid_->ColumnCount();
    std::vector<std::vector<std::string>> levels;
    for (int i = 0; i < n; ++i) {
        TQxColumn* c = grid_->Columns(i);
        levels.push_back(TitleLevels(c->Title().ShownCaption(c->Field()), grid_->LevelDelimiterChar()));
    }
    const int rowH = grid_->verticalHeader()->defaultSectionSize() + 1;
    const int depth = LevelCount();
    for (int lv = 0; lv < depth - 1; ++lv) {
        for (int c = 0; c < n; ++c) {
            if (lv >= int(levels[size_t(c)].size()) - 1) continue;
            int first, last;
            MergedSpan(levels, c, lv, first, last);
            if (first != c) continue;
            int x1 = sectionViewportPosition(first);
            int x2 = sectionViewportPosition(last) + sectionSize(last);
            QRect r(x1, lv * rowH, x2 - x1, rowH);
            p.fillRect(r.adjusted(0, 0, -1, -1), palette().button());
            p.setPen(palette().color(QPalette::Mid));
            p.drawLine(r.bottomLeft(), r.bottomRight());
            p.drawLine(r.topRight(), r.bottomRight());
            p.setPen(palette().color(QPalette::ButtonText));
            QString text = ToQ(levels[size_t(c)][size_t(lv)]);
            bool cut;
            std::string fitted = FitCellText(
                levels[size_t(c)][size_t(lv)], r.width() - 4, false, false,
                [&](const std::string& s) { return fontMetrics().horizontalAdvance(ToQ(s)); }, cut);
            p.drawText(r.adjusted(3, 0, -3, 0), Qt::AlignCenter | Qt::TextSingleLine, ToQ(fitted));
            (void)text;
        }
    }
}

void TQxTitleHeader::paintSection(QPainter* painter, const QRect& rect, int logical) const {
    if (logical < 0 || logical >= grid_->ColumnCount()) {
        QHeaderView::paintSection(painter, rect, logical);
        return;
    }
    TQxColumn* col = grid_->Columns(logical);
    const auto levels = TitleLevels(col->Title().ShownCaption(col->Field()), grid_->LevelDelimiterChar());
    const int rowH = grid_->verticalHeader()->defaultSectionSize() + 1;
    const int titleH = TitleHeight();
    // The lowest level fills the title area below the levels above it.
    const int above = int(levels.size()) - 1;
    QRect title(rect.left(), rect.top() + above * rowH, rect.width(), titleH - above * rowH);
    const bool pressed = pressed_ == logical;
    painter->save();
    painter->fillRect(QRect(rect.left(), rect.top(), rect.width(), titleH), palette().button());
    QStyleOptionHeader opt;
    initStyleOption(&opt);
    opt.rect = title;
    opt.section = logical;
    opt.state |= QStyle::State_Enabled;
    if (pressed)
        opt.state |= QStyle::State_Sunken;
    else
        opt.state |= QStyle::State_Raised;
    opt.text.clear();
    style()->drawControl(QStyle::CE_HeaderSection, &opt, painter, this);
    if (pressed) {
        painter->setPen(palette().color(QPalette::Dark));
        painter->drawRect(title.adjusted(0, 0, -1, -1));
    }
    // Caption of the lowest level, cut with "..." when it does not fit, and the sort mark beside it.
    TSortOrder so = col->SortOrder();
    const int markW = so != soNone ? 14 : 0;
    const int seq = col->SortSequence();
    const int seqW = seq > 0 ? fontMetrics().horizontalAdvance(QString::number(seq)) + 2 : 0;
    QRect textRect = title.adjusted(4, 0, -4 - markW - seqW, 0);
    if (pressed) textRect.translate(1, 1);
    const bool numeric = col->Field() && IsNumericFieldType(col->Field()->DataType());
    bool cut = false;
    std::string fitted = FitCellText(
        levels.back(), textRect.width() + 2, false, false,
        [&](const std::string& s) { return fontMetrics().horizontalAdvance(ToQ(s)); }, cut);
    painter->setPen(palette().color(QPalette::ButtonText));
    painter->drawText(textRect,
                      (numeric ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter | Qt::TextSingleLine,
                      ToQ(fitted));
    if (so != soNone) {
        int tw = std::min(fontMetrics().horizontalAdvance(ToQ(fitted)), textRect.width());
        int x = numeric ? textRect.right() + 3 : textRect.left() + tw + 3;
        int y = title.top() + (title.height() - 12) / 2;
        painter->drawPixmap(x, y, GridBitmap(so == soAsc ? "SORTASC" : "SORTDESC", palette()));
        if (seq > 0) {
            QFont f = font();
            f.setPointSizeF(std::max(f.pointSizeF() * 0.75, 6.0));
            painter->setFont(f);
            QRect nr(x + 11, y + 2, seqW + 4, 12);
            // A white number on the light title face is unreadable: the number is dark, its white copy
            // offset by one pixel keeps the raised look.
            painter->setPen(Qt::white);
            painter->drawText(nr.translated(1, 1), Qt::AlignLeft | Qt::AlignVCenter, QString::number(seq));
            painter->setPen(QColor(60, 60, 60));
            painter->drawText(nr, Qt::AlignLeft | Qt::AlignVCenter, QString::number(seq));
        }
    }
    painter->restore();
    PaintBars(*painter, rect, logical);
}

void TQxTitleHeader::PaintBars(QPainter& p, const QRect& rect, int logical) const {
    TQxColumn* col = grid_->Columns(logical);
    for (int bar = 0; bar < 2; ++bar) {
        if ((bar == 0 && !FilterBarShown()) || (bar == 1 && !SearchBarShown())) continue;
        QRect cell = BarCellRect(bar, logical);
        cell.moveLeft(rect.left());
        p.fillRect(cell, palette().button());
        p.setPen(palette().color(QPalette::Mid));
        p.drawLine(cell.topRight(), cell.bottomRight());
        p.drawLine(cell.bottomLeft(), cell.bottomRight());
        if (!col->Sortable()) continue;
        QRect field = cell.adjusted(kBarInset, kBarInset, -kBarInset, -kBarInset);
        p.fillRect(field, palette().base());
        p.setPen(palette().color(QPalette::Dark));
        p.drawLine(field.topLeft(), field.topRight());
        p.drawLine(field.topLeft(), field.bottomLeft());
        p.setPen(palette().color(QPalette::Light));
        p.drawLine(field.bottomLeft(), field.bottomRight());
        p.drawLine(field.topRight(), field.bottomRight());
        std::string text = bar == 0 ? grid_->TitleEdit()->PendingText(logical) : std::string();
        if (!text.empty()) {
            p.setPen(palette().color(QPalette::Text));
            p.drawText(field.adjusted(3, 0, -2, 0), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                       ToQ(text));
        }
    }
}

void TQxTitleHeader::mousePressEvent(QMouseEvent* e) {
    pressed_ = -1;
    pressInTitle_ = false;
    sizing_ = false;
    const int pos = e->position().toPoint().x();
    const int logical = logicalIndexAt(pos);
    const int y = e->position().toPoint().y();
    if (e->button() == Qt::LeftButton && logical >= 0 && y >= TitleHeight()) {
        // A bar cell: open it for a sortable column.
        int bar = (FilterBarShown() && y < TitleHeight() + BarHeight()) ? 0 : 1;
        if (bar == 1 && !SearchBarShown()) bar = 0;
        if (logical < grid_->ColumnCount() && grid_->Columns(logical)->Sortable())
            grid_->TitleEdit()->OpenCell(bar == 0 ? TQxGridTitleEdit::brFilter : TQxGridTitleEdit::brSearch,
                                         logical);
        e->accept();
        return;
    }
    // Near a section border the press starts sizing.
    const int grip = style()->pixelMetric(QStyle::PM_HeaderGripMargin, nullptr, this);
    if (logical >= 0) {
        int x1 = sectionViewportPosition(logical), x2 = x1 + sectionSize(logical);
        sizing_ = pos <= x1 + grip || pos >= x2 - grip;
    }
    if (grid_->TitleEdit()->Pending()) {
        try {
            grid_->TitleEdit()->ApplyPending();
        } catch (const std::exception& ex) {
            ShowException(ex);
        }
    }
    if (grid_->TitleEdit()->IsOpen()) grid_->TitleEdit()->CloseCell();
    if (e->button() == Qt::LeftButton && logical >= 0 && !sizing_ && !afterDoubleClick_) {
        pressed_ = logical;
        pressInTitle_ = true;
        viewport()->update();
    }
    QHeaderView::mousePressEvent(e);
}

void TQxTitleHeader::mouseMoveEvent(QMouseEvent* e) {
    QHeaderView::mouseMoveEvent(e);
}

void TQxTitleHeader::mouseReleaseEvent(QMouseEvent* e) {
    const int logical = logicalIndexAt(e->position().toPoint().x());
    const int was = pressed_;
    const bool inTitle = e->position().toPoint().y() < TitleHeight();
    pressed_ = -1;
    viewport()->update();
    QHeaderView::mouseReleaseEvent(e);
    if (afterDoubleClick_) {
        afterDoubleClick_ = false;
        return;
    }
    if (e->button() == Qt::LeftButton && pressInTitle_ && !sizing_ && inTitle && was >= 0 && was == logical) {
        const auto mods = e->modifiers();
        grid_->SortByColumn(logical, mods & Qt::ShiftModifier, mods & Qt::ControlModifier);
    }
    pressInTitle_ = false;
    sizing_ = false;
}

void TQxTitleHeader::mouseDoubleClickEvent(QMouseEvent* e) {
    const int pos = e->position().toPoint().x();
    const int grip = style()->pixelMetric(QStyle::PM_HeaderGripMargin, nullptr, this);
    const int logical = logicalIndexAt(pos);
    if (logical >= 0 && e->position().toPoint().y() < TitleHeight()) {
        int x1 = sectionViewportPosition(logical), x2 = x1 + sectionSize(logical);
        int target = -1;
        if (pos >= x2 - grip)
            target = logical;
        else if (pos <= x1 + grip)
            target = logicalIndexAt(x1 - 1);
        if (target >= 0) {
            grid_->AutoSizeColumn(target);
            afterDoubleClick_ = true;
            e->accept();
            return;
        }
    }
    QHeaderView::mouseDoubleClickEvent(e);
}

// ---- Corner cell ----

TQxCornerCell::TQxCornerCell(TQxDBGrid* grid) : QWidget(grid), grid_(grid) {
    setAccessibleName(QString::fromUtf8("Menü der Tabelle"));
}

void TQxCornerCell::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().button());
    p.setPen(palette().color(QPalette::Mid));
    p.drawLine(rect().topRight(), rect().bottomRight());
    auto* h = grid_->TitleHeader();
    const int titleH = h->TitleHeight();
    auto icon = [&](int top, int height, const QString& name) {
        QPixmap pm = GridBitmap(name, palette());
        const QSizeF size = pm.deviceIndependentSize();
        p.drawPixmap(QPointF((width() - size.width()) / 2, top + (height - size.height()) / 2), pm);
    };
    icon(0, titleH, "MENU");
    p.drawLine(0, titleH - 1, width(), titleH - 1);
    int y = titleH;
    if (h->FilterBarShown()) {
        bool active = false;
        for (int i = 0; i < grid_->ColumnCount(); ++i)
            active = active || !grid_->Columns(i)->FilterExpression().empty();
        QString name = grid_->TitleEdit()->Pending()
                           ? "EDIT"
                           : (grid_->Filtered() && active ? "ACTIVE_FILTER" : "FILTER");
        icon(y, h->BarHeight(), name);
        y += h->BarHeight();
        p.drawLine(0, y - 1, width(), y - 1);
    }
    if (h->SearchBarShown()) icon(y, h->BarHeight(), "SEARCH");
}

void TQxCornerCell::mousePressEvent(QMouseEvent* e) {
    auto* h = grid_->TitleHeader();
    const int y = e->position().toPoint().y();
    const int titleH = h->TitleHeight();
    if (y < titleH) {
        grid_->PopupMenu()->popup(mapToGlobal(QPoint(0, titleH)));
        return;
    }
    int top = titleH;
    if (h->FilterBarShown()) {
        if (y < top + h->BarHeight()) {
            grid_->SetOptionsEx(grid_->OptionsEx() & ~dgeFilterBar);
            return;
        }
        top += h->BarHeight();
    }
    if (h->SearchBarShown() && y < top + h->BarHeight())
        grid_->SetOptionsEx(grid_->OptionsEx() & ~dgeSearchBar);
}

// ---- Footer ----

TQxGridFooter::TQxGridFooter(TQxDBGrid* grid) : QWidget(grid), grid_(grid) {
    setObjectName("Footer");
    // The footer is painted, so its text reaches a screen reader as the accessible name; the caption says
    // what the text is.
    setAccessibleDescription(QString::fromUtf8("Fußzeile"));
}

QString TQxGridFooter::SpokenText() const {
    QStringList parts;
    if (grid_->OptionsEx() & dgeRecordCount) parts << ToQ(grid_->RecordCountText());
    if (grid_->OptionsEx() & dgeSummary) {
        for (int i = 0; i < grid_->ColumnCount(); ++i) {
            TQxColumn* c = grid_->Columns(i);
            if (c->SummaryMode() == smNone) continue;
            const std::string text = c->ComputedSummaryText();
            if (!text.empty())
                parts << ToQ(c->Title().ShownCaption(c->Field())) + QStringLiteral(": ") + ToQ(text);
        }
    }
    return parts.join(QStringLiteral("; "));
}

void TQxGridFooter::Changed() {
    RefreshSpoken();
    update();
}

void TQxGridFooter::RefreshSpoken() {
    const QString spoken = SpokenText();
    if (spoken == accessibleName()) return;
    setAccessibleName(spoken);
    // A table's accessible children are its cells and headers, not the widgets on it: the grid itself carries
    // the footer's text as its description, which a screen reader reads after the grid's name.
    grid_->setAccessibleDescription(spoken.isEmpty() ? QString() : QString::fromUtf8("Fußzeile: ") + spoken);
}

void TQxGridFooter::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setFont(grid_->horizontalHeader()->font());
    p.fillRect(rect(), palette().button());
    p.setPen(palette().color(QPalette::Mid));
    p.drawLine(0, 0, width(), 0);
    p.setPen(palette().color(QPalette::ButtonText));
    const int left = grid_->verticalHeader()->isVisible() ? grid_->verticalHeader()->width() : 0;
    const bool summary = grid_->OptionsEx() & dgeSummary;
    if (grid_->OptionsEx() & dgeRecordCount) {
        QString text = ToQ(grid_->RecordCountText());
        if (summary) {
            // In the indicator part of the footer; it may run into the first column when that is narrow.
            QRect r(2, 0, std::max(left, p.fontMetrics().horizontalAdvance(text) + 4), height());
            p.drawText(r, Qt::AlignLeft | Qt::AlignVCenter, text);
        } else
            p.drawText(rect().adjusted(left + 4, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, text);
    }
    if (!summary) return RefreshSpoken();
    auto* h = grid_->horizontalHeader();
    for (int i = 0; i < grid_->ColumnCount(); ++i) {
        TQxColumn* c = grid_->Columns(i);
        if (c->SummaryMode() == smNone) continue;
        QRect r(left + h->sectionViewportPosition(i), 0, h->sectionSize(i), height());
        if (r.right() < left || r.left() > width()) continue;
        std::string text;
        try {
            text = c->SummaryText();
        } catch (const std::exception&) {
            text.clear();
        }
        const bool right = c->Field() && IsNumericFieldType(c->Field()->DataType());
        p.save();
        p.setClipRect(QRect(left, 0, width() - left, height()));
        p.drawText(r.adjusted(3, 0, -3, 0), (right ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter,
                   ToQ(text));
        p.restore();
    }
    // A summary computed for this paint is told too.
    RefreshSpoken();
}

// ---- In-title editor ----

TQxGridTitleEdit::TQxGridTitleEdit(TQxDBGrid* grid) : QLabel(grid->TitleHeader()->viewport()), grid_(grid) {
    setObjectName("TitleEdit");
    setFocusPolicy(Qt::StrongFocus);
    setAutoFillBackground(true);
    setAccessibleName(QString::fromUtf8("Filterzelle"));
    edit_ = new QLineEdit(this);
    edit_->setObjectName("TitleEditBox");
    edit_->setFrame(false);
    edit_->setFocusPolicy(Qt::ClickFocus);
    edit_->hide();
    edit_->installEventFilter(this);
    connect(edit_, &QLineEdit::textEdited, this, &TQxGridTitleEdit::EditChanged);
    hide();
}

std::string TQxGridTitleEdit::PendingText(int column) const {
    if (pending_ && column >= 0 && size_t(column) < pendingTexts_.size())
        return pendingTexts_[size_t(column)];
    if (column >= 0 && column < grid_->ColumnCount()) return grid_->Columns(column)->FilterExpression();
    return std::string();
}

void TQxGridTitleEdit::Reposition() {
    if (!open_) return;
    QRect cell = grid_->TitleHeader()->BarCellRect(int(bar_), column_);
    setGeometry(cell.adjusted(kBarInset, kBarInset, -kBarInset, -kBarInset));
    edit_->setGeometry(rect().adjusted(2, 1, -1, -1));
}

void TQxGridTitleEdit::OpenCell(TBar bar, int column) {
    if (column < 0 || column >= grid_->ColumnCount()) return;
    if (open_ && Editing() && !Commit()) return;
    bar_ = bar;
    column_ = column;
    open_ = true;
    setAccessibleName(bar_ == brFilter ? QString::fromUtf8("Filterzelle") : QString::fromUtf8("Suchzelle"));
    edit_->setAccessibleName(bar_ == brFilter ? QString::fromUtf8("Filtertext")
                                              : QString::fromUtf8("Suchtext"));
    edit_->hide();
    grid_->horizontalHeader()->setOffset(grid_->horizontalScrollBar()->value());
    grid_->scrollTo(grid_->GridModel()->index(std::max(grid_->currentIndex().row(), 0), column),
                    QAbstractItemView::EnsureVisible);
    if (bar_ == brFilter)
        setText(" " + ToQ(PendingText(column)));
    else
        setText(" " + (size_t(column) < searchTexts_.size() ? ToQ(searchTexts_[size_t(column)]) : QString()));
    Reposition();
    show();
    raise();
    setFocus(Qt::OtherFocusReason);
    grid_->TitleHeader()->viewport()->update();
}

void TQxGridTitleEdit::CloseCell() {
    if (!open_) return;
    open_ = false;
    edit_->hide();
    hide();
    grid_->TitleHeader()->viewport()->update();
}

bool TQxGridTitleEdit::Editing() const {
    return edit_->isVisible();
}

void TQxGridTitleEdit::StartEdit(const QString& typed) {
    if (!open_) return;
    QString start = bar_ == brFilter ? ToQ(PendingText(column_)) : QString();
    edit_->setFont(grid_->font());
    edit_->setText(start);
    edit_->show();
    edit_->setFocus(Qt::OtherFocusReason);
    edit_->selectAll();
    if (!typed.isEmpty()) {
        edit_->setText(typed);
        EditChanged(typed);
    }
}

void TQxGridTitleEdit::EditChanged(const QString& text) {
    if (bar_ == brFilter) {
        if (!pending_) {
            pending_ = true;
            pendingTexts_.clear();
            for (int i = 0; i < grid_->ColumnCount(); ++i)
                pendingTexts_.push_back(grid_->Columns(i)->FilterExpression());
            if (auto* corner = grid_->findChild<TQxCornerCell*>()) corner->update();
        }
        return;
    }
    // The search bar locates as each character is typed.
    if (searchTexts_.size() < size_t(grid_->ColumnCount())) searchTexts_.resize(size_t(grid_->ColumnCount()));
    searchTexts_[size_t(column_)] = To1252(text);
    TDataSet* ds = grid_->DataSet();
    TQxColumn* col = grid_->Columns(column_);
    if (!ds || !ds->Active() || !col->Field() || text.isEmpty()) return;
    try {
        ds->Locate(col->FieldName(), Variant(To1252(text)), loCaseInsensitive | loPartialKey);
    } catch (const EConvertError&) {
        // A search text that does not convert is ignored.
    } catch (const std::exception& e) {
        ShowException(e);
    }
}

bool TQxGridTitleEdit::Commit() {
    if (!Editing() || committing_) return true;
    committing_ = true;
    const std::string text = To1252(edit_->text());
    if (bar_ == brFilter) {
        if (pending_) {
            try {
                grid_->BuildFilterCondition(grid_->Columns(column_), text);
            } catch (const std::exception& e) {
                edit_->selectAll();
                edit_->setFocus(Qt::OtherFocusReason);
                committing_ = false;
                ShowException(e);
                edit_->setFocus(Qt::OtherFocusReason);
                edit_->selectAll();
                return false;
            }
            if (size_t(column_) < pendingTexts_.size()) pendingTexts_[size_t(column_)] = text;
        }
        setText(" " + ToQ(PendingText(column_)));
    } else
        setText(" " + edit_->text());
    edit_->hide();
    committing_ = false;
    grid_->TitleHeader()->viewport()->update();
    return true;
}

void TQxGridTitleEdit::ApplyPending() {
    if (!pending_) return;
    if (Editing() && !Commit()) return;
    for (int i = 0; i < grid_->ColumnCount() && size_t(i) < pendingTexts_.size(); ++i)
        grid_->Columns(i)->SetFilterExpression(pendingTexts_[size_t(i)]);
    pending_ = false;
    pendingTexts_.clear();
    if (auto* corner = grid_->findChild<TQxCornerCell*>()) corner->update();
    grid_->ApplyColumnFilters();
}

void TQxGridTitleEdit::DiscardPending() {
    pending_ = false;
    pendingTexts_.clear();
    if (open_ && bar_ == brFilter) setText(" " + ToQ(PendingText(column_)));
    if (auto* corner = grid_->findChild<TQxCornerCell*>()) corner->update();
    grid_->TitleHeader()->viewport()->update();
}

void TQxGridTitleEdit::MoveForward() {
    int next = grid_->NextSortable(column_, 1);
    if (next >= 0) {
        OpenCell(bar_, next);
        return;
    }
    if (bar_ == brFilter) {
        const int col = column_;
        ApplyPending();
        if (grid_->TitleHeader()->SearchBarShown()) {
            int first = grid_->NextSortable(-1, 1);
            OpenCell(brSearch, first >= 0 ? first : col);
            return;
        }
    }
    grid_->BackToGrid(0);
}

void TQxGridTitleEdit::MoveBackward() {
    int prev = grid_->NextSortable(column_, -1);
    if (prev >= 0) {
        OpenCell(bar_, prev);
        return;
    }
    if (bar_ == brSearch && grid_->TitleHeader()->FilterBarShown()) {
        int last = grid_->NextSortable(grid_->ColumnCount(), -1);
        if (last >= 0) OpenCell(brFilter, last);
    }
}

void TQxGridTitleEdit::MoveUp() {
    if (bar_ == brSearch && grid_->TitleHeader()->FilterBarShown()) OpenCell(brFilter, column_);
}

void TQxGridTitleEdit::MoveDown() {
    const int col = column_;
    if (bar_ == brFilter) {
        ApplyPending();
        if (pending_) return; // the text did not convert
        if (grid_->TitleHeader()->SearchBarShown()) {
            OpenCell(brSearch, col);
            return;
        }
    }
    grid_->BackToGrid(col);
}

bool TQxGridTitleEdit::HandleMoveKey(QKeyEvent* e, bool inEdit) {
    const int key = e->key();
    const bool shift = e->modifiers() & Qt::ShiftModifier;
    if (key != Qt::Key_Tab && key != Qt::Key_Backtab && key != Qt::Key_Up && key != Qt::Key_Down &&
        (inEdit || (key != Qt::Key_Left && key != Qt::Key_Right)))
        return false;
    if (inEdit && !Commit()) return true;
    try {
        if (key == Qt::Key_Backtab || (key == Qt::Key_Tab && shift) || key == Qt::Key_Left)
            MoveBackward();
        else if (key == Qt::Key_Tab || key == Qt::Key_Right)
            MoveForward();
        else if (key == Qt::Key_Up)
            MoveUp();
        else
            MoveDown();
    } catch (const std::exception& ex) {
        ShowException(ex);
    }
    return true;
}

bool TQxGridTitleEdit::event(QEvent* e) {
    // Tab and Shift+Tab move between the bar cells instead of the focus chain.
    if (e->type() == QEvent::KeyPress) {
        auto* ke = static_cast<QKeyEvent*>(e);
        if (ke->key() == Qt::Key_Tab || ke->key() == Qt::Key_Backtab) {
            keyPressEvent(ke);
            return true;
        }
    }
    return QLabel::event(e);
}

void TQxGridTitleEdit::keyPressEvent(QKeyEvent* e) {
    if (HandleMoveKey(e, false)) return;
    const int key = e->key();
    if (key == Qt::Key_Escape) {
        if (pending_) DiscardPending();
        return;
    }
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        StartEdit();
        return;
    }
    QString t = e->text();
    if (!t.isEmpty() && t[0].isPrint()) {
        StartEdit(t);
        return;
    }
    QLabel::keyPressEvent(e);
}

void TQxGridTitleEdit::mousePressEvent(QMouseEvent* e) {
    if (hasFocus() && !Editing()) {
        StartEdit();
        return;
    }
    QLabel::mousePressEvent(e);
}

void TQxGridTitleEdit::paintEvent(QPaintEvent* e) {
    QPainter p(this);
    p.fillRect(rect(), palette().base());
    p.setPen(palette().color(QPalette::Highlight));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
    p.setPen(palette().color(QPalette::Text));
    p.drawText(rect().adjusted(2, 0, -2, 0), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text());
    (void)e;
}

bool TQxGridTitleEdit::eventFilter(QObject* o, QEvent* e) {
    if (o == edit_ && e->type() == QEvent::KeyPress) {
        auto* ke = static_cast<QKeyEvent*>(e);
        if (HandleMoveKey(ke, true)) return true;
        if (ke->key() == Qt::Key_Escape) {
            edit_->hide();
            setFocus(Qt::OtherFocusReason);
            return true;
        }
        if (ke->key() == Qt::Key_Return || ke->key() == Qt::Key_Enter) {
            if (Commit()) setFocus(Qt::OtherFocusReason);
            return true;
        }
    }
    if (o == edit_ && e->type() == QEvent::FocusOut && Editing() && !committing_) {
        QWidget* to = QApplication::focusWidget();
        if (to != this) {
            Commit();
        }
    }
    return QLabel::eventFilter(o, e);
}
