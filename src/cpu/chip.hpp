// The processors the machine can be built around, chosen once per run.
#pragma once

#include <cstdint>

enum class Chip : std::uint8_t {
    m6502,   // this machine's own 6502: documented set, eight combined opcodes, NOPs elsewhere
    m6502x,  // the NMOS chip as it behaves, undocumented opcodes and JAM included
    m65c02,  // the WDC W65C02S
};

inline constexpr Chip ALL_CHIPS[] = {Chip::m6502, Chip::m6502x, Chip::m65c02};

// The names the command line and the kit's build script take.
[[nodiscard]] constexpr const char* chip_name(Chip chip) {
    switch (chip) {
    case Chip::m6502x: return "6502X";
    case Chip::m65c02: return "65C02";
    default: return "6502";
    }
}
