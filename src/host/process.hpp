// The process's place on the host: its three standard descriptors and its
// claim on the working folder's saved memory.
#pragma once

// Opens /dev/null on whichever of descriptors 0, 1 and 2 is closed, so that
// no file opened later can take one of them and receive console bytes or
// trace lines. Call before anything else opens a file.
void host_guard_standard_streams();

enum class FolderLock { taken, busy, unsupported };

// An advisory lock on the working folder, held until the process ends and
// leaving no file behind. Never waits: busy when another run holds it;
// unsupported when the file system has no such locks (the run goes on).
[[nodiscard]] FolderLock host_lock_working_folder();

// The arguments as UTF-8, whatever the host's own encoding of them, so that
// any file name can be opened. Call once, at start-up.
[[nodiscard]] char** host_arguments(int argc, char** argv);
