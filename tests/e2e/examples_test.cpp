// The example programs in examples/ run as shipped: each committed image
// goes through the real binary with its keyboard input on "-i", must end
// by reaching 0x0000 (exit 0, a full "membackup") and print exactly what is
// expected. The kit in sdk/ is also checked the way a newcomer uses it:
// building a C and an assembly hello-world with cc65, and rebuilding the
// committed images from their sources.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <map>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "e2e/harness.hpp"

namespace {

using e2e::Bytes;

const std::string NO_MEMBACKUP = "can't read membackup file.\n";

std::string example(const std::string& name) { return e2e::source_dir() + "/examples/" + name; }

Bytes bytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

struct ExampleCase {
    const char* name;
    const char* image;  // in examples/
    std::string stdin_data;  // given with "-i" when not empty
    std::vector<std::pair<std::string, std::string>> files_before;
    std::string expected_out;  // exact, unless a pattern is given
    const char* out_pattern;   // a regular expression the whole output must match
    std::vector<std::pair<std::string, std::string>> files_after;
};

const std::string GREET_PROMPT = "What is your name? ";
const std::string ECHO_PROMPT = "Type something (Enter or q ends):\r\n";
const std::string ECHO_BYE = "\r\nBye.\r\n";
const std::string FILES_WROTE = "Wrote 12 bytes to file1, close status 00\r\nRead back: ";

const ExampleCase EXAMPLE_CASES[] = {
    {"hello", "hello.bin", "", {}, "Hello from the 6502!\r\n", nullptr, {}},
    {"c_hello", "c_hello.bin", "", {}, "Hello from C on the 6502!\n", nullptr, {}},

    // The C greeter: line editing on piped keys, then printf output.
    {"greet_name", "c_greet.bin", "ada\n", {},
     GREET_PROMPT + "ada\nHello, Ada! Your name has 3 characters.\nBackwards: adA\n", nullptr, {}},
    {"greet_enter_key_is_cr", "c_greet.bin", "Bob\r", {},
     GREET_PROMPT + "Bob\nHello, Bob! Your name has 3 characters.\nBackwards: boB\n", nullptr, {}},
    {"greet_empty_line", "c_greet.bin", "\n", {}, GREET_PROMPT + "\nHello, stranger!\n", nullptr, {}},
    {"greet_backspace_rubs_out", "c_greet.bin", "Al\x08\x08" "eve\n", {},
     GREET_PROMPT + "Al\b \b\b \beve\nHello, Eve! Your name has 3 characters.\nBackwards: evE\n", nullptr, {}},
    {"greet_del_is_backspace", "c_greet.bin", "Tomm\x7Fy\n", {},
     GREET_PROMPT + "Tomm\b \by\nHello, Tomy! Your name has 4 characters.\nBackwards: ymoT\n", nullptr, {}},
    {"greet_backspace_on_empty_line_does_nothing", "c_greet.bin", "\x08x\n", {},
     GREET_PROMPT + "x\nHello, X! Your name has 1 characters.\nBackwards: X\n", nullptr, {}},
    {"greet_control_keys_ignored", "c_greet.bin", "\x1B\tZo\n", {},
     GREET_PROMPT + "Zo\nHello, Zo! Your name has 2 characters.\nBackwards: oZ\n", nullptr, {}},
    // Keys that send escape sequences are skipped whole (the rest of the
    // sequence is not typed as text), whatever their form.
    {"greet_arrow_key_skipped", "c_greet.bin", "Ad\x1B[Da\n", {},
     GREET_PROMPT + "Ada\nHello, Ada! Your name has 3 characters.\nBackwards: adA\n", nullptr, {}},
    {"greet_editing_and_function_keys_skipped", "c_greet.bin",
     "Bo\x1B[3~\x1B[H\x1BOH\x1B[6~\x1BOP\x1B[15~\x1B[1;2A\x1B[[Bb\n", {},
     GREET_PROMPT + "Bob\nHello, Bob! Your name has 3 characters.\nBackwards: boB\n", nullptr, {}},
    {"greet_alt_key_types_the_key", "c_greet.bin", "\x1Bzoe\n", {},
     GREET_PROMPT + "zoe\nHello, Zoe! Your name has 3 characters.\nBackwards: eoZ\n", nullptr, {}},
    {"greet_enter_ends_a_broken_sequence", "c_greet.bin", "Al\x1B[\r", {},
     GREET_PROMPT + "Al\nHello, Al! Your name has 2 characters.\nBackwards: lA\n", nullptr, {}},
    {"greet_long_name_is_cut_to_buffer", "c_greet.bin", std::string(30, 'k') + "\n", {},
     GREET_PROMPT + std::string(23, 'k') + "\nHello, K" + std::string(22, 'k') +
         "! Your name has 23 characters.\nBackwards: " + std::string(22, 'k') + "K\n",
     nullptr, {}},
    {"greet_reads_only_the_first_line", "c_greet.bin", "Ann\nBob\n", {},
     GREET_PROMPT + "Ann\nHello, Ann! Your name has 3 characters.\nBackwards: nnA\n", nullptr, {}},

    // Keyboard echo in assembly.
    {"echo_until_enter", "echo.bin", "abc\r", {}, ECHO_PROMPT + "abc" + ECHO_BYE, nullptr, {}},
    {"echo_until_line_feed", "echo.bin", "x y\nmore\n", {}, ECHO_PROMPT + "x y" + ECHO_BYE, nullptr, {}},
    {"echo_until_q", "echo.bin", "hi qrest\n", {}, ECHO_PROMPT + "hi " + ECHO_BYE, nullptr, {}},
    {"echo_capital_q_is_echoed", "echo.bin", "Qq", {}, ECHO_PROMPT + "Q" + ECHO_BYE, nullptr, {}},
    {"echo_q_at_once", "echo.bin", "q", {}, ECHO_PROMPT + ECHO_BYE, nullptr, {}},

    // Data file round trip in assembly.
    {"files_new_file", "files.bin", "", {}, FILES_WROTE + "Hello, file!\r\n", nullptr,
     {{"file1", "Hello, file!"}}},
    {"files_longer_file_keeps_its_tail", "files.bin", "", {{"file1", "0123456789abcdefXYZ"}},
     FILES_WROTE + "Hello, file!cdefXYZ\r\n", nullptr, {{"file1", "Hello, file!cdefXYZ"}}},
    {"files_shorter_file_is_overwritten", "files.bin", "", {{"file1", "ab"}, {"file0", "zero"}},
     FILES_WROTE + "Hello, file!\r\n", nullptr, {{"file1", "Hello, file!"}, {"file0", "zero"}}},

    // The devices from C: exact file lines, clock and dice by their form.
    {"c_devices", "c_devices.bin", "", {}, "",
     "file2: wrote 0 1 4 9 16 25 36 49, close 0\n"
     "file2: read 0 1 4 9 16 25 36 49, close 0\n"
     "date: 20\\d\\d-(0[1-9]|1[0-2])-(0[1-9]|[12]\\d|3[01]) ([01]\\d|2[0-3]):[0-5]\\d:([0-5]\\d|60)\n"
     "dice: [1-6] [1-6] [1-6]\n",
     {{"file2", std::string("\x00\x01\x04\x09\x10\x19\x24\x31", 8)}}},
    {"clock_format", "clock.bin", "", {}, "",
     "20\\d\\d-(0[1-9]|1[0-2])-(0[1-9]|[12]\\d|3[01]) ([01]\\d|2[0-3]):[0-5]\\d:([0-5]\\d|60)\r\n", {}},
};

e2e::RunResult run_example(const e2e::TempDir& dir, const ExampleCase& c) {
    std::vector<std::string> args{example(c.image)};
    e2e::RunOptions options;
    if (!c.stdin_data.empty()) {
        args.emplace_back("-i");
        options.stdin_data = c.stdin_data;
    }
    options.timeout_seconds = 15;  // an example waiting for more keys never ends
    return e2e::run_emulator(dir, args, options);
}

void PrintTo(const ExampleCase& c, std::ostream* os) { *os << c.name; }

class ExampleTest : public ::testing::TestWithParam<ExampleCase> {};

TEST_P(ExampleTest, RunsToTheEnd) {
    const ExampleCase& c = GetParam();
    e2e::TempDir dir;
    for (const auto& [name, text] : c.files_before) dir.write(name, text);

    const e2e::RunResult run = run_example(dir, c);

    ASSERT_FALSE(run.timed_out) << "output so far: " << run.out;
    EXPECT_EQ(run.term_signal, 0);
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(run.err, NO_MEMBACKUP);
    if (c.out_pattern != nullptr) {
        EXPECT_TRUE(std::regex_match(run.out, std::regex(c.out_pattern))) << "output: " << run.out;
    } else {
        EXPECT_EQ(run.out, c.expected_out);
    }
    EXPECT_EQ(e2e::membackup(dir).size(), 0x10000u);
    for (const auto& [name, text] : c.files_after) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(dir.exists(name));
        EXPECT_EQ(dir.read(name), bytes(text));
    }
}

INSTANTIATE_TEST_SUITE_P(Examples, ExampleTest, ::testing::ValuesIn(EXAMPLE_CASES),
                         [](const auto& info) { return std::string(info.param.name); });

// The clock example shows the host's local time: the printed moment lies
// between the seconds just before and just after the run.
TEST(ClockExample, PrintsTheLocalTime) {
    e2e::TempDir dir;
    const std::time_t before = std::time(nullptr);
    const e2e::RunResult run = e2e::run_emulator(dir, {example("clock.bin")});
    const std::time_t after = std::time(nullptr);
    ASSERT_EQ(run.exit_code, 0);

    std::tm shown{};
    std::smatch m;
    const std::regex form("(\\d{4})-(\\d\\d)-(\\d\\d) (\\d\\d):(\\d\\d):(\\d\\d)\r\n");
    ASSERT_TRUE(std::regex_match(run.out, m, form)) << run.out;
    shown.tm_year = std::stoi(m[1]) - 1900;
    shown.tm_mon = std::stoi(m[2]) - 1;
    shown.tm_mday = std::stoi(m[3]);
    shown.tm_hour = std::stoi(m[4]);
    shown.tm_min = std::stoi(m[5]);
    shown.tm_sec = std::stoi(m[6]);
    shown.tm_isdst = -1;
    const std::time_t printed = std::mktime(&shown);
    EXPECT_GE(printed, before - 1) << run.out;
    EXPECT_LE(printed, after + 1) << run.out;
}

// Building with the kit needs cc65; without it these are skipped.
bool have_cc65() { return std::system("command -v cl65 >/dev/null 2>&1") == 0; }

int shell(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string quoted(const std::string& text) { return "'" + text + "'"; }

struct BuildCase {
    const char* name;
    const char* source_name;
    std::string source;
    std::string command;  // run in the temporary directory; SDK is the kit
    std::string stdin_data;  // given with "-i" when not empty
    std::string expected_out;
    std::vector<std::string> options = {};  // for emu6502, before the image
    int exit_code = 0;
    // The build leaves the folder as it found it, but for hello.bin (a
    // file "hello.s" of the user's own sits there beside a C source).
    bool leaves_only_the_image = false;
};

const std::string C_HELLO =
    "#include <stdio.h>\n"
    "int main(void) { printf(\"Hello, %s!\\n\", \"world\"); return 0; }\n";
const std::string ASM_HELLO =
    "        .include \"emu6502.inc\"\n"
    "        .code\n"
    "        PUTS    text\n"
    "        END_RUN\n"
    "        .rodata\n"
    "text:   .byte   \"Hello, world!\", CR, LF, 0\n";
// The number-printing macros over their digit boundaries.
const std::string ASM_MACROS =
    "        .include \"emu6502.inc\"\n"
    "        .code\n"
    "        ldy     #0\n"
    "hex:    lda     hexes,y\n"
    "        PUTHEX\n"
    "        PUTC    ' '\n"
    "        iny\n"
    "        cpy     #6\n"
    "        bne     hex\n"
    "        NEWLINE\n"
    "        ldy     #0\n"
    "decl:   lda     decimals,y\n"
    "        PUTDEC2\n"
    "        PUTC    ' '\n"
    "        iny\n"
    "        cpy     #6\n"
    "        bne     decl\n"
    "        END_RUN\n"
    "        .rodata\n"
    "hexes:  .byte   $00, $09, $0A, $0F, $A0, $FF\n"
    "decimals: .byte 0, 9, 10, 19, 59, 99\n";
const std::string C_EXIT =
    "#include <stdlib.h>\n"
    "#include \"emu6502.h\"\n"
    "static void bye(void) { emu_puts(\"atexit ran\\n\"); }\n"
    "int main(void) { atexit(bye); emu_puts(\"before\\n\"); exit(3); emu_puts(\"after\\n\"); return 0; }\n";
// Runs for well over one 10 ms timer period: the start-up code must keep
// the timer's interrupt (vector 0x0000) from ending the run early.
const std::string C_LONG_RUN =
    "#include <stdio.h>\n"
    "int main(void) { unsigned long sum = 0; unsigned long i;\n"
    "  for (i = 0; i < 150000ul; ++i) sum += 3;\n"
    "  printf(\"%lu\\n\", sum); return 0; }\n";
// Standard input through cc65's stdio: fgets and getchar wait for keys,
// and Enter (13) reads as '\n'.
const std::string C_STDIO =
    "#include <stdio.h>\n"
    "#include <string.h>\n"
    "int main(void) { char line[16]; int c;\n"
    "  fgets(line, sizeof line, stdin); line[strcspn(line, \"\\n\")] = 0;\n"
    "  c = getchar();\n"
    "  printf(\"[%s] %d %d\\n\", line, c, getchar()); return 0; }\n";

const std::string C_RETURN =
    "int main(void) { return 5; }\n";
const std::string C_RETURN_WIDE =
    "int main(void) { return 0x1234; }\n";
const std::string C_EXIT_STATUS =
    "#include <stdlib.h>\n"
    "static void bye(void) { }\n"
    "int main(void) { atexit(bye); exit(7); return 1; }\n";
const std::string C_EXIT_NESTED =
    "#include <stdlib.h>\n"
    "static void deeper(unsigned char n) { if (n == 0) exit(200); deeper(n - 1); }\n"
    "int main(void) { deeper(10); return 1; }\n";
const std::string C_INCLUDES_ITS_NEIGHBOUR =
    "#include \"greeting.h\"\n"
    "#include \"emu6502.h\"\n"
    "int main(void) { emu_puts(GREETING); return 0; }\n";

const BuildCase BUILD_CASES[] = {
    {"c_one_line_cl65", "hello.c", C_HELLO,
     // on a copy of the kit, since cl65 leaves its object files beside the sources
     "cp -R SDK sdk && cl65 -t none -O -C sdk/emu6502.cfg -I sdk -o hello.bin sdk/crt0.s sdk/console.s "
     "sdk/devices.s hello.c",
     "", "Hello, world!\n"},
    {"c_build_script", "hello.c", C_HELLO, "SDK/build.sh hello.bin hello.c", "", "Hello, world!\n"},
    {"asm_one_line_cl65", "hello.s", ASM_HELLO,
     "cl65 -t none -C SDK/emu6502.cfg --asm-include-dir SDK -o hello.bin hello.s", "", "Hello, world!\r\n"},
    {"asm_build_script", "hello.s", ASM_HELLO, "SDK/build.sh hello.bin hello.s", "", "Hello, world!\r\n"},
    {"asm_number_macros", "macros.s", ASM_MACROS, "SDK/build.sh hello.bin macros.s", "",
     "00 09 0A 0F A0 FF \r\n00 09 10 19 59 99 "},
    {"c_exit_runs_atexit_and_ends", "hello.c", C_EXIT, "SDK/build.sh hello.bin hello.c", "", "before\natexit ran\n"},
    {"c_survives_timer_ticks", "hello.c", C_LONG_RUN, "SDK/build.sh hello.bin hello.c", "", "450000\n"},
    {"c_stdio_reads_keys", "hello.c", C_STDIO, "SDK/build.sh hello.bin hello.c", "ab cd\rxy", "[ab cd] 120 121\n"},
    {"c_stdio_line_longer_than_buffer", "hello.c", C_STDIO, "SDK/build.sh hello.bin hello.c",
     "0123456789abcdefgh\n", "[0123456789abcde] 102 103\n"},
    // main's result and exit()'s status end up in A: --exit-status shows them.
    {"c_return_is_exit_status", "hello.c", C_RETURN, "SDK/build.sh hello.bin hello.c", "", "", {"--exit-status"}, 5},
    {"c_return_low_byte", "hello.c", C_RETURN_WIDE, "SDK/build.sh hello.bin hello.c", "", "", {"--exit-status"}, 0x34},
    {"c_exit_is_exit_status", "hello.c", C_EXIT_STATUS, "SDK/build.sh hello.bin hello.c", "", "", {"--exit-status"}, 7},
    {"c_exit_from_deep_inside", "hello.c", C_EXIT_NESTED, "SDK/build.sh hello.bin hello.c", "", "",
     {"--exit-status"}, 200},
    {"c_return_without_the_option", "hello.c", C_RETURN, "SDK/build.sh hello.bin hello.c", "", "", {}, 0},
    // The kit writes nothing beside the sources but the image, its labels and
    // its debug information, and deletes nothing there.
    {"c_build_keeps_a_neighbouring_s_file", "hello.c", C_HELLO, "SDK/build.sh hello.bin hello.c", "",
     "Hello, world!\n", {}, 0, true},
    {"c_build_from_another_folder", "hello.c", C_INCLUDES_ITS_NEIGHBOUR,
     "mkdir out && cd out && SDK/build.sh ../hello.bin ../hello.c && cd .. && rmdir out", "", "Hi there\n", {}, 0,
     true},
    {"asm_build_keeps_the_folder", "hello.s", ASM_HELLO, "SDK/build.sh hello.bin hello.s", "", "Hello, world!\r\n",
     {}, 0, true},
    {"c_build_from_a_read_only_folder", "hello.c", C_HELLO,
     "mkdir src && mv hello.c src/ && chmod a-w src && SDK/build.sh hello.bin src/hello.c && chmod u+w src", "",
     "Hello, world!\n"},
    {"build_refuses_a_source_as_output", "hello.c", C_HELLO,
     "! SDK/build.sh hello.s hello.c 2>/dev/null && SDK/build.sh hello.bin hello.c", "", "Hello, world!\n", {}, 0,
     true},
};

// Every file in `dir`, with its contents.
std::map<std::string, e2e::Bytes> folder(const e2e::TempDir& dir) {
    std::map<std::string, e2e::Bytes> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.path())) {
        const std::string name = std::filesystem::relative(entry.path(), dir.path()).string();
        files[name] = entry.is_regular_file() ? dir.read(name) : e2e::Bytes{};
    }
    return files;
}

bool kit_has_object_files() {
    for (const auto& entry : std::filesystem::directory_iterator(e2e::source_dir() + "/sdk"))
        if (entry.path().extension() == ".o") return true;
    return false;
}

void PrintTo(const BuildCase& c, std::ostream* os) { *os << c.name; }

class KitBuildTest : public ::testing::TestWithParam<BuildCase> {};

TEST_P(KitBuildTest, BuildsAndRuns) {
    if (!have_cc65()) GTEST_SKIP() << "cc65 is not installed";
    const BuildCase& c = GetParam();
    e2e::TempDir dir;
    dir.write(c.source_name, c.source);
    if (c.leaves_only_the_image) {
        dir.write("hello.s" == std::string(c.source_name) ? "hello.c" : "hello.s", "the user's own file\n");
        dir.write("greeting.h", "#define GREETING \"Hi there\\n\"\n");
    }
    const auto before = folder(dir);
    std::string command = c.command;
    const std::string sdk = quoted(e2e::source_dir() + "/sdk");
    for (std::size_t at = command.find("SDK"); at != std::string::npos; at = command.find("SDK", at + sdk.size()))
        command.replace(at, 3, sdk);
    ASSERT_EQ(shell("cd " + quoted(dir.path().string()) + " && " + command), 0) << command;
    if (c.leaves_only_the_image) {
        auto after = folder(dir);
        EXPECT_EQ(after.erase("hello.bin"), 1u);
        EXPECT_EQ(after.erase("hello.lbl"), 1u) << "the labels for the monitor, beside the image";
        EXPECT_EQ(after.erase("hello.dbg"), 1u) << "the debug information, beside the image";
        EXPECT_TRUE(after == before) << "the build changed the source folder";
        EXPECT_FALSE(kit_has_object_files());
    }

    std::vector<std::string> args = c.options;
    args.emplace_back("hello.bin");
    e2e::RunOptions options;
    if (!c.stdin_data.empty()) {
        args.emplace_back("-i");
        options.stdin_data = c.stdin_data;
    }
    options.timeout_seconds = 15;
    const e2e::RunResult run = e2e::run_emulator(dir, args, options);
    ASSERT_FALSE(run.timed_out);
    EXPECT_EQ(run.exit_code, c.exit_code);
    EXPECT_EQ(run.err, NO_MEMBACKUP);
    EXPECT_EQ(run.out, c.expected_out);
    EXPECT_EQ(e2e::membackup(dir).size(), 0x10000u);
}

INSTANTIATE_TEST_SUITE_P(Kit, KitBuildTest, ::testing::ValuesIn(BUILD_CASES),
                         [](const auto& info) { return std::string(info.param.name); });

// The committed images are what their sources build to.
TEST(ExampleImages, MatchTheirSources) {
    if (!have_cc65()) GTEST_SKIP() << "cc65 is not installed";
    EXPECT_EQ(shell(quoted(e2e::source_dir() + "/scripts/build-examples.sh") + " --check >/dev/null"), 0)
        << "run scripts/build-examples.sh --check to see which image differs";
}

}  // namespace
