// The zone-less calendar behind the deterministic clock and --time: dates
// and seconds since 1970-01-01T00:00:00, both ways, and the text of --time.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "bus/calendar.hpp"
#include "driver/command_line.hpp"

namespace {

struct CalendarRow {
    const char* text;
    std::int64_t seconds;  // as a reference implementation of the calendar gives them
    CalendarTime fields;
};
void PrintTo(const CalendarRow& row, std::ostream* os) { *os << row.text; }

bool operator==(const CalendarTime& a, const CalendarTime& b) {
    return a.year == b.year && a.month == b.month && a.day == b.day && a.hour == b.hour && a.minute == b.minute &&
           a.second == b.second;
}

class Calendar : public testing::TestWithParam<CalendarRow> {};

TEST_P(Calendar, SecondsAndFieldsBothWays) {
    const CalendarRow& row = GetParam();
    EXPECT_TRUE(is_valid_calendar_time(row.fields));
    EXPECT_EQ(seconds_from_calendar(row.fields), row.seconds);
    EXPECT_TRUE(calendar_from_seconds(row.seconds) == row.fields);
    EXPECT_EQ(parse_time_option(row.text), row.seconds);
    EXPECT_EQ(format_time_option(row.seconds), row.text);
}

INSTANTIATE_TEST_SUITE_P(
    Dates, Calendar,
    testing::Values(CalendarRow{"1970-01-01T00:00:00", 0, {1970, 1, 1, 0, 0, 0}},
                    CalendarRow{"1969-12-31T23:59:59", -1, {1969, 12, 31, 23, 59, 59}},
                    CalendarRow{"2000-01-01T00:00:00", 946684800, {2000, 1, 1, 0, 0, 0}},
                    CalendarRow{"2000-02-29T12:00:00", 951825600, {2000, 2, 29, 12, 0, 0}},
                    CalendarRow{"2024-02-29T23:59:59", 1709251199, {2024, 2, 29, 23, 59, 59}},
                    CalendarRow{"2023-12-31T23:59:59", 1704067199, {2023, 12, 31, 23, 59, 59}},
                    CalendarRow{"1900-03-01T00:00:00", -2203891200, {1900, 3, 1, 0, 0, 0}},
                    CalendarRow{"2100-02-28T23:59:59", 4107542399, {2100, 2, 28, 23, 59, 59}},
                    CalendarRow{"1600-02-29T06:07:08", -11670976372, {1600, 2, 29, 6, 7, 8}},
                    CalendarRow{"0001-01-01T00:00:00", -62135596800, {1, 1, 1, 0, 0, 0}},
                    CalendarRow{"9999-12-31T23:59:59", 253402300799, {9999, 12, 31, 23, 59, 59}}));

// Every day of four centuries, one after the other: no gap, no day twice.
TEST(Calendar, DaysFollowEachOther) {
    std::int64_t seconds = seconds_from_calendar({1900, 1, 1, 0, 0, 0});
    CalendarTime previous = calendar_from_seconds(seconds);
    for (int day = 0; day < 146097; ++day) {
        seconds += 86400;
        const CalendarTime next = calendar_from_seconds(seconds);
        const bool next_day =
            next.year == previous.year && next.month == previous.month && next.day == previous.day + 1;
        const bool next_month = next.year == previous.year && next.month == previous.month + 1 && next.day == 1 &&
                                previous.day == days_in_month(previous.year, previous.month);
        const bool next_year = next.year == previous.year + 1 && next.month == 1 && next.day == 1 &&
                               previous.month == 12 && previous.day == 31;
        ASSERT_TRUE(next_day || next_month || next_year) << next.year << '-' << next.month << '-' << next.day;
        previous = next;
    }
    EXPECT_TRUE(previous == (CalendarTime{2300, 1, 1, 0, 0, 0}));
}

class BadTime : public testing::TestWithParam<const char*> {};

TEST_P(BadTime, IsRefused) { EXPECT_FALSE(parse_time_option(GetParam())); }

INSTANTIATE_TEST_SUITE_P(Texts, BadTime,
                         testing::Values("", "2024-02-29", "2024-02-29 12:00:00", "2023-02-29T00:00:00",
                                         "1900-02-29T00:00:00", "2024-04-31T00:00:00", "2024-13-01T00:00:00",
                                         "2024-00-10T00:00:00", "2024-01-00T00:00:00", "2024-01-01T24:00:00",
                                         "2024-01-01T00:60:00", "2024-01-01T00:00:60", "2024-1-01T00:00:00",
                                         "+024-01-01T00:00:00", "2024-01-01T00:00:00Z", "2024-01-01t00:00:00"));

}  // namespace
