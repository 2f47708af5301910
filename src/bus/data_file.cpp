// FILE_READ, FILE_WRITE, FILE_SELECT: one byte stream at a time to the files
// file0 ... file255 in the working directory.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "bus/devices.hpp"
#include "host/files.hpp"

namespace {
char data_file_name[8] = "file0";  // "file255" and its zero fill all 8 bytes
std::FILE* data_file = nullptr;
char open_name[8] = "";  // the name data_file was opened under

// C streams need a seek between a read and a write; the channel itself never
// moves the position, so the seek is to where we already are.
enum class LastAccess { none, read, write };
LastAccess last_access = LastAccess::none;
// A write the host refused (its errno) makes the close report failure, so
// a program that checks the close status learns that bytes were lost.
int write_error = 0;
// An open that failed, and so a read answered 0xFF or a write dropped,
// since the last select or close: the next FILE_SELECT read says so with
// 0xFF rather than the stored file number, which reads like success.
bool access_failed = false;

// Every access that moves the channel on: a run taken back must not cross one.
std::uint64_t uses = 0;
void note_use() {
    ++uses;
    ++outside_uses;
}

bool ensure_open() {
    if (data_file != nullptr) return true;
    data_file = host_open_data_file(data_file_name);
    std::memcpy(open_name, data_file_name, sizeof open_name);
    last_access = LastAccess::none;
    write_error = 0;
    // Not possible (a read-only folder, a FIFO or a device by that name):
    // the next access tries again.
    if (data_file == nullptr) access_failed = true;
    return data_file != nullptr;
}

void switch_direction(LastAccess next) {
    if (last_access != LastAccess::none && last_access != next) std::fseek(data_file, 0, SEEK_CUR);
    last_access = next;
}
}  // namespace

void data_file_init() {
    (void)data_file_close();
    access_failed = false;
    std::snprintf(data_file_name, sizeof data_file_name, "file%d", 0);
}

std::uint64_t data_file_uses() { return uses; }

u8 file_read() {
    note_use();
    if (!ensure_open()) return 0xFF;
    switch_direction(LastAccess::read);
    const int c = std::fgetc(data_file);
    if (c == EOF) {
        // End of file is in-band; clear it so a later write still lands.
        std::clearerr(data_file);
        return 0xFF;
    }
    return static_cast<u8>(c);
}

void file_write(u8 value) {
    note_use();
    if (!ensure_open()) return;  // dropped, as with no disk to write to
    switch_direction(LastAccess::write);
    if (std::fputc(value, data_file) == EOF) {
        // A stream opened for reading only refuses writes as a bad descriptor.
        if (write_error == 0) write_error = errno == EBADF ? EACCES : errno != 0 ? errno : EIO;
        std::clearerr(data_file);
    }
}

void file_select_write(u8 number) {
    note_use();
    // The new name takes effect at the next open; an open file stays open.
    access_failed = false;
    std::snprintf(data_file_name, sizeof data_file_name, "file%d", number);
}

bool file_select_read(u8& status) {
    if (data_file == nullptr) {
        if (!access_failed) return false;
        note_use();
        access_failed = false;
        status = 0xFF;
        return true;
    }
    note_use();
    const int closed = std::fclose(data_file);
    if (closed != 0 && write_error == 0) write_error = errno != 0 ? errno : EIO;
    data_file = nullptr;
    last_access = LastAccess::none;
    status = write_error == 0 && !access_failed ? 0x00 : 0xFF;
    access_failed = false;
    return true;
}

DataFileClose data_file_close() {
    if (data_file == nullptr) return {};
    u8 ignored = 0;
    (void)file_select_read(ignored);
    return {write_error, open_name};
}
