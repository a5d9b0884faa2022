#include "emulator/EmuLexer.h"

#include "emulator/EmuValues.h"

#include <cctype>

namespace vemu {

namespace {
bool IdentStart(unsigned char c) {
    return std::isalpha(c) || c >= 0x80;
}
bool IdentPart(unsigned char c) {
    return std::isalnum(c) || c == '_' || c == '$' || c == '#' || c >= 0x80;
}
} // namespace

std::vector<Tok> Tokenize(const std::string& s, bool& ok, size_t& errorPos) {
    std::vector<Tok> out;
    ok = true;
    errorPos = 0;
    size_t i = 0, n = s.size();
    while (i < n) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        if (std::isspace(c)) {
            ++i;
            continue;
        }
        if (c == '-' && i + 1 < n && s[i + 1] == '-') {
            while (i < n && s[i] != '\n')
                ++i;
            continue;
        }
        if (c == '/' && i + 1 < n && s[i + 1] == '*') {
            size_t e = s.find("*/", i + 2);
            i = e == std::string::npos ? n : e + 2;
            continue;
        }
        Tok t;
        t.pos = i;
        size_t start = i;
        if (IdentStart(c)) {
            // N'..' national literals and q'..' are rare: only plain words here
            while (i < n && IdentPart(static_cast<unsigned char>(s[i])))
                ++i;
            t.kind = TokKind::Ident;
            t.raw = s.substr(start, i - start);
            t.text = UpperAscii(t.raw);
        } else if (c == '"') {
            size_t e = s.find('"', i + 1);
            if (e == std::string::npos) {
                ok = false;
                errorPos = i;
                return out;
            }
            t.kind = TokKind::QuotedIdent;
            t.text = s.substr(i + 1, e - i - 1);
            i = e + 1;
            t.raw = s.substr(start, i - start);
        } else if (c == '\'') {
            std::string v;
            ++i;
            bool closed = false;
            while (i < n) {
                if (s[i] == '\'') {
                    if (i + 1 < n && s[i + 1] == '\'') {
                        v += '\'';
                        i += 2;
                        continue;
                    }
                    ++i;
                    closed = true;
                    break;
                }
                v += s[i++];
            }
            if (!closed) {
                ok = false;
                errorPos = start;
                return out;
            }
            t.kind = TokKind::String;
            t.text = v;
            t.raw = s.substr(start, i - start);
        } else if (std::isdigit(c) ||
                   (c == '.' && i + 1 < n && std::isdigit(static_cast<unsigned char>(s[i + 1])))) {
            while (i < n && std::isdigit(static_cast<unsigned char>(s[i])))
                ++i;
            if (i < n && s[i] == '.' && !(i + 1 < n && s[i + 1] == '.')) {
                ++i;
                while (i < n && std::isdigit(static_cast<unsigned char>(s[i])))
                    ++i;
            }
            if (i < n && (s[i] == 'e' || s[i] == 'E')) {
                size_t j = i + 1;
                if (j < n && (s[j] == '+' || s[j] == '-')) ++j;
                if (j < n && std::isdigit(static_cast<unsigned char>(s[j]))) {
                    i = j;
                    while (i < n && std::isdigit(static_cast<unsigned char>(s[i])))
                        ++i;
                }
            }
            t.kind = TokKind::Number;
            t.raw = t.text = s.substr(start, i - start);
        } else if (c == ':' && i + 1 < n &&
                   (IdentPart(static_cast<unsigned char>(s[i + 1])) || s[i + 1] == '"')) {
            ++i;
            if (s[i] == '"') {
                size_t e = s.find('"', i + 1);
                if (e == std::string::npos) e = n - 1;
                t.text = s.substr(i + 1, e - i - 1);
                i = e + 1;
            } else {
                size_t b = i;
                while (i < n && IdentPart(static_cast<unsigned char>(s[i])))
                    ++i;
                t.text = s.substr(b, i - b);
            }
            t.kind = TokKind::Bind;
            t.raw = s.substr(start, i - start);
        } else {
            static const char* ops[] = {"||", "<=", ">=", "<>", "!=", "^=", ":=", "=>", "..", "**"};
            t.kind = TokKind::Op;
            for (const char* op : ops)
                if (s.compare(i, 2, op) == 0) {
                    t.text = op;
                    break;
                }
            if (t.text.empty()) t.text = std::string(1, s[i]);
            i += t.text.size();
            t.raw = t.text;
        }
        out.push_back(std::move(t));
    }
    Tok end;
    end.kind = TokKind::End;
    end.pos = n;
    out.push_back(end);
    return out;
}

std::vector<std::string> PlaceholderNames(const std::vector<Tok>& toks, bool plsql) {
    std::vector<std::string> names;
    for (const Tok& t : toks) {
        if (t.Is("TRIGGER")) break;
        if (t.kind != TokKind::Bind) continue;
        if (plsql) {
            std::string up = UpperAscii(t.text);
            bool dup = false;
            for (const auto& nm : names)
                if (UpperAscii(nm) == up) dup = true;
            if (dup) continue;
        }
        names.push_back(t.text);
    }
    return names;
}

namespace {
std::string Quoted(const std::string& s, char quote) {
    std::string r(1, quote);
    for (char c : s) {
        if (c == quote) r += quote;
        r += c;
    }
    return r + quote;
}
} // namespace

std::string QuoteIdent(const std::string& s) {
    return Quoted(s, '"');
}

std::string QuoteLiteral(const std::string& s) {
    return Quoted(s, '\'');
}

} // namespace vemu
