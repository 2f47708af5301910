#include "debug/monitor.hpp"

#include <algorithm>
#include <array>
#include <csignal>
#include <cctype>
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
#include "cpu/dispatch.hpp"
#include "cpu/opcode_matrix.hpp"
#include "debug/disassembler.hpp"
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
}  // namespace

namespace {
#ifdef EMU6502_ONE_RUN_LOOP
// As in the plain run loop: sanitizer builds compile the instruction set once.
template <Chip P>
u32 step(Cpu& c) {
    publish_registers(c);
    const u32 cycles = execute_instruction_on_cpu<P>();
    take_registers(c);
    return cycles;
}
#else
// The instruction set inlined here too, on a local copy of the registers
// that stays in host registers: through cpu_step the monitor's run would
// cost several times the plain one.
template <Chip P>
[[gnu::always_inline]] inline u32 step(Cpu& c) { return execute_instruction<P>(c); }
#endif

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
    switch (entry.op) {
    case Op::LDA: case Op::LDX: case Op::LDY: case Op::ADC: case Op::AND: case Op::BIT: case Op::CMP:
    case Op::CPX: case Op::CPY: case Op::EOR: case Op::ORA: case Op::SBC: case Op::LAX:
    case Op::LAS: case Op::BBR: case Op::BBS:
        if (operand) add(*operand, WATCH_READ);
        break;
    case Op::STA: case Op::STX: case Op::STY: case Op::SAX: case Op::STZ:
    case Op::SHA: case Op::SHX: case Op::SHY: case Op::TAS:
        if (operand) add(*operand, WATCH_WRITE);
        break;
    case Op::ASL: case Op::LSR: case Op::ROL: case Op::ROR: case Op::INC: case Op::DEC:
    case Op::SLO: case Op::RLA: case Op::SRE: case Op::RRA: case Op::DCP: case Op::ISB:
    case Op::TRB: case Op::TSB: case Op::RMB: case Op::SMB:
        if (operand) {
            add(*operand, WATCH_READ);
            add(*operand, WATCH_WRITE);
        }
        break;
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

class Session {
public:
    explicit Session(const MonitorOptions& options) : options_(options) {}
    ~Session() {
        if (commands_ != nullptr) std::fclose(commands_);
        close_trace();
        monitor_terminal_close();
        host_monitor_key_enable(false);
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    void open();
    // Talks with the user until a command moves the machine on.
    Resume enter(const char* reason);

    bool checking = false;  // breakpoints, watchpoints and steps are looked at
    std::vector<u8> break_at = std::vector<u8>(0x10000);
    std::vector<u8> watch_at = std::vector<u8>(0x10000);
    unsigned watches = 0;
    std::uint64_t steps_left = 0;
    bool over_active = false;  // `n` over a JSR: stop when it returns
    u16 over_pc = 0;
    u8 over_sp = 0;
    std::FILE* trace_ = nullptr;
    std::string trace_name_;
    Labels labels;
    // Profile: per address, executions and cycles; routine entries.
    std::vector<std::uint64_t> counts, cycles;
    std::vector<u8> entries;

    void say(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void show_next_instruction();
    void show_registers();
    void step_line(u16 pc);
    void trace_line(u16 pc, const char* text, u32 step_cycles);
    void close_trace();  // says so if lines were lost
    void write_profile();
    [[nodiscard]] unsigned breakpoint_number(u16 address) const {
        for (const Point& point : points_)
            if (point.access == 0 && point.address == address) return point.number;
        return 0;
    }

private:
    std::optional<std::string> next_line();
    // Runs one command; true when the machine moves on, with `resume` set.
    bool execute(const MonitorCommand& command, Resume& resume);
    void list_points();
    void memory_dump(u16 first, u16 last);
    void disassemble_range(u16 first, std::optional<u16> last);

    const MonitorOptions& options_;
    std::FILE* commands_ = nullptr;
    bool terminal_ = false;
    std::vector<Point> points_;
    unsigned next_number_ = 1;
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
        const std::string error = labels.load(options_.labels);
        if (!error.empty()) say("%s\n", error.c_str());
    }
    checking = terminal_ || options_.commands != nullptr;
    if (options_.commands != nullptr) {
        commands_ = std::fopen(options_.commands, "r");
        if (commands_ == nullptr) say("can't read command file %s\n", options_.commands);
    }
    if (options_.profile != nullptr) {
        counts.assign(0x10000, 0);
        cycles.assign(0x10000, 0);
        entries.assign(0x10000, 0);
    }
}

std::optional<std::string> Session::next_line() {
    if (commands_ != nullptr) {
        std::string line;
        int c;
        while ((c = std::fgetc(commands_)) != EOF && c != '\n')
            if (c != '\r') line += static_cast<char>(c);
        if (c != EOF || !line.empty()) {
            say("> %s\n", escape_controls(line).c_str());
            return line;
        }
        std::fclose(commands_);
        commands_ = nullptr;
    }
    if (terminal_) return monitor_terminal_read_line("> ");
    return std::nullopt;
}

Resume Session::enter(const char* reason) {
    steps_left = 0;
    over_active = false;
    if (reason != nullptr) say("%s\n", reason);
    show_next_instruction();
    for (;;) {
        const std::optional<std::string> line = next_line();
        if (host_stop_signal() != 0) return Resume::quit;
        // No more commands: from a file, the run goes on; at the terminal
        // (Ctrl-D), the monitor is left.
        if (!line) return terminal_ ? Resume::leave : Resume::cont;
        const MonitorCommand command = parse_monitor_command(*line, labels);
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
}

void Session::show_next_instruction() {
    char text[128];
    (void)disassembly_line(cpu.pc, &labels, text, sizeof text);
    const char* name = labels.name_at(cpu.pc);
    if (name != nullptr) say("%s:\n", name);
    say("%s\n", text);
}

void Session::step_line(u16 pc) {
    char text[128];
    (void)disassembly_line(pc, &labels, text, sizeof text);
    char flags[9];
    for (int bit = 0; bit < 8; ++bit) flags[bit] = (cpu.status & (0x80 >> bit)) ? '1' : '0';
    flags[8] = '\0';
    say("%-34s A=%02X X=%02X Y=%02X SP=%02X NV-BDIZC=%s\n", text, cpu.a, cpu.x, cpu.y, cpu.sp, flags);
}

void Session::trace_line(u16 pc, const char* text, u32 step_cycles) {
    const char* name = labels.name_at(pc);
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
        const char* name = labels.name_at(point.address);
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
        const char* name = labels.name_at(static_cast<u16>(address));
        if (name != nullptr) say("%s:\n", name);
        address += static_cast<unsigned>(disassembly_line(static_cast<u16>(address), &labels, text, sizeof text));
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
        steps_left = command.count;
        resume = Resume::step;
        return true;
    case MonitorVerb::next:
        if (bus_peek(cpu.pc) == 0x20) {
            over_active = true;
            over_pc = static_cast<u16>(cpu.pc + 3);
            over_sp = cpu.sp;
            resume = Resume::next;
        } else {
            steps_left = 1;
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
            ++break_at[*command.first];
            say("breakpoint %u at %04X\n", next_number_, *command.first);
        } else {
            ++watches;
            watch_at[*command.first] |= access;
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
            say("bd: no breakpoint or watchpoint %X\n", command.count);
            return false;
        }
        const Point point = *found;
        points_.erase(found);
        if (point.access == 0) {
            --break_at[point.address];
        } else {
            --watches;
            watch_at[point.address] = 0;  // what other watchpoints on it still ask for
            for (const Point& other : points_)
                if (other.address == point.address) watch_at[point.address] |= other.access;
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
        const std::string error = labels.load(command.file.c_str(), &added);
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
    case MonitorVerb::help: say("%s", monitor_help_text()); return false;
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
            if (counts[address] == 0) continue;
            const char* name = labels.name_at(static_cast<u16>(address));
            std::fprintf(file, "%04X  %11llu  %11llu  %s\n", address, static_cast<unsigned long long>(counts[address]),
                         static_cast<unsigned long long>(cycles[address]), name != nullptr ? name : "");
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
        if (counts[address] == 0) continue;
        if (entries[address] || routines.empty()) routines.push_back({static_cast<u16>(address), 0});
        routines.back().cycles += cycles[address];
        total += cycles[address];
    }
    std::stable_sort(routines.begin(), routines.end(), [](const Routine& a, const Routine& b) { return a.cycles > b.cycles; });
    host_console_flush();
    std::fprintf(stderr, "profile: %llu cycles; the hottest routines:\n", static_cast<unsigned long long>(total));
    for (std::size_t i = 0; i < routines.size() && i < 10; ++i) {
        const char* name = labels.name_at(routines[i].entry);
        char address[8];
        std::snprintf(address, sizeof address, "%04X", routines[i].entry);
        std::fprintf(stderr, "  %11llu  %5.1f%%  %s\n", static_cast<unsigned long long>(routines[i].cycles),
                     total != 0 ? 100.0 * static_cast<double>(routines[i].cycles) / static_cast<double>(total) : 0.0,
                     name != nullptr ? name : address);
    }
}
}  // namespace

namespace {
template <Chip P>
RunOutcome run_monitored_on(std::int64_t irq_deadline, const RunSettings& settings, const MonitorOptions& options) {
    console_idle_wait(!settings.max_instructions);
    host_timer_tick(irq_deadline);
    Session session(options);
    session.open();
    const bool profiling = options.profile != nullptr;
    RunOutcome outcome;
    const std::uint64_t limit = settings.max_instructions.value_or(UINT64_MAX);
    std::uint64_t counted = 0;
    auto next_poll_length = [&] { return std::min<std::uint64_t>(CLOCK_POLL, limit - counted); };
    if (limit == 0) {
        outcome.end = RunEnd::instruction_limit;
        return outcome;
    }
    std::uint64_t poll_length = next_poll_length();
    std::uint64_t countdown = poll_length;
    bool interrupted_to_zero = false;
    if (profiling) session.entries[cpu.pc] = 1;

    // The monitor's time does not count as the machine's: the timer's
    // deadline moves on by the time spent there.
    bool skip_breakpoint = false;  // the instruction at pc runs before its breakpoint counts again
    bool stop_asked = false;       // by q or a signal while in the monitor
    const auto enter = [&](const char* reason) {
        const std::int64_t entered = host_clock_ms();
        const Resume resume = session.enter(reason);
        irq_deadline += host_clock_ms() - entered;
        host_timer_tick(irq_deadline);
        skip_breakpoint = true;
        switch (resume) {
        case Resume::quit: host_request_stop(SIGINT); break;
        case Resume::leave:
            session.checking = false;
            host_monitor_key_enable(false);
            break;
        default: break;
        }
        stop_asked = host_stop_signal() != 0;
    };
    if (session.checking) enter(options.interactive ? "monitor: h for help" : nullptr);

    std::array<Access, 6> accesses{};
    char reason[160];
    char trace_text[64];
    // What the hot path tests, in locals: a store to `memory` could alias
    // the session's fields and force them to be read again every time.
    const u8* const breaks = session.break_at.data();
    bool check_breaks = false;
    bool careful = false;  // anything to do around the instruction
    const auto refresh = [&] {
        check_breaks = session.checking;
        careful = profiling || session.trace_ != nullptr ||
                  (session.checking && (session.watches != 0 || session.steps_left != 0 || session.over_active));
    };
    refresh();
    std::uint64_t cycles = 0;
    Cpu c = cpu;
    for (;;) {
        if (stop_asked) [[unlikely]] {
            outcome.signal = host_stop_signal();
            outcome.end = RunEnd::signal;
            break;
        }
        if (c.pc == 0x0000 && cpu.pause != Pause::none) [[unlikely]] {
            // Not the end: the processor halted, or waits for an interrupt.
            publish_registers(c);
            const Pause pause = cpu_resume_pause();
            take_registers(c);
            if (pause == Pause::halted) {
                outcome.end = RunEnd::halted;
                break;
            }
            idle_until(irq_deadline);
            if (host_timer_due(irq_deadline, host_clock_ms())) {
                publish_registers(c);
                cpu_irq();
                take_registers(c);
            }
            stop_asked = host_stop_signal() != 0;
            continue;
        }
        if (c.pc == 0x0000) [[unlikely]] {
            const bool executed_any = counted != 0 || countdown != poll_length;
            if (executed_any && !interrupted_to_zero) break;
            interrupted_to_zero = false;
        }
        if (check_breaks && breaks[c.pc]) [[unlikely]] {
            if (!skip_breakpoint) {
                std::snprintf(reason, sizeof reason, "breakpoint %u at %04X", session.breakpoint_number(c.pc), c.pc);
                publish_registers(c);
                enter(reason);
                take_registers(c);
                refresh();
                continue;  // the monitor may have moved pc, or asked to stop
            }
        }
        skip_breakpoint = false;
        u32 step_cycles;
        if (!careful) [[likely]] {
            step_cycles = step<P>(c);
        } else {
            // Out of line, on `cpu`: tracing, profiling and watching are slow anyway.
            publish_registers(c);
            const int access_count = session.checking && session.watches != 0 ? data_accesses(accesses) : 0;
            const u16 pc = cpu.pc;
            if (session.trace_ != nullptr) (void)disassemble(pc, &session.labels, trace_text, sizeof trace_text);
            step_cycles = execute_instruction_on_cpu<P>();
            take_registers(c);
            if (profiling) {
                ++session.counts[pc];
                session.cycles[pc] += step_cycles;
                if (memory[pc] == 0x20 || memory[pc] == 0x00) session.entries[cpu.pc] = 1;  // JSR and BRK targets
            }
            if (session.trace_ != nullptr) session.trace_line(pc, trace_text, step_cycles);
            if (session.checking) {
                const char* stop = nullptr;
                for (int i = 0; i < access_count; ++i) {
                    const Access& access = accesses[static_cast<std::size_t>(i)];
                    if ((session.watch_at[access.address] & access.kind) == 0) continue;
                    if (access.kind == WATCH_WRITE)
                        std::snprintf(reason, sizeof reason, "watchpoint: write %04X = %02X by %04X", access.address,
                                      memory[access.address], pc);
                    else
                        std::snprintf(reason, sizeof reason, "watchpoint: read %04X by %04X", access.address, pc);
                    stop = reason;
                    break;
                }
                if (session.steps_left != 0) {
                    session.step_line(pc);
                    if (--session.steps_left == 0 && stop == nullptr) enter(nullptr);
                } else if (session.over_active && cpu.pc == session.over_pc && cpu.sp == session.over_sp) {
                    session.over_active = false;
                    session.step_line(pc);
                    enter(nullptr);
                }
                if (stop != nullptr) enter(stop);
                take_registers(c);
                refresh();
            }
        }
        cycles += step_cycles;
        if (settings.trace_always || memory[TRACE_CTL] == 1) [[unlikely]] {
            publish_registers(c);
            print_trace_line();
        }
        if (--countdown == 0) [[unlikely]] {
            ++host_clock_polls;
            counted += poll_length;
            poll_length = countdown = next_poll_length();
            if (c.pc == 0x0000 && cpu.pause == Pause::none) break;
            if (poll_ends_run(outcome, counted, limit)) break;
            const std::int64_t clock = host_clock_ms();
            if (host_timer_due(irq_deadline, clock)) {
                publish_registers(c);
                cpu_irq();
                interrupted_to_zero = cpu.pc == 0x0000;
                if (profiling && cpu.pc != c.pc) session.entries[cpu.pc] = 1;
                if (clock >= irq_deadline) poll_length = countdown = 1;
                if (session.checking && options.interactive && host_monitor_key_pressed()) {
                    enter("stopped");
                    refresh();
                }
                take_registers(c);
            }
        }
    }
    counted += poll_length - countdown;
    publish_registers(c);
    outcome.cycles = cycles;
    outcome.instructions = counted;
    cpu.instruction_count += static_cast<u32>(counted);
    if (profiling) session.write_profile();
    return outcome;
}
}  // namespace

RunOutcome run_monitored(std::int64_t irq_deadline, const RunSettings& settings, const MonitorOptions& options) {
    switch (cpu_chip()) {
    case Chip::m6502x: return run_monitored_on<Chip::m6502x>(irq_deadline, settings, options);
    case Chip::m65c02: return run_monitored_on<Chip::m65c02>(irq_deadline, settings, options);
    case Chip::m6502: break;
    }
    return run_monitored_on<Chip::m6502>(irq_deadline, settings, options);
}
