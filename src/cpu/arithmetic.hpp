// The arithmetic of the ALU as pure functions of (a, operand, status): the
// instruction templates only move their results into place. Sums are formed
// on 16-bit values so the carry out is bit 8 before anything truncates.
#pragma once

#include "cpu/state.hpp"

struct AluResult {
    u8 value;   // what lands in the register or memory byte
    u8 status;  // the whole status byte afterwards
};

namespace alu {

[[nodiscard, gnu::always_inline]] constexpr u8 with(u8 status, u8 flag, bool on) {
    return static_cast<u8>(on ? status | flag : status & ~flag);
}

// The flags of the hot instructions are assembled without branches: C is
// bit 8 of the sum, V bit 7 of the overflow term moved down to bit 6.
[[nodiscard, gnu::always_inline]] constexpr AluResult adc_binary(u8 a, u8 operand, u8 status) {
    const unsigned result = a + operand + (status & FLAG_C);
    const unsigned carry = result >> 8;
    const unsigned overflow = ((result ^ a) & (result ^ operand) & 0x80) >> 1;
    const unsigned kept = status & ~(FLAG_N | FLAG_V | FLAG_Z | FLAG_C);
    return {static_cast<u8>(result), static_cast<u8>(kept | zn_flags[result & 0xFF] | overflow | carry)};
}

// A decimal sum with its low digit corrected and its high digit not yet:
// what every processor's decimal ADC takes its flags from.
[[nodiscard]] constexpr unsigned decimal_sum_low_corrected(u8 a, u8 operand, unsigned carry) {
    unsigned low = (a & 0x0F) + (operand & 0x0F) + carry;
    if (low > 9) low = ((low + 6) & 0x0F) + 0x10;
    return (a & 0xF0) + (operand & 0xF0) + low;
}

// Decimal ADC as this machine has always done it: N from the sum before the
// high-digit correction, V set by any corrected sum of 0x80 or more, and Z
// from the plain binary sum. Programs written for it rely on these.
[[nodiscard]] constexpr AluResult adc_decimal(u8 a, u8 operand, u8 status) {
    const unsigned carry = status & FLAG_C;
    const unsigned plain = a + operand + carry;
    unsigned sum = decimal_sum_low_corrected(a, operand, carry);
    status = with(status, FLAG_N, (sum & 0x80) != 0);
    if (sum > 0x9F) sum += 0x60;
    status = with(status, FLAG_V, sum >= 0x80);
    status = with(status, FLAG_C, sum > 0xFF);
    status = with(status, FLAG_Z, (plain & 0xFF) == 0);
    return {static_cast<u8>(sum), status};
}

// Subtraction is addition of the one's complement.
[[nodiscard, gnu::always_inline]] constexpr AluResult sbc_binary(u8 a, u8 operand, u8 status) {
    return adc_binary(a, static_cast<u8>(operand ^ 0xFF), status);
}

// Decimal SBC: all four flags from the binary subtraction, only the
// accumulator gets the decimal difference.
[[nodiscard]] constexpr AluResult sbc_decimal(u8 a, u8 operand, u8 status) {
    const int carry = status & FLAG_C;
    const u8 flags = sbc_binary(a, operand, status).status;
    int low = (a & 0x0F) - (operand & 0x0F) + carry - 1;
    if (low < 0) low = ((low - 6) & 0x0F) - 0x10;
    int diff = (a & 0xF0) - (operand & 0xF0) + low;
    if (diff < 0) diff -= 0x60;
    return {static_cast<u8>(diff & 0xFF), flags};
}

// Decimal ADC as the NMOS chip and the 65C02 compute it: the accumulator
// and C as above, V the signed overflow of the sum after the low-digit
// correction. The NMOS chip takes N from that sum and Z from the binary
// sum; the 65C02 takes both from the accumulator it delivers.
template <Chip P>
[[nodiscard]] constexpr AluResult adc_decimal_chip(u8 a, u8 operand, u8 status) {
    const unsigned carry = status & FLAG_C;
    const unsigned plain = a + operand + carry;
    unsigned sum = decimal_sum_low_corrected(a, operand, carry);
    status = with(status, FLAG_V, (~(a ^ operand) & (a ^ sum) & 0x80) != 0);
    status = with(status, FLAG_N, (sum & 0x80) != 0);
    if (sum > 0x9F) sum += 0x60;
    status = with(status, FLAG_C, sum > 0xFF);
    if constexpr (P == Chip::m65c02)
        status = with_zn(status, sum);
    else
        status = with(status, FLAG_Z, (plain & 0xFF) == 0);
    return {static_cast<u8>(sum), status};
}

// Decimal SBC of the 65C02: C and V from the binary subtraction, the
// correction applied to the whole difference, N and Z from the result.
[[nodiscard]] constexpr AluResult sbc_decimal_65c02(u8 a, u8 operand, u8 status) {
    const int carry = status & FLAG_C;
    const u8 flags = sbc_binary(a, operand, status).status;
    const int low = (a & 0x0F) - (operand & 0x0F) + carry - 1;
    int diff = a - operand + carry - 1;
    if (diff < 0) diff -= 0x60;
    if (low < 0) diff -= 0x06;
    return {static_cast<u8>(diff & 0xFF), with_zn(flags, static_cast<unsigned>(diff & 0xFF))};
}

template <Chip P = Chip::m6502>
[[nodiscard, gnu::always_inline]] constexpr AluResult adc(u8 a, u8 operand, u8 status) {
    if (!(status & FLAG_D)) return adc_binary(a, operand, status);
    if constexpr (P == Chip::m6502) return adc_decimal(a, operand, status);
    else return adc_decimal_chip<P>(a, operand, status);
}

// SBC of the NMOS chip is this machine's: all four flags binary.
template <Chip P = Chip::m6502>
[[nodiscard, gnu::always_inline]] constexpr AluResult sbc(u8 a, u8 operand, u8 status) {
    if (!(status & FLAG_D)) return sbc_binary(a, operand, status);
    if constexpr (P == Chip::m65c02) return sbc_decimal_65c02(a, operand, status);
    else return sbc_decimal(a, operand, status);
}

// CMP, CPX, CPY: the register is left alone and V is untouched.
[[nodiscard, gnu::always_inline]] constexpr u8 compare(u8 reg, u8 operand, u8 status) {
    const u16 result = static_cast<u16>(reg - operand);
    const unsigned kept = status & ~(FLAG_N | FLAG_Z | FLAG_C);
    return static_cast<u8>(kept | zn_flags[result & 0xFF] | (reg >= operand ? FLAG_C : 0));
}

// BIT: N and V are copied from the operand itself, not from the AND.
[[nodiscard, gnu::always_inline]] constexpr u8 bit_test(u8 a, u8 operand, u8 status) {
    status = with(status, FLAG_Z, (a & operand) == 0);
    return static_cast<u8>((status & 0x3F) | (operand & 0xC0));
}

// Shifts: N and Z from the result, C from the bit shifted out.
[[nodiscard, gnu::always_inline]] constexpr AluResult shifted(unsigned result, unsigned carry, u8 status) {
    const unsigned kept = status & ~(FLAG_N | FLAG_Z | FLAG_C);
    return {static_cast<u8>(result), static_cast<u8>(kept | zn_flags[result & 0xFF] | carry)};
}

[[nodiscard, gnu::always_inline]] constexpr AluResult asl(u8 operand, u8 status) {
    const unsigned result = operand << 1;
    return shifted(result, result >> 8, status);
}

[[nodiscard, gnu::always_inline]] constexpr AluResult rol(u8 operand, u8 status) {
    const unsigned result = operand << 1 | (status & FLAG_C);
    return shifted(result, result >> 8, status);
}

[[nodiscard, gnu::always_inline]] constexpr AluResult lsr(u8 operand, u8 status) {
    return shifted(operand >> 1, operand & 1u, status);
}

[[nodiscard, gnu::always_inline]] constexpr AluResult ror(u8 operand, u8 status) {
    return shifted(operand >> 1 | (status & FLAG_C) << 7, operand & 1u, status);
}

[[nodiscard, gnu::always_inline]] constexpr AluResult inc(u8 operand, u8 status) {
    const u16 result = static_cast<u16>(operand + 1);
    return {static_cast<u8>(result), with_zn(status, result)};
}

[[nodiscard, gnu::always_inline]] constexpr AluResult dec(u8 operand, u8 status) {
    const u16 result = static_cast<u16>(operand - 1);
    return {static_cast<u8>(result), with_zn(status, result)};
}

}  // namespace alu
