// Completion of owners, tables, views and columns in the SQL editor, without a window: the dictionary cache
// of one connection, what the text at the cursor asks for, the tables behind aliases, and the list offered.
// Text is Windows-1252; names compare without regard to case (the dictionary keeps them as the server sends
// them, normally in upper case).
#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <vector>

struct TDictObject {
    std::string owner, name;
    bool view = false;
};

// What the completion knows of one connection's dictionary. Filled in the background, read on the GUI thread
// (the filling thread builds its own cache and hands it over whole).
class TDictionaryCache {
public:
    void SetOwners(std::vector<std::string> owners);
    void SetObjects(std::vector<TDictObject> objects);
    void SetColumns(const std::string& owner, const std::string& table, std::vector<std::string> columns);

    size_t ObjectCount() const { return objects_.size(); }
    bool IsOwner(const std::string& name) const;
    // The object of that name (of owner when not empty); with several owners the first in owner order.
    const TDictObject* FindObject(const std::string& owner, const std::string& name) const;
    // Objects whose name starts with prefix (of owner when not empty), in name order, at most limit.
    std::vector<const TDictObject*> ObjectsByPrefix(const std::string& prefix, const std::string& owner,
                                                    size_t limit) const;
    std::vector<std::string> OwnersByPrefix(const std::string& prefix, size_t limit) const;
    // The columns of a table, when they have been read.
    const std::vector<std::string>* Columns(const std::string& owner, const std::string& table) const;

private:
    std::vector<std::string> owners_;                         // sorted by their upper-case form
    std::vector<TDictObject> objects_;                        // sorted by upper-case name, then owner
    std::vector<std::string> objectKeys_;                     // the upper-case names, parallel to objects_
    std::map<std::string, std::vector<std::string>> columns_; // "OWNER.TABLE" in upper case
};

// What the text in front of the cursor asks for: the word being typed (prefix, starting at start) and the
// name in front of a "." right before it (qualifier; empty without one).
struct TCompletionRequest {
    size_t start = 0;
    std::string prefix;
    std::string qualifier;
};
TCompletionRequest CompletionAt(const std::string& text, size_t cursor);

struct TTableRef {
    std::string owner, table; // owner may be empty
    bool operator==(const TTableRef&) const = default;
};
// The table that a name stands for in the statement: an alias given in a FROM list, a JOIN, an UPDATE or an
// INTO ("from scott.emp e" makes e stand for SCOTT.EMP), or a table named there itself. The definition
// nearest before the cursor wins.
std::optional<TTableRef> ResolveQualifier(const std::string& text, const std::string& qualifier,
                                          size_t cursor);

// The list to offer, and the table whose columns must be read first (then the list is offered again). text is
// the editor's whole text; it is only read for a request with a qualifier (the aliases).
struct TCompletionList {
    std::vector<std::string> items;
    std::optional<TTableRef> columnsNeeded;
};
TCompletionList CompletionItems(const TDictionaryCache& cache, const std::string& text,
                                const TCompletionRequest& request, size_t limit = 200);

// The dictionary statements.
std::string CompletionOwnersSQL();  // field USERNAME
std::string CompletionObjectsSQL(); // OWNER, OBJECT_NAME, OBJECT_TYPE
std::string CompletionColumnsSQL(const std::string& owner, const std::string& table); // COLUMN_NAME
