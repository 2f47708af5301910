// What --version prints.
#pragma once

#include <string>

// The version, the commit the program was built from, and which optional
// parts the build has, one per line.
[[nodiscard]] std::string version_text();
