#include "driver/images.hpp"

#include <cstring>

#include "host/files.hpp"

namespace {
// Image bytes are staged here and copied only once the whole file has been
// read, so a refused image never changes memory.
std::array<u8, 0x10000> staging;
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

MembackupRead load_membackup() {
    const KeptRead r = host_keep_file(MEMBACKUP_NAME, staging);
    switch (r.status) {
    case KeptStatus::missing: return {MembackupLoad::missing, 0};
    // There but unreadable: starting afresh would overwrite it at the end.
    case KeptStatus::unreadable: return {MembackupLoad::unreadable, r.error};
    case KeptStatus::not_regular: return {MembackupLoad::not_regular, 0};
    case KeptStatus::busy: return {MembackupLoad::busy, 0};
    case KeptStatus::read:
    case KeptStatus::too_long: break;
    }
    std::memcpy(memory.data(), staging.data(), r.size);
    if (r.status == KeptStatus::too_long) return {MembackupLoad::too_long, 0, r.size};
    return {r.size < memory.size() ? MembackupLoad::too_short : MembackupLoad::loaded, 0, r.size};
}

ImageLoad load_image(const char* path, long load_address, std::size_t* size) {
    const FileRead r = host_read_file(path, staging);
    switch (r.status) {
    case FileReadStatus::cannot_open: return ImageLoad::unreadable;
    case FileReadStatus::read_error: return ImageLoad::read_error;
    case FileReadStatus::too_long: return ImageLoad::too_large;
    case FileReadStatus::ok: break;
    }
    if (load_address < 0) return ImageLoad::negative_address;
    if (static_cast<std::size_t>(load_address) + r.size > memory.size()) return ImageLoad::too_large;
    std::memcpy(memory.data() + load_address, staging.data(), r.size);
    if (size != nullptr) *size = r.size;
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

MembackupSave save_membackup() {
    switch (host_kept_replace(memory)) {
    case KeptSave::saved: return MembackupSave::saved;
    case KeptSave::changed: return MembackupSave::changed;
    case KeptSave::failed: break;
    }
    return MembackupSave::failed;
}

bool membackup_folder_read_only() { return host_kept_folder_read_only(); }
