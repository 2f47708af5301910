// Replacing a file on the host: whatever moment the process dies, the old
// file is whole or the new one is, and no temporary file stays behind.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "host/files.hpp"

namespace {

std::vector<std::uint8_t> read_all(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(ReplaceFile, KilledMidSaveLeavesTheOldFileAndNoTemporary) {
    char pattern[] = "/tmp/emu6502-replace-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::filesystem::path dir = pattern;
    const std::filesystem::path target = dir / "membackup";
    const std::vector<std::uint8_t> old_bytes(65536, 0x11);
    std::ofstream(target, std::ios::binary).write(reinterpret_cast<const char*>(old_bytes.data()), 65536);
    // Large enough that the save is still writing when the kill comes.
    const std::vector<std::uint8_t> new_bytes(256u << 20, 0x22);
    for (const int delay_ms : {1, 20, 60}) {
        SCOPED_TRACE(delay_ms);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) _exit(host_replace_file(target.c_str(), new_bytes) ? 0 : 1);
        usleep(static_cast<useconds_t>(delay_ms) * 1000);
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir)) names.push_back(entry.path().filename());
        EXPECT_EQ(names, std::vector<std::string>{"membackup"});
        const auto size = std::filesystem::file_size(target);
        EXPECT_TRUE(size == old_bytes.size() || size == new_bytes.size()) << size;
        if (size == old_bytes.size()) {
            EXPECT_TRUE(read_all(target) == old_bytes);
        }
    }
    std::filesystem::remove_all(dir);
}

}  // namespace
