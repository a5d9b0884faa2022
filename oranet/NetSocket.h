// A thin blocking TCP client socket.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

namespace oranet {

// Failures raise ESocketError. Virtual so that tests can put a scripted byte stream in its place.
class TWinSocket {
public:
    TWinSocket() = default;
    virtual ~TWinSocket();
    TWinSocket(const TWinSocket&) = delete;
    TWinSocket& operator=(const TWinSocket&) = delete;

    // Connects by address when the host is a dotted IPv4 address, else resolves the name; blocking.
    virtual void Open(const std::string& host, int port);
    virtual void Close();
    virtual bool Connected() const;
    // Sends count bytes; returns the bytes accepted.
    virtual int SendBuf(const void* buffer, int count);
    // One blocking receive of up to count bytes; 0 when the peer closed the connection.
    virtual int ReceiveBuf(void* buffer, int count);

    // Bounds Open, SendBuf and ReceiveBuf by a point in time (milliseconds of the steady clock) until it is
    // cleared: past it they fail with socket error 10060 (timed out). 0 means no bound. Read by the thread
    // that may send a break, hence atomic.
    void SetDeadline(int64_t steadyMs) { deadline_.store(steadyMs); }
    void ClearDeadline() { deadline_.store(0); }
    // Milliseconds of the steady clock now.
    static int64_t SteadyNowMs();

private:
    // Waits until fd is ready for events or the deadline passes (then raises 10060).
    void WaitReady(int fd, short events, const char* op) const;
    std::atomic<int> fd_{-1};
    std::atomic<int64_t> deadline_{0};
};

} // namespace oranet
