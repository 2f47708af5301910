// --check and --coverage for `emu6502 test`: the checks watch each test
// from the memory its file's machine starts with (the image, the vectors,
// what the C start-up wrote, then the test's setup), and a report fails
// the test; the coverage of every test, in every worker, is summed into
// one file, as a plain run's is.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "driver/command_line.hpp"
#include "driver/inspections.hpp"
#include "tester/test_runner.hpp"
#include "tester/test_watch.hpp"

class TestInspections final : public tester::TestWatch {
public:
    // Before any test: "" when the run may start, else one line. `line`
    // holds the inspection options; `loaded` must outlive this.
    [[nodiscard]] std::string prepare(const CommandLine& line, const tester::LoadedFiles& loaded);
    // Whether any inspection was asked for.
    [[nodiscard]] bool any() const { return checks_ || inspections_.coverage() != nullptr; }
    // After the tests: the coverage file written; false when it could not be.
    [[nodiscard]] bool finish();

    [[nodiscard]] RunObserver* file_start(const tester::LoadedFile& file) override;
    [[nodiscard]] RunObserver* test_start() override;
    void wrote(std::uint16_t first, std::size_t count) override;
    void mocked() override;
    [[nodiscard]] std::string test_end() override;
    [[nodiscard]] std::string worker_counts() override;
    [[nodiscard]] bool add_worker_counts(std::string_view line) override;
    void counts_lost() override { counts_lost_ = true; }

private:
    const tester::LoadedFiles* loaded_ = nullptr;
    bool checks_ = false;
    CommandLine coverage_line_;            // --coverage alone, for inspections_
    Inspections inspections_;              // the coverage file, read and written as a run's
    const tester::LoadedFile* program_ = nullptr;  // the file whose program --coverage covers
    std::vector<CheckSettings> settings_;  // per file
    // The file's checker as its tests start, and the one watching a test.
    std::optional<Checker> base_, current_;
    Checker* active_ = nullptr;
    std::size_t findings_before_ = 0;
    std::optional<CheckObserver> base_observer_, current_observer_;
    std::optional<CoverageObserver> coverage_observer_;
    std::optional<ObserverPair> both_;
    bool counts_lost_ = false;
};
