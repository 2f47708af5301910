#include "threaded_copies.hpp"

template InRamEnd run_in_ram<Chip::m6502, false, false>(std::uint32_t);
template InRamEnd run_in_ram<Chip::m6502, true, false>(std::uint32_t);
template InRamEnd run_in_ram<Chip::m6502, true, true>(std::uint32_t);
template InRamEnd run_in_ram<Chip::m65c02, true, true>(std::uint32_t);
