#include "c/c_stack_depth.hpp"

#include <array>
#include <string_view>

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
    int pushed = 0;
    std::optional<std::uint8_t> y;
    unsigned at = line_start;
    while (at < call) {
        const std::uint8_t opcode = peek(static_cast<std::uint16_t>(at));
        if (opcode == 0xA0) y = peek(static_cast<std::uint16_t>(at + 1));  // LDY #N
        if (opcode == 0x20) {
            const auto target = static_cast<std::uint16_t>(peek(static_cast<std::uint16_t>(at + 1)) |
                                                           peek(static_cast<std::uint16_t>(at + 2)) << 8);
            const auto taken = effect(target, y);
            if (!taken) return std::nullopt;
            pushed += *taken;
        }
        const int length = instruction_length(opcode);
        if (length <= 0) return std::nullopt;
        at += static_cast<unsigned>(length);
    }
    if (at != call) return std::nullopt;
    return pushed;
}

}  // namespace c_view
