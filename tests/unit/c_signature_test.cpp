// The test runner's reading of C prototypes and calls: the types that
// decide how many bytes each argument takes on the C stack, and how the
// result reads back.
#ifdef EMU6502_HAVE_TESTER
#include <gtest/gtest.h>

#include "tester/c_signature.hpp"

namespace {

using tester::CType;

struct SignatureCase {
    const char* name;
    const char* text;
    const char* function;
    bool found;
    CType result;
    std::vector<std::uint32_t> sizes;
    bool variadic = false;
};

const SignatureCase SIGNATURES[] = {
    {"TwoInts", "int sum(int a, int b)\n{", "sum", true, {2, true}, {2, 2}},
    {"LongAndUnsignedChar", "long scale(long value, unsigned char factor)", "scale", true, {4, true}, {4, 1}},
    {"PlainCharIsUnsigned", "char first(const char* text);", "first", true, {1, false}, {2}},
    {"SignedChar", "signed char delta(void)", "delta", true, {1, true}, {}},
    {"PointerResult", "char* __fastcall__ find(char* s, unsigned n)", "find", true, {2, false}, {2, 2}},
    {"Typedefs", "time_t __fastcall__ stamp(uint8_t day, size_t n, off_t at)", "stamp", true, {4, false}, {1, 2, 4}},
    {"VoidResultOverLines", "static void\nput(unsigned long x,\n    int y)", "put", true, {0, false}, {4, 2}},
    {"UnnamedParameters", "int twice(int, unsigned char)", "twice", true, {2, true}, {2, 1}},
    {"Variadic", "int open(const char* name, int flags, ...)", "open", true, {2, true}, {2, 2}, true},
    {"AfterAComment", "/* helper */ unsigned u(void) { return 1; }", "u", true, {2, false}, {}},
    {"NotAPrefixOfAnotherName", "int summary(int a);", "sum", false, {}, {}},
    {"UnknownTypedef", "point move(point p)", "move", false, {}, {}},
    {"StructByValue", "int area(struct box b)", "area", false, {}, {}},
};

class ParsedSignature : public testing::TestWithParam<SignatureCase> {};

TEST_P(ParsedSignature, ReadsTheTypes) {
    const SignatureCase& c = GetParam();
    const auto found = tester::find_c_signature(c.text, c.function);
    ASSERT_EQ(found.has_value(), c.found);
    if (!found) return;
    EXPECT_EQ(found->result.size, c.result.size);
    EXPECT_EQ(found->result.is_signed, c.result.is_signed);
    std::vector<std::uint32_t> sizes;
    for (const CType& p : found->parameters) sizes.push_back(p.size);
    EXPECT_EQ(sizes, c.sizes);
    EXPECT_EQ(found->variadic, c.variadic);
}

INSTANTIATE_TEST_SUITE_P(Rows, ParsedSignature, testing::ValuesIn(SIGNATURES),
                         [](const testing::TestParamInfo<SignatureCase>& info) { return info.param.name; });

struct CallCase {
    const char* name;
    const char* text;
    const char* error;  // "" when it reads
    const char* function;
    std::vector<std::int64_t> arguments;
};

const CallCase CALLS[] = {
    {"Plain", "sum(3, 4)", "", "sum", {3, 4}},
    {"NoArguments", " main ( ) ", "", "main", {}},
    {"HexNegativeAndCharacters", "f($FF, 0x10, -7, 'A', ',')", "", "f", {255, 16, -7, 65, 44}},
    {"MissingArgument", "sum(3, )", "an argument is missing after the last comma", "", {}},
    {"NotANumber", "sum(3, x)", "argument 'x' is not an integer or a character like 'A'", "", {}},
    {"NotACall", "sum", "not a call like \"sum(3, 4)\"", "", {}},
    {"BadName", "3d(1)", "'3d' is not a C function's name", "", {}},
};

class ParsedCall : public testing::TestWithParam<CallCase> {};

TEST_P(ParsedCall, ReadsNameAndArguments) {
    const CallCase& c = GetParam();
    tester::CCallText call;
    EXPECT_EQ(tester::parse_c_call(c.text, call), c.error);
    if (*c.error != '\0') return;
    EXPECT_EQ(call.function, c.function);
    EXPECT_EQ(call.arguments, c.arguments);
}

INSTANTIATE_TEST_SUITE_P(Rows, ParsedCall, testing::ValuesIn(CALLS),
                         [](const testing::TestParamInfo<CallCase>& info) { return info.param.name; });

}  // namespace
#endif
