// The crash-proof copy of the worksheet's editor text and statement history: a small file in the user's data
// folder, replaced atomically (and synced to the disk) whenever the worksheet saves it, so that a crash, a
// kill or a power loss leaves the last saved state, never a half-written one.
//
// A normal exit saves the state marked as closed: at the next start the text and the history are simply
// there again. Any other end leaves the mark of a running program: the next start asks first whether the
// unsaved text should come back.
#pragma once

#include "app/WorksheetTabs.h"

#include <optional>
#include <string>
#include <vector>

struct TRecoveryState {
    bool closedNormally = false;
    std::string text;                 // the editor's text (Windows-1252, CR LF)
    std::vector<std::string> history; // the history's entries as recorded ("§§" for line breaks)
    int historyPos = 0;
    // Every tab with its text, file name and history position, and which one was current. Empty in the
    // single-worksheet form (then text and historyPos are the one worksheet's); when filled, text and
    // historyPos repeat the current tab's.
    std::vector<TWorksheetTab> tabs;
    int currentTab = 0;
};

std::string SerializeRecovery(const TRecoveryState& state);
// False for anything SerializeRecovery did not write whole (a broken or cut file); out is then untouched.
bool ParseRecovery(const std::string& bytes, TRecoveryState& out);

enum class TRecoveryOffer { Nothing, RestoreQuietly, Ask };
// What a start does with what it found: nothing when there is no state or nothing in it beyond the editor's
// initial text; after a normal exit the state comes back without a question; after any other end the user is
// asked.
TRecoveryOffer RecoveryOfferFor(const std::optional<TRecoveryState>& found, const std::string& initialText);

class TRecoveryFile {
public:
    TRecoveryFile() = default;
    ~TRecoveryFile();
    TRecoveryFile(const TRecoveryFile&) = delete;
    TRecoveryFile& operator=(const TRecoveryFile&) = delete;

    // Takes the first free slot in folder (creating the folder): a lock held as long as this object lives
    // tells a second worksheet started meanwhile to take the next slot, and it goes with the process, however
    // that ends. False when no slot could be taken.
    bool Open(const std::string& folder);
    bool IsOpen() const { return lockFd_ >= 0; }
    // The state in the slot's file; nothing when there is none or it is broken.
    std::optional<TRecoveryState> Load() const;
    // The same, but a file that is there and cannot be read as a whole is moved aside (to the slot's name
    // with ".defekt", so that the next save does not replace it) and brokenMessage says so (Windows-1252);
    // it stays empty otherwise.
    std::optional<TRecoveryState> LoadOrSetAside(std::string& brokenMessage) const;
    // Replaces the slot's file atomically; raises EFileError.
    void Save(const TRecoveryState& state) const;
    const std::string& Path() const { return path_; }

    static constexpr int kSlots = 8;

private:
    int lockFd_ = -1;
    std::string path_;
};
