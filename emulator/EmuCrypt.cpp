#define OPENSSL_SUPPRESS_DEPRECATED
#include "emulator/EmuCrypt.h"

#include <openssl/des.h>
#include <openssl/rand.h>

#include <cstring>
#include <random>
#include <vector>

namespace vemu {
namespace {

const uint8_t kFixedKey[8] = {0x3A, 0x7C, 0x15, 0xE2, 0x94, 0x0B, 0xD6, 0x58};

std::vector<uint8_t> CbcEncrypt(const uint8_t* key, const std::vector<uint8_t>& data) {
    DES_cblock k;
    std::memcpy(k, key, 8);
    DES_key_schedule ks;
    DES_set_key_unchecked(&k, &ks);
    DES_cblock iv = {0, 0, 0, 0, 0, 0, 0, 0};
    std::vector<uint8_t> out(data.size());
    if (!data.empty())
        DES_ncbc_encrypt(data.data(), out.data(), static_cast<long>(data.size()), &ks, &iv, DES_ENCRYPT);
    return out;
}

std::vector<uint8_t> CbcDecrypt(const uint8_t* key, const std::vector<uint8_t>& data) {
    DES_cblock k;
    std::memcpy(k, key, 8);
    DES_key_schedule ks;
    DES_set_key_unchecked(&k, &ks);
    DES_cblock iv = {0, 0, 0, 0, 0, 0, 0, 0};
    std::vector<uint8_t> out(data.size());
    if (!data.empty())
        DES_ncbc_encrypt(data.data(), out.data(), static_cast<long>(data.size()), &ks, &iv, DES_DECRYPT);
    return out;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

} // namespace

std::string HexEncode(const uint8_t* data, size_t n) {
    static const char* digits = "0123456789ABCDEF";
    std::string s;
    s.reserve(n * 2);
    for (size_t i = 0; i < n; ++i) {
        s += digits[data[i] >> 4];
        s += digits[data[i] & 15];
    }
    return s;
}

Block8 PasswordHash(const std::string& user, const std::string& password) {
    std::vector<uint8_t> buf;
    for (const std::string* s : {&user, &password})
        for (char ch : *s) {
            uint8_t c = static_cast<uint8_t>(ch);
            if (c >= 'a' && c <= 'z') c = static_cast<uint8_t>(c - 'a' + 'A');
            buf.push_back(0);
            buf.push_back(c);
        }
    while (buf.size() % 8 != 0)
        buf.push_back(0);
    Block8 h{};
    if (buf.empty()) return h;
    std::vector<uint8_t> c1 = CbcEncrypt(kFixedKey, buf);
    std::vector<uint8_t> c2 = CbcEncrypt(c1.data() + c1.size() - 8, buf);
    std::memcpy(h.data(), c2.data() + c2.size() - 8, 8);
    return h;
}

std::string EncryptSessionKey(const Block8& hash, const Block8& sessionKey) {
    std::vector<uint8_t> in(sessionKey.begin(), sessionKey.end());
    std::vector<uint8_t> out = CbcEncrypt(hash.data(), in); // one block: CBC with a zero IV is plain ECB
    return HexEncode(out.data(), out.size());
}

Block8 DecryptSessionKeyForTest(const Block8& hash, const std::string& text) {
    std::vector<uint8_t> in(8, 0);
    for (size_t i = 0; i + 1 < text.size() && i / 2 < 8; i += 2)
        in[i / 2] = static_cast<uint8_t>(HexDigit(text[i]) * 16 + HexDigit(text[i + 1]));
    std::vector<uint8_t> out = CbcDecrypt(hash.data(), in);
    Block8 k{};
    std::memcpy(k.data(), out.data(), 8);
    return k;
}

bool DecryptPassword(const Block8& sessionKey, const std::string& text, std::string& password) {
    password.clear();
    if (text.empty()) return false;
    int pad = HexDigit(text.back());
    if (pad < 0 || pad > 7) return false;
    size_t hexLen = text.size() - 1;
    if (hexLen % 16 != 0) return false;
    std::vector<uint8_t> cipher(hexLen / 2);
    for (size_t i = 0; i < hexLen; i += 2) {
        int a = HexDigit(text[i]), b = HexDigit(text[i + 1]);
        if (a < 0 || b < 0) return false;
        cipher[i / 2] = static_cast<uint8_t>(a * 16 + b);
    }
    if (cipher.empty()) return pad == 0; // empty password
    if (static_cast<size_t>(pad) >= cipher.size() + 1) return false;
    std::vector<uint8_t> plain = CbcDecrypt(sessionKey.data(), cipher);
    for (size_t i = plain.size() - pad; i < plain.size(); ++i)
        if (plain[i] != 0) return false;
    password.assign(reinterpret_cast<const char*>(plain.data()), plain.size() - pad);
    return true;
}

std::string EncryptPasswordForTest(const Block8& sessionKey, const std::string& password) {
    std::vector<uint8_t> buf(password.begin(), password.end());
    int pad = buf.size() % 8 ? static_cast<int>(8 - buf.size() % 8) : 0;
    buf.resize(buf.size() + pad, 0);
    std::vector<uint8_t> c = CbcEncrypt(sessionKey.data(), buf);
    return HexEncode(c.data(), c.size()) + "0123456789ABCDEF"[pad];
}

Block8 RandomBlock() {
    Block8 b{};
    if (RAND_bytes(b.data(), 8) != 1) {
        std::random_device rd;
        for (auto& x : b)
            x = static_cast<uint8_t>(rd());
    }
    return b;
}

} // namespace vemu
