// TOCICommand: parameter scan, prepare, binds, execution (blocking or on a background thread), fetch
// primitives.
#include "oracle/OraClasses.h"
#include "oracle/OraLocks.h"
#include "oranet/NetCalls.h"

#include "dataset/DAHooks.h"

#include <algorithm>
#include <cstring>

using namespace oracall;

uint16_t OraStmtTypeFromOCI(ub2 t) {
    switch (t) {
    case OCI_STMT_SELECT:
        return SQL_SELECT;
    case OCI_STMT_UPDATE:
        return SQL_UPDATE;
    case OCI_STMT_DELETE:
        return SQL_DELETE;
    case OCI_STMT_INSERT:
        return SQL_INSERT;
    case OCI_STMT_BEGIN:
    case OCI_STMT_DECLARE:
    case OCI_STMT_CALL: // a CALL runs a stored routine like an anonymous block; its cursor parameters give
                        // rows
        return SQL_PLSQL;
    case OCI_STMT_EXPLAIN1:
    case OCI_STMT_EXPLAIN2:
        return SQL_NOBIND;
    default: // MERGE, COMMIT, ROLLBACK, DDL: no type of their own
        return SQL_UNKNOWN;
    }
}

ub2 ToExternalType(uint16_t dataType, bool memoAsText) {
    switch (dataType) {
    case dtInt32:
    case dtBoolean:
        return SQLT_INT;
    case dtFloat:
        return SQLT_FLT;
    case dtDateTime:
        return SQLT_DAT;
    case dtBlob:
        return SQLT_LBI;
    case dtMemo:
        return memoAsText ? SQLT_STR : SQLT_LNG;
    case dtString:
    case dtExtString:
        return SQLT_STR;
    case dtObject:
    case dtArray:
    case dtTable:
        return SQLT_NTY;
    case dtReference:
        return SQLT_REF;
    case dtVarBytes:
    case dtExtVarBytes:
    case dtBytes:
        return SQLT_BIN;
    case dtRowId:
        return SQLT_RDD;
    case dtCursor:
        return SQLT_RSET;
    case dtOraBlob:
        return SQLT_BLOB;
    case dtOraClob:
        return SQLT_CLOB;
    case dtBFile:
        return SQLT_BFILEE;
    case dtCFile:
        return SQLT_CFILEE;
    case dtLabel:
        return 106;
    case dtFixedChar:
        return SQLT_AVC;
    case dtVarChar:
        return SQLT_CHR;
    case dtTimeStamp:
    case dtTimeStampTZ:
    case dtTimeStampLTZ:
    case dtIntervalYM:
    case dtIntervalDS:
        if (!(OCIFunctionGroups & OCIGroupOCI9)) throw Exception(SDataTypeNotSupported);
        return dataType == dtTimeStamp      ? 187
               : dataType == dtTimeStampTZ  ? 188
               : dataType == dtTimeStampLTZ ? 232
               : dataType == dtIntervalYM   ? 189
                                            : 190;
    default:
        throw Exception(SDataTypeNotSupported);
    }
}

// ---- Background runs ----

struct TOraBackground {
    std::thread Thread;
    std::atomic<bool> Running{false};
    std::shared_ptr<std::atomic<bool>> Alive = std::make_shared<std::atomic<bool>>(true);
    // A deferred run that has not started yet (owning thread only).
    std::function<void()> PendingRoutine;
    std::function<void(bool)> PendingEnd;
};

// The current cursor holds a reference of its own only when it is not the own cursor.
TOCICommand::TOCICommand() : ownCursor_(new TOraCursor), cursor_(ownCursor_) {
    bg_ = std::make_unique<TOraBackground>();
}

TOCICommand::~TOCICommand() {
    bg_->Alive->store(false);
    if (bg_->Thread.joinable()) {
        if (Conn() && bg_->Running) Conn()->Break();
        bg_->Thread.join();
    }
    try {
        if (GetPrepared()) Unprepare();
    } catch (...) {
    }
    if (cursor_ && cursor_ != ownCursor_) cursor_->Release();
    if (ownCursor_) ownCursor_->Release();
    params_.Clear();
}

bool TOCICommand::BackgroundRunning() const {
    return bg_->Running.load();
}

void TOCICommand::WaitBackground() {
    if (bg_->Thread.joinable() && bg_->Thread.get_id() != std::this_thread::get_id()) bg_->Thread.join();
}

void TOCICommand::DropPendingCompletion() {
    bg_->PendingRoutine = nullptr;
    bg_->PendingEnd = nullptr;
    bg_->Alive->store(false);
    bg_->Alive = std::make_shared<std::atomic<bool>>(true);
    executing_ = false;
}

void TOCICommand::RunInBackground(std::function<void()> routine, std::function<void(bool)> endRoutine,
                                  bool deferStart) {
    MainThreadPoster* poster = GetMainThreadPoster();
    if (poster && deferStart) {
        bg_->PendingRoutine = std::move(routine);
        bg_->PendingEnd = std::move(endRoutine);
        auto alive = bg_->Alive;
        poster->Post([this, alive]() {
            if (!alive->load() || !bg_->PendingRoutine) return; // dropped, or already run by RunPendingHere
            auto r = std::move(bg_->PendingRoutine);
            auto e = std::move(bg_->PendingEnd);
            bg_->PendingRoutine = nullptr;
            bg_->PendingEnd = nullptr;
            RunInBackground(std::move(r), std::move(e), false);
        });
        return;
    }
    if (!poster) {
        // Nobody carries completions back: the work runs here.
        try {
            routine();
        } catch (...) {
            endRoutine(false);
            throw;
        }
        endRoutine(true);
        return;
    }
    WaitBackground();
    bg_->Running = true;
    auto alive = bg_->Alive;
    bg_->Thread = std::thread(
        [this, routine = std::move(routine), endRoutine = std::move(endRoutine), poster, alive]() {
            std::exception_ptr failure;
            try {
                routine();
            } catch (...) {
                failure = std::current_exception();
            }
            poster->Post([this, endRoutine, failure, alive]() {
                if (!alive->load()) return;
                WaitBackground();
                endRoutine(failure == nullptr);
                if (failure) std::rethrow_exception(failure);
            });
            bg_->Running = false;
        });
}

bool TOCICommand::RunPendingHere() {
    if (!bg_->PendingRoutine) return false;
    auto routine = std::move(bg_->PendingRoutine);
    auto endRoutine = std::move(bg_->PendingEnd);
    bg_->PendingRoutine = nullptr;
    bg_->PendingEnd = nullptr;
    std::exception_ptr failure;
    try {
        routine();
    } catch (...) {
        failure = std::current_exception();
    }
    // The completion keeps its usual way back, so that the caller's own work is not interrupted by it.
    MainThreadPoster* poster = GetMainThreadPoster();
    auto alive = bg_->Alive;
    auto end = [endRoutine, failure, alive]() {
        if (!alive->load()) return;
        endRoutine(failure == nullptr);
        if (failure) std::rethrow_exception(failure);
    };
    if (poster)
        poster->Post(end);
    else
        end();
    return true;
}

// ---- Connection and text ----

void TOCICommand::SetConnection(TQxConnection* connection) {
    if (connection != connection_ && GetPrepared()) Unprepare();
    TQxCommand::SetConnection(connection);
}

void TOCICommand::SetSQL(const std::string& text) {
    if (text == sql_) return;
    if (GetPrepared()) Unprepare();
    TQxCommand::SetSQL(text);
    if (paramCheck_) ScanParams();
}

void TOCICommand::ScanParams() {
    params_.Clear();
    for (auto& s : ScanOraParams(sql_)) {
        auto* p = static_cast<TOraParamDesc*>(AddParam());
        p->SetName(s.Name);
        p->Quoted = s.Quoted;
    }
}

TParamDesc* TOCICommand::AddParam() {
    return params_.Add(std::make_unique<TOraParamDesc>());
}

void TOCICommand::SetCurrentCursor(TOraCursor* cursor) {
    if (cursor == cursor_) return;
    if (cursor && cursor != ownCursor_) cursor->AddRef();
    if (cursor_ && cursor_ != ownCursor_) cursor_->Release();
    cursor_ = cursor;
}

TOraParamDesc* TOCICommand::CursorParam() const {
    for (int i = 0; i < params_.Count(); ++i)
        if (params_[i]->GetDataType() == dtCursor) return static_cast<TOraParamDesc*>(params_[i]);
    return nullptr;
}

int TOCICommand::GetCursorState() {
    return cursor_ ? cursor_->State() : csInactive;
}

void TOCICommand::SetCursorState(int state) {
    TCmdLock lock(this, nonBlocking_);
    if (cursor_) cursor_->SetState(state);
}

bool TOCICommand::GetPrepared() {
    return ownCursor_->State() > csParsed;
}

void TOCICommand::CheckActive() {
    if (!cursor_ || cursor_->State() == csInactive || !cursor_->Handle()) throw Exception(SCursorNotOpened);
}

void TOCICommand::Check(sword status) {
    Conn()->Check(status);
}

// ---- Prepare ----

void TOCICommand::Prepare() {
    if (ownCursor_->State() != csInactive) return;
    if (!connection_) throw Exception(SSessionNotDefined);
    if (!connection_->GetConnected()) throw Exception(SSessionNotConnected);
    TCmdLock lock(this, nonBlocking_);
    TOCIConnection* c = Conn();
    if (c->EffectiveCallStyle() != 2) throw Exception(SOCINotInited);
    errorOffset_ = 0;
    rowsProcessed_ = 0;
    FetchedRows = 0;
    SetCurrentCursor(ownCursor_);
    ownCursor_->CallStyle = 2;
    ownCursor_->AllocCursor();
    try {
        convertedSQL_ = ConvertSQLText(sql_);
        TConnLock cl(c);
        Check(OCIStmtPrepare(ownCursor_->Handle(), c->ErrorHandle(),
                             reinterpret_cast<const OraText*>(convertedSQL_.c_str()),
                             ub4(convertedSQL_.size() + 1), 1, 0));
        ub2 t = 0;
        Check(OCIAttrGet(ownCursor_->Handle(), OCI_HTYPE_STMT, &t, nullptr, OCI_ATTR_STMT_TYPE,
                         c->ErrorHandle()));
        sqlType_ = OraStmtTypeFromOCI(t);
    } catch (...) {
        ownCursor_->FreeCursor();
        throw;
    }
    ownCursor_->SetState(csPrepared);
}

void TOCICommand::Unprepare() {
    TCmdLock lock(this, nonBlocking_);
    SetCurrentCursor(ownCursor_);
    if (ownCursor_->Handle()) {
        if (Conn()) {
            TConnLock cl(Conn());
            ownCursor_->FreeCursor();
        } else {
            ownCursor_->FreeCursor();
        }
    }
    ownCursor_->SetState(csInactive);
    for (int i = 0; i < params_.Count(); ++i)
        Param(i)->BindHandle = nullptr;
}

// ---- Binding ----

namespace {

// Piece-wise LONG and LONG RAW values of binds.
sb4 InBindCallback(void* ctx, OCIBind* bindp, ub4, ub4, void** bufpp, ub4* alenp, ub1* piecep, void** indpp) {
    auto* cmd = static_cast<TOCICommand*>(ctx);
    TOraParamDesc* p = nullptr;
    for (int i = 0; i < cmd->GetParamCount(); ++i)
        if (cmd->Param(i)->BindHandle == bindp) p = cmd->Param(i);
    static sb2 nullInd = -1;
    static sb2 valueInd = 0;
    *bufpp = nullptr;
    *alenp = 0;
    *piecep = OCI_LAST_PIECE;
    *indpp = &nullInd;
    if (!p || !p->Blob()) return -24200;
    TBlob* b = p->Blob();
    if (*piecep == OCI_FIRST_PIECE || p->PieceCount == 0) p->PieceCount = 0;
    PPieceHeader piece = b->FirstPiece();
    for (int i = 0; i < p->PieceCount && piece; ++i)
        piece = piece->Next;
    while (piece && piece->Used == 0)
        piece = piece->Next;
    if (!piece) {
        *indpp = p->PieceCount > 0 ? &valueInd : &nullInd;
        p->PieceCount = 0;
        return -24200;
    }
    *bufpp = TBlob::PieceData(piece);
    *alenp = piece->Used;
    *indpp = &valueInd;
    bool last = true;
    for (PPieceHeader n = piece->Next; n; n = n->Next)
        if (n->Used > 0) last = false;
    *piecep = p->PieceCount == 0 ? (last ? OCI_LAST_PIECE : OCI_FIRST_PIECE)
                                 : (last ? OCI_LAST_PIECE : OCI_NEXT_PIECE);
    ++p->PieceCount;
    if (last) p->PieceCount = 0;
    return -24200;
}

sb4 OutBindCallback(void* ctx, OCIBind* bindp, ub4, ub4, void** bufpp, ub4** alenpp, ub1* piecep,
                    void** indpp, ub2** rcodepp) {
    auto* cmd = static_cast<TOCICommand*>(ctx);
    TOraParamDesc* p = nullptr;
    for (int i = 0; i < cmd->GetParamCount(); ++i)
        if (cmd->Param(i)->BindHandle == bindp) p = cmd->Param(i);
    static thread_local sb2 spareInd = 0;
    *bufpp = nullptr;
    *alenpp = nullptr;
    *indpp = &spareInd;
    *rcodepp = nullptr;
    if (!p || !p->Blob()) return -24200;
    TBlob* b = p->Blob();
    // Trim the piece handed out before to the length it received. Each parameter keeps its own length
    // slot: the pieces of several LONG outputs of one statement arrive one parameter after the other.
    if (PPieceHeader last = b->FirstPiece()) {
        while (last->Next)
            last = last->Next;
        if (last->Used == last->Size && p->OutPieceLen < last->Size) last->Used = p->OutPieceLen;
    }
    PPieceHeader piece = b->AllocPiece(b->PieceSize);
    piece->Used = piece->Size;
    b->AppendPiece(piece);
    p->OutPieceLen = piece->Size;
    *bufpp = TBlob::PieceData(piece);
    *alenpp = &p->OutPieceLen;
    *indpp = &p->OutPieceInd;
    *piecep = OCI_NEXT_PIECE;
    return -24200;
}

// After the execution: the last piece keeps the length the server reported, empty pieces go.
void FinishOutPieces(TOraParamDesc* param, TBlob* b) {
    PPieceHeader p = b->FirstPiece();
    while (p) {
        PPieceHeader next = p->Next;
        if (!next && p->Used == p->Size && param->OutPieceLen < p->Size) p->Used = param->OutPieceLen;
        if (p->Used == 0) b->DeletePiece(p);
        p = next;
    }
    param->OutPieceLen = 0;
}

} // namespace

void TOCICommand::BindParam(TOraParamDesc* p) {
    TOCIConnection* c = Conn();
    OCIError* err = c->ErrorHandle();
    uint16_t dt = p->GetDataType();
    ub2 ext;
    static uint8_t dummy[2] = {0, 0};
    void* value = p->ValuePtr();
    sb4 size = p->ElementSize();
    ub2* alen = nullptr;
    if (dt == dtUnknown) {
        if (!p->GetNull()) throw Exception(FormatMsg(SUnknownParamType, {p->GetName()}));
        ext = SQLT_CHR;
        value = dummy;
        size = 1;
        p->SetNull(true);
    } else {
        ext = ToExternalType(dt, false);
    }
    std::string name = p->Quoted ? "\"" + p->GetName() + "\"" : p->GetName();
    bool input = p->GetParamType() == pdInput;
    bool dataAtExec = false;
    switch (dt) {
    case dtString:
    case dtFixedChar: {
        int maxSize = c->CharLength() > 1 ? c->MaxStringSize() : 0;
        if (maxSize > 0 && maxSize < size) {
            size = maxSize;
            static_cast<uint8_t*>(value)[size - 1] = 0;
        } else if ((input ||
                    (IsSelect() && (p->GetParamType() == pdUnknown || p->GetParamType() == pdInputOutput))) &&
                   p->UsedLength >= 0 && p->Length() == 1 && p->UsedLength + 1 <= size) {
            size = p->UsedLength + 1;
            static_cast<uint8_t*>(value)[p->UsedLength] = 0;
        }
        break;
    }
    case dtBlob:
    case dtMemo: {
        TBlob* b = p->Blob();
        if (input)
            size = sb4(std::max<uint32_t>(b->Size(), 1));
        else {
            size = 2147483647;
            if (p->GetParamType() == pdOutput) b->Clear();
        }
        value = nullptr;
        dataAtExec = iterations_ <= 1;
        break;
    }
    case dtFloat:
        // Input only: an output value would come back as bytes the double beside them does not follow.
        if ((input || (p->GetParamType() == pdUnknown && !IsPlSql())) && !p->Table && iterations_ <= 1 &&
            !p->ExactNumber().empty() && !p->GetItemNull(1)) {
            ext = SQLT_NUM;
            value = const_cast<char*>(p->ExactNumber().data());
            size = sb4(p->ExactNumber().size());
        }
        break;
    case dtBytes:
    case dtVarBytes:
        alen = reinterpret_cast<ub2*>(p->ValuePtr());
        value = p->ValuePtr() + 2;
        size = p->ElementSize() - 2;
        break;
    case dtCursor: {
        TOraCursor* cur = p->Cursor();
        cur->CallStyle = 2;
        if (cur->RefCount() <= 1 || !cur->Handle()) {
            cur->FreeCursor();
            cur->AllocCursor();
        }
        cur->SetState(csPrepared);
        value = cur->HandleAddr();
        size = sb4(sizeof(void*));
        p->SetItemNull(1, false);
        break;
    }
    case dtOraBlob:
    case dtOraClob: {
        TOraLob* l = p->Lob();
        l->Connection = c;
        l->AllocLob();
        value = l->LocatorAddr();
        size = sb4(sizeof(void*));
        p->SetItemNull(1, false);
        break;
    }
    default:
        break;
    }
    OCIBind* bind = nullptr;
    const OraText* nm = reinterpret_cast<const OraText*>(name.c_str());
    if (p->Table) {
        p->CurrentCount = ub4(p->Length());
        Check(OCIBindByName(cursor_->Handle(), &bind, err, nm, sb4(name.size()), value, size, ext,
                            p->IndPtr(), alen, nullptr, ub4(p->Length()), &p->CurrentCount, 0));
        Check(OCIBindArrayOfStruct(bind, err, ub4(p->ElementSize()), 2, alen ? ub4(p->ElementSize()) : 0, 0));
    } else if (dataAtExec) {
        Check(OCIBindByName(cursor_->Handle(), &bind, err, nm, sb4(name.size()), nullptr, size, ext,
                            p->IndPtr(), nullptr, nullptr, 0, nullptr, OCI_DATA_AT_EXEC));
        p->BindHandle = bind;
        p->PieceCount = 0;
        Check(OCIBindDynamic(bind, err, this, &InBindCallback, this, &OutBindCallback));
    } else if (iterations_ <= 1) {
        Check(OCIBindByName(cursor_->Handle(), &bind, err, nm, sb4(name.size()), value, size, ext,
                            p->IndPtr(), alen, nullptr, 0, nullptr, 0));
    } else {
        if (p->Length() < iterations_)
            throw Exception(FormatMsg(SArrayParam, {p->GetName(), std::to_string(iterations_)}));
        Check(OCIBindByName(cursor_->Handle(), &bind, err, nm, sb4(name.size()), value, size, ext,
                            p->IndPtr(), alen, nullptr, 0, nullptr, 0));
        Check(OCIBindArrayOfStruct(bind, err, ub4(p->ElementSize()), 2, alen ? ub4(p->ElementSize()) : 0, 0));
    }
    p->BindHandle = bind;
    if (dt == dtString && c->CharsetId() != 0) {
        ub2 id = ub2(c->CharsetId());
        Check(OCIAttrSet(bind, OCI_HTYPE_BIND, &id, 0, OCI_ATTR_CHARSET_ID, err));
    }
    if (!p->Table) p->CurrentCount = 1;
    p->SetIsBound(true);
}

void TOCICommand::BindParams() {
    TConnLock cl(Conn());
    for (int i = 0; i < params_.Count(); ++i)
        BindParam(Param(i));
    cursor_->SetState(csBound);
}

// ---- Execution ----

sword TOCICommand::ExecuteOnce(ub4 mode) {
    if (!cursor_ || cursor_->State() < csPrepared || !cursor_->Handle()) throw Exception(SCursorNotOpened);
    TOCIConnection* c = Conn();
    int prev = cursor_->State();
    cursor_->SetState(csExecuting);
    try {
        ub4 iters = IsSelect() ? 0 : ub4(iterations_);
        sword r;
        {
            TConnLock cl(c);
            r = OCIStmtExecute(c->SvcCtx(), cursor_->Handle(), c->ErrorHandle(), iters, 0, nullptr, nullptr,
                               mode);
            if (OCIClientVersionCode > 2 && c->GetConnected() && cursor_->Handle()) {
                ub2 off = 0;
                if (OCIAttrGet(cursor_->Handle(), OCI_HTYPE_STMT, &off, nullptr, OCI_ATTR_PARSE_ERROR_OFFSET,
                               c->ErrorHandle()) == 0)
                    errorOffset_ = off;
            }
            if (r != 0 && r != OCI_NEED_DATA) {
                int code;
                std::string text;
                GetOraErrorText(r, c->ErrorHandle(), code, text);
                if (code == 3123) return 3123;
                Check(r);
            }
            if (sqlType_ == 0) {
                ub2 fn = 0;
                OCIAttrGet(cursor_->Handle(), OCI_HTYPE_STMT, &fn, nullptr, OCI_ATTR_SQLFNCODE,
                           c->ErrorHandle());
                sqlType_ = fn;
            }
            if (r == 0 && mode != OCI_DESCRIBE_ONLY) {
                ub4 rows = 0;
                OCIAttrGet(cursor_->Handle(), OCI_HTYPE_STMT, &rows, nullptr, OCI_ATTR_ROW_COUNT,
                           c->ErrorHandle());
                rowsProcessed_ = int(rows);
            }
        }
        if (mode == OCI_DESCRIBE_ONLY)
            cursor_->SetState(prev);
        else {
            cursor_->SetState(csExecuted);
            for (int i = 0; i < params_.Count(); ++i)
                if (TOraCursor* pc = Param(i)->Cursor()) pc->SetState(csExecuted);
        }
        FetchedRows = 0;
        return r;
    } catch (...) {
        if (cursor_ && cursor_->Handle()) cursor_->SetState(prev);
        throw;
    }
}

void TOCICommand::HandleLobParams() {
    for (int i = 0; i < params_.Count(); ++i) {
        TOraParamDesc* p = Param(i);
        TOraLob* l = p->Lob();
        if (!l) continue;
        bool in = p->GetParamType() == pdInput;
        l->Cached = cacheLobs_ || in;
        if (in) {
            // Data for a locator the server never filled (no RETURNING ... INTO for it) is refused by
            // WriteLob ("Lob locator should be inited") rather than dropped.
            if (l->LobInited() || (!p->GetNull() && l->TBlob::Size() > 0)) l->WriteLob();
        } else if (p->GetParamType() == pdOutput || p->GetParamType() == pdResult) {
            l->ReadLob();
        } else {
            throw Exception(SLobInOut);
        }
    }
}

void TOCICommand::ExecuteStatement() {
    bool hasLob = false;
    for (int i = 0; i < params_.Count(); ++i)
        if (params_[i]->GetDataType() == dtOraBlob || params_[i]->GetDataType() == dtOraClob) hasLob = true;
    bool commitOnSuccess = !IsSelect() && autoCommit_ && Conn()->GetAutoCommit() && !hasLob;
    ub4 mode = (IsSelect() && cursor_->Scrollable) ? 8 : commitOnSuccess ? OCI_COMMIT_ON_SUCCESS : 0;
    sword r = ExecuteOnce(mode);
    if (returnRowId_) {
        rowId_ = GetRowId();
        if (sqlType_ == SQL_INSERT && r == 0) Conn()->LastInsertRowId = rowId_;
    } else {
        rowId_.clear();
    }
    if (r == OCI_NEED_DATA)
        throw Exception("Function is not supported"); // piece tables are not offered by this client
    if (r == 0 && hasLob && (rowsProcessed_ > 0 || IsPlSql())) HandleLobParams();
    if (r == 0 && !IsSelect() && autoCommit_ && Conn()->GetAutoCommit() && !commitOnSuccess) Conn()->Commit();
    for (int i = 0; i < params_.Count(); ++i)
        if (TBlob* b = Param(i)->Blob())
            if ((Param(i)->GetDataType() == dtBlob || Param(i)->GetDataType() == dtMemo) &&
                Param(i)->GetParamType() != pdInput)
                FinishOutPieces(Param(i), b);
}

void TOCICommand::ExecuteInternal() {
    TCmdLock lock(this, nonBlocking_);
    if (ownCursor_->State() == csInactive) Prepare();
    if (sqlType_ != SQL_NOBIND) BindParams();
    ExecuteStatement();
    iterations_ = 1;
}

void TOCICommand::EndExecute(bool success) {
    executing_ = false;
    DoAfterExecute(success);
}

void TOCICommand::Execute(int iterations) {
    if (GetCursorState() == csExecuting || executing_) return;
    iterations_ = std::max(iterations, 1);
    RunParamHook();
    executing_ = true;
    if (!nonBlocking_) {
        try {
            ExecuteInternal();
        } catch (...) {
            iterations_ = 1;
            EndExecute(false);
            throw;
        }
        EndExecute(true);
        return;
    }
    if (!Conn() || !Conn()->ThreadSafety()) {
        EndExecute(false);
        throw Exception(SNeedThreadSafety);
    }
    if (!connection_->GetConnected()) {
        EndExecute(false);
        throw Exception(SSessionNotConnected);
    }
    RunInBackground([this] { ExecuteInternal(); }, [this](bool ok) { EndExecute(ok); });
}

// ---- Fetch primitives ----

int TOCICommand::Fetch(int rows, int orientation, int offset) {
    CheckActive();
    TOCIConnection* c = Conn();
    int fetched;
    {
        TConnLock cl(c);
        sword r = orientation == 2 ? OCIStmtFetch(cursor_->Handle(), c->ErrorHandle(), ub4(rows), 2, 0)
                                   : OCIStmtFetch2(cursor_->Handle(), c->ErrorHandle(), ub4(rows),
                                                   ub2(orientation), offset, 0);
        ub4 total = 0;
        if (r == 0 || r == OCI_NO_DATA)
            OCIAttrGet(cursor_->Handle(), OCI_HTYPE_STMT, &total, nullptr, OCI_ATTR_ROW_COUNT,
                       c->ErrorHandle());
        if (r == 0) {
            fetched = rows;
        } else if (r == OCI_NO_DATA) {
            fetched = int(total) - FetchedRows;
            if (fetched < 0) fetched = 0;
            if (!cursor_->Scrollable) CancelCursor();
        } else {
            Check(r);
            fetched = 0;
        }
        FetchedRows = int(total);
    }
    if (cursor_->State() < csFetching) cursor_->SetState(csFetching);
    return fetched;
}

void TOCICommand::CancelCursor() {
    cursor_->SetState(csFetched);
}

std::string TOCICommand::GetRowId() {
    if (!cursor_ || !cursor_->Handle()) return rowId_;
    TOCIConnection* c = Conn();
    dvoid* d = nullptr;
    if (OCIDescriptorAlloc(hOCIEnv, &d, OCI_DTYPE_ROWID, 0, nullptr) != 0 || !d) return std::string();
    std::string text;
    {
        TConnLock cl(c);
        sword r = OCIAttrGet(cursor_->Handle(), OCI_HTYPE_STMT, d, nullptr, OCI_ATTR_ROWID, c->ErrorHandle());
        if (r == 0) {
            // The descriptor belongs to the call interface: its text comes through the rowid-to-text
            // entry point, never from the descriptor's memory.
            OraText buf[4000];
            ub2 len = ub2(sizeof buf);
            r = OCIRowidToChar(static_cast<OCIRowid*>(d), buf, &len, c->ErrorHandle());
            if (r == 0) text.assign(reinterpret_cast<const char*>(buf), len);
        }
        if (r != 0 && r != OCI_NO_DATA) {
            OCIDescriptorFree(d, OCI_DTYPE_ROWID);
            Check(r);
        }
    }
    OCIDescriptorFree(d, OCI_DTYPE_ROWID);
    return text;
}

void TOCICommand::Break() {
    if (Conn()) Conn()->Break();
}

// ---- Properties ----

void TOCICommand::SetProp(int code, const Variant& value) {
    switch (code) {
    case prScanParams: {
        bool v = value.AsBoolean();
        if (v && !paramCheck_) {
            paramCheck_ = true;
            ScanParams();
        }
        paramCheck_ = v;
        break;
    }
    case prNonBlocking:
        nonBlocking_ = value.AsBoolean();
        break;
    case prFieldsAsString:
        fieldsAsString_ = value.AsBoolean();
        break;
    case prCacheLobs:
        cacheLobs_ = value.AsBoolean();
        break;
    case prScrollableCursor:
        if (cursor_) cursor_->Scrollable = value.AsBoolean();
        break;
    case prRowId:
        returnRowId_ = value.AsBoolean();
        break;
    default:
        TQxCommand::SetProp(code, value);
    }
}

void TOCICommand::GetProp(int code, Variant& value) {
    switch (code) {
    case prScanParams:
        value = Variant(paramCheck_);
        break;
    case prStmtType:
        value = Variant(int32_t(sqlType_));
        break;
    case prRowsProcessed:
        value = Variant(int32_t(FetchedRows > 0 ? FetchedRows : rowsProcessed_));
        break;
    case prErrorOffset:
        value = Variant(int32_t(ConvertedToOriginalPos(sql_, errorOffset_)));
        break;
    case prRowId:
        value = Variant(rowId_);
        break;
    default:
        TQxCommand::GetProp(code, value);
    }
}

void TOCICommand::SetMethodProp(int code, TQxMethod method) {
    TQxCommand::SetMethodProp(code, std::move(method));
}

unsigned TOCICommand::SubstitutedValues() const {
    TOraCursor* cursor = cursor_ ? cursor_ : ownCursor_;
    TOCIConnection* c = Conn();
    if (!cursor || !cursor->Handle() || !c || !c->ErrorHandle()) return 0;
    ub4 n = 0;
    if (OCIAttrGet(cursor->Handle(), OCI_HTYPE_STMT, &n, nullptr, oranet::NET_ATTR_SUBSTITUTED_VALUES,
                   c->ErrorHandle()) != OCI_SUCCESS)
        return 0;
    return n;
}
