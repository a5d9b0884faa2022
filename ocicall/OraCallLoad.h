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
// and error handle and sets the loader state. Raises EOCICallError naming every place tried.
void LoadOCI(int home);
// Frees the process-wide handles through the library, unloads it, puts "OCI function is not linked" back into
// every slot and clears the loader state. Nothing happens when no library is loaded.
void FreeOCI();
bool OCILibraryLoaded();
// The path the library was loaded from ("" when none is).
std::string OCILibraryPath();

} // namespace oracall
