// What the emulator's listener answers to the connect data of a CONNECT: the SID or service it serves, or
// the refusal a real listener sends for one it does not know.
#pragma once

#include "emulator/EmuServer.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vemu {

// 0 when the connect data names the served SID or a served service; 12505 for another SID, 12514 for
// another service. Services compare case-insensitively, as the listener's do; the SID's own name is a
// service too.
int ListenerRefusal(const std::string& descriptor, const EmuOptions& o);

// The REFUSE packet's body for that error: reasons, the length and the listener's text.
std::vector<uint8_t> ListenerRefuseBody(int error);

} // namespace vemu
