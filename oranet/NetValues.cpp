// Values inside the statement calls: descriptions of defines and binds, bind rows, row values, the row
// header and the bind vector, and the NUMBER conversions.
#include "dataset/ByteIO.h"
#include "oranet/NetErrors.h"
#include "oranet/NetHandles.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace oranet {

using namespace oracall;

// ---------------------------------------------------------------------------------------------------------
// NUMBER conversions

namespace {

std::string EncodeNumber(bool negative, int e, const int* digits, int count) {
    std::string out;
    if (!negative) {
        out.push_back(char(uint8_t(0xC1 + e)));
        for (int i = 0; i < count; ++i)
            out.push_back(char(uint8_t(digits[i] + 1)));
    } else {
        out.push_back(char(uint8_t(0x3E - e)));
        for (int i = 0; i < count; ++i)
            out.push_back(char(uint8_t(101 - digits[i])));
        if (count < 20) out.push_back(char(102));
    }
    return out;
}

} // namespace

// Sign, exponent and base-100 digits of a NUMBER form; false for zero and the infinities.
bool DecodeNumber(const uint8_t* b, size_t n, bool& negative, int& e, int* digits, int& count) {
    count = 0;
    if (n == 0 || (n == 1 && (b[0] == 0x80 || b[0] == 0x00)) || (n == 2 && b[0] == 0xFF && b[1] == 0x65))
        return false;
    if (n > 22) n = 22;
    negative = (b[0] & 0x80) == 0;
    if (!negative) {
        e = (b[0] & 0x7F) - 65;
        for (size_t i = 1; i < n; ++i)
            digits[count++] = b[i] - 1;
    } else {
        e = ((~b[0]) & 0x7F) - 65;
        size_t last = n;
        if (!(n == 21 && b[n - 1] != 102)) last = n - 1; // the terminator 102 is no digit
        for (size_t i = 1; i < last; ++i)
            digits[count++] = 101 - b[i];
    }
    return true;
}

std::string IntToNumber(int32_t v) {
    if (v == 0) return std::string(1, char(0x80));
    int64_t a = v < 0 ? -int64_t(v) : int64_t(v);
    int tmp[8], n = 0;
    while (a > 0) {
        tmp[n++] = int(a % 100);
        a /= 100;
    }
    int digits[8], count = 0;
    for (int i = n - 1; i >= 0; --i)
        digits[count++] = tmp[i];
    int e = n - 1;
    while (count > 1 && digits[count - 1] == 0)
        --count;
    return EncodeNumber(v < 0, e, digits, count);
}

namespace {

// Powers of 100 that a double holds exactly (100^11 = 10^22 is the last one).
constexpr double Hundreds[12] = {1, 1e2, 1e4, 1e6, 1e8, 1e10, 1e12, 1e14, 1e16, 1e18, 1e20, 1e22};

// x times 100 to the power k. Within the exact powers this is one correctly rounded multiplication or
// division; beyond them, a step of 100 at a time.
inline double ScaleByHundreds(double x, int k) {
    if (k >= 0) {
        if (k < 12) return x * Hundreds[k];
        for (int i = 0; i < k; ++i)
            x *= 100;
    } else {
        if (k > -12) return x / Hundreds[-k];
        for (int i = 0; i < -k; ++i)
            x /= 100;
    }
    return x;
}

// Positive numbers below 100^4 straight from the bytes; everything else through the complete decoding.
inline int32_t ReadNumberInt(const uint8_t* b, size_t n) {
    unsigned e = unsigned(b[0]) - 0xC1u; // the exponent of a positive number
    if (e <= 3 && n >= 2 && n <= 22) {
        // The digits present, then the missing ones as zeros.
        static constexpr int32_t Scale[4] = {1, 100, 10000, 1000000};
        const unsigned count = unsigned(n) - 1 < e + 1 ? unsigned(n) - 1 : e + 1;
        int32_t v = b[1] - 1;
        switch (count) {
        case 4:
            v = ((v * 100 + (b[2] - 1)) * 100 + (b[3] - 1)) * 100 + (b[4] - 1);
            break;
        case 3:
            v = (v * 100 + (b[2] - 1)) * 100 + (b[3] - 1);
            break;
        case 2:
            v = v * 100 + (b[2] - 1);
            break;
        default:
            break;
        }
        return v * Scale[e + 1 - count];
    }
    return NumberToInt(b, n);
}

// Positive numbers of at most 15 digits straight from the bytes, with the same arithmetic as the complete
// decoding; up to 7 digits are gathered as an integer (exact, as every step of the double sum would be).
inline double ReadNumberFloat(const uint8_t* b, size_t n) {
    if (n >= 2 && n <= 16 && (b[0] & 0x80) && !(n == 2 && b[0] == 0xFF && b[1] == 0x65)) {
        const int e = (b[0] & 0x7F) - 65;
        const int used = int(n) - 1;
        double x;
        if (used <= 7) {
            int64_t v = 0;
            for (int i = 1; i <= used; ++i)
                v = v * 100 + (b[i] - 1);
            x = double(v);
        } else {
            x = 0;
            for (int i = 1; i <= used; ++i)
                x = x * 100 + (b[i] - 1);
        }
        return ScaleByHundreds(x, e + 1 - used);
    }
    return NumberToFloat(b, n);
}

} // namespace

int32_t NumberToInt(const uint8_t* bytes, size_t length) {
    if (length >= 2 && length <= 22 && (bytes[0] & 0x80) && bytes[0] != 0xFF) {
        int e = (bytes[0] & 0x7F) - 65;
        if (e < 0) return 0;
        if (e <= 3) return ReadNumberInt(bytes, length);
    }
    bool negative;
    int e, digits[22], count;
    if (!DecodeNumber(bytes, length, negative, e, digits, count)) return 0;
    if (e < 0) return 0;
    int64_t v = 0;
    const int64_t limit = int64_t(1) << 32;
    for (int i = 0; i < e + 1; ++i) {
        v = v * 100 + (i < count ? digits[i] : 0);
        if (v > limit || v < -limit) break; // outside the 32-bit range: saturated below
    }
    if (negative) v = -v;
    if (v > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (v < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return int32_t(v);
}

double NumberToFloat(const uint8_t* bytes, size_t length) {
    if (length == 2 && bytes[0] == 0xFF && bytes[1] == 0x65) return std::numeric_limits<double>::infinity();
    if (length == 1 && bytes[0] == 0x00) return -std::numeric_limits<double>::infinity();
    if (length >= 2 && length <= 16 && (bytes[0] & 0x80)) return ReadNumberFloat(bytes, length);
    bool negative;
    int e, digits[22], count;
    if (!DecodeNumber(bytes, length, negative, e, digits, count)) return 0;
    double x = 0;
    int used = count < 15 ? count : 15;
    for (int i = 0; i < used; ++i)
        x = x * 100 + digits[i];
    if (count > 15 && digits[15] >= 50) x += 1;
    x = ScaleByHundreds(x, e + 1 - used);
    return negative ? -x : x;
}

std::string FloatToNumber(double x) {
    if (x == 0 || std::isnan(x)) return std::string(1, char(0x80));
    if (std::isinf(x)) return x > 0 ? std::string("\xFF\x65", 2) : std::string(1, '\0');
    static const double up[8] = {1e256, 1e128, 1e64, 1e32, 1e16, 1e8, 1e4, 1e2};
    static const double down[8] = {1e-256, 1e-128, 1e-64, 1e-32, 1e-16, 1e-8, 1e-4, 1e-2};
    static const int ks[8] = {128, 64, 32, 16, 8, 4, 2, 1};
    double b = std::fabs(x);
    int e = 0;
    for (int i = 0; i < 8; ++i) {
        if (b >= 1 && b >= up[i]) {
            e += ks[i];
            b *= down[i];
        } else if (b < 1 && b <= down[i]) {
            e -= ks[i];
            b *= up[i];
        }
    }
    if (b < 1) {
        e -= 1;
        b *= 100;
    }
    bool lead = b < 10;
    int d[9];
    for (int i = 0; i < 8; ++i) {
        d[i] = int(b);
        b = (b - d[i]) * 100;
    }
    d[8] = int(b);
    if (lead) {
        if (d[8] >= 50) d[7] += 1;
    } else {
        d[7] = ((d[7] + 5) / 10) * 10;
    }
    for (int i = 7; i > 0; --i)
        if (d[i] >= 100) {
            d[i] -= 100;
            d[i - 1] += 1;
        }
    if (d[0] >= 100) {
        d[0] = 1;
        e += 1;
    }
    int count = 8;
    while (count > 1 && d[count - 1] == 0)
        --count;
    return EncodeNumber(x < 0, e, d, count);
}

// ---------------------------------------------------------------------------------------------------------
// Descriptions

void WriteDescription(TNetTransport& t, const TNetParam& item, bool version8) {
    int type = item.dataType;
    int32_t s = item.valueSize;
    int w = type, f = 0x01;
    int32_t z = s;
    switch (type) {
    case 0:
        w = 0, f = 0x80;
        break;
    case 2:
    case 3:
    case 4:
        w = 2, z = 22;
        break;
    case 5:
        w = 1, z = s - 1;
        break;
    case 23:
        f = 0x03;
        break;
    case 96:
        f = 0x21;
        break;
    case 97:
        w = 96, z = s - 1;
        break;
    case 102:
    case 116:
        w = 102, z = 1;
        break;
    default:
        break;
    }
    if (item.maxArrayLength > 0) f |= 0x40;
    t.WriteUB1(uint8_t(w));
    t.WriteUB1(uint8_t(f));
    t.WriteUB1(0);
    t.WriteUB1(0);
    t.WriteSB4(z);
    t.WriteUB4(item.maxArrayLength);
    t.WriteUB4(0);
    if (version8) {
        t.WriteLengthOrZero(0);
        t.WriteUB2(0);
        t.WriteUB2(0);
        t.WriteUB1(1);
    }
}

void ReadColumnDescription(TNetTransport& t, TNetParam& column, bool version8) {
    column.dataType = t.ReadUB1();
    t.ReadUB1();
    column.precision = t.ReadUB1();
    int scale = column.dataType == 2 ? t.ReadUB2() : t.ReadUB1();
    column.scale = int8_t(uint8_t(scale));
    column.dataSize = uint16_t(t.ReadUB4());
    t.ReadUB4();
    t.ReadUB4();
    if (version8) {
        std::string scratch;
        t.ReadUB4Value(scratch);
        t.ReadUB2();
        t.ReadUB2();
        t.ReadUB1();
    }
}

// ---------------------------------------------------------------------------------------------------------
// Bind rows

namespace {

bool IsLong(int type) {
    return type == SQLT_LNG || type == SQLT_LBI;
}
bool IsCursorType(int type) {
    return type == SQLT_CUR || type == SQLT_RSET;
}
bool IsLobType(int type) {
    return type >= SQLT_CLOB && type <= SQLT_BFILEE;
}
bool IsZeroTerminated(int type) {
    return type == SQLT_STR || type == SQLT_AVC;
}

uint8_t* Addr(void* base, uint32_t skip, int64_t row) {
    return base ? static_cast<uint8_t*>(base) + row * int64_t(skip) : nullptr;
}

} // namespace

void TNetCursor::WriteLong(TNetParam& bind) {
    TNetTransport& t = *transport;
    std::string value;
    if (bind.inCallback) {
        ub1 piece = OCI_FIRST_PIECE;
        for (;;) {
            void* buf = nullptr;
            ub4 len = 0;
            void* ind = nullptr;
            bind.inCallback(bind.inContext, reinterpret_cast<OCIBind*>(static_cast<TNetHandle*>(&bind)), 0, 0,
                            &buf, &len, &piece, &ind);
            sb2 indicator = ind ? Load<sb2>(static_cast<uint8_t*>(ind)) : 0;
            if (len > 0 && buf && indicator == 0) value.append(static_cast<const char*>(buf), len);
            // A single piece is complete as well.
            if (piece == OCI_LAST_PIECE || piece == OCI_ONE_PIECE) break;
            if (piece == OCI_FIRST_PIECE) piece = OCI_NEXT_PIECE;
        }
    }
    if (!value.empty()) {
        t.WriteUB1(0xFE);
        for (size_t at = 0; at < value.size(); at += 64) {
            size_t n = std::min<size_t>(64, value.size() - at);
            t.WriteUB1(uint8_t(n));
            t.WriteRaw(value.data() + at, n);
        }
    }
    t.WriteUB1(0);
}

std::string TNetCursor::NotANumberBind() const {
    for (const auto& bp : binds) {
        const TNetBind& b = *bp;
        if (b.dataType != SQLT_FLT || !b.value || (b.valueSize != 4 && b.valueSize != 8)) continue;
        int64_t rows = b.maxArrayLength > 0 ? int64_t(b.maxArrayLength) : int64_t(std::max(iterations, 1));
        for (int64_t r = 0; r < rows; ++r) {
            const uint8_t* ind = Addr(b.indicator, b.indicatorSkip, r);
            if (ind && Load<sb2>(ind) != 0) continue;
            const uint8_t* v = Addr(b.value, b.valueSkip, r);
            double x = b.valueSize == 4 ? double(Load<float>(v)) : Load<double>(v);
            if (std::isnan(x)) return b.name;
        }
    }
    return std::string();
}

void TNetCursor::WriteBindRow(const uint8_t* bindMarks) {
    TNetTransport& t = *transport;
    const int32_t maxInline = connection->maxInlineString;
    t.WriteUB1(7);
    for (size_t i = 0; i < binds.size(); ++i) {
        if (bindMarks && !(i < marks.size() && (bindMarks[i] & bmInput))) continue;
        TNetBind& b = *binds[i];
        int count = b.dataType == 0 ? 0 : 1;
        if (b.maxArrayLength > 0) {
            count = int(b.maxArrayLength);
            t.WriteUB4(b.maxArrayLength);
        }
        for (int e = 0; e < count; ++e) {
            int64_t r = b.maxArrayLength > 0 ? e : writeRowIndex;
            uint8_t* v = Addr(b.value, b.valueSkip, r);
            uint8_t* ind = Addr(b.indicator, b.indicatorSkip, r);
            int type = b.dataType;
            bool isNull = ind && Load<sb2>(ind) != 0 && !IsLong(type) && !IsCursorType(type);
            if (IsLong(type)) {
                if (b.valueSize <= maxInline) WriteLong(b);
                continue; // larger LONG values follow the row's other binds
            }
            std::string tmp;
            const char* data = nullptr;
            size_t len = 0;
            if (!isNull && (v || IsCursorType(type))) {
                switch (type) {
                case SQLT_INT:
                    tmp = IntToNumber(Load<int32_t>(v));
                    break;
                case SQLT_FLT:
                    tmp = b.valueSize == 4 ? FloatToNumber(Load<float>(v)) : FloatToNumber(Load<double>(v));
                    break;
                case SQLT_CUR:
                case SQLT_RSET:
                    tmp.assign(1, '\0');
                    break;
                case SQLT_CLOB:
                case SQLT_BLOB:
                case SQLT_BFILEE: {
                    TNetHandle* h = Load<TNetHandle*>(v);
                    auto* loc = dynamic_cast<TNetLobLocator*>(h);
                    if (loc) tmp = loc->bytes;
                    // A locator the server never filled has no bytes. It goes as a null element (one zero
                    // byte): a zero length followed by an empty string would read as a null element and
                    // leave its last byte behind in the request.
                    if (!tmp.empty() && connection->protocolVersion >= 6) t.WriteUB4(uint32_t(tmp.size()));
                    break;
                }
                case SQLT_CHR:
                case SQLT_STR:
                case SQLT_VNU:
                case SQLT_AVC: {
                    size_t max = b.valueSize > 0 ? size_t(b.valueSize) : 0;
                    const void* z = std::memchr(v, 0, max);
                    len = z ? size_t(static_cast<const uint8_t*>(z) - v) : max;
                    data = reinterpret_cast<const char*>(v);
                    break;
                }
                default: {
                    uint8_t* l = Addr(b.length, b.lengthSkip, r);
                    len = l ? Load<ub2>(l) : size_t(b.valueSize > 0 ? b.valueSize : 0);
                    data = reinterpret_cast<const char*>(v);
                    break;
                }
                }
            }
            if (!data) {
                data = tmp.data();
                len = tmp.size();
            }
            t.WriteBytes(data, len);
        }
    }
    for (size_t i = 0; i < binds.size(); ++i) {
        if (bindMarks && !(i < marks.size() && (bindMarks[i] & bmInput))) continue;
        TNetBind& b = *binds[i];
        if (IsLong(b.dataType) && b.valueSize > maxInline) WriteLong(b);
    }
    ++writeRowIndex;
}

// ---------------------------------------------------------------------------------------------------------
// Row values

// One element of an item: a LOB's length prefix, the value, its indicator, then the conversion into the
// caller's buffers. r is the row (or table element) addressed; store is false for rows nobody asked for.
void TNetCursor::ReadElement(TNetParam& p, int64_t r, bool store, bool fromDefines) {
    TNetTransport& t = *transport;
    const int type = p.dataType;
    uint8_t* v = store ? Addr(p.value, p.valueSkip, r) : nullptr;
    uint8_t* ind = store ? Addr(p.indicator, p.indicatorSkip, r) : nullptr;
    uint8_t* lenp = store ? Addr(p.length, p.lengthSkip, r) : nullptr;
    if (IsLobType(type) && connection && connection->protocolVersion >= 6) {
        if (t.ReadUB4() == 0) {
            sb2 indicator = sb2(t.ReadUB2());
            if (ind) Store<sb2>(ind, indicator);
            return;
        }
    }
    int32_t m = p.valueSize - (IsZeroTerminated(type) ? 1 : 0);
    std::string_view bytes;
    if (!(m <= 0 && (type == SQLT_CHR || IsZeroTerminated(type)))) {
        const uint8_t* d;
        int n;
        if (t.ReadValueInPlace(d, n)) {
            bytes = std::string_view(reinterpret_cast<const char*>(d), size_t(n));
        } else {
            bytes = t.ReadValue(scratch);
            // The indicator follows the value; keep a copy of the bytes when they lie in the packet
            // buffer and the indicator may reach into the next packet, which would overwrite them.
            if (!bytes.empty() && bytes.data() != scratch.data() && t.ReadLen() - t.ReadPos() < 8) {
                scratch.assign(bytes.data(), bytes.size());
                bytes = scratch;
            }
        }
    }
    sb2 indicator = sb2(t.ReadUB2());
    size_t stored = 0;
    if (!bytes.empty() || IsLong(type)) {
        const uint8_t* src = reinterpret_cast<const uint8_t*>(bytes.data());
        switch (type) {
        case SQLT_INT: {
            int32_t iv = NumberToInt(src, bytes.size());
            if (v) {
                if (p.valueSize == 8)
                    Store<int64_t>(v, iv);
                else if (p.valueSize == 2)
                    Store<int16_t>(v, int16_t(iv));
                else if (p.valueSize == 1)
                    Store<int8_t>(v, int8_t(iv));
                else if (p.valueSize >= 4)
                    Store<int32_t>(v, iv);
            }
            stored = bytes.size();
            break;
        }
        case SQLT_FLT: {
            double dv = NumberToFloat(src, bytes.size());
            if (v) {
                if (p.valueSize == 4)
                    Store<float>(v, float(dv));
                else if (p.valueSize >= 8)
                    Store<double>(v, dv);
            }
            stored = bytes.size();
            break;
        }
        case SQLT_LNG:
        case SQLT_LBI: {
            if (store && p.outCallback) {
                size_t at = 0;
                ub1 piece = OCI_ONE_PIECE;
                do {
                    void* buf = nullptr;
                    ub4* alen = nullptr;
                    void* indp = nullptr;
                    ub2* rcode = nullptr;
                    if (fromDefines)
                        reinterpret_cast<OCICallbackDefine>(p.outCallback)(
                            p.outContext, reinterpret_cast<OCIDefine*>(static_cast<TNetHandle*>(&p)),
                            ub4(readRowIndex), &buf, &alen, &piece, &indp, &rcode);
                    else
                        reinterpret_cast<OCICallbackOutBind>(p.outCallback)(
                            p.outContext, reinterpret_cast<OCIBind*>(static_cast<TNetHandle*>(&p)), 0, 0,
                            &buf, &alen, &piece, &indp, &rcode);
                    if (!alen) break; // the callback offers no room: the rest is dropped
                    size_t n = std::min<size_t>(*alen, bytes.size() - at);
                    *alen = ub4(n);
                    if (n > 0 && buf) std::memcpy(buf, src + at, n);
                    if (indp) Store<sb2>(static_cast<uint8_t*>(indp), indicator);
                    if (n == 0 || !buf) break;
                    at += n;
                } while (at < bytes.size());
            }
            stored = 0;
            break;
        }
        case SQLT_CUR:
        case SQLT_RSET: {
            if (v) {
                auto* target = dynamic_cast<TNetCursor*>(Load<TNetHandle*>(v));
                if (target) {
                    if (bytes.size() >= 2 && src[0] == 1) target->cursorId = src[1];
                    target->connection = connection;
                }
            }
            stored = bytes.size();
            break;
        }
        case SQLT_CLOB:
        case SQLT_BLOB:
        case SQLT_BFILEE: {
            if (v) {
                auto* loc = dynamic_cast<TNetLobLocator*>(Load<TNetHandle*>(v));
                if (loc) {
                    loc->bytes.assign(bytes.data(), bytes.size());
                    loc->lobType = uint16_t(type);
                }
            }
            stored = bytes.size();
            break;
        }
        default: {
            int64_t cap = IsZeroTerminated(type) ? int64_t(p.valueSize) - 1 : int64_t(p.valueSize);
            size_t n = std::min<size_t>(bytes.size(), size_t(cap > 0 ? cap : 0));
            if (v) {
                std::memcpy(v, src, n);
                if (IsZeroTerminated(type) && p.valueSize > 0) v[n] = 0;
            }
            stored = n;
            break;
        }
        }
    } else {
        indicator = -1;
        if (v && IsZeroTerminated(type) && p.valueSize > 0) v[0] = 0;
    }
    if (ind) Store<sb2>(ind, indicator);
    if (lenp) Store<ub2>(lenp, ub2(stored));
}

// The plan of the in-place row path: per define the form its values are stored in, chosen from the type
// and the value size once per call instead of once per value. Defines with array lengths, LONG, LOB and
// cursor types, and strings with no room at all, keep the general path for the whole row.
void TNetCursor::PlanRows() {
    rowSlots.assign(defines.size(), TRowSlot{});
    rowsInPlace = (transport->representation[1] & 3) == 1; // the indicator is a variable-length integer
    for (size_t i = 0; i < defines.size(); ++i) {
        const TNetDefine& d = *defines[i];
        TRowSlot& s = rowSlots[i];
        const int type = d.dataType;
        const int32_t size = d.valueSize;
        if (d.maxArrayLength > 0 || IsLong(type) || IsCursorType(type) || IsLobType(type))
            rowsInPlace = false;
        if (type == SQLT_INT) {
            s.kind = !d.value    ? rkSkipNumber
                     : size == 8 ? rkInt64
                     : size == 2 ? rkInt16
                     : size == 1 ? rkInt8
                     : size >= 4 ? rkInt32
                                 : rkSkipNumber;
        } else if (type == SQLT_FLT) {
            s.kind = !d.value ? rkSkipNumber : size == 4 ? rkFloat : size >= 8 ? rkDouble : rkSkipNumber;
        } else {
            const bool zt = IsZeroTerminated(type);
            int64_t m = int64_t(size) - (zt ? 1 : 0);
            if (m <= 0 && (type == SQLT_CHR || zt)) rowsInPlace = false; // such values are not even read
            s.cap = uint32_t(m > 0 ? m : 0);
            s.terminate = zt && size > 0;
            s.kind = !d.value ? rkSkipBytes : s.terminate ? rkText : rkBytes;
        }
        s.valueSkip = d.value ? d.valueSkip : 0;
        s.indicatorSkip = d.indicator ? d.indicatorSkip : 0;
        s.lengthSkip = d.length ? d.lengthSkip : 0;
    }
    slotRow = -1;
    rowPlanReady = true;
}

namespace {

// Copies up to a few dozen bytes with fixed-size moves (overlapping where n is not a power of two); neither
// side is touched outside its n bytes.
inline void CopyBytes(uint8_t* d, const uint8_t* s, size_t n) {
    if (n >= 8) {
        if (n > 16) {
            std::memcpy(d, s, n);
            return;
        }
        uint64_t a, b;
        std::memcpy(&a, s, 8);
        std::memcpy(&b, s + n - 8, 8);
        std::memcpy(d, &a, 8);
        std::memcpy(d + n - 8, &b, 8);
    } else if (n >= 4) {
        uint32_t a, b;
        std::memcpy(&a, s, 4);
        std::memcpy(&b, s + n - 4, 4);
        std::memcpy(d, &a, 4);
        std::memcpy(d + n - 4, &b, 4);
    } else if (n > 0) {
        d[0] = s[0];
        d[n / 2] = s[n / 2];
        d[n - 1] = s[n - 1];
    }
}

} // namespace

// Stores a converted value at the slot's buffers; stored is the received length, cut for copied bytes.
inline void TNetCursor::StoreValue(const TRowSlot& s, const uint8_t* src, unsigned l, sb2 indicator) {
    unsigned stored = l;
    uint8_t* v = reinterpret_cast<uint8_t*>(s.value);
    if (s.kind <= rkText) { // the copied forms first: most columns are text, dates or raw bytes
        if (stored > s.cap) stored = s.cap;
        CopyBytes(v, src, stored);
        if (s.kind == rkText) v[stored] = 0;
    } else
        switch (s.kind) {
        case rkSkipBytes:
            if (stored > s.cap) stored = s.cap;
            break;
        case rkInt32:
            Store<int32_t>(v, ReadNumberInt(src, l));
            break;
        case rkDouble:
            Store<double>(v, ReadNumberFloat(src, l));
            break;
        case rkInt64:
            Store<int64_t>(v, ReadNumberInt(src, l));
            break;
        case rkInt16:
            Store<int16_t>(v, int16_t(ReadNumberInt(src, l)));
            break;
        case rkInt8:
            Store<int8_t>(v, int8_t(ReadNumberInt(src, l)));
            break;
        case rkFloat:
            Store<float>(v, float(ReadNumberFloat(src, l)));
            break;
        default:
            break; // a number with nowhere to go
        }
    if (s.indicator) Store<sb2>(reinterpret_cast<uint8_t*>(s.indicator), indicator);
    if (s.length) Store<ub2>(reinterpret_cast<uint8_t*>(s.length), ub2(stored));
}

// The values the common case of ReadRowInPlace leaves: nulls, indicators other than 0 and values of 255
// bytes when they lie in the packet, and through the general path whatever does not (a value or indicator
// that runs into the next packet, a value sent in pieces). Returns the new read position.
const uint8_t* TNetCursor::ReadSlotValue(size_t i, const uint8_t* p) {
    TNetTransport& t = *transport;
    TRowSlot& s = rowSlots[i];
    int avail;
    const uint8_t* start = t.Pending(avail);
    const ptrdiff_t room = start + avail - p;
    unsigned l = room >= 2 ? p[0] : 254u;
    if (l != 254 && ptrdiff_t(l) + 2 <= room) {
        unsigned il = p[l + 1], k = il & 0x7F;
        if (k <= 4 && ptrdiff_t(l + 2 + k) <= room) {
            uint32_t iv = 0;
            for (unsigned j = 0; j < k; ++j)
                iv = (iv << 8) | p[l + 2 + j];
            if (il & 0x80) iv = 0u - iv;
            if (l == 0) {
                uint8_t* v = reinterpret_cast<uint8_t*>(s.value);
                if (v && s.terminate) v[0] = 0;
                if (s.indicator) Store<sb2>(reinterpret_cast<uint8_t*>(s.indicator), -1);
                if (s.length) Store<ub2>(reinterpret_cast<uint8_t*>(s.length), 0);
            } else {
                StoreValue(s, p + 1, l, sb2(uint16_t(iv)));
            }
            return p + l + 2 + k;
        }
    }
    t.Consume(int(p - start));
    ReadElement(*defines[i], readRowIndex, true, true);
    return t.Pending(avail);
}

// One row of defines whose values are converted straight out of the packet buffer, and with following set
// the rows after it as long as their message type lies in the packet too.
void TNetCursor::ReadRowInPlace(bool following) {
    TNetTransport& t = *transport;
    TRowSlot* const first = rowSlots.data();
    TRowSlot* const last = first + rowSlots.size();
    if (slotRow != readRowIndex) {
        for (size_t i = 0; i < rowSlots.size(); ++i) {
            const TNetDefine& d = *defines[i];
            first[i].value = reinterpret_cast<uintptr_t>(Addr(d.value, d.valueSkip, readRowIndex));
            first[i].indicator =
                reinterpret_cast<uintptr_t>(Addr(d.indicator, d.indicatorSkip, readRowIndex));
            first[i].length = reinterpret_cast<uintptr_t>(Addr(d.length, d.lengthSkip, readRowIndex));
        }
    }
    slotRow = -1; // a row that ends in an error leaves the addresses half advanced
    int avail;
    const uint8_t* p = t.Pending(avail);
    const uint8_t* end = p + avail;
    for (;;) {
        for (TRowSlot* s = first; s != last; ++s) {
            // The common case: a value of 1 to 253 bytes and the indicator 0 (one zero byte) in this packet.
            const ptrdiff_t room = end - p;
            const unsigned l = room >= 2 ? p[0] : 0u;
            if (l - 1u < 253u && ptrdiff_t(l) + 2 <= room && p[l + 1] == 0) {
                StoreValue(*s, p + 1, l, 0);
                p += l + 2;
            } else {
                p = ReadSlotValue(size_t(s - first), p);
                end = t.Pending(avail) + avail;
            }
            s->value += s->valueSkip;
            s->indicator += s->indicatorSkip;
            s->length += s->lengthSkip;
        }
        ++readRowIndex;
        // The next row goes on here when its message type already lies in the packet.
        if (!following || p >= end || *p != 7 || readRowIndex >= fetchRows) break;
        ++p;
    }
    int at;
    t.Consume(int(p - t.Pending(at)));
    slotRow = readRowIndex;
}

void TNetCursor::ReadDefineRows() {
    if (!rowPlanReady || rowSlots.size() != defines.size()) PlanRows();
    if (rowsInPlace && readRowIndex < fetchRows)
        ReadRowInPlace(true);
    else
        ReadRow(true, nullptr);
}

void TNetCursor::ReadRow(bool fromDefines, const uint8_t* bindMarks) {
    TNetTransport& t = *transport;
    if (fromDefines) {
        if (!rowPlanReady || rowSlots.size() != defines.size()) PlanRows();
        if (rowsInPlace && readRowIndex < fetchRows) {
            ReadRowInPlace(false);
            return;
        }
    }
    size_t itemCount = fromDefines ? defines.size() : binds.size();
    // Rows beyond what the caller asked for have no buffer: they are read and dropped.
    const int32_t rowLimit = fromDefines ? fetchRows : iterations;
    for (size_t i = 0; i < itemCount; ++i) {
        TNetParam& p =
            fromDefines ? static_cast<TNetParam&>(*defines[i]) : static_cast<TNetParam&>(*binds[i]);
        if (!fromDefines && bindMarks && !(i < marks.size() && (bindMarks[i] & bmOutput))) continue;
        int64_t count = 1;
        if (p.maxArrayLength > 0) {
            count = t.ReadUB4();
            if (p.currentCount)
                *p.currentCount = ub4(count < 0 ? 0 : std::min<int64_t>(count, p.maxArrayLength));
        }
        for (int64_t e = 0; e < count; ++e) {
            int64_t r = p.maxArrayLength > 0 ? e : readRowIndex;
            bool store = p.maxArrayLength > 0 ? e < int64_t(p.maxArrayLength) : r < rowLimit;
            ReadElement(p, r, store, fromDefines);
        }
    }
    ++readRowIndex;
}

void TNetCursor::ReadRowHeader() {
    TNetTransport& t = *transport;
    t.ReadUB1();
    if (connection->Version8())
        t.ReadUB2();
    else
        t.ReadUB1();
    t.ReadUB2();
    t.ReadUB2();
    if (t.ReadUB2() != 0) throw EDBError(40);
}

void TNetCursor::ReadBindVector() {
    TNetTransport& t = *transport;
    t.ReadUB1();
    int n = connection->Version8() ? t.ReadUB2() : t.ReadUB1();
    t.ReadUB2(), t.ReadUB2(), t.ReadUB2();
    marks.assign(binds.size(), 0);
    bool anyInput = false;
    for (int i = 0; i < n; ++i) {
        uint8_t m = t.ReadUB1();
        if (m == 0) throw EDBError(1);
        if (size_t(i) < marks.size()) {
            marks[size_t(i)] = m;
            anyInput = anyInput || (m & bmInput);
        }
    }
    marksValid = true;
    if (n <= 0) return;
    if (anyInput) {
        writeRowIndex = 0;
        for (int32_t i = 0; i < iterations; ++i)
            WriteBindRow(marks.data());
    } else {
        if (t.ReadUB1() != 7) throw EDBError(1);
        ReadRow(false, marks.data());
    }
}

} // namespace oranet
