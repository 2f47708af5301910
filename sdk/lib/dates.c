/*
 * dates.c - gmtime(), localtime() and mktime() for every time_t there is,
 * from 1970-01-01 00:00:00 to 2106-02-07 06:28:15, where its unsigned 32
 * bits end (cc65's own count the days in an int and go wrong from 2038
 * on); and the calendar clock as a time_t (for time()), or (time_t)-1
 * from that second on, since the clock itself goes on to 2255.  sdk/build.sh
 * searches the kit's library before cc65's, so a program gets these.
 */
#include <time.h>
#include "emu6502.h"

#define LAST_DAY 49710u             /* 2106-02-07, the last day time_t reaches */
#define LAST_DAY_SECONDS 23295ul    /* ... up to 06:28:15 */

static const unsigned char month_days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

static unsigned char leap(unsigned year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

static unsigned char days_in_month(unsigned year, unsigned char month)
{
    return month == 1 && leap(year) ? 29 : month_days[month];
}

/* The fields of `t` (seconds since 1970-01-01 00:00:00) into `tm`. */
static void broken_down(time_t t, struct tm* tm)
{
    unsigned days = (unsigned)(t / 86400ul);
    const unsigned long seconds = t % 86400ul;
    const unsigned in_hour = (unsigned)(seconds % 3600);
    unsigned year = 1970;
    unsigned char month = 0;
    unsigned length;

    tm->tm_hour = (int)(seconds / 3600);
    tm->tm_min = in_hour / 60;
    tm->tm_sec = in_hour % 60;
    tm->tm_wday = (days + 4) % 7; /* 1970-01-01 was a Thursday */
    while (days >= (length = leap(year) ? 366 : 365)) {
        days -= length;
        ++year;
    }
    tm->tm_year = year - 1900;
    tm->tm_yday = days;
    while (days >= (length = days_in_month(year, month))) {
        days -= length;
        ++month;
    }
    tm->tm_mon = month;
    tm->tm_mday = days + 1;
    tm->tm_isdst = 0;
}

static struct tm shared; /* gmtime's and localtime's, as the standard has it */

struct tm* __fastcall__ gmtime(const time_t* timep)
{
    if (timep == 0) {
        return 0;
    }
    broken_down(*timep, &shared);
    return &shared;
}

/* The clock's time is counted as UTC (cc65's _tz is zero); a program that
 * sets _tz.timezone (seconds west of UTC) gets its local time. */
struct tm* __fastcall__ localtime(const time_t* timep)
{
    if (timep == 0) {
        return 0;
    }
    broken_down(*timep - _tz.timezone, &shared);
    return &shared;
}

/* Moves whole units of `base` out of `*part` (left 0 to base-1): they
 * count in the next larger unit. */
static long carry(long* part, long base)
{
    long whole = *part / base;
    *part %= base;
    if (*part < 0) {
        *part += base;
        --whole;
    }
    return whole;
}

time_t __fastcall__ mktime(struct tm* tm)
{
    long sec = tm->tm_sec;
    long min = tm->tm_min;
    long hour = tm->tm_hour;
    long mon = tm->tm_mon;
    long year;
    long days;
    unsigned long in_day;
    unsigned char m;
    time_t t;

    min += carry(&sec, 60);
    hour += carry(&min, 60);
    days = tm->tm_mday - 1 + carry(&hour, 24);
    year = tm->tm_year + 1900L + carry(&mon, 12);
    /* An int's worth of days or hours moves a date by 95 years at most. */
    if (year < 1800 || year > 2300) {
        return (time_t)-1;
    }
    /* Days since 1970-01-01: whole years, with their leap days, and months. */
    days += (year - 1970) * 365 + ((year - 1) / 4 - (year - 1) / 100 + (year - 1) / 400) - 477;
    for (m = 0; m < mon; ++m) {
        days += days_in_month((unsigned)year, m);
    }
    in_day = (unsigned long)hour * 3600 + min * 60 + sec;
    if (days < 0 || days > LAST_DAY || (days == LAST_DAY && in_day > LAST_DAY_SECONDS)) {
        return (time_t)-1;
    }
    t = (unsigned long)days * 86400ul + in_day;
    broken_down(t, tm); /* the fields as they are meant, with wday and yday */
    return t;
}

/* The calendar clock's local time, counted as if it were UTC. */
time_t _systime(void)
{
    struct emu_time now;
    struct tm tm;

    emu_clock(&now); /* the six fields of one second */
    tm.tm_year = now.year + 100;
    tm.tm_mon = now.month - 1;
    tm.tm_mday = now.day;
    tm.tm_hour = now.hour;
    tm.tm_min = now.minute;
    tm.tm_sec = now.second;
    return mktime(&tm);
}
