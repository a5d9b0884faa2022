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

std::string NonAnsiMessage(char32_t ch, int line, const std::string& whatUtf8) {
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
    return "Das Zeichen \xE2\x80\x9E" + utf8 + "\xE2\x80\x9C (" + code + ") in Zeile " +
           std::to_string(line) + " ist im Zeichensatz Windows-1252 nicht enthalten. " + whatUtf8;
}
