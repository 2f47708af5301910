// The cc65 linker's debug information (ld65 --dbgfile, version 2.x): which
// source line made which bytes, the scopes (C functions, assembly .proc),
// the symbols and the C symbols with their C-stack offsets.
//
// The file is text, one record a line: a keyword, a tab, then key=value
// pairs separated by commas ("line	id=3,file=0,line=12,span=7"). Values
// are numbers (decimal or 0x hex), "quoted strings", words, or lists of ids
// joined by '+'. Unknown keywords and keys are skipped; anything else that
// is wrong gives one line of error text, never a crash.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace debug_info {

inline constexpr std::uint32_t NONE = UINT32_MAX;  // an absent reference

struct SourceFile {
    std::string name;  // as the tools were given it: absolute, or relative to the folder of the build
    std::uint32_t size = 0;
    std::uint32_t mtime = 0;
    std::vector<std::uint32_t> modules;  // those that read it
};

struct Segment {
    std::string name;
    std::uint32_t start = 0;
    std::uint32_t size = 0;
    std::string output;                   // the file its bytes went to; empty when none (BSS, zero page)
    std::uint32_t output_offset = NONE;   // where in that file
    bool read_only = false;               // type=ro
};

// A run of bytes in a segment, as an absolute address range.
struct Span {
    std::uint32_t segment = 0;
    std::uint32_t start = 0;  // absolute: the segment's start plus the offset
    std::uint32_t size = 0;
    std::uint32_t type = NONE;
};

enum class LineKind : std::uint8_t { assembly = 0, c = 1, macro = 2 };

struct Line {
    std::uint32_t file = 0;
    std::uint32_t line = 0;
    LineKind kind = LineKind::assembly;
    std::vector<std::uint32_t> spans;
};

struct Scope {
    std::string name;  // a C function's is its assembly name: "_main"
    std::uint32_t module = NONE;
    std::uint32_t parent = NONE;
    std::uint32_t symbol = NONE;  // the label of its entry, for a .proc or a C function
    bool is_procedure = false;    // type=scope; the module's own scope and .struct/.enum are not
    std::vector<std::uint32_t> spans;
};

enum class SymbolKind : std::uint8_t { label, equate, import };

struct Symbol {
    std::string name;
    SymbolKind kind = SymbolKind::label;
    std::uint32_t scope = NONE;
    std::uint32_t segment = NONE;
    std::optional<std::uint32_t> value;  // imports have none
    std::optional<std::uint32_t> size;
};

enum class Storage : std::uint8_t { automatic, reg, static_, external };

struct CSymbol {
    std::string name;
    std::uint32_t scope = NONE;
    std::uint32_t type = NONE;
    Storage storage = Storage::automatic;
    std::int32_t offset = 0;        // auto: from the frame base (the C stack pointer on entry); reg: in regbank
    std::uint32_t symbol = NONE;    // static and external: the assembly symbol holding it
};

struct Module {
    std::string name;
    std::uint32_t file = NONE;
};

// A type as the format encodes it, as far as it can be told: cc65 writes
// "00" (nothing known) for C symbols, ca65 real types for its data spans.
struct TypeInfo {
    enum class Kind : std::uint8_t { unknown, integer, pointer, array } kind = Kind::unknown;
    std::uint32_t size = 0;        // bytes of one value; 0 when unknown
    std::uint32_t count = 0;       // array elements
    bool big_endian = false;
    std::uint32_t element_size = 0;
};
[[nodiscard]] TypeInfo decode_type(std::string_view hex);

struct Location {
    std::uint32_t file = 0;
    std::uint32_t line = 0;
    LineKind kind = LineKind::assembly;
    std::uint32_t span_start = 0;  // the bytes of the line that hold the address
    std::uint32_t span_size = 0;
};

struct AddressRange {
    std::uint32_t start = 0;
    std::uint32_t end = 0;  // one past the last byte
};

struct Function {
    std::uint32_t scope = NONE;
    std::string name;              // as given in C ("main") or assembly
    std::uint32_t entry = 0;       // the entry label, else the first byte
    AddressRange range;            // from the lowest to past the highest byte of its spans
};

// A C variable with what is known to place and show it.
struct CVariable {
    std::uint32_t csym = NONE;     // NONE for a global found only as a label
    std::string name;
    Storage storage = Storage::automatic;
    std::int32_t offset = 0;       // auto and reg
    std::uint32_t address = 0;     // static and external
    std::uint32_t size = 0;        // from the type, else the room up to the next variable; 0 when unknown
    TypeInfo type;
};

class DebugInfo {
public:
    // Reads `text` (a whole file); "" when it is sound, else one line
    // (without a newline) saying what is wrong.
    [[nodiscard]] std::string parse(std::string_view text);

    // Whether the file describes this image, loaded at `load_address`:
    // every segment written to the output must lie inside the image at its
    // own address, and together they must cover it exactly. "" or a line
    // saying how they differ.
    [[nodiscard]] std::string check_image(std::span<const std::uint8_t> image, std::uint32_t load_address) const;

    // The source line of `address`: C lines before assembly lines before
    // macro bodies, and of those the one with the fewest bytes.
    [[nodiscard]] std::optional<Location> location(std::uint16_t address) const;

    // The files matching `name`: the whole name as recorded, or, when
    // `name` has no folder, the recorded names' last component.
    [[nodiscard]] std::vector<std::uint32_t> find_files(std::string_view name) const;
    // The first byte of each span of `line` in the files named `file`
    // (as find_files matches them), sorted, without repeats.
    [[nodiscard]] std::vector<std::uint16_t> addresses(std::string_view file, std::uint32_t line) const;
    // The first line at or after `line` (within `limit` lines) of `file`
    // that made bytes, for a breakpoint on a line without code.
    [[nodiscard]] std::optional<std::uint32_t> line_with_code(std::string_view file, std::uint32_t line,
                                                              std::uint32_t limit = 100) const;

    // A C function or assembly procedure by name ("main" finds "_main"),
    // else a label with a size.
    [[nodiscard]] std::optional<Function> function(std::string_view name) const;
    // The innermost procedure or C function holding `address`.
    [[nodiscard]] std::optional<Function> function_at(std::uint16_t address) const;

    // Labels and equates by name, with their values.
    [[nodiscard]] const Symbol* symbol(std::string_view name) const;
    // A C function's parameters and locals (auto and register), by offset
    // from the highest; sizes from the gaps between offsets where no type
    // says them (the highest one's size is then unknown).
    [[nodiscard]] std::vector<CVariable> c_locals(std::uint32_t scope) const;
    // The C module's variables outside functions: their labels "_name" in
    // data, with sizes up to the next label or the end of the segment.
    [[nodiscard]] std::vector<CVariable> c_globals() const;
    // The bytes of the C stack's locals below the frame base once a
    // function has made room for them (its most negative offset).
    [[nodiscard]] std::uint32_t c_frame_size(std::uint32_t scope) const;
    // The zero-page address of the C stack pointer: cc65's "c_sp" or "sp"
    // label when the file has it, else the start of the ZEROPAGE segment,
    // where cc65's runtime puts it first.
    [[nodiscard]] std::optional<std::uint16_t> c_stack_pointer() const;

    [[nodiscard]] const std::vector<SourceFile>& files() const { return files_; }
    [[nodiscard]] const std::vector<Segment>& segments() const { return segments_; }
    [[nodiscard]] const std::vector<Span>& spans() const { return spans_; }
    [[nodiscard]] const std::vector<Line>& lines() const { return lines_; }
    [[nodiscard]] const std::vector<Scope>& scopes() const { return scopes_; }
    [[nodiscard]] const std::vector<Symbol>& symbols() const { return symbols_; }
    [[nodiscard]] const std::vector<CSymbol>& c_symbols() const { return csymbols_; }
    [[nodiscard]] const std::vector<Module>& modules() const { return modules_; }
    [[nodiscard]] const std::vector<std::string>& types() const { return types_; }

private:
    std::string read_records(std::string_view text);
    std::string link_and_check();
    void index_lines();
    [[nodiscard]] Function make_function(std::uint32_t scope) const;
    [[nodiscard]] bool module_has_c(std::uint32_t module) const;

    std::vector<SourceFile> files_;
    std::vector<Segment> segments_;
    std::vector<Span> spans_;
    std::vector<Line> lines_;
    std::vector<Scope> scopes_;
    std::vector<Symbol> symbols_;
    std::vector<CSymbol> csymbols_;
    std::vector<Module> modules_;
    std::vector<std::string> types_;
    std::vector<std::int32_t> line_at_;  // per address: the line shown, or -1
};

// Reads and parses `path`: "" when sound, else one line naming the fault
// ("can't read it: ...", "truncated: ...", "version 3.0, not 2.x", ...).
[[nodiscard]] std::string load_file(const char* path, DebugInfo& info);

}  // namespace debug_info
