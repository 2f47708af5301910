#include "engine/past.hpp"

MachineState& Past::add() {
    if (count_ == PAST_KEPT) {
        first_ = (first_ + 1) % PAST_KEPT;
        --count_;
        why_ = PastLimit::kept;
    }
    ++count_;
    return states_[(first_ + count_ - 1) % PAST_KEPT];
}

const MachineState& Past::at_or_before(std::uint64_t instructions) const {
    std::size_t i = count_ - 1;
    while (i > 0 && at(i).instructions > instructions) --i;
    return at(i);
}

const MachineState* Past::before(const MachineState& state) const {
    for (std::size_t i = count_ - 1; i > 0; --i)
        if (&at(i) == &state) return &at(i - 1);
    return nullptr;
}
