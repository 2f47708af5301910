// The formats --profile writes: the table of addresses (the default),
// Callgrind's (callgrind_annotate, KCachegrind) and folded stacks (flame
// graphs), chosen by name or by the file's name.
#pragma once

#include <optional>
#include <string_view>

enum class ProfileFormat { table, callgrind, folded };

[[nodiscard]] std::optional<ProfileFormat> profile_format_named(std::string_view name);
// By --profile-format when given, else by the file's name: NAME.callgrind
// or callgrind.out.* for Callgrind's, NAME.folded for folded stacks.
[[nodiscard]] ProfileFormat profile_format_for(std::string_view path, const char* name);
