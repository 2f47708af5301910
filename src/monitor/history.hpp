// The monitor's history: the last instructions run before a stop, read
// from the log the observed threaded code and the monitor fill
// (cpu/history_log.hpp).
#pragma once

#include <cstddef>
#include <functional>

#include "cpu/history_log.hpp"
#include "debug/labels.hpp"

// Empties the log (at `hist on`).
void history_clear();
// Notes the instruction about to run at cpu.pc, one at a time, with the registers now.
void history_note_instruction();
// Notes that an interrupt sent the processor to cpu.pc.
void history_note_interrupt();

// An instruction or interrupt in the history, with the registers it began
// with (an interrupt: those its handler began with).
struct HistoryLine {
    bool interrupt;
    u16 pc;
    u8 opcode;  // as it ran
    u8 a, x, y, sp, status;
};
// Calls `line` for the last `count` instructions and interrupts noted (as
// many as the log still holds), oldest first, read as processor `chip`
// ran them; returns how many.
std::size_t history_replay(std::size_t count, Chip chip, const std::function<void(const HistoryLine&)>& line);
// The same, a line of text each: the instruction as memory holds it now
// (and its opcode then when that has changed since), and the registers.
std::size_t history_lines(std::size_t count, const Labels* labels, const std::function<void(const char*)>& line);
