// Binds over the current protocol generation: the call-interface layer's external types turned into the
// wire types, descriptions and values an execute carries (text converted from Windows-1252 to UTF-8), and
// the values a PL/SQL block hands back stored into the caller's buffers in the bind's external type.
#pragma once

#include "oranet/NetSession315.h"

#include <string>
#include <vector>

namespace oranet {

// The external type of the call interface's DATE structure (year, month, day, hour, minute, second).
constexpr uint16_t SqltOciDate = 156;

// One bind's values in their wire form, one per row of binds.
struct TEncodedBind {
    TBindDesc desc;
    std::vector<std::string> values;
    std::vector<uint8_t> present; // 0: NULL
    uint32_t heldCursor = 0;      // a cursor bind: the id of the cursor its statement handle already holds
};

// Encodes the rows of a bind. False, with a message for the user in error, for a bind this generation cannot
// send (an unbound placeholder, a type it does not carry, a value that is no NUMBER or DATE).
bool EncodeCurrentBind(TNetParam& bind, uint32_t rows, bool plsql, TEncodedBind& out, std::string& error);

// Writes one row's value of a bind as it follows the execute.
void WriteCurrentBindValue(TTtcWriter& w, const TEncodedBind& bind, uint32_t row);

// Writes the values of one row of binds: in their order for a PL/SQL block; for a statement the values
// described longer than the longest inline string follow all others.
void WriteCurrentBindRow(TTtcWriter& w, const std::vector<TEncodedBind>& binds, uint32_t row, bool plsql);

// Stores a value a PL/SQL block handed back (raw nullptr: NULL) into the bind's buffers. Text is converted to
// Windows-1252; true when a character had to be substituted.
bool StoreCurrentOutValue(TNetParam& bind, const std::string* raw);

} // namespace oranet
