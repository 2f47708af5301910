/* c_hello.c - the smallest C program for the machine.
 *
 * Build:  sdk/build.sh examples/c_hello.bin examples/c_hello.c
 * Run:    build/emu6502 examples/c_hello.bin
 */
#include <stdio.h>

int main(void)
{
    printf("Hello from C on the 6502!\n");
    return 0; /* returning from main ends the run */
}
