// RTC_YEAR ... RTC_SECOND: each read samples the local time anew, so a
// program reading all six can straddle a second; there is no latch.
#include "bus/devices.hpp"
#include "host/clock.hpp"

u8 rtc_read(u16 address) {
    const std::tm now = host_local_time();
    switch (address) {
    case RTC_YEAR: return static_cast<u8>(now.tm_year - 100);  // 1999 reads 0xFF
    case RTC_MONTH: return static_cast<u8>(now.tm_mon + 1);
    case RTC_DAY: return static_cast<u8>(now.tm_mday);
    case RTC_HOUR: return static_cast<u8>(now.tm_hour);
    case RTC_MINUTE: return static_cast<u8>(now.tm_min);
    default: return static_cast<u8>(now.tm_sec);
    }
}
