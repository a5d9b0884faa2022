// The statement handle over the current protocol generation: execute and fetch through the session's calls,
// the select list turned into the columns the call-interface layer describes, and each value stored into
// the define's buffer in the define's external type. Text arrives in UTF-8 (AL16UTF16 for the national
// character set) and is converted to Windows-1252 here; a character 1252 lacks becomes '?' and the value is
// counted in substitutedValues.
#include "dataset/ByteIO.h"
#include "dataset/Cp1252.h"
#include "oranet/NetBind315.h"
#include "oranet/NetErrors.h"
#include "oranet/NetHandles.h"
#include "oranet/NetSession315.h"
#include "oranet/NetTypes315.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace oranet {

using namespace oracall;

bool CurrentTypeSupported(uint8_t type);
bool BuildCurrentBinds(TNetCursor& cursor, uint32_t rows, bool describeOnly, TCallBinds& out,
                       std::vector<TEncodedBind>& encoded, std::string& refusal);

namespace {

uint8_t* At(void* base, uint32_t skip, int64_t row) {
    return base ? static_cast<uint8_t*>(base) + row * int64_t(skip) : nullptr;
}

// The decimal text of a NUMBER form ("-12.5", "0.001", "300").
std::string NumberText(const std::string& raw) {
    bool negative = false;
    int e = 0, count = 0;
    int digits[40];
    if (!DecodeNumber(reinterpret_cast<const uint8_t*>(raw.data()), raw.size(), negative, e, digits, count))
        return "0";
    std::string pairs;
    for (int i = 0; i < count; ++i) {
        int d = std::clamp(digits[i], 0, 99);
        pairs.push_back(char('0' + d / 10));
        pairs.push_back(char('0' + d % 10));
    }
    int point = 2 * (e + 1); // digits before the decimal point
    std::string whole, fraction;
    if (point <= 0) {
        fraction = std::string(size_t(-point), '0') + pairs;
    } else if (size_t(point) >= pairs.size()) {
        whole = pairs + std::string(size_t(point) - pairs.size(), '0');
    } else {
        whole = pairs.substr(0, size_t(point));
        fraction = pairs.substr(size_t(point));
    }
    size_t nz = whole.find_first_not_of('0');
    whole = nz == std::string::npos ? "0" : whole.substr(nz);
    while (!fraction.empty() && fraction.back() == '0')
        fraction.pop_back();
    return (negative ? "-" : "") + whole + (fraction.empty() ? "" : "." + fraction);
}

} // namespace

bool ServerTextToCp1252(const std::string& raw, bool national, std::string& out) {
    if (!national) {
        // Plain ASCII, by far the most common text, is the same in both.
        bool ascii = true;
        for (char c : raw)
            ascii = ascii && (uint8_t(c) < 0x80);
        if (ascii) {
            out.assign(raw);
            return false;
        }
    }
    if (national) {
        std::u16string u;
        for (size_t i = 0; i + 1 < raw.size(); i += 2)
            u.push_back(char16_t((uint8_t(raw[i]) << 8) | uint8_t(raw[i + 1])));
        out = cp1252::FromUtf16(u);
        return cp1252::ToUtf16(out) != u;
    }
    out = cp1252::FromUtf8(raw);
    return cp1252::ToUtf8(out) != raw;
}

namespace {

template <class T> void Put(uint8_t* p, T v) {
    std::memcpy(p, &v, sizeof v);
}

// A LOB column's value into the locator whose pointer the define's buffer holds.
void StoreLocator(uint8_t* slot, const std::string* raw, int type, uint8_t form) {
    if (!slot) return;
    TNetHandle* h = nullptr;
    std::memcpy(&h, slot, sizeof h);
    auto* loc = dynamic_cast<TNetLobLocator*>(h);
    if (!loc) return;
    TLobValue value;
    if (!raw || !TLobValue::Unpack(*raw, value)) {
        loc->bytes.clear();
        loc->length = 0;
        return;
    }
    loc->bytes = std::move(value.locator);
    loc->length = value.length;
    loc->chunkSize = value.chunkSize;
    loc->lobType = uint16_t(type);
    loc->charsetForm = form;
    loc->substitutedValues = 0;
}

// A LONG or LONG RAW value handed to the define's callback a piece at a time, as large as it offers room
// for; NULL (raw absent) sets the indicator only.
void DeliverLongPieces(TNetDefine& d, uint32_t row, const std::string* raw) {
    const sb2 indicator = raw ? 0 : -1;
    const size_t total = raw ? raw->size() : 0;
    size_t at = 0;
    do {
        void* buf = nullptr;
        ub4* alen = nullptr;
        void* indp = nullptr;
        ub2* rcode = nullptr;
        ub1 piece = OCI_ONE_PIECE;
        reinterpret_cast<OCICallbackDefine>(d.outCallback)(
            d.outContext, reinterpret_cast<OCIDefine*>(static_cast<TNetHandle*>(&d)), row, &buf, &alen,
            &piece, &indp, &rcode);
        if (!alen) break; // the callback offers no room: the rest is dropped
        size_t n = std::min<size_t>(*alen, total - at);
        *alen = ub4(n);
        if (n > 0 && buf) std::memcpy(buf, raw->data() + at, n);
        if (indp) Put<sb2>(static_cast<uint8_t*>(indp), indicator);
        if (n == 0 || !buf) break;
        at += n;
    } while (at < total);
}

} // namespace

sword TNetCursor::AdoptCurrentColumns(const std::vector<TColumnInfo>& described, TNetErrorHandle* err) {
    columns.clear();
    currentMaxSizes.clear();
    currentForms.clear();
    currentTypes.clear();
    for (const TColumnInfo& c : described) {
        if (!CurrentTypeSupported(c.type)) {
            if (err)
                err->code = -1, err->message = cp1252::FromUtf8("Datentyp wird nicht unterstützt") + " (" +
                                               std::to_string(c.type) + ")";
            return -1;
        }
        auto col = std::make_unique<TNetColumn>(this);
        col->name = cp1252::FromUtf8(c.name);
        col->dataType = c.type;
        col->dataSize =
            uint16_t(std::min<uint32_t>(c.type == 1 || c.type == 96 ? c.size : c.maxSize, 0xFFFF));
        col->precision = uint16_t(uint8_t(c.precision));
        col->scale = c.scale;
        if (CurrentTypeAsText(c.type)) {
            // Shown as text made here, exact to the last digit; the layer sees a VARCHAR2 of its width.
            col->dataType = 1;
            col->dataSize = uint16_t(std::min<uint32_t>(CurrentTextWidth(c.type, c.maxSize), 0xFFFF));
            col->precision = 0;
            col->scale = 0;
        }
        col->nullable = c.nullable ? 1 : 0;
        columns.push_back(std::move(col));
        currentMaxSizes.push_back(c.maxSize);
        currentForms.push_back(c.charsetForm);
        currentTypes.push_back({c.type, c.precision, c.scale});
    }
    currentDefineSizes.assign(columns.size(), 0);
    currentTextDefinesChecked = false;
    return 0;
}

sword TNetCursor::ExecuteCurrent(uint32_t mode, uint32_t iters, TNetErrorHandle* err) {
    TCurrentSession& s = *connection->current;
    const bool query = statementType == 1;
    const bool describeOnly = (mode & OCI_DESCRIBE_ONLY) != 0;
    TCallBinds callBinds;
    std::vector<TEncodedBind> encoded;
    std::string refusal;
    if (!BuildCurrentBinds(*this, query || IsPlSql() ? 1 : std::max<uint32_t>(iters, 1), describeOnly,
                           callBinds, encoded, refusal)) {
        if (err)
            err->code = refusal.rfind("ORA-", 0) == 0 ? std::atoi(refusal.c_str() + 4) : -1,
            err->message = refusal;
        return -1;
    }
    std::vector<TColumnInfo> described;
    // A cursor is parsed again when its text changed since (and for statements the analysis does not know,
    // DDL among them, every time).
    if (cursorId != 0 && (currentParsedText != statementText || statementType == 0 || describeOnly)) {
        s.CloseCursorLater(uint32_t(cursorId));
        cursorId = 0;
    }
    uint32_t id = uint32_t(cursorId);
    TCallEnd end = s.Execute(id, cp1252::ToUtf8(statementText), query, IsPlSql(), describeOnly, described,
                             callBinds.descs.empty() ? nullptr : &callBinds);
    cursorId = int32_t(id);
    currentParsedText = cursorId != 0 ? statementText : std::string();
    parseErrorOffset = end.offset > 0 ? uint16_t(end.offset) : 0;
    rowCount = int32_t(end.rows);
    std::memcpy(rowidImage, end.rowid, sizeof rowidImage);
    serverCommandType = statementType == 1   ? 3
                        : statementType == 2 ? 6
                        : statementType == 3 ? 7
                        : statementType == 4 ? 2
                        : IsPlSql()          ? 47
                                             : 0;
    if (end.code != 0) {
        if (err) err->code = int32_t(end.code), err->message = cp1252::FromUtf8(end.message);
        return -1;
    }
    if (!described.empty() && AdoptCurrentColumns(described, err) != 0) return -1;
    currentDefineSizes.assign(columns.size(), 0);
    // LOB columns reach the client only once it has defined them (as locators with length and chunk size).
    if (query && !describeOnly && std::any_of(described.begin(), described.end(), [](auto& c) {
            return c.type == 112 || c.type == 113;
        })) {
        TCallEnd defined = s.Define(id, described);
        if (defined.code != 0) {
            if (err) err->code = int32_t(defined.code), err->message = cp1252::FromUtf8(defined.message);
            return -1;
        }
        for (size_t i = 0; i < described.size() && i < currentDefineSizes.size(); ++i)
            currentDefineSizes[i] = described[i].defineSize;
    }
    if (mode & OCI_COMMIT_ON_SUCCESS) return connection->Commit(err);
    return end.warningCode != 0 ? 1 : 0;
}

sword TNetCursor::FetchCurrent(uint32_t rows, TNetErrorHandle* err) {
    TCurrentSession& s = *connection->current;
    if (cursorId == 0 || columns.empty()) throw std::runtime_error("Statement is not executed");
    if (!currentTextDefinesChecked) {
        // DATE and RAW columns the caller defines as text are converted by the server, as its session's
        // NLS settings say: the columns are defined so before the first rows come.
        std::vector<TColumnInfo> described(columns.size());
        bool needed = false;
        for (size_t i = 0; i < described.size(); ++i) {
            TColumnInfo& c = described[i];
            c.type = currentTypes[i].type;
            c.maxSize = currentMaxSizes[i];
            c.charsetForm = currentForms[i];
            const int t = i < defines.size() && defines[i] ? defines[i]->dataType : 0;
            const bool textDefine = t == SQLT_STR || t == SQLT_CHR || t == SQLT_AVC || t == SQLT_AFC;
            c.defineAsText = textDefine && (c.type == 12 || c.type == 23);
            needed |= c.defineAsText;
        }
        if (needed) {
            TCallEnd defined = s.Define(uint32_t(cursorId), described);
            if (defined.code != 0) {
                if (err) err->code = int32_t(defined.code), err->message = cp1252::FromUtf8(defined.message);
                return -1;
            }
            for (size_t i = 0; i < described.size(); ++i) {
                currentDefineSizes[i] = described[i].defineSize;
                if (described[i].defineAsText) currentTypes[i].type = 1, currentForms[i] = 1;
            }
        }
        currentTextDefinesChecked = true;
    }
    std::vector<TColumnInfo> cols(columns.size());
    for (size_t i = 0; i < cols.size(); ++i) {
        cols[i].type = currentTypes[i].type;
        cols[i].maxSize = currentMaxSizes[i];
        cols[i].charsetForm = currentForms[i];
        if (i < currentDefineSizes.size()) cols[i].defineSize = currentDefineSizes[i];
        // a universal ROWID the define asked for as text arrives as text
        if (cols[i].type == 208 && cols[i].defineSize != 0) cols[i].type = 1;
    }
    std::string text, valueError;
    size_t errorColumn = 0;
    const int zoneMinutes = s.Server().zoneMinutes;
    bool lobMismatch = false;
    auto sink = [&](uint32_t row, size_t col, const std::string* raw) {
        if (col >= defines.size() || !defines[col]) return;
        TNetDefine& d = *defines[col];
        uint8_t* v = At(d.value, d.valueSkip, row);
        uint8_t* ind = At(d.indicator, d.indicatorSkip, row);
        uint8_t* len = At(d.length, d.lengthSkip, row);
        const int type = d.dataType;
        const bool zt = type == SQLT_STR || type == SQLT_AVC;
        size_t stored = 0;
        const bool lobColumn = cols[col].type == 112 || cols[col].type == 113;
        if (lobColumn != (type == SQLT_CLOB || type == SQLT_BLOB)) {
            // A locator only fits a locator define; the reply is read to its end and then refused.
            lobMismatch = true;
            if (ind) Put<sb2>(ind, -1);
            return;
        }
        if (lobColumn) {
            StoreLocator(v, raw, type, cols[col].charsetForm);
            if (ind) Put<sb2>(ind, raw ? 0 : -1);
            if (len) Put<ub2>(len, 0);
            return;
        }
        if ((type == SQLT_LNG || type == SQLT_LBI) && d.outCallback) {
            std::string longText;
            const std::string* bytes = raw;
            if (raw && cols[col].type == 8) {
                if (ServerTextToCp1252(*raw, cols[col].charsetForm == 2, longText)) ++substitutedValues;
                bytes = &longText;
            }
            DeliverLongPieces(d, row, bytes);
            return;
        }
        if (!raw) {
            if (v && zt && d.valueSize > 0) v[0] = 0;
            if (ind) Put<sb2>(ind, -1);
            if (len) Put<ub2>(len, 0);
            return;
        }
        const uint8_t colType = cols[col].type;
        const bool number = colType == 2;
        const bool binary = colType == wireBinaryFloat || colType == wireBinaryDouble;
        // A value no server sends is stored as NULL and the fetch ends with an error naming the column;
        // the rest of the reply is read, so the connection stays usable.
        auto refuse = [&](const std::string& why) {
            if (valueError.empty()) valueError = why, errorColumn = col;
            if (v && zt && d.valueSize > 0) v[0] = 0;
            if (ind) Put<sb2>(ind, -1);
            if (len) Put<ub2>(len, 0);
        };
        // National text comes in two-byte units: an odd length is no such text.
        if ((colType == 1 || colType == 96 || colType == 8) && cols[col].charsetForm == 2 &&
            raw->size() % 2 != 0)
            return refuse("falsche Länge " + std::to_string(raw->size()));
        double binaryValue = 0;
        if (binary && !BinaryFloatValue(colType, *raw, binaryValue))
            return refuse("falsche Länge " + std::to_string(raw->size()));
        if (CurrentTypeAsText(colType)) {
            std::string why;
            if (!CurrentValueText(currentTypes[col], zoneMinutes, *raw, text, why)) return refuse(why);
        }
        auto copy = [&](const std::string& bytes) {
            int64_t cap = zt ? int64_t(d.valueSize) - 1 : int64_t(d.valueSize);
            size_t n = std::min<size_t>(bytes.size(), size_t(cap > 0 ? cap : 0));
            if (v) {
                if (n > 0) std::memcpy(v, bytes.data(), n);
                if (zt && d.valueSize > 0) v[n] = 0;
            }
            stored = n;
        };
        switch (type) {
        case SQLT_INT: {
            double x = number   ? NumberToFloat(reinterpret_cast<const uint8_t*>(raw->data()), raw->size())
                       : binary ? binaryValue
                                : 0;
            int64_t iv = std::isfinite(x) ? int64_t(x) : 0;
            if (v) {
                if (d.valueSize == 8)
                    Put<int64_t>(v, iv);
                else if (d.valueSize == 2)
                    Put<int16_t>(v, int16_t(iv));
                else if (d.valueSize == 1)
                    Put<int8_t>(v, int8_t(iv));
                else if (d.valueSize >= 4)
                    Put<int32_t>(v, int32_t(iv));
            }
            stored = size_t(d.valueSize);
            break;
        }
        case SQLT_FLT: {
            double x = number   ? NumberToFloat(reinterpret_cast<const uint8_t*>(raw->data()), raw->size())
                       : binary ? binaryValue
                                : 0;
            if (v) {
                if (d.valueSize == 4)
                    Put<float>(v, float(x));
                else if (d.valueSize >= 8)
                    Put<double>(v, x);
            }
            stored = size_t(d.valueSize);
            break;
        }
        case SQLT_STR:
        case SQLT_CHR:
        case SQLT_AFC:
        case SQLT_AVC:
        case SQLT_LNG:
            if (number) {
                copy(NumberText(*raw));
            } else if (binary) {
                copy(BinaryFloatText(colType, binaryValue));
            } else if (CurrentTypeAsText(colType)) {
                copy(text);
            } else if (colType == 1 || colType == 96 || colType == 8) {
                if (ServerTextToCp1252(*raw, cols[col].charsetForm == 2, text)) ++substitutedValues;
                copy(text);
            } else {
                copy(*raw);
            }
            break;
        default:
            copy(CurrentTypeAsText(colType) ? text : *raw); // DATE forms, RAW, ROWID text: as they are
            break;
        }
        if (ind) Put<sb2>(ind, 0);
        if (len) Put<ub2>(len, ub2(std::min<size_t>(stored, 0xFFFF)));
    };
    uint32_t got = 0;
    TCallEnd end = currentRefCursorFresh ? s.FirstFetch(uint32_t(cursorId), rows, cols, sink, got)
                                         : s.Fetch(uint32_t(cursorId), rows, cols, sink, got);
    currentRefCursorFresh = false;
    rowCount = int32_t(end.rows);
    if (lobMismatch) {
        if (err) err->code = -1, err->message = "NET: LOB columns are fetched into LOB locators only";
        return -1;
    }
    if (!valueError.empty()) {
        if (err)
            err->code = -1, err->message = cp1252::FromUtf8("Ungültiger Wert vom Server in Spalte ") +
                                           std::to_string(errorColumn + 1) + " (" +
                                           CurrentTypeName(cols[errorColumn].type) +
                                           "): " + cp1252::FromUtf8(valueError);
        return -1;
    }
    if (end.code == 1403) return 100;
    if (end.code != 0) {
        if (err) err->code = int32_t(end.code), err->message = cp1252::FromUtf8(end.message);
        return -1;
    }
    return 0;
}

} // namespace oranet
