// The inspections' parts through their own interfaces: how a return
// matches the calls made, and the tracefile read back for merging.
#include <gtest/gtest.h>

#include <string>

#include "cpu/observed.hpp"
#include "inspect/call_tracker.hpp"
#include "inspect/lcov.hpp"

namespace {

struct ReturnCase {
    const char* name;
    std::uint8_t sp_before;  // S at the RTS (the call left S at $FB, back to $0203)
    std::uint16_t target;
    bool rti;
    ReturnMatch match;
    std::size_t calls_after;  // of the two made
};

const ReturnCase RETURN_CASES[] = {
    {"matched", 0xFB, 0x0203, false, ReturnMatch::matched, 1},
    {"elsewhere", 0xFB, 0x0300, false, ReturnMatch::elsewhere, 1},
    {"one_byte_left", 0xFA, 0x0203, false, ReturnMatch::left_pushed, 1},
    {"pushed_address_is_a_jump", 0xF9, 0x0400, false, ReturnMatch::jump, 2},
    {"past_the_caller", 0xFD, 0x0103, false, ReturnMatch::unwound, 0},
    {"rti_two_left_of_three", 0xF9, 0x0203, true, ReturnMatch::left_pushed, 1},
    {"rti_three_pushed_is_a_jump", 0xF8, 0x0203, true, ReturnMatch::jump, 2},
};

class ReturnTable : public ::testing::TestWithParam<ReturnCase> {};

TEST_P(ReturnTable, MatchesTheInnermostCall) {
    const ReturnCase& c = GetParam();
    CallTracker tracker;
    tracker.called(0x0100, 0x0200, 0xFD);  // the outer call, back to $0103
    tracker.called(0x0200, 0x0300, 0xFB);  // the inner one, back to $0203
    const ReturnSeen seen = tracker.returned(c.sp_before, c.target, c.rti);
    EXPECT_EQ(seen.match, c.match);
    EXPECT_EQ(seen.call.call_pc, 0x0200);
    EXPECT_EQ(tracker.calls().size(), c.calls_after);
}

INSTANTIATE_TEST_SUITE_P(Calls, ReturnTable, ::testing::ValuesIn(RETURN_CASES),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Calls, ANewCallEndsTheCallsBelowIt) {
    CallTracker tracker;
    tracker.called(0x0100, 0x0200, 0xF9);
    tracker.called(0x0300, 0x0400, 0xFD);  // S was set back above the first call's bytes
    ASSERT_EQ(tracker.calls().size(), 1u);
    EXPECT_EQ(tracker.calls()[0].call_pc, 0x0300);
}

// Where cc65's C stack pointer lies, for the c-stack check (the threaded
// code and the checker ask the same).
struct CStackCase {
    const char* name;
    u16 value, floor, heap_end;
    CStackPlace place;
};

const CStackCase C_STACK_CASES[] = {
    {"in_its_own_room", 0xF800, 0x2000, 0x3000, CStackPlace::fine},
    {"just_above_the_heap", 0x3000, 0x2000, 0x3000, CStackPlace::fine},
    {"in_the_heap", 0x2FFF, 0x2000, 0x3000, CStackPlace::heap},
    {"in_the_bss_below_the_heap", 0x1FFF, 0x2000, 0x3000, CStackPlace::data},
    {"in_the_bss_without_a_heap", 0x1FFF, 0x2000, 0, CStackPlace::data},
    {"above_the_bss_without_a_heap", 0x2000, 0x2000, 0, CStackPlace::fine},
    {"below_the_image_is_not_the_data", 0x01FF, 0x2000, 0x3000, CStackPlace::fine},
};

class CStackTable : public ::testing::TestWithParam<CStackCase> {};

TEST_P(CStackTable, PlacesThePointer) {
    const CStackCase& c = GetParam();
    EXPECT_EQ(c_stack_place(c.value, c.floor, c.heap_end), c.place);
}

INSTANTIATE_TEST_SUITE_P(Checks, CStackTable, ::testing::ValuesIn(C_STACK_CASES),
                         [](const auto& info) { return std::string(info.param.name); });

struct LcovCase {
    const char* name;
    std::string text;
    std::string error;  // "" when it reads
};

const std::string RECORD = "TN:emu6502_1\nSF:/a.c\nFN:3,main\nFNDA:2,main\nBRDA:4,0,0,1\nBRDA:4,0,1,-\nDA:3,2\nend_of_record\n";

const LcovCase LCOV_CASES[] = {
    {"sound", RECORD, ""},
    {"cut_short", "TN:emu6502_1\nSF:/a.c\nDA:3,2\n", "the last record has no end_of_record: the file was cut short"},
    {"bad_count", "TN:x\nSF:/a.c\nDA:3,two\nend_of_record\n", "line 3: DA needs a line and a count"},
    {"outside_a_record", "DA:3,2\n", "line 1: 'DA' outside a file's record (SF ... end_of_record)"},
    {"not_a_tracefile", "\x7F" "ELF\n", "line 1: '\\x7FELF' outside a file's record (SF ... end_of_record)"},
    {"two_programs", RECORD + "TN:emu6502_2\n", "line 9: a second program (emu6502_2)"},
};

class LcovTable : public ::testing::TestWithParam<LcovCase> {};

TEST_P(LcovTable, ReadsOrSaysWhy) {
    LcovReport report;
    EXPECT_EQ(parse_lcov(GetParam().text, report), GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(Coverage, LcovTable, ::testing::ValuesIn(LCOV_CASES),
                         [](const auto& info) { return std::string(info.param.name); });

// Written, read back and added to itself: every count doubles, a branch
// never reached stays so.
TEST(Coverage, CountsAddUp) {
    LcovReport report;
    ASSERT_EQ(parse_lcov(RECORD, report), "");
    EXPECT_EQ(report.text(), "TN:emu6502_1\nSF:/a.c\nFN:3,main\nFNDA:2,main\nFNF:1\nFNH:1\nBRDA:4,0,0,1\nBRDA:4,0,1,-\n"
                             "BRF:2\nBRH:1\nDA:3,2\nLF:1\nLH:1\nend_of_record\n");
    LcovReport again;
    ASSERT_EQ(parse_lcov(report.text(), again), "");
    report.add(again);
    EXPECT_EQ(report.files["/a.c"].lines[3], 4u);
    EXPECT_EQ(report.files["/a.c"].functions["main"].count, 4u);
    EXPECT_EQ((report.files["/a.c"].branches[{4, 0, 0}]), std::optional<std::uint64_t>(2));
    EXPECT_EQ((report.files["/a.c"].branches[{4, 0, 1}]), std::nullopt);
}

}  // namespace
