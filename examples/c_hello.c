/* c_hello.c - the smallest C program for the machine.
 *
 * Build:  cl65 -t none -O -C sdk/emu6502.cfg -I sdk \
 *              -o examples/c_hello.bin sdk/crt0.s sdk/console.s sdk/devices.s \
 *              examples/c_hello.c
 * Run:    build/emu6502 examples/c_hello.bin
 */
#include <stdio.h>

int main(void)
{
    printf("Hello from C on the 6502!\n");
    return 0; /* returning from main ends the run */
}
