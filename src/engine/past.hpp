// The past a deterministic run keeps for steps backwards: the whole machine
// every PAST_INTERVAL instructions, in a ring of PAST_KEPT, from which the
// engine runs forward again to any instruction since. Given the same
// inputs the run is the same, so that run forward again is the run that was.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>

#include "bus/devices.hpp"
#include "cpu/state.hpp"
#include "engine/timers.hpp"

// Everything the next instructions of a deterministic run depend on.
struct MachineState {
    std::array<u8, 0x10000> memory;
    Cpu cpu;
    DeviceState devices;
    CycleTimer::State timer;
    std::pair<std::size_t, std::uint64_t> keys;  // a replay's place in its keys
    std::uint64_t instructions, cycles;
};

// 512 states of a little over 64 KiB: 32 MiB, reaching back at least
// 511 x 32,768 = 16,744,448 instructions. Re-running one interval takes a
// fraction of a millisecond.
inline constexpr std::uint64_t PAST_INTERVAL = 1u << 15;
inline constexpr std::size_t PAST_KEPT = 512;
// Standard input kept for re-running (bytes); past it the run cannot be
// taken back across the byte that did not fit.
inline constexpr std::size_t PAST_INPUT = 1u << 20;

// Why no step back reaches before the earliest state kept.
enum class PastLimit { start, kept, data_file, input, by_hand };

class Past {
public:
    Past() : states_(new MachineState[PAST_KEPT]) {}

    // States are kept at whole intervals of the count, so that the same
    // run keeps the same ones however its stretches fall.
    [[nodiscard]] std::uint64_t next_due() const {
        return count_ == 0 ? 0 : (newest().instructions / PAST_INTERVAL + 1) * PAST_INTERVAL;
    }
    // The slot for a new newest state; when all are taken the oldest gives way.
    [[nodiscard]] MachineState& add();
    // Forgets every state: nothing before the next one can be re-run to.
    void clear(PastLimit why) {
        count_ = 0;
        why_ = why;
    }
    [[nodiscard]] bool empty() const { return count_ == 0; }
    [[nodiscard]] const MachineState& oldest() const { return states_[first_]; }
    [[nodiscard]] const MachineState& newest() const { return at(count_ - 1); }
    // The newest state at or before `instructions` (there must be one).
    [[nodiscard]] const MachineState& at_or_before(std::uint64_t instructions) const;
    // The state kept before `state`, or nullptr.
    [[nodiscard]] const MachineState* before(const MachineState& state) const;
    [[nodiscard]] PastLimit why() const { return why_; }

    // Memory as it was when the observer began to talk: a change by hand
    // is a point that nothing earlier can be re-run across.
    std::array<u8, 0x10000> before_talk;
    Cpu cpu_before_talk;

private:
    [[nodiscard]] const MachineState& at(std::size_t i) const { return states_[(first_ + i) % PAST_KEPT]; }

    std::unique_ptr<MachineState[]> states_;
    std::size_t first_ = 0;
    std::size_t count_ = 0;
    PastLimit why_ = PastLimit::start;
};
