// The monitor: a run of the machine that can stop at breakpoints,
// watchpoints, Ctrl-] or a command, step, and look at and change the
// machine between instructions. Its own loop, beside the plain run loop,
// so that a run without it is not slowed by a single test.
#pragma once

#include <cstdint>

#include "engine/run_loop.hpp"

namespace debug_info {
class DebugInfo;
}

struct MonitorOptions {
    bool interactive = false;         // --monitor: stop before the first instruction, talk on the terminal
    const char* commands = nullptr;   // --commands FILE
    const char* labels = nullptr;     // --labels FILE
    const char* profile = nullptr;    // --profile FILE
    const debug_info::DebugInfo* debug_info = nullptr;  // --debug-info FILE or NAME.dbg, checked against the image
};

[[nodiscard]] inline bool monitor_wanted(const MonitorOptions& options) {
    return options.interactive || options.commands != nullptr || options.profile != nullptr;
}

// run_machine's run under the monitor: the same instructions, timer, trace
// line, stop test, instruction limit and signals.
[[nodiscard]] RunOutcome run_monitored(std::int64_t irq_deadline, const RunSettings& settings,
                                       const MonitorOptions& options);
