#include "host/workers.hpp"

#include <windows.h>

// A process cannot be copied here: the caller runs the work itself.
unsigned host_run_workers(unsigned, const WorkerJob&, const WorkerLine&) { return 0; }

unsigned host_processor_count() {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwNumberOfProcessors > 0 ? static_cast<unsigned>(info.dwNumberOfProcessors) : 1u;
}
