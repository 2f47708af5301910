// The monitor's numbers and expressions, read the same way wherever an
// address or a value is taken (and by anything else that talks about the
// machine, such as a debug adapter):
//   numbers   bare hex or $hex or 0xhex (the default is hex), #dec or +dec,
//             %binary, 'c' (a character's code)
//   names     registers and flags: pc a x y sp p, n v b d i z c (a register
//             wins over a label or hex of the same spelling: $a is the
//             number, .name always the label), also written @pc @a ... @c,
//             which no C name can clash with; labels, as Labels::lookup
//             reads them; else hex digits
//   memory    [addr] the byte at addr, {addr} the word (low byte first),
//             looked at without device actions
//   operators by binding, loosest last: unary - ~ ! and < > (low and high
//             byte, as in ca65: lda #<msg); * /; + -; << >>;
//             < > <= >=; == !=; &; ^; |; &&; || (comparisons give 1 or 0;
//             && and || look at their right side only when they need it)
// Values are signed 64-bit integers; the caller says what range it takes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "debug/labels.hpp"

enum class Register : std::uint8_t { pc, a, x, y, sp, p };

// A register or flag by its name in expressions (pc a x y sp p, and the
// flags n v b d i z c), in either case; nullptr for any other word.
struct RegisterName {
    std::string_view name;
    Register which;
    int flag_bit;  // -1: the register itself
};
[[nodiscard]] const RegisterName* register_named(std::string_view word);

enum class ExpressionFault : std::uint8_t {
    none,
    syntax,         // not an expression: a bad number, a stray or missing token
    unknown_label,  // a name that is no register, label or hex
    ambiguous,      // a label name that several labels carry
    arithmetic,     // division by zero, a shift out of range
};

struct Expression {
    std::int64_t value = 0;
    // A number was written with more than two hex digits ($0012): the
    // assembler takes that as asking for the absolute form.
    bool wide = false;
    ExpressionFault fault = ExpressionFault::none;
    std::string error;  // one line, naming the token or column at fault
    // Read as C: the value as C shows it, and what a command that takes an
    // address (m, d, w) takes: a pointer's target, an array's or a
    // struct's or a variable's place, of `size` bytes (0: not an object).
    std::string c_text;
    bool aggregate = false;  // a struct or an array: `value` is its address
    std::optional<std::uint16_t> address;
    std::uint32_t size = 0;
    [[nodiscard]] bool ok() const { return fault == ExpressionFault::none; }
};

// What an expression may look at. Looking changes nothing: no key is taken,
// no random byte drawn.
class ExpressionContext {
public:
    virtual ~ExpressionContext() = default;
    [[nodiscard]] virtual LabelFind label(std::string_view name) const = 0;
    [[nodiscard]] virtual std::uint16_t read_register(Register which) const = 0;
    [[nodiscard]] virtual std::uint8_t peek(std::uint16_t address) const = 0;
    // A context that knows a program's C names may read `text` as C (it
    // names a C variable in scope): then its result stands.
    [[nodiscard]] virtual std::optional<Expression> c_expression(std::string_view text) const {
        (void)text;
        return std::nullopt;
    }
    // A breakpoint's condition, checked where the breakpoint is (its C
    // names are those in scope there) without looking at memory.
    [[nodiscard]] virtual std::optional<Expression> check_at(std::string_view text, std::uint16_t address) const {
        (void)text;
        (void)address;
        return std::nullopt;
    }
};

// The machine as it stands: the processor's registers, memory through
// bus_peek, and `labels`.
class MachineContext final : public ExpressionContext {
public:
    explicit MachineContext(const Labels& labels) : labels_(labels) {}
    [[nodiscard]] LabelFind label(std::string_view name) const override { return labels_.lookup(name); }
    [[nodiscard]] std::uint16_t read_register(Register which) const override;
    [[nodiscard]] std::uint8_t peek(std::uint16_t address) const override;

private:
    const Labels& labels_;
};

[[nodiscard]] Expression evaluate_expression(std::string_view text, const ExpressionContext& context);

// The words of a command line: runs of text between spaces, except that a
// space inside (), [] or {}, 'c' or "text" does not end a word.
[[nodiscard]] std::vector<std::string_view> split_arguments(std::string_view line);

// "? EXPR": the value in hex, decimal, binary, as a character when
// printable, and the label at it, like "$0041  65  %01000001  'A'  start".
[[nodiscard]] std::string describe_value(std::int64_t value, const Labels* labels);
