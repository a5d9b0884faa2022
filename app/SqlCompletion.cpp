#include "app/SqlCompletion.h"

#include "app/EditText.h"
#include "app/SqlHighlight.h"
#include "dataset/OraParser.h"

#include <algorithm>
#include <numeric>

namespace {

bool IsNameChar(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '$' || c == '#' || c >= 128;
}

bool StartsWith(const std::string& s, const std::string& prefix) {
    return s.compare(0, prefix.size(), prefix) == 0;
}

std::string Key(const std::string& owner, const std::string& table) {
    return UpperCase1252(owner) + "." + UpperCase1252(table);
}

// A name as the dictionary keeps it: unquoted names in upper case, quoted ones as written, without quotes.
std::string DictName(const std::string& token) {
    if (token.size() >= 2 && token.front() == '"')
        return token.substr(1, token.size() - (token.back() == '"' ? 2 : 1));
    return UpperCase1252(token);
}

std::string QuoteLiteral(const std::string& s) {
    std::string out = "'";
    for (char c : s) {
        out += c;
        if (c == '\'') out += '\'';
    }
    return out + "'";
}

struct TToken {
    int code;
    std::string text;
    size_t pos;
};

std::vector<TToken> Tokens(const std::string& text) {
    std::string lexable = text;
    for (char& c : lexable) {
        const auto u = static_cast<unsigned char>(c);
        if ((u < 32 && u != 9 && u != 10 && u != 13) || u == 127) c = ' ';
    }
    std::vector<TToken> out;
    TOraParser lexer(lexable);
    lexer.UppercaseKeywords = false;
    lexer.KeepQuotes = true;
    std::string tok;
    for (int code; (code = lexer.GetNextToken(tok)) != lxEnd;)
        out.push_back({code, tok, size_t(lexer.CurrPos()) - tok.size()});
    return out;
}

bool IsWord(const TToken& t, const char* upper) {
    return t.code == lxIdent && UpperCase1252(t.text) == upper;
}

struct TRefDef {
    std::string key; // the alias, or the table when it has none
    TTableRef ref;
    size_t pos;
};

std::vector<TRefDef> TableRefs(const std::string& text) {
    const std::vector<TToken> t = Tokens(text);
    std::vector<TRefDef> refs;
    bool inFrom = false;
    auto isName = [&t](size_t j) { return j < t.size() && t[j].code == lxIdent; };
    for (size_t i = 0; i < t.size(); ++i) {
        const TToken& k = t[i];
        const bool starter = k.code == opFrom || k.code == opUpdate || k.code == opInto ||
                             IsWord(k, "JOIN") || (inFrom && k.code == opComma);
        if (k.code == opFrom) inFrom = true;
        if (k.code == opWhere || k.code == opGroup || k.code == opOrder || k.code == opUnion ||
            k.code == opSelect || IsWord(k, "ON") || IsWord(k, "USING") || IsWord(k, "HAVING") ||
            (k.code == lxSymbol && (k.text == ")" || k.text == ";")))
            inFrom = false;
        if (!starter || !isName(i + 1)) continue;
        size_t j = i + 1;
        TTableRef ref;
        if (j + 2 < t.size() && t[j + 1].code == opDot && isName(j + 2)) {
            ref = {DictName(t[j].text), DictName(t[j + 2].text)};
            j += 3;
        } else if (j + 1 < t.size() && t[j + 1].code == opDot) {
            continue; // "from hr." : an owner, its table still being typed
        } else {
            ref = {"", DictName(t[j].text)};
            j += 1;
        }
        if (j < t.size() && t[j].code == opAs) ++j;
        std::string key = ref.table;
        if (isName(j) && (t[j].text[0] == '"' || !IsSqlKeyword(UpperCase1252(t[j].text))))
            key = DictName(t[j].text);
        refs.push_back({key, ref, t[i + 1].pos});
    }
    return refs;
}

void AddByPrefix(std::vector<std::string>& out, const std::vector<std::string>& names,
                 const std::string& prefix, size_t limit) {
    const std::string p = UpperCase1252(prefix);
    for (const std::string& n : names)
        if (out.size() < limit && StartsWith(UpperCase1252(n), p)) out.push_back(n);
}

} // namespace

void TDictionaryCache::SetOwners(std::vector<std::string> owners) {
    std::sort(owners.begin(), owners.end(),
              [](const std::string& a, const std::string& b) { return UpperCase1252(a) < UpperCase1252(b); });
    owners_ = std::move(owners);
}

void TDictionaryCache::SetObjects(std::vector<TDictObject> objects) {
    std::vector<std::string> keys(objects.size());
    for (size_t i = 0; i < objects.size(); ++i)
        keys[i] = UpperCase1252(objects[i].name);
    std::vector<size_t> order(objects.size());
    std::iota(order.begin(), order.end(), size_t(0));
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        if (keys[a] != keys[b]) return keys[a] < keys[b];
        return objects[a].owner < objects[b].owner;
    });
    objects_.clear();
    objectKeys_.clear();
    objects_.reserve(order.size());
    objectKeys_.reserve(order.size());
    for (size_t i : order) {
        objects_.push_back(std::move(objects[i]));
        objectKeys_.push_back(std::move(keys[i]));
    }
}

void TDictionaryCache::SetColumns(const std::string& owner, const std::string& table,
                                  std::vector<std::string> columns) {
    columns_[Key(owner, table)] = std::move(columns);
}

bool TDictionaryCache::IsOwner(const std::string& name) const {
    const std::string u = UpperCase1252(name);
    auto it =
        std::lower_bound(owners_.begin(), owners_.end(), u,
                         [](const std::string& a, const std::string& b) { return UpperCase1252(a) < b; });
    return it != owners_.end() && UpperCase1252(*it) == u;
}

const TDictObject* TDictionaryCache::FindObject(const std::string& owner, const std::string& name) const {
    const std::string u = UpperCase1252(name);
    const std::string o = UpperCase1252(owner);
    auto [lo, hi] = std::equal_range(objectKeys_.begin(), objectKeys_.end(), u);
    for (auto it = lo; it != hi; ++it) {
        const TDictObject& obj = objects_[size_t(it - objectKeys_.begin())];
        if (o.empty() || UpperCase1252(obj.owner) == o) return &obj;
    }
    return nullptr;
}

std::vector<const TDictObject*>
TDictionaryCache::ObjectsByPrefix(const std::string& prefix, const std::string& owner, size_t limit) const {
    std::vector<const TDictObject*> out;
    const std::string p = UpperCase1252(prefix);
    const std::string o = UpperCase1252(owner);
    for (auto it = std::lower_bound(objectKeys_.begin(), objectKeys_.end(), p);
         it != objectKeys_.end() && out.size() < limit && StartsWith(*it, p); ++it) {
        const TDictObject& obj = objects_[size_t(it - objectKeys_.begin())];
        if (o.empty() || UpperCase1252(obj.owner) == o) out.push_back(&obj);
    }
    return out;
}

std::vector<std::string> TDictionaryCache::OwnersByPrefix(const std::string& prefix, size_t limit) const {
    std::vector<std::string> out;
    AddByPrefix(out, owners_, prefix, limit);
    return out;
}

const std::vector<std::string>* TDictionaryCache::Columns(const std::string& owner,
                                                          const std::string& table) const {
    auto it = columns_.find(Key(owner, table));
    return it == columns_.end() ? nullptr : &it->second;
}

TCompletionRequest CompletionAt(const std::string& text, size_t cursor) {
    TCompletionRequest r;
    cursor = std::min(cursor, text.size());
    size_t start = cursor;
    while (start > 0 && IsNameChar(static_cast<unsigned char>(text[start - 1])))
        --start;
    r.start = start;
    r.prefix = text.substr(start, cursor - start);
    if (start > 0 && text[start - 1] == '.') {
        size_t q = start - 1;
        while (q > 0 && IsNameChar(static_cast<unsigned char>(text[q - 1])))
            --q;
        r.qualifier = text.substr(q, start - 1 - q);
    }
    return r;
}

std::optional<TTableRef> ResolveQualifier(const std::string& text, const std::string& qualifier,
                                          size_t cursor) {
    const std::string q = UpperCase1252(qualifier);
    std::optional<TRefDef> best;
    for (const TRefDef& d : TableRefs(text)) {
        if (UpperCase1252(d.key) != q) continue;
        // The nearest definition before the cursor; one after it only when there is none before.
        if (!best || (d.pos < cursor && (best->pos >= cursor || d.pos > best->pos))) best = d;
    }
    if (best) return best->ref;
    return std::nullopt;
}

TCompletionList CompletionItems(const TDictionaryCache& cache, const std::string& text,
                                const TCompletionRequest& request, size_t limit) {
    TCompletionList list;
    if (!request.qualifier.empty()) {
        std::optional<TTableRef> ref = ResolveQualifier(text, request.qualifier, request.start);
        // A table named directly ("emp." without any FROM) is a table too.
        if (!ref && cache.FindObject("", request.qualifier))
            ref = TTableRef{"", UpperCase1252(request.qualifier)};
        if (ref) {
            if (const TDictObject* obj = cache.FindObject(ref->owner, ref->table))
                ref = TTableRef{obj->owner, obj->name};
            if (const auto* cols = cache.Columns(ref->owner, ref->table))
                AddByPrefix(list.items, *cols, request.prefix, limit);
            else
                list.columnsNeeded = ref;
            return list;
        }
        if (cache.IsOwner(request.qualifier))
            for (const TDictObject* o : cache.ObjectsByPrefix(request.prefix, request.qualifier, limit))
                list.items.push_back(o->name);
        return list;
    }
    for (const TDictObject* o : cache.ObjectsByPrefix(request.prefix, "", limit))
        if (list.items.empty() || list.items.back() != o->name) list.items.push_back(o->name);
    for (std::string& owner : cache.OwnersByPrefix(request.prefix, limit))
        if (std::find(list.items.begin(), list.items.end(), owner) == list.items.end())
            list.items.push_back(std::move(owner));
    std::sort(list.items.begin(), list.items.end());
    if (list.items.size() > limit) list.items.resize(limit);
    return list;
}

std::string CompletionOwnersSQL() {
    return "select USERNAME from ALL_USERS order by USERNAME";
}

std::string CompletionObjectsSQL() {
    return "select OWNER, OBJECT_NAME, OBJECT_TYPE from ALL_OBJECTS where OBJECT_TYPE in ('TABLE', 'VIEW')";
}

std::string CompletionColumnsSQL(const std::string& owner, const std::string& table) {
    std::string sql = "select COLUMN_NAME from ALL_TAB_COLUMNS where TABLE_NAME = " + QuoteLiteral(table);
    if (!owner.empty()) sql += " and OWNER = " + QuoteLiteral(owner);
    return sql + " order by COLUMN_ID";
}
