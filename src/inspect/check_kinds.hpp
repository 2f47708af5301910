// The kinds of fault --check looks for, by the names the options, the
// suppression file, the reports and the debug adapter's filters use.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

enum class CheckKind : std::uint8_t {
    uninitialised_read,  // a read of memory nothing wrote in this run
    protected_write,     // a write into code or read-only data
    execute,             // running memory never written, or a data segment
    bad_return,          // RTS or RTI not back to its caller, or with bytes left pushed
    stack_wrap,          // S wrapped below 0x0100 or above 0x01FF
    c_stack,             // cc65's C stack grew into the data, BSS or heap
    undocumented,        // an undocumented opcode that is a NOP or a JAM here
};
inline constexpr std::size_t CHECK_KIND_COUNT = 7;

struct CheckKindInfo {
    CheckKind kind;
    std::string_view name;
    std::string_view label;  // for the editor's checkbox
};
inline constexpr std::array<CheckKindInfo, CHECK_KIND_COUNT> CHECK_KINDS{{
    {CheckKind::uninitialised_read, "uninitialised-read", "Read of uninitialised memory"},
    {CheckKind::protected_write, "protected-write", "Write into code or read-only data"},
    {CheckKind::execute, "execute", "Execution of unwritten memory or data"},
    {CheckKind::bad_return, "return", "RTS/RTI not back to the caller"},
    {CheckKind::stack_wrap, "stack-wrap", "Hardware stack wrapped"},
    {CheckKind::c_stack, "c-stack", "C stack into data, BSS or heap"},
    {CheckKind::undocumented, "undocumented", "Undocumented opcode (NOP or JAM)"},
}};

[[nodiscard]] constexpr std::string_view check_kind_name(CheckKind kind) {
    return CHECK_KINDS[static_cast<std::size_t>(kind)].name;
}
[[nodiscard]] constexpr std::optional<CheckKind> check_kind_named(std::string_view name) {
    for (const CheckKindInfo& info : CHECK_KINDS)
        if (info.name == name) return info.kind;
    return std::nullopt;
}

// Which kinds are looked for: a bit per kind.
struct CheckSet {
    std::uint8_t bits = 0;
    [[nodiscard]] bool has(CheckKind kind) const { return (bits >> static_cast<unsigned>(kind) & 1u) != 0; }
    void set(CheckKind kind, bool on) {
        const auto bit = static_cast<std::uint8_t>(1u << static_cast<unsigned>(kind));
        bits = static_cast<std::uint8_t>(on ? bits | bit : bits & ~bit);
    }
    [[nodiscard]] static CheckSet all() { return {static_cast<std::uint8_t>((1u << CHECK_KIND_COUNT) - 1)}; }
};
