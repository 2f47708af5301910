// The host's file system as the driver and the data file channel need it:
// whole files read at once, a file replaced without ever being half
// written, and data files that are plain files only.
#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <vector>
#include <string>

enum class FileReadStatus { ok, cannot_open, read_error, too_long };

struct FileRead {
    FileReadStatus status = FileReadStatus::ok;
    std::size_t size = 0;  // bytes placed in the buffer
    int error = 0;         // errno of a failed open or read
};

// Reads the whole of `path` into `into`; too_long when it holds more. A
// directory cannot be opened (EISDIR).
[[nodiscard]] FileRead host_read_file(const char* path, std::span<std::uint8_t> into);

// The reading itself, the same on every host: `read_some(to, count)` reads
// like read(2), returning a count, 0 at the end, or a negative number with
// errno set. One byte past a full buffer tells too_long from a fit.
template <class ReadSome>
[[nodiscard]] FileRead read_whole(std::span<std::uint8_t> into, ReadSome read_some) {
    FileRead result;
    for (;;) {
        std::uint8_t probe = 0;
        const bool full = result.size >= into.size();
        const long n = read_some(full ? &probe : into.data() + result.size, full ? 1 : into.size() - result.size);
        if (n < 0) return {FileReadStatus::read_error, result.size, errno};
        if (n == 0) return result;
        if (full) return {FileReadStatus::too_long, result.size, 0};
        result.size += static_cast<std::size_t>(n);
    }
}

// The same with no bound: `into` grows to hold the whole file, read once
// (a pipe too).
[[nodiscard]] FileRead host_read_file(const char* path, std::vector<std::uint8_t>& into);

template <class ReadSome>
[[nodiscard]] FileRead read_all(std::vector<std::uint8_t>& into, ReadSome read_some) {
    FileRead result;
    into.resize(4096);
    for (;;) {
        if (result.size == into.size()) into.resize(into.size() * 2);
        const long n = read_some(into.data() + result.size, into.size() - result.size);
        if (n < 0) return {FileReadStatus::read_error, result.size, errno};
        if (n == 0) break;
        result.size += static_cast<std::size_t>(n);
    }
    into.resize(result.size);
    return result;
}

// True when `error` says the file is not there at all, as opposed to there
// but unreadable.
[[nodiscard]] bool host_error_is_missing(int error);
[[nodiscard]] const char* host_error_text(int error);

// A file that exists and that the user has not allowed us to write: no
// write permission bit at all, or none for us.
[[nodiscard]] bool host_file_read_only(const char* path);

// Replaces `path` with `bytes` so that a crash or a full disk at any point
// leaves either the old file whole or the new one: the bytes go to an
// unnamed (or, where the file system has no such thing, a temporary) file
// beside the file that `path` finally names, symbolic links followed, which
// then takes its place; the old file's mode, owner and group carry over.
[[nodiscard]] bool host_replace_file(const char* path, std::span<const std::uint8_t> bytes);

// The saved memory of a run, from the start to the save. The start opens
// the file that `path` names (symbolic links followed, as far as the
// system lets this user follow them) without ever blocking on it, takes a
// lock on it against other runs, reads it into `into` and remembers which
// file it was and the folder it is in. The save then replaces that very
// file (checked again just before it does), or, when there was none,
// creates the name; anything else put there in between is left alone.
enum class KeptStatus { read, too_long, missing, unreadable, not_regular, busy };
struct KeptRead {
    KeptStatus status = KeptStatus::read;
    std::size_t size = 0;  // bytes placed in `into`
    int error = 0;         // why an existing file could not be read
};
[[nodiscard]] KeptRead host_keep_file(const char* path, std::span<std::uint8_t> into);
// The folder the kept file is saved in cannot be written by this user.
[[nodiscard]] bool host_kept_folder_read_only();
enum class KeptSave { saved, failed, changed };
[[nodiscard]] KeptSave host_kept_replace(std::span<const std::uint8_t> bytes);

// The first `count` bytes (or fewer) of the regular file at `path`, for an
// option that writes there to tell whether it is one of its own; nullopt
// when there is nothing to lose: no such file, an empty one, or no regular
// file (a device, a FIFO).
[[nodiscard]] std::optional<std::string> host_file_start(const char* path, std::size_t count);

// `path` is there and is neither a regular file nor a folder (a FIFO, a
// device, a socket): opening it to read could block, or act.
[[nodiscard]] bool host_special_file(const char* path);

// Opens a data file for reading and writing, creating it if it is missing
// (and, when it exists but cannot be opened, emptying it as a last resort);
// one this user may only read is opened for reading, and writes to it fail.
// Anything but a regular file (a FIFO, a device, a directory) is refused
// without being opened for long enough to block or to act.
[[nodiscard]] std::FILE* host_open_data_file(const char* name);

// Opens `path` for reading text, if it is a regular file: a FIFO, a device
// or a directory is refused (errno EINVAL, EISDIR) without being opened for
// long enough to block or to act. nullptr with errno set otherwise.
[[nodiscard]] std::FILE* host_open_plain_file(const char* path);

// Reads the whole of `path` into `into` as host_read_file does, if it is a
// regular file: anything else is refused as host_open_plain_file refuses
// it (cannot_open, errno EINVAL or EISDIR), so that a FIFO or a device
// named where a file of text is expected neither blocks nor runs on.
[[nodiscard]] inline FileRead host_read_plain_file(const char* path, std::span<std::uint8_t> into) {
    std::FILE* file = host_open_plain_file(path);
    if (file == nullptr) return {FileReadStatus::cannot_open, 0, errno};
    const FileRead result = read_whole(into, [file](std::uint8_t* to, std::size_t count) -> long {
        const std::size_t n = std::fread(to, 1, count, file);
        return n > 0 || std::ferror(file) == 0 ? static_cast<long>(n) : -1;
    });
    std::fclose(file);
    return result;
}

// Creates `path` (or empties it) for writing, in binary mode so that the
// same bytes land on every host; nullptr with errno set when it cannot.
[[nodiscard]] std::FILE* host_create_file(const char* path);

// How a data file is opened, the same on every host: as it is; created if
// missing, but only if still missing (another program may have written it
// since the first try); emptied as a last resort when it is there but
// cannot be opened for reading and writing, as the channel always has, yet
// never when it is no regular file nor when it can at least be read.
// `open_as(kind)` opens a regular file like open(2), or fails with errno
// EINVAL for anything else.
enum class DataOpen { existing, create_new, read_only, create_or_empty };
template <class OpenAs>
[[nodiscard]] int open_data_file_with(OpenAs open_as) {
    int fd = open_as(DataOpen::existing);
    if (fd < 0 && errno == ENOENT) {
        fd = open_as(DataOpen::create_new);
        if (fd < 0 && errno == EEXIST) fd = open_as(DataOpen::existing);
    }
    if (fd < 0 && (errno == EACCES || errno == EPERM || errno == EROFS)) {
        fd = open_as(DataOpen::read_only);
        if (fd >= 0) return fd;
    }
    if (fd < 0 && errno != EINVAL) fd = open_as(DataOpen::create_or_empty);
    return fd;
}
