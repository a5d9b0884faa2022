// The SQL data set: record set attachment, prepare, open, execute, refresh, fetch settings, FilterSQL,
// master/detail and the ORDER BY entry points.
#include "dataset/DEDozivo.h"
#include "dataset/StrUtil.h"

#include <algorithm>

namespace {

std::vector<std::string> SplitFields(const std::string& list) {
    std::vector<std::string> out;
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(';', start);
        if (end == std::string::npos) end = list.size();
        std::string name = Trim(list.substr(start, end - start));
        if (!name.empty()) out.push_back(name);
        start = end + 1;
    }
    return out;
}

} // namespace

// The link to the master data set: the detail follows the master's active state and current record.
class TDAMasterLink : public TDataLink {
public:
    explicit TDAMasterLink(TCustomDADataSet* detail) : detail_(detail) {}
    void ActiveChanged() override { detail_->MasterChanged(); }
    void RecordChanged(TField* field) override {
        if (!field) detail_->MasterChanged();
    }
    void DataSetScrolled(int) override { detail_->MasterChanged(); }
    void DataSetChanged() override { detail_->MasterChanged(); }

private:
    TCustomDADataSet* detail_;
};

// ---- Construction ----

TCustomDADataSet::TCustomDADataSet() {
    sql_ = std::make_unique<TCustomDASQL>(this);
    macros_.OnChanged = [this] { SQLChanged(); };
    masterLink_ = std::make_unique<TDAMasterLink>(this);
    LocalConstraints = options_.RequiredFields;
}

TCustomDADataSet::~TCustomDADataSet() {
    if (updateObject_ && updateObject_->dataSet_ == this) updateObject_->dataSet_ = nullptr;
    try {
        Close();
    } catch (...) {
    }
    if (connection_ && registered_) connection_->UnregisterClient(this);
    updateQuery_.reset();
    masterLink_.reset();
    // The store (and with it the record set and its command) goes with TMemDataSet; the SQL component must
    // not touch that command any more.
    sql_->AttachCommand(nullptr);
}

// ---- Connection and record set ----

void TCustomDADataSet::SetConnection(TCustomDAConnection* connection) {
    if (connection == connection_) return;
    Close();
    UnPrepare();
    if (connection_ && registered_) connection_->UnregisterClient(this);
    registered_ = false;
    connection_ = connection;
    sql_->connection_ = connection;
    AttachRecordSet();
}

void TCustomDADataSet::CreateRecordStore() {
    // Construction runs before any connection is known: a plain store stands in until one is.
    if (!connection_) {
        TMemDataSet::CreateRecordStore();
        return;
    }
    AttachRecordSet();
}

void TCustomDADataSet::AttachRecordSet() {
    sql_->AttachCommand(nullptr);
    recordSet_ = nullptr;
    attachedTo_ = nullptr;
    updateQuery_.reset();
    if (!connection_) {
        SetRecordStore(std::make_unique<TMemData>());
        return;
    }
    TQxConnection* ic = connection_->IConnection();
    std::unique_ptr<TQxRecordSet> rs = ic->CreateRecordSet();
    recordSet_ = rs.get();
    attachedTo_ = ic;
    SetRecordStore(std::move(rs));
    recordSet_->TrimFixedChar = options_.TrimFixedChar;
    recordSet_->SetConnection(ic);
    SetRecordSetProps();
    sql_->AttachCommand(recordSet_->GetCommand());
}

void TCustomDADataSet::SetRecordSetProps() {
    recordSet_->SetProp(prUniDirectional, Variant(uniDirectional_));
    recordSet_->SetProp(prFetchRows, Variant(int32_t(fetchRows_)));
    recordSet_->SetProp(prFetchAll, Variant(fetchAll_));
    recordSet_->SetProp(prLongStrings, Variant(options_.LongStrings));
    recordSet_->SetProp(prFlatBuffers, Variant(options_.FlatBuffers));
    recordSet_->SetMethodProp(prOnRSAfterExecute,
                              [this](TQxMethodArgs& a) { DoRecordSetAfterExecute(a.Result); });
    recordSet_->SetMethodProp(prOnAfterFetch, [this](TQxMethodArgs&) { DoAfterFetch(); });
    recordSet_->SetMethodProp(prOnFetchBracket, [this](TQxMethodArgs& a) { DoFetchBracket(a.Before); });
}

void TCustomDADataSet::CheckConnection() {
    if (!connection_) throw EDAError(SConnectionNotDefined);
    if (!connection_->Connected()) connection_->Connect();
    if (!registered_) {
        connection_->RegisterClient(this);
        registered_ = true;
    }
    TQxConnection* ic = connection_->IConnection();
    if (attachedTo_ != ic || !recordSet_) {
        std::unique_ptr<TQxRecordSet> fresh = ic->CreateRecordSet();
        if (!recordSet_ || typeid(*fresh) != typeid(*recordSet_)) {
            AttachRecordSet();
        } else {
            attachedTo_ = ic;
            updateQuery_.reset();
        }
    }
    recordSet_->SetConnection(ic);
}

void TCustomDADataSet::ConnectChange(bool connected) {
    if (connected) return;
    Close();
    UnPrepare();
    FieldDefs().Updated = false;
}

void TCustomDADataSet::ConnectionChanged(TCustomDAConnection* connection) {
    if (!connection) {
        // The connection goes away: the data set keeps no reference to it.
        try {
            Close();
            UnPrepare();
        } catch (...) {
        }
        registered_ = false;
        connection_ = nullptr;
        sql_->connection_ = nullptr;
        AttachRecordSet();
        return;
    }
    Close();
    UnPrepare();
    attachedTo_ = nullptr; // CheckConnection compares the record set's class with the new connection's
    if (recordSet_) recordSet_->SetConnection(connection->IConnection());
}

// ---- Wait cursor and monitor ----

void TCustomDADataSet::StartWait() {
    if (DAHooks().StartWait) DAHooks().StartWait();
}

void TCustomDADataSet::StopWait() {
    if (DAHooks().StopWait) DAHooks().StopWait();
}

void TCustomDADataSet::CursorNotify() {
    if (DAHooks().CursorNotify) DAHooks().CursorNotify();
}

void TCustomDADataSet::MonitorOp(TDAMonitorKind kind, bool before, const std::string& label) {
    const TDAHooks& h = DAHooks();
    if (Internal || !connection_ || !h.Monitor || !(h.MonitorActive || Debug())) return;
    connection_->Monitor(kind, before, before ? FinalSQL() : std::string(), Debug(), Name, label,
                         before ? sql_->ParamsText() : std::string());
}

// ---- Record-set callbacks ----

void TCustomDADataSet::DoRecordSetAfterExecute(bool result) {
    if (result) sql_->ReadParams();
    if (NonBlocking()) {
        if (!result) {
            try {
                Close();
            } catch (...) {
            }
        } else if (Active()) {
            Resync();
        }
        StopWait();
        EnableControls();
    }
    if (AfterExecute) AfterExecute(this, result);
}

void TCustomDADataSet::DoAfterFetch() {
    if (NonBlocking()) StopWait();
}

void TCustomDADataSet::DoFetchBracket(bool before) {
    if (NonBlocking()) return;
    // A blocking fetch is bracketed by the wait cursor.
    if (before)
        StartWait();
    else
        StopWait();
}

// ---- Prepare, open, execute, refresh ----

void TCustomDADataSet::Prepare() {
    if (Prepared() || Active()) return;
    CheckConnection();
    SetMasterParams(false);
    MonitorOp(mkPrepare, true);
    StartWait();
    try {
        sql_->WriteParams(true);
        TMemDataSet::Prepare();
    } catch (...) {
        StopWait();
        throw;
    }
    StopWait();
    MonitorOp(mkPrepare, false);
}

void TCustomDADataSet::UnPrepare() {
    TMemDataSet::UnPrepare();
}

void TCustomDADataSet::OpenCursor() {
    CheckConnection();
    SetMasterParams(false);
    serverRecCount_ = options_.QueryRecCount ? GetServerRecordCount() : -1;
    MonitorOp(mkOpen, true);
    bool nonBlocking = NonBlocking();
    if (nonBlocking) {
        CursorNotify();
        DisableControls();
    } else {
        StartWait();
    }
    try {
        sql_->WriteParams(true);
        TMemDataSet::OpenCursor();
    } catch (...) {
        if (nonBlocking) EnableControls();
        StopWait();
        throw;
    }
    if (!nonBlocking) StopWait();
    MonitorOp(mkOpen, false);
    rowsAffected_ = -1;
}

void TCustomDADataSet::CloseCursor() {
    try {
        TMemDataSet::CloseCursor();
    } catch (EDAError& e) {
        // A lost connection does not keep the data set from closing.
        if (!(connection_ && connection_->IsFatalError(e))) throw;
    }
}

bool TCustomDADataSet::Executing() {
    return sql_->Executing();
}

void TCustomDADataSet::Execute() {
    if (Executing()) return;
    if (Active()) Close();
    CheckConnection();
    if (recordSet_->ReturnsRows()) {
        Open();
        return;
    }
    SetMasterParams(false);
    MonitorOp(mkExecute, true);
    bool nonBlocking = NonBlocking();
    if (nonBlocking)
        CursorNotify();
    else
        StartWait();
    // A statement without rows that runs in the background reports its count and AfterExecute when it
    // completes (DoCommandAfterExecute).
    commandPending_ = nonBlocking;
    try {
        sql_->WriteParams(true);
        recordSet_->ExecCommand();
    } catch (...) {
        commandPending_ = false;
        StopWait();
        throw;
    }
    if (!nonBlocking) StopWait();
    MonitorOp(mkExecute, false);
    if (recordSet_->ReturnsRows()) {
        // A query is opened (in the background when non-blocking); the open fires AfterExecute.
        commandPending_ = false;
        Open();
        return;
    }
    if (nonBlocking) {
        rowsAffected_ = 0;
        return;
    }
    rowsAffected_ = sql_->RowsAffected();
}

void TCustomDADataSet::DoCommandAfterExecute(bool result) {
    if (!commandPending_) return;
    commandPending_ = false;
    rowsAffected_ = result ? sql_->RowsAffected() : 0;
    if (AfterExecute) AfterExecute(this, result);
}

void TCustomDADataSet::InternalRefresh() {
    MonitorOp(mkRefresh, true, "Refresh");
    sql_->WriteParams(true);
    TMemDataSet::InternalRefresh();
    MonitorOp(mkRefresh, false, "Refresh");
    rowsAffected_ = -1;
}

void TCustomDADataSet::InternalPost() {
    inPost_ = true;
    try {
        TMemDataSet::InternalPost();
    } catch (...) {
        inPost_ = false;
        throw;
    }
    inPost_ = false;
}

// ---- Settings ----

void TCustomDADataSet::SetFetchRows(int value) {
    if (value == fetchRows_) return;
    CheckInactive();
    if (value < 1 || value > 10000) throw EDAError(SInvalidFetchRows);
    fetchRows_ = value;
    if (recordSet_) recordSet_->SetProp(prFetchRows, Variant(int32_t(value)));
}

void TCustomDADataSet::SetFetchAll(bool value) {
    if (value == fetchAll_) return;
    fetchAll_ = value;
    if (recordSet_) recordSet_->SetProp(prFetchAll, Variant(value));
    if (value) {
        if (uniDirectional_) {
            uniDirectional_ = false;
            if (recordSet_) recordSet_->SetProp(prUniDirectional, Variant(false));
        }
        if (Active() && recordSet_) {
            recordSet_->FetchAll();
            DataEvent(deDataSetChange);
        }
    }
}

void TCustomDADataSet::SetUniDirectional(bool value) {
    if (value == uniDirectional_) return;
    CheckInactive();
    uniDirectional_ = value;
    if (recordSet_) recordSet_->SetProp(prUniDirectional, Variant(value));
    if (value && fetchAll_) {
        fetchAll_ = false;
        if (recordSet_) recordSet_->SetProp(prFetchAll, Variant(false));
    }
}

void TCustomDADataSet::SetRequiredFields(bool value) {
    options_.RequiredFields = value;
    LocalConstraints = value;
    if (Active()) CreateFieldDefs();
}

void TCustomDADataSet::SetNumberRangeOption(bool value) {
    options_.NumberRange = value;
    NumberRange = value;
}

void TCustomDADataSet::SetTrimFixedChar(bool value) {
    options_.TrimFixedChar = value;
    if (data_) data_->TrimFixedChar = value;
}

void TCustomDADataSet::SetLongStrings(bool value) {
    options_.LongStrings = value;
    if (recordSet_) recordSet_->SetProp(prLongStrings, Variant(value));
}

void TCustomDADataSet::SetFlatBuffers(bool value) {
    options_.FlatBuffers = value;
    if (recordSet_) recordSet_->SetProp(prFlatBuffers, Variant(value));
}

void TCustomDADataSet::SetUpdateObject(TCustomDAUpdateSQL* object) {
    if (object == updateObject_) return;
    if (updateObject_ && updateObject_->dataSet_ == this) updateObject_->dataSet_ = nullptr;
    if (object && object->dataSet_ && object->dataSet_ != this) object->dataSet_->updateObject_ = nullptr;
    updateObject_ = object;
    if (object) object->dataSet_ = this;
}

bool TCustomDADataSet::GetCanModify() {
    return !ReadOnly && !uniDirectional_ &&
           (LocalUpdate || (CachedUpdates() && OnUpdateRecord) || updateObject_ != nullptr);
}

int TCustomDADataSet::GetRecordCount() {
    if (options_.QueryRecCount && Active() && serverRecCount_ >= 0)
        return TMemDataSet::GetRecordCount() + (serverRecCount_ - sql_->RowsAffected());
    return TMemDataSet::GetRecordCount();
}

std::unique_ptr<TStream> TCustomDADataSet::CreateBlobStream(TField* field, TBlobStreamMode mode) {
    if (mode != bmRead && field && field->DataType() == ftMemo && connection_ && connection_->Connected() &&
        connection_->IConnection()->GetConvertEOL() && field->FieldNo() > 0) {
        if (uint8_t* buf = GetActiveRecBuf())
            if (TBlob* blob = data_->GetBlob(field->FieldNo(), buf)) blob->ExpandLineFeeds();
    }
    return TMemDataSet::CreateBlobStream(field, mode);
}

// ---- Final SQL, FilterSQL, master/detail ----

void TCustomDADataSet::SQLChanged() {
    // A macro change: close, unprepare and rebuild the final SQL.
    Close();
    UnPrepare();
    FieldDefs().Updated = false;
    sql_->RebuildParams();
}

std::string TCustomDADataSet::GetFinalSQL(const std::string& componentSQL) {
    std::string s = componentSQL;
    if (!filterSQL_.empty()) s = AddWhere(s, filterSQL_);
    if (MasterSource() && !masterFields_.empty() && !detailFields_.empty()) {
        std::vector<std::string> m = SplitFields(masterFields_), d = SplitFields(detailFields_);
        std::string cond;
        for (size_t i = 0; i < m.size() && i < d.size(); ++i) {
            if (!cond.empty()) cond += " and ";
            cond += d[i] + " = :" + m[i];
        }
        if (!cond.empty()) s = AddWhere(s, cond);
    }
    return s;
}

void TCustomDADataSet::RederiveSQL(bool reopen) {
    Close();
    UnPrepare();
    FieldDefs().Updated = false;
    sql_->RebuildParams();
    if (reopen) Open();
}

void TCustomDADataSet::SetFilterSQL(const std::string& value) {
    if (value == filterSQL_) return;
    std::string old = filterSQL_;
    bool wasActive = Active();
    filterSQL_ = Trim(value);
    try {
        RederiveSQL(wasActive);
    } catch (...) {
        filterSQL_ = old;
        try {
            RederiveSQL(false);
        } catch (...) {
        }
        throw;
    }
}

TDataSource* TCustomDADataSet::MasterSource() const {
    return masterLink_ ? masterLink_->DataSource() : nullptr;
}

void TCustomDADataSet::SetMasterSource(TDataSource* source) {
    if (source == MasterSource()) return;
    // A master that leads back to this data set would refresh itself forever.
    for (TDataSource* s = source; s && s->DataSet();) {
        TDataSet* ds = s->DataSet();
        if (ds == this) throw EDatabaseError(SCircularDataLink);
        auto* da = dynamic_cast<TCustomDADataSet*>(ds);
        s = da ? da->MasterSource() : nullptr;
    }
    bool wasActive = Active();
    masterLink_->SetDataSource(source);
    RederiveSQL(wasActive);
}

void TCustomDADataSet::SetMasterFields(const std::string& value) {
    if (value == masterFields_) return;
    masterFields_ = value;
    if (MasterSource() && !masterFields_.empty() && !detailFields_.empty()) RederiveSQL(Active());
}

void TCustomDADataSet::SetDetailFields(const std::string& value) {
    if (value == detailFields_) return;
    detailFields_ = value;
    if (MasterSource() && !masterFields_.empty() && !detailFields_.empty()) RederiveSQL(Active());
}

void TCustomDADataSet::SetMasterParams(bool refreshWhenChanged) {
    TDataSet* master = MasterSource() ? MasterSource()->DataSet() : nullptr;
    if (!master || !master->Active()) return;
    bool changed = false;
    TParams& params = Params();
    for (int i = 0; i < params.Count(); ++i) {
        TParam* p = params[i];
        TField* f = master->FindField(p->Name);
        if (!f) continue;
        Variant v = f->GetAsVariant();
        if (p->DataType == f->DataType() && p->Value().IsNull() == v.IsNull() &&
            (v.IsNull() || p->Value().Equals(v)))
            continue;
        p->DataType = f->DataType();
        p->SetValue(v);
        p->DataType = f->DataType();
        p->ParamType = ptInput;
        changed = true;
    }
    if (!changed || !refreshWhenChanged || !Active() || master->State() == dsSetKey) return;
    // The detail follows the master's new record.
    MonitorOp(mkRefresh, true, "Refresh");
    StartWait();
    try {
        sql_->WriteParams(true);
        Fire(BeforeRefresh);
        CheckBrowseMode();
        UpdateCursorPos();
        TMemDataSet::InternalRefresh();
        Resync();
        Fire(AfterRefresh);
    } catch (...) {
        StopWait();
        throw;
    }
    StopWait();
    MonitorOp(mkRefresh, false, "Refresh");
    rowsAffected_ = -1;
}

void TCustomDADataSet::MasterChanged() {
    if (masterRefreshing_ || !Active()) return;
    TDataSet* master = MasterSource() ? MasterSource()->DataSet() : nullptr;
    if (!master || !master->Active()) return;
    masterRefreshing_ = true;
    try {
        SetMasterParams(true);
    } catch (...) {
        masterRefreshing_ = false;
        throw;
    }
    masterRefreshing_ = false;
}

void TCustomDADataSet::DoOnNewRecord() {
    // A new detail record takes the master fields' values into its detail fields.
    TDataSet* master = MasterSource() ? MasterSource()->DataSet() : nullptr;
    if (master && master->Active() && !masterFields_.empty() && !detailFields_.empty()) {
        std::vector<std::string> m = SplitFields(masterFields_), d = SplitFields(detailFields_);
        for (size_t i = 0; i < m.size() && i < d.size(); ++i) {
            TField* mf = master->FindField(m[i]);
            TField* df = FindField(d[i]);
            if (mf && df) df->SetAsVariant(mf->GetAsVariant());
        }
    }
    TMemDataSet::DoOnNewRecord();
}

// ---- ORDER BY entry points ----

void TCustomDADataSet::SetOrderBy(const std::string& fields) {
    ReplaceSQL(SetOrderByText(Trim(SQL()), fields));
}

std::string TCustomDADataSet::GetOrderBy() {
    return GetOrderByText(Trim(SQL()));
}

void TCustomDADataSet::ReplaceSQL(const std::string& text) {
    if (text == Trim(SQL())) return;
    if (!hasBaseSQL_) {
        baseSQL_ = SQL();
        hasBaseSQL_ = true;
    }
    SetSQL(text);
}
