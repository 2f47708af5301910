/* c_diary.c - a diary with cc65's stdio and <time.h>: the line typed is
 * added to file3 with the date and time, then the whole diary is shown.
 *
 * Build:  sdk/build.sh examples/c_diary.bin examples/c_diary.c
 * Run:    build/emu6502 examples/c_diary.bin                 (type a line)
 *         echo 'Rain again' | build/emu6502 examples/c_diary.bin -i
 */
#include <stdio.h>
#include <string.h>
#include <time.h>

static char line[64];
static char stamp[20];

int main(void)
{
    FILE* diary;
    time_t now;

    printf("Today: ");
    if (fgets(line, sizeof line, stdin) == NULL) {
        return 1;
    }
    printf("%s", line);
    now = time(NULL);
    strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M", localtime(&now));

    diary = fopen("file3", "a");
    if (diary == NULL) {
        perror("file3");
        return 1;
    }
    fprintf(diary, "%s %s", stamp, line);
    if (fclose(diary) != 0) {
        perror("file3");
        return 1;
    }

    diary = fopen("file3", "r");
    if (diary == NULL) {
        perror("file3");
        return 1;
    }
    printf("--- the diary ---\n");
    while (fgets(line, sizeof line, diary) != NULL) {
        printf("%s", line);
    }
    fclose(diary);
    return 0;
}
