// Included by OciLib.cpp only.
// Generated once from the entry-point list: routines of the test library that hand the call to the host's
// network emulation unchanged (after forgetting an error this library wrote into the error handle).

OCILIB_EXPORT sword OCIDescriptorAlloc(const dvoid* parenth, dvoid** descpp, ub4 type, size_t xtramemsz,
                                       dvoid** usrmempp) {
    if (!descpp) return OCI_INVALID_HANDLE;
    switch (type) {
    case OCI_DTYPE_TIMESTAMP:
    case OCI_DTYPE_TIMESTAMP_TZ:
    case OCI_DTYPE_TIMESTAMP_LTZ: {
        TDateTimeDesc* d = Make<TDateTimeDesc>();
        d->dtype = type;
        *descpp = static_cast<TObj*>(d);
        return OCI_SUCCESS;
    }
    case OCI_DTYPE_INTERVAL_YM:
    case OCI_DTYPE_INTERVAL_DS: {
        TIntervalDesc* d = Make<TIntervalDesc>();
        d->dtype = type;
        *descpp = static_cast<TObj*>(d);
        return OCI_SUCCESS;
    }
    }
    sword r = HOST(OCIDescriptorAlloc)(parenth, descpp, type, xtramemsz, usrmempp);
    if (r == OCI_SUCCESS && (type == OCI_DTYPE_LOB || type == OCI_DTYPE_FILE)) {
        TGuard g(g_lock);
        g_locTypes[*descpp] = type;
    }
    return r;
}

OCILIB_EXPORT sword OCIDescriptorFree(dvoid* descp, ub4 type) {
    if (TObj* o = Own<TDateTimeDesc>(descp)) {
        Drop(o);
        return OCI_SUCCESS;
    }
    if (TObj* o = Own<TIntervalDesc>(descp)) {
        Drop(o);
        return OCI_SUCCESS;
    }
    {
        TGuard g(g_lock);
        g_locTypes.erase(descp);
        g_lobs.erase(descp);
    }
    return HOST(OCIDescriptorFree)(descp, type);
}

OCILIB_EXPORT sword OCIServerAttach(OCIServer* srvhp, OCIError* errhp, const OraText* dblink, sb4 dblink_len,
                                    ub4 mode) {
    ForgetError(errhp);
    return HOST(OCIServerAttach)(srvhp, errhp, dblink, dblink_len, mode);
}

OCILIB_EXPORT sword OCIServerDetach(OCIServer* srvhp, OCIError* errhp, ub4 mode) {
    ForgetError(errhp);
    return HOST(OCIServerDetach)(srvhp, errhp, mode);
}

OCILIB_EXPORT sword OCISessionBegin(OCISvcCtx* svchp, OCIError* errhp, OCISession* usrhp, ub4 credt,
                                    ub4 mode) {
    ForgetError(errhp);
    return HOST(OCISessionBegin)(svchp, errhp, usrhp, credt, mode);
}

OCILIB_EXPORT sword OCISessionEnd(OCISvcCtx* svchp, OCIError* errhp, OCISession* usrhp, ub4 mode) {
    ForgetError(errhp);
    return HOST(OCISessionEnd)(svchp, errhp, usrhp, mode);
}

OCILIB_EXPORT sword OCITransCommit(OCISvcCtx* svchp, OCIError* errhp, ub4 flags) {
    ForgetError(errhp);
    return HOST(OCITransCommit)(svchp, errhp, flags);
}

OCILIB_EXPORT sword OCITransRollback(OCISvcCtx* svchp, OCIError* errhp, ub4 flags) {
    ForgetError(errhp);
    return HOST(OCITransRollback)(svchp, errhp, flags);
}

OCILIB_EXPORT sword OCIBreak(dvoid* hndlp, OCIError* errhp) {
    ForgetError(errhp);
    return HOST(OCIBreak)(hndlp, errhp);
}

OCILIB_EXPORT sword OCIStmtPrepare(OCIStmt* stmtp, OCIError* errhp, const OraText* stmt, ub4 stmt_len,
                                   ub4 language, ub4 mode) {
    ForgetError(errhp);
    {
        TGuard g(g_lock);
        g_local.erase(stmtp);
        if (const TTable* t = stmt ? LocalTableOf(stmt, stmt_len) : nullptr) {
            auto st = std::make_unique<TLocalStmt>();
            st->table = t;
            g_local[stmtp] = std::move(st);
            return OCI_SUCCESS;
        }
    }
    return HOST(OCIStmtPrepare)(stmtp, errhp, stmt, stmt_len, language, mode);
}

OCILIB_EXPORT sword OCIStmtExecute(OCISvcCtx* svchp, OCIStmt* stmtp, OCIError* errhp, ub4 iters, ub4 rowoff,
                                   const OCISnapshot* snap_in, OCISnapshot* snap_out, ub4 mode) {
    ForgetError(errhp);
    if (TLocalStmt* st = Local(stmtp)) {
        st->executed = true;
        st->next = 0;
        st->rowCount = 0;
        return OCI_SUCCESS;
    }
    return HOST(OCIStmtExecute)(svchp, stmtp, errhp, iters, rowoff, snap_in, snap_out, mode);
}

OCILIB_EXPORT sword OCIStmtFetch(OCIStmt* stmtp, OCIError* errhp, ub4 nrows, ub2 orientation, ub4 mode) {
    ForgetError(errhp);
    if (TLocalStmt* st = Local(stmtp)) return FetchLocal(*st, errhp, nrows);
    return HOST(OCIStmtFetch)(stmtp, errhp, nrows, orientation, mode);
}

OCILIB_EXPORT sword OCIBindByName(OCIStmt* stmtp, OCIBind** bindp, OCIError* errhp,
                                  const OraText* placeholder, sb4 placeh_len, dvoid* valuep, sb4 value_sz,
                                  ub2 dty, dvoid* indp, ub2* alenp, ub2* rcodep, ub4 maxarr_len, ub4* curelep,
                                  ub4 mode) {
    ForgetError(errhp);
    return HOST(OCIBindByName)(stmtp, bindp, errhp, placeholder, placeh_len, valuep, value_sz, dty, indp,
                               alenp, rcodep, maxarr_len, curelep, mode);
}

OCILIB_EXPORT sword OCIBindByPos(OCIStmt* stmtp, OCIBind** bindp, OCIError* errhp, ub4 position,
                                 dvoid* valuep, sb4 value_sz, ub2 dty, dvoid* indp, ub2* alenp, ub2* rcodep,
                                 ub4 maxarr_len, ub4* curelep, ub4 mode) {
    ForgetError(errhp);
    return HOST(OCIBindByPos)(stmtp, bindp, errhp, position, valuep, value_sz, dty, indp, alenp, rcodep,
                              maxarr_len, curelep, mode);
}

OCILIB_EXPORT sword OCIBindArrayOfStruct(OCIBind* bindp, OCIError* errhp, ub4 pvskip, ub4 indskip, ub4 alskip,
                                         ub4 rcskip) {
    ForgetError(errhp);
    return HOST(OCIBindArrayOfStruct)(bindp, errhp, pvskip, indskip, alskip, rcskip);
}

OCILIB_EXPORT sword OCIBindDynamic(OCIBind* bindp, OCIError* errhp, dvoid* ictxp, OCICallbackInBind icbfp,
                                   dvoid* octxp, OCICallbackOutBind ocbfp) {
    ForgetError(errhp);
    return HOST(OCIBindDynamic)(bindp, errhp, ictxp, icbfp, octxp, ocbfp);
}

OCILIB_EXPORT sword OCIDefineByPos(OCIStmt* stmtp, OCIDefine** defnp, OCIError* errhp, ub4 position,
                                   dvoid* valuep, sb4 value_sz, ub2 dty, dvoid* indp, ub2* rlenp, ub2* rcodep,
                                   ub4 mode) {
    ForgetError(errhp);
    if (TLocalStmt* st = Local(stmtp)) {
        if (!defnp) return OCI_INVALID_HANDLE;
        if (mode != OCI_DEFAULT)
            return Fail(errhp, 24360, "dynamic defines are not served for this statement");
        TLocalDefine* d = Make<TLocalDefine>();
        d->pos = position;
        d->valuep = valuep;
        d->size = value_sz;
        d->dty = dty;
        d->indp = indp;
        d->rlenp = rlenp;
        TGuard g(g_lock);
        st->defines.push_back(d);
        *defnp = reinterpret_cast<OCIDefine*>(static_cast<TObj*>(d));
        return OCI_SUCCESS;
    }
    return HOST(OCIDefineByPos)(stmtp, defnp, errhp, position, valuep, value_sz, dty, indp, rlenp, rcodep,
                                mode);
}

OCILIB_EXPORT sword OCIDefineArrayOfStruct(OCIDefine* defnp, OCIError* errhp, ub4 pvskip, ub4 indskip,
                                           ub4 rlskip, ub4 rcskip) {
    ForgetError(errhp);
    if (TLocalDefine* d = Own<TLocalDefine>(defnp)) {
        d->pvskip = pvskip;
        d->indskip = indskip;
        d->rlskip = rlskip;
        return OCI_SUCCESS;
    }
    return HOST(OCIDefineArrayOfStruct)(defnp, errhp, pvskip, indskip, rlskip, rcskip);
}

OCILIB_EXPORT sword OCIDefineDynamic(OCIDefine* defnp, OCIError* errhp, dvoid* octxp,
                                     OCICallbackDefine ocbfp) {
    ForgetError(errhp);
    return HOST(OCIDefineDynamic)(defnp, errhp, octxp, ocbfp);
}

OCILIB_EXPORT sword OCILobGetLength(OCISvcCtx* svchp, OCIError* errhp, OCILobLocator* locp, ub4* lenp) {
    ForgetError(errhp);
    if (TLobValue* l = LocalLob(locp)) {
        if (!lenp) return OCI_INVALID_HANDLE;
        *lenp = ub4(l->data.size()); // characters of a CLOB: one byte each in Windows-1252
        return OCI_SUCCESS;
    }
    return HOST(OCILobGetLength)(svchp, errhp, locp, lenp);
}

OCILIB_EXPORT sword OCILobRead(OCISvcCtx* svchp, OCIError* errhp, OCILobLocator* locp, ub4* amtp, ub4 offset,
                               dvoid* bufp, ub4 bufl, dvoid* ctxp,
                               sb4 (*cbfp)(dvoid* ctxp, const dvoid* bufp, ub4 len, ub1 piece), ub2 csid,
                               ub1 csfrm) {
    ForgetError(errhp);
    if (TLobValue* l = LocalLob(locp)) {
        if (cbfp) return Fail(errhp, 24801, "streaming callbacks are not served here");
        TGuard g(g_lock);
        return ReadLocalLob(*l, errhp, amtp, offset, bufp, bufl, csfrm);
    }
    return HOST(OCILobRead)(svchp, errhp, locp, amtp, offset, bufp, bufl, ctxp, cbfp, csid, csfrm);
}

OCILIB_EXPORT sword OCILobWrite(OCISvcCtx* svchp, OCIError* errhp, OCILobLocator* locp, ub4* amtp, ub4 offset,
                                dvoid* bufp, ub4 buflen, ub1 piece, dvoid* ctxp,
                                sb4 (*cbfp)(dvoid* ctxp, dvoid* bufp, ub4* lenp, ub1* piecep), ub2 csid,
                                ub1 csfrm) {
    ForgetError(errhp);
    return HOST(OCILobWrite)(svchp, errhp, locp, amtp, offset, bufp, buflen, piece, ctxp, cbfp, csid, csfrm);
}

OCILIB_EXPORT sword OCILobTrim(OCISvcCtx* svchp, OCIError* errhp, OCILobLocator* locp, ub4 newlen) {
    ForgetError(errhp);
    return HOST(OCILobTrim)(svchp, errhp, locp, newlen);
}

OCILIB_EXPORT sword OCILobLocatorIsInit(OCIEnv* envhp, OCIError* errhp, const OCILobLocator* locp,
                                        boolean* is_initialized) {
    ForgetError(errhp);
    if (LocalLob(locp)) {
        if (!is_initialized) return OCI_INVALID_HANDLE;
        *is_initialized = 1;
        return OCI_SUCCESS;
    }
    return HOST(OCILobLocatorIsInit)(envhp, errhp, locp, is_initialized);
}

OCILIB_EXPORT sword OCILobCharSetForm(OCIEnv* envhp, OCIError* errhp, const OCILobLocator* locp, ub1* csfrm) {
    ForgetError(errhp);
    if (TLobValue* l = LocalLob(locp)) {
        if (!csfrm) return OCI_INVALID_HANDLE;
        *csfrm = l->clob ? l->form : 0;
        return OCI_SUCCESS;
    }
    return HOST(OCILobCharSetForm)(envhp, errhp, locp, csfrm);
}
