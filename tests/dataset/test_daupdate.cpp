// Writing rows back: the update statements, OLD_ parameters, strict update, refresh and check of a record.
#include "tests/dataset/testserver/TestComponents.h"

#include <gtest/gtest.h>

using namespace testsrv;

namespace {

class UpdFixture : public ::testing::Test {
protected:
    void SetUp() override {
        SeedScott(db);
        conn.ConnectPrompt = false;
        conn.SetUsername("scott");
        ds.SetConnection(&conn);
        ds.SetSQL("SELECT * FROM EMP");
        upd.ModifySQL = "UPDATE EMP SET ENAME = :ENAME, SAL = :SAL WHERE EMPNO = :OLD_EMPNO";
        upd.InsertSQL = "INSERT INTO EMP (EMPNO, ENAME, SAL, DEPTNO) VALUES (:EMPNO, :ENAME, :SAL, :DEPTNO)";
        upd.DeleteSQL = "DELETE FROM EMP WHERE EMPNO = :OLD_EMPNO";
        upd.RefreshSQL = "SELECT * FROM EMP WHERE EMPNO = :EMPNO";
        ds.SetUpdateObject(&upd);
        ds.Open();
    }

    const std::vector<Variant>* ServerRow(int empno) {
        for (auto& r : db.Table("EMP").Rows)
            if (r[0].AsInteger() == empno) return &r;
        return nullptr;
    }

    std::vector<std::string> BoundParams() { return db.With("rs.cmd.Param "); }

    TTestDatabase db;
    TTestDAConnection conn{&db};
    TTestDADataSet ds;
    TCustomDAUpdateSQL upd;
};

std::string ErrorText(const std::function<void()>& f) {
    try {
        f();
    } catch (std::exception& e) {
        return e.what();
    }
    return "(no error)";
}

} // namespace

TEST_F(UpdFixture, ModifyBindsOldAndNewValues) {
    ds.Next(); // ALLEN
    ds.Edit();
    ds.FieldByName("EMPNO")->SetAsInteger(9999);
    ds.FieldByName("ENAME")->SetAsString("ALLAN");
    db.Log.clear();
    ds.Post();
    std::vector<std::string> bound = BoundParams();
    EXPECT_NE(std::find(bound.begin(), bound.end(), "rs.cmd.Param ENAME=ALLAN"), bound.end());
    EXPECT_NE(std::find(bound.begin(), bound.end(), "rs.cmd.Param OLD_EMPNO=7499"), bound.end());
    ASSERT_NE(ServerRow(7499), nullptr);
    EXPECT_EQ((*ServerRow(7499))[1].AsString(), "ALLAN");
    EXPECT_EQ(ds.FieldByName("ENAME")->AsString(), "ALLAN");
    EXPECT_EQ(ds.State(), dsBrowse);
}

TEST_F(UpdFixture, OldParameterWhileInsertingBindsTheNewValue) {
    upd.InsertSQL = "INSERT INTO EMP (EMPNO, ENAME, DEPTNO) VALUES (:OLD_EMPNO, :ENAME, :DEPTNO)";
    ds.Append();
    ds.FieldByName("EMPNO")->SetAsInteger(8000);
    ds.FieldByName("ENAME")->SetAsString("NEW");
    ds.FieldByName("DEPTNO")->SetAsInteger(40);
    db.Log.clear();
    ds.Post();
    std::vector<std::string> bound = BoundParams();
    EXPECT_NE(std::find(bound.begin(), bound.end(), "rs.cmd.Param OLD_EMPNO=8000"), bound.end());
    ASSERT_NE(ServerRow(8000), nullptr);
    EXPECT_EQ(ds.RecordCount(), 8);
}

TEST_F(UpdFixture, NumberedParametersNameFieldsByNumber) {
    upd.DeleteSQL = "DELETE FROM EMP WHERE EMPNO = :OLD_1";
    ds.Delete();
    EXPECT_EQ(ServerRow(7369), nullptr);
    EXPECT_EQ(ds.RecordCount(), 6);
}

TEST_F(UpdFixture, EmptyInsertStatementChangesOnlyTheStore) {
    upd.InsertSQL.clear();
    ds.Append();
    ds.FieldByName("EMPNO")->SetAsInteger(8001);
    db.Log.clear();
    ds.Post();
    EXPECT_EQ(ds.RecordCount(), 8);
    EXPECT_EQ(db.Table("EMP").Rows.size(), 7u);
    EXPECT_TRUE(db.With("rs.cmd.Execute").empty());
}

TEST_F(UpdFixture, ParameterWithoutFieldIsAnErrorUnlessBeforeUpdateExecuteIsAssigned) {
    upd.ModifySQL = "UPDATE EMP SET SAL = :RAISE WHERE EMPNO = :OLD_EMPNO";
    TParam* own = ds.Params().CreateParam(ftFloat, "RAISE", ptInput); // data-set parameters do not count
    own->SetAsFloat(1);
    ds.Edit();
    ds.FieldByName("ENAME")->SetAsString("X");
    EXPECT_EQ(ErrorText([&] { ds.Post(); }), "Not found field corresponding parameter RAISE.");
    EXPECT_EQ(ds.State(), dsEdit); // a failed write leaves the edit open and the store unchanged
    EXPECT_EQ((*ServerRow(7369))[1].AsString(), "SMITH");

    ds.BeforeUpdateExecute = [](TDataSet&, TStatementTypes kinds, TParams& params) {
        EXPECT_EQ(kinds, StmtBit(stUpdate));
        params.FindParam("RAISE")->SetAsFloat(4242);
    };
    ds.Post();
    EXPECT_EQ((*ServerRow(7369))[3].AsDouble(), 4242);
}

TEST_F(UpdFixture, ParameterLeftWithoutTypeIsRefused) {
    upd.ModifySQL = "UPDATE EMP SET SAL = :RAISE WHERE EMPNO = :OLD_EMPNO";
    ds.BeforeUpdateExecute = [](TDataSet&, TStatementTypes, TParams&) {};
    ds.Edit();
    EXPECT_EQ(ErrorText([&] { ds.Post(); }), "Unknown type of parameter RAISE.");
    ds.Cancel();
}

TEST_F(UpdFixture, StrictUpdateRefusesAWriteThatFoundNoRow) {
    db.Table("EMP").Rows.erase(db.Table("EMP").Rows.begin()); // SMITH vanished on the server
    ds.Edit();
    ds.FieldByName("ENAME")->SetAsString("SMYTHE");
    EXPECT_EQ(ErrorText([&] { ds.Post(); }), "Update failed. Found 0 records.");
    EXPECT_EQ(ds.State(), dsEdit);
    ds.Cancel();
    EXPECT_EQ(ds.FieldByName("ENAME")->AsString(), "SMITH");

    db.ForceRowsAffected = 2;
    EXPECT_EQ(ErrorText([&] { ds.Delete(); }), "Update failed. Found 2 records.");
    EXPECT_EQ(ds.RecordCount(), 7);

    ds.SetStrictUpdate(false);
    db.ForceRowsAffected = 0;
    EXPECT_NO_THROW(ds.Delete());
    EXPECT_EQ(ds.RowsAffected(), 0);
}

TEST_F(UpdFixture, RefreshAfterUpdateShowsServerValuesWithoutReopening) {
    // The server sets the salary itself: the modify statement writes a constant.
    upd.ModifySQL = "UPDATE EMP SET ENAME = :ENAME, SAL = 999 WHERE EMPNO = :OLD_EMPNO";
    ds.RefreshOptions = roAfterUpdate;
    ds.Edit();
    ds.FieldByName("ENAME")->SetAsString("SMITHY");
    int executes = int(db.With("rs.cmd.Execute").size());
    ds.Post();
    EXPECT_EQ(ds.FieldByName("SAL")->AsFloat(), 999);
    EXPECT_EQ(ds.FieldByName("ENAME")->AsString(), "SMITHY");
    // Two statements ran (update and refresh); the data set was not reopened.
    EXPECT_EQ(int(db.With("rs.cmd.Execute").size()), executes + 2);
    EXPECT_EQ(ds.Rs()->FetchCalls, 1);
    ds.Next();
    ds.Prior();
    EXPECT_EQ(ds.FieldByName("SAL")->AsFloat(), 999); // stored, not only shown
}

TEST_F(UpdFixture, RefreshAfterInsertReadsTheNewRow) {
    upd.InsertSQL = "INSERT INTO EMP (EMPNO, ENAME, JOB) VALUES (:EMPNO, :ENAME, 'TRAINEE')";
    ds.RefreshOptions = roAfterInsert;
    ds.Append();
    ds.FieldByName("EMPNO")->SetAsInteger(8100);
    ds.FieldByName("ENAME")->SetAsString("YOUNG");
    ds.Post();
    EXPECT_EQ(ds.FieldByName("JOB")->AsString(), "TRAINEE");
}

TEST_F(UpdFixture, RefreshRecordOutsideAPostUpdatesTheStore) {
    (*const_cast<std::vector<Variant>*>(ServerRow(7369)))[3] = Variant(1234.5);
    ds.RefreshRecord();
    EXPECT_EQ(ds.FieldByName("SAL")->AsFloat(), 1234.5);
    ds.Last();
    ds.First();
    EXPECT_EQ(ds.FieldByName("SAL")->AsFloat(), 1234.5);
    EXPECT_EQ(ds.RowsAffected(), 1);

    db.Table("EMP").Rows.erase(db.Table("EMP").Rows.begin());
    EXPECT_EQ(ErrorText([&] { ds.RefreshRecord(); }), "Refresh failed. Found 0 records.");
}

TEST_F(UpdFixture, CheckStatementDetectsAChangedRecord) {
    const TStatementTypes check = StmtBit(stCheck);
    EXPECT_TRUE(ds.PerformSQL("SELECT * FROM EMP WHERE EMPNO = :EMPNO", check));
    (*const_cast<std::vector<Variant>*>(ServerRow(7369)))[1] = Variant("OTHER");
    EXPECT_EQ(ErrorText([&] { ds.PerformSQL("SELECT * FROM EMP WHERE EMPNO = :EMPNO", check); }),
              "Record was changed by another user.");
    EXPECT_EQ(ds.FieldByName("ENAME")->AsString(), "SMITH"); // a check changes nothing
}

TEST_F(UpdFixture, DataSetParametersAreCopiedIntoRefreshStatements) {
    ds.Close();
    ds.SetSQL("SELECT * FROM EMP WHERE DEPTNO = :D");
    ds.ParamByName("D")->SetAsInteger(10);
    ds.Open();
    EXPECT_TRUE(ds.PerformSQL("SELECT * FROM EMP WHERE DEPTNO = :D AND EMPNO = :EMPNO", StmtBit(stRefresh)));
    EXPECT_EQ(ds.FieldByName("EMPNO")->AsInteger(), 7782);
}

TEST_F(UpdFixture, ReturnParamsWritesParameterValuesBack) {
    ds.SetReturnParams(true);
    ds.BeforeUpdateExecute = [](TDataSet&, TStatementTypes, TParams& params) {
        if (TParam* p = params.FindParam("SAL")) p->SetAsFloat(7777); // as if the server returned a new value
    };
    ds.Edit();
    ds.FieldByName("ENAME")->SetAsString("S");
    ds.Post();
    EXPECT_EQ(ds.FieldByName("SAL")->AsFloat(), 7777);
}

TEST_F(UpdFixture, UpdateQueryAutoCommitFollowsTheKindAndTheDataSet) {
    ds.SetAutoCommit(false);
    db.Log.clear();
    ds.Delete();
    EXPECT_EQ(db.Find("rs.cmd.AutoCommitted"), -1);
    ds.SetAutoCommit(true);
    ds.Delete();
    EXPECT_GE(db.Find("rs.cmd.AutoCommitted"), 0);
}

TEST_F(UpdFixture, ExecStatementServesOnUpdateRecordWithCachedUpdates) {
    ds.Close();
    ds.SetCachedUpdates(true);
    ds.OnUpdateRecord = [&](TDataSet&, TUpdateKind kind, TUpdateAction& action) {
        upd.ExecStatement(kind);
        action = uaApplied;
    };
    ds.Open();
    ds.Edit();
    ds.FieldByName("ENAME")->SetAsString("CACHED");
    ds.Post();
    EXPECT_EQ((*ServerRow(7369))[1].AsString(), "SMITH"); // not yet applied
    ds.ApplyUpdates();
    EXPECT_EQ((*ServerRow(7369))[1].AsString(), "CACHED");
}

TEST_F(UpdFixture, UpdateObjectServesOneDataSetAtATime) {
    TTestDADataSet other;
    other.SetConnection(&conn);
    other.SetUpdateObject(&upd);
    EXPECT_EQ(upd.DataSet(), &other);
    EXPECT_EQ(ds.UpdateObject(), nullptr);
    EXPECT_FALSE(ds.CanModify());
    {
        TCustomDAUpdateSQL temp;
        ds.SetUpdateObject(&temp);
        EXPECT_TRUE(ds.CanModify());
    }
    EXPECT_EQ(ds.UpdateObject(), nullptr); // a destroyed update object is forgotten
    ds.ReadOnly = true;
    ds.SetUpdateObject(&upd);
    EXPECT_FALSE(ds.CanModify());
}

namespace {

class MemoFixture : public ::testing::Test {
protected:
    void SetUp() override {
        db.AddTable("NOTES", {{"ID", dtInt32}, {"TXT", dtMemo}},
                    {{Variant(int32_t(1)), Variant("line1\nline2")}, {Variant(int32_t(2)), Variant("x")}});
        conn.ConnectPrompt = false;
        ds.SetConnection(&conn);
        ds.SetSQL("SELECT * FROM NOTES");
        upd.ModifySQL = "UPDATE NOTES SET TXT = :TXT WHERE ID = :OLD_ID";
        upd.RefreshSQL = "SELECT * FROM NOTES WHERE ID = :ID";
        ds.SetUpdateObject(&upd);
    }
    TTestDatabase db;
    TTestDAConnection conn{&db};
    TTestDADataSet ds;
    TCustomDAUpdateSQL upd;
};

std::string ReadAll(TStream& s) {
    std::string out(size_t(s.Size()), '\0');
    s.SetPosition(0);
    s.Read(out.data(), int64_t(out.size()));
    return out;
}

} // namespace

TEST_F(MemoFixture, WritingAMemoWithConvertEOLExpandsLineFeedsFirst) {
    ds.Open();
    ds.Edit();
    {
        auto plain = ds.CreateBlobStream(ds.FieldByName("TXT"), bmReadWrite);
        EXPECT_EQ(ReadAll(*plain), "line1\nline2"); // ConvertEOL off: as stored
    }
    ds.Cancel();
    conn.Layer()->SetProp(prConvertEOL, Variant(true));
    ds.Edit();
    auto s = ds.CreateBlobStream(ds.FieldByName("TXT"), bmReadWrite);
    EXPECT_EQ(ReadAll(*s), "line1\r\nline2");
    s.reset();
    ds.Cancel();
}

TEST_F(MemoFixture, RefreshReplacesTheBlobOfTheRecord) {
    ds.Open();
    db.Table("NOTES").Rows[0][1] = Variant("changed on the server");
    ds.RefreshRecord();
    EXPECT_EQ(ds.FieldByName("TXT")->AsString(), "changed on the server");
    ds.Next();
    ds.Prior();
    EXPECT_EQ(ds.FieldByName("TXT")->AsString(), "changed on the server");

    // Refreshed after an update, inside the post.
    ds.RefreshOptions = roAfterUpdate;
    upd.ModifySQL = "UPDATE NOTES SET TXT = 'server text' WHERE ID = :OLD_ID";
    ds.Edit();
    ds.FieldByName("TXT")->SetAsString("mine");
    ds.Post();
    EXPECT_EQ(ds.FieldByName("TXT")->AsString(), "server text");
    ds.Close();
    ds.Open();
    EXPECT_EQ(ds.FieldByName("TXT")->AsString(), "server text");
}
