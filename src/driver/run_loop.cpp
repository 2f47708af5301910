#include "driver/run_loop.hpp"

#include "cpu/cpu.hpp"
#include "cpu/dispatch.hpp"
#include "driver/trace.hpp"
#include "host/clock.hpp"
#include "host/terminal.hpp"

namespace {
// The host clock is read every CLOCK_POLL instructions, not at each one:
// at emulation speed that is well under a millisecond, and between two
// readings the last one stands for "clock".
constexpr int CLOCK_POLL = 128;
constexpr std::int64_t TIMER_PERIOD_MS = 10;
}  // namespace

int run_machine(std::int64_t irq_deadline) {
    std::int64_t clock = host_clock_ms();
    int poll_countdown = CLOCK_POLL;
    for (;;) {
        (void)cpu_step_inline();
        if (memory[TRACE_CTL] == 1) [[unlikely]]
            print_trace_line();
        if (cpu.pc == 0x0000) return 0;
        if (--poll_countdown == 0) [[unlikely]] {
            poll_countdown = CLOCK_POLL;
            clock = host_clock_ms();
            if (const int signal_number = host_stop_signal()) return signal_number;
        }
        // The deadline moves by exactly one period per request, so after a
        // stall the requests due follow one per instruction until it catches
        // up; a request dropped because I is set is not raised again.
        if (clock >= irq_deadline) [[unlikely]] {
            irq_deadline += TIMER_PERIOD_MS;
            cpu_irq();
        }
    }
}
