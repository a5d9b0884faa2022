// The database shared by all sessions: file or temporary WAL database, accounts, the write lock, sequences
// and the session list; the demo schema is seeded on first use.
#include "emulator/EmuEngine.h"

#include <sqlite3.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <unistd.h>

namespace vemu {

namespace {
std::atomic<int> g_tempCounter{0};

const char* kCatalogDdl[] = {
    "CREATE TABLE IF NOT EXISTS \"vemu$meta\" (KEY TEXT PRIMARY KEY, VALUE TEXT)",
    "CREATE TABLE IF NOT EXISTS \"vemu$constraints\" (OWNER TEXT, CONSTRAINT_NAME TEXT, CONSTRAINT_TYPE "
    "TEXT, "
    "TABLE_NAME TEXT, R_OWNER TEXT, R_CONSTRAINT_NAME TEXT, SEARCH_CONDITION TEXT, DELETE_RULE TEXT, STATUS "
    "TEXT, "
    "INDEX_NAME TEXT)",
    "CREATE TABLE IF NOT EXISTS \"vemu$cons_columns\" (OWNER TEXT, CONSTRAINT_NAME TEXT, TABLE_NAME TEXT, "
    "COLUMN_NAME TEXT, POSITION INTEGER)",
    "CREATE TABLE IF NOT EXISTS \"vemu$sequences\" (OWNER TEXT, NAME TEXT, MIN_VALUE INTEGER, MAX_VALUE "
    "INTEGER, "
    "INCREMENT_BY INTEGER, LAST_NUMBER INTEGER, CYCLE_FLAG INTEGER)",
};

const char* kScott[] = {
    "CREATE TABLE DEPT (DEPTNO NUMBER(2) CONSTRAINT PK_DEPT PRIMARY KEY, DNAME VARCHAR2(14), LOC "
    "VARCHAR2(13))",
    "CREATE TABLE EMP (EMPNO NUMBER(4) CONSTRAINT PK_EMP PRIMARY KEY, ENAME VARCHAR2(10), JOB VARCHAR2(9), "
    "MGR NUMBER(4), HIREDATE DATE, SAL NUMBER(7,2), COMM NUMBER(7,2), "
    "DEPTNO NUMBER(2) CONSTRAINT FK_DEPTNO REFERENCES DEPT)",
    "CREATE TABLE BONUS (ENAME VARCHAR2(10), JOB VARCHAR2(9), SAL NUMBER, COMM NUMBER)",
    "CREATE TABLE SALGRADE (GRADE NUMBER, LOSAL NUMBER, HISAL NUMBER)",
    "INSERT INTO DEPT VALUES (10,'ACCOUNTING','NEW YORK')",
    "INSERT INTO DEPT VALUES (20,'RESEARCH','DALLAS')",
    "INSERT INTO DEPT VALUES (30,'SALES','CHICAGO')",
    "INSERT INTO DEPT VALUES (40,'OPERATIONS','BOSTON')",
    "INSERT INTO EMP VALUES (7369,'SMITH','CLERK',7902,to_date('17-12-1980','dd-mm-yyyy'),800,NULL,20)",
    "INSERT INTO EMP VALUES (7499,'ALLEN','SALESMAN',7698,to_date('20-2-1981','dd-mm-yyyy'),1600,300,30)",
    "INSERT INTO EMP VALUES (7521,'WARD','SALESMAN',7698,to_date('22-2-1981','dd-mm-yyyy'),1250,500,30)",
    "INSERT INTO EMP VALUES (7566,'JONES','MANAGER',7839,to_date('2-4-1981','dd-mm-yyyy'),2975,NULL,20)",
    "INSERT INTO EMP VALUES (7654,'MARTIN','SALESMAN',7698,to_date('28-9-1981','dd-mm-yyyy'),1250,1400,30)",
    "INSERT INTO EMP VALUES (7698,'BLAKE','MANAGER',7839,to_date('1-5-1981','dd-mm-yyyy'),2850,NULL,30)",
    "INSERT INTO EMP VALUES (7782,'CLARK','MANAGER',7839,to_date('9-6-1981','dd-mm-yyyy'),2450,NULL,10)",
    "INSERT INTO EMP VALUES (7788,'SCOTT','ANALYST',7566,to_date('19-04-1987','dd-mm-yyyy'),3000,NULL,20)",
    "INSERT INTO EMP VALUES (7839,'KING','PRESIDENT',NULL,to_date('17-11-1981','dd-mm-yyyy'),5000,NULL,10)",
    "INSERT INTO EMP VALUES (7844,'TURNER','SALESMAN',7698,to_date('8-9-1981','dd-mm-yyyy'),1500,0,30)",
    "INSERT INTO EMP VALUES (7876,'ADAMS','CLERK',7788,to_date('23-05-1987','dd-mm-yyyy'),1100,NULL,20)",
    "INSERT INTO EMP VALUES (7900,'JAMES','CLERK',7698,to_date('3-12-1981','dd-mm-yyyy'),950,NULL,30)",
    "INSERT INTO EMP VALUES (7902,'FORD','ANALYST',7566,to_date('3-12-1981','dd-mm-yyyy'),3000,NULL,20)",
    "INSERT INTO EMP VALUES (7934,'MILLER','CLERK',7782,to_date('23-1-1982','dd-mm-yyyy'),1300,NULL,10)",
    "INSERT INTO SALGRADE VALUES (1,700,1200)",
    "INSERT INTO SALGRADE VALUES (2,1201,1400)",
    "INSERT INTO SALGRADE VALUES (3,1401,2000)",
    "INSERT INTO SALGRADE VALUES (4,2001,3000)",
    "INSERT INTO SALGRADE VALUES (5,3001,9999)",
};

void Check(sqlite3* db, int rc, const char* what) {
    if (rc != SQLITE_OK) throw std::runtime_error(std::string(what) + ": " + sqlite3_errmsg(db));
}
void ExecOrThrow(sqlite3* db, const std::string& sql) {
    char* msg = nullptr;
    int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &msg);
    if (rc != SQLITE_OK) {
        std::string m = msg ? msg : "";
        sqlite3_free(msg);
        throw std::runtime_error("database set-up failed: " + m + " in " + sql);
    }
}
} // namespace

EmuDatabase::EmuDatabase(const EmuOptions& opts) : opts_(opts) {
    // The classic hash ignores the password's case; the current verifiers keep it, as 11g and later do
    // (the seeded accounts' passwords are lower case there).
    auto add = [&](const std::string& n, const std::string& p) {
        std::string u = UpperAscii(n);
        Account acc{u, PasswordHash(u, p), MakeVerifier(VerifierKind::V11g, p),
                    MakeVerifier(VerifierKind::V12c, p)};
        for (auto& a : accounts_)
            if (a.name == u) {
                a = std::move(acc);
                return;
            }
        accounts_.push_back(std::move(acc));
    };
    add("SYS", "change_on_install");
    add("SYSTEM", "manager");
    add("SCOTT", "tiger");
    for (const auto& [n, p] : opts.extraUsers)
        add(n, p);
}

EmuDatabase::~EmuDatabase() {
    if (keeper_) {
        SeqFlush(nullptr);
        sqlite3_close_v2(keeper_);
    }
    if (tempFile_) {
        std::remove(path_.c_str());
        std::remove((path_ + "-wal").c_str());
        std::remove((path_ + "-shm").c_str());
        std::remove((path_ + "-journal").c_str());
    }
}

const Account* EmuDatabase::FindAccount(const std::string& upperName) const {
    for (const auto& a : accounts_)
        if (a.name == upperName) return &a;
    return nullptr;
}

sqlite3* EmuDatabase::Connect() {
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(path_.c_str(), &db,
                             SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        std::string m = db ? sqlite3_errmsg(db) : "out of memory";
        sqlite3_close_v2(db);
        throw std::runtime_error("cannot open the database " + path_ + ": " + m);
    }
    sqlite3_db_config(db, SQLITE_DBCONFIG_DQS_DML, 0, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_DQS_DDL, 0, nullptr);
    sqlite3_busy_timeout(db, 10000);
    char* msg = nullptr;
    std::string pragmas = "PRAGMA foreign_keys = ON; PRAGMA temp_store = MEMORY; PRAGMA cache_size = -16000;";
    pragmas += tempFile_ ? "PRAGMA synchronous = OFF;" : "PRAGMA synchronous = NORMAL;";
    sqlite3_exec(db, pragmas.c_str(), nullptr, nullptr, &msg);
    sqlite3_free(msg);
    return db;
}

void EmuDatabase::Open() {
    if (opts_.dbFile.empty()) {
        const char* tmp = std::getenv("TMPDIR");
        std::string dir = tmp && *tmp ? tmp : "/tmp";
        path_ = dir + "/vestra-emu-" + std::to_string(::getpid()) + "-" + std::to_string(++g_tempCounter) +
                "-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count() % 1000000) +
                ".db";
        std::remove(path_.c_str());
        tempFile_ = true;
    } else {
        path_ = opts_.dbFile;
    }
    keeper_ = Connect();
    char* msg = nullptr;
    if (sqlite3_exec(keeper_, "PRAGMA journal_mode = WAL", nullptr, nullptr, &msg) != SQLITE_OK) {
        std::string m = msg ? msg : sqlite3_errmsg(keeper_);
        sqlite3_free(msg);
        throw std::runtime_error("cannot use the database " + path_ + ": " + m);
    }
    for (const char* d : kCatalogDdl)
        ExecOrThrow(keeper_, d);
    // Sequences.
    sqlite3_stmt* st = nullptr;
    Check(keeper_,
          sqlite3_prepare_v2(
              keeper_,
              "SELECT OWNER, NAME, MIN_VALUE, MAX_VALUE, INCREMENT_BY, LAST_NUMBER, CYCLE_FLAG FROM "
              "\"vemu$sequences\"",
              -1, &st, nullptr),
          "reading sequences");
    while (sqlite3_step(st) == SQLITE_ROW) {
        Sequence s;
        s.minValue = sqlite3_column_int64(st, 2);
        s.maxValue = sqlite3_column_int64(st, 3);
        s.increment = sqlite3_column_int64(st, 4);
        s.next = sqlite3_column_int64(st, 5);
        s.cycle = sqlite3_column_int(st, 6) != 0;
        seqs_[std::string(ColumnText(st, 0)) + "." + ColumnText(st, 1)] = s;
    }
    sqlite3_finalize(st);

    bool seeded = false;
    Check(
        keeper_,
        sqlite3_prepare_v2(keeper_, "SELECT VALUE FROM \"vemu$meta\" WHERE KEY = 'seeded'", -1, &st, nullptr),
        "reading the seed mark");
    seeded = sqlite3_step(st) == SQLITE_ROW;
    sqlite3_finalize(st);
    if (!seeded) {
        EmuEngine sys(*this, 1, "SYS");
        Seed(sys);
    }
    if (opts_.benchRows > 0) {
        long long have = -1;
        if (sqlite3_prepare_v2(keeper_, "SELECT count(*) FROM \"SCOTT.BENCH\"", -1, &st, nullptr) ==
            SQLITE_OK) {
            if (sqlite3_step(st) == SQLITE_ROW) have = sqlite3_column_int64(st, 0);
        }
        sqlite3_finalize(st);
        if (have != opts_.benchRows) {
            ExecOrThrow(keeper_, "DROP TABLE IF EXISTS \"SCOTT.BENCH\"");
            ExecOrThrow(keeper_, "BEGIN");
            ExecOrThrow(
                keeper_,
                "CREATE TABLE \"SCOTT.BENCH\" (\"ID\" NUMBER, \"NAME\" VARCHAR2(30), \"CREATED\" DATE, "
                "\"AMOUNT\" NUMBER(10,2))");
            // CREATED: one day apart from 2000-01-01 on (a day number since 1899-12-30), AMOUNT with cents
            ExecOrThrow(keeper_,
                        "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < " +
                            std::to_string(opts_.benchRows) +
                            ") INSERT INTO \"SCOTT.BENCH\" SELECT x, 'Name ' || x, 36526 + (x % 3650) + "
                            "(x % 86400) / 86400.0, (x % 100000) / 100.0 FROM c");
            ExecOrThrow(keeper_, "COMMIT");
        }
    }
}

void EmuDatabase::Seed(EmuEngine& e) {
    auto run = [&](EmuEngine& en, const char* sql) {
        OraError err;
        auto st = en.Parse(sql, err);
        long long rows;
        if (st && !err) err = en.Execute(*st, {}, rows);
        if (err) throw std::runtime_error("seeding failed: " + err.text + " in " + sql);
    };
    OraError err;
    e.Exec("CREATE TABLE IF NOT EXISTS \"SYS.DUAL\" (\"DUMMY\" VARCHAR2(1))", err);
    e.Exec("INSERT INTO \"SYS.DUAL\" SELECT 'X' WHERE NOT EXISTS (SELECT 1 FROM \"SYS.DUAL\")", err);
    EmuEngine scott(*this, 2, "SCOTT");
    for (const char* sql : kScott)
        run(scott, sql);
    OraError c = scott.Commit();
    if (c) throw std::runtime_error("seeding failed: " + c.text);
    e.Exec("INSERT OR REPLACE INTO \"vemu$meta\" VALUES ('seeded', '1')", err);
}

bool EmuDatabase::AcquireWriter(int sid, int timeoutMs) {
    std::unique_lock<std::mutex> lk(writerMu_);
    if (writer_ == sid) return true;
    if (writer_ == 0 && writerQueue_.empty()) {
        writer_ = sid;
        return true;
    }
    writerQueue_.push_back(sid);
    bool got = writerCv_.wait_for(lk, std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs),
                                  [&] { return writer_ == 0 && writerQueue_.front() == sid; });
    if (got) {
        writerQueue_.pop_front();
        writer_ = sid;
    } else {
        for (auto it = writerQueue_.begin(); it != writerQueue_.end(); ++it)
            if (*it == sid) {
                writerQueue_.erase(it);
                break;
            }
    }
    lk.unlock();
    writerCv_.notify_all(); // the queue changed: the next in line may go
    return got;
}

void EmuDatabase::ReleaseWriter(int sid) {
    {
        std::lock_guard<std::mutex> lk(writerMu_);
        if (writer_ != sid) return;
        writer_ = 0;
    }
    writerCv_.notify_all();
}

bool EmuDatabase::SeqNext(const std::string& owner, const std::string& name, long long& v) {
    std::lock_guard<std::mutex> lk(seqMu_);
    auto it = seqs_.find(owner + "." + name);
    if (it == seqs_.end()) return false;
    Sequence& s = it->second;
    v = s.next;
    s.next += s.increment;
    if (s.maxValue && s.next > s.maxValue && s.cycle) s.next = s.minValue;
    s.dirty = true;
    return true;
}

bool EmuDatabase::SeqExists(const std::string& owner, const std::string& name) {
    std::lock_guard<std::mutex> lk(seqMu_);
    return seqs_.count(owner + "." + name) != 0;
}

void EmuDatabase::SeqCreate(const std::string& owner, const std::string& name, const Sequence& s) {
    std::lock_guard<std::mutex> lk(seqMu_);
    seqs_[owner + "." + name] = s;
}

void EmuDatabase::SeqDrop(const std::string& owner, const std::string& name) {
    std::lock_guard<std::mutex> lk(seqMu_);
    seqs_.erase(owner + "." + name);
}

void EmuDatabase::SeqFlush(sqlite3* db) {
    std::vector<std::pair<std::string, long long>> dirty;
    {
        std::lock_guard<std::mutex> lk(seqMu_);
        for (auto& [k, s] : seqs_)
            if (s.dirty) {
                dirty.push_back({k, s.next});
                s.dirty = false;
            }
    }
    if (dirty.empty()) return;
    sqlite3* target = db ? db : keeper_;
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(target,
                           "UPDATE \"vemu$sequences\" SET LAST_NUMBER = max(LAST_NUMBER, ?1) WHERE OWNER || "
                           "'.' || NAME = ?2",
                           -1, &st, nullptr) != SQLITE_OK)
        return;
    for (auto& [k, v] : dirty) {
        sqlite3_bind_int64(st, 1, v);
        sqlite3_bind_text(st, 2, k.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_step(st);
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
}

int EmuDatabase::RegisterSession(const SessionInfo& info) {
    std::lock_guard<std::mutex> lk(sessMu_);
    SessionInfo s = info;
    s.sid = ++nextSid_;
    sessions_[s.sid] = s;
    return s.sid;
}

void EmuDatabase::UnregisterSession(int sid) {
    std::lock_guard<std::mutex> lk(sessMu_);
    sessions_.erase(sid);
}

std::vector<SessionInfo> EmuDatabase::Sessions() {
    std::lock_guard<std::mutex> lk(sessMu_);
    std::vector<SessionInfo> v;
    for (auto& [k, s] : sessions_)
        v.push_back(s);
    return v;
}

} // namespace vemu
