/*
 * emu6502.h - C interface to the emu6502 machine (cc65).
 *
 * Build:  sdk/build.sh prog.bin prog.c
 *         (it writes nothing beside the sources: cl65 on a C source would
 *         replace a prog.s there with its intermediate file, then delete it)
 *
 * The start-up code (crt0.s) disables interrupts, sets up the C stack below
 * the device page, clears BSS, runs main() and ends the run when main
 * returns or exit() is called, with the low byte of the status in A
 * (run with "emu6502 --exit-status" to make it the exit status).  Standard I/O works on the console: printf,
 * puts, putchar write to CON_OUT; getchar, fgets(stdin) read KBD_IN,
 * waiting for each key (Enter arrives as '\n').  cc65's <conio.h>,
 * <time.h> (clock, time) and stdio on the data files (fopen "file3"...)
 * work as well, from sdk/lib; the rest of the C library comes from cc65's
 * "none" library.  Use either fopen() or the emu_file_* calls below for a
 * data file, not both at once.
 */
#ifndef EMU6502_H
#define EMU6502_H

/* Device registers, for direct use: e.g.  CON_OUT = 'A';  k = KBD_IN; */
#define EMU_REG(addr) (*(volatile unsigned char*)(addr))
#define KBD_IN      EMU_REG(0xFF00) /* next key or 0; never waits           */
#define CON_OUT     EMU_REG(0xFF01) /* print a byte                          */
#define RANDOM      EMU_REG(0xFF02) /* a pseudo-random byte                  */
#define TRACE_CTL   EMU_REG(0xFF03) /* 1: trace instructions on stderr       */
#define RTC_YEAR    EMU_REG(0xFF04) /* year - 2000                           */
#define RTC_MONTH   EMU_REG(0xFF05) /* 1-12                                  */
#define RTC_DAY     EMU_REG(0xFF06) /* 1-31                                  */
#define RTC_HOUR    EMU_REG(0xFF07) /* 0-23                                  */
#define RTC_MINUTE  EMU_REG(0xFF08) /* 0-59                                  */
#define RTC_SECOND  EMU_REG(0xFF09) /* 0-59                                  */
#define FILE_READ   EMU_REG(0xFF0A) /* next data-file byte, 0xFF at the end  */
#define FILE_WRITE  EMU_REG(0xFF0B) /* write the next data-file byte         */
#define FILE_SELECT EMU_REG(0xFF0C) /* write: select; read: close            */

#define EMU_FILE_EOF 0xFF           /* what emu_file_read() gives at the end */

/* --- Console ---------------------------------------------------------- */

/* Print one byte, unchanged. */
void __fastcall__ emu_putc(char c);

/* Print a zero-terminated string, unchanged (no newline is added). */
void __fastcall__ emu_puts(const char* s);

/* Wait for a key and return it, without echo (Enter gives 13). */
char emu_getc(void);

/* Return the waiting key, or 0 at once when there is none. */
char emu_key(void);

/* Read a line with echo into buf (at most size-1 characters, then a zero
 * byte).  Backspace (8 or 127) removes the last character; Enter (13 or 10)
 * ends the line and echoes '\n'.  The escape sequences of arrow, function
 * and editing keys are skipped whole; other control keys are ignored.
 * Returns the length of the line. */
unsigned char __fastcall__ emu_getline(char* buf, unsigned char size);

/* --- Data files (file0 ... file255 in the emulator's directory) ------- */

/* Choose file<number> for the next open.  A file is opened by the first
 * read or write after it is chosen, positioned at its start, and created
 * empty if missing.  Close the open file before choosing another. */
void __fastcall__ emu_file_select(unsigned char number);

/* Next byte of the open file; EMU_FILE_EOF (0xFF) at its end. */
unsigned char emu_file_read(void);

/* Write a byte at the file's current position. */
void __fastcall__ emu_file_write(unsigned char byte);

/* Close the open file: 0 on success, 0xFF on failure. */
unsigned char emu_file_close(void);

/* --- Clock, random, trace --------------------------------------------- */

struct emu_time {
    unsigned char year;   /* years since 2000 */
    unsigned char month;  /* 1-12 */
    unsigned char day;    /* 1-31 */
    unsigned char hour;   /* 0-23 */
    unsigned char minute; /* 0-59 */
    unsigned char second; /* 0-60 */
};

/* Read the calendar clock; the six fields belong to the same second. */
void __fastcall__ emu_clock(struct emu_time* t);

/* A pseudo-random byte. */
unsigned char emu_random(void);

/* Switch the instruction trace (on standard error) on (1) or off (0). */
void __fastcall__ emu_trace(unsigned char on);

/* exit(status) from <stdlib.h> ends the run (the status is not reported). */

#endif
