// A script run statement by statement in the worksheet: which statement comes next, the log line of each
// one that ran, whether the script goes on after an error, and the closing line. Texts are Windows-1252.
#pragma once

#include "app/StatementSplitter.h"

#include <string>
#include <vector>

struct TScriptStepResult {
    bool ok = false;
    int rowsAffected = -1; // -1 after a query
    std::string error;     // the error's message when !ok
    double seconds = 0;    // the statement's time
};

// "[2/5] select * from emp: OK (0,12 s)", "... : 3 Datensätze verarbeitet! (0,01 s)", "...: Fehler: ORA-..."
std::string ScriptLogLine(size_t number, size_t count, const std::string& statement,
                          const TScriptStepResult& r);

// Seconds in the German form with two decimals: "1,23 s".
std::string SecondsText(double seconds);

class TScriptProgress {
public:
    TScriptProgress(std::vector<TSqlStatement> statements, bool continueOnError);

    // The next statement to run; nullptr once the script is over.
    const TSqlStatement* Next();
    // The log line of the statement Next gave last; after an error without continueOnError the script is
    // over.
    std::string Record(const TScriptStepResult& r);
    // The user's Stop, or a cancelled parameter dialog: no further statement runs.
    void Stop() { stopped_ = true; }
    bool Over() const;
    size_t Count() const { return statements_.size(); }
    size_t Ran() const { return ran_; }
    size_t Errors() const { return errors_; }
    // The closing line: "Skript beendet: 5 Anweisungen, 1 Fehler (1,23 s)", "Skript nach einem Fehler
    // beendet: 2 von 5 Anweisungen ausgeführt", "Skript abgebrochen: 2 von 5 Anweisungen ausgeführt".
    std::string Summary() const;

private:
    std::vector<TSqlStatement> statements_;
    bool continueOnError_;
    size_t next_ = 0, ran_ = 0, errors_ = 0;
    double seconds_ = 0;
    bool stopped_ = false, failed_ = false;
};
