// The checker as the engine's observer: it sees every instruction one at
// a time. Alone, it shows each report on standard error as it is made and
// the run goes on; beside the monitor or the debug adapter (stopping), a
// report stops the run there, as a breakpoint would.
#pragma once

#include <string>

#include "engine/observer.hpp"
#include "inspect/checker.hpp"

class CheckObserver final : public RunObserver {
public:
    CheckObserver(Checker& checker, bool stopping) : checker_(checker), stopping_(stopping) {}

    [[nodiscard]] unsigned threaded_checks() const override { return 0; }
    // With every check off (the debug adapter's filters), it costs nothing.
    [[nodiscard]] bool one_at_a_time() const override { return checker_.kinds().bits != 0; }
    [[nodiscard]] ObserverStop stop_at_start() override { return {}; }
    [[nodiscard]] const char* stop_before() override { return nullptr; }
    void step_before() override {
        if (!probing_) checker_.before_instruction();
    }
    void step_after(std::uint16_t pc, std::uint32_t) override {
        if (!probing_) checker_.after_instruction(pc);
    }
    void interrupt_taken() override {
        if (!probing_) checker_.interrupt_taken();
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
    std::string reason_;
};

// The end of a checked run, on standard error: the reports not shown yet,
// then how many places have faults, or that none was found.
void print_check_summary(Checker& checker);
