// FILE_READ, FILE_WRITE, FILE_SELECT: one byte stream at a time to the files
// file0 ... file255 in the working directory.
#include <cerrno>
#include <cstdio>

#include "bus/devices.hpp"

namespace {
char data_file_name[8] = "file0";  // "file255" and its zero fill all 8 bytes
std::FILE* data_file = nullptr;

// C streams need a seek between a read and a write; the channel itself never
// moves the position, so the seek is to where we already are.
enum class LastAccess { none, read, write };
LastAccess last_access = LastAccess::none;
// A write the host refused makes the close report failure, so a program
// that checks the close status learns that bytes were lost.
bool write_failed = false;

bool ensure_open() {
    if (data_file != nullptr) return true;
    data_file = std::fopen(data_file_name, "rb+");
    if (data_file == nullptr) {
        // Create it only if it is still missing: another program may have
        // written it since the first try, and "wb+" would empty it.
        data_file = std::fopen(data_file_name, "wb+x");
        if (data_file == nullptr && errno == EEXIST) data_file = std::fopen(data_file_name, "rb+");
    }
    // There but not readable and writable (say, write-only): replace it,
    // as the channel always has.
    if (data_file == nullptr) data_file = std::fopen(data_file_name, "wb+");
    last_access = LastAccess::none;
    write_failed = false;
    // Neither worked (say, a read-only directory): the next access tries again.
    return data_file != nullptr;
}

void switch_direction(LastAccess next) {
    if (last_access != LastAccess::none && last_access != next) std::fseek(data_file, 0, SEEK_CUR);
    last_access = next;
}
}  // namespace

void data_file_init() {
    data_file_close();
    std::snprintf(data_file_name, sizeof data_file_name, "file%d", 0);
}

u8 file_read() {
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
    if (!ensure_open()) return;  // dropped, as with no disk to write to
    switch_direction(LastAccess::write);
    if (std::fputc(value, data_file) == EOF) {
        write_failed = true;
        std::clearerr(data_file);
    }
}

void file_select_write(u8 number) {
    // The new name takes effect at the next open; an open file stays open.
    std::snprintf(data_file_name, sizeof data_file_name, "file%d", number);
}

bool file_select_read(u8& status) {
    if (data_file == nullptr) return false;
    const int closed = std::fclose(data_file);
    data_file = nullptr;
    last_access = LastAccess::none;
    status = closed == 0 && !write_failed ? 0x00 : 0xFF;
    return true;
}

void data_file_close() {
    u8 ignored = 0;
    (void)file_select_read(ignored);
}
