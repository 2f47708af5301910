// What the observed copies of the threaded code (cpu/threaded.hpp) look
// at and count, shared with the observers that fill and read it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "bus/bus.hpp"
#include "cpu/opcode_matrix.hpp"

// What an observed copy of the threaded code looks at, as a set. A plain
// run uses the copies without any, which are left exactly as they were.
namespace observe {
inline constexpr unsigned BREAKS = 1;   // stops before an address marked in break_at
inline constexpr unsigned WATCHES = 2;  // stops before an instruction that may touch a watched page
inline constexpr unsigned PROFILE = 4;  // counts executions, cycles and branches taken per address, and routine entries
inline constexpr unsigned HISTORY = 8;  // notes every instruction in the history log (cpu/history_log.hpp)
inline constexpr unsigned CALLS = 16;   // (with PROFILE) notes every JSR, BRK, RTS and RTI in `calls`
inline constexpr unsigned CHECKS = 32;  // stops before an instruction a check of `guard` and `known_calls` may fault
}  // namespace observe

// What the checks know of an address (ObservedTables::guard), as bits.
namespace guard {
inline constexpr u8 UNWRITTEN = 1;  // nothing wrote it in this run: not to be read or run
inline constexpr u8 PROTECTED = 2;  // code or read-only data: not to be written
inline constexpr u8 NO_RUN = 4;     // data: not to be run
inline constexpr u8 C_SP = 8;       // the C stack pointer: a write moves it
}  // namespace guard

// A JSR, BRK, RTS or RTI the threaded code ran: where, and where it left
// pc and S; `counter` is the run's counter after it (the engine turns it
// into the run's totals).
struct CallNote {
    std::uint32_t counter;
    u16 pc, to;
    u8 opcode, sp;
};
// The notes a stretch of threaded code can make: one per instruction at
// most (a stretch runs at most MAX_RUN, cpu/threaded.hpp).
inline constexpr std::size_t CALL_NOTES = 128;

[[nodiscard]] constexpr bool is_call_or_return(u8 opcode) {
    return opcode == 0x20 || opcode == 0x00 || opcode == 0x60 || opcode == 0x40;  // JSR, BRK, RTS, RTI
}
// A branch that may or may not be taken (BRA always is).
[[nodiscard]] constexpr bool is_conditional_branch(Op op) {
    return (op >= Op::BPL && op <= Op::BEQ) || op == Op::BBR || op == Op::BBS;
}

// A call as the checks follow it (inspect/call_tracker.hpp): the JSR or
// BRK (for an interrupt, the pc it stopped), where it went, where its
// return must land, and S after its pushes.
struct KnownCall {
    u16 call_pc, entry, return_to;
    u8 sp;
    bool interrupt;
};

// The tables the observed copies read and the profile they write, at a
// fixed address so that the threaded code indexes them directly.
struct ObservedTables {
    std::array<u8, 0x10000> break_at;  // nonzero: stop before the instruction here
    std::array<u8, 0x100> watch_page;  // nonzero: an instruction that may access this page is stopped before
    bool watch_any;                    // some page is watched: the indirect jumps, whose pointer may lie anywhere
    std::array<std::uint64_t, 0x10000> counts, cycles;  // executions and their cycles per address
    std::array<std::uint64_t, 0x10000> taken;           // conditional branches taken, per address
    std::array<u8, 0x10000> entries;   // routine entries: JSR and BRK targets, interrupt handlers, the start
    // The sums of counts and cycles, kept by the engine after each stretch
    // and each instruction run one at a time.
    std::uint64_t instructions_counted, cycles_counted;
    std::array<CallNote, CALL_NOTES> calls;  // CALLS: this stretch's
    std::size_t call_count;
    // CHECKS: the checker's tables (owned by it), and the calls it knows
    // of, the innermost last, which the threaded code keeps up.
    u8* guard;
    bool c_stack_due;  // cc65's C stack pointer moved: the next JSR or (sp),y looks where it points
    u8 c_sp;           // its address on page zero
    u16 c_stack_floor; // the end of the data and BSS below the C stack
    u16 heap_pointer;  // where the runtime keeps the heap's end (0: no heap)
    std::array<KnownCall, 256> known_calls;
    std::size_t known_call_count;

    [[nodiscard]] u16 c_stack_pointer() const { return static_cast<u16>(memory[c_sp] | memory[c_sp + 1u] << 8); }
    [[nodiscard]] u16 heap_end() const {
        return heap_pointer == 0 ? 0 : static_cast<u16>(memory[heap_pointer] | memory[static_cast<u16>(heap_pointer + 1)] << 8);
    }
};

// Where cc65's C stack pointer lies, below the stack's own room: above the
// image's start, in the data and BSS below `floor`, or in the heap the
// runtime handed out between them and `heap_end`.
enum class CStackPlace : u8 { fine, data, heap };
[[nodiscard]] constexpr CStackPlace c_stack_place(u16 value, u16 floor, u16 heap_end) {
    if (value < 0x200) return CStackPlace::fine;
    if (value < floor) return CStackPlace::data;
    if (value < heap_end) return CStackPlace::heap;
    return CStackPlace::fine;
}
extern ObservedTables observed;

// Empties the counts and their sums (not the entries: the monitor's).
inline void observed_counts_clear() {
    observed.counts.fill(0);
    observed.cycles.fill(0);
    observed.taken.fill(0);
    observed.instructions_counted = 0;
    observed.cycles_counted = 0;
}

// The profile's count of an instruction run one at a time (PROFILE): the
// threaded code's, made by the engine.
template <Chip P>
void observed_count_step(u16 pc, u8 opcode, u16 next, u32 cycles) {
    ++observed.counts[pc];
    observed.cycles[pc] += cycles;
    ++observed.instructions_counted;
    observed.cycles_counted += cycles;
    const OpcodeEntry& entry = opcode_grid<P>[opcode];
    if (opcode == 0x20 || opcode == 0x00) observed.entries[next] = 1;  // JSR and BRK targets
    if (is_conditional_branch(entry.op) && next != static_cast<u16>(pc + 1 + operand_bytes(entry.mode)))
        ++observed.taken[pc];
}
