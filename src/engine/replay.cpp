#include "engine/replay.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "base/text.hpp"
#include "engine/run_options.hpp"
#include "host/files.hpp"

namespace {
constexpr char HEADER[] = "emu6502 replay 1";

std::string at_line(unsigned line, const std::string& what) { return "line " + std::to_string(line) + ": " + what; }

std::string not_a_replay_file() {
    return at_line(1, std::string("not a replay file (the first line must be '") + HEADER + "')");
}

std::FILE* record_file = nullptr;
std::string record_path;
int record_error = 0;  // errno of the first line that could not be written

void record_flush() {
    if (std::fflush(record_file) != 0 && record_error == 0) record_error = errno != 0 ? errno : EIO;
}
}  // namespace

std::string parse_replay(std::string_view text, ReplayScript& script) {
    ReplayScript read;
    bool header = false, seed = false, time = false, memory = false, chip = false;
    unsigned number = 0;
    while (!text.empty()) {
        ++number;
        const std::size_t newline = text.find('\n');
        std::string_view line = text.substr(0, newline);
        text = newline == std::string_view::npos ? std::string_view{} : text.substr(newline + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (!header) {
            if (line != HEADER) return not_a_replay_file();
            header = true;
            continue;
        }
        if (line.empty() || line.front() == '#') continue;
        if (read.end) return at_line(number, "nothing may follow the end line");
        // A NUL would end a value early and let the rest pass unread.
        if (line.find('\0') != std::string_view::npos)
            return at_line(number, "not a line of a replay file: '" + escape_control(line) + "'");
        const std::vector<std::string_view> views = split_words(line, " ");
        const std::vector<std::string> words(views.begin(), views.end());
        const std::string& kind = words.empty() ? std::string() : words[0];
        const bool option =
            (kind == "seed" || kind == "time" || kind == "memory" || kind == "cpu") && words.size() == 2;
        const bool seen = kind == "seed" ? seed : kind == "time" ? time : kind == "cpu" ? chip : memory;
        if (option && (seen || !read.keys.empty())) {
            return at_line(number, "seed, time, cpu and memory come once each, before the keys");
        } else if (kind == "cpu" && words.size() == 2) {
            bool known = false;
            for (const Chip candidate : ALL_CHIPS) {
                if (words[1] == chip_name(candidate)) {
                    read.chip = candidate;
                    known = true;
                }
            }
            if (!known) return at_line(number, "the cpu must be 6502, 6502X or 65C02");
            chip = true;
        } else if (kind == "memory" && words.size() == 2) {
            const auto value = words[1].size() == 16 ? parse_hex_digits(words[1], UINT64_MAX) : std::nullopt;
            if (!value) return at_line(number, "the memory must be 16 hexadecimal digits");
            read.memory_fingerprint = *value;
            read.memory_line = number;
            memory = true;
        } else if (kind == "seed" && words.size() == 2) {
            const auto value = parse_count(words[1].c_str());
            if (!value) return at_line(number, "the seed must be a whole number");
            read.seed = *value;
            seed = true;
        } else if (kind == "time" && words.size() == 2) {
            const auto value = parse_time_option(words[1].c_str());
            if (!value) return at_line(number, "the time must be a date and time like 2024-02-29T23:59:59");
            if (!year_register_holds(*value)) return at_line(number, "the time needs a year from 2000 to 2255");
            read.start_time = *value;
            time = true;
        } else if (kind == "key" && words.size() == 3) {
            const auto count = parse_count(words[1].c_str());
            const auto code = parse_count(words[2].c_str());
            if (!count || !code || *code < 1 || *code > 255)
                return at_line(number, "a key needs an instruction count and a code from 1 to 255");
            if (!read.keys.empty() && *count < read.keys.back().instruction)
                return at_line(number, "the instruction counts of the keys must not decrease");
            read.keys.push_back({*count, static_cast<std::uint8_t>(*code)});
            read.key_lines.push_back(number);
        } else if (kind == "end" && words.size() == 3 && (words[2] == "program" || words[2] == "stopped")) {
            const auto count = parse_count(words[1].c_str());
            if (!count) return at_line(number, "the end needs an instruction count");
            if (!read.keys.empty() && *count <= read.keys.back().instruction)
                return at_line(number, "the end comes before the last key was read");
            read.end = RecordedEnd{*count, words[2] == "program", number};
        } else {
            return at_line(number, "not a line of a replay file: '" + escape_control(line) + "'");
        }
    }
    if (!header) return not_a_replay_file();
    script = std::move(read);
    return {};
}

std::string load_replay(const char* path, ReplayScript& script) {
    std::vector<std::uint8_t> buffer;
    const FileRead read = host_read_file(path, buffer);
    const std::string name = std::string("replay file '") + path + "'";
    if (read.status != FileReadStatus::ok) return "can't read " + name + ": " + host_error_text(read.error);
    const std::string error =
        parse_replay(std::string_view(reinterpret_cast<const char*>(buffer.data()), read.size), script);
    return error.empty() ? error : name + " " + error;
}

std::uint64_t memory_fingerprint() {
    std::uint64_t hash = 0xCBF29CE484222325ull;
    for (const u8 byte : memory) hash = (hash ^ byte) * 0x100000001B3ull;
    return hash;
}

bool is_recording(const std::optional<std::string>& start) {
    return !start || start->compare(0, std::strlen("emu6502 replay "), "emu6502 replay ") == 0;
}

std::string record_open(const char* path, std::uint64_t seed, std::int64_t start_time, Chip chip,
                        std::uint64_t memory_fingerprint) {
    record_path = path;
    record_file = host_create_file(path);
    if (record_file == nullptr) return std::string("can't write replay file '") + path + "': " + host_error_text(errno);
    std::fprintf(record_file, "%s\nseed %llu\ntime %s\ncpu %s\nmemory %016llx\n", HEADER,
                 static_cast<unsigned long long>(seed), format_time_option(start_time).c_str(), chip_name(chip),
                 static_cast<unsigned long long>(memory_fingerprint));
    record_flush();
    if (record_error == 0) return {};
    std::fclose(record_file);
    record_file = nullptr;
    return std::string("can't write replay file '") + path + "': " + host_error_text(record_error);
}

// Each line is flushed: a run killed outright still leaves its keys.
void record_key(std::uint64_t instruction, std::uint8_t key) {
    if (record_file == nullptr) return;
    std::fprintf(record_file, "key %llu %u\n", static_cast<unsigned long long>(instruction), key);
    record_flush();
}

std::string record_end(std::uint64_t instructions, bool program_ended) {
    if (record_file == nullptr) return {};
    std::fprintf(record_file, "end %llu %s\n", static_cast<unsigned long long>(instructions),
                 program_ended ? "program" : "stopped");
    record_flush();
    if (std::fclose(record_file) != 0 && record_error == 0) record_error = errno != 0 ? errno : EIO;
    record_file = nullptr;
    if (record_error == 0) return {};
    return "can't write replay file '" + record_path + "': " + host_error_text(record_error);
}
