#include "debug/history.hpp"

#include <algorithm>
#include <array>
#include <cstdio>

#include "cpu/cpu.hpp"
#include "debug/disassembler.hpp"

namespace {
// Where in the history (counted as history_total counts) the interrupts
// were noted: kept apart so that the threaded code has no mark to write.
// Interrupts are rare beside instructions (the timer's every 10 ms or
// 10,000 cycles); an older one falls out and shows as an instruction.
std::array<std::uint64_t, 4096> interrupt_at;
std::size_t interrupts = 0;  // noted; the last interrupt_at.size() are kept

void note() {
    observed.history[observed.history_next++] = {cpu.pc, cpu.a, cpu.x, cpu.y, cpu.sp, cpu.status, 0};
    ++observed.history_total;
}
}  // namespace

void history_clear() {
    observed.history_next = 0;
    observed.history_total = 0;
    interrupts = 0;
}

void history_note_instruction() { note(); }

void history_note_interrupt() {
    interrupt_at[interrupts++ % interrupt_at.size()] = observed.history_total;
    note();
}

std::size_t history_kept() {
    return static_cast<std::size_t>(std::min<std::uint64_t>(observed.history_total, HISTORY_SIZE));
}

void history_lines(std::size_t count, const Labels* labels, const std::function<void(const char*)>& line) {
    count = std::min(count, history_kept());
    // The interrupts noted, oldest first, from the first one shown on.
    const std::size_t kept = std::min(interrupts, interrupt_at.size());
    std::size_t next_interrupt = interrupts - kept;
    const std::uint64_t first = observed.history_total - count;
    while (next_interrupt < interrupts && interrupt_at[next_interrupt % interrupt_at.size()] < first) ++next_interrupt;
    for (std::size_t back = count; back > 0; --back) {
        const HistoryEntry& entry = observed.history[static_cast<u16>(observed.history_next - back)];
        const std::uint64_t position = observed.history_total - back;
        char text[128];
        if (next_interrupt < interrupts && interrupt_at[next_interrupt % interrupt_at.size()] == position) {
            ++next_interrupt;
            std::snprintf(text, sizeof text, "interrupt to %04X", entry.pc);
        } else {
            (void)disassembly_line(entry.pc, labels, text, sizeof text);
        }
        char flags[9];
        for (int bit = 0; bit < 8; ++bit) flags[bit] = (entry.status & (0x80 >> bit)) ? '1' : '0';
        flags[8] = '\0';
        char out[200];
        std::snprintf(out, sizeof out, "%-34s A=%02X X=%02X Y=%02X SP=%02X NV-BDIZC=%s\n", text, entry.a, entry.x,
                      entry.y, entry.sp, flags);
        line(out);
    }
}
