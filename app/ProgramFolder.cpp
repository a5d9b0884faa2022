#include "app/ProgramFolder.h"

#include <climits>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace {
std::string g_override;

bool IsDirectory(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string Join(const std::string& folder, const std::string& name) {
    return (folder == "/" ? std::string() : folder) + "/" + name;
}

// The parent of a folder without a trailing separator ("/usr/bin" -> "/usr", "/bin" -> "/").
std::string Parent(const std::string& folder) {
    const size_t slash = folder.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? std::string("/") : folder.substr(0, slash);
}

std::string InstalledShareFolder() {
    return Join(Parent(ProgramFolder()), "share/vestra");
}

// mkdir -p for the user's data folder; an error shows up later where the folder is used.
void MakeFolders(const std::string& path) {
    for (size_t pos = 1; pos <= path.size(); ++pos) {
        if (pos == path.size() || path[pos] == '/') ::mkdir(path.substr(0, pos).c_str(), 0700);
    }
}

bool UsesUserDataFolder() {
    return InstalledLayout() || ::access(ProgramFolder().c_str(), W_OK) != 0;
}
} // namespace

std::string ProgramFolder() {
    if (!g_override.empty()) return g_override;
    char buf[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return ".";
    std::string path(buf, size_t(n));
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

void SetProgramFolderForTests(const std::string& folder) {
    g_override = folder;
}

bool InstalledLayout() {
    const std::string folder = ProgramFolder();
    const size_t slash = folder.find_last_of('/');
    const std::string base = slash == std::string::npos ? folder : folder.substr(slash + 1);
    // A build tree's bin/ has no share/vestra beside it, so it stays unpacked.
    return base == "bin" && IsDirectory(InstalledShareFolder());
}

std::string DataFolder() {
    return InstalledLayout() ? InstalledShareFolder() : ProgramFolder();
}

std::string UserDataFolder() {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg && *xdg == '/') return Join(xdg, "vestra");
    const char* home = std::getenv("HOME");
    return Join(home && *home ? home : "/tmp", ".local/share/vestra");
}

std::string UserFolder() {
    return UsesUserDataFolder() ? UserDataFolder() : ProgramFolder();
}

std::string ProgramSubFolder(const char* name) {
    if (!UsesUserDataFolder()) return Join(ProgramFolder(), name);
    const std::string folder = Join(UserDataFolder(), name);
    MakeFolders(folder);
    return folder;
}
