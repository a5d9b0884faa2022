// Text the user typed that Windows-1252 cannot hold: found before anything is written or sent, never silently
// replaced.
#pragma once

#include <string>

// The first character of a UTF-16 text without a Windows-1252 byte; false when every character has one.
bool FindNonAnsiChar(const std::u16string& text, char32_t& ch, size_t& index);
// "Das Zeichen „ā“ (U+0101) in Zeile 2 ist im Zeichensatz Windows-1252 nicht enthalten. <what>" in UTF-8.
std::string NonAnsiMessage(char32_t ch, int line, const std::string& whatUtf8);
// Line number (from 1) of a UTF-16 index.
int LineOfIndex(const std::u16string& text, size_t index);
