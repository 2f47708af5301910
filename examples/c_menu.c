/* c_menu.c - a menu in a box with cc65's <conio.h>: the arrow keys move
 * the highlight, Enter picks, Esc or q leaves.
 *
 * Build:  sdk/build.sh examples/c_menu.bin examples/c_menu.c
 * Run:    build/emu6502 examples/c_menu.bin
 */
#include <conio.h>

#define ITEMS 3
#define LEFT 2
#define TOP 1
#define WIDTH 12

static const char* const item[ITEMS] = {"Tea", "Coffee", "Water"};

static void show(unsigned char i, unsigned char on)
{
    revers(on);
    cputsxy(LEFT + 2, TOP + 1 + i, item[i]);
    revers(0);
}

int main(void)
{
    unsigned char chosen = 0;
    unsigned char i;
    char key;

    clrscr();
    textcolor(COLOR_YELLOW);
    cputcxy(LEFT, TOP, CH_ULCORNER);
    chline(WIDTH - 2);
    cputc(CH_URCORNER);
    cvlinexy(LEFT, TOP + 1, ITEMS);
    cvlinexy(LEFT + WIDTH - 1, TOP + 1, ITEMS);
    cputcxy(LEFT, TOP + 1 + ITEMS, CH_LLCORNER);
    chline(WIDTH - 2);
    cputc(CH_LRCORNER);
    textcolor(COLOR_WHITE);
    for (i = 0; i < ITEMS; ++i) {
        show(i, i == chosen);
    }
    for (;;) {
        key = cgetc();
        if (key == CH_ENTER || key == CH_ESC || key == 'q') {
            break;
        }
        if (key == CH_CURS_UP || key == CH_CURS_DOWN) {
            show(chosen, 0);
            chosen = (chosen + (key == CH_CURS_UP ? ITEMS - 1 : 1)) % ITEMS;
            show(chosen, 1);
        }
    }
    gotoxy(0, TOP + ITEMS + 3);
    if (key == CH_ENTER) {
        cprintf("%s, then.\r\n", item[chosen]);
    } else {
        cputs("Nothing, then.\r\n");
    }
    return 0;
}
