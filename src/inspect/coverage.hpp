// --coverage: what a run executed, per address, and for each conditional
// branch how often it was taken; turned into LCOV's tracefile through the
// debug information (lcov.hpp). The counts are the engine's (observe::
// PROFILE, cpu/observed.hpp), which the threaded code keeps as it runs: a
// library object to construct before the run, its observer attached to
// it, the counts read after.
#pragma once

#include <array>
#include <cstdint>

#include "engine/observer.hpp"

class CoverageCounts {
public:
    // Empties the engine's counts.
    CoverageCounts();
    [[nodiscard]] std::uint64_t runs(std::uint16_t pc) const;
    [[nodiscard]] std::uint64_t taken(std::uint16_t pc) const;
    // Counts made elsewhere (another process's run of the same program) added.
    void add(std::uint16_t pc, std::uint64_t runs, std::uint64_t taken);
    // The instruction's length when the opcode is a conditional branch here, else 0.
    [[nodiscard]] std::uint8_t branch_length(std::uint8_t opcode) const { return branch_length_[opcode]; }

private:
    std::array<std::uint8_t, 256> branch_length_{};
};

// The counts' observer: it asks the engine for them.
class CoverageObserver final : public CountingObserver {
public:
    [[nodiscard]] unsigned threaded_checks() const override;
};
