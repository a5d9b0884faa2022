// The error hierarchy of the data-set core and a few helpers to raise its errors.
//
// Every error the core raises derives from Exception. The framework's database error (EDatabaseError) is the
// root of the data-access and Oracle errors; EConvertError is the one conversion error ("Cannot convert
// type."); EAssertionFailed carries the name of an internal check and never aborts the program; EAbort is the
// silent abort that handlers do not show.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
};

// Silent abort: unwinds like any error, but is never shown to the user.
class EAbort : public Exception {
public:
    EAbort() : Exception("Operation aborted") {}
};

class EConvertError : public Exception {
public:
    using Exception::Exception;
};

class EAssertionFailed : public Exception {
public:
    using Exception::Exception;
};

class EDatabaseError : public Exception {
public:
    using Exception::Exception;
};

// The store's messages (English) and the conversion error's text.
inline constexpr const char* SCannotConvertType = "Cannot convert type.";
inline constexpr const char* SFieldNotFoundStore = "Field %s not found.";
inline constexpr const char* SAttributeNotFound = "Attribute %s not found.";
inline constexpr const char* SIllegalFilter = "Illegal filter expression.";
inline constexpr const char* SUnknownDataType = "Unknown data type.";
inline constexpr const char* SNotBlob = "Field is not BLOB.";
inline constexpr const char* SInvalidBlob = "Invalid BLOB.";
inline constexpr const char* SBlobNotCached = "Blob must be in cached mode.";

// Replaces each %s, %d or %g of the pattern in turn by the next argument (already formatted as text);
// "%%" gives one percent sign.
std::string FormatMsg(std::string_view pattern, std::initializer_list<std::string> args);

[[noreturn]] void RaiseConvertError();
[[noreturn]] void RaiseAssertion(const std::string& check);
// A plain assertion without a named check.
[[noreturn]] void RaiseAssertion();

inline void CheckAssert(bool condition, const char* check) {
    if (!condition) RaiseAssertion(check);
}
inline void CheckAssert(bool condition) {
    if (!condition) RaiseAssertion();
}
