// emu6502: a 6502 machine in a terminal.
#include <cstdio>

#include "bus/devices.hpp"
#include "cpu/cpu.hpp"
#include "driver/command_line.hpp"
#include "driver/images.hpp"
#include "driver/run_loop.hpp"
#include "host/clock.hpp"
#include "host/terminal.hpp"

int main(int argc, char** argv) {
    const CommandLine line = parse_command_line(argc, argv);

    random_seed(static_cast<unsigned>(host_time_seconds()));
    data_file_init();
    console_init(false);
    const std::int64_t irq_deadline = host_clock_ms() + 10;

    prepare_memory();
    switch (load_membackup()) {
    case MembackupLoad::loaded: break;
    case MembackupLoad::missing: std::fputs("can't read membackup file.\n", stderr); break;
    case MembackupLoad::too_long:
        std::fputs("membackup file is longer than 65536 bytes; the rest was ignored.\n", stderr);
        break;
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

    RunTotals totals;
    const int stop_signal = run_machine(irq_deadline, totals);

    data_file_close();
    keyboard_close();
    if (stop_signal != 0) host_die_by_signal(stop_signal);  // "membackup" keeps the last saved image
    if (!save_membackup()) {
        std::fputs("can't write membackup file.\n", stderr);
        return 1;
    }
    return 0;
}
