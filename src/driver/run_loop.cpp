#include "driver/run_loop.hpp"

#include <algorithm>

#include "bus/devices.hpp"
#include "cpu/cpu.hpp"
#include "cpu/dispatch.hpp"
#include "driver/trace.hpp"
#include "host/clock.hpp"
#include "host/terminal.hpp"

namespace {
// The host clock is read every CLOCK_POLL instructions rather than after
// each one: at emulation speed that is a small fraction of a millisecond,
// and in between, the last reading stands for the clock. The same
// countdown counts the instructions and brings the instruction limit.
constexpr std::uint64_t CLOCK_POLL = 128;
constexpr std::int64_t TIMER_PERIOD_MS = 10;

#ifdef EMU6502_ONE_RUN_LOOP
// Builds with the sanitizers compile the instruction set once, in cpu.cpp,
// and the loop hands its registers over for each instruction: the same
// instructions, far quicker to build instrumented.
u32 step(Cpu& c) {
    publish_registers(c);
    const u32 cycles = execute_instruction_on_cpu();
    take_registers(c);
    return cycles;
}
u32 step_in_ram(Cpu& c) { return step(c); }
#else
[[gnu::always_inline]] inline u32 step(Cpu& c) { return execute_instruction(c); }
[[gnu::always_inline]] inline u32 step_in_ram(Cpu& c) { return execute_instruction_in_ram(c); }
#endif

// Which copy of the loop: each of the first three is compiled for its
// settings; `any` reads them at run time, for builds where one copy is
// enough (the sanitizers make each copy slow to compile).
enum class LoopKind { plain, counting, tracing, any };

// The driver installs no step hook, so its loop is cpu_step without the
// hook test: fetch and execute, trace test, stop test, and the timer.
template <LoopKind KIND>
RunOutcome run(std::int64_t irq_deadline, const RunSettings& settings) {
    const bool count_cycles = KIND == LoopKind::counting || KIND == LoopKind::tracing ||
                              (KIND == LoopKind::any && settings.count_cycles);
    const bool trace_always = KIND == LoopKind::tracing || (KIND == LoopKind::any && settings.trace_always);
    // The registers live in a local copy while the loop runs, so that they
    // stay in host registers; `cpu` is brought up to date before anything
    // that looks at it (trace, interrupt, the end of the run).
    Cpu c = cpu;
    RunOutcome outcome;
    const std::uint64_t limit = settings.max_instructions.value_or(UINT64_MAX);
    std::uint64_t counted = 0;  // instructions before the current countdown
    auto next_poll_length = [&] { return std::min<std::uint64_t>(CLOCK_POLL, limit - counted); };
    if (limit == 0) {
        outcome.end = RunEnd::instruction_limit;
        return outcome;
    }
    std::uint64_t poll_length = next_poll_length();
    std::uint64_t countdown = poll_length;
    // An interrupt that sends the processor to 0x0000 does not end the run:
    // the instruction there runs first, and the stop test follows it.
    bool interrupted_to_zero = false;
    for (;;) {
        // One unsigned test over 0xFEFE-0xFFFF and 0x0000 serves two rare
        // cases: the stop test for the instruction just finished (pc
        // 0x0000) and an instruction whose bytes may touch the device page.
        // Everything else, nearly always, takes the plain RAM path.
        u32 step_cycles;
        if (static_cast<u16>(c.pc - FIRST_PC_NEAR_DEVICES) <= 0xFFFF - FIRST_PC_NEAR_DEVICES + 1) [[unlikely]] {
            if (c.pc == 0x0000) {
                const bool executed_any = counted != 0 || countdown != poll_length;
                if (executed_any && !interrupted_to_zero) break;
                interrupted_to_zero = false;
            }
            step_cycles = step(c);
        } else {
            step_cycles = step_in_ram(c);
        }
        if (count_cycles) outcome.cycles += step_cycles;
        if (trace_always || memory[TRACE_CTL] == 1) [[unlikely]] {
            publish_registers(c);
            print_trace_line();
        }
        if (--countdown == 0) [[unlikely]] {
            ++host_clock_polls;
            counted += poll_length;
            poll_length = countdown = next_poll_length();
            // The stop test comes first: a program that ends here has ended,
            // whatever the limit, a signal or the timer would say.
            if (c.pc == 0x0000) break;
            if (counted == limit) {
                outcome.end = RunEnd::instruction_limit;
                break;
            }
            if ((outcome.signal = host_stop_signal()) != 0) {
                outcome.end = RunEnd::signal;
                break;
            }
            // The deadline moves by exactly one period per request, so after
            // a stall the requests due follow one per instruction until it
            // has caught up; a request dropped because I is set is gone.
            const std::int64_t clock = host_clock_ms();
            if (clock >= irq_deadline) {
                irq_deadline += TIMER_PERIOD_MS;
                host_timer_tick(irq_deadline);
                publish_registers(c);
                cpu_irq();
                take_registers(c);
                interrupted_to_zero = c.pc == 0x0000;
                // Still behind: look again after the next instruction.
                if (clock >= irq_deadline) poll_length = countdown = 1;
            }
        }
    }
    counted += poll_length - countdown;
    publish_registers(c);
    outcome.instructions = counted;
    cpu.instruction_count += static_cast<u32>(counted);
    return outcome;
}
}  // namespace

RunOutcome run_machine(std::int64_t irq_deadline, const RunSettings& settings) {
    console_idle_wait(!settings.max_instructions);
    host_timer_tick(irq_deadline);
#ifdef EMU6502_ONE_RUN_LOOP
    return run<LoopKind::any>(irq_deadline, settings);
#else
    if (settings.trace_always) return run<LoopKind::tracing>(irq_deadline, settings);
    if (settings.count_cycles) return run<LoopKind::counting>(irq_deadline, settings);
    return run<LoopKind::plain>(irq_deadline, settings);
#endif
}
