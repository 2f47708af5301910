#include "monitor/monitor_source.hpp"

#include <algorithm>
#include <cstdio>

#include "debug/call_stack.hpp"
#include "debug/expression.hpp"
#include "debug/labels.hpp"
#include "base/text.hpp"

using debug_info::CVariable;
using debug_info::DebugInfo;
using source_steps::LineStep;

namespace {
constexpr const char* NO_INFO = "no debug information (--debug-info FILE, or NAME.dbg beside the image)";
constexpr std::uint32_t LIST_LINES = 11;  // a listing: 5 lines, the one asked for, 5 lines

std::string lower(std::string_view word) {
    std::string text(word);
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

std::string hex4(std::uint32_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "%04X", value & 0xFFFFu);
    return text;
}

// A C or assembly name: the only words taken as a function's.
bool is_name(std::string_view word) {
    if (word.empty() || (word[0] >= '0' && word[0] <= '9')) return false;
    return std::all_of(word.begin(), word.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
    });
}

// Registers and flags come before names, as in expressions.
bool is_register(std::string_view word) {
    static constexpr std::string_view NAMES[] = {"pc", "a", "x", "y", "sp", "p", "n", "v", "b", "d", "i", "z", "c"};
    const std::string name = lower(word);
    return std::find(std::begin(NAMES), std::end(NAMES), name) != std::end(NAMES);
}

// FILE:LINE, split; nullopt when `word` is not of that form.
struct FileLine {
    std::string_view file;
    std::uint32_t line;
};
std::optional<FileLine> file_line(std::string_view word) {
    const std::size_t colon = word.rfind(':');
    if (colon == std::string_view::npos || colon == 0 || colon + 1 == word.size() || word.size() - colon > 8)
        return std::nullopt;
    std::uint32_t line = 0;
    for (const char c : word.substr(colon + 1)) {
        if (c < '0' || c > '9') return std::nullopt;
        line = line * 10 + static_cast<std::uint32_t>(c - '0');
    }
    if (line == 0) return std::nullopt;
    return FileLine{word.substr(0, colon), line};
}

std::string trimmed(const std::string& text) {
    const std::size_t first = text.find_first_not_of(' ');
    return first == std::string::npos ? std::string() : text.substr(first);
}
}  // namespace

SourceLevel::SourceLevel(const DebugInfo* info, const std::string& debug_file, PeekByte peek)
    : info_(info), peek_(std::move(peek)) {
    if (info_ != nullptr) {
        files_.emplace(*info_, debug_file);
        warned_changed_.assign(info_->files().size(), false);
    }
}

std::string SourceLevel::file_name(std::uint32_t file) const { return escape_control(info_->files()[file].name); }

std::optional<source_steps::SourceLine> SourceLevel::shown_line(std::uint16_t pc) {
    if (info_ == nullptr) return std::nullopt;
    const auto where = info_->location(pc);
    if (!where || where->line > files_->line_count(where->file)) return std::nullopt;
    return source_steps::SourceLine{where->file, where->line, where->span_start == pc};
}

std::string SourceLevel::at_stop(std::uint16_t pc) {
    step_.reset();
    list_next_.reset();
    if (info_ == nullptr) return {};
    const auto where = info_->location(pc);
    if (!where) return {};
    std::string text = file_name(where->file) + ":" + std::to_string(where->line);
    if (const auto source = files_->line(where->file, where->line)) {
        const std::string shown = trimmed(*source);
        if (!shown.empty()) text += "  " + shown;
    }
    text += "\n";
    if (files_->changed(where->file) && !warned_changed_[where->file]) {
        warned_changed_[where->file] = true;
        text += '(';
        text += files_->path(where->file) + " has changed since the build: its lines may not be the code's)\n";
    }
    return text;
}

SourceOutcome SourceLevel::command(std::string_view line, const Labels& labels, std::uint16_t pc, std::uint8_t sp) {
    const std::vector<std::string_view> words = split_arguments(line);
    if (words.empty()) return {};
    const std::string verb = lower(words[0]);
    // The commands that take a place: FILE:LINE and FUNCTION become an address.
    if (verb == "b" || verb == "tbreak" || verb == "until" || verb == "advance") return breakpoint(verb, line, words, labels);
    static constexpr std::string_view VERBS[] = {"step", "next", "finish", "list", "bt", "locals", "globals", "print"};
    if (std::find(std::begin(VERBS), std::end(VERBS), verb) == std::end(VERBS)) return {};
    const auto done = [](std::string text) { return SourceOutcome{SourceOutcome::Kind::done, std::move(text), {}}; };
    if (info_ == nullptr) return done(verb + ": " + NO_INFO + "\n");
    const std::size_t args = words.size() - 1;
    if (verb == "list") {
        if (args > 1) return done("list: usage: list [FILE:LINE | FUNCTION | LINE]\n");
        return done(list(words, pc));
    }
    if (verb == "print") {
        if (args != 1) return done("print: usage: print NAME (a C variable)\n");
        return done(variables(verb, words[1], pc));
    }
    if (args != 0) return done(verb + ": takes no arguments\n");
    if (verb == "bt") return done(backtrace(pc, sp));
    if (verb == "locals" || verb == "globals") return done(variables(verb, {}, pc));
    const LineStep kind = verb == "step" ? LineStep::into : verb == "next" ? LineStep::over : LineStep::out;
    // The start code, reached by reset, never returns: finish would run to the end.
    if (kind == LineStep::out && call_frames(*info_, pc, sp, peek_, 2).size() < 2)
        return done("finish: no caller on the stack (bt shows none); c runs on\n");
    step_ = source_steps::begin_line_step(kind, pc, sp, shown_line(pc));
    return {SourceOutcome::Kind::step, {}, {}};
}

// b FILE:LINE and b FUNCTION become b ADDR, with whatever follows (and
// so for tbreak, until and advance).
SourceOutcome SourceLevel::breakpoint(const std::string& verb, std::string_view line,
                                      const std::vector<std::string_view>& words, const Labels& labels) {
    if (words.size() < 2) return {};
    const std::string_view word = words[1];
    std::string address;
    std::string note;
    if (const auto place = file_line(word)) {
        const auto fail = [&](std::string text) {
            return SourceOutcome{SourceOutcome::Kind::done, verb + ": " + text + "\n", {}};
        };
        if (info_ == nullptr)
            return fail("no debug information to find " + quoted_text(word) +
                        " in (--debug-info FILE, or NAME.dbg beside the image)");
        if (info_->find_files(place->file).empty())
            return fail("no source file " + quoted_text(place->file) + " in the debug information");
        const auto code = info_->line_with_code(place->file, place->line);
        if (!code) return fail("no code at or after " + escape_control(word));
        const std::vector<std::uint16_t> addresses = info_->addresses(place->file, *code);
        if (*code != place->line)
            note = escape_control(word) + " has no code: line " + std::to_string(*code) + " is the next that has\n";
        address = hex4(addresses.front()).insert(0, 1, '$');
    } else if (info_ != nullptr && is_name(word) && !is_register(word) && !labels.lookup(word).address &&
               !labels.lookup(word).ambiguous) {
        const auto function = info_->function(word);
        if (!function) return {};
        address = hex4(function->entry).insert(0, 1, '$');
    } else {
        return {};
    }
    const std::size_t at = static_cast<std::size_t>(word.data() - line.data());
    std::string rewritten(line);
    rewritten.replace(at, word.size(), address);
    return {SourceOutcome::Kind::machine, rewritten, note};
}

std::string SourceLevel::list(const std::vector<std::string_view>& words, std::uint16_t pc) {
    const auto here = info_->location(pc);
    std::uint32_t file = 0;
    std::uint32_t first = 0;
    if (words.size() == 1 && list_next_) {
        file = list_file_;
        first = *list_next_;
    } else {
        std::uint32_t center = 0;
        if (words.size() == 1) {
            if (!here) return "list: no source line at " + hex4(pc) + "\n";
            file = here->file;
            center = here->line;
        } else if (const auto place = file_line(words[1])) {
            const std::vector<std::uint32_t> files = info_->find_files(place->file);
            if (files.empty()) return "list: no source file " + quoted_text(place->file) + " in the debug information\n";
            // Of several files by that name, one that can be read.
            file = files.front();
            for (const std::uint32_t f : files)
                if (files_->line_count(f) != 0) {
                    file = f;
                    break;
                }
            center = place->line;
        } else if (std::all_of(words[1].begin(), words[1].end(), [](char c) { return c >= '0' && c <= '9'; })) {
            if (!here && !list_next_) return "list: no source line at " + hex4(pc) + " to take the file from\n";
            file = list_next_ ? list_file_ : here->file;
            center = static_cast<std::uint32_t>(std::min<unsigned long>(std::stoul(std::string(words[1].substr(0, 9))), UINT32_MAX));
        } else {
            const auto function = is_name(words[1]) ? info_->function(words[1]) : std::nullopt;
            if (!function) return "list: no function " + quoted_text(words[1]) + " in the debug information\n";
            const auto at = info_->location(static_cast<std::uint16_t>(function->entry));
            if (!at) return "list: " + escape_control(words[1]) + " has no source line\n";
            file = at->file;
            center = at->line;
        }
        first = center > LIST_LINES / 2 ? center - LIST_LINES / 2 : 1;
    }
    const std::size_t count = files_->line_count(file);
    if (count == 0)
        return "list: can't find " + file_name(file) + " (as recorded, or beside the debug file)\n";
    if (first > count) return "list: " + file_name(file) + " has " + std::to_string(count) + " lines\n";
    const std::uint32_t mark = here && here->file == file ? here->line : 0;
    std::string text;
    for (const std::string& shown : files_->listing_range(file, first, first + LIST_LINES - 1, mark)) text += shown + "\n";
    list_file_ = file;
    list_next_ = first + LIST_LINES;
    return text;
}

std::string SourceLevel::backtrace(std::uint16_t pc, std::uint8_t sp) {
    std::string text;
    const std::vector<CallFrame> frames = call_frames(*info_, pc, sp, peek_);
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const CallFrame& frame = frames[i];
        const std::string name = code_name(*info_, frame.pc);
        text += '#';
        text += std::to_string(i) + "  " + hex4(frame.pc) + "  " + (name.empty() ? "?" : escape_control(name));
        if (frame.location) text += "  " + file_name(frame.location->file) + ":" + std::to_string(frame.location->line);
        text += "\n";
    }
    return text;
}

// locals, globals, print NAME.
std::string SourceLevel::variables(std::string_view verb, std::string_view name, std::uint16_t pc) {
    const auto function = info_->function_at(pc);
    // A C function's own scope holds C symbols (itself at least).
    const bool in_c = function && std::any_of(info_->c_symbols().begin(), info_->c_symbols().end(),
                                               [&](const debug_info::CSymbol& c) { return c.scope == function->scope; });
    std::vector<CVariable> locals;
    std::optional<std::uint16_t> base;
    if (in_c) {
        locals = info_->c_locals(function->scope);
        base = c_frame_base(*info_, *function, pc, peek_);
    }
    const auto shown = [&](const CVariable& v, std::optional<std::uint16_t> frame) {
        std::string value = read_c_variable(*info_, v, frame, peek_);
        const auto address = c_variable_address(*info_, v, frame);
        // A parameter the file gives no size for: its first bytes, for what they are worth.
        if (v.size == 0 && address) {
            char bytes[48];
            std::snprintf(bytes, sizeof bytes, " (size not known; at %04X: %02X %02X)", *address, peek_(*address),
                          peek_(static_cast<std::uint16_t>(*address + 1)));
            value += bytes;
        }
        return escape_control(v.name) + " = " + value + "\n";
    };
    if (verb == "print") {
        for (const CVariable& v : locals)
            if (v.name == name) return shown(v, base);
        for (const CVariable& v : info_->c_globals())
            if (v.name == name) return shown(v, std::nullopt);
        return "print: no C variable " + quoted_text(name) + " here (locals and globals list them)\n";
    }
    std::string text;
    if (verb == "globals") {
        for (const CVariable& v : info_->c_globals()) text += shown(v, std::nullopt);
        return text.empty() ? "globals: the debug information has no C variables outside functions\n" : text;
    }
    if (!function) {
        const std::string code = code_name(*info_, pc);
        if (!code.empty()) return "locals: " + hex4(pc) + " (" + escape_control(code) + ") is not in a C function\n";
        return "locals: " + hex4(pc) + " is in no function the debug information knows\n";
    }
    if (!in_c) return "locals: " + escape_control(function->name) + " is not a C function\n";
    if (locals.empty()) return escape_control(function->name) + " has no parameters or locals\n";
    const auto at = info_->location(pc);
    if (!base && pc == function->entry)
        text += "(at the entry of " + escape_control(function->name) + ": its frame is not made yet)\n";
    else if (at && at->span_start != pc)
        text += "(pc is inside a line: what the line has put on the C stack may move these)\n";
    for (const CVariable& v : locals) text += shown(v, base);
    return text;
}

void SourceLevel::before_instruction(std::uint16_t pc, std::uint8_t sp) {
    executing_.pc = pc;
    executing_.opcode = peek_(pc);
    executing_.sp_before = sp;
}

bool SourceLevel::after_instruction(std::uint16_t pc, std::uint8_t sp) {
    if (!step_) return false;
    executing_.pc_after = pc;
    executing_.sp_after = sp;
    if (!source_steps::line_step_ends(*step_, executing_, shown_line(pc))) return false;
    step_.reset();
    return true;
}

void SourceLevel::interrupted(std::uint8_t sp) {
    if (step_) source_steps::line_step_interrupted(*step_, static_cast<std::uint8_t>(sp + 3));
}

const char* source_help_text() {
    return "with debug information (--debug-info FILE, or NAME.dbg beside the image):\n"
           "  b FILE:LINE          breakpoint on a source line (or the next line with code)\n"
           "  b FUNCTION           breakpoint at a C function or an assembly routine;\n"
           "                       tbreak, until and advance take FILE:LINE and FUNCTION too\n"
           "  step                 step a source line, into calls\n"
           "  next                 step a source line, over calls\n"
           "  finish               run until the function returns, on to a line of its caller\n"
           "  list [WHERE]         source around pc's line, or FILE:LINE, FUNCTION, LINE; again: on\n"
           "  bt                   the calls that led here\n"
           "  locals               the current C function's parameters and locals\n"
           "  globals              the C variables outside functions\n"
           "  print NAME           one C variable\n";
}
