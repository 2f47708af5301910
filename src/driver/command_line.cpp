#include "driver/command_line.hpp"

#include <cstdio>
#include <cstring>

std::optional<long> scan_load_address(const char* text) {
    unsigned int value = 0;
    if (std::sscanf(text, "%4x", &value) != 1) return std::nullopt;
    // "%4x" accepts a minus sign and negates in unsigned arithmetic; read
    // the bits back as the signed number the user wrote.
    return static_cast<long>(static_cast<int>(value));
}

CommandLine parse_command_line(int argc, char** argv) {
    CommandLine line;
    if (argc > 1) line.image_path = argv[1];
    if (argc > 2) {
        const char* second = argv[2];
        if (second[0] == '$') {
            if (const auto address = scan_load_address(second + 1)) line.load_address = *address;
        } else if (std::strcmp(second, "-i") == 0) {
            line.stdin_input = true;
        }
        // Anything else, and any further argument, is ignored.
    }
    return line;
}
