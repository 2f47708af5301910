// The run's inspections, as the command line asks for them: the checks,
// the coverage and the profiles for other viewers. Set up before the run
// (bad input refused then), watching it as one observer, and their files
// written after it.
#pragma once

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "driver/command_line.hpp"
#include "engine/observer_pair.hpp"
#include "inspect/call_profile.hpp"
#include "inspect/check_observer.hpp"
#include "inspect/checker.hpp"
#include "inspect/coverage.hpp"
#include "inspect/lcov.hpp"
#include "inspect/profile_format.hpp"

class Inspections {
public:
    std::unique_ptr<Checker> checker;

    // After memory is loaded: "" when the run may start, else one line
    // saying why not. Under the debug `adapter` there is always a checker.
    [[nodiscard]] std::string prepare(const CommandLine& line, const debug_info::DebugInfo* info,
                                      const std::string& debug_path, bool adapter);
    // All of them as one observer; nullptr when none is asked for. With
    // `stopping` (the monitor or the adapter beside), a check's report
    // stops the run.
    [[nodiscard]] RunObserver* observer(bool stopping);
    // After the run: summaries said and files written; false when a file
    // could not be written.
    [[nodiscard]] bool finish();
    // Whether --profile is this one's (Callgrind's or folded) rather than the monitor's table.
    [[nodiscard]] bool profiles() const { return profile_ != nullptr; }
    // --coverage's counts (nullptr: not asked for), and the file written
    // from them with the earlier runs' counts added: false when it could not be.
    [[nodiscard]] CoverageCounts* coverage() const { return coverage_.get(); }
    [[nodiscard]] bool write_coverage();

private:
    const CommandLine* line_ = nullptr;
    const debug_info::DebugInfo* info_ = nullptr;
    std::string debug_path_;
    std::unique_ptr<CheckObserver> check_observer_;
    std::unique_ptr<CoverageCounts> coverage_;
    std::unique_ptr<CoverageObserver> coverage_observer_;
    LcovReport earlier_;  // the coverage file's counts from earlier runs
    std::string test_name_;
    std::unique_ptr<CallProfile> profile_;
    std::unique_ptr<CallProfileObserver> profile_observer_;
    ProfileFormat profile_format_ = ProfileFormat::table;
    std::vector<RunObserver*> watchers_;
    std::deque<ObserverPair> pairs_;
};

// --check's settings as the options give them, for the program of `info`:
// "" when sound, else one line saying what is wrong.
[[nodiscard]] std::string check_settings_for(const CommandLine& line, const debug_info::DebugInfo* info,
                                             CheckSettings& settings);

// The name the coverage file gives the program now in memory, as its
// debug information places it.
[[nodiscard]] std::string coverage_test_name(const debug_info::DebugInfo& info);

// Whether the file at `path` may be replaced by a profile of `format`:
// there is none, or it begins as such a profile does.
[[nodiscard]] bool is_profile_of(const char* path, ProfileFormat format);
