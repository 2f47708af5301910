#include "monitor/memory_tools.hpp"

#include <algorithm>
#include <cstdio>

#include "base/text.hpp"

namespace {
std::string hex4(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "%04X", value);
    return text;
}
}  // namespace

HuntPattern read_hunt_pattern(std::span<const std::string_view> words, const ExpressionContext& context,
                              std::string& error) {
    HuntPattern pattern;
    error.clear();
    for (const std::string_view word : words) {
        if (word == "?" || word == "??") {
            pattern.push_back(-1);
            continue;
        }
        if (word.starts_with('"')) {
            if (word.size() < 2 || !word.ends_with('"')) {
                error = "text " + quoted_text(word) + " has no closing quote";
                return {};
            }
            for (const char c : word.substr(1, word.size() - 2)) pattern.push_back(static_cast<unsigned char>(c));
            continue;
        }
        const Expression value = evaluate_expression(word, context);
        if (!value.ok()) {
            error = value.error;
            return {};
        }
        if (value.value < -128 || value.value > 0xFF) {
            error = "bad byte " + quoted_text(word) + " (00 to FF)";
            return {};
        }
        pattern.push_back(static_cast<std::int16_t>(value.value & 0xFF));
    }
    if (pattern.empty()) error = "nothing to hunt for";
    return pattern;
}

std::vector<std::uint16_t> hunt_memory(const MemoryImage& memory, std::uint16_t first, std::uint16_t last,
                                       const HuntPattern& pattern, std::size_t limit, bool& more) {
    std::vector<std::uint16_t> found;
    more = false;
    if (pattern.empty() || last < first || pattern.size() > static_cast<std::size_t>(last - first) + 1) return found;
    const unsigned final_start = last - static_cast<unsigned>(pattern.size()) + 1;
    for (unsigned at = first; at <= final_start; ++at) {
        bool match = true;
        for (std::size_t i = 0; i < pattern.size() && match; ++i)
            match = pattern[i] < 0 || memory[at + i] == pattern[i];
        if (!match) continue;
        if (found.size() == limit) {
            more = true;
            break;
        }
        found.push_back(static_cast<std::uint16_t>(at));
    }
    return found;
}

std::vector<MemoryDifference> compare_memory(const MemoryImage& memory, std::uint16_t first, std::uint16_t last,
                                             std::uint16_t other, std::size_t limit, bool& more, std::string& error) {
    std::vector<MemoryDifference> found;
    more = false;
    error.clear();
    if (last < first) {
        error = "the end comes before the start";
        return found;
    }
    const unsigned length = static_cast<unsigned>(last - first) + 1;
    if (other + length - 1 > 0xFFFF) {
        error = "the range at " + hex4(other) + " runs past FFFF";
        return found;
    }
    for (unsigned i = 0; i < length; ++i) {
        if (memory[first + i] == memory[other + i]) continue;
        if (found.size() == limit) {
            more = true;
            break;
        }
        found.push_back({static_cast<std::uint16_t>(first + i), memory[first + i], memory[other + i]});
    }
    return found;
}

std::string move_memory(MemoryImage& memory, std::uint16_t first, std::uint16_t last, std::uint16_t to) {
    if (last < first) return "the end comes before the start";
    const unsigned length = static_cast<unsigned>(last - first) + 1;
    if (to + length - 1 > 0xFFFF) return "the copy at " + hex4(to) + " would run past FFFF";
    // std::copy runs forwards, std::copy_backward from the end: whichever
    // reads each byte before it is overwritten.
    const auto from = memory.begin() + first;
    if (to <= first) std::copy(from, from + length, memory.begin() + to);
    else std::copy_backward(from, from + length, memory.begin() + to + length);
    return "";
}
