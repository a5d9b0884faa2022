// Key sequences, the hidden ROWID column and values that come back from write statements, against the
// emulator.
#include "OraE2e.h"

#include <gtest/gtest.h>

using namespace oratest;

namespace {

struct SeqRig : TRig {
    SeqRig() {
        Exec("CREATE TABLE T_K (ID NUMBER(10) NOT NULL PRIMARY KEY, NAME VARCHAR2(20))");
        Exec("CREATE SEQUENCE S_K START WITH 100");
    }
};

void Writable(TOraQuery& q) {
    q.SQLInsert = "INSERT INTO T_K (ID, NAME) VALUES (:ID, :NAME)";
    q.SQLUpdate = "UPDATE T_K SET NAME = :NAME WHERE ID = :OLD_ID";
    q.KeyFields = " ID ; NAME";
    q.KeySequence = " S_K ";
    q.SetSQL("SELECT ID, NAME FROM T_K ORDER BY ID");
}

} // namespace

TEST(OraKeySequence, OnPostTheInsertedRowTakesTheNextValueAndTheKeyIsNotRequired) {
    SeqRig r;
    TOraQuery q(r.s.get());
    Writable(q);
    EXPECT_EQ(q.SequenceMode, smPost);
    q.Open();
    // The column is NOT NULL, but the sequence fills it: posting without it must not ask for it.
    EXPECT_FALSE(q.FieldByName("ID")->Required);
    q.Append();
    EXPECT_TRUE(q.FieldByName("ID")->IsNull()); // nothing fetched before the post
    q.FieldByName("NAME")->SetAsString("first");
    q.Post();
    EXPECT_EQ(q.FieldByName("ID")->AsInteger(), 100);
    q.Append();
    q.FieldByName("NAME")->SetAsString("second");
    q.Post();
    EXPECT_EQ(q.FieldByName("ID")->AsInteger(), 101);
    r.s->Commit();
    EXPECT_EQ(
        r.One(
            "SELECT COUNT(*) FROM T_K WHERE (ID = 100 AND NAME = 'first') OR (ID = 101 AND NAME = 'second')"),
        "2");
    // An edit is no insert: the key stays.
    q.First();
    q.Edit();
    q.FieldByName("NAME")->SetAsString("changed");
    q.Post();
    EXPECT_EQ(q.FieldByName("ID")->AsInteger(), 100);
    EXPECT_EQ(r.One("SELECT NAME FROM T_K WHERE ID = 100"), "changed");
}

TEST(OraKeySequence, OnInsertTheValueIsThereBeforeTheUserTypesAnything) {
    SeqRig r;
    TOraQuery q(r.s.get());
    Writable(q);
    q.SequenceMode = smInsert;
    q.Open();
    bool sawKey = false;
    q.OnNewRecord = [&](TDataSet& ds) { sawKey = !ds.FieldByName("ID")->IsNull(); };
    q.Append();
    EXPECT_TRUE(sawKey); // the user's handler runs after the key is there
    EXPECT_EQ(q.FieldByName("ID")->AsInteger(), 100);
    q.FieldByName("NAME")->SetAsString("typed");
    q.Post(); // no second value on post
    EXPECT_EQ(q.FieldByName("ID")->AsInteger(), 100);
    // A cancelled insert has used its value: the next one goes on from there.
    q.Append();
    EXPECT_EQ(q.FieldByName("ID")->AsInteger(), 101);
    q.Cancel();
    r.s->Commit();
    EXPECT_EQ(r.One("SELECT NAME FROM T_K WHERE ID = 100"), "typed");
    EXPECT_EQ(r.One("SELECT COUNT(*) FROM T_K"), "1");
    // ReturnParams was only switched on for the sequence.
    EXPECT_FALSE(q.Options().ReturnParams);
}

TEST(OraKeySequence, WithoutInsertStatementOrKeyFieldsNothingIsFetched) {
    SeqRig r;
    TOraQuery q(r.s.get());
    q.LocalUpdate = true; // changes stay local: there is no insert statement to take a key
    q.KeyFields = "ID";
    q.KeySequence = "S_K";
    q.SetSQL("SELECT ID, NAME FROM T_K");
    q.Open();
    q.Append();
    q.FieldByName("NAME")->SetAsString("local");
    q.Post();
    EXPECT_TRUE(q.FieldByName("ID")->IsNull());

    TOraQuery k(r.s.get());
    Writable(k);
    k.KeyFields = "";
    k.SequenceMode = smInsert;
    k.Open();
    k.Append();
    EXPECT_TRUE(k.FieldByName("ID")->IsNull());
    k.Cancel();
    // The sequence was not touched by either.
    EXPECT_EQ(r.One("SELECT S_K.NEXTVAL FROM DUAL"), "100");
}

TEST(OraKeySequence, AnUnknownSequenceFailsTheInsertWithTheServerError) {
    SeqRig r;
    TOraQuery q(r.s.get());
    Writable(q);
    q.KeySequence = "NO_SUCH_SEQ";
    q.SequenceMode = smInsert;
    q.Open();
    try {
        q.Append();
        FAIL() << "an insert with an unknown sequence started";
    } catch (EOraError& e) {
        EXPECT_NE(e.ErrorCode, 0);
    }
    EXPECT_EQ(q.State(), dsBrowse); // the insert was cancelled, the data set can go on
    EXPECT_FALSE(q.Options().ReturnParams);
    q.KeySequence = "S_K";
    q.Append();
    EXPECT_EQ(q.FieldByName("ID")->AsInteger(), 100);
    q.Cancel();
}

TEST(OraRowIdField, DefaultRowIdFieldIsHiddenAndTakesTheInsertedRowsRowId) {
    SeqRig r;
    r.Exec("INSERT INTO T_K VALUES (1, 'one')");
    TOraQuery q(r.s.get());
    q.SQLInsert = "INSERT INTO T_K (ID, NAME) VALUES (:ID, :NAME)";
    q.SetSQL("SELECT T_K.ROWID, ID, NAME FROM T_K");
    q.Open();
    TField* rowId = q.FindField("ROWID");
    ASSERT_NE(rowId, nullptr);
    EXPECT_FALSE(rowId->Visible);
    EXPECT_TRUE(q.FieldByName("NAME")->Visible);
    EXPECT_FALSE(rowId->AsString().empty());
    q.Append();
    q.FieldByName("ID")->SetAsInteger(2);
    q.FieldByName("NAME")->SetAsString("two");
    q.Post();
    const std::string inserted = rowId->AsString();
    ASSERT_FALSE(inserted.empty());
    EXPECT_EQ(r.One("SELECT NAME FROM T_K WHERE ROWID = '" + inserted + "'"), "two");
}

TEST(OraReturnParams, TextAssignedByTheWriteStatementComesBackIntoTheField) {
    SeqRig r;
    r.Exec("INSERT INTO T_K VALUES (1, 'one')");
    TOraQuery q(r.s.get());
    // The write statement changes the text it is given; with ReturnParams the field shows the result.
    q.SQLUpdate =
        "begin\r  UPDATE T_K SET NAME = UPPER(:NAME) WHERE ID = :OLD_ID;\r  :NAME := UPPER(:NAME);\rend;";
    q.SetSQL("SELECT ID, NAME FROM T_K");
    q.SetReturnParams(true);
    q.Open();
    q.Edit();
    q.FieldByName("NAME")->SetAsString("shout");
    q.Post();
    EXPECT_EQ(q.FieldByName("NAME")->AsString(), "SHOUT");
    EXPECT_EQ(r.One("SELECT NAME FROM T_K WHERE ID = 1"), "SHOUT");

    // Without ReturnParams the field keeps what was typed.
    q.SetReturnParams(false);
    q.Edit();
    q.FieldByName("NAME")->SetAsString("quiet");
    q.Post();
    EXPECT_EQ(q.FieldByName("NAME")->AsString(), "quiet");
    EXPECT_EQ(r.One("SELECT NAME FROM T_K WHERE ID = 1"), "QUIET");
}
