// DES-based logon cipher, server side. Built on OpenSSL's DES so that it cross-checks the client's own
// cipher.
#pragma once
#include <array>
#include <cstdint>
#include <string>

namespace vemu {

using Block8 = std::array<uint8_t, 8>;

// Hash kept for every account: DES-CBC over the upper-cased user name and password (each character preceded
// by a zero byte), first under the fixed key, then under the resulting block.
Block8 PasswordHash(const std::string& user, const std::string& password);

// The text sent in logon phase 1: the session key encrypted (one DES block) under the password hash, as 16
// hex digits.
std::string EncryptSessionKey(const Block8& hash, const Block8& sessionKey);

// Decrypts the password text of logon phase 2 (hex of the CBC cipher, then one digit with the pad count).
// Returns false when the text is malformed.
bool DecryptPassword(const Block8& sessionKey, const std::string& text, std::string& password);

// Test helper: what a client computes for phase 2 (CBC under the session key, hex, pad digit).
std::string EncryptPasswordForTest(const Block8& sessionKey, const std::string& password);
Block8 DecryptSessionKeyForTest(const Block8& hash, const std::string& text);

Block8 RandomBlock();
std::string HexEncode(const uint8_t* data, size_t n);

} // namespace vemu
