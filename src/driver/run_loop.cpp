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
// No instruction takes more: a run of ceil(n / 8) instructions cannot pass
// a deadline n cycles away before its last instruction.
constexpr std::uint64_t MAX_INSTRUCTION_CYCLES = 8;
// Every second of the deterministic clock begins with a timer request, so
// the run loop looks at the right instruction for both.
static_assert(CYCLES_PER_SECOND % TIMER_PERIOD_CYCLES == 0);
// After a suspend or on a slow host, a paced run goes on from where it is
// rather than racing to catch up.
constexpr std::int64_t PACE_SLACK_MS = 100;

// Which copy of the loop: each of the first three is compiled for its
// settings; `any` reads them at run time, for builds where one copy is
// enough (the sanitizers make each copy slow to compile).
enum class LoopKind { plain, counting, tracing, any };

// The driver installs no step hook, so its loop is cpu_step without the
// hook test: fetch and execute, trace test, stop test, and the timer. While
// the program runs in plain RAM with no trace, run_in_ram makes those tests
// only where an instruction can need them.
template <LoopKind KIND>
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
    // Deterministic runs: the timer's next request in cycles, the next key
    // of a replay to arm, and the keys armed for the instruction running.
    const DeterministicRun& fixed = settings.deterministic;
    const bool deterministic = KIND != LoopKind::plain && fixed.on;
    std::uint64_t cycle_deadline = TIMER_PERIOD_CYCLES;
    std::size_t next_key = 0;
    std::size_t armed_from = 0, armed_count = 0;
    std::int64_t pace_ms = 0;
    if (deterministic) {
        rtc_set_virtual_time(fixed.start_time);
        if (fixed.paced) pace_ms = host_clock_ms();
    }
    auto next_poll_length = [&] {
        std::uint64_t length = std::min<std::uint64_t>(CLOCK_POLL, limit - counted);
        if (deterministic) {
            // Up to the instruction that may reach the timer's deadline, and
            // up to the instruction before the next key's.
            const std::uint64_t to_deadline =
                cycle_deadline > cycles ? (cycle_deadline - cycles + MAX_INSTRUCTION_CYCLES - 1) / MAX_INSTRUCTION_CYCLES : 1;
            length = std::min(length, to_deadline);
            if (next_key < fixed.keys.size()) length = std::min(length, fixed.keys[next_key].instruction - counted);
        }
        return static_cast<std::uint32_t>(length);
    };
    std::uint32_t poll_length = 0;
    std::uint32_t countdown = 0;
    // The next countdown. In a replay, the instruction that reads the next
    // key runs alone, with its keys armed.
    auto plan = [&] {
        if (deterministic && next_key < fixed.keys.size() && fixed.keys[next_key].instruction == counted) {
            armed_from = next_key;
            while (next_key < fixed.keys.size() && fixed.keys[next_key].instruction == counted) ++next_key;
            armed_count = next_key - armed_from;
            console_script_keys(fixed.keys.subspan(armed_from, armed_count));
            poll_length = countdown = 1;
            return;
        }
        poll_length = countdown = next_poll_length();
    };
    if (limit == 0) {
        outcome.end = RunEnd::instruction_limit;
        return outcome;
    }
    plan();
    // The trace switch is a device register: it changes only by a store to
    // the device page, after which run_in_ram hands back.
    auto tracing = [&] { return trace_always || memory[TRACE_CTL] == 1; };
    for (;;) {
        bool poll_due;
        if (threaded && !outside_safe_range(cpu.pc) && (cpu.status & FLAG_CONSTANT) != 0 && !tracing()) {
            if constexpr (threaded) {
                const InRamEnd end = run_in_ram<KIND == LoopKind::counting>(countdown);
                countdown = end.countdown;
                cycles += end.cycles;
                poll_due = end.stop == InRamStop::countdown_over;
            }
        } else {
            // Near the top of memory, at 0x0000, traced, or after an RTI
            // that cleared the constant bit: one instruction at a time.
            if constexpr (KIND == LoopKind::any) instructions_before_step = counted + (poll_length - countdown);
            const u32 step_cycles = execute_instruction_on_cpu();
            if (count_cycles) cycles += step_cycles;
            poll_due = false;
        }
        if (!poll_due) {
            if (tracing()) [[unlikely]] print_trace_line();
            poll_due = --countdown == 0;
            // An interrupt that sends the processor to 0x0000 does not end
            // the run: the stop test follows the instruction there.
            if (!poll_due && cpu.pc == 0x0000) break;
        }
        if (poll_due) [[unlikely]] {
            ++host_clock_polls;
            counted += poll_length;
            poll_length = 0;  // countdown is 0 too
            if (armed_count != 0) {
                // The armed instruction had to read every key armed for it.
                const std::size_t left = console_script_left();
                console_script_keys({});
                armed_count = 0;
                if (left != 0) {
                    outcome.end = RunEnd::departed;
                    outcome.departed_key = next_key - left;
                    break;
                }
            }
            // The stop test comes first: a program that ends here has ended,
            // whatever the limit, a signal or the timer would say.
            if (cpu.pc == 0x0000) break;
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
            bool behind = false;
            if (deterministic) [[unlikely]] {
                // The same rules, on the emulated cycles; the host clock
                // still paces the console's output.
                if (cycles >= cycle_deadline) {
                    cycle_deadline += TIMER_PERIOD_CYCLES;
                    rtc_set_virtual_time(fixed.start_time + static_cast<std::int64_t>(cycles / CYCLES_PER_SECOND));
                    cpu_irq();
                    behind = cycles >= cycle_deadline;
                    if (fixed.paced) {
                        pace_ms += TIMER_PERIOD_MS;
                        const std::int64_t now = host_clock_ms();
                        if (now < pace_ms) host_sleep_ms(pace_ms - now);
                        else if (now - pace_ms > PACE_SLACK_MS) pace_ms = now;
                    }
                }
                if (clock >= irq_deadline) {
                    irq_deadline = clock + TIMER_PERIOD_MS;
                    host_timer_tick(irq_deadline);
                }
            } else if (clock >= irq_deadline) {
                irq_deadline += TIMER_PERIOD_MS;
                host_timer_tick(irq_deadline);
                cpu_irq();
                behind = clock >= irq_deadline;
            }
            plan();
            // Still behind: look again after the next instruction.
            if (behind) poll_length = countdown = 1;
        }
    }
    counted += poll_length - countdown;
    outcome.instructions = counted;
    outcome.cycles = cycles;
    cpu.instruction_count += static_cast<u32>(counted);
    return outcome;
}
}  // namespace

std::uint64_t instructions_before_step = 0;

RunOutcome run_machine(std::int64_t irq_deadline, const RunSettings& settings) {
    // A deterministic run never waits for the host: its keys come when they
    // are read, and time is counted in cycles.
    console_idle_wait(!settings.max_instructions && !settings.deterministic.on);
    host_timer_tick(irq_deadline);
#ifdef EMU6502_ONE_RUN_LOOP
    return run<LoopKind::any>(irq_deadline, settings);
#else
    // A paced run steps, keeping count of every instruction for the recorder.
    if (settings.deterministic.paced) return run<LoopKind::any>(irq_deadline, settings);
    if (settings.trace_always) return run<LoopKind::tracing>(irq_deadline, settings);
    if (settings.count_cycles) return run<LoopKind::counting>(irq_deadline, settings);
    return run<LoopKind::plain>(irq_deadline, settings);
#endif
}
