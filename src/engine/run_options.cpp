#include "engine/run_options.hpp"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "bus/calendar.hpp"

std::optional<std::int64_t> parse_time_option(const char* text) {
    if (text == nullptr) return std::nullopt;
    // YYYY-MM-DDTHH:MM:SS: digits where the pattern has 9, the rest exactly.
    const char* const pattern = "9999-99-99T99:99:99";
    for (std::size_t i = 0; pattern[i] != '\0'; ++i) {
        const bool digit = text[i] >= '0' && text[i] <= '9';
        if (pattern[i] == '9' ? !digit : text[i] != pattern[i]) return std::nullopt;
    }
    if (text[std::strlen(pattern)] != '\0') return std::nullopt;
    auto number = [text](std::size_t at, std::size_t digits) {
        unsigned value = 0;
        for (std::size_t i = at; i < at + digits; ++i) value = value * 10 + static_cast<unsigned>(text[i] - '0');
        return value;
    };
    const CalendarTime time{number(0, 4), number(5, 2), number(8, 2), number(11, 2), number(14, 2), number(17, 2)};
    if (!is_valid_calendar_time(time)) return std::nullopt;
    return seconds_from_calendar(time);
}

bool year_register_holds(std::int64_t seconds) {
    const std::int64_t year = calendar_from_seconds(seconds).year;
    return year >= 2000 && year <= 2255;
}

std::string format_time_option(std::int64_t seconds) {
    const CalendarTime t = calendar_from_seconds(seconds);
    char text[32];
    // Years 0-9999 only come here: the ones parse_time_option accepts.
    std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02u", static_cast<unsigned>(t.year), t.month, t.day,
                  t.hour, t.minute, t.second);
    return text;
}

namespace {
// Equal but for the case of letters: 65c02 is 65C02.
bool same_letters(const char* a, const char* b) {
    for (; *a != '\0' && *b != '\0'; ++a, ++b)
        if (std::toupper(static_cast<unsigned char>(*a)) != std::toupper(static_cast<unsigned char>(*b))) return false;
    return *a == *b;
}

}  // namespace

std::optional<Chip> parse_chip_name(const char* name) {
    for (const Chip chip : ALL_CHIPS)
        if (same_letters(name, chip_name(chip))) return chip;
    return std::nullopt;
}
