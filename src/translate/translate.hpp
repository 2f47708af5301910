// The translating core: the program's code turned into host code a stretch
// at a time and kept by address, behind the same contract as run_in_ram
// (threaded.hpp), so that the run loop's rules, counts and interrupts stay
// exactly those of the interpreter. Only for runs that no observer watches.
#pragma once

#include <cstdint>

#include "cpu/threaded.hpp"

// The longest countdown and budget translate_run takes: far longer than the
// threaded code's, as translated code checks where pc goes at every block.
inline constexpr std::uint32_t MAX_TRANSLATED_RUN = 1u << 16;

// What this build has, for --version: "x86-64 host code (xbyak)", or why not.
[[nodiscard]] const char* translate_build_text();

// Code is translated once its address has been run HOT_AFTER times (until
// then its instructions run one at a time through their handlers): code
// that runs once or twice, most of a short program, costs more to
// translate than to interpret.
inline constexpr unsigned HOT_AFTER = 8;

// Readies the core for a run on processor `chip`: whatever was translated
// before is dropped (memory may have been loaded or changed since). False
// when the build has no translator, or, with one line on standard error the
// first time, when the host allows no code to be made: the interpreter then
// runs. `hot_after`: HOT_AFTER, or 0 to translate code the first time.
[[nodiscard]] bool translate_begin(Chip chip, unsigned hot_after = HOT_AFTER);

// run_in_ram<P, COUNT_CYCLES, CYCLE_BUDGET>(countdown), translated. It may
// hand back before the countdown is over (stop countdown_over, countdown
// left): at the top of memory, where the run loop steps.
template <Chip P, bool COUNT_CYCLES, bool CYCLE_BUDGET>
[[nodiscard]] InRamEnd translate_run(std::uint32_t countdown);

// The run loop ran an instruction on `cpu` itself, or took an interrupt:
// the code its stores reached is translated again before it runs.
void translate_after_step();
void translate_after_interrupt();
