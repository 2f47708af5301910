// Work shared among copies of this process, where the host can copy a
// running one (fork): each worker runs `work(worker, out)` and writes lines
// to `out`; the parent hears each line as it comes, in `heard(worker,
// line)` (without its newline), and returns when every worker has ended.
// Where the host has no such copies (Windows), none starts and the caller
// does the work itself.
#pragma once

#include <cstdio>
#include <functional>
#include <string_view>

using WorkerJob = std::function<void(unsigned worker, std::FILE* out)>;
using WorkerLine = std::function<void(unsigned worker, std::string_view line)>;

// The workers started: `count`, fewer when the host refused more, 0 where
// the host cannot copy a process.
[[nodiscard]] unsigned host_run_workers(unsigned count, const WorkerJob& work, const WorkerLine& heard);

// How many processors the host has (1 when it cannot tell).
[[nodiscard]] unsigned host_processor_count();
