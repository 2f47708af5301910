// emu6502 [options] [image [$address | -i]]
//
// The positional form is the machine's own and keeps every quirk: a "$"
// address is scanned as "%4x", "-i" switches the keyboard to standard input,
// anything else in second place is ignored. Options come first, start with
// "--" (or are "-h"), and end at "--" or at the first other argument.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

struct CommandLine {
    const char* image_path = nullptr;
    long load_address = 0x0200;  // may come out negative from the scan
    bool stdin_input = false;

    // Options.
    bool help = false;
    bool version = false;
    bool stats = false;                               // totals on standard error at the end
    bool trace = false;                               // trace every instruction, whatever 0xFF03 holds
    bool clean = false;                               // fresh machine; "membackup" neither read nor written
    std::optional<std::uint64_t> max_instructions;    // stop the run after this many instructions
    std::string error;                                // a bad option: the message, without newline
};

[[nodiscard]] CommandLine parse_command_line(int argc, char** argv);

// The text after "$", scanned as "%4x" does: white space skipped, an
// optional sign and 0x prefix, four characters at most; nothing scanned
// leaves the default.
[[nodiscard]] std::optional<long> scan_load_address(const char* text);

[[nodiscard]] const char* usage_text();

// Exit statuses beyond 0 (normal end) and 1 (the run could not start or
// its memory could not be saved).
inline constexpr int EXIT_BAD_OPTION = 2;
inline constexpr int EXIT_INSTRUCTION_LIMIT = 3;
