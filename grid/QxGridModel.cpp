#include "grid/QxGridModel.h"

#include "dataset/Cp1252.h"
#include "dataset/DB.h"
#include "dataset/MemDS.h"

#include <QPointer>
#include <QTimer>

namespace {

constexpr size_t kCacheSize = 512; // rows of texts kept; a page is some 40

QString ToQ(const std::string& s) {
    return QString::fromStdU16String(cp1252::ToUtf16(s));
}

bool IsNumericType(TFieldType t) {
    switch (t) {
    case ftSmallint:
    case ftInteger:
    case ftWord:
    case ftFloat:
    case ftCurrency:
    case ftBCD:
    case ftAutoInc:
    case ftLargeint:
    case ftFMTBcd:
        return true;
    default:
        return false;
    }
}

} // namespace

TQxGridModel::TQxGridModel(QObject* parent) : QAbstractTableModel(parent) {}

void TQxGridModel::Check() const {
    if (!link_) return;
    TDataSet* now = link_->DataSet();
    if (now == ds_) return;
    // The old data set may be gone: only the pointers are dropped.
    ds_ = now;
    mds_ = dynamic_cast<TMemDataSet*>(now);
}

void TQxGridModel::Detach() {
    Check();
    if (mds_)
        if (TMemData* md = mds_->MemData()) md->OnRowsAppended = nullptr;
    link_ = nullptr;
    ds_ = nullptr;
    mds_ = nullptr;
}

TQxGridModel::~TQxGridModel() {
    Check();
    if (mds_)
        if (TMemData* md = mds_->MemData()) md->OnRowsAppended = nullptr;
}

void TQxGridModel::SetDataSet(TDataSet* ds) {
    Check();
    if (ds == ds_) return;
    if (mds_)
        if (TMemData* md = mds_->MemData()) md->OnRowsAppended = nullptr;
    ds_ = ds;
    mds_ = dynamic_cast<TMemDataSet*>(ds);
    SyncRows(true);
}

void TQxGridModel::SetFields(const std::vector<TField*>& fields) {
    Check();
    inserting_ = true;
    beginResetModel();
    fields_ = fields;
    fieldIndex_.assign(fields_.size(), -1);
    if (ds_)
        for (size_t c = 0; c < fields_.size(); ++c)
            for (int i = 0; i < ds_->FieldCount(); ++i)
                if (ds_->Fields(i) == fields_[c]) fieldIndex_[c] = i;
    cache_.clear();
    UpdateHook();
    bool pi = false;
    int pr = 0;
    rows_ = ComputeRows(pi, pr);
    pendingInsert_ = pi;
    pendingRow_ = pr;
    endResetModel();
    inserting_ = false;
}

int TQxGridModel::ComputeRows(bool& pendingInsert, int& pendingRow) const {
    Check();
    pendingInsert = false;
    pendingRow = 0;
    if (!Live() || fields_.empty()) return 0;
    int n = 0;
    if (mds_ && mds_->Data()) n = mds_->Data()->GetRecordCount();
    if (n < 0) n = 0;
    if (mds_) {
        int r;
        bool ins;
        if (mds_->PendingRow(r, ins) && ins) {
            pendingInsert = true;
            pendingRow = std::min(std::max(r, 1), n + 1);
            ++n;
        }
    }
    return n;
}

bool TQxGridModel::Live() const {
    return ds_ && ds_->Active() && (!link_ || link_->Active());
}

void TQxGridModel::UpdateHook() {
    // Rows appended by a fetch are heard only while the data source is on; while it is off the data set
    // may be fetching on another thread, which must not call into the view.
    if (mds_)
        if (TMemData* md = mds_->MemData()) {
            if (Live()) {
                QPointer<TQxGridModel> self(this);
                md->OnRowsAppended = [self](int, int) {
                    if (self) self->RowsAppendedLater();
                };
            } else {
                md->OnRowsAppended = nullptr;
            }
        }
}

void TQxGridModel::SyncRows(bool reset, bool invalidate) {
    Check();
    UpdateHook();
    bool pi = false;
    int pr = 0;
    int n = ComputeRows(pi, pr);
    bool pe = false;
    if (mds_ && Live()) {
        int r;
        bool ins;
        pe = mds_->PendingRow(r, ins) && !ins;
    }
    if (invalidate || reset) cache_.clear();
    if (inserting_) return;
    if (reset || pi != pendingInsert_ || (pi && pr != pendingRow_) || n < rows_) {
        inserting_ = true;
        beginResetModel();
        rows_ = n;
        pendingInsert_ = pi;
        pendingRow_ = pr;
        pendingEdit_ = pe;
        endResetModel();
        inserting_ = false;
        return;
    }
    if (n > rows_) {
        // The view may ask for more rows while it hears of these: that waits for the next request.
        inserting_ = true;
        beginInsertRows(QModelIndex(), rows_, n - 1);
        rows_ = n;
        endInsertRows();
        inserting_ = false;
    }
    if (pe != pendingEdit_) invalidate = true;
    pendingEdit_ = pe;
    if (invalidate && rows_ > 0 && !fields_.empty())
        emit dataChanged(index(0, 0), index(rows_ - 1, int(fields_.size()) - 1), {Qt::DisplayRole});
}

void TQxGridModel::Invalidate() {
    cache_.clear();
    if (rows_ > 0 && !fields_.empty())
        emit dataChanged(index(0, 0), index(rows_ - 1, int(fields_.size()) - 1), {Qt::DisplayRole});
}

void TQxGridModel::RowsAppendedLater() {
    // A fetch may run in the middle of a navigation of the data set: the view learns of the rows once the
    // data set is back in a steady state.
    if (syncQueued_) return;
    syncQueued_ = true;
    QPointer<TQxGridModel> self(this);
    QTimer::singleShot(0, this, [self] {
        if (!self) return;
        self->syncQueued_ = false;
        self->SyncRows(false, false);
    });
}

int TQxGridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : rows_;
}

int TQxGridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(fields_.size());
}

const std::vector<std::string>* TQxGridModel::RowTexts(int recNo) const {
    if (!mds_) return nullptr;
    if (cache_.size() < kCacheSize) cache_.resize(kCacheSize);
    TRowTexts& slot = cache_[size_t(recNo) % kCacheSize];
    if (slot.RecNo == recNo) return &slot.Texts;
    slot.RecNo = 0;
    if (!mds_->GetRecordTexts(recNo, slot.Texts, MemoChars)) return nullptr;
    slot.RecNo = recNo;
    return &slot.Texts;
}

std::string TQxGridModel::CellText(int row, int column) const {
    Check();
    if (!Live() || row < 0 || row >= rows_ || column < 0 || column >= int(fields_.size()))
        return std::string();
    TField* f = fields_[size_t(column)];
    if (!f) return std::string();
    int recNo = row + 1;
    if (pendingInsert_) {
        if (recNo == pendingRow_) return TMemDataSet::FieldViewText(f, MemoChars);
        if (recNo > pendingRow_) --recNo;
    } else if (pendingEdit_ && recNo == ds_->RecNo()) {
        return TMemDataSet::FieldViewText(f, MemoChars);
    }
    int fi = fieldIndex_[size_t(column)];
    if (fi < 0) return std::string();
    try {
        const std::vector<std::string>* t = RowTexts(recNo);
        if (!t || size_t(fi) >= t->size()) return std::string();
        return (*t)[size_t(fi)];
    } catch (const std::exception&) {
        // A value that cannot be shown (a broken LOB, say) paints as an empty cell.
        return std::string();
    }
}

QVariant TQxGridModel::data(const QModelIndex& index, int role) const {
    Check();
    if (!index.isValid() || index.row() >= rows_ || index.column() >= int(fields_.size())) return QVariant();
    TField* f = fields_[size_t(index.column())];
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
    case Qt::AccessibleTextRole:
        return ToQ(CellText(index.row(), index.column()));
    case Qt::TextAlignmentRole:
        if (f && IsNumericType(f->DataType())) return int(Qt::AlignRight | Qt::AlignVCenter);
        return int(Qt::AlignLeft | Qt::AlignVCenter);
    default:
        return QVariant();
    }
}

QVariant TQxGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Vertical) {
        if (role == Qt::DisplayRole) return QString();
        if (role == Qt::AccessibleTextRole) return QString::number(section + 1);
        return QVariant();
    }
    if (section < 0 || section >= int(fields_.size())) return QVariant();
    if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole || role == Qt::ToolTipRole) {
        if (TitleText) return TitleText(section);
        TField* f = fields_[size_t(section)];
        return f ? ToQ(f->DisplayLabel()) : QString();
    }
    return QVariant();
}

Qt::ItemFlags TQxGridModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    Qt::ItemFlags fl = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    TField* f = index.column() < int(fields_.size()) ? fields_[size_t(index.column())] : nullptr;
    if (Editable && f && !f->ReadOnly && !f->IsBlobField() && f->FieldKind() == fkData)
        fl |= Qt::ItemIsEditable;
    return fl;
}

bool TQxGridModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    Check();
    if (role != Qt::EditRole || !index.isValid() || !Live()) return false;
    TField* f = fields_[size_t(index.column())];
    if (!f) return false;
    // The view moved the data set to the row before the editor opened.
    if (ds_->State() != dsEdit && ds_->State() != dsInsert) ds_->Edit();
    f->SetAsString(cp1252::FromUtf16(value.toString().toStdU16String()));
    SyncRows(false);
    return true;
}

bool TQxGridModel::canFetchMore(const QModelIndex& parent) const {
    Check();
    if (parent.isValid() || !mds_ || !Live() || fields_.empty() || inserting_) return false;
    if (mds_->AllRowsFetched()) return false;
    return !AllowFetch || AllowFetch();
}

void TQxGridModel::fetchMore(const QModelIndex& parent) {
    Check();
    if (parent.isValid() || !mds_ || !Live() || inserting_) return;
    ++fetchRequests_;
    try {
        mds_->FetchNextBlock();
    } catch (const std::exception& e) {
        ShowException(e);
    }
    SyncRows(false, false);
}
