// A logged-on session through the emulated call-interface entry points, for the end-to-end tests and the
// benchmark.
#pragma once

#include "ocicall/OraCall.h"
#include "oranet/NetCalls.h"

#include <cstring>
#include <stdexcept>
#include <string>

namespace ve2e {

using namespace oracall;

inline const OraText* T(const char* s) {
    return reinterpret_cast<const OraText*>(s);
}

struct TNetSessionRig {
    OCISvcCtx* svc = nullptr;
    OCIServer* srv = nullptr;
    OCISession* ses = nullptr;
    OCIError* err = nullptr;
    sword beginStatus = 0;
    bool ownErr = false;

    TNetSessionRig() {
        oranet::InstallNetCalls();
        err = hOCIError;
        AllocHandles();
    }
    // A rig for one of several threads: its own error handle, and the entry-point table is left as it is
    // (the test installs it once before the threads start).
    enum TOwnErrorHandle { OwnErrorHandle };
    explicit TNetSessionRig(TOwnErrorHandle) {
        dvoid* h = nullptr;
        OCIHandleAlloc(hOCIEnv, &h, OCI_HTYPE_ERROR, 0, nullptr);
        err = static_cast<OCIError*>(h);
        ownErr = true;
        AllocHandles();
    }
    void AllocHandles() {
        dvoid* h = nullptr;
        OCIHandleAlloc(hOCIEnv, &h, OCI_HTYPE_SVCCTX, 0, nullptr);
        svc = static_cast<OCISvcCtx*>(h);
        OCIHandleAlloc(hOCIEnv, &h, OCI_HTYPE_SERVER, 0, nullptr);
        srv = static_cast<OCIServer*>(h);
        OCIHandleAlloc(hOCIEnv, &h, OCI_HTYPE_SESSION, 0, nullptr);
        ses = static_cast<OCISession*>(h);
    }
    ~TNetSessionRig() {
        OCIHandleFree(ses, OCI_HTYPE_SESSION);
        OCIHandleFree(svc, OCI_HTYPE_SVCCTX);
        OCIHandleFree(srv, OCI_HTYPE_SERVER);
        if (ownErr) OCIHandleFree(err, OCI_HTYPE_ERROR);
    }
    TNetSessionRig(const TNetSessionRig&) = delete;
    TNetSessionRig& operator=(const TNetSessionRig&) = delete;
    sword Logon(const std::string& server, const char* user, const char* password) {
        OCIServerAttach(srv, err, T(server.c_str()), sb4(server.size()), 0);
        OCIAttrSet(svc, OCI_HTYPE_SVCCTX, srv, 0, OCI_ATTR_SERVER, err);
        OCIAttrSet(ses, OCI_HTYPE_SESSION, const_cast<char*>(user), 0, OCI_ATTR_USERNAME, err);
        OCIAttrSet(ses, OCI_HTYPE_SESSION, const_cast<char*>(password), 0, OCI_ATTR_PASSWORD, err);
        OCIAttrSet(svc, OCI_HTYPE_SVCCTX, ses, 0, OCI_ATTR_SESSION, err);
        beginStatus = OCISessionBegin(svc, err, ses, 1, 0);
        return beginStatus;
    }
    sword Logoff() { return OCISessionEnd(svc, err, ses, 0); }
    // The code and text in the error handle.
    std::string ErrorText(sb4* code = nullptr) {
        sb4 c = 0;
        char buf[1024] = {};
        OCIErrorGet(err, 1, nullptr, &c, reinterpret_cast<OraText*>(buf), sizeof buf, OCI_HTYPE_ERROR);
        if (code) *code = c;
        return buf;
    }
};

class TStmt {
public:
    TStmt(TNetSessionRig& s, const char* sql) : s_(s) {
        dvoid* h = nullptr;
        OCIHandleAlloc(hOCIEnv, &h, OCI_HTYPE_STMT, 0, nullptr);
        stmt = static_cast<OCIStmt*>(h);
        if (OCIStmtPrepare(stmt, s.err, T(sql), ub4(std::strlen(sql)), 1, 0) != 0)
            throw std::runtime_error("prepare failed: " + s.ErrorText());
    }
    ~TStmt() { OCIHandleFree(stmt, OCI_HTYPE_STMT); }
    sword Execute(ub4 iters = 0, ub4 mode = 0) {
        return OCIStmtExecute(s_.svc, stmt, s_.err, iters, 0, nullptr, nullptr, mode);
    }
    sword Fetch(ub4 rows) { return OCIStmtFetch(stmt, s_.err, rows, 2, 0); }
    OCIDefine* Define(ub4 pos, void* value, sb4 size, ub2 type, sb2* ind = nullptr, ub2* len = nullptr) {
        OCIDefine* d = nullptr;
        OCIDefineByPos(stmt, &d, s_.err, pos, value, size, type, ind, len, nullptr, 0);
        return d;
    }
    OCIBind* BindPos(ub4 pos, void* value, sb4 size, ub2 type, sb2* ind = nullptr, ub2* len = nullptr) {
        OCIBind* b = nullptr;
        if (OCIBindByPos(stmt, &b, s_.err, pos, value, size, type, ind, len, nullptr, 0, nullptr, 0) != 0)
            throw std::runtime_error("bind failed");
        return b;
    }
    OCIBind* BindName(const char* name, void* value, sb4 size, ub2 type, sb2* ind = nullptr,
                      ub2* len = nullptr) {
        OCIBind* b = nullptr;
        if (OCIBindByName(stmt, &b, s_.err, T(name), sb4(std::strlen(name)), value, size, type, ind, len,
                          nullptr, 0, nullptr, 0) != 0)
            throw std::runtime_error("bind failed");
        return b;
    }
    template <class V> V Attr(ub4 attr) {
        V v{};
        OCIAttrGet(stmt, OCI_HTYPE_STMT, &v, nullptr, attr, s_.err);
        return v;
    }
    OCIStmt* stmt = nullptr;

private:
    TNetSessionRig& s_;
};

} // namespace ve2e
