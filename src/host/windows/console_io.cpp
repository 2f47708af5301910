// Standard input and output, byte by byte and untranslated (the streams are
// in binary mode from start-up): what the program prints must reach the
// console before the next instruction runs.
#include <io.h>
#include <windows.h>

#include <cerrno>
#include <csignal>

#include "host/terminal.hpp"

namespace {
DWORD saved_mode = 0;
bool mode_changed = false;
}  // namespace

int host_stdin_read() {
    unsigned char byte = 0;
    return _read(0, &byte, 1) == 1 ? byte : -1;
}

void host_console_write(std::uint8_t value) {
    if (_write(1, &value, 1) == 1) return;
    // Nobody reads any more: end the run as a pipeline stage would.
    if (errno == EPIPE) host_request_stop(SIGTERM);
}

void host_enable_virtual_terminal() {
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (!GetConsoleMode(out, &mode)) return;  // not a console: bytes go as they are
    if (SetConsoleMode(out, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING)) {
        saved_mode = mode;
        mode_changed = true;
    }
}

void host_restore_console() {
    if (!mode_changed) return;
    SetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), saved_mode);
    mode_changed = false;
}
