#include "e2e/harness.hpp"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace e2e {

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "emu6502-e2e-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    // Restore write permission on anything a test made read-only.
    for (auto it = std::filesystem::recursive_directory_iterator(path_, ignored);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ignored))
        std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add,
                                 ignored);
    std::filesystem::remove_all(path_, ignored);
}

void TempDir::write(const std::string& name, const Bytes& bytes) const {
    std::ofstream out(file(name), std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void TempDir::write(const std::string& name, const std::string& text) const {
    std::ofstream out(file(name), std::ios::binary);
    out << text;
}

bool TempDir::exists(const std::string& name) const { return std::filesystem::exists(file(name)); }

Bytes TempDir::read(const std::string& name) const {
    std::ifstream in(file(name), std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string binary_path() { return EMU6502_BINARY; }
std::string source_dir() { return EMU6502_SOURCE_DIR; }

Bytes fresh_memory() {
    Bytes m(0x10000, 0xEE);
    m[0xFFFC] = 0x00;
    m[0xFFFD] = 0x02;
    m[0xFFFE] = m[0xFFFF] = 0x00;
    m[0xFF03] = 0x00;
    return m;
}

void place(Bytes& memory, std::size_t at, const Bytes& code) {
    std::copy(code.begin(), code.end(), memory.begin() + static_cast<std::ptrdiff_t>(at));
}

Bytes ticking_program(std::uint8_t ticks) {
    const Bytes main = {
        0x78, 0xA9, 0x00, 0x85, 0x10,        // SEI; LDA #0; STA $10
        0xA9, 0x40, 0x8D, 0xFE, 0xFF,        // LDA #$40; STA $FFFE
        0xA9, 0x02, 0x8D, 0xFF, 0xFF,        // LDA #$02; STA $FFFF: the handler at 0x0240
        0x58,                                // CLI
        0xA5, 0x10, 0xC9, ticks, 0x90, 0xFA,  // wait: LDA $10; CMP #ticks; BCC wait
        0x78, 0xA9, 0x21, 0x8D, 0x01, 0xFF,  // SEI; LDA #'!'; STA $FF01
        0x4C, 0x00, 0x00,                    // JMP $0000
    };
    Bytes p(0x43, 0xEA);
    std::copy(main.begin(), main.end(), p.begin());
    p[0x40] = 0xE6, p[0x41] = 0x10, p[0x42] = 0x40;  // handler: INC $10; RTI
    return p;
}

Bytes membackup(const TempDir& dir) { return dir.read("membackup"); }

int run_script(const TempDir& dir, const std::string& script) {
    dir.write(".script.sh", script);
    const std::string command = "cd '" + dir.path().string() + "' && EMU='" + binary_path() + "' bash .script.sh";
    const int status = std::system(command.c_str());
    std::filesystem::remove(dir.file(".script.sh"));
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::optional<unsigned> normal_user_id() {
    if (geteuid() != 0) return geteuid();
    // "nobody" where the system has it; the number serves even without an entry.
    const passwd* nobody = getpwnam("nobody");
    return nobody != nullptr ? nobody->pw_uid : 65534u;
}

void hand_to_normal_user(const TempDir& dir) {
    if (geteuid() != 0) return;
    const unsigned id = normal_user_id().value_or(0);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.path()))
        if (lchown(entry.path().c_str(), id, id) != 0) throw std::runtime_error("lchown failed");
    if (chown(dir.path().c_str(), id, id) != 0) throw std::runtime_error("chown failed");
    // The temporary folder's parent must let the user in.
    std::filesystem::permissions(dir.path(), std::filesystem::perms::owner_all);
}

namespace {
void set_nonblocking(int fd) { fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK); }
}  // namespace

RunResult run_emulator(const TempDir& dir, const std::vector<std::string>& args, const RunOptions& options) {
    int in_pipe[2], out_pipe[2], err_pipe[2];
    if (pipe(in_pipe) != 0 || pipe(out_pipe) != 0 || pipe(err_pipe) != 0) throw std::runtime_error("pipe failed");

    const pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        setsid();  // no controlling terminal, as in CI
        if (chdir(dir.path().c_str()) != 0) _exit(126);
        if (options.stdin_closed) close(0);
        else dup2(in_pipe[0], 0);
        if (options.stdout_closed) close(1);
        else dup2(out_pipe[1], 1);
        if (options.stderr_closed) close(2);
        else dup2(err_pipe[1], 2);
        if (options.as_normal_user && geteuid() == 0) {
            const unsigned id = normal_user_id().value_or(0);
            if (id == 0 || setgroups(0, nullptr) != 0 || setgid(id) != 0 || setuid(id) != 0) _exit(125);
        }
        for (int fd : {in_pipe[0], in_pipe[1], out_pipe[0], out_pipe[1], err_pipe[0], err_pipe[1]})
            if (fd > 2) close(fd);
        signal(SIGPIPE, SIG_DFL);
        for (const int ignored : options.ignored_signals) signal(ignored, SIG_IGN);
        if (options.file_size_limit > 0) {
            const rlimit limit{static_cast<rlim_t>(options.file_size_limit), static_cast<rlim_t>(options.file_size_limit)};
            signal(SIGXFSZ, SIG_IGN);
            if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(124);
        }
        std::vector<char*> argv;
        std::string binary = binary_path();
        argv.push_back(binary.data());
        std::vector<std::string> copies(args);
        for (auto& a : copies) argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(binary.c_str(), argv.data());
        _exit(127);
    }
    close(in_pipe[0]);
    close(out_pipe[1]);
    close(err_pipe[1]);

    // Feed standard input without blocking on a child that is not reading.
    signal(SIGPIPE, SIG_IGN);
    set_nonblocking(in_pipe[1]);
    set_nonblocking(out_pipe[0]);
    set_nonblocking(err_pipe[0]);
    std::size_t fed = 0;
    int in_fd = in_pipe[1];
    if (options.stdin_data.empty()) {
        close(in_fd);
        in_fd = -1;
    }

    RunResult result;
    const auto start = std::chrono::steady_clock::now();
    bool killed = false;
    int out_fd = out_pipe[0], err_fd = err_pipe[0];
    const int unread_fd = options.stdout_unread ? out_fd : -1;
    if (options.stdout_unread) out_fd = -1;
    while (out_fd >= 0 || err_fd >= 0) {
        pollfd fds[3];
        int n = 0;
        if (out_fd >= 0) fds[n++] = {out_fd, POLLIN, 0};
        if (err_fd >= 0) fds[n++] = {err_fd, POLLIN, 0};
        if (in_fd >= 0) fds[n++] = {in_fd, POLLOUT, 0};
        poll(fds, static_cast<nfds_t>(n), 20);
        char buffer[65536];
        for (int i = 0; i < n; ++i) {
            if (fds[i].revents == 0) continue;
            if (fds[i].fd == in_fd) {
                const ssize_t w = write(in_fd, options.stdin_data.data() + fed, options.stdin_data.size() - fed);
                if (w > 0) fed += static_cast<std::size_t>(w);
                if (w < 0 || fed == options.stdin_data.size()) {
                    close(in_fd);
                    in_fd = -1;
                }
                continue;
            }
            const ssize_t r = read(fds[i].fd, buffer, sizeof buffer);
            if (r > 0) {
                (fds[i].fd == out_fd ? result.out : result.err).append(buffer, static_cast<std::size_t>(r));
            } else if (r == 0 || (r < 0 && errno != EAGAIN && errno != EINTR)) {
                close(fds[i].fd);
                (fds[i].fd == out_fd ? out_fd : err_fd) = -1;
            }
        }
        const auto elapsed =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
        if (options.kill_after_ms > 0 && !killed && elapsed >= options.kill_after_ms) {
            kill(pid, options.kill_signal);
            killed = true;
        }
        if (elapsed > options.timeout_seconds * 1000L) {
            kill(pid, SIGKILL);
            result.timed_out = true;
            break;
        }
    }
    if (in_fd >= 0) close(in_fd);
    if (out_fd >= 0) close(out_fd);
    if (unread_fd >= 0) close(unread_fd);
    if (err_fd >= 0) close(err_fd);
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFEXITED(status)) result.exit_code = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result.term_signal = WTERMSIG(status);
    return result;
}

}  // namespace e2e
