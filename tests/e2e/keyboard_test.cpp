// The keyboard on a real terminal: keys typed through a pseudo-terminal
// reach the program one code per read, unechoed, and the terminal's settings
// come back exactly on every way out: normal end, error exit, Ctrl-C,
// SIGTERM, SIGHUP, Ctrl-\, and Ctrl-Z with a resume. A job in the background
// neither stops nor touches the terminal.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "e2e/harness.hpp"
#include "e2e/pty_session.hpp"

namespace {

using e2e::Bytes;
using e2e::PtyOptions;
using e2e::PtySession;

const std::string NO_MEMBACKUP = "can't read membackup file.\n";

// Reads KBD_IN once before anything is typed (kept at 0x1100), prints "R",
// polls until `keys` codes have arrived (kept from 0x1000), reads once more
// (kept at 0x1101) and ends.
Bytes key_program(std::uint8_t keys) {
    return {
        0x78,              // 0200 SEI
        0xAD, 0x00, 0xFF,  // 0201 LDA $FF00
        0x8D, 0x00, 0x11,  // 0204 STA $1100
        0xA9, 'R',         // 0207 LDA #'R'
        0x8D, 0x01, 0xFF,  // 0209 STA $FF01
        0xA2, 0x00,        // 020C LDX #0
        0xAD, 0x00, 0xFF,  // 020E LDA $FF00
        0xF0, 0xFB,        // 0211 BEQ $020E
        0x9D, 0x00, 0x10,  // 0213 STA $1000,X
        0xE8,              // 0216 INX
        0xE0, keys,        // 0217 CPX #keys
        0xD0, 0xF3,        // 0219 BNE $020E
        0xAD, 0x00, 0xFF,  // 021B LDA $FF00
        0x8D, 0x01, 0x11,  // 021E STA $1101
        0x4C, 0x00, 0x00,  // 0221 JMP $0000
    };
}

// Writes 1, 2, 3 to file0, prints "R" and polls the keyboard for ever.
const Bytes ENDLESS_PROGRAM = {
    0x78,              // 0200 SEI
    0xA9, 0x01,        // 0201 LDA #1
    0x8D, 0x0B, 0xFF,  // 0203 STA $FF0B
    0xA9, 0x02,        // 0206 LDA #2
    0x8D, 0x0B, 0xFF,  // 0208 STA $FF0B
    0xA9, 0x03,        // 020B LDA #3
    0x8D, 0x0B, 0xFF,  // 020D STA $FF0B
    0xA9, 'R',         // 0210 LDA #'R'
    0x8D, 0x01, 0xFF,  // 0212 STA $FF01
    0xAD, 0x00, 0xFF,  // 0215 LDA $FF00
    0x4C, 0x15, 0x02,  // 0218 JMP $0215
};

// Prints "BG", then polls the keyboard (any code read is ORed into 0x1000)
// until file0 holds a byte, which it keeps at 0x1001 before it ends. The
// file is closed after every read, so each turn sees what the test wrote.
const Bytes BACKGROUND_PROGRAM = {
    0x78,                    // 0200 SEI
    0xA9, 'B', 0x8D, 0x01, 0xFF,  // 0201 print "B"
    0xA9, 'G', 0x8D, 0x01, 0xFF,  // 0206 print "G"
    0xA9, 0x00,              // 020B LDA #0
    0x8D, 0x00, 0x10,        // 020D STA $1000
    0xAD, 0x00, 0xFF,        // 0210 LDA $FF00
    0x0D, 0x00, 0x10,        // 0213 ORA $1000
    0x8D, 0x00, 0x10,        // 0216 STA $1000
    0xAD, 0x0A, 0xFF,        // 0219 LDA $FF0A
    0xAE, 0x0C, 0xFF,        // 021C LDX $FF0C
    0xC9, 0xFF,              // 021F CMP #$FF
    0xF0, 0xED,              // 0221 BEQ $0210
    0x8D, 0x01, 0x10,        // 0223 STA $1001
    0x4C, 0x00, 0x00,        // 0226 JMP $0000
};

// A saved memory image that starts programs at 0x0200 and carries a marker,
// to tell whether an interrupted run rewrote it.
Bytes marked_image() {
    Bytes image = e2e::fresh_memory();
    for (std::size_t i = 0; i < 4; ++i) image[0x3000 + i] = static_cast<std::uint8_t>("KEEP"[i]);
    return image;
}

Bytes memory_at(const e2e::TempDir& dir, std::size_t address, std::size_t count) {
    const Bytes image = e2e::membackup(dir);
    if (image.size() != 0x10000) return {};
    return Bytes(image.begin() + static_cast<long>(address), image.begin() + static_cast<long>(address + count));
}

std::string stderr_text(const e2e::TempDir& dir) {
    const Bytes b = dir.read("stderr.txt");
    return std::string(b.begin(), b.end());
}

// A fresh machine's memory saved read-only: the run goes on, and its end
// fails to save it.
void make_read_only_membackup(const e2e::TempDir& dir) {
    dir.write("membackup", e2e::fresh_memory());
    std::filesystem::permissions(dir.file("membackup"), std::filesystem::perms::owner_read);
}

#define EXPECT_SETTINGS_RESTORED(session)                                                   \
    EXPECT_TRUE(e2e::same_settings((session).settings_now(), (session).settings_before())) \
        << "before: " << e2e::describe_settings((session).settings_before())              \
        << "\nafter:  " << e2e::describe_settings((session).settings_now())

struct KeyCase {
    const char* name;
    std::string typed;
    Bytes expected;  // the codes the program reads
    std::vector<std::string> args = {};
    std::optional<std::string> stdin_content = std::nullopt;  // standard input from a file
    std::uint8_t first_read = 0;  // what KBD_IN gave before anything was typed
};
void PrintTo(const KeyCase& c, std::ostream* os) { *os << c.name; }

const KeyCase KEY_CASES[] = {
    {"letter", "x", {'x'}},
    {"two_letters_one_at_a_time", "ab", {'a', 'b'}},
    {"del_becomes_backspace", "\x7F", {0x08}},
    {"backspace_stays", "\x08", {0x08}},
    {"enter_is_carriage_return", "\r", {0x0D}},
    {"line_feed_stays", "\n", {0x0A}},
    {"arrow_up_is_three_codes", "\x1B[A", {0x1B, '[', 'A'}},
    {"flow_control_keys_are_keys", "\x13\x11", {0x13, 0x11}},
    {"literal_next_is_a_key", "\x16", {0x16}},
    {"end_of_file_key_is_a_key", "\x04", {0x04}},
    {"stdin_from_file_is_not_the_keyboard", "k", {'k'}, {}, std::string("Z"), 0},
    {"after_stdin_ends_keys_come_from_terminal", "k", {'k'}, {"-i"}, std::string("Z"), 'Z'},
    {"empty_stdin_then_terminal", "k", {'k'}, {"-i"}, std::string(""), 0},
    {"stdin_is_the_terminal", "k", {'k'}, {"-i"}, std::nullopt, 0},
};

class KeyboardTest : public ::testing::TestWithParam<KeyCase> {};

TEST_P(KeyboardTest, KeysArriveOnceUnechoed) {
    const KeyCase& c = GetParam();
    e2e::TempDir dir;
    dir.write("prog.bin", key_program(static_cast<std::uint8_t>(c.expected.size())));
    PtyOptions options;
    if (c.stdin_content) {
        dir.write("input", *c.stdin_content);
        options.stdin_file = "input";
    }
    std::vector<std::string> args{"prog.bin"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    PtySession session(dir, args, options);
    ASSERT_TRUE(session.started());
    ASSERT_TRUE(e2e::canonical_mode(session.settings_before()));

    ASSERT_TRUE(session.wait_for_output("R")) << "output so far: " << session.output();
    EXPECT_TRUE(e2e::key_mode(session.settings_now())) << e2e::describe_settings(session.settings_now());
    session.type(c.typed);
    const auto end = session.wait_end();
    ASSERT_TRUE(end) << "the program did not end; output: " << session.output();
    EXPECT_EQ(end->exit_code(), 0);

    // Nothing but the program's own output: no echo of the keys.
    EXPECT_EQ(session.drain(), "R");
    EXPECT_SETTINGS_RESTORED(session);
    EXPECT_EQ(stderr_text(dir), NO_MEMBACKUP);
    EXPECT_EQ(memory_at(dir, 0x1000, c.expected.size()), c.expected);
    EXPECT_EQ(memory_at(dir, 0x1100, 2), (Bytes{c.first_read, 0x00})) << "a key was read twice or too early";
}

INSTANTIATE_TEST_SUITE_P(Keys, KeyboardTest, ::testing::ValuesIn(KEY_CASES),
                         [](const auto& info) { return std::string(info.param.name); });

// Ways out by signal: the run stops, the data file keeps what was written,
// "membackup" keeps the previous image, and the process ends by the signal.
struct SignalCase {
    const char* name;
    std::string typed;  // typed on the terminal, or
    int sent = 0;       // sent with kill()
    int expected_signal;
};
void PrintTo(const SignalCase& c, std::ostream* os) { *os << c.name; }

const SignalCase SIGNAL_CASES[] = {
    {"ctrl_c", "\x03", 0, SIGINT},
    {"ctrl_backslash", "\x1C", 0, SIGQUIT},
    {"sigterm", "", SIGTERM, SIGTERM},
    {"sighup", "", SIGHUP, SIGHUP},
};

class SignalExitTest : public ::testing::TestWithParam<SignalCase> {};

TEST_P(SignalExitTest, RestoresTerminalAndKeepsFiles) {
    const SignalCase& c = GetParam();
    e2e::TempDir dir;
    dir.write("prog.bin", ENDLESS_PROGRAM);
    const Bytes saved = marked_image();
    dir.write("membackup", saved);
    PtySession session(dir, {"prog.bin"});
    ASSERT_TRUE(session.started());

    ASSERT_TRUE(session.wait_for_output("R")) << "output so far: " << session.output();
    EXPECT_TRUE(e2e::key_mode(session.settings_now()));
    if (!c.typed.empty()) session.type(c.typed);
    if (c.sent != 0) session.send_signal(c.sent);
    const auto end = session.wait_end();
    ASSERT_TRUE(end) << "the program did not stop";

    EXPECT_TRUE(end->signaled()) << "exit code " << end->exit_code();
    EXPECT_EQ(end->signal(), c.expected_signal);
    EXPECT_SETTINGS_RESTORED(session);
    EXPECT_EQ(session.drain(), "R");
    EXPECT_EQ(dir.read("file0"), (Bytes{1, 2, 3}));
    EXPECT_EQ(e2e::membackup(dir), saved) << "membackup was rewritten";
    EXPECT_EQ(stderr_text(dir), "");
}

INSTANTIATE_TEST_SUITE_P(Signals, SignalExitTest, ::testing::ValuesIn(SIGNAL_CASES),
                         [](const auto& info) { return std::string(info.param.name); });

// Ctrl-Z hands the terminal back while the job is stopped and takes it
// again on resume; the run then goes on and ends normally.
TEST(KeyboardSuspend, CtrlZRestoresAndResumeSetsAgain) {
    e2e::TempDir dir;
    dir.write("prog.bin", key_program(1));
    PtySession session(dir, {"prog.bin"});
    ASSERT_TRUE(session.started());
    ASSERT_TRUE(session.wait_for_output("R"));
    EXPECT_TRUE(e2e::key_mode(session.settings_now()));

    session.type("\x1A");
    const auto stop = session.next_event();
    ASSERT_TRUE(stop);
    ASSERT_TRUE(stop->stopped()) << "status " << stop->status;
    EXPECT_EQ(stop->signal(), SIGTSTP);
    EXPECT_SETTINGS_RESTORED(session);

    session.send_signal(SIGCONT);
    EXPECT_TRUE(session.wait_for_settings(e2e::key_mode)) << "key mode not set again on resume";
    session.type("q");
    const auto end = session.wait_end();
    ASSERT_TRUE(end);
    EXPECT_EQ(end->exit_code(), 0);
    EXPECT_SETTINGS_RESTORED(session);
    EXPECT_EQ(session.drain(), "R");
    EXPECT_EQ(memory_at(dir, 0x1000, 1), Bytes{'q'});
}

// An error exit after the run ("membackup" cannot be saved) and one before
// it (no image) both leave the terminal as it was.
TEST(KeyboardErrorExit, MembackupNotWritable) {
    e2e::TempDir dir;
    dir.write("prog.bin", key_program(1));
    make_read_only_membackup(dir);
    PtySession session(dir, {"prog.bin"});
    ASSERT_TRUE(session.started());
    ASSERT_TRUE(session.wait_for_output("R"));
    session.type("k");
    const auto end = session.wait_end();
    ASSERT_TRUE(end);
    EXPECT_EQ(end->exit_code(), 1);
    EXPECT_SETTINGS_RESTORED(session);
    EXPECT_EQ(stderr_text(dir),
              "membackup file is read-only; this run's memory will not be saved.\ncan't write membackup file.\n");
}

TEST(KeyboardErrorExit, MissingImage) {
    e2e::TempDir dir;
    PtySession session(dir, {"missing.bin"});
    ASSERT_TRUE(session.started());
    const auto end = session.wait_end();
    ASSERT_TRUE(end);
    EXPECT_EQ(end->exit_code(), 1);
    EXPECT_SETTINGS_RESTORED(session);
    EXPECT_EQ(stderr_text(dir), NO_MEMBACKUP + "can't read file.\n");
}

// A background job: with TOSTOP set, writing to the terminal or changing
// its settings would stop a job that does not take care; it must finish,
// read no key, and leave the settings and the typed-ahead line alone.
struct BackgroundCase {
    const char* name;
    std::vector<std::string> args;
};
void PrintTo(const BackgroundCase& c, std::ostream* os) { *os << c.name; }

const BackgroundCase BACKGROUND_CASES[] = {
    {"keyboard", {}},
    {"stdin_is_the_terminal", {"-i"}},
};

class BackgroundTest : public ::testing::TestWithParam<BackgroundCase> {};

TEST_P(BackgroundTest, NeverStopsAndLeavesTerminalAlone) {
    const BackgroundCase& c = GetParam();
    e2e::TempDir dir;
    dir.write("prog.bin", BACKGROUND_PROGRAM);
    PtyOptions options;
    options.background = true;
    options.tostop = true;
    options.typed_before_start = "z\n";
    std::vector<std::string> args{"prog.bin"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    PtySession session(dir, args, options);
    ASSERT_TRUE(session.started());
    ASSERT_TRUE(session.settings_before().c_lflag & TOSTOP);

    // While it runs, the terminal stays as the foreground left it.
    ASSERT_TRUE(session.wait_for_output("BG")) << "output so far: " << session.output();
    EXPECT_SETTINGS_RESTORED(session);
    session.type("k");  // for the foreground, not for this job
    session.wait_for_output("k", 200);
    EXPECT_SETTINGS_RESTORED(session);
    dir.write("file0", "x");

    const auto event = session.next_event();
    ASSERT_TRUE(event) << "the background job hung";
    if (event->stopped()) session.send_signal(SIGKILL);
    ASSERT_FALSE(event->stopped()) << "stopped by signal " << event->signal();
    EXPECT_EQ(event->exit_code(), 0);
    EXPECT_SETTINGS_RESTORED(session);
    EXPECT_EQ(memory_at(dir, 0x1000, 2), (Bytes{0x00, 'x'})) << "a key reached the background job";
    EXPECT_EQ(session.unread_input(), "z\n") << "the background job took the foreground's input";
}

// Brought to the foreground while running, the job takes the keyboard.
TEST(BackgroundToForeground, TakesTheKeyboardWithoutSigcont) {
    e2e::TempDir dir;
    dir.write("prog.bin", key_program(1));
    PtyOptions options;
    options.background = true;
    PtySession session(dir, {"prog.bin"}, options);
    ASSERT_TRUE(session.started());
    ASSERT_TRUE(session.wait_for_output("R"));
    EXPECT_SETTINGS_RESTORED(session);

    session.bring_to_foreground();
    EXPECT_TRUE(session.wait_for_settings(e2e::key_mode)) << "key mode not taken in the foreground";
    session.type("k");
    const auto end = session.wait_end();
    ASSERT_TRUE(end);
    EXPECT_EQ(end->exit_code(), 0);
    EXPECT_SETTINGS_RESTORED(session);
    EXPECT_EQ(session.drain(), "R");
    EXPECT_EQ(memory_at(dir, 0x1000, 1), Bytes{'k'});
}

INSTANTIATE_TEST_SUITE_P(Background, BackgroundTest, ::testing::ValuesIn(BACKGROUND_CASES),
                         [](const auto& info) { return std::string(info.param.name); });

// Terminal modes: prints `text` (which ends in "R"), waits for a key, and
// ends. Whatever the program changed and left changed (cursor, alternate
// screen, attributes, input modes) is undone on every way out, after its
// output; a program that changed nothing gets no extra byte.
Bytes modes_program(const std::string& text) {
    Bytes image = {
        0x78,              // 0200 SEI
        0xA2, 0x00,        // 0201 LDX #0
        0xBD, 0x00, 0x03,  // 0203 LDA $0300,X
        0xF0, 0x06,        // 0206 BEQ $020E
        0x8D, 0x01, 0xFF,  // 0208 STA $FF01
        0xE8,              // 020B INX
        0xD0, 0xF5,        // 020C BNE $0203
        0xAD, 0x00, 0xFF,  // 020E LDA $FF00
        0xF0, 0xFB,        // 0211 BEQ $020E
        0x4C, 0x00, 0x00,  // 0213 JMP $0000
    };
    image.resize(0x100, 0xEA);
    image.insert(image.end(), text.begin(), text.end());
    image.push_back(0);
    return image;
}

struct ModesCase {
    const char* name;
    std::string printed;  // before the final "R"
    std::string undone;   // what the terminal receives after it
};
void PrintTo(const ModesCase& c, std::ostream* os) { *os << c.name; }

const ModesCase MODES_CASES[] = {
    {"nothing_changed", "", ""},
    {"colours_used_and_reset", "\x1B[31mred\x1B[0m", ""},
    {"cursor_hidden", "\x1B[?25l", "\x1B[?25h"},
    {"alternate_screen_and_attributes", "\x1B[?1049h\x1B[1;7m", "\x1B[?1049l\x1B[0m"},
    {"mouse_reports_and_keypad", "\x1B[?1000h\x1B=", "\x1B[?1000l\x1B>"},
    {"title_left_alone", "\x1B]2;Title\x07", ""},
    {"cursor_hidden_and_title_half_written", "\x1B[?25l\x1B]2;Ti", "\x18\x1B[?25h"},
    {"unfinished_title_cancelled", "\x1B]2;Tit", "\x18"},
    {"line_drawing_set_and_shift", "\x1B(0\x1B)0\x0E", "\x0F\x1B(B\x1B)B"},
    {"scroll_region_and_origin_mode", "\x1B[2;10r\x1B[?6h", "\x1B[?6l\x1B[r"},
    {"insert_mode", "\x1B[4h", "\x1B[4l"},
    {"scroll_region_reset_by_the_program", "\x1B[5;9r\x1B[r", ""},
};

// The ways out: a key (normal end), a signal, or an error after the run.
enum class WayOut { key, ctrl_c, sigterm, sighup, save_fails };

struct ModesWayCase {
    const char* name;
    WayOut way;
};
void PrintTo(const ModesWayCase& c, std::ostream* os) { *os << c.name; }

const ModesWayCase MODES_WAYS[] = {
    {"normal_end", WayOut::key},   {"ctrl_c", WayOut::ctrl_c},   {"sigterm", WayOut::sigterm},
    {"sighup", WayOut::sighup},    {"error_exit", WayOut::save_fails},
};

class TerminalModesTest : public ::testing::TestWithParam<std::tuple<ModesCase, ModesWayCase>> {};

TEST_P(TerminalModesTest, UndoneOnTheWayOut) {
    const auto& [c, way] = GetParam();
    e2e::TempDir dir;
    dir.write("prog.bin", modes_program(c.printed + "R"));
    if (way.way == WayOut::save_fails) make_read_only_membackup(dir);
    PtySession session(dir, {"prog.bin"});
    ASSERT_TRUE(session.started());
    ASSERT_TRUE(session.wait_for_output("R")) << "output so far: " << session.output();
    switch (way.way) {
    case WayOut::key:
    case WayOut::save_fails: session.type("k"); break;
    case WayOut::ctrl_c: session.type("\x03"); break;
    case WayOut::sigterm: session.send_signal(SIGTERM); break;
    case WayOut::sighup: session.send_signal(SIGHUP); break;
    }
    const auto end = session.wait_end();
    ASSERT_TRUE(end) << "the program did not end";
    const int expected_exit = way.way == WayOut::key ? 0 : way.way == WayOut::save_fails ? 1 : -1;
    EXPECT_EQ(end->exit_code(), expected_exit);
    if (way.way == WayOut::ctrl_c) {
        EXPECT_EQ(end->signal(), SIGINT);
    }
    EXPECT_EQ(session.drain(), c.printed + "R" + c.undone);
    EXPECT_SETTINGS_RESTORED(session);
}

INSTANTIATE_TEST_SUITE_P(Modes, TerminalModesTest,
                         ::testing::Combine(::testing::ValuesIn(MODES_CASES), ::testing::ValuesIn(MODES_WAYS)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) + "_" + std::get<1>(info.param).name;
                         });

// Ctrl-Z gives the shell its terminal back with the modes undone; the
// resume sets them again, and the end undoes them once more.
TEST(TerminalModesSuspend, UndoneWhileStoppedAndSetAgainOnResume) {
    e2e::TempDir dir;
    dir.write("prog.bin", modes_program("\x1B[?25l\x1B[4mR"));
    PtySession session(dir, {"prog.bin"});
    ASSERT_TRUE(session.started());
    ASSERT_TRUE(session.wait_for_output("R"));
    session.type("\x1A");
    const auto stop = session.next_event();
    ASSERT_TRUE(stop);
    ASSERT_TRUE(stop->stopped()) << "status " << stop->status;
    EXPECT_EQ(session.drain(), "\x1B[?25l\x1B[4mR\x1B[0m\x1B[?25h");
    EXPECT_SETTINGS_RESTORED(session);

    session.send_signal(SIGCONT);
    EXPECT_TRUE(session.wait_for_output("\x1B[?25h\x1B[4m\x1B[?25l")) << "modes not set again: " << session.output();
    EXPECT_TRUE(session.wait_for_settings(e2e::key_mode));
    session.type("k");
    const auto end = session.wait_end();
    ASSERT_TRUE(end);
    EXPECT_EQ(end->exit_code(), 0);
    EXPECT_EQ(session.drain(), "\x1B[?25l\x1B[4mR\x1B[0m\x1B[?25h\x1B[4m\x1B[?25l\x1B[0m\x1B[?25h");
}

// Ctrl-Z, then "bg": the job runs on in the background and leaves the
// terminal alone; "fg" (no SIGCONT for a running job) brings its modes
// back, as a resume in the foreground does.
TEST(TerminalModesSuspend, BackgroundThenForegroundSetsThemAgain) {
    e2e::TempDir dir;
    dir.write("prog.bin", modes_program("\x1B[?25l\x1B[4mR"));
    PtySession session(dir, {"prog.bin"});
    ASSERT_TRUE(session.started());
    ASSERT_TRUE(session.wait_for_output("R"));
    session.type("\x1A");
    const auto stop = session.next_event();
    ASSERT_TRUE(stop);
    ASSERT_TRUE(stop->stopped()) << "status " << stop->status;
    session.take_terminal();
    usleep(50 * 1000);
    session.send_signal(SIGCONT);  // bg
    usleep(200 * 1000);
    EXPECT_EQ(session.drain(), "\x1B[?25l\x1B[4mR\x1B[0m\x1B[?25h") << "the background job touched the terminal";
    session.bring_to_foreground();  // fg
    EXPECT_TRUE(session.wait_for_output("\x1B[?25h\x1B[4m\x1B[?25l")) << "modes not set again: " << session.output();
    EXPECT_TRUE(session.wait_for_settings(e2e::key_mode));
    session.type("k");
    const auto end = session.wait_end();
    ASSERT_TRUE(end);
    EXPECT_EQ(end->exit_code(), 0);
}

// Keys the program did not read, and a terminal's answer to its question,
// are discarded at the end rather than typed at the shell's prompt.
struct LeftoverCase {
    const char* name;
    std::string printed;
    std::string typed;  // the program reads only the first key
};
void PrintTo(const LeftoverCase& c, std::ostream* os) { *os << c.name; }

const LeftoverCase LEFTOVER_CASES[] = {
    {"keys_typed_ahead", "R", "kls\r"},
    {"answer_to_cursor_request", "\x1B[6nR", "k\x1B[12;1R"},
    {"answer_to_device_attributes", "\x1B[cR", "k\x1B[?62;22c"},
};

class LeftoverInputTest : public ::testing::TestWithParam<LeftoverCase> {};

TEST_P(LeftoverInputTest, DiscardedAtTheEnd) {
    const LeftoverCase& c = GetParam();
    e2e::TempDir dir;
    dir.write("prog.bin", modes_program(c.printed));
    PtySession session(dir, {"prog.bin"});
    ASSERT_TRUE(session.started());
    ASSERT_TRUE(session.wait_for_output("R"));
    session.type(c.typed);
    const auto end = session.wait_end();
    ASSERT_TRUE(end);
    EXPECT_EQ(end->exit_code(), 0);
    EXPECT_SETTINGS_RESTORED(session);
    EXPECT_EQ(session.unread_input(), "") << "left for the shell";
}

INSTANTIATE_TEST_SUITE_P(Leftovers, LeftoverInputTest, ::testing::ValuesIn(LEFTOVER_CASES),
                         [](const auto& info) { return std::string(info.param.name); });

// While the program waits for a key, the timer goes on: an interrupt
// handler counts ticks (at 0x1200) until a key comes.
TEST(KeyboardWait, TimerTicksWhileWaiting) {
    e2e::TempDir dir;
    Bytes image = {
        0xA9, 0x00,        // 0200 LDA #0
        0x8D, 0x00, 0x12,  // 0202 STA $1200
        0xA9, 0x30,        // 0205 LDA #$30
        0x8D, 0xFE, 0xFF,  // 0207 STA $FFFE
        0xA9, 0x02,        // 020A LDA #$02
        0x8D, 0xFF, 0xFF,  // 020C STA $FFFF: interrupts go to 0x0230
        0xA9, 'R',         // 020F LDA #'R'
        0x8D, 0x01, 0xFF,  // 0211 STA $FF01
        0x58,              // 0214 CLI
        0xAD, 0x00, 0xFF,  // 0215 LDA $FF00
        0xF0, 0xFB,        // 0218 BEQ $0215
        0x78,              // 021A SEI
        0x8D, 0x01, 0x12,  // 021B STA $1201
        0x4C, 0x00, 0x00,  // 021E JMP $0000
    };
    image.resize(0x30, 0xEA);
    image.insert(image.end(), {0xEE, 0x00, 0x12, 0x40});  // 0230 INC $1200; RTI
    dir.write("prog.bin", image);
    PtySession session(dir, {"prog.bin"});
    ASSERT_TRUE(session.started());
    ASSERT_TRUE(session.wait_for_output("R"));
    usleep(200000);
    session.type("k");
    const auto end = session.wait_end();
    ASSERT_TRUE(end);
    EXPECT_EQ(end->exit_code(), 0);
    const Bytes got = memory_at(dir, 0x1200, 2);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_GT(got[0], 0) << "no timer interrupt while the program waited";
    EXPECT_EQ(got[1], 'k');
}

// cc65's cgetc() (the kit's conio, in examples/c_menu) on a real terminal:
// an arrow key's sequence is one key, and Esc pressed alone is Esc at once,
// without waiting for another key. A key is typed once the screen shows
// that the one before has been taken.
struct ConioKeyCase {
    const char* name;
    std::vector<std::pair<std::string, std::string>> typed;  // keys, and what they show ("" for the last)
    std::string ending;                                       // the program's last line
};

const std::string COFFEE_CHOSEN = "\x1B[7m\x1B[4;5HCoffee";
const std::string WATER_CHOSEN = "\x1B[7m\x1B[5;5HWater";

const ConioKeyCase CONIO_KEY_CASES[] = {
    {"arrow_then_enter", {{"\x1B[B", COFFEE_CHOSEN}, {"\r", ""}}, "Coffee, then."},
    {"arrow_in_application_mode", {{"\x1BOA", WATER_CHOSEN}, {"\r", ""}}, "Water, then."},
    {"lone_esc", {{"\x1B", ""}}, "Nothing, then."},
    {"arrow_then_lone_esc", {{"\x1B[B", COFFEE_CHOSEN}, {"\x1B", ""}}, "Nothing, then."},
};

void PrintTo(const ConioKeyCase& c, std::ostream* os) { *os << c.name; }

class ConioKeyTest : public ::testing::TestWithParam<ConioKeyCase> {};

TEST_P(ConioKeyTest, KeysAsCgetcGivesThem) {
    const ConioKeyCase& c = GetParam();
    e2e::TempDir dir;
    PtySession session(dir, {e2e::source_dir() + "/examples/c_menu.bin"});
    ASSERT_TRUE(session.started());
    ASSERT_TRUE(session.wait_for_output("Water\x1B[27m")) << "output so far: " << session.output();
    for (const auto& [keys, shows] : c.typed) {
        session.type(keys);
        if (!shows.empty()) {
            ASSERT_TRUE(session.wait_for_output(shows)) << "output so far: " << session.output();
        }
    }
    const auto end = session.wait_end();
    ASSERT_TRUE(end) << "the program did not end; output: " << session.output();
    EXPECT_EQ(end->exit_code(), 0);
    EXPECT_NE(session.drain().find(c.ending), std::string::npos) << session.output();
    EXPECT_SETTINGS_RESTORED(session);
}

INSTANTIATE_TEST_SUITE_P(Conio, ConioKeyTest, ::testing::ValuesIn(CONIO_KEY_CASES),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
