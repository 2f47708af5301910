// What the monitor's hunt, compare and move commands do to memory, apart
// from how they are asked for and shown: plain procedures over a 64 KiB
// image, so that they can be tried on any bytes.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "debug/expression.hpp"

using MemoryImage = std::array<std::uint8_t, 0x10000>;

// A hunt pattern: bytes, each a value or -1 for "any byte".
using HuntPattern = std::vector<std::int16_t>;

// The pattern of hunt's arguments: expressions worth a byte each, "text"
// for its characters, ? for any byte. "" in `error` when all is well.
[[nodiscard]] HuntPattern read_hunt_pattern(std::span<const std::string_view> words, const ExpressionContext& context,
                                            std::string& error);

// The addresses in first..last where the pattern lies wholly inside the
// range, at most `limit` of them; `more` says whether others were left out.
[[nodiscard]] std::vector<std::uint16_t> hunt_memory(const MemoryImage& memory, std::uint16_t first, std::uint16_t last,
                                                     const HuntPattern& pattern, std::size_t limit, bool& more);

struct MemoryDifference {
    std::uint16_t address;  // in the first range
    std::uint8_t here, there;
};

// first..last against the same length from `other`, at most `limit`
// differences; `more` says whether others were left out. The second range
// must end by FFFF: `error` says so otherwise.
[[nodiscard]] std::vector<MemoryDifference> compare_memory(const MemoryImage& memory, std::uint16_t first,
                                                           std::uint16_t last, std::uint16_t other, std::size_t limit,
                                                           bool& more, std::string& error);

// Copies first..last to `to` as if through a buffer, so overlapping ranges
// come out whole; "" when done, else why nothing moved (the copy would run
// past FFFF, or the range is backwards).
[[nodiscard]] std::string move_memory(MemoryImage& memory, std::uint16_t first, std::uint16_t last, std::uint16_t to);
