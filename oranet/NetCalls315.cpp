// Statement calls of the current generation: execute (parse and execute in one call, the select list
// described in the reply), fetch with the compressed row forms (columns equal to the previous row's are left
// out, announced by a bit vector), and cursor closes piggybacked on the next call.
#include "oranet/NetErrors.h"
#include "oranet/NetSession315.h"

#include <algorithm>
#include <stdexcept>

namespace oranet {

namespace {

// Execute options.
enum : uint32_t {
    exParse = 0x01,
    exBinds = 0x08,
    exExecute = 0x20,
    exFetch = 0x40,
    exPlSqlBinds = 0x400,
    exNotPlSql = 0x8000,
    exDescribe = 0x20000,
};
constexpr uint32_t ImplicitResults = 0x8000; // al8i4[9]
constexpr uint32_t MaxLong = 0x7FFFFFFF;
constexpr uint32_t MaxColumns = 1000;
constexpr uint32_t MaxBinds = 65535;
// The longest string a server takes in line; longer bind values of a statement follow all others.
constexpr uint32_t MaxInlineString = 4000;
constexpr size_t MaxOutValue = 1u << 30;
constexpr uint8_t DirectionOut = 0x10;

} // namespace

bool CurrentTypeSupported(uint8_t type) {
    switch (type) {
    case 1:   // VARCHAR2, NVARCHAR2
    case 2:   // NUMBER
    case 8:   // LONG
    case 11:  // ROWID
    case 12:  // DATE
    case 23:  // RAW
    case 24:  // LONG RAW
    case 96:  // CHAR, NCHAR
    case 100: // BINARY_FLOAT
    case 101: // BINARY_DOUBLE
    case 112: // CLOB, NCLOB
    case 113: // BLOB
    case 180: // TIMESTAMP
    case 181: // TIMESTAMP WITH TIME ZONE
    case 182: // INTERVAL YEAR TO MONTH
    case 183: // INTERVAL DAY TO SECOND
    case 231: // TIMESTAMP WITH LOCAL TIME ZONE
    case 208: // UROWID
    case 252: // BOOLEAN
        return true;
    default:
        return false;
    }
}

std::string RowidText(uint32_t object, uint16_t file, uint32_t block, uint16_t row) {
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string s;
    auto put = [&](uint64_t v, int digits) {
        for (int i = digits - 1; i >= 0; --i)
            s.push_back(alphabet[(v >> (6 * i)) & 63]);
    };
    put(object, 6), put(file, 3), put(block, 6), put(row, 3);
    return s;
}

void TCurrentSession::ReadDescribeInfo(std::vector<TColumnInfo>& columns) {
    in_.SkipBytesWithLength();
    ReadDescribeBody(columns);
}

void TCurrentSession::ReadDescribeBody(std::vector<TColumnInfo>& columns) {
    in_.UB4(); // largest row
    uint32_t count = in_.UB4();
    if (count > MaxColumns) throw EDBError(1);
    if (count > 0) in_.U8();
    columns.assign(count, TColumnInfo{});
    for (TColumnInfo& c : columns) {
        c.type = in_.U8();
        in_.U8(); // flags
        c.precision = int8_t(in_.U8());
        c.scale = int8_t(in_.U8());
        c.maxSize = in_.UB4();
        in_.UB4();                                    // most array elements
        in_.UB8();                                    // continuation flags
        if (in_.UB4() > 0) in_.SkipBytesWithLength(); // type OID
        in_.UB2();                                    // version
        in_.UB2();                                    // character set
        c.charsetForm = in_.U8();
        c.size = in_.UB4();
        if (server_.fieldVersion >= 8) in_.UB4(); // column id
        c.nullable = in_.U8() != 0;
        in_.U8(); // name length of old
        if (in_.UB4() > 0) c.name = in_.BytesWithLength(4096);
        if (in_.UB4() > 0) in_.SkipBytesWithLength(); // schema
        if (in_.UB4() > 0) in_.SkipBytesWithLength(); // type name
        in_.UB2();                                    // position
        in_.UB4();                                    // flags
    }
    if (in_.UB4() > 0) in_.SkipBytesWithLength(); // current date
    in_.UB4(), in_.UB4(), in_.UB4(), in_.UB4();
    if (in_.UB4() > 0) in_.SkipBytesWithLength();
}

void TCurrentSession::ReadReturnParameter() {
    uint32_t n = in_.UB2();
    for (uint32_t i = 0; i < n; ++i)
        in_.UB4();
    in_.Skip(in_.UB2());
    n = in_.UB2();
    for (uint32_t i = 0; i < n; ++i) {
        if (in_.UB2() > 0) in_.SkipBytesWithLength();
        if (in_.UB2() > 0) in_.SkipBytesWithLength();
        in_.UB2();
    }
    in_.Skip(in_.UB2());
}

void TCurrentSession::ReadOutValues(const TCallBinds& binds, const std::vector<uint8_t>& directions) {
    std::string raw;
    std::vector<TColumnInfo> described;
    for (size_t i = 0; i < directions.size(); ++i) {
        if (!(directions[i] & DirectionOut)) continue;
        const uint8_t type = binds.descs[i].type;
        bool present = true;
        uint32_t cursor = 0;
        raw.clear();
        described.clear();
        if (type == 102) { // a cursor: its select list and its id
            uint8_t n = in_.U8();
            present = n != 0 && n != 255;
            if (present) {
                ReadDescribeBody(described);
                cursor = in_.UB2();
                present = cursor != 0;
            }
        } else if (type == 112 || type == 113) { // a LOB locator after its length and chunk size
            present = in_.UB4() > 0;
            if (present) {
                in_.UB8(), in_.UB4();
                in_.BytesWithLength(raw, 65536);
                present = !raw.empty();
            }
        } else {
            in_.BytesWithLength(raw, MaxOutValue);
            present = !raw.empty();
        }
        in_.SB4(); // bytes beyond the bind's room
        if (binds.out)
            binds.out(i, present ? &raw : nullptr, cursor, present && type == 102 ? &described : nullptr);
    }
}

void TCurrentSession::ReadRowHeader(const std::vector<TColumnInfo>& columns) {
    in_.U8();  // flags
    in_.UB2(); // requests
    in_.UB4(); // iteration
    in_.UB4(); // iterations
    in_.UB2(); // buffer length
    if (in_.UB4() > 0) {
        bitVector_ = in_.BytesWithLength(MaxColumns / 8 + 1);
        if (bitVector_.size() * 8 < columns.size()) bitVector_.clear();
    }
    if (in_.UB4() > 0) in_.SkipBytesWithLength(); // rowid
}

void TCurrentSession::ReadRow(uint32_t row, const std::vector<TColumnInfo>& columns, const TValueSink& sink) {
    if (lastValues_.size() != columns.size()) {
        lastValues_.assign(columns.size(), std::string());
        lastNull_.assign(columns.size(), true);
    }
    for (size_t i = 0; i < columns.size(); ++i) {
        const TColumnInfo& c = columns[i];
        bool sent = bitVector_.empty() || (uint8_t(bitVector_[i / 8]) & (1u << (i % 8)));
        if (sent) {
            std::string& v = lastValues_[i];
            if (c.maxSize == 0 && c.type != 8 && c.type != 24 && c.type != 208) {
                v.clear();
            } else if (c.type == 112 || c.type == 113) {
                ReadLobColumn(v);
            } else if (c.type == 208 && c.defineSize == 0) {
                // A universal ROWID: a first length-prefixed item that only tells NULL from a value, then
                // the ROWID's bytes.
                in_.BytesWithLength(v, 4096);
                if (!v.empty()) in_.BytesWithLength(v, 4096);
            } else if (c.type == 11 && c.defineSize == 0) {
                uint8_t l = in_.U8();
                if (l == 0 || l == 255) {
                    v.clear();
                } else {
                    uint32_t object = in_.UB4();
                    uint16_t file = uint16_t(in_.UB2());
                    in_.U8();
                    uint32_t block = in_.UB4();
                    uint16_t slot = uint16_t(in_.UB2());
                    v = RowidText(object, file, block, slot);
                }
            } else {
                in_.BytesWithLength(v);
            }
            // LONG, LONG RAW and values defined longer than the longest string end with an indicator
            // and a return code.
            if (c.type == 8 || c.type == 24 ||
                (c.defineSize ? c.defineSize : c.maxSize) > server_.maxString) {
                in_.SB4();
                in_.UB4();
            }
            lastNull_[i] = v.empty();
        }
        sink(row, i, lastNull_[i] ? nullptr : &lastValues_[i]);
    }
    bitVector_.clear();
}

void TCurrentSession::WriteExecute(uint32_t options, uint32_t cursorId, std::string_view sql, bool parse,
                                   uint32_t prefetchRows, uint32_t bindCount, uint32_t executions, bool query,
                                   uint32_t flags) {
    FunctionHeader(fnExecute);
    out_.UB4(options);
    out_.UB4(cursorId);
    out_.U8(parse ? 1 : 0);
    out_.UB4(parse ? uint32_t(sql.size()) : 0);
    out_.U8(1);   // the al8i4 vector
    out_.UB4(13); // its length
    out_.U8(0), out_.U8(0);
    out_.U8(0); // prefetch buffer size
    out_.UB4(prefetchRows);
    out_.UB4(MaxLong);
    out_.U8(bindCount > 0 ? 1 : 0), out_.UB4(bindCount);
    out_.U8(0), out_.U8(0), out_.U8(0), out_.U8(0), out_.U8(0);
    out_.U8(0), out_.UB4(0); // no defines
    out_.UB4(0);             // registration
    out_.U8(0), out_.U8(1), out_.U8(0), out_.UB4(0);
    out_.U8(0), out_.UB4(0), out_.UB4(0);
    out_.U8(0), out_.UB4(0), out_.U8(0); // no DML row counts
    if (server_.fieldVersion >= 8) {
        out_.U8(0), out_.UB4(0), out_.U8(0), out_.UB4(0), out_.U8(0);
        if (server_.fieldVersion >= 9) out_.U8(0), out_.UB4(0);
    }
    if (parse) {
        out_.BytesWithLength(sql);
        out_.UB4(1);
    } else {
        out_.UB4(0);
    }
    out_.UB4(executions);
    for (int i = 2; i <= 6; ++i)
        out_.UB4(0);
    out_.UB4(query ? 1 : 0);
    out_.UB4(0);
    out_.UB4(flags);
    out_.UB4(0), out_.UB4(0), out_.UB4(0);
}

TCallEnd TCurrentSession::Execute(uint32_t& cursorId, std::string_view sql, bool query, bool plsql,
                                  bool describeOnly, std::vector<TColumnInfo>& columns,
                                  const TCallBinds* binds) {
    const bool parse = cursorId == 0;
    uint32_t options = (parse ? uint32_t(exParse) : 0u) | uint32_t(describeOnly ? exDescribe : exExecute);
    if (!plsql && !describeOnly) options |= exNotPlSql;
    const uint32_t bindCount = binds && !describeOnly ? uint32_t(binds->descs.size()) : 0;
    if (bindCount > MaxBinds) throw std::runtime_error("Too many binds");
    if (bindCount > 0) options |= exBinds | (plsql ? uint32_t(exPlSqlBinds) : 0u);
    const uint32_t rows = bindCount > 0 ? std::max<uint32_t>(binds->rows, 1) : 1;
    WriteExecute(options, cursorId, parse ? sql : std::string_view(), parse, 0, bindCount, query ? 0 : rows,
                 query, describeOnly ? 0 : ImplicitResults);
    if (bindCount > 0) {
        for (const TBindDesc& d : binds->descs) {
            out_.U8(d.type);
            out_.U8(d.flags);
            out_.U8(0), out_.U8(0); // precision and scale
            out_.UB4(d.maxSize);
            out_.UB4(0); // array elements
            out_.UB4(d.contFlags);
            out_.UB4(0); // no type OID
            out_.UB2(0); // type version
            out_.UB2(d.charsetForm != 0 ? 873 : 0);
            out_.U8(d.charsetForm);
            out_.UB4(0); // LOB prefetch length
            if (server_.fieldVersion >= 8) out_.UB4(0);
        }
        for (uint32_t r = 0; r < (query ? 1 : rows); ++r) {
            out_.U8(ttcRowData);
            binds->writeRow(out_, r);
        }
    }
    Send();

    TCallEnd end;
    std::vector<uint8_t> directions;
    for (;;) {
        uint8_t type = in_.U8();
        switch (type) {
        case ttcDescribeInfo:
            ReadDescribeInfo(columns);
            break;
        case ttcIoVector: {
            in_.U8(); // flags
            uint32_t low = in_.UB2();
            uint32_t high = in_.UB4();
            if (high > MaxBinds / 256 || high * 256 + low != bindCount) throw EDBError(1);
            in_.UB4();           // iterations this time
            in_.UB2();           // buffer length
            in_.Skip(in_.UB2()); // bit vector
            in_.Skip(in_.UB2()); // rowid
            std::string marks = in_.Raw(bindCount);
            directions.assign(marks.begin(), marks.end());
            break;
        }
        case ttcRowData:
            // Output values come only after the I/O vector that names them.
            if (directions.size() != bindCount || bindCount == 0) throw EDBError(1);
            ReadOutValues(*binds, directions);
            break;
        case ttcParameter:
            ReadReturnParameter();
            break;
        default:
            if (!ReadCommonMessage(type, end)) throw EDBError(1);
            if (end.ended) {
                if (end.cursor != 0) cursorId = end.cursor;
                return end;
            }
            break;
        }
    }
}

TCallEnd TCurrentSession::Fetch(uint32_t cursorId, uint32_t rows, const std::vector<TColumnInfo>& columns,
                                const TValueSink& sink, uint32_t& rowsRead) {
    FunctionHeader(fnFetch);
    out_.UB4(cursorId);
    out_.UB4(rows);
    Send();
    return ReadRows(rows, columns, sink, rowsRead);
}

TCallEnd TCurrentSession::FirstFetch(uint32_t cursorId, uint32_t rows,
                                     const std::vector<TColumnInfo>& columns, const TValueSink& sink,
                                     uint32_t& rowsRead) {
    // An execute that only fetches, of a cursor that is neither parsed nor executed here.
    WriteExecute(exFetch | exNotPlSql, cursorId, std::string_view(), false, rows, 0, rows, true, 0);
    Send();
    return ReadRows(rows, columns, sink, rowsRead);
}

TCallEnd TCurrentSession::ReadRows(uint32_t rows, const std::vector<TColumnInfo>& columns,
                                   const TValueSink& sink, uint32_t& rowsRead) {
    rowsRead = 0;
    bitVector_.clear();
    TCallEnd end;
    for (;;) {
        uint8_t type = in_.U8();
        switch (type) {
        case ttcDescribeInfo: { // the select list again: already known
            std::vector<TColumnInfo> again;
            ReadDescribeInfo(again);
            break;
        }
        case ttcRowHeader:
            ReadRowHeader(columns);
            break;
        case ttcBitVector: {
            in_.UB2(); // columns sent
            bitVector_ = in_.Raw((columns.size() + 7) / 8);
            break;
        }
        case ttcRowData:
            if (rowsRead >= rows) throw EDBError(1); // more rows than asked for: nowhere to put them
            ReadRow(rowsRead++, columns, sink);
            break;
        default:
            if (!ReadCommonMessage(type, end)) throw EDBError(1);
            if (end.ended) return end;
            break;
        }
    }
}

} // namespace oranet
