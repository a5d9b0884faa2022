// The error class of the data-access framework and its English resource messages.
#pragma once

#include "dataset/DBErrors.h"

// Raised by the SQL framework; the server layers derive their errors from it.
class EDAError : public EDatabaseError {
public:
    explicit EDAError(const std::string& message, int errorCode = 0)
        : EDatabaseError(message), ErrorCode(errorCode) {}
    int ErrorCode;
};

inline constexpr const char* SConnectionNotDefined = "Connection is not defined.";
inline constexpr const char* SCannotConnect = "Cannot connect to database.";
inline constexpr const char* SConnectionIsClosed = "Operation is not allowed when the connection is closed";
inline constexpr const char* STransactionInProgress = "User transaction is already in progress.";
inline constexpr const char* SInvalidFetchRows = "FetchRows must be 1..10000.";
inline constexpr const char* SNoCorrespondParam = "Not found field corresponding parameter %s.";
inline constexpr const char* SUnknownParamDataType = "Unknown type of parameter %s.";
inline constexpr const char* SRefreshFailed = "Refresh failed. Found %d records.";
inline constexpr const char* SUpdateFailed = "Update failed. Found %d records.";
inline constexpr const char* SRecordChanged = "Record was changed by another user.";
inline constexpr const char* SMacroNotFound = "Macro %s not found.";
