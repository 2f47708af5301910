// The driver's run loop against the plainest loop there is: cpu_step, the
// trace test, the stop test and the instruction limit after every
// instruction. The run loop takes short cuts (threaded code in plain RAM,
// tests only after the instructions that can need them, one register for
// the instruction and cycle counters); whatever a program does, both must
// leave the same registers, memory, counters and trace lines.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "cpu_fixture.hpp"
#include "bus/devices.hpp"
#include "cpu/threaded.hpp"
#include "monitor/history.hpp"
#include "engine/observer_pair.hpp"
#include "engine/run_loop.hpp"
#include "engine/trace.hpp"
#include "inspect/check_observer.hpp"
#include "inspect/checker.hpp"

namespace cpu_test {
namespace {

using Bytes = std::vector<u8>;

// A program: pieces of memory, where it starts, and how it is run.
struct Piece {
    u16 at;
    Bytes bytes;
};

struct RunRow {
    const char* name;
    std::vector<Piece> pieces;
    const char* image = nullptr;  // a program of tests/programs, loaded at 0x0200
    u16 start = ORIGIN;
    std::optional<std::uint64_t> max_instructions{};
    bool trace_always = false;
};
void PrintTo(const RunRow& c, std::ostream* os) { *os << c.name; }

Bytes read_program(const char* name) {
    std::ifstream in(std::string(EMU6502_SOURCE_DIR) + "/tests/programs/" + name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void prepare(const RunRow& row) {
    memory.fill(0xEE);
    cpu = Cpu{};
    cpu.sp = 0xFD;
    cpu.status = FLAG_CONSTANT | FLAG_I;  // no timer interrupt can be taken
    memory[0xFFFE] = 0x00;                // BRK goes to 0x0000 and ends the run
    memory[0xFFFF] = 0x00;
    memory[TRACE_CTL] = 0x00;
    if (row.image != nullptr) {
        Bytes image = read_program(row.image);
        ASSERT_FALSE(image.empty()) << row.image;
        if (std::string(row.image).starts_with("bench")) image[3] = 1;  // one round
        for (std::size_t i = 0; i < image.size(); ++i) memory[ORIGIN + i] = image[i];
    }
    for (const Piece& piece : row.pieces) {
        u16 at = piece.at;
        for (const u8 b : piece.bytes) memory[at++] = b;
    }
    cpu.pc = row.start;
}

// Standard error (the trace) and standard output (the console) of `run`;
// the output is dropped.
template <typename F>
std::string trace_of(F run) {
    std::fflush(stdout);
    std::fflush(stderr);
    std::FILE* err = std::tmpfile();
    std::FILE* out = std::tmpfile();
    const int saved_err = dup(2);
    const int saved_out = dup(1);
    dup2(fileno(err), 2);
    dup2(fileno(out), 1);
    run();
    std::fflush(stdout);
    std::fflush(stderr);
    dup2(saved_err, 2);
    dup2(saved_out, 1);
    close(saved_err);
    close(saved_out);
    std::string text;
    std::rewind(err);
    for (int ch; (ch = std::fgetc(err)) != EOF;) text.push_back(static_cast<char>(ch));
    std::fclose(err);
    std::fclose(out);
    return text;
}

RunOutcome reference_run(const RunSettings& settings) {
    RunOutcome outcome;
    const std::uint64_t limit = settings.max_instructions.value_or(UINT64_MAX);
    if (limit == 0) {
        outcome.end = RunEnd::instruction_limit;
        return outcome;
    }
    for (;;) {
        const u32 cycles = cpu_step();
        if (settings.count_cycles) outcome.cycles += cycles;
        ++outcome.instructions;
        if (settings.trace_always || memory[TRACE_CTL] == 1) print_trace_line();
        if (cpu.pc == 0x0000) break;
        if (outcome.instructions == limit) {
            outcome.end = RunEnd::instruction_limit;
            break;
        }
    }
    return outcome;
}

struct Result {
    RunOutcome outcome;
    std::string trace;
    Cpu registers;
    std::array<u8, 0x10000> memory_after;
    std::vector<std::tuple<u16, u16, u8, u8, std::uint64_t, std::uint64_t>> calls;  // as an observer was told them
};

// The observers below start from one that looks at nothing and stops
// nowhere, with the threaded code's tables empty.
class QuietObserver : public RunObserver {
public:
    QuietObserver() {
        observed.break_at.fill(0);
        observed.watch_page.fill(0);
        observed.watch_any = false;
    }
    unsigned threaded_checks() const override { return 0; }
    bool one_at_a_time() const override { return false; }
    ObserverStop stop_at_start() override { return {}; }
    const char* stop_before() override { return nullptr; }
    void step_before() override {}
    void step_after(std::uint16_t, std::uint32_t) override {}
    void interrupt_taken() override {}
    void timer_request() override {}
    std::uint64_t stop_count() const override { return UINT64_MAX; }
    ObserverStop stop_due(const RunCounts&) override { return {}; }
    bool stops_at_halt() const override { return false; }
    const char* stop_at_end() override { return nullptr; }
    void converse(const char*, const RunCounts&) override {}
};

// An observer that looks at everything and stops nowhere: the observed
// copies of the threaded code with all their checks on, empty tables, and
// the profile counted (by the engine, threaded or not). With `calls`, the
// copy that counts alone, its calls and returns noted as told; with
// `stepping`, every instruction one at a time instead.
class CountingObserver final : public QuietObserver {
public:
    explicit CountingObserver(bool calls, bool stepping = false) : calls_(calls), stepping_(stepping) {
        observed_counts_clear();
    }
    unsigned threaded_checks() const override {
        return calls_ ? observe::PROFILE | observe::CALLS : observe::BREAKS | observe::WATCHES | observe::PROFILE;
    }
    bool one_at_a_time() const override { return stepping_; }
    void call_ran(const CallRan& call) override {
        told.push_back({call.pc, call.to, call.opcode, call.sp, call.instructions, call.cycles});
    }
    std::vector<std::tuple<u16, u16, u8, u8, std::uint64_t, std::uint64_t>> told;

private:
    bool calls_, stepping_;
};

class RunLoop : public CpuTableTest<RunRow> {};

TEST_P(RunLoop, MatchesStepByStepExecution) {
    const RunRow& row = GetParam();
    // The deterministic loop cuts runs by cycles instead; with I set, its
    // timer changes nothing either.
    // An observer that stops nowhere changes nothing either, and its
    // profile counts every instruction and cycle.
    // The translating core, where the build has it, in each of the ways
    // the run loop counts.
    enum class Loop {
        plain, counting, deterministic, observed, observed_deterministic, observed_calls,
        translated, translated_counting, translated_deterministic
    };
    for (const Loop loop :
         {Loop::plain, Loop::counting, Loop::deterministic, Loop::observed, Loop::observed_deterministic,
          Loop::observed_calls, Loop::translated, Loop::translated_counting, Loop::translated_deterministic}) {
        const bool count_cycles = loop != Loop::plain && loop != Loop::translated;
        const bool observing = loop == Loop::observed || loop == Loop::observed_deterministic || loop == Loop::observed_calls;
        SCOPED_TRACE(loop == Loop::plain      ? "without cycles counted"
                     : loop == Loop::counting ? "with cycles counted"
                     : observing              ? "observed"
                     : loop >= Loop::translated ? "translated"
                                              : "deterministic");
        RunSettings settings;
        settings.count_cycles = count_cycles;
        settings.deterministic.on = loop == Loop::deterministic || loop == Loop::observed_deterministic ||
                                    loop == Loop::translated_deterministic;
        settings.translate = loop >= Loop::translated;
        settings.trace_always = row.trace_always;
        settings.max_instructions = row.max_instructions;

        auto run = [&](bool reference) {
            Result r;
            prepare(row);
            r.trace = trace_of([&] {
                // No timer interrupt: the deadline never comes.
                if (reference) {
                    r.outcome = reference_run(settings);
                } else if (observing) {
                    CountingObserver observer(loop == Loop::observed_calls);
                    r.outcome = run_machine(INT64_MAX, settings, &observer);
                    r.calls = observer.told;
                } else {
                    r.outcome = run_machine(INT64_MAX, settings);
                }
            });
            r.registers = cpu;
            r.memory_after = memory;
            return r;
        };
        const Result expected = run(true);
        const Result actual = run(false);

        EXPECT_EQ(actual.outcome.end, expected.outcome.end);
        EXPECT_EQ(actual.outcome.instructions, expected.outcome.instructions);
        // Cycles are a figure of the outcome only when asked for.
        if (count_cycles) {
            EXPECT_EQ(actual.outcome.cycles, expected.outcome.cycles);
        }
        EXPECT_EQ(actual.registers.instruction_count, expected.registers.instruction_count);
        EXPECT_EQ(actual.registers.pc, expected.registers.pc);
        EXPECT_EQ(actual.registers.sp, expected.registers.sp);
        EXPECT_EQ(actual.registers.a, expected.registers.a);
        EXPECT_EQ(actual.registers.x, expected.registers.x);
        EXPECT_EQ(actual.registers.y, expected.registers.y);
        EXPECT_EQ(actual.registers.status, expected.registers.status);
        EXPECT_TRUE(actual.memory_after == expected.memory_after);
        EXPECT_EQ(actual.trace, expected.trace);
        EXPECT_GT(expected.outcome.instructions, 0u);
        if (observing) {
            std::uint64_t counted = 0, cycles = 0;
            for (std::size_t address = 0; address < 0x10000; ++address) {
                counted += observed.counts[address];
                cycles += observed.cycles[address];
            }
            EXPECT_EQ(counted, expected.outcome.instructions);
            EXPECT_EQ(cycles, expected.outcome.cycles);
            EXPECT_EQ(observed.instructions_counted, counted);
            EXPECT_EQ(observed.cycles_counted, cycles);
        }
        if (loop == Loop::observed_calls) {
            // The same counts, branches taken and calls when every instruction runs alone.
            const auto counts = observed.counts;
            const auto taken = observed.taken;
            prepare(row);
            CountingObserver stepping(true, true);
            (void)trace_of([&] { (void)run_machine(INT64_MAX, settings, &stepping); });
            EXPECT_TRUE(observed.counts == counts);
            EXPECT_TRUE(observed.taken == taken);
            EXPECT_EQ(actual.calls, stepping.told);
        }
    }
}

// NOPs from `from` up to (not including) `to`.
Piece nops(u16 from, u16 to) { return {from, Bytes(static_cast<std::size_t>(to - from), 0xEA)}; }

// LDX #0; loop: TXA; AND #3; STA $FF03 (trace on when 1); STX $FF04 (a
// device write that leaves the trace alone); INX; BNE loop; JMP $0000.
const Bytes toggle_trace = {0xA2, 0x00, 0x8A, 0x29, 0x03, 0x8D, 0x03, 0xFF, 0x8E,
                            0x04, 0xFF, 0xE8, 0xD0, 0xF4, 0x4C, 0x00, 0x00};

// Pushes 0x0300 and a status of 0x00, then RTI there: PHP; PLA; STA $10;
// JMP $0000. The constant bit is clear until the next opcode fetch.
const std::vector<Piece> rti_status_zero = {
    {ORIGIN, {0xA9, 0x03, 0x48, 0xA9, 0x00, 0x48, 0xA9, 0x00, 0x48, 0x40}},
    {0x0300, {0x08, 0x68, 0x85, 0x10, 0x4C, 0x00, 0x00}},
};

// LDX #$10; JSR $FEF8; JMP $0000, and at $FEF8: DEX; BNE $FEF8; RTS.
const std::vector<Piece> subroutine_at_the_top = {
    {ORIGIN, {0xA2, 0x10, 0x20, 0xF8, 0xFE, 0x4C, 0x00, 0x00}},
    {0xFEF8, {0xCA, 0xD0, 0xFD, 0x60}},
};

// A loop whose branch and indexed loads cross pages: at $02F8,
// LDY #0; loop: LDA $12F0,Y; ADC $13FF,Y; STA $2000,Y; INY; BNE loop
// (back across the page); JMP $0000.
const std::vector<Piece> page_crossings = {
    {ORIGIN, {0x4C, 0xF8, 0x02}},
    {0x02F8, {0xA0, 0x00, 0xB9, 0xF0, 0x12, 0x79, 0xFF, 0x13, 0x99, 0x00, 0x20, 0xC8, 0xD0, 0xF4, 0x4C, 0x00, 0x00}},
};

const RunRow run_rows[] = {
    {"instruction_mix", {}, "bench_mix.bin"},
    {"indexed_memory", {}, "bench_memory.bin"},
    {"self_test", {}, "selftest.bin"},
    // Straight on through several polls into the last bytes below the
    // device page, where the trace is switched on and the run ends.
    {"straight_on_to_the_device_page",
     {{ORIGIN, {0x4C, 0x00, 0xFC}}, nops(0xFC00, 0xFEF8), {0xFEF8, {0xA9, 0x01, 0x8D, 0x03, 0xFF, 0x4C, 0x00, 0x00}}}},
    {"trace_switched_by_the_program", {{ORIGIN, toggle_trace}}},
    {"trace_always", {{ORIGIN, toggle_trace}}, nullptr, ORIGIN, std::nullopt, true},
    {"limit_of_one", {{ORIGIN, toggle_trace}}, nullptr, ORIGIN, 1},
    {"limit_at_a_poll", {{ORIGIN, toggle_trace}}, nullptr, ORIGIN, 128},
    {"limit_after_a_poll", {{ORIGIN, toggle_trace}}, nullptr, ORIGIN, 129},
    {"limit_inside_the_trace", {{ORIGIN, toggle_trace}}, nullptr, ORIGIN, 1000},
    {"rti_pulls_a_clear_constant_bit", rti_status_zero},
    {"rti_traced", rti_status_zero, nullptr, ORIGIN, std::nullopt, true},
    {"subroutine_below_the_device_page", subroutine_at_the_top},
    {"page_crossings", page_crossings},
    {"brk_through_the_zero_vector", {{ORIGIN, {0xA9, 0x05, 0xE8, 0x00}}}},
    // JMP $0005; LDX #1; BNE to 0x0000, where two INX would follow.
    {"branch_to_zero", {{ORIGIN, {0x4C, 0x05, 0x00}}, {0x0000, {0xE8, 0xE8}}, {0x0005, {0xA2, 0x01, 0xD0, 0xF7}}}},
    // LDA #$FF; PHA; PHA; RTS to 0xFFFF + 1.
    {"return_to_zero", {{ORIGIN, {0xA9, 0xFF, 0x48, 0x48, 0x60}}, {0x0000, {0xE8, 0xE8}}}},
    {"first_instruction_at_zero", {{0x0000, {0xE8, 0xE8, 0x4C, 0x00, 0x00}}}, nullptr, 0x0000},
    {"straight_on_past_ffff_to_zero",
     {{ORIGIN, {0x4C, 0xF0, 0xFF}}, nops(0xFFF0, 0xFFFF), {0xFFFF, {0xEA}}}},
};

INSTANTIATE_TEST_SUITE_P(Programs, RunLoop, ::testing::ValuesIn(run_rows), RowName{});

// ---- the history log against a run one instruction at a time -----------

// A random program for `chip` at ORIGIN, looping: opcodes that keep to
// plain RAM (data at 0x3000-0x7FFF, the zero page and the stack; branches
// that go on either way), BRK and the timer's interrupts going to an RTI.
void random_program(Chip chip, unsigned seed) {
    std::mt19937 random(seed);
    for (std::size_t address = 0; address < 0xFF00; ++address) memory[address] = static_cast<u8>(random());
    u16 at = ORIGIN;
    while (at < 0x2F00) {
        const u8 opcode = static_cast<u8>(random());
        const OpcodeEntry entry = opcode_grid_of(chip)[opcode];
        switch (entry.op) {
        case Op::JMP: case Op::JSR: case Op::RTS: case Op::RTI: case Op::JAM: case Op::STP: case Op::WAI:
        case Op::SHA: case Op::SHX: case Op::SHY: case Op::TAS: continue;  // away from plain RAM, or stopped
        default: break;
        }
        const u16 data = static_cast<u16>(0x3000 + random() % 0x4E00);
        switch (entry.mode) {
        case Mode::imp: case Mode::acc: break;
        case Mode::imm: case Mode::zp: case Mode::zpx: case Mode::zpy: memory[at + 1] = static_cast<u8>(random()); break;
        case Mode::rel: memory[at + 1] = 0; break;
        case Mode::zpr: memory[at + 1] = static_cast<u8>(random()), memory[at + 2] = 0; break;
        case Mode::abs: case Mode::abx: case Mode::aby:
            memory[at + 1] = static_cast<u8>(data), memory[at + 2] = static_cast<u8>(data >> 8);
            break;
        default: continue;  // pointers, which lie anywhere
        }
        memory[at] = opcode;
        at = static_cast<u16>(at + 1 + operand_bytes(entry.mode) + (entry.op == Op::BRK ? 1 : 0));
    }
    for (const u8 b : {u8{0x4C}, u8{ORIGIN & 0xFF}, u8{ORIGIN >> 8}}) memory[at++] = b;
    memory[0x2F80] = 0x40;
    memory[0xFFFE] = 0x80;
    memory[0xFFFF] = 0x2F;
}

struct HistoryRow {
    const char* name;
    Chip chip;
    unsigned seed;
    unsigned checks;  // the observed copies the history is kept in
    bool deterministic;  // with the timer's interrupts, in cycles
    std::uint64_t instructions;
};
void PrintTo(const HistoryRow& c, std::ostream* os) { *os << c.name; }

// Notes the history as the monitor does with hist on: in the threaded code
// (`checks`), or one instruction at a time, noting each with its registers
// (the reference).
class HistoryObserver final : public QuietObserver {
public:
    HistoryObserver(unsigned checks, std::vector<HistoryLine>* reference) : checks_(checks), reference_(reference) {
        history_clear();
    }
    unsigned threaded_checks() const override { return checks_; }
    bool one_at_a_time() const override { return reference_ != nullptr; }
    void step_before() override {
        if (reference_ != nullptr) reference_->push_back(now(false, bus_peek(cpu.pc)));
        else history_note_instruction();
    }
    void interrupt_taken() override {
        if (reference_ != nullptr) reference_->push_back(now(true, 0));
        else history_note_interrupt();
    }

private:
    static HistoryLine now(bool interrupt, u8 opcode) {
        return {interrupt, cpu.pc, opcode, cpu.a, cpu.x, cpu.y, cpu.sp, cpu.status};
    }
    unsigned checks_;
    std::vector<HistoryLine>* reference_;
};

std::string text_of(const HistoryLine& line) {
    char text[64];
    std::snprintf(text, sizeof text, "%s%04X op %02X A=%02X X=%02X Y=%02X SP=%02X P=%02X",
                  line.interrupt ? "interrupt to " : "", line.pc, line.interrupt ? 0 : line.opcode, line.a, line.x,
                  line.y, line.sp, line.status);
    return text;
}

class History : public CpuTableTest<HistoryRow> {};

// What hist reads back from the log is, entry for entry, what a run one
// instruction at a time saw before each instruction and interrupt.
TEST_P(History, ReadsBackTheRegistersOfEveryInstruction) {
    const HistoryRow& row = GetParam();
    RunSettings settings;
    settings.deterministic.on = row.deterministic;
    settings.count_cycles = row.deterministic;
    settings.max_instructions = row.instructions;
    auto run = [&](std::vector<HistoryLine>* reference) {
        clean_machine(row.chip);
        random_program(row.chip, row.seed);
        cpu.pc = ORIGIN;
        cpu.sp = 0xFD;
        cpu.status = FLAG_CONSTANT;
        HistoryObserver observer(row.checks, reference);
        (void)trace_of([&] { (void)run_machine(INT64_MAX, settings, &observer); });
    };
    std::vector<HistoryLine> expected;
    run(&expected);
    run(nullptr);
    std::vector<std::string> read;
    (void)history_replay(history::SIZE, row.chip, [&](const HistoryLine& line) { read.push_back(text_of(line)); });

    ASSERT_LE(read.size(), expected.size());
    // Every instruction while the ring holds them; then nearly its size.
    EXPECT_GE(read.size(), std::min<std::size_t>(expected.size(), 60000));
    const std::size_t skipped = expected.size() - read.size();
    if (row.deterministic) {
        EXPECT_TRUE(std::any_of(expected.begin(), expected.end(), [](const HistoryLine& l) { return l.interrupt; }));
    }
    for (std::size_t i = 0; i < read.size(); ++i)
        ASSERT_EQ(read[i], text_of(expected[skipped + i])) << "entry " << i << " of " << read.size();
}

using namespace observe;
const HistoryRow history_rows[] = {
    {"history_alone", Chip::m6502, 1, HISTORY, false, 5000},
    {"history_alone_interrupts", Chip::m6502, 2, HISTORY, true, 20000},
    {"with_breakpoints_and_watchpoints", Chip::m6502, 3, BREAKS | WATCHES | HISTORY, true, 20000},
    {"with_the_profile", Chip::m6502, 4, BREAKS | WATCHES | PROFILE | HISTORY, true, 20000},
    {"nmos_chip", Chip::m6502x, 5, HISTORY, true, 20000},
    {"nmos_chip_without_cycles", Chip::m6502x, 6, HISTORY, false, 20000},
    {"c02", Chip::m65c02, 7, HISTORY, true, 20000},
    {"c02_with_breakpoints", Chip::m65c02, 8, BREAKS | WATCHES | HISTORY, true, 20000},
    {"after_the_ring_wrapped", Chip::m6502, 9, HISTORY, true, 150000},
};
INSTANTIATE_TEST_SUITE_P(RandomPrograms, History, ::testing::ValuesIn(history_rows), RowName{});

// ---- the checks in threaded code against them one instruction at a time --

struct CheckRow {
    const char* name;
    Chip chip;
    unsigned seed;
    bool deterministic;  // with the timer's interrupts, in cycles
};
void PrintTo(const CheckRow& c, std::ostream* os) { *os << c.name; }

// Makes every instruction go one at a time, beside the checker.
class SteppingObserver final : public QuietObserver {
public:
    bool one_at_a_time() const override { return true; }
};

class ThreadedChecks : public CpuTableTest<CheckRow> {};

// --check's threaded copy hands back only what may be a fault: its reports
// (reads of bytes only its stores wrote, protected writes, stack wraps) are
// those of a run that shows the checker every instruction.
TEST_P(ThreadedChecks, ReportAsOneAtATime) {
    const CheckRow& row = GetParam();
    RunSettings settings;
    settings.deterministic.on = row.deterministic;
    settings.count_cycles = row.deterministic;
    settings.max_instructions = 30000;
    auto run = [&](bool stepping) {
        clean_machine(row.chip);
        random_program(row.chip, row.seed);
        cpu.pc = ORIGIN;
        cpu.sp = 0xFD;
        cpu.status = FLAG_CONSTANT;
        CheckSettings check;
        check.kinds.set(CheckKind::undocumented, false);  // the 6502's many NOPs would fill the reports
        check.protect.push_back({0x5000, 0x50FF});
        Checker checker(check);
        checker.mark_written(0, 0x2F81);       // page zero, the stack, the program and its RTI
        checker.mark_written(0x3000, 0x4C00);  // the data but for 0x7C00-0x7DFF
        checker.mark_written(0xFFFC, 4);
        CheckObserver observer(checker, false);
        SteppingObserver steps;
        ObserverPair pair(observer, steps);
        (void)trace_of([&] { (void)run_machine(INT64_MAX, settings, stepping ? static_cast<RunObserver*>(&pair) : &observer); });
        std::vector<std::string> reports;
        for (const CheckFinding& finding : checker.findings()) reports.push_back(finding.report);
        reports.push_back(std::to_string(checker.unreported()) + " unreported");
        return reports;
    };
    const std::vector<std::string> stepped = run(true);
    ASSERT_GT(stepped.size(), 10u) << "faults to find";
    EXPECT_EQ(run(false), stepped);
}

const CheckRow check_rows[] = {
    {"nmos", Chip::m6502, 11, false},
    {"nmos_interrupts", Chip::m6502, 12, true},
    {"nmos_undocumented", Chip::m6502x, 13, true},
    {"c02", Chip::m65c02, 14, true},
};
INSTANTIATE_TEST_SUITE_P(RandomPrograms, ThreadedChecks, ::testing::ValuesIn(check_rows), RowName{});

// ---- steps backwards against a run that never goes back ------------------

// The machine as a step back must give it back: memory, registers, the
// counts, the random generator and the calendar.
std::string machine_digest(const RunCounts& counts) {
    std::uint64_t hash = 14695981039346656037ull;
    for (const u8 byte : memory) hash = (hash ^ byte) * 1099511628211ull;
    char text[160];
    std::snprintf(text, sizeof text, "#%llu cycles %llu pc %04X A=%02X X=%02X Y=%02X SP=%02X P=%02X mem %016llx rnd %016llx t %lld",
                  static_cast<unsigned long long>(counts.instructions), static_cast<unsigned long long>(counts.cycles),
                  cpu.pc, cpu.a, cpu.x, cpu.y, cpu.sp, cpu.status, static_cast<unsigned long long>(hash),
                  static_cast<unsigned long long>(random_state()), static_cast<long long>(rtc_virtual_time()));
    return text;
}

// Stops at each count of a plan in turn, going forward or back as the
// count asks, and notes the machine at each.
class PlanObserver final : public QuietObserver {
public:
    PlanObserver(std::vector<std::uint64_t> plan, unsigned checks) : plan_(std::move(plan)), checks_(checks) {}
    unsigned threaded_checks() const override { return checks_; }
    ObserverStop stop_at_start() override { return {true, nullptr}; }
    std::uint64_t stop_count() const override { return next_ < plan_.size() ? plan_[next_] : UINT64_MAX; }
    ObserverStop stop_due(const RunCounts& counts) override { return {counts.instructions == stop_count(), nullptr}; }
    bool keeps_past() const override { return true; }
    RewindRequest rewind_asked() override {
        if (next_ < plan_.size() && plan_[next_] < now_) return {RewindRequest::Kind::to_count, plan_[next_]};
        return {};
    }
    void converse(const char*, const RunCounts& counts) override {
        now_ = counts.instructions;
        if (next_ > 0 || now_ != 0) {  // the start is no stop of the plan
            seen.push_back(machine_digest(counts));
            ++next_;
        }
    }

    std::vector<std::string> seen;

private:
    std::vector<std::uint64_t> plan_;
    unsigned checks_;
    std::size_t next_ = 0;
    std::uint64_t now_ = 0;
};

struct BackRow {
    const char* name;
    Chip chip;
    unsigned seed;
    unsigned checks;  // the observed copies the run goes through
};
void PrintTo(const BackRow& c, std::ostream* os) { *os << c.name; }

class StepsBack : public CpuTableTest<BackRow> {};

// Forward and back and forward again over timer interrupts that read the
// random byte, across the intervals at which states are kept: every stop
// finds the machine exactly as a run that never went back had it.
TEST_P(StepsBack, GiveBackTheMachineAsItWas) {
    const BackRow& row = GetParam();
    const std::vector<std::uint64_t> plan = {1000, 50000, 20000, 70000, 69999, 33000, 100000, 1, 99000, 120000, 32768, 32767};
    auto run = [&](const std::vector<std::uint64_t>& stops) {
        clean_machine(row.chip);
        random_program(row.chip, row.seed);
        // The timer's handler: LDA RANDOM; STA $3000; INC $3001; RTI.
        const Bytes handler = {0xAD, 0x02, 0xFF, 0x8D, 0x00, 0x30, 0xEE, 0x01, 0x30, 0x40};
        std::copy(handler.begin(), handler.end(), memory.begin() + 0x2F80);
        cpu.pc = ORIGIN;
        cpu.sp = 0xFD;
        cpu.status = FLAG_CONSTANT;
        random_seed(row.seed);
        RunSettings settings;
        settings.deterministic.on = true;
        settings.count_cycles = true;
        settings.max_instructions = 130000;
        PlanObserver observer(stops, row.checks);
        (void)trace_of([&] { (void)run_machine(INT64_MAX, settings, &observer); });
        return observer.seen;
    };
    std::vector<std::uint64_t> forward = plan;
    std::sort(forward.begin(), forward.end());
    const std::vector<std::string> straight = run(forward);
    ASSERT_EQ(straight.size(), forward.size());
    const std::vector<std::string> stepped = run(plan);
    ASSERT_EQ(stepped.size(), plan.size());
    for (std::size_t i = 0; i < plan.size(); ++i) {
        const auto at = std::find(forward.begin(), forward.end(), plan[i]) - forward.begin();
        EXPECT_EQ(stepped[i], straight[static_cast<std::size_t>(at)]) << "stop " << i << ", at #" << plan[i];
    }
}

const BackRow back_rows[] = {
    {"plain_threaded_code", Chip::m6502, 11, 0},
    {"with_breakpoint_checks", Chip::m6502, 12, BREAKS},
    {"with_the_history", Chip::m6502, 13, HISTORY},
    {"nmos_chip", Chip::m6502x, 14, 0},
    {"c02", Chip::m65c02, 15, 0},
};
INSTANTIATE_TEST_SUITE_P(RandomPrograms, StepsBack, ::testing::ValuesIn(back_rows), RowName{});

}  // namespace
}  // namespace cpu_test
