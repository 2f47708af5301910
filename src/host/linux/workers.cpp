#include "host/workers.hpp"

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

unsigned host_run_workers(unsigned count, const WorkerJob& work, const WorkerLine& heard) {
    std::vector<pid_t> children;
    std::vector<pollfd> fds;
    std::fflush(stdout);  // else each copy would write the parent's buffer again
    std::fflush(stderr);
    for (unsigned w = 0; w < count; ++w) {
        int ends[2];
        if (pipe(ends) != 0) break;
        const pid_t child = fork();
        if (child == 0) {
            close(ends[0]);
            for (const pollfd& other : fds) close(other.fd);
            std::FILE* out = fdopen(ends[1], "w");
            if (out != nullptr) {
                work(w, out);
                std::fclose(out);
            }
            std::_Exit(0);  // the parent's buffers, handlers and files are the parent's
        }
        close(ends[1]);
        if (child < 0) {
            close(ends[0]);
            break;
        }
        children.push_back(child);
        fds.push_back({ends[0], POLLIN, 0});
    }
    std::vector<std::string> partial(fds.size());
    std::size_t open_pipes = fds.size();
    while (open_pipes > 0) {
        if (poll(fds.data(), fds.size(), -1) < 0) continue;
        for (std::size_t p = 0; p < fds.size(); ++p) {
            if (fds[p].fd < 0 || fds[p].revents == 0) continue;
            char buffer[4096];
            const ssize_t n = read(fds[p].fd, buffer, sizeof buffer);
            if (n <= 0) {
                close(fds[p].fd);
                fds[p].fd = -1;
                --open_pipes;
                continue;
            }
            partial[p].append(buffer, static_cast<std::size_t>(n));
            std::size_t line_end;
            while ((line_end = partial[p].find('\n')) != std::string::npos) {
                heard(static_cast<unsigned>(p), std::string_view(partial[p]).substr(0, line_end));
                partial[p].erase(0, line_end + 1);
            }
        }
    }
    for (const pid_t child : children) waitpid(child, nullptr, 0);
    return static_cast<unsigned>(children.size());
}

unsigned host_processor_count() {
    const long count = sysconf(_SC_NPROCESSORS_ONLN);
    return count > 0 ? static_cast<unsigned>(count) : 1u;
}
