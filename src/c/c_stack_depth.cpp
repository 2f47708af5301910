#include "c/c_stack_depth.hpp"

#include <array>
#include <string_view>
#include <vector>

#include "debug/disassembler.hpp"

namespace c_view {

namespace {
struct Routine {
    std::string_view name;
    int pushed;
};
// cc65's runtime (libsrc/runtime): what each routine leaves pushed.
constexpr std::array<Routine, 38> ROUTINES = {{
    {"pusha", 1},    {"pushaysp", 1}, {"pushc0", 1},   {"pushc1", 1},   {"pushc2", 1},   {"pushax", 2},
    {"pusha0", 2},   {"pushaFF", 2},  {"push0", 2},    {"push1", 2},    {"push2", 2},    {"push3", 2},
    {"push4", 2},    {"push5", 2},    {"push6", 2},    {"push7", 2},    {"pushw", 2},    {"pushw0sp", 2},
    {"pushwysp", 2}, {"pushb", 2},    {"pushbidx", 2}, {"pushbsp", 2},  {"pushbysp", 2}, {"pusheax", 4},
    {"pushl0", 4},   {"pushlysp", 4}, {"popa", -1},    {"popax", -2},   {"popeax", -4},  {"popsreg", -2},
    {"staspidx", -2}, {"staxspidx", -2}, {"toslong", 2}, {"tosulong", 2}, {"tosint", -2}, {"swapstk", 0},
    {"subysp", 0},   {"addysp", 0},
}};
}  // namespace

int runtime_effect(const std::string& name, std::optional<std::uint8_t> y) {
    for (const Routine& r : ROUTINES)
        if (r.name == name) {
            if (name == "subysp") return y.value_or(0);
            if (name == "addysp") return -static_cast<int>(y.value_or(0));
            return r.pushed;
        }
    // decsp1..decsp8 make room, incsp1..incsp8 give it back.
    if (name.size() == 6 && name.starts_with("decsp") && name[5] >= '1' && name[5] <= '8') return name[5] - '0';
    if (name.size() == 6 && name.starts_with("incsp") && name[5] >= '1' && name[5] <= '8') return -(name[5] - '0');
    // The operators on the top of the stack and ax take it off: a long's
    // four bytes (tosaddeax), else an int's two.
    if (name.starts_with("tos")) return name.find("eax") != std::string::npos ? -4 : -2;
    return 0;
}

std::optional<int> pushed_before(std::uint16_t line_start, std::uint16_t call, const PeekByte& peek,
                                 const CallEffect& effect) {
    // The code of a line may branch (a condition, a ternary, a loop) before
    // the call: follow every path from its first byte, as the processor
    // could go. cc65 keeps its C stack's depth the same wherever paths
    // meet, so the first path that reaches the call tells it. A line's code
    // lies close together; the bounds keep a stray walk short.
    constexpr unsigned REACH = 0x1000;
    constexpr unsigned MOST_STEPS = 0x2000;
    struct Path {
        std::uint16_t at;
        int pushed;
        std::optional<std::uint8_t> y;
    };
    std::vector<Path> paths{{line_start, 0, std::nullopt}};
    std::vector<bool> seen(REACH, false);
    unsigned steps = 0;
    while (!paths.empty() && steps++ < MOST_STEPS) {
        Path path = paths.back();
        paths.pop_back();
        for (;;) {
            const unsigned offset = static_cast<std::uint16_t>(path.at - line_start);
            if (offset >= REACH || seen[offset]) break;
            seen[offset] = true;
            if (path.at == call) return path.pushed;
            const std::uint8_t opcode = peek(path.at);
            const auto operand = [&](unsigned n) { return peek(static_cast<std::uint16_t>(path.at + n)); };
            const int length = instruction_length(opcode);
            if (length <= 0) break;
            const auto next = static_cast<std::uint16_t>(path.at + length);
            if (opcode == 0xA0) path.y = operand(1);  // LDY #N
            if (opcode == 0x20) {                     // JSR
                const auto taken = effect(static_cast<std::uint16_t>(operand(1) | operand(2) << 8), path.y);
                if (!taken) break;
                path.pushed += *taken;
            } else if (opcode == 0x4C) {  // JMP
                path.at = static_cast<std::uint16_t>(operand(1) | operand(2) << 8);
                continue;
            } else if ((opcode & 0x1F) == 0x10) {  // a conditional branch: both ways
                paths.push_back({static_cast<std::uint16_t>(next + static_cast<std::int8_t>(operand(1))), path.pushed,
                                 path.y});
            } else if (opcode == 0x00 || opcode == 0x40 || opcode == 0x60 || opcode == 0x6C) {
                break;  // BRK, RTI, RTS, JMP (ind): the line's code goes no further this way
            }
            path.at = next;
        }
    }
    return std::nullopt;
}

}  // namespace c_view
