// The PL/SQL blocks clients send: the client layer's own blocks (server version, NLS parameters, transaction
// id, compile errors, dbms_lob calls), ":x := expression", SELECT ... INTO, DML with RETURNING ... INTO and
// "OPEN :c FOR SELECT ...", and DBMS_OUTPUT (ENABLE, DISABLE, PUT, PUT_LINE, NEW_LINE, GET_LINE, and the
// worksheet's block around GET_LINES). Anything else is answered with ORA-06550.
#include "emulator/EmuEngine.h"

#include <sqlite3.h>

#include <algorithm>

namespace vemu {

namespace {

enum class StmtForm {
    Assign,
    SelectInto,
    DmlReturning,
    Dml,
    OpenFor,
    LobRead,
    LobWrite,
    LobTrim,
    Null,
    Commit,
    Rollback,
    TxnId,
    LobLength,
    OutEnable,
    OutDisable,
    OutPut,
    OutPutLine,
    OutNewLine,
    OutGetLine,
    Unsupported
};

struct BlockStmt {
    StmtForm form = StmtForm::Unsupported;
    size_t from = 0, to = 0;        // tokens of the statement, without the ';'
    std::string target;             // :x of an assignment / OPEN
    std::vector<std::string> into;  // INTO targets
    size_t intoAt = 0, intoEnd = 0; // token range of "INTO :a, :b"
    std::vector<std::string> args;  // bind names of dbms_lob and dbms_output.get_line arguments
    size_t argFrom = 0, argTo = 0;  // tokens of the argument of dbms_output.put and put_line
    bool txnCreate = false;
};

std::string U(const std::string& s) {
    return UpperAscii(s);
}

bool IsSeq(const std::vector<Tok>& t, size_t i, std::initializer_list<const char*> words) {
    for (const char* w : words) {
        if (i >= t.size()) return false;
        if (std::string(w) == "." || std::string(w) == "(" || std::string(w) == ")") {
            if (!t[i].IsOp(w)) return false;
        } else if (!t[i].Is(w)) {
            return false;
        }
        ++i;
    }
    return true;
}

OraError Pls(const std::string& text, const Tok& at, const std::string& what) {
    int line = 1, col = 1;
    for (size_t k = 0; k < at.pos && k < text.size(); ++k) {
        if (text[k] == '\n') {
            ++line;
            col = 1;
        } else {
            ++col;
        }
    }
    return MakeError(
        6550, "line " + std::to_string(line) + ", column " + std::to_string(col) + ":\nPLS-00103: " + what,
        static_cast<int>(at.pos));
}

std::vector<std::string> BindArgs(const std::vector<Tok>& t, size_t open, size_t close) {
    std::vector<std::string> a;
    for (size_t k = open + 1; k < close; ++k)
        if (t[k].kind == TokKind::Bind) a.push_back(U(t[k].text));
    return a;
}

size_t Close(const std::vector<Tok>& t, size_t open, size_t limit) {
    int d = 0;
    for (size_t k = open; k < limit; ++k) {
        if (t[k].IsOp("("))
            ++d;
        else if (t[k].IsOp(")") && --d == 0)
            return k;
    }
    return limit;
}

// Splits BEGIN ... END; into statements and classifies each.
bool Analyse(const std::vector<Tok>& t, const std::string& text, std::vector<BlockStmt>& out, OraError& err) {
    size_t i = 0;
    if (!t[0].Is("BEGIN")) {
        err = Pls(text, t[0], "vestra-emu runs anonymous blocks without declarations only");
        return false;
    }
    ++i;
    size_t end = t.size() - 1;
    while (end > i && (t[end - 1].IsOp(";") || t[end - 1].IsOp("/")))
        --end;
    if (end == i || !t[end - 1].Is("END")) {
        err = Pls(text, t[end > 0 ? end - 1 : 0], "Encountered the end of input when expecting END");
        return false;
    }
    --end; // the END keyword
    size_t s = i;
    int depth = 0;
    for (size_t k = i; k <= end; ++k) {
        if (k < end && t[k].IsOp("(")) ++depth;
        if (k < end && t[k].IsOp(")")) --depth;
        if (k == end || (depth == 0 && t[k].IsOp(";"))) {
            if (k > s) {
                BlockStmt b;
                b.from = s;
                b.to = k;
                out.push_back(b);
            } else if (k != end) {
                err = Pls(text, t[k], "Encountered the symbol \";\"");
                return false;
            }
            s = k + 1;
        }
    }
    for (BlockStmt& b : out) {
        const Tok& f = t[b.from];
        if (f.kind == TokKind::Bind && b.from + 1 < b.to && t[b.from + 1].IsOp(":=")) {
            b.target = U(f.text);
            size_t e = b.from + 2;
            if (IsSeq(t, e, {"SYS", ".", "DBMS_TRANSACTION", ".", "LOCAL_TRANSACTION_ID"}) ||
                IsSeq(t, e, {"DBMS_TRANSACTION", ".", "LOCAL_TRANSACTION_ID"})) {
                b.form = StmtForm::TxnId;
                for (size_t k = e; k < b.to; ++k)
                    if (t[k].Is("TRUE")) b.txnCreate = true;
            } else if (IsSeq(t, e, {"DBMS_LOB", ".", "GETLENGTH", "("})) {
                b.form = StmtForm::LobLength;
                b.args = BindArgs(t, e + 3, Close(t, e + 3, b.to));
                if (b.args.size() != 1) b.form = StmtForm::Unsupported;
            } else {
                b.form = StmtForm::Assign;
            }
        } else if (f.Is("SELECT")) {
            b.form = StmtForm::SelectInto;
            int d = 0;
            for (size_t k = b.from; k < b.to; ++k) {
                if (t[k].IsOp("("))
                    ++d;
                else if (t[k].IsOp(")"))
                    --d;
                else if (d == 0 && t[k].Is("INTO")) {
                    b.intoAt = k;
                    size_t m = k + 1;
                    while (m < b.to && (t[m].kind == TokKind::Bind || t[m].IsOp(","))) {
                        if (t[m].kind == TokKind::Bind) b.into.push_back(U(t[m].text));
                        ++m;
                    }
                    b.intoEnd = m;
                    break;
                }
            }
            if (b.into.empty()) b.form = StmtForm::Unsupported;
        } else if (f.Is("INSERT") || f.Is("UPDATE") || f.Is("DELETE")) {
            b.form = StmtForm::Dml;
            for (size_t k = b.from; k < b.to; ++k)
                if (t[k].Is("RETURNING") || t[k].Is("RETURN")) {
                    for (size_t m = k; m < b.to; ++m)
                        if (t[m].Is("INTO")) {
                            b.form = StmtForm::DmlReturning;
                            b.intoAt = m;
                            size_t n = m + 1;
                            while (n < b.to && (t[n].kind == TokKind::Bind || t[n].IsOp(","))) {
                                if (t[n].kind == TokKind::Bind) b.into.push_back(U(t[n].text));
                                ++n;
                            }
                            b.intoEnd = n;
                            break;
                        }
                    break;
                }
        } else if (f.Is("OPEN") && b.from + 2 < b.to && t[b.from + 1].kind == TokKind::Bind &&
                   t[b.from + 2].Is("FOR")) {
            b.form = StmtForm::OpenFor;
            b.target = U(t[b.from + 1].text);
        } else if (IsSeq(t, b.from, {"DBMS_OUTPUT", "."}) ||
                   IsSeq(t, b.from, {"SYS", ".", "DBMS_OUTPUT", "."})) {
            const size_t k = b.from + (t[b.from].Is("SYS") ? 4 : 2);
            const std::string fn = k < b.to ? t[k].text : std::string();
            const bool call = k + 1 < b.to && t[k + 1].IsOp("(");
            const size_t close = call ? Close(t, k + 1, b.to) : k;
            const bool whole = call ? close + 1 == b.to : k + 1 == b.to;
            const bool argument = call && close > k + 2;
            if (whole && fn == "ENABLE") {
                b.form = StmtForm::OutEnable;
            } else if (whole && fn == "DISABLE" && !argument) {
                b.form = StmtForm::OutDisable;
            } else if (whole && fn == "NEW_LINE" && !argument) {
                b.form = StmtForm::OutNewLine;
            } else if (whole && argument && (fn == "PUT" || fn == "PUT_LINE")) {
                b.form = fn == "PUT" ? StmtForm::OutPut : StmtForm::OutPutLine;
                b.argFrom = k + 2;
                b.argTo = close;
            } else if (whole && argument && fn == "GET_LINE") {
                b.args = BindArgs(t, k + 1, close);
                if (b.args.size() == 2) b.form = StmtForm::OutGetLine;
            }
        } else if (IsSeq(t, b.from, {"DBMS_LOB", "."}) && b.from + 3 < b.to && t[b.from + 3].IsOp("(")) {
            std::string fn = t[b.from + 2].text;
            b.args = BindArgs(t, b.from + 3, Close(t, b.from + 3, b.to));
            if (fn == "READ" && b.args.size() == 4)
                b.form = StmtForm::LobRead;
            else if (fn == "WRITE" && b.args.size() == 4)
                b.form = StmtForm::LobWrite;
            else if (fn == "TRIM" && b.args.size() == 2)
                b.form = StmtForm::LobTrim;
        } else if (f.Is("NULL") && b.to == b.from + 1) {
            b.form = StmtForm::Null;
        } else if (f.Is("COMMIT")) {
            b.form = StmtForm::Commit;
        } else if (f.Is("ROLLBACK") && b.to == b.from + 1) {
            b.form = StmtForm::Rollback;
        }
        if (b.form == StmtForm::Unsupported) {
            err = Pls(text, f,
                      "vestra-emu cannot run this PL/SQL statement: " +
                          text.substr(f.pos, std::min<size_t>(60, t[b.to].pos - f.pos)));
            return false;
        }
    }
    return true;
}

// Text of the tokens [from, to) without [skipFrom, skipTo).
std::string Rebuild(const std::vector<Tok>& t, size_t from, size_t to, size_t skipFrom = 0,
                    size_t skipTo = 0) {
    std::string s;
    for (size_t k = from; k < to; ++k) {
        if (k >= skipFrom && k < skipTo) continue;
        s += t[k].raw;
        s += ' ';
    }
    return s;
}

bool IsNlsBlock(const std::vector<Tok>& t) {
    for (const Tok& x : t)
        if (x.Is("NLSPARAMSCURSOR")) return true;
    return false;
}
// The worksheet's fetch of DBMS_OUTPUT: up to :MAXLINES lines through GET_LINES, joined with line feeds into
// :LINES (a line that no longer fits comes back alone in :REST), their number in :NUMLINES.
bool IsOutputFetchBlock(const std::vector<Tok>& t) {
    bool getLines = false, lines = false, numLines = false;
    for (const Tok& x : t) {
        if (x.Is("GET_LINES")) getLines = true;
        if (x.kind == TokKind::Bind && U(x.text) == "LINES") lines = true;
        if (x.kind == TokKind::Bind && U(x.text) == "NUMLINES") numLines = true;
    }
    return getLines && lines && numLines;
}
bool IsCompileErrorsBlock(const std::vector<Tok>& t) {
    bool errors = false, res = false;
    for (const Tok& x : t) {
        if (x.Is("USER_ERRORS")) errors = true;
        if (x.kind == TokKind::Bind && U(x.text) == "RES") res = true;
    }
    return errors && res;
}

Value TextValue(const std::string& s) {
    Value v;
    if (!s.empty()) {
        v.kind = Value::Text;
        v.s = s;
    }
    return v;
}

} // namespace

EmuEngine::BlockPlan EmuEngine::PlanBlock(const EmuStatement& s) {
    BlockPlan p;
    std::vector<std::string> names = PlaceholderNames(s.toks, true);
    for (auto& n : names)
        n = U(n);
    p.marks.assign(names.size(), 0);
    auto mark = [&](const std::string& n, uint8_t m) {
        for (size_t k = 0; k < names.size(); ++k)
            if (names[k] == n) p.marks[k] |= m;
    };
    if (IsNlsBlock(s.toks)) {
        for (size_t k = 0; k < names.size(); ++k)
            p.marks[k] = names[k] == "CHARSET" ? 0x20 : 0x10;
        p.supported = true;
        return p;
    }
    if (IsCompileErrorsBlock(s.toks)) {
        for (size_t k = 0; k < names.size(); ++k)
            p.marks[k] = names[k] == "RES" ? 0x10 : 0x20;
        p.supported = true;
        return p;
    }
    if (IsOutputFetchBlock(s.toks)) {
        for (size_t k = 0; k < names.size(); ++k)
            p.marks[k] = names[k] == "MAXLINES" ? 0x20 : 0x10;
        p.supported = true;
        return p;
    }
    std::vector<BlockStmt> stmts;
    if (!Analyse(s.toks, s.text, stmts, p.error)) return p;
    for (const BlockStmt& b : stmts) {
        for (size_t k = b.from; k < b.to; ++k) {
            if (s.toks[k].kind != TokKind::Bind) continue;
            std::string n = U(s.toks[k].text);
            bool out = (n == b.target && (k == b.from || (b.form == StmtForm::OpenFor && k == b.from + 1))) ||
                       (b.intoAt && k > b.intoAt && k < b.intoEnd);
            mark(n, out ? 0x10 : 0x20);
        }
        if (b.form == StmtForm::LobRead) {
            mark(b.args[1], 0x30);
            mark(b.args[3], 0x10);
            for (size_t k = 0; k < names.size(); ++k)
                if (names[k] == b.args[3]) p.marks[k] = 0x10;
        }
        if (b.form == StmtForm::LobWrite) mark(b.args[1], 0x30);
        if (b.form == StmtForm::OutGetLine)
            for (size_t k = 0; k < names.size(); ++k)
                if (names[k] == b.args[0] || names[k] == b.args[1]) p.marks[k] = 0x10;
    }
    p.supported = true;
    return p;
}

namespace {

// One run of a block: its placeholders with their values, and the steps of the statement forms it holds.
class BlockRun {
public:
    BlockRun(EmuEngine& e, EmuStatement& s, std::vector<Value>& values)
        : e_(e), s_(s), t_(s.toks), values_(values) {
        names_ = PlaceholderNames(s.toks, true);
        for (auto& n : names_)
            n = U(n);
        if (values_.size() < names_.size()) values_.resize(names_.size());
    }

    int Index(const std::string& n) const {
        for (size_t k = 0; k < names_.size(); ++k)
            if (names_[k] == n) return static_cast<int>(k);
        return -1;
    }
    Value Get(const std::string& n) const {
        int i = Index(n);
        return i < 0 ? Value() : values_[static_cast<size_t>(i)];
    }
    void Set(const std::string& n, const Value& v) {
        int i = Index(n);
        if (i >= 0) values_[static_cast<size_t>(i)] = v;
    }

    // The session-settings block of the client's logon: character length, NLS formats, character set id.
    void SessionSettings() {
        Value one;
        one.kind = Value::Int;
        one.i = 1;
        Set("CHARLENGTH", one);
        Set("NLSDATELANGUAGE", TextValue(e_.nlsDateLanguage));
        Set("NLSDATEFORMAT", TextValue(e_.nlsDateFormat));
        Set("NLSTIMESTAMPFORMAT", TextValue(e_.nlsTimestampFormat));
        Set("NLSTIMESTAMPTZFORMAT", TextValue(e_.nlsTimestampTzFormat));
        Value cs = Get("CHARSET");
        if (Index("CHARSETID") >= 0) {
            OraError err;
            auto st = e_.Parse("SELECT NLS_CHARSET_ID(:c) FROM DUAL", err);
            long long n;
            Value id;
            if (st && !e_.Execute(*st, {cs}, n) && e_.Step(*st, err)) id = e_.ColumnValue(*st, 0);
            if (st) e_.Close(st.get());
            Set("CHARSETID", id);
        }
    }

    OraError LobLength(const BlockStmt& b) {
        Value loc = Get(b.args[0]);
        if (loc.kind == Value::Null) {
            Set(b.target, Value());
            return {};
        }
        std::string content;
        bool clob;
        OraError err;
        if (!e_.ReadLob(loc.s, content, clob, err)) return err;
        Value v;
        v.kind = Value::Int;
        v.i = static_cast<long long>(clob ? Utf8ToWin1252(content).size() : content.size());
        Set(b.target, v);
        return {};
    }

    // :x := expression, evaluated as a one-row query.
    OraError Assign(const BlockStmt& b) {
        std::string sql = "SELECT " + Rebuild(t_, b.from + 2, b.to) + " FROM DUAL";
        OraError err;
        auto st = e_.Parse(sql, err);
        if (!st) return err;
        long long n;
        if (OraError e = e_.Execute(*st, BindsFor(sql), n)) return e;
        Value v;
        if (e_.Step(*st, err)) {
            v = e_.ColumnValue(*st, 0);
            if (!st->cols.empty() && st->cols[0].t.type == kOraDate) v.isDate = true;
        }
        e_.Close(st.get());
        if (err) return err;
        Set(b.target, v);
        return {};
    }

    // SELECT ... INTO: exactly one row (ORA-01403 for none, ORA-01422 for more).
    OraError SelectInto(const BlockStmt& b) {
        std::string sql = Rebuild(t_, b.from, b.to, b.intoAt, b.intoEnd);
        OraError err;
        auto st = e_.Parse(sql, err);
        if (!st) return err;
        long long n;
        if (OraError e = e_.Execute(*st, BindsFor(sql), n)) return e;
        if (!e_.Step(*st, err)) {
            e_.Close(st.get());
            return err ? err : MakeError(1403);
        }
        std::vector<Value> row;
        for (size_t c = 0; c < st->cols.size(); ++c) {
            Value v = e_.ColumnValue(*st, static_cast<int>(c));
            if (st->cols[c].t.type == kOraDate) v.isDate = true;
            row.push_back(v);
        }
        bool more = e_.Step(*st, err);
        e_.Close(st.get());
        if (more) return MakeError(1422);
        if (err) return err;
        for (size_t k = 0; k < b.into.size() && k < row.size(); ++k)
            Set(b.into[k], row[k]);
        return {};
    }

    OraError Dml(const BlockStmt& b, long long& rows) {
        std::string sql = Rebuild(t_, b.from, b.to);
        OraError err;
        auto st = e_.Parse(sql, err);
        if (!st) return err;
        long long n;
        if (OraError e = e_.Execute(*st, BindsFor(sql), n)) return e;
        rows += n;
        return {};
    }

    // DML ... RETURNING ... INTO: the returned values of the row, LOB columns as locators of the row.
    OraError DmlReturning(const BlockStmt& b, long long& rows) {
        std::string sql = Rebuild(t_, b.from, b.intoAt) + ", VEMU$ROWID";
        OraError err;
        auto st = e_.Parse(sql, err);
        if (!st) return err;
        long long n;
        std::vector<Value> ret;
        if (OraError e = e_.ExecuteReturning(*st, BindsFor(sql), n, ret)) return e;
        rows += n;
        std::vector<std::string> retNames = ReturnedColumns(b);
        long long rowid = ret.empty() ? 0 : ret.back().i;
        std::vector<ColumnMeta> cols =
            st->tr.dmlTable.empty() ? std::vector<ColumnMeta>() : e_.TableColumns(st->tr.dmlTable);
        for (size_t k = 0; k < b.into.size(); ++k) {
            Value v = k < ret.size() ? ret[k] : Value();
            if (k < retNames.size())
                for (const ColumnMeta& c : cols)
                    if (c.name == retNames[k]) {
                        if (c.t.type == kOraClob || c.t.type == kOraBlob) {
                            v = Value();
                            v.kind = Value::Blob;
                            v.isLocator = true;
                            v.s = e_.MakeLocator(c.t.type, st->tr.dmlTable, c.name, rowid);
                        } else if (c.t.type == kOraDate) {
                            v.isDate = true;
                        }
                    }
            if (n == 0) v = Value();
            Set(b.into[k], v);
        }
        return {};
    }

    // OPEN :c FOR query: the query is opened and handed to the caller as a new cursor.
    OraError OpenFor(const BlockStmt& b, std::vector<std::unique_ptr<EmuStatement>>& newCursors,
                     std::vector<int>& cursorBinds) {
        std::string sql = Rebuild(t_, b.from + 3, b.to);
        OraError err;
        auto st = e_.Parse(sql, err);
        if (!st) return err;
        if (st->tr.kind != StmtKind::Query) return Pls(s_.text, t_[b.from + 3], "OPEN ... FOR needs a query");
        long long n;
        if (OraError e = e_.Execute(*st, BindsFor(sql), n)) return e;
        newCursors.push_back(std::move(st));
        cursorBinds.push_back(Index(b.target));
        return {};
    }

    // dbms_output.put and put_line: the argument evaluated as a one-row query; nothing while disabled.
    OraError OutputPut(const BlockStmt& b) {
        EmuEngine::ServerOutput& out = e_.serverOutput;
        if (!out.enabled) return {};
        std::string sql = "SELECT " + Rebuild(t_, b.argFrom, b.argTo) + " FROM DUAL";
        OraError err;
        auto st = e_.Parse(sql, err);
        if (!st) return err;
        long long n;
        if (OraError e = e_.Execute(*st, BindsFor(sql), n)) return e;
        Value v;
        if (e_.Step(*st, err)) {
            v = e_.ColumnValue(*st, 0);
            if (!st->cols.empty() && st->cols[0].t.type == kOraDate) v.isDate = true;
        }
        e_.Close(st.get());
        if (err) return err;
        if (v.kind != Value::Null) out.partial += e_.ValueText(v, v.isDate);
        if (b.form == StmtForm::OutPutLine) NewLine();
        return {};
    }
    void NewLine() {
        EmuEngine::ServerOutput& out = e_.serverOutput;
        if (!out.enabled) return;
        out.lines.push_back(std::move(out.partial));
        out.partial.clear();
    }
    // dbms_output.get_line(:line, :status): the oldest line and 0, or NULL and 1 when there is none.
    void OutputGetLine(const BlockStmt& b) {
        EmuEngine::ServerOutput& out = e_.serverOutput;
        Value status;
        status.kind = Value::Int;
        status.i = out.lines.empty() ? 1 : 0;
        Set(b.args[0], out.lines.empty() ? Value() : TextValue(out.lines.front()));
        Set(b.args[1], status);
        if (!out.lines.empty()) out.lines.pop_front();
    }
    // The worksheet's fetch block (see IsOutputFetchBlock); lines are counted in bytes as LENGTHB counts.
    void OutputFetch() {
        EmuEngine::ServerOutput& out = e_.serverOutput;
        const long long most = std::max(1LL, Number("MAXLINES"));
        std::string joined;
        Value rest;
        long long n = 0;
        while (n < most && !out.lines.empty()) {
            std::string line = std::move(out.lines.front());
            out.lines.pop_front();
            ++n;
            if (joined.size() + line.size() + 1 > 32767) {
                rest = TextValue(line);
                break;
            }
            joined += line;
            joined += '\n';
        }
        Value count;
        count.kind = Value::Int;
        count.i = n;
        Set("LINES", TextValue(joined));
        Set("NUMLINES", count);
        Set("REST", rest);
    }

    // dbms_lob.read, write and trim on the LOB behind a locator; offsets count characters of the wire.
    OraError LobCall(const BlockStmt& b) {
        Value loc = Get(b.args[0]);
        if (loc.kind == Value::Null) return MakeError(22275);
        std::string content;
        bool clob;
        OraError err;
        if (!e_.ReadLob(loc.s, content, clob, err)) return err;
        std::string data = clob ? Utf8ToWin1252(content) : content;
        if (b.form == StmtForm::LobTrim) {
            long long len = Number(b.args[1]);
            if (len < 0 || len > static_cast<long long>(data.size())) return MakeError(22926);
            data.resize(static_cast<size_t>(len));
        } else if (b.form == StmtForm::LobRead) {
            long long amount = Number(b.args[1]), offset = Number(b.args[2]);
            if (amount < 1 || offset < 1) return MakeError(21560, "2");
            if (offset > static_cast<long long>(data.size())) return MakeError(1403);
            std::string piece = data.substr(static_cast<size_t>(offset - 1), static_cast<size_t>(amount));
            Value a;
            a.kind = Value::Int;
            a.i = static_cast<long long>(piece.size());
            Set(b.args[1], a);
            Value buf;
            buf.kind = clob ? Value::Text : Value::Blob;
            buf.s = clob ? Win1252ToUtf8(piece) : piece;
            Set(b.args[3], buf);
            return {};
        } else {
            long long amount = Number(b.args[1]), offset = Number(b.args[2]);
            Value bufv = Get(b.args[3]);
            std::string buf = bufv.kind == Value::Text ? Utf8ToWin1252(bufv.s) : bufv.s;
            if (amount < 0 || offset < 1) return MakeError(21560, "2");
            if (static_cast<size_t>(amount) > buf.size()) amount = static_cast<long long>(buf.size());
            size_t off = static_cast<size_t>(offset - 1);
            if (data.size() < off) data.resize(off, clob ? ' ' : '\0');
            if (data.size() < off + static_cast<size_t>(amount))
                data.resize(off + static_cast<size_t>(amount));
            data.replace(off, static_cast<size_t>(amount), buf.substr(0, static_cast<size_t>(amount)));
        }
        return e_.StoreLob(loc.s, clob ? Win1252ToUtf8(data) : data);
    }

private:
    // The binds of a SQL text, in order of appearance, from the block's values.
    std::vector<Value> BindsFor(const std::string& sql) const {
        bool ok;
        size_t ep;
        std::vector<Value> b;
        for (const Tok& t : Tokenize(sql, ok, ep))
            if (t.kind == TokKind::Bind) b.push_back(Get(U(t.text)));
        return b;
    }
    long long Number(const std::string& n) const {
        Value v = Get(n);
        if (v.kind == Value::Int) return v.i;
        if (v.kind == Value::Real) return static_cast<long long>(v.r);
        if (v.kind == Value::Text) return std::atoll(v.s.c_str());
        return 0;
    }
    // The plain column names of a RETURNING list (empty for expressions), in order.
    std::vector<std::string> ReturnedColumns(const BlockStmt& b) const {
        size_t retStart = 0;
        for (size_t k = b.from; k < b.intoAt; ++k)
            if (t_[k].Is("RETURNING") || t_[k].Is("RETURN")) retStart = k + 1;
        std::vector<std::string> names;
        for (size_t k = retStart; k < b.intoAt; ++k) {
            size_t e = k;
            int d = 0;
            while (e < b.intoAt && !(d == 0 && t_[e].IsOp(","))) {
                if (t_[e].IsOp("(")) ++d;
                if (t_[e].IsOp(")")) --d;
                ++e;
            }
            names.push_back(e == k + 1 && t_[k].kind == TokKind::Ident ? t_[k].text : "");
            k = e;
        }
        return names;
    }

    EmuEngine& e_;
    EmuStatement& s_;
    const std::vector<Tok>& t_;
    std::vector<Value>& values_;
    std::vector<std::string> names_;
};

} // namespace

OraError EmuEngine::RunBlock(EmuStatement& s, std::vector<Value>& values,
                             std::vector<std::unique_ptr<EmuStatement>>& newCursors,
                             std::vector<int>& cursorBinds, long long& rows) {
    rows = 0;
    BlockRun run(*this, s, values);
    if (IsNlsBlock(s.toks)) {
        run.SessionSettings();
        return {};
    }
    if (IsCompileErrorsBlock(s.toks)) {
        run.Set("RES", Value()); // stored program units are not kept, so there are never compile errors
        return {};
    }
    if (IsOutputFetchBlock(s.toks)) {
        run.OutputFetch();
        return {};
    }
    std::vector<BlockStmt> stmts;
    OraError err;
    if (!Analyse(s.toks, s.text, stmts, err)) return err;
    for (const BlockStmt& b : stmts) {
        OraError e;
        switch (b.form) {
        case StmtForm::Null:
            break;
        case StmtForm::Commit:
            e = Commit();
            break;
        case StmtForm::Rollback:
            e = Rollback();
            break;
        case StmtForm::TxnId:
            run.Set(b.target, TextValue(TransactionIdFor(b.txnCreate)));
            break;
        case StmtForm::LobLength:
            e = run.LobLength(b);
            break;
        case StmtForm::Assign:
            e = run.Assign(b);
            break;
        case StmtForm::SelectInto:
            e = run.SelectInto(b);
            break;
        case StmtForm::Dml:
            e = run.Dml(b, rows);
            break;
        case StmtForm::DmlReturning:
            e = run.DmlReturning(b, rows);
            break;
        case StmtForm::OpenFor:
            e = run.OpenFor(b, newCursors, cursorBinds);
            break;
        case StmtForm::LobRead:
        case StmtForm::LobWrite:
        case StmtForm::LobTrim:
            e = run.LobCall(b);
            break;
        case StmtForm::OutEnable:
            serverOutput.enabled = true;
            break;
        case StmtForm::OutDisable:
            serverOutput = {};
            break;
        case StmtForm::OutPut:
        case StmtForm::OutPutLine:
            e = run.OutputPut(b);
            break;
        case StmtForm::OutNewLine:
            run.NewLine();
            break;
        case StmtForm::OutGetLine:
            run.OutputGetLine(b);
            break;
        case StmtForm::Unsupported:
            return Pls(s.text, s.toks[b.from], "unsupported statement");
        }
        if (e) return e;
    }
    return {};
}

} // namespace vemu
