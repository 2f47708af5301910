#include "tester/test_file.hpp"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <map>

#include "debug/source_view.hpp"
#include "host/files.hpp"
#include "tester/c_signature.hpp"

namespace tester {
namespace {

using nlohmann::json;

// A fault in the file: the field (a path like "expect.memory[0].at") and
// what is wrong with it.
struct FieldError {
    std::string field;
    std::string message;
};

std::string folder_of(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string beside(const std::string& file, const std::string& name) {
    if (name.empty() || name.front() == '/') return name;
    return folder_of(file) + name;
}

std::string dbg_beside(const std::string& image) {
    const std::size_t slash = image.find_last_of('/');
    const std::size_t dot = image.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return image + ".dbg";
    return image.substr(0, dot) + ".dbg";
}

class Reader {
public:
    Reader(const debug_info::DebugInfo* debug, std::string debug_path)
        : debug_(debug), debug_path_(std::move(debug_path)) {}

    // ---- plain values ----------------------------------------------------
    // An integer: a JSON number, or text in decimal, $ or 0x hex, %binary,
    // or a character 'A'.
    std::int64_t integer(const json& value, const std::string& field) const {
        if (value.is_number_integer()) return value.get<std::int64_t>();
        if (value.is_number_unsigned()) return static_cast<std::int64_t>(value.get<std::uint64_t>());
        if (value.is_string()) {
            const std::string text = value.get<std::string>();
            if (const auto number = parse_number(text)) return *number;
        }
        throw FieldError{field, dump(value) + " is not an integer (give 12, \"$0C\", \"0x0C\", \"%1100\" or \"'A'\")"};
    }

    std::uint8_t byte(const json& value, const std::string& field) const {
        const std::int64_t n = integer(value, field);
        if (n < -128 || n > 255) throw FieldError{field, dump(value) + " is not a byte (-128 to 255)"};
        return static_cast<std::uint8_t>(n);
    }

    std::uint16_t word(const json& value, const std::string& field) const {
        const std::int64_t n = integer(value, field);
        if (n < -32768 || n > 65535) throw FieldError{field, dump(value) + " is not a word (-32768 to 65535)"};
        return static_cast<std::uint16_t>(n);
    }

    // An address: a number, or a label with an optional offset ("buffer+2").
    std::uint16_t address(const json& value, const std::string& field, std::uint32_t length = 1) const {
        std::int64_t at = 0;
        if (value.is_string() && !parse_number(value.get<std::string>())) {
            at = label(value.get<std::string>(), field);
        } else {
            at = integer(value, field);
        }
        if (at < 0 || at + std::max<std::uint32_t>(length, 1) - 1 > 0xFFFF)
            throw FieldError{field, dump(value) + (length > 1 ? " with its " + std::to_string(length) + " bytes" : "") +
                                        " lies outside memory ($0000-$FFFF)"};
        return static_cast<std::uint16_t>(at);
    }

    const debug_info::DebugInfo* debug() const { return debug_; }

    // A string's bytes: each character from U+0000 to U+00FF is one byte
    // ("\u00ff" is 0xFF), as the machine's bytes are no text encoding.
    static std::string machine_bytes(const json& value, const std::string& field) {
        if (!value.is_string()) throw FieldError{field, "must be a string"};
        const std::string utf8 = value.get<std::string>();
        std::string bytes;
        for (std::size_t i = 0; i < utf8.size(); ++i) {
            const auto c = static_cast<unsigned char>(utf8[i]);
            if (c < 0x80) {
                bytes += static_cast<char>(c);
            } else if ((c == 0xC2 || c == 0xC3) && i + 1 < utf8.size()) {
                bytes += static_cast<char>(((c & 0x03) << 6) | (static_cast<unsigned char>(utf8[++i]) & 0x3F));
            } else {
                throw FieldError{field, "holds a character beyond \\u00ff: each character stands for one byte"};
            }
        }
        return bytes;
    }

    // ---- matchers ----------------------------------------------------------
    Matcher matcher(const json& value, const std::string& field, std::int64_t low, std::int64_t high) const {
        Matcher m;
        const auto in_range = [&](const json& v, const std::string& f) {
            const std::int64_t n = integer(v, f);
            if (n < low || n > high)
                throw FieldError{f, dump(v) + " can never be seen here (" + std::to_string(low) + " to " +
                                        std::to_string(high) + ")"};
            // A negative byte or word means its two's complement.
            return n < 0 && -low < high ? n + high + 1 : n;
        };
        if (!value.is_object()) {
            m.conditions.push_back({Matcher::Op::eq, {in_range(value, field)}});
            return m;
        }
        static const std::map<std::string, Matcher::Op> OPS = {
            {"eq", Matcher::Op::eq}, {"ne", Matcher::Op::ne}, {"lt", Matcher::Op::lt},
            {"le", Matcher::Op::le}, {"gt", Matcher::Op::gt}, {"ge", Matcher::Op::ge}};
        for (const auto& [key, v] : value.items()) {
            const std::string f = field + "." + key;
            if (key == "anyOf") {
                if (!v.is_array() || v.empty()) throw FieldError{f, "needs a list of values"};
                Matcher::Condition any{Matcher::Op::any_of, {}};
                for (std::size_t i = 0; i < v.size(); ++i) any.values.push_back(in_range(v[i], f + index(i)));
                m.conditions.push_back(any);
            } else if (const auto op = OPS.find(key); op != OPS.end()) {
                m.conditions.push_back({op->second, {in_range(v, f)}});
            } else {
                throw FieldError{f, "unknown comparison (eq, ne, lt, le, gt, ge, anyOf)"};
            }
        }
        if (m.conditions.empty()) throw FieldError{field, "names no comparison"};
        return m;
    }

    static std::string index(std::size_t i) {
        std::string text = std::to_string(i);
        text.insert(text.begin(), '[');
        return text += ']';
    }
    static std::string dump(const json& value) {
        std::string text = value.dump();
        return text.size() > 40 ? text.substr(0, 37) + "..." : text;
    }

private:
    static std::optional<std::int64_t> parse_number(const std::string& text) { return parse_integer(text, true, 32); }

    // "name", "name+4", "name-1": a label of the debug information, or a C
    // function or assembly procedure by name.
    std::int64_t label(const std::string& text, const std::string& field) const {
        std::string name = text;
        std::int64_t offset = 0;
        const std::size_t sign = text.find_first_of("+-", 1);
        if (sign != std::string::npos) {
            name = text.substr(0, sign);
            const auto n = parse_number(text.substr(sign + 1));
            if (!n) throw FieldError{field, "\"" + text + "\": the offset after the label is not a number"};
            offset = text[sign] == '-' ? -*n : *n;
        }
        while (!name.empty() && name.back() == ' ') name.pop_back();
        if (debug_ == nullptr)
            throw FieldError{field, "label '" + name + "' needs the image's debug information, and there is none"};
        if (const debug_info::Symbol* symbol = debug_->symbol(name); symbol != nullptr && symbol->value)
            return *symbol->value + offset;
        if (const auto function = debug_->function(name)) return function->entry + offset;
        // A C variable outside functions, static ones too.
        for (const debug_info::CVariable& v : debug_->c_globals())
            if (v.name == name) return v.address + offset;
        throw FieldError{field, "unknown label '" + name + "' (not in " + debug_path_ + ")"};
    }

    const debug_info::DebugInfo* debug_;
    std::string debug_path_;
};

// Reads one object's fields into a spec part; throws FieldError.
class TestReader {
public:
    explicit TestReader(const Reader& r) : r_(r) {}

    void known_keys(const json& object, const std::string& field, std::initializer_list<const char*> keys) const {
        if (!object.is_object()) throw FieldError{field, "must be an object"};
        for (const auto& item : object.items()) {
            if (std::none_of(keys.begin(), keys.end(), [&](const char* k) { return item.key() == k; }))
                throw FieldError{join(field, item.key()), "unknown field"};
        }
    }

    static std::string join(const std::string& field, const std::string& key) {
        return field.empty() ? key : field + "." + key;
    }

    std::vector<std::uint8_t> bytes_of(const json& value, const std::string& field) const {
        if (value.is_string()) {
            const std::string text = Reader::machine_bytes(value, field);
            return {text.begin(), text.end()};
        }
        if (!value.is_array()) throw FieldError{field, "needs a string or a list of bytes"};
        std::vector<std::uint8_t> bytes;
        for (std::size_t i = 0; i < value.size(); ++i) bytes.push_back(r_.byte(value[i], field + Reader::index(i)));
        return bytes;
    }

    // A memory item to store: {"at", one of "byte", "word", "bytes", "string" (+"zero")}.
    MemoryBytes memory_item(const json& item, const std::string& field) const {
        known_keys(item, field, {"at", "byte", "word", "bytes", "string", "zero"});
        if (!item.contains("at")) throw FieldError{field + ".at", "is missing: where the bytes go"};
        MemoryBytes out;
        if (item.contains("byte")) out.bytes = {r_.byte(item["byte"], field + ".byte")};
        else if (item.contains("word")) {
            const std::uint16_t w = r_.word(item["word"], field + ".word");
            out.bytes = {static_cast<std::uint8_t>(w), static_cast<std::uint8_t>(w >> 8)};
        } else if (item.contains("bytes")) out.bytes = bytes_of(item["bytes"], field + ".bytes");
        else if (item.contains("string")) {
            const std::string text = Reader::machine_bytes(item["string"], field + ".string");
            out.bytes.assign(text.begin(), text.end());
            if (item.value("zero", false)) out.bytes.push_back(0);
        } else throw FieldError{field, "needs one of byte, word, bytes or string"};
        out.address = r_.address(item["at"], field + ".at", static_cast<std::uint32_t>(out.bytes.size()));
        return out;
    }

    void machine_values(const json& object, const std::string& field, MachineValues& into) const {
        if (object.contains("registers")) {
            const json& regs = object["registers"];
            const std::string f = join(field, "registers");
            known_keys(regs, f, {"a", "x", "y", "sp"});
            for (std::size_t i = 0; i < REG_NAMES.size(); ++i)
                if (regs.contains(REG_NAMES[i])) into.registers[i] = r_.byte(regs[REG_NAMES[i]], f + "." + REG_NAMES[i]);
        }
        if (object.contains("flags")) flags(object["flags"], join(field, "flags"), into.flags_set, into.flags_clear);
        if (object.contains("memory")) {
            const json& items = object["memory"];
            const std::string f = join(field, "memory");
            if (!items.is_array()) throw FieldError{f, "must be a list"};
            for (std::size_t i = 0; i < items.size(); ++i) into.memory.push_back(memory_item(items[i], f + Reader::index(i)));
        }
    }

    void flags(const json& object, const std::string& field, std::uint8_t& set, std::uint8_t& clear) const {
        known_keys(object, field, {"n", "v", "d", "i", "z", "c"});
        for (const FlagName& flag : FLAG_NAMES) {
            if (!object.contains(flag.name)) continue;
            const json& v = object[flag.name];
            if (!v.is_boolean() && !(v.is_number_integer() && (v == 0 || v == 1)))
                throw FieldError{field + "." + flag.name, "must be true or false"};
            const bool on = v.is_boolean() ? v.get<bool>() : v.get<int>() == 1;
            set = static_cast<std::uint8_t>(on ? set | flag.mask : set & ~flag.mask);
            clear = static_cast<std::uint8_t>(on ? clear & ~flag.mask : clear | flag.mask);
        }
    }

    void setup(const json& object, const std::string& field, Setup& into) const {
        known_keys(object, field, {"registers", "flags", "memory", "stack", "keys", "files"});
        machine_values(object, field, into.values);
        if (object.contains("stack")) {
            const auto bytes = bytes_of(object["stack"], field + ".stack");
            into.stack.insert(into.stack.end(), bytes.begin(), bytes.end());
        }
        if (object.contains("keys")) {
            const auto keys = bytes_of(object["keys"], field + ".keys");
            if (std::find(keys.begin(), keys.end(), 0) != keys.end())
                throw FieldError{field + ".keys", "a key of 0 is what the keyboard gives when no key is waiting"};
            into.keys.insert(into.keys.end(), keys.begin(), keys.end());
        }
        if (object.contains("files")) data_files(object["files"], field + ".files", into.files);
    }

    void data_files(const json& object, const std::string& field, std::vector<DataFile>& into) const {
        if (!object.is_object()) throw FieldError{field, "must be an object of \"fileN\": contents"};
        for (const auto& [name, contents] : object.items()) {
            const std::string f = field + "." + name;
            bool good = name.size() > 4 && name.size() <= 7 && name.rfind("file", 0) == 0 &&
                        std::all_of(name.begin() + 4, name.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
            if (good) good = std::stoi(name.substr(4)) <= 255 && (name.size() == 5 || name[4] != '0');
            if (!good) throw FieldError{f, "a data file is named file0 to file255"};
            std::erase_if(into, [&](const DataFile& d) { return d.name == name; });
            into.push_back({name, bytes_of(contents, f)});
        }
    }

    Target target(const json& test, const std::string& field) const {
        Target t;
        int kinds = 0;
        for (const char* key : {"routine", "interrupt", "range", "call"}) kinds += test.contains(key) ? 1 : 0;
        if (kinds != 1) throw FieldError{field, "needs exactly one target: routine, interrupt, range or call"};
        if (test.contains("routine") || test.contains("interrupt")) {
            const bool routine = test.contains("routine");
            const char* key = routine ? "routine" : "interrupt";
            t.kind = routine ? Target::Kind::routine : Target::Kind::interrupt;
            t.text = Reader::dump(test[key]);
            t.address = r_.address(test[key], join(field, key));
        } else if (test.contains("range")) {
            const json& range = test["range"];
            const std::string f = join(field, "range");
            known_keys(range, f, {"from", "to"});
            if (!range.contains("from")) throw FieldError{f + ".from", "is missing: where the run starts"};
            t.kind = Target::Kind::range;
            t.address = r_.address(range["from"], f + ".from");
            // Without "to", the range runs to the program's end (pc at $0000).
            if (range.contains("to")) {
                t.end = r_.address(range["to"], f + ".to");
                if (t.end == 0) throw FieldError{f + ".to", "the run ends at $0000 anyway: leave \"to\" out"};
                if (t.end == t.address) throw FieldError{f + ".to", "is where the range starts: it would run nothing"};
            }
            t.text = Reader::dump(range["from"]) + ".." + (range.contains("to") ? Reader::dump(range["to"]) : "end");
        } else {
            t.kind = Target::Kind::call;
            c_call(test, field, t);
        }
        return t;
    }

    void c_call(const json& test, const std::string& field, Target& t) const {
        const std::string f = join(field, "call");
        if (!test["call"].is_string()) throw FieldError{f, "must be a call like \"sum(3, 4)\""};
        t.text = test["call"].get<std::string>();
        CCallText call;
        if (const std::string fault = parse_c_call(t.text, call); !fault.empty()) throw FieldError{f, fault};
        const debug_info::DebugInfo* debug = r_.debug();
        if (debug == nullptr) throw FieldError{f, "a C call needs the image's debug information, and there is none"};
        // A C function, or an assembly routine under its C name ("_gotoxy"),
        // whose parameters only a signature can tell.
        const auto function = debug->function(call.function);
        const debug_info::Symbol* label = debug->symbol("_" + call.function);
        const bool c_function = function && function->scope != debug_info::NONE;
        if (!c_function && (label == nullptr || !label->value))
            throw FieldError{f, "unknown C function '" + call.function + "'"};
        t.address = static_cast<std::uint16_t>(c_function ? function->entry : *label->value);
        // The parameters the debug information knows: autos at or above
        // the frame base.
        std::size_t known = 0;
        if (c_function)
            for (const debug_info::CVariable& v : debug->c_locals(function->scope))
                if (v.storage == debug_info::Storage::automatic && v.offset >= 0) ++known;
        std::optional<CSignature> signature;
        if (test.contains("signature")) {
            if (!test["signature"].is_string()) throw FieldError{join(field, "signature"), "must be a C prototype"};
            signature = find_c_signature(test["signature"].get<std::string>(), call.function);
            if (!signature)
                throw FieldError{join(field, "signature"), "is not a prototype of " + call.function +
                                                               " with types this runner knows"};
        } else if (c_function) {
            signature = source_signature(*function, call.function);
        } else {
            throw FieldError{join(field, "signature"), "is missing: " + call.function +
                                                          " is written in assembly, so give its C prototype"};
        }
        if (signature && signature->variadic)
            throw FieldError{f, call.function + " takes a variable number of arguments, which a test cannot pass"};
        const std::size_t wanted = signature ? signature->parameters.size() : known;
        if (call.arguments.size() != wanted)
            throw FieldError{f, call.function + " takes " + std::to_string(wanted) + " argument" +
                                    (wanted == 1 ? "" : "s") + ", the call gives " +
                                    std::to_string(call.arguments.size())};
        t.call.function = call.function;
        if (signature) {
            t.call.result_size = signature->result.size;
            t.call.result_signed = signature->result.is_signed;
        }
        for (std::size_t i = 0; i < call.arguments.size(); ++i) {
            CArgument argument{signature ? signature->parameters[i].size : 2, call.arguments[i]};
            const std::int64_t bits = argument.size * 8;
            if (call.arguments[i] < -(std::int64_t{1} << (bits - 1)) || call.arguments[i] >= (std::int64_t{1} << bits))
                throw FieldError{f, "argument " + std::to_string(i + 1) + " (" + std::to_string(call.arguments[i]) +
                                        ") does not fit its " + std::to_string(argument.size) + "-byte parameter"};
            t.call.arguments.push_back(argument);
        }
    }

    // The prototype in the function's own source, where it can be found.
    std::optional<CSignature> source_signature(const debug_info::Function& function, const std::string& name) const {
        const auto where = r_.debug()->location(static_cast<std::uint16_t>(function.entry));
        if (!where) return std::nullopt;
        SourceFiles sources(*r_.debug(), debug_path_for_sources_);
        std::string text;
        for (std::uint32_t line = 1; line <= where->line + 2; ++line) {
            const auto l = sources.line(where->file, line);
            if (!l) break;
            text += *l + "\n";
        }
        // The definition's head is the last mention before the body.
        std::optional<CSignature> found;
        std::size_t from = 0;
        while (const auto s = find_c_signature(std::string_view(text).substr(from), name)) {
            found = s;
            const std::size_t at = text.find(name + "(", from);
            const std::size_t at2 = text.find(name + " (", from);
            const std::size_t next = std::min(at, at2);
            if (next == std::string::npos) break;
            from = next + name.size();
        }
        return found;
    }

    // A mocked C function must still take its arguments off the C stack
    // (the callee does, in cc65's convention): all but the last, passed in
    // registers. Its source tells how many bytes they take.
    void c_mock(Mock& m) const {
        const debug_info::DebugInfo* debug = r_.debug();
        if (debug == nullptr) return;
        const auto function = debug->function_at(m.address);
        const auto c_sp = debug->c_stack_pointer();
        if (!function || function->entry != m.address || function->scope == debug_info::NONE || !c_sp) return;
        std::string name = function->name;
        const auto signature = source_signature(*function, name);
        if (!signature || signature->parameters.size() < 2) return;
        for (std::size_t i = 0; i + 1 < signature->parameters.size(); ++i) m.c_stack_bytes += signature->parameters[i].size;
        m.c_stack_pointer = *c_sp;
    }

    Mock mock(const json& object, const std::string& field) const {
        known_keys(object, field, {"routine", "returns", "results"});
        if (!object.contains("routine")) throw FieldError{field + ".routine", "is missing: the routine to replace"};
        Mock m;
        m.name = Reader::dump(object["routine"]);
        m.address = r_.address(object["routine"], field + ".routine");
        const auto result = [&](const json& v, const std::string& f) {
            known_keys(v, f, {"registers", "flags", "memory"});
            MachineValues values;
            machine_values(v, f, values);
            return values;
        };
        c_mock(m);
        if (object.contains("returns")) m.results.push_back(result(object["returns"], field + ".returns"));
        if (object.contains("results")) {
            const json& list = object["results"];
            if (!list.is_array()) throw FieldError{field + ".results", "must be a list, one per call"};
            for (std::size_t i = 0; i < list.size(); ++i)
                m.results.push_back(result(list[i], field + ".results" + Reader::index(i)));
        }
        return m;
    }

    Expect expect(const json& object, const std::string& field, const Target& target) const {
        known_keys(object, field,
                   {"registers", "flags", "memory", "reads", "writes", "calls", "cycles", "output", "returns", "files"});
        Expect e;
        if (object.contains("registers")) {
            const std::string f = field + ".registers";
            known_keys(object["registers"], f, {"a", "x", "y", "sp"});
            for (std::size_t i = 0; i < REG_NAMES.size(); ++i)
                if (object["registers"].contains(REG_NAMES[i]))
                    e.registers[i] = r_.matcher(object["registers"][REG_NAMES[i]], f + "." + REG_NAMES[i], 0, 255);
        }
        if (object.contains("flags")) flags(object["flags"], field + ".flags", e.flags_set, e.flags_clear);
        if (object.contains("memory")) {
            const json& list = object["memory"];
            if (!list.is_array()) throw FieldError{field + ".memory", "must be a list"};
            for (std::size_t i = 0; i < list.size(); ++i) e.memory.push_back(memory_expect(list[i], field + ".memory" + Reader::index(i)));
        }
        for (const char* kind : {"reads", "writes"}) {
            if (!object.contains(kind)) continue;
            const json& list = object[kind];
            const std::string f = field + "." + kind;
            if (!list.is_array()) throw FieldError{f, "must be a list"};
            for (std::size_t i = 0; i < list.size(); ++i) {
                const std::string fi = f + Reader::index(i);
                const bool write = std::string(kind) == "writes";
                known_keys(list[i], fi, write ? std::initializer_list<const char*>{"at", "count", "values"}
                                              : std::initializer_list<const char*>{"at", "count"});
                if (!list[i].contains("at")) throw FieldError{fi + ".at", "is missing"};
                AccessExpect a;
                a.write = write;
                a.where = Reader::dump(list[i]["at"]);
                a.address = r_.address(list[i]["at"], fi + ".at");
                if (list[i].contains("count")) a.count = r_.matcher(list[i]["count"], fi + ".count", 0, INT64_MAX);
                if (list[i].contains("values")) a.values = bytes_of(list[i]["values"], fi + ".values");
                if (!a.count && !a.values) throw FieldError{fi, "needs count or values"};
                e.accesses.push_back(a);
            }
        }
        if (object.contains("calls")) {
            const json& list = object["calls"];
            if (!list.is_array()) throw FieldError{field + ".calls", "must be a list"};
            for (std::size_t i = 0; i < list.size(); ++i) {
                const std::string fi = field + ".calls" + Reader::index(i);
                known_keys(list[i], fi, {"routine", "count", "args"});
                if (!list[i].contains("routine")) throw FieldError{fi + ".routine", "is missing"};
                CallExpect c;
                c.name = Reader::dump(list[i]["routine"]);
                c.address = r_.address(list[i]["routine"], fi + ".routine");
                if (list[i].contains("count")) c.count = r_.matcher(list[i]["count"], fi + ".count", 0, INT64_MAX);
                if (list[i].contains("args")) {
                    const json& args = list[i]["args"];
                    if (!args.is_array()) throw FieldError{fi + ".args", "must be a list, one per call"};
                    for (std::size_t k = 0; k < args.size(); ++k) {
                        const std::string fk = fi + ".args" + Reader::index(k);
                        known_keys(args[k], fk, {"a", "x", "y"});
                        std::array<std::optional<Matcher>, 3> regs;
                        for (std::size_t n = 0; n < 3; ++n)
                            if (args[k].contains(REG_NAMES[n])) regs[n] = r_.matcher(args[k][REG_NAMES[n]], fk + "." + REG_NAMES[n], 0, 255);
                        c.args.push_back(regs);
                    }
                }
                e.calls.push_back(c);
            }
        }
        if (object.contains("cycles")) {
            const json& c = object["cycles"];
            if (c.is_object()) known_keys(c, field + ".cycles", {"le", "eq"});
            e.cycles = r_.matcher(c, field + ".cycles", 0, INT64_MAX);
        }
        if (object.contains("output")) {
            e.output = Reader::machine_bytes(object["output"], field + ".output");
        }
        if (object.contains("returns")) {
            if (target.kind != Target::Kind::call) throw FieldError{field + ".returns", "only a C call returns a value"};
            const std::uint32_t size = target.call.result_size;
            if (size == 0) throw FieldError{field + ".returns", target.call.function + " returns void"};
            const std::int64_t range = std::int64_t{1} << (size * 8);
            e.returns = r_.matcher(object["returns"], field + ".returns",
                                   target.call.result_signed ? -range / 2 : 0,
                                   target.call.result_signed ? range / 2 - 1 : range - 1);
        }
        if (object.contains("files")) data_files(object["files"], field + ".files", e.files);
        return e;
    }

    MemoryExpect memory_expect(const json& item, const std::string& field) const {
        known_keys(item, field, {"at", "byte", "word", "bytes", "string", "zero", "size", "all"});
        if (!item.contains("at")) throw FieldError{field + ".at", "is missing"};
        MemoryExpect m;
        m.where = Reader::dump(item["at"]);
        std::uint32_t length = 1;
        if (item.contains("byte")) m.matchers.push_back(r_.matcher(item["byte"], field + ".byte", -128, 255));
        else if (item.contains("word")) {
            m.kind = MemoryExpect::Kind::word;
            length = 2;
            m.matchers.push_back(r_.matcher(item["word"], field + ".word", -32768, 65535));
        } else if (item.contains("bytes")) {
            m.kind = MemoryExpect::Kind::bytes;
            const json& list = item["bytes"];
            if (list.is_string()) {
                for (const char c : Reader::machine_bytes(list, field + ".bytes"))
                    m.matchers.push_back(Matcher{{{Matcher::Op::eq, {static_cast<unsigned char>(c)}}}});
            } else if (list.is_array()) {
                for (std::size_t i = 0; i < list.size(); ++i)
                    m.matchers.push_back(r_.matcher(list[i], field + ".bytes" + Reader::index(i), -128, 255));
            } else {
                throw FieldError{field + ".bytes", "needs a list of bytes"};
            }
            length = static_cast<std::uint32_t>(m.matchers.size());
        } else if (item.contains("string")) {
            m.kind = MemoryExpect::Kind::string;
            m.text = Reader::machine_bytes(item["string"], field + ".string");
            m.terminated = item.value("zero", false);
            length = static_cast<std::uint32_t>(m.text.size() + (m.terminated ? 1 : 0));
        } else if (item.contains("all")) {
            m.kind = MemoryExpect::Kind::all;
            if (!item.contains("size")) throw FieldError{field + ".size", "is missing: how many bytes \"all\" covers"};
            const std::int64_t size = r_.integer(item["size"], field + ".size");
            if (size < 1 || size > 0x10000) throw FieldError{field + ".size", "must be 1 to 65536"};
            m.size = static_cast<std::uint32_t>(size);
            length = m.size;
            m.matchers.push_back(r_.matcher(item["all"], field + ".all", -128, 255));
        } else {
            throw FieldError{field, "needs one of byte, word, bytes, string or size with all"};
        }
        m.address = r_.address(item["at"], field + ".at", length);
        return m;
    }

    std::string debug_path_for_sources_;

private:
    const Reader& r_;
};

struct Context {
    Setup setup;
    std::uint64_t limit = DEFAULT_CYCLE_LIMIT;
    std::optional<std::string> skip;
    std::string prefix;
};

std::string describe_json_error(const json::parse_error& error) {
    std::string what = error.what();
    // "[json.exception.parse_error.101] parse error at line 3, column 5: ..."
    const std::size_t at = what.find("parse error");
    return "not JSON: " + (at == std::string::npos ? what : what.substr(at));
}

}  // namespace

LoadedFile load_test_file(const std::string& path) {
    LoadedFile loaded;
    loaded.file.path = path;
    std::vector<std::uint8_t> bytes;
    const FileRead read = host_read_file(path.c_str(), bytes);
    if (read.status != FileReadStatus::ok) {
        loaded.error = path + ": can't read it: " + host_error_text(read.error);
        return loaded;
    }
    json document;
    try {
        document = json::parse(bytes.begin(), bytes.end());
    } catch (const json::parse_error& error) {
        loaded.error = path + ": " + describe_json_error(error);
        return loaded;
    }
    std::string test_name;
    try {
        if (!document.is_object()) throw FieldError{"", "a test file is a JSON object"};
        static const char* const TOP[] = {"$schema", "image", "debugInfo", "loadAddress", "cpu", "setup", "limit", "tests", "suites"};
        for (const auto& item : document.items())
            if (std::find_if(std::begin(TOP), std::end(TOP), [&](const char* k) { return item.key() == k; }) == std::end(TOP))
                throw FieldError{item.key(), "unknown field"};
        if (!document.contains("image") || !document["image"].is_string())
            throw FieldError{"image", "is missing: the program image the tests run"};
        TestFile& file = loaded.file;
        file.image_path = beside(path, document["image"].get<std::string>());
        const Reader plain(nullptr, "");
        if (document.contains("loadAddress")) file.load_address = plain.address(document["loadAddress"], "loadAddress");
        if (document.contains("cpu")) {
            const std::string cpu = document["cpu"].is_string() ? document["cpu"].get<std::string>() : "";
            if (cpu == "6502") file.chip = Chip::m6502;
            else if (cpu == "6502X" || cpu == "6502x") file.chip = Chip::m6502x;
            else if (cpu == "65C02" || cpu == "65c02") file.chip = Chip::m65c02;
            else throw FieldError{"cpu", "must be \"6502\", \"6502X\" or \"65C02\""};
        }
        const FileRead image = host_read_file(file.image_path.c_str(), loaded.image);
        if (image.status != FileReadStatus::ok)
            throw FieldError{"image", "can't read '" + file.image_path + "': " + host_error_text(image.error)};
        if (loaded.image.size() + file.load_address > 0x10000)
            throw FieldError{"image", "'" + file.image_path + "' loaded at its address runs past $FFFF"};
        // The debug information: named, or beside the image when there.
        const bool named = document.contains("debugInfo");
        if (named && !document["debugInfo"].is_string()) throw FieldError{"debugInfo", "must be a file name"};
        file.debug_path = named ? beside(path, document["debugInfo"].get<std::string>()) : dbg_beside(file.image_path);
        auto debug = std::make_shared<debug_info::DebugInfo>();
        std::string fault = debug_info::load_file(file.debug_path.c_str(), *debug);
        if (fault.empty()) fault = debug->check_image(loaded.image, file.load_address);
        if (!fault.empty()) {
            std::vector<std::uint8_t> probe(1);
            const FileRead there = host_read_file(file.debug_path.c_str(), probe);
            const bool missing = there.status == FileReadStatus::cannot_open && host_error_is_missing(there.error);
            if (named || !missing) throw FieldError{named ? "debugInfo" : "image", "debug information '" + file.debug_path + "': " + fault};
            file.debug_path.clear();
        } else {
            loaded.debug = debug;
        }
        const Reader r(loaded.debug.get(), file.debug_path);
        TestReader t(r);
        t.debug_path_for_sources_ = file.debug_path;

        Context top;
        if (document.contains("setup")) t.setup(document["setup"], "setup", top.setup);
        if (document.contains("limit")) top.limit = static_cast<std::uint64_t>(r.matcher(document["limit"], "limit", 1, INT64_MAX).conditions[0].values[0]);
        const auto read_tests = [&](const json& list, const std::string& field, const Context& context) {
            if (!list.is_array()) throw FieldError{field, "must be a list of tests"};
            for (std::size_t i = 0; i < list.size(); ++i) {
                const json& test = list[i];
                const std::string f = field + Reader::index(i);
                test_name.clear();
                if (!test.is_object() || !test.contains("name") || !test["name"].is_string() || test["name"].get<std::string>().empty())
                    throw FieldError{f + ".name", "every test needs a name"};
                test_name = context.prefix + test["name"].get<std::string>();
                t.known_keys(test, f, {"name", "routine", "interrupt", "range", "call", "signature", "setup", "mocks",
                                       "expect", "limit", "skip"});
                for (const Test& other : file.tests)
                    if (other.name == test_name) throw FieldError{f + ".name", "another test has this name"};
                Test out;
                out.name = test_name;
                out.target = t.target(test, f);
                out.setup = context.setup;
                if (test.contains("setup")) t.setup(test["setup"], f + ".setup", out.setup);
                if (test.contains("mocks")) {
                    if (!test["mocks"].is_array()) throw FieldError{f + ".mocks", "must be a list"};
                    for (std::size_t k = 0; k < test["mocks"].size(); ++k)
                        out.mocks.push_back(t.mock(test["mocks"][k], f + ".mocks" + Reader::index(k)));
                }
                if (test.contains("expect")) out.expect = t.expect(test["expect"], f + ".expect", out.target);
                out.cycle_limit = context.limit;
                if (test.contains("limit"))
                    out.cycle_limit = static_cast<std::uint64_t>(r.matcher(test["limit"], f + ".limit", 1, INT64_MAX).conditions[0].values[0]);
                out.skip = context.skip;
                if (test.contains("skip")) {
                    if (!test["skip"].is_string() || test["skip"].get<std::string>().empty())
                        throw FieldError{f + ".skip", "must be the reason the test is skipped"};
                    out.skip = test["skip"].get<std::string>();
                }
                file.tests.push_back(std::move(out));
            }
            test_name.clear();
        };
        if (document.contains("tests")) read_tests(document["tests"], "tests", top);
        if (document.contains("suites")) {
            const json& suites = document["suites"];
            if (!suites.is_array()) throw FieldError{"suites", "must be a list"};
            for (std::size_t i = 0; i < suites.size(); ++i) {
                const json& suite = suites[i];
                const std::string f = "suites" + Reader::index(i);
                t.known_keys(suite, f, {"name", "setup", "limit", "skip", "tests"});
                if (!suite.contains("name") || !suite["name"].is_string()) throw FieldError{f + ".name", "every suite needs a name"};
                Context context = top;
                context.prefix = suite["name"].get<std::string>() + " / ";
                if (suite.contains("setup")) t.setup(suite["setup"], f + ".setup", context.setup);
                if (suite.contains("limit"))
                    context.limit = static_cast<std::uint64_t>(r.matcher(suite["limit"], f + ".limit", 1, INT64_MAX).conditions[0].values[0]);
                if (suite.contains("skip")) {
                    if (!suite["skip"].is_string()) throw FieldError{f + ".skip", "must be the reason the suite is skipped"};
                    context.skip = suite["skip"].get<std::string>();
                }
                if (!suite.contains("tests")) throw FieldError{f + ".tests", "is missing"};
                read_tests(suite["tests"], f + ".tests", context);
            }
        }
        if (file.tests.empty()) throw FieldError{"tests", "the file has no tests"};
    } catch (const FieldError& error) {
        loaded.error = path + ": " + (test_name.empty() ? "" : "test '" + test_name + "': ") +
                       (error.field.empty() ? "" : error.field + ": ") + error.message;
    } catch (const json::exception& error) {
        loaded.error = path + ": " + (test_name.empty() ? "" : "test '" + test_name + "': ") + error.what();
    }
    return loaded;
}

}  // namespace tester
