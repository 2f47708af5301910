// The monitor's and the adapter's expressions with a C program's names:
// an expression that names a C variable in scope (or uses sizeof, a cast,
// a type's name) is read as C (c_expression.hpp), any other as before.
// Where a C name is also a register's or a flag's, the C name wins: the
// register is then @NAME, and clashes() lists the names so met.
#pragma once

#include <functional>
#include <optional>
#include <utility>
#include <string>
#include <vector>

#include "c/c_expression.hpp"
#include "debug/expression.hpp"

namespace c_view {

class CContext final : public ExpressionContext {
public:
    // `program` may be null (no C program): then this is `machine` alone.
    // `frame` gives the frame whose names are seen, asked the first time
    // an expression names anything.
    using FrameSource = std::function<std::optional<Frame>()>;
    CContext(const ExpressionContext& machine, Program* program, FrameSource frame)
        : machine_(machine), program_(program), source_(std::move(frame)) {}

    [[nodiscard]] LabelFind label(std::string_view name) const override { return machine_.label(name); }
    [[nodiscard]] std::uint16_t read_register(Register which) const override { return machine_.read_register(which); }
    [[nodiscard]] std::uint8_t peek(std::uint16_t address) const override { return machine_.peek(address); }
    [[nodiscard]] std::optional<Expression> c_expression(std::string_view text) const override;
    [[nodiscard]] std::optional<Expression> check_at(std::string_view text, std::uint16_t address) const override;

    // The C names read so far that are also a register's or a flag's.
    [[nodiscard]] const std::vector<std::string>& clashes() const { return clashes_; }
    [[nodiscard]] const Frame* frame() const {
        if (source_) frame_ = std::exchange(source_, nullptr)();
        return frame_ ? &*frame_ : nullptr;
    }

private:
    [[nodiscard]] std::optional<Expression> read(std::string_view text, const Frame* frame, bool look) const;

    const ExpressionContext& machine_;
    Program* program_;
    mutable FrameSource source_;
    mutable std::optional<Frame> frame_;
    mutable std::vector<std::string> clashes_;
};

// What a monitor says once about a C name that hides a register or flag.
[[nodiscard]] std::string clash_note(const std::string& name);

}  // namespace c_view
