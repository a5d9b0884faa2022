// The TNS transport: one connection, one packet buffer, packet framing, markers, and the TTC primitives
// read and written over the byte stream of DATA packets.
#pragma once

#include "oranet/ConnectString.h"
#include "oranet/NetSocket.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

namespace oranet {

// TNS packet types.
enum : uint8_t {
    tnsConnect = 1,
    tnsAccept = 2,
    tnsRefuse = 4,
    tnsRedirect = 5,
    tnsData = 6,
    tnsResend = 11,
    tnsMarker = 12,
};

struct TAcceptInfo;

struct TPacketInfo {
    int length = 0;
    uint8_t type = 0;
    uint8_t flags = 0;
};

// The message for a listener's refusal of a connect by service name: its error number ("12514": the service
// is unknown) and the service, in German.
std::string ServiceRefusedText(const std::string& code, const std::string& service);

class TNetTransport {
public:
    static constexpr int BufferSize = 4100;
    static constexpr int MaxPacket = 4086;
    static constexpr int DataStart = 10; // 8 header bytes and 2 data-flag bytes

    // Without a socket the transport makes its own TWinSocket.
    explicit TNetTransport(std::unique_ptr<TWinSocket> socket = nullptr);
    ~TNetTransport();
    TNetTransport(const TNetTransport&) = delete;
    TNetTransport& operator=(const TNetTransport&) = delete;

    // Connection establishment (connect descriptor, ACCEPT/REFUSE/REDIRECT/RESEND).
    void Connect(const std::string& host, int port, const std::string& sid);
    // The same for an address of any server-string form: its connect data names the service when it has one.
    void Connect(const TConnectAddress& address);
    void Disconnect();
    bool Connected() const;
    void CheckConnected() const;
    static std::string Descriptor(const std::string& host, int port, const std::string& sid);
    // Builds the CONNECT packet for the current host, port and sid in the buffer; returns its length.
    int BuildConnectPacket();
    // Applies the text of a REDIRECT packet to host, port and sid (the connect data names a SID again).
    void ApplyRedirect(std::string_view text);
    // Connection establishment offering both protocol generations (NetTns315.cpp); accepted tells which one
    // the listener took. After a current ACCEPT the packets belong to a TTnsLink on the same socket, which
    // takes the bytes already received with TakeReceived.
    void ConnectDual(const std::string& host, int port, const std::string& sid, TAcceptInfo& accepted);
    // The same for any server-string form: the connect data names the service or the SID.
    void ConnectDual(const TConnectAddress& address, TAcceptInfo& accepted);
    std::string TakeReceived();

    // Packets.
    void SendPacket(int length, uint8_t type, uint8_t flags);
    void ReceiveExact(void* dest, int count);
    TPacketInfo ReadPacket();
    void Flush(uint16_t dataFlags);
    void SendMarker(uint8_t value);

    // The break. A marker that reaches the server while it waits for a request interrupts nothing and
    // may be answered at the next call instead, so Break sends it only while a call is under way: from
    // the moment the call's request has left until its reply has been read to the end. A break asked for
    // while an operation of several calls is between two of them goes out right after the next call's
    // request; outside any operation it is dropped (whoever runs work of many steps asks for a stop
    // between them). At most one marker per call. True when the marker went out or will go with the
    // next call. The only member that may be called from another thread than the calling one.
    bool Break();
    // The calling thread brackets each operation (a logon, an execute with its parse and describe
    // calls, a fetch, a commit) and reports the end of each reply. EndOperation also ends the call.
    void BeginOperation();
    void EndOperation();
    void EndCall();
    // The request of a call has left and its reply is about to be read: from here a break goes out. The
    // byte stream calls it itself; the current generation's session, which has its own packet layer, too.
    void CallStarted();
    // Markers carry a 4-byte length (a connection of the current generation).
    bool largeMarkers = false;
    // For tests: whether a call is under way, and how many break markers Break has sent.
    bool CallUnderWay() const { return inCall_; }
    int BreaksSent() const;

    // The byte stream.
    void WriteRaw(const void* src, size_t count);
    int ReadRaw(void* dest, int count);

    // TTC primitives written.
    void WriteUB1(uint8_t v) {
        if (writePos_ < sendLimit_)
            buf_[writePos_++] = v;
        else
            WriteRaw(&v, 1);
    }
    void WriteFlag(bool v) { WriteUB1(v ? 1 : 0); }
    void WritePresent(bool v) { WriteUB1(v ? 1 : 0); }
    void WriteUB2(uint16_t v) {
        if (writePos_ + 2 <= sendLimit_) {
            buf_[writePos_++] = uint8_t(v);
            if (v != 0) buf_[writePos_++] = uint8_t(v >> 8);
        } else {
            WriteUB2Slow(v);
        }
    }
    void WriteUB4(uint32_t v) {
        // A length byte and the significant bytes, most significant first.
        if (writePos_ + 5 <= sendLimit_) {
            int n = v > 0xFFFFFF ? 4 : v > 0xFFFF ? 3 : v > 0xFF ? 2 : v > 0 ? 1 : 0;
            buf_[writePos_++] = uint8_t(n);
            for (int i = n - 1; i >= 0; --i)
                buf_[writePos_++] = uint8_t(v >> (8 * i));
        } else {
            WriteUB4Slow(v);
        }
    }
    void WriteSB4(int32_t v) { WriteUB4(uint32_t(v)); }
    void WriteLengthOrZero(size_t length) { WriteUB4(uint32_t(length)); }
    void WriteUB4Array(const uint32_t* values, int count);
    void WriteBytes(const void* data, size_t length); // byte string (CLR)
    void WriteBytes(std::string_view s) { WriteBytes(s.data(), s.size()); }
    void WriteText(std::string_view s) {
        if (!s.empty()) WriteBytes(s.data(), s.size());
    }

    // TTC primitives read.
    uint8_t ReadUB1() {
        if (readPos_ < readLen_) return in_[readPos_++];
        return ReadUB1Slow();
    }
    int32_t ReadInt(int kind) {
        // The common case in place: a variable-length integer whose bytes are all in the current packet.
        if ((representation[1] & 1) && readLen_ - readPos_ >= 5) {
            uint8_t l = in_[readPos_];
            int len = l & 0x7F;
            if (len <= 4) {
                uint32_t v = 0;
                for (int i = 1; i <= len; ++i)
                    v = (v << 8) | in_[readPos_ + i];
                readPos_ += 1 + len;
                return int32_t((l & 0x80) ? 0u - v : v);
            }
        }
        return ReadIntSlow(kind);
    }
    uint16_t ReadUB2() { return uint16_t(ReadInt(1)); }
    int32_t ReadUB4() { return ReadInt(2); }
    std::string ReadShortBytes();
    std::string ReadZText(int maxCount);
    void Skip(int count);
    std::string ReadMessageText();
    // A value (CLR). The view points into the packet buffer or into scratch and is valid until the next read.
    std::string_view ReadValue(std::string& scratch);
    std::string_view ReadUB4Value(std::string& scratch);
    // A value (CLR) whose bytes and the largest integer after them lie in the current packet, read in place;
    // false (nothing read) otherwise.
    bool ReadValueInPlace(const uint8_t*& data, int& n) {
        int avail = readLen_ - readPos_;
        if (avail < 1) return false;
        int l = in_[readPos_];
        if (l == 254 || avail < l + 6) return false;
        data = in_ + readPos_ + 1;
        n = l;
        readPos_ += 1 + l;
        return true;
    }
    // Reads exactly count bytes or fails.
    void ReadExact(void* dest, int count);
    // The unread bytes of the current packet, for decoders that parse several primitives in place: avail
    // receives their count. Consume moves the read position past bytes parsed that way (at most avail).
    const uint8_t* Pending(int& avail) const {
        avail = readLen_ - readPos_;
        return in_ + readPos_;
    }
    void Consume(int count) { readPos_ += count; }

    // State shared with the connection.
    std::string host = "local";
    int port = 1521;
    std::string sid = "orcl";
    std::string serviceName;      // not empty: the descriptor names SERVICE_NAME instead of SID
    std::string connectDataExtra; // further CONNECT_DATA parameters of the address
    int sdu = 2048;
    int tdu = 32767;
    uint8_t representation[4] = {0, 2, 1, 1};
    bool skipChunk254 = false;
    bool resetPending = false;

    void ResetRepresentation() {
        representation[0] = 0, representation[1] = 2, representation[2] = 1, representation[3] = 1;
    }
    void SetNegotiatedRepresentation() {
        representation[0] = 0, representation[1] = 1, representation[2] = 1, representation[3] = 1;
    }

    // For tests: the raw buffer and the positions.
    const uint8_t* Buffer() const { return buf_; }
    int WritePos() const { return writePos_; }
    int ReadPos() const { return readPos_; }
    int ReadLen() const { return readLen_; }
    int SendLimit() const { return sendLimit_; }
    TWinSocket& Socket() { return *socket_; }

private:
    void WriteUB2Slow(uint16_t v);
    void WriteUB4Slow(uint32_t v);
    uint8_t ReadUB1Slow();
    int32_t ReadIntSlow(int kind);
    // Reads until a DATA packet arrives; false for a DATA packet shorter than its data flags.
    bool NextDataPacket();
    void HandleMarker(const TPacketInfo& p);
    void ReadChunks(std::string& out);

    void DropReceived() { rxPos_ = rxLen_ = 0; }

    // Guards the call state below and every marker sent, so that a break from another thread goes out
    // only while the call is under way and never in the middle of another marker. Never held while
    // receiving. The calling thread writes the state under the lock and reads it without.
    mutable std::mutex markerMutex_;
    bool inCall_ = false;
    int operations_ = 0;     // depth: an execute may commit or describe a cursor parameter inside it
    bool breakHeld_ = false; // asked for between two calls of the operation
    bool breakSent_ = false; // in this call (or the server broke it)
    int breaksSent_ = 0;

    std::unique_ptr<TWinSocket> socket_;
    // Bytes received from the socket ahead of the packet being read: one receive call brings as many packets
    // as have arrived, instead of two calls per packet.
    static constexpr int RxSize = 32768;
    int rxPos_ = 0;
    int rxLen_ = 0;
    std::unique_ptr<uint8_t[]> rx_;
    int writePos_ = DataStart;
    int readLen_ = 0;
    int readPos_ = 0;
    int sendLimit_ = 2048; // largest outgoing DATA packet, header included
    // The request being built (and the CONNECT packet).
    uint8_t buf_[BufferSize] = {};
    // The packet being read: in place in the receive buffer when it arrived there whole, else gathered in
    // inBuf_. Reading never sees the request being written.
    const uint8_t* in_ = inBuf_;
    uint8_t inBuf_[BufferSize] = {};
};

// Brackets one operation of the calling thread on a transport (see TNetTransport::Break).
class TNetOperation {
public:
    explicit TNetOperation(TNetTransport* t) : t_(t) {
        if (t_) t_->BeginOperation();
    }
    ~TNetOperation() {
        if (t_) t_->EndOperation();
    }
    TNetOperation(const TNetOperation&) = delete;
    TNetOperation& operator=(const TNetOperation&) = delete;

private:
    TNetTransport* t_;
};

} // namespace oranet
