// The instruction set as threaded code, for the run loop's common case: a
// program running in plain RAM with nothing to look at between its
// instructions. Each opcode's handler ends with its own jump to the next
// one, so every dispatch has its own entry in the host's branch predictor,
// and the tests the run loop would make after every instruction are made
// only by the instructions that can need them:
//  - pc can only reach the device page, the top of memory or 0x0000 (the
//    end of the run) by a jump, branch, call, return, BRK or RTI (or a
//    halt or WAI, which send it to 0x0000), or by
//    running straight on for long enough. The caller stops the run every
//    MAX_RUN instructions at most, and MAX_RUN instructions of at most three
//    bytes from below SAFE_PC_END cannot reach the device page: only the
//    instructions that move pc test it.
//  - The constant status bit reads as 1 after every opcode fetch; only RTI
//    can leave it clear (PLP sets it itself), so only RTI tests it.
//  - The trace switch is a device register: only a store to the device page
//    can turn it on, so only the stores that can reach it look after one.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "cpu/data_access.hpp"
#include "cpu/dispatch.hpp"
#include "cpu/history_log.hpp"
#include "cpu/observed.hpp"

// Instructions in a row that run_in_ram runs at most (its countdown).
inline constexpr unsigned MAX_RUN = 128;
// Below this, MAX_RUN instructions in a row never start an instruction
// whose bytes could reach the device page.
inline constexpr u16 SAFE_PC_END = 0xFD00;
static_assert(SAFE_PC_END - 1 + 3 * (MAX_RUN - 1) < FIRST_PC_NEAR_DEVICES);
static_assert(history::SIZE + 1 + MAX_RUN <= history::ROOM, "a stretch's entries fit past the ring's end");
static_assert(MAX_RUN <= CALL_NOTES, "a stretch's calls fit in the notes");
// No instruction of any processor has more bytes than cycles (see the
// cycle budget below).
static_assert([] {
    for (const Chip chip : ALL_CHIPS)
        for (const OpcodeEntry& entry : opcode_grid_of(chip))
            if (operand_bytes(entry.mode) + 1 > entry.cycles) return false;
    return true;
}());


// pc at 0x0000 or at SAFE_END and above, in one unsigned comparison.
template <u16 SAFE_END = SAFE_PC_END>
[[nodiscard, gnu::always_inline]] constexpr bool outside_safe_range(u16 pc) {
    return static_cast<u16>(pc - 1) >= SAFE_END - 1;
}

enum class InRamStop : u8 {
    countdown_over,  // the countdown reached zero after an instruction
    look,            // the last instruction needs the run loop's tests; not yet counted down
    observe,         // (observed copies) stopped before an instruction the observer must see; it has not run
};


// Where run_in_ram stopped, and its counters then.
struct InRamEnd {
    std::uint64_t cycles;     // counted by this call
    std::uint32_t countdown;  // left
    InRamStop stop;
};

// The registers as run_in_ram keeps them: pc and the effective address in
// host address words, so that they index `memory` as they are (pc never
// passes 0xFFFF there).
struct RunRegisters {
    std::size_t pc;
    u8 sp, a, x, y, status;
    std::size_t effective_address;
    u16 branch_offset;
    bool device_written;
};

// The processor's registers into run_in_ram's form and back.
[[nodiscard]] inline RunRegisters run_registers_of(const Cpu& from) {
    return {from.pc, from.sp, from.a, from.x, from.y, from.status, 0, 0, false};
}
inline void put_run_registers(const RunRegisters& from, Cpu& to) {
    to.pc = static_cast<u16>(from.pc);
    to.sp = from.sp;
    to.a = from.a;
    to.x = from.x;
    to.y = from.y;
    to.status = from.status;
}

// What the threaded code needs to know of an opcode beyond the grid.
namespace threaded {
[[nodiscard]] constexpr bool is_branch(Op op) {
    return (op >= Op::BPL && op <= Op::BEQ) || op == Op::BRA || op == Op::BBR || op == Op::BBS;
}
[[nodiscard]] constexpr bool moves_pc(Op op) {
    return op == Op::JMP || op == Op::JSR || op == Op::RTS || op == Op::RTI || op == Op::BRK || op == Op::JAM ||
           op == Op::STP || op == Op::WAI;
}
// The modes whose operand's address can lie on the device page.
[[nodiscard]] constexpr bool may_reach_devices(Mode mode) {
    return mode == Mode::abs || mode == Mode::abx || mode == Mode::aby || mode == Mode::izx || mode == Mode::izy ||
           mode == Mode::izp;
}
// Loads that can read a device register: a data file byte or unkept
// standard input needs the run loop's look after the instruction.
[[nodiscard]] constexpr bool may_read_devices(Op op, Mode mode) {
    return may_reach_devices(mode) && operand_use(op) == OperandUse::read;
}
// Stores and read-modify-writes whose address can lie on the device page.
[[nodiscard]] constexpr bool may_write_devices(Op op, Mode mode) {
    if (!may_reach_devices(mode)) return false;
    switch (op) {
    case Op::STA: case Op::STX: case Op::STY: case Op::SAX:
    case Op::ASL: case Op::LSR: case Op::ROL: case Op::ROR: case Op::INC: case Op::DEC:
    case Op::SLO: case Op::RLA: case Op::SRE: case Op::RRA: case Op::DCP: case Op::ISB:
    case Op::SHA: case Op::SHX: case Op::SHY: case Op::TAS: case Op::STZ: case Op::TRB: case Op::TSB: return true;
    default: return false;
    }
}

// The instruction counter and the cycle counter in one host register, so
// that one addition and one sign test count an instruction, its cycles and
// the run's end. A page crossing comes as bit 8 of an address change; the
// cycle unit is a multiple of it that the host's address arithmetic scales
// to for nothing (1, 2, 4 or 8 times).
struct CounterLayout {
    unsigned instruction;  // added by every instruction
    unsigned cycle;        // added by every cycle
    [[nodiscard]] constexpr unsigned crossing_scale() const { return cycle / 0x100; }
};
// Under an instruction countdown: instructions from bit 24, cycles from bit
// 8. A run starts at MAX_RUN minus its countdown and ends when the
// instruction count reaches MAX_RUN, i.e. when the register turns negative.
// A run's cycles (at most 8 per instruction) never reach bit 24.
inline constexpr unsigned INSTRUCTION_UNIT = 1u << 24;
inline constexpr CounterLayout COUNTDOWN_COUNTER{INSTRUCTION_UNIT, 1u << 8};
static_assert(MAX_RUN * INSTRUCTION_UNIT == 0x80000000u, "the count turns the register negative at MAX_RUN");
static_assert(MAX_RUN * 8 * COUNTDOWN_COUNTER.cycle < INSTRUCTION_UNIT);
// Under a budget the other way round: cycles from bit 11 and instructions
// below; the register turns negative when the cycles reach the budget.
inline constexpr unsigned BUDGET_CYCLE_UNIT = 1u << 11;
inline constexpr CounterLayout BUDGET_COUNTER{1, BUDGET_CYCLE_UNIT};
static_assert(COUNTDOWN_COUNTER.crossing_scale() == 1 && BUDGET_COUNTER.crossing_scale() == 8,
              "scales that host address arithmetic takes as they are");
// What a countdown run's counter says was run since it started with
// `countdown` (a call's note, observe::CALLS).
struct Counted {
    std::uint32_t instructions, cycles;
};
[[nodiscard]] constexpr Counted counted_since_start(std::uint32_t counter, std::uint32_t countdown) {
    return {counter / INSTRUCTION_UNIT - (MAX_RUN - countdown), counter % INSTRUCTION_UNIT / COUNTDOWN_COUNTER.cycle};
}
template <Chip P>
inline constexpr unsigned MIN_INSTRUCTION_CYCLES = [] {
    unsigned least = 8;
    for (const OpcodeEntry& entry : opcode_grid<P>) least = entry.cycles < least ? entry.cycles : least;
    return least;
}();
// A budget run starts below this: having no more bytes than cycles, its
// instructions move pc by less than a budget from any start below it, and
// stay off the device page. Lower than SAFE_PC_END, for long runs: each run
// costs the loop its tests, and a budget ends every run before a timer
// request, so a longer one pays off. A program running between the two
// runs under an instruction countdown instead.
inline constexpr u16 BUDGET_SAFE_PC_END = 0xF600;
// A run under a cycle budget (deterministic runs) ends at the instruction
// whose cycles reach the budget; its instructions are few enough to be
// counted below the cycles (the 65C02's one-cycle NOPs make its budget the
// smaller).
template <Chip P>
inline constexpr unsigned MAX_BUDGET =
    std::min<unsigned>(FIRST_PC_NEAR_DEVICES - BUDGET_SAFE_PC_END, BUDGET_CYCLE_UNIT * MIN_INSTRUCTION_CYCLES<P> - 2);
static_assert(BUDGET_SAFE_PC_END - 1 + MAX_BUDGET<Chip::m6502> < FIRST_PC_NEAR_DEVICES &&
              BUDGET_SAFE_PC_END <= SAFE_PC_END);
static_assert((MAX_BUDGET<Chip::m6502> + 1) / MIN_INSTRUCTION_CYCLES<Chip::m6502> < BUDGET_CYCLE_UNIT &&
                  (MAX_BUDGET<Chip::m6502x> + 1) / MIN_INSTRUCTION_CYCLES<Chip::m6502x> < BUDGET_CYCLE_UNIT &&
                  (MAX_BUDGET<Chip::m65c02> + 1) / MIN_INSTRUCTION_CYCLES<Chip::m65c02> < BUDGET_CYCLE_UNIT,
              "a run's instructions fit below its cycles");

// Whether opcode OPCODE, about to run, may make a data access to a watched
// page: worked out on a copy of the registers, before anything happens.
template <Chip P, u8 OPCODE>
[[gnu::always_inline]] inline bool may_touch_watched(const RunRegisters& c) {
    constexpr OpcodeEntry entry = opcode_grid<P>[OPCODE];
    // An indirect jump reads its pointer in its mode, maybe on the device
    // page: stopped before, whatever the pointer.
    if constexpr (pointer_anywhere(entry.mode)) return observed.watch_any;
    bool touched = false;
    if constexpr (operand_use(entry.op) != OperandUse::none && operand_in_memory(entry.mode)) {
        // The other modes read only plain memory.
        RunRegisters probe = c;
        ++probe.pc;
        (void)address_operand<entry.mode, Fetch::plain_ram>(probe);
        touched = observed.watch_page[probe.effective_address >> 8] != 0;
    }
    if constexpr (pointer_in_zero_page(entry.mode)) touched |= observed.watch_page[0] != 0;
    if constexpr (uses_stack(entry.op)) touched |= observed.watch_page[1] != 0;
    if constexpr (entry.op == Op::BRK) touched |= observed.watch_page[IRQ_VECTOR >> 8] != 0;
    return touched;
}

// The guard bits of an instruction's LENGTH bytes at `bytes` that make
// running it a fault: any unwritten, the first in data. One load for all
// of them (pc lies below SAFE_PC_END, so three bytes more are memory).
template <int LENGTH>
[[gnu::always_inline]] inline bool fetch_guarded(const u8* bytes) {
    if constexpr (std::endian::native == std::endian::little) {
        constexpr u32 mask = [] {
            u32 m = guard::UNWRITTEN | guard::NO_RUN;
            for (int i = 1; i < LENGTH; ++i) m |= u32{guard::UNWRITTEN} << (8 * i);
            return m;
        }();
        u32 all;
        std::memcpy(&all, bytes, sizeof all);
        return (all & mask) != 0;
    } else {
        u8 rest = 0;
        for (int i = 1; i < LENGTH; ++i) rest |= bytes[i];
        return ((bytes[0] & (guard::UNWRITTEN | guard::NO_RUN)) | (rest & guard::UNWRITTEN)) != 0;
    }
}

// Whether the checker must see opcode OPCODE, about to run, one at a time:
// a check may fault on it (its bytes or a read unwritten, a write into
// protected bytes, the stack wrapping, a return not to its call, the C
// stack grown into data), or it is rarer than intricate (an undocumented
// opcode, BRK, RTI, the indirect jumps). Else what it writes is marked
// written and the calls it makes or ends are followed, as the checker
// would (inspect/checker.cpp, the data accesses of debug/data_accesses.cpp).
template <Chip P, u8 OPCODE>
[[gnu::always_inline]] inline bool check_stops(const RunRegisters& c) {
    constexpr OpcodeEntry entry = opcode_grid<P>[OPCODE];
    constexpr Op op = entry.op;
    constexpr Mode mode = entry.mode;
    if constexpr (op == Op::JAM || (op == Op::NOP && OPCODE != 0xEA) || op == Op::BRK || op == Op::RTI ||
                  pointer_anywhere(mode)) {
        return true;
    } else {
        u8* const g = observed.guard;
        if (fetch_guarded<1 + operand_bytes(mode)>(g + c.pc)) return true;
        // The bits of the bytes it reads, and of those it writes.
        u8 read = 0;
        u8 wrote = 0;
        std::size_t writes[2];
        unsigned write_count = 0;
        if constexpr (mode == Mode::izx) {
            const u8 pointer = static_cast<u8>(memory[c.pc + 1] + c.x);
            read |= g[pointer] | g[static_cast<u8>(pointer + 1)];
        }
        bool c_stack_checked = false;
        if constexpr (mode == Mode::izy || mode == Mode::izp) {
            const u8 pointer = memory[c.pc + 1];
            read |= g[pointer] | g[static_cast<u8>(pointer + 1)];
            if constexpr (mode == Mode::izy) c_stack_checked = observed.c_stack_due && pointer == observed.c_sp;
        }
        if constexpr (op == Op::JSR) c_stack_checked = observed.c_stack_due;
        if (c_stack_checked && c_stack_place(observed.c_stack_pointer(), observed.c_stack_floor,
                                             observed.heap_end()) != CStackPlace::fine)
            return true;
        if constexpr (operand_use(op) != OperandUse::none && operand_in_memory(mode)) {
            RunRegisters probe = c;
            ++probe.pc;
            (void)address_operand<mode, Fetch::plain_ram>(probe);
            const std::size_t at = probe.effective_address;
            if constexpr (operand_use(op) != OperandUse::write) read |= g[at];
            if constexpr (operand_use(op) != OperandUse::read) {
                wrote |= g[at];
                writes[write_count++] = at;
            }
        }
        // Pushes from S below their bytes and pulls from S above them wrap.
        if constexpr (op == Op::PHA || op == Op::PHP || op == Op::PHX || op == Op::PHY) {
            if (c.sp == 0) return true;
            wrote |= g[0x100 | c.sp];
            writes[write_count++] = 0x100 | c.sp;
        }
        if constexpr (op == Op::PLA || op == Op::PLP || op == Op::PLX || op == Op::PLY) {
            if (c.sp == 0xFF) return true;
            read |= g[0x100 | static_cast<u8>(c.sp + 1)];
        }
        if constexpr (op == Op::JSR) {
            if (c.sp < 2) return true;
            wrote |= g[0x100 | c.sp] | g[0x100 | static_cast<u8>(c.sp - 1)];
            writes[write_count++] = 0x100 | c.sp;
            writes[write_count++] = 0x100 | static_cast<u8>(c.sp - 1);
        }
        bool matched = false;
        if constexpr (op == Op::RTS) {
            if (c.sp >= 0xFE) return true;
            read |= g[0x100 | static_cast<u8>(c.sp + 1)] | g[0x100 | static_cast<u8>(c.sp + 2)];
            if (observed.known_call_count != 0) {
                // As inspect/call_tracker.cpp classifies it: only a match
                // or the push-an-address-then-RTS jump runs on.
                const KnownCall& call = observed.known_calls[observed.known_call_count - 1];
                const u8 call_sp = call.sp;
                const auto target = static_cast<u16>(
                    (memory[0x100 | static_cast<u8>(c.sp + 1)] | memory[0x100 | static_cast<u8>(c.sp + 2)] << 8) + 1);
                if (c.sp == call_sp) {
                    if (target != call.return_to) return true;
                    matched = true;
                } else if (c.sp > call_sp || unsigned{c.sp} + 2 > call_sp) {
                    return true;
                }
            }
        }
        if (((read & guard::UNWRITTEN) | (wrote & guard::PROTECTED)) != 0) return true;
        // It runs: the rest is what the checker would note after it.
        for (unsigned i = 0; i < write_count; ++i) g[writes[i]] &= static_cast<u8>(~guard::UNWRITTEN);
        if (c_stack_checked) observed.c_stack_due = false;
        if ((wrote & guard::C_SP) != 0) observed.c_stack_due = true;
        if constexpr (op == Op::JSR) {
            // The calls whose bytes it overwrote are over.
            const auto sp = static_cast<u8>(c.sp - 2);
            std::size_t n = observed.known_call_count;
            while (n != 0 && observed.known_calls[n - 1].sp <= sp) --n;
            const auto at = static_cast<u16>(c.pc);
            observed.known_calls[n] = {at, static_cast<u16>(memory[c.pc + 1] | memory[c.pc + 2] << 8),
                                       static_cast<u16>(at + 3), sp, false};
            observed.known_call_count = n + 1;
        }
        if (matched) {
            const unsigned after = unsigned{c.sp} + 2;
            std::size_t n = observed.known_call_count - 1;
            while (n != 0 && observed.known_calls[n - 1].sp < after) --n;
            observed.known_call_count = n;
        }
        return false;
    }
}

// Notes the instruction at c.pc, about to run, in the history log at
// `next`: where it begins and its opcode, one store (pc never passes 0xFFFF).
template <u8 OPCODE>
[[gnu::always_inline]] inline void note_history_start(const RunRegisters& c, std::size_t next) {
    history_log.head[next] = static_cast<u32>(c.pc) + (u32{OPCODE} << 16 | u32{history::threaded} << 24);
}
// Then, after it, the registers it may have changed, a store each.
template <Chip P, u8 OPCODE>
[[gnu::always_inline]] inline void note_history_end(const RunRegisters& c, std::size_t& next) {
    constexpr u8 fields = history::noted_by(opcode_grid<P>[OPCODE].op, opcode_grid<P>[OPCODE].mode).fields;
    if constexpr ((fields & history::A) != 0) history_log.a[next] = c.a;
    if constexpr ((fields & history::X) != 0) history_log.x[next] = c.x;
    if constexpr ((fields & history::Y) != 0) history_log.y[next] = c.y;
    if constexpr ((fields & history::SP) != 0) history_log.sp[next] = c.sp;
    if constexpr ((fields & history::P) != 0) history_log.status[next] = c.status;
    ++next;
}

// One opcode whose fetch the caller has checked, counted in `counter`;
// returns whether the run loop must look before the next instruction.
// With observe::HISTORY, it is noted in the history log at `noted`.
template <Chip P, u8 OPCODE, bool COUNT_CYCLES, bool CYCLE_BUDGET = false, unsigned OBSERVE = 0>
[[gnu::always_inline]] inline bool run_opcode(RunRegisters& c, std::uint32_t& counter, std::size_t& noted) {
    constexpr OpcodeEntry entry = opcode_grid<P>[OPCODE];
    constexpr bool touches_devices = may_write_devices(entry.op, entry.mode) || may_read_devices(entry.op, entry.mode);
    [[maybe_unused]] const std::size_t at = c.pc;
    [[maybe_unused]] const std::uint32_t counted_before = counter;
    if constexpr ((OBSERVE & observe::HISTORY) != 0) note_history_start<OPCODE>(c, noted);
    ++c.pc;
    if constexpr (touches_devices) c.device_written = false;
    const u32 page_crossed = address_operand<entry.mode, Fetch::plain_ram>(c);
    const std::size_t next_pc = c.pc;
    const u32 branch_cycles = perform<entry.op, entry.mode, Fetch::plain_ram, P, OPCODE>(c, page_crossed != 0);
    if constexpr ((OBSERVE & observe::HISTORY) != 0) note_history_end<P, OPCODE>(c, noted);
    if constexpr (COUNT_CYCLES || CYCLE_BUDGET) {
        constexpr CounterLayout layout = CYCLE_BUDGET ? BUDGET_COUNTER : COUNTDOWN_COUNTER;
        if constexpr (is_branch(entry.op) && P != Chip::m65c02) {
            // Taken: a cycle, and one more when bit 8 of pc changed (it
            // moves by less than a page, so the page changed).
            const u32 taken = branch_cycles != 0 ? layout.cycle + (static_cast<u32>(c.pc ^ next_pc) & 0x100) *
                                                                      layout.crossing_scale()
                                                 : 0;
            counter += layout.instruction + layout.cycle * entry.cycles + taken;
        } else {
            if constexpr (pays_page_cycle<P>(entry.op, OPCODE)) counter += page_crossed * layout.crossing_scale();
            // The extra cycles an operation reports: the 65C02's branches
            // (its bit branches count differently) and decimal mode.
            counter += layout.instruction + layout.cycle * (entry.cycles + branch_cycles);
        }
    } else {
        counter += INSTRUCTION_UNIT;
    }
    if constexpr ((OBSERVE & observe::PROFILE) != 0) {
        static_assert(COUNT_CYCLES && !CYCLE_BUDGET, "the profile takes its cycles from the countdown's counter");
        ++observed.counts[at];
        observed.cycles[at] += (counter - counted_before - INSTRUCTION_UNIT) / COUNTDOWN_COUNTER.cycle;
        if constexpr (OPCODE == 0x20 || OPCODE == 0x00) observed.entries[c.pc] = 1;  // JSR and BRK targets
        if constexpr (is_conditional_branch(entry.op)) observed.taken[at] += c.pc != next_pc ? 1 : 0;
    }
    if constexpr ((OBSERVE & observe::CALLS) != 0 && is_call_or_return(OPCODE)) {
        static_assert((OBSERVE & observe::PROFILE) != 0, "a call's note carries the profile's counts");
        observed.calls[observed.call_count++] = {counter, static_cast<u16>(at), static_cast<u16>(c.pc), OPCODE, c.sp};
    }
    constexpr u16 safe_end = CYCLE_BUDGET ? BUDGET_SAFE_PC_END : SAFE_PC_END;
    if constexpr (is_branch(entry.op)) return branch_cycles != 0 && outside_safe_range<safe_end>(c.pc);
    if constexpr (entry.op == Op::RTI) return outside_safe_range<safe_end>(c.pc) || (c.status & FLAG_CONSTANT) == 0;
    if constexpr (moves_pc(entry.op)) return outside_safe_range<safe_end>(c.pc);
    if constexpr (touches_devices) return c.device_written;
    return false;
}
}  // namespace threaded

// Runs instructions on `cpu` until `countdown` (1 to MAX_RUN) reaches zero
// or an instruction needs the run loop's tests. The caller makes sure that
// pc is not outside_safe_range, that the constant status bit is set and that
// nothing is to be traced. Counts cycles only when COUNT_CYCLES.
// With CYCLE_BUDGET, `countdown` is a budget of cycles (1 to threaded::MAX_BUDGET<P>)
// instead, and the end's `countdown` the instructions run, the last one
// included when it needs a look; pc must then lie below
// threaded::BUDGET_SAFE_PC_END.
// With OBSERVE (a set of observe::), the run also stops before an
// instruction the observer must see (InRamStop::observe), maybe the first.
template <Chip P, bool COUNT_CYCLES, bool CYCLE_BUDGET = false, unsigned OBSERVE = 0>
[[gnu::noinline]] InRamEnd run_in_ram(std::uint32_t countdown) {
    // A local copy, so that the registers live in host registers; `cpu` is
    // at a fixed address and needs none to find it at the end.
    RunRegisters c = run_registers_of(cpu);
    const std::uint32_t start = CYCLE_BUDGET ? 0x80000000u - countdown * threaded::BUDGET_CYCLE_UNIT
                                             : (MAX_RUN - countdown) * threaded::INSTRUCTION_UNIT;
    std::uint32_t counter = start;
    InRamStop stop;
    // The history log's index lives in a host register during the run.
    [[maybe_unused]] std::size_t noted = 0;
    if constexpr ((OBSERVE & observe::HISTORY) != 0) noted = history_log_full(history::checkpoint);
    if constexpr ((OBSERVE & observe::CALLS) != 0) observed.call_count = 0;

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpedantic"
#define EMU6502_ROW(h, X)                                                                                      \
    X(h##0) X(h##1) X(h##2) X(h##3) X(h##4) X(h##5) X(h##6) X(h##7) X(h##8) X(h##9) X(h##A) X(h##B) X(h##C) \
        X(h##D) X(h##E) X(h##F)
#define EMU6502_ALL(X)                                                                                         \
    EMU6502_ROW(0x0, X) EMU6502_ROW(0x1, X) EMU6502_ROW(0x2, X) EMU6502_ROW(0x3, X) EMU6502_ROW(0x4, X)       \
    EMU6502_ROW(0x5, X) EMU6502_ROW(0x6, X) EMU6502_ROW(0x7, X) EMU6502_ROW(0x8, X) EMU6502_ROW(0x9, X)       \
    EMU6502_ROW(0xA, X) EMU6502_ROW(0xB, X) EMU6502_ROW(0xC, X) EMU6502_ROW(0xD, X) EMU6502_ROW(0xE, X)       \
    EMU6502_ROW(0xF, X)
#define EMU6502_ADDRESS(n) &&opcode_##n,
    static const void* const handlers[256] = {EMU6502_ALL(EMU6502_ADDRESS)};
#define EMU6502_NEXT                                                           \
    if constexpr ((OBSERVE & observe::BREAKS) != 0) {                          \
        if (observed.break_at[c.pc] != 0) [[unlikely]] {                       \
            stop = InRamStop::observe;                                         \
            goto out;                                                          \
        }                                                                      \
    }                                                                          \
    goto* handlers[memory[c.pc]]
    EMU6502_NEXT;
#define EMU6502_HANDLER(n)                                                     \
    opcode_##n:                                                                \
    if constexpr ((OBSERVE & observe::WATCHES) != 0) {                         \
        if (threaded::may_touch_watched<P, (n)>(c)) [[unlikely]] {             \
            stop = InRamStop::observe;                                         \
            goto out;                                                          \
        }                                                                      \
    }                                                                          \
    if constexpr ((OBSERVE & observe::CHECKS) != 0) {                          \
        if (threaded::check_stops<P, (n)>(c)) [[unlikely]] {                   \
            stop = InRamStop::observe;                                         \
            goto out;                                                          \
        }                                                                      \
    }                                                                          \
    if (threaded::run_opcode<P, (n), COUNT_CYCLES, CYCLE_BUDGET, OBSERVE>(c, counter, noted)) [[unlikely]] { \
        stop = InRamStop::look;                                                \
        goto out;                                                              \
    }                                                                          \
    if (static_cast<std::int32_t>(counter) < 0) [[unlikely]] {                 \
        stop = InRamStop::countdown_over;                                      \
        goto out;                                                              \
    }                                                                          \
    EMU6502_NEXT;
    EMU6502_ALL(EMU6502_HANDLER)
#undef EMU6502_HANDLER
#undef EMU6502_NEXT
#undef EMU6502_ADDRESS
#undef EMU6502_ALL
#undef EMU6502_ROW
#pragma GCC diagnostic pop

out:
    if constexpr ((OBSERVE & observe::HISTORY) != 0) history_log.next = noted;
    put_run_registers(c, cpu);
    if constexpr (CYCLE_BUDGET) {
        return {(counter - start) / threaded::BUDGET_CYCLE_UNIT, (counter - start) % threaded::BUDGET_CYCLE_UNIT, stop};
    }
    // The instruction that asks for a look is counted down by the run loop.
    const std::uint32_t ran = counter / threaded::INSTRUCTION_UNIT - start / threaded::INSTRUCTION_UNIT -
                              (stop == InRamStop::look ? 1 : 0);
    return {counter % threaded::INSTRUCTION_UNIT / threaded::COUNTDOWN_COUNTER.cycle, countdown - ran, stop};
}
