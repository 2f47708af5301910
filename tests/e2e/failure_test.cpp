// Nothing lost when the host fails: a full disk while saving "membackup" or
// writing a data file, a reader that goes away, a closed standard output,
// console output that cannot be written. And nothing lost or reordered by
// the buffering of standard output when it is not a terminal.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <future>
#include <csignal>
#include <cstdlib>

#include "e2e/harness.hpp"

namespace {

using e2e::Bytes;
using e2e::RunResult;
using e2e::TempDir;


// A small tmpfs inside a TempDir, for as long as the test runs. Mounting
// needs root; without it the tests that need a full disk are skipped.
class SmallDisk {
public:
    SmallDisk(const TempDir& dir, const char* size) : path_(dir.file("disk")) {
        std::filesystem::create_directory(path_);
        const std::string options = std::string("size=") + size;
        mounted_ = geteuid() == 0 && mount("tmpfs", path_.c_str(), "tmpfs", 0, options.c_str()) == 0;
    }
    ~SmallDisk() {
        if (mounted_) umount2(path_.c_str(), MNT_DETACH);
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;
    [[nodiscard]] bool mounted() const { return mounted_; }
    [[nodiscard]] const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
    bool mounted_ = false;
};

void write_file(const std::filesystem::path& path, const Bytes& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

Bytes read_file(const std::filesystem::path& path) {
    Bytes bytes;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return bytes;
    int c;
    while ((c = std::fgetc(f)) != EOF) bytes.push_back(static_cast<std::uint8_t>(c));
    std::fclose(f);
    return bytes;
}

// Runs emu6502 through the shell with its working directory on `disk`,
// which is not a TempDir of the harness.
RunResult run_in(const std::filesystem::path& disk, const std::vector<std::string>& args) {
    TempDir scratch;
    std::string command = "cd '" + disk.string() + "' && '" + e2e::binary_path() + "'";
    for (const auto& a : args) command += " '" + a + "'";
    command += " >'" + scratch.file("out").string() + "' 2>'" + scratch.file("err").string() + "' </dev/null";
    RunResult r;
    const int status = std::system(command.c_str());
    if (WIFEXITED(status)) r.exit_code = WEXITSTATUS(status);
    const Bytes out = scratch.read("out"), err = scratch.read("err");
    r.out.assign(out.begin(), out.end());
    r.err.assign(err.begin(), err.end());
    return r;
}

TEST(FullDisk, FailedSaveKeepsThePreviousMembackupWhole) {
    TempDir dir;
    SmallDisk disk(dir, "100k");
    if (!disk.mounted()) GTEST_SKIP() << "needs root to mount a small tmpfs; not tested here";
    // The old image takes 64 KiB of the 100 KiB: a second copy cannot fit.
    Bytes old_image = e2e::fresh_memory();
    const Bytes program = {0xA9, 0x21, 0x8D, 0x01, 0xFF, 0x4C, 0x00, 0x00};  // LDA #'!'; STA $FF01; JMP $0000
    std::copy(program.begin(), program.end(), old_image.begin() + 0x0200);
    write_file(disk.path() / "membackup", old_image);
    const RunResult r = run_in(disk.path(), {});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out, "!");
    EXPECT_EQ(r.err, "can't write membackup file.\n");
    EXPECT_TRUE(read_file(disk.path() / "membackup") == old_image);
    // No temporary file is left behind.
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(disk.path()))
        names.push_back(entry.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"membackup"});
}

TEST(FullDisk, DataFileThatFillsTheDiskNeverStopsTheMachine) {
    TempDir dir;
    SmallDisk disk(dir, "64k");
    if (!disk.mounted()) GTEST_SKIP() << "needs root to mount a small tmpfs; not tested here";
    // Write 256 x 256 bytes (more than the disk holds) to file0, close it,
    // keep the close status at 0x0010, and end. The run itself must finish.
    const Bytes program = {
        0x78,                    // SEI
        0xA0, 0x00,              // LDY #0
        0xA2, 0x00,              // outer: LDX #0
        0x8E, 0x0B, 0xFF,        // inner: STX $FF0B
        0xE8,                    // INX
        0xD0, 0xFA,              // BNE inner
        0xC8,                    // INY
        0xD0, 0xF5,              // BNE outer
        0xAD, 0x0C, 0xFF,        // LDA $FF0C (close)
        0x85, 0x10,              // STA $10
        0x4C, 0x00, 0x00,        // JMP $0000
    };
    write_file(disk.path() / "prog.bin", program);
    // The image and "membackup" need room too: save to the TempDir instead by
    // checking only what matters: the status and that the run ended.
    const RunResult r = run_in(disk.path(), {"--clean", "prog.bin"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const auto size = std::filesystem::file_size(disk.path() / "file0");
    EXPECT_LT(size, 65536u);
    EXPECT_GT(size, 0u);
}

TEST(FullDisk, CloseStatusReportsTheLostBytes) {
    TempDir dir;
    SmallDisk disk(dir, "64k");
    if (!disk.mounted()) GTEST_SKIP() << "needs root to mount a small tmpfs; not tested here";
    // Fill the disk with another file first, then write file0: its close
    // must read 0xFF, and the status is printed as a byte on the console.
    write_file(disk.path() / "filler", Bytes(60 * 1024, 0x55));
    const Bytes program = {
        0x78,                    // SEI
        0xA2, 0x00,              // LDX #0
        0xA0, 0x40,              // LDY #$40 (16 KiB)
        0x8E, 0x0B, 0xFF,        // loop: STX $FF0B
        0xE8,                    // INX
        0xD0, 0xFA,              // BNE loop
        0x88,                    // DEY
        0xD0, 0xF7,              // BNE loop
        0xAD, 0x0C, 0xFF,        // LDA $FF0C (close)
        0x8D, 0x01, 0xFF,        // STA $FF01
        0x4C, 0x00, 0x00,        // JMP $0000
    };
    write_file(disk.path() / "prog.bin", program);
    const RunResult r = run_in(disk.path(), {"--clean", "prog.bin"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out, std::string(1, '\xFF'));
}

TEST(Output, ClosedStandardOutputDropsBytesAndTheRunGoesOn) {
    TempDir dir;
    // LDA #'A'; STA $FF01; STA $10; JMP $0000
    dir.write("prog.bin", Bytes{0xA9, 0x41, 0x8D, 0x01, 0xFF, 0x85, 0x10, 0x4C, 0x00, 0x00});
    e2e::RunOptions options;
    options.stdout_closed = true;
    const RunResult r = e2e::run_emulator(dir, {"prog.bin"}, options);
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.term_signal, 0);
    const Bytes saved = e2e::membackup(dir);
    ASSERT_EQ(saved.size(), 0x10000u);
    EXPECT_EQ(saved[0x10], 0x41);
    EXPECT_EQ(saved[0xFF01], 0x41);
}

TEST(Output, ReaderGoingAwayEndsTheRunBySigpipeAndKeepsTheFiles) {
    TempDir dir;
    const Bytes old_image = [] {
        Bytes m = e2e::fresh_memory();
        m[0x1234] = 0x99;  // a mark that a new save would not have
        return m;
    }();
    dir.write("membackup", old_image);
    // Write 1, 2, 3 to file0, then print 'A' for ever.
    dir.write("prog.bin", Bytes{0x78, 0xA9, 0x01, 0x8D, 0x0B, 0xFF, 0xA9, 0x02, 0x8D, 0x0B, 0xFF, 0xA9, 0x03, 0x8D, 0x0B,
                                0xFF, 0xA9, 0x41, 0x8D, 0x01, 0xFF, 0x4C, 0x10, 0x02});
    dir.write("run.sh", "'" + e2e::binary_path() +
                            "' prog.bin 2>/dev/null </dev/null | head -c 5 >head.out; echo ${PIPESTATUS[0]} >status\n");
    ASSERT_EQ(std::system(("cd '" + dir.path().string() + "' && bash run.sh").c_str()), 0);
    const Bytes status = dir.read("status");
    EXPECT_EQ(std::string(status.begin(), status.end()), "141\n");  // killed by SIGPIPE
    const Bytes head = dir.read("head.out");
    EXPECT_EQ(std::string(head.begin(), head.end()), "AAAAA");
    EXPECT_TRUE(e2e::membackup(dir) == old_image);
    EXPECT_EQ(dir.read("file0"), (Bytes{0x01, 0x02, 0x03}));
}

// Runs `command` through the shell in `dir`, with emu6502 as $EMU; the
// command's own redirections say where the streams go.
int shell_in(const TempDir& dir, const std::string& command) {
    const std::string full = "cd '" + dir.path().string() + "' && EMU='" + e2e::binary_path() + "' && " + command;
    const int status = std::system(("bash -c \"" + full + "\"").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string text(const Bytes& b) { return std::string(b.begin(), b.end()); }

// A console that cannot take the output (a full disk): the program runs to
// its end as if nothing happened, memory is saved, then one message says
// what went wrong and the exit status is 1.
struct FullConsoleCase {
    const char* name;
    std::string args;
    Bytes program;
    int exit_code;
    std::string err;
    bool saved;
};
void PrintTo(const FullConsoleCase& c, std::ostream* os) { *os << c.name; }

const Bytes PRINTS_A = {0xA9, 0x41, 0x8D, 0x01, 0xFF, 0x85, 0x10, 0x4C, 0x00, 0x00};  // LDA #'A'; STA $FF01; STA $10
const Bytes PRINTS_NOTHING = {0xA9, 0x41, 0x85, 0x10, 0x4C, 0x00, 0x00};               // LDA #'A'; STA $10
const std::string NO_MEMBACKUP = "can't read membackup file.\n";
const std::string DISK_FULL = "console output failed: No space left on device.\n";

const FullConsoleCase FULL_CONSOLE_CASES[] = {
    {"output_lost", "prog.bin", PRINTS_A, 1, NO_MEMBACKUP + DISK_FULL, true},
    {"output_lost_clean_run", "--clean prog.bin", PRINTS_A, 1, DISK_FULL, false},
    {"nothing_printed", "prog.bin", PRINTS_NOTHING, 0, NO_MEMBACKUP, true},
    {"instruction_limit_keeps_its_status", "--max-instructions 2 prog.bin", PRINTS_A, 3,
     NO_MEMBACKUP + "instruction limit reached; memory not saved.\n" + DISK_FULL, false},
};

class FullConsoleTest : public ::testing::TestWithParam<FullConsoleCase> {};

TEST_P(FullConsoleTest, RunEndsThenOneMessage) {
    const FullConsoleCase& c = GetParam();
    TempDir dir;
    dir.write("prog.bin", c.program);
    const int status = shell_in(dir, "\\$EMU " + c.args + " >/dev/full 2>err </dev/null");
    EXPECT_EQ(status, c.exit_code);
    EXPECT_EQ(text(dir.read("err")), c.err);
    EXPECT_EQ(dir.exists("membackup"), c.saved);
    if (c.saved) {
        const Bytes saved = e2e::membackup(dir);
        ASSERT_EQ(saved.size(), 0x10000u);
        EXPECT_EQ(saved[0x10], 0x41) << "the program did not run to its end";
    }
}

INSTANTIATE_TEST_SUITE_P(Output, FullConsoleTest, ::testing::ValuesIn(FULL_CONSOLE_CASES),
                         [](const auto& info) { return std::string(info.param.name); });

// Standard output and standard error through one pipe: the program's bytes
// and the trace lines arrive in the order they happened, though standard
// output is buffered.
struct OrderCase {
    const char* name;
    std::string options;
    Bytes program;
    std::string expected;
};
void PrintTo(const OrderCase& c, std::ostream* os) { *os << c.name; }

const OrderCase ORDER_CASES[] = {
    {"trace_switched_on_between_two_prints", "",
     {0xA9, 0x41, 0x8D, 0x01, 0xFF,   // LDA #'A'; STA $FF01
      0xA9, 0x01, 0x8D, 0x03, 0xFF,   // LDA #1; STA $FF03: trace on
      0xA9, 0x00, 0x8D, 0x03, 0xFF,   // LDA #0; STA $FF03: trace off
      0xA9, 0x42, 0x8D, 0x01, 0xFF,   // LDA #'B'; STA $FF01
      0x4C, 0x00, 0x00},
     "APC=20a mem=a9 a=1 x=0 y=0 st=00100100 sp=fd \r\nPC=20c mem=8d a=0 x=0 y=0 st=00100110 sp=fd \r\nB"},
    {"trace_option", "--trace",
     {0xA9, 0x41, 0x8D, 0x01, 0xFF, 0x4C, 0x00, 0x00},
     "PC=202 mem=8d a=41 x=0 y=0 st=00100100 sp=fd \r\nAPC=205 mem=4c a=41 x=0 y=0 st=00100100 sp=fd \r\n"
     "PC=0 mem=ee a=41 x=0 y=0 st=00100100 sp=fd \r\n"},
    {"message_after_the_output", "--max-instructions 3",
     {0xA9, 0x41, 0x8D, 0x01, 0xFF, 0x4C, 0x00, 0x02},  // prints A for ever
     "A" "instruction limit reached; memory not saved.\n"},
};

class OrderTest : public ::testing::TestWithParam<OrderCase> {};

TEST_P(OrderTest, OnePipeKeepsTheOrder) {
    const OrderCase& c = GetParam();
    TempDir dir;
    dir.write("prog.bin", c.program);
    shell_in(dir, "\\$EMU --clean " + c.options + " prog.bin 2>&1 </dev/null | cat >both");
    EXPECT_EQ(text(dir.read("both")), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Output, OrderTest, ::testing::ValuesIn(ORDER_CASES),
                         [](const auto& info) { return std::string(info.param.name); });

// Writes the 256 byte values `rounds` times to the console, then either
// ends or waits for a key for ever.
Bytes many_bytes_program(std::uint8_t rounds, bool then_wait) {
    Bytes p = {
        0x78,              // 0200 SEI
        0xA0, rounds,      // 0201 LDY #rounds
        0xA2, 0x00,        // 0203 LDX #0
        0x8E, 0x01, 0xFF,  // 0205 STX $FF01
        0xE8,              // 0208 INX
        0xD0, 0xFA,        // 0209 BNE $0205
        0x88,              // 020B DEY
        0xD0, 0xF7,        // 020C BNE $0205
    };
    if (then_wait) p.insert(p.end(), {0xAD, 0x00, 0xFF, 0xF0, 0xFB});  // 020E LDA $FF00; BEQ $020E
    p.insert(p.end(), {0x4C, 0x00, 0x00});
    return p;
}

std::string many_bytes(int rounds) {
    std::string s;
    for (int r = 0; r < rounds; ++r)
        for (int i = 0; i < 256; ++i) s.push_back(static_cast<char>(i));
    return s;
}

// Output larger than any buffer arrives whole at the end of the run, and
// what a program printed before a signal stopped it arrives whole too.
struct CompleteCase {
    const char* name;
    std::uint8_t rounds;
    int signal;  // 0: the program ends by itself
};
void PrintTo(const CompleteCase& c, std::ostream* os) { *os << c.name; }

const CompleteCase COMPLETE_CASES[] = {
    {"small_at_end", 1, 0},
    {"large_at_end", 200, 0},
    {"small_at_sigterm", 1, SIGTERM},
    {"large_at_sigint", 100, SIGINT},
    {"small_at_sighup", 3, SIGHUP},
};

class CompleteOutputTest : public ::testing::TestWithParam<CompleteCase> {};

TEST_P(CompleteOutputTest, EveryByteArrives) {
    const CompleteCase& c = GetParam();
    TempDir dir;
    dir.write("prog.bin", many_bytes_program(c.rounds, c.signal != 0));
    e2e::RunOptions options;
    if (c.signal != 0) {
        options.kill_after_ms = 700;
        options.kill_signal = c.signal;
    }
    const RunResult r = e2e::run_emulator(dir, {"--clean", "prog.bin"}, options);
    EXPECT_EQ(r.term_signal, c.signal);
    EXPECT_EQ(r.exit_code, c.signal == 0 ? 0 : -1);
    EXPECT_EQ(r.out.size(), 256u * c.rounds);
    EXPECT_TRUE(r.out == many_bytes(c.rounds)) << "the output differs";
    EXPECT_EQ(r.err, "");
}

INSTANTIATE_TEST_SUITE_P(Output, CompleteOutputTest, ::testing::ValuesIn(COMPLETE_CASES),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace

namespace {

// LDA #'!'; STA $FF01; JMP $0000
const Bytes bang_program = {0xA9, 0x21, 0x8D, 0x01, 0xFF, 0x4C, 0x00, 0x00};

// A saved machine that differs from anything a run would save.
Bytes marked_memory() {
    Bytes m = e2e::fresh_memory();
    m[0x1234] = 0x99;
    return m;
}

// Streams: a data file opened while 0, 1 or 2 was closed must not take its
// number, or console bytes and trace lines would land in the file.
struct ClosedStream {
    const char* name;
    bool stdin_closed, stdout_closed, stderr_closed;
};
void PrintTo(const ClosedStream& c, std::ostream* os) { *os << c.name; }

class ClosedStreams : public testing::TestWithParam<ClosedStream> {};

TEST_P(ClosedStreams, DataFileGetsOnlyItsOwnBytes) {
    const ClosedStream& c = GetParam();
    TempDir dir;
    // SEI; LDA #1; STA $FF0C (file1); LDA #'F'; STA $FF0B; LDA #1; STA $FF03 (trace on);
    // LDA #'C'; STA $FF01; LDA #0; STA $FF03; LDA $FF00; LDA $FF0C (close); JMP $0000
    dir.write("prog.bin", Bytes{0x78, 0xA9, 0x01, 0x8D, 0x0C, 0xFF, 0xA9, 0x46, 0x8D, 0x0B, 0xFF, 0xA9, 0x01,
                                0x8D, 0x03, 0xFF, 0xA9, 0x43, 0x8D, 0x01, 0xFF, 0xA9, 0x00, 0x8D, 0x03, 0xFF,
                                0xAD, 0x00, 0xFF, 0xAD, 0x0C, 0xFF, 0x4C, 0x00, 0x00});
    e2e::RunOptions options;
    options.stdin_closed = c.stdin_closed;
    options.stdout_closed = c.stdout_closed;
    options.stderr_closed = c.stderr_closed;
    const RunResult r = e2e::run_emulator(dir, {"prog.bin", "-i"}, options);
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(dir.read("file1"), Bytes{'F'});
    EXPECT_EQ(r.out, c.stdout_closed ? "" : "C");
    EXPECT_EQ(e2e::membackup(dir).size(), 0x10000u);
}

INSTANTIATE_TEST_SUITE_P(Streams, ClosedStreams,
                         testing::Values(ClosedStream{"StdinClosed", true, false, false},
                                         ClosedStream{"StdoutClosed", false, true, false},
                                         ClosedStream{"StderrClosed", false, false, true},
                                         ClosedStream{"AllClosed", true, true, true}),
                         [](const auto& info) { return std::string(info.param.name); });

// Saved memory: only a missing "membackup" means a fresh machine; whatever
// is there and cannot be read, or may not be replaced, is left as it was.
enum class Saved {
    plain,
    mode_000,
    mode_0444,
    mode_0600,
    directory,
    read_error,
    short_file,
    long_file,
    link_to_folder,
    others,
    fifo,
    link_to_device,
    read_only_folder
};

struct SavedCase {
    const char* name;
    Saved saved;
    bool as_normal_user;
    int exit_code;
    std::string out;
    std::string err;
};
void PrintTo(const SavedCase& c, std::ostream* os) { *os << c.name; }

void prepare_saved(const TempDir& dir, Saved kind) {
    switch (kind) {
    case Saved::directory: std::filesystem::create_directory(dir.file("membackup")); return;
    case Saved::read_error: std::filesystem::create_symlink("/proc/self/mem", dir.file("membackup")); return;
    case Saved::short_file: dir.write("membackup", Bytes{0x11, 0x22}); return;
    case Saved::link_to_folder:
        std::filesystem::create_directory(dir.file("keep"));
        dir.write("keep/machine", marked_memory());
        std::filesystem::create_symlink("keep/machine", dir.file("membackup"));
        return;
    case Saved::long_file: {
        Bytes longer = marked_memory();
        longer.insert(longer.end(), {1, 2, 3});
        dir.write("membackup", longer);
        return;
    }
    case Saved::fifo: ASSERT_EQ(mkfifo(dir.file("membackup").c_str(), 0644), 0); return;
    case Saved::link_to_device:
        // A device of our own (the null device's numbers), never the system's.
        if (mknod(dir.file("null").c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0) return;
        std::filesystem::create_symlink("null", dir.file("membackup"));
        return;
    default: dir.write("membackup", marked_memory());
    }
    const auto mode = kind == Saved::mode_000 ? 0000 : kind == Saved::mode_0444 ? 0444 : kind == Saved::mode_0600 ? 0600 : 0644;
    ASSERT_EQ(chmod(dir.file("membackup").c_str(), static_cast<mode_t>(mode)), 0);
}

class SavedMemory : public testing::TestWithParam<SavedCase> {};

TEST_P(SavedMemory, NothingLostOrAltered) {
    const SavedCase& c = GetParam();
    TempDir dir;
    dir.write("prog.bin", bang_program);
    prepare_saved(dir, c.saved);
    if (c.saved == Saved::others) {
        if (geteuid() != 0) GTEST_SKIP() << "needs root to give the file to another user; not tested here";
        ASSERT_EQ(chown(dir.file("membackup").c_str(), 65534, 65534), 0);
    }
    if (c.saved == Saved::link_to_device && !dir.exists("null"))
        GTEST_SKIP() << "needs root to make a device node; not tested here";
    const bool no_bytes = c.saved == Saved::directory || c.saved == Saved::read_error || c.saved == Saved::fifo ||
                          c.saved == Saved::link_to_device;
    const Bytes old_bytes = no_bytes ? Bytes{} : e2e::membackup(dir);
    if (c.as_normal_user) e2e::hand_to_normal_user(dir);
    if (c.saved == Saved::read_only_folder) std::filesystem::permissions(dir.path(), std::filesystem::perms(0555));
    struct stat before {};
    ASSERT_EQ(stat(dir.file("membackup").c_str(), &before), 0);
    e2e::RunOptions options;
    options.as_normal_user = c.as_normal_user;
    options.timeout_seconds = 10;  // a FIFO must not hold the start
    const RunResult r = e2e::run_emulator(dir, {"prog.bin"}, options);
    if (r.exit_code == 125) GTEST_SKIP() << "cannot run as a normal user here";
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.exit_code, c.exit_code);
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(r.err, c.err);
    struct stat after {};
    ASSERT_EQ(stat(dir.file("membackup").c_str(), &after), 0);
    EXPECT_EQ(after.st_mode, before.st_mode);
    EXPECT_EQ(after.st_uid, before.st_uid);
    EXPECT_EQ(after.st_gid, before.st_gid);
    if (c.saved == Saved::link_to_device) {
        struct stat device {};
        ASSERT_EQ(lstat(dir.file("null").c_str(), &device), 0);
        EXPECT_TRUE(S_ISCHR(device.st_mode)) << "the device was replaced";
    }
    Bytes expected = c.saved == Saved::short_file ? e2e::fresh_memory() : marked_memory();
    if (c.saved == Saved::short_file) expected[0] = 0x11, expected[1] = 0x22;
    std::copy(bang_program.begin(), bang_program.end(), expected.begin() + 0x0200);
    expected[0xFF01] = '!';
    const bool saved = c.exit_code == 0;
    if (c.saved == Saved::link_to_folder) {
        EXPECT_TRUE(std::filesystem::is_symlink(dir.file("membackup")));
        EXPECT_TRUE(dir.read("keep/machine") == expected);
    } else if (!no_bytes) {
        EXPECT_TRUE(e2e::membackup(dir) == (saved ? expected : old_bytes));
    }
    // No temporary file is left beside it.
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (c.saved == Saved::link_to_folder   ? std::vector<std::string>{"keep", "membackup", "prog.bin"}
                      : c.saved == Saved::link_to_device ? std::vector<std::string>{"membackup", "null", "prog.bin"}
                                                         : std::vector<std::string>{"membackup", "prog.bin"}));
}

const std::string LEFT = "; it was left as it is.\n";
const std::string NOT_REGULAR = "can't read membackup file: Not a regular file" + LEFT;

INSTANTIATE_TEST_SUITE_P(
    Membackup, SavedMemory,
    testing::Values(
        SavedCase{"Replaced", Saved::plain, false, 0, "!", ""},
        SavedCase{"ModeKept", Saved::mode_0600, false, 0, "!", ""},
        SavedCase{"OwnerAndGroupKept", Saved::others, false, 0, "!", ""},
        SavedCase{"LinkFollowedAndKept", Saved::link_to_folder, false, 0, "!", ""},
        SavedCase{"ShortLoadsWithAWarning", Saved::short_file, false, 0, "!",
                  "membackup file is shorter than 65536 bytes; the rest is a fresh machine.\n"},
        SavedCase{"ReadOnlyRunsButIsNotReplaced", Saved::mode_0444, false, 1, "!",
                  "membackup file is read-only; this run's memory will not be saved.\n"
                  "can't write membackup file.\n"},
        SavedCase{"UnreadableStopsBeforeTheFirstInstruction", Saved::mode_000, true, 1, "",
                  "can't read membackup file: Permission denied" + LEFT},
        SavedCase{"ReadErrorStops", Saved::read_error, false, 1, "",
                  "can't read membackup file: Input/output error" + LEFT},
        SavedCase{"DirectoryStops", Saved::directory, false, 1, "", "can't read membackup file: Is a directory" + LEFT},
        SavedCase{"LongerLoadsWithAWarningThatTheTailGoes", Saved::long_file, false, 0, "!",
                  "membackup file is longer than 65536 bytes; the rest was ignored and will be lost when this run "
                  "saves.\n"},
        SavedCase{"FifoStopsAtOnce", Saved::fifo, false, 1, "", NOT_REGULAR},
        SavedCase{"LinkToADeviceIsNeverReplaced", Saved::link_to_device, false, 1, "", NOT_REGULAR},
        SavedCase{"ReadOnlyFolderWarnedBeforeTheRun", Saved::read_only_folder, true, 1, "!",
                  "membackup folder is read-only; this run's memory will not be saved.\n"
                  "can't write membackup file.\n"}),
    [](const auto& info) { return std::string(info.param.name); });

// Two runs in one folder: the second one that would read and write
// "membackup" stops at once; runs with --clean share the folder freely.
TEST(Locking, SecondRunInTheFolderStopsAndCleanRunsShare) {
    TempDir dir;
    dir.write("membackup", marked_memory());
    // SEI; loop: JMP loop
    dir.write("loop.bin", Bytes{0x78, 0x4C, 0x01, 0x02});
    dir.write("prog.bin", bang_program);
    const pid_t first = fork();
    ASSERT_GE(first, 0);
    if (first == 0) {
        // The first run holds the folder until it is stopped.
        e2e::RunOptions options;
        options.kill_after_ms = 1500;
        const RunResult r = e2e::run_emulator(dir, {"loop.bin"}, options);
        _exit(r.term_signal == 15 ? 0 : 1);
    }
    usleep(500 * 1000);
    const RunResult second = e2e::run_emulator(dir, {"prog.bin"});
    const RunResult clean = e2e::run_emulator(dir, {"--clean", "prog.bin"});
    int status = 0;
    waitpid(first, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(second.exit_code, 1);
    EXPECT_EQ(second.out, "");
    EXPECT_EQ(second.err, "another run is using this folder's membackup.\n");
    EXPECT_EQ(clean.exit_code, 0);
    EXPECT_EQ(clean.out, "!");
    EXPECT_TRUE(e2e::membackup(dir) == marked_memory());
    // Once the first run has gone, the folder is free again.
    EXPECT_EQ(e2e::run_emulator(dir, {"prog.bin"}).exit_code, 0);
}

// Two folders that share one saved machine through links: the file itself
// is locked, so the second run stops instead of wiping out the first's save.
TEST(Locking, FileSharedThroughLinksIsLockedToo) {
    TempDir shared, first_dir, second_dir;
    shared.write("machine", marked_memory());
    for (const TempDir* dir : {&first_dir, &second_dir})
        std::filesystem::create_symlink(shared.file("machine"), dir->file("membackup"));
    first_dir.write("wait.bin", e2e::ticking_program(60));
    second_dir.write("prog.bin", bang_program);
    auto first = std::async(std::launch::async, [&] { return e2e::run_emulator(first_dir, {"wait.bin"}); });
    usleep(250 * 1000);
    const RunResult second = e2e::run_emulator(second_dir, {"prog.bin"});
    const RunResult first_result = first.get();
    EXPECT_EQ(second.exit_code, 1);
    EXPECT_EQ(second.out, "");
    EXPECT_EQ(second.err, "another run is using this folder's membackup.\n");
    EXPECT_EQ(first_result.exit_code, 0) << first_result.err;
    EXPECT_EQ(first_result.out, "!");
    EXPECT_EQ(shared.read("machine")[0x1234], 0x99);
    EXPECT_EQ(shared.read("machine")[0x0240], 0xE6) << "the first run's memory was not saved";
}

// Whatever is put in the place of "membackup" while a run goes on (a link
// to someone else's file, another file) is never written through or over:
// the save replaces only the file the run read, or creates the name.
enum class AtStart { none, file };
enum class Planted { link_to_victim, other_file };

struct ChangedCase {
    const char* name;
    AtStart at_start;
    Planted planted;
};
void PrintTo(const ChangedCase& c, std::ostream* os) { *os << c.name; }

class ChangedDuringRun : public testing::TestWithParam<ChangedCase> {};

TEST_P(ChangedDuringRun, NeitherTheVictimNorTheNewcomerIsWritten) {
    const ChangedCase& c = GetParam();
    TempDir dir;
    dir.write("wait.bin", e2e::ticking_program(50));
    if (c.at_start == AtStart::file) dir.write("membackup", marked_memory());
    e2e::hand_to_normal_user(dir);
    // Someone else's file, in a folder the runner may write (and a file it may write).
    std::filesystem::create_directory(dir.file("victims"));
    std::filesystem::permissions(dir.file("victims"), std::filesystem::perms(0777));
    const Bytes victim(100, 0x5A);
    dir.write("victims/victim", victim);
    std::filesystem::permissions(dir.file("victims/victim"), std::filesystem::perms(0666));
    e2e::RunOptions options;
    options.as_normal_user = true;
    auto run = std::async(std::launch::async, [&] { return e2e::run_emulator(dir, {"wait.bin"}, options); });
    usleep(200 * 1000);
    const Bytes other(10, 0x33);
    if (c.planted == Planted::link_to_victim) {
        std::filesystem::remove(dir.file("membackup"));
        std::filesystem::create_symlink("victims/victim", dir.file("membackup"));
    } else {
        dir.write("membackup.new", other);
        std::filesystem::rename(dir.file("membackup.new"), dir.file("membackup"));
    }
    const RunResult r = run.get();
    if (r.exit_code == 125) GTEST_SKIP() << "cannot run as a normal user here";
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out, "!");
    EXPECT_EQ(r.err, std::string(c.at_start == AtStart::none ? "can't read membackup file.\n" : "") +
                         "can't write membackup file: another file took its place during the run; it was left as "
                         "it is.\n");
    EXPECT_TRUE(dir.read("victims/victim") == victim) << "the save wrote through the link";
    if (c.planted == Planted::link_to_victim) {
        EXPECT_TRUE(std::filesystem::is_symlink(dir.file("membackup")));
    } else {
        EXPECT_TRUE(dir.read("membackup") == other);
    }
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"membackup", "victims", "wait.bin"}));
}

INSTANTIATE_TEST_SUITE_P(
    Membackup, ChangedDuringRun,
    testing::Values(ChangedCase{"LinkPlantedWhereThereWasNone", AtStart::none, Planted::link_to_victim},
                    ChangedCase{"LinkPlantedOverTheFileRead", AtStart::file, Planted::link_to_victim},
                    ChangedCase{"FileSwappedForAnother", AtStart::file, Planted::other_file},
                    ChangedCase{"FileMadeWhereThereWasNone", AtStart::none, Planted::other_file}),
    [](const auto& info) { return std::string(info.param.name); });

// A signal that was ignored when the run started (nohup, a script's "&")
// stays ignored: the program runs to its end. One that was not ends it.
struct IgnoredCase {
    const char* name;
    int ignored;  // 0: none
    int sent;
};
void PrintTo(const IgnoredCase& c, std::ostream* os) { *os << c.name; }

class IgnoredSignals : public testing::TestWithParam<IgnoredCase> {};

TEST_P(IgnoredSignals, StayIgnored) {
    const IgnoredCase& c = GetParam();
    TempDir dir;
    dir.write("wait.bin", e2e::ticking_program(40));
    e2e::RunOptions options;
    if (c.ignored != 0) options.ignored_signals = {c.ignored};
    options.kill_after_ms = 150;
    options.kill_signal = c.sent;
    const RunResult r = e2e::run_emulator(dir, {"--clean", "wait.bin"}, options);
    const bool survives = c.ignored == c.sent;
    EXPECT_EQ(r.term_signal, survives ? 0 : c.sent);
    EXPECT_EQ(r.exit_code, survives ? 0 : -1);
    EXPECT_EQ(r.out, survives ? "!" : "");
}

INSTANTIATE_TEST_SUITE_P(Signals, IgnoredSignals,
                         testing::Values(IgnoredCase{"hangup_under_nohup", SIGHUP, SIGHUP},
                                         IgnoredCase{"interrupt_in_a_scripts_background", SIGINT, SIGINT},
                                         IgnoredCase{"quit_in_a_scripts_background", SIGQUIT, SIGQUIT},
                                         IgnoredCase{"hangup_when_not_ignored", 0, SIGHUP},
                                         IgnoredCase{"terminate_while_hangup_is_ignored", SIGHUP, SIGTERM}),
                         [](const auto& info) { return std::string(info.param.name); });

// A stop signal ends a run whose output nobody reads (a full pipe) at
// once: what cannot be written is dropped, and standard error says so.
struct StopCase {
    const char* name;
    int signal;
};
void PrintTo(const StopCase& c, std::ostream* os) { *os << c.name; }

class StopWithFullPipe : public testing::TestWithParam<StopCase> {};

TEST_P(StopWithFullPipe, EndsAtOnceAndSaysWhatWasDropped) {
    TempDir dir;
    dir.write("prog.bin", Bytes{0xA9, 0x41, 0x8D, 0x01, 0xFF, 0x4C, 0x00, 0x02});  // prints A for ever
    e2e::RunOptions options;
    options.stdout_unread = true;
    options.kill_after_ms = 300;
    options.kill_signal = GetParam().signal;
    options.timeout_seconds = 3;
    const RunResult r = e2e::run_emulator(dir, {"--clean", "prog.bin"}, options);
    EXPECT_FALSE(r.timed_out) << "the run hung on its output";
    EXPECT_EQ(r.term_signal, GetParam().signal);
    EXPECT_TRUE(r.err.rfind("emu6502: ", 0) == 0 &&
                r.err.find(" bytes of output that nobody took were dropped after the stop signal.\n") !=
                    std::string::npos)
        << r.err;
}

INSTANTIATE_TEST_SUITE_P(Signals, StopWithFullPipe,
                         testing::Values(StopCase{"terminate", SIGTERM}, StopCase{"interrupt", SIGINT},
                                         StopCase{"hangup", SIGHUP}),
                         [](const auto& info) { return std::string(info.param.name); });

// --stats reports a run that a signal ended, before the signal ends it.
TEST(Signals, StatsLinePrecedesTheEndBySignal) {
    TempDir dir;
    dir.write("loop.bin", Bytes{0x78, 0x4C, 0x01, 0x02});
    e2e::RunOptions options;
    options.kill_after_ms = 300;
    const RunResult r = e2e::run_emulator(dir, {"--clean", "--stats", "loop.bin"}, options);
    EXPECT_EQ(r.term_signal, 15);
    EXPECT_EQ(r.err.rfind("stats: ", 0), 0u) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1);
}

// The timer starts with the first instruction: an image that arrives slowly
// (here through a pipe, 300 ms late) releases no backlog of requests at CLI.
TEST(Timer, SlowImageReleasesNoStaleInterrupts) {
    TempDir dir;
    // Handler at 0x0300: INC $10; RTI. Main: LDA #0; STA $10; LDA #3; STA $FFFF; LDA #0; STA $FFFE;
    // CLI; NOP x8; SEI; LDA $10; STA $FF01; JMP $0000
    Bytes program = {0xA9, 0x00, 0x85, 0x10, 0xA9, 0x03, 0x8D, 0xFF, 0xFF, 0xA9, 0x00, 0x8D, 0xFE, 0xFF, 0x58};
    program.insert(program.end(), 8, 0xEA);
    program.insert(program.end(), {0x78, 0xA5, 0x10, 0x8D, 0x01, 0xFF, 0x4C, 0x00, 0x00});
    program.resize(0x100, 0xEA);
    program.insert(program.end(), {0xE6, 0x10, 0x40});
    dir.write("prog.bin", program);
    const std::string command = "cd '" + dir.path().string() + "' && (sleep 0.3; cat prog.bin) | '" +
                                e2e::binary_path() + "' --clean /dev/stdin >out 2>err";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const Bytes out = dir.read("out");
    ASSERT_EQ(out.size(), 1u);
    EXPECT_LE(out[0], 1) << "a backlog of " << int(out[0]) << " requests";
}

}  // namespace
