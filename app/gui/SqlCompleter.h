// Completion in the SQL editor (Ctrl+Space, and after a "." behind a name): owners, tables, views and columns
// from the session's dictionary, read off the GUI thread through the worksheet's background runs and kept per
// connection. Typing never waits: without the names at hand the list comes once they have been read.
#pragma once

#include <QObject>
#include <QString>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <string>

class QCompleter;
class QStringListModel;
class TDictionaryCache;
class TOraQuery;
class TOraSession;
class TSqlEditor;
struct TTableRef;

class TEditorCompletion : public QObject {
    Q_OBJECT
public:
    using TRunInBackground =
        std::function<bool(std::function<void()> work, std::function<void(std::exception_ptr)> done)>;
    // connectionKey names the session's current connection (user@server): each has its own cache. The
    // completion's query uses the session: its owner (parent) must go before the session does.
    TEditorCompletion(TSqlEditor* editor, TOraSession& session, TRunInBackground run,
                      std::function<std::string()> connectionKey, QObject* parent);
    ~TEditorCompletion() override;

    // Ctrl+Space: the list for the word at the cursor (the dictionary is read first when needed).
    void Complete();
    // Forgets the names of the current connection and reads them again.
    void Refresh();
    // Where a failed read is reported (the status line).
    std::function<void(const QString&)> Status;

    QCompleter* Completer() const { return completer_; }
    // Serves another editor from now on (the current worksheet tab's); the names stay.
    void SetEditor(TSqlEditor* editor);
    // The cache of the current connection (created empty when there is none yet); for tests and benchmarks.
    TDictionaryCache& Cache();
    // Takes a filled cache as the current connection's names (the benchmark's 100 000 tables).
    void Adopt(std::shared_ptr<TDictionaryCache> cache);
    bool Loaded() const;
    // Recomputes the list while it is shown (each keystroke); public for the benchmark.
    void UpdateList();

private:
    void LoadDictionary();
    void LoadColumns(const TTableRef& table);
    void Insert(const QString& name);
    void Show();

    TSqlEditor* editor_;
    std::unique_ptr<TOraQuery> query_;
    TRunInBackground run_;
    std::function<std::string()> key_;
    struct TEntry {
        std::shared_ptr<TDictionaryCache> cache;
        bool loaded = false;
    };
    std::map<std::string, TEntry> caches_;
    bool loading_ = false;
    bool wanted_ = false; // the user asked for a list that waits for the dictionary
    QCompleter* completer_;
    QStringListModel* model_;
    int start_ = 0; // where the completed word starts
};
