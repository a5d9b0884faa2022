#include "app/SchemaStatements.h"

#include "app/ListIndexError.h"

namespace schema {

const char* const kAllOwners = "*ALLE*";
const char* const kOwnerField = "OWNER";
const char* const kTableField = "TABLENAME";

namespace {

const char kOwnerList[] = "select distinct OWNER from SYS.DBA_TABLES";
const char kTableList[] = "select distinct OWNER||'.'||TABLE_NAME as TABLENAME from SYS.DBA_TABLES";
const char kContent[] = "Select * from ";
// The text between "Nullable" and "as" holds four blanks; the runs of blanks below are part of the texts.
const char kDesc[] =
    "Select Column_name as Spalte, substr(Data_type,1,15) as Datentyp, Data_length as Laenge, Nullable    as "
    "NULLZUGELASSEN, Data_Default as Defaultwert from SYS.ALL_TAB_COLUMNS where Table_name = '";
const char kCount[] = " select  COUNT(*) as Anzahl from ";
const char kIndex[] = " select  SUBSTR(OWNER,1,15) as OWNER,   INDEX_NAME,   SUBSTR(INDEX_TYPE,1,10) as "
                      "INDEX_TYPE,   STATUS,   LAST_ANALYZED,   UNIQUENESS,   COMPRESSION,   TABLESPACE_NAME "
                      "from     dba_indexes where   OWNER not in ('SYS','SYSTEM') and      TABLE_NAME = '";
const char kConstraint[] =
    " select   c.OWNER,    c.TABLE_NAME      as FK_TABELLE,   c.CONSTRAINT_NAME as FK_NAME,      "
    "cc.COLUMN_NAME    as FK_SPALTE,    r.TABLE_NAME      as PK_TABLE,     rc.COLUMN_NAME    as PK_SPALTE,   "
    " cc.POSITION from     dba_constraints c, dba_constraints r,              dba_cons_columns cc, "
    "dba_cons_columns rc  where    c.CONSTRAINT_TYPE = 'R' and      c.OWNER not in ('SYS','SYSTEM')and      "
    "c.R_OWNER = r.OWNER   and      c.R_CONSTRAINT_NAME = r.CONSTRAINT_NAME and      c.CONSTRAINT_NAME = "
    "cc.CONSTRAINT_NAME  and      c.OWNER = cc.OWNER                      and      r.CONSTRAINT_NAME = "
    "rc.CONSTRAINT_NAME  and      r.OWNER = rc.OWNER                      and      cc.POSITION = rc.POSITION "
    "              and      r.TABLE_NAME = '";
const char kConstraintOrder[] = "order by c.OWNER, c.TABLE_NAME, c.CONSTRAINT_NAME, cc.POSITION ";
const char kTrigger[] =
    " select   TRIGGER_NAME,                       substr(TABLE_OWNER,1,15) as TBL_OWNER,   Trigger_TYPE,    "
    "                        STATUS,                                  substr(TRIGGERING_EVENT,1,30) as "
    "EVENT,   BASE_OBJECT_TYPE,                         WHEN_CLAUSE,                              "
    "DESCRIPTION,                              ACTION_TYPE,                              TRIGGER_BODY from   "
    "  dba_triggers where   OWNER not in ('SYS','SYSTEM')and      TABLE_NAME = '";

const char CR = '\r';

} // namespace

std::string LiteralText(const std::string& name) {
    std::string out;
    out.reserve(name.size());
    for (char c : name) {
        out += c;
        if (c == '\'') out += '\'';
    }
    return out;
}

namespace {

bool IsOrdinaryName(const std::string& name) {
    if (name.empty() || name[0] < 'A' || name[0] > 'Z') return false;
    for (char c : name)
        if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '$' || c == '#'))
            return false;
    return true;
}

} // namespace

std::string IdentifierText(const std::string& name) {
    if (name.empty() || IsOrdinaryName(name)) return name;
    std::string out = "\"";
    for (char c : name) {
        out += c;
        if (c == '"') out += '"';
    }
    return out + "\"";
}

std::string TableRefText(const std::string& item) {
    size_t dot = item.find('.');
    if (dot == std::string::npos) return IdentifierText(item);
    return IdentifierText(item.substr(0, dot)) + "." + IdentifierText(item.substr(dot + 1));
}

std::string OwnerListSQL() {
    return kOwnerList;
}

std::string TableListSQL(const std::string& owner) {
    if (owner == kAllOwners) return kTableList;
    return std::string(kTableList) + " where OWNER = '" + LiteralText(owner) + "'";
}

TTableItem SplitTableItem(const std::string& item) {
    size_t dot = item.find('.');
    if (dot == std::string::npos) return {std::string(), item};
    return {item.substr(0, dot), item.substr(dot + 1)};
}

std::string ContentSQL(const std::string& item) {
    return kContent + TableRefText(item);
}

std::string DescSQL(const std::string& owner, const std::string& table) {
    return kDesc + LiteralText(table) + "'" + " and OWNER = '" + LiteralText(owner) + "'";
}

std::string CountSQL(const std::string& owner, const std::string& table) {
    return kCount + IdentifierText(owner) + "." + IdentifierText(table);
}

std::string IndexSQL(const std::string& table) {
    return kIndex + LiteralText(table) + "'";
}

std::string ConstraintSQL(const std::string& table) {
    // No blank between the closing quote and "order".
    return kConstraint + LiteralText(table) + "'" + kConstraintOrder;
}

std::string TriggerSQL(const std::string& table) {
    return kTrigger + LiteralText(table) + "'";
}

std::string ButtonSQL(TBrowserButton button, const std::string& item) {
    if (button == TBrowserButton::Inhalt) return ContentSQL(item);
    TTableItem t = SplitTableItem(item);
    switch (button) {
    case TBrowserButton::Desc:
        return DescSQL(t.owner, t.table);
    case TBrowserButton::Anz:
        return CountSQL(t.owner, t.table);
    case TBrowserButton::Idx:
        return IndexSQL(t.table);
    case TBrowserButton::Constr:
        return ConstraintSQL(t.table);
    case TBrowserButton::Trig:
        return TriggerSQL(t.table);
    default:
        return ContentSQL(item);
    }
}

const char* TabCaption(int tab) {
    static const char* const captions[tabCount] = {"Inhalt",
                                                   "Beschreibung Tabelle",
                                                   "Anzahl der Datens\xE4tze",
                                                   "Index",
                                                   "Constraints",
                                                   "Trigger",
                                                   "Tabelle \xE4ndern",
                                                   "SQL Anzeige"};
    if (tab < 0 || tab >= tabCount) RaiseListIndexError(tab);
    return captions[tab];
}

std::string TabSQL(int tab, const std::string& item) {
    switch (tab) {
    case tabBeschreibung:
        return ButtonSQL(TBrowserButton::Desc, item);
    case tabAnzahl:
        return ButtonSQL(TBrowserButton::Anz, item);
    case tabIndex:
        return ButtonSQL(TBrowserButton::Idx, item);
    case tabConstraints:
        return ButtonSQL(TBrowserButton::Constr, item);
    case tabTrigger:
        return ButtonSQL(TBrowserButton::Trig, item);
    default:
        return ContentSQL(item);
    }
}

std::string WorkbenchStatus(int rowsAffected) {
    if (rowsAffected < 0) return "Anweisung verarbeitet";
    return std::to_string(rowsAffected) + " Datens\xE4tze verarbeitet!";
}

// ---- Generated statements ----

void TWorkbenchStatements::SetTable(const std::string& table, const std::vector<std::string>& fieldNames) {
    table_ = table;
    fields_ = fieldNames;
    setList_.clear();
    columnList_.clear();
    valueList_.clear();
    updateKey_.clear();
    deleteKey_.clear();
    for (size_t i = 0; i < fields_.size(); ++i) {
        const std::string& f = fields_[i];
        setList_ += "   " + f + " = :" + f + "," + CR;
        if (i) {
            columnList_ += ", ";
            valueList_ += ", ";
        }
        columnList_ += f;
        valueList_ += ":" + f;
    }
    // The last "," goes, the last carriage return stays.
    if (setList_.size() >= 2) setList_.erase(setList_.size() - 2, 1);
    columnList_ += " ";
    keyFields_.clear();
    if (!fields_.empty()) {
        keyFields_.push_back(fields_[0]);
        updateKey_ = "   " + fields_[0] + " = :OLD_" + fields_[0];
        deleteKey_ = "   " + fields_[0] + " = :" + fields_[0];
    }
}

bool TWorkbenchStatements::ApplyKeys(const std::vector<bool>& ticked) {
    std::string update, del;
    std::vector<std::string> keys;
    for (size_t i = 0; i < fields_.size() && i < ticked.size(); ++i) {
        if (!ticked[i]) continue;
        const std::string& f = fields_[i];
        keys.push_back(f);
        update += f + " = :OLD_" + f + " and " + CR;
        del += "   " + f + " = :" + f + " and " + CR;
    }
    if (update.empty()) return false;
    // The last "and " before the final carriage return goes, leaving a blank and the carriage return.
    update.erase(update.size() - 5, 4);
    del.erase(del.size() - 5, 4);
    updateKey_ = update;
    deleteKey_ = del;
    keyFields_ = keys;
    return true;
}

std::string TWorkbenchStatements::ModifySQL() const {
    return "UPDATE " + TableRefText(table_) + " SET " + CR + setList_ + CR + " WHERE " + CR + updateKey_;
}

std::string TWorkbenchStatements::InsertSQL() const {
    return "INSERT INTO " + TableRefText(table_) + " (" + CR + columnList_ + ")" + CR + " VALUES ( " + CR +
           valueList_ + ")";
}

std::string TWorkbenchStatements::DeleteSQL() const {
    return "DELETE FROM " + TableRefText(table_) + CR + "WHERE" + CR + deleteKey_;
}

std::string TWorkbenchStatements::CheckSQL() const {
    if (table_.empty() || updateKey_.empty()) return std::string();
    return "SELECT * FROM " + TableRefText(table_) + CR + "WHERE" + CR + updateKey_ + CR +
           "FOR UPDATE NOWAIT";
}

std::string TWorkbenchStatements::KeyCountSQL() const {
    if (table_.empty() || deleteKey_.empty()) return std::string();
    return "SELECT COUNT(*) FROM " + TableRefText(table_) + CR + "WHERE" + CR + deleteKey_;
}

std::string TWorkbenchStatements::RefreshSQL() const {
    if (table_.empty() || deleteKey_.empty()) return std::string();
    return "SELECT * FROM " + TableRefText(table_) + CR + "WHERE" + CR + deleteKey_;
}

} // namespace schema
