#include "inspect/check_settings.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "base/text.hpp"
#include "host/files.hpp"

namespace {
std::optional<AddressSpan> parse_span(std::string_view text) {
    const std::size_t dash = text.find('-');
    const std::string first(text.substr(0, dash));
    const auto from = parse_address_option(first.c_str());
    if (!from) return std::nullopt;
    if (dash == std::string_view::npos) return AddressSpan{*from, *from};
    const std::string second(text.substr(dash + 1));
    const auto to = parse_address_option(second.c_str());
    if (!to || *to < *from) return std::nullopt;
    return AddressSpan{*from, *to};
}

// A place by the debug information's name: a function's bytes, or a label.
std::optional<AddressSpan> named_span(std::string_view name, const debug_info::DebugInfo* info) {
    if (info == nullptr) return std::nullopt;
    if (const auto function = info->function(name); function && function->range.end > function->range.start)
        return AddressSpan{static_cast<u16>(function->range.start), static_cast<u16>(function->range.end - 1)};
    if (const debug_info::Symbol* symbol = info->symbol(name); symbol && symbol->value && *symbol->value <= 0xFFFF) {
        const auto at = static_cast<u16>(*symbol->value);
        const std::uint32_t size = symbol->size.value_or(1);
        return AddressSpan{at, static_cast<u16>(std::min<std::uint32_t>(0xFFFF, at + (size == 0 ? 0 : size - 1)))};
    }
    return std::nullopt;
}
}  // namespace

std::string turn_off_kinds(const char* text, CheckSet& kinds) {
    for (const std::string_view word : split_words(text != nullptr ? text : "", ",")) {
        const auto kind = check_kind_named(word);
        if (!kind) {
            std::string known;
            for (const CheckKindInfo& info : CHECK_KINDS) known += (known.empty() ? "" : ", ") + std::string(info.name);
            return "--check-off: no check named " + quoted_text(word) + " (the checks: " + known + ")";
        }
        kinds.set(*kind, false);
    }
    return {};
}

std::string parse_protect(const char* text, std::vector<AddressSpan>& out) {
    const auto words = split_words(text != nullptr ? text : "", ",");
    if (words.empty()) return "--protect needs a range of addresses, like 0200-02FF";
    for (const std::string_view word : words) {
        const auto span = parse_span(word);
        if (!span) return "--protect: " + quoted_text(word) + " is no address or range (like C000 or 0200-02FF)";
        out.push_back(*span);
    }
    return {};
}

std::string load_suppressions(const char* path, const debug_info::DebugInfo* info, std::vector<Suppression>& out) {
    std::FILE* file = host_open_plain_file(path);
    const std::string named = "suppression file " + quoted_text(path);
    if (file == nullptr) return "can't read " + named + ": " + std::strerror(errno);
    std::string fault;
    std::string line;
    unsigned number = 0;
    int c = 0;
    while (fault.empty() && c != EOF) {
        line.clear();
        while ((c = std::fgetc(file)) != EOF && c != '\n') line += static_cast<char>(c);
        ++number;
        const std::size_t hash = line.find('#');
        const auto words = split_words(std::string_view(line).substr(0, hash), " \t\r");
        if (words.empty()) continue;
        const std::string at = named + " line " + std::to_string(number) + ": ";
        if (words.size() != 2) {
            fault = at + "needs a check's name (or *) and a place, like 'return 0234'";
            break;
        }
        Suppression s;
        if (words[0] != "*") {
            s.kind = check_kind_named(words[0]);
            if (!s.kind) {
                fault = at + "no check named " + quoted_text(words[0]);
                break;
            }
        }
        auto span = parse_span(words[1]);
        if (!span) span = named_span(words[1], info);
        if (!span) {
            fault = at + quoted_text(words[1]) + " is no address, range" + (info != nullptr ? ", function or label" : "") +
                    (info == nullptr ? " (names need the debug information)" : "");
            break;
        }
        s.span = *span;
        out.push_back(s);
    }
    if (fault.empty() && std::ferror(file) != 0) fault = "can't read " + named + ": " + std::strerror(errno);
    std::fclose(file);
    return fault;
}
