// The checker as the engine's observer. The threaded code runs what no
// check can fault on (observe::CHECKS) and hands each instruction a check
// may fault on to the engine, which runs it one at a time for the checker
// to see. Alone, it shows each report on standard error as it is made and
// the run goes on; beside the monitor or the debug adapter (stopping), a
// report stops the run there, as a breakpoint would.
#pragma once

#include <string>

#include "cpu/observed.hpp"
#include "engine/observer.hpp"
#include "inspect/checker.hpp"

class CheckObserver final : public RunObserver {
public:
    CheckObserver(Checker& checker, bool stopping) : checker_(checker), stopping_(stopping) { checker_.publish(); }

    // With every check off (the debug adapter's filters), it costs nothing.
    [[nodiscard]] unsigned threaded_checks() const override {
        return checker_.kinds().bits != 0 ? observe::CHECKS : 0;
    }
    [[nodiscard]] bool one_at_a_time() const override { return false; }
    [[nodiscard]] ObserverStop stop_at_start() override {
        checker_.publish();
        return {};
    }
    [[nodiscard]] const char* stop_before() override { return nullptr; }
    void step_before() override {
        if (probing_) return;
        checker_.take_calls();
        checker_.before_instruction();
    }
    void step_after(std::uint16_t pc, std::uint32_t) override;
    void interrupt_taken() override {
        if (probing_) return;
        checker_.take_calls();
        checker_.interrupt_taken();
        checker_.publish();
    }
    void timer_request() override {}
    [[nodiscard]] std::uint64_t stop_count() const override { return UINT64_MAX; }
    [[nodiscard]] ObserverStop stop_due(const RunCounts& counts) override;
    [[nodiscard]] bool stops_at_halt() const override { return false; }
    [[nodiscard]] const char* stop_at_end() override { return nullptr; }
    void converse(const char*, const RunCounts&) override {}
    void probing(bool on) override { probing_ = on; }
    void rewinding() override { checker_.forget_calls(); }

private:
    Checker& checker_;
    const bool stopping_;
    bool probing_ = false;
    std::uint64_t stepped_to_ = 0;  // the instruction count after the last instruction run one at a time
    std::string reason_;
};

// The end of a checked run, on standard error: the reports not shown yet,
// then how many places have faults, or that none was found.
void print_check_summary(Checker& checker);
