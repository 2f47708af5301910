#include "driver/command_line.hpp"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

std::optional<long> scan_load_address(const char* text) {
    unsigned int value = 0;
    if (std::sscanf(text, "%4x", &value) != 1) return std::nullopt;
    // "%4x" accepts a minus sign and negates in unsigned arithmetic; read
    // the bits back as the signed number the user wrote.
    return static_cast<long>(static_cast<int>(value));
}

namespace {
std::optional<std::uint64_t> parse_count(const char* text) {
    if (text == nullptr || *text < '0' || *text > '9') return std::nullopt;
    errno = 0;
    char* end = nullptr;
    const unsigned long long value = std::strtoull(text, &end, 10);
    if (errno != 0 || *end != '\0') return std::nullopt;
    return value;
}

// Returns the index of the first positional argument.
int parse_options(int argc, char** argv, CommandLine& line) {
    int i = 1;
    for (; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--") == 0) return i + 1;
        if (std::strcmp(arg, "-h") == 0 || std::strcmp(arg, "--help") == 0) {
            line.help = true;
        } else if (std::strcmp(arg, "--version") == 0) {
            line.version = true;
        } else if (std::strcmp(arg, "--stats") == 0) {
            line.stats = true;
        } else if (std::strcmp(arg, "--trace") == 0) {
            line.trace = true;
        } else if (std::strcmp(arg, "--clean") == 0) {
            line.clean = true;
        } else if (std::strncmp(arg, "--max-instructions", 18) == 0 && (arg[18] == '=' || arg[18] == '\0')) {
            const char* value = arg[18] == '=' ? arg + 19 : (i + 1 < argc ? argv[++i] : nullptr);
            line.max_instructions = parse_count(value);
            if (!line.max_instructions) {
                line.error = "--max-instructions needs a whole number";
                return argc;
            }
        } else if (std::strncmp(arg, "--", 2) == 0) {
            line.error = std::string("unknown option '") + arg + "'";
            return argc;
        } else {
            break;  // the image path; "-i" here is a file name, as it always was
        }
    }
    return i;
}
}  // namespace

CommandLine parse_command_line(int argc, char** argv) {
    CommandLine line;
    const int first = parse_options(argc, argv, line);
    if (!line.error.empty()) return line;
    if (first < argc) line.image_path = argv[first];
    if (first + 1 < argc) {
        const char* second = argv[first + 1];
        if (second[0] == '$') {
            if (const auto address = scan_load_address(second + 1)) line.load_address = *address;
        } else if (std::strcmp(second, "-i") == 0) {
            line.stdin_input = true;
        }
        // Anything else, and any further argument, is ignored.
    }
    return line;
}

const char* usage_text() {
    return "usage: emu6502 [options] [image [$address | -i]]\n"
           "\n"
           "Runs a 6502 program image (raw machine code) on a 64 KiB machine. Without an\n"
           "image the machine continues from \"membackup\", the memory saved by the last run.\n"
           "\n"
           "  image            program to load, at 0x0200 unless an address follows\n"
           "  $address         hexadecimal load address, e.g. $C000\n"
           "  -i               keyboard input from standard input until it ends\n"
           "\n"
           "options (before the image):\n"
           "  -h, --help                show this help and exit\n"
           "  --version                 show the version and exit\n"
           "  --stats                   print instructions, cycles and speed at the end\n"
           "  --trace                   print a trace line after every instruction\n"
           "  --clean                   start from a fresh machine; leave \"membackup\" alone\n"
           "  --max-instructions N      stop after N instructions (exit status 3, nothing saved)\n"
           "\n"
           "A run ends when the program jumps to 0x0000; memory is then saved to \"membackup\".\n"
           "Exit status: 0 normal end, 1 could not load or save, 2 bad option,\n"
           "3 instruction limit reached.\n";
}
