#include "oranet/OraCrypt.h"

#include "dataset/ByteIO.h"

#include <stdexcept>

namespace oranet {

namespace {

// The tables of FIPS 46. Bit positions count from 1 at the most significant bit.
const uint8_t IP[64] = {58, 50, 42, 34, 26, 18, 10, 2, 60, 52, 44, 36, 28, 20, 12, 4,
                        62, 54, 46, 38, 30, 22, 14, 6, 64, 56, 48, 40, 32, 24, 16, 8,
                        57, 49, 41, 33, 25, 17, 9,  1, 59, 51, 43, 35, 27, 19, 11, 3,
                        61, 53, 45, 37, 29, 21, 13, 5, 63, 55, 47, 39, 31, 23, 15, 7};
const uint8_t FP[64] = {40, 8, 48, 16, 56, 24, 64, 32, 39, 7, 47, 15, 55, 23, 63, 31,
                        38, 6, 46, 14, 54, 22, 62, 30, 37, 5, 45, 13, 53, 21, 61, 29,
                        36, 4, 44, 12, 52, 20, 60, 28, 35, 3, 43, 11, 51, 19, 59, 27,
                        34, 2, 42, 10, 50, 18, 58, 26, 33, 1, 41, 9,  49, 17, 57, 25};
const uint8_t E[48] = {32, 1,  2,  3,  4,  5,  4,  5,  6,  7,  8,  9,  8,  9,  10, 11,
                       12, 13, 12, 13, 14, 15, 16, 17, 16, 17, 18, 19, 20, 21, 20, 21,
                       22, 23, 24, 25, 24, 25, 26, 27, 28, 29, 28, 29, 30, 31, 32, 1};
const uint8_t P[32] = {16, 7, 20, 21, 29, 12, 28, 17, 1,  15, 23, 26, 5,  18, 31, 10,
                       2,  8, 24, 14, 32, 27, 3,  9,  19, 13, 30, 6,  22, 11, 4,  25};
const uint8_t PC1[56] = {57, 49, 41, 33, 25, 17, 9,  1,  58, 50, 42, 34, 26, 18, 10, 2,  59, 51, 43,
                         35, 27, 19, 11, 3,  60, 52, 44, 36, 63, 55, 47, 39, 31, 23, 15, 7,  62, 54,
                         46, 38, 30, 22, 14, 6,  61, 53, 45, 37, 29, 21, 13, 5,  28, 20, 12, 4};
const uint8_t PC2[48] = {14, 17, 11, 24, 1,  5,  3,  28, 15, 6,  21, 10, 23, 19, 12, 4,
                         26, 8,  16, 7,  27, 20, 13, 2,  41, 52, 31, 37, 47, 55, 30, 40,
                         51, 45, 33, 48, 44, 49, 39, 56, 34, 53, 46, 42, 50, 36, 29, 32};
const uint8_t Shifts[16] = {1, 1, 2, 2, 2, 2, 2, 2, 1, 2, 2, 2, 2, 2, 2, 1};
const uint8_t S[8][64] = {{14, 4,  13, 1, 2,  15, 11, 8, 3, 10, 6, 12, 5,  9,  0,  7,  0,  15, 7,  4,  14, 2,
                           13, 1,  10, 6, 12, 11, 9,  5, 3, 8,  4, 1,  14, 8,  13, 6,  2,  11, 15, 12, 9,  7,
                           3,  10, 5,  0, 15, 12, 8,  2, 4, 9,  1, 7,  5,  11, 3,  14, 10, 0,  6,  13},
                          {15, 1,  8,  14, 6,  11, 3,  4, 9,  7,  2, 13, 12, 0,  5,  10, 3,  13, 4,  7, 15, 2,
                           8,  14, 12, 0,  1,  10, 6,  9, 11, 5,  0, 14, 7,  11, 10, 4,  13, 1,  5,  8, 12, 6,
                           9,  3,  2,  15, 13, 8,  10, 1, 3,  15, 4, 2,  11, 6,  7,  12, 0,  5,  14, 9},
                          {10, 0,  9,  14, 6, 3,  15, 5,  1,  13, 12, 7, 11, 4,  2,  8,  13, 7, 0,  9, 3, 4,
                           6,  10, 2,  8,  5, 14, 12, 11, 15, 1,  13, 6, 4,  9,  8,  15, 3,  0, 11, 1, 2, 12,
                           5,  10, 14, 7,  1, 10, 13, 0,  6,  9,  8,  7, 4,  15, 14, 3,  11, 5, 2,  12},
                          {7, 13, 14, 3, 0, 6,  9, 10, 1,  2, 8,  5, 11, 12, 4,  15, 13, 8,  11, 5, 6, 15,
                           0, 3,  4,  7, 2, 12, 1, 10, 14, 9, 10, 6, 9,  0,  12, 11, 7,  13, 15, 1, 3, 14,
                           5, 2,  8,  4, 3, 15, 0, 6,  10, 1, 13, 8, 9,  4,  5,  11, 12, 7,  2,  14},
                          {2,  12, 4, 1,  7,  10, 11, 6, 8, 5,  3, 15, 13, 0,  14, 9,  14, 11, 2,  12, 4,  7,
                           13, 1,  5, 0,  15, 10, 3,  9, 8, 6,  4, 2,  1,  11, 10, 13, 7,  8,  15, 9,  12, 5,
                           6,  3,  0, 14, 11, 8,  12, 7, 1, 14, 2, 13, 6,  15, 0,  9,  10, 4,  5,  3},
                          {12, 1,  10, 15, 9,  2,  6, 8,  0, 13, 3,  4,  14, 7,  5, 11, 10, 15, 4, 2, 7, 12,
                           9,  5,  6,  1,  13, 14, 0, 11, 3, 8,  9,  14, 15, 5,  2, 8,  12, 3,  7, 0, 4, 10,
                           1,  13, 11, 6,  4,  3,  2, 12, 9, 5,  15, 10, 11, 14, 1, 7,  6,  0,  8, 13},
                          {4, 11, 2,  14, 15, 0,  8,  13, 3, 12, 9,  7, 5,  10, 6,  1,  13, 0,  11, 7,  4, 9,
                           1, 10, 14, 3,  5,  12, 2,  15, 8, 6,  1,  4, 11, 13, 12, 3,  7,  14, 10, 15, 6, 8,
                           0, 5,  9,  2,  6,  11, 13, 8,  1, 4,  10, 7, 9,  5,  0,  15, 14, 2,  3,  12},
                          {13, 2, 8,  4, 6, 15, 11, 1,  10, 9,  3, 14, 5,  0,  12, 7,  1,  15, 13, 8, 10, 3,
                           7,  4, 12, 5, 6, 11, 0,  14, 9,  2,  7, 11, 4,  1,  9,  12, 14, 2,  0,  6, 10, 13,
                           15, 3, 5,  8, 2, 1,  14, 7,  4,  10, 8, 13, 15, 12, 9,  0,  3,  5,  6,  11}};

// Output bit i (1-based, of n) := input bit table[i-1] (1-based, of width).
uint64_t Permute(uint64_t in, const uint8_t* table, int n, int width) {
    uint64_t out = 0;
    for (int i = 0; i < n; ++i)
        out = (out << 1) | ((in >> (width - table[i])) & 1);
    return out;
}

uint32_t Feistel(uint32_t r, uint64_t k) {
    uint64_t x = Permute(r, E, 48, 32) ^ k;
    uint32_t s = 0;
    for (int i = 0; i < 8; ++i) {
        int six = int((x >> (42 - 6 * i)) & 0x3F);
        int row = ((six & 0x20) >> 4) | (six & 1);
        int col = (six >> 1) & 0xF;
        s = (s << 4) | S[i][row * 16 + col];
    }
    return uint32_t(Permute(s, P, 32, 32));
}

} // namespace

TDesSchedule DesKeySchedule(const uint8_t key[8]) {
    TDesSchedule s;
    uint64_t cd = Permute(LoadBe(key, 8), PC1, 56, 64);
    uint32_t c = uint32_t(cd >> 28) & 0xFFFFFFF, d = uint32_t(cd) & 0xFFFFFFF;
    for (int i = 0; i < 16; ++i) {
        for (int j = 0; j < Shifts[i]; ++j) {
            c = ((c << 1) | (c >> 27)) & 0xFFFFFFF;
            d = ((d << 1) | (d >> 27)) & 0xFFFFFFF;
        }
        s.k[i] = Permute((uint64_t(c) << 28) | d, PC2, 48, 56);
    }
    return s;
}

uint64_t DesCrypt(const TDesSchedule& s, uint64_t block, bool decrypt) {
    uint64_t x = Permute(block, IP, 64, 64);
    uint32_t l = uint32_t(x >> 32), r = uint32_t(x);
    for (int i = 0; i < 16; ++i) {
        uint32_t t = r;
        r = l ^ Feistel(r, s.k[decrypt ? 15 - i : i]);
        l = t;
    }
    return Permute((uint64_t(r) << 32) | l, FP, 64, 64);
}

TDesBlock DesEncryptBlock(const uint8_t key[8], const uint8_t block[8]) {
    TDesBlock out;
    StoreBe(DesCrypt(DesKeySchedule(key), LoadBe(block, 8), false), out.data(), 8);
    return out;
}

namespace OraCrypt {

const uint8_t HashKey[8] = {0x3A, 0x7C, 0x15, 0xE2, 0x94, 0x0B, 0xD6, 0x58};

void TCipher::SetKey(const uint8_t key[8]) {
    schedule_ = DesKeySchedule(key);
}

std::string TCipher::EncryptCbc(const std::string& data, bool lastBlockOnly) const {
    const TDesSchedule& s = schedule_;
    size_t blocks = data.size() / 8;
    std::string out;
    uint64_t chain = 0;
    const uint8_t* p = reinterpret_cast<const uint8_t*>(data.data());
    for (size_t i = 0; i < blocks; ++i) {
        chain = DesCrypt(s, LoadBe(p + 8 * i, 8) ^ chain, false);
        if (!lastBlockOnly || i + 1 == blocks) {
            uint8_t b[8];
            StoreBe(chain, b, 8);
            if (lastBlockOnly)
                out.assign(reinterpret_cast<char*>(b), 8);
            else
                out.append(reinterpret_cast<char*>(b), 8);
        }
    }
    return out;
}

TDesBlock DecryptBlock(const uint8_t key[8], const std::string& block) {
    uint8_t in[8] = {};
    for (size_t i = 0; i < 8 && i < block.size(); ++i)
        in[i] = uint8_t(block[i]);
    TDesBlock out;
    StoreBe(DesCrypt(DesKeySchedule(key), LoadBe(in, 8), true), out.data(), 8);
    return out;
}

TDesBlock PasswordHash(const std::string& user, const std::string& password) {
    std::string buf;
    for (const std::string* s : {&user, &password})
        for (char c : *s) {
            buf.push_back('\0');
            buf.push_back(c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c);
        }
    if (buf.size() % 8) buf.append(8 - buf.size() % 8, '\0');
    TDesBlock hash{};
    if (buf.empty()) return hash; // nothing to hash; a logon always has a user name
    TCipher cipher;
    cipher.SetKey(HashKey);
    std::string k2 = cipher.EncryptCbc(buf, true);
    cipher.SetKey(reinterpret_cast<const uint8_t*>(k2.data()));
    std::string h = cipher.EncryptCbc(buf, true);
    std::copy(h.begin(), h.end(), hash.begin());
    return hash;
}

TDesBlock DecryptSessionKey(const TDesBlock& hash, const std::string& sessionKeyText) {
    std::string bytes = HexDecode(sessionKeyText);
    // A short session key would leave part of the block undefined: refuse it.
    if (bytes.size() < 8)
        throw std::runtime_error("Session key too short (" + std::to_string(sessionKeyText.size()) +
                                 " characters, 16 expected)");
    return DecryptBlock(hash.data(), bytes);
}

std::string EncryptPassword(const TDesBlock& sessionKey, const std::string& password) {
    std::string padded = password;
    int pad = padded.size() % 8 ? int(8 - padded.size() % 8) : 0;
    padded.append(size_t(pad), '\0');
    TCipher cipher;
    cipher.SetKey(sessionKey.data());
    return HexEncode(cipher.EncryptCbc(padded, false)) + "0123456789ABCDEF"[pad];
}

std::string HexEncode(const uint8_t* bytes, size_t count) {
    static const char digits[] = "0123456789ABCDEF";
    std::string s;
    s.reserve(count * 2);
    for (size_t i = 0; i < count; ++i) {
        s.push_back(digits[bytes[i] >> 4]);
        s.push_back(digits[bytes[i] & 15]);
    }
    return s;
}

std::string HexEncode(const std::string& bytes) {
    return HexEncode(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

namespace {
int HexDigit(unsigned char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return c; // any other character counts with its own code
}
} // namespace

std::string HexDecode(const std::string& text) {
    std::string out;
    for (size_t i = 0; i + 1 < text.size(); i += 2)
        out.push_back(char(uint8_t(HexDigit(uint8_t(text[i])) * 16 + HexDigit(uint8_t(text[i + 1])))));
    return out;
}

} // namespace OraCrypt

} // namespace oranet
