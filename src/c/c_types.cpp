#include "c/c_types.hpp"

namespace c_view {

namespace {
Type integer_type(std::string name, std::uint32_t size, bool is_signed, bool is_char = false) {
    Type type;
    type.kind = Kind::integer;
    type.name = std::move(name);
    type.size = size;
    type.is_signed = is_signed;
    type.is_char = is_char;
    return type;
}
}  // namespace

Types::Types() {
    Type none;
    none.kind = Kind::void_;
    none.name = "void";
    void_type = add(none);
    // cc65's plain char is unsigned.
    char_type = add(integer_type("char", 1, false, true));
    // signed and unsigned char are cc65's byte-sized numbers: shown as numbers.
    add(integer_type("signed char", 1, true));
    add(integer_type("unsigned char", 1, false));
    add(integer_type("short", 2, true));
    add(integer_type("unsigned short", 2, false));
    int_type = add(integer_type("int", 2, true));
    unsigned_type = add(integer_type("unsigned int", 2, false));
    long_type = add(integer_type("long", 4, true));
    unsigned_long_type = add(integer_type("unsigned long", 4, false));
    add(integer_type("_Bool", 1, false));
    // The other spellings of the same types.
    for (const auto& [alias, name] : std::initializer_list<std::pair<const char*, const char*>>{
             {"unsigned", "unsigned int"}, {"signed", "int"}, {"signed int", "int"}, {"short int", "short"},
             {"signed short", "short"}, {"unsigned short int", "unsigned short"}, {"long int", "long"},
             {"signed long", "long"}, {"unsigned long int", "unsigned long"}, {"signed short int", "short"},
             {"signed long int", "long"}})
        named_.emplace(alias, named_.find(name)->second);
}

std::uint32_t Types::add(Type type) {
    if (const auto known = named_.find(type.name); known != named_.end()) return known->second;
    const auto id = static_cast<std::uint32_t>(types_.size());
    named_.emplace(type.name, id);
    for (const auto& [name, value] : type.values) enumerators_.emplace(name, value);
    types_.push_back(std::move(type));
    return id;
}

std::uint32_t Types::pointer_to(std::uint32_t target) {
    Type type;
    type.kind = Kind::pointer;
    const std::string& of = types_[target].name;
    // "char *", "char **", and for an array's or a function's: as written in C, roughly.
    type.name = of.ends_with('*') ? of + "*" : of + " *";
    type.size = 2;
    type.target = target;
    return add(std::move(type));
}

std::uint32_t Types::array_of(std::uint32_t element, std::uint32_t count) {
    Type type;
    type.kind = Kind::array;
    type.name = types_[element].name + " [" + std::to_string(count) + "]";
    type.size = types_[element].size * count;
    type.target = element;
    type.count = count;
    return add(std::move(type));
}

std::uint32_t Types::find(std::string_view name) const {
    const auto known = named_.find(name);
    return known == named_.end() ? NO_TYPE : known->second;
}

std::optional<std::int64_t> Types::enumerator(std::string_view name) const {
    const auto known = enumerators_.find(name);
    if (known == enumerators_.end()) return std::nullopt;
    return known->second;
}

bool Types::is_typedef(std::string_view name) const {
    const auto known = named_.find(name);
    return known != named_.end() && types_[known->second].name != name;
}

std::uint32_t Types::integer(std::uint32_t size, bool is_signed) const {
    switch (size) {
    case 1: return is_signed ? find("signed char") : find("unsigned char");
    case 4: return is_signed ? long_type : unsigned_long_type;
    default: return is_signed ? int_type : unsigned_type;
    }
}

}  // namespace c_view
