// Source lines for the monitor's stops and its "list": the files that the
// debug information names, found beside it when their recorded names do
// not lead to them, and their lines made safe for a terminal.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "debug/debug_info.hpp"

// `line` with tabs expanded to stops of 8 and every control character
// (C0, DEL, C1, and bytes that are not UTF-8) as \xNN: a source file must
// not be able to drive the terminal.
[[nodiscard]] std::string printable_source_line(std::string_view line);

class SourceFiles {
public:
    // `debug_file` is the path of the debug file: recorded names that are
    // relative or no longer there are looked for beside it.
    SourceFiles(const debug_info::DebugInfo& info, std::string debug_file);

    // Line `line` (from 1) of file `file` (a debug information id),
    // printable; nullopt when the file cannot be found or is shorter.
    [[nodiscard]] std::optional<std::string> line(std::uint32_t file, std::uint32_t line);
    // The path the file was read from, or "" when it was not found.
    [[nodiscard]] std::string path(std::uint32_t file);
    // The file's size differs from the one recorded at the build: its
    // lines may no longer be the ones that made the code.
    [[nodiscard]] bool changed(std::uint32_t file);

    // "list": the lines from `line - before` to `line + after` that
    // exist, each " NNNNN  text" (just the number for an empty line),
    // the one at `line` marked with '>' instead of the space.
    [[nodiscard]] std::vector<std::string> listing(std::uint32_t file, std::uint32_t line, std::uint32_t before = 5,
                                                   std::uint32_t after = 5);
    // The lines `first` to `last` that exist, as listing shows them, the
    // one at `mark` (if among them) marked.
    [[nodiscard]] std::vector<std::string> listing_range(std::uint32_t file, std::uint32_t first, std::uint32_t last,
                                                         std::uint32_t mark);
    // How many lines the file has (0 when it cannot be found).
    [[nodiscard]] std::size_t line_count(std::uint32_t file) { return text(file).lines.size(); }

private:
    struct Text {
        std::string path;
        std::vector<std::string> lines;  // as read, without line ends
        bool changed = false;
    };
    const Text& text(std::uint32_t file);

    const debug_info::DebugInfo& info_;
    std::string folder_;  // of the debug file, with a trailing separator, or ""
    std::map<std::uint32_t, Text> texts_;
};
