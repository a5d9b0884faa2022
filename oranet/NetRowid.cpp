#include "oranet/NetRowid.h"

#include "dataset/ByteIO.h"

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
    uint32_t objectNo = uint32_t(LoadBe(image + 1, 4));
    uint16_t file = uint16_t(LoadBe(image + 5, 2));
    uint32_t block = uint32_t(LoadBe(image + 7, 4));
    uint16_t row = uint16_t(LoadBe(image + 11, 2));
    if (objectNo == 0 && file == 0 && block == 0 && row == 0) return std::string();
    if (objectNo == 0) return RowIdRestricted(block, row, file);
    return RowIdExtended(objectNo, file, block, row);
}

} // namespace oranet
