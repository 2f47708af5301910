#include "debug/expression.hpp"

#include <algorithm>
#include <array>
#include <cstdio>

#include "cpu/state.hpp"
#include "base/text.hpp"

std::uint16_t MachineContext::read_register(Register which) const {
    switch (which) {
    case Register::pc: return cpu.pc;
    case Register::a: return cpu.a;
    case Register::x: return cpu.x;
    case Register::y: return cpu.y;
    case Register::sp: return cpu.sp;
    case Register::p: break;
    }
    return cpu.status;
}

std::uint8_t MachineContext::peek(std::uint16_t address) const { return bus_peek(address); }

namespace {
constexpr std::int64_t LITERAL_MAX = 0xFFFFFFFF;

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool is_word_char(char c) { return is_letter(c) || is_digit(c) || c == '_'; }
bool is_name_char(char c) { return is_word_char(c) || c == '@' || c == '.'; }
char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool equals_ignoring_case(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}


// The binary operators, longest spelling first so that "<<" is not read
// as "<"; the level is how tightly each binds.
struct Operator {
    std::string_view text;
    int level;
};
constexpr Operator OPERATORS[] = {
    {"||", 0}, {"&&", 1}, {"==", 5}, {"!=", 5}, {"<=", 6}, {">=", 6}, {"<<", 7}, {">>", 7},
    {"|", 2},  {"^", 3},  {"&", 4},  {"<", 6},  {">", 6},  {"+", 8},  {"-", 8},  {"*", 9}, {"/", 9},
};
constexpr int TIGHTEST_LEVEL = 9;

class Parser {
public:
    Parser(std::string_view text, const ExpressionContext& context) : text_(text), context_(context) {}

    Expression run() {
        const std::int64_t value = binary(0, true);
        if (ok()) {
            skip_space();
            if (at_ < text_.size()) {
                const std::string token = quoted_text(text_.substr(at_, 1));
                if (text_[at_] == ')' || text_[at_] == ']' || text_[at_] == '}')
                    fail(ExpressionFault::syntax, token + " at column " + column() + " closes nothing");
                else
                    fail(ExpressionFault::syntax, "unexpected " + token + " at column " + column());
            }
        }
        result_.value = ok() ? value : 0;
        return result_;
    }

private:
    std::string_view text_;
    const ExpressionContext& context_;
    std::size_t at_ = 0;
    Expression result_;

    [[nodiscard]] bool ok() const { return result_.ok(); }
    [[nodiscard]] std::string column() const { return std::to_string(at_ + 1); }

    std::int64_t fail(ExpressionFault fault, std::string message) {
        if (ok()) {
            result_.fault = fault;
            result_.error = std::move(message);
        }
        return 0;
    }

    void skip_space() {
        while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\t')) ++at_;
    }

    const Operator* next_operator() {
        skip_space();
        for (const Operator& op : OPERATORS)
            if (text_.substr(at_).starts_with(op.text)) return &op;
        return nullptr;
    }

    // Operators of `level` and tighter; `live` false parses without
    // computing (the side of && or || that is not needed).
    std::int64_t binary(int level, bool live) {
        if (level > TIGHTEST_LEVEL) return unary(live);
        std::int64_t left = binary(level + 1, live);
        for (;;) {
            if (!ok()) return 0;
            const Operator* op = next_operator();
            if (op == nullptr || op->level != level) return left;
            const std::size_t op_at = at_;
            at_ += op->text.size();
            bool right_live = live;
            if (op->text == "&&") right_live = live && left != 0;
            if (op->text == "||") right_live = live && left == 0;
            const std::int64_t right = binary(level + 1, right_live);
            if (!ok()) return 0;
            left = live ? apply(op->text, left, right, op_at, right_live) : 0;
        }
    }

    std::int64_t apply(std::string_view op, std::int64_t left, std::int64_t right, std::size_t op_at, bool right_live) {
        // Wrapping arithmetic: through unsigned, where overflow is defined.
        const auto l = static_cast<std::uint64_t>(left);
        const auto r = static_cast<std::uint64_t>(right);
        const auto where = [&] { return " at column " + std::to_string(op_at + 1); };
        if (op == "+") return static_cast<std::int64_t>(l + r);
        if (op == "-") return static_cast<std::int64_t>(l - r);
        if (op == "*") return static_cast<std::int64_t>(l * r);
        if (op == "/") {
            if (right == 0) return fail(ExpressionFault::arithmetic, "division by zero" + where());
            if (right == -1) return static_cast<std::int64_t>(0 - l);  // INT64_MIN / -1 wraps
            return left / right;
        }
        if (op == "<<" || op == ">>") {
            if (right < 0 || right > 63)
                return fail(ExpressionFault::arithmetic, "shift by " + std::to_string(right) + where() + " (0 to 63)");
            return op == "<<" ? static_cast<std::int64_t>(l << right) : left >> right;
        }
        if (op == "&") return left & right;
        if (op == "|") return left | right;
        if (op == "^") return left ^ right;
        if (op == "==") return left == right;
        if (op == "!=") return left != right;
        if (op == "<") return left < right;
        if (op == ">") return left > right;
        if (op == "<=") return left <= right;
        if (op == ">=") return left >= right;
        // && and ||: the right side counts only when it was looked at.
        if (op == "&&") return left != 0 && right_live && right != 0;
        return left != 0 || (right_live && right != 0);
    }

    // Each bracket and unary operator takes stack: a line of a million "("
    // must get a message, not overflow it.
    static constexpr int DEEPEST = 200;
    int depth_ = 0;

    std::int64_t unary(bool live) {
        skip_space();
        if (at_ >= text_.size()) return fail(ExpressionFault::syntax, "a value is missing at the end");
        if (depth_ >= DEEPEST) return fail(ExpressionFault::syntax, "nested too deep at column " + column());
        ++depth_;
        const std::int64_t value = prefixed(live);
        --depth_;
        return value;
    }

    std::int64_t prefixed(bool live) {
        const char c = text_[at_];
        // Where a value is due, < and > are ca65's low and high byte.
        if (c == '-' || c == '~' || c == '!' || c == '<' || c == '>') {
            ++at_;
            const std::int64_t value = unary(live);
            if (c == '-') return static_cast<std::int64_t>(0 - static_cast<std::uint64_t>(value));
            if (c == '<') return value & 0xFF;
            if (c == '>') return (value >> 8) & 0xFF;
            return c == '~' ? ~value : value == 0;
        }
        if (c == '+' || c == '#') {
            ++at_;
            if (at_ < text_.size() && is_digit(text_[at_])) return number(10, at_ - 1);
            if (c == '+') return unary(live);
            return fail(ExpressionFault::syntax, "'#' at column " + std::to_string(at_) + " needs decimal digits");
        }
        return primary(live);
    }

    // Decimal, hex or binary digits from at_; `start` is where the number's
    // prefix began, for the message.
    std::int64_t number(int base, std::size_t start) {
        const std::size_t digits_at = at_;
        while (at_ < text_.size() && is_word_char(text_[at_])) ++at_;
        const std::string_view word = text_.substr(start, at_ - start);
        std::string_view digits = text_.substr(digits_at, at_ - digits_at);
        if (base == 16 && digits.size() > 2 && digits[0] == '0' && lower(digits[1]) == 'x' && digits_at == start)
            digits.remove_prefix(2);
        if (digits.empty()) return fail(ExpressionFault::syntax, "bad number " + quoted_text(word));
        std::int64_t value = 0;
        for (const char d : digits) {
            int digit = is_digit(d) ? d - '0' : is_letter(d) ? lower(d) - 'a' + 10 : 99;
            if (digit >= base) return fail(ExpressionFault::syntax, "bad number " + quoted_text(word));
            value = value * base + digit;
            if (value > LITERAL_MAX) return fail(ExpressionFault::syntax, "number " + quoted_text(word) + " too large");
        }
        if (base == 16 && digits.size() > 2) result_.wide = true;
        return value;
    }

    std::int64_t closed(char open, char close, bool live) {
        const std::size_t open_at = at_;
        ++at_;
        const std::int64_t value = binary(0, live);
        if (!ok()) return 0;
        skip_space();
        if (at_ >= text_.size() || text_[at_] != close)
            return fail(ExpressionFault::syntax,
                        std::string("'") + open + "' at column " + std::to_string(open_at + 1) + " is never closed");
        ++at_;
        if (open == '(' || !live) return value;
        if (value < 0 || value > 0xFFFF)
            return fail(ExpressionFault::arithmetic, std::string("'") + open + "' at column " +
                                                         std::to_string(open_at + 1) + ": " + std::to_string(value) +
                                                         " is no address (0 to FFFF)");
        const auto address = static_cast<std::uint16_t>(value);
        if (open == '[') return context_.peek(address);
        return context_.peek(address) | context_.peek(static_cast<std::uint16_t>(address + 1)) << 8;
    }

    std::int64_t primary(bool live) {
        const char c = text_[at_];
        if (c == '(') return closed('(', ')', live);
        if (c == '[') return closed('[', ']', live);
        if (c == '{') return closed('{', '}', live);
        if (c == '$') return ++at_, number(16, at_ - 1);
        if (c == '%') return ++at_, number(2, at_ - 1);
        if (is_digit(c)) return number(16, at_);
        if (c == '\'') {
            if (at_ + 2 < text_.size() && text_[at_ + 2] == '\'') {
                at_ += 3;
                return static_cast<unsigned char>(text_[at_ - 2]);
            }
            return fail(ExpressionFault::syntax, "bad character at column " + column() + " (like 'A')");
        }
        if (is_letter(c) || c == '_' || c == '@' || c == '.') return name(live);
        return fail(ExpressionFault::syntax,
                    "expected a value at column " + column() + ", not " + quoted_text(text_.substr(at_, 1)));
    }

    std::int64_t name(bool live) {
        const std::size_t start = at_;
        while (at_ < text_.size() && is_name_char(text_[at_])) ++at_;
        std::string_view word = text_.substr(start, at_ - start);
        // @a: the register, whatever a C program calls a.
        const bool at_register = word.size() > 1 && word[0] == '@' && register_named(word.substr(1)) != nullptr;
        if (at_register) word.remove_prefix(1);
        if (!word.starts_with('.')) {
            if (const RegisterName* r = register_named(word)) {
                if (!live) return 0;
                const std::uint16_t value = context_.read_register(r->which);
                return r->flag_bit < 0 ? value : (value >> r->flag_bit) & 1;
            }
        }
        const LabelFind found = context_.label(word);
        if (found.address) return *found.address;
        if (found.ambiguous) return fail(ExpressionFault::ambiguous, found.error);
        if (!word.starts_with('.')) {
            const auto value = parse_hex_digits(word, LITERAL_MAX);
            if (value) {
                if (word.size() > 2) result_.wide = true;
                return static_cast<std::int64_t>(*value);
            }
        }
        return fail(ExpressionFault::unknown_label, "unknown label " + quoted_text(word));
    }
};
}  // namespace

const RegisterName* register_named(std::string_view word) {
    static constexpr RegisterName REGISTERS[] = {
        {"pc", Register::pc, -1}, {"a", Register::a, -1}, {"x", Register::x, -1}, {"y", Register::y, -1},
        {"sp", Register::sp, -1}, {"p", Register::p, -1}, {"n", Register::p, 7},  {"v", Register::p, 6},
        {"b", Register::p, 4},    {"d", Register::p, 3},  {"i", Register::p, 2},  {"z", Register::p, 1},
        {"c", Register::p, 0},
    };
    for (const RegisterName& r : REGISTERS)
        if (equals_ignoring_case(word, r.name)) return &r;
    return nullptr;
}

Expression evaluate_expression(std::string_view text, const ExpressionContext& context) {
    if (auto c = context.c_expression(text)) return *c;
    return Parser(text, context).run();
}

std::vector<std::string_view> split_arguments(std::string_view line) {
    std::vector<std::string_view> words;
    std::size_t at = 0;
    while (at < line.size()) {
        while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) ++at;
        if (at >= line.size()) break;
        const std::size_t start = at;
        int depth = 0;
        for (; at < line.size(); ++at) {
            const char c = line[at];
            if (depth == 0 && (c == ' ' || c == '\t')) break;
            if (c == '(' || c == '[' || c == '{') ++depth;
            else if ((c == ')' || c == ']' || c == '}') && depth > 0) --depth;
            else if (c == '\'' && at + 2 < line.size() && line[at + 2] == '\'') at += 2;  // ' ' is a value
            else if (c == '"') {  // text, spaces and all, to its closing quote
                const std::size_t close = line.find('"', at + 1);
                at = close == std::string_view::npos ? line.size() - 1 : close;
            }
        }
        words.push_back(line.substr(start, at - start));
    }
    return words;
}

std::string describe_value(std::int64_t value, const Labels* labels) {
    // The narrowest of 8, 16, 32 and 64 bits that holds the value, as an
    // unsigned number or (when negative) a signed one.
    int bits = 64;
    for (const int width : {8, 16, 32}) {
        const std::int64_t top = std::int64_t{1} << width;
        if (value < top && value >= -(top / 2)) {
            bits = width;
            break;
        }
    }
    const std::uint64_t pattern = bits == 64 ? static_cast<std::uint64_t>(value)
                                             : static_cast<std::uint64_t>(value) & ((std::uint64_t{1} << bits) - 1);
    char hex[24];
    std::snprintf(hex, sizeof hex, "$%0*llX", bits / 4, static_cast<unsigned long long>(pattern));
    std::string text = std::string(hex) + "  " + std::to_string(value) + "  %";
    for (int bit = bits - 1; bit >= 0; --bit) text.push_back((pattern >> bit) & 1 ? '1' : '0');
    if (value >= 0x20 && value < 0x7F) {
        text += "  '";
        text.push_back(static_cast<char>(value));
        text += "'";
    }
    if (labels != nullptr && value >= 0 && value <= 0xFFFF)
        if (const char* name = labels->name_at(static_cast<std::uint16_t>(value))) text += std::string("  ") + name;
    return text;
}
