// C types as cc65 lays them out (char 1 byte and unsigned unless said
// otherwise, short and int 2, long 4, pointers 2, no padding), in one table
// that every value refers into by index.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace c_view {

inline constexpr std::uint32_t NO_TYPE = UINT32_MAX;

enum class Kind : std::uint8_t { void_, integer, enumeration, pointer, array, record, function, other };

struct Field {
    std::string name;
    std::uint32_t type = NO_TYPE;
    std::uint32_t offset = 0;  // bytes from the start of the struct
};

struct Type {
    Kind kind = Kind::other;
    std::string name;  // as C writes it: "unsigned char", "struct item", "char *", "int [3]"
    std::uint32_t size = 0;
    bool is_signed = false;
    bool is_char = false;            // shown with its character
    std::uint32_t target = NO_TYPE;  // a pointer's target, an array's element
    std::uint32_t count = 0;         // an array's elements
    std::vector<Field> fields;       // struct and union
    std::vector<std::pair<std::string, std::int64_t>> values;  // enum
};

class Types {
public:
    Types();  // with the base types of cc65

    [[nodiscard]] const Type& operator[](std::uint32_t id) const { return types_[id]; }
    // A new type, or the one already known by `type.name` (a struct being
    // read is known by name before its fields are).
    std::uint32_t add(Type type);
    [[nodiscard]] Type& edit(std::uint32_t id) { return types_[id]; }
    [[nodiscard]] std::uint32_t pointer_to(std::uint32_t target);
    [[nodiscard]] std::uint32_t array_of(std::uint32_t element, std::uint32_t count);
    // A base type, "struct NAME", "union NAME", "enum NAME" or a typedef's
    // name; NO_TYPE when there is none by that name.
    [[nodiscard]] std::uint32_t find(std::string_view name) const;
    void add_typedef(std::string name, std::uint32_t type) { named_.emplace(std::move(name), type); }
    [[nodiscard]] bool is_typedef(std::string_view name) const;
    // An enum's constant by its name.
    [[nodiscard]] std::optional<std::int64_t> enumerator(std::string_view name) const;

    // The integer type of `size` bytes: 1 unsigned char, 2 int, 4 long.
    [[nodiscard]] std::uint32_t integer(std::uint32_t size, bool is_signed) const;

    // The types every expression needs.
    std::uint32_t void_type = 0, char_type = 0, int_type = 0, unsigned_type = 0, long_type = 0, unsigned_long_type = 0;

private:
    std::vector<Type> types_;
    std::map<std::string, std::uint32_t, std::less<>> named_;
    std::map<std::string, std::int64_t, std::less<>> enumerators_;
};

[[nodiscard]] inline bool is_scalar(const Type& type) {
    return type.kind == Kind::integer || type.kind == Kind::enumeration || type.kind == Kind::pointer;
}

}  // namespace c_view
