// The session of a connection whose listener answered with a current ACCEPT.
#include "oranet/NetSession315.h"

#include "dataset/ByteIO.h"

#include "dataset/Cp1252.h"
#include "oranet/NetAno.h"
#include "oranet/NetErrors.h"
#include "oranet/NetO5Logon.h"
#include "oranet/NetTypes315.h"

#include <openssl/crypto.h>
#include <openssl/rand.h>

#include <algorithm>
#include <atomic>
#include <ctime>
#include <map>
#include <mutex>
#include <stdexcept>

namespace oranet {

namespace {

// Logon modes.
constexpr uint32_t AuthModeLogon = 0x1, AuthModeWithPassword = 0x100;
// The client identity sent with the logon.
constexpr char DriverName[] = "Vestra";
constexpr uint32_t ClientVersion = 1u << 24; // 1.0.0.0.0 in the release/update/... layout

// The data types this client names in the negotiation, each exchanged as itself in the universal
// representation. A type left out here is one the server may send in another form: the date-time,
// interval and binary floating-point types are named so that they arrive in their own.
const uint16_t SameTypes[] = {
    1,   8,   23,  24,  25,  26,  28,  29,  30,  31,  32,  33,  10,  11,  40,  41,  117, 120, 290, 291, 292,
    293, 294, 298, 299, 300, 301, 302, 303, 304, 305, 306, 307, 308, 309, 310, 311, 312, 313, 315, 316, 317,
    318, 319, 320, 321, 322, 323, 327, 328, 329, 331, 333, 334, 335, 336, 337, 338, 339, 340, 341, 342, 343,
    344, 345, 346, 348, 349, 354, 355, 359, 363, 380, 381, 382, 383, 384, 385, 386, 387, 388, 389, 390, 391,
    393, 394, 395, 396, 397, 398, 399, 400, 401, 404, 405, 406, 407, 413, 414, 415, 416, 417, 418, 419, 420,
    421, 422, 423, 424, 425, 426, 427, 429, 430, 431, 432, 433, 449, 450, 454, 455, 456, 457, 458, 459, 460,
    461, 462, 463, 466, 467, 468, 469, 470, 471, 472, 473, 474, 475, 476, 477, 478, 479, 480, 481, 482, 483,
    484, 485, 486, 490, 491, 492, 493, 494, 495, 496, 498, 499, 500, 501, 502, 509, 510, 513, 514, 516, 517,
    518, 519, 520, 521, 522, 523, 524, 525, 526, 527, 528, 529, 530, 531, 532, 533, 534, 535, 536, 537, 538,
    539, 540, 541, 542, 543, 560, 565, 572, 573, 574, 575, 576, 578, 563, 564, 579, 580, 581, 582, 583, 584,
    585, 39,  96,  102, 106, 109, 111, 112, 113, 114, 115, 119, 198, 146, 178, 179, 180, 181, 182, 183, 100,
    101, 231, 185, 186, 187, 188, 189, 190, 208, 233, 252, 590, 591, 592, 613, 614, 615, 616, 611, 612, 593,
    594, 595, 596, 597, 598, 599, 600, 601, 602, 603, 604, 605, 622, 623, 624, 625, 626, 627, 628, 629, 630,
    631, 632, 637, 638, 636, 639, 663, 640, 652, 646, 647, 127,
};
// The data types exchanged as another type: type, exchanged as, representation (1 universal, 10 Oracle's).
const uint16_t ConvertedTypes[][3] = {
    {2, 2, 10},    {12, 12, 10},  {27, 27, 10},  {3, 2, 10},    {4, 2, 10},    {5, 1, 1},     {6, 2, 10},
    {7, 2, 10},    {9, 1, 1},     {15, 1, 1},    {68, 2, 10},   {91, 2, 10},   {94, 1, 1},    {95, 23, 1},
    {97, 96, 1},   {104, 11, 1},  {108, 109, 1}, {110, 111, 1}, {116, 102, 1}, {152, 2, 10},  {153, 2, 10},
    {154, 2, 10},  {155, 1, 1},   {156, 12, 10}, {172, 2, 10},  {184, 12, 10}, {195, 112, 1}, {196, 113, 1},
    {197, 114, 1}, {232, 231, 1}, {241, 109, 1},
};

std::string Utf8(const std::string& cp1252Text) {
    return cp1252::ToUtf8(cp1252Text);
}

// The client's time zone as the session should take it: "+hh:mm" or "-hh:mm".
std::string TimeZoneText() {
    // mktime re-reads TZ at each call (tzset), under a lock of the C library's that ThreadSanitizer cannot
    // see; logons run on several threads at once, so they take their turn here.
    static std::mutex zoneLock;
    std::lock_guard<std::mutex> hold(zoneLock);
    std::time_t now = std::time(nullptr);
    std::tm local{}, utc{};
    localtime_r(&now, &local);
    gmtime_r(&now, &utc);
    utc.tm_isdst = local.tm_isdst;
    long offset = long(std::difftime(std::mktime(&local), std::mktime(&utc)) / 60);
    long h = std::labs(offset) / 60 % 24, m = std::labs(offset) % 60;
    std::string text(1, offset < 0 ? '-' : '+');
    text += char('0' + h / 10), text += char('0' + h % 10), text += ':';
    text += char('0' + m / 10), text += char('0' + m % 10);
    return text;
}

uint32_t NumberOr0(const std::string& s) {
    if (s.empty() || s.size() > 10) return 0;
    uint64_t v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return 0;
        v = v * 10 + uint64_t(c - '0');
    }
    return v > 0xFFFFFFFFu ? 0 : uint32_t(v);
}

} // namespace

TCurrentSession::TCurrentSession(TWinSocket& socket, const TAcceptInfo& accepted, std::string_view pending)
    : link_(socket, accepted, pending), in_(link_) {}

void TCurrentSession::Send() {
    link_.SendData(out_.Bytes().data(), out_.Bytes().size());
    out_.Clear();
    if (gate) gate->CallStarted();
}

void TCurrentSession::FunctionHeader(uint8_t function) {
    // Cursors given up since the last call are closed on the way.
    if (!cursorsToClose_.empty()) {
        out_.U8(ttcPiggyback);
        out_.U8(fnCloseCursors);
        out_.U8(sequence_);
        sequence_ = uint8_t(sequence_ == 255 ? 1 : sequence_ + 1);
        out_.U8(1);
        out_.UB4(uint32_t(cursorsToClose_.size()));
        for (uint32_t id : cursorsToClose_)
            out_.UB4(id);
        cursorsToClose_.clear();
    }
    out_.U8(ttcFunction);
    out_.U8(function);
    out_.U8(sequence_);
    sequence_ = uint8_t(sequence_ == 255 ? 1 : sequence_ + 1);
}

// ---------------------------------------------------------------------------------------------------------
// Negotiation

void TCurrentSession::NetServices() {
    uint8_t id[8];
    if (RAND_bytes(id, sizeof id) != 1) throw std::runtime_error("No random bytes for the connection id");
    std::vector<uint8_t> request = BuildAnoRequest(id);
    link_.SendData(request.data(), request.size());
    uint16_t flags = 0;
    CheckAnoReply(link_.ReadData(flags));
}

void TCurrentSession::Negotiate() {
    // Protocol: the versions we speak (6 only), our name; the server answers with its version, banner,
    // character sets and capabilities.
    out_.U8(ttcProtocol);
    out_.U8(6);
    out_.U8(0);
    out_.Raw(DriverName, sizeof DriverName); // with its zero byte
    Send();
    uint8_t type = in_.U8();
    if (type != ttcProtocol) {
        ReadReply(); // an error instead of the answer
        throw EDBError(1);
    }
    server_.ttcVersion = in_.U8();
    in_.U8();
    server_.banner = in_.NullTerminated(256);
    server_.charset = in_.U16LE();
    in_.U8(); // server flags
    uint16_t elements = in_.U16LE();
    in_.Skip(size_t(elements) * 5);
    uint16_t fdoLength = in_.U16BE();
    std::string fdo = in_.Raw(fdoLength);
    // The format descriptor names the national character set behind two variable parts.
    if (fdo.size() < 7) throw EDBError(1);
    size_t ix = 6 + uint8_t(fdo[5]) + uint8_t(fdo[6]);
    if (fdo.size() < ix + 5) throw EDBError(1);
    server_.ncharset = uint16_t((uint8_t(fdo[ix + 3]) << 8) | uint8_t(fdo[ix + 4]));
    std::string compile = in_.BytesWithLength(1024);
    std::string runtime = in_.BytesWithLength(1024);
    server_.fieldVersion = compile.size() > 7 ? std::min<uint8_t>(FieldVersion, uint8_t(compile[7])) : 0;
    server_.maxString = runtime.size() > 6 && (uint8_t(runtime[6]) & 0x04) ? 32767 : 4000;
    ReplyRead();
    if (server_.ttcVersion < 6) throw EDBError(444);

    // Data types: our character sets, capabilities, and the types we take.
    uint8_t caps[53] = {};
    caps[0] = 6;                                // SQL version
    caps[4] = 0x08 | 0x02 | 0x20 | 0x40 | 0x80; // O5LOGON, without password, long names and passwords
    caps[7] = server_.fieldVersion;             // TTC field version
    caps[8] = 1;                                // server-side define conversion
    caps[15] = 0x01 | 0x08 | 0x20;              // end-of-call status, indicator records, fast bit vectors
    caps[17] = 3;                               // TDS version
    caps[18] = 7;                               // RPC version
    caps[19] = 3;                               // RPC signature
    caps[21] = 1;                               // DBF version
    caps[23] = 0x01 | 0x02 | 0x08 | 0x80;       // LOB: 8-byte sizes, encodings, temporary sizes, 12c
    caps[26] = 0x04;                            // zero-length values are not null
    caps[27] = 1;                               // 2-byte type codes
    caps[34] = 12;                              // client functions
    caps[37] = 0x20 | 0x80;                     // big chunks, keep order
    uint8_t runtimeCaps[7] = {2, 0, 0, 0, 0, 0, 0x01 | 0x04}; // 8.1 compatible; zero copy, 32k strings
    out_.U8(ttcDataTypes);
    out_.U16LE(873); // AL32UTF8
    out_.U16LE(873);
    out_.U8(0x01 | 0x02); // multi-byte, lengths converted
    out_.BytesWithLength(std::string_view(reinterpret_cast<const char*>(caps), sizeof caps));
    out_.BytesWithLength(std::string_view(reinterpret_cast<const char*>(runtimeCaps), sizeof runtimeCaps));
    for (uint16_t t : SameTypes)
        out_.U16BE(t), out_.U16BE(t), out_.U16BE(1), out_.U16BE(0);
    for (auto& t : ConvertedTypes)
        out_.U16BE(t[0]), out_.U16BE(t[1]), out_.U16BE(t[2]), out_.U16BE(0);
    out_.U16BE(0);
    Send();
    type = in_.U8();
    if (type != ttcDataTypes) {
        ReadReply();
        throw EDBError(1);
    }
    for (int n = 0;; ++n) {
        if (n > 4096) throw EDBError(1);
        uint16_t t = in_.U16BE();
        if (t == 0) break;
        if (in_.U16BE() != 0) in_.Skip(4);
    }
    ReplyRead();
}

// ---------------------------------------------------------------------------------------------------------
// Replies

void TCurrentSession::ReadErrorInfo(TCallEnd& end) {
    end.callStatus = in_.UB4();
    in_.UB2();            // end-to-end sequence number
    in_.UB4();            // current row
    in_.UB2();            // error number (short form)
    in_.UB2(), in_.UB2(); // array element with the error
    end.cursor = uint16_t(in_.UB2());
    end.offset = in_.SB2();
    in_.Skip(5); // SQL type, fatal, flags, user cursor options, UPI parameter
    in_.U8();    // warning flags
    const uint32_t object = in_.UB4();
    const uint32_t file = in_.UB2();
    end.rowid[0] = in_.U8();
    const uint32_t block = in_.UB4();
    const uint32_t slot = in_.UB2();
    StoreBe(object, end.rowid + 1, 4), StoreBe(file, end.rowid + 5, 2);
    StoreBe(block, end.rowid + 7, 4), StoreBe(slot, end.rowid + 11, 2);
    in_.UB4();                                    // OS error
    in_.U8(), in_.U8();                           // statement error, call number
    in_.UB2();                                    // padding
    in_.UB4();                                    // successful iterations
    if (in_.UB4() > 0) in_.SkipBytesWithLength(); // logical rowid
    // Batch errors: codes, row offsets, messages. Not used by a single execution; read over.
    uint32_t codes = in_.UB2();
    if (codes > 0) {
        bool chunked = in_.U8() == 254;
        for (uint32_t i = 0; i < codes; ++i) {
            if (chunked) in_.UB4();
            in_.UB2();
        }
        if (chunked) in_.Skip(1);
    }
    uint32_t offsets = in_.UB4();
    if (offsets > 65535) throw EDBError(1);
    if (offsets > 0) {
        bool chunked = in_.U8() == 254;
        for (uint32_t i = 0; i < offsets; ++i) {
            if (chunked) in_.UB4();
            in_.UB4();
        }
        if (chunked) in_.Skip(1);
    }
    uint32_t messages = in_.UB2();
    if (messages > 0) {
        in_.Skip(1);
        for (uint32_t i = 0; i < messages; ++i) {
            in_.UB2();
            in_.SkipBytesWithLength();
            in_.Skip(2);
        }
    }
    end.code = in_.UB4();
    end.rows = in_.UB8();
    if (server_.fieldVersion >= 14) in_.UB4(), in_.UB4(); // SQL type, server checksum
    if (end.code != 0) {
        end.message = in_.BytesWithLength(65536);
        while (!end.message.empty() && (end.message.back() == '\n' || end.message.back() == ' '))
            end.message.pop_back();
    }
}

void TCurrentSession::ReadServerPiggyback() {
    switch (in_.U8()) {
    case 1: // query cache invalidation
    case 3: // trace event
        break;
    case 2: { // process id of a shared server
        uint32_t n = in_.UB2();
        in_.U8();
        in_.Skip(n);
        break;
    }
    case 4: { // session state returned
        in_.UB2(), in_.U8();
        uint32_t n = in_.UB2();
        if (n > 0) {
            in_.U8();
            for (uint32_t i = 0; i < n; ++i) {
                if (in_.UB2() > 0) in_.SkipBytesWithLength();
                if (in_.UB2() > 0) in_.SkipBytesWithLength();
                in_.UB2();
            }
        }
        in_.UB4(), in_.UB4(), in_.UB2();
        break;
    }
    case 5: { // session settings changed
        in_.UB2(), in_.U8();
        uint32_t n = in_.UB4();
        if (n > 65535) throw EDBError(1);
        in_.Skip(1);
        for (uint32_t i = 0; i < n; ++i) {
            if (in_.UB2() > 0) in_.SkipBytesWithLength();
            if (in_.UB2() > 0) in_.SkipBytesWithLength();
            in_.UB2();
        }
        in_.UB4();
        break;
    }
    case 7: // logical transaction id
        if (in_.UB4() > 0) in_.SkipBytesWithLength();
        break;
    case 8: // application continuity replay context
        in_.UB2(), in_.U8(), in_.UB4(), in_.UB4(), in_.U8();
        if (in_.UB4() > 0) in_.SkipBytesWithLength();
        break;
    case 9:
        in_.UB2(), in_.U8();
        break;
    case 10: // session signature
        in_.UB2(), in_.U8(), in_.UB8(), in_.UB8(), in_.UB8();
        break;
    default:
        throw EDBError(1);
    }
}

bool TCurrentSession::ReadCommonMessage(uint8_t type, TCallEnd& end) {
    switch (type) {
    case ttcError:
        ReadErrorInfo(end);
        break;
    case ttcStatus:
        end.callStatus = in_.UB4();
        in_.UB2();
        break;
    case ttcWarning: {
        uint32_t code = in_.UB2();
        uint32_t length = in_.UB2();
        in_.UB2();
        if (code != 0 && length > 0) {
            end.warningCode = uint16_t(code);
            end.warning = in_.BytesWithLength(65536);
        }
        return true;
    }
    case ttcServerPiggyback:
        ReadServerPiggyback();
        return true;
    default:
        return false;
    }
    end.ended = true;
    ReplyRead();
    return true;
}

TCallEnd TCurrentSession::ReadReply(const TParameterSink& sink) {
    TCallEnd end;
    for (;;) {
        uint8_t type = in_.U8();
        switch (type) {
        case ttcEndOfRequest:
            ReplyRead();
            return end;
        case ttcParameter: {
            if (!sink) throw EDBError(1);
            uint32_t count = in_.UB2();
            for (uint32_t i = 0; i < count; ++i) {
                in_.UB4();
                std::string key = in_.BytesWithLength(4096);
                std::string value;
                if (in_.UB4() > 0) value = in_.BytesWithLength(65536);
                uint32_t flags = in_.UB4();
                sink(key, value, flags);
                OPENSSL_cleanse(value.data(), value.size());
            }
            break;
        }
        default:
            if (!ReadCommonMessage(type, end)) throw EDBError(1);
            if (end.ended) return end;
            break;
        }
    }
}

// ---------------------------------------------------------------------------------------------------------
// Logon and the calls without a cursor

TCallEnd TCurrentSession::Logon(const std::string& user, const std::string& password,
                                const TClientInfo& client) {
    const std::string name = Utf8(user);
    auto header = [&](uint8_t function, uint32_t pairs, uint8_t pointer) {
        FunctionHeader(function);
        out_.U8(name.empty() ? 0 : 1);
        out_.UB4(uint32_t(name.size()));
        out_.UB4(AuthModeLogon | AuthModeWithPassword);
        out_.U8(1);
        out_.UB4(pairs);
        out_.U8(pointer);
        out_.U8(1);
        if (!name.empty()) out_.BytesWithLength(name);
    };
    // Phase one: who we are and where from.
    std::string pid = client.processText.substr(0, client.processText.find(':'));
    header(fnAuthPhaseOne, 5, 0);
    out_.KeyValue("AUTH_TERMINAL", "unknown");
    out_.KeyValue("AUTH_PROGRAM_NM", Utf8(client.programName));
    out_.KeyValue("AUTH_MACHINE", Utf8(client.computerName));
    out_.KeyValue("AUTH_PID", pid);
    out_.KeyValue("AUTH_SID", Utf8(client.osUser));
    Send();
    std::map<std::string, std::pair<std::string, uint32_t>> first;
    TCallEnd end = ReadReply([&](const std::string& k, const std::string& v, uint32_t f) {
        first[k] = {v, f};
    });
    if (end.code != 0) return end;
    auto value = [&](const char* key) {
        auto it = first.find(key);
        return it == first.end() ? std::string() : it->second.first;
    };
    TO5Challenge challenge;
    auto vfr = first.find("AUTH_VFR_DATA");
    if (vfr == first.end()) throw std::runtime_error("Malformed logon challenge");
    uint32_t verifier = vfr->second.second;
    if (verifier == vfr11g1 || verifier == vfr11g2)
        challenge.verifier11g = true;
    else if (verifier != vfr12c)
        throw std::runtime_error("Password verifier type not supported (" + std::to_string(verifier) + ")");
    challenge.verifierData = vfr->second.first;
    challenge.serverKey = value("AUTH_SESSKEY");
    challenge.mixingSalt = value("AUTH_PBKDF2_CSK_SALT");
    challenge.derivationRounds = int(NumberOr0(value("AUTH_PBKDF2_VGEN_COUNT")));
    challenge.mixingRounds = int(NumberOr0(value("AUTH_PBKDF2_SDER_COUNT")));

    // Phase two: our half of the session key, the encrypted password, the session's settings.
    std::string pw = Utf8(password);
    TO5Answer answer = O5Respond(challenge, pw, random);
    OPENSSL_cleanse(pw.data(), pw.size());
    header(fnAuthPhaseTwo, challenge.verifier11g ? 6 : 7, 1);
    out_.KeyValue("AUTH_SESSKEY", answer.sessionKey, 1);
    if (!challenge.verifier11g) out_.KeyValue("AUTH_PBKDF2_SPEEDY_KEY", answer.speedyKey);
    out_.KeyValue("SESSION_CLIENT_CHARSET", "873");
    out_.KeyValue("SESSION_CLIENT_DRIVER_NAME", DriverName);
    out_.KeyValue("SESSION_CLIENT_VERSION", std::to_string(ClientVersion));
    const std::string zone = TimeZoneText();
    server_.zoneMinutes = ZoneOffsetMinutes(zone);
    out_.KeyValue("AUTH_ALTER_SESSION", "ALTER SESSION SET TIME_ZONE='" + zone + "'" + '\0', 1);
    out_.KeyValue("AUTH_PASSWORD", answer.password);
    Send();
    bool proven = false;
    end = ReadReply([&](const std::string& k, const std::string& v, uint32_t) {
        if (k == "AUTH_SVR_RESPONSE")
            proven = O5ServerProofValid(answer.comboKey, v);
        else if (k == "AUTH_VERSION_NO")
            server_.versionNumber = NumberOr0(v);
        else if (k == "AUTH_SESSION_ID")
            server_.sessionId = v;
        else if (k == "AUTH_SERIAL_NUM")
            server_.serialNumber = v;
    });
    answer.comboKey.Wipe();
    // A password about to expire is a warning that comes as the call's error: the session stands.
    if (end.code == 28002 || end.code == 28011) {
        end.warningCode = uint16_t(end.code);
        end.warning = end.message;
        end.code = 0;
        end.message.clear();
    }
    if (end.code == 0 && !proven)
        throw std::runtime_error("The server did not prove that it knows the password");
    return end;
}

TCallEnd TCurrentSession::Simple(uint8_t function) {
    FunctionHeader(function);
    Send();
    return ReadReply();
}

void TCurrentSession::Disconnect() {
    link_.SendData(nullptr, 0, dataFlagEndOfFile);
}

bool TCurrentSession::Break() {
    link_.SendMarker(1);
    return true;
}

// ---------------------------------------------------------------------------------------------------------
// The service context's side

namespace {
std::atomic<bool> offerCurrentProtocol{true};
} // namespace

void SetOfferCurrentProtocol(bool on) {
    offerCurrentProtocol.store(on);
}

bool OfferCurrentProtocol() {
    return offerCurrentProtocol.load();
}

sword TNetConnection::BeginCurrentSession(const TAcceptInfo& accepted, TNetErrorHandle* err) {
    current = std::make_unique<TCurrentSession>(transport->Socket(), accepted, transport->TakeReceived());
    current->gate = transport.get();
    transport->largeMarkers = true;
    if (!accepted.NoNetServices()) current->NetServices();
    current->Negotiate();
    TCallEnd end = current->Logon(session ? session->userName : std::string(),
                                  session ? session->password : std::string(), clientInfo());
    if (end.code != 0) {
        if (err) err->code = int32_t(end.code), err->message = cp1252::FromUtf8(end.message);
        return -1;
    }
    // The classic fields that the call-interface emulation reads.
    serverVersion = 8100;
    protocolVersion = 6;
    loggedOn = true;
    if (end.warningCode != 0) {
        if (err) err->code = end.warningCode, err->message = cp1252::FromUtf8(end.warning);
        return 1;
    }
    return 0;
}

sword TNetConnection::CurrentCall(uint8_t function, TNetErrorHandle* err) {
    TNetOperation operation(transport.get());
    try {
        TCallEnd end = current->Simple(function);
        if (err) err->code = int32_t(end.code), err->message = cp1252::FromUtf8(end.message);
        return end.code != 0 ? -1 : 0;
    } catch (const std::exception& e) {
        return MapNetError(e, err);
    }
}

sword TNetConnection::CurrentEndSession(TNetErrorHandle* err) {
    TNetOperation operation(transport.get());
    try {
        TCallEnd end = current->Simple(fnLogoff);
        current->Disconnect();
        transport->Socket().Close();
        loggedOn = false;
        if (err) err->code = int32_t(end.code), err->message = cp1252::FromUtf8(end.message);
        return end.code != 0 ? -1 : 0;
    } catch (const std::exception& e) {
        // The connection is unusable after a failed logoff: close it so that nothing waits on it.
        transport->Socket().Close();
        loggedOn = false;
        return MapNetError(e, err);
    }
}

} // namespace oranet
