// The logon cipher: DES (FIPS 46), CBC encryption with a zero initial vector, the password hash, the
// session key decryption and the password encryption of the second logon phase. Knows nothing of TTC.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace oranet {

using TDesBlock = std::array<uint8_t, 8>;

// One DES key schedule: 16 round keys of 48 bits.
struct TDesSchedule {
    uint64_t k[16] = {};
};

TDesSchedule DesKeySchedule(const uint8_t key[8]);
// One block, encrypting or decrypting with the schedule.
uint64_t DesCrypt(const TDesSchedule& s, uint64_t block, bool decrypt);
TDesBlock DesEncryptBlock(const uint8_t key[8], const uint8_t block[8]);

namespace OraCrypt {

// The fixed key of the password hash.
extern const uint8_t HashKey[8];

// A key schedule held by whoever encrypts: SetKey computes it, EncryptCbc uses it. Every hash and
// password encryption keeps its own, so logons on several threads never encrypt with each other's key.
class TCipher {
public:
    void SetKey(const uint8_t key[8]);
    // CBC encryption with the key set last; a trailing partial block is ignored. Either every cipher block
    // or only the last one (empty when there is no whole block).
    std::string EncryptCbc(const std::string& data, bool lastBlockOnly) const;

private:
    TDesSchedule schedule_;
};

// Decrypts the first 8 bytes of the block with a schedule made for this call. Missing bytes of a short
// block count as zero bytes.
TDesBlock DecryptBlock(const uint8_t key[8], const std::string& block);

TDesBlock PasswordHash(const std::string& user, const std::string& password);
// Fails (std::runtime_error) when the text decodes to fewer than 8 bytes.
TDesBlock DecryptSessionKey(const TDesBlock& hash, const std::string& sessionKeyText);
std::string EncryptPassword(const TDesBlock& sessionKey, const std::string& password);

std::string HexEncode(const std::string& bytes);
std::string HexEncode(const uint8_t* bytes, size_t count);
std::string HexDecode(const std::string& text);

} // namespace OraCrypt

} // namespace oranet
