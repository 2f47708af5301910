// The walk up the 6502 stack that finds the calls behind pc: the monitor's
// backtrace and the debug adapter's stack trace both rest on it.
#include "debug/call_stack.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr std::uint8_t JSR = 0x20;

struct WalkCase {
    const char* name;
    std::uint8_t sp;
    std::vector<std::pair<std::uint16_t, std::uint8_t>> bytes;  // the rest of memory is 0
    std::size_t limit;
    std::vector<std::uint16_t> refused;  // JSRs that `counts` turns down
    std::vector<std::uint16_t> calls;
};
void PrintTo(const WalkCase& c, std::ostream* os) { *os << c.name; }

// A JSR at 0x0202 pushes 0x0204 (its own last byte), high byte first.
const WalkCase WALK_CASES[] = {
    {"nothing_stacked", 0xFF, {{0x0202, JSR}}, 8, {}, {}},
    {"one_call", 0xFD, {{0x0202, JSR}, {0x01FE, 0x04}, {0x01FF, 0x02}}, 8, {}, {0x0202}},
    {"innermost_first",
     0xFB,
     {{0x0202, JSR}, {0x0310, JSR}, {0x01FC, 0x12}, {0x01FD, 0x03}, {0x01FE, 0x04}, {0x01FF, 0x02}},
     8,
     {},
     {0x0310, 0x0202}},
    // A byte pushed by PHA is passed over: the word it starts points at no JSR.
    {"pushed_byte_passed_over",
     0xFC,
     {{0x0202, JSR}, {0x01FD, 0x55}, {0x01FE, 0x04}, {0x01FF, 0x02}},
     8,
     {},
     {0x0202}},
    {"word_not_after_a_jsr", 0xFD, {{0x0202, 0xEA}, {0x01FE, 0x04}, {0x01FF, 0x02}}, 8, {}, {}},
    {"jsr_turned_down", 0xFD, {{0x0202, JSR}, {0x01FE, 0x04}, {0x01FF, 0x02}}, 8, {0x0202}, {}},
    // The last byte of the stack alone makes no word.
    {"top_byte_alone", 0xFE, {{0x0202, JSR}, {0x01FF, 0x04}}, 8, {}, {}},
    {"at_most_the_limit",
     0xFB,
     {{0x0202, JSR}, {0x0310, JSR}, {0x01FC, 0x12}, {0x01FD, 0x03}, {0x01FE, 0x04}, {0x01FF, 0x02}},
     1,
     {},
     {0x0310}},
};

class StackWalk : public testing::TestWithParam<WalkCase> {};

TEST_P(StackWalk, FindsTheCalls) {
    const WalkCase& c = GetParam();
    static std::array<std::uint8_t, 0x10000> ram;
    ram.fill(0);
    for (const auto& [address, value] : c.bytes) ram[address] = value;
    const PeekByte peek = [](std::uint16_t address) { return ram[address]; };
    const auto counts = [&](std::uint16_t at) {
        for (const std::uint16_t refused : c.refused)
            if (at == refused) return false;
        return true;
    };
    EXPECT_EQ(stacked_calls(c.sp, peek, c.limit, counts), c.calls);
}

INSTANTIATE_TEST_SUITE_P(Stack, StackWalk, testing::ValuesIn(WALK_CASES),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
