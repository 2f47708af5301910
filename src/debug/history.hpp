// The monitor's history: the last instructions run before a stop, from the
// ring the observed threaded code fills (cpu/observed.hpp) and the
// instructions the engine runs one at a time.
#pragma once

#include <cstddef>
#include <functional>

#include "cpu/observed.hpp"
#include "debug/labels.hpp"

// Empties the ring (at the start of a monitored run).
void history_clear();
// Notes the instruction about to run at cpu.pc, with the registers now.
void history_note_instruction();
// Notes that an interrupt sent the processor to cpu.pc.
void history_note_interrupt();
// The number of entries kept: every one noted, up to HISTORY_SIZE.
[[nodiscard]] std::size_t history_kept();
// The last `count` entries (or as many as are kept), oldest first, one
// line each: the instruction as memory holds it now, and the registers it
// began with.
void history_lines(std::size_t count, const Labels* labels, const std::function<void(const char*)>& line);
