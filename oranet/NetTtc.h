// The TTC primitives of the current protocol generation: a request built in memory and sent as DATA packets
// of the negotiated unit, and a reply read across as many DATA packets as it spans. Integers are a length
// byte and that many big-endian bytes (bit 7 of the length byte marks a negative value); byte strings are a
// length byte up to 252, or 254 followed by chunks, each with a UB4 length, ended by a zero length.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace oranet {

class TTnsLink;

// TTC message types of the current generation.
enum : uint8_t {
    ttcProtocol = 1,
    ttcDataTypes = 2,
    ttcFunction = 3,
    ttcError = 4,
    ttcRowHeader = 6,
    ttcRowData = 7,
    ttcParameter = 8,
    ttcStatus = 9,
    ttcIoVector = 11,
    ttcLobData = 14,
    ttcWarning = 15,
    ttcDescribeInfo = 16,
    ttcPiggyback = 17,
    ttcBitVector = 21,
    ttcServerPiggyback = 23,
    ttcEndOfRequest = 29,
};

// Function codes of the current generation.
enum : uint8_t {
    fnFetch = 5,
    fnLogoff = 9,
    fnCommit = 14,
    fnRollback = 15,
    fnExecute = 94,
    fnLobOp = 96,
    fnCloseCursors = 105,
    fnAuthPhaseTwo = 115,
    fnAuthPhaseOne = 118,
    fnPing = 147,
};

class TTtcWriter {
public:
    void U8(uint8_t v) { b_.push_back(v); }
    void U16BE(uint16_t v) { U8(uint8_t(v >> 8)), U8(uint8_t(v)); }
    void U16LE(uint16_t v) { U8(uint8_t(v)), U8(uint8_t(v >> 8)); }
    void UB4(uint32_t v);
    void UB2(uint16_t v) { UB4(v); }
    void UB8(uint64_t v);
    void Raw(const void* p, size_t n);
    void BytesWithLength(std::string_view s);
    // A key, its value and flags, as the logon's pairs are sent.
    void KeyValue(std::string_view key, std::string_view value, uint32_t flags = 0);

    const std::vector<uint8_t>& Bytes() const { return b_; }
    // Wipes what was written (a logon request carries key material).
    void Clear();

private:
    std::vector<uint8_t> b_;
};

class TTtcReader {
public:
    explicit TTtcReader(TTnsLink& link) : link_(link) {}

    uint8_t U8() {
        if (pos_ < cur_.size()) return uint8_t(cur_[pos_++]);
        return U8Slow();
    }
    uint16_t U16BE();
    uint16_t U16LE();
    // Variable-length integers; a length above the width of the type, or a negative value where none is
    // allowed, is a protocol violation.
    uint32_t UB2() { return uint32_t(Int(2, false)); }
    uint32_t UB4() { return uint32_t(Int(4, false)); }
    uint64_t UB8() { return uint64_t(Int(8, false)); }
    int32_t SB2() { return int32_t(Int(2, true)); }
    int32_t SB4() { return int32_t(Int(4, true)); }
    void Skip(size_t n);
    std::string Raw(size_t n) {
        std::string out;
        AppendRaw(out, n);
        return out;
    }
    void AppendRaw(std::string& out, size_t n);
    // A byte string; empty for the lengths 0 and 255 (null). Longer than limit: protocol violation.
    std::string BytesWithLength(size_t limit = 1u << 26) {
        std::string out;
        BytesWithLength(out, limit);
        return out;
    }
    // The same into out, whose room is reused (row values).
    void BytesWithLength(std::string& out, size_t limit = 1u << 26);
    void SkipBytesWithLength() { (void)BytesWithLength(); }
    // Bytes up to a zero byte (not kept), at most limit of them.
    std::string NullTerminated(size_t limit);

    // Drops what is left of the reply (after an end of response).
    void Reset() {
        cur_ = {};
        pos_ = 0;
    }

private:
    int64_t Int(int width, bool allowNegative);
    uint8_t U8Slow();
    void Next();
    TTnsLink& link_;
    std::string_view cur_;
    size_t pos_ = 0;
};

} // namespace oranet
