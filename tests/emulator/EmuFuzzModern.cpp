// Fuzz entry for the current protocol's server-side decoders: arbitrary bytes reach the CONNECT decoder and,
// after a valid CONNECT (and, by the first input byte's choice, a valid negotiation), a session that reads
// them as DATA packets or as a raw packet stream. The same entry runs as a libFuzzer program (VESTRA_FUZZ)
// and in the ordinary tests over hand-made inputs.
#include "tests/emulator/EmuFuzzModern.h"

#include "emulator/EmuEngine.h"
#include "emulator/EmuModernSession.h"
#include "emulator/EmuO5Logon.h"
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
    static vemu::EmuOptions opts = [] {
        vemu::EmuOptions o;
        o.verifier11g = true; // the cheaper key derivation: many logons per second
        return o;
    }();
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

// The client's side of a logon as scott/tiger over fd (after the CONNECT and the negotiation were sent):
// reads the server's replies as they come. False when the server did not let it in.
bool ClientLogOn(int fd) {
    auto readPacket = [&](std::vector<uint8_t>& p) {
        p.assign(8, 0);
        for (size_t got = 0; got < 8;) {
            ssize_t r = ::recv(fd, p.data() + got, 8 - got, 0);
            if (r <= 0) return false;
            got += size_t(r);
        }
        size_t len = p[4] == 2 ? (size_t(p[0]) << 8 | p[1])
                               : (size_t(p[0]) << 24 | size_t(p[1]) << 16 | size_t(p[2]) << 8 | p[3]);
        if (len < 8 || len > (1u << 22)) return false;
        p.resize(len);
        for (size_t got = 8; got < len;) {
            ssize_t r = ::recv(fd, p.data() + got, len - got, 0);
            if (r <= 0) return false;
            got += size_t(r);
        }
        return true;
    };
    auto send = [&](const std::vector<uint8_t>& b) {
        return ::send(fd, b.data(), b.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(b.size());
    };
    auto param = [](const std::vector<uint8_t>& reply, const std::string& key) {
        std::string all(reply.begin(), reply.end());
        size_t p = all.find(key);
        if (p == std::string::npos || p + key.size() + 1 >= all.size()) return std::string();
        p += key.size();
        p += 1 + uint8_t(all[p]);
        if (p >= all.size()) return std::string();
        return all.substr(p + 1, uint8_t(all[p]));
    };
    std::vector<uint8_t> pk;
    for (int i = 0; i < 3; ++i) // ACCEPT, protocol and data-type answers
        if (!readPacket(pk)) return false;
    std::vector<uint8_t> p1 = {3, 118, 1, 1, 1, 5, 2, 1, 1, 1, 0, 0, 1, 5, 's', 'c', 'o', 't', 't'};
    std::vector<uint8_t> out;
    Put(out, p1, true);
    if (!send(out) || !readPacket(pk)) return false;
    auto c = vemu::O5Logon::ClientForTest(vemu::VerifierKind::V11g, "tiger", param(pk, "AUTH_VFR_DATA"),
                                          param(pk, "AUTH_SESSKEY"), "");
    if (c.clientKeyHex.empty()) return false;
    std::vector<uint8_t> p2 = {3, 115, 2, 1, 1, 5, 2, 1, 1, 1, 1, 2, 1, 1, 5, 's', 'c', 'o', 't', 't'};
    auto pair = [&](const std::string& k, const std::string& v) {
        p2.insert(p2.end(), {1, uint8_t(k.size()), uint8_t(k.size())});
        p2.insert(p2.end(), k.begin(), k.end());
        p2.insert(p2.end(), {1, uint8_t(v.size()), uint8_t(v.size())});
        p2.insert(p2.end(), v.begin(), v.end());
        p2.push_back(0);
    };
    pair("AUTH_SESSKEY", c.clientKeyHex);
    pair("AUTH_PASSWORD", c.passwordHex);
    out.clear();
    Put(out, p2, true);
    if (!send(out) || !readPacket(pk)) return false;
    return std::string(pk.begin(), pk.end()).find("AUTH_SVR_RESPONSE") != std::string::npos;
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
    uint8_t mode = data[0] % 4; // 0 raw packets, 1 DATA before the negotiation, 2 after it, 3 logged on
    std::vector<uint8_t> rest(data + 1, data + size);
    if (mode == 0) {
        stream.insert(stream.end(), rest.begin(), rest.end()); // a raw packet stream
    } else {
        if (mode >= 2) {
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
    std::vector<uint8_t> requests;
    if (mode == 3) { // the logon goes first, answer by answer; the fuzzed requests follow
        size_t framed = stream.size();
        for (size_t at = 0; at < rest.size(); at += 4000)
            framed -= std::min<size_t>(4000, rest.size() - at) + 10;
        requests.assign(stream.begin() + long(framed), stream.end());
        stream.resize(framed);
    }
    std::thread client([&] {
        size_t sent = 0;
        if (mode == 3) {
            if (::send(fds[0], stream.data(), stream.size(), MSG_NOSIGNAL) !=
                    static_cast<ssize_t>(stream.size()) ||
                !ClientLogOn(fds[0])) {
                ::shutdown(fds[0], SHUT_RDWR);
                return;
            }
            stream = requests;
        }
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
