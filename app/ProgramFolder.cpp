#include "app/ProgramFolder.h"

#include <climits>
#include <unistd.h>

namespace {
std::string g_override;
}

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

std::string ProgramSubFolder(const char* name) {
    const std::string folder = ProgramFolder();
    return (folder == "/" ? std::string() : folder) + "/" + name;
}
