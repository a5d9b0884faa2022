// Included by OciLib.cpp only.
// Result sets this library serves itself, with the column types of current servers that the emulator behind
// the host does not have: "SELECT * FROM OCILIB_LOBS" (a CLOB larger than one read, a BLOB, an NCLOB),
// "SELECT * FROM OCILIB_TYPES" (timestamps, intervals, binary floating point numbers, a UROWID, a BFILE, a
// REF CURSOR, an object, a collection and a REF) and the rows of the REF CURSOR. A statement handle of the
// host is taken over by the prepare of such a text; its describe, defines and fetches are served here the way
// the documentation describes them, and a define that does not fit its column fails as a real library fails
// (ORA-00932), so a wrong external type, descriptor or value size in the program shows as an error.

namespace {

struct TColumn {
    const char* name;
    ub2 type;
    ub2 size;
    sb2 precision;
    sb1 scale;
    ub1 form;             // character-set form of character columns
    const char* typeName; // named types and REFs
};

struct TValue {
    bool null = true;
    std::string bytes; // characters, LOB contents, UROWID text
    double num = 0;
    sb2 year = 0;
    ub1 month = 0, day = 0, hour = 0, minute = 0, second = 0;
    ub4 fsec = 0;
    sb1 tzh = 0, tzm = 0;
    sb4 years = 0, months = 0, days = 0, hours = 0, minutes = 0, seconds = 0, fraction = 0;
    std::string dir, file; // BFILE
};

struct TTable {
    std::vector<TColumn> cols;
    std::vector<std::vector<TValue>> rows;
};

TValue Null() {
    return TValue();
}
TValue Bytes(std::string b) {
    TValue v;
    v.null = false;
    v.bytes = std::move(b);
    return v;
}
TValue Num(double d) {
    TValue v;
    v.null = false;
    v.num = d;
    return v;
}
TValue Stamp(sb2 y, ub1 mo, ub1 d, ub1 h, ub1 mi, ub1 s, ub4 fs, sb1 tzh = 0, sb1 tzm = 0) {
    TValue v;
    v.null = false;
    v.year = y;
    v.month = mo;
    v.day = d;
    v.hour = h;
    v.minute = mi;
    v.second = s;
    v.fsec = fs;
    v.tzh = tzh;
    v.tzm = tzm;
    return v;
}
TValue YearMonth(sb4 y, sb4 m) {
    TValue v;
    v.null = false;
    v.years = y;
    v.months = m;
    return v;
}
TValue DaySecond(sb4 d, sb4 h, sb4 mi, sb4 s, sb4 fs) {
    TValue v;
    v.null = false;
    v.days = d;
    v.hours = h;
    v.minutes = mi;
    v.seconds = s;
    v.fraction = fs;
    return v;
}
TValue File(const char* dir, const char* file) {
    TValue v;
    v.null = false;
    v.dir = dir;
    v.file = file;
    return v;
}
TValue Present() {
    TValue v;
    v.null = false;
    return v;
}

// The CLOB of OCILIB_LOBS: 100000 Windows-1252 characters (umlauts included), more than one read's worth.
std::string BigClob() {
    std::string s;
    for (int i = 0; s.size() < 100000; ++i) {
        char line[64];
        snprintf(line, sizeof line, "Zeile %05d: \xE4\xF6\xFC\xDF\r\n", i);
        s += line;
    }
    s.resize(100000);
    return s;
}
std::string BigBlob() {
    std::string s(150001, '\0');
    for (size_t i = 0; i < s.size(); ++i)
        s[i] = char((i * 7 + i / 256) & 0xFF);
    return s;
}

const TTable* FindTable(const std::string& name) {
    static const std::map<std::string, TTable> tables = [] {
        std::map<std::string, TTable> t;
        t["OCILIB_LOBS"] = {{{"ID", SQLT_NUM, 22, 9, 0, 0, ""},
                             {"DOC", SQLT_CLOB, 4000, 0, 0, SQLCS_IMPLICIT, ""},
                             {"PIC", SQLT_BLOB, 4000, 0, 0, 0, ""},
                             {"NDOC", SQLT_CLOB, 4000, 0, 0, SQLCS_NCHAR, ""}},
                            {{Num(1), Bytes(BigClob()), Bytes(BigBlob()),
                              Bytes("Gr\xFC\xDF"
                                    "e aus K\xF6ln")},
                             {Num(2), Bytes("kurz"), Null(), Null()}}};
        t["OCILIB_TYPES"] = {
            {{"TS", SQLT_TIMESTAMP, 11, 0, 6, 0, ""},
             {"TSTZ", SQLT_TIMESTAMP_TZ, 13, 0, 3, 0, ""},
             {"TSLTZ", SQLT_TIMESTAMP_LTZ, 11, 0, 0, 0, ""},
             {"IYM", SQLT_INTERVAL_YM, 5, 2, 0, 0, ""},
             {"IDS", SQLT_INTERVAL_DS, 11, 2, 6, 0, ""},
             {"BF", SQLT_IBFLOAT, 4, 0, 0, 0, ""},
             {"BD", SQLT_IBDOUBLE, 8, 0, 0, 0, ""},
             {"UR", SQLT_UROWID, 3950, 0, 0, 0, ""},
             {"BFIL", SQLT_BFILEE, 530, 0, 0, 0, ""},
             {"RC", SQLT_RSET, 8, 0, 0, 0, ""},
             {"ADDR", SQLT_NTY, 2000, 0, 0, 0, "ADDRESS_T"},
             {"PHONES", SQLT_NTY, 2000, 0, 0, 0, "PHONES_T"},
             {"BOSS", SQLT_REF, 46, 0, 0, 0, "PERSON_T"}},
            {{Stamp(2024, 2, 29, 13, 45, 30, 123456000), Stamp(2024, 2, 29, 13, 45, 30, 500000000, 1, 0),
              Stamp(1999, 12, 31, 23, 59, 59, 0), YearMonth(2, 3), DaySecond(4, 5, 6, 7, 890000000), Num(1.5),
              Num(2.718281828459045), Bytes("*BAMAAJICwQL+"), File("DATA_DIR", "bild.png"), Present(),
              Present(), Present(), Present()},
             {Null(), Null(), Null(), Null(), Null(), Null(), Null(), Null(), Null(), Present(), Null(),
              Null(), Null()}}};
        t["OCILIB_NESTED"] = {{{"N", SQLT_NUM, 22, 9, 0, 0, ""}}, {{Num(1)}, {Num(2)}, {Num(3)}}};
        return t;
    }();
    auto it = tables.find(name);
    return it == tables.end() ? nullptr : &it->second;
}

// ---- Descriptors of this library ----

struct TDateTimeDesc : TObj {
    ub4 dtype = 0;
    TValue v;
};
struct TIntervalDesc : TObj {
    ub4 dtype = 0;
    TValue v;
};

// Locators and file locators the host allocated, and what this library put into them.
struct TLobValue {
    bool clob = false;
    ub1 form = SQLCS_IMPLICIT;
    std::string data;
    std::string dir, file; // BFILE
    // A read in polling mode: the bytes still owed to the caller.
    size_t pollAt = 0, pollLeft = 0;
};
std::map<const void*, ub4> g_locTypes; // locator -> OCI_DTYPE_LOB or OCI_DTYPE_FILE
std::map<const void*, TLobValue> g_lobs;

// ---- Statements served here ----

struct TColParam : TObj {
    const TColumn* col = nullptr;
};

struct TLocalDefine : TObj {
    ub4 pos = 0;
    dvoid* valuep = nullptr;
    sb4 size = 0;
    ub2 dty = 0;
    dvoid* indp = nullptr;
    ub2* rlenp = nullptr;
    ub4 pvskip = 0, indskip = 0, rlskip = 0;
    const OCIType* objType = nullptr;
    dvoid** pgvpp = nullptr;
    dvoid** indpp = nullptr;
};

struct TLocalStmt {
    const TTable* table = nullptr;
    size_t next = 0;
    ub4 rowCount = 0;
    bool executed = false;
    std::vector<TColParam*> params;
    std::vector<TLocalDefine*> defines;
    ~TLocalStmt() {
        for (TColParam* p : params)
            Drop(p);
        for (TLocalDefine* d : defines)
            Drop(d);
    }
};
std::map<const void*, std::unique_ptr<TLocalStmt>> g_local;

TLocalStmt* Local(const void* stmt) {
    TGuard g(g_lock);
    auto it = g_local.find(stmt);
    return it == g_local.end() ? nullptr : it->second.get();
}

// "SELECT * FROM OCILIB_x" (any case, blanks around) names a table of this library.
const TTable* LocalTableOf(const OraText* text, ub4 len) {
    std::string s(reinterpret_cast<const char*>(text), len);
    while (!s.empty() && (s.back() == '\0' || isspace(static_cast<unsigned char>(s.back()))))
        s.pop_back();
    std::string up;
    for (char c : s)
        up += char(toupper(static_cast<unsigned char>(c)));
    size_t b = up.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return nullptr;
    up = up.substr(b);
    const std::string head = "SELECT * FROM ";
    if (up.rfind(head, 0) != 0) return nullptr;
    return FindTable(up.substr(head.size()));
}

std::string IntervalText(const TValue& v, bool yearMonth) {
    char b[64];
    if (yearMonth)
        snprintf(b, sizeof b, "+%02d-%02d", v.years, v.months);
    else
        snprintf(b, sizeof b, "+%02d %02d:%02d:%02d.%06d", v.days, v.hours, v.minutes, v.seconds,
                 v.fraction / 1000);
    return b;
}

sword Inconsistent(OCIError* err, const TColumn& c, ub2 dty) {
    return Fail(err, 932,
                "inconsistent datatypes: column " + std::string(c.name) + " of type " +
                    std::to_string(c.type) + " cannot be defined as " + std::to_string(dty));
}

// Writes text into a character define (SQLT_STR: with a terminating zero, cut to the buffer).
void PutDefineText(const TLocalDefine& d, uint8_t* value, const std::string& text, ub2* rlen) {
    size_t room = d.size > 0 ? size_t(d.size) - (d.dty == SQLT_STR ? 1 : 0) : 0;
    size_t n = std::min(room, text.size());
    memcpy(value, text.data(), n);
    if (d.dty == SQLT_STR && d.size > 0) value[n] = 0;
    if (rlen) *rlen = ub2(n);
}

void FillNumberText(const TLocalDefine& d, uint8_t* value, double num, ub2* rlen) {
    char b[40];
    snprintf(b, sizeof b, "%.15g", num);
    PutDefineText(d, value, b, rlen);
}

// ---- Fetching the rows of a statement served here ----

template <class T> void PutAt(void* p, T v) {
    memcpy(p, &v, sizeof v);
}

// The object values of OCILIB_TYPES' first row: an address, two telephone numbers, a REF to KING.
void* ObjectValue(const TColumn& c, bool isNull) {
    TType* t = FindType("", c.typeName);
    if (c.type == SQLT_REF) {
        TRef* r = Make<TRef>();
        if (!isNull) r->target = g_persistent.at("KING");
        return static_cast<TObj*>(r);
    }
    if (t->typeCode == OCI_TYPECODE_NAMEDCOLLECTION) {
        TColl* coll = Make<TColl>();
        coll->type = t;
        ++g_created;
        coll->ind = isNull ? OCI_IND_NULL : OCI_IND_NOTNULL;
        if (!isNull)
            for (const char* phone : {"0228 1", "0228 2"}) {
                auto e = std::make_unique<TElem>();
                e->slot.assign(P, 0);
                TString* str = Make<TString>();
                str->text.assign(phone, phone + strlen(phone) + 1);
                memcpy(e->slot.data(), &str, P);
                e->ind = OCI_IND_NOTNULL;
                coll->elems.push_back(std::move(e));
            }
        return static_cast<TObj*>(coll);
    }
    TInstance* in = NewInstance(t, false);
    if (isNull) {
        in->ind[0] = OCI_IND_NULL;
    } else {
        SetString(in, "STREET", "Hauptstr. 1");
        SetNumberAttr(in, "ZIP", 53113);
        SetString(in, "CITY", "BONN");
    }
    return in->data.data();
}

void* NullStructOf(void* value) {
    if (TColl* c = Own<TColl>(value)) return &c->ind;
    if (TInstance* in = Instance(value)) return in->ind.data();
    return nullptr;
}

// One value of row i into define d, as the documentation describes the external type; ORA-00932 for a define
// that does not fit the column.
sword FillCell(TLocalStmt& st, const TLocalDefine& d, const TColumn& c, const TValue& v, ub4 i,
               OCIError* err) {
    const size_t skip = d.pvskip ? d.pvskip : size_t(d.size);
    uint8_t* value = d.valuep ? static_cast<uint8_t*>(d.valuep) + i * skip : nullptr;
    uint8_t* ind =
        d.indp ? static_cast<uint8_t*>(d.indp) + i * (d.indskip ? d.indskip : sizeof(sb2)) : nullptr;
    ub2 rlenValue = 0;
    ub2* rlen = &rlenValue;
    auto done = [&](bool isNull) {
        if (ind) PutAt<sb2>(ind, isNull ? OCI_IND_NULL : OCI_IND_NOTNULL);
        if (d.rlenp)
            PutAt<ub2>(reinterpret_cast<uint8_t*>(d.rlenp) + i * (d.rlskip ? d.rlskip : sizeof(ub2)), *rlen);
        return OCI_SUCCESS;
    };
    // Named types and REFs come through OCIDefineObject, whatever their value.
    if (c.type == SQLT_NTY || c.type == SQLT_REF) {
        if (d.dty != c.type) return Inconsistent(err, c, d.dty);
        if (!d.pgvpp) return Fail(err, 22063, "column " + std::string(c.name) + " needs OCIDefineObject");
        TType* want = FindType("", c.typeName);
        if (c.type == SQLT_NTY && Own<TType>(d.objType) != want)
            return Fail(err, 22063, "column " + std::string(c.name) + " is defined with another type");
        uint8_t* slot = reinterpret_cast<uint8_t*>(d.pgvpp) + i * (d.pvskip ? d.pvskip : P);
        void* old = nullptr;
        memcpy(&old, slot, P);
        if (old)
            return Fail(err, 22063, "the instance slot of column " + std::string(c.name) + " is not empty");
        void* obj = ObjectValue(c, v.null);
        memcpy(slot, &obj, P);
        if (d.indpp) {
            void* ns = NullStructOf(obj);
            memcpy(reinterpret_cast<uint8_t*>(d.indpp) + i * (d.indskip ? d.indskip : P), &ns, P);
        }
        return done(false); // an object's nulls are in its null structure
    }
    if (c.type == SQLT_RSET) {
        if (d.dty != SQLT_RSET || !value || d.size != sb4(P)) return Inconsistent(err, c, d.dty);
        void* stmt = nullptr;
        memcpy(&stmt, value, P);
        if (!stmt) return Fail(err, 24338, "statement handle not executed");
        auto nested = std::make_unique<TLocalStmt>();
        nested->table = FindTable("OCILIB_NESTED");
        nested->executed = true;
        TGuard g(g_lock);
        g_local[stmt] = std::move(nested);
        return done(false);
    }
    if (v.null) return done(true);
    if (!value) return Inconsistent(err, c, d.dty);
    switch (c.type) {
    case SQLT_NUM:
    case SQLT_IBFLOAT:
    case SQLT_IBDOUBLE:
        if ((d.dty == SQLT_FLT && d.size == 8) || (d.dty == SQLT_BDOUBLE && d.size == 8) ||
            (d.dty == SQLT_IBDOUBLE && d.size == 8))
            PutAt<double>(value, v.num);
        else if ((d.dty == SQLT_FLT || d.dty == SQLT_BFLOAT || d.dty == SQLT_IBFLOAT) && d.size == 4)
            PutAt<float>(value, float(v.num));
        else if (d.dty == SQLT_INT && d.size == 4 && c.type == SQLT_NUM)
            PutAt<int32_t>(value, int32_t(v.num));
        else if (d.dty == SQLT_STR || d.dty == SQLT_CHR)
            FillNumberText(d, value, v.num, rlen);
        else
            return Inconsistent(err, c, d.dty);
        return done(false);
    case SQLT_UROWID:
        if (d.dty != SQLT_STR && d.dty != SQLT_CHR) return Inconsistent(err, c, d.dty);
        if (d.size < sb4(v.bytes.size() + (d.dty == SQLT_STR ? 1 : 0)))
            return Fail(err, 1406, "fetched column value was truncated");
        PutDefineText(d, value, v.bytes, rlen);
        return done(false);
    case SQLT_TIMESTAMP:
    case SQLT_TIMESTAMP_TZ:
    case SQLT_TIMESTAMP_LTZ: {
        if (d.dty == SQLT_STR || d.dty == SQLT_CHR) {
            // The text of the session's format (here always the German default 'DD.MM.RR HH24:MI:SSXFF').
            char b[64];
            snprintf(b, sizeof b, "%02u.%02u.%02d %02u:%02u:%02u,%06u", unsigned(v.day), unsigned(v.month),
                     int(v.year % 100), unsigned(v.hour), unsigned(v.minute), unsigned(v.second),
                     unsigned(v.fsec / 1000));
            PutDefineText(d, value, b, rlen);
            return done(false);
        }
        if (d.dty != SQLT_TIMESTAMP && d.dty != SQLT_TIMESTAMP_TZ && d.dty != SQLT_TIMESTAMP_LTZ)
            return Inconsistent(err, c, d.dty);
        const ub4 want = d.dty == SQLT_TIMESTAMP      ? OCI_DTYPE_TIMESTAMP
                         : d.dty == SQLT_TIMESTAMP_TZ ? OCI_DTYPE_TIMESTAMP_TZ
                                                      : OCI_DTYPE_TIMESTAMP_LTZ;
        void* desc = nullptr;
        memcpy(&desc, value, P);
        TDateTimeDesc* dt = Own<TDateTimeDesc>(desc);
        if (d.size != sb4(P) || !dt || dt->dtype != want)
            return Fail(err, 932,
                        "column " + std::string(c.name) + ": the define needs a descriptor of type " +
                            std::to_string(want));
        dt->v = v;
        return done(false);
    }
    case SQLT_INTERVAL_YM:
    case SQLT_INTERVAL_DS: {
        if (d.dty == SQLT_STR || d.dty == SQLT_CHR) {
            PutDefineText(d, value, IntervalText(v, c.type == SQLT_INTERVAL_YM), rlen);
            return done(false);
        }
        if (d.dty != c.type) return Inconsistent(err, c, d.dty);
        const ub4 want = c.type == SQLT_INTERVAL_YM ? OCI_DTYPE_INTERVAL_YM : OCI_DTYPE_INTERVAL_DS;
        void* desc = nullptr;
        memcpy(&desc, value, P);
        TIntervalDesc* iv = Own<TIntervalDesc>(desc);
        if (d.size != sb4(P) || !iv || iv->dtype != want)
            return Fail(err, 932,
                        "column " + std::string(c.name) + ": the define needs a descriptor of type " +
                            std::to_string(want));
        iv->v = v;
        return done(false);
    }
    case SQLT_CLOB:
    case SQLT_BLOB:
    case SQLT_BFILEE: {
        const ub4 want = c.type == SQLT_BFILEE ? OCI_DTYPE_FILE : OCI_DTYPE_LOB;
        void* loc = nullptr;
        memcpy(&loc, value, P);
        TGuard g(g_lock);
        auto kind = g_locTypes.find(loc);
        if (d.dty != c.type || d.size != sb4(P) || kind == g_locTypes.end() || kind->second != want)
            return Fail(err, 932,
                        "column " + std::string(c.name) + ": the define needs a locator of type " +
                            std::to_string(want));
        TLobValue& lob = g_lobs[loc];
        lob = TLobValue();
        lob.clob = c.type == SQLT_CLOB;
        lob.form = c.form ? c.form : SQLCS_IMPLICIT;
        lob.data = v.bytes;
        lob.dir = v.dir;
        lob.file = v.file;
        return done(false);
    }
    }
    return Inconsistent(err, c, d.dty);
}

sword FetchLocal(TLocalStmt& st, OCIError* err, ub4 nrows) {
    if (!st.executed) return Fail(err, 1002, "fetch out of sequence");
    ub4 got = 0;
    const auto& cols = st.table->cols;
    for (; got < nrows && st.next < st.table->rows.size(); ++got, ++st.next) {
        const auto& row = st.table->rows[st.next];
        for (TLocalDefine* d : st.defines) {
            if (d->pos < 1 || d->pos > cols.size()) return Fail(err, 1007, "variable not in select list");
            sword r = FillCell(st, *d, cols[d->pos - 1], row[d->pos - 1], got, err);
            if (r != OCI_SUCCESS) return r;
        }
    }
    st.rowCount += got;
    return got < nrows ? OCI_NO_DATA : OCI_SUCCESS;
}

sword LocalStmtAttr(TLocalStmt& st, void* target, ub4* sizep, ub4 attr) {
    switch (attr) {
    case OCI_ATTR_STMT_TYPE:
        Put<ub2>(target, sizep, OCI_STMT_SELECT);
        return OCI_SUCCESS;
    case OCI_ATTR_PARAM_COUNT:
        Put<ub4>(target, sizep, ub4(st.table->cols.size()));
        return OCI_SUCCESS;
    case OCI_ATTR_ROW_COUNT:
        Put<ub4>(target, sizep, st.rowCount);
        return OCI_SUCCESS;
    case OCI_ATTR_SQLFNCODE:
        Put<ub2>(target, sizep, 3);
        return OCI_SUCCESS;
    case OCI_ATTR_PARSE_ERROR_OFFSET:
        Put<ub2>(target, sizep, 0);
        return OCI_SUCCESS;
    }
    return OCI_ERROR;
}

// Hands out the address of a text that lives as long as the library.
void PutCText(void* target, ub4* sizep, const char* text) {
    memcpy(target, &text, sizeof text);
    if (sizep) *sizep = ub4(strlen(text));
}

// Column attributes of an implicit describe (precision is an sb2 there, scale an sb1).
sword ColumnAttr(const TColumn& c, void* target, ub4* sizep, ub4 attr) {
    switch (attr) {
    case OCI_ATTR_NAME:
        PutCText(target, sizep, c.name);
        return OCI_SUCCESS;
    case OCI_ATTR_DATA_TYPE:
        Put<ub2>(target, sizep, c.type);
        return OCI_SUCCESS;
    case OCI_ATTR_DATA_SIZE:
        Put<ub2>(target, sizep, c.size);
        return OCI_SUCCESS;
    case OCI_ATTR_PRECISION:
        Put<sb2>(target, sizep, c.precision);
        return OCI_SUCCESS;
    case OCI_ATTR_SCALE:
        Put<sb1>(target, sizep, c.scale);
        return OCI_SUCCESS;
    case OCI_ATTR_IS_NULL:
        Put<ub1>(target, sizep, 1);
        return OCI_SUCCESS;
    case OCI_ATTR_CHARSET_FORM:
        Put<ub1>(target, sizep, c.form);
        return OCI_SUCCESS;
    case OCI_ATTR_TYPE_NAME:
        PutCText(target, sizep, c.typeName);
        return OCI_SUCCESS;
    case OCI_ATTR_SCHEMA_NAME:
        PutCText(target, sizep, *c.typeName ? "SCOTT" : "");
        return OCI_SUCCESS;
    }
    return OCI_ERROR;
}

// A LOB read as the documentation describes it: *amtp asks for characters (CLOB) or bytes (BLOB) from offset
// (in the same unit); 0 asks for everything to the end. What does not fit the buffer is owed: the call
// answers OCI_NEED_DATA, and each further call hands out the next buffer's worth until the last piece
// answers OCI_SUCCESS. The character-set form must be the LOB's (SQLCS_IMPLICIT or SQLCS_NCHAR).
sword ReadLocalLob(TLobValue& lob, OCIError* err, ub4* amtp, ub4 offset, dvoid* bufp, ub4 bufl, ub1 csfrm) {
    if (!amtp || !bufp) return OCI_INVALID_HANDLE;
    if (lob.clob && csfrm != lob.form) return Fail(err, 24806, "LOB form mismatch");
    if (lob.pollLeft == 0) {
        if (offset < 1) return Fail(err, 24801, "illegal parameter value in OCI lob function");
        size_t from = offset - 1;
        size_t avail = from < lob.data.size() ? lob.data.size() - from : 0;
        size_t want = *amtp == 0 ? avail : std::min<size_t>(*amtp, avail);
        lob.pollAt = from;
        lob.pollLeft = want;
        if (want == 0) {
            *amtp = 0;
            return OCI_SUCCESS;
        }
    }
    size_t n = std::min<size_t>(bufl, lob.pollLeft);
    memcpy(bufp, lob.data.data() + lob.pollAt, n);
    lob.pollAt += n;
    lob.pollLeft -= n;
    *amtp = ub4(n);
    return lob.pollLeft > 0 ? OCI_NEED_DATA : OCI_SUCCESS;
}

TLobValue* LocalLob(const void* loc) {
    TGuard g(g_lock);
    auto it = g_lobs.find(loc);
    return it == g_lobs.end() ? nullptr : &it->second;
}

} // namespace
