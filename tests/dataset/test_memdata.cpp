// Record storage and row store: descriptors, conversions, the local filter, string heap, blobs, blocks,
// record numbers, bookmarks and cached updates, driven through the store's public operations.
#include "dataset/MemData.h"
#include "dataset/Platform.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

namespace {

// A store whose columns are declared by the test, as a server layer would describe them.
class TTestStore : public TMemData {
public:
    struct Col {
        std::string name;
        uint16_t type;
        uint16_t length = 0;
        uint16_t scale = 0;
        bool fixed = false;
    };
    std::vector<Col> cols;

protected:
    void InternalInitFields() override {
        for (const Col& c : cols)
            AddFieldDesc(c.name, c.type, c.length, c.scale, false, c.fixed);
    }
};

std::unique_ptr<TTestStore> MakeStore(std::vector<TTestStore::Col> cols) {
    auto s = std::make_unique<TTestStore>();
    s->cols = std::move(cols);
    s->InitFields();
    s->Open();
    return s;
}

struct RecBuf {
    TData& d;
    uint8_t* p;
    explicit RecBuf(TData& data) : d(data), p(data.AllocRecBuf()) {
        for (int i = 1; i <= d.FieldCount(); ++i)
            d.SetNull(i, p, true);
    }
    ~RecBuf() { d.FreeRecBuf(p); }
};

void PutInt(TData& d, uint8_t* rec, int fieldNo, int32_t v) {
    d.PutField(fieldNo, rec, &v);
}
void PutStr(TData& d, uint8_t* rec, int fieldNo, const char* s) {
    d.PutField(fieldNo, rec, s);
}

int32_t GetInt(TData& d, uint8_t* rec, int fieldNo) {
    int32_t v = 0;
    bool blank;
    d.GetField(fieldNo, rec, &v, blank);
    return blank ? -999 : v;
}

std::string GetStr(TData& d, uint8_t* rec, int fieldNo) {
    std::vector<char> buf(600, '\0');
    bool blank;
    d.GetField(fieldNo, rec, buf.data(), blank);
    return blank ? std::string("<null>") : std::string(buf.data());
}

// Appends rows (ID, NAME) and returns the store.
std::unique_ptr<TTestStore> MakeRows(int n) {
    auto s = MakeStore({{"ID", dtInt32}, {"NAME", dtString, 10}});
    RecBuf r(*s);
    for (int i = 1; i <= n; ++i) {
        PutInt(*s, r.p, 1, i);
        PutStr(*s, r.p, 2, ("N" + std::to_string(i)).c_str());
        s->AppendRecord(r.p);
    }
    return s;
}

std::vector<int> VisibleIds(TMemData& s) {
    std::vector<int> ids;
    RecBuf r(s);
    s.SetToBegin();
    for (;;) {
        s.GetNextRecord(r.p);
        if (s.GetEOF()) break;
        ids.push_back(GetInt(s, r.p, 1));
    }
    return ids;
}

} // namespace

// ---- Field descriptors ----

TEST(FieldDescriptors, DuplicateNamesAreNumberedPerOwnName) {
    auto s = MakeStore(
        {{"ID", dtInt32}, {"NAME", dtString, 5}, {"ID", dtInt32}, {"ID", dtInt32}, {"id", dtInt32}});
    std::vector<std::string> names;
    for (int i = 0; i < s->FieldCount(); ++i)
        names.push_back(s->Fields()[i]->Name);
    EXPECT_EQ(names, (std::vector<std::string>{"ID", "NAME", "ID_1", "ID_2", "id_3"}));

    std::vector<TTestStore::Col> twelve(12, TTestStore::Col{"X", dtInt32});
    auto t = MakeStore(twelve);
    EXPECT_EQ(t->Fields()[0]->Name, "X");
    EXPECT_EQ(t->Fields()[1]->Name, "X_1");
    EXPECT_EQ(t->Fields()[11]->Name, "X_11");
}

TEST(FieldDescriptors, LayoutAndLookup) {
    auto s = MakeStore({{"A", dtInt32}, {"B", dtString, 10}, {"C", dtFloat}, {"D", dtWideString, 3}});
    EXPECT_EQ(s->Fields()[1]->Offset, 4);
    EXPECT_EQ(s->Fields()[2]->Offset, 15);
    EXPECT_EQ(s->DataSize(), 4 + 11 + 8 + 8);
    EXPECT_EQ(s->RecordSize(), s->DataSize() + 4);
    EXPECT_EQ(s->FindField("b"), s->Fields()[1]);
    EXPECT_EQ(s->FindField("Z"), nullptr);
    try {
        s->FieldByName("Z");
        FAIL();
    } catch (const EDatabaseError& e) {
        EXPECT_STREQ(e.what(), "Field Z not found.");
    }
    bool blank;
    EXPECT_THROW(s->GetField(5, nullptr, nullptr, blank), EAssertionFailed);
    EXPECT_THROW(s->GetField(0, nullptr, nullptr, blank), EAssertionFailed);
}

TEST(ObjectTypes, AttributePathsAndChildFields) {
    auto* addr = new TObjectType;
    addr->Name = "ADDR_T";
    addr->AddAttribute("STREET", dtString, 30, 31);
    auto* lines = new TObjectType;
    lines->Name = "LINES_T";
    lines->DataType = dtArray;
    lines->Size = 3;
    lines->AddAttribute("ELEMENT", dtString, 10, 11);
    addr->AddAttribute("LINES", dtArray)->SetObjectType(lines);
    // A self-reference holds no reference to its own type.
    addr->AddAttribute("NEXT", dtObject)->SetObjectType(addr);
    EXPECT_EQ(addr->RefCount(), 1);
    EXPECT_EQ(lines->RefCount(), 2);

    EXPECT_EQ(addr->FindAttribute(" street")->Name, "STREET");
    EXPECT_EQ(addr->FindAttribute("LINES[0]")->Name, "ELEMENT");
    EXPECT_EQ(addr->FindAttribute("LINES[0"), nullptr);
    EXPECT_EQ(addr->FindAttribute("STREET.X"), nullptr); // a further step needs a structured attribute
    EXPECT_THROW(addr->AttributeByName("NOPE"), EDatabaseError);

    TTestStore s;
    s.AutoInitFields = false;
    TFieldDesc* root = s.AddFieldDesc("ADDRESS", dtObject);
    root->SetObjectType(addr);
    s.InitChildFields(root);
    ASSERT_GE(s.FieldCount(), 6);
    EXPECT_EQ(s.Fields()[1]->ActualName, "ADDRESS.STREET");
    EXPECT_EQ(s.Fields()[2]->ActualName, "ADDRESS.LINES");
    EXPECT_EQ(s.Fields()[3]->ActualName, "ADDRESS.LINES[0]");
    EXPECT_EQ(s.Fields()[3]->Name, "[0]");
    EXPECT_EQ(s.FindField("address.lines[2]"), s.Fields()[5]);
    lines->Release();
    addr->Release();
}

// ---- Strings and nulls ----

TEST(FieldValues, EmptyStringsAndNulls) {
    auto s = MakeStore({{"S", dtString, 5}, {"E", dtExtString, 5}, {"W", dtWideString, 4}});
    RecBuf r(*s);
    PutStr(*s, r.p, 1, "");
    EXPECT_TRUE(s->GetNull(1, r.p));
    PutStr(*s, r.p, 2, "");
    EXPECT_FALSE(s->GetNull(2, r.p));
    char16_t empty[1] = {0};
    s->PutField(3, r.p, empty);
    EXPECT_TRUE(s->GetNull(3, r.p));

    s->KeepEmptyStrings = true;
    PutStr(*s, r.p, 1, "");
    EXPECT_FALSE(s->GetNull(1, r.p));
    s->PutField(1, r.p, nullptr);
    EXPECT_TRUE(s->GetNull(1, r.p));
    s->FreeComplexFields(r.p, true);
}

TEST(FieldValues, FixedCharTrimming) {
    auto s = MakeStore({{"C", dtString, 6, 0, true}});
    RecBuf r(*s);
    PutStr(*s, r.p, 1, "AB    ");
    EXPECT_EQ(GetStr(*s, r.p, 1), "AB");
    PutStr(*s, r.p, 1, "      ");
    EXPECT_EQ(GetStr(*s, r.p, 1), " "); // the first character stays
    Variant v;
    s->GetFieldAsVariant(1, r.p, v);
    EXPECT_EQ(v.AsString(), "");
    s->TrimFixedChar = false;
    EXPECT_EQ(GetStr(*s, r.p, 1), "      ");
}

TEST(FieldValues, VariantWritesAreCutAndTyped) {
    auto s = MakeStore({{"S", dtString, 3},
                        {"N", dtInt32},
                        {"F", dtFloat, 10, 2},
                        {"B", dtBoolean},
                        {"Y", dtBytes, 2},
                        {"V", dtVarBytes, 3},
                        {"I16", dtInt16},
                        {"L", dtInt64}});
    RecBuf r(*s);
    PutInt(*s, r.p, 2, 77);
    s->PutFieldAsVariant(1, r.p, Variant("ABCDEFG"));
    Variant v;
    s->GetFieldAsVariant(1, r.p, v);
    EXPECT_EQ(v.AsString(), "ABC");
    EXPECT_EQ(GetInt(*s, r.p, 2), 77); // the neighbour is untouched

    s->PutFieldAsVariant(2, r.p, Variant("123"));
    EXPECT_EQ(GetInt(*s, r.p, 2), 123);
    EXPECT_THROW(s->PutFieldAsVariant(2, r.p, Variant("12x")), EConvertError);
    EXPECT_THROW(s->PutFieldAsVariant(2, r.p, Variant(true)), EConvertError);

    s->PutFieldAsVariant(3, r.p, Variant(1.23456));
    s->GetFieldAsVariant(3, r.p, v);
    EXPECT_DOUBLE_EQ(v.AsDouble(), 1.23);

    EXPECT_THROW(s->PutFieldAsVariant(4, r.p, Variant(int32_t(1))), EConvertError);
    s->PutFieldAsVariant(4, r.p, Variant(true));
    int16_t raw;
    std::memcpy(&raw, r.p + s->Fields()[3]->Offset, 2);
    EXPECT_EQ(raw, -1);

    try {
        s->PutFieldAsVariant(5, r.p, Variant("xy"));
        FAIL();
    } catch (const EAssertionFailed& e) {
        EXPECT_STREQ(e.what(), "Invalid VType");
    }
    try {
        s->PutFieldAsVariant(5, r.p, Variant::FromBytes("abc", 3));
        FAIL();
    } catch (const EAssertionFailed& e) {
        EXPECT_STREQ(e.what(), "Invalid data size");
    }
    s->PutFieldAsVariant(6, r.p, Variant::FromBytes("ab", 2));
    s->GetFieldAsVariant(6, r.p, v);
    EXPECT_EQ(v.Bytes(), (std::vector<uint8_t>{'a', 'b'}));
    EXPECT_THROW(s->PutFieldAsVariant(7, r.p, Variant(1.5)), EConvertError); // small integers only
    EXPECT_THROW(s->PutFieldAsVariant(8, r.p, Variant(int32_t(5))), EConvertError);
    s->PutFieldAsVariant(8, r.p, Variant(int64_t(1) << 40));
    s->GetFieldAsVariant(8, r.p, v);
    EXPECT_EQ(v.AsInt64(), int64_t(1) << 40);

    s->PutFieldAsVariant(2, r.p, Variant::Null());
    s->GetFieldAsVariant(2, r.p, v);
    EXPECT_TRUE(v.IsNull());
}

TEST(FieldValues, ExchangeFormsOfDates) {
    auto s = MakeStore({{"D", dtDate}, {"T", dtTime}, {"DT", dtDateTime}});
    RecBuf r(*s);
    int32_t day = 730120; // 2000-01-01
    s->PutField(1, r.p, &day);
    Variant v;
    s->GetFieldAsVariant(1, r.p, v);
    int y, m, d;
    DecodeDate(v.AsDateTime(), y, m, d);
    EXPECT_EQ(y * 10000 + m * 100 + d, 20000101);
    int32_t back = 0;
    bool blank;
    s->GetField(1, r.p, &back, blank);
    EXPECT_EQ(back, day);

    int32_t ms = 3723004; // 01:02:03.004
    s->PutField(2, r.p, &ms);
    double stored;
    std::memcpy(&stored, r.p + s->Fields()[1]->Offset, 8);
    EXPECT_LT(stored, 1.0); // no day part
    s->GetField(2, r.p, &back, blank);
    EXPECT_EQ(back, ms);

    double stamp = 730120.0 * 86400000.0 + 1000.4; // rounded to whole milliseconds
    s->PutField(3, r.p, &stamp);
    double out;
    s->GetField(3, r.p, &out, blank);
    EXPECT_EQ(out, 730120.0 * 86400000.0 + 1000.0);

    s->PutFieldAsVariant(3, r.p, Variant("24.12.1999 18:30"));
    s->GetFieldAsVariant(3, r.p, v);
    EXPECT_EQ(DateTimeToStr(v.AsDateTime()), "24.12.1999 18:30:00");
}

TEST(FieldValues, LineFeedsAreExpandedWhenAsked) {
    class EolStore : public TTestStore {
    public:
        bool GetConvertEOL() override { return true; }
    };
    EolStore s;
    s.cols = {{"S", dtString, 10}, {"E", dtExtString, 10}};
    s.InitFields();
    RecBuf r(s);
    PutStr(s, r.p, 1, "a\nb\r\nc");
    PutStr(s, r.p, 2, "\n\n");
    EXPECT_EQ(GetStr(s, r.p, 1), "a\r\nb\r\nc");
    EXPECT_EQ(GetStr(s, r.p, 2), "\r\n\r\n");
    s.FreeComplexFields(r.p, true);
}

// ---- Local filter ----

class FilterTest : public ::testing::Test {
protected:
    void SetUp() override {
        s = MakeStore({{"ID", dtInt32},
                       {"NAME", dtString, 10},
                       {"D", dtDateTime},
                       {"FLAG", dtBoolean},
                       {"ORDER DATE", dtDate}});
        RecBuf r(*s);
        const char* names[] = {"ABC", "A", "A*", "abc", nullptr, "XA"};
        for (int i = 0; i < 6; ++i) {
            for (int f = 1; f <= s->FieldCount(); ++f)
                s->SetNull(f, r.p, true);
            PutInt(*s, r.p, 1, i + 1);
            if (names[i]) PutStr(*s, r.p, 2, names[i]);
            s->PutFieldAsVariant(3, r.p, Variant::FromDateTime(EncodeDate(2020, 1, i + 1)));
            s->AppendRecord(r.p);
        }
    }
    std::vector<int> Apply(const std::string& text) {
        s->SetFilterText(text);
        s->FilterUpdated();
        return VisibleIds(*s);
    }
    std::unique_ptr<TTestStore> s;
};

TEST_F(FilterTest, PatternsAndPartialCompare) {
    EXPECT_EQ(Apply("NAME = 'A*'"), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(Apply("NAME LIKE 'A_C'"), (std::vector<int>{1}));
    EXPECT_EQ(Apply("NAME = '*A'"), (std::vector<int>{2, 6}));
    EXPECT_EQ(Apply("NAME = '%'"), (std::vector<int>{}));
    s->FilterNoPartialCompare = true;
    EXPECT_EQ(Apply("NAME = 'A*'"), (std::vector<int>{3}));
    s->FilterNoPartialCompare = false;
    s->FilterCaseInsensitive = true;
    EXPECT_EQ(Apply("NAME = 'abc'"), (std::vector<int>{1, 4}));
    EXPECT_EQ(Apply("NAME <> 'abc'"), (std::vector<int>{2, 3, 5, 6}));
}

TEST_F(FilterTest, NullsAndComparisons) {
    EXPECT_EQ(Apply("NAME = NULL"), (std::vector<int>{5}));
    EXPECT_EQ(Apply("NAME > NULL"), (std::vector<int>{}));
    EXPECT_EQ(Apply("NAME <> NULL"), (std::vector<int>{1, 2, 3, 4, 6}));
    EXPECT_EQ(Apply("ID >= 2 AND ID < 4 OR ID = 6"), (std::vector<int>{2, 3, 6}));
    EXPECT_EQ(Apply("NOT (ID > 1)"), (std::vector<int>{1}));
    EXPECT_EQ(Apply("ID > -1 AND ID <= +2"), (std::vector<int>{1, 2}));
    EXPECT_EQ(Apply("FALSE OR ID = 3"), (std::vector<int>{3}));
    EXPECT_EQ(Apply("D > '03.01.2020'"), (std::vector<int>{4, 5, 6}));
    EXPECT_EQ(Apply("[ORDER DATE] = NULL AND TRUE"), (std::vector<int>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(Apply("  "), (std::vector<int>{1, 2, 3, 4, 5, 6}));
    EXPECT_FALSE(s->HasFilterTree());
}

TEST_F(FilterTest, DecimalSeparatorOfTheLocale) {
    char saved = platform::DecimalSeparator();
    platform::SetDecimalSeparator(',');
    EXPECT_EQ(Apply("ID > 2,5"), (std::vector<int>{3, 4, 5, 6}));
    EXPECT_THROW(Apply("ID > 2.5"), EDatabaseError);
    platform::SetDecimalSeparator('.');
    EXPECT_EQ(Apply("ID < 2.5"), (std::vector<int>{1, 2}));
    platform::SetDecimalSeparator(saved);
}

TEST_F(FilterTest, BadExpressionsRaiseAndLeaveNoTree) {
    auto message = [&](const std::string& text) -> std::string {
        try {
            s->SetFilterText(text);
        } catch (const EDatabaseError& e) {
            EXPECT_FALSE(s->HasFilterTree()) << text;
            return e.what();
        }
        return "accepted";
    };
    EXPECT_EQ(message("NULL = NAME"), "Illegal filter expression.");
    EXPECT_EQ(message("TRUE = FLAG"), "Illegal filter expression.");
    EXPECT_EQ(message("ID = 1 ID"), "Illegal filter expression.");
    EXPECT_EQ(message("(ID = 1"), "Illegal filter expression.");
    EXPECT_EQ(message("ID"), "Illegal filter expression.");
    EXPECT_EQ(message("ID = "), "Illegal filter expression.");
    EXPECT_EQ(message("[ID = 1"), "Illegal filter expression.");
    EXPECT_EQ(message("NOPE = 1"), "Field NOPE not found.");
    EXPECT_EQ(message("[ORDER  DATE] = 1"), "Field ORDER  DATE not found.");
    EXPECT_EQ(message("ID = 1"), "accepted");
    EXPECT_TRUE(s->HasFilterTree());
}

// ---- String heap ----

TEST(StringHeap, ReferenceWordsAndReuse) {
    TStringHeap h;
    EXPECT_EQ(h.NewBuf(0), nullptr);
    char* a = h.AllocStr("hello");
    EXPECT_EQ(TStringHeap::RefWord(a), 101);
    EXPECT_EQ(TStringHeap::BufSize(a), 8);
    h.AddRefStr(a);
    EXPECT_EQ(TStringHeap::RefWord(a), 102);
    h.DisposeBuf(a);
    h.DisposeBuf(a);
    EXPECT_EQ(TStringHeap::RefWord(a), 100);
    try {
        h.DisposeBuf(a);
        FAIL();
    } catch (const EAssertionFailed& e) {
        EXPECT_STREQ(e.what(), "DisposeBuf failed");
    }
    try {
        h.AddRefStr(a);
        FAIL();
    } catch (const EAssertionFailed& e) {
        EXPECT_STREQ(e.what(), "AddRefStr failed");
    }
    char* b = h.AllocStr("world  ", true);
    EXPECT_EQ(b, a); // the free buffer of the same size class is reused
    EXPECT_STREQ(b, "world");
    h.DisposeBuf(b);

    char* big = h.NewBuf(5000);
    EXPECT_TRUE(h.HasLargeBuffers());
    std::memset(big, 'x', 5000);
    h.DisposeBuf(big);
    EXPECT_FALSE(h.HasLargeBuffers());
}

TEST(StringHeap, ManyBuffersAcrossBlocks) {
    TStringHeap h;
    std::vector<char*> bufs;
    for (int i = 0; i < 3000; ++i) {
        std::string s(size_t(1 + i % 300), char('a' + i % 26));
        bufs.push_back(h.AllocStr(s));
    }
    for (int i = 0; i < 3000; ++i) {
        ASSERT_EQ(std::strlen(bufs[size_t(i)]), size_t(1 + i % 300));
        ASSERT_EQ(bufs[size_t(i)][0], char('a' + i % 26));
    }
    for (int i = 0; i < 3000; i += 2)
        h.DisposeBuf(bufs[size_t(i)]);
    h.Clear();
    EXPECT_TRUE(h.Empty());
}

// ---- Blobs ----

TEST(Blobs, PiecesAcrossBoundaries) {
    TBlob* b = new TBlob;
    std::vector<uint8_t> data(100000);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = uint8_t(i * 7);
    b->Write(0, uint32_t(data.size()), data.data());
    ASSERT_NE(b->FirstPiece(), nullptr);
    EXPECT_EQ(b->FirstPiece()->Used, 65514u);
    ASSERT_NE(b->FirstPiece()->Next, nullptr);
    EXPECT_EQ(b->FirstPiece()->Next->Used, 34486u);
    EXPECT_EQ(b->FirstPiece()->Next->Next, nullptr);
    std::vector<uint8_t> out(1000);
    EXPECT_EQ(b->Read(65000, 1000, out.data()), 1000u);
    EXPECT_TRUE(std::equal(out.begin(), out.end(), data.begin() + 65000));
    EXPECT_EQ(b->Read(200000, 10, out.data()), 0u);
    EXPECT_EQ(b->Read(99995, 100, out.data()), 5u);

    // Overwrite across the boundary and append past the end.
    std::vector<uint8_t> patch(600, 0xAB);
    b->Write(65200, 600, patch.data());
    b->Write(b->Size(), 3, "xyz");
    EXPECT_EQ(b->Size(), 100003u);
    EXPECT_EQ(b->Read(65200, 600, out.data()), 600u);
    EXPECT_EQ(out[0], 0xAB);
    EXPECT_EQ(out[599], 0xAB);
    b->Truncate(70000);
    EXPECT_EQ(b->Size(), 70000u);
    b->Compact();
    EXPECT_EQ(b->Size(), 70000u);
    b->Release();
}

TEST(Blobs, RollbackCancelAndCommit) {
    TBlob* b = new TBlob;
    b->SetAsString("old contents");
    EXPECT_THROW(b->SaveToRollback(), Exception);
    b->Cached = true;
    b->SetAsString("new");
    EXPECT_TRUE(b->HasRollback());
    b->Cancel();
    EXPECT_EQ(b->AsString(), "old contents");
    EXPECT_FALSE(b->Cached);
    b->Cached = true;
    b->Truncate(3);
    EXPECT_EQ(b->AsString(), "old");
    b->Cancel();
    EXPECT_EQ(b->AsString(), "old contents");
    b->Cached = true;
    b->Write(4, 3, "CON"); // a write inside keeps the bytes around it
    EXPECT_EQ(b->AsString(), "old CONtents");
    b->Cancel();
    EXPECT_EQ(b->AsString(), "old contents");
    b->Cached = true;
    b->Truncate(3);
    b->Commit();
    EXPECT_EQ(b->AsString(), "old");
    EXPECT_FALSE(b->HasRollback());

    b->SetAsString("a\nb\r\nc\n");
    b->ExpandLineFeeds();
    EXPECT_EQ(b->AsString(), "a\r\nb\r\nc\r\n");
    b->CollapseLineFeeds();
    EXPECT_EQ(b->AsString(), "a\nb\nc\n");

    TMemoryStream ms;
    b->SaveToStream(ms);
    EXPECT_EQ(ms.Data().size(), 6u);
    TBlob* c = new TBlob;
    c->LoadFromStream(ms);
    EXPECT_EQ(c->AsString(), "a\nb\nc\n");
    c->Release();
    b->Release();
}

TEST(Blobs, FieldAccessThroughTheStore) {
    auto s = MakeStore({{"ID", dtInt32}, {"M", dtMemo}});
    RecBuf r(*s);
    s->CreateComplexFields(r.p, true);
    s->SetNull(2, r.p, true);
    EXPECT_THROW(s->GetBlob(1, r.p), EDatabaseError);
    s->WriteBlob(2, r.p, 0, 5, "hello");
    EXPECT_FALSE(s->GetNull(2, r.p));
    EXPECT_EQ(s->GetBlobSize(2, r.p), 5u);
    Variant v;
    s->GetFieldAsVariant(2, r.p, v);
    EXPECT_EQ(v.AsString(), "hello");
    s->GetBlob(2, r.p)->Commit();
    s->TruncateBlob(2, r.p, 0);
    EXPECT_TRUE(s->GetNull(2, r.p));
    s->GetBlob(2, r.p)->Cancel(); // the truncation saved a rollback
    EXPECT_EQ(s->GetBlob(2, r.p)->AsString(), "hello");
    s->FreeComplexFields(r.p, true);
}

// ---- Row store ----

TEST(RowStore, NavigationAndRecordNumbers) {
    auto s = MakeRows(25);
    EXPECT_EQ(s->GetRecordCount(), 25);
    s->SetRecNo(13);
    EXPECT_EQ(s->GetRecNo(), 13);
    RecBuf r(*s);
    s->GetRecord(r.p);
    EXPECT_EQ(GetInt(*s, r.p, 1), 13);
    s->SetRecNo(0);
    s->SetRecNo(99);
    EXPECT_EQ(s->GetRecNo(), 13); // unchanged
    s->SetRecNo(24);
    EXPECT_EQ(GetInt(*s, (s->GetRecord(r.p), r.p), 1), 24);
    s->SetRecNo(2);
    EXPECT_EQ(GetInt(*s, (s->GetRecord(r.p), r.p), 1), 2);

    // Insert near the head and near the tail, delete in the middle: numbers stay consecutive.
    s->SetRecNo(3);
    PutInt(*s, r.p, 1, 100);
    s->InsertRecord(r.p);
    EXPECT_EQ(s->GetRecNo(), 3);
    s->SetRecNo(25);
    PutInt(*s, r.p, 1, 101);
    s->InsertRecord(r.p);
    s->SetRecNo(10);
    s->DeleteRecord();
    EXPECT_EQ(s->GetRecordCount(), 26);
    s->SetToBegin();
    int expect = 1;
    for (;;) {
        s->GetNextRecord(nullptr);
        if (s->GetEOF()) break;
        ASSERT_EQ(s->GetRecNo(), expect++);
    }
    EXPECT_EQ(expect, 27);
    std::vector<int> ids = VisibleIds(*s);
    EXPECT_EQ(ids[2], 100);
    EXPECT_EQ(ids[9], 10); // row 10 (id 9) went
    EXPECT_EQ(ids[23], 101);
}

TEST(RowStore, EmptyStoreNavigation) {
    auto s = MakeStore({{"ID", dtInt32}});
    s->SetToBegin();
    s->GetNextRecord(nullptr);
    EXPECT_TRUE(s->GetEOF());
    s->SetToEnd();
    s->GetPriorRecord(nullptr);
    EXPECT_TRUE(s->GetBOF());
    EXPECT_EQ(s->GetRecNo(), 0);
    s->SetRecNo(1);
    EXPECT_EQ(s->GetRecordCount(), 0);
}

TEST(RowStore, BookmarksOfReleasedBlocksFallBackToTheRecordNumber) {
    auto s = MakeRows(40);
    std::vector<TRecBookmark> marks;
    s->SetToBegin();
    for (int i = 0; i < 40; ++i) {
        s->GetNextRecord(nullptr);
        TRecBookmark bm;
        s->GetBookmark(bm);
        marks.push_back(bm);
    }
    int blocks = s->BlockManager().BlockCount();
    // Delete rows 1..20: the first blocks lose all their items and are released.
    s->SetRecNo(1);
    for (int i = 0; i < 20; ++i)
        s->DeleteRecord();
    EXPECT_LT(s->BlockManager().BlockCount(), blocks);
    EXPECT_EQ(s->GetRecordCount(), 20);
    RecBuf r(*s);
    // A bookmark of a released row goes to the row that now has its number.
    s->SetToBookmark(marks[4]);
    s->GetRecord(r.p);
    EXPECT_EQ(GetInt(*s, r.p, 1), 25);
    // A bookmark of a live row finds the row itself.
    s->SetToBookmark(marks[30]);
    s->GetRecord(r.p);
    EXPECT_EQ(GetInt(*s, r.p, 1), 31);
    // New rows reuse memory; old bookmarks still never read released memory.
    for (int i = 0; i < 30; ++i) {
        PutInt(*s, r.p, 1, 1000 + i);
        s->AppendRecord(r.p);
    }
    for (const TRecBookmark& bm : marks)
        s->SetToBookmark(bm);
    EXPECT_TRUE(s->BookmarkValid(&marks[0]));
    TRecBookmark none;
    EXPECT_FALSE(s->BookmarkValid(&none));
    EXPECT_FALSE(s->BookmarkValid(nullptr));
    EXPECT_EQ(s->CompareBookmarks(&marks[3], &marks[3]), 0);
    EXPECT_EQ(s->CompareBookmarks(&marks[3], &marks[5]), -1);
    EXPECT_EQ(s->CompareBookmarks(nullptr, &marks[5]), 1);
    EXPECT_EQ(s->CompareBookmarks(&marks[5], nullptr), -1);
}

TEST(RowStore, BlockTableForgetsReleasedBlocksButNeverRevivesThem) {
    TBlockManager bm;
    bm.RecordSize = 16;
    std::vector<PItemHeader> items;
    for (int i = 0; i < 2000; ++i)
        items.push_back(bm.AllocItem());
    EXPECT_EQ(bm.BlockCount(), 200);
    struct Mark {
        PItemHeader item;
        uint64_t serial;
    };
    std::vector<Mark> marks;
    for (PItemHeader it : items)
        marks.push_back({it, it->Block->Serial});
    // Release the first three quarters: the front of the table is dropped once it is the larger part.
    for (int i = 0; i < 1500; ++i)
        bm.FreeItem(items[size_t(i)]);
    EXPECT_EQ(bm.BlockCount(), 50);
    for (int i = 0; i < 2000; ++i)
        EXPECT_EQ(bm.IsItemInUse(marks[size_t(i)].item, marks[size_t(i)].serial), i >= 1500) << i;
    // A serial never matches a later block, whether or not the allocator hands out the same address again.
    std::vector<PItemHeader> fresh;
    for (int i = 0; i < 1500; ++i)
        fresh.push_back(bm.AllocItem());
    for (int i = 0; i < 1500; ++i)
        EXPECT_FALSE(bm.IsItemInUse(marks[size_t(i)].item, marks[size_t(i)].serial));
    for (PItemHeader it : fresh)
        EXPECT_TRUE(bm.IsItemInUse(it, it->Block->Serial));
    // An address inside a live block that is not an item start, or a serial of no block, is refused.
    PItemHeader live = fresh.back();
    EXPECT_FALSE(bm.IsItemInUse(reinterpret_cast<uint8_t*>(live) + 1, live->Block->Serial));
    EXPECT_FALSE(bm.IsItemInUse(live, live->Block->Serial + 1000));
    EXPECT_FALSE(bm.IsItemInUse(live, 0));
    // After everything is released and the table starts afresh, old serials stay dead.
    bm.FreeAllBlocks();
    EXPECT_EQ(bm.BlockCount(), 0);
    PItemHeader again = bm.AllocItem();
    EXPECT_FALSE(bm.IsItemInUse(marks[1999].item, marks[1999].serial));
    EXPECT_TRUE(bm.IsItemInUse(again, again->Block->Serial));
}

TEST(RowStore, BookmarkSurvivesReopenByRecordNumber) {
    auto s = MakeRows(30);
    s->SetRecNo(17);
    TRecBookmark bm;
    s->GetBookmark(bm);
    s->Close();
    s->InitFields(); // the server layer describes the columns again
    s->Open();
    RecBuf r(*s);
    for (int i = 1; i <= 30; ++i) {
        PutInt(*s, r.p, 1, i * 10);
        s->AppendRecord(r.p);
    }
    s->SetToBookmark(bm);
    EXPECT_EQ(s->GetRecNo(), 17);
    s->GetRecord(r.p);
    EXPECT_EQ(GetInt(*s, r.p, 1), 170);
}

TEST(RowStore, FailedAppendHookLeavesTheStoreUnchanged) {
    auto s = MakeRows(3);
    s->OnAppend = [](uint8_t*) { throw EDatabaseError("server refused"); };
    s->SetRecNo(2);
    RecBuf r(*s);
    PutInt(*s, r.p, 1, 9);
    EXPECT_THROW(s->InsertRecord(r.p), EDatabaseError);
    EXPECT_EQ(s->GetRecordCount(), 3);
    EXPECT_EQ(s->GetRecNo(), 2);
    EXPECT_EQ(VisibleIds(*s), (std::vector<int>{1, 2, 3}));
}

// ---- Cached updates in the store ----

TEST(CachedUpdatesStore, DeleteOfInsertedAndUnmodifiedRows) {
    auto s = MakeRows(5);
    s->SetCachedUpdates(true);
    RecBuf r(*s);
    s->SetToEnd();
    PutInt(*s, r.p, 1, 6);
    s->InsertRecord(r.p);
    EXPECT_EQ(s->GetUpdateStatus(), usInserted);
    EXPECT_EQ(s->UpdateListCount(), 1);
    s->DeleteRecord(); // an insert since the last commit goes outright
    EXPECT_EQ(s->UpdateListCount(), 0);
    EXPECT_EQ(s->GetRecordCount(), 5);

    s->SetRecNo(2);
    s->DeleteRecord();
    EXPECT_EQ(s->GetRecordCount(), 4);
    EXPECT_EQ(s->UpdateListCount(), 1);
    EXPECT_EQ(VisibleIds(*s), (std::vector<int>{1, 3, 4, 5}));
    s->SetFilterItemTypes(UpdateStatusBit(usDeleted));
    EXPECT_EQ(VisibleIds(*s), (std::vector<int>{2}));
    s->SetFilterItemTypes(UpdateStatusBit(usUnmodified) | UpdateStatusBit(usModified) |
                          UpdateStatusBit(usInserted));
    s->CancelUpdates();
    EXPECT_EQ(VisibleIds(*s), (std::vector<int>{1, 2, 3, 4, 5}));
    EXPECT_EQ(s->GetRecordCount(), 5);
}

TEST(CachedUpdatesStore, ApplyRetryAndPartialCommit) {
    auto s = MakeRows(4);
    s->SetCachedUpdates(true);
    RecBuf r(*s);
    s->SetRecNo(1);
    s->GetRecord(r.p);
    PutInt(*s, r.p, 1, 11);
    s->UpdateRecord(r.p);
    s->SetRecNo(2);
    s->DeleteRecord();
    s->SetRecNo(3); // the former fourth row
    s->GetRecord(r.p);
    PutInt(*s, r.p, 1, 44);
    s->UpdateRecord(r.p);
    std::vector<std::pair<int, int>> calls;
    int retries = 0;
    s->OnApplyRecord = [&](TUpdateKind kind, TUpdateAction& action) {
        calls.push_back({kind, s->GetRecNo()});
        if (kind == ukModify && retries == 0) {
            ++retries;
            action = uaRetry;
        } else if (kind == ukDelete)
            action = uaSkip;
        else
            action = uaApplied;
    };
    s->ApplyUpdates();
    ASSERT_EQ(calls.size(), 4u); // the first modify was tried twice
    EXPECT_EQ(calls[0].first, ukModify);
    EXPECT_EQ(calls[1].first, ukModify);
    EXPECT_EQ(calls[2].first, ukDelete);
    EXPECT_TRUE(s->GetUpdatesPending()); // the skipped delete
    s->CommitUpdates();
    EXPECT_EQ(s->UpdateListCount(), 1);
    s->OnApplyRecord = [](TUpdateKind, TUpdateAction& action) { action = uaApplied; };
    s->CommitUpdates();
    EXPECT_EQ(s->UpdateListCount(), 0);
    EXPECT_EQ(VisibleIds(*s), (std::vector<int>{11, 3, 44}));
    EXPECT_EQ(s->BlockManager().BlockCount(), 1);
}

TEST(CachedUpdatesStore, FailingApplyKeepsTheRowCurrent) {
    auto s = MakeRows(3);
    s->SetCachedUpdates(true);
    RecBuf r(*s);
    s->SetRecNo(2);
    s->GetRecord(r.p);
    PutInt(*s, r.p, 1, 22);
    s->UpdateRecord(r.p);
    s->SetRecNo(3);
    s->OnApplyRecord = [](TUpdateKind, TUpdateAction&) { throw EDatabaseError("constraint violated"); };
    EXPECT_THROW(s->ApplyUpdates(), EDatabaseError);
    EXPECT_EQ(s->GetRecNo(), 2);
    s->GetOldRecord(r.p);
    EXPECT_EQ(GetInt(*s, r.p, 1), 2);
    s->RevertRecord();
    EXPECT_EQ(s->UpdateListCount(), 0);
    EXPECT_EQ(VisibleIds(*s), (std::vector<int>{1, 2, 3}));
}

TEST(CachedUpdatesStore, ExtStringsAreSharedAndReleased) {
    auto s = MakeStore({{"ID", dtInt32}, {"E", dtExtString, 20}});
    s->SetCachedUpdates(true);
    RecBuf r(*s);
    s->CreateComplexFields(r.p, false);
    PutInt(*s, r.p, 1, 1);
    PutStr(*s, r.p, 2, "first");
    s->AppendRecord(r.p);
    s->OnApplyRecord = [](TUpdateKind, TUpdateAction& action) { action = uaApplied; };
    s->CommitUpdates();
    // Edit protocol: the edit buffer and the stored record share no string.
    s->GetRecord(r.p);
    s->EditRecord(r.p);
    RecBuf stored(*s);
    s->GetRecord(stored.p);
    char* a;
    char* b;
    std::memcpy(&a, r.p + s->Fields()[1]->Offset, sizeof a);
    std::memcpy(&b, stored.p + s->Fields()[1]->Offset, sizeof b);
    EXPECT_NE(a, b);
    EXPECT_STREQ(b, "first");
    PutStr(*s, r.p, 2, "second");
    s->PostRecord(r.p);
    s->GetRecord(stored.p);
    EXPECT_EQ(GetStr(*s, stored.p, 2), "second");
    s->GetOldRecord(stored.p);
    EXPECT_EQ(GetStr(*s, stored.p, 2), "first");
    s->CancelUpdates();
    s->GetRecord(stored.p);
    EXPECT_EQ(GetStr(*s, stored.p, 2), "first");
}

// ---- Object values and child fields ----

namespace {

// An object value that keeps its string attributes by path, in the exchange form (NUL-terminated text).
class TMapObject : public TDBObject {
public:
    using TDBObject::TDBObject;
    std::vector<std::pair<std::string, std::string>> values; // a missing path is null
    void GetAttributeValue(const std::string& path, void* dest, bool& isNull) override {
        for (auto& [p, v] : values)
            if (p == path) {
                isNull = false;
                if (dest) std::memcpy(dest, v.c_str(), v.size() + 1);
                return;
            }
        isNull = true;
    }
    void SetAttributeValue(const std::string& path, const void* source) override {
        for (size_t i = 0; i < values.size(); ++i)
            if (values[i].first == path) {
                if (source)
                    values[i].second = static_cast<const char*>(source);
                else
                    values.erase(values.begin() + long(i));
                return;
            }
        if (source) values.push_back({path, static_cast<const char*>(source)});
    }
};

} // namespace

TEST(ObjectTypes, ChildFieldsReadAndWriteThroughTheRootObject) {
    auto* addr = new TObjectType;
    addr->Name = "ADDR_T";
    addr->AddAttribute("CITY", dtString, 20, 21);
    auto* lines = new TObjectType;
    lines->Name = "LINES_T";
    lines->DataType = dtArray;
    lines->Size = 2;
    lines->AddAttribute("ELEMENT", dtString, 10, 11);
    addr->AddAttribute("LINES", dtArray)->SetObjectType(lines);

    class ObjStore : public TMemData {
    public:
        TObjectType* type = nullptr;

    protected:
        void InternalInitFields() override {
            AddFieldDesc("ID", dtInt32);
            TFieldDesc* a = AddFieldDesc("ADDRESS", dtObject);
            a->SetObjectType(type);
            InitChildFields(a);
        }
    };
    ObjStore s;
    s.type = addr;
    s.InitFields();
    s.Open();
    uint8_t* rec = s.AllocRecBuf();
    TDBObject* nil = nullptr;
    std::memcpy(rec + s.FieldByName("ADDRESS")->Offset, &nil, sizeof nil);
    TFieldDesc* city = s.FindField("ADDRESS.CITY");
    TFieldDesc* line1 = s.FindField("ADDRESS.LINES[1]");
    ASSERT_NE(city, nullptr);
    ASSERT_NE(line1, nullptr);
    EXPECT_TRUE(s.GetNull(city->FieldNo, rec)); // no object: null

    auto* obj = new TMapObject(addr);
    std::memcpy(rec + s.FieldByName("ADDRESS")->Offset, &obj, sizeof obj);
    s.PutField(city->FieldNo, rec, "Berlin");
    s.PutFieldAsVariant(line1->FieldNo, rec, Variant("Hof 2 and more"));
    ASSERT_EQ(obj->values.size(), 2u);
    EXPECT_EQ(obj->values[0].first, "CITY");
    EXPECT_EQ(obj->values[1].first, "LINES[1]");
    EXPECT_EQ(obj->values[1].second, "Hof 2 and "); // cut to the attribute's length
    Variant out;
    s.GetFieldAsVariant(line1->FieldNo, rec, out);
    EXPECT_EQ(out.AsString(), "Hof 2 and ");
    char buf[32];
    bool blank;
    s.GetField(city->FieldNo, rec, buf, blank);
    EXPECT_FALSE(blank);
    EXPECT_STREQ(buf, "Berlin");
    s.SetNull(city->FieldNo, rec, true);
    EXPECT_TRUE(s.GetNull(city->FieldNo, rec));
    obj->Release();
    s.FreeRecBuf(rec);
    lines->Release();
    addr->Release();
}

// ---- Releasing a store ----

TEST(RowStore, CloseReleasesLargeStringsRowByRow) {
    auto s =
        MakeStore({{"ID", dtInt32}, {"E", dtExtString, 5000}, {"V", dtVariant}, {"X", dtExtVarBytes, 10}});
    s->SetCachedUpdates(true);
    s->OnApplyRecord = [](TUpdateKind, TUpdateAction& action) { action = uaApplied; };
    RecBuf r(*s);
    for (int i = 0; i < 30; ++i) {
        s->CreateComplexFields(r.p, false);
        PutInt(*s, r.p, 1, i);
        s->PutFieldAsVariant(2, r.p, Variant(std::string(size_t(i % 2 ? 3000 : 10), 'x')));
        s->PutFieldAsVariant(3, r.p, Variant(int32_t(i)));
        s->PutFieldAsVariant(4, r.p, Variant::FromBytes("abc", 3));
        s->AppendRecord(r.p);
    }
    s->CommitUpdates();
    EXPECT_TRUE(s->StringHeap().HasLargeBuffers());
    s->SetRecNo(4);
    s->GetRecord(r.p);
    s->EditRecord(r.p);
    s->PutFieldAsVariant(2, r.p, Variant(std::string(4000, 'y')));
    s->PostRecord(r.p); // the old large value stays in the rollback record
    Variant v;
    s->GetFieldAsVariant(4, r.p, v);
    EXPECT_EQ(v.Bytes().size(), 3u);
    s->Close(); // large buffers are released one by one (ASan checks)
    EXPECT_FALSE(s->StringHeap().HasLargeBuffers());
}
