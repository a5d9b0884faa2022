// The connection component: connect and disconnect sequences, login prompt, transactions and error routing.
#include "dataset/DEDozivo.h"

#include <algorithm>
#include <exception>

namespace {

TConnectDialogFactory& DefaultDialogFactory() {
    static TConnectDialogFactory factory;
    return factory;
}

// Brackets a blocking server call with the wait cursor, also when the call raises.
class TWaitCursor {
public:
    TWaitCursor() {
        if (DAHooks().StartWait) DAHooks().StartWait();
    }
    ~TWaitCursor() {
        if (DAHooks().StopWait) DAHooks().StopWait();
    }
};

} // namespace

void SetDefaultConnectDialogFactory(TConnectDialogFactory factory) {
    DefaultDialogFactory() = std::move(factory);
}

TCustomConnectDialog::~TCustomConnectDialog() {
    // A destroyed dialog is forgotten by every connection that uses it.
    for (TCustomDAConnection* c : users_)
        c->connectDialog_ = nullptr;
}

// ---- Construction and destruction ----

TCustomDAConnection::TCustomDAConnection() = default;

TCustomDAConnection::~TCustomDAConnection() {
    DestroyConnection();
}

void TCustomDAConnection::DestroyConnection() {
    if (destroying_) return;
    destroying_ = true;
    // Clients lose their connection first, then the connection closes.
    std::vector<TDAConnectionClient*> clients = clients_;
    for (TDAConnectionClient* c : clients) {
        try {
            c->ConnectionChanged(nullptr);
        } catch (...) {
        }
    }
    clients_.clear();
    try {
        SetConnected(false);
    } catch (...) {
        // A destructor does not raise; non-fatal errors were already dropped by the disconnect when fatal.
    }
    SetConnectDialog(nullptr);
}

void TCustomDAConnection::SetConnectDialog(TCustomConnectDialog* dialog) {
    if (dialog == connectDialog_) return;
    if (connectDialog_) {
        auto& u = connectDialog_->users_;
        u.erase(std::remove(u.begin(), u.end(), this), u.end());
    }
    connectDialog_ = dialog;
    if (dialog) dialog->users_.push_back(this);
}

// ---- Layer connection ----

TQxConnection* TCustomDAConnection::IConnection() {
    if (!iConnection_) {
        iConnection_ = CreateIConnection();
        InitIConnection(iConnection_.get());
    }
    return iConnection_.get();
}

void TCustomDAConnection::InitIConnection(TQxConnection* c) {
    c->SetProp(prAutoCommit, Variant(autoCommit_ && !InTransaction()));
    c->SetMethodProp(prOnError, [this](TQxMethodArgs& args) {
        auto* e = dynamic_cast<EDAError*>(args.Error);
        if (e) DoError(*e, args.Fail);
    });
    c->SetUsername(username_.c_str());
    c->SetPassword(password_.c_str());
    c->SetServer(server_.c_str());
}

void TCustomDAConnection::SetIConnection(std::unique_ptr<TQxConnection> connection) {
    if (Connected()) SetConnected(false);
    // The old object lives until every client has moved its command to the new one.
    std::unique_ptr<TQxConnection> old = std::move(iConnection_);
    iConnection_ = std::move(connection);
    if (iConnection_) InitIConnection(iConnection_.get());
    std::vector<TDAConnectionClient*> clients = clients_;
    for (TDAConnectionClient* c : clients)
        c->ConnectionChanged(this);
}

// ---- Logon data ----

void TCustomDAConnection::SetUsername(const std::string& value) {
    if (value == username_) return;
    SetConnected(false);
    username_ = value;
    if (iConnection_) iConnection_->SetUsername(value.c_str());
}

void TCustomDAConnection::SetPassword(const std::string& value) {
    if (value == password_) return;
    SetConnected(false);
    password_ = value;
    if (iConnection_) iConnection_->SetPassword(value.c_str());
}

void TCustomDAConnection::SetServer(const std::string& value) {
    if (value == server_) return;
    SetConnected(false);
    server_ = value;
    if (iConnection_) iConnection_->SetServer(value.c_str());
}

// ---- Clients ----

void TCustomDAConnection::RegisterClient(TDAConnectionClient* client) {
    if (std::find(clients_.begin(), clients_.end(), client) == clients_.end()) clients_.push_back(client);
}

void TCustomDAConnection::UnregisterClient(TDAConnectionClient* client) {
    clients_.erase(std::remove(clients_.begin(), clients_.end(), client), clients_.end());
}

// ---- Monitor ----

void TCustomDAConnection::Monitor(TDAMonitorKind kind, bool before, const std::string& sql, bool debug,
                                  const std::string& component, const std::string& label,
                                  const std::string& params) const {
    const TDAHooks& h = DAHooks();
    if (!h.Monitor || !(h.MonitorActive || debug)) return;
    TDAMonitorInfo info;
    info.Kind = kind;
    info.Before = before;
    info.Debug = debug;
    info.Component = component.empty() ? Name : component;
    info.Label = label;
    info.SQL = sql;
    info.Params = params;
    h.Monitor(info);
}

// ---- Connecting ----

bool TCustomDAConnection::Connected() const {
    return iConnection_ && iConnection_->GetConnected();
}

bool TCustomDAConnection::NeedPrompt() {
    if (DesignTime) return !loadConnect_ && (ConnectPrompt || username_.empty() || password_.empty());
    return ConnectPrompt;
}

std::unique_ptr<TCustomConnectDialog> TCustomDAConnection::CreateConnectDialog() {
    if (DefaultDialogFactory()) return DefaultDialogFactory()();
    return nullptr;
}

void TCustomDAConnection::Loaded() {
    if (!loading_) return;
    loading_ = false;
    if (!streamedConnected_) return;
    streamedConnected_ = false;
    loadConnect_ = true;
    try {
        SetConnected(true);
    } catch (std::exception& e) {
        loadConnect_ = false;
        if (!DesignTime) throw;
        // At design time the error is shown, not raised.
        ShowException(e);
        return;
    }
    loadConnect_ = false;
}

void TCustomDAConnection::SetConnected(bool value) {
    if (loading_) {
        if (!value)
            streamedConnected_ = false;
        else if (Options.KeepDesignConnected || DesignTime)
            streamedConnected_ = true;
        return;
    }
    if (value == Connected()) return;
    if (value)
        DoConnect();
    else
        DoDisconnect();
}

void TCustomDAConnection::DoConnect() {
    if (NeedPrompt() && OnLogin) {
        // The application's logon handler stands in for the dialog.
        std::string user = username_, password = password_;
        OnLogin(*this, user, password);
        username_ = user;
        password_ = password;
        PerformConnect(false);
        return;
    }
    std::unique_ptr<TCustomConnectDialog> ownDialog;
    TCustomConnectDialog* dialog = connectDialog_;
    if (NeedPrompt() && !dialog) {
        ownDialog = CreateConnectDialog();
        dialog = ownDialog.get();
    }
    if (NeedPrompt() && dialog) {
        dialog->SetConnection(this);
        if (!dialog->Execute()) {
            if (loadConnect_ || DesignTime) throw EDAError(SCannotConnect);
            throw EAbort();
        }
        return;
    }
    PerformConnect(false);
}

void TCustomDAConnection::PerformConnect(bool retry) {
    if (!retry && BeforeConnect) BeforeConnect(*this);
    Monitor(mkConnect, true, username_ + "@" + server_);
    TQxConnection* c = IConnection();
    {
        TWaitCursor wait;
        c->SetUsername(username_.c_str());
        c->SetPassword(password_.c_str());
        c->SetServer(server_.c_str());
        c->Connect("");
    }
    Monitor(mkConnect, false, username_ + "@" + server_);
    NotifyClients(true);
    if (AfterConnect) AfterConnect(*this);
}

TQxConnection* TCustomDAConnection::BeginConnect(bool retry) {
    if (!retry && BeforeConnect) BeforeConnect(*this);
    Monitor(mkConnect, true, username_ + "@" + server_);
    TQxConnection* c = IConnection();
    c->SetUsername(username_.c_str());
    c->SetPassword(password_.c_str());
    c->SetServer(server_.c_str());
    ArmAbort(true);
    return c;
}

void TCustomDAConnection::EndConnect(bool connected) {
    ArmAbort(false);
    if (!connected) return;
    Monitor(mkConnect, false, username_ + "@" + server_);
    NotifyClients(true);
    if (AfterConnect) AfterConnect(*this);
}

void TCustomDAConnection::NotifyClients(bool connected) {
    std::vector<TDAConnectionClient*> clients = clients_;
    for (TDAConnectionClient* c : clients)
        if (std::find(clients_.begin(), clients_.end(), c) != clients_.end()) c->ConnectChange(connected);
}

void TCustomDAConnection::DoDisconnect() {
    if (disconnecting_) return;
    disconnecting_ = true;
    std::exception_ptr pending;
    // 1. The clients close. A fatal error (the connection is gone) starts the round again, so that every
    //    client gets closed; the rounds are bounded so that a client that keeps failing cannot hang us.
    size_t rounds = clients_.size() + 1;
    for (size_t round = 0; round < rounds; ++round) {
        bool restart = false;
        std::vector<TDAConnectionClient*> clients = clients_;
        for (TDAConnectionClient* c : clients) {
            if (std::find(clients_.begin(), clients_.end(), c) == clients_.end()) continue;
            try {
                c->ConnectChange(false);
            } catch (EDAError& e) {
                if (IsFatalError(e)) {
                    restart = true;
                    break;
                }
                if (!pending) pending = std::current_exception();
            } catch (...) {
                if (!pending) pending = std::current_exception();
            }
        }
        if (!restart) break;
    }
    try {
        // 2. BeforeDisconnect.
        if (BeforeDisconnect) BeforeDisconnect(*this);
        // 3. An open user transaction is committed; the layer still disconnects when that fails.
        std::exception_ptr commitError;
        if (InTransaction()) {
            try {
                Commit();
            } catch (...) {
                commitError = std::current_exception();
                transactionId_.clear();
            }
        }
        // 4. The layer disconnects.
        Monitor(mkDisconnect, true);
        try {
            iConnection_->Disconnect();
        } catch (...) {
            if (!commitError) commitError = std::current_exception();
        }
        Monitor(mkDisconnect, false);
        // 5. AfterDisconnect.
        if (AfterDisconnect) AfterDisconnect(*this);
        if (commitError) {
            // 6. While the component is being destroyed, a fatal error is dropped.
            try {
                std::rethrow_exception(commitError);
            } catch (EDAError& e) {
                if (!(destroying_ && IsFatalError(e))) throw;
            }
        }
    } catch (...) {
        disconnecting_ = false;
        throw;
    }
    disconnecting_ = false;
    if (pending) std::rethrow_exception(pending);
}

// ---- Transactions ----

void TCustomDAConnection::SetAutoCommit(bool value) {
    autoCommit_ = value;
    if (iConnection_ && !InTransaction()) iConnection_->SetProp(prAutoCommit, Variant(value));
}

void TCustomDAConnection::StartTransaction() {
    if (!Connected()) throw EDAError(SConnectionIsClosed);
    if (InTransaction()) throw EDAError(STransactionInProgress);
    Monitor(mkStartTransaction, true);
    iConnection_->StartTransaction();
    transactionId_ = "Local";
    iConnection_->SetProp(prAutoCommit, Variant(false));
    Monitor(mkStartTransaction, false);
}

void TCustomDAConnection::Commit() {
    if (!Connected()) throw EDAError(SConnectionIsClosed);
    Monitor(mkCommit, true);
    iConnection_->Commit();
    transactionId_.clear();
    iConnection_->SetProp(prAutoCommit, Variant(autoCommit_));
    Monitor(mkCommit, false);
}

void TCustomDAConnection::Rollback() {
    if (!Connected()) throw EDAError(SConnectionIsClosed);
    Monitor(mkRollback, true);
    iConnection_->Rollback();
    transactionId_.clear();
    iConnection_->SetProp(prAutoCommit, Variant(autoCommit_));
    Monitor(mkRollback, false);
}

// ---- Error routing ----

void TCustomDAConnection::DoError(EDAError& e, bool& fail) {
    const TDAHooks& h = DAHooks();
    if (h.Monitor && h.MonitorActive) {
        TDAMonitorInfo info;
        info.Kind = mkError;
        info.Component = Name;
        info.Error = e.what();
        h.Monitor(info);
    }
    if (!errorDisconnect_ && !disconnecting_ && IsFatalError(e)) {
        errorDisconnect_ = true;
        try {
            SetConnected(false);
        } catch (...) {
            // The connection is lost; errors of closing it add nothing.
        }
        errorDisconnect_ = false;
    }
    if (OnError) OnError(*this, e, fail);
}
