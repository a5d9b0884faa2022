#include "oranet/NetAno.h"

#include <stdexcept>
#include <string>

namespace oranet {

namespace {

constexpr uint32_t AnoMagic = 0xDEADBEEF;
constexpr uint32_t AnoVersion = 0x13000000; // 19.0.0.0.0
enum : uint16_t { subString = 0, subRaw = 1, subUB1 = 2, subUB2 = 3, subVersion = 5, subStatus = 6 };
constexpr uint16_t SupervisorOk = 0x001F;
constexpr uint16_t AuthNotRequired = 0xFCFF;
constexpr uint16_t AuthDontUse = 0xFBFF;
constexpr uint16_t ClientServer = 0xE0E1;

class TWriter {
public:
    void U8(uint8_t v) { b.push_back(v); }
    void U16(uint16_t v) { U8(uint8_t(v >> 8)), U8(uint8_t(v)); }
    void U32(uint32_t v) { U16(uint16_t(v >> 16)), U16(uint16_t(v)); }
    void Service(uint16_t id, uint16_t subpackets) { U16(id), U16(subpackets), U32(0); }
    void Version() { U16(4), U16(subVersion), U32(AnoVersion); }
    std::vector<uint8_t> b;
};

[[noreturn]] void Malformed() {
    throw std::runtime_error("Malformed network services answer");
}

[[noreturn]] void NoEncryption(uint32_t error) {
    std::string text = "native network encryption not supported";
    if (error != 0) text += " (ORA-" + std::to_string(error) + ")";
    throw std::runtime_error(text);
}

class TReader {
public:
    explicit TReader(std::string_view s) : s_(s) {}
    uint8_t U8() {
        Need(1);
        return uint8_t(s_[pos_++]);
    }
    uint16_t U16() {
        uint16_t hi = U8();
        return uint16_t((hi << 8) | U8());
    }
    uint32_t U32() {
        uint32_t hi = U16();
        return (hi << 16) | U16();
    }
    std::string_view Take(size_t n) {
        Need(n);
        std::string_view v = s_.substr(pos_, n);
        pos_ += n;
        return v;
    }

private:
    void Need(size_t n) const {
        if (s_.size() - pos_ < n) Malformed();
    }
    std::string_view s_;
    size_t pos_ = 0;
};

struct TSubpacket {
    uint16_t type;
    std::string_view value;
};

uint32_t NumberOf(const TSubpacket& sp) {
    uint32_t v = 0;
    for (char c : sp.value)
        v = (v << 8) | uint8_t(c);
    return v;
}

} // namespace

std::vector<uint8_t> BuildAnoRequest(const uint8_t connectionId[8]) {
    TWriter w;
    // Header; the total length is filled in at the end.
    w.U32(AnoMagic), w.U16(0), w.U32(AnoVersion), w.U16(4), w.U8(0);
    // Supervisor: version, connection id, the services it supervises.
    w.Service(anoSupervisor, 3);
    w.Version();
    w.U16(8), w.U16(subRaw);
    for (int i = 0; i < 8; ++i)
        w.U8(connectionId[i]);
    const uint16_t services[] = {anoAuthentication, anoEncryption, anoDataIntegrity, anoSupervisor};
    w.U16(uint16_t(10 + 2 * std::size(services))), w.U16(subRaw), w.U32(AnoMagic), w.U16(subUB2);
    w.U32(uint32_t(std::size(services)));
    for (uint16_t s : services)
        w.U16(s);
    // Authentication: not required; the one adapter named is TCPS.
    w.Service(anoAuthentication, 5);
    w.Version();
    w.U16(2), w.U16(subUB2), w.U16(ClientServer);
    w.U16(2), w.U16(subStatus), w.U16(AuthNotRequired);
    w.U16(1), w.U16(subUB1), w.U8(2);
    w.U16(4), w.U16(subString);
    for (char c : std::string_view("tcps"))
        w.U8(uint8_t(c));
    // Encryption and data integrity: no algorithm.
    for (uint16_t s : {anoEncryption, anoDataIntegrity}) {
        w.Service(s, 2);
        w.Version();
        w.U16(1), w.U16(subRaw), w.U8(0);
    }
    w.b[4] = uint8_t(w.b.size() >> 8);
    w.b[5] = uint8_t(w.b.size());
    return w.b;
}

void CheckAnoReply(std::string_view reply) {
    TReader r(reply);
    if (r.U32() != AnoMagic) Malformed();
    r.U16(); // length
    r.U32(); // the server's version
    uint16_t count = r.U16();
    r.U8(); // flags
    if (count > 16) Malformed();
    for (uint16_t i = 0; i < count; ++i) {
        uint16_t service = r.U16();
        uint16_t subpackets = r.U16();
        uint32_t error = r.U32();
        if (service < anoAuthentication || service > anoSupervisor || subpackets > 64) Malformed();
        if (error != 0) {
            if (service == anoEncryption || service == anoDataIntegrity || error == 12650 || error == 12660)
                NoEncryption(error);
            throw std::runtime_error("Network services negotiation failed (ORA-" + std::to_string(error) +
                                     ")");
        }
        TSubpacket subs[64];
        for (uint16_t k = 0; k < subpackets; ++k) {
            uint16_t length = r.U16();
            subs[k].type = r.U16();
            subs[k].value = r.Take(length);
        }
        if (subpackets < 2 || subs[0].type != subVersion) Malformed();
        switch (service) {
        case anoSupervisor:
            if (subs[1].type != subStatus || NumberOf(subs[1]) != SupervisorOk) Malformed();
            break;
        case anoAuthentication:
            // Anything but "don't use authentication" asks for an adapter we do not have.
            if (subs[1].type != subStatus) Malformed();
            if (NumberOf(subs[1]) != AuthDontUse)
                throw std::runtime_error("Network authentication services not supported");
            break;
        default:
            // The algorithm chosen: 0 is none.
            if (subs[1].value.size() != 1) Malformed();
            if (subs[1].value[0] != 0) NoEncryption(0);
            break;
        }
    }
}

} // namespace oranet
