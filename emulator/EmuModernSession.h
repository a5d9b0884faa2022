// One client connection of the current protocol generation: TNS 315+ CONNECT/ACCEPT, TTC protocol and
// data-type negotiation, the O5LOGON with AES session keys, and the calls of a 19c server.
#pragma once
#include "emulator/EmuEngine.h"
#include "emulator/EmuSession.h"
#include "emulator/EmuTns315.h"

#include <map>
#include <memory>
#include <string>

namespace vemu {

class O5Logon;

// Whether a connection whose CONNECT packet announces this TNS version is served by the current generation.
bool ServeCurrentGeneration(const EmuOptions& o, uint16_t connectVersion);

class ModernSession {
public:
    ModernSession(int fd, EmuDatabase& db, ServerHooks& hooks);
    ~ModernSession();
    ModernSession(const ModernSession&) = delete;
    ModernSession& operator=(const ModernSession&) = delete;
    void Run(); // until the client leaves or breaks the protocol

private:
    bool Connect();
    void Refuse(int code);
    void Protocol();
    void DataTypes();
    void AuthPhaseOne();
    void AuthPhaseTwo();
    void Piggyback();
    void Function(uint8_t fn);
    struct LogonRequest {
        std::string user;
        uint32_t mode = 0;
        std::map<std::string, std::pair<std::string, uint32_t>> pairs; // key -> value, flags
    };
    LogonRequest ReadLogonRequest(bool phaseOne);
    void WriteParameters(const std::vector<std::pair<std::string, std::pair<std::string, uint32_t>>>& params);
    // The end of every call: the error-information message (code 0 for success).
    void WriteCallEnd(const OraError& e, long long rowCount = 0, int cursorId = 0);
    uint32_t CallStatus() const;

    ModernWire w_;
    EmuDatabase& db_;
    const EmuOptions& opts_;
    ServerHooks& hooks_;
    std::string clientCompileCaps_;
    bool negotiated_ = false;
    std::unique_ptr<O5Logon> logon_;
    std::string logonUser_;
    bool knownUser_ = false;
    bool loggedOn_ = false;
    SessionInfo info_;
    int sid_ = 0;
    std::unique_ptr<EmuEngine> eng_;
};

} // namespace vemu
