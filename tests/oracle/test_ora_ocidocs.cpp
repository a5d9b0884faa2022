// The program's view of the Oracle Call Interface against the documentation's: every constant of the
// entry-point table has its documented value, every entry point its documented parameter list and result
// (tests/ocilib/OciDocs.h is written from Oracle's public OCI guides, independently of ocicall/OraCall.h).
// Also the number rules the client layer applies to what a current library reports: versions, banners and
// statement types.
#include "ocicall/OraCall.h"
#include "oracle/OraClasses.h"
#include "tests/ocilib/OciDocs.h"

#include <gtest/gtest.h>
#include <type_traits>

namespace {

// A signature with every pointer to an opaque handle replaced by a pointer to one tag type, so that the two
// headers' handle types (each in its own namespace) compare equal while widths, signs, pointer depths, const
// and the order and number of parameters must agree.
struct TOpaque;
template <class T> struct Canon { using type = T; };
template <class T>
requires(std::is_class_v<T> && !std::is_const_v<T>) struct Canon<T> {
    using type = TOpaque;
};
template <class T> struct Canon<const T> { using type = const typename Canon<T>::type; };
template <class T> struct Canon<T*> { using type = typename Canon<T>::type*; };
template <class R, class... A> struct Canon<R(A...)> {
    using type = typename Canon<R>::type(typename Canon<A>::type...);
};
template <class A, class B>
constexpr bool SameShape = std::is_same_v<typename Canon<A>::type, typename Canon<B>::type>;

TEST(OciDocumentedInterface, EveryConstantOfTheTableHasItsDocumentedValue) {
    int checked = 0;
#define VESTRA_SAME_VALUE(name)                                                                              \
    ++checked;                                                                                               \
    EXPECT_EQ(static_cast<long long>(oracall::name), static_cast<long long>(ocidoc::name)) << #name;
    VESTRA_SAME_VALUE(OCI_SUCCESS)
    VESTRA_SAME_VALUE(OCI_SUCCESS_WITH_INFO)
    VESTRA_SAME_VALUE(OCI_NO_DATA)
    VESTRA_SAME_VALUE(OCI_ERROR)
    VESTRA_SAME_VALUE(OCI_INVALID_HANDLE)
    VESTRA_SAME_VALUE(OCI_NEED_DATA)
    VESTRA_SAME_VALUE(OCI_STILL_EXECUTING)
    VESTRA_SAME_VALUE(OCI_CONTINUE)
    VESTRA_SAME_VALUE(OCI_HTYPE_ENV)
    VESTRA_SAME_VALUE(OCI_HTYPE_ERROR)
    VESTRA_SAME_VALUE(OCI_HTYPE_SVCCTX)
    VESTRA_SAME_VALUE(OCI_HTYPE_STMT)
    VESTRA_SAME_VALUE(OCI_HTYPE_BIND)
    VESTRA_SAME_VALUE(OCI_HTYPE_DEFINE)
    VESTRA_SAME_VALUE(OCI_HTYPE_DESCRIBE)
    VESTRA_SAME_VALUE(OCI_HTYPE_SERVER)
    VESTRA_SAME_VALUE(OCI_HTYPE_SESSION)
    VESTRA_SAME_VALUE(OCI_DTYPE_LOB)
    VESTRA_SAME_VALUE(OCI_DTYPE_PARAM)
    VESTRA_SAME_VALUE(OCI_DTYPE_ROWID)
    VESTRA_SAME_VALUE(OCI_DTYPE_FILE)
    VESTRA_SAME_VALUE(OCI_DTYPE_INTERVAL_YM)
    VESTRA_SAME_VALUE(OCI_DTYPE_INTERVAL_DS)
    VESTRA_SAME_VALUE(OCI_DTYPE_TIMESTAMP)
    VESTRA_SAME_VALUE(OCI_DTYPE_TIMESTAMP_TZ)
    VESTRA_SAME_VALUE(OCI_DTYPE_TIMESTAMP_LTZ)
    VESTRA_SAME_VALUE(OCI_ATTR_DATA_SIZE)
    VESTRA_SAME_VALUE(OCI_ATTR_DATA_TYPE)
    VESTRA_SAME_VALUE(OCI_ATTR_NAME)
    VESTRA_SAME_VALUE(OCI_ATTR_ENV)
    VESTRA_SAME_VALUE(OCI_ATTR_PRECISION)
    VESTRA_SAME_VALUE(OCI_ATTR_SERVER)
    VESTRA_SAME_VALUE(OCI_ATTR_SCALE)
    VESTRA_SAME_VALUE(OCI_ATTR_SESSION)
    VESTRA_SAME_VALUE(OCI_ATTR_IS_NULL)
    VESTRA_SAME_VALUE(OCI_ATTR_ROW_COUNT)
    VESTRA_SAME_VALUE(OCI_ATTR_SQLFNCODE)
    VESTRA_SAME_VALUE(OCI_ATTR_PARAM_COUNT)
    VESTRA_SAME_VALUE(OCI_ATTR_ROWID)
    VESTRA_SAME_VALUE(OCI_ATTR_USERNAME)
    VESTRA_SAME_VALUE(OCI_ATTR_PASSWORD)
    VESTRA_SAME_VALUE(OCI_ATTR_STMT_TYPE)
    VESTRA_SAME_VALUE(OCI_ATTR_INTERNAL_NAME)
    VESTRA_SAME_VALUE(OCI_ATTR_CHARSET_ID)
    VESTRA_SAME_VALUE(OCI_ATTR_CHARSET_FORM)
    VESTRA_SAME_VALUE(OCI_ATTR_LOBEMPTY)
    VESTRA_SAME_VALUE(OCI_ATTR_PARSE_ERROR_OFFSET)
    VESTRA_SAME_VALUE(OCI_ATTR_TYPE_NAME)
    VESTRA_SAME_VALUE(OCI_ATTR_SCHEMA_NAME)
    VESTRA_SAME_VALUE(OCI_ATTR_PARAM)
    VESTRA_SAME_VALUE(OCI_ATTR_TYPECODE)
    VESTRA_SAME_VALUE(OCI_ATTR_COLLECTION_TYPECODE)
    VESTRA_SAME_VALUE(OCI_ATTR_COLLECTION_ELEMENT)
    VESTRA_SAME_VALUE(OCI_ATTR_NUM_TYPE_ATTRS)
    VESTRA_SAME_VALUE(OCI_ATTR_LIST_TYPE_ATTRS)
    VESTRA_SAME_VALUE(OCI_ATTR_NUM_ELEMS)
    VESTRA_SAME_VALUE(OCI_ATTR_IS_FINAL_TYPE)
    VESTRA_SAME_VALUE(OCI_STMT_SELECT)
    VESTRA_SAME_VALUE(OCI_STMT_UPDATE)
    VESTRA_SAME_VALUE(OCI_STMT_DELETE)
    VESTRA_SAME_VALUE(OCI_STMT_INSERT)
    VESTRA_SAME_VALUE(OCI_STMT_CREATE)
    VESTRA_SAME_VALUE(OCI_STMT_DROP)
    VESTRA_SAME_VALUE(OCI_STMT_ALTER)
    VESTRA_SAME_VALUE(OCI_STMT_BEGIN)
    VESTRA_SAME_VALUE(OCI_STMT_DECLARE)
    VESTRA_SAME_VALUE(OCI_STMT_CALL)
    VESTRA_SAME_VALUE(OCI_STMT_EXPLAIN1)
    VESTRA_SAME_VALUE(OCI_STMT_EXPLAIN2)
    VESTRA_SAME_VALUE(OCI_STMT_MERGE)
    VESTRA_SAME_VALUE(OCI_STMT_ROLLBACK)
    VESTRA_SAME_VALUE(OCI_STMT_COMMIT)
    VESTRA_SAME_VALUE(SQLCS_IMPLICIT)
    VESTRA_SAME_VALUE(SQLCS_NCHAR)
    VESTRA_SAME_VALUE(OCI_WE8MSWIN1252_ID)
    VESTRA_SAME_VALUE(OCI_OTYPE_NAME)
    VESTRA_SAME_VALUE(OCI_PTYPE_TYPE)
    VESTRA_SAME_VALUE(OCI_DURATION_SESSION)
    VESTRA_SAME_VALUE(OCI_TYPEGET_HEADER)
    VESTRA_SAME_VALUE(OCI_TYPEGET_ALL)
    VESTRA_SAME_VALUE(OCI_TYPECODE_OPAQUE)
    VESTRA_SAME_VALUE(OCI_TYPECODE_OBJECT)
    VESTRA_SAME_VALUE(OCI_TYPECODE_REF)
    VESTRA_SAME_VALUE(OCI_TYPECODE_NAMEDCOLLECTION)
    VESTRA_SAME_VALUE(OCI_TYPECODE_VARRAY)
    VESTRA_SAME_VALUE(OCI_TYPECODE_TABLE)
    VESTRA_SAME_VALUE(OCI_PIN_LATEST)
    VESTRA_SAME_VALUE(OCI_LOCK_NONE)
    VESTRA_SAME_VALUE(OCI_OBJECTFREE_FORCE)
    VESTRA_SAME_VALUE(OCI_NUMBER_UNSIGNED)
    VESTRA_SAME_VALUE(OCI_NUMBER_SIGNED)
    VESTRA_SAME_VALUE(OCI_IND_NOTNULL)
    VESTRA_SAME_VALUE(OCI_IND_NULL)
    VESTRA_SAME_VALUE(OCI_THREADED)
    VESTRA_SAME_VALUE(OCI_OBJECT)
    VESTRA_SAME_VALUE(OCI_DEFAULT)
    VESTRA_SAME_VALUE(OCI_DESCRIBE_ONLY)
    VESTRA_SAME_VALUE(OCI_COMMIT_ON_SUCCESS)
    VESTRA_SAME_VALUE(OCI_DATA_AT_EXEC)
    VESTRA_SAME_VALUE(OCI_DYNAMIC_FETCH)
    VESTRA_SAME_VALUE(OCI_ONE_PIECE)
    VESTRA_SAME_VALUE(OCI_FIRST_PIECE)
    VESTRA_SAME_VALUE(OCI_NEXT_PIECE)
    VESTRA_SAME_VALUE(OCI_LAST_PIECE)
    VESTRA_SAME_VALUE(SQLT_CHR)
    VESTRA_SAME_VALUE(SQLT_NUM)
    VESTRA_SAME_VALUE(SQLT_INT)
    VESTRA_SAME_VALUE(SQLT_FLT)
    VESTRA_SAME_VALUE(SQLT_STR)
    VESTRA_SAME_VALUE(SQLT_VNU)
    VESTRA_SAME_VALUE(SQLT_LNG)
    VESTRA_SAME_VALUE(SQLT_VCS)
    VESTRA_SAME_VALUE(SQLT_RID)
    VESTRA_SAME_VALUE(SQLT_DAT)
    VESTRA_SAME_VALUE(SQLT_VBI)
    VESTRA_SAME_VALUE(SQLT_BFLOAT)
    VESTRA_SAME_VALUE(SQLT_BDOUBLE)
    VESTRA_SAME_VALUE(SQLT_BIN)
    VESTRA_SAME_VALUE(SQLT_LBI)
    VESTRA_SAME_VALUE(SQLT_UIN)
    VESTRA_SAME_VALUE(SQLT_LVC)
    VESTRA_SAME_VALUE(SQLT_LVB)
    VESTRA_SAME_VALUE(SQLT_AFC)
    VESTRA_SAME_VALUE(SQLT_AVC)
    VESTRA_SAME_VALUE(SQLT_IBFLOAT)
    VESTRA_SAME_VALUE(SQLT_IBDOUBLE)
    VESTRA_SAME_VALUE(SQLT_CUR)
    VESTRA_SAME_VALUE(SQLT_RDD)
    VESTRA_SAME_VALUE(SQLT_NTY)
    VESTRA_SAME_VALUE(SQLT_REF)
    VESTRA_SAME_VALUE(SQLT_CLOB)
    VESTRA_SAME_VALUE(SQLT_BLOB)
    VESTRA_SAME_VALUE(SQLT_BFILEE)
    VESTRA_SAME_VALUE(SQLT_CFILEE)
    VESTRA_SAME_VALUE(SQLT_RSET)
    VESTRA_SAME_VALUE(SQLT_TIMESTAMP)
    VESTRA_SAME_VALUE(SQLT_TIMESTAMP_TZ)
    VESTRA_SAME_VALUE(SQLT_INTERVAL_YM)
    VESTRA_SAME_VALUE(SQLT_INTERVAL_DS)
    VESTRA_SAME_VALUE(SQLT_UROWID)
    VESTRA_SAME_VALUE(SQLT_TIMESTAMP_LTZ)
#undef VESTRA_SAME_VALUE
    EXPECT_EQ(checked, 141); // a constant added to the table is added here too
}

TEST(OciDocumentedInterface, EveryEntryPointHasTheDocumentedParametersAndResult) {
#define VESTRA_SAME_SHAPE(name, ret, params)                                                                 \
    EXPECT_TRUE((SameShape<std::remove_pointer_t<oracall::T##name>, decltype(ocidoc::name)>)) << #name;
    VESTRA_OCI8_FUNCTIONS(VESTRA_SAME_SHAPE)
#undef VESTRA_SAME_SHAPE
    // The version-7 routines a client may still carry (only these are documented here).
    EXPECT_TRUE((SameShape<std::remove_pointer_t<oracall::Tolog>, decltype(ocidoc::olog)>));
    EXPECT_TRUE((SameShape<std::remove_pointer_t<oracall::Tologof>, decltype(ocidoc::ologof)>));
    EXPECT_TRUE((SameShape<std::remove_pointer_t<oracall::Toopen>, decltype(ocidoc::oopen)>));
    EXPECT_TRUE((SameShape<std::remove_pointer_t<oracall::Toparse>, decltype(ocidoc::oparse)>));
    EXPECT_TRUE((SameShape<std::remove_pointer_t<oracall::Tocom>, decltype(ocidoc::ocom)>));
    // The comparison itself tells a wrong result or a missing parameter.
    EXPECT_FALSE(
        (SameShape<oracall::sword(oracall::OCIEnv*, oracall::OCIRef*), decltype(ocidoc::OCIRefClear)>));
    EXPECT_FALSE((SameShape<oracall::sword(oracall::OCISvcCtx*, oracall::OCIError*, oracall::ub4),
                            decltype(ocidoc::OCIBreak)>));
}

TEST(OraVersions, AreComparedAsNumbersPartByPart) {
    struct {
        const char *a, *b;
        int cmp;
    } cases[] = {
        {"10.2", "8", 1},
        {"19.3.0.0.0", "8", 1},
        {"23.4", "8", 1},
        {"9.2.0.1.0", "8", 1},
        {"8.1.7.0.0", "8", 1},
        {"8", "8", 0},
        {"8.0", "8", 0},
        {"7.3.4", "8", -1},
        {"9.2.0.1.0", "10", -1},
        {"10.2", "10.10", -1},
        {"", "8", -1},
        {"", "", 0},
        {"8.1.7 Lite", "8.1.6", 1},
        {"12.1.0.2", "12.1.0.2.0", 0},
        {"19.3", "19.12", -1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CompareOraVersions(c.a, c.b), c.cmp) << c.a << " vs " << c.b;
        EXPECT_EQ(CompareOraVersions(c.b, c.a), -c.cmp) << c.b << " vs " << c.a;
    }
}

TEST(OraVersions, ComeFromTheBannerOfOldAndCurrentServers) {
    EXPECT_EQ(VersionFromBanner("Oracle9i Enterprise Edition Release 9.2.0.1.0 - Production"), "9.2.0.1.0");
    EXPECT_EQ(VersionFromBanner("Oracle Database 10g Release 10.2.0.1.0 - Production"), "10.2.0.1.0");
    EXPECT_EQ(VersionFromBanner("Oracle Database 19c Enterprise Edition Release 19.0.0.0.0 - Production\n"
                                "Version 19.3.0.0.0"),
              "19.3.0.0.0");
    EXPECT_EQ(VersionFromBanner("Oracle Database 23ai Free Release 23.0.0.0.0 - Develop, Learn, and Run for "
                                "Free\nVersion 23.4.0.24.05"),
              "23.4.0.24.05");
    EXPECT_EQ(VersionFromBanner("no version here"), "");
    EXPECT_EQ(VersionFromBanner("Release 9.2"), ""); // no blank after the number
}

TEST(OraStatementTypes, CurrentStatementTypesMapToTheStoredTypes) {
    struct {
        oracall::ub2 oci;
        uint16_t stored;
    } cases[] = {
        {1, SQL_SELECT}, {2, SQL_UPDATE}, {3, SQL_DELETE},  {4, SQL_INSERT},
        {5, 0},          {6, 0},          {7, 0},           {8, SQL_PLSQL},
        {9, SQL_PLSQL},  {10, SQL_PLSQL}, {14, SQL_NOBIND}, {15, SQL_NOBIND},
        {16, 0},         {17, 0},         {21, 0},          {99, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(OraStmtTypeFromOCI(c.oci), c.stored) << c.oci;
}

} // namespace
