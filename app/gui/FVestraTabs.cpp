// The worksheet window's tabs: switching, opening and closing them, and what follows the current one (editor,
// grid, history place, the query the worksheet runs on). What a tab is called and asks lives in
// TWorksheetTabs.
#include "app/History.h"
#include "app/gui/DataModule1.h"
#include "app/gui/FVestra.h"
#include "app/gui/SchemaPanel.h"
#include "app/gui/SqlEditor.h"
#include "app/gui/StatementTools.h"
#include "app/gui/WorksheetRun.h"
#include "connect/QtText.h"
#include "grid/QxGrid.h"
#include "report/L9.h"

#include <QAction>
#include <QEventLoop>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QTabBar>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>

int TFVestra::PageIndex(const TWorksheetPage* p) const {
    for (size_t i = 0; i < pages_.size(); ++i)
        if (pages_[i].get() == p) return int(i);
    return -1;
}

void TFVestra::UpdateTabCaption(int index) {
    if (index < 0 || index >= TabBar1->count()) return;
    // File names are the program's paths; the numbered captions are plain ASCII.
    TabBar1->setTabText(index, QString::fromStdString(tabs_.Caption(index)));
    TabBar1->setTabToolTip(index, QString::fromStdString(tabs_.At(index).fileName));
    const QString name = QString::fromStdString(tabs_.Name(index));
    TabBar1->setAccessibleTabName(index, tabs_.At(index).modified ? name + ", nicht gespeichert" : name);
    if (QWidget* b = TabBar1->tabButton(index, QTabBar::RightSide))
        b->setAccessibleName(name + " schlie\u00DFen");
}

void TFVestra::SetTabFile(const std::string& fileName) {
    tabs_.At(tabs_.Current()).fileName = fileName;
    Mmo->document()->setModified(false);
    tabs_.At(tabs_.Current()).modified = false;
    UpdateTabCaption(tabs_.Current());
}

QPlainTextEdit* TFVestra::TabEditor(int index) const {
    return pages_.at(size_t(index))->editor;
}

TQxDBGrid* TFVestra::TabGrid(int index) const {
    return pages_.at(size_t(index))->grid;
}

TOraQuery& TFVestra::TabQuery(int index) const {
    return *pages_.at(size_t(index))->query;
}

int TFVestra::RunningTab() const {
    const bool running = (run_ && run_->Busy()) || (tools_ && tools_->ScriptRunning());
    return running ? PageIndex(boundPage_) : -1;
}

void TFVestra::NewTab() {
    if (dm_) tabs_.At(tabs_.Current()).historyPos = dm_->FHistory.Pos();
    const int at = tabs_.Add(dm_ ? dm_->FHistory.Count() : 0);
    AddPage(false);
    {
        QSignalBlocker block(TabBar1);
        TabBar1->setCurrentIndex(at);
    }
    FollowCurrentTab();
}

void TFVestra::SetCurrentTab(int index) {
    if (index < 0 || index >= tabs_.Count()) return;
    if (index != tabs_.Current()) {
        if (dm_) tabs_.At(tabs_.Current()).historyPos = dm_->FHistory.Pos();
        tabs_.SetCurrent(index);
    }
    {
        QSignalBlocker block(TabBar1);
        TabBar1->setCurrentIndex(index);
    }
    FollowCurrentTab();
}

void TFVestra::FollowCurrentTab() {
    TWorksheetPage& p = page();
    Mmo = p.editor;
    DBGrid = p.grid;
    static_cast<QStackedWidget*>(EditorPlace)->setCurrentWidget(p.editor);
    static_cast<QStackedWidget*>(GridPlace)->setCurrentWidget(p.grid);
    if (dm_) {
        THistory& h = dm_->FHistory;
        h.SetPos(tabs_.At(tabs_.Current()).historyPos);
        LblPos->setText(FromAnsi(h.LabelText()));
        dm_->SetEditor(p.editor);
    }
    // While a statement (or a script) runs, the worksheet stays with the tab it runs in.
    if (RunningTab() < 0) BindToCurrentTab();
    if (isVisible()) Mmo->setFocus();
}

void TFVestra::BindToCurrentTab() {
    TWorksheetPage& p = page();
    boundPage_ = &p;
    if (controller_) controller_->SetQuery(*p.query);
    if (schemaPanel_) schemaPanel_->SetWorksheetQuery(*p.query);
    if (DBL9_1) DBL9_1->SetDataSource(p.source);
}

bool TFVestra::CloseTab(int index) {
    if (index < 0 || index >= tabs_.Count()) return false;
    TWorksheetPage* closing = pages_[size_t(index)].get();
    const bool runsHere = RunningTab() == index;
    const TWorksheetTabs::TCloseCheck check = tabs_.CheckClose(index, runsHere);
    if (check != TWorksheetTabs::TCloseCheck::Close && !AskYesNo(tabs_.CloseQuestion(index, check)))
        return false;
    if (runsHere) {
        // Stopped as with the Stop button (a script ends after the statement it breaks); the tab goes once
        // the session is free again.
        run_->StopAction->trigger();
        QEventLoop wait;
        QTimer poll;
        connect(&poll, &QTimer::timeout, &wait, [this, &wait] {
            if (RunningTab() < 0) wait.quit();
        });
        poll.start(20);
        if (RunningTab() >= 0) wait.exec();
    }
    if (dm_) tabs_.At(tabs_.Current()).historyPos = dm_->FHistory.Pos();
    if (tabs_.Count() == 1) {
        // The last worksheet starts afresh: an empty editor (Ctrl+Z brings the text back), no result.
        tabs_.Close(index);
        SetEditorText(std::string());
        Query().Close();
        Mmo->document()->setModified(false);
        UpdateTabCaption(0);
        FollowCurrentTab();
        return true;
    }
    const int next = tabs_.Close(index);
    std::unique_ptr<TWorksheetPage> gone = std::move(pages_[size_t(index)]);
    pages_.erase(pages_.begin() + index);
    {
        QSignalBlocker block(TabBar1);
        TabBar1->removeTab(index);
        TabBar1->setCurrentIndex(next);
    }
    FollowCurrentTab();
    // The page goes after everything points elsewhere: its grid lets go of its query first.
    if (boundPage_ == closing) BindToCurrentTab();
    gone->grid->SetDataSource(nullptr);
    // Its result goes with it (the window's own Qry, when it was the first tab's, stays closed).
    gone->query->Close();
    delete gone->editor;
    delete gone->grid;
    for (int i = 0; i < tabs_.Count(); ++i)
        UpdateTabCaption(i);
    return true;
}

void TFVestra::RestoreTabs(const std::vector<TWorksheetTab>& tabs, int current) {
    if (tabs.empty()) return;
    while (tabs_.Count() < int(tabs.size()))
        NewTab();
    std::vector<TWorksheetTab> kept = tabs;
    for (TWorksheetTab& t : kept)
        t.text.clear();
    tabs_.Restore(kept, current);
    for (size_t i = 0; i < tabs.size(); ++i) {
        QPlainTextEdit* e = pages_[i]->editor;
        // Line breaks of any kind become the document's paragraphs. In the first tab one undoable step
        // (Ctrl+Z brings back the start text, as before tabs); the others start with an empty undo stack.
        QTextCursor c(e->document());
        c.beginEditBlock();
        c.select(QTextCursor::Document);
        c.insertText(FromAnsi(tabs[i].text));
        c.endEditBlock();
        e->moveCursor(QTextCursor::Start);
        if (i > 0) e->document()->clearUndoRedoStacks();
        e->document()->setModified(tabs[i].modified);
        tabs_.At(int(i)).modified = tabs[i].modified;
        UpdateTabCaption(int(i));
    }
    {
        QSignalBlocker block(TabBar1);
        TabBar1->setCurrentIndex(tabs_.Current());
    }
    FollowCurrentTab();
}
