// The worksheet window: editor, result grid, button bar and status line over the Oracle session `Sess` and
// the worksheet query `Qry`. What it decides lives in TWorksheetController and the Qt-free units of app/.
#pragma once

#include "app/WorksheetController.h"
#include "app/WorksheetTabs.h"
#include "app/gui/ExportAction.h"
#include "connect/ConnectDialog.h"
#include "oracle/Ora.h"

#include <QMainWindow>
#include <functional>
#include <memory>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QSplitter;
class QStackedWidget;
class QTabBar;
class QToolBar;
class QToolButton;
class TDataModule1;
class TDBL9;
class TFInfo;
class THelpWindow;
class TQxDBGrid;
class TStatementTools;
class TRecoveryKeeper;
class TSchemaPanel;
class TSqlEditor;
class TWorksheetRun;

struct TStartOptions {
    // "USER/PASSWORD@SERVER" from --connect (any server-string form): what it names is kept instead of the
    // remembered logon.
    std::string connect;
    bool haveConnect = false;
    // Where the editor's text and the history are kept against a crash; empty: not kept.
    std::string recoveryFolder;
};

// One worksheet of the window: its editor, its grid and the query and data source behind that grid. The
// first page uses the window's own Qry and DatS; every further page owns its pair, on the same session.
struct TWorksheetPage {
    TSqlEditor* editor = nullptr;
    TQxDBGrid* grid = nullptr;
    TOraQuery* query = nullptr;
    TOraDataSource* source = nullptr;
    std::unique_ptr<TOraQuery> ownQuery;
    std::unique_ptr<TOraDataSource> ownSource;
};

class TFVestra : public QMainWindow, public IWorksheetView {
    Q_OBJECT
public:
    // Builds the window; the stored session connects while it is built (the connect dialog asks first). A
    // cancelled or finally failed logon raises "Cannot connect to database.".
    explicit TFVestra(const TStartOptions& options = {}, QWidget* parent = nullptr);
    ~TFVestra() override;

    // Resolves the references to the data module (menus, tool bar, actions, history).
    void SetDataModule(TDataModule1* dm);
    TDataModule1* DataModule() const { return dm_; }

    // ---- What the other windows use ----
    TWorksheetController& Controller() { return *controller_; }
    // The statements off the GUI thread, with the Stop action and the "Stopp" button (nil before
    // SetDataModule).
    TWorksheetRun* Run() const { return run_.get(); }
    // The statement under the cursor, the script, the server output and the plan (nil before SetDataModule).
    TStatementTools* Tools() const { return tools_.get(); }
    TOraSession& Session() { return Sess; }
    // The current tab's query and data source (Qry and DatS while the first tab is current).
    TOraQuery& Query() { return *page().query; }
    TOraDataSource& DataSource() { return *page().source; }
    TQxDBGrid* Grid() const { return DBGrid; }
    QPlainTextEdit* Editor() const { return Mmo; }
    QWidget* Panel4() const { return panel4_; }
    TOraQuery& SchemaQuery() { return QryUserTables2; }
    void SetStatusText(const QString& text);
    QString StatusText() const;
    // Runs Execute on the editor's text, showing errors.
    void ExecuteEditor();
    // What the export (BtnExport) needs of the window: session, query, data source, status line, and Execute
    // on a statement put into the editor.
    TExportWiring ExportWiring();
    // Text of the editor or a part of it in Windows-1252 (line breaks as given), or false after a message
    // naming a character Windows-1252 cannot hold.
    bool Text1252(const QString& text, std::string& out, const char* whatUtf8);
    // Runs f; an exception ends in a message box (nothing for a silent abort).
    void Guard(const std::function<void()>& f);

    // ---- Components ----
    TOraSession Sess;
    TOraQuery Qry;
    TOraDataSource DatS;
    TOraQuery QryUserTables2;
    TOraDataSource DSUserTables2;
    TConnectDialog ConnectDialog1;
    std::unique_ptr<TDBL9> DBL9_1; // the report component on DatS

    QToolBar* ToolBar1;
    QPushButton *BtnExec, *BtnRefresh, *BtnBack, *BtnForw, *BtnC, *BtnR, *BitBtn3, *BitBtn2, *BitBtn1,
        *BitBtn4, *BBtnQV, *BtnExport;
    QLabel* LblPos;
    QLabel* LblConnect;
    QRadioButton *RadioButton1, *RadioButton2;
    QPlainTextEdit* Mmo; // the current tab's editor
    QSplitter* Splitter1;
    TQxDBGrid* DBGrid = nullptr; // the current tab's grid
    QWidget* GridPlace;          // the grids of the tabs, one shown
    QWidget* EditorPlace;        // the editors of the tabs, one shown
    // The worksheets' tabs over the editor; shown once there are two.
    QTabBar* TabBar1;
    QLabel* StatusBar1;

    // ---- Tabs ----
    // "Neues Arbeitsblatt" (Ctrl+T): a new, empty worksheet after the last one, made current.
    void NewTab();
    // Ctrl+W: closes the tab after the question about its unsaved text or its running statement (a running
    // statement is stopped first); the last tab is emptied instead. False when the user kept it.
    bool CloseTab(int index);
    void SetCurrentTab(int index);
    int TabCount() const { return tabs_.Count(); }
    int CurrentTab() const { return tabs_.Current(); }
    const TWorksheetTabs& Tabs() const { return tabs_; }
    QPlainTextEdit* TabEditor(int index) const;
    TQxDBGrid* TabGrid(int index) const;
    TOraQuery& TabQuery(int index) const;
    // The current tab's SQL editor.
    TSqlEditor* SqlEditor() const { return page().editor; }
    // The tab in which the statement of the background run (or the script) started (-1: none runs).
    int RunningTab() const;
    // The page the worksheet's statements run on: the current one, or while a statement runs the one it runs
    // in.
    TWorksheetPage* BoundPage() const { return boundPage_; }
    // For the recovery file: every tab with its text (lossy, as EditorText1252Lossy), and the current one.
    void TabsState(std::vector<TWorksheetTab>& tabs, int& current);
    // Puts back the tabs of an earlier run: texts, file names, history positions, the current tab.
    void RestoreTabs(const std::vector<TWorksheetTab>& tabs, int current);

    // ---- The actions' work ----
    void DoNeu();
    void DoOpen();
    void DoSave();
    void DoSaveHistorie();
    void DoLoadHistory();
    void DoDBChange();
    void DoHistoryStep(bool forward);
    void DoRefresh();
    void DoFormat();
    void DoCommit();
    void DoRollback();
    // Prints the result in the orientation of RadioButton1/2 (BitBtn1, AusgabeDrucker).
    void DoPrint();
    // Opens the help file at a context (1001: the main topic).
    void ShowHelp(int context);
    void ShowInfo();
    // Help set-up of start-up: the help file's name and the message when it is missing.
    void SetupHelp();
    THelpWindow* HelpWindow() const { return help_.get(); }
    TFInfo* InfoWindow() const { return info_; }
    QString HelpFileName() const;
    // The connection label, set when the window is first shown and after each log-on.
    void UpdateConnectionLabel();
    // After a log-on the server accepted with a warning (ORA-28002): the status line and a message say so.
    void ShowLogonWarning();

    // ---- The editor's text ----
    // The editor's text as its document holds it, line breaks as CR LF (no-break spaces kept).
    std::u16string EditorRawText() const;
    // The same in Windows-1252 with "?" for what it lacks (only for the recovery copy: Execute and Save
    // refuse such characters).
    void EditorText1252Lossy(std::string& text) const;
    // Replaces the editor's text as one undoable step; joinPreviousEdit makes it one step with the edit
    // before (Open's clearing and loading).
    void SetEditorText(const std::string& text1252, bool joinPreviousEdit = false);

    // ---- Crash-proof text ----
    // Keeps the editor's text and the history in folder's recovery file from now on.
    void StartRecovery(const std::string& folder);
    // At start, after the window shows: the last run's text and history come back.
    void OfferRecovery();
    TRecoveryKeeper* Recovery() const { return recovery_.get(); }

    // ---- IWorksheetView ----
    void SetStatus(const std::string& text1252) override;
    void SetCommitRollbackEnabled(bool on) override;
    void SetHistoryLabel(const std::string& text) override;
    bool AskParameters(std::vector<std::pair<std::string, std::string>>& nameValue) override;
    void ShowMessage(const std::string& text1252) override;
    bool AskYesNo(const std::string& question1252) override;
    TAnswer AskYesNoCancel(const std::string& question1252) override;
    void ResetGrid() override;
    void SetGridAttached(bool on) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool event(QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void showEvent(QShowEvent* e) override;

private:
    void BuildWindow();
    TWorksheetPage& page() const { return *pages_[size_t(tabs_.Current())]; }
    TSqlEditor* MakeEditor(QWidget* parent, const QString& name);
    TQxDBGrid* MakeGrid(QWidget* parent, const QString& name);
    // Adds a page (first: the window's own Qry and DatS) with its tab.
    void AddPage(bool first);
    // Points Mmo, DBGrid, the report, the schema panel and (while nothing runs) the controller at the
    // current tab.
    void FollowCurrentTab();
    void BindToCurrentTab();
    void UpdateTabCaption(int index);
    int PageIndex(const TWorksheetPage* p) const;
    // Gives the current tab a file name (the program's path; empty: none) and marks its text saved.
    void SetTabFile(const std::string& fileName);
    void ConfigureComponents(const TStartOptions& options);
    // The editor's text as the edit control holds it (CR LF), or false after a message naming a character
    // Windows-1252 cannot hold.
    bool EditorText1252(std::string& text, const char* whatUtf8);
    void ShowNonAnsiMessage(const std::string& messageUtf8);
    // Shows over the status line that another tab's statement runs (nothing when none does).
    void SayBusy();

    TDataModule1* dm_ = nullptr;
    std::unique_ptr<TWorksheetController> controller_;
    std::unique_ptr<TWorksheetRun> run_;
    std::unique_ptr<TStatementTools> tools_;
    std::unique_ptr<TRecoveryKeeper> recovery_;
    QWidget* panel4_;
    TFInfo* info_ = nullptr;
    std::unique_ptr<THelpWindow> help_;
    QString progressText_;
    TWorksheetTabs tabs_;
    std::vector<std::unique_ptr<TWorksheetPage>> pages_;
    int pageSerial_ = 1;
    TWorksheetPage* boundPage_ = nullptr;
    // The history's length when the last run ended, before its report recorded anything.
    int historyCountAtEnd_ = 0;
    TSchemaPanel* schemaPanel_ = nullptr;
    bool firstShow_ = true;
    bool closing_ = false;
    // COMMIT/ROLLBACK and the logoff of closing or logging on again are under way.
    bool endingSession_ = false;
};

// "Vestra", "1.41", and the window title made of them.
extern const char* const kProductName;
extern const char* const kProductVersion;
