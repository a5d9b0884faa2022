// Oracle value forms and SQL text helpers: the 7-byte DATE, the ROWID texts, the text sent to the server and
// the parameter scan.
#include "dataset/DateTimeUtil.h"
#include "dataset/OraParser.h"
#include "oracle/OraClasses.h"

#include <cmath>
#include <cstring>

TDateTime OraDateToDateTime(const uint8_t* d) {
    int year = int(d[0]) * 100 + int(d[1]) - 10100;
    int month = d[2], day = d[3];
    int hour = int(d[4]) - 1, minute = int(d[5]) - 1, second = int(d[6]) - 1;
    TDateTime date, time;
    if (!TryEncodeDate(std::abs(year), month, day, date)) return 0;
    if (!TryEncodeTime(hour, minute, second, 0, time)) return 0;
    return date > 0 ? date + time : date - time;
}

void DateTimeToOraDate(TDateTime value, uint8_t* d) {
    int year, month, day, hour, minute, second, msec;
    DecodeDate(value, year, month, day);
    DecodeTime(value, hour, minute, second, msec);
    d[0] = uint8_t(year / 100 + 100);
    d[1] = uint8_t(year % 100 + 100);
    d[2] = uint8_t(month);
    d[3] = uint8_t(day);
    d[4] = uint8_t(hour + 1);
    d[5] = uint8_t(minute + 1);
    d[6] = uint8_t(second + 1);
}

namespace {

const char* kBase64 = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string Base64Digits(uint64_t v, int digits) {
    std::string s(size_t(digits), 'A');
    for (int i = digits - 1; i >= 0; --i) {
        s[size_t(i)] = kBase64[v & 63];
        v >>= 6;
    }
    return s;
}

std::string Hex(uint64_t v, int digits) {
    static const char* h = "0123456789ABCDEF";
    std::string s(size_t(digits), '0');
    for (int i = digits - 1; i >= 0; --i) {
        s[size_t(i)] = h[v & 15];
        v >>= 4;
    }
    return s;
}

uint32_t Be32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}
uint16_t Be16(const uint8_t* p) {
    return uint16_t(p[0] << 8 | p[1]);
}

} // namespace

std::string RowIdRestricted(uint32_t block, uint16_t row, uint16_t file) {
    return Hex(block, 8) + "." + Hex(row, 4) + "." + Hex(file, 4);
}

std::string RowIdExtended(uint32_t objectNo, uint16_t relFile, uint32_t block, uint16_t row) {
    return Base64Digits(objectNo, 6) + Base64Digits(relFile, 3) + Base64Digits(block, 6) +
           Base64Digits(row, 3);
}

std::string RowIdUniversal(const uint8_t* bytes, size_t n) {
    std::string s = "*";
    uint32_t acc = 0;
    int bits = 0;
    for (size_t i = 0; i < n; ++i) {
        acc = (acc << 8) | bytes[i];
        bits += 8;
        while (bits >= 6) {
            bits -= 6;
            s += kBase64[(acc >> bits) & 63];
        }
    }
    if (bits > 0) s += kBase64[(acc << (6 - bits)) & 63];
    return s;
}

std::string RowIdImageToText(const uint8_t* image, size_t n) {
    if (n < 13) return std::string();
    if (image[0] == 2) return RowIdUniversal(image + 1, n - 1);
    uint32_t objectNo = Be32(image + 1);
    uint16_t file = Be16(image + 5);
    uint32_t block = Be32(image + 7);
    uint16_t row = Be16(image + 11);
    if (objectNo == 0 && file == 0 && block == 0 && row == 0) return std::string();
    if (objectNo == 0) return RowIdRestricted(block, row, file);
    return RowIdExtended(objectNo, file, block, row);
}

// ---- Text sent to the server ----

namespace {

std::string Trimmed(const std::string& s, size_t& lead) {
    size_t b = 0, e = s.size();
    while (b < e && uint8_t(s[b]) <= ' ')
        ++b;
    while (e > b && uint8_t(s[e - 1]) <= ' ')
        --e;
    lead = b;
    return s.substr(b, e - b);
}

// Walks the trimmed text; map receives, for each character written, its position in the trimmed text.
std::string Convert(const std::string& t, std::vector<int>* map) {
    std::string out;
    out.reserve(t.size());
    bool inLiteral = false, inBlock = false, inLine = false;
    for (size_t i = 0; i < t.size(); ++i) {
        char c = t[i];
        if (!inLiteral) {
            if (c == '\r') {
                if (i + 1 < t.size() && t[i + 1] == '\n') continue; // the LF that follows is written
                out += '\n';
                if (map) map->push_back(int(i));
                if (inLine) inLine = false;
                continue;
            }
            if (!inBlock && !inLine) {
                if (c == '/' && i + 1 < t.size() && t[i + 1] == '*')
                    inBlock = true;
                else if (c == '-' && i + 1 < t.size() && t[i + 1] == '-')
                    inLine = true;
            } else if (inBlock && c == '*' && i + 1 < t.size() && t[i + 1] == '/') {
                out += "*/";
                if (map) {
                    map->push_back(int(i));
                    map->push_back(int(i + 1));
                }
                ++i;
                inBlock = false;
                continue;
            } else if (inLine && c == '\n') {
                inLine = false;
            }
        }
        if (c == '\'' && !inBlock && !inLine) inLiteral = !inLiteral;
        out += c;
        if (map) map->push_back(int(i));
    }
    return out;
}

} // namespace

std::string ConvertSQLText(const std::string& sql) {
    size_t lead;
    return Convert(Trimmed(sql, lead), nullptr);
}

int ConvertedToOriginalPos(const std::string& sql, int pos) {
    size_t lead;
    std::vector<int> map;
    Convert(Trimmed(sql, lead), &map);
    if (pos < 0) return pos;
    if (size_t(pos) < map.size()) return map[size_t(pos)] + int(lead);
    return int(lead) + (map.empty() ? 0 : map.back() + 1) + (pos - int(map.size()));
}

// ---- Parameter scan ----

std::vector<TScannedParam> ScanOraParams(const std::string& sql) {
    std::vector<TScannedParam> out;
    TOraParser p(sql);
    p.OmitBlank = true;
    p.OmitComment = true;
    p.UppercaseKeywords = false;
    std::string tok;
    for (;;) {
        int code = p.GetNextToken(tok);
        if (code == lxEnd || code == opTrigger) break;
        if (code != opColon) continue;
        code = p.GetNextToken(tok);
        if (code == lxEnd) break;
        bool nameToken = code == lxIdent || code == lxNumber || (code >= opAnd && code <= opWhere);
        if (!nameToken) {
            p.StepBack();
            continue;
        }
        bool quoted = p.CurrPos() > 0 && sql[size_t(p.CurrPos() - 1)] == '"';
        if (quoted && tok.size() >= 2 && tok.front() == '"' && tok.back() == '"')
            tok = tok.substr(1, tok.size() - 2);
        bool known = false;
        for (auto& e : out)
            if (AnsiCompareText(e.Name, tok) == 0) known = true;
        if (!known) out.push_back({tok, quoted});
    }
    return out;
}
