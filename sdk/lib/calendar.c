/*
 * calendar.c - time() (through clock_gettime(), as cc65's library calls
 * it) from the calendar clock registers, through _systime() (dates.c).
 * The registers hold local time; it is counted as if it were UTC (cc65's
 * _tz is zero), so localtime(&t) gives back the clock's fields.  From
 * 2106-02-07 06:28:16 on (the clock goes on to 2255) no time_t holds the
 * time: it fails with ERANGE, and time() gives (time_t)-1.
 */
#include <errno.h>
#include <time.h>

/* There is one clock, CLOCK_REALTIME: the id is not looked at, since cc65's
 * time() calls this without setting it. */
int __fastcall__ clock_gettime(clockid_t clock_id, struct timespec* tp)
{
    (void)clock_id;
    tp->tv_sec = _systime();
    tp->tv_nsec = 0;
    if (tp->tv_sec == (time_t)-1) {
        errno = ERANGE;
        return -1;
    }
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
