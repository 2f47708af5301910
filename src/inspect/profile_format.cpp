#include "inspect/profile_format.hpp"

std::optional<ProfileFormat> profile_format_named(std::string_view name) {
    if (name == "table") return ProfileFormat::table;
    if (name == "callgrind") return ProfileFormat::callgrind;
    if (name == "folded") return ProfileFormat::folded;
    return std::nullopt;
}

ProfileFormat profile_format_for(std::string_view path, const char* name) {
    if (name != nullptr) return profile_format_named(name).value_or(ProfileFormat::table);
    const std::size_t slash = path.find_last_of("/\\");
    const std::string_view file = slash == std::string_view::npos ? path : path.substr(slash + 1);
    const auto ends_with = [file](std::string_view end) {
        return file.size() > end.size() && file.substr(file.size() - end.size()) == end;
    };
    if (ends_with(".callgrind") || file.substr(0, 14) == "callgrind.out.") return ProfileFormat::callgrind;
    if (ends_with(".folded")) return ProfileFormat::folded;
    return ProfileFormat::table;
}
