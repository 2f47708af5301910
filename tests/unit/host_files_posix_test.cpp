// Replacing a file on the host: whatever moment the process dies, the old
// file is whole or the new one is, and no temporary file stays behind.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
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

// The saved file a run keeps from its start to its save: replaced only if
// it is still the very file that was read, created only if the name is
// still free; anything put there in between is left as it is.
enum class Before { missing, file };
enum class Meanwhile { nothing, file_swapped, link_planted };

struct KeptCase {
    const char* name;
    Before before;
    Meanwhile meanwhile;
    KeptSave expected;
};
void PrintTo(const KeptCase& c, std::ostream* os) { *os << c.name; }

class KeptFile : public testing::TestWithParam<KeptCase> {};

TEST_P(KeptFile, ReplacedOnlyIfStillTheFileRead) {
    const KeptCase& c = GetParam();
    char pattern[] = "/tmp/emu6502-kept-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::filesystem::path dir = pattern;
    const std::filesystem::path target = dir / "membackup";
    const auto write = [](const std::filesystem::path& path, char byte) {
        std::ofstream(path, std::ios::binary) << std::string(4, byte);
    };
    if (c.before == Before::file) write(target, 'o');
    std::array<std::uint8_t, 8> into{};
    const KeptRead read = host_keep_file(target.c_str(), into);
    EXPECT_EQ(read.status, c.before == Before::file ? KeptStatus::read : KeptStatus::missing);
    write(dir / "victim", 'v');
    if (c.meanwhile == Meanwhile::file_swapped) {
        write(dir / "other", 's');
        std::filesystem::rename(dir / "other", target);
    } else if (c.meanwhile == Meanwhile::link_planted) {
        std::filesystem::remove(target);
        std::filesystem::create_symlink("victim", target);
    }
    const std::array<std::uint8_t, 3> bytes{'n', 'e', 'w'};
    EXPECT_EQ(host_kept_replace(bytes), c.expected);
    const auto text = [](const std::filesystem::path& path) {
        const std::vector<std::uint8_t> b = read_all(path);
        return std::string(b.begin(), b.end());
    };
    EXPECT_EQ(text(dir / "victim"), "vvvv");
    if (c.expected == KeptSave::saved) {
        EXPECT_EQ(text(target), "new");
    } else if (c.meanwhile == Meanwhile::file_swapped) {
        EXPECT_EQ(text(target), "ssss");
    } else {
        EXPECT_TRUE(std::filesystem::is_symlink(target));
    }
    std::size_t names = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir)) ++names;
    EXPECT_EQ(names, 2u) << "a temporary file was left behind";
    std::filesystem::remove_all(dir);
}

INSTANTIATE_TEST_SUITE_P(
    Host, KeptFile,
    testing::Values(KeptCase{"unchanged_file_replaced", Before::file, Meanwhile::nothing, KeptSave::saved},
                    KeptCase{"missing_file_created", Before::missing, Meanwhile::nothing, KeptSave::saved},
                    KeptCase{"swapped_file_left_alone", Before::file, Meanwhile::file_swapped, KeptSave::changed},
                    KeptCase{"link_over_the_file_left_alone", Before::file, Meanwhile::link_planted, KeptSave::changed},
                    KeptCase{"link_where_none_was_left_alone", Before::missing, Meanwhile::link_planted,
                             KeptSave::changed}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
