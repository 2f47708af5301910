#include "debug/monitor_command.hpp"

#include "driver/text.hpp"

namespace {
std::string quoted(std::string_view word) {
    std::string text(1, '\'');
    text.append(escape_controls(word));
    text.push_back('\'');
    return text;
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
    {"h", MonitorVerb::help},      {"?", MonitorVerb::help},
};

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
}  // namespace

std::optional<std::uint32_t> parse_hex(std::string_view word, std::uint32_t max) {
    if (word.starts_with('$')) word.remove_prefix(1);
    if (word.size() > 8) return std::nullopt;
    const auto value = parse_hex_digits(word, max);
    if (!value) return std::nullopt;
    return static_cast<std::uint32_t>(*value);
}

std::optional<std::uint16_t> parse_monitor_address(std::string_view word, const Labels& labels) {
    if (!word.starts_with('$'))
        if (const auto address = labels.find(word)) return address;
    if (const auto value = parse_hex(word, 0xFFFF)) return static_cast<std::uint16_t>(*value);
    return std::nullopt;
}

MonitorCommand parse_monitor_command(std::string_view line, const Labels& labels) {
    MonitorCommand command;
    const std::vector<std::string_view> words = split_words(line);
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
        command.error = "unknown command " + quoted(words[0]) + " (h for help)";
        return command;
    }
    const std::size_t args = words.size() - 1;
    const auto fail = [&](const std::string& message) {
        command.error = verb_word + ": " + message;
        return command;
    };
    const auto usage = [&](const char* form) { return fail(std::string("usage: ") + form); };
    const auto address = [&](std::size_t i, std::optional<std::uint16_t>& into) {
        into = parse_monitor_address(words[i], labels);
        if (!into) command.error = verb_word + ": bad address or unknown label " + quoted(words[i]);
        return into.has_value();
    };
    const auto byte = [&](std::size_t i) -> bool {
        const auto value = parse_hex(words[i], 0xFF);
        if (!value) {
            command.error = verb_word + ": bad byte " + quoted(words[i]) + " (00 to FF)";
            return false;
        }
        command.bytes.push_back(static_cast<std::uint8_t>(*value));
        return true;
    };
    const auto range = [&](std::size_t from) -> bool {
        if (!address(from, command.first) || !address(from + 1, command.second)) return false;
        if (*command.second < *command.first) {
            command.error = verb_word + ": the end comes before the start";
            return false;
        }
        return true;
    };
    switch (command.verb) {
    case MonitorVerb::none: break;
    case MonitorVerb::registers:
        for (std::size_t i = 1; i <= args; ++i) {
            const std::string_view word = words[i];
            const std::size_t equals = word.find('=');
            const std::string name = lower(word.substr(0, equals));
            const auto limit = equals == std::string_view::npos ? std::nullopt : register_limit(name);
            if (!limit) return fail("bad register setting " + quoted(word) + " (like a=41, pc=0300, c=1)");
            const std::string_view text = word.substr(equals + 1);
            std::optional<std::uint32_t> value =
                name == "pc" ? std::optional<std::uint32_t>(parse_monitor_address(text, labels)) : parse_hex(text, *limit);
            if (!value) return fail("bad value in " + quoted(word));
            command.registers.push_back({name, static_cast<std::uint16_t>(*value)});
        }
        break;
    case MonitorVerb::step:
        if (args > 1) return usage("s [N]");
        if (args == 1) {
            const auto count = parse_hex(words[1], 0xFFFFFFFF);
            if (!count || *count == 0) return fail("bad count " + quoted(words[1]) + " (hex, at least 1)");
            command.count = *count;
        }
        break;
    case MonitorVerb::go:
        if (args != 1) return usage("g ADDR");
        address(1, command.first);
        break;
    case MonitorVerb::breakpoint:
        if (args > 1) return usage("b [ADDR]");
        if (args == 1) address(1, command.first);
        break;
    case MonitorVerb::delete_point: {
        if (args != 1) return usage("bd N");
        const auto number = parse_hex(words[1], 0xFFFF);
        if (!number) return fail("bad number " + quoted(words[1]));
        command.count = *number;
        break;
    }
    case MonitorVerb::watch:
        if (args > 2) return usage("w [ADDR [r|w|rw]]");
        if (args >= 1 && !address(1, command.first)) break;
        command.access = WATCH_READ | WATCH_WRITE;
        if (args == 2) {
            const std::string kind = lower(words[2]);
            if (kind == "r") command.access = WATCH_READ;
            else if (kind == "w") command.access = WATCH_WRITE;
            else if (kind != "rw" && kind != "wr") return fail("bad access " + quoted(words[2]) + " (r, w or rw)");
        }
        break;
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
        command.file = std::string(words[1]);
        break;
    case MonitorVerb::trace:
        if (args != 1) return usage("trace FILE | trace off");
        if (lower(words[1]) != "off") command.file = std::string(words[1]);
        break;
    case MonitorVerb::save:
        if (args != 3) return usage("save FILE START END");
        command.file = std::string(words[1]);
        range(2);
        break;
    case MonitorVerb::load:
        if (args != 2) return usage("load FILE ADDR");
        command.file = std::string(words[1]);
        address(2, command.first);
        break;
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
    return "numbers are hex ($ optional); an address may be a label\n"
           "  r                    registers and flags\n"
           "  r a=41 pc=0300 c=1   set registers (a x y sp p pc) and flags (n v b d i z c)\n"
           "  s [N]                step N instructions (1)\n"
           "  n                    step, over a JSR\n"
           "  c                    continue\n"
           "  g ADDR               continue at ADDR\n"
           "  b [ADDR]             set a breakpoint, or list breakpoints and watchpoints\n"
           "  bd N                 delete breakpoint or watchpoint N\n"
           "  w ADDR [r|w|rw]      watchpoint on reads and/or writes (rw)\n"
           "  m ADDR [END]         memory in hex and ASCII (no device action)\n"
           "  e ADDR BYTE...       enter bytes\n"
           "  f START END BYTE     fill\n"
           "  d [ADDR [END]]       disassemble (from pc)\n"
           "  l FILE               load labels (ld65 -Ln format)\n"
           "  trace FILE | off     disassembled trace to FILE\n"
           "  save FILE START END  memory to a file\n"
           "  load FILE ADDR       a file into memory\n"
           "  q                    end the run as Ctrl-C does (nothing saved)\n"
           "  x                    leave the monitor; the run goes on to its end\n"
           "  h                    this help\n"
           "Ctrl-] brings the monitor back while the program runs.\n";
}
