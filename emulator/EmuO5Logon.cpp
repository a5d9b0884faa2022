#include "emulator/EmuO5Logon.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <cstring>
#include <stdexcept>

namespace vemu {
namespace {

const char kSpeedyKeyLabel[] = "AUTH_PBKDF2_SPEEDY_KEY";
const char kServerProof[] = "SERVER_TO_CLIENT";

Bytes Random(size_t n) {
    Bytes b(n);
    if (RAND_bytes(b.data(), static_cast<int>(n)) != 1) throw std::runtime_error("RAND_bytes failed");
    return b;
}

void Wipe(Bytes& b) {
    if (!b.empty()) OPENSSL_cleanse(b.data(), b.size());
    b.clear();
}

const EVP_CIPHER* CipherFor(size_t keyLen) {
    switch (keyLen) {
    case 16:
        return EVP_aes_128_cbc();
    case 24:
        return EVP_aes_192_cbc();
    case 32:
        return EVP_aes_256_cbc();
    default:
        return nullptr;
    }
}

// AES-CBC with a zero IV and no padding: the data must be whole blocks.
bool AesCbc(const Bytes& key, const uint8_t* in, size_t n, Bytes& out, bool encrypt) {
    const EVP_CIPHER* c = CipherFor(key.size());
    if (!c || n % 16 != 0) return false;
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    if (!ctx) return false;
    uint8_t iv[16] = {};
    bool ok = EVP_CipherInit_ex(ctx, c, nullptr, key.data(), iv, encrypt ? 1 : 0) == 1 &&
              EVP_CIPHER_CTX_set_padding(ctx, 0) == 1;
    out.assign(n + 16, 0);
    int len1 = 0, len2 = 0;
    ok = ok && EVP_CipherUpdate(ctx, out.data(), &len1, in, static_cast<int>(n)) == 1 &&
         EVP_CipherFinal_ex(ctx, out.data() + len1, &len2) == 1;
    EVP_CIPHER_CTX_free(ctx);
    if (!ok) return false;
    out.resize(static_cast<size_t>(len1 + len2));
    return true;
}

Bytes Digest(const EVP_MD* md, const Bytes& a, const Bytes& b) {
    Bytes out(EVP_MAX_MD_SIZE);
    unsigned int len = 0;
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    bool ok =
        ctx && EVP_DigestInit_ex(ctx, md, nullptr) == 1 && EVP_DigestUpdate(ctx, a.data(), a.size()) == 1 &&
        EVP_DigestUpdate(ctx, b.data(), b.size()) == 1 && EVP_DigestFinal_ex(ctx, out.data(), &len) == 1;
    EVP_MD_CTX_free(ctx);
    if (!ok) throw std::runtime_error("digest failed");
    out.resize(len);
    return out;
}

Bytes Pbkdf2Sha512(const uint8_t* pw, size_t pwLen, const Bytes& salt, int iterations, size_t keyLen) {
    Bytes out(keyLen);
    if (PKCS5_PBKDF2_HMAC(reinterpret_cast<const char*>(pw), static_cast<int>(pwLen), salt.data(),
                          static_cast<int>(salt.size()), iterations, EVP_sha512(), static_cast<int>(keyLen),
                          out.data()) != 1)
        throw std::runtime_error("PBKDF2 failed");
    return out;
}

Bytes SpeedySalt(const Bytes& salt) {
    Bytes s = salt;
    s.insert(s.end(), kSpeedyKeyLabel, kSpeedyKeyLabel + sizeof kSpeedyKeyLabel - 1);
    return s;
}

// The AES key both sides derive from the verifier: 11G pads the SHA-1 hash to 24 bytes, 12C takes the first
// 32 bytes of the SHA-512 hash.
Bytes VerifierKey(const PasswordVerifier& v) {
    Bytes k = v.hash;
    if (v.kind == VerifierKind::V11g)
        k.resize(24, 0);
    else
        k.resize(32);
    return k;
}

// Encrypts with the client's padding: one to sixteen bytes, each holding the pad count.
Bytes EncryptPadded(const Bytes& key, Bytes plain) {
    size_t pad = 16 - plain.size() % 16;
    plain.insert(plain.end(), pad, static_cast<uint8_t>(pad));
    Bytes out;
    if (!AesCbc(key, plain.data(), plain.size(), out, true)) throw std::runtime_error("AES failed");
    Wipe(plain);
    return out;
}

// The session key both sides combine from the two halves.
Bytes CombineKeys(VerifierKind kind, const Bytes& serverHalf, const Bytes& clientHalf, const Bytes& cskSalt) {
    if (kind == VerifierKind::V11g) {
        // 48-byte halves: MD5 over bytes 16..39 of their XOR, in two pieces.
        Bytes x(24);
        for (size_t i = 0; i < 24; ++i)
            x[i] = serverHalf[16 + i] ^ clientHalf[16 + i];
        Bytes a(x.begin(), x.begin() + 16), b(x.begin() + 16, x.end()), empty;
        Bytes k = Digest(EVP_md5(), a, empty);
        Bytes k2 = Digest(EVP_md5(), b, empty);
        k.insert(k.end(), k2.begin(), k2.end());
        k.resize(24);
        Wipe(x);
        Wipe(a);
        Wipe(b);
        return k;
    }
    // 32-byte halves: PBKDF2 over the upper-case hex text of client half then server half.
    Bytes joined = clientHalf;
    joined.insert(joined.end(), serverHalf.begin(), serverHalf.end());
    std::string text = ToHex(joined);
    Bytes k = Pbkdf2Sha512(reinterpret_cast<const uint8_t*>(text.data()), text.size(), cskSalt,
                           kPbkdf2SessionIterations, 32);
    OPENSSL_cleanse(text.data(), text.size());
    Wipe(joined);
    return k;
}

bool DecryptHex(const Bytes& key, const std::string& hex, Bytes& out) {
    Bytes in;
    if (!FromHex(hex, in) || in.empty()) return false;
    return AesCbc(key, in.data(), in.size(), out, false);
}

// Strips the client's padding; false when it is not well formed.
bool Unpad(Bytes& b) {
    if (b.empty()) return false;
    uint8_t n = b.back();
    if (n == 0 || n > 16 || n > b.size()) return false;
    for (size_t i = b.size() - n; i < b.size(); ++i)
        if (b[i] != n) return false;
    b.resize(b.size() - n);
    return true;
}

} // namespace

std::string ToHex(const uint8_t* p, size_t n) {
    static const char d[] = "0123456789ABCDEF";
    std::string s(n * 2, '0');
    for (size_t i = 0; i < n; ++i) {
        s[2 * i] = d[p[i] >> 4];
        s[2 * i + 1] = d[p[i] & 15];
    }
    return s;
}

bool FromHex(const std::string& hex, Bytes& out) {
    if (hex.size() % 2) return false;
    auto digit = [](char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        return -1;
    };
    out.assign(hex.size() / 2, 0);
    for (size_t i = 0; i < out.size(); ++i) {
        int hi = digit(hex[2 * i]), lo = digit(hex[2 * i + 1]);
        if (hi < 0 || lo < 0) return false;
        out[i] = static_cast<uint8_t>(hi << 4 | lo);
    }
    return true;
}

PasswordVerifier MakeVerifier(VerifierKind kind, const std::string& password) {
    PasswordVerifier v;
    v.kind = kind;
    Bytes pw(password.begin(), password.end());
    if (kind == VerifierKind::V11g) {
        v.salt = Random(10);
        v.hash = Digest(EVP_sha1(), pw, v.salt);
    } else {
        v.salt = Random(16);
        Bytes k = Pbkdf2Sha512(pw.data(), pw.size(), SpeedySalt(v.salt), kPbkdf2VerifierIterations, 64);
        v.hash = Digest(EVP_sha512(), k, v.salt);
        Wipe(k);
    }
    Wipe(pw);
    return v;
}

O5Logon::O5Logon(const PasswordVerifier& v) : v_(v) {
    serverHalf_ = Random(v.kind == VerifierKind::V11g ? 48 : 32);
    if (v.kind == VerifierKind::V12c) cskSalt_ = Random(32);
    Bytes key = VerifierKey(v_);
    Bytes enc;
    if (!AesCbc(key, serverHalf_.data(), serverHalf_.size(), enc, true))
        throw std::runtime_error("AES failed");
    serverKeyHex_ = ToHex(enc);
    Wipe(key);
}

O5Logon::~O5Logon() {
    Wipe(serverHalf_);
    Wipe(comboKey_);
    Wipe(v_.hash);
}

std::string O5Logon::SaltHex() const {
    return ToHex(v_.salt);
}

std::string O5Logon::CskSaltHex() const {
    return ToHex(cskSalt_);
}

bool O5Logon::AcceptClientKey(const std::string& hex) {
    if (hex.size() != serverHalf_.size() * 2) return false;
    Bytes key = VerifierKey(v_);
    Bytes clientHalf;
    bool ok = DecryptHex(key, hex, clientHalf) && clientHalf.size() == serverHalf_.size();
    if (ok) comboKey_ = CombineKeys(v_.kind, serverHalf_, clientHalf, cskSalt_);
    Wipe(key);
    Wipe(clientHalf);
    return ok;
}

bool O5Logon::DecryptPassword(const std::string& hex, std::string& password) const {
    Bytes plain;
    if (comboKey_.empty() || !DecryptHex(comboKey_, hex, plain) || !Unpad(plain) || plain.size() < 16)
        return false;
    password.assign(plain.begin() + 16, plain.end());
    Wipe(plain);
    return true;
}

bool O5Logon::SpeedyKeyMatches(const std::string& hex) const {
    if (v_.kind != VerifierKind::V12c) return false;
    Bytes plain;
    // 16 random bytes and the 64-byte PBKDF2 key, sent without the padding block
    if (comboKey_.empty() || hex.size() != 160 || !DecryptHex(comboKey_, hex, plain)) return false;
    Bytes k(plain.begin() + 16, plain.end());
    bool ok = Digest(EVP_sha512(), k, v_.salt) == v_.hash;
    Wipe(k);
    Wipe(plain);
    return ok;
}

bool O5Logon::PasswordMatches(const std::string& password) const {
    Bytes pw(password.begin(), password.end());
    Bytes h;
    if (v_.kind == VerifierKind::V11g) {
        h = Digest(EVP_sha1(), pw, v_.salt);
    } else {
        Bytes k = Pbkdf2Sha512(pw.data(), pw.size(), SpeedySalt(v_.salt), kPbkdf2VerifierIterations, 64);
        h = Digest(EVP_sha512(), k, v_.salt);
        Wipe(k);
    }
    Wipe(pw);
    return h.size() == v_.hash.size() && CRYPTO_memcmp(h.data(), v_.hash.data(), h.size()) == 0;
}

std::string O5Logon::ServerResponseHex() const {
    Bytes plain = Random(16);
    plain.insert(plain.end(), kServerProof, kServerProof + sizeof kServerProof - 1);
    return ToHex(EncryptPadded(comboKey_, plain));
}

O5Logon::ClientSide O5Logon::ClientForTest(VerifierKind kind, const std::string& password,
                                           const std::string& saltHex, const std::string& serverKeyHex,
                                           const std::string& cskSaltHex) {
    ClientSide c;
    Bytes salt, cskSalt, pw(password.begin(), password.end()), speedy;
    FromHex(saltHex, salt);
    FromHex(cskSaltHex, cskSalt);
    PasswordVerifier v;
    v.kind = kind;
    v.salt = salt;
    if (kind == VerifierKind::V11g) {
        v.hash = Digest(EVP_sha1(), pw, salt);
    } else {
        speedy = Pbkdf2Sha512(pw.data(), pw.size(), SpeedySalt(salt), kPbkdf2VerifierIterations, 64);
        v.hash = Digest(EVP_sha512(), speedy, salt);
    }
    Bytes key = VerifierKey(v), serverHalf;
    if (!DecryptHex(key, serverKeyHex, serverHalf)) return c;
    Bytes clientHalf = Random(serverHalf.size()), enc;
    AesCbc(key, clientHalf.data(), clientHalf.size(), enc, true);
    c.clientKeyHex = ToHex(enc);
    c.comboKey = CombineKeys(kind, serverHalf, clientHalf, cskSalt);
    Bytes withSalt = Random(16);
    withSalt.insert(withSalt.end(), pw.begin(), pw.end());
    c.passwordHex = ToHex(EncryptPadded(c.comboKey, withSalt));
    if (kind == VerifierKind::V12c) {
        Bytes s = Random(16);
        s.insert(s.end(), speedy.begin(), speedy.end());
        Bytes e = EncryptPadded(c.comboKey, s);
        e.resize(80);
        c.speedyKeyHex = ToHex(e);
    }
    return c;
}

bool O5Logon::DecryptForTest(const Bytes& key, const std::string& hex, Bytes& out) {
    return DecryptHex(key, hex, out);
}

} // namespace vemu
