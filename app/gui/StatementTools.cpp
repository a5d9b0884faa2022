#include "app/gui/StatementTools.h"

#include "app/ExplainPlan.h"
#include "app/ScriptLog.h"
#include "app/ServerOutput.h"
#include "app/StatementSplitter.h"
#include "app/gui/FVestra.h"
#include "app/gui/Icons.h"
#include "app/gui/WorksheetRun.h"
#include "connect/QtText.h"
#include "grid/QxGrid.h"
#include "oracle/Ora.h"

#include <QAction>
#include <QBoxLayout>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFontDatabase>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSplitter>
#include <QTabWidget>
#include <QTextBlock>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

namespace {

QAction* MakeAction(QObject* parent, const char* name, const QString& caption, const QString& hint) {
    auto* a = new QAction(caption, parent);
    a->setObjectName(name);
    // "short|long": the tool tip and the status line's text.
    const int bar = hint.indexOf('|');
    a->setToolTip(hint.left(bar).trimmed());
    a->setStatusTip(hint.mid(bar + 1).trimmed());
    return a;
}

QPlainTextEdit* MakeTextPane(QWidget* parent, const char* name, const QString& accessibleName) {
    auto* t = new QPlainTextEdit(parent);
    t->setObjectName(name);
    t->setAccessibleName(accessibleName);
    t->setReadOnly(true);
    t->setLineWrapMode(QPlainTextEdit::NoWrap);
    QFont f = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    f.setStyleHint(QFont::TypeWriter);
    t->setFont(f);
    return t;
}

} // namespace

TStatementTools::TStatementTools(TFVestra& window)
    : QObject(&window), w_(window), clock_(std::make_unique<QElapsedTimer>()) {
    setObjectName("StatementTools");
    output_ = std::make_unique<TServerOutput>(w_.Sess);
    scriptCommand_ = std::make_unique<TOraSQL>(&w_.Sess);
    scriptCommand_->Name = "QryScript";
    scriptCommand_->SetAutoCommit(false);
    w_.Controller().ScriptCommand = scriptCommand_.get();

    RunStatement =
        MakeAction(this, "RunStatement", "Anweisung ausf\u00FChren",
                   "Anweisung ausf\u00FChren | f\u00FChrt die markierte Anweisung oder die Anweisung "
                   "unter der Schreibmarke aus");
    RunStatement->setShortcuts(
        {QKeySequence(Qt::Key_F9), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Return)});
    RunScript =
        MakeAction(this, "RunScript", "Skript ausf\u00FChren",
                   "Skript ausf\u00FChren | f\u00FChrt alle Anweisungen des Editors (oder der Markierung) "
                   "nacheinander aus");
    RunScript->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F5));
    ContinueOnError =
        MakeAction(this, "ContinueOnError", "Bei Fehler fortfahren",
                   "Bei Fehler fortfahren | ein Skript l\u00E4uft nach einer fehlerhaften Anweisung "
                   "weiter");
    ContinueOnError->setCheckable(true);
    ServerOutput = MakeAction(this, "ServerOutput", "Serverausgabe",
                              "Serverausgabe | zeigt nach jeder Anweisung die Ausgabe von DBMS_OUTPUT");
    ServerOutput->setCheckable(true);
    ExplainPlan = MakeAction(this, "ExplainPlan", "Ausf\u00FChrungsplan",
                             "Ausf\u00FChrungsplan | zeigt den Ausf\u00FChrungsplan der Anweisung unter der "
                             "Schreibmarke");
    ExplainPlan->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E));
    RunStatement->setIcon(Icons::Own("vestra-run-statement"));
    RunScript->setIcon(Icons::Own("vestra-run-script"));
    ExplainPlan->setIcon(Icons::Own("vestra-explain-plan"));
    ServerOutput->setIcon(Icons::Own("vestra-server-output"));
    for (QAction* a : {RunStatement, RunScript, ExplainPlan}) {
        a->setShortcutContext(Qt::WindowShortcut);
        w_.addAction(a);
    }

    Menu = new QMenu("A&usf\u00FChren", &w_);
    Menu->setObjectName("Ausfuehren1");
    Menu->addActions({RunStatement, RunScript, ExplainPlan});
    Menu->addSeparator();
    Menu->addActions({ContinueOnError, ServerOutput});
    const QList<QAction*> menus = w_.menuBar()->actions();
    w_.menuBar()->insertMenu(menus.size() > 2 ? menus[2] : nullptr, Menu);
    w_.ToolBar1->addSeparator();
    w_.ToolBar1->addActions({RunStatement, RunScript, ExplainPlan, ServerOutput});
    for (QAction* a : {RunStatement, RunScript, ExplainPlan, ServerOutput})
        if (QWidget* b = w_.ToolBar1->widgetForAction(a)) {
            b->setObjectName("ToolButton" + a->objectName());
            b->setAccessibleName(a->text());
        }

    // The grid moves into the first tab of the result tabs, in its place under the editor.
    QSplitter* split = w_.Splitter1;
    const int gridAt = split->indexOf(w_.GridPlace);
    ResultTabs = new QTabWidget();
    ResultTabs->setObjectName("ResultTabs");
    ResultTabs->setDocumentMode(true);
    split->insertWidget(gridAt, ResultTabs);
    ResultTabs->addTab(w_.GridPlace, "Ergebnis");
    split->setStretchFactor(gridAt, 2);

    outputTab_ = OutputText = MakeTextPane(nullptr, "OutputText", "Serverausgabe");
    planTab_ = PlanText = MakeTextPane(nullptr, "PlanText", "Ausf\u00FChrungsplan");
    outputTab_->setParent(ResultTabs);
    planTab_->setParent(ResultTabs);
    outputTab_->hide();
    planTab_->hide();

    ScriptLogPane = new QWidget();
    ScriptLogPane->setObjectName("ScriptLogPane");
    auto* v = new QVBoxLayout(ScriptLogPane);
    v->setContentsMargins(0, 2, 0, 0);
    v->setSpacing(2);
    auto* head = new QHBoxLayout();
    head->setContentsMargins(6, 0, 6, 0);
    auto* caption = new QLabel("Skriptprotokoll", ScriptLogPane);
    ContinueBox = new QCheckBox(ContinueOnError->text(), ScriptLogPane);
    ContinueBox->setObjectName("ContinueBox");
    ContinueBox->setToolTip(ContinueOnError->toolTip());
    ContinueBox->setStatusTip(ContinueOnError->statusTip());
    ContinueBox->setFocusPolicy(Qt::TabFocus);
    connect(ContinueBox, &QCheckBox::toggled, ContinueOnError, &QAction::setChecked);
    connect(ContinueOnError, &QAction::toggled, ContinueBox, &QCheckBox::setChecked);
    head->addWidget(caption);
    head->addStretch(1);
    head->addWidget(ContinueBox);
    v->addLayout(head);
    ScriptLog = MakeTextPane(ScriptLogPane, "ScriptLog", "Skriptprotokoll");
    v->addWidget(ScriptLog, 1);
    split->insertWidget(split->indexOf(w_.EditorPlace) + 1, ScriptLogPane);
    ScriptLogPane->hide();

    connect(RunStatement, &QAction::triggered, this, &TStatementTools::DoRunStatement);
    connect(RunScript, &QAction::triggered, this, &TStatementTools::DoRunScript);
    connect(ExplainPlan, &QAction::triggered, this, &TStatementTools::DoExplainPlan);
    connect(ServerOutput, &QAction::toggled, this, &TStatementTools::SetServerOutputShown);

    // Every Execute (F5, F9) switches the server's buffer and fetches its lines around its server call.
    TWorksheetRun* run = w_.Run();
    TServerOutput* out = output_.get();
    run->AroundStatement = [out](const std::function<void()>& statement) { out->Around(statement); };
    run->AfterStatement = [this] { AppendOutput(); };
    connect(run, &TWorksheetRun::RunningChanged, this, &TStatementTools::FollowRun);
    // Stop ends a script after the statement it breaks.
    auto stopScript = [this] {
        if (script_) script_->Stop();
    };
    connect(run->StopAction, &QAction::triggered, this, stopScript);
    connect(run->BtnStop, &QPushButton::clicked, this, stopScript);
}

TStatementTools::~TStatementTools() {
    if (TWorksheetRun* run = w_.Run()) {
        run->AroundStatement = nullptr;
        run->AfterStatement = nullptr;
    }
    w_.Controller().ScriptCommand = nullptr;
}

void TStatementTools::FollowRun(bool running) {
    const bool on = !running && !script_;
    for (QAction* a : {RunStatement, RunScript, ExplainPlan})
        a->setEnabled(on);
}

bool TStatementTools::CurrentStatement(std::string& text1252, const char* whatUtf8) {
    QTextCursor c = w_.Mmo->textCursor();
    if (c.hasSelection()) {
        QString sel = c.selectedText();
        sel.replace(QChar(0x2029), "\r\n");
        std::string all;
        if (!w_.Text1252(sel, all, whatUtf8)) return false;
        const std::vector<TSqlStatement> s = TStatementSplitter::Split(all);
        if (s.empty()) return false;
        // More than one statement selected: the selection goes as it is, as Execute would send it.
        text1252 = s.size() == 1 ? s[0].text : all;
        return true;
    }
    // The editor's raw text (no-break spaces kept), its paragraphs as CR LF.
    const QString whole = QString::fromStdU16String(w_.EditorRawText());
    std::string all;
    if (!w_.Text1252(whole, all, whatUtf8)) return false;
    // Each line break before the cursor became two characters.
    const size_t offset = size_t(c.position()) + size_t(c.blockNumber());
    const std::vector<TSqlStatement> s = TStatementSplitter::Split(all, true);
    const TSqlStatement* at = StatementAt(s, offset);
    if (!at) return false;
    text1252 = at->text;
    return true;
}

void TStatementTools::DoRunStatement() {
    TWorksheetRun* run = w_.Run();
    if (!run || run->Busy() || script_) return;
    std::string text;
    if (!CurrentStatement(text, "Die Anweisung wurde nicht ausgef\xC3\xBChrt.")) return;
    run->Execute(text);
}

void TStatementTools::DoRunScript() {
    TWorksheetRun* run = w_.Run();
    if (!run || run->Busy() || script_) return;
    QTextCursor c = w_.Mmo->textCursor();
    QString source = c.hasSelection() ? c.selectedText() : QString::fromStdU16String(w_.EditorRawText());
    source.replace(QChar(0x2029), "\r\n");
    std::string all;
    if (!w_.Text1252(source, all, "Das Skript wurde nicht ausgef\xC3\xBChrt.")) return;
    std::vector<TSqlStatement> statements = TStatementSplitter::Split(all);
    if (statements.empty()) return;
    script_ = std::make_unique<TScriptProgress>(std::move(statements), ContinueOnError->isChecked());
    ScriptLog->clear();
    if (!ScriptLogPane->isVisible()) {
        // The log takes a fifth of the height, from the editor and the result alike.
        QSplitter* split = w_.Splitter1;
        QList<int> sizes = split->sizes();
        int total = 0;
        for (int h : sizes)
            total += h;
        ScriptLogPane->show();
        const int log = split->indexOf(ScriptLogPane);
        for (int i = 0; i < sizes.size(); ++i)
            sizes[i] = i == log ? total / 5 : sizes[i] * 4 / 5;
        split->setSizes(sizes);
    }
    FollowRun(true);
    NextScriptStatement();
}

void TStatementTools::NextScriptStatement() {
    if (!script_) return;
    const TSqlStatement* s = script_->Next();
    if (!s) return FinishScript();
    TWorksheetController& c = w_.Controller();
    const std::string text = s->text;
    bool go = false;
    w_.Guard([&] { go = c.BeginScriptStatement(text); });
    if (!go) {
        // A cancelled parameter dialog (or a statement the client refused) ends the script here.
        script_->Stop();
        return FinishScript();
    }
    clock_->start();
    TServerOutput* out = output_.get();
    auto work = [out, &c] { out->Around([&c] { c.RunScriptStatement(); }); };
    auto done = [this, text](std::exception_ptr error) {
        if (!script_) return;
        TScriptStepResult r;
        r.seconds = double(clock_->elapsed()) / 1000.0;
        r.ok = !error;
        if (error) {
            try {
                std::rethrow_exception(error);
            } catch (const std::exception& e) {
                r.error = e.what();
            } catch (...) {
                r.error = "Unbekannter Fehler";
            }
        } else {
            w_.Guard([&] { w_.Controller().EndScriptStatement(text); });
            r.rowsAffected = w_.Controller().LastRowsAffected();
        }
        const std::string line = script_->Record(r);
        AppendLog(line);
        if (!r.ok) w_.SetStatus(line);
        AppendOutput();
        QTimer::singleShot(0, this, &TStatementTools::NextScriptStatement);
    };
    if (!w_.Run()->RunInBackground(work, done)) {
        script_->Stop();
        FinishScript();
    }
}

void TStatementTools::FinishScript() {
    if (!script_) return;
    const std::string summary = script_->Summary();
    AppendLog(summary);
    w_.SetStatus(summary);
    script_.reset();
    FollowRun(w_.Run()->Busy());
}

void TStatementTools::AppendLog(const std::string& line1252) {
    ScriptLog->appendPlainText(FromAnsi(line1252));
    ScriptLog->verticalScrollBar()->setValue(ScriptLog->verticalScrollBar()->maximum());
}

void TStatementTools::AppendOutput() {
    const std::vector<std::string> lines = output_->TakeLines();
    if (lines.empty()) return;
    for (const std::string& l : lines)
        OutputText->appendPlainText(FromAnsi(l));
    if (ResultTabs->indexOf(outputTab_) >= 0 && ResultTabs->currentWidget() == w_.GridPlace &&
        !w_.Query().Active())
        ResultTabs->setCurrentWidget(outputTab_); // a block's output, when there are no rows to look at
}

void TStatementTools::SetServerOutputShown(bool on) {
    output_->SetWanted(on);
    if (on) {
        if (ResultTabs->indexOf(outputTab_) < 0) ResultTabs->addTab(outputTab_, "Serverausgabe");
    } else if (ResultTabs->indexOf(outputTab_) >= 0) {
        ResultTabs->removeTab(ResultTabs->indexOf(outputTab_));
        outputTab_->hide();
    }
}

void TStatementTools::DoExplainPlan() {
    TWorksheetRun* run = w_.Run();
    if (!run || run->Busy() || script_) return;
    std::string text;
    if (!CurrentStatement(text, "Es wurde kein Plan erstellt.")) return;
    auto lines = std::make_shared<std::vector<std::string>>();
    TOraSession* sess = &w_.Sess;
    run->RunInBackground([sess, text, lines] { *lines = ::ExplainPlan(*sess, text); },
                         [this, lines](std::exception_ptr error) {
                             if (error) return w_.Guard([&] { std::rethrow_exception(error); });
                             QString plan;
                             for (const std::string& l : *lines)
                                 plan += FromAnsi(l) + "\n";
                             PlanText->setPlainText(plan);
                             if (ResultTabs->indexOf(planTab_) < 0)
                                 ResultTabs->addTab(planTab_, "Ausf\u00FChrungsplan");
                             ResultTabs->setCurrentWidget(planTab_);
                         });
}

void TStatementTools::SessionChanged() {
    output_->SessionChanged();
}
