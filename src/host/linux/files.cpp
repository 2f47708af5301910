#include "host/files.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
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
bool sync_folder(int folder) {
    // Some file systems cannot sync a folder; the rename has happened anyway.
    return fsync(folder) == 0 || errno == EINVAL || errno == EROFS || errno == EBADF;
}

// Where a file is replaced: its folder, opened once (so that links changed
// later cannot send the save elsewhere), its name there, and the file that
// was there when it was looked at, if any.
struct Place {
    int folder = -1;
    std::string name;
    bool existed = false;
    struct stat identity {};
};

void forget(Place& place) {
    if (place.folder >= 0) close(place.folder);
    place = Place{};
}

// The place of the file that `path` finally names, symbolic links followed.
Place place_of(const char* path) {
    const std::string target = final_target(path);
    Place place;
    const std::size_t slash = target.rfind('/');
    place.name = slash == std::string::npos ? target : target.substr(slash + 1);
    place.folder = open(folder_of(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    return place;
}

bool same_file(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// A new file in the place's folder that no one else can see yet. The
// unnamed kind leaves nothing behind when a run is killed mid-save; it
// needs O_TMPFILE and /proc, and the named kind serves where either is
// missing (vfat, NFS).
enum class Temporary { unnamed, named };

int create_temporary(Temporary kind, const Place& place, std::string& temp_name) {
    temp_name.clear();
    if (kind == Temporary::unnamed) {
#ifdef O_TMPFILE
        return openat(place.folder, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
#else
        errno = EOPNOTSUPP;
        return -1;
#endif
    }
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        temp_name = place.name + "." + std::to_string(getpid()) + "-" + std::to_string(attempt);
        const int fd = openat(place.folder, temp_name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd >= 0 || errno != EEXIST) {
            if (fd < 0) temp_name.clear();
            return fd;
        }
    }
    temp_name.clear();
    return -1;
}

// Gives a finished unnamed file the name `as` in the place's folder, which
// must still be free.
bool link_unnamed(int fd, const Place& place, const std::string& as) {
    const std::string proc_path = "/proc/self/fd/" + std::to_string(fd);
    return linkat(AT_FDCWD, proc_path.c_str(), place.folder, as.c_str(), AT_SYMLINK_FOLLOW) == 0;
}

// Moves the temporary file onto a name that must still be free: the file
// that was missing at the start is created, never put over one that
// someone has put there since.
KeptSave create_name(const Place& place, const std::string& temp_name) {
    if (linkat(place.folder, temp_name.c_str(), place.folder, place.name.c_str(), 0) == 0) {
        unlinkat(place.folder, temp_name.c_str(), 0);
        return KeptSave::saved;
    }
    if (errno == EEXIST) return KeptSave::changed;
    // No hard links here (vfat): a rename that refuses to replace.
    if (renameat2(place.folder, temp_name.c_str(), place.folder, place.name.c_str(), RENAME_NOREPLACE) == 0)
        return KeptSave::saved;
    if (errno == EEXIST) return KeptSave::changed;
    return KeptSave::failed;
}

// Writes the new contents, with the old file's mode, owner and group, into
// a temporary file of the given kind and puts it in the old one's place:
// only over the very file that was there, or on a name still free.
KeptSave replace_through(Temporary kind, const Place& place, std::span<const std::uint8_t> bytes) {
    std::string temp_name;
    const int fd = create_temporary(kind, place, temp_name);
    if (fd < 0) return KeptSave::failed;
    bool ok = true;
    if (place.existed) {
        // Owner and group first: changing them may clear set-id bits.
        if (fchown(fd, place.identity.st_uid, place.identity.st_gid) != 0) {
            // Not ours to give away; keep at least the group where we may.
            (void)!fchown(fd, static_cast<uid_t>(-1), place.identity.st_gid);
        }
        ok = fchmod(fd, place.identity.st_mode & 07777) == 0;
    } else {
        const mode_t mask = umask(0);
        umask(mask);
        ok = fchmod(fd, 0666 & ~mask) == 0;
    }
    ok = ok && write_all(fd, bytes) && fsync(fd) == 0;
    KeptSave result = ok ? KeptSave::saved : KeptSave::failed;
    if (ok && temp_name.empty()) {
        if (!place.existed) {
            // Straight onto the free name: no second name, nothing to leave behind.
            if (link_unnamed(fd, place, place.name)) {
                close(fd);
                return KeptSave::saved;
            }
            if (errno == EEXIST) result = KeptSave::changed;
        }
        if (result == KeptSave::saved) {
            // Only a kill in the moment between this link and the rename
            // below leaves the temporary name behind.
            for (unsigned attempt = 0; attempt < 100 && temp_name.empty(); ++attempt) {
                temp_name = place.name + "." + std::to_string(getpid()) + "-" + std::to_string(attempt);
                if (!link_unnamed(fd, place, temp_name)) {
                    const bool taken = errno == EEXIST;
                    temp_name.clear();
                    if (!taken) break;
                }
            }
            if (temp_name.empty()) result = KeptSave::failed;
        }
    }
    if (close(fd) != 0 && result == KeptSave::saved) result = KeptSave::failed;
    if (result == KeptSave::saved) {
        if (!place.existed) {
            result = create_name(place, temp_name);
        } else {
            // The very file the run read, still a regular file, checked as
            // late as can be; a rename does not follow a link put there
            // after this look, it would replace the link itself.
            struct stat now {};
            if (fstatat(place.folder, place.name.c_str(), &now, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(now.st_mode) ||
                !same_file(now, place.identity))
                result = KeptSave::changed;
            else if (renameat(place.folder, temp_name.c_str(), place.folder, place.name.c_str()) != 0)
                result = KeptSave::failed;
            else
                temp_name.clear();
        }
    }
    if (!temp_name.empty()) unlinkat(place.folder, temp_name.c_str(), 0);
    return result;
}

KeptSave replace_at(const Place& place, std::span<const std::uint8_t> bytes) {
    if (place.folder < 0) return KeptSave::failed;
    KeptSave result = replace_through(Temporary::unnamed, place, bytes);
    if (result == KeptSave::failed) result = replace_through(Temporary::named, place, bytes);
    if (result == KeptSave::saved && !sync_folder(place.folder)) result = KeptSave::failed;
    return result;
}

// The saved memory of this run: the file read at the start, open (its
// descriptor holds the lock) until the process ends.
int kept_fd = -1;
Place kept;
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
    Place place = place_of(path);
    place.existed = place.folder >= 0 &&
                    fstatat(place.folder, place.name.c_str(), &place.identity, AT_SYMLINK_NOFOLLOW) == 0;
    const bool ok = replace_at(place, bytes) == KeptSave::saved;
    forget(place);
    return ok;
}

KeptRead host_keep_file(const char* path, std::span<std::uint8_t> into) {
    if (kept_fd >= 0) close(kept_fd);
    kept_fd = -1;
    forget(kept);
    // O_NONBLOCK: a FIFO by that name must not hold the start.
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (error == ENXIO) return {KeptStatus::not_regular, 0, 0};  // a socket
        if (error != ENOENT) return {KeptStatus::unreadable, 0, error};
        kept = place_of(path);
        // A link to a file elsewhere that is still to be made: that folder
        // is locked as well, unless it is this one, which the caller locks.
        struct stat here {}, there {};
        if (kept.folder >= 0 && fstat(kept.folder, &there) == 0 && stat(".", &here) == 0 && !same_file(here, there)) {
            if (flock(kept.folder, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) return {KeptStatus::busy, 0, 0};
        }
        return {KeptStatus::missing, 0, error};
    }
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        const int error = errno;
        close(fd);
        if (S_ISDIR(info.st_mode)) return {KeptStatus::unreadable, 0, EISDIR};
        if (info.st_mode != 0) return {KeptStatus::not_regular, 0, 0};  // a FIFO, a device
        return {KeptStatus::unreadable, 0, error};
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    // The file itself is locked: two folders may share it through links.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        close(fd);
        return {KeptStatus::busy, 0, 0};
    }
    kept_fd = fd;
    const FileRead r = read_whole(into, [fd](std::uint8_t* to, std::size_t count) -> long {
        for (;;) {
            const ssize_t n = read(fd, to, count);
            if (n >= 0 || errno != EINTR) return n;
        }
    });
    kept = place_of(path);
    kept.existed = true;
    kept.identity = info;
    // Should the name have changed between the open and this look, the
    // save finds another file there and refuses.
    struct stat named {};
    if (kept.folder >= 0 && fstatat(kept.folder, kept.name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
        !same_file(named, info))
        kept.identity.st_ino = 0;
    switch (r.status) {
    case FileReadStatus::read_error: return {KeptStatus::unreadable, r.size, r.error};
    case FileReadStatus::too_long: return {KeptStatus::too_long, r.size, 0};
    default: return {KeptStatus::read, r.size, 0};
    }
}

bool host_kept_folder_read_only() {
    if (kept.folder < 0) return false;
    return faccessat(kept.folder, ".", W_OK, 0) != 0 && (errno == EACCES || errno == EROFS);
}

KeptSave host_kept_replace(std::span<const std::uint8_t> bytes) { return replace_at(kept, bytes); }

bool host_special_file(const char* path) {
    struct stat info {};
    return stat(path, &info) == 0 && !S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode);
}

std::optional<std::string> host_file_start(const char* path, std::size_t count) {
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;  // missing, or the write will say why it cannot
    struct stat info {};
    std::optional<std::string> start;
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0) {
        std::string bytes(count, '\0');
        const ssize_t n = read(fd, bytes.data(), count);
        bytes.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
        start = bytes;
    }
    close(fd);
    return start;
}

std::FILE* host_open_data_file(const char* name) {
    struct stat info {};
    if (stat(name, &info) == 0 && !S_ISREG(info.st_mode)) return nullptr;
    // O_NONBLOCK: should the name turn into a FIFO between the look and the
    // open, the open still returns, and the second look refuses it.
    const int fd = open_data_file_with([name](DataOpen kind) -> int {
        // A name that is a link whose target is missing is not created
        // through: O_EXCL already refuses it, O_NOFOLLOW does for the last resort.
        const int flags = kind == DataOpen::existing     ? O_RDWR
                          : kind == DataOpen::create_new ? O_RDWR | O_CREAT | O_EXCL
                          : kind == DataOpen::read_only  ? O_RDONLY
                                                         : O_RDWR | O_CREAT | O_TRUNC | O_NOFOLLOW;
        const int opened_fd = open(name, flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
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
    std::FILE* file = fdopen(fd, (fcntl(fd, F_GETFL) & O_ACCMODE) == O_RDONLY ? "r" : "r+");
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
