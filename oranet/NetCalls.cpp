#include "oranet/NetCalls.h"

#include "dataset/StrUtil.h"
#include "ocicall/OraCall.h"
#include "ocicall/OraCallLoad.h"
#include "oranet/NetHandles.h"
#include "oranet/NetRowid.h"

#include <algorithm>
#include <cstring>

namespace oranet {

using namespace oracall;

// ---------------------------------------------------------------------------------------------------------
// Handle attributes

TNetHandle::~TNetHandle() = default;
sword TNetHandle::GetAttribute(void*, ub4*, TNetErrorHandle*, ub4) {
    return -2;
}
sword TNetHandle::SetAttribute(void*, ub4, TNetErrorHandle*, ub4) {
    return -2;
}
sword TNetHandle::GetParameter(TNetErrorHandle*, void**, ub4) {
    return -2;
}

namespace {

template <class T> void PutAt(void* target, T v) {
    std::memcpy(target, &v, sizeof v);
}

std::string ZText(const void* p) {
    return p ? std::string(static_cast<const char*>(p)) : std::string();
}

TNetHandle* H(const void* p) {
    return static_cast<TNetHandle*>(const_cast<void*>(p));
}
TNetErrorHandle* E(OCIError* p) {
    return dynamic_cast<TNetErrorHandle*>(H(p));
}
template <class T> T* As(const void* p) {
    return p ? dynamic_cast<T*>(H(p)) : nullptr;
}

} // namespace

sword TNetServer::SetAttribute(void* value, ub4, TNetErrorHandle*, ub4 attr) {
    if (attr != NET_ATTR_CONNECT_TIMEOUT || !value) return -2;
    std::memcpy(&connectTimeoutMs, value, sizeof connectTimeoutMs);
    return 0;
}

sword TNetSession::SetAttribute(void* value, ub4, TNetErrorHandle*, ub4 attr) {
    switch (attr) {
    case OCI_ATTR_USERNAME:
        userName = ZText(value);
        return 0;
    case OCI_ATTR_PASSWORD:
        password = ZText(value);
        return 0;
    default:
        return -2;
    }
}

sword TNetParam::GetAttribute(void* target, ub4* size, TNetErrorHandle*, ub4 attr) {
    if (!target) return -2;
    switch (attr) {
    case OCI_ATTR_DATA_SIZE:
        PutAt<ub2>(target, dataSize);
        return 0;
    case OCI_ATTR_DATA_TYPE:
        PutAt<ub2>(target, dataType);
        return 0;
    case OCI_ATTR_NAME:
        PutAt<const char*>(target, name.c_str());
        if (size) *size = ub4(name.size());
        return 0;
    case OCI_ATTR_PRECISION:
        PutAt<ub2>(target, precision);
        return 0;
    case OCI_ATTR_SCALE:
        PutAt<int8_t>(target, scale);
        return 0;
    case OCI_ATTR_IS_NULL:
        PutAt<ub1>(target, nullable);
        return 0;
    default:
        return -2;
    }
}

sword TNetBind::SetAttribute(void*, ub4, TNetErrorHandle*, ub4 attr) {
    return attr == OCI_ATTR_CHARSET_ID ? 0 : -2;
}
sword TNetDefine::SetAttribute(void*, ub4, TNetErrorHandle*, ub4 attr) {
    return attr == OCI_ATTR_CHARSET_ID ? 0 : -2;
}

sword TNetLobLocator::SetAttribute(void* value, ub4, TNetErrorHandle*, ub4 attr) {
    if (attr != OCI_ATTR_LOBEMPTY || !value) return -2;
    std::memcpy(&attr45, value, sizeof attr45);
    return 0;
}

namespace {

ub2 SqlFunctionCode(int commandType) {
    switch (commandType) {
    case 2:
        return 3;
    case 3:
        return 4;
    case 6:
        return 5;
    case 7:
        return 9;
    case 44:
        return 54;
    case 45:
        return 55;
    case 47:
        return 34;
    default:
        return 0;
    }
}

} // namespace

sword TNetCursor::GetAttribute(void* target, ub4*, TNetErrorHandle*, ub4 attr) {
    if (!target) return -2;
    switch (attr) {
    case OCI_ATTR_ROW_COUNT:
        PutAt<int32_t>(target, rowCount);
        return 0;
    case OCI_ATTR_SQLFNCODE:
        PutAt<ub2>(target, SqlFunctionCode(serverCommandType));
        return 0;
    case OCI_ATTR_PARAM_COUNT:
        PutAt<int32_t>(target, int32_t(columns.size()));
        return 0;
    case OCI_ATTR_ROWID: {
        auto* rowid = As<TNetRowid>(target);
        if (!rowid) return -2;
        std::memcpy(rowid->data, rowidImage, sizeof rowidImage);
        return 0;
    }
    case OCI_ATTR_STMT_TYPE:
        PutAt<ub2>(target, statementType);
        return 0;
    case OCI_ATTR_PARSE_ERROR_OFFSET:
        PutAt<ub2>(target, parseErrorOffset);
        return 0;
    case NET_ATTR_SUBSTITUTED_VALUES:
        PutAt<ub4>(target, substitutedValues);
        return 0;
    default:
        return -2;
    }
}

sword TNetCursor::GetParameter(TNetErrorHandle*, void** param, ub4 position) {
    if (!param) return -2;
    if (position < 1 || position > columns.size()) {
        *param = nullptr;
        return 100;
    }
    *param = static_cast<TNetHandle*>(columns[position - 1].get());
    return 0;
}

// ---------------------------------------------------------------------------------------------------------
// Entry points

namespace {

[[noreturn]] void NotSupported() {
    throw EOCICallError("Function is not supported");
}

sword NetEnvCreate(OCIEnv** envhpp, ub4, dvoid*, OCIMallocFn, OCIReallocFn, OCIFreeFn, size_t,
                   dvoid** usrmempp) {
    if (envhpp) *envhpp = nullptr;
    if (usrmempp) *usrmempp = nullptr;
    return 0;
}

sword NetEnvInit(OCIEnv** envhpp, ub4, size_t, dvoid** usrmempp) {
    if (envhpp) *envhpp = nullptr;
    if (usrmempp) *usrmempp = nullptr;
    return 0;
}

sword NetHandleAlloc(const dvoid* parent, dvoid** hndlpp, ub4 type, size_t, dvoid** usrmempp) {
    if (!hndlpp) return -2;
    if (usrmempp) *usrmempp = nullptr;
    void* p = const_cast<void*>(parent);
    TNetHandle* h;
    switch (type) {
    case OCI_HTYPE_ERROR:
        h = new TNetErrorHandle(p);
        break;
    case OCI_HTYPE_SVCCTX:
        h = new TNetConnection(p);
        break;
    case OCI_HTYPE_STMT:
        h = new TNetCursor(p);
        break;
    case OCI_HTYPE_SERVER:
        h = new TNetServer(p);
        break;
    case OCI_HTYPE_SESSION:
        h = new TNetSession(p);
        break;
    default:
        return -2;
    }
    *hndlpp = h;
    return 0;
}

sword NetHandleFree(dvoid* hndlp, ub4) {
    TNetHandle* h = H(hndlp);
    if (!h) return -2;
    if (auto* c = dynamic_cast<TNetCursor*>(h)) {
        // A statement with an open server cursor closes it first, while its connection is there.
        if (c->cursorId != 0 && c->transport && TNetConnection::IsAlive(c->connection) &&
            c->transport->Connected())
            c->Close(nullptr);
    }
    delete h;
    return 0;
}

sword NetDescriptorAlloc(const dvoid* parent, dvoid** descpp, ub4 type, size_t, dvoid** usrmempp) {
    if (!descpp) return -2;
    if (usrmempp) *usrmempp = nullptr;
    void* p = const_cast<void*>(parent);
    switch (type) {
    case OCI_DTYPE_LOB:
    case OCI_DTYPE_FILE:
        *descpp = static_cast<TNetHandle*>(new TNetLobLocator(p));
        return 0;
    case OCI_DTYPE_ROWID:
        *descpp = static_cast<TNetHandle*>(new TNetRowid(p));
        return 0;
    default:
        return -2;
    }
}

sword NetDescriptorFree(dvoid* descp, ub4) {
    delete H(descp);
    return 0;
}

// The text of a rowid descriptor filled by the statement's ROWID attribute. On entry *outbflp is the
// buffer's size; on return the text's length (no terminating zero). A buffer too small for the text gets
// nothing: -1 with ORA-01406 and the length needed in *outbflp.
sword NetRowidToChar(OCIRowid* rowidDesc, OraText* outbfp, ub2* outbflp, OCIError* errhp) {
    auto* rowid = As<TNetRowid>(rowidDesc);
    if (!rowid || !outbflp) return -2;
    std::string text = RowIdImageToText(rowid->data, 13);
    if (text.size() > *outbflp || (!text.empty() && !outbfp)) {
        *outbflp = ub2(text.size());
        if (TNetErrorHandle* err = E(errhp)) {
            err->code = 1406;
            err->message = "ORA-01406: fetched column value was truncated";
        }
        return -1;
    }
    if (!text.empty()) std::memcpy(outbfp, text.data(), text.size());
    *outbflp = ub2(text.size());
    return 0;
}

sword NetAttrGet(const dvoid* h, ub4, dvoid* target, ub4* sizep, ub4 attr, OCIError* errhp) {
    if (!h) return -2;
    return H(h)->GetAttribute(target, sizep, E(errhp), attr);
}

sword NetAttrSet(dvoid* h, ub4, dvoid* value, ub4 size, ub4 attr, OCIError* errhp) {
    if (!h) return -2;
    return H(h)->SetAttribute(value, size, E(errhp), attr);
}

sword NetParamGet(const dvoid* h, ub4, OCIError* errhp, dvoid** parmdpp, ub4 pos) {
    if (!h) return -2;
    return H(h)->GetParameter(E(errhp), parmdpp, pos);
}

sword NetErrorGet(dvoid* h, ub4, OraText*, sb4* errcodep, OraText* bufp, ub4 bufsiz, ub4 type) {
    auto* err = As<TNetErrorHandle>(h);
    if (type != OCI_HTYPE_ERROR || !err) return -2;
    if (errcodep) *errcodep = err->code;
    if (err->code == 0) return 100;
    if (bufp && bufsiz > 0) {
        size_t n = std::min<size_t>(err->message.size(), bufsiz - 1);
        std::memcpy(bufp, err->message.data(), n);
        bufp[n] = 0;
    }
    return 0;
}

sword NetServerAttach(OCIServer* srvhp, OCIError*, const OraText* dblink, sb4, ub4) {
    auto* s = As<TNetServer>(srvhp);
    if (!s) return -2;
    s->serverString = ZText(dblink);
    return 0;
}

sword NetServerDetach(OCIServer*, OCIError*, ub4) {
    return 0;
}

sword NetSessionBegin(OCISvcCtx* svchp, OCIError* errhp, OCISession* usrhp, ub4, ub4) {
    auto* c = As<TNetConnection>(svchp);
    if (!c) return -2;
    c->session = As<TNetSession>(usrhp);
    return c->BeginSession(E(errhp));
}

sword NetSessionEnd(OCISvcCtx* svchp, OCIError* errhp, OCISession*, ub4) {
    auto* c = As<TNetConnection>(svchp);
    if (!c) return -2;
    return c->EndSession(E(errhp));
}

sword NetServerVersion(dvoid* h, OCIError*, OraText* bufp, ub4 bufsz, ub1 type) {
    if (type != OCI_HTYPE_SVCCTX) return 0;
    auto* c = As<TNetConnection>(h);
    if (!c || !bufp || bufsz == 0) return 0;
    const char* text = c->serverVersion < 8001 ? "Oracle7" : "Oracle8";
    size_t n = std::min<size_t>(std::strlen(text), bufsz - 1);
    std::memcpy(bufp, text, n);
    bufp[n] = 0;
    return 0;
}

sword NetTransCommit(OCISvcCtx* svchp, OCIError* errhp, ub4) {
    auto* c = As<TNetConnection>(svchp);
    return c ? c->Commit(E(errhp)) : -2;
}

sword NetTransRollback(OCISvcCtx* svchp, OCIError* errhp, ub4) {
    auto* c = As<TNetConnection>(svchp);
    return c ? c->Rollback(E(errhp)) : -2;
}

sword NetBreak(dvoid* h, OCIError* errhp) {
    auto* c = As<TNetConnection>(h);
    return c ? c->Break(E(errhp)) : -2;
}

sword NetStmtPrepare(OCIStmt* stmtp, OCIError* errhp, const OraText* stmt, ub4, ub4, ub4) {
    auto* c = As<TNetCursor>(stmtp);
    return c ? c->Prepare(ZText(stmt), E(errhp)) : -2;
}

sword NetStmtExecute(OCISvcCtx* svchp, OCIStmt* stmtp, OCIError* errhp, ub4 iters, ub4, const OCISnapshot*,
                     OCISnapshot*, ub4 mode) {
    auto* c = As<TNetCursor>(stmtp);
    auto* svc = As<TNetConnection>(svchp);
    if (!c || !svc) return -2;
    return c->Execute(svc, iters, mode, E(errhp));
}

sword NetStmtFetch(OCIStmt* stmtp, OCIError* errhp, ub4 nrows, ub2, ub4) {
    auto* c = As<TNetCursor>(stmtp);
    return c ? c->Fetch(nrows, E(errhp)) : -2;
}

void FillBind(TNetBind& b, dvoid* valuep, sb4 value_sz, ub2 dty, dvoid* indp, ub2* alenp, ub4 maxarr_len,
              ub4* curelep) {
    b.dataType = dty;
    b.value = valuep;
    b.valueSize = value_sz;
    b.indicator = indp;
    b.length = alenp;
    b.maxArrayLength = maxarr_len;
    b.currentCount = curelep;
    b.valueSkip = uint32_t(value_sz > 0 ? value_sz : 0);
    b.indicatorSkip = sizeof(sb2);
    b.lengthSkip = sizeof(ub2);
}

sword NetBindByName(OCIStmt* stmtp, OCIBind** bindp, OCIError* errhp, const OraText* placeholder, sb4,
                    dvoid* valuep, sb4 value_sz, ub2 dty, dvoid* indp, ub2* alenp, ub2*, ub4 maxarr_len,
                    ub4* curelep, ub4) {
    auto* c = As<TNetCursor>(stmtp);
    if (!c) return -2;
    std::string name = ZText(placeholder);
    for (auto& b : c->binds) {
        if (!SameText(b->name, name)) continue;
        FillBind(*b, valuep, value_sz, dty, indp, alenp, maxarr_len, curelep);
        if (bindp) *bindp = reinterpret_cast<OCIBind*>(static_cast<TNetHandle*>(b.get()));
        return 0;
    }
    if (auto* err = E(errhp)) err->code = 1036;
    return -1;
}

sword NetBindByPos(OCIStmt* stmtp, OCIBind** bindp, OCIError* errhp, ub4 position, dvoid* valuep,
                   sb4 value_sz, ub2 dty, dvoid* indp, ub2* alenp, ub2*, ub4 maxarr_len, ub4* curelep, ub4) {
    auto* c = As<TNetCursor>(stmtp);
    if (!c) return -2;
    if (position < 1 || position > c->binds.size()) {
        if (auto* err = E(errhp)) err->code = 1036;
        return -1;
    }
    TNetBind& b = *c->binds[position - 1];
    FillBind(b, valuep, value_sz, dty, indp, alenp, maxarr_len, curelep);
    if (bindp) *bindp = reinterpret_cast<OCIBind*>(static_cast<TNetHandle*>(&b));
    return 0;
}

sword NetBindArrayOfStruct(OCIBind* bindp, OCIError*, ub4 pvskip, ub4 indskip, ub4 alskip, ub4) {
    auto* b = As<TNetParam>(bindp);
    if (!b) return -2;
    b->valueSkip = pvskip;
    b->indicatorSkip = indskip;
    b->lengthSkip = alskip;
    return 0;
}

sword NetBindDynamic(OCIBind* bindp, OCIError*, dvoid* ictxp, OCICallbackInBind icbfp, dvoid* octxp,
                     OCICallbackOutBind ocbfp) {
    auto* b = As<TNetBind>(bindp);
    if (!b) return -2;
    b->inContext = ictxp;
    b->inCallback = icbfp;
    b->outContext = octxp;
    b->outCallback = reinterpret_cast<void*>(ocbfp);
    return 0;
}

sword NetDefineByPos(OCIStmt* stmtp, OCIDefine** defnp, OCIError*, ub4 position, dvoid* valuep, sb4 value_sz,
                     ub2 dty, dvoid* indp, ub2* rlenp, ub2*, ub4) {
    auto* c = As<TNetCursor>(stmtp);
    if (!c) return -2;
    if (position < 1) return -2; // positions start at 1
    // The define list grows to the position; the positions in between stay undefined (type 0) and their
    // values are read and dropped.
    while (c->defines.size() < position)
        c->defines.push_back(std::make_unique<TNetDefine>(c));
    TNetDefine& d = *c->defines[position - 1];
    d.dataType = dty;
    d.value = valuep;
    d.valueSize = value_sz;
    d.indicator = indp;
    d.length = rlenp;
    d.valueSkip = uint32_t(value_sz > 0 ? value_sz : 0);
    d.indicatorSkip = sizeof(sb2);
    d.lengthSkip = sizeof(ub2);
    if (defnp) *defnp = reinterpret_cast<OCIDefine*>(static_cast<TNetHandle*>(&d));
    return 0;
}

sword NetDefineArrayOfStruct(OCIDefine* defnp, OCIError*, ub4 pvskip, ub4 indskip, ub4 rlskip, ub4) {
    auto* d = As<TNetParam>(defnp);
    if (!d) return -2;
    d->valueSkip = pvskip;
    d->indicatorSkip = indskip;
    d->lengthSkip = rlskip;
    return 0;
}

sword NetDefineDynamic(OCIDefine* defnp, OCIError*, dvoid* octxp, OCICallbackDefine ocbfp) {
    auto* d = As<TNetDefine>(defnp);
    if (!d) return -2;
    d->outContext = octxp;
    d->outCallback = reinterpret_cast<void*>(ocbfp);
    return 0;
}

// The bind type of a locator: its LOB type, BLOB for a locator that no fetch has filled yet.
ub2 LobBindType(const void* locp) {
    auto* loc = As<TNetLobLocator>(locp);
    return loc && loc->lobType != 0 ? loc->lobType : SQLT_BLOB;
}

// LOB operations: small PL/SQL blocks on a statement of their own.
class TLobStatement {
public:
    TLobStatement(OCISvcCtx* svc, OCIError* err, const char* text) : svc_(svc), err_(err) {
        dvoid* h = nullptr;
        CheckGlobal(oracall::OCIHandleAlloc(hOCIEnv, &h, OCI_HTYPE_STMT, 0, nullptr));
        stmt_ = static_cast<OCIStmt*>(h);
        CheckGlobal(oracall::OCIStmtPrepare(stmt_, err_, reinterpret_cast<const OraText*>(text),
                                            ub4(std::strlen(text)), 1, 0));
    }
    ~TLobStatement() { oracall::OCIHandleFree(stmt_, OCI_HTYPE_STMT); }
    void Bind(ub4 pos, void* value, sb4 size, ub2 type) {
        OCIBind* b = nullptr;
        CheckGlobal(oracall::OCIBindByPos(stmt_, &b, err_, pos, value, size, type, nullptr, nullptr, nullptr,
                                          0, nullptr, 0));
    }
    sword Execute() { return oracall::OCIStmtExecute(svc_, stmt_, err_, 1, 0, nullptr, nullptr, 0); }

private:
    OCISvcCtx* svc_;
    OCIError* err_;
    OCIStmt* stmt_ = nullptr;
};

constexpr ub4 MaxLobPiece = 32512;

// The connection of the current generation behind a service context, nullptr for a classic one.
TNetConnection* CurrentConnection(OCISvcCtx* svchp) {
    auto* c = As<TNetConnection>(svchp);
    return c && c->current ? c : nullptr;
}

sword NetLobGetLength(OCISvcCtx* svchp, OCIError* errhp, OCILobLocator* locp, ub4* lenp) {
    if (TNetConnection* c = CurrentConnection(svchp)) {
        auto* loc = As<TNetLobLocator>(locp);
        return loc ? CurrentLobLength(*c, *loc, lenp, E(errhp)) : -2;
    }
    TLobStatement s(svchp, errhp, "begin :1 := dbms_lob.getLength(:2); end;");
    s.Bind(1, lenp, 4, SQLT_INT);
    s.Bind(2, &locp, sizeof locp, LobBindType(locp));
    CheckGlobal(s.Execute());
    return 0;
}

sword LobReadWrite(bool write, OCISvcCtx* svchp, OCIError* errhp, OCILobLocator* locp, ub4* amtp, ub4 offset,
                   dvoid* bufp, ub4 bufl) {
    ub2 lobType = LobBindType(locp);
    TLobStatement s(svchp, errhp,
                    write ? "begin dbms_lob.write(:1,:2,:3,:4); end;"
                          : "begin dbms_lob.read(:1,:2,:3,:4); end;");
    s.Bind(1, &locp, sizeof locp, lobType);
    ub4 remaining = bufl, done = 0;
    int32_t n = 0, at = 0;
    while (remaining > 0) {
        ub4 ask = std::min(remaining, MaxLobPiece);
        n = int32_t(ask);
        at = int32_t(offset + done);
        s.Bind(2, &n, 4, SQLT_INT);
        s.Bind(3, &at, 4, SQLT_INT);
        s.Bind(4, static_cast<uint8_t*>(bufp) + done, sb4(ask), lobType == SQLT_CLOB ? SQLT_AFC : SQLT_BIN);
        sword r = s.Execute();
        if (r != 0) {
            sb4 code = 0;
            if (!write &&
                oracall::OCIErrorGet(hOCIError, 1, nullptr, &code, nullptr, 0, OCI_HTYPE_ERROR) == 0 &&
                (code == 1403 || code == -1403))
                break; // the end of the LOB
            CheckGlobal(r);
        }
        // The server's count is believed only up to what was asked for.
        ub4 got = n < 0 ? 0 : std::min(ub4(n), ask);
        done += got;
        if (write) {
            if (got == remaining || got == 0) break;
        } else {
            if ((got < remaining && got < MaxLobPiece) || got == remaining) break;
        }
        remaining -= got;
    }
    if (amtp) *amtp = done;
    return 0;
}

sword NetLobRead(OCISvcCtx* svchp, OCIError* errhp, OCILobLocator* locp, ub4* amtp, ub4 offset, dvoid* bufp,
                 ub4 bufl, dvoid*, OCICallbackLobRead, ub2, ub1) {
    if (TNetConnection* c = CurrentConnection(svchp)) {
        auto* loc = As<TNetLobLocator>(locp);
        return loc ? CurrentLobRead(*c, *loc, amtp, offset, bufp, bufl, E(errhp)) : -2;
    }
    return LobReadWrite(false, svchp, errhp, locp, amtp, offset, bufp, bufl);
}

sword NetLobWrite(OCISvcCtx* svchp, OCIError* errhp, OCILobLocator* locp, ub4* amtp, ub4 offset, dvoid* bufp,
                  ub4 buflen, ub1, dvoid*, OCICallbackLobWrite, ub2, ub1) {
    if (TNetConnection* c = CurrentConnection(svchp)) {
        auto* loc = As<TNetLobLocator>(locp);
        return loc ? CurrentLobWrite(*c, *loc, amtp, offset, bufp, buflen, E(errhp)) : -2;
    }
    return LobReadWrite(true, svchp, errhp, locp, amtp, offset, bufp, buflen);
}

sword NetLobTrim(OCISvcCtx* svchp, OCIError* errhp, OCILobLocator* locp, ub4 newlen) {
    if (TNetConnection* c = CurrentConnection(svchp)) {
        auto* loc = As<TNetLobLocator>(locp);
        return loc ? CurrentLobTrim(*c, *loc, newlen, E(errhp)) : -2;
    }
    TLobStatement s(svchp, errhp, "begin dbms_lob.trim(:1,:2); end;");
    int32_t len = int32_t(newlen);
    s.Bind(1, &locp, sizeof locp, LobBindType(locp));
    s.Bind(2, &len, 4, SQLT_INT);
    CheckGlobal(s.Execute());
    return 0;
}

sword NetLobLocatorIsInit(OCIEnv*, OCIError*, const OCILobLocator* locp, int* is_initialized) {
    auto* loc = As<TNetLobLocator>(locp);
    if (is_initialized) *is_initialized = loc && !loc->bytes.empty() ? 1 : 0;
    return 0;
}

sword NetLobCharSetForm(OCIEnv*, OCIError*, const OCILobLocator* locp, ub1* csfrm) {
    // The current generation's fetch tells the column's form; the classic one does not.
    auto* loc = As<TNetLobLocator>(locp);
    if (!loc || loc->charsetForm == 0) return 1;
    if (csfrm) *csfrm = loc->charsetForm;
    return 0;
}

// Temporary LOBs exist over the current generation only (its LOB call creates them).
sword NetLobCreateTemporary(OCISvcCtx* svchp, OCIError* errhp, OCILobLocator* locp, ub2, ub1 csfrm,
                            ub1 lobtype, int, ub2) {
    TNetConnection* c = CurrentConnection(svchp);
    if (!c) NotSupported();
    auto* loc = As<TNetLobLocator>(locp);
    return loc ? CurrentLobCreateTemporary(*c, *loc, csfrm, lobtype, E(errhp)) : -2;
}

// The routines that network mode does not offer.
template <class F> struct Unsupported;
template <class R, class... A> struct Unsupported<R (*)(A...)> {
    static R Call(A...) { NotSupported(); }
};

} // namespace

void GetNetCalls(oracall::TOCICalls& calls) {
    calls.OCIEnvCreate = &NetEnvCreate;
    calls.OCIEnvInit = &NetEnvInit;
    calls.OCIHandleAlloc = &NetHandleAlloc;
    calls.OCIHandleFree = &NetHandleFree;
    calls.OCIDescriptorAlloc = &NetDescriptorAlloc;
    calls.OCIDescriptorFree = &NetDescriptorFree;
    calls.OCIRowidToChar = &NetRowidToChar;
    calls.OCIAttrGet = &NetAttrGet;
    calls.OCIAttrSet = &NetAttrSet;
    calls.OCIParamGet = &NetParamGet;
    calls.OCIErrorGet = &NetErrorGet;
    calls.OCIServerAttach = &NetServerAttach;
    calls.OCIServerDetach = &NetServerDetach;
    calls.OCISessionBegin = &NetSessionBegin;
    calls.OCISessionEnd = &NetSessionEnd;
    calls.OCIServerVersion = &NetServerVersion;
    calls.OCITransCommit = &NetTransCommit;
    calls.OCITransRollback = &NetTransRollback;
    calls.OCIBreak = &NetBreak;
    calls.OCIStmtPrepare = &NetStmtPrepare;
    calls.OCIStmtExecute = &NetStmtExecute;
    calls.OCIStmtFetch = &NetStmtFetch;
    calls.OCIBindByName = &NetBindByName;
    calls.OCIBindByPos = &NetBindByPos;
    calls.OCIBindArrayOfStruct = &NetBindArrayOfStruct;
    calls.OCIBindDynamic = &NetBindDynamic;
    calls.OCIDefineByPos = &NetDefineByPos;
    calls.OCIDefineArrayOfStruct = &NetDefineArrayOfStruct;
    calls.OCIDefineDynamic = &NetDefineDynamic;
    calls.OCILobGetLength = &NetLobGetLength;
    calls.OCILobRead = &NetLobRead;
    calls.OCILobWrite = &NetLobWrite;
    calls.OCILobTrim = &NetLobTrim;
    calls.OCILobLocatorIsInit = &NetLobLocatorIsInit;
    calls.OCILobCharSetForm = &NetLobCharSetForm;
    calls.OCILobCreateTemporary = &NetLobCreateTemporary;
#define VESTRA_NET_UNSUPPORTED(name) calls.name = &Unsupported<oracall::T##name>::Call;
    VESTRA_NET_UNSUPPORTED(OCIBindObject)
    VESTRA_NET_UNSUPPORTED(OCIDefineObject)
    VESTRA_NET_UNSUPPORTED(OCIDescribeAny)
    VESTRA_NET_UNSUPPORTED(OCIInitialize)
    VESTRA_NET_UNSUPPORTED(OCILdaToSvcCtx)
    VESTRA_NET_UNSUPPORTED(OCISvcCtxToLda)
    VESTRA_NET_UNSUPPORTED(OCIPasswordChange)
    VESTRA_NET_UNSUPPORTED(OCIStmtFetch2)
    VESTRA_NET_UNSUPPORTED(OCIStmtGetPieceInfo)
    VESTRA_NET_UNSUPPORTED(OCIStmtSetPieceInfo)
    VESTRA_NET_UNSUPPORTED(OCILobAppend)
    VESTRA_NET_UNSUPPORTED(OCILobAssign)
    VESTRA_NET_UNSUPPORTED(OCILobCharSetId)
    VESTRA_NET_UNSUPPORTED(OCILobCopy)
    VESTRA_NET_UNSUPPORTED(OCILobDisableBuffering)
    VESTRA_NET_UNSUPPORTED(OCILobEnableBuffering)
    VESTRA_NET_UNSUPPORTED(OCILobErase)
    VESTRA_NET_UNSUPPORTED(OCILobFileClose)
    VESTRA_NET_UNSUPPORTED(OCILobFileExists)
    VESTRA_NET_UNSUPPORTED(OCILobFileGetName)
    VESTRA_NET_UNSUPPORTED(OCILobFileIsOpen)
    VESTRA_NET_UNSUPPORTED(OCILobFileOpen)
    VESTRA_NET_UNSUPPORTED(OCILobFileSetName)
    VESTRA_NET_UNSUPPORTED(OCILobFlushBuffer)
    VESTRA_NET_UNSUPPORTED(OCILobIsEqual)
    VESTRA_NET_UNSUPPORTED(OCILobLoadFromFile)
    // The object routines: network mode has no object types.
    VESTRA_NET_UNSUPPORTED(OCITypeByName)
    VESTRA_NET_UNSUPPORTED(OCIObjectNew)
    VESTRA_NET_UNSUPPORTED(OCIObjectFree)
    VESTRA_NET_UNSUPPORTED(OCIObjectPin)
    VESTRA_NET_UNSUPPORTED(OCIObjectFlush)
    VESTRA_NET_UNSUPPORTED(OCIObjectMarkDelete)
    VESTRA_NET_UNSUPPORTED(OCIObjectGetInd)
    VESTRA_NET_UNSUPPORTED(OCICollSize)
    VESTRA_NET_UNSUPPORTED(OCICollAppend)
    VESTRA_NET_UNSUPPORTED(OCICollAssignElem)
    VESTRA_NET_UNSUPPORTED(OCICollGetElem)
    VESTRA_NET_UNSUPPORTED(OCITableSize)
    VESTRA_NET_UNSUPPORTED(OCITableNext)
    VESTRA_NET_UNSUPPORTED(OCITableDelete)
    VESTRA_NET_UNSUPPORTED(OCIRefAssign)
    VESTRA_NET_UNSUPPORTED(OCIRefClear)
    VESTRA_NET_UNSUPPORTED(OCIRefIsNull)
    VESTRA_NET_UNSUPPORTED(OCIStringAssignText)
    VESTRA_NET_UNSUPPORTED(OCIStringPtr)
    VESTRA_NET_UNSUPPORTED(OCIStringResize)
    VESTRA_NET_UNSUPPORTED(OCINumberFromInt)
    VESTRA_NET_UNSUPPORTED(OCINumberToInt)
    VESTRA_NET_UNSUPPORTED(OCINumberFromReal)
    VESTRA_NET_UNSUPPORTED(OCINumberToReal)
#undef VESTRA_NET_UNSUPPORTED
}

void InstallNetCalls() {
    // A loaded client library goes first; its handles are its own.
    oracall::FreeOCI();
    oracall::TOCICalls calls;
    GetNetCalls(calls);
    oracall::InstallOCICalls(calls);
    OCIFunctionGroups = OCIGroupOCI8;
    OCIClientVersionCode = 3;
    OCIDefaultCallStyle = 2;
    if (hOCIError) {
        oracall::OCIHandleFree(hOCIError, OCI_HTYPE_ERROR);
        hOCIError = nullptr;
    }
    OCIEnv* env = nullptr;
    if (oracall::OCIEnvCreate(&env, 0, nullptr, nullptr, nullptr, nullptr, 0, nullptr) != 0)
        throw EOCICallError("Can't initialize Net client");
    hOCIEnv = env;
    dvoid* err = nullptr;
    if (oracall::OCIHandleAlloc(hOCIEnv, &err, OCI_HTYPE_ERROR, 0, nullptr) != 0)
        throw EOCICallError("Can't initialize Net client");
    hOCIError = static_cast<OCIError*>(err);
    OCIInited = true;
}

bool NetCallsInstalled() {
    return oracall::OCIHandleFree == &NetHandleFree;
}

void RemoveNetCalls() {
    if (hOCIError && oracall::OCIHandleFree == &NetHandleFree)
        oracall::OCIHandleFree(hOCIError, OCI_HTYPE_ERROR);
    hOCIError = nullptr;
    hOCIEnv = nullptr;
    OCIFunctionGroups = 0;
    OCIClientVersionCode = 0;
    OCIDefaultCallStyle = 0;
    OCIInited = false;
}

TWinSocket* NetSocketOf(void* svcctx) {
    auto* c = As<TNetConnection>(svcctx);
    return c && c->transport ? &c->transport->Socket() : nullptr;
}

} // namespace oranet
