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
std::string g_versionText; // the release of the loaded library, as OCIClientVersion tells it

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
    OCIClientVersionCode = 0;
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
    g_versionText.clear();
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

namespace {

// What a loaded library offers: the capability bits, the client version code and the version text, or why it
// is no client library this program can use (an empty reason means it is one).
struct TLibraryKind {
    int Groups = 0;
    int Version = 0;
    std::string VersionText;
    std::string Refusal;
};

// A client library is recognised by the routines every release since 8.1 has: OCIEnvCreate, or
// OCIClientVersion (10.2 and later), which also tells the release. OCIInitialize and OCIEnvInit alone (the
// deprecated initialisers of 8.0) do not make a usable client, and version-7 routines are never a reason to
// use the version-7 calls when the version-8 ones are there.
TLibraryKind Classify(const TOCICalls& calls) {
    TLibraryKind k;
    const bool v8 = calls.OCIHandleAlloc && calls.OCIStmtPrepare && calls.OCIStmtExecute;
    int major = 0, minor = 0, update = 0, patch = 0, port = 0;
    if (calls.OCIClientVersion) {
        calls.OCIClientVersion(&major, &minor, &update, &patch, &port);
        k.VersionText = std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(update) +
                        "." + std::to_string(patch) + "." + std::to_string(port);
    }
    if (!v8 || (!calls.OCIEnvCreate && !calls.OCIClientVersion)) {
        if (k.VersionText.empty()) k.VersionText = calls.OCIInitialize ? "8.0" : calls.olog ? "7" : "unknown";
        k.Refusal = "it has neither OCIClientVersion nor OCIEnvCreate";
        return k;
    }
    if (!calls.OCIEnvCreate && !calls.OCIEnvNlsCreate) {
        k.Refusal = "it has no routine that creates an environment (OCIEnvCreate, OCIEnvNlsCreate)";
        return k;
    }
    k.Groups = OCIGroupOCI8 | OCIGroupOCI81;
    k.Version = 3;
    if (major >= 9 || (major == 0 && calls.OCIStmtFetch2)) {
        k.Groups |= OCIGroupOCI9;
        k.Version = 4;
    }
    if (k.VersionText.empty()) k.VersionText = k.Version == 4 ? "9 or later" : "8.1";
    if (calls.olog && calls.oopen && calls.oparse) k.Groups |= OCIGroupOCI7;
    return k;
}

// The process-wide environment: created with the Windows-1252 client character set (and national character
// set), so that text and CLOB data arrive as the single-byte Windows-1252 text the core keeps. A library
// without OCIEnvNlsCreate (before 9.2) takes its character set from NLS_LANG, which gets that character set
// when the user has set none.
sword CreateEnvironment(const TOCICalls& calls, OCIEnv** env) {
    const ub4 mode = OCI_THREADED | OCI_OBJECT;
    if (calls.OCIEnvNlsCreate)
        return calls.OCIEnvNlsCreate(env, mode, nullptr, nullptr, nullptr, nullptr, 0, nullptr,
                                     OCI_WE8MSWIN1252_ID, OCI_WE8MSWIN1252_ID);
    setenv("NLS_LANG", "AMERICAN_AMERICA.WE8MSWIN1252", 0);
    return calls.OCIEnvCreate(env, mode, nullptr, nullptr, nullptr, nullptr, 0, nullptr);
}

} // namespace

void LoadOCI(int home) {
    std::lock_guard<std::mutex> g(g_lock);
    if (g_library) return;
    std::vector<std::string> places = OCILibraryCandidates(home);
    if (places.empty())
        throw EOCICallError("Oracle home " + std::to_string(home - 1) +
                            " is not installed (set OCIDLL or ORACLE_HOME)");
    // Every place is tried in order; one that loads but is no usable client library is noted with the
    // version found there, and the next place is tried.
    std::string tried;
    void* lib = nullptr;
    std::string path;
    TOCICalls calls;
    TLibraryKind kind;
    for (const std::string& p : places) {
        dlerror();
        void* candidate = dlopen(p.c_str(), RTLD_NOW | RTLD_LOCAL);
        std::string why;
        if (candidate) {
            TOCICalls c;
            Bind(candidate, c);
            TLibraryKind k = Classify(c);
            if (k.Refusal.empty()) {
                lib = candidate;
                path = p;
                calls = c;
                kind = k;
                break;
            }
            dlclose(candidate);
            why = "not an Oracle client library of release 8.1 or later: " + k.Refusal + "; version found " +
                  k.VersionText;
        } else {
            const char* e = dlerror();
            why = e ? e : "cannot be loaded";
        }
        if (!tried.empty()) tried += "; ";
        tried += p + " (" + why + ")";
    }
    if (!lib) throw EOCICallError("Cannot load the Oracle client library: tried " + tried);

    ResetOCICalls();
    InstallOCICalls(calls);
    g_library = lib;
    g_path = path;
    g_versionText = kind.VersionText;
    OCIFunctionGroups = kind.Groups;
    OCIClientVersionCode = kind.Version;
    OCIDefaultCallStyle = 2;
    hOCIEnv = nullptr;
    hOCIError = nullptr;

    OCIEnv* env = nullptr;
    sword r = CreateEnvironment(calls, &env);
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
        g_versionText.clear();
        throw EOCICallError("Cannot initialize the Oracle client library " + path + " (version " +
                            kind.VersionText + ", status " + std::to_string(r) + ")");
    }
    hOCIError = static_cast<OCIError*>(err);
    OCIInited = true;
}

std::string OCILibraryVersion() {
    std::lock_guard<std::mutex> g(g_lock);
    return g_library ? g_versionText : std::string();
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
