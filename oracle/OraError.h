// Oracle errors: EOraError with the Oracle error code, the retrieval of code and text from an error handle,
// the status check for calls that have no connection, and the codes that mean the connection is lost.
#pragma once

#include "dataset/DAError.h"
#include "ocicall/OraCall.h"

#include <string>

// An Oracle error: the message is the server's text, ErrorCode the absolute Oracle error number.
class EOraError : public EDAError {
public:
    EOraError(int code, const std::string& message) : EDAError(message, code < 0 ? -code : code) {}
};

// Plain messages of the client layer.
inline constexpr const char* SOCINotInited = "OCI is not inizialized";
inline constexpr const char* SNeedOCI73 = "Need Oracle 7.3 Call Interface";
inline constexpr const char* SNeedOCI8 = "Need Oracle 8 Call Interface";
inline constexpr const char* SNeedOCI81 = "Need Oracle 8i Call Interface";
inline constexpr const char* SNeedOCI9 = "Need Oracle 9 Call Interface";
inline constexpr const char* SSessionNotDefined = "Session is not defined";
inline constexpr const char* SSessionNotConnected = "Session is not connected";
inline constexpr const char* SCursorNotOpened = "Cursor must be opened";
inline constexpr const char* SDataTypeNotSupported = "Data type is not supported.";
inline constexpr const char* SUnknownParamType = "Unknown type of parameter %s.";
inline constexpr const char* SIndexOutOfRange = "Index of array is not range";
inline constexpr const char* SArrayParam = "%s parameter must be array with length %d";
inline constexpr const char* SLobInOut = "Lob parameter should be Input or Output";
inline constexpr const char* SLobNotAllocated = "Lob is not allocated";
inline constexpr const char* SSvcCtxNotDefined = "OCISvcCtx is not defined";
inline constexpr const char* SLobNotInited = "Lob locator should be inited";
inline constexpr const char* SCannotDisableCache = "Cannot disable lob caching. Lob is not empty.";
inline constexpr const char* SNotRows = "SQL statement doesn't return rows";
inline constexpr const char* SReopenNotAllowed = "Reopen is not allowed";
inline constexpr const char* SNeedThreadSafety = "Session must be Thread Safety";
inline constexpr const char* SCannotFindCharset = "Cannot find charset ";
inline constexpr const char* STypeNotTable = "This type cannot consist in table";
inline constexpr const char* STypeNotArray = "Type is not allowed in DML array";

// Raised for an element index outside 1..Length of a parameter.
class ERangeError : public Exception {
public:
    using Exception::Exception;
};

// Codes that mean the session is gone: killed, not logged on, end of file on the channel, not connected,
// unable to connect, TNS writer failure.
bool IsFatalOraCode(int code);

// The version-8 error retrieval: code (absolute) and text for a status, read from the error handle (the
// process-wide one when errhp is nil).
void GetOraErrorText(oracall::sword status, oracall::OCIError* errhp, int& code, std::string& text);

// The status check of calls without a connection: nothing for 0 and 1, else EOraError from the process-wide
// error handle. Installed into the call-interface table's check slot by InstallOraCheckGlobal.
void OraCheckGlobal(oracall::sword status);
void InstallOraCheckGlobal();
