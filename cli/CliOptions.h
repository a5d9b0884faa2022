// Command-line options of vestra-sql.
#pragma once

#include "app/AnsiText.h"

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

class EUsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct TCliOptions {
    enum Format { FormatAuto, FormatTable, FormatTsv, FormatExport };

    std::string connect;                                     // USER/PASSWORD@SERVER (any server-string form)
    std::vector<std::string> exec;                           // -e, in order
    std::string file;                                        // -f
    TScriptEncoding encoding = TScriptEncoding::Auto;        // --encoding: how -f is read
    std::vector<std::pair<std::string, std::string>> params; // --param NAME=VALUE
    Format format = FormatAuto;
    std::string sep = "|";
    bool hex = false;
    bool header = true;
    bool trim = true;
    std::string out;         // --out FILE
    int fetchRows = 0;       // 0: the query's default
    int connectTimeout = 20; // seconds the logon may take; 0: no limit
    bool commit = false;
    bool timing = false;
    bool keepGoing = false; // --continue
    bool formatSql = false;
    bool demo = false;
    bool help = false;
};

// Raises EUsageError with a message naming the offending argument.
TCliOptions ParseCliOptions(const std::vector<std::string>& args);

const char* CliUsage();

// USER/PASSWORD@SERVER, split as the session splits its connect string: user before the first "/" (or "@"),
// password between "/" and "@", server after "@"; missing parts are empty.
struct TLogon {
    std::string user, password, server;
};
TLogon SplitConnectString(const std::string& text);
