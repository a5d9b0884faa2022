#include "app/AnsiText.h"

#include "dataset/Cp1252.h"

#include <cstdio>

bool FindNonAnsiChar(const std::u16string& text, char32_t& ch, size_t& index) {
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t u = text[i];
        const size_t start = i;
        if (u >= 0xD800 && u < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] < 0xE000) {
            u = 0x10000 + ((u - 0xD800) << 10) + (char32_t(text[i + 1]) - 0xDC00);
            ++i;
        }
        if (u != U'?' && cp1252::FromUnicode(u) == '?') {
            ch = u;
            index = start;
            return true;
        }
    }
    return false;
}

int LineOfIndex(const std::u16string& text, size_t index) {
    int line = 1;
    for (size_t i = 0; i < index && i < text.size(); ++i)
        if (text[i] == u'\n') ++line;
    return line;
}

namespace {

// "„ā“ (U+0101)" in UTF-8.
std::string NamedChar(char32_t ch) {
    std::string utf8;
    if (ch < 0x80) {
        utf8 += char(ch);
    } else if (ch < 0x800) {
        utf8 += char(0xC0 | (ch >> 6));
        utf8 += char(0x80 | (ch & 0x3F));
    } else if (ch < 0x10000) {
        utf8 += char(0xE0 | (ch >> 12));
        utf8 += char(0x80 | ((ch >> 6) & 0x3F));
        utf8 += char(0x80 | (ch & 0x3F));
    } else {
        utf8 += char(0xF0 | (ch >> 18));
        utf8 += char(0x80 | ((ch >> 12) & 0x3F));
        utf8 += char(0x80 | ((ch >> 6) & 0x3F));
        utf8 += char(0x80 | (ch & 0x3F));
    }
    char code[16];
    std::snprintf(code, sizeof code, "U+%04X", unsigned(ch));
    return "\xE2\x80\x9E" + utf8 + "\xE2\x80\x9C (" + code + ")";
}

} // namespace

std::string NonAnsiMessage(char32_t ch, int line, const std::string& whatUtf8) {
    return "Das Zeichen " + NamedChar(ch) + " in Zeile " + std::to_string(line) +
           " ist im Zeichensatz Windows-1252 nicht enthalten. " + whatUtf8;
}

std::string NonAnsiValueMessage(char32_t ch, const std::string& nameUtf8, const std::string& whatUtf8) {
    return "Das Zeichen " + NamedChar(ch) + " im Wert von :" + nameUtf8 +
           " ist im Zeichensatz Windows-1252 nicht enthalten. " + whatUtf8;
}

std::u16string EditorTextFromRaw(const std::u16string& raw) {
    std::u16string out;
    out.reserve(raw.size() + raw.size() / 32);
    for (char16_t c : raw) {
        if (c == 0x2029 || c == 0x2028)
            out += u"\r\n";
        else
            out += c;
    }
    return out;
}

namespace {

// Decodes one UTF-8 sequence at i; false for a malformed, overlong or surrogate sequence.
bool NextUtf8(const std::string& s, size_t& i, char32_t& cp) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    int len = 0;
    char32_t min = 0;
    if (b0 < 0x80) {
        cp = b0;
        ++i;
        return true;
    } else if ((b0 & 0xE0) == 0xC0) {
        len = 2;
        cp = b0 & 0x1F;
        min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        len = 3;
        cp = b0 & 0x0F;
        min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        len = 4;
        cp = b0 & 0x07;
        min = 0x10000;
    } else {
        return false;
    }
    if (i + size_t(len) > s.size()) return false;
    for (int k = 1; k < len; ++k) {
        const auto b = static_cast<unsigned char>(s[i + size_t(k)]);
        if ((b & 0xC0) != 0x80) return false;
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp < 0xE000)) return false;
    i += size_t(len);
    return true;
}

bool IsValidUtf8(const std::string& s) {
    char32_t cp = 0;
    for (size_t i = 0; i < s.size();)
        if (!NextUtf8(s, i, cp)) return false;
    return true;
}

const char kBom[] = "\xEF\xBB\xBF";

} // namespace

bool Utf8ToAnsi(const std::string& utf8, std::string& text1252, std::string& message,
                const std::string& whatUtf8, int firstLine) {
    std::string out;
    out.reserve(utf8.size());
    int line = firstLine;
    for (size_t i = 0; i < utf8.size();) {
        char32_t cp = 0;
        if (!NextUtf8(utf8, i, cp)) {
            message = "Zeile " + std::to_string(line) + " ist kein g\xC3\xBCltiges UTF-8. " + whatUtf8;
            return false;
        }
        if (cp == U'\n') ++line;
        const char b = cp1252::FromUnicode(cp);
        if (b == '?' && cp != U'?') {
            message = NonAnsiMessage(cp, line, whatUtf8);
            return false;
        }
        out += b;
    }
    text1252 = std::move(out);
    return true;
}

bool ScriptIsUtf8(const std::string& bytes, TScriptEncoding encoding) {
    switch (encoding) {
    case TScriptEncoding::Utf8:
        return true;
    case TScriptEncoding::Cp1252:
        return false;
    case TScriptEncoding::Auto:
        break;
    }
    if (bytes.compare(0, 3, kBom) == 0) return true;
    bool high = false;
    for (char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80) {
            high = true;
            break;
        }
    return high && IsValidUtf8(bytes);
}

bool DecodeScript(const std::string& bytes, TScriptEncoding encoding, std::string& text1252,
                  std::string& message, const std::string& whatUtf8) {
    if (!ScriptIsUtf8(bytes, encoding)) {
        text1252 = bytes;
        return true;
    }
    const size_t skip = bytes.compare(0, 3, kBom) == 0 ? 3 : 0;
    return Utf8ToAnsi(bytes.substr(skip), text1252, message, whatUtf8);
}
