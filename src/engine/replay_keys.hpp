// A replay's keys as the engine delivers them: each armed for exactly the
// instruction that read it when recorded, which then runs alone.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <tuple>
#include <utility>

#include "bus/devices.hpp"
#include "engine/run_loop.hpp"

class ReplayKeys {
public:
    ReplayKeys(std::span<const ScriptedKey> keys, bool cut_off)
        : keys_(keys), cut_off_(cut_off), reads_at_last_(console_script_reads()) {}

    // Arms the keys of the instruction after `counted` ones, which must
    // then run alone (true); otherwise bounds the stretch to end before
    // the next key's instruction.
    [[nodiscard]] bool arm(std::uint64_t counted, std::uint64_t& bound) {
        if (next_ == keys_.size()) return false;
        if (keys_[next_].instruction != counted) {
            bound = std::min(bound, keys_[next_].instruction - counted);
            return false;
        }
        const std::size_t first = next_;
        while (next_ < keys_.size() && keys_[next_].instruction == counted) ++next_;
        armed_ = next_ - first;
        console_script_keys(keys_.subspan(first, armed_));
        return true;
    }

    // After the armed instruction, which had to read every key armed for
    // it: false when it did not, `outcome` then saying which key.
    [[nodiscard]] bool all_read(RunOutcome& outcome) {
        const std::size_t left = console_script_left();
        console_script_keys({});
        armed_ = 0;
        reads_at_last_ = console_script_reads();
        if (left == 0) return true;
        outcome.end = RunEnd::departed;
        outcome.departed_key = next_ - left;
        return false;
    }

    // A recording cut off before its end line: past its last key, every
    // instruction runs alone, so that the first keyboard read ends the run
    // right there.
    [[nodiscard]] bool one_at_a_time() const { return cut_off_ && next_ == keys_.size(); }
    [[nodiscard]] bool read_past_recording() const {
        return cut_off_ && next_ == keys_.size() && console_script_reads() != reads_at_last_;
    }

    // Between instructions, where steps backwards take it back to.
    [[nodiscard]] std::pair<std::size_t, std::uint64_t> state() const { return {next_, reads_at_last_}; }
    void restore(std::pair<std::size_t, std::uint64_t> state) { std::tie(next_, reads_at_last_) = state; }

private:
    std::span<const ScriptedKey> keys_;
    bool cut_off_;
    std::size_t next_ = 0;
    std::size_t armed_ = 0;
    std::uint64_t reads_at_last_;
};
