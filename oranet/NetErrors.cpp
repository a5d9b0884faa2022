#include "oranet/NetErrors.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace oranet {

ESocketError::ESocketError(int number, const std::string& what)
    : std::runtime_error("Socket error (" + std::to_string(number) + "): " + what), number_(number) {}

int SocketErrorNumber(int e) {
    switch (e) {
    case EINTR:
        return 10004;
    case EACCES:
        return 10013;
    case EINVAL:
        return 10022;
    case EMFILE:
        return 10024;
    case EWOULDBLOCK:
        return 10035;
    case EADDRINUSE:
        return 10048;
    case EADDRNOTAVAIL:
        return 10049;
    case ENETDOWN:
        return 10050;
    case ENETUNREACH:
        return 10051;
    case ECONNABORTED:
        return 10053;
    case ECONNRESET:
        return 10054;
    case EPIPE:
        return 10054; // the peer closed the connection while we were sending
    case ENOBUFS:
        return 10055;
    case ENOTCONN:
        return 10057;
    case ETIMEDOUT:
        return 10060;
    case ECONNREFUSED:
        return 10061;
    case EHOSTDOWN:
        return 10064;
    case EHOSTUNREACH:
        return 10065;
    default:
        return 10000 + e;
    }
}

int StrToInt(const std::string& text) {
    const char* s = text.c_str();
    while (*s == ' ')
        ++s;
    if (*s) {
        errno = 0;
        char* end = nullptr;
        long v = std::strtol(s, &end, 10);
        if (end != s && *end == '\0' && errno == 0 && v >= INT_MIN && v <= INT_MAX) return int(v);
    }
    throw EConvertError("'" + text + "' is not a valid integer value");
}

} // namespace oranet
