#include "debug/source_steps.hpp"

namespace source_steps {

StepState begin_line_step(LineStep kind, std::uint16_t pc, std::uint8_t sp, const std::optional<SourceLine>& here) {
    StepState state;
    state.kind = kind;
    state.from = here;
    state.start_pc = pc;
    state.level = sp;
    return state;
}

bool line_step_ends(StepState& state, const Executed& executed, const std::optional<SourceLine>& here) {
    if (state.call) {
        // Inside a call or interrupt being run through, until it returns.
        if (!call_through_ends(*state.call, executed)) return false;
        state.call.reset();
    } else if (is_return(executed.opcode) && executed.sp_before >= state.level) {
        // The routine the step began in (or, once it has, its caller) returns.
        state.returned = true;
        state.level = executed.sp_after;
    } else if (is_call(executed.opcode) && state.kind != LineStep::into) {
        state.call = CallThrough{executed.sp_before, std::nullopt};
        return false;
    }
    if (!here || !here->at_start) return false;
    if (state.returned) return true;
    if (state.kind == LineStep::out) return false;
    return !state.from || here->file != state.from->file || here->line != state.from->line;
}

void line_step_interrupted(StepState& state, std::uint8_t sp_before) {
    if (!state.call) state.call = CallThrough{sp_before, std::nullopt};
    else call_through_interrupted(*state.call, sp_before);
}

bool call_through_ends(CallThrough& call, const Executed& executed) {
    // At or above `from` on the stack (which wraps within its page).
    const auto at_or_above = [&](std::uint8_t from) { return static_cast<std::int8_t>(executed.sp_after - from) >= 0; };
    if (call.inner) {
        if (is_return(executed.opcode) && at_or_above(*call.inner)) call.inner.reset();
        return false;
    }
    if (is_call(executed.opcode) && executed.sp_after != executed.sp_before) {
        call.inner = executed.sp_before;
        return false;
    }
    return (is_return(executed.opcode) || is_indirect_jump(executed.opcode)) && at_or_above(call.frame);
}

void call_through_interrupted(CallThrough& call, std::uint8_t sp_before) {
    if (!call.inner) call.inner = sp_before;
}

}  // namespace source_steps
