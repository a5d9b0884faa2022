// The key exchange of the current logon, checked against the answers Oracle's thin driver computes from the
// same challenge and the same "random" bytes.
#include "oranet/NetO5Logon.h"

#include <gtest/gtest.h>

using namespace oranet;

namespace {

// The k-th request for random bytes gets (37 k + 5 i + 1) mod 256 at index i; the reference answers below
// were made with the same bytes.
TRandomFill Counting() {
    auto call = std::make_shared<int>(0);
    return [call](uint8_t* p, size_t n) {
        for (size_t i = 0; i < n; ++i)
            p[i] = uint8_t(*call * 37 + int(i) * 5 + 1);
        ++*call;
    };
}

std::string ServerKey(size_t n) {
    std::vector<uint8_t> b(n);
    for (size_t i = 0; i < n; ++i)
        b[i] = uint8_t(i * 7 + 3);
    return ToHexUpper(b.data(), n);
}

TO5Challenge Challenge(bool v11g) {
    TO5Challenge c;
    c.verifier11g = v11g;
    c.verifierData = v11g ? "A1B2C3D4E5F60718293A" : "0123456789ABCDEF0123456789ABCDEF";
    c.serverKey = ServerKey(v11g ? 48 : 32);
    c.mixingSalt = "00112233445566778899AABBCCDDEEFF";
    c.derivationRounds = 4096;
    c.mixingRounds = 3;
    return c;
}

std::string Hex(const TSecret& s) {
    return ToHexUpper(s.data(), s.size());
}

} // namespace

TEST(O5Logon, AnswersMatchTheThinDriverForBothVerifiers) {
    struct {
        bool v11g;
        const char* sessionKey;
        const char* speedyKey;
        const char* password;
        const char* comboKey;
    } cases[] = {
        {true,
         "569650FC95504B07A545A4ED90C635C400D6B8FB54B1114FACC91C94FDE0B20DFE54012D7C6C49182D99EE1347DE7CDF",
         "", "85B76F1DA0002CF8F11C933FF315F39C9A0F06B2DC7B7F890E19C6D5AB15666E",
         "80FE291C1AE415C2C436FBC1A352E5BF45C63C23AF77CB00"},
        {false, "DAFCB7E43EC832A4B4FCD4C53A85435AA72E70D5B0680044F1E63D462F1E3E32",
         "012375DC16C37B36E740E39FEED6A1CE57AF151171C86287B369940148EC38FDF1DCF1FB1B362E1AEF40360B43D9104BF06"
         "A67379B8C1"
         "AEDEF9EE68AD389C43370BC7EF5E2EA06E48CDF3C51792EA39F",
         "BC72CE8F6EF1F028B53E522FB3DF5FB87B4B5BD220CB8811CAFA0D8F98935DBA",
         "185B804166830F4BF89D0BCCF56F73D484941FE9D08EE660A49571BF04D6BAF5"},
    };
    for (auto& c : cases) {
        TO5Answer a = O5Respond(Challenge(c.v11g), "tiger", Counting());
        EXPECT_EQ(a.sessionKey, c.sessionKey) << c.v11g;
        EXPECT_EQ(a.speedyKey, c.speedyKey) << c.v11g;
        EXPECT_EQ(a.password, c.password) << c.v11g;
        EXPECT_EQ(Hex(a.comboKey), c.comboKey) << c.v11g;
    }
}

TEST(O5Logon, TheServersProofIsChecked) {
    TO5Answer a11 = O5Respond(Challenge(true), "tiger", Counting());
    TO5Answer a12 = O5Respond(Challenge(false), "tiger", Counting());
    const std::string proof11 =
        "F01DE972AA575F0164F0C4F882F9A04865E0D5D6F83FEDED6339F7E0D6A0EFF01F83A22C5D822BBDA826E17526A4DC96";
    const std::string proof12 =
        "18530691318F4DF79E5D0A407F26F7842315B14A223F554A9C93A0FBE31BF1A5C0D4775EFDFDACE4779566FC41D5E66B";
    EXPECT_TRUE(O5ServerProofValid(a11.comboKey, proof11));
    EXPECT_TRUE(O5ServerProofValid(a12.comboKey, proof12));
    EXPECT_FALSE(O5ServerProofValid(a12.comboKey, proof11)); // another key
    std::string tampered = proof12;
    tampered[20] = tampered[20] == '0' ? '1' : '0';
    EXPECT_FALSE(O5ServerProofValid(a12.comboKey, tampered));
    EXPECT_FALSE(O5ServerProofValid(a12.comboKey, proof12.substr(0, 62))); // shorter than two blocks
    EXPECT_FALSE(O5ServerProofValid(a12.comboKey, proof12.substr(0, 95))); // odd hex
    EXPECT_FALSE(O5ServerProofValid(a12.comboKey, ""));
    EXPECT_FALSE(O5ServerProofValid(a12.comboKey, std::string(96, 'Z')));
}

TEST(O5Logon, AWrongPasswordGivesAnotherKey) {
    TO5Answer right = O5Respond(Challenge(false), "tiger", Counting());
    TO5Answer wrong = O5Respond(Challenge(false), "Tiger", Counting());
    EXPECT_NE(Hex(right.comboKey), Hex(wrong.comboKey));
    EXPECT_NE(right.sessionKey, wrong.sessionKey);
}

TEST(O5Logon, MalformedChallengesAreRefused) {
    struct {
        const char* what;
        void (*spoil)(TO5Challenge&);
    } cases[] = {
        {"odd salt", [](TO5Challenge& c) { c.verifierData = "ABC"; }},
        {"empty salt", [](TO5Challenge& c) { c.verifierData.clear(); }},
        {"salt not hex", [](TO5Challenge& c) { c.verifierData = "XY"; }},
        {"server key of 16 bytes", [](TO5Challenge& c) { c.serverKey = ServerKey(16); }},
        {"server key of 64 bytes", [](TO5Challenge& c) { c.serverKey = ServerKey(64); }},
        {"no derivation rounds", [](TO5Challenge& c) { c.derivationRounds = 0; }},
        {"endless derivation", [](TO5Challenge& c) { c.derivationRounds = 2000000000; }},
        {"negative mixing rounds", [](TO5Challenge& c) { c.mixingRounds = -1; }},
        {"mixing salt not hex", [](TO5Challenge& c) { c.mixingSalt = "0G"; }},
    };
    for (auto& c : cases) {
        TO5Challenge ch = Challenge(false);
        c.spoil(ch);
        try {
            O5Respond(ch, "tiger", Counting());
            ADD_FAILURE() << c.what;
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), "Malformed logon challenge") << c.what;
        }
    }
}

TEST(O5Logon, RealRandomBytesGiveFreshKeysEachTime) {
    TO5Answer a = O5Respond(Challenge(false), "tiger");
    TO5Answer b = O5Respond(Challenge(false), "tiger");
    EXPECT_EQ(a.sessionKey.size(), 64u);
    EXPECT_EQ(a.speedyKey.size(), 160u);
    EXPECT_NE(a.sessionKey, b.sessionKey);
    EXPECT_NE(a.password, b.password);
}
