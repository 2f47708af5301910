// A C program's variables with their C types: where each lives (from the
// linker's debug information) and what it is (from the C sources, read
// with c_source_reader at the first need). Without the reader, or for a
// name the sources do not declare, a variable's type is guessed from its
// size: the debugger then works at byte level.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "c/c_source_reader.hpp"
#include "c/c_types.hpp"
#include "debug/c_values.hpp"
#include "debug/debug_info.hpp"
#include "debug/source_view.hpp"

namespace c_view {

// A C variable that a name finds.
struct Visible {
    std::string name;
    std::uint32_t type = NO_TYPE;
    std::optional<std::uint16_t> address;  // nullopt: its frame is not made yet
    std::optional<std::int64_t> number;    // a value held in registers, with no address
};

// One frame of the calls that led to a stop, with its C stack frame.
struct Frame {
    std::uint16_t pc = 0;  // the innermost: pc; the others: the JSR that made the call
    std::optional<debug_info::Function> function;
    bool c = false;                     // a C function's
    std::optional<std::uint16_t> base;  // its frame base: where offset 0 of its C symbols is
    // At a C function's entry its locals are not made and its last
    // argument is still in A and X: these are what they hold.
    bool at_entry = false;
    std::optional<std::uint16_t> ax;
};

class Program {
public:
    Program(const debug_info::DebugInfo& info, const std::string& debug_file);

    // Reads the C sources the first time: what there is to say about it,
    // once ("" when all went well), for the caller to show.
    [[nodiscard]] std::string load();
    // What load() had to say, once; "" after.
    [[nodiscard]] std::string take_notes() {
        if (!loaded_) return {};
        return std::exchange(notes_, std::string());
    }
    [[nodiscard]] const Types& types() const { return types_; }
    [[nodiscard]] Types& types() { return types_; }  // expressions make pointer types as they go
    [[nodiscard]] const debug_info::DebugInfo& info() const { return info_; }

    struct Local {
        std::string name;
        std::uint32_t type = NO_TYPE;
        debug_info::CVariable place;
    };
    // A C function's parameters and locals, highest offset first (with
    // their C types once load() has read them: until then by their sizes).
    [[nodiscard]] const std::vector<Local>& locals(std::uint32_t scope);
    struct Global {
        std::string name;
        std::uint32_t type = NO_TYPE;
        std::uint16_t address = 0;
    };
    [[nodiscard]] const std::vector<Global>& globals();
    [[nodiscard]] bool is_c_function(std::uint32_t scope) const;

    // The frames at `calls` (pc, then each caller's JSR, as the 6502 stack
    // gives them), with each C frame's base worked out from the C stack
    // pointer: the innermost's as it stands, each caller's from its
    // callee's (the callee takes its arguments off the C stack on return).
    // `ax` is A and X (high byte), for the innermost frame's last argument at its entry.
    [[nodiscard]] std::vector<Frame> frames(const std::vector<std::uint16_t>& calls, const PeekByte& peek,
                                            std::optional<std::uint16_t> ax = std::nullopt);

    // Names code addresses the debug information may not (the C runtime's,
    // from a label file): for working out what a line pushed before a call.
    void set_names(std::function<const char*(std::uint16_t)> name_at) { name_at_ = std::move(name_at); }

    // `name` as the frame sees it: its locals and parameters, then the
    // globals; nullopt when none is so called.
    [[nodiscard]] std::optional<Visible> lookup(std::string_view name, const Frame* frame);
    // Where a local of `frame` is (or, at its entry, the value it holds).
    [[nodiscard]] Visible visible(const Local& local, const Frame& frame) const;
    [[nodiscard]] bool names_anything(std::string_view name, const Frame* frame);

private:
    [[nodiscard]] std::string read_sources();
    [[nodiscard]] std::uint32_t guessed_type(std::uint32_t size);
    [[nodiscard]] const DeclaredFunction* declared_function(std::string_view name) const;
    [[nodiscard]] std::uint32_t argument_bytes(std::uint32_t scope);
    // The bytes a call to `function` takes off the C stack that its caller
    // pushed; `y` is the LDY #N before a variadic one's call.
    [[nodiscard]] std::optional<int> pops(const DeclaredFunction& function, std::optional<std::uint8_t> y) const;
    [[nodiscard]] std::optional<int> call_effect(std::uint16_t target, std::optional<std::uint8_t> y) const;

    const debug_info::DebugInfo& info_;
    SourceFiles sources_;
    Types types_;
    bool loaded_ = false;
    std::string notes_;
    std::vector<DeclaredFile> files_;
    std::map<std::uint32_t, std::vector<Local>> locals_;
    std::optional<std::vector<Global>> globals_;
    std::function<const char*(std::uint16_t)> name_at_;
};

}  // namespace c_view
