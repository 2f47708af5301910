// Host services the machine's console devices rely on: a keyboard that
// never blocks, unechoed keys one code at a time, byte output to the
// terminal, and the signals that must leave the terminal as we found it.
#pragma once

#include <cstdint>

// Keyboard: the controlling terminal, whatever standard input is.
void keyboard_open();           // opens /dev/tty and switches it to key-at-a-time mode
void keyboard_close();          // restores the settings found at open; idempotent
[[nodiscard]] bool host_key_waiting();  // never blocks
[[nodiscard]] int host_key_read();      // the waiting key's code; call after host_key_waiting()

// Standard streams.
[[nodiscard]] int host_stdin_read();    // next byte of standard input, or -1 at its end
void host_console_write(std::uint8_t value);  // one byte to standard output, at once
void host_enable_virtual_terminal();    // the console's escape-sequence mode
void host_restore_console();            // the mode found before; idempotent

// Signals: Ctrl-C, Ctrl-\ (SIGQUIT), SIGTERM and SIGHUP ask the run to stop between two
// instructions; Ctrl-Z hands the terminal back while the job is suspended.
void signals_install();
[[nodiscard]] int host_stop_signal();   // the signal that asked to stop, or 0
void host_request_stop(int signal_number);  // stop as if that signal had arrived
[[noreturn]] void host_die_by_signal(int signal_number);
