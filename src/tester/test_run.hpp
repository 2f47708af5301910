// Runs one test on a fresh machine: the image as loaded (for a C program,
// after its start-up up to main), the test's setup, the target entered as
// the processor would enter it, then the engine's run with an observer
// that ends it at the target's end, replaces mocked routines and counts
// what the expectations ask about.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "engine/run_loop.hpp"
#include "tester/test_file.hpp"
#include "tester/test_watch.hpp"

namespace tester {

class TestObserver;

enum class Status : std::uint8_t { passed, failed, skipped };

struct TestOutcome {
    Status status = Status::passed;
    std::vector<std::string> failures;  // each "FIELD: expected ..., saw ..."
    std::uint64_t cycles = 0;
    std::string skip_reason;
};

// Memory as a fresh machine has it before any image (0xEE, the vectors):
// the driver's, called before each file's image is placed.
using FreshMemory = void (*)();

class TestMachine {
public:
    // Readies the file's fresh machine; `error` says why it cannot be had
    // (a C program whose start-up never reaches main). `watch`, when
    // given, watches the start-up and every test beside the test's own
    // observer; what it reports fails the test.
    TestMachine(const LoadedFile& loaded, FreshMemory fresh, TestWatch* watch = nullptr);
    [[nodiscard]] const std::string& error() const { return error_; }

    [[nodiscard]] TestOutcome run(const Test& test);

    // The machine set up for `test`, its first instruction next: for the
    // monitor, which then runs it with these settings.
    [[nodiscard]] RunSettings prepare(const Test& test);

private:
    void wrote(std::uint16_t first, std::size_t count) {
        if (watch_ != nullptr) watch_->wrote(first, count);
    }
    // The test's run, with the watch's observer beside its own.
    [[nodiscard]] RunOutcome run_watched(const RunSettings& settings, TestObserver& observer, RunObserver* extra);

    const LoadedFile& loaded_;
    TestWatch* watch_ = nullptr;
    std::array<std::uint8_t, 0x10000> base_{};
    std::uint16_t c_stack_top_ = 0;  // the C stack pointer's start, for C calls
    bool has_c_stack_ = false;
    std::uint16_t sreg_ = 0;         // cc65's zero-page word for a long's high half
    std::string error_;
    std::vector<std::uint8_t> output_;
    std::vector<ScriptedKey> keys_;
};

}  // namespace tester
