#include "app/Recovery.h"

#include "app/FileSave.h"

#include <cerrno>
#include <charconv>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char kMagic[] = "Vestra-Wiederherstellung 1\r\n";
// The form with tabs: the history first, then each tab's number, history position, changed mark, file name
// and text, then the current tab's index.
const char kMagicTabs[] = "Vestra-Wiederherstellung 2\r\n";
const char kEnd[] = "Ende\r\n";
// What a recovery file may grow to: the editor's text and a long history.
constexpr std::uint64_t kMaxRecoveryBytes = 8 * kEditorCapacity;

void PutField(std::string& out, const char* name, const std::string& bytes) {
    out += name;
    out += ' ';
    out += std::to_string(bytes.size());
    out += "\r\n";
    out += bytes;
    out += "\r\n";
}

// Reads the data as written, with every length checked against what is left.
class TReader {
public:
    explicit TReader(const std::string& s) : s_(s) {}
    bool Literal(const std::string& text) {
        if (s_.compare(at_, text.size(), text) != 0) return false;
        at_ += text.size();
        return true;
    }
    // "<name> <number>\r\n"
    bool Number(const char* name, std::uint64_t& value) {
        if (!Literal(std::string(name) + " ")) return false;
        const char* begin = s_.data() + at_;
        const char* end = s_.data() + s_.size();
        auto [ptr, ec] = std::from_chars(begin, end, value);
        if (ec != std::errc() || ptr == begin) return false;
        at_ += size_t(ptr - begin);
        return Literal("\r\n");
    }
    bool Field(const char* name, std::string& bytes) {
        std::uint64_t len = 0;
        if (!Number(name, len) || len > s_.size() - at_) return false;
        bytes.assign(s_, at_, size_t(len));
        at_ += size_t(len);
        return Literal("\r\n");
    }
    bool AtEnd() const { return at_ == s_.size(); }
    size_t Left() const { return s_.size() - at_; }

private:
    const std::string& s_;
    size_t at_ = 0;
};

} // namespace

namespace {

void PutHistory(std::string& out, const TRecoveryState& state) {
    out += "Historie " + std::to_string(state.history.size()) + "\r\n";
    for (const std::string& e : state.history)
        PutField(out, "Eintrag", e);
}

std::string SerializeTabs(const TRecoveryState& state) {
    std::string out = kMagicTabs;
    out += std::string("Beendet ") + (state.closedNormally ? "1" : "0") + "\r\n";
    PutHistory(out, state);
    out += "Arbeitsbl\xE4tter " + std::to_string(state.tabs.size()) + "\r\n";
    for (const TWorksheetTab& t : state.tabs) {
        out += "Nummer " + std::to_string(t.number < 1 ? 1 : t.number) + "\r\n";
        out += "Position " + std::to_string(t.historyPos < 0 ? 0 : t.historyPos) + "\r\n";
        out += std::string("Ge\xE4ndert ") + (t.modified ? "1" : "0") + "\r\n";
        PutField(out, "Datei", t.fileName);
        PutField(out, "Text", t.text);
    }
    out += "Aktuell " + std::to_string(state.currentTab < 0 ? 0 : state.currentTab) + "\r\n";
    out += kEnd;
    return out;
}

bool ParseHistory(TReader& r, TRecoveryState& s) {
    std::uint64_t count = 0;
    if (!r.Number("Historie", count)) return false;
    // Each entry takes at least its header: a count beyond what is left is a broken file.
    if (count > r.Left() / 10) return false;
    s.history.resize(size_t(count));
    for (std::string& e : s.history)
        if (!r.Field("Eintrag", e)) return false;
    return true;
}

bool ParseTabs(TReader& r, TRecoveryState& s) {
    std::uint64_t closed = 0, count = 0, current = 0;
    if (!r.Number("Beendet", closed) || closed > 1 || !ParseHistory(r, s) ||
        !r.Number("Arbeitsbl\xE4tter", count))
        return false;
    // A tab takes well over 40 bytes; at least one is always there.
    if (count < 1 || count > r.Left() / 40) return false;
    s.tabs.resize(size_t(count));
    for (TWorksheetTab& t : s.tabs) {
        std::uint64_t number = 0, pos = 0, changed = 0;
        if (!r.Number("Nummer", number) || number < 1 || number > 1000000 || !r.Number("Position", pos) ||
            pos > s.history.size() || !r.Number("Ge\xE4ndert", changed) || changed > 1 ||
            !r.Field("Datei", t.fileName) || !r.Field("Text", t.text))
            return false;
        t.number = int(number);
        t.historyPos = int(pos);
        t.modified = changed == 1;
    }
    if (!r.Number("Aktuell", current) || current >= count || !r.Literal(kEnd) || !r.AtEnd()) return false;
    s.closedNormally = closed == 1;
    s.currentTab = int(current);
    s.text = s.tabs[size_t(current)].text;
    s.historyPos = s.tabs[size_t(current)].historyPos;
    return true;
}

} // namespace

std::string SerializeRecovery(const TRecoveryState& state) {
    if (!state.tabs.empty()) return SerializeTabs(state);
    std::string out = kMagic;
    out += std::string("Beendet ") + (state.closedNormally ? "1" : "0") + "\r\n";
    out += "Position " + std::to_string(state.historyPos < 0 ? 0 : state.historyPos) + "\r\n";
    PutField(out, "Text", state.text);
    out += "Historie " + std::to_string(state.history.size()) + "\r\n";
    for (const std::string& e : state.history)
        PutField(out, "Eintrag", e);
    out += kEnd;
    return out;
}

bool ParseRecovery(const std::string& bytes, TRecoveryState& out) {
    TReader r(bytes);
    TRecoveryState s;
    if (r.Literal(kMagicTabs)) {
        if (!ParseTabs(r, s)) return false;
        out = std::move(s);
        return true;
    }
    std::uint64_t closed = 0, pos = 0, count = 0;
    if (!r.Literal(kMagic) || !r.Number("Beendet", closed) || closed > 1 || !r.Number("Position", pos) ||
        !r.Field("Text", s.text) || !r.Number("Historie", count))
        return false;
    // Each entry takes at least its header: a count beyond what is left is a broken file.
    if (count > r.Left() / 10 || pos > count) return false;
    s.history.resize(size_t(count));
    for (std::string& e : s.history)
        if (!r.Field("Eintrag", e)) return false;
    if (!r.Literal(kEnd) || !r.AtEnd()) return false;
    s.closedNormally = closed == 1;
    s.historyPos = int(pos);
    out = std::move(s);
    return true;
}

TRecoveryOffer RecoveryOfferFor(const std::optional<TRecoveryState>& found, const std::string& initialText) {
    if (!found) return TRecoveryOffer::Nothing;
    const bool oneUntouchedTab =
        found->tabs.size() <= 1 && (found->tabs.empty() || found->tabs[0].fileName.empty());
    if (found->history.empty() && oneUntouchedTab && found->text == initialText)
        return TRecoveryOffer::Nothing;
    return found->closedNormally ? TRecoveryOffer::RestoreQuietly : TRecoveryOffer::Ask;
}

TRecoveryFile::~TRecoveryFile() {
    if (lockFd_ >= 0) ::close(lockFd_); // the lock goes with the descriptor
}

bool TRecoveryFile::Open(const std::string& folder) {
    if (lockFd_ >= 0) return true;
    // The folder and its parents, as far as they are missing.
    for (size_t i = 1; i <= folder.size(); ++i)
        if (i == folder.size() || folder[i] == '/') ::mkdir(folder.substr(0, i).c_str(), 0700);
    for (int slot = 1; slot <= kSlots; ++slot) {
        const std::string base = folder + "/wiederherstellung-" + std::to_string(slot);
        const int fd = ::open((base + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd < 0) return false;
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            lockFd_ = fd;
            path_ = base + ".txt";
            return true;
        }
        ::close(fd);
    }
    return false;
}

std::optional<TRecoveryState> TRecoveryFile::Load() const {
    if (lockFd_ < 0) return std::nullopt;
    TRecoveryState s;
    try {
        if (ParseRecovery(ReadFileUpTo(path_, kMaxRecoveryBytes), s)) return s;
    } catch (const EFileError&) {
        // No file yet, or one that cannot be read: there is nothing to offer.
    }
    return std::nullopt;
}

std::optional<TRecoveryState> TRecoveryFile::LoadOrSetAside(std::string& brokenMessage) const {
    brokenMessage.clear();
    if (lockFd_ < 0) return std::nullopt;
    std::string bytes;
    try {
        bytes = ReadFileUpTo(path_, kMaxRecoveryBytes);
    } catch (const EFileError&) {
        // No file yet (the first start), or one that cannot be read: there is nothing to offer, and a file
        // beyond the limit is set aside below only when it could be read.
        if (::access(path_.c_str(), F_OK) != 0) return std::nullopt;
    }
    TRecoveryState s;
    if (!bytes.empty() && ParseRecovery(bytes, s)) return s;
    // Whatever is in the file may still hold the user's text: it is kept under another name, never replaced.
    const std::string aside = path_ + ".defekt";
    if (::rename(path_.c_str(), aside.c_str()) == 0)
        brokenMessage = "Die Arbeitsbl\xE4tter der letzten Sitzung konnten nicht gelesen werden: die Datei " +
                        path_ +
                        " ist besch\xE4"
                        "digt. Sie wurde als " +
                        aside + " aufbewahrt; es wird mit einem leeren Arbeitsblatt begonnen.";
    else
        brokenMessage = "Die Arbeitsbl\xE4tter der letzten Sitzung konnten nicht gelesen werden: die Datei " +
                        path_ +
                        " ist besch\xE4"
                        "digt.";
    return std::nullopt;
}

void TRecoveryFile::Save(const TRecoveryState& state) const {
    if (lockFd_ < 0) return;
    WriteFileReplacing(path_, SerializeRecovery(state));
}
