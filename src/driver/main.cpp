// emu6502: a 6502 machine in a terminal.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "bus/devices.hpp"
#include "cpu/cpu.hpp"
#include "driver/adapter.hpp"
#include "driver/command_line.hpp"
#include "driver/debug_file.hpp"
#include "driver/images.hpp"
#include "driver/test_command.hpp"
#include "driver/inspections.hpp"
#include "engine/observer_pair.hpp"
#include "base/text.hpp"
#include "driver/version.hpp"
#include "monitor/monitor.hpp"
#include "engine/replay.hpp"
#include "engine/run_loop.hpp"
#include "engine/trace.hpp"
#include "host/clock.hpp"
#include "host/files.hpp"
#include "host/process.hpp"
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
// Reads "membackup" into memory under the folder's lock; false when the run
// must not start. `read_only` tells that the file is there and may not be
// replaced.
bool take_saved_memory(bool& read_only, std::size_t& saved_size) {
    switch (host_lock_working_folder()) {
    case FolderLock::taken:
    case FolderLock::unsupported: break;
    case FolderLock::busy:
        std::fputs("another run is using this folder's membackup.\n", stderr);
        return false;
    }
    const MembackupRead saved = load_membackup();
    saved_size = saved.size;
    switch (saved.result) {
    case MembackupLoad::loaded: break;
    case MembackupLoad::missing: std::fputs("can't read membackup file.\n", stderr); break;
    case MembackupLoad::unreadable:
        std::fprintf(stderr, "can't read membackup file: %s; it was left as it is.\n", host_error_text(saved.error));
        return false;
    case MembackupLoad::not_regular:
        std::fputs("can't read membackup file: Not a regular file; it was left as it is.\n", stderr);
        return false;
    case MembackupLoad::busy:
        std::fputs("another run is using this folder's membackup.\n", stderr);
        return false;
    case MembackupLoad::too_short:
        std::fputs("membackup file is shorter than 65536 bytes; the rest is a fresh machine.\n", stderr);
        break;
    case MembackupLoad::too_long:
        std::fputs("membackup file is longer than 65536 bytes; the rest was ignored and will be lost when this run "
                   "saves.\n",
                   stderr);
        break;
    }
    read_only = host_file_read_only(MEMBACKUP_NAME);
    if (read_only) {
        std::fputs("membackup file is read-only; this run's memory will not be saved.\n", stderr);
    } else if (membackup_folder_read_only()) {
        std::fputs("membackup folder is read-only; this run's memory will not be saved.\n", stderr);
        read_only = true;
    }
    return true;
}

// How a replay ended, against its recording: an empty string when it went
// as recorded, else the line of the replay file it departs from and why.
std::string replay_departure(const ReplayScript& script, const RunOutcome& outcome, bool user_limit) {
    const auto at = [](unsigned line, const std::string& what) {
        return "line " + std::to_string(line) + ": the run departs from the recording: " + what;
    };
    if (outcome.end == RunEnd::recording_cut_off) return {};
    if (outcome.end == RunEnd::departed) {
        const std::size_t key = outcome.departed_key;
        return at(script.key_lines[key],
                  "no keyboard read at instruction count " + std::to_string(script.keys[key].instruction));
    }
    const std::string recorded_end = script.end ? std::to_string(script.end->instructions) : std::string();
    if (outcome.end == RunEnd::instruction_limit && !user_limit && script.end && script.end->program_ended)
        return at(script.end->line,
                  "the recorded run ended at instruction count " + recorded_end + ", this one goes on");
    if (outcome.end != RunEnd::program_ended) return {};
    const std::string ended = "the run ended at instruction count " + std::to_string(outcome.instructions);
    for (std::size_t key = 0; key < script.keys.size(); ++key) {
        if (script.keys[key].instruction >= outcome.instructions)
            return at(script.key_lines[key], ended + ", before this key was read");
    }
    if (!script.end || (script.end->program_ended && script.end->instructions == outcome.instructions)) return {};
    return at(script.end->line,
              ended + (script.end->program_ended ? ", the recorded one at " : "; the recorded one was stopped at ") +
                  recorded_end);
}
// --help and --version: what was written must have arrived.
int finish_standard_output() {
    if (std::fflush(stdout) == 0 && std::ferror(stdout) == 0) return 0;
    std::fprintf(stderr, "emu6502: can't write to standard output: %s.\n", std::strerror(errno));
    return 1;
}

// An option that writes a file never replaces a file of another kind, such
// as the program image taken for the option's file name.
int refuse_other_kind(const CommandLine& line, const char* option, const char* path, const char* file_kind,
                      const char* own_kind) {
    std::fprintf(stderr, "can't write %s file '%s': it is not %s, and was left as it is; nothing ran.\n", file_kind,
                 path, own_kind);
    if (line.image_path == nullptr)
        std::fprintf(stderr, "emu6502: no program image was given: %s took '%s' as its file name.\n", option, path);
    return 1;
}
}  // namespace

// The run: saved memory and the image in, the machine run, memory saved;
// returns the exit status. Under the debug adapter, `adapter` gives the
// run's observer.
int run_program(const CommandLine& line, const AdapterRun* adapter) {
    for (const std::string& warning : line.warnings) std::fprintf(stderr, "emu6502: %s\n", warning.c_str());
    if (line.record_path != nullptr && !is_recording(host_file_start(line.record_path, 16)))
        return refuse_other_kind(line, "--record", line.record_path, "replay", "a recording");
    if (line.profile != nullptr && !is_profile_of(line.profile, profile_format_for(line.profile, line.profile_format)))
        return refuse_other_kind(line, "--profile", line.profile, "profile", "a profile");

    ReplayScript script;
    script.seed = line.seed.value_or(DEFAULT_SEED);
    script.start_time = line.start_time.value_or(DEFAULT_START_TIME);
    script.chip = line.chip;
    if (line.replay_path != nullptr) {
        const std::string error = load_replay(line.replay_path, script);
        if (!error.empty()) {
            std::fprintf(stderr, "%s.\n", error.c_str());
            return 1;
        }
    }
    random_seed(line.deterministic ? script.seed : host_random_seed());
    data_file_init();
    console_init(false);

    prepare_memory();
    bool membackup_read_only = false;
    std::size_t saved_size = 0;
    std::size_t image_size = 0;
    if (!line.clean && !take_saved_memory(membackup_read_only, saved_size)) return 1;
    if (line.image_path != nullptr) {
        const ImageLoad loaded = load_image(line.image_path, line.load_address, &image_size);
        if (loaded != ImageLoad::loaded) {
            std::fputs(image_load_message(loaded), stderr);
            return 1;
        }
    }
    console_init(line.stdin_input);
    // A replay from other memory would depart sooner or later: say so now.
    if (line.replay_path != nullptr && script.memory_fingerprint &&
        *script.memory_fingerprint != memory_fingerprint()) {
        std::fprintf(stderr,
                     "replay file '%s' line %u: the run departs from the recording: it starts from other memory "
                     "(another membackup or image); nothing ran.\n",
                     line.replay_path, script.memory_line);
        return 1;
    }
    if (line.record_path != nullptr) {
        const std::string error =
            record_open(line.record_path, script.seed, script.start_time, script.chip, memory_fingerprint());
        if (!error.empty()) {
            std::fprintf(stderr, "%s.\n", error.c_str());
            return 1;
        }
        console_observe_keys([](u8 key) { record_key(instructions_before_step, key); });
    }
    // A deterministic run reads the terminal only to record it; the debug
    // adapter's keys come from its keys file alone.
    const bool terminal_keys = !line.dap && (!line.deterministic || line.record_path != nullptr);
    if (line.deterministic && !terminal_keys && line.replay_path == nullptr && !line.stdin_input &&
        host_stdin_is_terminal())
        std::fputs("emu6502: a deterministic run does not read the terminal's keys (use -i, --record or --replay); "
                   "the keyboard reads 0.\n",
                   stderr);
    // A recording killed before its end line: its keys replay, and the run
    // stops where the recording can no longer say what was typed.
    const bool cut_off = line.replay_path != nullptr && !script.end;
    if (cut_off)
        std::fprintf(stderr,
                     "replay file '%s' has no end line: the recording was cut off; the replay stops at the first "
                     "keyboard read after its last key.\n",
                     line.replay_path);
    console_key_source(terminal_keys ? KeySource::terminal
                                     : line.replay_path != nullptr ? KeySource::script : KeySource::none);
    host_enable_virtual_terminal();
    signals_install();
    // The monitor's key is looked for on the terminal in every run.
    if (terminal_keys || line.monitor) keyboard_open();
    cpu_select(script.chip);
    cpu_reset();
    if (line.start) cpu.pc = *line.start;  // the reset vector in memory stays as it is
    // Set last: a slow image or membackup read must not leave timer
    // requests overdue before the first instruction.
    const std::int64_t irq_deadline = host_clock_ms() + TIMER_PERIOD_MS;

    RunSettings settings;
    settings.count_cycles = line.stats || line.deterministic;
    settings.trace_always = line.trace;
    settings.max_instructions = line.max_instructions;
    settings.translate = line.translate;
    if (line.deterministic) {
        settings.deterministic = {true, line.record_path != nullptr, script.start_time, script.keys, cut_off};
        // A replay stops where its recording did.
        if (script.end)
            settings.max_instructions = std::min(script.end->instructions, line.max_instructions.value_or(UINT64_MAX));
    }
    const Clock::time_point started = Clock::now();
    RunDebugInfo debug = load_run_debug_info(line);
    // Not where the debug file beside the image was refused: the labels are
    // of the same build, and would name the image's bytes wrongly too.
    if (debug.info != nullptr || debug.message.empty()) debug.labels = labels_beside(line);
    if (!debug.message.empty()) std::fprintf(stderr, "%s\n", debug.message.c_str());
    // The table is the monitor's; the other formats are an inspection's.
    const bool table_profile = line.profile != nullptr && profile_format_for(line.profile, line.profile_format) == ProfileFormat::table;
    const MonitorOptions monitor{line.monitor, line.commands, line.labels, table_profile ? line.profile : nullptr,
                                 debug.info.get(), debug.path.c_str(), debug.labels.empty() ? nullptr : debug.labels.c_str()};
    // Labels serve only the monitor and the profile: said, not silently dropped.
    if (line.labels != nullptr && !monitor_wanted(monitor) && adapter == nullptr)
        std::fprintf(stderr, "emu6502: labels '%s' not used: they serve --monitor, --commands and --profile.\n",
                     escape_control(line.labels).c_str());
    Inspections inspections;
    {
        const std::string fault = inspections.prepare(line, debug.info.get(), debug.path, adapter != nullptr);
        if (!fault.empty()) {
            std::fprintf(stderr, "emu6502: %s; nothing ran.\n", fault.c_str());
            return EXIT_BAD_OPTION;
        }
    }
    if (inspections.checker) {
        // What the run starts with has been written: the vectors and the
        // trace switch, the saved memory, the image.
        inspections.checker->mark_written(0xFFFC, 4);
        inspections.checker->mark_written(TRACE_CTL, 1);
        inspections.checker->mark_written(0, saved_size);
        if (line.image_path != nullptr) inspections.checker->mark_written(static_cast<u16>(line.load_address), image_size);
    }
    RunObserver* watcher = inspections.observer(adapter != nullptr || monitor.interactive || monitor.commands != nullptr);
    RunOutcome outcome;
    if (adapter != nullptr) {
        RunObserver* talker = adapter->observer(debug, inspections.checker.get());
        std::optional<ObserverPair> pair;
        if (watcher != nullptr) pair.emplace(*talker, *watcher);
        outcome = run_machine(irq_deadline, settings, pair ? &*pair : talker);
    } else if (monitor_wanted(monitor)) {
        outcome = run_monitored(irq_deadline, settings, monitor, watcher);
    } else {
        outcome = run_machine(irq_deadline, settings, watcher);
    }
    const Clock::duration elapsed = Clock::now() - started;

    host_console_close();  // the last buffered output, and the terminal's modes undone
    const DataFileClose data_closed = data_file_close();
    keyboard_close();
    if (line.stats) print_stats(outcome, elapsed);
    bool failed = !inspections.finish();
    if (line.record_path != nullptr) {
        const std::string error = record_end(outcome.instructions, outcome.end == RunEnd::program_ended);
        if (!error.empty()) {
            std::fprintf(stderr, "%s.\n", error.c_str());
            failed = true;
        }
    }
    if (outcome.end == RunEnd::signal) host_die_by_signal(outcome.signal);  // "membackup" keeps the last saved image
    // Asked to stop while the run was ending, say by a reader that went
    // away before it took the last output (a broken pipe).
    if (host_stop_signal() != 0) host_die_by_signal(host_stop_signal());
    // Output lost on the way (a full disk): said last, after the save.
    const auto report_output_error = [&data_closed] {
        const int error = host_console_error();
        if (error != 0) std::fprintf(stderr, "console output failed: %s.\n", std::strerror(error));
        if (trace_output_error() != 0) std::fprintf(stderr, "trace output failed: %s.\n", std::strerror(trace_output_error()));
        if (data_closed.error != 0)
            std::fprintf(stderr, "can't write data file '%s': %s.\n", data_closed.name,
                         host_error_text(data_closed.error));
        return error != 0 || trace_output_error() != 0 || data_closed.error != 0 || output_was_lost();
    };
    // The user's own limit, when it came first, is no departure.
    const bool user_limit = line.max_instructions && outcome.instructions == *line.max_instructions;
    if (line.replay_path != nullptr) {
        const std::string departure = replay_departure(script, outcome, user_limit);
        if (!departure.empty()) {
            std::fprintf(stderr, "replay file '%s' %s; memory not saved.\n", line.replay_path, departure.c_str());
            report_output_error();
            return 1;
        }
    }
    if (outcome.end == RunEnd::recording_cut_off) {
        std::fprintf(stderr,
                     "replay file '%s' was cut off: the keyboard read at instruction count %llu comes after its last "
                     "key; memory not saved.\n",
                     line.replay_path, static_cast<unsigned long long>(outcome.instructions - 1));
        report_output_error();
        return failed ? 1 : EXIT_INSTRUCTION_LIMIT;
    }
    if (outcome.end == RunEnd::halted) {
        std::fprintf(stderr, "%s; memory not saved.\n", halt_text());
        report_output_error();
        return failed ? 1 : EXIT_HALTED;
    }
    if (outcome.end == RunEnd::instruction_limit) {
        std::fputs(script.end && !user_limit ? "replay reached the end of its recording; memory not saved.\n"
                                             : "instruction limit reached; memory not saved.\n",
                   stderr);
        report_output_error();
        return failed ? 1 : EXIT_INSTRUCTION_LIMIT;
    }
    if (!line.clean) {
        const MembackupSave saved = membackup_read_only ? MembackupSave::failed : save_membackup();
        if (saved == MembackupSave::changed)
            std::fputs("can't write membackup file: another file took its place during the run; it was left as it "
                       "is.\n",
                       stderr);
        else if (saved == MembackupSave::failed)
            std::fputs("can't write membackup file.\n", stderr);
        failed = failed || saved != MembackupSave::saved;
    }
    if (report_output_error()) failed = true;
    if (failed) return 1;
    if (inspections.checker && inspections.checker->any()) return EXIT_CHECK_FAULTS;
    return line.exit_status ? cpu.a : 0;
}

int main(int argc, char** argv) {
    // Before anything opens a file, or it could land on a closed 1 or 2.
    host_guard_standard_streams();
    argv = host_arguments(argc, argv);
    // The test runner's own command line: "test" as the first argument (an
    // image of that name runs as ./test).
    if (argc >= 2 && std::strcmp(argv[1], "test") == 0) return test_command(argc - 1, argv + 1);
    const CommandLine line = parse_command_line(argc, argv);
    if (!line.error.empty()) {
        std::fprintf(stderr, "emu6502: %s; try 'emu6502 --help'.\n", line.error.c_str());
        return EXIT_BAD_OPTION;
    }
    if (line.help || line.version) {
        if (line.help) std::fputs(usage_text(), stdout);
        else std::fputs(version_text().c_str(), stdout);
        return finish_standard_output();
    }
    if (line.dap) return serve_debug_adapter(run_program);
    return run_program(line, nullptr);
}
