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
    // The instruction's length when the opcode is a conditional branch here, else 0.
    [[nodiscard]] std::uint8_t branch_length(std::uint8_t opcode) const { return branch_length_[opcode]; }

private:
    static std::uint8_t memory_byte(std::uint16_t pc);
    std::vector<std::uint64_t> runs_ = std::vector<std::uint64_t>(0x10000);
    std::vector<std::uint64_t> taken_ = std::vector<std::uint64_t>(0x10000);
    std::array<std::uint8_t, 256> branch_length_{};
};

// The counts' observer: every instruction one at a time.
class CoverageObserver final : public RunObserver {
public:
    explicit CoverageObserver(CoverageCounts& counts) : counts_(counts) {}
    [[nodiscard]] unsigned threaded_checks() const override { return 0; }
    [[nodiscard]] bool one_at_a_time() const override { return true; }
    [[nodiscard]] ObserverStop stop_at_start() override { return {}; }
    [[nodiscard]] const char* stop_before() override { return nullptr; }
    void step_before() override {}
    void step_after(std::uint16_t pc, std::uint32_t) override;
    void interrupt_taken() override {}
    void timer_request() override {}
    [[nodiscard]] std::uint64_t stop_count() const override { return UINT64_MAX; }
    [[nodiscard]] ObserverStop stop_due(const RunCounts&) override { return {}; }
    [[nodiscard]] bool stops_at_halt() const override { return false; }
    [[nodiscard]] const char* stop_at_end() override { return nullptr; }
    void converse(const char*, const RunCounts&) override {}
    void probing(bool on) override { probing_ = on; }

private:
    CoverageCounts& counts_;
    bool probing_ = false;
};
