// The list project generator: the column blocks line by line, the order of fragments and blocks for both
// orientations, and a missing fragment.
#include "app/History.h"
#include "report/ListProject.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

class TempDir {
public:
    TempDir() {
        path_ = fs::temp_directory_path() /
                ("vestra-listproject-" + std::to_string(::getpid()) + "-" + std::to_string(counter_++));
        fs::create_directories(path_);
    }
    ~TempDir() { fs::remove_all(path_); }
    std::string Str() const { return path_.string(); }
    std::string File(const std::string& name) const { return (path_ / name).string(); }
    void Write(const std::string& name, const std::string& bytes) const {
        std::ofstream(path_ / name, std::ios::binary) << bytes;
    }

private:
    fs::path path_;
    static inline int counter_ = 0;
};

// Fragments that say which they are; one with LF only and one without a last line break.
void WriteFragments(const TempDir& d) {
    d.Write("first.bnx", "FIRST H 1\r\nFIRST H 2\r\n");
    d.Write("firstq.bnx", "FIRST Q\n");
    d.Write("linkcandh.bnx", "LINK 1\r\nLINK 2");
    d.Write("last.bnx", "LAST H\r\n");
    d.Write("lastq.bnx", "LAST Q\r\n");
}

// The data-line block of DEPTNO, 64 pixels wide, as it must stand in the file.
const std::vector<std::string> DeptnoDataBlock = {
    "            [Column]",
    "                 {",
    "\t         Width=24960",
    "                 Height=10000",
    "\t          bIsotropic=True",
    "\t         PlainTextFormat=True",
    "\t         Align=0",
    "\t         AlignDecPosition=-10000",
    "\t         VAlign=0",
    "\t         Adjusted=False",
    "\t         [Separator]",
    "            \t {",
    "\t          Used=True",
    "\t          Width=0",
    "         \t }",
    "\t         LineWrap=False",
    "\t         bFill=False",
    "\t         BkColor=RGB(0,0,0)",
    "\t         Raster=0",
    "\t         SpaceOptimization=True",
    "\t         WithText=False",
    "\t         [Spacing]",
    "         \t {",
    "             \t Left=1000",
    "\t          Top=500",
    "\t          Right=1000",
    "\t          Bottom=500",
    "           \t }",
    "          \t[Font]",
    "          \t {",
    "            \t Default=True",
    "           \t Name=Arial",
    "         \t GdiCharSet=0",
    "          \t Size=12",
    "           \t Width=0",
    "           \t Bold=False",
    "           \t Italic=False",
    "           \t Underline=False",
    "\t          Strikeout=False",
    "\t          Color=RGB(0,0,0)",
    "\t          PitchAndFamily=0",
    "           \t OutPrecision=4",
    "           \t }",
    "           \tText=DEPTNO",
    "           \t}",
};

// The header-line block of DNAME, 100 pixels wide.
const std::vector<std::string> DnameHeaderBlock = {
    "            [Column]",
    "                 {",
    "\t         Width=39000",
    "                 Height=10000",
    "\t         bIsotropic=True",
    "\t         PlainTextFormat=True",
    "\t         Align=0",
    "\t         AlignDecPosition=-10000",
    "\t         VAlign=0",
    "\t         Adjusted=False",
    "\t         [Separator]",
    "            \t {",
    "\t          Used=True",
    "\t          Width=0",
    "         \t }",
    "\t         LineWrap=False",
    "\t         bFill=TRUE",
    "\t         BkColor=RGB(224,224,224)",
    "\t         Raster=1",
    "\t         SpaceOptimization=True",
    "\t         WithText=False",
    "\t         [Spacing]",
    "         \t {",
    "               Left=1000",
    "\t          Top=500",
    "\t          Right=1000",
    "\t          Bottom=500",
    "           \t }",
    "          \t[Font]",
    "          \t {",
    "            \t Default=True",
    "           \t Name=Arial",
    "         \t GdiCharSet=0",
    "          \t Size=12",
    "           \t Width=0",
    "           \t Bold=False",
    "           \t Italic=False",
    "           \t Underline=False",
    "\t          Strikeout=False",
    "\t          Color=RGB(0,0,0)",
    "\t          PitchAndFamily=0",
    "           \t OutPrecision=4",
    "           \t }",
    "           \tText=\"DNAME\"",
    "           \t}",
};

std::vector<std::string> Slice(const std::vector<std::string>& v, size_t from, size_t n) {
    return std::vector<std::string>(v.begin() + long(from), v.begin() + long(from + n));
}

} // namespace

TEST(ListProjectBlocks, DataAndHeaderBlocksByteForByte) {
    EXPECT_EQ(DataLineBlock({"DEPTNO", "Abteilung", 64}), DeptnoDataBlock);
    EXPECT_EQ(HeaderLineBlock({"DNAME", "Name", 100}), DnameHeaderBlock);
}

TEST(ListProjectBlocks, HeaderDiffersFromDataOnlyInTheNamedLines) {
    const auto data = DataLineBlock({"DNAME", "", 100});
    const auto header = HeaderLineBlock({"DNAME", "", 100});
    ASSERT_EQ(data.size(), 45u);
    ASSERT_EQ(header.size(), 45u);
    std::vector<int> differing;
    for (size_t i = 0; i < 45; ++i)
        if (data[i] != header[i]) differing.push_back(int(i) + 1);
    EXPECT_EQ(differing, (std::vector<int>{5, 17, 18, 19, 24, 44}));
    EXPECT_EQ(data[43], "           \tText=DNAME");
}

TEST(ListProjectFile, TwoColumnsPortraitInTheGivenOrder) {
    TempDir d;
    WriteFragments(d);
    const std::string file = d.File("bnxrep.lst");
    WriteListProject(file, d.Str(), 'H', {{"DEPTNO", "", 64}, {"DNAME", "", 100}});
    const auto lines = SplitLines(ReadWholeFile(file));
    ASSERT_EQ(lines.size(), 2 + 90 + 2 + 90 + 1u);
    EXPECT_EQ(Slice(lines, 0, 2), (std::vector<std::string>{"FIRST H 1", "FIRST H 2"}));
    EXPECT_EQ(Slice(lines, 2, 45), DeptnoDataBlock);
    EXPECT_EQ(lines[47 + 2], "\t         Width=39000");
    EXPECT_EQ(lines[47 + 43], "           \tText=DNAME");
    EXPECT_EQ(Slice(lines, 92, 2), (std::vector<std::string>{"LINK 1", "LINK 2"}));
    EXPECT_EQ(lines[94 + 2], "\t         Width=24960");
    EXPECT_EQ(lines[94 + 43], "           \tText=\"DEPTNO\"");
    EXPECT_EQ(Slice(lines, 139, 45), DnameHeaderBlock);
    EXPECT_EQ(lines.back(), "LAST H");

    // Every line ends with CR LF, the last one too, and there is no other line break.
    const std::string bytes = ReadWholeFile(file);
    size_t crlf = 0;
    for (size_t p = bytes.find("\r\n"); p != std::string::npos; p = bytes.find("\r\n", p + 2))
        ++crlf;
    EXPECT_EQ(crlf, lines.size());
    EXPECT_EQ(bytes.substr(bytes.size() - 2), "\r\n");
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\n'), long(lines.size()));
}

TEST(ListProjectFile, LandscapeReadsTheQFragmentsAndOneColumnGivesOneBlockEach) {
    TempDir d;
    WriteFragments(d);
    const auto lines = BuildListProject(d.Str(), 'Q', {{"X", "", 10}});
    ASSERT_EQ(lines.size(), 1 + 45 + 2 + 45 + 1u);
    EXPECT_EQ(lines[0], "FIRST Q");
    EXPECT_EQ(lines[1 + 2], "\t         Width=3900");
    EXPECT_EQ(lines[46], "LINK 1");
    EXPECT_EQ(lines[48 + 43], "           \tText=\"X\"");
    EXPECT_EQ(lines.back(), "LAST Q");
    EXPECT_EQ(FragmentNames('H'), (std::vector<std::string>{"first.bnx", "linkcandh.bnx", "last.bnx"}));
    EXPECT_EQ(FragmentNames('Q'), (std::vector<std::string>{"firstq.bnx", "linkcandh.bnx", "lastq.bnx"}));
}

TEST(ListProjectFile, MissingFragmentStopsAndWritesNoProject) {
    for (const char* missing : {"first.bnx", "linkcandh.bnx", "last.bnx"}) {
        TempDir d;
        WriteFragments(d);
        fs::remove(d.File(missing));
        const std::string file = d.File("bnxrep.lst");
        try {
            WriteListProject(file, d.Str(), 'H', {{"A", "", 10}});
            ADD_FAILURE() << "no error for a missing " << missing;
        } catch (const EFileError& e) {
            EXPECT_NE(std::string(e.what()).find(missing), std::string::npos) << e.what();
        }
        EXPECT_FALSE(fs::exists(file)) << missing;
    }
    // An older project is left alone, not half replaced.
    TempDir d;
    WriteFragments(d);
    fs::remove(d.File("lastq.bnx"));
    d.Write("bnxrep.lst", "old");
    EXPECT_THROW(WriteListProject(d.File("bnxrep.lst"), d.Str(), 'Q', {{"A", "", 10}}), EFileError);
    EXPECT_EQ(ReadWholeFile(d.File("bnxrep.lst")), "old");
}

TEST(ListProjectFile, ReportFolderBesideTheProgram) {
    EXPECT_EQ(ReportFolder("/opt/vestra/bin"), "/opt/vestra/bin/Report");
    EXPECT_EQ(ReportFolder("/opt/vestra/bin/"), "/opt/vestra/bin/Report");
    EXPECT_EQ(ReportProjectFile("/opt/vestra/bin/Report"), "/opt/vestra/bin/Report/bnxrep.lst");
}
