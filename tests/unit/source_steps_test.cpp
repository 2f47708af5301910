// Where a step by source line ends, fed the instructions a run would make:
// the rules of the monitor's step, next and finish.
#include "debug/source_steps.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

using source_steps::LineStep;
using source_steps::SourceLine;

constexpr std::uint8_t JSR = 0x20, RTS = 0x60, RTI = 0x40, BRK = 0x00, PHA = 0x48, PLA = 0x68, LDA = 0xA9,
                       JMP_INDIRECT = 0x6C;

// One instruction of the run (or an interrupt taken), and where it leaves
// pc: on `line` (0: no line that can be shown), at its start or inside it.
struct Event {
    std::uint8_t opcode;
    std::uint8_t sp_before;
    std::uint8_t sp_after;
    std::uint32_t line;
    bool at_start;
    bool interrupt = false;  // an interrupt taken: sp_before is before it pushed
};

Event op(std::uint8_t opcode, std::uint8_t sp_before, std::uint8_t sp_after, std::uint32_t line, bool at_start) {
    return {opcode, sp_before, sp_after, line, at_start};
}
Event irq(std::uint8_t sp_before) { return {0, sp_before, static_cast<std::uint8_t>(sp_before - 3), 0, false, true}; }

struct StepCase {
    const char* name;
    LineStep kind;
    std::uint8_t sp;          // at the start
    std::uint32_t from_line;  // 0: the step begins where no line is shown
    std::vector<Event> events;
    int ends_at;              // the event after which the step ends; -1: not within them
};
void PrintTo(const StepCase& c, std::ostream* os) { *os << c.name; }

const StepCase STEP_CASES[] = {
    {"into_ends_at_the_next_line_start", LineStep::into, 0xFD, 10,
     {op(LDA, 0xFD, 0xFD, 10, false), op(LDA, 0xFD, 0xFD, 11, true)}, 1},
    {"into_goes_on_inside_a_line", LineStep::into, 0xFD, 10,
     {op(LDA, 0xFD, 0xFD, 11, false), op(LDA, 0xFD, 0xFD, 11, false), op(LDA, 0xFD, 0xFD, 12, true)}, 2},
    {"into_runs_a_loop_within_its_line", LineStep::into, 0xFD, 10,
     {op(LDA, 0xFD, 0xFD, 10, false), op(LDA, 0xFD, 0xFD, 10, true), op(LDA, 0xFD, 0xFD, 10, false),
      op(LDA, 0xFD, 0xFD, 10, true), op(LDA, 0xFD, 0xFD, 11, true)}, 4},
    {"into_follows_a_call", LineStep::into, 0xFD, 10, {op(JSR, 0xFD, 0xFB, 50, true)}, 0},
    {"into_runs_through_code_without_source", LineStep::into, 0xFD, 10,
     {op(JSR, 0xFD, 0xFB, 0, false), op(LDA, 0xFB, 0xFB, 0, false), op(RTS, 0xFB, 0xFD, 10, false),
      op(LDA, 0xFD, 0xFD, 11, true)}, 3},
    {"into_from_no_line_ends_at_the_first_line_start", LineStep::into, 0xFD, 0,
     {op(LDA, 0xFD, 0xFD, 0, false), op(LDA, 0xFD, 0xFD, 7, false), op(LDA, 0xFD, 0xFD, 7, true)}, 2},
    {"into_ends_on_its_own_line_after_a_return", LineStep::into, 0xFB, 10,
     {op(RTS, 0xFB, 0xFD, 10, false), op(LDA, 0xFD, 0xFD, 10, true)}, 1},
    {"over_runs_a_call_through", LineStep::over, 0xFD, 10,
     {op(JSR, 0xFD, 0xFB, 50, true), op(LDA, 0xFB, 0xFB, 51, true), op(RTS, 0xFB, 0xFD, 11, true)}, 2},
    {"over_runs_nested_calls_through", LineStep::over, 0xFD, 10,
     {op(JSR, 0xFD, 0xFB, 50, true), op(JSR, 0xFB, 0xF9, 60, true), op(RTS, 0xF9, 0xFB, 51, true),
      op(RTS, 0xFB, 0xFD, 10, false), op(LDA, 0xFD, 0xFD, 11, true)}, 4},
    // The inline-string idiom: the routine pulls its return address, moves
    // it past the text and pushes it back before its RTS.
    {"over_sees_a_routine_that_moves_its_return_address", LineStep::over, 0xFD, 10,
     {op(JSR, 0xFD, 0xFB, 0, false), op(PLA, 0xFB, 0xFC, 0, false), op(PLA, 0xFC, 0xFD, 0, false),
      op(LDA, 0xFD, 0xFD, 12, true), op(PHA, 0xFD, 0xFC, 0, false), op(PHA, 0xFC, 0xFB, 0, false),
      op(RTS, 0xFB, 0xFD, 12, true)}, 6},
    // The same routine calling another for each character once it has
    // pulled the address: the inner call's RTS leaves the stack where it
    // was before the JSR, but it is not the routine's return.
    {"over_waits_out_calls_made_after_the_pull", LineStep::over, 0xFD, 10,
     {op(JSR, 0xFD, 0xFB, 0, false), op(PLA, 0xFB, 0xFC, 0, false), op(PLA, 0xFC, 0xFD, 0, false),
      op(JSR, 0xFD, 0xFB, 0, false), op(RTS, 0xFB, 0xFD, 12, true), op(PHA, 0xFD, 0xFC, 0, false),
      op(PHA, 0xFC, 0xFB, 0, false), op(RTS, 0xFB, 0xFD, 12, true)}, 7},
    {"over_takes_a_jump_through_the_pulled_address_as_the_return", LineStep::over, 0xFD, 10,
     {op(JSR, 0xFD, 0xFB, 0, false), op(PLA, 0xFB, 0xFC, 0, false), op(PLA, 0xFC, 0xFD, 0, false),
      op(LDA, 0xFD, 0xFD, 12, true), op(JMP_INDIRECT, 0xFD, 0xFD, 12, true)}, 4},
    {"over_runs_a_brk_through_to_its_rti", LineStep::over, 0xFD, 10,
     {op(BRK, 0xFD, 0xFA, 90, true), op(RTI, 0xFA, 0xFD, 11, true)}, 1},
    {"over_ends_in_the_caller_when_its_routine_returns", LineStep::over, 0xFB, 52,
     {op(RTS, 0xFB, 0xFD, 10, false), op(JSR, 0xFD, 0xFB, 50, true), op(RTS, 0xFB, 0xFD, 10, false),
      op(LDA, 0xFD, 0xFD, 11, true)}, 3},
    {"out_ends_at_the_callers_next_line", LineStep::out, 0xFB, 50,
     {op(LDA, 0xFB, 0xFB, 51, true), op(JSR, 0xFB, 0xF9, 60, true), op(RTS, 0xF9, 0xFB, 52, true),
      op(RTS, 0xFB, 0xFD, 10, false), op(LDA, 0xFD, 0xFD, 11, true)}, 4},
    {"out_ends_at_once_when_the_return_lands_on_a_line_start", LineStep::out, 0xFB, 50,
     {op(RTS, 0xFB, 0xFD, 11, true)}, 0},
    {"out_after_the_routine_pushed_and_pulled", LineStep::out, 0xFB, 50,
     {op(PHA, 0xFB, 0xFA, 51, true), op(PLA, 0xFA, 0xFB, 52, true), op(RTS, 0xFB, 0xFD, 11, true)}, 2},
    // A byte pulled before a call makes that call's return look higher up
    // than the step's start: only a return address taken from at or above
    // the start ends the routine.
    {"out_is_not_fooled_by_a_call_after_a_pull", LineStep::out, 0xFB, 50,
     {op(PLA, 0xFB, 0xFC, 51, true), op(JSR, 0xFC, 0xFA, 60, true), op(RTS, 0xFA, 0xFC, 52, true),
      op(RTS, 0xFC, 0xFE, 11, true)}, 3},
    {"out_through_a_caller_without_source", LineStep::out, 0xF9, 60,
     {op(RTS, 0xF9, 0xFB, 0, false), op(LDA, 0xFB, 0xFB, 0, false), op(RTS, 0xFB, 0xFD, 10, false),
      op(LDA, 0xFD, 0xFD, 11, true)}, 3},
    {"an_interrupt_is_run_through_by_into", LineStep::into, 0xFD, 10,
     {irq(0xFD), op(LDA, 0xFA, 0xFA, 90, true), op(RTI, 0xFA, 0xFD, 10, false), op(LDA, 0xFD, 0xFD, 11, true)}, 3},
    {"an_interrupt_inside_a_call_run_through", LineStep::over, 0xFD, 10,
     {op(JSR, 0xFD, 0xFB, 50, true), irq(0xFB), op(RTI, 0xF8, 0xFB, 50, false), op(RTS, 0xFB, 0xFD, 11, true)}, 3},
    {"a_routine_that_never_returns_keeps_out_going", LineStep::out, 0xFB, 50,
     {op(LDA, 0xFB, 0xFB, 51, true), op(LDA, 0xFB, 0xFB, 50, true), op(LDA, 0xFB, 0xFB, 51, true)}, -1},
};

class LineSteps : public testing::TestWithParam<StepCase> {};

TEST_P(LineSteps, EndWhereTheRulesSay) {
    const StepCase& c = GetParam();
    const auto line = [](std::uint32_t number, bool at_start) -> std::optional<SourceLine> {
        if (number == 0) return std::nullopt;
        return SourceLine{1, number, at_start};
    };
    source_steps::StepState state =
        source_steps::begin_line_step(c.kind, 0x0300, c.sp, line(c.from_line, true));
    int ended = -1;
    for (std::size_t i = 0; i < c.events.size() && ended < 0; ++i) {
        const Event& e = c.events[i];
        if (e.interrupt) {
            source_steps::line_step_interrupted(state, e.sp_before);
            continue;
        }
        const source_steps::Executed executed{0x0300, e.opcode, e.sp_before, 0x0400, e.sp_after};
        if (source_steps::line_step_ends(state, executed, line(e.line, e.at_start))) ended = static_cast<int>(i);
    }
    EXPECT_EQ(ended, c.ends_at);
}

INSTANTIATE_TEST_SUITE_P(Rules, LineSteps, testing::ValuesIn(STEP_CASES),
                         [](const auto& info) { return std::string(info.param.name); });

// Another file's line of the same number is another line.
TEST(LineSteps, AnotherFileIsAnotherLine) {
    auto state = source_steps::begin_line_step(LineStep::into, 0x0300, 0xFD, SourceLine{1, 10, true});
    EXPECT_FALSE(source_steps::line_step_ends(state, {0x0300, LDA, 0xFD, 0x0302, 0xFD}, SourceLine{1, 10, true}));
    EXPECT_TRUE(source_steps::line_step_ends(state, {0x0302, LDA, 0xFD, 0x0304, 0xFD}, SourceLine{2, 10, true}));
}

}  // namespace
