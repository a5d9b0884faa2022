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

// Records the statement texts that reach the prepare entry point.
class TPrepareLog {
public:
    TPrepareLog();
    ~TPrepareLog();
    std::vector<std::string> Texts();
    std::vector<std::string> Starting(const std::string& prefix);
};

} // namespace oratest
