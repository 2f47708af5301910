// A test file as the runner holds it once read: every label resolved to an
// address and every value checked, so that nothing about the file can go
// wrong once the first test runs.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cpu/chip.hpp"

namespace tester {

// A comparison of a seen value: every condition must hold (`{"ge": 1,
// "le": 5}`); anyOf holds when the value is one of those listed.
struct Matcher {
    enum class Op : std::uint8_t { eq, ne, lt, le, gt, ge, any_of };
    struct Condition {
        Op op = Op::eq;
        std::vector<std::int64_t> values;  // one, but for any_of
    };
    std::vector<Condition> conditions;

    [[nodiscard]] bool holds(std::int64_t seen) const;
    [[nodiscard]] std::string text() const;  // "7", "<= 100", "any of 1, 2"
};

// The registers a test sets or looks at, in this order.
enum class Reg : std::uint8_t { a, x, y, sp };
inline constexpr std::array<const char*, 4> REG_NAMES = {"a", "x", "y", "sp"};
// Flags by name: n v d i z c (b and the constant bit live only on the stack).
struct FlagName {
    const char* name;
    std::uint8_t mask;
};
inline constexpr std::array<FlagName, 6> FLAG_NAMES = {
    {{"n", 0x80}, {"v", 0x40}, {"d", 0x08}, {"i", 0x04}, {"z", 0x02}, {"c", 0x01}}};

struct MemoryBytes {
    std::uint16_t address = 0;
    std::vector<std::uint8_t> bytes;
};

// Registers, flags and memory: what a setup gives and what a mock returns.
struct MachineValues {
    std::array<std::optional<std::uint8_t>, 4> registers;  // by Reg
    std::uint8_t flags_set = 0, flags_clear = 0;
    std::vector<MemoryBytes> memory;
};

struct DataFile {
    std::string name;  // "file0" ... "file255"
    std::vector<std::uint8_t> bytes;
};

struct Setup {
    MachineValues values;
    std::vector<std::uint8_t> stack;  // pushed in order before the call
    std::vector<std::uint8_t> keys;   // what the keyboard gives, in order
    std::vector<DataFile> files;      // written before the run
};

struct Mock {
    std::string name;
    std::uint16_t address = 0;
    std::vector<MachineValues> results;  // one per call; the last repeats; none: just returns
    std::uint16_t c_stack_bytes = 0;     // a C function's arguments on the C stack, which it removes
    std::uint16_t c_stack_pointer = 0;   // the zero-page word of the C stack pointer
};

struct MemoryExpect {
    std::string where;  // as the file named it
    std::uint16_t address = 0;
    enum class Kind : std::uint8_t { byte, word, bytes, string, all } kind = Kind::byte;
    std::vector<Matcher> matchers;  // one for byte, word and all; one per byte for bytes
    std::string text;               // string: the bytes, then a 0 when `terminated`
    bool terminated = false;
    std::uint32_t size = 0;         // all: how many bytes
};

struct AccessExpect {
    std::string where;
    std::uint16_t address = 0;
    bool write = false;
    std::optional<Matcher> count;
    std::optional<std::vector<std::uint8_t>> values;  // writes: the sequence written
};

struct CallExpect {
    std::string name;
    std::uint16_t address = 0;
    std::optional<Matcher> count;
    // Per call, the registers it was entered with (a, x, y).
    std::vector<std::array<std::optional<Matcher>, 3>> args;
};

struct Expect {
    std::array<std::optional<Matcher>, 4> registers;  // by Reg
    std::uint8_t flags_set = 0, flags_clear = 0;
    std::vector<MemoryExpect> memory;
    std::vector<AccessExpect> accesses;
    std::vector<CallExpect> calls;
    std::optional<Matcher> cycles;
    std::optional<std::string> output;
    std::optional<Matcher> returns;
    std::vector<DataFile> files;  // data files as they must be after the run
};

// A C function's call: arguments as bytes to pass, the return's size.
struct CArgument {
    std::uint32_t size = 2;  // 1, 2 or 4 bytes
    std::int64_t value = 0;
};
struct CCall {
    std::string function;
    std::vector<CArgument> arguments;
    std::uint32_t result_size = 2;  // 0: void
    bool result_signed = true;
};

struct Target {
    enum class Kind : std::uint8_t { routine, interrupt, range, call } kind = Kind::routine;
    std::string text;          // as the file named it
    std::uint16_t address = 0;  // the first instruction
    std::uint16_t end = 0;      // range: where the run stops; 0: at the program's end
    CCall call;
};

struct Test {
    std::string name;  // "suite / test" inside a suite
    Target target;
    Setup setup;  // the file's and the suite's before the test's own
    std::vector<Mock> mocks;
    Expect expect;
    std::uint64_t cycle_limit = 0;
    std::optional<std::string> skip;
};

struct TestFile {
    std::string path;
    std::string image_path;
    std::string debug_path;  // empty: none
    std::uint16_t load_address = 0x0200;
    Chip chip = Chip::m6502;
    std::vector<Test> tests;
};

inline constexpr std::uint64_t DEFAULT_CYCLE_LIMIT = 1'000'000;

}  // namespace tester
