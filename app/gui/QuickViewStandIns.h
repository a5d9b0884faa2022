// Stand-ins for the result grid and the data navigator in the workbench until the grid folder's
// TQxDBGrid and TDBNavigator are merged: a read-only table of the data set's rows and the navigator's ten
// buttons, with the same wiring (SetDataSource, ClearSortList, ClearColumnFilters, SetFiltered).
#pragma once

#include <QTableWidget>
#include <QWidget>
#include <memory>

class TDataSource;
class QToolButton;

class TQVGridStandIn : public QTableWidget {
public:
    explicit TQVGridStandIn(QWidget* parent = nullptr);
    ~TQVGridStandIn() override;
    void SetDataSource(TDataSource* ds);
    void ClearSortList() {}
    void ClearColumnFilters() {}
    void SetFiltered(bool) {}
    // Rebuilds the table from the data set (called on its data events, coalesced).
    void Reload();
    void ScheduleReload();

private:
    class TLink;
    std::unique_ptr<TLink> link_;
    bool scheduled_ = false;
};

enum TQVNavigateBtn {
    nvFirst,
    nvPrior,
    nvNext,
    nvLast,
    nvInsert,
    nvDelete,
    nvEdit,
    nvPost,
    nvCancel,
    nvRefresh
};

class TQVNavigatorStandIn : public QWidget {
public:
    explicit TQVNavigatorStandIn(QWidget* parent = nullptr);
    ~TQVNavigatorStandIn() override;
    void SetDataSource(TDataSource* ds);
    QToolButton* Button(TQVNavigateBtn b) const { return buttons_[b]; }
    void UpdateButtons();

private:
    void Click(TQVNavigateBtn b);
    class TLink;
    std::unique_ptr<TLink> link_;
    QToolButton* buttons_[10] = {};
};
