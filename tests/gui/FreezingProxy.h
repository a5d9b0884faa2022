// Forwards one loopback connection to the emulator until Freeze: from then on nothing passes either way, as
// on a network that went dead. Stops by itself when destroyed.
#pragma once

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace guitest {

class TFreezingProxy {
public:
    explicit TFreezingProxy(int targetPort) : target_(targetPort) {
        listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a = Loopback(0);
        if (::bind(listen_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) throw std::runtime_error("bind");
        if (::listen(listen_, 4) != 0) throw std::runtime_error("listen");
        socklen_t len = sizeof a;
        ::getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }
    ~TFreezingProxy() {
        stop_ = true;
        thread_.join();
        for (int fd : {client_, server_, listen_})
            if (fd >= 0) ::close(fd);
    }
    std::string Server() const { return "127.0.0.1:" + std::to_string(port_) + ":bnx"; }
    void Freeze() { frozen_ = true; }

private:
    static sockaddr_in Loopback(int port) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(uint16_t(port));
        return a;
    }
    void Serve() {
        while (!stop_) {
            if (client_ < 0) {
                pollfd p{listen_, POLLIN, 0};
                if (::poll(&p, 1, 20) <= 0) continue;
                client_ = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
                server_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
                sockaddr_in a = Loopback(target_);
                if (::connect(server_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return;
                continue;
            }
            if (frozen_) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                continue;
            }
            pollfd p[2] = {{client_, POLLIN, 0}, {server_, POLLIN, 0}};
            if (::poll(p, 2, 20) <= 0) continue;
            char buf[8192];
            for (int i = 0; i < 2; ++i) {
                if (!(p[i].revents & (POLLIN | POLLHUP))) continue;
                ssize_t n = ::recv(p[i].fd, buf, sizeof buf, 0);
                if (n <= 0) continue;
                ::send(i == 0 ? server_ : client_, buf, size_t(n), MSG_NOSIGNAL);
            }
        }
    }
    int target_;
    int listen_ = -1, client_ = -1, server_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false}, frozen_{false};
    std::thread thread_;
};

} // namespace guitest
