#include "app/Worksheet.h"

#include "dataset/OraParser.h"

#include <cstdio>

const char* const kStatusBusy = "...";
const char* const kStatusCommitDone = "COMMIT ausgef\xFChrt!";
const char* const kStatusRollbackDone = "ROLLBACK ausgef\xFChrt!";
const char* const kAskCommit = "COMMIT ausf\xFChren?";
const char* const kAskRollback = "ROLLBACK ausf\xFChren?";

namespace {

bool StartsWithUpper(const std::string& text, const char* keyword) {
    size_t i = 0;
    for (; keyword[i]; ++i) {
        if (i >= text.size()) return false;
        char c = text[i];
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
        if (c != keyword[i]) return false;
    }
    return true;
}

const char kDescColumns[] =
    "Select Column_name as Spalte, substr(Data_type,1,15) as Datentyp, Data_length as Laenge, "
    "Nullable    as NULLZUGELASSEN, Data_Default as Defaultwert from SYS.ALL_TAB_COLUMNS where Table_name = "
    "'";

const char kShowUser[] =
    "SELECT sid, to_char(logon_time,'DD.MM.YYYY:HH24:MI') logon_time, username,type, status, process, "
    "sql_address, sql_hash_value FROM v$session WHERE username is not null and status ='ACTIVE'";

} // namespace

std::string TrimWorksheetText(const std::string& text) {
    size_t b = 0, e = text.size();
    while (b < e && static_cast<unsigned char>(text[b]) <= 32)
        ++b;
    while (e > b && static_cast<unsigned char>(text[e - 1]) <= 32)
        --e;
    return text.substr(b, e - b);
}

// The three tests run one after another on the trimmed text; each compares an upper-cased prefix with its
// keyword, so anything may follow the keyword directly ("describe emp" is DESC of "ribe emp").
TPreparedStatement PrepareWorksheetStatement(const std::string& editorText) {
    TPreparedStatement r;
    r.sql = editorText;
    const std::string t = TrimWorksheetText(editorText);

    if (StartsWithUpper(t, "DESC")) {
        const std::string name = TrimWorksheetText(t.substr(4));
        const size_t dot = name.find('.');
        r.kind = TPreparedStatement::Desc;
        if (dot != std::string::npos)
            r.sql = std::string(kDescColumns) + name.substr(dot + 1) + "'" + " and OWNER = '" +
                    name.substr(0, dot) + "'";
        else
            r.sql = std::string(kDescColumns) + name + "'";
    }
    if (StartsWithUpper(t, "SHOW USER")) {
        r.kind = TPreparedStatement::ShowUser;
        r.sql = kShowUser;
    }
    if (StartsWithUpper(t, "SHOW PARAMETER")) {
        r.kind = TPreparedStatement::ShowParameter;
        r.sql = "SELECT * from v$parameter where NAME = '" + TrimWorksheetText(t.substr(14)) + "'";
        r.message = r.sql + "\r\n";
    }
    return r;
}

bool IsQueryText(const std::string& text1252) {
    if (PrepareWorksheetStatement(text1252).kind != TPreparedStatement::Plain) return true;
    try {
        TOraParser p(text1252);
        p.OmitComment = true;
        std::string tok;
        const int code = p.GetNextToken(tok);
        if (code == opSelect || tok == "(") return true;
        for (char& c : tok)
            if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
        return code == lxIdent && tok == "WITH";
    } catch (const std::exception&) {
        return false;
    }
}

std::string SubstitutedValuesText(unsigned values) {
    if (values == 0) return std::string();
    return std::to_string(values) + (values == 1 ? " Wert" : " Werte") +
           " mit Zeichen au\xDF"
           "erhalb von Windows-1252 (als ? angezeigt)";
}

std::string SubstitutedValuesNote(unsigned values) {
    return values == 0 ? std::string() : " \x96 " + SubstitutedValuesText(values);
}

std::string StatusTextFor(int rowsAffected) {
    if (rowsAffected < 0) return "OK";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%d Datens\xE4tze verarbeitet!", rowsAffected);
    return buf;
}
