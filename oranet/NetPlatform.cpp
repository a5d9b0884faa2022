#include "oranet/NetPlatform.h"

#include <cstdlib>
#include <pwd.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace oranet::platform {

std::string ComputerName() {
    char buf[257] = {};
    if (gethostname(buf, sizeof buf - 1) != 0) return {};
    std::string s(buf);
    // The short name, as a workstation name would be.
    size_t dot = s.find('.');
    if (dot != std::string::npos && dot > 0) s.resize(dot);
    if (s.size() > 256) s.resize(256);
    return s;
}

std::string LoginName() {
    std::string s;
    struct passwd pw, *result = nullptr;
    char buf[4096];
    if (getpwuid_r(geteuid(), &pw, buf, sizeof buf, &result) == 0 && result && result->pw_name)
        s = result->pw_name;
    if (s.empty()) {
        const char* u = std::getenv("USER");
        if (u) s = u;
    }
    if (s.size() > 256) s.resize(256);
    return s;
}

unsigned long ProcessId() {
    return static_cast<unsigned long>(getpid());
}

unsigned long ThreadId() {
    return static_cast<unsigned long>(syscall(SYS_gettid));
}

std::string ProgramFileName() {
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return {};
    std::string s(buf, size_t(n));
    size_t slash = s.rfind('/');
    return slash == std::string::npos ? s : s.substr(slash + 1);
}

} // namespace oranet::platform
