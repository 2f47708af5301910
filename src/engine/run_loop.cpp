#include "engine/run_loop.hpp"

#include <algorithm>

#include "bus/devices.hpp"
#include "cpu/cpu.hpp"
#include "cpu/threaded.hpp"
#include "engine/trace.hpp"
#include "host/clock.hpp"
#include "host/terminal.hpp"

namespace {
static_assert(CLOCK_POLL == MAX_RUN, "a clock poll's countdown is one threaded run at most");

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
        switch (cpu_resume_pause()) {
        case Pause::none: return true;
        case Pause::halted: outcome.end = RunEnd::halted; return true;
        case Pause::waiting: break;
        }
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
            if (poll_ends_run(outcome, counted, limit)) break;
            // A request dropped because I is set is gone.
            const std::int64_t clock = host_clock_ms();
            if (host_timer_due(irq_deadline, clock)) {
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

// No instruction takes more: a run of ceil(n / 8) instructions cannot pass
// a deadline n cycles away before its last instruction.
constexpr std::uint64_t MAX_INSTRUCTION_CYCLES = 8;
// Every second of the deterministic clock begins with a timer request, so
// the loop below stops at the right instruction for both.
static_assert(CYCLES_PER_SECOND % TIMER_PERIOD_CYCLES == 0);
// After a suspend or on a slow host, a paced run goes on from where it is
// rather than racing to catch up.
constexpr std::int64_t PACE_SLACK_MS = 100;

// The loop of a deterministic run: the same tests as run(), but the timer
// counts emulated cycles, so each threaded run ends exactly at the
// instruction that reaches the timer's deadline (under a cycle budget), or
// before a replayed key's instruction or the instruction limit (under an
// instruction countdown, when one of them is near, or when the program runs
// too near the top of memory for a budget). THREADED false steps
// every instruction, as run<LoopKind::any> does.
template <bool THREADED, Chip P>
RunOutcome run_deterministic(std::int64_t host_deadline, const RunSettings& settings) {
    const DeterministicRun& fixed = settings.deterministic;
    RunOutcome outcome;
    const std::uint64_t limit = settings.max_instructions.value_or(UINT64_MAX);
    std::uint64_t counted = 0;
    std::uint64_t cycles = 0;
    std::uint64_t cycle_deadline = TIMER_PERIOD_CYCLES;
    std::uint64_t second = 0;
    std::size_t next_key = 0;
    std::size_t armed_count = 0;
    std::int64_t pace_ms = fixed.paced ? host_clock_ms() : 0;
    bool behind = false;  // the timer is still due: one instruction, then look again
    rtc_set_virtual_time(fixed.start_time);
    auto tracing = [&] { return settings.trace_always || memory[TRACE_CTL] == 1; };
    for (;;) {
        if (counted == limit) {
            outcome.end = RunEnd::instruction_limit;
            break;
        }
        // A replay runs the instruction that reads recorded keys alone, with
        // its keys armed.
        std::uint64_t bound = limit - counted;
        if (next_key < fixed.keys.size()) {
            if (fixed.keys[next_key].instruction == counted) {
                const std::size_t first = next_key;
                while (next_key < fixed.keys.size() && fixed.keys[next_key].instruction == counted) ++next_key;
                armed_count = next_key - first;
                console_script_keys(fixed.keys.subspan(first, armed_count));
                bound = 1;
            } else {
                bound = std::min(bound, fixed.keys[next_key].instruction - counted);
            }
        }
        bool look = true;
        if (THREADED && !behind && !outside_safe_range(cpu.pc) && (cpu.status & FLAG_CONSTANT) != 0 && !tracing()) {
            if constexpr (THREADED) {
                const std::uint64_t to_deadline = cycle_deadline - cycles;
                if (bound > threaded::MAX_BUDGET<P> && !outside_safe_range<threaded::BUDGET_SAFE_PC_END>(cpu.pc)) {
                    const auto budget = static_cast<std::uint32_t>(std::min<std::uint64_t>(to_deadline, threaded::MAX_BUDGET<P>));
                    const InRamEnd end = run_in_ram<P, true, true>(budget);
                    counted += end.countdown;
                    cycles += end.cycles;
                    look = end.stop == InRamStop::look;
                } else {
                    const auto countdown = static_cast<std::uint32_t>(std::min<std::uint64_t>(
                        {bound, (to_deadline + MAX_INSTRUCTION_CYCLES - 1) / MAX_INSTRUCTION_CYCLES, MAX_RUN}));
                    const InRamEnd end = run_in_ram<P, true>(countdown);
                    look = end.stop == InRamStop::look;
                    counted += countdown - end.countdown + (look ? 1 : 0);
                    cycles += end.cycles;
                }
            }
        } else {
            instructions_before_step = counted;
            cycles += execute_instruction_on_cpu<P>();
            ++counted;
        }
        if (look && tracing()) [[unlikely]] print_trace_line();
        if (armed_count != 0) {
            // The instruction had to read every key armed for it.
            const std::size_t left = console_script_left();
            console_script_keys({});
            armed_count = 0;
            if (left != 0) {
                outcome.end = RunEnd::departed;
                outcome.departed_key = next_key - left;
                break;
            }
        }
        if (cpu.pc == 0x0000) {
            const Pause pause = cpu_resume_pause();
            if (pause == Pause::none) break;
            if (pause == Pause::halted) {
                outcome.end = RunEnd::halted;
                break;
            }
            // A WAI: the cycles pass until the timer's next request.
            cycles = std::max(cycles, cycle_deadline);
        }
        if ((outcome.signal = host_stop_signal()) != 0) {
            outcome.end = RunEnd::signal;
            break;
        }
        behind = false;
        if (cycles >= cycle_deadline) {
            cycle_deadline += TIMER_PERIOD_CYCLES;
            if (cycles / CYCLES_PER_SECOND != second) {
                second = cycles / CYCLES_PER_SECOND;
                rtc_set_virtual_time(fixed.start_time + static_cast<std::int64_t>(second));
            }
            cpu_irq();
            behind = cycles >= cycle_deadline;
            // The host's clock only paces: the console's output, and a
            // recorded run, which keeps to a 1 MHz 6502's speed.
            ++host_clock_polls;
            const std::int64_t now = host_clock_ms();
            if (now >= host_deadline) {
                host_deadline = now + TIMER_PERIOD_MS;
                host_timer_tick(host_deadline);
            }
            if (fixed.paced) {
                pace_ms += TIMER_PERIOD_MS;
                if (now < pace_ms) host_sleep_ms(pace_ms - now);
                else if (now - pace_ms > PACE_SLACK_MS) pace_ms = now;
            }
        }
    }
    outcome.instructions = counted;
    outcome.cycles = cycles;
    cpu.instruction_count += static_cast<u32>(counted);
    return outcome;
}
}  // namespace

bool poll_ends_run(RunOutcome& outcome, std::uint64_t counted, std::uint64_t limit) {
    if (counted == limit) {
        outcome.end = RunEnd::instruction_limit;
        return true;
    }
    if ((outcome.signal = host_stop_signal()) != 0) {
        outcome.end = RunEnd::signal;
        return true;
    }
    return false;
}

bool host_timer_due(std::int64_t& irq_deadline, std::int64_t clock) {
    if (clock < irq_deadline) return false;
    irq_deadline += TIMER_PERIOD_MS;
    host_timer_tick(irq_deadline);
    return true;
}

// WAI idles here until the timer's next request; sleeping rather than
// spinning, and leaving the timer's schedule as it is.
void idle_until(std::int64_t deadline) {
    host_console_flush();
    for (std::int64_t now = host_clock_ms(); now < deadline && host_stop_signal() == 0; now = host_clock_ms())
        host_sleep_ms(deadline - now);
}

std::uint64_t instructions_before_step = 0;

namespace {
template <Chip P>
RunOutcome run_on(std::int64_t irq_deadline, const RunSettings& settings) {
    if (settings.deterministic.on) {
#ifndef EMU6502_ONE_RUN_LOOP
        // A paced run steps, keeping count of every instruction for the recorder.
        if (!settings.deterministic.paced && !settings.trace_always)
            return run_deterministic<true, P>(irq_deadline, settings);
#endif
        return run_deterministic<false, P>(irq_deadline, settings);
    }
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
    // A deterministic run never waits for the host: its keys come when they
    // are read, and its time is counted in cycles.
    console_idle_wait(!settings.max_instructions && !settings.deterministic.on);
    host_timer_tick(irq_deadline);
    switch (cpu_chip()) {
    case Chip::m6502x: return run_on<Chip::m6502x>(irq_deadline, settings);
    case Chip::m65c02: return run_on<Chip::m65c02>(irq_deadline, settings);
    default: return run_on<Chip::m6502>(irq_deadline, settings);
    }
}
