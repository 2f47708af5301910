// The translating core's run: blocks looked up by pc and made on first use,
// each run whole when the countdown or budget has room for all of it, else
// instruction by instruction through the same helpers the blocks call, so
// that a run ends, looks and counts exactly where the interpreter's does.
#include <algorithm>
#include <cstdio>
#include <utility>

#include "cpu/cpu.hpp"
#include "cpu/data_access.hpp"
#include "cpu/observed.hpp"
#include "translate/block_cache.hpp"
#include "translate/emit.hpp"
#include "translate/translate.hpp"

// The sanitizer build compiles the instruction set once (see the run
// loop): without the handlers' copies here, it has no translating core.
#ifndef EMU6502_ONE_RUN_LOOP
namespace {
// Instructions in a block at most.
constexpr std::size_t MAX_BLOCK = 32;
// Cycles an instruction may add to its grid's: a page crossing, a taken
// branch's two, decimal mode on the 65C02.
constexpr unsigned MAX_EXTRA_CYCLES = 4;
// No instruction takes more (the grids' own check).
constexpr unsigned MOST_CYCLES = 8;
// The room of the count a stretch is not bounded by.
constexpr std::int64_t ROOM_UNCOUNTED = std::int64_t{1} << 60;

[[nodiscard]] constexpr bool pushes(Op op) {
    return op == Op::PHA || op == Op::PHP || op == Op::PHX || op == Op::PHY || op == Op::JSR || op == Op::BRK;
}
[[nodiscard]] constexpr bool writes_operand(const OpcodeEntry& entry) {
    const OperandUse use = operand_use(entry.op);
    return (use == OperandUse::write || use == OperandUse::modify) && operand_in_memory(entry.mode);
}
// The instructions after which pc is not the next one's address.
[[nodiscard]] constexpr bool ends_block(Op op) { return threaded::is_branch(op) || threaded::moves_pc(op); }

// One instruction, exactly as the threaded code runs it, counted in the
// state; a store into translated code drops that code.
template <Chip P, u8 OPCODE>
std::uint32_t run_one(TranslateState* s) {
    constexpr OpcodeEntry entry = opcode_grid<P>[OPCODE];
    std::uint32_t counter = 0;
    std::size_t noted = 0;
    const bool look = threaded::run_opcode<P, OPCODE, true, false, 0>(s->r, counter, noted);
    --s->left_instructions;
    s->left_cycles -= counter % threaded::INSTRUCTION_UNIT / threaded::COUNTDOWN_COUNTER.cycle;
    std::uint32_t exit = look ? EXIT_LOOK : 0;
    if constexpr (writes_operand(entry)) {
        if (block_cache::code_map[s->r.effective_address] != 0) [[unlikely]]
            exit |= block_cache::code_written(static_cast<u16>(s->r.effective_address));
    }
    if constexpr (pushes(entry.op)) {
        if (block_cache::page_has_code[1] != 0) [[unlikely]] {
            block_cache::page_written(1);
            exit |= EXIT_CODE_WRITTEN;
        }
    }
    return exit;
}

template <Chip P, std::size_t... I>
constexpr std::array<InstructionHelper, 256> helper_table(std::index_sequence<I...>) {
    return {&run_one<P, static_cast<u8>(I)>...};
}
template <Chip P>
constexpr std::array<InstructionHelper, 256> helpers = helper_table<P>(std::make_index_sequence<256>{});

void flush() {
    block_cache::clear();
    emitter_reset();
}

// The most cycles an instruction of the grid may take: a page crossing
// where it pays for one, a taken branch's two, the 65C02's decimal cycle;
// for the instructions a handler runs, whatever a handler may add.
template <Chip P>
[[nodiscard]] constexpr unsigned most_cycles(const OpcodeEntry& entry, u8 opcode) {
    if (threaded::is_branch(entry.op)) return entry.cycles + MAX_EXTRA_CYCLES;
    unsigned most = entry.cycles + (pays_page_cycle<P>(entry.op, opcode) ? 1 : 0);
    if (P == Chip::m65c02 && (entry.op == Op::ADC || entry.op == Op::SBC)) ++most;
    return most;
}

// The block at `pc`, made now; nullptr where none is made (an instruction
// across a page's end, or no room for code).
template <Chip P>
Block* translate(u16 pc) {
    std::array<DecodedInstruction, MAX_BLOCK> list;
    std::size_t count = 0;
    unsigned max_cycles = 0;
    u16 at = pc;
    while (count < MAX_BLOCK && at < SAFE_PC_END) {
        const u8 opcode = memory[at];
        const OpcodeEntry entry = opcode_grid<P>[opcode];
        const auto length = static_cast<u8>(1 + operand_bytes(entry.mode));
        if (((at + length - 1) >> 8) != (pc >> 8)) break;
        list[count++] = {at, opcode, length};
        max_cycles += most_cycles<P>(entry, opcode);
        at = static_cast<u16>(at + length);
        if (ends_block(entry.op)) break;
    }
    if (count == 0) return nullptr;
    for (int attempt = 0; attempt < 2; ++attempt) {
        const std::array<const void*, 2> body =
            emit_block({list.data(), count, opcode_grid<P>.data(), P, helpers<P>.data(), max_cycles});
        if (body[0] != nullptr) {
            if (Block* b = block_cache::add(body, pc, at, static_cast<u16>(count), static_cast<u16>(max_cycles)))
                return b;
        }
        flush();  // the buffer or the pool is full: start again
    }
    return nullptr;
}

// Where no block serves (code that keeps rewriting itself): the
// interpreter's own threaded code, as far as the room goes, stopped before
// any instruction that may touch a page with translated code, which then
// runs through its handler, so that a store there still drops that code.
// A look or not.
template <Chip P>
std::uint32_t interpret(TranslateState& s) {
    const std::int64_t room = s.left_cycles > ROOM_UNCOUNTED / 2
                                  ? s.left_instructions
                                  : (s.left_cycles + MOST_CYCLES - 1) / MOST_CYCLES;  // none passes the budget but the last
    const auto countdown = static_cast<std::uint32_t>(std::min<std::int64_t>(room, MAX_RUN));
    put_run_registers(s.r, cpu);
    // The watch tables are the observers' (no observer watches a translated run).
    const std::array<u8, 0x100> watched = observed.watch_page;
    const bool watched_any = observed.watch_any;
    observed.watch_page = block_cache::page_has_code;
    observed.watch_any = false;
    const InRamEnd end = run_in_ram<P, true, false, observe::WATCHES>(countdown);
    observed.watch_page = watched;
    observed.watch_any = watched_any;
    s.r.pc = cpu.pc;
    s.r.sp = cpu.sp;
    s.r.a = cpu.a;
    s.r.x = cpu.x;
    s.r.y = cpu.y;
    s.r.status = cpu.status;
    const bool looked = end.stop == InRamStop::look;
    s.left_instructions -= countdown - end.countdown + (looked ? 1 : 0);
    s.left_cycles -= end.cycles;
    if (end.stop == InRamStop::observe) return helpers<P>[memory[s.r.pc]](&s) & EXIT_LOOK;
    return looked ? EXIT_LOOK : 0;
}

bool translate_asked = false;
// Runs of each address that has no block yet, up to hot_after.
std::array<u8, 0x10000> heat{};
u8 hot_after = HOT_AFTER;
}  // namespace

const char* translate_build_text() {
    const char* name = emitter_name();
    return name != nullptr ? name : "not built";
}

bool translate_begin(Chip, unsigned hot) {
    // A build without it says so in --version; the interpreter runs quietly.
    static bool refused = emitter_name() == nullptr;
    if (refused) return false;
    const char* why = nullptr;
    if (!emitter_open(why)) {
        refused = true;
        std::fprintf(stderr, "emu6502: no translating core here (%s); the interpreter runs\n", why);
        return false;
    }
    flush();
    block_cache::forget_rewrites();
    heat.fill(0);
    hot_after = static_cast<u8>(std::min(hot, 255u));
    translate_asked = true;
    return true;
}

template <Chip P, bool COUNT_CYCLES, bool CYCLE_BUDGET>
InRamEnd translate_run(std::uint32_t countdown) {
    const std::int64_t room_instructions = CYCLE_BUDGET ? ROOM_UNCOUNTED : countdown;
    const std::int64_t room_cycles = CYCLE_BUDGET ? countdown : ROOM_UNCOUNTED;
    TranslateState s{{cpu.pc, cpu.sp, cpu.a, cpu.x, cpu.y, cpu.status, 0, 0, false},
                     room_instructions,
                     room_cycles,
                     0,
                     block_cache::entry_at.data() + (CYCLE_BUDGET ? 0x10000 : 0)};
    InRamStop stop = InRamStop::countdown_over;
    for (;;) {
        if constexpr (CYCLE_BUDGET) {
            if (s.left_cycles <= 0) break;
        } else {
            if (s.left_instructions == 0) break;
        }
        const auto pc = static_cast<u16>(s.r.pc);
        if (outside_safe_range(pc)) break;  // where the run loop steps
        Block* b = block_cache::block_at[pc];
        if (b == nullptr && block_cache::page_cold[pc >> 8] == 0) {
            if (heat[pc] >= hot_after) b = translate<P>(pc);
            else ++heat[pc];
        }
        std::uint32_t exit = 0;
        if (b != nullptr && b->instructions <= s.left_instructions && b->max_cycles < s.left_cycles) {
            exit = emitter_enter(&s, b->body[CYCLE_BUDGET ? 1 : 0]);
            if ((exit & EXIT_STORED) != 0) (void)block_cache::code_written(static_cast<u16>(s.written_at));
        } else if (b != nullptr || block_cache::page_cold[pc >> 8] == 0) {
            exit = helpers<P>[memory[pc]](&s);  // the end of the room, or no block here yet: one at a time
        } else {
            exit = interpret<P>(s);
        }
        if ((exit & EXIT_LOOK) != 0) {
            stop = InRamStop::look;
            break;
        }
    }
    put_run_registers(s.r, cpu);
    const auto instructions = static_cast<std::uint32_t>(room_instructions - s.left_instructions);
    const auto cycles = static_cast<std::uint64_t>(room_cycles - s.left_cycles);
    if constexpr (CYCLE_BUDGET) return {cycles, instructions, stop};
    // As in run_in_ram, the instruction that asks for a look is counted by the run loop.
    const auto ran = instructions - (stop == InRamStop::look ? 1u : 0u);
    return {COUNT_CYCLES ? cycles : 0, countdown - ran, stop};
}

void translate_after_step() {
    if (!translate_asked) return;
    const OpcodeEntry entry = opcode_grid_of(cpu_chip())[cpu.opcode];
    if (writes_operand(entry) && block_cache::code_map[cpu.effective_address] != 0)
        (void)block_cache::code_written(cpu.effective_address);
    if (pushes(entry.op)) block_cache::page_written(1);
}

void translate_after_interrupt() {
    if (translate_asked) block_cache::page_written(1);
}


#else
const char* translate_build_text() { return "not built"; }
bool translate_begin(Chip, unsigned) { return false; }
template <Chip P, bool COUNT_CYCLES, bool CYCLE_BUDGET>
InRamEnd translate_run(std::uint32_t countdown) {
    return {0, countdown, InRamStop::countdown_over};  // never called: translate_begin refuses
}
void translate_after_step() {}
void translate_after_interrupt() {}
#endif

#define EMU6502_TRANSLATE_RUN(P)                                              \
    template InRamEnd translate_run<P, false, false>(std::uint32_t);          \
    template InRamEnd translate_run<P, true, false>(std::uint32_t);           \
    template InRamEnd translate_run<P, true, true>(std::uint32_t);
EMU6502_TRANSLATE_RUN(Chip::m6502)
EMU6502_TRANSLATE_RUN(Chip::m6502x)
EMU6502_TRANSLATE_RUN(Chip::m65c02)
#undef EMU6502_TRANSLATE_RUN
