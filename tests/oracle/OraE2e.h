// Shared rig of the end-to-end tests: an in-process emulator on a free loopback port and a network-mode
// session configured like the worksheet's.
#pragma once

#include "emulator/EmuServer.h"
#include "oracle/Ora.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace oratest {

struct TEmu {
    vemu::EmuServer emu;
    explicit TEmu(vemu::EmuOptions o = {}) : emu(std::move(o)) { emu.Start(); }
    std::string Server() const { return "127.0.0.1:" + std::to_string(emu.Port()) + ":bnx"; }
};

// A session with the worksheet's options (no connect prompt, network mode).
inline std::unique_ptr<TOraSession> MakeSession(const TEmu& emu, const std::string& user = "scott",
                                                const std::string& password = "tiger", bool german = true) {
    auto s = std::make_unique<TOraSession>();
    s->ConnectPrompt = false;
    s->Options().SetNet(true);
    if (german) {
        s->Options().SetDateFormat("DD.MM.YYYY");
        s->Options().SetDateLanguage("German");
    }
    s->SetUsername(user);
    s->SetPassword(password);
    s->SetServer(emu.Server());
    return s;
}

// An emulator and a connected session, with one-line helpers for statements and single values.
struct TRig {
    TEmu emu;
    std::unique_ptr<TOraSession> s;
    explicit TRig(vemu::EmuOptions o = {}) : emu(std::move(o)) {
        s = MakeSession(emu);
        s->Connect();
    }
    void Exec(const std::string& text, TOraSession* on = nullptr) {
        TOraSQL sql(on ? on : s.get());
        sql.SetSQL(text);
        sql.Execute();
    }
    // The first column of the first row, as text.
    std::string One(const std::string& sql, TOraSession* on = nullptr) {
        TOraQuery q(on ? on : s.get());
        q.SetSQL(sql);
        q.Open();
        return q.Fields(0)->AsString();
    }
};

// Records the statement texts that reach the prepare entry point.
class TPrepareLog {
public:
    TPrepareLog();
    ~TPrepareLog();
    std::vector<std::string> Texts();
    std::vector<std::string> Starting(const std::string& prefix);
};

} // namespace oratest
