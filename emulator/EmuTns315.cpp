#include "emulator/EmuTns315.h"

#include "emulator/EmuNetWords.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vemu {

namespace {
constexpr size_t kMaxSdu = 2097152;             // the largest SDU either side may ask for
constexpr size_t kMaxChunkedValue = 256u << 20; // a byte string in one request
constexpr size_t kReplyChunk = 32767;           // chunk size of long byte strings in replies
} // namespace

ModernWire::ModernWire(int fd, long long dropAfterBytes)
    : fd_(fd), dropAfter_(dropAfterBytes), rbuf_(65536), in_(65536) {
    out_.reserve(8192);
}

void ModernWire::SetAccepted(size_t sdu) {
    large_ = true;
    sdu_ = std::clamp<size_t>(sdu, 512, kMaxSdu);
    if (in_.size() < sdu_) in_.resize(sdu_);
}

void ModernWire::RecvExact(uint8_t* p, size_t n) {
    RecvExactThrough(fd_, rbuf_, rpos_, rlen_, p, n);
}

Packet ModernWire::ReadPacket() {
    Packet pk;
    uint8_t h[8];
    RecvExact(h, 8);
    size_t len = large_ ? (static_cast<size_t>(h[0]) << 24 | static_cast<size_t>(h[1]) << 16 |
                           static_cast<size_t>(h[2]) << 8 | h[3])
                        : (static_cast<size_t>(h[0]) << 8 | h[1]);
    pk.type = h[4];
    if (len < 8) throw ProtocolError("packet shorter than its header");
    if (large_ && len > sdu_)
        throw ProtocolError("packet of " + std::to_string(len) + " bytes exceeds the SDU");
    if (pk.type == 0 || pk.type > 19) throw ProtocolError("unknown packet type " + std::to_string(pk.type));
    pk.data.resize(len);
    std::memcpy(pk.data.data(), h, 8);
    RecvExact(pk.data.data() + 8, len - 8);
    return pk;
}

void ModernWire::SendAll(const uint8_t* p, size_t n, bool isData) {
    SendAllCounted(fd_, p, n, isData, dropAfter_, dataSent_);
}

void ModernWire::SendPacket(uint8_t type, const std::vector<uint8_t>& body, uint8_t flags) {
    std::vector<uint8_t> p(8 + body.size());
    size_t n = p.size();
    if (large_) {
        p[0] = static_cast<uint8_t>(n >> 24);
        p[1] = static_cast<uint8_t>(n >> 16);
        p[2] = static_cast<uint8_t>(n >> 8);
        p[3] = static_cast<uint8_t>(n);
    } else {
        p[0] = static_cast<uint8_t>(n >> 8);
        p[1] = static_cast<uint8_t>(n);
    }
    p[4] = type;
    p[5] = flags;
    if (!body.empty()) std::memcpy(p.data() + 8, body.data(), body.size());
    SendAll(p.data(), p.size(), type == net::kData);
}

void ModernWire::SendMarker(uint8_t value) {
    SendPacket(net::kMarker, {1, 0, value});
}

void ModernWire::Fill() {
    for (;;) {
        Packet pk = ReadPacket();
        if (pk.type == net::kData) {
            if (pk.data.size() < 10) throw ProtocolError("DATA packet shorter than 10 bytes");
            uint16_t flags = static_cast<uint16_t>(pk.data[8] << 8 | pk.data[9]);
            if (flags & net::kDataEof) throw ConnectionClosed("client disconnected");
            if (pk.data.size() == 10) continue;
            if (in_.size() < pk.data.size()) in_.resize(pk.data.size());
            std::memcpy(in_.data(), pk.data.data(), pk.data.size());
            inPos_ = 10;
            inLen_ = pk.data.size();
            return;
        }
        if (pk.type == net::kMarker) continue; // a break between calls interrupts nothing
        throw ProtocolError("unexpected packet type " + std::to_string(pk.type));
    }
}

uint8_t ModernWire::U8() {
    if (inPos_ >= inLen_) Fill();
    return in_[inPos_++];
}

uint16_t ModernWire::U16BE() {
    uint8_t a = U8();
    return static_cast<uint16_t>(a << 8 | U8());
}

uint16_t ModernWire::U16LE() {
    uint8_t a = U8();
    return static_cast<uint16_t>(a | U8() << 8);
}

std::string ModernWire::Raw(size_t n) {
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

int64_t ModernWire::ReadInt(int maxBytes, bool isSigned) {
    uint8_t n = U8();
    bool neg = false;
    if (n & 0x80) {
        if (!isSigned) throw ProtocolError("negative value where an unsigned integer was expected");
        neg = true;
        n &= 0x7F;
    }
    if (n > maxBytes)
        throw ProtocolError("integer of " + std::to_string(n) + " bytes where at most " +
                            std::to_string(maxBytes) + " are allowed");
    uint64_t v = 0;
    for (uint8_t i = 0; i < n; ++i)
        v = v << 8 | U8();
    if (n == 8 && (v >> 63)) throw ProtocolError("integer out of range");
    return neg ? -static_cast<int64_t>(v) : static_cast<int64_t>(v);
}

std::string ModernWire::BytesWithLength(size_t limit) {
    uint8_t n = U8();
    if (n == 0 || n == 0xFF) return {};
    if (n != 0xFE) {
        if (n > limit) throw ProtocolError("byte string longer than allowed here");
        return Raw(n);
    }
    std::string s;
    for (;;) {
        uint32_t k = UB4();
        if (k == 0) break;
        if (k > limit || s.size() + k > std::min(limit, kMaxChunkedValue))
            throw ProtocolError("chunked byte string longer than allowed here");
        s += Raw(k);
    }
    return s;
}

void ModernWire::ExpectRequestEnd() {
    if (inPos_ < inLen_)
        throw ProtocolError(std::to_string(inLen_ - inPos_) + " unexpected bytes at the end of a request");
}

void ModernWire::CheckBreak() {
    for (;;) {
        if (rpos_ >= rlen_) {
            pollfd p{fd_, POLLIN, 0};
            int r = ::poll(&p, 1, 0);
            if (r <= 0 || !(p.revents & (POLLIN | POLLHUP | POLLERR))) return;
        }
        Packet pk = ReadPacket();
        if (pk.type == net::kMarker) {
            if (pk.data.size() >= 11 && pk.data[8] == 1 &&
                (pk.data[10] == net::kMarkBreak || pk.data[10] == net::kMarkInterrupt))
                throw BreakReceived{};
            continue;
        }
        if (pk.type == net::kData && pk.data.size() >= 10 && (pk.data[9] & net::kDataEof))
            throw ConnectionClosed("client disconnected");
        throw ProtocolError("packet of type " + std::to_string(pk.type) + " in the middle of a call");
    }
}

void ModernWire::ResetAfterBreak() {
    out_.clear(); // what was not sent yet belongs to the interrupted reply
    inPos_ = inLen_;
    SendMarker(net::kMarkBreak);
    for (;;) {
        Packet pk = ReadPacket();
        if (pk.type == net::kMarker && pk.data.size() >= 11 && pk.data[8] == 1 &&
            pk.data[10] == net::kMarkReset)
            break;
        if (pk.type == net::kData && pk.data.size() >= 10 && (pk.data[9] & net::kDataEof))
            throw ConnectionClosed("client disconnected");
    }
    SendMarker(net::kMarkReset);
}

void ModernWire::WBytes(const void* p, size_t n) {
    const uint8_t* b = static_cast<const uint8_t*>(p);
    out_.insert(out_.end(), b, b + n);
}

void ModernWire::WU16BE(uint16_t v) {
    W8(static_cast<uint8_t>(v >> 8));
    W8(static_cast<uint8_t>(v));
}

void ModernWire::WU16LE(uint16_t v) {
    W8(static_cast<uint8_t>(v));
    W8(static_cast<uint8_t>(v >> 8));
}

void ModernWire::WU32BE(uint32_t v) {
    WU16BE(static_cast<uint16_t>(v >> 16));
    WU16BE(static_cast<uint16_t>(v));
}

void ModernWire::WUB4(uint64_t v) {
    if (v == 0) {
        W8(0);
    } else if (v <= 0xFF) {
        W8(1);
        W8(static_cast<uint8_t>(v));
    } else if (v <= 0xFFFF) {
        W8(2);
        WU16BE(static_cast<uint16_t>(v));
    } else if (v <= 0xFFFFFFFFu) {
        W8(4);
        WU32BE(static_cast<uint32_t>(v));
    } else {
        W8(8);
        WU32BE(static_cast<uint32_t>(v >> 32));
        WU32BE(static_cast<uint32_t>(v));
    }
}

void ModernWire::WSB4(int64_t v) {
    if (v >= 0) return WUB4(static_cast<uint64_t>(v));
    uint64_t u = static_cast<uint64_t>(-v);
    size_t mark = out_.size();
    WUB4(u);
    out_[mark] |= 0x80;
}

void ModernWire::WBytesWithLength(const void* p, size_t n) {
    const uint8_t* b = static_cast<const uint8_t*>(p);
    if (n <= 252) {
        W8(static_cast<uint8_t>(n));
        WBytes(b, n);
        return;
    }
    W8(0xFE);
    while (n > 0) {
        size_t k = std::min(n, kReplyChunk);
        WUB4(k);
        WBytes(b, k);
        b += k;
        n -= k;
    }
    WUB4(0);
}

void ModernWire::WKeyValue(const std::string& key, const std::string& value, uint32_t flags) {
    WUB4(key.size());
    WBytesWithLength(key);
    WUB4(value.size());
    if (!value.empty()) WBytesWithLength(value);
    WUB4(flags);
}

void ModernWire::Flush() {
    if (out_.empty()) return;
    size_t room = sdu_ - 10;
    std::vector<uint8_t> all;
    all.reserve(out_.size() + (out_.size() / room + 1) * 10);
    size_t pos = 0;
    do {
        size_t k = std::min(room, out_.size() - pos);
        size_t n = k + 10;
        uint8_t h[10] = {static_cast<uint8_t>(n >> 24),
                         static_cast<uint8_t>(n >> 16),
                         static_cast<uint8_t>(n >> 8),
                         static_cast<uint8_t>(n),
                         net::kData,
                         0,
                         0,
                         0,
                         0,
                         0};
        all.insert(all.end(), h, h + 10);
        all.insert(all.end(), out_.begin() + static_cast<std::ptrdiff_t>(pos),
                   out_.begin() + static_cast<std::ptrdiff_t>(pos + k));
        pos += k;
    } while (pos < out_.size());
    out_.clear();
    SendAll(all.data(), all.size(), true);
}

ConnectRequest ParseConnect(const std::vector<uint8_t>& d) {
    ConnectRequest c;
    if (d.size() < 34) throw ProtocolError("CONNECT packet too short");
    auto u16 = [&](size_t o) { return static_cast<uint16_t>(d[o] << 8 | d[o + 1]); };
    c.version = u16(net::kConnVersion);
    c.lowest = u16(net::kConnLowestVersion);
    c.sdu = u16(net::kConnSdu);
    c.naFlags0 = d[net::kConnFlags0];
    c.naFlags1 = d[net::kConnFlags1];
    c.dataLength = u16(net::kConnDataLength);
    size_t off = u16(net::kConnDataOffset);
    if (c.lowest > c.version) throw ProtocolError("CONNECT: lowest version above the version");
    if (c.version >= net::kVersionLargeSdu) {
        if (d.size() < net::kConnMinLength) throw ProtocolError("CONNECT of version 315+ too short");
        size_t large = static_cast<size_t>(d[58]) << 24 | static_cast<size_t>(d[59]) << 16 |
                       static_cast<size_t>(d[60]) << 8 | d[61];
        if (large) c.sdu = large;
    }
    if (off < 8 || off > d.size()) throw ProtocolError("CONNECT: connect data offset outside the packet");
    if (off + c.dataLength <= d.size())
        c.data.assign(reinterpret_cast<const char*>(d.data() + off), c.dataLength);
    else if (off != d.size())
        throw ProtocolError("CONNECT: connect data cut short");
    return c;
}

std::string DescriptorValue(const std::string& desc, const std::string& key) {
    std::string up(desc.size(), ' ');
    std::transform(desc.begin(), desc.end(), up.begin(),
                   [](char ch) { return ch >= 'a' && ch <= 'z' ? static_cast<char>(ch - 32) : ch; });
    size_t p = 0;
    while ((p = up.find("(" + key, p)) != std::string::npos) {
        size_t q = p + 1 + key.size();
        while (q < up.size() && up[q] == ' ')
            ++q;
        if (q < up.size() && up[q] == '=') {
            size_t end = desc.find(')', q);
            if (end == std::string::npos) return {};
            std::string v = desc.substr(q + 1, end - q - 1);
            while (!v.empty() && v.back() == ' ')
                v.pop_back();
            while (!v.empty() && v.front() == ' ')
                v.erase(0, 1);
            return v;
        }
        p = q;
    }
    return {};
}

} // namespace vemu
