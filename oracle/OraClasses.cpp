// The call-interface connection, the cursor and LOB holders and the parameter descriptors.
#include "oracle/OraClasses.h"
#include "oracle/OraLocks.h"

#include "dataset/DAHooks.h"
#include "dataset/DateTimeUtil.h"
#include "ocicall/OraCallLoad.h"
#include "oracle/OraObjects.h"
#include "oranet/NetCalls.h"
#include "oranet/NetNumber.h"

#include <algorithm>
#include <cstring>

using namespace oracall;

namespace {

const OraText* T(const std::string& s) {
    return reinterpret_cast<const OraText*>(s.c_str());
}

bool VersionAbove8(const std::string& v) {
    return CompareOraVersions(v, "8") > 0;
}

// The statement that sets one NLS parameter; the value is one string literal whatever quotes it holds.
std::string AlterSessionText(const char* name, const std::string& value) {
    std::string literal;
    for (char ch : value) {
        literal += ch;
        if (ch == '\'') literal += ch;
    }
    return std::string("ALTER SESSION SET ") + name + "='" + literal + "'";
}

} // namespace

int CompareOraVersions(const std::string& a, const std::string& b) {
    // A version not read yet (empty) sorts below every other.
    if (a.empty() || b.empty()) return a.empty() == b.empty() ? 0 : (a.empty() ? -1 : 1);
    size_t i = 0, j = 0;
    while (i < a.size() || j < b.size()) {
        // One dotted part of each side; a missing part counts as 0, digits beyond 9 places are ignored.
        auto part = [](const std::string& s, size_t& k) {
            long long v = 0;
            int digits = 0;
            while (k < s.size() && s[k] >= '0' && s[k] <= '9') {
                if (digits++ < 9) v = v * 10 + (s[k] - '0');
                ++k;
            }
            while (k < s.size() && s[k] != '.')
                ++k; // a suffix such as " Lite" ends the part
            if (k < s.size()) ++k;
            return v;
        };
        long long x = part(a, i), y = part(b, j);
        if (x != y) return x < y ? -1 : 1;
    }
    return 0;
}

std::string VersionFromBanner(const std::string& banner) {
    // Servers from 18 on name the release update on a line of its own ("Version 19.3.0.0.0"); the first line
    // carries the base release ("Release 19.0.0.0.0 - Production"; "Release 9.2.0.1.0 - Production").
    size_t at = banner.find("\nVersion ");
    if (at != std::string::npos) {
        at += 9;
        size_t end = banner.find_first_of(" \r\n", at);
        return banner.substr(at, end == std::string::npos ? std::string::npos : end - at);
    }
    size_t dot = banner.find('.', 1);
    if (dot == std::string::npos) return std::string();
    size_t start = dot;
    while (start > 0 && banner[start - 1] >= '0' && banner[start - 1] <= '9')
        --start;
    if (start == dot) start = dot - 1;
    size_t blank = banner.find(' ', dot);
    if (blank == std::string::npos) return std::string();
    return banner.substr(start, blank - start);
}

// ---- Event ----

void TOraEvent::Set() {
    std::lock_guard<std::mutex> g(m_);
    set_ = true;
    cv_.notify_all();
}
void TOraEvent::Reset() {
    std::lock_guard<std::mutex> g(m_);
    set_ = false;
}
void TOraEvent::Pulse() {
    std::lock_guard<std::mutex> g(m_);
    ++pulses_;
    cv_.notify_all();
}
void TOraEvent::Wait() {
    std::unique_lock<std::mutex> g(m_);
    uint64_t p = pulses_;
    cv_.wait(g, [&] { return set_ || pulses_ != p; });
}
// ---- Cursor ----

TOraCursor::~TOraCursor() {
    try {
        FreeCursor();
    } catch (...) {
    }
}

void TOraCursor::AllocCursor() {
    if (CallStyle != 2) throw Exception(SOCINotInited);
    if (stmt_) return;
    dvoid* h = nullptr;
    OraCheckGlobal(OCIHandleAlloc(hOCIEnv, &h, OCI_HTYPE_STMT, 0, nullptr));
    stmt_ = static_cast<OCIStmt*>(h);
}

void TOraCursor::FreeCursor() {
    if (stmt_) {
        OCIStmt* s = stmt_;
        stmt_ = nullptr;
        OCIHandleFree(s, OCI_HTYPE_STMT);
    }
    SetState(csInactive);
}

// ---- LOB holder ----

TOraLob::TOraLob(uint16_t lobType, TOCIConnection* connection) : LobType(lobType), Connection(connection) {
    Cached = false;
}

TOraLob::~TOraLob() {
    try {
        FreeLob();
    } catch (...) {
    }
}

// Files (BFILE, CFILE) have locators of their own descriptor type.
ub4 TOraLob::DescType() const {
    return LobType == SQLT_BFILEE || LobType == SQLT_CFILEE ? OCI_DTYPE_FILE : OCI_DTYPE_LOB;
}

void TOraLob::AllocLob() {
    if (locator_) return;
    dvoid* d = nullptr;
    OraCheckGlobal(OCIDescriptorAlloc(hOCIEnv, &d, DescType(), 0, nullptr));
    locator_ = static_cast<OCILobLocator*>(d);
}

void TOraLob::FreeLob() {
    if (locator_) OCIDescriptorFree(locator_, DescType());
    locator_ = nullptr;
}

std::string TOraLob::FileLocatorText() {
    if (!locator_) return std::string();
    char dir[31] = {}, name[256] = {};
    ub2 dirLen = 30, nameLen = 255;
    OraCheckGlobal(OCILobFileGetName(hOCIEnv, hOCIError, locator_, reinterpret_cast<OraText*>(dir), &dirLen,
                                     reinterpret_cast<OraText*>(name), &nameLen));
    return "BFILENAME('" + std::string(dir, std::min<size_t>(dirLen, 30)) + "', '" +
           std::string(name, std::min<size_t>(nameLen, 255)) + "')";
}

bool TOraLob::LobInited() {
    if (!locator_) return false;
    int init = 0;
    OraCheckGlobal(OCILobLocatorIsInit(hOCIEnv, hOCIError, locator_, &init));
    return init != 0;
}

uint32_t TOraLob::LengthOnServer() {
    if (!LobInited()) return 0;
    if (!Connection || !Connection->SvcCtx()) throw Exception(SSvcCtxNotDefined);
    ub4 len = 0;
    OraCheckGlobal(OCILobGetLength(Connection->SvcCtx(), hOCIError, locator_, &len));
    return len;
}

ub1 TOraLob::Form() {
    if (LobType != SQLT_CLOB) return SQLCS_IMPLICIT; // the form means nothing for bytes, but 0 is invalid
    if (CharsetForm == 0 && locator_) {
        ub1 form = 0;
        OraCheckGlobal(OCILobCharSetForm(hOCIEnv, hOCIError, locator_, &form));
        CharsetForm = form == SQLCS_NCHAR ? SQLCS_NCHAR : SQLCS_IMPLICIT;
    }
    return CharsetForm == 0 ? SQLCS_IMPLICIT : CharsetForm;
}

// Reads the LOB one piece at a time: each call asks for a piece's worth (characters of a CLOB, bytes of a
// BLOB) at the running 1-based offset into a buffer of the same size. The environment's client character set
// is single-byte (Windows-1252), so a piece's characters are its bytes. A library that still answers
// OCI_NEED_DATA (the buffer held less than asked for) is polled until it is done: each further call fills
// the next piece.
void TOraLob::ReadLob() {
    if (!locator_) throw Exception(SLobNotAllocated);
    FreePieces();
    NotRead = false;
    if (!LobInited()) return;
    if (!Connection || !Connection->SvcCtx()) throw Exception(SSvcCtxNotDefined);
    uint32_t total = LengthOnServer();
    if (total == 0) return;
    const ub1 form = Form();
    uint32_t offset = 1;
    bool polling = false;
    for (;;) {
        PPieceHeader piece = AllocPiece(PieceSize);
        ub4 amount = PieceSize;
        sword r;
        try {
            r = OCILobRead(Connection->SvcCtx(), hOCIError, locator_, &amount, offset, PieceData(piece),
                           PieceSize, nullptr, nullptr, 0, form);
            if (r != OCI_NEED_DATA) OraCheckGlobal(r);
        } catch (...) {
            std::free(piece);
            throw;
        }
        // The library's count is believed only up to the buffer's size.
        amount = std::min<ub4>(amount, PieceSize);
        if (amount == 0) {
            std::free(piece);
            if (r == OCI_NEED_DATA) continue; // an empty piece of a poll that goes on
            break;
        }
        piece->Used = amount;
        AppendPiece(piece);
        offset += amount;
        if (r == OCI_NEED_DATA) {
            polling = true;
            continue;
        }
        if (offset > total) break;
        if (polling) {
            polling = false; // the poll is done; the next read starts after it
            continue;
        }
        if (piece->Used < PieceSize) break;
    }
}

void TOraLob::WriteLob() {
    if (!locator_) throw Exception(SLobNotAllocated);
    if (!LobInited()) throw Exception(SLobNotInited);
    if (!Connection || !Connection->SvcCtx()) throw Exception(SSvcCtxNotDefined);
    OraCheckGlobal(OCILobTrim(Connection->SvcCtx(), hOCIError, locator_, 0));
    const ub1 form = Form();
    uint32_t offset = 1;
    for (PPieceHeader p = FirstPiece(); p; p = p->Next) {
        if (p->Used == 0) continue;
        ub4 amount = p->Used;
        OraCheckGlobal(OCILobWrite(Connection->SvcCtx(), hOCIError, locator_, &amount, offset, PieceData(p),
                                   p->Used, OCI_ONE_PIECE, nullptr, nullptr, 0, form));
        offset += p->Used;
    }
}

uint32_t TOraLob::Size() {
    if (NotRead) ReadLob();
    return TBlob::Size();
}

uint32_t TOraLob::Read(uint32_t position, uint32_t count, void* dest) {
    if (NotRead) ReadLob();
    return TBlob::Read(position, count, dest);
}

void TOraLob::Write(uint32_t position, uint32_t count, const void* source) {
    if (NotRead) ReadLob();
    TBlob::Write(position, count, source);
}

// ---- Timestamp and interval holders ----

TOraTimeStamp::~TOraTimeStamp() {
    if (desc_) OCIDescriptorFree(desc_, DescType);
}

void TOraTimeStamp::AllocDesc() {
    if (desc_) return;
    dvoid* d = nullptr;
    OraCheckGlobal(OCIDescriptorAlloc(hOCIEnv, &d, DescType, 0, nullptr));
    desc_ = static_cast<OCIDateTime*>(d);
}

std::string TOraTimeStamp::AsText(int fractionDigits) {
    if (!desc_ || Indicator < 0) return std::string();
    sb2 year = 0;
    ub1 month = 0, day = 0, hour = 0, minute = 0, second = 0;
    ub4 fsec = 0;
    OraCheckGlobal(OCIDateTimeGetDate(hOCIEnv, hOCIError, desc_, &year, &month, &day));
    OraCheckGlobal(OCIDateTimeGetTime(hOCIEnv, hOCIError, desc_, &hour, &minute, &second, &fsec));
    char buf[64];
    snprintf(buf, sizeof buf, "%02u.%02u.%04d %02u:%02u:%02u", unsigned(day), unsigned(month), int(year),
             unsigned(hour), unsigned(minute), unsigned(second));
    std::string text = buf;
    fractionDigits = std::clamp(fractionDigits, 0, 9);
    if (fractionDigits > 0) {
        snprintf(buf, sizeof buf, "%09u", unsigned(std::min<ub4>(fsec, 999999999)));
        text += ',';
        text.append(buf, size_t(fractionDigits));
    }
    if (DescType == OCI_DTYPE_TIMESTAMP_TZ) {
        sb1 tzh = 0, tzm = 0;
        OraCheckGlobal(OCIDateTimeGetTimeZoneOffset(hOCIEnv, hOCIError, desc_, &tzh, &tzm));
        snprintf(buf, sizeof buf, " %c%02d:%02d", tzh < 0 || tzm < 0 ? '-' : '+', std::abs(int(tzh)),
                 std::abs(int(tzm)));
        text += buf;
    }
    return text;
}

TOraInterval::~TOraInterval() {
    if (desc_) OCIDescriptorFree(desc_, DescType);
}

void TOraInterval::AllocDesc() {
    if (desc_) return;
    dvoid* d = nullptr;
    OraCheckGlobal(OCIDescriptorAlloc(hOCIEnv, &d, DescType, 0, nullptr));
    desc_ = static_cast<OCIInterval*>(d);
}

std::string TOraInterval::AsText(int leading, int fraction) {
    if (!desc_ || Indicator < 0) return std::string();
    char buf[64] = {};
    size_t len = 0;
    OraCheckGlobal(OCIIntervalToText(hOCIEnv, hOCIError, desc_, ub1(std::clamp(leading, 0, 9)),
                                     ub1(std::clamp(fraction, 0, 9)), reinterpret_cast<OraText*>(buf),
                                     sizeof buf, &len));
    return std::string(buf, std::min(len, sizeof buf));
}

// ---- Parameter descriptor ----

TOraParamDesc::~TOraParamDesc() {
    SetObject(nullptr);
}

void TOraParamDesc::SetObject(TSharedObject* object) {
    if (object) object->AddRef();
    if (object_) object_->Release();
    object_ = object;
}

TOraCursor* TOraParamDesc::Cursor() const {
    return dataType_ == dtCursor ? static_cast<TOraCursor*>(object_) : nullptr;
}
TBlob* TOraParamDesc::Blob() const {
    return (dataType_ == dtBlob || dataType_ == dtMemo || dataType_ == dtOraBlob || dataType_ == dtOraClob)
               ? static_cast<TBlob*>(object_)
               : nullptr;
}
TOraLob* TOraParamDesc::Lob() const {
    return (dataType_ == dtOraBlob || dataType_ == dtOraClob) ? static_cast<TOraLob*>(object_) : nullptr;
}

bool TOraParamDesc::IsObjectType() const {
    switch (dataType_) {
    case dtBlob:
    case dtMemo:
    case dtCursor:
    case dtOraBlob:
    case dtOraClob:
    case dtBFile:
    case dtCFile:
        return true;
    default:
        return false;
    }
}

int TOraParamDesc::ElementSize() const {
    switch (dataType_) {
    case dtUnknown:
        return 0;
    case dtString:
    case dtFixedChar:
        return size_ < 1 ? 2 : size_ + 1;
    case dtInt32:
    case dtBoolean:
        return 4;
    case dtFloat:
        return 8;
    case dtDateTime:
    case dtDate:
    case dtTime:
        return 7;
    case dtBytes:
    case dtVarBytes:
        return std::max(size_, 1) + 2;
    case dtBlob:
    case dtMemo:
    case dtCursor:
    case dtOraBlob:
    case dtOraClob:
    case dtBFile:
    case dtCFile:
    case dtLabel:
    case dtTimeStamp:
    case dtTimeStampTZ:
    case dtTimeStampLTZ:
    case dtIntervalYM:
    case dtIntervalDS:
        return 0;
    default:
        RaiseAssertion(SUnknownDataType);
    }
}

void TOraParamDesc::AllocBuffer() {
    size_t n = size_t(ElementSize()) * size_t(length_);
    buffer_.assign(n, 0);
    indicators_.assign(size_t(length_), -1);
    exactNumber_.clear();
}

void TOraParamDesc::SetDataType(uint16_t code) {
    if (code == dtDate || code == dtTime) code = dtDateTime;
    if (code == dtExtString) code = dtString;
    if (code == dtExtVarBytes) code = dtVarBytes;
    if (code == dataType_ && (!buffer_.empty() || !ElementSize())) return;
    dataType_ = code;
    SetObject(nullptr);
    switch (code) {
    case dtBlob:
    case dtMemo: {
        TBlob* b = new TBlob(false);
        SetObject(b);
        b->Release();
        break;
    }
    case dtCursor: {
        TOraCursor* c = new TOraCursor;
        SetObject(c);
        c->Release();
        break;
    }
    case dtOraBlob:
    case dtOraClob: {
        TOraLob* l = new TOraLob(code == dtOraBlob ? SQLT_BLOB : SQLT_CLOB, nullptr);
        l->Cached = true;
        SetObject(l);
        l->Release();
        break;
    }
    default:
        break;
    }
    if (code != dtUnknown) ElementSize(); // rejects a type without a value form
    Variant keep = value_;
    AllocBuffer();
    UsedLength = -1;
    if (!keep.IsNullOrEmpty() && !IsObjectType()) SetValue(keep);
}

void TOraParamDesc::SetSize(int32_t size) {
    if (size == size_) return;
    std::vector<uint8_t> old = buffer_;
    int oldElem = ElementSize();
    std::vector<int16_t> ind = indicators_;
    size_ = size;
    int elem = ElementSize();
    buffer_.assign(size_t(elem) * size_t(length_), 0);
    for (int i = 0; i < length_ && oldElem > 0 && elem > 0; ++i) {
        size_t n = size_t(std::min(oldElem, elem));
        std::memcpy(buffer_.data() + size_t(i) * size_t(elem), old.data() + size_t(i) * size_t(oldElem), n);
        if ((dataType_ == dtString || dataType_ == dtFixedChar) && elem > 0)
            buffer_[size_t(i) * size_t(elem) + size_t(elem) - 1] = 0;
    }
    indicators_ = ind;
}

void TOraParamDesc::SetLength(int n) {
    if (n < 1) n = 1;
    if (n == length_) return;
    length_ = n;
    Variant keep = value_;
    AllocBuffer();
    if (!keep.IsNullOrEmpty() && !keep.IsArray() && !IsObjectType()) SetItemValue(1, keep);
}

void TOraParamDesc::CheckIndex(int index) const {
    if (index < 1 || index > length_) throw ERangeError(SIndexOutOfRange);
}

bool TOraParamDesc::GetItemNull(int index) {
    CheckIndex(index);
    if (dataType_ == dtCursor) return false;
    if (IsObjectType()) {
        if (dataType_ == dtOraBlob || dataType_ == dtOraClob) return false;
        TBlob* b = Blob();
        return !b || b->Size() == 0;
    }
    return indicators_[size_t(index - 1)] < 0;
}

void TOraParamDesc::SetItemNull(int index, bool isNull) {
    CheckIndex(index);
    if (isNull) {
        int elem = ElementSize();
        if (elem > 0) std::memset(buffer_.data() + size_t(index - 1) * size_t(elem), 0, size_t(elem));
        if (TBlob* b = Blob())
            if (dataType_ == dtBlob || dataType_ == dtMemo) b->Clear();
    }
    indicators_[size_t(index - 1)] = isNull ? -1 : 0;
    if (isNull && index == 1) exactNumber_.clear();
}

void TOraParamDesc::SetItemValue(int index, const Variant& value) {
    CheckIndex(index);
    if (value.IsNullOrEmpty()) {
        SetItemNull(index, true);
        return;
    }
    int elem = ElementSize();
    uint8_t* p = buffer_.data() + size_t(index - 1) * size_t(elem);
    switch (dataType_) {
    case dtString:
    case dtFixedChar: {
        std::string s = value.AsString();
        s.resize(strnlen(s.c_str(), s.size()));
        if (int(s.size()) > size_) {
            SetSize(int(s.size()));
            elem = ElementSize();
            p = buffer_.data() + size_t(index - 1) * size_t(elem);
        }
        std::memcpy(p, s.data(), s.size());
        std::memset(p + s.size(), 0, size_t(elem) - s.size());
        if (index == 1) UsedLength = int(s.size());
        break;
    }
    case dtInt32: {
        int32_t v = value.AsInteger();
        std::memcpy(p, &v, 4);
        break;
    }
    case dtBoolean: {
        int32_t v = value.AsBoolean() ? 1 : 0;
        std::memcpy(p, &v, 4);
        break;
    }
    case dtFloat: {
        if (index == 1) exactNumber_.clear();
        // A text of more than 15 digits (written with a point) keeps them: its NUMBER form is bound.
        TDecimal exact;
        std::string bytes;
        if (value.IsString() && length_ == 1 && ParseDecimal(value.AsString(), exact) &&
            exact.SignificantDigits() > 15 && oranet::DecimalToNumber(exact, bytes)) {
            double v = DecimalToDouble(exact);
            std::memcpy(p, &v, 8);
            exactNumber_ = std::move(bytes);
            break;
        }
        double v = value.AsDouble();
        std::memcpy(p, &v, 8);
        break;
    }
    case dtDateTime:
        DateTimeToOraDate(value.AsDateTime(), p);
        break;
    case dtBytes:
    case dtVarBytes: {
        std::vector<uint8_t> bytes;
        if (value.IsByteArray())
            bytes = value.Bytes();
        else {
            std::string s = value.AsString();
            bytes.assign(s.begin(), s.end());
        }
        if (int(bytes.size()) > size_) {
            SetSize(int(std::min<size_t>(bytes.size(), 65533)));
            elem = ElementSize();
            p = buffer_.data() + size_t(index - 1) * size_t(elem);
        }
        uint16_t n = uint16_t(std::min<size_t>(bytes.size(), size_t(elem - 2)));
        std::memcpy(p, &n, 2);
        if (n) std::memcpy(p + 2, bytes.data(), n);
        break;
    }
    case dtBlob:
    case dtMemo:
    case dtOraBlob:
    case dtOraClob: {
        TBlob* b = Blob();
        b->Clear();
        if (value.IsByteArray()) {
            const auto& bytes = value.Bytes();
            if (!bytes.empty()) b->Write(0, uint32_t(bytes.size()), bytes.data());
        } else
            b->SetAsString(value.AsString());
        break;
    }
    case dtUnknown:
        throw Exception(FormatMsg(SUnknownParamType, {name_}));
    default:
        RaiseConvertError();
    }
    indicators_[size_t(index - 1)] = 0;
}

Variant TOraParamDesc::GetItemValue(int index) {
    CheckIndex(index);
    if (GetItemNull(index)) return Variant::Null();
    int elem = ElementSize();
    const uint8_t* p = buffer_.data() + size_t(index - 1) * size_t(elem);
    switch (dataType_) {
    case dtString:
    case dtFixedChar:
        return Variant(std::string(reinterpret_cast<const char*>(p),
                                   strnlen(reinterpret_cast<const char*>(p), size_t(elem))));
    case dtInt32: {
        int32_t v;
        std::memcpy(&v, p, 4);
        return Variant(v);
    }
    case dtBoolean: {
        int32_t v;
        std::memcpy(&v, p, 4);
        return Variant(v != 0);
    }
    case dtFloat: {
        double v;
        std::memcpy(&v, p, 8);
        return Variant(v);
    }
    case dtDateTime:
        return Variant::FromDateTime(OraDateToDateTime(p));
    case dtBytes:
    case dtVarBytes: {
        uint16_t n;
        std::memcpy(&n, p, 2);
        n = uint16_t(std::min<int>(n, elem - 2));
        return Variant::FromBytes(p + 2, n);
    }
    case dtMemo:
    case dtOraClob:
        return Variant(Blob()->AsString());
    case dtBlob:
    case dtOraBlob: {
        std::string s = Blob()->AsString();
        return Variant::FromBytes(s.data(), s.size());
    }
    default:
        return Variant::Null();
    }
}

void TOraParamDesc::GetValue(Variant& value) {
    if (length_ > 1) {
        VariantArray items;
        for (int i = 1; i <= length_; ++i)
            items.push_back(GetItemValue(i));
        value = Variant::FromArray(std::move(items));
        return;
    }
    value = GetItemValue(1);
}

bool TOraParamDesc::SetValue(const Variant& value) {
    value_ = value;
    if (dataType_ == dtUnknown) {
        // Without a type the value waits for one (the bind rejects a typeless value that is not null).
        isNull_ = value.IsNullOrEmpty();
        return isNull_;
    }
    if (value.IsVariantArray()) {
        const auto& items = value.Items();
        for (int i = 1; i <= length_; ++i)
            SetItemValue(i, size_t(i - 1) < items.size() ? items[size_t(i - 1)] : Variant::Null());
    } else {
        SetItemValue(1, value);
    }
    isNull_ = value.IsNullOrEmpty();
    return isNull_;
}

bool TOraParamDesc::GetNull() {
    return dataType_ == dtUnknown ? value_.IsNullOrEmpty() : GetItemNull(1);
}

void TOraParamDesc::SetNull(bool isNull) {
    if (isNull) value_ = Variant::Null();
    if (dataType_ != dtUnknown)
        for (int i = 1; i <= length_; ++i)
            SetItemNull(i, isNull);
    isNull_ = isNull;
}

// ---- Connection ----

TOCIConnection::TOCIConnection() : ownerThread_(std::this_thread::get_id()) {
    InstallOraCheckGlobal();
}

TOCIConnection::~TOCIConnection() {
    try {
        Disconnect();
    } catch (...) {
    }
    internalCommand_.reset();
}

std::atomic<int> OraProcessHome{0};

void TOCIConnection::SetCallStyle(int value) {
    if (value == callStyle_) return;
    Disconnect();
    callStyle_ = value;
}

void TOCIConnection::FreeHandles() {
    // The socket goes with the service context: Abort no longer reaches it.
    callAbort_.Detach();
    // The address of a freed service context may come back for another one.
    if (svc_) TOraType::ForgetSvcCtx(svc_);
    if (ses_) OCIHandleFree(ses_, OCI_HTYPE_SESSION);
    if (svc_) OCIHandleFree(svc_, OCI_HTYPE_SVCCTX);
    if (srv_) OCIHandleFree(srv_, OCI_HTYPE_SERVER);
    if (err_) OCIHandleFree(err_, OCI_HTYPE_ERROR);
    ses_ = nullptr;
    svc_ = nullptr;
    srv_ = nullptr;
    err_ = nullptr;
}

void TOCIConnection::Check(sword status) {
    if (status == OCI_SUCCESS) return;
    if (callStyle_ != 1 && callStyle_ != 2 && effectiveCallStyle_ != 2) throw Exception(SOCINotInited);
    int code;
    std::string text;
    GetOraErrorText(status, ErrorHandle(), code, text);
    lastErrorCode_ = code;
    if (status == OCI_SUCCESS_WITH_INFO && code != 24344) return;
    EOraError e(code, text);
    // The error callback runs on the thread that owns the connection; a background run reports its error on
    // that thread when it ends.
    if (onError_ && std::this_thread::get_id() == ownerThread_) {
        TQxMethodArgs args;
        args.Sender = this;
        args.Error = &e;
        args.Fail = true;
        onError_(args);
        if (!args.Fail) throw EAbort();
    }
    throw e;
}

void TOCIConnection::Connect(const std::string&) {
    if (connected_) return;
    serverVersion_.clear();
    serverVersionKnown_ = false;
    if (OnBeforeConnect) OnBeforeConnect();
    // Client-library mode: load the library of the process-wide home (network mode installed itself already).
    if (!OCIInited) LoadOCI(OraProcessHome.load());
    if (!OCIInited) throw Exception(SOCINotInited);
    // The call style follows what the library is: one with the version-8 routines is driven with them (even
    // when UseOCI7 asks for the version-7 ones, which current libraries no longer serve).
    if (callStyle_ == 0 || (OCIFunctionGroups & OCIGroupOCI8) ||
        !(OCIFunctionGroups & (callStyle_ == 1 ? OCIGroupOCI7 : OCIGroupOCI8)))
        callStyle_ = OCIDefaultCallStyle;
    effectiveCallStyle_ = callStyle_;
    if (callStyle_ == 1) throw Exception(SOCINotInited); // version-7 calls need a loaded client library
    if (callStyle_ != 2) throw Exception(SOCINotInited);
    InstallOraCheckGlobal();
    dvoid* h = nullptr;
    try {
        if (!err_) {
            OraCheckGlobal(OCIHandleAlloc(hOCIEnv, &h, OCI_HTYPE_ERROR, 0, nullptr));
            err_ = static_cast<OCIError*>(h);
        }
        if (!svc_) {
            OraCheckGlobal(OCIHandleAlloc(hOCIEnv, &h, OCI_HTYPE_SVCCTX, 0, nullptr));
            svc_ = static_cast<OCISvcCtx*>(h);
        }
        if (!srv_) {
            OraCheckGlobal(OCIHandleAlloc(hOCIEnv, &h, OCI_HTYPE_SERVER, 0, nullptr));
            srv_ = static_cast<OCIServer*>(h);
        }
        if (!ses_) {
            OraCheckGlobal(OCIHandleAlloc(hOCIEnv, &h, OCI_HTYPE_SESSION, 0, nullptr));
            ses_ = static_cast<OCISession*>(h);
        }
        // From here on Abort reaches the connection's socket, until its handles are freed.
        if (oranet::NetCallsInstalled()) callAbort_.Attach(oranet::NetSocketOf(svc_));
    } catch (...) {
        FreeHandles();
        throw;
    }
    TConnLock lock(this);
    bool attached = false;
    try {
        Check(OCIServerAttach(srv_, err_, T(server_), sb4(server_.size()), 0));
        attached = true;
        if (oranet::NetCallsInstalled()) {
            ub4 ms = ub4(connectTimeoutMs_);
            Check(OCIAttrSet(srv_, OCI_HTYPE_SERVER, &ms, 0, oranet::NET_ATTR_CONNECT_TIMEOUT, err_));
        }
        if (OCIFunctionGroups & OCIGroupOCI7)
            Check(OCIAttrSet(srv_, OCI_HTYPE_SERVER, const_cast<char*>(internalName_.c_str()), 0,
                             OCI_ATTR_INTERNAL_NAME, err_));
        Check(OCIAttrSet(svc_, OCI_HTYPE_SVCCTX, srv_, 0, OCI_ATTR_SERVER, err_));
        ub4 credentials = 2;
        if (!username_.empty()) {
            Check(OCIAttrSet(ses_, OCI_HTYPE_SESSION, const_cast<char*>(username_.c_str()),
                             ub4(username_.size()), OCI_ATTR_USERNAME, err_));
            Check(OCIAttrSet(ses_, OCI_HTYPE_SESSION, const_cast<char*>(password_.c_str()),
                             ub4(password_.size()), OCI_ATTR_PASSWORD, err_));
            credentials = 1;
        }
        ub4 mode = connectMode_ == 1 ? 4 : connectMode_ == 2 ? 2 : 0;
        sword begun = OCISessionBegin(svc_, err_, ses_, credentials, mode);
        Check(begun);
        // A logon the server accepts with a warning (the password expires soon, ORA-28002) keeps it for the
        // one who connected.
        logonWarning_.clear();
        if (begun == OCI_SUCCESS_WITH_INFO) {
            int code = 0;
            GetOraErrorText(begun, err_, code, logonWarning_);
        }
        Check(OCIAttrSet(svc_, OCI_HTYPE_SVCCTX, ses_, 0, OCI_ATTR_SESSION, err_));
        if (OCIFunctionGroups & OCIGroupOCI7) {
            // The version is read (and cached) here. A server before 8 would want the version-7 calls, but
            // a library that has the version-8 ones is never driven with the version-7 calls.
            if (CompareOraVersions(GetServerVersion(), "8") < 0 && !(OCIFunctionGroups & OCIGroupOCI8))
                effectiveCallStyle_ = 1;
        } else if (charsetId_ != 0) {
            ub2 id = ub2(charsetId_);
            Check(OCIAttrSet(svc_, OCI_HTYPE_SVCCTX, &id, 0, OCI_ATTR_CHARSET_ID, err_));
        }
    } catch (...) {
        if (attached) OCIServerDetach(srv_, err_, 0);
        FreeHandles();
        throw;
    }
    connected_ = true;
    try {
        for (auto& slot : nls_)
            if (slot.Set) ExecInternal(AlterSessionText(slot.Name, slot.Value));
        if (!charset_.empty() || detectCharLength_) GetSessionParameters();
    } catch (...) {
        try {
            Disconnect();
        } catch (...) {
        }
        throw;
    }
}

void TOCIConnection::Disconnect() {
    if (!connected_) {
        return;
    }
    if (internalCommand_) try {
            internalCommand_->Unprepare();
        } catch (...) {
        }
    connected_ = false;
    std::exception_ptr failure;
    {
        TConnLock lock(this);
        if (ownLogon_) {
            sword r = OCISessionEnd(svc_, err_, ses_, 0);
            OCIServerDetach(srv_, err_, 0);
            if (r != 0) {
                int code;
                std::string text;
                GetOraErrorText(r, err_, code, text);
                // A session that is already gone needs no logoff.
                if (!IsFatalOraCode(code)) failure = std::make_exception_ptr(EOraError(code, text));
            }
        }
        FreeHandles();
    }
    serverVersion_.clear();
    serverVersionKnown_ = false;
    maxStringSize_ = 0;
    charsetId_ = 0;
    if (detectCharLength_) charLength_ = 0;
    for (auto& slot : nls_)
        if (!slot.Set) slot.Value.clear();
    if (failure) std::rethrow_exception(failure);
}

void TOCIConnection::StartTransaction() {
    Commit();
}

void TOCIConnection::Commit() {
    if (!connected_) return;
    TConnLock lock(this);
    Check(OCITransCommit(svc_, err_, 0));
}

void TOCIConnection::Rollback() {
    if (!connected_) return;
    TConnLock lock(this);
    Check(OCITransRollback(svc_, err_, 0));
}

void TOCIConnection::Break() {
    if (!connected_ || !svc_) return;
    // The break comes from another thread than the call it interrupts: it reports into its own error handle.
    dvoid* h = nullptr;
    if (OCIHandleAlloc(hOCIEnv, &h, OCI_HTYPE_ERROR, 0, nullptr) != 0) return;
    OCIBreak(svc_, static_cast<OCIError*>(h));
    OCIHandleFree(h, OCI_HTYPE_ERROR);
}

TOCICommand* TOCIConnection::InternalCommand() {
    if (!internalCommand_) {
        internalCommand_ = std::make_unique<TOCICommand>();
        internalCommand_->SetConnection(this);
        // The connection's own statements never commit the user's work.
        internalCommand_->SetProp(prAutoCommit, Variant(false));
    }
    return internalCommand_.get();
}

void TOCIConnection::ExecInternal(const std::string& sql) {
    TOCICommand* c = InternalCommand();
    c->Unprepare();
    c->SetSQL(sql);
    try {
        c->Execute(1);
    } catch (...) {
        c->Unprepare();
        throw;
    }
    c->Unprepare();
}

std::string TOCIConnection::GetServerVersion() {
    if (serverVersionKnown_) return serverVersion_;
    if (!connected_ && !svc_) return std::string();
    if ((OCIFunctionGroups & OCIGroupOCI7) && callStyle_ == 2) {
        char buf[256] = {};
        TConnLock lock(this);
        Check(OCIServerVersion(svc_, err_, reinterpret_cast<OraText*>(buf), 255, OCI_HTYPE_SVCCTX));
        serverVersion_ = VersionFromBanner(std::string(buf, strnlen(buf, 255)));
    } else {
        TOCICommand* c = InternalCommand();
        c->Unprepare();
        c->SetSQL(
            "begin SELECT Version INTO :Result FROM SYS.PRODUCT_COMPONENT_VERSION WHERE Upper(Product) LIKE "
            "'%ORACLE%'; end;");
        if (c->GetParamCount() > 0) {
            TOraParamDesc* p = c->Param(0);
            p->SetParamType(pdOutput);
            p->SetDataType(dtString);
            p->SetSize(65);
            p->SetNull(true);
        }
        try {
            c->Execute(1);
            Variant v;
            if (c->GetParamCount() > 0) c->Param(0)->GetValue(v);
            serverVersion_ = VarToStr(v);
        } catch (EOraError& e) {
            c->Unprepare();
            if (e.ErrorCode != 6550) throw;
            serverVersion_.clear();
        }
        c->Unprepare();
    }
    serverVersionKnown_ = true;
    return serverVersion_;
}

int TOCIConnection::MaxStringSize() {
    if (maxStringSize_ == 0) {
        int size = 2000;
        if (effectiveCallStyle_ != 1 && connected_) {
            if (OCIFunctionGroups & OCIGroupOCI7) {
                if (GetServerVersion().rfind("7", 0) != 0) size = 4000;
            } else {
                char buf[9] = {};
                TConnLock lock(this);
                Check(OCIServerVersion(svc_, err_, reinterpret_cast<OraText*>(buf), 8, OCI_HTYPE_SVCCTX));
                if (buf[6] != '7') size = 4000;
            }
        }
        if (charLength_ > 0) size /= charLength_;
        maxStringSize_ = size;
    }
    return maxStringSize_;
}

void TOCIConnection::GetSessionParameters() {
    if (!connected_ || inNlsQuery_) return;
    inNlsQuery_ = true;
    struct TGuard {
        bool& flag;
        ~TGuard() { flag = false; }
    } guard{inNlsQuery_};
    std::string sql =
        "declare  cursor NlsParamsCursor is    SELECT * FROM nls_session_parameters;begin  SELECT "
        "Nvl(Lengthb(Chr(65536)), Nvl(Lengthb(Chr(65536)), 1))    INTO :CharLength FROM dual;  for NlsRecord "
        "in "
        "NlsParamsCursor loop    if NlsRecord.parameter = 'NLS_DATE_LANGUAGE' then      :NlsDateLanguage := "
        "NlsRecord.value;    elsif NlsRecord.parameter = 'NLS_DATE_FORMAT' then      :NlsDateFormat := "
        "NlsRecord.value;";
    bool above8 = VersionAbove8(serverVersionKnown_ ? serverVersion_ : std::string());
    if (above8)
        sql += "    elsif NlsRecord.parameter = 'NLS_TIMESTAMP_FORMAT' then"
               "      :NlsTimeStampFormat := NlsRecord.value;"
               "    elsif NlsRecord.parameter = 'NLS_TIMESTAMP_TZ_FORMAT' then"
               "      :NlsTimeStampTZFormat := NlsRecord.value;";
    sql += "    end if;  end loop;";
    bool withCharset = !charset_.empty() && VersionAbove8(GetServerVersion());
    if (withCharset) sql += "  SELECT NLS_CHARSET_ID(:Charset) INTO :CharsetId FROM dual;";
    sql += "end;";
    TOCICommand* c = InternalCommand();
    c->Unprepare();
    c->SetSQL(sql);
    for (int i = 0; i < c->GetParamCount(); ++i) {
        TOraParamDesc* p = c->Param(i);
        p->SetParamType(pdOutput);
        p->SetDataType(dtString);
        p->SetSize(41);
        p->SetNull(true);
    }
    auto param = [&](const char* name) -> TOraParamDesc* {
        return static_cast<TOraParamDesc*>(c->Params().FindParam(name));
    };
    if (TOraParamDesc* p = param("CharLength")) {
        p->SetDataType(dtInt32);
        p->SetNull(true);
    }
    if (withCharset) {
        if (TOraParamDesc* p = param("Charset")) {
            p->SetParamType(pdInput);
            p->SetValue(Variant(charset_));
        }
        if (TOraParamDesc* p = param("CharsetId")) {
            p->SetDataType(dtInt32);
            p->SetNull(true);
        }
    }
    bool ok = true;
    try {
        c->Execute(1);
    } catch (EAbort&) {
        ok = false;
    } catch (std::exception&) {
        ok = false;
    }
    auto value = [&](const char* name) -> Variant {
        Variant v;
        if (TOraParamDesc* p = param(name)) p->GetValue(v);
        return v;
    };
    if (ok) {
        Variant cl = value("CharLength");
        charLength_ = cl.IsNullOrEmpty() ? 1 : cl.AsInteger();
        nls_[0].Value = VarToStr(value("NlsDateLanguage"));
        nls_[1].Value = VarToStr(value("NlsDateFormat"));
        if (above8) {
            nls_[2].Value = VarToStr(value("NlsTimeStampFormat"));
            nls_[3].Value = VarToStr(value("NlsTimeStampTZFormat"));
        }
    }
    c->Unprepare();
    if (withCharset && ok) {
        Variant id = value("CharsetId");
        if (id.IsNullOrEmpty()) throw Exception(SCannotFindCharset + charset_);
        charsetId_ = id.AsInteger();
    }
    if (OCIFunctionGroups == OCIGroupOCI8 && connected_) {
        ub2 id = ub2(charsetId_);
        TConnLock lock(this);
        Check(OCIAttrSet(svc_, OCI_HTYPE_SVCCTX, &id, 0, OCI_ATTR_CHARSET_ID, err_));
    }
}

std::string TOCIConnection::NlsValue(int slot) {
    if (nls_[slot].Value.empty() && connected_) GetSessionParameters();
    return nls_[slot].Value;
}

void TOCIConnection::SetNls(int slot, const std::string& value) {
    if (value == nls_[slot].Value) return;
    TNlsSlot before = nls_[slot];
    nls_[slot].Value = value;
    nls_[slot].Set = !value.empty();
    if (connected_ && !value.empty()) {
        try {
            ExecInternal(AlterSessionText(nls_[slot].Name, value));
        } catch (...) {
            // The server refused the value: keep the one in effect, so that the next logon does not fail on
            // it.
            nls_[slot] = before;
            throw;
        }
    }
}

void TOCIConnection::SetProp(int code, const Variant& value) {
    switch (code) {
    case prThreadSafety:
        threadSafety_ = value.AsBoolean();
        break;
    case prNlsDateFormat:
        SetNls(1, value.AsString());
        break;
    case prNlsDateLanguage:
        SetNls(0, value.AsString());
        break;
    case prNlsTimeStampFormat:
        SetNls(2, value.AsString());
        break;
    case prNlsTimeStampTZFormat:
        SetNls(3, value.AsString());
        break;
    case prConnectMode:
        connectMode_ = uint8_t(value.AsInteger());
        break;
    case prConnectTimeout:
        connectTimeoutMs_ = std::max(0, int(value.AsInteger()));
        break;
    case prCharLength: {
        int v = value.AsInteger() & 0x7F;
        if (v != charLength_ || (detectCharLength_ && v != 0)) {
            charLength_ = v;
            maxStringSize_ = 0;
            detectCharLength_ = v == 0;
            if (v == 0) GetSessionParameters();
        }
        break;
    }
    case prEnableIntegers:
        enableIntegers_ = value.AsBoolean();
        break;
    case prInternalName:
        internalName_ = value.AsString();
        break;
    case prCharset: {
        std::string v = value.AsString();
        if (v != charset_) {
            charset_ = v;
            GetSessionParameters();
        }
        break;
    }
    default:
        TQxConnection::SetProp(code, value);
    }
}

void TOCIConnection::GetProp(int code, Variant& value) {
    switch (code) {
    case prMaxStringSize:
        value = Variant(int32_t(MaxStringSize()));
        break;
    case prNlsDateFormat:
        value = Variant(NlsValue(1).substr(0, 40));
        break;
    case prNlsDateLanguage:
        value = Variant(NlsValue(0).substr(0, 40));
        break;
    case prNlsTimeStampFormat:
        value = Variant(NlsValue(2).substr(0, 40));
        break;
    case prNlsTimeStampTZFormat:
        value = Variant(NlsValue(3).substr(0, 40));
        break;
    case prCharLength:
        value = Variant(int32_t(charLength_));
        break;
    case prConnectTimeout:
        value = Variant(int32_t(connectTimeoutMs_));
        break;
    case prCharset:
        value = Variant(charset_.substr(0, 40));
        break;
    default:
        TQxConnection::GetProp(code, value);
    }
}

void TOCIConnection::SetMethodProp(int code, TQxMethod method) {
    if (code == prOnError) {
        onError_ = std::move(method);
        return;
    }
    TQxConnection::SetMethodProp(code, std::move(method));
}

std::unique_ptr<TQxCommand> TOCIConnection::CreateCommand() {
    auto c = std::make_unique<TOCICommand>();
    c->SetConnection(this);
    return c;
}

std::unique_ptr<TQxRecordSet> TOCIConnection::CreateRecordSet() {
    auto r = std::make_unique<TOCIRecordSet>();
    r->SetConnection(this);
    return r;
}
