// Fuzz entries for the decoders of the current protocol generation.
#include "FuzzStream.h"
#include "FuzzTargets.h"

#include "oranet/NetAno.h"
#include "oranet/NetBind315.h"
#include "oranet/NetSession315.h"
#include "oranet/NetTns315.h"
#include "oranet/NetTransport.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

using namespace oranet;

namespace vfuzz {

namespace {

TAcceptInfo Accept(uint32_t sdu) {
    TAcceptInfo a;
    a.version = 319;
    a.sdu = sdu;
    return a;
}

} // namespace

int FuzzCurrentTnsReader(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const uint8_t* p = data + 1;
    size_t n = size - 1;
    std::vector<uint8_t> rest(p, p + n);
    switch (data[0] % 4) {
    case 0:
        Guarded([&] { ParseAccept(p, int(n)); });
        Guarded([&] { RefuseErrorNumber(RefuseText(p, int(n))); });
        break;
    case 1:
        Guarded([&] { CheckAnoReply(std::string_view(reinterpret_cast<const char*>(p), n)); });
        break;
    case 2: // the listener's answers to a CONNECT, in the classic framing
        Guarded([&] {
            TNetTransport t(std::make_unique<TStreamSocket>(rest));
            TAcceptInfo a;
            t.ConnectDual("h", 1521, "S", a);
        });
        break;
    default: // packets after a current ACCEPT
        Guarded([&] {
            TStreamSocket s(rest);
            TTnsLink link(s, Accept(512 + uint32_t(data[0]) * 64));
            uint16_t flags = 0;
            for (int i = 0; i < 64; ++i)
                link.ReadData(flags);
        });
        break;
    }
    return 0;
}

int FuzzCurrentTtcReader(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    // The first bytes choose the packet size and the exchange; the rest is the server's TTC stream, cut into
    // DATA packets.
    size_t chunk = 1 + size_t(data[0]) * 16;
    uint8_t selector = data[1];
    std::vector<uint8_t> stream = DataPackets(data, 2, size, chunk);
    TStreamSocket sock(std::move(stream));
    TCurrentSession s(sock, Accept(8192), {});
    s.random = [](uint8_t* p, size_t n) { std::memset(p, 7, n); };
    Guarded([&] {
        if (selector & 1) s.Negotiate();
        TClientInfo client{"h", "u", "1:1", "p"};
        if (selector & 2) s.Logon("SCOTT", "tiger", client);
        if (selector & 4) {
            // A query: its describe, then fetches into a sink that keeps nothing.
            uint32_t cursor = 0, rows = 0;
            std::vector<TColumnInfo> columns;
            s.Execute(cursor, "SELECT * FROM T", true, false, false, columns);
            for (int i = 0; i < 4; ++i)
                s.Fetch(
                    cursor, 1 + selector % 16, columns, [](uint32_t, size_t, const std::string*) {}, rows);
        }
        for (int i = 0; i < 4; ++i)
            s.Simple(fnCommit);
    });
    return 0;
}

int FuzzCurrentBindReader(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    // The first byte chooses the packet size; the rest is the server's reply to a PL/SQL block with a string,
    // a cursor, a CLOB locator and a NUMBER bound, whose outputs are stored into small buffers.
    size_t chunk = 1 + size_t(data[0]) * 16;
    std::vector<uint8_t> stream = DataPackets(data, 1, size, chunk);
    TStreamSocket sock(std::move(stream));
    TCurrentSession s(sock, Accept(8192), {});
    char text[8] = {};
    int32_t number = 0;
    TNetBind textBind(nullptr), numberBind(nullptr);
    textBind.dataType = oracall::SQLT_STR, textBind.value = text, textBind.valueSize = sizeof text;
    numberBind.dataType = oracall::SQLT_INT, numberBind.value = &number, numberBind.valueSize = 4;
    TCallBinds binds;
    binds.descs.resize(4);
    binds.descs[0].type = 1, binds.descs[0].maxSize = 24, binds.descs[0].charsetForm = 1;
    binds.descs[1].type = 102, binds.descs[1].maxSize = 4;
    binds.descs[2].type = 112, binds.descs[2].maxSize = 112, binds.descs[2].charsetForm = 1;
    binds.descs[3].type = 2, binds.descs[3].maxSize = 22;
    binds.plsql = true;
    binds.writeRow = [](TTtcWriter& w, uint32_t) {
        for (int i = 0; i < 4; ++i)
            w.U8(0);
    };
    binds.out = [&](size_t i, const std::string* raw, uint32_t, const std::vector<TColumnInfo>*) {
        if (i == 0) StoreCurrentOutValue(textBind, raw);
        if (i == 3) StoreCurrentOutValue(numberBind, raw);
    };
    Guarded([&] {
        for (int i = 0; i < 2; ++i) {
            uint32_t cursor = 0;
            std::vector<TColumnInfo> columns;
            s.Execute(cursor, "BEGIN X(:A, :C, :L, :N); END;", false, true, false, columns, &binds);
        }
    });
    return 0;
}

} // namespace vfuzz
