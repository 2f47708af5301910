// Ctrl-C, Ctrl-Break and closing the console window ask the run to stop
// between two instructions, as signals do on other hosts. The handler runs
// on a thread of its own; closing the window leaves the process a few
// seconds, enough for the run loop to stop and the console to be restored.
#include <windows.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "host/terminal.hpp"

namespace {
volatile LONG stop_signal = 0;

BOOL WINAPI on_console_event(DWORD event) {
    const LONG signal_number = event == CTRL_C_EVENT ? SIGINT : event == CTRL_BREAK_EVENT ? SIGBREAK : SIGTERM;
    InterlockedCompareExchange(&stop_signal, signal_number, 0);
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
        Sleep(2000);  // time for the run loop to stop and close the data file
    }
    return TRUE;
}
}  // namespace

void signals_install() { SetConsoleCtrlHandler(on_console_event, TRUE); }

int host_stop_signal() { return static_cast<int>(stop_signal); }

void host_request_stop(int signal_number) { InterlockedCompareExchange(&stop_signal, signal_number, 0); }

void host_die_by_signal(int) {
    keyboard_close();
    // How Windows reports a program ended by Ctrl-C.
    std::fflush(nullptr);
    ExitProcess(STATUS_CONTROL_C_EXIT);
}
