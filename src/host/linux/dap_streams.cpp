#include "host/dap_streams.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <thread>

namespace {
std::thread forwarder;
int read_ends[2] = {-1, -1};  // of standard output's and standard error's pipes
std::atomic<bool> forwarding{false};  // a chunk is between its pipe and the sink

// A descriptor that stays off 0-2, so that the standard streams can be
// replaced under it.
int duplicate_high(int fd) { return fcntl(fd, F_DUPFD_CLOEXEC, 3); }

void forward(DapOutputSink sink) {
    pollfd fds[2] = {{read_ends[0], POLLIN, 0}, {read_ends[1], POLLIN, 0}};
    int open_count = 2;
    char buffer[4096];
    while (open_count > 0) {
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            forwarding = true;
            const ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
            const int error = errno;
            if (got > 0) sink(i + 1, buffer, static_cast<std::size_t>(got));
            forwarding = false;
            if (got <= 0 && (got == 0 || error != EINTR)) {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open_count;
            }
        }
    }
}
}  // namespace

std::optional<DapChannel> dap_channel_open() {
    const int in = duplicate_high(0);
    const int out = duplicate_high(1);
    const int nothing = open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (in < 0 || out < 0 || nothing < 0 || dup2(nothing, 0) < 0) return std::nullopt;
    close(nothing);
    std::FILE* in_stream = fdopen(in, "rb");
    std::FILE* out_stream = fdopen(out, "wb");
    if (in_stream == nullptr || out_stream == nullptr) return std::nullopt;
    return DapChannel{in_stream, out_stream};
}

std::string dap_keys_from(const char* path) {
    const int keys = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (keys < 0) return std::string("can't read keys file ") + path + ": " + std::strerror(errno);
    // Opened without waiting (a FIFO), then read as a plain file.
    fcntl(keys, F_SETFL, fcntl(keys, F_GETFL) & ~O_NONBLOCK);
    const bool moved = dup2(keys, 0) >= 0;
    close(keys);
    if (!moved) return std::string("can't read keys file ") + path + ": " + std::strerror(errno);
    return {};
}

bool dap_output_start(DapOutputSink sink) {
    int pipes[2][2];
    if (pipe2(pipes[0], O_CLOEXEC) < 0) return false;
    if (pipe2(pipes[1], O_CLOEXEC) < 0) return false;
    std::fflush(stdout);
    std::fflush(stderr);
    if (dup2(pipes[0][1], 1) < 0 || dup2(pipes[1][1], 2) < 0) return false;
    close(pipes[0][1]);
    close(pipes[1][1]);
    read_ends[0] = pipes[0][0];
    read_ends[1] = pipes[1][0];
    forwarder = std::thread(forward, sink);
    return true;
}

void dap_output_sync() {
    if (!forwarder.joinable()) return;
    std::fflush(stdout);
    std::fflush(stderr);
    // Nothing left in the pipes, and then nothing on its way to the sink
    // (the forwarder marks a chunk before it takes it from its pipe).
    for (int round = 0; round < 2000; ++round) {
        int waiting = 0;
        for (const int fd : read_ends) {
            int count = 0;
            if (fd >= 0 && ioctl(fd, FIONREAD, &count) == 0) waiting += count;
        }
        if (waiting == 0 && !forwarding) return;
        usleep(500);
    }
}

void dap_output_finish() {
    if (!forwarder.joinable()) return;
    std::fflush(stdout);
    std::fflush(stderr);
    // The pipes' last write ends close: the forwarder reads to their end.
    const int nothing = open("/dev/null", O_WRONLY | O_CLOEXEC);
    dup2(nothing, 1);
    dup2(nothing, 2);
    close(nothing);
    forwarder.join();
}
