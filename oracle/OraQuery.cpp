// TOraSQL, TOraDataSet / TOraQuery: the framework bound to the call-interface layer, the SQL text operations
// (WHERE, ORDER BY, table list), the record-count query, write and lock statements.
#include "dataset/StrUtil.h"
#include "oracle/Ora.h"

#include "dataset/OraParser.h"

#include <algorithm>
#include <cctype>

// ---- SQL text operations ----

namespace {

struct TTok {
    int Code;
    std::string Text;
    int Start; // offset of the token's first character
    int End;   // offset after it
    int Depth;
};

std::vector<TTok> Tokens(const std::string& sql) {
    std::vector<TTok> out;
    TOraParser p(sql);
    p.OmitBlank = true;
    p.OmitComment = false;
    p.KeepQuotes = true;
    std::string t;
    int depth = 0;
    for (;;) {
        int code = p.GetNextToken(t);
        if (code == lxEnd) break;
        int end = p.CurrPos();
        int start = end - int(t.size());
        if (code == lxComment) {
            start = p.TokenPos();
            while (start < end && uint8_t(sql[size_t(start)]) <= ' ')
                ++start;
        }
        if (t == ")") --depth;
        out.push_back({code, t, start, end, depth});
        if (t == "(") ++depth;
    }
    return out;
}

bool IsClause(int code) {
    return code == opConnect || code == opFor || code == opGroup || code == opOrder || code == opStart ||
           code == opUnion;
}

bool IsSelect(const std::vector<TTok>& t) {
    for (auto& k : t)
        if (k.Code != lxComment) return k.Code == opSelect;
    return false;
}

} // namespace

std::string OraAddWhere(const std::string& sql, const std::string& condition) {
    if (Trim(condition).empty()) return sql;
    auto t = Tokens(sql);
    if (!IsSelect(t)) return sql;
    int where = -1, clause = -1;
    for (size_t i = 0; i < t.size(); ++i) {
        if (t[i].Depth != 0) continue;
        if (t[i].Code == opWhere && where < 0 && clause < 0)
            where = int(i);
        else if (IsClause(t[i].Code) && clause < 0)
            clause = int(i);
    }
    std::string insert;
    if (where < 0) {
        insert = "\rWHERE " + condition + " ";
    } else {
        // A condition with OR at the top level keeps its meaning inside parentheses.
        bool hasOr = false;
        int endIdx = clause < 0 ? int(t.size()) : clause;
        for (int i = where + 1; i < endIdx; ++i)
            if (t[size_t(i)].Depth == 0 && t[size_t(i)].Code == opOr) hasOr = true;
        bool commentBefore = clause > 0 && t[size_t(clause - 1)].Code == lxComment;
        insert = (commentBefore ? "\rAND " : " AND ") + condition + " ";
        if (hasOr) {
            int condStart = t[size_t(where)].End;
            int condEnd = clause < 0 ? int(TrimRight(sql).size()) : t[size_t(clause)].Start;
            std::string head = sql.substr(0, size_t(condStart));
            std::string cond = TrimRight(sql.substr(size_t(condStart), size_t(condEnd - condStart)));
            std::string tail = sql.substr(size_t(condEnd));
            if (clause < 0) tail.clear();
            return head + " (" + Trim(cond) + ")" + insert + (clause < 0 ? "" : tail);
        }
    }
    if (clause < 0) return TrimRight(sql) + insert;
    int at = t[size_t(clause)].Start;
    return sql.substr(0, size_t(at)) + insert + sql.substr(size_t(at));
}

std::string OraDeleteWhere(const std::string& sql) {
    auto t = Tokens(sql);
    if (!IsSelect(t)) return sql;
    int where = -1, clause = -1;
    for (size_t i = 0; i < t.size(); ++i) {
        if (t[i].Depth != 0) continue;
        if (t[i].Code == opWhere && where < 0 && clause < 0)
            where = int(i);
        else if (IsClause(t[i].Code) && clause < 0 && where >= 0)
            clause = int(i);
    }
    if (where < 0) return sql;
    int from = t[size_t(where)].Start;
    if (clause < 0) return TrimRight(sql.substr(0, size_t(from)));
    return sql.substr(0, size_t(from)) + sql.substr(size_t(t[size_t(clause)].Start));
}

std::string OraSetOrderBy(const std::string& sqlIn, const std::string& fieldsIn) {
    std::string fields = fieldsIn;
    std::replace(fields.begin(), fields.end(), ';', ',');
    fields = Trim(fields);
    auto t = Tokens(sqlIn);
    if (!IsSelect(t)) return sqlIn;
    int order = -1, forAt = -1;
    for (size_t i = 0; i < t.size(); ++i) {
        if (t[i].Depth != 0) continue;
        if (t[i].Code == opOrder && order < 0 && i + 1 < t.size() && t[i + 1].Code == opBy)
            order = int(i);
        else if (t[i].Code == opFor && forAt < 0 && (order >= 0 || true))
            forAt = int(i);
    }
    std::string sql = sqlIn;
    int at;
    if (order >= 0) {
        int from = t[size_t(order)].Start;
        int to = (forAt > order) ? t[size_t(forAt)].Start : int(sql.size());
        std::string head = TrimRight(sql.substr(0, size_t(from)));
        std::string tail = forAt > order ? sql.substr(size_t(to)) : std::string();
        if (fields.empty()) return tail.empty() ? head : head + " " + tail;
        return head + " ORDER BY " + fields + (tail.empty() ? "" : " " + tail);
    }
    if (fields.empty()) return sql;
    if (forAt >= 0) {
        // A FOR UPDATE clause stays last.
        at = t[size_t(forAt)].Start;
        return TrimRight(sql.substr(0, size_t(at))) + " ORDER BY " + fields + " " + sql.substr(size_t(at));
    }
    std::string head = TrimRight(sql);
    return head + (head.find('\r') != std::string::npos ? "\r " : "") + " ORDER BY " + fields;
}

std::string OraGetOrderBy(const std::string& sql) {
    auto t = Tokens(sql);
    for (size_t i = 0; i + 1 < t.size(); ++i)
        if (t[i].Depth == 0 && t[i].Code == opOrder && t[i + 1].Code == opBy)
            return Trim(sql.substr(size_t(t[i + 1].End)));
    return std::string();
}

std::string OraFirstTable(const std::string& sql) {
    auto t = Tokens(sql);
    for (size_t i = 0; i + 1 < t.size(); ++i)
        if (t[i].Depth == 0 && t[i].Code == opFrom) {
            size_t k = i + 1;
            while (k < t.size() && t[k].Code == lxComment)
                ++k;
            if (k >= t.size() || t[k].Text == "(") return std::string();
            std::string name = t[k].Text;
            if (k + 2 < t.size() && t[k + 1].Code == opDot) name += "." + t[k + 2].Text;
            return AnsiUpperCase(name);
        }
    return std::string();
}

// ---- Parameters ----

void OraAdjustParams(TParams& params, TOCICommand& command) {
    TOCIConnection* conn = command.Conn();
    for (int i = 0; i < params.Count() && i < command.GetParamCount(); ++i) {
        TParam* p = params[i];
        TOraParamDesc* d = command.Param(i);
        uint16_t dt = d->GetDataType();
        switch (p->DataType) {
        case ftCursor:
            dt = dtCursor;
            break;
        case ftOraBlob:
            dt = dtOraBlob;
            break;
        case ftOraClob:
            dt = dtOraClob;
            break;
        case ftFixedChar:
            dt = dtFixedChar;
            break;
        default:
            break;
        }
        if (dt != d->GetDataType()) {
            d->SetDataType(dt);
            if (dt != dtCursor) d->SetValue(p->Value());
        }
        if (dt == dtString || dt == dtFixedChar || dt == dtVarBytes || dt == dtBytes) {
            int size = p->Size;
            if (size <= 0 && p->ParamType != ptInput)
                size = conn && conn->GetConnected() ? conn->MaxStringSize() : 4000;
            if (size > d->GetSize()) d->SetSize(size);
        }
    }
}

// ---- TOraSQL ----

TOraSQL::TOraSQL(TOraSession* session) : TCustomDASQL(nullptr) {
    SetAutoCommit(false);
    if (session) SetConnection(session);
}

TOraSession* TOraSQL::Session() const {
    return dynamic_cast<TOraSession*>(Connection());
}

void TOraSQL::Execute(int iterations) {
    if (!Connection() && TOraSession::DefaultSession()) SetConnection(TOraSession::DefaultSession());
    CheckConnection();
    if (TOCICommand* c = OCICommand()) {
        TParams* params = &Params();
        c->ParamHook = [params](TOCICommand& cmd) { OraAdjustParams(*params, cmd); };
        c->SetProp(prNonBlocking, Variant(NonBlocking));
    }
    try {
        TCustomDASQL::Execute(iterations);
    } catch (EOraError& e) {
        if (e.ErrorCode == 24344 && Session()) throw EOraError(24344, Session()->GetCompileErrors(SQL()));
        throw;
    }
}

// ---- TOraDataSet ----

TOraDataSet::TOraDataSet(TOraSession* session) {
    if (session)
        SetConnection(session);
    else if (TOraSession::DefaultSession())
        SetConnection(TOraSession::DefaultSession());
}

TOraDataSet::~TOraDataSet() {
    try {
        Close();
    } catch (...) {
    }
}

void TOraDataSet::SetCacheLobs(bool value) {
    if (Active()) throw EDatabaseError("Cannot perform this operation on an open dataset");
    OptionsDS.CacheLobs = value;
}

void TOraDataSet::SetScrollableCursor(bool value) {
    if (Active()) throw EDatabaseError("Cannot perform this operation on an open dataset");
    OptionsDS.ScrollableCursor = value;
}

int TOraDataSet::GetOptions() const {
    int v = 0;
    if (Options().RequiredFields) v |= doRequiredFields;
    if (Options().StrictUpdate) v |= doStrictUpdate;
    if (OptionsDS.DefaultValues) v |= doDefaultValue;
    if (Options().LongStrings) v |= doLongStrings;
    if (Options().NumberRange) v |= doNumberRange;
    if (OptionsDS.KeepPrepared) v |= doKeepPrepared;
    if (OptionsDS.AutoClose) v |= doAutoClose;
    if (Options().QueryRecCount) v |= doQueryRecCount;
    return v;
}

void TOraDataSet::SetOptions(int v) {
    SetRequiredFields(v & doRequiredFields);
    SetStrictUpdate(v & doStrictUpdate);
    SetLongStrings(v & doLongStrings);
    SetNumberRangeOption(v & doNumberRange);
    OptionsDS.KeepPrepared = v & doKeepPrepared;
    OptionsDS.AutoClose = v & doAutoClose;
    SetQueryRecCount(v & doQueryRecCount);
}

TRefreshMode TOraDataSet::GetRefreshMode() const {
    bool ins = RefreshOptions & roAfterInsert, upd = RefreshOptions & roAfterUpdate;
    if (!upd) return ins ? rmAfterInsert : rmNone;
    return ins ? rmAlways : rmAfterUpdate;
}

void TOraDataSet::SetRefreshMode(TRefreshMode mode) {
    int v = RefreshOptions & roBeforeEdit;
    if (mode == rmAfterInsert || mode == rmAlways) v |= roAfterInsert;
    if (mode == rmAfterUpdate || mode == rmAlways) v |= roAfterUpdate;
    RefreshOptions = v;
}

TFieldType TOraDataSet::GetFieldType(uint16_t dataType) {
    // Timestamps, intervals, files, cursors, objects and REFs are shown as read-only text.
    if (TOCIRecordSet::IsShownAsText(dataType)) return ftString;
    switch (dataType) {
    case dtOraBlob:
        return ftOraBlob;
    case dtOraClob:
        return ftOraClob;
    case dtFixedChar:
        return ftFixedChar;
    default:
        return TCustomDADataSet::GetFieldType(dataType);
    }
}

void TOraDataSet::SetupCommand() {
    TOCIRecordSet* rs = OCIRecordSet();
    if (!rs) return;
    TOCICommand* c = rs->Cmd();
    TParams* params = &Params();
    c->ParamHook = [params](TOCICommand& cmd) { OraAdjustParams(*params, cmd); };
    c->SetProp(prNonBlocking, Variant(NonBlocking()));
    c->SetProp(prFieldsAsString, Variant(OptionsDS.FieldsAsString));
    c->SetProp(prCacheLobs, Variant(OptionsDS.CacheLobs));
    rs->SetProp(prAutoClose, Variant(OptionsDS.AutoClose));
    rs->SetProp(prDeferredLobRead, Variant(OptionsDS.DeferredLobRead));
    if (Internal) c->SetProp(prRowId, Variant(true));
}

void TOraDataSet::OpenCursor() {
    CheckConnection();
    SetupCommand();
    if (OptionsDS.KeepPrepared) Prepare();
    try {
        TCustomDADataSet::OpenCursor();
    } catch (EOraError& e) {
        if (e.ErrorCode == 24344 && Session()) throw EOraError(24344, Session()->GetCompileErrors(SQL()));
        throw;
    }
    // The ROWID column serves writing rows back; among default fields it is not shown.
    if (TField* rowId = FindField("ROWID"); rowId && DefaultFields()) rowId->Visible = false;
    // A key the sequence supplies is not the user's to fill.
    if (!Trim(KeySequence).empty())
        if (TField* key = FindField(FirstKeyField())) key->Required = false;
}

void TOraDataSet::Execute() {
    CheckConnection();
    SetupCommand();
    try {
        TCustomDADataSet::Execute();
    } catch (EOraError& e) {
        if (e.ErrorCode == 24344 && Session()) throw EOraError(24344, Session()->GetCompileErrors(SQL()));
        throw;
    }
}

std::string TOraDataSet::AddWhere(const std::string& sql, const std::string& condition) {
    return OraAddWhere(sql, condition);
}
std::string TOraDataSet::SetOrderByText(const std::string& sql, const std::string& fields) {
    return OraSetOrderBy(sql, fields);
}
std::string TOraDataSet::GetOrderByText(const std::string& sql) {
    return OraGetOrderBy(sql);
}

int TOraDataSet::GetRecordCount() {
    // While a non-blocking query executes or fetches on its thread, the row store is that thread's: the
    // count is not read from it (a window painting meanwhile sees none yet, as Eof is True meanwhile).
    // The thread clears its running flag after its last write to the store.
    if (TOCIRecordSet* rs = OCIRecordSet(); rs && rs->BackgroundRunning()) return 0;
    return TCustomDADataSet::GetRecordCount();
}

int TOraDataSet::GetServerRecordCount() {
    std::string sql = OraSetOrderBy(FinalSQL(), "");
    TOraDataSet q(Session());
    q.Internal = true;
    q.SetSQL("SELECT Count(*) FROM (\r" + sql + ")");
    for (int i = 0; i < Params().Count() && i < q.Params().Count(); ++i)
        q.Params()[i]->Assign(*Params()[i]);
    q.Open();
    int n = q.Fields(0)->AsInteger();
    q.Close();
    return n;
}

std::string TOraDataSet::UpdateStatementText(TStatementType kind) {
    if (UpdateObject()) return TCustomDADataSet::UpdateStatementText(kind);
    switch (kind) {
    case stInsert:
        return SQLInsert;
    case stUpdate:
        return SQLUpdate;
    case stDelete:
        return SQLDelete;
    case stRefresh:
        if (AnsiUpperCase(Trim(SQLRefresh)).rfind("WHERE", 0) == 0)
            return OraAddWhere(HasBaseSQL() ? BaseSQL() : SQL(), Trim(Trim(SQLRefresh).substr(5)));
        return SQLRefresh;
    case stLock:
        if (AnsiUpperCase(Trim(SQLLock)).rfind("FOR", 0) == 0)
            return UpdateStatementText(stRefresh) + "\r" + SQLLock;
        return SQLLock;
    default:
        return std::string();
    }
}

bool TOraDataSet::GetCanModify() {
    if (OptionsDS.ScrollableCursor) return false;
    return TCustomDADataSet::GetCanModify() ||
           (!ReadOnly && (!SQLInsert.empty() || !SQLUpdate.empty() || !SQLDelete.empty()));
}

std::string TOraDataSet::LockSavepointName() const {
    return "LOCK_" + (Name.size() > 25 ? Name.substr(Name.size() - 25) : Name);
}

bool TOraDataSet::LockRow() {
    std::string lock = UpdateStatementText(stLock);
    if (lock.empty()) return false;
    if (Session()) Session()->Savepoint(LockSavepointName());
    try {
        PerformSQL(lock, StmtBit(stLock) | ((RefreshOptions & roBeforeEdit) ? StmtBit(stRefresh) : 0));
    } catch (...) {
        if (Session()) try {
                Session()->RollbackToSavepoint(LockSavepointName());
            } catch (...) {
            }
        throw;
    }
    return true;
}

std::string TOraDataSet::WriteSavepointName() const {
    std::string n;
    for (char c : Name)
        if (std::isalnum(static_cast<unsigned char>(c)) || c == '_') n += c;
    if (n.size() > 24) n = n.substr(n.size() - 24);
    return "WRITE_" + n;
}

void TOraDataSet::CheckedWrite(const std::function<void()>& write) {
    TOraSession* s = Session();
    if (!Options().StrictUpdate || holdCommit_ || !s || !s->Connected()) {
        write();
        return;
    }
    const std::string savepoint = WriteSavepointName();
    s->Savepoint(savepoint);
    holdCommit_ = true;
    try {
        write();
    } catch (...) {
        holdCommit_ = false;
        try {
            s->RollbackToSavepoint(savepoint);
        } catch (...) {
        }
        throw;
    }
    holdCommit_ = false;
    // What the statement's own auto-commit would have done, now that its row count has been checked.
    TOCIConnection* c = s->OCIConnection();
    if (AutoCommit() && c && c->GetAutoCommit()) c->Commit();
}

bool TOraDataSet::MayWrite(TStatementType kind) {
    if (LocalUpdate || UpdateObject() || (CachedUpdates() && OnUpdateRecord)) return true;
    const std::string& own = kind == stInsert ? SQLInsert : kind == stUpdate ? SQLUpdate : SQLDelete;
    if (!Trim(own).empty()) return true;
    // A row inserted in the cache and not yet applied is written by the insert statement.
    return kind != stInsert && CachedUpdates() && !IsEmpty() && UpdateStatus() == usInserted &&
           !Trim(SQLInsert).empty();
}

void TOraDataSet::InternalEdit() {
    if (!MayWrite(stUpdate)) throw EAbort();
    // The lock statement refreshes the row itself when refreshing before an edit is asked for.
    bool refreshed =
        LockMode == lmLockImmediate && !CachedUpdates() && LockRow() && (RefreshOptions & roBeforeEdit);
    if ((RefreshOptions & roBeforeEdit) && !refreshed)
        PerformSQL(UpdateStatementText(stRefresh), StmtBit(stRefresh));
    TCustomDADataSet::InternalEdit();
}

void TOraDataSet::InternalInsert() {
    if (!MayWrite(stInsert)) {
        // An append has already moved to the last row: go back to the row the insert started from.
        if (!InsertBookmark().empty()) InternalGotoBookmark(InsertBookmark().data());
        throw EAbort();
    }
    TCustomDADataSet::InternalInsert();
}

void TOraDataSet::InternalDelete() {
    if (!MayWrite(stDelete)) throw EAbort();
    TCustomDADataSet::InternalDelete();
}

void TOraDataSet::PerformAppend() {
    CheckedWrite([this] { PerformCheckedAppend(); });
}

void TOraDataSet::PerformCheckedAppend() {
    TOCIConnection* c = Session() ? Session()->OCIConnection() : nullptr;
    if (c) c->LastInsertRowId.clear();
    if (!PerformSQL(UpdateStatementText(stInsert), StmtBit(stInsert))) return;
    // The new row's ROWID (from the update statement's command) goes into the ROWID field.
    TField* rowId = FindField("ROWID");
    if (c && rowId && !c->LastInsertRowId.empty()) {
        bool ro = rowId->ReadOnly;
        rowId->ReadOnly = false;
        try {
            rowId->SetAsString(c->LastInsertRowId);
        } catch (...) {
            rowId->ReadOnly = ro;
            throw;
        }
        rowId->ReadOnly = ro;
    }
    if (RefreshOptions & roAfterInsert) RefreshRecord();
}

void TOraDataSet::PerformUpdate() {
    CheckedWrite([this] { PerformCheckedUpdate(); });
}

void TOraDataSet::PerformCheckedUpdate() {
    if (LockMode == lmLockDelayed) {
        try {
            LockRow();
        } catch (...) {
            if (Session()) try {
                    Session()->RollbackToSavepoint(LockSavepointName());
                } catch (...) {
                }
            throw;
        }
    }
    TCustomDADataSet::PerformUpdate();
}

void TOraDataSet::PerformDelete() {
    CheckedWrite([this] { PerformCheckedDelete(); });
}

void TOraDataSet::PerformCheckedDelete() {
    if (LockMode != lmNone) {
        LockRow();
        try {
            TCustomDADataSet::PerformDelete();
        } catch (...) {
            if (Session()) try {
                    Session()->RollbackToSavepoint(LockSavepointName());
                } catch (...) {
                }
            throw;
        }
        return;
    }
    TCustomDADataSet::PerformDelete();
}

std::string TOraDataSet::PSGetTableName() {
    return OraFirstTable(SQL());
}

unsigned TOraDataSet::SubstitutedValues() const {
    TOCIRecordSet* rs = OCIRecordSet();
    auto* c = rs ? dynamic_cast<TOCICommand*>(rs->GetCommand()) : nullptr;
    return c ? c->SubstitutedValues() : 0;
}

std::string TOraDataSet::FirstKeyField() const {
    size_t at = 0;
    while (at <= KeyFields.size()) {
        size_t end = KeyFields.find(';', at);
        if (end == std::string::npos) end = KeyFields.size();
        std::string name = Trim(KeyFields.substr(at, end - at));
        if (!name.empty()) return name;
        at = end + 1;
    }
    return std::string();
}

void TOraDataSet::FetchKeySequence() {
    const std::string sequence = Trim(KeySequence);
    const std::string key = FirstKeyField();
    if (sequence.empty() || key.empty()) return;
    // The block's parameter is the key field; with ReturnParams its value comes back into the field.
    const bool keep = Options().ReturnParams;
    SetReturnParams(true);
    try {
        PerformSQL("begin\r  SELECT " + sequence + ".NEXTVAL INTO :" + key + " FROM Dual;\rend;",
                   StmtBit(stCustom));
    } catch (...) {
        SetReturnParams(keep);
        throw;
    }
    SetReturnParams(keep);
}

void TOraDataSet::DoOnNewRecord() {
    if (SequenceMode == smInsert) FetchKeySequence();
    TCustomDADataSet::DoOnNewRecord();
}

void TOraDataSet::InternalPost() {
    if (State() == dsInsert && SequenceMode == smPost && !Trim(UpdateStatementText(stInsert)).empty())
        FetchKeySequence();
    TCustomDADataSet::InternalPost();
}

void TOraDataSet::AdjustUpdateParams(TParams& params, TStatementTypes kinds) {
    // The key sequence's block assigns its parameter, whatever the key's type. Otherwise, when values
    // are to come back (ReturnParams, or a statement that refreshes the row), text parameters carry
    // them in both directions.
    const bool keySequence = (kinds & StmtBit(stCustom)) != 0;
    const bool back = Options().ReturnParams || (kinds & StmtBit(stRefresh));
    for (int i = 0; i < params.Count(); ++i) {
        TParam* p = params[i];
        if (keySequence || (back && (p->DataType == ftString || p->DataType == ftFixedChar)))
            p->ParamType = ptInputOutput;
    }
}

std::string TOraDataSet::PSGetKeyFields() {
    return Trim(KeyFields);
}
