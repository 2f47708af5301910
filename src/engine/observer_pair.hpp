// Two observers of one run: the first may talk (the monitor, the debug
// adapter) and the second watches (checks, coverage, a profile). The
// second's stops are talked about by the first, as its own would be.
#pragma once

#include <algorithm>

#include "engine/observer.hpp"

class ObserverPair final : public RunObserver {
public:
    ObserverPair(RunObserver& first, RunObserver& second) : first_(first), second_(second) {}

    [[nodiscard]] unsigned threaded_checks() const override { return first_.threaded_checks() | second_.threaded_checks(); }
    [[nodiscard]] bool one_at_a_time() const override { return first_.one_at_a_time() || second_.one_at_a_time(); }
    [[nodiscard]] ObserverStop stop_at_start() override {
        const ObserverStop second = second_.stop_at_start();
        const ObserverStop first = first_.stop_at_start();
        return first.due ? first : second;
    }
    [[nodiscard]] const char* stop_before() override {
        const char* reason = first_.stop_before();
        return reason != nullptr ? reason : second_.stop_before();
    }
    void step_before() override {
        first_.step_before();
        second_.step_before();
    }
    void step_after(std::uint16_t pc, std::uint32_t cycles) override {
        first_.step_after(pc, cycles);
        second_.step_after(pc, cycles);
    }
    void interrupt_taken() override {
        first_.interrupt_taken();
        second_.interrupt_taken();
    }
    void call_ran(const CallRan& call) override {
        first_.call_ran(call);
        second_.call_ran(call);
    }
    void timer_request() override {
        first_.timer_request();
        second_.timer_request();
    }
    [[nodiscard]] std::uint64_t stop_count() const override { return std::min(first_.stop_count(), second_.stop_count()); }
    [[nodiscard]] ObserverStop stop_due(const RunCounts& counts) override {
        const ObserverStop first = first_.stop_due(counts);
        const ObserverStop second = second_.stop_due(counts);
        return first.due ? first : second;
    }
    [[nodiscard]] bool stops_at_halt() const override { return first_.stops_at_halt(); }
    [[nodiscard]] const char* stop_at_end() override { return first_.stop_at_end(); }
    void converse(const char* reason, const RunCounts& counts) override { first_.converse(reason, counts); }
    [[nodiscard]] bool keeps_past() const override { return first_.keeps_past(); }
    [[nodiscard]] RewindRequest rewind_asked() override {
        const RewindRequest asked = first_.rewind_asked();
        if (asked.kind != RewindRequest::Kind::none) second_.rewinding();
        return asked;
    }
    void probing(bool on) override {
        first_.probing(on);
        second_.probing(on);
    }
    [[nodiscard]] unsigned quiet_checks() const override { return first_.quiet_checks() | second_.quiet_checks(); }
    void quiet_step() override {
        first_.quiet_step();
        second_.quiet_step();
    }
    void quiet_interrupt() override {
        first_.quiet_interrupt();
        second_.quiet_interrupt();
    }

private:
    RunObserver& first_;
    RunObserver& second_;
};
