#include "debug/c_values.hpp"

#include <cstdio>
#include <vector>

using debug_info::CVariable;
using debug_info::Storage;
using debug_info::TypeInfo;

namespace {
constexpr std::size_t MAX_SHOWN_BYTES = 64;

std::uint64_t little_endian(std::span<const std::uint8_t> bytes, bool big_endian) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < bytes.size() && i < 8; ++i)
        value |= std::uint64_t{bytes[big_endian ? bytes.size() - 1 - i : i]} << (8 * i);
    return value;
}

std::string integer(std::uint64_t value, std::size_t size) {
    char text[64];
    const int digits = static_cast<int>(size * 2);
    const std::uint64_t sign = std::uint64_t{1} << (8 * size - 1);
    if ((value & sign) != 0) {
        const auto negative = static_cast<long long>(value) - static_cast<long long>(sign << 1);
        std::snprintf(text, sizeof text, "%llu (%lld, $%0*llX)", static_cast<unsigned long long>(value), negative,
                      digits, static_cast<unsigned long long>(value));
    } else {
        std::snprintf(text, sizeof text, "%llu ($%0*llX)", static_cast<unsigned long long>(value), digits,
                      static_cast<unsigned long long>(value));
    }
    return text;
}

std::string character(std::uint8_t value) {
    std::string text = integer(value, 1);
    if (value >= 0x20 && value < 0x7F) {
        text += " '";
        if (value == '\'' || value == '\\') text += '\\';
        text += static_cast<char>(value);
        text += '\'';
    }
    return text;
}

std::string bytes_and_text(std::span<const std::uint8_t> bytes) {
    std::string text;
    char hex[4];
    for (const std::uint8_t b : bytes) {
        std::snprintf(hex, sizeof hex, "%s%02X", text.empty() ? "" : " ", b);
        text += hex;
    }
    // A C string: printable characters up to a zero byte.
    std::string string;
    for (const std::uint8_t b : bytes) {
        if (b == 0) break;
        if (b < 0x20 || b >= 0x7F) return text;
        if (b == '"' || b == '\\') string += '\\';
        string += static_cast<char>(b);
    }
    if (!string.empty()) text += " \"" + string + "\"";
    return text;
}
}  // namespace

std::optional<std::uint16_t> c_frame_base(const debug_info::DebugInfo& info, const debug_info::Function& function,
                                          std::uint16_t pc, const PeekByte& peek) {
    const auto sp = info.c_stack_pointer();
    if (!sp || pc == function.entry || function.scope == debug_info::NONE) return std::nullopt;
    const auto stack = static_cast<std::uint16_t>(peek(*sp) | peek(static_cast<std::uint16_t>(*sp + 1)) << 8);
    return static_cast<std::uint16_t>(stack + info.c_frame_size(function.scope));
}

std::optional<std::uint16_t> c_variable_address(const debug_info::DebugInfo& info, const CVariable& variable,
                                                std::optional<std::uint16_t> frame_base) {
    switch (variable.storage) {
    case Storage::automatic:
        if (!frame_base) return std::nullopt;
        return static_cast<std::uint16_t>(*frame_base + variable.offset);
    case Storage::reg: {
        const debug_info::Symbol* bank = info.symbol("regbank");
        if (bank == nullptr) return std::nullopt;
        return static_cast<std::uint16_t>(*bank->value + static_cast<std::uint32_t>(variable.offset));
    }
    case Storage::static_:
    case Storage::external: return static_cast<std::uint16_t>(variable.address);
    }
    return std::nullopt;
}

std::string format_c_value(const TypeInfo& type, std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) return "?";
    switch (type.kind) {
    case TypeInfo::Kind::pointer: {
        char text[16];
        std::snprintf(text, sizeof text, "$%04llX", static_cast<unsigned long long>(little_endian(bytes, false)));
        return text;
    }
    case TypeInfo::Kind::array:
        if (type.element_size > 1 && type.element_size <= 4 && bytes.size() % type.element_size == 0) {
            std::string text = "{";
            for (std::size_t i = 0; i < bytes.size(); i += type.element_size) {
                if (i != 0) text += ", ";
                const auto element = bytes.subspan(i, type.element_size);
                const std::string value = integer(little_endian(element, type.big_endian), element.size());
                text += value.substr(0, value.find(' '));
            }
            return text + "}";
        }
        return bytes_and_text(bytes);
    case TypeInfo::Kind::integer:
        if (bytes.size() <= 8) return integer(little_endian(bytes, type.big_endian), bytes.size());
        break;
    case TypeInfo::Kind::unknown: break;
    }
    switch (bytes.size()) {
    case 1: return character(bytes[0]);
    case 2:
    case 4: return integer(little_endian(bytes, false), bytes.size());
    default: return bytes_and_text(bytes);
    }
}

std::string read_c_variable(const debug_info::DebugInfo& info, const CVariable& variable,
                            std::optional<std::uint16_t> frame_base, const PeekByte& peek) {
    const auto address = c_variable_address(info, variable, frame_base);
    if (!address || variable.size == 0) return "?";
    std::vector<std::uint8_t> bytes(std::min<std::size_t>(variable.size, MAX_SHOWN_BYTES));
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = peek(static_cast<std::uint16_t>(*address + i));
    std::string text = format_c_value(variable.type, bytes);
    if (variable.size > bytes.size()) text += " ...";
    return text;
}
