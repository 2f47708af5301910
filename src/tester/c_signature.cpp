#include "tester/c_signature.hpp"

#include <cctype>
#include <charconv>
#include <regex>

namespace tester {

std::optional<std::int64_t> parse_integer(std::string_view text, bool binary, std::size_t max_digits) {
    if (text.size() == 3 && text.front() == '\'' && text.back() == '\'') return static_cast<unsigned char>(text[1]);
    const bool negative = !text.empty() && text.front() == '-';
    if (negative) text.remove_prefix(1);
    int base = 10;
    if (text.starts_with("0x") || text.starts_with("0X")) {
        base = 16;
        text.remove_prefix(2);
    } else if (text.starts_with('$')) {
        base = 16;
        text.remove_prefix(1);
    } else if (binary && text.starts_with('%')) {
        base = 2;
        text.remove_prefix(1);
    }
    if (text.empty() || text.size() > max_digits) return std::nullopt;
    std::uint64_t magnitude = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), magnitude, base);
    if (error != std::errc() || end != text.data() + text.size() || magnitude > INT64_MAX) return std::nullopt;
    const auto n = static_cast<std::int64_t>(magnitude);
    return negative ? -n : n;
}
namespace {

std::string_view trim(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
    return text;
}

bool is_identifier_char(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

// The words of a type, pointer stars as words of their own.
std::vector<std::string> words_of(std::string_view text) {
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] == '*') {
            words.emplace_back("*");
            ++i;
        } else if (is_identifier_char(text[i])) {
            std::size_t end = i;
            while (end < text.size() && is_identifier_char(text[end])) ++end;
            words.emplace_back(text.substr(i, end - i));
            i = end;
        } else {
            ++i;
        }
    }
    return words;
}

// The standard typedefs a kit program meets, by size and sign.
struct Typedef {
    const char* name;
    CType type;
};
constexpr Typedef TYPEDEFS[] = {
    {"int8_t", {1, true}},    {"uint8_t", {1, false}},  {"int16_t", {2, true}},  {"uint16_t", {2, false}},
    {"int32_t", {4, true}},   {"uint32_t", {4, false}}, {"size_t", {2, false}},  {"ssize_t", {2, true}},
    {"time_t", {4, false}},   {"off_t", {4, true}},     {"clock_t", {4, false}}, {"clockid_t", {1, false}},
    {"ptrdiff_t", {2, true}}, {"intptr_t", {2, true}},  {"uintptr_t", {2, false}},
};

bool is_type_word(const std::string& word) {
    static constexpr const char* KEYWORDS[] = {"*", "char", "int", "long", "short", "unsigned", "signed", "void"};
    for (const char* k : KEYWORDS)
        if (word == k) return true;
    for (const Typedef& known : TYPEDEFS)
        if (word == known.name) return true;
    return false;
}

}  // namespace

std::optional<CType> c_type_of(std::string_view text) {
    const std::vector<std::string> words = words_of(text);
    CType type{2, true};
    bool any = false, is_char = false, is_void = false, is_unsigned = false;
    int longs = 0;
    for (const std::string& word : words) {
        if (word == "*") return CType{2, false};  // any pointer
        if (word == "const" || word == "volatile" || word == "register" || word == "static" || word == "extern" ||
            word == "__fastcall__" || word == "fastcall" || word == "__cdecl__" || word == "cdecl" || word == "inline")
            continue;
        any = true;
        if (word == "unsigned") is_unsigned = true;
        else if (word == "signed") is_unsigned = false;
        else if (word == "char") is_char = true;
        else if (word == "long") ++longs;
        else if (word == "void") is_void = true;
        else if (word == "short" || word == "int") {
        } else {
            for (const Typedef& known : TYPEDEFS)
                if (word == known.name) return known.type;
            return std::nullopt;
        }
    }
    if (!any) return std::nullopt;
    if (is_void) return CType{0, false};
    // cc65's plain char is unsigned.
    if (is_char) return CType{1, !is_unsigned && text.find("signed") != std::string_view::npos};
    type.size = longs > 0 ? 4 : 2;
    type.is_signed = !is_unsigned;
    return type;
}

std::optional<CSignature> find_c_signature(std::string_view text, std::string_view name) {
    // The name, then its parameter list: the type words before it run back
    // to the previous ';', '}', '{', '#' line or comment's end.
    const std::regex head("(^|[;}{/\\n])([^;}{/#(]*?)\\b" + std::string(name) + "\\s*\\(([^)]*)\\)");
    std::match_results<std::string_view::const_iterator> match;
    if (!std::regex_search(text.begin(), text.end(), match, head)) return std::nullopt;
    CSignature signature;
    const auto result = c_type_of(trim(std::string_view(&*match[2].first, static_cast<std::size_t>(match[2].length()))));
    if (!result) return std::nullopt;
    signature.result = *result;
    const std::string parameters = match[3].str();
    if (trim(parameters) == "void" || trim(parameters).empty()) return signature;
    std::size_t start = 0;
    while (start <= parameters.size()) {
        std::size_t comma = parameters.find(',', start);
        if (comma == std::string::npos) comma = parameters.size();
        std::string_view parameter = trim(std::string_view(parameters).substr(start, comma - start));
        start = comma + 1;
        if (parameter == "...") {
            signature.variadic = true;
            break;
        }
        // Drop the parameter's own name: a last word that names no type.
        const std::vector<std::string> words = words_of(parameter);
        std::string_view type_text = parameter;
        if (words.size() > 1 && !is_type_word(words.back())) type_text = parameter.substr(0, parameter.rfind(words.back()));
        const auto type = c_type_of(type_text);
        if (!type || type->size == 0) return std::nullopt;
        signature.parameters.push_back(*type);
    }
    return signature;
}

std::string parse_c_call(std::string_view text, CCallText& call) {
    text = trim(text);
    const std::size_t open = text.find('(');
    if (open == std::string_view::npos || text.back() != ')') return "not a call like \"sum(3, 4)\"";
    const std::string_view name = trim(text.substr(0, open));
    if (name.empty() || std::isdigit(static_cast<unsigned char>(name.front())) ||
        !std::all_of(name.begin(), name.end(), is_identifier_char))
        return std::string("'").append(name).append("' is not a C function's name");
    call.function = std::string(name);
    std::string_view rest = trim(text.substr(open + 1, text.size() - open - 2));
    while (!rest.empty()) {
        std::size_t comma = rest.find(',');
        // A character constant may hold a comma.
        if (rest.front() == '\'' && rest.size() >= 3 && rest[2] == '\'') comma = rest.find(',', 3);
        const std::string_view item = trim(rest.substr(0, comma));
        rest = comma == std::string_view::npos ? std::string_view() : trim(rest.substr(comma + 1));
        if (comma != std::string_view::npos && rest.empty()) return "an argument is missing after the last comma";
        const std::optional<std::int64_t> value = parse_integer(item, false, 10);
        if (!value) return "argument '" + std::string(item) + "' is not an integer or a character like 'A'";
        call.arguments.push_back(*value);
    }
    return "";
}

}  // namespace tester
