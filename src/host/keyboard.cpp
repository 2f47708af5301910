// The keyboard is the controlling terminal, opened separately from standard
// input so that keys still arrive when standard input is a file or a pipe.
// While the machine runs, the terminal delivers each key at once, unechoed,
// with Enter as carriage return; Ctrl-C and Ctrl-Z still raise signals.
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <initializer_list>

#include "host/terminal.hpp"
#include "host/keyboard_state.hpp"

namespace {
volatile sig_atomic_t tty_fd = -1;
termios saved_settings{};
termios key_settings{};
volatile sig_atomic_t key_mode_active = 0;
int pending_key = -1;

// The handlers switch the terminal too; while the main flow does so, they
// wait, or a Ctrl-Z between the switch and its flag would leave the
// terminal raw for the shell, and a resume during the close would make it
// raw again after it had been restored.
class TerminalSignalsBlocked {
public:
    TerminalSignalsBlocked() {
        sigset_t set;
        sigemptyset(&set);
        for (const int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGTSTP, SIGCONT}) sigaddset(&set, s);
        sigprocmask(SIG_BLOCK, &set, &previous_);
    }
    ~TerminalSignalsBlocked() { sigprocmask(SIG_SETMASK, &previous_, nullptr); }
    TerminalSignalsBlocked(const TerminalSignalsBlocked&) = delete;
    TerminalSignalsBlocked& operator=(const TerminalSignalsBlocked&) = delete;

private:
    sigset_t previous_;
};
}  // namespace

// Called from signal handlers as well: only async-signal-safe calls here.
void keyboard_enter_key_mode() {
    if (tty_fd < 0) return;
    // A background job leaves the terminal to the job in the foreground.
    if (tcgetpgrp(tty_fd) != getpgrp()) return;
    if (tcsetattr(tty_fd, TCSANOW, &key_settings) == 0) key_mode_active = 1;
}

void keyboard_leave_key_mode() {
    if (tty_fd < 0 || !key_mode_active) return;
    tcsetattr(tty_fd, TCSANOW, &saved_settings);
    key_mode_active = 0;
}

void keyboard_open() {
    if (tty_fd >= 0) return;
    const int fd = open("/dev/tty", O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return;  // no controlling terminal: no key is ever waiting
    if (tcgetattr(fd, &saved_settings) != 0) {
        close(fd);
        return;
    }
    key_settings = saved_settings;
    key_settings.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ECHONL | IEXTEN);
    // Enter arrives as 13, as programs written for this machine expect;
    // Ctrl-S and Ctrl-Q are keys, not flow control.
    key_settings.c_iflag &= ~static_cast<tcflag_t>(ICRNL | INLCR | IGNCR | IXON);
    key_settings.c_cc[VMIN] = 0;
    key_settings.c_cc[VTIME] = 0;
    const TerminalSignalsBlocked blocked;
    tty_fd = fd;
    keyboard_enter_key_mode();
}

void keyboard_close() {
    const TerminalSignalsBlocked blocked;
    keyboard_leave_key_mode();
    if (tty_fd >= 0) {
        close(tty_fd);
        tty_fd = -1;  // from here on a resume leaves the terminal alone
    }
    pending_key = -1;
}

bool host_key_waiting() {
    if (pending_key >= 0) return true;
    if (tty_fd < 0) return false;
    if (!key_mode_active) {
        // A job started in the background may be brought to the foreground
        // without a SIGCONT (a shell's "fg" on a running job): take the
        // terminal as soon as it is ours.
        if (tcgetpgrp(tty_fd) != getpgrp()) return false;
        const TerminalSignalsBlocked blocked;
        keyboard_enter_key_mode();
        if (!key_mode_active) return false;
    }
    unsigned char code = 0;
    if (read(tty_fd, &code, 1) == 1) {
        pending_key = code;
        return true;
    }
    return false;
}

int host_key_read() {
    if (!host_key_waiting()) return 0;
    const int code = pending_key;
    pending_key = -1;
    return code;
}
