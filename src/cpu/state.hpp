// The processor: registers, the working values of the current instruction,
// and the counters. One processor per process, zero at start.
#pragma once

#include "bus/bus.hpp"
#include "cpu/chip.hpp"

inline constexpr u8 FLAG_N = 0x80;
inline constexpr u8 FLAG_V = 0x40;
inline constexpr u8 FLAG_CONSTANT = 0x20;  // reads as 1 after every opcode fetch
inline constexpr u8 FLAG_B = 0x10;         // exists only in pushed copies and after PLP/RTI
inline constexpr u8 FLAG_D = 0x08;
inline constexpr u8 FLAG_I = 0x04;
inline constexpr u8 FLAG_Z = 0x02;
inline constexpr u8 FLAG_C = 0x01;

inline constexpr u16 NMI_VECTOR = 0xFFFA;
inline constexpr u16 RESET_VECTOR = 0xFFFC;
inline constexpr u16 IRQ_VECTOR = 0xFFFE;

using StepHook = void (*)();

// Why pc went to 0x0000 when no program jumped there: JAM and STP halt the
// processor, WAI waits for the next interrupt. Sending pc to 0x0000, where
// the run loop stops anyway, costs the common case nothing.
enum class Pause : u8 { none, halted, waiting };

struct Cpu {
    u16 pc;
    u8 sp, a, x, y, status;

    // Working values of the instruction being executed.
    u8 opcode;
    u16 effective_address;
    u16 branch_offset;
    bool device_written;  // set by a store to the trace switch or a use of the world outside; the run loop clears it

    u32 cycle_count;        // this step's cycles, or the running total of cpu_exec
    u32 cycle_goal;         // cpu_exec's budget
    u32 instruction_count;  // since process start, never reset

    StepHook step_hook;
    bool hook_installed;

    Pause pause;
    u16 pause_pc;     // halted: the halting opcode's address; waiting: where to go on
    u8 pause_opcode;  // the halting opcode
};

extern Cpu cpu;

// The instruction templates take the registers by reference: cpu_step
// passes the global processor, and the run loop a local set of registers
// that the compiler keeps in host registers, with pc (and the effective
// address) in a full host word so that indexing memory with it needs no
// narrowing first.
template <typename R>
concept Registers = requires(R r) {
    r.pc;
    r.sp;
    r.a;
    r.x;
    r.y;
    r.status;
    r.effective_address;
    r.branch_offset;
    r.device_written;
};

// N and Z of every byte, looked up rather than computed: nearly every
// instruction sets them, and a load and an OR beat a compare and a shift.
inline constexpr std::array<u8, 256> zn_flags = [] {
    std::array<u8, 256> table{};
    for (int v = 0; v < 256; ++v) table[v] = static_cast<u8>((v & FLAG_N) | (v == 0 ? FLAG_Z : 0));
    return table;
}();

// `status` with Z and N from the low byte of a value just computed.
[[nodiscard, gnu::always_inline]] constexpr u8 with_zn(u8 status, unsigned value) {
    return static_cast<u8>((status & ~(FLAG_N | FLAG_Z)) | zn_flags[value & 0xFF]);
}

// Z and N from a value just stored in a register or memory byte.
[[gnu::always_inline]] inline void set_zn(Registers auto& c, u8 value) { c.status = with_zn(c.status, value); }

[[nodiscard, gnu::always_inline]] inline u16 read_word(u16 address) {
    const u8 low = bus_read(address);
    const u8 high = bus_read(static_cast<u16>(address + 1));
    return static_cast<u16>(high << 8 | low);
}

// The stack lives at 0x0100-0x01FF and wraps inside that page.
// No device lives there, so the stack page is plain memory.
[[gnu::always_inline]] inline void stack_push_byte(Registers auto& c, u8 value) {
    memory[0x0100 | c.sp] = value;
    --c.sp;
}

[[gnu::always_inline]] inline void stack_push_word(Registers auto& c, u16 value) {
    memory[0x0100 | c.sp] = static_cast<u8>(value >> 8);
    memory[0x0100 | static_cast<u8>(c.sp - 1)] = static_cast<u8>(value);
    c.sp = static_cast<u8>(c.sp - 2);
}

[[nodiscard, gnu::always_inline]] inline u8 stack_pull_byte(Registers auto& c) {
    ++c.sp;
    return memory[0x0100 | c.sp];
}

[[nodiscard, gnu::always_inline]] inline u16 stack_pull_word(Registers auto& c) {
    const u8 low = memory[0x0100 | static_cast<u8>(c.sp + 1)];
    const u8 high = memory[0x0100 | static_cast<u8>(c.sp + 2)];
    c.sp = static_cast<u8>(c.sp + 2);
    return static_cast<u16>(high << 8 | low);
}

// The same primitives on the machine's one processor.
inline void stack_push_byte(u8 value) { stack_push_byte(cpu, value); }
inline void stack_push_word(u16 value) { stack_push_word(cpu, value); }
[[nodiscard]] inline u8 stack_pull_byte() { return stack_pull_byte(cpu); }
[[nodiscard]] inline u16 stack_pull_word() { return stack_pull_word(cpu); }
