/*
 * conio_keys.c - cgetc() and kbhit() for <conio.h>: keys as the terminal
 * sends them, with the escape sequences of the arrow and function keys
 * turned into the CH_CURS_* and CH_F* codes of <target.h>.  Other keys'
 * sequences (Home, Delete...) are skipped whole.
 */
#include <conio.h>
#include "emu6502.h"

void __fastcall__ emu_wait_cursor(unsigned char show); /* conio.s */

static unsigned char ready;  /* a key kbhit() has taken in, for cgetc() */
static unsigned char pushed; /* a key read after a lone Esc */

/* The next byte of a key's sequence: the terminal sends them together, so
 * a short wait is enough (the emulator lets a program that keeps reading an
 * empty KBD_IN sleep for up to a timer tick per read after 64 reads, so this
 * waits some tens of milliseconds at most). 0 when none comes. */
static unsigned char soon(void)
{
    unsigned char tries = 72;
    unsigned char c;
    do {
        c = KBD_IN;
        if (c != 0) {
            return c;
        }
    } while (--tries != 0);
    return 0;
}

/* The final byte of an SS3 (ESC O) or CSI (ESC [) sequence. */
static unsigned char final(unsigned char c)
{
    switch (c) {
    case 'A': return CH_CURS_UP;
    case 'B': return CH_CURS_DOWN;
    case 'C': return CH_CURS_RIGHT;
    case 'D': return CH_CURS_LEFT;
    case 'P': case 'Q': case 'R': case 'S': return CH_F1 + (c - 'P');
    }
    return 0;
}

/* ESC [ number ~: F1-F5 are 11-15, F6-F10 17-21. */
static unsigned char numbered(unsigned char n)
{
    if (n >= 11 && n <= 15) {
        return CH_F1 + (n - 11);
    }
    if (n >= 17 && n <= 21) {
        return CH_F6 + (n - 17);
    }
    return 0;
}

/* After ESC: the key the sequence stands for, CH_ESC for Esc alone, or 0
 * for a sequence that means nothing here. */
static unsigned char escape(void)
{
    unsigned char c = soon();
    unsigned char n = 0;
    unsigned char first = 1;

    if (c == 'O') {
        return final(soon());
    }
    if (c != '[') {
        pushed = c; /* Esc, then an ordinary key (or nothing) */
        return CH_ESC;
    }
    c = soon();
    if (c == '[') { /* the Linux console's F1-F5: ESC [ [ A-E */
        c = soon();
        return c >= 'A' && c <= 'E' ? CH_F1 + (c - 'A') : 0;
    }
    while (c >= ' ' && c < '@') { /* parameters and intermediates */
        if (c == ';') {
            first = 0;
        } else if (first && c >= '0' && c <= '9' && n < 100) {
            n = n * 10 + (c - '0');
        }
        c = soon();
    }
    return c == '~' ? numbered(n) : final(c);
}

static unsigned char translate(unsigned char c)
{
    switch (c) {
    case 127: return CH_DEL;
    case '\n': return CH_ENTER;
    case CH_ESC: return escape();
    }
    return c;
}

unsigned char kbhit(void)
{
    unsigned char c;
    if (ready == 0) {
        c = pushed;
        pushed = 0;
        if (c == 0) {
            c = KBD_IN;
        }
        if (c != 0) {
            ready = translate(c);
        }
    }
    return ready != 0;
}

char cgetc(void)
{
    unsigned char c;
    while (ready == 0) {
        c = pushed;
        pushed = 0;
        if (c == 0) {
            emu_wait_cursor(1);
            while ((c = KBD_IN) == 0) {
            }
            emu_wait_cursor(0);
        }
        ready = translate(c);
    }
    c = ready;
    ready = 0;
    return c;
}
