// The client-library binder: finds the Oracle client library, loads it and fills the entry-point table from
// it by function name (the OCI-prefixed version-8 routines and the o-prefixed version-7 routines the library
// has); every routine the library lacks keeps "OCI function is not linked".
//
// The places an installation offers, in search order:
//   1. the OCIDLL environment variable (a library path),
//   2. the ORACLE_HOME environment variable: its lib/libclntsh.so,
//   3. libclntsh.so on the library search path.
// Home 0 (the default) tries them in that order and takes the first that loads; home n (1..6, the session's
// ohHome0..ohHome5) takes the n-th place that is configured (a place is configured when its variable is set;
// the search path always is) and tries only that one.
#pragma once

#include <string>
#include <vector>

namespace oracall {

// The library paths home would try, in order.
std::vector<std::string> OCILibraryCandidates(int home);
// Loads the library of home (when none is loaded yet), binds the table, creates the process-wide environment
// (Windows-1252 client character set) and error handle and sets the loader state. A library is used only when
// it has OCIClientVersion or OCIEnvCreate; the version-8 call style is always chosen. Raises EOCICallError
// naming every place tried, with what was found there.
void LoadOCI(int home);
// Frees the process-wide handles through the library, unloads it, puts "OCI function is not linked" back into
// every slot and clears the loader state. Nothing happens when no library is loaded.
void FreeOCI();
bool OCILibraryLoaded();
// The path the library was loaded from ("" when none is).
std::string OCILibraryPath();
// The release of the loaded library ("19.3.0.0.0" from OCIClientVersion; "9 or later" or "8.1" for a library
// without it; "" when none is loaded).
std::string OCILibraryVersion();

} // namespace oracall
