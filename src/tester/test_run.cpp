#include "tester/test_run.hpp"

#include <algorithm>
#include <cstdio>

#include "bus/devices.hpp"
#include "cpu/cpu.hpp"
#include "engine/observer_pair.hpp"
#include "engine/replay.hpp"
#include "host/clock.hpp"
#include "tester/test_check.hpp"
#include "tester/test_observer.hpp"

namespace tester {
namespace {
constexpr u8 RTS = 0x60, RTI = 0x40;
constexpr u16 RETURNS_TO_ZERO = 0xFFFF;  // RTS adds one: the run ends at $0000
constexpr std::uint64_t START_UP_LIMIT = 10'000'000;
constexpr std::size_t OUTPUT_KEPT = 1 << 16;

RunSettings test_settings(std::uint64_t cycle_limit) {
    RunSettings settings;
    settings.count_cycles = true;
    settings.deterministic.on = true;
    settings.deterministic.start_time = DEFAULT_START_TIME;
    // Every instruction takes two cycles at least: a backstop under the
    // observer's own limit.
    settings.max_instructions = cycle_limit;
    return settings;
}

void write_word(u16 address, u16 value) {
    memory[address] = static_cast<u8>(value);
    memory[static_cast<u16>(address + 1)] = static_cast<u8>(value >> 8);
}

void write_data_file(const DataFile& file) {
    if (std::FILE* f = std::fopen(file.name.c_str(), "wb")) {
        if (!file.bytes.empty()) (void)std::fwrite(file.bytes.data(), 1, file.bytes.size(), f);
        (void)std::fclose(f);
    }
}

std::int64_t as_c_value(std::uint32_t value, std::uint32_t size, bool is_signed) {
    const std::uint32_t bits = size * 8;
    const std::uint64_t mask = (std::uint64_t{1} << bits) - 1;
    const std::uint64_t v = value & mask;
    if (is_signed && (v >> (bits - 1)) != 0) return static_cast<std::int64_t>(v) - static_cast<std::int64_t>(mask + 1);
    return static_cast<std::int64_t>(v);
}
}  // namespace

TestMachine::TestMachine(const LoadedFile& loaded, FreshMemory fresh, TestWatch* watch) : loaded_(loaded), watch_(watch) {
    output_.reserve(OUTPUT_KEPT);
    cpu_select(loaded.file.chip);
    fresh();
    std::copy(loaded.image.begin(), loaded.image.end(), memory.begin() + loaded.file.load_address);
    base_ = memory;
    RunObserver* const extra = watch_ != nullptr ? watch_->file_start(loaded) : nullptr;
    const debug_info::DebugInfo* debug = loaded.debug.get();
    if (debug == nullptr) return;
    const auto c_sp = debug->c_stack_pointer();
    const auto main = debug->function("main");
    if (!c_sp || !main) return;
    // A C program: its start-up runs up to main (the C stack set, BSS
    // zeroed, constructors run), and every test starts from there.
    has_c_stack_ = true;
    const debug_info::Symbol* top = debug->symbol("__STACKTOP__");
    c_stack_top_ = top != nullptr && top->value ? static_cast<u16>(*top->value) : 0xFF00;
    const debug_info::Symbol* sreg = debug->symbol("sreg");
    sreg_ = sreg != nullptr && sreg->value ? static_cast<u16>(*sreg->value) : static_cast<u16>(*c_sp + 2);
    Test start_up;
    start_up.name = "start-up";
    start_up.target.kind = Target::Kind::range;
    start_up.target.address = read_word(RESET_VECTOR);
    start_up.target.end = static_cast<u16>(main->entry);
    start_up.cycle_limit = START_UP_LIMIT;
    const RunSettings settings = prepare(start_up);
    TestObserver observer(start_up, loaded.file.load_address,
                          loaded.file.load_address + static_cast<std::uint32_t>(loaded.image.size()), false);
    const RunOutcome outcome = run_watched(settings, observer, extra);
    console_capture(nullptr);
    (void)data_file_close();
    const std::string fired = watch_ != nullptr ? watch_->test_end() : std::string();
    if (observer.stopped() != RunStop::range_end || outcome.end != RunEnd::program_ended || !fired.empty()) {
        error_ = "the C start-up did not reach main";
        if (!fired.empty()) error_ = "in the C start-up, " + fired.substr(0, fired.size() - 1);
        return;
    }
    write_word(*c_sp, c_stack_top_);
    base_ = memory;
}

RunSettings TestMachine::prepare(const Test& test) {
    memory = base_;
    cpu.a = cpu.x = cpu.y = 0;
    cpu.sp = 0xFF;
    cpu.status = FLAG_I | FLAG_CONSTANT;
    cpu.pause = Pause::none;
    random_seed(DEFAULT_SEED);
    data_file_init();
    console_init(false);
    keys_.clear();
    for (const u8 key : test.setup.keys) keys_.push_back({0, key});
    console_key_source(KeySource::script);
    console_script_keys(keys_);
    output_.clear();
    console_capture(&output_);
    for (const DataFile& file : test.setup.files) write_data_file(file);

    const MachineValues& values = test.setup.values;
    for (const MemoryBytes& m : values.memory) {
        std::copy(m.bytes.begin(), m.bytes.end(), memory.begin() + m.address);
        wrote(m.address, m.bytes.size());
    }
    u8* const regs[] = {&cpu.a, &cpu.x, &cpu.y, &cpu.sp};
    for (std::size_t i = 0; i < values.registers.size(); ++i)
        if (values.registers[i]) *regs[i] = *values.registers[i];
    cpu.status = static_cast<u8>((cpu.status | values.flags_set) & ~values.flags_clear);
    const u8 sp_before_pushes = cpu.sp;
    for (const u8 b : test.setup.stack) stack_push_byte(b);

    const Target& target = test.target;
    switch (target.kind) {
    case Target::Kind::routine: stack_push_word(RETURNS_TO_ZERO); break;
    case Target::Kind::interrupt:
        // As the processor enters a handler: pc and status (B clear) pushed, I set.
        stack_push_word(0x0000);
        stack_push_byte(static_cast<u8>((cpu.status | FLAG_CONSTANT) & ~FLAG_B));
        cpu.status |= FLAG_I;
        break;
    case Target::Kind::range: break;
    case Target::Kind::call: {
        // cc65's convention: arguments pushed left to right on the C stack,
        // the last one in A/X (and sreg for a long); the callee pops them.
        const auto c_sp = loaded_.debug->c_stack_pointer();
        u16 sp = c_stack_top_;
        const std::vector<CArgument>& arguments = target.call.arguments;
        for (std::size_t i = 0; i + 1 < arguments.size(); ++i) {
            sp = static_cast<u16>(sp - arguments[i].size);
            for (std::uint32_t b = 0; b < arguments[i].size; ++b)
                memory[static_cast<u16>(sp + b)] = static_cast<u8>(static_cast<std::uint64_t>(arguments[i].value) >> (8 * b));
        }
        wrote(sp, static_cast<u16>(c_stack_top_ - sp));
        if (c_sp) write_word(*c_sp, sp);
        if (!arguments.empty()) {
            const auto last = static_cast<std::uint32_t>(arguments.back().value);
            cpu.a = static_cast<u8>(last);
            cpu.x = arguments.back().size >= 2 ? static_cast<u8>(last >> 8) : 0;
            if (arguments.back().size == 4) {
                write_word(sreg_, static_cast<u16>(last >> 16));
                wrote(sreg_, 2);
            }
        }
        stack_push_word(RETURNS_TO_ZERO);
        break;
    }
    }
    // What was pushed, from the stack's setup on.
    for (u8 s = cpu.sp; s != sp_before_pushes;) wrote(static_cast<u16>(0x100 | ++s), 1);
    cpu.pc = target.address;
    return test_settings(test.cycle_limit);
}

RunOutcome TestMachine::run_watched(const RunSettings& settings, TestObserver& observer, RunObserver* extra) {
    const std::uint64_t deadline = host_clock_ms() + TIMER_PERIOD_MS;
    if (extra == nullptr) return run_machine(deadline, settings, &observer);
    ObserverPair pair(observer, *extra);
    return run_machine(deadline, settings, &pair);
}

TestOutcome TestMachine::run(const Test& test) {
    TestOutcome result;
    if (test.skip) {
        result.status = Status::skipped;
        result.skip_reason = *test.skip;
        return result;
    }
    RunObserver* const extra = watch_ != nullptr ? watch_->test_start() : nullptr;
    const RunSettings settings = prepare(test);
    const std::uint32_t code_from = loaded_.file.load_address;
    const std::uint32_t code_to = code_from + static_cast<std::uint32_t>(loaded_.image.size());
    TestObserver observer(test, code_from, code_to, cpu_chip() == Chip::m6502, watch_);
    observer.start(cpu.sp);
    const u8 entry_sp = cpu.sp;
    const RunOutcome outcome = run_watched(settings, observer, extra);
    console_capture(nullptr);
    (void)data_file_close();
    result.cycles = outcome.cycles;
    // A check that fired fails the test, its report first; the run ended there.
    const std::string fired = watch_ != nullptr ? watch_->test_end() : std::string();
    if (!fired.empty()) {
        result.status = Status::failed;
        result.failures.push_back(fired.substr(0, fired.size() - 1));
    }
    if (observer.stopped() == RunStop::watcher) return result;

    const auto fail = [&result](std::string why) {
        result.status = Status::failed;
        result.failures.push_back(std::move(why));
        return result;
    };
    char where[96];
    if (observer.stopped() == RunStop::limit || outcome.end == RunEnd::instruction_limit) {
        std::snprintf(where, sizeof where, "stopped at the cycle limit (%llu) at $%04X: the target did not end",
                      static_cast<unsigned long long>(test.cycle_limit),
                      observer.stopped() == RunStop::limit ? observer.stop_pc() : cpu.pc);
        return fail(where);
    }
    if (observer.stopped() == RunStop::crash) return fail(observer.crash());
    if (outcome.end == RunEnd::halted) return fail(halt_text());
    if (outcome.end == RunEnd::signal) return fail("interrupted");
    const Target::Kind kind = test.target.kind;
    if (observer.stopped() != RunStop::range_end) {
        const bool returned = kind == Target::Kind::interrupt ? observer.last_opcode() == RTI && cpu.sp == entry_sp + 3
                                                              : observer.last_opcode() == RTS && cpu.sp == u8(entry_sp + 2);
        const bool to_the_end = kind == Target::Kind::range && test.target.end == 0;
        if (!to_the_end && (kind == Target::Kind::range || !returned)) {
            std::snprintf(where, sizeof where, "the program ended (pc reached $0000, last opcode $%02X) before the %s",
                          observer.last_opcode(),
                          kind == Target::Kind::range ? "range's end" : kind == Target::Kind::interrupt ? "handler's RTI" : "routine's RTS");
            return fail(where);
        }
    }
    Seen seen;
    seen.cycles = outcome.cycles;
    seen.output = &output_;
    if (kind == Target::Kind::call && test.target.call.result_size > 0) {
        const std::uint32_t value = cpu.a | cpu.x << 8 | static_cast<std::uint32_t>(memory[sreg_] | memory[static_cast<u16>(sreg_ + 1)] << 8) << 16;
        seen.returned = as_c_value(value, test.target.call.result_size, test.target.call.result_signed);
    }
    for (std::string& failure : check_expectations(test, observer, seen)) result.failures.push_back(std::move(failure));
    if (output_.size() == output_.capacity() && test.expect.output)
        result.failures.push_back("expect.output: the run wrote more than " + std::to_string(OUTPUT_KEPT) + " bytes");
    result.status = result.failures.empty() ? Status::passed : Status::failed;
    return result;
}

}  // namespace tester
