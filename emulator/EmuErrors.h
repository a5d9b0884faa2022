// Oracle errors as the emulator reports them: the code, the text ("ORA-00942: table or view does not
// exist") and the position in the statement. Every error is made from the one table in EmuErrors.cpp.
#pragma once
#include <string>

namespace vemu {

struct OraError {
    int code = 0;
    std::string text; // "ORA-00942: table or view does not exist"
    int pos = 0;      // error position in the statement text
    explicit operator bool() const { return code != 0; }
};

// The error with the table's text for the code; "%s" in the text takes detail, else a non-empty detail is
// added in parentheses. A code the table does not know takes detail as its whole text.
OraError MakeError(int code, const std::string& detail = std::string(), int pos = 0);

} // namespace vemu
