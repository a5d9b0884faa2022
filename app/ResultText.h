// The result as text: the clipboard copy (tab-separated) and the export file writer.
#pragma once

#include <functional>
#include <string>

// What the copy and the export read of a result: field names and, record by record in the data set's current
// order and filter, each field's text as the data set renders it (a NULL gives an empty text).
class IResultSource {
public:
    virtual ~IResultSource() = default;
    virtual int FieldCount() = 0;
    virtual std::string FieldName(int index) = 0;
    virtual void First() = 0;
    virtual bool Eof() = 0;
    virtual void Next() = 0;
    virtual std::string FieldText(int index) = 0;
};

// Header line of the field names, then one line per record; tab-separated, every line ended by CR LF.
// The source is left on its first record.
std::string BuildClipboardText(IResultSource& source);

// The export's column separator: the text as typed, or read two characters at a time as hexadecimal codes
// ("09" tab, "0D0A" CR LF; a last odd character is ignored). A pair that is no hexadecimal number raises
// EConvertError "'$XY' ist kein gültiger Integerwert".
std::string ParseSeparator(const std::string& text, bool asHex);

// The export file's content: optional header line, one line per record, fields joined by the separator,
// names and values trimmed when asked, every line ended by CR LF. The source is left on its first record.
std::string BuildResultFileText(IResultSource& source, const std::string& separator, bool headers, bool trim);

// The same lines handed out in pieces of about 64 KB as they are built, for output that streams; the source
// is left past its last record. Returns the number of records written.
long StreamResultText(IResultSource& source, const std::string& separator, bool headers, bool trim,
                      const std::function<void(const std::string&)>& emit);

// The walk beneath both: builds the lines into the buffer and hands it to the sink every 256 records and once
// more at the end (done); the sink takes what it wants out of the buffer. The source is left past its last
// record. Returns the number of records.
long WalkResultText(IResultSource& source, const std::string& separator, bool headers, bool trim,
                    const std::function<void(std::string& buffer, long records, bool done)>& sink);

// Streams the text into the file through a temporary file beside it that replaces the old file only when
// everything is written (EFileError when it cannot); the source is left on its first record.
void WriteResultFile(IResultSource& source, const std::string& fileName, const std::string& separator,
                     bool headers, bool trim);
