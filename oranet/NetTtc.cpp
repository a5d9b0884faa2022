#include "oranet/NetTtc.h"

#include "oranet/NetErrors.h"
#include "oranet/NetTns315.h"

#include <openssl/crypto.h>

#include <algorithm>

namespace oranet {

// ---------------------------------------------------------------------------------------------------------
// Writing

void TTtcWriter::UB4(uint32_t v) {
    if (v == 0) {
        U8(0);
    } else if (v <= 0xFF) {
        U8(1), U8(uint8_t(v));
    } else if (v <= 0xFFFF) {
        U8(2), U16BE(uint16_t(v));
    } else {
        U8(4), U16BE(uint16_t(v >> 16)), U16BE(uint16_t(v));
    }
}

void TTtcWriter::UB8(uint64_t v) {
    if (v <= 0xFFFFFFFFu) {
        UB4(uint32_t(v));
    } else {
        U8(8);
        for (int i = 7; i >= 0; --i)
            U8(uint8_t(v >> (8 * i)));
    }
}

void TTtcWriter::Raw(const void* p, size_t n) {
    const auto* b = static_cast<const uint8_t*>(p);
    b_.insert(b_.end(), b, b + n);
}

void TTtcWriter::BytesWithLength(std::string_view s) {
    if (s.size() <= 252) {
        U8(uint8_t(s.size()));
        Raw(s.data(), s.size());
        return;
    }
    U8(254);
    constexpr size_t Chunk = 32767;
    for (size_t at = 0; at < s.size(); at += Chunk) {
        size_t n = std::min(Chunk, s.size() - at);
        UB4(uint32_t(n));
        Raw(s.data() + at, n);
    }
    UB4(0);
}

void TTtcWriter::KeyValue(std::string_view key, std::string_view value, uint32_t flags) {
    UB4(uint32_t(key.size()));
    BytesWithLength(key);
    UB4(uint32_t(value.size()));
    if (!value.empty()) BytesWithLength(value);
    UB4(flags);
}

void TTtcWriter::Clear() {
    if (!b_.empty()) OPENSSL_cleanse(b_.data(), b_.size());
    b_.clear();
}

// ---------------------------------------------------------------------------------------------------------
// Reading

void TTtcReader::Next() {
    uint16_t flags = 0;
    do {
        cur_ = link_.ReadData(flags);
    } while (cur_.empty() && !(flags & dataFlagEndOfFile));
    pos_ = 0;
    if (cur_.empty()) throw ENetError(0); // the server ended the connection in the middle of a reply
}

uint8_t TTtcReader::U8Slow() {
    Next();
    return uint8_t(cur_[pos_++]);
}

uint16_t TTtcReader::U16BE() {
    uint16_t hi = U8();
    return uint16_t((hi << 8) | U8());
}

uint16_t TTtcReader::U16LE() {
    uint16_t lo = U8();
    return uint16_t(lo | (U8() << 8));
}

int64_t TTtcReader::Int(int width, bool allowNegative) {
    uint8_t l = U8();
    bool negative = l & 0x80;
    int n = l & 0x7F;
    if (n > width || (negative && !allowNegative)) throw EDBError(1);
    uint64_t v = 0;
    for (int i = 0; i < n; ++i)
        v = (v << 8) | U8();
    return negative ? -int64_t(v) : int64_t(v);
}

void TTtcReader::Skip(size_t n) {
    while (n > 0) {
        if (pos_ == cur_.size()) Next();
        size_t k = std::min(n, cur_.size() - pos_);
        pos_ += k;
        n -= k;
    }
}

void TTtcReader::AppendRaw(std::string& out, size_t n) {
    // The common case: the bytes lie in the current packet.
    if (cur_.size() - pos_ >= n) {
        out.append(cur_.data() + pos_, n);
        pos_ += n;
        return;
    }
    while (n > 0) {
        if (pos_ == cur_.size()) Next();
        size_t k = std::min(n, cur_.size() - pos_);
        out.append(cur_.data() + pos_, k);
        pos_ += k;
        n -= k;
    }
}

void TTtcReader::BytesWithLength(std::string& out, size_t limit) {
    out.clear();
    uint8_t l = U8();
    if (l == 0 || l == 255) return;
    if (l != 254) {
        if (l > limit) throw EDBError(1);
        AppendRaw(out, l);
        return;
    }
    for (;;) {
        uint32_t n = UB4();
        if (n == 0) break;
        if (n > limit - out.size()) throw EDBError(1);
        AppendRaw(out, n);
    }
}

std::string TTtcReader::NullTerminated(size_t limit) {
    std::string out;
    for (;;) {
        uint8_t c = U8();
        if (c == 0) return out;
        if (out.size() == limit) throw EDBError(1);
        out.push_back(char(c));
    }
}

} // namespace oranet
