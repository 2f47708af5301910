#include "debug/labels.hpp"

#include <cstdio>
#include <cstdlib>

#include "driver/text.hpp"
#include "host/files.hpp"

namespace {
// Which of several names on one address is shown: the program's own
// before a local "@name", never the linker's "__NAME__".
int rank(std::string_view name) {
    if (name.starts_with("__")) return 0;
    if (name.starts_with("@")) return 1;
    return 2;
}

std::string_view without_dot(std::string_view name) {
    if (name.starts_with('.')) name.remove_prefix(1);
    return name;
}

// "al 000200 .start": the address in hex, the name after it.
bool parse_line(std::string_view line, std::string_view& name, std::uint16_t& address) {
    const auto words_end = [](std::string_view text) {
        std::size_t i = 0;
        while (i < text.size() && text[i] != ' ' && text[i] != '\t') ++i;
        return i;
    };
    const auto skip_space = [](std::string_view& text) {
        while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    };
    skip_space(line);
    if (!line.starts_with("al")) return false;
    line.remove_prefix(2);
    skip_space(line);
    const std::size_t digits = words_end(line);
    if (digits == 0 || digits > 8) return false;
    unsigned long value = 0;
    for (std::size_t i = 0; i < digits; ++i) {
        const char c = line[i];
        int digit = -1;
        if (c >= '0' && c <= '9') digit = c - '0';
        else if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        if (digit < 0) return false;
        value = value * 16 + static_cast<unsigned long>(digit);
    }
    if (value > 0xFFFF) return false;
    line.remove_prefix(digits);
    skip_space(line);
    const std::size_t length = words_end(line);
    name = without_dot(line.substr(0, length));
    line.remove_prefix(length);
    skip_space(line);
    if (name.empty() || !line.empty()) return false;
    address = static_cast<std::uint16_t>(value);
    return true;
}
}  // namespace

std::string Labels::load(const char* path, std::size_t* added) {
    if (added != nullptr) *added = 0;
    // A FIFO or a device would hold the monitor, or act.
    if (host_special_file(path)) return std::string("can't read label file ") + path + ": not a regular file";
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) return std::string("can't read label file ") + path;
    std::vector<Label> read;
    std::string line;
    int number = 0;
    bool bad = false;
    for (int c = std::fgetc(file);; c = std::fgetc(file)) {
        if (c != EOF && c != '\n') {
            if (c != '\r') line += static_cast<char>(c);
            if (line.size() > 4096) bad = true;
            if (!bad) continue;
        }
        ++number;
        if (bad) break;
        std::string_view name;
        std::uint16_t address = 0;
        if (line.find_first_not_of(" \t") != std::string::npos) {
            if (!parse_line(line, name, address)) {
                bad = true;
                break;
            }
            // Names are shown in the monitor's lines: never control characters.
            read.push_back({escape_controls(name), address});
        }
        line.clear();
        if (c == EOF) break;
    }
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) return std::string("can't read label file ") + path;
    if (bad) return std::string(path) + ":" + std::to_string(number) + ": not a label line (al ADDRESS .name)";
    for (const Label& label : read) add(label.name, label.address);
    if (added != nullptr) *added = read.size();
    return "";
}

void Labels::add(std::string_view name, std::uint16_t address) {
    if (shown_.empty()) shown_.assign(0x10000, -1);
    labels_.push_back({std::string(without_dot(name)), address});
    const std::string& added = labels_.back().name;
    std::int32_t& shown = shown_[address];
    if (rank(added) > 0 && (shown < 0 || rank(added) > rank(labels_[static_cast<std::size_t>(shown)].name)))
        shown = static_cast<std::int32_t>(labels_.size() - 1);
}

const char* Labels::name_at(std::uint16_t address) const {
    if (shown_.empty() || shown_[address] < 0) return nullptr;
    return labels_[static_cast<std::size_t>(shown_[address])].name.c_str();
}

std::optional<std::uint16_t> Labels::find(std::string_view name) const {
    name = without_dot(name);
    for (const Label& label : labels_)
        if (label.name == name) return label.address;
    return std::nullopt;
}
