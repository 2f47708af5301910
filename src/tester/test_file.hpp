// Reads a test file: JSON, checked field by field against what the image
// and its debug information hold, so that every fault is found before any
// test runs and named by file, test and field.
#pragma once

#include <memory>
#include <string>

#include "debug/debug_info.hpp"
#include "tester/test_spec.hpp"

namespace tester {

struct LoadedFile {
    TestFile file;
    std::vector<std::uint8_t> image;
    std::shared_ptr<const debug_info::DebugInfo> debug;  // null when the image has none
    std::string error;  // one line: "FILE: test 'NAME': FIELD: what is wrong"
};

[[nodiscard]] LoadedFile load_test_file(const std::string& path);

}  // namespace tester
