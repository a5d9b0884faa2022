// The record-set layer contracts: numbered properties, the fetching record set's open and navigation.
#include "tests/dataset/testserver/TestServer.h"

#include "dataset/DAError.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

using namespace testsrv;

namespace {

class QxFixture : public ::testing::Test {
protected:
    void SetUp() override {
        std::vector<std::vector<Variant>> rows;
        for (int i = 1; i <= 7; ++i)
            rows.push_back({Variant(int32_t(i)), Variant(std::string("E").append(std::to_string(i))),
                            Variant(int32_t(i % 2 ? 10 : 20))});
        db.AddTable("EMP", {{"EMPNO", dtInt32}, {"ENAME", dtString, 10}, {"DEPTNO", dtInt32}}, rows);
        conn.SetUsername("scott");
        conn.Connect("");
        rs = conn.CreateRecordSet();
        rs->SetConnection(&conn);
    }

    int CurrentEmpNo() {
        uint8_t* buf = rs->AllocRecBuf();
        rs->GetRecord(buf);
        Variant v;
        rs->GetFieldAsVariant(1, buf, v);
        rs->FreeRecBuf(buf);
        return v.AsInteger();
    }

    TTestRecordSet& Rs() { return static_cast<TTestRecordSet&>(*rs); }

    TTestDatabase db;
    TTestConnection conn{&db};
    std::unique_ptr<TQxRecordSet> rs;
};

std::string AssertionText(const std::function<void()>& f) {
    try {
        f();
    } catch (EAssertionFailed& e) {
        return e.what();
    }
    return "(no assertion)";
}

} // namespace

TEST_F(QxFixture, UnknownPropertyCodesFailAnAssertionNamingTheCode) {
    EXPECT_EQ(AssertionText([&] { conn.SetProp(77, Variant(true)); }), "77");
    EXPECT_EQ(AssertionText([&] {
                  Variant v;
                  conn.GetProp(5, v);
              }),
              "5");
    EXPECT_EQ(AssertionText([&] { conn.SetMethodProp(100, nullptr); }), "100");
    auto cmd = conn.CreateCommand();
    EXPECT_EQ(AssertionText([&] { cmd->SetProp(20, Variant(true)); }), "20");
    EXPECT_EQ(AssertionText([&] { cmd->SetMethodProp(102, nullptr); }), "102");
    EXPECT_EQ(AssertionText([&] { rs->SetProp(5, Variant(true)); }), "5");
    EXPECT_EQ(AssertionText([&] {
                  Variant v;
                  rs->GetProp(21, v);
              }),
              "21");
    EXPECT_EQ(AssertionText([&] { rs->SetMethodProp(101, nullptr); }), "101");
}

TEST_F(QxFixture, KnownPropertiesReachTheirFields) {
    conn.SetProp(prAutoCommit, Variant(false));
    conn.SetProp(prConvertEOL, Variant(true));
    EXPECT_FALSE(conn.GetAutoCommit());
    EXPECT_TRUE(conn.GetConvertEOL());
    EXPECT_TRUE(rs->GetConvertEOL()); // through the command's connection

    TQxCommand* cmd = rs->GetCommand();
    Variant v;
    cmd->GetProp(prScanParams, v);
    EXPECT_FALSE(v.AsBoolean());
    db.Executing = true;
    cmd->GetProp(prExecuting, v);
    EXPECT_TRUE(v.AsBoolean());
    cmd->SetProp(prAutoCommit, Variant(false));
    EXPECT_FALSE(cmd->GetAutoCommit());

    EXPECT_TRUE(rs->GetLongStrings());
    EXPECT_TRUE(rs->GetFlatBuffers());
    rs->SetProp(prUniDirectional, Variant(true));
    rs->SetProp(prFetchRows, Variant(int32_t(7)));
    rs->SetProp(prFetchAll, Variant(true));
    rs->SetProp(prLongStrings, Variant(false));
    rs->SetProp(prKeepEmptyStrings, Variant(true));
    rs->SetProp(prFlatBuffers, Variant(false));
    EXPECT_TRUE(rs->GetUniDirectional());
    EXPECT_EQ(rs->GetFetchRows(), 7);
    EXPECT_TRUE(rs->GetFetchAll());
    EXPECT_FALSE(rs->GetLongStrings());
    EXPECT_TRUE(rs->KeepEmptyStrings);
    EXPECT_FALSE(rs->GetFlatBuffers());
}

TEST_F(QxFixture, ParamDescriptorsTrackNullAndOwnership) {
    auto cmd = conn.CreateCommand();
    TParamDesc* a = cmd->AddParam();
    a->SetName("A");
    EXPECT_TRUE(a->GetNull());
    EXPECT_FALSE(a->SetValue(Variant(int32_t(3))));
    EXPECT_FALSE(a->GetNull());
    EXPECT_TRUE(a->SetValue(Variant()));
    EXPECT_TRUE(a->GetNull());
    a->SetValue(Variant("x"));
    a->SetNull(true);
    Variant v;
    a->GetValue(v);
    EXPECT_TRUE(v.IsNull());
    cmd->AddParam()->SetName("b");
    EXPECT_EQ(cmd->Params().FindParam("B"), cmd->GetParam(1));
    cmd->DeleteParam(0);
    EXPECT_EQ(cmd->GetParamCount(), 1);
    EXPECT_EQ(cmd->GetParam(0)->GetName(), "b");
    EXPECT_THROW(cmd->DeleteParam(5), EAssertionFailed);
}

TEST_F(QxFixture, OpeningExecutesThenFetchesOneBlock) {
    rs->SetSQL("SELECT * FROM EMP");
    rs->SetProp(prFetchRows, Variant(int32_t(3)));
    rs->Open();
    int exec = db.Find("rs.cmd.Execute 1");
    ASSERT_GE(exec, 0);
    EXPECT_GT(db.Find("rs.Fetch", size_t(exec)), exec);
    EXPECT_EQ(Rs().FetchCalls, 1);
    EXPECT_EQ(rs->GetRecordCount(), 3);
    EXPECT_EQ(rs->FieldCount(), 3);
    EXPECT_TRUE(rs->ReturnsRows());
}

TEST_F(QxFixture, FetchRowsOneFetchesOneRowPerStep) {
    rs->SetSQL("SELECT * FROM EMP");
    rs->SetProp(prFetchRows, Variant(int32_t(1)));
    rs->Open();
    EXPECT_EQ(rs->GetRecordCount(), 1);
    for (int i = 1; i <= 7; ++i) {
        rs->GetNextRecord(nullptr);
        ASSERT_FALSE(rs->GetEOF());
        EXPECT_EQ(CurrentEmpNo(), i);
        EXPECT_EQ(rs->GetRecordCount(), i);
        EXPECT_EQ(rs->GetRecNo(), i);
        EXPECT_EQ(Rs().FetchCalls, i); // the first row came with the open, each later one with its own fetch
    }
    rs->GetNextRecord(nullptr);
    EXPECT_TRUE(rs->GetEOF());
    EXPECT_EQ(rs->GetRecordCount(), 7);
    // Going back needs no fetch.
    int calls = Rs().FetchCalls;
    rs->GetPriorRecord(nullptr);
    EXPECT_EQ(CurrentEmpNo(), 7);
    EXPECT_EQ(Rs().FetchCalls, calls);
}

TEST_F(QxFixture, PositioningByNumberPullsRowsFromTheServer) {
    rs->SetSQL("SELECT * FROM EMP");
    rs->SetProp(prFetchRows, Variant(int32_t(2)));
    rs->Open();
    rs->SetRecNo(6);
    EXPECT_EQ(CurrentEmpNo(), 6);
    EXPECT_EQ(rs->GetRecordCount(), 6);
}

TEST_F(QxFixture, UniDirectionalSteppingBackLeavesNoCurrentRecord) {
    rs->SetSQL("SELECT * FROM EMP");
    rs->SetProp(prUniDirectional, Variant(true));
    rs->SetProp(prFetchRows, Variant(int32_t(2)));
    rs->Open();
    for (int i = 1; i <= 5; ++i) {
        rs->GetNextRecord(nullptr);
        EXPECT_EQ(CurrentEmpNo(), i);
        EXPECT_EQ(rs->GetRecNo(), i);
    }
    EXPECT_LE(rs->GetRecordCount(), 2); // only the current block stays loaded
    PItemHeader before = rs->FirstItem()->Prev;
    EXPECT_EQ(before, nullptr);
    rs->GetPriorRecord(nullptr);
    EXPECT_TRUE(rs->GetBOF());
    EXPECT_EQ(rs->CurrentItem(), nullptr);
    EXPECT_EQ(rs->GetRecNo(), 0);
}

TEST_F(QxFixture, FetchAllOpensWithTheFinalCount) {
    rs->SetSQL("SELECT * FROM EMP");
    rs->SetProp(prFetchRows, Variant(int32_t(2)));
    rs->SetProp(prFetchAll, Variant(true));
    rs->Open();
    EXPECT_EQ(rs->GetRecordCount(), 7);
    EXPECT_EQ(Rs().FetchCalls, 5); // four blocks and the call that found the end
    int calls = Rs().FetchCalls;
    rs->SetToEnd();
    rs->GetPriorRecord(nullptr);
    EXPECT_EQ(CurrentEmpNo(), 7);
    EXPECT_EQ(Rs().FetchCalls, calls);
}

TEST_F(QxFixture, NoRowsOpensEmptyWithEofSet) {
    rs->SetSQL("SELECT * FROM EMP WHERE DEPTNO = 99");
    rs->Open();
    EXPECT_TRUE(rs->Active());
    EXPECT_EQ(rs->GetRecordCount(), 0);
    EXPECT_TRUE(rs->GetEOF());
    int calls = Rs().FetchCalls;
    rs->GetNextRecord(nullptr);
    EXPECT_TRUE(rs->GetEOF());
    EXPECT_EQ(Rs().FetchCalls, calls);
}

TEST_F(QxFixture, HiddenRowsAreSkippedFetchingAsNeeded) {
    rs->SetSQL("SELECT * FROM EMP");
    rs->SetProp(prFetchRows, Variant(int32_t(2)));
    rs->FilterFunc = [this](uint8_t* rec) {
        Variant v;
        rs->GetFieldAsVariant(1, rec, v);
        return v.AsInteger() % 3 == 0; // 3 and 6
    };
    rs->Open();
    rs->GetNextRecord(nullptr);
    EXPECT_EQ(CurrentEmpNo(), 3);
    EXPECT_EQ(rs->GetRecNo(), 1);
    rs->GetNextRecord(nullptr);
    EXPECT_EQ(CurrentEmpNo(), 6);
    EXPECT_EQ(rs->GetRecNo(), 2);
    rs->GetNextRecord(nullptr);
    EXPECT_TRUE(rs->GetEOF());
    EXPECT_EQ(rs->GetRecordCount(), 2);
}

TEST_F(QxFixture, PrepareDescribesRowsEarlyAndFailuresLeaveItUnprepared) {
    rs->SetSQL("SELECT EMPNO, ENAME FROM EMP");
    rs->Prepare();
    EXPECT_TRUE(rs->Prepared());
    EXPECT_EQ(rs->FieldCount(), 2); // known right after preparing
    rs->UnPrepare();
    EXPECT_FALSE(rs->Prepared());

    rs->SetSQL("SELECT * FROM NOSUCH");
    EXPECT_THROW(rs->Prepare(), EDAError);
    EXPECT_FALSE(rs->Prepared());
    EXPECT_FALSE(Rs().Cmd()->GetPrepared());
}

TEST_F(QxFixture, FailedOpenLeavesTheRecordSetClosed) {
    rs->SetSQL("SELECT * FROM EMP");
    db.FailOnText = "EMP";
    db.FailMessage = "ORA-00942: table or view does not exist";
    EXPECT_THROW(rs->Open(), EDAError);
    EXPECT_FALSE(rs->Active());
    EXPECT_FALSE(rs->Prepared());
    EXPECT_GE(db.Find("rs.cmd.Unprepare"), 0);

    // A prepared record set stays prepared after a failed open.
    db.FailOnText.clear();
    rs->Prepare();
    db.FailOnText = "EMP";
    db.Log.clear();
    EXPECT_THROW(rs->Open(), EDAError);
    EXPECT_FALSE(rs->Active());
    EXPECT_TRUE(rs->Prepared());
    EXPECT_EQ(db.Find("rs.cmd.Unprepare"), -1);
    db.FailOnText.clear();
    rs->Open();
    EXPECT_EQ(rs->GetRecordCount(), 7);
}

TEST_F(QxFixture, ReopenAfterCloseDescribesAgain) {
    rs->SetSQL("SELECT * FROM EMP");
    rs->Open();
    rs->Close();
    rs->Open();
    EXPECT_EQ(rs->FieldCount(), 3);
    rs->GetNextRecord(nullptr);
    EXPECT_EQ(CurrentEmpNo(), 1);
}

namespace {

// A scrollable cursor: only one window of FetchRows rows is loaded; fetching either way replaces the window.
class TWindowRecordSet : public TQxRecordSet {
public:
    TWindowRecordSet(TTestDatabase* db, int rows) : db_(db), rows_(rows) {}
    std::unique_ptr<TQxCommand> CreateCommand() override { return std::make_unique<TTestCommand>(db_); }
    bool CanFetchBack() override { return true; }
    void InternalInitFields() override { AddFieldDesc("N", dtInt32); }
    void ExecCommand() override {
        resultKind_ = rkRows;
        lo_ = hi_ = 0;
    }
    bool Fetch(bool back) override {
        int from, to;
        if (!back) {
            if (hi_ >= rows_) return false;
            from = hi_;
            to = std::min(rows_, hi_ + fetchRows_);
        } else {
            if (lo_ <= 0) return false;
            to = lo_;
            from = std::max(0, lo_ - fetchRows_);
        }
        ++Fetches;
        while (firstItem_)
            DeleteItem(firstItem_);
        recordCount_ = 0;
        recNoOffset_ = 0;
        for (int i = from; i < to; ++i) {
            PItemHeader item = blockMan_->AllocItem();
            uint8_t* rec = ItemData(item);
            std::memset(rec, 0, size_t(recordSize_));
            PutFieldAsVariant(1, rec, Variant(int32_t(i + 1)));
            LinkItemAtEnd(item);
            item->Order = i + 1;
            ++recordCount_;
        }
        lo_ = from;
        hi_ = to;
        return true;
    }
    int Current() {
        uint8_t* buf = AllocRecBuf();
        GetRecord(buf);
        Variant v;
        GetFieldAsVariant(1, buf, v);
        FreeRecBuf(buf);
        return v.AsInteger();
    }
    int Fetches = 0;

private:
    TTestDatabase* db_;
    int rows_;
    int lo_ = 0, hi_ = 0;
};

} // namespace

TEST(QxScrollable, StepsBothWaysThroughReplacedWindows) {
    TTestDatabase db;
    TWindowRecordSet rs(&db, 5);
    rs.SetProp(prFetchRows, Variant(int32_t(2)));
    rs.Open();
    std::vector<int> forward, backward;
    for (rs.GetNextRecord(nullptr); !rs.GetEOF(); rs.GetNextRecord(nullptr))
        forward.push_back(rs.Current());
    EXPECT_EQ(forward, (std::vector<int>{1, 2, 3, 4, 5}));
    for (rs.GetPriorRecord(nullptr); !rs.GetBOF(); rs.GetPriorRecord(nullptr))
        backward.push_back(rs.Current());
    EXPECT_EQ(backward, (std::vector<int>{5, 4, 3, 2, 1}));
    EXPECT_EQ(rs.Fetches, 5); // three windows forward, two back
    // Fetched windows have clean ends.
    PItemHeader head = rs.FirstItem()->Prev, tail = rs.LastItem()->Next;
    EXPECT_EQ(head, nullptr);
    EXPECT_EQ(tail, nullptr);
}

TEST_F(QxFixture, PositioningByNumberWithUniDirectionalStepsThroughReplacedBlocks) {
    rs->SetSQL("SELECT * FROM EMP");
    rs->SetProp(prUniDirectional, Variant(true));
    rs->SetProp(prFetchRows, Variant(int32_t(2)));
    rs->Open();
    rs->SetRecNo(6); // the blocks before row 6 are dropped on the way
    EXPECT_EQ(CurrentEmpNo(), 6);
    EXPECT_EQ(rs->GetRecNo(), 6);
    rs->SetRecNo(2); // behind the loaded rows: nothing to go back to
    EXPECT_EQ(rs->GetRecNo(), 6);
    rs->SetRecNo(20);
    EXPECT_TRUE(rs->GetEOF());
}
