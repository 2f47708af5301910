// emu6502 test: test files run through the real binary, one row per kind of
// target, setup, mock and expectation, per failure and per bad file. Each
// row writes its test file as t.json into a fresh folder; @UNITS@ and
// @HELLO@ stand for the examples' C and assembly images, @EXAMPLES@ for
// their folder (in options and coverage files too).
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "e2e/harness.hpp"

namespace {

std::string with_images(std::string text) {
    const std::pair<const char*, std::string> images[] = {
        {"@UNITS@", e2e::source_dir() + "/examples/c_units.bin"},
        {"@HELLO@", e2e::source_dir() + "/examples/hello.bin"},
        {"@EXAMPLES@", e2e::source_dir() + "/examples"}};
    for (const auto& [mark, path] : images)
        for (std::size_t at; (at = text.find(mark)) != std::string::npos;) text.replace(at, std::string(mark).size(), path);
    return text;
}

// One test in a file of its own: the file's head, then the test.
std::string one_test(const char* image, const std::string& test) {
    return std::string("{\"image\": \"") + image + "\", \"tests\": [" + test + "]}";
}

struct TesterCase {
    const char* name;
    std::string file;            // t.json, before @UNITS@ and @HELLO@ are replaced
    std::string expected_out;    // exact; t.json's lines name it as "t.json"
    int exit_code = 0;
    std::string expected_err = "";
    std::vector<std::string> options = {};
    std::string commands = "";   // the monitor's, as the file "cmds"
    // The coverage file "c.info" before the run (none when empty) and
    // after it (as before when empty: no file, or the file left as it was).
    std::string coverage_before = "";
    std::string coverage_after = "";
};

// The hello example's coverage file: how often its BEQ was taken and not,
// its BNE taken (never not: the message is short), and lines 6 to 12 ran.
std::string hello_coverage(int beq_taken, int beq_not, int bne_taken, const std::vector<int>& lines) {
    std::string text = "TN:emu6502_362a32cd4f26f2da\nSF:@EXAMPLES@/hello.s\nFNF:0\nFNH:0\nBRDA:8,0,0," +
                       std::to_string(beq_taken) + "\nBRDA:8,0,1," + std::to_string(beq_not) + "\nBRDA:11,0,0," +
                       std::to_string(bne_taken) + "\nBRDA:11,0,1,0\nBRF:4\nBRH:3\n";
    for (std::size_t i = 0; i < lines.size(); ++i) text += "DA:" + std::to_string(6 + i) + "," + std::to_string(lines[i]) + "\n";
    return text + "LF:7\nLH:7\nend_of_record\n";
}

// Three runs of the hello example's loop: whole to done, from its last
// letter, and whole to the end.
const std::string COVERED = R"J({"image": "@HELLO@", "tests": [
    {"name": "to done", "range": {"from": "start", "to": "done"}},
    {"name": "one letter", "range": {"from": "loop", "to": "done"}, "setup": {"registers": {"x": 21}}},
    {"name": "whole", "range": {"from": "start"}}]})J";
const std::string COVERED_OUT = "PASS t.json: to done (339 cycles)\nPASS t.json: one letter (22 cycles)\n"
                                "PASS t.json: whole (342 cycles)\n3 passed, 0 failed\n";
// The message's 22 letters and its end read by two runs, the last letter
// and the end by one: 48 reads, 45 letters printed; one run to the JMP.
const std::string COVERAGE_ONCE = hello_coverage(3, 45, 45, {2, 48, 48, 45, 45, 45, 1});

// Code placed by the tests at $3000: a routine that calls $3100 and counts
// on in X, and at $3100 the routine it calls (LDX #1, RTS).
const std::string CALLER = R"J({"at": "$3000", "bytes": ["$20", "$00", "$31", "$E8", "$60"]},
                               {"at": "$3100", "bytes": ["$A2", "$01", "$60"]})J";

const TesterCase CASES[] = {
    // ---- targets ----------------------------------------------------------
    {"RoutineByLabel", one_test("@UNITS@", R"J({"name": "vowels", "routine": "vowels",
        "setup": {"registers": {"a": 0, "x": "$30"}, "memory": [{"at": "$3000", "string": "aXe", "zero": true}]},
        "expect": {"registers": {"a": 2}}})J"),
     "PASS t.json: vowels (675 cycles)\n1 passed, 0 failed\n"},
    {"RoutineAtAddress", one_test("@HELLO@", R"J({"name": "r", "routine": "$3000",
        "setup": {"memory": [)J" + CALLER + R"J(]}, "expect": {"registers": {"x": 2}}})J"),
     "PASS t.json: r (22 cycles)\n1 passed, 0 failed\n"},
    {"InterruptHandler", one_test("@HELLO@", R"J({"name": "irq", "interrupt": "$3000",
        "setup": {"flags": {"c": true, "i": false}, "memory": [{"at": "$3000", "bytes": ["$E6", "$10", "$18", "$40"]}, {"at": "$10", "byte": 41}]},
        "expect": {"memory": [{"at": "$10", "byte": 42}], "flags": {"c": true, "i": false}, "cycles": {"eq": 13}}})J"),
     "PASS t.json: irq (13 cycles)\n1 passed, 0 failed\n"},
    {"RangeToALabel", one_test("@HELLO@", R"J({"name": "range", "range": {"from": "start", "to": "done"},
        "expect": {"registers": {"x": 22}}})J"),
     "PASS t.json: range (339 cycles)\n1 passed, 0 failed\n"},
    {"RangeToTheEnd", one_test("@HELLO@", R"J({"name": "whole", "range": {"from": "start"},
        "expect": {"output": "Hello from the 6502!\r\n"}})J"),
     "PASS t.json: whole (342 cycles)\n1 passed, 0 failed\n"},
    {"CFunctionTwoArgumentsLongResult", one_test("@UNITS@", R"J({"name": "scale", "call": "scale(-70000, 200)",
        "expect": {"returns": -14000000}})J"),
     "PASS t.json: scale (1937 cycles)\n1 passed, 0 failed\n"},
    {"CFunctionSignatureGiven", one_test("@UNITS@", R"J({"name": "sum as unsigned", "call": "sum(65535, 2)",
        "signature": "unsigned sum(unsigned a, unsigned b)", "expect": {"returns": 1}})J"),
     "PASS t.json: sum as unsigned (143 cycles)\n1 passed, 0 failed\n"},

    // ---- setup --------------------------------------------------------------
    {"SetupWordsLabelsOffsetsAndStack", one_test("@HELLO@", R"J({"name": "s", "routine": "$3000",
        "setup": {"registers": {"sp": "$F0"}, "stack": [7, 9],
                  "memory": [{"at": "$3000", "bytes": ["$BA", "$BD", "$03", "$01", "$BC", "$04", "$01", "$AE", "$13", "$02", "$60"]},
                             {"at": "message+2", "word": "0x4241"}]},
        "expect": {"registers": {"a": 9, "y": 7, "x": "'B'", "sp": "$EE"}}})J"),
     // The stack's bytes lie under the return address: TSX, then
     // LDA $0103,X and LDY $0104,X find the last and the first pushed.
     "PASS t.json: s (20 cycles)\n1 passed, 0 failed\n"},
    {"SetupKeysAndFiles", one_test("@HELLO@", R"J({"name": "k", "range": {"from": "$3000", "to": "$300E"},
        "setup": {"keys": "AB", "files": {"file4": "xy"},
                  "memory": [{"at": "$3000", "bytes": ["$AD", "$00", "$FF", "$AE", "$00", "$FF", "$A9", "$04", "$8D", "$0C", "$FF", "$AC", "$0A", "$FF"]}]},
        "expect": {"registers": {"a": 4, "x": 66, "y": "'x'"}}})J"),
     "PASS t.json: k (18 cycles)\n1 passed, 0 failed\n"},

    // ---- mocks ----------------------------------------------------------------
    {"MockReplacesARoutine", one_test("@HELLO@", R"J({"name": "m", "routine": "$3000",
        "setup": {"registers": {"a": 5, "y": 6}, "memory": [)J" + CALLER + R"J(]},
        "mocks": [{"routine": "$3100", "results": [{"registers": {"x": 40}, "memory": [{"at": "$20", "byte": 1}]}]}],
        "expect": {"registers": {"x": 41}, "memory": [{"at": "$20", "byte": 1}],
                   "calls": [{"routine": "$3100", "count": 1, "args": [{"a": 5, "y": {"gt": 5}}]}]}})J"),
     "PASS t.json: m (14 cycles)\n1 passed, 0 failed\n"},
    {"CFunctionMocked", one_test("@UNITS@", R"J({"name": "open", "call": "open_sounding(0x3000)",
        "mocks": [{"routine": "vowels", "returns": {"registers": {"a": 2, "x": 0}}}],
        "expect": {"returns": 0, "calls": [{"routine": "vowels", "count": {"eq": 1}}]}})J"),
     "PASS t.json: open (125 cycles)\n1 passed, 0 failed\n"},

    // A mocked C function still takes its arguments off the C stack: the
    // caller's C stack pointer ($02) is back at the top when it returns.
    {"MockedCFunctionTakesItsArguments", one_test("@UNITS@", R"J({"name": "twice", "call": "twice_sum(3, 4)",
        "mocks": [{"routine": "sum", "results": [{"registers": {"a": "$34", "x": "$12"}}]}],
        "expect": {"returns": "$2468", "memory": [{"at": "$02", "word": "$FF00"}]}})J"),
     "PASS t.json: twice (206 cycles)\n1 passed, 0 failed\n"},

    // ---- expectations --------------------------------------------------------
    {"ComparisonsOfEveryKind", one_test("@HELLO@", R"J({"name": "c", "range": {"from": "start", "to": "done"},
        "expect": {"registers": {"x": {"ge": 22, "le": 22}, "a": {"lt": 1}, "y": {"anyOf": [0, 255]}, "sp": {"gt": 1, "ne": 0}},
                   "memory": [{"at": "message", "string": "Hello"}, {"at": "message+20", "bytes": [13, 10, 0]},
                              {"at": "message", "word": "0x6548"}, {"at": "$4000", "size": 256, "all": "$EE"}],
                   "reads": [{"at": "message+1", "count": 1}],
                   "writes": [{"at": "CON_OUT", "count": {"eq": 22}, "values": "Hello from the 6502!\r\n"}],
                   "cycles": {"le": 339}}})J"),
     "PASS t.json: c (339 cycles)\n1 passed, 0 failed\n"},
    {"FailingExpectationsSayWhatWasSeen", one_test("@HELLO@", R"J({"name": "f", "range": {"from": "start", "to": "done"},
        "expect": {"registers": {"x": {"lt": 22}}, "flags": {"z": false}, "memory": [{"at": "message", "string": "Help"}],
                   "writes": [{"at": "CON_OUT", "count": 3}], "cycles": {"eq": 100}, "output": "Hello"}})J"),
     "FAIL t.json: f\n    expect.registers.x: expected < 22, saw 22 ($16)\n    expect.flags.z: expected false, saw true\n"
     "    expect.memory[0] at \"message\" ($0210): expected \"Help\", saw \"Hell\"\n"
     "    expect.writes[0] at \"CON_OUT\" ($FF01): count expected 3, saw 22\n"
     "    expect.cycles: expected 100, saw 339\n    expect.output: expected \"Hello\", saw \"Hello from the 6502!\\r\\n\"\n"
     "0 passed, 1 failed\n",
     1},

    // ---- runs that go wrong, and the others still run --------------------------
    {"HangStoppedByItsLimit", R"J({"image": "@HELLO@", "limit": 1000, "tests": [
        {"name": "spins", "routine": "$3000", "setup": {"memory": [{"at": "$3000", "bytes": ["$4C", "$00", "$30"]}]}},
        {"name": "after", "range": {"from": "start", "to": "done"}}]})J",
     "FAIL t.json: spins\n    stopped at the cycle limit (1000) at $3000: the target did not end\n"
     "PASS t.json: after (339 cycles)\n1 passed, 1 failed\n",
     1},
    {"CrashesFailWithTheirReason", R"J({"image": "@HELLO@", "tests": [
        {"name": "jam", "routine": "$3000", "setup": {"memory": [{"at": "$3000", "bytes": ["$EA", "$02"]}]}},
        {"name": "wild", "routine": "$3000", "setup": {"memory": [{"at": "$3000", "bytes": ["$4C", "$00", "$90"]}]}},
        {"name": "wrap", "routine": "$3000", "setup": {"memory": [{"at": "$3000", "bytes": ["$48", "$4C", "$00", "$30"]}]}},
        {"name": "skipped", "routine": "$3000", "skip": "not ready"},
        {"name": "fine", "range": {"from": "start", "to": "done"}}]})J",
     "FAIL t.json: jam\n    JAM opcode $02 at $3001\n"
     "FAIL t.json: wild\n    wild jump: the pc reached $9000, outside the program\n"
     "FAIL t.json: wrap\n    stack wrap: the stack pointer went from $00 to $FF at $3000\n"
     "SKIP t.json: skipped: not ready\nPASS t.json: fine (339 cycles)\n1 passed, 3 failed, 1 skipped\n",
     1},
    {"SuitesShareSetup", R"J({"image": "@HELLO@", "setup": {"memory": [{"at": "$10", "byte": 1}]}, "suites": [
        {"name": "s", "setup": {"memory": [{"at": "$11", "byte": 2}]}, "tests": [
          {"name": "t", "routine": "$3000", "setup": {"memory": [{"at": "$3000", "bytes": ["$A5", "$10", "$65", "$11", "$60"]}]},
           "expect": {"registers": {"a": 3}}}]}]})J",
     "PASS t.json: s / t (12 cycles)\n1 passed, 0 failed\n"},

    // ---- the run --------------------------------------------------------------
    {"TwoWorkersKeepTheFilesOrder", R"J({"image": "@HELLO@", "tests": [
        {"name": "a", "routine": "$3000", "setup": {"memory": [{"at": "$3000", "bytes": ["$A2", "$01", "$60"]}]}, "expect": {"registers": {"x": 1}}},
        {"name": "b", "routine": "$3000", "setup": {"memory": [{"at": "$3000", "bytes": ["$A2", "$02", "$60"]}]}, "expect": {"registers": {"x": 1}}},
        {"name": "c", "range": {"from": "start", "to": "done"}},
        {"name": "d", "routine": "$3000", "skip": "later"}]})J",
     "PASS t.json: a (8 cycles)\nFAIL t.json: b\n    expect.registers.x: expected 1, saw 2 ($02)\n"
     "PASS t.json: c (339 cycles)\nSKIP t.json: d: later\n2 passed, 1 failed, 1 skipped\n",
     1, "", {"-j", "2"}},
    {"MonitorStopsAtTheTargetsFirstInstruction", one_test("@HELLO@", R"J({"name": "tail", "range": {"from": "loop", "to": "done"},
        "setup": {"registers": {"x": 18}}})J"),
     "2!\r\n", 0,
     "hello.s:7  loop:   lda message,x\nloop:\n0202  BD 10 02  LDA message,X\n> r\n"
     "PC=0202 A=00 X=12 Y=00 SP=FF NV-BDIZC=00100100\ninstruction count 0, cycle count 0\n"
     "cycles: 0 since the last stop, 0 on the stopwatch (sw resets it)\n> b 20d\nbreakpoint 1 at 020D\n> c\n"
     "breakpoint 1 at 020D\nhello.s:12  done:   jmp $0000\ndone:\n020D  4C 00 00  JMP $0000\n> back 1\n"
     "hello.s:8  beq done\n0205  F0 06     BEQ done\n> r\nPC=0205 A=00 X=16 Y=00 SP=FF NV-BDIZC=00100110\n"
     "instruction count 21, cycle count 64\ncycles: -3 since the last stop, 64 on the stopwatch (sw resets it)\n"
     "breakpoint 1 at 020D\nhello.s:12  done:   jmp $0000\ndone:\n020D  4C 00 00  JMP $0000\n",
     {"--only", "tail", "--commands", "cmds"}, "r\nb 20d\nc\nback 1\nr\n"},

    // ---- --check and --coverage over the whole run ------------------------------
    // A check that fires fails its test with the report; memory the setup,
    // the stack's setup or a mock wrote counts as written; a C call's
    // arguments and a mocked C function raise nothing.
    {"CheckFiredFailsItsTest", R"J({"image": "@HELLO@", "tests": [
        {"name": "reads unset", "routine": "$3000", "setup": {"memory": [{"at": "$3000", "bytes": ["$A5", "$10", "$60"]}]}},
        {"name": "reads what was written", "routine": "$3000",
         "setup": {"stack": [7], "memory": [{"at": "$3000", "bytes": ["$20", "$00", "$31", "$A5", "$20", "$BA", "$BD", "$03", "$01", "$60"]},
                                            {"at": "$3100", "bytes": ["$60"]}]},
         "mocks": [{"routine": "$3100", "results": [{"memory": [{"at": "$20", "byte": 1}]}]}], "expect": {"registers": {"a": 7}}},
        {"name": "writes its code", "routine": "$3000", "setup": {"memory": [{"at": "$3000", "bytes": ["$8D", "$00", "$02", "$60"]}]}}]})J",
     "FAIL t.json: reads unset\n"
     "    check: uninitialised-read at $3000 LDA $10: reads $0010, which nothing has written in this run\n      #0  $3000\n"
     "PASS t.json: reads what was written (21 cycles)\nFAIL t.json: writes its code\n"
     "    check: protected-write at $3000 STA $0200: writes $0200, in the segment CODE\n      #0  $3000\n"
     "1 passed, 2 failed\n",
     1, "", {"--check"}},
    {"CheckQuietOnSoundCCalls", R"J({"image": "@UNITS@", "tests": [{"name": "scale", "call": "scale(-70000, 200)", "expect": {"returns": -14000000}},
        {"name": "twice", "call": "twice_sum(3, 4)", "mocks": [{"routine": "sum", "results": [{"registers": {"a": "$34", "x": "$12"}}]}],
         "expect": {"returns": "$2468"}}]})J",
     "PASS t.json: scale (1937 cycles)\nPASS t.json: twice (206 cycles)\n2 passed, 0 failed\n", 0, "", {"--check", "-j", "2"}},
    {"CheckOffAsForARun", one_test("@HELLO@", R"J({"name": "r", "routine": "$3000", "setup": {"memory": [{"at": "$3000", "bytes": ["$A5", "$10", "$60"]}]}})J"),
     "PASS t.json: r (9 cycles)\n1 passed, 0 failed\n", 0, "", {"--check-off=uninitialised-read"}},
    {"CoverageOfEveryTestLineByLine", COVERED, COVERED_OUT, 0, "", {"--coverage", "c.info"}, "", "", COVERAGE_ONCE},
    {"CoverageOfTwoWorkersAsOfOne", COVERED, COVERED_OUT, 0, "", {"--coverage", "c.info", "-j", "2"}, "", "", COVERAGE_ONCE},
    {"CoverageAddedToAnEarlierRun", COVERED, COVERED_OUT, 0, "", {"--coverage", "c.info", "-j", "2"}, "", COVERAGE_ONCE,
     hello_coverage(6, 90, 90, {4, 96, 96, 90, 90, 90, 2})},

    // ---- bad --check and --coverage: one line, exit 2, no test runs ----------------
    {"CheckOffUnknownKind", COVERED, "", 2,
     "emu6502 test: --check-off: no check named 'sideways' (the checks: uninitialised-read, protected-write, execute, return, stack-wrap, "
     "c-stack, undocumented); try 'emu6502 test --help'.\n", {"--check-off", "sideways"}},
    {"CoverageWithoutFile", COVERED, "", 2, "emu6502 test: --coverage needs a file name; try 'emu6502 test --help'.\n",
     {"--coverage="}},
    {"CoverageFileOfAnotherProgram", COVERED, "", 2,
     "emu6502: coverage file 'c.info' is of another program (emu6502_0000000000000000, this one is emu6502_362a32cd4f26f2da); "
     "it was left as it is; no test ran.\n",
     {"--coverage", "c.info"}, "", "TN:emu6502_0000000000000000\n"},
    {"CoverageFileNotLcov", COVERED, "", 2,
     "emu6502: coverage file 'c.info' line 1: 'hello' outside a file's record (SF ... end_of_record); it was left as it is; no test ran.\n",
     {"--coverage", "c.info"}, "", "hello\n"},
    {"CoverageOfTwoPrograms", COVERED, "", 2,
     "emu6502: --coverage covers one program, and @EXAMPLES@/c_units.test.json and t.json test different ones: "
     "give their tests a run each; no test ran.\n",
     {"--coverage", "c.info", "@EXAMPLES@/c_units.test.json"}},
    {"CheckWithTheMonitor", COVERED, "", 2,
     "emu6502 test: --check and --coverage watch a run of the tests, not --monitor or --commands; try 'emu6502 test --help'.\n",
     {"--check", "--only", "whole", "--monitor"}},

    // ---- bad files: one line, exit 2, nothing runs --------------------------------
    {"NotJson", "{\"image\": ", "", 2,
     "t.json: not JSON: parse error at line 1, column 11: syntax error while parsing value - unexpected end of input; "
     "expected '[', '{', or a literal\n"},
    {"UnknownField", one_test("@HELLO@", R"J({"name": "x", "routine": "start", "expect": {"register": {}}})J"), "", 2,
     "t.json: test 'x': tests[0].expect.register: unknown field\n"},
    {"WrongType", one_test("@HELLO@", R"J({"name": "x", "routine": "start", "expect": {"registers": {"a": "many"}}})J"), "", 2,
     "t.json: test 'x': tests[0].expect.registers.a: \"many\" is not an integer (give 12, \"$0C\", \"0x0C\", \"%1100\" or \"'A'\")\n"},
    {"NumberTooLarge", one_test("@HELLO@", R"J({"name": "x", "routine": "start", "expect": {"registers": {"a": "99999999999999999999"}}})J"), "", 2,
     "t.json: test 'x': tests[0].expect.registers.a: \"99999999999999999999\" is not an integer (give 12, \"$0C\", \"0x0C\", \"%1100\" or \"'A'\")\n"},
    {"UnknownLabel", one_test("@HELLO@", R"J({"name": "x", "routine": "nowhere"})J"), "", 2,
     "t.json: test 'x': tests[0].routine: unknown label 'nowhere' (not in " + e2e::source_dir() + "/examples/hello.dbg)\n"},
    {"WrongArgumentCount", one_test("@UNITS@", R"J({"name": "x", "call": "sum(1)"})J"), "", 2,
     "t.json: test 'x': tests[0].call: sum takes 2 arguments, the call gives 1\n"},
    {"AddressOutsideMemory", one_test("@HELLO@", R"J({"name": "x", "routine": "start",
        "setup": {"memory": [{"at": "$FFFE", "bytes": [1, 2, 3]}]}})J"), "", 2,
     "t.json: test 'x': tests[0].setup.memory[0].at: \"$FFFE\" with its 3 bytes lies outside memory ($0000-$FFFF)\n"},
    {"NoTarget", one_test("@HELLO@", R"J({"name": "x"})J"), "", 2,
     "t.json: test 'x': tests[0]: needs exactly one target: routine, interrupt, range or call\n"},
};

class Tester : public testing::TestWithParam<TesterCase> {};

TEST_P(Tester, RunsAsExpected) {
    const TesterCase& c = GetParam();
    e2e::TempDir dir;
    dir.write("t.json", with_images(c.file));
    if (!c.commands.empty()) dir.write("cmds", c.commands);
    if (!c.coverage_before.empty()) dir.write("c.info", with_images(c.coverage_before));
    std::vector<std::string> args = {"test", "-j", "1"};
    for (const std::string& option : c.options) args.push_back(with_images(option));
    args.push_back("t.json");
    const e2e::RunResult r = e2e::run_emulator(dir, args);
    EXPECT_EQ(r.out, c.expected_out);
    EXPECT_EQ(r.err, with_images(c.expected_err));
    EXPECT_EQ(r.exit_code, c.exit_code);
    const std::string coverage = with_images(c.coverage_after.empty() ? c.coverage_before : c.coverage_after);
    ASSERT_EQ(dir.exists("c.info"), !coverage.empty());
    if (!coverage.empty()) {
        const e2e::Bytes bytes = dir.read("c.info");
        EXPECT_EQ(std::string(bytes.begin(), bytes.end()), coverage);
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, Tester, testing::ValuesIn(CASES),
                         [](const testing::TestParamInfo<TesterCase>& info) { return info.param.name; });

}  // namespace
