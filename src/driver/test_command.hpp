// `emu6502 test`: the unit-test runner's command line.
#pragma once

// argv[0] is "test"; returns the exit status.
[[nodiscard]] int test_command(int argc, char** argv);
