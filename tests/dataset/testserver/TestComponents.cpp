#include "tests/dataset/testserver/TestComponents.h"

#include <cctype>

namespace testsrv {

namespace {

// Position of a keyword (upper-case, surrounded by blanks or the text's ends) or npos.
size_t FindWord(const std::string& sql, const std::string& word) {
    std::string up = sql;
    for (char& c : up)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    size_t pos = 0;
    while ((pos = up.find(word, pos)) != std::string::npos) {
        bool startOk = pos == 0 || std::isspace(static_cast<unsigned char>(up[pos - 1]));
        size_t end = pos + word.size();
        bool endOk = end == up.size() || std::isspace(static_cast<unsigned char>(up[end]));
        if (startOk && endOk) return pos;
        pos = end;
    }
    return std::string::npos;
}

} // namespace

std::unique_ptr<TQxConnection> TTestDAConnection::CreateIConnection() {
    return std::make_unique<TTestConnection>(db_);
}

std::unique_ptr<TCustomDADataSet> TTestDAConnection::CreateDataSet() {
    return std::make_unique<TTestDADataSet>();
}

std::unique_ptr<TCustomDASQL> TTestDAConnection::CreateSQL() {
    return std::make_unique<TCustomDASQL>();
}

TTestDADataSet::~TTestDADataSet() {
    try {
        Close();
    } catch (...) {
    }
}

void TTestDADataSet::OpenCursor() {
    // Like the Oracle data set, the non-blocking option goes to the record set's command before it runs.
    if (IRecordSet()) Rs()->NonBlocking = NonBlocking();
    TCustomDADataSet::OpenCursor();
}

std::string TTestDADataSet::AddWhere(const std::string& sql, const std::string& condition) {
    size_t order = FindWord(sql, "ORDER");
    std::string head = order == std::string::npos ? sql : sql.substr(0, order);
    std::string tail;
    if (order != std::string::npos) tail.append(" ").append(sql, order, std::string::npos);
    while (!head.empty() && std::isspace(static_cast<unsigned char>(head.back())))
        head.pop_back();
    head += FindWord(head, "WHERE") == std::string::npos ? " WHERE " : " AND ";
    return head + condition + tail;
}

std::string TTestDADataSet::SetOrderByText(const std::string& sql, const std::string& fields) {
    size_t order = FindWord(sql, "ORDER");
    std::string head = order == std::string::npos ? sql : sql.substr(0, order);
    while (!head.empty() && std::isspace(static_cast<unsigned char>(head.back())))
        head.pop_back();
    return fields.empty() ? head : head + " ORDER BY " + fields;
}

std::string TTestDADataSet::GetOrderByText(const std::string& sql) {
    size_t order = FindWord(sql, "ORDER");
    if (order == std::string::npos) return std::string();
    size_t by = FindWord(sql.substr(order), "BY");
    return by == std::string::npos ? std::string() : sql.substr(order + by + 3);
}

void SeedScott(TTestDatabase& db) {
    db.AddTable("DEPT", {{"DEPTNO", dtInt32}, {"DNAME", dtString, 14}, {"LOC", dtString, 13}},
                {{Variant(int32_t(10)), Variant("ACCOUNTING"), Variant("NEW YORK")},
                 {Variant(int32_t(20)), Variant("RESEARCH"), Variant("DALLAS")},
                 {Variant(int32_t(30)), Variant("SALES"), Variant("CHICAGO")}});
    struct E {
        int no;
        const char* name;
        const char* job;
        double sal;
        int dept;
    };
    const E emps[] = {{7369, "SMITH", "CLERK", 800, 20},    {7499, "ALLEN", "SALESMAN", 1600, 30},
                      {7521, "WARD", "SALESMAN", 1250, 30}, {7566, "JONES", "MANAGER", 2975, 20},
                      {7698, "BLAKE", "MANAGER", 2850, 30}, {7782, "CLARK", "MANAGER", 2450, 10},
                      {7839, "KING", "PRESIDENT", 5000, 10}};
    std::vector<std::vector<Variant>> rows;
    for (const E& e : emps)
        rows.push_back({Variant(int32_t(e.no)), Variant(e.name), Variant(e.job), Variant(e.sal),
                        Variant(int32_t(e.dept)), Variant::FromDateTime(30000.0 + e.no % 100)});
    db.AddTable("EMP",
                {{"EMPNO", dtInt32},
                 {"ENAME", dtString, 10},
                 {"JOB", dtString, 9},
                 {"SAL", dtFloat},
                 {"DEPTNO", dtInt32},
                 {"HIREDATE", dtDateTime}},
                rows);
}

} // namespace testsrv
