// KBD_IN and CON_OUT.
#include "bus/devices.hpp"
#include "host/terminal.hpp"

bool stdin_input = false;

void console_init(bool from_stdin) { stdin_input = from_stdin; }

u8 kbd_in_read() {
    if (stdin_input) {
        const int c = host_stdin_read();
        if (c >= 0) return static_cast<u8>(c);  // 0x7F stays 0x7F on this path
        stdin_input = false;  // input has ended: the keyboard takes over
        return 0;
    }
    // Polling must never block: a program loops on this register.
    if (!host_key_waiting()) return 0;
    const int code = host_key_read();
    // The DEL key deletes backwards on this machine.
    return code == 127 ? 8 : static_cast<u8>(code);
}

void con_out_write(u8 value) { host_console_write(value); }
