#include "host/files.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <string>

namespace {
bool write_all(int fd, std::span<const std::uint8_t> bytes) {
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        written += static_cast<std::size_t>(n);
    }
    return true;
}

// The file that `path` finally names once every symbolic link on the way
// is followed; it need not exist. Relative links count from their own
// folder, as the kernel reads them.
std::string final_target(const char* path) {
    std::string current = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat info {};
        if (lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return current;
        char target[PATH_MAX];
        const ssize_t n = readlink(current.c_str(), target, sizeof target - 1);
        if (n <= 0) return current;
        target[n] = '\0';
        if (target[0] == '/') {
            current = target;
        } else {
            const std::size_t slash = current.rfind('/');
            current = (slash == std::string::npos ? std::string() : current.substr(0, slash + 1)) + target;
        }
    }
    return current;  // a loop: the open fails later and says so
}

std::string folder_of(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// Makes a rename in `folder` survive a power cut.
bool sync_folder(const std::string& folder) {
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    // Some file systems cannot sync a folder; the rename has happened anyway.
    const bool ok = fsync(fd) == 0 || errno == EINVAL || errno == EROFS;
    close(fd);
    return ok;
}

// A new file beside `target` that no one else can see yet. The unnamed
// kind leaves nothing behind when a run is killed mid-save; it needs
// O_TMPFILE and /proc to be named at the end, and the named kind serves
// where either is missing.
enum class Temporary { unnamed, named };

int create_temporary(Temporary kind, const std::string& target, std::string& temp_name) {
    temp_name.clear();
    if (kind == Temporary::unnamed) {
#ifdef O_TMPFILE
        return open(folder_of(target).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
#else
        errno = EOPNOTSUPP;
        return -1;
#endif
    }
    temp_name = target + ".XXXXXX";
    return mkostemp(temp_name.data(), O_CLOEXEC);
}

// Gives a finished unnamed file a name beside the target, ready to be
// renamed over it; only this short step can leave a file behind.
bool name_temporary(int fd, const std::string& target, std::string& temp_name) {
    if (!temp_name.empty()) return true;
    const std::string proc_path = "/proc/self/fd/" + std::to_string(fd);
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        temp_name = target + "." + std::to_string(getpid()) + "-" + std::to_string(attempt);
        if (linkat(AT_FDCWD, proc_path.c_str(), AT_FDCWD, temp_name.c_str(), AT_SYMLINK_FOLLOW) == 0) return true;
        if (errno != EEXIST) break;
    }
    temp_name.clear();
    return false;
}

// Writes the new contents, with the old file's mode, owner and group, into
// a temporary file of the given kind and renames it over `target`.
bool replace_through(Temporary kind, const std::string& target, std::span<const std::uint8_t> bytes) {
    struct stat old {};
    const bool existed = stat(target.c_str(), &old) == 0;
    std::string temp_name;
    const int fd = create_temporary(kind, target, temp_name);
    if (fd < 0) return false;
    bool ok = true;
    if (existed) {
        // Owner and group first: changing them may clear set-id bits.
        if (fchown(fd, old.st_uid, old.st_gid) != 0) {
            // Not ours to give away; keep at least the group where we may.
            (void)!fchown(fd, static_cast<uid_t>(-1), old.st_gid);
        }
        ok = fchmod(fd, old.st_mode & 07777) == 0;
    } else {
        const mode_t mask = umask(0);
        umask(mask);
        ok = fchmod(fd, 0666 & ~mask) == 0;
    }
    ok = ok && write_all(fd, bytes) && fsync(fd) == 0;
    ok = ok && name_temporary(fd, target, temp_name);
    if (close(fd) != 0) ok = false;
    if (ok && rename(temp_name.c_str(), target.c_str()) != 0) ok = false;
    if (!ok && !temp_name.empty()) unlink(temp_name.c_str());
    return ok;
}
}  // namespace

namespace {
// Opens `path` for reading (not a folder) and hands `read` a read_some.
template <class Read>
FileRead read_opened(const char* path, Read read) {
    const int fd = open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return {FileReadStatus::cannot_open, 0, errno};
    struct stat info {};
    if (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
        const int error = S_ISDIR(info.st_mode) ? EISDIR : errno;
        close(fd);
        return {FileReadStatus::cannot_open, 0, error};
    }
    const FileRead result = read([fd](std::uint8_t* to, std::size_t count) -> long {
        for (;;) {
            const ssize_t n = ::read(fd, to, count);
            if (n >= 0 || errno != EINTR) return n;
        }
    });
    close(fd);
    return result;
}
}  // namespace

FileRead host_read_file(const char* path, std::span<std::uint8_t> into) {
    return read_opened(path, [&](auto read_some) { return read_whole(into, read_some); });
}

FileRead host_read_file(const char* path, std::vector<std::uint8_t>& into) {
    return read_opened(path, [&](auto read_some) { return read_all(into, read_some); });
}

bool host_error_is_missing(int error) { return error == ENOENT; }

const char* host_error_text(int error) { return std::strerror(error); }

bool host_file_read_only(const char* path) {
    struct stat info {};
    if (stat(path, &info) != 0) return false;  // missing: it will be created
    // Root may write anything, so the mode bits speak for the user.
    if ((info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return true;
    return access(path, W_OK) != 0 && (errno == EACCES || errno == EROFS);
}

bool host_replace_file(const char* path, std::span<const std::uint8_t> bytes) {
    const std::string target = final_target(path);
    if (!replace_through(Temporary::unnamed, target, bytes) && !replace_through(Temporary::named, target, bytes))
        return false;
    return sync_folder(folder_of(target));
}

std::FILE* host_open_data_file(const char* name) {
    struct stat info {};
    if (stat(name, &info) == 0 && !S_ISREG(info.st_mode)) return nullptr;
    // O_NONBLOCK: should the name turn into a FIFO between the look and the
    // open, the open still returns, and the second look refuses it.
    const int fd = open_data_file_with([name](DataOpen kind) -> int {
        const int flags = kind == DataOpen::existing     ? 0
                          : kind == DataOpen::create_new ? O_CREAT | O_EXCL
                                                         : O_CREAT | O_TRUNC;
        const int opened_fd = open(name, flags | O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
        if (opened_fd < 0) return -1;
        struct stat opened {};
        if (fstat(opened_fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
            close(opened_fd);
            errno = EINVAL;
            return -1;
        }
        fcntl(opened_fd, F_SETFL, fcntl(opened_fd, F_GETFL) & ~O_NONBLOCK);
        return opened_fd;
    });
    if (fd < 0) return nullptr;
    std::FILE* file = fdopen(fd, "r+");
    if (file == nullptr) close(fd);
    return file;
}

std::FILE* host_open_plain_file(const char* path) {
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        const int error = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
        close(fd);
        errno = error;
        return nullptr;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    std::FILE* file = fdopen(fd, "r");
    if (file == nullptr) close(fd);
    return file;
}

std::FILE* host_create_file(const char* path) { return std::fopen(path, "wbe"); }
