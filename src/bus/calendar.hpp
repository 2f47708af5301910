// A calendar without a time zone: the proleptic Gregorian calendar counted
// in seconds from 1970-01-01T00:00:00, in plain integer arithmetic, so that
// every host gives the same fields for the same second. The deterministic
// clock and the --time option use it; the host's local time does not.
#pragma once

#include <cstdint>

struct CalendarTime {
    std::int64_t year;
    unsigned month;   // 1-12
    unsigned day;     // 1-31
    unsigned hour;    // 0-23
    unsigned minute;  // 0-59
    unsigned second;  // 0-59
};

[[nodiscard]] constexpr bool is_leap_year(std::int64_t year) {
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

[[nodiscard]] constexpr unsigned days_in_month(std::int64_t year, unsigned month) {
    constexpr unsigned days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && is_leap_year(year) ? 29 : days[month - 1];
}

[[nodiscard]] constexpr bool is_valid_calendar_time(const CalendarTime& t) {
    return t.month >= 1 && t.month <= 12 && t.day >= 1 && t.day <= days_in_month(t.year, t.month) && t.hour < 24 &&
           t.minute < 60 && t.second < 60;
}

// Days since 1970-01-01 of a date: years counted from March, so that the
// leap day ends a year, in 400-year eras of 146,097 days.
[[nodiscard]] constexpr std::int64_t days_from_civil(std::int64_t year, unsigned month, unsigned day) {
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t year_of_era = year - era * 400;                                 // 0-399
    const std::int64_t day_of_year = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;  // 0-365
    const std::int64_t day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
    return era * 146097 + day_of_era - 719468;
}

[[nodiscard]] constexpr std::int64_t seconds_from_calendar(const CalendarTime& t) {
    return days_from_civil(t.year, t.month, t.day) * 86400 + t.hour * 3600 + t.minute * 60 + t.second;
}

// The inverse of seconds_from_calendar.
[[nodiscard]] constexpr CalendarTime calendar_from_seconds(std::int64_t seconds) {
    std::int64_t days = seconds / 86400;
    std::int64_t in_day = seconds % 86400;
    if (in_day < 0) {
        in_day += 86400;
        --days;
    }
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const std::int64_t day_of_era = days - era * 146097;  // 0-146096
    const std::int64_t year_of_era = (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
    const std::int64_t day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
    const std::int64_t month_from_march = (5 * day_of_year + 2) / 153;  // 0-11, March first
    const auto day = static_cast<unsigned>(day_of_year - (153 * month_from_march + 2) / 5 + 1);
    const auto month = static_cast<unsigned>(month_from_march < 10 ? month_from_march + 3 : month_from_march - 9);
    const std::int64_t year = year_of_era + era * 400 + (month <= 2 ? 1 : 0);
    return {year, month, day, static_cast<unsigned>(in_day / 3600), static_cast<unsigned>(in_day / 60 % 60),
            static_cast<unsigned>(in_day % 60)};
}
