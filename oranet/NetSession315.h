// A connection of the current protocol generation after its ACCEPT: the network-services exchange, the TTC
// protocol and data-type negotiation, the O5LOGON, and the calls without a cursor (commit, rollback, ping,
// logoff). Each call is a function message; its reply ends with the error-information message (or a status
// message), which carries the Oracle error number, its text, the error offset and the row count.
#pragma once

#include "oranet/NetHandles.h"
#include "oranet/NetO5Logon.h"
#include "oranet/NetTns315.h"
#include "oranet/NetTtc.h"

#include <cstdint>
#include <functional>
#include <string>

namespace oranet {

// The end of a call as the server reports it.
struct TCallEnd {
    uint32_t code = 0;   // Oracle error number, 0 for success
    std::string message; // the server's text, without its line end
    int32_t offset = -1; // error position in the statement text
    uint64_t rows = 0;   // rows processed
    uint16_t cursor = 0; // cursor id
    uint32_t callStatus = 0;
    uint16_t warningCode = 0;
    std::string warning;
};

// What the logon tells about the server.
struct TServerFacts {
    uint8_t ttcVersion = 0;
    std::string banner;
    uint16_t charset = 0;
    uint16_t ncharset = 0;
    uint8_t fieldVersion = 0;   // the lower of the server's and ours
    uint32_t versionNumber = 0; // AUTH_VERSION_NO
    uint32_t maxString = 4000;
    std::string sessionId;
    std::string serialNumber;
};

class TCurrentSession {
public:
    // The TTC field version this client speaks (19.1 with its first extension).
    static constexpr uint8_t FieldVersion = 13;

    TCurrentSession(TWinSocket& socket, const TAcceptInfo& accepted, std::string_view pending);

    void NetServices();
    void Negotiate();
    // Both logon phases. user and password: UTF-8. A wrong password or any other refusal comes back as the
    // call end with its code; a logon the server accepts with a warning (ORA-28002) has the warning set.
    TCallEnd Logon(const std::string& user, const std::string& password, const TClientInfo& client);
    // A function without arguments: commit, rollback, ping, logoff.
    TCallEnd Simple(uint8_t function);
    // Ends the TNS connection after the logoff: a DATA packet marked end of file.
    void Disconnect();
    bool Break();

    const TServerFacts& Server() const { return server_; }
    // Where the logon's random bytes come from; tests put fixed bytes here.
    TRandomFill random = OpenSslRandom;
    TTnsLink& Link() { return link_; }

private:
    using TParameterSink =
        std::function<void(const std::string& key, const std::string& value, uint32_t flags)>;
    void Send();
    void FunctionHeader(uint8_t function);
    // Reads messages up to the end of the reply; parameter messages go to sink (refused when there is none).
    TCallEnd ReadReply(const TParameterSink& sink = nullptr);
    void ReadErrorInfo(TCallEnd& end);
    void ReadServerPiggyback();

    TTnsLink link_;
    TTtcWriter out_;
    TTtcReader in_;
    uint8_t sequence_ = 1;
    TServerFacts server_;
};

} // namespace oranet
