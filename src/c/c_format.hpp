// C values shown as C writes them: 3, 98 'b', {1, 2, 3},
// {name = "bolt", qty = 3, price = 250}, (struct item *) 0x33c1,
// 0x2f00 "text" for a char pointer; print/x, /d and /c change how
// integers show.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "c/c_types.hpp"
#include "debug/c_values.hpp"

namespace c_view {

// How integers show: as the type says, or /x /d /c.
enum class Format : std::uint8_t { natural, hex, decimal, character };

// The value of type `type` at `address` in memory, or (a scalar that is in
// no memory) `number`.
[[nodiscard]] std::string format_value(const Types& types, std::uint32_t type, std::optional<std::uint16_t> address,
                                       std::int64_t number, Format format, const PeekByte& peek);

// The bytes of a scalar of `type` at `address`, as a number (signed
// types sign-extended).
[[nodiscard]] std::int64_t read_scalar(const Type& type, std::uint16_t address, const PeekByte& peek);
// `number` cut to `type`'s width and sign.
[[nodiscard]] std::int64_t fit(const Type& type, std::int64_t number);

}  // namespace c_view
