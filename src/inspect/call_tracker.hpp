// The calls a run makes, as it makes them: a frame for each JSR, BRK and
// interrupt, taken off by the RTS or RTI that returns from it. Unlike a
// walk of the 6502 stack afterwards (debug/call_stack.hpp), it knows where
// each call came from and how many bytes it pushed, which the checks and
// the call-graph profile need.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

struct TrackedCall {
    std::uint16_t call_pc = 0;    // the JSR or BRK; for an interrupt, the pc it stopped
    std::uint16_t entry = 0;      // where the call went
    std::uint16_t return_to = 0;  // where its return must land
    std::uint8_t sp = 0;          // S after the call's pushes: its bytes lie just above
    bool interrupt = false;       // BRK or an interrupt: RTI returns from it
};

// How a return matched the innermost call.
enum class ReturnMatch : std::uint8_t {
    matched,       // S at the call's bytes, back to where it came from
    elsewhere,     // S at the call's bytes, but to another place (the return address was changed)
    left_pushed,   // one byte pushed since the call was still there: S one below the call's bytes
    jump,          // both bytes pulled were pushed since the call: the push-an-address-then-RTS jump
    unwound,       // S above the call's bytes: it pulled bytes of its call (or older calls)
    no_call,       // no call known: a return used as a jump from the start
};

struct ReturnSeen {
    ReturnMatch match = ReturnMatch::no_call;
    TrackedCall call;  // the innermost call, for every match but no_call
};

class CallTracker {
public:
    // Room for as many calls as the stack has bytes, copies too: following
    // a run never allocates.
    CallTracker() { calls_.reserve(256); }
    CallTracker(const CallTracker& other) : unchanged_(other.unchanged_) {
        calls_.reserve(256);
        calls_ = other.calls_;
    }
    CallTracker& operator=(const CallTracker&) = default;
    CallTracker(CallTracker&&) = default;
    CallTracker& operator=(CallTracker&&) = default;
    void clear() {
        calls_.clear();
        unchanged_ = 0;
    }
    // A JSR at `pc` to `entry` left S at `sp`, having pushed pc + 2.
    void called(std::uint16_t pc, std::uint16_t entry, std::uint8_t sp);
    // BRK at `pc`, or an interrupt at `pc` (return_to = pc), went to `entry`.
    void interrupted(std::uint16_t pc, std::uint16_t return_to, std::uint16_t entry, std::uint8_t sp);
    // How an RTS or RTI that found S at `sp_before` and went to `target`
    // matches the innermost call; then `returned` takes off the calls it
    // ended (none when it was a jump).
    [[nodiscard]] ReturnSeen classify(std::uint8_t sp_before, std::uint16_t target, bool rti) const;
    ReturnSeen returned(std::uint8_t sp_before, std::uint16_t target, bool rti);
    // A call as another follower of the same run kept it (after clear).
    void push(const TrackedCall& call) { calls_.push_back(call); }
    [[nodiscard]] const std::vector<TrackedCall>& calls() const { return calls_; }
    // How many calls at the bottom are as they were when last asked: a
    // follower need not compare them.
    [[nodiscard]] std::size_t take_unchanged() { return std::exchange(unchanged_, calls_.size()); }

private:
    // Calls whose bytes lie below `sp` were dropped (a TXS, a pull of the
    // return address): a new call over them ends them.
    void drop_below(std::uint8_t sp);
    void pop() {
        calls_.pop_back();
        unchanged_ = std::min(unchanged_, calls_.size());
    }
    std::vector<TrackedCall> calls_;
    std::size_t unchanged_ = 0;
};
