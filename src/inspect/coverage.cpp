#include "inspect/coverage.hpp"

#include "cpu/cpu.hpp"
#include "cpu/observed.hpp"

CoverageCounts::CoverageCounts() {
    observed_counts_clear();
    const auto& grid = opcode_grid_of(cpu_chip());
    for (unsigned opcode = 0; opcode < 256; ++opcode) {
        if (is_conditional_branch(grid[opcode].op))
            branch_length_[opcode] = static_cast<std::uint8_t>(1 + operand_bytes(grid[opcode].mode));
    }
}

std::uint64_t CoverageCounts::runs(std::uint16_t pc) const { return observed.counts[pc]; }
std::uint64_t CoverageCounts::taken(std::uint16_t pc) const { return observed.taken[pc]; }

void CoverageCounts::add(std::uint16_t pc, std::uint64_t runs, std::uint64_t taken) {
    observed.counts[pc] += runs;
    observed.taken[pc] += taken;
}

unsigned CoverageObserver::threaded_checks() const { return observe::PROFILE; }
