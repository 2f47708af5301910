// UTF-8 text written in pieces: a console that decodes each write on its
// own shows a character split between two writes as two replacement marks.
#pragma once

#include <cstddef>
#include <cstdint>

// How many of the `size` bytes end on a whole character: the rest (at most
// three bytes) begin a multi-byte character whose other bytes are still to
// come. Bytes that are not UTF-8 count as whole: they are shown as they are.
[[nodiscard]] constexpr std::size_t utf8_whole_prefix(const std::uint8_t* data, std::size_t size) {
    // The last character's lead byte, at most three bytes back for one that
    // is not whole yet.
    for (std::size_t back = 1; back <= 3 && back <= size; ++back) {
        const std::uint8_t byte = data[size - back];
        if ((byte & 0xC0) == 0x80) continue;  // a continuation byte
        const std::size_t length = byte >= 0xC2 && byte <= 0xDF ? 2 : byte >= 0xE0 && byte <= 0xEF ? 3
                                   : byte >= 0xF0 && byte <= 0xF4                          ? 4
                                                                                           : 1;
        return back < length ? size - back : size;
    }
    return size;
}
