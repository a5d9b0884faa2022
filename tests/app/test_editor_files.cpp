// The editor's files and texts at their edges: saving that keeps what the user's file is (link, mode,
// read-only), reading that never goes past the editor's capacity, the editor's raw text, and UTF-8 input
// that is refused rather than turned into "?".
#include "app/AnsiText.h"
#include "app/FileSave.h"
#include "app/History.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

class EditorFiles : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("vestra-ef-" + std::to_string(::getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override {
        std::error_code ec;
        fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(dir_, ec);
    }
    std::string File(const char* name) const { return (dir_ / name).string(); }
    static mode_t ModeOf(const std::string& f) {
        struct stat st {};
        ::stat(f.c_str(), &st);
        return st.st_mode & 07777;
    }
    size_t FilesInDir() const {
        size_t n = 0;
        for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir_))
            ++n;
        return n;
    }
    fs::path dir_;
};

TEST_F(EditorFiles, SavingFollowsALinkKeepsTheModeAndLeavesNoTemporaryFile) {
    const std::string real = File("real.SQL");
    WriteWholeFile(real, "old");
    ::chmod(real.c_str(), 0640);
    fs::create_symlink("real.SQL", File("link.SQL"));

    SaveSqlFile(File("link.SQL"), "select 1\r\nfrom dual");
    EXPECT_TRUE(fs::is_symlink(File("link.SQL"))) << "the link became a plain file";
    EXPECT_EQ(ReadWholeFile(real), "select 1\r\nfrom dual");
    EXPECT_EQ(ModeOf(real), mode_t(0640));
    EXPECT_EQ(FilesInDir(), 2u);

    // A link to a file that does not exist yet creates the target.
    fs::create_symlink("new.SQL", File("dangling.SQL"));
    SaveSqlFile(File("dangling.SQL"), "x");
    EXPECT_TRUE(fs::is_symlink(File("dangling.SQL")));
    EXPECT_EQ(ReadWholeFile(File("new.SQL")), "x");
}

TEST_F(EditorFiles, AReadOnlyFileIsRefusedAndKeepsItsContent) {
    const std::string f = File("ro.SQL");
    WriteWholeFile(f, "keep me");
    ::chmod(f.c_str(), 0444);
    try {
        SaveSqlFile(f, "new text");
        FAIL() << "a read-only file was replaced";
    } catch (const EFileError& e) {
        EXPECT_NE(std::string(e.what()).find("kann nicht erstellt werden"), std::string::npos) << e.what();
    }
    EXPECT_EQ(ReadWholeFile(f), "keep me");
    EXPECT_EQ(ModeOf(f), mode_t(0444));
    EXPECT_EQ(FilesInDir(), 1u);
    // A history is refused the same way.
    THistory h;
    h.Record("select 1 from dual");
    EXPECT_THROW(h.SaveToFile(f), EFileError);
    EXPECT_EQ(ReadWholeFile(f), "keep me");
}

TEST_F(EditorFiles, FilesBeyondTheEditorsCapacityAreRefusedBeforeReading) {
    // A sparse file: its size is known at once, its bytes were never written.
    const std::string big = File("big.SQL");
    WriteWholeFile(big, "");
    fs::resize_file(big, kEditorCapacity + 1);
    try {
        LoadSqlFile(big);
        FAIL() << "a file beyond the capacity was loaded";
    } catch (const EFileError& e) {
        EXPECT_EQ(std::string(e.what()), "Text \xFC"
                                         "berschreitet Memo-Kapazit\xE4t");
    }
    // The history keeps its entries when the file is refused, or cannot be read at all.
    THistory h;
    h.Record("select 1 from dual");
    EXPECT_THROW(h.LoadFromFile(big), EFileError);
    EXPECT_THROW(h.LoadFromFile(File("missing.HIST")), EFileError);
    EXPECT_EQ(h.Count(), 1);
    EXPECT_EQ(h.LabelText(), "1 / 1");

    // Exactly the capacity still loads; a device is never read.
    fs::resize_file(big, kEditorCapacity);
    EXPECT_EQ(LoadSqlFile(big).size(), size_t(kEditorCapacity));
    EXPECT_THROW(ReadFileUpTo("/dev/zero", 100), EFileError);
    EXPECT_THROW(ReadFileUpTo(dir_.string(), 100), EFileError);
}

TEST(EditorText, RawTextKeepsNoBreakSpacesAndTurnsSeparatorsIntoCrLf) {
    EXPECT_EQ(EditorTextFromRaw(u"select '\u00A0x'\u2029from dual"), u"select '\u00A0x'\r\nfrom dual");
    EXPECT_EQ(EditorTextFromRaw(u"a\u2028b\u2029\u2029"), u"a\r\nb\r\n\r\n");
    EXPECT_EQ(EditorTextFromRaw(u""), u"");
}

TEST(Utf8Input, CharactersWindows1252LacksAndBrokenUtf8AreRefusedNeverReplaced) {
    std::string out = "unchanged", msg;
    EXPECT_TRUE(Utf8ToAnsi("select '\xC3\xA4\xE2\x82\xAC?' from dual", out, msg, "x"));
    EXPECT_EQ(out, "select '\xE4\x80?' from dual");

    out = "unchanged";
    EXPECT_FALSE(
        Utf8ToAnsi("select 1\nfrom dual where x = '\xC4\x81'", out, msg, "Nichts ausgef\xC3\xBChrt."));
    EXPECT_EQ(out, "unchanged");
    EXPECT_NE(msg.find("U+0101"), std::string::npos) << msg;
    EXPECT_NE(msg.find("Zeile 2"), std::string::npos) << msg;
    EXPECT_NE(msg.find("Nichts ausgef\xC3\xBChrt."), std::string::npos) << msg;

    // Latin-1 bytes on a UTF-8 terminal, an overlong slash, a lone surrogate, a cut sequence.
    for (const char* bad : {"caf\xE9", "\xC0\xAF", "\xED\xA0\x80", "\xE2\x82"}) {
        EXPECT_FALSE(Utf8ToAnsi(bad, out, msg, "")) << bad;
        EXPECT_NE(msg.find("UTF-8"), std::string::npos);
    }
    // An emoji (outside the BMP) is named with its code point.
    EXPECT_FALSE(Utf8ToAnsi("\xF0\x9F\x98\x80", out, msg, ""));
    EXPECT_NE(msg.find("U+1F600"), std::string::npos) << msg;
}

TEST(ScriptEncoding, Utf8IsDetectedByItsBomOrItsValidMultiByteText) {
    std::string out, msg;
    // UTF-8 without a BOM.
    EXPECT_TRUE(DecodeScript("select '\xC3\xA4' from dual;", TScriptEncoding::Auto, out, msg, ""));
    EXPECT_EQ(out, "select '\xE4' from dual;");
    // With a BOM, even when the rest is plain ASCII; the BOM is dropped.
    EXPECT_TRUE(DecodeScript("\xEF\xBB\xBFselect 1 from dual;", TScriptEncoding::Auto, out, msg, ""));
    EXPECT_EQ(out, "select 1 from dual;");
    // Windows-1252 bytes are not valid UTF-8: taken as they are.
    EXPECT_TRUE(DecodeScript("select '\xE4\xA7' from dual;", TScriptEncoding::Auto, out, msg, ""));
    EXPECT_EQ(out, "select '\xE4\xA7' from dual;");
    // The option decides against the guess.
    EXPECT_TRUE(DecodeScript("'\xC3\xA4'", TScriptEncoding::Cp1252, out, msg, ""));
    EXPECT_EQ(out, "'\xC3\xA4'");
    EXPECT_FALSE(DecodeScript("'\xE4'", TScriptEncoding::Utf8, out, msg, ""));
    // A UTF-8 script with a character Windows-1252 lacks is refused.
    EXPECT_FALSE(
        DecodeScript("select 1;\nselect '\xC5\x91' from dual;", TScriptEncoding::Auto, out, msg, ""));
    EXPECT_NE(msg.find("Zeile 2"), std::string::npos) << msg;
}

} // namespace
