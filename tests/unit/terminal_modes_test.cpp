// The terminal-mode tracker: what a program's escape sequences leave
// changed, the bytes that undo it, and those that make it again after a
// suspend. Nothing at all for a program that changed nothing.
#include <gtest/gtest.h>

#include <string>

#include "host/terminal_modes.hpp"
#include "host/utf8.hpp"

namespace {

struct ModesCase {
    const char* name;
    std::string printed;
    std::string undo;
    std::string redo;
    bool query = false;
};
void PrintTo(const ModesCase& c, std::ostream* os) { *os << c.name; }

const ModesCase MODES_CASES[] = {
    {"plain_text", "Hello\r\n", "", ""},
    {"cursor_hidden", "\x1B[?25l", "\x1B[?25h", "\x1B[?25l"},
    {"cursor_hidden_then_shown", "\x1B[?25l\x1B[?25h", "", ""},
    {"cursor_shown_only", "\x1B[?25h", "", ""},
    {"alternate_screen", "\x1B[?1049h", "\x1B[?1049l", "\x1B[?1049h"},
    {"alternate_screen_left", "\x1B[?1049hx\x1B[?1049l", "", ""},
    {"old_alternate_screen", "\x1B[?47h", "\x1B[?47l", "\x1B[?47h"},
    {"bold_red", "\x1B[1;31m", "\x1B[0m", "\x1B[1;31m"},
    {"attributes_accumulate", "\x1B[1m\x1B[4m", "\x1B[0m", "\x1B[1;4m"},
    {"attributes_reset_by_zero", "\x1B[1m\x1B[0m", "", ""},
    {"attributes_reset_by_empty", "\x1B[7mx\x1B[m", "", ""},
    {"reset_then_set_in_one", "\x1B[1m\x1B[0;4m", "\x1B[0m", "\x1B[0;4m"},
    {"set_then_reset_in_one", "\x1B[1;0m", "", ""},
    {"colour_256_ending_in_zero", "\x1B[38;5;0m", "\x1B[0m", "\x1B[38;5;0m"},
    {"colour_rgb_ending_in_zero", "\x1B[48;2;10;0;0m", "\x1B[0m", "\x1B[48;2;10;0;0m"},
    {"colour_with_colons", "\x1B[38:5:0m", "\x1B[0m", "\x1B[38:5:0m"},
    {"mouse_and_paste", "\x1B[?1000;2004h", "\x1B[?1000l\x1B[?2004l", "\x1B[?1000h\x1B[?2004h"},
    {"no_line_wrap", "\x1B[?7l", "\x1B[?7h", "\x1B[?7l"},
    {"application_keypad", "\x1B=", "\x1B>", "\x1B="},
    {"keypad_back_to_normal", "\x1B=\x1B>", "", ""},
    {"everything_in_undo_order", "\x1B[?25l\x1B[7m\x1B[?1049h\x1B[?1h",
     "\x1B[?1l\x1B[?1049l\x1B[0m\x1B[?25h", "\x1B[?1049h\x1B[?1h\x1B[7m\x1B[?25l"},
    {"full_reset", "\x1B[?25l\x1B[1m\x1B=\x1B" "c", "", ""},
    {"soft_reset", "\x1B[?25l\x1B[1m\x1B[!p", "", ""},
    {"soft_reset_keeps_screen", "\x1B[?1049h\x1B[!p", "\x1B[?1049l", "\x1B[?1049h"},
    {"title_not_tracked", "\x1B]2;My title\x07", "", ""},
    {"title_with_string_terminator", "\x1B]0;x\x1B\\\x1B[?25l", "\x1B[?25h", "\x1B[?25l"},
    {"sequence_inside_title_is_text", "\x1B]0;[?25l\x07", "", ""},
    {"half_written_sequence_is_cancelled", "\x1B[?25l\x1B[1", "\x18\x1B[?25h", "\x1B[?25l"},
    {"cancelled_sequence_does_nothing", "\x1B[?25\x18l", "", ""},
    {"half_written_sequence_alone_is_cancelled", "\x1B[1;3", "\x18", ""},
    {"half_written_title_is_cancelled", "\x1B]2;Tit", "\x18", ""},
    {"line_drawing_in_g0", "\x1B(0q", "\x1B(B", "\x1B(0"},
    {"line_drawing_left", "\x1B(0q\x1B(B", "", ""},
    {"line_drawing_shifted_in_through_g1", "\x1B)0\x0E", "\x0F\x1B)B", "\x1B)0\x0E"},
    {"shifted_back", "\x1B)0\x0Eq\x0F", "\x1B)B", "\x1B)0"},
    {"scroll_region", "\x1B[3;20r", "\x1B[r", "\x1B[3;20r"},
    {"scroll_region_reset", "\x1B[3;20r\x1B[r", "", ""},
    {"scroll_region_whole_screen_is_a_reset", "\x1B[3;20r\x1B[1r", "", ""},
    {"origin_mode", "\x1B[?6h", "\x1B[?6l", "\x1B[?6h"},
    {"insert_mode", "\x1B[4h", "\x1B[4l", "\x1B[4h"},
    {"insert_mode_left", "\x1B[4hx\x1B[4l", "", ""},
    {"soft_reset_forgets_them_all", "\x1B[4h\x1B[?6h\x1B[2;5r\x1B(0\x1B[!p", "", ""},
    {"full_reset_forgets_them_all", "\x1B[4h\x1B[?6h\x1B[2;5r\x1B(0\x1B" "c", "", ""},
    {"other_private_marker_ignored", "\x1B[>25l", "", ""},
    {"unknown_mode_ignored", "\x1B[?12l\x1B[?9999h", "", ""},
    {"cursor_position_request", "\x1B[6n", "", "", true},
    {"device_attributes_request", "\x1B[c", "", "", true},
    {"colour_request", "\x1B]11;?\x07", "", "", true},
    {"question_in_title_is_no_request", "\x1B]2;Why?\x07", "", "", false},
    {"cursor_movement_is_no_request", "\x1B[10;5H\x1B[2J", "", "", false},
};

class TerminalModesTest : public ::testing::TestWithParam<ModesCase> {};

TEST_P(TerminalModesTest, UndoesWhatThePrintedBytesChanged) {
    const ModesCase& c = GetParam();
    TerminalModes modes;
    for (const char byte : c.printed) modes.feed(static_cast<std::uint8_t>(byte));
    char buffer[TerminalModes::UNDO_ROOM];
    EXPECT_EQ(std::string(buffer, modes.undo(buffer)), c.undo);
    EXPECT_EQ(std::string(buffer, modes.redo(buffer)), c.redo);
    EXPECT_EQ(modes.query_sent(), c.query);
    modes.clear();
    EXPECT_EQ(modes.undo(buffer), 0u) << "a cleared tracker still undoes something";
}

INSTANTIATE_TEST_SUITE_P(Sequences, TerminalModesTest, ::testing::ValuesIn(MODES_CASES),
                         [](const auto& info) { return std::string(info.param.name); });

// The longest undo and redo fit the room the signal handlers give them.
TEST(TerminalModesRoom, EveryModeAtOnceFits) {
    TerminalModes modes;
    const std::string all =
        "\x1B[?1;7;1000;1002;1003;1004;1005;1006;1015;2004;47;1047;1049h\x1B[?7;25l\x1B=\x1B[1;2;3;4;5;7;8;9;"
        "38;2;255;255;255;48;2;255;255;255;58;2;255;255;255m\x1B[?6h\x1B[4h\x1B[65535;65535r\x1B(0\x1B)0\x0E"
        "\x1B[?25";
    for (const char byte : all) modes.feed(static_cast<std::uint8_t>(byte));
    char buffer[TerminalModes::UNDO_ROOM];
    EXPECT_LE(modes.undo(buffer), sizeof buffer);
    EXPECT_LE(modes.redo(buffer), sizeof buffer);
    EXPECT_GT(modes.undo(buffer), 0u);
}

}  // namespace

// Console output in pieces: how much of it ends on a whole UTF-8 character.
struct Utf8Case {
    const char* name;
    std::string bytes;
    std::size_t whole;
};
void PrintTo(const Utf8Case& c, std::ostream* os) { *os << c.name; }

const Utf8Case UTF8_CASES[] = {
    {"empty", "", 0},
    {"ascii", "caf", 3},
    {"two_byte_whole", "caf\xc3\xa9", 5},
    {"two_byte_lead_alone", "caf\xc3", 3},
    {"three_byte_missing_one", "\xe2\x94", 0},
    {"three_byte_missing_two_after_text", "a \xe2", 2},
    {"three_byte_whole", "\xe2\x94\x80", 3},
    {"four_byte_missing_one", "x\xf0\x9f\x98", 1},
    {"four_byte_whole", "\xf0\x9f\x98\x80", 4},
    {"stray_continuation_passes", "\x80\x80", 2},
    // Latin-1's 0xE9 looks like a three-byte lead: held until the next byte shows it is not.
    {"latin1_byte_held_as_a_lead", "caf\xe9", 3},
    {"invalid_lead_passes", "\xff", 1},
    {"overlong_lead_passes", "\xc0", 1},
};

class Utf8WholePrefix : public testing::TestWithParam<Utf8Case> {};

TEST_P(Utf8WholePrefix, HoldsBackOnlyACharacterStillComing) {
    const Utf8Case& c = GetParam();
    const auto* data = reinterpret_cast<const std::uint8_t*>(c.bytes.data());
    EXPECT_EQ(utf8_whole_prefix(data, c.bytes.size()), c.whole);
}

INSTANTIATE_TEST_SUITE_P(Pieces, Utf8WholePrefix, ::testing::ValuesIn(UTF8_CASES),
                         [](const testing::TestParamInfo<Utf8Case>& info) { return std::string(info.param.name); });
