/* c_store.c - a stock list: a struct array, a pointer walk over it and a
 * string routine, to look at with the debugger's C view.
 *
 * Build:  sdk/build.sh examples/c_store.bin examples/c_store.c
 * Run:    build/emu6502 examples/c_store.bin
 * Debug:  build/emu6502 --monitor examples/c_store.bin
 *         (b copy_name, c, print *src, up, print items[n], ...)
 */
#include <stdio.h>

struct item {
    char name[8];
    unsigned char qty;
    unsigned int price;
};

static struct item items[3] = {
    {"bolt", 3, 250},
    {"nut", 12, 40},
    {"washer", 7, 15},
};

static char label[8];

/* Copies at most size - 1 characters of src into dst, and ends it. */
static void copy_name(char *dst, const char *src, unsigned char size)
{
    unsigned char i;

    for (i = 0; i + 1 < size && src[i] != '\0'; ++i) {
        dst[i] = src[i];
    }
    dst[i] = '\0';
}

/* What the first count items are worth together. */
static unsigned long stock_value(const struct item *first, unsigned char count)
{
    const struct item *p;
    unsigned long total = 0;

    for (p = first; p != first + count; ++p) {
        total += (unsigned long)p->qty * p->price;
    }
    return total;
}

int main(void)
{
    unsigned char n;

    for (n = 0; n < 3; ++n) {
        copy_name(label, items[n].name, sizeof label);
        printf("%-8s %3u x %4u\n", label, items[n].qty, items[n].price);
    }
    printf("stock worth %lu\n", stock_value(items, 3));
    return 0;
}
