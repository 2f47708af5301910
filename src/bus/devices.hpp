// Device actions behind the address map. Each device file owns its state.
#pragma once

#include "bus/bus.hpp"

// Console, random and clock (console.cpp, random.cpp, clock.cpp).
extern bool stdin_input;  // KBD_IN reads standard input until it ends
void console_init(bool from_stdin);
[[nodiscard]] u8 kbd_in_read();
void con_out_write(u8 value);
// A program that keeps reading KBD_IN empty and does nothing else may sleep
// until a key or the next timer tick; not under an instruction limit, whose
// runs must end as fast as ever. Any other device access shows it is busy.
void console_idle_wait(bool allowed);
void console_activity();
void random_seed(unsigned seed);
[[nodiscard]] u8 random_read();
[[nodiscard]] u8 rtc_read(u16 address);

// Data file channel (data_file.cpp).
void data_file_init();
[[nodiscard]] u8 file_read();
void file_write(u8 value);
void file_select_write(u8 number);
// Closes the open file and yields its status; false when no file is open,
// in which case the read is an ordinary memory read.
[[nodiscard]] bool file_select_read(u8& status);
// Closes whatever is open; used when the run ends or is interrupted.
void data_file_close();
