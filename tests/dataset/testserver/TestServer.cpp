#include "tests/dataset/testserver/TestServer.h"

#include "dataset/DAError.h"
#include "dataset/DAHooks.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace testsrv {

namespace {

std::string Upper(std::string s) {
    for (char& c : s)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

struct TTok {
    enum Kind { End, Ident, Number, String, Param, Symbol } K = End;
    std::string Text; // identifiers upper-cased; parameters without the colon
};

std::vector<TTok> Tokenize(const std::string& sql) {
    std::vector<TTok> out;
    size_t i = 0, n = sql.size();
    while (i < n) {
        unsigned char c = static_cast<unsigned char>(sql[i]);
        if (std::isspace(c)) {
            ++i;
        } else if (std::isalpha(c) || c == '_') {
            size_t s = i;
            while (i < n && (std::isalnum(static_cast<unsigned char>(sql[i])) || sql[i] == '_'))
                ++i;
            out.push_back({TTok::Ident, Upper(sql.substr(s, i - s))});
        } else if (std::isdigit(c) ||
                   (c == '-' && i + 1 < n && std::isdigit(static_cast<unsigned char>(sql[i + 1])))) {
            size_t s = i++;
            while (i < n && (std::isdigit(static_cast<unsigned char>(sql[i])) || sql[i] == '.'))
                ++i;
            out.push_back({TTok::Number, sql.substr(s, i - s)});
        } else if (c == '\'') {
            std::string v;
            ++i;
            while (i < n) {
                if (sql[i] == '\'') {
                    if (i + 1 < n && sql[i + 1] == '\'') {
                        v += '\'';
                        i += 2;
                        continue;
                    }
                    break;
                }
                v += sql[i++];
            }
            if (i >= n) throw EDAError("unterminated string");
            ++i;
            out.push_back({TTok::String, v});
        } else if (c == ':' && i + 1 < n &&
                   (std::isalnum(static_cast<unsigned char>(sql[i + 1])) || sql[i + 1] == '_')) {
            size_t s = ++i;
            while (i < n && (std::isalnum(static_cast<unsigned char>(sql[i])) || sql[i] == '_'))
                ++i;
            out.push_back({TTok::Param, sql.substr(s, i - s)});
        } else {
            out.push_back({TTok::Symbol, std::string(1, char(c))});
            ++i;
        }
    }
    out.push_back({TTok::End, ""});
    return out;
}

// A cursor over the tokens of one statement.
struct TScan {
    std::vector<TTok> T;
    size_t P = 0;
    const TTok& Peek() const { return T[P]; }
    TTok Next() { return P + 1 < T.size() ? T[P++] : T[P]; }
    bool Accept(const char* word) {
        if ((Peek().K == TTok::Ident || Peek().K == TTok::Symbol) && Peek().Text == word) {
            ++P;
            return true;
        }
        return false;
    }
    void Expect(const char* word) {
        if (!Accept(word)) throw EDAError(std::string("expected ") + word);
    }
    std::string Ident() {
        if (Peek().K != TTok::Ident) throw EDAError("expected a name");
        return Next().Text;
    }
};

struct TExpr {
    TTok Tok;
};

struct TCond {
    std::string Column;
    bool IsNull = false;
    TTok Value;
};

} // namespace

int TTable::ColumnIndex(const std::string& name) const {
    std::string u = Upper(name);
    for (size_t i = 0; i < Columns.size(); ++i)
        if (Upper(Columns[i].Name) == u) return int(i);
    return -1;
}

void TTestDatabase::AddTable(const std::string& name, std::vector<TColumn> columns,
                             std::vector<std::vector<Variant>> rows) {
    TTable t;
    t.Columns = std::move(columns);
    t.Rows = std::move(rows);
    Tables[Upper(name)] = std::move(t);
}

TTable& TTestDatabase::Table(const std::string& name) {
    auto it = Tables.find(Upper(name));
    if (it == Tables.end()) throw EDAError("table or view does not exist: " + name);
    return it->second;
}

int TTestDatabase::Find(const std::string& entry, size_t from) const {
    for (size_t i = from; i < Log.size(); ++i)
        if (Log[i] == entry) return int(i);
    return -1;
}

int TTestDatabase::Count(const std::string& entry) const {
    return int(std::count(Log.begin(), Log.end(), entry));
}

std::vector<std::string> TTestDatabase::With(const std::string& prefix) const {
    std::vector<std::string> out;
    for (auto& e : Log)
        if (e.compare(0, prefix.size(), prefix) == 0) out.push_back(e);
    return out;
}

// ---- Connection ----

void TTestConnection::Connect(const std::string& connectString) {
    db_->Record("conn.Connect " + username_ + "/" + password_ + "@" + server_);
    if (!db_->FailConnectMessage.empty()) RaiseServerError(db_->FailConnectMessage);
    if (!db_->ValidPassword.empty() && password_ != db_->ValidPassword)
        RaiseServerError("invalid username/password; logon denied");
    connected_ = true;
}

void TTestConnection::Disconnect() {
    db_->Record("conn.Disconnect");
    connected_ = false;
}

void TTestConnection::StartTransaction() {
    db_->Record("conn.StartTransaction");
    db_->InTransaction = true;
    db_->Snapshot = db_->Tables;
}

void TTestConnection::Commit() {
    db_->Record("conn.Commit");
    if (!db_->FailCommitMessage.empty()) RaiseServerError(db_->FailCommitMessage);
    db_->InTransaction = false;
    db_->Snapshot.clear();
}

void TTestConnection::Rollback() {
    db_->Record("conn.Rollback");
    if (db_->InTransaction) db_->Tables = db_->Snapshot;
    db_->InTransaction = false;
    db_->Snapshot.clear();
}

void TTestConnection::SetProp(int code, const Variant& value) {
    TQxConnection::SetProp(code, value);
    db_->Record("conn.SetProp " + std::to_string(code) + " " + value.AsString());
}

void TTestConnection::SetMethodProp(int code, TQxMethod method) {
    if (code != prOnError) TQxConnection::SetMethodProp(code, std::move(method));
    onError_ = std::move(method);
    db_->Record("conn.SetMethodProp " + std::to_string(code));
}

std::unique_ptr<TQxCommand> TTestConnection::CreateCommand() {
    db_->Record("conn.CreateCommand");
    auto c = std::make_unique<TTestCommand>(db_);
    c->SetConnection(this);
    return c;
}

std::unique_ptr<TQxRecordSet> TTestConnection::CreateRecordSet() {
    db_->Record("conn.CreateRecordSet");
    return std::make_unique<TTestRecordSet>(db_);
}

void TTestConnection::RaiseServerError(const std::string& message, int code) {
    EDAError e(message, code);
    if (onError_) {
        TQxMethodArgs args;
        args.Sender = this;
        args.Error = &e;
        args.Fail = true;
        onError_(args);
    }
    throw e;
}

// ---- Command ----

void TTestCommand::SetConnection(TQxConnection* connection) {
    TQxCommand::SetConnection(connection);
    db_->Record(Tag + ".SetConnection");
}

void TTestCommand::SetSQL(const std::string& text) {
    TQxCommand::SetSQL(text);
    db_->Record(Tag + ".SetSQL " + sql_);
    prepared_ = false;
    kind_ = 0;
    if (db_->ScanParams) {
        // The command finds the parameters itself: one descriptor per distinct name, in order.
        params_.Clear();
        for (auto& t : Tokenize(sql_))
            if (t.K == TTok::Param && !params_.FindParam(t.Text)) {
                TParamDesc* p = AddParam();
                p->SetName(t.Text);
                p->SetParamType(pdInput);
            }
    }
}

void TTestCommand::Prepare() {
    db_->Record(Tag + ".Prepare");
    Parse();
    prepared_ = true;
}

void TTestCommand::Unprepare() {
    db_->Record(Tag + ".Unprepare");
    prepared_ = false;
}

void TTestCommand::SetProp(int code, const Variant& value) {
    TQxCommand::SetProp(code, value);
    db_->Record(Tag + ".SetProp " + std::to_string(code) + " " + value.AsString());
}

void TTestCommand::GetProp(int code, Variant& value) {
    switch (code) {
    case prScanParams:
        value = db_->ScanParams;
        break;
    case prRowsProcessed:
        value = int32_t(RowsProcessed);
        break;
    case prExecuting:
        value = db_->Executing;
        break;
    default:
        TQxCommand::GetProp(code, value);
    }
}

void TTestCommand::SetMethodProp(int code, TQxMethod method) {
    TQxCommand::SetMethodProp(code, std::move(method));
    db_->Record(Tag + ".SetMethodProp " + std::to_string(code));
}

Variant TTestCommand::ParamValue(const std::string& name) const {
    TParamDesc* p = params_.FindParam(name);
    if (!p) throw EDAError("not all variables bound: " + name);
    Variant v;
    p->GetValue(v);
    return v;
}

void TTestCommand::Parse() {
    TScan s{Tokenize(sql_)};
    columns_.clear();
    if (s.Accept("SELECT")) {
        kind_ = rkRows;
        std::vector<std::string> names;
        if (!s.Accept("*")) {
            do
                names.push_back(s.Ident());
            while (s.Accept(","));
        }
        s.Expect("FROM");
        TTable& t = db_->Table(s.Ident());
        if (names.empty())
            columns_ = t.Columns;
        else
            for (auto& n : names) {
                int i = t.ColumnIndex(n);
                if (i < 0) throw EDAError("invalid identifier: " + n);
                columns_.push_back(t.Columns[size_t(i)]);
            }
    } else if (s.Peek().Text == "INSERT" || s.Peek().Text == "UPDATE" || s.Peek().Text == "DELETE") {
        kind_ = rkNoRows;
    } else {
        throw EDAError("unknown statement");
    }
}

void TTestCommand::Execute(int iterations) {
    db_->Record(Tag + ".Execute " + std::to_string(iterations));
    auto* conn = static_cast<TTestConnection*>(connection_);
    bool ok = false;
    try {
        if (!conn || !conn->GetConnected()) throw EDAError("not connected");
        for (int i = 0; i < GetParamCount(); ++i) {
            Variant v;
            GetParam(i)->GetValue(v);
            std::string text = v.IsNullOrEmpty() ? "NULL"
                               : v.IsArray()     ? "<" + std::to_string(v.ArrayHighBound() + 1) + " items>"
                                                 : v.AsString();
            db_->Record(Tag + ".Param " + GetParam(i)->GetName() + "=" + text);
        }
        if (!db_->FailOnText.empty() && sql_.find(db_->FailOnText) != std::string::npos)
            conn->RaiseServerError(db_->FailMessage, db_->FailCode);
        try {
            Run();
        } catch (EDAError& e) {
            conn->RaiseServerError(e.what());
        }
        // Output parameters get a value the server made up: "out:" and the name.
        for (int i = 0; i < GetParamCount(); ++i) {
            TParamDesc* p = GetParam(i);
            if (p->GetParamType() == pdOutput || p->GetParamType() == pdInputOutput)
                p->SetValue(Variant("out:" + p->GetName()));
        }
        ok = true;
    } catch (...) {
        DoAfterExecute(false);
        throw;
    }
    DoAfterExecute(ok);
}

std::string TTestCommand::RunDetached() {
    try {
        if (!connection_ || !connection_->GetConnected()) return "not connected";
        if (!db_->FailOnText.empty() && sql_.find(db_->FailOnText) != std::string::npos)
            return db_->FailMessage;
        Run();
    } catch (std::exception& e) {
        return e.what();
    }
    return std::string();
}

void TTestCommand::Run() {
    Parse();
    TScan s{Tokenize(sql_)};
    auto value = [&](const TTok& t) -> Variant {
        switch (t.K) {
        case TTok::Param:
            return ParamValue(t.Text);
        case TTok::Number: {
            if (t.Text.find('.') != std::string::npos) return Variant(std::stod(t.Text));
            return Variant(int32_t(std::stol(t.Text)));
        }
        case TTok::String:
            return Variant(t.Text);
        case TTok::Ident:
            if (t.Text == "NULL") return Variant::Null();
            [[fallthrough]];
        default:
            throw EDAError("bad value " + t.Text);
        }
    };
    auto where = [&](TTable& t) {
        std::vector<TCond> conds;
        if (s.Accept("WHERE")) {
            do {
                TCond c;
                c.Column = s.Ident();
                if (t.ColumnIndex(c.Column) < 0) throw EDAError("invalid identifier: " + c.Column);
                if (s.Accept("IS")) {
                    s.Expect("NULL");
                    c.IsNull = true;
                } else {
                    s.Expect("=");
                    c.Value = s.Next();
                }
                conds.push_back(c);
            } while (s.Accept("AND"));
        }
        std::vector<size_t> hits;
        for (size_t r = 0; r < t.Rows.size(); ++r) {
            bool match = true;
            for (auto& c : conds) {
                const Variant& v = t.Rows[r][size_t(t.ColumnIndex(c.Column))];
                if (c.IsNull)
                    match = match && v.IsNullOrEmpty();
                else {
                    Variant k = value(c.Value);
                    match = match && !v.IsNullOrEmpty() && !k.IsNullOrEmpty() && v.Equals(k);
                }
            }
            if (match) hits.push_back(r);
        }
        return hits;
    };
    auto autoCommit = [&] {
        if (autoCommit_ && connection_->GetAutoCommit()) db_->Record(Tag + ".AutoCommitted");
    };

    result_ = TResult();
    RowsProcessed = 0;
    if (s.Accept("SELECT")) {
        s.P = 0;
        while (!s.Accept("FROM"))
            s.Next();
        TTable& t = db_->Table(s.Ident());
        std::vector<size_t> hits = where(t);
        if (s.Accept("ORDER")) {
            s.Expect("BY");
            std::vector<std::pair<int, bool>> keys;
            do {
                int c = t.ColumnIndex(s.Ident());
                if (c < 0) throw EDAError("invalid ORDER BY column");
                bool desc = s.Accept("DESC");
                if (!desc) s.Accept("ASC");
                keys.push_back({c, desc});
            } while (s.Accept(","));
            std::stable_sort(hits.begin(), hits.end(), [&](size_t a, size_t b) {
                for (auto& [c, desc] : keys) {
                    int r = t.Rows[a][size_t(c)].Compare(t.Rows[b][size_t(c)]);
                    if (r != 0) return desc ? r > 0 : r < 0;
                }
                return false;
            });
        }
        if (s.Peek().K != TTok::End) throw EDAError("SQL command not properly ended");
        result_.Columns = columns_;
        for (size_t r : hits) {
            std::vector<Variant> row;
            for (auto& col : columns_)
                row.push_back(t.Rows[r][size_t(t.ColumnIndex(col.Name))]);
            result_.Rows.push_back(std::move(row));
        }
        return;
    }
    if (s.Accept("INSERT")) {
        s.Expect("INTO");
        TTable& t = db_->Table(s.Ident());
        std::vector<int> cols;
        if (s.Accept("(")) {
            do {
                int c = t.ColumnIndex(s.Ident());
                if (c < 0) throw EDAError("invalid identifier");
                cols.push_back(c);
            } while (s.Accept(","));
            s.Expect(")");
        } else {
            for (size_t i = 0; i < t.Columns.size(); ++i)
                cols.push_back(int(i));
        }
        s.Expect("VALUES");
        s.Expect("(");
        std::vector<Variant> row(t.Columns.size(), Variant::Null());
        for (size_t i = 0; i < cols.size(); ++i) {
            if (i > 0) s.Expect(",");
            row[size_t(cols[i])] = value(s.Next());
        }
        s.Expect(")");
        t.Rows.push_back(std::move(row));
        RowsProcessed = 1;
    } else if (s.Accept("UPDATE")) {
        TTable& t = db_->Table(s.Ident());
        s.Expect("SET");
        std::vector<std::pair<int, TTok>> sets;
        do {
            int c = t.ColumnIndex(s.Ident());
            if (c < 0) throw EDAError("invalid identifier");
            s.Expect("=");
            sets.push_back({c, s.Next()});
        } while (s.Accept(","));
        std::vector<size_t> hits = where(t);
        for (size_t r : hits)
            for (auto& [c, tok] : sets)
                t.Rows[r][size_t(c)] = value(tok);
        RowsProcessed = int(hits.size());
    } else if (s.Accept("DELETE")) {
        s.Accept("FROM");
        TTable& t = db_->Table(s.Ident());
        std::vector<size_t> hits = where(t);
        for (auto it = hits.rbegin(); it != hits.rend(); ++it)
            t.Rows.erase(t.Rows.begin() + long(*it));
        RowsProcessed = int(hits.size());
    }
    if (db_->ForceRowsAffected >= 0) RowsProcessed = db_->ForceRowsAffected;
    autoCommit();
}

// ---- Record set ----

TTestRecordSet::TTestRecordSet(TTestDatabase* db) : db_(db) {
    InitCommand();
}

TTestRecordSet::~TTestRecordSet() {
    alive_.reset();
    if (worker_.joinable()) worker_.join();
}

void TTestRecordSet::ExecuteAndFirstFetch() {
    if (!NonBlocking) {
        opening_ = true;
        try {
            TQxRecordSet::ExecuteAndFirstFetch();
        } catch (...) {
            opening_ = false;
            throw;
        }
        opening_ = false;
        return;
    }
    MainThreadPoster* poster = GetMainThreadPoster();
    CheckAssert(poster != nullptr, "no main-thread poster");
    db_->Record("rs.cmd.Execute background");
    // Columns are described in the caller's thread; the statement runs in the background.
    TTestCommand* cmd = Cmd();
    cmd->Describe();
    resultKind_ = cmd->Kind();
    cursor_ = 0;
    if (FieldCount() == 0) InitFields();
    if (worker_.joinable()) worker_.join();
    running_ = true;
    std::weak_ptr<int> alive = alive_;
    worker_ = std::thread([this, cmd, poster, alive] {
        std::string error = cmd->RunDetached();
        poster->Post([this, alive, error] {
            if (alive.expired()) return;
            if (worker_.joinable()) worker_.join();
            db_->Record("rs.background done");
            running_ = false;
            if (!error.empty()) {
                DoAfterExecute(false);
                return;
            }
            while (Fetch(false)) {
            }
            // The cursor stands before the first row again, as after a blocking open.
            SetToBegin();
            DoAfterExecute(true);
            DoAfterFetch();
        });
    });
}

std::unique_ptr<TQxCommand> TTestRecordSet::CreateCommand() {
    auto c = std::make_unique<TTestCommand>(db_);
    c->Tag = "rs.cmd";
    return c;
}

void TTestRecordSet::InternalPrepare() {
    TQxRecordSet::InternalPrepare();
    resultKind_ = Cmd()->Kind();
}

void TTestRecordSet::InternalInitFields() {
    for (auto& c : Cmd()->Columns())
        AddFieldDesc(c.Name, c.DataType, c.Length);
}

void TTestRecordSet::ExecCommand() {
    if (opening_ && executedForOpen_) {
        executedForOpen_ = false;
        return;
    }
    executedForOpen_ = false;
    try {
        TQxRecordSet::ExecCommand();
    } catch (...) {
        DoAfterExecute(false);
        throw;
    }
    resultKind_ = Cmd()->Kind();
    cursor_ = 0;
    executedForOpen_ = !opening_ && resultKind_ == rkRows;
    DoAfterExecute(true);
}

void TTestRecordSet::InternalClose() {
    db_->Record("rs.Close");
    if (db_->FailCloseCode >= 0) {
        int code = db_->FailCloseCode;
        db_->FailCloseCode = -1;
        throw EDAError("close failed", code);
    }
}

bool TTestRecordSet::Fetch(bool fetchBack) {
    if (fetchBack || resultKind_ != rkRows || running_) return false;
    ++FetchCalls;
    db_->Record("rs.Fetch");
    if (DoFetchBracket(true)) return false;
    auto& rows = Cmd()->Result().Rows;
    if (cursor_ >= rows.size()) {
        DoFetchBracket(false);
        return false;
    }
    if (uniDirectional_) {
        // Rows already read are dropped: only the new block stays loaded.
        int dropped = 0;
        while (firstItem_) {
            if (!IsHidden(firstItem_)) ++dropped;
            DeleteItem(firstItem_);
        }
        recNoOffset_ += dropped;
        recordCount_ = 0;
        currentItem_ = nullptr;
    }
    int order = 1;
    for (PItemHeader it = lastItem_; it; it = it->Prev)
        if (!IsHidden(it)) {
            order = it->Order + 1;
            break;
        }
    size_t n = std::min(rows.size() - cursor_, size_t(std::max(fetchRows_, 1)));
    for (size_t r = 0; r < n; ++r, ++cursor_) {
        PItemHeader item = blockMan_->AllocItem();
        uint8_t* rec = ItemData(item);
        std::memset(rec, 0, size_t(recordSize_));
        if (HasComplexFields()) CreateComplexFields(rec, true);
        for (int f = 1; f <= FieldCount(); ++f) {
            const Variant& v = rows[cursor_][size_t(f - 1)];
            SetNull(f, rec, true);
            if (!v.IsNullOrEmpty()) PutFieldAsVariant(f, rec, v);
        }
        LinkItemAtEnd(item);
        if (!IsHidden(item)) {
            item->Order = order++;
            ++recordCount_;
        }
    }
    Cmd()->RowsProcessed = int(cursor_);
    DoFetchBracket(false);
    return true;
}

void TTestRecordSet::SetProp(int code, const Variant& value) {
    TQxRecordSet::SetProp(code, value);
    db_->Record("rs.SetProp " + std::to_string(code) + " " + value.AsString());
}

void TTestRecordSet::SetMethodProp(int code, TQxMethod method) {
    TQxRecordSet::SetMethodProp(code, std::move(method));
    db_->Record("rs.SetMethodProp " + std::to_string(code));
}

} // namespace testsrv
