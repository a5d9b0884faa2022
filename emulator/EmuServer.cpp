#include "emulator/EmuServer.h"

#include "emulator/EmuEngine.h"
#include "emulator/EmuModernSession.h"
#include "emulator/EmuSession.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <iostream>
#include <list>
#include <mutex>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <stdexcept>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace vemu {

namespace {
// The TNS version a client's CONNECT packet announces (bytes 8 and 9), read without consuming anything, so
// that the session of the right protocol generation reads the packet itself; 0 when there is none.
uint16_t PeekConnectVersion(int fd) {
    uint8_t h[10];
    ssize_t n = ::recv(fd, h, sizeof h, MSG_PEEK | MSG_WAITALL);
    if (n < static_cast<ssize_t>(sizeof h) || h[4] != 1) return 0;
    return static_cast<uint16_t>(h[8] << 8 | h[9]);
}
} // namespace

struct EmuServer::Impl {
    EmuOptions opts;
    std::unique_ptr<EmuDatabase> db;
    ServerHooks hooks;
    int listenFd = -1;
    uint16_t port = 0;
    std::thread acceptThread;
    std::mutex mu;
    struct Conn {
        int fd;
        std::thread th;
        std::shared_ptr<std::atomic<bool>> done;
    };
    std::list<Conn> conns;
    std::atomic<bool> stopping{false};
    bool started = false;

    void Reap() {
        std::lock_guard<std::mutex> lk(mu);
        for (auto it = conns.begin(); it != conns.end();) {
            if (it->done->load()) {
                it->th.join();
                ::close(it->fd);
                it = conns.erase(it);
            } else {
                ++it;
            }
        }
    }

    void AcceptLoop() {
        while (!stopping) {
            sockaddr_in peer{};
            socklen_t len = sizeof peer;
            int fd = ::accept(listenFd, reinterpret_cast<sockaddr*>(&peer), &len);
            if (fd < 0) {
                if (errno == EINTR || errno == ECONNABORTED) continue;
                if (stopping) break;
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
                continue;
            }
            int one = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            Reap();
            auto done = std::make_shared<std::atomic<bool>>(false);
            std::lock_guard<std::mutex> lk(mu);
            if (stopping) {
                ::close(fd);
                break;
            }
            Conn c{fd, {}, done};
            c.th = std::thread([this, fd, done] {
                if (ServeCurrentGeneration(opts, PeekConnectVersion(fd))) {
                    ModernSession s(fd, *db, hooks);
                    s.Run();
                } else {
                    Session s(fd, *db, hooks);
                    s.Run();
                }
                ::shutdown(fd, SHUT_RDWR);
                done->store(true);
            });
            conns.push_back(std::move(c));
        }
    }
};

EmuServer::EmuServer(EmuOptions opts) : impl_(std::make_unique<Impl>()) {
    impl_->opts = std::move(opts);
}

EmuServer::~EmuServer() {
    Stop();
}

void EmuServer::Start() {
    Impl& m = *impl_;
    if (m.started) return;
    if (m.opts.protocol < 4 || m.opts.protocol > 6) throw std::runtime_error("protocol must be 4, 5 or 6");
    m.db = std::make_unique<EmuDatabase>(m.opts);
    m.db->Open();
    m.listenFd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (m.listenFd < 0) throw std::runtime_error(std::string("socket: ") + std::strerror(errno));
    int one = 1;
    ::setsockopt(m.listenFd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(m.opts.port);
    std::string host = m.opts.host.empty() || m.opts.host == "localhost" ? "127.0.0.1" : m.opts.host;
    if (::inet_pton(AF_INET, host.c_str(), &addr.sin_addr) != 1) {
        ::close(m.listenFd);
        m.listenFd = -1;
        throw std::runtime_error("invalid listen address " + m.opts.host);
    }
    if (::bind(m.listenFd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(m.listenFd, 64) != 0) {
        std::string err = std::strerror(errno);
        ::close(m.listenFd);
        m.listenFd = -1;
        throw std::runtime_error("cannot listen on " + host + ":" + std::to_string(m.opts.port) + ": " + err);
    }
    socklen_t len = sizeof addr;
    ::getsockname(m.listenFd, reinterpret_cast<sockaddr*>(&addr), &len);
    m.port = ntohs(addr.sin_port);
    m.started = true;
    m.acceptThread = std::thread([&m] { m.AcceptLoop(); });
}

uint16_t EmuServer::Port() const {
    return impl_->port;
}

void EmuServer::Stop() {
    Impl& m = *impl_;
    if (!m.started) return;
    m.stopping = true;
    ::shutdown(m.listenFd, SHUT_RDWR);
    if (m.acceptThread.joinable()) m.acceptThread.join();
    ::close(m.listenFd);
    m.listenFd = -1;
    {
        std::lock_guard<std::mutex> lk(m.mu);
        for (auto& c : m.conns)
            ::shutdown(c.fd, SHUT_RDWR);
    }
    for (auto& c : m.conns) {
        if (c.th.joinable()) c.th.join();
        ::close(c.fd);
    }
    m.conns.clear();
    m.db.reset();
    m.started = false;
}

} // namespace vemu
