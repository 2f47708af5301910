// The monitor on a real terminal (--monitor): Ctrl-], line editing and
// history, Enter repeating a step, the terminal's modes kept and restored.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "e2e/harness.hpp"
#include "e2e/pty_session.hpp"
#include "e2e/monitor_programs.hpp"

namespace {

using e2e::Bytes;
using e2e::RunResult;
using e2e::TempDir;

// Prints "R", then reads the keyboard until a key comes, prints it and ends.
const Bytes KEY_PROGRAM = {
    0x78,              // 0200 SEI
    0xA9, 'R',         // 0201 LDA #'R'
    0x8D, 0x01, 0xFF,  // 0203 STA $FF01
    0xAD, 0x00, 0xFF,  // 0206 LDA $FF00
    0xF0, 0xFB,        // 0209 BEQ $0206
    0x8D, 0x01, 0xFF,  // 020B STA $FF01
    0x4C, 0x00, 0x00,  // 020E JMP $0000
};

// libedit shows its prompt once it has the terminal, but on a loaded
// machine keys typed at once can still meet the terminal's own line mode:
// wait until it reads key by key.
bool wait_for_editing(const e2e::PtySession& session) {
    for (int tries = 0; tries < 200; ++tries) {
        if ((session.settings_now().c_lflag & ICANON) == 0) return true;
        usleep(10 * 1000);
    }
    return false;
}

#ifdef EMU6502_HAVE_LIBEDIT
constexpr bool LINE_EDITING = true;
#else
constexpr bool LINE_EDITING = false;  // whole lines in the terminal's own line mode
#endif

// A line for the monitor's prompt, typed once libedit reads it.
void type_line(e2e::PtySession& session, const char* text) {
    if (LINE_EDITING) {
        EXPECT_TRUE(wait_for_editing(session)) << "the prompt never took the terminal";
    }
    session.type(text);
}

TEST(MonitorTerminal, StepBreakpointAndLineEditing) {
    if (!LINE_EDITING) GTEST_SKIP() << "built without libedit: no line editing to test";
    TempDir dir;
    dir.write("p.bin", e2e::twice_program());
    dir.write("p.lbl", std::string(e2e::TWICE_LABELS));
    e2e::PtySession session(dir, {"--clean", "--monitor", "--labels", "p.lbl", "p.bin"});
    ASSERT_TRUE(session.wait_for_output("> ")) << session.output();
    EXPECT_NE(session.output().find("monitor: h for help"), std::string::npos);
    type_line(session, "s\r");
    // Each line typed once the prompt is up and libedit has the terminal.
    ASSERT_TRUE(session.wait_for_output("JSR print\r\n> ")) << session.output();
    // Typed "b prxnt", the cursor moved back over "nt", a character rubbed
    // out and the right one put in: line editing, not the raw keys.
    type_line(session, "b prxnt\x1b[D\x1b[D\x7fi\r");
    ASSERT_TRUE(session.wait_for_output("breakpoint 1 at 0210\r\n> ")) << session.output();
    type_line(session, "c\r");
    ASSERT_TRUE(session.wait_for_output("breakpoint 1 at 0210\r\nprint:\r\n0210  A9 48     LDA #$48\r\n> "))
        << session.output();
    type_line(session, "x\r");
    const auto end = session.wait_end();
    ASSERT_TRUE(end);
    EXPECT_TRUE(end->exited() && end->exit_code() == 0);
    EXPECT_NE(session.output().find("HH"), std::string::npos);
    EXPECT_TRUE(e2e::same_settings(session.settings_now(), session.settings_before()));
}

TEST(MonitorTerminal, WatchpointOnTheConsole) {
    TempDir dir;
    dir.write("p.bin", e2e::twice_program());
    e2e::PtySession session(dir, {"--clean", "--monitor", "p.bin"});
    ASSERT_TRUE(session.wait_for_output("> "));
    type_line(session, "w ff01 w\r");
    ASSERT_TRUE(session.wait_for_output("watchpoint 1 on FF01 w\r\n> "));
    type_line(session, "c\r");
    ASSERT_TRUE(session.wait_for_output("watchpoint: write FF01 = 48 by 0212\r\n0215  60        RTS\r\n> "))
        << session.output();
    type_line(session, "q\r");
    const auto end = session.wait_end();
    ASSERT_TRUE(end);
    EXPECT_TRUE(end->signaled() && end->signal() == SIGINT);
    EXPECT_FALSE(dir.exists("membackup"));
}

TEST(MonitorTerminal, CtrlBracketStopsARunningProgramAndNeverReachesIt) {
    TempDir dir;
    dir.write("p.bin", KEY_PROGRAM);
    e2e::PtySession session(dir, {"--clean", "--monitor", "p.bin"});
    ASSERT_TRUE(session.wait_for_output("> "));
    type_line(session, "c\r");
    ASSERT_TRUE(session.wait_for_output("R")) << session.output();
    session.type("\x1d");
    ASSERT_TRUE(session.wait_for_output("stopped\r\n")) << session.output();
    // Stopped in the polling loop, at one of its two instructions.
    ASSERT_TRUE(session.wait_for_output("BEQ $0206\r\n> ", 2000) || session.wait_for_output("LDA $FF00\r\n> "))
        << session.output();
    type_line(session, "r\r");
    ASSERT_TRUE(session.wait_for_output("NV-BDIZC=00100110\r\n> ")) << session.output();
    type_line(session, "c\r");
    ASSERT_TRUE(session.wait_for_output("> c\r\n")) << session.output();
    session.drain();
    session.type("k");
    const auto end = session.wait_end();
    ASSERT_TRUE(end);
    EXPECT_TRUE(end->exited() && end->exit_code() == 0);
    EXPECT_TRUE(session.output().ends_with("> c\r\nk")) << session.output();
    EXPECT_EQ(session.output().find('\x1d'), std::string::npos) << "the key reached the program";
    EXPECT_TRUE(e2e::same_settings(session.settings_now(), session.settings_before()));
}

// A 65C02 idling in WAI, as an interrupt-driven program does: Ctrl-] still
// stops it.
TEST(MonitorTerminal, CtrlBracketStopsAProcessorWaitingInWai) {
    for (const bool deterministic : {false, true}) {
        SCOPED_TRACE(deterministic ? "deterministic" : "host timer");
        TempDir dir;
        dir.write("p.bin", Bytes{0xCB, 0x4C, 0x00, 0x02});  // loop: WAI; JMP loop
        std::vector<std::string> args = {"--clean", "--cpu", "65C02", "--monitor", "p.bin"};
        if (deterministic) args.push_back("--deterministic");
        e2e::PtySession session(dir, args);
        ASSERT_TRUE(session.wait_for_output("> "));
        type_line(session, "c\r");
        ASSERT_TRUE(session.wait_for_output("> c\r\n")) << session.output();
        usleep(100 * 1000);
        session.type("\x1d");
        ASSERT_TRUE(session.wait_for_output("stopped\r\n", 3000)) << session.output();
        type_line(session, "q\r");
        const auto end = session.wait_end();
        ASSERT_TRUE(end);
        EXPECT_TRUE(end->signaled() && end->signal() == SIGINT);
        EXPECT_TRUE(e2e::same_settings(session.settings_now(), session.settings_before()));
    }
}

// A program that turned the text red, took the alternate screen, hid the
// cursor and left it mid-line: the monitor talks on the terminal as it was
// before the run, on a line of its own, and the program gets its modes back.
TEST(MonitorTerminal, TalksInTheTerminalsOwnModes) {
    TempDir dir;
    const Bytes code = {
        0xA2, 0x00,        // 0200 LDX #0
        0xBD, 0x20, 0x02,  // 0202 LDA text,X
        0xF0, 0x06,        // 0205 BEQ $020D
        0x8D, 0x01, 0xFF,  // 0207 STA $FF01
        0xE8,              // 020A INX
        0xD0, 0xF5,        // 020B BNE $0202
        0xEA,              // 020D NOP
        0x4C, 0x00, 0x00,  // 020E JMP $0000
    };
    // The code, then the text at 0220.
    Bytes image(0x20, 0x00);
    std::copy(code.begin(), code.end(), image.begin());
    const std::string text = "\x1b[31m\x1b[?1049h\x1b[?25lab";
    image.insert(image.end(), text.begin(), text.end());
    image.push_back(0x00);
    dir.write("p.bin", image);
    e2e::PtySession session(dir, {"--clean", "--monitor", "p.bin"});
    ASSERT_TRUE(session.wait_for_output("> "));
    type_line(session, "b 20d\r");
    ASSERT_TRUE(session.wait_for_output("breakpoint 1 at 020D\r\n> ")) << session.output();
    type_line(session, "c\r");
    ASSERT_TRUE(session.wait_for_output("020D  EA        NOP\r\n> ")) << session.output();
    const std::string at_stop = session.output();
    const std::size_t printed = at_stop.find("ab");
    const std::size_t stopped = at_stop.find("breakpoint 1 at 020D\r\n", printed);
    ASSERT_NE(printed, std::string::npos);
    ASSERT_NE(stopped, std::string::npos);
    const std::string between = at_stop.substr(printed + 2, stopped - printed - 2);
    EXPECT_NE(between.find("\x1b[?1049l"), std::string::npos) << between;
    EXPECT_NE(between.find("\x1b[?25h"), std::string::npos) << between;
    EXPECT_NE(between.find("\x1b[0m"), std::string::npos) << between;
    EXPECT_TRUE(between.ends_with("\r\n")) << "not on a line of its own: " << between;
    type_line(session, "c\r");
    const auto end = session.wait_end();
    ASSERT_TRUE(end);
    EXPECT_TRUE(end->exited() && end->exit_code() == 0);
    const std::string after = session.output().substr(at_stop.size());
    EXPECT_NE(after.find("\x1b[?1049h"), std::string::npos) << after;
    EXPECT_NE(after.find("\x1b[?25l"), std::string::npos) << after;
    EXPECT_NE(after.find("\x1b[31m"), std::string::npos) << after;
    EXPECT_TRUE(e2e::same_settings(session.settings_now(), session.settings_before()));
}

// Ctrl-C drops the line being typed; Ctrl-Z suspends and the prompt
// comes back; Ctrl-C on an empty line ends the run as q does.
TEST(MonitorTerminal, CtrlCCancelsTheLineThenLeaves) {
    if (!LINE_EDITING) GTEST_SKIP() << "built without libedit: Ctrl-C at the prompt ends the run";
    TempDir dir;
    dir.write("p.bin", e2e::twice_program());
    e2e::PtySession session(dir, {"--clean", "--monitor", "p.bin"});
    ASSERT_TRUE(session.wait_for_output("> "));
    type_line(session, "bd 9\x03");
    ASSERT_TRUE(session.wait_for_output("bd 9\r\n> ")) << session.output();
    type_line(session, "r\r");
    ASSERT_TRUE(session.wait_for_output("NV-BDIZC=00100100\r\n> ")) << session.output();
    EXPECT_EQ(session.output().find("no breakpoint"), std::string::npos) << "the cancelled line ran";
    type_line(session, "\x1a");
    const auto stop = session.next_event();
    ASSERT_TRUE(stop);
    ASSERT_TRUE(stop->stopped()) << "status " << stop->status;
    EXPECT_TRUE(e2e::same_settings(session.settings_now(), session.settings_before()));
    session.bring_to_foreground();
    session.send_signal(SIGCONT);
    type_line(session, "s\r");
    ASSERT_TRUE(session.wait_for_output("JSR $0210\r\n> ")) << session.output();
    type_line(session, "\x03");
    const auto end = session.wait_end();
    ASSERT_TRUE(end);
    EXPECT_TRUE(end->signaled() && end->signal() == SIGINT);
    EXPECT_FALSE(dir.exists("membackup"));
    EXPECT_TRUE(e2e::same_settings(session.settings_now(), session.settings_before()));
}

// Enter alone steps again, and goes on after m and d; a typed line with
// only spaces does the same, while other commands are not repeated.
TEST(MonitorTerminal, EnterRepeatsStepsAndGoesOnAfterMemory) {
    TempDir dir;
    dir.write("p.bin", e2e::twice_program());
    e2e::PtySession session(dir, {"--clean", "--monitor", "p.bin"});
    ASSERT_TRUE(session.wait_for_output("> "));
    type_line(session, "s\r");
    ASSERT_TRUE(session.wait_for_output("0202  20 10 02  JSR $0210\r\n> ")) << session.output();
    type_line(session, "\r");
    ASSERT_TRUE(session.wait_for_output("0210  A9 48     LDA #$48\r\n> ")) << session.output();
    type_line(session, "m 200 20f\r");
    ASSERT_TRUE(session.wait_for_output("0200  A2 00 20 10 02 E8 E0 02 D0 F8 4C 00 00 00 00 00  .. .......L.....\r\n> "))
        << session.output();
    type_line(session, "\r");
    ASSERT_TRUE(session.wait_for_output("0210  A9 48 8D 01 FF 60 EE EE")) << session.output();
    ASSERT_TRUE(session.wait_for_output("0280  EE")) << session.output();
    type_line(session, "d 210 212\r");
    ASSERT_TRUE(session.wait_for_output("0212  8D 01 FF  STA $FF01\r\n> ")) << session.output();
    type_line(session, "\r");
    ASSERT_TRUE(session.wait_for_output("0215  60        RTS\r\n")) << session.output();
    session.drain();  // the rest of the listing and its prompt
    type_line(session, "r\r");
    ASSERT_TRUE(session.wait_for_output("PC=0210")) << session.output();
    session.drain();
    const std::size_t before = session.output().size();
    type_line(session, "\r");
    ASSERT_TRUE(session.wait_for_output("> ")) << session.output();
    session.drain();
    EXPECT_EQ(session.output().find("PC=", before), std::string::npos) << "r was repeated";
    type_line(session, "x\r");
    const auto end = session.wait_end();
    ASSERT_TRUE(end);
    EXPECT_TRUE(end->exited() && end->exit_code() == 0);
}

// On the terminal in a deterministic run, Enter steps back again; the
// output stepped back over is not written a second time.
TEST(MonitorTerminal, EnterStepsBackAgainAndOutputIsWrittenOnce) {
    TempDir dir;
    dir.write("p.bin", e2e::twice_program());
    e2e::PtySession session(dir, {"--clean", "--deterministic", "--monitor", "p.bin"});
    ASSERT_TRUE(session.wait_for_output("> "));
    type_line(session, "s 4\r");
    ASSERT_TRUE(session.wait_for_output("0215  60        RTS\r\n> ")) << session.output();
    type_line(session, "back\r");
    ASSERT_TRUE(session.wait_for_output("0212  8D 01 FF  STA $FF01\r\n> ")) << session.output();
    type_line(session, "\r");
    ASSERT_TRUE(session.wait_for_output("0210  A9 48     LDA #$48\r\n> ")) << session.output();
    type_line(session, "c\r");
    const auto end = session.wait_end();
    ASSERT_TRUE(end);
    EXPECT_TRUE(end->exited() && end->exit_code() == 0);
    const std::string& out = session.output();
    EXPECT_EQ(std::count(out.begin(), out.end(), 'H'), 2) << out;
}

// Lines typed in one session come back with the up arrow in the next.
TEST(MonitorTerminal, LineHistoryKeptBetweenSessions) {
    if (!LINE_EDITING) GTEST_SKIP() << "built without libedit: no line history";
    TempDir dir;
    dir.write("p.bin", e2e::twice_program());
    {
        e2e::PtySession session(dir, {"--clean", "--monitor", "p.bin"});
        ASSERT_TRUE(session.wait_for_output("> "));
        type_line(session, "? 6*7\r");
        ASSERT_TRUE(session.wait_for_output("$2A  42  %00101010  '*'\r\n> ")) << session.output();
        type_line(session, "x\r");
        ASSERT_TRUE(session.wait_end());
    }
    ASSERT_TRUE(dir.exists(".emu6502_history"));
    e2e::PtySession session(dir, {"--clean", "--monitor", "p.bin"});
    ASSERT_TRUE(session.wait_for_output("> "));
    type_line(session, "\x1b[A\x1b[A\r");  // x, then ? 6*7
    ASSERT_TRUE(session.wait_for_output("$2A  42  %00101010  '*'\r\n> ")) << session.output();
    type_line(session, "x\r");
    const auto end = session.wait_end();
    ASSERT_TRUE(end);
    EXPECT_TRUE(end->exited() && end->exit_code() == 0);
}

TEST(MonitorTerminal, WithoutTheMonitorCtrlBracketIsTheProgramsKey) {
    TempDir dir;
    dir.write("p.bin", KEY_PROGRAM);
    e2e::PtySession session(dir, {"--clean", "p.bin"});
    ASSERT_TRUE(session.wait_for_output("R"));
    session.type("\x1d");
    const auto end = session.wait_end();
    ASSERT_TRUE(end);
    EXPECT_TRUE(end->exited() && end->exit_code() == 0);
    EXPECT_EQ(session.output(), "R\x1d");
}

}  // namespace
