#include "ocicall/OraCallLoad.h"

#include "ocicall/OraCall.h"

#include <cstdlib>
#include <dlfcn.h>
#include <mutex>

namespace oracall {

namespace {

constexpr const char* LibraryName = "libclntsh.so";

std::mutex g_lock;
void* g_library = nullptr;
std::string g_path;

std::string EnvValue(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

// Every place in search order, configured or not ("" for a place whose variable is unset).
std::vector<std::string> AllPlaces() {
    std::vector<std::string> places;
    places.push_back(EnvValue("OCIDLL"));
    std::string home = EnvValue("ORACLE_HOME");
    if (!home.empty()) {
        if (home.back() != '/') home += '/';
        home += "lib/";
        home += LibraryName;
    }
    places.push_back(home);
    places.push_back(LibraryName);
    return places;
}

void Bind(void* lib, TOCICalls& calls) {
#define VESTRA_OCI_BIND(name, ret, params) calls.name = reinterpret_cast<T##name>(dlsym(lib, #name));
    VESTRA_OCI8_FUNCTIONS(VESTRA_OCI_BIND)
    VESTRA_OCI7_FUNCTIONS(VESTRA_OCI_BIND)
#undef VESTRA_OCI_BIND
}

void ClearState() {
    OCIFunctionGroups = 0;
    OCIClientVersion = 0;
    OCIDefaultCallStyle = 0;
    OCIInited = false;
    hOCIEnv = nullptr;
    hOCIError = nullptr;
}

void Unload() {
    if (!g_library) return;
    // The handles belong to the library: free them through it before it goes.
    if (hOCIError) OCIHandleFree(hOCIError, OCI_HTYPE_ERROR);
    if (hOCIEnv) OCIHandleFree(hOCIEnv, OCI_HTYPE_ENV);
    ResetOCICalls();
    ClearState();
    dlclose(g_library);
    g_library = nullptr;
    g_path.clear();
}

} // namespace

std::vector<std::string> OCILibraryCandidates(int home) {
    std::vector<std::string> all = AllPlaces();
    std::vector<std::string> configured;
    for (const std::string& p : all)
        if (!p.empty()) configured.push_back(p);
    if (home <= 0) return configured;
    if (size_t(home) > configured.size()) return {};
    return {configured[size_t(home - 1)]};
}

void LoadOCI(int home) {
    std::lock_guard<std::mutex> g(g_lock);
    if (g_library) return;
    std::vector<std::string> places = OCILibraryCandidates(home);
    if (places.empty())
        throw EOCICallError("Oracle home " + std::to_string(home - 1) +
                            " is not installed (set OCIDLL or ORACLE_HOME)");
    std::string tried;
    void* lib = nullptr;
    std::string path;
    for (const std::string& p : places) {
        dlerror();
        lib = dlopen(p.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (lib) {
            path = p;
            break;
        }
        const char* why = dlerror();
        if (!tried.empty()) tried += "; ";
        tried += p + " (" + (why ? why : "cannot be loaded") + ")";
    }
    if (!lib) throw EOCICallError("Cannot load the Oracle client library: tried " + tried);

    TOCICalls calls;
    Bind(lib, calls);
    int groups = 0;
    int version = 0;
    if (calls.olog && calls.oopen && calls.oparse) {
        groups |= OCIGroupOCI7;
        version = 1;
    }
    if (calls.OCIInitialize && calls.OCIEnvInit && calls.OCIHandleAlloc && calls.OCIStmtPrepare) {
        groups |= OCIGroupOCI8;
        version = 2;
        if (calls.OCIEnvCreate) {
            groups |= OCIGroupOCI81;
            version = 3;
            if (calls.OCIStmtFetch2) {
                groups |= OCIGroupOCI9;
                version = 4;
            }
        }
    }
    if (groups == 0) {
        dlclose(lib);
        throw EOCICallError(path +
                            " is not an Oracle client library (it has neither OCIInitialize nor olog)");
    }
    ResetOCICalls();
    InstallOCICalls(calls);
    g_library = lib;
    g_path = path;
    OCIFunctionGroups = groups;
    OCIClientVersion = version;
    OCIDefaultCallStyle = (groups & OCIGroupOCI8) ? 2 : 1;
    hOCIEnv = nullptr;
    hOCIError = nullptr;

    if (groups & OCIGroupOCI8) {
        OCIEnv* env = nullptr;
        ub4 mode = OCI_THREADED | OCI_OBJECT;
        sword r;
        if (groups & OCIGroupOCI81) {
            r = OCIEnvCreate(&env, mode, nullptr, nullptr, nullptr, nullptr, 0, nullptr);
        } else {
            r = OCIInitialize(mode, nullptr, nullptr, nullptr, nullptr);
            if (r == OCI_SUCCESS) r = OCIEnvInit(&env, OCI_DEFAULT, 0, nullptr);
        }
        dvoid* err = nullptr;
        if (r == OCI_SUCCESS) {
            hOCIEnv = env;
            r = OCIHandleAlloc(env, &err, OCI_HTYPE_ERROR, 0, nullptr);
        }
        if (r != OCI_SUCCESS) {
            if (hOCIEnv) OCIHandleFree(hOCIEnv, OCI_HTYPE_ENV);
            hOCIEnv = nullptr;
            ResetOCICalls();
            ClearState();
            dlclose(lib);
            g_library = nullptr;
            g_path.clear();
            throw EOCICallError("Cannot initialize the Oracle client library " + path + " (status " +
                                std::to_string(r) + ")");
        }
        hOCIError = static_cast<OCIError*>(err);
    }
    OCIInited = true;
}

void FreeOCI() {
    std::lock_guard<std::mutex> g(g_lock);
    Unload();
}

bool OCILibraryLoaded() {
    std::lock_guard<std::mutex> g(g_lock);
    return g_library != nullptr;
}

std::string OCILibraryPath() {
    std::lock_guard<std::mutex> g(g_lock);
    return g_path;
}

} // namespace oracall
