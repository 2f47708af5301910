#include "base/text.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdlib>

std::vector<std::string_view> split_words(std::string_view line, std::string_view separators) {
    std::vector<std::string_view> words;
    std::size_t at = 0;
    while ((at = line.find_first_not_of(separators, at)) != std::string_view::npos) {
        const std::size_t stop = std::min(line.find_first_of(separators, at), line.size());
        words.push_back(line.substr(at, stop - at));
        at = stop;
    }
    return words;
}

namespace {
std::optional<std::uint64_t> parse_digits(std::string_view digits, std::uint64_t base, std::uint64_t max) {
    if (digits.empty()) return std::nullopt;
    std::uint64_t value = 0;
    for (const char c : digits) {
        std::uint64_t digit = base;
        if (c >= '0' && c <= '9') digit = static_cast<std::uint64_t>(c - '0');
        else if (c >= 'a' && c <= 'f') digit = static_cast<std::uint64_t>(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F') digit = static_cast<std::uint64_t>(c - 'A' + 10);
        if (digit >= base) return std::nullopt;
        // Checked before the multiplication, so that no value can wrap.
        if (digit > max || value > (max - digit) / base) return std::nullopt;
        value = value * base + digit;
    }
    return value;
}
}  // namespace

std::optional<std::uint64_t> parse_hex_digits(std::string_view digits, std::uint64_t max) {
    return parse_digits(digits, 16, max);
}

std::optional<std::uint64_t> parse_decimal_digits(std::string_view digits, std::uint64_t max) {
    return parse_digits(digits, 10, max);
}

std::string escape_control(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte != 0x7F) {
            out.push_back(c);
            continue;
        }
        static constexpr char digits[] = "0123456789ABCDEF";
        out += "\\x";
        out.push_back(digits[byte >> 4]);
        out.push_back(digits[byte & 15]);
    }
    return out;
}

std::string quoted_text(std::string_view text) {
    std::string out(1, '\'');
    out += escape_control(text);
    out += '\'';
    return out;
}

std::optional<std::uint16_t> parse_address_option(const char* text) {
    if (text == nullptr) return std::nullopt;
    if (text[0] == '$') {
        ++text;
    } else if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text += 2;
    }
    const auto value = parse_hex_digits(text, 0xFFFF);
    if (!value) return std::nullopt;
    return static_cast<std::uint16_t>(*value);
}

std::optional<std::uint64_t> parse_count(const char* text) {
    if (text == nullptr || *text < '0' || *text > '9') return std::nullopt;
    errno = 0;
    char* end = nullptr;
    const unsigned long long value = std::strtoull(text, &end, 10);
    if (errno != 0 || *end != '\0') return std::nullopt;
    return value;
}
