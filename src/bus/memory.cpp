#include "bus/bus.hpp"

std::array<u8, 0x10000> memory{};
