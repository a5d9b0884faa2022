// The call-interface emulation: fills the version-8 entry points of the OraCall table with routines that
// run the network client's TTC calls.
#pragma once

namespace oranet {

// Overwrites the version-8 entry points, sets the loader state of a version-8.1 client and creates the
// process-wide environment and error handle. Raises "Can't initialize Net client" when that fails.
void InstallNetCalls();
// Returns the loader state to "nothing loaded"; the entry points keep the emulations.
void RemoveNetCalls();

} // namespace oranet
