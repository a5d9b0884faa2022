#include "app/gui/SqlCompleter.h"

#include "app/SqlCompletion.h"
#include "app/gui/Cp1252Qt.h"
#include "app/gui/SqlEditor.h"
#include "app/gui/SqlHighlighter.h"
#include "oracle/Ora.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QScrollBar>
#include <QStringListModel>
#include <QTextBlock>
#include <stdexcept>

namespace {

// Reads the first field of every row of the statement (or the fields named) into rows.
void ReadRows(TOraQuery& q, const std::string& sql, std::vector<std::vector<std::string>>& rows, int fields) {
    q.Close();
    q.SetSQL(sql);
    q.Open();
    if (q.FieldCount() < fields) {
        q.Close();
        throw std::runtime_error("Die Antwort des Servers hat zu wenige Spalten.");
    }
    std::vector<TField*> f;
    for (int i = 0; i < fields; ++i)
        f.push_back(q.Fields(i));
    q.DisableControls();
    try {
        while (!q.Eof()) {
            std::vector<std::string> row;
            for (TField* x : f)
                row.push_back(x->AsString());
            rows.push_back(std::move(row));
            q.Next();
        }
    } catch (...) {
        q.EnableControls();
        q.Close();
        throw;
    }
    q.EnableControls();
    q.Close();
}

QString ErrorText(std::exception_ptr e) {
    try {
        std::rethrow_exception(e);
    } catch (const std::exception& x) {
        return QStringFrom1252(x.what());
    } catch (...) {
        return QStringLiteral("unbekannter Fehler");
    }
}

} // namespace

TEditorCompletion::TEditorCompletion(TSqlEditor* editor, TOraSession& session, TRunInBackground run,
                                     std::function<std::string()> connectionKey, QObject* parent)
    : QObject(parent), editor_(editor), query_(std::make_unique<TOraQuery>(&session)), run_(std::move(run)),
      key_(std::move(connectionKey)) {
    query_->Name = "QryCompletion";
    query_->ReadOnly = true;
    query_->SetAutoCommit(false);
    model_ = new QStringListModel(this);
    completer_ = new QCompleter(model_, this);
    completer_->setObjectName("Completer");
    completer_->setCompletionMode(QCompleter::UnfilteredPopupCompletion);
    completer_->setCaseSensitivity(Qt::CaseInsensitive);
    completer_->popup()->setObjectName("CompletionList");
    completer_->popup()->setAccessibleName("Vervollst\u00E4ndigung");
    connect(completer_, qOverload<const QString&>(&QCompleter::activated), this,
            [this](const QString& name) { Insert(name); });
    editor_ = nullptr;
    SetEditor(editor);
}

void TEditorCompletion::SetEditor(TSqlEditor* editor) {
    if (editor == editor_) return;
    if (editor_) {
        completer_->popup()->hide();
        disconnect(editor_, nullptr, this, nullptr);
        editor_->CompletionPopup = nullptr;
    }
    editor_ = editor;
    completer_->setWidget(editor);
    editor->CompletionPopup = completer_->popup();
    // Each keystroke while the list is shown narrows it; a "." behind a name opens it.
    connect(editor, &QPlainTextEdit::textChanged, this, [this] {
        if (completer_->popup()->isVisible()) UpdateList();
    });
    connect(editor, &TSqlEditor::DotTyped, this, [this] { Complete(); });
}

TEditorCompletion::~TEditorCompletion() = default;

TDictionaryCache& TEditorCompletion::Cache() {
    TEntry& e = caches_[key_()];
    if (!e.cache) e.cache = std::make_shared<TDictionaryCache>();
    return *e.cache;
}

void TEditorCompletion::Adopt(std::shared_ptr<TDictionaryCache> cache) {
    caches_[key_()] = TEntry{std::move(cache), true};
}

bool TEditorCompletion::Loaded() const {
    auto it = caches_.find(key_());
    return it != caches_.end() && it->second.loaded;
}

void TEditorCompletion::Complete() {
    wanted_ = true;
    if (!Loaded()) {
        LoadDictionary();
        return;
    }
    Show();
}

void TEditorCompletion::Refresh() {
    caches_.erase(key_());
    LoadDictionary();
}

void TEditorCompletion::LoadDictionary() {
    if (loading_) return;
    auto fresh = std::make_shared<TDictionaryCache>();
    TOraQuery* q = query_.get();
    const std::string key = key_();
    loading_ = true;
    // The work builds a cache of its own; the GUI thread takes it over whole when the work is done.
    const bool started = run_(
        [q, fresh] {
            std::vector<std::vector<std::string>> owners, objects;
            ReadRows(*q, CompletionOwnersSQL(), owners, 1);
            ReadRows(*q, CompletionObjectsSQL(), objects, 3);
            std::vector<std::string> o;
            for (auto& r : owners)
                o.push_back(std::move(r[0]));
            std::vector<TDictObject> objs;
            objs.reserve(objects.size());
            for (auto& r : objects)
                objs.push_back({std::move(r[0]), std::move(r[1]), r[2] == "VIEW"});
            fresh->SetOwners(std::move(o));
            fresh->SetObjects(std::move(objs));
        },
        [this, fresh, key](std::exception_ptr e) {
            loading_ = false;
            if (e) {
                wanted_ = false;
                if (Status)
                    Status("Namen f\u00FCr die Vervollst\u00E4ndigung nicht gelesen: " + ErrorText(e));
                return;
            }
            caches_[key] = TEntry{fresh, true};
            if (wanted_ && key == key_()) Show();
        });
    if (!started) loading_ = false;
}

void TEditorCompletion::LoadColumns(const TTableRef& table) {
    if (loading_) return;
    auto cols = std::make_shared<std::vector<std::string>>();
    TOraQuery* q = query_.get();
    const std::string key = key_();
    loading_ = true;
    const bool started = run_(
        [q, cols, table] {
            std::vector<std::vector<std::string>> rows;
            ReadRows(*q, CompletionColumnsSQL(table.owner, table.table), rows, 1);
            for (auto& r : rows)
                cols->push_back(std::move(r[0]));
        },
        [this, cols, table, key](std::exception_ptr e) {
            loading_ = false;
            if (e) {
                wanted_ = false;
                if (Status) Status("Spalten nicht gelesen: " + ErrorText(e));
                return;
            }
            auto it = caches_.find(key);
            if (it == caches_.end() || !it->second.cache) return;
            it->second.cache->SetColumns(table.owner, table.table, std::move(*cols));
            if (wanted_ && key == key_()) Show();
        });
    if (!started) loading_ = false;
}

void TEditorCompletion::Show() {
    wanted_ = false;
    UpdateList();
    if (model_->rowCount() == 0) return;
    QRect r = editor_->cursorRect();
    QAbstractItemView* popup = completer_->popup();
    r.setWidth(popup->sizeHintForColumn(0) + popup->verticalScrollBar()->sizeHint().width() + 8);
    completer_->complete(r);
    popup->setCurrentIndex(model_->index(0, 0));
}

void TEditorCompletion::UpdateList() {
    auto it = caches_.find(key_());
    if (it == caches_.end() || !it->second.cache) return;
    const QTextCursor c = editor_->textCursor();
    // The word at the cursor is read from its line; the whole text only when aliases matter (after a ".").
    const std::string line = EditorBytes(c.block().text());
    TCompletionRequest req = CompletionAt(line, size_t(c.positionInBlock()));
    std::string text;
    if (!req.qualifier.empty()) {
        text = EditorBytes(editor_->toPlainText());
        req = CompletionAt(text, size_t(c.position()));
    } else {
        req.start += size_t(c.block().position());
    }
    start_ = int(req.start);
    TCompletionList list = CompletionItems(*it->second.cache, text, req);
    if (list.columnsNeeded) {
        model_->setStringList({});
        completer_->popup()->hide();
        wanted_ = true;
        LoadColumns(*list.columnsNeeded);
        return;
    }
    QStringList items;
    items.reserve(qsizetype(list.items.size()));
    for (const std::string& s : list.items)
        items << QStringFrom1252(s);
    if (items != model_->stringList()) model_->setStringList(items);
    if (items.isEmpty()) {
        completer_->popup()->hide();
    } else if (completer_->popup()->isVisible()) {
        completer_->popup()->setCurrentIndex(model_->index(0, 0));
    }
}

void TEditorCompletion::Insert(const QString& name) {
    QTextCursor c = editor_->textCursor();
    const int pos = c.position();
    if (start_ > pos) return;
    c.setPosition(start_);
    c.setPosition(pos, QTextCursor::KeepAnchor);
    c.insertText(name);
    editor_->setTextCursor(c);
}
