#include "engine/run_loop.hpp"

#include <algorithm>
#include <cstdio>

#include "bus/devices.hpp"
#include "cpu/cpu.hpp"
#include "cpu/threaded.hpp"
#include "engine/history_copies.hpp"
#include "engine/replay_keys.hpp"
#include "engine/timers.hpp"
#include "engine/trace.hpp"
#include "host/terminal.hpp"

std::uint64_t instructions_before_step = 0;
ObservedTables observed{};
history::Log history_log{};

namespace {
static_assert(CLOCK_POLL == MAX_RUN, "a clock poll's countdown is one threaded run at most");

// The sanitizer build compiles the instruction set once (instrumented, each
// copy takes long): it steps through cpu.cpp's copy, without threaded code.
#ifdef EMU6502_ONE_RUN_LOOP
constexpr bool THREADED = false;
#else
constexpr bool THREADED = true;
#endif

// The one loop. Each turn runs a stretch of instructions: threaded code
// while the program runs in plain RAM with nothing to look at between its
// instructions, or one instruction on `cpu`. Then come the rules, written
// once for every run: the trace line, a replay's keys, the end at 0x0000, a
// halt or a WAI, signals, the timer, and the observer's stops. The timer
// decides how long a stretch may be; OBSERVED compiles the calls to an
// observer in, and KEYS a replay's keys, so that a run without them does
// not test for them.
template <Chip P, class Timer, bool OBSERVED, bool KEYS>
class Engine {
public:
    Engine(Timer& timer, const RunSettings& settings, RunObserver* observer)
        : timer_(timer),
          observer_(observer),
          keys_(settings.deterministic.keys, settings.deterministic.keys_cut_off),
          limit_(settings.max_instructions.value_or(UINT64_MAX)),
          trace_always_(settings.trace_always),
          count_cycles_(settings.count_cycles),
          // A paced run steps, keeping count of every instruction for the recorder.
          threaded_(THREADED && !settings.deterministic.paced && !settings.trace_always) {}

    [[gnu::noinline]] RunOutcome run() {
        if constexpr (OBSERVED) {
            const ObserverStop first = observer_->stop_at_start();
            if (first.due && talk(first.reason)) return finish();
        }
        for (;;) {
            if (counted_ == limit_) {
                outcome_.end = RunEnd::instruction_limit;
                break;
            }
            std::uint64_t bound = limit_ - counted_;
            if constexpr (OBSERVED) {
                if (const char* reason = observer_->stop_before()) {
                    if (talk(reason)) break;
                    continue;  // the monitor may have moved pc
                }
                const std::uint64_t stop_count = observer_->stop_count();
                if (stop_count > counted_) bound = std::min(bound, stop_count - counted_);
            }
            const bool armed = KEYS && keys_.arm(counted_, bound);
            const bool looked = run_stretch(bound, armed);
            if (looked && tracing()) [[unlikely]] print_trace_line();
            if (armed && !keys_.all_read(outcome_)) break;
            // An interrupt that sends the processor to 0x0000 does not end
            // the run: this test follows the instruction there.
            if (cpu.pc == 0x0000 && ends_at_zero()) break;
            if (KEYS && keys_.read_past_recording()) [[unlikely]] {
                outcome_.end = RunEnd::recording_cut_off;
                break;
            }
            if ((outcome_.signal = host_stop_signal()) != 0) [[unlikely]] {
                outcome_.end = RunEnd::signal;
                break;
            }
            if (timer_.due(counted_, cycles_)) [[unlikely]] timer_request();
            if constexpr (OBSERVED) {
                const ObserverStop stop = observer_->stop_due(counts());
                if (stop.due && talk(stop.reason)) break;
            }
        }
        return finish();
    }

private:
    [[nodiscard]] bool tracing() const { return trace_always_ || memory[TRACE_CTL] == 1; }
    [[nodiscard]] RunCounts counts() const { return {counted_, cycles_}; }

    RunOutcome finish() {
        outcome_.instructions = counted_;
        outcome_.cycles = cycles_;
        cpu.instruction_count += static_cast<u32>(counted_);
        return outcome_;
    }

    // One stretch, up to `bound` instructions; true when its last
    // instruction needs the rules' look (always, for a single step).
    bool run_stretch(std::uint64_t bound, bool alone) {
        if constexpr (THREADED) {
            bool threaded = threaded_ && !alone && !(KEYS && keys_.one_at_a_time());
            unsigned checks = 0;
            if constexpr (OBSERVED) {
                threaded = threaded && !step_next_ && !observer_->one_at_a_time();
                checks = observer_->threaded_checks();
            }
            // The constant bit is clear only after an RTI pulled it so;
            // the trace switch changes only by a store to the device page,
            // after which the threaded code hands back.
            if (threaded && !outside_safe_range(cpu.pc) && (cpu.status & FLAG_CONSTANT) != 0 && !tracing())
                return run_threaded(bound, checks);
        }
        return step();
    }

    bool run_threaded(std::uint64_t bound, unsigned checks) {
        if constexpr (Timer::CYCLES) {
            // Far from keys and limits, a run under a cycle budget ends
            // exactly at the instruction that reaches the timer's request.
            const std::uint64_t to_request = timer_.cycles_left(cycles_);
            if (checks == 0 && to_request != 0 && bound > threaded::MAX_BUDGET<P> &&
                !outside_safe_range<threaded::BUDGET_SAFE_PC_END>(cpu.pc)) {
                const auto budget = static_cast<std::uint32_t>(std::min<std::uint64_t>(to_request, threaded::MAX_BUDGET<P>));
                const InRamEnd end = run_in_ram<P, true, true>(budget);
                counted_ += end.countdown;
                cycles_ += end.cycles;
                return end.stop == InRamStop::look;
            }
        }
        const auto countdown =
            static_cast<std::uint32_t>(std::min<std::uint64_t>({bound, timer_.room(counted_, cycles_), MAX_RUN}));
        InRamEnd end;
        if (checks == 0) {
            end = Timer::CYCLES || count_cycles_ ? run_in_ram<P, true>(countdown) : run_in_ram<P, false>(countdown);
        } else if constexpr (OBSERVED) {
            // The observed copies: breakpoints alone (the commonest, with
            // and without cycles counted, found with one test), with
            // watchpoints, everything with the profile, and the history's.
            using namespace observe;
            if ((checks & (WATCHES | PROFILE | HISTORY)) == 0) {
                end = Timer::CYCLES || count_cycles_ ? run_in_ram<P, true, false, BREAKS>(countdown)
                                                     : run_in_ram<P, false, false, BREAKS>(countdown);
            } else if ((checks & HISTORY) != 0) {
                end = run_in_ram_noting(countdown, checks);
            } else if ((checks & PROFILE) != 0) {
                end = run_in_ram<P, true, false, BREAKS | WATCHES | PROFILE>(countdown);
            } else {
                end = run_in_ram<P, true, false, BREAKS | WATCHES>(countdown);
            }
        }
        const bool looked = end.stop == InRamStop::look;
        counted_ += countdown - end.countdown + (looked ? 1 : 0);
        cycles_ += end.cycles;
        if constexpr (OBSERVED) step_next_ = end.stop == InRamStop::observe;
        return looked;
    }

    // The copies that note the history too: alone, with breakpoints and
    // watchpoints, and with the profile. All count cycles: it costs them
    // little, and a copy less is a shorter build.
    InRamEnd run_in_ram_noting(std::uint32_t countdown, unsigned checks) {
        using namespace observe;
        if ((checks & PROFILE) != 0) return run_in_ram<P, true, false, BREAKS | WATCHES | PROFILE | HISTORY>(countdown);
        if ((checks & (BREAKS | WATCHES)) != 0) return run_in_ram<P, true, false, BREAKS | WATCHES | HISTORY>(countdown);
        return run_in_ram<P, true, false, HISTORY>(countdown);
    }

    // Near the top of memory, at 0x0000, traced, after an RTI that cleared
    // the constant bit, or for the observer: one instruction on `cpu`.
    bool step() {
        instructions_before_step = counted_;
        const u16 pc = cpu.pc;
        if constexpr (OBSERVED) observer_->step_before();
        const u32 step_cycles = execute_instruction_on_cpu<P>();
        if constexpr (OBSERVED) {
            observer_->step_after(pc, step_cycles);
            step_next_ = false;
        }
        cycles_ += step_cycles;
        ++counted_;
        return true;
    }

    // pc at 0x0000 after an instruction: the end, unless the processor only
    // paused there. A halt ends the run too, a WAI waits for the timer.
    bool ends_at_zero() {
        switch (cpu_resume_pause()) {
        case Pause::none:
            if constexpr (OBSERVED) {
                if (const char* reason = observer_->stop_at_end()) {
                    if (talk(reason)) return true;
                    return cpu.pc == 0x0000;  // else moved on by hand
                }
            }
            return true;
        case Pause::halted:
            if constexpr (OBSERVED) {
                if (observer_->stops_at_halt()) {
                    if (talk(halt_text())) return true;
                    if (cpu.pc != cpu.pause_pc) {  // moved on by hand: the processor runs again
                        cpu.pause = Pause::none;
                        return false;
                    }
                }
            }
            outcome_.end = RunEnd::halted;
            return true;
        case Pause::waiting: timer_.wait(counted_, cycles_); return false;
        }
        return true;
    }

    // A request dropped because I is set is gone.
    void timer_request() {
        if (!timer_.tick(counted_, cycles_)) return;
        const u16 pc = cpu.pc;
        cpu_irq();
        if constexpr (OBSERVED) {
            if (cpu.pc != pc) observer_->interrupt_taken();
            observer_->timer_request();
        }
    }

    // The observer talks with the clock standing still; true when the run
    // ends here: asked to stop, or sent to 0x0000 by hand (g 0), which ends
    // it as the program's own jump there would.
    bool talk(const char* reason) {
        const u16 pc = cpu.pc;
        timer_.hold();
        observer_->converse(reason, counts());
        timer_.release();
        if ((outcome_.signal = host_stop_signal()) != 0) {
            outcome_.end = RunEnd::signal;
            return true;
        }
        return cpu.pc == 0x0000 && pc != 0x0000;
    }

    Timer& timer_;
    RunObserver* observer_;
    ReplayKeys keys_;
    RunOutcome outcome_;
    std::uint64_t counted_ = 0;
    std::uint64_t cycles_ = 0;
    const std::uint64_t limit_;
    const bool trace_always_;
    const bool count_cycles_;
    const bool threaded_;
    bool step_next_ = false;  // the threaded code stopped before an instruction the observer must see
};

template <Chip P, class Timer>
RunOutcome run_with(Timer& timer, const RunSettings& settings, RunObserver* observer) {
    const bool keys = !settings.deterministic.keys.empty() || settings.deterministic.keys_cut_off;
    if (observer != nullptr) {
        if (keys) return Engine<P, Timer, true, true>(timer, settings, observer).run();
        return Engine<P, Timer, true, false>(timer, settings, observer).run();
    }
    if (keys) return Engine<P, Timer, false, true>(timer, settings, nullptr).run();
    return Engine<P, Timer, false, false>(timer, settings, nullptr).run();
}

template <Chip P>
RunOutcome run_on(std::int64_t irq_deadline, const RunSettings& settings, RunObserver* observer) {
    if (settings.deterministic.on) {
        CycleTimer timer(irq_deadline, settings.deterministic);
        return run_with<P>(timer, settings, observer);
    }
    HostTimer timer(irq_deadline);
    return run_with<P>(timer, settings, observer);
}
}  // namespace

RunOutcome run_machine(std::int64_t irq_deadline, const RunSettings& settings, RunObserver* observer) {
    // A deterministic run never waits for the host: its keys come when they
    // are read, and its time is counted in cycles.
    console_idle_wait(!settings.max_instructions && !settings.deterministic.on);
    host_timer_tick(irq_deadline);
    switch (cpu_chip()) {
    case Chip::m6502x: return run_on<Chip::m6502x>(irq_deadline, settings, observer);
    case Chip::m65c02: return run_on<Chip::m65c02>(irq_deadline, settings, observer);
    default: return run_on<Chip::m6502>(irq_deadline, settings, observer);
    }
}

const char* halt_text() {
    static char text[64];
    std::snprintf(text, sizeof text, "processor halted by %s opcode $%02X at $%04X",
                  cpu_chip() == Chip::m65c02 ? "STP" : "JAM", cpu.pause_opcode, cpu.pause_pc);
    return text;
}
