// The worksheet's statement handling that needs no window: worksheet commands rewritten into catalog queries,
// and the status texts.
#pragma once

#include <string>

// Removes every character of code 32 or less (blanks, tabs, line breaks) at both ends.
std::string TrimWorksheetText(const std::string& text);

struct TPreparedStatement {
    // The SQL handed to the worksheet query: the editor's text, or the catalog query of a worksheet command.
    std::string sql;
    // For SHOW PARAMETER: the generated SQL followed by a line break, shown to the user before executing.
    std::string message;
    enum Kind { Plain, Desc, ShowUser, ShowParameter } kind = Plain;
};

// Rewrites DESC, SHOW USER and SHOW PARAMETER; any other text is passed on unchanged (an empty editor too).
TPreparedStatement PrepareWorksheetStatement(const std::string& editorText);

// True for a text that opens a result: a query (SELECT, WITH, or a parenthesis first, comments skipped) or a
// worksheet command. Text the lexer cannot read counts as no query.
bool IsQueryText(const std::string& text1252);

// "OK" after a statement that opened a result (rows affected -1), else "%d Datensätze verarbeitet!".
std::string StatusTextFor(int rowsAffected);
// What the status line adds when a result holds values shown with substitutes for characters Windows-1252
// lacks: " \x96 3 Werte mit Zeichen au\xDFerhalb von Windows-1252 (als ? angezeigt)"; empty for none.
std::string SubstitutedValuesNote(unsigned values);
// The same without the dash: "3 Werte mit Zeichen au\xDFerhalb von Windows-1252 (als ? angezeigt)".
std::string SubstitutedValuesText(unsigned values);

// Texts the worksheet writes to its status line (Windows-1252).
extern const char* const kStatusBusy;         // "..."
extern const char* const kStatusCommitDone;   // "COMMIT ausgeführt!"
extern const char* const kStatusRollbackDone; // "ROLLBACK ausgeführt!"
extern const char* const kAskCommit;          // "COMMIT ausführen?"
extern const char* const kAskRollback;        // "ROLLBACK ausführen?"
