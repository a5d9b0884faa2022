// The Oracle alias file tnsnames.ora: where it is looked for, and a scan of its entries that both the
// server-string resolution and the connect dialog's server list use.
//
// The file's own syntax: "#" starts a comment that runs to the end of the line; an entry is one or more
// names separated by commas, "=", and a value, which is a parenthesised list that may span many lines (or,
// for IFILE, a file name). Entries are not required to start in the first column. IFILE entries are kept
// but not followed.
//
// Hostile files cost bounded work: at most MaxFileBytes are read, the scan is one pass over them, and an
// entry whose parentheses never close ends at the end of the file (marked incomplete).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace oranet {

struct TTnsEntry {
    std::vector<std::string> names; // as written, in file order
    std::string value;              // the text after "=": "(DESCRIPTION=...)" or, for IFILE, the file name
    bool complete = true;           // false: the value's parentheses were still open at the end of the file
};

// A folder that may hold tnsnames.ora and what named it ("TNS_ADMIN", "ORACLE_HOME").
struct TTnsFolder {
    std::string path;
    std::string origin;
};

struct TTnsFile {
    std::string path;                 // the file read; empty when none was found
    std::vector<TTnsFolder> searched; // every folder looked in, in order
    std::vector<TTnsEntry> entries;
    bool truncated = false; // the file is larger than MaxFileBytes; only its start was scanned
    bool unreadable = false;
};

constexpr size_t MaxTnsFileBytes = 1 << 20;

// The folders in search order: $TNS_ADMIN, then $ORACLE_HOME/network/admin, then extraHomes' network/admin
// (the home of a loaded client library). Unset variables are left out.
std::vector<TTnsFolder> TnsAdminFolders(const std::vector<std::string>& extraHomes = {});

// Reads and scans the tnsnames.ora of the first folder where one exists.
TTnsFile LoadTnsNames(const std::vector<TTnsFolder>& folders);

std::vector<TTnsEntry> ScanTnsNames(std::string_view text);

// The entry one of whose names equals name (case-insensitive); a name ending in ".WORLD" also answers to
// the name without it. IFILE is never an alias. Nullptr when there is none.
const TTnsEntry* FindTnsAlias(const TTnsFile& file, std::string_view name);

// The names for a server list: every entry's names in file order, a trailing ".WORLD" dropped, without
// IFILE and without duplicates (case-insensitive).
std::vector<std::string> TnsAliasNames(const TTnsFile& file);

// For messages: "/a/tnsnames.ora (TNS_ADMIN), /b/network/admin/tnsnames.ora (ORACLE_HOME)", or a note that
// neither variable is set.
std::string DescribeTnsSearch(const TTnsFile& file);

} // namespace oranet
