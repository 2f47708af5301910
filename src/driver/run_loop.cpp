#include "driver/run_loop.hpp"

#include <algorithm>

#include "bus/devices.hpp"
#include "cpu/cpu.hpp"
#include "cpu/threaded.hpp"
#include "driver/trace.hpp"
#include "host/clock.hpp"
#include "host/terminal.hpp"

namespace {
// The host clock is read every CLOCK_POLL instructions rather than after
// each one: at emulation speed that is a small fraction of a millisecond,
// and in between, the last reading stands for the clock. The same
// countdown counts the instructions and brings the instruction limit.
constexpr std::uint64_t CLOCK_POLL = MAX_RUN;
constexpr std::int64_t TIMER_PERIOD_MS = 10;

// Which copy of the loop: each of the first three is compiled for its
// settings; `any` reads them at run time, for builds where one copy is
// enough (the sanitizers make each copy slow to compile).
enum class LoopKind { plain, counting, tracing, any };

// The driver installs no step hook, so its loop is cpu_step without the
// hook test: fetch and execute, trace test, stop test, and the timer. While
// the program runs in plain RAM with no trace, run_in_ram makes those tests
// only where an instruction can need them.

template <LoopKind KIND, Chip P>
RunOutcome run(std::int64_t irq_deadline, const RunSettings& settings) {
    const bool count_cycles = KIND == LoopKind::counting || KIND == LoopKind::tracing ||
                              (KIND == LoopKind::any && settings.count_cycles);
    const bool trace_always = KIND == LoopKind::tracing || (KIND == LoopKind::any && settings.trace_always);
    // The builds that want one copy of the instruction set step through it.
    constexpr bool threaded = KIND == LoopKind::plain || KIND == LoopKind::counting;
    // The threaded code keeps the registers in host registers while it runs;
    // out here, they live in `cpu`.
    RunOutcome outcome;
    std::uint64_t cycles = 0;
    const std::uint64_t limit = settings.max_instructions.value_or(UINT64_MAX);
    std::uint64_t counted = 0;  // instructions before the current countdown
    auto next_poll_length = [&] { return static_cast<std::uint32_t>(std::min<std::uint64_t>(CLOCK_POLL, limit - counted)); };
    if (limit == 0) {
        outcome.end = RunEnd::instruction_limit;
        return outcome;
    }
    std::uint32_t poll_length = next_poll_length();
    std::uint32_t countdown = poll_length;
    // The trace switch is a device register: it changes only by a store to
    // the device page, after which run_in_ram hands back.
    auto tracing = [&] { return trace_always || memory[TRACE_CTL] == 1; };
    // pc at 0x0000 ends the run, unless the processor only paused there:
    // a halt ends it too, a WAI waits for the timer and goes on.
    auto ends_at_zero = [&] {
        if (cpu.pause == Pause::none) return true;
        cpu.pc = cpu.pause_pc;
        if (cpu.pause == Pause::halted) {
            outcome.end = RunEnd::halted;
            return true;
        }
        cpu.pause = Pause::none;
        idle_until(irq_deadline);
        return false;
    };
    for (;;) {
        bool poll_due;
        if (threaded && !outside_safe_range(cpu.pc) && (cpu.status & FLAG_CONSTANT) != 0 && !tracing()) {
            if constexpr (threaded) {
                const InRamEnd end = run_in_ram<P, KIND == LoopKind::counting>(countdown);
                countdown = end.countdown;
                cycles += end.cycles;
                poll_due = end.stop == InRamStop::countdown_over;
            }
        } else {
            // Near the top of memory, at 0x0000, traced, or after an RTI
            // that cleared the constant bit: one instruction at a time.
            const u32 step_cycles = execute_instruction_on_cpu<P>();
            if (count_cycles) cycles += step_cycles;
            poll_due = false;
        }
        if (!poll_due) {
            if (tracing()) [[unlikely]] print_trace_line();
            poll_due = --countdown == 0;
            // An interrupt that sends the processor to 0x0000 does not end
            // the run: the stop test follows the instruction there.
            if (!poll_due && cpu.pc == 0x0000) {
                if (ends_at_zero()) break;
                // Woken for the timer: poll now, ending this countdown early.
                poll_length -= countdown;
                countdown = 0;
                poll_due = true;
            }
        }
        if (poll_due) [[unlikely]] {
            ++host_clock_polls;
            counted += poll_length;
            poll_length = countdown = next_poll_length();
            // The stop test comes first: a program that ends here has ended,
            // whatever the limit, a signal or the timer would say.
            if (cpu.pc == 0x0000 && ends_at_zero()) break;
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
                cpu_irq();
                // Still behind: look again after the next instruction.
                if (clock >= irq_deadline) poll_length = countdown = 1;
            }
        }
    }
    counted += poll_length - countdown;
    outcome.instructions = counted;
    outcome.cycles = cycles;
    cpu.instruction_count += static_cast<u32>(counted);
    return outcome;
}
}  // namespace

// WAI idles here until the timer's next request; sleeping rather than
// spinning, and leaving the timer's schedule as it is.
void idle_until(std::int64_t deadline) {
    host_console_flush();
    for (std::int64_t now = host_clock_ms(); now < deadline && host_stop_signal() == 0; now = host_clock_ms())
        host_sleep_ms(deadline - now);
}

namespace {
template <Chip P>
RunOutcome run_on(std::int64_t irq_deadline, const RunSettings& settings) {
#ifdef EMU6502_ONE_RUN_LOOP
    return run<LoopKind::any, P>(irq_deadline, settings);
#else
    if (settings.trace_always) return run<LoopKind::tracing, P>(irq_deadline, settings);
    if (settings.count_cycles) return run<LoopKind::counting, P>(irq_deadline, settings);
    return run<LoopKind::plain, P>(irq_deadline, settings);
#endif
}
}  // namespace

RunOutcome run_machine(std::int64_t irq_deadline, const RunSettings& settings) {
    console_idle_wait(!settings.max_instructions);
    host_timer_tick(irq_deadline);
    switch (cpu_chip()) {
    case Chip::m6502x: return run_on<Chip::m6502x>(irq_deadline, settings);
    case Chip::m65c02: return run_on<Chip::m65c02>(irq_deadline, settings);
    default: return run_on<Chip::m6502>(irq_deadline, settings);
    }
}
