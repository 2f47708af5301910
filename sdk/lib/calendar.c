/*
 * calendar.c - time() (through clock_gettime(), as cc65's library calls
 * it) and _systime() from the calendar clock registers.  The registers
 * hold local time; it is counted as if it were UTC (cc65's _tz is zero), so
 * localtime(&t) gives back the clock's fields.
 */
#include <errno.h>
#include <time.h>
#include "emu6502.h"

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
    tm.tm_isdst = 0;
    return mktime(&tm);
}

/* There is one clock, CLOCK_REALTIME: the id is not looked at, since cc65's
 * time() calls this without setting it. */
int __fastcall__ clock_gettime(clockid_t clock_id, struct timespec* tp)
{
    (void)clock_id;
    tp->tv_sec = _systime();
    tp->tv_nsec = 0;
    return 0;
}

int __fastcall__ clock_getres(clockid_t clock_id, struct timespec* res)
{
    (void)clock_id;
    res->tv_sec = 1;
    res->tv_nsec = 0;
    return 0;
}

/* The clock is the host's: a program cannot set it. */
int __fastcall__ clock_settime(clockid_t clock_id, const struct timespec* tp)
{
    (void)clock_id;
    (void)tp;
    errno = ENOSYS;
    return -1;
}
