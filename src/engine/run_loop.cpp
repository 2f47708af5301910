#include "engine/run_loop.hpp"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <utility>

#include "bus/devices.hpp"
#include "cpu/cpu.hpp"
#include "cpu/threaded.hpp"
#include "engine/past.hpp"
#include "engine/history_copies.hpp"
#include "engine/replay_keys.hpp"
#include "engine/timers.hpp"
#include "engine/trace.hpp"
#include "host/terminal.hpp"
#include "translate/translate.hpp"

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
    // Steps backwards need a run that the same inputs repeat, and an
    // observer that asks for them.
    static constexpr bool PAST = OBSERVED && Timer::CYCLES;

public:
    Engine(Timer& timer, const RunSettings& settings, RunObserver* observer)
        : timer_(timer),
          observer_(observer),
          keys_(settings.deterministic.keys, settings.deterministic.keys_cut_off),
          limit_(settings.max_instructions.value_or(UINT64_MAX)),
          trace_always_(settings.trace_always),
          count_cycles_(settings.count_cycles),
          // A paced run steps, keeping count of every instruction for the recorder.
          threaded_(THREADED && !settings.deterministic.paced && !settings.trace_always),
          // An observer sees every instruction: translated code shows none.
          translating_(!OBSERVED && threaded_ && settings.translate && translate_begin(P)) {
        if constexpr (!Timer::CYCLES) {
            if (translating_) timer_.poll_every(TRANSLATED_CLOCK_POLL);
        }
        if constexpr (PAST) {
            // A recording's keys come from the terminal as they are typed:
            // they cannot be had again.
            if (observer_->keeps_past() && !settings.deterministic.paced) {
                past_ = std::make_unique<Past>();
                console_keep_input(PAST_INPUT);
                files_seen_ = data_file_uses();
                unkept_seen_ = console_unkept_input();
                capture(past_->add());
            }
        }
    }

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
            if constexpr (PAST) {
                if (past_ != nullptr) {
                    if (rerun_ != Rerun::none && counted_ == rerun_to_) {
                        if (rerun_arrived()) break;
                        continue;
                    }
                    keep_past(bound);
                }
            }
            if constexpr (OBSERVED) {
                if (observing() && !passing_) {
                    if (const char* reason = observer_->stop_before()) {
                        if (probing()) {  // noted, then the instruction runs alone past it
                            note_stop(reason);
                            passing_ = true;
                            continue;
                        }
                        if (talk(reason)) break;
                        continue;  // the monitor may have moved pc
                    }
                }
                const std::uint64_t stop_count = quiet() ? UINT64_MAX : observer_->stop_count();
                if (stop_count > counted_) bound = std::min(bound, stop_count - counted_);
            }
            const bool armed = KEYS && keys_.arm(counted_, bound);
            const bool looked = run_stretch(bound, armed || std::exchange(passing_, false));
            if (looked && tracing() && counted_ > frontier_) [[unlikely]] print_trace_line();
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
                if (observing()) {
                    const ObserverStop stop = observer_->stop_due(counts());
                    if (stop.due && probing()) note_stop(stop.reason);
                    else if (stop.due && talk(stop.reason)) break;
                }
            }
        }
        if constexpr (PAST) console_mute(false);
        return finish();
    }

private:
    [[nodiscard]] bool tracing() const { return trace_always_ || memory[TRACE_CTL] == 1; }
    [[nodiscard]] RunCounts counts() const {
        RunCounts counts{counted_, cycles_};
        if constexpr (PAST) {
            if (past_ != nullptr && !past_->empty()) {
                counts.earliest = past_->oldest().instructions;
                counts.earliest_why = past_->why();
            }
        }
        return counts;
    }

    // ---- steps backwards ------------------------------------------------
    // A run taken back is run forward again from a state kept before the
    // count wanted: quietly (the observer not asked, the console muted),
    // or probing for the last stop. Output goes on again past the furthest
    // count the run has reached (the frontier), where it was not written yet.
    enum class Rerun { none, to_count, probe };
    [[nodiscard]] bool quiet() const { return PAST && rerun_ != Rerun::none; }
    [[nodiscard]] bool probing() const { return PAST && rerun_ == Rerun::probe; }
    [[nodiscard]] bool observing() const { return !quiet() || probing(); }

    // At the loop's top, between instructions: a state kept when due, and
    // the stretch bounded by the rerun's end and the frontier.
    void keep_past(std::uint64_t& bound) {
        if (rerun_ == Rerun::none) {
            note_outside();
            const std::uint64_t due = past_->next_due();
            if (counted_ >= due) capture(past_->add());
            else bound = std::min(bound, due - counted_);
        } else {
            bound = std::min(bound, rerun_to_ - counted_);
        }
        if (counted_ < frontier_) bound = std::min(bound, frontier_ - counted_);
        console_mute(counted_ < frontier_);
    }

    // A data file moved on, or standard input read but not kept: no run
    // taken back may cross it. The instruction that did it ended its
    // stretch, so the past starts again right after it: here at the loop's
    // top, or in a talk that comes first (after the stretch's rules, where
    // the loop's top would be).
    void note_outside() {
        const std::uint64_t files = data_file_uses();
        const std::uint64_t unkept = console_unkept_input();
        if (files == files_seen_ && unkept == unkept_seen_) return;
        past_->clear(files != files_seen_ ? PastLimit::data_file : PastLimit::input);
        files_seen_ = files;
        unkept_seen_ = unkept;
        frontier_ = std::max(frontier_, counted_);
        capture(past_->add());
    }

    void capture(MachineState& state) const {
        state.memory = memory;
        state.cpu = cpu;
        state.devices = device_state();
        state.timer = timer_.state();
        state.keys = keys_.state();
        state.instructions = counted_;
        state.cycles = cycles_;
    }

    void restore(const MachineState& state) {
        memory = state.memory;
        cpu = state.cpu;
        device_state_restore(state.devices);
        timer_.restore(state.timer);
        keys_.restore(state.keys);
        counted_ = state.instructions;
        cycles_ = state.cycles;
        step_next_ = false;
        passing_ = false;
    }

    // Starts what the observer asked for when it was done talking.
    void rewind(const RewindRequest& request) {
        if (request.kind == RewindRequest::Kind::none || past_->empty()) return;
        frontier_ = std::max(frontier_, counted_);
        if (request.kind == RewindRequest::Kind::restart) {
            if (past_->oldest().instructions != 0 || counted_ == 0) return;
            restore(past_->oldest());
            frontier_ = 0;
            rerun_ = Rerun::to_count;
            rerun_to_ = 0;
            arrival_ = nullptr;
            return;
        }
        if (request.kind == RewindRequest::Kind::to_count || request.kind == RewindRequest::Kind::again_from) {
            const std::uint64_t from = std::max(request.to, past_->oldest().instructions);
            if (from > counted_ || (from == counted_ && request.kind == RewindRequest::Kind::to_count)) return;
            const std::uint64_t to = request.kind == RewindRequest::Kind::to_count ? from : counted_;
            restore(past_->at_or_before(from));
            rerun_ = Rerun::to_count;
            rerun_to_ = to;
            arrival_ = nullptr;
            return;
        }
        if (counted_ <= past_->oldest().instructions) return;
        rc_from_ = counted_;
        probe_end(&past_->at_or_before(counted_ - 1), counted_);
    }

    // Probes the stretch from a kept state to `end` for stops.
    void probe_end(const MachineState* from, std::uint64_t end) {
        probe_from_ = from;
        restore(*from);
        rerun_ = Rerun::probe;
        rerun_to_ = end;
        probe_hit_ = UINT64_MAX;
        observer_->probing(true);
    }

    // A stop seen while probing: the last one before the end is the one.
    void note_stop(const char* reason) {
        if (counted_ >= rc_from_) return;  // the present stop, after its instruction (a watchpoint)
        probe_hit_ = counted_;
        std::snprintf(stop_text_, sizeof stop_text_, "%s", reason != nullptr ? reason : "");
    }

    // The rerun reached its count: talk there, or probe on; true when
    // the run ends.
    bool rerun_arrived() {
        if (rerun_ == Rerun::to_count) {
            rerun_ = Rerun::none;
            return talk(arrival_);
        }
        observer_->probing(false);
        if (probe_hit_ != UINT64_MAX) {
            restore(*probe_from_);
            rerun_ = Rerun::to_count;
            rerun_to_ = probe_hit_;
            arrival_ = stop_text_;
            return false;
        }
        if (const MachineState* earlier = past_->before(*probe_from_)) {
            probe_end(earlier, probe_from_->instructions);
            return false;
        }
        restore(*probe_from_);
        rerun_ = Rerun::none;
        std::snprintf(stop_text_, sizeof stop_text_,
                      "rc: no breakpoint or watchpoint since instruction count %llu, the earliest a step back reaches",
                      static_cast<unsigned long long>(counted_));
        return talk(stop_text_);
    }

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
                if (observing()) {
                    threaded = threaded && !step_next_ && !observer_->one_at_a_time();
                    checks = observer_->threaded_checks();
                    if (probing()) checks &= ~(observe::PROFILE | observe::CALLS | observe::CHECKS);  // counts nothing
                } else {
                    checks = observer_->quiet_checks();
                }
                // Calls are noted by the counting copy alone; the checks
                // are looked at by a copy of their own.
                using namespace observe;
                if ((checks & CALLS) != 0 && (checks & ~(PROFILE | CALLS)) != 0) threaded = false;
                if ((checks & CHECKS) != 0 && checks != CHECKS) threaded = false;
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
            const std::uint32_t most = translating_ ? MAX_TRANSLATED_RUN : threaded::MAX_BUDGET<P>;
            if (checks == 0 && to_request != 0 && bound > most &&
                !outside_safe_range<threaded::BUDGET_SAFE_PC_END>(cpu.pc)) {
                const auto budget = static_cast<std::uint32_t>(std::min<std::uint64_t>(to_request, most));
                const InRamEnd end =
                    translating_ ? translate_run<P, true, true>(budget) : run_in_ram<P, true, true>(budget);
                counted_ += end.countdown;
                cycles_ += end.cycles;
                return end.stop == InRamStop::look;
            }
        }
        // Translated code checks where pc goes itself: it runs longer stretches.
        const std::uint64_t most = checks == 0 && translating_ ? MAX_TRANSLATED_RUN : MAX_RUN;
        const auto countdown =
            static_cast<std::uint32_t>(std::min<std::uint64_t>({bound, timer_.room(counted_, cycles_), most}));
        InRamEnd end;
        if (checks == 0 && translating_) {
            end = Timer::CYCLES || count_cycles_ ? translate_run<P, true, false>(countdown)
                                                 : translate_run<P, false, false>(countdown);
        } else if (checks == 0) {
            end = Timer::CYCLES || count_cycles_ ? run_in_ram<P, true>(countdown) : run_in_ram<P, false>(countdown);
        } else if constexpr (OBSERVED) {
            // The observed copies: the checks', breakpoints alone (the
            // commonest, with and without cycles counted, found with one
            // test), with watchpoints, the counts alone (the profiles,
            // coverage; the calls noted, asked for or not), everything
            // with the counts, and the history's.
            using namespace observe;
            if (checks == CHECKS) {
                end = run_in_ram<P, true, false, CHECKS>(countdown);
            } else if ((checks & (WATCHES | PROFILE | HISTORY)) == 0) {
                end = Timer::CYCLES || count_cycles_ ? run_in_ram<P, true, false, BREAKS>(countdown)
                                                     : run_in_ram<P, false, false, BREAKS>(countdown);
            } else if ((checks & HISTORY) != 0) {
                end = run_in_ram_noting(countdown, checks);
            } else if ((checks & (BREAKS | WATCHES)) == 0) {
                end = run_in_ram<P, true, false, PROFILE | CALLS>(countdown);
            } else if ((checks & PROFILE) != 0) {
                end = run_in_ram<P, true, false, BREAKS | WATCHES | PROFILE>(countdown);
            } else {
                end = run_in_ram<P, true, false, BREAKS | WATCHES>(countdown);
            }
        }
        const bool looked = end.stop == InRamStop::look;
        const std::uint32_t ran = countdown - end.countdown + (looked ? 1 : 0);
        counted_ += ran;
        cycles_ += end.cycles;
        if constexpr (OBSERVED) {
            step_next_ = end.stop == InRamStop::observe;
            if ((checks & observe::PROFILE) != 0) profile_ran(ran, end.cycles, countdown, checks);
        }
        return looked;
    }

    // After a stretch that counted: its calls told in order, with the
    // profile's sums as they were after each, then the sums moved on.
    void profile_ran(std::uint32_t ran, std::uint64_t cycles, std::uint32_t countdown, unsigned checks) {
        if ((checks & observe::CALLS) != 0) {
            for (std::size_t i = 0; i < observed.call_count; ++i) {
                const CallNote& note = observed.calls[i];
                const threaded::Counted counted = threaded::counted_since_start(note.counter, countdown);
                observer_->call_ran({note.pc, note.to, note.opcode, note.sp,
                                     observed.instructions_counted + counted.instructions,
                                     observed.cycles_counted + counted.cycles});
            }
        }
        observed.instructions_counted += ran;
        observed.cycles_counted += cycles;
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
        const bool observing = OBSERVED && this->observing();
        if constexpr (OBSERVED) {
            if (observing) observer_->step_before();
            else observer_->quiet_step();
        }
        const u32 step_cycles = execute_instruction_on_cpu<P>();
        if constexpr (OBSERVED) {
            if (observing && !probing()) {
                // The counts the threaded code would have made.
                const unsigned checks = observer_->threaded_checks();
                if ((checks & observe::PROFILE) != 0) observed_count_step<P>(pc, cpu.opcode, cpu.pc, step_cycles);
                if ((checks & observe::CALLS) != 0 && is_call_or_return(cpu.opcode))
                    observer_->call_ran({pc, cpu.pc, cpu.opcode, cpu.sp, observed.instructions_counted, observed.cycles_counted});
            }
            if (observing) observer_->step_after(pc, step_cycles);
            step_next_ = false;
        }
        cycles_ += step_cycles;
        ++counted_;
        if (translating_) translate_after_step();
        return true;
    }

    // pc at 0x0000 after an instruction: the end, unless the processor only
    // paused there. A halt ends the run too, a WAI waits for the timer.
    bool ends_at_zero() {
        switch (cpu_resume_pause()) {
        case Pause::none:
            if constexpr (OBSERVED) {
                if (quiet()) {
                    // A run taken back that arrives at the end again (hist,
                    // rc, back at the end-of-run stop) arrives as it would
                    // anywhere else; going on from there ends the run.
                    if constexpr (PAST) {
                        if (counted_ == rerun_to_) return rerun_arrived() || (rerun_ == Rerun::none && cpu.pc == 0x0000);
                    }
                    return true;
                }
                if (const char* reason = observer_->stop_at_end()) {
                    if (talk(reason)) return true;
                    return cpu.pc == 0x0000;  // else moved on by hand
                }
            }
            return true;
        case Pause::halted:
            if constexpr (OBSERVED) {
                if (!quiet() && observer_->stops_at_halt()) {
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
        if (translating_) translate_after_interrupt();
        if constexpr (OBSERVED) {
            if (quiet()) {
                if (!probing() && cpu.pc != pc) observer_->quiet_interrupt();
                return;
            }
            if (cpu.pc != pc) observer_->interrupt_taken();
            observer_->timer_request();
        }
    }

    // The observer talks with the clock standing still; true when the run
    // ends here: asked to stop, or sent to 0x0000 by hand (g 0), which ends
    // it as the program's own jump there would.
    bool talk(const char* reason) {
        const u16 pc = cpu.pc;
        if constexpr (PAST) {
            if (past_ != nullptr && rerun_ == Rerun::none) note_outside();
        }
        timer_.hold();
        if constexpr (PAST) {
            if (past_ != nullptr) {
                console_mute(false);
                past_->before_talk = memory;
                past_->cpu_before_talk = cpu;
            }
        }
        observer_->converse(reason, counts());
        const char* refused = nullptr;
        if constexpr (PAST) {
            if (past_ != nullptr) refused = after_talk();
        }
        timer_.release();
        if ((outcome_.signal = host_stop_signal()) != 0) {
            outcome_.end = RunEnd::signal;
            return true;
        }
        if (refused != nullptr) return talk(refused);
        return cpu.pc == 0x0000 && pc != 0x0000;
    }

    // After a talk: a change by hand starts the past anew; else the step
    // backwards asked for, if any, begins. A step asked for in the same talk
    // as a change is refused: the reason to talk again with.
    const char* after_talk() {
        const RewindRequest asked = observer_->rewind_asked();
        // A restart leaves behind whatever was changed by hand.
        if (!changed_by_hand() || asked.kind == RewindRequest::Kind::restart) {
            rewind(asked);
            return nullptr;
        }
        past_->clear(PastLimit::by_hand);
        frontier_ = counted_;
        capture(past_->add());
        switch (asked.kind) {
        case RewindRequest::Kind::none:
        case RewindRequest::Kind::restart: return nullptr;
        case RewindRequest::Kind::to_count: return "back: memory or registers were changed by hand here; no step back reaches before";
        case RewindRequest::Kind::last_stop: return "rc: memory or registers were changed by hand here; no step back reaches before";
        case RewindRequest::Kind::again_from: return "hist: memory or registers were changed by hand here; the past before can't be run again";
        }
        return nullptr;
    }

    // Memory or registers set in the monitor: the run from here is not the
    // run that was.
    [[nodiscard]] bool changed_by_hand() const {
        const Cpu& was = past_->cpu_before_talk;
        return memory != past_->before_talk || cpu.pc != was.pc || cpu.sp != was.sp || cpu.a != was.a ||
               cpu.x != was.x || cpu.y != was.y || cpu.status != was.status || cpu.pause != was.pause;
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
    const bool translating_;
    bool step_next_ = false;  // the threaded code stopped before an instruction the observer must see
    std::unique_ptr<Past> past_;     // steps backwards: only in a deterministic run whose observer asks
    std::uint64_t files_seen_ = 0;    // data_file_uses() when last looked at
    std::uint64_t unkept_seen_ = 0;   // console_unkept_input() then
    std::uint64_t frontier_ = 0;      // the furthest count reached: output up to it was written
    Rerun rerun_ = Rerun::none;
    std::uint64_t rerun_to_ = 0;
    const char* arrival_ = nullptr;   // the reason given on arrival
    const MachineState* probe_from_ = nullptr;
    std::uint64_t probe_hit_ = UINT64_MAX;
    std::uint64_t rc_from_ = 0;  // where the search for the last stop began
    bool passing_ = false;       // probing: a breakpoint noted here, the instruction runs before another look
    char stop_text_[256] = "";
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
