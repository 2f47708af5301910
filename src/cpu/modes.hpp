// The thirteen addressing modes. A mode reads only its operand bytes (and the
// pointer of an indirect mode), leaves pc at the next instruction and says
// where the operand is. The indexed modes that can leave their page report it
// as page_penalty_addr; whether that costs a cycle is the operation's call.
#pragma once

#include "cpu/state.hpp"

// imp and acc do the same nothing, but stay distinct: an accumulator
// operand is recognised only by its mode being acc.
// The 65C02 adds four: iab, JMP (abs) reading its pointer across a page;
// iax, JMP (abs,X); izp, (zp) without index; zpr, the zero-page byte and
// branch offset of BBR and BBS.
enum class Mode : u8 { imp, acc, imm, zp, zpx, zpy, rel, abs, abx, aby, ind, izx, izy, iab, iax, izp, zpr };

inline constexpr int MODE_COUNT = 13;  // of this machine's 6502 and the NMOS chip
inline constexpr int ALL_MODES = 17;

[[nodiscard]] constexpr int operand_bytes(Mode m) {
    switch (m) {
    case Mode::imp:
    case Mode::acc: return 0;
    case Mode::abs:
    case Mode::abx:
    case Mode::aby:
    case Mode::ind:
    case Mode::iab:
    case Mode::iax:
    case Mode::zpr: return 2;
    default: return 1;
    }
}

// Where the instruction's own bytes lie. Almost always far from the device
// page: then they, like every zero-page byte, are plain RAM and need no
// device test. Only an instruction starting in 0xFEFE-0xFF0C can touch a
// device with its opcode or operand bytes.
enum class Fetch : u8 { near_devices, plain_ram };

// The lowest such start: its two operand bytes reach 0xFF00.
inline constexpr u16 FIRST_PC_NEAR_DEVICES = DEVICE_FIRST - 2;

[[nodiscard, gnu::always_inline]] constexpr bool instruction_near_devices(u16 pc) {
    return static_cast<u16>(pc - FIRST_PC_NEAR_DEVICES) <= DEVICE_COUNT + 1;
}

// Operand byte K (0 or 1) of the instruction whose opcode lies just before
// pc. Read at a fixed offset from pc, which moves once, at the end of the
// mode: with the run loop's wide pc, a host address with a constant
// displacement; a 16-bit pc wraps from 0xFFFF to 0x0000.
template <Fetch F, int K>
[[gnu::always_inline]] inline u8 operand_byte(Registers auto& c) {
    using Pc = decltype(c.pc);
    if constexpr (F == Fetch::near_devices)
        return bus_read(static_cast<u16>(c.pc + K));
    else
        return memory[static_cast<Pc>(c.pc + K)];
}

// Zero page and stack never hold a device: the bus test can be skipped.
[[nodiscard, gnu::always_inline]] inline u8 zero_page_read(u8 address) { return memory[address]; }

// Runs mode M; returns page_penalty_addr: 0x100 when the indexed address
// left the base's page, else 0.
template <Mode M, Fetch F>
[[gnu::always_inline]] inline u32 address_operand(Registers auto& c) {
    u32 crossed = 0;
    if constexpr (M == Mode::imp || M == Mode::acc) {
    } else if constexpr (M == Mode::imm) {
        // The immediate byte is read only if the operation fetches it.
        c.effective_address = c.pc;
    } else if constexpr (M == Mode::zp) {
        c.effective_address = operand_byte<F, 0>(c);
    } else if constexpr (M == Mode::zpx || M == Mode::zpy) {
        const u8 index = M == Mode::zpx ? c.x : c.y;
        c.effective_address = static_cast<u8>(operand_byte<F, 0>(c) + index);  // stays in page zero
    } else if constexpr (M == Mode::rel) {
        const u8 offset = operand_byte<F, 0>(c);
        c.branch_offset = static_cast<u16>(static_cast<std::int8_t>(offset));
    } else if constexpr (M == Mode::abs) {
        const u8 low = operand_byte<F, 0>(c);
        const u8 high = operand_byte<F, 1>(c);
        c.effective_address = static_cast<u16>(high << 8 | low);
    } else if constexpr (M == Mode::abx || M == Mode::aby) {
        const u8 low = operand_byte<F, 0>(c);
        const u8 high = operand_byte<F, 1>(c);
        const u8 index = M == Mode::abx ? c.x : c.y;
        const u16 base = static_cast<u16>(high << 8 | low);
        c.effective_address = static_cast<u16>(base + index);
        // The carry out of the low byte, as bit 8 of the change: a counter
        // that wants it as a multiple of 256 needs no shift.
        crossed = static_cast<u32>(c.effective_address ^ base) & 0x100;
    } else if constexpr (M == Mode::ind) {
        const u8 low = operand_byte<F, 0>(c);
        const u8 high = operand_byte<F, 1>(c);
        // The pointer's high byte comes from the same page as its low byte:
        // JMP ($12FF) reads 0x12FF and 0x1200, as the NMOS part does.
        const u16 pointer = static_cast<u16>(high << 8 | low);
        const u8 target_low = bus_read(pointer);
        const u8 target_high = bus_read(static_cast<u16>((pointer & 0xFF00) | ((pointer + 1) & 0x00FF)));
        c.effective_address = static_cast<u16>(target_high << 8 | target_low);
    } else if constexpr (M == Mode::izx) {
        const u8 zero_page = static_cast<u8>(operand_byte<F, 0>(c) + c.x);
        const u8 target_low = zero_page_read(zero_page);
        const u8 target_high = zero_page_read(static_cast<u8>(zero_page + 1));  // 0xFF wraps to 0x00
        c.effective_address = static_cast<u16>(target_high << 8 | target_low);
    } else if constexpr (M == Mode::iab || M == Mode::iax) {
        const u8 low = operand_byte<F, 0>(c);
        const u8 high = operand_byte<F, 1>(c);
        const u16 pointer = static_cast<u16>((high << 8 | low) + (M == Mode::iax ? c.x : 0));
        c.effective_address = read_word(pointer);  // the high byte from the next page if need be
    } else if constexpr (M == Mode::izp) {
        const u8 zero_page = operand_byte<F, 0>(c);
        const u8 target_low = zero_page_read(zero_page);
        const u8 target_high = zero_page_read(static_cast<u8>(zero_page + 1));
        c.effective_address = static_cast<u16>(target_high << 8 | target_low);
    } else if constexpr (M == Mode::zpr) {
        c.effective_address = operand_byte<F, 0>(c);
        c.branch_offset = static_cast<u16>(static_cast<std::int8_t>(operand_byte<F, 1>(c)));
    } else {
        static_assert(M == Mode::izy);
        const u8 zero_page = operand_byte<F, 0>(c);
        const u8 target_low = zero_page_read(zero_page);
        const u8 target_high = zero_page_read(static_cast<u8>(zero_page + 1));
        const u16 base = static_cast<u16>(target_high << 8 | target_low);
        c.effective_address = static_cast<u16>(base + c.y);
        crossed = static_cast<u32>(c.effective_address ^ base) & 0x100;
    }
    c.pc = static_cast<decltype(c.pc)>(c.pc + operand_bytes(M));
    return crossed;
}

// The only operand traffic an operation has: the accumulator for acc,
// otherwise exactly one bus access at effective_address per call.
template <Mode M>
inline constexpr bool in_zero_page = M == Mode::zp || M == Mode::zpx || M == Mode::zpy || M == Mode::zpr;

template <Mode M, Fetch F>
[[nodiscard, gnu::always_inline]] inline u8 fetch_operand(Registers auto& c) {
    if constexpr (M == Mode::acc)
        return c.a;
    else if constexpr (in_zero_page<M> || (M == Mode::imm && F == Fetch::plain_ram))
        return memory[c.effective_address];
    else if (is_device(c.effective_address)) [[unlikely]] {
        const std::uint64_t before = outside_uses;
        const u8 value = device_read(c.effective_address);
        // A data file byte or unkept input: the run loop looks right after.
        c.device_written |= outside_uses != before;
        return value;
    } else {
        return memory[c.effective_address];
    }
}

template <Mode M, Fetch F>
[[gnu::always_inline]] inline void store_result(Registers auto& c, u16 value) {
    if constexpr (M == Mode::acc)
        c.a = static_cast<u8>(value);
    else if constexpr (in_zero_page<M>)
        memory[c.effective_address] = static_cast<u8>(value);
    else if (is_device(c.effective_address)) [[unlikely]] {
        const std::uint64_t before = outside_uses;
        device_write(c.effective_address, static_cast<u8>(value));
        // Of the device stores only the trace switch and the data file
        // change what the run loop must do after the instruction; console
        // output stays inside.
        c.device_written |= c.effective_address == TRACE_CTL || outside_uses != before;
    } else {
        memory[c.effective_address] = static_cast<u8>(value);
    }
}
