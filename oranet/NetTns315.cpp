#include "oranet/NetTns315.h"
#include "oranet/ConnectString.h"

#include "oranet/NetErrors.h"
#include "oranet/NetTransport.h"

#include <algorithm>
#include <cstring>

namespace oranet {

namespace {

void PutBE16(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v >> 8);
    p[1] = uint8_t(v);
}
void PutBE32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}
uint16_t BE16(const uint8_t* p) {
    return uint16_t((p[0] << 8) | p[1]);
}
uint32_t BE32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

[[noreturn]] void MalformedAccept() {
    throw std::runtime_error("Malformed ACCEPT packet");
}

} // namespace

// ---------------------------------------------------------------------------------------------------------
// CONNECT, ACCEPT, REFUSE

int WriteDualConnect(uint8_t* buf, int cap, std::string_view connectData, uint8_t packetFlags) {
    bool inline_ = connectData.size() <= size_t(MaxInlineConnectData);
    int length = CurrentConnectHeader + (inline_ ? int(connectData.size()) : 0);
    if (length > cap || connectData.size() > 0xFFFF)
        throw std::runtime_error("Connect descriptor too long (" + std::to_string(connectData.size()) +
                                 " bytes)");
    std::memset(buf, 0, size_t(length));
    PutBE16(buf, uint32_t(length));
    buf[4] = 1; // CONNECT
    buf[5] = packetFlags;
    PutBE16(buf + 8, tnsVersionOffered);
    PutBE16(buf + 10, tnsVersionLowest);
    PutBE16(buf + 12, 0x0001); // service options: don't care
    // The classic unit sizes for a classic listener; a current one reads the 4-byte fields at 58 and 62.
    PutBE16(buf + 14, 2048);
    PutBE16(buf + 16, 32767);
    PutBE16(buf + 18, 0x7F08);
    PutBE16(buf + 22, 1); // the value one in the sender's byte order
    PutBE16(buf + 24, uint32_t(connectData.size()));
    PutBE16(buf + 26, CurrentConnectHeader);
    PutBE32(buf + 28, 0); // the most connect data we take back: none
    // No network services of our own: the listener skips the exchange unless it requires one.
    buf[32] = naNoServices;
    buf[33] = naNoServices;
    PutBE32(buf + 58, OfferedLargeSdu);
    PutBE32(buf + 62, OfferedLargeTdu);
    // 66: compression off; 70: no out-of-band checks.
    if (inline_) std::memcpy(buf + CurrentConnectHeader, connectData.data(), connectData.size());
    return length;
}

TAcceptInfo ParseAccept(const uint8_t* p, int length) {
    TAcceptInfo a;
    if (length < 24) MalformedAccept();
    a.version = BE16(p + 8);
    a.options = BE16(p + 10);
    a.sdu = BE16(p + 12);
    a.tdu = BE16(p + 14);
    a.flags0 = p[22];
    a.flags1 = p[23];
    if (a.version >= tnsVersionCurrent) {
        if (length < 41) MalformedAccept();
        a.sdu = BE32(p + 32);
        a.tdu = BE32(p + 36);
        if (p[40] & 0x80) throw std::runtime_error("Network compression not supported");
        if (a.version >= tnsVersionDataFlags) {
            if (length < 45) MalformedAccept();
            a.flags2 = BE32(p + 41);
        }
        if (a.sdu < SmallestSdu) MalformedAccept();
    }
    return a;
}

std::string RefuseText(const uint8_t* p, int length) {
    if (length <= 12) return {};
    size_t announced = BE16(p + 10);
    size_t n = std::min(announced, size_t(length - 12));
    return std::string(reinterpret_cast<const char*>(p + 12), n);
}

int RefuseErrorNumber(std::string_view text) {
    size_t at = text.find("(ERR=");
    if (at == std::string_view::npos) return 0;
    int n = 0;
    for (size_t i = at + 5; i < text.size() && i < at + 12 && text[i] >= '0' && text[i] <= '9'; ++i)
        n = n * 10 + (text[i] - '0');
    return n;
}

// ---------------------------------------------------------------------------------------------------------
// Connection establishment offering both generations

std::string TNetTransport::TakeReceived() {
    std::string rest(reinterpret_cast<const char*>(rx_.get() + rxPos_), size_t(rxLen_ - rxPos_));
    DropReceived();
    return rest;
}

void TNetTransport::ConnectDual(const std::string& h, int p, const std::string& s, TAcceptInfo& accepted) {
    TConnectAddress a;
    a.host = h;
    a.port = p;
    a.sid = s;
    ConnectDual(a, accepted);
}

void TNetTransport::ConnectDual(const TConnectAddress& address, TAcceptInfo& accepted) {
    host = address.host;
    port = address.port;
    sid = address.sid;
    serviceName = address.serviceName;
    connectDataExtra = address.connectDataExtra;
    readPos_ = readLen_ = 0;
    writePos_ = DataStart;
    resetPending = false;
    DropReceived();
    std::string connectData = ConnectDescriptor(address);
    uint8_t packetFlags = 0;
    auto check = [&] {
        // Long connect data goes in a DATA packet of the classic size: it must fit there.
        if (connectData.size() > size_t(BufferSize - DataStart))
            throw std::runtime_error("Connect descriptor too long (" + std::to_string(connectData.size()) +
                                     " bytes, at most " + std::to_string(BufferSize - DataStart) + ")");
    };
    check();
    socket_->Open(host, port);
    for (;;) {
        int length = WriteDualConnect(buf_, BufferSize, connectData, packetFlags);
        SendPacket(length, tnsConnect, packetFlags);
        if (connectData.size() > size_t(MaxInlineConnectData)) {
            buf_[8] = buf_[9] = 0;
            std::memcpy(buf_ + DataStart, connectData.data(), connectData.size());
            SendPacket(DataStart + int(connectData.size()), tnsData, 0);
        }
        TPacketInfo r = ReadPacket();
        switch (r.type) {
        case tnsAccept:
            accepted = ParseAccept(in_, r.length);
            return;
        case tnsRefuse: {
            std::string text = RefuseText(in_, r.length);
            if (text.empty() && r.length >= 12 && BE16(in_ + 10) > 0) {
                // The refusal's text did not fit the packet: it follows in a DATA packet.
                TPacketInfo d = ReadPacket();
                if (d.type == tnsData && d.length > DataStart)
                    text.assign(reinterpret_cast<const char*>(in_ + DataStart), size_t(d.length - DataStart));
            }
            int n = RefuseErrorNumber(text);
            // A refusal by service name says which service, as the classic connect does.
            if (!serviceName.empty() && n != 12660 && n != 12650 && n != 28040)
                throw EConnectString(
                    ServiceRefusedText(n > 0 ? std::to_string(n) : std::string(), serviceName));
            if (n == 0 || n == 12505) throw ENetError(206);
            if (n == 12514) throw std::runtime_error("Service not known to the listener (ORA-12514)");
            if (n == 12660 || n == 12650)
                throw std::runtime_error("native network encryption not supported (ORA-" + std::to_string(n) +
                                         ")");
            throw std::runtime_error("Connection refused (ORA-" + std::to_string(n) + ")");
        }
        case tnsRedirect: {
            std::string data;
            if (r.length > DataStart) {
                size_t announced = BE16(in_ + 8);
                data.assign(reinterpret_cast<const char*>(in_ + DataStart),
                            std::min(announced, size_t(r.length - DataStart)));
            } else {
                // The redirect text follows in a DATA packet.
                TPacketInfo d = ReadPacket();
                if (d.type != tnsData) {
                    socket_->Close();
                    throw ENetError(205);
                }
                if (d.length > DataStart)
                    data.assign(reinterpret_cast<const char*>(in_ + DataStart), size_t(d.length - DataStart));
            }
            socket_->Close();
            DropReceived();
            size_t z = data.find('\0');
            std::string address = data.substr(0, z);
            if ((r.flags & pfRedirectSeparated) && z != std::string::npos) {
                connectData = data.substr(z + 1);
                while (!connectData.empty() && connectData.back() == '\0')
                    connectData.pop_back();
            }
            // Only the address is taken from the redirect; what to ask for stays in the connect data.
            std::string keepSid = sid;
            ApplyRedirect(address);
            sid = keepSid;
            check();
            packetFlags = pfRedirected;
            socket_->Open(host, port);
            break;
        }
        case tnsResend:
            break;
        default:
            socket_->Close();
            throw ENetError(205);
        }
    }
}

// ---------------------------------------------------------------------------------------------------------
// The packet layer after a current ACCEPT

TTnsLink::TTnsLink(TWinSocket& socket, const TAcceptInfo& accept, std::string_view pending)
    : socket_(socket), sdu_(std::clamp<uint32_t>(accept.sdu, SmallestSdu, OfferedLargeSdu)),
      endOfRequest_(accept.EndOfRequest()), pending_(pending) {
    packet_.bytes.reserve(sdu_);
}

void TTnsLink::ReceiveExact(uint8_t* dest, size_t count) {
    while (count > 0) {
        if (pendingPos_ < pending_.size()) {
            size_t n = std::min(count, pending_.size() - pendingPos_);
            std::memcpy(dest, pending_.data() + pendingPos_, n);
            pendingPos_ += n;
            dest += n;
            count -= n;
            continue;
        }
        int n = socket_.ReceiveBuf(dest, int(std::min<size_t>(count, 1 << 20)));
        if (n <= 0) throw ENetError(0);
        n = std::min(n, int(count)); // a socket never gives more than asked; do not trust it to
        dest += n;
        count -= size_t(n);
    }
}

void TTnsLink::SendData(const uint8_t* payload, size_t count, uint16_t lastFlags) {
    const size_t room = sdu_ - 10;
    std::vector<uint8_t> packet;
    packet.reserve(std::min<size_t>(count, room) + 10);
    do {
        size_t n = std::min(count, room);
        bool last = n == count;
        packet.assign(10, 0);
        PutBE32(packet.data(), uint32_t(n + 10));
        packet[4] = tnsData;
        PutBE16(packet.data() + 8, last ? lastFlags : 0);
        packet.insert(packet.end(), payload, payload + n);
        if (socket_.SendBuf(packet.data(), int(packet.size())) < int(packet.size())) throw ENetError(0);
        payload += n;
        count -= n;
    } while (count > 0);
}

const TTnsLink::TPacket& TTnsLink::ReadPacket() {
    uint8_t head[8];
    ReceiveExact(head, 8);
    uint32_t length = BE32(head);
    packet_.type = head[4];
    packet_.flags = head[5];
    if (packet_.type > 19) throw ENetError(204);
    if (length > sdu_) throw ENetError(203);
    if (length < 8) throw ENetError(207);
    packet_.bytes.resize(length);
    std::memcpy(packet_.bytes.data(), head, 8);
    ReceiveExact(packet_.bytes.data() + 8, length - 8);
    return packet_;
}

void TTnsLink::SendMarker(uint8_t value) {
    uint8_t m[11] = {0, 0, 0, 11, tnsMarker, 0, 0, 0, 1, 0, value};
    if (socket_.SendBuf(m, 11) < 11) throw ENetError(0);
}

std::string_view TTnsLink::ReadData(uint16_t& dataFlags) {
    for (;;) {
        const TPacket& p = ReadPacket();
        if (p.type == tnsData) {
            if (p.bytes.size() < 10) throw ENetError(207);
            dataFlags = BE16(p.bytes.data() + 8);
            return std::string_view(reinterpret_cast<const char*>(p.bytes.data() + 10), p.bytes.size() - 10);
        }
        if (p.type != tnsMarker) throw ENetError(205);
        // A break or a reset from the server: answer with a reset and drop everything up to its reset.
        auto isReset = [](const TPacket& q) {
            return q.type == tnsMarker && q.bytes.size() >= 11 && q.bytes[8] == 1 && q.bytes[10] == 2;
        };
        bool waitReset = !isReset(p);
        SendMarker(2);
        while (waitReset)
            waitReset = !isReset(ReadPacket());
    }
}

} // namespace oranet
