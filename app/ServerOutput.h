// DBMS_OUTPUT for the worksheet: while it is wanted, the session's buffer is switched on before the next
// statement, and after each statement the lines it wrote are fetched (DBMS_OUTPUT.GET_LINES, a batch of
// lines per round trip). The statement and the fetch run on the worksheet's run thread; the GUI thread sets
// what it wants and takes the lines. Nothing here knows Qt.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class TOraSession;
class TOraSQL;

class TServerOutput {
public:
    explicit TServerOutput(TOraSession& sess);
    ~TServerOutput();

    // The user's toggle (GUI thread); the server follows before the next statement.
    void SetWanted(bool on) { wanted_ = on; }
    bool Wanted() const { return wanted_; }
    // After a new logon the server's buffer is off again.
    void SessionChanged();

    // On the statement's thread: switches the buffer as wanted, runs the statement, then fetches what it
    // wrote, also after a failure (whose error then passes on).
    void Around(const std::function<void()>& statement);
    // The lines fetched since the last call (Windows-1252), oldest first.
    std::vector<std::string> TakeLines();

    // Lines per round trip.
    int BatchLines = 100;
    // The fetch: up to :MAXLINES lines joined by line feeds into :LINES, their number in :NUMLINES; a line
    // that no longer fits the 32767 bytes of :LINES comes back alone in :REST.
    static const char* const kFetchBlock;

private:
    void Sync();
    void Fetch();

    TOraSession& sess_;
    std::unique_ptr<TOraSQL> sql_;
    std::atomic<bool> wanted_{false};
    std::mutex mutex_; // the lines and the server's state, between the run thread and the GUI thread
    bool serverOn_ = false;
    std::vector<std::string> lines_;
};

// Splits the joined text of one fetch into lines and adds the line that did not fit (when there is one).
void AppendFetchedLines(const std::string& joined, const std::string* rest, std::vector<std::string>& out);
