// Standard input and output of the machine's console on Windows; the
// streams are in binary mode from start-up, so bytes pass untranslated.
// Escape sequences work because the console's virtual-terminal mode is
// switched on while the machine runs; the old mode comes back at the end.
#include <io.h>
#include <windows.h>

#include <cerrno>
#include <csignal>

#include "host/console_stream.hpp"
#include "host/terminal.hpp"

namespace {
DWORD saved_mode = 0;
bool mode_changed = false;
}  // namespace

std::size_t console_write_raw(const std::uint8_t* data, std::size_t size) {
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
        else if (error != EBADF) console_output_failed(error);
        return size;
    }
    return done;
}

long console_read_raw(std::uint8_t* into, std::size_t size) { return _read(0, into, static_cast<unsigned>(size)); }

void host_console_close() {
    host_console_flush();
    if (console_output() == ConsoleOutput::terminal) {
        console_undo_modes();
        console_modes().clear();
    }
    if (mode_changed) {
        SetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), saved_mode);
        mode_changed = false;
    }
}

void host_enable_virtual_terminal() {
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (!GetConsoleMode(out, &mode)) {
        console_set_output(ConsoleOutput::buffered);  // a file or a pipe
        return;
    }
    console_set_output(ConsoleOutput::terminal);
    if (SetConsoleMode(out, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING)) {
        saved_mode = mode;
        mode_changed = true;
    }
}

bool host_stdin_is_terminal() { return _isatty(0) != 0; }
