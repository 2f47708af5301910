// --profile in Callgrind's format and as folded stacks: the cost of every
// address (instructions and cycles), and the calls between routines
// (JSR, BRK, interrupts) with their counts and inclusive cost, kept as the
// program makes them (call_tracker.hpp): a return that is a jump (an
// address pushed, then RTS) ends no call, a return past its caller ends
// every call it passes. The cost of each address is the engine's count
// (observe::PROFILE, cpu/observed.hpp) and the calls come as the engine
// tells them (observe::CALLS), so that the run stays in threaded code. A
// library object like the checker.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "debug/debug_info.hpp"
#include "engine/observer.hpp"
#include "inspect/call_tracker.hpp"

class CallProfile {
public:
    // Empties the engine's counts.
    CallProfile();
    // Where the run starts: the outermost routine.
    void start(std::uint16_t pc);
    void call_ran(const CallRan& call);
    // An interrupt sent the processor to cpu.pc, the engine's sums being these.
    void interrupt_taken(std::uint64_t instructions, std::uint64_t cycles);
    // Ends the calls still open, as the run ended: before the output.
    void finish();

    // Callgrind's format; `info` (may be null) gives files, functions and
    // lines, else each routine is named by its entry's address.
    [[nodiscard]] std::string callgrind(const debug_info::DebugInfo* info, const std::string& command) const;
    // A line per call stack: the routines' names from the outermost, ';'
    // between, then the cycles spent with exactly that stack.
    [[nodiscard]] std::string folded(const debug_info::DebugInfo* info) const;
    [[nodiscard]] std::uint64_t total_cycles() const { return total_cycles_; }

private:
    struct Edge {
        std::uint16_t call_pc, entry;
        std::uint64_t calls, instructions, cycles;  // inclusive
    };
    struct Node {
        std::uint32_t parent;
        std::uint16_t entry;
        std::uint64_t cycles;
        std::uint32_t last_child;  // the child found last (0: none; the root is no child)
    };
    struct Open {
        std::uint32_t edge;
        std::uint32_t node;
        std::uint64_t instructions, cycles;  // the run's totals when the call began
        bool counts;                         // its inclusive cost counts (not a call within a call of the same routine)
        std::uint16_t call_pc, entry;
        std::uint8_t sp;
    };
    [[nodiscard]] std::uint32_t edge(std::uint16_t call_pc, std::uint16_t entry);
    [[nodiscard]] std::uint32_t child(std::uint32_t parent, std::uint16_t entry);
    [[nodiscard]] std::uint32_t find_edge(std::uint16_t call_pc, std::uint16_t entry);
    [[nodiscard]] std::uint32_t find_child(std::uint32_t parent, std::uint16_t entry);
    void follow_calls();  // the open calls after the tracker moved
    // The cost since the last call or return, the engine's sums now being
    // these, goes to the stack of calls open until now.
    void ran_to(std::uint64_t instructions, std::uint64_t cycles);

    std::vector<Edge> edges_;
    std::vector<std::uint32_t> edge_slots_;  // open addressing: edge index + 1, or 0
    std::vector<std::uint32_t> edge_at_ = std::vector<std::uint32_t>(0x10000);  // per call site: its last edge + 1, or 0
    std::vector<Node> nodes_;
    std::vector<std::uint32_t> node_slots_;
    std::vector<Open> open_;
    std::vector<std::uint32_t> active_ = std::vector<std::uint32_t>(0x10000);  // per entry: open calls to it
    CallTracker tracker_;
    std::uint64_t total_instructions_ = 0;
    std::uint64_t total_cycles_ = 0;
    std::uint16_t start_ = 0;
};

class CallProfileObserver final : public CountingObserver {
public:
    explicit CallProfileObserver(CallProfile& profile) : profile_(profile) {}
    [[nodiscard]] unsigned threaded_checks() const override;
    void call_ran(const CallRan& call) override {
        if (!probing_) profile_.call_ran(call);
    }
    void interrupt_taken() override;

private:
    CallProfile& profile_;
};
