// The key exchange of the current logon (O5LOGON) for accounts with the 11G (SHA-1) and the 12C
// (PBKDF2-SHA512) password verifiers. The server's first answer carries the verifier's salt and its half of
// the session key, encrypted with a key derived from the password; the client decrypts it, sends its own
// half encrypted the same way, and both derive the combined key that encrypts the password (and, with 12C,
// the derived password key, "speedy key") for the second phase. The server proves its knowledge of the
// password by an answer that decrypts to a fixed text under the combined key.
//
// All cryptography is OpenSSL's libcrypto: AES-CBC with a zero IV, SHA-1, SHA-512, MD5, PBKDF2-HMAC-SHA512.
// Key material is wiped with OPENSSL_cleanse when it goes out of scope.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace oranet {

// The values of the server's first answer that the exchange needs (hex texts as the server sends them).
struct TO5Challenge {
    bool verifier11g = false; // else 12C
    std::string verifierData; // AUTH_VFR_DATA: the verifier's salt
    std::string serverKey;    // AUTH_SESSKEY: the server's half, encrypted
    std::string mixingSalt;   // AUTH_PBKDF2_CSK_SALT (12C)
    int derivationRounds = 0; // AUTH_PBKDF2_VGEN_COUNT (12C)
    int mixingRounds = 0;     // AUTH_PBKDF2_SDER_COUNT (12C)
};

// Verifier type numbers of AUTH_VFR_DATA's flag.
enum : uint32_t { vfr11g1 = 0xB152, vfr11g2 = 0x1B25, vfr12c = 0x4815 };

// A byte buffer that wipes itself.
class TSecret {
public:
    TSecret() = default;
    explicit TSecret(size_t n) : b_(n) {}
    TSecret(const uint8_t* p, size_t n) : b_(p, p + n) {}
    TSecret(const TSecret&) = delete;
    TSecret& operator=(const TSecret&) = delete;
    TSecret(TSecret&& o) noexcept : b_(std::move(o.b_)) {}
    TSecret& operator=(TSecret&& o) noexcept;
    ~TSecret() { Wipe(); }
    void Wipe();
    uint8_t* data() { return b_.data(); }
    const uint8_t* data() const { return b_.data(); }
    size_t size() const { return b_.size(); }

private:
    std::vector<uint8_t> b_;
};

// What the second phase sends (uppercase hex texts), and the combined key for the server's proof.
struct TO5Answer {
    std::string sessionKey; // AUTH_SESSKEY: the client's half, encrypted
    std::string speedyKey;  // AUTH_PBKDF2_SPEEDY_KEY (12C only, else empty)
    std::string password;   // AUTH_PASSWORD
    TSecret comboKey;
    TO5Answer() = default;
    TO5Answer(TO5Answer&&) = default;
    TO5Answer& operator=(TO5Answer&&) = default;
    ~TO5Answer();
};

// Fills n bytes with random bytes (RAND_bytes unless a test puts fixed bytes here).
using TRandomFill = std::function<void(uint8_t*, size_t)>;
void OpenSslRandom(uint8_t* p, size_t n);

// Runs the client's side of the exchange. password: UTF-8. Fails with "Malformed logon challenge" for values
// that do not decode (odd hex, a server key of a length other than 32 or 48 bytes, rounds out of range).
TO5Answer O5Respond(const TO5Challenge& challenge, std::string_view password,
                    const TRandomFill& random = OpenSslRandom);

// Whether AUTH_SVR_RESPONSE decrypts to the server's proof under the combined key.
bool O5ServerProofValid(const TSecret& comboKey, std::string_view responseHex);

// Hex helpers shared with the logon messages.
std::string ToHexUpper(const uint8_t* p, size_t n);
// Empty on a malformed text (odd length, a character that is not hex).
bool FromHex(std::string_view hex, std::vector<uint8_t>& out);

} // namespace oranet
