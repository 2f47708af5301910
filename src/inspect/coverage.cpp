#include "inspect/coverage.hpp"

#include "cpu/cpu.hpp"
#include "cpu/opcode_matrix.hpp"

CoverageCounts::CoverageCounts() {
    const auto& grid = opcode_grid_of(cpu_chip());
    for (unsigned opcode = 0; opcode < 256; ++opcode) {
        const Op op = grid[opcode].op;
        const bool conditional = (op >= Op::BPL && op <= Op::BEQ) || op == Op::BBR || op == Op::BBS;
        if (conditional) branch_length_[opcode] = static_cast<std::uint8_t>(1 + operand_bytes(grid[opcode].mode));
    }
}

std::uint8_t CoverageCounts::memory_byte(std::uint16_t pc) { return bus_peek(pc); }

void CoverageObserver::step_after(std::uint16_t pc, std::uint32_t) {
    if (!probing_) counts_.executed(pc, cpu.pc);
}
