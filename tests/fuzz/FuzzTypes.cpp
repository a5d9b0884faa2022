// Fuzz entry for the value decoders of the current generation: date-times with time zones, intervals,
// BOOLEAN, universal ROWIDs and binary floats, alone and inside a fetch's row stream.
#include "FuzzStream.h"
#include "FuzzTargets.h"

#include "oranet/NetSession315.h"
#include "oranet/NetTransport.h"
#include "oranet/NetTypes315.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

using namespace oranet;

namespace vfuzz {

namespace {

const uint8_t Types[] = {wireTimestamp, wireTimestampTz, wireTimestampLtz, wireIntervalYm,  wireIntervalDs,
                         wireBoolean,   wireUrowid,      wireBinaryFloat,  wireBinaryDouble};

void Decode(uint8_t type, int8_t precision, int8_t scale, int zone, std::string_view raw) {
    std::string text, error;
    if (type == wireBinaryFloat || type == wireBinaryDouble) {
        double v = 0;
        if (BinaryFloatValue(type, raw, v)) text = BinaryFloatText(type, v);
        return;
    }
    if (CurrentValueText({type, precision, scale}, zone, raw, text, error) &&
        text.size() > CurrentTextWidth(type, uint32_t(raw.size())))
        __builtin_trap(); // a text wider than its column would be cut
}

} // namespace

int FuzzCurrentTypesReader(const uint8_t* data, size_t size) {
    if (size < 5) return 0;
    const uint8_t type = Types[(data[0] & 0x7F) % sizeof Types];
    const auto precision = int8_t(data[1]), scale = int8_t(data[2]);
    const int zone = int(int16_t((data[3] << 8) | data[4])) % 1440;
    std::string_view raw(reinterpret_cast<const char*>(data + 5), size - 5);
    if (!(data[0] & 0x80)) {
        Decode(type, precision, scale, zone, raw);
        return 0;
    }
    // The rest is a fetch reply over one column of each type, in one DATA packet.
    std::vector<uint8_t> stream;
    uint32_t total = uint32_t(raw.size() + 10);
    const uint8_t head[10] = {
        uint8_t(total >> 24), uint8_t(total >> 16), uint8_t(total >> 8), uint8_t(total), 6, 0, 0, 0, 0, 0};
    stream.insert(stream.end(), head, head + 10);
    stream.insert(stream.end(), raw.begin(), raw.end());
    TStreamSocket sock(std::move(stream));
    TAcceptInfo accept;
    accept.version = 319;
    accept.sdu = 8192;
    TCurrentSession s(sock, accept, {});
    std::vector<TColumnInfo> columns(sizeof Types);
    for (size_t i = 0; i < columns.size(); ++i)
        columns[i].type = Types[i], columns[i].maxSize = uint32_t(data[1]) * 8, columns[i].scale = scale;
    try {
        uint32_t rows = 0;
        s.Fetch(
            1, 4, columns,
            [&](uint32_t, size_t col, const std::string* v) {
                if (v) Decode(columns[col].type, precision, scale, zone, *v);
            },
            rows);
    } catch (const std::exception&) {
        // Malformed replies end in the client's own errors; only a crash is a finding.
    }
    return 0;
}

} // namespace vfuzz
