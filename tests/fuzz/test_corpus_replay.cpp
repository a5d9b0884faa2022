// Replays the stored fuzz corpus through the decoders: every input must end without a crash (the sanitizer
// build turns any memory fault into a failure).
#include "FuzzTargets.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <vector>

namespace fs = std::filesystem;

namespace {

int Replay(const char* target, int (*entry)(const uint8_t*, size_t)) {
    const char* src = std::getenv("VESTRA_SOURCE_DIR");
    fs::path dir = fs::path(src ? src : ".") / "tests" / "fuzz" / "corpus" / target;
    int count = 0;
    if (!fs::is_directory(dir)) return 0;
    for (auto& e : fs::directory_iterator(dir)) {
        if (!e.is_regular_file()) continue;
        std::ifstream in(e.path(), std::ios::binary);
        std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        entry(bytes.data(), bytes.size());
        ++count;
    }
    return count;
}

} // namespace

TEST(FuzzCorpus, PacketReader) {
    EXPECT_GT(Replay("packet", vfuzz::FuzzPacketReader), 0);
}
TEST(FuzzCorpus, StatusReader) {
    EXPECT_GT(Replay("status", vfuzz::FuzzStatusReader), 0);
}
TEST(FuzzCorpus, DescribeReader) {
    EXPECT_GT(Replay("describe", vfuzz::FuzzDescribeReader), 0);
}
TEST(FuzzCorpus, RowReader) {
    EXPECT_GT(Replay("row", vfuzz::FuzzRowReader), 0);
}
TEST(FuzzCorpus, ConnectString) {
    EXPECT_GT(Replay("connect", vfuzz::FuzzConnectString), 0);
}
TEST(FuzzCorpus, CurrentTnsReader) {
    EXPECT_GT(Replay("current_tns", vfuzz::FuzzCurrentTnsReader), 0);
}
TEST(FuzzCorpus, CurrentTtcReader) {
    EXPECT_GT(Replay("current_ttc", vfuzz::FuzzCurrentTtcReader), 0);
}
TEST(FuzzCorpus, CurrentTypes) {
    EXPECT_GT(Replay("current_types", vfuzz::FuzzCurrentTypesReader), 0);
}

TEST(FuzzCorpus, CurrentLobReader) {
    EXPECT_GT(Replay("current_lob", vfuzz::FuzzCurrentLobReader), 0);
}

TEST(FuzzCorpus, CurrentBindReader) {
    EXPECT_GT(Replay("current_bind", vfuzz::FuzzCurrentBindReader), 0);
}
