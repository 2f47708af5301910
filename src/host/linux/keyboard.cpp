// The keyboard is the controlling terminal, opened separately from standard
// input so that keys still arrive when standard input is a file or a pipe.
// While the machine runs, the terminal delivers each key at once, unechoed,
// with Enter as carriage return; Ctrl-C and Ctrl-Z still raise signals.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <initializer_list>

#include "host/clock.hpp"
#include "host/console_stream.hpp"
#include "host/terminal.hpp"
#include "host/linux/keyboard_state.hpp"
#include "host/monitor_terminal.hpp"

std::uint32_t host_clock_polls = 0;

namespace {
volatile sig_atomic_t tty_fd = -1;
termios saved_settings{};
termios key_settings{};
volatile sig_atomic_t key_mode_active = 0;
int pending_key = -1;
std::int64_t next_tick_ms = 0;  // 0: no tick reported yet
bool monitor_key_enabled = false;
bool monitor_key_seen = false;

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

void keyboard_discard_input() {
    if (tty_fd >= 0 && tcgetpgrp(tty_fd) == getpgrp()) tcflush(tty_fd, TCIFLUSH);
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
    if (tty_fd >= 0 && console_query_sent() && tcgetpgrp(tty_fd) == getpgrp()) {
        // The terminal's answer to the program's last question may still be
        // on its way: let it arrive (a few milliseconds) so that it is
        // discarded here rather than typed at the shell's prompt.
        for (int round = 0; round < 5; ++round) {
            tcflush(tty_fd, TCIFLUSH);
            pollfd answer{tty_fd, POLLIN, 0};
            if (poll(&answer, 1, 30) <= 0) break;
        }
    }
    keyboard_discard_input();
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
        if (monitor_key_enabled && code == MONITOR_KEY) [[unlikely]] {
            monitor_key_seen = true;
            return false;
        }
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

void host_timer_tick(std::int64_t next_deadline_ms) {
    next_tick_ms = next_deadline_ms;
    host_console_flush();
    // Back in the foreground without a SIGCONT (Ctrl-Z, "bg", then "fg"):
    // the keys and the program's modes, as a resume would set them.
    if ((tty_fd >= 0 && !key_mode_active) || !console_program_modes_shown()) {
        const int terminal = tty_fd >= 0 ? static_cast<int>(tty_fd) : STDOUT_FILENO;
        if (tcgetpgrp(terminal) != getpgrp()) return;
        const TerminalSignalsBlocked blocked;
        keyboard_enter_key_mode();
        console_enter_program_modes();
    }
}

void host_key_wait() {
    // A signal that asks the run to stop is seen at the next clock poll.
    if (pending_key >= 0 || next_tick_ms == 0 || host_stop_signal() != 0) return;
    const std::int64_t left = next_tick_ms - host_clock_ms();
    if (left <= 0) return;
    // Only a terminal in key mode is watched: in the background, keys are
    // the foreground's, and they would wake us at once without being ours.
    pollfd key{tty_fd, POLLIN, 0};
    const bool watch = tty_fd >= 0 && key_mode_active;
    if (poll(&key, watch ? 1 : 0, static_cast<int>(left)) > 0 && (key.revents & (POLLERR | POLLHUP | POLLNVAL))) {
        // A terminal that hung up is always "ready": sleep out the tick.
        const std::int64_t rest = next_tick_ms - host_clock_ms();
        if (rest > 0) poll(nullptr, 0, static_cast<int>(rest));
    }
}

void host_monitor_key_enable(bool enabled) { monitor_key_enabled = enabled; }

bool host_monitor_key_pressed() {
    (void)host_key_waiting();  // reads the key, if one came
    const bool seen = monitor_key_seen;
    monitor_key_seen = false;
    return seen;
}
