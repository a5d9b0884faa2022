// The server's half of the current logon (O5LOGON with AES session keys) for accounts holding an 11G (SHA-1)
// or a 12C (PBKDF2-SHA512) password verifier. All cryptography is OpenSSL's.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace vemu {

using Bytes = std::vector<uint8_t>;

enum class VerifierKind { V11g, V12c };

// Verifier type numbers the server reports as the flag of AUTH_VFR_DATA.
constexpr uint32_t kVerifierType11g = 0xB152;
constexpr uint32_t kVerifierType12c = 0x4815;

// Iteration counts a 12C account reports: the verifier's PBKDF2 and the session-key derivation.
constexpr int kPbkdf2VerifierIterations = 4096;
constexpr int kPbkdf2SessionIterations = 3;

// What the server keeps for one account and one verifier kind (never the password itself).
struct PasswordVerifier {
    VerifierKind kind = VerifierKind::V12c;
    Bytes salt; // AUTH_VFR_DATA: 10 bytes (11G) or 16 bytes (12C)
    Bytes hash; // 11G: SHA-1(password || salt); 12C: SHA-512(PBKDF2(password, salt ||
                // "AUTH_PBKDF2_SPEEDY_KEY") || salt)
};

PasswordVerifier MakeVerifier(VerifierKind kind, const std::string& password);

// One logon's key exchange. Phase one creates the server's key half, phase two takes the client's half and
// decrypts what the client sent under the combined key. Key material is wiped when the object goes away.
class O5Logon {
public:
    explicit O5Logon(const PasswordVerifier& v);
    ~O5Logon();
    O5Logon(const O5Logon&) = delete;
    O5Logon& operator=(const O5Logon&) = delete;

    // AUTH_SESSKEY of phase one: the server's random key half encrypted under the verifier's key, in hex.
    std::string ServerSessionKeyHex() const { return serverKeyHex_; }
    std::string SaltHex() const;
    std::string CskSaltHex() const; // AUTH_PBKDF2_CSK_SALT (12C only)

    // Phase two: the client's AUTH_SESSKEY; false when it is malformed.
    bool AcceptClientKey(const std::string& hex);
    // AUTH_PASSWORD decrypted (the 16-byte random prefix and the padding removed); false when malformed.
    bool DecryptPassword(const std::string& hex, std::string& password) const;
    // 12C: AUTH_PBKDF2_SPEEDY_KEY must carry the PBKDF2 key the verifier was made from.
    bool SpeedyKeyMatches(const std::string& hex) const;
    // Whether the password matches the verifier.
    bool PasswordMatches(const std::string& password) const;
    // AUTH_SVR_RESPONSE: proves to the client that the server knows the verifier.
    std::string ServerResponseHex() const;

    // Test helpers: what a client computes (with its own random half), so that tests can play the client.
    struct ClientSide {
        std::string clientKeyHex, passwordHex, speedyKeyHex;
        Bytes comboKey;
    };
    static ClientSide ClientForTest(VerifierKind kind, const std::string& password,
                                    const std::string& saltHex, const std::string& serverKeyHex,
                                    const std::string& cskSaltHex);
    static bool DecryptForTest(const Bytes& key, const std::string& hex, Bytes& out);

private:
    PasswordVerifier v_;
    Bytes serverHalf_;
    Bytes cskSalt_;
    Bytes comboKey_;
    std::string serverKeyHex_;
};

std::string ToHex(const uint8_t* p, size_t n);
inline std::string ToHex(const Bytes& b) {
    return ToHex(b.data(), b.size());
}
bool FromHex(const std::string& hex, Bytes& out);

} // namespace vemu
