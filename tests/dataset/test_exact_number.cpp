// Float fields with room for an exact number behind the double: what the fields show and keep, what a write
// of the double does to the exact form, and the old value beside the new one while a row is edited.
#include "dataset/MemDS.h"
#include "dataset/Platform.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

namespace {

// A store that keeps the exact form as its text: a length byte and the characters.
class TTextExactStore : public TMemData {
public:
    bool DecodeExactNumber(const uint8_t* room, size_t size, std::string& text) override {
        if (room[0] == 0 || room[0] >= size) return false;
        text.assign(reinterpret_cast<const char*>(room + 1), room[0]);
        return true;
    }
    bool EncodeExactNumber(const std::string& text, uint8_t* room, size_t size) override {
        if (text.size() + 1 > size) return false;
        std::memset(room, 0, size);
        room[0] = uint8_t(text.size());
        std::memcpy(room + 1, text.data(), text.size());
        return true;
    }
};

const std::string Wide = "12345678901234567890";

std::unique_ptr<TMemDataSet> WideSet() {
    auto ds = std::make_unique<TMemDataSet>();
    ds->SetRecordStore(std::make_unique<TTextExactStore>());
    TData* d = ds->Data();
    d->AutoInitFields = false;
    d->Fields().Clear();
    d->AddFieldDesc("ID", dtInt32);
    d->AddFieldDesc("N", dtFloat)->Size = 8 + 48; // the double, then the exact form
    d->InitFields();
    ds->LocalUpdate = true;
    ds->Open();
    return ds;
}

} // namespace

TEST(ExactNumberField, AWideTextIsKeptAndShownWithEveryDigit) {
    auto ds = WideSet();
    ds->Append();
    ds->FieldByName("ID")->SetAsInteger(1);
    ds->FieldByName("N")->SetAsString(Wide);
    EXPECT_EQ(ds->FieldByName("N")->AsString(), Wide);
    ds->Post();
    TField* n = ds->FieldByName("N");
    EXPECT_EQ(n->AsString(), Wide);
    EXPECT_DOUBLE_EQ(n->AsFloat(), 12345678901234567890.0);
    std::string exact;
    ASSERT_TRUE(n->ExactNumber(exact));
    EXPECT_EQ(exact, Wide);
    // The texts a view paints come from the same place.
    std::vector<std::string> texts;
    ASSERT_TRUE(ds->GetRecordTexts(1, texts, 0));
    EXPECT_EQ(texts, (std::vector<std::string>{"1", Wide}));
    // A text the double holds keeps the double's text, and no exact form.
    ds->Append();
    ds->FieldByName("N")->SetAsString("12.50");
    ds->Post();
    EXPECT_EQ(ds->FieldByName("N")->AsString(), "12.5");
    EXPECT_FALSE(ds->FieldByName("N")->ExactNumber(exact));
}

TEST(ExactNumberField, WritingTheDoubleDropsTheExactFormAndTheOldValueKeepsIt) {
    auto ds = WideSet();
    ds->Append();
    ds->FieldByName("N")->SetAsString("-" + Wide + ".5");
    ds->Post();
    ds->Edit();
    TField* n = ds->FieldByName("N");
    n->SetAsFloat(2.5);
    EXPECT_EQ(n->AsString(), "2.5");
    std::string exact;
    EXPECT_FALSE(n->ExactNumber(exact));
    ASSERT_TRUE(n->OldExactNumber(exact));
    EXPECT_EQ(exact, "-" + Wide + ".5");
    ds->Cancel();
    EXPECT_EQ(n->AsString(), "-" + Wide + ".5");
    // An exact text handed on as a variant (with a point, as the data sets pass them) keeps its digits.
    ds->Edit();
    n->SetAsVariant(Variant(std::string("0.1234567890123456789")));
    ds->Post();
    EXPECT_EQ(n->AsString(), "0.1234567890123456789");
    // The user's separator in what is shown and typed.
    const char saved = platform::DecimalSeparator();
    platform::SetDecimalSeparator(',');
    EXPECT_EQ(n->AsString(), "0,1234567890123456789");
    ds->Edit();
    n->SetAsString("-0,98765432109876543210");
    ds->Post();
    EXPECT_EQ(n->AsString(), "-0,9876543210987654321");
    platform::SetDecimalSeparator(saved);
}

TEST(ExactNumberField, AStoreWithoutRoomKeepsTheDouble) {
    auto ds = std::make_unique<TMemDataSet>();
    TData* d = ds->Data();
    d->AutoInitFields = false;
    d->Fields().Clear();
    d->AddFieldDesc("N", dtFloat);
    d->InitFields();
    ds->LocalUpdate = true;
    ds->Open();
    ds->Append();
    ds->FieldByName("N")->SetAsString(Wide);
    ds->Post();
    std::string exact;
    EXPECT_FALSE(ds->FieldByName("N")->ExactNumber(exact));
    EXPECT_EQ(ds->FieldByName("N")->AsString(), "1.23456789012346E+19");
}
