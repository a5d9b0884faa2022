// Windows-1252, the code page of the program's texts and files, converted to and from UTF-8 and UTF-16 at the
// edges (terminal, GUI).
#pragma once

#include <string>

namespace cp1252 {

// Every byte has a character: the five bytes that Windows-1252 leaves undefined map to the C1 controls of the
// same number, as Windows does, so that a round trip keeps every byte.
char16_t ToUnicode(unsigned char c);
// The byte of a character, or '?' when Windows-1252 has none.
char FromUnicode(char32_t u);

std::string ToUtf8(const std::string& text);
// Malformed UTF-8 sequences become '?'.
std::string FromUtf8(const std::string& utf8);
std::u16string ToUtf16(const std::string& text);
std::string FromUtf16(const std::u16string& text);

} // namespace cp1252
