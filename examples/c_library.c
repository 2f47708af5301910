/* c_library.c - the kit's C library at work: conio places text on the
 * screen, stdio saves a note to a data file and reads it back, and time()
 * reads the calendar clock. Its test file, c_library.test.json, calls the
 * library's own routines one at a time: "emu6502 test" runs it.
 *
 * Build:  sdk/build.sh examples/c_library.bin examples/c_library.c
 * Run:    build/emu6502 examples/c_library.bin      (leaves file6 behind)
 */
#include <conio.h>
#include <stdio.h>
#include <string.h>
#include <time.h>

static char line[40];

/* Writes `text` as the whole of data file `name`: 0, or -1 when it fails. */
int save_note(const char* name, const char* text)
{
    FILE* file = fopen(name, "w");
    if (file == NULL) {
        return -1;
    }
    fputs(text, file);
    return fclose(file);
}

/* Reads the first line of data file `name` into `line`: its length, or -1. */
int load_note(const char* name)
{
    FILE* file = fopen(name, "r");
    if (file == NULL) {
        return -1;
    }
    if (fgets(line, sizeof line, file) == NULL) {
        line[0] = '\0';
    }
    fclose(file);
    return strlen(line);
}

int main(void)
{
    const time_t now = time(NULL);
    int length;

    clrscr();
    gotoxy(2, 1);
    cputs("the kit's library");
    gotoxy(0, 3);
    save_note("file6", "tea at four");
    length = load_note("file6");
    printf("note of %d bytes: %s\n", length, line);
    printf("seconds since 1970: %lu\n", (unsigned long)now);
    return 0;
}
