// Bind values of the current generation. Every value travels as the server's type: integers and floating
// point numbers as NUMBER, strings in UTF-8 as VARCHAR (CHAR for the blank-padded external types, so a CHAR
// key compares as the server compares it), DATE as its seven bytes, RAW and LONG RAW as they are, cursors
// as the id the statement handle holds, LOB locators as the server's bytes.
#include "oranet/NetBind315.h"

#include "dataset/ByteIO.h"
#include "dataset/Cp1252.h"
#include "dataset/StrUtil.h"
#include "oranet/NetNumber.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace oranet {

using namespace oracall;

namespace {

// Wire types.
enum : uint8_t {
    wVarchar = 1,
    wNumber = 2,
    wLong = 8,
    wDate = 12,
    wRaw = 23,
    wLongRaw = 24,
    wChar = 96,
    wCursor = 102,
    wClob = 112,
    wBlob = 113,
};
constexpr uint32_t LobPrefetch = 0x2000000;
constexpr uint32_t MaxInlineString = 4000;
constexpr uint32_t MaxPlSqlString = 32767;

uint8_t* At(void* base, uint32_t skip, int64_t row) {
    return base ? static_cast<uint8_t*>(base) + row * int64_t(skip) : nullptr;
}

bool IsText(uint16_t type) {
    return type == SQLT_CHR || type == SQLT_STR || type == SQLT_AVC || type == SQLT_AFC || type == SQLT_LNG;
}

bool ZeroTerminated(uint16_t type) {
    return type == SQLT_STR || type == SQLT_AVC;
}

// A DATE's seven bytes as the server keeps them: century and year plus 100, month, day, hour, minute and
// second plus 1.
bool ValidDate(const uint8_t* d) {
    return d[0] >= 100 && d[1] >= 100 && d[2] >= 1 && d[2] <= 12 && d[3] >= 1 && d[3] <= 31 && d[4] >= 1 &&
           d[4] <= 24 && d[5] >= 1 && d[5] <= 60 && d[6] >= 1 && d[6] <= 60;
}

// The call interface's DATE structure: a two-byte year, then month, day, hour, minute and second.
std::string DateFromStruct(const uint8_t* v) {
    int year = Load<int16_t>(v);
    uint8_t d[7] = {uint8_t(year / 100 + 100), uint8_t(year % 100 + 100), v[2], v[3], uint8_t(v[4] + 1),
                    uint8_t(v[5] + 1),         uint8_t(v[6] + 1)};
    return std::string(reinterpret_cast<const char*>(d), 7);
}

void DateToStruct(const std::string& raw, uint8_t* v) {
    const auto* d = reinterpret_cast<const uint8_t*>(raw.data());
    Store<int16_t>(v, int16_t((int(d[0]) - 100) * 100 + (int(d[1]) - 100)));
    v[2] = d[2], v[3] = d[3];
    v[4] = uint8_t(d[4] - 1), v[5] = uint8_t(d[5] - 1), v[6] = uint8_t(d[6] - 1);
}

// The bytes of a LONG or LONG RAW bound for piecewise input: the pieces the caller's callback hands out.
std::string CollectPieces(TNetParam& bind) {
    std::string value;
    ub1 piece = OCI_FIRST_PIECE;
    for (int guard = 0; guard < (1 << 20); ++guard) {
        void* buf = nullptr;
        ub4 len = 0;
        void* ind = nullptr;
        bind.inCallback(bind.inContext, reinterpret_cast<OCIBind*>(static_cast<TNetHandle*>(&bind)), 0, 0,
                        &buf, &len, &piece, &ind);
        sb2 indicator = ind ? Load<sb2>(ind) : 0;
        if (len > 0 && buf && indicator == 0) value.append(static_cast<const char*>(buf), len);
        if (piece == OCI_LAST_PIECE || piece == OCI_ONE_PIECE) break;
        if (piece == OCI_FIRST_PIECE) piece = OCI_NEXT_PIECE;
    }
    return value;
}

// The room of a bind's buffer for one value.
uint32_t Capacity(const TNetParam& b) {
    int64_t cap = int64_t(b.valueSize) - (ZeroTerminated(b.dataType) ? 1 : 0);
    return uint32_t(std::clamp<int64_t>(cap, 0, 0x7FFFFFFF));
}

std::string IntegerNumber(const uint8_t* v, int32_t size) {
    int64_t x = size == 8   ? Load<int64_t>(v)
                : size == 2 ? Load<int16_t>(v)
                : size == 1 ? int64_t(int8_t(v[0]))
                            : int64_t(Load<int32_t>(v));
    std::string bytes;
    DecimalTextToNumber(std::to_string(x), bytes);
    return bytes;
}

} // namespace

bool EncodeCurrentBind(TNetParam& b, uint32_t rows, bool plsql, TEncodedBind& out, std::string& error) {
    const uint16_t type = b.dataType;
    const std::string name = ":" + b.name;
    out = TEncodedBind{};
    if (type == 0) {
        error = "ORA-01008: not all variables bound (" + name + ")";
        return false;
    }
    if (b.maxArrayLength > 0) {
        error = "NET: PL/SQL tables are not available over the current Oracle protocol (" + name + ")";
        return false;
    }
    TBindDesc& d = out.desc;
    switch (type) {
    case SQLT_CHR:
    case SQLT_STR:
        d.type = wVarchar, d.charsetForm = 1;
        break;
    case SQLT_AVC:
    case SQLT_AFC:
        d.type = wChar, d.charsetForm = 1;
        break;
    case SQLT_LNG:
        d.type = wLong, d.charsetForm = 1;
        break;
    case SQLT_INT:
    case SQLT_FLT:
    case SQLT_NUM:
    case SQLT_VNU:
        d.type = wNumber, d.maxSize = 22;
        break;
    case SQLT_DAT:
    case SqltOciDate:
        d.type = wDate, d.maxSize = 7;
        break;
    case SQLT_BIN:
        d.type = wRaw;
        break;
    case SQLT_LBI:
        d.type = wLongRaw;
        break;
    case SQLT_CUR:
    case SQLT_RSET:
        d.type = wCursor, d.maxSize = 4;
        break;
    case SQLT_CLOB:
        d.type = wClob, d.maxSize = 112, d.contFlags = LobPrefetch, d.charsetForm = 1;
        break;
    case SQLT_BLOB:
        d.type = wBlob, d.maxSize = 112, d.contFlags = LobPrefetch;
        break;
    default:
        error = "NET: Binds of external type " + std::to_string(type) +
                " are not available over the current Oracle protocol (" + name + ")";
        return false;
    }
    const bool pieces = (type == SQLT_LNG || type == SQLT_LBI) && b.inCallback;
    const bool variable = IsText(type) || type == SQLT_BIN || type == SQLT_LBI;
    out.values.assign(rows, std::string());
    out.present.assign(rows, 0);
    uint32_t longest = 0;
    for (uint32_t r = 0; r < rows; ++r) {
        const uint8_t* v = At(b.value, b.valueSkip, r);
        const uint8_t* ind = At(b.indicator, b.indicatorSkip, r);
        const uint8_t* len = At(b.length, b.lengthSkip, r);
        std::string& w = out.values[r];
        if (type == SQLT_CUR || type == SQLT_RSET) {
            // A statement handle that already holds a server cursor passes it in; a fresh one asks for one.
            auto* target = v ? dynamic_cast<TNetCursor*>(Load<TNetHandle*>(v)) : nullptr;
            if (target && target->connection && target->connection->current)
                out.heldCursor = uint32_t(target->cursorId);
            continue;
        }
        if (!pieces && ind && Load<sb2>(ind) != 0) continue;
        if (pieces) {
            w = CollectPieces(b);
        } else if (!v) {
            continue;
        } else if (type == SQLT_CLOB || type == SQLT_BLOB) {
            auto* loc = dynamic_cast<TNetLobLocator*>(Load<TNetHandle*>(v));
            if (loc) w = loc->bytes;
        } else if (type == SQLT_INT) {
            w = IntegerNumber(v, b.valueSize);
        } else if (type == SQLT_FLT) {
            if (b.valueSize != 4 && b.valueSize != 8) {
                error = "NET: A floating-point bind holds 4 or 8 bytes (" + name + ")";
                return false;
            }
            w = b.valueSize == 4 ? FloatToNumber(Load<float>(v)) : FloatToNumber(Load<double>(v));
        } else if (type == SQLT_NUM || type == SQLT_VNU) {
            size_t n = type == SQLT_VNU ? std::min<size_t>(v[0], 21)
                                        : (len ? Load<ub2>(len) : size_t(std::max(b.valueSize, 0)));
            w.assign(reinterpret_cast<const char*>(v + (type == SQLT_VNU ? 1 : 0)), std::min<size_t>(n, 22));
            TDecimal check;
            if (!w.empty() && !NumberToDecimal(reinterpret_cast<const uint8_t*>(w.data()), w.size(), check)) {
                // An output-only value of a block is never read: the server gets a NULL for it.
                if (plsql) {
                    w.clear();
                    continue;
                }
                error = "ORA-01722: invalid number (the value of " + name + " is no NUMBER)";
                return false;
            }
        } else if (type == SQLT_DAT || type == SqltOciDate) {
            if (b.valueSize < 7) {
                error = "NET: A DATE bind holds 7 bytes (" + name + ")";
                return false;
            }
            w = type == SQLT_DAT ? std::string(reinterpret_cast<const char*>(v), 7) : DateFromStruct(v);
            if (!ValidDate(reinterpret_cast<const uint8_t*>(w.data()))) {
                if (plsql) {
                    w.clear();
                    continue;
                }
                error = "ORA-01858: the value of " + name + " is no valid DATE";
                return false;
            }
        } else {
            size_t n = len ? Load<ub2>(len) : Capacity(b);
            n = std::min<size_t>(n, Capacity(b));
            if (ZeroTerminated(type) || type == SQLT_CHR) {
                const void* z = std::memchr(v, 0, n);
                if (z) n = size_t(static_cast<const uint8_t*>(z) - v);
            }
            w.assign(reinterpret_cast<const char*>(v), n);
        }
        if (IsText(type) && !w.empty()) w = cp1252::ToUtf8(w);
        out.present[r] = !w.empty();
        longest = std::max<uint32_t>(longest, uint32_t(std::min<size_t>(w.size(), 0x7FFFFFFF)));
    }
    if (variable) {
        d.maxSize = std::max<uint32_t>(longest, 1);
        // A block may hand back more than went in: room for what the caller's buffer holds, so that a
        // longer value fails on the server (ORA-06502) instead of being cut here.
        if (plsql) {
            uint32_t room = b.outCallback ? MaxPlSqlString : Capacity(b);
            d.maxSize = std::max(d.maxSize, std::min(room, MaxPlSqlString));
        }
    }
    return true;
}

void WriteCurrentBindValue(TTtcWriter& w, const TEncodedBind& b, uint32_t row) {
    if (b.desc.type == wCursor) {
        if (b.heldCursor != 0) {
            w.UB4(1);
            w.UB4(b.heldCursor);
        } else {
            w.U8(1);
            w.U8(0);
        }
        return;
    }
    if (row >= b.values.size() || !b.present[row]) {
        w.U8(0);
        return;
    }
    const std::string& v = b.values[row];
    if (b.desc.type == wClob || b.desc.type == wBlob) w.UB4(uint32_t(v.size()));
    w.BytesWithLength(v);
}

void WriteCurrentBindRow(TTtcWriter& w, const std::vector<TEncodedBind>& binds, uint32_t row, bool plsql) {
    for (const TEncodedBind& b : binds)
        if (plsql || b.desc.maxSize <= MaxInlineString) WriteCurrentBindValue(w, b, row);
    if (plsql) return;
    for (const TEncodedBind& b : binds)
        if (b.desc.maxSize > MaxInlineString) WriteCurrentBindValue(w, b, row);
}

bool StoreCurrentOutValue(TNetParam& b, const std::string* raw) {
    const uint16_t type = b.dataType;
    uint8_t* v = At(b.value, b.valueSkip, 0);
    uint8_t* ind = At(b.indicator, b.indicatorSkip, 0);
    uint8_t* lenp = At(b.length, b.lengthSkip, 0);
    bool substituted = false;
    if (!raw) {
        if (v && ZeroTerminated(type) && b.valueSize > 0) v[0] = 0;
        if (ind) Store<sb2>(ind, -1);
        if (lenp) Store<ub2>(lenp, 0);
        // A piecewise output learns of the NULL through its callback's indicator.
        if ((type == SQLT_LNG || type == SQLT_LBI) && b.outCallback) {
            void* buf = nullptr;
            ub4* alen = nullptr;
            void* indp = nullptr;
            ub2* rcode = nullptr;
            ub1 piece = OCI_ONE_PIECE;
            reinterpret_cast<OCICallbackOutBind>(b.outCallback)(
                b.outContext, reinterpret_cast<OCIBind*>(static_cast<TNetHandle*>(&b)), 0, 0, &buf, &alen,
                &piece, &indp, &rcode);
            if (alen) *alen = 0;
            if (indp) Store<sb2>(indp, -1);
        }
        return false;
    }
    std::string text;
    const std::string* bytes = raw;
    if (IsText(type)) {
        substituted = ServerTextToCp1252(*raw, false, text);
        bytes = &text;
    }
    const auto* src = reinterpret_cast<const uint8_t*>(bytes->data());
    size_t stored = 0;
    switch (type) {
    case SQLT_INT: {
        std::string digits = NumberToDecimalText(src, bytes->size());
        double x = NumberToFloat(src, bytes->size());
        int64_t iv = std::isfinite(x) && std::fabs(x) < 9e18 ? int64_t(x) : 0;
        if (std::fabs(x) >= 9e15 && !digits.empty() && digits.find_first_of(".E") == std::string::npos)
            iv = std::strtoll(digits.c_str(), nullptr, 10); // past a double's exact integers
        if (v) {
            if (b.valueSize == 8)
                Store<int64_t>(v, iv);
            else if (b.valueSize == 2)
                Store<int16_t>(v, int16_t(iv));
            else if (b.valueSize == 1)
                Store<int8_t>(v, int8_t(iv));
            else if (b.valueSize >= 4)
                Store<int32_t>(v, int32_t(iv));
        }
        stored = size_t(std::max(b.valueSize, 0));
        break;
    }
    case SQLT_FLT: {
        double x = NumberToFloat(src, bytes->size());
        if (v) {
            if (b.valueSize == 4)
                Store<float>(v, float(x));
            else if (b.valueSize >= 8)
                Store<double>(v, x);
        }
        stored = size_t(std::max(b.valueSize, 0));
        break;
    }
    case SQLT_VNU: {
        size_t n = std::min<size_t>(bytes->size(), 21);
        if (v && b.valueSize >= 22) {
            v[0] = uint8_t(n);
            std::memcpy(v + 1, src, n);
        }
        stored = n + 1;
        break;
    }
    case SqltOciDate:
        if (v && b.valueSize >= 7 && bytes->size() >= 7) DateToStruct(*bytes, v);
        stored = 7;
        break;
    case SQLT_CUR:
    case SQLT_RSET:
    case SQLT_CLOB:
    case SQLT_BLOB:
        break; // handed to their handles by the cursor
    case SQLT_LNG:
    case SQLT_LBI:
        if (b.outCallback) {
            size_t at = 0;
            for (int guard = 0; guard < (1 << 20); ++guard) {
                void* buf = nullptr;
                ub4* alen = nullptr;
                void* indp = nullptr;
                ub2* rcode = nullptr;
                ub1 piece = OCI_ONE_PIECE;
                reinterpret_cast<OCICallbackOutBind>(b.outCallback)(
                    b.outContext, reinterpret_cast<OCIBind*>(static_cast<TNetHandle*>(&b)), 0, 0, &buf, &alen,
                    &piece, &indp, &rcode);
                if (!alen) break; // no room offered: the rest is dropped
                size_t n = std::min<size_t>(*alen, bytes->size() - at);
                *alen = ub4(n);
                if (n > 0 && buf) std::memcpy(buf, src + at, n);
                if (indp) Store<sb2>(indp, 0);
                if (n == 0 || !buf) break;
                at += n;
                if (at >= bytes->size()) break;
            }
            break;
        }
        [[fallthrough]];
    default: {
        size_t n = std::min<size_t>(bytes->size(), Capacity(b));
        if (v) {
            if (n > 0) std::memcpy(v, src, n);
            if (ZeroTerminated(type) && b.valueSize > 0) v[n] = 0;
        }
        stored = n;
        break;
    }
    }
    if (ind) Store<sb2>(ind, 0);
    if (lenp) Store<ub2>(lenp, ub2(std::min<size_t>(stored, 0xFFFF)));
    return substituted;
}

} // namespace oranet

namespace oranet {

bool BuildCurrentBinds(TNetCursor& c, uint32_t rows, bool describeOnly, TCallBinds& out,
                       std::vector<TEncodedBind>& encoded, std::string& refusal) {
    if (c.binds.empty() || describeOnly) return true;
    // Placeholders nobody bound (an EXPLAIN PLAN of a statement with binds): the server decides whether it
    // needs values.
    if (std::all_of(c.binds.begin(), c.binds.end(), [](const auto& b) { return b->dataType == 0; }))
        return true;
    const bool plsql = c.IsPlSql();
    c.iterations = int32_t(rows);
    std::string nan = c.NotANumberBind();
    if (!nan.empty()) {
        refusal = "ORA-01722: invalid number (the value of :" + nan + " is not a number)";
        return false;
    }
    encoded.resize(c.binds.size());
    for (size_t i = 0; i < c.binds.size(); ++i) {
        // A name that occurs more than once in a statement is bound once: its later places take the value
        // of the first.
        if (c.binds[i]->dataType == 0) {
            size_t j = 0;
            while (j < i && !(c.binds[j]->dataType != 0 && SameText(c.binds[j]->name, c.binds[i]->name)))
                ++j;
            if (j < i) {
                encoded[i] = encoded[j];
                continue;
            }
        }
        if (!EncodeCurrentBind(*c.binds[i], rows, plsql, encoded[i], refusal)) return false;
    }
    for (const TEncodedBind& e : encoded)
        out.descs.push_back(e.desc);
    out.rows = rows;
    out.plsql = plsql;
    out.writeRow = [&encoded, plsql](TTtcWriter& w, uint32_t row) {
        WriteCurrentBindRow(w, encoded, row, plsql);
    };
    out.out = [&c](size_t i, const std::string* raw, uint32_t cursorId,
                   const std::vector<TColumnInfo>* columns) {
        if (i >= c.binds.size()) return;
        TNetBind& b = *c.binds[i];
        void* v = b.value;
        if (b.dataType == SQLT_CUR || b.dataType == SQLT_RSET) {
            auto* target = v ? dynamic_cast<TNetCursor*>(Load<TNetHandle*>(v)) : nullptr;
            if (!target) return;
            if (target->cursorId != 0 && uint32_t(target->cursorId) != cursorId)
                c.connection->current->CloseCursorLater(uint32_t(target->cursorId));
            target->connection = c.connection;
            target->transport = c.connection->transport.get();
            target->cursorId = int32_t(cursorId);
            target->statementType = 1;
            target->currentParsedText.clear();
            target->currentRefCursorFresh = cursorId != 0;
            target->columns.clear();
            if (columns) target->AdoptCurrentColumns(*columns, nullptr);
            if (b.indicator) Store<sb2>(b.indicator, sb2(raw ? 0 : -1));
            return;
        }
        if (b.dataType == SQLT_CLOB || b.dataType == SQLT_BLOB) {
            auto* loc = v ? dynamic_cast<TNetLobLocator*>(Load<TNetHandle*>(v)) : nullptr;
            if (loc && raw) {
                loc->bytes = *raw;
                loc->lobType = b.dataType;
            }
            if (b.indicator) Store<sb2>(b.indicator, sb2(raw ? 0 : -1));
            return;
        }
        if (StoreCurrentOutValue(b, raw)) ++c.substitutedValues;
    };
    return true;
}

} // namespace oranet
