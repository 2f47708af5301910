// --check: a sanitizer for 6502 programs. It watches every instruction of
// a run for the faults of check_kinds.hpp and reports each once per place
// (kind and pc): the kind, the address, the instruction and its pc, the
// source line and function when there is debug information, and the calls
// that led there. A library object: construct it, mark what the run starts
// with, call it around each instruction (CheckObserver does that for the
// engine), read its findings.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "bus/bus.hpp"
#include "cpu/observed.hpp"
#include "debug/data_accesses.hpp"
#include "debug/debug_info.hpp"
#include "inspect/call_tracker.hpp"
#include "inspect/check_kinds.hpp"

struct AddressSpan {
    u16 first = 0;
    u16 last = 0;
};

// One line of a suppression file: a kind (or every kind) at a place.
struct Suppression {
    std::optional<CheckKind> kind;  // none: every kind
    AddressSpan span;
};

struct CheckSettings {
    CheckSet kinds = CheckSet::all();
    std::vector<AddressSpan> protect;        // --protect: read-only besides the debug file's segments
    std::vector<Suppression> suppressions;   // --check-suppress FILE
    const debug_info::DebugInfo* info = nullptr;
    // Where cc65's runtime keeps the end of the heap it hands out
    // (__heapptr, named by the label file): the C stack may not grow into it.
    std::optional<u16> heap_pointer;
};

struct CheckFinding {
    CheckKind kind;
    u16 pc;
    u16 address;
    std::string report;  // the whole report: its line, then the calls, each line ending in a newline
};

class Checker {
public:
    explicit Checker(CheckSettings settings);

    // What the run starts with: the image, the saved memory, the vectors.
    void mark_written(u16 first, std::size_t count);
    // The checks made from now on (the debug adapter's filters).
    void set_kinds(CheckSet kinds) { settings_.kinds = kinds; }
    [[nodiscard]] CheckSet kinds() const { return settings_.kinds; }
    // Forgets the calls seen: a run taken back, or changed by hand (the
    // threaded code's too: this checker watches the run).
    void forget_calls() {
        calls_.clear();
        publish();
    }
    // Hands the threaded code (observe::CHECKS) its tables and the calls
    // known now: before a run, and after each change the checker made.
    void publish();
    // Takes back the calls as the threaded code followed them since.
    void take_calls();
    // Instructions ran in threaded code: their bytes were all written.
    void ran_threaded() { astray_ = false; }

    // Around one instruction at cpu.pc (it has not run at `before`).
    void before_instruction();
    void after_instruction(u16 pc);
    // An interrupt sent the processor to cpu.pc, having pushed three bytes.
    void interrupt_taken();

    [[nodiscard]] const std::vector<CheckFinding>& findings() const { return findings_; }
    // Reports made since the last call, for the caller to show or stop at.
    [[nodiscard]] std::size_t unseen() const { return findings_.size() - seen_; }
    void mark_seen() { seen_ = findings_.size(); }
    [[nodiscard]] bool any() const { return !findings_.empty(); }
    // Places found beyond the reports kept (MAX_REPORTS).
    [[nodiscard]] std::size_t unreported() const { return unreported_; }
    static constexpr std::size_t MAX_REPORTS = 100;

private:
    void find(CheckKind kind, u16 pc, u16 address, const std::string& detail);
    [[nodiscard]] bool suppressed(CheckKind kind, u16 pc, u16 address) const;
    void check_return(u16 pc, bool rti);
    void report_return(u16 pc, const ReturnSeen& seen);
    void check_c_stack(u16 pc);
    void classify_segments();
    [[nodiscard]] std::string where(u16 address) const;
    [[nodiscard]] std::string backtrace(u16 pc) const;

    CheckSettings settings_;
    // Per address: the bits of cpu/observed.hpp's guard, which the threaded
    // code reads and marks written in.
    std::vector<u8> guard_ = std::vector<u8>(0x10000, guard::UNWRITTEN);
    [[nodiscard]] bool was_written(u16 address) const { return (guard_[address] & guard::UNWRITTEN) == 0; }
    void written(u16 address) { guard_[address] &= static_cast<u8>(~guard::UNWRITTEN); }
    // Per address: what it belongs to (the REGION_ bits in checker.cpp).
    std::vector<u8> region_ = std::vector<u8>(0x10000);
    std::vector<u8> reported_ = std::vector<u8>(0x10000);  // per pc: a bit per kind
    std::vector<std::uint16_t> segment_at_ = std::vector<std::uint16_t>(0x10000, UINT16_MAX);  // per address: its segment
    CallTracker calls_;
    std::vector<CheckFinding> findings_;
    std::size_t seen_ = 0;
    std::size_t unreported_ = 0;
    bool astray_ = false;  // running memory never written: a run gone astray
    // From before the instruction to after it.
    std::array<Access, MAX_ACCESSES> accesses_{};
    int access_count_ = 0;
    u8 opcode_ = 0;
    u8 sp_before_ = 0;
    std::optional<u16> c_sp_;           // the zero-page address of cc65's C stack pointer
    u16 c_stack_floor_ = 0;             // the first byte above the data and BSS below the C stack
    std::string c_stack_floor_what_;
};
