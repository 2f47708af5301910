// libFuzzer target for the linker's debug file: whatever its text, the
// parser gives a sound result or one line of error text, and what it
// answers about a sound one stays inside the 64 KiB it describes.
#include <cstdint>
#include <string_view>

#include "debug/debug_info.hpp"

namespace {
void check(bool condition) {
    if (!condition) __builtin_trap();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    debug_info::DebugInfo info;
    const std::string error = info.parse(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!error.empty()) {
        check(error.find('\n') == std::string::npos);
        check(info.lines().empty() && info.files().empty());
        return 0;
    }
    for (std::uint32_t address = 0; address < 0x10000; address += 61) {
        const auto where = info.location(static_cast<std::uint16_t>(address));
        if (!where) continue;
        check(where->file < info.files().size());
        check(where->span_start <= address && address < where->span_start + where->span_size);
    }
    for (const auto& file : info.files()) (void)info.addresses(file.name, 1);
    for (std::uint32_t scope = 0; scope < info.scopes().size(); ++scope) {
        for (const auto& local : info.c_locals(scope)) check(local.size <= 0x10000);
        (void)info.c_frame_size(scope);
    }
    for (const auto& global : info.c_globals()) check(global.address < 0x10000 && global.size <= 0x10000);
    (void)info.function("main");
    (void)info.function_at(0x0200);
    (void)info.c_stack_pointer();
    const std::uint8_t image[4] = {};
    (void)info.check_image(image, 0x0200);
    return 0;
}
