// Work shared among worker processes: each runs `work(worker, out)` and
// writes lines to `out`; the parent hears each line as it comes, in
// `heard(worker, line)` (without its newline), and returns when every
// worker has ended. On POSIX a worker is a copy of this process (fork); on
// Windows it is this program started again with the same command line,
// which must come to this same call with the same work: there it does its
// share and ends.
#pragma once

#include <cstdio>
#include <functional>
#include <string_view>

using WorkerJob = std::function<void(unsigned worker, std::FILE* out)>;
using WorkerLine = std::function<void(unsigned worker, std::string_view line)>;

// The workers started: `count`, or fewer when the host refused more (0:
// none, and the caller does the work itself).
[[nodiscard]] unsigned host_run_workers(unsigned count, const WorkerJob& work, const WorkerLine& heard);

// How many processors the host has (1 when it cannot tell).
[[nodiscard]] unsigned host_processor_count();
