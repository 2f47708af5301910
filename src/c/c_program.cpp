#include "c/c_program.hpp"

#include <algorithm>
#include <filesystem>

#include "base/text.hpp"
#include "c/c_format.hpp"
#include "c/c_stack_depth.hpp"

namespace c_view {

namespace {
bool is_c_source(const std::string& name) { return name.ends_with(".c") || name.ends_with(".C"); }

// The folders the sources' headers came from, as the debug information
// recorded them, and the usual homes of cc65's headers and the kit's.
std::vector<std::string> include_folders(const debug_info::DebugInfo& info, SourceFiles& sources,
                                         const std::string& source) {
    namespace fs = std::filesystem;
    std::vector<std::string> folders;
    const auto add = [&](const fs::path& folder) {
        std::error_code error;
        if (folder.empty() || !fs::is_directory(folder, error)) return;
        const std::string text = folder.lexically_normal().string();
        if (std::find(folders.begin(), folders.end(), text) == folders.end()) folders.push_back(text);
    };
    const fs::path own = fs::path(source).parent_path();
    add(own.empty() ? fs::path(".") : own);
    add(own / "include");
    add(own / ".." / "sdk" / "include");
    for (std::uint32_t id = 0; id < info.files().size(); ++id) {
        const std::string& name = info.files()[id].name;
        if (!name.ends_with(".h")) continue;
        const std::string found = sources.path(id);
        if (!found.empty()) add(fs::path(found).parent_path());
    }
    for (const char* folder : {"/usr/local/share/emu6502/sdk/include", "/usr/share/emu6502/sdk/include"})
        add(folder);
    if (const char* home = std::getenv("CC65_HOME")) add(fs::path(home) / "include");
    for (const char* folder : {"/usr/local/share/cc65/include", "/usr/share/cc65/include"}) add(folder);
    return folders;
}
}  // namespace

Program::Program(const debug_info::DebugInfo& info, const std::string& debug_file)
    : info_(info), sources_(info, debug_file) {}

std::string Program::load() {
    if (loaded_) return {};
    loaded_ = true;
    // The variables found so far were found without their types.
    locals_.clear();
    globals_.reset();
    notes_ = read_sources();
    return notes_;
}

std::string Program::read_sources() {
    std::vector<std::uint32_t> sources;
    for (std::uint32_t id = 0; id < info_.files().size(); ++id)
        if (is_c_source(info_.files()[id].name)) sources.push_back(id);
    if (sources.empty()) return {};
    if (!c_reader_built())
        return "(built without libclang: C variables are shown by their sizes, without their C types)\n";
    std::string said;
    for (const std::uint32_t id : sources) {
        const std::string path = sources_.path(id);
        if (path.empty()) {
            said += "(can't find " + escape_control(info_.files()[id].name) +
                    " to read its C types: its variables are shown by their sizes)\n";
            continue;
        }
        // Said as a line's own note, in brackets (appended: GCC 12 misreads "(" + text).
        const auto note = [&](const std::string& text) {
            said += '(';
            said += escape_control(path);
            said += text;
            said += ")\n";
        };
        if (sources_.changed(id)) note(" has changed since the build: its C types may not be the code's");
        DeclaredFile file;
        const std::string fault = read_c_source(path, include_folders(info_, sources_, path), types_, file);
        if (!fault.empty()) note(": " + fault + "; its variables are shown by their sizes");
        else files_.push_back(std::move(file));
    }
    return said;
}

std::uint32_t Program::guessed_type(std::uint32_t size) {
    switch (size) {
    case 1: return types_.find("unsigned char");
    case 0:
    case 2: return types_.unsigned_type;
    case 4: return types_.unsigned_long_type;
    default: return types_.array_of(types_.find("unsigned char"), size);
    }
}

const DeclaredFunction* Program::declared_function(std::string_view name) const {
    for (const DeclaredFile& file : files_)
        for (const DeclaredFunction& function : file.functions)
            if (function.name == name) return &function;
    for (const DeclaredFile& file : files_)
        for (const DeclaredFunction& function : file.prototypes)
            if (function.name == name) return &function;
    return nullptr;
}

std::optional<int> Program::pops(const DeclaredFunction& function, std::optional<std::uint8_t> y) const {
    // A variadic function takes off what the caller says in Y; any other
    // all its arguments, the last of which it pushed itself from A and X.
    if (function.variadic) return y ? std::optional<int>(*y) : std::nullopt;
    int bytes = 0;
    for (const Declared& parameter : function.parameters) bytes += static_cast<int>(types_[parameter.type].size);
    if (!function.parameters.empty()) bytes -= static_cast<int>(types_[function.parameters.back().type].size);
    return bytes;
}

std::optional<int> Program::call_effect(std::uint16_t target, std::optional<std::uint8_t> y) const {
    std::string name;
    if (const auto function = info_.function_at(target); function && function->entry == target) name = function->name;
    if (name.empty() && name_at_) {
        const char* known = name_at_(target);
        if (known != nullptr) name = known;
    }
    if (name.starts_with('_')) {
        if (const DeclaredFunction* declared = declared_function(std::string_view(name).substr(1))) {
            const auto taken = pops(*declared, y);
            if (!taken) return std::nullopt;
            return -*taken;
        }
    }
    return runtime_effect(name, y);
}

bool Program::is_c_function(std::uint32_t scope) const {
    const auto& all = info_.c_symbols();
    return std::any_of(all.begin(), all.end(), [&](const debug_info::CSymbol& c) { return c.scope == scope; });
}

const std::vector<Program::Local>& Program::locals(std::uint32_t scope) {
    if (const auto known = locals_.find(scope); known != locals_.end()) return known->second;
    std::vector<Local>& list = locals_[scope];
    std::string_view function = info_.scopes()[scope].name;
    if (function.starts_with('_')) function.remove_prefix(1);
    const DeclaredFunction* declared = declared_function(function);
    for (const debug_info::CVariable& variable : info_.c_locals(scope)) {
        if (variable.name == "__argsize__") continue;
        Local local{variable.name, NO_TYPE, variable};
        if (declared != nullptr) {
            // Parameters first: a local may shadow nothing of them.
            for (const auto* group : {&declared->parameters, &declared->locals}) {
                const auto found = std::find_if(group->begin(), group->end(),
                                                [&](const Declared& d) { return d.name == variable.name; });
                if (found != group->end() && local.type == NO_TYPE) local.type = found->type;
            }
        }
        if (local.type == NO_TYPE) local.type = guessed_type(variable.size);
        local.place.size = types_[local.type].size;
        list.push_back(std::move(local));
    }
    return list;
}

const std::vector<Program::Global>& Program::globals() {
    if (globals_) return *globals_;
    globals_.emplace();
    for (const debug_info::CVariable& variable : info_.c_globals()) {
        Global global{variable.name, NO_TYPE, static_cast<std::uint16_t>(variable.address)};
        for (const DeclaredFile& file : files_) {
            const auto found = std::find_if(file.globals.begin(), file.globals.end(),
                                            [&](const Declared& d) { return d.name == variable.name; });
            if (found != file.globals.end() && types_[found->type].kind != Kind::function) {
                global.type = found->type;
                break;
            }
        }
        if (global.type == NO_TYPE) global.type = guessed_type(variable.size);
        globals_->push_back(std::move(global));
    }
    return *globals_;
}

std::uint32_t Program::argument_bytes(std::uint32_t scope) {
    std::uint32_t bytes = 0;
    for (const Local& local : locals(scope))
        if (local.place.storage == debug_info::Storage::automatic && local.place.offset >= 0)
            bytes = std::max(bytes, static_cast<std::uint32_t>(local.place.offset) + types_[local.type].size);
    return bytes;
}

std::vector<Frame> Program::frames(const std::vector<std::uint16_t>& calls, const PeekByte& peek,
                                  std::optional<std::uint16_t> ax) {
    std::vector<Frame> list;
    // A caller's frame lies above its callee's arguments: their sizes are the C types'.
    if (calls.size() > 1) (void)load();
    const auto sp = info_.c_stack_pointer();
    if (!sp) {
        for (const std::uint16_t pc : calls) list.push_back({pc, info_.function_at(pc), false, std::nullopt, false, std::nullopt});
        return list;
    }
    // The C stack pointer as the frame being looked at left it.
    auto stack = static_cast<std::uint16_t>(peek(*sp) | peek(static_cast<std::uint16_t>(*sp + 1)) << 8);
    for (std::size_t i = 0; i < calls.size(); ++i) {
        Frame frame{calls[i], info_.function_at(calls[i]), false, std::nullopt, false, std::nullopt};
        frame.c = frame.function && frame.function->scope != debug_info::NONE && is_c_function(frame.function->scope);
        if (frame.c) {
            const std::uint32_t scope = frame.function->scope;
            if (i == 0 && calls[i] == frame.function->entry) {
                // Not made yet: the last argument is still in A and X, but the
                // caller's frame is where the others were pushed onto.
                const auto& all = locals(scope);
                const auto last = std::find_if(all.rbegin(), all.rend(), [](const Local& l) {
                    return l.place.storage == debug_info::Storage::automatic && l.place.offset >= 0;
                });
                const std::uint32_t held = last != all.rend() && last->place.offset == 0 ? types_[last->type].size : 0;
                stack = static_cast<std::uint16_t>(stack - held);
                frame.base = stack;
                frame.at_entry = true;
                frame.ax = ax;
            } else {
                // A caller may have pushed more than the callee's arguments
                // before the call (an operand of the expression the call is in).
                // A routine of the runtime (the innermost frame) has taken none of it yet.
                if (i > 0) {
                    const auto where = info_.location(calls[i]);
                    std::string_view callee = list[i - 1].c ? std::string_view(list[i - 1].function->name) : "";
                    if (callee.starts_with('_')) callee.remove_prefix(1);
                    const DeclaredFunction* declared = declared_function(callee);
                    const CallEffect effect = [this](std::uint16_t t, std::optional<std::uint8_t> y) {
                        return call_effect(t, y);
                    };
                    const int pushed = where ? pushed_before(static_cast<std::uint16_t>(where->span_start), calls[i],
                                                             peek, effect).value_or(-1)
                                             : -1;
                    const int for_call = !list[i - 1].c   ? 0
                                         : declared != nullptr ? pops(*declared, std::nullopt).value_or(-1)
                                                               : -1;
                    if (pushed >= 0 && for_call >= 0 && pushed > for_call && pushed - for_call < 0x100)
                        stack = static_cast<std::uint16_t>(stack + (pushed - for_call));
                }
                frame.base = static_cast<std::uint16_t>(stack + info_.c_frame_size(scope));
                stack = *frame.base;
            }
            stack = static_cast<std::uint16_t>(stack + argument_bytes(scope));
        }
        list.push_back(std::move(frame));
    }
    return list;
}

Visible Program::visible(const Local& local, const Frame& frame) const {
    Visible visible{local.name, local.type, c_variable_address(info_, local.place, frame.base), std::nullopt};
    if (frame.at_entry && local.place.storage == debug_info::Storage::automatic && local.place.offset <= 0) {
        visible.address.reset();
        if (local.place.offset == 0 && frame.ax) visible.number = fit(types_[local.type], *frame.ax);
    }
    return visible;
}

std::optional<Visible> Program::lookup(std::string_view name, const Frame* frame) {
    (void)load();
    if (frame != nullptr && frame->c) {
        for (const Local& local : locals(frame->function->scope))
            if (local.name == name) return visible(local, *frame);
    }
    for (const Global& global : globals())
        if (global.name == name) return Visible{global.name, global.type, global.address, std::nullopt};
    return std::nullopt;
}

bool Program::names_anything(std::string_view name, const Frame* frame) {
    if (frame != nullptr && frame->c)
        for (const Local& local : locals(frame->function->scope))
            if (local.name == name) return true;
    const auto& all = globals();
    return std::any_of(all.begin(), all.end(), [&](const Global& g) { return g.name == name; });
}

}  // namespace c_view
