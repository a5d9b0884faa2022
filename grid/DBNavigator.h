// TDBNavigator: the data navigator bar (First, Prior, Next, Last, Insert, Delete, Edit, Post, Cancel,
// Refresh) bound to a data source; the buttons enable themselves by the data set's state and position.
#pragma once

#include <QWidget>

#include <memory>

class TDataSource;
class TDataSet;
class QToolButton;
class TNavDataLink;

enum TNavigateBtn {
    nbFirst,
    nbPrior,
    nbNext,
    nbLast,
    nbInsert,
    nbDelete,
    nbEdit,
    nbPost,
    nbCancel,
    nbRefresh
};
inline constexpr int NavigateBtnCount = nbRefresh + 1;

class TDBNavigator : public QWidget {
    Q_OBJECT
public:
    explicit TDBNavigator(QWidget* parent = nullptr);
    ~TDBNavigator() override;
    TDataSource* DataSource() const { return dataSource_; }
    void SetDataSource(TDataSource* ds);
    QToolButton* Button(TNavigateBtn b) const { return buttons_[b]; }
    // Runs a button's action (with the confirmation of Delete when ConfirmDelete is set).
    void BtnClick(TNavigateBtn b);
    bool ConfirmDelete = true;
    // Re-reads the buttons' enabled state.
    void UpdateButtons();

private:
    TDataSet* DataSet() const;
    TDataSource* dataSource_ = nullptr;
    std::unique_ptr<TNavDataLink> link_;
    QToolButton* buttons_[NavigateBtnCount] = {};
};
