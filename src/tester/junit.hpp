// The run's results as JUnit XML, the format CI systems read: one
// testsuite per test file, one testcase per test.
#pragma once

#include <string>
#include <vector>

#include "tester/test_run.hpp"

namespace tester {

struct JunitCase {
    std::string file;
    std::string name;
    TestOutcome outcome;
    double seconds = 0;
};

// false when the file cannot be written whole.
[[nodiscard]] bool write_junit(const std::string& path, const std::vector<JunitCase>& cases);

// `text` made safe inside an XML attribute or element.
[[nodiscard]] std::string xml_escaped(const std::string& text);

}  // namespace tester
