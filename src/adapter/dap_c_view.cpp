#include "adapter/dap_c_view.hpp"

#include <cstdio>
#include <initializer_list>
#include <string_view>

#include "bus/bus.hpp"
#include "cpu/state.hpp"

using nlohmann::json;

namespace {
std::string memory_reference(unsigned address) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%04X", address & 0xFFFF);
    return text;
}

// Pieces of text, one after the other (GCC 12 misreads "[" + text + "]").
std::string joined(std::initializer_list<std::string_view> parts) {
    std::string text;
    for (const std::string_view part : parts) text += part;
    return text;
}

// More elements than this in an expanded array are left out.
constexpr std::uint32_t MOST_CHILDREN = 256;
}  // namespace

DapCView::DapCView(const debug_info::DebugInfo* info, const std::string& debug_file) {
    if (info != nullptr) program_ = std::make_unique<c_view::Program>(*info, debug_file);
}

DapCView::~DapCView() = default;

void DapCView::use_labels(const Labels& labels) {
    if (program_ != nullptr) program_->set_names([&labels](std::uint16_t address) { return labels.name_at(address); });
}

void DapCView::stopped(const std::vector<std::uint16_t>& calls) {
    children_.clear();
    frames_.clear();
    if (program_ != nullptr)
        frames_ = program_->frames(calls, [](std::uint16_t a) { return bus_peek(a); },
                                   static_cast<std::uint16_t>(cpu.a | cpu.x << 8));
}

std::string DapCView::take_notes() { return program_ != nullptr ? program_->take_notes() : std::string(); }

bool DapCView::is_c_frame(std::size_t frame) { return frame < frames_.size() && frames_[frame].c; }

c_view::CContext DapCView::context(const ExpressionContext& machine, std::size_t frame) {
    if (program_ == nullptr) return {machine, nullptr, nullptr};
    return {machine, program_.get(), [this, frame]() -> std::optional<c_view::Frame> {
                if (frame < frames_.size()) return frames_[frame];
                return std::nullopt;
            }};
}

c_view::CContext DapCView::context_at(const ExpressionContext& machine, std::uint16_t pc) {
    if (program_ == nullptr) return {machine, nullptr, nullptr};
    return {machine, program_.get(), [this, pc] {
                return std::optional(program_->frames({pc}, [](std::uint16_t a) { return bus_peek(a); },
                                                      static_cast<std::uint16_t>(cpu.a | cpu.x << 8)).front());
            }};
}

std::int64_t DapCView::reference_for(std::size_t frame, const std::string& expression, const c_view::Value& value) {
    const c_view::Types& types = program_->types();
    const c_view::Type& type = types[value.type];
    bool expands = (type.kind == c_view::Kind::record || type.kind == c_view::Kind::array) && value.address;
    if (type.kind == c_view::Kind::pointer) {
        const c_view::Kind target = types[type.target].kind;
        expands = target != c_view::Kind::void_ && target != c_view::Kind::function;
    }
    if (!expands) return 0;
    children_.push_back({frame, expression, value});
    return FIRST_CHILD + static_cast<std::int64_t>(children_.size()) - 1;
}

json DapCView::variable(const std::string& name, std::size_t frame, const std::string& expression,
                        const c_view::Value& value, const ExpressionContext& machine) {
    const c_view::Scope scope{*program_, nullptr, machine};
    json v = {{"name", name},
              {"value", value.address || value.type != c_view::NO_TYPE ? c_view::show(value, scope) : "?"},
              {"type", program_->types()[value.type].name},
              {"evaluateName", expression},
              {"variablesReference", reference_for(frame, expression, value)}};
    if (value.address) v["memoryReference"] = memory_reference(*value.address);
    return v;
}

json DapCView::locals(std::size_t frame, const ExpressionContext& machine) {
    json list = json::array();
    if (program_ == nullptr || !is_c_frame(frame)) return list;
    (void)program_->load();
    const c_view::Frame& f = frames_[frame];
    for (const c_view::Program::Local& local : program_->locals(f.function->scope)) {
        const c_view::Visible v = program_->visible(local, f);
        if (!v.address && !v.number) {
            list.push_back({{"name", local.name}, {"value", "? (not made yet)"}, {"variablesReference", 0}});
            continue;
        }
        list.push_back(variable(local.name, frame, local.name, {local.type, v.address, v.number.value_or(0)}, machine));
    }
    return list;
}

json DapCView::globals(const ExpressionContext& machine) {
    json list = json::array();
    if (program_ == nullptr) return list;
    (void)program_->load();
    for (const c_view::Program::Global& global : program_->globals())
        list.push_back(variable(global.name, 0, global.name, {global.type, global.address, 0}, machine));
    return list;
}

json DapCView::children(std::int64_t reference, const ExpressionContext& machine) {
    json list = json::array();
    const std::int64_t index = reference - FIRST_CHILD;
    if (program_ == nullptr || index < 0 || index >= static_cast<std::int64_t>(children_.size())) return list;
    const Child parent = children_[static_cast<std::size_t>(index)];  // a copy: the list grows below
    const c_view::Types& types = program_->types();
    const c_view::Type& type = types[parent.value.type];
    const auto fields = [&](const c_view::Type& record, std::uint16_t at, const std::string& prefix) {
        for (const c_view::Field& field : record.fields)
            list.push_back(variable(field.name, parent.frame, prefix + field.name,
                                    {field.type, static_cast<std::uint16_t>(at + field.offset), 0}, machine));
    };
    if (type.kind == c_view::Kind::record) {
        fields(type, *parent.value.address, joined({"(", parent.expression, ")."}));
    } else if (type.kind == c_view::Kind::array) {
        const std::uint32_t size = types[type.target].size;
        for (std::uint32_t i = 0; i < type.count && i < MOST_CHILDREN; ++i) {
            const std::string index = std::to_string(i);
            list.push_back(variable(joined({"[", index, "]"}), parent.frame,
                                    joined({"(", parent.expression, ")[", index, "]"}),
                                    {type.target, static_cast<std::uint16_t>(*parent.value.address + i * size), 0},
                                    machine));
        }
    } else if (type.kind == c_view::Kind::pointer) {
        const c_view::Scope scope{*program_, nullptr, machine};
        const auto target = c_view::number_of(parent.value, scope);
        if (!target || *target == 0) return list;
        const auto at = static_cast<std::uint16_t>(*target);
        const c_view::Type& pointed = types[type.target];
        // A struct pointer shows the struct's members, as editors expect.
        if (pointed.kind == c_view::Kind::record) fields(pointed, at, joined({"(", parent.expression, ")->"}));
        else list.push_back(variable(joined({"*", parent.expression}), parent.frame, joined({"*(", parent.expression, ")"}),
                                     {type.target, at, 0}, machine));
    }
    return list;
}

std::optional<json> DapCView::evaluate(const std::string& text, std::size_t frame, const ExpressionContext& machine,
                                       std::string& error) {
    if (program_ == nullptr) return std::nullopt;
    const c_view::Scope scope{*program_, frame < frames_.size() ? &frames_[frame] : nullptr, machine};
    if (!c_view::reads_as_c(text, scope)) return std::nullopt;
    const c_view::Evaluation c = c_view::evaluate_c(text, scope);
    if (!c.ok()) {
        error = c.error;
        return json::object();
    }
    json v = variable(text, frame, text, c.value, machine);
    json body = {{"result", v["value"]}, {"type", v["type"]}, {"variablesReference", v["variablesReference"]}};
    if (v.contains("memoryReference")) body["memoryReference"] = v["memoryReference"];
    return body;
}

json DapCView::assign(const std::string& lvalue, const std::string& value, std::size_t frame,
                      const ExpressionContext& machine, std::string& error) {
    if (program_ == nullptr) {
        error = "no debug information: no C variables to set";
        return {};
    }
    const c_view::Scope scope{*program_, frame < frames_.size() ? &frames_[frame] : nullptr, machine};
    const c_view::Assignment assignment = c_view::evaluate_assignment(lvalue + " = " + value, scope);
    if (!assignment.error.empty()) {
        error = assignment.error;
        return {};
    }
    for (std::size_t i = 0; i < assignment.bytes.size(); ++i)
        memory[static_cast<std::uint16_t>(assignment.address + i)] = assignment.bytes[i];
    json v = variable(lvalue, frame, lvalue, assignment.target, machine);
    return {{"value", v["value"]}, {"type", v["type"]}, {"variablesReference", v["variablesReference"]}};
}

std::string DapCView::lvalue_of(std::int64_t reference, const std::string& name, std::size_t& frame,
                                const ExpressionContext& machine) {
    if (program_ == nullptr) return {};
    if (reference < FIRST_CHILD) return name;  // a Locals or Globals scope: the name itself
    for (const json& child : children(reference, machine))
        if (child["name"] == name) {
            frame = children_[static_cast<std::size_t>(reference - FIRST_CHILD)].frame;
            return child["evaluateName"].get<std::string>();
        }
    return {};
}

std::optional<std::pair<std::uint16_t, std::uint32_t>> DapCView::object(const std::string& text,
                                                                       const ExpressionContext& machine) {
    if (program_ == nullptr) return std::nullopt;
    const c_view::Scope scope{*program_, frames_.empty() ? nullptr : &frames_.front(), machine};
    if (!c_view::reads_as_c(text, scope)) return std::nullopt;
    const c_view::Evaluation c = c_view::evaluate_c(text, scope);
    if (!c.ok() || !c.value.address) return std::nullopt;
    return std::pair{*c.value.address, program_->types()[c.value.type].size};
}
