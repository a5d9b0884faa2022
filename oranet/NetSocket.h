// A thin blocking TCP client socket.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

namespace oranet {

// Failures raise ESocketError. Virtual so that tests can put a scripted byte stream in its place.
class TWinSocket {
public:
    TWinSocket();
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

    // Ends this socket's blocking calls from any thread: a connect, send or receive in progress returns at
    // once, and every later one too, with socket error 10004 (interrupted). The socket stays unusable; the
    // descriptor is closed by Close or the destructor as usual.
    void Abort();

private:
    // Waits until fd is ready for events, the deadline passes (then raises 10060) or Abort is called (10004).
    // Without a deadline it returns at once unless always is set (a connect always waits here).
    void WaitReady(int fd, short events, const char* op, bool always = false) const;
    [[noreturn]] static void Interrupted(const char* op);
    std::atomic<int> fd_{-1};
    std::atomic<int64_t> deadline_{0};
    std::atomic<bool> aborted_{false};
    // Signalled by Abort; a poll waits on it beside the socket.
    int wake_ = -1;
    // Abort's shutdown and Close take it, so that a descriptor is never shut down after it was closed (and
    // its number perhaps given to another file).
    std::mutex lifeLock_;
};

// Lets one thread end the blocking calls of a socket that another thread works with. The working thread
// attaches its socket while it may block and detaches it before the socket goes; Abort reaches the socket
// attached at the time. Armed, an Abort also counts before a socket is attached (a logon about to start):
// the socket attached next is aborted at once.
class TSocketAbort {
public:
    void Attach(TWinSocket* socket);
    void Detach();
    // From now on an Abort is remembered; one remembered from before is forgotten.
    void Arm();
    // Aborts are no longer remembered; true when one was asked for since Arm.
    bool Disarm();
    // Any thread.
    void Abort();

private:
    std::mutex lock_;
    TWinSocket* socket_ = nullptr;
    bool armed_ = false;
    bool requested_ = false;
};

} // namespace oranet
