#include "emulator/EmuModernSession.h"
#include "emulator/EmuListener.h"

#include "emulator/EmuNetWords.h"
#include "emulator/EmuO5Logon.h"

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <iostream>

namespace vemu {

namespace {

constexpr size_t kMaxLogonText = 4096; // a user name, key or value of the logon pairs
constexpr uint32_t kMaxLogonPairs = 64;
constexpr uint32_t kCallStatusTxnInProgress = 0x2;

const char kBanner[] = "x86_64/Linux 2.4.xx"; // what a 19c server on Linux names itself in the negotiation

std::string NowText() {
    std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
    return buf;
}

std::string Trim(std::string s) {
    while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ')
        s.pop_back();
    while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ')
        s.erase(0, 1);
    return s;
}

} // namespace

bool ServeCurrentGeneration(const EmuOptions& o, uint16_t connectVersion) {
    switch (o.generation) {
    case EmuOptions::Generation::Classic:
        return false;
    case EmuOptions::Generation::Current:
        return true;
    case EmuOptions::Generation::Auto:
        break;
    }
    return connectVersion >= net::kVersionLargeSdu;
}

ModernSession::ModernSession(int fd, EmuDatabase& db, ServerHooks& hooks)
    : w_(fd, db.Options().dropAfterBytes), db_(db), opts_(db.Options()), hooks_(hooks) {}

ModernSession::~ModernSession() {
    cursors_.clear();
    eng_.reset();
    if (sid_) db_.UnregisterSession(sid_);
}

void ModernSession::Run() {
    try {
        if (!Connect()) return;
        for (;;) {
            uint8_t type = w_.U8();
            if (!negotiated_) {
                if (type == net::kMsgProtocol)
                    Protocol();
                else if (type == net::kMsgDataTypes)
                    DataTypes();
                else
                    throw ProtocolError("message type " + std::to_string(type) + " before the negotiation");
            } else if (type == net::kMsgPiggyback) {
                Piggyback();
                continue; // the function the piggyback rides on follows in the same request
            } else if (type == net::kMsgFunction) {
                uint8_t fn = w_.U8();
                w_.U8(); // sequence number
                try {
                    Function(fn);
                    if (lostPending_) throw ConnectionClosed("client gone during a call");
                    if (breakPending_) throw BreakReceived{};
                } catch (const BreakReceived&) {
                    breakPending_ = false;
                    w_.ResetAfterBreak();
                    WriteCallEnd(MakeError(1013));
                    w_.Flush();
                    continue;
                }
            } else {
                throw ProtocolError("unknown message type " + std::to_string(type));
            }
            w_.ExpectRequestEnd();
            w_.Flush();
            if (aheadPlan_) DoReadAhead();
        }
    } catch (const ConnectionClosed& e) {
        if (opts_.verbose) std::cerr << "vestra-emu: session " << sid_ << ": " << e.what() << "\n";
    } catch (const ProtocolError& e) {
        std::cerr << "vestra-emu: session " << sid_ << ": protocol error: " << e.what() << "\n";
        // the server's answer to a malformed request, then the line is closed
        try {
            w_.DiscardReply();
            WriteCallEnd(MakeError(3137, "[" + std::string(e.what()) + "]"));
            w_.Flush();
        } catch (const std::exception&) {
            // the peer is gone already; closing is all that is left
        }
    } catch (const BreakReceived&) {
    } catch (const std::exception& e) {
        std::cerr << "vestra-emu: session " << sid_ << ": " << e.what() << "\n";
    }
}

void ModernSession::Refuse(int code) {
    std::string text = "(DESCRIPTION=(TMP=)(VSNNUM=318767104)(ERR=" + std::to_string(code) +
                       ")(ERROR_STACK=(ERROR=(CODE=" + std::to_string(code) + ")(EMFI=4))))";
    std::vector<uint8_t> body = {1, 0, static_cast<uint8_t>(text.size() >> 8),
                                 static_cast<uint8_t>(text.size())};
    body.insert(body.end(), text.begin(), text.end());
    w_.SendPacket(net::kRefuse, body);
}

bool ModernSession::Connect() {
    for (;;) {
        Packet pk = w_.ReadPacket();
        if (pk.type != net::kConnect) throw ProtocolError("expected CONNECT");
        ConnectRequest c = ParseConnect(pk.data);
        if (c.data.empty() && c.dataLength > 0) {
            // long connect data travels in a DATA packet of its own
            Packet d = w_.ReadPacket();
            if (d.type != net::kData || d.data.size() < 10)
                throw ProtocolError("connect data expected in a DATA packet");
            if (d.data.size() - 10 != c.dataLength)
                throw ProtocolError("connect data length differs from the CONNECT packet's");
            c.data.assign(reinterpret_cast<const char*>(d.data.data() + 10), c.dataLength);
        }
        if (opts_.resendOnce && !hooks_.resendUsed.exchange(true)) {
            w_.SendPacket(net::kResend, {});
            continue;
        }
        if (!opts_.redirectTo.empty() && !hooks_.redirectUsed.exchange(true)) {
            // as a listener in front of shared servers: the client goes to that address with its own
            // connect data
            size_t colon = opts_.redirectTo.rfind(':');
            std::string host = opts_.redirectTo.substr(0, colon);
            std::string port = colon == std::string::npos ? "1521" : opts_.redirectTo.substr(colon + 1);
            std::string text = "(DESCRIPTION=(ADDRESS=(PROTOCOL=TCP)(HOST=" + host + ")(PORT=" + port + ")))";
            std::vector<uint8_t> body = {static_cast<uint8_t>(text.size() >> 8),
                                         static_cast<uint8_t>(text.size())};
            body.insert(body.end(), text.begin(), text.end());
            w_.SendPacket(net::kRedirect, body);
            return false;
        }
        if (c.version < net::kVersionLargeSdu) {
            Refuse(28040); // no matching authentication protocol: the client is too old for this server
            return false;
        }
        if (opts_.requireEncryption) {
            // the emulator offers no encryption, so no client meets the requirement
            Refuse(12660); // encryption or crypto-checksumming parameters incompatible
            return false;
        }
        // The same listener as the classic generation's: the SID, or a service (the SID's name is one too).
        if (int refusal = ListenerRefusal(c.data, opts_)) {
            Refuse(refusal);
            return false;
        }
        uint16_t version = std::min<uint16_t>(c.version, net::kVersionHighest);
        size_t sdu = std::min<size_t>(c.sdu ? c.sdu : 8192, 2097152);
        std::vector<uint8_t> b(37, 0); // packet offsets 8..44
        auto put16 = [&](size_t off, uint16_t v) {
            b[off - 8] = static_cast<uint8_t>(v >> 8);
            b[off - 7] = static_cast<uint8_t>(v);
        };
        auto put32 = [&](size_t off, uint32_t v) {
            put16(off, static_cast<uint16_t>(v >> 16));
            put16(off + 2, static_cast<uint16_t>(v));
        };
        put16(8, version);
        put16(10, 0x0001); // global service options: "don't care"
        put16(12, static_cast<uint16_t>(std::min<size_t>(sdu, 65535)));
        put16(14, static_cast<uint16_t>(std::min<size_t>(sdu, 65535)));
        put16(16, 0x0100); // one in the server's byte order
        put16(18, 0);      // no accept data
        put16(20, 45);     // offset of the (empty) accept data
        b[22 - 8] = net::kNaNoServices;
        b[23 - 8] = net::kNaNoServices; // no network services linked: the client skips their negotiation
        put32(32, static_cast<uint32_t>(sdu));
        put32(36, static_cast<uint32_t>(sdu));
        // 40: no compression; 41..44: no further accept flags (no end-of-request marks, no fast logon)
        w_.SendPacket(net::kAccept, b);
        w_.SetAccepted(sdu);
        info_.logonTime = NowText();
        return true;
    }
}

void ModernSession::Protocol() {
    uint8_t versions = 0;
    while (w_.U8() != 0)
        if (++versions > 32) throw ProtocolError("protocol version list too long");
    size_t bannerLen = 0;
    while (w_.U8() != 0)
        if (++bannerLen > 256) throw ProtocolError("client banner too long");
    w_.W8(net::kMsgProtocol);
    w_.W8(6); // TTC protocol version
    w_.W8(0);
    w_.WBytes(kBanner, sizeof kBanner); // with its zero byte
    w_.WU16LE(net::kCharsetAl32Utf8);
    w_.W8(1);     // server flags
    w_.WU16LE(0); // no character-set elements
    // Format descriptor: the client finds the national character set at 6 + fdo[5] + fdo[6] + 3.
    const uint8_t fdo[] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0x07, 0xD0};
    w_.WU16BE(sizeof fdo);
    w_.WBytes(fdo, sizeof fdo);
    uint8_t compile[net::kCapCount] = {};
    compile[0] = 6;                              // SQL version
    compile[4] = 0x8 | 0x2 | 0x20 | 0x40 | 0x80; // O5LOGON and its variants
    compile[net::kCapFieldVersion] = net::kFieldVersion19c;
    w_.W8(sizeof compile);
    w_.WBytes(compile, sizeof compile);
    uint8_t runtime[net::kRuntimeCapCount] = {};
    runtime[0] = 2;    // compatible with 8.1
    runtime[6] = 0x01; // zero-copy; strings up to 4000 bytes
    w_.W8(sizeof runtime);
    w_.WBytes(runtime, sizeof runtime);
}

void ModernSession::DataTypes() {
    w_.U16LE(); // client character set
    w_.U16LE(); // client national character set
    w_.U8();    // encoding flags
    clientCompileCaps_ = w_.BytesWithLength(255);
    if (clientCompileCaps_.size() <= net::kCapFieldVersion)
        throw ProtocolError("compile-time capabilities too short");
    fieldVersion_ = std::min<uint8_t>(static_cast<uint8_t>(clientCompileCaps_[net::kCapFieldVersion]),
                                      net::kFieldVersion19c);
    w_.BytesWithLength(255); // runtime capabilities
    w_.W8(net::kMsgDataTypes);
    for (int n = 0;; ++n) {
        if (n > 2000) throw ProtocolError("data-type list too long");
        uint16_t type = w_.U16BE();
        if (type == 0) break;
        uint16_t conv = w_.U16BE();
        uint16_t rep = w_.U16BE();
        if (w_.U16BE() != 0) throw ProtocolError("data-type entry does not end with zero");
        w_.WU16BE(type);
        w_.WU16BE(conv);
        if (conv) {
            w_.WU16BE(rep);
            w_.WU16BE(0);
        }
    }
    w_.WU16BE(0);
    negotiated_ = true;
}

ModernSession::LogonRequest ModernSession::ReadLogonRequest(bool phaseOne) {
    LogonRequest r;
    uint8_t userPresent = w_.U8();
    uint32_t userLen = w_.UB4();
    r.mode = w_.UB4();
    if (w_.U8() != 1) throw ProtocolError("logon without key/value pairs");
    uint32_t pairs = w_.UB4();
    if (pairs > kMaxLogonPairs) throw ProtocolError("too many logon pairs");
    w_.U8(); // pointer
    w_.U8(); // pointer
    if (userPresent != (userLen > 0 ? 1 : 0)) throw ProtocolError("logon user flag and length disagree");
    if (userLen > kMaxLogonText) throw ProtocolError("logon user name too long");
    if (userLen) {
        r.user = w_.BytesWithLength(kMaxLogonText);
        if (r.user.size() != userLen) throw ProtocolError("logon user name length mismatch");
    }
    for (uint32_t i = 0; i < pairs; ++i) {
        uint32_t keyLen = w_.UB4();
        std::string key = w_.BytesWithLength(kMaxLogonText);
        if (key.size() != keyLen || key.empty()) throw ProtocolError("logon key length mismatch");
        uint32_t valueLen = w_.UB4();
        std::string value;
        if (valueLen) {
            value = w_.BytesWithLength(kMaxLogonText);
            if (value.size() != valueLen) throw ProtocolError("logon value length mismatch");
        }
        uint32_t flags = w_.UB4();
        r.pairs[key] = {value, flags};
    }
    if (phaseOne && (r.mode & net::kAuthModeLogon) == 0)
        throw ProtocolError("logon phase one without logon mode");
    return r;
}

void ModernSession::WriteParameters(
    const std::vector<std::pair<std::string, std::pair<std::string, uint32_t>>>& params) {
    w_.W8(net::kMsgParameter);
    w_.WUB2(static_cast<uint32_t>(params.size()));
    for (const auto& [k, v] : params)
        w_.WKeyValue(k, v.first, v.second);
}

uint32_t ModernSession::CallStatus() const {
    return eng_ && eng_->InTransaction() ? kCallStatusTxnInProgress : 0;
}

void ModernSession::WriteCallEnd(const OraError& e, long long rowCount, int cursorId,
                                 const RowidParts* rowid) {
    // The error-information message of a 19c server (field version below 20.1).
    w_.W8(net::kMsgError);
    w_.WUB4(CallStatus()); // end-of-call status
    w_.WUB2(0);            // end-to-end sequence number
    w_.WUB4(0);            // current row number
    w_.WUB2(e.code > 65535 ? 0 : static_cast<uint32_t>(e.code));
    w_.WUB2(0); // array element with error
    w_.WUB2(0); // array element with error
    w_.WUB2(static_cast<uint32_t>(cursorId));
    w_.WSB4(e.code ? e.pos : -1); // error position (signed two bytes on the wire)
    w_.W8(0);                     // SQL type
    w_.W8(0);                     // fatal
    w_.W8(0);                     // flags
    w_.W8(0);                     // user cursor options
    w_.W8(0);                     // UPI parameter
    w_.W8(0);                     // warning flags
    // rowid: object, file, a byte, block, slot
    w_.WUB4(rowid ? static_cast<int64_t>(rowid->object) : 0);
    w_.WUB2(rowid ? static_cast<int32_t>(rowid->file) : 0);
    w_.W8(0);
    w_.WUB4(rowid ? static_cast<int64_t>(rowid->block) : 0);
    w_.WUB2(rowid ? static_cast<int32_t>(rowid->row) : 0);
    w_.WUB4(0); // OS error
    w_.W8(0);   // statement error
    w_.W8(0);   // call number
    w_.WUB2(0); // padding
    w_.WUB4(0); // successful iterations
    w_.WUB4(0); // logical rowid bytes
    w_.WUB2(0); // batch error codes
    w_.WUB4(0); // batch error offsets
    w_.WUB2(0); // batch error messages
    w_.WUB4(static_cast<uint32_t>(e.code));
    w_.WUB8(static_cast<uint64_t>(rowCount));
    if (e.code) w_.WBytesWithLength(e.text + "\n");
}

void ModernSession::AuthPhaseOne() {
    if (logon_ || loggedOn_) throw ProtocolError("logon phase one out of order");
    LogonRequest r = ReadLogonRequest(true);
    logonUser_ = UpperAscii(Trim(r.user));
    auto text = [&](const char* k) {
        auto it = r.pairs.find(k);
        return it == r.pairs.end() ? std::string() : it->second.first;
    };
    info_.machine = text("AUTH_MACHINE");
    info_.osuser = text("AUTH_SID");
    info_.process = text("AUTH_PID");
    info_.program = text("AUTH_PROGRAM_NM");
    VerifierKind kind = opts_.verifier11g ? VerifierKind::V11g : VerifierKind::V12c;
    const Account* a = db_.FindAccount(logonUser_);
    knownUser_ = a != nullptr;
    // an unknown user gets a verifier all the same: the failure comes with phase two, as for a wrong password
    PasswordVerifier v = a ? (kind == VerifierKind::V11g ? a->v11g : a->v12c) : MakeVerifier(kind, "\x01");
    logon_ = std::make_unique<O5Logon>(v);
    std::vector<std::pair<std::string, std::pair<std::string, uint32_t>>> p;
    p.push_back({"AUTH_SESSKEY", {logon_->ServerSessionKeyHex(), 0}});
    p.push_back({"AUTH_VFR_DATA",
                 {logon_->SaltHex(), kind == VerifierKind::V11g ? kVerifierType11g : kVerifierType12c}});
    if (kind == VerifierKind::V12c) {
        p.push_back({"AUTH_PBKDF2_CSK_SALT", {logon_->CskSaltHex(), 0}});
        p.push_back({"AUTH_PBKDF2_VGEN_COUNT", {std::to_string(kPbkdf2VerifierIterations), 0}});
        p.push_back({"AUTH_PBKDF2_SDER_COUNT", {std::to_string(kPbkdf2SessionIterations), 0}});
    }
    p.push_back({"AUTH_GLOBALLY_UNIQUE_DBID", {"E5A1C0DE5A1C0DE5A1C0DE5A1C0DE5A1", 0}});
    WriteParameters(p);
    WriteCallEnd(OraError());
}

void ModernSession::AuthPhaseTwo() {
    if (!logon_ || loggedOn_) throw ProtocolError("logon phase two out of order");
    LogonRequest r = ReadLogonRequest(false);
    std::unique_ptr<O5Logon> logon = std::move(logon_);
    auto get = [&](const char* k, std::string& out) {
        auto it = r.pairs.find(k);
        if (it == r.pairs.end()) return false;
        out = it->second.first;
        return true;
    };
    std::string clientKey, passwordHex, speedy, password;
    if (!get("AUTH_SESSKEY", clientKey) || !get("AUTH_PASSWORD", passwordHex))
        throw ProtocolError("logon phase two without session key or password");
    if (UpperAscii(Trim(r.user)) != logonUser_) throw ProtocolError("logon phase two for another user");
    if (!logon->AcceptClientKey(clientKey)) throw ProtocolError("malformed client session key");
    bool ok = knownUser_ && logon->DecryptPassword(passwordHex, password) && logon->PasswordMatches(password);
    if (ok && !opts_.verifier11g && get("AUTH_PBKDF2_SPEEDY_KEY", speedy))
        ok = logon->SpeedyKeyMatches(speedy);
    std::fill(password.begin(), password.end(), '\0');
    if (!ok) return WriteCallEnd(MakeError(1017));
    info_.user = logonUser_;
    sid_ = db_.RegisterSession(info_);
    info_.sid = sid_;
    eng_ = std::make_unique<EmuEngine>(db_, sid_, logonUser_);
    eng_->SetInterruptCheck([this] {
        // no exception may cross SQLite's frames: note what happened and let the statement stop
        if (readingAhead_) return false; // between calls the next request is not a break
        if (opts_.breakChecks) opts_.breakChecks->fetch_add(1);
        try {
            w_.CheckBreak();
        } catch (const BreakReceived&) {
            breakPending_ = true;
            return true;
        } catch (...) {
            lostPending_ = true; // the line is gone or broken: the session ends after the statement
            return true;
        }
        return false;
    });
    loggedOn_ = true;
    std::vector<std::pair<std::string, std::pair<std::string, uint32_t>>> p;
    p.push_back({"AUTH_VERSION_NO", {std::to_string(net::kVersionNumber19c), 0}});
    p.push_back({"AUTH_SVR_RESPONSE", {logon->ServerResponseHex(), 0}});
    p.push_back({"AUTH_SESSION_ID", {std::to_string(sid_), 0}});
    p.push_back({"AUTH_SERIAL_NUM", {"1", 0}});
    p.push_back({"AUTH_VERSION_STRING", {"- Production", 0}});
    p.push_back({"AUTH_VERSION_SQL", {"19", 0}});
    p.push_back({"AUTH_DBNAME", {UpperAscii(opts_.sid), 0}});
    p.push_back({"AUTH_INSTANCENAME", {opts_.sid, 0}});
    p.push_back({"AUTH_SC_SERVICE_NAME", {opts_.sid, 0}});
    p.push_back({"AUTH_SC_DB_DOMAIN", {"", 0}});
    p.push_back({"AUTH_MAX_OPEN_CURSORS", {"300", 0}});
    p.push_back({"AUTH_MAX_IDEN_LENGTH", {"128", 0}});
    WriteParameters(p);
    // a password in its grace period: the logon stands, a warning message tells it before the call's end
    if (opts_.passwordExpiresInDays > 0) {
        const std::string text = MakeError(28002, "the password will expire within " +
                                                      std::to_string(opts_.passwordExpiresInDays) + " days")
                                     .text;
        w_.W8(net::kMsgWarning);
        w_.WUB2(28002);
        w_.WUB2(static_cast<uint32_t>(text.size()));
        w_.WUB2(0); // flags
        w_.WBytesWithLength(text);
    }
    WriteCallEnd(OraError());
}

void ModernSession::Piggyback() {
    uint8_t fn = w_.U8();
    w_.U8(); // sequence number
    if (!loggedOn_) throw ProtocolError("piggyback before the logon");
    if (fn == net::kFnCloseCursors) {
        w_.U8(); // pointer
        uint32_t n = w_.UB4();
        if (n > 65535) throw ProtocolError("too many cursors to close");
        for (uint32_t i = 0; i < n; ++i)
            CloseCursor(w_.UB4());
        return;
    }
    if (fn == net::kFnLobOp) return FreeTempLobsPiggyback();
    throw ProtocolError("unsupported piggyback function " + std::to_string(fn));
}

void ModernSession::Function(uint8_t fn) {
    if (fn == net::kFnAuthPhaseOne) return AuthPhaseOne();
    if (fn == net::kFnAuthPhaseTwo) return AuthPhaseTwo();
    if (!loggedOn_) throw ProtocolError("function " + std::to_string(fn) + " before the logon");
    switch (fn) {
    case net::kFnLogoff:
        cursors_.clear();
        eng_.reset();
        db_.UnregisterSession(sid_);
        sid_ = 0;
        loggedOn_ = false;
        return WriteCallEnd(OraError());
    case net::kFnCommit:
        return WriteCallEnd(eng_->Commit());
    case net::kFnRollback:
        return WriteCallEnd(eng_->Rollback());
    case net::kFnPing:
        return WriteCallEnd(OraError());
    case net::kFnExecute:
        return Execute();
    case net::kFnReexecute:
        return Reexecute(false);
    case net::kFnReexecuteAndFetch:
        return Reexecute(true);
    case net::kFnFetch:
        return FetchCall();
    case net::kFnLobOp:
        return LobOp();
    default:
        throw ProtocolError("unsupported function " + std::to_string(fn));
    }
}

} // namespace vemu
