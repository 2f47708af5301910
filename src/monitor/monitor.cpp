#include "monitor/monitor.hpp"

#include <algorithm>
#include <array>
#include <cctype>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "bus/devices.hpp"
#include "cpu/cpu.hpp"
#include "cpu/data_access.hpp"
#include "cpu/opcode_matrix.hpp"
#include "cpu/observed.hpp"
#include "monitor/breakpoints.hpp"
#include "debug/data_accesses.hpp"
#include "debug/disassembler.hpp"
#include "monitor/history.hpp"
#include "debug/labels.hpp"
#include "debug/source_steps.hpp"
#include "monitor/monitor_command.hpp"
#include "monitor/monitor_console.hpp"
#include "monitor/monitor_memory.hpp"
#include "monitor/monitor_source.hpp"
#include "base/text.hpp"
#include "engine/observer_pair.hpp"
#include "engine/past.hpp"
#include "engine/trace.hpp"
#include "host/clock.hpp"
#include "host/files.hpp"
#include "host/monitor_terminal.hpp"
#include "host/terminal.hpp"

namespace {
// A trace file's lines begin with an address and two spaces: only such a
// file (or none, or an empty one) is replaced by a new trace.
bool is_trace(const std::optional<std::string>& start) {
    if (!start) return true;
    if (start->size() < 6 || start->compare(4, 2, "  ") != 0) return false;
    for (int i = 0; i < 4; ++i)
        if (std::isxdigit(static_cast<unsigned char>((*start)[static_cast<std::size_t>(i)])) == 0) return false;
    return true;
}

// ---- the session -----------------------------------------------------------

enum class Resume { cont, step, next, leave, quit };

// The monitor and the profile as the engine's observer: the engine runs
// the machine and asks the session where to stop; the session talks, and
// keeps the breakpoints, watchpoints and the profile in the tables the
// threaded code reads (`observed`).
class Session final : public RunObserver {
public:
    Session(const MonitorOptions& options, bool deterministic, bool cycles_counted)
        : options_(options), deterministic_(deterministic), cycles_counted_(cycles_counted),
          source_(options.debug_info, options.debug_file != nullptr ? options.debug_file : "", bus_peek,
                  [](u16 address, u8 value) { memory[address] = value; }) {}
    ~Session() override {
        if (commands_ != nullptr) std::fclose(commands_);
        close_trace();
        monitor_terminal_close();
        host_monitor_key_enable(false);
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    void open();
    void write_profile();

    // RunObserver
    [[nodiscard]] unsigned threaded_checks() const override;
    [[nodiscard]] bool one_at_a_time() const override {
        return trace_ != nullptr || skip_break_ || (checking_ && (steps_left_ != 0 || over_ || over_call_pending_ || stop_on_brk_)) ||
               source_.stepping();
    }
    [[nodiscard]] ObserverStop stop_at_start() override {
        return {checking_, options_.interactive ? "monitor: h for help" : nullptr};
    }
    [[nodiscard]] const char* stop_before() override;
    void step_before() override;
    void step_after(u16 pc, u32 step_cycles) override;
    void interrupt_taken() override {
        if (profiling_) observed.entries[cpu.pc] = 1;
        if (over_) source_steps::call_through_interrupted(*over_, static_cast<u8>(cpu.sp + 3));
        if (source_.stepping()) source_.interrupted(cpu.sp);
        if (noting_history()) history_note_interrupt();
    }
    void timer_request() override {
        if (checking_ && terminal_ && host_monitor_key_pressed()) stop("stopped");
    }
    [[nodiscard]] std::uint64_t stop_count() const override { return checking_ && until_ ? *until_ : UINT64_MAX; }
    [[nodiscard]] ObserverStop stop_due(const RunCounts& counts) override;
    [[nodiscard]] bool stops_at_halt() const override { return checking_; }
    [[nodiscard]] const char* stop_at_end() override { return checking_ ? breakpoint_reason(0x0000) : nullptr; }
    void converse(const char* reason, const RunCounts& counts) override;
    [[nodiscard]] bool keeps_past() const override { return checking_ && deterministic_; }
    [[nodiscard]] RewindRequest rewind_asked() override { return std::exchange(rewind_, RewindRequest{}); }
    void probing(bool on) override {
        probing_ = on;
        skip_break_ = false;
    }
    // A step back runs the past again quietly: the history notes it, so
    // that hist shows what led to where it arrives.
    [[nodiscard]] unsigned quiet_checks() const override { return noting_history() ? observe::HISTORY : 0; }
    void quiet_step() override {
        if (noting_history()) history_note_instruction();
    }
    void quiet_interrupt() override {
        if (noting_history()) history_note_interrupt();
    }

private:
    // Talks with the user until a command moves the machine on.
    Resume enter(const char* reason);
    // Not while the engine probes the past for rc: that is no run of its own.
    [[nodiscard]] bool noting_history() const { return checking_ && history_ && !probing_; }
    void stop(const char* reason) {
        stop_due_ = true;
        stop_reason_ = reason;
    }
    // "breakpoint N at ADDR" when a breakpoint is set there, else nullptr.
    const char* breakpoint_reason(u16 address);
    void say(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void show_next_instruction();
    void show_registers();
    void step_line(u16 pc);
    void trace_line(u16 pc, const char* text, u32 step_cycles);
    void close_trace();  // says so if lines were lost
    std::optional<std::string> next_line(const char* prompt = "> ");
    // An empty typed line: the last s, n, m or d again (m and d going on).
    [[nodiscard]] MonitorCommand repeated() const;
    void assemble_lines(u16 address);  // a ADDR: a line each, until an empty one
    // Runs one command; true when the machine moves on, with `resume` set.
    bool execute(const MonitorCommand& command, Resume& resume);
    bool until(const MonitorCommand& command);  // true when set: the run goes on
    bool step_back(const MonitorCommand& command);  // back, rc: true when asked of the engine
    void list_points();
    void mark_watched_pages();
    // Points and temporary stops (until ADDR) in the tables the threaded code reads.
    void count_breakpoint(u16 address, int change);
    void enable_point(Point& point, bool enabled);
    bool point_command(const MonitorCommand& command);  // b, w, bd, enable, disable, condition, ignore
    void read_point_commands(unsigned number);          // commands N: the lines up to end
    // A point stops: a temporary one goes, and its commands run first in the talk.
    void point_stopped(const Point& point);
    void display(const MonitorCommand& command);        // display, undisplay, info display
    void show_displays();
    // "N: EXPR = VALUE"; `source` is set when print takes EXPR (a C expression).
    [[nodiscard]] std::string display_line(unsigned number, const std::string& text, bool& source);
    bool watch_stops(const Access& access, std::string& error);

    const MonitorOptions& options_;
    const bool deterministic_;
    const bool cycles_counted_;
    std::optional<u16> until_address_;  // until ADDR
    bool stop_on_brk_ = false;
    std::uint64_t last_stop_cycles_ = 0;  // the stopwatches (a step back makes them go negative)
    std::int64_t since_last_stop_ = 0;
    std::uint64_t stopwatch_from_ = 0;
    std::FILE* commands_ = nullptr;
    bool terminal_ = false;
    bool checking_ = false;  // breakpoints, watchpoints and steps are looked at
    bool profiling_ = false;
    bool history_ = false;  // hist on: every instruction is noted in the history log
    std::vector<Point> points_;
    unsigned next_number_ = 1;
    unsigned breakpoints_ = 0;
    unsigned watches_ = 0;
    std::vector<u8> watch_at_ = std::vector<u8>(0x10000);  // per address: the watched accesses
    std::uint64_t steps_left_ = 0;
    // `n` over a JSR, `out`, `advance`: the call run through to its return
    // (source_steps.hpp), wherever pc is (a routine may return past inline
    // data). `n` sets it once its JSR has run.
    std::optional<source_steps::CallThrough> over_;
    bool over_call_pending_ = false;
    source_steps::Executed executing_;  // the instruction being run, for over_
    std::deque<std::string> pending_;   // a point's commands, run before any typed
    struct Display {
        unsigned number;
        std::string text;
        bool source = false;  // print took it when it was made: it stays a C expression
    };
    std::vector<Display> displays_;
    unsigned next_display_ = 1;
    std::optional<std::uint64_t> until_;  // until #N
    // The instruction at pc when the monitor was left runs before a
    // breakpoint there counts again.
    bool skip_break_ = false;
    bool stop_due_ = false;
    const char* stop_reason_ = nullptr;
    RunCounts counts_;  // while talking
    std::FILE* trace_ = nullptr;
    std::string trace_name_;
    Labels labels_;
    std::array<Access, MAX_ACCESSES> accesses_{};
    int access_count_ = 0;
    char trace_text_[64] = "";
    bool typed_ = false;  // the last line came from the terminal
    std::optional<MonitorCommand> repeat_;
    std::optional<u16> next_dump_;         // where m goes on
    std::optional<u16> next_disassembly_;  // where d goes on, until the machine moves
    char reason_[256] = "";
    SourceLevel source_;  // the source-level commands and steps by line
    RewindRequest rewind_;  // back, rc: for the engine when the talk is done
    bool probing_ = false;  // the engine runs the past again, looking for the last stop
    std::uint32_t history_again_ = 0;  // hist N with the history off: the past runs again to note it
    bool quiet_arrival_ = false;       // back where the talk was: the stop is not shown again
};

void Session::say(const char* format, ...) {
    char line[512];
    va_list args;
    va_start(args, format);
    const int length = std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    std::string long_text;
    const char* text = line;
    if (length >= static_cast<int>(sizeof line)) {  // the help text
        long_text.resize(static_cast<std::size_t>(length) + 1);
        va_start(args, format);
        std::vsnprintf(long_text.data(), long_text.size(), format, args);
        va_end(args);
        text = long_text.c_str();
    }
    monitor_console_take();
    if (terminal_) {
        monitor_terminal_write(text);
    } else {
        host_console_flush();  // the program's output first
        std::fputs(text, stderr);
    }
}

void Session::open() {
    if (options_.interactive) {
        terminal_ = monitor_terminal_open();
        if (terminal_) host_monitor_key_enable(true);
        else say("monitor: no terminal to talk on; the run goes on without it.\n");
    }
    if (options_.labels != nullptr) {
        const std::string error = labels_.load(options_.labels);
        if (!error.empty()) say("%s\n", error.c_str());
    }
    // The debug information's labels name addresses as a label file would,
    // but for the C compiler's own (L0012), which say nothing to a reader.
    const auto compilers = [](std::string_view name) {
        return name.size() == 5 && name[0] == 'L' &&
               std::all_of(name.begin() + 1, name.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; });
    };
    if (options_.debug_info != nullptr) {
        for (const debug_info::Symbol& symbol : options_.debug_info->symbols())
            if (symbol.kind == debug_info::SymbolKind::label && symbol.value && *symbol.value <= 0xFFFF &&
                !compilers(symbol.name))
                labels_.add(symbol.name, static_cast<u16>(*symbol.value));
    }
    // The image's own label file adds what the debug information lacks.
    if (options_.image_labels != nullptr)
        (void)labels_.load(options_.image_labels, nullptr, nullptr,
                           [&](std::string_view name) { return !compilers(name) && !labels_.lookup(name).address; });
    source_.use_labels(labels_);
    checking_ = terminal_ || options_.commands != nullptr;
    if (options_.commands != nullptr) {
        commands_ = std::fopen(options_.commands, "r");
        if (commands_ == nullptr) say("can't read command file %s\n", options_.commands);
    }
    monitor_console_give_back();
    observed.break_at.fill(0);
    observed.watch_page.fill(0);
    observed.watch_any = false;
    profiling_ = options_.profile != nullptr;
    if (profiling_) {
        observed_counts_clear();
        observed.entries.fill(0);
        observed.entries[cpu.pc] = 1;
    }
}

std::optional<std::string> Session::next_line(const char* prompt) {
    typed_ = commands_ == nullptr;
    if (commands_ != nullptr) {
        std::string line;
        int c;
        while ((c = std::fgetc(commands_)) != EOF && c != '\n')
            if (c != '\r') line += static_cast<char>(c);
        if (c != EOF || !line.empty()) {
            say("> %s\n", escape_control(line).c_str());
            return line;
        }
        std::fclose(commands_);
        commands_ = nullptr;
    }
    if (terminal_) return monitor_terminal_read_line(prompt);
    return std::nullopt;
}

Resume Session::enter(const char* reason) {
    steps_left_ = 0;
    over_.reset();
    over_call_pending_ = false;
    next_disassembly_.reset();
    if (until_address_) {
        count_breakpoint(*until_address_, -1);
        until_address_.reset();
    }
    // A point's commands that begin with silent: no word of the stop.
    const bool silent = !pending_.empty() && pending_.front() == "silent";
    if (silent) pending_.pop_front();
    if (reason != nullptr && *reason != '\0' && !silent) say("%s\n", reason);
    const std::string here = source_.at_stop(cpu.pc);
    if (!std::exchange(quiet_arrival_, false) && !silent) {  // not again where the talk just was
        say("%s", here.c_str());
        show_next_instruction();
        show_displays();
    }
    for (;;) {
        std::optional<std::string> line;
        if (!pending_.empty()) {
            line = std::move(pending_.front());
            pending_.pop_front();
            typed_ = false;
        } else {
            line = next_line();
        }
        if (host_stop_signal() != 0) return Resume::quit;
        // No more commands: from a file, the run goes on; at the terminal
        // (Ctrl-D), the monitor is left.
        if (!line) return terminal_ ? Resume::leave : Resume::cont;
        const SourceOutcome source = source_.command(*line, labels_, cpu.pc, cpu.sp);
        if (source.kind == SourceOutcome::Kind::step) {
            pending_.clear();
            return Resume::step;
        }
        say("%s", source.kind == SourceOutcome::Kind::done ? source.text.c_str() : source.note.c_str());
        if (source.kind == SourceOutcome::Kind::done) continue;
        const MachineContext machine(labels_);
        const c_view::CContext context = source_.context(machine, cpu.pc, cpu.sp);
        MonitorCommand command =
            parse_monitor_command(source.kind == SourceOutcome::Kind::machine ? source.text : *line, context);
        say("%s", source_.notes(context).c_str());
        if (command.verb == MonitorVerb::none && typed_ && repeat_) command = repeated();
        if (!command.error.empty()) {
            say("%s\n", command.error.c_str());
            continue;
        }
        const MonitorVerb verb = command.verb;
        if (verb == MonitorVerb::step || verb == MonitorVerb::next || verb == MonitorVerb::memory ||
            verb == MonitorVerb::disassemble || verb == MonitorVerb::back)
            repeat_ = command;
        else if (verb != MonitorVerb::none)
            repeat_.reset();
        Resume resume = Resume::cont;
        if (execute(command, resume)) {
            pending_.clear();  // a point's commands end where one goes on
            return resume;
        }
    }
}

MonitorCommand Session::repeated() const {
    MonitorCommand command = *repeat_;
    command.second.reset();
    if (command.verb == MonitorVerb::memory) command.first = next_dump_;
    if (command.verb == MonitorVerb::disassemble) command.first = next_disassembly_;
    return command;
}

void Session::assemble_lines(u16 address) {
    for (;;) {
        char prompt[16];
        std::snprintf(prompt, sizeof prompt, "a %04X> ", address);
        const std::optional<std::string> line = next_line(prompt);
        if (!line || line->find_first_not_of(" \t") == std::string::npos || host_stop_signal() != 0) return;
        say("%s", monitor_assemble(address, *line, labels_, address).c_str());
    }
}

void Session::show_registers() {
    say("%s", register_line().c_str());
    // The counts mean something to come back to only where they repeat.
    if (deterministic_)
        say("instruction count %llu, cycle count %llu\n", static_cast<unsigned long long>(counts_.instructions),
            static_cast<unsigned long long>(counts_.cycles));
    if (cycles_counted_)
        say("cycles: %lld since the last stop, %lld on the stopwatch (sw resets it)\n",
            static_cast<long long>(since_last_stop_),
            static_cast<long long>(counts_.cycles - stopwatch_from_));
}

void Session::show_next_instruction() {
    char text[128];
    (void)disassembly_line(cpu.pc, &labels_, text, sizeof text);
    const char* name = labels_.name_at(cpu.pc);
    if (name != nullptr) say("%s:\n", name);
    say("%s\n", text);
}

void Session::step_line(u16 pc) {
    char text[128];
    (void)disassembly_line(pc, &labels_, text, sizeof text);
    char flags[9];
    for (int bit = 0; bit < 8; ++bit) flags[bit] = (cpu.status & (0x80 >> bit)) ? '1' : '0';
    flags[8] = '\0';
    say("%-34s A=%02X X=%02X Y=%02X SP=%02X NV-BDIZC=%s\n", text, cpu.a, cpu.x, cpu.y, cpu.sp, flags);
}

void Session::trace_line(u16 pc, const char* text, u32 step_cycles) {
    const char* name = labels_.name_at(pc);
    char flags[9];
    for (int bit = 0; bit < 8; ++bit) flags[bit] = (cpu.status & (0x80 >> bit)) ? '1' : '0';
    flags[8] = '\0';
    std::fprintf(trace_, "%04X  %-16s %-20s A=%02X X=%02X Y=%02X SP=%02X NV-BDIZC=%s  %u\n", pc,
                 name != nullptr ? name : "", text, cpu.a, cpu.x, cpu.y, cpu.sp, flags, step_cycles);
}

void Session::close_trace() {
    if (trace_ == nullptr) return;
    const bool failed = std::ferror(trace_) != 0;
    if (std::fclose(trace_) != 0 || failed) {
        say("trace: can't write %s: %s\n", trace_name_.c_str(), std::strerror(errno));
        note_lost_output();
    }
    trace_ = nullptr;
}

void Session::list_points() {
    if (points_.empty()) {
        say("no breakpoints or watchpoints\n");
        return;
    }
    for (const Point& point : points_) {
        say("%s\n", describe_point(point, labels_).c_str());
        for (const std::string& line : point.commands) say("        %s\n", escape_control(line).c_str());
    }
}

bool Session::execute(const MonitorCommand& command, Resume& resume) {
    switch (command.verb) {
    case MonitorVerb::none: return false;
    case MonitorVerb::registers:
        set_registers(command.registers);
        show_registers();
        return false;
    case MonitorVerb::step:
        steps_left_ = command.count;
        resume = Resume::step;
        return true;
    case MonitorVerb::out:  // until the routine returns above its frame at entry
        over_ = source_steps::CallThrough{static_cast<u8>(cpu.sp + 2), std::nullopt};
        resume = Resume::next;
        return true;
    case MonitorVerb::back:
    case MonitorVerb::reverse_continue:
        if (!step_back(command)) return false;
        resume = Resume::cont;
        return true;
    case MonitorVerb::stop_on_brk:
        stop_on_brk_ = command.on;
        say("stop on BRK %s\n", command.on ? "on" : "off");
        return false;
    case MonitorVerb::stopwatch:
        stopwatch_from_ = counts_.cycles;
        say("stopwatch reset\n");
        return false;
    case MonitorVerb::next:
        if (bus_peek(cpu.pc) == 0x20) {
            over_call_pending_ = true;
            resume = Resume::next;
        } else {
            steps_left_ = 1;
            resume = Resume::step;
        }
        return true;
    case MonitorVerb::go:
        cpu.pc = *command.first;
        resume = Resume::cont;
        return true;
    case MonitorVerb::cont: resume = Resume::cont; return true;
    case MonitorVerb::breakpoint:
    case MonitorVerb::watch:
    case MonitorVerb::delete_point:
    case MonitorVerb::enable:
    case MonitorVerb::disable:
    case MonitorVerb::condition:
    case MonitorVerb::ignore: return point_command(command);
    case MonitorVerb::commands: read_point_commands(command.count); return false;
    case MonitorVerb::display:
    case MonitorVerb::undisplay: display(command); return false;
    case MonitorVerb::info:
        if (command.text == "display") display(command);
        else list_points();
        return false;
    case MonitorVerb::memory: {
        const u16 first = *command.first;
        const u16 last = command.second.value_or(static_cast<u16>(std::min(0xFFFF, first + 0x7F)));
        say("%s", memory_lines(first, last).c_str());
        next_dump_ = static_cast<u16>(last + 1);
        return false;
    }
    case MonitorVerb::enter:
        for (std::size_t i = 0; i < command.bytes.size(); ++i) memory[*command.first + i] = command.bytes[i];
        return false;
    case MonitorVerb::fill:
        for (unsigned address = *command.first; address <= *command.second; ++address) memory[address] = command.bytes[0];
        return false;
    case MonitorVerb::disassemble: {
        u16 next = 0;
        say("%s", disassembly_lines(command.first.value_or(cpu.pc), command.second, labels_, next).c_str());
        next_disassembly_ = next;
        return false;
    }
    case MonitorVerb::labels: {
        std::size_t added = 0;
        const std::string error = labels_.load(command.file.c_str(), &added);
        if (!error.empty()) say("%s\n", error.c_str());
        else say("%llu labels from %s\n", static_cast<unsigned long long>(added), command.file.c_str());
        return false;
    }
    case MonitorVerb::trace:
        close_trace();
        if (command.file.empty()) {
            say("trace off\n");
            return false;
        }
        if (!is_trace(host_file_start(command.file.c_str(), 6))) {
            say("trace: %s is not a trace; it was left as it is\n", command.file.c_str());
            return false;
        }
        trace_name_ = command.file;
        trace_ = std::fopen(command.file.c_str(), "w");
        if (trace_ == nullptr) say("trace: can't write %s: %s\n", command.file.c_str(), std::strerror(errno));
        else say("tracing to %s\n", command.file.c_str());
        return false;
    case MonitorVerb::save: say("%s", save_memory(command).c_str()); return false;
    case MonitorVerb::load: say("%s", load_memory(command).c_str()); return false;
    case MonitorVerb::quit:
        resume = Resume::quit;
        return true;
    case MonitorVerb::leave:
        resume = Resume::leave;
        return true;
    case MonitorVerb::advance:  // as until ADDR, or until the routine returns
        over_ = source_steps::CallThrough{static_cast<u8>(cpu.sp + 2), std::nullopt};
        [[fallthrough]];
    case MonitorVerb::until:
        if (command.first) {
            until_address_ = *command.first;
            count_breakpoint(*command.first, 1);
            resume = Resume::cont;
            return true;
        }
        if (!until(command)) return false;
        resume = Resume::cont;
        return true;
    case MonitorVerb::help: say("%s%s", monitor_help_text(), source_help_text()); return false;
    case MonitorVerb::value:
        if (!command.text.empty()) say("%s\n", escape_control(command.text).c_str());
        else say("%s\n", describe_value(command.value, &labels_).c_str());
        return false;
    case MonitorVerb::assemble:
        if (command.text.empty()) {
            assemble_lines(*command.first);
        } else {
            u16 next = *command.first;
            say("%s", monitor_assemble(*command.first, command.text, labels_, next).c_str());
        }
        return false;
    case MonitorVerb::hunt: say("%s", monitor_hunt(command).c_str()); return false;
    case MonitorVerb::compare: say("%s", monitor_compare(command).c_str()); return false;
    case MonitorVerb::move: say("%s", monitor_move(command).c_str()); return false;
    case MonitorVerb::clear_labels: {
        const std::size_t gone = command.file.empty() ? labels_.clear() : labels_.clear(command.file.c_str());
        say("%llu labels cleared\n", static_cast<unsigned long long>(gone));
        return false;
    }
    case MonitorVerb::history_switch:
        if (command.on && !history_) history_clear();
        history_ = command.on;
        say("%s", history_ ? "history on: instructions are kept from here on\n" : "history off\n");
        return false;
    case MonitorVerb::history:
        if (!history_ && counts_.earliest != UINT64_MAX && counts_.instructions > counts_.earliest) {
            // A run that keeps its past can run it again to note it.
            history_ = true;
            history_again_ = command.count;
            history_clear();
            rewind_ = {RewindRequest::Kind::again_from,
                       counts_.instructions - std::min<std::uint64_t>(command.count, counts_.instructions)};
            resume = Resume::cont;
            return true;
        }
        if (!history_) say("hist: the history is off; hist on keeps it from here on\n");
        else if (history_lines(command.count, &labels_, [this](const char* line) { say("%s", line); }) == 0)
            say("hist: no instructions run since hist on\n");
        return false;
    }
    return false;
}

// A plain table of every address executed, then the ten routines (code
// from one entry, a JSR target, an interrupt handler or the start, up to
// the next) that took the most cycles.
void Session::write_profile() {
    std::FILE* file = std::fopen(options_.profile, "w");
    if (file == nullptr) {
        host_console_flush();
        std::fprintf(stderr, "profile: can't write %s: %s\n", options_.profile, std::strerror(errno));
        note_lost_output();
    } else {
        std::fputs(PROFILE_HEADER, file);
        for (unsigned address = 0; address <= 0xFFFF; ++address) {
            if (observed.counts[address] == 0) continue;
            const char* name = labels_.name_at(static_cast<u16>(address));
            std::fprintf(file, "%04X  %11llu  %11llu  %s\n", address,
                         static_cast<unsigned long long>(observed.counts[address]),
                         static_cast<unsigned long long>(observed.cycles[address]), name != nullptr ? name : "");
        }
        const bool failed = std::ferror(file) != 0;
        if (std::fclose(file) != 0 || failed) {
            std::fprintf(stderr, "profile: can't write %s: %s\n", options_.profile, std::strerror(errno));
            note_lost_output();
        }
    }
    struct Routine {
        u16 entry;
        std::uint64_t cycles;
    };
    std::vector<Routine> routines;
    std::uint64_t total = 0;
    for (unsigned address = 0; address <= 0xFFFF; ++address) {
        if (observed.counts[address] == 0) continue;
        if (observed.entries[address] || routines.empty()) routines.push_back({static_cast<u16>(address), 0});
        routines.back().cycles += observed.cycles[address];
        total += observed.cycles[address];
    }
    std::stable_sort(routines.begin(), routines.end(), [](const Routine& a, const Routine& b) { return a.cycles > b.cycles; });
    host_console_flush();
    std::fprintf(stderr, "profile: %llu cycles; the hottest routines:\n", static_cast<unsigned long long>(total));
    for (std::size_t i = 0; i < routines.size() && i < 10; ++i) {
        const char* name = labels_.name_at(routines[i].entry);
        char address[8];
        std::snprintf(address, sizeof address, "%04X", routines[i].entry);
        std::fprintf(stderr, "  %11llu  %5.1f%%  %s\n", static_cast<unsigned long long>(routines[i].cycles),
                     total != 0 ? 100.0 * static_cast<double>(routines[i].cycles) / static_cast<double>(total) : 0.0,
                     name != nullptr ? name : address);
    }
}
unsigned Session::threaded_checks() const {
    unsigned checks = profiling_ ? observe::PROFILE : 0;
    if (noting_history()) checks |= observe::HISTORY;
    if (checking_ && breakpoints_ != 0) checks |= observe::BREAKS;
    if (checking_ && watches_ != 0) checks |= observe::WATCHES;
    return checks;
}

const char* Session::breakpoint_reason(u16 address) {
    if (observed.break_at[address] == 0) return nullptr;
    if (until_address_ && *until_address_ == address) return "";
    const MachineContext machine(labels_);
    const c_view::CContext context = source_.context_at(machine, address);
    for (Point& point : points_) {
        if (point.access != 0 || point.address != address || !point.enabled) continue;
        std::string error;
        if (!breakpoint_stops(point, context, error, !probing_)) continue;
        std::snprintf(reason_, sizeof reason_, "%sbreakpoint %u at %04X%s%s", point.temporary ? "temporary " : "",
                      point.number, address, error.empty() ? "" : "; ", escape_control(error).c_str());
        if (!probing_) point_stopped(point);
        return reason_;
    }
    return nullptr;
}

// A watched access: a hit for each watchpoint it falls in; whether one of
// them stops, its pass count gone by and its condition (worked out after
// the instruction) not 0. `error` keeps a condition's fault.
bool Session::watch_stops(const Access& access, std::string& error) {
    const MachineContext machine(labels_);
    const c_view::CContext context = source_.context_at(machine, cpu.pc);
    bool stops = false;
    for (Point& point : points_) {
        if ((point.access & access.kind) == 0 || !point.enabled || access.address < point.address ||
            access.address > point.end)
            continue;
        std::string fault;
        if (breakpoint_stops(point, context, fault)) {
            if (!stops && !probing_) point_stopped(point);
            stops = true;
        }
        if (!fault.empty()) error = fault;
    }
    return stops;
}

const char* Session::stop_before() {
    if (!checking_ || skip_break_) return nullptr;
    return breakpoint_reason(cpu.pc);
}

void Session::step_before() {
    monitor_console_give_back();  // after a step's line: the program's modes again
    if (noting_history()) history_note_instruction();
    access_count_ = checking_ && watches_ != 0 ? data_accesses(accesses_) : 0;
    executing_.pc = cpu.pc;
    executing_.opcode = memory[cpu.pc];
    executing_.sp_before = cpu.sp;
    if (source_.stepping()) source_.before_instruction(cpu.pc, cpu.sp);
    if (trace_ != nullptr) (void)disassemble(cpu.pc, &labels_, trace_text_, sizeof trace_text_);
}

void Session::step_after(u16 pc, u32 step_cycles) {
    skip_break_ = false;
    // The profile's counts: the engine's (observe::PROFILE), as in threaded code.
    if (trace_ != nullptr && !probing_) trace_line(pc, trace_text_, step_cycles);
    if (!checking_) return;
    // Every watched access of the instruction that stops, in order: an INC
    // reads, then writes.
    int used = 0;
    std::string error;
    for (int i = 0; i < access_count_; ++i) {
        const Access& access = accesses_[static_cast<std::size_t>(i)];
        if ((watch_at_[access.address] & access.kind) == 0 || !watch_stops(access, error)) continue;
        const std::size_t room = sizeof reason_ - static_cast<std::size_t>(used);
        const char* lead = used == 0 ? "watchpoint: " : ", ";
        // A device register holds no earlier value worth showing.
        const bool device = access.address >= KBD_IN && access.address <= FILE_SELECT;
        if (access.kind == WATCH_WRITE && device)
            used += std::snprintf(reason_ + used, room, "%swrite %04X = %02X", lead, access.address,
                                  memory[access.address]);
        else if (access.kind == WATCH_WRITE)
            used += std::snprintf(reason_ + used, room, "%swrite %04X = %02X (was %02X)", lead, access.address,
                                  memory[access.address], access.before);
        else
            used += std::snprintf(reason_ + used, room, "%sread %04X = %02X", lead, access.address, access.before);
        if (used >= static_cast<int>(sizeof reason_) - 16) break;
    }
    if (used != 0) {
        std::snprintf(reason_ + used, sizeof reason_ - static_cast<std::size_t>(used), " by %04X%s%s", pc,
                      error.empty() ? "" : "; ", escape_control(error).c_str());
        stop(reason_);
    }
    if (stop_on_brk_ && memory[pc] == 0x00 && !stop_due_) {
        std::snprintf(reason_, sizeof reason_, "BRK at %04X", pc);
        stop(reason_);
    }
    if (source_.stepping() && source_.after_instruction(cpu.pc, cpu.sp) && !stop_due_) stop(nullptr);
    // A step that ends on a watchpoint says so; without one it ends silently.
    if (steps_left_ != 0) {
        step_line(pc);
        if (--steps_left_ == 0 && !stop_due_) stop(nullptr);
    } else if (std::exchange(over_call_pending_, false)) {
        over_ = source_steps::CallThrough{executing_.sp_before, std::nullopt};
    } else if (over_) {
        executing_.pc_after = cpu.pc;
        executing_.sp_after = cpu.sp;
        if (source_steps::call_through_ends(*over_, executing_)) {
            over_.reset();
            step_line(pc);
            if (!stop_due_) stop(nullptr);
        }
    }
}

ObserverStop Session::stop_due(const RunCounts& counts) {
    if (checking_ && !probing_ && until_ && counts.instructions == *until_) {
        until_.reset();
        if (!stop_due_) {
            std::snprintf(reason_, sizeof reason_, "instruction count %llu", static_cast<unsigned long long>(counts.instructions));
            stop(reason_);
        }
    }
    if (!stop_due_) return {};
    stop_due_ = false;
    return {true, stop_reason_};
}

void Session::converse(const char* reason, const RunCounts& counts) {
    if (history_again_ != 0) {  // back from running the past again for hist
        (void)history_lines(history_again_, &labels_, [this](const char* line) { say("%s", line); });
        history_again_ = 0;
        history_ = false;
        quiet_arrival_ = true;
    }
    counts_ = counts;
    if (!quiet_arrival_) {
        since_last_stop_ = static_cast<std::int64_t>(counts.cycles - last_stop_cycles_);
        last_stop_cycles_ = counts.cycles;
    }
    stop_due_ = false;
    switch (enter(reason)) {
    case Resume::quit: host_request_stop(SIGINT); break;
    case Resume::leave:
        checking_ = false;
        host_monitor_key_enable(false);
        break;
    default: break;
    }
    monitor_console_give_back();
    skip_break_ = true;
}

bool Session::until(const MonitorCommand& command) {
    if (!deterministic_) {
        say("until: instruction counts are kept only in a deterministic run (--deterministic, --record, --replay)\n");
        return false;
    }
    if (command.count64 <= counts_.instructions) {
        say("until: instruction count %llu already passed (now %llu)\n", static_cast<unsigned long long>(command.count64),
            static_cast<unsigned long long>(counts_.instructions));
        return false;
    }
    until_ = command.count64;
    return true;
}

// Why nothing earlier than counts_.earliest can be stepped back to.
const char* past_limit_text(PastLimit why) {
    switch (why) {
    case PastLimit::start: return "the start of the run";
    case PastLimit::kept: return "older states are not kept; see the manual's chapter on reproducible runs";
    case PastLimit::data_file: return "the data file channel was used just before";
    case PastLimit::input: return "standard input beyond the 1 MiB kept was read just before";
    case PastLimit::by_hand: return "memory or registers were changed by hand there";
    }
    return "";
}

bool Session::step_back(const MonitorCommand& command) {
    const char* verb = command.verb == MonitorVerb::back ? "back" : "rc";
    if (!deterministic_) {
        say("%s: steps back need a deterministic run (--deterministic, --replay)\n", verb);
        return false;
    }
    if (counts_.earliest == UINT64_MAX) {
        say("%s: a run being recorded can't step back; replay the recording to step back in it\n", verb);
        return false;
    }
    const std::uint64_t now = counts_.instructions;
    const unsigned long long earliest = counts_.earliest;
    if (command.verb == MonitorVerb::reverse_continue) {
        if (now <= counts_.earliest) {
            say("rc: nothing earlier to run back to: instruction count %llu is the earliest (%s)\n", earliest,
                past_limit_text(counts_.earliest_why));
            return false;
        }
        rewind_ = {RewindRequest::Kind::last_stop, 0};
        if (history_) history_clear();  // then it notes the run again, up to where the step arrives
        return true;
    }
    if (command.count > now || now - command.count < counts_.earliest) {
        say("back: can't go %u back from instruction count %llu: the earliest a step back reaches is %llu (%s)\n",
            command.count, static_cast<unsigned long long>(now), earliest, past_limit_text(counts_.earliest_why));
        return false;
    }
    rewind_ = {RewindRequest::Kind::to_count, now - command.count};
    if (history_) history_clear();  // then it notes the run again, up to where the step arrives
    return true;
}

void Session::count_breakpoint(u16 address, int change) {
    breakpoints_ = static_cast<unsigned>(static_cast<int>(breakpoints_) + change);
    observed.break_at[address] = static_cast<u8>(observed.break_at[address] + change);
}

// Disabled points are out of the threaded code's tables: they cost nothing.
void Session::enable_point(Point& point, bool enabled) {
    if (point.enabled == enabled) return;
    point.enabled = enabled;
    if (point.access == 0) {
        count_breakpoint(point.address, enabled ? 1 : -1);
    } else {
        watches_ = enabled ? watches_ + 1 : watches_ - 1;
        mark_watched_pages();
    }
}

bool Session::point_command(const MonitorCommand& command) {
    if (command.verb == MonitorVerb::breakpoint || command.verb == MonitorVerb::watch) {
        if (!command.first) {
            list_points();
            return false;
        }
        Point point;
        point.number = next_number_++;
        point.address = *command.first;
        point.end = command.verb == MonitorVerb::watch ? command.second.value_or(point.address) : point.address;
        point.access = command.verb == MonitorVerb::watch ? command.access : 0;
        point.pass = command.pass;
        point.condition = command.condition;
        point.temporary = command.temporary;
        point.enabled = false;
        points_.push_back(point);
        enable_point(points_.back(), true);
        const char* access = point.access == WATCH_READ ? "r" : point.access == WATCH_WRITE ? "w" : "rw";
        if (point.access == 0)
            say("%sbreakpoint %u at %04X\n", point.temporary ? "temporary " : "", point.number, point.address);
        else if (point.end != point.address)
            say("watchpoint %u on %04X-%04X %s\n", point.number, point.address, point.end, access);
        else
            say("watchpoint %u on %04X %s\n", point.number, point.address, access);
        return false;
    }
    const auto found =
        std::find_if(points_.begin(), points_.end(), [&](const Point& p) { return p.number == command.count; });
    const char* verb = command.verb == MonitorVerb::delete_point ? "bd"
                       : command.verb == MonitorVerb::enable     ? "enable"
                       : command.verb == MonitorVerb::disable    ? "disable"
                       : command.verb == MonitorVerb::condition  ? "condition"
                                                                 : "ignore";
    if (found == points_.end()) {
        say("%s: no breakpoint or watchpoint %u\n", verb, command.count);
        return false;
    }
    if (command.verb == MonitorVerb::condition) {
        found->condition = command.condition;
        if (command.condition.empty()) say("%u: no condition now\n", found->number);
        else say("%u: stops if %s\n", found->number, escape_control(command.condition).c_str());
        return false;
    }
    if (command.verb == MonitorVerb::ignore) {
        // The hits so far are let by already: the pass count starts from them.
        found->pass = static_cast<std::uint32_t>(std::min<std::uint64_t>(found->hits + command.pass, UINT32_MAX));
        if (command.pass == 1) say("%u: the next hit is let by\n", found->number);
        else say("%u: the next %u hits are let by\n", found->number, command.pass);
        return false;
    }
    if (command.verb != MonitorVerb::delete_point) {
        enable_point(*found, command.verb == MonitorVerb::enable);
        say("%s %u\n", command.verb == MonitorVerb::enable ? "enabled" : "disabled", found->number);
        return false;
    }
    enable_point(*found, false);
    const unsigned number = found->number;
    points_.erase(found);
    say("deleted %u\n", number);
    return false;
}

// Which pages the threaded code stops before touching.
void Session::mark_watched_pages() {
    observed.watch_page.fill(0);
    std::fill(watch_at_.begin(), watch_at_.end(), 0);
    for (const Point& point : points_) {
        if (point.access == 0 || !point.enabled) continue;
        for (unsigned address = point.address; address <= point.end; ++address) watch_at_[address] |= point.access;
        for (unsigned page = point.address >> 8; page <= static_cast<unsigned>(point.end >> 8); ++page)
            observed.watch_page[page] = 1;
    }
    observed.watch_any = watches_ != 0;
}

void Session::point_stopped(const Point& point) {
    pending_.assign(point.commands.begin(), point.commands.end());
    if (!point.temporary) return;
    const unsigned number = point.number;
    const auto found = std::find_if(points_.begin(), points_.end(), [&](const Point& p) { return p.number == number; });
    enable_point(*found, false);
    points_.erase(found);
}

void Session::read_point_commands(unsigned number) {
    const auto found = std::find_if(points_.begin(), points_.end(), [&](const Point& p) { return p.number == number; });
    std::vector<std::string> lines;
    for (;;) {
        const std::optional<std::string> line = next_line(">> ");
        if (!line || host_stop_signal() != 0) break;
        const std::size_t first = line->find_first_not_of(" \t");
        const std::size_t last = line->find_last_not_of(" \t");
        const std::string text = first == std::string::npos ? std::string() : line->substr(first, last - first + 1);
        if (text == "end") break;
        if (!text.empty()) lines.push_back(text);
    }
    if (found == points_.end()) {
        say("commands: no breakpoint or watchpoint %u; the lines up to end were dropped\n", number);
        return;
    }
    found->commands = std::move(lines);
    const std::size_t count = found->commands.size();
    if (count == 0) say("%u: no commands now\n", number);
    else say("%u: %llu command%s where it stops\n", number, static_cast<unsigned long long>(count), count == 1 ? "" : "s");
}

std::string Session::display_line(unsigned number, const std::string& text, bool& source) {
    std::string line = std::to_string(number) + ": ";
    // What print says of a C name, where the source level takes it; one
    // that was C stays C where its name is out of scope.
    const SourceOutcome print = source_.command("print " + text, labels_, cpu.pc, cpu.sp);
    const bool printed = print.kind == SourceOutcome::Kind::done && !print.text.starts_with("print:");
    if (printed) {
        // Its notes, "(...)", as they are; the number before the value.
        source = true;
        std::string shown;
        std::size_t from = 0;
        while (from < print.text.size()) {
            const std::size_t end = print.text.find('\n', from);
            const std::string one = print.text.substr(from, end == std::string::npos ? std::string::npos : end - from + 1);
            shown += one.starts_with('(') ? one : line + one;
            from = end == std::string::npos ? print.text.size() : end + 1;
        }
        return shown;
    }
    if (source) return line + escape_control(text) + ": " + print.text.substr(7);
    const MachineContext context(labels_);
    const Expression value = evaluate_expression(text, context);
    if (!value.ok()) return line + escape_control(text) + ": " + value.error + "\n";
    return line + escape_control(text) + " = " + describe_value(value.value, &labels_) + "\n";
}

void Session::show_displays() {
    for (Display& shown : displays_) say("%s", display_line(shown.number, shown.text, shown.source).c_str());
}

void Session::display(const MonitorCommand& command) {
    if (command.verb == MonitorVerb::undisplay) {
        const auto found = std::find_if(displays_.begin(), displays_.end(),
                                        [&](const Display& d) { return d.number == command.count; });
        if (found == displays_.end()) {
            say("undisplay: no display %u\n", command.count);
            return;
        }
        displays_.erase(found);
        say("undisplay %u\n", command.count);
        return;
    }
    if (command.verb == MonitorVerb::info) {
        if (displays_.empty()) say("no displays\n");
        for (const Display& shown : displays_) say("%u  %s\n", shown.number, escape_control(shown.text).c_str());
        return;
    }
    if (command.condition.empty()) {  // display alone: all again
        if (displays_.empty()) say("no displays (display EXPR adds one)\n");
        show_displays();
        return;
    }
    // One that names nothing here or does not parse is refused, as print
    // refuses it; one that only can't be worked out now (a division by
    // zero) may be later.
    bool source = false;
    const std::string line = display_line(next_display_, command.condition, source);
    const MachineContext context(labels_);
    const Expression value = evaluate_expression(command.condition, context);
    if (!source && (value.fault == ExpressionFault::syntax || value.fault == ExpressionFault::unknown_label ||
                    value.fault == ExpressionFault::ambiguous)) {
        say("display: %s\n", value.error.c_str());
        return;
    }
    displays_.push_back({next_display_++, command.condition, source});
    say("%s", line.c_str());
}
}  // namespace

RunOutcome run_monitored(std::int64_t irq_deadline, const RunSettings& settings, const MonitorOptions& options,
                         RunObserver* beside) {
    Session session(options, settings.deterministic.on, settings.count_cycles);
    session.open();
    ObserverPair pair(session, beside != nullptr ? *beside : session);
    const RunOutcome outcome = run_machine(irq_deadline, settings, beside != nullptr ? &pair : static_cast<RunObserver*>(&session));
    if (options.profile != nullptr) session.write_profile();
    return outcome;
}
