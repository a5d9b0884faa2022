// The process-wide table of call-interface entry points.
//
// Every routine of the Oracle call interface that the client layer uses has one slot here, named as in
// that interface and keeping its C signature (opaque handle pointers, sword status results). A slot
// holds a routine that raises "OCI function is not linked" until something installs a real one: the
// loader of a client library, or the network client's emulation (InstallNetCalls in oranet/).
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace oracall {

using sword = int32_t;
using sb4 = int32_t;
using ub4 = uint32_t;
using sb2 = int16_t;
using ub2 = uint16_t;
using sb1 = int8_t;
using ub1 = uint8_t;
using OraText = unsigned char;
using dvoid = void;

// Opaque handles. The objects behind them belong to whoever installed the entry points.
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

// Status values.
constexpr sword OCI_SUCCESS = 0;
constexpr sword OCI_SUCCESS_WITH_INFO = 1;
constexpr sword OCI_NO_DATA = 100;
constexpr sword OCI_ERROR = -1;
constexpr sword OCI_INVALID_HANDLE = -2;
constexpr sword OCI_NEED_DATA = 99;
constexpr sword OCI_STILL_EXECUTING = -3123;
constexpr sword OCI_CONTINUE = -24200;

// Handle and descriptor types.
constexpr ub4 OCI_HTYPE_ENV = 1;
constexpr ub4 OCI_HTYPE_ERROR = 2;
constexpr ub4 OCI_HTYPE_SVCCTX = 3;
constexpr ub4 OCI_HTYPE_STMT = 4;
constexpr ub4 OCI_HTYPE_BIND = 5;
constexpr ub4 OCI_HTYPE_DEFINE = 6;
constexpr ub4 OCI_HTYPE_DESCRIBE = 7;
constexpr ub4 OCI_HTYPE_SERVER = 8;
constexpr ub4 OCI_HTYPE_SESSION = 9;
constexpr ub4 OCI_DTYPE_LOB = 50;
constexpr ub4 OCI_DTYPE_PARAM = 53;
constexpr ub4 OCI_DTYPE_ROWID = 54;
constexpr ub4 OCI_DTYPE_FILE = 56;
constexpr ub4 OCI_DTYPE_INTERVAL_YM = 62;
constexpr ub4 OCI_DTYPE_INTERVAL_DS = 63;
constexpr ub4 OCI_DTYPE_TIMESTAMP = 68;
constexpr ub4 OCI_DTYPE_TIMESTAMP_TZ = 69;
constexpr ub4 OCI_DTYPE_TIMESTAMP_LTZ = 70;

// Attribute ids used by the client layer.
constexpr ub4 OCI_ATTR_DATA_SIZE = 1;
constexpr ub4 OCI_ATTR_DATA_TYPE = 2;
constexpr ub4 OCI_ATTR_NAME = 4;
constexpr ub4 OCI_ATTR_ENV = 5;
constexpr ub4 OCI_ATTR_PRECISION = 5;
constexpr ub4 OCI_ATTR_SERVER = 6;
constexpr ub4 OCI_ATTR_SCALE = 6;
constexpr ub4 OCI_ATTR_SESSION = 7;
constexpr ub4 OCI_ATTR_IS_NULL = 7;
constexpr ub4 OCI_ATTR_ROW_COUNT = 9;
constexpr ub4 OCI_ATTR_SQLFNCODE = 10;
constexpr ub4 OCI_ATTR_PARAM_COUNT = 18;
constexpr ub4 OCI_ATTR_ROWID = 19;
constexpr ub4 OCI_ATTR_USERNAME = 22;
constexpr ub4 OCI_ATTR_PASSWORD = 23;
constexpr ub4 OCI_ATTR_STMT_TYPE = 24;
constexpr ub4 OCI_ATTR_INTERNAL_NAME = 25; // the client-side name of a server handle
constexpr ub4 OCI_ATTR_CHARSET_ID = 31;
constexpr ub4 OCI_ATTR_CHARSET_FORM = 32;
constexpr ub4 OCI_ATTR_LOBEMPTY = 45;
constexpr ub4 OCI_ATTR_PARSE_ERROR_OFFSET = 129;

// Attribute ids of described types and their attributes.
constexpr ub4 OCI_ATTR_TYPE_NAME = 8;
constexpr ub4 OCI_ATTR_SCHEMA_NAME = 9;
constexpr ub4 OCI_ATTR_PARAM = 124;
constexpr ub4 OCI_ATTR_TYPECODE = 216;
constexpr ub4 OCI_ATTR_COLLECTION_TYPECODE = 217;
constexpr ub4 OCI_ATTR_COLLECTION_ELEMENT = 227;
constexpr ub4 OCI_ATTR_NUM_TYPE_ATTRS = 228;
constexpr ub4 OCI_ATTR_LIST_TYPE_ATTRS = 229;
constexpr ub4 OCI_ATTR_NUM_ELEMS = 234;
constexpr ub4 OCI_ATTR_IS_FINAL_TYPE = 279;

// Statement types (statement-type attribute) of current libraries.
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

// Character-set forms of LOB reads and writes, and the client character set the environment is created with
// (WE8MSWIN1252), so that text arrives as Windows-1252 bytes whatever NLS_LANG says.
constexpr ub1 SQLCS_IMPLICIT = 1;
constexpr ub1 SQLCS_NCHAR = 2;
constexpr ub2 OCI_WE8MSWIN1252_ID = 178;

// Describe and object constants.
constexpr ub1 OCI_OTYPE_NAME = 1;
constexpr ub1 OCI_PTYPE_TYPE = 6;
constexpr ub2 OCI_DURATION_SESSION = 10;
constexpr int OCI_TYPEGET_HEADER = 0;
constexpr int OCI_TYPEGET_ALL = 1;
constexpr ub2 OCI_TYPECODE_OPAQUE = 58;
constexpr ub2 OCI_TYPECODE_OBJECT = 108;
constexpr ub2 OCI_TYPECODE_REF = 110;
constexpr ub2 OCI_TYPECODE_NAMEDCOLLECTION = 122;
constexpr ub2 OCI_TYPECODE_VARRAY = 247;
constexpr ub2 OCI_TYPECODE_TABLE = 248;
constexpr int OCI_PIN_LATEST = 5; // always the server's current copy
constexpr int OCI_LOCK_NONE = 1;
constexpr ub2 OCI_OBJECTFREE_FORCE = 1;
constexpr unsigned OCI_NUMBER_UNSIGNED = 0;
constexpr unsigned OCI_NUMBER_SIGNED = 2;
constexpr sb2 OCI_IND_NOTNULL = 0;
constexpr sb2 OCI_IND_NULL = -1;
constexpr ub4 OCI_THREADED = 1;
constexpr ub4 OCI_OBJECT = 2;

// Modes.
constexpr ub4 OCI_DEFAULT = 0;
constexpr ub4 OCI_DESCRIBE_ONLY = 0x10;
constexpr ub4 OCI_COMMIT_ON_SUCCESS = 0x20;
constexpr ub4 OCI_DATA_AT_EXEC = 2;
constexpr ub4 OCI_DYNAMIC_FETCH = 2;

// Pieces of piecewise transfer.
constexpr ub1 OCI_ONE_PIECE = 0;
constexpr ub1 OCI_FIRST_PIECE = 1;
constexpr ub1 OCI_NEXT_PIECE = 2;
constexpr ub1 OCI_LAST_PIECE = 3;

// External data types (SQLT codes) named by the client layer.
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
constexpr ub2 SQLT_NTY = 108;
constexpr ub2 SQLT_REF = 110;
constexpr ub2 SQLT_CLOB = 112;
constexpr ub2 SQLT_BLOB = 113;
constexpr ub2 SQLT_BFILEE = 114;
constexpr ub2 SQLT_CFILEE = 115;
constexpr ub2 SQLT_RSET = 116;
constexpr ub2 SQLT_TIMESTAMP = 187;
constexpr ub2 SQLT_TIMESTAMP_TZ = 188;
constexpr ub2 SQLT_INTERVAL_YM = 189;
constexpr ub2 SQLT_INTERVAL_DS = 190;
constexpr ub2 SQLT_UROWID = 208;
constexpr ub2 SQLT_TIMESTAMP_LTZ = 232;

// Memory callbacks of the environment (always nil here: the library's own allocator is used).
using OCIMallocFn = dvoid* (*)(dvoid* ctxp, size_t size);
using OCIReallocFn = dvoid* (*)(dvoid* ctxp, dvoid* memptr, size_t newsize);
using OCIFreeFn = void (*)(dvoid* ctxp, dvoid* memptr);
// Streaming callbacks of LOB reads and writes (never used: LOBs move in pieces the caller asks for).
using OCICallbackLobRead = sb4 (*)(dvoid* ctxp, const dvoid* bufp, ub4 len, ub1 piece);
using OCICallbackLobWrite = sb4 (*)(dvoid* ctxp, dvoid* bufp, ub4* lenp, ub1* piecep);

// Callbacks of dynamic binds and defines.
using OCICallbackInBind = sb4 (*)(dvoid* ictxp, OCIBind* bindp, ub4 iter, ub4 index, dvoid** bufpp,
                                  ub4* alenp, ub1* piecep, dvoid** indp);
using OCICallbackOutBind = sb4 (*)(dvoid* octxp, OCIBind* bindp, ub4 iter, ub4 index, dvoid** bufpp,
                                   ub4** alenpp, ub1* piecep, dvoid** indpp, ub2** rcodepp);
using OCICallbackDefine = sb4 (*)(dvoid* octxp, OCIDefine* defnp, ub4 iter, dvoid** bufpp, ub4** alenpp,
                                  ub1* piecep, dvoid** indpp, ub2** rcodep);

// Raised by the table itself: an entry point that nothing installed, one that the installed
// implementation does not offer, or an installation that failed.
class EOCICallError : public std::runtime_error {
public:
    explicit EOCICallError(const std::string& msg) : std::runtime_error(msg) {}
};

// X(name, result, parameter list). Version-8 routines first, then the version-7 routines (o prefix),
// whose logon and cursor data areas stay opaque here.
#define VESTRA_OCI8_FUNCTIONS(X)                                                                             \
    X(OCIInitialize, sword,                                                                                  \
      (ub4 mode, dvoid * ctxp, OCIMallocFn malocfp, OCIReallocFn ralocfp, OCIFreeFn mfreefp))                \
    X(OCIEnvCreate, sword,                                                                                   \
      (OCIEnv * *envhpp, ub4 mode, dvoid * ctxp, OCIMallocFn malocfp, OCIReallocFn ralocfp,                  \
       OCIFreeFn mfreefp, size_t xtramemsz, dvoid * *usrmempp))                                              \
    X(OCIEnvNlsCreate, sword,                                                                                \
      (OCIEnv * *envhpp, ub4 mode, dvoid * ctxp, OCIMallocFn malocfp, OCIReallocFn ralocfp,                  \
       OCIFreeFn mfreefp, size_t xtramemsz, dvoid * *usrmempp, ub2 charset, ub2 ncharset))                   \
    X(OCIClientVersion, void,                                                                                \
      (sword * major_version, sword * minor_version, sword * update_num, sword * patch_num,                  \
       sword * port_update_num))                                                                             \
    X(OCIEnvInit, sword, (OCIEnv * *envhpp, ub4 mode, size_t xtramemsz, dvoid * *usrmempp))                  \
    X(OCIHandleAlloc, sword,                                                                                 \
      (const dvoid* parenth, dvoid** hndlpp, ub4 type, size_t xtramemsz, dvoid** usrmempp))                  \
    X(OCIHandleFree, sword, (dvoid * hndlp, ub4 type))                                                       \
    X(OCIDescriptorAlloc, sword,                                                                             \
      (const dvoid* parenth, dvoid** descpp, ub4 type, size_t xtramemsz, dvoid** usrmempp))                  \
    X(OCIDescriptorFree, sword, (dvoid * descp, ub4 type))                                                   \
    X(OCIAttrGet, sword,                                                                                     \
      (const dvoid* trgthndlp, ub4 trghndltyp, dvoid* attributep, ub4* sizep, ub4 attrtype,                  \
       OCIError* errhp))                                                                                     \
    X(OCIAttrSet, sword,                                                                                     \
      (dvoid * trgthndlp, ub4 trghndltyp, dvoid * attributep, ub4 size, ub4 attrtype, OCIError * errhp))     \
    X(OCIParamGet, sword, (const dvoid* hndlp, ub4 htype, OCIError* errhp, dvoid** parmdpp, ub4 pos))        \
    X(OCIErrorGet, sword,                                                                                    \
      (dvoid * hndlp, ub4 recordno, OraText * sqlstate, sb4 * errcodep, OraText * bufp, ub4 bufsiz,          \
       ub4 type))                                                                                            \
    X(OCIServerAttach, sword,                                                                                \
      (OCIServer * srvhp, OCIError * errhp, const OraText* dblink, sb4 dblink_len, ub4 mode))                \
    X(OCIServerDetach, sword, (OCIServer * srvhp, OCIError * errhp, ub4 mode))                               \
    X(OCISessionBegin, sword,                                                                                \
      (OCISvcCtx * svchp, OCIError * errhp, OCISession * usrhp, ub4 credt, ub4 mode))                        \
    X(OCISessionEnd, sword, (OCISvcCtx * svchp, OCIError * errhp, OCISession * usrhp, ub4 mode))             \
    X(OCIServerVersion, sword, (dvoid * hndlp, OCIError * errhp, OraText * bufp, ub4 bufsz, ub1 hndltype))   \
    X(OCIPasswordChange, sword,                                                                              \
      (OCISvcCtx * svchp, OCIError * errhp, const OraText* user_name, ub4 usernm_len,                        \
       const OraText* opasswd, ub4 opasswd_len, const OraText* npasswd, ub4 npasswd_len, ub4 mode))          \
    X(OCITransCommit, sword, (OCISvcCtx * svchp, OCIError * errhp, ub4 flags))                               \
    X(OCITransRollback, sword, (OCISvcCtx * svchp, OCIError * errhp, ub4 flags))                             \
    X(OCIBreak, sword, (dvoid * hndlp, OCIError * errhp))                                                    \
    X(OCIStmtPrepare, sword,                                                                                 \
      (OCIStmt * stmtp, OCIError * errhp, const OraText* stmt, ub4 stmt_len, ub4 language, ub4 mode))        \
    X(OCIStmtExecute, sword,                                                                                 \
      (OCISvcCtx * svchp, OCIStmt * stmtp, OCIError * errhp, ub4 iters, ub4 rowoff,                          \
       const OCISnapshot* snap_in, OCISnapshot* snap_out, ub4 mode))                                         \
    X(OCIStmtFetch, sword, (OCIStmt * stmtp, OCIError * errhp, ub4 nrows, ub2 orientation, ub4 mode))        \
    X(OCIStmtFetch2, sword,                                                                                  \
      (OCIStmt * stmtp, OCIError * errhp, ub4 nrows, ub2 orientation, sb4 fetchOffset, ub4 mode))            \
    X(OCIStmtGetPieceInfo, sword,                                                                            \
      (OCIStmt * stmtp, OCIError * errhp, dvoid * *hndlpp, ub4 * typep, ub1 * in_outp, ub4 * iterp,          \
       ub4 * idxp, ub1 * piecep))                                                                            \
    X(OCIStmtSetPieceInfo, sword,                                                                            \
      (dvoid * hndlp, ub4 type, OCIError * errhp, const dvoid* bufp, ub4* alenp, ub1 piece,                  \
       const dvoid* indp, ub2* rcodep))                                                                      \
    X(OCIBindByName, sword,                                                                                  \
      (OCIStmt * stmtp, OCIBind * *bindp, OCIError * errhp, const OraText* placeholder, sb4 placeh_len,      \
       dvoid* valuep, sb4 value_sz, ub2 dty, dvoid* indp, ub2* alenp, ub2* rcodep, ub4 maxarr_len,           \
       ub4* curelep, ub4 mode))                                                                              \
    X(OCIBindByPos, sword,                                                                                   \
      (OCIStmt * stmtp, OCIBind * *bindp, OCIError * errhp, ub4 position, dvoid * valuep, sb4 value_sz,      \
       ub2 dty, dvoid * indp, ub2 * alenp, ub2 * rcodep, ub4 maxarr_len, ub4 * curelep, ub4 mode))           \
    X(OCIBindArrayOfStruct, sword,                                                                           \
      (OCIBind * bindp, OCIError * errhp, ub4 pvskip, ub4 indskip, ub4 alskip, ub4 rcskip))                  \
    X(OCIBindDynamic, sword,                                                                                 \
      (OCIBind * bindp, OCIError * errhp, dvoid * ictxp, OCICallbackInBind icbfp, dvoid * octxp,             \
       OCICallbackOutBind ocbfp))                                                                            \
    X(OCIBindObject, sword,                                                                                  \
      (OCIBind * bindp, OCIError * errhp, const OCIType* type, dvoid** pgvpp, ub4* pvszsp, dvoid** indpp,    \
       ub4* indszp))                                                                                         \
    X(OCIDefineByPos, sword,                                                                                 \
      (OCIStmt * stmtp, OCIDefine * *defnp, OCIError * errhp, ub4 position, dvoid * valuep, sb4 value_sz,    \
       ub2 dty, dvoid * indp, ub2 * rlenp, ub2 * rcodep, ub4 mode))                                          \
    X(OCIDefineArrayOfStruct, sword,                                                                         \
      (OCIDefine * defnp, OCIError * errhp, ub4 pvskip, ub4 indskip, ub4 rlskip, ub4 rcskip))                \
    X(OCIDefineDynamic, sword,                                                                               \
      (OCIDefine * defnp, OCIError * errhp, dvoid * octxp, OCICallbackDefine ocbfp))                         \
    X(OCIDefineObject, sword,                                                                                \
      (OCIDefine * defnp, OCIError * errhp, const OCIType* type, dvoid** pgvpp, ub4* pvszsp, dvoid** indpp,  \
       ub4* indszp))                                                                                         \
    X(OCIDescribeAny, sword,                                                                                 \
      (OCISvcCtx * svchp, OCIError * errhp, dvoid * objptr, ub4 objnm_len, ub1 objptr_typ, ub1 info_level,   \
       ub1 objtyp, OCIDescribe * dschp))                                                                     \
    X(OCILdaToSvcCtx, sword, (OCISvcCtx * *svchpp, OCIError * errhp, dvoid * ldap))                          \
    X(OCISvcCtxToLda, sword, (OCISvcCtx * svchp, OCIError * errhp, dvoid * ldap))                            \
    X(OCILobGetLength, sword, (OCISvcCtx * svchp, OCIError * errhp, OCILobLocator * locp, ub4 * lenp))       \
    X(OCILobRead, sword,                                                                                     \
      (OCISvcCtx * svchp, OCIError * errhp, OCILobLocator * locp, ub4 * amtp, ub4 offset, dvoid * bufp,      \
       ub4 bufl, dvoid * ctxp, OCICallbackLobRead cbfp, ub2 csid, ub1 csfrm))                                \
    X(OCILobWrite, sword,                                                                                    \
      (OCISvcCtx * svchp, OCIError * errhp, OCILobLocator * locp, ub4 * amtp, ub4 offset, dvoid * bufp,      \
       ub4 buflen, ub1 piece, dvoid * ctxp, OCICallbackLobWrite cbfp, ub2 csid, ub1 csfrm))                  \
    X(OCILobTrim, sword, (OCISvcCtx * svchp, OCIError * errhp, OCILobLocator * locp, ub4 newlen))            \
    X(OCILobLocatorIsInit, sword,                                                                            \
      (OCIEnv * envhp, OCIError * errhp, const OCILobLocator* locp, int* is_initialized))                    \
    X(OCILobCharSetForm, sword, (OCIEnv * envhp, OCIError * errhp, const OCILobLocator* locp, ub1* csfrm))   \
    X(OCILobCharSetId, sword, (OCIEnv * envhp, OCIError * errhp, const OCILobLocator* locp, ub2* csid))      \
    X(OCILobAppend, sword, (OCISvcCtx * svchp, OCIError * errhp, OCILobLocator * dst, OCILobLocator * src))  \
    X(OCILobAssign, sword,                                                                                   \
      (OCIEnv * envhp, OCIError * errhp, const OCILobLocator* src, OCILobLocator** dst))                     \
    X(OCILobCopy, sword,                                                                                     \
      (OCISvcCtx * svchp, OCIError * errhp, OCILobLocator * dst, OCILobLocator * src, ub4 amount,            \
       ub4 dst_off, ub4 src_off))                                                                            \
    X(OCILobDisableBuffering, sword, (OCISvcCtx * svchp, OCIError * errhp, OCILobLocator * locp))            \
    X(OCILobEnableBuffering, sword, (OCISvcCtx * svchp, OCIError * errhp, OCILobLocator * locp))             \
    X(OCILobErase, sword,                                                                                    \
      (OCISvcCtx * svchp, OCIError * errhp, OCILobLocator * locp, ub4 * amount, ub4 offset))                 \
    X(OCILobFileClose, sword, (OCISvcCtx * svchp, OCIError * errhp, OCILobLocator * filep))                  \
    X(OCILobFileExists, sword, (OCISvcCtx * svchp, OCIError * errhp, OCILobLocator * filep, int* flag))      \
    X(OCILobFileGetName, sword,                                                                              \
      (OCIEnv * envhp, OCIError * errhp, const OCILobLocator* filep, OraText* dir_alias, ub2* d_length,      \
       OraText* filename, ub2* f_length))                                                                    \
    X(OCILobFileIsOpen, sword, (OCISvcCtx * svchp, OCIError * errhp, OCILobLocator * filep, int* flag))      \
    X(OCILobFileOpen, sword, (OCISvcCtx * svchp, OCIError * errhp, OCILobLocator * filep, ub1 mode))         \
    X(OCILobFileSetName, sword,                                                                              \
      (OCIEnv * envhp, OCIError * errhp, OCILobLocator * *filepp, const OraText* dir_alias, ub2 d_length,    \
       const OraText* filename, ub2 f_length))                                                               \
    X(OCILobFlushBuffer, sword, (OCISvcCtx * svchp, OCIError * errhp, OCILobLocator * locp, ub4 flag))       \
    X(OCILobIsEqual, sword, (OCIEnv * envhp, const OCILobLocator* x, const OCILobLocator* y, int* is_equal)) \
    X(OCILobLoadFromFile, sword,                                                                             \
      (OCISvcCtx * svchp, OCIError * errhp, OCILobLocator * dst, OCILobLocator * src, ub4 amount,            \
       ub4 dst_off, ub4 src_off))                                                                            \
    X(OCILobCreateTemporary, sword,                                                                          \
      (OCISvcCtx * svchp, OCIError * errhp, OCILobLocator * locp, ub2 csid, ub1 csfrm, ub1 lobtype,          \
       int cache, ub2 duration))                                                                             \
    X(OCIRowidToChar, sword, (OCIRowid * rowidDesc, OraText * outbfp, ub2 * outbflp, OCIError * errhp))      \
    X(OCIDateTimeConstruct, sword,                                                                           \
      (dvoid * hndl, OCIError * err, OCIDateTime * datetime, sb2 year, ub1 month, ub1 day, ub1 hour,         \
       ub1 min, ub1 sec, ub4 fsec, OraText * timezone, size_t timezone_length))                              \
    X(OCIDateTimeGetDate, sword,                                                                             \
      (dvoid * hndl, OCIError * err, const OCIDateTime* datetime, sb2* year, ub1* month, ub1* day))          \
    X(OCIDateTimeGetTime, sword,                                                                             \
      (dvoid * hndl, OCIError * err, OCIDateTime * datetime, ub1 * hour, ub1 * min, ub1 * sec, ub4 * fsec))  \
    X(OCIDateTimeGetTimeZoneOffset, sword,                                                                   \
      (dvoid * hndl, OCIError * err, const OCIDateTime* datetime, sb1* hour, sb1* min))                      \
    X(OCIDateTimeFromText, sword,                                                                            \
      (dvoid * hndl, OCIError * err, const OraText* date_str, size_t dstr_length, const OraText* fmt,        \
       ub1 fmt_length, const OraText* lang_name, size_t lang_length, OCIDateTime* datetime))                 \
    X(OCIDateTimeToText, sword,                                                                              \
      (dvoid * hndl, OCIError * err, const OCIDateTime* date, const OraText* fmt, ub1 fmt_length,            \
       ub1 fsprec, const OraText* lang_name, size_t lang_length, ub4* buf_size, OraText* buf))               \
    X(OCIIntervalFromText, sword,                                                                            \
      (dvoid * hndl, OCIError * err, const OraText* inpstring, size_t str_len, OCIInterval* result))         \
    X(OCIIntervalToText, sword,                                                                              \
      (dvoid * hndl, OCIError * err, const OCIInterval* inter, ub1 lfprec, ub1 fsprec, OraText* buffer,      \
       size_t buflen, size_t* resultlen))                                                                    \
    X(OCITypeByName, sword,                                                                                  \
      (OCIEnv * env, OCIError * err, const OCISvcCtx* svc, const OraText* schema_name, ub4 s_length,         \
       const OraText* type_name, ub4 t_length, const OraText* version_name, ub4 v_length, ub2 pin_duration,  \
       int get_option, OCIType** tdo))                                                                       \
    X(OCIObjectNew, sword,                                                                                   \
      (OCIEnv * env, OCIError * err, const OCISvcCtx* svc, ub2 typecode, OCIType* tdo, dvoid* table,         \
       ub2 duration, int value, dvoid** instance))                                                           \
    X(OCIObjectFree, sword, (OCIEnv * env, OCIError * err, dvoid * instance, ub2 flags))                     \
    X(OCIObjectPin, sword,                                                                                   \
      (OCIEnv * env, OCIError * err, OCIRef * object_ref, OCIComplexObject * corhdl, int pin_option,         \
       ub2 pin_duration, int lock_option, dvoid** object))                                                   \
    X(OCIObjectFlush, sword, (OCIEnv * env, OCIError * err, dvoid * object))                                 \
    X(OCIObjectMarkDelete, sword, (OCIEnv * env, OCIError * err, dvoid * instance))                          \
    X(OCIObjectGetInd, sword, (OCIEnv * env, OCIError * err, dvoid * instance, dvoid * *null_struct))        \
    X(OCICollSize, sword, (OCIEnv * env, OCIError * err, const OCIColl* coll, sb4* size))                    \
    X(OCICollAppend, sword,                                                                                  \
      (OCIEnv * env, OCIError * err, const dvoid* elem, const dvoid* elemind, OCIColl* coll))                \
    X(OCICollAssignElem, sword,                                                                              \
      (OCIEnv * env, OCIError * err, sb4 index, const dvoid* elem, const dvoid* elemind, OCIColl* coll))     \
    X(OCICollGetElem, sword,                                                                                 \
      (OCIEnv * env, OCIError * err, const OCIColl* coll, sb4 index, int* exists, dvoid** elem,              \
       dvoid** elemind))                                                                                     \
    X(OCITableSize, sword, (OCIEnv * env, OCIError * err, const OCIColl* tbl, sb4* size))                    \
    X(OCITableNext, sword,                                                                                   \
      (OCIEnv * env, OCIError * err, sb4 index, const OCIColl* tbl, sb4* next_index, int* exists))           \
    X(OCITableDelete, sword, (OCIEnv * env, OCIError * err, sb4 index, OCIColl * tbl))                       \
    X(OCIRefAssign, sword, (OCIEnv * env, OCIError * err, const OCIRef* source, OCIRef** target))            \
    X(OCIRefClear, void, (OCIEnv * env, OCIRef * ref))                                                       \
    X(OCIRefIsNull, int, (OCIEnv * env, const OCIRef* ref))                                                  \
    X(OCIStringAssignText, sword,                                                                            \
      (OCIEnv * env, OCIError * err, const OraText* rhs, ub4 rhs_len, OCIString** lhs))                      \
    X(OCIStringPtr, OraText*, (OCIEnv * env, const OCIString* vs))                                           \
    X(OCIStringResize, sword, (OCIEnv * env, OCIError * err, ub4 new_size, OCIString * *str))                \
    X(OCINumberFromInt, sword,                                                                               \
      (OCIError * err, const dvoid* inum, unsigned int inum_length, unsigned int inum_s_flag,                \
       OCINumber* number))                                                                                   \
    X(OCINumberToInt, sword,                                                                                 \
      (OCIError * err, const OCINumber* number, unsigned int rsl_length, unsigned int rsl_flag, dvoid* rsl)) \
    X(OCINumberFromReal, sword,                                                                              \
      (OCIError * err, const dvoid* rnum, unsigned int rnum_length, OCINumber* number))                      \
    X(OCINumberToReal, sword, (OCIError * err, const OCINumber* number, unsigned int rsl_length, dvoid* rsl))

#define VESTRA_OCI7_FUNCTIONS(X)                                                                             \
    X(olog, sword,                                                                                           \
      (dvoid * lda, ub1 * hda, OraText * uid, sword uidl, OraText * pswd, sword pswdl, OraText * conn,       \
       sword connl, ub4 mode))                                                                               \
    X(ologof, sword, (dvoid * lda))                                                                          \
    X(oopen, sword,                                                                                          \
      (dvoid * cda, dvoid * lda, OraText * dbn, sword dbnl, sword arsize, OraText * uid, sword uidl))        \
    X(oclose, sword, (dvoid * cda))                                                                          \
    X(oparse, sword, (dvoid * cda, OraText * sqlstm, sb4 sqllen, sword defflg, ub4 lngflg))                  \
    X(oexn, sword, (dvoid * cda, sword iters, sword rowoff))                                                 \
    X(ofen, sword, (dvoid * cda, sword nrows))                                                               \
    X(ocan, sword, (dvoid * cda))                                                                            \
    X(ocom, sword, (dvoid * lda))                                                                            \
    X(orol, sword, (dvoid * lda))                                                                            \
    X(obreak, sword, (dvoid * lda))                                                                          \
    X(odescr, sword,                                                                                         \
      (dvoid * cda, sword pos, sb4 * dbsize, sb2 * dbtype, sb1 * cbuf, sb4 * cbufl, sb4 * dsize, sb2 * prec, \
       sb2 * scale, sb2 * nullok))                                                                           \
    X(oerhms, sword, (dvoid * lda, sb2 rcode, OraText * buf, sword bufsiz))                                  \
    X(odefin, sword,                                                                                         \
      (dvoid * cda, sword pos, ub1 * buf, sword bufl, sword ftype, sword scale, sb2 * indp, OraText * fmt,   \
       sword fmtl, sword fmtt, ub2 * rlen, ub2 * rcode))                                                     \
    X(odefinps, sword,                                                                                       \
      (dvoid * cda, ub1 opcode, sword pos, ub1 * bufctx, sb4 bufl, sword ftype, sword scale, dvoid * indp,   \
       OraText * fmt, sb4 fmtl, sword fmtt, ub2 * rlen, ub2 * rcode, sb4 pv_skip, sb4 ind_skip,              \
       sb4 alen_skip, sb4 rc_skip))                                                                          \
    X(obndrv, sword,                                                                                         \
      (dvoid * cda, OraText * sqlvar, sword sqlvl, ub1 * progv, sword progvl, sword ftype, sword scale,      \
       sb2 * indp, OraText * fmt, sword fmtl, sword fmtt))                                                   \
    X(obndra, sword,                                                                                         \
      (dvoid * cda, OraText * sqlvar, sword sqlvl, ub1 * progv, sword progvl, sword ftype, sword scale,      \
       sb2 * indp, ub2 * alen, ub2 * arcode, ub4 maxsiz, ub4 * cursiz, OraText * fmt, sword fmtl,            \
       sword fmtt))                                                                                          \
    X(obindps, sword,                                                                                        \
      (dvoid * cda, ub1 opcode, OraText * sqlvar, sb4 sqlvl, ub1 * pvctx, sb4 progvl, sword ftype,           \
       sword scale, sb2 * indp, ub2 * alen, ub2 * arcode, sb4 pv_skip, sb4 ind_skip, sb4 alen_skip,          \
       sb4 rc_skip, ub4 maxsiz, ub4 * cursiz, OraText * fmt, sb4 fmtl, sword fmtt))                          \
    X(ogetpi, sword, (dvoid * cda, ub1 * piecep, dvoid * *ctxpp, ub4 * iterp, ub4 * indexp))                 \
    X(osetpi, sword, (dvoid * cda, ub1 piece, dvoid * bufp, ub4 * lenp))

#define VESTRA_OCI_DECLARE_SLOT(name, ret, params)                                                           \
    using T##name = ret(*) params;                                                                           \
    extern T##name name;
VESTRA_OCI8_FUNCTIONS(VESTRA_OCI_DECLARE_SLOT)
VESTRA_OCI7_FUNCTIONS(VESTRA_OCI_DECLARE_SLOT)
#undef VESTRA_OCI_DECLARE_SLOT

// Puts the "OCI function is not linked" routine back into every slot.
void ResetOCICalls();

// A copy of the table: one member per slot, nil where the source offers no routine.
struct TOCICalls {
#define VESTRA_OCI_MEMBER(name, ret, params) T##name name = nullptr;
    VESTRA_OCI8_FUNCTIONS(VESTRA_OCI_MEMBER)
    VESTRA_OCI7_FUNCTIONS(VESTRA_OCI_MEMBER)
#undef VESTRA_OCI_MEMBER
};
// Writes every non-nil member into its slot; the other slots keep what they hold.
void InstallOCICalls(const TOCICalls& calls);
// True when the slot holds the "OCI function is not linked" routine.
bool OCICallLinked(const void* slotValue);

// Loader state shared by the client layer and whoever fills the table.
constexpr int OCIGroupOCI7 = 2;  // version-7.3 routines loaded
constexpr int OCIGroupOCI8 = 4;  // version-8.0 routines loaded
constexpr int OCIGroupOCI81 = 8; // version-8.1 routines loaded
constexpr int OCIGroupOCI9 = 16; // version-9 routines loaded

extern int OCIFunctionGroups;    // bit set of the loaded routine groups (capability bits)
extern int OCIClientVersionCode; // 0 none, 1 = 7.3, 2 = 8.0, 3 = 8.1, 4 = 9.x
extern int OCIDefaultCallStyle;  // 0 not chosen, 1 version-7 calls, 2 version-8 calls
extern bool OCIInited;           // the "initialized" mark
extern OCIEnv* hOCIEnv;          // the process-wide environment
extern OCIError* hOCIError;      // the process-wide error handle

// The status check for calls without a connection (environment, descriptors, LOBs). The client layer
// installs its own, which raises its Oracle error class; until then the default reads the process-wide
// error handle through OCIErrorGet and raises EOCIStatusError. Statuses 0 and 1 pass silently.
class EOCIStatusError : public std::runtime_error {
public:
    EOCIStatusError(int code, const std::string& msg) : std::runtime_error(msg), code_(code) {}
    int Code() const { return code_; }

private:
    int code_;
};
using TCheckGlobalProc = void (*)(sword status);
extern TCheckGlobalProc CheckGlobalProc;
void CheckGlobal(sword status);

} // namespace oracall
