// Client-library mode: the binder's search order and error texts, the entry points it binds and those it
// leaves "not linked", and sessions that log on, query and write against the emulator through the dlopen'ed
// stand-in library, switching Net and Home in one process.
#include "OraClientLib.h"
#include "OraE2e.h"

#include "dataset/DBErrors.h"
#include "ocicall/OraCallLoad.h"
#include "oracle/OraObjects.h"
#include "oranet/NetCalls.h"

#include <dlfcn.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>

using namespace oratest;

// The stand-in library forwards its session, statement and fetch routines to this program's network
// emulation: the emulated routine of an entry point, by name.
extern "C" __attribute__((visibility("default"))) void* vestra_ocilib_host_routine(const char* name) {
    static const std::map<std::string, void*> routines = [] {
        oracall::TOCICalls calls;
        oranet::GetNetCalls(calls);
        std::map<std::string, void*> m;
#define VESTRA_HOST_ROUTINE(fn, ret, params) m[#fn] = reinterpret_cast<void*>(calls.fn);
        VESTRA_OCI8_FUNCTIONS(VESTRA_HOST_ROUTINE)
#undef VESTRA_HOST_ROUTINE
        return m;
    }();
    auto it = routines.find(name ? name : "");
    return it == routines.end() ? nullptr : it->second;
}

namespace {

namespace fs = std::filesystem;

std::string LoadError(int home) {
    try {
        oracall::LoadOCI(home);
    } catch (const oracall::EOCICallError& e) {
        return e.what();
    }
    return "";
}

std::string NotLinkedText(const std::function<void()>& call) {
    try {
        call();
    } catch (const oracall::EOCICallError& e) {
        return e.what();
    }
    return "linked";
}

// A counter of the loaded stand-in library.
int LibCounter(int which) {
    void* lib = dlopen(OciLibPath().c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (!lib) return -1;
    auto f = reinterpret_cast<int (*)(int)>(dlsym(lib, "ocilib_counter"));
    int v = f ? f(which) : -1;
    dlclose(lib);
    return v;
}

// An Oracle home folder whose lib/libclntsh.so is the stand-in library.
struct THomeDir {
    fs::path dir;
    THomeDir() {
        dir = fs::temp_directory_path() / ("vestra-home-" + std::to_string(getpid()));
        fs::create_directories(dir / "lib");
        fs::remove(dir / "lib" / "libclntsh.so");
        fs::create_symlink(OciLibPath(), dir / "lib" / "libclntsh.so");
    }
    ~THomeDir() {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
};

struct TUnload {
    ~TUnload() { oracall::FreeOCI(); }
};

TEST(OciBinder, CandidatesFollowTheSearchOrderAndAHomePicksOnePlace) {
    TOciEnv env;
    EXPECT_EQ(oracall::OCILibraryCandidates(0), std::vector<std::string>{"libclntsh.so"});
    env.Set("ORACLE_HOME", "/opt/oracle");
    env.Set("OCIDLL", "/x/client.so");
    std::vector<std::string> all = {"/x/client.so", "/opt/oracle/lib/libclntsh.so", "libclntsh.so"};
    EXPECT_EQ(oracall::OCILibraryCandidates(0), all);
    EXPECT_EQ(oracall::OCILibraryCandidates(1), std::vector<std::string>{"/x/client.so"});
    EXPECT_EQ(oracall::OCILibraryCandidates(2), std::vector<std::string>{"/opt/oracle/lib/libclntsh.so"});
    EXPECT_EQ(oracall::OCILibraryCandidates(3), std::vector<std::string>{"libclntsh.so"});
    EXPECT_TRUE(oracall::OCILibraryCandidates(4).empty());
    // A trailing slash on the home is not doubled; without OCIDLL the home comes first.
    env.Unset("OCIDLL");
    env.Set("ORACLE_HOME", "/opt/oracle/");
    EXPECT_EQ(oracall::OCILibraryCandidates(1), std::vector<std::string>{"/opt/oracle/lib/libclntsh.so"});
    EXPECT_NE(LoadError(5).find("Oracle home 4 is not installed"), std::string::npos);
}

TEST(OciBinder, AFailedLoadNamesEveryPlaceTriedAndLeavesNothingLoaded) {
    TOciEnv env;
    env.Set("OCIDLL", "/nonexistent/oci.so");
    env.Set("ORACLE_HOME", "/nonexistent-home");
    std::string e = LoadError(0);
    EXPECT_EQ(e.rfind("Cannot load the Oracle client library: tried ", 0), 0u) << e;
    EXPECT_NE(e.find("/nonexistent/oci.so ("), std::string::npos) << e;
    EXPECT_NE(e.find("/nonexistent-home/lib/libclntsh.so ("), std::string::npos) << e;
    EXPECT_NE(e.find("; libclntsh.so ("), std::string::npos) << e;
    EXPECT_FALSE(oracall::OCILibraryLoaded());
    EXPECT_FALSE(oracall::OCIInited);

    env.Set("OCIDLL", NotOciPath());
    e = LoadError(1);
    EXPECT_NE(e.find(NotOciPath() + " (not an Oracle client library of release 8.1 or later: it has neither "
                                    "OCIClientVersion nor OCIEnvCreate; version found unknown)"),
              std::string::npos)
        << e;
    EXPECT_FALSE(oracall::OCILibraryLoaded());
    EXPECT_EQ(oracall::OCIFunctionGroups, 0);
}

// A library with only the deprecated initialisers of 8.0 is no client this program uses: the place is named
// with the version found there, and the next place that holds a current client is taken.
TEST(OciBinder, ALibraryWithOnlyTheDeprecatedInitialisersIsPassedOver) {
    TOciEnv env;
    TUnload unload;
    env.Set("OCIDLL", OciLib80Path());
    std::string e = LoadError(1);
    EXPECT_NE(e.find(OciLib80Path() +
                     " (not an Oracle client library of release 8.1 or later: it has neither "
                     "OCIClientVersion nor OCIEnvCreate; version found 8.0)"),
              std::string::npos)
        << e;
    EXPECT_FALSE(oracall::OCILibraryLoaded());
    THomeDir home;
    env.Set("ORACLE_HOME", home.dir.string());
    oracall::LoadOCI(0);
    EXPECT_EQ(oracall::OCILibraryPath(), (home.dir / "lib" / "libclntsh.so").string());
    EXPECT_EQ(oracall::OCILibraryVersion(), "19.3.0.0.0");
}

TEST(OciBinder, TheFirstPlaceThatLoadsWins) {
    TOciEnv env;
    TUnload unload;
    THomeDir home;
    env.Set("OCIDLL", "/nonexistent/oci.so");
    env.Set("ORACLE_HOME", home.dir.string());
    oracall::LoadOCI(0);
    EXPECT_EQ(oracall::OCILibraryPath(), (home.dir / "lib" / "libclntsh.so").string());
    oracall::FreeOCI();
    env.Set("OCIDLL", OciLibPath());
    oracall::LoadOCI(0);
    EXPECT_EQ(oracall::OCILibraryPath(), OciLibPath());
    // A second load keeps the library that is loaded.
    oracall::LoadOCI(2);
    EXPECT_EQ(oracall::OCILibraryPath(), OciLibPath());
}

TEST(OciBinder, BindsWhatTheLibraryHasAndLeavesTheRestNotLinked) {
    TOciEnv env;
    TUnload unload;
    env.Set("OCIDLL", OciLibPath());
    for (int round = 0; round < 4; ++round) {
        oracall::LoadOCI(0);
        ASSERT_TRUE(oracall::OCILibraryLoaded());
        EXPECT_EQ(oracall::OCIFunctionGroups, oracall::OCIGroupOCI7 | oracall::OCIGroupOCI8 |
                                                  oracall::OCIGroupOCI81 | oracall::OCIGroupOCI9);
        EXPECT_EQ(oracall::OCIClientVersionCode, 4);
        EXPECT_EQ(oracall::OCIDefaultCallStyle, 2);
        EXPECT_TRUE(oracall::OCIInited);
        ASSERT_NE(oracall::hOCIEnv, nullptr);
        ASSERT_NE(oracall::hOCIError, nullptr);
        EXPECT_EQ(LibCounter(5), 1); // one environment
        // Created with the Windows-1252 client and national character sets (WE8MSWIN1252 = 178).
        EXPECT_EQ(LibCounter(7), 178);
        EXPECT_EQ(LibCounter(8), 178);
        EXPECT_EQ(oracall::OCILibraryVersion(), "19.3.0.0.0");
        // Version-7 routines the library has are bound, the others are not.
        int calls = LibCounter(4);
        EXPECT_EQ(oracall::ocom(nullptr), 0);
        EXPECT_EQ(LibCounter(4), calls + 1);
        EXPECT_EQ(NotLinkedText([] { oracall::obreak(nullptr); }), "OCI function is not linked");
        EXPECT_EQ(NotLinkedText([] { oracall::OCILobCopy(nullptr, nullptr, nullptr, nullptr, 0, 0, 0); }),
                  "OCI function is not linked");
        EXPECT_EQ(NotLinkedText([] {
                      oracall::OCIPasswordChange(nullptr, nullptr, nullptr, 0, nullptr, 0, nullptr, 0, 0);
                  }),
                  "OCI function is not linked");
        EXPECT_TRUE(oracall::OCICallLinked(reinterpret_cast<const void*>(oracall::OCITypeByName)));
        oracall::FreeOCI();
        EXPECT_FALSE(oracall::OCILibraryLoaded());
        EXPECT_EQ(LibCounter(5), -1); // the library is gone from the process
        EXPECT_EQ(oracall::hOCIEnv, nullptr);
        EXPECT_EQ(oracall::OCIFunctionGroups, 0);
        EXPECT_FALSE(oracall::OCIInited);
        // Unloaded, every slot is back to "not linked".
        EXPECT_EQ(NotLinkedText([] { oracall::ocom(nullptr); }), "OCI function is not linked");
        EXPECT_FALSE(oracall::OCICallLinked(reinterpret_cast<const void*>(oracall::OCITypeByName)));
    }
}

// A session in client-library mode (Net off), logged on to the emulator through the stand-in library.
std::unique_ptr<TOraSession> LibSession(const TEmu& emu) {
    auto s = std::make_unique<TOraSession>();
    s->ConnectPrompt = false;
    s->Options().SetDateFormat("DD.MM.YYYY");
    s->SetUsername("scott");
    s->SetPassword("tiger");
    s->SetServer(emu.Server());
    return s;
}

std::string One(TOraSession* s, const std::string& sql) {
    TOraQuery q(s);
    q.SetSQL(sql);
    q.Open();
    return q.Fields(0)->AsString();
}

TEST(OciClientLibraryMode, LogsOnQueriesWritesAndReportsErrorsThroughTheLoadedLibrary) {
    TOciEnv env;
    TUnload unload;
    env.Set("OCIDLL", OciLibPath());
    TEmu emu;
    auto s = LibSession(emu);
    ASSERT_FALSE(s->Options().Net());
    s->Connect();
    ASSERT_TRUE(s->Connected());
    s->Disconnect();
    {
        TPrepareLog log; // wraps the loaded library's prepare (the library stays loaded across logons)
        s->Connect();
        ASSERT_TRUE(s->Connected());
        EXPECT_EQ(log.Starting("ALTER SESSION SET NLS_DATE_FORMAT='DD.MM.YYYY'").size(), 1u);
        EXPECT_TRUE(log.Starting("begin SELECT Version").empty());
    }
    EXPECT_TRUE(oracall::OCILibraryLoaded());
    EXPECT_EQ(oracall::OCILibraryPath(), OciLibPath());
    // The library's 19c banner gives the release update; a server of release 19 is above 8, so the session
    // keeps the version-8 calls and long strings are 4000 bytes.
    EXPECT_EQ(s->GetServerVersion(), "19.3.0.0.0");
    EXPECT_EQ(s->OCIConnection()->MaxStringSize(), 4000);
    EXPECT_EQ(s->OCIConnection()->EffectiveCallStyle(), 2);

    EXPECT_EQ(One(s.get(), "SELECT ENAME FROM EMP WHERE EMPNO = 7839"), "KING");
    EXPECT_EQ(One(s.get(), "SELECT TO_CHAR(HIREDATE) FROM EMP WHERE EMPNO = 7369"), "17.12.1980");
    TOraQuery q(s.get());
    q.SetSQL("SELECT EMPNO, ENAME FROM EMP ORDER BY EMPNO");
    q.Open();
    int rows = 0;
    while (!q.Eof()) {
        ++rows;
        q.Next();
    }
    EXPECT_EQ(rows, 14);
    q.Close();

    s->SetAutoCommit(false);
    TOraSQL ins(s.get());
    ins.SetSQL("INSERT INTO DEPT (DEPTNO, DNAME, LOC) VALUES (:NO, :NAME, 'BONN')");
    ins.ParamByName("NO")->SetAsInteger(77);
    ins.ParamByName("NAME")->SetAsString("LIBRARY");
    ins.Execute();
    EXPECT_EQ(ins.RowsAffected(), 1);
    s->Commit();
    EXPECT_EQ(One(s.get(), "SELECT DNAME FROM DEPT WHERE DEPTNO = 77"), "LIBRARY");

    // A server error arrives with its code and text, and the session goes on.
    try {
        One(s.get(), "SELECT * FROM NO_SUCH_TABLE");
        FAIL() << "no error";
    } catch (const EOraError& e) {
        EXPECT_EQ(e.ErrorCode, 942);
        EXPECT_NE(std::string(e.what()).find("ORA-00942"), std::string::npos) << e.what();
    }
    EXPECT_EQ(One(s.get(), "SELECT COUNT(*) FROM DEPT"), "5");
    s->Disconnect();
}

// A 9.0 client is recognised by OCIEnvCreate alone; without OCIEnvNlsCreate its character set comes from
// NLS_LANG, which gets Windows-1252 when the user has set none, and is left alone when set.
TEST(OciBinder, AClientWithoutOCIEnvNlsCreateGetsWindows1252ThroughNlsLang) {
    TOciEnv env;
    TUnload unload;
    const char* saved = std::getenv("NLS_LANG");
    std::string savedValue = saved ? saved : "";
    env.Set("OCIDLL", OciLib90Path());
    unsetenv("NLS_LANG");
    oracall::LoadOCI(0);
    EXPECT_EQ(oracall::OCILibraryVersion(), "9 or later");
    EXPECT_EQ(oracall::OCIClientVersionCode, 4);
    EXPECT_EQ(oracall::OCIDefaultCallStyle, 2);
    ASSERT_NE(std::getenv("NLS_LANG"), nullptr);
    EXPECT_STREQ(std::getenv("NLS_LANG"), "AMERICAN_AMERICA.WE8MSWIN1252");
    oracall::FreeOCI();
    setenv("NLS_LANG", "GERMAN_GERMANY.WE8MSWIN1252", 1);
    oracall::LoadOCI(0);
    EXPECT_STREQ(std::getenv("NLS_LANG"), "GERMAN_GERMANY.WE8MSWIN1252");
    oracall::FreeOCI();
    if (saved)
        setenv("NLS_LANG", savedValue.c_str(), 1);
    else
        unsetenv("NLS_LANG");
}

// A 19c server is above 8: the NLS query of a session that detects its character length asks for the
// timestamp formats too, and a session that asks for the version-7 calls still gets the version-8 ones from a
// library that has them.
TEST(OciClientLibraryMode, ACurrentServerGetsTheNlsStepsOfServersAfter8AndTheVersion8Calls) {
    TOciEnv env;
    TUnload unload;
    env.Set("OCIDLL", OciLibPath());
    TEmu emu;
    auto s = LibSession(emu);
    s->Connect(); // loads the library, which stays loaded across logons
    s->Disconnect();
    s->Options().SetCharLength(0);
    s->Options().SetUseOCI7(true);
    {
        TPrepareLog log; // wraps the loaded library's prepare
        s->Connect();
        ASSERT_TRUE(s->Connected());
        auto nls = log.Starting("declare  cursor NlsParamsCursor");
        ASSERT_EQ(nls.size(), 1u);
        EXPECT_NE(nls[0].find("NLS_TIMESTAMP_TZ_FORMAT"), std::string::npos) << nls[0];
    }
    EXPECT_EQ(s->OCIConnection()->CallStyle(), 2);
    EXPECT_EQ(s->OCIConnection()->EffectiveCallStyle(), 2);
    EXPECT_EQ(LibCounter(4), 0); // no version-7 routine was called
    EXPECT_EQ(One(s.get(), "SELECT ENAME FROM EMP WHERE EMPNO = 7499"), "ALLEN");
    s->Disconnect();
}

TEST(OciClientLibraryMode, SwitchingNetOnAndOffUnloadsAndReloadsTheLibrary) {
    TOciEnv env;
    TUnload unload;
    env.Set("OCIDLL", OciLibPath());
    TEmu emu;
    auto s = LibSession(emu);
    auto other = LibSession(emu);
    for (int round = 0; round < 3; ++round) {
        s->Connect();
        other->Connect();
        EXPECT_TRUE(oracall::OCILibraryLoaded());
        EXPECT_EQ(oracall::OCIClientVersionCode, 4);
        EXPECT_EQ(One(s.get(), "SELECT ENAME FROM EMP WHERE EMPNO = 7788"), "SCOTT");

        s->Options().SetNet(true);
        EXPECT_FALSE(s->Connected());
        EXPECT_FALSE(other->Connected());
        EXPECT_TRUE(other->Options().Net());
        EXPECT_FALSE(oracall::OCILibraryLoaded());
        EXPECT_EQ(oracall::OCIFunctionGroups, oracall::OCIGroupOCI8);
        s->Connect();
        EXPECT_EQ(One(s.get(), "SELECT ENAME FROM EMP WHERE EMPNO = 7788"), "SCOTT");
        EXPECT_EQ(s->GetServerVersion().empty(), false);

        s->Options().SetNet(false);
        EXPECT_FALSE(s->Connected());
        EXPECT_FALSE(other->Options().Net());
        EXPECT_FALSE(oracall::OCIInited);
    }
    s->Connect();
    EXPECT_TRUE(oracall::OCILibraryLoaded());
    EXPECT_EQ(One(s.get(), "SELECT COUNT(*) FROM EMP"), "14");
}

TEST(OciClientLibraryMode, ADifferentHomeDisconnectsEverySessionAndReloads) {
    TOciEnv env;
    TUnload unload;
    THomeDir home;
    env.Set("OCIDLL", OciLibPath());
    env.Set("ORACLE_HOME", home.dir.string());
    TEmu emu;
    auto s = LibSession(emu);
    auto other = LibSession(emu);
    s->SetHome(ohHome1); // the second configured place: ORACLE_HOME
    EXPECT_EQ(TOraSession::ProcessHome(), ohHome1);
    EXPECT_EQ(other->Home, ohHome1);
    s->Connect();
    other->Connect();
    EXPECT_EQ(oracall::OCILibraryPath(), (home.dir / "lib" / "libclntsh.so").string());

    s->SetHome(ohHome0);
    EXPECT_FALSE(s->Connected());
    EXPECT_FALSE(other->Connected());
    EXPECT_FALSE(oracall::OCILibraryLoaded());
    EXPECT_EQ(other->Home, ohHome0);
    other->Connect();
    EXPECT_EQ(oracall::OCILibraryPath(), OciLibPath());
    EXPECT_EQ(One(other.get(), "SELECT LOC FROM DEPT WHERE DEPTNO = 10"), "NEW YORK");

    // A session whose field was changed directly applies it at its next connect.
    other->Disconnect();
    other->Home = ohDefault;
    other->Connect();
    EXPECT_EQ(TOraSession::ProcessHome(), ohDefault);
    EXPECT_EQ(s->Home, ohDefault);
    EXPECT_EQ(oracall::OCILibraryPath(), OciLibPath());
    other->Disconnect();

    // A home that is not configured fails the connect with the binder's text.
    s->SetHome(ohHome5);
    try {
        s->Connect();
        FAIL() << "connected";
    } catch (const std::exception& e) {
        EXPECT_NE(std::string(e.what()).find("Oracle home 5 is not installed"), std::string::npos)
            << e.what();
    }
    EXPECT_FALSE(s->Connected());
    s->SetHome(ohDefault);
    s->Connect();
    EXPECT_EQ(One(s.get(), "SELECT COUNT(*) FROM DEPT"), "4");
}

} // namespace
