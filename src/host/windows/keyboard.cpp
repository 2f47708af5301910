// The keyboard is the console's: _kbhit never waits, _getch delivers a
// key unechoed, and a key the console reports as two codes (arrows,
// function keys: 0 or 0xE0, then the scan code) arrives one code per read.
// Both read the console itself (CONIN$), whatever standard input is.
#include <conio.h>
#include <windows.h>

#include "host/clock.hpp"
#include "host/monitor_terminal.hpp"
#include "host/terminal.hpp"

std::uint32_t host_clock_polls = 0;

namespace {
std::int64_t next_tick_ms = 0;  // 0: no tick reported yet
HANDLE console_input = INVALID_HANDLE_VALUE;
bool monitor_key_enabled = false;
bool monitor_key_seen = false;
}  // namespace

void keyboard_open() {
    console_input = CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
}

void keyboard_close() {
    host_console_close();
    if (console_input == INVALID_HANDLE_VALUE) return;
    // Keys typed for the program are not the shell's.
    FlushConsoleInputBuffer(console_input);
    CloseHandle(console_input);
    console_input = INVALID_HANDLE_VALUE;
}

bool host_key_waiting() {
    if (_kbhit() == 0) return false;
    if (!monitor_key_enabled) return true;
    const int code = _getch();
    if (code == MONITOR_KEY) {
        monitor_key_seen = true;
        return _kbhit() != 0;
    }
    _ungetch(code);
    return true;
}

int host_key_read() { return host_key_waiting() ? _getch() : 0; }

void host_timer_tick(std::int64_t next_deadline_ms) {
    next_tick_ms = next_deadline_ms;
    host_console_flush();
}

void host_key_wait() {
    if (next_tick_ms == 0 || host_stop_signal() != 0) return;
    const std::int64_t left = next_tick_ms - host_clock_ms();
    if (left <= 0) return;
    // The console's input handle is signalled by any input event (mouse,
    // focus, a key release); then the program polls again, which is cheap.
    if (console_input != INVALID_HANDLE_VALUE) WaitForSingleObject(console_input, static_cast<DWORD>(left));
    else Sleep(static_cast<DWORD>(left));
}

void host_monitor_key_enable(bool enabled) { monitor_key_enabled = enabled; }

bool host_monitor_key_pressed() {
    (void)host_key_waiting();
    const bool seen = monitor_key_seen;
    monitor_key_seen = false;
    return seen;
}
