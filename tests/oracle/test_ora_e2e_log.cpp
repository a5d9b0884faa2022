// The prepare log of the end-to-end tests: wraps the prepare entry point.
#include "OraE2e.h"

using namespace oracall;

namespace oratest {

namespace {
std::mutex g_logLock;
std::vector<std::string> g_log;
TOCIStmtPrepare g_prevPrepare = nullptr;
sword LoggingPrepare(OCIStmt* stmtp, OCIError* errhp, const OraText* stmt, ub4 len, ub4 language, ub4 mode) {
    {
        std::lock_guard<std::mutex> g(g_logLock);
        g_log.emplace_back(reinterpret_cast<const char*>(stmt));
    }
    return g_prevPrepare(stmtp, errhp, stmt, len, language, mode);
}
} // namespace

TPrepareLog::TPrepareLog() {
    g_prevPrepare = OCIStmtPrepare;
    OCIStmtPrepare = &LoggingPrepare;
    std::lock_guard<std::mutex> g(g_logLock);
    g_log.clear();
}
TPrepareLog::~TPrepareLog() {
    OCIStmtPrepare = g_prevPrepare;
}
std::vector<std::string> TPrepareLog::Texts() {
    std::lock_guard<std::mutex> g(g_logLock);
    return g_log;
}
std::vector<std::string> TPrepareLog::Starting(const std::string& prefix) {
    std::vector<std::string> out;
    for (auto& t : Texts())
        if (t.rfind(prefix, 0) == 0) out.push_back(t);
    return out;
}

} // namespace oratest
