// The server string the user types, turned into the address the network client connects to, and the
// connect descriptor sent to the listener.
//
// Forms, tried in this order:
//   (DESCRIPTION=...)           a connect descriptor: the first TCP address, SERVICE_NAME or SID
//   [//]host[:port]/service     Easy Connect; port 1521 when left out; ":server" and "/instance" may follow
//                               the service (host:1521/orcl:dedicated/orcl1)
//   host:port:sid               the classic form, with its defaults (local, 1521, orcl) and rules as ever
//   name                        a tnsnames.ora alias; a name that is none is a host (SID orcl), as ever
// Failures are EConnectString with a German message naming what is wrong.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace oranet {

struct TTnsFile;

class EConnectString : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct TConnectAddress {
    std::string host = "local";
    int port = 1521;
    std::string sid = "orcl";     // the connect data's SID when no service is named
    std::string serviceName;      // not empty: the connect data names SERVICE_NAME instead of SID
    std::string connectDataExtra; // further CONNECT_DATA parameters kept from a descriptor or Easy Connect:
                                  // "(SERVER=DEDICATED)(INSTANCE_NAME=orcl1)"
    std::string alias;            // the tnsnames.ora alias the address came from
    std::string aliasFile;        // and the file that holds it
    // A plain name that is no alias was taken for a host; when that host cannot be found, this says where
    // the alias was looked for.
    std::string notAnAlias;

    bool ByService() const { return !serviceName.empty(); }
};

// The classic form host:port:sid: defaults local, 1521, orcl; a leading ":" keeps the host, an empty part
// keeps its default; fails with "Invalid port" for a port that is no number.
void ParseServerString(const std::string& s, std::string& host, int& port, std::string& sid);

// "(SID=orcl)" or "(SERVICE_NAME=svc)", then connectDataExtra, then more (a caller's own parameters such
// as a CID), without the enclosing CONNECT_DATA.
std::string ConnectData(const TConnectAddress& a, std::string_view more = {});

// "(DESCRIPTION=(ADDRESS=(PROTOCOL=tcp)(HOST=h)(PORT=p))(CONNECT_DATA=" ConnectData "))". For a SID and no
// extras this is byte for byte the classic client's descriptor.
std::string ConnectDescriptor(const TConnectAddress& a, std::string_view moreConnectData = {});

// A connect descriptor's address and connect data. Keywords in any case, blanks and line breaks anywhere
// between the tokens.
TConnectAddress ParseDescriptor(std::string_view text);

// Any server string, aliases looked up in aliases.
TConnectAddress ParseServerText(const std::string& text, const TTnsFile& aliases);

// Any server string, aliases looked up in the tnsnames.ora that TNS_ADMIN or ORACLE_HOME names. Only a
// plain name reads the file.
TConnectAddress ResolveServerString(const std::string& text);

// The message for a plain name that is neither an alias nor a host that can be found.
std::string UnknownNameMessage(const std::string& name, const TConnectAddress& a);

} // namespace oranet
