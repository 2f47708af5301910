// Standard input and output of the machine's console on Windows; the
// streams are in binary mode from start-up, so bytes pass untranslated.
// Escape sequences work because the console's virtual-terminal mode is
// switched on while the machine runs, and text in UTF-8 because the output
// code page is UTF-8 meanwhile; the old mode and code page come back at the
// end (the console is the shell's too).
#include <io.h>
#include <windows.h>

#include <cerrno>
#include <csignal>

#include "host/console_stream.hpp"
#include "host/terminal.hpp"
#include "host/utf8.hpp"

namespace {
DWORD saved_mode = 0;
bool mode_changed = false;
UINT saved_code_page = 0;  // while the console's output code page is UTF-8
bool modes_undone = false;  // while the monitor talks

std::size_t write_bytes(const std::uint8_t* data, std::size_t size) {
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

// The start of a character split between two writes, kept for the next.
std::uint8_t pending[4];
std::size_t pending_size = 0;

void write_pending() {
    if (pending_size > 0) write_bytes(pending, pending_size);
    pending_size = 0;
}
}  // namespace

std::size_t console_write_raw(const std::uint8_t* data, std::size_t size) {
    if (console_output() != ConsoleOutput::terminal) return write_bytes(data, size);
    // The console decodes each write on its own, and the machine prints a
    // byte at a time: a character goes out when it is whole.
    std::size_t used = 0;
    while (pending_size > 0 && used < size && (data[used] & 0xC0) == 0x80 &&
           utf8_whole_prefix(pending, pending_size) < pending_size)
        pending[pending_size++] = data[used++];
    // Whole now, or cut short by a byte that does not continue it.
    if (utf8_whole_prefix(pending, pending_size) == pending_size || used < size) write_pending();
    const std::size_t whole = used + utf8_whole_prefix(data + used, size - used);
    write_bytes(data + used, whole - used);
    for (std::size_t i = whole; i < size; ++i) pending[pending_size++] = data[i];
    return size;
}

long console_read_raw(std::uint8_t* into, std::size_t size) { return _read(0, into, static_cast<unsigned>(size)); }

void host_console_close() {
    host_console_flush();
    write_pending();
    if (console_output() == ConsoleOutput::terminal) {
        console_undo_modes();
        console_modes().clear();
    }
    if (mode_changed) {
        SetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), saved_mode);
        mode_changed = false;
    }
    if (saved_code_page != 0) {
        SetConsoleOutputCP(saved_code_page);
        saved_code_page = 0;
    }
}

// No job control here: the program's modes are undone only while the
// monitor talks.
void console_leave_program_modes() {
    if (console_output() != ConsoleOutput::terminal || modes_undone) return;
    modes_undone = console_undo_modes();
}

void console_enter_program_modes() {
    if (!modes_undone) return;
    modes_undone = false;
    console_redo_modes();
}

void host_enable_virtual_terminal() {
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (!GetConsoleMode(out, &mode)) {
        console_set_output(ConsoleOutput::buffered);  // a file or a pipe
        return;
    }
    console_set_output(ConsoleOutput::terminal);
    // Programs write UTF-8, as terminals on other hosts read it.
    const UINT code_page = GetConsoleOutputCP();
    if (code_page != 0 && code_page != CP_UTF8 && SetConsoleOutputCP(CP_UTF8)) saved_code_page = code_page;
    if (SetConsoleMode(out, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING)) {
        saved_mode = mode;
        mode_changed = true;
    }
}

bool host_stdin_is_terminal() { return _isatty(0) != 0; }
