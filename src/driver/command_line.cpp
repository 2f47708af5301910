#include "driver/command_line.hpp"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/text.hpp"
#include "inspect/check_settings.hpp"
#include "inspect/profile_format.hpp"

std::optional<long> scan_load_address(const char* text, bool* whole) {
    unsigned int value = 0;
    int used = 0;
    const bool scanned = std::sscanf(text, "%4x%n", &value, &used) == 1;
    if (whole != nullptr) {
        // The scan takes a bare "0x" for zero; that is not an address either.
        const char* digits = text;
        while (std::isspace(static_cast<unsigned char>(*digits))) ++digits;
        if (*digits == '+' || *digits == '-') ++digits;
        if (digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) digits += 2;
        *whole = scanned && text[used] == '\0' && digits < text + used;
    }
    if (!scanned) return std::nullopt;
    // "%4x" accepts a minus sign and negates in unsigned arithmetic; read
    // the bits back as the signed number the user wrote.
    return static_cast<long>(static_cast<int>(value));
}

namespace {
// "--name" or "--name=value": true when `arg` is this option. The value
// comes after "=" or, failing that, from the next argument (nullptr when
// there is none).
bool option_with_value(const char* arg, const char* name, int argc, char** argv, int& i, const char*& value) {
    const std::size_t length = std::strlen(name);
    if (std::strncmp(arg, name, length) != 0 || (arg[length] != '=' && arg[length] != '\0')) return false;
    value = arg[length] == '=' ? arg + length + 1 : (i + 1 < argc ? argv[++i] : nullptr);
    return true;
}

// The options whose value is a file name: where it goes, and whether the
// option makes the run deterministic.
struct FileOption {
    const char* name;
    const char* CommandLine::*path;
    bool deterministic;
};
constexpr FileOption FILE_OPTIONS[] = {
    {"--commands", &CommandLine::commands, false},   {"--labels", &CommandLine::labels, false},
    {"--profile", &CommandLine::profile, false},     {"--record", &CommandLine::record_path, true},
    {"--replay", &CommandLine::replay_path, true},   {"--debug-info", &CommandLine::debug_info, false},
    {"--check-suppress", &CommandLine::check_suppress, false}, {"--coverage", &CommandLine::coverage, false},
};

// The options that only switch something on.
struct FlagOption {
    const char* name;
    bool CommandLine::*flag;
};
constexpr FlagOption FLAG_OPTIONS[] = {
    {"--help", &CommandLine::help},           {"--version", &CommandLine::version},
    {"--stats", &CommandLine::stats},         {"--trace", &CommandLine::trace},
    {"--clean", &CommandLine::clean},         {"--exit-status", &CommandLine::exit_status},
    {"--monitor", &CommandLine::monitor},     {"--dap", &CommandLine::dap},     {"--deterministic", &CommandLine::deterministic},
    {"--check", &CommandLine::check},
};

const char* const ADDRESS_FORMS = " needs a hexadecimal address up to FFFF, like C000, 0xC000 or $C000";

// One long option at argv[i] (which may take argv[i + 1] as its value).
void parse_long_option(int argc, char** argv, int& i, CommandLine& line, bool& load_address_option) {
    const char* arg = argv[i];
    const char* value = nullptr;
    for (const FileOption& option : FILE_OPTIONS) {
        if (!option_with_value(arg, option.name, argc, argv, i, value)) continue;
        line.*option.path = value;
        if (value == nullptr || *value == '\0') line.error = std::string(option.name) + " needs a file name";
        line.deterministic = line.deterministic || option.deterministic;
        return;
    }
    for (const FlagOption& option : FLAG_OPTIONS) {
        if (std::strcmp(arg, option.name) != 0) continue;
        line.*option.flag = true;
        return;
    }
    if (option_with_value(arg, "--time", argc, argv, i, value)) {
        line.start_time = parse_time_option(value);
        if (!line.start_time) line.error = "--time needs a date and time like 2024-02-29T23:59:59";
        else if (!year_register_holds(*line.start_time)) line.error = YEAR_RANGE_ERROR;
        line.deterministic = true;
    } else if (option_with_value(arg, "--seed", argc, argv, i, value)) {
        line.seed = parse_count(value);
        if (!line.seed) line.error = "--seed needs a whole number";
        line.deterministic = true;
    } else if (option_with_value(arg, "--max-instructions", argc, argv, i, value)) {
        line.max_instructions = parse_count(value);
        if (!line.max_instructions) line.error = "--max-instructions needs a whole number";
    } else if (option_with_value(arg, "--load-address", argc, argv, i, value)) {
        const auto address = parse_address_option(value);
        if (address) line.load_address = *address;
        else line.error = std::string("--load-address") + ADDRESS_FORMS;
        load_address_option = true;
    } else if (option_with_value(arg, "--cpu", argc, argv, i, value)) {
        const std::optional<Chip> chip = value != nullptr ? parse_chip_name(value) : std::nullopt;
        if (chip) {
            line.chip = *chip;
            line.chip_given = true;
        } else {
            line.error = "--cpu needs 6502, 6502X or 65C02";
        }
    } else if (option_with_value(arg, "--check-off", argc, argv, i, value)) {
        line.check_off = value;
        CheckSet kinds = CheckSet::all();
        if (value == nullptr) line.error = "--check-off needs the names of checks, like return,stack-wrap";
        else line.error = turn_off_kinds(value, kinds);
        line.check = true;
    } else if (option_with_value(arg, "--protect", argc, argv, i, value)) {
        line.protect = value;
        std::vector<AddressSpan> spans;
        line.error = parse_protect(value, spans);
        line.check = true;
    } else if (option_with_value(arg, "--profile-format", argc, argv, i, value)) {
        line.profile_format = value;
        if (value == nullptr || profile_format_named(value) == std::nullopt)
            line.error = "--profile-format needs table, callgrind or folded";
    } else if (option_with_value(arg, "--core", argc, argv, i, value)) {
        if (value != nullptr && std::strcmp(value, "interpret") == 0) line.translate = false;
        else if (value != nullptr && std::strcmp(value, "translate") == 0) line.translate = true;
        else line.error = "--core needs interpret or translate";
    } else if (option_with_value(arg, "--start", argc, argv, i, value)) {
        line.start = parse_address_option(value);
        if (!line.start) line.error = std::string("--start") + ADDRESS_FORMS;
    } else {
        line.error = std::string("unknown option '") + arg + "'";
    }
}

std::string hex_address(long address) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%04lX", address);
    return text;
}
}  // namespace

bool parse_inspection_option(int argc, char** argv, int& i, CommandLine& line) {
    static constexpr const char* NAMES[] = {"--check", "--check-off", "--check-suppress", "--protect", "--coverage"};
    const char* arg = argv[i];
    for (const char* name : NAMES) {
        const std::size_t length = std::strlen(name);
        if (std::strncmp(arg, name, length) != 0 || (arg[length] != '\0' && arg[length] != '=')) continue;
        bool load_address_option = false;
        parse_long_option(argc, argv, i, line, load_address_option);
        return true;
    }
    return false;
}

CommandLine parse_command_line(int argc, char** argv) {
    CommandLine line;
    bool options_open = true;
    bool load_address_option = false;
    const char* dollar_argument = nullptr;
    int positionals = 0;
    // The slot after the image takes "$..." or "-i"; the one after that
    // takes the other of the two; nothing further has a meaning.
    enum class After { address_or_switch, address, input_switch, nothing } after = After::address_or_switch;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (options_open && arg[0] == '-' && arg[1] == '-') {
            if (arg[2] == '\0') {
                options_open = false;
            } else {
                parse_long_option(argc, argv, i, line, load_address_option);
                if (!line.error.empty()) return line;
            }
            continue;
        }
        if (positionals == 0) {
            if (options_open && std::strcmp(arg, "-h") == 0) {
                line.help = true;
                continue;
            }
            line.image_path = arg;  // "-i" or "$..." here is a file name, as it always was
            ++positionals;
            continue;
        }
        ++positionals;
        const bool is_address = arg[0] == '$';
        const bool is_switch = std::strcmp(arg, "-i") == 0;
        if (is_address && (after == After::address_or_switch || after == After::address)) {
            dollar_argument = arg;
            after = after == After::address ? After::nothing : After::input_switch;
        } else if (is_switch && (after == After::address_or_switch || after == After::input_switch)) {
            line.stdin_input = true;
            after = after == After::input_switch ? After::nothing : After::address;
        } else {
            line.warnings.push_back(std::string("extra argument '") + arg + "' ignored.");
            after = After::nothing;
        }
    }
    if (line.replay_path != nullptr) {
        // The replay file holds the keys and the options that shaped the run.
        if (line.record_path != nullptr) line.error = "--record and --replay cannot be given together";
        else if (line.seed || line.start_time)
            line.error = std::string("--") + (line.seed ? "seed" : "time") +
                         " cannot be given with --replay: the replay file sets it";
        else if (line.chip_given) line.error = "--cpu cannot be given with --replay: the replay file sets it";
        else if (line.stdin_input) line.error = "-i cannot be given with --replay: the keys come from the replay file";
        if (!line.error.empty()) return line;
    }
    if (dollar_argument != nullptr) {
        if (load_address_option) {
            line.error = std::string("both '") + dollar_argument + "' and --load-address give a load address";
            return line;
        }
        bool whole = false;
        if (const auto address = scan_load_address(dollar_argument + 1, &whole)) line.load_address = *address;
        if (!whole) {
            line.warnings.push_back(std::string("'") + dollar_argument + "' is not a whole hexadecimal address; loading at " +
                                    hex_address(line.load_address) + ".");
        }
    }
    return line;
}

// The manual page (doc/emu6502.1.scd) lists the same options: a test
// compares the two, so an option added here goes there too. No wrapped
// line may start with "-": the shell completion reads options from here.
const char* usage_text() {
    return "usage: emu6502 [options] [image [$address] [-i]]\n"
           "\n"
           "Runs a 6502 program image (raw machine code) on a 64 KiB machine. Without an\n"
           "image the machine continues from \"membackup\", the memory saved by the last run.\n"
           "\n"
           "  image            program to load, at 0x0200 unless an address follows\n"
           "  $address         hexadecimal load address, e.g. '$C000' (quoted: the shell\n"
           "                   expands an unquoted $C000 to nothing)\n"
           "  -i               keyboard input from standard input until it ends\n"
           "The address and -i follow the image, in either order.\n"
           "\n"
           "options (anywhere before \"--\"):\n"
           "  -h, --help                show this help and exit (-h only before the image)\n"
           "  --version                 show the version and exit\n"
           "  --load-address ADDR       load the image at ADDR (C000, 0xC000 or $C000)\n"
           "  --start ADDR              begin at ADDR after reset instead of the reset\n"
           "                            vector; memory is not changed\n"
           "  --cpu NAME                the processor: 6502 (this machine's, the default),\n"
           "                            6502X (the NMOS chip, undocumented opcodes and all)\n"
           "                            or 65C02\n"
           "  --core NAME               how instructions run: interpret, or translate (into\n"
           "                            host code; where a tool watches every instruction,\n"
           "                            or the build has no translator, they are interpreted)\n"
           "  --exit-status             a normal end exits with the value of register A\n"
           "  --stats                   print instructions, cycles and speed at the end\n"
           "  --trace                   print a trace line after every instruction\n"
           "  --clean                   start from a fresh machine; leave \"membackup\" alone\n"
           "  --max-instructions N      stop after N instructions (exit status 3, nothing saved)\n"
           "  --monitor                 stop in the monitor before the first instruction;\n"
           "                            Ctrl-] brings it back while the program runs\n"
           "  --commands FILE           monitor commands from FILE (output on standard\n"
           "                            error); the run goes on when FILE ends\n"
           "  --labels FILE             labels for the monitor, as ld65 -Ln writes them\n"
           "  --debug-info FILE         source lines and symbols for the monitor, as the\n"
           "                            linker writes them with ld65 --dbgfile (default:\n"
           "                            NAME.dbg beside the image, with the monitor)\n"
           "  --dap                     speak the Debug Adapter Protocol on standard input\n"
           "                            and output, for an editor's debugger\n"
           "  --profile FILE            at the end, count and cycles of every address run\n"
           "                            to FILE, the ten hottest routines on standard error;\n"
           "                            FILE.callgrind or callgrind.out.*: Callgrind's format\n"
           "                            with the call graph, FILE.folded: folded stacks\n"
           "  --profile-format NAME     table, callgrind or folded, whatever FILE's name\n"
           "  --check                   report reads of unwritten memory, writes into code,\n"
           "                            bad returns, stack wraps and more as they happen;\n"
           "                            any report ends the run with status 5\n"
           "  --check-off NAMES         --check without these checks (comma-separated)\n"
           "  --check-suppress FILE     --check without the reports FILE names\n"
           "  --protect RANGES          --check holds these read-only, like 0200-02FF,C000\n"
           "  --coverage FILE           lines, functions and branches run, in LCOV's\n"
           "                            format, added to FILE's counts from earlier runs\n"
           "  --deterministic           a run that depends only on its inputs: the timer and\n"
           "                            the clock follow emulated cycles, RANDOM a seed, and\n"
           "                            keys come only from -i or a replay file\n"
           "  --time YYYY-MM-DDTHH:MM:SS  the clock's start (default 2000-01-01T00:00:00);\n"
           "                            implies --deterministic\n"
           "  --seed N                  RANDOM's seed (default 1); implies --deterministic\n"
           "  --record FILE             a deterministic run that still reads the terminal's\n"
           "                            keys, written to FILE with the run's options\n"
           "  --replay FILE             run again with the options and keys of FILE\n"
           "  --                        end of options: what follows is positional\n"
           "\n"
           "A run ends when the program jumps to 0x0000; memory is then saved to \"membackup\".\n"
           "Exit status: 0 normal end (with --exit-status: the value of A), 1 could not\n"
           "load or save, 2 bad option, 3 instruction limit reached, 4 processor halted\n"
           "(JAM on the 6502X, STP on the 65C02), 5 --check reported a fault.\n";
}
