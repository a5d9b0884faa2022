#include "oranet/TnsNames.h"

#include <cstdlib>
#include <fstream>
#include <set>
#include <sys/stat.h>

namespace oranet {

namespace {

char Upper(char c) {
    return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c;
}

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Upper(a[i]) != Upper(b[i])) return false;
    return true;
}

// The name without a trailing ".WORLD", the default domain of old installations.
std::string_view WithoutWorld(std::string_view name) {
    constexpr std::string_view world = ".WORLD";
    if (name.size() > world.size() && SameName(name.substr(name.size() - world.size()), world))
        return name.substr(0, name.size() - world.size());
    return name;
}

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

bool IsNameChar(char c) {
    return !IsSpace(c) && c != '(' && c != ')' && c != '=' && c != ',' && c != '#';
}

std::string EnvValue(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

std::string JoinPath(std::string folder, const char* tail) {
    if (!folder.empty() && folder.back() != '/') folder += '/';
    return folder + tail;
}

bool IsRegularFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// One pass over the text: a position that only moves forward.
class TScanner {
public:
    explicit TScanner(std::string_view text) : t_(text) {}
    bool AtEnd() const { return p_ >= t_.size(); }
    char Peek() const { return t_[p_]; }
    size_t Pos() const { return p_; }
    void Next() { ++p_; }
    // Skips white space and comments.
    void SkipBlank() {
        while (p_ < t_.size()) {
            if (IsSpace(t_[p_])) {
                ++p_;
            } else if (t_[p_] == '#') {
                while (p_ < t_.size() && t_[p_] != '\n')
                    ++p_;
            } else {
                break;
            }
        }
    }
    std::string Name() {
        size_t start = p_;
        while (p_ < t_.size() && IsNameChar(t_[p_]))
            ++p_;
        return std::string(t_.substr(start, p_ - start));
    }
    // From an opening parenthesis to its partner. Comments inside are dropped, quoted text is kept as it
    // stands. False when the text ends first (value then holds what there was).
    bool Group(std::string& value) {
        int depth = 0;
        bool quoted = false;
        while (p_ < t_.size()) {
            char c = t_[p_];
            if (quoted) {
                value += c;
                ++p_;
                if (c == '"') quoted = false;
                continue;
            }
            if (c == '#') {
                while (p_ < t_.size() && t_[p_] != '\n')
                    ++p_;
                continue;
            }
            value += c;
            ++p_;
            if (c == '"') {
                quoted = true;
            } else if (c == '(') {
                ++depth;
            } else if (c == ')') {
                if (--depth == 0) return true;
            }
        }
        return false;
    }
    // The rest of the line, trimmed (an IFILE's file name).
    std::string LineValue() {
        size_t start = p_;
        while (p_ < t_.size() && t_[p_] != '\n' && t_[p_] != '#')
            ++p_;
        std::string_view v = t_.substr(start, p_ - start);
        while (!v.empty() && IsSpace(v.back()))
            v.remove_suffix(1);
        return std::string(v);
    }

private:
    std::string_view t_;
    size_t p_ = 0;
};

} // namespace

std::vector<TTnsFolder> TnsAdminFolders(const std::vector<std::string>& extraHomes) {
    std::vector<TTnsFolder> folders;
    std::string tnsAdmin = EnvValue("TNS_ADMIN");
    if (!tnsAdmin.empty()) folders.push_back({tnsAdmin, "TNS_ADMIN"});
    std::string home = EnvValue("ORACLE_HOME");
    if (!home.empty()) folders.push_back({JoinPath(home, "network/admin"), "ORACLE_HOME"});
    for (const std::string& h : extraHomes) {
        if (h.empty()) continue;
        std::string f = JoinPath(h, "network/admin");
        bool known = false;
        for (const TTnsFolder& k : folders)
            known = known || k.path == f;
        if (!known) folders.push_back({f, "Oracle-Client"});
    }
    return folders;
}

TTnsFile LoadTnsNames(const std::vector<TTnsFolder>& folders) {
    TTnsFile file;
    for (const TTnsFolder& folder : folders) {
        file.searched.push_back(folder);
        std::string path = JoinPath(folder.path, "tnsnames.ora");
        if (!IsRegularFile(path)) continue;
        file.path = path;
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            file.unreadable = true;
            return file;
        }
        std::string text(MaxTnsFileBytes, '\0');
        in.read(text.data(), std::streamsize(text.size()));
        text.resize(size_t(in.gcount()));
        if (text.size() == MaxTnsFileBytes && in.peek() != std::char_traits<char>::eof())
            file.truncated = true;
        file.entries = ScanTnsNames(text);
        return file;
    }
    return file;
}

std::vector<TTnsEntry> ScanTnsNames(std::string_view text) {
    std::vector<TTnsEntry> entries;
    TScanner s(text);
    std::vector<std::string> names;
    for (;;) {
        s.SkipBlank();
        if (s.AtEnd()) break;
        char c = s.Peek();
        if (c == ',') {
            s.Next();
        } else if (c == ')') {
            // A stray parenthesis between entries: skipped, the next entry still counts.
            s.Next();
            names.clear();
        } else if (c == '(') {
            // A value without "name =": dropped with whatever names came before it.
            std::string ignored;
            s.Group(ignored);
            names.clear();
        } else if (c == '=') {
            s.Next();
            s.SkipBlank();
            TTnsEntry e;
            e.names = std::move(names);
            names.clear();
            if (!s.AtEnd() && s.Peek() == '(')
                e.complete = s.Group(e.value);
            else
                e.value = s.LineValue();
            if (!e.names.empty()) entries.push_back(std::move(e));
        } else {
            std::string n = s.Name();
            if (n.empty()) {
                s.Next(); // cannot happen: every other character is part of a name; never stand still
                continue;
            }
            names.push_back(std::move(n));
        }
    }
    return entries;
}

const TTnsEntry* FindTnsAlias(const TTnsFile& file, std::string_view name) {
    if (name.empty() || SameName(name, "IFILE")) return nullptr;
    for (const TTnsEntry& e : file.entries)
        for (const std::string& n : e.names)
            if (SameName(n, name) || SameName(WithoutWorld(n), name)) return &e;
    return nullptr;
}

std::vector<std::string> TnsAliasNames(const TTnsFile& file) {
    std::vector<std::string> list;
    std::set<std::string> seen; // upper-case
    for (const TTnsEntry& e : file.entries)
        for (const std::string& n : e.names) {
            if (SameName(n, "IFILE")) continue;
            std::string_view shown = WithoutWorld(n);
            std::string key(shown);
            for (char& c : key)
                c = Upper(c);
            if (seen.insert(key).second) list.emplace_back(shown);
        }
    return list;
}

std::string DescribeTnsSearch(const TTnsFile& file) {
    if (file.searched.empty()) return "weder TNS_ADMIN noch ORACLE_HOME ist gesetzt";
    std::string s;
    for (const TTnsFolder& f : file.searched) {
        if (!s.empty()) s += ", ";
        s += JoinPath(f.path, "tnsnames.ora") + " (" + f.origin + ")";
    }
    return s;
}

} // namespace oranet
