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
