// Fuzz entry for the LOB decoders of the current protocol generation: the LOB call's replies, rows with LOB
// locators and LONG values, and the LOB text conversion.
#include "FuzzStream.h"
#include "FuzzTargets.h"

#include "oranet/NetSession315.h"
#include "oranet/NetTns315.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

using namespace oranet;

namespace vfuzz {

int FuzzCurrentLobReader(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const size_t chunk = 1 + size_t(data[0]) * 16;
    const uint8_t selector = data[1];
    {
        std::string text;
        LobTextToCp1252(std::string_view(reinterpret_cast<const char*>(data + 2), size - 2), selector & 1,
                        text);
    }
    std::vector<uint8_t> stream = DataPackets(data, 2, size, chunk);
    TStreamSocket sock(std::move(stream));
    TAcceptInfo accepted;
    accepted.version = 319;
    accepted.sdu = 8192;
    TCurrentSession s(sock, accepted, {});
    Guarded([&] {
        // A few LOB calls of the kinds the client makes.
        for (int i = 0; i < 4; ++i) {
            std::string locator(i == 2 ? 40 : 20 + (selector >> 4), 'L'), got;
            TLobCall call;
            call.locator = &locator;
            switch ((selector >> (2 * i)) & 3) {
            case 0:
                call.operation = lobRead, call.sendAmount = true, call.amount = 100;
                call.received = &got, call.receivedLimit = 300;
                break;
            case 1:
                call.operation = lobGetLength, call.sendAmount = true;
                break;
            case 2:
                call.operation = lobCreateTemp, call.destinationOffset = 112, call.charset = 873;
                break;
            default:
                call.operation = lobTrim, call.sendAmount = true, call.amount = 5;
                break;
            }
            s.Lob(call);
        }
    });
    Guarded([&] {
        // Rows with a CLOB, a LONG RAW and a VARCHAR2 column, defined and not.
        std::vector<TColumnInfo> columns(3);
        columns[0].type = 112, columns[0].maxSize = 4000, columns[0].defineSize = 4000;
        columns[1].type = 24;
        columns[2].type = 1, columns[2].maxSize = 10, columns[2].defineSize = selector & 2 ? 5000 : 0;
        uint32_t rows = 0;
        for (int i = 0; i < 3; ++i)
            s.Fetch(
                1, 4, columns,
                [](uint32_t, size_t column, const std::string* v) {
                    TLobValue value;
                    if (column == 0 && v) TLobValue::Unpack(*v, value);
                },
                rows);
    });
    return 0;
}

} // namespace vfuzz
