#include "inspect/call_profile.hpp"

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>
#include <tuple>

#include "cpu/cpu.hpp"
#include "cpu/observed.hpp"
#include "debug/call_stack.hpp"

namespace {
constexpr std::size_t SLOTS = 1u << 16;  // room for this many edges and stack nodes; beyond, costs go to the caller

std::size_t slot_of(std::uint32_t key) { return (key * 2654435761u) >> 16 & (SLOTS - 1); }

std::string hex_name(std::uint16_t address) {
    char text[8];
    std::snprintf(text, sizeof text, "$%04X", address);
    return text;
}

// Names, files and lines for addresses, from the debug information when
// there is one, else from the routines' entries.
class Places {
public:
    Places(const debug_info::DebugInfo* info, std::set<std::uint16_t> entries) : info_(info), entries_(std::move(entries)) {}
    // The routine holding `address`.
    [[nodiscard]] std::string function(std::uint16_t address) const {
        if (info_ != nullptr) {
            if (const auto f = info_->function_at(address)) return f->name;
        }
        auto it = entries_.upper_bound(address);
        const std::uint16_t entry = it == entries_.begin() ? address : *std::prev(it);
        return entry_name(entry);
    }
    [[nodiscard]] std::string entry_name(std::uint16_t entry) const {
        if (info_ != nullptr) {
            if (const auto f = info_->function_at(entry)) return f->name;
            const std::string name = code_name(*info_, entry);
            if (!name.empty() && name.find('+') == std::string::npos) return name;
        }
        return hex_name(entry);
    }
    [[nodiscard]] std::string file(std::uint16_t address) const {
        if (info_ != nullptr) {
            if (const auto at = info_->location(address)) return info_->files()[at->file].name;
        }
        return "???";
    }
    // The source line, or the address itself where there is none.
    [[nodiscard]] std::uint32_t line(std::uint16_t address) const {
        if (info_ != nullptr) {
            if (const auto at = info_->location(address)) return at->line;
        }
        return address;
    }

private:
    const debug_info::DebugInfo* info_;
    std::set<std::uint16_t> entries_;
};
}  // namespace

CallProfile::CallProfile() {
    observed_counts_clear();
    edges_.reserve(SLOTS);
    nodes_.reserve(SLOTS);
    edge_slots_.assign(SLOTS, 0);
    node_slots_.assign(SLOTS, 0);
    open_.reserve(256);
    nodes_.push_back({UINT32_MAX, 0, 0, 0});
}

void CallProfile::start(std::uint16_t pc) {
    start_ = pc;
    nodes_[0].entry = pc;
}

std::uint32_t CallProfile::edge(std::uint16_t call_pc, std::uint16_t entry) {
    // A call site mostly calls one routine: its last edge first.
    const std::uint32_t last = edge_at_[call_pc];
    if (last != 0 && edges_[last - 1].entry == entry) return last - 1;
    const std::uint32_t found = find_edge(call_pc, entry);
    if (found != UINT32_MAX) edge_at_[call_pc] = found + 1;
    return found;
}

std::uint32_t CallProfile::find_edge(std::uint16_t call_pc, std::uint16_t entry) {
    const std::uint32_t key = std::uint32_t{call_pc} << 16 | entry;
    for (std::size_t slot = slot_of(key), tries = 0; tries < SLOTS; slot = (slot + 1) & (SLOTS - 1), ++tries) {
        if (edge_slots_[slot] == 0) {
            if (edges_.size() + 1 >= SLOTS) return UINT32_MAX;
            edges_.push_back({call_pc, entry, 0, 0, 0});
            edge_slots_[slot] = static_cast<std::uint32_t>(edges_.size());
            return edge_slots_[slot] - 1;
        }
        const Edge& e = edges_[edge_slots_[slot] - 1];
        if (e.call_pc == call_pc && e.entry == entry) return edge_slots_[slot] - 1;
    }
    return UINT32_MAX;
}

std::uint32_t CallProfile::child(std::uint32_t parent, std::uint16_t entry) {
    // A stack mostly calls the routine it called last.
    const std::uint32_t last = nodes_[parent].last_child;
    if (last != 0 && nodes_[last].entry == entry) return last;
    const std::uint32_t found = find_child(parent, entry);
    if (found != parent) nodes_[parent].last_child = found;
    return found;
}

std::uint32_t CallProfile::find_child(std::uint32_t parent, std::uint16_t entry) {
    const std::uint32_t key = parent * 65599u ^ entry;
    for (std::size_t slot = slot_of(key), tries = 0; tries < SLOTS; slot = (slot + 1) & (SLOTS - 1), ++tries) {
        if (node_slots_[slot] == 0) {
            if (nodes_.size() + 1 >= SLOTS) return parent;
            nodes_.push_back({parent, entry, 0, 0});
            node_slots_[slot] = static_cast<std::uint32_t>(nodes_.size());
            return node_slots_[slot] - 1;
        }
        const Node& n = nodes_[node_slots_[slot] - 1];
        if (n.parent == parent && n.entry == entry) return node_slots_[slot] - 1;
    }
    return parent;
}

void CallProfile::follow_calls() {
    const auto& calls = tracker_.calls();
    const std::size_t kept = tracker_.take_unchanged();
    while (open_.size() > kept) {
        const Open& done = open_.back();
        --active_[done.entry];
        if (done.counts && done.edge != UINT32_MAX) {
            edges_[done.edge].instructions += total_instructions_ - done.instructions;
            edges_[done.edge].cycles += total_cycles_ - done.cycles;
        }
        open_.pop_back();
    }
    for (std::size_t i = kept; i < calls.size(); ++i) {
        const TrackedCall& call = calls[i];
        const std::uint32_t parent = open_.empty() ? 0 : open_.back().node;
        const std::uint32_t e = edge(call.call_pc, call.entry);
        if (e != UINT32_MAX) ++edges_[e].calls;
        open_.push_back({e, child(parent, call.entry), total_instructions_, total_cycles_, active_[call.entry] == 0,
                         call.call_pc, call.entry, call.sp});
        ++active_[call.entry];
    }
}

void CallProfile::ran_to(std::uint64_t instructions, std::uint64_t cycles) {
    nodes_[open_.empty() ? 0 : open_.back().node].cycles += cycles - total_cycles_;
    total_instructions_ = instructions;
    total_cycles_ = cycles;
}

void CallProfile::call_ran(const CallRan& call) {
    ran_to(call.instructions, call.cycles);
    switch (call.opcode) {
    case 0x20: tracker_.called(call.pc, call.to, call.sp); break;                                                 // JSR
    case 0x00: tracker_.interrupted(call.pc, static_cast<std::uint16_t>(call.pc + 2), call.to, call.sp); break;  // BRK
    case 0x60: (void)tracker_.returned(static_cast<std::uint8_t>(call.sp - 2), call.to, false); break;           // RTS
    case 0x40: (void)tracker_.returned(static_cast<std::uint8_t>(call.sp - 3), call.to, true); break;            // RTI
    default: return;
    }
    follow_calls();
}

void CallProfile::interrupt_taken(std::uint64_t instructions, std::uint64_t cycles) {
    ran_to(instructions, cycles);
    const std::uint8_t sp = cpu.sp;
    const auto back = static_cast<std::uint16_t>(bus_peek(static_cast<std::uint16_t>(0x100 | static_cast<std::uint8_t>(sp + 2))) |
                                                 bus_peek(static_cast<std::uint16_t>(0x100 | static_cast<std::uint8_t>(sp + 3))) << 8);
    tracker_.interrupted(back, back, cpu.pc, sp);
    follow_calls();
}

void CallProfile::finish() {
    ran_to(observed.instructions_counted, observed.cycles_counted);
    tracker_.clear();
    follow_calls();
}

std::string CallProfile::callgrind(const debug_info::DebugInfo* info, const std::string& command) const {
    std::set<std::uint16_t> entries{start_};
    for (const Edge& e : edges_) entries.insert(e.entry);
    const Places places(info, entries);
    struct Call {
        std::string file, function;
        std::uint32_t calls_line, call_line;
        std::uint64_t calls, instructions, cycles;
    };
    struct Routine {
        std::map<std::uint32_t, std::pair<std::uint64_t, std::uint64_t>> lines;
        std::vector<Call> calls;
    };
    std::map<std::pair<std::string, std::string>, Routine> routines;  // by file and function
    for (unsigned a = 0; a <= 0xFFFF; ++a) {
        if (observed.counts[a] == 0) continue;
        const auto address = static_cast<std::uint16_t>(a);
        auto& cost = routines[{places.file(address), places.function(address)}].lines[places.line(address)];
        cost.first += observed.counts[a];
        cost.second += observed.cycles[a];
    }
    for (const Edge& e : edges_) {
        routines[{places.file(e.call_pc), places.function(e.call_pc)}].calls.push_back(
            {places.file(e.entry), places.entry_name(e.entry), places.line(e.entry), places.line(e.call_pc), e.calls,
             e.instructions, e.cycles});
    }
    std::string out = "# callgrind format\nversion: 1\ncreator: emu6502\ncmd: " + command +
                      "\npositions: line\nevents: Instructions Cycles\nsummary: " + std::to_string(total_instructions_) +
                      " " + std::to_string(total_cycles_) + "\n";
    for (const auto& [where, routine] : routines) {
        out += "\nfl=" + where.first + "\nfn=" + where.second + "\n";
        for (const auto& [line, cost] : routine.lines)
            out += std::to_string(line) + " " + std::to_string(cost.first) + " " + std::to_string(cost.second) + "\n";
        for (const Call& call : routine.calls) {
            out += "cfl=" + call.file + "\ncfn=" + call.function + "\ncalls=" + std::to_string(call.calls) + " " +
                   std::to_string(call.calls_line) + "\n" + std::to_string(call.call_line) + " " +
                   std::to_string(call.instructions) + " " + std::to_string(call.cycles) + "\n";
        }
    }
    return out;
}

std::string CallProfile::folded(const debug_info::DebugInfo* info) const {
    std::set<std::uint16_t> entries{start_};
    for (const Node& n : nodes_) entries.insert(n.entry);
    const Places places(info, entries);
    std::map<std::string, std::uint64_t> stacks;  // the same names may come from other entries
    for (std::size_t i = 0; i < nodes_.size(); ++i) {
        if (nodes_[i].cycles == 0) continue;
        std::vector<std::string> names;
        for (std::uint32_t n = static_cast<std::uint32_t>(i); n != UINT32_MAX; n = nodes_[n].parent) {
            std::string name = places.entry_name(nodes_[n].entry);
            std::replace(name.begin(), name.end(), ';', ':');
            std::replace(name.begin(), name.end(), ' ', '_');
            names.push_back(name);
        }
        std::string stack;
        for (auto it = names.rbegin(); it != names.rend(); ++it) stack += (stack.empty() ? "" : ";") + *it;
        stacks[stack] += nodes_[i].cycles;
    }
    std::string out;
    for (const auto& [stack, cycles] : stacks) out += stack + " " + std::to_string(cycles) + "\n";
    return out;
}

unsigned CallProfileObserver::threaded_checks() const { return observe::PROFILE | observe::CALLS; }

void CallProfileObserver::interrupt_taken() {
    if (!probing_) profile_.interrupt_taken(observed.instructions_counted, observed.cycles_counted);
}
