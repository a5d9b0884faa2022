// vestra-emu: runs the Oracle-protocol emulator until it is interrupted.
#include "emulator/EmuServer.h"

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <malloc.h>
#include <string>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t g_stop = 0;
void OnSignal(int) {
    g_stop = 1;
}

void Usage() {
    std::cerr
        << "usage: vestra-emu [--listen HOST:PORT] [--sid SID] [--service NAME]\n"
           "                  [--protocol classic|current|4|5|6] [--verifier 11g|12c] "
           "[--require-encryption]\n"
           "                  [--password-expires-in DAYS]\n"
           "                  [--db FILE] [--user NAME/PASSWORD]... [--redirect HOST:PORT] [--resend-once]\n"
           "                  [--slow-fetch-ms N] [--drop-after-bytes N] [--bench-rows N] [--verbose]\n";
}

bool ParseLong(const std::string& s, long long& v) {
    char* end = nullptr;
    errno = 0;
    v = std::strtoll(s.c_str(), &end, 10);
    return !s.empty() && end && *end == 0 && errno == 0;
}

} // namespace

int main(int argc, char** argv) {
    // Every fetch reply passes through buffers of tens of kilobytes: keep freed memory in the process
    // instead of shrinking and regrowing the heap for each reply.
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
    vemu::EmuOptions o;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto next = [&](std::string& v) {
            if (i + 1 >= argc) {
                std::cerr << "vestra-emu: " << a << " needs a value\n";
                return false;
            }
            v = argv[++i];
            return true;
        };
        std::string v;
        long long n = 0;
        if (a == "--listen") {
            if (!next(v)) return 2;
            size_t c = v.rfind(':');
            if (c == std::string::npos || !ParseLong(v.substr(c + 1), n) || n < 0 || n > 65535) {
                std::cerr << "vestra-emu: --listen wants HOST:PORT\n";
                return 2;
            }
            o.host = v.substr(0, c);
            o.port = static_cast<uint16_t>(n);
        } else if (a == "--sid") {
            if (!next(o.sid)) return 2;
        } else if (a == "--service") {
            if (!next(o.service)) return 2;
        } else if (a == "--protocol") {
            if (!next(v)) return 2;
            if (v == "classic") {
                o.generation = vemu::EmuOptions::Generation::Classic;
            } else if (v == "current") {
                o.generation = vemu::EmuOptions::Generation::Current;
            } else if (ParseLong(v, n) && n >= 4 && n <= 6) {
                o.protocol = static_cast<int>(n);
            } else {
                std::cerr << "vestra-emu: --protocol wants classic, current, 4, 5 or 6\n";
                return 2;
            }
        } else if (a == "--verifier") {
            if (!next(v) || (v != "11g" && v != "12c")) {
                std::cerr << "vestra-emu: --verifier wants 11g or 12c\n";
                return 2;
            }
            o.verifier11g = v == "11g";
        } else if (a == "--password-expires-in") {
            std::string v;
            if (!next(v)) return 2;
            o.passwordExpiresInDays = std::atoi(v.c_str());
            if (o.passwordExpiresInDays <= 0 || o.passwordExpiresInDays > 9999) {
                std::cerr << "vestra-emu: --password-expires-in takes a number of days from 1 to 9999\n";
                return 2;
            }
        } else if (a == "--require-encryption") {
            o.requireEncryption = true;
        } else if (a == "--db") {
            if (!next(o.dbFile)) return 2;
        } else if (a == "--user") {
            if (!next(v)) return 2;
            size_t s = v.find('/');
            if (s == std::string::npos || s == 0) {
                std::cerr << "vestra-emu: --user wants NAME/PASSWORD\n";
                return 2;
            }
            o.extraUsers.push_back({v.substr(0, s), v.substr(s + 1)});
        } else if (a == "--redirect") {
            if (!next(o.redirectTo)) return 2;
        } else if (a == "--resend-once") {
            o.resendOnce = true;
        } else if (a == "--slow-fetch-ms" || a == "--drop-after-bytes" || a == "--bench-rows" ||
                   a == "--lock-wait-ms") {
            if (!next(v) || !ParseLong(v, n) || n < 0) {
                std::cerr << "vestra-emu: " << a << " wants a number\n";
                return 2;
            }
            if (a == "--slow-fetch-ms")
                o.slowFetchMs = static_cast<int>(n);
            else if (a == "--drop-after-bytes")
                o.dropAfterBytes = n;
            else if (a == "--bench-rows")
                o.benchRows = n;
            else
                o.lockWaitMs = static_cast<int>(n);
        } else if (a == "--verbose") {
            o.verbose = true;
        } else if (a == "--help" || a == "-h") {
            Usage();
            return 0;
        } else {
            std::cerr << "vestra-emu: unknown option " << a << "\n";
            Usage();
            return 2;
        }
    }
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    std::signal(SIGPIPE, SIG_IGN);
    try {
        vemu::EmuServer server(o);
        server.Start();
        std::string host = o.host.empty() || o.host == "localhost" ? "127.0.0.1" : o.host;
        std::cout << "listening on " << host << ":" << server.Port() << std::endl;
        while (!g_stop)
            ::pause();
        server.Stop();
    } catch (const std::exception& e) {
        std::cerr << "vestra-emu: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
