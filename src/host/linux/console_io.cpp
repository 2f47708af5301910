// Standard input and output of the machine's console.
//
// To a terminal, every byte is written at once, as the program expects,
// and the escape sequences are followed so that the terminal can be left
// as the program found it. To a file or a pipe, bytes are gathered in a
// fixed buffer: one write per byte made 10 MB of output take seconds. The
// buffer is emptied whenever someone may be looking: before a line on
// standard error, when the program waits for input, at every timer tick,
// and at every end of the run.
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

#include "host/linux/keyboard_state.hpp"
#include "host/terminal.hpp"
#include "host/terminal_modes.hpp"

namespace {
enum class Output { direct, buffered, terminal };
Output output = Output::direct;  // until host_enable_virtual_terminal() has looked

constexpr std::size_t OUTPUT_SIZE = 16384;
std::uint8_t output_buffer[OUTPUT_SIZE];
std::size_t output_used = 0;
int output_error = 0;

constexpr std::size_t INPUT_SIZE = 4096;
std::uint8_t input_buffer[INPUT_SIZE];
std::size_t input_next = 0;
std::size_t input_end = 0;

TerminalModes modes;
// The terminal shows the program's modes (false while it is suspended).
volatile sig_atomic_t modes_applied = 1;

void note_failure(int error) {
    // Nobody reads any more (emu6502 prog | head): end the run as any
    // pipeline stage would, between two instructions, with the terminal
    // restored and the data file closed. A closed standard output is the
    // user's way of saying the output is not wanted. Anything else (a full
    // disk) is reported once the run is over; the machine runs on.
    if (error == EPIPE) host_request_stop(SIGPIPE);
    else if (error != EBADF && output_error == 0) output_error = error;
}

// Writes as much as it can and returns how many bytes are gone: written,
// or dropped after a failure. Stops early only when a signal has asked the
// run to stop, so that a reader that never reads cannot hold it.
std::size_t write_out(const std::uint8_t* data, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = write(STDOUT_FILENO, data + done, size - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            if (host_stop_signal() != 0) break;
            continue;
        }
        if (n < 0 && errno == EAGAIN) {  // a non-blocking descriptor shared with someone else
            pollfd writable{STDOUT_FILENO, POLLOUT, 0};
            if (poll(&writable, 1, -1) < 0 && host_stop_signal() != 0) break;
            continue;
        }
        note_failure(n < 0 ? errno : EIO);
        return size;
    }
    return done;
}
}  // namespace

void host_console_write(std::uint8_t value) {
    switch (output) {
    case Output::buffered:
        if (output_used == OUTPUT_SIZE) {
            host_console_flush();
            if (output_used == OUTPUT_SIZE) return;  // the run is being stopped
        }
        output_buffer[output_used++] = value;
        return;
    case Output::terminal:
        write_out(&value, 1);
        // After the write: a suspend in between finds the sequence still
        // open and cancels it before its own bytes.
        modes.feed(value);
        return;
    case Output::direct: write_out(&value, 1); return;
    }
}

void host_console_flush() {
    if (output_used == 0) return;
    const std::size_t done = write_out(output_buffer, output_used);
    if (done < output_used) std::memmove(output_buffer, output_buffer + done, output_used - done);
    output_used -= done;
}

void host_console_close() {
    host_console_flush();
    output_used = 0;
    if (output != Output::terminal) return;
    console_leave_program_modes();
    modes.clear();
}

int host_console_error() { return output_error; }

void console_leave_program_modes() {
    if (output != Output::terminal || !modes_applied) return;
    char undo[TerminalModes::UNDO_ROOM];
    const std::size_t size = modes.undo(undo);
    if (size > 0) write_out(reinterpret_cast<const std::uint8_t*>(undo), size);
    modes_applied = 0;
}

void console_enter_program_modes() {
    if (output != Output::terminal || modes_applied) return;
    // Only a job back in the foreground: "bg" leaves the terminal to the shell.
    if (tcgetpgrp(STDOUT_FILENO) != getpgrp()) return;
    char redo[TerminalModes::UNDO_ROOM];
    const std::size_t size = modes.redo(redo);
    if (size > 0) write_out(reinterpret_cast<const std::uint8_t*>(redo), size);
    modes_applied = 1;
}

bool console_query_sent() { return modes.query_sent(); }

int host_stdin_read() {
    if (input_next < input_end) return input_buffer[input_next++];
    host_console_flush();  // the program waits for input: show what it printed
    for (;;) {
        const ssize_t n = read(STDIN_FILENO, input_buffer, sizeof input_buffer);
        if (n > 0) {
            input_end = static_cast<std::size_t>(n);
            input_next = 1;
            return input_buffer[0];
        }
        if (n < 0 && errno == EINTR && host_stop_signal() == 0) continue;
        return -1;
    }
}

// Linux terminals interpret escape sequences already: only the choice
// between writing at once and buffering is left.
void host_enable_virtual_terminal() { output = isatty(STDOUT_FILENO) ? Output::terminal : Output::buffered; }
