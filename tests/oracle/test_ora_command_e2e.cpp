// Commands and rows against the emulator: statement types, recovery after a failed execute, REF CURSOR
// results opened again, refresh before edit and the combined refresh-and-lock statement, delayed locks.
#include "OraE2e.h"

#include "dataset/DBErrors.h"

#include <gtest/gtest.h>

using namespace oratest;

namespace {

using Rig = TRig;

TEST(OraCommand, StatementTypesAfterPrepare) {
    Rig r;
    auto cmd = r.s->OCIConnection()->CreateCommand();
    auto* c = static_cast<TOCICommand*>(cmd.get());
    struct Case {
        const char* Sql;
        int Type;
    };
    const Case cases[] = {
        {"SELECT * FROM DUAL", SQL_SELECT},
        {"  select * from dual", SQL_SELECT},
        {"UPDATE DEPT SET LOC = LOC", SQL_UPDATE},
        {"DELETE FROM DEPT WHERE 1 = 0", SQL_DELETE},
        {"INSERT INTO DEPT (DEPTNO) VALUES (99)", SQL_INSERT},
        {"begin null; end;", SQL_PLSQL},
        {"declare x number; begin x := 1; end;", SQL_PLSQL},
    };
    for (const Case& k : cases) {
        c->SetSQL(k.Sql);
        c->Prepare();
        Variant v;
        c->GetProp(prStmtType, v);
        EXPECT_EQ(v.AsInteger(), k.Type) << k.Sql;
        c->Unprepare();
    }
    // A DDL statement is neither a query nor DML.
    c->SetSQL("CREATE TABLE T_ST (N NUMBER)");
    c->Prepare();
    EXPECT_FALSE(c->IsSelect());
    EXPECT_FALSE(c->IsPlSql());
    EXPECT_NE(c->StatementType(), SQL_INSERT);
}

TEST(OraCommand, AFailedExecuteLeavesTheComponentReadyForTheNext) {
    Rig r;
    r.Exec("CREATE TABLE T_K (ID NUMBER(9) PRIMARY KEY)");
    TOraSQL ins(r.s.get());
    ins.SetSQL("INSERT INTO T_K VALUES (:id)");
    ins.ParamByName("id")->SetAsInteger(1);
    ins.Execute();
    try {
        ins.Execute();
        FAIL() << "a duplicate key was accepted";
    } catch (EOraError& e) {
        EXPECT_EQ(e.ErrorCode, 1);
    }
    ins.ParamByName("id")->SetAsInteger(2);
    ins.Execute();
    EXPECT_EQ(ins.RowsAffected(), 1);
    r.s->Commit();
    EXPECT_EQ(r.One("SELECT COUNT(*) FROM T_K"), "2");
    // A query that failed at open opens after its text is mended.
    TOraQuery q(r.s.get());
    q.SetSQL("SELECT IDX FROM T_K");
    EXPECT_THROW(q.Open(), EOraError);
    q.SetSQL("SELECT ID FROM T_K ORDER BY ID");
    q.Open();
    EXPECT_EQ(q.Fields(0)->AsInteger(), 1);
}

TEST(OraCommand, RefCursorResultReopensAndRefreshes) {
    Rig r;
    TOraQuery q(r.s.get());
    q.SetSQL("begin open :c for select deptno, dname from dept where deptno >= :d order by deptno; end;");
    q.ParamByName("c")->DataType = ftCursor;
    q.ParamByName("c")->ParamType = ptOutput;
    q.ParamByName("d")->SetAsInteger(30);
    q.Open();
    EXPECT_EQ(q.RecordCount(), 2);
    EXPECT_EQ(q.FieldByName("DNAME")->AsString(), "SALES");
    q.Close();
    q.ParamByName("d")->SetAsInteger(20);
    q.Open();
    q.Last();
    EXPECT_EQ(q.RecordCount(), 3);
    r.Exec("UPDATE DEPT SET DNAME = 'NEW' WHERE DEPTNO = 40");
    q.Refresh();
    q.Last();
    EXPECT_EQ(q.FieldByName("DNAME")->AsString(), "NEW");
    q.Close();
    // The session stays usable for plain queries.
    EXPECT_EQ(r.One("SELECT COUNT(*) FROM DEPT"), "4");
}

struct LockRig : Rig {
    std::unique_ptr<TOraSession> other;
    static vemu::EmuOptions Opts() {
        vemu::EmuOptions o;
        o.lockWaitMs = 200;
        return o;
    }
    LockRig() : Rig(Opts()) {
        Exec("CREATE TABLE T_L (ID NUMBER(9) PRIMARY KEY, NAME VARCHAR2(20))");
        Exec("INSERT INTO T_L VALUES (1, 'one')");
        Exec("INSERT INTO T_L VALUES (2, 'two')");
        s->Commit();
        other = MakeSession(emu);
        other->Connect();
    }
};

TEST(OraLocking, RefreshBeforeEditShowsAnotherSessionsCommittedChange) {
    LockRig r;
    TOraQuery q(r.s.get());
    q.SQLUpdate = "UPDATE T_L SET NAME = :NAME WHERE ID = :OLD_ID";
    q.SQLRefresh = "SELECT ID, NAME FROM T_L WHERE ID = :ID";
    q.RefreshOptions = roBeforeEdit;
    q.SetSQL("SELECT ID, NAME FROM T_L ORDER BY ID");
    q.Open();
    TOraSQL change(r.other.get());
    change.SetSQL("UPDATE T_L SET NAME = 'theirs' WHERE ID = 1");
    change.Execute();
    r.other->Commit();
    EXPECT_EQ(q.FieldByName("NAME")->AsString(), "one");
    q.Edit();
    EXPECT_EQ(q.FieldByName("NAME")->AsString(), "theirs");
    q.Cancel();
}

TEST(OraLocking, ForClauseLockIsTheRefreshStatementWithTheClause) {
    LockRig r;
    r.s->SetAutoCommit(false);
    TOraQuery q(r.s.get());
    q.Name = "QryForLock";
    q.LockMode = lmLockImmediate;
    q.SQLUpdate = "UPDATE T_L SET NAME = :NAME WHERE ID = :OLD_ID";
    q.SQLRefresh = "WHERE ID = :ID";
    q.SQLLock = "for update nowait";
    q.RefreshOptions = roBeforeEdit;
    q.SetSQL("SELECT ID, NAME FROM T_L ORDER BY ID");
    q.Open();
    TOraSQL change(r.other.get());
    change.SetSQL("UPDATE T_L SET NAME = 'theirs' WHERE ID = 1");
    change.Execute();
    r.other->Commit();
    TPrepareLog log;
    q.Edit();
    EXPECT_EQ(q.FieldByName("NAME")->AsString(), "theirs") << "the lock statement refreshed the row";
    bool sawLock = false;
    for (const std::string& t : log.Texts())
        if (t.find("WHERE ID = :ID") != std::string::npos && t.find("for update nowait") != std::string::npos)
            sawLock = true;
    EXPECT_TRUE(sawLock);
    EXPECT_EQ(log.Starting("SAVEPOINT LOCK_QryForLock").size(), 1u);
    // Held: the other session cannot change the row now.
    EXPECT_THROW(change.Execute(), EOraError);
    q.Cancel();
    r.s->Rollback();
    change.Execute();
    r.other->Commit();
}

TEST(OraLocking, DelayedLockFailingOnPostRaisesAndKeepsTheEdit) {
    LockRig r;
    r.s->SetAutoCommit(false);
    TOraQuery q(r.s.get());
    q.Name = "QryDelayed";
    q.LockMode = lmLockDelayed;
    q.SQLUpdate = "UPDATE T_L SET NAME = :NAME WHERE ID = :OLD_ID";
    q.SQLLock = "SELECT ID FROM T_L WHERE ID = :OLD_ID FOR UPDATE NOWAIT";
    q.SetSQL("SELECT ID, NAME FROM T_L ORDER BY ID");
    q.Open();
    q.Edit(); // no lock yet
    TOraSQL hold(r.other.get());
    hold.SetSQL("UPDATE T_L SET NAME = 'held' WHERE ID = 1");
    hold.Execute(); // the other session holds the row until it commits
    q.FieldByName("NAME")->SetAsString("mine");
    EXPECT_THROW(q.Post(), EOraError);
    EXPECT_EQ(q.State(), dsEdit) << "the user's change is not thrown away";
    EXPECT_EQ(q.FieldByName("NAME")->AsString(), "mine");
    r.other->Rollback();
    q.Post();
    r.s->Commit();
    EXPECT_EQ(r.One("SELECT NAME FROM T_L WHERE ID = 1", r.other.get()), "mine");
}

TEST(OraLocking, DeleteWithALockThatFailsLeavesTheRow) {
    LockRig r;
    r.s->SetAutoCommit(false);
    TOraQuery q(r.s.get());
    q.Name = "QryDel";
    q.LockMode = lmLockDelayed;
    q.SQLDelete = "DELETE FROM T_L WHERE ID = :OLD_ID";
    q.SQLLock = "SELECT ID FROM T_L WHERE ID = :OLD_ID FOR UPDATE NOWAIT";
    q.SetSQL("SELECT ID, NAME FROM T_L ORDER BY ID");
    q.Open();
    TOraSQL hold(r.other.get());
    hold.SetSQL("UPDATE T_L SET NAME = 'held' WHERE ID = 1");
    hold.Execute();
    EXPECT_THROW(q.Delete(), EOraError);
    EXPECT_EQ(q.RecordCount(), 2);
    EXPECT_EQ(q.FieldByName("ID")->AsInteger(), 1);
    r.other->Rollback();
    q.Delete();
    r.s->Commit();
    EXPECT_EQ(r.One("SELECT COUNT(*) FROM T_L", r.other.get()), "1");
}

} // namespace
