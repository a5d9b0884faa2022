// The user's files: written so that they are never left half-written, and read only as far as the editor can
// hold them.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

// A file that cannot be read or written; the message names the file and the reason.
class EFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The most bytes a file may have to be loaded into the editor (SQL files, history files).
constexpr std::uint64_t kEditorCapacity = std::uint64_t(16) << 20;
// "Text überschreitet Memo-Kapazität" (Windows-1252)
extern const char* const kMemoCapacityMessage;

// Reads a whole file of at most maxBytes. The size is checked before anything is read (a larger file raises
// EFileError with kMemoCapacityMessage), and the read stops after maxBytes in case the file grows meanwhile.
// Only regular files are read: a device or a pipe would never end.
std::string ReadFileUpTo(const std::string& fileName, std::uint64_t maxBytes);

// Replaces the file's content through a temporary file beside it that is renamed over it, so that a failed
// write leaves the old content in place. A symbolic link is followed (its target gets the content and the
// link stays a link); an existing file keeps its permission bits and, where allowed, its owner; a read-only
// file is refused with the no-rights error and left as it was. With syncToDisk the content is on the disk
// before the rename, so that it survives a power loss.
void WriteFileReplacing(const std::string& fileName, const std::string& content, bool syncToDisk = true);
