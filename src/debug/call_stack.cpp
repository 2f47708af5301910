#include "debug/call_stack.hpp"

using debug_info::DebugInfo;
using debug_info::NONE;

namespace {
// The module whose bytes hold `address`, or NONE.
std::uint32_t module_at(const DebugInfo& info, std::uint16_t address) {
    for (const debug_info::Scope& scope : info.scopes()) {
        if (scope.module == NONE) continue;
        for (const std::uint32_t id : scope.spans) {
            const debug_info::Span& span = info.spans()[id];
            if (address >= span.start && address < span.start + span.size) return scope.module;
        }
    }
    return NONE;
}
}  // namespace

std::string code_name(const DebugInfo& info, std::uint16_t address) {
    if (const auto function = info.function_at(address)) return function->name;
    const std::uint32_t module = module_at(info, address);
    if (module == NONE) return {};
    const debug_info::Symbol* best = nullptr;
    for (const debug_info::Symbol& s : info.symbols()) {
        // Cheap locals ("@next") say little without their owner, and the
        // assembler's names for macro locals nothing.
        if (s.kind != debug_info::SymbolKind::label || !s.value || *s.value > address || s.name.empty() ||
            s.name[0] == '@' || s.name.find('-') != std::string::npos || s.scope == NONE ||
            info.scopes()[s.scope].module != module)
            continue;
        if (best == nullptr || *s.value > *best->value) best = &s;
    }
    if (best == nullptr) return {};
    const std::uint32_t offset = address - *best->value;
    return offset == 0 ? best->name : best->name + "+" + std::to_string(offset);
}

std::vector<std::uint16_t> stacked_calls(std::uint8_t sp, const PeekByte& peek, std::size_t limit,
                                         const std::function<bool(std::uint16_t)>& counts) {
    std::vector<std::uint16_t> calls;
    // A JSR pushes the address of its own last byte: the call is 2 below.
    for (unsigned slot = sp + 1u; slot + 1 <= 0xFF && calls.size() < limit;) {
        const auto word = static_cast<std::uint16_t>(peek(static_cast<std::uint16_t>(0x100 + slot)) |
                                                     peek(static_cast<std::uint16_t>(0x100 + slot + 1)) << 8);
        const auto call = static_cast<std::uint16_t>(word - 2);
        if (peek(call) == 0x20 && counts(call)) {
            calls.push_back(call);
            slot += 2;
        } else {
            ++slot;
        }
    }
    return calls;
}

std::vector<CallFrame> call_frames(const DebugInfo& info, std::uint16_t pc, std::uint8_t sp, const PeekByte& peek,
                                   std::size_t limit) {
    std::vector<CallFrame> frames;
    const auto frame = [&](std::uint16_t at) {
        frames.push_back({at, info.function_at(at), info.location(at)});
    };
    frame(pc);
    if (limit <= 1) return frames;
    for (const std::uint16_t call :
         stacked_calls(sp, peek, limit - 1, [&](std::uint16_t at) { return info.location(at).has_value(); }))
        frame(call);
    return frames;
}
