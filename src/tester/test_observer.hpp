// What watches a test's run: it ends the run where the target ends (a range's
// last address; a routine's RTS and a handler's RTI return to $0000, where
// every run ends), at the cycle limit, or at a crash; it answers for mocked
// routines; and it counts the reads, writes and calls the test asks about.
// Everything it keeps is sized before the run.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/observer.hpp"
#include "tester/test_spec.hpp"
#include "tester/test_watch.hpp"

namespace tester {

struct CallRecord {
    std::uint16_t address = 0;
    const Mock* mock = nullptr;  // replaced by the mock, else only counted
    std::uint64_t count = 0;
    std::vector<std::array<std::uint8_t, 3>> args;  // a, x, y at each call (the first ones kept)
};

struct AccessRecord {
    std::uint16_t address = 0;
    std::uint64_t reads = 0, writes = 0;
    std::vector<std::uint8_t> written;  // the values, in order (the first ones kept)
};

// Why the run ended early: the target's end, the cycle limit, a crash, or
// the observer beside (a check that fired).
enum class RunStop : std::uint8_t { none, range_end, limit, crash, watcher };

class TestObserver final : public RunObserver {
public:
    // `code_from`..`code_to` (exclusive) is where the program's code may
    // run; elsewhere is a wild jump, unless the test put bytes there.
    // `watch` (may be null) hears what the mocks write.
    TestObserver(const Test& test, std::uint32_t code_from, std::uint32_t code_to, bool jam_is_crash,
                 TestWatch* watch = nullptr);

    [[nodiscard]] RunStop stopped() const { return stopped_; }
    [[nodiscard]] const char* crash() const { return crash_; }
    [[nodiscard]] std::uint16_t stop_pc() const { return stop_pc_; }
    [[nodiscard]] std::uint8_t last_opcode() const { return last_opcode_; }
    [[nodiscard]] const std::vector<CallRecord>& calls() const { return calls_; }
    [[nodiscard]] const std::vector<AccessRecord>& accesses() const { return accesses_; }
    void start(std::uint8_t sp) { sp_before_ = sp; }

    [[nodiscard]] unsigned threaded_checks() const override { return 0; }
    [[nodiscard]] bool one_at_a_time() const override { return true; }
    [[nodiscard]] ObserverStop stop_at_start() override { return {}; }
    [[nodiscard]] const char* stop_before() override;
    void step_before() override;
    void step_after(std::uint16_t pc, std::uint32_t cycles) override;
    void interrupt_taken() override {}
    void timer_request() override {}
    [[nodiscard]] std::uint64_t stop_count() const override { return UINT64_MAX; }
    [[nodiscard]] ObserverStop stop_due(const RunCounts& counts) override;
    [[nodiscard]] bool stops_at_halt() const override { return false; }
    [[nodiscard]] const char* stop_at_end() override { return nullptr; }
    void converse(const char* reason, const RunCounts& counts) override;

private:
    void end_here(RunStop why);
    void answer_mock(CallRecord& call);
    [[nodiscard]] bool may_run_at(std::uint16_t pc) const;

    const Test& test_;
    TestWatch* watch_;
    std::uint32_t code_from_, code_to_;
    bool jam_is_crash_;
    std::vector<CallRecord> calls_;
    std::vector<AccessRecord> accesses_;
    std::array<std::uint8_t, 0x10000> watched_{};  // 1 + index into accesses_, or 0
    std::vector<std::uint16_t> pending_writes_;
    CallRecord* pending_mock_ = nullptr;
    RunStop stopped_ = RunStop::none;
    RunStop asked_ = RunStop::none;  // stop_before's or step_after's, for converse
    char crash_[128] = "";
    std::uint16_t stop_pc_ = 0;
    std::uint8_t last_opcode_ = 0;
    unsigned sp_before_ = 0xFF;
};

}  // namespace tester
