/* c_units.c - small C functions with unit tests of their own: run
 * "emu6502 test examples/c_units.test.json" to call each one with C
 * arguments on a fresh machine and compare what comes back.
 *
 * Build:  sdk/build.sh examples/c_units.bin examples/c_units.c
 * Run:    build/emu6502 examples/c_units.bin
 */
#include <stdio.h>
#include "emu6502.h"

int sum(int a, int b)
{
    return a + b;
}

long scale(long value, unsigned char factor)
{
    return value * factor;
}

unsigned char vowels(const char* text)
{
    unsigned char count = 0;
    for (; *text != '\0'; ++text) {
        switch (*text | 0x20) { /* either case */
        case 'a': case 'e': case 'i': case 'o': case 'u':
            ++count;
        }
    }
    return count;
}

/* Whether a word sounds open: more vowels than three. Its test replaces
 * vowels() with a mock. */
unsigned char open_sounding(const char* word)
{
    return vowels(word) > 3;
}

/* Twice the sum of a and b. Its test replaces sum() with a mock. */
int twice_sum(int a, int b)
{
    return sum(a, b) * 2;
}

int main(void)
{
    printf("sum(3, 4) = %d\n", sum(3, 4));
    printf("scale(100000, 3) = %ld\n", scale(100000L, 3));
    printf("vowels(\"emulator\") = %u\n", vowels("emulator"));
    printf("open_sounding(\"aeiou\") = %u\n", open_sounding("aeiou"));
    return 0;
}
