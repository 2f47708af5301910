#include "debug/monitor.hpp"

#include <algorithm>
#include <array>
#include <cctype>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "bus/devices.hpp"
#include "cpu/cpu.hpp"
#include "cpu/data_access.hpp"
#include "cpu/opcode_matrix.hpp"
#include "cpu/observed.hpp"
#include "debug/disassembler.hpp"
#include "debug/history.hpp"
#include "debug/labels.hpp"
#include "debug/monitor_command.hpp"
#include "driver/text.hpp"
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

// ---- what an instruction will touch ----------------------------------------

struct Access {
    u16 address;
    u8 kind;  // WATCH_READ or WATCH_WRITE
};

// The data accesses the instruction at pc is about to make, worked out from
// the opcode grid and the registers, so that watchpoints cost the processor
// nothing. Opcode and operand fetches are not data accesses.
int data_accesses(std::array<Access, 6>& out) {
    const u16 pc = cpu.pc;
    const u8 opcode = bus_peek(pc);
    const OpcodeEntry& entry = opcode_grid_of(cpu_chip())[opcode];
    const u8 low = bus_peek(static_cast<u16>(pc + 1));
    const u16 word = static_cast<u16>(bus_peek(static_cast<u16>(pc + 2)) << 8 | low);
    int n = 0;
    const auto add = [&](unsigned address, u8 kind) { out[static_cast<std::size_t>(n++)] = {static_cast<u16>(address), kind}; };
    const auto stack = [&](int offset) { return 0x0100u | static_cast<u8>(cpu.sp + offset); };
    // The operand's address, for the modes that have one in memory.
    std::optional<u16> operand;
    switch (entry.mode) {
    case Mode::zp: operand = low; break;
    case Mode::zpx: operand = static_cast<u8>(low + cpu.x); break;
    case Mode::zpy: operand = static_cast<u8>(low + cpu.y); break;
    case Mode::abs: operand = word; break;
    case Mode::abx: operand = static_cast<u16>(word + cpu.x); break;
    case Mode::aby: operand = static_cast<u16>(word + cpu.y); break;
    case Mode::izx: {
        const u8 pointer = static_cast<u8>(low + cpu.x);
        add(pointer, WATCH_READ);
        add(static_cast<u8>(pointer + 1), WATCH_READ);
        operand = static_cast<u16>(memory[static_cast<u8>(pointer + 1)] << 8 | memory[pointer]);
        break;
    }
    case Mode::izy:
        add(low, WATCH_READ);
        add(static_cast<u8>(low + 1), WATCH_READ);
        operand = static_cast<u16>((memory[static_cast<u8>(low + 1)] << 8 | memory[low]) + cpu.y);
        break;
    case Mode::izp:
        add(low, WATCH_READ);
        add(static_cast<u8>(low + 1), WATCH_READ);
        operand = static_cast<u16>(memory[static_cast<u8>(low + 1)] << 8 | memory[low]);
        break;
    case Mode::zpr: operand = low; break;
    case Mode::ind:
        add(word, WATCH_READ);
        add((word & 0xFF00) | ((word + 1) & 0x00FF), WATCH_READ);
        break;
    case Mode::iab:
        add(word, WATCH_READ);
        add(static_cast<u16>(word + 1), WATCH_READ);
        break;
    case Mode::iax:
        add(static_cast<u16>(word + cpu.x), WATCH_READ);
        add(static_cast<u16>(word + cpu.x + 1), WATCH_READ);
        break;
    default: break;
    }
    if (operand) {
        switch (operand_use(entry.op)) {
        case OperandUse::read: add(*operand, WATCH_READ); break;
        case OperandUse::write: add(*operand, WATCH_WRITE); break;
        case OperandUse::modify:
            add(*operand, WATCH_READ);
            add(*operand, WATCH_WRITE);
            break;
        case OperandUse::none: break;
        }
    }
    switch (entry.op) {
    case Op::PHA: case Op::PHP: case Op::PHX: case Op::PHY: add(stack(0), WATCH_WRITE); break;
    case Op::PLA: case Op::PLP: case Op::PLX: case Op::PLY: add(stack(1), WATCH_READ); break;
    case Op::JSR: add(stack(0), WATCH_WRITE); add(stack(-1), WATCH_WRITE); break;
    case Op::RTS: add(stack(1), WATCH_READ); add(stack(2), WATCH_READ); break;
    case Op::RTI: add(stack(1), WATCH_READ); add(stack(2), WATCH_READ); add(stack(3), WATCH_READ); break;
    case Op::BRK:
        add(stack(0), WATCH_WRITE); add(stack(-1), WATCH_WRITE); add(stack(-2), WATCH_WRITE);
        add(IRQ_VECTOR, WATCH_READ); add(IRQ_VECTOR + 1, WATCH_READ);
        break;
    default: break;
    }
    return n;
}

// ---- the session -----------------------------------------------------------

enum class Resume { cont, step, next, leave, quit };

struct Point {
    unsigned number;
    u16 address;
    u8 access;  // 0 for a breakpoint, else the watched accesses
};

// The monitor and the profile as the engine's observer: the engine runs
// the machine and asks the session where to stop; the session talks, and
// keeps the breakpoints, watchpoints and the profile in the tables the
// threaded code reads (`observed`).
class Session final : public RunObserver {
public:
    Session(const MonitorOptions& options, bool deterministic) : options_(options), deterministic_(deterministic) {}
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
        return trace_ != nullptr || skip_break_ || (checking_ && (steps_left_ != 0 || over_active_));
    }
    [[nodiscard]] ObserverStop stop_at_start() override {
        return {checking_, options_.interactive ? "monitor: h for help" : nullptr};
    }
    [[nodiscard]] const char* stop_before() override;
    void step_before() override;
    void step_after(u16 pc, u32 step_cycles) override;
    void interrupt_taken() override {
        if (profiling_) observed.entries[cpu.pc] = 1;
        if (checking_) history_note_interrupt();
    }
    void timer_request() override {
        if (checking_ && terminal_ && host_monitor_key_pressed()) stop("stopped");
    }
    [[nodiscard]] std::uint64_t stop_count() const override { return checking_ && until_ ? *until_ : UINT64_MAX; }
    [[nodiscard]] ObserverStop stop_due(const RunCounts& counts) override;
    [[nodiscard]] bool stops_at_halt() const override { return checking_; }
    [[nodiscard]] const char* stop_at_end() override { return checking_ ? breakpoint_reason(0x0000) : nullptr; }
    void converse(const char* reason, const RunCounts& counts) override;

private:
    // Talks with the user until a command moves the machine on.
    Resume enter(const char* reason);
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
    std::optional<std::string> next_line();
    // Runs one command; true when the machine moves on, with `resume` set.
    bool execute(const MonitorCommand& command, Resume& resume);
    bool until(const MonitorCommand& command);  // true when set: the run goes on
    void list_points();
    void mark_watched_pages();
    void memory_dump(u16 first, u16 last);
    void disassemble_range(u16 first, std::optional<u16> last);

    const MonitorOptions& options_;
    const bool deterministic_;
    std::FILE* commands_ = nullptr;
    bool terminal_ = false;
    bool checking_ = false;  // breakpoints, watchpoints and steps are looked at
    bool profiling_ = false;
    std::vector<Point> points_;
    unsigned next_number_ = 1;
    unsigned breakpoints_ = 0;
    unsigned watches_ = 0;
    std::vector<u8> watch_at_ = std::vector<u8>(0x10000);  // per address: the watched accesses
    std::uint64_t steps_left_ = 0;
    bool over_active_ = false;  // `n` over a JSR: stop when it returns
    u16 over_pc_ = 0;
    u8 over_sp_ = 0;
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
    std::array<Access, 6> accesses_{};
    int access_count_ = 0;
    char trace_text_[64] = "";
    char reason_[160] = "";
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
    checking_ = terminal_ || options_.commands != nullptr;
    if (options_.commands != nullptr) {
        commands_ = std::fopen(options_.commands, "r");
        if (commands_ == nullptr) say("can't read command file %s\n", options_.commands);
    }
    observed.break_at.fill(0);
    observed.watch_page.fill(0);
    observed.watch_any = false;
    history_clear();
    profiling_ = options_.profile != nullptr;
    if (profiling_) {
        observed.counts.fill(0);
        observed.cycles.fill(0);
        observed.entries.fill(0);
        observed.entries[cpu.pc] = 1;
    }
}

std::optional<std::string> Session::next_line() {
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
    if (terminal_) return monitor_terminal_read_line("> ");
    return std::nullopt;
}

Resume Session::enter(const char* reason) {
    steps_left_ = 0;
    over_active_ = false;
    if (reason != nullptr) say("%s\n", reason);
    show_next_instruction();
    for (;;) {
        const std::optional<std::string> line = next_line();
        if (host_stop_signal() != 0) return Resume::quit;
        // No more commands: from a file, the run goes on; at the terminal
        // (Ctrl-D), the monitor is left.
        if (!line) return terminal_ ? Resume::leave : Resume::cont;
        const MonitorCommand command = parse_monitor_command(*line, labels_);
        if (!command.error.empty()) {
            say("%s\n", command.error.c_str());
            continue;
        }
        Resume resume = Resume::cont;
        if (execute(command, resume)) return resume;
    }
}

void Session::show_registers() {
    char flags[9];
    for (int bit = 0; bit < 8; ++bit) flags[bit] = (cpu.status & (0x80 >> bit)) ? '1' : '0';
    flags[8] = '\0';
    say("PC=%04X A=%02X X=%02X Y=%02X SP=%02X NV-BDIZC=%s\n", cpu.pc, cpu.a, cpu.x, cpu.y, cpu.sp, flags);
    // The counts mean something to come back to only where they repeat.
    if (deterministic_)
        say("instruction count %llu, cycle count %llu\n", static_cast<unsigned long long>(counts_.instructions),
            static_cast<unsigned long long>(counts_.cycles));
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
        const char* name = labels_.name_at(point.address);
        const char* access = point.access == WATCH_READ ? " r" : point.access == WATCH_WRITE ? " w" : " rw";
        say("%u  %s %04X%s%s%s\n", point.number, point.access == 0 ? "b" : "w", point.address,
            point.access == 0 ? "" : access, name != nullptr ? "  " : "", name != nullptr ? name : "");
    }
}

void Session::memory_dump(u16 first, u16 last) {
    for (unsigned line = first; line <= last; line += 16) {
        char hex[64] = "";
        char text[17] = "";
        int used = 0;
        for (unsigned i = 0; i < 16; ++i) {
            if (line + i > last) {
                used += std::snprintf(hex + used, sizeof hex - static_cast<std::size_t>(used), "   ");
                continue;
            }
            const u8 value = bus_peek(static_cast<u16>(line + i));
            used += std::snprintf(hex + used, sizeof hex - static_cast<std::size_t>(used), " %02X", value);
            text[i] = value >= 0x20 && value < 0x7F ? static_cast<char>(value) : '.';
        }
        say("%04X %s  %s\n", line, hex, text);
    }
}

void Session::disassemble_range(u16 first, std::optional<u16> last) {
    unsigned address = first;
    for (int shown = 0; address <= 0xFFFF; ++shown) {
        if (last ? address > *last : shown == 16) break;
        char text[128];
        const char* name = labels_.name_at(static_cast<u16>(address));
        if (name != nullptr) say("%s:\n", name);
        address += static_cast<unsigned>(disassembly_line(static_cast<u16>(address), &labels_, text, sizeof text));
        say("%s\n", text);
    }
}

bool Session::execute(const MonitorCommand& command, Resume& resume) {
    switch (command.verb) {
    case MonitorVerb::none: return false;
    case MonitorVerb::registers:
        for (const RegisterSetting& setting : command.registers) {
            const u8 value = static_cast<u8>(setting.value);
            const std::string& name = setting.name;
            if (name == "a") cpu.a = value;
            else if (name == "x") cpu.x = value;
            else if (name == "y") cpu.y = value;
            else if (name == "sp") cpu.sp = value;
            else if (name == "p") cpu.status = value;
            else if (name == "pc") cpu.pc = setting.value;
            else {
                const u8 flag = name == "n" ? FLAG_N : name == "v" ? FLAG_V : name == "b" ? FLAG_B
                              : name == "d" ? FLAG_D : name == "i" ? FLAG_I : name == "z" ? FLAG_Z : FLAG_C;
                cpu.status = static_cast<u8>(value ? cpu.status | flag : cpu.status & ~flag);
            }
        }
        show_registers();
        return false;
    case MonitorVerb::step:
        steps_left_ = command.count;
        resume = Resume::step;
        return true;
    case MonitorVerb::next:
        if (bus_peek(cpu.pc) == 0x20) {
            over_active_ = true;
            over_pc_ = static_cast<u16>(cpu.pc + 3);
            over_sp_ = cpu.sp;
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
    case MonitorVerb::watch: {
        if (!command.first) {
            list_points();
            return false;
        }
        const u8 access = command.verb == MonitorVerb::watch ? command.access : 0;
        points_.push_back({next_number_, *command.first, access});
        if (access == 0) {
            ++breakpoints_;
            ++observed.break_at[*command.first];
            say("breakpoint %u at %04X\n", next_number_, *command.first);
        } else {
            ++watches_;
            watch_at_[*command.first] |= access;
            mark_watched_pages();
            say("watchpoint %u on %04X %s\n", next_number_, *command.first,
                access == WATCH_READ ? "r" : access == WATCH_WRITE ? "w" : "rw");
        }
        ++next_number_;
        return false;
    }
    case MonitorVerb::delete_point: {
        const auto found = std::find_if(points_.begin(), points_.end(),
                                        [&](const Point& p) { return p.number == command.count; });
        if (found == points_.end()) {
            say("bd: no breakpoint or watchpoint %u\n", command.count);
            return false;
        }
        const Point point = *found;
        points_.erase(found);
        if (point.access == 0) {
            --breakpoints_;
            --observed.break_at[point.address];
        } else {
            --watches_;
            watch_at_[point.address] = 0;  // what other watchpoints on it still ask for
            for (const Point& other : points_)
                if (other.address == point.address) watch_at_[point.address] |= other.access;
            mark_watched_pages();
        }
        say("deleted %u\n", point.number);
        return false;
    }
    case MonitorVerb::memory: memory_dump(*command.first, command.second.value_or(static_cast<u16>(std::min(0xFFFF, *command.first + 0x7F)))); return false;
    case MonitorVerb::enter:
        for (std::size_t i = 0; i < command.bytes.size(); ++i) memory[*command.first + i] = command.bytes[i];
        return false;
    case MonitorVerb::fill:
        for (unsigned address = *command.first; address <= *command.second; ++address) memory[address] = command.bytes[0];
        return false;
    case MonitorVerb::disassemble: disassemble_range(command.first.value_or(cpu.pc), command.second); return false;
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
    case MonitorVerb::save: {
        const std::size_t size = static_cast<std::size_t>(*command.second) - *command.first + 1;
        std::FILE* file = std::fopen(command.file.c_str(), "wb");
        bool written = file != nullptr && std::fwrite(&memory[*command.first], 1, size, file) == size;
        if (file != nullptr && std::fclose(file) != 0) written = false;
        if (!written) say("save: can't write %s\n", command.file.c_str());
        else say("saved %04X-%04X (%llu bytes) to %s\n", *command.first, *command.second, static_cast<unsigned long long>(size),
                 command.file.c_str());
        return false;
    }
    case MonitorVerb::load: {
        // Read whole first: a file that fails leaves memory as it was.
        std::vector<u8> bytes(0x10000 - *command.first);
        const FileRead read = host_read_file(command.file.c_str(), std::span<u8>(bytes));
        if (read.status == FileReadStatus::cannot_open || read.status == FileReadStatus::read_error) {
            say("load: can't read %s: %s\n", command.file.c_str(), host_error_text(read.error));
            return false;
        }
        std::copy_n(bytes.begin(), read.size, memory.begin() + *command.first);
        say("loaded %llu bytes at %04X%s\n", static_cast<unsigned long long>(read.size), *command.first,
            read.status == FileReadStatus::too_long ? "; the rest of the file runs past FFFF and was left out" : "");
        return false;
    }
    case MonitorVerb::quit:
        resume = Resume::quit;
        return true;
    case MonitorVerb::leave:
        resume = Resume::leave;
        return true;
    case MonitorVerb::until:
        if (!until(command)) return false;
        resume = Resume::cont;
        return true;
    case MonitorVerb::help: say("%s", monitor_help_text()); return false;
    case MonitorVerb::history:
        if (history_kept() == 0) say("hist: no instructions run yet\n");
        history_lines(command.count, &labels_, [this](const char* line) { say("%s", line); });
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
    if (checking_) checks |= observe::HISTORY;
    if (checking_ && breakpoints_ != 0) checks |= observe::BREAKS;
    if (checking_ && watches_ != 0) checks |= observe::WATCHES;
    return checks;
}

const char* Session::breakpoint_reason(u16 address) {
    if (observed.break_at[address] == 0) return nullptr;
    for (const Point& point : points_) {
        if (point.access == 0 && point.address == address) {
            std::snprintf(reason_, sizeof reason_, "breakpoint %u at %04X", point.number, address);
            return reason_;
        }
    }
    return nullptr;
}

const char* Session::stop_before() {
    if (!checking_ || skip_break_) return nullptr;
    return breakpoint_reason(cpu.pc);
}

void Session::step_before() {
    if (checking_) history_note_instruction();
    access_count_ = checking_ && watches_ != 0 ? data_accesses(accesses_) : 0;
    if (trace_ != nullptr) (void)disassemble(cpu.pc, &labels_, trace_text_, sizeof trace_text_);
}

void Session::step_after(u16 pc, u32 step_cycles) {
    skip_break_ = false;
    if (profiling_) {
        ++observed.counts[pc];
        observed.cycles[pc] += step_cycles;
        if (memory[pc] == 0x20 || memory[pc] == 0x00) observed.entries[cpu.pc] = 1;  // JSR and BRK targets
    }
    if (trace_ != nullptr) trace_line(pc, trace_text_, step_cycles);
    if (!checking_) return;
    for (int i = 0; i < access_count_; ++i) {
        const Access& access = accesses_[static_cast<std::size_t>(i)];
        if ((watch_at_[access.address] & access.kind) == 0) continue;
        if (access.kind == WATCH_WRITE)
            std::snprintf(reason_, sizeof reason_, "watchpoint: write %04X = %02X by %04X", access.address,
                          memory[access.address], pc);
        else
            std::snprintf(reason_, sizeof reason_, "watchpoint: read %04X by %04X", access.address, pc);
        stop(reason_);
        break;
    }
    // A step that ends on a watchpoint says so; without one it ends silently.
    if (steps_left_ != 0) {
        step_line(pc);
        if (--steps_left_ == 0 && !stop_due_) stop(nullptr);
    } else if (over_active_ && cpu.pc == over_pc_ && cpu.sp == over_sp_) {
        over_active_ = false;
        step_line(pc);
        if (!stop_due_) stop(nullptr);
    }
}

ObserverStop Session::stop_due(const RunCounts& counts) {
    if (checking_ && until_ && counts.instructions == *until_) {
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
    counts_ = counts;
    stop_due_ = false;
    switch (enter(reason)) {
    case Resume::quit: host_request_stop(SIGINT); break;
    case Resume::leave:
        checking_ = false;
        host_monitor_key_enable(false);
        break;
    default: break;
    }
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

// Which pages the threaded code stops before touching.
void Session::mark_watched_pages() {
    observed.watch_page.fill(0);
    for (const Point& point : points_)
        if (point.access != 0) observed.watch_page[point.address >> 8] = 1;
    observed.watch_any = watches_ != 0;
}
}  // namespace

RunOutcome run_monitored(std::int64_t irq_deadline, const RunSettings& settings, const MonitorOptions& options) {
    Session session(options, settings.deterministic.on);
    session.open();
    const RunOutcome outcome = run_machine(irq_deadline, settings, &session);
    if (options.profile != nullptr) session.write_profile();
    return outcome;
}
