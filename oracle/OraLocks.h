// The locks of background work: ConnectionLock around each call on a connection's handles (taken only when
// the connection is thread-safe), CommandLock around a command's prepare, state changes and block fetches
// (taken when the command runs in the background). Always CommandLock before ConnectionLock.
#pragma once

#include "oracle/OraClasses.h"

#include <mutex>

class TConnLock {
public:
    explicit TConnLock(TOCIConnection* c) : l_(c->ConnectionLock(), std::defer_lock) {
        if (c->ThreadSafety()) l_.lock();
    }

private:
    std::unique_lock<std::recursive_mutex> l_;
};

class TCmdLock {
public:
    TCmdLock(TOCICommand* c, bool on) : l_(c->CommandLock(), std::defer_lock) {
        if (on) l_.lock();
    }

private:
    std::unique_lock<std::recursive_mutex> l_;
};
