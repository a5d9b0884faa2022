// The SQL component: SQL text, macros, parameters and the execution of one statement through the layer
// command.
#include "dataset/DAParamParser.h"
#include "dataset/DEDozivo.h"
#include "dataset/StrUtil.h"

#include <cmath>

namespace {

class TWaitCursor {
public:
    explicit TWaitCursor(bool active) : active_(active) {
        if (active_ && DAHooks().StartWait) DAHooks().StartWait();
    }
    ~TWaitCursor() {
        if (active_ && DAHooks().StopWait) DAHooks().StopWait();
    }

private:
    bool active_;
};

} // namespace

TCustomDASQL::TCustomDASQL(TCustomDADataSet* owner) : dataSet_(owner) {
    if (!owner) {
        ownMacros_ = std::make_unique<TMacros>();
        ownMacros_->OnChanged = [this] { MacrosChanged(); };
    }
}

TCustomDASQL::~TCustomDASQL() {
    if (connection_ && registered_) connection_->UnregisterClient(this);
    if (ownCommand_) {
        try {
            if (ownCommand_->GetPrepared()) ownCommand_->Unprepare();
        } catch (...) {
        }
    }
}

TMacros& TCustomDASQL::Macros() {
    return dataSet_ ? dataSet_->macros_ : *ownMacros_;
}

// ---- SQL text, macros and parameters ----

void TCustomDASQL::SetSQL(const std::string& text) {
    if (text == sql_) return;
    // The owner closes and unprepares; a free-standing component unprepares.
    if (dataSet_) {
        dataSet_->Close();
        dataSet_->UnPrepare();
        dataSet_->FieldDefs().Updated = false;
    } else {
        UnPrepare();
    }
    sql_ = text;
    // Macros, the final SQL and its parameters.
    ScanMacros();
    RebuildParams();
}

void TCustomDASQL::ScanMacros() {
    TMacros& m = Macros();
    m.BeginUpdate();
    m.Scan(sql_);
    m.EndUpdate();
}

void TCustomDASQL::MacrosChanged() {
    // The free-standing component's SQL is re-derived after a macro change.
    UnPrepare();
    RebuildParams();
}

std::string TCustomDASQL::GetFinalSQL() {
    std::string s = TrimRight(sql_);
    Macros().Expand(s);
    return s;
}

std::string TCustomDASQL::FinalSQL() {
    if (dataSet_) return dataSet_->GetFinalSQL(GetFinalSQL());
    return GetFinalSQL();
}

TFieldType TCustomDASQL::FieldTypeOf(uint16_t dataType) {
    if (dataSet_) return dataSet_->GetFieldType(dataType);
    return FieldTypeOfDataType(dataType);
}

void TCustomDASQL::RebuildParams() {
    std::string text = FinalSQL();
    if (!paramCheck_ && !(connection_ && connection_->DesignTime)) {
        if (command_) command_->SetSQL(text);
        return;
    }
    Variant scans = false;
    if (command_) command_->GetProp(prScanParams, scans);
    if (command_ && scans.AsBoolean()) {
        // The command finds the parameters: Params follow its descriptors, keeping same-named values.
        command_->SetSQL(text);
        TParams old;
        old.Assign(params_);
        params_.Clear();
        for (int i = 0; i < command_->GetParamCount(); ++i) {
            TParamDesc* d = command_->GetParam(i);
            TParam* p = params_.CreateParam(FieldTypeOf(d->GetDataType()), d->GetName(),
                                            TParamType(d->GetParamType()));
            if (TParam* o = old.FindParam(d->GetName())) {
                TFieldType t = p->DataType;
                p->Assign(*o);
                if (t != ftUnknown) p->DataType = t;
            }
        }
        return;
    }
    // The framework's own parsing: one parameter per distinct name, values of same-named parameters kept.
    std::vector<std::string> names = ParseParamNames(text);
    TParams old;
    old.Assign(params_);
    params_.Clear();
    for (auto& n : names) {
        if (TParam* o = old.FindParam(n)) {
            auto p = std::make_unique<TParam>();
            p->Assign(*o);
            p->Name = n;
            params_.Add(std::move(p));
        } else {
            params_.CreateParam(ftUnknown, n, ptUnknown);
        }
    }
    if (command_) {
        command_->SetSQL(text);
        WriteParams(false);
    }
}

void TCustomDASQL::SetParamCheck(bool value) {
    paramCheck_ = value;
    bool v = value || (connection_ && connection_->DesignTime);
    if (command_) {
        try {
            command_->SetProp(prScanParams, Variant(v));
        } catch (EAssertionFailed&) {
            // A command without that setting never scans: the framework parses the parameters itself.
        }
    }
    if (v) RebuildParams();
}

std::string TCustomDASQL::ParamsText() const {
    std::string s;
    for (int i = 0; i < params_.Count(); ++i) {
        TParam* p = params_[i];
        s += p->Name + "=" + (p->IsNull() ? std::string("<NULL>") : VarToStr(p->Value())) + "\n";
    }
    return s;
}

// ---- Connection and command ----

void TCustomDASQL::SetConnection(TCustomDAConnection* connection) {
    if (connection == connection_) return;
    if (dataSet_) {
        dataSet_->SetConnection(connection);
        return;
    }
    UnPrepare();
    if (connection_ && registered_) connection_->UnregisterClient(this);
    registered_ = false;
    // The command belongs to the old connection's layer: it goes with it.
    command_ = nullptr;
    ownCommand_.reset();
    connection_ = connection;
    attachedTo_ = nullptr;
    if (connection_) {
        // A command of the connection's class exists from now on, so that parameters follow its rules.
        ownCommand_ = connection_->IConnection()->CreateCommand();
        attachedTo_ = connection_->IConnection();
        AttachCommand(ownCommand_.get());
    }
}

void TCustomDASQL::AttachCommand(TQxCommand* command) {
    command_ = command;
    if (!command_) return;
    if (connection_) command_->SetConnection(connection_->IConnection());
    command_->SetSQL(FinalSQL());
    command_->SetProp(prAutoCommit, Variant(autoCommit_));
    command_->SetMethodProp(prOnAfterExecute, [this](TQxMethodArgs& args) { DoAfterExecute(args.Result); });
    RebuildParams();
}

void TCustomDASQL::CheckConnection() {
    if (dataSet_) {
        dataSet_->CheckConnection();
        return;
    }
    if (!connection_) throw EDAError(SConnectionNotDefined);
    if (!connection_->Connected()) connection_->Connect();
    if (!registered_) {
        connection_->RegisterClient(this);
        registered_ = true;
    }
    TQxConnection* ic = connection_->IConnection();
    if (attachedTo_ != ic) {
        // The layer connection changed: a command of another class is created anew.
        std::unique_ptr<TQxCommand> fresh = ic->CreateCommand();
        if (!ownCommand_ || typeid(*fresh) != typeid(*ownCommand_)) {
            ownCommand_ = std::move(fresh);
            AttachCommand(ownCommand_.get());
        }
        attachedTo_ = ic;
    }
    command_->SetConnection(ic);
}

void TCustomDASQL::ConnectChange(bool connected) {
    if (!connected) UnPrepare();
}

void TCustomDASQL::ConnectionChanged(TCustomDAConnection* connection) {
    // Called while the old layer connection still exists: the command lets go of it first.
    UnPrepare();
    attachedTo_ = nullptr;
    if (!connection) {
        // The connection goes away, and with it the command of its class.
        registered_ = false;
        connection_ = nullptr;
        command_ = nullptr;
        ownCommand_.reset();
        return;
    }
    if (!ownCommand_) return;
    TQxConnection* ic = connection->IConnection();
    std::unique_ptr<TQxCommand> fresh = ic->CreateCommand();
    if (typeid(*fresh) != typeid(*ownCommand_)) {
        ownCommand_ = std::move(fresh);
        AttachCommand(ownCommand_.get());
    }
    ownCommand_->SetConnection(ic);
    attachedTo_ = ic;
}

// ---- Prepare and execute ----

bool TCustomDASQL::Prepared() {
    return command_ && command_->GetPrepared();
}

bool TCustomDASQL::Announcing() const {
    const TDAHooks& h = DAHooks();
    return h.Monitor && (h.MonitorActive || Debug);
}

void TCustomDASQL::Prepare() {
    if (Prepared()) return;
    CheckConnection();
    if (Announcing()) connection_->Monitor(mkPrepare, true, FinalSQL(), Debug, Name);
    command_->Prepare();
    if (Announcing()) connection_->Monitor(mkPrepare, false, std::string(), Debug, Name);
}

void TCustomDASQL::UnPrepare() {
    if (command_ && command_->GetPrepared()) command_->Unprepare();
}

bool TCustomDASQL::Executing() {
    if (!command_) return false;
    Variant v = false;
    command_->GetProp(prExecuting, v);
    return v.AsBoolean();
}

void TCustomDASQL::Execute(int iterations) {
    if (Executing()) return;
    CheckConnection();
    if (Announcing())
        connection_->Monitor(mkExecute, true, FinalSQL(), Debug, Name, std::string(), ParamsText());
    if (NonBlocking) {
        if (DAHooks().CursorNotify) DAHooks().CursorNotify();
        // The wait ends in the after-execute callback, when the background run completes.
        WriteParams(true);
        command_->Execute(iterations);
    } else {
        TWaitCursor wait(true);
        WriteParams(true);
        command_->Execute(iterations);
    }
    if (Announcing()) connection_->Monitor(mkExecute, false, std::string(), Debug, Name);
}

void TCustomDASQL::DoAfterExecute(bool result) {
    if (result) ReadParams();
    if (NonBlocking && DAHooks().StopWait) DAHooks().StopWait();
    if (AfterExecute) AfterExecute(this, result);
    if (dataSet_) dataSet_->DoCommandAfterExecute(result);
}

int TCustomDASQL::RowsAffected() {
    if (!command_) return 0;
    Variant v = int32_t(0);
    command_->GetProp(prRowsProcessed, v);
    return v.AsInteger();
}

// ---- Parameters to and from the command ----

void TCustomDASQL::WriteParams(bool withValues) {
    if (!command_) return;
    for (int i = 0; i < params_.Count(); ++i) {
        TParam* p = params_[i];
        TParamDesc* d = i < command_->GetParamCount() ? command_->GetParam(i) : command_->AddParam();
        d->SetName(p->Name);
        d->SetDataType(FieldTypeToDataType(p->DataType));
        d->SetParamType(uint8_t(p->ParamType));
        if (!withValues) continue;
        Variant v = p->Value();
        if (!v.IsNullOrEmpty()) {
            if (p->DataType == ftDate) {
                // A date parameter carries the whole day only.
                v = Variant::FromDateTime(std::floor(v.AsDateTime()));
            } else if ((p->DataType == ftBlob || p->DataType == ftBytes || p->DataType == ftVarBytes) &&
                       v.IsString()) {
                std::string s = v.AsString();
                v = Variant::FromBytes(s.data(), s.size());
            }
        }
        d->SetValue(v);
    }
    while (command_->GetParamCount() > params_.Count())
        command_->DeleteParam(command_->GetParamCount() - 1);
}

void TCustomDASQL::ReadParams() {
    if (!command_) return;
    for (int i = 0; i < params_.Count() && i < command_->GetParamCount(); ++i) {
        TParam* p = params_[i];
        Variant v;
        command_->GetParam(i)->GetValue(v);
        TFieldType t = p->DataType;
        p->SetValue(v);
        if (t != ftUnknown) p->DataType = t;
    }
}

void TCustomDASQL::SetAutoCommit(bool value) {
    autoCommit_ = value;
    if (command_) command_->SetProp(prAutoCommit, Variant(value));
}
