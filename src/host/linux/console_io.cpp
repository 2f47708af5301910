// Standard input and output of the machine's console on Linux: the raw
// reads and writes, and the terminal's modes, which the signal handlers
// undo and redo too (so everything here is async-signal-safe).
#include <poll.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "host/console_stream.hpp"
#include "host/linux/keyboard_state.hpp"
#include "host/terminal.hpp"

namespace {
// The terminal shows the program's modes (false while it is suspended).
volatile sig_atomic_t modes_applied = 1;

// Bytes dropped because nobody took them after a stop signal.
std::size_t dropped_after_stop = 0;

// How long one write may block once the run has been asked to stop.
constexpr long STOPPING_WRITE_MS = 100;

void on_alarm(int) {}

// A write that can wait no longer than STOPPING_WRITE_MS: a timer's signal
// interrupts it (EINTR) should the reader take nothing.
ssize_t write_within_limit(const std::uint8_t* data, std::size_t size) {
    static bool handler_set = false;
    if (!handler_set) {
        struct sigaction action {};
        action.sa_handler = on_alarm;
        sigemptyset(&action.sa_mask);
        sigaction(SIGALRM, &action, nullptr);  // no SA_RESTART: the write returns
        handler_set = true;
    }
    itimerval limit{};
    limit.it_value.tv_usec = STOPPING_WRITE_MS * 1000;
    setitimer(ITIMER_REAL, &limit, nullptr);
    const ssize_t n = write(STDOUT_FILENO, data, size);
    const int saved_errno = errno;
    limit.it_value.tv_usec = 0;
    setitimer(ITIMER_REAL, &limit, nullptr);
    errno = saved_errno;
    return n;
}

// After a stop signal: output is written only as far as it goes at once.
bool writable_now() {
    pollfd out{STDOUT_FILENO, POLLOUT, 0};
    return poll(&out, 1, 0) > 0 && (out.revents & POLLOUT) != 0 && (out.revents & (POLLERR | POLLHUP)) == 0;
}
}  // namespace

std::size_t console_dropped_after_stop() { return dropped_after_stop; }

// Once a signal has asked the run to stop, a reader that does not read
// cannot hold it: what cannot be written at once is dropped (a broken pipe
// drops it anyway, without a word).
std::size_t console_write_raw(const std::uint8_t* data, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const bool stopping = host_stop_signal() != 0;
        if (stopping && !writable_now()) {
            if (host_stop_signal() != SIGPIPE) dropped_after_stop += size - done;
            return size;
        }
        const ssize_t n = stopping ? write_within_limit(data + done, size - done)
                                   : write(STDOUT_FILENO, data + done, size - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;  // a stop signal is seen above
        if (n < 0 && errno == EAGAIN) {  // a non-blocking descriptor shared with someone else
            pollfd writable{STDOUT_FILENO, POLLOUT, 0};
            (void)poll(&writable, 1, stopping ? static_cast<int>(STOPPING_WRITE_MS) : -1);
            continue;
        }
        const int error = n < 0 ? errno : EIO;
        // Nobody reads any more (emu6502 prog | head): end the run as any
        // pipeline stage would, between two instructions, with the terminal
        // restored and the data file closed. A closed standard output is the
        // user's way of saying the output is not wanted. Anything else (a full
        // disk) is reported once the run is over; the machine runs on.
        if (error == EPIPE) host_request_stop(SIGPIPE);
        else if (error != EBADF) console_output_failed(error);
        return size;
    }
    return done;
}

long console_read_raw(std::uint8_t* into, std::size_t size) {
    for (;;) {
        const ssize_t n = read(STDIN_FILENO, into, size);
        if (n < 0 && errno == EINTR && host_stop_signal() == 0) continue;
        return n;
    }
}

void host_console_close() {
    host_console_flush();
    if (console_output() != ConsoleOutput::terminal) return;
    console_leave_program_modes();
    console_modes().clear();
}

void console_leave_program_modes() {
    if (console_output() != ConsoleOutput::terminal || !modes_applied) return;
    console_undo_modes();
    modes_applied = 0;
}

void console_enter_program_modes() {
    if (console_output() != ConsoleOutput::terminal || modes_applied) return;
    // Only a job back in the foreground: "bg" leaves the terminal to the shell.
    if (tcgetpgrp(STDOUT_FILENO) != getpgrp()) return;
    console_redo_modes();
    modes_applied = 1;
}

bool console_query_sent() { return console_modes().query_sent(); }

bool console_program_modes_shown() { return modes_applied != 0; }

// Linux terminals interpret escape sequences already: only the choice
// between writing at once and buffering is left.
void host_enable_virtual_terminal() {
    console_set_output(isatty(STDOUT_FILENO) ? ConsoleOutput::terminal : ConsoleOutput::buffered);
}

bool host_stdin_is_terminal() { return isatty(STDIN_FILENO) != 0; }
