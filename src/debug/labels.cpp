#include "debug/labels.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "base/text.hpp"
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
bool is_local(std::string_view name) { return name.starts_with('@'); }
bool is_linker_made(std::string_view name) { return name.starts_with("__"); }

bool all_digits(std::string_view text) {
    if (text.empty()) return false;
    for (const char c : text)
        if (c < '0' || c > '9') return false;
    return true;
}

// One key per file however it is named: "./a.lbl" and "a.lbl" are the same.
std::string file_key(const char* path) {
    std::error_code error;
    const std::filesystem::path canonical = std::filesystem::weakly_canonical(path, error);
    return error ? std::string(path) : canonical.string();
}
}  // namespace

std::string Labels::load(const char* path, std::size_t* added, std::size_t* replaced,
                         const std::function<bool(std::string_view)>& keep) {
    if (added != nullptr) *added = 0;
    if (replaced != nullptr) *replaced = 0;
    const std::string shown_path = escape_control(path);
    std::FILE* file = host_open_plain_file(path);
    if (file == nullptr) {
        if (errno == EINVAL) return "can't read label file " + shown_path + ": not a regular file";
        return "can't read label file " + shown_path;
    }
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
            if (!keep || keep(without_dot(name))) read.push_back({escape_control(name), address, 0, number, -1});
        }
        line.clear();
        if (c == EOF) break;
    }
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) return "can't read label file " + shown_path;
    if (bad) return shown_path + ":" + std::to_string(number) + ": not a label line (al ADDRESS .name)";

    const std::string key = file_key(path);
    auto source = static_cast<std::int32_t>(std::find(sources_.begin(), sources_.end(), key) - sources_.begin());
    if (static_cast<std::size_t>(source) == sources_.size()) sources_.push_back(key);
    const std::size_t dropped = drop_source(source);
    // Each cheap local belongs to the nearest ordinary label at or below it.
    std::vector<std::uint16_t> owners;
    for (const Label& label : read)
        if (!is_local(label.name) && !is_linker_made(label.name)) owners.push_back(label.address);
    std::sort(owners.begin(), owners.end());
    for (Label& label : read) {
        label.source = source;
        if (!is_local(label.name)) continue;
        const auto above = std::upper_bound(owners.begin(), owners.end(), label.address);
        if (above != owners.begin()) label.scope = *(above - 1);
    }
    labels_.insert(labels_.end(), read.begin(), read.end());
    show();
    if (added != nullptr) *added = read.size();
    if (replaced != nullptr) *replaced = dropped;
    return "";
}

void Labels::add(std::string_view name, std::uint16_t address) {
    labels_.push_back({escape_control(without_dot(name)), address, -1, 0, -1});
    show();
}

std::size_t Labels::drop_source(std::int32_t source) {
    const std::size_t before = labels_.size();
    std::erase_if(labels_, [source](const Label& label) { return label.source == source; });
    return before - labels_.size();
}

std::size_t Labels::clear() {
    const std::size_t count = labels_.size();
    labels_.clear();
    show();
    return count;
}

std::size_t Labels::clear(const char* path) {
    const auto found = std::find(sources_.begin(), sources_.end(), file_key(path));
    if (found == sources_.end()) return 0;
    const std::size_t count = drop_source(static_cast<std::int32_t>(found - sources_.begin()));
    show();
    return count;
}

void Labels::show() {
    shown_.assign(0x10000, -1);
    for (std::size_t i = 0; i < labels_.size(); ++i) {
        const Label& label = labels_[i];
        std::int32_t& shown = shown_[label.address];
        const bool better = shown < 0 || rank(label.name) > rank(labels_[static_cast<std::size_t>(shown)].name);
        if (rank(label.name) > 0 && better) shown = static_cast<std::int32_t>(i);
    }
}

const char* Labels::name_at(std::uint16_t address) const {
    if (shown_.empty() || shown_[address] < 0) return nullptr;
    return labels_[static_cast<std::size_t>(shown_[address])].name.c_str();
}

// The labels that `name` picks: by its own name, or else qualified.
std::vector<std::size_t> Labels::matches(std::string_view name) const {
    std::vector<std::size_t> found;
    for (std::size_t i = 0; i < labels_.size(); ++i)
        if (labels_[i].name == name) found.push_back(i);
    const std::size_t at = name.rfind('@');
    if (!found.empty() || at == 0 || at == std::string_view::npos) return found;
    const std::string_view left = name.substr(0, at);
    const std::string_view right = name.substr(at + 1);
    for (std::size_t i = 0; i < labels_.size(); ++i) {
        const Label& label = labels_[i];
        if (all_digits(right)) {
            if (label.name == left && label.source >= 0 && std::to_string(label.line) == right) found.push_back(i);
            continue;
        }
        if (label.scope < 0 || label.name.size() != right.size() + 1 || !label.name.ends_with(right)) continue;
        for (const Label& owner : labels_)
            if (owner.source == label.source && owner.address == label.scope && owner.name == left &&
                !is_local(owner.name) && !is_linker_made(owner.name)) {
                found.push_back(i);
                break;
            }
    }
    return found;
}

// A name that picks the address of the label at `index` alone, if there
// is one: what the user means is an address, whichever label says it.
std::string Labels::qualified(std::size_t index) const {
    const Label& label = labels_[index];
    const auto alone = [&](const std::string& name) {
        const std::vector<std::size_t> found = matches(name);
        for (const std::size_t other : found)
            if (labels_[other].address != label.address) return false;
        return !found.empty();
    };
    if (label.scope >= 0)
        for (const Label& owner : labels_)
            if (owner.source == label.source && owner.address == label.scope && !is_local(owner.name) &&
                !is_linker_made(owner.name) && alone(owner.name + label.name))
                return owner.name + label.name;
    if (label.source >= 0 && alone(label.name + "@" + std::to_string(label.line)))
        return label.name + "@" + std::to_string(label.line);
    return label.name;
}

LabelFind Labels::lookup(std::string_view name) const {
    name = without_dot(name);
    std::vector<std::size_t> found = matches(name);
    LabelFind result;
    if (found.empty()) {
        result.error = "unknown label " + quoted_text(name);
        return result;
    }
    // One candidate per address: several labels of one name there say the same.
    std::sort(found.begin(), found.end(), [&](std::size_t a, std::size_t b) {
        return labels_[a].address != labels_[b].address ? labels_[a].address < labels_[b].address : a < b;
    });
    found.erase(std::unique(found.begin(), found.end(),
                            [&](std::size_t a, std::size_t b) { return labels_[a].address == labels_[b].address; }),
                found.end());
    if (found.size() == 1) {
        result.address = labels_[found.front()].address;
        return result;
    }
    result.ambiguous = true;
    result.error = quoted_text(name) + " names " + std::to_string(found.size()) + " labels:";
    constexpr std::size_t LISTED = 8;
    for (std::size_t i = 0; i < found.size() && i < LISTED; ++i) {
        char address[8];
        std::snprintf(address, sizeof address, "%04X", labels_[found[i]].address);
        result.error += (i == 0 ? " " : ", ") + qualified(found[i]) + " (" + address + ")";
    }
    if (found.size() > LISTED) result.error += ", and " + std::to_string(found.size() - LISTED) + " more";
    return result;
}

std::string nearest_label(const Labels& labels, std::uint16_t address) {
    for (unsigned back = 0; back < 0x100 && back <= address; ++back)
        if (const char* name = labels.name_at(static_cast<std::uint16_t>(address - back)))
            return back == 0 ? std::string(name) : std::string(name) + "+" + std::to_string(back);
    return {};
}
