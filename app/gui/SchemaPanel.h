// The schema browser panel Panel4 at the right of the worksheet: the owner box, the six dictionary buttons,
// the close button and the table list. The statements come from app/SchemaStatements; the six buttons run
// them on the worksheet query, a click in the list through the worksheet's Execute.
#pragma once

#include <QFrame>
#include <QStringList>
#include <functional>
#include <memory>
#include <string>

class QComboBox;
class QListWidget;
class QPushButton;
class TOraQuery;
class TOraSession;

// What the panel asks of the worksheet window.
class ISchemaPanelHost {
public:
    virtual ~ISchemaPanelHost() = default;
    // Replaces the editor's text by the statement, formats it (Parse) and executes it exactly as the
    // Execute action does (status line, grid reset, history). Shows its own errors.
    virtual void ExecuteInEditor(const std::string& sql1252) = 0;
};

// A host made of one callback (the worksheet window passes a lambda over its editor and ExecuteEditor).
class TSchemaPanelCallbacks : public ISchemaPanelHost {
public:
    std::function<void(const std::string& sql1252)> OnExecuteInEditor;
    void ExecuteInEditor(const std::string& sql1252) override {
        if (OnExecuteInEditor) OnExecuteInEditor(sql1252);
    }
};

class TSchemaPanel : public QFrame {
    Q_OBJECT
public:
    // qry: the worksheet query the six buttons run on. The panel's list query QryUserTables2 uses sess.
    TSchemaPanel(TOraSession& sess, TOraQuery& qry, ISchemaPanelHost& host, QWidget* parent = nullptr);
    ~TSchemaPanel() override;

    // BitBtn4 "Zusatz": hides a visible panel; otherwise shows it, reloads the owners and starts at "*ALLE*".
    void Toggle();
    // The panel's list query (the worksheet's Refresh re-runs it while it is open).
    TOraQuery& QryUserTables2() { return *qryUserTables2_; }

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

    TOraQuery& qry_;
    ISchemaPanelHost& host_;
    std::unique_ptr<TOraQuery> qryUserTables2_;
    bool loading_ = false;
};

// Fills a list box from the rows of a catalog query: each row's value of the field, in server order.
QStringList SchemaListFromQuery(TOraQuery& q, const std::string& sql, const char* field);
