// The item model of the result grid: one row per fetched record, one column per grid column, read through a
// data link of the grid's data source. Painting a row reads its display texts from the store without moving
// the data set's current record and without fetching; rows arrive in blocks through canFetchMore/fetchMore.
#pragma once

#include <QAbstractTableModel>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class TDataSource;
class TDataSet;
class TMemDataSet;
class TField;
class TDataLink;
class TQxGridModel;

class TQxGridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TQxGridModel(QObject* parent = nullptr);
    ~TQxGridModel() override;

    // The fields shown, in column order (nil entries show empty cells).
    void SetFields(const std::vector<TField*>& fields);
    const std::vector<TField*>& ShownFields() const { return fields_; }
    void SetDataSet(TDataSet* ds);
    // The link the data set is read through: when the data set behind it goes away (or changes), the model
    // follows without touching the old one.
    void SetLink(const TDataLink* link) { link_ = link; }
    // Lets go of the data set and the link (the grid is going away).
    void Detach();
    TDataSet* DataSet() const { return ds_; }
    // Caption per column for the header (the grid's titles); Unicode.
    std::function<QString(int column)> TitleText;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;

    // The record's display text (1252 bytes) of a column, for rows and for the pending edit buffer.
    std::string CellText(int row, int column) const;
    // Brings the row count in step with the data set (announcing appended rows as inserted rows), drops the
    // cached texts and repaints.
    void SyncRows(bool reset = false, bool invalidate = true);
    // Drops the cached texts of every row (values changed) and repaints.
    void Invalidate();
    // Rows the view sees: fetched records plus a pending inserted row.
    int Rows() const { return rows_; }
    // The row of the pending inserted row, or -1.
    int PendingInsertRow() const { return pendingInsert_ ? pendingRow_ - 1 : -1; }
    bool Editable = false;
    // Asked before the view's fetch requests: the grid lets them through only while the last row is on
    // screen.
    std::function<bool()> AllowFetch;
    // Counts the fetches the model itself asked for (tests).
    int FetchRequests() const { return fetchRequests_; }
    // The number of characters a memo cell shows.
    int MemoChars = 256;

private:
    struct TRowTexts {
        int RecNo = 0;
        std::vector<std::string> Texts;
    };
    const std::vector<std::string>* RowTexts(int recNo) const;
    int ComputeRows(bool& pendingInsert, int& pendingRow) const;
    void RowsAppendedLater();

    void Check() const;
    // The data set is open and the data source on.
    bool Live() const;
    // Hooks the store's row-append notice while live, unhooks it otherwise.
    void UpdateHook();
    const TDataLink* link_ = nullptr;
    mutable TDataSet* ds_ = nullptr;
    mutable TMemDataSet* mds_ = nullptr;
    std::vector<TField*> fields_;
    std::vector<int> fieldIndex_; // index of the shown field among the data set's top-level fields
    int rows_ = 0;
    bool pendingInsert_ = false;
    int pendingRow_ = 0; // 1-based
    bool pendingEdit_ = false;
    int fetchRequests_ = 0;
    bool syncQueued_ = false;
    bool inserting_ = false; // inside beginInsertRows .. endInsertRows
    mutable std::vector<TRowTexts> cache_;
};
