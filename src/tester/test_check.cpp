#include "tester/test_check.hpp"

#include <cstdio>

#include "cpu/cpu.hpp"
#include "host/files.hpp"

namespace tester {
namespace {

std::string hex(unsigned value, int digits) {
    char text[8];
    std::snprintf(text, sizeof text, "$%0*X", digits, value);
    return text;
}

std::string expected_saw(const Matcher& m, std::int64_t seen, int digits) {
    return "expected " + m.text() + ", saw " + std::to_string(seen) +
           (digits > 0 ? " (" + hex(static_cast<unsigned>(seen), digits) + ")" : "");
}

std::string byte_list(const std::vector<std::uint8_t>& bytes) {
    std::string out = "[";
    for (std::size_t i = 0; i < bytes.size(); ++i) out += (i > 0 ? ", " : "") + std::to_string(bytes[i]);
    return out + "]";
}

std::string address_text(const std::string& where, std::uint16_t address) {
    const std::string h = hex(address, 4);
    return where == "\"" + h + "\"" || where == std::to_string(address) ? h : where + " (" + h + ")";
}

void check_memory(const MemoryExpect& m, std::size_t i, std::vector<std::string>& out) {
    const std::string field = "expect.memory[" + std::to_string(i) + "] at " + address_text(m.where, m.address);
    switch (m.kind) {
    case MemoryExpect::Kind::byte:
        if (!m.matchers[0].holds(memory[m.address])) out.push_back(field + ": " + expected_saw(m.matchers[0], memory[m.address], 2));
        break;
    case MemoryExpect::Kind::word: {
        const unsigned w = memory[m.address] | memory[static_cast<u16>(m.address + 1)] << 8;
        if (!m.matchers[0].holds(w)) out.push_back(field + ": word " + expected_saw(m.matchers[0], w, 4));
        break;
    }
    case MemoryExpect::Kind::bytes:
        for (std::size_t k = 0; k < m.matchers.size(); ++k) {
            const u8 b = memory[m.address + k];
            if (!m.matchers[k].holds(b)) {
                out.push_back(field + ": byte " + std::to_string(k) + " " + expected_saw(m.matchers[k], b, 2));
                break;
            }
        }
        break;
    case MemoryExpect::Kind::string: {
        const std::size_t length = m.text.size() + (m.terminated ? 1 : 0);
        const std::string there(reinterpret_cast<const char*>(memory.data()) + m.address, length);
        const std::string wanted = m.terminated ? m.text + '\0' : m.text;
        if (there != wanted) out.push_back(field + ": expected " + quoted(wanted) + ", saw " + quoted(there));
        break;
    }
    case MemoryExpect::Kind::all:
        for (std::uint32_t k = 0; k < m.size; ++k) {
            const u8 b = memory[m.address + k];
            if (!m.matchers[0].holds(b)) {
                out.push_back(field + ": byte " + std::to_string(k) + " (" + hex(m.address + k, 4) + ") " +
                              expected_saw(m.matchers[0], b, 2));
                break;
            }
        }
        break;
    }
}

}  // namespace

std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') out += std::string("\\") + c;
        else if (c == '\n') out += "\\n";
        else if (c == '\r') out += "\\r";
        else if (u < 0x20 || u >= 0x7F) {
            char e[8];
            std::snprintf(e, sizeof e, "\\x%02X", u);
            out += e;
        } else out += c;
    }
    return out + "\"";
}

std::vector<std::string> check_expectations(const Test& test, const TestObserver& observer, const Seen& seen) {
    std::vector<std::string> out;
    const Expect& e = test.expect;
    const u8 registers[] = {cpu.a, cpu.x, cpu.y, cpu.sp};
    for (std::size_t i = 0; i < e.registers.size(); ++i)
        if (e.registers[i] && !e.registers[i]->holds(registers[i]))
            out.push_back(std::string("expect.registers.") + REG_NAMES[i] + ": " + expected_saw(*e.registers[i], registers[i], 2));
    for (const FlagName& flag : FLAG_NAMES) {
        const bool want_set = (e.flags_set & flag.mask) != 0, want_clear = (e.flags_clear & flag.mask) != 0;
        const bool is_set = (cpu.status & flag.mask) != 0;
        if ((want_set && !is_set) || (want_clear && is_set))
            out.push_back(std::string("expect.flags.") + flag.name + ": expected " + (want_set ? "true" : "false") + ", saw " +
                          (is_set ? "true" : "false"));
    }
    for (std::size_t i = 0; i < e.memory.size(); ++i) check_memory(e.memory[i], i, out);
    std::size_t reads = 0, writes = 0;
    for (const AccessExpect& a : e.accesses) {
        const std::string field = std::string("expect.") + (a.write ? "writes[" + std::to_string(writes++) : "reads[" + std::to_string(reads++)) +
                                  "] at " + address_text(a.where, a.address);
        const AccessRecord* record = nullptr;
        for (const AccessRecord& r : observer.accesses())
            if (r.address == a.address) record = &r;
        const std::uint64_t count = record == nullptr ? 0 : a.write ? record->writes : record->reads;
        if (a.count && !a.count->holds(static_cast<std::int64_t>(count)))
            out.push_back(field + ": count " + expected_saw(*a.count, static_cast<std::int64_t>(count), 0));
        if (a.values && record != nullptr && record->written != *a.values)
            out.push_back(field + ": values expected " + byte_list(*a.values) + ", saw " + byte_list(record->written));
    }
    for (std::size_t i = 0; i < e.calls.size(); ++i) {
        const CallExpect& c = e.calls[i];
        const std::string field = "expect.calls[" + std::to_string(i) + "] to " + c.name;
        const CallRecord* record = nullptr;
        for (const CallRecord& r : observer.calls())
            if (r.address == c.address) record = &r;
        const std::uint64_t count = record == nullptr ? 0 : record->count;
        if (c.count && !c.count->holds(static_cast<std::int64_t>(count)))
            out.push_back(field + ": count " + expected_saw(*c.count, static_cast<std::int64_t>(count), 0));
        for (std::size_t k = 0; k < c.args.size(); ++k) {
            if (record == nullptr || k >= record->args.size()) {
                out.push_back(field + ": call " + std::to_string(k + 1) + " expected, but there were only " + std::to_string(count));
                break;
            }
            for (std::size_t r = 0; r < 3; ++r) {
                if (c.args[k][r] && !c.args[k][r]->holds(record->args[k][r]))
                    out.push_back(field + ": call " + std::to_string(k + 1) + " register " + REG_NAMES[r] + " " +
                                  expected_saw(*c.args[k][r], record->args[k][r], 2));
            }
        }
    }
    if (e.cycles && !e.cycles->holds(static_cast<std::int64_t>(seen.cycles)))
        out.push_back("expect.cycles: " + expected_saw(*e.cycles, static_cast<std::int64_t>(seen.cycles), 0));
    if (e.output) {
        const std::string got(seen.output->begin(), seen.output->end());
        if (got != *e.output) out.push_back("expect.output: expected " + quoted(*e.output) + ", saw " + quoted(got));
    }
    if (e.returns && seen.returned && !e.returns->holds(*seen.returned))
        out.push_back("expect.returns: " + expected_saw(*e.returns, *seen.returned, 0));
    for (const DataFile& file : e.files) {
        std::vector<std::uint8_t> bytes;
        const FileRead r = host_read_file(file.name.c_str(), bytes);
        if (r.status != FileReadStatus::ok) {
            out.push_back("expect.files." + file.name + ": the run left no such file");
        } else if (bytes != file.bytes) {
            out.push_back("expect.files." + file.name + ": expected " + quoted(std::string(file.bytes.begin(), file.bytes.end())) +
                          ", saw " + quoted(std::string(bytes.begin(), bytes.end())));
        }
    }
    return out;
}

}  // namespace tester
