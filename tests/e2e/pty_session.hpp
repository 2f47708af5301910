// Runs emu6502 on a pseudo-terminal of its own, the way a shell would: a
// small session leader owns the terminal and starts the emulator in a new
// process group, in the foreground or the background. The test types
// through the master side, reads everything the terminal shows, signals
// the emulator and follows its stops and exit. Every wait is bounded.
#pragma once

#include <sys/types.h>
#include <termios.h>

#include <optional>
#include <string>
#include <vector>

#include "e2e/harness.hpp"

namespace e2e {

struct PtyOptions {
    bool background = false;                // the emulator's group is not the terminal's foreground group
    bool tostop = false;                    // set TOSTOP, so a background write would stop the writer
    std::optional<std::string> stdin_file;  // standard input from this file in the run directory
    std::string typed_before_start;         // typed on the terminal before the emulator starts
};

// One change of the emulator's state, as waitpid reports it.
struct PtyEvent {
    int status = 0;
    [[nodiscard]] bool exited() const;
    [[nodiscard]] bool signaled() const;
    [[nodiscard]] bool stopped() const;
    [[nodiscard]] int exit_code() const;  // -1 unless exited()
    [[nodiscard]] int signal() const;     // terminating or stopping signal, else 0
};

class PtySession {
public:
    // Starts `emu6502 args...` in `dir`; its standard error goes to the file
    // "stderr.txt" there, so that the terminal shows only standard output.
    PtySession(const TempDir& dir, const std::vector<std::string>& args, const PtyOptions& options = {});
    ~PtySession();
    PtySession(const PtySession&) = delete;
    PtySession& operator=(const PtySession&) = delete;

    [[nodiscard]] bool started() const { return emulator_ > 0; }
    [[nodiscard]] pid_t emulator_pid() const { return emulator_; }

    // Terminal settings just before the emulator was let go.
    [[nodiscard]] const termios& settings_before() const { return before_; }
    [[nodiscard]] termios settings_now() const;

    // Waits until the terminal has shown `text` (true) or the time is up.
    bool wait_for_output(const std::string& text, int timeout_ms = 10000);
    // Waits until the terminal's settings satisfy `want` or the time is up.
    bool wait_for_settings(bool (*want)(const termios&), int timeout_ms = 10000);
    // Reads what is left to show for a moment, then returns all output so far.
    const std::string& drain(int quiet_ms = 150);
    [[nodiscard]] const std::string& output() const { return output_; }

    void type(const std::string& keys);
    void send_signal(int signal_number) const;
    // Makes the emulator's group the terminal's foreground group, without
    // a SIGCONT (as a shell's "fg" does for a job that is running).
    void bring_to_foreground() const;
    // The session leader takes the terminal for itself, as a shell does
    // when a job stops (the job then is in the background).
    void take_terminal() const;

    // The next stop, continue or end of the emulator; nullopt on timeout.
    std::optional<PtyEvent> next_event(int timeout_ms = 10000);
    // Skips stops and continues up to the end; nullopt on timeout.
    std::optional<PtyEvent> wait_end(int timeout_ms = 10000);

    // Bytes typed that nobody has read, from the slave side (non-canonical
    // read, so a line need not be complete).
    [[nodiscard]] std::string unread_input() const;

private:
    void pump(int timeout_ms);

    int master_ = -1;
    int slave_ = -1;
    int report_ = -1;
    int release_ = -1;
    int command_ = -1;
    pid_t leader_ = -1;
    pid_t emulator_ = -1;
    bool ended_ = false;
    termios before_{};
    std::string output_;
};

[[nodiscard]] bool same_settings(const termios& a, const termios& b);
[[nodiscard]] std::string describe_settings(const termios& t);
[[nodiscard]] bool key_mode(const termios& t);      // non-canonical, no echo
[[nodiscard]] bool canonical_mode(const termios& t);  // line mode with echo

}  // namespace e2e
