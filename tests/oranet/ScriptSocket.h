// A socket that plays a scripted byte stream and records what the client sends.
#pragma once

#include "oranet/NetErrors.h"
#include "oranet/NetSocket.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace vtest {

using Bytes = std::vector<uint8_t>;

inline Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

inline Bytes FromText(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

inline Bytes Hex(const char* hex) {
    Bytes out;
    int hi = -1;
    for (const char* p = hex; *p; ++p) {
        char c = *p;
        int v = c >= '0' && c <= '9'   ? c - '0'
                : c >= 'A' && c <= 'F' ? c - 'A' + 10
                : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                       : -1;
        if (v < 0) continue;
        if (hi < 0)
            hi = v;
        else {
            out.push_back(uint8_t(hi * 16 + v));
            hi = -1;
        }
    }
    return out;
}

inline Bytes Packet(uint8_t type, const Bytes& body, uint8_t flags = 0) {
    size_t len = 8 + body.size();
    Bytes p = {uint8_t(len >> 8), uint8_t(len), 0, 0, type, flags, 0, 0};
    return p + body;
}

// A DATA packet with data flags 0 around the payload.
inline Bytes Data(const Bytes& payload) {
    return Packet(6, Bytes{0, 0} + payload);
}
inline Bytes Marker(uint8_t type, uint8_t value) {
    return Packet(12, Bytes{type, 0, value});
}

class TScriptSocket : public oranet::TWinSocket {
public:
    Bytes input;
    size_t at = 0;
    Bytes sent;
    std::vector<std::vector<uint8_t>> sends; // one entry per SendBuf
    std::vector<std::string> opened;         // "host:port" per Open
    bool connected = false;
    int chunk = 0;              // > 0: at most this many bytes per receive
    std::vector<Bytes> perOpen; // when given: the stream of the n-th connection opened

    void Open(const std::string& host, int port) override {
        if (opened.size() < perOpen.size()) {
            input = perOpen[opened.size()];
            at = 0;
        }
        opened.push_back(host + ":" + std::to_string(port));
        connected = true;
    }
    void Close() override { connected = false; }
    bool Connected() const override { return connected; }
    int SendBuf(const void* buffer, int count) override {
        if (!connected) return 0;
        const uint8_t* p = static_cast<const uint8_t*>(buffer);
        sent.insert(sent.end(), p, p + count);
        sends.emplace_back(p, p + count);
        return count;
    }
    int ReceiveBuf(void* buffer, int count) override {
        if (!connected || at >= input.size()) return 0;
        size_t n = std::min(size_t(count), input.size() - at);
        if (chunk > 0) n = std::min(n, size_t(chunk));
        std::memcpy(buffer, input.data() + at, n);
        at += n;
        return int(n);
    }
};

// The packets found in a sent byte stream.
inline std::vector<Bytes> SplitPackets(const Bytes& stream) {
    std::vector<Bytes> out;
    size_t at = 0;
    while (at + 8 <= stream.size()) {
        size_t len = (size_t(stream[at]) << 8) | stream[at + 1];
        if (len < 8 || at + len > stream.size()) break;
        out.emplace_back(stream.begin() + long(at), stream.begin() + long(at + len));
        at += len;
    }
    return out;
}

// The concatenated payloads of the DATA packets in a sent byte stream.
inline Bytes Payload(const Bytes& stream) {
    Bytes out;
    for (const Bytes& p : SplitPackets(stream))
        if (p[4] == 6) out.insert(out.end(), p.begin() + 10, p.end());
    return out;
}

} // namespace vtest
