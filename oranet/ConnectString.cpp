#include "oranet/ConnectString.h"

#include "oranet/NetErrors.h"
#include "oranet/TnsNames.h"

#include <vector>

namespace oranet {

namespace {

// Windows-1252 quotation marks around a piece of the user's text.
std::string Q(std::string_view s) {
    return "\x84" + std::string(s) + "\x93";
}

char Upper(char c) {
    return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c;
}

bool SameKeyword(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Upper(a[i]) != Upper(b[i])) return false;
    return true;
}

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsSpace(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsSpace(s.back()))
        s.remove_suffix(1);
    return s;
}

// Host, service, SID and instance go into the descriptor as they stand: nothing that would change its
// structure may be in them.
void CheckPart(const char* what, std::string_view value, std::string_view text) {
    for (char c : value) {
        unsigned char u = static_cast<unsigned char>(c);
        if (c == '(' || c == ')' || c == '=' || c == '"' || c == '?' || c == '\'' || IsSpace(c) || u < 0x20 ||
            u == 0x7F)
            throw EConnectString(std::string("Unzul\xE4ssiges Zeichen in ") + what + " " + Q(value) + " in " +
                                 Q(text));
    }
}

int ParsePort(std::string_view port, std::string_view text) {
    bool ok = !port.empty() && port.size() <= 5;
    long v = 0;
    for (char c : port) {
        ok = ok && c >= '0' && c <= '9';
        if (ok) v = v * 10 + (c - '0');
    }
    if (!ok || v < 1 || v > 65535)
        throw EConnectString("Ung\xFCltiger Port " + Q(port) + " in " + Q(text) +
                             ": erwartet wird eine Zahl von 1 bis 65535");
    return int(v);
}

// ---- Connect descriptors: a tree of (NAME=value) and (NAME=(...)(...)) ----

struct TNvPair {
    std::string name;
    std::string value;
    std::vector<TNvPair> list;
    const TNvPair* Find(std::string_view key) const {
        for (const TNvPair& p : list)
            if (SameKeyword(p.name, key)) return &p;
        return nullptr;
    }
    std::string Value(std::string_view key) const {
        const TNvPair* p = Find(key);
        return p ? p->value : std::string();
    }
};

constexpr size_t MaxDescriptorChars = 16384;
constexpr int MaxDepth = 16;
constexpr int MaxPairs = 2000;

class TNvParser {
public:
    explicit TNvParser(std::string_view text) : t_(text) {}

    TNvPair Parse() {
        if (t_.size() > MaxDescriptorChars)
            Fail("zu lang (" + std::to_string(t_.size()) +
                 " Zeichen, h\xF6"
                 "chstens " +
                 std::to_string(MaxDescriptorChars) + ")");
        Blank();
        if (AtEnd() || t_[p_] != '(') Fail("sie muss mit " + Q("(") + " beginnen");
        TNvPair top = Pair(1);
        Blank();
        if (!AtEnd()) {
            if (t_[p_] == ')')
                Fail("Klammern nicht ausgeglichen: \xFC"
                     "bers\xE4tzliches " +
                     Q(")") + At());
            Fail("Text nach der letzten schlie\xDF"
                 "enden Klammer" +
                 At());
        }
        return top;
    }

private:
    [[noreturn]] void Fail(const std::string& what) const {
        throw EConnectString("Verbindungsbeschreibung: " + what);
    }
    std::string At() const { return " an Stelle " + std::to_string(p_ + 1); }
    bool AtEnd() const { return p_ >= t_.size(); }
    void Blank() {
        while (!AtEnd() && IsSpace(t_[p_]))
            ++p_;
    }
    void Expect(char c, const std::string& after) {
        Blank();
        if (AtEnd()) {
            if (c == ')') Fail("Klammern nicht ausgeglichen: " + Q(")") + " fehlt am Ende");
            Fail(Q(std::string(1, c)) + " fehlt nach " + Q(after) + " am Ende");
        }
        if (t_[p_] != c) Fail(Q(std::string(1, c)) + " fehlt nach " + Q(after) + At());
        ++p_;
    }

    TNvPair Pair(int depth) {
        if (depth > MaxDepth) Fail("zu tief verschachtelt" + At());
        if (++pairs_ > MaxPairs) Fail("zu viele Eintr\xE4ge");
        ++p_; // "("
        Blank();
        TNvPair pair;
        size_t start = p_;
        while (!AtEnd() && !IsSpace(t_[p_]) && t_[p_] != '=' && t_[p_] != '(' && t_[p_] != ')')
            ++p_;
        pair.name = std::string(t_.substr(start, p_ - start));
        if (pair.name.empty()) {
            if (AtEnd()) Fail("Klammern nicht ausgeglichen: " + Q(")") + " fehlt am Ende");
            Fail("Name fehlt nach " + Q("(") + At());
        }
        Expect('=', pair.name);
        Blank();
        if (!AtEnd() && t_[p_] == '(') {
            while (!AtEnd() && t_[p_] == '(') {
                pair.list.push_back(Pair(depth + 1));
                Blank();
            }
        } else if (!AtEnd() && t_[p_] == '"') {
            size_t close = t_.find('"', p_ + 1);
            if (close == std::string_view::npos) Fail("Anf\xFChrungszeichen nicht geschlossen" + At());
            pair.value = std::string(t_.substr(p_ + 1, close - p_ - 1));
            p_ = close + 1;
        } else {
            size_t vstart = p_;
            while (!AtEnd() && t_[p_] != ')' && t_[p_] != '(')
                ++p_;
            if (!AtEnd() && t_[p_] == '(')
                Fail("unerwartetes " + Q("(") + " im Wert von " + pair.name + At());
            pair.value = std::string(Trim(t_.substr(vstart, p_ - vstart)));
        }
        Expect(')', pair.name);
        return pair;
    }

    std::string_view t_;
    size_t p_ = 0;
    int pairs_ = 0;
};

// The ADDRESS entries of a description in their order, ADDRESS_LIST members in place.
void CollectAddresses(const TNvPair& description, std::vector<const TNvPair*>& out) {
    for (const TNvPair& p : description.list) {
        if (SameKeyword(p.name, "ADDRESS"))
            out.push_back(&p);
        else if (SameKeyword(p.name, "ADDRESS_LIST"))
            CollectAddresses(p, out);
    }
}

std::string NotAnAliasNote(const TTnsFile& f) {
    if (!f.path.empty()) {
        std::string note = "kein Eintrag in " + f.path;
        if (f.unreadable) note += " (nicht lesbar)";
        if (f.truncated) note += " (nur das erste MiB gelesen)";
        return note;
    }
    if (f.searched.empty()) return "weder TNS_ADMIN noch ORACLE_HOME ist gesetzt";
    return "keine tnsnames.ora in " + DescribeTnsSearch(f);
}

TConnectAddress FromAlias(const std::string& name, const TTnsEntry& e, const TTnsFile& file) {
    const std::string where = "Alias " + Q(name) + " in " + file.path + ": ";
    if (!e.complete)
        throw EConnectString(where + "Klammern nicht ausgeglichen (die Datei endet vor der schlie\xDF"
                                     "enden "
                                     "Klammer)");
    std::string_view v = Trim(e.value);
    if (v.empty() || v.front() != '(') throw EConnectString(where + "keine Verbindungsbeschreibung");
    TConnectAddress a;
    try {
        a = ParseDescriptor(v);
    } catch (const EConnectString& x) {
        throw EConnectString(where + x.what());
    }
    a.alias = name;
    a.aliasFile = file.path;
    return a;
}

TConnectAddress ParseEasyConnect(const std::string& text) {
    std::string_view s = Trim(text);
    if (s.substr(0, 2) == "//") s.remove_prefix(2);
    size_t slash = s.find('/');
    std::string_view hostPort = s.substr(0, slash);
    std::string_view rest = slash == std::string_view::npos ? std::string_view() : s.substr(slash + 1);
    TConnectAddress a;
    a.sid.clear();
    if (!hostPort.empty() && hostPort.front() == '[')
        throw EConnectString("IPv6-Adressen werden nicht unterst\xFCtzt: " + Q(text));
    size_t colon = hostPort.find(':');
    std::string_view host = hostPort.substr(0, colon);
    if (host.empty()) throw EConnectString("Host fehlt in " + Q(text));
    CheckPart("Host", host, text);
    a.host = std::string(host);
    a.port = colon == std::string_view::npos ? 1521 : ParsePort(hostPort.substr(colon + 1), text);
    // service[:server][/instance]
    size_t instSlash = rest.find('/');
    std::string_view serviceServer = rest.substr(0, instSlash);
    std::string_view instance =
        instSlash == std::string_view::npos ? std::string_view() : rest.substr(instSlash + 1);
    size_t serverColon = serviceServer.find(':');
    std::string_view service = serviceServer.substr(0, serverColon);
    if (service.empty()) throw EConnectString("Dienstname fehlt in " + Q(text));
    CheckPart("Dienstname", service, text);
    a.serviceName = std::string(service);
    if (serverColon != std::string_view::npos) {
        std::string_view server = serviceServer.substr(serverColon + 1);
        if (!SameKeyword(server, "DEDICATED") && !SameKeyword(server, "SHARED") &&
            !SameKeyword(server, "POOLED"))
            throw EConnectString("Unbekannte Serverart " + Q(server) + " in " + Q(text) +
                                 " (erlaubt: dedicated, shared, pooled)");
        std::string upper(server);
        for (char& c : upper)
            c = Upper(c);
        a.connectDataExtra += "(SERVER=" + upper + ")";
    }
    if (instSlash != std::string_view::npos) {
        if (instance.empty()) throw EConnectString("Instanzname fehlt in " + Q(text));
        CheckPart("Instanzname", instance, text);
        a.connectDataExtra += "(INSTANCE_NAME=" + std::string(instance) + ")";
    }
    return a;
}

} // namespace

// ---------------------------------------------------------------------------------------------------------

void ParseServerString(const std::string& s, std::string& host, int& port, std::string& sid) {
    host = "local";
    port = 1521;
    sid = "orcl";
    if (s.empty()) return;
    size_t colon = s.find(':');
    if (colon == std::string::npos) {
        host = s;
        return;
    }
    if (colon > 0) host = s.substr(0, colon);
    std::string rest = s.substr(colon + 1);
    std::string portText;
    size_t colon2 = rest.find(':');
    if (colon2 != std::string::npos) {
        portText = rest.substr(0, colon2);
        std::string after = rest.substr(colon2 + 1);
        if (!after.empty()) sid = after;
    } else {
        portText = rest;
    }
    if (!portText.empty()) {
        try {
            port = StrToInt(portText);
        } catch (const EConvertError&) {
            throw std::runtime_error("Invalid port");
        }
    }
}

std::string ConnectData(const TConnectAddress& a, std::string_view more) {
    std::string d = a.ByService() ? "(SERVICE_NAME=" + a.serviceName + ")" : "(SID=" + a.sid + ")";
    d += a.connectDataExtra;
    d += more;
    return d;
}

std::string ConnectDescriptor(const TConnectAddress& a, std::string_view moreConnectData) {
    return "(DESCRIPTION=(ADDRESS=(PROTOCOL=tcp)(HOST=" + a.host + ")(PORT=" + std::to_string(a.port) +
           "))(CONNECT_DATA=" + ConnectData(a, moreConnectData) + "))";
}

TConnectAddress ParseDescriptor(std::string_view text) {
    TNvPair top = TNvParser(text).Parse();
    const TNvPair* description = &top;
    if (SameKeyword(top.name, "DESCRIPTION_LIST")) {
        description = top.Find("DESCRIPTION");
        if (!description)
            throw EConnectString("Verbindungsbeschreibung: DESCRIPTION fehlt in DESCRIPTION_LIST");
    } else if (!SameKeyword(top.name, "DESCRIPTION")) {
        throw EConnectString("Verbindungsbeschreibung: sie muss mit (DESCRIPTION= beginnen, nicht mit (" +
                             top.name + "=");
    }
    std::vector<const TNvPair*> addresses;
    CollectAddresses(*description, addresses);
    if (addresses.empty()) throw EConnectString("Verbindungsbeschreibung: ADDRESS fehlt");
    const TNvPair* tcp = nullptr;
    std::string otherProtocol;
    for (const TNvPair* ad : addresses) {
        std::string protocol = ad->Value("PROTOCOL");
        if (SameKeyword(protocol, "TCP")) {
            tcp = ad;
            break;
        }
        if (otherProtocol.empty()) otherProtocol = protocol.empty() ? "(keines)" : protocol;
    }
    if (!tcp) {
        if (SameKeyword(otherProtocol, "TCPS"))
            throw EConnectString("Verbindungsbeschreibung: PROTOCOL=TCPS (TLS) wird nicht unterst\xFCtzt, "
                                 "nur TCP");
        throw EConnectString("Verbindungsbeschreibung: keine TCP-Adresse (Protokoll " + otherProtocol +
                             " wird nicht unterst\xFCtzt)");
    }
    TConnectAddress a;
    a.sid.clear();
    a.host = tcp->Value("HOST");
    if (a.host.empty()) throw EConnectString("Verbindungsbeschreibung: HOST fehlt in der Adresse");
    const std::string where = "der Verbindungsbeschreibung";
    CheckPart("HOST", a.host, where);
    if (const TNvPair* port = tcp->Find("PORT")) a.port = ParsePort(port->value, "PORT=" + port->value);
    const TNvPair* data = description->Find("CONNECT_DATA");
    if (!data) throw EConnectString("Verbindungsbeschreibung: CONNECT_DATA fehlt");
    a.serviceName = data->Value("SERVICE_NAME");
    if (a.serviceName.empty()) {
        a.sid = data->Value("SID");
        if (a.sid.empty())
            throw EConnectString("Verbindungsbeschreibung: CONNECT_DATA nennt weder SERVICE_NAME noch SID");
        CheckPart("SID", a.sid, where);
    } else {
        CheckPart("SERVICE_NAME", a.serviceName, where);
    }
    // The parameters a listener acts on are kept; everything else (CID, FAILOVER_MODE, ...) is dropped.
    for (const char* key : {"SERVER", "INSTANCE_NAME"}) {
        std::string v = data->Value(key);
        if (v.empty()) continue;
        CheckPart(key, v, where);
        a.connectDataExtra += std::string("(") + key + "=" + v + ")";
    }
    return a;
}

TConnectAddress ParseServerText(const std::string& text, const TTnsFile& aliases) {
    std::string_view trimmed = Trim(text);
    if (!trimmed.empty() && trimmed.front() == '(') return ParseDescriptor(trimmed);
    if (text.find('/') != std::string::npos) return ParseEasyConnect(text);
    TConnectAddress a;
    if (text.find(':') != std::string::npos || text.empty()) {
        ParseServerString(text, a.host, a.port, a.sid);
        return a;
    }
    if (const TTnsEntry* e = FindTnsAlias(aliases, text)) return FromAlias(text, *e, aliases);
    ParseServerString(text, a.host, a.port, a.sid);
    a.notAnAlias = NotAnAliasNote(aliases);
    return a;
}

TConnectAddress ResolveServerString(const std::string& text) {
    bool plainName = !text.empty() && text.find_first_of(":/(") == std::string::npos;
    if (!plainName) return ParseServerText(text, TTnsFile{});
    return ParseServerText(text, LoadTnsNames(TnsAdminFolders()));
}

std::string UnknownNameMessage(const std::string& name, const TConnectAddress& a) {
    return "Unbekannter Alias " + Q(name) + " (" + a.notAnAlias + "), und als Host ist " + Q(name) +
           " nicht auffindbar";
}

} // namespace oranet
