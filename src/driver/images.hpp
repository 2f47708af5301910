// Memory at start-up and at the end of a run: the default fill and vectors,
// the saved image "membackup", and the program image.
#pragma once

#include <string>

#include "bus/bus.hpp"

void prepare_memory();  // 0xEE everywhere, reset vector 0x0200, IRQ vector 0x0000, trace off

enum class MembackupLoad { loaded, missing, unreadable, not_regular, busy, too_short, too_long };
struct MembackupRead {
    MembackupLoad result;
    int error;  // why an existing file could not be read
    std::size_t size = 0;  // bytes read into memory
};
// Only a missing file means a fresh machine; one that is there but cannot
// be read, or is no regular file, must stop the run, or its end would
// overwrite it. busy: another run holds the file (through a link, say).
[[nodiscard]] MembackupRead load_membackup();

enum class ImageLoad { loaded, unreadable, read_error, too_large, negative_address };
// `size` (when given) is set to the bytes loaded.
[[nodiscard]] ImageLoad load_image(const char* path, long load_address, std::size_t* size = nullptr);
[[nodiscard]] const char* image_load_message(ImageLoad result);

// Writes all 64 KiB so that the previous image survives any failure, in
// place of the very file that load_membackup() read (links followed),
// keeping its mode, owner and group; or creates it, if there was none.
// changed: something else was put there during the run, and left alone.
enum class MembackupSave { saved, failed, changed };
[[nodiscard]] MembackupSave save_membackup();
// The folder "membackup" is saved in cannot be written.
[[nodiscard]] bool membackup_folder_read_only();

inline constexpr const char* MEMBACKUP_NAME = "membackup";
