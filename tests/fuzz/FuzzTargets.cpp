#include "FuzzTargets.h"

#include "oranet/NetErrors.h"
#include "oranet/NetHandles.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

using namespace oranet;
using namespace oracall;

namespace vfuzz {

namespace {

// Serves the input as the received stream; what the client sends is dropped.
class TFeedSocket : public TWinSocket {
public:
    TFeedSocket(const uint8_t* d, size_t n) : data_(d), size_(n) {}
    void Open(const std::string&, int) override { connected_ = true; }
    void Close() override { connected_ = false; }
    bool Connected() const override { return connected_; }
    int SendBuf(const void*, int count) override { return connected_ ? count : 0; }
    int ReceiveBuf(void* buffer, int count) override {
        if (!connected_ || at_ >= size_) return 0;
        size_t n = std::min(size_t(count), size_ - at_);
        std::memcpy(buffer, data_ + at_, n);
        at_ += n;
        return int(n);
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
    bool connected_ = true;
};

// The first bytes choose the layout; the rest is a TTC stream that is cut into DATA packets.
struct TSetup {
    int protocol = 6;
    int chunk = 2038;
    int selector = 0;
    std::vector<uint8_t> stream;
};

TSetup Frame(const uint8_t* data, size_t size) {
    TSetup s;
    if (size < 3) return s;
    s.protocol = 4 + data[0] % 3;
    s.chunk = 1 + data[1] % 2038;
    s.selector = data[2];
    const uint8_t* p = data + 3;
    size_t n = size - 3;
    for (size_t at = 0; at < n; at += size_t(s.chunk)) {
        size_t len = std::min(n - at, size_t(s.chunk));
        size_t total = len + 10;
        uint8_t head[10] = {uint8_t(total >> 8), uint8_t(total), 0, 0, 6, 0, 0, 0, 0, 0};
        s.stream.insert(s.stream.end(), head, head + 10);
        s.stream.insert(s.stream.end(), p + at, p + at + len);
    }
    return s;
}

struct TRig {
    std::unique_ptr<TNetConnection> conn;
    TNetErrorHandle err{nullptr};
    explicit TRig(const TSetup& s) {
        conn = std::make_unique<TNetConnection>(
            nullptr, std::make_unique<TFeedSocket>(s.stream.data(), s.stream.size()));
        conn->protocolVersion = uint8_t(s.protocol);
        conn->serverVersion = s.protocol == 4 ? 7230 : s.protocol == 5 ? 8030 : 8100;
        conn->maxInlineString = conn->serverVersion >= 8000 ? 4000 : 2000;
        conn->clientInfo = [] { return TClientInfo{"h", "u", "1:2", "p"}; };
        if (s.selector & 0x80) conn->transport->SetNegotiatedRepresentation();
        conn->transport->skipChunk254 = (s.selector & 0x40) != 0;
    }
};

template <class F> int Guard(F f) {
    try {
        f();
    } catch (const std::exception&) {
        // Every malformed input must end in one of the client's own errors, never in a crash.
    }
    return 0;
}

} // namespace

int FuzzPacketReader(const uint8_t* data, size_t size) {
    auto t = std::make_unique<TNetTransport>(std::make_unique<TFeedSocket>(data, size));
    return Guard([&] {
        std::string scratch;
        for (int i = 0; i < 10000; ++i) {
            switch (t->ReadUB1() % 7) {
            case 0:
                t->ReadUB2();
                break;
            case 1:
                t->ReadUB4();
                break;
            case 2:
                t->ReadValue(scratch);
                break;
            case 3:
                t->ReadMessageText();
                break;
            case 4:
                t->ReadZText(50);
                break;
            case 5:
                t->ReadShortBytes();
                break;
            case 6:
                t->SetNegotiatedRepresentation();
                break;
            }
        }
    });
}

int FuzzStatusReader(const uint8_t* data, size_t size) {
    TSetup s = Frame(data, size);
    TRig r(s);
    TNetCursor cur(nullptr);
    cur.connection = r.conn.get();
    cur.transport = r.conn->transport.get();
    return Guard([&] {
        switch (s.selector & 7) {
        case 0:
            r.conn->ReadStatus(&r.err, &cur);
            break;
        case 1:
            r.conn->ReadWarning();
            break;
        case 2:
            r.conn->ReadSimpleReply(&r.err);
            break;
        case 3:
            r.conn->ReadProtocol();
            break;
        case 4:
            r.conn->ReadDataTypes();
            break;
        case 5:
            r.conn->ReadLogonReply(1, &r.err);
            break;
        case 6:
            r.conn->ReadLogonReply(2, &r.err);
            break;
        case 7:
            cur.Close(&r.err);
            break;
        }
    });
}

int FuzzDescribeReader(const uint8_t* data, size_t size) {
    TSetup s = Frame(data, size);
    TRig r(s);
    TNetCursor cur(nullptr);
    cur.connection = r.conn.get();
    cur.transport = r.conn->transport.get();
    cur.cursorId = 1;
    return Guard([&] {
        switch (s.selector & 3) {
        case 0:
            cur.Describe43(&r.err);
            break;
        case 1:
            cur.Describe98(nullptr, &r.err);
            break;
        case 2:
            cur.OpenCursor(&r.err);
            break;
        case 3:
            cur.DescribeOnly(&r.err);
            break;
        }
    });
}

namespace {

// The same fetch reply into defines of plain types only, which are read in place from the packet buffer.
// Every buffer has exactly the room for the rows asked for, so that a value written too far, or a row
// beyond the fetch size that is stored, is a memory fault.
void FuzzPlainRows(const TSetup& s) {
    TRig r(s);
    TNetCursor cur(nullptr);
    TNetErrorHandle err(nullptr);
    cur.Prepare("select * from t", &err);
    cur.connection = r.conn.get();
    cur.transport = r.conn->transport.get();
    cur.cursorId = 1;
    const int rows = 1 + (s.selector >> 4) % 4;
    const struct {
        ub2 type;
        sb4 size;
    } items[] = {{SQLT_INT, 4}, {SQLT_INT, 8}, {SQLT_FLT, 8}, {SQLT_FLT, 4}, {SQLT_STR, 8},
                 {SQLT_AFC, 5}, {SQLT_DAT, 7}, {SQLT_BIN, 6}, {SQLT_CHR, 3}};
    std::vector<std::unique_ptr<uint8_t[]>> buffers;
    for (const auto& it : items) {
        auto d = std::make_unique<TNetDefine>(&cur);
        d->dataType = it.type;
        d->valueSize = it.size;
        d->valueSkip = uint32_t(it.size);
        buffers.push_back(std::make_unique<uint8_t[]>(size_t(it.size * rows)));
        d->value = buffers.back().get();
        buffers.push_back(std::make_unique<uint8_t[]>(sizeof(sb2) * size_t(rows)));
        d->indicator = buffers.back().get();
        buffers.push_back(std::make_unique<uint8_t[]>(sizeof(ub2) * size_t(rows)));
        d->length = buffers.back().get();
        cur.defines.push_back(std::move(d));
    }
    Guard([&] {
        cur.fetchRows = rows;
        cur.CombinedCall(coFetch, nullptr, &err, false, true);
    });
}

} // namespace

int FuzzRowReader(const uint8_t* data, size_t size) {
    TSetup s = Frame(data, size);
    TRig r(s);
    TNetCursor cur(nullptr);
    TNetErrorHandle err(nullptr);
    cur.Prepare((s.selector & 1) ? "begin p(:a, :b, :c); end;" : "select * from t where a = :a and b = :b",
                &err);
    cur.connection = r.conn.get();
    cur.transport = r.conn->transport.get();
    cur.cursorId = 1;

    constexpr int Rows = 4;
    static int32_t ints[Rows];
    static double floats[Rows];
    static char strs[Rows][8];
    static char chars[Rows][5];
    static uint8_t raws[Rows][6];
    static sb2 inds[8][Rows];
    static ub2 lens[8][Rows];
    static char longBuf[16];
    static ub4 longRoom;
    TNetCursor target(nullptr);
    TNetHandle* targetRef = &target;
    TNetLobLocator lob(nullptr);
    TNetHandle* lobRef = &lob;
    struct Item {
        ub2 type;
        void* value;
        sb4 size;
    } items[] = {{SQLT_INT, ints, 4},        {SQLT_FLT, floats, 8},  {SQLT_STR, strs, 8},
                 {SQLT_AFC, chars, 5},       {SQLT_BIN, raws, 6},    {SQLT_LNG, nullptr, 0},
                 {SQLT_RSET, &targetRef, 0}, {SQLT_BLOB, &lobRef, 0}};
    auto longCb = [](dvoid*, OCIDefine*, ub4, dvoid** bufpp, ub4** alenpp, ub1*, dvoid** indpp,
                     ub2**) -> sb4 {
        longRoom = sizeof longBuf;
        *bufpp = longBuf;
        *alenpp = &longRoom;
        *indpp = &inds[5][0];
        return 0;
    };
    if (s.selector & 2) {
        for (auto& it : items) {
            auto d = std::make_unique<TNetDefine>(&cur);
            d->dataType = it.type;
            d->value = it.value;
            d->valueSize = it.size;
            // The pointer-holding items share one slot for every row.
            d->valueSkip = (it.type == SQLT_RSET || it.type == SQLT_BLOB) ? 0 : uint32_t(it.size);
            size_t k = cur.defines.size();
            d->indicator = inds[k];
            d->length = lens[k];
            if (it.type == SQLT_LNG) d->outCallback = reinterpret_cast<void*>(+longCb);
            cur.defines.push_back(std::move(d));
        }
    } else {
        static int32_t in[Rows] = {1, 2, 3, 4};
        static char outs[Rows][8];
        size_t k = 0;
        for (auto& b : cur.binds) {
            b->dataType = k == 0 ? SQLT_INT : SQLT_STR;
            b->value = k == 0 ? static_cast<void*>(in) : static_cast<void*>(outs);
            b->valueSize = k == 0 ? 4 : 8;
            b->valueSkip = uint32_t(b->valueSize);
            b->indicator = inds[k];
            if (k == 1 && (s.selector & 4)) {
                b->maxArrayLength = 3;
                b->currentCount = &longRoom;
            }
            ++k;
        }
    }
    Guard([&] {
        cur.iterations = 1 + (s.selector >> 4) % Rows;
        cur.fetchRows = Rows;
        uint32_t options = (s.selector & 2) ? coFetch : coExecute;
        cur.CombinedCall(options, nullptr, &err, !(s.selector & 2), (s.selector & 2) != 0);
    });
    if (s.selector & 2) FuzzPlainRows(s);
    return 0;
}

} // namespace vfuzz
