#include "dataset/DAMacros.h"
#include "dataset/StrUtil.h"

#include "dataset/DAError.h"
#include "dataset/QxParser.h"

namespace {

// A token that can name a macro: an identifier or a keyword of the lexer's table.
bool IsNameToken(const TParser& p, int code) {
    return code == lxIdent || code > p.SymbolCount();
}

} // namespace

void TMacro::SetValue(const std::string& value) {
    if (value == value_) return;
    value_ = value;
    owner_->Changed();
}

void TMacro::SetActive(bool value) {
    if (value == active_) return;
    active_ = value;
    owner_->Changed();
}

void TMacro::SetAsString(const std::string& value) {
    std::string q = "'";
    for (char c : value) {
        q += c;
        if (c == '\'') q += '\'';
    }
    SetValue(q + "'");
}

TMacros::TMacros() = default;
TMacros::~TMacros() = default;

TMacro* TMacros::Add(const std::string& name) {
    items_.push_back(std::make_unique<TMacro>(this, name));
    Changed();
    return items_.back().get();
}

void TMacros::Clear() {
    if (items_.empty()) return;
    items_.clear();
    Changed();
}

TMacro* TMacros::FindMacro(const std::string& name) const {
    for (auto& m : items_)
        if (SameText(m->name_, name)) return m.get();
    return nullptr;
}

TMacro* TMacros::MacroByName(const std::string& name) const {
    if (TMacro* m = FindMacro(name)) return m;
    std::string msg = FormatMsg(SMacroNotFound, {name});
    throw EDatabaseError(OwnerName.empty() ? msg : OwnerName + ": " + msg);
}

void TMacros::EndUpdate() {
    if (updateCount_ > 0 && --updateCount_ == 0 && pendingChange_) {
        pendingChange_ = false;
        if (OnChanged) OnChanged();
    }
}

void TMacros::Changed() {
    if (updateCount_ > 0) {
        pendingChange_ = true;
        return;
    }
    if (OnChanged) OnChanged();
}

std::unique_ptr<TParser> TMacros::MakeParser(const char* text) const {
    if (ParserFactory) return ParserFactory(text);
    return std::make_unique<TParser>(text);
}

void TMacros::Scan(const std::string& sql) {
    std::vector<std::unique_ptr<TMacro>> found;
    if (sql.find(MacroChar) != std::string::npos) {
        std::unique_ptr<TParser> p = MakeParser(sql.c_str());
        p->OmitBlank = false;
        p->OmitComment = false;
        p->UppercaseKeywords = false;
        std::string tok;
        int code;
        while ((code = p->GetNextToken(tok)) != lxEnd) {
            if (tok != "&") continue;
            std::string name;
            code = p->GetNextToken(tok);
            if (code == lxEnd) break;
            if (!IsNameToken(*p, code)) {
                p->StepBack(); // the token after a lone "&" may itself be an "&"
                continue;
            }
            bool known = false;
            for (auto& m : found)
                known = known || SameText(m->name_, tok);
            if (known) continue;
            auto m = std::make_unique<TMacro>(this, tok);
            if (TMacro* old = FindMacro(tok)) {
                m->value_ = old->value_;
                m->active_ = old->active_;
            }
            found.push_back(std::move(m));
        }
    }
    bool same = found.size() == items_.size();
    for (size_t i = 0; same && i < found.size(); ++i)
        same = found[i]->name_ == items_[i]->name_;
    items_ = std::move(found);
    if (!same) Changed();
}

void TMacros::Expand(std::string& sql) const {
    if (items_.empty()) return;
    std::unique_ptr<TParser> p = MakeParser(sql.c_str());
    p->OmitBlank = false;
    p->OmitComment = false;
    p->UppercaseKeywords = false;
    p->KeepQuotes = true;
    std::string out;
    out.reserve(sql.size());
    std::string tok;
    int code;
    int copiedTo = 0; // the text between tokens the lexer skipped is copied as it stands
    auto copyTo = [&](int pos) {
        if (pos > copiedTo) out.append(sql, size_t(copiedTo), size_t(pos - copiedTo));
        copiedTo = std::max(copiedTo, pos);
    };
    while ((code = p->GetNextToken(tok)) != lxEnd) {
        if (tok != "&") {
            copyTo(p->CurrPos());
            continue;
        }
        // Drop the "&" itself.
        copyTo(p->CurrPos() - 1);
        copiedTo = p->CurrPos();
        int next = p->GetNextToken(tok);
        if (next == lxEnd) break;
        if (IsNameToken(*p, next)) {
            if (TMacro* m = FindMacro(tok)) {
                if (m->active_) out += m->value_;
                copiedTo = p->CurrPos();
                continue;
            }
        }
        p->StepBack();
    }
    copyTo(int(sql.size()));
    sql = std::move(out);
}
