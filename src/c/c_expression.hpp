// C expressions over a stopped program: the names in scope in a frame
// (its locals and parameters, then the globals), [] . -> unary * and &,
// arithmetic with cc65's int sizes, comparisons, logic, casts, sizeof.
// Beside C, a register or flag is @pc @a @x @y @sp @p @n @v @b @d @i @z
// @c (a spelling no C name can take), or its bare name where no C name
// is spelled so; a label stands for its address; $hex is a number too.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "c/c_format.hpp"
#include "c/c_program.hpp"
#include "debug/expression.hpp"

namespace c_view {

// A value: an lvalue has a place in memory; a scalar that has none is a number.
struct Value {
    std::uint32_t type = NO_TYPE;
    std::optional<std::uint16_t> address;
    std::int64_t number = 0;
};

struct Evaluation {
    std::string error;  // one line; empty when it worked
    Value value;
    // C names used here that are also a register's or a flag's.
    std::vector<std::string> clashes;
    [[nodiscard]] bool ok() const { return error.empty(); }
};

// Where an expression is read: the program and the frame whose names it
// sees (null: globals only); `machine` gives registers, labels and memory.
struct Scope {
    Program& program;
    const Frame* frame = nullptr;
    const ExpressionContext& machine;
};

// Whether `text` is to be read as C here: it names a C variable the scope
// sees, or uses C's own words (sizeof, struct, a type's name).
[[nodiscard]] bool reads_as_c(std::string_view text, const Scope& scope);

// `look` false reads and types the expression without looking at memory
// (a condition checked where it is set).
[[nodiscard]] Evaluation evaluate_c(std::string_view text, const Scope& scope, bool look = true);

// A scalar value as a number (an array or function: its address).
[[nodiscard]] std::optional<std::int64_t> number_of(const Value& value, const Scope& scope);

// set var LVALUE = EXPR: the bytes to write, or an error.
struct Assignment {
    std::string error;
    std::uint16_t address = 0;
    std::vector<std::uint8_t> bytes;
    Value target;
};
[[nodiscard]] Assignment evaluate_assignment(std::string_view text, const Scope& scope);

// The value shown as C does.
[[nodiscard]] std::string show(const Value& value, const Scope& scope, Format format = Format::natural);

}  // namespace c_view
