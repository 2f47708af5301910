// libFuzzer target: the threaded code, or the translating core, against
// the core's own step. Each input runs once through run_in_ram (or
// translate_run) and once instruction by instruction from the same
// machine; registers, memory, cycles and the point where the threaded run
// stopped must agree with the steps.
//
// Input layout (missing bytes read as zero):
//   0-1   pc, little-endian          7      bits 0-1: processor (2: the
//   2     sp                                65C02 under a budget, else the
//   3     a                                 6502); bits 2-3: how the run
//   4     x                                 counts (Counting); bit 4: the
//                                           translating core
//   5     y                          8      the countdown or budget, scaled
//   6     status                     9-10   load address of the image
//   then  the memory image, wrapping at 0xFFFF; every other byte holds 0xEE.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <tuple>

#include "bus/bus.hpp"
#include "bus/devices.hpp"
#include "scratch.hpp"
#include "threaded_copies.hpp"
#include "cpu/observed.hpp"
#include "translate/translate.hpp"

namespace {

constexpr std::size_t HEADER_SIZE = 11;
constexpr u8 FILL_BYTE = 0xEE;
constexpr unsigned RANDOM_SEED = 1;

// The three ways the run loops call the threaded code.
enum class Counting : u8 { instructions, cycles_too, cycle_budget };

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "invariant violated: %s\n", what);
    std::abort();
}
#define CHECK(condition) \
    if (!(condition)) fail(#condition)

void reset_devices() {
    (void)data_file_close();
    remove_data_files();
    data_file_init();
    console_init(false);
    console_idle_wait(false);  // an empty KBD_IN never sleeps here
    random_seed(RANDOM_SEED);
}

// What the two runs must leave alike in the processor.
auto registers_now() {
    return std::tuple{cpu.pc, cpu.sp, cpu.a, cpu.x, cpu.y, cpu.status, cpu.pause, cpu.pause_pc, cpu.pause_opcode};
}

std::array<u8, 0x10000> start_memory;
std::array<u8, 0x10000> threaded_memory;

bool translated = false;  // this input runs the translating core
}  // namespace

// The observers' tables, which the translating core borrows (the run loop
// defines them in the program).
ObservedTables observed{};

namespace {

template <Chip P, Counting HOW>
void compare(u32 length) {
    constexpr bool budget = HOW == Counting::cycle_budget;
    constexpr bool counts_cycles = HOW != Counting::instructions;
    const Cpu start = cpu;
    start_memory = memory;

    reset_devices();
    const InRamEnd end = translated ? translate_run<P, counts_cycles, budget>(length)
                                    : run_in_ram<P, counts_cycles, budget>(length);
    const u32 ran = budget ? end.countdown : length - end.countdown + (end.stop == InRamStop::look ? 1u : 0u);
    const auto threaded_end = registers_now();
    threaded_memory = memory;

    memory = start_memory;
    cpu = start;
    reset_devices();
    CHECK(ran >= 1);
    std::uint64_t cycles = 0;
    for (u32 done = 0; done < ran; ++done) {
        if (done > 0) {
            // Every instruction the threaded code ran past had to leave it
            // free to go on: not at the end, not near the devices, nothing
            // to trace.
            CHECK(cpu.pc != 0x0000);
            CHECK(!instruction_near_devices(cpu.pc));
            CHECK(memory[TRACE_CTL] != 1);
            CHECK((cpu.status & FLAG_CONSTANT) != 0);
            if (budget) CHECK(cycles < length);
        }
        cycles += execute_instruction_on_cpu<P>();
    }
    CHECK(threaded_end == registers_now());
    CHECK(threaded_memory == memory);
    if (counts_cycles) CHECK(end.cycles == cycles);
    // The translating core hands back early only at the top of memory, where the run loop steps.
    if (end.stop == InRamStop::countdown_over)
        CHECK((budget ? cycles >= length : ran == length) || (translated && outside_safe_range(cpu.pc)));
}

template <Chip P>
u32 budget_length(u8 scale) {
    return 1 + scale * (threaded::MAX_BUDGET<P> - 1) / 255;
}

template <Chip P>
void compare_on(Counting how, u8 scale) {
    switch (how) {
    case Counting::instructions: compare<P, Counting::instructions>(1 + scale % MAX_RUN); break;
    case Counting::cycles_too: compare<P, Counting::cycles_too>(1 + scale % MAX_RUN); break;
    case Counting::cycle_budget: compare<P, Counting::cycle_budget>(budget_length<P>(scale)); break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    enter_scratch_folder(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::array<u8, HEADER_SIZE> header{};
    if (size > 0) std::memcpy(header.data(), data, std::min(size, header.size()));
    const std::size_t offset = std::min(size, header.size());

    memory.fill(FILL_BYTE);
    const u16 load = static_cast<u16>(header[9] | header[10] << 8);
    for (std::size_t i = 0; i < std::min<std::size_t>(size - offset, memory.size()); ++i)
        memory[static_cast<u16>(load + i)] = data[offset + i];

    // The copies of threaded_copies.hpp: the default processor in all three
    // ways, and the 65C02, whose one-cycle NOPs and own branch cycles make
    // its budget differ, under a budget.
    const bool m65c02 = (header[7] & 0x03) == 2;
    const auto how = m65c02 ? Counting::cycle_budget : static_cast<Counting>((header[7] >> 2) % 3);
    // What the run loops make sure of before they call the threaded code.
    const u16 safe_end = how == Counting::cycle_budget ? threaded::BUDGET_SAFE_PC_END : SAFE_PC_END;
    const u16 pc = static_cast<u16>(header[0] | header[1] << 8);
    cpu.pc = static_cast<u16>(1 + pc % (safe_end - 1));
    cpu.status = header[6] | FLAG_CONSTANT;
    memory[TRACE_CTL] = 0;
    cpu.sp = header[2];
    cpu.a = header[3];
    cpu.x = header[4];
    cpu.y = header[5];
    cpu.pause = Pause::none;
    // Its cache dropped: memory is new.
    translated = (header[7] & 0x10) != 0 && translate_begin(m65c02 ? Chip::m65c02 : Chip::m6502, 0);

    if (m65c02)
        compare<Chip::m65c02, Counting::cycle_budget>(budget_length<Chip::m65c02>(header[8]));
    else
        compare_on<Chip::m6502>(how, header[8]);
    (void)data_file_close();
    remove_data_files();
    return 0;
}
