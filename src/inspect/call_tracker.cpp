#include "inspect/call_tracker.hpp"

void CallTracker::drop_below(std::uint8_t sp) {
    // A call whose bytes the new one overwrote (S where it was) is over too:
    // the calls kept never outnumber the stack's bytes.
    while (!calls_.empty() && calls_.back().sp <= sp) pop();
}

void CallTracker::called(std::uint16_t pc, std::uint16_t entry, std::uint8_t sp) {
    drop_below(sp);
    calls_.push_back({pc, entry, static_cast<std::uint16_t>(pc + 3), sp, false});
}

void CallTracker::interrupted(std::uint16_t pc, std::uint16_t return_to, std::uint16_t entry, std::uint8_t sp) {
    drop_below(sp);
    calls_.push_back({pc, entry, return_to, sp, true});
}

ReturnSeen CallTracker::classify(std::uint8_t sp_before, std::uint16_t target, bool rti) const {
    if (calls_.empty()) return {};
    const TrackedCall call = calls_.back();
    const unsigned pulled = rti ? 3 : 2;
    ReturnSeen seen{ReturnMatch::matched, call};
    if (sp_before == call.sp) {
        if (target != call.return_to) seen.match = ReturnMatch::elsewhere;
    } else if (sp_before < call.sp) {
        // The bytes pulled were all pushed since the call: a jump, and the
        // call goes on. One of them pushed, the rest the call's: left over.
        if (static_cast<unsigned>(sp_before) + pulled <= call.sp) return {ReturnMatch::jump, call};
        seen.match = ReturnMatch::left_pushed;
    } else {
        seen.match = ReturnMatch::unwound;
    }
    return seen;
}

ReturnSeen CallTracker::returned(std::uint8_t sp_before, std::uint16_t target, bool rti) {
    const ReturnSeen seen = classify(sp_before, target, rti);
    if (seen.match == ReturnMatch::jump || seen.match == ReturnMatch::no_call) return seen;
    const unsigned pulled = rti ? 3 : 2;
    // Every call whose bytes this return pulled, or that lies below where
    // S now points, is over.
    const unsigned after = sp_before + pulled;
    pop();
    while (!calls_.empty() && calls_.back().sp < after) pop();
    return seen;
}
