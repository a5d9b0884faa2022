// TNS of the current generation (version 315 and later): the CONNECT packet that both generations of
// listener understand, the listener's answers, and the packet layer after the ACCEPT: 4-byte packet
// lengths, a session data unit far above the classic 2048 bytes, data flags and markers.
//
// How one CONNECT serves both generations: the packet offers version 319 and names 300 as the lowest
// version it still speaks. A classic listener answers with an ACCEPT of its own version (below 315) and
// reads only the classic part of the packet: the 2-byte unit sizes, which keep the classic 2048/32767, and
// the connect data, found through its offset field. A current listener takes the 4-byte unit sizes behind
// the classic fields and answers 315 or later. The version in the ACCEPT decides the generation of the
// whole connection.
#pragma once

#include "oranet/NetSocket.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace oranet {

enum : uint16_t {
    tnsVersionOffered = 319,
    tnsVersionLowest = 300,
    tnsVersionCurrent = 315,       // from here: 4-byte lengths and the large session data unit
    tnsVersionDataFlags = 318,     // the ACCEPT carries the 4-byte flags2
    tnsVersionEndOfResponse = 319, // requests may be marked with the end-of-request data flag
};

// DATA packet flags.
enum : uint16_t { dataFlagEndOfFile = 0x0040, dataFlagEndOfRequest = 0x2000 };

// Packet header flags around connection establishment.
enum : uint8_t {
    pfRedirectSeparated = 0x02, // REDIRECT: address, a zero byte, then the connect data to send
    pfRedirected = 0x04,        // CONNECT: sent after a redirect
};

// Connect flags (bytes 32 and 33 of the CONNECT, 22 and 23 of the ACCEPT).
enum : uint8_t { naDisabledForConnection = 0x04, naNoServices = 0x08 };

constexpr int CurrentConnectHeader = 74;  // the CONNECT's fields before the connect data
constexpr int MaxInlineConnectData = 230; // longer connect data follows in a DATA packet of its own
constexpr uint32_t OfferedLargeSdu = 65535;
constexpr uint32_t OfferedLargeTdu = 65535;
constexpr uint32_t SmallestSdu = 512; // below this a listener's answer is not believed

// What the listener's ACCEPT says.
struct TAcceptInfo {
    uint16_t version = 0;
    uint16_t options = 0;
    uint32_t sdu = 0;
    uint32_t tdu = 0;
    uint8_t flags0 = 0;
    uint8_t flags1 = 0;
    uint32_t flags2 = 0;
    bool Current() const { return version >= tnsVersionCurrent; }
    // The listener does without the network-services exchange.
    bool NoNetServices() const { return (flags1 & naNoServices) || (flags0 & naDisabledForConnection); }
    bool EndOfRequest() const { return version >= tnsVersionEndOfResponse && (flags2 & 0x02000000u); }
};

// Writes the CONNECT packet for both generations into buf (capacity cap, zero-filled first) and returns its
// length. Connect data longer than MaxInlineConnectData is announced but not put inline: the caller sends it
// in a DATA packet right behind. Fails when the packet does not fit.
int WriteDualConnect(uint8_t* buf, int cap, std::string_view connectData, uint8_t packetFlags = 0);

// Reads an ACCEPT packet (header included); fails with "Malformed ACCEPT packet" when it is shorter than its
// version needs or names a unit size below SmallestSdu.
TAcceptInfo ParseAccept(const uint8_t* packet, int length);

// The text of a REFUSE packet (header included), empty when it has none; and the error number it names
// ("(ERR=12514)"), 0 when none.
std::string RefuseText(const uint8_t* packet, int length);
int RefuseErrorNumber(std::string_view text);

// The packet layer after a current ACCEPT: every header carries a 4-byte length, packets may be as long as
// the negotiated unit. Owns no socket.
class TTnsLink {
public:
    struct TPacket {
        uint8_t type = 0;
        uint8_t flags = 0;
        std::vector<uint8_t> bytes; // the whole packet, header included
    };

    // pending: bytes received behind the ACCEPT, read before the socket.
    TTnsLink(TWinSocket& socket, const TAcceptInfo& accept, std::string_view pending = {});

    // Sends payload in DATA packets of at most the unit's size; the last one carries lastFlags.
    void SendData(const uint8_t* payload, size_t count, uint16_t lastFlags = 0);
    // Reads one packet and checks its header: type 20 or higher 204, longer than the unit 203, shorter than
    // its header 207. The packet is valid until the next read.
    const TPacket& ReadPacket();
    // The payload of the next DATA packet (data flags removed into dataFlags); markers met on the way are
    // answered as on the classic path (a reset, then everything up to the server's reset is dropped).
    std::string_view ReadData(uint16_t& dataFlags);
    // The 11-byte marker with a 4-byte length; its own image, so a break may come from another thread.
    void SendMarker(uint8_t value);

    uint32_t Sdu() const { return sdu_; }
    bool EndOfRequest() const { return endOfRequest_; }

private:
    void ReceiveExact(uint8_t* dest, size_t count);

    TWinSocket& socket_;
    uint32_t sdu_;
    bool endOfRequest_;
    std::string pending_;
    size_t pendingPos_ = 0;
    TPacket packet_;
};

} // namespace oranet
