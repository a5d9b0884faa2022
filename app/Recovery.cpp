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

std::string SerializeRecovery(const TRecoveryState& state) {
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
    if (found->history.empty() && found->text == initialText) return TRecoveryOffer::Nothing;
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

void TRecoveryFile::Save(const TRecoveryState& state) const {
    if (lockFd_ < 0) return;
    WriteFileReplacing(path_, SerializeRecovery(state));
}
