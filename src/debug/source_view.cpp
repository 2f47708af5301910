#include "debug/source_view.hpp"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "host/files.hpp"

namespace {
// Source files larger than this are not shown (no program's are).
constexpr std::size_t MAX_SOURCE_BYTES = 8u << 20;

void escape(std::string& out, unsigned char byte) {
    static constexpr char DIGITS[] = "0123456789ABCDEF";
    out += "\\x";
    out += DIGITS[byte >> 4];
    out += DIGITS[byte & 0xF];
}

// The length of the UTF-8 sequence at `text[i]`, or 0 when it is none.
std::size_t utf8_length(std::string_view text, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    std::size_t length = 0;
    std::uint32_t code = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0Fu;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07u;
    } else {
        return 0;
    }
    if (i + length > text.size()) return 0;
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
        code = (code << 6) | (byte(i + k) & 0x3Fu);
    }
    const std::uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < least[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
    if (code >= 0x80 && code <= 0x9F) return 0;  // C1 controls: escaped like C0
    return length;
}
}  // namespace

std::string printable_source_line(std::string_view line) {
    std::string out;
    std::size_t column = 0;
    for (std::size_t i = 0; i < line.size();) {
        const auto c = static_cast<unsigned char>(line[i]);
        if (c == '\t') {
            const std::size_t spaces = 8 - column % 8;
            out.append(spaces, ' ');
            column += spaces;
            ++i;
        } else if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
            ++column;
            ++i;
        } else if (const std::size_t length = c >= 0x80 ? utf8_length(line, i) : 0; length != 0) {
            out.append(line.substr(i, length));
            ++column;
            i += length;
        } else {
            escape(out, c);
            column += 4;
            ++i;
        }
    }
    return out;
}

SourceFiles::SourceFiles(const debug_info::DebugInfo& info, std::string debug_file) : info_(info) {
    const std::size_t slash = debug_file.find_last_of("/\\");
    if (slash != std::string::npos) folder_ = debug_file.substr(0, slash + 1);
}

const SourceFiles::Text& SourceFiles::text(std::uint32_t file) {
    const auto known = texts_.find(file);
    if (known != texts_.end()) return known->second;
    Text& text = texts_[file];
    if (file >= info_.files().size()) return text;
    const debug_info::SourceFile& recorded = info_.files()[file];
    const std::string& name = recorded.name;
    const bool absolute = name.starts_with('/') || name.starts_with('\\') || (name.size() > 1 && name[1] == ':');
    const std::size_t slash = name.find_last_of("/\\");
    // As recorded (from the folder of the build, often the current one),
    // then from the debug file's folder, then by its last component there.
    std::vector<std::string> candidates{name};
    if (!absolute) candidates.push_back(folder_ + name);
    if (slash != std::string::npos) candidates.push_back(folder_ + name.substr(slash + 1));

    const std::unique_ptr<std::uint8_t[]> buffer(new std::uint8_t[MAX_SOURCE_BYTES]);
    for (const std::string& path : candidates) {
        const FileRead r = host_read_plain_file(path.c_str(), std::span<std::uint8_t>(buffer.get(), MAX_SOURCE_BYTES));
        if (r.status != FileReadStatus::ok) continue;
        text.path = path;
        text.changed = recorded.size != 0 && r.size != recorded.size;
        std::string_view rest(reinterpret_cast<const char*>(buffer.get()), r.size);
        while (!rest.empty()) {
            const std::size_t end = rest.find('\n');
            std::string_view line = rest.substr(0, end);
            if (line.ends_with('\r')) line.remove_suffix(1);
            text.lines.emplace_back(line);
            rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
        }
        break;
    }
    return text;
}

std::optional<std::string> SourceFiles::line(std::uint32_t file, std::uint32_t line) {
    const Text& source = text(file);
    if (line == 0 || line > source.lines.size()) return std::nullopt;
    return printable_source_line(source.lines[line - 1]);
}

std::string SourceFiles::path(std::uint32_t file) { return text(file).path; }

bool SourceFiles::changed(std::uint32_t file) { return text(file).changed; }

std::vector<std::string> SourceFiles::listing(std::uint32_t file, std::uint32_t line, std::uint32_t before,
                                              std::uint32_t after) {
    const std::uint32_t first = line > before ? line - before : 1;
    const auto last = static_cast<std::uint32_t>(std::min<std::uint64_t>(std::uint64_t{line} + after, UINT32_MAX));
    return listing_range(file, first, last, line);
}

std::vector<std::string> SourceFiles::listing_range(std::uint32_t file, std::uint32_t first, std::uint32_t last,
                                                    std::uint32_t mark) {
    const Text& source = text(file);
    std::vector<std::string> shown;
    const std::uint64_t end = std::min<std::uint64_t>(last, source.lines.size());
    for (std::uint64_t n = std::max<std::uint32_t>(first, 1); n <= end; ++n) {
        char number[16];
        std::snprintf(number, sizeof number, "%c%5llu", n == mark ? '>' : ' ', static_cast<unsigned long long>(n));
        const std::string text = printable_source_line(source.lines[n - 1]);
        shown.push_back(text.empty() ? number : number + ("  " + text));
    }
    return shown;
}
