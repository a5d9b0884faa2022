#include "app/FileSave.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

const char* const kMemoCapacityMessage = "Text \xFC"
                                         "berschreitet Memo-Kapazit\xE4t";

namespace {

std::string CannotOpen(const std::string& fileName, int err) {
    return "Datei " + fileName +
           " kann nicht ge\xF6"
           "ffnet werden. " +
           std::strerror(err);
}

std::string CannotCreate(const std::string& fileName, int err) {
    return "Datei " + fileName + " kann nicht erstellt werden. " + std::strerror(err);
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// The file a name finally stands for: symbolic links are followed, also to a target that does not exist yet
// (a link to a file about to be created). A loop of links stops after a bounded number of steps.
std::string ResolveLinks(const std::string& fileName) {
    std::string path = fileName;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
        std::string target(size_t(PATH_MAX), '\0');
        const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
        if (n <= 0 || size_t(n) >= target.size()) return path;
        target.resize(size_t(n));
        path = target[0] == '/' ? target : FolderOf(path) + "/" + target;
    }
    throw EFileError(CannotCreate(fileName, ELOOP));
}

bool WriteAll(int fd, const std::string& content) {
    size_t done = 0;
    while (done < content.size()) {
        const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += size_t(n);
    }
    return true;
}

} // namespace

std::string ReadFileUpTo(const std::string& fileName, std::uint64_t maxBytes) {
    const int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw EFileError(CannotOpen(fileName, errno));
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat st {};
    if (::fstat(fd, &st) != 0) throw EFileError(CannotOpen(fileName, errno));
    if (!S_ISREG(st.st_mode)) throw EFileError(CannotOpen(fileName, S_ISDIR(st.st_mode) ? EISDIR : EINVAL));
    if (std::uint64_t(st.st_size) > maxBytes) throw EFileError(kMemoCapacityMessage);
    std::string content;
    content.resize(size_t(st.st_size));
    size_t have = 0;
    for (;;) {
        if (have == content.size()) {
            // The file may have grown since fstat: read on, but never past the limit.
            if (have > maxBytes) throw EFileError(kMemoCapacityMessage);
            content.resize(have + 4096);
        }
        const ssize_t n = ::read(fd, content.data() + have, content.size() - have);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw EFileError("Fehler beim Lesen von " + fileName + ". " + std::strerror(errno));
        }
        if (n == 0) break;
        have += size_t(n);
    }
    content.resize(have);
    if (have > maxBytes) throw EFileError(kMemoCapacityMessage);
    return content;
}

void WriteFileReplacing(const std::string& fileName, const std::string& content, bool syncToDisk) {
    const std::string target = ResolveLinks(fileName);
    struct stat st {};
    const bool exists = ::stat(target.c_str(), &st) == 0;
    if (exists) {
        if (!S_ISREG(st.st_mode))
            throw EFileError(CannotCreate(fileName, S_ISDIR(st.st_mode) ? EISDIR : EINVAL));
        // Read-only means no write bit at all, also for a user whom the system would let write anyway.
        if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || ::access(target.c_str(), W_OK) != 0)
            throw EFileError(CannotCreate(fileName, EACCES));
    }
    static std::atomic<unsigned> counter{0};
    const std::string tmp =
        target + ".tmp~" + std::to_string(::getpid()) + "-" + std::to_string(counter.fetch_add(1));
    const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) throw EFileError(CannotCreate(fileName, errno));
    bool ok = true;
    int err = 0;
    if (exists) {
        // The new file is the old one's: same permission bits, same owner where the system allows it.
        if (::fchmod(fd, st.st_mode & 07777) != 0) {
            ok = false;
            err = errno;
        }
        if (ok && (st.st_uid != ::geteuid() || st.st_gid != ::getegid()))
            (void)!::fchown(fd, st.st_uid, st.st_gid); // a user who may not give the file away keeps it
    }
    if (ok && !WriteAll(fd, content)) {
        ok = false;
        err = errno;
    }
    if (ok && syncToDisk && ::fsync(fd) != 0) {
        ok = false;
        err = errno;
    }
    if (::close(fd) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (!ok) {
        ::unlink(tmp.c_str());
        throw EFileError("Fehler beim Schreiben von " + fileName + ". " + std::strerror(err));
    }
    if (::rename(tmp.c_str(), target.c_str()) != 0) {
        err = errno;
        ::unlink(tmp.c_str());
        throw EFileError(CannotCreate(fileName, err));
    }
    if (syncToDisk) {
        // The rename itself is on the disk once the folder is.
        const int dir = ::open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir >= 0) {
            ::fsync(dir);
            ::close(dir);
        }
    }
}
