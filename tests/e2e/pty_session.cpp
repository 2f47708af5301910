#include "e2e/pty_session.hpp"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <stdexcept>

namespace e2e {

namespace {

using Clock = std::chrono::steady_clock;

long ms_since(Clock::time_point start) {
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

void write_all(int fd, const void* data, std::size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = write(fd, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        p += n;
        size -= static_cast<std::size_t>(n);
    }
}

bool read_all(int fd, void* data, std::size_t size) {
    char* p = static_cast<char*>(data);
    while (size > 0) {
        const ssize_t n = read(fd, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// The session leader: plays the shell for one job. Never returns.
[[noreturn]] void lead_session(const TempDir& dir, const std::vector<std::string>& args, const PtyOptions& options,
                               int report, int release, int command) {
    if (options.tostop) {
        termios t{};
        tcgetattr(STDIN_FILENO, &t);
        t.c_lflag |= TOSTOP;
        tcsetattr(STDIN_FILENO, TCSANOW, &t);
    }
    const pid_t job = fork();
    if (job < 0) _exit(120);
    if (job == 0) {
        setpgid(0, 0);
        char go = 0;
        if (read(release, &go, 1) != 1) _exit(121);  // the test has not let us go
        if (chdir(dir.path().c_str()) != 0) _exit(122);
        if (options.stdin_file) {
            const int fd = open(options.stdin_file->c_str(), O_RDONLY);
            if (fd < 0) _exit(123);
            dup2(fd, STDIN_FILENO);
            close(fd);
        }
        const int err = open("stderr.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (err < 0) _exit(124);
        dup2(err, STDERR_FILENO);
        close(err);
        // Files kept in the home folder (the monitor's line history) go to the run's folder.
        setenv("HOME", dir.path().c_str(), 1);
        const rlimit no_core{0, 0};  // Ctrl-\ would otherwise leave a core file
        setrlimit(RLIMIT_CORE, &no_core);
        for (const int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGTSTP, SIGCONT, SIGTTOU, SIGTTIN, SIGPIPE})
            signal(s, SIG_DFL);
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        std::vector<std::string> copies(args);
        std::string binary = binary_path();
        std::vector<char*> argv{binary.data()};
        for (auto& a : copies) argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(binary.c_str(), argv.data());
        _exit(127);
    }
    setpgid(job, job);
    if (!options.background) tcsetpgrp(STDIN_FILENO, job);
    // Ignore what the job's terminal might send our way.
    signal(SIGHUP, SIG_IGN);
    signal(SIGINT, SIG_IGN);
    signal(SIGTTOU, SIG_IGN);
    write_all(report, &job, sizeof job);
    for (;;) {
        int status = 0;
        const pid_t r = waitpid(job, &status, WUNTRACED | WCONTINUED | WNOHANG);
        if (r < 0 && errno != EINTR) _exit(125);
        if (r == job) {
            write_all(report, &status, sizeof status);
            if (WIFEXITED(status) || WIFSIGNALED(status)) _exit(0);
            continue;
        }
        // Between two looks at the job, the test may ask for the terminal
        // to be handed to it, as "fg" does for a running job.
        pollfd asked{command, POLLIN, 0};
        if (command >= 0 && poll(&asked, 1, 5) == 1) {
            char what = 0;
            if (read(command, &what, 1) == 1) {
                if (what == 'f') tcsetpgrp(STDIN_FILENO, job);
                if (what == 'b') tcsetpgrp(STDIN_FILENO, getpgrp());
            } else {
                command = -1;
            }
        } else if (command < 0) {
            usleep(5000);
        }
    }
}

}  // namespace

bool PtyEvent::exited() const { return WIFEXITED(status); }
bool PtyEvent::signaled() const { return WIFSIGNALED(status); }
bool PtyEvent::stopped() const { return WIFSTOPPED(status); }
int PtyEvent::exit_code() const { return exited() ? WEXITSTATUS(status) : -1; }
int PtyEvent::signal() const {
    if (signaled()) return WTERMSIG(status);
    if (stopped()) return WSTOPSIG(status);
    return 0;
}

PtySession::PtySession(const TempDir& dir, const std::vector<std::string>& args, const PtyOptions& options) {
    int report_pipe[2], release_pipe[2], command_pipe[2];
    if (pipe2(report_pipe, O_CLOEXEC) != 0 || pipe2(release_pipe, O_CLOEXEC) != 0 ||
        pipe2(command_pipe, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    const pid_t pid = forkpty(&master_, nullptr, nullptr, nullptr);
    if (pid < 0) throw std::runtime_error("forkpty failed");
    if (pid == 0) {
        close(report_pipe[0]);
        close(release_pipe[1]);
        close(command_pipe[1]);
        lead_session(dir, args, options, report_pipe[1], release_pipe[0], command_pipe[0]);
    }
    leader_ = pid;
    close(report_pipe[1]);
    close(release_pipe[0]);
    close(command_pipe[0]);
    command_ = command_pipe[1];
    report_ = report_pipe[0];
    release_ = release_pipe[1];
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    fcntl(master_, F_SETFD, FD_CLOEXEC);
    // Hold the slave open too, so the terminal outlives the session leader.
    slave_ = open(ptsname(master_), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);

    pollfd wait_report{report_, POLLIN, 0};
    if (poll(&wait_report, 1, 10000) != 1 || !read_all(report_, &emulator_, sizeof emulator_)) {
        emulator_ = -1;
        return;
    }
    if (!options.typed_before_start.empty()) {
        type(options.typed_before_start);
        pump(100);  // let the terminal echo it before the job starts
    }
    tcgetattr(master_, &before_);
    const char go = 'g';
    write_all(release_, &go, 1);
}

PtySession::~PtySession() {
    if (emulator_ > 0 && !ended_) kill(emulator_, SIGKILL);
    if (leader_ > 0) {
        // The leader ends once it has seen the job end; give it a moment.
        const auto start = Clock::now();
        int status = 0;
        while (waitpid(leader_, &status, WNOHANG) == 0) {
            if (ms_since(start) > 3000) {
                kill(leader_, SIGKILL);
                waitpid(leader_, &status, 0);
                break;
            }
            usleep(5000);
        }
    }
    for (const int fd : {master_, slave_, report_, release_, command_})
        if (fd >= 0) close(fd);
}

termios PtySession::settings_now() const {
    termios t{};
    tcgetattr(master_, &t);
    return t;
}

void PtySession::pump(int timeout_ms) {
    pollfd fd{master_, POLLIN, 0};
    if (poll(&fd, 1, timeout_ms) <= 0) return;
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(master_, buffer, sizeof buffer);
        if (n <= 0) return;
        output_.append(buffer, static_cast<std::size_t>(n));
    }
}

bool PtySession::wait_for_output(const std::string& text, int timeout_ms) {
    const auto start = Clock::now();
    while (output_.find(text) == std::string::npos) {
        if (ms_since(start) > timeout_ms) return false;
        pump(20);
    }
    return true;
}

bool PtySession::wait_for_settings(bool (*want)(const termios&), int timeout_ms) {
    const auto start = Clock::now();
    while (!want(settings_now())) {
        if (ms_since(start) > timeout_ms) return false;
        pump(10);
    }
    return true;
}

const std::string& PtySession::drain(int quiet_ms) {
    const std::size_t limit = 1 << 20;
    for (;;) {
        const std::size_t had = output_.size();
        pump(quiet_ms);
        if (output_.size() == had || output_.size() > limit) return output_;
    }
}

void PtySession::type(const std::string& keys) { write_all(master_, keys.data(), keys.size()); }

void PtySession::bring_to_foreground() const {
    const char what = 'f';
    write_all(command_, &what, 1);
}

void PtySession::take_terminal() const {
    const char what = 'b';
    write_all(command_, &what, 1);
}

void PtySession::send_signal(int signal_number) const {
    if (emulator_ > 0 && !ended_) kill(emulator_, signal_number);
}

std::optional<PtyEvent> PtySession::next_event(int timeout_ms) {
    if (ended_) return std::nullopt;
    const auto start = Clock::now();
    for (;;) {
        pollfd fds[2] = {{report_, POLLIN, 0}, {master_, POLLIN, 0}};
        poll(fds, 2, 20);
        if (fds[1].revents & POLLIN) pump(0);
        if (fds[0].revents & (POLLIN | POLLHUP)) {
            PtyEvent event;
            if (!read_all(report_, &event.status, sizeof event.status)) return std::nullopt;
            if (event.exited() || event.signaled()) ended_ = true;
            return event;
        }
        if (ms_since(start) > timeout_ms) return std::nullopt;
    }
}

std::optional<PtyEvent> PtySession::wait_end(int timeout_ms) {
    const auto start = Clock::now();
    for (;;) {
        const long left = timeout_ms - ms_since(start);
        if (left <= 0) return std::nullopt;
        auto event = next_event(static_cast<int>(left));
        if (!event) return std::nullopt;
        if (event->exited() || event->signaled()) return event;
    }
}

std::string PtySession::unread_input() const {
    std::string got;
    char buffer[256];
    for (;;) {
        const ssize_t n = read(slave_, buffer, sizeof buffer);
        if (n <= 0) return got;
        got.append(buffer, static_cast<std::size_t>(n));
    }
}

bool same_settings(const termios& a, const termios& b) {
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag && a.c_lflag == b.c_lflag &&
           std::memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0 && cfgetispeed(&a) == cfgetispeed(&b) &&
           cfgetospeed(&a) == cfgetospeed(&b);
}

std::string describe_settings(const termios& t) {
    std::ostringstream out;
    out << std::hex << "iflag=" << t.c_iflag << " oflag=" << t.c_oflag << " cflag=" << t.c_cflag
        << " lflag=" << t.c_lflag << " cc=";
    for (const cc_t c : t.c_cc) out << int(c) << ',';
    return out.str();
}

bool key_mode(const termios& t) { return (t.c_lflag & (ICANON | ECHO)) == 0; }
bool canonical_mode(const termios& t) { return (t.c_lflag & (ICANON | ECHO)) == (ICANON | ECHO); }

}  // namespace e2e
