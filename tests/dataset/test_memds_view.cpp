// Reading rows for views: display texts of any record without moving the current one, the record-number
// index of big stores, pending rows and the fetch entry points of a store that does not fetch.
#include "dataset/MemDS.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

std::unique_ptr<TMemDataSet> Mixed() {
    auto ds = std::make_unique<TMemDataSet>();
    TData* d = ds->Data();
    d->AutoInitFields = false;
    d->Fields().Clear();
    d->AddFieldDesc("ID", dtInt32);
    d->AddFieldDesc("NAME", dtString, 20);
    d->AddFieldDesc("AMOUNT", dtFloat, 10, 2);
    d->AddFieldDesc("WHEN", dtDateTime);
    d->AddFieldDesc("RAW", dtVarBytes, 8);
    d->AddFieldDesc("NOTE", dtMemo);
    d->InitFields();
    ds->LocalUpdate = true;
    ds->Open();
    return ds;
}

std::unique_ptr<TMemDataSet> Numbers(int n) {
    auto ds = std::make_unique<TMemDataSet>();
    TData* d = ds->Data();
    d->AutoInitFields = false;
    d->Fields().Clear();
    d->AddFieldDesc("ID", dtInt32);
    d->InitFields();
    ds->LocalUpdate = true;
    ds->Open();
    for (int i = 1; i <= n; ++i)
        ds->AppendRecord({Variant(int32_t(i))});
    ds->First();
    return ds;
}

} // namespace

TEST(RowTexts, EveryFieldReadsAsItRendersForTheCurrentRecord) {
    auto ds = Mixed();
    ds->Append();
    ds->FieldByName("ID")->SetAsInteger(7);
    ds->FieldByName("NAME")->SetAsString("Zo\xEB");
    ds->FieldByName("AMOUNT")->SetAsFloat(12.5);
    ds->FieldByName("WHEN")->SetAsDateTime(45000.75); // a date with a time of 18:00
    ds->FieldByName("RAW")->SetAsVariant(Variant::FromBytes(std::vector<uint8_t>{0x00, 0xAB, 0x7F}));
    ds->FieldByName("NOTE")->SetAsString(std::string(1000, 'x') + "END");
    ds->Post();
    ds->AppendRecord({Variant(int32_t(8))}); // the rest null
    ds->First();
    std::vector<std::string> texts;
    ASSERT_TRUE(ds->GetRecordTexts(1, texts, 10));
    ASSERT_EQ(texts.size(), 6u);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(texts[size_t(i)], ds->Fields(i)->DisplayText()) << i;
    EXPECT_EQ(texts[1], "Zo\xEB");
    EXPECT_NE(texts[3].find("18:00"), std::string::npos) << texts[3];
    EXPECT_EQ(texts[4], "00AB7F");             // bytes as hexadecimal
    EXPECT_EQ(texts[5], std::string(10, 'x')); // a memo's first characters only
    ds->SetRecNo(2);
    ASSERT_TRUE(ds->GetRecordTexts(1, texts));
    EXPECT_EQ(ds->RecNo(), 2); // reading did not move the current record
    EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 8);
    ASSERT_TRUE(ds->GetRecordTexts(2, texts));
    EXPECT_EQ(texts, (std::vector<std::string>{"8", "", "", "", "", ""})); // nulls read empty
    EXPECT_FALSE(ds->GetRecordTexts(3, texts));
    ds->Prior(); // navigation goes on from the current record
    EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 7);
}

TEST(RowTexts, JumpsIntoABigStoreUseTheIndexAndStayCorrectAfterChanges) {
    auto ds = Numbers(20000);
    std::vector<std::string> t;
    // Jumps in every direction, far from both ends and from the current record.
    for (int n : {10000, 5001, 15000, 257, 19999, 7777, 1, 20000, 12345}) {
        ASSERT_TRUE(ds->GetRecordTexts(n, t)) << n;
        EXPECT_EQ(t[0], std::to_string(n));
    }
    EXPECT_EQ(ds->RecNo(), 1);
    TMemData* md = ds->MemData();
    PItemHeader ix = md->IndexedItemAtOrBefore(9000);
    ASSERT_NE(ix, nullptr);
    const int order = ix->Order; // the item header is packed: no reference to its members
    EXPECT_LE(order, 9000);
    EXPECT_GT(order, 9000 - TMemData::RecNoIndexStep);
    // Deleting a row in the first half renumbers the rest: the index notices.
    ds->SetRecNo(100);
    ds->Delete();
    ASSERT_TRUE(ds->GetRecordTexts(10000, t));
    EXPECT_EQ(t[0], "10001");
    // Inserting one moves them back.
    ds->SetRecNo(50);
    ds->Insert();
    ds->FieldByName("ID")->SetAsInteger(-1);
    ds->Post();
    ASSERT_TRUE(ds->GetRecordTexts(50, t));
    EXPECT_EQ(t[0], "-1");
    ASSERT_TRUE(ds->GetRecordTexts(15000, t));
    EXPECT_EQ(t[0], "15000");
    // A filter hides rows: numbers count the visible ones.
    ds->SetFilter("ID > 10000");
    ds->SetFiltered(true);
    ASSERT_TRUE(ds->GetRecordTexts(5000, t));
    EXPECT_EQ(t[0], "15000");
    ds->SetFiltered(false);
    ASSERT_TRUE(ds->GetRecordTexts(5000, t));
    EXPECT_EQ(t[0], "5000");
    ds->SetRecNo(18000);
    EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 18000);
}

TEST(RowTexts, PendingRowsTellWhereTheEditBufferStands) {
    auto ds = Numbers(5);
    int recNo;
    bool inserted;
    EXPECT_FALSE(ds->PendingRow(recNo, inserted));
    ds->SetRecNo(3);
    ds->Edit();
    ASSERT_TRUE(ds->PendingRow(recNo, inserted));
    EXPECT_EQ(recNo, 3);
    EXPECT_FALSE(inserted);
    ds->Cancel();
    ds->Insert(); // before record 3
    ASSERT_TRUE(ds->PendingRow(recNo, inserted));
    EXPECT_EQ(recNo, 3);
    EXPECT_TRUE(inserted);
    ds->FieldByName("ID")->SetAsInteger(99);
    EXPECT_EQ(TMemDataSet::FieldViewText(ds->FieldByName("ID")), "99");
    ds->Cancel();
    ds->Append();
    ASSERT_TRUE(ds->PendingRow(recNo, inserted));
    EXPECT_EQ(recNo, 6);
    EXPECT_TRUE(inserted);
    ds->Cancel();
}

TEST(RowTexts, AStoreThatDoesNotFetchHasAllItsRows) {
    auto ds = Numbers(3);
    EXPECT_TRUE(ds->AllRowsFetched());
    EXPECT_EQ(ds->FetchNextBlock(), 0);
    int calls = 0;
    ds->MemData()->OnRowsAppended = [&](int first, int count) {
        ++calls;
        EXPECT_EQ(first, 4);
        EXPECT_EQ(count, 2);
    };
    ds->Last();
    ds->AppendRecord({Variant(int32_t(4))});
    ds->AppendRecord({Variant(int32_t(5))});
    ds->MemData()->RowsAppended(3); // what a record set calls after a fetch
    EXPECT_EQ(calls, 1);
    ds->Close();
    EXPECT_TRUE(ds->AllRowsFetched());
}
