// The device registers seen from a running program, with no terminal: the
// keyboard fed by standard input, console output, the data file channel,
// the clock and the random byte, and instructions that touch a device more
// than once (or not at all). Programs are hand-assembled, start with SEI so
// the timer interrupt cannot end them early, store what they read from 0x1000
// on, and end with JMP $0000; results are checked in "membackup".
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <ctime>
#include <future>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "e2e/harness.hpp"

namespace {

using e2e::Bytes;

constexpr std::size_t RESULTS = 0x1000;
const std::string NO_MEMBACKUP = "can't read membackup file.\n";

Bytes program(const Bytes& body) {
    Bytes code{0x78};  // SEI
    code.insert(code.end(), body.begin(), body.end());
    code.insert(code.end(), {0x4C, 0x00, 0x00});  // JMP $0000
    return code;
}

Bytes operator+(Bytes left, const Bytes& right) {
    left.insert(left.end(), right.begin(), right.end());
    return left;
}

// Little building blocks, each one instruction or two.
Bytes lda_imm(std::uint8_t v) { return {0xA9, v}; }
Bytes ldx_imm(std::uint8_t v) { return {0xA2, v}; }
Bytes lda_abs(std::uint16_t a) { return {0xAD, static_cast<std::uint8_t>(a), static_cast<std::uint8_t>(a >> 8)}; }
Bytes sta_abs(std::uint16_t a) { return {0x8D, static_cast<std::uint8_t>(a), static_cast<std::uint8_t>(a >> 8)}; }
Bytes stx_abs(std::uint16_t a) { return {0x8E, static_cast<std::uint8_t>(a), static_cast<std::uint8_t>(a >> 8)}; }
// Reads a device register and keeps the value at 0x1000 + slot.
Bytes keep(std::uint16_t device, std::uint8_t slot) { return lda_abs(device) + sta_abs(RESULTS + slot); }
Bytes put(std::uint16_t device, std::uint8_t v) { return lda_imm(v) + sta_abs(device); }

Bytes results(const e2e::TempDir& dir, std::size_t count) {
    const Bytes image = e2e::membackup(dir);
    if (image.size() != 0x10000) return {};
    return Bytes(image.begin() + RESULTS, image.begin() + static_cast<long>(RESULTS + count));
}

struct DeviceCase {
    const char* name;
    Bytes code;
    std::vector<std::string> args;  // after the image path
    std::string stdin_data;
    bool stdin_closed = false;
    bool stdout_closed = false;
    std::vector<std::pair<std::string, Bytes>> files_before;
    std::string expected_out;
    Bytes expected_results;                                          // from 0x1000
    std::vector<std::pair<std::string, std::optional<Bytes>>> files_after;  // nullopt: must not exist
};
void PrintTo(const DeviceCase& c, std::ostream* os) { *os << c.name; }

std::string with_zero(const char* text, std::size_t length) { return std::string(text, length); }

const DeviceCase DEVICE_CASES[] = {
    // Keyboard through standard input ("-i") and without it.
    {"stdin_bytes_then_zero", keep(0xFF00, 0) + keep(0xFF00, 1) + keep(0xFF00, 2) + keep(0xFF00, 3), {"-i"}, "AB",
     false, false, {}, "", {0x41, 0x42, 0x00, 0x00}, {}},
    {"stdin_del_stays_7f", keep(0xFF00, 0) + keep(0xFF00, 1), {"-i"}, "\x7F", false, false, {}, "", {0x7F, 0x00}, {}},
    {"stdin_zero_byte_is_delivered", keep(0xFF00, 0) + keep(0xFF00, 1), {"-i"}, with_zero("\0Q", 2), false, false, {},
     "", {0x00, 0x51}, {}},
    {"stdin_empty_reads_zero", keep(0xFF00, 0), {"-i"}, "", false, false, {}, "", {0x00}, {}},
    {"stdin_closed_reads_zero", keep(0xFF00, 0) + keep(0xFF00, 1), {"-i"}, "", true, false, {}, "", {0x00, 0x00}, {}},
    {"without_switch_stdin_is_not_keyboard", keep(0xFF00, 0) + keep(0xFF00, 1), {}, "AB", false, false, {}, "",
     {0x00, 0x00}, {}},
    {"write_to_kbd_is_stored_but_read_is_input", put(0xFF00, 0x99) + keep(0xFF00, 0), {"-i"}, "Z", false, false, {},
     "", {0x5A}, {}},
    // Console output: raw bytes, escape sequences and zero included.
    {"console_bytes_unchanged",
     put(0xFF01, 0x1B) + put(0xFF01, '[') + put(0xFF01, '2') + put(0xFF01, 'J') + put(0xFF01, 0x00) +
         put(0xFF01, 0xFF) + put(0xFF01, '\n') + put(0xFF01, '\r') + put(0xFF01, 'x') + keep(0xFF01, 0),
     {}, "", false, false, {}, with_zero("\x1B[2J\0\xFF\n\rx", 9), {'x'}, {}},
    {"console_with_stdout_closed_runs_on", put(0xFF01, 'A') + keep(0xFF01, 0), {}, "", false, true, {}, "", {'A'}, {}},
    // Data files.
    {"file_write_close_read_back",
     put(0xFF0B, 1) + put(0xFF0B, 2) + put(0xFF0B, 3) + keep(0xFF0C, 0) + keep(0xFF0A, 1) + keep(0xFF0A, 2) +
         keep(0xFF0A, 3) + keep(0xFF0A, 4) + keep(0xFF0A, 5) + keep(0xFF0C, 6),
     {}, "", false, false, {}, "", {0x00, 1, 2, 3, 0xFF, 0xFF, 0x00}, {{"file0", Bytes{1, 2, 3}}}},
    {"select_while_open_keeps_the_open_file",
     put(0xFF0B, 7) + put(0xFF0C, 3) + put(0xFF0B, 8) + keep(0xFF0C, 0) + put(0xFF0B, 9) + keep(0xFF0C, 1), {}, "",
     false, false, {}, "", {0x00, 0x00}, {{"file0", Bytes{7, 8}}, {"file3", Bytes{9}}}},
    {"file255_fills_the_name", put(0xFF0C, 255) + put(0xFF0B, 0x5A) + keep(0xFF0C, 0), {}, "", false, false, {}, "",
     {0x00}, {{"file255", Bytes{0x5A}}, {"file0", std::nullopt}, {"file25", std::nullopt}}},
    {"select_reads_memory_with_no_file_open", put(0xFF0C, 42) + keep(0xFF0C, 0), {}, "", false, false, {}, "",
     {42}, {{"file42", std::nullopt}}},
    {"select_reads_status_then_memory",
     put(0xFF0C, 5) + put(0xFF0B, 0xAB) + keep(0xFF0C, 0) + keep(0xFF0C, 1), {}, "", false, false, {}, "",
     {0x00, 0x05}, {{"file5", Bytes{0xAB}}}},
    {"existing_file_is_not_emptied", put(0xFF0B, 0x5A) + keep(0xFF0C, 0), {}, "", false, false,
     {{"file0", Bytes{0x41, 0x42, 0x43}}}, "", {0x00}, {{"file0", Bytes{0x5A, 0x42, 0x43}}}},
    {"existing_file_reads_from_start", keep(0xFF0A, 0) + keep(0xFF0A, 1) + keep(0xFF0A, 2) + keep(0xFF0C, 3), {}, "",
     false, false, {{"file7", Bytes{0xFF, 0x00}}, {"file0", Bytes{0x10, 0x20}}}, "", {0x10, 0x20, 0xFF, 0x00},
     {{"file0", Bytes{0x10, 0x20}}}},
    {"missing_file_is_created_empty", keep(0xFF0A, 0) + keep(0xFF0C, 1), {}, "", false, false, {}, "", {0xFF, 0x00},
     {{"file0", Bytes{}}}},
    {"file_left_open_at_the_end_is_flushed", put(0xFF0B, 0x11) + put(0xFF0B, 0x22), {}, "", false, false, {}, "", {},
     {{"file0", Bytes{0x11, 0x22}}}},
    // Instructions that reach a device more than once, or not at all.
    {"inc_prints_one_character", put(0xFF01, 0x40) + Bytes{0xEE, 0x01, 0xFF} + keep(0xFF01, 0), {}, "", false, false,
     {}, "@A", {0x41}, {}},
    {"sax_prints_three_characters", lda_imm(0x41) + ldx_imm(0x43) + Bytes{0x8F, 0x01, 0xFF} + keep(0xFF01, 0), {},
     "", false, false, {}, "ACA", {0x41}, {}},
    {"sax_writes_three_file_bytes", lda_imm(0x41) + ldx_imm(0x43) + Bytes{0x8F, 0x0B, 0xFF} + keep(0xFF0C, 0), {}, "",
     false, false, {}, "", {0x00}, {{"file0", Bytes{0x41, 0x43, 0x41}}}},
    {"nop_abs_consumes_no_key", Bytes{0x0C, 0x00, 0xFF} + keep(0xFF00, 0), {"-i"}, "QR", false, false, {}, "",
     {0x51}, {}},
    {"lax_reads_the_file_twice", Bytes{0xAF, 0x0A, 0xFF} + sta_abs(RESULTS) + stx_abs(RESULTS + 1) + keep(0xFF0A, 2),
     {}, "", false, false, {{"file0", Bytes{0x41, 0x42}}}, "", {0x41, 0x42, 0xFF}, {}},
    {"lax_reads_two_keys", Bytes{0xAF, 0x00, 0xFF} + sta_abs(RESULTS) + stx_abs(RESULTS + 1) + keep(0xFF00, 2),
     {"-i"}, "XYZ", false, false, {}, "", {0x58, 0x59, 0x5A}, {}},
};

class DeviceTest : public ::testing::TestWithParam<DeviceCase> {};

TEST_P(DeviceTest, Runs) {
    const DeviceCase& c = GetParam();
    e2e::TempDir dir;
    dir.write("prog.bin", program(c.code));
    for (const auto& [name, bytes] : c.files_before) dir.write(name, bytes);
    std::vector<std::string> args{"prog.bin"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    e2e::RunOptions options;
    options.stdin_data = c.stdin_data;
    options.stdin_closed = c.stdin_closed;
    options.stdout_closed = c.stdout_closed;
    options.timeout_seconds = 20;

    const e2e::RunResult run = e2e::run_emulator(dir, args, options);

    ASSERT_FALSE(run.timed_out);
    EXPECT_EQ(run.term_signal, 0);
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(run.err, NO_MEMBACKUP);
    EXPECT_EQ(run.out, c.expected_out);
    EXPECT_EQ(results(dir, c.expected_results.size()), c.expected_results);
    for (const auto& [name, bytes] : c.files_after) {
        SCOPED_TRACE(name);
        if (!bytes) {
            EXPECT_FALSE(dir.exists(name));
            continue;
        }
        ASSERT_TRUE(dir.exists(name));
        EXPECT_EQ(dir.read(name), *bytes);
    }
}

INSTANTIATE_TEST_SUITE_P(Devices, DeviceTest, ::testing::ValuesIn(DEVICE_CASES),
                         [](const auto& info) { return std::string(info.param.name); });

// A name that is a directory can be neither opened nor created: reads give
// 0xFF, writes vanish, and the next access tries again, so a new selection
// works at once.
TEST(DataFileFailure, DirectoryNameReadsFFAndRetries) {
    e2e::TempDir dir;
    std::filesystem::create_directory(dir.file("file0"));
    dir.write("prog.bin", program(keep(0xFF0A, 0) + put(0xFF0B, 0x33) + keep(0xFF0A, 1) + keep(0xFF0C, 2) +
                                  put(0xFF0C, 1) + put(0xFF0B, 0x44) + keep(0xFF0C, 3)));
    const e2e::RunResult run = e2e::run_emulator(dir, {"prog.bin"});
    ASSERT_FALSE(run.timed_out);
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(run.err, NO_MEMBACKUP);
    // 0xFF0C: nothing was open, but an open failed since the last select,
    // so the read says 0xFF rather than the cell's fill.
    EXPECT_EQ(results(dir, 4), (Bytes{0xFF, 0xFF, 0xFF, 0x00}));
    EXPECT_TRUE(std::filesystem::is_directory(dir.file("file0")));
    EXPECT_TRUE(std::filesystem::is_empty(dir.file("file0")));
    EXPECT_EQ(dir.read("file1"), Bytes{0x44});
}

// Data files are regular files: a FIFO, a device or a folder by that name
// is never opened for long enough to block or act; it reads 0xFF, swallows
// writes and closes with 0xFF. A link to a regular file is followed; one
// whose target is missing is not created through.
enum class DataFileKind { fifo, link_to_device, link_to_regular_file, link_to_nothing };

struct DataFileCase {
    const char* name;
    DataFileKind kind;
    Bytes expected;  // file read, close status, close again (the cell)
};
void PrintTo(const DataFileCase& c, std::ostream* os) { *os << c.name; }

class DataFileKinds : public ::testing::TestWithParam<DataFileCase> {};

TEST_P(DataFileKinds, OnlyRegularFilesAreOpened) {
    const DataFileCase& c = GetParam();
    e2e::TempDir dir;
    switch (c.kind) {
    case DataFileKind::fifo: ASSERT_EQ(mkfifo(dir.file("file0").c_str(), 0644), 0); break;
    case DataFileKind::link_to_device: std::filesystem::create_symlink("/dev/zero", dir.file("file0")); break;
    case DataFileKind::link_to_regular_file:
        dir.write("data", Bytes{0x41});
        std::filesystem::create_symlink("data", dir.file("file0"));
        break;
    case DataFileKind::link_to_nothing:
        std::filesystem::create_directory(dir.file("elsewhere"));
        std::filesystem::create_symlink("elsewhere/created", dir.file("file0"));
        break;
    }
    dir.write("prog.bin", program(keep(0xFF0A, 0) + put(0xFF0B, 0x33) + keep(0xFF0C, 1) + keep(0xFF0C, 2)));
    e2e::RunOptions options;
    options.timeout_seconds = 10;
    const e2e::RunResult run = e2e::run_emulator(dir, {"prog.bin"}, options);
    ASSERT_FALSE(run.timed_out);
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(run.err, NO_MEMBACKUP);
    EXPECT_EQ(results(dir, 3), c.expected);
    if (c.kind == DataFileKind::link_to_regular_file) {
        EXPECT_TRUE(std::filesystem::is_symlink(dir.file("file0")));
        EXPECT_EQ(dir.read("data"), (Bytes{0x41, 0x33}));
    }
    if (c.kind == DataFileKind::link_to_nothing) {
        EXPECT_FALSE(std::filesystem::exists(dir.file("elsewhere/created")));
    }
}

INSTANTIATE_TEST_SUITE_P(
    DataFileFailure, DataFileKinds,
    ::testing::Values(DataFileCase{"fifo", DataFileKind::fifo, {0xFF, 0xFF, 0xEE}},
                      DataFileCase{"link_to_device", DataFileKind::link_to_device, {0xFF, 0xFF, 0xEE}},
                      DataFileCase{"link_to_regular_file", DataFileKind::link_to_regular_file, {0x41, 0x00, 0xEE}},
                      DataFileCase{"link_to_nothing", DataFileKind::link_to_nothing, {0xFF, 0xFF, 0xEE}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DataFileFailure, ReadOnlyDirectoryReadsFFAndDropsWrites) {
    e2e::TempDir dir;
    // "membackup" cannot be saved here either, so the program shows what it
    // read on the console instead. Root could write anyway: run as a user.
    dir.write("prog.bin", program(lda_abs(0xFF0A) + sta_abs(0xFF01) + put(0xFF0B, 0x33) + lda_abs(0xFF0A) +
                                  sta_abs(0xFF01) + lda_abs(0xFF0C) + sta_abs(0xFF01)));
    e2e::hand_to_normal_user(dir);
    ASSERT_EQ(chmod(dir.path().c_str(), 0555), 0);
    e2e::RunOptions options;
    options.as_normal_user = true;
    const e2e::RunResult run = e2e::run_emulator(dir, {"prog.bin"}, options);
    chmod(dir.path().c_str(), 0755);
    if (run.exit_code == 125) GTEST_SKIP() << "cannot run as a normal user here";
    ASSERT_FALSE(run.timed_out);
    EXPECT_EQ(run.term_signal, 0);
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.err, NO_MEMBACKUP + "membackup folder is read-only; this run's memory will not be saved.\n" +
                           "can't write membackup file.\n");
    // The close reports the failed opens and the dropped write.
    EXPECT_EQ(run.out, "\xFF\xFF\xFF");
    EXPECT_FALSE(dir.exists("file0"));
}

// A data file still open when the run ends is closed with its result
// checked: bytes that did not reach it (a full disk, a file this user may
// only read) end the run with a message and exit status 1, after the save.
// A file this user may only read is opened for reading.
enum class DataSetup { none, read_only_file };

struct DataEndCase {
    const char* name;
    DataSetup setup;
    Bytes program;
    long file_size_limit;
    int exit_code;
    std::string out;
    std::string err;
    std::size_t file0_size;
};
void PrintTo(const DataEndCase& c, std::ostream* os) { *os << c.name; }

// 40 KiB to file0, never closed.
const Bytes WRITES_40K = {0x78, 0xA0, 0xA0, 0xA2, 0x00, 0x8E, 0x0B, 0xFF, 0xE8,
                          0xD0, 0xFA, 0x88, 0xD0, 0xF7, 0x4C, 0x00, 0x00};
const Bytes READS_TWO_THEN_CLOSES =
    program(lda_abs(0xFF0A) + sta_abs(0xFF01) + lda_abs(0xFF0A) + sta_abs(0xFF01) + lda_abs(0xFF0C) + sta_abs(0xFF01));
const Bytes WRITES_ONE = program(put(0xFF0B, 0x33));

const DataEndCase DATA_END_CASES[] = {
    {"left_open_and_whole", DataSetup::none, WRITES_40K, 0, 0, "", "", 40960},
    {"left_open_on_a_full_disk", DataSetup::none, WRITES_40K, 20480, 1, "",
     "can't write data file 'file0': File too large.\n", 20480},
    {"read_only_file_is_read", DataSetup::read_only_file, READS_TWO_THEN_CLOSES, 0, 0, std::string("AB\0", 3), "", 2},
    {"read_only_file_written_and_left_open", DataSetup::read_only_file, WRITES_ONE, 0, 1, "",
     "can't write data file 'file0': Permission denied.\n", 2},
};

class DataFileAtTheEnd : public ::testing::TestWithParam<DataEndCase> {};

TEST_P(DataFileAtTheEnd, NothingLostSilently) {
    const DataEndCase& c = GetParam();
    e2e::TempDir dir;
    dir.write("prog.bin", c.program);
    if (c.setup == DataSetup::read_only_file) dir.write("file0", std::string("AB"));
    e2e::hand_to_normal_user(dir);
    if (c.setup == DataSetup::read_only_file) {
        ASSERT_EQ(chmod(dir.file("file0").c_str(), 0444), 0);
    }
    e2e::RunOptions options;
    options.as_normal_user = true;  // root may write any file
    options.file_size_limit = c.file_size_limit;
    const e2e::RunResult run = e2e::run_emulator(dir, {"--clean", "prog.bin"}, options);
    if (run.exit_code == 125) GTEST_SKIP() << "cannot run as a normal user here";
    EXPECT_EQ(run.exit_code, c.exit_code);
    EXPECT_EQ(run.out, c.out);
    EXPECT_EQ(run.err, c.err);
    EXPECT_EQ(dir.read("file0").size(), c.file0_size);
}

INSTANTIATE_TEST_SUITE_P(DataFileFailure, DataFileAtTheEnd, ::testing::ValuesIn(DATA_END_CASES),
                         [](const auto& info) { return std::string(info.param.name); });

// The calendar registers against the host's local time, sampled on both
// sides of the run so that a rollover in between is accepted.
TEST(ClockRegisters, MatchLocalTime) {
    e2e::TempDir dir;
    dir.write("prog.bin", program(keep(0xFF04, 0) + keep(0xFF05, 1) + keep(0xFF06, 2) + keep(0xFF07, 3) +
                                  keep(0xFF08, 4) + keep(0xFF09, 5)));
    const std::time_t before_t = std::time(nullptr);
    const e2e::RunResult run = e2e::run_emulator(dir, {"prog.bin"});
    const std::time_t after_t = std::time(nullptr);
    ASSERT_EQ(run.exit_code, 0);
    std::tm before{}, after{};
    localtime_r(&before_t, &before);
    localtime_r(&after_t, &after);
    const Bytes got = results(dir, 6);
    ASSERT_EQ(got.size(), 6u);
    const int fields_before[] = {before.tm_year - 100, before.tm_mon + 1, before.tm_mday, before.tm_hour, before.tm_min};
    const int fields_after[] = {after.tm_year - 100, after.tm_mon + 1, after.tm_mday, after.tm_hour, after.tm_min};
    const char* names[] = {"year", "month", "day", "hour", "minute"};
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(names[i]);
        EXPECT_TRUE(got[i] == static_cast<std::uint8_t>(fields_before[i]) ||
                    got[i] == static_cast<std::uint8_t>(fields_after[i]))
            << "read " << int(got[i]) << ", host had " << fields_before[i] << " / " << fields_after[i];
    }
    EXPECT_LE(got[5], 60);
    if (before_t == after_t) {
        EXPECT_EQ(got[5], before.tm_sec);
    }
    // Plain binary, not BCD: month 12 is 0x0C.
    EXPECT_GE(got[1], 1);
    EXPECT_LE(got[1], 12);
}

// Every read is a fresh draw: sixteen reads that all agree would mean the
// register returns a stored byte.
TEST(RandomRegister, SuccessiveReadsDiffer) {
    e2e::TempDir dir;
    Bytes body;
    for (std::uint8_t i = 0; i < 16; ++i) body = body + keep(0xFF02, i);
    // A write to the register is stored but does not replace the draws.
    dir.write("prog.bin", program(put(0xFF02, 0x00) + body));
    const e2e::RunResult run = e2e::run_emulator(dir, {"prog.bin"});
    ASSERT_EQ(run.exit_code, 0);
    const Bytes got = results(dir, 16);
    ASSERT_EQ(got.size(), 16u);
    int changes = 0;
    for (std::size_t i = 1; i < got.size(); ++i) changes += got[i] != got[i - 1];
    EXPECT_GE(changes, 8) << "random reads look constant";
    EXPECT_EQ(e2e::membackup(dir)[0xFF02], 0x00);
}

// Two runs started at the same moment draw different bytes: the seed is
// finer than the second and differs between processes.
TEST(RandomRegister, RunsStartedTogetherDiffer) {
    Bytes body;
    for (std::uint8_t i = 0; i < 8; ++i) body = body + lda_abs(0xFF02) + sta_abs(0xFF01);
    e2e::TempDir first_dir, second_dir;
    for (const e2e::TempDir* dir : {&first_dir, &second_dir}) dir->write("prog.bin", program(body));
    auto first = std::async(std::launch::async, [&] { return e2e::run_emulator(first_dir, {"--clean", "prog.bin"}); });
    const e2e::RunResult second = e2e::run_emulator(second_dir, {"--clean", "prog.bin"});
    const e2e::RunResult first_result = first.get();
    ASSERT_EQ(first_result.out.size(), 8u);
    ASSERT_EQ(second.out.size(), 8u);
    EXPECT_NE(first_result.out, second.out) << "two runs drew the same bytes";
}

// The notebook example: scripted keys through "-i", checked on the screen
// and in file0, where each note is "HH:MM text" and a line feed.
struct NotesCase {
    const char* name;
    std::string keys;
    std::string file0_before;  // empty: no file0
    std::vector<std::string> notes_added;
    std::vector<std::string> shown;  // texts the screen must show
};
void PrintTo(const NotesCase& c, std::ostream* os) { *os << c.name; }

const NotesCase NOTES_CASES[] = {
    {"one_note", "milk\rq\r", "", {"milk"}, {"milk\r\n"}},
    {"editing_keys", "ab\x1B[Dc\x7F\bx\bd\r\bq\r", "", {"ad"}, {"ad\r\n", "\b \b"}},
    {"empty_line_redraws", "\r\rq\r", "", {}, {}},
    {"earlier_notes_are_listed", "eggs\rq\r", "09:15 old note\n", {"eggs"}, {"09:15 old note\r\n", "eggs\r\n"}},
    {"q_with_more_is_a_note", "qq\rq\r", "", {"qq"}, {"qq\r\n"}},
    // Piped lines end in a line feed; a CR LF pair gives an empty line too.
    {"line_feed_is_enter", "milk\nq\n", "", {"milk"}, {"milk\r\n"}},
    {"cr_lf_lines", "tea\r\nq\r\n", "", {"tea"}, {"tea\r\n"}},
    // Escape sequences of editing and function keys are skipped whole.
    {"delete_home_end_page_keys_skipped", "a\x1B[3~b\x1B[H\x1B[F\x1B[1~\x1B[4~\x1B[5~\x1B[6~c\rq\r", "", {"abc"},
     {"abc\r\n"}},
    {"function_keys_skipped", "F\x1BOP\x1BOS\x1B[15~\x1B[24~\x1B[[A\x1B[[E!\rq\r", "", {"F!"}, {"F!\r\n"}},
    {"modified_arrows_skipped", "x\x1B[1;5D\x1B[1;2Ay\x1BOA\rq\r", "", {"xy"}, {"xy\r\n"}},
    {"alt_key_types_the_key", "\x1B" "ab\rq\r", "", {"ab"}, {"ab\r\n"}},
    {"enter_ends_a_broken_sequence", "x\x1B[1\ry\x1BO\rq\r", "", {"x", "y"}, {"x\r\n", "y\r\n"}},
};

class NotesExampleTest : public ::testing::TestWithParam<NotesCase> {};

TEST_P(NotesExampleTest, KeepsNotesInFile0) {
    const NotesCase& c = GetParam();
    e2e::TempDir dir;
    if (!c.file0_before.empty()) dir.write("file0", c.file0_before);
    const std::string image = e2e::source_dir() + "/examples/notes.bin";
    e2e::RunOptions options;
    options.stdin_data = c.keys;
    options.timeout_seconds = 20;
    const e2e::RunResult run = e2e::run_emulator(dir, {image, "-i"}, options);

    ASSERT_FALSE(run.timed_out) << run.out;
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(run.err, NO_MEMBACKUP);
    EXPECT_EQ(run.out.rfind("\x1B[2J\x1B[H", 0), 0u) << "the screen is not cleared first";
    EXPECT_NE(run.out.find("notes\x1B[0m  20"), std::string::npos);
    EXPECT_TRUE(run.out.ends_with("q\r\nbye\r\n")) << run.out;
    for (const auto& text : c.shown) EXPECT_NE(run.out.find(text), std::string::npos) << "not shown: " << text;

    ASSERT_TRUE(dir.exists("file0"));
    const Bytes file = dir.read("file0");
    const std::string kept(file.begin(), file.end());
    ASSERT_EQ(kept.rfind(c.file0_before, 0), 0u) << "earlier notes were lost: " << kept;
    std::string rest = kept.substr(c.file0_before.size());
    for (const auto& note : c.notes_added) {
        SCOPED_TRACE(note);
        const std::string line = rest.substr(0, rest.find('\n') + 1);
        ASSERT_EQ(line.size(), 6 + note.size() + 1) << "in file0: " << kept;
        EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(line[0])) && std::isdigit(static_cast<unsigned char>(line[1])) &&
                    line[2] == ':' && std::isdigit(static_cast<unsigned char>(line[3])) &&
                    std::isdigit(static_cast<unsigned char>(line[4])) && line[5] == ' ')
            << "no time stamp: " << line;
        EXPECT_EQ(line.substr(6), note + "\n");
        rest = rest.substr(line.size());
    }
    EXPECT_EQ(rest, "") << "unexpected bytes in file0";
}

INSTANTIATE_TEST_SUITE_P(Notes, NotesExampleTest, ::testing::ValuesIn(NOTES_CASES),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
