#include "c/c_format.hpp"

#include <cstdio>

namespace c_view {

namespace {
constexpr std::uint32_t MOST_ELEMENTS = 200;  // more are left as "..."
constexpr int DEEPEST = 8;

std::string hex(std::uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(value));
    return text;
}

// A character as C writes it inside quotes of `quote`.
std::string escaped(std::uint8_t c, char quote) {
    switch (c) {
    case '\n': return "\\n";
    case '\r': return "\\r";
    case '\t': return "\\t";
    case 0: return "\\000";
    case '\\': return "\\\\";
    default: break;
    }
    if (c == static_cast<std::uint8_t>(quote)) return std::string("\\") + quote;
    if (c < 0x20 || c >= 0x7F) {
        char text[8];
        std::snprintf(text, sizeof text, "\\%03o", c);
        return text;
    }
    return std::string(1, static_cast<char>(c));
}

std::uint64_t unsigned_bits(const Type& type, std::int64_t number) {
    const std::uint32_t size = type.size == 0 || type.size > 8 ? 8 : type.size;
    return size == 8 ? static_cast<std::uint64_t>(number)
                     : static_cast<std::uint64_t>(number) & ((std::uint64_t{1} << (8 * size)) - 1);
}

// A C string at `address`: up to a zero byte, at most `limit` characters.
std::string string_at(std::uint16_t address, std::uint32_t limit, const PeekByte& peek) {
    std::string text = "\"";
    std::uint32_t i = 0;
    for (; i < limit && address + i <= 0xFFFF; ++i) {
        const std::uint8_t c = peek(static_cast<std::uint16_t>(address + i));
        if (c == 0) break;
        text += escaped(c, '"');
    }
    text += '"';
    if (i == limit && limit == MOST_ELEMENTS) text += "...";
    return text;
}

class Writer {
public:
    Writer(const Types& types, Format format, const PeekByte& peek) : types_(types), format_(format), peek_(peek) {}

    std::string value(std::uint32_t id, std::optional<std::uint16_t> address, std::int64_t number, int depth) {
        const Type& type = types_[id];
        if (address && is_scalar(type)) number = read_scalar(type, *address, peek_);
        switch (type.kind) {
        case Kind::integer: return integer(type, number);
        case Kind::enumeration:
            if (format_ == Format::natural)
                for (const auto& [name, value] : type.values)
                    if (value == number) return name;
            return integer(type, number);
        case Kind::pointer: {
            const auto target = static_cast<std::uint16_t>(unsigned_bits(type, number));
            if (format_ != Format::natural) return integer(type, number);
            const Type& pointed = types_[type.target];
            if (pointed.kind == Kind::integer && pointed.is_char && target != 0)
                return hex(target) + " " + string_at(target, MOST_ELEMENTS, peek_);
            return depth == 0 ? "(" + type.name + ") " + hex(target) : hex(target);
        }
        case Kind::array: return array(type, address, depth);
        case Kind::record: return record(type, address, depth);
        case Kind::function: return "{" + type.name + "} " + (address ? hex(*address) : "?");
        case Kind::void_:
        case Kind::other: break;
        }
        if (!address) return "?";
        std::string bytes = "{";
        for (std::uint32_t i = 0; i < type.size && i < MOST_ELEMENTS; ++i)
            bytes += (i ? ", " : "") + hex(peek_(static_cast<std::uint16_t>(*address + i)));
        return bytes + "}";
    }

private:
    const Types& types_;
    Format format_;
    const PeekByte& peek_;

    std::string integer(const Type& type, std::int64_t number) {
        switch (format_) {
        case Format::hex: return hex(unsigned_bits(type, number));
        case Format::decimal: return std::to_string(number);
        case Format::character: {
            const auto c = static_cast<std::uint8_t>(number);
            return std::to_string(fit(types_[types_.char_type], number)) + " '" + escaped(c, '\'') + "'";
        }
        case Format::natural: break;
        }
        if (type.is_char) return std::to_string(number) + " '" + escaped(static_cast<std::uint8_t>(number), '\'') + "'";
        return std::to_string(number);
    }

    std::string array(const Type& type, std::optional<std::uint16_t> address, int depth) {
        if (!address) return "?";
        const Type& element = types_[type.target];
        if (element.kind == Kind::integer && element.is_char && element.size == 1 && format_ == Format::natural)
            return string_at(*address, std::min(type.count, MOST_ELEMENTS), peek_);
        if (depth >= DEEPEST) return "{...}";
        std::string text = "{";
        for (std::uint32_t i = 0; i < type.count; ++i) {
            if (i == MOST_ELEMENTS) {
                text += "...";
                break;
            }
            if (i != 0) text += ", ";
            text += value(type.target, static_cast<std::uint16_t>(*address + i * element.size), 0, depth + 1);
        }
        return text + "}";
    }

    std::string record(const Type& type, std::optional<std::uint16_t> address, int depth) {
        if (!address) return "?";
        if (depth >= DEEPEST) return "{...}";
        std::string text = "{";
        for (std::size_t i = 0; i < type.fields.size(); ++i) {
            const Field& field = type.fields[i];
            if (i != 0) text += ", ";
            text += field.name + " = " +
                    value(field.type, static_cast<std::uint16_t>(*address + field.offset), 0, depth + 1);
        }
        return text + "}";
    }
};
}  // namespace

std::int64_t read_scalar(const Type& type, std::uint16_t address, const PeekByte& peek) {
    std::uint64_t bits = 0;
    const std::uint32_t size = type.size > 8 ? 8 : type.size;
    for (std::uint32_t i = 0; i < size; ++i)
        bits |= std::uint64_t{peek(static_cast<std::uint16_t>(address + i))} << (8 * i);
    return fit(type, static_cast<std::int64_t>(bits));
}

std::int64_t fit(const Type& type, std::int64_t number) {
    const std::uint32_t size = type.size == 0 || type.size >= 8 ? 8 : type.size;
    if (size == 8) return number;
    const std::uint64_t bits = static_cast<std::uint64_t>(number) & ((std::uint64_t{1} << (8 * size)) - 1);
    const std::uint64_t sign = std::uint64_t{1} << (8 * size - 1);
    if (type.is_signed && (bits & sign) != 0) return static_cast<std::int64_t>(bits) - static_cast<std::int64_t>(sign << 1);
    return static_cast<std::int64_t>(bits);
}

std::string format_value(const Types& types, std::uint32_t type, std::optional<std::uint16_t> address,
                         std::int64_t number, Format format, const PeekByte& peek) {
    return Writer(types, format, peek).value(type, address, number, 0);
}

}  // namespace c_view
