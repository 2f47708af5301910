#include "debug/debug_info.hpp"

#include <algorithm>
#include <charconv>
#include <map>
#include <memory>

#include "host/files.hpp"

namespace debug_info {
namespace {

// No real program comes near: a hostile "info" line must not make the
// parser reserve gigabytes.
constexpr std::uint32_t MAX_RECORDS = 1u << 22;
constexpr std::size_t MAX_FILE_BYTES = 16u << 20;
constexpr std::uint32_t ADDRESS_SPACE = 0x10000;

// One record's key=value pairs, as text.
struct Record {
    std::vector<std::pair<std::string_view, std::string_view>> pairs;

    [[nodiscard]] const std::string_view* find(std::string_view key) const {
        for (const auto& [k, v] : pairs)
            if (k == key) return &v;
        return nullptr;
    }
};

// Splits "a=1,b="x,y",c=2" at the commas outside quotes.
bool split_record(std::string_view text, Record& record) {
    record.pairs.clear();
    while (!text.empty()) {
        const std::size_t eq = text.find('=');
        if (eq == std::string_view::npos || eq == 0) return false;
        const std::string_view key = text.substr(0, eq);
        text.remove_prefix(eq + 1);
        std::size_t end = 0;
        if (text.starts_with('"')) {
            // A string ends at the quote before a comma or the line's end:
            // names may hold quotes of their own.
            std::size_t close = 1;
            for (;;) {
                close = text.find('"', close);
                if (close == std::string_view::npos) return false;
                if (close + 1 == text.size() || text[close + 1] == ',') break;
                ++close;
            }
            end = close + 1;
        } else {
            end = std::min(text.find(','), text.size());
        }
        record.pairs.emplace_back(key, text.substr(0, end));
        text.remove_prefix(end);
        if (text.starts_with(',')) {
            text.remove_prefix(1);
            if (text.empty()) return false;
        }
    }
    return true;
}

std::optional<std::uint32_t> number(std::string_view text) {
    int base = 10;
    if (text.starts_with("0x") || text.starts_with("0X")) {
        base = 16;
        text.remove_prefix(2);
    }
    std::uint32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::optional<std::int32_t> signed_number(std::string_view text) {
    const bool negative = text.starts_with('-');
    if (negative) text.remove_prefix(1);
    const auto value = number(text);
    if (!value || *value > 0x7FFFFFFFu) return std::nullopt;
    return negative ? -static_cast<std::int32_t>(*value) : static_cast<std::int32_t>(*value);
}

std::optional<std::string> quoted(std::string_view text) {
    if (text.size() < 2 || !text.starts_with('"') || !text.ends_with('"')) return std::nullopt;
    return std::string(text.substr(1, text.size() - 2));
}

std::optional<std::vector<std::uint32_t>> id_list(std::string_view text) {
    std::vector<std::uint32_t> ids;
    for (;;) {
        const std::size_t plus = text.find('+');
        const auto id = number(text.substr(0, plus));
        if (!id) return std::nullopt;
        ids.push_back(*id);
        if (plus == std::string_view::npos) return ids;
        text.remove_prefix(plus + 1);
    }
}

// Reads the fields of one record kind; `error` names the first bad one.
class Fields {
public:
    explicit Fields(const Record& record) : record_(record) {}

    std::uint32_t id(const char* key, bool required = true) {
        const std::string_view* text = record_.find(key);
        if (text == nullptr) {
            if (required) fail(key, "missing");
            return NONE;
        }
        const auto value = number(*text);
        if (!value || *value == NONE) fail(key, "not a number");
        return value.value_or(NONE);
    }
    std::optional<std::uint32_t> optional_number(const char* key) {
        const std::string_view* text = record_.find(key);
        if (text == nullptr) return std::nullopt;
        const auto value = number(*text);
        if (!value) fail(key, "not a number");
        return value;
    }
    std::int32_t signed_value(const char* key) {
        const std::string_view* text = record_.find(key);
        if (text == nullptr) return 0;  // ld65 leaves out an offset of 0
        const auto value = signed_number(*text);
        if (!value) fail(key, "not a number");
        return value.value_or(0);
    }
    std::string string(const char* key, bool required = true) {
        const std::string_view* text = record_.find(key);
        if (text == nullptr) {
            if (required) fail(key, "missing");
            return {};
        }
        auto value = quoted(*text);
        if (!value) fail(key, "not a quoted string");
        return value.value_or(std::string());
    }
    std::string_view word(const char* key) {
        const std::string_view* text = record_.find(key);
        return text == nullptr ? std::string_view() : *text;
    }
    std::vector<std::uint32_t> ids(const char* key) {
        const std::string_view* text = record_.find(key);
        if (text == nullptr) return {};
        auto value = id_list(*text);
        if (!value) fail(key, "not a list of ids");
        return value.value_or(std::vector<std::uint32_t>());
    }
    [[nodiscard]] const std::string& error() const { return error_; }

private:
    void fail(const char* key, const char* what) {
        if (error_.empty()) error_ = std::string("'") + key + "' " + what;
    }
    const Record& record_;
    std::string error_;
};

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::string hex4(std::uint32_t value) {
    static constexpr char DIGITS[] = "0123456789ABCDEF";
    std::string text = "0x0000";
    for (int i = 0; i < 4; ++i) text[5 - i] = DIGITS[(value >> (4 * i)) & 0xF];
    return text;
}

// A record table: records land at their id; the "info" line says how many.
template <class T>
bool place(std::vector<T>& table, std::vector<bool>& seen, std::uint32_t id, T&& value) {
    if (id >= table.size() || seen[id]) return false;
    table[id] = std::move(value);
    seen[id] = true;
    return true;
}

}  // namespace

TypeInfo decode_type(std::string_view hex) {
    std::vector<std::uint8_t> bytes;
    if (hex.size() % 2 != 0) return {};
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const int high = hex_digit(hex[i]);
        const int low = hex_digit(hex[i + 1]);
        if (high < 0 || low < 0) return {};
        bytes.push_back(static_cast<std::uint8_t>(high << 4 | low));
    }
    // As ca65 writes its data: 0x80 COUNT ELEMENT for an array; 0x2N an
    // integer of N+1 bytes, 0x5N the same most significant byte first;
    // 0x4N a pointer of N+1 bytes followed by what it points to.
    const auto scalar = [](std::uint8_t code, TypeInfo& type) {
        const std::uint32_t size = (code & 0x0Fu) + 1;
        switch (code >> 4) {
        case 0x2: type = {TypeInfo::Kind::integer, size, 0, false, 0}; return true;
        case 0x5: type = {TypeInfo::Kind::integer, size, 0, true, 0}; return true;
        case 0x4: type = {TypeInfo::Kind::pointer, size, 0, false, 0}; return true;
        default: return false;
        }
    };
    TypeInfo type;
    if (bytes.size() >= 3 && bytes[0] == 0x80) {
        TypeInfo element;
        if (!scalar(bytes[2], element) || bytes[1] == 0) return {};
        type = {TypeInfo::Kind::array, element.size * bytes[1], bytes[1], element.big_endian, element.size};
        return type;
    }
    if (!bytes.empty() && scalar(bytes[0], type)) return type;
    return {};
}

std::string DebugInfo::parse(std::string_view text) {
    *this = DebugInfo();
    std::string fault = read_records(text);
    if (fault.empty()) fault = link_and_check();
    if (!fault.empty()) {
        *this = DebugInfo();  // nothing of a bad file is used
        return fault;
    }
    index_lines();
    return {};
}

std::string DebugInfo::read_records(std::string_view text) {
    // Every record takes a line: no count in the info line can be more,
    // and none makes the parser reserve more.
    const auto text_lines = static_cast<std::uint32_t>(std::min<std::size_t>(
        static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')), MAX_RECORDS));
    Record record;
    std::map<std::string_view, std::uint32_t> counts;
    bool have_version = false;
    bool have_info = false;
    std::vector<bool> seen_files, seen_segments, seen_spans, seen_lines, seen_scopes, seen_symbols, seen_csymbols,
        seen_modules, seen_types;
    unsigned line_number = 0;
    while (!text.empty()) {
        ++line_number;
        const std::size_t newline = text.find('\n');
        if (newline == std::string_view::npos) {
            // ld65 ends every line: a last line without one was cut off.
            return "truncated: line " + std::to_string(line_number) + " ends without a newline";
        }
        std::string_view line = text.substr(0, newline);
        text.remove_prefix(newline + 1);
        if (line.ends_with('\r')) line.remove_suffix(1);
        if (line.empty()) continue;
        const std::string where = "line " + std::to_string(line_number) + ": ";
        const std::size_t tab = line.find('\t');
        if (tab == std::string_view::npos || !split_record(line.substr(tab + 1), record))
            return have_version ? where + "not a record of the form KEYWORD<tab>key=value,..."
                                : "not a cc65 linker debug file (it does not start with a version line)";
        const std::string_view keyword = line.substr(0, tab);
        Fields fields(record);
        if (!have_version) {
            if (keyword != "version") return "not a cc65 linker debug file (it does not start with a version line)";
            const auto major = fields.optional_number("major");
            const auto minor = fields.optional_number("minor");
            if (!major || !minor) return where + "a version line without major and minor numbers";
            if (*major != 2)
                return "version " + std::to_string(*major) + "." + std::to_string(*minor) +
                       ", this emulator reads version 2";
            have_version = true;
            continue;
        }
        if (keyword == "info") {
            if (have_info) return where + "a second info line";
            have_info = true;
            for (const auto& [key, value] : record.pairs) {
                const auto count = number(value);
                if (!count || *count > MAX_RECORDS)
                    return where + "the count of '" + std::string(key) + "' is not a sane number";
                counts[key] = *count;
            }
            const auto size = [&](auto& table, std::vector<bool>& seen, const char* key) {
                const auto found = counts.find(key);
                const std::uint32_t n = found == counts.end() ? 0 : std::min(found->second, text_lines);
                table.resize(n);
                seen.assign(n, false);
            };
            size(files_, seen_files, "file");
            size(segments_, seen_segments, "seg");
            size(spans_, seen_spans, "span");
            size(lines_, seen_lines, "line");
            size(scopes_, seen_scopes, "scope");
            size(symbols_, seen_symbols, "sym");
            size(csymbols_, seen_csymbols, "csym");
            size(modules_, seen_modules, "mod");
            size(types_, seen_types, "type");
            continue;
        }
        // Other keywords ("lib", and what later versions may add) carry
        // nothing this emulator uses.
        static constexpr std::string_view KNOWN[] = {"file", "seg", "span", "line", "scope",
                                                     "sym",  "csym", "mod", "type"};
        if (std::find(std::begin(KNOWN), std::end(KNOWN), keyword) == std::end(KNOWN)) continue;
        if (!have_info) return where + "a '" + std::string(keyword) + "' record before the info line";
        bool placed = true;
        const std::uint32_t id = fields.id("id");
        if (keyword == "file") {
            SourceFile file{fields.string("name"), fields.optional_number("size").value_or(0),
                            fields.optional_number("mtime").value_or(0), fields.ids("mod")};
            placed = place(files_, seen_files, id, std::move(file));
        } else if (keyword == "seg") {
            Segment segment{fields.string("name"), fields.id("start"), fields.id("size"), fields.string("oname", false),
                            fields.optional_number("ooffs").value_or(NONE), fields.word("type") == "ro"};
            placed = place(segments_, seen_segments, id, std::move(segment));
        } else if (keyword == "span") {
            Span span{fields.id("seg"), fields.id("start"), fields.id("size"), fields.id("type", false)};
            placed = place(spans_, seen_spans, id, std::move(span));
        } else if (keyword == "line") {
            const auto kind = fields.optional_number("type").value_or(0);
            if (kind > 2) return where + "field 'type' is no line type this emulator knows";
            Line entry{fields.id("file"), fields.id("line"), static_cast<LineKind>(std::min<std::uint32_t>(kind, 2)),
                       fields.ids("span")};
            placed = place(lines_, seen_lines, id, std::move(entry));
        } else if (keyword == "scope") {
            Scope scope{fields.string("name"), fields.id("mod", false), fields.id("parent", false),
                        fields.id("sym", false), fields.word("type") == "scope", fields.ids("span")};
            placed = place(scopes_, seen_scopes, id, std::move(scope));
        } else if (keyword == "sym") {
            const std::string_view type = fields.word("type");
            Symbol symbol{fields.string("name"),
                          type == "imp" ? SymbolKind::import : type == "lab" ? SymbolKind::label : SymbolKind::equate,
                          fields.id("scope", false),
                          fields.id("seg", false),
                          fields.optional_number("val"),
                          fields.optional_number("size")};
            placed = place(symbols_, seen_symbols, id, std::move(symbol));
        } else if (keyword == "csym") {
            const std::string_view sc = fields.word("sc");
            CSymbol symbol{fields.string("name"),
                           fields.id("scope"),
                           fields.id("type", false),
                           sc == "ext"      ? Storage::external
                           : sc == "static" ? Storage::static_
                           : sc == "reg"    ? Storage::reg
                                            : Storage::automatic,
                           fields.signed_value("offs"),
                           fields.id("sym", false)};
            placed = place(csymbols_, seen_csymbols, id, std::move(symbol));
        } else if (keyword == "mod") {
            Module module{fields.string("name"), fields.id("file", false)};
            placed = place(modules_, seen_modules, id, std::move(module));
        } else if (keyword == "type") {
            std::string value = fields.string("val");
            placed = place(types_, seen_types, id, std::move(value));
        }
        if (!fields.error().empty()) return where + "field " + fields.error();
        if (!placed)
            return where + "'" + std::string(keyword) + "' id " + std::to_string(id) +
                   " is repeated or beyond the info line's count";
    }
    if (!have_version) return "the file is empty";  // or only blank lines
    if (!have_info) return "truncated: no info line";
    const auto missing = [&](const std::vector<bool>& seen, const char* kind) -> std::string {
        const auto have = static_cast<std::size_t>(std::count(seen.begin(), seen.end(), true));
        const auto claimed = kind == std::string_view("file") ? seen.size() : counts[kind];
        if (have == claimed) return {};
        return "truncated: " + std::to_string(have) + " of " + std::to_string(claimed) + " " + kind + " records";
    };
    // ld65 counts more files in its info line than it lists (each module's
    // own, shared ones again): the ids it lists run from 0 without gaps.
    const auto listed = std::find(seen_files.rbegin(), seen_files.rend(), true);
    const auto file_count = static_cast<std::size_t>(seen_files.rend() - listed);
    files_.resize(file_count);
    seen_files.resize(file_count);
    for (const std::string& fault :
         {missing(seen_csymbols, "csym"), missing(seen_files, "file"), missing(seen_lines, "line"),
          missing(seen_modules, "mod"), missing(seen_scopes, "scope"), missing(seen_segments, "seg"),
          missing(seen_spans, "span"), missing(seen_symbols, "sym"), missing(seen_types, "type")})
        if (!fault.empty()) return fault;
    return {};
}

// References between the records, and spans made absolute.
std::string DebugInfo::link_and_check() {
    const auto bad = [](const char* kind, std::size_t id, const char* what) {
        return std::string("'") + kind + "' id " + std::to_string(id) + ": " + what;
    };
    const auto valid = [](std::uint32_t id, std::size_t size) { return id == NONE || id < size; };
    for (std::size_t i = 0; i < segments_.size(); ++i) {
        const Segment& s = segments_[i];
        if (s.start > ADDRESS_SPACE || s.size > ADDRESS_SPACE - s.start) return bad("seg", i, "lies beyond 64 KiB");
    }
    for (std::size_t i = 0; i < spans_.size(); ++i) {
        Span& span = spans_[i];
        if (span.segment >= segments_.size()) return bad("span", i, "names no segment");
        const Segment& s = segments_[span.segment];
        if (span.start > s.size || span.size > s.size - span.start) return bad("span", i, "lies outside its segment");
        if (!valid(span.type, types_.size())) return bad("span", i, "names no type");
        span.start += s.start;
    }
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        if (lines_[i].file >= files_.size()) return bad("line", i, "names no file");
        for (const std::uint32_t span : lines_[i].spans)
            if (span >= spans_.size()) return bad("line", i, "names no span");
    }
    for (std::size_t i = 0; i < scopes_.size(); ++i) {
        const Scope& scope = scopes_[i];
        if (!valid(scope.module, modules_.size()) || !valid(scope.parent, scopes_.size()) ||
            !valid(scope.symbol, symbols_.size()))
            return bad("scope", i, "names a missing record");
        for (const std::uint32_t span : scope.spans)
            if (span >= spans_.size()) return bad("scope", i, "names no span");
    }
    for (std::size_t i = 0; i < symbols_.size(); ++i) {
        const Symbol& symbol = symbols_[i];
        if (!valid(symbol.scope, scopes_.size()) || !valid(symbol.segment, segments_.size()))
            return bad("sym", i, "names a missing record");
    }
    for (std::size_t i = 0; i < csymbols_.size(); ++i) {
        const CSymbol& symbol = csymbols_[i];
        if (!valid(symbol.scope, scopes_.size()) || !valid(symbol.type, types_.size()) ||
            !valid(symbol.symbol, symbols_.size()))
            return bad("csym", i, "names a missing record");
    }
    for (std::size_t i = 0; i < modules_.size(); ++i)
        if (!valid(modules_[i].file, files_.size())) return bad("mod", i, "names no file");
    for (std::size_t i = 0; i < files_.size(); ++i)
        for (const std::uint32_t module : files_[i].modules)
            if (module >= modules_.size()) return bad("file", i, "names no module");
    return {};
}

namespace {
int kind_rank(LineKind kind) {
    switch (kind) {
    case LineKind::c: return 0;
    case LineKind::assembly: return 1;
    case LineKind::macro: return 2;
    }
    return 3;
}
}  // namespace

void DebugInfo::index_lines() {
    line_at_.assign(ADDRESS_SPACE, -1);
    std::vector<std::uint32_t> best_size(ADDRESS_SPACE, UINT32_MAX);
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const Line& line = lines_[i];
        for (const std::uint32_t span_id : line.spans) {
            const Span& span = spans_[span_id];
            for (std::uint32_t a = span.start; a < span.start + span.size; ++a) {
                const std::int32_t current = line_at_[a];
                const bool better =
                    current < 0 || kind_rank(line.kind) < kind_rank(lines_[current].kind) ||
                    (line.kind == lines_[current].kind && span.size < best_size[a]);
                if (better) {
                    line_at_[a] = static_cast<std::int32_t>(i);
                    best_size[a] = span.size;
                }
            }
        }
    }
}

std::string DebugInfo::check_image(std::span<const std::uint8_t> image, std::uint32_t load_address) const {
    std::uint32_t extent = 0;
    bool any = false;
    for (const Segment& s : segments_) {
        if (s.output_offset == NONE || s.size == 0) continue;
        any = true;
        if (s.output_offset > image.size() || s.size > image.size() - s.output_offset)
            return "for another image: its " + s.name + " segment ends at byte " +
                   std::to_string(std::uint64_t{s.output_offset} + s.size) + ", the image has " +
                   std::to_string(image.size());
        if (s.start != load_address + s.output_offset)
            return "for another load address: its " + s.name + " segment is at " + hex4(s.start) +
                   ", the image puts it at " + hex4(load_address + s.output_offset);
        extent = std::max(extent, s.output_offset + s.size);
    }
    if (!any) return "for another image: it places no bytes in an output file";
    if (extent != image.size())
        return "for another image: its segments fill " + std::to_string(extent) + " bytes, the image has " +
               std::to_string(image.size());
    return {};
}

std::optional<Location> DebugInfo::location(std::uint16_t address) const {
    if (line_at_.empty() || line_at_[address] < 0) return std::nullopt;
    const Line& line = lines_[static_cast<std::size_t>(line_at_[address])];
    Location where{line.file, line.line, line.kind, 0, 0};
    // The span of this line that holds the address, the smallest if several do.
    std::uint32_t best = UINT32_MAX;
    for (const std::uint32_t id : line.spans) {
        const Span& span = spans_[id];
        if (address >= span.start && address < span.start + span.size && span.size < best) {
            best = span.size;
            where.span_start = span.start;
            where.span_size = span.size;
        }
    }
    return where;
}

std::vector<std::uint32_t> DebugInfo::find_files(std::string_view name) const {
    std::vector<std::uint32_t> found;
    const bool bare = name.find_first_of("/\\") == std::string_view::npos;
    for (std::size_t i = 0; i < files_.size(); ++i) {
        std::string_view recorded = files_[i].name;
        if (bare) {
            const std::size_t slash = recorded.find_last_of("/\\");
            if (slash != std::string_view::npos) recorded.remove_prefix(slash + 1);
        }
        if (recorded == name) found.push_back(static_cast<std::uint32_t>(i));
    }
    return found;
}

std::vector<std::uint16_t> DebugInfo::addresses(std::string_view file, std::uint32_t line) const {
    const std::vector<std::uint32_t> files = find_files(file);
    std::vector<std::uint16_t> found;
    for (const Line& entry : lines_) {
        if (entry.line != line || std::find(files.begin(), files.end(), entry.file) == files.end()) continue;
        for (const std::uint32_t span : entry.spans)
            if (spans_[span].size > 0) found.push_back(static_cast<std::uint16_t>(spans_[span].start));
    }
    std::sort(found.begin(), found.end());
    found.erase(std::unique(found.begin(), found.end()), found.end());
    return found;
}

std::optional<std::uint32_t> DebugInfo::line_with_code(std::string_view file, std::uint32_t line,
                                                       std::uint32_t limit) const {
    const std::vector<std::uint32_t> files = find_files(file);
    std::optional<std::uint32_t> best;
    for (const Line& entry : lines_) {
        if (entry.line < line || entry.line - line > limit || (best && entry.line >= *best)) continue;
        if (std::find(files.begin(), files.end(), entry.file) == files.end()) continue;
        const bool has_bytes = std::any_of(entry.spans.begin(), entry.spans.end(),
                                           [&](std::uint32_t span) { return spans_[span].size > 0; });
        if (has_bytes) best = entry.line;
    }
    return best;
}

Function DebugInfo::make_function(std::uint32_t scope_id) const {
    const Scope& scope = scopes_[scope_id];
    Function f;
    f.scope = scope_id;
    f.name = scope.name;
    // A C function's scope is its assembly name; the C symbol gives the other.
    for (const CSymbol& c : csymbols_)
        if (c.scope == scope_id && c.symbol != NONE && c.symbol == scope.symbol) f.name = c.name;
    f.range = {ADDRESS_SPACE, 0};
    for (const std::uint32_t id : scope.spans) {
        const Span& span = spans_[id];
        if (span.size == 0) continue;
        f.range.start = std::min(f.range.start, span.start);
        f.range.end = std::max(f.range.end, span.start + span.size);
    }
    if (f.range.start > f.range.end) f.range = {0, 0};
    f.entry = f.range.start;
    if (scope.symbol != NONE && symbols_[scope.symbol].value) f.entry = *symbols_[scope.symbol].value;
    return f;
}

std::optional<Function> DebugInfo::function(std::string_view name) const {
    for (std::size_t i = 0; i < scopes_.size(); ++i) {
        const Scope& scope = scopes_[i];
        if (!scope.is_procedure) continue;
        const Function f = make_function(static_cast<std::uint32_t>(i));
        if (scope.name == name || f.name == name) return f;
    }
    // An assembly routine called from C ("emu_puts" is "_emu_puts"), or any label.
    const Symbol* label = nullptr;
    for (const CSymbol& c : csymbols_)
        if (c.name == name && c.symbol != NONE) label = symbol(symbols_[c.symbol].name);  // the import's export
    if (label == nullptr) label = symbol(name);
    if (label != nullptr && label->kind == SymbolKind::label) {
        Function f;
        f.name = std::string(name);
        f.entry = *label->value;
        f.range = {f.entry, f.entry + std::max<std::uint32_t>(label->size.value_or(1), 1)};
        return f;
    }
    return std::nullopt;
}

std::optional<Function> DebugInfo::function_at(std::uint16_t address) const {
    std::optional<Function> best;
    for (std::size_t i = 0; i < scopes_.size(); ++i) {
        if (!scopes_[i].is_procedure) continue;
        const bool holds = std::any_of(scopes_[i].spans.begin(), scopes_[i].spans.end(), [&](std::uint32_t id) {
            return address >= spans_[id].start && address < spans_[id].start + spans_[id].size;
        });
        if (!holds) continue;
        Function f = make_function(static_cast<std::uint32_t>(i));
        if (!best || f.range.end - f.range.start < best->range.end - best->range.start) best = std::move(f);
    }
    return best;
}

const Symbol* DebugInfo::symbol(std::string_view name) const {
    const Symbol* found = nullptr;
    for (const Symbol& s : symbols_) {
        if (s.name != name || !s.value) continue;
        // A label before an equate of the same name, as a place in memory.
        if (found == nullptr || (found->kind != SymbolKind::label && s.kind == SymbolKind::label)) found = &s;
    }
    return found;
}

std::vector<CVariable> DebugInfo::c_locals(std::uint32_t scope) const {
    std::vector<CVariable> locals;
    for (std::size_t i = 0; i < csymbols_.size(); ++i) {
        const CSymbol& c = csymbols_[i];
        if (c.scope != scope || (c.storage != Storage::automatic && c.storage != Storage::reg)) continue;
        CVariable v;
        v.csym = static_cast<std::uint32_t>(i);
        v.name = c.name;
        v.storage = c.storage;
        v.offset = c.offset;
        if (c.type != NONE) v.type = decode_type(types_[c.type]);
        v.size = v.type.size;
        locals.push_back(std::move(v));
    }
    std::sort(locals.begin(), locals.end(), [](const CVariable& a, const CVariable& b) { return a.offset > b.offset; });
    // From the highest offset down, each one's room ends where the next
    // higher one of its storage begins; a local's room ends at the frame
    // base at the latest (parameters lie above it), and the highest
    // parameter's or register variable's size stays unknown.
    for (std::size_t i = 0; i < locals.size(); ++i) {
        CVariable& v = locals[i];
        if (v.size != 0) continue;
        std::optional<std::int32_t> above;
        for (std::size_t j = i; j-- > 0;)
            if (locals[j].storage == v.storage && locals[j].offset > v.offset) {
                above = locals[j].offset;
                break;
            }
        if (v.storage == Storage::automatic && v.offset < 0 && (!above || *above > 0)) above = 0;
        if (above) v.size = static_cast<std::uint32_t>(*above - v.offset);
    }
    return locals;
}

bool DebugInfo::module_has_c(std::uint32_t module) const {
    for (const Line& line : lines_) {
        const std::vector<std::uint32_t>& readers = files_[line.file].modules;
        if (line.kind == LineKind::c && std::find(readers.begin(), readers.end(), module) != readers.end()) return true;
    }
    return false;
}

std::vector<CVariable> DebugInfo::c_globals() const {
    // The labels of procedures are code, not variables.
    std::vector<bool> is_entry(symbols_.size(), false);
    for (const Scope& scope : scopes_)
        if (scope.symbol != NONE) is_entry[scope.symbol] = true;
    std::vector<bool> c_module(modules_.size(), false);
    for (std::size_t m = 0; m < modules_.size(); ++m) c_module[m] = module_has_c(static_cast<std::uint32_t>(m));

    std::vector<CVariable> globals;
    for (std::size_t i = 0; i < symbols_.size(); ++i) {
        const Symbol& s = symbols_[i];
        if (s.kind != SymbolKind::label || !s.value || is_entry[i] || s.name.size() < 2 || s.name[0] != '_' ||
            s.name[1] == '_' || s.scope == NONE)
            continue;
        const std::uint32_t module = scopes_[s.scope].module;
        if (module == NONE || !c_module[module]) continue;
        CVariable v;
        v.name = s.name.substr(1);
        v.storage = Storage::external;
        v.address = *s.value;
        v.size = s.size.value_or(0);
        if (v.size == 0 && s.segment != NONE) {
            // Up to the next label in the same segment, or the segment's end.
            const Segment& seg = segments_[s.segment];
            std::uint32_t end = seg.start + seg.size;
            // The module's own bytes in the segment end there too.
            for (const Scope& scope : scopes_)
                if (scope.module == module)
                    for (const std::uint32_t id : scope.spans)
                        if (spans_[id].segment == s.segment && v.address >= spans_[id].start &&
                            v.address < spans_[id].start + spans_[id].size)
                            end = std::min(end, spans_[id].start + spans_[id].size);
            for (const Symbol& other : symbols_)
                if (other.kind == SymbolKind::label && other.segment == s.segment && other.value &&
                    *other.value > v.address)
                    end = std::min(end, *other.value);
            v.size = end > v.address ? end - v.address : 0;
        }
        globals.push_back(std::move(v));
    }
    // C statics and externals the compiler listed, by their symbols.
    for (std::size_t i = 0; i < csymbols_.size(); ++i) {
        const CSymbol& c = csymbols_[i];
        if ((c.storage != Storage::static_ && c.storage != Storage::external) || c.symbol == NONE || is_entry[c.symbol])
            continue;
        const Symbol& s = symbols_[c.symbol];
        if (!s.value || s.kind != SymbolKind::label) continue;
        auto known = std::find_if(globals.begin(), globals.end(), [&](const CVariable& v) { return v.name == c.name; });
        if (known == globals.end()) {
            globals.emplace_back();
            known = globals.end() - 1;
            known->name = c.name;
            known->storage = c.storage;
            known->address = *s.value;
            known->size = s.size.value_or(0);
        }
        known->csym = static_cast<std::uint32_t>(i);
        if (c.type != NONE) {
            known->type = decode_type(types_[c.type]);
            if (known->type.size != 0) known->size = known->type.size;
        }
    }
    std::sort(globals.begin(), globals.end(), [](const CVariable& a, const CVariable& b) { return a.name < b.name; });
    return globals;
}

std::uint32_t DebugInfo::c_frame_size(std::uint32_t scope) const {
    std::int32_t lowest = 0;
    for (const CSymbol& c : csymbols_)
        if (c.scope == scope && c.storage == Storage::automatic) lowest = std::min(lowest, c.offset);
    return static_cast<std::uint32_t>(-static_cast<std::int64_t>(lowest));
}

std::optional<std::uint16_t> DebugInfo::c_stack_pointer() const {
    for (const char* name : {"c_sp", "sp"})
        if (const Symbol* s = symbol(name); s != nullptr && *s->value < 0xFF)
            return static_cast<std::uint16_t>(*s->value);
    const bool has_c = std::any_of(lines_.begin(), lines_.end(), [](const Line& l) { return l.kind == LineKind::c; });
    if (!has_c) return std::nullopt;
    for (const Segment& s : segments_)
        if (s.name == "ZEROPAGE" && s.size >= 2 && s.start < 0xFF) return static_cast<std::uint16_t>(s.start);
    return std::nullopt;
}

std::string load_file(const char* path, DebugInfo& info) {
    const std::unique_ptr<std::uint8_t[]> buffer(new std::uint8_t[MAX_FILE_BYTES]);
    const FileRead r = host_read_file(path, std::span<std::uint8_t>(buffer.get(), MAX_FILE_BYTES));
    switch (r.status) {
    case FileReadStatus::cannot_open:
    case FileReadStatus::read_error: return std::string("can't read it: ") + host_error_text(r.error);
    case FileReadStatus::too_long: return "larger than 16 MiB";
    case FileReadStatus::ok: break;
    }
    return info.parse(std::string_view(reinterpret_cast<const char*>(buffer.get()), r.size));
}

}  // namespace debug_info
