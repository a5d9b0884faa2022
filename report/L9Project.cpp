#include "report/L9Project.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>

namespace {

constexpr size_t MaxProjectSize = 16u << 20;
constexpr int MaxDepth = 32;

bool EqualNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

std::string Trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t'))
        ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t'))
        --e;
    return s.substr(b, e - b);
}

[[noreturn]] void Fail(int line, const std::string& what) {
    if (line > 0) throw EL9ProjectError("Zeile " + std::to_string(line) + ": " + what);
    throw EL9ProjectError(what);
}

// ---- Values ----

bool ReadInt(const TL9Section& s, const char* key, int lo, int hi, int& out) {
    const std::string* v = s.Value(key);
    if (!v) return false;
    long long n = 0;
    const char* b = v->data();
    const char* e = b + v->size();
    auto [p, ec] = std::from_chars(b, e, n);
    if (ec != std::errc() || p != e || n < lo || n > hi)
        Fail(0, "[" + s.Name + "] " + key + "=" + *v + " ist kein Wert zwischen " + std::to_string(lo) +
                    " und " + std::to_string(hi));
    out = int(n);
    return true;
}

bool ReadBool(const TL9Section& s, const char* key, bool& out) {
    const std::string* v = s.Value(key);
    if (!v) return false;
    if (EqualNoCase(*v, "True") || *v == "1")
        out = true;
    else if (EqualNoCase(*v, "False") || *v == "0")
        out = false;
    else
        Fail(0, "[" + s.Name + "] " + key + "=" + *v + " ist weder True noch False");
    return true;
}

// "RGB(r,g,b)" with each part 0 to 255.
bool ReadColor(const TL9Section& s, const char* key, uint32_t& out) {
    const std::string* v = s.Value(key);
    if (!v) return false;
    std::string t;
    for (char c : *v)
        if (c != ' ') t += c;
    auto bad = [&]() { Fail(0, "[" + s.Name + "] " + key + "=" + *v + " ist keine Farbe RGB(r,g,b)"); };
    if (t.size() < 5 || !EqualNoCase(t.substr(0, 4), "RGB(") || t.back() != ')') bad();
    const char* p = t.data() + 4;
    const char* e = t.data() + t.size() - 1;
    uint32_t rgb = 0;
    for (int i = 0; i < 3; ++i) {
        int part = -1;
        auto [q, ec] = std::from_chars(p, e, part);
        if (ec != std::errc() || part < 0 || part > 255) bad();
        rgb = (rgb << 8) | uint32_t(part);
        p = q;
        if (i < 2) {
            if (p == e || *p != ',') bad();
            ++p;
        }
    }
    if (p != e) bad();
    out = rgb;
    return true;
}

void ReadFont(const TL9Section* s, TL9Font& f) {
    if (!s) return;
    if (const std::string* n = s->Value("Name"); n && !n->empty()) f.Name = *n;
    int size = 0;
    if (ReadInt(*s, "Size", 1, 500, size)) f.SizePt = size;
    ReadBool(*s, "Bold", f.Bold);
    ReadBool(*s, "Italic", f.Italic);
    ReadBool(*s, "Underline", f.Underline);
    ReadBool(*s, "Strikeout", f.Strikeout);
    ReadColor(*s, "Color", f.Color);
}

TL9Cell ReadCell(const TL9Section& s) {
    TL9Cell c;
    ReadInt(s, "Width", 0, 10000000, c.Width);
    ReadInt(s, "Align", 0, 2, c.Align);
    ReadBool(s, "bFill", c.Fill);
    ReadColor(s, "BkColor", c.BkColor);
    if (const TL9Section* sp = s.Child("Spacing")) {
        ReadInt(*sp, "Left", 0, 100000, c.PadLeft);
        ReadInt(*sp, "Top", 0, 100000, c.PadTop);
        ReadInt(*sp, "Right", 0, 100000, c.PadRight);
        ReadInt(*sp, "Bottom", 0, 100000, c.PadBottom);
    }
    if (const TL9Section* sep = s.Child("Separator")) ReadBool(*sep, "Used", c.Separator);
    ReadFont(s.Child("Font"), c.Font);
    if (const std::string* t = s.Value("Text")) {
        if (t->size() >= 2 && t->front() == '"' && t->back() == '"') {
            c.Literal = true;
            c.Text = t->substr(1, t->size() - 2);
        } else {
            c.Literal = t->empty();
            c.Text = *t;
        }
    } else {
        c.Literal = true;
    }
    return c;
}

std::vector<TL9Cell> ReadLine(const TL9Section* line) {
    std::vector<TL9Cell> cells;
    if (!line) return cells;
    const TL9Section* cols = line->Child("Columns");
    if (!cols) return cells;
    for (const TL9Section& c : cols->Children)
        if (EqualNoCase(c.Name, "Column")) cells.push_back(ReadCell(c));
    return cells;
}

double ScaledFontSize(double sizePt, double scale) {
    return std::max(sizePt * scale, std::min(sizePt, 4.0));
}

double LineHeight(const std::vector<TL9Cell>& cells, double scale) {
    double h = 0;
    for (const TL9Cell& c : cells)
        h = std::max(h, L9FontLineHeight(ScaledFontSize(c.Font.SizePt, scale)) + c.PadTop + c.PadBottom);
    return cells.empty() ? 0 : h;
}

void Place(const std::vector<TL9Cell>& cells, double left, double scale, std::vector<double>& xs,
           std::vector<double>& ws) {
    double x = left;
    for (const TL9Cell& c : cells) {
        xs.push_back(x);
        ws.push_back(c.Width * scale);
        x += c.Width * scale;
    }
}

void Replace(std::string& s, const std::string& what, const std::string& with) {
    for (size_t p = s.find(what); p != std::string::npos; p = s.find(what, p + with.size()))
        s.replace(p, what.size(), with);
}

} // namespace

const std::string* TL9Section::Value(const std::string& key) const {
    for (const auto& kv : Values)
        if (EqualNoCase(kv.first, key)) return &kv.second;
    return nullptr;
}

const TL9Section* TL9Section::Child(const std::string& name) const {
    for (const TL9Section& c : Children)
        if (EqualNoCase(c.Name, name)) return &c;
    return nullptr;
}

TL9Section ParseL9Sections(const std::string& text) {
    if (text.size() > MaxProjectSize)
        Fail(0, "Das Projekt ist gr\xF6\xDF"
                "er als 16 MB");
    TL9Section root;
    std::vector<TL9Section*> stack{&root};
    std::vector<int> openedAt{0};
    bool expectBrace = false;
    int lineNo = 0;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string::npos) end = text.size();
        const std::string line = Trim(text.substr(pos, end - pos));
        pos = end;
        if (pos < text.size() && text[pos] == '\r') {
            ++pos;
            if (pos < text.size() && text[pos] == '\n') ++pos;
        } else if (pos < text.size()) {
            ++pos; // a lone LF
        }
        ++lineNo;
        if (line.empty() || line[0] == ';') continue;
        if (expectBrace) {
            if (line != "{") Fail(lineNo, "'{' erwartet nach [" + stack.back()->Name + "]");
            expectBrace = false;
            continue;
        }
        if (line == "}") {
            if (stack.size() == 1) Fail(lineNo, "'}' ohne offenen Abschnitt");
            stack.pop_back();
            openedAt.pop_back();
            continue;
        }
        if (line[0] == '[') {
            if (line.back() != ']' || line.size() < 3)
                Fail(lineNo, "unvollst\xE4ndiger Abschnittsname " + line);
            if (int(stack.size()) > MaxDepth) Fail(lineNo, "Abschnitte tiefer als 32 Ebenen verschachtelt");
            TL9Section* parent = stack.back();
            parent->Children.push_back(TL9Section{line.substr(1, line.size() - 2), {}, {}});
            stack.push_back(&parent->Children.back());
            openedAt.push_back(lineNo);
            expectBrace = true;
            continue;
        }
        const size_t eq = line.find('=');
        if (eq == std::string::npos || eq == 0)
            Fail(lineNo, "weder Abschnitt noch Wert: " + line.substr(0, 60));
        stack.back()->Values.emplace_back(Trim(line.substr(0, eq)), Trim(line.substr(eq + 1)));
    }
    if (expectBrace) Fail(lineNo, "'{' erwartet nach [" + stack.back()->Name + "]");
    if (stack.size() > 1)
        Fail(openedAt.back(), "Abschnitt [" + stack.back()->Name + "] wird nicht geschlossen");
    return root;
}

TL9Layout ReadL9Layout(const std::string& text) {
    const TL9Section root = ParseL9Sections(text);
    TL9Layout l;
    const TL9Section* page = root.Child("Page");
    if (!page) Fail(0, "Das Projekt hat keinen Abschnitt [Page]");
    if (const std::string* o = page->Value("Orientation")) {
        if (EqualNoCase(*o, "Landscape"))
            l.Landscape = true;
        else if (!EqualNoCase(*o, "Portrait"))
            Fail(0, "[Page] Orientation=" + *o + " ist weder Portrait noch Landscape");
    }
    int w = 210000, h = 297000;
    ReadInt(*page, "PaperWidth", 20000, 5000000, w);
    ReadInt(*page, "PaperHeight", 20000, 5000000, h);
    if (l.Landscape != (w > h)) std::swap(w, h);
    l.PaperWidth = w;
    l.PaperHeight = h;
    if (const TL9Section* m = page->Child("Margins")) {
        ReadInt(*m, "Left", 0, 5000000, l.MarginLeft);
        ReadInt(*m, "Top", 0, 5000000, l.MarginTop);
        ReadInt(*m, "Right", 0, 5000000, l.MarginRight);
        ReadInt(*m, "Bottom", 0, 5000000, l.MarginBottom);
    }
    if (double(l.PaperWidth) - l.MarginLeft - l.MarginRight < 20000 ||
        double(l.PaperHeight) - l.MarginTop - l.MarginBottom < 20000)
        Fail(0, "Die Seitenr\xE4nder lassen weniger als 20 mm Platz");

    const TL9Section* table = root.Child("Table");
    if (!table) Fail(0, "Das Projekt hat keinen Abschnitt [Table]");
    const TL9Section* data = table->Child("DataLine");
    if (!data) Fail(0, "Die Tabelle hat keine Datenzeile [DataLine]");
    l.DataLine = ReadLine(data);
    l.HeaderLine = ReadLine(table->Child("HeaderLine"));

    if (const TL9Section* f = root.Child("PageFooter")) {
        if (const std::string* v = f->Value("Left")) l.FooterLeft = *v;
        if (const std::string* v = f->Value("Center")) l.FooterCenter = *v;
        if (const std::string* v = f->Value("Right")) l.FooterRight = *v;
        ReadFont(f->Child("Font"), l.FooterFont);
    }
    return l;
}

double L9FontLineHeight(double sizePt) {
    return sizePt * (25400.0 / 72.0) * 1.15;
}

TL9PageGeometry L9Geometry(const TL9Layout& l) {
    TL9PageGeometry g;
    g.Left = l.MarginLeft;
    g.Top = l.MarginTop;
    g.PrintableWidth = double(l.PaperWidth) - l.MarginLeft - l.MarginRight;
    g.PrintableHeight = double(l.PaperHeight) - l.MarginTop - l.MarginBottom;
    double dataWidth = 0, headerWidth = 0;
    for (const TL9Cell& c : l.DataLine)
        dataWidth += c.Width;
    for (const TL9Cell& c : l.HeaderLine)
        headerWidth += c.Width;
    const double total = std::max(dataWidth, headerWidth);
    g.Scale = total > g.PrintableWidth ? g.PrintableWidth / total : 1.0;
    Place(l.DataLine, g.Left, g.Scale, g.ColumnX, g.ColumnWidth);
    Place(l.HeaderLine, g.Left, g.Scale, g.HeaderX, g.HeaderWidth);
    g.HeaderHeight = LineHeight(l.HeaderLine, g.Scale);
    g.DataHeight = std::max(LineHeight(l.DataLine, g.Scale), 1000.0);
    const bool footer = !l.FooterLeft.empty() || !l.FooterCenter.empty() || !l.FooterRight.empty();
    g.FooterHeight = footer ? L9FontLineHeight(l.FooterFont.SizePt) + 3000 : 0;
    const double room = g.PrintableHeight - g.FooterHeight - g.HeaderHeight;
    g.LinesPerPage = std::max(1, int(std::floor(room / g.DataHeight)));
    return g;
}

double L9ScaledFontSize(double sizePt, double scale) {
    return ScaledFontSize(sizePt, scale);
}

std::string L9FooterText(const std::string& pattern, int page, int pages, const std::string& date) {
    std::string s = pattern;
    Replace(s, "{Page}", std::to_string(page));
    Replace(s, "{Pages}", std::to_string(pages));
    Replace(s, "{Date}", date);
    return s;
}
