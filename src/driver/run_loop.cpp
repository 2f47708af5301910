#include "driver/run_loop.hpp"

#include "cpu/cpu.hpp"
#include "cpu/dispatch.hpp"
#include "driver/trace.hpp"
#include "host/clock.hpp"
#include "host/terminal.hpp"

namespace {
// The host clock is read every CLOCK_POLL instructions rather than after
// each one: at emulation speed that is a small fraction of a millisecond,
// and in between, the last reading stands for the clock.
constexpr int CLOCK_POLL = 128;
constexpr std::int64_t TIMER_PERIOD_MS = 10;

// The driver installs no step hook, so its loop is cpu_step without the
// hook test: fetch, execute, trace test, stop test, and the timer.
template <bool COUNT_CYCLES>
int run(std::int64_t irq_deadline, RunTotals& totals) {
    // The registers live in a local copy while the loop runs, so that they
    // stay in host registers; `cpu` is brought up to date before anything
    // that looks at it (trace, interrupt, the end of the run).
    Cpu c = cpu;
    std::uint64_t cycles = 0;
    // Instructions are counted by the poll countdown itself.
    std::uint64_t instructions_before_poll = 0;
    int poll_length = CLOCK_POLL;
    int poll_countdown = poll_length;
    int stop_signal = 0;
    for (;;) {
        const u32 step_cycles = execute_instruction(c);
        if constexpr (COUNT_CYCLES) cycles += step_cycles;
        if (memory[TRACE_CTL] == 1) [[unlikely]] {
            publish_registers(c);
            print_trace_line();
        }
        if (c.pc == 0x0000) break;
        if (--poll_countdown == 0) [[unlikely]] {
            instructions_before_poll += static_cast<std::uint64_t>(poll_length);
            poll_length = poll_countdown = CLOCK_POLL;
            if ((stop_signal = host_stop_signal()) != 0) break;
            // The deadline moves by exactly one period per request, so after
            // a stall the requests due follow one per instruction until it
            // has caught up; a request dropped because I is set is gone.
            if (host_clock_ms() >= irq_deadline) {
                irq_deadline += TIMER_PERIOD_MS;
                publish_registers(c);
                cpu_irq();
                take_registers(c);
                if (host_clock_ms() >= irq_deadline) poll_length = poll_countdown = 1;
            }
        }
    }
    publish_registers(c);
    const std::uint64_t instructions =
        instructions_before_poll + static_cast<std::uint64_t>(poll_length - poll_countdown) + (stop_signal ? 0 : 1);
    cpu.instruction_count += static_cast<u32>(instructions);
    totals.instructions += instructions;
    totals.cycles += cycles;
    return stop_signal;
}
}  // namespace

int run_machine(std::int64_t irq_deadline, RunTotals& totals) {
    return totals.count_cycles ? run<true>(irq_deadline, totals) : run<false>(irq_deadline, totals);
}
