// The server's side of one connection of the current protocol generation: TNS packets at version 315 and
// later (four-byte lengths once accepted, data flags), markers, and the TTC byte stream with variable-length
// integers and chunked byte strings. Every length read from the peer is checked against a limit before it is
// used.
#pragma once
#include "emulator/EmuWire.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace vemu {

class ModernWire {
public:
    ModernWire(int fd, long long dropAfterBytes);
    ModernWire(const ModernWire&) = delete;
    ModernWire& operator=(const ModernWire&) = delete;

    // Until the connection is accepted packet lengths take two bytes; afterwards four.
    void SetAccepted(size_t sdu);
    size_t Sdu() const { return sdu_; }

    Packet ReadPacket(); // throws ConnectionClosed / ProtocolError
    void SendPacket(uint8_t type, const std::vector<uint8_t>& body, uint8_t flags = 0);
    void SendMarker(uint8_t value);

    // Request stream (client -> server), read across DATA packets.
    uint8_t U8();
    uint16_t U16BE();
    uint16_t U16LE();
    uint32_t UB2() { return static_cast<uint32_t>(ReadInt(2, false)); }
    uint32_t UB4() { return static_cast<uint32_t>(ReadInt(4, false)); }
    uint64_t UB8() { return static_cast<uint64_t>(ReadInt(8, false)); }
    int32_t SB4() { return static_cast<int32_t>(ReadInt(4, true)); }
    std::string Raw(size_t n);
    // Length byte, or 0xFE and chunks each with a UB4 length until a zero length; 0 and 0xFF are empty.
    std::string BytesWithLength(size_t limit);
    // What a text key or value of the logon pairs is: UB4 length then, if not zero, the bytes with length.
    bool AtRequestEnd() const { return inPos_ >= inLen_; }
    // The request must end where the parser ended: trailing bytes are a protocol error.
    void ExpectRequestEnd();
    void SkipRestOfRequest() { inPos_ = inLen_; }

    // Polls for a break marker without blocking; throws BreakReceived when one has arrived.
    void CheckBreak();
    // After a break: the break is answered, the client's reset awaited and answered.
    void ResetAfterBreak();

    // Reply stream (server -> client), buffered until Flush.
    void W8(uint8_t v) { out_.push_back(v); }
    void WBytes(const void* p, size_t n);
    void WU16BE(uint16_t v);
    void WU16LE(uint16_t v);
    void WU32BE(uint32_t v);
    void WUB4(uint64_t v); // variable length: a length byte, then the bytes, most significant first
    void WUB2(uint32_t v) { WUB4(v); }
    void WUB8(uint64_t v) { WUB4(v); }
    void WSB4(int64_t v);
    void WBytesWithLength(const void* p, size_t n);
    void WBytesWithLength(const std::string& s) { WBytesWithLength(s.data(), s.size()); }
    void WKeyValue(const std::string& key, const std::string& value, uint32_t flags = 0);
    void Flush(); // the reply as DATA packets of at most the SDU
    void DiscardReply() { out_.clear(); }
    // What has been written since the last Flush, taken out of the reply.
    std::vector<uint8_t> TakeReply() {
        std::vector<uint8_t> r;
        r.swap(out_);
        return r;
    }
    size_t ReplySize() const { return out_.size(); }

private:
    int64_t ReadInt(int maxBytes, bool isSigned);
    void Fill();
    void RecvExact(uint8_t* p, size_t n);
    void SendAll(const uint8_t* p, size_t n, bool isData);

    int fd_;
    long long dropAfter_;
    long long dataSent_ = 0;
    bool large_ = false;
    size_t sdu_ = 2048;
    std::vector<uint8_t> rbuf_;
    size_t rpos_ = 0, rlen_ = 0;
    std::vector<uint8_t> in_;
    size_t inPos_ = 0, inLen_ = 0;
    std::vector<uint8_t> out_;
};

// What a CONNECT packet of any version says (the parts the emulator needs).
struct ConnectRequest {
    uint16_t version = 0, lowest = 0;
    size_t sdu = 0;
    uint8_t naFlags0 = 0, naFlags1 = 0;
    size_t dataLength = 0; // connect data length announced
    std::string data;      // connect data, if carried in the packet
};
// Decodes a CONNECT packet (whole, header included); throws ProtocolError when it is malformed.
ConnectRequest ParseConnect(const std::vector<uint8_t>& pk);

// The value of KEY=... in a connect descriptor (first occurrence, case-insensitive key), or "".
std::string DescriptorValue(const std::string& desc, const std::string& key);

} // namespace vemu
