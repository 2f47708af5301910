// The console's streams as every host has them: output written at once to a
// terminal (whose modes are followed so they can be undone) and gathered in
// a fixed buffer for a file or a pipe; input read in chunks. Each platform
// supplies the raw reads and writes below and decides where output goes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "host/terminal_modes.hpp"

// Provided by the platform.
// Writes as much as it can; returns how many bytes are gone (written, or
// dropped after a failure, which it reports to console_output_failed).
std::size_t console_write_raw(const std::uint8_t* data, std::size_t size);
// Reads up to `size` bytes; returns the count, 0 at the end, -1 on failure.
long console_read_raw(std::uint8_t* into, std::size_t size);
// The terminal as the program found it (its modes undone), and as the
// program had made it (set again); each does nothing when it is so already
// or output is not a terminal. Safe in a signal handler where there are any.
void console_leave_program_modes();
void console_enter_program_modes();

// Shared.
enum class ConsoleOutput { direct, buffered, terminal };
void console_set_output(ConsoleOutput kind);
[[nodiscard]] ConsoleOutput console_output();
// A write failed for good (not a broken pipe): remembered for the end.
void console_output_failed(int error);
// What the program has changed on its terminal.
[[nodiscard]] TerminalModes& console_modes();
// Writes the bytes that undo the program's modes; true if there were any.
bool console_undo_modes();
// Writes the bytes that set them again.
void console_redo_modes();
