// Disassembly derived from the opcode grid: the mnemonic of each operation,
// the operand written as its addressing mode reads it, and the length from
// the mode. Bytes are looked at without device actions.
#pragma once

#include <cstddef>

#include "bus/bus.hpp"
#include "cpu/opcode_matrix.hpp"

class Labels;

[[nodiscard]] const char* mnemonic(Op op);
[[nodiscard]] int instruction_length(u8 opcode);

// "LDA #$41", "JSR puts", "NOP $1234,X" into `out`; returns the length in bytes.
int disassemble(u16 address, const Labels* labels, char* out, std::size_t size);

// "0300  A9 41     LDA #$41": address, bytes, instruction.
int disassembly_line(u16 address, const Labels* labels, char* out, std::size_t size);
