// Words and hexadecimal numbers, read the same way by the command line, the
// monitor and replay files; and file text made safe to show.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The words of `line` between runs of `separators`; views into `line`.
[[nodiscard]] std::vector<std::string_view> split_words(std::string_view line, std::string_view separators = " \t");

// Hexadecimal digits only (either case), at least one, worth at most `max`.
[[nodiscard]] std::optional<std::uint64_t> parse_hex_digits(std::string_view digits, std::uint64_t max);

// `text` with its control characters (and DEL) written as \xHH, so that
// text from a file shown in a message cannot act on the terminal.
[[nodiscard]] std::string escape_controls(std::string_view text);
