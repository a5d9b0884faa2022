// The Oracle Call Interface as Oracle's public OCI programmer's guides (releases 9.2 to 23ai) document it:
// the scalar types, the constants and the prototypes of the routines the stand-in client library exports.
//
// Written from the documentation, independently of the program's own entry-point table (ocicall/OraCall.h):
// the stand-in library is built against this header, and a table test compares the program's constants and
// signatures with the ones here, so a wrong value or parameter list on the program's side fails that test
// instead of passing silently through a library that shares the mistake.
//
// Everything lives in namespace ocidoc so that this header and the program's header can be included together.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ocidoc {

// Scalar types of oratypes.h.
typedef int32_t sword;
typedef int32_t sb4;
typedef uint32_t ub4;
typedef int16_t sb2;
typedef uint16_t ub2;
typedef int8_t sb1;
typedef uint8_t ub1;
typedef unsigned char OraText;
typedef void dvoid;
typedef uint32_t uword;
typedef ub2 OCIDuration;
typedef ub2 OCITypeCode;
typedef int OCIPinOpt;  // enum OCIPinOpt
typedef int OCILockOpt; // enum OCILockOpt
typedef int OCITypeGetOpt;
typedef int OCIObjectLifetime;
typedef int OCIObjectMarkStatus;
typedef int boolean;

// Opaque handles and descriptors.
struct OCIEnv;
struct OCIError;
struct OCISvcCtx;
struct OCIStmt;
struct OCIBind;
struct OCIDefine;
struct OCIDescribe;
struct OCIServer;
struct OCISession;
struct OCIParam;
struct OCISnapshot;
struct OCILobLocator;
struct OCIRowid;
struct OCIDateTime;
struct OCIInterval;
struct OCIType;
struct OCIRef;
struct OCIString;
struct OCIColl;
struct OCINumber;
struct OCIComplexObject;

// Return codes.
constexpr sword OCI_SUCCESS = 0;
constexpr sword OCI_SUCCESS_WITH_INFO = 1;
constexpr sword OCI_NEED_DATA = 99;
constexpr sword OCI_NO_DATA = 100;
constexpr sword OCI_ERROR = -1;
constexpr sword OCI_INVALID_HANDLE = -2;
constexpr sword OCI_STILL_EXECUTING = -3123;
constexpr sword OCI_CONTINUE = -24200;

// Handle types.
constexpr ub4 OCI_HTYPE_ENV = 1;
constexpr ub4 OCI_HTYPE_ERROR = 2;
constexpr ub4 OCI_HTYPE_SVCCTX = 3;
constexpr ub4 OCI_HTYPE_STMT = 4;
constexpr ub4 OCI_HTYPE_BIND = 5;
constexpr ub4 OCI_HTYPE_DEFINE = 6;
constexpr ub4 OCI_HTYPE_DESCRIBE = 7;
constexpr ub4 OCI_HTYPE_SERVER = 8;
constexpr ub4 OCI_HTYPE_SESSION = 9;

// Descriptor types.
constexpr ub4 OCI_DTYPE_LOB = 50;
constexpr ub4 OCI_DTYPE_SNAP = 51;
constexpr ub4 OCI_DTYPE_RSET = 52;
constexpr ub4 OCI_DTYPE_PARAM = 53;
constexpr ub4 OCI_DTYPE_ROWID = 54;
constexpr ub4 OCI_DTYPE_COMPLEXOBJECTCOMP = 55;
constexpr ub4 OCI_DTYPE_FILE = 56;
constexpr ub4 OCI_DTYPE_INTERVAL_YM = 62;
constexpr ub4 OCI_DTYPE_INTERVAL_DS = 63;
constexpr ub4 OCI_DTYPE_DATE = 65;
constexpr ub4 OCI_DTYPE_TIME = 66;
constexpr ub4 OCI_DTYPE_TIME_TZ = 67;
constexpr ub4 OCI_DTYPE_TIMESTAMP = 68;
constexpr ub4 OCI_DTYPE_TIMESTAMP_TZ = 69;
constexpr ub4 OCI_DTYPE_TIMESTAMP_LTZ = 70;

// Attributes.
constexpr ub4 OCI_ATTR_DATA_SIZE = 1;
constexpr ub4 OCI_ATTR_DATA_TYPE = 2;
constexpr ub4 OCI_ATTR_DISP_SIZE = 3;
constexpr ub4 OCI_ATTR_NAME = 4;
constexpr ub4 OCI_ATTR_PRECISION = 5;
constexpr ub4 OCI_ATTR_SCALE = 6;
constexpr ub4 OCI_ATTR_IS_NULL = 7;
constexpr ub4 OCI_ATTR_TYPE_NAME = 8;
constexpr ub4 OCI_ATTR_SCHEMA_NAME = 9;
constexpr ub4 OCI_ATTR_ENV = 5;
constexpr ub4 OCI_ATTR_SERVER = 6;
constexpr ub4 OCI_ATTR_SESSION = 7;
constexpr ub4 OCI_ATTR_ROW_COUNT = 9;
constexpr ub4 OCI_ATTR_SQLFNCODE = 10;
constexpr ub4 OCI_ATTR_PARAM_COUNT = 18;
constexpr ub4 OCI_ATTR_ROWID = 19;
constexpr ub4 OCI_ATTR_USERNAME = 22;
constexpr ub4 OCI_ATTR_PASSWORD = 23;
constexpr ub4 OCI_ATTR_STMT_TYPE = 24;
constexpr ub4 OCI_ATTR_INTERNAL_NAME = 25; // the client-side name of a server handle
constexpr ub4 OCI_ATTR_EXTERNAL_NAME = 26; // the global name of the database
constexpr ub4 OCI_ATTR_CHARSET_ID = 31;
constexpr ub4 OCI_ATTR_CHARSET_FORM = 32;
constexpr ub4 OCI_ATTR_LOBEMPTY = 45;
constexpr ub4 OCI_ATTR_PARAM = 124;
constexpr ub4 OCI_ATTR_PARSE_ERROR_OFFSET = 129;
constexpr ub4 OCI_ATTR_TYPECODE = 216;
constexpr ub4 OCI_ATTR_COLLECTION_TYPECODE = 217;
constexpr ub4 OCI_ATTR_COLLECTION_ELEMENT = 227;
constexpr ub4 OCI_ATTR_NUM_TYPE_ATTRS = 228;
constexpr ub4 OCI_ATTR_LIST_TYPE_ATTRS = 229;
constexpr ub4 OCI_ATTR_NUM_ELEMS = 234;
constexpr ub4 OCI_ATTR_IS_FINAL_TYPE = 279;

// Statement types (OCI_ATTR_STMT_TYPE).
constexpr ub2 OCI_STMT_UNKNOWN = 0;
constexpr ub2 OCI_STMT_SELECT = 1;
constexpr ub2 OCI_STMT_UPDATE = 2;
constexpr ub2 OCI_STMT_DELETE = 3;
constexpr ub2 OCI_STMT_INSERT = 4;
constexpr ub2 OCI_STMT_CREATE = 5;
constexpr ub2 OCI_STMT_DROP = 6;
constexpr ub2 OCI_STMT_ALTER = 7;
constexpr ub2 OCI_STMT_BEGIN = 8;
constexpr ub2 OCI_STMT_DECLARE = 9;
constexpr ub2 OCI_STMT_CALL = 10;
constexpr ub2 OCI_STMT_EXPLAIN1 = 14;
constexpr ub2 OCI_STMT_EXPLAIN2 = 15;
constexpr ub2 OCI_STMT_MERGE = 16;
constexpr ub2 OCI_STMT_ROLLBACK = 17;
constexpr ub2 OCI_STMT_COMMIT = 21;

// Modes.
constexpr ub4 OCI_DEFAULT = 0x00;
constexpr ub4 OCI_THREADED = 0x01;
constexpr ub4 OCI_OBJECT = 0x02;
constexpr ub4 OCI_DESCRIBE_ONLY = 0x10;
constexpr ub4 OCI_COMMIT_ON_SUCCESS = 0x20;
constexpr ub4 OCI_DATA_AT_EXEC = 0x02;
constexpr ub4 OCI_DYNAMIC_FETCH = 0x02;
constexpr ub4 OCI_NTV_SYNTAX = 1;
constexpr ub4 OCI_CRED_RDBMS = 1;
constexpr ub4 OCI_CRED_EXT = 2;
constexpr ub4 OCI_SYSDBA = 0x02;
constexpr ub4 OCI_SYSOPER = 0x04;
constexpr ub2 OCI_FETCH_NEXT = 0x02;
constexpr ub2 OCI_FETCH_FIRST = 0x04;
constexpr ub2 OCI_FETCH_LAST = 0x08;
constexpr ub2 OCI_FETCH_PRIOR = 0x10;
constexpr ub2 OCI_FETCH_ABSOLUTE = 0x20;
constexpr ub2 OCI_FETCH_RELATIVE = 0x40;
constexpr ub4 OCI_STMT_SCROLLABLE_READONLY = 0x08;

// Pieces.
constexpr ub1 OCI_ONE_PIECE = 0;
constexpr ub1 OCI_FIRST_PIECE = 1;
constexpr ub1 OCI_NEXT_PIECE = 2;
constexpr ub1 OCI_LAST_PIECE = 3;

// Character-set forms and the Windows-1252 character set.
constexpr ub1 SQLCS_IMPLICIT = 1;
constexpr ub1 SQLCS_NCHAR = 2;
constexpr ub2 OCI_WE8MSWIN1252_ID = 178; // the id of NLS_CHARSET_ID('WE8MSWIN1252')

// External data types.
constexpr ub2 SQLT_CHR = 1;
constexpr ub2 SQLT_NUM = 2;
constexpr ub2 SQLT_INT = 3;
constexpr ub2 SQLT_FLT = 4;
constexpr ub2 SQLT_STR = 5;
constexpr ub2 SQLT_VNU = 6;
constexpr ub2 SQLT_LNG = 8;
constexpr ub2 SQLT_VCS = 9;
constexpr ub2 SQLT_RID = 11;
constexpr ub2 SQLT_DAT = 12;
constexpr ub2 SQLT_VBI = 15;
constexpr ub2 SQLT_BFLOAT = 21;
constexpr ub2 SQLT_BDOUBLE = 22;
constexpr ub2 SQLT_BIN = 23;
constexpr ub2 SQLT_LBI = 24;
constexpr ub2 SQLT_UIN = 68;
constexpr ub2 SQLT_LVC = 94;
constexpr ub2 SQLT_LVB = 95;
constexpr ub2 SQLT_AFC = 96;
constexpr ub2 SQLT_AVC = 97;
constexpr ub2 SQLT_IBFLOAT = 100;
constexpr ub2 SQLT_IBDOUBLE = 101;
constexpr ub2 SQLT_CUR = 102;
constexpr ub2 SQLT_RDD = 104;
constexpr ub2 SQLT_LAB = 105;
constexpr ub2 SQLT_OSL = 106;
constexpr ub2 SQLT_NTY = 108;
constexpr ub2 SQLT_REF = 110;
constexpr ub2 SQLT_CLOB = 112;
constexpr ub2 SQLT_BLOB = 113;
constexpr ub2 SQLT_BFILEE = 114;
constexpr ub2 SQLT_CFILEE = 115;
constexpr ub2 SQLT_RSET = 116;
constexpr ub2 SQLT_NCO = 122;
constexpr ub2 SQLT_TIMESTAMP = 187;
constexpr ub2 SQLT_TIMESTAMP_TZ = 188;
constexpr ub2 SQLT_INTERVAL_YM = 189;
constexpr ub2 SQLT_INTERVAL_DS = 190;
constexpr ub2 SQLT_UROWID = 208; // the data type a describe reports for a UROWID column
constexpr ub2 SQLT_TIMESTAMP_LTZ = 232;

// Describe, objects and the object cache.
constexpr ub1 OCI_OTYPE_NAME = 1;
constexpr ub1 OCI_PTYPE_TYPE = 6;
constexpr OCIDuration OCI_DURATION_SESSION = 10;
constexpr OCITypeGetOpt OCI_TYPEGET_HEADER = 0;
constexpr OCITypeGetOpt OCI_TYPEGET_ALL = 1;
constexpr OCITypeCode OCI_TYPECODE_OPAQUE = 58;
constexpr OCITypeCode OCI_TYPECODE_OBJECT = 108;
constexpr OCITypeCode OCI_TYPECODE_REF = 110;
constexpr OCITypeCode OCI_TYPECODE_NAMEDCOLLECTION = 122;
constexpr OCITypeCode OCI_TYPECODE_VARRAY = 247;
constexpr OCITypeCode OCI_TYPECODE_TABLE = 248;
constexpr OCIPinOpt OCI_PIN_DEFAULT = 1;
constexpr OCIPinOpt OCI_PIN_ANY = 3;
constexpr OCIPinOpt OCI_PIN_RECENT = 4;
constexpr OCIPinOpt OCI_PIN_LATEST = 5;
constexpr OCILockOpt OCI_LOCK_NONE = 1;
constexpr OCILockOpt OCI_LOCK_X = 2;
constexpr ub2 OCI_OBJECTFREE_FORCE = 0x0001;
constexpr uword OCI_NUMBER_UNSIGNED = 0;
constexpr uword OCI_NUMBER_SIGNED = 2;
constexpr sb2 OCI_IND_NOTNULL = 0;
constexpr sb2 OCI_IND_NULL = -1;
constexpr ub1 OCI_FILE_READONLY = 1;

// Callbacks.
typedef sb4 (*OCICallbackInBind)(dvoid* ictxp, OCIBind* bindp, ub4 iter, ub4 index, dvoid** bufpp, ub4* alenp,
                                 ub1* piecep, dvoid** indp);
typedef sb4 (*OCICallbackOutBind)(dvoid* octxp, OCIBind* bindp, ub4 iter, ub4 index, dvoid** bufpp,
                                  ub4** alenp, ub1* piecep, dvoid** indp, ub2** rcodep);
typedef sb4 (*OCICallbackDefine)(dvoid* octxp, OCIDefine* defnp, ub4 iter, dvoid** bufpp, ub4** alenp,
                                 ub1* piecep, dvoid** indp, ub2** rcodep);

extern "C" {

// Environment, handles, attributes, errors.
sword OCIInitialize(ub4 mode, dvoid* ctxp, dvoid* (*malocfp)(dvoid*, size_t),
                    dvoid* (*ralocfp)(dvoid*, dvoid*, size_t), void (*mfreefp)(dvoid*, dvoid*));
sword OCIEnvInit(OCIEnv** envp, ub4 mode, size_t xtramem_sz, dvoid** usrmempp);
sword OCIEnvCreate(OCIEnv** envhpp, ub4 mode, dvoid* ctxp, dvoid* (*malocfp)(dvoid*, size_t),
                   dvoid* (*ralocfp)(dvoid*, dvoid*, size_t), void (*mfreefp)(dvoid*, dvoid*),
                   size_t xtramemsz, dvoid** usrmempp);
sword OCIEnvNlsCreate(OCIEnv** envhpp, ub4 mode, dvoid* ctxp, dvoid* (*malocfp)(dvoid*, size_t),
                      dvoid* (*ralocfp)(dvoid*, dvoid*, size_t), void (*mfreefp)(dvoid*, dvoid*),
                      size_t xtramemsz, dvoid** usrmempp, ub2 charset, ub2 ncharset);
void OCIClientVersion(sword* major_version, sword* minor_version, sword* update_num, sword* patch_num,
                      sword* port_update_num);
sword OCIHandleAlloc(const dvoid* parenth, dvoid** hndlpp, ub4 type, size_t xtramem_sz, dvoid** usrmempp);
sword OCIHandleFree(dvoid* hndlp, ub4 type);
sword OCIDescriptorAlloc(const dvoid* parenth, dvoid** descpp, ub4 type, size_t xtramem_sz, dvoid** usrmempp);
sword OCIDescriptorFree(dvoid* descp, ub4 type);
sword OCIAttrGet(const dvoid* trgthndlp, ub4 trghndltyp, dvoid* attributep, ub4* sizep, ub4 attrtype,
                 OCIError* errhp);
sword OCIAttrSet(dvoid* trgthndlp, ub4 trghndltyp, dvoid* attributep, ub4 size, ub4 attrtype,
                 OCIError* errhp);
sword OCIParamGet(const dvoid* hndlp, ub4 htype, OCIError* errhp, dvoid** parmdpp, ub4 pos);
sword OCIErrorGet(dvoid* hndlp, ub4 recordno, OraText* sqlstate, sb4* errcodep, OraText* bufp, ub4 bufsiz,
                  ub4 type);

// Connections and transactions.
sword OCIServerAttach(OCIServer* srvhp, OCIError* errhp, const OraText* dblink, sb4 dblink_len, ub4 mode);
sword OCIServerDetach(OCIServer* srvhp, OCIError* errhp, ub4 mode);
sword OCISessionBegin(OCISvcCtx* svchp, OCIError* errhp, OCISession* usrhp, ub4 credt, ub4 mode);
sword OCISessionEnd(OCISvcCtx* svchp, OCIError* errhp, OCISession* usrhp, ub4 mode);
sword OCIServerVersion(dvoid* hndlp, OCIError* errhp, OraText* bufp, ub4 bufsz, ub1 hndltype);
sword OCIPasswordChange(OCISvcCtx* svchp, OCIError* errhp, const OraText* user_name, ub4 usernm_len,
                        const OraText* opasswd, ub4 opasswd_len, const OraText* npasswd, ub4 npasswd_len,
                        ub4 mode);
sword OCITransCommit(OCISvcCtx* svchp, OCIError* errhp, ub4 flags);
sword OCITransRollback(OCISvcCtx* svchp, OCIError* errhp, ub4 flags);
sword OCIBreak(dvoid* hndlp, OCIError* errhp);
sword OCILdaToSvcCtx(OCISvcCtx** svchpp, OCIError* errhp, dvoid* ldap);
sword OCISvcCtxToLda(OCISvcCtx* svchp, OCIError* errhp, dvoid* ldap);

// Statements.
sword OCIStmtPrepare(OCIStmt* stmtp, OCIError* errhp, const OraText* stmt, ub4 stmt_len, ub4 language,
                     ub4 mode);
sword OCIStmtExecute(OCISvcCtx* svchp, OCIStmt* stmtp, OCIError* errhp, ub4 iters, ub4 rowoff,
                     const OCISnapshot* snap_in, OCISnapshot* snap_out, ub4 mode);
sword OCIStmtFetch(OCIStmt* stmtp, OCIError* errhp, ub4 nrows, ub2 orientation, ub4 mode);
sword OCIStmtFetch2(OCIStmt* stmthp, OCIError* errhp, ub4 nrows, ub2 orientation, sb4 fetchOffset, ub4 mode);
sword OCIStmtGetPieceInfo(OCIStmt* stmtp, OCIError* errhp, dvoid** hndlpp, ub4* typep, ub1* in_outp,
                          ub4* iterp, ub4* idxp, ub1* piecep);
sword OCIStmtSetPieceInfo(dvoid* hndlp, ub4 type, OCIError* errhp, const dvoid* bufp, ub4* alenp, ub1 piece,
                          const dvoid* indp, ub2* rcodep);
sword OCIBindByName(OCIStmt* stmtp, OCIBind** bindpp, OCIError* errhp, const OraText* placeholder,
                    sb4 placeh_len, dvoid* valuep, sb4 value_sz, ub2 dty, dvoid* indp, ub2* alenp,
                    ub2* rcodep, ub4 maxarr_len, ub4* curelep, ub4 mode);
sword OCIBindByPos(OCIStmt* stmtp, OCIBind** bindpp, OCIError* errhp, ub4 position, dvoid* valuep,
                   sb4 value_sz, ub2 dty, dvoid* indp, ub2* alenp, ub2* rcodep, ub4 maxarr_len, ub4* curelep,
                   ub4 mode);
sword OCIBindArrayOfStruct(OCIBind* bindp, OCIError* errhp, ub4 pvskip, ub4 indskip, ub4 alskip, ub4 rcskip);
sword OCIBindDynamic(OCIBind* bindp, OCIError* errhp, dvoid* ictxp, OCICallbackInBind icbfp, dvoid* octxp,
                     OCICallbackOutBind ocbfp);
sword OCIBindObject(OCIBind* bindp, OCIError* errhp, const OCIType* type, dvoid** pgvpp, ub4* pvszsp,
                    dvoid** indpp, ub4* indszp);
sword OCIDefineByPos(OCIStmt* stmtp, OCIDefine** defnpp, OCIError* errhp, ub4 position, dvoid* valuep,
                     sb4 value_sz, ub2 dty, dvoid* indp, ub2* rlenp, ub2* rcodep, ub4 mode);
sword OCIDefineArrayOfStruct(OCIDefine* defnp, OCIError* errhp, ub4 pvskip, ub4 indskip, ub4 rlskip,
                             ub4 rcskip);
sword OCIDefineDynamic(OCIDefine* defnp, OCIError* errhp, dvoid* octxp, OCICallbackDefine ocbfp);
sword OCIDefineObject(OCIDefine* defnp, OCIError* errhp, const OCIType* type, dvoid** pgvpp, ub4* pvszsp,
                      dvoid** indpp, ub4* indszp);
sword OCIDescribeAny(OCISvcCtx* svchp, OCIError* errhp, dvoid* objptr, ub4 objptr_len, ub1 objptr_typ,
                     ub1 info_level, ub1 objtyp, OCIDescribe* dschp);
sword OCIRowidToChar(OCIRowid* rowidDesc, OraText* outbfp, ub2* outbflp, OCIError* errhp);

// LOBs and files.
sword OCILobGetLength(OCISvcCtx* svchp, OCIError* errhp, OCILobLocator* locp, ub4* lenp);
sword OCILobRead(OCISvcCtx* svchp, OCIError* errhp, OCILobLocator* locp, ub4* amtp, ub4 offset, dvoid* bufp,
                 ub4 bufl, dvoid* ctxp, sb4 (*cbfp)(dvoid* ctxp, const dvoid* bufp, ub4 len, ub1 piece),
                 ub2 csid, ub1 csfrm);
sword OCILobWrite(OCISvcCtx* svchp, OCIError* errhp, OCILobLocator* locp, ub4* amtp, ub4 offset, dvoid* bufp,
                  ub4 buflen, ub1 piece, dvoid* ctxp,
                  sb4 (*cbfp)(dvoid* ctxp, dvoid* bufp, ub4* lenp, ub1* piecep), ub2 csid, ub1 csfrm);
sword OCILobTrim(OCISvcCtx* svchp, OCIError* errhp, OCILobLocator* locp, ub4 newlen);
sword OCILobLocatorIsInit(OCIEnv* envhp, OCIError* errhp, const OCILobLocator* locp, boolean* is_initialized);
sword OCILobCharSetForm(OCIEnv* envhp, OCIError* errhp, const OCILobLocator* locp, ub1* csfrm);
sword OCILobCharSetId(OCIEnv* envhp, OCIError* errhp, const OCILobLocator* locp, ub2* csid);
sword OCILobAppend(OCISvcCtx* svchp, OCIError* errhp, OCILobLocator* dst_locp, OCILobLocator* src_locp);
sword OCILobAssign(OCIEnv* envhp, OCIError* errhp, const OCILobLocator* src_locp, OCILobLocator** dst_locpp);
sword OCILobCopy(OCISvcCtx* svchp, OCIError* errhp, OCILobLocator* dst_locp, OCILobLocator* src_locp,
                 ub4 amount, ub4 dst_offset, ub4 src_offset);
sword OCILobDisableBuffering(OCISvcCtx* svchp, OCIError* errhp, OCILobLocator* locp);
sword OCILobEnableBuffering(OCISvcCtx* svchp, OCIError* errhp, OCILobLocator* locp);
sword OCILobErase(OCISvcCtx* svchp, OCIError* errhp, OCILobLocator* locp, ub4* amount, ub4 offset);
sword OCILobFileClose(OCISvcCtx* svchp, OCIError* errhp, OCILobLocator* filep);
sword OCILobFileExists(OCISvcCtx* svchp, OCIError* errhp, OCILobLocator* filep, boolean* flag);
sword OCILobFileGetName(OCIEnv* envhp, OCIError* errhp, const OCILobLocator* filep, OraText* dir_alias,
                        ub2* d_length, OraText* filename, ub2* f_length);
sword OCILobFileIsOpen(OCISvcCtx* svchp, OCIError* errhp, OCILobLocator* filep, boolean* flag);
sword OCILobFileOpen(OCISvcCtx* svchp, OCIError* errhp, OCILobLocator* filep, ub1 mode);
sword OCILobFileSetName(OCIEnv* envhp, OCIError* errhp, OCILobLocator** filepp, const OraText* dir_alias,
                        ub2 d_length, const OraText* filename, ub2 f_length);
sword OCILobFlushBuffer(OCISvcCtx* svchp, OCIError* errhp, OCILobLocator* locp, ub4 flag);
sword OCILobIsEqual(OCIEnv* envhp, const OCILobLocator* x, const OCILobLocator* y, boolean* is_equal);
sword OCILobLoadFromFile(OCISvcCtx* svchp, OCIError* errhp, OCILobLocator* dst_locp, OCILobLocator* src_filep,
                         ub4 amount, ub4 dst_offset, ub4 src_offset);
sword OCILobCreateTemporary(OCISvcCtx* svchp, OCIError* errhp, OCILobLocator* locp, ub2 csid, ub1 csfrm,
                            ub1 lobtype, boolean cache, OCIDuration duration);

// Datetimes and intervals.
sword OCIDateTimeConstruct(dvoid* hndl, OCIError* err, OCIDateTime* datetime, sb2 year, ub1 month, ub1 day,
                           ub1 hour, ub1 min, ub1 sec, ub4 fsec, OraText* timezone, size_t timezone_length);
sword OCIDateTimeFromText(dvoid* hndl, OCIError* err, const OraText* date_str, size_t dstr_length,
                          const OraText* fmt, ub1 fmt_length, const OraText* lang_name, size_t lang_length,
                          OCIDateTime* datetime);
sword OCIDateTimeToText(dvoid* hndl, OCIError* err, const OCIDateTime* date, const OraText* fmt,
                        ub1 fmt_length, ub1 fsprec, const OraText* lang_name, size_t lang_length,
                        ub4* buf_size, OraText* buf);
sword OCIDateTimeGetDate(dvoid* hndl, OCIError* err, const OCIDateTime* datetime, sb2* year, ub1* month,
                         ub1* day);
sword OCIDateTimeGetTime(dvoid* hndl, OCIError* err, OCIDateTime* datetime, ub1* hour, ub1* min, ub1* sec,
                         ub4* fsec);
sword OCIDateTimeGetTimeZoneOffset(dvoid* hndl, OCIError* err, const OCIDateTime* datetime, sb1* hour,
                                   sb1* min);
sword OCIIntervalFromText(dvoid* hndl, OCIError* err, const OraText* inpstring, size_t str_len,
                          OCIInterval* result);
sword OCIIntervalToText(dvoid* hndl, OCIError* err, const OCIInterval* interval, ub1 lfprec, ub1 fsprec,
                        OraText* buffer, size_t buflen, size_t* resultlen);

// Types and objects.
sword OCITypeByName(OCIEnv* env, OCIError* err, const OCISvcCtx* svc, const OraText* schema_name,
                    ub4 s_length, const OraText* type_name, ub4 t_length, const OraText* version_name,
                    ub4 v_length, OCIDuration pin_duration, OCITypeGetOpt get_option, OCIType** tdo);
sword OCIObjectNew(OCIEnv* env, OCIError* err, const OCISvcCtx* svc, OCITypeCode typecode, OCIType* tdo,
                   dvoid* table, OCIDuration duration, boolean value, dvoid** instance);
sword OCIObjectFree(OCIEnv* env, OCIError* err, dvoid* instance, ub2 flags);
sword OCIObjectPin(OCIEnv* env, OCIError* err, OCIRef* object_ref, OCIComplexObject* corhdl,
                   OCIPinOpt pin_option, OCIDuration pin_duration, OCILockOpt lock_option, dvoid** object);
sword OCIObjectFlush(OCIEnv* env, OCIError* err, dvoid* object);
sword OCIObjectMarkDelete(OCIEnv* env, OCIError* err, dvoid* instance);
sword OCIObjectGetInd(OCIEnv* env, OCIError* err, dvoid* instance, dvoid** null_struct);
sword OCICollSize(OCIEnv* env, OCIError* err, const OCIColl* coll, sb4* size);
sword OCICollAppend(OCIEnv* env, OCIError* err, const dvoid* elem, const dvoid* elemind, OCIColl* coll);
sword OCICollAssignElem(OCIEnv* env, OCIError* err, sb4 index, const dvoid* elem, const dvoid* elemind,
                        OCIColl* coll);
sword OCICollGetElem(OCIEnv* env, OCIError* err, const OCIColl* coll, sb4 index, boolean* exists,
                     dvoid** elem, dvoid** elemind);
sword OCITableSize(OCIEnv* env, OCIError* err, const OCIColl* tbl, sb4* size);
sword OCITableNext(OCIEnv* env, OCIError* err, sb4 index, const OCIColl* tbl, sb4* next_index,
                   boolean* exists);
sword OCITableDelete(OCIEnv* env, OCIError* err, sb4 index, OCIColl* tbl);
sword OCIRefAssign(OCIEnv* env, OCIError* err, const OCIRef* source, OCIRef** target);
void OCIRefClear(OCIEnv* env, OCIRef* ref);
boolean OCIRefIsNull(OCIEnv* env, const OCIRef* ref);
sword OCIStringAssignText(OCIEnv* env, OCIError* err, const OraText* rhs, ub4 rhs_len, OCIString** lhs);
OraText* OCIStringPtr(OCIEnv* env, const OCIString* vs);
sword OCIStringResize(OCIEnv* env, OCIError* err, ub4 new_size, OCIString** str);
sword OCINumberFromInt(OCIError* err, const dvoid* inum, uword inum_length, uword inum_s_flag,
                       OCINumber* number);
sword OCINumberToInt(OCIError* err, const OCINumber* number, uword rsl_length, uword rsl_flag, dvoid* rsl);
sword OCINumberFromReal(OCIError* err, const dvoid* rnum, uword rnum_length, OCINumber* number);
sword OCINumberToReal(OCIError* err, const OCINumber* number, uword rsl_length, dvoid* rsl);

// Version-7 routines of a client that still carries them (their data areas stay opaque).
sword olog(dvoid* lda, ub1* hda, OraText* uid, sword uidl, OraText* pswd, sword pswdl, OraText* conn,
           sword connl, ub4 mode);
sword ologof(dvoid* lda);
sword oopen(dvoid* cursor, dvoid* lda, OraText* dbn, sword dbnl, sword arsize, OraText* uid, sword uidl);
sword oparse(dvoid* cursor, OraText* sqlstm, sb4 sqllen, sword defflg, ub4 lngflg);
sword ocom(dvoid* lda);

} // extern "C"

} // namespace ocidoc
