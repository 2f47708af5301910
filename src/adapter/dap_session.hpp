// The debug adapter as the engine's observer: it keeps the client's
// breakpoints, data breakpoints and steps in the tables the threaded code
// reads, and while the machine stands still it answers the client's
// requests about it (stack, variables, memory, disassembly, expressions).
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "adapter/dap_c_view.hpp"
#include "adapter/dap_connection.hpp"
#include "adapter/dap_inbox.hpp"
#include "debug/data_accesses.hpp"
#include "debug/debug_info.hpp"
#include "debug/labels.hpp"
#include "debug/source_steps.hpp"
#include "debug/source_view.hpp"
#include "engine/observer.hpp"
#include "inspect/checker.hpp"

struct DapSessionSetup {
    const debug_info::DebugInfo* info = nullptr;  // null: machine level only
    std::string debug_file;                       // its path, to find the sources beside it
    bool stop_on_entry = false;
    bool deterministic = false;                   // the run can step backwards
    nlohmann::json launch_request;                // answered when the machine is ready
    std::function<void()> on_leave;               // the client left or asked to end: never returns
    std::string image_labels;                     // NAME.lbl beside the image: the names the debug information lacks
    // A line of the monitor's command language, run on the stopped machine
    // (the Debug Console's), and the words it takes; none: expressions only.
    std::function<std::string(const std::string& line, const Labels& labels)> console;
    std::vector<std::string> console_words;
    Checker* checker = nullptr;                   // --check's: the exception filters turn its checks on and off
};

class DapSession final : public RunObserver {
public:
    DapSession(DapConnection& connection, DapInbox& inbox, DapSessionSetup setup);
    ~DapSession() override;
    DapSession(const DapSession&) = delete;
    DapSession& operator=(const DapSession&) = delete;

    // Whether the program got as far as its first instruction (the launch
    // was answered).
    [[nodiscard]] bool launched() const { return launched_; }

    // RunObserver
    [[nodiscard]] unsigned threaded_checks() const override;
    [[nodiscard]] bool one_at_a_time() const override { return skip_break_ || step_ != Step::none; }
    [[nodiscard]] ObserverStop stop_at_start() override { return {true, nullptr}; }
    [[nodiscard]] const char* stop_before() override;
    void step_before() override;
    void step_after(std::uint16_t pc, std::uint32_t cycles) override;
    void interrupt_taken() override;
    void timer_request() override;
    [[nodiscard]] std::uint64_t stop_count() const override { return UINT64_MAX; }
    [[nodiscard]] ObserverStop stop_due(const RunCounts& counts) override;
    [[nodiscard]] bool stops_at_halt() const override { return true; }
    [[nodiscard]] const char* stop_at_end() override { return nullptr; }
    void converse(const char* reason, const RunCounts& counts) override;
    [[nodiscard]] bool keeps_past() const override { return setup_.deterministic; }
    [[nodiscard]] RewindRequest rewind_asked() override { return std::exchange(rewind_, RewindRequest{}); }
    void probing(bool on) override {
        probing_ = on;
        skip_break_ = false;
    }

private:
    enum class Step : std::uint8_t { none, instruction, into, over, out };
    struct Breakpoint {
        int id = 0;
        std::uint16_t address = 0;
        std::string condition;  // a monitor expression; empty: always
        std::uint64_t hit_after = 0;  // stops from this hit on (hitCondition N: the Nth)
        std::uint64_t hits = 0;
        std::string log_message;  // a logpoint: said, with {EXPR} filled in, instead of stopping
    };
    struct Watch {
        std::uint16_t first = 0, last = 0;
        std::uint8_t access = 0;
    };

    using Handler = void (DapSession::*)(const nlohmann::json& request);
    [[nodiscard]] static Handler stopped_handler(const std::string& command);
    // Requests while the machine stands still: true when it moves on.
    bool handle(const nlohmann::json& request);
    // Requests while it runs: answered, or a stop asked for.
    void handle_running(const nlohmann::json& request);
    void leave();  // the client left: end at once, as a stop signal ends a run

    void set_breakpoints(const nlohmann::json& request);
    // Function and instruction breakpoints: each row's address (-1 and a
    // message when it has none) by `address_of`.
    using AddressOf = std::function<long(const nlohmann::json& row, std::string& message)>;
    void set_address_breakpoints(const nlohmann::json& request, std::vector<Breakpoint>& list,
                                 const AddressOf& address_of);
    void set_function_breakpoints(const nlohmann::json& request);
    void set_instruction_breakpoints(const nlohmann::json& request);
    void data_breakpoint_info(const nlohmann::json& request);
    void set_data_breakpoints(const nlohmann::json& request);
    void set_exception_breakpoints(const nlohmann::json& request);
    void stack_trace(const nlohmann::json& request);
    void scopes(const nlohmann::json& request);
    void variables(const nlohmann::json& request);
    void evaluate(const nlohmann::json& request);
    void set_variable(const nlohmann::json& request);
    void tell_c_notes();
    void set_expression(const nlohmann::json& request);
    void read_memory(const nlohmann::json& request);
    void write_memory(const nlohmann::json& request);
    void disassemble(const nlohmann::json& request);
    void goto_targets(const nlohmann::json& request);
    void go_to(const nlohmann::json& request);
    void completions(const nlohmann::json& request);
    void loaded_sources(const nlohmann::json& request);
    bool restart(const nlohmann::json& request);  // true when asked of the engine
    // A C expression in the top frame, or a monitor expression: its value
    // as text (`brief`: a monitor expression's in hex alone), or nullopt
    // with `error` set.
    [[nodiscard]] std::optional<std::string> value_text(const std::string& text, std::string& error, bool brief);
    void log(const Breakpoint& breakpoint);  // a logpoint reached
    void tell_stopped(nlohmann::json body);  // the output so far first
    void start_step(Step step, const nlohmann::json& arguments);

    void mark_breakpoints();
    void mark_watches();
    [[nodiscard]] bool breakpoint_hits(Breakpoint& breakpoint);
    // Where each frame is: pc, then each caller's JSR.
    [[nodiscard]] std::vector<std::uint16_t> frames() const;
    [[nodiscard]] nlohmann::json source_of(std::uint32_t file);
    [[nodiscard]] std::string function_name(std::uint16_t address) const;
    // The files of the debug information that `path` names.
    [[nodiscard]] std::vector<std::uint32_t> files_named(const std::string& path);
    [[nodiscard]] bool at_line_start(std::uint16_t pc, std::optional<debug_info::Location>& where) const;
    void stop(const char* reason) {
        stop_due_ = true;
        stop_reason_ = reason;
    }
    // stepBack, reverseContinue: true when asked of the engine.
    bool step_back(const nlohmann::json& request, bool to_last_stop);
    // A step back by line goes on, an instruction at a time, to the first
    // byte of another line at the same depth or above: true while it does.
    bool stepping_back();

    DapConnection& connection_;
    DapInbox& inbox_;
    DapSessionSetup setup_;
    std::unique_ptr<SourceFiles> sources_;
    Labels labels_;  // the debug information's symbols, for expressions
    DapCView c_view_;  // C frames, values and expressions
    bool launched_ = false;
    bool configured_ = false;
    bool skip_break_ = false;
    bool stop_due_ = false;
    const char* stop_reason_ = nullptr;
    std::string stop_text_;
    int next_id_ = 1;
    std::map<std::string, std::vector<Breakpoint>> source_breakpoints_;
    std::vector<Breakpoint> function_breakpoints_, instruction_breakpoints_;
    std::vector<Watch> watches_;
    std::vector<std::uint8_t> watch_at_ = std::vector<std::uint8_t>(0x10000);
    std::array<Access, MAX_ACCESSES> accesses_{};
    int access_count_ = 0;
    Step step_ = Step::none;
    bool line_steps_ = true;  // by source line, else by instruction
    std::uint8_t step_sp_ = 0;
    std::uint8_t sp_before_ = 0;              // at the instruction being stepped
    std::optional<source_steps::CallThrough> call_;  // the outermost call since the step began, run through
    std::optional<debug_info::Location> step_from_;
    RunCounts counts_;
    RewindRequest rewind_;
    bool probing_ = false;  // the engine runs the past again, looking for the last stop
    bool back_by_line_ = false;
    bool went_back_ = false;  // the next stop ends a stepBack
    bool restarting_ = false;  // the next stop is the run's start again
};
