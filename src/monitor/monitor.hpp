// The monitor: a run of the machine that can stop at breakpoints,
// watchpoints, Ctrl-], an instruction count or a command, step, and look at
// and change the machine between instructions; and the profile. Both are an
// observer of the engine's run (engine/run_loop.hpp), never a loop of their own.
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
    const char* debug_file = nullptr;                   // where it was read: sources are looked for beside it
    // NAME.lbl beside the image (no --labels given): the names the debug
    // information lacks, such as the C runtime's (pushax, udiv16).
    const char* image_labels = nullptr;
};

// The first line of every profile: a file that begins otherwise is not
// replaced by one.
inline constexpr const char* PROFILE_HEADER = "address      count       cycles  label\n";

[[nodiscard]] inline bool monitor_wanted(const MonitorOptions& options) {
    return options.interactive || options.commands != nullptr || options.profile != nullptr;
}

// run_machine's run with the monitor and/or the profile as its observer,
// and `beside` (checks, coverage) watching too: its stops are the monitor's.
[[nodiscard]] RunOutcome run_monitored(std::int64_t irq_deadline, const RunSettings& settings,
                                       const MonitorOptions& options, RunObserver* beside = nullptr);
