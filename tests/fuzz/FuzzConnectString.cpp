// Server strings and tnsnames.ora files from arbitrary bytes: the input is scanned as an alias file, each of
// its first aliases is resolved through it, and the input itself is parsed as a server string and as a
// connect descriptor. Every failure must be the parser's own message.
#include "FuzzTargets.h"

#include "oranet/ConnectString.h"
#include "oranet/TnsNames.h"

#include <stdexcept>
#include <string>

namespace vfuzz {

int FuzzConnectString(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    oranet::TTnsFile file;
    file.path = "fuzz/tnsnames.ora";
    file.entries = oranet::ScanTnsNames(text);
    const std::vector<std::string> names = oranet::TnsAliasNames(file);
    for (size_t i = 0; i < names.size() && i < 8; ++i) {
        try {
            oranet::TConnectAddress a = oranet::ParseServerText(names[i], file);
            oranet::ConnectDescriptor(a);
        } catch (const std::runtime_error&) {
            // a broken entry: its message is the answer
        }
    }
    try {
        oranet::ConnectDescriptor(oranet::ParseServerText(text, file));
    } catch (const std::runtime_error&) {
        // a wrong string: its message is the answer
    }
    try {
        oranet::ParseDescriptor(text);
    } catch (const std::runtime_error&) {
        // a wrong descriptor: its message is the answer
    }
    return 0;
}

} // namespace vfuzz
