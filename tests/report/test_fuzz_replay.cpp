// Replays the stored corpus of the project reader: every input must end without a crash (the sanitizer
// build turns any memory fault into a failure).
#include "FuzzL9Project.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <vector>

namespace fs = std::filesystem;

TEST(FuzzCorpus, L9ProjectReader) {
    const char* src = std::getenv("VESTRA_SOURCE_DIR");
    const fs::path dir = fs::path(src ? src : ".") / "tests" / "fuzz" / "corpus" / "l9project";
    ASSERT_TRUE(fs::is_directory(dir)) << dir;
    int count = 0;
    for (auto& e : fs::directory_iterator(dir)) {
        if (!e.is_regular_file()) continue;
        std::ifstream in(e.path(), std::ios::binary);
        std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        vfuzz::FuzzL9ProjectReader(bytes.data(), bytes.size());
        ++count;
    }
    EXPECT_GT(count, 0);
}
