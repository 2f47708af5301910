// One instruction at a time, for the chosen processor, read off the same
// opcode grid that runs and disassembles it. The operand is written as ca65
// writes it, each value an expression (expression.hpp):
//   (nothing), a           implied or accumulator
//   #v                     immediate (-128 to FF)
//   v   v,x   v,y          zero page when v fits in a byte and the mode
//                          exists, else absolute; a:v asks for absolute, z:v
//                          for zero page, and so does a number written with
//                          more digits than it needs ($0012 is absolute)
//   (v,x)  (v),y  (v)      indirect; on the 65C02 also (zp) and JMP (abs,x)
//   target                 branches, relative to the instruction's address
//   rmb0 zp, bbr0 zp,target  the 65C02's bit instructions, the bit in the name
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "cpu/chip.hpp"
#include "debug/expression.hpp"

struct Assembled {
    std::array<std::uint8_t, 3> bytes{};
    int length = 0;     // 0 with an error
    std::string error;  // one line
};

[[nodiscard]] Assembled assemble(std::string_view line, std::uint16_t address, Chip chip,
                                 const ExpressionContext& context);
