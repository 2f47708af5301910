#include "monitor/monitor_command.hpp"

#include <algorithm>
#include <span>

#include "cpu/history_log.hpp"
#include "base/text.hpp"

namespace {

// A word that is one number or name, no operators: the messages of old
// ("bad address or unknown label 'x'") still fit it best.
bool is_simple(std::string_view word) {
    for (const char c : word) {
        const bool name = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' ||
                          c == '@' || c == '.' || c == '$';
        if (!name) return false;
    }
    return true;
}

// A file name as written, or between double quotes when it holds spaces.
std::string file_name(std::string_view word) {
    if (word.size() >= 2 && word.starts_with('"') && word.ends_with('"')) word = word.substr(1, word.size() - 2);
    return std::string(word);
}

// Why `word` gave no value in `low`..`high`: `plain` is the message for a
// simple word (and for any value out of range), the others name the fault.
std::string value_error(std::string_view word, const Expression& value, const std::string& plain) {
    if (value.fault == ExpressionFault::ambiguous) return value.error;
    if (is_simple(word) && value.fault != ExpressionFault::arithmetic) return plain;
    if (value.ok()) return plain + ": it is " + std::to_string(value.value);
    return plain + ": " + value.error;
}

struct VerbName {
    std::string_view name;
    MonitorVerb verb;
};
constexpr VerbName verbs[] = {
    {"r", MonitorVerb::registers}, {"s", MonitorVerb::step},        {"n", MonitorVerb::next},
    {"c", MonitorVerb::cont},      {"g", MonitorVerb::go},          {"b", MonitorVerb::breakpoint},
    {"bd", MonitorVerb::delete_point}, {"w", MonitorVerb::watch},   {"m", MonitorVerb::memory},
    {"e", MonitorVerb::enter},     {"f", MonitorVerb::fill},        {"d", MonitorVerb::disassemble},
    {"l", MonitorVerb::labels},    {"trace", MonitorVerb::trace},   {"save", MonitorVerb::save},
    {"load", MonitorVerb::load},   {"q", MonitorVerb::quit},        {"x", MonitorVerb::leave},
    {"h", MonitorVerb::help},      {"?", MonitorVerb::help},        {"until", MonitorVerb::until},
    {"a", MonitorVerb::assemble},  {"hunt", MonitorVerb::hunt},     {"compare", MonitorVerb::compare},
    {"move", MonitorVerb::move},   {"lc", MonitorVerb::clear_labels},
    {"out", MonitorVerb::out},     {"enable", MonitorVerb::enable}, {"disable", MonitorVerb::disable},
    {"brk", MonitorVerb::stop_on_brk}, {"sw", MonitorVerb::stopwatch},
    {"back", MonitorVerb::back},   {"rc", MonitorVerb::reverse_continue},
    {"hist", MonitorVerb::history}, {"tbreak", MonitorVerb::breakpoint}, {"advance", MonitorVerb::advance},
    {"display", MonitorVerb::display}, {"undisplay", MonitorVerb::undisplay}, {"commands", MonitorVerb::commands},
    {"condition", MonitorVerb::condition}, {"ignore", MonitorVerb::ignore}, {"info", MonitorVerb::info},
};

// Words from `from` on, joined by single spaces.
std::string joined(const std::vector<std::string_view>& words, std::size_t from) {
    std::string text;
    for (std::size_t i = from; i < words.size(); ++i) {
        if (i > from) text += ' ';
        text.append(words[i]);
    }
    return text;
}

// Which register names take which values.
std::optional<std::uint32_t> register_limit(std::string_view name) {
    if (name == "a" || name == "x" || name == "y" || name == "sp" || name == "p") return 0xFF;
    if (name == "pc") return 0xFFFF;
    if (name.size() == 1 && std::string_view("nvbdizc").find(name[0]) != std::string_view::npos) return 1;
    return std::nullopt;
}

std::string lower(std::string_view word) {
    std::string text(word);
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

// A breakpoint or watchpoint number as b lists it (decimal, # allowed).
std::optional<std::uint32_t> point_number(std::string_view word) {
    const std::string_view digits = word.starts_with('#') ? word.substr(1) : word;
    if (digits.size() > 9) return std::nullopt;
    const auto number = parse_decimal_digits(digits, UINT32_MAX);
    if (!number) return std::nullopt;
    return static_cast<std::uint32_t>(*number);
}
}  // namespace

std::vector<std::string_view> monitor_command_words() {
    std::vector<std::string_view> words;
    for (const VerbName& v : verbs) words.push_back(v.name);
    return words;
}

MonitorCommand parse_monitor_command(std::string_view line, const Labels& labels) {
    return parse_monitor_command(line, MachineContext(labels));
}

MonitorCommand parse_monitor_command(std::string_view line, const ExpressionContext& context) {
    MonitorCommand command;
    const std::vector<std::string_view> words = split_arguments(line);
    if (words.empty()) return command;
    const std::string verb_word = lower(words[0]);
    bool known = false;
    for (const VerbName& v : verbs) {
        if (v.name == verb_word) {
            command.verb = v.verb;
            known = true;
        }
    }
    if (!known) {
        command.error = "unknown command " + quoted_text(words[0]) + " (h for help)";
        return command;
    }
    const std::size_t args = words.size() - 1;
    if (command.verb == MonitorVerb::help && args != 0) command.verb = MonitorVerb::value;  // ? EXPR
    const auto fail = [&](const std::string& message) {
        command.error = verb_word + ": " + message;
        return command;
    };
    const auto usage = [&](const char* form) { return fail(std::string("usage: ") + form); };
    // The value of `word` in low..high, or nullopt with the message set.
    const auto value_of = [&](std::string_view word, std::int64_t low, std::int64_t high,
                              const std::string& plain) -> std::optional<std::int64_t> {
        const Expression value = evaluate_expression(word, context);
        if (value.ok() && value.value >= low && value.value <= high) return value.value;
        command.error = verb_word + ": " + value_error(word, value, plain);
        return std::nullopt;
    };
    // A C object's size, when the last address read was one (w watches it whole).
    std::uint32_t object_size = 0;
    const auto address = [&](std::size_t i, std::optional<std::uint16_t>& into) {
        // A C expression gives its object's place (a pointer: its target).
        const Expression c = evaluate_expression(words[i], context);
        object_size = c.ok() && c.address ? c.size : 0;
        if (c.ok() && c.address) {
            into = *c.address;
            return true;
        }
        const auto value = value_of(words[i], 0, 0xFFFF, "bad address or unknown label " + quoted_text(words[i]));
        if (value) into = static_cast<std::uint16_t>(*value);
        return value.has_value();
    };
    // A byte: 00 to FF, or -80 to -1 for the same bytes.
    const auto byte = [&](std::size_t i) -> bool {
        const auto value = value_of(words[i], -0x80, 0xFF, "bad byte " + quoted_text(words[i]) + " (00 to FF)");
        if (value) command.bytes.push_back(static_cast<std::uint8_t>(*value & 0xFF));
        return value.has_value();
    };
    const auto range = [&](std::size_t from) -> bool {
        if (!address(from, command.first) || !address(from + 1, command.second)) return false;
        if (*command.second < *command.first) {
            command.error = verb_word + ": the end comes before the start";
            return false;
        }
        return true;
    };
    // [pass N] [if EXPR] from word `i` to the end of the line (b and w): the
    // condition is the rest of the line.
    const auto pass_and_condition = [&](std::size_t i, const char* form) -> bool {
        if (i + 1 <= args && lower(words[i]) == "pass") {
            const std::string_view digits = words[i + 1].starts_with('#') ? words[i + 1].substr(1) : words[i + 1];
            const auto count = parse_count(std::string(digits).c_str());
            if (!count || *count > 0xFFFFFFFF) {
                (void)fail("bad pass count " + quoted_text(words[i + 1]) + " (decimal)");
                return false;
            }
            command.pass = static_cast<std::uint32_t>(*count);
            i += 2;
        }
        if (i <= args && lower(words[i]) == "if") {
            command.condition = joined(words, i + 1);
            if (command.condition.empty()) {
                (void)usage(form);
                return false;
            }
            // A breakpoint's condition sees the names where it stops.
            const auto there = command.verb == MonitorVerb::breakpoint && command.first
                                   ? context.check_at(command.condition, *command.first)
                                   : std::nullopt;
            const Expression test = there ? *there : evaluate_expression(command.condition, context);
            if (!test.ok() && test.fault != ExpressionFault::arithmetic) {
                (void)fail("bad condition " + quoted_text(command.condition) + ": " + test.error);
                return false;
            }
            i = args + 1;
        }
        if (i <= args) {
            (void)usage(form);
            return false;
        }
        return true;
    };
    switch (command.verb) {
    case MonitorVerb::none:
    case MonitorVerb::history_switch: break;  // made from hist on|off
    case MonitorVerb::registers:
        for (std::size_t i = 1; i <= args; ++i) {
            const std::string_view word = words[i];
            const std::size_t equals = word.find('=');
            const std::string name = lower(word.substr(0, equals));
            const auto limit = equals == std::string_view::npos ? std::nullopt : register_limit(name);
            if (!limit) return fail("bad register setting " + quoted_text(word) + " (like a=41, pc=0300, c=1)");
            const auto value = value_of(word.substr(equals + 1), 0, *limit, "bad value in " + quoted_text(word));
            if (!value) return command;
            command.registers.push_back({name, static_cast<std::uint16_t>(*value)});
        }
        break;
    case MonitorVerb::step:
    case MonitorVerb::back:
        if (args > 1) return usage(command.verb == MonitorVerb::step ? "s [N]" : "back [N]");
        if (args == 1) {
            const auto count =
                value_of(words[1], 1, 0xFFFFFFFF, "bad count " + quoted_text(words[1]) + " (hex, at least 1)");
            if (!count) return command;
            command.count = static_cast<std::uint32_t>(*count);
        }
        break;
    case MonitorVerb::history: {
        if (args > 1) return usage("hist [N|on|off]");
        const std::string word = args == 1 ? lower(words[1]) : "";
        if (word == "on" || word == "off") {
            command.verb = MonitorVerb::history_switch;
            command.on = word == "on";
            break;
        }
        command.count = HISTORY_SHOWN;
        if (args == 1) {
            const auto count = value_of(words[1], 1, static_cast<std::int64_t>(history::SIZE),
                                        "bad count " + quoted_text(words[1]) + " (hex, 1 to 10000)");
            if (!count) return command;
            command.count = static_cast<std::uint32_t>(*count);
        }
        break;
    }
    case MonitorVerb::go:
        if (args != 1) return usage("g ADDR");
        address(1, command.first);
        break;
    case MonitorVerb::breakpoint:
        // b ADDR [pass N] [if EXPR]: the condition is the rest of the line.
        command.temporary = verb_word == "tbreak";
        if (command.temporary && args == 0) return usage("tbreak ADDR [if EXPR]");
        if (args >= 1 && !address(1, command.first)) break;
        if (!pass_and_condition(2, "b [ADDR [pass N] [if EXPR]]")) return command;
        break;
    case MonitorVerb::enable:
    case MonitorVerb::disable:
    case MonitorVerb::delete_point:
    case MonitorVerb::commands:
    case MonitorVerb::condition:
    case MonitorVerb::ignore:
    case MonitorVerb::undisplay: {
        const char* form = command.verb == MonitorVerb::delete_point ? "bd N"
                           : command.verb == MonitorVerb::enable     ? "enable N"
                           : command.verb == MonitorVerb::disable    ? "disable N"
                           : command.verb == MonitorVerb::commands   ? "commands N"
                           : command.verb == MonitorVerb::condition  ? "condition N [EXPR]"
                           : command.verb == MonitorVerb::ignore     ? "ignore N COUNT"
                                                                     : "undisplay N";
        const bool more = command.verb == MonitorVerb::condition || command.verb == MonitorVerb::ignore;
        if (args < 1 || (!more && args != 1) || (command.verb == MonitorVerb::ignore && args != 2)) return usage(form);
        // Decimal, as b lists the numbers.
        const auto number = point_number(words[1]);
        if (!number)
            return fail("bad number " + quoted_text(words[1]) +
                        (command.verb == MonitorVerb::undisplay ? " (as display lists them)" : " (as b lists them)"));
        command.count = *number;
        if (command.verb == MonitorVerb::ignore) {
            const std::string_view digits = words[2].starts_with('#') ? words[2].substr(1) : words[2];
            const auto count = parse_count(std::string(digits).c_str());
            if (!count || *count > 0xFFFFFFFF) return fail("bad count " + quoted_text(words[2]) + " (decimal)");
            command.pass = static_cast<std::uint32_t>(*count);
        } else if (command.verb == MonitorVerb::condition && args > 1) {
            command.condition = joined(words, 2);
            const Expression test = evaluate_expression(command.condition, context);
            if (!test.ok() && test.fault != ExpressionFault::arithmetic)
                return fail("bad condition " + quoted_text(command.condition) + ": " + test.error);
        }
        break;
    }
    case MonitorVerb::display:
        // display alone shows them all again.
        command.condition = joined(words, 1);
        break;
    case MonitorVerb::info: {
        const std::string what = args == 1 ? lower(words[1]) : "";
        if (what == "b" || what == "break" || what == "breakpoints" || what == "watchpoints") command.text = "breakpoints";
        else if (what == "display") command.text = "display";
        else return usage("info breakpoints | info display");
        break;
    }
    case MonitorVerb::advance:
        if (args != 1) return usage("advance ADDR");
        address(1, command.first);
        break;
    case MonitorVerb::watch: {
        // w ADDR [END] [r|w|rw] [pass N] [if EXPR]
        const char* const form = "w [ADDR [END] [r|w|rw] [pass N] [if EXPR]]";
        if (args >= 1 && !address(1, command.first)) break;
        // A C lvalue: exactly its bytes.
        if (object_size > 1) command.second = static_cast<std::uint16_t>(std::min<std::uint32_t>(0xFFFF, *command.first + object_size - 1));
        command.access = WATCH_READ | WATCH_WRITE;
        const auto keyword = [&](std::size_t i) { return lower(words[i]) == "pass" || lower(words[i]) == "if"; };
        const auto access_word = [&](std::size_t i) {
            const std::string kind = lower(words[i]);
            return kind == "r" || kind == "w" || kind == "rw" || kind == "wr";
        };
        std::size_t i = 2;
        if (i <= args && !keyword(i) && !access_word(i)) {
            if (!evaluate_expression(words[i], context).ok())
                return fail("bad end or access " + quoted_text(words[i]) + " (an address, or r, w or rw)");
            if (!address(i, command.second)) break;
            if (*command.second < *command.first) return fail("the end comes before the start");
            ++i;
        }
        if (i <= args && !keyword(i)) {
            const std::string kind = lower(words[i]);
            if (kind == "r") command.access = WATCH_READ;
            else if (kind == "w") command.access = WATCH_WRITE;
            else if (kind != "rw" && kind != "wr") return fail("bad access " + quoted_text(words[i]) + " (r, w or rw)");
            ++i;
        }
        if (!pass_and_condition(i, form)) return command;
        break;
    }
    case MonitorVerb::memory:
    case MonitorVerb::disassemble:
        if (args > 2) return usage(command.verb == MonitorVerb::memory ? "m ADDR [END]" : "d [ADDR [END]]");
        if (args == 2) range(1);
        else if (args == 1) address(1, command.first);
        else if (command.verb == MonitorVerb::memory) return usage("m ADDR [END]");
        break;
    case MonitorVerb::enter:
        if (args < 2) return usage("e ADDR BYTE...");
        if (!address(1, command.first)) break;
        for (std::size_t i = 2; i <= args; ++i)
            if (!byte(i)) return command;
        if (*command.first + command.bytes.size() > 0x10000) return fail("the bytes run past FFFF");
        break;
    case MonitorVerb::fill:
        if (args != 3) return usage("f START END BYTE");
        if (range(1)) byte(3);
        break;
    case MonitorVerb::labels:
        if (args != 1) return usage("l FILE");
        command.file = file_name(words[1]);
        break;
    case MonitorVerb::trace:
        if (args != 1) return usage("trace FILE | trace off");
        if (lower(words[1]) != "off") command.file = file_name(words[1]);
        break;
    case MonitorVerb::save:
        if (args != 3) return usage("save FILE START END");
        command.file = file_name(words[1]);
        range(2);
        break;
    case MonitorVerb::load:
        if (args != 2) return usage("load FILE ADDR");
        command.file = file_name(words[1]);
        address(2, command.first);
        break;
    case MonitorVerb::until: {
        // Decimal, as the counts of replay files and messages are.
        const std::string_view word = args == 1 ? words[1] : std::string_view();
        if (args == 1 && !word.starts_with('#')) {  // until ADDR
            address(1, command.first);
            break;
        }
        const auto count = word.starts_with('#') ? parse_count(std::string(word.substr(1)).c_str()) : std::nullopt;
        if (!count) return usage("until ADDR | until #N (N an instruction count, in decimal)");
        command.count64 = *count;
        break;
    }
    case MonitorVerb::value: {
        const std::string text = joined(words, 1);
        const Expression value = evaluate_expression(text, context);
        if (!value.ok()) return fail(value.error);
        command.value = value.value;
        if (value.aggregate) command.text = value.c_text;  // a struct or an array, as C shows it
        break;
    }
    case MonitorVerb::assemble:
        if (args < 1) return usage("a ADDR [INSTRUCTION]");
        if (address(1, command.first)) command.text = joined(words, 2);
        break;
    case MonitorVerb::hunt: {
        if (args < 3) return usage("hunt START END BYTE|\"TEXT\"|?...");
        if (!range(1)) break;
        std::string error;
        command.pattern = read_hunt_pattern(std::span(words).subspan(3), context, error);
        if (!error.empty()) return fail(error);
        break;
    }
    case MonitorVerb::compare:
    case MonitorVerb::move:
        if (args != 3) return usage(command.verb == MonitorVerb::compare ? "compare START END OTHER" : "move START END TO");
        if (range(1)) address(3, command.third);
        break;
    case MonitorVerb::clear_labels:
        if (args > 1) return usage("lc [FILE]");
        if (args == 1) command.file = file_name(words[1]);
        break;
    case MonitorVerb::stop_on_brk: {
        const std::string word = args == 1 ? lower(words[1]) : "";
        if (word != "on" && word != "off") return usage("brk on|off");
        command.on = word == "on";
        break;
    }
    case MonitorVerb::out:
    case MonitorVerb::reverse_continue:
    case MonitorVerb::stopwatch:
    case MonitorVerb::next:
    case MonitorVerb::cont:
    case MonitorVerb::quit:
    case MonitorVerb::leave:
    case MonitorVerb::help:
        if (args != 0) return fail("takes no arguments");
        break;
    }
    return command;
}

const char* monitor_help_text() {
    return "numbers are hex ($ optional, # decimal, % binary); an address or value may be a label, a register\n"
           "or an expression without spaces, like start+3, [ptr], {vec}, x*2\n"
           "  r                    registers and flags\n"
           "  r a=41 pc=0300 c=1   set registers (a x y sp p pc) and flags (n v b d i z c)\n"
           "  ? EXPR               a value in every base, and the label at it\n"
           "  s [N]                step N instructions (1); Enter steps again\n"
           "  n                    step, over a JSR (to the RTS or RTI that returns above its frame)\n"
           "  out                  run until the routine returns\n"
           "  c                    continue\n"
           "  g ADDR               continue at ADDR\n"
           "  until ADDR           continue to ADDR\n"
           "  advance ADDR         continue to ADDR, or until the routine returns\n"
           "  until #N             continue to instruction count N (decimal; deterministic runs)\n"
           "  b [ADDR [pass N] [if EXPR]]  set a breakpoint, or list breakpoints and watchpoints\n"
           "  tbreak ADDR [if EXPR]  a breakpoint deleted where it stops\n"
           "  w ADDR [END] [r|w|rw] [pass N] [if EXPR]  watchpoint on reads and/or writes (rw)\n"
           "  info breakpoints     list breakpoints and watchpoints, as b does\n"
           "  bd N                 delete breakpoint or watchpoint N (decimal, as b lists them)\n"
           "  enable N, disable N  turn breakpoint or watchpoint N on or off\n"
           "  condition N [EXPR]   stop at N only where EXPR is not 0 (no EXPR: always)\n"
           "  ignore N COUNT       let the next COUNT hits of N by (decimal)\n"
           "  commands N           the lines up to end run where N stops; silent first: no word of the stop,\n"
           "                       c among them: the run goes on\n"
           "  display [EXPR]       show EXPR at every stop (alone: show them now)\n"
           "  undisplay N          stop showing display N\n"
           "  info display         list the displays\n"
           "  brk on|off           stop after a BRK, or not\n"
           "  sw                   reset the stopwatch (r shows it)\n"
           "  m ADDR [END]         memory in hex and ASCII (no device action)\n"
           "  e ADDR BYTE...       enter bytes\n"
           "  f START END BYTE     fill\n"
           "  d [ADDR [END]]       disassemble (from pc)\n"
           "  a ADDR [INSTRUCTION] assemble one instruction; without one, a line each until an empty line\n"
           "  hunt START END BYTE|\"TEXT\"|?...  find bytes (? for any)\n"
           "  compare START END OTHER  the bytes that differ\n"
           "  move START END TO    copy memory (overlapping ranges come out whole)\n"
           "  l FILE               load labels (ld65 -Ln format), replacing those of the same file\n"
           "  lc [FILE]            clear the labels (of that file)\n"
           "  trace FILE | off     disassembled trace to FILE\n"
           "  save FILE START END  memory to a file\n"
           "  load FILE ADDR       a file into memory\n"
           "  back [N]             step N instructions (1) backwards; Enter goes on (deterministic runs)\n"
           "  rc                   run backwards to the last breakpoint or watchpoint hit (deterministic runs)\n"
           "  hist on, hist off    keep the history of instructions run from here on, or not\n"
           "  hist [N]             the last N (16) instructions run and interrupts, with their registers\n"
           "  q                    end the run as Ctrl-C does (nothing saved)\n"
           "  x                    leave the monitor; the run goes on to its end\n"
           "  h, ?                 this help\n"
           "Enter alone repeats s and n, and goes on after m and d.\n"
           "Ctrl-] brings the monitor back while the program runs. At a halt the monitor\n"
           "stops first; b 0 stops it at the end of the run. There, a command that goes\n"
           "on ends the run, unless pc was moved (g ADDR, r pc=ADDR) or the run taken back.\n";
}
