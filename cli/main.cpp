// vestra-sql: the headless worksheet.
#include "app/AnsiText.h"
#include "app/History.h"
#include "app/SelectParser.h"
#include "cli/CliOptions.h"
#include "cli/ScriptReader.h"
#include "cli/SqlRunner.h"
#include "dataset/Cp1252.h"
#include "dataset/Platform.h"
#include "emulator/EmuServer.h"

#include <cstdio>
#include <iostream>
#include <iterator>
#include <malloc.h>
#include <memory>
#include <string>
#include <termios.h>
#include <unistd.h>

namespace {

bool StdinIsTerminal() {
    return ::isatty(STDIN_FILENO) == 1;
}

const char kNotRun[] = "Die Anweisung wurde nicht ausgef\xC3\xBChrt.";

// Input is UTF-8 (terminal, command line, standard input); the core takes Windows-1252. A character that
// Windows-1252 lacks is refused with a message naming it (never sent as "?"): false then.
bool InputToAnsi(const std::string& utf8, std::string& text1252, const char* where, const std::string& what,
                 int firstLine = 1) {
    std::string message;
    if (Utf8ToAnsi(utf8, text1252, message, what, firstLine)) return true;
    std::fprintf(stderr, "vestra-sql: %s: %s\n", where, message.c_str());
    return false;
}

// Reads one line from the terminal as it comes (UTF-8); false at the end of input.
bool ReadRawLine(const std::string& prompt, std::string& line, bool echo = true) {
    std::fputs(prompt.c_str(), stderr);
    std::fflush(stderr);
    termios saved{};
    const bool hide = !echo && ::tcgetattr(STDIN_FILENO, &saved) == 0;
    if (hide) {
        termios quiet = saved;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
    }
    const bool ok = bool(std::getline(std::cin, line));
    if (hide) {
        ::tcsetattr(STDIN_FILENO, TCSANOW, &saved);
        std::fputs("\n", stderr);
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return ok;
}

// The same in Windows-1252; false at the end of input and for a line holding what Windows-1252 lacks.
bool ReadLine(const std::string& prompt, std::string& line, bool echo = true) {
    std::string raw;
    if (!ReadRawLine(prompt, raw, echo)) return false;
    return InputToAnsi(raw, line, "Eingabe", "");
}

std::string DefaultServer() {
    char host[256] = "localhost";
    ::gethostname(host, sizeof host - 1);
    return std::string(host) + ":1521:bnx";
}

// Asks for the logon data on the terminal, with the worksheet's stored defaults.
bool AskLogon(TLogon& logon) {
    std::string line;
    if (logon.user.empty()) {
        if (!ReadLine("Benutzername [system]: ", line)) return false;
        logon.user = line.empty() ? "system" : line;
    }
    if (logon.password.empty()) {
        if (!ReadLine("Kennwort: ", line, false)) return false;
        logon.password = line.empty() && logon.user == "system" ? "manager" : line;
    }
    if (logon.server.empty()) {
        const std::string def = DefaultServer();
        if (!ReadLine("Host-Zeichenfolge [" + def + "]: ", line)) return false;
        logon.server = line.empty() ? def : line;
    }
    return true;
}

int FormatSql() {
    std::string input((std::istreambuf_iterator<char>(std::cin)), std::istreambuf_iterator<char>());
    std::string input1252;
    if (!InputToAnsi(input, input1252, "Eingabe", "Es wurde nichts formatiert.")) return 1;
    try {
        const std::string text = cp1252::ToUtf8(TSelectParser().FormatStatement(input1252));
        std::fwrite(text.data(), 1, text.size(), stdout);
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", cp1252::ToUtf8(e.what()).c_str());
        return 1;
    }
}

} // namespace

int main(int argc, char** argv) {
    // Results are large and short-lived: memory a closed result gives back stays with the process for the
    // next one rather than going back to the system (shrinking the heap flushes the TLB, growing it again
    // faults every page in anew).
    mallopt(M_TRIM_THRESHOLD, 512 << 20);
    platform::InitLocaleFromEnvironment();
    TCliOptions opt;
    try {
        opt = ParseCliOptions(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const EUsageError& e) {
        std::fprintf(stderr, "vestra-sql: %s\n%s", e.what(), CliUsage());
        return 2;
    }
    if (opt.help) {
        std::fputs(CliUsage(), stdout);
        return 0;
    }
    if (opt.formatSql) return FormatSql();

    std::unique_ptr<vemu::EmuServer> demo;
    std::string connect1252;
    if (!InputToAnsi(opt.connect, connect1252, "Anmeldedaten", "")) return 2;
    TLogon logon = SplitConnectString(connect1252);
    try {
        if (opt.demo) {
            demo = std::make_unique<vemu::EmuServer>(vemu::EmuOptions{});
            demo->Start();
            logon = {"SCOTT", "tiger", "127.0.0.1:" + std::to_string(demo->Port()) + ":bnx"};
            std::fprintf(stderr, "Demo-Datenbank auf 127.0.0.1:%u, angemeldet als SCOTT\n",
                         unsigned(demo->Port()));
        } else if (logon.user.empty() || logon.password.empty() || logon.server.empty()) {
            if (!StdinIsTerminal()) {
                std::fprintf(stderr,
                             "vestra-sql: no connect string (USER/PASSWORD@SERVER) and no terminal\n");
                return 2;
            }
            if (!AskLogon(logon)) return 2;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vestra-sql: %s\n", e.what());
        return 2;
    }

    const bool interactive = StdinIsTerminal();
    TSqlRunner runner(opt, stdout, stderr);
    runner.TerminalOutput = ::isatty(STDOUT_FILENO) == 1 && opt.out.empty();
    runner.AskParam = [interactive](const std::string& name, std::string& value) {
        return interactive && ReadLine(cp1252::ToUtf8("Wert f\xFCr :" + name + ": "), value);
    };
    try {
        runner.Connect(logon.user, logon.password, logon.server);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", cp1252::ToUtf8(e.what()).c_str());
        return 2;
    }

    bool stop = false;
    int inputFailures = 0;
    auto refused = [&] {
        ++inputFailures;
        if (!opt.keepGoing) stop = true;
    };
    auto runAll = [&](const std::vector<std::string>& statements) {
        for (const std::string& s : statements) {
            if (stop) return;
            if (!runner.Run(s) && !opt.keepGoing) stop = true;
        }
    };
    if (!opt.exec.empty() || !opt.file.empty()) {
        for (const std::string& e : opt.exec) {
            if (stop) break;
            std::string text;
            if (InputToAnsi(e, text, "-e", kNotRun))
                runAll(TScriptReader::SplitScript(text));
            else
                refused();
        }
        if (!opt.file.empty() && !stop) {
            try {
                // Windows-1252 unless the script is UTF-8 (its byte order mark, or valid UTF-8 beyond ASCII)
                // or --encoding says otherwise.
                std::string text, message;
                if (DecodeScript(ReadWholeFile(opt.file), opt.encoding, text, message,
                                 "Das Skript wurde nicht ausgef\xC3\xBChrt."))
                    runAll(TScriptReader::SplitScript(text));
                else {
                    std::fprintf(stderr, "vestra-sql: %s: %s\n", opt.file.c_str(), message.c_str());
                    ++inputFailures;
                    stop = true;
                }
            } catch (const std::exception& e) {
                std::fprintf(stderr, "%s\n", cp1252::ToUtf8(e.what()).c_str());
                stop = true;
            }
        }
    } else {
        TScriptReader reader;
        std::string raw, line;
        int lineNo = 0;
        while (!stop) {
            const std::string prompt = !interactive ? "" : reader.Pending() ? "  > " : "SQL> ";
            if (interactive) {
                if (!ReadRawLine(prompt, raw)) break;
            } else {
                if (!std::getline(std::cin, raw)) break;
                if (!raw.empty() && raw.back() == '\r') raw.pop_back();
            }
            ++lineNo;
            if (!InputToAnsi(raw, line, interactive ? "Eingabe" : "Standardeingabe", kNotRun,
                             interactive ? 1 : lineNo)) {
                // The statement begun so far goes with the line: never a part of it sent without the rest.
                reader = TScriptReader();
                if (interactive)
                    ++inputFailures;
                else
                    refused();
                continue;
            }
            if (reader.AddLine(line) && !runner.Run(reader.Take()) && !opt.keepGoing && !interactive)
                stop = true;
        }
        if (!stop && reader.Finish()) runner.Run(reader.Take());
        if (interactive) std::fputs("\n", stderr);
    }
    runner.Finish();
    return runner.Failures() || inputFailures ? 1 : 0;
}
