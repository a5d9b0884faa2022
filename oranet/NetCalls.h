// The call-interface emulation: fills the version-8 entry points of the OraCall table with routines that
// run the network client's TTC calls.
#pragma once

#include <cstdint>

namespace oracall {
struct TOCICalls;
}

namespace oranet {

// The emulated routines (nil where network mode has none, so those slots keep what they hold).
void GetNetCalls(oracall::TOCICalls& calls);

// Unloads a loaded client library, overwrites the version-8 entry points, sets the loader state of a
// version-8.1 client and creates the process-wide environment and error handle. Raises "Can't initialize Net
// client" when that fails.
void InstallNetCalls();
// Frees the process-wide error handle and returns the loader state to "nothing loaded"; the entry points keep
// the emulations.
void RemoveNetCalls();
// Whether the entry points are the network client's emulations.
bool NetCallsInstalled();

// An attribute of the server handle that only the network client knows: the time, in milliseconds (a ub4),
// that establishing the connection and logging on may take in all; 0 waits without a bound. Statements after
// the logon are not bounded by it.
constexpr uint32_t NET_ATTR_CONNECT_TIMEOUT = 0x7E01;
// An attribute of the statement handle (a ub4, read only): how many text values fetched so far held
// characters that Windows-1252 lacks and show a substitute ('?') instead. Such a value is not the server's:
// whoever writes rows back refuses those that hold one.
constexpr uint32_t NET_ATTR_SUBSTITUTED_VALUES = 0x7E02;
// What a server handle starts with.
constexpr uint32_t NetDefaultConnectTimeoutMs = 20000;

class TWinSocket;
// The socket of a service context of the network client (nil for anything else). It lives as long as the
// handle.
TWinSocket* NetSocketOf(void* svcctx);

} // namespace oranet
