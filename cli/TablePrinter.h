// Aligned-column output of a result for the terminal.
#pragma once

#include "app/ResultText.h"

#include <functional>
#include <string>

// Writes the header, a dash line and the rows, columns padded to the widest value among the header and the
// first rows (later rows that are wider push their line out rather than being cut). Text is Windows-1252;
// `emit` receives finished pieces (the caller converts them for the terminal). Returns the number of rows.
long PrintTable(IResultSource& source, const std::function<void(const std::string&)>& emit);
