#include "emulator/EmuWire.h"

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vemu {

namespace {
constexpr size_t kMaxIncomingPacket = 65535;
}

Wire::Wire(int fd, long long dropAfterBytes)
    : fd_(fd), dropAfter_(dropAfterBytes), rbuf_(65536), in_(kMaxIncomingPacket), out_(8192) {}

Wire::~Wire() = default;

void RecvExactThrough(int fd, std::vector<uint8_t>& buf, size_t& pos, size_t& len, uint8_t* p, size_t n) {
    while (n > 0) {
        if (pos < len) {
            size_t k = std::min(n, len - pos);
            std::memcpy(p, buf.data() + pos, k);
            pos += k;
            p += k;
            n -= k;
            continue;
        }
        ssize_t r = ::recv(fd, buf.data(), buf.size(), 0);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) throw ConnectionClosed("connection closed by the client");
        pos = 0;
        len = static_cast<size_t>(r);
    }
}

void SendAllCounted(int fd, const uint8_t* p, size_t n, bool isData, long long dropAfter,
                    long long& dataSent) {
    size_t allowed = n;
    bool cut = false;
    if (isData && dropAfter >= 0) {
        long long left = dropAfter - dataSent;
        if (left < static_cast<long long>(n)) {
            allowed = left > 0 ? static_cast<size_t>(left) : 0;
            cut = true;
        }
    }
    size_t done = 0;
    while (done < allowed) {
        ssize_t r = ::send(fd, p + done, allowed - done, MSG_NOSIGNAL);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) throw ConnectionClosed("send failed");
        done += static_cast<size_t>(r);
    }
    if (isData) dataSent += static_cast<long long>(allowed);
    if (cut) {
        ::shutdown(fd, SHUT_RDWR);
        throw ConnectionClosed("connection dropped after the configured number of bytes");
    }
}

void Wire::RecvExact(uint8_t* p, size_t n) {
    RecvExactThrough(fd_, rbuf_, rpos_, rlen_, p, n);
}

Packet Wire::ReadPacket() {
    Packet pk;
    uint8_t h[8];
    RecvExact(h, 8);
    size_t len = (static_cast<size_t>(h[0]) << 8) | h[1];
    pk.type = h[4];
    if (len < 8) throw ProtocolError("packet shorter than its header");
    if (pk.type == 0 || pk.type > 19) throw ProtocolError("unknown packet type " + std::to_string(pk.type));
    pk.data.resize(len);
    std::memcpy(pk.data.data(), h, 8);
    RecvExact(pk.data.data() + 8, len - 8);
    return pk;
}

void Wire::SendAll(const uint8_t* p, size_t n, bool isData) {
    SendAllCounted(fd_, p, n, isData, dropAfter_, dataSent_);
}

void Wire::SendPacket(uint8_t type, const std::vector<uint8_t>& body) {
    SendPending();
    std::vector<uint8_t> p(8 + body.size());
    p[0] = static_cast<uint8_t>(p.size() >> 8);
    p[1] = static_cast<uint8_t>(p.size());
    p[4] = type;
    if (!body.empty()) std::memcpy(p.data() + 8, body.data(), body.size());
    SendAll(p.data(), p.size(), false);
}

void Wire::SendPending() {
    if (pending_.empty()) return;
    std::vector<uint8_t> p;
    p.swap(pending_);
    SendAll(p.data(), p.size(), true);
    p.clear();
    pending_.swap(p);
}

void Wire::SendMarker(uint8_t value) {
    SendPending();
    uint8_t m[11] = {0, 11, 0, 0, kTnsMarker, 0, 0, 0, 1, 0, value};
    SendAll(m, sizeof m, false);
}

void Wire::Fill() {
    for (;;) {
        Packet pk = ReadPacket();
        if (pk.type == kTnsData) {
            if (pk.data.size() < 10) throw ProtocolError("DATA packet shorter than 10 bytes");
            uint16_t flags = static_cast<uint16_t>((pk.data[8] << 8) | pk.data[9]);
            if (flags & 0x0040) {
                eofSeen_ = true;
                throw ConnectionClosed("client disconnected");
            }
            if (pk.data.size() == 10) continue;
            std::memcpy(in_.data(), pk.data.data(), pk.data.size());
            inPos_ = 10;
            inLen_ = pk.data.size();
            return;
        }
        if (pk.type == kTnsMarker) { // a break between calls interrupts nothing
            if (idleBreaks_ && pk.data.size() >= 11 && pk.data[8] == 1 && pk.data[10] == 1) ++*idleBreaks_;
            continue;
        }
        throw ProtocolError("unexpected packet type " + std::to_string(pk.type));
    }
}

uint8_t Wire::U8() {
    if (inPos_ >= inLen_) Fill();
    return in_[inPos_++];
}

uint8_t Wire::Peek() {
    if (inPos_ >= inLen_) Fill();
    return in_[inPos_];
}

std::string Wire::Raw(size_t n) {
    std::string s;
    s.reserve(std::min<size_t>(n, 1 << 20));
    while (n > 0) {
        if (inPos_ >= inLen_) Fill();
        size_t k = std::min(n, inLen_ - inPos_);
        s.append(reinterpret_cast<const char*>(in_.data() + inPos_), k);
        inPos_ += k;
        n -= k;
    }
    return s;
}

uint32_t Wire::UB2() {
    // The client writes 0 as one zero byte, anything else as two bytes, least significant first.
    uint8_t a = U8();
    if (a == 0) return 0;
    uint8_t b = U8();
    return static_cast<uint32_t>(a | (b << 8));
}

uint32_t Wire::UB4() {
    uint8_t n = U8();
    if (n > 4) throw ProtocolError("integer length byte " + std::to_string(n));
    uint32_t v = 0;
    for (uint8_t i = 0; i < n; ++i)
        v = (v << 8) | U8();
    return v;
}

std::string Wire::Clr() {
    uint8_t n = U8();
    if (n == 0) return {};
    if (n != 0xFE) return Raw(n);
    std::string s;
    for (;;) {
        uint8_t k = U8();
        if (k == 0) break;
        s += Raw(k);
        if (s.size() > (64u << 20)) throw ProtocolError("value longer than 64 MB");
    }
    return s;
}

void Wire::CheckBreak() {
    if (capture_) return; // reading ahead between calls: what arrives now is the next request
    for (;;) {
        if (rpos_ >= rlen_) {
            pollfd p{fd_, POLLIN, 0};
            int r = ::poll(&p, 1, 0);
            if (r <= 0 || !(p.revents & (POLLIN | POLLHUP | POLLERR))) return;
        }
        Packet pk = ReadPacket();
        if (pk.type == kTnsMarker) {
            if (pk.data.size() >= 11 && pk.data[8] == 1 && pk.data[10] == 1) throw BreakReceived{};
            continue;
        }
        if (pk.type == kTnsData && pk.data.size() >= 10 && (pk.data[9] & 0x40)) {
            eofSeen_ = true;
            throw ConnectionClosed("client disconnected");
        }
        throw ProtocolError("packet of type " + std::to_string(pk.type) + " in the middle of a call");
    }
}

void Wire::ResetAfterBreak() {
    outLen_ = 10; // what was not sent yet belongs to the interrupted reply
    pending_.clear();
    inPos_ = inLen_;
    SendMarker(1);
    for (;;) {
        Packet pk = ReadPacket();
        if (pk.type == kTnsMarker && pk.data.size() >= 11 && pk.data[8] == 1 && pk.data[10] == 2) break;
        if (pk.type == kTnsData && pk.data.size() >= 10 && (pk.data[9] & 0x40)) {
            eofSeen_ = true;
            throw ConnectionClosed("client disconnected");
        }
    }
    SendMarker(2);
}

void Wire::WBytes(const void* src, size_t n) {
    const uint8_t* p = static_cast<const uint8_t*>(src);
    if (capture_) {
        capture_->insert(capture_->end(), p, p + n);
        return;
    }
    while (n > 0) {
        if (outLen_ == maxPacket_) FlushPacket(0);
        size_t k = std::min(n, maxPacket_ - outLen_);
        std::memcpy(out_.data() + outLen_, p, k);
        outLen_ += k;
        p += k;
        n -= k;
    }
}

void Wire::WUB2(int32_t v) {
    WUB4(v);
}

void Wire::WUB4(int64_t v) {
    if (!variableInts) { // fixed width, most significant first
        uint32_t u = static_cast<uint32_t>(v);
        uint8_t b[4] = {static_cast<uint8_t>(u >> 24), static_cast<uint8_t>(u >> 16),
                        static_cast<uint8_t>(u >> 8), static_cast<uint8_t>(u)};
        WBytes(b, 4);
        return;
    }
    if (v == 0) {
        W8(0);
        return;
    }
    bool neg = v < 0;
    uint64_t u = neg ? static_cast<uint64_t>(-v) : static_cast<uint64_t>(v);
    if (u > 0xFFFFFFFFu) u = 0xFFFFFFFFu;
    uint8_t b[5];
    int n = 0;
    for (int shift = 24; shift >= 0; shift -= 8) {
        uint8_t byte = static_cast<uint8_t>(u >> shift);
        if (n == 0 && byte == 0) continue;
        b[1 + n++] = byte;
    }
    b[0] = static_cast<uint8_t>(n | (neg ? 0x80 : 0));
    WBytes(b, static_cast<size_t>(n) + 1);
}

void Wire::WFixed2LE(uint16_t v) {
    W8(static_cast<uint8_t>(v));
    W8(static_cast<uint8_t>(v >> 8));
}

void Wire::WFixed2BE(uint16_t v) {
    W8(static_cast<uint8_t>(v >> 8));
    W8(static_cast<uint8_t>(v));
}

void Wire::WClr(const void* src, size_t n) {
    const uint8_t* p = static_cast<const uint8_t*>(src);
    if (n <= 252) {
        W8(static_cast<uint8_t>(n));
        WBytes(p, n);
        return;
    }
    W8(0xFE);
    while (n > 0) {
        size_t k = std::min<size_t>(n, 64);
        W8(static_cast<uint8_t>(k));
        WBytes(p, k);
        p += k;
        n -= k;
    }
    W8(0);
}

void Wire::FlushPacket(uint16_t flags) {
    out_[0] = static_cast<uint8_t>(outLen_ >> 8);
    out_[1] = static_cast<uint8_t>(outLen_);
    out_[2] = out_[3] = 0;
    out_[4] = kTnsData;
    out_[5] = 0;
    out_[6] = out_[7] = 0;
    out_[8] = static_cast<uint8_t>(flags >> 8);
    out_[9] = static_cast<uint8_t>(flags);
    size_t n = outLen_;
    outLen_ = 10;
    pending_.insert(pending_.end(), out_.begin(), out_.begin() + static_cast<std::ptrdiff_t>(n));
    if (pending_.size() >= 32768) SendPending();
}

void Wire::Flush() {
    if (outLen_ > 10) FlushPacket(0);
    SendPending();
}

} // namespace vemu
