// emu6502 --dap: the Debug Adapter Protocol on standard input and output.
// The client's launch request names the program and the run's options; the
// run is then the one every run is, with the adapter as its observer.
#pragma once

#include <functional>

#include "driver/command_line.hpp"
#include "driver/debug_file.hpp"

class Checker;
class RunObserver;

// What a run under the adapter is given: its observer, made once the
// debug information is read, with the checker its exception filters set.
struct AdapterRun {
    std::function<RunObserver*(const RunDebugInfo& debug, Checker* checker)> observer;
};

// The whole run, from saved memory to the exit status, as main makes it.
using RunProgram = int (*)(const CommandLine& line, const AdapterRun* adapter);

// Talks with the client until it leaves; returns the exit status.
[[nodiscard]] int serve_debug_adapter(RunProgram run);
