// The service context: server string, negotiation, status messages, logon, commit, rollback, logoff,
// break, and the mapping of every failure into the error handle.
#include "dataset/StrUtil.h"
#include "oranet/NetErrors.h"
#include "oranet/NetHandles.h"
#include "oranet/NetPlatform.h"
#include "oranet/NetSession315.h"
#include "oranet/NetTns315.h"
#include "oranet/OraCrypt.h"

#include <cstring>
#include <mutex>
#include <set>

namespace oranet {

// ---------------------------------------------------------------------------------------------------------
// Errors

sword MapNetError(const std::exception& e, TNetErrorHandle* err) {
    if (!err) return -1;
    err->code = -1;
    if (auto* se = dynamic_cast<const ESocketError*>(&e)) {
        std::string text = se->what();
        long n = 0;
        size_t open = text.find("(1");
        size_t close = text.find(')');
        if (open != std::string::npos && close != std::string::npos && close > open + 1) {
            std::string digits = text.substr(open + 1, close - open - 1);
            bool ok = !digits.empty() && digits.size() < 10;
            for (char c : digits)
                ok = ok && c >= '0' && c <= '9';
            if (ok) n = std::stol(digits);
        }
        switch (n) {
        case 10049:
            err->message = "NET: Invalid host";
            break;
        case 10054:
            err->code = -3113;
            err->message = "ORA-03113";
            break;
        case 10060:
            err->message = "NET: Connection timed out";
            break;
        case 10061:
            err->message = "NET: Service unavailable";
            break;
        default:
            err->message = "NET: Network error (" + std::to_string(n - 10000) + ")";
            break;
        }
    } else if (auto* ne = dynamic_cast<const ENetError*>(&e)) {
        if (ne->Code() == 0) {
            err->code = -12571;
            err->message = "ORA-12571";
        } else if (ne->Code() == 206) {
            err->message = "NET: Invalid SID";
        } else {
            err->message = std::string("NET: ") + ne->what();
        }
    } else {
        err->message = std::string("NET: ") + e.what();
    }
    return -1;
}

TClientInfo GatherClientInfo() {
    TClientInfo c;
    c.computerName = platform::ComputerName();
    c.osUser = platform::LoginName();
    c.processText = std::to_string(platform::ProcessId()) + ":" + std::to_string(platform::ThreadId());
    c.programName = platform::ProgramFileName();
    return c;
}

// ---------------------------------------------------------------------------------------------------------
// Handle basics

namespace {
std::mutex& RegistryLock() {
    static std::mutex m;
    return m;
}
std::set<const TNetConnection*>& Registry() {
    static std::set<const TNetConnection*> s;
    return s;
}
} // namespace

TNetConnection::TNetConnection(void* parent, std::unique_ptr<TWinSocket> socket)
    : TNetHandle(parent), transport(std::make_unique<TNetTransport>(std::move(socket))) {
    std::lock_guard<std::mutex> g(RegistryLock());
    Registry().insert(this);
}

bool TNetConnection::IsAlive(const TNetConnection* c) {
    std::lock_guard<std::mutex> g(RegistryLock());
    return Registry().count(c) != 0;
}

TNetConnection::~TNetConnection() {
    {
        std::lock_guard<std::mutex> g(RegistryLock());
        Registry().erase(this);
    }
    // Freeing the service context closes the socket.
    transport->Socket().Close();
}

sword TNetConnection::GetAttribute(void* target, ub4* size, TNetErrorHandle* err, ub4 attr) {
    if (attr == oracall::OCI_ATTR_ENV) {
        if (!target) return -2;
        std::memcpy(target, &parent, sizeof parent);
        return 0;
    }
    return -2;
}

sword TNetConnection::SetAttribute(void* value, ub4 size, TNetErrorHandle* err, ub4 attr) {
    switch (attr) {
    case oracall::OCI_ATTR_SERVER:
        server = static_cast<TNetServer*>(static_cast<TNetHandle*>(value));
        return 0;
    case oracall::OCI_ATTR_SESSION:
        session = static_cast<TNetSession*>(static_cast<TNetHandle*>(value));
        return 0;
    case oracall::OCI_ATTR_CHARSET_ID: {
        if (!value) return -2;
        uint16_t id;
        std::memcpy(&id, value, sizeof id);
        try {
            SetClientCharset(id);
        } catch (const std::exception& e) {
            return MapNetError(e, err);
        }
        return 0;
    }
    default:
        return -2;
    }
}

// ---------------------------------------------------------------------------------------------------------
// Negotiation

namespace {

// The data-type table of the negotiation: type code, exchanged-as type, representation, 0; or type code, 0.
const char DataTypeTableHex[] = "0101010002020A00080801000C0C0A001717010018180100191901001A1A0100"
                                "1B1B01001C1C01001D1D01001E1E01001F1F010020200100212101000A0A0100"
                                "0B0B010022220100232301002424010025250100262601002828010029290100"
                                "2A2A01002B2B01002C2C01002D2D01002E2E01002F2F01003030010031310100"
                                "3232010033330100343401003535010036360100373701003838010039390100"
                                "3A3A01003B3B01003C3C01003D3D01003E3E01003F3F01004040010041410100"
                                "42420100434301004747010048480100494901004B4B01004D4D01004E4E0100"
                                "4F4F010050500100515101005252010053530100545401005555010056560100"
                                "57570100595901005A5A01005C5C01005D5D0100626201006363010067670100"
                                "6B6B010075750100787801007C7C01007D7D01007E7E01007F7F010080800100"
                                "8181010082820100838301008484010085850100868601008787010088880100"
                                "898901008A8A01008B8B01008C8C01008D8D01008E8E01008F8F010090900100"
                                "91910100949401009595010096960100979701009D9D01009E9E01009F9F0100"
                                "A0A00100A1A10100A2A20100A3A30100A4A40100A5A50100A6A60100A7A70100"
                                "A8A80100A9A90100AAAA0100ABAB0100ADAD0100AEAE0100AFAF0100B0B00100"
                                "B1B10100B4B40100B5B50100E7E7010003020A0004020A000501010006020A00"
                                "07020A00090101000D000E000F17010010001100120013001400150016002778"
                                "015D012601003A0044020A00450046004A004C0058005B020A005E0101005F17"
                                "010060600100616001006400650066660100680069006A6A01006B006C6D0100"
                                "6D6D01006E6F01006F6F01007070010071710100727201007373010074660100"
                                "7600770079007A007B00880092920100930098020A0099020A009A020A009B01"
                                "01009C0C0A00AC020A00AE0000";

std::string DecodeHexTable(const char* hex) {
    std::string out;
    int hi = -1;
    for (const char* p = hex; *p; ++p) {
        char c = *p;
        int v = c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
        if (v < 0) continue;
        if (hi < 0)
            hi = v;
        else {
            out.push_back(char(hi * 16 + v));
            hi = -1;
        }
    }
    return out;
}

} // namespace

const std::string& DataTypeTable() {
    static const std::string table = DecodeHexTable(DataTypeTableHex);
    return table;
}

void TNetConnection::SendProtocol() {
    TNetTransport& t = *transport;
    t.WriteUB1(1);
    static const uint8_t versions[] = {6, 5, 4, 3, 2, 1, 0};
    t.WriteRaw(versions, sizeof versions);
    static const char banner[] = "NET_TTC-8.1.0"; // written with its terminating zero
    t.WriteRaw(banner, sizeof banner);
}

void TNetConnection::ReadProtocol() {
    TNetTransport& t = *transport;
    if (t.ReadUB1() != 1) throw EDBError(1);
    uint8_t v = t.ReadUB1();
    t.ReadUB1();
    t.ReadZText(50);
    switch (v) {
    case 4:
        serverVersion = 7230;
        break;
    case 5:
        serverVersion = 8030;
        break;
    case 6:
        serverVersion = 8100;
        break;
    default:
        throw EDBError(444);
    }
    protocolVersion = v;
    serverCharset = t.ReadUB2();
    t.ReadUB1();
    int n = t.ReadUB2();
    t.Skip(5 * n);
    if (v == 4) return;
    uint8_t saved = t.representation[1];
    t.representation[1] = 0;
    int len;
    try {
        len = t.ReadUB2();
    } catch (...) {
        t.representation[1] = saved;
        throw;
    }
    t.representation[1] = saved;
    t.Skip(len);
    if (v == 5) return;
    for (int i = 0; i < 2; ++i)
        t.Skip(t.ReadUB1());
}

void TNetConnection::SendDataTypes() {
    TNetTransport& t = *transport;
    t.WriteUB1(2);
    t.WriteUB2(clientCharset);
    t.WriteUB2(clientCharset);
    t.WriteUB1(2);
    if (protocolVersion >= 6) {
        uint8_t compile[21] = {};
        compile[17] = 3;
        t.WriteUB1(21);
        t.WriteRaw(compile, sizeof compile);
        t.WriteUB1(1);
        t.WriteUB1(2);
    }
    const std::string& table = DataTypeTable();
    t.WriteRaw(table.data(), table.size());
}

void TNetConnection::ReadDataTypes() {
    TNetTransport& t = *transport;
    if (t.ReadUB1() != 2) throw EDBError(1);
    bool lastZero = false;
    for (;;) {
        bool zero = t.ReadUB1() == 0;
        if (zero && lastZero) break;
        lastZero = zero;
    }
    t.SetNegotiatedRepresentation();
}

void TNetConnection::SetClientCharset(uint16_t id) {
    if (id == clientCharset) return;
    clientCharset = id;
    // The current generation always takes text in UTF-8 and converts it at its edge: nothing to negotiate.
    if (id != 0 && loggedOn && !current) {
        serverCharset = id;
        TNetOperation operation(transport.get());
        SendDataTypes();
        ReadDataTypes();
    }
}

// ---------------------------------------------------------------------------------------------------------
// Framing

void TNetConnection::WriteCall(uint8_t function) {
    transport->WriteUB1(3);
    transport->WriteUB1(function);
    transport->WriteUB1(0);
}

int TNetConnection::ReadStatus(TNetErrorHandle* err, TNetCursor* cursor) {
    TNetTransport& t = *transport;
    int32_t rows = t.ReadUB4();
    uint16_t code = t.ReadUB2();
    t.ReadUB2(), t.ReadUB2(), t.ReadUB2();
    uint16_t pos = t.ReadUB2();
    uint8_t cmd = t.ReadUB1();
    t.ReadUB1();
    t.ReadUB2(), t.ReadUB2();
    t.ReadUB1(), t.ReadUB1();
    uint8_t rowid[13];
    uint32_t r1 = uint32_t(t.ReadUB4());
    uint16_t r2 = t.ReadUB2();
    uint8_t r3 = t.ReadUB1();
    uint32_t r4 = uint32_t(t.ReadUB4());
    uint16_t r5 = t.ReadUB2();
    rowid[0] = r3;
    for (int i = 0; i < 4; ++i)
        rowid[1 + i] = uint8_t(r1 >> (24 - 8 * i));
    rowid[5] = uint8_t(r2 >> 8), rowid[6] = uint8_t(r2);
    for (int i = 0; i < 4; ++i)
        rowid[7 + i] = uint8_t(r4 >> (24 - 8 * i));
    rowid[11] = uint8_t(r5 >> 8), rowid[12] = uint8_t(r5);
    t.ReadUB4();
    t.ReadUB1(), t.ReadUB1();
    t.ReadUB2();
    t.ReadUB4();
    std::string text;
    if (code != 0) text = t.ReadMessageText();
    // The status message ends every reply that carries one.
    t.EndCall();
    lastStatusCode = code;
    if (cursor) {
        cursor->rowCount = rows;
        cursor->parseErrorOffset = pos;
        cursor->serverCommandType = cmd;
        std::memcpy(cursor->rowidImage, rowid, sizeof rowid);
    }
    if (err) {
        err->code = code;
        if (code != 0)
            err->message = text;
        else
            err->message.clear();
    }
    return code != 0 ? -1 : 0;
}

int TNetConnection::ReadWarning() {
    TNetTransport& t = *transport;
    uint16_t a = t.ReadUB2();
    uint16_t b = t.ReadUB2();
    t.ReadUB2();
    if (a != 0 && b != 0) t.ReadMessageText();
    return 0;
}

int TNetConnection::ReadSimpleReply(TNetErrorHandle* err) {
    switch (transport->ReadUB1()) {
    case 4:
        return ReadStatus(err, nullptr);
    case 9: // end of the call
        transport->EndCall();
        return 0;
    default:
        throw EDBError(1);
    }
}

// ---------------------------------------------------------------------------------------------------------
// Logon

void TNetConnection::SendLogon(int phase) {
    TNetTransport& t = *transport;
    const std::string user = session ? session->userName : std::string();
    std::string encrypted;
    if (phase == 2) {
        if (sessionKey.empty()) throw EDBError(210);
        if (sessionKey.size() > 16) throw EDBError(106);
        std::string u = Trim(user);
        std::string p = Trim(session ? session->password : std::string());
        TDesBlock hash = OraCrypt::PasswordHash(u, p);
        TDesBlock key = OraCrypt::DecryptSessionKey(hash, sessionKey);
        encrypted = OraCrypt::EncryptPassword(key, p);
    } else {
        sessionKey.clear();
    }
    TClientInfo info = clientInfo ? clientInfo() : TClientInfo{};
    WriteCall(phase == 1 ? 82 : 81);
    t.WritePresent(!user.empty());
    t.WriteUB4(uint32_t(user.size()));
    t.WritePresent(!encrypted.empty());
    t.WriteUB4(uint32_t(encrypted.size()));
    t.WriteUB4(0);
    t.WriteUB4(0);
    t.WriteUB4(0);
    t.WriteFlag(false);
    for (const std::string* s : {&info.computerName, &info.computerName, &info.osUser}) {
        t.WritePresent(!s->empty());
        t.WriteUB4(uint32_t(s->size()));
    }
    t.WriteUB4(4096);
    for (const std::string* s : {&info.processText, &info.programName}) {
        t.WritePresent(!s->empty());
        t.WriteUB4(uint32_t(s->size()));
    }
    t.WriteUB2(0);
    t.WriteUB4(0);
    t.WriteFlag(false);
    t.WriteUB4(0);
    t.WriteFlag(phase == 1);
    t.WriteUB4(16);
    t.WriteFlag(phase == 1);
    t.WriteText(user);
    if (phase == 2) t.WriteBytes(encrypted);
    t.WriteText(info.computerName);
    t.WriteText(info.computerName);
    t.WriteText(info.osUser);
    t.WriteText(info.processText);
    t.WriteText(info.programName);
}

int TNetConnection::ReadLogonReply(int phase, TNetErrorHandle* err) {
    TNetTransport& t = *transport;
    bool keySeen = false;
    for (;;) {
        switch (t.ReadUB1()) {
        case 8:
            if (phase != 1 || keySeen) throw EDBError(1);
            keySeen = true;
            t.ReadUB2();
            sessionKey = t.ReadShortBytes();
            if (sessionKey.empty()) throw EDBError(210);
            break;
        case 4:
            return ReadStatus(err, nullptr);
        case 15: {
            int r = ReadWarning();
            t.EndCall();
            return r;
        }
        default:
            throw EDBError(1);
        }
    }
}

// ---------------------------------------------------------------------------------------------------------
// Session calls

sword TNetConnection::BeginSession(TNetErrorHandle* err) {
    if (loggedOn) return -1;
    TNetOperation operation(transport.get());
    try {
        // Every server-string form: host:port:sid, Easy Connect, a descriptor, a tnsnames.ora alias.
        TConnectAddress address = ResolveServerString(server ? server->serverString : std::string());
        // Establishing the connection and the logon together may take the server handle's time-out; the
        // bound is lifted again however the logon ends, so statements run unbounded.
        TWinSocket& socket = transport->Socket();
        struct TDeadline {
            TWinSocket& s;
            ~TDeadline() { s.ClearDeadline(); }
        } deadline{socket};
        if (server && server->connectTimeoutMs > 0)
            socket.SetDeadline(TWinSocket::SteadyNowMs() + int64_t(server->connectTimeoutMs));
        transport->ResetRepresentation();
        if (offerCurrent) {
            TAcceptInfo accepted;
            transport->ConnectDual(address, accepted);
            if (accepted.Current()) return BeginCurrentSession(accepted, err);
        } else {
            transport->Connect(address);
        }
        SendProtocol();
        ReadProtocol();
        transport->EndCall();
        if (clientCharset == 0) clientCharset = serverCharset;
        transport->skipChunk254 = clientCharset != serverCharset;
        maxInlineString = Version8() ? 4000 : 2000;
        SendDataTypes();
        ReadDataTypes();
        transport->EndCall();
        SendLogon(1);
        int r = ReadLogonReply(1, err);
        if (r != 0) return r;
        SendLogon(2);
        r = ReadLogonReply(2, err);
        if (r == 0) loggedOn = true;
        return r;
    } catch (const std::exception& e) {
        // A connection broken off half-way (time-out, lost peer) is closed, so the server sees it end.
        transport->Socket().Close();
        return MapNetError(e, err);
    }
}

sword TNetConnection::EndSession(TNetErrorHandle* err) {
    if (!loggedOn) return -1;
    if (current) return CurrentEndSession(err);
    TNetOperation operation(transport.get());
    try {
        WriteCall(9);
        int r = ReadSimpleReply(err);
        transport->Disconnect();
        loggedOn = false;
        return r;
    } catch (const std::exception& e) {
        // The connection is unusable after a failed logoff: close it so that nothing waits on it.
        transport->Socket().Close();
        loggedOn = false;
        return MapNetError(e, err);
    }
}

sword TNetConnection::Commit(TNetErrorHandle* err) {
    if (current) return CurrentCall(fnCommit, err);
    TNetOperation operation(transport.get());
    try {
        WriteCall(14);
        return ReadSimpleReply(err);
    } catch (const std::exception& e) {
        return MapNetError(e, err);
    }
}

sword TNetConnection::Rollback(TNetErrorHandle* err) {
    if (current) return CurrentCall(fnRollback, err);
    TNetOperation operation(transport.get());
    try {
        WriteCall(15);
        return ReadSimpleReply(err);
    } catch (const std::exception& e) {
        return MapNetError(e, err);
    }
}

sword TNetConnection::Break(TNetErrorHandle* err) {
    try {
        transport->Break();
        return 0;
    } catch (const std::exception& e) {
        return MapNetError(e, err);
    }
}

} // namespace oranet
