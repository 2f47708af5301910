// A finished test's expectations against what the run left: one line per
// failed expectation, naming the field and what was seen.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tester/test_observer.hpp"
#include "tester/test_spec.hpp"

namespace tester {

struct Seen {
    std::uint64_t cycles = 0;
    const std::vector<std::uint8_t>* output = nullptr;
    std::optional<std::int64_t> returned;  // a C call's value, as its type reads
};

[[nodiscard]] std::vector<std::string> check_expectations(const Test& test, const TestObserver& observer,
                                                          const Seen& seen);

// Text as a test's message shows it: printable, with escapes for the rest.
[[nodiscard]] std::string quoted(const std::string& text);

}  // namespace tester
