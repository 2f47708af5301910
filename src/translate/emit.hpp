// Host code for a block of instructions, made with a JIT assembler into one
// executable buffer that is emptied when full.
#pragma once

#include <cstddef>

#include "translate/state.hpp"

struct DecodedInstruction {
    u16 at;
    u8 opcode;
    u8 length;
};

// The code buffer, made on first use; false, with the host's reason in
// `why`, when no executable memory can be had.
[[nodiscard]] bool emitter_open(const char*& why);
// Empties the buffer: every block made before is gone.
void emitter_reset();
// The host code of `count` instructions in a row, each run by its helper
// (helpers[opcode]); nullptr when the buffer is full.
[[nodiscard]] BlockCode emit_block(const DecodedInstruction* instructions, std::size_t count,
                                   const InstructionHelper* helpers);
// What makes the code, for --version; nullptr when this build makes none.
[[nodiscard]] const char* emitter_name();
