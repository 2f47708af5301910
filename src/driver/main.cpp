// emu6502: a 6502 machine in a terminal.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "bus/devices.hpp"
#include "cpu/cpu.hpp"
#include "driver/command_line.hpp"
#include "driver/images.hpp"
#include "driver/run_loop.hpp"
#include "host/clock.hpp"
#include "host/terminal.hpp"

namespace {
using Clock = std::chrono::steady_clock;

void print_stats(const RunOutcome& outcome, Clock::duration elapsed) {
    const double seconds = std::chrono::duration<double>(elapsed).count();
    const double per_microsecond = seconds > 0 ? 1.0 / (seconds * 1e6) : 0.0;
    std::fprintf(stderr,
                 "stats: %llu instructions, %llu cycles, %.3f s, %.2f million instructions/s, %.2f MHz\n",
                 static_cast<unsigned long long>(outcome.instructions),
                 static_cast<unsigned long long>(outcome.cycles), seconds,
                 static_cast<double>(outcome.instructions) * per_microsecond,
                 static_cast<double>(outcome.cycles) * per_microsecond);
}
}  // namespace

int main(int argc, char** argv) {
    const CommandLine line = parse_command_line(argc, argv);
    if (!line.error.empty()) {
        std::fprintf(stderr, "emu6502: %s; try 'emu6502 --help'.\n", line.error.c_str());
        return EXIT_BAD_OPTION;
    }
    if (line.help) {
        std::fputs(usage_text(), stdout);
        return 0;
    }
    if (line.version) {
        std::puts("emu6502 " EMU6502_VERSION);
        return 0;
    }

    random_seed(static_cast<unsigned>(host_time_seconds()));
    data_file_init();
    console_init(false);
    const std::int64_t irq_deadline = host_clock_ms() + 10;

    prepare_memory();
    if (!line.clean) {
        switch (load_membackup()) {
        case MembackupLoad::loaded: break;
        case MembackupLoad::missing: std::fputs("can't read membackup file.\n", stderr); break;
        case MembackupLoad::too_long:
            std::fputs("membackup file is longer than 65536 bytes; the rest was ignored.\n", stderr);
            break;
        }
    }
    if (line.image_path != nullptr) {
        const ImageLoad loaded = load_image(line.image_path, line.load_address);
        if (loaded != ImageLoad::loaded) {
            std::fputs(image_load_message(loaded), stderr);
            return 1;
        }
    }
    console_init(line.stdin_input);
    host_enable_virtual_terminal();
    signals_install();
    keyboard_open();
    cpu_reset();

    RunSettings settings;
    settings.count_cycles = line.stats;
    settings.trace_always = line.trace;
    settings.max_instructions = line.max_instructions;
    const Clock::time_point started = Clock::now();
    const RunOutcome outcome = run_machine(irq_deadline, settings);
    const Clock::duration elapsed = Clock::now() - started;

    host_console_close();  // the last buffered output, and the terminal's modes undone
    data_file_close();
    keyboard_close();
    if (outcome.end == RunEnd::signal) host_die_by_signal(outcome.signal);  // "membackup" keeps the last saved image
    // The reader went away before it took the last output: a broken pipe.
    if (host_stop_signal() == SIGPIPE) host_die_by_signal(SIGPIPE);
    if (line.stats) print_stats(outcome, elapsed);
    // Output lost on the way (a full disk): said last, after the save.
    const auto report_output_error = [] {
        const int error = host_console_error();
        if (error != 0) std::fprintf(stderr, "console output failed: %s.\n", std::strerror(error));
        return error != 0;
    };
    if (outcome.end == RunEnd::instruction_limit) {
        std::fputs("instruction limit reached; memory not saved.\n", stderr);
        report_output_error();
        return EXIT_INSTRUCTION_LIMIT;
    }
    bool failed = false;
    if (!line.clean && !save_membackup()) {
        std::fputs("can't write membackup file.\n", stderr);
        failed = true;
    }
    if (report_output_error()) failed = true;
    return failed ? 1 : 0;
}
