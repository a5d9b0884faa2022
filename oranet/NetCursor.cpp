// The statement side: local analysis at prepare, and the open, parse/execute/fetch, describe and close calls.
#include "dataset/OraParser.h"
#include "dataset/StrUtil.h"
#include "oranet/NetErrors.h"
#include "oranet/NetHandles.h"
#include "oranet/NetSession315.h"

#include <algorithm>
#include <cstring>

namespace oranet {

namespace {

// The most columns a select list can have; a describe announcing more is not believed.
constexpr int MaxColumns = 1000;

} // namespace

TNetCursor::~TNetCursor() = default;

void TNetCursor::FreeItems() {
    columns.clear();
    defines.clear();
    binds.clear();
    marks.clear();
    marksValid = false;
    rowSlots.clear();
    rowPlanReady = false;
}

// ---------------------------------------------------------------------------------------------------------
// Prepare

void TNetCursor::Analyse(const std::string& text) {
    statementText = TrimRight(text);
    FreeItems();
    statementType = 0;
    TOraParser lexer(statementText);
    lexer.OmitBlank = true;
    lexer.OmitComment = true;
    lexer.UppercaseKeywords = false;
    std::string tok;
    int code;
    do {
        code = lexer.GetNextToken(tok);
    } while (code == lxSymbol && tok == "(");
    switch (code) {
    case opSelect:
        statementType = 1;
        break;
    case opUpdate:
        statementType = 2;
        break;
    case opDelete:
        statementType = 3;
        break;
    case opInsert:
        statementType = 4;
        break;
    case opBegin:
        statementType = 8;
        break;
    case opDeclare:
        statementType = 9;
        break;
    default:
        statementType = 0;
        break;
    }
    if (statementType == 2 || statementType == 4) {
        bool returning = false;
        while (code != lxEnd && !returning) {
            code = lexer.GetNextToken(tok);
            returning = code == opReturning;
        }
        if (returning) {
            statementText = "begin " + statementText + "; end;";
            statementType = 8;
            lexer.SetText(statementText);
        }
    }
    lexer.Reset();
    const bool plsql = IsPlSql();
    for (;;) {
        code = lexer.GetNextToken(tok);
        if (code == lxEnd || code == opTrigger) break;
        if (code != opColon) continue;
        code = lexer.GetNextToken(tok);
        if (code == lxEnd) break;
        bool name = code == lxIdent || code == lxNumber || code > lexer.SymbolCount();
        if (!name) {
            lexer.StepBack();
            continue;
        }
        if (plsql &&
            std::any_of(binds.begin(), binds.end(), [&](const auto& b) { return SameText(b->name, tok); }))
            continue;
        auto b = std::make_unique<TNetBind>(this);
        b->name = tok;
        binds.push_back(std::move(b));
    }
}

sword TNetCursor::Prepare(const std::string& text, TNetErrorHandle* err) {
    try {
        Analyse(text);
        return 0;
    } catch (const std::exception& e) {
        return MapNetError(e, err);
    }
}

// ---------------------------------------------------------------------------------------------------------
// Calls

int TNetCursor::OpenCursor(TNetErrorHandle* err) {
    TNetTransport& t = *transport;
    connection->WriteCall(2);
    t.WriteFlag(true);
    t.WriteUB4(0);
    for (;;) {
        switch (t.ReadUB1()) {
        case 4:
            return connection->ReadStatus(err, this);
        case 8:
            cursorId = t.ReadUB4();
            break;
        case 9:
            t.EndCall();
            return 0;
        default:
            break;
        }
    }
}

int TNetCursor::CombinedCall(uint32_t options, const std::string* text, TNetErrorHandle* err, bool withBinds,
                             bool withDefines) {
    TNetTransport& t = *transport;
    const bool plsql = IsPlSql();
    if (!plsql)
        options |= coNotPlSql;
    else if (options & coExecute)
        options |= coPlSql;
    uint32_t defineCount = (options & coFetch) && withDefines ? uint32_t(defines.size()) : 0;
    if (defineCount > 0) options |= coDefines;
    uint32_t bindCount = (options & coExecute) && withBinds ? uint32_t(binds.size()) : 0;
    if (bindCount > 0) options |= coBinds;
    uint32_t values[7] = {1, 0, 0, 0, 0, 0, 0};
    if (options & coFetch)
        values[1] = uint32_t(fetchRows);
    else if (options & coExecute)
        values[1] = uint32_t(iterations);
    const size_t textLen = text ? text->size() : 0;

    connection->WriteCall(71);
    t.WriteUB4(options);
    t.WriteUB4(uint32_t(cursorId));
    t.WritePresent(textLen > 0);
    t.WriteUB4(uint32_t(textLen));
    t.WritePresent(false);
    t.WriteUB4(0);
    t.WritePresent(true);
    t.WriteUB4(7);
    t.WriteFlag(true);
    t.WriteUB4(2);
    t.WriteFlag(false);
    t.WritePresent(defineCount > 0);
    t.WriteUB4(defineCount);
    t.WritePresent(bindCount > 0);
    t.WriteUB4(bindCount);
    if (text) t.WriteText(*text);
    t.WriteUB4Array(values, 7);
    const bool v8 = connection->Version8();
    for (uint32_t i = 0; i < defineCount; ++i)
        WriteDescription(t, *defines[i], v8);
    for (uint32_t i = 0; i < bindCount; ++i)
        WriteDescription(t, *binds[i], v8);
    if (bindCount > 0 && !plsql) {
        writeRowIndex = 0;
        for (int32_t i = 0; i < iterations; ++i)
            WriteBindRow(nullptr);
    }

    readRowIndex = 0;
    writeRowIndex = 0;
    marksValid = false;
    rowPlanReady = false; // the defines may have changed since the last call
    bool headerSeen = false, vectorSeen = false, paramsSeen = false;
    for (;;) {
        switch (t.ReadUB1()) {
        case 4: {
            int r = connection->ReadStatus(err, this);
            if (connection->lastStatusCode == 1403 && !plsql) r = 100;
            return r;
        }
        case 6:
            ReadRowHeader();
            headerSeen = true;
            break;
        case 7:
            if (!headerSeen && !vectorSeen) throw EDBError(1);
            if (!defines.empty())
                ReadDefineRows();
            else if (!binds.empty())
                ReadRow(false, marksValid ? marks.data() : nullptr);
            else
                throw EDBError(1); // row data with nowhere to go: the rest of the reply cannot be framed
            break;
        case 8: {
            if (paramsSeen) throw EDBError(1);
            paramsSeen = true;
            int n = t.ReadUB2();
            for (int i = 0; i < n; ++i)
                t.ReadUB4();
            break;
        }
        case 11:
            ReadBindVector();
            vectorSeen = true;
            break;
        default:
            throw EDBError(1);
        }
    }
}

int TNetCursor::Describe43(TNetErrorHandle* err) {
    TNetTransport& t = *transport;
    int p = 1;
    int result = 0;
    do {
        connection->WriteCall(43);
        t.WriteUB4(uint32_t(cursorId));
        t.WriteUB4(uint32_t(p));
        t.WriteFlag(true);
        t.WriteFlag(true);
        t.WriteUB4(32);
        t.WriteFlag(true);
        t.WriteFlag(true);
        t.WriteUB4(960);
        t.WriteFlag(true);
        bool batchSeen = false, done = false;
        while (!done) {
            switch (t.ReadUB1()) {
            case 4:
                return connection->ReadStatus(err, this);
            case 9:
                t.EndCall();
                done = true;
                break;
            case 8: {
                int total = t.ReadUB2();
                int n = t.ReadUB2();
                if (int(columns.size()) + n > MaxColumns) throw EDBError(1);
                std::vector<int> nameLens(static_cast<size_t>(n));
                size_t first = columns.size();
                for (int i = 0; i < n; ++i) {
                    auto c = std::make_unique<TNetColumn>(this);
                    ReadColumnDescription(t, *c, connection->Version8());
                    c->nullable = t.ReadUB1();
                    nameLens[size_t(i)] = t.ReadUB1();
                    columns.push_back(std::move(c));
                }
                int L = t.ReadUB2();
                if (L > 960) throw EDBError(107);
                if (L == 0 && (n > 0 || total > 0)) throw EDBError(112);
                std::string_view block = t.ReadValue(scratch);
                if (block.empty() || L == 0) throw EDBError(210);
                size_t at = 0;
                for (int i = 0; i < n; ++i) {
                    size_t len = std::min<size_t>(size_t(nameLens[size_t(i)]),
                                                  at < block.size() ? block.size() - at : 0);
                    columns[first + size_t(i)]->name.assign(block.substr(std::min(at, block.size()), len));
                    at += len + 1;
                }
                p += n;
                if (p - 1 >= total) p = 0;
                batchSeen = batchSeen || n > 0;
                break;
            }
            default:
                break;
            }
        }
        // A reply that brought no columns would only be asked again.
        if (!batchSeen) p = 0;
    } while (p != 0 && result == 0);
    return result;
}

int TNetCursor::Describe98(const std::string* text, TNetErrorHandle* err) {
    TNetTransport& t = *transport;
    const size_t textLen = text ? text->size() : 0;
    connection->WriteCall(98);
    t.WriteUB1(7);
    t.WriteUB4(uint32_t(cursorId));
    t.WritePresent(textLen > 0);
    t.WriteUB4(uint32_t(textLen));
    t.WriteUB4(2);
    t.WriteFlag(true);
    t.WriteFlag(true);
    if (text) t.WriteText(*text);
    for (;;) {
        switch (t.ReadUB1()) {
        case 4:
            return connection->ReadStatus(err, this);
        case 9:
            t.EndCall();
            return 0;
        case 8: {
            int n = t.ReadUB2();
            if (int(columns.size()) + n > MaxColumns) throw EDBError(1);
            for (int i = 0; i < n; ++i) {
                auto c = std::make_unique<TNetColumn>(this);
                ReadColumnDescription(t, *c, connection->Version8());
                c->nullable = t.ReadUB1();
                t.ReadUB1();
                c->name = std::string(t.ReadUB4Value(scratch));
                t.ReadUB4Value(scratch);
                t.ReadUB4Value(scratch);
                columns.push_back(std::move(c));
            }
            break;
        }
        default:
            break;
        }
    }
}

int TNetCursor::DoDescribeOnly(TNetErrorHandle* err) {
    if (!connection) throw std::runtime_error("Statement has no connection");
    transport = connection->transport.get();
    columns.clear();
    if (connection->Version8()) return Describe98(&statementText, err);
    if (cursorId == 0) {
        int r = OpenCursor(err);
        if (r != 0) return r;
    }
    int r = CombinedCall(coParse, &statementText, err, false, false);
    if (r != 0) return r;
    return Describe43(err);
}

sword TNetCursor::DescribeOnly(TNetErrorHandle* err) {
    TNetOperation operation(connection ? connection->transport.get() : nullptr);
    try {
        return DoDescribeOnly(err);
    } catch (const std::exception& e) {
        return MapNetError(e, err);
    }
}

sword TNetCursor::Execute(TNetConnection* svc, uint32_t iters, uint32_t mode, TNetErrorHandle* err) {
    try {
        if (!svc) throw std::runtime_error("No service context");
        connection = svc;
        transport = svc->transport.get();
        TNetOperation operation(transport);
        if (svc->current) return ExecuteCurrent(mode, iters, err);
        if (mode & oracall::OCI_DESCRIBE_ONLY) return DoDescribeOnly(err);
        iterations = iters ? int32_t(iters) : 1;
        std::string nan = NotANumberBind();
        if (!nan.empty()) {
            if (err) {
                err->code = 1722;
                err->message = "ORA-01722: invalid number (the value of :" + nan + " is not a number)";
            }
            return -1;
        }
        int r;
        if (cursorId == 0) {
            r = OpenCursor(err);
            if (r != 0) return r;
        }
        r = CombinedCall(coParse, &statementText, err, false, false);
        if (r != 0) return r;
        r = CombinedCall(coExecute, nullptr, err, true, false);
        if (r != 0) return r;
        if (serverCommandType == 3 && columns.empty())
            r = connection->Version8() ? Describe98(nullptr, err) : Describe43(err);
        if (serverCommandType == 47) {
            for (auto& b : binds) {
                if ((b->dataType != oracall::SQLT_CUR && b->dataType != oracall::SQLT_RSET) || !b->value)
                    continue;
                TNetHandle* h;
                std::memcpy(&h, b->value, sizeof h);
                auto* c = dynamic_cast<TNetCursor*>(h);
                if (c && c->connection && c->cursorId != 0) c->DescribeOnly(err);
            }
        }
        if (r == 0 && (mode & oracall::OCI_COMMIT_ON_SUCCESS)) r = connection->Commit(err);
        return r;
    } catch (const std::exception& e) {
        return MapNetError(e, err);
    }
}

sword TNetCursor::Fetch(uint32_t rows, TNetErrorHandle* err) {
    try {
        if (!transport || !connection) throw std::runtime_error("Statement is not executed");
        TNetOperation operation(transport);
        if (connection->current) return FetchCurrent(rows, err);
        fetchRows = int32_t(rows);
        return CombinedCall(coFetch, nullptr, err, false, true);
    } catch (const std::exception& e) {
        return MapNetError(e, err);
    }
}

int TNetCursor::CloseCursor(TNetErrorHandle* err) {
    TNetTransport& t = *transport;
    connection->WriteCall(8);
    t.WriteUB4(uint32_t(cursorId));
    int r;
    switch (t.ReadUB1()) {
    case 4:
        r = connection->ReadStatus(err, this);
        break;
    case 9:
        t.EndCall();
        cursorId = 0;
        r = 0;
        break;
    default:
        throw EDBError(1);
    }
    FreeItems();
    return r;
}

sword TNetCursor::Close(TNetErrorHandle* err) {
    try {
        if (!transport || !connection) throw std::runtime_error("Statement is not executed");
        if (connection->current) {
            // Closed with the next call of the session.
            connection->current->CloseCursorLater(uint32_t(cursorId));
            cursorId = 0;
            FreeItems();
            return 0;
        }
        TNetOperation operation(transport);
        return CloseCursor(err);
    } catch (const std::exception& e) {
        return MapNetError(e, err);
    }
}

} // namespace oranet
