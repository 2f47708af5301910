#include "c/c_expression.hpp"

#include <algorithm>
#include <array>

#include "base/text.hpp"

namespace c_view {

namespace {
bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }
bool is_word(char c) { return is_letter(c) || is_digit(c); }

constexpr std::string_view TYPE_WORDS[] = {"char", "int", "short", "long", "unsigned", "signed", "void",
                                           "struct", "union", "enum", "const", "volatile", "_Bool"};
bool is_type_word(std::string_view word) {
    return std::find(std::begin(TYPE_WORDS), std::end(TYPE_WORDS), word) != std::end(TYPE_WORDS);
}

// The words of `text` that stand for names: not after '.', '->', '@', '$'
// or inside quotes.
template <typename Visit>
void each_name(std::string_view text, Visit visit) {
    for (std::size_t at = 0; at < text.size();) {
        const char c = text[at];
        if (c == '\'' || c == '"') {
            const std::size_t close = text.find(c, at + 1);
            at = close == std::string_view::npos ? text.size() : close + 1;
            continue;
        }
        if (c == '$' || c == '@' || c == '.' || is_digit(c)) {
            ++at;
            while (at < text.size() && (is_word(text[at]) || text[at] == '.' || text[at] == '@')) ++at;
            continue;
        }
        if (c == '-' && at + 1 < text.size() && text[at + 1] == '>') {
            at += 2;
            while (at < text.size() && text[at] == ' ') ++at;
            while (at < text.size() && is_word(text[at])) ++at;
            continue;
        }
        if (is_letter(c)) {
            const std::size_t start = at;
            while (at < text.size() && is_word(text[at])) ++at;
            // A label with an @ in it (puts@next) is no C name.
            if (at < text.size() && text[at] == '@') continue;
            visit(text.substr(start, at - start));
            continue;
        }
        ++at;
    }
}

class Parser {
public:
    Parser(std::string_view text, const Scope& scope, bool look)
        : text_(text), scope_(scope), types_(scope.program.types()), look_(look) {}

    Evaluation run() {
        Value value = binary(0);
        skip_space();
        if (ok() && at_ < text_.size()) fail("unexpected " + quoted_text(text_.substr(at_, 1)) + " at column " + column());
        result_.value = value;
        return std::move(result_);
    }

    // LVALUE = EXPR
    Assignment assign() {
        Assignment out;
        const Value target = unary();
        skip_space();
        if (ok() && (at_ >= text_.size() || text_[at_] != '=' || (at_ + 1 < text_.size() && text_[at_ + 1] == '=')))
            fail("expected '=' at column " + column() + " (set var LVALUE = EXPR)");
        ++at_;
        const Value source = binary(0);
        skip_space();
        if (ok() && at_ < text_.size()) fail("unexpected " + quoted_text(text_.substr(at_, 1)) + " at column " + column());
        if (!ok()) {
            out.error = result_.error;
            return out;
        }
        const Type& type = types_[target.type];
        if (!target.address) {
            out.error = "the left side is no variable or memory (an lvalue)";
            return out;
        }
        out.address = *target.address;
        out.target = target;
        if (type.kind == Kind::record || type.kind == Kind::array) {
            if (source.type != target.type || !source.address) {
                out.error = "can't assign " + types_[source.type].name + " to " + type.name;
                return out;
            }
            for (std::uint32_t i = 0; i < type.size; ++i)
                out.bytes.push_back(peek(static_cast<std::uint16_t>(*source.address + i)));
        } else if (is_scalar(type)) {
            const Value number = rvalue(source);
            if (!ok()) {
                out.error = result_.error;
                return out;
            }
            if (!is_scalar(types_[number.type])) {
                out.error = "can't assign " + types_[source.type].name + " to " + type.name;
                return out;
            }
            const auto bits = static_cast<std::uint64_t>(number.number);
            for (std::uint32_t i = 0; i < type.size; ++i) out.bytes.push_back(static_cast<std::uint8_t>(bits >> (8 * i)));
        } else {
            out.error = "can't assign to " + type.name;
            return out;
        }
        if (*target.address + out.bytes.size() > 0x10000) out.error = "it runs past FFFF";
        return out;
    }

private:
    std::string_view text_;
    const Scope& scope_;
    Types& types_;
    bool look_;
    bool live_ = true;  // false on the side of && or || that is not needed
    std::size_t at_ = 0;
    int depth_ = 0;
    Evaluation result_;

    [[nodiscard]] bool ok() const { return result_.ok(); }
    [[nodiscard]] bool reading() const { return look_ && live_; }
    [[nodiscard]] std::string column() const { return std::to_string(at_ + 1); }
    Value fail(std::string message) {
        if (ok()) result_.error = std::move(message);
        return {types_.int_type, std::nullopt, 0};
    }
    std::uint8_t peek(std::uint16_t address) const { return reading() ? scope_.machine.peek(address) : 0; }
    void skip_space() {
        while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\t')) ++at_;
    }
    bool take(std::string_view token) {
        skip_space();
        if (!text_.substr(at_).starts_with(token)) return false;
        at_ += token.size();
        return true;
    }
    // An operator that is not the start of a longer one ("<" of "<<" or "<=").
    bool take_operator(std::string_view op) {
        skip_space();
        if (!text_.substr(at_).starts_with(op)) return false;
        const std::string_view rest = text_.substr(at_ + op.size());
        if (op == "<" && (rest.starts_with('<') || rest.starts_with('='))) return false;
        if (op == ">" && (rest.starts_with('>') || rest.starts_with('='))) return false;
        if ((op == "&" || op == "|") && rest.starts_with(op)) return false;
        if ((op == "=" || op == "!") && rest.starts_with('=')) return false;
        if (op == "-" && (rest.starts_with('>') || rest.starts_with('-'))) return false;
        at_ += op.size();
        return true;
    }
    std::string word() {
        skip_space();
        const std::size_t start = at_;
        while (at_ < text_.size() && is_word(text_[at_])) ++at_;
        return std::string(text_.substr(start, at_ - start));
    }

    Value integer(std::int64_t number, std::uint32_t type) { return {type, std::nullopt, fit(types_[type], number)}; }

    // Arrays become pointers to their first element, functions their
    // address, scalars in memory their number.
    Value rvalue(const Value& value) {
        const Type& type = types_[value.type];
        if (type.kind == Kind::array) {
            if (!value.address) return fail("an array with no place");
            Value pointer{types_.pointer_to(type.target), std::nullopt, *value.address};
            return pointer;
        }
        if (type.kind == Kind::function) return integer(value.address.value_or(0), types_.unsigned_type);
        if (value.address && is_scalar(type)) {
            if (*value.address + type.size > 0x10000) return fail("it runs past FFFF");
            Value number{value.type, std::nullopt, 0};
            if (reading())
                number.number = read_scalar(type, *value.address, [this](std::uint16_t a) { return peek(a); });
            return number;
        }
        return value;
    }

    Value scalar(const Value& value, std::string_view what) {
        Value v = rvalue(value);
        if (ok() && !is_scalar(types_[v.type])) return fail(std::string(what) + " needs a number, not " + types_[v.type].name);
        return v;
    }

    // The type both sides of an arithmetic operator are brought to.
    std::uint32_t common(const Type& a, const Type& b) {
        const auto rank = [&](const Type& t) {
            if (t.size >= 4) return t.is_signed ? 2 : 3;
            if (t.size == 2 && !t.is_signed) return 1;
            return 0;
        };
        switch (std::max(rank(a), rank(b))) {
        case 3: return types_.unsigned_long_type;
        case 2: return types_.long_type;
        case 1: return types_.unsigned_type;
        default: return types_.int_type;
        }
    }

    std::uint32_t element_size(const Type& pointer) {
        const std::uint32_t size = types_[pointer.target].size;
        return size == 0 ? 1 : size;
    }

    // ---- binary operators, loosest first ----
    static constexpr std::array<std::array<std::string_view, 4>, 10> LEVELS = {{
        {"||"}, {"&&"}, {"|"}, {"^"}, {"&"}, {"==", "!="}, {"<=", ">=", "<", ">"}, {"<<", ">>"}, {"+", "-"},
        {"*", "/", "%"},
    }};

    Value binary(std::size_t level) {
        if (level == LEVELS.size()) return unary();
        Value left = binary(level + 1);
        for (;;) {
            if (!ok()) return left;
            std::string_view op;
            const std::size_t op_at = at_;
            for (const std::string_view candidate : LEVELS[level])
                if (!candidate.empty() && take_operator(candidate)) {
                    op = candidate;
                    break;
                }
            if (op.empty()) return left;
            if (op == "&&" || op == "||") {
                const Value l = scalar(left, op);
                const bool was = live_;
                if ((op == "&&" && l.number == 0) || (op == "||" && l.number != 0)) live_ = false;
                const Value r = scalar(binary(level + 1), op);
                live_ = was;
                const bool truth = op == "&&" ? l.number != 0 && r.number != 0 : l.number != 0 || r.number != 0;
                left = integer(truth ? 1 : 0, types_.int_type);
                continue;
            }
            const Value right = binary(level + 1);
            left = apply(op, left, right, op_at);
        }
    }

    Value apply(std::string_view op, const Value& left_in, const Value& right_in, std::size_t op_at) {
        const Value l = scalar(left_in, op);
        const Value r = scalar(right_in, op);
        if (!ok()) return l;
        const Type& lt = types_[l.type];
        const Type& rt = types_[r.type];
        const bool lp = lt.kind == Kind::pointer;
        const bool rp = rt.kind == Kind::pointer;
        const auto where = [&] { return " at column " + std::to_string(op_at + 1); };
        if (op == "==" || op == "!=" || op == "<" || op == ">" || op == "<=" || op == ">=") {
            const std::uint32_t type = lp || rp ? types_.unsigned_type : common(lt, rt);
            const std::int64_t a = fit(types_[type], l.number);
            const std::int64_t b = fit(types_[type], r.number);
            const bool truth = op == "==" ? a == b : op == "!=" ? a != b : op == "<" ? a < b : op == ">" ? a > b
                             : op == "<=" ? a <= b : a >= b;
            return integer(truth ? 1 : 0, types_.int_type);
        }
        if (op == "+" && (lp || rp)) {
            if (lp && rp) return fail("can't add two pointers" + where());
            const Value& p = lp ? l : r;
            const Value& n = lp ? r : l;
            return {p.type, std::nullopt, fit(types_[p.type], p.number + n.number * element_size(types_[p.type]))};
        }
        if (op == "-" && lp) {
            if (rp) return integer((l.number - r.number) / element_size(lt), types_.int_type);
            return {l.type, std::nullopt, fit(lt, l.number - r.number * element_size(lt))};
        }
        if (lp || rp) return fail("can't use " + quoted_text(op) + " on a pointer" + where());
        const std::uint32_t type = op == "<<" || op == ">>" ? common(lt, lt) : common(lt, rt);
        const Type& t = types_[type];
        const std::int64_t a = fit(t, l.number);
        const std::int64_t b = op == "<<" || op == ">>" ? r.number : fit(t, r.number);
        const auto ua = static_cast<std::uint64_t>(a);
        const auto ub = static_cast<std::uint64_t>(b);
        if (op == "+") return integer(static_cast<std::int64_t>(ua + ub), type);
        if (op == "-") return integer(static_cast<std::int64_t>(ua - ub), type);
        if (op == "*") return integer(static_cast<std::int64_t>(ua * ub), type);
        if (op == "/" || op == "%") {
            if (b == 0) {
                if (!reading()) return integer(0, type);
                return fail("division by zero" + where());
            }
            return integer(op == "/" ? a / b : a % b, type);
        }
        if (op == "<<" || op == ">>") {
            if (b < 0 || b >= 64) return reading() ? fail("shift by " + std::to_string(b) + where()) : integer(0, type);
            return integer(op == "<<" ? static_cast<std::int64_t>(ua << b) : a >> b, type);
        }
        if (op == "&") return integer(a & b, type);
        if (op == "|") return integer(a | b, type);
        return integer(a ^ b, type);
    }

    // ---- unary ----
    Value unary() {
        skip_space();
        if (at_ >= text_.size()) return fail("a value is missing at the end");
        if (depth_ >= 100) return fail("nested too deep at column " + column());
        ++depth_;
        const Value value = prefixed();
        --depth_;
        return value;
    }

    Value prefixed() {
        const std::size_t start = at_;
        if (take_operator("-")) {
            const Value v = scalar(unary(), "-");
            return integer(-v.number, common(types_[v.type], types_[v.type]));
        }
        if (take_operator("+")) return scalar(unary(), "+");
        if (take_operator("!")) return integer(scalar(unary(), "!").number == 0 ? 1 : 0, types_.int_type);
        if (take("~")) {
            const Value v = scalar(unary(), "~");
            return integer(~v.number, common(types_[v.type], types_[v.type]));
        }
        if (take_operator("*")) return dereference(unary(), start);
        if (take_operator("&")) {
            const Value v = unary();
            if (!ok()) return v;
            if (!v.address) return fail("'&' at column " + std::to_string(start + 1) + " needs a variable (an lvalue)");
            return {types_.pointer_to(v.type), std::nullopt, *v.address};
        }
        if (text_.substr(at_).starts_with("sizeof") && (at_ + 6 >= text_.size() || !is_word(text_[at_ + 6]))) {
            at_ += 6;
            const std::size_t open = at_;
            if (take("(")) {
                if (const auto type = type_name()) {
                    if (!take(")")) return fail("'(' at column " + std::to_string(open + 1) + " is never closed");
                    return integer(types_[*type].size, types_.unsigned_type);
                }
                at_ = open;
            }
            const bool was = live_;
            live_ = false;  // sizeof looks at no memory
            const Value v = unary();
            live_ = was;
            return integer(types_[v.type].size, types_.unsigned_type);
        }
        if (text_[at_] == '(') {
            const std::size_t open = at_;
            ++at_;
            if (const auto type = type_name()) {
                if (!take(")")) return fail("'(' at column " + std::to_string(open + 1) + " is never closed");
                return cast(*type, unary());
            }
            at_ = open;
        }
        return postfix(primary());
    }

    Value dereference(const Value& value, std::size_t at) {
        const Value v = rvalue(value);
        if (!ok()) return v;
        const Type& type = types_[v.type];
        if (type.kind != Kind::pointer)
            return fail("'*' at column " + std::to_string(at + 1) + " needs a pointer, not " + type.name);
        const Type& target = types_[type.target];
        if (target.kind == Kind::void_) return fail("can't dereference a void pointer (cast it first)");
        if (reading() && v.number == 0) return fail("dereferences a null pointer");
        if (reading() && v.number + target.size > 0x10000)
            return fail("dereferences " + std::string("a wild pointer: ") + type.name + " " + std::to_string(v.number) +
                        " runs past FFFF");
        return {type.target, static_cast<std::uint16_t>(v.number), 0};
    }

    Value cast(std::uint32_t type, const Value& value) {
        const Type& to = types_[type];
        if (to.kind == Kind::void_) return {type, std::nullopt, 0};
        if (!is_scalar(to)) return fail("can't cast to " + to.name);
        const Value v = scalar(value, "a cast");
        return {type, std::nullopt, fit(to, v.number)};
    }

    // A type's name ("unsigned char", "struct item *", "FILE"), or nullopt
    // with nothing taken.
    std::optional<std::uint32_t> type_name() {
        const std::size_t start = at_;
        std::string name;
        for (;;) {
            const std::size_t before = at_;
            const std::string w = word();
            if (w.empty()) break;
            if (w == "const" || w == "volatile") continue;
            const bool tagged = w == "struct" || w == "union" || w == "enum";
            if (tagged) {
                const std::string tag = word();
                name = w + " " + tag;
                break;
            }
            if (is_type_word(w)) {
                name += (name.empty() ? "" : " ") + w;
                continue;
            }
            if (name.empty() && types_.is_typedef(w) && !scope_.program.names_anything(w, scope_.frame)) {
                name = w;
                break;
            }
            at_ = before;
            break;
        }
        if (name.empty()) {
            at_ = start;
            return std::nullopt;
        }
        std::uint32_t type = types_.find(name);
        if (type == NO_TYPE && name.starts_with("signed ")) type = types_.find(name.substr(7));
        if (type == NO_TYPE) {
            fail("no type " + quoted_text(name) + " in the program's sources");
            return types_.int_type;
        }
        while (take("*")) type = types_.pointer_to(type);
        return type;
    }

    Value postfix(Value value) {
        for (;;) {
            if (!ok()) return value;
            const std::size_t at = at_;
            if (take("[")) {
                const Value index = scalar(binary(0), "an index");
                if (!take("]")) return fail("'[' at column " + std::to_string(at + 1) + " is never closed");
                const Value base = rvalue(value);
                if (!ok()) return base;
                if (types_[base.type].kind != Kind::pointer)
                    return fail("'[' at column " + std::to_string(at + 1) + " needs an array or a pointer, not " +
                                types_[base.type].name);
                const Type& pointer = types_[base.type];
                value = dereference({base.type, std::nullopt, fit(pointer, base.number + index.number * element_size(pointer))}, at);
            } else if (take("->")) {
                value = member(dereference(value, at), at);
            } else if (take_operator(".")) {
                value = member(value, at);
            } else {
                return value;
            }
        }
    }

    Value member(const Value& value, std::size_t at) {
        if (!ok()) return value;
        const Type& type = types_[value.type];
        const std::string name = word();
        if (type.kind != Kind::record)
            return fail("'" + std::string(text_[at] == '.' ? "." : "->") + "' at column " + std::to_string(at + 1) +
                        " needs a struct or union, not " + type.name);
        for (const Field& field : type.fields)
            if (field.name == name) {
                if (!value.address) return fail("a struct with no place");
                return {field.type, static_cast<std::uint16_t>(*value.address + field.offset), 0};
            }
        return fail(type.name + " has no member " + quoted_text(name));
    }

    Value primary() {
        skip_space();
        const std::size_t start = at_;
        const char c = text_[at_];
        if (c == '(') {
            ++at_;
            const Value v = binary(0);
            if (!take(")")) return fail("'(' at column " + std::to_string(start + 1) + " is never closed");
            return v;
        }
        if (c == '\'') return character();
        if (c == '$') {
            ++at_;
            return number(16, start);
        }
        if (is_digit(c)) {
            if (c == '0' && at_ + 1 < text_.size() && (text_[at_ + 1] == 'x' || text_[at_ + 1] == 'X')) {
                at_ += 2;
                return number(16, start);
            }
            if (c == '0' && at_ + 1 < text_.size() && (text_[at_ + 1] == 'b' || text_[at_ + 1] == 'B')) {
                at_ += 2;
                return number(2, start);
            }
            return number(c == '0' ? 8 : 10, start);
        }
        if (c == '@') {
            ++at_;
            const std::string name = word();
            const RegisterName* r = register_named(name);
            if (r == nullptr) {
                // A cheap local label, as the monitor's expressions take it.
                const LabelFind found = scope_.machine.label("@" + name);
                if (found.address) return integer(*found.address, types_.unsigned_type);
                return fail("no register or flag " + quoted_text("@" + name) + " (@pc @a @x @y @sp @p, @n @v @b @d @i @z @c)");
            }
            return machine_register(*r);
        }
        if (c == '.' ) {
            ++at_;
            std::size_t end = at_;
            while (end < text_.size() && (is_word(text_[end]) || text_[end] == '@' || text_[end] == '.')) ++end;
            const std::string name(text_.substr(start, end - start));
            at_ = end;
            const LabelFind found = scope_.machine.label(name);
            if (found.address) return integer(*found.address, types_.unsigned_type);
            return fail(found.error.empty() ? "unknown label " + quoted_text(name) : found.error);
        }
        if (is_letter(c)) return name(start);
        return fail("expected a value at column " + column() + ", not " + quoted_text(text_.substr(at_, 1)));
    }

    Value machine_register(const RegisterName& r) {
        const std::uint16_t value = reading() ? scope_.machine.read_register(r.which) : 0;
        if (r.flag_bit >= 0) return integer((value >> r.flag_bit) & 1, types_.int_type);
        return integer(value, r.which == Register::pc ? types_.unsigned_type : types_.find("unsigned char"));
    }

    Value name(std::size_t start) {
        const std::string name = word();
        if (auto found = scope_.program.lookup(name, scope_.frame)) {
            if (register_named(name) != nullptr &&
                std::find(result_.clashes.begin(), result_.clashes.end(), name) == result_.clashes.end())
                result_.clashes.push_back(name);
            if (found->number) return {found->type, std::nullopt, *found->number};
            if (!found->address && look_)
                return fail(quoted_text(name) + " has no place yet: its function's frame is not made (step on a line)");
            return {found->type, found->address.value_or(0), 0};
        }
        if (const std::optional<std::int64_t> value = types_.enumerator(name)) return integer(*value, types_.int_type);
        if (const RegisterName* r = register_named(name)) return machine_register(*r);
        // A label: its address. One with an @ in it (puts@next) is read whole.
        std::size_t end = at_;
        while (end < text_.size() && (is_word(text_[end]) || text_[end] == '@' || text_[end] == '.')) ++end;
        const std::string label(text_.substr(start, end - start));
        const LabelFind found = scope_.machine.label(label);
        if (found.address) {
            at_ = end;
            return integer(*found.address, types_.unsigned_type);
        }
        if (found.ambiguous) return fail(found.error);
        return fail("no C variable, register or label " + quoted_text(name) + " here");
    }

    Value number(int base, std::size_t start) {
        std::uint64_t value = 0;
        const std::size_t digits = at_;
        bool too_large = false;
        while (at_ < text_.size() && is_word(text_[at_])) {
            const char d = text_[at_];
            const int digit = is_digit(d) ? d - '0' : d >= 'a' && d <= 'f' ? d - 'a' + 10 : d >= 'A' && d <= 'F' ? d - 'A' + 10 : 99;
            if (digit >= base) break;
            value = value * static_cast<unsigned>(base) + static_cast<unsigned>(digit);
            if (value > 0xFFFFFFFF) too_large = true;
            ++at_;
        }
        bool is_unsigned = false;
        bool is_long = false;
        while (at_ < text_.size() && (text_[at_] == 'u' || text_[at_] == 'U' || text_[at_] == 'l' || text_[at_] == 'L')) {
            (text_[at_] == 'u' || text_[at_] == 'U' ? is_unsigned : is_long) = true;
            ++at_;
        }
        const std::string_view written = text_.substr(start, at_ - start);
        if ((at_ == digits && base != 8) || (at_ < text_.size() && is_word(text_[at_])))
            return fail("bad number " + quoted_text(text_.substr(start, std::max(at_ + 1, start + 1) - start)));
        if (too_large) return fail("number " + quoted_text(written) + " too large");
        // As C gives a constant its type: the first of int, unsigned, long, unsigned long that holds it.
        std::uint32_t type = types_.int_type;
        if (is_long || value > 0xFFFF) type = is_unsigned || value > 0x7FFFFFFF ? types_.unsigned_long_type : types_.long_type;
        else if (is_unsigned || (value > 0x7FFF && base != 10)) type = types_.unsigned_type;
        else if (value > 0x7FFF) type = types_.long_type;
        return integer(static_cast<std::int64_t>(value), type);
    }

    Value character() {
        const std::size_t start = at_;
        ++at_;
        std::int64_t value = 0;
        if (at_ < text_.size() && text_[at_] == '\\' && at_ + 1 < text_.size()) {
            const char e = text_[at_ + 1];
            value = e == 'n' ? '\n' : e == 'r' ? '\r' : e == 't' ? '\t' : e == '0' ? 0 : static_cast<unsigned char>(e);
            at_ += 2;
        } else if (at_ < text_.size()) {
            value = static_cast<unsigned char>(text_[at_]);
            ++at_;
        }
        if (at_ >= text_.size() || text_[at_] != '\'')
            return fail("bad character at column " + std::to_string(start + 1) + " (like 'A')");
        ++at_;
        return integer(value, types_.int_type);
    }
};
}  // namespace

bool reads_as_c(std::string_view text, const Scope& scope) {
    bool c = false;
    each_name(text, [&](std::string_view name) {
        if (c) return;
        c = is_type_word(name) || name == "sizeof" || scope.program.names_anything(name, scope.frame);
    });
    return c;
}

Evaluation evaluate_c(std::string_view text, const Scope& scope, bool look) {
    (void)scope.program.load();
    return Parser(text, scope, look).run();
}

Assignment evaluate_assignment(std::string_view text, const Scope& scope) {
    (void)scope.program.load();
    return Parser(text, scope, true).assign();
}

std::optional<std::int64_t> number_of(const Value& value, const Scope& scope) {
    const Type& type = scope.program.types()[value.type];
    if (type.kind == Kind::array || type.kind == Kind::function) return value.address.value_or(0);
    if (!is_scalar(type)) return std::nullopt;
    if (!value.address) return value.number;
    return read_scalar(type, *value.address, [&](std::uint16_t a) { return scope.machine.peek(a); });
}

std::string show(const Value& value, const Scope& scope, Format format) {
    return format_value(scope.program.types(), value.type, value.address, value.number, format,
                        [&](std::uint16_t a) { return scope.machine.peek(a); });
}

}  // namespace c_view
