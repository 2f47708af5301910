// `emu6502 test`: every test of every file, on as many worker processes as
// asked (the machine is one per process), reported in the files' order,
// then the summary line; JUnit XML for CI systems on request.
#pragma once

#include <string>
#include <vector>

#include "tester/test_file.hpp"
#include "tester/test_run.hpp"
#include "tester/test_watch.hpp"

namespace tester {

struct RunnerOptions {
    std::vector<std::string> files;
    unsigned jobs = 1;
    const char* junit = nullptr;  // JUnit XML to this file
    const char* only = nullptr;   // just the test of this name
    TestWatch* watch = nullptr;   // the checks and coverage beside each test
};

// The files read whole, or the one line that says what is wrong with the
// first bad one (then nothing may run: exit status 2).
struct LoadedFiles {
    std::vector<LoadedFile> files;
    std::string error;
};
[[nodiscard]] LoadedFiles load_test_files(const std::vector<std::string>& paths, const char* only);

// Runs them; the exit status: 0 when no test failed, 1 when one did, 2 for
// a runner that could not start (its message said why).
[[nodiscard]] int run_test_files(const LoadedFiles& loaded, const RunnerOptions& options, FreshMemory fresh);

}  // namespace tester
