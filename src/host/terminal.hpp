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
// Sleeps until a key may be waiting or the timer's next tick is due, whichever
// comes first; returns at once when no tick is known yet or it is already due.
void host_key_wait();

// The run loop reports each timer tick with the deadline of the next one,
// and counts its clock polls (one per 128 instructions or so) in
// host_clock_polls: the keyboard measures a polling loop's pace by it.
void host_timer_tick(std::int64_t next_deadline_ms);  // also empties the console buffer
extern std::uint32_t host_clock_polls;

// Standard streams.
[[nodiscard]] int host_stdin_read();    // next byte of standard input, or -1 at its end
[[nodiscard]] bool host_stdin_is_terminal();
void host_enable_virtual_terminal();    // the console's set-up: is standard output a terminal?
// One byte to standard output: at once to a terminal, buffered otherwise.
// Never fails towards the program; see host_console_error().
void host_console_write(std::uint8_t value);
void host_console_flush();              // before anything else is shown: lines on standard error
// At every end of the run: empties the buffer and leaves the terminal's
// modes as the program found them. Idempotent.
void host_console_close();
[[nodiscard]] int host_console_error();  // errno of the first failed output (not a broken pipe), or 0

// Signals: Ctrl-C, Ctrl-\ (SIGQUIT), SIGTERM and SIGHUP ask the run to stop between two
// instructions; Ctrl-Z hands the terminal back while the job is suspended.
void signals_install();
[[nodiscard]] int host_stop_signal();   // the signal that asked to stop, or 0
void host_request_stop(int signal_number);  // stop as if that signal had arrived
[[noreturn]] void host_die_by_signal(int signal_number);
