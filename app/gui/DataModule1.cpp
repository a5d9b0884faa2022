#include "app/gui/DataModule1.h"

#include "app/gui/FQuickView.h"
#include "app/gui/FVestra.h"
#include "app/gui/Icons.h"
#include "app/gui/SqlCompleter.h"
#include "app/gui/SqlEditor.h"
#include "app/gui/WorksheetRun.h"
#include "oracle/Ora.h"

#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QUrl>

const char* const TDataModule1::SupportMail = "support@brennic.de";
const char* const TDataModule1::WebSite = "https://www.brennic.de/vestra";

namespace {

// "short|long": the tool tip and the status line's text.
void SetHint(QAction* a, const QString& hint) {
    const int bar = hint.indexOf('|');
    const QString shortPart = (bar < 0 ? hint : hint.left(bar)).trimmed();
    const QString longPart = (bar < 0 ? hint : hint.mid(bar + 1)).trimmed();
    a->setToolTip(shortPart);
    a->setStatusTip(longPart);
}

} // namespace

TDataModule1::TDataModule1(TFVestra* window) : QObject(window), w_(window) {
    setObjectName("DataModule1");
    using QKS = QKeySequence;
    Beenden = Make(
        "Beenden", "Beenden",
        "Beenden | Beendet das Programm. \u00DCberpr\u00FCfen Sie ob Sie auch alles abgespeichert haben.");
    Neu = Make("Neu", "Neu", "Neu|neue Eingabe");
    Open = Make("Open", "\u00D6ffnen", "\u00D6ffnen | \u00D6ffnen einer SQL - Datei");
    Save = Make("Save", "Speichern", "Eingabe Speichern | Speichert ihre Eingabebefehlt in eine SQL - Datei");
    SaveHistorie =
        Make("SaveHistorie", "Speichern Historie", "Historie Speichern | Speichern Ihrer Sql Historie");
    LoadHistory = Make("LoadHistory", "\u00D6ffnen Historie", "Historie Laden | Laden einer Historien Datei");
    Import = Make("Import", "Importieren", "Import | Importieren");
    Export =
        Make("Export", "Exportieren...", "Export | Daten in Sequenzielle Dateien schreiben", QKS("Ctrl+E"));
    DBChange = Make("DBChange", "Bei Datenbank anmelden...", QString());
    Execute = Make("Execute", "Ausf\u00FChren", "Ausf\u00FChren (Execute) | ausf\u00FChren Ihrer Anweisung",
                   QKS("F5"));
    SQLBack = Make("SQLBack", "zur\u00FCck", "SQL Historie zur\u00FCck | Letzten SQL Befehl aufrufen");
    SQLForward = Make("SQLForward", "vor", "SQL Historie vor | N\u00E4chten SQL Befehl aufrufen");
    Refrech = Make("Refrech", "Refrech", "Refrech | refrech");
    Parse = Make("Parse", "&Formatieren", "Formatieren | Formatieren des SQL-Befehls", QKS("F8"));
    SelectAll = Make("SelectAll", "alles Markieren", "Alles Markieren | markieren des gesamten Eingabetextes",
                     QKS("Ctrl+A"));
    Undo = Make("Undo", "R\u00FCckg\u00E4ngig",
                "R\u00FCckg\u00E4ngig | letzte aktion r\u00FCckg\u00E4ngig machen", QKS("Ctrl+Z"));
    Cut = Make("Cut", "ausschneiden", "Cut|Cuts the selection and puts it on the Clipboard", QKS("Ctrl+X"));
    Copy = Make("Copy", "kopieren", "Kopieren |Kopiert Eingabe in die Zwischenablage", QKS("Ctrl+C"));
    Paste = Make("Paste", "einf\u00FCgen", "Paste|Inserts Clipboard contents", QKS("Ctrl+V"));
    QuickView =
        Make("QuickView", "Quick View",
             "Quick View Window| Dieser Button \u00F6ffnet das Quick View Window in dem Sie eine schnelle "
             "\u00DCbersicht \u00FCber die verschiedene Schemas haben...",
             QKS("F10"));
    QuickViewII = Make("QuickViewII", "QuickViewII",
                       "Ziziv Ovod IZ| Ziziv Ovod IZ ist eine Erweiterung der Quick View...");
    Schliessen = Make("Schliessen", "Schlie\u00DFen", "Schlie\u00DFen | Form Schlie\u00DFen");
    AusgabeDrucker = Make("AusgabeDrucker", "Drucker", "Drucken | Ausgabe kann ausgedruckt werden");
    AusgabeinZwischenablage =
        Make("AusgabeinZwischenablage", "Zwischenablage",
             "Ausgabe in Zwischenablage | Ausgabe wird in die Zwischenablage gelegt und kann "
             "z.B. in Excel eingef\u00FCgt werden");
    Help = Make("Help", "Help", "Hilfe | Hilfe", QKS("F1"));
    Info = Make("Info", "Info", QString(), QKS("Ctrl+I"));
    BrowseURL1 = Make("BrowseURL1", "&Browse URL", "Browse URL");
    MailtoBNX = Make("MailtoBNX", "E-Mail", "Mailen | E-Mail, Supportfall melden", QKS("Ctrl+M"));

    Find = Make("Find", "&Suchen...", "Suchen | Text im Editor suchen", QKS("Ctrl+F"));
    Replace = Make("Replace", "&Ersetzen...", "Ersetzen | Text im Editor suchen und ersetzen", QKS("Ctrl+H"));
    FindNext =
        Make("FindNext", "&Weitersuchen", "Weitersuchen | N\u00E4chste Fundstelle des Suchtextes", QKS("F3"));
    FindPrevious = Make("FindPrevious", "R\u00FCckw\u00E4rts suchen",
                        "R\u00FCckw\u00E4rts suchen | Vorige Fundstelle des Suchtextes", QKS("Shift+F3"));
    GoToLine = Make("GoToLine", "&Gehe zu Zeile...",
                    "Gehe zu Zeile | Den Cursor in eine Zeile des Editors setzen", QKS("Ctrl+G"));
    CommentLines = Make("CommentLines", "&Kommentar ein/aus",
                        "Kommentar ein/aus | Die markierten Zeilen mit -- auskommentieren oder den Kommentar "
                        "entfernen");
    // Ctrl+/ and, on German keyboards, Ctrl+#.
    CommentLines->setShortcuts({QKS("Ctrl+/"), QKS("Ctrl+#")});
    UpperCase = Make("UpperCase", "Gro\u00DFbuchstaben",
                     "Gro\u00DFbuchstaben | Die Markierung in Gro\u00DFbuchstaben setzen", QKS("Ctrl+U"));
    LowerCase = Make("LowerCase", "Kleinbuchstaben",
                     "Kleinbuchstaben | Die Markierung in Kleinbuchstaben setzen", QKS("Ctrl+Shift+U"));

    Complete =
        Make("Complete", "&Vervollst\u00E4ndigen",
             "Vervollst\u00E4ndigen | Besitzer, Tabellen, Sichten und Spalten aus dem Datenbankkatalog "
             "anbieten",
             QKS("Ctrl+Space"));
    CompleteRefresh = Make("CompleteRefresh", "Namen neu lesen",
                           "Namen neu lesen | Die Namen f\u00FCr die Vervollst\u00E4ndigung neu aus dem "
                           "Datenbankkatalog lesen");

    NewWorksheet = Make("NewWorksheet", "Neues Arbeitsblatt",
                        "Neues Arbeitsblatt | \u00D6ffnet ein leeres Arbeitsblatt in einem eigenen Reiter",
                        QKS("Ctrl+T"));
    CloseWorksheet =
        Make("CloseWorksheet", "Arbeitsblatt schlie\u00DFen",
             "Arbeitsblatt schlie\u00DFen | Schlie\u00DFt das aktuelle Arbeitsblatt", QKS("Ctrl+W"));
    NextWorksheet = Make("NextWorksheet", "N\u00E4chstes Arbeitsblatt",
                         "N\u00E4chstes Arbeitsblatt | Wechselt zum Arbeitsblatt rechts", QKS("Ctrl+PgDown"));
    PreviousWorksheet = Make("PreviousWorksheet", "Vorheriges Arbeitsblatt",
                             "Vorheriges Arbeitsblatt | Wechselt zum Arbeitsblatt links", QKS("Ctrl+PgUp"));
    NewWorksheet->setIcon(Icons::Own("vestra-new-worksheet"));

    // Standard editing commands: the editor's own keys come first while it has the focus.
    for (QAction* a : {SelectAll, Undo, Cut, Copy, Paste})
        a->setShortcutContext(Qt::WidgetWithChildrenShortcut);

    Beenden->setIcon(Icons::Exit());
    Neu->setIcon(Icons::New());
    Open->setIcon(Icons::Open());
    Save->setIcon(Icons::Save());
    Export->setIcon(Icons::Export());
    SelectAll->setIcon(Icons::SelectAll());
    Cut->setIcon(Icons::Cut());
    Copy->setIcon(Icons::Copy());
    Paste->setIcon(Icons::Paste());
    QuickView->setIcon(Icons::QuickView());
    QuickViewII->setIcon(Icons::QuickViewII());

    OpenDialog1 = new QFileDialog(window);
    OpenDialog1->setObjectName("OpenDialog1");
    OpenDialog1->setOption(QFileDialog::DontUseNativeDialog);
    OpenDialog1->setAcceptMode(QFileDialog::AcceptOpen);
    OpenDialog1->setFileMode(QFileDialog::ExistingFile);
    SaveDialog1 = new QFileDialog(window);
    SaveDialog1->setObjectName("SaveDialog1");
    SaveDialog1->setOption(QFileDialog::DontUseNativeDialog);
    SaveDialog1->setAcceptMode(QFileDialog::AcceptSave);
    SaveDialog1->setFileMode(QFileDialog::AnyFile);
    // The save dialogs replace an existing file without asking.
    SaveDialog1->setOption(QFileDialog::DontConfirmOverwrite);

    // The workbench and its queries on the worksheet's session.
    QuickViewQueries = std::make_unique<TQuickViewQueries>(window->Session());
    FQuickView = std::make_unique<TFQuickView>(*QuickViewQueries);
    // A workbench post commits the session; the worksheet's unconfirmed changes are never committed with it.
    FQuickView->SetWorksheetPending([window] { return window->Controller().PendingChanges(); });

    BuildMenus();
    Wire();
    // Actions without a handler stay disabled.
    Import->setEnabled(false);
}

TDataModule1::~TDataModule1() {
    // The window before the queries it shows.
    FQuickView.reset();
    QuickViewQueries.reset();
}

QAction* TDataModule1::Make(const char* name, const QString& caption, const QString& hint,
                            const QKeySequence& shortcut) {
    auto* a = new QAction(caption, this);
    a->setObjectName(name);
    if (!hint.isEmpty()) SetHint(a, hint);
    if (!shortcut.isEmpty()) a->setShortcut(shortcut);
    actions_.append(a);
    return a;
}

QAction* TDataModule1::Action(const QString& name) const {
    for (QAction* a : actions_)
        if (a->objectName() == name) return a;
    return nullptr;
}

void TDataModule1::BuildMenus() {
    auto* datei = new QMenu("&Datei", w_);
    datei->setObjectName("Datei1");
    // The menu item of Neu carries its own hint.
    auto* neuItem = new QAction(Neu->text(), datei);
    neuItem->setObjectName("Neu1");
    neuItem->setToolTip("Neu");
    neuItem->setStatusTip("Sie k\u00F6nnen einen neuen Select Befehl abschicken");
    connect(neuItem, &QAction::triggered, Neu, &QAction::trigger);
    datei->addAction(neuItem);
    datei->addActions({NewWorksheet, CloseWorksheet, NextWorksheet, PreviousWorksheet});
    datei->addActions({Open, Save, SaveHistorie, LoadHistory, Import, Export});
    datei->addSeparator();
    datei->addAction(DBChange);
    datei->addSeparator();
    datei->addAction(Beenden);

    auto* bearbeiten = new QMenu("&Bearbeiten", w_);
    bearbeiten->setObjectName("Bearbeiten1");
    bearbeiten->addActions({Undo, SelectAll});
    bearbeiten->addSeparator();
    bearbeiten->addActions({Cut, Copy, Paste});
    bearbeiten->addSeparator();
    bearbeiten->addActions({Find, Replace, FindNext, FindPrevious, GoToLine});
    bearbeiten->addSeparator();
    bearbeiten->addActions({CommentLines, UpperCase, LowerCase});
    bearbeiten->addSeparator();
    bearbeiten->addActions({Complete, CompleteRefresh});
    bearbeiten->addSeparator();
    bearbeiten->addActions({Parse, Execute});
    bearbeiten->addSeparator();
    bearbeiten->addAction(QuickView);

    auto* ausgabe = new QMenu("&Ausgabe", w_);
    ausgabe->setObjectName("Ausgabe1");
    ausgabe->addActions({AusgabeDrucker, AusgabeinZwischenablage});

    auto* hilfe = new QMenu("&?", w_);
    hilfe->setObjectName("N1");
    hilfe->addAction(Help);
    hilfe->addSeparator();
    hilfe->addActions({BrowseURL1, MailtoBNX});
    hilfe->addSeparator();
    hilfe->addAction(Info);

    menus_ = {datei, bearbeiten, ausgabe, hilfe};
}

void TDataModule1::EditCommand(void (*apply)(QWidget*)) {
    if (QWidget* f = QApplication::focusWidget()) apply(f);
}

void TDataModule1::Wire() {
    TFVestra* w = w_;
    auto guard = [w](QAction* a, std::function<void()> f) {
        connect(a, &QAction::triggered, w, [w, f] { w->Guard(f); });
    };
    guard(Beenden, [w] { w->close(); });
    guard(Neu, [w] { w->DoNeu(); });
    guard(Open, [w] { w->DoOpen(); });
    guard(NewWorksheet, [w] { w->NewTab(); });
    guard(CloseWorksheet, [w] { w->CloseTab(w->CurrentTab()); });
    guard(NextWorksheet, [w] { w->SetCurrentTab((w->CurrentTab() + 1) % w->TabCount()); });
    guard(PreviousWorksheet,
          [w] { w->SetCurrentTab((w->CurrentTab() + w->TabCount() - 1) % w->TabCount()); });
    guard(Save, [w] { w->DoSave(); });
    guard(SaveHistorie, [w] { w->DoSaveHistorie(); });
    guard(LoadHistory, [w] { w->DoLoadHistory(); });
    guard(Export, [w] { w->BtnExport->click(); });
    guard(DBChange, [w] { w->DoDBChange(); });
    guard(Execute, [w] { w->ExecuteEditor(); });
    guard(SQLBack, [w] { w->DoHistoryStep(false); });
    guard(SQLForward, [w] { w->DoHistoryStep(true); });
    guard(Refrech, [w] { w->DoRefresh(); });
    guard(Parse, [w] { w->DoFormat(); });
    guard(QuickView, [w] { w->BitBtn4->click(); });
    guard(QuickViewII, [w] { w->BBtnQV->click(); });
    connect(w->BBtnQV, &QPushButton::clicked, w,
            [this, w] { w->Guard([this, w] { OpenQuickView(w, FQuickView.get()); }); });
    guard(Schliessen, [w] {
        if (QWidget* a = QApplication::activeWindow(); a && a != w) a->close();
        if (w->isMinimized()) w->showNormal();
    });
    guard(AusgabeDrucker, [w] { w->BitBtn1->click(); });
    guard(AusgabeinZwischenablage, [w] { w->BitBtn2->click(); });
    guard(Help, [w] { w->ShowHelp(1001); });
    guard(Info, [w] { w->ShowInfo(); });
    guard(BrowseURL1, [] { QDesktopServices::openUrl(QUrl(WebSite)); });
    guard(MailtoBNX, [] {
        QDesktopServices::openUrl(QUrl(QString("mailto:%1?subject=Vestra&body=x").arg(SupportMail)));
    });

    // The editor's commands act on the SQL editor wherever the focus is (the find bar's fields included).
    // The current worksheet tab's editor, whichever it is when the command comes.
    auto edit = [w, guard](QAction* a, std::function<void(TSqlEditor*)> f) {
        guard(a, [w, f] {
            if (TSqlEditor* ed = w->SqlEditor()) f(ed);
        });
    };
    if (TSqlEditor* first = w->SqlEditor()) {
        edit(Find, [](TSqlEditor* ed) { ed->ShowFind(false); });
        edit(Replace, [](TSqlEditor* ed) { ed->ShowFind(true); });
        // F3 and Shift+F3 go on with the last search text, the bar shown or not; without one they open the
        // bar.
        edit(FindNext, [](TSqlEditor* ed) {
            if (!ed->FindBar()->FindText->text().isEmpty())
                ed->FindNext();
            else
                ed->ShowFind(false);
        });
        edit(FindPrevious, [](TSqlEditor* ed) {
            if (!ed->FindBar()->FindText->text().isEmpty())
                ed->FindPrevious();
            else
                ed->ShowFind(false);
        });
        edit(GoToLine, [](TSqlEditor* ed) { ed->AskGoToLine(); });
        edit(CommentLines, [](TSqlEditor* ed) { ed->ToggleComment(); });
        edit(UpperCase, [](TSqlEditor* ed) { ed->ChangeCase(true); });
        edit(LowerCase, [](TSqlEditor* ed) { ed->ChangeCase(false); });
        // The names come from the session's dictionary through the worksheet's background runs, one cache
        // per connection.
        auto* completion = new TEditorCompletion(
            first, w->Session(),
            [w](std::function<void()> work, std::function<void(std::exception_ptr)> done) {
                return w->Run() && w->Run()->RunInBackground(std::move(work), std::move(done));
            },
            [w] { return w->Session().Username() + "@" + w->Session().Server(); },
            this); // the data module goes before the session
        completion->setObjectName("Completion");
        completion_ = completion;
        completion->Status = [w](const QString& text) { w->statusBar()->showMessage(text); };
        guard(Complete, [completion] { completion->Complete(); });
        guard(CompleteRefresh, [completion] { completion->Refresh(); });
    }

    connect(SelectAll, &QAction::triggered, this, [this] {
        EditCommand([](QWidget* f) {
            if (auto* e = qobject_cast<QPlainTextEdit*>(f)) e->selectAll();
            if (auto* e = qobject_cast<QLineEdit*>(f)) e->selectAll();
        });
    });
    connect(Undo, &QAction::triggered, this, [this] {
        EditCommand([](QWidget* f) {
            if (auto* e = qobject_cast<QPlainTextEdit*>(f)) e->undo();
            if (auto* e = qobject_cast<QLineEdit*>(f)) e->undo();
        });
    });
    connect(Cut, &QAction::triggered, this, [this] {
        EditCommand([](QWidget* f) {
            if (auto* e = qobject_cast<QPlainTextEdit*>(f)) e->cut();
            if (auto* e = qobject_cast<QLineEdit*>(f)) e->cut();
        });
    });
    connect(Copy, &QAction::triggered, this, [this] {
        EditCommand([](QWidget* f) {
            if (auto* e = qobject_cast<QPlainTextEdit*>(f)) e->copy();
            if (auto* e = qobject_cast<QLineEdit*>(f)) e->copy();
        });
    });
    connect(Paste, &QAction::triggered, this, [this] {
        EditCommand([](QWidget* f) {
            if (auto* e = qobject_cast<QPlainTextEdit*>(f)) e->paste();
            if (auto* e = qobject_cast<QLineEdit*>(f)) e->paste();
        });
    });
}

void TDataModule1::SetEditor(TSqlEditor* editor) {
    if (completion_ && editor) completion_->SetEditor(editor);
}

QString TDataModule1::RunFileDialog(QFileDialog* dialog, const QString& folder, const QString& filter,
                                    const QString& suffix) {
    // A missing folder leaves the dialog in its own default folder.
    dialog->setDirectory(QDir(folder).exists() ? folder : QDir::currentPath());
    dialog->setNameFilter(filter);
    dialog->setDefaultSuffix(suffix);
    dialog->selectFile(QString());
    if (dialog->exec() != QDialog::Accepted) return QString();
    const QStringList files = dialog->selectedFiles();
    return files.isEmpty() ? QString() : files.first();
}
