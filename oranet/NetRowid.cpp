#include "oranet/NetRowid.h"

namespace oranet {

namespace {

const char* kBase64 = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string Base64Digits(uint64_t v, int digits) {
    std::string s(size_t(digits), 'A');
    for (int i = digits - 1; i >= 0; --i) {
        s[size_t(i)] = kBase64[v & 63];
        v >>= 6;
    }
    return s;
}

std::string Hex(uint64_t v, int digits) {
    static const char* h = "0123456789ABCDEF";
    std::string s(size_t(digits), '0');
    for (int i = digits - 1; i >= 0; --i) {
        s[size_t(i)] = h[v & 15];
        v >>= 4;
    }
    return s;
}

uint32_t Be32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}
uint16_t Be16(const uint8_t* p) {
    return uint16_t(p[0] << 8 | p[1]);
}

} // namespace

std::string RowIdRestricted(uint32_t block, uint16_t row, uint16_t file) {
    return Hex(block, 8) + "." + Hex(row, 4) + "." + Hex(file, 4);
}

std::string RowIdExtended(uint32_t objectNo, uint16_t relFile, uint32_t block, uint16_t row) {
    return Base64Digits(objectNo, 6) + Base64Digits(relFile, 3) + Base64Digits(block, 6) +
           Base64Digits(row, 3);
}

std::string RowIdUniversal(const uint8_t* bytes, size_t n) {
    std::string s = "*";
    uint32_t acc = 0;
    int bits = 0;
    for (size_t i = 0; i < n; ++i) {
        acc = (acc << 8) | bytes[i];
        bits += 8;
        while (bits >= 6) {
            bits -= 6;
            s += kBase64[(acc >> bits) & 63];
        }
    }
    if (bits > 0) s += kBase64[(acc << (6 - bits)) & 63];
    return s;
}

std::string RowIdImageToText(const uint8_t* image, size_t n) {
    if (n < 13) return std::string();
    if (image[0] == 2) return RowIdUniversal(image + 1, n - 1);
    uint32_t objectNo = Be32(image + 1);
    uint16_t file = Be16(image + 5);
    uint32_t block = Be32(image + 7);
    uint16_t row = Be16(image + 11);
    if (objectNo == 0 && file == 0 && block == 0 && row == 0) return std::string();
    if (objectNo == 0) return RowIdRestricted(block, row, file);
    return RowIdExtended(objectNo, file, block, row);
}

} // namespace oranet
