#include "inspect/checker.hpp"

#include <algorithm>
#include <cstdio>

#include "cpu/cpu.hpp"
#include "cpu/observed.hpp"
#include "cpu/opcode_matrix.hpp"
#include "debug/call_stack.hpp"
#include "debug/disassembler.hpp"

namespace {
// What an address belongs to, as bits.
constexpr u8 REGION_PROTECTED = 1;  // code or read-only data: no writes
constexpr u8 REGION_DATA = 2;       // a data segment: not to be run
constexpr u8 REGION_CODE_BYTES = 4; // made by the assembler as instructions, wherever they lie

// The segments that hold code, by cc65's names for them.
bool is_code_segment(const std::string& name) {
    return name.find("CODE") != std::string::npos || name == "STARTUP" || name == "ONCE";
}

std::string hex(u16 value, int digits = 4) {
    char text[8];
    std::snprintf(text, sizeof text, "$%0*X", digits, value);
    return text;
}

std::string instruction_at(u16 pc) {
    char text[48];
    (void)disassemble(pc, nullptr, text, sizeof text);
    return text;
}

std::string bytes(unsigned count) { return std::to_string(count) + (count == 1 ? " byte" : " bytes"); }
}  // namespace

Checker::Checker(CheckSettings settings) : settings_(std::move(settings)) {
    findings_.reserve(64);
    classify_segments();
    for (const AddressSpan& span : settings_.protect)
        for (unsigned a = span.first; a <= span.last; ++a) region_[a] |= REGION_PROTECTED;
    // What the threaded code tests (cpu/observed.hpp): device registers
    // are no memory that must be written first.
    for (unsigned a = 0; a <= 0xFFFF; ++a) {
        u8& bits = guard_[a];
        if (is_device(static_cast<u16>(a))) bits &= static_cast<u8>(~guard::UNWRITTEN);
        if ((region_[a] & REGION_PROTECTED) != 0) bits |= guard::PROTECTED;
        if ((region_[a] & (REGION_DATA | REGION_CODE_BYTES)) == REGION_DATA) bits |= guard::NO_RUN;
    }
    if (c_sp_) {
        guard_[*c_sp_] |= guard::C_SP;
        guard_[static_cast<u8>(*c_sp_ + 1)] |= guard::C_SP;
    }
    observed.c_stack_due = false;
}

void Checker::publish() {
    observed.guard = guard_.data();
    observed.c_sp = c_sp_ ? static_cast<u8>(*c_sp_) : 0;
    observed.c_stack_floor = c_stack_floor_;
    observed.heap_pointer = settings_.heap_pointer.value_or(0);
    const auto& calls = calls_.calls();
    observed.known_call_count = calls.size();
    for (std::size_t i = 0; i < calls.size(); ++i) {
        const TrackedCall& call = calls[i];
        observed.known_calls[i] = {call.call_pc, call.entry, call.return_to, call.sp, call.interrupt};
    }
}

void Checker::take_calls() {
    calls_.clear();
    for (std::size_t i = 0; i < observed.known_call_count; ++i) {
        const KnownCall& call = observed.known_calls[i];
        calls_.push({call.call_pc, call.entry, call.return_to, call.sp, call.interrupt});
    }
}

void Checker::classify_segments() {
    const debug_info::DebugInfo* info = settings_.info;
    if (info == nullptr) return;
    const auto& segments = info->segments();
    for (std::size_t i = 0; i < segments.size(); ++i) {
        const debug_info::Segment& segment = segments[i];
        const bool code = is_code_segment(segment.name);
        // Data that is loaded and may be written (DATA) also holds the
        // runtime's patched jumps, without debug lines: there only what the
        // assembler declared as data may not run.
        const bool loaded_rw = !segment.read_only && !segment.output.empty();
        u8 bits = code || segment.read_only ? REGION_PROTECTED : 0;
        if (!code && !loaded_rw) bits |= REGION_DATA;
        for (std::uint32_t a = segment.start; a < segment.start + segment.size && a <= 0xFFFF; ++a) {
            region_[a] |= bits;
            segment_at_[a] = static_cast<std::uint16_t>(i);
        }
    }
    for (const debug_info::Line& line : info->lines())
        for (const std::uint32_t id : line.spans) {
            const debug_info::Span& span = info->spans()[id];
            if (line.kind == debug_info::LineKind::c || span.segment >= segments.size()) continue;
            const bool code = is_code_segment(segments[span.segment].name);
            // Instructions the assembler put in a data segment may run: their spans carry no data type.
            const u8 bit = span.type == debug_info::NONE ? REGION_CODE_BYTES : code ? 0 : REGION_DATA;
            for (std::uint32_t a = span.start; a < span.start + span.size && a <= 0xFFFF; ++a) region_[a] |= bit;
        }
    // cc65's C stack grows down from the top towards the data and BSS.
    c_sp_ = info->c_stack_pointer();
    // Without cc65's runtime (its "sp", even as an import) there is no C stack.
    if (std::none_of(info->symbols().begin(), info->symbols().end(),
                     [](const debug_info::Symbol& s) { return s.name == "sp" || s.name == "c_sp"; }))
        c_sp_.reset();
    // The runtime's zero-page registers are scratch it saves and restores
    // (a function with register variables pushes regbank as it finds it):
    // copying them unset is no fault, so they count as written.
    if (c_sp_) {
        const debug_info::Symbol* space = info->symbol("zpspace");
        const std::uint32_t size = space != nullptr && space->value ? *space->value : 26;
        mark_written(*c_sp_, std::min<std::uint32_t>(size, 0x100u - *c_sp_));
    }
    for (const debug_info::Segment& segment : segments) {
        if (segment.size == 0 || segment.start < 0x100 || is_code_segment(segment.name)) continue;
        const std::uint32_t end = segment.start + segment.size;
        if (end > c_stack_floor_ && end <= 0xFFFF) {
            c_stack_floor_ = static_cast<u16>(end);
            c_stack_floor_what_ = segment.name;
        }
    }
}

void Checker::mark_written(u16 first, std::size_t count) {
    for (std::size_t i = 0; i < count && first + i <= 0xFFFF; ++i) written(static_cast<u16>(first + i));
}

bool Checker::suppressed(CheckKind kind, u16 pc, u16 address) const {
    for (const Suppression& s : settings_.suppressions) {
        if (s.kind && *s.kind != kind) continue;
        if ((pc >= s.span.first && pc <= s.span.last) || (address >= s.span.first && address <= s.span.last))
            return true;
    }
    return false;
}

std::string Checker::where(u16 address) const {
    const debug_info::DebugInfo* info = settings_.info;
    if (info == nullptr) return {};
    std::string text;
    if (const auto at = info->location(address))
        text = info->files()[at->file].name + ":" + std::to_string(at->line);
    const std::string name = code_name(*info, address);
    if (!name.empty()) text += (text.empty() ? "in " : ", in ") + name;
    return text;
}

std::string Checker::backtrace(u16 pc) const {
    std::string text = "  #0  " + hex(pc);
    const std::string here = where(pc);
    if (!here.empty()) text += "  " + here;
    text += '\n';
    const auto& calls = calls_.calls();
    for (std::size_t i = calls.size(), n = 1; i-- > 0 && n < 16; ++n) {
        const TrackedCall& call = calls[i];
        text += "  #" + std::to_string(n) + "  " + hex(call.call_pc);
        const std::string place = where(call.call_pc);
        if (call.interrupt && opcode_grid_of(cpu_chip())[bus_peek(call.call_pc)].op != Op::BRK) text += "  (interrupted)";
        if (!place.empty()) text += "  " + place;
        text += '\n';
    }
    return text;
}

void Checker::find(CheckKind kind, u16 pc, u16 address, const std::string& detail) {
    if (!settings_.kinds.has(kind)) return;
    const auto bit = static_cast<u8>(1u << static_cast<unsigned>(kind));
    if ((reported_[pc] & bit) != 0 || suppressed(kind, pc, address)) return;
    reported_[pc] |= bit;
    if (findings_.size() == MAX_REPORTS) {
        ++unreported_;
        return;
    }
    std::string line = "check: " + std::string(check_kind_name(kind)) + " at " + hex(pc) + " " + instruction_at(pc) +
                       ": " + detail + "\n";
    findings_.push_back({kind, pc, address, line + backtrace(pc)});
}

void Checker::before_instruction() {
    const u16 pc = cpu.pc;
    opcode_ = bus_peek(pc);
    sp_before_ = cpu.sp;
    const OpcodeEntry& entry = opcode_grid_of(cpu_chip())[opcode_];
    const int length = 1 + operand_bytes(entry.mode);
    bool unwritten = false;
    for (int i = 0; i < length && !unwritten; ++i) {
        const auto at = static_cast<u16>(pc + i);
        if (!was_written(at) && !is_device(at)) {
            unwritten = true;
            // A program gone astray runs on through the fill: its first
            // instruction there is the report, the rest only follow from it.
            if (!astray_)
                find(CheckKind::execute, pc, at, "runs " + hex(at) + ", which nothing has written in this run");
        }
    }
    astray_ = unwritten;
    if (astray_) {
        access_count_ = data_accesses(accesses_);
        return;
    }
    if ((region_[pc] & (REGION_DATA | REGION_CODE_BYTES)) == REGION_DATA)
        find(CheckKind::execute, pc, pc,
             "runs " + hex(pc) + ", in the data segment " + settings_.info->segments()[segment_at_[pc]].name);
    if (entry.op == Op::JAM || (entry.op == Op::NOP && opcode_ != 0xEA))
        find(CheckKind::undocumented, pc, pc,
             "opcode " + hex(opcode_, 2) + " is undocumented: " + (entry.op == Op::JAM ? "it halts the " : "a NOP on the ") +
                 chip_name(cpu_chip()));
    access_count_ = data_accesses(accesses_);
    for (int i = 0; i < access_count_; ++i) {
        const Access& access = accesses_[static_cast<std::size_t>(i)];
        if (is_device(access.address)) continue;
        if (access.kind == WATCH_READ && !was_written(access.address))
            find(CheckKind::uninitialised_read, pc, access.address,
                 "reads " + hex(access.address) + ", which nothing has written in this run");
        if (access.kind == WATCH_WRITE && (region_[access.address] & REGION_PROTECTED) != 0) {
            const std::uint16_t segment = segment_at_[access.address];
            find(CheckKind::protected_write, pc, access.address,
                 "writes " + hex(access.address) + (segment != UINT16_MAX
                                                         ? ", in the segment " + settings_.info->segments()[segment].name
                                                         : ", in a --protect range"));
        }
    }
}

void Checker::after_instruction(u16 pc) {
    const OpcodeEntry& entry = opcode_grid_of(cpu_chip())[opcode_];
    for (int i = 0; i < access_count_; ++i) {
        const Access& access = accesses_[static_cast<std::size_t>(i)];
        if (access.kind != WATCH_WRITE) continue;
        written(access.address);
        if (c_sp_ && (access.address == *c_sp_ || access.address == *c_sp_ + 1)) observed.c_stack_due = true;
    }
    // Pushes move S down, pulls up: the other way round it wrapped.
    const int moved = static_cast<int>(cpu.sp) - static_cast<int>(sp_before_);
    switch (entry.op) {
    case Op::PHA: case Op::PHP: case Op::PHX: case Op::PHY: case Op::JSR: case Op::BRK:
        if (moved > 0)
            find(CheckKind::stack_wrap, pc, static_cast<u16>(0x100 | cpu.sp),
                 "S went from " + hex(sp_before_, 2) + " to " + hex(cpu.sp, 2) + ": the stack overflowed below $0100");
        break;
    case Op::PLA: case Op::PLP: case Op::PLX: case Op::PLY: case Op::RTS: case Op::RTI:
        if (moved < 0)
            find(CheckKind::stack_wrap, pc, static_cast<u16>(0x100 | sp_before_),
                 "S went from " + hex(sp_before_, 2) + " to " + hex(cpu.sp, 2) + ": pulled more than the stack held");
        break;
    default: break;
    }
    switch (entry.op) {
    case Op::JSR:
        calls_.called(pc, cpu.pc, cpu.sp);
        if (observed.c_stack_due) check_c_stack(pc);
        break;
    case Op::BRK: calls_.interrupted(pc, static_cast<u16>(pc + 2), cpu.pc, cpu.sp); break;
    case Op::RTS: check_return(pc, false); break;
    case Op::RTI: check_return(pc, true); break;
    default:
        if (observed.c_stack_due && entry.mode == Mode::izy && c_sp_ && bus_peek(static_cast<u16>(pc + 1)) == *c_sp_)
            check_c_stack(pc);
        break;
    }
}

void Checker::interrupt_taken() {
    const u8 sp = cpu.sp;
    for (unsigned i = 1; i <= 3; ++i) written(static_cast<u16>(0x100 | static_cast<u8>(sp + i)));
    const auto back = static_cast<u16>(bus_peek(static_cast<u16>(0x100 | static_cast<u8>(sp + 2))) |
                                       bus_peek(static_cast<u16>(0x100 | static_cast<u8>(sp + 3))) << 8);
    if (sp >= 0xFD)
        find(CheckKind::stack_wrap, back, static_cast<u16>(0x100 | sp),
             "an interrupt's pushes left S at " + hex(sp, 2) + ": the stack overflowed below $0100");
    calls_.interrupted(back, back, cpu.pc, sp);
}

void Checker::check_return(u16 pc, bool rti) {
    // Reported before the calls it ended are taken off: the backtrace shows them.
    const ReturnSeen seen = calls_.classify(sp_before_, cpu.pc, rti);
    report_return(pc, seen);
    (void)calls_.returned(sp_before_, cpu.pc, rti);
}

void Checker::report_return(u16 pc, const ReturnSeen& seen) {
    const char* call = seen.call.interrupt ? "the interrupt at " : "the call at ";
    switch (seen.match) {
    case ReturnMatch::matched:
    case ReturnMatch::jump:
    case ReturnMatch::no_call: return;
    case ReturnMatch::elsewhere:
        find(CheckKind::bad_return, pc, cpu.pc,
             "returns to " + hex(cpu.pc) + ", not to " + hex(seen.call.return_to) + " after " + call +
                 hex(seen.call.call_pc));
        return;
    case ReturnMatch::left_pushed:
        find(CheckKind::bad_return, pc, cpu.pc,
             "returns with " + bytes(static_cast<unsigned>(seen.call.sp - sp_before_)) + " still pushed since " + call +
                 hex(seen.call.call_pc) + ", to " + hex(cpu.pc) + " instead of " + hex(seen.call.return_to));
        return;
    case ReturnMatch::unwound:
        find(CheckKind::bad_return, pc, cpu.pc,
             "pulled " + bytes(static_cast<unsigned>(sp_before_ - seen.call.sp)) + " of " + call +
                 hex(seen.call.call_pc) + " before returning, to " + hex(cpu.pc));
        return;
    }
}

void Checker::check_c_stack(u16 pc) {
    observed.c_stack_due = false;
    if (!c_sp_) return;
    const u16 value = observed.c_stack_pointer();
    switch (c_stack_place(value, c_stack_floor_, observed.heap_end())) {
    case CStackPlace::fine: return;
    case CStackPlace::data:
        find(CheckKind::c_stack, pc, value,
             "the C stack pointer is " + hex(value) + ", inside " + c_stack_floor_what_ + " (which ends at " +
                 hex(c_stack_floor_) + ")");
        return;
    case CStackPlace::heap:
        find(CheckKind::c_stack, pc, value,
             "the C stack pointer is " + hex(value) + ", inside the heap (which ends at " + hex(observed.heap_end()) +
                 ")");
        return;
    }
}
