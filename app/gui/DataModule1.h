// The data module: the worksheet's actions, the main menu, the icons, the two file dialogs and the statement
// history. The window binds its menu, tool bar and buttons to these actions.
#pragma once

#include "app/History.h"

#include <QKeySequence>
#include <QObject>
#include <QString>
#include <memory>

class QAction;
class QFileDialog;
class QMenu;
class QWidget;
class TEditorCompletion;
class TFVestra;
class TSqlEditor;
class TFQuickView;
struct TQuickViewQueries;

class TDataModule1 : public QObject {
    Q_OBJECT
public:
    explicit TDataModule1(TFVestra* window);
    ~TDataModule1() override;

    // Actions by their names (objectName), in the order they are listed.
    QAction *Beenden, *Neu, *Open, *Save, *SaveHistorie, *LoadHistory, *Import, *Export, *DBChange, *Execute,
        *SQLBack, *SQLForward, *Refrech, *Parse, *SelectAll, *Undo, *Cut, *Copy, *Paste, *QuickView,
        *QuickViewII, *Schliessen, *AusgabeDrucker, *AusgabeinZwischenablage, *Help, *Info, *BrowseURL1,
        *MailtoBNX;
    // The editor's commands: find and replace, go to line, commenting lines, case of the selection.
    QAction *Find, *Replace, *FindNext, *FindPrevious, *GoToLine, *CommentLines, *UpperCase, *LowerCase;
    // Completion of names from the dictionary, and reading the names again.
    QAction *Complete, *CompleteRefresh;
    // Worksheets as tabs: a new one (Ctrl+T), closing the current one (Ctrl+W), and the next and the previous
    // tab (Ctrl+Page down, Ctrl+Page up; Ctrl+Tab leaves the editor).
    QAction *NewWorksheet, *CloseWorksheet, *NextWorksheet, *PreviousWorksheet;
    QAction* Action(const QString& name) const;
    QList<QAction*> Actions() const { return actions_; }

    // The main menu's four menus: "Datei", "Bearbeiten", "Ausgabe", "?".
    QList<QMenu*> Menus() const { return menus_; }

    // The dialogs shared by the file operations: OpenDialog1 serves Open and LoadHistory, SaveDialog1 Save
    // and SaveHistorie.
    QFileDialog* OpenDialog1;
    QFileDialog* SaveDialog1;

    THistory FHistory;

    // The workbench's queries QryQVusr, QryQVExec and QryQVUpd, and the workbench window Ziziv Ovod IZ
    // (created at start-up, shown by BBtnQV).
    std::unique_ptr<TQuickViewQueries> QuickViewQueries;
    std::unique_ptr<TFQuickView> FQuickView;

    // The support mailbox and the maker's web site.
    static const char* const SupportMail;
    static const char* const WebSite;

    // Runs a file dialog modally with an initial folder and a filter; returns the chosen file or "".
    // The editor the completion serves: the current worksheet tab's.
    void SetEditor(TSqlEditor* editor);

    QString RunFileDialog(QFileDialog* dialog, const QString& folder, const QString& filter,
                          const QString& suffix);

private:
    QAction* Make(const char* name, const QString& caption, const QString& hint,
                  const QKeySequence& shortcut = QKeySequence());
    void BuildMenus();
    void Wire();
    void EditCommand(void (*apply)(QWidget*));

    TFVestra* w_;
    TEditorCompletion* completion_ = nullptr;
    QList<QAction*> actions_;
    QList<QMenu*> menus_;
};
