#include "inspect/lcov.hpp"

#include <cstdio>
#include <filesystem>
#include <tuple>

#include "base/text.hpp"
#include "bus/bus.hpp"
#include "debug/disassembler.hpp"
#include "debug/source_view.hpp"

namespace {
std::optional<std::uint64_t> number(std::string_view text) {
    if (text.size() > 19) return std::nullopt;
    return parse_decimal_digits(text, UINT64_MAX);
}

std::vector<std::string_view> fields(std::string_view text) {
    std::vector<std::string_view> out;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        out.push_back(text.substr(start, comma - start));
        if (comma == std::string_view::npos) return out;
        start = comma + 1;
    }
}
}  // namespace

std::string LcovReport::text() const {
    std::string out;
    char line[96];
    for (const auto& [path, file] : files) {
        out += "TN:" + test + "\nSF:" + path + "\n";
        std::size_t hit = 0;
        for (const auto& [name, function] : file.functions) out += "FN:" + std::to_string(function.line) + "," + name + "\n";
        for (const auto& [name, function] : file.functions) {
            out += "FNDA:" + std::to_string(function.count) + "," + name + "\n";
            hit += function.count != 0 ? 1 : 0;
        }
        out += "FNF:" + std::to_string(file.functions.size()) + "\nFNH:" + std::to_string(hit) + "\n";
        hit = 0;
        for (const auto& [key, count] : file.branches) {
            const auto [at, block, branch] = key;
            std::snprintf(line, sizeof line, "BRDA:%u,%u,%u,", at, block, branch);
            out += line + (count ? std::to_string(*count) : std::string("-")) + "\n";
            hit += count && *count != 0 ? 1 : 0;
        }
        out += "BRF:" + std::to_string(file.branches.size()) + "\nBRH:" + std::to_string(hit) + "\n";
        hit = 0;
        for (const auto& [at, count] : file.lines) {
            out += "DA:" + std::to_string(at) + "," + std::to_string(count) + "\n";
            hit += count != 0 ? 1 : 0;
        }
        out += "LF:" + std::to_string(file.lines.size()) + "\nLH:" + std::to_string(hit) + "\nend_of_record\n";
    }
    return out;
}

void LcovReport::add(const LcovReport& other) {
    for (const auto& [path, theirs] : other.files) {
        LcovFile& mine = files[path];
        for (const auto& [at, count] : theirs.lines) mine.lines[at] += count;
        for (const auto& [name, function] : theirs.functions) {
            LcovFunction& f = mine.functions[name];
            f.line = function.line;
            f.count += function.count;
        }
        for (const auto& [key, count] : theirs.branches) {
            std::optional<std::uint64_t>& b = mine.branches[key];
            if (count) b = b.value_or(0) + *count;
        }
    }
}

std::string parse_lcov(std::string_view text, LcovReport& out) {
    LcovFile* file = nullptr;
    unsigned number_of_line = 0;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        ++number_of_line;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty()) continue;
        const std::string at = "line " + std::to_string(number_of_line) + ": ";
        const std::size_t colon = line.find(':');
        const std::string_view key = line.substr(0, colon);
        const std::string_view value = colon == std::string_view::npos ? std::string_view() : line.substr(colon + 1);
        const auto values = fields(value);
        if (key == "end_of_record") {
            file = nullptr;
        } else if (key == "TN") {
            if (!out.test.empty() && out.test != value) return at + "a second program (" + std::string(value) + ")";
            out.test = value;
        } else if (key == "SF") {
            if (value.empty()) return at + "SF without a file name";
            file = &out.files[std::string(value)];
        } else if (file == nullptr) {
            return at + "'" + escape_control(key) + "' outside a file's record (SF ... end_of_record)";
        } else if (key == "DA") {
            const auto line_number = number(values[0]);
            const auto count = values.size() >= 2 ? number(values[1]) : std::nullopt;
            if (!line_number || !count) return at + "DA needs a line and a count";
            file->lines[static_cast<std::uint32_t>(*line_number)] += *count;
        } else if (key == "FN") {
            const auto line_number = number(values[0]);
            if (!line_number || values.size() < 2) return at + "FN needs a line and a name";
            file->functions[std::string(value.substr(values[0].size() + 1))].line = static_cast<std::uint32_t>(*line_number);
        } else if (key == "FNDA") {
            const auto count = number(values[0]);
            if (!count || values.size() < 2) return at + "FNDA needs a count and a name";
            file->functions[std::string(value.substr(values[0].size() + 1))].count += *count;
        } else if (key == "BRDA") {
            if (values.size() != 4) return at + "BRDA needs a line, a block, a branch and a count";
            const auto line_number = number(values[0]);
            const auto block = number(values[1]);
            const auto branch = number(values[2]);
            const auto count = number(values[3]);
            if (!line_number || !block || !branch || (!count && values[3] != "-"))
                return at + "BRDA needs a line, a block, a branch and a count";
            auto& b = file->branches[{static_cast<std::uint32_t>(*line_number), static_cast<std::uint32_t>(*block),
                                      static_cast<std::uint32_t>(*branch)}];
            if (count) b = b.value_or(0) + *count;
        } else if (key == "FNF" || key == "FNH" || key == "BRF" || key == "BRH" || key == "LF" || key == "LH") {
            // totals: worked out again when written
        } else {
            return at + "'" + escape_control(key) + "' is no record of a tracefile";
        }
    }
    if (file != nullptr) return "the last record has no end_of_record: the file was cut short";
    return {};
}

LcovReport lcov_report(const CoverageCounts& counts, const debug_info::DebugInfo& info, const std::string& debug_file,
                       const std::string& test) {
    LcovReport report;
    report.test = test;
    SourceFiles sources(info, debug_file);
    std::map<std::uint32_t, std::string> paths;  // by file id: "" when not found
    const auto path_of = [&](std::uint32_t file) -> const std::string& {
        auto found = paths.find(file);
        if (found != paths.end()) return found->second;
        std::string path = sources.path(file);
        if (!path.empty()) {
            std::error_code error;
            const std::filesystem::path absolute = std::filesystem::absolute(path, error);
            if (!error) path = absolute.lexically_normal().generic_string();
        }
        return paths.emplace(file, path).first->second;
    };
    std::map<std::pair<std::uint32_t, std::uint32_t>, std::uint32_t> blocks;  // (file, line): branches numbered so far
    for (const debug_info::Line& line : info.lines()) {
        if (line.kind == debug_info::LineKind::macro) continue;
        const std::string& path = path_of(line.file);
        if (path.empty()) continue;
        bool code = false;
        std::uint64_t count = 0;
        for (const std::uint32_t id : line.spans) {
            const debug_info::Span& span = info.spans()[id];
            if (span.size == 0 || (span.type != debug_info::NONE && line.kind != debug_info::LineKind::c)) continue;
            if (span.start > 0xFFFF) continue;
            code = true;
            count = std::max(count, counts.runs(static_cast<std::uint16_t>(span.start)));
            // The conditional branches among its instructions.
            for (std::uint32_t a = span.start; a < span.start + span.size && a <= 0xFFFF;) {
                const auto address = static_cast<std::uint16_t>(a);
                const std::uint8_t opcode = bus_peek(address);
                const std::uint8_t length = counts.branch_length(opcode);
                if (length != 0) {
                    std::uint32_t& block = blocks[{line.file, line.line}];
                    LcovFile& file = report.files[path];
                    const std::uint64_t runs = counts.runs(address);
                    const std::uint64_t taken = counts.taken(address);
                    const bool ran = counts.runs(static_cast<std::uint16_t>(span.start)) != 0 || runs != 0;
                    file.branches[{line.line, block, 0}] = ran ? std::optional<std::uint64_t>(taken) : std::nullopt;
                    file.branches[{line.line, block, 1}] = ran ? std::optional<std::uint64_t>(runs - taken) : std::nullopt;
                    ++block;
                }
                a += static_cast<std::uint32_t>(instruction_length(opcode));
            }
        }
        if (!code) continue;
        std::uint64_t& shown = report.files[path].lines[line.line];
        shown = std::max(shown, count);
    }
    for (std::uint32_t scope = 0; scope < info.scopes().size(); ++scope) {
        const debug_info::Scope& s = info.scopes()[scope];
        if (!s.is_procedure || s.name.empty()) continue;
        const debug_info::Symbol* entry = s.symbol != debug_info::NONE ? &info.symbols()[s.symbol] : nullptr;
        if (entry == nullptr || !entry->value || *entry->value > 0xFFFF) continue;
        const auto at = static_cast<std::uint16_t>(*entry->value);
        const auto where = info.location(at);
        if (!where) continue;
        const std::string& path = path_of(where->file);
        if (path.empty()) continue;
        std::string name = s.name;
        // A C function's assembly name is the C name with an underscore.
        if (where->kind == debug_info::LineKind::c && name.size() > 1 && name[0] == '_') name.erase(0, 1);
        LcovFunction& f = report.files[path].functions[name];
        f.line = where->line;
        f.count = counts.runs(at);
    }
    return report;
}

std::string lcov_test_name(std::string_view image_bytes) {
    std::uint64_t hash = 0xcbf29ce484222325ull;  // FNV-1a
    for (const char c : image_bytes) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001b3ull;
    }
    char text[32];
    std::snprintf(text, sizeof text, "emu6502_%016llx", static_cast<unsigned long long>(hash));
    return text;
}
