#include "oranet/NetO5Logon.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <algorithm>
#include <memory>
#include <stdexcept>

namespace oranet {

namespace {

[[noreturn]] void Malformed() {
    throw std::runtime_error("Malformed logon challenge");
}
[[noreturn]] void CryptoFailed() {
    throw std::runtime_error("Cryptography failed during the logon");
}

struct TCipherFree {
    void operator()(EVP_CIPHER_CTX* c) const { EVP_CIPHER_CTX_free(c); }
};

const EVP_CIPHER* AesCbc(size_t keyLength) {
    switch (keyLength) {
    case 16:
        return EVP_aes_128_cbc();
    case 24:
        return EVP_aes_192_cbc();
    case 32:
        return EVP_aes_256_cbc();
    default:
        CryptoFailed();
    }
}

// AES-CBC with a zero IV and no padding of its own; in.size() must be a multiple of 16.
TSecret AesCbcRaw(const TSecret& key, const uint8_t* in, size_t n, bool encrypt) {
    if (n % 16 != 0) Malformed();
    std::unique_ptr<EVP_CIPHER_CTX, TCipherFree> ctx(EVP_CIPHER_CTX_new());
    const uint8_t iv[16] = {};
    if (!ctx ||
        EVP_CipherInit_ex(ctx.get(), AesCbc(key.size()), nullptr, key.data(), iv, encrypt ? 1 : 0) != 1 ||
        EVP_CIPHER_CTX_set_padding(ctx.get(), 0) != 1)
        CryptoFailed();
    TSecret out(n);
    int len = 0;
    if (n > 0 && EVP_CipherUpdate(ctx.get(), out.data(), &len, in, int(n)) != 1) CryptoFailed();
    int tail = 0;
    if (EVP_CipherFinal_ex(ctx.get(), out.data() + len, &tail) != 1) CryptoFailed();
    return out;
}

// The logon's encryption: pads with n bytes of the value n (1 to 16), then AES-CBC with a zero IV.
TSecret PadAndEncrypt(const TSecret& key, const uint8_t* in, size_t n) {
    size_t pad = 16 - n % 16;
    TSecret padded(n + pad);
    for (size_t i = 0; i < n; ++i)
        padded.data()[i] = in[i];
    for (size_t i = n; i < n + pad; ++i)
        padded.data()[i] = uint8_t(pad);
    return AesCbcRaw(key, padded.data(), padded.size(), true);
}

void Digest(const EVP_MD* md, std::initializer_list<std::pair<const uint8_t*, size_t>> parts, uint8_t* out) {
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    bool ok = ctx && EVP_DigestInit_ex(ctx, md, nullptr) == 1;
    for (auto& p : parts)
        ok = ok && EVP_DigestUpdate(ctx, p.first, p.second) == 1;
    unsigned len = 0;
    ok = ok && EVP_DigestFinal_ex(ctx, out, &len) == 1;
    EVP_MD_CTX_free(ctx);
    if (!ok) CryptoFailed();
}

TSecret Pbkdf2Sha512(const uint8_t* pass, size_t passLen, const uint8_t* salt, size_t saltLen, int rounds,
                     size_t keyLen) {
    TSecret out(keyLen);
    if (PKCS5_PBKDF2_HMAC(reinterpret_cast<const char*>(pass), int(passLen), salt, int(saltLen), rounds,
                          EVP_sha512(), int(keyLen), out.data()) != 1)
        CryptoFailed();
    return out;
}

// The iteration counts come from the server: bounded so that a hostile one cannot keep the logon busy.
constexpr int MaxRounds = 10000000;

} // namespace

TSecret& TSecret::operator=(TSecret&& o) noexcept {
    if (this != &o) {
        Wipe();
        b_ = std::move(o.b_);
    }
    return *this;
}

void TSecret::Wipe() {
    if (!b_.empty()) OPENSSL_cleanse(b_.data(), b_.size());
}

TO5Answer::~TO5Answer() {
    if (!password.empty()) OPENSSL_cleanse(password.data(), password.size());
    if (!speedyKey.empty()) OPENSSL_cleanse(speedyKey.data(), speedyKey.size());
}

void OpenSslRandom(uint8_t* p, size_t n) {
    if (RAND_bytes(p, int(n)) != 1) throw std::runtime_error("No random bytes for the logon");
}

std::string ToHexUpper(const uint8_t* p, size_t n) {
    static const char digits[] = "0123456789ABCDEF";
    std::string s(2 * n, '0');
    for (size_t i = 0; i < n; ++i) {
        s[2 * i] = digits[p[i] >> 4];
        s[2 * i + 1] = digits[p[i] & 15];
    }
    return s;
}

bool FromHex(std::string_view hex, std::vector<uint8_t>& out) {
    out.clear();
    if (hex.size() % 2 != 0) return false;
    auto nibble = [](char c) {
        return c >= '0' && c <= '9'   ? c - '0'
               : c >= 'A' && c <= 'F' ? c - 'A' + 10
               : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                      : -1;
    };
    out.reserve(hex.size() / 2);
    for (size_t i = 0; i < hex.size(); i += 2) {
        int hi = nibble(hex[i]), lo = nibble(hex[i + 1]);
        if (hi < 0 || lo < 0) {
            out.clear();
            return false;
        }
        out.push_back(uint8_t(hi * 16 + lo));
    }
    return true;
}

TO5Answer O5Respond(const TO5Challenge& c, std::string_view password, const TRandomFill& random) {
    std::vector<uint8_t> salt, serverKeyEnc;
    if (!FromHex(c.verifierData, salt) || salt.empty() || !FromHex(c.serverKey, serverKeyEnc)) Malformed();
    if (serverKeyEnc.size() != 32 && serverKeyEnc.size() != 48) Malformed();
    const auto* pw = reinterpret_cast<const uint8_t*>(password.data());
    const size_t keyLen = c.verifier11g ? 24 : 32;

    // The key that encrypts both halves of the session key, derived from the password and the verifier salt.
    TSecret passwordHash(keyLen);
    TSecret passwordKey; // 12C: the derived password key, sent back as the speedy key
    if (c.verifier11g) {
        uint8_t sha1[20];
        Digest(EVP_sha1(), {{pw, password.size()}, {salt.data(), salt.size()}}, sha1);
        for (size_t i = 0; i < 20; ++i)
            passwordHash.data()[i] = sha1[i]; // followed by four zero bytes
        OPENSSL_cleanse(sha1, sizeof sha1);
    } else {
        if (c.derivationRounds < 1 || c.derivationRounds > MaxRounds) Malformed();
        static const std::string_view speedy = "AUTH_PBKDF2_SPEEDY_KEY";
        std::vector<uint8_t> keySalt(salt);
        keySalt.insert(keySalt.end(), speedy.begin(), speedy.end());
        passwordKey =
            Pbkdf2Sha512(pw, password.size(), keySalt.data(), keySalt.size(), c.derivationRounds, 64);
        uint8_t sha512[64];
        Digest(EVP_sha512(), {{passwordKey.data(), passwordKey.size()}, {salt.data(), salt.size()}}, sha512);
        for (size_t i = 0; i < keyLen; ++i)
            passwordHash.data()[i] = sha512[i];
        OPENSSL_cleanse(sha512, sizeof sha512);
    }

    TO5Answer a;
    TSecret serverHalf = AesCbcRaw(passwordHash, serverKeyEnc.data(), serverKeyEnc.size(), false);
    TSecret clientHalf(serverHalf.size());
    random(clientHalf.data(), clientHalf.size());
    TSecret clientHalfEnc = PadAndEncrypt(passwordHash, clientHalf.data(), clientHalf.size());
    a.sessionKey = ToHexUpper(clientHalfEnc.data(), clientHalf.size());

    if (serverHalf.size() == 48) {
        // Bytes 16 to 39 of both halves, combined, hashed in two parts.
        uint8_t mixed[24];
        for (size_t i = 0; i < 24; ++i)
            mixed[i] = serverHalf.data()[16 + i] ^ clientHalf.data()[16 + i];
        uint8_t md5[32];
        Digest(EVP_md5(), {{mixed, 16}}, md5);
        Digest(EVP_md5(), {{mixed + 16, 8}}, md5 + 16);
        a.comboKey = TSecret(md5, keyLen);
        OPENSSL_cleanse(mixed, sizeof mixed);
        OPENSSL_cleanse(md5, sizeof md5);
    } else {
        std::vector<uint8_t> mixingSalt;
        if (!FromHex(c.mixingSalt, mixingSalt) || c.mixingRounds < 1 || c.mixingRounds > MaxRounds)
            Malformed();
        // The client's half then the server's, as uppercase hex text, is the secret of the derivation.
        std::string both = ToHexUpper(clientHalf.data(), keyLen) + ToHexUpper(serverHalf.data(), keyLen);
        a.comboKey = Pbkdf2Sha512(reinterpret_cast<const uint8_t*>(both.data()), both.size(),
                                  mixingSalt.data(), mixingSalt.size(), c.mixingRounds, keyLen);
        OPENSSL_cleanse(both.data(), both.size());
    }

    if (!c.verifier11g) {
        TSecret plain(16 + passwordKey.size());
        random(plain.data(), 16);
        for (size_t i = 0; i < passwordKey.size(); ++i)
            plain.data()[16 + i] = passwordKey.data()[i];
        TSecret enc = PadAndEncrypt(a.comboKey, plain.data(), plain.size());
        a.speedyKey = ToHexUpper(enc.data(), plain.size());
    }
    TSecret plain(16 + password.size());
    random(plain.data(), 16);
    for (size_t i = 0; i < password.size(); ++i)
        plain.data()[16 + i] = pw[i];
    TSecret enc = PadAndEncrypt(a.comboKey, plain.data(), plain.size());
    a.password = ToHexUpper(enc.data(), enc.size());
    return a;
}

bool O5ServerProofValid(const TSecret& comboKey, std::string_view responseHex) {
    std::vector<uint8_t> enc;
    if (!FromHex(responseHex, enc) || enc.size() < 32 || enc.size() % 16 != 0) return false;
    TSecret plain = AesCbcRaw(comboKey, enc.data(), enc.size(), false);
    static const char proof[] = "SERVER_TO_CLIENT";
    return std::equal(plain.data() + 16, plain.data() + 32, reinterpret_cast<const uint8_t*>(proof));
}

} // namespace oranet
