// What a run is asked to do: the image, the options that shape the
// machine and the tools that watch it. The command line fills it, and so
// does the debug adapter's launch request; the engine reads it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "cpu/chip.hpp"

struct RunOptions {
    const char* image_path = nullptr;
    long load_address = 0x0200;  // may come out negative from the scan
    bool stdin_input = false;

    bool stats = false;                               // totals on standard error at the end
    bool trace = false;                               // trace every instruction, whatever 0xFF03 holds
    bool clean = false;                               // fresh machine; "membackup" neither read nor written
    bool exit_status = false;                         // a normal end exits with the value of A
    std::optional<std::uint64_t> max_instructions;    // stop the run after this many instructions
    std::optional<std::uint16_t> start;               // pc after reset, instead of the reset vector
    bool monitor = false;                             // stop in the monitor before the first instruction
    bool dap = false;                                 // speak the Debug Adapter Protocol on standard input and output
    const char* commands = nullptr;                   // monitor commands from this file
    const char* labels = nullptr;                     // labels for the monitor (ld65 -Ln format)
    const char* debug_info = nullptr;                 // the linker's debug file (ld65 --dbgfile)
    const char* profile = nullptr;                    // per-address counts and cycles to this file
    Chip chip = Chip::m6502;                          // the processor
    bool translate = false;                           // --core translate: translated code where no tool watches
    bool chip_given = false;                          // --cpu was given
    bool deterministic = false;                       // cycle timer, virtual clock, seeded RANDOM, no terminal keys
    std::optional<std::int64_t> start_time;           // the virtual clock's start, calendar seconds
    std::optional<std::uint64_t> seed;                // RANDOM's seed
    const char* record_path = nullptr;                // keys and options written here
    const char* replay_path = nullptr;                // keys and options read from here
    bool check = false;                               // the checks for the 6502's typical faults
    const char* check_off = nullptr;                  // the checks not made, by name, comma-separated
    const char* check_suppress = nullptr;             // reports not made, from this file
    const char* protect = nullptr;                    // ranges the checks hold read-only
    const char* coverage = nullptr;                   // LCOV tracefile of the lines and branches run
    const char* profile_format = nullptr;             // --profile's format by name

};

// YYYY-MM-DDTHH:MM:SS, a real date and time of the zone-less calendar, as
// seconds since 1970-01-01T00:00:00; and back.
[[nodiscard]] std::optional<std::int64_t> parse_time_option(const char* text);
[[nodiscard]] std::string format_time_option(std::int64_t seconds);
// The year register holds the year less 2000 in one byte: 2000 to 2255.
[[nodiscard]] bool year_register_holds(std::int64_t seconds);
inline constexpr const char* YEAR_RANGE_ERROR = "--time needs a year from 2000 to 2255, which the year register can hold";

// A processor's name as --cpu takes it (6502, 6502X, 65C02; either case).
[[nodiscard]] std::optional<Chip> parse_chip_name(const char* name);
