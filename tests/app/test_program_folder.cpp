// Where the program finds its own files and keeps the user's: beside the program when it runs unpacked, in
// share/vestra and the user's data folder when it runs installed.
#include "app/ExportPlan.h"
#include "app/ProgramFolder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

class Layout : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() / ("vestra-layout-" + std::to_string(::getpid()));
        fs::remove_all(root_);
        fs::create_directories(root_);
        const char* xdg = std::getenv("XDG_DATA_HOME");
        savedXdg_ = xdg ? std::optional<std::string>(xdg) : std::nullopt;
        ::setenv("XDG_DATA_HOME", (root_ / "home-data").c_str(), 1);
    }
    void TearDown() override {
        SetProgramFolderForTests("");
        if (savedXdg_)
            ::setenv("XDG_DATA_HOME", savedXdg_->c_str(), 1);
        else
            ::unsetenv("XDG_DATA_HOME");
        fs::remove_all(root_);
    }
    std::string Path(const std::string& rel) const { return (root_ / rel).string(); }

    fs::path root_;
    std::optional<std::string> savedXdg_;
};

TEST_F(Layout, AnUnpackedProgramKeepsEverythingBesideItself) {
    // A build tree: build/bin has no share/vestra beside it.
    fs::create_directories(Path("build/bin"));
    SetProgramFolderForTests(Path("build/bin"));
    EXPECT_FALSE(InstalledLayout());
    EXPECT_EQ(DataFolder(), Path("build/bin"));
    EXPECT_EQ(UserFolder(), Path("build/bin"));
    EXPECT_EQ(ProgramSubFolder("SQL"), Path("build/bin/SQL"));
    // The program creates none of the folders beside itself.
    EXPECT_FALSE(fs::exists(Path("build/bin/SQL")));
    EXPECT_EQ(ExportProgramFolder(), Path("build/bin") + "/");
    EXPECT_FALSE(fs::exists(Path("home-data")));
}

TEST_F(Layout, AnInstalledProgramReadsShareAndWritesIntoTheUsersDataFolder) {
    fs::create_directories(Path("usr/bin"));
    fs::create_directories(Path("usr/share/vestra/Report"));
    SetProgramFolderForTests(Path("usr/bin"));
    EXPECT_TRUE(InstalledLayout());
    EXPECT_EQ(DataFolder(), Path("usr/share/vestra"));
    EXPECT_EQ(UserDataFolder(), Path("home-data/vestra"));
    EXPECT_EQ(UserFolder(), Path("home-data/vestra"));
    // The user's folders are made on first use, and nothing is written next to the program.
    EXPECT_EQ(ProgramSubFolder("HIST"), Path("home-data/vestra/HIST"));
    EXPECT_TRUE(fs::is_directory(Path("home-data/vestra/HIST")));
    EXPECT_EQ(ExportProgramFolder(), Path("home-data/vestra") + "/");
    EXPECT_TRUE(fs::is_directory(Path("home-data/vestra/DAT")));
    EXPECT_FALSE(fs::exists(Path("usr/bin/HIST")));
    EXPECT_FALSE(fs::exists(Path("usr/share/vestra/HIST")));
}

TEST_F(Layout, AProgramFolderThatCannotBeWrittenSendsTheUsersFoldersToTheDataFolder) {
    // A folder that does not exist (a program started through a stale path) cannot be written either.
    SetProgramFolderForTests(Path("gone/bin-copy"));
    EXPECT_FALSE(InstalledLayout());
    EXPECT_EQ(UserFolder(), Path("home-data/vestra"));
    EXPECT_EQ(ProgramSubFolder("SQL"), Path("home-data/vestra/SQL"));
}

TEST_F(Layout, TheDataFolderFollowsXdgAndIgnoresARelativeOne) {
    ::setenv("XDG_DATA_HOME", "relative/data", 1);
    const char* home = std::getenv("HOME");
    ASSERT_NE(home, nullptr);
    EXPECT_EQ(UserDataFolder(), std::string(home) + "/.local/share/vestra");
}

} // namespace
