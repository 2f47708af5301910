// Signals never interrupt an instruction: Ctrl-C, Ctrl-\, SIGTERM and SIGHUP only
// restore the terminal and raise a flag that the run loop polls between
// instructions. The loop then closes the data file and lets the signal
// end the process as it would have, so "membackup" keeps the last image.
#include <poll.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cerrno>
#include <cstdlib>

#include "host/console_stream.hpp"
#include "host/linux/keyboard_state.hpp"
#include "host/terminal.hpp"

namespace {
volatile sig_atomic_t stop_signal = 0;

// The signal's own default action, now, even from inside its handler
// (async-signal-safe calls only).
void raise_with_default_action(int signal_number) {
    std::signal(signal_number, SIG_DFL);
    sigset_t unblock;
    sigemptyset(&unblock);
    sigaddset(&unblock, signal_number);
    sigprocmask(SIG_UNBLOCK, &unblock, nullptr);
    raise(signal_number);
}

void on_stop_request(int signal_number) {
    const int saved_errno = errno;
    keyboard_leave_key_mode();
    stop_signal = signal_number;
    errno = saved_errno;
}

void on_suspend(int) {
    const int saved_errno = errno;
    // The shell gets its terminal back as it left it: the program's modes
    // undone and no keys left over for it.
    console_leave_program_modes();
    keyboard_discard_input();
    keyboard_leave_key_mode();
    // Stop for real with the default action; SIGCONT brings us back here.
    raise_with_default_action(SIGTSTP);
    struct sigaction again {};
    again.sa_handler = on_suspend;
    sigemptyset(&again.sa_mask);
    sigaction(SIGTSTP, &again, nullptr);
    errno = saved_errno;
}

void on_resume(int) {
    const int saved_errno = errno;
    keyboard_enter_key_mode();  // only if we came back to the foreground
    console_enter_program_modes();
    errno = saved_errno;
}

// A signal that was ignored when the program started (nohup, or a
// script's "&" for Ctrl-C) stays ignored.
void install(int signal_number, void (*handler)(int)) {
    struct sigaction found {};
    if (sigaction(signal_number, nullptr, &found) == 0 && found.sa_handler == SIG_IGN) return;
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: a blocked read of standard input returns
    sigaction(signal_number, &action, nullptr);
}
}  // namespace

void signals_install() {
    install(SIGINT, on_stop_request);
    install(SIGTERM, on_stop_request);
    install(SIGHUP, on_stop_request);
    install(SIGQUIT, on_stop_request);
    install(SIGTSTP, on_suspend);
    install(SIGCONT, on_resume);
    // A job in the background must neither stop nor hang on the terminal.
    std::signal(SIGTTOU, SIG_IGN);
    std::signal(SIGTTIN, SIG_IGN);
    // A reader that went away (emu6502 prog | head) must not kill us in the
    // middle of an instruction with the terminal raw: the failed write asks
    // the run to stop instead, and we end by SIGPIPE between instructions.
    std::signal(SIGPIPE, SIG_IGN);
    // A file that reaches the size limit fails its write (EFBIG), which is
    // reported at the end, instead of killing the run before its save.
    std::signal(SIGXFSZ, SIG_IGN);
}

int host_stop_signal() { return stop_signal; }

void host_request_stop(int signal_number) {
    if (stop_signal == 0) stop_signal = signal_number;
}

void host_die_by_signal(int signal_number) {
    host_console_close();
    keyboard_close();
    if (const std::size_t dropped = console_dropped_after_stop(); dropped > 0) {
        char line[160];
        const int n = std::snprintf(line, sizeof line,
                                    "emu6502: %zu bytes of output that nobody took were dropped after the stop "
                                    "signal.\n",
                                    dropped);
        // Standard error may be the same full pipe: only what goes at once.
        pollfd err{STDERR_FILENO, POLLOUT, 0};
        if (n > 0 && poll(&err, 1, 0) > 0 && (err.revents & POLLOUT) != 0) (void)!write(STDERR_FILENO, line, static_cast<std::size_t>(n));
    }
    raise_with_default_action(signal_number);
    std::_Exit(128 + signal_number);  // only if the signal did not end us
}
