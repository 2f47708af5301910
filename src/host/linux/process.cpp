#include "host/process.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

void host_guard_standard_streams() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        // The lowest free descriptor is this one, since the lower ones are open.
        const int opened = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (opened >= 0 && opened != fd) close(opened);
    }
}

FolderLock host_lock_working_folder() {
    // The folder itself carries the lock: nothing to create, nothing left
    // behind, and the lock ends with the process however it ends.
    const int fd = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return FolderLock::unsupported;
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) return FolderLock::taken;  // fd stays open: it holds the lock
    const int error = errno;
    close(fd);
    return error == EWOULDBLOCK ? FolderLock::busy : FolderLock::unsupported;
}

// Arguments arrive as the bytes the user typed; file names are bytes too.
char** host_arguments(int, char** argv) { return argv; }
