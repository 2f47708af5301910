// libFuzzer target for the whole machine: processor, bus and devices.
//
// Input layout (missing bytes read as zero):
//   0-1   pc, little-endian          7      run mode, see RunMode
//   2     sp                          8-9    load address of the image
//   3     a                           10-11  instructions to run (0: the maximum)
//   4     x                           12     number of interrupt events (at most 32)
//   5     y                           13...  events, 3 bytes each: instruction index
//   6     status                             (little-endian), kind (bit 0: NMI, else IRQ)
//   then  the memory image, copied to the load address and wrapping at 0xFFFF;
//         every other byte holds FILL_BYTE.
//
// After every instruction and every interrupt the target checks what the
// processor must have done, worked out from the machine's rules: cycles, pc, sp, the B and constant bits, stack contents, vectors,
// and what loads, stores and transfers moved.
// A violation traps, so libFuzzer records the input as a crash.
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "bus/bus.hpp"
#include "bus/devices.hpp"
#include "cpu/cpu.hpp"
#include "cpu/opcode_matrix.hpp"
#include "cpu/state.hpp"
#include "scratch.hpp"

namespace {

constexpr std::size_t HEADER_SIZE = 13;
constexpr std::size_t EVENT_SIZE = 3;
constexpr std::size_t MAX_EVENTS = 32;
constexpr u32 MAX_INSTRUCTIONS = 20000;
// What an unloaded byte holds: the value a fresh machine fills memory with.
constexpr u8 FILL_BYTE = 0xEE;
constexpr unsigned RANDOM_SEED = 1;  // the same RANDOM bytes for every run of an input

enum class RunMode : u8 {
    step = 0,            // cpu_step, checks after it returns
    step_with_hook = 1,  // cpu_step, checks in the step hook
    exec_one = 2,        // cpu_exec(1) per instruction
    exec_budget = 3,     // cpu_exec with large budgets, checks in the step hook
};
// Bit 2 of the mode byte: start through cpu_reset (reset vector from the
// image) instead of the pc in the header.
constexpr u8 MODE_RESET = 0x04;

// ---------------------------------------------------------------------------
// What the checks need to know of each opcode, taken from the core's one
// opcode grid. The checks themselves work the behaviour out from the rules:
// the page test, the branch costs, pc, the stack and the registers.

struct Opcode {
    Op op;
    Mode mode;
    u8 length;  // opcode plus operand bytes
    u8 cycles;  // base cycles
    bool page_cycle;  // one more when the indexed address crosses a page
};

std::array<Opcode, 256> grid{};

void parse_grid() {
    for (int i = 0; i < 256; ++i) {
        const OpcodeEntry& entry = opcode_matrix[i];
        const bool indexed = entry.mode == Mode::abx || entry.mode == Mode::aby || entry.mode == Mode::izy;
        grid[i] = {entry.op, entry.mode, static_cast<u8>(1 + operand_bytes(entry.mode)), entry.cycles,
                   indexed && pays_page_cycle(entry.op, static_cast<u8>(i))};
    }
}

// ---------------------------------------------------------------------------
// Expectations worked out before an instruction runs.

#define CHECK(condition)                      \
    do {                                      \
        if (!(condition)) fail(#condition);   \
    } while (false)

// Whether a read of `address` is known without performing it: plain memory,
// or a device register that reads back the stored byte. FILE_SELECT reads
// memory only while no file is open, so it counts as unknown.
bool known(u16 address) {
    return !is_device(address) || address == CON_OUT || address == TRACE_CTL || address == FILE_WRITE;
}

u16 word_at(u16 address) {
    return static_cast<u16>(memory[address] | memory[static_cast<u16>(address + 1)] << 8);
}

u16 stack_address(u8 sp) { return static_cast<u16>(0x0100 | sp); }

struct Before {
    u16 pc;
    u8 sp, a, x, y, status;
    u32 instruction_count;
    // Memory as it was: the instruction's bytes, the stack top and vectors.
    std::array<u8, 3> bytes;
    std::array<bool, 3> bytes_known;
    std::array<u8, 3> stack_above;  // 0x0100 + sp + 1 .. + 3
    u16 izx_pointer;                // the zero-page pointers the indirect modes would read
    u16 izy_pointer;
};

Before before{};

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "invariant violated: %s (pc before %04x, opcode %02x)\n", what, before.pc, cpu.opcode);
    __builtin_trap();
}

// The registers and the count as they stand now; memory left for the caller.
Before registers_now() {
    Before now{};
    now.pc = cpu.pc;
    now.sp = cpu.sp;
    now.a = cpu.a;
    now.x = cpu.x;
    now.y = cpu.y;
    now.status = cpu.status;
    now.instruction_count = cpu.instruction_count;
    return now;
}

void take_before() {
    before = registers_now();
    for (int i = 0; i < 3; ++i) {
        const u16 address = static_cast<u16>(cpu.pc + i);
        before.bytes[i] = memory[address];
        before.bytes_known[i] = known(address);
        before.stack_above[i] = memory[stack_address(static_cast<u8>(cpu.sp + 1 + i))];
    }
    const auto zero_page_word = [](u8 zp) {
        return static_cast<u16>(memory[zp] | memory[static_cast<u8>(zp + 1)] << 8);
    };
    before.izx_pointer = zero_page_word(static_cast<u8>(before.bytes[1] + cpu.x));
    before.izy_pointer = zero_page_word(before.bytes[1]);
}

bool branch_taken(u8 opcode, u8 status) {
    static constexpr u8 flag_of_row[4] = {FLAG_N, FLAG_V, FLAG_C, FLAG_Z};
    const bool flag_set = (status & flag_of_row[opcode >> 6]) != 0;
    const bool taken_when_set = (opcode & 0x20) != 0;
    return flag_set == taken_when_set;
}

bool zn_match(u8 value) {
    return ((cpu.status & FLAG_Z) != 0) == (value == 0) && ((cpu.status & FLAG_N) != 0) == ((value & 0x80) != 0);
}

// Whether the indexed address of this instruction leaves its page, or -1
// when the bytes it depends on come from a device. The mode reads its
// operand and pointer before the operation writes anything, so memory as
// it was before the instruction decides.
int page_crossed(const Opcode& o) {
    u16 base = 0;
    u8 index = 0;
    if (o.mode == Mode::abx || o.mode == Mode::aby) {
        if (!before.bytes_known[1] || !before.bytes_known[2]) return -1;
        base = static_cast<u16>(before.bytes[1] | before.bytes[2] << 8);
        index = o.mode == Mode::abx ? before.x : before.y;
    } else if (o.mode == Mode::izy) {
        if (!before.bytes_known[1]) return -1;
        base = before.izy_pointer;
        index = before.y;
    }
    return ((base ^ static_cast<u16>(base + index)) & 0xFF00) != 0;
}

// The address the instruction's mode formed, or -1 when it depends on a
// byte read from a device (or the mode forms none).
int effective_address(const Opcode& o) {
    const bool operand_known = before.bytes_known[1] && (o.length < 3 || before.bytes_known[2]);
    if (!operand_known) return -1;
    const u8 zp = before.bytes[1];
    const u16 word = static_cast<u16>(before.bytes[1] | before.bytes[2] << 8);
    switch (o.mode) {
    case Mode::imm: return static_cast<u16>(before.pc + 1);
    case Mode::zp: return zp;
    case Mode::zpx: return static_cast<u8>(zp + before.x);
    case Mode::zpy: return static_cast<u8>(zp + before.y);
    case Mode::abs: return word;
    case Mode::abx: return static_cast<u16>(word + before.x);
    case Mode::aby: return static_cast<u16>(word + before.y);
    case Mode::izx: return before.izx_pointer;
    case Mode::izy: return static_cast<u16>(before.izy_pointer + before.y);
    default: return -1;
    }
}

// Called after every instruction with the cycles it reported.
void check_instruction(u32 cycles) {
    const u8 opcode = cpu.opcode;
    const Opcode& o = grid[opcode];
    if (before.bytes_known[0] && before.bytes[0] != opcode) fail("executed opcode differs from memory");
    CHECK(cpu.instruction_count == before.instruction_count + 1);
    CHECK(cycles >= 2 && cycles <= 8);

    const u16 next = static_cast<u16>(before.pc + o.length);
    const bool is_branch = o.mode == Mode::rel;

    // Cycles.
    if (is_branch) {
        if (before.bytes_known[1]) {
            const bool taken = branch_taken(opcode, before.status);
            const u16 target = static_cast<u16>(next + static_cast<std::int8_t>(before.bytes[1]));
            const u32 expected = 2u + (taken ? 1u : 0u) + (taken && ((target ^ next) & 0xFF00) ? 1u : 0u);
            CHECK(cycles == expected);
            CHECK(cpu.pc == (taken ? target : next));
        } else {
            CHECK(cycles >= 2 && cycles <= 4);
        }
    } else if (o.page_cycle) {
        const int crossed = page_crossed(o);
        if (crossed >= 0)
            CHECK(cycles == o.cycles + static_cast<u32>(crossed));
        else
            CHECK(cycles == o.cycles || cycles == o.cycles + 1u);
    } else {
        CHECK(cycles == o.cycles);
    }

    // Status: the constant bit is set by every fetch; only PLP and RTI load B.
    if (o.op == Op::RTI) {
        CHECK(cpu.status == before.stack_above[0]);
    } else if (o.op == Op::PLP) {
        CHECK(cpu.status == (before.stack_above[0] | FLAG_CONSTANT));
    } else {
        CHECK((cpu.status & FLAG_CONSTANT) != 0);
        CHECK((cpu.status & FLAG_B) == (before.status & FLAG_B));
    }

    // Stack pointer and pc.
    const auto pushed = [](int depth) { return memory[stack_address(static_cast<u8>(before.sp - depth))]; };
    if (o.op == Op::PHA || o.op == Op::PHP) {
        CHECK(cpu.sp == static_cast<u8>(before.sp - 1));
        CHECK(pushed(0) == (o.op == Op::PHA ? before.a : (before.status | FLAG_CONSTANT | FLAG_B)));
    } else if (o.op == Op::PLA || o.op == Op::PLP) {
        CHECK(cpu.sp == static_cast<u8>(before.sp + 1));
        if (o.op == Op::PLA) CHECK(cpu.a == before.stack_above[0] && zn_match(cpu.a));
    } else if (o.op == Op::JSR) {
        CHECK(cpu.sp == static_cast<u8>(before.sp - 2));
        const u16 last_byte = static_cast<u16>(before.pc + 2);
        CHECK(pushed(0) == (last_byte >> 8) && pushed(1) == (last_byte & 0xFF));
        if (before.bytes_known[1] && before.bytes_known[2])
            CHECK(cpu.pc == static_cast<u16>(before.bytes[1] | before.bytes[2] << 8));
    } else if (o.op == Op::RTS) {
        CHECK(cpu.sp == static_cast<u8>(before.sp + 2));
        CHECK(cpu.pc == static_cast<u16>((before.stack_above[0] | before.stack_above[1] << 8) + 1));
    } else if (o.op == Op::RTI) {
        CHECK(cpu.sp == static_cast<u8>(before.sp + 3));
        CHECK(cpu.pc == static_cast<u16>(before.stack_above[1] | before.stack_above[2] << 8));
    } else if (o.op == Op::BRK) {
        CHECK(cpu.sp == static_cast<u8>(before.sp - 3));
        const u16 resume = static_cast<u16>(before.pc + 2);
        CHECK(pushed(0) == (resume >> 8) && pushed(1) == (resume & 0xFF));
        CHECK(pushed(2) == (before.status | FLAG_CONSTANT | FLAG_B));
        CHECK((cpu.status & FLAG_I) != 0);
        CHECK(cpu.pc == word_at(IRQ_VECTOR));
    } else if (o.op == Op::TXS) {
        CHECK(cpu.sp == before.x);
        CHECK(cpu.status == (before.status | FLAG_CONSTANT));
    } else {
        CHECK(cpu.sp == before.sp);
    }

    if (o.op == Op::JMP) {
        if (o.mode == Mode::abs && before.bytes_known[1] && before.bytes_known[2]) {
            CHECK(cpu.pc == static_cast<u16>(before.bytes[1] | before.bytes[2] << 8));
        } else if (o.mode == Mode::ind && before.bytes_known[1] && before.bytes_known[2]) {
            // The pointer's high byte comes from the same page as its low byte.
            const u16 pointer = static_cast<u16>(before.bytes[1] | before.bytes[2] << 8);
            const u16 high_at = static_cast<u16>((pointer & 0xFF00) | ((pointer + 1) & 0xFF));
            if (known(pointer) && known(high_at))
                CHECK(cpu.pc == static_cast<u16>(memory[pointer] | memory[high_at] << 8));
        }
    } else if (!is_branch && o.op != Op::JSR && o.op != Op::RTS && o.op != Op::RTI && o.op != Op::BRK) {
        CHECK(cpu.pc == next);
    }

    // Registers of the instructions that only move or test bytes.
    if (o.op == Op::NOP) {
        CHECK(cpu.a == before.a && cpu.x == before.x && cpu.y == before.y);
        CHECK(cpu.status == (before.status | FLAG_CONSTANT));
    } else if (o.op == Op::TAX) {
        CHECK(cpu.x == before.a && zn_match(cpu.x));
    } else if (o.op == Op::TAY) {
        CHECK(cpu.y == before.a && zn_match(cpu.y));
    } else if (o.op == Op::TXA) {
        CHECK(cpu.a == before.x && zn_match(cpu.a));
    } else if (o.op == Op::TYA) {
        CHECK(cpu.a == before.y && zn_match(cpu.a));
    } else if (o.op == Op::TSX) {
        CHECK(cpu.x == before.sp && zn_match(cpu.x));
    } else if (o.op == Op::LDA || o.op == Op::LDX || o.op == Op::LDY || o.op == Op::LAX) {
        const bool to_a = o.op == Op::LDA || o.op == Op::LAX;
        const bool to_x = o.op == Op::LDX || o.op == Op::LAX;
        const bool to_y = o.op == Op::LDY;
        const u8 loaded = to_y ? cpu.y : to_x ? cpu.x : cpu.a;  // LAX: flags from x
        CHECK(zn_match(loaded));
        CHECK(to_a || cpu.a == before.a);
        CHECK(to_x || cpu.x == before.x);
        CHECK(to_y || cpu.y == before.y);
        // From memory the load takes the byte that is there, and LAX reads it
        // twice; a device register may give a different byte at each read.
        const int address = effective_address(o);
        if (address >= 0 && known(static_cast<u16>(address))) {
            CHECK(loaded == memory[static_cast<u16>(address)]);
            CHECK(o.op != Op::LAX || cpu.a == cpu.x);
        }
    } else if (o.op == Op::STA || o.op == Op::STX || o.op == Op::STY || o.op == Op::SAX) {
        CHECK(cpu.a == before.a && cpu.x == before.x && cpu.y == before.y);
        CHECK(cpu.status == (before.status | FLAG_CONSTANT));
        // Every write lands in memory, device register or not; SAX writes
        // a, then x, then a AND x.
        const u8 stored = o.op == Op::STA ? cpu.a : o.op == Op::STX ? cpu.x : o.op == Op::STY ? cpu.y : cpu.a & cpu.x;
        const int address = effective_address(o);
        if (address >= 0) CHECK(memory[static_cast<u16>(address)] == stored);
    }
}

// An interrupt request and what it must have done.
void raise_interrupt(bool nmi) {
    const Before regs = registers_now();
    const std::array<u8, 3> stack_below = {memory[stack_address(cpu.sp)],
                                           memory[stack_address(static_cast<u8>(cpu.sp - 1))],
                                           memory[stack_address(static_cast<u8>(cpu.sp - 2))]};
    const u32 cycle_count = cpu.cycle_count;
    if (nmi)
        cpu_nmi();
    else
        cpu_irq();
    CHECK(cpu.a == regs.a && cpu.x == regs.x && cpu.y == regs.y);
    CHECK(cpu.instruction_count == regs.instruction_count && cpu.cycle_count == cycle_count);
    if (!nmi && (regs.status & FLAG_I)) {
        // Dropped: nothing happens at all.
        CHECK(cpu.pc == regs.pc && cpu.sp == regs.sp && cpu.status == regs.status);
        CHECK(memory[stack_address(regs.sp)] == stack_below[0]);
        CHECK(memory[stack_address(static_cast<u8>(regs.sp - 1))] == stack_below[1]);
        CHECK(memory[stack_address(static_cast<u8>(regs.sp - 2))] == stack_below[2]);
        return;
    }
    CHECK(cpu.sp == static_cast<u8>(regs.sp - 3));
    CHECK(memory[stack_address(regs.sp)] == (regs.pc >> 8));
    CHECK(memory[stack_address(static_cast<u8>(regs.sp - 1))] == (regs.pc & 0xFF));
    CHECK(memory[stack_address(static_cast<u8>(regs.sp - 2))] == (regs.status & ~FLAG_B));
    CHECK(cpu.status == (regs.status | FLAG_I));  // D and B untouched
    CHECK(cpu.pc == word_at(nmi ? NMI_VECTOR : IRQ_VECTOR));
}

// ---------------------------------------------------------------------------
// One run.

struct Event {
    u16 index;
    bool nmi;
};

struct Run {
    RunMode mode;
    u32 limit;
    std::array<Event, MAX_EVENTS> events;
    std::size_t event_count;
    std::size_t next_event;
    u32 done;             // instructions completed
    u32 exec_cycles;      // cpu.cycle_count when the last hook ran (cpu_exec)
    u32 hook_calls;
};

Run run{};

// Between two instructions: interrupts due at this point, then the
// expectations for the next one.
void between_instructions() {
    while (run.next_event < run.event_count && run.events[run.next_event].index == run.done)
        raise_interrupt(run.events[run.next_event++].nmi);
    take_before();
}

void after_instruction(u32 cycles) {
    check_instruction(cycles);
    ++run.done;
    between_instructions();
}

void step_hook() {
    ++run.hook_calls;
    if (run.mode == RunMode::exec_budget) {
        const u32 cycles = cpu.cycle_count - run.exec_cycles;
        run.exec_cycles = cpu.cycle_count;
        after_instruction(cycles);  // interrupts count no cycles
    } else {
        // cpu_step leaves this step's cycles in cycle_count before the hook.
        after_instruction(cpu.cycle_count);
    }
}

void reset_devices() {
    (void)data_file_close();
    data_file_init();
    console_init(false);  // KBD_IN polls the keyboard, which has no terminal here
    random_seed(RANDOM_SEED);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    parse_grid();
    enter_scratch_folder(argc, argv);
    reset_devices();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::array<u8, HEADER_SIZE> header{};
    if (size > 0) std::memcpy(header.data(), data, std::min(size, header.size()));
    std::size_t offset = std::min(size, header.size());

    const u8 mode_byte = header[7];
    run = Run{};
    run.mode = static_cast<RunMode>(mode_byte & 0x03);
    const u32 requested = static_cast<u32>(header[10] | header[11] << 8);
    run.limit = requested == 0 ? MAX_INSTRUCTIONS : std::min(requested, MAX_INSTRUCTIONS);

    run.event_count = std::min<std::size_t>(header[12], MAX_EVENTS);
    run.event_count = std::min(run.event_count, (size - offset) / EVENT_SIZE);
    for (std::size_t i = 0; i < run.event_count; ++i, offset += EVENT_SIZE) {
        const u16 index = static_cast<u16>(data[offset] | data[offset + 1] << 8);
        run.events[i] = {static_cast<u16>(index % run.limit), (data[offset + 2] & 1) != 0};
    }
    std::stable_sort(run.events.begin(), run.events.begin() + static_cast<std::ptrdiff_t>(run.event_count),
                     [](const Event& l, const Event& r) { return l.index < r.index; });

    memory.fill(FILL_BYTE);
    const u16 load = static_cast<u16>(header[8] | header[9] << 8);
    const std::size_t image = std::min<std::size_t>(size - offset, memory.size());
    for (std::size_t i = 0; i < image; ++i) memory[static_cast<u16>(load + i)] = data[offset + i];

    reset_devices();
    cpu.sp = header[2];
    cpu.a = header[3];
    cpu.x = header[4];
    cpu.y = header[5];
    cpu.status = header[6];
    if (mode_byte & MODE_RESET) {
        const u8 status = cpu.status;
        cpu_reset();
        CHECK(cpu.pc == word_at(RESET_VECTOR) && cpu.sp == 0xFD);
        CHECK(cpu.status == (status | FLAG_I | FLAG_CONSTANT));
    } else {
        cpu.pc = static_cast<u16>(header[0] | header[1] << 8);
    }

    const bool hooked = run.mode == RunMode::step_with_hook || run.mode == RunMode::exec_budget;
    cpu_set_hook(hooked ? step_hook : nullptr);
    between_instructions();  // events at index 0 come before the first instruction

    switch (run.mode) {
    case RunMode::step:
        while (run.done < run.limit) after_instruction(cpu_step());
        break;
    case RunMode::step_with_hook:
        while (run.done < run.limit) {
            const u32 done = run.done;
            const u32 cycles = cpu_step();
            CHECK(run.done == done + 1 && cycles == cpu.cycle_count);
        }
        break;
    case RunMode::exec_one:
        CHECK(cpu_exec(0) == 0 && run.done == 0);
        while (run.done < run.limit) after_instruction(cpu_exec(1));
        break;
    case RunMode::exec_budget:
        while (run.done < run.limit) {
            // Every instruction takes at least two cycles, so a budget of
            // twice the remaining count cannot overshoot the limit.
            const u32 budget = std::min<u32>(2 * (run.limit - run.done), 4096);
            const u32 done = run.done;
            run.exec_cycles = 0;
            const u32 spent = cpu_exec(budget);
            CHECK(spent >= budget && spent < budget + 8);
            CHECK(run.done > done);
        }
        break;
    }
    CHECK(!hooked || run.hook_calls == run.done);
    CHECK(run.done == run.limit);

    cpu_set_hook(nullptr);
    (void)data_file_close();
    remove_data_files();
    return 0;
}
