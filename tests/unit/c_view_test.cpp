// The C view: types laid out as cc65 lays them (read by libclang from a
// source), and values shown as C writes them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "c/c_format.hpp"
#include "c/c_source_reader.hpp"
#include "c/c_stack_depth.hpp"
#include "c/c_types.hpp"

namespace {

using c_view::Format;
using c_view::Types;

const char* const SOURCE =
    "struct item { char name[8]; unsigned char qty; unsigned int price; };\n"
    "union either { long l; unsigned char b[3]; };\n"
    "enum color { red, green = 5 };\n"
    "typedef struct item *item_ptr;\n"
    "struct item items[3];\n"
    "static long total;\n"
    "enum color paint;\n"
    "union either both;\n"
    "item_ptr cursor;\n"
    "void __fastcall__ walk(struct item *p, unsigned char n, ...) { int i; { char c; } }\n";

struct Declared {
    Types types;
    c_view::DeclaredFile file;
    std::string error;
};

const Declared& declared() {
    static const Declared* read = [] {
        auto* d = new Declared;
        // One file per process: CTest runs the rows side by side.
        const auto path = std::filesystem::temp_directory_path() /
                          ("emu6502_c_view_test_" + std::to_string(getpid()) + ".c");
        std::ofstream(path) << SOURCE;
        d->error = c_view::read_c_source(path.string(), {}, d->types, d->file);
        std::filesystem::remove(path);
        return d;
    }();
    return *read;
}

std::uint32_t global_type(const std::string& name) {
    for (const c_view::Declared& g : declared().file.globals)
        if (g.name == name) return g.type;
    return c_view::NO_TYPE;
}

struct LayoutCase {
    const char* name;
    const char* global;
    std::uint32_t size;
    const char* type;
};
void PrintTo(const LayoutCase& c, std::ostream* os) { *os << c.name; }

const LayoutCase LAYOUT_CASES[] = {
    {"StructOfCharsAndIntHasNoPadding", "items", 33, "struct item [3]"},
    {"LongIsFourBytes", "total", 4, "long"},
    {"EnumIsAnInt", "paint", 2, "enum color"},
    {"UnionIsItsLargestMember", "both", 4, "union either"},
    {"PointerThroughTypedefIsTwoBytes", "cursor", 2, "struct item *"},
};

class CLayout : public testing::TestWithParam<LayoutCase> {};

TEST_P(CLayout, AsCc65LaysItOut) {
    if (!c_view::c_reader_built()) GTEST_SKIP() << "built without libclang";
    ASSERT_EQ(declared().error, "");
    const LayoutCase& c = GetParam();
    const std::uint32_t type = global_type(c.global);
    ASSERT_NE(type, c_view::NO_TYPE);
    EXPECT_EQ(declared().types[type].size, c.size);
    EXPECT_EQ(declared().types[type].name, c.type);
}

INSTANTIATE_TEST_SUITE_P(Types, CLayout, testing::ValuesIn(LAYOUT_CASES),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CLayout, FieldsAndFunctionsAsWritten) {
    if (!c_view::c_reader_built()) GTEST_SKIP() << "built without libclang";
    const Declared& d = declared();
    const c_view::Type& item = d.types[d.types[global_type("items")].target];
    ASSERT_EQ(item.fields.size(), 3u);
    EXPECT_EQ(item.fields[1].name, "qty");
    EXPECT_EQ(item.fields[1].offset, 8u);
    EXPECT_EQ(item.fields[2].offset, 9u);
    EXPECT_EQ(d.types.find("item_ptr"), global_type("cursor"));
    EXPECT_EQ(d.types.enumerator("green"), 5);
    ASSERT_EQ(d.file.functions.size(), 1u);
    const c_view::DeclaredFunction& walk = d.file.functions[0];
    EXPECT_TRUE(walk.variadic);
    ASSERT_EQ(walk.parameters.size(), 2u);
    EXPECT_EQ(d.types[walk.parameters[1].type].name, "unsigned char");
    ASSERT_EQ(walk.locals.size(), 2u);  // the inner block's too
    EXPECT_EQ(walk.locals[1].name, "c");
}

// Values at address 0 of a small memory.
struct FormatCase {
    const char* name;
    const char* type;
    std::vector<std::uint8_t> bytes;
    Format format;
    const char* shown;
};
void PrintTo(const FormatCase& c, std::ostream* os) { *os << c.name; }

const FormatCase FORMAT_CASES[] = {
    {"IntIsSigned", "int", {0xFE, 0xFF}, Format::natural, "-2"},
    {"UnsignedIntIsNot", "unsigned int", {0xFE, 0xFF}, Format::natural, "65534"},
    {"CharShowsItsCharacter", "char", {'b'}, Format::natural, "98 'b'"},
    {"UnsignedCharIsANumber", "unsigned char", {200}, Format::natural, "200"},
    {"ControlCharacterInOctal", "char", {1}, Format::natural, "1 '\\001'"},
    {"LongFromFourBytes", "long", {0x78, 0x56, 0x34, 0x12}, Format::natural, "305419896"},
    {"HexFormat", "int", {0xFE, 0xFF}, Format::hex, "0xfffe"},
    {"DecimalFormatOfAChar", "char", {'A'}, Format::decimal, "65"},
    {"CharacterFormatOfAnInt", "int", {0x41, 0}, Format::character, "65 'A'"},
    {"CharArrayIsAString", "char [4]", {'a', 'b', 0, 'z'}, Format::natural, "\"ab\""},
    {"IntArrayInBraces", "int [3]", {1, 0, 2, 0, 3, 0}, Format::natural, "{1, 2, 3}"},
    {"HexArray", "unsigned char [2]", {10, 11}, Format::hex, "{0xa, 0xb}"},
    {"PointerWithItsType", "int *", {0xC1, 0x33}, Format::natural, "(int *) 0x33c1"},
    {"CharPointerWithItsString", "char *", {4, 0, 0, 0, 'h', 'i', 0}, Format::natural, "0x4 \"hi\""},
};

class CFormat : public testing::TestWithParam<FormatCase> {};

TEST_P(CFormat, AsCWritesIt) {
    const FormatCase& c = GetParam();
    c_view::Types types;
    std::string name = c.type;
    std::uint32_t type = types.find(name);
    if (name.ends_with(" *")) type = types.pointer_to(types.find(name.substr(0, name.size() - 2)));
    if (const auto open = name.find(" ["); open != std::string::npos)
        type = types.array_of(types.find(name.substr(0, open)), static_cast<std::uint32_t>(std::stoul(name.substr(open + 2))));
    ASSERT_NE(type, c_view::NO_TYPE);
    std::vector<std::uint8_t> memory = c.bytes;
    memory.resize(64);
    const PeekByte peek = [&](std::uint16_t address) { return address < memory.size() ? memory[address] : 0; };
    EXPECT_EQ(c_view::format_value(types, type, 0, 0, c.format, peek), c.shown);
}

INSTANTIATE_TEST_SUITE_P(Values, CFormat, testing::ValuesIn(FORMAT_CASES),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace

namespace {

// What a line pushed before its call, from its code: JSRs at 0x10 on, to
// routines named as cc65's runtime names them.
struct DepthCase {
    const char* name;
    std::vector<std::uint8_t> code;  // from 0x10; the call counted to is the last JSR
    std::optional<int> pushed;
};
void PrintTo(const DepthCase& c, std::ostream* os) { *os << c.name; }

constexpr std::uint8_t JSR = 0x20;
// The routines, by address (low byte; high byte 0x80).
const std::vector<std::pair<std::uint8_t, const char*>> ROUTINES = {
    {0x01, "pushax"}, {0x02, "pusha"}, {0x03, "pusheax"}, {0x04, "tosaddax"}, {0x05, "decsp4"},
    {0x06, "incsp2"}, {0x07, "tosmuleax"}, {0x08, "subysp"}, {0x09, "callee"}, {0x0A, "_unknown"},
};

const DepthCase DEPTH_CASES[] = {
    {"NothingBeforeTheCall", {JSR, 0x09, 0x80}, 0},
    {"ArgumentsPushed", {JSR, 0x01, 0x80, JSR, 0x02, 0x80, JSR, 0x09, 0x80}, 3},
    {"AnOperandTakenOffAgain", {JSR, 0x01, 0x80, 0xA9, 0x01, JSR, 0x04, 0x80, JSR, 0x09, 0x80}, 0},
    {"ALongOperandAndItsOperator", {JSR, 0x03, 0x80, JSR, 0x07, 0x80, JSR, 0x01, 0x80, JSR, 0x09, 0x80}, 2},
    {"RoomMadeAndGivenBack", {JSR, 0x05, 0x80, JSR, 0x06, 0x80, JSR, 0x09, 0x80}, 2},
    {"RoomByY", {0xA0, 0x06, JSR, 0x08, 0x80, JSR, 0x09, 0x80}, 6},
    {"OtherCodeBetween", {0xA5, 0x02, 0x18, 0x69, 0x03, JSR, 0x01, 0x80, JSR, 0x09, 0x80}, 2},
    {"ABranchAroundCodeOfUnknownEffect", {0xF0, 0x03, JSR, 0x0A, 0x80, JSR, 0x01, 0x80, JSR, 0x09, 0x80}, 2},
    {"AJumpOverOtherCode", {0x4C, 0x16, 0x00, JSR, 0x0A, 0x80, JSR, 0x01, 0x80, JSR, 0x09, 0x80}, 2},
    {"ACallNotReachedStraight", {0xA9, JSR, 0x09, 0x80}, std::nullopt},
    {"AnUnknownEffectGivesUp", {JSR, 0x0B, 0x80, JSR, 0x09, 0x80}, std::nullopt},
};

class CStackDepth : public testing::TestWithParam<DepthCase> {};

TEST_P(CStackDepth, CountsWhatTheLinePushed) {
    const DepthCase& c = GetParam();
    std::vector<std::uint8_t> memory(0x100, 0xEA);
    std::copy(c.code.begin(), c.code.end(), memory.begin() + 0x10);
    const PeekByte peek = [&](std::uint16_t address) { return address < memory.size() ? memory[address] : 0xEA; };
    const c_view::CallEffect effect = [](std::uint16_t target, std::optional<std::uint8_t> y) -> std::optional<int> {
        for (const auto& [low, name] : ROUTINES)
            if (target == 0x8000 + low) return c_view::runtime_effect(name, y);
        return std::nullopt;
    };
    const auto call = static_cast<std::uint16_t>(0x10 + c.code.size() - 3);
    EXPECT_EQ(c_view::pushed_before(0x10, call, peek, effect), c.pushed);
}

INSTANTIATE_TEST_SUITE_P(Lines, CStackDepth, testing::ValuesIn(DEPTH_CASES),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
