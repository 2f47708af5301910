#include "engine/history_copies.hpp"

#ifndef EMU6502_ONE_RUN_LOOP
EMU6502_HISTORY_COPIES(, Chip::m6502)
EMU6502_HISTORY_COPIES(, Chip::m6502x)
EMU6502_HISTORY_COPIES(, Chip::m65c02)
#endif
