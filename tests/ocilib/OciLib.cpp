// A stand-in for the Oracle client library, for the client-library mode tests: a shared object that exports
// call-interface routines under their real names, so that the binder loads it through OCIDLL like a real
// libclntsh.so.
//
// The library is built against its own header (OciDocs.h, written from Oracle's public documentation), not
// against the program's entry-point table, and it behaves as the documentation says a current (19c) client
// does: it reports release 19.3 of client and server, answers OCI_NEED_DATA when a LOB read asks for more
// than the buffer holds, and serves the column types of current servers.
//
// Session, statement and fetch routines hand the call to the network emulation of the program that loaded
// the library: the program exports vestra_ocilib_host_routine, which names the emulated routine of an entry
// point. Environment and error handles, server versions, the object routines and a few result sets (the
// OCILIB_ tables of OciLibTables.h) are this library's own; the object routines serve a small in-memory
// catalogue of types and persistent instances.
//
// A few o-prefixed version-7 routines are exported as well (they only count their calls). Routines not
// exported here stay "not linked" in the table. Built with OCILIB_V90 it is a 9.0 client (no OCIEnvNlsCreate,
// no OCIClientVersion). Built with OCILIB_V80 it is a version-8.0 client instead: only the deprecated
// initialisers, no OCIEnvCreate, no OCIClientVersion, no version-9 routines.
#include "tests/ocilib/OciDocs.h"

#include <cstring>
#include <dlfcn.h>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#define OCILIB_EXPORT extern "C" __attribute__((visibility("default")))

using namespace ocidoc;

namespace {

std::recursive_mutex g_lock;
using TGuard = std::lock_guard<std::recursive_mutex>;

// ---- The host's emulation ----

// The host's routine of an entry point, by name (nil when the host has none).
void* HostRoutine(const char* name) {
    static std::mutex lock;
    static std::map<std::string, void*> found;
    std::lock_guard<std::mutex> g(lock);
    auto it = found.find(name);
    if (it != found.end()) return it->second;
    auto lookup = reinterpret_cast<void* (*)(const char*)>(dlsym(RTLD_DEFAULT, "vestra_ocilib_host_routine"));
    void* r = lookup ? lookup(name) : nullptr;
    found[name] = r;
    return r;
}

bool FindHost() {
    return HostRoutine("OCIHandleAlloc") && HostRoutine("OCIErrorGet");
}

// The host's routine, called with this library's (documented) signature.
#define HOST(name) (reinterpret_cast<decltype(&ocidoc::name)>(HostRoutine(#name)))

// ---- Errors written by this library ----

std::map<const void*, std::pair<int, std::string>> g_errors;

sword Fail(OCIError* err, int code, const std::string& text) {
    TGuard g(g_lock);
    char head[16];
    snprintf(head, sizeof head, "ORA-%05d: ", code);
    g_errors[err] = {code, head + text};
    return OCI_ERROR;
}

void ForgetError(const void* err) {
    TGuard g(g_lock);
    g_errors.erase(err);
}

// ---- Objects of this library ----

constexpr uint32_t Magic = 0x4F43494C;

struct TObj {
    uint32_t magic = Magic;
    virtual ~TObj() { magic = 0; }
};

std::set<const void*> g_own; // every live TObj

template <class T> T* Own(const void* p) {
    TGuard g(g_lock);
    if (!p || !g_own.count(p)) return nullptr;
    return dynamic_cast<T*>(static_cast<TObj*>(const_cast<void*>(p)));
}

template <class T, class... A> T* Make(A&&... a) {
    auto* o = new T(std::forward<A>(a)...);
    TGuard g(g_lock);
    g_own.insert(static_cast<TObj*>(o));
    return o;
}

void Drop(TObj* o) {
    if (!o) return;
    {
        TGuard g(g_lock);
        g_own.erase(o);
    }
    delete o;
}

struct TEnv : TObj {};
TEnv* g_env = nullptr;
int g_envCount = 0;

struct TString : TObj {
    std::vector<char> text = std::vector<char>(1, '\0'); // characters and a terminating zero
};

// ---- The catalogue of types ----

constexpr size_t P = sizeof(void*);

size_t RoundUp(size_t n, size_t to) {
    return (n + to - 1) / to * to;
}

struct TType;

struct TAttr {
    std::string name;  // empty for a collection's element
    ub2 dataType = 0;  // 1, 96, 2, 12, 23, 108, 110, 112, 113, 187
    ub2 size = 0;      // VARCHAR2/CHAR/RAW length
    ub1 precision = 0; // NUMBER
    sb1 scale = 0;
    std::string typeName; // 108 and 110: the named type
    // Layout of this library's native instances (the C structure a generated header would declare).
    size_t offset = 0, indOffset = 0;
};

struct TParam;

struct TType : TObj {
    std::string schema, name;
    ub2 typeCode = OCI_TYPECODE_OBJECT; // 108 object, 122 named collection
    ub2 collCode = 0;                   // 247 VARRAY, 248 nested table
    ub4 maxElems = 0;
    bool final = true;
    std::vector<TAttr> attrs; // collections: the one element
    size_t nativeSize = 0, indSize = 0;
    bool laidOut = false;
    TParam* param = nullptr;
    TParam* list = nullptr;
    std::vector<TParam*> attrParams;
};

std::vector<TType*> g_types;

TType* FindType(const std::string& schema, const std::string& name) {
    for (TType* t : g_types)
        if (t->name == name && (schema.empty() || t->schema == schema)) return t;
    return nullptr;
}

void LayOut(TType* t);

// Native slot size and alignment, indicator size of one attribute.
void SlotOf(const TAttr& a, size_t& size, size_t& align, size_t& ind) {
    ind = 2;
    align = 1;
    switch (a.dataType) {
    case 2:
        size = 22;
        break;
    case 12:
        size = 8;
        break;
    case 108: {
        TType* sub = FindType("", a.typeName);
        LayOut(sub);
        align = P;
        if (sub->typeCode == OCI_TYPECODE_OBJECT && sub->final) {
            size = RoundUp(sub->nativeSize, P);
            ind = sub->indSize;
        } else {
            size = P;
        }
        break;
    }
    default: // strings, raw, REF, LOBs, timestamps: one pointer
        size = P;
        align = P;
        break;
    }
}

void LayOut(TType* t) {
    if (t->laidOut) return;
    t->laidOut = true;
    size_t off = 0, ind = 2;
    for (TAttr& a : t->attrs) {
        size_t size, align, isz;
        SlotOf(a, size, align, isz);
        off = RoundUp(off, align);
        a.offset = off;
        a.indOffset = ind;
        off += size;
        ind += isz;
    }
    t->nativeSize = off;
    t->indSize = ind;
}

// ---- Describe parameters ----

struct TParam : TObj {
    enum { ptType, ptList, ptAttr } kind = ptType;
    TType* type = nullptr;
    const TAttr* attr = nullptr;
};

struct TDescribe : TObj {
    TType* type = nullptr;
};

TType* AddType(const char* name, std::vector<TAttr> attrs, bool final = true) {
    TType* t = Make<TType>();
    t->schema = "SCOTT";
    t->name = name;
    t->attrs = std::move(attrs);
    t->final = final;
    g_types.push_back(t);
    return t;
}

TType* AddCollection(const char* name, ub2 collCode, ub4 maxElems, TAttr element) {
    TType* t = AddType(name, {element});
    t->typeCode = OCI_TYPECODE_NAMEDCOLLECTION;
    t->collCode = collCode;
    t->maxElems = maxElems;
    return t;
}

TAttr Attr(const char* name, ub2 type, ub2 size = 0, ub1 precision = 0, sb1 scale = 0, const char* tn = "") {
    TAttr a;
    a.name = name;
    a.dataType = type;
    a.size = size;
    a.precision = precision;
    a.scale = scale;
    a.typeName = tn;
    return a;
}

// ---- Instances ----

struct TColl;
struct TRef;

struct TInstance {
    TType* type = nullptr;
    std::vector<uint8_t> data; // the native instance
    std::vector<sb2> ind;      // its indicator structure
    bool persistent = false;
    bool deleted = false;
    int flushes = 0;
    std::string key; // persistent objects: their name in the catalogue
};

std::map<const void*, TInstance*> g_instances; // native address -> instance
int g_created = 0, g_freed = 0, g_pins = 0, g_unpins = 0;

struct TElem {
    std::vector<uint8_t> slot;
    sb2 ind = OCI_IND_NULL;
    bool exists = true;
};

struct TColl : TObj {
    TType* type = nullptr; // the collection type
    sb2 ind = OCI_IND_NOTNULL;
    std::vector<std::unique_ptr<TElem>> elems;
    ~TColl() override;
};

struct TRef : TObj {
    TInstance* target = nullptr;
};

void FreeSlots(TType* t, uint8_t* data);

void FreeSlot(const TAttr& a, uint8_t* slot) {
    void* p = nullptr;
    if (a.dataType == 108) {
        TType* sub = FindType("", a.typeName);
        if (sub->typeCode == OCI_TYPECODE_OBJECT && sub->final) {
            FreeSlots(sub, slot);
            return;
        }
    }
    if (a.dataType == 2 || a.dataType == 12) return;
    memcpy(&p, slot, P);
    if (!p) return;
    TGuard g(g_lock);
    auto it = g_instances.find(p);
    if (it != g_instances.end()) { // a non-final object stored by reference
        TInstance* in = it->second;
        FreeSlots(in->type, in->data.data());
        g_instances.erase(it);
        delete in;
        return;
    }
    if (g_own.count(p)) Drop(static_cast<TObj*>(p));
}

void FreeSlots(TType* t, uint8_t* data) {
    for (const TAttr& a : t->attrs)
        FreeSlot(a, data + a.offset);
}

TColl::~TColl() {
    for (auto& e : elems)
        FreeSlot(type->attrs[0], e->slot.data());
}

TInstance* NewInstance(TType* t, bool persistent);

// Fills a fresh slot: strings, collections and REFs get their (empty) holders, embedded objects their own
// slots, objects stored by reference a new instance.
void InitSlots(TType* t, uint8_t* data, sb2* ind);

void InitSlot(const TAttr& a, uint8_t* slot, sb2* ind) {
    void* p = nullptr;
    switch (a.dataType) {
    case 1:
    case 96:
    case 23:
        p = static_cast<TObj*>(Make<TString>());
        break;
    case 110:
        p = static_cast<TObj*>(Make<TRef>());
        break;
    case 108: {
        TType* sub = FindType("", a.typeName);
        if (sub->typeCode == OCI_TYPECODE_NAMEDCOLLECTION) {
            TColl* c = Make<TColl>();
            c->type = sub;
            p = static_cast<TObj*>(c);
        } else if (sub->final) {
            InitSlots(sub, slot, ind);
            *ind = OCI_IND_NULL; // a new instance's attributes are all null
            return;
        } else {
            TInstance* in = NewInstance(sub, false);
            --g_created; // part of its parent
            p = in->data.data();
        }
        break;
    }
    default:
        return;
    }
    memcpy(slot, &p, P);
}

void InitSlots(TType* t, uint8_t* data, sb2* ind) {
    ind[0] = OCI_IND_NOTNULL;
    for (const TAttr& a : t->attrs) {
        sb2* aind = ind + a.indOffset / 2;
        *aind = OCI_IND_NULL;
        InitSlot(a, data + a.offset, aind);
    }
}

TInstance* NewInstance(TType* t, bool persistent) {
    LayOut(t);
    auto* in = new TInstance;
    in->type = t;
    in->persistent = persistent;
    in->data.assign(std::max<size_t>(t->nativeSize, 1), 0);
    in->ind.assign(t->indSize / 2, OCI_IND_NULL);
    InitSlots(t, in->data.data(), in->ind.data());
    TGuard g(g_lock);
    g_instances[in->data.data()] = in;
    ++g_created;
    return in;
}

TInstance* Instance(const void* p) {
    TGuard g(g_lock);
    auto it = g_instances.find(p);
    return it == g_instances.end() ? nullptr : it->second;
}

void SetNumber(uint8_t* num, double v) {
    num[0] = 8;
    memcpy(num + 1, &v, 8);
}

double GetNumber(const uint8_t* num) {
    double v;
    memcpy(&v, num + 1, 8);
    return v;
}

void SetString(TInstance* in, const char* attr, const std::string& text) {
    for (const TAttr& a : in->type->attrs)
        if (a.name == attr) {
            TString* s;
            memcpy(&s, in->data.data() + a.offset, P);
            s->text.assign(text.begin(), text.end());
            s->text.push_back('\0');
            in->ind[a.indOffset / 2] = OCI_IND_NOTNULL;
        }
}

void SetNumberAttr(TInstance* in, const char* attr, double v) {
    for (const TAttr& a : in->type->attrs)
        if (a.name == attr) {
            SetNumber(in->data.data() + a.offset, v);
            in->ind[a.indOffset / 2] = OCI_IND_NOTNULL;
        }
}

// ---- The catalogue ----

std::map<std::string, TInstance*> g_persistent;

void BuildCatalogue() {
    if (!g_types.empty()) return;
    AddType("ADDRESS_T", {Attr("STREET", 1, 30), Attr("ZIP", 2, 22, 5, 0), Attr("CITY", 96, 10)});
    AddCollection("PHONES_T", OCI_TYPECODE_VARRAY, 3, Attr("", 1, 15));
    AddCollection("SCORES_T", OCI_TYPECODE_TABLE, 0, Attr("", 2, 22, 7, 2));
    AddType("SHAPE_T", {Attr("KIND", 1, 10)}, false);
    AddType("PERSON_T",
            {Attr("NAME", 1, 20), Attr("AGE", 2, 22, 3, 0), Attr("SALARY", 2, 22, 8, 2), Attr("BORN", 12, 7),
             Attr("BADGE", 23, 4), Attr("HOME", 108, 0, 0, 0, "ADDRESS_T"),
             Attr("PHONES", 108, 0, 0, 0, "PHONES_T"), Attr("SCORES", 108, 0, 0, 0, "SCORES_T"),
             Attr("BOSS", 110, 0, 0, 0, "PERSON_T"), Attr("CV", 112), Attr("SEEN", 187)},
            false);
    AddType("DRAWING_T", {Attr("ID", 2, 22, 9, 0), Attr("SHAPE", 108, 0, 0, 0, "SHAPE_T")});
    AddType("ODD_T", {Attr("F", 100)});
    for (TType* t : g_types)
        if (t->name != "ODD_T") LayOut(t);

    TInstance* king = NewInstance(FindType("", "PERSON_T"), true);
    king->key = "KING";
    SetString(king, "NAME", "KING");
    SetNumberAttr(king, "AGE", 61);
    TInstance* scott = NewInstance(FindType("", "PERSON_T"), true);
    scott->key = "SCOTT";
    SetString(scott, "NAME", "SCOTT");
    SetNumberAttr(scott, "SALARY", 3000);
    for (const TAttr& a : scott->type->attrs)
        if (a.name == "BOSS") {
            TRef* r;
            memcpy(&r, scott->data.data() + a.offset, P);
            r->target = king;
            scott->ind[a.indOffset / 2] = OCI_IND_NOTNULL;
        }
    g_persistent["KING"] = king;
    g_persistent["SCOTT"] = scott;
    g_created -= 2; // the catalogue's own
}

void DropInstance(TInstance* in) {
    FreeSlots(in->type, in->data.data());
    {
        TGuard g(g_lock);
        g_instances.erase(in->data.data());
    }
    delete in;
}

void DropCatalogue() {
    for (auto& [key, in] : g_persistent)
        DropInstance(in);
    g_persistent.clear();
    for (TType* t : g_types) {
        for (TParam* p : t->attrParams)
            Drop(p);
        Drop(t->param);
        Drop(t->list);
        Drop(t);
    }
    g_types.clear();
}

// Everything still alive when the library goes away (what a test leaked shows in its counters first).
struct TCleanup {
    ~TCleanup() {
        DropCatalogue();
        for (auto& [p, in] : std::map<const void*, TInstance*>(g_instances))
            DropInstance(in);
        for (const void* p : std::set<const void*>(g_own))
            Drop(static_cast<TObj*>(const_cast<void*>(p)));
    }
} g_cleanup;

TParam* TypeParam(TType* t) {
    if (!t->param) {
        t->param = Make<TParam>();
        t->param->type = t;
        t->list = Make<TParam>();
        t->list->kind = TParam::ptList;
        t->list->type = t;
        for (const TAttr& a : t->attrs) {
            TParam* p = Make<TParam>();
            p->kind = TParam::ptAttr;
            p->type = t;
            p->attr = &a;
            t->attrParams.push_back(p);
        }
    }
    return t->param;
}

// "SCOTT"."PERSON_T" or PERSON_T.
bool SplitName(const std::string& text, std::string& schema, std::string& name) {
    std::vector<std::string> parts;
    std::string cur;
    bool quoted = false;
    for (char c : text) {
        if (c == '"') {
            quoted = !quoted;
        } else if (c == '.' && !quoted) {
            parts.push_back(cur);
            cur.clear();
        } else {
            cur += quoted ? c : char(toupper(static_cast<unsigned char>(c)));
        }
    }
    parts.push_back(cur);
    if (parts.size() == 1) {
        name = parts[0];
        schema.clear();
    } else if (parts.size() == 2) {
        schema = parts[0];
        name = parts[1];
    } else {
        return false;
    }
    return !name.empty();
}

template <class T> void Put(void* target, ub4* sizep, T value) {
    memcpy(target, &value, sizeof value);
    if (sizep) *sizep = sizeof value;
}

const std::string& NoText() {
    static const std::string empty;
    return empty;
}

// Hands out the address of text, which must outlive the call.
void PutText(void* target, ub4* sizep, const std::string& text) {
    const char* p = text.c_str();
    memcpy(target, &p, sizeof p);
    if (sizep) *sizep = ub4(text.size());
}

sword ParamAttr(const TParam* p, void* target, ub4* sizep, ub4 attr) {
    if (p->kind == TParam::ptType) {
        const TType* t = p->type;
        switch (attr) {
        case OCI_ATTR_TYPECODE:
            Put<ub2>(target, sizep, t->typeCode);
            return 0;
        case OCI_ATTR_NAME:
            PutText(target, sizep, t->name);
            return 0;
        case OCI_ATTR_SCHEMA_NAME:
            PutText(target, sizep, t->schema);
            return 0;
        case OCI_ATTR_IS_FINAL_TYPE:
            Put<ub1>(target, sizep, t->final ? 1 : 0);
            return 0;
        case OCI_ATTR_NUM_TYPE_ATTRS:
            if (t->typeCode != OCI_TYPECODE_OBJECT) return OCI_INVALID_HANDLE;
            Put<ub2>(target, sizep, ub2(t->attrs.size()));
            return 0;
        case OCI_ATTR_LIST_TYPE_ATTRS:
            if (t->typeCode != OCI_TYPECODE_OBJECT) return OCI_INVALID_HANDLE;
            Put<void*>(target, sizep, static_cast<TObj*>(t->list));
            return 0;
        case OCI_ATTR_COLLECTION_TYPECODE:
            if (t->typeCode != OCI_TYPECODE_NAMEDCOLLECTION) return OCI_INVALID_HANDLE;
            Put<ub2>(target, sizep, t->collCode);
            return 0;
        case OCI_ATTR_COLLECTION_ELEMENT:
            if (t->typeCode != OCI_TYPECODE_NAMEDCOLLECTION) return OCI_INVALID_HANDLE;
            Put<void*>(target, sizep, static_cast<TObj*>(t->attrParams.at(0)));
            return 0;
        case OCI_ATTR_NUM_ELEMS:
            if (t->typeCode != OCI_TYPECODE_NAMEDCOLLECTION) return OCI_INVALID_HANDLE;
            Put<ub4>(target, sizep, t->maxElems);
            return 0;
        }
        return OCI_INVALID_HANDLE;
    }
    if (p->kind == TParam::ptAttr) {
        const TAttr& a = *p->attr;
        TType* named = a.typeName.empty() ? nullptr : FindType("", a.typeName);
        switch (attr) {
        case OCI_ATTR_NAME:
            PutText(target, sizep, a.name);
            return 0;
        case OCI_ATTR_DATA_TYPE:
            Put<ub2>(target, sizep, a.dataType);
            return 0;
        case OCI_ATTR_DATA_SIZE:
            Put<ub2>(target, sizep, a.size);
            return 0;
        case OCI_ATTR_PRECISION:
            Put<ub1>(target, sizep, a.precision);
            return 0;
        case OCI_ATTR_SCALE:
            Put<sb1>(target, sizep, a.scale);
            return 0;
        case OCI_ATTR_TYPECODE:
            Put<ub2>(target, sizep, named ? named->typeCode : a.dataType);
            return 0;
        case OCI_ATTR_TYPE_NAME:
            PutText(target, sizep, named ? named->name : NoText());
            return 0;
        case OCI_ATTR_SCHEMA_NAME:
            PutText(target, sizep, named ? named->schema : NoText());
            return 0;
        }
        return OCI_INVALID_HANDLE;
    }
    return OCI_INVALID_HANDLE;
}

int g_o7Calls = 0;
ub2 g_envCharset = 0, g_envNCharset = 0; // of the environment created last

} // namespace

#include "tests/ocilib/OciLibTables.h"

// ---- Hooks of the tests (not part of the call interface) ----

// A REF to a persistent object of the catalogue ("KING" or "SCOTT"); nil for an unknown name. The REF belongs
// to the library.
OCILIB_EXPORT OCIRef* ocilib_ref_to(const char* key) {
    TGuard g(g_lock);
    BuildCatalogue();
    auto it = g_persistent.find(key ? key : "");
    if (it == g_persistent.end()) return nullptr;
    static std::map<std::string, TRef*> refs;
    TRef*& r = refs[key];
    if (!r || !Own<TRef>(r)) r = Make<TRef>();
    r->target = it->second;
    return reinterpret_cast<OCIRef*>(static_cast<TObj*>(r));
}

// Counters: 0 instances created by OCIObjectNew and not yet freed, 1 pins, 2 unpins (frees of pinned
// objects), 3 flushes, 4 version-7 calls, 5 environments alive, 6 live holders (strings, REFs, collections)
// of the library, 7 and 8 the character set and national character set the environment was created with (0
// for those of NLS_LANG).
OCILIB_EXPORT int ocilib_counter(int which) {
    TGuard g(g_lock);
    switch (which) {
    case 0:
        return g_created - g_freed;
    case 1:
        return g_pins;
    case 2:
        return g_unpins;
    case 3: {
        int n = 0;
        for (auto& [k, in] : g_persistent)
            n += in->flushes;
        return n;
    }
    case 4:
        return g_o7Calls;
    case 5:
        return g_envCount;
    case 6:
        return int(g_own.size());
    case 7:
        return g_envCharset;
    case 8:
        return g_envNCharset;
    }
    return -1;
}

// Whether the persistent object key is marked for delete.
OCILIB_EXPORT int ocilib_deleted(const char* key) {
    TGuard g(g_lock);
    auto it = g_persistent.find(key ? key : "");
    return it != g_persistent.end() && it->second->deleted ? 1 : 0;
}

// ---- Environment, handles, attributes, errors ----

OCILIB_EXPORT sword OCIInitialize(ub4 mode, dvoid* ctxp, dvoid* (*malocfp)(dvoid*, size_t),
                                  dvoid* (*ralocfp)(dvoid*, dvoid*, size_t),
                                  void (*mfreefp)(dvoid*, dvoid*)) {
    return FindHost() ? OCI_SUCCESS : OCI_ERROR;
}

OCILIB_EXPORT sword OCIEnvInit(OCIEnv** envhpp, ub4 mode, size_t xtramemsz, dvoid** usrmempp) {
    if (!envhpp) return OCI_INVALID_HANDLE;
    if (!FindHost()) return OCI_ERROR;
    TGuard g(g_lock);
    BuildCatalogue();
    if (!g_env) g_env = Make<TEnv>();
    ++g_envCount;
    *envhpp = reinterpret_cast<OCIEnv*>(static_cast<TObj*>(g_env));
    return OCI_SUCCESS;
}

#ifndef OCILIB_V80 // a version-8.0 client has no OCIEnvCreate
OCILIB_EXPORT sword OCIEnvCreate(OCIEnv** envhpp, ub4 mode, dvoid* ctxp, dvoid* (*malocfp)(dvoid*, size_t),
                                 dvoid* (*ralocfp)(dvoid*, dvoid*, size_t), void (*mfreefp)(dvoid*, dvoid*),
                                 size_t xtramemsz, dvoid** usrmempp) {
    g_envCharset = g_envNCharset = 0; // the character sets of NLS_LANG
    return ::OCIEnvInit(envhpp, mode, xtramemsz, usrmempp);
}

#ifndef OCILIB_V90 // a 9.0 client has neither OCIEnvNlsCreate (9.2) nor OCIClientVersion (10.2)
OCILIB_EXPORT sword OCIEnvNlsCreate(OCIEnv** envhpp, ub4 mode, dvoid* ctxp, dvoid* (*malocfp)(dvoid*, size_t),
                                    dvoid* (*ralocfp)(dvoid*, dvoid*, size_t),
                                    void (*mfreefp)(dvoid*, dvoid*), size_t xtramemsz, dvoid** usrmempp,
                                    ub2 charset, ub2 ncharset) {
    sword r = ::OCIEnvInit(envhpp, mode, xtramemsz, usrmempp);
    g_envCharset = charset;
    g_envNCharset = ncharset;
    return r;
}

OCILIB_EXPORT void OCIClientVersion(sword* major_version, sword* minor_version, sword* update_num,
                                    sword* patch_num, sword* port_update_num) {
    *major_version = 19;
    *minor_version = 3;
    *update_num = 0;
    *patch_num = 0;
    *port_update_num = 0;
}
#endif
#endif

OCILIB_EXPORT sword OCIHandleAlloc(const dvoid* parenth, dvoid** hndlpp, ub4 type, size_t xtramemsz,
                                   dvoid** usrmempp) {
    if (!hndlpp || !Own<TEnv>(parenth)) return OCI_INVALID_HANDLE;
    if (type == OCI_HTYPE_DESCRIBE) {
        *hndlpp = static_cast<TObj*>(Make<TDescribe>());
        return OCI_SUCCESS;
    }
    return HOST(OCIHandleAlloc)(parenth, hndlpp, type, xtramemsz, usrmempp);
}

OCILIB_EXPORT sword OCIHandleFree(dvoid* hndlp, ub4 type) {
    if (type == OCI_HTYPE_ENV) {
        TGuard g(g_lock);
        if (!Own<TEnv>(hndlp)) return OCI_INVALID_HANDLE;
        if (--g_envCount == 0) {
            Drop(g_env);
            g_env = nullptr;
        }
        return OCI_SUCCESS;
    }
    if (type == OCI_HTYPE_DESCRIBE) {
        TDescribe* d = Own<TDescribe>(hndlp);
        if (!d) return OCI_INVALID_HANDLE;
        Drop(d);
        return OCI_SUCCESS;
    }
    ForgetError(hndlp);
    if (type == OCI_HTYPE_STMT) {
        TGuard g(g_lock);
        g_local.erase(hndlp);
    }
    return HOST(OCIHandleFree)(hndlp, type);
}

OCILIB_EXPORT sword OCIAttrGet(const dvoid* trgthndlp, ub4 trghndltyp, dvoid* attributep, ub4* sizep,
                               ub4 attrtype, OCIError* errhp) {
    if (TDescribe* d = Own<TDescribe>(trgthndlp)) {
        if (attrtype != OCI_ATTR_PARAM || !d->type) return OCI_INVALID_HANDLE;
        Put<void*>(attributep, sizep, static_cast<TObj*>(TypeParam(d->type)));
        return OCI_SUCCESS;
    }
    if (TParam* p = Own<TParam>(trgthndlp)) return ParamAttr(p, attributep, sizep, attrtype);
    if (TColParam* p = Own<TColParam>(trgthndlp)) return ColumnAttr(*p->col, attributep, sizep, attrtype);
    if (TLocalStmt* st = Local(trgthndlp)) return LocalStmtAttr(*st, attributep, sizep, attrtype);
    ForgetError(errhp);
    return HOST(OCIAttrGet)(trgthndlp, trghndltyp, attributep, sizep, attrtype, errhp);
}

OCILIB_EXPORT sword OCIAttrSet(dvoid* trgthndlp, ub4 trghndltyp, dvoid* attributep, ub4 size, ub4 attrtype,
                               OCIError* errhp) {
    // The server's external name is a client-side label.
    if (trghndltyp == OCI_HTYPE_SERVER && attrtype == OCI_ATTR_INTERNAL_NAME) return OCI_SUCCESS;
    // A define of this library's statements: the character set is that of the environment anyway.
    if (Own<TLocalDefine>(trgthndlp)) return attrtype == OCI_ATTR_CHARSET_ID ? OCI_SUCCESS : OCI_ERROR;
    ForgetError(errhp);
    return HOST(OCIAttrSet)(trgthndlp, trghndltyp, attributep, size, attrtype, errhp);
}

OCILIB_EXPORT sword OCIParamGet(const dvoid* hndlp, ub4 htype, OCIError* errhp, dvoid** parmdpp, ub4 pos) {
    if (TParam* p = Own<TParam>(hndlp)) {
        if (p->kind != TParam::ptList || !parmdpp) return OCI_INVALID_HANDLE;
        if (pos < 1 || pos > p->type->attrParams.size())
            return Fail(errhp, 24334, "no descriptor for this position");
        *parmdpp = static_cast<TObj*>(p->type->attrParams[pos - 1]);
        return OCI_SUCCESS;
    }
    if (TLocalStmt* st = Local(hndlp)) {
        if (!parmdpp) return OCI_INVALID_HANDLE;
        if (pos < 1 || pos > st->table->cols.size())
            return Fail(errhp, 24334, "no descriptor for this position");
        TGuard g(g_lock);
        if (st->params.empty())
            for (const TColumn& c : st->table->cols) {
                TColParam* p = Make<TColParam>();
                p->col = &c;
                st->params.push_back(p);
            }
        *parmdpp = static_cast<TObj*>(st->params[pos - 1]);
        return OCI_SUCCESS;
    }
    ForgetError(errhp);
    return HOST(OCIParamGet)(hndlp, htype, errhp, parmdpp, pos);
}

OCILIB_EXPORT sword OCIErrorGet(dvoid* hndlp, ub4 recordno, OraText* sqlstate, sb4* errcodep, OraText* bufp,
                                ub4 bufsiz, ub4 type) {
    {
        TGuard g(g_lock);
        auto it = g_errors.find(hndlp);
        if (it != g_errors.end() && type == OCI_HTYPE_ERROR) {
            if (errcodep) *errcodep = it->second.first;
            if (bufp && bufsiz > 0) {
                size_t n = std::min<size_t>(bufsiz - 1, it->second.second.size());
                memcpy(bufp, it->second.second.data(), n);
                bufp[n] = 0;
            }
            return OCI_SUCCESS;
        }
    }
    return HOST(OCIErrorGet)(hndlp, recordno, sqlstate, errcodep, bufp, bufsiz, type);
}

OCILIB_EXPORT sword OCIServerVersion(dvoid* hndlp, OCIError* errhp, OraText* bufp, ub4 bufsz, ub1 hndltype) {
    static const char banner[] =
        "Oracle Database 19c Enterprise Edition Release 19.0.0.0.0 - Production\nVersion 19.3.0.0.0";
    if (!bufp || bufsz == 0) return OCI_ERROR;
    size_t n = std::min<size_t>(bufsz - 1, sizeof banner - 1);
    memcpy(bufp, banner, n);
    bufp[n] = 0;
    return OCI_SUCCESS;
}

#ifndef OCILIB_V80 // version 9 and later
// Only forward fetches are offered.
OCILIB_EXPORT sword OCIStmtFetch2(OCIStmt* stmtp, OCIError* errhp, ub4 nrows, ub2 orientation,
                                  sb4 fetchOffset, ub4 mode) {
    if (orientation != 2) return Fail(errhp, 24391, "invalid fetch operation");
    if (TLocalStmt* st = Local(stmtp)) return FetchLocal(*st, errhp, nrows);
    ForgetError(errhp);
    return HOST(OCIStmtFetch)(stmtp, errhp, nrows, orientation, mode);
}

#endif

#include "tests/ocilib/OciLibForward.h"

#ifndef OCILIB_V80 // the 8.0 variant is a client without the version-7 routines
// ---- Version-7 routines (counted only) ----

OCILIB_EXPORT sword olog(dvoid*, ub1*, OraText*, sword, OraText*, sword, OraText*, sword, ub4) {
    ++g_o7Calls;
    return -1;
}
OCILIB_EXPORT sword ologof(dvoid*) {
    ++g_o7Calls;
    return 0;
}
OCILIB_EXPORT sword oopen(dvoid*, dvoid*, OraText*, sword, sword, OraText*, sword) {
    ++g_o7Calls;
    return 0;
}
OCILIB_EXPORT sword oparse(dvoid*, OraText*, sb4, sword, ub4) {
    ++g_o7Calls;
    return 0;
}
OCILIB_EXPORT sword ocom(dvoid*) {
    ++g_o7Calls;
    return 0;
}
#endif

// ---- Types ----

OCILIB_EXPORT sword OCITypeByName(OCIEnv* env, OCIError* err, const OCISvcCtx* svc,
                                  const OraText* schema_name, ub4 s_length, const OraText* type_name,
                                  ub4 t_length, const OraText* version_name, ub4 v_length, ub2 pin_duration,
                                  int get_option, OCIType** tdo) {
    if (!Own<TEnv>(env) || !tdo || !svc) return OCI_INVALID_HANDLE;
    std::string schema = schema_name ? std::string(reinterpret_cast<const char*>(schema_name), s_length) : "";
    std::string name = type_name ? std::string(reinterpret_cast<const char*>(type_name), t_length) : "";
    TGuard g(g_lock);
    TType* t = FindType(schema, name);
    if (!t)
        return Fail(err, 4043, "object " + (schema.empty() ? name : schema + "." + name) + " does not exist");
    *tdo = reinterpret_cast<OCIType*>(static_cast<TObj*>(t));
    return OCI_SUCCESS;
}

OCILIB_EXPORT sword OCIDescribeAny(OCISvcCtx* svchp, OCIError* errhp, dvoid* objptr, ub4 objnm_len,
                                   ub1 objptr_typ, ub1 info_level, ub1 objtyp, OCIDescribe* dschp) {
    TDescribe* d = Own<TDescribe>(dschp);
    if (!d || !svchp || !objptr) return OCI_INVALID_HANDLE;
    if (objptr_typ != OCI_OTYPE_NAME || objtyp != OCI_PTYPE_TYPE)
        return Fail(errhp, 4043, "only types are described by name here");
    std::string text(static_cast<const char*>(objptr), objnm_len), schema, name;
    if (!SplitName(text, schema, name)) return Fail(errhp, 4043, "object " + text + " does not exist");
    TGuard g(g_lock);
    TType* t = FindType(schema, name);
    if (!t) return Fail(errhp, 4043, "object " + text + " does not exist");
    d->type = t;
    return OCI_SUCCESS;
}

// ---- Instances ----

OCILIB_EXPORT sword OCIObjectNew(OCIEnv* env, OCIError* err, const OCISvcCtx* svc, ub2 typecode, OCIType* tdo,
                                 dvoid* table, ub2 duration, int value, dvoid** instance) {
    if (!Own<TEnv>(env) || !instance) return OCI_INVALID_HANDLE;
    if (typecode == OCI_TYPECODE_REF) {
        *instance = static_cast<TObj*>(Make<TRef>());
        return OCI_SUCCESS;
    }
    TType* t = Own<TType>(tdo);
    if (!t) return Fail(err, 21710, "argument is expecting a valid memory address of an object");
    if (t->typeCode != typecode)
        return Fail(err, 22370, "incorrect usage of method: type code does not match");
    TGuard g(g_lock);
    if (t->typeCode == OCI_TYPECODE_NAMEDCOLLECTION) {
        TColl* c = Make<TColl>();
        c->type = t;
        *instance = static_cast<TObj*>(c);
        ++g_created;
        return OCI_SUCCESS;
    }
    *instance = NewInstance(t, false)->data.data();
    return OCI_SUCCESS;
}

OCILIB_EXPORT sword OCIObjectFree(OCIEnv* env, OCIError* err, dvoid* instance, ub2 flags) {
    TGuard g(g_lock);
    if (TColl* c = Own<TColl>(instance)) {
        Drop(c);
        ++g_freed;
        return OCI_SUCCESS;
    }
    if (TRef* r = Own<TRef>(instance)) {
        Drop(r);
        return OCI_SUCCESS;
    }
    TInstance* in = Instance(instance);
    if (!in) return Fail(err, 21710, "argument is expecting a valid memory address of an object");
    if (in->persistent) { // the cache keeps persistent objects; freeing one unpins it
        ++g_unpins;
        return OCI_SUCCESS;
    }
    DropInstance(in);
    ++g_freed;
    return OCI_SUCCESS;
}

OCILIB_EXPORT sword OCIObjectPin(OCIEnv* env, OCIError* err, OCIRef* object_ref, OCIComplexObject* corhdl,
                                 int pin_option, ub2 pin_duration, int lock_option, dvoid** object) {
    TRef* r = Own<TRef>(object_ref);
    if (!r || !object) return OCI_INVALID_HANDLE;
    TGuard g(g_lock);
    if (!r->target) return Fail(err, 22806, "not an object or REF");
    if (r->target->deleted) return Fail(err, 21700, "object does not exist or is marked for delete");
    ++g_pins;
    *object = r->target->data.data();
    return OCI_SUCCESS;
}

OCILIB_EXPORT sword OCIObjectFlush(OCIEnv* env, OCIError* err, dvoid* object) {
    TGuard g(g_lock);
    TInstance* in = Instance(object);
    if (!in) return Fail(err, 21710, "argument is expecting a valid memory address of an object");
    if (!in->persistent) return Fail(err, 21601, "attribute is not an object: only persistent objects flush");
    ++in->flushes;
    return OCI_SUCCESS;
}

OCILIB_EXPORT sword OCIObjectMarkDelete(OCIEnv* env, OCIError* err, dvoid* instance) {
    TGuard g(g_lock);
    TInstance* in = Instance(instance);
    if (!in) return Fail(err, 21710, "argument is expecting a valid memory address of an object");
    if (!in->persistent)
        return Fail(err, 21603, "property id is invalid: only persistent objects are deleted");
    in->deleted = true;
    return OCI_SUCCESS;
}

OCILIB_EXPORT sword OCIObjectGetInd(OCIEnv* env, OCIError* err, dvoid* instance, dvoid** null_struct) {
    TGuard g(g_lock);
    if (TColl* c = Own<TColl>(instance)) {
        if (!null_struct) return OCI_INVALID_HANDLE;
        *null_struct = &c->ind;
        return OCI_SUCCESS;
    }
    TInstance* in = Instance(instance);
    if (!in || !null_struct)
        return Fail(err, 21710, "argument is expecting a valid memory address of an object");
    *null_struct = in->ind.data();
    return OCI_SUCCESS;
}

// ---- Collections ----

namespace {

// Copies a value given by address (OCIString*, OCINumber*, OCIDate*) into an element slot.
void AssignElem(TColl* c, TElem& e, const void* elem, const void* elemind) {
    const TAttr& a = c->type->attrs[0];
    if (a.dataType == 2 || a.dataType == 12) {
        e.slot.assign(a.dataType == 2 ? 22 : 8, 0);
        memcpy(e.slot.data(), elem, e.slot.size());
    } else {
        if (e.slot.size() != P) {
            e.slot.assign(P, 0);
            TObj* s = Make<TString>();
            memcpy(e.slot.data(), &s, P);
        }
        TString* dst;
        memcpy(&dst, e.slot.data(), P);
        const TString* src = Own<TString>(elem);
        dst->text = src ? src->text : std::vector<char>(1, '\0');
    }
    e.ind = elemind ? *static_cast<const sb2*>(elemind) : OCI_IND_NOTNULL;
    e.exists = true;
}

} // namespace

OCILIB_EXPORT sword OCICollSize(OCIEnv* env, OCIError* err, const OCIColl* coll, sb4* size) {
    TColl* c = Own<TColl>(coll);
    if (!c || !size) return OCI_INVALID_HANDLE;
    *size = sb4(c->elems.size());
    return OCI_SUCCESS;
}

OCILIB_EXPORT sword OCICollAppend(OCIEnv* env, OCIError* err, const dvoid* elem, const dvoid* elemind,
                                  OCIColl* coll) {
    TColl* c = Own<TColl>(coll);
    if (!c || !elem) return OCI_INVALID_HANDLE;
    if (c->type->collCode == OCI_TYPECODE_VARRAY && c->elems.size() >= c->type->maxElems)
        return Fail(err, 22165,
                    "given index [" + std::to_string(c->elems.size()) + "] must be in the range of [0] to [" +
                        std::to_string(c->type->maxElems - 1) + "]");
    c->elems.push_back(std::make_unique<TElem>());
    AssignElem(c, *c->elems.back(), elem, elemind);
    return OCI_SUCCESS;
}

OCILIB_EXPORT sword OCICollAssignElem(OCIEnv* env, OCIError* err, sb4 index, const dvoid* elem,
                                      const dvoid* elemind, OCIColl* coll) {
    TColl* c = Own<TColl>(coll);
    if (!c || !elem) return OCI_INVALID_HANDLE;
    if (index < 0 || size_t(index) >= c->elems.size())
        return Fail(err, 22165,
                    "given index [" + std::to_string(index) + "] must be in the range of [0] to [" +
                        std::to_string(sb4(c->elems.size()) - 1) + "]");
    AssignElem(c, *c->elems[size_t(index)], elem, elemind);
    return OCI_SUCCESS;
}

OCILIB_EXPORT sword OCICollGetElem(OCIEnv* env, OCIError* err, const OCIColl* coll, sb4 index, int* exists,
                                   dvoid** elem, dvoid** elemind) {
    TColl* c = Own<TColl>(coll);
    if (!c || !exists || !elem) return OCI_INVALID_HANDLE;
    if (index < 0 || size_t(index) >= c->elems.size() || !c->elems[size_t(index)]->exists) {
        *exists = 0;
        *elem = nullptr;
        if (elemind) *elemind = nullptr;
        return OCI_SUCCESS;
    }
    TElem& e = *c->elems[size_t(index)];
    *exists = 1;
    *elem = e.slot.data();
    if (elemind) *elemind = &e.ind;
    return OCI_SUCCESS;
}

OCILIB_EXPORT sword OCITableSize(OCIEnv* env, OCIError* err, const OCIColl* tbl, sb4* size) {
    TColl* c = Own<TColl>(tbl);
    if (!c || !size) return OCI_INVALID_HANDLE;
    if (c->type->collCode != OCI_TYPECODE_TABLE) return Fail(err, 22160, "element at index does not exist");
    sb4 n = 0;
    for (auto& e : c->elems)
        n += e->exists ? 1 : 0;
    *size = n;
    return OCI_SUCCESS;
}

OCILIB_EXPORT sword OCITableNext(OCIEnv* env, OCIError* err, sb4 index, const OCIColl* tbl, sb4* next_index,
                                 int* exists) {
    TColl* c = Own<TColl>(tbl);
    if (!c || !next_index || !exists) return OCI_INVALID_HANDLE;
    *exists = 0;
    for (size_t i = size_t(std::max(index + 1, 0)); i < c->elems.size(); ++i)
        if (c->elems[i]->exists) {
            *next_index = sb4(i);
            *exists = 1;
            break;
        }
    return OCI_SUCCESS;
}

OCILIB_EXPORT sword OCITableDelete(OCIEnv* env, OCIError* err, sb4 index, OCIColl* tbl) {
    TColl* c = Own<TColl>(tbl);
    if (!c) return OCI_INVALID_HANDLE;
    if (c->type->collCode != OCI_TYPECODE_TABLE || index < 0 || size_t(index) >= c->elems.size() ||
        !c->elems[size_t(index)]->exists)
        return Fail(err, 22160, "element at index [" + std::to_string(index) + "] does not exist");
    c->elems[size_t(index)]->exists = false;
    return OCI_SUCCESS;
}

// ---- REFs ----

// ---- Datetimes, intervals, object defines and files of this library's result sets ----

OCILIB_EXPORT sword OCIDefineObject(OCIDefine* defnp, OCIError* errhp, const OCIType* type, dvoid** pgvpp,
                                    ub4* pvszsp, dvoid** indpp, ub4* indszp) {
    TLocalDefine* d = Own<TLocalDefine>(defnp);
    if (!d || !pgvpp) return OCI_INVALID_HANDLE;
    if (d->dty == SQLT_NTY && !Own<TType>(type))
        return Fail(errhp, 22063, "a named type needs its type descriptor");
    d->objType = type;
    d->pgvpp = pgvpp;
    d->indpp = indpp;
    return OCI_SUCCESS;
}

OCILIB_EXPORT sword OCIDateTimeGetDate(dvoid* hndl, OCIError* err, const OCIDateTime* datetime, sb2* year,
                                       ub1* month, ub1* day) {
    TDateTimeDesc* d = Own<TDateTimeDesc>(datetime);
    if (!d || !year || !month || !day) return OCI_INVALID_HANDLE;
    *year = d->v.year;
    *month = d->v.month;
    *day = d->v.day;
    return OCI_SUCCESS;
}

OCILIB_EXPORT sword OCIDateTimeGetTime(dvoid* hndl, OCIError* err, OCIDateTime* datetime, ub1* hour, ub1* min,
                                       ub1* sec, ub4* fsec) {
    TDateTimeDesc* d = Own<TDateTimeDesc>(datetime);
    if (!d || !hour || !min || !sec || !fsec) return OCI_INVALID_HANDLE;
    *hour = d->v.hour;
    *min = d->v.minute;
    *sec = d->v.second;
    *fsec = d->v.fsec;
    return OCI_SUCCESS;
}

// Only a timestamp with a time zone has one (ORA-01878 otherwise).
OCILIB_EXPORT sword OCIDateTimeGetTimeZoneOffset(dvoid* hndl, OCIError* err, const OCIDateTime* datetime,
                                                 sb1* hour, sb1* min) {
    TDateTimeDesc* d = Own<TDateTimeDesc>(datetime);
    if (!d || !hour || !min) return OCI_INVALID_HANDLE;
    if (d->dtype != OCI_DTYPE_TIMESTAMP_TZ)
        return Fail(err, 1878, "specified field not found in datetime or interval");
    *hour = d->v.tzh;
    *min = d->v.tzm;
    return OCI_SUCCESS;
}

OCILIB_EXPORT sword OCIIntervalToText(dvoid* hndl, OCIError* err, const OCIInterval* interval, ub1 lfprec,
                                      ub1 fsprec, OraText* buffer, size_t buflen, size_t* resultlen) {
    TIntervalDesc* d = Own<TIntervalDesc>(interval);
    if (!d || !buffer || !resultlen) return OCI_INVALID_HANDLE;
    std::string text = IntervalText(d->v, d->dtype == OCI_DTYPE_INTERVAL_YM);
    if (text.size() + 1 > buflen) return Fail(err, 1877, "string is too long for internal buffer");
    memcpy(buffer, text.c_str(), text.size() + 1);
    *resultlen = text.size();
    return OCI_SUCCESS;
}

OCILIB_EXPORT sword OCILobFileGetName(OCIEnv* envhp, OCIError* errhp, const OCILobLocator* filep,
                                      OraText* dir_alias, ub2* d_length, OraText* filename, ub2* f_length) {
    TLobValue* f = LocalLob(filep);
    if (!f || !dir_alias || !d_length || !filename || !f_length) return OCI_INVALID_HANDLE;
    // The lengths are the buffers' sizes on entry (30 and 255 bytes are documented as enough).
    if (f->dir.size() > *d_length || f->file.size() > *f_length)
        return Fail(errhp, 22275, "invalid LOB locator specified");
    memcpy(dir_alias, f->dir.data(), f->dir.size());
    memcpy(filename, f->file.data(), f->file.size());
    *d_length = ub2(f->dir.size());
    *f_length = ub2(f->file.size());
    return OCI_SUCCESS;
}

OCILIB_EXPORT sword OCIRefAssign(OCIEnv* env, OCIError* err, const OCIRef* source, OCIRef** target) {
    TRef* s = Own<TRef>(source);
    if (!s || !target) return OCI_INVALID_HANDLE;
    TRef* t = Own<TRef>(*target);
    if (!t) {
        t = Make<TRef>();
        *target = reinterpret_cast<OCIRef*>(static_cast<TObj*>(t));
    }
    t->target = s->target;
    return OCI_SUCCESS;
}

OCILIB_EXPORT void OCIRefClear(OCIEnv* env, OCIRef* ref) {
    if (TRef* r = Own<TRef>(ref)) r->target = nullptr;
}

OCILIB_EXPORT int OCIRefIsNull(OCIEnv* env, const OCIRef* ref) {
    TRef* r = Own<TRef>(ref);
    return !r || !r->target ? 1 : 0;
}

// ---- Strings ----

OCILIB_EXPORT sword OCIStringAssignText(OCIEnv* env, OCIError* err, const OraText* rhs, ub4 rhs_len,
                                        OCIString** lhs) {
    if (!lhs || (!rhs && rhs_len)) return OCI_INVALID_HANDLE;
    TString* s = Own<TString>(*lhs);
    if (!s) {
        s = Make<TString>();
        *lhs = reinterpret_cast<OCIString*>(static_cast<TObj*>(s));
    }
    s->text.assign(reinterpret_cast<const char*>(rhs), reinterpret_cast<const char*>(rhs) + rhs_len);
    s->text.push_back('\0');
    return OCI_SUCCESS;
}

OCILIB_EXPORT OraText* OCIStringPtr(OCIEnv* env, const OCIString* vs) {
    TString* s = Own<TString>(vs);
    return s ? reinterpret_cast<OraText*>(s->text.data()) : nullptr;
}

// A new size of 0 frees the string.
OCILIB_EXPORT sword OCIStringResize(OCIEnv* env, OCIError* err, ub4 new_size, OCIString** str) {
    if (!str) return OCI_INVALID_HANDLE;
    TString* s = Own<TString>(*str);
    if (new_size == 0) {
        Drop(s);
        *str = nullptr;
        return OCI_SUCCESS;
    }
    if (!s) {
        s = Make<TString>();
        *str = reinterpret_cast<OCIString*>(static_cast<TObj*>(s));
    }
    s->text.reserve(new_size);
    return OCI_SUCCESS;
}

// ---- Numbers (this library keeps a double in the 22 bytes) ----

OCILIB_EXPORT sword OCINumberFromInt(OCIError* err, const dvoid* inum, unsigned int inum_length,
                                     unsigned int inum_s_flag, OCINumber* number) {
    if (!inum || !number) return OCI_INVALID_HANDLE;
    double v;
    if (inum_length == 4)
        v = inum_s_flag == OCI_NUMBER_SIGNED ? double(*static_cast<const int32_t*>(inum))
                                             : double(*static_cast<const uint32_t*>(inum));
    else if (inum_length == 8)
        v = inum_s_flag == OCI_NUMBER_SIGNED ? double(*static_cast<const int64_t*>(inum))
                                             : double(*static_cast<const uint64_t*>(inum));
    else
        return Fail(err, 22053, "overflow error");
    SetNumber(reinterpret_cast<uint8_t*>(number), v);
    return OCI_SUCCESS;
}

OCILIB_EXPORT sword OCINumberToInt(OCIError* err, const OCINumber* number, unsigned int rsl_length,
                                   unsigned int rsl_flag, dvoid* rsl) {
    if (!number || !rsl) return OCI_INVALID_HANDLE;
    double v = GetNumber(reinterpret_cast<const uint8_t*>(number));
    if (rsl_length != 4 || rsl_flag != OCI_NUMBER_SIGNED) return Fail(err, 22053, "overflow error");
    if (v != v || v < -2147483648.0 || v > 2147483647.0) return Fail(err, 22053, "overflow error");
    int32_t i = int32_t(v < 0 ? v - 0.5 : v + 0.5);
    memcpy(rsl, &i, 4);
    return OCI_SUCCESS;
}

OCILIB_EXPORT sword OCINumberFromReal(OCIError* err, const dvoid* rnum, unsigned int rnum_length,
                                      OCINumber* number) {
    if (!rnum || !number) return OCI_INVALID_HANDLE;
    double v;
    if (rnum_length == 8)
        memcpy(&v, rnum, 8);
    else if (rnum_length == 4)
        v = *static_cast<const float*>(rnum);
    else
        return Fail(err, 22053, "overflow error");
    SetNumber(reinterpret_cast<uint8_t*>(number), v);
    return OCI_SUCCESS;
}

OCILIB_EXPORT sword OCINumberToReal(OCIError* err, const OCINumber* number, unsigned int rsl_length,
                                    dvoid* rsl) {
    if (!number || !rsl) return OCI_INVALID_HANDLE;
    if (rsl_length != 8) return Fail(err, 22053, "overflow error");
    double v = GetNumber(reinterpret_cast<const uint8_t*>(number));
    memcpy(rsl, &v, 8);
    return OCI_SUCCESS;
}
