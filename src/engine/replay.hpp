// Replay files: the keys a recorded run read and the options that shaped
// it, as text, one item a line:
//
//   emu6502 replay 1              always the first line
//   seed N                        RANDOM's seed
//   time YYYY-MM-DDTHH:MM:SS      the clock's start
//   cpu NAME                      the processor: 6502, 6502X or 65C02
//   memory HEX                    a fingerprint of the memory the run started
//                                 from (16 hexadecimal digits)
//   key N CODE                    a KBD_IN read delivered CODE (1-255) after
//                                 N instructions of the run
//   end N HOW                     the run ended after N instructions; HOW is
//                                 "program" (it ended itself) or "stopped"
//
// Blank lines and lines starting with '#' are ignored, as is a carriage
// return before the line feed. seed, time and memory come once each, before
// the keys. Keys come in the order they were read: the counts never
// decrease (one instruction may read two keys). seed, time and cpu default
// to 1, 2000-01-01T00:00:00 and 6502; without a memory line, any memory
// will do; without an end line, a replay runs until the program ends.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "bus/devices.hpp"
#include "cpu/chip.hpp"

inline constexpr std::uint64_t DEFAULT_SEED = 1;
inline constexpr std::int64_t DEFAULT_START_TIME = 946684800;  // 2000-01-01T00:00:00

struct RecordedEnd {
    std::uint64_t instructions = 0;
    bool program_ended = false;  // else the run was stopped: a signal, the instruction limit
    unsigned line = 0;
};

struct ReplayScript {
    std::uint64_t seed = DEFAULT_SEED;
    std::int64_t start_time = DEFAULT_START_TIME;
    Chip chip = Chip::m6502;
    std::optional<std::uint64_t> memory_fingerprint;
    unsigned memory_line = 0;
    std::vector<ScriptedKey> keys;
    std::vector<unsigned> key_lines;  // the line of each key, for messages
    std::optional<RecordedEnd> end;
};

// Parses a replay file's text into `script`. On an error, the message
// ("line L: what", without a full stop) and nothing else is set.
[[nodiscard]] std::string parse_replay(std::string_view text, ReplayScript& script);

// Reads and parses the file: an empty string, or the whole message for
// standard error (without newline).
[[nodiscard]] std::string load_replay(const char* path, ReplayScript& script);

// FNV-1a of the whole of memory: the same on every host.
[[nodiscard]] std::uint64_t memory_fingerprint();

// Whether a file that begins with `start` may be replaced by a recording:
// no file (nullopt), or one that is a recording already.
[[nodiscard]] bool is_recording(const std::optional<std::string>& start);

// Recording. record_open writes the header at once and returns an empty
// string, or the message for standard error; the key lines reach the file
// as they come. record_end writes the end line and closes the file; it
// returns the message if any of it could not be written.
[[nodiscard]] std::string record_open(const char* path, std::uint64_t seed, std::int64_t start_time, Chip chip,
                                      std::uint64_t memory_fingerprint);
void record_key(std::uint64_t instruction, std::uint8_t key);
[[nodiscard]] std::string record_end(std::uint64_t instructions, bool program_ended);
