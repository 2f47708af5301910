#include "tester/test_observer.hpp"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "cpu/cpu.hpp"
#include "debug/data_accesses.hpp"

namespace tester {
namespace {
constexpr std::size_t KEPT = 256;  // calls' arguments and written values kept, each
constexpr u8 JSR = 0x20;

// The NMOS part's halting opcodes, which this machine's 6502 runs as NOPs:
// a routine that reaches one has gone astray all the same.
constexpr bool is_jam(u8 opcode) { return (opcode & 0x0F) == 0x02 && opcode != 0x82 && opcode != 0xA2 && opcode != 0xC2 && opcode != 0xE2; }
}  // namespace

TestObserver::TestObserver(const Test& test, std::uint32_t code_from, std::uint32_t code_to, bool jam_is_crash,
                           TestWatch* watch)
    : test_(test), watch_(watch), code_from_(code_from), code_to_(code_to), jam_is_crash_(jam_is_crash) {
    const auto call_at = [this](std::uint16_t address) -> CallRecord& {
        for (CallRecord& c : calls_)
            if (c.address == address) return c;
        calls_.push_back({address, nullptr, 0, {}});
        calls_.back().args.reserve(KEPT);
        return calls_.back();
    };
    calls_.reserve(test.mocks.size() + test.expect.calls.size());
    for (const Mock& mock : test.mocks) call_at(mock.address).mock = &mock;
    for (const CallExpect& call : test.expect.calls) call_at(call.address);
    accesses_.reserve(test.expect.accesses.size());
    for (const AccessExpect& access : test.expect.accesses) {
        if (watched_[access.address] != 0 || accesses_.size() >= 255) continue;
        accesses_.push_back({access.address, 0, 0, {}});
        accesses_.back().written.reserve(KEPT);
        watched_[access.address] = static_cast<u8>(accesses_.size());
    }
    pending_writes_.reserve(MAX_ACCESSES);
}

bool TestObserver::may_run_at(std::uint16_t pc) const {
    if (pc >= code_from_ && pc < code_to_) return true;
    for (const MemoryBytes& m : test_.setup.values.memory)
        if (pc >= m.address && pc < m.address + m.bytes.size()) return true;
    return false;
}

const char* TestObserver::stop_before() {
    const u16 pc = cpu.pc;
    if (test_.target.kind == Target::Kind::range && pc == test_.target.end && pc != 0) {
        asked_ = RunStop::range_end;
        return "end";
    }
    for (CallRecord& call : calls_) {
        if (call.mock != nullptr && call.address == pc) {
            pending_mock_ = &call;
            return "mock";
        }
    }
    if (pc != 0 && !may_run_at(pc)) {
        std::snprintf(crash_, sizeof crash_, "wild jump: the pc reached $%04X, outside the program", pc);
        asked_ = RunStop::crash;
        return "crash";
    }
    if (jam_is_crash_ && is_jam(bus_peek(pc))) {
        std::snprintf(crash_, sizeof crash_, "JAM opcode $%02X at $%04X", bus_peek(pc), pc);
        asked_ = RunStop::crash;
        return "crash";
    }
    return nullptr;
}

void TestObserver::step_before() {
    last_opcode_ = bus_peek(cpu.pc);
    if (accesses_.empty()) return;
    std::array<Access, MAX_ACCESSES> seen;
    const int n = data_accesses(seen);
    for (int i = 0; i < n; ++i) {
        const u8 index = watched_[seen[static_cast<std::size_t>(i)].address];
        if (index == 0) continue;
        AccessRecord& record = accesses_[index - 1];
        if (seen[static_cast<std::size_t>(i)].kind == WATCH_READ) {
            ++record.reads;
        } else {
            ++record.writes;
            pending_writes_.push_back(record.address);
        }
    }
}

void TestObserver::step_after(std::uint16_t pc, std::uint32_t) {
    for (const u16 address : pending_writes_) {
        AccessRecord& record = accesses_[watched_[address] - 1];
        if (record.written.size() < record.written.capacity()) record.written.push_back(memory[address]);
    }
    pending_writes_.clear();
    if (bus_peek(pc) == JSR) {
        for (CallRecord& call : calls_) {
            if (call.mock == nullptr && call.address == cpu.pc) {
                ++call.count;
                if (call.args.size() < call.args.capacity()) call.args.push_back({cpu.a, cpu.x, cpu.y});
            }
        }
    }
    // A push past $0100 or a pull past $01FF wraps inside the stack page.
    const u8 sp = cpu.sp;
    const u8 before = static_cast<u8>(sp_before_);
    if ((before < 0x08 && sp > 0xF8) || (before > 0xF8 && sp < 0x08)) {
        std::snprintf(crash_, sizeof crash_, "stack wrap: the stack pointer went from $%02X to $%02X at $%04X", before,
                      sp, pc);
        asked_ = RunStop::crash;
    }
    sp_before_ = sp;
}

ObserverStop TestObserver::stop_due(const RunCounts& counts) {
    if (asked_ == RunStop::crash) return {true, "crash"};
    if (counts.cycles >= test_.cycle_limit) {
        asked_ = RunStop::limit;
        return {true, "limit"};
    }
    return {};
}

void TestObserver::converse(const char*, const RunCounts&) {
    if (pending_mock_ != nullptr) {
        CallRecord& call = *std::exchange(pending_mock_, nullptr);
        answer_mock(call);
        return;
    }
    // Asked by none of this observer's own tests: the one beside stopped the run.
    const RunStop asked = std::exchange(asked_, RunStop::none);
    end_here(asked == RunStop::none ? RunStop::watcher : asked);
}

void TestObserver::end_here(RunStop why) {
    stopped_ = why;
    stop_pc_ = cpu.pc;
    cpu.pc = 0x0000;  // where every run ends
}

// The mock's results for this call, then a return as RTS makes it.
void TestObserver::answer_mock(CallRecord& call) {
    ++call.count;
    if (call.args.size() < call.args.capacity()) call.args.push_back({cpu.a, cpu.x, cpu.y});
    const std::vector<MachineValues>& results = call.mock->results;
    if (!results.empty()) {
        const MachineValues& r = results[std::min<std::size_t>(call.count - 1, results.size() - 1)];
        u8* const regs[] = {&cpu.a, &cpu.x, &cpu.y, &cpu.sp};
        for (std::size_t i = 0; i < r.registers.size(); ++i)
            if (r.registers[i]) *regs[i] = *r.registers[i];
        cpu.status = static_cast<u8>((cpu.status | r.flags_set) & ~r.flags_clear);
        for (const MemoryBytes& m : r.memory) {
            std::copy(m.bytes.begin(), m.bytes.end(), memory.begin() + m.address);
            if (watch_ != nullptr) watch_->wrote(m.address, m.bytes.size());
        }
    }
    if (call.mock->c_stack_bytes != 0) {
        const u16 at = call.mock->c_stack_pointer;
        const u16 sp = static_cast<u16>((memory[at] | memory[static_cast<u8>(at + 1)] << 8) + call.mock->c_stack_bytes);
        memory[at] = static_cast<u8>(sp);
        memory[static_cast<u8>(at + 1)] = static_cast<u8>(sp >> 8);
    }
    cpu.pc = static_cast<u16>(stack_pull_word() + 1);
    sp_before_ = cpu.sp;
    if (watch_ != nullptr) watch_->mocked();
}

}  // namespace tester
