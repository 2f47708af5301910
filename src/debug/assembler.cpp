#include "debug/assembler.hpp"

#include <optional>
#include <vector>

#include "cpu/opcode_matrix.hpp"
#include "debug/disassembler.hpp"
#include "base/text.hpp"

namespace {
char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

std::string upper(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = upper(c);
    return out;
}

std::string_view trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

bool is_bit_operation(Op op) { return op == Op::RMB || op == Op::SMB || op == Op::BBR || op == Op::BBS; }

// How the operand is written, before its values are known.
enum class Shape { none, accumulator, immediate, direct, direct_x, direct_y, indirect, indirect_x, indirect_y, pair };

const char* shape_text(Shape shape) {
    switch (shape) {
    case Shape::none: return "empty";
    case Shape::accumulator: return "accumulator (A)";
    case Shape::immediate: return "immediate (#)";
    case Shape::direct: return "address";
    case Shape::direct_x: return "address,X";
    case Shape::direct_y: return "address,Y";
    case Shape::indirect: return "(indirect)";
    case Shape::indirect_x: return "(indirect,X)";
    case Shape::indirect_y: return "(indirect),Y";
    case Shape::pair: return "zp,target";
    }
    return "";
}

struct Operand {
    Shape shape = Shape::none;
    std::string_view first, second;  // the expressions
    char force = 0;                  // 'a' absolute, 'z' zero page, from a:/z:
};

// Where the bracket opened at `open` closes, or npos.
std::size_t closing(std::string_view text, std::size_t open) {
    int depth = 0;
    for (std::size_t i = open; i < text.size(); ++i) {
        if (text[i] == '(' || text[i] == '[' || text[i] == '{') ++depth;
        else if ((text[i] == ')' || text[i] == ']' || text[i] == '}') && --depth == 0) return i;
    }
    return std::string_view::npos;
}

// The last comma outside brackets, or npos.
std::size_t top_comma(std::string_view text) {
    std::size_t found = std::string_view::npos;
    int depth = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '(' || text[i] == '[' || text[i] == '{') ++depth;
        else if (text[i] == ')' || text[i] == ']' || text[i] == '}') --depth;
        else if (text[i] == ',' && depth == 0) found = i;
        else if (text[i] == '\'' && i + 2 < text.size() && text[i + 2] == '\'') i += 2;
    }
    return found;
}

bool is_index(std::string_view text, char name) { return text.size() == 1 && upper(text[0]) == name; }

Operand read_operand(std::string_view text) {
    Operand operand;
    text = trim(text);
    if (text.empty()) return operand;
    if (is_index(text, 'A')) {
        operand.shape = Shape::accumulator;
        return operand;
    }
    if (text.front() == '#') {
        operand.shape = Shape::immediate;
        operand.first = text.substr(1);
        return operand;
    }
    if (text.front() == '(') {
        const std::size_t close = closing(text, 0);
        if (close != std::string_view::npos) {
            const std::string_view inner = text.substr(1, close - 1);
            const std::string_view after = trim(text.substr(close + 1));
            const std::size_t comma = top_comma(inner);
            if (after.empty()) {
                if (comma != std::string_view::npos && is_index(trim(inner.substr(comma + 1)), 'X')) {
                    operand.shape = Shape::indirect_x;
                    operand.first = inner.substr(0, comma);
                } else {
                    operand.shape = Shape::indirect;
                    operand.first = inner;
                }
                return operand;
            }
            if (after.front() == ',' && is_index(trim(after.substr(1)), 'Y') && comma == std::string_view::npos) {
                operand.shape = Shape::indirect_y;
                operand.first = inner;
                return operand;
            }
        }
    }
    // An expression, perhaps indexed, perhaps two (BBR's zp,target).
    const std::size_t comma = top_comma(text);
    operand.shape = Shape::direct;
    operand.first = text;
    if (comma != std::string_view::npos) {
        operand.first = text.substr(0, comma);
        const std::string_view index = trim(text.substr(comma + 1));
        operand.shape = is_index(index, 'X') ? Shape::direct_x : is_index(index, 'Y') ? Shape::direct_y : Shape::pair;
        if (operand.shape == Shape::pair) operand.second = index;
    }
    operand.first = trim(operand.first);
    if (operand.first.size() > 2 && operand.first[1] == ':') {
        const char kind = upper(operand.first[0]);
        if (kind == 'A' || kind == 'Z') {
            operand.force = kind == 'A' ? 'a' : 'z';
            operand.first.remove_prefix(2);
        }
    }
    return operand;
}

// Of the opcodes for one operation and mode, the one that means the same on
// the most processors (EA for NOP, E9 for SBC #), then the lowest.
std::optional<u8> opcode_for(Chip chip, Op op, int bit, Mode mode) {
    std::optional<u8> best;
    int best_score = -1;
    const auto& grid = opcode_grid_of(chip);
    for (int opcode = 0; opcode < 256; ++opcode) {
        const OpcodeEntry& entry = grid[opcode];
        if (entry.op != op || entry.mode != mode || (bit >= 0 && ((opcode >> 4) & 7) != bit)) continue;
        int score = 0;
        for (const Chip other : ALL_CHIPS) {
            const OpcodeEntry& there = opcode_grid_of(other)[opcode];
            score += there.op == op && there.mode == mode;
        }
        if (score > best_score) {
            best = static_cast<u8>(opcode);
            best_score = score;
        }
    }
    return best;
}

class Assembly {
public:
    Assembly(std::uint16_t address, Chip chip, Op op, int bit, std::string name, const ExpressionContext& context)
        : address_(address), chip_(chip), op_(op), bit_(bit), name_(std::move(name)), context_(context) {}

    Assembled build(const Operand& operand) {
        switch (operand.shape) {
        case Shape::none:
            if (emit(Mode::imp) || emit(Mode::acc)) return result_;
            return refuse(operand.shape);
        case Shape::accumulator:
            if (emit(Mode::acc)) return result_;
            return refuse(operand.shape);
        case Shape::immediate: {
            if (!has(Mode::imm)) return refuse(operand.shape);
            const auto value = evaluate(operand.first, -128, 0xFF, "an immediate value");
            if (value) emit(Mode::imm, static_cast<std::uint16_t>(*value & 0xFF));
            return result_;
        }
        case Shape::direct:
            if (has(Mode::rel)) return branch(operand.first, Mode::rel, 0);
            return direct(operand, Mode::zp, Mode::abs);
        case Shape::direct_x: return direct(operand, Mode::zpx, Mode::abx);
        case Shape::direct_y: return direct(operand, Mode::zpy, Mode::aby);
        case Shape::indirect:
            if (has(Mode::izp)) return zero_page(operand.first, Mode::izp);
            if (has(Mode::ind)) return word(operand.first, Mode::ind);
            if (has(Mode::iab)) return word(operand.first, Mode::iab);
            return refuse(operand.shape);
        case Shape::indirect_x:
            if (has(Mode::izx)) return zero_page(operand.first, Mode::izx);
            if (has(Mode::iax)) return word(operand.first, Mode::iax);
            return refuse(operand.shape);
        case Shape::indirect_y:
            if (has(Mode::izy)) return zero_page(operand.first, Mode::izy);
            return refuse(operand.shape);
        case Shape::pair: {
            if (!has(Mode::zpr)) return refuse(operand.shape);
            const auto page = evaluate(operand.first, 0, 0xFF, "a zero-page address");
            if (!page) return result_;
            return branch(operand.second, Mode::zpr, static_cast<std::uint8_t>(*page));
        }
        }
        return result_;
    }

private:
    std::uint16_t address_;
    Chip chip_;
    Op op_;
    int bit_;
    std::string name_;
    const ExpressionContext& context_;
    Assembled result_;
    bool wide_ = false;

    [[nodiscard]] bool has(Mode mode) const { return opcode_for(chip_, op_, bit_, mode).has_value(); }

    Assembled fail(std::string message) {
        result_ = {};
        result_.error = std::move(message);
        return result_;
    }

    Assembled refuse(Shape shape) {
        if (shape == Shape::none) return fail(name_ + " needs an operand");
        return fail(name_ + " takes no " + shape_text(shape) + " operand");
    }

    std::optional<std::int64_t> evaluate(std::string_view text, std::int64_t low, std::int64_t high, const char* what) {
        const Expression value = evaluate_expression(trim(text), context_);
        if (!value.ok()) {
            fail(value.error);
            return std::nullopt;
        }
        wide_ = value.wide;
        if (value.value < low || value.value > high) {
            char range[48];
            std::snprintf(range, sizeof range, " (%s$%02X to $%02X)", low < 0 ? "-" : "",
                          static_cast<unsigned>(low < 0 ? -low : low), static_cast<unsigned>(high));
            fail(quoted_text(trim(text)) + " is " + std::to_string(value.value) + ", out of range for " + what +
                 range);
            return std::nullopt;
        }
        return value.value;
    }

    bool emit(Mode mode, std::uint16_t operand = 0) {
        const std::optional<u8> opcode = opcode_for(chip_, op_, bit_, mode);
        if (!opcode) return false;
        result_.bytes = {*opcode, static_cast<std::uint8_t>(operand), static_cast<std::uint8_t>(operand >> 8)};
        result_.length = 1 + operand_bytes(mode);
        return true;
    }

    Assembled zero_page(std::string_view text, Mode mode) {
        const auto value = evaluate(text, 0, 0xFF, "a zero-page address");
        if (value) emit(mode, static_cast<std::uint16_t>(*value));
        return result_;
    }

    Assembled word(std::string_view text, Mode mode) {
        const auto value = evaluate(text, 0, 0xFFFF, "an address");
        if (value) emit(mode, static_cast<std::uint16_t>(*value));
        return result_;
    }

    // The zero-page form when the value fits (and the number was not written
    // wide), the mode exists and nothing asks otherwise; else absolute.
    Assembled direct(const Operand& operand, Mode zero, Mode absolute) {
        const bool has_zero = has(zero);
        const bool has_absolute = has(absolute);
        if (!has_zero && !has_absolute) return refuse(operand.shape);
        if (operand.force == 'z' && !has_zero) return fail(name_ + " has no zero-page form of that operand");
        if (operand.force == 'a' && !has_absolute) return fail(name_ + " has no absolute form of that operand");
        const auto value = evaluate(operand.first, 0, 0xFFFF, "an address");
        if (!value) return result_;
        const bool fits = *value <= 0xFF;
        bool use_zero = has_zero && (operand.force == 'z' || (operand.force == 0 && fits && (!wide_ || !has_absolute)));
        if (!has_absolute) use_zero = true;
        if (use_zero && !fits)
            return fail(name_ + " has only the zero-page form of that operand: $" + hex(*value) + " is past FF");
        emit(use_zero ? zero : absolute, static_cast<std::uint16_t>(*value));
        return result_;
    }

    Assembled branch(std::string_view text, Mode mode, std::uint8_t page) {
        const auto target = evaluate(text, 0, 0xFFFF, "a branch target");
        if (!target) return result_;
        const int length = 1 + operand_bytes(mode);
        const std::int64_t offset = *target - (address_ + length);
        // The program counter wraps: a branch near FFFF may reach 0000.
        std::int64_t wrapped = offset;
        if (wrapped > 0x7FFF) wrapped -= 0x10000;
        if (wrapped < -0x8000) wrapped += 0x10000;
        if (wrapped < -128 || wrapped > 127)
            return fail("branch to $" + hex(*target) + " is " + std::to_string(wrapped) + " bytes away (-128 to 127)");
        const auto low = static_cast<std::uint8_t>(wrapped);
        emit(mode, mode == Mode::zpr ? static_cast<std::uint16_t>(low << 8 | page) : low);
        return result_;
    }

    static std::string hex(std::int64_t value) {
        char text[16];
        std::snprintf(text, sizeof text, value > 0xFF ? "%04X" : "%02X", static_cast<unsigned>(value));
        return text;
    }
};
}  // namespace

Assembled assemble(std::string_view line, std::uint16_t address, Chip chip, const ExpressionContext& context) {
    line = trim(line);
    std::size_t end = 0;
    while (end < line.size() && ((line[end] >= 'a' && line[end] <= 'z') || (line[end] >= 'A' && line[end] <= 'Z') ||
                                 (line[end] >= '0' && line[end] <= '9')))
        ++end;
    const std::string word = upper(line.substr(0, end));
    Assembled result;
    if (word.empty()) {
        result.error = line.empty() ? "no instruction" : "expected an instruction, not " + quoted_text(line);
        return result;
    }
    if (end < line.size() && line[end] != ' ' && line[end] != '\t') {
        result.error = "unknown instruction " + quoted_text(line.substr(0, line.find_first_of(" \t")));
        return result;
    }
    // The bit instructions carry their bit in the name: RMB0 to RMB7.
    std::string name = word;
    int bit = -1;
    if (word.size() == 4 && word[3] >= '0' && word[3] <= '7') {
        name = word.substr(0, 3);
        bit = word[3] - '0';
    }
    Op op = Op::none;
    for (int i = 1; i <= ALL_OPERATIONS; ++i)
        if (name == mnemonic(static_cast<Op>(i))) op = static_cast<Op>(i);
    if (op == Op::none || is_bit_operation(op) != (bit >= 0)) {
        if (op != Op::none && bit < 0) result.error = name + " needs its bit number: " + name + "0 to " + name + "7";
        else result.error = "unknown instruction " + quoted_text(line.substr(0, end));
        return result;
    }
    bool on_chip = false;
    for (const OpcodeEntry& entry : opcode_grid_of(chip)) on_chip = on_chip || entry.op == op;
    if (!on_chip) {
        result.error = name + " is not an instruction of the " + chip_name(chip);
        return result;
    }
    return Assembly(address, chip, op, bit, word, context).build(read_operand(line.substr(end)));
}
