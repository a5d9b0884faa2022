#include "emulator/EmuSession.h"

#include "emulator/EmuListener.h"

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iostream>
#include <sqlite3.h>
#include <thread>
#include <unistd.h>

namespace vemu {

namespace {

constexpr uint8_t kMsgProtocol = 1, kMsgDataTypes = 2, kMsgCall = 3, kMsgStatus = 4, kMsgRowHeader = 6,
                  kMsgRow = 7, kMsgReturn = 8, kMsgEnd = 9, kMsgBindVector = 11;

std::string FindKey(const std::string& text, const char* key) {
    std::string up = UpperAscii(text);
    std::string k = std::string(key) + "=";
    size_t p = up.find(k);
    if (p == std::string::npos) return {};
    size_t s = p + k.size();
    size_t e = text.find(')', s);
    std::string v = text.substr(s, e == std::string::npos ? std::string::npos : e - s);
    while (!v.empty() && v.back() == ' ')
        v.pop_back();
    while (!v.empty() && v.front() == ' ')
        v.erase(0, 1);
    return v;
}

std::string NowText() {
    std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
    return buf;
}

void EncodeInt(long long v, std::string& out) {
    uint8_t b[24];
    out.assign(reinterpret_cast<const char*>(b), EncodeIntNumber(v, b));
}

void EncodeDouble(double v, std::string& out) {
    uint8_t b[24];
    out.assign(reinterpret_cast<const char*>(b), EncodeDoubleNumber(v, b));
}

} // namespace

Session::Session(int fd, EmuDatabase& db, ServerHooks& hooks)
    : w_(fd, db.Options().dropAfterBytes), db_(db), opts_(db.Options()), hooks_(hooks) {
    protocol_ = opts_.protocol == 4 || opts_.protocol == 5 ? opts_.protocol : 6;
    const char* t = std::getenv("VESTRA_EMU_TRACE");
    trace_ = t && *t && std::string(t) != "0";
    serverVersion_ = protocol_ == 4 ? 7230 : protocol_ == 5 ? 8030 : 8100;
    w_.CountIdleBreaks(opts_.idleBreaks);
}

Session::~Session() {
    cursors_.clear();
    eng_.reset();
    if (sid_) db_.UnregisterSession(sid_);
}

void Session::Run() {
    try {
        if (!Connect()) return;
        for (;;) {
            uint8_t type = w_.U8();
            if (type == kMsgProtocol) {
                Protocol();
            } else if (type == kMsgDataTypes) {
                DataTypes();
            } else if (type == kMsgCall) {
                uint8_t fn = w_.U8();
                w_.U8(); // sequence number
                try {
                    Call(fn);
                    if (lostPending_) throw ConnectionClosed("client gone during a call");
                    if (breakPending_) throw BreakReceived{};
                } catch (const BreakReceived&) {
                    breakPending_ = false;
                    w_.ResetAfterBreak();
                    WriteStatus(0, MakeError(1013), 0);
                }
            } else {
                throw ProtocolError("unknown message type " + std::to_string(type));
            }
            w_.Flush();
            if (aheadPlan_) DoReadAhead();
        }
    } catch (const ConnectionClosed& e) {
        if (opts_.verbose) std::cerr << "vestra-emu: session " << sid_ << ": " << e.what() << "\n";
    } catch (const ProtocolError& e) {
        std::cerr << "vestra-emu: session " << sid_ << ": protocol error: " << e.what() << "\n";
    } catch (const BreakReceived&) {
    } catch (const std::exception& e) {
        std::cerr << "vestra-emu: session " << sid_ << ": " << e.what() << "\n";
    }
}

bool Session::Connect() {
    for (;;) {
        Packet pk = w_.ReadPacket();
        if (pk.type != kTnsConnect) throw ProtocolError("expected CONNECT");
        const auto& d = pk.data;
        if (d.size() < 34) throw ProtocolError("CONNECT packet too short");
        size_t sdu = (static_cast<size_t>(d[14]) << 8) | d[15];
        size_t len = (static_cast<size_t>(d[24]) << 8) | d[25];
        size_t off = (static_cast<size_t>(d[26]) << 8) | d[27];
        std::string desc;
        if (off >= 8 && off <= d.size() && len <= d.size() - off)
            desc.assign(reinterpret_cast<const char*>(d.data() + off), len);
        std::string sid = FindKey(desc, "SID");
        if (sid.empty()) sid = FindKey(desc, "SERVICE_NAME");
        if (opts_.resendOnce && !hooks_.resendUsed.exchange(true)) {
            w_.SendPacket(kTnsResend, {});
            continue;
        }
        if (!opts_.redirectTo.empty() && !hooks_.redirectUsed.exchange(true)) {
            size_t colon = opts_.redirectTo.rfind(':');
            std::string host = opts_.redirectTo.substr(0, colon);
            std::string port = colon == std::string::npos ? "1521" : opts_.redirectTo.substr(colon + 1);
            std::string text = "(DESCRIPTION=(ADDRESS=(PROTOCOL=TCP)(HOST=" + host + ")(PORT=" + port +
                               "))(CONNECT_DATA=(SID=" + sid + ")))";
            std::vector<uint8_t> body;
            body.push_back(static_cast<uint8_t>((text.size() + 1) >> 8));
            body.push_back(static_cast<uint8_t>(text.size() + 1));
            body.insert(body.end(), text.begin(), text.end());
            body.push_back(0);
            w_.SendPacket(kTnsRedirect, body);
            return false;
        }
        if (int refusal = ListenerRefusal(desc, opts_)) {
            w_.SendPacket(kTnsRefuse, ListenerRefuseBody(refusal));
            return false;
        }
        if (sdu == 0) sdu = 2048;
        size_t maxPacket = std::min<size_t>(sdu, 4086);
        w_.SetMaxPacket(maxPacket);
        std::vector<uint8_t> body(24, 0);
        body[0] = 0x01; // version 307
        body[1] = 0x33;
        body[4] = static_cast<uint8_t>(maxPacket >> 8);
        body[5] = static_cast<uint8_t>(maxPacket);
        body[6] = 0x7F;
        body[7] = 0xFF;
        body[8] = 0x01; // value of one in hardware
        body[9] = 0x00;
        body[12] = 0;
        body[13] = 32; // data offset
        w_.SendPacket(kTnsAccept, body);
        info_.logonTime = NowText();
        return true;
    }
}

void Session::Protocol() {
    for (int i = 0; w_.U8() != 0; ++i)
        if (i > 32) throw ProtocolError("protocol version list too long");
    for (int i = 0; w_.U8() != 0; ++i)
        if (i > 256) throw ProtocolError("client banner too long");
    w_.variableInts = false;
    w_.W8(kMsgProtocol);
    w_.W8(static_cast<uint8_t>(protocol_));
    w_.W8(0);
    const char banner[] = "VestraEmu-SQLite";
    w_.WBytes(banner, sizeof banner); // with its zero byte
    w_.WFixed2LE(178);                // WE8MSWIN1252
    w_.W8(0);                         // flags
    w_.WFixed2LE(1);                  // one 5-byte element
    const uint8_t elem[5] = {0, 0, 0, 0, 0};
    w_.WBytes(elem, 5);
    if (protocol_ >= 5) {
        w_.WFixed2BE(4);
        const uint8_t four[4] = {1, 2, 3, 4};
        w_.WBytes(four, 4);
    }
    if (protocol_ >= 6) {
        const uint8_t a[3] = {2, 0, 1}, b[2] = {1, 2};
        w_.WBytes(a, 3);
        w_.WBytes(b, 2);
    }
}

void Session::DataTypes() {
    w_.UB2();
    w_.UB2();
    if (w_.U8() != 2)
        throw ProtocolError("data-type request: the byte 2 after the character sets is missing");
    if (w_.Peek() == 21) { // capability vectors (protocol 6 clients)
        w_.U8();
        w_.Raw(21);
        uint8_t n = w_.U8();
        w_.Raw(n);
    }
    std::string table = w_.Raw(685);
    if (static_cast<uint8_t>(table.back()) != 0 || table[0] != 1)
        throw ProtocolError("data-type table does not have the expected layout");
    const uint8_t reply[] = {kMsgDataTypes, 1, 1, 1, 0, 2, 2, 10, 0, 0};
    w_.WBytes(reply, sizeof reply);
    w_.variableInts = true;
    negotiated_ = true;
}

void Session::WriteStatus(long long rows, const OraError& e, int commandType, const RowidParts* rowid) {
    if (trace_)
        std::cerr << "vestra-emu[" << sid_ << "]   status rows=" << rows << " cmd=" << commandType
                  << (e.code ? " " + e.text : std::string()) << "\n";
    w_.W8(kMsgStatus);
    w_.WUB4(rows);
    w_.WUB2(e.code);
    w_.WUB2(0);
    w_.WUB2(0);
    w_.WUB2(0);
    w_.WUB2(e.code ? e.pos : 0);
    w_.W8(static_cast<uint8_t>(commandType));
    w_.W8(0);
    w_.WUB2(0);
    w_.WUB2(0);
    w_.W8(0);
    w_.W8(0);
    RowidParts r;
    if (rowid) r = *rowid;
    w_.WUB4(rowid ? static_cast<int64_t>(r.object) : 0);
    w_.WUB2(rowid ? static_cast<int32_t>(r.file) : 0);
    w_.W8(0);
    w_.WUB4(rowid ? static_cast<int64_t>(r.block) : 0);
    w_.WUB2(rowid ? static_cast<int32_t>(r.row) : 0);
    w_.WUB4(0);
    w_.W8(0);
    w_.W8(0);
    w_.WUB2(0);
    w_.WUB4(0);
    if (e.code) w_.WClr(Utf8ToWin1252(e.text) + "\n");
}

void Session::SimpleReply(const OraError& e) {
    if (e)
        WriteStatus(0, e, 0);
    else
        w_.W8(kMsgEnd);
}

void Session::Call(uint8_t fn) {
    if (!negotiated_) throw ProtocolError("call before the data-type negotiation");
    if (trace_ && fn != 71) std::cerr << "vestra-emu[" << sid_ << "] call " << static_cast<int>(fn) << "\n";
    if (fn == 82 || fn == 81) return Logon(fn == 82);
    if (!loggedOn_) {
        w_.DiscardCurrentPacket();
        return WriteStatus(0, MakeError(1012), 0);
    }
    switch (fn) {
    case 2:
        return OpenCursor();
    case 8:
        return CloseCursor();
    case 9: { // logoff
        eng_->Rollback();
        cursors_.clear();
        eng_.reset();
        loggedOn_ = false;
        w_.W8(kMsgEnd);
        return;
    }
    case 14:
        return SimpleReply(eng_->Commit());
    case 15:
        return SimpleReply(eng_->Rollback());
    case 71:
        return Combined();
    case 98:
        return Describe98();
    case 43:
        return Describe43();
    default: {
        w_.DiscardCurrentPacket();
        WriteStatus(0, MakeError(3115, "function " + std::to_string(fn)), 0);
    }
    }
}

void Session::Logon(bool phase1) {
    uint8_t userPresent = w_.U8();
    uint32_t userLen = w_.UB4();
    w_.U8();
    uint32_t pwLen = w_.UB4();
    w_.UB4();
    w_.UB4();
    w_.UB4();
    w_.U8();
    uint32_t lens[5];
    for (int i = 0; i < 3; ++i) {
        w_.U8();
        lens[i] = w_.UB4();
    }
    w_.UB4(); // 4096
    for (int i = 3; i < 5; ++i) {
        w_.U8();
        lens[i] = w_.UB4();
    }
    w_.UB2();
    w_.UB4();
    w_.U8();
    w_.UB4();
    w_.U8();
    w_.UB4();
    w_.U8();
    std::string user = userPresent && userLen ? w_.Clr() : "";
    std::string pw = pwLen ? w_.Clr() : "";
    std::string texts[5];
    for (int i = 0; i < 5; ++i)
        if (lens[i]) texts[i] = w_.Clr();
    auto trim = [](std::string s) {
        while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ')
            s.pop_back();
        while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ')
            s.erase(0, 1);
        return s;
    };
    std::string name = UpperAscii(trim(user));
    if (phase1) {
        logonUser_ = name;
        sessionKey_ = RandomBlock();
        const Account* a = db_.FindAccount(name);
        // an unknown user still gets a session key: the failure comes with phase 2, as for a wrong password
        Block8 hash = a ? a->hash : RandomBlock();
        std::string keyText = EncryptSessionKey(hash, sessionKey_);
        phase1Done_ = true;
        w_.W8(kMsgReturn);
        w_.WUB2(1);
        w_.W8(static_cast<uint8_t>(keyText.size()));
        w_.WBytes(keyText.data(), keyText.size());
        WriteStatus(0, OraError(), 0);
        return;
    }
    OraError denied = MakeError(1017);
    if (!phase1Done_ || name != logonUser_ || loggedOn_) return WriteStatus(0, denied, 0);
    phase1Done_ = false;
    const Account* a = db_.FindAccount(name);
    std::string password;
    if (!a || !DecryptPassword(sessionKey_, pw, password) || PasswordHash(name, trim(password)) != a->hash)
        return WriteStatus(0, denied, 0);
    info_.user = name;
    info_.machine = texts[0];
    info_.osuser = texts[2];
    info_.process = texts[3];
    info_.program = texts[4];
    sid_ = db_.RegisterSession(info_);
    info_.sid = sid_;
    eng_ = std::make_unique<EmuEngine>(db_, sid_, name);
    eng_->SetInterruptCheck([this] {
        // no exception may cross SQLite's frames: note what happened and let the statement stop
        if (opts_.breakChecks) opts_.breakChecks->fetch_add(1);
        try {
            w_.CheckBreak();
        } catch (const BreakReceived&) {
            breakPending_ = true;
            return true;
        } catch (...) {
            lostPending_ = true;
            return true;
        }
        return false;
    });
    loggedOn_ = true;
    if (opts_.verbose) std::cerr << "vestra-emu: session " << sid_ << ": " << name << " logged on\n";
    WriteStatus(0, OraError(), 0);
}

int Session::NewCursorId() {
    for (int id = 1; id < 256; ++id)
        if (!cursors_.count(id)) return id;
    for (int id = 256;; ++id)
        if (!cursors_.count(id)) return id;
}

Cursor* Session::Find(uint32_t id) {
    auto it = cursors_.find(static_cast<int>(id));
    return it == cursors_.end() ? nullptr : it->second.get();
}

void Session::OpenCursor() {
    w_.U8();
    w_.UB4();
    if (cursors_.size() >= 1000) {
        return WriteStatus(0, MakeError(1000), 0);
    }
    auto c = std::make_unique<Cursor>();
    c->id = NewCursorId();
    int id = c->id;
    cursors_[id] = std::move(c);
    w_.W8(kMsgReturn);
    w_.WUB4(id);
    w_.W8(kMsgEnd);
}

void Session::CloseCursor() {
    uint32_t id = w_.UB4();
    auto it = cursors_.find(static_cast<int>(id));
    if (it != cursors_.end()) {
        if (it->second->st) eng_->Close(it->second->st.get());
        cursors_.erase(it);
    }
    w_.W8(kMsgEnd);
}

ItemDesc Session::ReadDesc() {
    ItemDesc d;
    d.wireType = w_.U8();
    d.flags = w_.U8();
    w_.U8();
    w_.U8();
    d.size = w_.UB4();
    d.maxArray = w_.UB4();
    w_.UB4();
    if (serverVersion_ >= 8000) {
        w_.UB4();
        w_.UB2();
        w_.UB2();
        w_.U8();
    }
    if (d.maxArray > 65535) throw ProtocolError("array length out of range");
    return d;
}

Value Session::ReadValue(const ItemDesc& d, bool& present) {
    Value v;
    present = true;
    int t = d.wireType;
    if (t == 0) {
        present = false;
        return v;
    }
    if ((t == 112 || t == 113 || t == 114) && protocol_ >= 6) {
        uint32_t n = w_.UB4();
        if (n == 0) return v;
        v.kind = Value::Blob;
        v.s = w_.Clr();
        v.isLocator = true;
        return v;
    }
    std::string raw = w_.Clr(); // LONG values use the same chunked form
    if (raw.empty()) return v;
    switch (t) {
    case 2: {
        Decimal dec;
        if (raw == std::string("\xFF\x65", 2) || raw == std::string(1, '\0')) { // the infinities
            v.kind = Value::Real;
            v.r = raw.size() == 2 ? HUGE_VAL : -HUGE_VAL;
            break;
        }
        if (!DecodeNumber(reinterpret_cast<const uint8_t*>(raw.data()), raw.size(), dec)) break;
        if (IsWideDecimal(dec)) { // kept digit for digit (see WideNumberText)
            v.kind = Value::Text;
            v.s = WideNumberText(dec);
            break;
        }
        bool isInt;
        DecimalToValue(dec, isInt, v.i, v.r);
        v.kind = isInt ? Value::Int : Value::Real;
        break;
    }
    case 12: {
        DateTime dt;
        if (DecodeDate(reinterpret_cast<const uint8_t*>(raw.data()), raw.size(), dt)) {
            v.kind = Value::Real;
            v.r = DayNumberFromDateTime(dt);
            v.isDate = true;
        }
        break;
    }
    case 23:
    case 24:
        v.kind = Value::Blob;
        v.s = raw;
        break;
    case 102:
    case 116:
        break;
    case 112:
    case 113:
    case 114:
        v.kind = Value::Blob;
        v.s = raw;
        v.isLocator = true;
        break;
    default:
        v.kind = Value::Text;
        v.s = Win1252ToUtf8(raw);
        v.fixedChar = t == 96 || t == 97;
        break;
    }
    return v;
}

void Session::ReadBindRow(const std::vector<ItemDesc>& binds, const std::vector<uint8_t>* marks,
                          std::vector<Value>& out) {
    uint8_t type = w_.U8();
    if (type != kMsgRow) throw ProtocolError("bind row expected, message type " + std::to_string(type));
    out.assign(binds.size(), Value());
    uint32_t maxInline = serverVersion_ >= 8000 ? 4000 : 2000;
    auto input = [&](size_t k) { return !marks || (k < marks->size() && ((*marks)[k] & 0x20)); };
    auto isLongLater = [&](size_t k) {
        return (binds[k].wireType == 8 || binds[k].wireType == 24) && binds[k].size > maxInline;
    };
    for (size_t k = 0; k < binds.size(); ++k) {
        if (!input(k) || isLongLater(k)) continue;
        const ItemDesc& d = binds[k];
        bool present;
        if (d.maxArray > 0) {
            uint32_t n = w_.UB4();
            if (n > d.maxArray || n > 65535) throw ProtocolError("array bind with too many elements");
            for (uint32_t e = 0; e < n; ++e) {
                Value v = ReadValue(d, present);
                if (e == 0) out[k] = v;
            }
        } else {
            out[k] = ReadValue(d, present);
        }
    }
    for (size_t k = 0; k < binds.size(); ++k) {
        if (!input(k) || !isLongLater(k)) continue;
        bool present;
        out[k] = ReadValue(binds[k], present);
    }
}

void Session::WriteColumnDesc(const ColumnMeta& c) {
    ColumnType t = c.t;
    if (t.type == 0) t = ParseDeclType("VARCHAR2(4000)");
    w_.W8(static_cast<uint8_t>(t.type));
    w_.W8(0);
    int prec = t.type == kOraNumber ? (t.scaleGiven ? t.precision : (t.precision == 126 ? 126 : 0)) : 0;
    int scale = t.type == kOraNumber ? (t.scaleGiven ? t.scale : -127) : 0;
    w_.W8(static_cast<uint8_t>(prec));
    if (t.type == kOraNumber)
        w_.WUB2(scale);
    else
        w_.W8(static_cast<uint8_t>(scale));
    int size = t.type == kOraNumber ? 22 : t.type == kOraDate ? 7 : t.size;
    w_.WUB4(size);
    w_.WUB4(0);
    w_.WUB4(0);
    if (serverVersion_ >= 8000) {
        w_.WUB4(0);
        w_.WUB2(0);
        w_.WUB2(0);
        w_.W8(0);
    }
}

// One value in the form the client asked for (define or output bind): value, then the indicator.
void Session::WriteValue(const Value& v, const ItemDesc& d, const ColumnMeta* col) {
    int t = d.wireType;
    bool lob = t == 112 || t == 113 || t == 114;
    auto null = [&] {
        if (lob && protocol_ >= 6)
            w_.WUB4(0);
        else
            w_.W8(0);
        w_.WUB2(-1);
    };
    if (v.kind == Value::Null && !(lob && v.isLocator)) return null();
    bool isDate = v.isDate || (col && col->t.type == kOraDate);
    std::string bytes;
    switch (t) {
    case 2:
    case 3:
    case 4: {
        if (v.kind == Value::Int)
            EncodeInt(v.i, bytes);
        else if (v.kind == Value::Real)
            EncodeDouble(v.r, bytes);
        else {
            Decimal dec;
            if (!WideNumberFromText(v.s, dec) && !DecimalFromText(v.s, dec)) return null();
            bytes = EncodeNumber(dec);
        }
        break;
    }
    case 12: {
        double dn;
        if (v.kind == Value::Int || v.kind == Value::Real) {
            dn = v.kind == Value::Int ? static_cast<double>(v.i) : v.r;
        } else {
            DateTime dt;
            std::string err;
            if (!ParseDate(v.s, eng_->nlsDateFormat, eng_->nlsDateLanguage, dt, err) &&
                !ParseDate(v.s, "YYYY-MM-DD HH24:MI:SS", "AMERICAN", dt, err))
                return null();
            dn = DayNumberFromDateTime(dt);
        }
        bytes = EncodeDate(DateTimeFromDayNumber(dn));
        break;
    }
    case 23:
    case 24:
        bytes = v.kind == Value::Text
                    ? v.s
                    : (v.kind == Value::Blob ? v.s : Utf8ToWin1252(eng_->ValueText(v, isDate)));
        break;
    case 102:
    case 116:
        bytes = v.s; // 01 <cursor id>
        break;
    case 112:
    case 113:
    case 114: {
        if (v.isLocator) {
            bytes = v.s;
        } else {
            // a value read by a query: a temporary LOB holds a snapshot of it
            bytes = eng_->MakeTempLocator(t == 112 ? kOraClob : kOraBlob, v.s);
        }
        if (protocol_ >= 6) w_.WUB4(static_cast<int64_t>(bytes.size()));
        w_.WClr(bytes);
        w_.WUB2(0);
        return;
    }
    default: { // character forms
        std::string text = v.kind == Value::Text ? v.s : eng_->ValueText(v, isDate);
        text = Utf8ToWin1252(text);
        if (col && col->t.type == kOraChar && text.size() < static_cast<size_t>(col->t.size))
            text.append(static_cast<size_t>(col->t.size) - text.size(), ' ');
        bytes = std::move(text);
        break;
    }
    }
    if (bytes.empty() && t != 8 && t != 24) return null();
    w_.WClr(bytes);
    w_.WUB2(0);
}

// The fetch hot path: straight from SQLite into the reply.
void Session::WriteColumn(EmuStatement& s, int c, const ItemDesc& d, const ColumnMeta& col) {
    if ((d.wireType == 112 || d.wireType == 113) && s.rowidColumn >= 0 && !col.originTable.empty() &&
        (col.t.type == kOraClob || col.t.type == kOraBlob)) {
        Value rid = eng_->ColumnValue(s, s.rowidColumn);
        Value v = eng_->ColumnValue(s, c);
        if (v.kind != Value::Null && rid.kind == Value::Int) {
            Value loc;
            loc.kind = Value::Blob;
            loc.isLocator = true;
            loc.s = eng_->MakeLocator(col.t.type, col.originTable, col.originColumn, rid.i);
            return WriteValue(loc, d, &col);
        }
    }
    if (s.materialized || (d.wireType != 2 && d.wireType != 1 && d.wireType != 96 && d.wireType != 12)) {
        Value v = eng_->ColumnValue(s, c);
        if (col.t.type == kOraDate && (v.kind == Value::Int || v.kind == Value::Real)) v.isDate = true;
        return WriteValue(v, d, &col);
    }
    sqlite3_stmt* st = s.st;
    int ty = sqlite3_column_type(st, c);
    if (ty == SQLITE_NULL) {
        w_.W8(0);
        w_.WUB2(-1);
        return;
    }
    char buf[64];
    uint8_t num[24];
    if (d.wireType == 12 && (ty == SQLITE_FLOAT || ty == SQLITE_INTEGER)) {
        DateTime dt = DateTimeFromDayNumber(sqlite3_column_double(st, c));
        uint8_t b[8] = {7,
                        static_cast<uint8_t>(dt.year / 100 + 100),
                        static_cast<uint8_t>(dt.year % 100 + 100),
                        static_cast<uint8_t>(dt.month),
                        static_cast<uint8_t>(dt.day),
                        static_cast<uint8_t>(dt.hour + 1),
                        static_cast<uint8_t>(dt.minute + 1),
                        static_cast<uint8_t>(dt.second + 1)};
        w_.WBytes(b, 8);
        w_.W8(0); // indicator
        return;
    }
    if (d.wireType == 2 && ty == SQLITE_INTEGER) {
        num[0] = static_cast<uint8_t>(EncodeIntNumber(sqlite3_column_int64(st, c), num + 1));
        w_.WBytes(num, num[0] + 1u);
        w_.W8(0);
        return;
    }
    if (d.wireType == 2 && ty == SQLITE_FLOAT) {
        num[0] = static_cast<uint8_t>(EncodeDoubleNumber(sqlite3_column_double(st, c), num + 1));
        w_.WBytes(num, num[0] + 1u);
        w_.W8(0);
        return;
    }
    if ((d.wireType == 1 || d.wireType == 96) && ty == SQLITE_TEXT && col.t.type != kOraChar) {
        const char* p = reinterpret_cast<const char*>(sqlite3_column_text(st, c));
        size_t n = p ? static_cast<size_t>(sqlite3_column_bytes(st, c)) : 0;
        if (!p) p = ""; // a text the conversion could not give (out of memory) goes as an empty one
        if (IsAscii(p, n)) {
            if (n == 0) {
                w_.W8(0);
                w_.WUB2(-1);
                return;
            }
            w_.WClr(p, n);
            w_.W8(0);
            return;
        }
    }
    (void)buf;
    Value v = eng_->ColumnValue(s, c);
    if (col.t.type == kOraDate && (v.kind == Value::Int || v.kind == Value::Real)) v.isDate = true;
    WriteValue(v, d, &col);
}

namespace {

bool SameDefines(const std::vector<ItemDesc>& a, const std::vector<ItemDesc>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].wireType != b[i].wireType || a[i].flags != b[i].flags || a[i].size != b[i].size ||
            a[i].maxArray != b[i].maxArray)
            return false;
    return true;
}

// Defines whose values are plain bytes of the row (no LOB locators, no LONG pieces).
bool PlainDefines(const std::vector<ItemDesc>& defines) {
    for (const ItemDesc& d : defines)
        switch (d.wireType) {
        case 1:
        case 2:
        case 3:
        case 4:
        case 5:
        case 6:
        case 12:
        case 23:
        case 96:
        case 97:
            break;
        default:
            return false;
        }
    return true;
}

} // namespace

bool Session::Fetch(Cursor& c, const std::vector<ItemDesc>& defines, uint32_t rows, OraError& err) {
    EmuStatement& s = *c.st;
    w_.W8(kMsgRowHeader);
    if (serverVersion_ >= 8000) {
        w_.W8(0);
        w_.WUB2(0);
    } else {
        w_.W8(0);
        w_.W8(0);
    }
    w_.WUB2(0);
    w_.WUB2(0);
    w_.WUB2(0);
    ColumnMeta none;
    for (uint32_t r = 0; r < rows; ++r) {
        if (ahead_ && ServesAhead(c)) {
            ReadAhead& a = *ahead_;
            if (a.next < a.rowEnd.size()) {
                if (SameDefines(a.defines, defines)) {
                    size_t from = a.next ? a.rowEnd[a.next - 1] : 0;
                    w_.WBytes(a.bytes.data() + from, a.rowEnd[a.next] - from);
                } else {
                    // Other defines than the rows were read for: encode them again from their values.
                    const std::vector<Value>& vals = a.values[a.next];
                    w_.W8(kMsgRow);
                    for (size_t k = 0; k < defines.size(); ++k)
                        WriteValue(k < vals.size() ? vals[k] : Value(), defines[k],
                                   k < s.cols.size() ? &s.cols[k] : &none);
                }
                ++a.next;
                continue;
            }
            const bool ended = a.ended;
            const OraError e = a.err;
            ahead_.reset();
            if (ended) {
                err = e;
                return false;
            }
        }
        if (opts_.slowFetchMs > 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(opts_.slowFetchMs));
            if (opts_.breakChecks) opts_.breakChecks->fetch_add(1);
            w_.CheckBreak();
        } else if ((r & 255) == 255) {
            w_.CheckBreak();
        }
        if (!eng_->Step(s, err)) return false;
        w_.W8(kMsgRow);
        for (size_t k = 0; k < defines.size(); ++k) {
            if (k < s.cols.size()) {
                WriteColumn(s, static_cast<int>(k), defines[k], s.cols[k]);
            } else {
                WriteValue(Value(), defines[k], &none);
            }
        }
    }
    return true;
}

bool Session::ServesAhead(const Cursor& c) const {
    return ahead_ && ahead_->cursorId == c.id && c.st && c.st->executed &&
           c.st->runSerial == ahead_->runSerial;
}

void Session::PlanReadAhead(const Cursor& c, const std::vector<ItemDesc>& defines, uint32_t rows) {
    if (opts_.slowFetchMs > 0 || rows == 0 || rows > 10000 || !PlainDefines(defines)) return;
    if (ahead_) {
        // Rows read ahead for a cursor are kept until that cursor takes them or its query is gone.
        Cursor* owner = Find(static_cast<uint32_t>(ahead_->cursorId));
        if (owner && ServesAhead(*owner)) return;
        ahead_.reset();
    }
    aheadPlan_ = std::make_unique<AheadPlan>();
    aheadPlan_->cursorId = c.id;
    aheadPlan_->defines = defines;
    aheadPlan_->rows = rows;
}

// Runs after a fetch reply has gone out: the next rows are read and encoded while the client is busy with
// the ones it got. Nothing is read from the connection meanwhile.
void Session::DoReadAhead() {
    std::unique_ptr<AheadPlan> plan = std::move(aheadPlan_);
    Cursor* c = Find(static_cast<uint32_t>(plan->cursorId));
    if (!c || !c->st || ahead_) return;
    EmuStatement& s = *c->st;
    if (!s.executed || s.tr.kind != StmtKind::Query || s.rowidColumn >= 0) return;
    auto a = std::make_unique<ReadAhead>();
    a->cursorId = c->id;
    a->runSerial = s.runSerial;
    a->defines = plan->defines;
    a->bytes.reserve(size_t(plan->rows) * 48);
    ColumnMeta none;
    w_.SetCapture(&a->bytes);
    try {
        for (uint32_t r = 0; r < plan->rows; ++r) {
            OraError err;
            if (!eng_->Step(s, err)) {
                a->ended = true;
                a->err = err;
                break;
            }
            std::vector<Value> vals(s.cols.size());
            for (size_t k = 0; k < s.cols.size(); ++k) {
                vals[k] = eng_->ColumnValue(s, static_cast<int>(k));
                if (s.cols[k].t.type == kOraDate &&
                    (vals[k].kind == Value::Int || vals[k].kind == Value::Real))
                    vals[k].isDate = true;
            }
            w_.W8(kMsgRow);
            for (size_t k = 0; k < a->defines.size(); ++k) {
                if (k < s.cols.size())
                    WriteColumn(s, static_cast<int>(k), a->defines[k], s.cols[k]);
                else
                    WriteValue(Value(), a->defines[k], &none);
            }
            a->rowEnd.push_back(a->bytes.size());
            a->values.push_back(std::move(vals));
        }
    } catch (...) {
        w_.SetCapture(nullptr);
        throw;
    }
    w_.SetCapture(nullptr);
    ahead_ = std::move(a);
}

void Session::Combined() {
    uint32_t options = w_.UB4();
    uint32_t cursorId = w_.UB4();
    if (trace_)
        std::cerr << "vestra-emu[" << sid_ << "] call 71 options=0x" << std::hex << options << std::dec
                  << " cursor=" << cursorId << "\n";
    w_.U8();
    uint32_t textLen = w_.UB4();
    w_.U8();
    uint32_t v1 = w_.UB4();
    w_.U8();
    uint32_t nvals = w_.UB4();
    w_.U8();
    w_.UB4();
    w_.U8();
    w_.U8();
    uint32_t defCount = w_.UB4();
    w_.U8();
    uint32_t bindCount = w_.UB4();
    if (v1 > 64 || nvals > 64 || defCount > 4096 || bindCount > 4096 || textLen > (64u << 20))
        throw ProtocolError("combined call with counts out of range");
    std::string text = textLen ? w_.Clr() : "";
    std::vector<uint32_t> vals(nvals);
    for (auto& v : vals)
        v = w_.UB4();
    std::vector<ItemDesc> defines(defCount), binds(bindCount);
    for (auto& d : defines)
        d = ReadDesc();
    for (auto& b : binds)
        b = ReadDesc();
    uint32_t iterations = nvals > 1 && vals[1] ? vals[1] : 1;
    bool bindRows = bindCount > 0 && (options & 0x20) && (options & 0x8000);
    std::vector<std::vector<Value>> rowsIn;
    if (bindRows) {
        if (iterations > 100000) throw ProtocolError("too many iterations");
        rowsIn.resize(iterations);
        for (uint32_t i = 0; i < iterations; ++i)
            ReadBindRow(binds, nullptr, rowsIn[i]);
    }
    Cursor* c = Find(cursorId);
    if (!c) return WriteStatus(0, MakeError(1001), 0);
    text = Win1252ToUtf8(text);
    if (trace_ && !text.empty()) std::cerr << "vestra-emu[" << sid_ << "]   text: " << text << "\n";
    if (options & 0x01) {
        if (!text.empty()) {
            if (c->st) eng_->Close(c->st.get());
            c->st.reset();
            c->fromCursorVariable = false;
            OraError err;
            auto st = eng_->Parse(text, err);
            if (!st) return WriteStatus(0, err, 0);
            c->st = std::move(st);
        } else if (!c->st) {
            return WriteStatus(0, MakeError(900), 0);
        }
        if (!(options & 0x60)) return WriteStatus(0, OraError(), c->st->tr.commandType);
    }
    if (!c->st) return WriteStatus(0, MakeError(1001), 0);
    EmuStatement& s = *c->st;
    long long rows = 0;
    RowidParts rid;
    bool haveRowid = false;
    if (options & 0x20) {
        if (s.tr.kind == StmtKind::Plsql) return ExecuteBlock(*c, binds, iterations);
        if (c->fromCursorVariable) {
            // already open
        } else if (s.tr.kind == StmtKind::Dml && !rowsIn.empty()) {
            for (auto& row : rowsIn) {
                long long n = 0;
                OraError e = eng_->Execute(s, row, n);
                rows += n;
                if (e) return WriteStatus(rows, e, s.tr.commandType);
            }
        } else {
            std::vector<Value> none;
            OraError e = eng_->Execute(s, rowsIn.empty() ? none : rowsIn[0], rows);
            if (e) return WriteStatus(rows, e, s.tr.commandType);
        }
        if (s.tr.kind == StmtKind::Dml && !s.tr.dmlTable.empty() && rows > 0) {
            rid = RowidOf(s.tr.dmlTable, sqlite3_last_insert_rowid(eng_->Handle()));
            haveRowid = s.tr.commandType == 2;
        }
    }
    if (options & 0x40) {
        if (s.tr.kind != StmtKind::Query || !s.executed)
            return WriteStatus(0, MakeError(1002), s.tr.commandType);
        uint32_t want = nvals > 1 ? vals[1] : 1;
        OraError err;
        bool more = Fetch(*c, defines, want, err);
        // Rows read ahead and not served yet have not been fetched as far as the client knows.
        const long long fetched =
            s.rowsFetched - static_cast<long long>(ahead_ && ServesAhead(*c) ? ahead_->Pending() : 0);
        if (err) return WriteStatus(fetched, err, s.tr.commandType);
        if (more) PlanReadAhead(*c, defines, want);
        return WriteStatus(fetched, more ? OraError() : MakeError(1403), s.tr.commandType);
    }
    WriteStatus(rows, OraError(), s.tr.commandType, haveRowid ? &rid : nullptr);
}

void Session::Describe98() {
    w_.U8();
    uint32_t cursorId = w_.UB4();
    w_.U8();
    uint32_t len = w_.UB4();
    w_.UB4();
    w_.U8();
    w_.U8();
    std::string text = len ? Win1252ToUtf8(w_.Clr()) : "";
    std::unique_ptr<EmuStatement> temp;
    EmuStatement* s = nullptr;
    if (!text.empty()) {
        OraError err;
        temp = eng_->Parse(text, err);
        if (!temp) return WriteStatus(0, err, 0);
        s = temp.get();
        // a cursor described by text becomes that statement (the client executes it next)
        Cursor* c = Find(cursorId);
        if (c && (!c->st || c->st->text != text)) {
            if (c->st) eng_->Close(c->st.get());
            c->st = std::move(temp);
            s = c->st.get();
        }
    } else {
        Cursor* c = Find(cursorId);
        if (!c || !c->st) return WriteStatus(0, MakeError(1001), 0);
        s = c->st.get();
    }
    w_.W8(kMsgReturn);
    w_.WUB2(static_cast<int32_t>(s->cols.size()));
    for (const ColumnMeta& col : s->cols) {
        WriteColumnDesc(col);
        w_.W8(col.nullable ? 1 : 0);
        w_.W8(0);
        std::string name = Utf8ToWin1252(col.name);
        w_.WUB4(static_cast<int64_t>(name.size()));
        if (!name.empty()) w_.WClr(name);
        w_.WUB4(0);
        w_.WUB4(0);
    }
    w_.W8(kMsgEnd);
}

void Session::Describe43() {
    uint32_t cursorId = w_.UB4();
    uint32_t pos = w_.UB4();
    w_.U8();
    w_.U8();
    uint32_t maxCols = w_.UB4();
    w_.U8();
    w_.U8();
    uint32_t maxNames = w_.UB4();
    w_.U8();
    Cursor* c = Find(cursorId);
    if (!c || !c->st) return WriteStatus(0, MakeError(1001), 0);
    const auto& cols = c->st->cols;
    if (cols.empty() || pos < 1 || pos > cols.size())
        return WriteStatus(0, OraError(), c->st->tr.commandType);
    if (maxCols == 0 || maxCols > 1000) maxCols = 32;
    if (maxNames == 0 || maxNames > 960) maxNames = 960;
    size_t first = pos - 1, n = 0, block = 0;
    std::vector<std::string> names;
    while (first + n < cols.size() && n < maxCols) {
        std::string nm = Utf8ToWin1252(cols[first + n].name);
        if (nm.size() > 255) nm.resize(255);
        if (block + nm.size() + 1 > maxNames) break;
        block += nm.size() + 1;
        names.push_back(nm);
        ++n;
    }
    if (n == 0) { // a single name longer than the block allows: cut it
        std::string nm = Utf8ToWin1252(cols[first].name).substr(0, maxNames - 1);
        names.push_back(nm);
        block = nm.size() + 1;
        n = 1;
    }
    w_.W8(kMsgReturn);
    w_.WUB2(static_cast<int32_t>(cols.size()));
    w_.WUB2(static_cast<int32_t>(n));
    std::string all;
    for (size_t k = 0; k < n; ++k) {
        WriteColumnDesc(cols[first + k]);
        w_.W8(cols[first + k].nullable ? 1 : 0);
        w_.W8(static_cast<uint8_t>(names[k].size()));
        all += names[k];
        all += '\0';
    }
    w_.WUB2(static_cast<int32_t>(all.size()));
    w_.WClr(all);
    w_.W8(kMsgEnd);
}

void Session::ExecuteBlock(Cursor& c, const std::vector<ItemDesc>& binds, uint32_t iterations) {
    EmuStatement& s = *c.st;
    EmuEngine::BlockPlan plan = eng_->PlanBlock(s);
    if (!plan.supported) return WriteStatus(0, plan.error, 47);
    std::vector<uint8_t> marks(binds.size(), 0x30);
    for (size_t k = 0; k < binds.size() && k < plan.marks.size(); ++k)
        marks[k] = plan.marks[k] ? plan.marks[k] : 0x30;
    bool anyIn = false, anyOut = false;
    for (uint8_t m : marks) {
        anyIn |= (m & 0x20) != 0;
        anyOut |= (m & 0x10) != 0;
    }
    auto writeVector = [&] {
        w_.W8(kMsgBindVector);
        w_.W8(0);
        if (serverVersion_ >= 8000)
            w_.WUB2(static_cast<int32_t>(marks.size()));
        else
            w_.W8(static_cast<uint8_t>(marks.size()));
        w_.WUB2(0);
        w_.WUB2(0);
        w_.WUB2(0);
        for (uint8_t m : marks)
            w_.W8(m);
    };
    std::vector<Value> values(binds.size());
    if (!binds.empty() && anyIn) {
        writeVector();
        w_.Flush();
        std::vector<Value> row;
        for (uint32_t i = 0; i < iterations; ++i) {
            ReadBindRow(binds, &marks, row);
            if (i == 0) values = row;
        }
    }
    std::vector<std::unique_ptr<EmuStatement>> newCursors;
    std::vector<int> cursorBinds;
    long long rows = 0;
    OraError err = eng_->RunBlock(s, values, newCursors, cursorBinds, rows);
    if (err) return WriteStatus(rows, err, 47);
    for (size_t k = 0; k < newCursors.size() && k < cursorBinds.size(); ++k) {
        auto nc = std::make_unique<Cursor>();
        nc->id = NewCursorId();
        nc->st = std::move(newCursors[k]);
        nc->fromCursorVariable = true;
        size_t b = static_cast<size_t>(cursorBinds[k]);
        if (b < values.size()) {
            values[b] = Value();
            values[b].kind = Value::Blob;
            values[b].s = std::string("\x01", 1) + static_cast<char>(nc->id & 0xFF);
        }
        cursors_[nc->id] = std::move(nc);
    }
    // A text output longer than the buffer the client bound for it: the assignment fails, nothing is cut.
    for (size_t k = 0; k < binds.size() && k < values.size(); ++k) {
        const ItemDesc& d = binds[k];
        if (!(marks[k] & 0x10) || d.maxArray > 0 || d.size == 0 || values[k].kind != Value::Text) continue;
        if ((d.wireType == 1 || d.wireType == 96) && Utf8ToWin1252(values[k].s).size() > d.size)
            return WriteStatus(rows, MakeError(6502, "character string buffer too small"), 47);
    }
    if (!binds.empty() && !anyIn) writeVector();
    if (!binds.empty() && anyOut) {
        w_.W8(kMsgRow);
        for (size_t k = 0; k < binds.size(); ++k) {
            if (!(marks[k] & 0x10)) continue;
            const ItemDesc& d = binds[k];
            if (d.maxArray > 0) {
                w_.WUB4(0); // PL/SQL tables come back empty
                continue;
            }
            Value v = values[k];
            if ((d.wireType == 112 || d.wireType == 113) && v.kind != Value::Null && !v.isLocator) {
                WriteValue(v, d, nullptr);
                continue;
            }
            WriteValue(v, d, nullptr);
        }
    }
    WriteStatus(rows, OraError(), 47);
}

} // namespace vemu
