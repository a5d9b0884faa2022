#include "connect/ConnectDialog.h"

#include "dataset/DAHooks.h"
#include "ocicall/OraCall.h"
#include "ocicall/OraCallLoad.h"
#include "oracle/Ora.h"
#include "oranet/TnsNames.h"

#include <cctype>
#include <thread>

const char* const kConnectBaseKey = "\\SOFTWARE\\Tessaron\\Nodal\\";

namespace {

// Titles that start with this are taken for the development environment (which keeps the session's values).
const char kDevEnvironmentPrefix[] = "Qt Creator";

IConnectSettings* g_settings = nullptr;

std::map<std::string, TConnectFormClass>& FormClasses() {
    static std::map<std::string, TConnectFormClass> classes;
    return classes;
}

bool SameText(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

std::string Parent(const std::string& key) {
    const size_t p = key.find_last_of('\\');
    return p == std::string::npos || p == 0 ? std::string() : key.substr(0, p);
}

std::string NoTrailingSlash(std::string key) {
    while (key.size() > 1 && key.back() == '\\')
        key.pop_back();
    return key;
}

struct TLabelEntry {
    int id;
    const char* text;
};

// UTF-8.
const TLabelEntry kLabelTable[] = {
    {0, "\xD0\xA1\xD0\xBE\xD0\xB5\xD0\xB4\xD0\xB8\xD0\xBD\xD0\xB5\xD0\xBD\xD0\xB8\xD0\xB5"},
    {1, "\xD0\x98\xD0\xBC\xD1\x8F"},
    {2, "\xD0\x9F\xD0\xB0\xD1\x80\xD0\xBE\xD0\xBB\xD1\x8C"},
    {3, "\xD0\xA1\xD0\xB5\xD1\x80\xD0\xB2\xD0\xB5\xD1\x80"},
    {4, "\xD0\xA1\xD0\xBE\xD0\xB5\xD0\xB4\xD0\xB8\xD0\xBD\xD0\xB8\xD1\x82\xD1\x8C"},
    {5, "\xD0\x9E\xD1\x82\xD0\xBC\xD0\xB5\xD0\xBD\xD0\xB0"},
    {100, "Connect"},
    {101, "User Name"},
    {102, "Password"},
    {103, "Server"},
    {104, "Connect"},
    {105, "Cancel"},
    {200, "Ouverture de session"},
    {201, "Nom utilisateur"},
    {202, "Mot de passe"},
    {203, "Chaone centrale"},
    {204, "Ok"},
    {205, "Annuler"},
    {300, "Anmeldung"},
    {301, "Benutzername"},
    {302, "Kennwort"},
    {303, "Host-Zeichenfolge"},
    {304, "Ok"},
    {305, "Abbrechen"},
    {400, "Connessione"},
    {401, "Nome Utente"},
    {402, "Parola d'ordine"},
    {403, "Stringa Conn.Host"},
    {404, "Ok"},
    {405, "Elimina"},
    {500, "Rejestracja"},
    {501, "Uiytkowhik"},
    {502, "Hasio"},
    {503, "Opis hosta"},
    {504, "Ok"},
    {505, "Anuluj"},
    {600, "Entrar em Sess\xC3\xA3o"},
    {601, "Nome de Utilizador"},
    {602, "Senha"},
    {603, "Liga\xC3\xA7\xC3\xA3o ao Host"},
    {604, "Ok"},
    {605, "Cancelar"},
    {700, "Conectar"},
    {701, "Usuario"},
    {702, "Clave"},
    {703, "Cadena Conexiyn"},
    {704, "Ok"},
    {705, "Cancelar"},
};

// A string is loaded into a buffer of 50 characters: at most 49 of them are kept.
std::string Limit49(const char* utf8) {
    std::string s;
    int chars = 0;
    for (const char* p = utf8; *p; ++p) {
        if ((static_cast<unsigned char>(*p) & 0xC0) != 0x80 && ++chars > 49) break;
        s += *p;
    }
    return s;
}

} // namespace

// ---- Settings ----

bool IConnectSettings::ReadInteger(const std::string& key, const std::string& name, int& value) {
    std::string s;
    if (!ReadString(key, name, s)) return false;
    try {
        size_t used = 0;
        const int v = std::stoi(s, &used);
        if (used != s.size()) return false;
        value = v;
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

void IConnectSettings::WriteInteger(const std::string& key, const std::string& name, int value) {
    WriteString(key, name, std::to_string(value));
}

bool TMemorySettings::KeyExists(const std::string& key) {
    return keys_.count(NoTrailingSlash(key)) != 0;
}

void TMemorySettings::CreateKey(const std::string& key) {
    for (std::string k = NoTrailingSlash(key); !k.empty(); k = Parent(k))
        keys_.insert(k);
}

bool TMemorySettings::ReadString(const std::string& key, const std::string& name, std::string& value) {
    auto k = values_.find(NoTrailingSlash(key));
    if (k == values_.end()) return false;
    auto v = k->second.find(name);
    if (v == k->second.end()) return false;
    value = v->second;
    return true;
}

void TMemorySettings::WriteString(const std::string& key, const std::string& name, const std::string& value) {
    CreateKey(key);
    values_[NoTrailingSlash(key)][name] = value;
    Writes.push_back(NoTrailingSlash(key) + "|" + name + "=" + value);
}

IConnectSettings* ConnectSettings() {
    return g_settings;
}

void SetConnectSettings(IConnectSettings* settings) {
    g_settings = settings;
}

// ---- Label sets ----

std::string LoadLabelString(int id) {
    for (const TLabelEntry& e : kLabelTable)
        if (e.id == id) return Limit49(e.text);
    return std::string();
}

int LabelSetBase(TLabelSet set) {
    switch (set) {
    case lsEnglish:
        return 100;
    case lsFrench:
        return 200;
    case lsGerman:
        return 300;
    case lsItalian:
        return 400;
    case lsPolish:
        return 500;
    case lsPortuguese:
        return 600;
    case lsRussian:
        return 0;
    case lsSpanish:
        return 700;
    case lsCustom:
        break;
    }
    return -1;
}

void RegisterConnectFormClass(const std::string& name, TConnectFormClass formClass) {
    FormClasses()[name] = std::move(formClass);
}

void UnregisterConnectFormClass(const std::string& name) {
    FormClasses().erase(name);
}

// ---- TConnectDialog ----

TConnectDialog::TConnectDialog() {
    SetLabelSet(lsEnglish);
}

void TConnectDialog::SetText(int i, const std::string& v) {
    texts_[i] = v;
    if (!Loading) labelSet_ = lsCustom;
}

void TConnectDialog::SetLabelSet(TLabelSet set) {
    labelSet_ = set;
    if (set == lsCustom) return;
    const int base = LabelSetBase(set);
    for (int i = 0; i < 6; ++i)
        texts_[i] = LoadLabelString(base + i);
}

IConnectSettings* TConnectDialog::Store() const {
    return Settings ? Settings : ConnectSettings();
}

std::string TConnectDialog::ServerValueName() const {
    return NetworkMode() ? "NServer" : "Server";
}

std::string TConnectDialog::AppKey() const {
    return std::string(kConnectBaseKey) + "Connect\\" + ApplicationTitle;
}

std::string TConnectDialog::HistoryKey() const {
    return std::string(kConnectBaseKey) + "Connect";
}

std::vector<std::string> ReadServerAliases(const std::vector<std::string>& extraHomes) {
    return oranet::TnsAliasNames(oranet::LoadTnsNames(oranet::TnsAdminFolders(extraHomes)));
}

std::string ClientLibraryHome(const std::string& libraryPath) {
    const size_t slash = libraryPath.find_last_of('/');
    if (slash == std::string::npos) return std::string();
    std::string folder = libraryPath.substr(0, slash);
    const size_t up = folder.find_last_of('/');
    if (up != std::string::npos && folder.substr(up + 1) == "lib") folder = folder.substr(0, up);
    return folder;
}

bool TConnectDialog::NetworkMode() const {
    auto* session = dynamic_cast<TOraSession*>(Connection());
    return session && session->Options().Net();
}

void TConnectDialog::GetServerItems(std::vector<std::string>& list) {
    GetServerList(list);
    if (!NetworkMode()) return;
    for (const std::string& alias : ReadServerAliases()) {
        bool known = false;
        for (const std::string& s : list)
            known = known || SameText(s, alias);
        if (!known) list.push_back(alias);
    }
}

void TConnectDialog::GetServerList(std::vector<std::string>& list) {
    list.clear();
    if (ReadAliases && !NetworkMode() && dynamic_cast<TOraSession*>(Connection())) {
        // The Oracle home comes from the client library.
        if (!oracall::OCIInited) oracall::LoadOCI(int(TOraSession::ProcessHome()));
        list = ReadServerAliases({ClientLibraryHome(oracall::OCILibraryPath())});
        return;
    }
    IConnectSettings* store = Store();
    if (!store || !store->KeyExists(HistoryKey())) return;
    const std::string name = ServerValueName();
    for (int i = 1;; ++i) {
        std::string value;
        if (!store->ReadString(HistoryKey(), name + std::to_string(i), value)) break;
        list.push_back(value);
    }
}

void TConnectDialog::StoreLogon() {
    IConnectSettings* store = Store();
    TCustomDAConnection* c = Connection();
    if (!store || !c) return;
    const std::string name = ServerValueName();
    store->WriteString(AppKey(), "Username", c->Username());
    store->WriteString(AppKey(), name, c->Server());
    if (!store->KeyExists(HistoryKey())) return;
    std::vector<std::string> list;
    GetServerList(list);
    store->WriteString(HistoryKey(), name + "1", c->Server());
    int n = 2;
    for (const std::string& s : list)
        if (!SameText(s, c->Server())) store->WriteString(HistoryKey(), name + std::to_string(n++), s);
}

bool TConnectDialog::ShowForm() {
    auto& classes = FormClasses();
    auto it = DialogClass.empty() ? classes.end() : classes.find(DialogClass);
    if (it == classes.end()) it = classes.find("TConnectForm");
    if (it == classes.end()) throw EDAError("Class TConnectForm not found");
    return it->second(*this);
}

bool TConnectDialog::Execute() {
    TCustomDAConnection* c = Connection();
    if (!c) throw EDAError(SConnectionNotDefined);
    // 1. The session's values, restored when the logon fails.
    const std::string oldUser = c->Username(), oldPassword = c->Password(), oldServer = c->Server();

    // 2. The last logon of this application.
    IConnectSettings* store = Store();
    if (StoreLogInfo && store && !KeepSessionValues) {
        const bool devEnv = ApplicationTitle.rfind(kDevEnvironmentPrefix, 0) == 0;
        const bool opened = store->KeyExists(AppKey());
        std::string value;
        if (opened && (!devEnv || c->Username().empty()) && store->ReadString(AppKey(), "Username", value))
            c->SetUsername(value);
        if (SavePassword || devEnv) {
            if (!SameText(c->Username(), oldUser)) c->SetPassword(std::string());
        } else {
            c->SetPassword(std::string());
        }
        if (opened && (!devEnv || c->Server().empty()) &&
            store->ReadString(AppKey(), ServerValueName(), value))
            c->SetServer(value);
    }

    // 3. The form.
    bool result = false;
    try {
        result = ShowForm() && c->Connected();
    } catch (...) {
        c->SetUsername(oldUser);
        c->SetPassword(oldPassword);
        c->SetServer(oldServer);
        throw;
    }

    // 4.-5.
    if (result && StoreLogInfo) StoreLogon();
    if (!result) {
        c->SetUsername(oldUser);
        c->SetPassword(oldPassword);
        c->SetServer(oldServer);
    }
    return result;
}

// ---- TConnectFormLogic ----

TConnectFormLogic::TConnectFormLogic(TConnectDialog& dialog) : dialog_(dialog), counter_(dialog.Retries) {
    dialog.GetServerItems(ServerItems);
    if (TCustomDAConnection* c = dialog.Connection()) {
        Username = c->Username();
        Password = c->Password();
        Server = c->Server();
    }
    if (!Username.empty() && Password.empty()) InitialFocus = cfPassword;
}

TConnectFocus TConnectFormLogic::FocusForError(int code, bool usernameHasFocus) {
    switch (code) {
    case 1005:
        return cfPassword;
    case 1017:
        return usernameHasFocus ? cfUsername : cfPassword;
    case 1:
    case 12154:
    case 12203:
        return cfServer;
    default:
        return cfNone;
    }
}

void TConnectFormLogic::Prepare(const std::string& user, const std::string& password,
                                const std::string& server) {
    TCustomDAConnection* c = dialog_.Connection();
    if (!c) throw EDAError(SConnectionNotDefined);
    ErrorFocus = cfNone;
    c->Disconnect();
    c->SetPassword(password);
    c->SetServer(server);
    c->SetUsername(user);
}

void TConnectFormLogic::CountFailure(const EDAError& e, bool usernameHasFocus) {
    --counter_;
    retrying_ = true;
    ErrorFocus = FocusForError(e.ErrorCode, usernameHasFocus);
}

void TConnectFormLogic::Connect(const std::string& user, const std::string& password,
                                const std::string& server, bool usernameHasFocus) {
    Prepare(user, password, server);
    try {
        dialog_.Connection()->PerformConnect(retrying_);
    } catch (EDAError& e) {
        CountFailure(e, usernameHasFocus);
        throw;
    }
}

// One logon on its thread. The thread writes error and connected before it posts its end; the owning
// thread reads them only in that posted task, after joining it.
struct TConnectFormLogic::TLogon {
    std::thread thread;
    std::exception_ptr error;
    bool connected = false;
    bool cancelled = false;
    bool usernameHasFocus = false;
    TConnectDone done;
    // Shared with the posted task, which finds the logon gone when the form was abandoned meanwhile.
    std::shared_ptr<bool> alive = std::make_shared<bool>(true);
};

TConnectFormLogic::~TConnectFormLogic() {
    AbandonConnect();
}

void TConnectFormLogic::StartConnect(const std::string& user, const std::string& password,
                                     const std::string& server, bool usernameHasFocus,
                                     MainThreadPoster& poster, TConnectDone done) {
    if (logon_) return;
    Prepare(user, password, server);
    TCustomDAConnection* c = dialog_.Connection();
    TQxConnection* layer = c->BeginConnect(retrying_);
    auto logon = std::make_unique<TLogon>();
    logon->usernameHasFocus = usernameHasFocus;
    logon->done = std::move(done);
    TLogon* l = logon.get();
    logon_ = std::move(logon);
    std::weak_ptr<bool> alive = l->alive;
    l->thread = std::thread([this, l, layer, &poster, alive] {
        try {
            layer->Connect("");
            l->connected = true;
        } catch (...) {
            l->error = std::current_exception();
        }
        poster.Post([this, alive] {
            if (alive.lock()) FinishLogon();
        });
    });
}

void TConnectFormLogic::FinishLogon() {
    std::unique_ptr<TLogon> l = std::move(logon_);
    if (!l) return;
    l->thread.join();
    TCustomDAConnection* c = dialog_.Connection();
    c->EndConnect(l->connected);
    TOutcome outcome = l->connected ? coConnected : coFailed;
    if (l->cancelled) {
        // The user asked to stop: a logon that got through meanwhile is undone, nothing is counted.
        outcome = coCancelled;
        if (l->connected) try {
                c->Disconnect();
            } catch (...) {
            }
        l->error = nullptr;
    } else if (l->error) {
        try {
            std::rethrow_exception(l->error);
        } catch (EDAError& e) {
            CountFailure(e, l->usernameHasFocus);
        } catch (...) {
        }
    }
    if (l->done) l->done(outcome, l->error);
}

void TConnectFormLogic::CancelConnect() {
    if (!logon_) return;
    logon_->cancelled = true;
    if (TCustomDAConnection* c = dialog_.Connection()) c->AbortCalls();
}

void TConnectFormLogic::AbandonConnect() {
    if (!logon_) return;
    CancelConnect();
    logon_->done = nullptr;
    // The thread's posted end finds nothing to do.
    logon_->alive.reset();
    FinishLogon();
}
