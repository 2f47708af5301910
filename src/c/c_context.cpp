#include "c/c_context.hpp"

#include <algorithm>

namespace c_view {

std::optional<Expression> CContext::read(std::string_view text, const Frame* frame, bool look) const {
    if (program_ == nullptr) return std::nullopt;
    const Scope scope{*program_, frame, machine_};
    if (!reads_as_c(text, scope)) return std::nullopt;
    const Evaluation c = evaluate_c(text, scope, look);
    for (const std::string& name : c.clashes)
        if (std::find(clashes_.begin(), clashes_.end(), name) == clashes_.end()) clashes_.push_back(name);
    Expression result;
    if (!c.ok()) {
        result.fault = c.error.starts_with("division by zero") ? ExpressionFault::arithmetic
                       : c.error.starts_with("no C variable")  ? ExpressionFault::unknown_label
                                                               : ExpressionFault::syntax;
        result.error = c.error;
        return result;
    }
    const Type& type = program_->types()[c.value.type];
    if (const auto number = number_of(c.value, scope)) result.value = *number;
    else result.value = c.value.address.value_or(0);
    result.aggregate = type.kind == Kind::record || type.kind == Kind::array;
    if (look) result.c_text = show(c.value, scope);
    if (c.value.address) result.size = type.size;
    // A pointer's target is where m and d look; any other object's own place.
    if (type.kind == Kind::pointer) result.address = static_cast<std::uint16_t>(result.value);
    else if (c.value.address) result.address = c.value.address;
    return result;
}

std::optional<Expression> CContext::c_expression(std::string_view text) const { return read(text, frame(), true); }

std::optional<Expression> CContext::check_at(std::string_view text, std::uint16_t address) const {
    if (program_ == nullptr) return std::nullopt;
    const std::vector<Frame> there = program_->frames({address}, [](std::uint16_t) { return std::uint8_t{0}; });
    return read(text, there.empty() ? nullptr : &there.front(), false);
}

std::string clash_note(const std::string& name) {
    return "(" + name + " is the C variable here; the register or flag is @" + name + ")\n";
}

}  // namespace c_view
