// The little programs and files the monitor's end-to-end tests share: a
// program that prints "H" twice through a subroutine, its labels, and the
// files of the command-file conversations.
#pragma once

#include <string>

#include "e2e/harness.hpp"

namespace e2e {

// Prints "H" twice through a subroutine, then ends.
[[nodiscard]] Bytes twice_program();

// As the cc65 linker writes them, a linker-made name among them.
inline constexpr const char* TWICE_LABELS =
    "al 000200 .start\nal 000210 .print\nal 000205 .@back\nal 000200 .__MAIN_START__\n";

// Writes p.bin, its labels and the other files the conversations use, and
// the command file c holding `commands`.
void prepare_monitor_files(const TempDir& dir, const std::string& commands);

}  // namespace e2e
