// `emu6502 test [OPTIONS] FILE...`: the unit-test runner (src/tester),
// given its options, the machine's fresh memory and, for --monitor, the
// monitor to stop in.
#include "driver/test_command.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "driver/command_line.hpp"

#ifdef EMU6502_HAVE_TESTER
#include "driver/images.hpp"
#include "driver/test_inspections.hpp"
#include "host/clock.hpp"
#include "host/terminal.hpp"
#include "host/workers.hpp"
#include "monitor/monitor.hpp"
#include "tester/test_runner.hpp"
#endif

namespace {

const char* const TEST_USAGE =
    "usage: emu6502 test [OPTIONS] FILE...\n"
    "Runs the unit tests of each JSON test file against its program image.\n"
    "\n"
    "  -j N, --jobs N     run N tests at once (default: one per core)\n"
    "  --junit FILE       also write the results as JUnit XML to FILE\n"
    "  --only NAME        run only the test NAME (\"suite / test\" inside a suite)\n"
    "  --monitor          with --only: stop in the monitor at the test's first instruction\n"
    "  --commands FILE    with --only: the monitor, reading its commands from FILE\n"
    "  --check            fail a test in which a check of a run's --check fires\n"
    "  --check-off NAMES  leave these checks out (comma-separated)\n"
    "  --check-suppress FILE\n"
    "                     leave out the reports FILE names\n"
    "  --protect RANGES   what the checks hold read-only, like 0200-02FF,C000\n"
    "  --coverage FILE    the lines, functions and branches all the tests ran, in\n"
    "                     LCOV's format, added to FILE's counts of the same program\n"
    "  -h, --help         this text\n";

int usage_error(const std::string& what) {
    std::fprintf(stderr, "emu6502 test: %s; try 'emu6502 test --help'.\n", what.c_str());
    return 2;
}

}  // namespace

int test_command(int argc, char** argv) {
    std::vector<std::string> files;
    unsigned jobs = 1;
#ifdef EMU6502_HAVE_TESTER
    jobs = host_processor_count();  // one worker per core
#endif
    const char* junit = nullptr;
    const char* only = nullptr;
    const char* commands = nullptr;
    bool monitor = false;
    CommandLine inspect;  // --check and --coverage, as a run takes them
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto value = [&](const char* option) -> const char* {
            const std::string prefix = std::string(option) + "=";
            if (arg.rfind(prefix, 0) == 0) return argv[i] + prefix.size();
            if (i + 1 >= argc) return nullptr;
            return argv[++i];
        };
        const auto is = [&](const char* option) { return arg == option || arg.rfind(std::string(option) + "=", 0) == 0; };
        if (arg == "-h" || arg == "--help") {
            std::fputs(TEST_USAGE, stdout);
            return std::fflush(stdout) == 0 ? 0 : 1;
        } else if (arg == "-j" || is("--jobs")) {
            const char* n = value("--jobs");
            char* end = nullptr;
            const unsigned long count = n != nullptr ? std::strtoul(n, &end, 10) : 0;
            if (n == nullptr || *n == '\0' || *end != '\0' || count < 1 || count > 256)
                return usage_error("-j needs a number of jobs from 1 to 256");
            jobs = static_cast<unsigned>(count);
        } else if (arg.size() > 2 && arg.rfind("-j", 0) == 0 && arg[2] != '-') {
            char* end = nullptr;
            const unsigned long count = std::strtoul(arg.c_str() + 2, &end, 10);
            if (*end != '\0' || count < 1 || count > 256) return usage_error("-j needs a number of jobs from 1 to 256");
            jobs = static_cast<unsigned>(count);
        } else if (is("--junit")) {
            if ((junit = value("--junit")) == nullptr) return usage_error("--junit needs a file name");
        } else if (is("--only")) {
            if ((only = value("--only")) == nullptr) return usage_error("--only needs a test's name");
        } else if (is("--commands")) {
            if ((commands = value("--commands")) == nullptr) return usage_error("--commands needs a file name");
        } else if (parse_inspection_option(argc, argv, i, inspect)) {
            if (!inspect.error.empty()) return usage_error(inspect.error);
        } else if (arg == "--monitor") {
            monitor = true;
        } else if (arg == "--") {
            for (++i; i < argc; ++i) files.emplace_back(argv[i]);
        } else if (arg.size() > 1 && arg[0] == '-') {
            return usage_error("unknown option '" + arg + "'");
        } else {
            files.push_back(arg);
        }
    }
    if (files.empty()) return usage_error("no test file given");
    if ((monitor || commands != nullptr) && only == nullptr)
        return usage_error("--monitor and --commands need --only NAME: the one test to stop in");
    const bool inspected = inspect.check || inspect.check_suppress != nullptr || inspect.coverage != nullptr;
    if ((monitor || commands != nullptr) && inspected)
        return usage_error("--check and --coverage watch a run of the tests, not --monitor or --commands");
#ifndef EMU6502_HAVE_TESTER
    (void)jobs;
    (void)junit;
    (void)inspected;
    std::fputs("emu6502: the test runner is not built (it needs nlohmann-json).\n", stderr);
    return 2;
#else
    const tester::LoadedFiles loaded = tester::load_test_files(files, only);
    if (!loaded.error.empty()) {
        std::fprintf(stderr, "%s\n", loaded.error.c_str());
        return 2;
    }
    if (!monitor && commands == nullptr) {
        TestInspections inspections;
        const std::string fault = inspections.prepare(inspect, loaded);
        if (!fault.empty()) {
            std::fprintf(stderr, "emu6502: %s; no test ran.\n", fault.c_str());
            return 2;
        }
        const int status = tester::run_test_files(loaded, {files, jobs, junit, only, inspections.any() ? &inspections : nullptr},
                                                  prepare_memory);
        return inspections.finish() || status != 0 ? status : 1;
    }

    // One test, stopped before its first instruction: deterministic, so
    // that steps backwards work. Mocks are not answered here.
    const tester::LoadedFile& file = loaded.files.front();
    if (loaded.files.size() > 1 || file.file.tests.size() > 1)
        return usage_error(std::string("more than one test is named '") + only + "'");
    tester::TestMachine machine(file, prepare_memory);
    if (!machine.error().empty()) {
        std::fprintf(stderr, "%s: %s\n", file.file.path.c_str(), machine.error().c_str());
        return 1;
    }
    const RunSettings settings = machine.prepare(file.file.tests.front());
    console_capture(nullptr);
    host_enable_virtual_terminal();
    signals_install();
    if (monitor) keyboard_open();
    const MonitorOptions options{monitor, commands, nullptr, nullptr, file.debug.get(), file.file.debug_path.c_str()};
    (void)run_monitored(host_clock_ms() + TIMER_PERIOD_MS, settings, options);
    host_console_close();
    (void)data_file_close();
    keyboard_close();
    return 0;
#endif
}
