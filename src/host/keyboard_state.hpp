// Between the keyboard and the signal handlers: both are async-signal-safe.
#pragma once

void keyboard_enter_key_mode();
void keyboard_leave_key_mode();
