// The exceptions of the network client.
#pragma once

#include <stdexcept>
#include <string>

namespace oranet {

// Transport failures: "Net error " and the code.
class ENetError : public std::runtime_error {
public:
    explicit ENetError(int code) : std::runtime_error("Net error " + std::to_string(code)), code_(code) {}
    int Code() const { return code_; }

private:
    int code_;
};

// TTC protocol violations and impossible lengths: "Unknown error " and the code.
class EDBError : public std::runtime_error {
public:
    explicit EDBError(int code) : std::runtime_error("Unknown error " + std::to_string(code)), code_(code) {}
    int Code() const { return code_; }

private:
    int code_;
};

// A failure of the platform's socket layer. The text carries the socket error number in parentheses
// (numbered as Windows Sockets numbers them: 10054 reset, 10061 refused, ...), which the error mapping
// reads back; the number is also kept.
class ESocketError : public std::runtime_error {
public:
    ESocketError(int number, const std::string& what);
    int Number() const { return number_; }

private:
    int number_;
};

// A text that should have been a number.
class EConvertError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Windows Sockets numbers for the POSIX errno values that mean the same thing.
int SocketErrorNumber(int posixErrno);

// Converts a decimal text as the conversion routines of the system do ("'x' is not a valid integer value").
int StrToInt(const std::string& text);

} // namespace oranet
