// The monitor on the console (CONIN$ and CONOUT$), with the console's own
// line input: no editing library here.
#include "host/monitor_terminal.hpp"

#include <cstdio>

#include "host/terminal.hpp"

namespace {
std::FILE* console_in = nullptr;
std::FILE* console_out = nullptr;
}  // namespace

bool monitor_terminal_open() {
    if (console_in != nullptr) return true;
    console_in = _wfopen(L"CONIN$", L"r");
    console_out = _wfopen(L"CONOUT$", L"w");
    if (console_in == nullptr || console_out == nullptr) {
        monitor_terminal_close();
        return false;
    }
    return true;
}

void monitor_terminal_close() {
    if (console_in != nullptr) std::fclose(console_in);
    if (console_out != nullptr) std::fclose(console_out);
    console_in = console_out = nullptr;
}

std::optional<std::string> monitor_terminal_read_line(const char* prompt) {
    if (console_in == nullptr) return std::nullopt;
    monitor_terminal_write(prompt);
    std::string text;
    char part[256];
    for (;;) {
        if (std::fgets(part, sizeof part, console_in) == nullptr) {
            if (text.empty() || host_stop_signal() != 0) return std::nullopt;
            break;
        }
        text += part;
        if (!text.empty() && text.back() == '\n') break;
    }
    if (host_stop_signal() != 0) return std::nullopt;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

void monitor_terminal_write(const char* text) {
    if (console_out == nullptr) return;
    host_console_flush();
    std::fputs(text, console_out);
    std::fflush(console_out);
}

const char* monitor_line_editing() { return "the console's line input"; }
