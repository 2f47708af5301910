// To a file or a pipe, console bytes are gathered in a fixed buffer: one
// write per byte made 10 MB of output take seconds. The buffer is emptied
// whenever someone may be looking: before a line on standard error, when
// the program waits for input, at every timer tick, and at every end of
// the run. To a terminal, every byte is written at once, as the program
// expects, and its modes are followed so that the monitor can talk on the
// terminal as it was before the run.
#include "host/console_stream.hpp"

#include <cstring>

#include "host/monitor_terminal.hpp"
#include "host/terminal.hpp"

namespace {
ConsoleOutput output = ConsoleOutput::direct;  // until the host has looked
bool monitor_has_console = false;

constexpr std::size_t OUTPUT_SIZE = 16384;
std::uint8_t output_buffer[OUTPUT_SIZE];
std::size_t output_used = 0;
int output_error = 0;

constexpr std::size_t INPUT_SIZE = 4096;
std::uint8_t input_buffer[INPUT_SIZE];
std::size_t input_next = 0;
std::size_t input_end = 0;

TerminalModes modes;
}  // namespace

void console_set_output(ConsoleOutput kind) { output = kind; }
ConsoleOutput console_output() { return output; }
TerminalModes& console_modes() { return modes; }

void console_output_failed(int error) {
    if (output_error == 0) output_error = error;
}

int host_console_error() { return output_error; }

namespace {
// Every byte that does not simply go into the buffer.
[[gnu::noinline]] void console_write_slowly(std::uint8_t value) {
    switch (output) {
    case ConsoleOutput::buffered:
        host_console_flush();
        if (output_used == OUTPUT_SIZE) return;  // the run is being stopped
        output_buffer[output_used++] = value;
        return;
    case ConsoleOutput::terminal:
        console_write_raw(&value, 1);
        // After the write: a suspend in between finds the sequence still
        // open and cancels it before its own bytes.
        modes.feed(value);
        return;
    case ConsoleOutput::direct: console_write_raw(&value, 1); return;
    }
}
}  // namespace

// A program printing a lot spends most of its output here: the common case
// is a store into the buffer, with no frame to build.
void host_console_write(std::uint8_t value) {
    if (output == ConsoleOutput::buffered && output_used < OUTPUT_SIZE) [[likely]] {
        output_buffer[output_used++] = value;
        return;
    }
    console_write_slowly(value);
}

void host_console_flush() {
    if (output_used == 0) return;
    const std::size_t done = console_write_raw(output_buffer, output_used);
    if (done < output_used) std::memmove(output_buffer, output_buffer + done, output_used - done);
    output_used -= done;
}

bool console_undo_modes() {
    char undo[TerminalModes::UNDO_ROOM];
    const std::size_t size = modes.undo(undo);
    if (size > 0) console_write_raw(reinterpret_cast<const std::uint8_t*>(undo), size);
    return size > 0;
}

void console_redo_modes() {
    char redo[TerminalModes::UNDO_ROOM];
    const std::size_t size = modes.redo(redo);
    if (size > 0) console_write_raw(reinterpret_cast<const std::uint8_t*>(redo), size);
}

void monitor_console_take() {
    if (monitor_has_console) return;
    monitor_has_console = true;
    host_console_flush();
    console_leave_program_modes();
    if (output == ConsoleOutput::terminal && modes.mid_line()) {
        const std::uint8_t line_end = '\n';
        (void)console_write_raw(&line_end, 1);
        modes.line_ended();
    }
}

void monitor_console_give_back() {
    if (!monitor_has_console) return;
    monitor_has_console = false;
    console_enter_program_modes();
}

int host_stdin_read() {
    if (input_next < input_end) return input_buffer[input_next++];
    host_console_flush();  // the program waits for input: show what it printed
    const long n = console_read_raw(input_buffer, sizeof input_buffer);
    if (n <= 0) return -1;
    input_end = static_cast<std::size_t>(n);
    input_next = 1;
    return input_buffer[0];
}
