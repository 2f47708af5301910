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
    if (state.call_sp) {
        // Inside a call or interrupt being run through, until it returns.
        if (!is_return(executed.opcode) || executed.sp_after < *state.call_sp) return false;
        state.call_sp.reset();
    } else if (is_return(executed.opcode) && executed.sp_before >= state.level) {
        // The routine the step began in (or, once it has, its caller) returns.
        state.returned = true;
        state.level = executed.sp_after;
    } else if (is_call(executed.opcode) && state.kind != LineStep::into) {
        state.call_sp = executed.sp_before;
        return false;
    }
    if (!here || !here->at_start) return false;
    if (state.returned) return true;
    if (state.kind == LineStep::out) return false;
    return !state.from || here->file != state.from->file || here->line != state.from->line;
}

void line_step_interrupted(StepState& state, std::uint8_t sp_before) {
    if (!state.call_sp) state.call_sp = sp_before;
}

}  // namespace source_steps
