// A thin blocking TCP client socket.
#pragma once

#include <atomic>
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

private:
    std::atomic<int> fd_{-1};
};

} // namespace oranet
