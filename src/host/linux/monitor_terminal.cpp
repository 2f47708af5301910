// The monitor on /dev/tty, opened apart from the keyboard's non-blocking
// descriptor, with libedit for editing and history where the build found
// it, and the terminal's own line input where it did not.
#include "host/monitor_terminal.hpp"

#ifdef EMU6502_HAVE_LIBEDIT
#include <histedit.h>
#endif

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "host/linux/keyboard_state.hpp"
#include "host/terminal.hpp"

namespace {
std::FILE* tty_in = nullptr;
std::FILE* tty_out = nullptr;
#ifdef EMU6502_HAVE_LIBEDIT
EditLine* editor = nullptr;
History* history_list = nullptr;
char prompt_text[32] = "";
// Lines typed in earlier sessions, kept in the user's home folder.
std::string history_file;
bool history_changed = false;

char* current_prompt(EditLine*) { return prompt_text; }

// Ctrl-C while a line is typed: the line is dropped; on an empty line it
// ends the run, as `q` does.
bool line_cancelled = false;
unsigned char cancel_line(EditLine* edit, int) {
    const LineInfo* line = el_line(edit);
    if (line->lastchar == line->buffer) {
        host_request_stop(SIGINT);
        return CC_EOF;
    }
    line_cancelled = true;
    return CC_NEWLINE;
}

// With the terminal's signal keys off while a line is typed, Ctrl-\ and
// Ctrl-Z act as they do elsewhere: the first ends the run, the second
// suspends it, and the line is taken up again on return.
unsigned char quit_key(EditLine*, int) {
    host_request_stop(SIGQUIT);
    return CC_EOF;
}

unsigned char suspend_key(EditLine* edit, int) {
    el_set(edit, EL_PREP_TERM, 0);
    keyboard_enter_key_mode();
    monitor_console_give_back();  // as the handler expects to find it
    raise(SIGTSTP);
    monitor_console_take();
    keyboard_leave_key_mode();
    el_set(edit, EL_PREP_TERM, 1);
    return CC_REDISPLAY;
}
#endif
}  // namespace

bool monitor_terminal_open() {
    if (tty_out != nullptr) return true;
    tty_in = std::fopen("/dev/tty", "re");
    if (tty_in == nullptr) return false;
    tty_out = std::fopen("/dev/tty", "we");
    if (tty_out == nullptr) {
        monitor_terminal_close();
        return false;
    }
    std::setvbuf(tty_out, nullptr, _IOLBF, 0);
#ifdef EMU6502_HAVE_LIBEDIT
    editor = el_init("emu6502", tty_in, tty_out, tty_out);
    if (editor == nullptr) {
        monitor_terminal_close();
        return false;
    }
    history_list = history_init();
    HistEvent event;
    history(history_list, &event, H_SETSIZE, 200);
    history(history_list, &event, H_SETUNIQUE, 1);
    const char* home = std::getenv("HOME");
    if (home != nullptr && *home != '\0') {
        history_file = std::string(home) + "/.emu6502_history";
        (void)history(history_list, &event, H_LOAD, history_file.c_str());  // none yet is fine
    }
    el_set(editor, EL_EDITOR, "emacs");
    el_set(editor, EL_HIST, history, history_list);
    el_set(editor, EL_PROMPT, current_prompt);
    // Ctrl-C reaches the editor as a key, not as a signal.
    el_set(editor, EL_SETTY, "-d", "-isig", nullptr);
    el_set(editor, EL_ADDFN, "emu6502-cancel", "drop the line, or end the run on an empty one", cancel_line);
    el_set(editor, EL_BIND, "^C", "emu6502-cancel", nullptr);
    el_set(editor, EL_ADDFN, "emu6502-quit", "end the run", quit_key);
    el_set(editor, EL_BIND, "\\034", "emu6502-quit", nullptr);
    el_set(editor, EL_ADDFN, "emu6502-suspend", "suspend the run", suspend_key);
    el_set(editor, EL_BIND, "^Z", "emu6502-suspend", nullptr);
#endif
    return true;
}

void monitor_terminal_close() {
#ifdef EMU6502_HAVE_LIBEDIT
    if (editor != nullptr) el_end(editor);
    if (history_list != nullptr && history_changed && !history_file.empty()) {
        HistEvent event;
        (void)history(history_list, &event, H_SAVE, history_file.c_str());
    }
    if (history_list != nullptr) history_end(history_list);
    history_changed = false;
    editor = nullptr;
    history_list = nullptr;
#endif
    if (tty_in != nullptr) std::fclose(tty_in);
    if (tty_out != nullptr) std::fclose(tty_out);
    tty_in = tty_out = nullptr;
}

std::optional<std::string> monitor_terminal_read_line(const char* prompt) {
    if (tty_in == nullptr) return std::nullopt;
    host_console_flush();
#ifdef EMU6502_HAVE_LIBEDIT
    std::snprintf(prompt_text, sizeof prompt_text, "%s", prompt);
    // libedit takes the terminal as it finds it and puts it back so.
    keyboard_leave_key_mode();
    int length = 0;
    const char* line = nullptr;
    do {
        line_cancelled = false;
        line = el_gets(editor, &length);
        if (line != nullptr && line_cancelled) std::fputs("\n", tty_out);
    } while (line != nullptr && line_cancelled && host_stop_signal() == 0);
    keyboard_enter_key_mode();
    if (line == nullptr || host_stop_signal() != 0) return std::nullopt;
    std::string text(line, static_cast<std::size_t>(length));
#else
    // The terminal's own line editing: erase and kill, no history. Line
    // mode comes before the prompt, so that a line typed as soon as the
    // prompt shows is read as a line.
    keyboard_leave_key_mode();
    std::fputs(prompt, tty_out);
    std::fflush(tty_out);
    char buffer[512];
    const char* line = std::fgets(buffer, sizeof buffer, tty_in);
    keyboard_enter_key_mode();
    if (line == nullptr || host_stop_signal() != 0) return std::nullopt;
    std::string text(line);
#endif
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
#ifdef EMU6502_HAVE_LIBEDIT
    if (!text.empty()) {
        HistEvent event;
        history(history_list, &event, H_ENTER, text.c_str());
        history_changed = true;
    }
#endif
    return text;
}

void monitor_terminal_write(const char* text) {
    if (tty_out == nullptr) return;
    host_console_flush();  // the program's output first, in the order it happened
    std::fputs(text, tty_out);
    std::fflush(tty_out);
}

const char* monitor_line_editing() {
#ifdef EMU6502_HAVE_LIBEDIT
    return "libedit, with history";
#else
    return "none (built without libedit)";
#endif
}
