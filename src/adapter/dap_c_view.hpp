// The debug adapter's C view: each C frame's Locals and the Globals with
// their C values, structs, arrays and pointers as variables with children
// (a variablesReference each), C expressions for evaluate, watch and hover,
// setVariable and setExpression through C lvalues.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "c/c_context.hpp"
#include "debug/debug_info.hpp"
#include "debug/labels.hpp"

class DapCView {
public:
    // `info` null: no C view; every answer is empty.
    DapCView(const debug_info::DebugInfo* info, const std::string& debug_file);
    ~DapCView();
    DapCView(const DapCView&) = delete;
    DapCView& operator=(const DapCView&) = delete;

    // The labels that name the C runtime's routines (for the C frames).
    void use_labels(const Labels& labels);
    // A new stop at the frames `calls` (pc, then each caller's JSR): the
    // children of the last one are gone.
    void stopped(const std::vector<std::uint16_t>& calls);
    // What the C sources had to say when first read, once.
    [[nodiscard]] std::string take_notes();

    [[nodiscard]] bool is_c_frame(std::size_t frame);
    // The expressions' context in frame `frame`, or at `pc` alone (a
    // breakpoint's condition where it stops).
    [[nodiscard]] c_view::CContext context(const ExpressionContext& machine, std::size_t frame);
    [[nodiscard]] c_view::CContext context_at(const ExpressionContext& machine, std::uint16_t pc);

    [[nodiscard]] nlohmann::json locals(std::size_t frame, const ExpressionContext& machine);
    [[nodiscard]] nlohmann::json globals(const ExpressionContext& machine);
    // References from here up are children of a variable.
    static constexpr std::int64_t FIRST_CHILD = 1 << 20;
    [[nodiscard]] nlohmann::json children(std::int64_t reference, const ExpressionContext& machine);

    // `text` read as C in `frame`: nullopt when it is no C; else the
    // evaluate response's body, or `error` set.
    [[nodiscard]] std::optional<nlohmann::json> evaluate(const std::string& text, std::size_t frame,
                                                         const ExpressionContext& machine, std::string& error);
    // LVALUE = VALUE in `frame`: the new value's body, or `error` set.
    [[nodiscard]] nlohmann::json assign(const std::string& lvalue, const std::string& value, std::size_t frame,
                                        const ExpressionContext& machine, std::string& error);
    // The lvalue that variable `name` of container `reference` is (for
    // setVariable), or "" when it is none of this view's.
    [[nodiscard]] std::string lvalue_of(std::int64_t reference, const std::string& name, std::size_t& frame,
                                        const ExpressionContext& machine);
    // A C lvalue's place and size (a data breakpoint on it), in frame 0.
    [[nodiscard]] std::optional<std::pair<std::uint16_t, std::uint32_t>> object(const std::string& text,
                                                                               const ExpressionContext& machine);

private:
    struct Child {
        std::size_t frame;
        std::string expression;  // the C that names it
        c_view::Value value;
    };
    [[nodiscard]] nlohmann::json variable(const std::string& name, std::size_t frame, const std::string& expression,
                                          const c_view::Value& value, const ExpressionContext& machine);
    [[nodiscard]] std::int64_t reference_for(std::size_t frame, const std::string& expression, const c_view::Value& value);

    std::unique_ptr<c_view::Program> program_;
    std::vector<c_view::Frame> frames_;
    std::vector<Child> children_;
};
