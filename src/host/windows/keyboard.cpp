// The keyboard is the console's: _kbhit never waits, _getch delivers a
// key unechoed, and a key the console reports as two codes (arrows,
// function keys: 0 or 0xE0, then the scan code) arrives one code per read.
#include <conio.h>
#include <windows.h>

#include "host/terminal.hpp"

void keyboard_open() {}

void keyboard_close() {
    host_restore_console();
    // Keys typed for the program are not the shell's.
    FlushConsoleInputBuffer(GetStdHandle(STD_INPUT_HANDLE));
}

bool host_key_waiting() { return _kbhit() != 0; }

int host_key_read() { return host_key_waiting() ? _getch() : 0; }
