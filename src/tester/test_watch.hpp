// What else may watch the tests: the run's checks and coverage, which the
// driver sets up from the command line. The runner only calls it; each
// worker process has its own copy, and sends what it counted to the parent
// when its last test is done.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/observer.hpp"
#include "tester/test_file.hpp"

namespace tester {

class TestWatch {
public:
    virtual ~TestWatch() = default;
    // A file's fresh machine, its image placed and nothing run: the
    // observer for its C start-up (nullptr: none). Memory written from
    // here on is told through `wrote`.
    [[nodiscard]] virtual RunObserver* file_start(const LoadedFile& file) = 0;
    // Before a test's setup: the observer for its run (nullptr: none).
    [[nodiscard]] virtual RunObserver* test_start() = 0;
    // Memory the runner wrote, not the program: a test's setup, a mock's results.
    virtual void wrote(std::uint16_t first, std::size_t count) = 0;
    // A mocked routine returned without its RTS having run.
    virtual void mocked() = 0;
    // After the run (or the start-up): what fired in it, each report
    // ending in a newline; "" when nothing did.
    [[nodiscard]] virtual std::string test_end() = 0;
    // A worker's counts, as one line of text, after its last test; and in
    // the parent, a worker's line added to its own counts (false: not one).
    [[nodiscard]] virtual std::string worker_counts() = 0;
    [[nodiscard]] virtual bool add_worker_counts(std::string_view line) = 0;
    // A worker ended without sending its counts (it died): the sum is short.
    virtual void counts_lost() = 0;
};

}  // namespace tester
