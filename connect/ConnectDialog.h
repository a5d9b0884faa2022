// The interactive logon without a window: TConnectDialog runs Execute on the attached session (remembered
// logon data, the server history, restoring the session after a failure), TConnectFormLogic is what the modal
// form decides (retry counter, focus by error code). The registry stand-in is IConnectSettings; the GUI backs
// it with QSettings, tests with TMemorySettings.
//
// The six form texts are UTF-8 (label sets exist for languages Windows-1252 cannot write); the session's user
// name, password and server are Windows-1252 like all the core's text.
#pragma once

#include "dataset/DEDozivo.h"

#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

class MainThreadPoster;

// Keys are written registry-style ("\SOFTWARE\Tessaron\Nodal\Connect"); writing a value creates its key and
// the key's parents, as the registry does.
class IConnectSettings {
public:
    virtual ~IConnectSettings() = default;
    virtual bool KeyExists(const std::string& key) = 0;
    virtual bool ReadString(const std::string& key, const std::string& name, std::string& value) = 0;
    virtual void WriteString(const std::string& key, const std::string& name, const std::string& value) = 0;
    virtual bool ReadInteger(const std::string& key, const std::string& name, int& value);
    virtual void WriteInteger(const std::string& key, const std::string& name, int value);
};

class TMemorySettings : public IConnectSettings {
public:
    bool KeyExists(const std::string& key) override;
    bool ReadString(const std::string& key, const std::string& name, std::string& value) override;
    void WriteString(const std::string& key, const std::string& name, const std::string& value) override;
    void CreateKey(const std::string& key);
    // Every write, "key|name=value", in order.
    std::vector<std::string> Writes;

private:
    std::set<std::string> keys_;
    std::map<std::string, std::map<std::string, std::string>> values_;
};

// The settings the program's connect dialogs and debug window use (nil: nothing is read or written).
IConnectSettings* ConnectSettings();
void SetConnectSettings(IConnectSettings* settings);

enum TLabelSet {
    lsCustom,
    lsEnglish,
    lsFrench,
    lsGerman,
    lsItalian,
    lsPolish,
    lsPortuguese,
    lsRussian,
    lsSpanish
};
// The string table: ids base + 0..5 of each label set (Caption, UsernameLabel, PasswordLabel, ServerLabel,
// ConnectButton, CancelButton); an id without a string gives "".
std::string LoadLabelString(int id);
int LabelSetBase(TLabelSet set);

extern const char* const kConnectBaseKey; // "\SOFTWARE\Tessaron\Nodal\"

class TConnectDialog;
// Shows the modal form for a dialog and returns true when it closed with OK.
using TConnectFormClass = std::function<bool(TConnectDialog&)>;
// Form classes by name; "TConnectForm" is the default one (the GUI registers it).
void RegisterConnectFormClass(const std::string& name, TConnectFormClass formClass);
void UnregisterConnectFormClass(const std::string& name);

class TConnectDialog : public TCustomConnectDialog {
public:
    TConnectDialog();

    bool ReadAliases = false;
    uint16_t Retries = 3;
    bool SavePassword = false;
    bool StoreLogInfo = true;
    std::string DialogClass;
    // The application's title, part of the key of the last logon ("Brennic").
    std::string ApplicationTitle;
    // Logon data the user gave on the command line: kept as it is instead of the remembered last logon.
    bool KeepSessionValues = false;
    // The registry stand-in; nil uses ConnectSettings().
    IConnectSettings* Settings = nullptr;
    // Set while the component's stored properties are applied: texts then keep the label set.
    bool Loading = false;

    const std::string& Caption() const { return texts_[0]; }
    const std::string& UsernameLabel() const { return texts_[1]; }
    const std::string& PasswordLabel() const { return texts_[2]; }
    const std::string& ServerLabel() const { return texts_[3]; }
    const std::string& ConnectButton() const { return texts_[4]; }
    const std::string& CancelButton() const { return texts_[5]; }
    void SetCaption(const std::string& v) { SetText(0, v); }
    void SetUsernameLabel(const std::string& v) { SetText(1, v); }
    void SetPasswordLabel(const std::string& v) { SetText(2, v); }
    void SetServerLabel(const std::string& v) { SetText(3, v); }
    void SetConnectButton(const std::string& v) { SetText(4, v); }
    void SetCancelButton(const std::string& v) { SetText(5, v); }
    TLabelSet LabelSet() const { return labelSet_; }
    void SetLabelSet(TLabelSet set);

    bool Execute() override;
    // The server list: the history values 1, 2, ... up to the first missing number; in client-library mode
    // with ReadAliases the aliases of tnsnames.ora instead (the client library is loaded first: its home is
    // one of the places the file is looked for; a loading error propagates).
    virtual void GetServerList(std::vector<std::string>& list);
    // The server combo box's items: the server list, and in network mode the aliases of tnsnames.ora that
    // the history does not hold yet. Only the history is written back after a logon.
    void GetServerItems(std::vector<std::string>& list);
    bool NetworkMode() const;

    // "NServer" in network mode, else "Server".
    std::string ServerValueName() const;
    std::string AppKey() const;
    std::string HistoryKey() const;
    // Step 4 of Execute: the last logon and the history, the session's server first and without duplicates.
    void StoreLogon();

protected:
    // Shows the form named by DialogClass (else TConnectForm); true when it closed with OK.
    virtual bool ShowForm();
    IConnectSettings* Store() const;

private:
    void SetText(int i, const std::string& v);
    std::string texts_[6];
    TLabelSet labelSet_ = lsCustom;
};

// The aliases of the tnsnames.ora that TNS_ADMIN, ORACLE_HOME or one of extraHomes holds, for a server
// list; empty when there is none. The same scan resolves an alias at logon.
std::vector<std::string> ReadServerAliases(const std::vector<std::string>& extraHomes = {});
// The Oracle home of a client library file: its folder, or the folder above when that is "lib".
std::string ClientLibraryHome(const std::string& libraryPath);

enum TConnectFocus { cfNone, cfUsername, cfPassword, cfServer };

// What TConnectForm decides, for one modal run.
class TConnectFormLogic {
public:
    explicit TConnectFormLogic(TConnectDialog& dialog);

    TConnectDialog& Dialog() { return dialog_; }
    // The form's start values: server items and the three inputs; InitialFocus is the password input when a
    // user name is there and no password.
    std::vector<std::string> ServerItems;
    std::string Username, Password, Server;
    TConnectFocus InitialFocus = cfNone;

    // The connect action. On a data-access error the counter goes down, the retrying flag is set, ErrorFocus
    // and GiveUp are set, and the error is raised again for the form to show. Other errors pass unchanged.
    void Connect(const std::string& user, const std::string& password, const std::string& server,
                 bool usernameHasFocus);

    // The same connect action with the logon's server calls on a thread of their own, so that the form keeps
    // answering and Cancel can end it. Start and done run on the owning thread (done through poster, once
    // the thread has ended). A failure counts as in Connect and done gets its exception; a cancelled logon
    // counts nothing and leaves the session unconnected.
    enum TOutcome { coConnected, coFailed, coCancelled };
    using TConnectDone = std::function<void(TOutcome, std::exception_ptr)>;
    void StartConnect(const std::string& user, const std::string& password, const std::string& server,
                      bool usernameHasFocus, MainThreadPoster& poster, TConnectDone done);
    bool Connecting() const { return logon_ != nullptr; }
    // Ends a running logon at once; its outcome is coCancelled. Nothing while idle.
    void CancelConnect();
    // For the form going away: cancels a running logon and waits for its thread; its done is dropped.
    void AbandonConnect();
    ~TConnectFormLogic();

    int RetriesLeft() const { return counter_; }
    bool Retrying() const { return retrying_; }
    // The form closes (Cancel) after the error once the retries are used up.
    bool GiveUp() const { return counter_ <= 0; }
    TConnectFocus ErrorFocus = cfNone;

    // 1005: password; 1017: password unless the user name has the focus; 12154, 12203 and the network
    // client's transport failures (1, "NET: ..."): server.
    static TConnectFocus FocusForError(int code, bool usernameHasFocus);

private:
    struct TLogon;
    void Prepare(const std::string& user, const std::string& password, const std::string& server);
    void CountFailure(const EDAError& e, bool usernameHasFocus);
    void FinishLogon();

    TConnectDialog& dialog_;
    int counter_;
    bool retrying_ = false;
    std::unique_ptr<TLogon> logon_;
};
