/* c_greet.c - asks for a name, greets, and tells how long the name is.
 *
 * Build:  sdk/build.sh examples/c_greet.bin examples/c_greet.c
 * Run:    build/emu6502 examples/c_greet.bin                (type a name)
 *         echo Ada | build/emu6502 examples/c_greet.bin -i
 */
#include <stdio.h>
#include <ctype.h>
#include <stdlib.h>
#include "emu6502.h"

static char name[24];

int main(void)
{
    unsigned char length;
    unsigned char i;

    emu_puts("What is your name? ");
    length = emu_getline(name, sizeof name); /* echoes what is typed */

    if (length == 0) {
        printf("Hello, stranger!\n");
        exit(0); /* ends the run at once, like returning from main */
    }
    name[0] = toupper(name[0]);
    printf("Hello, %s! Your name has %u characters.\n", name, length);
    printf("Backwards: ");
    for (i = length; i > 0; --i) {
        putchar(name[i - 1]);
    }
    putchar('\n');
    return 0;
}
