/* The C stack grows down into a block the heap handed out. */
#include <stdlib.h>

static char *block;

static void deep(void) {
    char big[0x2000];
    big[0] = 1;
}

int main(void) {
    block = malloc(0xE000);
    if (!block) return 1;
    deep();
    return 0;
}
