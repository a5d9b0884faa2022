// The schema browser panel Panel4 at the right of the worksheet: the owner box, the six dictionary buttons,
// the close button and the table list. The statements come from app/SchemaStatements; the six buttons run
// them on the worksheet query, a click in the list through the worksheet's Execute.
#pragma once

#include <QFrame>
#include <QStringList>
#include <exception>
#include <functional>
#include <string>

class QComboBox;
class QListWidget;
class QPushButton;
class TOraQuery;

class TSchemaPanel : public QFrame {
    Q_OBJECT
public:
    // listQuery: the panel's query for the owner and table lists (QryUserTables2); qry: the worksheet query
    // the six buttons run on.
    TSchemaPanel(TOraQuery& listQuery, TOraQuery& qry, QWidget* parent = nullptr);
    ~TSchemaPanel() override;

    // A click in the table list: the worksheet replaces its editor's text by the statement, formats it
    // (Parse) and executes it exactly as the Execute action does (status line, grid reset, history).
    std::function<void(const std::string& sql1252)> ExecuteInEditor;
    // Runs work that uses the session off the GUI thread and done on it afterwards (with the work's
    // exception); false when something else runs and nothing was started. The worksheet sets it to its
    // TWorksheetRun::RunInBackground; unset, work and done run here at once.
    std::function<bool(std::function<void()> work, std::function<void(std::exception_ptr)> done)>
        RunInBackground;
    // True when the user stopped the work that just ended (the next list is then not loaded).
    std::function<bool()> StopRequested;

    // BitBtn4 "Zusatz": hides a visible panel; otherwise shows it, reloads the owners and starts at "*ALLE*".
    void Toggle();
    TOraQuery& QryUserTables2() { return qryUserTables2_; }
    // The worksheet query the six buttons run on (the current tab's).
    void SetWorksheetQuery(TOraQuery& qry) { qry_ = &qry; }

    QComboBox* CBBenutzer2 = nullptr;
    QPushButton* Button2 = nullptr;
    QPushButton* BtnZusInhalt = nullptr;
    QPushButton* BtnZusDesc = nullptr;
    QPushButton* BtnZusAnz = nullptr;
    QPushButton* BtnZusIDX = nullptr;
    QPushButton* BtnZusConstr = nullptr;
    QPushButton* BtnZusTrig = nullptr;
    QListWidget* LBTabellen2 = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void LoadOwners();
    void OwnerChanged();
    void TableClicked();
    void RunButton(int button);
    // Runs work through RunInBackground; done shows an error first (as everywhere in the window).
    bool Run(std::function<void()> work, std::function<void(bool failed)> done);

    TOraQuery& qryUserTables2_;
    TOraQuery* qry_;
    bool loading_ = false;
    int rowBeforePress_ = -1;        // the list's current row when the mouse was last pressed on it
    bool changedSincePress_ = false; // a table was chosen (or refused) since then
};

// Reads a catalog list: each row's value of the field, in server order, appended to items. A failure part way
// leaves the rows read so far in items and propagates.
void SchemaListFromQuery(TOraQuery& q, const std::string& sql, const char* field, QStringList& items);
