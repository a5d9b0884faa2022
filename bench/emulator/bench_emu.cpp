// Rows per second the emulator serves to one client: the BENCH table fetched in blocks, as the worksheet
// does.
#include "emulator/EmuServer.h"
#include "tests/emulator/EmuTestClient.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <iostream>

int main(int argc, char** argv) {
    long long rows = argc > 1 ? std::atoll(argv[1]) : 1000000;
    int block = argc > 2 ? std::atoi(argv[2]) : 1000;
    vemu::EmuOptions o;
    o.benchRows = rows;
    vemu::EmuServer srv(o);
    srv.Start();
    emutest::TestClient c;
    if (c.Connect(srv.Port(), "bnx") != 2) return 1;
    c.Negotiate();
    if (c.Logon("scott", "tiger").code) return 1;
    int cur = c.OpenCursor();
    std::vector<emutest::Item> defs(4);
    defs[0].type = 2;
    defs[0].size = 22;
    defs[1].type = 1;
    defs[1].size = 31;
    defs[2].type = 12;
    defs[2].size = 7;
    defs[3].type = 2;
    defs[3].size = 22;
    double best = 0, bestCpu = 0;
    auto cpuNow = [] {
        timespec ts;
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
        return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
    };
    for (int round = 0; round < 3; ++round) {
        auto t0 = std::chrono::steady_clock::now();
        double c0 = cpuNow();
        if (c.Parse(cur, "SELECT ID, NAME, CREATED, AMOUNT FROM BENCH").code) return 1;
        if (c.Execute(cur, {}).code) return 1;
        long long got = 0, bytes = 0;
        for (;;) {
            emutest::Status s = c.FetchCount(cur, defs, block, got, bytes);
            if (s.code == 1403) break;
            if (s.code) {
                std::cerr << s.text << "\n";
                return 1;
            }
        }
        double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        if (got != rows) {
            std::cerr << "fetched " << got << " rows of " << rows << "\n";
            return 1;
        }
        best = std::max(best, static_cast<double>(got) / secs);
        bestCpu = std::max(bestCpu, static_cast<double>(got) / (cpuNow() - c0));
    }
    std::printf("METRIC emu_rows_per_s %.0f rows/s\n", best);
    // server and client together, per second of processor time (what an idle machine reaches)
    std::printf("METRIC emu_rows_per_cpu_s %.0f rows/s\n", bestCpu);
    c.Logoff();
    return 0;
}
