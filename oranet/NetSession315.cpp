// The session of a connection whose listener answered with a current ACCEPT.
#include "oranet/NetAno.h"
#include "oranet/NetHandles.h"
#include "oranet/NetTns315.h"

#include <openssl/rand.h>

#include <stdexcept>

namespace oranet {

void TNetConnection::BeginCurrentSession(const TAcceptInfo& accepted) {
    link = std::make_unique<TTnsLink>(transport->Socket(), accepted, transport->TakeReceived());
    if (!accepted.NoNetServices()) {
        uint8_t id[8];
        if (RAND_bytes(id, sizeof id) != 1) throw std::runtime_error("No random bytes for the connection id");
        std::vector<uint8_t> request = BuildAnoRequest(id);
        link->SendData(request.data(), request.size());
        uint16_t flags = 0;
        CheckAnoReply(link->ReadData(flags));
    }
    // The TTC exchange of this generation (protocol and data-type negotiation, O5LOGON) is not built yet.
    throw std::runtime_error("Logon over the current Oracle protocol (TNS " +
                             std::to_string(accepted.version) + ") is not available yet");
}

} // namespace oranet
