#include "cli/CliOptions.h"

#include <charconv>

namespace {

int ParseInt(const std::string& option, const std::string& text) {
    int v = 0;
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || ptr != text.data() + text.size())
        throw EUsageError(option + ": not a number: " + text);
    return v;
}

} // namespace

const char* CliUsage() {
    return "usage: vestra-sql [options] [USER/PASSWORD@SERVER]\n"
           "  SERVER: HOST:PORT:SID, HOST[:PORT]/SERVICE, (DESCRIPTION=...) or a tnsnames.ora alias\n"
           "  -e SQL              run a statement (repeatable)\n"
           "  -f FILE             run a script (\";\" at a line end or a \"/\" line ends a statement)\n"
           "  --encoding utf-8|cp1252     how the script is read (default: UTF-8 when it has a byte order\n"
           "                      mark or is valid UTF-8 with non-ASCII characters, else Windows-1252)\n"
           "  --param NAME=VALUE  value of a parameter marker :NAME (repeatable)\n"
           "  --format table|tsv|export   result format (table on a terminal, else tsv)\n"
           "  --sep TEXT          export separator (default |); --hex reads it as hex pairs (0D0A)\n"
           "  --no-header         export without the header line\n"
           "  --no-trim           export values untrimmed\n"
           "  --out FILE          write results to FILE (Windows-1252) instead of standard output\n"
           "  --fetch-rows N      rows per fetch (1..10000)\n"
           "  --connect-timeout S seconds the logon may take (default 20; 0: no limit)\n"
           "  --commit            commit at the end (otherwise changes are rolled back)\n"
           "  --continue          go on after a failed statement\n"
           "  --timing            elapsed time per statement on standard error\n"
           "  --format-sql        format the SQL read from standard input and print it\n"
           "  --demo              start the emulator in-process and connect as SCOTT\n"
           "  -h, --help          this text\n";
}

TCliOptions ParseCliOptions(const std::vector<std::string>& args) {
    TCliOptions o;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&]() -> const std::string& {
            if (i + 1 >= args.size()) throw EUsageError(a + " needs a value");
            return args[++i];
        };
        if (a == "-e")
            o.exec.push_back(value());
        else if (a == "-f")
            o.file = value();
        else if (a == "--encoding") {
            const std::string& e = value();
            if (e == "utf-8" || e == "utf8" || e == "UTF-8")
                o.encoding = TScriptEncoding::Utf8;
            else if (e == "cp1252" || e == "windows-1252" || e == "CP1252")
                o.encoding = TScriptEncoding::Cp1252;
            else
                throw EUsageError("--encoding: unknown encoding " + e + " (utf-8 or cp1252)");
        } else if (a == "--param") {
            const std::string& p = value();
            const size_t eq = p.find('=');
            if (eq == std::string::npos || eq == 0) throw EUsageError("--param needs NAME=VALUE: " + p);
            o.params.emplace_back(p.substr(0, eq), p.substr(eq + 1));
        } else if (a == "--format") {
            const std::string& f = value();
            if (f == "table")
                o.format = TCliOptions::FormatTable;
            else if (f == "tsv")
                o.format = TCliOptions::FormatTsv;
            else if (f == "export")
                o.format = TCliOptions::FormatExport;
            else
                throw EUsageError("--format: unknown format " + f);
        } else if (a == "--sep")
            o.sep = value();
        else if (a == "--hex")
            o.hex = true;
        else if (a == "--no-header")
            o.header = false;
        else if (a == "--no-trim")
            o.trim = false;
        else if (a == "--out")
            o.out = value();
        else if (a == "--connect-timeout") {
            o.connectTimeout = ParseInt(a, value());
            if (o.connectTimeout < 0 || o.connectTimeout > 86400)
                throw EUsageError("--connect-timeout must be 0..86400");
        } else if (a == "--fetch-rows") {
            o.fetchRows = ParseInt(a, value());
            if (o.fetchRows < 1 || o.fetchRows > 10000) throw EUsageError("--fetch-rows must be 1..10000");
        } else if (a == "--commit")
            o.commit = true;
        else if (a == "--continue")
            o.keepGoing = true;
        else if (a == "--timing")
            o.timing = true;
        else if (a == "--format-sql")
            o.formatSql = true;
        else if (a == "--demo")
            o.demo = true;
        else if (a == "-h" || a == "--help")
            o.help = true;
        else if (!a.empty() && a[0] == '-')
            throw EUsageError("unknown option " + a);
        else if (o.connect.empty())
            o.connect = a;
        else
            throw EUsageError("more than one connect string: " + a);
    }
    return o;
}

TLogon SplitConnectString(const std::string& text) {
    TLogon l;
    const size_t slash = text.find('/');
    const size_t at = text.find('@');
    if (slash != std::string::npos && (at == std::string::npos || slash < at)) {
        l.user = text.substr(0, slash);
        l.password =
            at == std::string::npos ? text.substr(slash + 1) : text.substr(slash + 1, at - slash - 1);
    } else {
        l.user = text.substr(0, at);
    }
    if (at != std::string::npos) l.server = text.substr(at + 1);
    return l;
}
