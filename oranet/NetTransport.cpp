#include "oranet/NetTransport.h"

#include "oranet/NetErrors.h"

#include <algorithm>

namespace oranet {

namespace {

void PutBE16(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v >> 8);
    p[1] = uint8_t(v);
}

} // namespace

TNetTransport::TNetTransport(std::unique_ptr<TWinSocket> socket)
    : socket_(socket ? std::move(socket) : std::make_unique<TWinSocket>()), rx_(new uint8_t[RxSize]) {}

TNetTransport::~TNetTransport() = default;

bool TNetTransport::Connected() const {
    return socket_->Connected();
}

void TNetTransport::CheckConnected() const {
    if (!socket_->Connected()) throw ENetError(200);
}

// ---------------------------------------------------------------------------------------------------------
// Packets

void TNetTransport::SendPacket(int length, uint8_t type, uint8_t flags) {
    PutBE16(buf_, uint32_t(length));
    buf_[2] = buf_[3] = 0;
    buf_[4] = type;
    buf_[5] = flags;
    buf_[6] = buf_[7] = 0;
    if (socket_->SendBuf(buf_, length) < length) throw ENetError(0);
}

void TNetTransport::ReceiveExact(void* dest, int count) {
    uint8_t* d = static_cast<uint8_t*>(dest);
    while (count > 0) {
        if (rxPos_ < rxLen_) {
            int n = std::min(count, rxLen_ - rxPos_);
            std::memcpy(d, rx_.get() + rxPos_, size_t(n));
            rxPos_ += n;
            d += n;
            count -= n;
            continue;
        }
        int n = socket_->ReceiveBuf(rx_.get(), RxSize);
        if (n <= 0) throw ENetError(0);
        rxPos_ = 0;
        rxLen_ = std::min(n, RxSize); // a socket never gives more than asked; do not trust it to
    }
}

TPacketInfo TNetTransport::ReadPacket() {
    // A packet that lies whole in the receive buffer is read where it is; any other is gathered.
    const uint8_t* head;
    if (rxLen_ - rxPos_ >= 8) {
        head = rx_.get() + rxPos_;
        rxPos_ += 8;
    } else {
        ReceiveExact(inBuf_, 8);
        head = inBuf_;
    }
    TPacketInfo p;
    p.length = (head[0] << 8) | head[1];
    p.type = head[4];
    p.flags = head[5];
    if (p.type > 19) throw ENetError(204);
    if (p.length > MaxPacket || p.length > sdu) throw ENetError(203);
    if (p.length < 8) throw ENetError(207);
    if (head != inBuf_ && rxLen_ - rxPos_ >= p.length - 8) {
        in_ = head;
        rxPos_ += p.length - 8;
        return p;
    }
    if (head != inBuf_) std::memcpy(inBuf_, head, 8);
    if (p.length > 8) ReceiveExact(inBuf_ + 8, p.length - 8);
    in_ = inBuf_;
    return p;
}

void TNetTransport::Flush(uint16_t dataFlags) {
    PutBE16(buf_ + 8, dataFlags);
    int len = writePos_;
    writePos_ = DataStart;
    SendPacket(len, tnsData, 0);
}

void TNetTransport::SendMarker(uint8_t value) {
    // The marker has its own image: a Break from another thread must not touch the packet buffer.
    uint8_t m[11] = {0, 11, 0, 0, tnsMarker, 0, 0, 0, 1, 0, value};
    if (largeMarkers) m[1] = 0, m[3] = 11;
    if (socket_->SendBuf(m, 11) < 11) throw ENetError(0);
}

bool TNetTransport::Break() {
    std::lock_guard<std::mutex> lock(markerMutex_);
    if (inCall_) {
        if (breakSent_) return true;
        CheckConnected();
        breakSent_ = true;
        SendMarker(1);
        ++breaksSent_;
        return true;
    }
    if (operations_ > 0) {
        breakHeld_ = true;
        return true;
    }
    return false;
}

void TNetTransport::BeginOperation() {
    std::lock_guard<std::mutex> lock(markerMutex_);
    if (operations_++ == 0) inCall_ = breakHeld_ = breakSent_ = false;
}

void TNetTransport::EndOperation() {
    std::lock_guard<std::mutex> lock(markerMutex_);
    if (operations_ > 0) --operations_;
    // An inner operation (a commit inside an execute) ends with its call; the outer one goes on.
    inCall_ = breakSent_ = false;
    if (operations_ == 0) breakHeld_ = false;
}

void TNetTransport::EndCall() {
    if (!inCall_) return;
    std::lock_guard<std::mutex> lock(markerMutex_);
    inCall_ = breakSent_ = false;
}

void TNetTransport::CallStarted() {
    std::lock_guard<std::mutex> lock(markerMutex_);
    inCall_ = true;
    breakSent_ = false;
    if (breakHeld_) {
        breakHeld_ = false;
        CheckConnected();
        breakSent_ = true;
        SendMarker(1);
        ++breaksSent_;
    }
}

int TNetTransport::BreaksSent() const {
    std::lock_guard<std::mutex> lock(markerMutex_);
    return breaksSent_;
}

// ---------------------------------------------------------------------------------------------------------
// Byte stream

void TNetTransport::WriteRaw(const void* src, size_t count) {
    const uint8_t* s = static_cast<const uint8_t*>(src);
    while (count > 0) {
        if (writePos_ >= sendLimit_) Flush(0);
        size_t n = std::min(count, size_t(sendLimit_ - writePos_));
        std::memcpy(buf_ + writePos_, s, n);
        writePos_ += int(n);
        s += n;
        count -= n;
    }
}

void TNetTransport::HandleMarker(const TPacketInfo& p) {
    uint8_t type = p.length > 8 ? in_[8] : 0;
    uint8_t value = p.length > 10 ? in_[10] : 0;
    resetPending = type == 0 || (type == 1 && value != 2);
    {
        // The server has broken the call: a break asked for now would reach it after the call's end.
        std::lock_guard<std::mutex> lock(markerMutex_);
        breakSent_ = true;
        breakHeld_ = false;
        CheckConnected();
        SendMarker(2);
    }
    while (resetPending) {
        TPacketInfo q = ReadPacket();
        if (q.type == tnsMarker && q.length > 10 && in_[8] == 1 && in_[10] == 2) resetPending = false;
    }
}

bool TNetTransport::NextDataPacket() {
    // A request leaves at the latest when the first byte of its reply is read; from then on the call is
    // under way until its reply has been read.
    if (writePos_ > DataStart) Flush(0);
    if (!inCall_) CallStarted();
    for (;;) {
        TPacketInfo p = ReadPacket();
        if (p.type == tnsData) {
            readPos_ = DataStart;
            readLen_ = p.length;
            return p.length >= DataStart;
        }
        if (p.type == tnsMarker) {
            readPos_ = readLen_ = 0;
            HandleMarker(p);
            continue;
        }
        readPos_ = readLen_ = 0;
        throw ENetError(205);
    }
}

int TNetTransport::ReadRaw(void* dest, int count) {
    uint8_t* d = static_cast<uint8_t*>(dest);
    int done = 0;
    while (done < count) {
        if (readPos_ >= readLen_) {
            if (!NextDataPacket()) return -1;
            continue;
        }
        int n = std::min(count - done, readLen_ - readPos_);
        std::memcpy(d + done, in_ + readPos_, size_t(n));
        readPos_ += n;
        done += n;
    }
    return done;
}

void TNetTransport::ReadExact(void* dest, int count) {
    if (count <= 0) return;
    // A DATA packet too short to hold its data flags is no part of any TTC message.
    if (ReadRaw(dest, count) != count) throw EDBError(1);
}

uint8_t TNetTransport::ReadUB1Slow() {
    uint8_t b;
    ReadExact(&b, 1);
    return b;
}

// ---------------------------------------------------------------------------------------------------------
// Primitives written

void TNetTransport::WriteUB2Slow(uint16_t v) {
    if (v == 0) {
        WriteUB1(0);
        return;
    }
    uint8_t b[2] = {uint8_t(v), uint8_t(v >> 8)};
    WriteRaw(b, 2);
}

void TNetTransport::WriteUB4Slow(uint32_t v) {
    uint8_t b[5];
    int n = v > 0xFFFFFF ? 4 : v > 0xFFFF ? 3 : v > 0xFF ? 2 : v > 0 ? 1 : 0;
    b[0] = uint8_t(n);
    for (int i = 0; i < n; ++i)
        b[1 + i] = uint8_t(v >> (8 * (n - 1 - i)));
    WriteRaw(b, size_t(n + 1));
}

void TNetTransport::WriteUB4Array(const uint32_t* values, int count) {
    for (int i = 0; i < count; ++i)
        WriteUB4(values[i]);
}

void TNetTransport::WriteBytes(const void* data, size_t length) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    if (length <= 64) {
        WriteUB1(uint8_t(length));
        WriteRaw(p, length);
        return;
    }
    WriteUB1(0xFE);
    while (length > 0) {
        size_t n = std::min<size_t>(length, 64);
        WriteUB1(uint8_t(n));
        WriteRaw(p, n);
        p += n;
        length -= n;
    }
    WriteUB1(0);
}

// ---------------------------------------------------------------------------------------------------------
// Primitives read

int32_t TNetTransport::ReadIntSlow(int kind) {
    int len;
    bool negative = false;
    if (representation[1] & 1) {
        uint8_t l = ReadUB1();
        negative = (l & 0x80) != 0;
        len = l & 0x7F;
        if (len == 0) return 0;
    } else {
        len = kind == 1 ? 2 : 4;
    }
    bool lsbFirst = (representation[kind == 1 ? 1 : 2] & 2) != 0;
    uint32_t v = 0;
    for (int i = 0; i < len; ++i) {
        uint32_t b = ReadUB1();
        if (lsbFirst) {
            if (i < 4) v |= b << (8 * i);
        } else {
            v = (v << 8) | b;
        }
    }
    if (negative) v = 0u - v;
    return int32_t(v);
}

std::string TNetTransport::ReadShortBytes() {
    int n = ReadUB1();
    std::string s(size_t(n), '\0');
    ReadExact(s.data(), n);
    return s;
}

std::string TNetTransport::ReadZText(int maxCount) {
    std::string s;
    for (int i = 0; i < maxCount; ++i) {
        uint8_t b = ReadUB1();
        if (b == 0) break;
        s.push_back(char(b));
    }
    return s;
}

void TNetTransport::Skip(int count) {
    while (count > 0) {
        if (readPos_ >= readLen_) {
            ReadUB1Slow();
            --count;
            continue;
        }
        int n = std::min(count, readLen_ - readPos_);
        readPos_ += n;
        count -= n;
    }
}

void TNetTransport::ReadChunks(std::string& out) {
    for (;;) {
        int c = ReadUB1();
        if (c == 0) break;
        if (c == 254 && skipChunk254) continue;
        size_t at = out.size();
        out.resize(at + size_t(c));
        ReadExact(out.data() + at, c);
    }
}

std::string TNetTransport::ReadMessageText() {
    int n = ReadUB1();
    std::string s;
    if (n == 0 || n == 255) return s;
    if (n == 253) throw EDBError(1);
    if (n == 254) {
        ReadChunks(s);
        return s;
    }
    s.resize(size_t(n));
    ReadExact(s.data(), n);
    return s;
}

std::string_view TNetTransport::ReadValue(std::string& scratch) {
    int n = ReadUB1();
    if (n == 0) return {};
    if (n == 254) {
        scratch.clear();
        ReadChunks(scratch);
        return scratch;
    }
    if (readLen_ - readPos_ >= n) {
        std::string_view v(reinterpret_cast<const char*>(in_ + readPos_), size_t(n));
        readPos_ += n;
        return v;
    }
    scratch.resize(size_t(n));
    ReadExact(scratch.data(), n);
    return scratch;
}

std::string_view TNetTransport::ReadUB4Value(std::string& scratch) {
    int32_t count = ReadUB4();
    if (count < 1) return {};
    return ReadValue(scratch);
}

// ---------------------------------------------------------------------------------------------------------
// Connection establishment

std::string TNetTransport::Descriptor(const std::string& host, int port, const std::string& sid) {
    TConnectAddress a;
    a.host = host;
    a.port = port;
    a.sid = sid;
    return ConnectDescriptor(a);
}

int TNetTransport::BuildConnectPacket() {
    TConnectAddress a;
    a.host = host;
    a.port = port;
    a.sid = sid;
    a.serviceName = serviceName;
    a.connectDataExtra = connectDataExtra;
    std::string d = ConnectDescriptor(a);
    int length = 34 + int(d.size());
    // Host and SID come from the user's text; a descriptor that does not fit the buffer is refused here.
    if (d.size() > size_t(BufferSize - 34))
        throw std::runtime_error("Connect descriptor too long (" + std::to_string(d.size()) +
                                 " bytes, at most " + std::to_string(BufferSize - 34) + ")");
    std::memset(buf_, 0, size_t(length));
    PutBE16(buf_, uint32_t(length));
    buf_[4] = tnsConnect;
    PutBE16(buf_ + 8, 307);
    PutBE16(buf_ + 10, 300);
    PutBE16(buf_ + 12, 0);
    PutBE16(buf_ + 14, uint32_t(sdu));
    PutBE16(buf_ + 16, uint32_t(tdu));
    PutBE16(buf_ + 18, 0x7F08);
    PutBE16(buf_ + 20, 0);
    buf_[22] = 1;
    buf_[23] = 0;
    PutBE16(buf_ + 24, uint32_t(d.size()));
    PutBE16(buf_ + 26, 34);
    buf_[28] = 0, buf_[29] = 0, buf_[30] = 4, buf_[31] = 0;
    buf_[32] = 4;
    buf_[33] = 0;
    std::memcpy(buf_ + 34, d.data(), d.size());
    return length;
}

namespace {

std::string RedirectValue(std::string_view text, std::string_view key) {
    size_t at = text.find(key);
    if (at == std::string_view::npos) return {};
    at += key.size();
    if (at >= text.size() || text[at] != '=') return {};
    ++at;
    size_t end = text.find(')', at);
    if (end == std::string_view::npos) end = text.size();
    return std::string(text.substr(at, end - at));
}

// A listener that refuses a connect by service names the reason in the refuse data: "(ERR=12514)" when it
// does not know the service.
std::string ServiceRefusedMessage(const uint8_t* packet, int length, const std::string& service) {
    std::string_view data;
    if (length > 8) data = std::string_view(reinterpret_cast<const char*>(packet + 8), size_t(length - 8));
    std::string code;
    size_t at = data.find("(ERR=");
    if (at != std::string_view::npos)
        for (size_t i = at + 5; i < data.size() && code.size() < 6 && data[i] >= '0' && data[i] <= '9'; ++i)
            code += data[i];
    return ServiceRefusedText(code, service);
}

} // namespace

std::string ServiceRefusedText(const std::string& code, const std::string& service) {
    const std::string name = "\x84" + service + "\x93";
    if (code == "12514") return "ORA-12514: Der Listener kennt den Dienst " + name + " nicht";
    std::string text = "Der Listener lehnt die Verbindung zum Dienst " + name + " ab";
    if (!code.empty())
        text = "ORA-" + std::string(5 - std::min<size_t>(code.size(), 5), '0') + code + ": " + text;
    return text;
}

void TNetTransport::ApplyRedirect(std::string_view text) {
    if (text.empty()) return;
    std::string h = RedirectValue(text, "HOST");
    int p = StrToInt(RedirectValue(text, "PORT"));
    std::string s = RedirectValue(text, "SID");
    if (s.empty()) s = RedirectValue(text, "SERVICE_NAME");
    host = h;
    port = p;
    sid = s;
    serviceName.clear();
    connectDataExtra.clear();
}

void TNetTransport::Connect(const std::string& h, int p, const std::string& s) {
    TConnectAddress a;
    a.host = h;
    a.port = p;
    a.sid = s;
    Connect(a);
}

void TNetTransport::Connect(const TConnectAddress& address) {
    host = address.host;
    port = address.port;
    sid = address.sid;
    serviceName = address.serviceName;
    connectDataExtra = address.connectDataExtra;
    readPos_ = readLen_ = 0;
    writePos_ = DataStart;
    resetPending = false;
    DropReceived();
    // Refuse an oversized descriptor before anything is opened.
    BuildConnectPacket();
    try {
        socket_->Open(host, port);
    } catch (const ESocketError& e) {
        // A plain name that is no alias was taken for a host: when there is no such host, say both.
        if (e.Number() == 11001 && !address.notAnAlias.empty())
            throw EConnectString(UnknownNameMessage(address.host, address));
        throw;
    }
    for (;;) {
        int length = BuildConnectPacket();
        SendPacket(length, tnsConnect, 0);
        TPacketInfo r = ReadPacket();
        switch (r.type) {
        case tnsAccept:
            return;
        case tnsRefuse:
            if (!serviceName.empty()) throw EConnectString(ServiceRefusedMessage(in_, r.length, serviceName));
            throw ENetError(206);
        case tnsRedirect: {
            socket_->Close();
            DropReceived();
            std::string_view data;
            if (r.length > DataStart) {
                data = std::string_view(reinterpret_cast<const char*>(in_ + DataStart),
                                        size_t(r.length - DataStart));
                size_t z = data.find('\0');
                if (z != std::string_view::npos) data = data.substr(0, z);
            }
            ApplyRedirect(data);
            BuildConnectPacket(); // the new descriptor must fit as well
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

void TNetTransport::Disconnect() {
    if (socket_->Connected()) {
        try {
            Flush(0x0040);
        } catch (...) {
            socket_->Close();
            throw;
        }
    }
    socket_->Close();
    readPos_ = readLen_ = 0;
    writePos_ = DataStart;
    DropReceived();
}

} // namespace oranet
