// The object layer in client-library mode, over the stand-in library's catalogue: the describe rules and the
// native layout of each attribute kind, the type cache, attribute paths with their null and conversion rules,
// collections, and the lifecycle of created and pinned instances. In network mode the object layer answers
// "Function is not supported" and the session stays usable.
#include "OraClientLib.h"
#include "OraE2e.h"

#include "dataset/DBErrors.h"
#include "ocicall/OraCallLoad.h"
#include "oracle/OraObjects.h"

#include <cstring>
#include <dlfcn.h>
#include <gtest/gtest.h>

using namespace oratest;

namespace {

constexpr size_t P = sizeof(void*);

template <class F> std::string ErrorOf(F&& f) {
    try {
        f();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "no error";
}

void* LibSymbol(const char* name) {
    void* lib = dlopen(OciLibPath().c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (!lib) return nullptr;
    void* sym = dlsym(lib, name);
    dlclose(lib); // the binder's reference keeps it loaded
    return sym;
}

int Counter(int which) {
    auto f = reinterpret_cast<int (*)(int)>(LibSymbol("ocilib_counter"));
    return f ? f(which) : -1;
}

oracall::OCIRef* CatalogueRef(const char* key) {
    auto f = reinterpret_cast<oracall::OCIRef* (*)(const char*)>(LibSymbol("ocilib_ref_to"));
    return f ? f(key) : nullptr;
}

// A reference released at scope end.
template <class T> struct THeld {
    T* p;
    explicit THeld(T* v) : p(v) {}
    ~THeld() {
        if (p) p->Release();
    }
    T* operator->() const { return p; }
    THeld(const THeld&) = delete;
    THeld& operator=(const THeld&) = delete;
};

// The emulator and two sessions in client-library mode through the stand-in library.
class OraObjects : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        env_ = new TOciEnv;
        env_->Set("OCIDLL", OciLibPath());
        emu_ = new TEmu;
        for (auto*& s : sessions_) {
            s = new TOraSession;
            s->ConnectPrompt = false;
            s->SetUsername("scott");
            s->SetPassword("tiger");
            s->SetServer(emu_->Server());
            s->Connect();
        }
    }
    static void TearDownTestSuite() {
        for (auto*& s : sessions_) {
            delete s;
            s = nullptr;
        }
        oracall::FreeOCI();
        delete emu_;
        delete env_;
    }
    static oracall::OCISvcCtx* Svc(int i = 0) { return sessions_[i]->OCIConnection()->SvcCtx(); }
    static TOraType* Type(const std::string& name, int session = 0) {
        return TOraType::Find(Svc(session), name);
    }

    static TOciEnv* env_;
    static TEmu* emu_;
    static TOraSession* sessions_[2];
};

TOciEnv* OraObjects::env_ = nullptr;
TEmu* OraObjects::emu_ = nullptr;
TOraSession* OraObjects::sessions_[2] = {nullptr, nullptr};

struct TExpect {
    const char* name;
    uint16_t dataType;
    uint16_t length, scale, size;
    size_t nativeSize, nativeOffset, indicatorOffset;
};

void CheckAttributes(const TOraType* t, const std::vector<TExpect>& expected) {
    ASSERT_EQ(t->Attributes().size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        const TOraAttribute& a = t->Attributes()[i];
        const TExpect& e = expected[i];
        SCOPED_TRACE(e.name);
        EXPECT_EQ(a.Name, e.name);
        EXPECT_EQ(a.AttributeNo, int(i + 1));
        EXPECT_EQ(a.DataType, e.dataType);
        EXPECT_EQ(a.SubDataType, 0);
        EXPECT_EQ(a.Length, e.length);
        EXPECT_EQ(a.Scale, e.scale);
        EXPECT_EQ(a.Size, e.size);
        EXPECT_EQ(a.NativeSize, e.nativeSize);
        EXPECT_EQ(a.NativeOffset, e.nativeOffset);
        EXPECT_EQ(a.IndicatorOffset, e.indicatorOffset);
    }
}

TEST_F(OraObjects, AFinalObjectLaysOutStringsNumbersAndFixedCharacters) {
    THeld<TOraType> t(Type("scott.address_t"));
    EXPECT_EQ(t->Name, "SCOTT.ADDRESS_T");
    EXPECT_EQ(t->DataType, dtObject);
    EXPECT_EQ(t->TypeCode(), 108);
    EXPECT_TRUE(t->Final());
    // STREET VARCHAR2(30), ZIP NUMBER(5), CITY CHAR(10): the string after the number starts at the next
    // pointer.
    CheckAttributes(t.p, {{"STREET", dtString, 30, 0, 31, P, 0, 2},
                          {"ZIP", dtInt32, 5, 0, 4, 22, P, 4},
                          {"CITY", dtString, 10, 0, 11, P, (P + 22 + P - 1) / P * P, 6}});
    EXPECT_FALSE(t->Attributes()[0].Fixed);
    EXPECT_TRUE(t->Attributes()[2].Fixed);
    EXPECT_EQ(t->NativeSize(), (P + 22 + P - 1) / P * P + P);
    EXPECT_EQ(t->IndicatorSize(), 8u);
    // The framework's view carries the same attributes.
    ASSERT_EQ(t->AttributeCount(), 3);
    EXPECT_EQ(t->Attribute(2)->Name, "CITY");
    EXPECT_TRUE(t->Attribute(2)->Fixed);
}

TEST_F(OraObjects, EveryAttributeKindOfANonFinalObjectHasItsSizeAndPlace) {
    ASSERT_EQ(P, 8u) << "the expected offsets below are those of a 64-bit client";
    THeld<TOraType> t(Type("PERSON_T"));
    EXPECT_FALSE(t->Final());
    CheckAttributes(t.p, {
                             {"NAME", dtString, 20, 0, 21, 8, 0, 2},
                             {"AGE", dtInt32, 3, 0, 4, 22, 8, 4},
                             {"SALARY", dtFloat, 8, 2, 8, 22, 30, 6},
                             {"BORN", dtDateTime, 0, 0, 8, 8, 52, 8},
                             {"BADGE", dtString, 8, 0, 9, 8, 64, 10},  // RAW(4) as hex text, aligned
                             {"HOME", dtObject, 0, 0, 8, 40, 72, 12},  // embedded final object
                             {"PHONES", dtArray, 0, 0, 8, 8, 112, 20}, // after the object's 8 indicator bytes
                             {"SCORES", dtTable, 0, 0, 8, 8, 120, 22},
                             {"BOSS", dtReference, 0, 0, 8, 8, 128, 24},
                             {"CV", dtOraClob, 0, 0, 8, 8, 136, 26},
                             {"SEEN", dtTimeStamp, 0, 0, 8, 8, 144, 28},
                         });
    EXPECT_EQ(t->NativeSize(), 152u);
    EXPECT_EQ(t->IndicatorSize(), 30u);
    const TOraAttribute* home = t->FindAttribute("home");
    ASSERT_NE(home, nullptr);
    EXPECT_TRUE(home->Embedded());
    EXPECT_EQ(home->IndicatorSize, 8u);
    EXPECT_EQ(home->ObjectType->Name, "SCOTT.ADDRESS_T");
    EXPECT_EQ(t->FindAttribute("BOSS")->RefTypeName, "SCOTT.PERSON_T");
    EXPECT_EQ(t->FindAttribute("BOSS")->ObjectType, nullptr);
    // A non-final object attribute is held by pointer.
    THeld<TOraType> d(Type("DRAWING_T"));
    CheckAttributes(d.p, {{"ID", dtInt32, 9, 0, 4, 22, 0, 2}, {"SHAPE", dtObject, 0, 0, 8, 8, 24, 4}});
    EXPECT_FALSE(d->Attributes()[1].Embedded());
    EXPECT_EQ(d->IndicatorSize(), 6u);
}

TEST_F(OraObjects, CollectionsHaveOneElementAttribute) {
    THeld<TOraType> v(Type("PHONES_T"));
    EXPECT_EQ(v->DataType, dtArray);
    EXPECT_EQ(v->TypeCode(), 122);
    EXPECT_EQ(v->MaxElements(), 3);
    CheckAttributes(v.p, {{"ELEMENT", dtString, 15, 0, 16, P, 0, 2}});
    THeld<TOraType> n(Type("SCORES_T"));
    EXPECT_EQ(n->DataType, dtTable);
    EXPECT_EQ(n->MaxElements(), 0);
    CheckAttributes(n.p, {{"ELEMENT", dtFloat, 7, 2, 8, 22, 0, 2}});
    EXPECT_EQ(n->NativeSize(), 22u);
    EXPECT_EQ(n->IndicatorSize(), 4u);
}

TEST_F(OraObjects, TheCacheIsKeyedByUpperCaseNameAndServiceContext) {
    int before = TOraType::CacheCount();
    THeld<TOraType> a(Type("  scott.person_t "));
    THeld<TOraType> b(Type("SCOTT.PERSON_T"));
    EXPECT_EQ(a.p, b.p);
    THeld<TOraType> c(Type("SCOTT.PERSON_T", 1));
    EXPECT_NE(a.p, c.p);
    EXPECT_EQ(c->SvcCtx(), Svc(1));
    // PERSON_T brings ADDRESS_T, PHONES_T and SCORES_T along, on each service context.
    EXPECT_GE(TOraType::CacheCount(), before + 2);
    // A name without a schema is a different cache entry but the same server type.
    THeld<TOraType> bare(Type("person_t"));
    EXPECT_NE(bare.p, a.p);
    EXPECT_EQ(bare->NativeSize(), a->NativeSize());

    EXPECT_EQ(ErrorOf([] { TOraType::Find(nullptr, "PERSON_T"); }), "OCISvcCtx is not defined");
    try {
        TOraType::Find(Svc(), "SCOTT.NO_SUCH_T");
        FAIL();
    } catch (const EOraError& e) {
        EXPECT_EQ(e.ErrorCode, 4043);
    }
    // A failed lookup leaves nothing in the cache.
    int count = TOraType::CacheCount();
    EXPECT_THROW(TOraType::Find(Svc(), "NO_SUCH_T"), EOraError);
    EXPECT_EQ(TOraType::CacheCount(), count);
    EXPECT_EQ(ErrorOf([] { TOraType::Find(Svc(), "ODD_T"); }), "Unknown data type.");
    EXPECT_EQ(TOraType::CacheCount(), count);
}

TEST_F(OraObjects, WithoutTheVersion9CapabilityTypesAreFinalAndTimestampsUnsupported) {
    // A fresh service context, so that nothing comes from the cache.
    sessions_[1]->Disconnect();
    sessions_[1]->Connect();
    int groups = oracall::OCIFunctionGroups;
    oracall::OCIFunctionGroups &= ~oracall::OCIGroupOCI9;
    std::string timestamps = ErrorOf([] { TOraType::Find(Svc(1), "PERSON_T"); });
    TOraType* shape = nullptr;
    std::string shapeError = ErrorOf([&] { shape = Type("SHAPE_T", 1); });
    oracall::OCIFunctionGroups = groups;
    EXPECT_EQ(timestamps, "Data type is not supported.");
    EXPECT_EQ(shapeError, "no error");
    ASSERT_NE(shape, nullptr);
    EXPECT_TRUE(shape->Final());
    shape->Release();
    sessions_[1]->Disconnect();
    sessions_[1]->Connect();
}

TEST_F(OraObjects, PathsReadAndWriteEveryScalarKindAndNullsFollowTheIndicators) {
    THeld<TOraType> t(Type("PERSON_T"));
    THeld<TOraObject> o(new TOraObject(t.p));
    o->AllocObject();
    ASSERT_NE(o->Instance(), nullptr);
    EXPECT_TRUE(o->OwnsInstance());
    EXPECT_FALSE(o->IsNull());
    EXPECT_TRUE(o->AttrIsNull("NAME"));
    EXPECT_EQ(o->AttrAsString("NAME"), "");
    EXPECT_EQ(o->AttrAsInteger("AGE"), 0);

    o->SetAttrAsString("name", "ADAMS");
    o->SetAttrAsInteger("AGE", 42);
    o->SetAttrAsFloat("SALARY", 1234.5);
    TDateTime born = EncodeDate(1980, 12, 17) + EncodeTime(10, 30, 15, 0);
    o->SetAttrAsDateTime("BORN", born);
    o->SetAttrAsString("BADGE", "0AFF");
    EXPECT_EQ(o->AttrAsString("NAME"), "ADAMS");
    EXPECT_FALSE(o->AttrIsNull("NAME"));
    EXPECT_EQ(o->AttrAsInteger("AGE"), 42);
    EXPECT_DOUBLE_EQ(o->AttrAsFloat("AGE"), 42.0);
    EXPECT_EQ(o->AttrAsString("AGE"), "42");
    EXPECT_DOUBLE_EQ(o->AttrAsFloat("SALARY"), 1234.5);
    EXPECT_EQ(o->AttrAsInteger("SALARY"), 1235); // rounded by the library's conversion
    EXPECT_DOUBLE_EQ(o->AttrAsDateTime("BORN"), born);
    TOraObjDate* d = o->AttrAsOCIDate("BORN");
    EXPECT_EQ(d->Year, 1980);
    EXPECT_EQ(d->Month, 12);
    EXPECT_EQ(d->Second, 15);
    EXPECT_EQ(o->AttrAsString("BADGE"), "0AFF");
    // A longer text replaces a shorter one.
    o->SetAttrAsString("NAME", "ADAMS-SMITH");
    EXPECT_EQ(o->AttrAsString("NAME"), "ADAMS-SMITH");

    // The embedded address: writing one attribute makes the address not null, the others stay null.
    EXPECT_TRUE(o->AttrIsNull("HOME"));
    o->SetAttrAsString("HOME.CITY", "BONN");
    o->SetAttrAsInteger("HOME.ZIP", 53111);
    EXPECT_FALSE(o->AttrIsNull("HOME"));
    EXPECT_EQ(o->AttrAsString("home.city"), "BONN");
    EXPECT_EQ(o->AttrAsInteger("HOME.ZIP"), 53111);
    EXPECT_TRUE(o->AttrIsNull("HOME.STREET"));
    // A null indicator on the way makes the value null.
    o->SetAttrNull("HOME");
    EXPECT_TRUE(o->AttrIsNull("HOME.CITY"));
    EXPECT_EQ(o->AttrAsString("HOME.CITY"), "");
    o->SetAttrAsString("HOME.STREET", "RHEINWEG");
    EXPECT_FALSE(o->AttrIsNull("HOME.CITY"));
    EXPECT_EQ(o->AttrAsString("HOME.CITY"), "BONN");
    // The object as a whole.
    o->SetNull(true);
    EXPECT_TRUE(o->IsNull());
    EXPECT_TRUE(o->AttrIsNull("AGE"));
    EXPECT_EQ(o->AttrAsInteger("AGE"), 0);
    o->SetNull(false);
    EXPECT_EQ(o->AttrAsInteger("AGE"), 42);

    // The holder of the embedded object points into the same instance and keeps its owner alive.
    TOraObject* home = o->AttrAsObject("HOME");
    EXPECT_FALSE(home->OwnsInstance());
    EXPECT_EQ(home->AttrAsString("CITY"), "BONN");
    home->SetAttrAsString("CITY", "KOELN");
    EXPECT_EQ(o->AttrAsString("HOME.CITY"), "KOELN");
    TOraObject* owner = o.p;
    o.p = nullptr;
    owner->Release(); // the holder of HOME keeps its owner, and so the instance, alive
    EXPECT_EQ(home->AttrAsString("CITY"), "KOELN");
    home->Release();
}

TEST_F(OraObjects, TheFrameworkReadsAndWritesAttributesInTheExchangeForms) {
    THeld<TOraType> t(Type("PERSON_T"));
    THeld<TOraObject> o(new TOraObject(t.p));
    o->AllocObject();
    TDBObject* obj = o.p;
    obj->SetAttributeValue("NAME", "A NAME LONGER THAN TWENTY CHARACTERS");
    EXPECT_EQ(o->AttrAsString("NAME"), "A NAME LONGER THAN T"); // VARCHAR2(20)
    char text[64];
    bool isNull = true;
    obj->GetAttributeValue("NAME", text, isNull);
    EXPECT_FALSE(isNull);
    EXPECT_STREQ(text, "A NAME LONGER THAN T");
    int32_t age = 33;
    obj->SetAttributeValue("AGE", &age);
    int32_t ageBack = 0;
    obj->GetAttributeValue("AGE", &ageBack, isNull);
    EXPECT_EQ(ageBack, 33);
    double salary = 1500.25, salaryBack = 0;
    obj->SetAttributeValue("SALARY", &salary);
    obj->GetAttributeValue("SALARY", &salaryBack, isNull);
    EXPECT_DOUBLE_EQ(salaryBack, 1500.25);
    double ms = DateTimeToMSecs(EncodeDate(1999, 1, 2) + EncodeTime(3, 4, 5, 0)), msBack = 0;
    obj->SetAttributeValue("HOME.ZIP", &age);
    obj->SetAttributeValue("BORN", &ms);
    obj->GetAttributeValue("BORN", &msBack, isNull);
    EXPECT_DOUBLE_EQ(msBack, ms);
    EXPECT_DOUBLE_EQ(o->AttrAsDateTime("BORN"), EncodeDate(1999, 1, 2) + EncodeTime(3, 4, 5, 0));
    // A nil source makes the value null; a nil destination asks only for the null flag.
    obj->SetAttributeValue("AGE", nullptr);
    obj->GetAttributeValue("AGE", nullptr, isNull);
    EXPECT_TRUE(isNull);
    ageBack = 7;
    obj->GetAttributeValue("AGE", &ageBack, isNull);
    EXPECT_TRUE(isNull);
    EXPECT_EQ(ageBack, 7); // untouched
    obj->GetAttributeValue("HOME.ZIP", &ageBack, isNull);
    EXPECT_FALSE(isNull);
    EXPECT_EQ(ageBack, 33);
    // A collection has no exchange form.
    THeld<TOraArray> phones(o->AttrAsArray("PHONES"));
    phones->AppendString("1");
    EXPECT_ANY_THROW(obj->GetAttributeValue("PHONES", text, isNull));
}

TEST_F(OraObjects, InvalidPathsAndMismatchedAccessorsRaiseTheirTexts) {
    THeld<TOraType> t(Type("PERSON_T"));
    THeld<TOraObject> o(new TOraObject(t.p));
    o->AllocObject();
    for (const char* path : {"NOPE", "HOME.", "HOME..CITY", "PHONES[", "PHONES[]", "PHONES[x]", "PHONES[-1]",
                             "NAME[0]", "HOME.CITY.X", "NAME.X", "", "HOME.NOPE", ".NAME"})
        EXPECT_EQ(ErrorOf([&] { o->AttrIsNull(path); }), "Invalid attribute name") << path;

    EXPECT_EQ(ErrorOf([&] { o->AttrAsFloat("NAME"); }), "Cannot convert type to Float");
    EXPECT_EQ(ErrorOf([&] { o->SetAttrAsFloat("BORN", 1); }), "Cannot convert type to Float");
    EXPECT_EQ(ErrorOf([&] { o->AttrAsInteger("BORN"); }), "Cannot convert type to Integer");
    EXPECT_EQ(ErrorOf([&] { o->AttrAsString("BORN"); }), "Cannot convert type to String");
    EXPECT_EQ(ErrorOf([&] { o->SetAttrAsString("AGE", "1"); }), "Cannot convert type to String");
    EXPECT_EQ(ErrorOf([&] { o->AttrAsDateTime("NAME"); }), "Cannot convert type to Date");
    EXPECT_EQ(ErrorOf([&] { o->AttrAsOCINumber("NAME"); }), "Cannot convert type to OCINumber");
    EXPECT_EQ(ErrorOf([&] { o->AttrAsOCIString("AGE"); }), "Cannot convert type to OCIString");
    EXPECT_EQ(ErrorOf([&] { o->AttrAsOCIDate("AGE"); }), "Cannot convert type to OCIDate");
    EXPECT_EQ(ErrorOf([&] { o->AttrAsLobLocator("NAME"); }), "Cannot convert type to Lob");
    EXPECT_EQ(ErrorOf([&] { o->AttrAsTimeStamp("CV"); }), "Cannot convert type to TimeStamp");
    EXPECT_EQ(ErrorOf([&] { o->AttrAsInterval("SEEN"); }), "Cannot convert type to Interval");
    EXPECT_EQ(ErrorOf([&] { o->AttrAsObject("NAME"); }), "Cannot convert type to Object");
    // The matching accessors answer.
    EXPECT_EQ(o->AttrAsLobLocator("CV"), nullptr);
    EXPECT_EQ(o->AttrAsTimeStamp("SEEN"), nullptr);
    EXPECT_NE(o->AttrAsOCINumber("AGE"), nullptr);
    EXPECT_NE(*o->AttrAsOCIString("NAME"), nullptr);

    THeld<TOraObject> empty(new TOraObject(t.p));
    EXPECT_EQ(ErrorOf([&] { empty->AttrAsString("NAME"); }), "Object is not allocated");
    EXPECT_EQ(ErrorOf([&] { empty->Flush(); }), "Object is not allocated");
    THeld<TOraObject> untyped(new TOraObject());
    EXPECT_EQ(ErrorOf([&] { untyped->AllocObject(); }), "Type of object must be defined");
    EXPECT_EQ(ErrorOf([&] { (void)new TOraArray(t.p); }), "Type of object must be Array");
    THeld<TOraType> phones(Type("PHONES_T"));
    EXPECT_EQ(ErrorOf([&] { (void)new TOraNestTable(phones.p); }), "Type of object must be Table");
}

TEST_F(OraObjects, AVarrayAppendsUpToItsLimitAndAMissingElementReadsAsNull) {
    THeld<TOraType> t(Type("PERSON_T"));
    THeld<TOraObject> o(new TOraObject(t.p));
    o->AllocObject();
    THeld<TOraArray> phones(o->AttrAsArray("PHONES"));
    EXPECT_EQ(phones->Size(), 0);
    phones->AppendString("0228-1");
    phones->AppendNull();
    phones->AppendString("0228-3");
    EXPECT_EQ(phones->Size(), 3);
    EXPECT_EQ(o->AttrAsString("PHONES[0]"), "0228-1");
    EXPECT_TRUE(o->AttrIsNull("PHONES[1]"));
    EXPECT_EQ(phones->ItemAsString(2), "0228-3");
    EXPECT_FALSE(o->AttrIsNull("PHONES"));
    // Past the end: null, and a write there is refused.
    EXPECT_TRUE(o->AttrIsNull("PHONES[7]"));
    EXPECT_EQ(o->AttrAsString("PHONES[7]"), "");
    EXPECT_EQ(ErrorOf([&] { phones->SetItemAsString(7, "x"); }), "Index of array is not range");
    phones->SetItemAsString(1, "0228-2");
    EXPECT_EQ(o->AttrAsString("PHONES[1]"), "0228-2");
    EXPECT_FALSE(phones->ItemIsNull(1));
    // The fourth element is beyond VARRAY(3).
    try {
        phones->AppendString("0228-4");
        FAIL();
    } catch (const EOraError& e) {
        EXPECT_EQ(e.ErrorCode, 22165);
    }
    EXPECT_EQ(ErrorOf([&] { phones->AppendFloat(1); }), "Cannot convert type to Float");
    EXPECT_EQ(ErrorOf([&] { phones->ItemAsFloat(0); }), "Cannot convert type to Float");
}

TEST_F(OraObjects, ANestedTableSkipsDeletedElements) {
    THeld<TOraType> t(Type("SCORES_T"));
    THeld<TOraNestTable> n(new TOraNestTable(t.p));
    n->AllocObject();
    EXPECT_TRUE(n->OwnsInstance());
    n->AppendFloat(1.5);
    n->AppendFloat(2.5);
    n->AppendInteger(3);
    n->DeleteItem(1);
    EXPECT_EQ(n->Size(), 3);
    EXPECT_EQ(n->TableSize(), 2);
    EXPECT_EQ(n->NextIndex(-1), 0);
    EXPECT_EQ(n->NextIndex(0), 2);
    EXPECT_EQ(n->NextIndex(2), -1);
    EXPECT_TRUE(n->ItemIsNull(1));
    EXPECT_DOUBLE_EQ(n->ItemAsFloat(0), 1.5);
    EXPECT_EQ(n->ItemAsInteger(2), 3);
    n->SetItemAsFloat(2, 9.25);
    EXPECT_DOUBLE_EQ(n->ItemAsFloat(2), 9.25);
    EXPECT_THROW(n->DeleteItem(1), EOraError); // already gone
    // The nested table of an object.
    THeld<TOraType> pt(Type("PERSON_T"));
    THeld<TOraObject> o(new TOraObject(pt.p));
    o->AllocObject();
    THeld<TOraArray> scores(o->AttrAsArray("SCORES"));
    ASSERT_NE(dynamic_cast<TOraNestTable*>(scores.p), nullptr);
    scores->AppendFloat(7.75);
    EXPECT_DOUBLE_EQ(o->AttrAsFloat("SCORES[0]"), 7.75);
}

TEST_F(OraObjects, CreatedInstancesAreFreedAndPinnedOnesAreNot) {
    int live = Counter(0), unpins = Counter(2), pins = Counter(1);
    THeld<TOraType> t(Type("PERSON_T"));
    {
        THeld<TOraObject> o(new TOraObject(t.p));
        o->AllocObject();
        EXPECT_EQ(Counter(0), live + 1);
        o->AllocObject(); // the first instance goes
        EXPECT_EQ(Counter(0), live + 1);
        THeld<TOraArray> a(new TOraArray(Type("PHONES_T")));
        a->OraType()->Release(); // the holder keeps its own reference
        a->AllocObject();
        EXPECT_EQ(Counter(0), live + 2);
    }
    EXPECT_EQ(Counter(0), live);

    // Through a REF: SCOTT is pinned, and his BOSS REF leads to KING.
    {
        THeld<TOraRef> ref(new TOraRef(t.p));
        EXPECT_TRUE(ref->IsNull());
        EXPECT_EQ(ErrorOf([&] { ref->Object(); }), "OCIRef is not assigned");
        ref->Assign(CatalogueRef("SCOTT"));
        EXPECT_FALSE(ref->IsNull());
        TOraObject* scott = ref->Object();
        EXPECT_EQ(ref->Object(), scott); // pinned once
        EXPECT_FALSE(scott->OwnsInstance());
        EXPECT_EQ(scott->AttrAsString("NAME"), "SCOTT");
        EXPECT_DOUBLE_EQ(scott->AttrAsFloat("SALARY"), 3000);
        THeld<TOraRef> boss(scott->AttrAsRef("BOSS"));
        EXPECT_EQ(boss->RefType()->Name, "SCOTT.PERSON_T");
        EXPECT_EQ(boss->Object()->AttrAsString("NAME"), "KING");
        EXPECT_EQ(boss->Object()->AttrAsInteger("AGE"), 61);
        EXPECT_EQ(Counter(1), pins + 2);
        // Flush and delete mark go to the pinned object.
        int flushes = Counter(3);
        scott->Flush();
        EXPECT_EQ(Counter(3), flushes + 1);
        // Clearing the REF attribute clears it inside the instance; assigning it again works.
        boss->Clear();
        EXPECT_TRUE(boss->IsNull());
        {
            THeld<TOraRef> same(scott->AttrAsRef("BOSS"));
            EXPECT_TRUE(same->IsNull());
        }
        boss->Assign(CatalogueRef("KING"));
        EXPECT_EQ(boss->Object()->AttrAsString("NAME"), "KING");
    }
    EXPECT_EQ(Counter(2), unpins); // nothing pinned was freed
    EXPECT_EQ(Counter(0), live);

    THeld<TOraRef> none(new TOraRef());
    EXPECT_EQ(ErrorOf([&] { none->Object(); }), "Reference is not defined");
    EXPECT_EQ(ErrorOf([&] { none->Assign(nullptr); }), "OCIRef is not assigned");
}

TEST_F(OraObjects, AnObjectMarkedForDeleteCannotBePinnedAgain) {
    THeld<TOraType> t(Type("PERSON_T"));
    THeld<TOraRef> ref(new TOraRef(t.p));
    ref->Assign(CatalogueRef("KING"));
    ref->Object()->MarkDelete();
    THeld<TOraRef> again(new TOraRef(t.p));
    again->Assign(CatalogueRef("KING"));
    try {
        again->Object();
        FAIL();
    } catch (const EOraError& e) {
        EXPECT_EQ(e.ErrorCode, 21700);
    }
    // A created instance is not persistent: no delete mark for it.
    THeld<TOraObject> o(new TOraObject(t.p));
    o->AllocObject();
    EXPECT_THROW(o->MarkDelete(), EOraError);
}

// ---- Network mode ----

oracall::TOCIAttrGet g_realAttrGet = nullptr;

// Reports every described column as a named type SCOTT.PERSON_T.
oracall::sword ObjectColumns(const oracall::dvoid* h, oracall::ub4 type, oracall::dvoid* target,
                             oracall::ub4* size, oracall::ub4 attr, oracall::OCIError* err) {
    if (type == oracall::OCI_DTYPE_PARAM &&
        (attr == oracall::OCI_ATTR_TYPE_NAME || attr == oracall::OCI_ATTR_SCHEMA_NAME)) {
        static const char* names[] = {"PERSON_T", "SCOTT"};
        const char* n = names[attr == oracall::OCI_ATTR_TYPE_NAME ? 0 : 1];
        memcpy(target, &n, sizeof n);
        if (size) *size = oracall::ub4(strlen(n));
        return 0;
    }
    oracall::sword r = g_realAttrGet(h, type, target, size, attr, err);
    if (r == 0 && type == oracall::OCI_DTYPE_PARAM && attr == oracall::OCI_ATTR_DATA_TYPE) {
        oracall::ub2 named = 108;
        memcpy(target, &named, sizeof named);
    }
    return r;
}

TEST(OraObjectsNetworkMode, ObjectCallsAreNotSupportedAndTheSessionGoesOn) {
    TEmu emu;
    auto s = MakeSession(emu);
    s->Connect();
    EXPECT_EQ(ErrorOf([&] { TOraType::Find(s->OCIConnection()->SvcCtx(), "PERSON_T"); }),
              "Function is not supported");
    EXPECT_EQ(
        ErrorOf([] { oracall::OCIObjectNew(nullptr, nullptr, nullptr, 0, nullptr, nullptr, 0, 0, nullptr); }),
        "Function is not supported");

    // A statement whose column is an object type fails with the same text.
    TOraQuery q(s.get());
    q.SetSQL("SELECT ENAME FROM EMP WHERE EMPNO = 7839");
    g_realAttrGet = oracall::OCIAttrGet;
    oracall::OCIAttrGet = &ObjectColumns;
    std::string error = ErrorOf([&] { q.Open(); });
    oracall::OCIAttrGet = g_realAttrGet;
    EXPECT_EQ(error, "Function is not supported");
    EXPECT_FALSE(q.Active());
    EXPECT_TRUE(s->Connected());
    q.Open();
    EXPECT_EQ(q.Fields(0)->AsString(), "KING");
    TOraQuery other(s.get());
    other.SetSQL("SELECT COUNT(*) FROM DEPT");
    other.Open();
    EXPECT_EQ(other.Fields(0)->AsString(), "4");
}

} // namespace
