// The framework's components over the in-memory test server: a connection, an SQL component and a data set
// whose SQL text operations are the simplest that the test server's SQL understands.
#pragma once

#include "dataset/DEDozivo.h"
#include "tests/dataset/testserver/TestServer.h"

namespace testsrv {

class TTestDAConnection : public TCustomDAConnection {
public:
    explicit TTestDAConnection(TTestDatabase* db) : db_(db) {}
    ~TTestDAConnection() override { DestroyConnection(); }
    std::unique_ptr<TCustomDADataSet> CreateDataSet() override;
    std::unique_ptr<TCustomDASQL> CreateSQL() override;
    bool IsFatalError(const EDAError& e) override { return e.ErrorCode == FatalCode; }
    TTestConnection* Layer() { return static_cast<TTestConnection*>(IConnection()); }
    TTestDatabase* Database() const { return db_; }
    static constexpr int FatalCode = 3113;

protected:
    std::unique_ptr<TQxConnection> CreateIConnection() override;

private:
    TTestDatabase* db_;
};

class TTestDADataSet : public TCustomDADataSet {
public:
    TTestDADataSet() = default;
    ~TTestDADataSet() override;
    TTestRecordSet* Rs() { return static_cast<TTestRecordSet*>(IRecordSet()); }
    int ServerRecordCount = -1; // answer of the record-count query

protected:
    std::string AddWhere(const std::string& sql, const std::string& condition) override;
    std::string SetOrderByText(const std::string& sql, const std::string& fields) override;
    std::string GetOrderByText(const std::string& sql) override;
    int GetServerRecordCount() override { return ServerRecordCount; }
    void OpenCursor() override;
};

// Seeds DEPT (DEPTNO, DNAME, LOC) with 10, 20, 30 and EMP (EMPNO, ENAME, JOB, SAL, DEPTNO, HIREDATE) with
// seven rows: 7369 SMITH (20), 7499 ALLEN (30), 7521 WARD (30), 7566 JONES (20), 7698 BLAKE (30), 7782 CLARK
// (10), 7839 KING (10).
void SeedScott(TTestDatabase& db);

} // namespace testsrv
