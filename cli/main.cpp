// vestra-sql: the headless worksheet.
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

// Reads one line from the terminal (UTF-8) and returns it in Windows-1252; false at the end of input.
bool ReadLine(const std::string& prompt, std::string& line, bool echo = true) {
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
    line = cp1252::FromUtf8(line);
    return ok;
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
    try {
        const std::string text = cp1252::ToUtf8(TSelectParser().FormatStatement(cp1252::FromUtf8(input)));
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
    TLogon logon = SplitConnectString(cp1252::FromUtf8(opt.connect));
    try {
        if (opt.demo) {
            demo = std::make_unique<vemu::EmuServer>(vemu::EmuOptions{});
            demo->Start();
            logon = {"SCOTT", "TIGER", "127.0.0.1:" + std::to_string(demo->Port()) + ":bnx"};
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
    auto runAll = [&](const std::vector<std::string>& statements) {
        for (const std::string& s : statements) {
            if (stop) return;
            if (!runner.Run(s) && !opt.keepGoing) stop = true;
        }
    };
    if (!opt.exec.empty() || !opt.file.empty()) {
        for (const std::string& e : opt.exec)
            runAll(TScriptReader::SplitScript(cp1252::FromUtf8(e)));
        if (!opt.file.empty() && !stop) {
            try {
                runAll(TScriptReader::SplitScript(ReadWholeFile(opt.file))); // scripts are Windows-1252 files
            } catch (const std::exception& e) {
                std::fprintf(stderr, "%s\n", cp1252::ToUtf8(e.what()).c_str());
                stop = true;
            }
        }
    } else {
        TScriptReader reader;
        std::string line;
        while (!stop) {
            const std::string prompt = !interactive ? "" : reader.Pending() ? "  > " : "SQL> ";
            if (interactive) {
                if (!ReadLine(prompt, line)) break;
            } else {
                if (!std::getline(std::cin, line)) break;
                if (!line.empty() && line.back() == '\r') line.pop_back();
                line = cp1252::FromUtf8(line);
            }
            if (reader.AddLine(line) && !runner.Run(reader.Take()) && !opt.keepGoing && !interactive)
                stop = true;
        }
        if (!stop && reader.Finish()) runner.Run(reader.Take());
        if (interactive) std::fputs("\n", stderr);
    }
    runner.Finish();
    return runner.Failures() ? 1 : 0;
}
