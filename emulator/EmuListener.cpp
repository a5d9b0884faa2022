#include "emulator/EmuListener.h"

#include "emulator/EmuValues.h"

namespace vemu {

namespace {

// The value of "(KEY=value)" in the connect data, blanks around it dropped; "" when the key is absent.
std::string ConnectDataValue(const std::string& descriptor, const char* key) {
    const std::string up = UpperAscii(descriptor);
    const std::string k = "(" + std::string(key);
    for (size_t p = up.find(k); p != std::string::npos; p = up.find(k, p + 1)) {
        size_t s = p + k.size();
        while (s < up.size() && up[s] == ' ')
            ++s;
        if (s >= up.size() || up[s] != '=') continue;
        size_t e = descriptor.find(')', s);
        std::string v = descriptor.substr(s + 1, e == std::string::npos ? std::string::npos : e - s - 1);
        while (!v.empty() && v.back() == ' ')
            v.pop_back();
        while (!v.empty() && v.front() == ' ')
            v.erase(0, 1);
        return v;
    }
    return {};
}

} // namespace

int ListenerRefusal(const std::string& descriptor, const EmuOptions& o) {
    const std::string sid = ConnectDataValue(descriptor, "SID");
    const std::string service = ConnectDataValue(descriptor, "SERVICE_NAME");
    if (!sid.empty() || service.empty()) return UpperAscii(sid) == UpperAscii(o.sid) ? 0 : 12505;
    const std::string s = UpperAscii(service);
    if (s == UpperAscii(o.sid) || (!o.service.empty() && s == UpperAscii(o.service))) return 0;
    return 12514;
}

std::vector<uint8_t> ListenerRefuseBody(int error) {
    const std::string code = std::to_string(error);
    const std::string text = "(DESCRIPTION=(TMP=)(VSNNUM=135294976)(ERR=" + code +
                             ")(ERROR_STACK=(ERROR=(CODE=" + code + ")(EMFI=4))))";
    std::vector<uint8_t> body = {1, 0, static_cast<uint8_t>(text.size() >> 8),
                                 static_cast<uint8_t>(text.size())};
    body.insert(body.end(), text.begin(), text.end());
    return body;
}

} // namespace vemu
