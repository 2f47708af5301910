// RTC_YEAR ... RTC_SECOND: each read samples the local time anew, so a
// program reading all six can straddle a second; there is no latch. In a
// deterministic run they read the virtual calendar instead, which the run
// loop moves on with the emulated cycles.
#include "bus/calendar.hpp"
#include "bus/devices.hpp"
#include "host/clock.hpp"

namespace {
bool virtual_clock = false;
CalendarTime virtual_now{};
std::int64_t virtual_second = 0;
}  // namespace

std::int64_t rtc_virtual_time() { return virtual_second; }

void rtc_set_virtual_time(std::int64_t seconds) {
    virtual_clock = true;
    virtual_second = seconds;
    virtual_now = calendar_from_seconds(seconds);
}

u8 rtc_read(u16 address) {
    CalendarTime now = virtual_now;
    if (!virtual_clock) {
        const std::tm local = host_local_time();
        now = {local.tm_year + 1900, static_cast<unsigned>(local.tm_mon + 1), static_cast<unsigned>(local.tm_mday),
               static_cast<unsigned>(local.tm_hour), static_cast<unsigned>(local.tm_min),
               static_cast<unsigned>(local.tm_sec)};
    }
    switch (address) {
    case RTC_YEAR: return static_cast<u8>(now.year - 2000);  // 1999 reads 0xFF
    case RTC_MONTH: return static_cast<u8>(now.month);
    case RTC_DAY: return static_cast<u8>(now.day);
    case RTC_HOUR: return static_cast<u8>(now.hour);
    case RTC_MINUTE: return static_cast<u8>(now.minute);
    default: return static_cast<u8>(now.second);
    }
}
