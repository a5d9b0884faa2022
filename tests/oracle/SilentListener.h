// A loopback listener that accepts connections (when asked to) and reads what arrives, but never sends a
// byte: the peer of the logon time-out and abort tests. It stops by itself when destroyed.
#pragma once

#include <arpa/inet.h>
#include <atomic>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace oratest {

class TSilentListener {
public:
    explicit TSilentListener(bool accept, int backlog = 16) {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = 0;
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) throw std::runtime_error("bind");
        if (::listen(fd_, backlog) != 0) throw std::runtime_error("listen");
        socklen_t len = sizeof a;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        if (accept) thread_ = std::thread([this] { Serve(); });
    }
    ~TSilentListener() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        for (int c : clients_)
            ::close(c);
        ::close(fd_);
    }
    std::string Server() const { return "127.0.0.1:" + std::to_string(port_) + ":bnx"; }
    int Port() const { return port_; }
    // Bytes read from the clients so far (the connect packet, when the handshake got that far).
    long BytesRead() const { return bytes_.load(); }

private:
    void Serve() {
        while (!stop_) {
            std::vector<pollfd> p{{fd_, POLLIN, 0}};
            for (int c : clients_)
                p.push_back({c, POLLIN, 0});
            if (::poll(p.data(), p.size(), 50) <= 0) continue;
            if (p[0].revents & POLLIN) {
                int c = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
                if (c >= 0) clients_.push_back(c);
            }
            char buf[4096];
            for (size_t i = 1; i < p.size(); ++i)
                if (p[i].revents & POLLIN) {
                    ssize_t n = ::recv(p[i].fd, buf, sizeof buf, 0);
                    if (n > 0) bytes_ += long(n);
                }
        }
    }
    int fd_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<long> bytes_{0};
    std::vector<int> clients_;
    std::thread thread_;
};

} // namespace oratest
