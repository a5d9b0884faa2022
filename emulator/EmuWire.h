// The server's side of one TNS connection: packet framing, markers, and the TTC byte stream over DATA packets
// (primitive readers for what the client sends, primitive writers for what the server answers).
#pragma once
#include <atomic>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace vemu {

// The peer broke the protocol; the connection is closed.
struct ProtocolError : std::runtime_error {
    using std::runtime_error::runtime_error;
};
// The peer went away (or the drop-after-bytes hook cut the line).
struct ConnectionClosed : std::runtime_error {
    using std::runtime_error::runtime_error;
};
// A break marker arrived during a call.
struct BreakReceived {};

// Socket reading and writing both protocol generations share. RecvExact fills p with n bytes through the
// read buffer buf (pos and len say what of it is unread); SendAll sends n bytes, and of DATA bytes at most
// dropAfter in all (the test hook; negative: no bound), counted in dataSent, then cuts the line. Both throw
// ConnectionClosed when the peer is gone.
void RecvExactThrough(int fd, std::vector<uint8_t>& buf, size_t& pos, size_t& len, uint8_t* p, size_t n);
void SendAllCounted(int fd, const uint8_t* p, size_t n, bool isData, long long dropAfter,
                    long long& dataSent);

enum TnsType : uint8_t {
    kTnsConnect = 1,
    kTnsAccept = 2,
    kTnsRefuse = 4,
    kTnsRedirect = 5,
    kTnsData = 6,
    kTnsResend = 11,
    kTnsMarker = 12,
};

struct Packet {
    uint8_t type = 0;
    std::vector<uint8_t> data; // whole packet, header included
};

class Wire {
public:
    Wire(int fd, long long dropAfterBytes);
    ~Wire();
    Wire(const Wire&) = delete;
    Wire& operator=(const Wire&) = delete;

    // Packets.
    Packet ReadPacket(); // throws ConnectionClosed / ProtocolError
    void SendPacket(uint8_t type, const std::vector<uint8_t>& body); // body = bytes after the 8-byte header
    void SendMarker(uint8_t value);
    void SetMaxPacket(size_t n) { maxPacket_ = n < 64 ? 64 : (n > out_.size() ? out_.size() : n); }
    size_t MaxPacket() const { return maxPacket_; }

    // Request stream (client -> server).
    uint8_t U8();
    uint8_t Peek();
    uint32_t UB2();
    uint32_t UB4();
    int32_t SB4() { return static_cast<int32_t>(UB4()); }
    std::string Clr(); // byte string: length byte, or 0xFE chunks 0x00
    std::string Raw(size_t n);
    bool AtPacketEnd() const { return inPos_ >= inLen_; }
    void DiscardCurrentPacket() { inPos_ = inLen_; }
    bool EndOfFileSeen() const { return eofSeen_; }
    // Polls for a break marker without blocking; throws BreakReceived when one has arrived.
    void CheckBreak();
    // After a break: exchange the reset markers with the client (the pending reply is discarded).
    void ResetAfterBreak();
    // Where the breaks that arrive between calls are counted (none: not counted).
    void CountIdleBreaks(std::atomic<long long>* counter) { idleBreaks_ = counter; }

    // Reply stream (server -> client).
    bool variableInts = false; // after the data-type negotiation integers are variable-length
    void W8(uint8_t v) {
        if (capture_) {
            capture_->push_back(v);
            return;
        }
        if (outLen_ == maxPacket_) FlushPacket(0);
        out_[outLen_++] = v;
    }
    // While a capture buffer is set, what is written goes there instead of into the reply.
    void SetCapture(std::vector<uint8_t>* buffer) { capture_ = buffer; }
    bool Capturing() const { return capture_ != nullptr; }
    void WBytes(const void* p, size_t n);
    void WUB2(int32_t v);
    void WUB4(int64_t v);
    void WFixed2LE(uint16_t v); // before negotiation: two bytes, least significant first
    void WFixed2BE(uint16_t v);
    void WClr(const void* p, size_t n); // value: length byte or chunked
    void WClr(const std::string& s) { WClr(s.data(), s.size()); }
    void Flush(); // sends what is pending as the last packet of the reply
    long long BytesSent() const { return dataSent_; }

    int Fd() const { return fd_; }

private:
    void Fill(); // next DATA packet into the input
    void RecvExact(uint8_t* p, size_t n);
    void FlushPacket(uint16_t flags);
    void SendAll(const uint8_t* p, size_t n, bool isData);

    int fd_;
    long long dropAfter_;
    long long dataSent_ = 0;
    size_t maxPacket_ = 2048;
    std::vector<uint8_t>* capture_ = nullptr;
    // socket input buffer
    std::vector<uint8_t> rbuf_;
    size_t rpos_ = 0, rlen_ = 0;
    // current DATA packet being read
    std::vector<uint8_t> in_;
    size_t inPos_ = 0, inLen_ = 0;
    bool eofSeen_ = false;
    std::atomic<long long>* idleBreaks_ = nullptr;
    // reply packet being built
    std::vector<uint8_t> out_;
    size_t outLen_ = 10;
    std::vector<uint8_t> pending_; // finished DATA packets, sent together (fewer system calls per reply)
    void SendPending();
};

} // namespace vemu
