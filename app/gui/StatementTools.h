// The worksheet's statement tools beside Execute: the statement under the cursor (F9, Ctrl+Shift+Enter), a
// script statement by statement into a log pane (Shift+F5), the server output (DBMS_OUTPUT) in a tab
// beside the grid, and the execution plan (Ctrl+Shift+E) in a tab of its own. Layout and wiring only: what
// to run comes from TStatementSplitter, the script's course and log lines from TScriptProgress, the output
// from TServerOutput and the plan from ExplainPlan.
#pragma once

#include <QObject>
#include <QString>
#include <memory>
#include <string>

class QAction;
class QCheckBox;
class QElapsedTimer;
class QMenu;
class QPlainTextEdit;
class QTabWidget;
class QWidget;
class TFVestra;
class TOraSQL;
class TScriptProgress;
class TServerOutput;

class TStatementTools : public QObject {
    Q_OBJECT
public:
    // Builds the panes into the window's splitter and the actions into its menu bar and tool bar; needs
    // the window's run (TFVestra::Run).
    explicit TStatementTools(TFVestra& window);
    ~TStatementTools() override;

    QAction *RunStatement, *RunScript, *ContinueOnError, *ServerOutput, *ExplainPlan;
    QMenu* Menu;
    QTabWidget* ResultTabs; // "Ergebnis" (the grid), "Serverausgabe", "Ausführungsplan"
    QWidget* ScriptLogPane; // under the editor, shown by the first script
    QPlainTextEdit *ScriptLog, *OutputText, *PlanText;
    QCheckBox* ContinueBox;

    bool ScriptRunning() const { return script_ != nullptr; }
    // After a new logon: the server's output buffer is off again.
    void SessionChanged();

    void DoRunStatement();
    void DoRunScript();
    void DoExplainPlan();

private:
    // The selection's statement, else the one around the cursor (CR LF line breaks); false when there is
    // none or the text holds a character Windows-1252 lacks (a message said so).
    bool CurrentStatement(std::string& text1252, const char* whatUtf8);
    void NextScriptStatement();
    void FinishScript();
    void AppendLog(const std::string& line1252);
    void AppendOutput();
    void SetServerOutputShown(bool on);
    void FollowRun(bool running);

    TFVestra& w_;
    std::unique_ptr<TServerOutput> output_;
    std::unique_ptr<TOraSQL> scriptCommand_;
    std::unique_ptr<TScriptProgress> script_;
    std::unique_ptr<QElapsedTimer> clock_;
    QWidget* outputTab_;
    QWidget* planTab_;
};
