/*
 * target.h - the emu6502 machine's part of cc65's <conio.h>: colours, the
 * line-drawing characters and the key codes.  sdk/build.sh puts sdk/include
 * first on the include path, so an unchanged "#include <conio.h>" gets
 * these.  The functions behind them are in sdk/lib (conio.s, conio_keys.c).
 */
#ifndef _TARGET_H
#define _TARGET_H

/* The terminal's eight colours, for textcolor() and bgcolor().  The other
 * names that cc65 programs use are mapped to the nearest of the eight. */
#define COLOR_BLACK       0
#define COLOR_RED         1
#define COLOR_GREEN       2
#define COLOR_YELLOW      3
#define COLOR_BLUE        4
#define COLOR_MAGENTA     5
#define COLOR_CYAN        6
#define COLOR_WHITE       7
#define COLOR_PURPLE      COLOR_MAGENTA
#define COLOR_VIOLET      COLOR_MAGENTA
#define COLOR_ORANGE      COLOR_YELLOW
#define COLOR_BROWN       COLOR_YELLOW
#define COLOR_LIGHTRED    COLOR_RED
#define COLOR_LIGHTGREEN  COLOR_GREEN
#define COLOR_LIGHTBLUE   COLOR_BLUE
#define COLOR_GRAY1       COLOR_WHITE
#define COLOR_GRAY2       COLOR_WHITE
#define COLOR_GRAY3       COLOR_WHITE

/* Lines and corners: cputc() draws bytes 0xEA-0xF8 with the terminal's
 * line-drawing set (ESC ( 0, the letter, ESC ( B). */
#define CH_LRCORNER       0xEA
#define CH_URCORNER       0xEB
#define CH_ULCORNER       0xEC
#define CH_LLCORNER       0xED
#define CH_CROSS          0xEE
#define CH_HLINE          0xF1
#define CH_LTEE           0xF4
#define CH_RTEE           0xF5
#define CH_BTEE           0xF6
#define CH_TTEE           0xF7
#define CH_VLINE          0xF8

/* Keys as cgetc() returns them.  Enter gives 13 (and so does a line feed
 * from piped input); Backspace gives 8 (and so does DEL, 127). */
#define CH_ENTER          13
#define CH_ESC            27
#define CH_DEL            8
#define CH_CURS_UP        0x91
#define CH_CURS_DOWN      0x92
#define CH_CURS_RIGHT     0x93
#define CH_CURS_LEFT      0x94
#define CH_F1             0x81
#define CH_F2             0x82
#define CH_F3             0x83
#define CH_F4             0x84
#define CH_F5             0x85
#define CH_F6             0x86
#define CH_F7             0x87
#define CH_F8             0x88
#define CH_F9             0x89
#define CH_F10            0x8A

/* The screen's size, as screensize() reports it and cputc() wraps at: 80
 * columns by 24 rows unless the program sets other values here. */
extern unsigned char emu_screen_width;
extern unsigned char emu_screen_height;

#endif
