// What the fuzz entries of the current protocol generation share: a socket that serves the input as the
// received stream, the input cut into DATA packets, and a guard that lets the client's own errors pass.
#pragma once

#include "oranet/NetSocket.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

namespace vfuzz {

// Serves the bytes as the received stream and accepts every send.
class TStreamSocket : public oranet::TWinSocket {
public:
    explicit TStreamSocket(std::vector<uint8_t> d) : data_(std::move(d)) {}
    void Open(const std::string&, int) override { connected_ = true; }
    void Close() override { connected_ = false; }
    bool Connected() const override { return connected_; }
    int SendBuf(const void*, int count) override { return connected_ ? count : 0; }
    int ReceiveBuf(void* buffer, int count) override {
        if (!connected_ || at_ >= data_.size()) return 0;
        size_t n = std::min(size_t(count), data_.size() - at_);
        std::memcpy(buffer, data_.data() + at_, n);
        at_ += n;
        return int(n);
    }

private:
    std::vector<uint8_t> data_;
    size_t at_ = 0;
    bool connected_ = true;
};

// data[from..size) as DATA packets (4-byte lengths) of at most chunk bytes each.
inline std::vector<uint8_t> DataPackets(const uint8_t* data, size_t from, size_t size, size_t chunk) {
    std::vector<uint8_t> stream;
    for (size_t at = from; at < size; at += chunk) {
        size_t len = std::min(size - at, chunk);
        uint32_t total = uint32_t(len + 10);
        const uint8_t head[10] = {uint8_t(total >> 24), uint8_t(total >> 16), uint8_t(total >> 8),
                                  uint8_t(total), 6};
        stream.insert(stream.end(), head, head + 10);
        stream.insert(stream.end(), data + at, data + at + len);
    }
    return stream;
}

template <class F> void Guarded(F f) {
    try {
        f();
    } catch (const std::exception&) {
        // Malformed input ends in one of the client's own errors; only a crash is a finding.
    }
}

} // namespace vfuzz
