/*
 * time.h - <time.h> for the emu6502 machine: cc65's declarations, with
 * CLOCKS_PER_SEC for the machine's 100 Hz timer and _systime().
 * sdk/build.sh puts sdk/include first on the include path, so programs get
 * this one.  clock(), time(), clock_gettime(), clock_getres(),
 * clock_settime() and _systime() are in sdk/lib; the rest is cc65's.
 */
#ifndef _TIME_H
#define _TIME_H

#ifndef _HAVE_NULL
#define NULL    0
#define _HAVE_NULL
#endif

#ifndef _HAVE_size_t
#define _HAVE_size_t
typedef unsigned size_t;
#endif

typedef unsigned long time_t;
typedef unsigned long clock_t;
typedef unsigned char clockid_t;

/* Structure for broken down time */
struct tm {
    int     tm_sec;
    int     tm_min;
    int     tm_hour;
    int     tm_mday;
    int     tm_mon;
    int     tm_year;
    int     tm_wday;
    int     tm_yday;
    int     tm_isdst;
};

/* Structure for seconds and nanoseconds */
struct timespec {
    time_t  tv_sec;
    long    tv_nsec;
};

/* Timezone representation (cc65's library); zero here: time() counts the
 * calendar clock's local time as if it were UTC, so that localtime() and
 * gmtime() both give back the clock's own fields. */
extern struct _timezone {
    char    daylight;
    long    timezone;
    char    tzname[5];
    char    dstname[5];
} _tz;

/* clock() counts the machine's timer ticks, one every 10 ms, since the
 * program started.  Using it turns the timer interrupt on. */
#define CLK_TCK                 100     /* POSIX */
#define CLOCKS_PER_SEC          100     /* ANSI */

#define CLOCK_REALTIME          0

/* ISO C function prototypes */
char* __fastcall__ asctime (const struct tm* timep);
clock_t clock (void);
char* __fastcall__ ctime (const time_t* timep);
struct tm* __fastcall__ gmtime (const time_t* timep);
struct tm* __fastcall__ localtime (const time_t* timep);
time_t __fastcall__ mktime (struct tm* timep);
size_t __fastcall__ strftime (char* buf, size_t bufsize, const char* format, const struct tm* tm);
time_t __fastcall__ time (time_t* t);

/* POSIX function prototypes; the clock has a resolution of one second and
 * cannot be set (clock_settime fails with ENOSYS). */
int __fastcall__ clock_getres (clockid_t clock_id, struct timespec *res);
int __fastcall__ clock_gettime (clockid_t clock_id, struct timespec *tp);
int __fastcall__ clock_settime (clockid_t clock_id, const struct timespec *tp);

/* The calendar clock's time in seconds since 1970-01-01, as time() gives
 * it (the library hook that older cc65 versions call from time()). */
time_t _systime (void);

#endif
