// The linker's debug information, read from the files the kit wrote for
// the examples (examples/*.dbg, rebuilt byte for byte by
// scripts/build-examples.sh), and from damaged copies of them.
#include "debug/debug_info.hpp"

#include "debug/c_values.hpp"
#include "debug/source_view.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <array>
#include <map>
#include <optional>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

using debug_info::DebugInfo;
using debug_info::LineKind;

std::string example_path(const std::string& name) { return std::string(EMU6502_SOURCE_DIR) + "/examples/" + name; }

std::string read_text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::uint8_t> read_bytes(const std::string& path) {
    const std::string text = read_text(path);
    return std::vector<std::uint8_t>(text.begin(), text.end());
}

// Parsed once per file: the C ones take a while under the sanitizers.
const DebugInfo& example(const std::string& name) {
    static std::map<std::string, DebugInfo> cache;
    auto found = cache.find(name);
    if (found == cache.end()) {
        found = cache.emplace(name, DebugInfo()).first;
        const std::string error = debug_info::load_file(example_path(name + ".dbg").c_str(), found->second);
        EXPECT_EQ(error, "") << name;
    }
    return found->second;
}

std::string file_name(const DebugInfo& info, std::uint32_t file) { return info.files()[file].name; }

// ---- every example's file is sound and fits its image -------------------------------

TEST(DebugInfoExamples, EveryExampleParsesAndFitsItsImage) {
    for (const char* name : {"hello", "echo", "clock", "files", "notes", "c_hello", "c_greet", "c_devices"}) {
        SCOPED_TRACE(name);
        const DebugInfo& info = example(name);
        EXPECT_FALSE(info.lines().empty());
        EXPECT_EQ(info.check_image(read_bytes(example_path(std::string(name) + ".bin")), 0x0200), "");
    }
}

// ---- address to source line -------------------------------------------------------------

struct LocationCase {
    const char* name;
    const char* example;
    std::uint16_t address;
    const char* file;  // "" when the address has no line
    std::uint32_t line;
    LineKind kind;
};
void PrintTo(const LocationCase& c, std::ostream* os) { *os << c.name; }

const LocationCase LOCATION_CASES[] = {
    {"c_function_first_line", "c_greet", 0x022E, "c_greet.c", 19, LineKind::c},
    // Inside a C line the C line wins over the compiler's assembly lines.
    {"c_line_middle", "c_greet", 0x02A0, "c_greet.c", 30, LineKind::c},
    {"c_for_loop_second_part", "c_greet", 0x02B5, "c_greet.c", 29, LineKind::c},
    {"kit_start_up_in_assembly", "c_greet", 0x0200, "../sdk/crt0.s", 15, LineKind::assembly},
    {"assembly_line", "notes", 0x03E3, "notes.s", 284, LineKind::assembly},
    // A macro's expansion shows the line that used the macro.
    {"macro_shows_its_use", "notes", 0x02B5, "notes.s", 118, LineKind::assembly},
    {"smallest_example", "hello", 0x0200, "hello.s", 6, LineKind::assembly},
    {"no_code_there", "c_greet", 0xF000, "", 0, LineKind::assembly},
    {"device_page", "notes", 0xFF01, "", 0, LineKind::assembly},
};

class DebugInfoLocation : public ::testing::TestWithParam<LocationCase> {};

TEST_P(DebugInfoLocation, FindsTheLine) {
    const LocationCase& c = GetParam();
    const DebugInfo& info = example(c.example);
    const auto where = info.location(c.address);
    if (*c.file == '\0') {
        EXPECT_FALSE(where.has_value());
        return;
    }
    ASSERT_TRUE(where.has_value());
    EXPECT_EQ(file_name(info, where->file), c.file);
    EXPECT_EQ(where->line, c.line);
    EXPECT_EQ(where->kind, c.kind);
    EXPECT_LE(where->span_start, c.address);
    EXPECT_GT(where->span_start + where->span_size, c.address);
}

INSTANTIATE_TEST_SUITE_P(Examples, DebugInfoLocation, ::testing::ValuesIn(LOCATION_CASES),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- FILE:LINE to addresses ---------------------------------------------------------------

struct LineCase {
    const char* name;
    const char* example;
    const char* file;
    std::uint32_t line;
    std::vector<std::uint16_t> addresses;
    std::optional<std::uint32_t> line_with_code;
};
void PrintTo(const LineCase& c, std::ostream* os) { *os << c.name; }

const LineCase LINE_CASES[] = {
    {"c_statement", "c_greet", "c_greet.c", 20, {0x0238}, 20},
    // A for loop's parts lie apart: each is a place to stop.
    {"c_for_loop_has_two_places", "c_greet", "c_greet.c", 29, {0x028F, 0x02B0}, 29},
    {"c_line_without_code", "c_greet", "c_greet.c", 14, {}, 19},
    {"recorded_name", "c_greet", "../sdk/crt0.s", 15, {0x0200}, 15},
    {"base_name", "c_greet", "crt0.s", 15, {0x0200}, 15},
    {"other_folder_is_no_match", "c_greet", "sdk/crt0.s", 15, {}, std::nullopt},
    {"unknown_file", "c_greet", "nosuch.c", 1, {}, std::nullopt},
    {"assembly_line", "notes", "notes.s", 284, {0x03E3}, 284},
    {"past_the_last_line", "hello", "hello.s", 1000, {}, std::nullopt},
};

class DebugInfoLines : public ::testing::TestWithParam<LineCase> {};

TEST_P(DebugInfoLines, FindsTheAddresses) {
    const LineCase& c = GetParam();
    const DebugInfo& info = example(c.example);
    EXPECT_EQ(info.addresses(c.file, c.line), c.addresses);
    EXPECT_EQ(info.line_with_code(c.file, c.line), c.line_with_code);
}

INSTANTIATE_TEST_SUITE_P(Examples, DebugInfoLines, ::testing::ValuesIn(LINE_CASES),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- functions and scopes -----------------------------------------------------------------

struct FunctionCase {
    const char* name;
    const char* example;
    const char* function;
    bool found;
    std::uint32_t entry;
    std::uint32_t end;  // one past the last byte
};
void PrintTo(const FunctionCase& c, std::ostream* os) { *os << c.name; }

const FunctionCase FUNCTION_CASES[] = {
    {"c_function_by_c_name", "c_greet", "main", true, 0x022E, 0x02C5},
    {"c_function_by_assembly_name", "c_greet", "_main", true, 0x022E, 0x02C5},
    {"assembly_routine_called_from_c", "c_greet", "emu_puts", true, 0x02E2, 0x02E3},
    {"assembly_label", "notes", "puts", true, 0x03D9, 0x03DB},
    {"unknown", "c_greet", "nosuch", false, 0, 0},
    {"equate_is_no_function", "notes", "CON_OUT", false, 0, 0},
};

class DebugInfoFunctions : public ::testing::TestWithParam<FunctionCase> {};

TEST_P(DebugInfoFunctions, FindsTheRange) {
    const FunctionCase& c = GetParam();
    const auto f = example(c.example).function(c.function);
    ASSERT_EQ(f.has_value(), c.found);
    if (!c.found) return;
    EXPECT_EQ(f->entry, c.entry);
    EXPECT_EQ(f->range.end, c.end);
}

INSTANTIATE_TEST_SUITE_P(Examples, DebugInfoFunctions, ::testing::ValuesIn(FUNCTION_CASES),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(DebugInfoFunctions, AddressInsideACFunction) {
    const DebugInfo& info = example("c_greet");
    const auto inside = info.function_at(0x02A0);
    ASSERT_TRUE(inside.has_value());
    EXPECT_EQ(inside->name, "main");
    EXPECT_FALSE(info.function_at(0x0200).has_value()) << "the start-up code is no C function";
}

// ---- C symbols ------------------------------------------------------------------------------

// A function with parameters, as cc65 2.18 describes
//   static int sq(int x, unsigned char y) { register int r; int z; ... }
// (every type "00": the compiler gives none), with a global beside it.
const std::string SYNTHETIC =
    "version\tmajor=2,minor=0\n"
    "info\tcsym=5,file=1,lib=0,line=1,mod=1,scope=2,seg=2,span=3,sym=3,type=1\n"
    "csym\tid=0,name=\"sq\",scope=1,type=0,sc=static,sym=0\n"
    "csym\tid=1,name=\"x\",scope=1,type=0,sc=auto,offs=1\n"
    "csym\tid=2,name=\"y\",scope=1,type=0,sc=auto\n"
    "csym\tid=3,name=\"r\",scope=1,type=0,sc=auto,offs=-2\n"
    "csym\tid=4,name=\"z\",scope=1,type=0,sc=auto,offs=-4\n"
    "file\tid=0,name=\"t.c\",size=10,mtime=0x1,mod=0\n"
    "line\tid=0,file=0,line=4,type=1,span=1\n"
    "mod\tid=0,name=\"t.o\",file=0\n"
    "scope\tid=0,name=\"\",mod=0,size=64,span=0+2\n"
    "scope\tid=1,name=\"_sq\",mod=0,type=scope,size=58,parent=0,sym=0,span=1\n"
    "seg\tid=0,name=\"CODE\",start=0x000200,size=0x0040,addrsize=absolute,type=ro,oname=\"t.bin\",ooffs=0\n"
    "seg\tid=1,name=\"BSS\",start=0x000240,size=0x0010,addrsize=absolute,type=rw\n"
    "span\tid=0,seg=0,start=0,size=64\n"
    "span\tid=1,seg=0,start=6,size=58\n"
    "span\tid=2,seg=1,start=0,size=14\n"
    "sym\tid=0,name=\"_sq\",addrsize=absolute,size=58,scope=0,def=0,val=0x206,seg=0,type=lab\n"
    "sym\tid=1,name=\"_counter\",addrsize=absolute,scope=0,def=0,val=0x240,seg=1,type=lab\n"
    "sym\tid=2,name=\"_buf\",addrsize=absolute,scope=0,def=0,val=0x244,seg=1,type=lab\n"
    "type\tid=0,val=\"00\"\n";

std::string locals_text(const DebugInfo& info, std::uint32_t scope) {
    std::string text;
    for (const auto& v : info.c_locals(scope))
        text += v.name + "@" + std::to_string(v.offset) + ":" + std::to_string(v.size) + " ";
    return text;
}

std::string globals_text(const DebugInfo& info) {
    std::string text;
    for (const auto& v : info.c_globals()) {
        char address[8];
        std::snprintf(address, sizeof address, "%04X", v.address);
        text += v.name + "@" + address + ":" + std::to_string(v.size) + " ";
    }
    return text;
}

TEST(DebugInfoCSymbols, LocalsParametersAndGlobals) {
    // Sizes come from the gaps between offsets: the last parameter's is unknown.
    DebugInfo synthetic;
    ASSERT_EQ(synthetic.parse(SYNTHETIC), "");
    EXPECT_EQ(locals_text(synthetic, 1), "x@1:0 y@0:1 r@-2:2 z@-4:2 ");
    EXPECT_EQ(synthetic.c_frame_size(1), 4u);
    EXPECT_EQ(synthetic.function("sq")->entry, 0x0206u);
    EXPECT_EQ(globals_text(synthetic), "buf@0244:10 counter@0240:4 ");

    const DebugInfo& greet = example("c_greet");
    const auto main = greet.function("main");
    ASSERT_TRUE(main.has_value());
    EXPECT_EQ(locals_text(greet, main->scope), "length@-1:1 i@-2:1 ");
    EXPECT_EQ(greet.c_frame_size(main->scope), 2u);
    EXPECT_EQ(globals_text(greet), "name@0E0E:24 ");
    EXPECT_EQ(greet.c_stack_pointer(), std::optional<std::uint16_t>(0x0002));

    const DebugInfo& devices = example("c_devices");
    EXPECT_EQ(locals_text(devices, devices.function("main")->scope), "now@-6:6 i@-7:1 b@-8:1 ");
    EXPECT_FALSE(example("notes").c_stack_pointer().has_value()) << "no C, no C stack";
}

// ---- types ----------------------------------------------------------------------------------

struct TypeCase {
    const char* name;
    const char* encoded;
    debug_info::TypeInfo::Kind kind;
    std::uint32_t size;
    std::uint32_t count;
};
void PrintTo(const TypeCase& c, std::ostream* os) { *os << c.name; }

using Kind = debug_info::TypeInfo::Kind;
const TypeCase TYPE_CASES[] = {
    {"nothing_known", "00", Kind::unknown, 0, 0},
    {"byte", "20", Kind::integer, 1, 0},
    {"word", "21", Kind::integer, 2, 0},
    {"byte_array", "801020", Kind::array, 16, 16},
    {"word_array", "800221", Kind::array, 4, 2},
    {"pointer", "4100", Kind::pointer, 2, 0},
    {"far_pointer", "4200", Kind::pointer, 3, 0},
    {"odd_length", "801", Kind::unknown, 0, 0},
    {"not_hex", "zz", Kind::unknown, 0, 0},
    {"array_without_element", "8001", Kind::unknown, 0, 0},
};

class DebugInfoTypes : public ::testing::TestWithParam<TypeCase> {};

TEST_P(DebugInfoTypes, Decodes) {
    const TypeCase& c = GetParam();
    const auto type = debug_info::decode_type(c.encoded);
    EXPECT_EQ(type.kind, c.kind);
    EXPECT_EQ(type.size, c.size);
    EXPECT_EQ(type.count, c.count);
}

INSTANTIATE_TEST_SUITE_P(Encodings, DebugInfoTypes, ::testing::ValuesIn(TYPE_CASES),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- bad files: one line each ----------------------------------------------------------------

// The example's text, changed: the first `from` becomes `to`, then the
// text is cut to `keep` bytes (when not npos), back to a line's end when
// `whole_lines`.
struct BadFileCase {
    const char* name;
    std::string from;
    std::string to;
    std::size_t keep;
    std::string error;
    bool whole_lines = false;
};
void PrintTo(const BadFileCase& c, std::ostream* os) { *os << c.name; }

const BadFileCase BAD_FILE_CASES[] = {
    {"empty", "", "", 0, "the file is empty"},
    {"only_blank_lines", "version\tmajor=2,minor=0\n", "\n\n", 2, "the file is empty"},
    {"no_version_line", "version\t", "versio\t", std::string::npos,
     "not a cc65 linker debug file (it does not start with a version line)"},
    {"other_version", "major=2", "major=3", std::string::npos, "version 3.0, this emulator reads version 2"},
    {"cut_inside_a_line", "", "", 5000, "truncated: line 72 ends without a newline"},
    {"cut_between_lines", "", "", 20000, "truncated: 481 of 2022 line records", true},
    {"no_info_line", "info\t", "infx\t", std::string::npos, "line 3: a 'csym' record before the info line"},
    {"count_beyond_reason", "csym=2,", "csym=99999999,", std::string::npos,
     "line 2: the count of 'csym' is not a sane number"},
    {"count_beyond_the_file", "csym=2,", "csym=1000,", std::string::npos, "truncated: 2 of 1000 csym records"},
    {"bad_number", "line\tid=0,file=0,line=", "line\tid=0,file=0,line=x", std::string::npos,
     "line 66: field 'line' not a number"},
    {"unquoted_name", "name=\"printf\"", "name=printf", std::string::npos,
     "line 3: field 'name' not a quoted string"},
    {"unterminated_string", "name=\"printf\"", "name=\"printf", std::string::npos,
     "line 3: not a record of the form KEYWORD<tab>key=value,..."},
    {"repeated_id", "csym\tid=1,", "csym\tid=0,", std::string::npos,
     "line 4: 'csym' id 0 is repeated or beyond the info line's count"},
    {"span_outside_its_segment", "span\tid=0,seg=1,start=0,size=16", "span\tid=0,seg=1,start=0,size=60000",
     std::string::npos, "'span' id 0: lies outside its segment"},
    {"line_of_no_file", "line\tid=0,file=0,", "line\tid=0,file=77,", std::string::npos, "'line' id 0: names no file"},
    {"segment_past_64k", "start=0x00022E", "start=0x0FF22E", std::string::npos, "'seg' id 0: lies beyond 64 KiB"},
    {"unknown_line_kind", ",type=2,count=1", ",type=7,count=1", std::string::npos,
     "line 582: field 'type' is no line type this emulator knows"},
};

class DebugInfoBadFile : public ::testing::TestWithParam<BadFileCase> {};

TEST_P(DebugInfoBadFile, SaysWhatIsWrong) {
    const BadFileCase& c = GetParam();
    std::string text = read_text(example_path("c_hello.dbg"));
    if (!c.from.empty()) {
        const std::size_t at = text.find(c.from);
        ASSERT_NE(at, std::string::npos) << c.from;
        text.replace(at, c.from.size(), c.to);
    }
    if (c.keep != std::string::npos) text.resize(std::min(c.keep, text.size()));
    if (c.whole_lines) text.resize(text.rfind('\n') + 1);
    DebugInfo info;
    EXPECT_EQ(info.parse(text), c.error);
    EXPECT_FALSE(info.location(0x022E).has_value()) << "nothing of a bad file is kept";
}

INSTANTIATE_TEST_SUITE_P(Damaged, DebugInfoBadFile, ::testing::ValuesIn(BAD_FILE_CASES),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(DebugInfoBadFile, MissingFile) {
    DebugInfo info;
    EXPECT_EQ(debug_info::load_file(example_path("nosuch.dbg").c_str(), info),
              "can't read it: No such file or directory");
}

// ---- the file against the image ----------------------------------------------------------------

struct ImageCase {
    const char* name;
    const char* debug;  // example whose .dbg is checked
    const char* image;  // example whose .bin it is checked against
    int extra_bytes;    // appended to (or, negative, cut from) the image
    std::uint32_t load_address;
    std::string error;
};
void PrintTo(const ImageCase& c, std::ostream* os) { *os << c.name; }

const ImageCase IMAGE_CASES[] = {
    {"its_own_image", "c_greet", "c_greet", 0, 0x0200, ""},
    {"assembly_image", "notes", "notes", 0, 0x0200, ""},
    {"another_image", "c_greet", "c_hello", 0, 0x0200,
     "for another image: its CODE segment ends at byte 2738, the image has 2714"},
    {"image_longer", "notes", "notes", 1, 0x0200, "for another image: its segments fill 603 bytes, the image has 604"},
    {"image_shorter", "notes", "notes", -1, 0x0200,
     "for another image: its CODE segment ends at byte 603, the image has 602"},
    {"other_load_address", "hello", "hello", 0, 0xC000,
     "for another load address: its CODE segment is at 0x0200, the image puts it at 0xC000"},
};

class DebugInfoImage : public ::testing::TestWithParam<ImageCase> {};

TEST_P(DebugInfoImage, Checks) {
    const ImageCase& c = GetParam();
    std::vector<std::uint8_t> image = read_bytes(example_path(std::string(c.image) + ".bin"));
    image.resize(static_cast<std::size_t>(static_cast<int>(image.size()) + c.extra_bytes), 0xEA);
    EXPECT_EQ(example(c.debug).check_image(image, c.load_address), c.error);
}

INSTANTIATE_TEST_SUITE_P(Examples, DebugInfoImage, ::testing::ValuesIn(IMAGE_CASES),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- hostile input ---------------------------------------------------------------------------

// Lines cut, doubled, dropped and bytes changed at random: every result is
// either a sound file or one line of error text, and nothing crashes.
TEST(DebugInfoBadFile, RandomDamageIsOneLineOfError) {
    const std::string original = read_text(example_path("echo.dbg"));
    std::mt19937 random(6502);
    const std::string alphabet = "=,\"+\t\n0123456789xabcdefz-";
    for (int round = 0; round < 400; ++round) {
        std::string text = original;
        for (int change = 0; change < 1 + round % 4; ++change) {
            const std::size_t at = random() % text.size();
            switch (random() % 4) {
            case 0: text[at] = alphabet[random() % alphabet.size()]; break;
            case 1: text.erase(at, random() % 40); break;
            case 2: {
                const std::string copy = text.substr(at, random() % 80);
                text.insert(at, copy);
                break;
            }
            default: text[at] = static_cast<char>(random() % 256); break;
            }
            if (text.empty()) text.push_back('x');
        }
        DebugInfo info;
        const std::string error = info.parse(text);
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
        if (error.empty()) {
            for (unsigned address = 0; address < 0x10000; address += 7)
                (void)info.location(static_cast<std::uint16_t>(address));
            (void)info.function("main");
            (void)info.c_globals();
        }
    }
}

// ---- source lines -----------------------------------------------------------------------------

struct PrintableCase {
    const char* name;
    std::string line;
    std::string shown;
};
void PrintTo(const PrintableCase& c, std::ostream* os) { *os << c.name; }

const PrintableCase PRINTABLE_CASES[] = {
    {"plain", "    lda #$41 ; A", "    lda #$41 ; A"},
    {"tabs_to_stops_of_8", "\tlda\t#1", "        lda     #1"},
    {"escape_starts_no_sequence", "x\x1B[2Jy", "x\\x1B[2Jy"},
    {"carriage_return_and_delete", "a\rb\x7F", "a\\x0Db\\x7F"},
    {"utf8_passes", "caf\xC3\xA9 \xE2\x82\xAC", "caf\xC3\xA9 \xE2\x82\xAC"},
    {"utf8_c1_control_escaped", "a\xC2\x9B" "2J", "a\\xC2\\x9B2J"},
    {"raw_c1_byte_escaped", "a\x9B" "2J", "a\\x9B2J"},
    {"broken_utf8_escaped", "\xE2\x82 \xFF", "\\xE2\\x82 \\xFF"},
    {"overlong_utf8_escaped", "\xC0\xAF", "\\xC0\\xAF"},
};

class SourceLines : public ::testing::TestWithParam<PrintableCase> {};

TEST_P(SourceLines, ArePrintable) { EXPECT_EQ(printable_source_line(GetParam().line), GetParam().shown); }

INSTANTIATE_TEST_SUITE_P(Text, SourceLines, ::testing::ValuesIn(PRINTABLE_CASES),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SourceLines, FoundBesideTheDebugFile) {
    const DebugInfo& info = example("c_greet");
    SourceFiles sources(info, example_path("c_greet.dbg"));
    const auto file_id = [&](const char* name) { return info.find_files(name).at(0); };
    const std::uint32_t c = file_id("c_greet.c");
    EXPECT_EQ(sources.line(c, 20), "    length = emu_getline(name, sizeof name); /* echoes what is typed */");
    EXPECT_EQ(sources.path(c), example_path("c_greet.c"));
    EXPECT_FALSE(sources.changed(c));
    EXPECT_EQ(sources.line(c, 0), std::nullopt);
    EXPECT_EQ(sources.line(c, 1000), std::nullopt);
    // The kit's files by their names relative to the examples.
    EXPECT_EQ(sources.line(file_id("crt0.s"), 15),
              "start:  sei                     ; no IRQ handler: with the default vector");
    // The compiler's own output is gone after the build.
    EXPECT_EQ(sources.line(file_id("1.s"), 1), std::nullopt);
    EXPECT_EQ(sources.path(file_id("1.s")), "");
    EXPECT_EQ(sources.listing(c, 20, 1, 1),
              (std::vector<std::string>{"    19      emu_puts(\"What is your name? \");",
                                        ">   20      length = emu_getline(name, sizeof name); /* echoes what is typed */",
                                        "    21"}));
    EXPECT_EQ(sources.listing(c, 2, 3, 0).size(), 2u) << "the list starts at line 1";
    EXPECT_TRUE(sources.listing(c, 5000).empty());
}

// ---- C values ------------------------------------------------------------------------------------

struct ValueCase {
    const char* name;
    const char* type;  // encoded as in the file
    std::vector<std::uint8_t> bytes;
    std::string shown;
};
void PrintTo(const ValueCase& c, std::ostream* os) { *os << c.name; }

const ValueCase VALUE_CASES[] = {
    {"char", "00", {0x41}, "65 ($41) 'A'"},
    {"char_negative", "00", {0xFF}, "255 (-1, $FF)"},
    {"char_quote", "00", {'\''}, "39 ($27) '\\''"},
    {"int", "00", {0xD2, 0x04}, "1234 ($04D2)"},
    {"int_negative", "00", {0xFE, 0xFF}, "65534 (-2, $FFFE)"},
    {"long", "00", {0x40, 0xE2, 0x01, 0x00}, "123456 ($0001E240)"},
    {"long_negative", "00", {0xFF, 0xFF, 0xFF, 0xFF}, "4294967295 (-1, $FFFFFFFF)"},
    {"pointer", "4100", {0x00, 0xC0}, "$C000"},
    {"word_array", "800221", {0x01, 0x00, 0xFF, 0xFF}, "{1, 65535}"},
    {"big_endian_word", "51", {0x12, 0x34}, "4660 ($1234)"},
    {"string", "00", {'A', 'd', 'a', 0, 0x55, 0x66}, "41 64 61 00 55 66 \"Ada\""},
    {"bytes", "00", {0x01, 0x02, 0x03}, "01 02 03"},
    {"nothing", "00", {}, "?"},
};

class CValues : public ::testing::TestWithParam<ValueCase> {};

TEST_P(CValues, AreShownByTypeOrSize) {
    const ValueCase& c = GetParam();
    EXPECT_EQ(format_c_value(debug_info::decode_type(c.type), c.bytes), c.shown);
}

INSTANTIATE_TEST_SUITE_P(Formats, CValues, ::testing::ValuesIn(VALUE_CASES),
                         [](const auto& info) { return std::string(info.param.name); });

// c_greet.bin stopped at the for loop (c_greet.c:29, 0x028F) after "Ada":
// the C stack pointer at 0x0002 holds 0xFEFA; main's two locals lie below
// the frame base 0xFEFC: length (0xFEFB) = 3, i (0xFEFA) not yet set.
TEST(CValues, ReadThroughTheCStack) {
    const DebugInfo& info = example("c_greet");
    std::array<std::uint8_t, 0x10000> memory{};
    memory.fill(0xEE);
    memory[0x0002] = 0xFA;
    memory[0x0003] = 0xFE;
    memory[0xFEFB] = 3;
    for (std::size_t i = 0; i < 24; ++i) memory[0x0E0E + i] = i < 3 ? "Ada"[i] : 0;
    const PeekByte peek = [&](std::uint16_t address) { return memory[address]; };

    const auto main = info.function("main");
    ASSERT_TRUE(main.has_value());
    EXPECT_EQ(c_frame_base(info, *main, 0x022E, peek), std::nullopt) << "at the entry the frame is not made yet";
    const auto base = c_frame_base(info, *main, 0x028F, peek);
    EXPECT_EQ(base, std::optional<std::uint16_t>(0xFEFC));
    std::string shown;
    for (const auto& v : info.c_locals(main->scope))
        shown += v.name + "=" + read_c_variable(info, v, base, peek) + "; ";
    EXPECT_EQ(shown, "length=3 ($03); i=238 (-18, $EE); ");
    const auto globals = info.c_globals();
    ASSERT_EQ(globals.size(), 1u);
    EXPECT_EQ(read_c_variable(info, globals[0], base, peek),
              "41 64 61 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 \"Ada\"");
    EXPECT_EQ(read_c_variable(info, info.c_locals(main->scope)[0], std::nullopt, peek), "?") << "no frame, no local";
}

}  // namespace
