#include "oranet/NetSocket.h"

#include "oranet/NetErrors.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace oranet {

namespace {

[[noreturn]] void Fail(int err, const char* op) {
    throw ESocketError(SocketErrorNumber(err), std::string(std::strerror(err)) + " (" + op + ")");
}

[[noreturn]] void TimedOut(const char* op) {
    throw ESocketError(10060, std::string("connection timed out (") + op + ")");
}

} // namespace

int64_t TWinSocket::SteadyNowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void TWinSocket::Interrupted(const char* op) {
    throw ESocketError(10004, std::string("interrupted (") + op + ")");
}

void TWinSocket::WaitReady(int fd, short events, const char* op, bool always) const {
    for (;;) {
        if (aborted_.load()) Interrupted(op);
        int64_t deadline = deadline_.load();
        if (deadline == 0 && !always) return;
        int timeout = -1;
        if (deadline != 0) {
            int64_t left = deadline - SteadyNowMs();
            if (left <= 0) TimedOut(op);
            timeout = int(std::min<int64_t>(left, 1000 * 1000));
        }
        // Without the wake-up descriptor an Abort is seen within a tenth of a second.
        if (wake_ < 0) timeout = timeout < 0 ? 100 : std::min(timeout, 100);
        pollfd p[2] = {{fd, events, 0}, {wake_, POLLIN, 0}};
        int rc = ::poll(p, wake_ >= 0 ? 2 : 1, timeout);
        if (aborted_.load()) Interrupted(op);
        if (rc > 0 && p[0].revents != 0) return; // ready, or an error the following call reports
        if (rc < 0 && errno != EINTR) Fail(errno, op);
    }
}

TWinSocket::TWinSocket() : wake_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

TWinSocket::~TWinSocket() {
    int fd = fd_.exchange(-1);
    if (fd >= 0) ::close(fd);
    if (wake_ >= 0) ::close(wake_);
}

void TWinSocket::Abort() {
    std::lock_guard<std::mutex> g(lifeLock_);
    aborted_.store(true);
    if (wake_ >= 0) {
        uint64_t one = 1;
        ssize_t n = ::write(wake_, &one, sizeof one);
        (void)n; // a counter already at its limit is signalled anyway
    }
    // A send or receive blocked in the kernel returns when the connection is shut down.
    int fd = fd_.load();
    if (fd >= 0) ::shutdown(fd, SHUT_RDWR);
}

void TWinSocket::Open(const std::string& host, int port) {
    Close();
    if (port < 0 || port > 65535) throw ESocketError(10049, "port " + std::to_string(port) + " out of range");
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(uint16_t(port));
    if (inet_pton(AF_INET, host.c_str(), &addr.sin_addr) != 1) {
        addrinfo hints{};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* res = nullptr;
        int rc = getaddrinfo(host.c_str(), nullptr, &hints, &res);
        if (rc != 0 || !res) {
            if (res) freeaddrinfo(res);
            // 11001: host not found.
            throw ESocketError(11001, "host " + host + " not found: " + gai_strerror(rc));
        }
        addr.sin_addr = reinterpret_cast<sockaddr_in*>(res->ai_addr)->sin_addr;
        freeaddrinfo(res);
    }
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) Fail(errno, "socket");
    // Connect without blocking and wait for the outcome, so that the deadline and Abort can end the wait.
    int flags = ::fcntl(fd, F_GETFL, 0);
    ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    int rc = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    int e = rc == 0 ? 0 : errno;
    if (rc != 0 && (e == EINPROGRESS || e == EINTR)) {
        try {
            WaitReady(fd, POLLOUT, "connect", true);
        } catch (...) {
            ::close(fd);
            throw;
        }
        socklen_t len = sizeof e;
        if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &e, &len) != 0) e = errno;
    }
    if (e != 0) {
        ::close(fd);
        Fail(e, "connect");
    }
    ::fcntl(fd, F_SETFL, flags);
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    std::lock_guard<std::mutex> g(lifeLock_);
    if (aborted_.load()) {
        ::close(fd);
        Interrupted("connect");
    }
    fd_.store(fd);
}

void TWinSocket::Close() {
    std::lock_guard<std::mutex> g(lifeLock_);
    int fd = fd_.exchange(-1);
    if (fd >= 0) {
        ::shutdown(fd, SHUT_RDWR);
        ::close(fd);
    }
}

bool TWinSocket::Connected() const {
    return fd_.load() >= 0;
}

int TWinSocket::SendBuf(const void* buffer, int count) {
    int fd = fd_.load();
    if (fd < 0) return 0;
    const char* p = static_cast<const char*>(buffer);
    int sent = 0;
    while (sent < count) {
        WaitReady(fd, POLLOUT, "send");
        ssize_t n = ::send(fd, p + sent, size_t(count - sent), MSG_NOSIGNAL);
        if (n <= 0 && aborted_.load()) Interrupted("send");
        if (n < 0) {
            if (errno == EINTR) continue;
            Fail(errno, "send");
        }
        if (n == 0) break;
        sent += int(n);
    }
    return sent;
}

int TWinSocket::ReceiveBuf(void* buffer, int count) {
    int fd = fd_.load();
    if (fd < 0) return 0;
    for (;;) {
        WaitReady(fd, POLLIN, "recv");
        ssize_t n = ::recv(fd, buffer, size_t(count), 0);
        if (n <= 0 && aborted_.load()) Interrupted("recv");
        if (n >= 0) return int(n);
        if (errno == EINTR) continue;
        Fail(errno, "recv");
    }
}

void TSocketAbort::Attach(TWinSocket* socket) {
    std::lock_guard<std::mutex> g(lock_);
    socket_ = socket;
    if (socket_ && requested_) socket_->Abort();
}

void TSocketAbort::Detach() {
    std::lock_guard<std::mutex> g(lock_);
    socket_ = nullptr;
}

void TSocketAbort::Arm() {
    std::lock_guard<std::mutex> g(lock_);
    armed_ = true;
    requested_ = false;
}

bool TSocketAbort::Disarm() {
    std::lock_guard<std::mutex> g(lock_);
    bool was = requested_;
    armed_ = false;
    requested_ = false;
    return was;
}

void TSocketAbort::Abort() {
    std::lock_guard<std::mutex> g(lock_);
    if (armed_) requested_ = true;
    if (socket_) socket_->Abort();
}

} // namespace oranet
