// LOBs over the current protocol generation: the define that makes the server send LOB columns as locators
// with their length and chunk size, the LOB call (function 96) with its operations, and the call-interface
// LOB functions on top of it.
//
// CLOB text travels in UTF-8, or in UTF-16 big-endian when the column is national or the locator says its
// character set has characters of varying width (how a server in AL32UTF8 keeps CLOBs); offsets and amounts
// count characters in UTF-16 code units, BLOB offsets and amounts count bytes. The core keeps Windows-1252:
// one byte per code unit, so a character outside the Basic Multilingual Plane shows as "??" and offsets stay
// in step with the server's.
#include "dataset/Cp1252.h"
#include "oranet/NetCalls.h"
#include "oranet/NetErrors.h"
#include "oranet/NetHandles.h"
#include "oranet/NetSession315.h"
#include "oranet/NetTransport.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <stdexcept>

namespace oranet {

namespace {

enum : uint32_t {
    exDefine = 0x10,
    exNotPlSql = 0x8000,
};
constexpr uint32_t MaxLong = 0x7FFFFFFF;
// The continuation flag of a LOB define: the length and chunk size come with each locator.
constexpr uint32_t LobPrefetch = 0x2000000;
constexpr uint32_t UseIndicators = 0x01;
constexpr uint32_t RowidTextSize = 5267;
constexpr uint32_t DurationSession = 10;
constexpr uint16_t CharsetUtf8 = 873, CharsetUtf16 = 2000;
constexpr uint8_t LocatorFlags3 = 6;      // the locator byte with the character-set flags
constexpr uint8_t VarWidthCharset = 0x80; // ... its text travels in UTF-16
// The most a single LOB call moves: characters of a CLOB, bytes of a BLOB.
constexpr uint32_t MaxPerCall = 1u << 20;

bool IsLobType(uint8_t type) {
    return type == 112 || type == 113;
}

} // namespace

void TLobValue::Pack(std::string& out, uint64_t length, uint32_t chunkSize, const std::string& locator) {
    out.clear();
    for (int i = 7; i >= 0; --i)
        out.push_back(char(length >> (8 * i)));
    for (int i = 3; i >= 0; --i)
        out.push_back(char(chunkSize >> (8 * i)));
    out += locator;
}

bool TLobValue::Unpack(const std::string& packed, TLobValue& out) {
    if (packed.size() < 12) return false;
    out.length = 0, out.chunkSize = 0;
    for (int i = 0; i < 8; ++i)
        out.length = (out.length << 8) | uint8_t(packed[size_t(i)]);
    for (int i = 8; i < 12; ++i)
        out.chunkSize = (out.chunkSize << 8) | uint8_t(packed[size_t(i)]);
    out.locator.assign(packed, 12);
    return true;
}

size_t LobTextToCp1252(std::string_view raw, bool utf16, std::string& out) {
    out.clear();
    out.reserve(utf16 ? raw.size() / 2 : raw.size());
    size_t substituted = 0;
    auto put = [&](char32_t u) {
        char c = cp1252::FromUnicode(u);
        if (c == '?' && u != U'?') ++substituted;
        out.push_back(c);
    };
    if (utf16) {
        for (size_t i = 0; i + 1 < raw.size(); i += 2) {
            char16_t u = char16_t((uint8_t(raw[i]) << 8) | uint8_t(raw[i + 1]));
            if (u >= 0xD800 && u < 0xE000)
                out.push_back('?'), ++substituted; // each half of a pair: one code unit, one '?'
            else
                put(u);
        }
        if (raw.size() % 2) out.push_back('?'), ++substituted;
        return substituted;
    }
    for (size_t i = 0; i < raw.size();) {
        uint8_t c = uint8_t(raw[i]);
        if (c < 0x80) {
            out.push_back(char(c));
            ++i;
            continue;
        }
        size_t n = c >= 0xF0 && c < 0xF8 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 0;
        bool ok = n > 0 && i + n <= raw.size();
        char32_t u = ok ? char32_t(c & (0x7F >> n)) : 0;
        for (size_t k = 1; ok && k < n; ++k) {
            uint8_t t = uint8_t(raw[i + k]);
            ok = (t & 0xC0) == 0x80;
            u = (u << 6) | (t & 0x3F);
        }
        if (!ok) {
            out.push_back('?'), ++substituted;
            ++i;
            continue;
        }
        if (u >= 0x10000)
            out.append("??"), ++substituted; // two code units on the server's count
        else
            put(u);
        i += n;
    }
    return substituted;
}

std::string Cp1252ToLobText(std::string_view text, bool utf16) {
    if (!utf16) return cp1252::ToUtf8(std::string(text));
    std::string out;
    out.reserve(text.size() * 2);
    for (char c : text) {
        char16_t u = cp1252::ToUnicode(uint8_t(c));
        out.push_back(char(u >> 8));
        out.push_back(char(u));
    }
    return out;
}

TCallEnd TCurrentSession::Define(uint32_t cursorId, std::vector<TColumnInfo>& columns) {
    FunctionHeader(fnExecute);
    out_.UB4(exDefine | exNotPlSql);
    out_.UB4(cursorId);
    out_.U8(0), out_.UB4(0); // no statement text: the cursor holds it
    out_.U8(1);
    out_.UB4(13); // the al8i4 vector
    out_.U8(0), out_.U8(0);
    out_.U8(0);
    out_.UB4(0); // rows come with the fetches
    out_.UB4(MaxLong);
    out_.U8(0), out_.UB4(0); // no binds
    out_.U8(0), out_.U8(0), out_.U8(0), out_.U8(0), out_.U8(0);
    out_.U8(1), out_.UB4(uint32_t(columns.size()));
    out_.UB4(0);
    out_.U8(0), out_.U8(1), out_.U8(0), out_.UB4(0);
    out_.U8(0), out_.UB4(0), out_.UB4(0);
    out_.U8(0), out_.UB4(0), out_.U8(0);
    if (server_.fieldVersion >= 8) {
        out_.U8(0), out_.UB4(0), out_.U8(0), out_.UB4(0), out_.U8(0);
        if (server_.fieldVersion >= 9) out_.U8(0), out_.UB4(0);
    }
    out_.UB4(0); // no parse
    for (int i = 1; i <= 6; ++i)
        out_.UB4(0);
    out_.UB4(1); // a query
    for (int i = 8; i <= 12; ++i)
        out_.UB4(0);
    for (TColumnInfo& c : columns) {
        uint8_t type = c.type;
        uint32_t size = c.maxSize;
        uint32_t flags = 0;
        uint8_t form = c.charsetForm;
        if (type == 11 || type == 208) {
            type = 1; // ROWID and UROWID as their text
            size = RowidTextSize;
        } else if (c.defineAsText) {
            type = 1;
            form = 1;
            // two hexadecimal digits a byte; a date in any format picture fits 255 characters of 4 bytes
            size = c.type == 23 ? std::max<uint32_t>(size, 1) * 2 : 1020;
        } else if (type == 8 || type == 24) {
            size = MaxLong;
        } else if (IsLobType(type)) {
            flags = LobPrefetch;
        } else if (c.charsetForm == 2) {
            size = uint32_t(std::min<uint64_t>(uint64_t(size) * 4, MaxLong)); // a server refuses less room
        }
        if (size == 0) size = 1;
        c.defineSize = size;
        out_.U8(type);
        out_.U8(UseIndicators);
        out_.U8(0), out_.U8(0);
        out_.UB4(size);
        out_.UB4(0); // not an array
        out_.UB4(flags);
        out_.UB4(0); // no type OID
        out_.UB2(0);
        out_.UB2(form != 0 ? CharsetUtf8 : 0);
        out_.U8(form);
        out_.UB4(0); // no LOB data prefetched
        if (server_.fieldVersion >= 8) out_.UB4(0);
    }
    Send();
    TCallEnd end;
    for (;;) {
        const uint8_t type = in_.U8();
        switch (type) {
        case ttcParameter:
            ReadReturnParameter();
            break;
        default:
            if (!ReadCommonMessage(type, end)) throw EDBError(1);
            if (end.ended) return end;
            break;
        }
    }
}

void TCurrentSession::ReadLobColumn(std::string& value) {
    value.clear();
    const uint32_t size = in_.UB4();
    if (size == 0) return;
    if (size > MaxLobLocator) throw EDBError(1);
    const uint64_t length = in_.UB8();
    const uint32_t chunk = in_.UB4();
    std::string locator;
    in_.BytesWithLength(locator, MaxLobLocator);
    if (locator.size() != size) throw EDBError(1); // a locator of another length than announced
    TLobValue::Pack(value, length, chunk, locator);
}

TCallEnd TCurrentSession::Lob(TLobCall& call) {
    const bool create = call.operation == lobCreateTemp;
    const std::string* loc = call.locator;
    FunctionHeader(fnLobOp);
    out_.U8(loc ? 1 : 0);
    out_.UB4(loc ? uint32_t(loc->size()) : 0);
    out_.U8(0); // no destination locator
    out_.UB4(call.destinationLength);
    out_.UB4(0), out_.UB4(0);
    out_.U8(create ? 1 : 0); // the character set comes back
    out_.U8(0);
    out_.U8(create ? 1 : 0); // so does a flag
    out_.UB4(call.operation);
    out_.U8(0), out_.U8(0);
    out_.UB8(call.sourceOffset);
    out_.UB8(call.destinationOffset);
    out_.U8(call.sendAmount ? 1 : 0);
    out_.U16BE(0), out_.U16BE(0), out_.U16BE(0);
    if (loc) out_.Raw(loc->data(), loc->size());
    if (create) out_.UB4(call.charset);
    if (call.data) {
        out_.U8(ttcLobData);
        out_.BytesWithLength(*call.data);
    }
    if (call.sendAmount) out_.UB8(call.amount);
    Send();

    TCallEnd end;
    if (call.received) call.received->clear();
    for (;;) {
        const uint8_t type = in_.U8();
        switch (type) {
        case ttcLobData:
            // Only a read gets data, and never more than it can hold.
            if (!call.received || !call.received->empty()) throw EDBError(1);
            in_.BytesWithLength(*call.received, call.receivedLimit);
            break;
        case ttcParameter:
            if (loc) *call.locator = in_.Raw(loc->size());
            if (create) {
                in_.UB2(); // character set
                in_.U8();
            } else if (call.sendAmount) {
                call.amount = in_.UB8();
            }
            break;
        default:
            if (!ReadCommonMessage(type, end)) throw EDBError(1);
            if (end.ended) return end;
            break;
        }
    }
}

// ---------------------------------------------------------------------------------------------------------
// The call-interface functions

namespace {

bool IsText(const TNetLobLocator& loc) {
    return loc.lobType != oracall::SQLT_BLOB;
}

bool TravelsInUtf16(const TNetLobLocator& loc) {
    return loc.charsetForm == 2 ||
           (loc.bytes.size() > LocatorFlags3 && (uint8_t(loc.bytes[LocatorFlags3]) & VarWidthCharset));
}

sword Refused(const TCallEnd& end, TNetErrorHandle* err) {
    if (err) err->code = int32_t(end.code), err->message = cp1252::FromUtf8(end.message);
    return -1;
}

// Runs one LOB operation on the connection's session; the locator must be one the server gave out.
TCallEnd Run(TNetConnection& c, TNetLobLocator& loc, TLobCall& call) {
    if (!c.current) throw std::runtime_error("Not connected");
    if (loc.bytes.empty()) throw std::runtime_error("LOB locator is not initialized");
    TNetOperation operation(c.transport.get());
    call.locator = &loc.bytes;
    return c.current->Lob(call);
}

} // namespace

sword TNetLobLocator::GetAttribute(void* target, ub4*, TNetErrorHandle*, ub4 attr) {
    if (!target || attr != NET_ATTR_SUBSTITUTED_VALUES) return -2;
    std::memcpy(target, &substitutedValues, sizeof substitutedValues);
    return 0;
}

sword CurrentLobLength(TNetConnection& c, TNetLobLocator& loc, ub4* length, TNetErrorHandle* err) {
    try {
        TLobCall call;
        call.operation = lobGetLength;
        call.sendAmount = true;
        TCallEnd end = Run(c, loc, call);
        if (end.code != 0) return Refused(end, err);
        if (call.amount > std::numeric_limits<ub4>::max()) throw std::runtime_error("LOB is too long");
        loc.length = call.amount;
        if (length) *length = ub4(call.amount);
        return 0;
    } catch (const std::exception& e) {
        return MapNetError(e, err);
    }
}

sword CurrentLobRead(TNetConnection& c, TNetLobLocator& loc, ub4* amount, ub4 offset, void* buffer, ub4 size,
                     TNetErrorHandle* err) {
    try {
        if (offset == 0) throw std::runtime_error("LOB offsets start at 1");
        const bool text = IsText(loc), utf16 = text && TravelsInUtf16(loc);
        auto* out = static_cast<uint8_t*>(buffer);
        ub4 done = 0;
        std::string raw, converted;
        bool substituted = false;
        while (done < size) {
            const uint32_t ask = std::min<uint32_t>(size - done, MaxPerCall);
            TLobCall call;
            call.operation = lobRead;
            call.sourceOffset = uint64_t(offset) + done;
            call.sendAmount = true;
            call.amount = ask;
            call.received = &raw;
            // A code unit is at most three bytes of UTF-8 (a pair of them four), two of UTF-16.
            call.receivedLimit = !text ? ask : utf16 ? size_t(ask) * 2 : size_t(ask) * 3;
            TCallEnd end = Run(c, loc, call);
            if (end.code == 1403) break; // read past the end
            if (end.code != 0) return Refused(end, err);
            const std::string* piece = &raw;
            if (text) {
                substituted |= LobTextToCp1252(raw, utf16, converted) > 0;
                piece = &converted;
            }
            // What the server sent is believed only up to what was asked for.
            if (piece->size() > ask) throw EDBError(1);
            if (out && !piece->empty()) std::memcpy(out + done, piece->data(), piece->size());
            done += ub4(piece->size());
            if (piece->size() < ask) break; // the end of the LOB
        }
        if (substituted) loc.substitutedValues = 1;
        if (amount) *amount = done;
        return 0;
    } catch (const std::exception& e) {
        return MapNetError(e, err);
    }
}

sword CurrentLobWrite(TNetConnection& c, TNetLobLocator& loc, ub4* amount, ub4 offset, const void* buffer,
                      ub4 size, TNetErrorHandle* err) {
    try {
        if (offset == 0) throw std::runtime_error("LOB offsets start at 1");
        if (!buffer && size > 0) throw std::runtime_error("No data to write");
        const bool text = IsText(loc), utf16 = text && TravelsInUtf16(loc);
        const auto* in = static_cast<const char*>(buffer);
        ub4 done = 0;
        std::string piece;
        while (done < size) {
            const uint32_t n = std::min<uint32_t>(size - done, MaxPerCall);
            std::string_view part(in + done, n);
            piece = text ? Cp1252ToLobText(part, utf16) : std::string(part);
            TLobCall call;
            call.operation = lobWrite;
            call.sourceOffset = uint64_t(offset) + done;
            call.data = &piece;
            TCallEnd end = Run(c, loc, call);
            if (end.code != 0) {
                if (amount) *amount = done;
                return Refused(end, err);
            }
            done += n;
        }
        if (amount) *amount = done;
        return 0;
    } catch (const std::exception& e) {
        return MapNetError(e, err);
    }
}

sword CurrentLobTrim(TNetConnection& c, TNetLobLocator& loc, ub4 length, TNetErrorHandle* err) {
    try {
        TLobCall call;
        call.operation = lobTrim;
        call.sendAmount = true;
        call.amount = length;
        TCallEnd end = Run(c, loc, call);
        if (end.code != 0) return Refused(end, err);
        loc.length = length;
        return 0;
    } catch (const std::exception& e) {
        return MapNetError(e, err);
    }
}

sword CurrentLobCreateTemporary(TNetConnection& c, TNetLobLocator& loc, ub1 form, ub1 lobType,
                                TNetErrorHandle* err) {
    try {
        if (lobType != oracall::SQLT_CLOB && lobType != oracall::SQLT_BLOB)
            throw std::runtime_error("Temporary LOBs are CLOBs or BLOBs");
        const bool national = lobType == oracall::SQLT_CLOB && form == 2;
        loc.bytes.assign(40, '\0'); // the room the server fills with the new locator
        TLobCall call;
        call.operation = lobCreateTemp;
        call.sourceOffset = lobType == oracall::SQLT_CLOB ? (national ? 2 : 1) : 0;
        call.destinationOffset = lobType;
        call.destinationLength = DurationSession;
        call.charset = national ? CharsetUtf16 : CharsetUtf8;
        TCallEnd end = Run(c, loc, call);
        if (end.code != 0) {
            loc.bytes.clear();
            return Refused(end, err);
        }
        loc.lobType = lobType;
        loc.charsetForm = national ? 2 : 1;
        loc.length = 0;
        return 0;
    } catch (const std::exception& e) {
        loc.bytes.clear();
        return MapNetError(e, err);
    }
}

} // namespace oranet
