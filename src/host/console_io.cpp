// Standard input and output, byte by byte, without stdio buffering: what the
// program prints must reach the terminal before the next instruction runs.
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "host/terminal.hpp"

int host_stdin_read() {
    unsigned char byte = 0;
    for (;;) {
        const ssize_t n = read(STDIN_FILENO, &byte, 1);
        if (n == 1) return byte;
        if (n < 0 && errno == EINTR && host_stop_signal() == 0) continue;
        return -1;
    }
}

void host_console_write(std::uint8_t value) {
    for (;;) {
        const ssize_t n = write(STDOUT_FILENO, &value, 1);
        if (n == 1) return;
        if (n < 0 && errno == EINTR && host_stop_signal() == 0) continue;
        // Nobody reads any more (emu6502 prog | head): end the run as any
        // pipeline stage would, between two instructions, with the terminal
        // restored and the data file closed. Any other failure, such as a
        // closed standard output, only drops the byte: the machine runs on.
        if (n < 0 && errno == EPIPE) host_request_stop(SIGPIPE);
        return;
    }
}

// Linux terminals interpret escape sequences already: nothing to switch.
void host_enable_virtual_terminal() {}
void host_restore_console() {}
