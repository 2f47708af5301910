// The monitor's own terminal: lines typed with editing and history, and text
// shown, on the controlling terminal (the console), whatever the program's
// standard streams are; and the key that calls the monitor while the program
// runs.
#pragma once

#include <optional>
#include <string>

// False when there is no terminal to talk on.
[[nodiscard]] bool monitor_terminal_open();
void monitor_terminal_close();  // idempotent
// One line typed after `prompt`, without its line end; nullopt at the end of
// input (Ctrl-D) or when a signal asks the run to stop. The keyboard is in
// line mode while the line is typed and back in key mode afterwards.
[[nodiscard]] std::optional<std::string> monitor_terminal_read_line(const char* prompt);
void monitor_terminal_write(const char* text);  // "\n" ends a line
// How typed lines are edited, in a few words for --version.
[[nodiscard]] const char* monitor_line_editing();

// While the monitor talks, the terminal is as it was before the run (the
// program's colours, alternate screen, hidden cursor and other modes
// undone), and the monitor starts on a new line when the program left the
// cursor mid-line; given back, the program's modes are set again. Both
// are idempotent.
void monitor_console_take();
void monitor_console_give_back();

// The monitor's key, Ctrl-], is kept from the program while enabled.
inline constexpr int MONITOR_KEY = 0x1D;
void host_monitor_key_enable(bool enabled);
// Whether the key has been typed since the last call; looks at the keyboard
// without waiting, and leaves any other key for the program.
[[nodiscard]] bool host_monitor_key_pressed();
