// The statement calls of the current protocol generation: the combined execute (parse, bind, execute,
// define, fetch), re-execute, fetch and cursor closes, with describe information and row data.
#include "emulator/EmuModernSession.h"
#include "emulator/EmuModernTypes.h"
#include "emulator/EmuNetWords.h"

#include <chrono>
#include <cmath>
#include <cstring>
#include <sqlite3.h>
#include <thread>

namespace vemu {

namespace {

// Execute options.
constexpr uint32_t kOptParse = 0x01, kOptDefine = 0x10, kOptExecute = 0x20, kOptFetch = 0x40,
                   kOptCommit = 0x100, kOptPlsqlBind = 0x400, kOptDescribe = 0x20000;
constexpr uint32_t kReexecCommit = 0x1;

// Wire types beyond the ones the engine describes.
constexpr uint8_t kTypeBinaryFloat = 100, kTypeBinaryDouble = 101, kTypeTimestamp = 180,
                  kTypeTimestampTz = 181, kTypeTimestampLtz = 231, kTypeBoolean = 252, kTypeUrowid = 208;
constexpr uint8_t kCsfrmImplicit = 1, kCsfrmNchar = 2;
constexpr uint8_t kBindArray = 0x40;
constexpr uint8_t kBindOut = 0x10, kBindInOut = 0x30; // bind directions of a PL/SQL block
constexpr uint8_t kNullEscape = 253;                  // a BOOLEAN bind's NULL: the escape byte, then 1

constexpr size_t kMaxSql = 1u << 20;
constexpr size_t kMaxBindValue = 1u << 30;
constexpr uint32_t kMaxBinds = 65535, kMaxExecRows = 1u << 20, kMaxStringSize = 4000;

std::string Utf16BeToUtf8(const std::string& in) {
    std::string out;
    for (size_t i = 0; i + 1 < in.size(); i += 2) {
        uint32_t c = static_cast<uint8_t>(in[i]) << 8 | static_cast<uint8_t>(in[i + 1]);
        if (c >= 0xD800 && c < 0xDC00 && i + 3 < in.size()) {
            uint32_t lo = static_cast<uint8_t>(in[i + 2]) << 8 | static_cast<uint8_t>(in[i + 3]);
            if (lo >= 0xDC00 && lo < 0xE000) {
                c = 0x10000 + ((c - 0xD800) << 10) + (lo - 0xDC00);
                i += 2;
            }
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | c >> 6);
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | c >> 12);
            out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | c >> 18);
            out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
            out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::string Utf8ToUtf16Be(const std::string& in) {
    std::string out;
    auto put = [&](uint32_t u) {
        out += static_cast<char>(u >> 8);
        out += static_cast<char>(u & 0xFF);
    };
    for (size_t i = 0; i < in.size();) {
        uint8_t b = static_cast<uint8_t>(in[i]);
        uint32_t c = 0xFFFD;
        size_t n = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 1;
        if (n == 1 && b < 0x80) {
            c = b;
        } else if (n > 1 && i + n <= in.size()) {
            c = b & (0x7F >> n);
            for (size_t k = 1; k < n; ++k)
                c = c << 6 | (static_cast<uint8_t>(in[i + k]) & 0x3F);
        }
        i += n;
        if (c >= 0x10000) {
            c -= 0x10000;
            put(0xD800 + (c >> 10));
            put(0xDC00 + (c & 0x3FF));
        } else {
            put(c);
        }
    }
    return out;
}

// IEEE values in Oracle's byte order: big-endian, the sign bit flipped for positive values and all bits
// inverted for negative ones, so that the bytes sort as the numbers do.
std::string EncodeBinaryDouble(double d) {
    uint64_t u;
    std::memcpy(&u, &d, 8);
    u = (u >> 63) ? ~u : (u | (1ull << 63));
    std::string s(8, '\0');
    for (int i = 0; i < 8; ++i)
        s[static_cast<size_t>(i)] = static_cast<char>(u >> (56 - 8 * i));
    return s;
}

std::string EncodeBinaryFloat(float f) {
    uint32_t u;
    std::memcpy(&u, &f, 4);
    u = (u >> 31) ? ~u : (u | (1u << 31));
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i)
        s[static_cast<size_t>(i)] = static_cast<char>(u >> (24 - 8 * i));
    return s;
}

bool DecodeBinary(const std::string& s, double& out) {
    if (s.size() == 8) {
        uint64_t u = 0;
        for (char c : s)
            u = u << 8 | static_cast<uint8_t>(c);
        u = (u >> 63) ? (u & ~(1ull << 63)) : ~u;
        std::memcpy(&out, &u, 8);
        return true;
    }
    if (s.size() == 4) {
        uint32_t u = 0;
        for (char c : s)
            u = u << 8 | static_cast<uint8_t>(c);
        u = (u >> 31) ? (u & ~(1u << 31)) : ~u;
        float f;
        std::memcpy(&f, &u, 4);
        out = f;
        return true;
    }
    return false;
}

// How many placeholders come before the INTO of a DML statement's RETURNING clause (all of them when there is
// none): the client sends values for those only.
size_t ReturningBindsFrom(const std::string& sql, size_t binds) {
    bool ok = true;
    size_t errPos = 0;
    std::vector<Tok> toks = Tokenize(sql, ok, errPos);
    if (!ok || toks.empty() || !(toks[0].Is("INSERT") || toks[0].Is("UPDATE") || toks[0].Is("DELETE")))
        return binds;
    size_t seen = 0;
    int depth = 0;
    bool returning = false;
    for (const Tok& t : toks) {
        if (t.IsOp("(")) ++depth;
        if (t.IsOp(")")) --depth;
        if (depth == 0 && (t.Is("RETURNING") || t.Is("RETURN"))) returning = true;
        if (returning && depth == 0 && t.Is("INTO")) return std::min(seen, binds);
        if (t.kind == TokKind::Bind) ++seen;
    }
    return binds;
}

bool IsQuery(const EmuStatement& s) {
    return s.tr.kind == StmtKind::Query;
}

// The wire type a column is described and sent as.
uint8_t WireType(const ColumnMeta& c) {
    if (c.t.wire != 0) return static_cast<uint8_t>(c.t.wire);
    switch (c.t.type) {
    case kOraRowid:
        return kOraRowid;
    default:
        return static_cast<uint8_t>(c.t.type);
    }
}

} // namespace

std::vector<ModernSession::BindDesc> ModernSession::ReadBindDescs(uint32_t n) {
    if (n > kMaxBinds) throw ProtocolError("too many binds or defines");
    std::vector<BindDesc> out(n);
    for (auto& d : out) {
        d.type = w_.U8();
        d.flags = w_.U8();
        w_.U8(); // precision
        w_.U8(); // scale
        d.maxSize = w_.UB4();
        d.maxArray = w_.UB4();
        d.contFlags = w_.UB4();
        uint32_t oidLen = w_.UB4();
        if (oidLen) {
            if (w_.BytesWithLength(256).size() != oidLen) throw ProtocolError("type OID length mismatch");
        }
        w_.UB2(); // type version
        w_.UB2(); // character set
        d.csfrm = w_.U8();
        w_.UB4(); // maximum characters (LOB prefetch)
        if (fieldVersion_ >= 8) w_.UB4();
        if (d.type == 0) throw ProtocolError("bind or define without a type");
        if (d.csfrm > kCsfrmNchar) throw ProtocolError("unknown character set form");
    }
    return out;
}

Value ModernSession::ReadBindValue(const BindDesc& d) {
    Value v;
    if (d.flags & kBindArray) throw ProtocolError("array binds are not supported");
    switch (d.type) {
    case kTypeBoolean: {
        uint8_t n = w_.U8();
        if (n == kNullEscape) {
            w_.U8();
            return v;
        }
        if (n == 0 || n > 2) throw ProtocolError("malformed BOOLEAN bind");
        std::string b = w_.Raw(n);
        v.kind = Value::Int;
        v.i = b.back() ? 1 : 0;
        return v;
    }
    case kOraCursor: {
        // 1 0: no cursor yet (an output); 1 1 and the cursor id: a cursor the client holds
        if (w_.U8() != 1) throw ProtocolError("malformed cursor bind");
        if (w_.U8() == 0) return v;
        uint32_t id = w_.UB4();
        v.kind = Value::Int;
        v.i = id;
        return v;
    }
    case kOraClob:
    case kOraBlob: {
        uint32_t len = w_.UB4();
        if (!len) return v;
        std::string wire = w_.BytesWithLength(4096);
        if (wire.size() != len) throw ProtocolError("LOB locator length mismatch");
        v.kind = Value::Blob;
        v.isLocator = true;
        if (!EngineLocator(wire, v.s)) v.s = "VEMULOB-"; // a locator this server never gave out: ORA-22275
        return v;
    }
    default:
        break;
    }
    std::string b = w_.BytesWithLength(kMaxBindValue);
    if (b.empty()) return v;
    switch (d.type) {
    case kOraVarchar2:
    case kOraChar:
    case kOraLong:
    case kTypeUrowid:
        v.kind = Value::Text;
        v.s = d.csfrm == kCsfrmNchar ? Utf16BeToUtf8(b) : std::move(b);
        v.fixedChar = d.type == kOraChar; // compared blank-padded, as the classic generation's CHAR binds
        return v;
    case kOraRaw:
    case kOraLongRaw:
        v.kind = Value::Blob;
        v.s = std::move(b);
        return v;
    case kOraNumber: {
        Decimal dec;
        if (b == std::string("\xFF\x65", 2) || b == std::string(1, '\0')) { // the infinities
            v.kind = Value::Real;
            v.r = b.size() == 2 ? HUGE_VAL : -HUGE_VAL;
            return v;
        }
        if (!DecodeNumber(reinterpret_cast<const uint8_t*>(b.data()), b.size(), dec))
            throw ProtocolError("malformed NUMBER bind");
        if (IsWideDecimal(dec)) { // kept digit for digit, as the classic generation keeps it
            v.kind = Value::Text;
            v.s = WideNumberText(dec);
            return v;
        }
        bool isInt = false;
        DecimalToValue(dec, isInt, v.i, v.r);
        v.kind = isInt ? Value::Int : Value::Real;
        return v;
    }
    case kOraDate:
    case kTypeTimestamp:
    case kTypeTimestampTz:
    case kTypeTimestampLtz: {
        DateTime dt;
        if (b.size() < 7 || !DecodeDate(reinterpret_cast<const uint8_t*>(b.data()), 7, dt))
            throw ProtocolError("malformed date bind");
        v.kind = Value::Real;
        v.r = DayNumberFromDateTime(dt);
        v.isDate = true;
        return v;
    }
    case kTypeBinaryFloat:
    case kTypeBinaryDouble:
        if (!DecodeBinary(b, v.r)) throw ProtocolError("malformed binary floating-point bind");
        v.kind = Value::Real;
        return v;
    default:
        throw ProtocolError("bind of unsupported type " + std::to_string(d.type));
    }
}

std::vector<std::vector<Value>> ModernSession::ReadBindRows(const std::vector<BindDesc>& binds, uint32_t rows,
                                                            size_t sent, bool plsql) {
    if (rows > kMaxExecRows) throw ProtocolError("too many rows of binds");
    std::vector<std::vector<Value>> out;
    sent = std::min(sent, binds.size());
    if (sent == 0) return out;
    out.reserve(rows);
    // Values of a statement longer than the longest string travel after all others; a PL/SQL block's
    // come in their order.
    std::vector<size_t> order;
    for (size_t i = 0; i < sent; ++i)
        if (plsql || binds[i].maxSize <= kMaxStringSize) order.push_back(i);
    for (size_t i = 0; i < sent && !plsql; ++i)
        if (binds[i].maxSize > kMaxStringSize) order.push_back(i);
    for (uint32_t r = 0; r < rows; ++r) {
        if (w_.U8() != net::kMsgRowData) throw ProtocolError("bind row without its row-data message");
        std::vector<Value> row(binds.size());
        for (size_t i : order)
            row[i] = ReadBindValue(binds[i]);
        out.push_back(std::move(row));
    }
    return out;
}

void ModernSession::Execute() {
    uint32_t options = w_.UB4();
    uint32_t cursorId = w_.UB4();
    uint8_t sqlPresent = w_.U8();
    uint32_t sqlLen = w_.UB4();
    w_.U8(); // pointer (execution vector)
    if (w_.UB4() != 13) throw ProtocolError("execution vector of unexpected length");
    w_.U8();                       // pointer (al8o4)
    w_.U8();                       // pointer (al8o4l)
    w_.UB4();                      // prefetch buffer size
    uint32_t fetchRows = w_.UB4(); // rows to fetch with the execution
    w_.UB4();                      // longest LONG value
    w_.U8();
    uint32_t numBinds = w_.UB4();
    for (int i = 0; i < 5; ++i)
        w_.U8(); // pointers al8pp, al8txn, al8txl, al8kv, al8kvl
    w_.U8();
    uint32_t numDefines = w_.UB4();
    w_.UB4(); // registration id
    w_.U8();  // pointer (object list)
    w_.U8();  // pointer (object lengths)
    w_.U8();
    w_.UB4(); // al8blv
    w_.U8();
    w_.UB4(); // al8dnaml
    w_.UB4(); // al8regid_msb
    w_.U8();
    w_.UB4(); // DML row count buffer
    w_.U8();
    if (fieldVersion_ >= 8) {
        w_.U8();
        w_.UB4(); // SQL signature
        w_.U8();
        w_.UB4(); // SQL id
        w_.U8();
        if (fieldVersion_ >= 9) {
            w_.U8();
            w_.UB4(); // chunk ids
        }
    }
    std::string sql;
    if (sqlPresent) {
        if (sqlLen > kMaxSql) throw ProtocolError("statement text too long");
        sql = w_.BytesWithLength(kMaxSql);
        if (sql.size() != sqlLen) throw ProtocolError("statement text length mismatch");
    }
    uint32_t al8i4[13];
    for (auto& x : al8i4)
        x = w_.UB4();
    if (numDefines && numBinds) throw ProtocolError("binds and defines in one execute");
    const bool plsqlBinds = (options & kOptPlsqlBind) != 0;
    std::vector<BindDesc> defines = ReadBindDescs(numDefines);
    std::vector<BindDesc> binds = ReadBindDescs(numBinds);

    size_t returnFrom = binds.size();
    if (!sql.empty()) {
        returnFrom = ReturningBindsFrom(sql, binds.size());
    } else if (auto it = cursors_.find(cursorId); it != cursors_.end()) {
        returnFrom = std::min(it->second->returnFrom, binds.size());
    }
    ModernCursor* c = nullptr;
    bool parsed = false;
    std::unique_ptr<ModernCursor> fresh;
    if (cursorId == 0) {
        if (sql.empty()) throw ProtocolError("execute without a cursor and without a statement");
        fresh = std::make_unique<ModernCursor>();
    } else {
        auto it = cursors_.find(cursorId);
        if (it == cursors_.end()) {
            ReadBindRows(binds, binds.empty() ? 0 : std::max<uint32_t>(al8i4[1], 1), returnFrom, plsqlBinds);
            return WriteCallEnd(MakeError(1001));
        }
        c = it->second.get();
    }
    if ((options & kOptParse) && !sql.empty()) {
        OraError err;
        // The engine runs DML ... RETURNING ... INTO as a one-statement block.
        const bool returning = returnFrom < binds.size();
        auto st = eng_->Parse(returning ? "begin " + sql + "; end;" : sql, err);
        if (!st && returning && err.pos > 6) err.pos -= 6;
        if (!st) {
            ReadBindRows(binds, binds.empty() ? 0 : std::max<uint32_t>(al8i4[1], 1), returnFrom, plsqlBinds);
            return WriteCallEnd(err, 0, c ? c->id : 0);
        }
        if (!c) {
            fresh->id = static_cast<int>(nextCursor_++);
            c = fresh.get();
            cursors_[static_cast<uint32_t>(c->id)] = std::move(fresh);
        } else if (c->st) {
            eng_->Close(c->st.get());
        }
        c->st = std::move(st);
        c->fetched = 0;
        c->ended = false;
        c->defines.clear();
        parsed = true;
    }
    if (!c || !c->st) throw ProtocolError("execute of a cursor that holds no statement");
    if (!parsed && (options & kOptExecute)) {
        // executed again: the row count starts over
        c->fetched = 0;
        c->ended = false;
    }
    const bool query = IsQuery(*c->st);
    if (options & kOptDefine) c->defines = defines;
    uint32_t rows = binds.empty() ? 0 : (query ? 1 : std::max<uint32_t>(al8i4[1], 1));
    auto bindRows = ReadBindRows(binds, rows, returnFrom, plsqlBinds);
    c->binds = binds; // a re-execute sends values only
    c->returnFrom = returnFrom;
    uint32_t run = options;
    if (options & kOptDescribe) run &= ~(kOptExecute | kOptFetch);
    RunAndReply(*c, run, binds, bindRows, (options & kOptFetch) ? fetchRows : 0, parsed && query);
}

void ModernSession::Reexecute(bool andFetch) {
    uint32_t cursorId = w_.UB4();
    uint32_t iterations = w_.UB4();
    uint32_t flags1 = w_.UB4();
    uint32_t flags2 = w_.UB4();
    auto it = cursors_.find(cursorId);
    if (it == cursors_.end() || !it->second->st) throw ProtocolError("re-execute of an unknown cursor");
    ModernCursor& c = *it->second;
    const std::vector<BindDesc>& all = c.binds;
    const bool query = IsQuery(*c.st);
    uint32_t rows = all.empty() ? 0 : (query || andFetch ? 1 : std::max<uint32_t>(iterations, 1));
    auto bindRows = ReadBindRows(all, rows, c.returnFrom, c.st->tr.kind == StmtKind::Plsql);
    uint32_t options = kOptExecute | (flags1 & kOptExecute);
    if (andFetch) options |= kOptFetch;
    if (flags2 & kReexecCommit) options |= kOptCommit;
    c.fetched = 0;
    c.ended = false;
    RunAndReply(c, options, all, bindRows, andFetch ? iterations : 0, false);
}

void ModernSession::RunAndReply(ModernCursor& c, uint32_t options, const std::vector<BindDesc>& binds,
                                const std::vector<std::vector<Value>>& rows, uint32_t fetchRows,
                                bool describe) {
    EmuStatement& s = *c.st;
    long long processed = 0;
    RowidParts inserted{};
    bool haveRowid = false;
    if ((options & kOptExecute) && c.returnFrom < binds.size()) return ExecuteReturning(c, binds, rows);
    if (options & kOptExecute) {
        if (s.tr.kind == StmtKind::Plsql)
            return ExecuteBlock(c, binds, rows.empty() ? std::vector<Value>() : rows[0]);
        if (options & kOptPlsqlBind) throw ProtocolError("PL/SQL binds for a statement that is no block");
        // An EXPLAIN PLAN needs no values for its statement's placeholders.
        if (static_cast<int>(binds.size()) != s.bindCount() && s.tr.kind != StmtKind::Ddl &&
            !(s.tr.kind == StmtKind::Explain && binds.empty()))
            return WriteCallEnd(MakeError(1008), 0, c.id);
        static const std::vector<Value> none;
        // LOB locators bound to SQL stand for their content
        std::vector<std::vector<Value>> resolved;
        for (const auto& row : rows)
            for (const auto& v : row)
                if (v.isLocator) {
                    resolved = rows;
                    break;
                }
        for (auto& row : resolved)
            for (auto& v : row) {
                if (!v.isLocator) continue;
                Value content;
                bool isClob = false;
                OraError e;
                if (!eng_->ReadLob(v.s, content.s, isClob, e)) return WriteCallEnd(e, 0, c.id);
                content.kind = isClob ? Value::Text : Value::Blob;
                v = content;
            }
        const auto& rowsIn = resolved.empty() ? rows : resolved;
        if (s.tr.kind == StmtKind::Dml && !rowsIn.empty()) {
            for (const auto& row : rowsIn) {
                long long n = 0;
                OraError e = eng_->Execute(s, row, n);
                processed += n;
                if (e) return WriteCallEnd(e, processed, c.id);
            }
        } else {
            OraError e = eng_->Execute(s, rowsIn.empty() ? none : rowsIn[0], processed);
            if (e) return WriteCallEnd(e, processed, c.id);
        }
        if (s.tr.kind == StmtKind::Dml && !s.tr.dmlTable.empty() && processed > 0 && s.tr.commandType == 2) {
            inserted = RowidOf(s.tr.dmlTable, sqlite3_last_insert_rowid(eng_->Handle()));
            haveRowid = true;
        }
        if (options & kOptCommit) {
            OraError e = eng_->Commit();
            if (e) return WriteCallEnd(e, processed, c.id);
        }
    }
    if (IsQuery(s) && describe) WriteDescribe(s);
    // As with Oracle, rows with LOB columns are not prefetched before the client has defined them.
    bool lobs = false;
    for (const auto& col : s.cols)
        lobs |= col.t.type == kOraClob || col.t.type == kOraBlob;
    if (lobs && c.defines.empty() && !(options & kOptDefine)) fetchRows = 0;
    if (IsQuery(s) && (options & kOptFetch) && fetchRows > 0) {
        OraError err;
        bool more = SendRows(c, fetchRows, err);
        return EndFetch(c, more, err);
    }
    WriteCallEnd(OraError(), IsQuery(s) ? 0 : processed, c.id, haveRowid ? &inserted : nullptr);
}

void ModernSession::ExecuteBlock(ModernCursor& c, const std::vector<BindDesc>& binds,
                                 std::vector<Value> values) {
    EmuStatement& s = *c.st;
    EmuEngine::BlockPlan plan = eng_->PlanBlock(s);
    if (!plan.supported) return WriteCallEnd(plan.error, 0, c.id);
    values.resize(binds.size());
    // A temporary LOB bound only as input is how clients send long values to a block: it stands for its
    // content (a table's LOB locator stays a locator, for DBMS_LOB).
    for (size_t k = 0; k < values.size() && k < plan.marks.size(); ++k) {
        Value& v = values[k];
        if (plan.marks[k] != 0x20 || !v.isLocator || v.s.rfind("VEMULOBT", 0) != 0) continue;
        Value content;
        bool isClob = false;
        OraError e;
        if (!eng_->ReadLob(v.s, content.s, isClob, e)) return WriteCallEnd(e, 0, c.id);
        content.kind = isClob ? Value::Text : Value::Blob;
        v = content;
    }
    std::vector<std::unique_ptr<EmuStatement>> newCursors;
    std::vector<int> cursorBinds;
    long long rows = 0;
    OraError err = eng_->RunBlock(s, values, newCursors, cursorBinds, rows);
    if (err) return WriteCallEnd(err, 0, c.id);
    std::vector<uint32_t> refCursor(binds.size(), 0);
    for (size_t k = 0; k < newCursors.size() && k < cursorBinds.size(); ++k) {
        auto nc = std::make_unique<ModernCursor>();
        nc->id = static_cast<int>(nextCursor_++);
        nc->st = std::move(newCursors[k]);
        size_t b = static_cast<size_t>(cursorBinds[k]);
        if (b < refCursor.size()) refCursor[b] = static_cast<uint32_t>(nc->id);
        cursors_[static_cast<uint32_t>(nc->id)] = std::move(nc);
    }
    std::vector<uint8_t> dirs(binds.size(), kBindInOut);
    for (size_t k = 0; k < binds.size() && k < plan.marks.size(); ++k)
        if (plan.marks[k]) dirs[k] = plan.marks[k];
    // A text output longer than the buffer the client bound for it: the assignment fails, nothing is cut.
    for (size_t k = 0; k < binds.size(); ++k)
        if ((dirs[k] & kBindOut) && values[k].kind == Value::Text && binds[k].maxSize > 0 &&
            (binds[k].type == kOraVarchar2 || binds[k].type == kOraChar) &&
            values[k].s.size() > binds[k].maxSize)
            return WriteCallEnd(MakeError(6502, "character string buffer too small"), 0, c.id);
    // which binds come back
    w_.W8(net::kMsgIoVector);
    w_.W8(0); // flags
    w_.WUB2(static_cast<uint32_t>(binds.size() % 256));
    w_.WUB4(static_cast<uint32_t>(binds.size() / 256));
    w_.WUB4(1); // iterations this time
    w_.WUB2(0); // buffer length
    w_.WUB2(0); // no bit vector
    w_.WUB2(0); // no rowid
    for (uint8_t d : dirs)
        w_.W8(d);
    bool anyOut = false;
    for (uint8_t d : dirs)
        anyOut |= (d & kBindOut) != 0;
    if (anyOut) {
        w_.W8(net::kMsgRowData);
        for (size_t k = 0; k < binds.size(); ++k) {
            if (!(dirs[k] & kBindOut)) continue;
            if (binds[k].type == kOraCursor) {
                auto it = cursors_.find(refCursor[k]);
                if (it == cursors_.end() || !it->second->st) {
                    w_.W8(0);
                } else {
                    w_.W8(1);
                    WriteDescribeBody(*it->second->st);
                    w_.WUB2(refCursor[k]);
                }
            } else {
                ColumnMeta meta;
                meta.t.type = binds[k].type;
                meta.t.size = static_cast<int>(binds[k].maxSize);
                WriteColumnValue(values[k], meta, &binds[k], true);
            }
            w_.WSB4(0); // bytes beyond the client's buffer: none
        }
    }
    WriteCallEnd(OraError(), rows, c.id);
}

void ModernSession::ExecuteReturning(ModernCursor& c, const std::vector<BindDesc>& binds,
                                     const std::vector<std::vector<Value>>& rows) {
    EmuStatement* block = c.st.get();
    EmuEngine::BlockPlan plan = eng_->PlanBlock(*block);
    if (!plan.supported) return WriteCallEnd(plan.error, 0, c.id);
    long long processed = 0;
    const std::vector<std::vector<Value>> one(1);
    for (const auto& row : rows.empty() ? one : rows) {
        std::vector<Value> values = row;
        values.resize(binds.size());
        std::vector<std::unique_ptr<EmuStatement>> cursors;
        std::vector<int> cursorBinds;
        long long n = 0;
        if (OraError e = eng_->RunBlock(*block, values, cursors, cursorBinds, n))
            return WriteCallEnd(e, processed, c.id);
        processed += n;
        w_.W8(net::kMsgRowData);
        for (size_t k = c.returnFrom; k < binds.size(); ++k) {
            w_.WUB4(n > 0 ? 1 : 0); // returned rows (the engine keeps the last)
            if (n == 0) continue;
            ColumnMeta meta;
            meta.t.type = binds[k].type;
            meta.t.size = static_cast<int>(binds[k].maxSize);
            WriteColumnValue(values[k], meta, &binds[k], true);
            w_.WSB4(0);
        }
    }
    WriteCallEnd(OraError(), processed, c.id);
}

void ModernSession::WriteDescribe(const EmuStatement& s) {
    w_.W8(net::kMsgDescribeInfo);
    w_.W8(0); // no chunked header bytes
    WriteDescribeBody(s);
}

void ModernSession::WriteDescribeBody(const EmuStatement& s) {
    uint32_t rowSize = 0;
    for (const auto& c : s.cols)
        rowSize += static_cast<uint32_t>(std::max(c.t.size, 22));
    w_.WUB4(rowSize);
    w_.WUB4(static_cast<uint32_t>(s.cols.size()));
    if (!s.cols.empty()) w_.W8(0);
    int position = 0;
    for (const auto& c : s.cols) {
        uint8_t type = WireType(c);
        bool text = type == kOraVarchar2 || type == kOraChar || type == kOraLong || type == kOraClob;
        bool national = text && c.t.national;
        uint32_t size = type == kOraNumber                     ? 22
                        : type == kOraDate                     ? 7
                        : type == kOraClob || type == kOraBlob ? 4000
                        : c.t.wire != 0                        ? WireSize(c.t.wire)
                                                               : static_cast<uint32_t>(c.t.size);
        // National text is counted in characters of two bytes each.
        uint32_t bytes = national ? 2 * size : size;
        w_.W8(type);
        w_.W8(0); // flags
        // Date-times and intervals: their leading digits as the precision, their fraction as the scale.
        int precision = type == kOraNumber ? c.t.precision : c.t.wire != 0 ? c.t.wireLead : 0;
        w_.W8(static_cast<uint8_t>(precision));
        int scale = type == kOraNumber ? (c.t.precision == 0 && !c.t.scaleGiven ? -127 : c.t.scale)
                    : c.t.wire != 0    ? c.t.wireFraction
                                       : 0;
        w_.W8(static_cast<uint8_t>(static_cast<int8_t>(scale)));
        w_.WUB4(bytes);
        w_.WUB4(0); // array elements
        w_.WUB8(0); // continuation flags
        w_.WUB4(0); // no type OID
        w_.WUB2(0); // type version
        w_.WUB2(national ? net::kCharsetAl16Utf16 : text ? net::kCharsetAl32Utf8 : 0);
        w_.W8(national ? kCsfrmNchar : text ? kCsfrmImplicit : 0);
        w_.WUB4(text ? size : 0); // size in characters
        if (fieldVersion_ >= 8) w_.WUB4(0);
        w_.W8(c.nullable ? 1 : 0);
        w_.W8(0); // v7 name length
        w_.WUB4(static_cast<uint32_t>(c.name.size()));
        if (!c.name.empty()) w_.WBytesWithLength(c.name);
        w_.WUB4(0); // schema of a type
        w_.WUB4(0); // type name
        w_.WUB2(static_cast<uint32_t>(++position));
        w_.WUB4(0); // user-defined type flags
    }
    w_.WUB4(0); // current date
    w_.WUB4(0); // describe flags
    w_.WUB4(0);
    w_.WUB4(0);
    w_.WUB4(0);
    w_.WUB4(0);
}

void ModernSession::WriteColumnValue(const Value& v, const ColumnMeta& col, const BindDesc* define,
                                     bool outBind) {
    uint8_t type = define ? define->type : WireType(col);
    if (type == kOraClob || type == kOraBlob) return WriteLobOut(v, type == kOraBlob);
    bool nchar = define ? define->csfrm == kCsfrmNchar : col.t.national;
    bool trailer =
        !outBind && (type == kOraLong || type == kOraLongRaw || (define && define->maxSize > kMaxStringSize));
    bool isDate = v.isDate || col.t.type == kOraDate;
    std::string bytes;
    bool null = v.kind == Value::Null;
    if (!null) {
        switch (type) {
        case kOraNumber: {
            uint8_t b[24];
            if (v.kind == Value::Int) {
                bytes.assign(reinterpret_cast<const char*>(b), EncodeIntNumber(v.i, b));
            } else if (v.kind == Value::Real) {
                bytes.assign(reinterpret_cast<const char*>(b), EncodeDoubleNumber(v.r, b));
            } else {
                Decimal dec;
                if (WideNumberFromText(v.s, dec) || DecimalFromText(v.s, dec))
                    bytes = EncodeNumber(dec);
                else
                    null = true;
            }
            break;
        }
        case kTypeTimestampTz:
        case kTypeTimestampLtz:
        case kWireIntervalYm:
        case kWireIntervalDs:
            null = !WireValueBytes(type, v, bytes);
            break;
        case kTypeTimestamp:
            if (col.t.wire == type) {
                null = !WireValueBytes(type, v, bytes);
                break;
            }
            [[fallthrough]];
        case kOraDate: {
            double dn = 0;
            if (v.kind == Value::Int || v.kind == Value::Real) {
                dn = v.kind == Value::Int ? static_cast<double>(v.i) : v.r;
            } else {
                DateTime dt;
                std::string err;
                if (!ParseDate(v.s, eng_->nlsDateFormat, eng_->nlsDateLanguage, dt, err) &&
                    !ParseDate(v.s, "YYYY-MM-DD HH24:MI:SS", "AMERICAN", dt, err)) {
                    null = true;
                    break;
                }
                dn = DayNumberFromDateTime(dt);
            }
            bytes = EncodeDate(DateTimeFromDayNumber(dn));
            break;
        }
        case kTypeBoolean:
            bytes.assign(1, (v.kind == Value::Int    ? v.i != 0
                             : v.kind == Value::Real ? v.r != 0
                                                     : v.s == "1")
                                ? 1
                                : 0);
            break;
        case kTypeBinaryDouble:
        case kTypeBinaryFloat: {
            double d = BinaryValue(v);
            bytes =
                type == kTypeBinaryDouble ? EncodeBinaryDouble(d) : EncodeBinaryFloat(static_cast<float>(d));
            break;
        }
        case kOraRaw:
        case kOraLongRaw:
            bytes = v.kind == Value::Text || v.kind == Value::Blob ? v.s : eng_->ValueText(v, isDate);
            break;
        default: { // character forms
            bytes = v.kind == Value::Text ? v.s : eng_->ValueText(v, isDate);
            if (col.t.type == kOraChar && bytes.size() < static_cast<size_t>(col.t.size))
                bytes.append(static_cast<size_t>(col.t.size) - bytes.size(), ' ');
            if (nchar) bytes = Utf8ToUtf16Be(bytes);
            break;
        }
        }
    }
    if (null)
        w_.W8(0);
    else
        w_.WBytesWithLength(bytes);
    if (trailer) {
        w_.WSB4(null ? -1 : 0); // indicator
        w_.WUB4(0);             // return code
    }
}

bool ModernSession::ServesAhead(const ModernCursor& c, bool* sameDefines) const {
    if (!ahead_ || ahead_->cursorId != c.id || !c.st || !c.st->executed ||
        c.st->runSerial != ahead_->runSerial)
        return false;
    if (sameDefines) {
        const std::vector<BindDesc>& a = ahead_->defines;
        bool same = a.size() == c.defines.size();
        for (size_t i = 0; same && i < a.size(); ++i)
            same = a[i].type == c.defines[i].type && a[i].csfrm == c.defines[i].csfrm &&
                   a[i].maxSize == c.defines[i].maxSize;
        *sameDefines = same;
    }
    return true;
}

void ModernSession::PlanReadAhead(const ModernCursor& c, uint32_t rows) {
    if (ahead_) {
        // rows read ahead for a cursor are kept until that cursor takes them or its query is gone
        auto owner = cursors_.find(uint32_t(ahead_->cursorId));
        if (owner != cursors_.end() && ServesAhead(*owner->second)) return;
        ahead_.reset();
    }
    if (opts_.slowFetchMs > 0 || rows == 0 || rows > 10000) return;
    for (const auto& col : c.st->cols)
        if (col.t.type == kOraClob || col.t.type == kOraBlob) return; // locators are made as rows are sent
    aheadPlan_ = std::make_unique<ReadAhead>();
    aheadPlan_->cursorId = c.id;
    aheadPlan_->rows = rows;
}

void ModernSession::DoReadAhead() {
    std::unique_ptr<ReadAhead> a = std::move(aheadPlan_);
    auto it = cursors_.find(uint32_t(a->cursorId));
    if (it == cursors_.end() || !it->second->st || ahead_ || w_.ReplySize() != 0) return;
    ModernCursor& c = *it->second;
    EmuStatement& s = *c.st;
    if (!s.executed || c.ended || !IsQuery(s)) return;
    a->runSerial = s.runSerial;
    a->defines = c.defines;
    a->rowEnd.reserve(a->rows);
    readingAhead_ = true;
    try {
        for (uint32_t r = 0; r < a->rows; ++r) {
            if (!eng_->Step(s, a->err)) {
                a->ended = true;
                break;
            }
            std::vector<Value>& vals = a->values.emplace_back(s.cols.size());
            w_.W8(net::kMsgRowData);
            for (size_t k = 0; k < s.cols.size(); ++k) {
                vals[k] = eng_->ColumnValue(s, static_cast<int>(k));
                WriteColumnValue(vals[k], s.cols[k], k < c.defines.size() ? &c.defines[k] : nullptr);
            }
            a->rowEnd.push_back(w_.ReplySize());
        }
    } catch (const std::exception& e) {
        // the rows read so far are sent; the query ends with the error where the next row failed
        w_.DiscardReply();
        a->rowEnd.clear();
        a->values.clear();
        a->ended = true;
        a->err = MakeError(600, e.what());
    }
    readingAhead_ = false;
    a->bytes = w_.TakeReply();
    ahead_ = std::move(a);
}

bool ModernSession::SendRows(ModernCursor& c, uint32_t n, OraError& err) {
    EmuStatement& s = *c.st;
    if (c.ended) return false;
    if (ahead_ && !ServesAhead(c) && ahead_->cursorId == c.id) ahead_.reset(); // re-executed meanwhile
    uint32_t r = 0;
    bool sameDefines = true;
    if (ServesAhead(c, &sameDefines)) {
        ReadAhead& a = *ahead_;
        const size_t take = std::min<size_t>(n, a.rowEnd.size() - a.next);
        if (take > 0 && sameDefines) {
            const size_t from = a.next ? a.rowEnd[a.next - 1] : 0;
            w_.WBytes(a.bytes.data() + from, a.rowEnd[a.next + take - 1] - from);
        } else {
            // defined otherwise since they were read: the same rows in the forms asked for now
            for (size_t i = a.next; i < a.next + take; ++i) {
                w_.W8(net::kMsgRowData);
                for (size_t k = 0; k < s.cols.size(); ++k)
                    WriteColumnValue(k < a.values[i].size() ? a.values[i][k] : Value(), s.cols[k],
                                     k < c.defines.size() ? &c.defines[k] : nullptr);
            }
        }
        if (take > 0) {
            a.next += take;
            c.fetched += static_cast<long long>(take);
            r = static_cast<uint32_t>(take);
        }
        if (a.next == a.rowEnd.size()) {
            if (!a.ended) {
                ahead_.reset();
            } else if (r < n) {
                c.ended = true;
                err = a.err;
                ahead_.reset();
                return false;
            } // else the rows asked for are all here; the end follows with the next fetch
        }
    }
    for (; r < n; ++r) {
        if (opts_.slowFetchMs > 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(opts_.slowFetchMs));
            if (opts_.breakChecks) opts_.breakChecks->fetch_add(1);
            w_.CheckBreak();
        } else if ((r & 255) == 255) {
            w_.CheckBreak();
        }
        if (!eng_->Step(s, err)) {
            c.ended = true;
            return false;
        }
        w_.W8(net::kMsgRowData);
        for (size_t k = 0; k < s.cols.size(); ++k) {
            const BindDesc* d = k < c.defines.size() ? &c.defines[k] : nullptr;
            const ColumnMeta& col = s.cols[k];
            if ((d ? d->type == kOraClob || d->type == kOraBlob
                   : col.t.type == kOraClob || col.t.type == kOraBlob)) {
                WriteLobColumn(s, static_cast<int>(k), col);
                continue;
            }
            if ((d ? d->type : WireType(col)) == kOraRowid) {
                // A fetched ROWID travels as its parts: object, file, a zero byte, block, row.
                Value v = eng_->ColumnValue(s, static_cast<int>(k));
                RowidParts r;
                if (v.kind != Value::Text || !RowidFromText(v.s, r)) {
                    w_.W8(0);
                    continue;
                }
                w_.W8(1);
                w_.WUB4(static_cast<int64_t>(r.object));
                w_.WUB2(static_cast<int32_t>(r.file));
                w_.W8(0);
                w_.WUB4(static_cast<int64_t>(r.block));
                w_.WUB2(static_cast<int32_t>(r.row));
                continue;
            }
            WriteColumnValue(eng_->ColumnValue(s, static_cast<int>(k)), col, d);
        }
        ++c.fetched;
    }
    PlanReadAhead(c, n);
    return true;
}

void ModernSession::EndFetch(ModernCursor& c, bool more, const OraError& err) {
    if (err) return WriteCallEnd(err, c.fetched, c.id);
    WriteCallEnd(more ? OraError() : MakeError(1403), c.fetched, c.id);
}

void ModernSession::FetchCall() {
    uint32_t cursorId = w_.UB4();
    uint32_t rows = w_.UB4();
    auto it = cursors_.find(cursorId);
    if (it == cursors_.end() || !it->second->st) return WriteCallEnd(MakeError(1001));
    ModernCursor& c = *it->second;
    if (!IsQuery(*c.st) || !c.st->executed) return WriteCallEnd(MakeError(1002), 0, c.id);
    OraError err;
    bool more = SendRows(c, rows, err);
    EndFetch(c, more, err);
}

void ModernSession::CloseCursor(uint32_t id) {
    auto it = cursors_.find(id);
    if (it == cursors_.end()) return; // closing a cursor twice is harmless
    if (ahead_ && ahead_->cursorId == it->second->id) ahead_.reset();
    if (it->second->st) eng_->Close(it->second->st.get());
    cursors_.erase(it);
}

} // namespace vemu
