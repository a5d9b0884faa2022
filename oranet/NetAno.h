// The network-services negotiation of the current TNS generation: right after the ACCEPT, unless the
// listener waived it, the client lists the services it brings (authentication, encryption, data integrity,
// under a supervisor) and the server answers per service. Vestra brings none: a server that merely accepts
// encryption goes on without it, one that requires it ends the logon with a clear message.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace oranet {

enum : uint16_t { anoAuthentication = 1, anoEncryption = 2, anoDataIntegrity = 3, anoSupervisor = 4 };

// The request: no encryption or integrity algorithm, no authentication adapter. connectionId: 8 bytes.
std::vector<uint8_t> BuildAnoRequest(const uint8_t connectionId[8]);

// Checks the server's answer (the DATA payload, data flags removed). Fails with "native network encryption
// not supported" (and the server's error number) when the server requires or switched on encryption or
// integrity checking, with "Malformed network services answer" for bytes that do not parse.
void CheckAnoReply(std::string_view reply);

} // namespace oranet
