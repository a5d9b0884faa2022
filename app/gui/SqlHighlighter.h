// SQL colours over a text document, from the Oracle lexer; the colours follow the palette (light or dark).
#pragma once

#include <QSyntaxHighlighter>
#include <QTextCharFormat>
#include <string>

class QPalette;

// The editor's text as Windows-1252 bytes, one byte per UTF-16 unit, so that offsets stay the editor's
// (a character that Windows-1252 lacks reads as '?'; the bytes only serve to look into the text, never to
// write it back).
std::string EditorBytes(const QString& text);

class TSqlHighlighter : public QSyntaxHighlighter {
public:
    TSqlHighlighter(QTextDocument* doc, const QPalette& pal);
    // New colours for a new palette; the document is coloured again.
    void SetPalette(const QPalette& pal);
    // The format of a colour class (for tests and the legend).
    QTextCharFormat Format(int kind) const { return formats_[kind]; }

protected:
    void highlightBlock(const QString& text) override;

private:
    QTextCharFormat formats_[6];
};
