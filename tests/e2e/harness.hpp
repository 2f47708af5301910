// Runs the real emu6502 binary in a fresh temporary directory and captures
// everything it does: standard output, standard error, exit status, files.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace e2e {

using Bytes = std::vector<std::uint8_t>;

struct RunResult {
    int exit_code = -1;    // when the process exited
    int term_signal = 0;   // when a signal ended it
    bool timed_out = false;
    std::string out;
    std::string err;
};

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    [[nodiscard]] const std::filesystem::path& path() const { return path_; }
    [[nodiscard]] std::filesystem::path file(const std::string& name) const { return path_ / name; }
    void write(const std::string& name, const Bytes& bytes) const;
    void write(const std::string& name, const std::string& text) const;
    [[nodiscard]] bool exists(const std::string& name) const;
    [[nodiscard]] Bytes read(const std::string& name) const;

private:
    std::filesystem::path path_;
};

struct RunOptions {
    std::string stdin_data;       // fed through a pipe, then closed
    bool stdin_closed = false;    // run with standard input closed altogether
    bool stdout_closed = false;   // run with standard output closed altogether
    bool stderr_closed = false;   // run with standard error closed altogether
    bool as_normal_user = false;  // as root, run as normal_user_id() (see hand_to_normal_user)
    int timeout_seconds = 30;
    int kill_after_ms = 0;        // send kill_signal after this long (0: never)
    int kill_signal = 15;
    bool stdout_unread = false;   // standard output to a pipe that nobody reads: it fills up
    long file_size_limit = 0;     // RLIMIT_FSIZE in bytes, SIGXFSZ ignored: a disk that fills up (0: none)
    std::vector<int> ignored_signals;  // ignored when the emulator starts, as nohup or a script's & leave them
};

// Runs emu6502 with `args` in `dir`, detached from any terminal (as in CI).
RunResult run_emulator(const TempDir& dir, const std::vector<std::string>& args, const RunOptions& options = {});

// Runs `script` with bash in `dir`, with $EMU naming the emulator; the
// script's own redirections say where the streams go. Its exit status.
int run_script(const TempDir& dir, const std::string& script);

// The user a root test runs the emulator as, when permissions matter: root
// may read and write anything. nullopt when no such user can be had.
[[nodiscard]] std::optional<unsigned> normal_user_id();
// Makes `dir` and everything in it the normal user's, so that a run with
// as_normal_user can work there (nothing to do when not root).
void hand_to_normal_user(const TempDir& dir);

// A program image: `code` placed at `origin` (an image file holds only code).
[[nodiscard]] std::string binary_path();
[[nodiscard]] std::string source_dir();

// Memory as a fresh machine has it before any image is loaded: 0xEE
// everywhere, reset vector 0x0200, IRQ vector 0x0000, trace off.
[[nodiscard]] Bytes fresh_memory();
// Copies `code` into `memory` from `at` upward.
void place(Bytes& memory, std::size_t at, const Bytes& code);

// A program that lets `ticks` timer interrupts pass (10 ms each), prints
// '!' and ends: a run that lasts a known time, whatever the host's speed.
[[nodiscard]] Bytes ticking_program(std::uint8_t ticks);

// The 65,536-byte memory image a program leaves in "membackup".
[[nodiscard]] Bytes membackup(const TempDir& dir);

}  // namespace e2e
