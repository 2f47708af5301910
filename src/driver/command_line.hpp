// emu6502 [options] [image [$address] [-i]]
//
// The positional form is the machine's own and keeps every quirk: the
// first argument that is not an option is the image (even "-i" or "$..."),
// a "$" address after it is scanned as "%4x", and "-i" switches the
// keyboard to standard input. The address and "-i" may follow the image in
// either order; anything else there is ignored with a warning. Long options
// ("--word") are recognised anywhere before "--"; "-h" only before the image.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/text.hpp"
#include "engine/run_options.hpp"

struct CommandLine : RunOptions {
    bool help = false;
    bool version = false;
    std::vector<std::string> warnings;  // lines for standard error, without newline
    std::string error;                  // a bad option: the message, without newline
};

[[nodiscard]] CommandLine parse_command_line(int argc, char** argv);

// The text after "$", scanned as "%4x" does: white space skipped, an
// optional sign and 0x prefix, four characters at most; nothing scanned
// leaves the default. `whole` (when given) tells whether the scan used
// all of the text.
[[nodiscard]] std::optional<long> scan_load_address(const char* text, bool* whole = nullptr);

[[nodiscard]] const char* usage_text();

// --check, --check-off, --check-suppress, --protect or --coverage at
// argv[i], read into `line` as a run reads them (a fault in line.error);
// false when argv[i] is none of them. `emu6502 test` takes them too.
[[nodiscard]] bool parse_inspection_option(int argc, char** argv, int& i, CommandLine& line);

// Exit statuses beyond 0 (normal end) and 1 (the run could not start or
// its memory could not be saved).
inline constexpr int EXIT_BAD_OPTION = 2;
inline constexpr int EXIT_INSTRUCTION_LIMIT = 3;
inline constexpr int EXIT_HALTED = 4;  // JAM or STP
inline constexpr int EXIT_CHECK_FAULTS = 5;  // --check reported a fault; memory was saved as usual
