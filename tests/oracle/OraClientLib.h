// Shared rig of the client-library mode tests: where the stand-in client library lies, and an environment
// whose OCIDLL and ORACLE_HOME a test sets and the destructor puts back.
#pragma once

#include <climits>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace oratest {

// The folder of the running test program (the test libraries are built next to it).
inline std::string TestProgramDir() {
    char buf[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    std::string path(buf, n > 0 ? size_t(n) : 0);
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

inline std::string OciLibPath() {
    return TestProgramDir() + "/libvestra_ocilib.so";
}

inline std::string OciLib80Path() {
    return TestProgramDir() + "/libvestra_ocilib80.so";
}

inline std::string OciLib90Path() {
    return TestProgramDir() + "/libvestra_ocilib90.so";
}

inline std::string NotOciPath() {
    return TestProgramDir() + "/libvestra_notoci.so";
}

class TOciEnv {
public:
    TOciEnv() : dll_(Get("OCIDLL")), home_(Get("ORACLE_HOME")) {
        unsetenv("OCIDLL");
        unsetenv("ORACLE_HOME");
    }
    ~TOciEnv() {
        Put("OCIDLL", dll_);
        Put("ORACLE_HOME", home_);
    }
    void Set(const char* name, const std::string& value) { setenv(name, value.c_str(), 1); }
    void Unset(const char* name) { unsetenv(name); }

private:
    struct TSaved {
        bool set = false;
        std::string value;
    };
    static TSaved Get(const char* name) {
        const char* v = std::getenv(name);
        return v ? TSaved{true, v} : TSaved{};
    }
    static void Put(const char* name, const TSaved& s) {
        if (s.set)
            setenv(name, s.value.c_str(), 1);
        else
            unsetenv(name);
    }
    TSaved dll_, home_;
};

} // namespace oratest
