#include "tests/emulator/EmuTestClient.h"

#include "emulator/EmuCrypt.h"

#include <arpa/inet.h>
#include <cmath>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace emutest {

namespace {
const uint8_t kTypes[685] = {
    0x01, 0x01, 0x01, 0x00, 0x02, 0x02, 0x0A, 0x00, 0x08, 0x08, 0x01, 0x00, 0x0C, 0x0C, 0x0A, 0x00, 0x17,
    0x17, 0x01, 0x00, 0x18, 0x18, 0x01, 0x00, 0x19, 0x19, 0x01, 0x00, 0x1A, 0x1A, 0x01, 0x00, 0x1B, 0x1B,
    0x01, 0x00, 0x1C, 0x1C, 0x01, 0x00, 0x1D, 0x1D, 0x01, 0x00, 0x1E, 0x1E, 0x01, 0x00, 0x1F, 0x1F, 0x01,
    0x00, 0x20, 0x20, 0x01, 0x00, 0x21, 0x21, 0x01, 0x00, 0x0A, 0x0A, 0x01, 0x00, 0x0B, 0x0B, 0x01, 0x00,
    0x22, 0x22, 0x01, 0x00, 0x23, 0x23, 0x01, 0x00, 0x24, 0x24, 0x01, 0x00, 0x25, 0x25, 0x01, 0x00, 0x26,
    0x26, 0x01, 0x00, 0x28, 0x28, 0x01, 0x00, 0x29, 0x29, 0x01, 0x00, 0x2A, 0x2A, 0x01, 0x00, 0x2B, 0x2B,
    0x01, 0x00, 0x2C, 0x2C, 0x01, 0x00, 0x2D, 0x2D, 0x01, 0x00, 0x2E, 0x2E, 0x01, 0x00, 0x2F, 0x2F, 0x01,
    0x00, 0x30, 0x30, 0x01, 0x00, 0x31, 0x31, 0x01, 0x00, 0x32, 0x32, 0x01, 0x00, 0x33, 0x33, 0x01, 0x00,
    0x34, 0x34, 0x01, 0x00, 0x35, 0x35, 0x01, 0x00, 0x36, 0x36, 0x01, 0x00, 0x37, 0x37, 0x01, 0x00, 0x38,
    0x38, 0x01, 0x00, 0x39, 0x39, 0x01, 0x00, 0x3A, 0x3A, 0x01, 0x00, 0x3B, 0x3B, 0x01, 0x00, 0x3C, 0x3C,
    0x01, 0x00, 0x3D, 0x3D, 0x01, 0x00, 0x3E, 0x3E, 0x01, 0x00, 0x3F, 0x3F, 0x01, 0x00, 0x40, 0x40, 0x01,
    0x00, 0x41, 0x41, 0x01, 0x00, 0x42, 0x42, 0x01, 0x00, 0x43, 0x43, 0x01, 0x00, 0x47, 0x47, 0x01, 0x00,
    0x48, 0x48, 0x01, 0x00, 0x49, 0x49, 0x01, 0x00, 0x4B, 0x4B, 0x01, 0x00, 0x4D, 0x4D, 0x01, 0x00, 0x4E,
    0x4E, 0x01, 0x00, 0x4F, 0x4F, 0x01, 0x00, 0x50, 0x50, 0x01, 0x00, 0x51, 0x51, 0x01, 0x00, 0x52, 0x52,
    0x01, 0x00, 0x53, 0x53, 0x01, 0x00, 0x54, 0x54, 0x01, 0x00, 0x55, 0x55, 0x01, 0x00, 0x56, 0x56, 0x01,
    0x00, 0x57, 0x57, 0x01, 0x00, 0x59, 0x59, 0x01, 0x00, 0x5A, 0x5A, 0x01, 0x00, 0x5C, 0x5C, 0x01, 0x00,
    0x5D, 0x5D, 0x01, 0x00, 0x62, 0x62, 0x01, 0x00, 0x63, 0x63, 0x01, 0x00, 0x67, 0x67, 0x01, 0x00, 0x6B,
    0x6B, 0x01, 0x00, 0x75, 0x75, 0x01, 0x00, 0x78, 0x78, 0x01, 0x00, 0x7C, 0x7C, 0x01, 0x00, 0x7D, 0x7D,
    0x01, 0x00, 0x7E, 0x7E, 0x01, 0x00, 0x7F, 0x7F, 0x01, 0x00, 0x80, 0x80, 0x01, 0x00, 0x81, 0x81, 0x01,
    0x00, 0x82, 0x82, 0x01, 0x00, 0x83, 0x83, 0x01, 0x00, 0x84, 0x84, 0x01, 0x00, 0x85, 0x85, 0x01, 0x00,
    0x86, 0x86, 0x01, 0x00, 0x87, 0x87, 0x01, 0x00, 0x88, 0x88, 0x01, 0x00, 0x89, 0x89, 0x01, 0x00, 0x8A,
    0x8A, 0x01, 0x00, 0x8B, 0x8B, 0x01, 0x00, 0x8C, 0x8C, 0x01, 0x00, 0x8D, 0x8D, 0x01, 0x00, 0x8E, 0x8E,
    0x01, 0x00, 0x8F, 0x8F, 0x01, 0x00, 0x90, 0x90, 0x01, 0x00, 0x91, 0x91, 0x01, 0x00, 0x94, 0x94, 0x01,
    0x00, 0x95, 0x95, 0x01, 0x00, 0x96, 0x96, 0x01, 0x00, 0x97, 0x97, 0x01, 0x00, 0x9D, 0x9D, 0x01, 0x00,
    0x9E, 0x9E, 0x01, 0x00, 0x9F, 0x9F, 0x01, 0x00, 0xA0, 0xA0, 0x01, 0x00, 0xA1, 0xA1, 0x01, 0x00, 0xA2,
    0xA2, 0x01, 0x00, 0xA3, 0xA3, 0x01, 0x00, 0xA4, 0xA4, 0x01, 0x00, 0xA5, 0xA5, 0x01, 0x00, 0xA6, 0xA6,
    0x01, 0x00, 0xA7, 0xA7, 0x01, 0x00, 0xA8, 0xA8, 0x01, 0x00, 0xA9, 0xA9, 0x01, 0x00, 0xAA, 0xAA, 0x01,
    0x00, 0xAB, 0xAB, 0x01, 0x00, 0xAD, 0xAD, 0x01, 0x00, 0xAE, 0xAE, 0x01, 0x00, 0xAF, 0xAF, 0x01, 0x00,
    0xB0, 0xB0, 0x01, 0x00, 0xB1, 0xB1, 0x01, 0x00, 0xB4, 0xB4, 0x01, 0x00, 0xB5, 0xB5, 0x01, 0x00, 0xE7,
    0xE7, 0x01, 0x00, 0x03, 0x02, 0x0A, 0x00, 0x04, 0x02, 0x0A, 0x00, 0x05, 0x01, 0x01, 0x00, 0x06, 0x02,
    0x0A, 0x00, 0x07, 0x02, 0x0A, 0x00, 0x09, 0x01, 0x01, 0x00, 0x0D, 0x00, 0x0E, 0x00, 0x0F, 0x17, 0x01,
    0x00, 0x10, 0x00, 0x11, 0x00, 0x12, 0x00, 0x13, 0x00, 0x14, 0x00, 0x15, 0x00, 0x16, 0x00, 0x27, 0x78,
    0x01, 0x5D, 0x01, 0x26, 0x01, 0x00, 0x3A, 0x00, 0x44, 0x02, 0x0A, 0x00, 0x45, 0x00, 0x46, 0x00, 0x4A,
    0x00, 0x4C, 0x00, 0x58, 0x00, 0x5B, 0x02, 0x0A, 0x00, 0x5E, 0x01, 0x01, 0x00, 0x5F, 0x17, 0x01, 0x00,
    0x60, 0x60, 0x01, 0x00, 0x61, 0x60, 0x01, 0x00, 0x64, 0x00, 0x65, 0x00, 0x66, 0x66, 0x01, 0x00, 0x68,
    0x00, 0x69, 0x00, 0x6A, 0x6A, 0x01, 0x00, 0x6B, 0x00, 0x6C, 0x6D, 0x01, 0x00, 0x6D, 0x6D, 0x01, 0x00,
    0x6E, 0x6F, 0x01, 0x00, 0x6F, 0x6F, 0x01, 0x00, 0x70, 0x70, 0x01, 0x00, 0x71, 0x71, 0x01, 0x00, 0x72,
    0x72, 0x01, 0x00, 0x73, 0x73, 0x01, 0x00, 0x74, 0x66, 0x01, 0x00, 0x76, 0x00, 0x77, 0x00, 0x79, 0x00,
    0x7A, 0x00, 0x7B, 0x00, 0x88, 0x00, 0x92, 0x92, 0x01, 0x00, 0x93, 0x00, 0x98, 0x02, 0x0A, 0x00, 0x99,
    0x02, 0x0A, 0x00, 0x9A, 0x02, 0x0A, 0x00, 0x9B, 0x01, 0x01, 0x00, 0x9C, 0x0C, 0x0A, 0x00, 0xAC, 0x02,
    0x0A, 0x00, 0xAE, 0x00, 0x00};

std::string Hex(const std::string& s) {
    static const char* d = "0123456789ABCDEF";
    std::string r;
    for (unsigned char c : s) {
        r += d[c >> 4];
        r += d[c & 15];
    }
    return r;
}
} // namespace

TestClient::~TestClient() {
    if (fd_ >= 0) ::close(fd_);
}

void TestClient::SendRaw(const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t r = ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (r <= 0) throw std::runtime_error("send failed");
        done += static_cast<size_t>(r);
    }
}

void TestClient::SendData(const std::string& payload) {
    // DATA packets of at most 2048 bytes, as the client library sends them
    size_t off = 0;
    do {
        size_t n = std::min<size_t>(payload.size() - off, 2038);
        std::string p(10, '\0');
        p[0] = static_cast<char>((n + 10) >> 8);
        p[1] = static_cast<char>(n + 10);
        p[4] = 6;
        p += payload.substr(off, n);
        SendRaw(p);
        off += n;
    } while (off < payload.size());
}

std::string TestClient::ReadPacket(int& type) {
    auto recvAll = [&](char* p, size_t n) {
        while (n) {
            if (rpos_ < rlen_) {
                size_t k = std::min(n, rlen_ - rpos_);
                std::memcpy(p, rbuf_.data() + rpos_, k);
                rpos_ += k;
                p += k;
                n -= k;
                continue;
            }
            ssize_t r = ::recv(fd_, rbuf_.data(), rbuf_.size(), 0);
            if (r <= 0) throw std::runtime_error("connection closed");
            rpos_ = 0;
            rlen_ = static_cast<size_t>(r);
        }
    };
    char h[8];
    recvAll(h, 8);
    size_t len = (static_cast<unsigned char>(h[0]) << 8) | static_cast<unsigned char>(h[1]);
    if (len < 8 || len > 2048) throw std::runtime_error("bad packet length " + std::to_string(len));
    type = static_cast<unsigned char>(h[4]);
    std::string body(len - 8, '\0');
    recvAll(body.data(), body.size());
    return std::string(h, 8) + body;
}

void TestClient::Skip(size_t n) {
    while (n > 0) {
        if (inPos_ >= in_.size()) {
            U8Slow();
            --inPos_;
        }
        size_t k = std::min(n, in_.size() - inPos_);
        inPos_ += k;
        n -= k;
    }
}

uint8_t TestClient::U8Slow() {
    while (inPos_ >= in_.size()) {
        int type;
        std::string p = ReadPacket(type);
        if (type == 12) { // marker: answer with a reset, skip up to the server's reset
            bool resetPending =
                p.size() >= 11 && static_cast<uint8_t>(p[8]) == 1 && static_cast<uint8_t>(p[10]) != 2;
            SendRaw(std::string("\x00\x0b\x00\x00\x0c\x00\x00\x00\x01\x00\x02", 11));
            while (resetPending) {
                std::string q = ReadPacket(type);
                if (type == 12 && q.size() >= 11 && static_cast<uint8_t>(q[10]) == 2) resetPending = false;
            }
            continue;
        }
        if (type != 6) throw std::runtime_error("unexpected packet type " + std::to_string(type));
        in_.swap(p);
        inPos_ = 10;
    }
    return static_cast<uint8_t>(in_[inPos_++]);
}

long long TestClient::Int() {
    uint8_t l = U8();
    bool neg = l & 0x80;
    l &= 0x7F;
    if (l > 8) throw std::runtime_error("integer length " + std::to_string(l));
    long long v = 0;
    for (int i = 0; i < l; ++i)
        v = (v << 8) | U8();
    return neg ? -v : v;
}

std::string TestClient::Clr() {
    uint8_t n = U8();
    std::string s;
    if (n == 0) return s;
    if (n == 0xFE) {
        for (;;) {
            uint8_t k = U8();
            if (k == 0) break;
            for (int i = 0; i < k; ++i)
                s += static_cast<char>(U8());
        }
        return s;
    }
    for (int i = 0; i < n; ++i)
        s += static_cast<char>(U8());
    return s;
}

std::string TestClient::MessageText() {
    uint8_t n = U8();
    if (n == 253) throw std::runtime_error("message length byte 253");
    if (n == 0 || n == 255) return {};
    if (n == 254) {
        --inPos_;
        return Clr();
    }
    std::string s;
    for (int i = 0; i < n; ++i)
        s += static_cast<char>(U8());
    return s;
}

Status TestClient::ReadStatus() {
    Status s;
    s.rows = Int();
    s.code = static_cast<int>(Int());
    Int();
    Int();
    Int();
    s.pos = static_cast<int>(Int());
    s.commandType = U8();
    U8();
    Int();
    Int();
    U8();
    U8();
    Int();
    Int();
    U8();
    Int();
    Int();
    Int();
    U8();
    U8();
    Int();
    Int();
    if (s.code) s.text = MessageText();
    return s;
}

void TestClient::WUB4(std::string& m, uint32_t v) {
    if (v == 0) {
        m += '\0';
        return;
    }
    std::string b;
    for (int sh = 24; sh >= 0; sh -= 8) {
        uint8_t x = static_cast<uint8_t>(v >> sh);
        if (b.empty() && x == 0) continue;
        b += static_cast<char>(x);
    }
    m += static_cast<char>(b.size());
    m += b;
}

void TestClient::WUB2(std::string& m, uint16_t v) {
    if (v == 0) {
        m += '\0';
        return;
    }
    m += static_cast<char>(v & 0xFF);
    m += static_cast<char>(v >> 8);
}

void TestClient::WClr(std::string& m, const std::string& s) {
    if (s.size() <= 64) {
        m += static_cast<char>(s.size());
        m += s;
        return;
    }
    m += '\xFE';
    for (size_t i = 0; i < s.size(); i += 64) {
        std::string c = s.substr(i, 64);
        m += static_cast<char>(c.size());
        m += c;
    }
    m += '\0';
}

int TestClient::Connect(uint16_t port, const std::string& sid, std::string* detail, bool followResend) {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
        throw std::runtime_error("connect failed");
    int one = 1;
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    std::string desc = "(DESCRIPTION=(ADDRESS=(PROTOCOL=tcp)(HOST=127.0.0.1)(PORT=" + std::to_string(port) +
                       "))(CONNECT_DATA=(SID=" + sid + ")))";
    std::string p(34, '\0');
    size_t len = 34 + desc.size();
    p[0] = static_cast<char>(len >> 8);
    p[1] = static_cast<char>(len);
    p[4] = 1;
    p[8] = 0x01;
    p[9] = 0x33;
    p[10] = 0x01;
    p[11] = 0x2C;
    p[14] = 0x08; // sdu 2048
    p[15] = 0x00;
    p[16] = 0x7F;
    p[17] = 0xFF;
    p[18] = 0x7F;
    p[19] = 0x08;
    p[22] = 0x01;
    p[24] = static_cast<char>(desc.size() >> 8);
    p[25] = static_cast<char>(desc.size());
    p[27] = 34;
    p[30] = 0x04;
    p[32] = 4;
    p += desc;
    for (;;) {
        SendRaw(p);
        int type;
        std::string r = ReadPacket(type);
        if (type == 11 && followResend) continue;
        if (detail && r.size() > 10) *detail = r.substr(10);
        return type;
    }
}

int TestClient::Negotiate() {
    std::string m;
    m += '\x01';
    m += std::string("\x06\x05\x04\x03\x02\x01\x00", 7);
    m += std::string("NET_TTC-8.1.0\0", 14);
    SendData(m);
    if (U8() != 1) throw std::runtime_error("protocol reply expected");
    protocol = U8();
    U8();
    for (int i = 0; i < 50 && U8() != 0; ++i) {
    }
    U8();
    U8(); // charset, two bytes
    U8();
    int n = U8() | (U8() << 8);
    for (int i = 0; i < n * 5; ++i)
        U8();
    if (protocol >= 5) {
        int l = (U8() << 8) | U8();
        for (int i = 0; i < l; ++i)
            U8();
    }
    if (protocol >= 6)
        for (int k = 0; k < 2; ++k) {
            int c = U8();
            for (int i = 0; i < c; ++i)
                U8();
        }
    serverVersion = protocol == 4 ? 7230 : protocol == 5 ? 8030 : 8100;
    m.clear();
    m += '\x02';
    WUB2(m, 178);
    WUB2(m, 178);
    m += '\x02';
    if (protocol >= 6) {
        m += '\x15';
        m += std::string(17, '\0') + '\x03' + std::string(3, '\0');
        m += '\x01';
        m += '\x02';
    }
    m.append(reinterpret_cast<const char*>(kTypes), sizeof kTypes);
    SendData(m);
    if (U8() != 2) throw std::runtime_error("data-type reply expected");
    int zeros = 0;
    while (zeros < 2)
        zeros = U8() == 0 ? zeros + 1 : 0;
    return protocol;
}

Status TestClient::Logon(const std::string& user, const std::string& password) {
    auto message = [&](bool phase1, const std::string& encrypted) {
        std::string m = "\x03";
        m += static_cast<char>(phase1 ? 82 : 81);
        m += '\0';
        m += static_cast<char>(!user.empty());
        WUB4(m, static_cast<uint32_t>(user.size()));
        m += static_cast<char>(!encrypted.empty());
        WUB4(m, static_cast<uint32_t>(encrypted.size()));
        WUB4(m, 0);
        WUB4(m, 0);
        WUB4(m, 0);
        m += '\0';
        const std::string info[5] = {"testhost", "testhost", "tester", "1:1", "emu_tests"};
        for (int i = 0; i < 3; ++i) {
            m += '\x01';
            WUB4(m, static_cast<uint32_t>(info[i].size()));
        }
        WUB4(m, 4096);
        for (int i = 3; i < 5; ++i) {
            m += '\x01';
            WUB4(m, static_cast<uint32_t>(info[i].size()));
        }
        WUB2(m, 0);
        WUB4(m, 0);
        m += '\0';
        WUB4(m, 0);
        m += static_cast<char>(phase1);
        WUB4(m, 16);
        m += static_cast<char>(phase1);
        if (!user.empty()) WClr(m, user);
        if (!encrypted.empty()) WClr(m, encrypted);
        for (const auto& s : info)
            WClr(m, s);
        SendData(m);
    };
    message(true, "");
    std::string key;
    for (;;) {
        uint8_t t = U8();
        if (t == 8) {
            Int();
            uint8_t n = U8();
            for (int i = 0; i < n; ++i)
                key += static_cast<char>(U8());
        } else if (t == 4) {
            Status s = ReadStatus();
            if (s.code) return s;
            break;
        } else {
            throw std::runtime_error("unexpected logon reply " + std::to_string(t));
        }
    }
    std::string u = user, p = password;
    vemu::Block8 hash = vemu::PasswordHash(u, p);
    vemu::Block8 sk = vemu::DecryptSessionKeyForTest(hash, key);
    message(false, vemu::EncryptPasswordForTest(sk, p));
    if (U8() != 4) throw std::runtime_error("status expected");
    return ReadStatus();
}

int TestClient::OpenCursor() {
    std::string m("\x03\x02\x00\x01\x00", 5);
    SendData(m);
    int id = 0;
    for (;;) {
        uint8_t t = U8();
        if (t == 8)
            id = static_cast<int>(Int());
        else if (t == 9)
            return id;
        else if (t == 4) {
            ReadStatus();
            return 0;
        }
    }
}

void TestClient::WDesc(std::string& m, const Item& it) {
    int w = it.type, z = it.size, f = 1;
    if (w == 3 || w == 4) {
        w = 2;
        z = 22;
    }
    if (w == 96) f = 0x21;
    if (w == 23) f = 3;
    m += static_cast<char>(w);
    m += static_cast<char>(f);
    m += '\0';
    m += '\0';
    WUB4(m, static_cast<uint32_t>(z));
    WUB4(m, 0);
    WUB4(m, 0);
    if (serverVersion >= 8000) m += std::string("\x00\x00\x00\x01", 4);
}

void TestClient::WBindRow(std::string& m, const std::vector<Item>& row, const std::vector<uint8_t>* marks) {
    m += '\x07';
    for (size_t k = 0; k < row.size(); ++k) {
        if (marks && !((*marks)[k] & 0x20)) continue;
        if (!row[k].value) {
            m += '\0';
            continue;
        }
        if ((row[k].type == 112 || row[k].type == 113) && serverVersion >= 8000 && protocol >= 6)
            WUB4(m, static_cast<uint32_t>(row[k].value->size()));
        WClr(m, *row[k].value);
    }
}

Status TestClient::Parse(int cursor, const std::string& sql) {
    std::string m("\x03\x47\x00", 3);
    WUB4(m, 0x0001 | 0x8000);
    WUB4(m, static_cast<uint32_t>(cursor));
    m += '\x01';
    WUB4(m, static_cast<uint32_t>(sql.size()));
    m += '\0';
    WUB4(m, 0);
    m += '\x01';
    WUB4(m, 7);
    m += '\x01';
    WUB4(m, 2);
    m += '\0';
    m += '\0';
    WUB4(m, 0);
    m += '\0';
    WUB4(m, 0);
    WClr(m, sql);
    WUB4(m, 1);
    for (int i = 0; i < 6; ++i)
        WUB4(m, 0);
    SendData(m);
    for (;;) {
        uint8_t t = U8();
        if (t == 4) return ReadStatus();
        if (t == 8) {
            long long n = Int();
            for (long long i = 0; i < n; ++i)
                Int();
        } else {
            throw std::runtime_error("unexpected reply " + std::to_string(t));
        }
    }
}

Status TestClient::Execute(int cursor, const std::vector<Item>& binds,
                           const std::vector<std::vector<Item>>& rows, bool plsql,
                           std::vector<std::optional<std::string>>* outBinds,
                           std::vector<uint8_t>* marksOut) {
    std::string m("\x03\x47\x00", 3);
    uint32_t opts = 0x20 | (plsql ? 0x400 : 0x8000) | (binds.empty() ? 0 : 0x08);
    WUB4(m, opts);
    WUB4(m, static_cast<uint32_t>(cursor));
    m += '\0';
    WUB4(m, 0);
    m += '\0';
    WUB4(m, 0);
    m += '\x01';
    WUB4(m, 7);
    m += '\x01';
    WUB4(m, 2);
    m += '\0';
    m += '\0';
    WUB4(m, 0);
    m += static_cast<char>(!binds.empty());
    WUB4(m, static_cast<uint32_t>(binds.size()));
    WUB4(m, 1);
    WUB4(m, rows.empty() ? 1 : static_cast<uint32_t>(rows.size()));
    for (int i = 0; i < 5; ++i)
        WUB4(m, 0);
    for (const Item& b : binds)
        WDesc(m, b);
    if (!binds.empty() && !plsql) {
        if (rows.empty()) WBindRow(m, binds, nullptr);
        for (const auto& r : rows)
            WBindRow(m, r, nullptr);
    }
    SendData(m);
    std::vector<uint8_t> marks;
    for (;;) {
        uint8_t t = U8();
        if (t == 4) return ReadStatus();
        if (t == 11) {
            U8();
            long long n = serverVersion >= 8000 ? Int() : U8();
            Int();
            Int();
            Int();
            marks.clear();
            for (long long k = 0; k < n; ++k)
                marks.push_back(U8());
            if (marksOut) *marksOut = marks;
            bool anyIn = false;
            for (uint8_t x : marks)
                anyIn |= (x & 0x20) != 0;
            if (anyIn) {
                std::string r;
                WBindRow(r, binds, &marks);
                SendData(r);
            }
        } else if (t == 7) {
            if (outBinds) outBinds->assign(binds.size(), std::nullopt);
            for (size_t k = 0; k < binds.size(); ++k) {
                if (!(marks[k] & 0x10)) continue;
                std::string v;
                if ((binds[k].type == 112 || binds[k].type == 113) && protocol >= 6) {
                    if (Int() == 0) {
                        Int();
                        continue;
                    }
                }
                v = Clr();
                long long ind = Int();
                if (outBinds && ind == 0 && !v.empty()) (*outBinds)[k] = v;
            }
        } else if (t == 8) {
            long long n = Int();
            for (long long i = 0; i < n; ++i)
                Int();
        } else {
            throw std::runtime_error("unexpected reply " + std::to_string(t));
        }
    }
}

Status TestClient::FetchCount(int cursor, const std::vector<Item>& defines, int rows, long long& count,
                              long long& bytes) {
    SendData(FetchRequest(cursor, defines, rows));
    for (;;) {
        uint8_t t = U8();
        if (t == 4) return ReadStatus();
        if (t == 6) {
            U8();
            if (serverVersion >= 8000)
                Int();
            else
                U8();
            Int();
            Int();
            if (Int() != 0) throw std::runtime_error("row header with non-zero last field");
        } else if (t == 7) {
            for (size_t k = 0; k < defines.size(); ++k) {
                uint8_t n = U8();
                if (n == 0xFE) {
                    for (uint8_t c = U8(); c != 0; c = U8()) {
                        Skip(c);
                        bytes += c;
                    }
                } else {
                    Skip(n);
                    bytes += n;
                }
                Int();
            }
            ++count;
        } else {
            throw std::runtime_error("unexpected fetch reply " + std::to_string(t));
        }
    }
}

std::string TestClient::FetchRequest(int cursor, const std::vector<Item>& defines, int rows) {
    std::string m("\x03\x47\x00", 3);
    WUB4(m, 0x40 | 0x8000 | (defines.empty() ? 0 : 0x10));
    WUB4(m, static_cast<uint32_t>(cursor));
    m += '\0';
    WUB4(m, 0);
    m += '\0';
    WUB4(m, 0);
    m += '\x01';
    WUB4(m, 7);
    m += '\x01';
    WUB4(m, 2);
    m += '\0';
    m += static_cast<char>(!defines.empty());
    WUB4(m, static_cast<uint32_t>(defines.size()));
    m += '\0';
    WUB4(m, 0);
    WUB4(m, 1);
    WUB4(m, static_cast<uint32_t>(rows));
    for (int i = 0; i < 5; ++i)
        WUB4(m, 0);
    for (const Item& d : defines)
        WDesc(m, d);
    return m;
}

Status TestClient::Fetch(int cursor, const std::vector<Item>& defines, int rows, std::vector<Row>& out) {
    SendData(FetchRequest(cursor, defines, rows));
    for (;;) {
        uint8_t t = U8();
        if (t == 4) return ReadStatus();
        if (t == 6) {
            U8();
            if (serverVersion >= 8000)
                Int();
            else
                U8();
            Int();
            Int();
            if (Int() != 0) throw std::runtime_error("row header with non-zero last field");
        } else if (t == 7) {
            Row r;
            for (const Item& d : defines) {
                if ((d.type == 112 || d.type == 113) && protocol >= 6) {
                    if (Int() == 0) {
                        Int();
                        r.push_back(std::nullopt);
                        continue;
                    }
                }
                std::string v = Clr();
                long long ind = Int();
                if (v.empty() || ind < 0)
                    r.push_back(std::nullopt);
                else
                    r.push_back(v);
            }
            out.push_back(std::move(r));
        } else {
            throw std::runtime_error("unexpected fetch reply " + std::to_string(t));
        }
    }
}

Status TestClient::Describe(int cursor, const std::string& text, std::vector<Column>& cols) {
    std::string m("\x03\x62\x00\x07", 4);
    WUB4(m, static_cast<uint32_t>(cursor));
    m += static_cast<char>(!text.empty());
    WUB4(m, static_cast<uint32_t>(text.size()));
    WUB4(m, 2);
    m += '\x01';
    m += '\x01';
    if (!text.empty()) WClr(m, text);
    SendData(m);
    for (;;) {
        uint8_t t = U8();
        if (t == 4) return ReadStatus();
        if (t == 9) return Status();
        if (t != 8) throw std::runtime_error("unexpected describe reply");
        long long n = Int();
        for (long long i = 0; i < n; ++i) {
            Column c;
            c.type = U8();
            U8();
            c.precision = U8();
            c.scale = static_cast<int8_t>(c.type == 2 ? Int() : U8());
            c.size = static_cast<int>(Int());
            Int();
            Int();
            if (serverVersion >= 8000) {
                if (Int() > 0) Clr();
                Int();
                Int();
                U8();
            }
            c.nullable = U8() != 0;
            U8();
            if (Int() > 0) c.name = Clr();
            for (int k = 0; k < 2; ++k)
                if (Int() > 0) Clr();
            cols.push_back(c);
        }
    }
}

Status TestClient::Describe43(int cursor, std::vector<Column>& cols) {
    long long p = 1;
    while (p != 0) {
        std::string m("\x03\x2b\x00", 3);
        WUB4(m, static_cast<uint32_t>(cursor));
        WUB4(m, static_cast<uint32_t>(p));
        m += "\x01\x01";
        WUB4(m, 32);
        m += "\x01\x01";
        WUB4(m, 960);
        m += '\x01';
        SendData(m);
        bool end = false;
        while (!end) {
            uint8_t t = U8();
            if (t == 4) return ReadStatus();
            if (t == 9) {
                end = true;
                continue;
            }
            if (t != 8) continue;
            long long total = Int(), n = Int();
            std::vector<int> lens;
            for (long long i = 0; i < n; ++i) {
                Column c;
                c.type = U8();
                U8();
                c.precision = U8();
                c.scale = static_cast<int8_t>(c.type == 2 ? Int() : U8());
                c.size = static_cast<int>(Int());
                Int();
                Int();
                if (serverVersion >= 8000) {
                    if (Int() > 0) Clr();
                    Int();
                    Int();
                    U8();
                }
                c.nullable = U8() != 0;
                lens.push_back(U8());
                cols.push_back(c);
            }
            long long l = Int();
            if (l > 960 || (l == 0 && n > 0)) throw std::runtime_error("bad names block length");
            std::string names = Clr();
            size_t pos = 0;
            for (long long i = 0; i < n; ++i) {
                cols[cols.size() - static_cast<size_t>(n) + static_cast<size_t>(i)].name =
                    names.substr(pos, static_cast<size_t>(lens[static_cast<size_t>(i)]));
                pos += static_cast<size_t>(lens[static_cast<size_t>(i)]) + 1;
            }
            p += n;
            if (p - 1 == total) p = 0;
        }
    }
    return Status();
}

Status TestClient::Close(int cursor) {
    std::string m("\x03\x08\x00", 3);
    WUB4(m, static_cast<uint32_t>(cursor));
    SendData(m);
    uint8_t t = U8();
    if (t == 4) return ReadStatus();
    return Status();
}

Status TestClient::Commit() {
    SendData(std::string("\x03\x0e\x00", 3));
    uint8_t t = U8();
    return t == 4 ? ReadStatus() : Status();
}

Status TestClient::Rollback() {
    SendData(std::string("\x03\x0f\x00", 3));
    uint8_t t = U8();
    return t == 4 ? ReadStatus() : Status();
}

Status TestClient::Logoff() {
    SendData(std::string("\x03\x09\x00", 3));
    uint8_t t = U8();
    return t == 4 ? ReadStatus() : Status();
}

void TestClient::SendBreak() {
    SendRaw(std::string("\x00\x0b\x00\x00\x0c\x00\x00\x00\x01\x00\x01", 11));
}

void TestClient::Disconnect() {
    if (fd_ < 0) return;
    try {
        SendRaw(std::string("\x00\x0a\x00\x00\x06\x00\x00\x00\x00\x40", 10));
    } catch (...) {
    }
    ::close(fd_);
    fd_ = -1;
}

Status TestClient::Query(const std::string& sql, std::vector<Row>& rows, int ncols,
                         const std::vector<Item>& binds) {
    int c = OpenCursor();
    Status s = Parse(c, sql);
    if (s.code) {
        Close(c);
        return s;
    }
    s = Execute(c, binds);
    if (s.code) {
        Close(c);
        return s;
    }
    std::vector<Item> defs(static_cast<size_t>(ncols));
    for (auto& d : defs) {
        d.type = 1;
        d.size = 4000;
    }
    for (;;) {
        s = Fetch(c, defs, 100, rows);
        if (s.code) break;
    }
    Close(c);
    if (s.code == 1403) s.code = 0;
    return s;
}

Status TestClient::Exec(const std::string& sql, const std::vector<Item>& binds) {
    int c = OpenCursor();
    Status s = Parse(c, sql);
    if (!s.code) s = Execute(c, binds);
    Close(c);
    return s;
}

std::string TestClient::Number(long long v) {
    // Oracle NUMBER form of an integer
    if (v == 0) return std::string(1, '\x80');
    bool neg = v < 0;
    unsigned long long u =
        neg ? 0ULL - static_cast<unsigned long long>(v) : static_cast<unsigned long long>(v);
    std::vector<int> digits;
    while (u) {
        digits.insert(digits.begin(), static_cast<int>(u % 100));
        u /= 100;
    }
    int e = static_cast<int>(digits.size()) - 1;
    while (digits.size() > 1 && digits.back() == 0)
        digits.pop_back();
    std::string s;
    if (!neg) {
        s += static_cast<char>(0xC1 + e);
        for (int d : digits)
            s += static_cast<char>(d + 1);
    } else {
        s += static_cast<char>(static_cast<uint8_t>(~(0xC1 + e)));
        for (int d : digits)
            s += static_cast<char>(101 - d);
        if (digits.size() < 20) s += static_cast<char>(102);
    }
    return s;
}

long long TestClient::ToInt(const std::string& b) {
    return static_cast<long long>(std::llround(ToDouble(b)));
}

double TestClient::ToDouble(const std::string& b) {
    if (b.empty() || static_cast<uint8_t>(b[0]) == 0x80) return 0;
    bool pos = static_cast<uint8_t>(b[0]) & 0x80;
    int e = pos ? (static_cast<uint8_t>(b[0]) & 0x7F) - 65 : ((~static_cast<uint8_t>(b[0])) & 0x7F) - 65;
    double x = 0;
    size_t n = b.size();
    if (!pos && static_cast<uint8_t>(b[n - 1]) == 102) --n;
    int k = 0;
    for (size_t i = 1; i < n; ++i, ++k) {
        int d = pos ? static_cast<uint8_t>(b[i]) - 1 : 101 - static_cast<uint8_t>(b[i]);
        x += d * std::pow(100.0, e - k);
    }
    return pos ? x : -x;
}

std::string TestClient::NumberD(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.0f", v * 100);
    (void)Hex;
    long long cents = std::atoll(buf);
    // cents / 100 as NUMBER: integer part pairs then the cents pair
    if (cents % 100 == 0) return Number(cents / 100);
    std::string s = Number(cents);
    s[0] = static_cast<char>(cents > 0 ? static_cast<uint8_t>(s[0]) - 1 : static_cast<uint8_t>(s[0]) + 1);
    return s;
}

} // namespace emutest
