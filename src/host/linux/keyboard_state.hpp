// Between the keyboard and the signal handlers: all are async-signal-safe.
#pragma once

#include <cstddef>

void keyboard_enter_key_mode();
void keyboard_leave_key_mode();
void keyboard_discard_input();  // keys and answers nobody read, when the terminal is ours

// Between the console output and the signal handlers, async-signal-safe too,
// as are the console_leave/enter_program_modes() of host/console_stream.hpp.
[[nodiscard]] bool console_query_sent();
[[nodiscard]] bool console_program_modes_shown();  // false while they are undone for the shell

// Console bytes dropped after a stop signal because nobody took them.
[[nodiscard]] std::size_t console_dropped_after_stop();
