// libFuzzer target for what a user hands the driver: the "$" argument and
// the bytes of a program image or of "membackup". Whatever they hold,
// nothing may be written outside `memory`, a loaded image must sit exactly
// where its address says, and a refused one must leave memory untouched.
//
// Input: a one-byte length n, then n bytes of second argument (a "$" is put
// in front), then the file's bytes.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bus/bus.hpp"
#include "driver/command_line.hpp"
#include "driver/images.hpp"

namespace {
constexpr u8 FILL = 0xA5;

void write_file(const char* name, const std::uint8_t* data, std::size_t size) {
    const int fd = open(name, O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0) __builtin_trap();
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = write(fd, data + done, size - done);
        if (n <= 0) __builtin_trap();
        done += static_cast<std::size_t>(n);
    }
    close(fd);
}

void check(bool condition) {
    if (!condition) __builtin_trap();
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char dir[] = "/tmp/emu6502-fuzz-images.XXXXXX";
    if (mkdtemp(dir) == nullptr || chdir(dir) != 0) std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::size_t length = std::min<std::size_t>(data[0], size - 1);
    std::string second = "$" + std::string(reinterpret_cast<const char*>(data + 1), length);
    second = second.c_str();  // the command line stops at a zero byte
    const std::uint8_t* bytes = data + 1 + length;
    const std::size_t count = size - 1 - length;

    char program[] = "emu6502";
    char image[] = "image";
    char* argv[] = {program, image, second.data(), nullptr};
    const CommandLine line = parse_command_line(3, argv);
    check(line.error.empty() && !line.stdin_input && line.image_path != nullptr);

    write_file("image", bytes, count);
    memory.fill(FILL);
    const ImageLoad result = load_image("image", line.load_address);
    const long start = line.load_address;
    switch (result) {
    case ImageLoad::loaded:
        check(start >= 0 && static_cast<std::size_t>(start) + count <= memory.size());
        for (std::size_t i = 0; i < memory.size(); ++i) {
            const bool inside = i >= static_cast<std::size_t>(start) && i < static_cast<std::size_t>(start) + count;
            check(memory[i] == (inside ? bytes[i - static_cast<std::size_t>(start)] : FILL));
        }
        break;
    case ImageLoad::negative_address: check(start < 0); [[fallthrough]];
    case ImageLoad::too_large:
    case ImageLoad::unreadable:
    case ImageLoad::read_error:
        for (const u8 b : memory) check(b == FILL);
        check(result != ImageLoad::too_large || count > memory.size() ||
              (start >= 0 && static_cast<std::size_t>(start) + count > memory.size()));
        break;
    }

    // The same bytes as a saved machine: its first 64 KiB, at 0x0000.
    write_file(MEMBACKUP_NAME, bytes, count);
    memory.fill(FILL);
    const MembackupLoad saved = load_membackup().result;
    check(saved == (count > memory.size()    ? MembackupLoad::too_long
                    : count < memory.size() ? MembackupLoad::too_short
                                            : MembackupLoad::loaded));
    for (std::size_t i = 0; i < memory.size(); ++i) check(memory[i] == (i < count ? bytes[i] : FILL));
    return 0;
}
