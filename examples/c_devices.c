/* c_devices.c - the machine's devices from C: a data file round trip, the
 * calendar clock and the random byte.
 *
 * Build:  sdk/build.sh examples/c_devices.bin examples/c_devices.c
 * Run:    build/emu6502 examples/c_devices.bin      (leaves file2 behind)
 */
#include <stdio.h>
#include "emu6502.h"

#define DATA_FILE 2
#define COUNT 8

int main(void)
{
    struct emu_time now;
    unsigned char i;
    unsigned char b;

    /* Close anything left open, choose file2 and write COUNT squares. */
    emu_file_close();
    emu_file_select(DATA_FILE);
    printf("file%u: wrote", DATA_FILE);
    for (i = 0; i < COUNT; ++i) {
        emu_file_write(i * i);
        printf(" %u", i * i);
    }
    printf(", close %u\n", emu_file_close());

    /* Reading opens the same file again, from its start. */
    printf("file%u: read", DATA_FILE);
    while ((b = emu_file_read()) != EMU_FILE_EOF) {
        printf(" %u", b);
    }
    printf(", close %u\n", emu_file_close());

    emu_clock(&now);
    printf("date: %u-%02u-%02u %02u:%02u:%02u\n", 2000 + now.year, now.month,
           now.day, now.hour, now.minute, now.second);

    printf("dice:");
    for (i = 0; i < 3; ++i) {
        printf(" %u", emu_random() % 6 + 1);
    }
    printf("\n");
    return 0;
}
