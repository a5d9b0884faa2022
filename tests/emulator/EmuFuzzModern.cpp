// Fuzz entry for the current protocol's server-side decoders: arbitrary bytes reach the CONNECT decoder and,
// after a valid CONNECT (and, by the first input byte's choice, a valid negotiation), a session that reads
// them as DATA packets or as a raw packet stream. The same entry runs as a libFuzzer program (VESTRA_FUZZ)
// and in the ordinary tests over hand-made inputs.
#include "tests/emulator/EmuFuzzModern.h"

#include "emulator/EmuEngine.h"
#include "emulator/EmuModernSession.h"
#include "emulator/EmuTns315.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <thread>
#include <vector>

namespace emufuzz {

namespace {

vemu::EmuDatabase& Database() {
    static vemu::EmuOptions opts;
    static std::unique_ptr<vemu::EmuDatabase> db = [] {
        auto d = std::make_unique<vemu::EmuDatabase>(opts);
        d->Open();
        return d;
    }();
    return *db;
}

void Put(std::vector<uint8_t>& out, const std::vector<uint8_t>& payload, bool large) {
    size_t n = payload.size() + 10;
    if (large)
        out.insert(out.end(),
                   {uint8_t(n >> 24), uint8_t(n >> 16), uint8_t(n >> 8), uint8_t(n), 6, 0, 0, 0, 0, 0});
    else
        out.insert(out.end(), {uint8_t(n >> 8), uint8_t(n), 0, 0, 6, 0, 0, 0, 0, 0});
    out.insert(out.end(), payload.begin(), payload.end());
}

std::vector<uint8_t> ValidConnect() {
    const std::string cd = "(DESCRIPTION=(CONNECT_DATA=(SERVICE_NAME=bnx)))";
    std::vector<uint8_t> p(74 + cd.size(), 0);
    p[0] = uint8_t(p.size() >> 8);
    p[1] = uint8_t(p.size());
    p[4] = 1;
    p[8] = 0x01, p[9] = 0x3F;   // version 319
    p[10] = 0x01, p[11] = 0x2C; // lowest 300
    p[14] = 0x20;               // SDU 8192
    p[25] = uint8_t(cd.size());
    p[27] = 74;
    p[32] = p[33] = 0x08;
    p[60] = 0x20; // large SDU 8192
    std::memcpy(p.data() + 74, cd.data(), cd.size());
    return p;
}

std::vector<uint8_t> ValidNegotiation() {
    std::vector<uint8_t> out;
    Put(out, {1, 6, 0, 'f', 'u', 'z', 'z', 0}, true);
    std::vector<uint8_t> dt = {2, 0x69, 0x03, 0x69, 0x03, 0x03, 53};
    std::vector<uint8_t> caps(53, 0);
    caps[7] = 24;
    dt.insert(dt.end(), caps.begin(), caps.end());
    dt.insert(dt.end(), {7, 2, 0, 0, 0, 0, 0, 0x04, 0, 1, 0, 1, 0, 1, 0, 0, 0, 0});
    Put(out, dt, true);
    return out;
}

} // namespace

int FuzzModernServer(const uint8_t* data, size_t size) {
    try {
        vemu::ParseConnect(std::vector<uint8_t>(data, data + size));
    } catch (const vemu::ProtocolError&) {
        // a refused CONNECT is what this decoder must produce for most inputs
    }
    if (size == 0) return 0;
    std::vector<uint8_t> stream = ValidConnect();
    uint8_t mode = data[0] % 3;
    std::vector<uint8_t> rest(data + 1, data + size);
    if (mode == 0) {
        stream.insert(stream.end(), rest.begin(), rest.end()); // a raw packet stream
    } else {
        if (mode == 2) {
            auto n = ValidNegotiation();
            stream.insert(stream.end(), n.begin(), n.end());
        }
        for (size_t at = 0; at < rest.size(); at += 4000)
            Put(stream,
                std::vector<uint8_t>(rest.begin() + long(at),
                                     rest.begin() + long(std::min(rest.size(), at + 4000))),
                true);
    }
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) return 0;
    std::thread client([&] {
        size_t sent = 0;
        while (sent < stream.size()) {
            ssize_t r = ::send(fds[0], stream.data() + sent, stream.size() - sent, MSG_NOSIGNAL);
            if (r <= 0) break;
            sent += size_t(r);
        }
        ::shutdown(fds[0], SHUT_WR);
        uint8_t sink[4096];
        while (::recv(fds[0], sink, sizeof sink, 0) > 0) {
        }
    });
    vemu::ServerHooks hooks;
    {
        vemu::ModernSession s(fds[1], Database(), hooks);
        s.Run();
    }
    ::shutdown(fds[1], SHUT_RDWR);
    client.join();
    ::close(fds[0]);
    ::close(fds[1]);
    return 0;
}

} // namespace emufuzz
