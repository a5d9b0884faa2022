// The ROWID text forms: the restricted form (hexadecimal block, row and file), the extended form (object,
// file, block and row in base-64 digits) and the universal form ("*" and the bytes in base-64 digits).
// The network client's rowid-to-text entry point formats the 13-byte rowid image of a status message with
// them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace oranet {

std::string RowIdRestricted(uint32_t block, uint16_t row, uint16_t file);
std::string RowIdExtended(uint32_t objectNo, uint16_t relFile, uint32_t block, uint16_t row);
std::string RowIdUniversal(const uint8_t* bytes, size_t n);
// The text of a rowid image: universal when its first byte is 2, else extended, or restricted when the
// object number is zero; empty for an image of zeros (no row) and for one shorter than 13 bytes.
std::string RowIdImageToText(const uint8_t* image, size_t n);

} // namespace oranet
