#include "host/files.hpp"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "host/windows/wide.hpp"

namespace {
bool write_all(HANDLE file, std::span<const std::uint8_t> bytes) {
    std::size_t written = 0;
    while (written < bytes.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - written, 1u << 20));
        DWORD n = 0;
        if (!WriteFile(file, bytes.data() + written, chunk, &n, nullptr) || n == 0) return false;
        written += n;
    }
    return true;
}

bool is_directory(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// A symbolic link (or another reparse point), whatever it points at.
bool is_link(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}
}  // namespace

namespace {
// Opens `path` for reading (not a folder) and hands `read` a read_some.
template <class Read>
FileRead read_opened(const char* path, Read read) {
    const std::wstring wide = widen(path);
    // The runtime's open says EACCES for a folder; say what it is.
    if (is_directory(wide)) return {FileReadStatus::cannot_open, 0, EISDIR};
    const int fd = _wopen(wide.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
    if (fd < 0) return {FileReadStatus::cannot_open, 0, errno};
    const FileRead result = read([fd](std::uint8_t* to, std::size_t count) -> long {
        return _read(fd, to, static_cast<unsigned>(count));
    });
    _close(fd);
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
    const DWORD attributes = GetFileAttributesW(widen(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

bool host_replace_file(const char* path, std::span<const std::uint8_t> bytes) {
    // A temporary file in the same folder, flushed to the disk, then moved
    // over the old one in one step that is itself written through.
    const std::wstring target = widen(path);
    std::wstring temp;
    HANDLE file = INVALID_HANDLE_VALUE;
    for (unsigned attempt = 0; attempt < 100 && file == INVALID_HANDLE_VALUE; ++attempt) {
        temp = target + L"." + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(attempt);
        file = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) break;
    }
    if (file == INVALID_HANDLE_VALUE) return false;
    bool ok = write_all(file, bytes) && FlushFileBuffers(file);
    if (!CloseHandle(file)) ok = false;
    // The old file's attributes (hidden, archive, ...) carry over.
    const DWORD old_attributes = GetFileAttributesW(target.c_str());
    ok = ok && MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!ok) {
        DeleteFileW(temp.c_str());
        return false;
    }
    if (old_attributes != INVALID_FILE_ATTRIBUTES) SetFileAttributesW(target.c_str(), old_attributes);
    return true;
}

namespace {
// Links are not followed here: the kept file is the name itself, and the
// folder's named mutex keeps other runs away.
std::string kept_path;
}  // namespace

KeptRead host_keep_file(const char* path, std::span<std::uint8_t> into) {
    kept_path = path;
    const FileRead r = host_read_file(path, into);
    switch (r.status) {
    case FileReadStatus::cannot_open:
        return {host_error_is_missing(r.error) ? KeptStatus::missing : KeptStatus::unreadable, 0, r.error};
    case FileReadStatus::read_error: return {KeptStatus::unreadable, r.size, r.error};
    case FileReadStatus::too_long: return {KeptStatus::too_long, r.size, 0};
    case FileReadStatus::ok: break;
    }
    return {KeptStatus::read, r.size, 0};
}

// A folder's read-only attribute does not stop anyone writing in it.
bool host_kept_folder_read_only() { return false; }

KeptSave host_kept_replace(std::span<const std::uint8_t> bytes) {
    return host_replace_file(kept_path.c_str(), bytes) ? KeptSave::saved : KeptSave::failed;
}

bool host_special_file(const char* path) {
    // Opened for nothing but a look: a device or a pipe answers at once.
    const HANDLE file = CreateFileW(widen(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const bool special = GetFileType(file) != FILE_TYPE_DISK;
    CloseHandle(file);
    return special;
}

std::optional<std::string> host_file_start(const char* path, std::size_t count) {
    const std::wstring wide = widen(path);
    if (is_directory(wide)) return std::nullopt;
    const int fd = _wopen(wide.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
    if (fd < 0) return std::nullopt;
    std::optional<std::string> start;
    if (GetFileType(reinterpret_cast<HANDLE>(_get_osfhandle(fd))) == FILE_TYPE_DISK) {
        std::string bytes(count, '\0');
        const int n = _read(fd, bytes.data(), static_cast<unsigned>(count));
        if (n > 0) start = bytes.substr(0, static_cast<std::size_t>(n));
    }
    _close(fd);
    return start;
}

std::FILE* host_open_data_file(const char* name) {
    const std::wstring wide = widen(name);
    if (is_directory(wide)) return nullptr;
    bool read_only = false;
    const int fd = open_data_file_with([&wide, &read_only](DataOpen kind) -> int {
        const int flags = kind == DataOpen::existing     ? _O_RDWR
                          : kind == DataOpen::create_new ? _O_RDWR | _O_CREAT | _O_EXCL
                          : kind == DataOpen::read_only  ? _O_RDONLY
                                                         : _O_RDWR | _O_CREAT | _O_TRUNC;
        read_only = kind == DataOpen::read_only;
        // A link whose target is missing is not created through.
        if ((kind == DataOpen::create_new || kind == DataOpen::create_or_empty) && is_link(wide)) {
            errno = ENOENT;
            return -1;
        }
        const int opened_fd = _wopen(wide.c_str(), flags | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
        if (opened_fd < 0) return -1;
        // Only a file on a disk: not a pipe, not a console or another device.
        if (GetFileType(reinterpret_cast<HANDLE>(_get_osfhandle(opened_fd))) != FILE_TYPE_DISK) {
            _close(opened_fd);
            errno = EINVAL;
            return -1;
        }
        return opened_fd;
    });
    if (fd < 0) return nullptr;
    std::FILE* file = _fdopen(fd, read_only ? "rb" : "r+b");
    if (file == nullptr) _close(fd);
    return file;
}

std::FILE* host_open_plain_file(const char* path) {
    const std::wstring wide = widen(path);
    if (is_directory(wide)) {
        errno = EISDIR;
        return nullptr;
    }
    const int fd = _wopen(wide.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
    if (fd < 0) return nullptr;
    if (GetFileType(reinterpret_cast<HANDLE>(_get_osfhandle(fd))) != FILE_TYPE_DISK) {
        _close(fd);
        errno = EINVAL;
        return nullptr;
    }
    std::FILE* file = _fdopen(fd, "rb");
    if (file == nullptr) _close(fd);
    return file;
}

std::FILE* host_create_file(const char* path) { return _wfopen(widen(path).c_str(), L"wbN"); }
