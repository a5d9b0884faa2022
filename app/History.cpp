#include "app/History.h"

#include "app/SelectParser.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

namespace {

const char kMark[] = "\xA7\xA7"; // "§§" in Windows-1252

std::string ReplaceAll(const std::string& s, const std::string& from, const std::string& to) {
    std::string out;
    out.reserve(s.size());
    size_t i = 0;
    for (size_t at; (at = s.find(from, i)) != std::string::npos; i = at + from.size()) {
        out.append(s, i, at - i);
        out += to;
    }
    out.append(s, i, std::string::npos);
    return out;
}

} // namespace

std::string THistory::Encode(const std::string& editorText) {
    return ReplaceAll(editorText, "\r\n", kMark);
}

std::string THistory::Decode(const std::string& entry) {
    return ReplaceAll(entry, kMark, "\r\n");
}

void THistory::Record(const std::string& editorText) {
    entries_.push_back(Encode(editorText));
    pos_ = int(entries_.size());
}

bool THistory::Back(std::string& editorText) {
    if (pos_ <= 1 || pos_ - 1 > int(entries_.size())) return false;
    --pos_;
    editorText = Decode(entries_[pos_ - 1]);
    return true;
}

bool THistory::Forward(std::string& editorText) {
    if (pos_ >= int(entries_.size())) return false;
    ++pos_;
    editorText = Decode(entries_[pos_ - 1]);
    return true;
}

std::string THistory::LabelText() const {
    return std::to_string(pos_) + " / " + std::to_string(entries_.size());
}

void THistory::SaveToFile(const std::string& fileName) const {
    std::string content;
    for (const std::string& e : entries_) {
        content += e;
        content += "\r\n";
    }
    WriteWholeFile(fileName, content);
}

void THistory::SetPos(int pos) {
    pos_ = pos < 0 ? 0 : (pos > Count() ? Count() : pos);
}

void THistory::Restore(std::vector<std::string> entries, int pos) {
    entries_ = std::move(entries);
    pos_ = pos < 0 ? 0 : pos > int(entries_.size()) ? int(entries_.size()) : pos;
}

std::string THistory::LoadFromFile(const std::string& fileName) {
    std::vector<std::string> lines = SplitLines(ReadFileUpTo(fileName, kEditorCapacity));
    entries_ = std::move(lines);
    pos_ = 1;
    if (entries_.empty()) {
        char msg[80];
        std::snprintf(msg, sizeof msg,
                      "Listenindex \xFC"
                      "berschreitet das Maximum (%d)",
                      0);
        throw EListError(msg);
    }
    return Decode(entries_[0]);
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            lines.push_back(text.substr(start, i - start));
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            start = i + 1;
        }
    }
    if (start < text.size()) lines.push_back(text.substr(start));
    return lines;
}

void SaveSqlFile(const std::string& fileName, const std::string& editorText) {
    WriteWholeFile(fileName, editorText);
}

std::string LoadSqlFile(const std::string& fileName) {
    const std::string raw = ReadFileUpTo(fileName, kEditorCapacity);
    std::string text;
    text.reserve(raw.size() + raw.size() / 16);
    for (size_t i = 0; i < raw.size(); ++i) {
        const char c = raw[i];
        if (c == '\r') {
            text += "\r\n";
            if (i + 1 < raw.size() && raw[i + 1] == '\n') ++i;
        } else if (c == '\n') {
            text += "\r\n";
        } else {
            text += c;
        }
    }
    return text;
}

std::string ReadWholeFile(const std::string& fileName) {
    std::ifstream in(fileName, std::ios::binary);
    if (!in)
        throw EFileError("Datei " + fileName +
                         " kann nicht ge\xF6"
                         "ffnet werden. " +
                         std::strerror(errno));
    std::ostringstream ss;
    ss << in.rdbuf();
    if (in.bad()) throw EFileError("Fehler beim Lesen von " + fileName);
    return ss.str();
}

void WriteWholeFile(const std::string& fileName, const std::string& content) {
    WriteFileReplacing(fileName, content);
}
