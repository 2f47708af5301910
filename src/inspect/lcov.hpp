// LCOV's tracefile: per source file the lines with code and how often
// they ran (DA), the functions and their calls (FN, FNDA), and each
// conditional branch instruction taken and not taken (BRDA, branch 0 and
// 1). Read back to add the counts of another run of the same program, so
// that many runs give one report.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "debug/debug_info.hpp"
#include "inspect/coverage.hpp"

struct LcovFunction {
    std::uint32_t line = 0;
    std::uint64_t count = 0;
};

struct LcovFile {
    std::map<std::uint32_t, std::uint64_t> lines;
    std::map<std::string, LcovFunction> functions;
    // (line, block, branch): times, or none when the line never ran.
    std::map<std::tuple<std::uint32_t, std::uint32_t, std::uint32_t>, std::optional<std::uint64_t>> branches;
};

struct LcovReport {
    std::string test;                      // TN: the program's name and fingerprint
    std::map<std::string, LcovFile> files; // by path

    // LCOV's text.
    [[nodiscard]] std::string text() const;
    // Adds another report's counts.
    void add(const LcovReport& other);
};

// Reads a tracefile this program wrote: "" when sound, else one line
// saying what is wrong ("line 12: ...").
[[nodiscard]] std::string parse_lcov(std::string_view text, LcovReport& out);

// The report of `counts` through the debug information read from
// `debug_file`: the source files that can be found (as recorded, or
// beside the debug file), as absolute paths. `test` names the program.
[[nodiscard]] LcovReport lcov_report(const CoverageCounts& counts, const debug_info::DebugInfo& info,
                                     const std::string& debug_file, const std::string& test);

// The test name for a program image: "emu6502_" and a fingerprint of its
// bytes, so that another program's file is told apart.
[[nodiscard]] std::string lcov_test_name(std::string_view image_bytes);
