// The host's file services, the same on every platform: whole-file reads
// and their failures, replacing a file, read-only files, data files that
// must be regular files, and the folder lock.
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <string>

#include "host/files.hpp"
#include "host/process.hpp"

namespace {

namespace fs = std::filesystem;

class HostFiles : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("emu6502-host-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        previous_ = fs::current_path();
        fs::current_path(dir_);
    }
    void TearDown() override {
        fs::current_path(previous_);
        std::error_code ignored;
        for (const auto& entry : fs::recursive_directory_iterator(dir_, ignored))
            fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(dir_, ignored);
    }
    static void write(const std::string& name, const std::string& bytes) {
        std::ofstream(name, std::ios::binary) << bytes;
    }
    static std::string read(const std::string& name) {
        std::ifstream in(name, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

private:
    fs::path dir_, previous_;
};

struct ReadCase {
    const char* name;
    const char* content;  // nullptr: no file; "/": a folder
    FileReadStatus status;
    std::size_t size;
    bool missing;
};
void PrintTo(const ReadCase& c, std::ostream* os) { *os << c.name; }

class HostReadFile : public HostFiles, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(HostReadFile, ReadsWholeFilesAndSaysWhyNot) {
    const ReadCase& c = GetParam();
    if (c.content != nullptr && std::string(c.content) == "/") fs::create_directory("f");
    else if (c.content != nullptr) write("f", c.content);
    std::array<std::uint8_t, 4> buffer{};
    const FileRead r = host_read_file("f", buffer);
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.size, c.size);
    EXPECT_EQ(r.status == FileReadStatus::cannot_open && host_error_is_missing(r.error), c.missing);
    if (c.status == FileReadStatus::ok) {
        EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + static_cast<long>(c.size)), c.content);
    }
}

INSTANTIATE_TEST_SUITE_P(Host, HostReadFile,
                         ::testing::Values(ReadCase{"missing", nullptr, FileReadStatus::cannot_open, 0, true},
                                           ReadCase{"folder", "/", FileReadStatus::cannot_open, 0, false},
                                           ReadCase{"empty", "", FileReadStatus::ok, 0, false},
                                           ReadCase{"exactly_full", "abcd", FileReadStatus::ok, 4, false},
                                           ReadCase{"one_too_many", "abcde", FileReadStatus::too_long, 4, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(HostFiles, ReplaceWritesTheWholeFileOrNothing) {
    const std::array<std::uint8_t, 3> bytes{1, 2, 3};
    write("old", "previous");
    ASSERT_TRUE(host_replace_file("old", bytes));
    EXPECT_EQ(read("old"), std::string("\x01\x02\x03"));
    ASSERT_TRUE(host_replace_file("new", bytes));
    EXPECT_EQ(read("new"), std::string("\x01\x02\x03"));
    // No folder to write in: nothing is created, nothing left behind.
    EXPECT_FALSE(host_replace_file("no-such-folder/file", bytes));
    std::size_t names = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(".")) ++names;
    EXPECT_EQ(names, 2u);
}

TEST_F(HostFiles, ReadOnlyMeansThereAndNotWritable) {
    write("f", "x");
    EXPECT_FALSE(host_file_read_only("f"));
    EXPECT_FALSE(host_file_read_only("missing"));
    fs::permissions("f", fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    EXPECT_TRUE(host_file_read_only("f"));
}

TEST_F(HostFiles, DataFilesAreCreatedKeptAndNeverFolders) {
    std::FILE* created = host_open_data_file("file0");
    ASSERT_NE(created, nullptr);
    std::fputc('A', created);
    std::fclose(created);
    std::FILE* reopened = host_open_data_file("file0");
    ASSERT_NE(reopened, nullptr);
    EXPECT_EQ(std::fgetc(reopened), 'A');  // opened as it was, not emptied
    std::fclose(reopened);
    fs::create_directory("file1");
    EXPECT_EQ(host_open_data_file("file1"), nullptr);
    EXPECT_TRUE(fs::is_directory("file1"));
}

TEST_F(HostFiles, FolderLockIsHeldOnce) {
    EXPECT_EQ(host_lock_working_folder(), FolderLock::taken);
    EXPECT_EQ(host_lock_working_folder(), FolderLock::busy);
}

}  // namespace
