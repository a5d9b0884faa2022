// The statement texts of the schema browser panel and of the Ziziv Ovod IZ table workbench, and the
// workbench's generated write statements with the key-column choice. No window code: the windows only wire
// these. All texts are Windows-1252; the generated statements separate their lines with a single carriage
// return.
#pragma once

#include <string>
#include <vector>

namespace schema {

// The first item of both owner boxes.
extern const char* const kAllOwners; // "*ALLE*"

// ---- Owner and table lists ----
std::string OwnerListSQL();                         // "select distinct OWNER from SYS.DBA_TABLES"
std::string TableListSQL(const std::string& owner); // every table for kAllOwners, else the owner's
extern const char* const kOwnerField;               // "OWNER"
extern const char* const kTableField;               // "TABLENAME"

// A list item OWNER.TABLE_NAME split at its first "."; without a "." the whole item is the table.
struct TTableItem {
    std::string owner, table;
};
TTableItem SplitTableItem(const std::string& item);

// ---- Names inside statements ----
// A name inside a quoted literal: its quotes doubled (an ordinary name stays as it is).
std::string LiteralText(const std::string& name);
// A name as an identifier: an ordinary name (upper-case letter, then upper-case letters, digits, "_", "$",
// "#") as it is, any other in double quotes with its double quotes doubled.
std::string IdentifierText(const std::string& name);
// A list item as a table reference: owner and table each as an identifier, joined by ".". SCOTT.EMP stays
// byte for byte; SCOTT.my table becomes SCOTT."my table".
std::string TableRefText(const std::string& item);

// ---- The dictionary statements (owner and table inserted as listed, quoted where they must be) ----
std::string ContentSQL(const std::string& item); // "Select * from " + item
std::string DescSQL(const std::string& owner, const std::string& table);
std::string CountSQL(const std::string& owner, const std::string& table);
std::string IndexSQL(const std::string& table);      // owner not used
std::string ConstraintSQL(const std::string& table); // foreign keys that reference the table
std::string TriggerSQL(const std::string& table);

// The six buttons of the panel, left to right.
enum class TBrowserButton { Inhalt, Desc, Anz, Idx, Constr, Trig };
std::string ButtonSQL(TBrowserButton button, const std::string& item);

// ---- The workbench's tabs ----
enum TQuickViewTab : int {
    tabInhalt = 0,
    tabBeschreibung,
    tabAnzahl,
    tabIndex,
    tabConstraints,
    tabTrigger,
    tabAendern,
    tabSQL,
    tabCount
};
const char* TabCaption(int tab); // Windows-1252
// The statement a tab runs on the list item.
std::string TabSQL(int tab, const std::string& item);

// Status line after the table query: "Anweisung verarbeitet" when a result was opened (negative count), else
// "%d Datensätze verarbeitet!".
std::string WorkbenchStatus(int rowsAffected);

// ---- Generated statements of the workbench ----
// Built from the result's field names when a table is chosen; the key columns follow the ticked items of the
// whole check list, in list order, in both key clauses.
class TWorkbenchStatements {
public:
    // Builds the set, column and value lists and the two initial key clauses (the first field as key).
    void SetTable(const std::string& table, const std::vector<std::string>& fieldNames);
    // The ticked state of every item of the key list, in list order. Returns false (statements unchanged)
    // when nothing is ticked; otherwise rebuilds the modify and delete statements (the insert stays).
    bool ApplyKeys(const std::vector<bool>& ticked);

    const std::string& Table() const { return table_; }
    const std::string& SetList() const { return setList_; }
    const std::string& ColumnList() const { return columnList_; }
    const std::string& ValueList() const { return valueList_; }
    const std::string& UpdateKey() const { return updateKey_; }
    const std::string& DeleteKey() const { return deleteKey_; }

    std::string ModifySQL() const;
    std::string InsertSQL() const;
    std::string DeleteSQL() const;
    // Reads the table's row chosen by the delete statement's key clause (the current values), so that a row
    // is read again after an insert, after an update and before an edit.
    std::string RefreshSQL() const;
    // Locks the row the modify statement's key clause (the values read) chooses, and reads it again, so that
    // a post can see whether another session changed or deleted it meanwhile.
    std::string CheckSQL() const;
    // Counts the rows the delete statement's key clause (the current values) chooses.
    std::string KeyCountSQL() const;
    // The key columns, in list order: the ticked ones, or the first field while none was ticked.
    const std::vector<std::string>& KeyFields() const { return keyFields_; }

private:
    std::string table_;
    std::vector<std::string> fields_;
    std::vector<std::string> keyFields_;
    std::string setList_, columnList_, valueList_, updateKey_, deleteKey_;
};

} // namespace schema
