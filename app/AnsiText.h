// Text the user typed that Windows-1252 cannot hold: found before anything is written or sent, never silently
// replaced.
#pragma once

#include <string>

// The first character of a UTF-16 text without a Windows-1252 byte; false when every character has one.
bool FindNonAnsiChar(const std::u16string& text, char32_t& ch, size_t& index);
// "Das Zeichen „ā“ (U+0101) in Zeile 2 ist im Zeichensatz Windows-1252 nicht enthalten. <what>" in UTF-8.
std::string NonAnsiMessage(char32_t ch, int line, const std::string& whatUtf8);
// "Das Zeichen „ā“ (U+0101) im Wert von :<name> ist im Zeichensatz Windows-1252 nicht enthalten. <what>"
// in UTF-8, for a parameter value.
std::string NonAnsiValueMessage(char32_t ch, const std::string& nameUtf8, const std::string& whatUtf8);
// Line number (from 1) of a UTF-16 index.
int LineOfIndex(const std::u16string& text, size_t index);

// The editor's text as its document holds it (paragraph separators U+2029 between the lines, U+2028 for a
// line break inside one) with every line break as CR LF. No-break spaces and every other character stay as
// they are (the document's plain-text view turns U+00A0 into a blank).
std::u16string EditorTextFromRaw(const std::u16string& raw);

// UTF-8 text (a terminal, a command line, a UTF-8 script) to Windows-1252. False when the text is not valid
// UTF-8 or holds a character Windows-1252 lacks: message (UTF-8) then names it and its line, followed by
// whatUtf8. Nothing is ever replaced by "?".
// firstLine: the number of the text's first line in its input (a line read from a stream).
bool Utf8ToAnsi(const std::string& utf8, std::string& text1252, std::string& message,
                const std::string& whatUtf8, int firstLine = 1);

// How a script file's bytes are read: Auto takes UTF-8 when the file starts with the UTF-8 byte order mark or
// is valid UTF-8 holding bytes above 127, and Windows-1252 otherwise.
enum class TScriptEncoding { Auto, Utf8, Cp1252 };
// True when the script is read as UTF-8 (the byte order mark, if any, is then dropped by DecodeScript).
bool ScriptIsUtf8(const std::string& bytes, TScriptEncoding encoding);
// The script's text in Windows-1252; false with message as for Utf8ToAnsi.
bool DecodeScript(const std::string& bytes, TScriptEncoding encoding, std::string& text1252,
                  std::string& message, const std::string& whatUtf8);
