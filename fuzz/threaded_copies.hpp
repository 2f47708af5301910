// The copies of the threaded code that fuzz_threaded compares with the
// core's step. They are compiled in a file of their own, which the build
// can make beside the core: each takes long with the sanitizers.
#pragma once

#include "cpu/threaded.hpp"

extern template InRamEnd run_in_ram<Chip::m6502, false, false>(std::uint32_t);
extern template InRamEnd run_in_ram<Chip::m6502, true, false>(std::uint32_t);
extern template InRamEnd run_in_ram<Chip::m6502, true, true>(std::uint32_t);
extern template InRamEnd run_in_ram<Chip::m65c02, true, true>(std::uint32_t);
