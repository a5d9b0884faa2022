#include "app/WorkbenchWriter.h"

#include "app/SchemaStatements.h"
#include "dataset/DAError.h"
#include "dataset/DBErrors.h"
#include "oracle/Ora.h"
#include "oracle/OraError.h"

const char* const kWorkbenchWorksheetPending = "Im Arbeitsblatt gibt es noch nicht best\xE4tigte "
                                               "\xC4nderungen. Das Speichern dieses Datensatzes w\xFCrde sie "
                                               "mit festschreiben (COMMIT), daher wurde nichts gespeichert. "
                                               "Bitte die \xC4nderungen im Arbeitsblatt erst "
                                               "best\xE4tigen (C) oder zur\xFC"
                                               "cknehmen (R); Ihre Eingaben bleiben erhalten.";
const char* const kWorkbenchRowChanged =
    "Der Datensatz wurde inzwischen von einer anderen Sitzung ge\xE4ndert (Spalte %s). Es wurde nichts "
    "gespeichert; Ihre Eingaben bleiben erhalten.";
const char* const kWorkbenchRowGone = "Der Datensatz wurde inzwischen von einer anderen Sitzung gel\xF6scht "
                                      "oder sein Schl\xFCssel ge\xE4ndert. Es "
                                      "wurde nichts gespeichert; Ihre Eingaben bleiben erhalten.";
const char* const kWorkbenchRowNotUnique =
    "Die Schl\xFCsselspalten treffen mehr als einen Datensatz. Es wurde nichts gespeichert; bitte die "
    "Schl\xFCsselspalten so w\xE4hlen, dass sie den Datensatz eindeutig bestimmen.";
const char* const kWorkbenchRowSubstituted =
    "Der Datensatz enth\xE4lt Zeichen, die Windows-1252 nicht darstellen kann (als ? angezeigt). Er wird "
    "nicht zur\xFC"
    "ckgeschrieben, damit die Daten auf dem Server unver\xE4ndert bleiben; Ihre Eingaben bleiben erhalten.";
const char* const kWorkbenchRowLocked =
    "Der Datensatz ist von einer anderen Sitzung gesperrt. Es wurde nichts "
    "gespeichert; Ihre Eingaben bleiben erhalten.";

namespace {

bool HasOldPrefix(const std::string& name) {
    return name.size() > 4 && (name[0] == 'O' || name[0] == 'o') && (name[1] == 'L' || name[1] == 'l') &&
           (name[2] == 'D' || name[2] == 'd') && name[3] == '_';
}

// Values that are not compared: LOBs, memos, objects and cursors are references, not the row's values.
bool Comparable(TFieldType t) {
    switch (t) {
    case ftBlob:
    case ftMemo:
    case ftGraphic:
    case ftFmtMemo:
    case ftTypedBinary:
    case ftCursor:
    case ftADT:
    case ftArray:
    case ftReference:
    case ftDataSet:
    case ftOraBlob:
    case ftOraClob:
        return false;
    default:
        return true;
    }
}

bool SameValue(const Variant& a, const Variant& b) {
    if (a.IsNullOrEmpty() || b.IsNullOrEmpty()) return a.IsNullOrEmpty() && b.IsNullOrEmpty();
    return a.Equals(b);
}

// The parameters of a key statement take the values of the fields they name (with or without the OLD_
// prefix): the values read with useOld, else the current ones. A CHAR column's value goes as a fixed-length
// character value, so that the server compares it blank-padded with the column.
void BindKeyParams(TParams& params, TOraQuery& q, bool useOld) {
    for (int i = 0; i < params.Count(); ++i) {
        TParam* p = params[i];
        TField* f = q.FindField(HasOldPrefix(p->Name) ? p->Name.substr(4) : p->Name);
        if (!f) throw EDAError(FormatMsg(SNoCorrespondParam, {p->Name}));
        p->SetValue(useOld ? f->OldValue() : f->GetAsVariant());
        p->DataType = f->DataType();
        if (TFieldDef* def = q.FieldDefs().Find(f->FieldName()); def && (def->Attributes & faFixed))
            p->DataType = ftFixedChar;
        p->ParamType = ptInput;
    }
}

void PrepareReader(TOraQuery& r, TOraQuery& q, const std::string& sql) {
    r.Internal = true;
    r.ReadOnly = true;
    r.SetAutoCommit(false);
    r.SetTrimFixedChar(q.Options().TrimFixedChar);
    r.SetSQL(sql);
}

} // namespace

TWorkbenchWriter::TWorkbenchWriter(TOraQuery& query, TOraUpdateSQL& update,
                                   const schema::TWorkbenchStatements& statements)
    : q_(query), update_(update), statements_(statements) {
    q_.BeforeEdit = [this](TDataSet&) { BeforeEdit(); };
    q_.BeforePost = [this](TDataSet&) { BeforePost(); };
    q_.BeforeDelete = [this](TDataSet&) { BeforeDelete(); };
    q_.BeforeUpdateExecute = [this](TDataSet&, TStatementTypes kinds, TParams& params) {
        // The refresh reads the row by its key: its parameters only go in.
        if (kinds & StmtBit(stRefresh))
            for (int i = 0; i < params.Count(); ++i)
                params[i]->ParamType = ptInput;
        BeforeWrite(kinds);
    };
}

TWorkbenchWriter::~TWorkbenchWriter() {
    q_.BeforeEdit = nullptr;
    q_.BeforePost = nullptr;
    q_.BeforeDelete = nullptr;
    q_.BeforeUpdateExecute = nullptr;
}

void TWorkbenchWriter::RefuseWhileWorksheetPending() {
    if (WorksheetHasPendingChanges && WorksheetHasPendingChanges())
        throw EDAError(kWorkbenchWorksheetPending);
}

void TWorkbenchWriter::BeforeEdit() {
    // The row is read again before the edit starts: only where its key chooses it alone.
    ChooseRefresh(false, 1);
}

void TWorkbenchWriter::BeforePost() {
    RefuseWhileWorksheetPending();
    if (q_.State() == dsInsert) {
        // The new row is read back only when no row holds its key yet.
        ChooseRefresh(false, 0);
        return;
    }
    // An edited row is read back by its new key: the row itself holds it when the key did not change.
    bool keyChanged = false;
    for (const std::string& k : statements_.KeyFields())
        if (TField* f = q_.FindField(k); f && !SameValue(f->OldValue(), f->GetAsVariant())) keyChanged = true;
    ChooseRefresh(false, keyChanged ? 0 : 1);
}

void TWorkbenchWriter::BeforeDelete() {
    RefuseWhileWorksheetPending();
}

void TWorkbenchWriter::BeforeWrite(TStatementTypes kinds) {
    if (!(kinds & (StmtBit(stUpdate) | StmtBit(stDelete)))) return;
    try {
        CheckUnchanged(q_.State() == dsEdit);
    } catch (...) {
        // Nothing was written. When the worksheet is known to hold nothing unconfirmed, the session's
        // transaction holds only the refused write's savepoint and lock: ending it lets other sessions go on.
        if (WorksheetHasPendingChanges && !WorksheetHasPendingChanges() && q_.Session()) try {
                q_.Session()->Rollback();
            } catch (...) {
                // The refusal is what the user must see; a failed rollback leaves the lock to the next
                // commit or rollback.
            }
        throw;
    }
}

void TWorkbenchWriter::ChooseRefresh(bool useOld, int othersAllowed) {
    std::string refresh = statements_.RefreshSQL();
    bool fits = !refresh.empty();
    for (const std::string& k : statements_.KeyFields()) {
        TField* f = q_.FindField(k);
        if (!f || f->IsNull()) fits = false; // "KEY = NULL" chooses no row
    }
    if (fits) {
        TOraQuery count(q_.Session());
        PrepareReader(count, q_, statements_.KeyCountSQL());
        BindKeyParams(count.Params(), q_, useOld);
        count.Open();
        fits = count.Fields(0)->AsInteger() == othersAllowed;
        count.Close();
    }
    update_.RefreshSQL = fits ? refresh : std::string();
}

void TWorkbenchWriter::CheckUnchanged(bool useOld) {
    const std::string sql = statements_.CheckSQL();
    if (sql.empty()) return;
    TOraQuery row(q_.Session());
    PrepareReader(row, q_, sql);
    BindKeyParams(row.Params(), q_, useOld);
    try {
        row.Open();
    } catch (EOraError& e) {
        if (e.ErrorCode == 54) throw EDAError(kWorkbenchRowLocked);
        throw;
    }
    if (row.Eof()) throw EDAError(kWorkbenchRowGone);
    row.Next();
    if (!row.Eof()) throw EDAError(kWorkbenchRowNotUnique);
    // An update writes every column back: a value the network edge could show only with substitutes would
    // overwrite the server's characters with '?'.
    if (useOld && row.SubstitutedValues() > 0) throw EDAError(kWorkbenchRowSubstituted);
    row.First();
    for (int i = 0; i < row.FieldCount(); ++i) {
        TField* theirs = row.Fields(i);
        TField* mine = q_.FindField(theirs->FieldName());
        if (!mine || !Comparable(mine->DataType()) || !Comparable(theirs->DataType())) continue;
        Variant read = useOld ? mine->OldValue() : mine->GetAsVariant();
        if (!SameValue(read, theirs->GetAsVariant()))
            throw EDAError(FormatMsg(kWorkbenchRowChanged, {theirs->FieldName()}));
    }
    row.Close();
}
