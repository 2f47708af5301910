// --coverage: what a run executed, per address, and for each conditional
// branch how often it was taken; turned into LCOV's tracefile through the
// debug information (lcov.hpp). A library object: construct, attach its
// observer to a run (or several), read the counts.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "engine/observer.hpp"

class CoverageCounts {
public:
    CoverageCounts();
    // After the instruction at `pc` ran, pc being now at `next`.
    void executed(std::uint16_t pc, std::uint16_t next) {
        ++runs_[pc];
        const std::uint8_t length = branch_length_[memory_byte(pc)];
        if (length != 0 && next != static_cast<std::uint16_t>(pc + length)) ++taken_[pc];
    }
    [[nodiscard]] std::uint64_t runs(std::uint16_t pc) const { return runs_[pc]; }
    [[nodiscard]] std::uint64_t taken(std::uint16_t pc) const { return taken_[pc]; }
    // Counts made elsewhere (another process's run of the same program) added.
    void add(std::uint16_t pc, std::uint64_t runs, std::uint64_t taken) {
        runs_[pc] += runs;
        taken_[pc] += taken;
    }
    // The instruction's length when the opcode is a conditional branch here, else 0.
    [[nodiscard]] std::uint8_t branch_length(std::uint8_t opcode) const { return branch_length_[opcode]; }

private:
    static std::uint8_t memory_byte(std::uint16_t pc);
    std::vector<std::uint64_t> runs_ = std::vector<std::uint64_t>(0x10000);
    std::vector<std::uint64_t> taken_ = std::vector<std::uint64_t>(0x10000);
    std::array<std::uint8_t, 256> branch_length_{};
};

// The counts' observer: every instruction one at a time.
class CoverageObserver final : public CountingObserver {
public:
    explicit CoverageObserver(CoverageCounts& counts) : counts_(counts) {}
    void step_after(std::uint16_t pc, std::uint32_t) override;

private:
    CoverageCounts& counts_;
};
