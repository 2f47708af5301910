// Device actions behind the address map. Each device file owns its state.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

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
struct KeyboardIdle {
    unsigned empty_reads = 0;  // in a row, with nothing else between
    bool waiting = false;      // the program waits: reads may sleep
};
extern KeyboardIdle keyboard_idle;
// Inline: every console byte passes here.
inline void console_activity() { keyboard_idle = {}; }
// Where KBD_IN takes its keys once standard input does not serve: the
// terminal, nowhere (a deterministic run: every read gives 0), or a script
// of keys armed for one instruction at a time (a replay).
enum class KeySource { terminal, none, script };
void console_key_source(KeySource source);
struct ScriptedKey {
    std::uint64_t instruction;  // instructions completed before the one that reads it
    u8 key;                     // never 0
};
// The keys that the next KBD_IN reads deliver, in order, until
// console_script_keys is called again; reads beyond them give 0.
void console_script_keys(std::span<const ScriptedKey> keys);
[[nodiscard]] std::size_t console_script_left();  // armed keys not read yet
[[nodiscard]] std::uint64_t console_script_reads();  // KBD_IN reads from the script so far, keys or not
// Shown every key (never 0) that a KBD_IN read delivers; nullptr for none.
using KeyObserver = void (*)(u8 key);
void console_observe_keys(KeyObserver observer);
void random_seed(std::uint64_t seed);
[[nodiscard]] u8 random_read();
[[nodiscard]] u8 rtc_read(u16 address);
// From now on the clock registers read this second of the zone-less
// calendar (seconds since 1970-01-01T00:00:00) instead of the local time.
void rtc_set_virtual_time(std::int64_t seconds);

// Steps backwards (device_state.cpp): what the devices hold that a
// deterministic run's next instructions depend on, taken and given back
// whole. Standard input is kept as it is read, so that a run taken back
// reads the same bytes again; output already written is not unwritten.
struct ConsoleState {
    bool stdin_input = false;
    std::size_t input_read = 0;  // bytes of the kept standard input read so far
    std::uint64_t script_reads = 0;
};
struct DeviceState {
    std::uint64_t random = 0;
    std::int64_t calendar = 0;  // the virtual clock's second
    ConsoleState console;
};
[[nodiscard]] DeviceState device_state();
void device_state_restore(const DeviceState& state);
[[nodiscard]] ConsoleState console_state();
void console_state_restore(const ConsoleState& state);
[[nodiscard]] std::uint64_t random_state();
void random_state_restore(std::uint64_t state);
[[nodiscard]] std::int64_t rtc_virtual_time();
// From now on standard input's bytes are kept as they are read (up to
// `capacity`; past it the kept bytes start again from there, which counts
// as a use of the world outside, below).
void console_keep_input(std::size_t capacity);
// Uses of the world outside the machine so far, which no run taken back
// can repeat: standard input read but not kept, data file accesses.
[[nodiscard]] std::uint64_t console_unkept_input();
[[nodiscard]] std::uint64_t data_file_uses();
// While muted, CON_OUT's bytes are not written: a run taken back goes over
// output that was already written once.
void console_mute(bool muted);
// While capturing, CON_OUT's bytes go into `into` instead (the test runner
// compares them), up to the capacity it was given beforehand: the run never
// allocates. nullptr ends the capture.
void console_capture(std::vector<u8>* into);

// Data file channel (data_file.cpp).
void data_file_init();
[[nodiscard]] u8 file_read();
void file_write(u8 value);
void file_select_write(u8 number);
// Closes the open file and yields its status; false when no file is open,
// in which case the read is an ordinary memory read.
[[nodiscard]] bool file_select_read(u8& status);
// Closes whatever is open; used when the run ends or is interrupted.
// `error` is 0 when every byte written reached the file (or none was
// open), else the errno of the first failure, with the file's name.
struct DataFileClose {
    int error = 0;
    const char* name = "";
};
[[nodiscard]] DataFileClose data_file_close();
