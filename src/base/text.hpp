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
// Decimal digits only, at least one, worth at most `max`.
[[nodiscard]] std::optional<std::uint64_t> parse_decimal_digits(std::string_view digits, std::uint64_t max);

// `text` with every control character (and DEL) written as \xNN, so that
// printing it can never act on the terminal.
[[nodiscard]] std::string escape_control(std::string_view text);
// The same between single quotes, as messages show a word: 'text'.
[[nodiscard]] std::string quoted_text(std::string_view text);

// An address as options write it: C000, 0xC000 or $C000, at most 0xFFFF;
// anything else is refused.
[[nodiscard]] std::optional<std::uint16_t> parse_address_option(const char* text);

// A decimal count, digits only, up to 2^64 - 1.
[[nodiscard]] std::optional<std::uint64_t> parse_count(const char* text);
