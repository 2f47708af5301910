// A C function's signature, for calling it with C arguments: read from a
// prototype ("long scale(int value, unsigned char factor)"), as a test
// gives it or as the function's source file declares it. cc65's debug
// information says which parameters there are, but not their types.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tester {

// An integer as test files and C calls write it: decimal, 0x or $ hex, %
// binary when `binary`, a leading minus, at most `max_digits` digits, or a
// character like 'A'; nullopt for anything else, too large a number included.
[[nodiscard]] std::optional<std::int64_t> parse_integer(std::string_view text, bool binary, std::size_t max_digits);

struct CType {
    std::uint32_t size = 2;  // 0: void; 1 char, 2 int and pointers, 4 long
    bool is_signed = true;
};

struct CSignature {
    CType result;
    std::vector<CType> parameters;
    bool variadic = false;
};

// The type named by the words before a declarator ("unsigned char",
// "const char *", "uint16_t"); nullopt for a type it does not know (a
// struct passed by value, a typedef of the program's own).
[[nodiscard]] std::optional<CType> c_type_of(std::string_view words);

// The prototype of `name` in `text` (a declaration or a definition's
// head, possibly over several lines); nullopt when there is none, or a
// type in it is unknown.
[[nodiscard]] std::optional<CSignature> find_c_signature(std::string_view text, std::string_view name);

// "sum(3, 4)": the function's name and its arguments as integers (decimal,
// 0x or $ hex, 'c' characters, a leading minus); "" on success, else what
// is wrong.
struct CCallText {
    std::string function;
    std::vector<std::int64_t> arguments;
};
[[nodiscard]] std::string parse_c_call(std::string_view text, CCallText& call);

}  // namespace tester
