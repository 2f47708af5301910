// What --check's options say, read from their text: the kinds turned off,
// the --protect ranges and the suppression file. Each returns "" when
// sound, else one line saying what is wrong (without a newline).
#pragma once

#include <string>
#include <vector>

#include "inspect/checker.hpp"

// "return,stack-wrap": the kinds named are turned off in `kinds`.
[[nodiscard]] std::string turn_off_kinds(const char* text, CheckSet& kinds);

// "0200-02FF,C000": addresses as options write them (C000, 0xC000, $C000),
// single or as first-last.
[[nodiscard]] std::string parse_protect(const char* text, std::vector<AddressSpan>& out);

// A suppression file: a line per suppression, "KIND PLACE", where KIND is
// a kind's name or * for every kind and PLACE an address, a range
// first-last, or a function or label of the debug information (its
// bytes). A report is suppressed when its pc, or the address it names,
// lies in PLACE. '#' starts a comment.
[[nodiscard]] std::string load_suppressions(const char* path, const debug_info::DebugInfo* info,
                                            std::vector<Suppression>& out);
