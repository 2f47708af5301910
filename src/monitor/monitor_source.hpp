// The monitor at source level, from the linker's debug information: the
// source line at every stop, breakpoints on FILE:LINE and on functions,
// `list`, steps by line (`step`, `next`, `finish`), and for C the calls
// that led here (`bt`) and the values of variables (`locals`, `globals`,
// `print`), with C expressions and C types, and the frames of the calls
// (`up`, `down`, `frame N`, `info frame`). The monitor hands it each command line first; what it says
// comes back as text for the monitor to show.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "c/c_context.hpp"
#include "debug/c_values.hpp"
#include "debug/debug_info.hpp"
#include "debug/source_steps.hpp"
#include "debug/source_view.hpp"

class Labels;

// What became of a command line the source level looked at.
struct SourceOutcome {
    enum class Kind : std::uint8_t {
        not_mine,  // the machine-level monitor's, as typed
        done,      // done here: show `text`
        step,      // a step by line begins: the run goes on
        machine,   // the machine-level monitor runs `text` instead (a FILE:LINE made an address), after `note`
    } kind = Kind::not_mine;
    std::string text;
    std::string note;
};

// Writes one byte of the machine's memory (set var).
using PokeByte = std::function<void(std::uint16_t, std::uint8_t)>;

class SourceLevel {
public:
    // `info` may be null (no debug information): then the source-level
    // commands say so. `debug_file` is where it was read, to find sources.
    SourceLevel(const debug_info::DebugInfo* info, const std::string& debug_file, PeekByte peek, PokeByte poke);
    ~SourceLevel();
    SourceLevel(const SourceLevel&) = delete;
    SourceLevel& operator=(const SourceLevel&) = delete;

    // The labels that name the C runtime's routines (for the C frames).
    void use_labels(const Labels& labels);

    // Expressions as the monitor reads them, with the C names of the
    // selected frame (stopped at `pc` with stack pointer `sp`).
    [[nodiscard]] c_view::CContext context(const ExpressionContext& machine, std::uint16_t pc, std::uint8_t sp);
    // With the C names at `pc` alone: a breakpoint's or a watchpoint's
    // condition, worked out where the run is.
    [[nodiscard]] c_view::CContext context_at(const ExpressionContext& machine, std::uint16_t pc);
    // What to say after reading through `context`: a C name that hides a
    // register, the C sources' notes; each once.
    [[nodiscard]] std::string notes(const c_view::CContext& context);

    // At every stop: any step by line is over, and the text that shows
    // where pc is in the source ("FILE:LINE  text\n"), or "".
    [[nodiscard]] std::string at_stop(std::uint16_t pc);

    // A command line, at a stop at `pc` with stack pointer `sp`; `labels`
    // are those loaded, which come before function names.
    [[nodiscard]] SourceOutcome command(std::string_view line, const Labels& labels, std::uint16_t pc,
                                        std::uint8_t sp);

    // A step by line, instruction by instruction.
    [[nodiscard]] bool stepping() const { return step_.has_value(); }
    void before_instruction(std::uint16_t pc, std::uint8_t sp);
    [[nodiscard]] bool after_instruction(std::uint16_t pc, std::uint8_t sp);  // true: the step ends here
    void interrupted(std::uint8_t sp);  // an interrupt was taken; `sp` after it pushed

private:
    [[nodiscard]] std::optional<source_steps::SourceLine> shown_line(std::uint16_t pc);
    [[nodiscard]] std::string file_name(std::uint32_t file) const;
    SourceOutcome breakpoint(const std::string& verb, std::string_view line, const std::vector<std::string_view>& words,
                             const Labels& labels);
    std::string list(const std::vector<std::string_view>& words, std::uint16_t pc);
    std::string backtrace(std::uint16_t pc, std::uint8_t sp);
    std::string variables(std::string_view verb, std::uint16_t pc, std::uint8_t sp);
    std::string print(std::string_view verb, std::string_view line, const Labels& labels, std::uint16_t pc,
                      std::uint8_t sp);
    std::string set_variable(std::string_view line, const Labels& labels, std::uint16_t pc, std::uint8_t sp);
    std::string select_frame(std::string_view verb, const std::vector<std::string_view>& words, std::uint16_t pc,
                             std::uint8_t sp);
    [[nodiscard]] const std::vector<c_view::Frame>& frames(std::uint16_t pc, std::uint8_t sp);
    [[nodiscard]] std::string frame_line(std::size_t index);
    [[nodiscard]] std::string name_of_code(std::uint16_t address) const;

    const debug_info::DebugInfo* info_;
    std::optional<SourceFiles> files_;
    PeekByte peek_;
    PokeByte poke_;
    const Labels* labels_ = nullptr;  // names for code the debug information has none for
    std::unique_ptr<c_view::Program> program_;  // the C view, when there is debug information
    std::optional<std::vector<c_view::Frame>> frames_;  // at this stop, worked out when asked
    std::size_t selected_ = 0;                          // up, down, frame N: the frame looked at
    std::vector<std::string> told_;                     // the notes said once
    std::optional<source_steps::StepState> step_;
    source_steps::Executed executing_;
    // `list` with nothing goes on from here until the next stop.
    std::uint32_t list_file_ = 0;
    std::optional<std::uint32_t> list_next_;
    std::vector<bool> warned_changed_;  // per file: said that it changed since the build
};

// The source-level commands, for the monitor's help.
[[nodiscard]] const char* source_help_text();
