// The copies of the threaded code that note the history (the monitor's
// hist on), for each processor: alone, with breakpoints and watchpoints,
// and with the profile. They are compiled in a file of their own, which a
// parallel build makes beside the run loop: each copy takes long.
#pragma once

#include "cpu/threaded.hpp"

#define EMU6502_HISTORY_COPIES(KIND, P)                                                                         \
    KIND template InRamEnd run_in_ram<P, true, false, observe::HISTORY>(std::uint32_t);                          \
    KIND template InRamEnd run_in_ram<P, true, false, observe::BREAKS | observe::WATCHES | observe::HISTORY>(    \
        std::uint32_t);                                                                                         \
    KIND template InRamEnd                                                                                      \
        run_in_ram<P, true, false, observe::BREAKS | observe::WATCHES | observe::PROFILE | observe::HISTORY>(    \
            std::uint32_t);

#ifndef EMU6502_ONE_RUN_LOOP
EMU6502_HISTORY_COPIES(extern, Chip::m6502)
EMU6502_HISTORY_COPIES(extern, Chip::m6502x)
EMU6502_HISTORY_COPIES(extern, Chip::m65c02)
#endif
