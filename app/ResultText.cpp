#include "app/ResultText.h"

#include "app/ExportPlan.h"
#include "app/History.h"
#include "app/Worksheet.h"
#include "dataset/DBErrors.h"

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Joins the texts of one line with the separator and ends it with CR LF.
template <class TextOf> void AppendLine(std::string& out, int count, const std::string& sep, TextOf textOf) {
    for (int i = 0; i < count; ++i) {
        if (i) out += sep;
        out += textOf(i);
    }
    out += "\r\n";
}

} // namespace

std::string BuildClipboardText(IResultSource& source) {
    return BuildResultFileText(source, "\t", true, false);
}

std::string ParseSeparator(const std::string& text, bool asHex) {
    if (!asHex) return text;
    std::string sep;
    for (size_t i = 0; i + 1 < text.size(); i += 2) {
        const int hi = HexDigit(text[i]), lo = HexDigit(text[i + 1]);
        if (hi < 0 || lo < 0)
            throw EConvertError("'$" + text.substr(i, 2) + "' ist kein g\xFCltiger Integerwert");
        sep += char(hi * 16 + lo);
    }
    return sep;
}

long WalkResultText(IResultSource& source, const std::string& separator, bool headers, bool trim,
                    const std::function<void(std::string& buffer, long records, bool done)>& sink) {
    const int n = source.FieldCount();
    auto clean = [trim](std::string s) { return trim ? TrimWorksheetText(s) : s; };
    std::string out;
    long records = 0;
    source.First();
    if (headers) AppendLine(out, n, separator, [&](int i) { return clean(source.FieldName(i)); });
    for (; !source.Eof(); source.Next()) {
        AppendLine(out, n, separator, [&](int i) { return clean(source.FieldText(i)); });
        if (++records % 256 == 0) sink(out, records, false);
    }
    sink(out, records, true);
    return records;
}

long StreamResultText(IResultSource& source, const std::string& separator, bool headers, bool trim,
                      const std::function<void(const std::string&)>& emit) {
    return WalkResultText(source, separator, headers, trim, [&](std::string& buffer, long, bool done) {
        if (buffer.size() >= 1 << 16 || (done && !buffer.empty())) {
            emit(buffer);
            buffer.clear();
        }
    });
}

std::string BuildResultFileText(IResultSource& source, const std::string& separator, bool headers,
                                bool trim) {
    std::string text;
    StreamResultText(source, separator, headers, trim, [&text](const std::string& piece) { text += piece; });
    source.First();
    return text;
}

void WriteResultFile(IResultSource& source, const std::string& fileName, const std::string& separator,
                     bool headers, bool trim) {
    WriteResultFileAtomic(source, fileName, separator, headers, trim);
}
