// TOraSession: options, the session list, network mode, NLS settings, transactions, savepoints, compile
// errors.
#include "oracle/Ora.h"

#include "dataset/OraParser.h"
#include "ocicall/OraCallLoad.h"
#include "oranet/NetCalls.h"

#include <algorithm>

namespace {

std::mutex g_listLock;
std::vector<TOraSession*>& SessionList() {
    static std::vector<TOraSession*> list;
    return list;
}
TOraSession* g_default = nullptr;
bool g_net = false;

} // namespace

// ---- Options ----

void TOraSessionOptions::SetUseOCI7(bool value) {
    if (value == useOCI7_) return;
    owner_->Disconnect();
    useOCI7_ = value;
    if (!net_) owner_->OCIConnection()->SetCallStyle(value ? 1 : oracall::OCIDefaultCallStyle);
}

std::string TOraSessionOptions::Charset() {
    Variant v;
    owner_->OCIConnection()->GetProp(prCharset, v);
    return VarToStr(v);
}
void TOraSessionOptions::SetCharset(const std::string& value) {
    owner_->OCIConnection()->SetProp(prCharset, Variant(value));
}
int TOraSessionOptions::CharLength() {
    Variant v;
    owner_->OCIConnection()->GetProp(prCharLength, v);
    return v.AsInteger();
}
void TOraSessionOptions::SetCharLength(int value) {
    owner_->OCIConnection()->SetProp(prCharLength, Variant(int32_t(value)));
}
std::string TOraSessionOptions::DateFormat() {
    Variant v;
    owner_->OCIConnection()->GetProp(prNlsDateFormat, v);
    return VarToStr(v);
}
void TOraSessionOptions::SetDateFormat(const std::string& value) {
    owner_->OCIConnection()->SetProp(prNlsDateFormat, Variant(value));
}
std::string TOraSessionOptions::DateLanguage() {
    Variant v;
    owner_->OCIConnection()->GetProp(prNlsDateLanguage, v);
    return VarToStr(v);
}
void TOraSessionOptions::SetDateLanguage(const std::string& value) {
    owner_->OCIConnection()->SetProp(prNlsDateLanguage, Variant(value));
}
void TOraSessionOptions::SetEnableIntegers(bool value) {
    enableIntegers_ = value;
    owner_->OCIConnection()->SetProp(prEnableIntegers, Variant(value));
}
void TOraSessionOptions::SetConvertEOL(bool value) {
    convertEOL_ = value;
    owner_->OCIConnection()->SetProp(prConvertEOL, Variant(value));
}

void TOraSessionOptions::SetConnectTimeout(int seconds) {
    if (seconds < 0 || seconds > 86400) throw EDatabaseError("ConnectTimeout must be 0..86400 seconds");
    connectTimeout_ = seconds;
    owner_->OCIConnection()->SetProp(prConnectTimeout, Variant(int32_t(seconds * 1000)));
}

bool TOraSessionOptions::Net() const {
    return net_;
}

void TOraSessionOptions::SetNet(bool value) {
    if (value == net_ && value == g_net) return;
    std::vector<TOraSession*> sessions;
    {
        std::lock_guard<std::mutex> g(g_listLock);
        sessions = SessionList();
    }
    owner_->Disconnect();
    for (TOraSession* s : sessions)
        s->Disconnect();
    oracall::FreeOCI();
    if (value) {
        oranet::InstallNetCalls();
        owner_->OCIConnection()->SetCallStyle(2);
    } else {
        oranet::RemoveNetCalls();
        owner_->OCIConnection()->SetCallStyle(useOCI7_ ? 1 : oracall::OCIDefaultCallStyle);
    }
    g_net = value;
    for (TOraSession* s : sessions)
        s->options_.net_ = value;
    net_ = value;
}

// ---- Session ----

class TOraSession::TChangeClient : public TDAConnectionClient {
public:
    explicit TChangeClient(TOraSession* s) : s_(s) {}
    void ConnectChange(bool connected) override {
        if (s_->OnConnectChange) s_->OnConnectChange(*s_, connected);
        if (!connected) s_->transactionId_.clear();
    }
    void ConnectionChanged(TCustomDAConnection*) override {}

private:
    TOraSession* s_;
};

TOraSession::TOraSession() : options_(this) {
    std::lock_guard<std::mutex> g(g_listLock);
    if (!g_default) g_default = this;
    auto& list = SessionList();
    if (!list.empty()) {
        Home = list.front()->Home;
        options_.net_ = list.front()->options_.net_;
    }
    list.push_back(this);
    changeClient_ = std::make_unique<TChangeClient>(this);
    RegisterClient(changeClient_.get());
}

TOraSession::~TOraSession() {
    sql_.reset();
    try {
        DestroyConnection();
    } catch (...) {
    }
    UnregisterClient(changeClient_.get());
    std::lock_guard<std::mutex> g(g_listLock);
    auto& list = SessionList();
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
    if (g_default == this) {
        if (list.empty()) {
            g_default = nullptr;
            if (g_net) {
                oranet::RemoveNetCalls();
                g_net = false;
            }
        } else {
            g_default = list.front();
        }
    }
}

int TOraSession::SessionCount() {
    std::lock_guard<std::mutex> g(g_listLock);
    return int(SessionList().size());
}
TOraSession* TOraSession::SessionAt(int i) {
    std::lock_guard<std::mutex> g(g_listLock);
    return SessionList().at(size_t(i));
}
TOraSession* TOraSession::DefaultSession() {
    std::lock_guard<std::mutex> g(g_listLock);
    return g_default;
}

std::unique_ptr<TQxConnection> TOraSession::CreateIConnection() {
    auto c = std::make_unique<TOCIConnection>();
    c->SetProp(prThreadSafety, Variant(threadSafety_));
    c->SetProp(prConnectMode, Variant(int32_t(connectMode_)));
    c->SetProp(prEnableIntegers, Variant(options_.enableIntegers_));
    if (options_.net_) c->SetCallStyle(2);
    c->OnBeforeConnect = [this] { ApplyHome(); };
    return c;
}

void TOraSession::AbortCalls() {
    if (auto* c = static_cast<TOCIConnection*>(ExistingIConnection())) c->Abort();
}

void TOraSession::ArmAbort(bool on) {
    if (on)
        OCIConnection()->CallAbort().Arm();
    else
        OCIConnection()->CallAbort().Disarm();
}

TOracleHome TOraSession::ProcessHome() {
    return TOracleHome(OraProcessHome.load());
}

void TOraSession::SwitchHome(TOracleHome value) {
    std::vector<TOraSession*> sessions;
    {
        std::lock_guard<std::mutex> g(g_listLock);
        sessions = SessionList();
    }
    for (TOraSession* s : sessions)
        if (s != this) s->Disconnect();
    oracall::FreeOCI();
    OraProcessHome.store(int(value));
    for (TOraSession* s : sessions)
        s->Home = value;
    Home = value;
    if (!options_.net_) OCIConnection()->SetCallStyle(options_.useOCI7_ ? 1 : 0);
}

void TOraSession::SetHome(TOracleHome value) {
    Home = value;
    if (int(value) == OraProcessHome.load()) return;
    Disconnect();
    SwitchHome(value);
}

void TOraSession::ApplyHome() {
    if (options_.net_ || int(Home) == OraProcessHome.load()) return;
    SwitchHome(Home);
}

TOCIConnection* TOraSession::OCIConnection() {
    return static_cast<TOCIConnection*>(IConnection());
}

void TOraSession::SetThreadSafety(bool value) {
    threadSafety_ = value;
    OCIConnection()->SetProp(prThreadSafety, Variant(value));
}

void TOraSession::SetConnectMode(TConnectMode value) {
    connectMode_ = value;
    OCIConnection()->SetProp(prConnectMode, Variant(int32_t(value)));
}

std::string TOraSession::ConnectString() const {
    std::string s = Username();
    if (!Password().empty()) s += "/" + Password();
    if (!Server().empty()) s += "@" + Server();
    return s;
}

void TOraSession::SetConnectString(const std::string& value) {
    if (value == ConnectString()) return;
    Disconnect();
    size_t slash = value.find('/');
    size_t at = value.find('@');
    std::string user, pass, server;
    if (slash != std::string::npos && (at == std::string::npos || slash < at)) {
        user = value.substr(0, slash);
        pass = at == std::string::npos ? value.substr(slash + 1) : value.substr(slash + 1, at - slash - 1);
    } else {
        user = at == std::string::npos ? value : value.substr(0, at);
    }
    if (at != std::string::npos) server = value.substr(at + 1);
    SetUsername(user);
    SetPassword(pass);
    SetServer(server);
}

Variant TOraSession::ExecSQL(const std::string& text, const std::vector<Variant>& values) {
    if (!sql_) {
        sql_ = std::make_unique<TOraSQL>(this);
        sql_->SetAutoCommit(AutoCommit());
    }
    sql_->Debug = Debug;
    sql_->SetSQL(text);
    TParams& ps = sql_->Params();
    for (int i = 0; i < ps.Count(); ++i) {
        if (size_t(i) < values.size())
            ps[i]->SetValue(values[size_t(i)]);
        else
            ps[i]->Clear();
    }
    TParam* result = ps.FindParam("Result");
    if (result && result->DataType == ftUnknown) {
        result->DataType = ftString;
        if (result->ParamType == ptUnknown) result->ParamType = ptOutput;
    }
    sql_->Execute();
    result = sql_->Params().FindParam("Result");
    return result ? result->Value() : Variant::Null();
}

namespace {

// A savepoint statement must not be followed by the auto-commit that ends the transaction it marks.
void ExecWithoutCommit(TOraSession& session, const std::string& text) {
    TOraSQL sql(&session);
    sql.SetAutoCommit(false);
    sql.Debug = session.Debug;
    sql.SetSQL(text);
    sql.Execute();
}

} // namespace

void TOraSession::Savepoint(const std::string& name) {
    ExecWithoutCommit(*this, "SAVEPOINT " + name);
}

void TOraSession::RollbackToSavepoint(const std::string& name) {
    ExecWithoutCommit(*this, "ROLLBACK TO SAVEPOINT " + name);
}

std::string TOraSession::GetServerVersion() {
    if (!Connected()) return std::string();
    return OCIConnection()->GetServerVersion();
}

void TOraSession::StartTransaction() {
    TCustomDAConnection::StartTransaction();
    transactionId_ = "Local";
    Variant v = ExecSQL("begin  :result := sys.dbms_transaction.local_transaction_id(true); end;");
    transactionId_ = VarToStr(v);
    if (transactionId_.empty()) transactionId_ = "Local";
}

void TOraSession::Commit() {
    TCustomDAConnection::Commit();
    transactionId_.clear();
}

void TOraSession::Rollback() {
    TCustomDAConnection::Rollback();
    transactionId_.clear();
}

bool TOraSession::InTransaction() {
    if (transactionId_.empty()) return false;
    Variant v = ExecSQL("begin  :result := sys.dbms_transaction.local_transaction_id; end;");
    if (VarToStr(v) == transactionId_) return true;
    // The server ended the transaction (DDL, for instance): the framework's own state follows.
    transactionId_.clear();
    if (TCustomDAConnection::InTransaction()) {
        try {
            TCustomDAConnection::Commit();
        } catch (...) {
        }
    }
    OCIConnection()->SetProp(prAutoCommit, Variant(AutoCommit()));
    return false;
}

bool TOraSession::IsFatalError(const EDAError& e) {
    return dynamic_cast<const EOraError*>(&e) != nullptr && IsFatalOraCode(e.ErrorCode);
}

std::unique_ptr<TCustomDADataSet> TOraSession::CreateDataSet() {
    // The framework runs its write, lock and refresh statements through this data set: its command reports
    // the ROWID of the row it processed.
    auto ds = std::make_unique<TOraDataSet>(this);
    if (TOCIRecordSet* rs = ds->OCIRecordSet()) rs->Cmd()->SetProp(prRowId, Variant(true));
    return ds;
}

std::unique_ptr<TCustomDASQL> TOraSession::CreateSQL() {
    return std::make_unique<TOraSQL>(this);
}

std::string TOraSession::GetCompileErrors(const std::string& statement) {
    TOraParser p(statement);
    p.OmitComment = true;
    std::string tok;
    int code = p.GetNextToken(tok);
    if (code != opCreate) return std::string();
    code = p.GetNextToken(tok);
    if (code == opOr) {
        if (p.GetNextToken(tok) != opReplace) return std::string();
        code = p.GetNextToken(tok);
    }
    std::string kind;
    switch (code) {
    case opFunction:
        kind = "FUNCTION";
        break;
    case opProcedure:
        kind = "PROCEDURE";
        break;
    case opTrigger:
        kind = "TRIGGER";
        break;
    case opType:
        kind = "TYPE";
        break;
    case opPackage:
        kind = "PACKAGE";
        if (p.GetNextToken(tok) == opBody)
            kind = "PACKAGE BODY";
        else
            p.StepBack();
        break;
    default:
        if (AnsiUpperCase(tok) == "TYPE")
            kind = "TYPE";
        else
            return std::string();
    }
    std::string name;
    if (p.GetNextToken(name) == lxEnd) return std::string();
    if (p.GetNextToken(tok) == opDot) {
        if (p.GetNextToken(tok) != lxEnd) name = tok;
    }
    if (name.size() >= 2 && name.front() == '"' && name.back() == '"') name = name.substr(1, name.size() - 2);
    const char* block =
        "declare\rCURSOR Cur IS\rSELECT Line,Position,Text\rFROM User_Errors\rWHERE Name = :Name and Type = "
        ":Type\rORDER BY Sequence;\rRec User_Errors%ROWTYPE;\rStartPos INTEGER;\rEndPos "
        "INTEGER;\rbegin\r:Res := "
        "'';\rfor Rec in Cur loop\r:Res := :Res || RPad(Rec.Line || '/' || Rec.Position, 8);\rStartPos := "
        "1;\rEndPos := 1;\rwhile EndPos > 0 and StartPos <= Length(Rec.Text) loop\rEndPos := InStr(Rec.Text, "
        "Chr(10), StartPos);\rif EndPos > 0 then\rif EndPos <> StartPos then\rif StartPos > 1 then\r:Res := "
        ":Res || "
        "RPad(' ', 10);\rend if;\r:Res := :Res || LTrim(SubStr(Rec.Text, StartPos, EndPos - StartPos)) || "
        "Chr(13);\rend if;\relse\rif StartPos > 1 then\r:Res := :Res || RPad(' ', 10);\rend if;\r:Res := "
        ":Res || "
        "LTrim(SubStr(Rec.Text, StartPos)) || Chr(13);\rend if;\rStartPos := EndPos + 1;\rend loop;\rend "
        "loop;\rend;";
    TOCICommand* c = OCIConnection()->InternalCommand();
    c->Unprepare();
    c->SetSQL(block);
    for (int i = 0; i < c->GetParamCount(); ++i) {
        TOraParamDesc* d = c->Param(i);
        d->SetDataType(dtString);
        std::string n = AnsiUpperCase(d->GetName());
        if (n == "NAME") {
            d->SetParamType(pdInput);
            d->SetValue(Variant(AnsiUpperCase(name)));
        } else if (n == "TYPE") {
            d->SetParamType(pdInput);
            d->SetValue(Variant(kind));
        } else {
            d->SetParamType(pdInputOutput);
            d->SetSize(32000);
            d->SetNull(true);
        }
    }
    std::string res;
    try {
        c->Execute(1);
        if (TParamDesc* r = c->Params().FindParam("Res")) {
            Variant v;
            r->GetValue(v);
            res = VarToStr(v);
        }
    } catch (...) {
        c->Unprepare();
        throw;
    }
    c->Unprepare();
    return res.empty() ? "No errors" : res;
}
