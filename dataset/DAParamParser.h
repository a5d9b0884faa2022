// The framework's own parameter parser: finds the colon-prefixed parameter names of an SQL text. Used when
// the server's command does not find the parameters itself.
#pragma once

#include <string>
#include <vector>

// Returns the distinct parameter names of sql in order of first appearance (case-insensitive distinctness,
// the first spelling kept). A name is ":" followed by a letter, digit, "_", "$" or "#" run, or by a
// double-quoted name (returned without the quotes). Not parameters: text inside '...' strings, "..."
// identifiers, "--" line comments and "/* */" comments; the assignment ":="; a doubled colon "::".
std::vector<std::string> ParseParamNames(const std::string& sql);
