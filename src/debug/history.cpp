#include "debug/history.hpp"

#include <algorithm>
#include <cstdio>

#include "cpu/cpu.hpp"
#include "debug/disassembler.hpp"

namespace {
// The `unused` byte of an interrupt's entry: the threaded code writes 0.
constexpr u8 INTERRUPT_MARK = 1;

void note(u8 mark) {
    observed.history[observed.history_next++] = {cpu.pc, cpu.a, cpu.x, cpu.y, cpu.sp, cpu.status, mark};
    ++observed.history_total;
}
}  // namespace

void history_clear() {
    observed.history_next = 0;
    observed.history_total = 0;
}

void history_note_instruction() { note(0); }

void history_note_interrupt() { note(INTERRUPT_MARK); }

std::size_t history_kept() {
    return static_cast<std::size_t>(std::min<std::uint64_t>(observed.history_total, HISTORY_SIZE));
}

void history_lines(std::size_t count, const Labels* labels, const std::function<void(const char*)>& line) {
    count = std::min(count, history_kept());
    for (std::size_t back = count; back > 0; --back) {
        const HistoryEntry& entry = observed.history[static_cast<u16>(observed.history_next - back)];
        char text[128];
        if (entry.unused == INTERRUPT_MARK) {
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
