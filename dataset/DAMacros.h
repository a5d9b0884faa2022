// Text macros in SQL: "&name" is replaced by the macro's value when the final SQL is built.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

class TParser;
class TMacros;

// Creates the lexer that scans SQL for macros (TParser by default, TOraParser for the Oracle components). The
// lexer keeps a pointer to the text, which the caller keeps alive.
using TMacroParserFactory = std::function<std::unique_ptr<TParser>(const char* text)>;

class TMacro {
public:
    explicit TMacro(TMacros* owner, const std::string& name) : owner_(owner), name_(name) {}
    const std::string& Name() const { return name_; }
    const std::string& Value() const { return value_; }
    bool Active() const { return active_; }
    // Changing the value or the active flag re-derives the owner's SQL (unless the list is in a batch
    // update).
    void SetValue(const std::string& value);
    void SetActive(bool value);
    // Typed helpers: a quoted string literal, a number text.
    void SetAsString(const std::string& value);
    void SetAsInteger(int value) { SetValue(std::to_string(value)); }

private:
    friend class TMacros;
    TMacros* owner_;
    std::string name_;
    std::string value_;
    bool active_ = true;
};

class TMacros {
public:
    TMacros();
    ~TMacros();
    TMacros(const TMacros&) = delete;
    TMacros& operator=(const TMacros&) = delete;

    static constexpr char MacroChar = '&';

    int Count() const { return int(items_.size()); }
    TMacro* operator[](int i) const { return items_[size_t(i)].get(); }
    TMacro* Add(const std::string& name);
    void Clear();
    // Case-insensitive; nil when absent.
    TMacro* FindMacro(const std::string& name) const;
    // Raises "Macro %s not found." naming the owner component.
    TMacro* MacroByName(const std::string& name) const;

    // Finds the macros of sql: one per distinct name (case-insensitive); macros of the same name keep their
    // value and active flag, names no longer in the text disappear. Without "&" in the text the list is
    // empty.
    void Scan(const std::string& sql);
    // Replaces every macro reference of sql (see the class comment); runs only when the list holds a macro.
    void Expand(std::string& sql) const;

    // Batch updates: Changed is called once at EndUpdate when something changed meanwhile.
    void BeginUpdate() { ++updateCount_; }
    void EndUpdate();
    bool Updating() const { return updateCount_ > 0; }
    // Tells the owner that the macros changed (deferred while updating).
    void Changed();

    TMacroParserFactory ParserFactory; // TParser when unset
    std::function<void()> OnChanged;   // the owner re-derives its SQL
    std::string OwnerName;             // for error messages

private:
    std::unique_ptr<TParser> MakeParser(const char* text) const;
    std::vector<std::unique_ptr<TMacro>> items_;
    int updateCount_ = 0;
    bool pendingChange_ = false;
};
