// LOBs and LONGs end to end over loopback, once per protocol generation: CLOB and BLOB columns fetched as
// locators, written, committed and read back by a second session; length, trim and reads from an offset;
// NULL LOBs; LONG and LONG RAW fetched whole through the define callbacks; temporary LOBs (current
// generation only).
#include "E2eSession.h"
#include "emulator/EmuServer.h"
#include "oranet/NetCalls.h"
#include "oranet/NetHandles.h"

#include <gtest/gtest.h>

using namespace ve2e;
using namespace oracall;

namespace {

enum class TGeneration { Classic, Current };

struct Server {
    vemu::EmuServer emu;
    explicit Server(vemu::EmuOptions o) : emu(std::move(o)) { emu.Start(); }
    std::string Address() const { return "127.0.0.1:" + std::to_string(emu.Port()) + ":bnx"; }
};

// A LOB locator descriptor freed with its owner.
struct Locator {
    OCILobLocator* p = nullptr;
    Locator() {
        dvoid* d = nullptr;
        OCIDescriptorAlloc(hOCIEnv, &d, OCI_DTYPE_LOB, 0, nullptr);
        p = static_cast<OCILobLocator*>(d);
    }
    ~Locator() { OCIDescriptorFree(p, OCI_DTYPE_LOB); }
    Locator(const Locator&) = delete;
    Locator& operator=(const Locator&) = delete;
    bool Initialized() const {
        int init = 0;
        OCILobLocatorIsInit(hOCIEnv, hOCIError, p, &init);
        return init != 0;
    }
};

// Collects a LONG value from the define callback, 700 bytes at a time.
struct LongOut {
    std::string got;
    char buf[700];
    ub4 len = 0;
    sb2 ind = 9;
    bool pending = false;
    static sb4 Cb(dvoid* ctx, OCIDefine*, ub4, dvoid** bufpp, ub4** alenpp, ub1*, dvoid** indpp, ub2**) {
        auto* x = static_cast<LongOut*>(ctx);
        if (x->pending) x->got.append(x->buf, x->len);
        x->pending = true;
        x->len = sizeof x->buf;
        *bufpp = x->buf;
        *alenpp = &x->len;
        *indpp = &x->ind;
        return 0;
    }
    void Finish() {
        if (pending) got.append(buf, len);
        pending = false;
    }
};

std::string Text(size_t n) {
    std::string s(n, ' ');
    for (size_t i = 0; i < n; ++i)
        s[i] = char(i % 61 == 60 ? '\xE9' : 'A' + i % 26); // with an e acute now and then
    return s;
}

std::string Binary(size_t n) {
    std::string s(n, '\0');
    uint32_t x = 12345;
    for (size_t i = 0; i < n; ++i) {
        x = x * 1103515245u + 12345u;
        s[i] = char(x >> 16);
    }
    return s;
}

class E2eLob315 : public ::testing::TestWithParam<TGeneration> {
protected:
    void SetUp() override { oranet::SetOfferCurrentProtocol(GetParam() == TGeneration::Current); }
    void TearDown() override { oranet::SetOfferCurrentProtocol(false); }
    bool Current() const { return GetParam() == TGeneration::Current; }
    vemu::EmuOptions Options() const {
        vemu::EmuOptions o;
        o.generation =
            Current() ? vemu::EmuOptions::Generation::Current : vemu::EmuOptions::Generation::Classic;
        return o;
    }
    static void Run(TNetSessionRig& s, const char* sql) {
        TStmt st(s, sql);
        ASSERT_EQ(st.Execute(1), 0) << sql << ": " << s.ErrorText();
    }
    static bool SpeaksCurrent(TNetSessionRig& s) {
        return static_cast<oranet::TNetConnection*>(
                   static_cast<oranet::TNetHandle*>(static_cast<void*>(s.svc)))
                   ->current != nullptr;
    }
    // Selects one row's C and B columns into the locators.
    static void SelectLobs(TNetSessionRig& s, const char* sql, Locator& c, Locator& b) {
        TStmt q(s, sql);
        ASSERT_EQ(q.Execute(), 0) << s.ErrorText();
        q.Define(1, &c.p, sizeof c.p, SQLT_CLOB);
        q.Define(2, &b.p, sizeof b.p, SQLT_BLOB);
        ASSERT_EQ(q.Fetch(1), 0) << s.ErrorText();
    }
    static std::string ReadAll(TNetSessionRig& s, Locator& l, size_t room) {
        std::string back(room, '\0');
        ub4 amount = 0;
        EXPECT_EQ(
            OCILobRead(s.svc, s.err, l.p, &amount, 1, back.data(), ub4(back.size()), nullptr, nullptr, 0, 0),
            0)
            << s.ErrorText();
        back.resize(std::min<size_t>(amount, room));
        return back;
    }
};

std::string Name(const ::testing::TestParamInfo<TGeneration>& info) {
    return info.param == TGeneration::Current ? "Current" : "Classic";
}

} // namespace

TEST_P(E2eLob315, LargeClobAndBlobWrittenCommittedAndReadBackByASecondSession) {
    // Ten megabytes each over the current generation; the classic one moves 32 KB per call, so it gets less.
    const size_t size = Current() ? 10u << 20 : 300000;
    Server srv(Options());
    const std::string text = Text(size), bin = Binary(size);
    {
        TNetSessionRig s;
        ASSERT_EQ(s.Logon(srv.Address(), "scott", "tiger"), 0) << s.ErrorText();
        ASSERT_EQ(SpeaksCurrent(s), Current());
        Run(s, "CREATE TABLE LOBS (ID NUMBER, C CLOB, B BLOB)");
        Run(s, "INSERT INTO LOBS VALUES (1, EMPTY_CLOB(), EMPTY_BLOB())");
        Locator c, b;
        SelectLobs(s, "SELECT C, B FROM LOBS WHERE ID = 1 FOR UPDATE", c, b);
        ASSERT_TRUE(c.Initialized());
        ASSERT_TRUE(b.Initialized());
        ub4 amount = 0;
        ASSERT_EQ(OCILobWrite(s.svc, s.err, c.p, &amount, 1, const_cast<char*>(text.data()), ub4(text.size()),
                              0, nullptr, nullptr, 0, 0),
                  0)
            << s.ErrorText();
        EXPECT_EQ(amount, text.size());
        ASSERT_EQ(OCILobWrite(s.svc, s.err, b.p, &amount, 1, const_cast<char*>(bin.data()), ub4(bin.size()),
                              0, nullptr, nullptr, 0, 0),
                  0)
            << s.ErrorText();
        EXPECT_EQ(amount, bin.size());
        ASSERT_EQ(OCITransCommit(s.svc, s.err, 0), 0) << s.ErrorText();
        EXPECT_EQ(s.Logoff(), 0);
    }
    TNetSessionRig s;
    ASSERT_EQ(s.Logon(srv.Address(), "scott", "tiger"), 0) << s.ErrorText();
    Locator c, b;
    SelectLobs(s, "SELECT C, B FROM LOBS WHERE ID = 1", c, b);
    ub4 len = 0;
    ASSERT_EQ(OCILobGetLength(s.svc, s.err, c.p, &len), 0) << s.ErrorText();
    EXPECT_EQ(len, text.size());
    ASSERT_EQ(OCILobGetLength(s.svc, s.err, b.p, &len), 0) << s.ErrorText();
    EXPECT_EQ(len, bin.size());
    // Room for more than there is: the read ends at the end of the LOB.
    std::string back = ReadAll(s, c, size + 1000);
    EXPECT_EQ(back.size(), text.size());
    EXPECT_TRUE(back == text) << "the CLOB came back changed";
    back = ReadAll(s, b, size + 1000);
    EXPECT_EQ(back.size(), bin.size());
    EXPECT_TRUE(back == bin) << "the BLOB came back changed";
    // Its text was all Windows-1252: nothing was substituted.
    ub4 substituted = 9;
    OCIAttrGet(c.p, OCI_DTYPE_LOB, &substituted, nullptr, oranet::NET_ATTR_SUBSTITUTED_VALUES, s.err);
    if (Current()) {
        EXPECT_EQ(substituted, 0u);
    }
}

TEST_P(E2eLob315, LengthTrimOffsetsAndNull) {
    Server srv(Options());
    TNetSessionRig s;
    ASSERT_EQ(s.Logon(srv.Address(), "scott", "tiger"), 0) << s.ErrorText();
    Run(s, "CREATE TABLE LOBS (ID NUMBER, C CLOB, B BLOB)");
    Run(s, "INSERT INTO LOBS VALUES (1, 'abcdefghijklmnopqrstuvwxyz', EMPTY_BLOB())");
    Run(s, "INSERT INTO LOBS VALUES (2, NULL, NULL)");
    Locator c, b;
    SelectLobs(s, "SELECT C, B FROM LOBS WHERE ID = 1 FOR UPDATE", c, b);
    ub4 len = 0;
    ASSERT_EQ(OCILobGetLength(s.svc, s.err, c.p, &len), 0) << s.ErrorText();
    EXPECT_EQ(len, 26u);
    ASSERT_EQ(OCILobGetLength(s.svc, s.err, b.p, &len), 0) << s.ErrorText();
    EXPECT_EQ(len, 0u);
    // A read from the middle; a read that starts past the end gives nothing.
    char part[5] = {};
    ub4 amount = 0;
    ASSERT_EQ(OCILobRead(s.svc, s.err, c.p, &amount, 11, part, 5, nullptr, nullptr, 0, 0), 0)
        << s.ErrorText();
    EXPECT_EQ(amount, 5u);
    EXPECT_EQ(std::string(part, 5), "klmno");
    amount = 7;
    EXPECT_EQ(OCILobRead(s.svc, s.err, c.p, &amount, 100, part, 5, nullptr, nullptr, 0, 0), 0)
        << s.ErrorText();
    EXPECT_EQ(amount, 0u);
    // Writing in the middle overwrites; trimming shortens.
    amount = 0;
    ASSERT_EQ(
        OCILobWrite(s.svc, s.err, c.p, &amount, 3, const_cast<char*>("XYZ"), 3, 0, nullptr, nullptr, 0, 0), 0)
        << s.ErrorText();
    ASSERT_EQ(OCILobTrim(s.svc, s.err, c.p, 8), 0) << s.ErrorText();
    EXPECT_EQ(ReadAll(s, c, 100), "abXYZfgh");
    std::string bytes("\x00\x01\xFF\x7F", 4);
    ASSERT_EQ(OCILobWrite(s.svc, s.err, b.p, &amount, 1, bytes.data(), 4, 0, nullptr, nullptr, 0, 0), 0)
        << s.ErrorText();
    ASSERT_EQ(OCILobTrim(s.svc, s.err, b.p, 3), 0) << s.ErrorText();
    EXPECT_EQ(ReadAll(s, b, 100), bytes.substr(0, 3));
    ASSERT_EQ(OCITransCommit(s.svc, s.err, 0), 0) << s.ErrorText();

    // NULL LOB columns leave the locators uninitialized, with the indicator telling.
    TStmt q(s, "SELECT C, B FROM LOBS WHERE ID = 2");
    ASSERT_EQ(q.Execute(), 0) << s.ErrorText();
    Locator nc, nb;
    sb2 ind[2] = {5, 5};
    q.Define(1, &nc.p, sizeof nc.p, SQLT_CLOB, &ind[0]);
    q.Define(2, &nb.p, sizeof nb.p, SQLT_BLOB, &ind[1]);
    ASSERT_EQ(q.Fetch(1), 0) << s.ErrorText();
    EXPECT_EQ(ind[0], -1);
    EXPECT_EQ(ind[1], -1);
    EXPECT_FALSE(nc.Initialized());
    EXPECT_FALSE(nb.Initialized());

    if (!Current()) return;
    // A LOB column defined as text is refused once the reply is read; the session stays usable.
    TStmt t(s, "SELECT C FROM LOBS WHERE ID = 1");
    ASSERT_EQ(t.Execute(), 0) << s.ErrorText();
    char text[100] = {};
    t.Define(1, text, sizeof text, SQLT_STR);
    EXPECT_EQ(t.Fetch(1), -1);
    EXPECT_NE(s.ErrorText().find("LOB locators only"), std::string::npos) << s.ErrorText();
    Run(s, "CREATE TABLE STILL_THERE (ID NUMBER)");
}

TEST_P(E2eLob315, LongAndLongRawFetchedWholeBesideOtherColumns) {
    Server srv(Options());
    TNetSessionRig s;
    ASSERT_EQ(s.Logon(srv.Address(), "scott", "tiger"), 0) << s.ErrorText();
    Run(s, "CREATE TABLE LONGS (ID NUMBER, TXT LONG, NAME VARCHAR2(10))");
    Run(s, "CREATE TABLE RAWS (ID NUMBER, BIN LONG RAW)");
    std::string big(3900, 'x');
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = char('a' + i % 26);
    Run(s, ("INSERT INTO LONGS VALUES (1, '" + big + "', 'first')").c_str());
    Run(s, "INSERT INTO LONGS VALUES (2, NULL, 'second')");
    Run(s, "INSERT INTO RAWS VALUES (1, HEXTORAW('00FF10E9'))");

    TStmt q(s, "SELECT ID, TXT, NAME FROM LONGS ORDER BY ID");
    ASSERT_EQ(q.Execute(), 0) << s.ErrorText();
    int32_t id = 0;
    char name[11] = {};
    q.Define(1, &id, 4, SQLT_INT);
    LongOut out;
    OCIDefine* d = q.Define(2, nullptr, 1000000, SQLT_LNG);
    OCIDefineDynamic(d, s.err, &out, &LongOut::Cb);
    q.Define(3, name, sizeof name, SQLT_STR);
    ASSERT_EQ(q.Fetch(1), 0) << s.ErrorText();
    out.Finish();
    EXPECT_EQ(id, 1);
    EXPECT_EQ(out.got, big);
    EXPECT_EQ(out.ind, 0);
    EXPECT_STREQ(name, "first"); // the column after the LONG is read in step
    out.got.clear();
    ASSERT_EQ(q.Fetch(1), 0) << s.ErrorText();
    out.Finish();
    EXPECT_EQ(id, 2);
    EXPECT_EQ(out.got, "");
    EXPECT_EQ(out.ind, -1);
    EXPECT_STREQ(name, "second");

    TStmt r(s, "SELECT BIN FROM RAWS");
    ASSERT_EQ(r.Execute(), 0) << s.ErrorText();
    LongOut raw;
    OCIDefine* rd = r.Define(1, nullptr, 1000000, SQLT_LBI);
    OCIDefineDynamic(rd, s.err, &raw, &LongOut::Cb);
    ASSERT_EQ(r.Fetch(1), 0) << s.ErrorText();
    raw.Finish();
    EXPECT_EQ(raw.got, std::string("\x00\xFF\x10\xE9", 4));
}

TEST_P(E2eLob315, TemporaryLobsOverTheCurrentGeneration) {
    Server srv(Options());
    TNetSessionRig s;
    ASSERT_EQ(s.Logon(srv.Address(), "scott", "tiger"), 0) << s.ErrorText();
    Locator t;
    if (!Current()) {
        // The classic generation has no call that makes one.
        EXPECT_ANY_THROW(OCILobCreateTemporary(s.svc, s.err, t.p, 0, 1, SQLT_CLOB, 0, 10));
        return;
    }
    ASSERT_EQ(OCILobCreateTemporary(s.svc, s.err, t.p, 0, 1, SQLT_CLOB, 0, 10), 0) << s.ErrorText();
    EXPECT_TRUE(t.Initialized());
    const std::string text = Text(100000);
    ub4 amount = 0;
    ASSERT_EQ(OCILobWrite(s.svc, s.err, t.p, &amount, 1, const_cast<char*>(text.data()), ub4(text.size()), 0,
                          nullptr, nullptr, 0, 0),
              0)
        << s.ErrorText();
    ub4 len = 0;
    ASSERT_EQ(OCILobGetLength(s.svc, s.err, t.p, &len), 0) << s.ErrorText();
    EXPECT_EQ(len, text.size());
    EXPECT_EQ(ReadAll(s, t, 200000), text);
    // A type that is no LOB is refused before anything is sent.
    Locator bad;
    EXPECT_EQ(OCILobCreateTemporary(s.svc, s.err, bad.p, 0, 1, SQLT_CHR, 0, 10), -1);
    // The session goes on.
    Run(s, "CREATE TABLE AFTER_TEMP (ID NUMBER)");
}

INSTANTIATE_TEST_SUITE_P(Generations, E2eLob315,
                         ::testing::Values(TGeneration::Classic, TGeneration::Current), Name);
