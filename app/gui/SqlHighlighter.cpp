#include "app/gui/SqlHighlighter.h"

#include "app/SqlHighlight.h"
#include "dataset/Cp1252.h"
#include "grid/ThemeColors.h"

#include <QPalette>
#include <vector>

std::string EditorBytes(const QString& text) {
    std::string out(size_t(text.size()), '?');
    const QChar* p = text.constData();
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = p[i].unicode();
        if (u < 0x80)
            out[size_t(i)] = char(u);
        else if (u < 0xD800 || u >= 0xE000)
            out[size_t(i)] = cp1252::FromUnicode(u);
    }
    return out;
}

TSqlHighlighter::TSqlHighlighter(QTextDocument* doc, const QPalette& pal) : QSyntaxHighlighter(doc) {
    SetPalette(pal);
}

void TSqlHighlighter::SetPalette(const QPalette& pal) {
    const bool dark = theme::IsDark(pal);
    // Light: deep inks on white; dark: soft light inks on a dark ground. Each keeps a contrast of at
    // least 4.5 to the editor's base colour of the usual light and dark palettes.
    const QColor keyword = dark ? QColor(0x82, 0xAA, 0xFF) : QColor(0x00, 0x2E, 0x9E);
    const QColor string = dark ? QColor(0xE8, 0xA8, 0x7C) : QColor(0xA3, 0x15, 0x15);
    const QColor comment = dark ? QColor(0x8F, 0xC0, 0x8F) : QColor(0x2E, 0x6B, 0x30);
    const QColor number = dark ? QColor(0xB5, 0xDC, 0xA8) : QColor(0x0B, 0x6E, 0x4F);
    const QColor parameter = dark ? QColor(0xE0, 0xA8, 0xFF) : QColor(0x86, 0x00, 0x86);
    const QColor quoted = dark ? QColor(0xE6, 0xD2, 0x8C) : QColor(0x70, 0x50, 0x10);
    auto make = [](const QColor& c, bool bold, bool italic) {
        QTextCharFormat f;
        f.setForeground(c);
        if (bold) f.setFontWeight(QFont::Bold);
        f.setFontItalic(italic);
        return f;
    };
    formats_[int(THighlightKind::Keyword)] = make(keyword, true, false);
    formats_[int(THighlightKind::String)] = make(string, false, false);
    formats_[int(THighlightKind::Comment)] = make(comment, false, true);
    formats_[int(THighlightKind::Number)] = make(number, false, false);
    formats_[int(THighlightKind::Parameter)] = make(parameter, true, false);
    formats_[int(THighlightKind::QuotedIdent)] = make(quoted, false, false);
    rehighlight();
}

void TSqlHighlighter::highlightBlock(const QString& text) {
    std::vector<THighlightSpan> spans;
    const int prev = previousBlockState();
    const int state = HighlightSqlLine(EditorBytes(text), prev < 0 ? hsNone : prev, spans);
    for (const THighlightSpan& s : spans)
        setFormat(s.start, s.length, formats_[int(s.kind)]);
    setCurrentBlockState(state);
}
