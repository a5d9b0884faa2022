// The logon cipher against published DES vectors and independently computed logon vectors.
#include "oranet/OraCrypt.h"

#include <atomic>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <thread>
#include <vector>

using namespace oranet;

namespace {

std::string Bin(const std::string& hex) {
    return OraCrypt::HexDecode(hex);
}

std::vector<std::vector<std::string>> ReadVectors(const std::string& name) {
    // The vectors are in the source tree; ctest tells every test where it is.
    std::vector<std::vector<std::string>> rows;
    const char* src = std::getenv("VESTRA_SOURCE_DIR");
    EXPECT_NE(src, nullptr) << "VESTRA_SOURCE_DIR is not set";
    if (!src) return rows;
    std::string path = std::string(src) + "/tests/oranet/data/" + name;
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in) << path << " cannot be read";
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        std::istringstream ls(line);
        std::vector<std::string> f;
        std::string w;
        while (ls >> w)
            f.push_back(w);
        rows.push_back(f);
    }
    return rows;
}

std::string Unmask(const std::string& s) {
    return s == "-" ? std::string() : s;
}

} // namespace

TEST(Des, PublishedAndIndependentVectors) {
    auto rows = ReadVectors("des-vectors.txt");
    ASSERT_GE(rows.size(), 20u);
    for (auto& r : rows) {
        ASSERT_EQ(r.size(), 3u);
        std::string key = Bin(r[0]), plain = Bin(r[1]);
        TDesBlock c = DesEncryptBlock(reinterpret_cast<const uint8_t*>(key.data()),
                                      reinterpret_cast<const uint8_t*>(plain.data()));
        EXPECT_EQ(OraCrypt::HexEncode(c.data(), 8), r[2]) << r[0] << " " << r[1];
        TDesBlock p = OraCrypt::DecryptBlock(reinterpret_cast<const uint8_t*>(key.data()), Bin(r[2]));
        EXPECT_EQ(OraCrypt::HexEncode(p.data(), 8), r[1]);
    }
}

TEST(Des, CbcChainsBlocksFromAZeroVector) {
    // Two identical plaintext blocks give different cipher blocks; the first equals plain ECB.
    const uint8_t key[8] = {0x13, 0x34, 0x57, 0x79, 0x9B, 0xBC, 0xDF, 0xF1};
    OraCrypt::TCipher cipher;
    cipher.SetKey(key);
    std::string plain = Bin("0123456789ABCDEF0123456789ABCDEF01");
    std::string all = cipher.EncryptCbc(plain, false);
    ASSERT_EQ(all.size(), 16u); // the trailing partial block is ignored
    EXPECT_EQ(OraCrypt::HexEncode(all.substr(0, 8)), "85E813540F0AB405");
    EXPECT_NE(all.substr(0, 8), all.substr(8, 8));
    EXPECT_EQ(cipher.EncryptCbc(plain, true), all.substr(8, 8));
    EXPECT_EQ(cipher.EncryptCbc("short", true), "");
}

TEST(LogonCipher, IndependentVectors) {
    auto rows = ReadVectors("logon-cipher-vectors.txt");
    int hashes = 0, sessions = 0, passwords = 0;
    for (auto& r : rows) {
        if (r[0] == "hash") {
            ASSERT_EQ(r.size(), 4u);
            TDesBlock h = OraCrypt::PasswordHash(r[1], Unmask(r[2]));
            EXPECT_EQ(OraCrypt::HexEncode(h.data(), 8), r[3]) << r[1] << "/" << r[2];
            ++hashes;
        } else if (r[0] == "session") {
            TDesBlock hash;
            std::string hb = Bin(r[1]);
            std::copy(hb.begin(), hb.end(), hash.begin());
            TDesBlock key = OraCrypt::DecryptSessionKey(hash, r[2]);
            EXPECT_EQ(OraCrypt::HexEncode(key.data(), 8), r[3]);
            ++sessions;
        } else if (r[0] == "password") {
            TDesBlock key;
            std::string kb = Bin(r[1]);
            std::copy(kb.begin(), kb.end(), key.begin());
            EXPECT_EQ(OraCrypt::EncryptPassword(key, Unmask(r[2])), r[3]) << r[2];
            ++passwords;
        }
    }
    EXPECT_GE(hashes, 8);
    EXPECT_GE(sessions, 4);
    EXPECT_GE(passwords, 6);
}

TEST(LogonCipher, HashPaddingAndCaseRules) {
    // 5 + 5 letters: 20 bytes, filled to 24; case does not matter for a to z only.
    EXPECT_EQ(OraCrypt::PasswordHash("scott", "tiger"), OraCrypt::PasswordHash("SCOTT", "TIGER"));
    EXPECT_EQ(OraCrypt::PasswordHash("ScOtT", "tIgEr"), OraCrypt::PasswordHash("SCOTT", "TIGER"));
    EXPECT_NE(OraCrypt::PasswordHash("m\xFCller", "x"), OraCrypt::PasswordHash("M\xDCLLER", "X"));
    EXPECT_EQ(OraCrypt::PasswordHash("m\xFCller", "x"), OraCrypt::PasswordHash("M\xFCLLER", "X"));
    // The zero fill: "ab" + "cd" is 8 bytes exactly, "abc" + "d" the same bytes.
    EXPECT_EQ(OraCrypt::PasswordHash("ab", "cd"), OraCrypt::PasswordHash("abc", "d"));
}

TEST(LogonCipher, EncryptedPasswordTextLengths) {
    TDesBlock key = {1, 2, 3, 4, 5, 6, 7, 8};
    std::string eight = OraCrypt::EncryptPassword(key, "abcdefgh");
    EXPECT_EQ(eight.size(), 17u);
    EXPECT_EQ(eight.back(), '0');
    std::string five = OraCrypt::EncryptPassword(key, "tiger");
    EXPECT_EQ(five.size(), 17u);
    EXPECT_EQ(five.back(), '3');
    EXPECT_EQ(OraCrypt::EncryptPassword(key, ""), "0");
    EXPECT_EQ(OraCrypt::EncryptPassword(key, "123456789").size(), 33u);
    EXPECT_EQ(OraCrypt::EncryptPassword(key, "123456789").back(), '7');
}

TEST(LogonCipher, HexCodecAndShortSessionKeys) {
    EXPECT_EQ(OraCrypt::HexEncode(std::string("\x01\xAB\xff", 3)), "01ABFF");
    EXPECT_EQ(OraCrypt::HexDecode("01abFF7"), std::string("\x01\xAB\xFF", 3)); // odd last character ignored
    // A character outside the digits counts with its own code: 'G' is 71, so "0G" is 71.
    EXPECT_EQ(OraCrypt::HexDecode("0G"), std::string(1, char(71)));
    TDesBlock hash{};
    EXPECT_THROW(OraCrypt::DecryptSessionKey(hash, "0123"), std::runtime_error);
    EXPECT_NO_THROW(OraCrypt::DecryptSessionKey(hash, "0123456789ABCDEF"));
}

// Hashes and password texts computed on several threads at once match the independent vectors: each
// computation keeps its own key schedule, so one thread's key never reaches another's encryption.
TEST(LogonCipher, ThreadsDoNotShareKeySchedules) {
    auto rows = ReadVectors("logon-cipher-vectors.txt");
    std::vector<std::vector<std::string>> work;
    for (auto& r : rows)
        if (r[0] == "hash" || r[0] == "password") work.push_back(r);
    ASSERT_GE(work.size(), 8u);
    constexpr int Threads = 4, Rounds = 500;
    std::atomic<int> waiting{Threads};
    std::vector<std::string> failures(Threads);
    std::vector<std::thread> pool;
    for (int t = 0; t < Threads; ++t)
        pool.emplace_back([&, t] {
            waiting.fetch_sub(1);
            while (waiting.load() > 0)
                std::this_thread::yield();
            for (int i = 0; i < Rounds && failures[size_t(t)].empty(); ++i) {
                const auto& r = work[size_t(t + i) % work.size()];
                std::string got;
                if (r[0] == "hash") {
                    TDesBlock h = OraCrypt::PasswordHash(r[1], Unmask(r[2]));
                    got = OraCrypt::HexEncode(h.data(), 8);
                } else {
                    TDesBlock key;
                    std::string kb = Bin(r[1]);
                    std::copy(kb.begin(), kb.end(), key.begin());
                    got = OraCrypt::EncryptPassword(key, Unmask(r[2]));
                }
                if (got != r[3]) failures[size_t(t)] = r[0] + " " + r[1] + " " + r[2] + ": " + got;
            }
        });
    for (auto& th : pool)
        th.join();
    for (const auto& f : failures)
        EXPECT_EQ(f, "");
}
