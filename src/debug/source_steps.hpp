// Where a step by source line ends: step into, step over, step out. The
// rules only look at what the caller tells them after each instruction
// (where it was, its opcode, the stack pointer before and after, and the
// source line now at pc). The monitor's source steps follow them; the
// debug adapter's differ where its clients expect other ends (a step out
// stops just after the return, inside the caller's line).
//
// The rules:
// - A line step ends only at the first byte of a line (of one of its
//   spans) whose source can be shown; code without one is run through.
// - into: it ends at the first line start of another line (a loop within
//   one line, such as a wait for a key, runs until it is left).
// - over: as into, but a call made during the step (JSR, BRK) is run
//   through to its return.
// - out: it ends at the first line start after the routine it began in
//   has returned (an RTS or RTI that takes its return address from at or
//   above the stack pointer the step began with); calls are run through.
// - into and over also end at the first line start after such a return,
//   even on the line they began on (the caller's line, when it recurses).
// - An interrupt taken during any line step is run through to its RTI.
// A call is over when an RTS or RTI brings the stack pointer back to where
// it was before the call, wherever pc is: a routine that moves its return
// address (an inline string after the JSR) is still seen to return. The
// returns of calls made inside it do not count, even where the routine has
// pulled its return address first (a print routine that takes the string
// after its JSR, then calls a routine for each character); a routine that
// pulled it and leaves by JMP (ADDR) has returned by that jump.
#pragma once

#include <cstdint>
#include <optional>

namespace source_steps {

enum class LineStep : std::uint8_t { into, over, out };

// A source line where one can be shown: file and line as the debug
// information numbers them.
struct SourceLine {
    std::uint32_t file = 0;
    std::uint32_t line = 0;
    bool at_start = false;  // pc is the first byte of one of the line's spans
};

// An instruction just run during the step.
struct Executed {
    std::uint16_t pc = 0;  // where it began
    std::uint8_t opcode = 0;
    std::uint8_t sp_before = 0;
    std::uint16_t pc_after = 0;
    std::uint8_t sp_after = 0;
};

// A call (JSR, BRK) or an interrupt being run through to its return.
struct CallThrough {
    std::uint8_t frame = 0;               // the stack pointer before it
    std::optional<std::uint8_t> inner;    // a call made inside it, waited out first: the stack pointer before that
};

// After each instruction inside the call: true when it returned.
[[nodiscard]] bool call_through_ends(CallThrough& call, const Executed& executed);
// An interrupt was taken inside the call; `sp_before` as below.
void call_through_interrupted(CallThrough& call, std::uint8_t sp_before);

// A line step under way. Copyable, no pointers: the caller keeps it.
struct StepState {
    LineStep kind = LineStep::into;
    std::optional<SourceLine> from;  // the line it began on, if any
    std::uint16_t start_pc = 0;
    std::uint8_t level = 0;          // the stack pointer of the routine it began in (then of its callers)
    bool returned = false;           // that routine has returned
    std::optional<CallThrough> call;  // a call or interrupt being run through
};

// A step of `kind` from `pc` with stack pointer `sp`, on `here` (the line
// at pc, when one can be shown).
[[nodiscard]] StepState begin_line_step(LineStep kind, std::uint16_t pc, std::uint8_t sp,
                                        const std::optional<SourceLine>& here);

// After each instruction of the step: true when it ends here. `here` is
// the line at executed.pc_after when one can be shown.
[[nodiscard]] bool line_step_ends(StepState& state, const Executed& executed, const std::optional<SourceLine>& here);

// An interrupt was taken during the step; `sp_before` is the stack
// pointer before it pushed the return address and the status.
void line_step_interrupted(StepState& state, std::uint8_t sp_before);

// The opcodes the rules treat as calls and returns (the same on every
// processor this machine has).
[[nodiscard]] constexpr bool is_call(std::uint8_t opcode) { return opcode == 0x20 || opcode == 0x00; }    // JSR, BRK
[[nodiscard]] constexpr bool is_return(std::uint8_t opcode) { return opcode == 0x60 || opcode == 0x40; }  // RTS, RTI
[[nodiscard]] constexpr bool is_indirect_jump(std::uint8_t opcode) { return opcode == 0x6C || opcode == 0x7C; }  // JMP (a), JMP (a,X)

}  // namespace source_steps
