// emu6502 [image [$address | -i]]
#pragma once

#include <optional>

#include "bus/bus.hpp"

struct CommandLine {
    const char* image_path = nullptr;
    long load_address = 0x0200;  // may come out negative from the scan
    bool stdin_input = false;
};

[[nodiscard]] CommandLine parse_command_line(int argc, char** argv);

// The text after "$", scanned as "%4x" does: white space skipped, an
// optional sign and 0x prefix, four characters at most; nothing scanned
// leaves the default.
[[nodiscard]] std::optional<long> scan_load_address(const char* text);
