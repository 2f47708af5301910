// Paths and arguments travel through the machine as UTF-8; Windows wants
// them as UTF-16 to reach every file name, not just the code page's.
#pragma once

#include <string>

[[nodiscard]] std::wstring widen(const char* utf8);
[[nodiscard]] std::string narrow(const wchar_t* wide);
