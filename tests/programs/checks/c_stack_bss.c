/* The C stack grows down into BSS: two big locals take it past the heap's room. */
static char pad[0x2400];

static void deep(void) {
    char big[0x7000];
    big[0] = 1;
    pad[0] = big[0];
}

int main(void) {
    char big[0x7000];
    big[0] = 2;
    deep();
    return big[0] + pad[0] - 3;
}
