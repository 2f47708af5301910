// What the engine asks of an observer: the monitor, the profile.
#pragma once

#include <cstdint>

// Why no step back reaches further (engine/past.hpp).
enum class PastLimit;

// The run's counts so far, as an observer sees them.
struct RunCounts {
    std::uint64_t instructions = 0;
    std::uint64_t cycles = 0;
    // Steps backwards: the earliest instruction count they reach, and why
    // nothing earlier (UINT64_MAX: the run keeps no past).
    std::uint64_t earliest = UINT64_MAX;
    PastLimit earliest_why{};
};

// A step backwards an observer asks for when it is done talking: back to
// an instruction count, or back to the last place where the observer would
// have stopped (a breakpoint, a watchpoint) before the present one.
// `again_from` runs the past from that count to the present once more,
// quietly, for the observer's notes (quiet_step below). `restart` goes back
// to the run's start, when it is still kept, and runs on from there as the
// run did first, its output written again.
struct RewindRequest {
    enum class Kind { none, to_count, last_stop, again_from, restart } kind = Kind::none;
    std::uint64_t to = 0;
};

// A stop an observer asks for: `reason` is its first line, or nullptr for
// none (the end of a step).
struct ObserverStop {
    bool due = false;
    const char* reason = nullptr;
};

// A JSR, BRK, RTS or RTI that ran (observe::CALLS): where, where it left pc
// and S, and the profile's sums of instructions and cycles (observe::
// PROFILE) with it counted.
struct CallRan {
    std::uint16_t pc = 0, to = 0;
    std::uint8_t opcode = 0, sp = 0;
    std::uint64_t instructions = 0, cycles = 0;
};

// Something that looks at a run and may stop it to talk: the monitor, the
// profile. The engine calls it between instructions; it never runs the
// machine itself. While it talks (converse) the run's clock stands still.
class RunObserver {
public:
    virtual ~RunObserver() = default;
    // What the threaded code must look at for it now (a set of observe::
    // in cpu/observed.hpp), and whether every instruction must come
    // through step_before and step_after instead.
    [[nodiscard]] virtual unsigned threaded_checks() const = 0;
    [[nodiscard]] virtual bool one_at_a_time() const = 0;
    // Before the first instruction.
    [[nodiscard]] virtual ObserverStop stop_at_start() = 0;
    // Before the instruction at cpu.pc (a breakpoint): the reason, or nullptr.
    [[nodiscard]] virtual const char* stop_before() = 0;
    // Around an instruction run one at a time; `pc` is where it began.
    virtual void step_before() = 0;
    virtual void step_after(std::uint16_t pc, std::uint32_t cycles) = 0;
    // An interrupt sent the processor to cpu.pc.
    virtual void interrupt_taken() = 0;
    // With observe::CALLS asked for, each call and return as it ran,
    // threaded or one at a time (never while the engine probes the past).
    virtual void call_ran(const CallRan&) {}
    // A timer request came (every 10 ms of the run's clock).
    virtual void timer_request() = 0;
    // The instruction count at which the run must stop next (UINT64_MAX: none).
    [[nodiscard]] virtual std::uint64_t stop_count() const = 0;
    // After the engine's tests: a stop asked for since (a step done, a
    // watchpoint, the monitor's key, the instruction count reached).
    [[nodiscard]] virtual ObserverStop stop_due(const RunCounts& counts) = 0;
    // At a halt, or at the end (pc 0x0000), before the run ends: whether to
    // talk first, and the reason at the end.
    [[nodiscard]] virtual bool stops_at_halt() const = 0;
    [[nodiscard]] virtual const char* stop_at_end() = 0;
    // Talks until a command moves the machine on.
    virtual void converse(const char* reason, const RunCounts& counts) = 0;

    // Steps backwards, in a deterministic run: whether the observer wants
    // them (the engine keeps the past only then), and what it asks for
    // after each converse.
    [[nodiscard]] virtual bool keeps_past() const { return false; }
    [[nodiscard]] virtual RewindRequest rewind_asked() { return {}; }
    // While the engine looks for the last stop (RewindRequest::last_stop)
    // it runs the past again with the observer probing: its stops are
    // noted, not talked at, and count nothing (no pass counts, no trace,
    // no profile). Either way, the instruction at pc has not run yet.
    virtual void probing(bool) {}
    // While the engine runs the past again quietly, to the count a step
    // back asked for, the observer is asked only what notes the run
    // without stopping it (the monitor's history): the threaded code's
    // checks for that, and each instruction run one at a time and each
    // interrupt taken.
    [[nodiscard]] virtual unsigned quiet_checks() const { return 0; }
    virtual void quiet_step() {}
    virtual void quiet_interrupt() {}
    // The run is about to be taken back (a watcher beside the one that
    // asked: what it kept of the calls made no longer holds).
    virtual void rewinding() {}
};

// An observer that only counts what runs, through the engine's counts
// (observe::PROFILE and CALLS, which the threaded code keeps and the engine
// adds the instructions run one at a time to): never a stop, never a word,
// and no instruction for it alone runs one at a time.
class CountingObserver : public RunObserver {
public:
    [[nodiscard]] bool one_at_a_time() const override { return false; }
    [[nodiscard]] ObserverStop stop_at_start() override { return {}; }
    [[nodiscard]] const char* stop_before() override { return nullptr; }
    void step_before() override {}
    void step_after(std::uint16_t, std::uint32_t) override {}
    void interrupt_taken() override {}
    void timer_request() override {}
    [[nodiscard]] std::uint64_t stop_count() const override { return UINT64_MAX; }
    [[nodiscard]] ObserverStop stop_due(const RunCounts&) override { return {}; }
    [[nodiscard]] bool stops_at_halt() const override { return false; }
    [[nodiscard]] const char* stop_at_end() override { return nullptr; }
    void converse(const char*, const RunCounts&) override {}
    void probing(bool on) override { probing_ = on; }

protected:
    bool probing_ = false;
};
