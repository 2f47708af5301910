#include "monitor/history.hpp"

#include <algorithm>
#include <cstdio>

#include "cpu/cpu.hpp"
#include "debug/disassembler.hpp"

void history_clear() { history_log_clear(); }

void history_note_instruction() { (void)history_log_full(history::stepped, bus_peek(cpu.pc)); }

void history_note_interrupt() { (void)history_log_full(history::interrupt); }

namespace {
// Reads the log forward, oldest entry first, and calls `line` for each
// instruction and interrupt whose registers are known: a full entry gives
// them all, and each instruction of the threaded code the ones it changed.
template <class F>
void read_forward(Chip chip, F&& line) {
    const auto& grid = opcode_grid_of(chip);
    const std::size_t next = history_log.next;
    const std::size_t lap_end = std::max(next, history_log.lap_end);
    HistoryLine now{};
    bool known = false;  // the registers after the last entry read
    auto read = [&](std::size_t at) {
        const u32 head = history_log.head[at];
        const auto kind = static_cast<history::Kind>(head >> 24);
        now.pc = static_cast<u16>(head);
        now.opcode = static_cast<u8>(head >> 16);
        now.interrupt = kind == history::interrupt;
        if (kind == history::threaded) {
            if (!known) return;
            line(now);
            const OpcodeEntry entry = grid[now.opcode];
            const history::Noted noted = history::noted_by(entry.op, entry.mode);
            if ((noted.fields & history::A) != 0) now.a = history_log.a[at];
            if ((noted.fields & history::X) != 0) now.x = history_log.x[at];
            if ((noted.fields & history::Y) != 0) now.y = history_log.y[at];
            if ((noted.fields & history::SP) != 0) now.sp = history_log.sp[at];
            now.status = history::status_after(noted, now.status, history_log.status[at], now.a, now.x, now.y);
            return;
        }
        now.a = history_log.a[at];
        now.x = history_log.x[at];
        now.y = history_log.y[at];
        now.sp = history_log.sp[at];
        now.status = history_log.status[at];
        if (kind != history::checkpoint) line(now);
        // After an instruction run one at a time comes a full entry again.
        known = kind != history::stepped;
    };
    for (std::size_t at = next; at < lap_end; ++at) read(at);
    for (std::size_t at = 0; at < next; ++at) read(at);
}
}  // namespace

std::size_t history_replay(std::size_t count, Chip chip, const std::function<void(const HistoryLine&)>& line) {
    std::size_t total = 0;
    read_forward(chip, [&](const HistoryLine&) { ++total; });
    count = std::min(count, total);
    std::size_t seen = 0;
    read_forward(chip, [&](const HistoryLine& entry) {
        if (seen++ >= total - count) line(entry);
    });
    return count;
}

std::size_t history_lines(std::size_t count, const Labels* labels, const std::function<void(const char*)>& line) {
    return history_replay(count, cpu_chip(), [&](const HistoryLine& entry) {
        char text[128];
        if (entry.interrupt) std::snprintf(text, sizeof text, "interrupt to %04X", entry.pc);
        else (void)disassembly_line(entry.pc, labels, text, sizeof text);
        char flags[9];
        for (int bit = 0; bit < 8; ++bit) flags[bit] = (entry.status & (0x80 >> bit)) != 0 ? '1' : '0';
        flags[8] = '\0';
        char then[24] = "";
        if (!entry.interrupt && bus_peek(entry.pc) != entry.opcode)
            std::snprintf(then, sizeof then, " (ran opcode %02X)", entry.opcode);
        char out[200];
        std::snprintf(out, sizeof out, "%-34s A=%02X X=%02X Y=%02X SP=%02X NV-BDIZC=%s%s\n", text, entry.a, entry.x,
                      entry.y, entry.sp, flags, then);
        line(out);
    });
}
