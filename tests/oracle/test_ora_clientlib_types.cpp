// Client-library mode against what a current library serves: LOBs larger than one read (the library answers
// OCI_NEED_DATA when a read asks for more than the buffer holds) in both character-set forms, and the column
// types of current servers (timestamps, intervals, binary floating point numbers, UROWID, BFILE, REF CURSOR,
// objects, collections and REFs), through the stand-in library's OCILIB_ tables.
#include "OraClientLib.h"
#include "OraE2e.h"

#include "dataset/DBErrors.h"
#include "ocicall/OraCallLoad.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

using namespace oratest;

namespace {

struct TLibRig {
    TOciEnv env;
    TEmu emu;
    std::unique_ptr<TOraSession> s;
    TLibRig() {
        env.Set("OCIDLL", OciLibPath());
        s = std::make_unique<TOraSession>();
        s->ConnectPrompt = false;
        s->SetUsername("scott");
        s->SetPassword("tiger");
        s->SetServer(emu.Server());
        s->Connect();
    }
    ~TLibRig() {
        s.reset();
        oracall::FreeOCI();
    }
};

// A counter of the loaded stand-in library (0: instances it created and nobody freed yet).
int LibCounter(int which) {
    void* lib = dlopen(OciLibPath().c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (!lib) return -1;
    auto f = reinterpret_cast<int (*)(int)>(dlsym(lib, "ocilib_counter"));
    int v = f ? f(which) : -1;
    dlclose(lib);
    return v;
}

// The CLOB the library holds: numbered Windows-1252 lines, cut at 100000 characters.
std::string ExpectedClob() {
    std::string s;
    for (int i = 0; s.size() < 100000; ++i) {
        char line[64];
        snprintf(line, sizeof line, "Zeile %05d: \xE4\xF6\xFC\xDF\r\n", i);
        s += line;
    }
    s.resize(100000);
    return s;
}

TEST(OciCurrentLibraryValues, LobsLargerThanOneReadArriveWholeInTheirCharacterSetForm) {
    TLibRig rig;
    TOraQuery q(rig.s.get());
    q.SetSQL("SELECT * FROM OCILIB_LOBS");
    q.Open();
    ASSERT_FALSE(q.Eof());
    EXPECT_EQ(q.FieldByName("ID")->AsString(), "1");
    // 100000 characters: two reads of a piece, the second one shorter.
    const std::string doc = q.FieldByName("DOC")->AsString();
    ASSERT_EQ(doc.size(), 100000u);
    EXPECT_EQ(doc, ExpectedClob());
    const std::string pic = q.FieldByName("PIC")->AsString();
    ASSERT_EQ(pic.size(), 150001u);
    for (size_t i : {size_t(0), size_t(65513), size_t(65514), size_t(131028), size_t(150000)})
        EXPECT_EQ(uint8_t(pic[i]), uint8_t((i * 7 + i / 256) & 0xFF)) << i;
    // An NCLOB is read in the national form (a read in the implicit form fails with ORA-24806).
    EXPECT_EQ(q.FieldByName("NDOC")->AsString(), "Gr\xFC\xDF"
                                                 "e aus K\xF6ln");
    q.Next();
    ASSERT_FALSE(q.Eof());
    EXPECT_EQ(q.FieldByName("DOC")->AsString(), "kurz");
    EXPECT_TRUE(q.FieldByName("PIC")->IsNull());
    EXPECT_TRUE(q.FieldByName("NDOC")->IsNull());
    q.Next();
    EXPECT_TRUE(q.Eof());
}

TEST(OciCurrentLibraryValues, EveryColumnTypeOfACurrentServerIsShown) {
    TLibRig rig;
    {
        TOraQuery q(rig.s.get());
        q.SetSQL("SELECT * FROM OCILIB_TYPES");
        q.LocalUpdate = true; // edits stay in the store
        q.Open();
        ASSERT_FALSE(q.Eof());
        struct {
            const char* column;
            const char* text;
        } expected[] = {
            {"TS", "29.02.2024 13:45:30,123456"},
            {"TSTZ", "29.02.2024 13:45:30,500 +01:00"},
            {"TSLTZ", "31.12.1999 23:59:59"},
            {"IYM", "+02-03"},
            {"IDS", "+04 05:06:07.890000"},
            {"UR", "*BAMAAJICwQL+"},
            {"BFIL", "BFILENAME('DATA_DIR', 'bild.png')"},
            {"RC", "(Cursor)"},
            {"ADDR", "ADDRESS_T('Hauptstr. 1', 53113, 'BONN')"},
            {"PHONES", "PHONES_T('0228 1', '0228 2')"},
            {"BOSS", "REF PERSON_T"},
        };
        for (const auto& e : expected) {
            TField* f = q.FieldByName(e.column);
            EXPECT_EQ(f->DataType(), ftString) << e.column;
            EXPECT_EQ(f->AsString(), e.text) << e.column;
        }
        EXPECT_EQ(q.FieldByName("BF")->DataType(), ftFloat);
        EXPECT_DOUBLE_EQ(q.FieldByName("BF")->AsFloat(), 1.5);
        EXPECT_DOUBLE_EQ(q.FieldByName("BD")->AsFloat(), 2.718281828459045);
        // The text is only shown: writing it is refused, and the value stays.
        q.Edit();
        try {
            q.FieldByName("TS")->SetAsString("01.01.2000 00:00:00");
            FAIL() << "written";
        } catch (const EDatabaseError& e) {
            EXPECT_NE(std::string(e.what()).find("'TS'"), std::string::npos) << e.what();
        }
        q.Cancel();
        EXPECT_EQ(q.FieldByName("TS")->AsString(), "29.02.2024 13:45:30,123456");
        // The second row: every value null but the cursor, which a CURSOR expression always gives.
        q.Next();
        ASSERT_FALSE(q.Eof());
        for (const char* c :
             {"TS", "TSTZ", "TSLTZ", "IYM", "IDS", "BF", "BD", "UR", "BFIL", "ADDR", "PHONES", "BOSS"})
            EXPECT_TRUE(q.FieldByName(c)->IsNull()) << c;
        EXPECT_EQ(q.FieldByName("RC")->AsString(), "(Cursor)");
        q.Next();
        EXPECT_TRUE(q.Eof());
        q.Close();
    }
    // Every instance the library allocated for a fetched object or collection was freed with its record.
    EXPECT_EQ(LibCounter(0), 0);
}

} // namespace
