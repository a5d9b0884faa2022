// LOB locators and the LOB calls of the current protocol generation: length, read, write, trim, chunk size,
// temporary LOBs (create and free, also piggybacked), open and close.
#include "emulator/EmuModernSession.h"
#include "emulator/EmuNetWords.h"

namespace vemu {

namespace {

// LOB operations.
constexpr uint32_t kLobGetLength = 0x0001, kLobRead = 0x0002, kLobTrim = 0x0020, kLobWrite = 0x0040,
                   kLobGetChunkSize = 0x4000, kLobCreateTemp = 0x0110, kLobFreeTemp = 0x0111,
                   kLobOpen = 0x8000, kLobClose = 0x10000, kLobIsOpen = 0x11000, kLobArray = 0x80000;

constexpr size_t kHeader = 16;      // the locator's fixed part the client looks into
constexpr size_t kTempLocator = 40; // the size a client allocates for a temporary LOB's locator
constexpr uint32_t kChunkSize = 32512;
constexpr size_t kMaxLobChunk = 64u << 20;
constexpr uint8_t kFlagInit = 0x08, kFlagTemp = 0x01;

// Length of UTF-8 text in UTF-16 code units (what clients count CLOB offsets and amounts in).
uint64_t Utf16Units(const std::string& s) {
    uint64_t n = 0;
    for (unsigned char c : s)
        if ((c & 0xC0) != 0x80) n += c >= 0xF0 ? 2 : 1;
    return n;
}

// Byte offset of the UTF-16 unit at position units (clamped to the end).
size_t ByteOffset(const std::string& s, uint64_t units) {
    size_t i = 0;
    while (i < s.size() && units > 0) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        size_t len = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        units -= std::min<uint64_t>(units, c >= 0xF0 ? 2 : 1);
        i += len;
    }
    return std::min(i, s.size());
}

} // namespace

std::string WireLocator(const std::string& engineLocator, bool blob, bool temp) {
    std::string w(kHeader, '\0');
    w += engineLocator;
    if (w.size() < kTempLocator) w.resize(kTempLocator, '\0');
    w[0] = static_cast<char>((w.size() - 2) >> 8);
    w[1] = static_cast<char>(w.size() - 2);
    w[3] = 4; // locator version
    w[5] = static_cast<char>(kFlagInit);
    w[7] = static_cast<char>(temp ? kFlagTemp : 0);
    w[8] = static_cast<char>(engineLocator.size() >> 8);
    w[9] = static_cast<char>(engineLocator.size());
    w[10] = blob ? 'B' : 'C';
    return w;
}

bool EngineLocator(const std::string& wire, std::string& engineLocator) {
    if (wire.size() < kHeader || wire.size() > 4096) return false;
    size_t n = static_cast<size_t>(static_cast<uint8_t>(wire[8])) << 8 | static_cast<uint8_t>(wire[9]);
    if (n == 0 || n > wire.size() - kHeader) return false;
    engineLocator = wire.substr(kHeader, n);
    return engineLocator.rfind("VEMULOB", 0) == 0;
}

void ModernSession::WriteLobValue(const Value& content, const std::string& engineLocator, bool blob,
                                  bool temp) {
    std::string loc = WireLocator(engineLocator, blob, temp);
    w_.WUB4(loc.size());
    w_.WUB8(blob ? content.s.size() : Utf16Units(content.s));
    w_.WUB4(kChunkSize);
    w_.WBytesWithLength(loc);
}

void ModernSession::WriteLobColumn(EmuStatement& s, int c, const ColumnMeta& col) {
    Value v = eng_->ColumnValue(s, c);
    bool blob = col.t.type == kOraBlob;
    if (v.kind == Value::Null && !v.isLocator) return w_.WUB4(0);
    if (!v.isLocator && s.rowidColumn >= 0 && !col.originTable.empty()) {
        Value rid = eng_->ColumnValue(s, s.rowidColumn);
        if (rid.kind == Value::Int)
            return WriteLobValue(v, eng_->MakeLocator(col.t.type, col.originTable, col.originColumn, rid.i),
                                 blob, false);
    }
    WriteLobOut(v, blob);
}

void ModernSession::WriteLobOut(const Value& v, bool blob) {
    if (v.kind == Value::Null && !v.isLocator) return w_.WUB4(0);
    if (v.isLocator) {
        Value content;
        bool isClob = false;
        OraError err;
        if (!eng_->ReadLob(v.s, content.s, isClob, err)) return w_.WUB4(0);
        return WriteLobValue(content, v.s, blob, v.s.rfind("VEMULOBT", 0) == 0);
    }
    std::string text = v.kind == Value::Text || v.kind == Value::Blob ? v.s : eng_->ValueText(v, false);
    Value content;
    content.s = text;
    WriteLobValue(content, eng_->MakeTempLocator(blob ? kOraBlob : kOraClob, text), blob, true);
}

void ModernSession::LobOp() {
    uint8_t hasSource = w_.U8();
    uint32_t sourceLen = w_.UB4();
    w_.U8();  // destination locator
    w_.UB4(); // destination length (the duration of a temporary LOB)
    w_.UB4();
    w_.UB4();
    w_.U8(); // pointer (character set)
    w_.U8();
    w_.U8(); // pointer (flag answered)
    uint32_t op = w_.UB4();
    w_.U8();
    w_.U8();
    uint64_t sourceOffset = w_.UB8();
    uint64_t destOffset = w_.UB8();
    uint8_t sendAmount = w_.U8();
    for (int i = 0; i < 3; ++i)
        w_.U16BE();
    if (!hasSource || sourceLen < kHeader || sourceLen > 4096)
        throw ProtocolError("LOB call without a locator");
    std::string wire = w_.Raw(sourceLen);
    uint32_t charset = 0;
    if (op == kLobCreateTemp) charset = w_.UB4();
    std::string data;
    bool hasData = false;
    if (op == kLobWrite) {
        if (w_.U8() != net::kMsgLobData) throw ProtocolError("LOB write without its data");
        data = w_.BytesWithLength(kMaxLobChunk);
        hasData = true;
    }
    uint64_t amount = sendAmount ? w_.UB8() : 0;

    auto answer = [&](const std::string& locator, bool withAmount, int64_t value) {
        w_.W8(net::kMsgParameter);
        w_.WBytes(locator.data(), locator.size());
        if (withAmount)
            w_.WUB8(static_cast<uint64_t>(value)); // a signed value the client reads; never negative
        WriteCallEnd(OraError());
    };
    if (op == kLobCreateTemp) {
        bool blob = destOffset == kOraBlob;
        if (!blob && destOffset != kOraClob) throw ProtocolError("temporary LOB of unknown type");
        std::string loc = WireLocator(eng_->MakeTempLocator(blob ? kOraBlob : kOraClob, ""), blob, true);
        if (loc.size() != sourceLen) throw ProtocolError("temporary LOB locator of an unexpected size");
        w_.W8(net::kMsgParameter);
        w_.WBytes(loc.data(), loc.size());
        w_.WUB2(charset);
        w_.W8(0);
        return WriteCallEnd(OraError());
    }
    std::string engineLoc;
    if (!EngineLocator(wire, engineLoc)) return WriteCallEnd(MakeError(22275));
    std::string content;
    bool isClob = false;
    OraError err;
    if (!eng_->ReadLob(engineLoc, content, isClob, err)) return WriteCallEnd(err);
    switch (op) {
    case kLobGetLength:
        return answer(wire, sendAmount, static_cast<int64_t>(isClob ? Utf16Units(content) : content.size()));
    case kLobGetChunkSize:
        return answer(wire, sendAmount, kChunkSize);
    case kLobRead: {
        if (sourceOffset == 0) return WriteCallEnd(MakeError(22275));
        size_t from = isClob ? ByteOffset(content, sourceOffset - 1)
                             : std::min<size_t>(sourceOffset - 1, content.size());
        size_t to = isClob ? from + ByteOffset(content.substr(from), amount)
                           : from + std::min<size_t>(amount, content.size() - from);
        std::string piece = content.substr(from, to - from);
        if (!piece.empty()) {
            w_.W8(net::kMsgLobData);
            w_.WBytesWithLength(piece);
        }
        return answer(wire, sendAmount, static_cast<int64_t>(isClob ? Utf16Units(piece) : piece.size()));
    }
    case kLobWrite: {
        if (!hasData || sourceOffset == 0) throw ProtocolError("LOB write without offset or data");
        size_t at = isClob ? ByteOffset(content, sourceOffset - 1) : static_cast<size_t>(sourceOffset - 1);
        if (at > content.size()) content.resize(at, isClob ? ' ' : '\0');
        content.replace(at, std::min(data.size(), content.size() - at), data);
        if (OraError e = eng_->StoreLob(engineLoc, content)) return WriteCallEnd(e);
        return answer(wire, sendAmount, static_cast<int64_t>(amount));
    }
    case kLobTrim: {
        size_t keep = isClob ? ByteOffset(content, amount) : std::min<size_t>(amount, content.size());
        content.resize(keep);
        if (OraError e = eng_->StoreLob(engineLoc, content)) return WriteCallEnd(e);
        return answer(wire, sendAmount, static_cast<int64_t>(amount));
    }
    case kLobFreeTemp:
    case kLobOpen:
    case kLobClose:
        return answer(wire, sendAmount, 0);
    case kLobIsOpen:
        w_.W8(net::kMsgParameter);
        w_.WBytes(wire.data(), wire.size());
        if (sendAmount) w_.WUB8(0);
        w_.W8(0); // not open
        return WriteCallEnd(OraError());
    default:
        throw ProtocolError("unsupported LOB operation " + std::to_string(op));
    }
}

void ModernSession::FreeTempLobsPiggyback() {
    if (w_.U8() != 1) throw ProtocolError("temporary LOB list without its pointer");
    uint32_t total = w_.UB4();
    if (total > (1u << 20)) throw ProtocolError("temporary LOB list too long");
    w_.U8();
    w_.UB4();
    w_.UB4();
    w_.UB4();
    w_.U8();
    w_.U8();
    w_.U8();
    if (w_.UB4() != (kLobFreeTemp | kLobArray))
        throw ProtocolError("piggybacked LOB call that frees nothing");
    w_.U8();
    w_.UB4();
    w_.UB8();
    w_.UB8();
    w_.U8();
    for (int i = 0; i < 3; ++i) {
        w_.U8();
        w_.UB4();
    }
    std::string all = w_.Raw(total);
    // each locator carries its length (after the first two bytes) in its first two bytes
    for (size_t at = 0; at < all.size();) {
        if (all.size() - at < 2) throw ProtocolError("cut temporary LOB locator");
        size_t n =
            (static_cast<size_t>(static_cast<uint8_t>(all[at])) << 8 | static_cast<uint8_t>(all[at + 1])) + 2;
        if (n > all.size() - at) throw ProtocolError("cut temporary LOB locator");
        at += n; // the engine keeps a bounded number of temporary LOBs and drops the oldest
    }
}

} // namespace vemu
