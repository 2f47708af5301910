/*
 * ctime.c - ctime() on the kit's localtime() (dates.c): cc65's own would
 * call cc65's localtime, which goes wrong from 2038 on.
 */
#include <time.h>

char* __fastcall__ ctime(const time_t* timep)
{
    return asctime(localtime(timep));
}
