// Ziziv Ovod IZ, the table workbench (TFQuickView): a table from the data dictionary seen through eight tabs,
// and on "Tabelle ändern" its rows edited in the grid and written back through generated statements whose key
// columns the user ticks. The statements come from app/SchemaStatements; the queries live in the data module
// (TQuickViewQueries).
#pragma once

#include "app/SchemaStatements.h"
#include "app/WorkbenchWriter.h"
#include "dataset/DB.h"
#include "oracle/Ora.h"

#include <QMainWindow>
#include <functional>

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QListWidget;
class QPlainTextEdit;
class QTabBar;
class TQxDBGrid;
class TDBNavigator;

// The workbench's queries, held by the data module: QryQVusr for the owner and table lists, QryQVExec the
// workbench query (non-blocking, auto-commit on, refreshed after insert, after update and before edit,
// read-only except on "Tabelle ändern") with its update object QryQVUpd.
struct TQuickViewQueries {
    explicit TQuickViewQueries(TOraSession& sess);
    TOraQuery QryQVusr;
    TDataSource DSQVusr;
    TOraQuery QryQVExec;
    TDataSource DSQVExec;
    TOraUpdateSQL QryQVUpd;
};

class TFQuickView : public QMainWindow {
    Q_OBJECT
public:
    explicit TFQuickView(TQuickViewQueries& queries, QWidget* parent = nullptr);
    ~TFQuickView() override;

    // After the window has closed (Schliessen): the worksheet restores itself from minimised to normal.
    std::function<void()> OnClosed;

    const schema::TWorkbenchStatements& Statements() const { return statements_; }
    // True while the worksheet (on the same session) holds changes the user has not confirmed: posts are
    // refused then, since a post commits.
    void SetWorksheetPending(std::function<bool()> pending) {
        writer_.WorksheetHasPendingChanges = std::move(pending);
    }
    // An edited row not yet posted: asks whether to post it. Yes posts (a failed post stays in edit), No
    // cancels the edit, Cancel stays; true when the caller may go on (also without an edit).
    bool SettleEdit();
    TQuickViewQueries& Queries() { return q_; }
    QString StatusText() const;

    QAction* Schliessen = nullptr;
    QComboBox* CBBenutzer3 = nullptr;
    QListWidget* LBTabellen3 = nullptr;
    QTabBar* TabControl1 = nullptr;
    QWidget* StatementPanel = nullptr;
    QPlainTextEdit* QVMmo = nullptr;
    QWidget* KeyPanel = nullptr;
    QListWidget* CheckListBox1 = nullptr;
    QLabel* Notice = nullptr;
    QWidget* EditBar = nullptr;
    TDBNavigator* DBNavigator1 = nullptr;
    QCheckBox* cbDebug = nullptr;
    TQxDBGrid* DBGrid1 = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void LoadOwners();
    void OwnerChanged();
    void TableChosen();
    void TabChanged(int tab);
    void KeyClicked();
    void SetPanels(int tab);
    void GiveStatements();
    void ShowStatements();
    void SetStatus(const std::string& text1252);

    TQuickViewQueries& q_;
    schema::TWorkbenchStatements statements_;
    TWorkbenchWriter writer_;
    std::string selectText_;
    int tab_ = 0;
    bool filling_ = false;
    int lastTableRow_ = -1;
    int rowBeforePress_ = -1;        // the list's current row when the mouse was last pressed on it
    bool changedSincePress_ = false; // a table was chosen (or refused) since then
};

// QuickViewII (BBtnQV): minimises the worksheet window and shows the workbench, not modally; closing the
// workbench restores the worksheet.
void OpenQuickView(QWidget* worksheet, TFQuickView* quickView);
