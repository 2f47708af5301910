#include "monitor/monitor_source.hpp"

#include <algorithm>
#include <cstdio>

#include "c/c_expression.hpp"
#include "cpu/state.hpp"
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
    const auto line = parse_decimal_digits(word.substr(colon + 1), UINT32_MAX);
    if (!line || *line == 0) return std::nullopt;
    return FileLine{word.substr(0, colon), static_cast<std::uint32_t>(*line)};
}

std::string trimmed(const std::string& text) {
    const std::size_t first = text.find_first_not_of(' ');
    return first == std::string::npos ? std::string() : text.substr(first);
}
}  // namespace

SourceLevel::SourceLevel(const DebugInfo* info, const std::string& debug_file, PeekByte peek, PokeByte poke)
    : info_(info), peek_(std::move(peek)), poke_(std::move(poke)) {
    if (info_ != nullptr) {
        files_.emplace(*info_, debug_file);
        warned_changed_.assign(info_->files().size(), false);
        program_ = std::make_unique<c_view::Program>(*info_, debug_file);
    }
}

SourceLevel::~SourceLevel() = default;

void SourceLevel::use_labels(const Labels& labels) {
    labels_ = &labels;
    if (program_ != nullptr) program_->set_names([&labels](std::uint16_t address) { return labels.name_at(address); });
}

const std::vector<c_view::Frame>& SourceLevel::frames(std::uint16_t pc, std::uint8_t sp) {
    if (!frames_) {
        std::vector<std::uint16_t> calls;
        for (const CallFrame& frame : call_frames(*info_, pc, sp, peek_)) calls.push_back(frame.pc);
        frames_ = program_->frames(calls, peek_, static_cast<std::uint16_t>(cpu.a | cpu.x << 8));
        if (selected_ >= frames_->size()) selected_ = 0;
    }
    return *frames_;
}

c_view::CContext SourceLevel::context(const ExpressionContext& machine, std::uint16_t pc, std::uint8_t sp) {
    if (program_ == nullptr) return {machine, nullptr, nullptr};
    return {machine, program_.get(), [this, pc, sp] { return std::optional(frames(pc, sp)[selected_]); }};
}

c_view::CContext SourceLevel::context_at(const ExpressionContext& machine, std::uint16_t pc) {
    if (program_ == nullptr) return {machine, nullptr, nullptr};
    return {machine, program_.get(), [this, pc] { return std::optional(program_->frames({pc}, peek_, static_cast<std::uint16_t>(cpu.a | cpu.x << 8)).front()); }};
}

std::string SourceLevel::notes(const c_view::CContext& context) {
    if (program_ == nullptr) return {};
    std::string text = program_->take_notes();
    for (const std::string& name : context.clashes()) {
        if (std::find(told_.begin(), told_.end(), name) != told_.end()) continue;
        told_.push_back(name);
        text += c_view::clash_note(name);
    }
    return text;
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
    frames_.reset();
    selected_ = 0;
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
    static constexpr std::string_view VERBS[] = {"step", "next", "finish", "list",  "bt", "locals",
                                                 "globals", "print", "up", "down", "frame", "set"};
    const bool printing = verb.starts_with("print/");
    const bool info_frame = verb == "info" && words.size() == 2 && lower(words[1]) == "frame";
    if (std::find(std::begin(VERBS), std::end(VERBS), verb) == std::end(VERBS) && !printing && !info_frame) return {};
    const auto done = [](std::string text) { return SourceOutcome{SourceOutcome::Kind::done, std::move(text), {}}; };
    if (info_ == nullptr) return done(verb + ": " + NO_INFO + "\n");
    const std::size_t args = words.size() - 1;
    if (verb == "print" || printing) return done(print(verb, line, labels, pc, sp));
    if (verb == "set") return done(set_variable(line, labels, pc, sp));
    if (verb == "up" || verb == "down" || verb == "frame" || info_frame) return done(select_frame(verb, words, pc, sp));
    if (verb == "list") {
        if (args > 1) return done("list: usage: list [FILE:LINE | FUNCTION | LINE]\n");
        return done(list(words, pc));
    }
    if (args != 0) return done(verb + ": takes no arguments\n");
    if (verb == "bt") return done(backtrace(pc, sp));
    if (verb == "locals" || verb == "globals") return done(variables(verb, pc, sp));
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
        const std::string name = name_of_code(frame.pc);
        text += '#';
        text += std::to_string(i) + "  " + hex4(frame.pc) + "  " + (name.empty() ? "?" : escape_control(name));
        if (frame.location) text += "  " + file_name(frame.location->file) + ":" + std::to_string(frame.location->line);
        text += "\n";
    }
    return text;
}

// locals and globals, in the selected frame.
std::string SourceLevel::variables(std::string_view verb, std::uint16_t pc, std::uint8_t sp) {
    const Labels no_labels;
    const MachineContext machine(no_labels);
    (void)program_->load();
    std::string text;
    const auto shown = [&](const c_view::Visible& v) {
        const c_view::Scope scope{*program_, nullptr, machine};
        const std::string value = v.address || v.number ? c_view::show({v.type, v.address, v.number.value_or(0)}, scope) : "?";
        return escape_control(v.name) + " = " + escape_control(value) + "\n";
    };
    if (verb == "globals") {
        for (const c_view::Program::Global& g : program_->globals()) text += shown({g.name, g.type, g.address, std::nullopt});
        text = program_->take_notes() + text;
        return text.empty() ? "globals: the debug information has no C variables outside functions\n" : text;
    }
    const c_view::Frame& frame = frames(pc, sp)[selected_];
    const std::uint16_t at = frame.pc;
    if (!frame.function) {
        const std::string code = name_of_code(at);
        const std::string caller = selected_ + 1 < frames_->size() ? "; up selects its caller" : "";
        if (!code.empty())
            return "locals: " + hex4(at) + " (" + escape_control(code) + ") is not in a C function" + caller + "\n";
        return "locals: " + hex4(at) + " is in no function the debug information knows\n";
    }
    if (!frame.c) return "locals: " + escape_control(frame.function->name) + " is not a C function\n";
    const auto& locals = program_->locals(frame.function->scope);
    text = program_->take_notes();
    if (locals.empty()) return text + escape_control(frame.function->name) + " has no parameters or locals\n";
    const auto where = info_->location(at);
    if (frame.at_entry)
        text += "(at the entry of " + escape_control(frame.function->name) + ": its locals are not made yet)\n";
    else if (selected_ == 0 && where && where->span_start != at)
        text += "(pc is inside a line: what the line has put on the C stack may move these)\n";
    for (const c_view::Program::Local& local : locals) text += shown(program_->visible(local, frame));
    return text;
}

// print[/x|/d|/c] EXPR: a C expression in the selected frame.
std::string SourceLevel::print(std::string_view verb, std::string_view line, const Labels& labels, std::uint16_t pc,
                               std::uint8_t sp) {
    c_view::Format format = c_view::Format::natural;
    if (verb.size() > 5) {
        const std::string_view letter = verb.substr(6);
        if (letter == "x") format = c_view::Format::hex;
        else if (letter == "d") format = c_view::Format::decimal;
        else if (letter == "c") format = c_view::Format::character;
        else return "print: no format " + quoted_text(verb.substr(5)) + " (/x, /d or /c)\n";
    }
    const std::size_t skip = line.find_first_not_of(" \t");
    std::string_view text = line.substr(skip + verb.size());
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    if (text.empty()) return "print: usage: print[/x|/d|/c] EXPR (a C expression)\n";
    const MachineContext machine(labels);
    const c_view::CContext context = this->context(machine, pc, sp);
    const c_view::Scope scope{*program_, context.frame(), machine};
    const c_view::Evaluation value = c_view::evaluate_c(text, scope);
    std::string said = program_->take_notes();
    for (const std::string& name : value.clashes)
        if (std::find(told_.begin(), told_.end(), name) == told_.end()) {
            told_.push_back(name);
            said += c_view::clash_note(name);
        }
    if (!value.ok()) return said + "print: " + escape_control(value.error) + "\n";
    return said + escape_control(text) + " = " + escape_control(c_view::show(value.value, scope, format)) + "\n";
}

// set var LVALUE = EXPR
std::string SourceLevel::set_variable(std::string_view line, const Labels& labels, std::uint16_t pc, std::uint8_t sp) {
    const std::vector<std::string_view> words = split_arguments(line);
    if (words.size() < 2 || (lower(words[1]) != "var" && lower(words[1]) != "variable"))
        return "set: usage: set var LVALUE = EXPR\n";
    const std::size_t at = static_cast<std::size_t>(words[1].data() + words[1].size() - line.data());
    const std::string_view text = line.substr(at);
    const MachineContext machine(labels);
    const c_view::CContext context = this->context(machine, pc, sp);
    const c_view::Scope scope{*program_, context.frame(), machine};
    const c_view::Assignment assignment = c_view::evaluate_assignment(text, scope);
    const std::string said = program_->take_notes();
    if (!assignment.error.empty()) return said + "set var: " + escape_control(assignment.error) + "\n";
    for (std::size_t i = 0; i < assignment.bytes.size(); ++i)
        poke_(static_cast<std::uint16_t>(assignment.address + i), assignment.bytes[i]);
    const std::string_view lvalue = text.substr(0, text.find('='));
    std::string shown(lvalue);
    while (!shown.empty() && shown.back() == ' ') shown.pop_back();
    return said + escape_control(trimmed(shown)) + " = " + escape_control(c_view::show(assignment.target, scope)) + "\n";
}

// The function or label of the debug information, else the nearest label
// loaded at or below (the C runtime's, from NAME.lbl).
std::string SourceLevel::name_of_code(std::uint16_t address) const {
    std::string name = code_name(*info_, address);
    if (!name.empty() || labels_ == nullptr) return name;
    return nearest_label(*labels_, address);
}

std::string SourceLevel::frame_line(std::size_t index) {
    const c_view::Frame& frame = (*frames_)[index];
    const std::string name = name_of_code(frame.pc);
    std::string text = "#" + std::to_string(index) + "  " + hex4(frame.pc) + "  " + (name.empty() ? "?" : escape_control(name));
    const auto where = info_->location(frame.pc);
    if (where) text += "  " + file_name(where->file) + ":" + std::to_string(where->line);
    text += "\n";
    if (where)
        if (const auto source = files_->line(where->file, where->line); source && !trimmed(*source).empty())
            text += "    " + trimmed(*source) + "\n";
    return text;
}

// up [N], down [N], frame [N], info frame.
std::string SourceLevel::select_frame(std::string_view verb, const std::vector<std::string_view>& words,
                                      std::uint16_t pc, std::uint8_t sp) {
    const std::size_t count = frames(pc, sp).size();
    if (verb == "info") {
        const c_view::Frame& frame = (*frames_)[selected_];
        std::string text = frame_line(selected_);
        if (frame.c && frame.base && !frame.at_entry) {
            const std::uint32_t room = info_->c_frame_size(frame.function->scope);
            text += "  C frame base " + hex4(*frame.base) + ": its locals below it (" + std::to_string(room) +
                    (room == 1 ? " byte" : " bytes") + "), its arguments from it up\n";
        } else if (frame.c) {
            text += "  at the entry of a C function: its locals are not made yet\n";
        } else {
            text += "  not a C function: no C frame\n";
        }
        if (selected_ + 1 < count) text += "  called from #" + std::to_string(selected_ + 1) + " at " + hex4((*frames_)[selected_ + 1].pc) + "\n";
        if (selected_ > 0) text += "  calls #" + std::to_string(selected_ - 1) + "\n";
        return text;
    }
    const std::string usage = std::string(verb) + ": usage: " + std::string(verb) + (verb == "frame" ? " [N]\n" : " [COUNT]\n");
    if (words.size() > 2) return usage;
    std::uint32_t number = verb == "frame" ? static_cast<std::uint32_t>(selected_) : 1;
    if (words.size() == 2) {
        const std::string_view digits = words[1];
        if (digits.empty() || digits.size() > 6 ||
            !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return usage;
        number = static_cast<std::uint32_t>(std::stoul(std::string(digits)));
    }
    if (verb == "frame") {
        if (number >= count) return "frame: no frame #" + std::to_string(number) + " (bt shows #0 to #" + std::to_string(count - 1) + ")\n";
        selected_ = number;
    } else if (verb == "up") {
        if (selected_ + 1 >= count) return "up: #" + std::to_string(selected_) + " is the outermost frame\n";
        selected_ = std::min<std::size_t>(count - 1, selected_ + number);
    } else {
        if (selected_ == 0) return "down: #0 is the innermost frame\n";
        selected_ = number > selected_ ? 0 : selected_ - number;
    }
    return frame_line(selected_);
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
           "  up [N], down [N]     select the calling frame, or the called one again\n"
           "  frame [N]            select frame N of bt (without N: show the selected one)\n"
           "  info frame           the selected frame and its C stack frame\n"
           "  locals               the selected frame's C parameters and locals\n"
           "  globals              the C variables outside functions\n"
           "  print[/x|/d|/c] EXPR a C expression: items[1].qty, *p, p->name, &x, (char)n, sizeof x\n"
           "  set var LVAL = EXPR  write a C variable, an element, a member or *pointer\n"
           "  where a C name is in scope, expressions are C (decimal numbers, 0x for hex) and\n"
           "  the C name wins over a register's or flag's: those are always @a @x @y @sp @p @pc\n"
           "  and @n @v @b @d @i @z @c\n";
}
