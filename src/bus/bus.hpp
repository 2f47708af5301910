// The machine's address space: 64 KiB of RAM with thirteen device registers
// at 0xFF00-0xFF0C. Every processor access goes through bus_read/bus_write;
// the driver loads, saves and traces `memory` directly, without device actions.
#pragma once

#include <array>
#include <cstdint>

using u8 = std::uint8_t;
using u16 = std::uint16_t;
using u32 = std::uint32_t;

inline constexpr u16 KBD_IN = 0xFF00;
inline constexpr u16 CON_OUT = 0xFF01;
inline constexpr u16 RANDOM = 0xFF02;
inline constexpr u16 TRACE_CTL = 0xFF03;
inline constexpr u16 RTC_YEAR = 0xFF04;
inline constexpr u16 RTC_MONTH = 0xFF05;
inline constexpr u16 RTC_DAY = 0xFF06;
inline constexpr u16 RTC_HOUR = 0xFF07;
inline constexpr u16 RTC_MINUTE = 0xFF08;
inline constexpr u16 RTC_SECOND = 0xFF09;
inline constexpr u16 FILE_READ = 0xFF0A;
inline constexpr u16 FILE_WRITE = 0xFF0B;
inline constexpr u16 FILE_SELECT = 0xFF0C;

inline constexpr u16 DEVICE_FIRST = KBD_IN;
inline constexpr u16 DEVICE_COUNT = FILE_SELECT - KBD_IN + 1;

extern std::array<u8, 0x10000> memory;

// Uses of the world outside the machine that no run taken back can repeat:
// data file accesses and standard input read but not kept. A device access
// that counts one makes the processor hand back to the run loop right after
// its instruction, so that steps backwards stop exactly there.
extern std::uint64_t outside_uses;

// The device page, out of line in address_map.cpp.
[[nodiscard]] u8 device_read(u16 address);
void device_write(u16 address, u8 value);

[[nodiscard]] constexpr bool is_device(u16 address) {
    // One unsigned comparison: addresses below 0xFF00 wrap to large values.
    return static_cast<u16>(address - DEVICE_FIRST) < DEVICE_COUNT;
}

[[nodiscard, gnu::always_inline]] inline u8 bus_read(u16 address) {
    if (is_device(address)) [[unlikely]]
        return device_read(address);
    return memory[address];
}

[[gnu::always_inline]] inline void bus_write(u16 address, u8 value) {
    if (is_device(address)) [[unlikely]]
        device_write(address, value);
    else
        memory[address] = value;
}

// What the trace shows: the stored byte, with no device action, so tracing
// never consumes a key, a random draw or a data file byte.
[[nodiscard]] inline u8 bus_peek(u16 address) { return memory[address]; }
