// The emulator's error table: every error a session reports gets its code and text here.
#include "emulator/EmuErrors.h"

#include <cstdio>
#include <map>

namespace vemu {

OraError MakeError(int code, const std::string& detail, int pos) {
    static const std::map<int, std::string> texts = {
        {1, "unique constraint (%s) violated"},
        {54, "resource busy and acquire with NOWAIT specified or timeout expired"},
        {900, "invalid SQL statement"},
        {904, "%s: invalid identifier"},
        {907, "missing right parenthesis"},
        {911, "invalid character"},
        {921, "unexpected end of SQL command"},
        {922, "missing or invalid option"},
        {933, "SQL command not properly ended"},
        {936, "missing expression"},
        {942, "table or view does not exist"},
        {955, "name is already used by an existing object"},
        {1001, "invalid cursor"},
        {1002, "fetch out of sequence"},
        {1008, "not all variables bound"},
        {1013, "user requested cancel of current operation"},
        {1017, "invalid username/password; logon denied"},
        {1086, "savepoint '%s' never established in this session or is invalid"},
        {1400, "cannot insert NULL into (%s)"},
        {1403, "no data found"},
        {1405, "fetched column value is NULL"},
        {1422, "exact fetch returns more than requested number of rows"},
        {1722, "invalid number"},
        {1756, "quoted string not properly terminated"},
        {2289, "sequence does not exist"},
        {2290, "check constraint (%s) violated"},
        {2291, "integrity constraint (%s) violated - parent key not found"},
        {2292, "integrity constraint (%s) violated - child record found"},
        {3115, "unsupported network datatype or representation"},
        {6502, "PL/SQL: numeric or value error: %s"},
        {6550, "%s"},
        {8002, "sequence %s.CURRVAL is not yet defined in this session"},
        {12899, "value too large for column %s"},
        {600, "internal error code, arguments: [%s]"},
        {901, "invalid CREATE command"},
        {902, "invalid datatype"},
        {903, "invalid table name"},
        {905, "missing keyword"},
        {906, "missing left parenthesis"},
        {913, "too many values"},
        {918, "column ambiguously defined"},
        {947, "not enough values"},
        {950, "invalid DROP option"},
        {979, "not a GROUP BY expression"},
        {1000, "maximum open cursors exceeded"},
        {1012, "not logged on"},
        {1418, "specified index does not exist"},
        {1438, "value larger than specified precision allowed for this column"},
        {1465, "invalid hex number"},
        {1735, "invalid ALTER TABLE option"},
        {1740, "missing double quote in identifier"},
        {1830, "date format picture ends before converting entire input string"},
        {1839, "date not valid for month specified"},
        {1841, "(full) year must be between -4713 and +9999"},
        {1843, "not a valid month"},
        {1846, "not a valid day of the week"},
        {1847, "day of month must be between 1 and last day of month"},
        {1849, "hour must be between 1 and 12"},
        {1850, "hour must be between 0 and 23"},
        {1851, "minutes must be between 0 and 59"},
        {1852, "seconds must be between 0 and 59"},
        {1855, "AM/A.M. or PM/P.M. required"},
        {1861, "literal does not match format string"},
        {2270, "no matching unique or primary key for this column-list"},
        {2449, "unique/primary keys in table referenced by foreign keys"},
        {4043, "object does not exist"},
        {21560, "argument %s is null, invalid, or out of range"},
        {22275, "invalid LOB locator specified"},
        {22926, "specified trim length is greater than current LOB value's length"},
    };
    OraError e;
    e.code = code;
    e.pos = pos;
    char num[16];
    std::snprintf(num, sizeof num, "ORA-%05d: ", code);
    std::string t;
    auto it = texts.find(code);
    if (it == texts.end()) {
        t = detail;
    } else {
        t = it->second;
        size_t p = t.find("%s");
        if (p != std::string::npos)
            t.replace(p, 2, detail);
        else if (!detail.empty() && code != 942)
            t += " (" + detail + ")";
    }
    e.text = num + t;
    return e;
}

} // namespace vemu
