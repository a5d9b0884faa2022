// bench-lob: a 10 MB CLOB and a 10 MB BLOB written and read back over the current protocol generation
// against the emulator, through the emulated call-interface LOB functions; the best of three runs each.
#include "E2eSession.h"
#include "emulator/EmuServer.h"
#include "oranet/NetHandles.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

using namespace ve2e;
using namespace oracall;

namespace {

double Ms(std::chrono::steady_clock::time_point from) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - from).count();
}

bool Exec(TNetSessionRig& s, const char* sql) {
    TStmt st(s, sql);
    if (st.Execute(1) == 0) return true;
    std::fprintf(stderr, "%s: %s\n", sql, s.ErrorText().c_str());
    return false;
}

} // namespace

int main() {
    oranet::SetOfferCurrentProtocol(true);
    vemu::EmuOptions o;
    o.generation = vemu::EmuOptions::Generation::Current;
    vemu::EmuServer emu(o);
    emu.Start();
    TNetSessionRig s;
    if (s.Logon("127.0.0.1:" + std::to_string(emu.Port()) + ":bnx", "scott", "tiger") != 0) {
        std::fprintf(stderr, "logon: %s\n", s.ErrorText().c_str());
        return 1;
    }
    if (!Exec(s, "CREATE TABLE LOBS (ID NUMBER, C CLOB, B BLOB)") ||
        !Exec(s, "INSERT INTO LOBS VALUES (1, EMPTY_CLOB(), EMPTY_BLOB())"))
        return 1;
    dvoid* dc = nullptr;
    dvoid* db = nullptr;
    OCIDescriptorAlloc(hOCIEnv, &dc, OCI_DTYPE_LOB, 0, nullptr);
    OCIDescriptorAlloc(hOCIEnv, &db, OCI_DTYPE_LOB, 0, nullptr);
    auto* c = static_cast<OCILobLocator*>(dc);
    auto* b = static_cast<OCILobLocator*>(db);
    {
        TStmt q(s, "SELECT C, B FROM LOBS WHERE ID = 1 FOR UPDATE");
        if (q.Execute() != 0) return 1;
        q.Define(1, &c, sizeof c, SQLT_CLOB);
        q.Define(2, &b, sizeof b, SQLT_BLOB);
        if (q.Fetch(1) != 0) return 1;
    }
    const size_t size = 10u << 20;
    std::string text(size, ' '), back(size, '\0');
    for (size_t i = 0; i < size; ++i)
        text[i] = char(i % 61 == 60 ? '\xE9' : 'a' + i % 26);
    double best[4] = {1e9, 1e9, 1e9, 1e9};
    for (int run = 0; run < 3; ++run) {
        for (int k = 0; k < 2; ++k) {
            OCILobLocator* l = k == 0 ? c : b;
            ub4 amount = 0;
            auto t0 = std::chrono::steady_clock::now();
            if (OCILobWrite(s.svc, s.err, l, &amount, 1, text.data(), ub4(size), 0, nullptr, nullptr, 0, 0) !=
                    0 ||
                amount != size) {
                std::fprintf(stderr, "write: %s\n", s.ErrorText().c_str());
                return 1;
            }
            best[2 * k] = std::min(best[2 * k], Ms(t0));
            t0 = std::chrono::steady_clock::now();
            if (OCILobRead(s.svc, s.err, l, &amount, 1, back.data(), ub4(size), nullptr, nullptr, 0, 0) !=
                    0 ||
                amount != size || back != text) {
                std::fprintf(stderr, "read: %s\n", s.ErrorText().c_str());
                return 1;
            }
            best[2 * k + 1] = std::min(best[2 * k + 1], Ms(t0));
        }
    }
    std::printf("METRIC modern_clob10mb_write_ms %.1f ms\n", best[0]);
    std::printf("METRIC modern_clob10mb_read_ms %.1f ms\n", best[1]);
    std::printf("METRIC modern_blob10mb_write_ms %.1f ms\n", best[2]);
    std::printf("METRIC modern_blob10mb_read_ms %.1f ms\n", best[3]);
    OCITransRollback(s.svc, s.err, 0);
    OCIDescriptorFree(dc, OCI_DTYPE_LOB);
    OCIDescriptorFree(db, OCI_DTYPE_LOB);
    s.Logoff();
    return 0;
}
