#include "driver/images.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {
// Image bytes are staged here and copied only once the whole file has been
// read, so a refused image never changes memory.
std::array<u8, 0x10000> staging;

enum class ReadOutcome { ok, unreadable, read_error, overflow };

struct ReadResult {
    ReadOutcome outcome;
    std::size_t size;
};

// Reads the whole file into staging, up to `limit` bytes; overflow if more.
ReadResult read_file(const char* path, std::size_t limit) {
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return {ReadOutcome::unreadable, 0};
    struct stat info {};
    if (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
        close(fd);
        return {ReadOutcome::unreadable, 0};
    }
    std::size_t size = 0;
    for (;;) {
        u8 probe = 0;
        u8* into = size < limit ? staging.data() + size : &probe;
        const std::size_t room = size < limit ? limit - size : 1;
        const ssize_t n = read(fd, into, room);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            close(fd);
            return {ReadOutcome::read_error, size};
        }
        if (n == 0) break;
        if (size >= limit) {
            close(fd);
            return {ReadOutcome::overflow, size};
        }
        size += static_cast<std::size_t>(n);
    }
    close(fd);
    return {ReadOutcome::ok, size};
}
}  // namespace

void prepare_memory() {
    memory.fill(0xEE);
    memory[0xFFFC] = 0x00;
    memory[0xFFFD] = 0x02;
    memory[0xFFFE] = 0x00;
    memory[0xFFFF] = 0x00;
    memory[TRACE_CTL] = 0;
    // The NMI vector keeps the fill, 0xEEEE, unless an image sets it.
}

MembackupLoad load_membackup() {
    const ReadResult r = read_file(MEMBACKUP_NAME, memory.size());
    if (r.outcome == ReadOutcome::unreadable || r.outcome == ReadOutcome::read_error) return MembackupLoad::missing;
    std::memcpy(memory.data(), staging.data(), r.size);
    return r.outcome == ReadOutcome::overflow ? MembackupLoad::too_long : MembackupLoad::loaded;
}

ImageLoad load_image(const char* path, long load_address) {
    const ReadResult r = read_file(path, memory.size());
    switch (r.outcome) {
    case ReadOutcome::unreadable: return ImageLoad::unreadable;
    case ReadOutcome::read_error: return ImageLoad::read_error;
    case ReadOutcome::overflow: return ImageLoad::too_large;
    case ReadOutcome::ok: break;
    }
    if (load_address < 0) return ImageLoad::negative_address;
    if (static_cast<std::size_t>(load_address) + r.size > memory.size()) return ImageLoad::too_large;
    std::memcpy(memory.data() + load_address, staging.data(), r.size);
    return ImageLoad::loaded;
}

const char* image_load_message(ImageLoad result) {
    switch (result) {
    case ImageLoad::unreadable: return "can't read file.\n";
    case ImageLoad::read_error: return "read error in program image.\n";
    case ImageLoad::too_large: return "program image does not fit in memory above its load address.\n";
    case ImageLoad::negative_address: return "load address is negative.\n";
    case ImageLoad::loaded: break;
    }
    return "";
}

bool save_membackup() {
    // Write a temporary file beside "membackup", sync it, then rename it over
    // the old one: a full disk or a failing write leaves the old image whole.
    char temp_name[] = "membackup.XXXXXX";
    const int fd = mkstemp(temp_name);
    if (fd < 0) return false;
    bool ok = true;
    const mode_t mask = umask(0);
    umask(mask);
    ok = fchmod(fd, 0666 & ~mask) == 0;
    std::size_t written = 0;
    while (ok && written < memory.size()) {
        const ssize_t n = write(fd, memory.data() + written, memory.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) ok = false;
        else written += static_cast<std::size_t>(n);
    }
    if (ok && fsync(fd) != 0) ok = false;
    if (close(fd) != 0) ok = false;
    if (ok && rename(temp_name, MEMBACKUP_NAME) != 0) ok = false;
    if (!ok) unlink(temp_name);
    return ok;
}
