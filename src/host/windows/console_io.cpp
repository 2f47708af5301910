// Standard input and output of the machine's console; the streams are in
// binary mode from start-up, so bytes pass untranslated.
//
// To the console, every byte is written at once, with the console's
// virtual-terminal mode switched on so that escape sequences work, and the
// sequences are followed so that the console can be left as the program
// found it. To a file or a pipe, bytes are gathered in a fixed buffer,
// emptied before a line on standard error, when the program waits for
// input, at every timer tick and at every end of the run.
#include <io.h>
#include <windows.h>

#include <cerrno>
#include <csignal>
#include <cstring>

#include "host/terminal.hpp"
#include "host/terminal_modes.hpp"

namespace {
enum class Output { direct, buffered, console };
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
DWORD saved_mode = 0;
bool mode_changed = false;

// Returns how many bytes are gone: written, or dropped after a failure.
std::size_t write_out(const std::uint8_t* data, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const int n = _write(1, data + done, static_cast<unsigned>(size - done));
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        const int error = n < 0 ? errno : EIO;
        // Nobody reads any more: end the run as a pipeline stage would.
        if (error == EPIPE || error == EINVAL) host_request_stop(SIGTERM);
        else if (error != EBADF && output_error == 0) output_error = error;
        return size;
    }
    return done;
}
}  // namespace

void host_console_write(std::uint8_t value) {
    switch (output) {
    case Output::buffered:
        if (output_used == OUTPUT_SIZE) host_console_flush();
        output_buffer[output_used++] = value;
        return;
    case Output::console:
        write_out(&value, 1);
        modes.feed(value);
        return;
    case Output::direct: write_out(&value, 1); return;
    }
}

void host_console_flush() {
    if (output_used == 0) return;
    write_out(output_buffer, output_used);
    output_used = 0;
}

void host_console_close() {
    host_console_flush();
    if (output == Output::console) {
        char undo[TerminalModes::UNDO_ROOM];
        const std::size_t size = modes.undo(undo);
        if (size > 0) write_out(reinterpret_cast<const std::uint8_t*>(undo), size);
        modes.clear();
    }
    if (mode_changed) {
        SetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), saved_mode);
        mode_changed = false;
    }
}

int host_console_error() { return output_error; }

int host_stdin_read() {
    if (input_next < input_end) return input_buffer[input_next++];
    host_console_flush();  // the program waits for input: show what it printed
    const int n = _read(0, input_buffer, sizeof input_buffer);
    if (n <= 0) return -1;
    input_end = static_cast<std::size_t>(n);
    input_next = 1;
    return input_buffer[0];
}

void host_enable_virtual_terminal() {
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (!GetConsoleMode(out, &mode)) {
        output = Output::buffered;  // a file or a pipe
        return;
    }
    output = Output::console;
    if (SetConsoleMode(out, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING)) {
        saved_mode = mode;
        mode_changed = true;
    }
}
