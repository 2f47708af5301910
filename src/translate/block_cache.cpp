#include "translate/block_cache.hpp"

#include <algorithm>

namespace block_cache {
std::array<Block*, 0x10000> block_at{};
std::array<const void*, 2 * 0x10000> entry_at{};
std::array<u8, 0x10000> code_map{};
std::array<u8, 256> page_has_code{};
std::array<u8, 256> page_cold{};

namespace {
std::array<Block, MAX_BLOCKS> pool;
std::size_t used = 0;
std::array<Block*, 256> page_blocks{};
std::array<u8, 256> rewrites{};
const void* hand_back_entry = nullptr;

void drop_page(u8 page) {
    for (Block* b = page_blocks[page]; b != nullptr; b = b->next) {
        block_at[b->start] = nullptr;
        entry_at[b->start] = hand_back_entry;
        entry_at[0x10000 + b->start] = hand_back_entry;
    }
    page_blocks[page] = nullptr;
    std::fill_n(code_map.begin() + page * 0x100, 0x100, u8{0});
    page_has_code[page] = 0;
}
}  // namespace

void set_exits(const void* hand_back, const void* look) {
    hand_back_entry = hand_back;
    std::fill(entry_at.begin(), entry_at.end(), hand_back);
    for (std::size_t table = 0; table < entry_at.size(); table += 0x10000) {
        // Outside the safe range: 0x0000 and SAFE_PC_END on.
        entry_at[table] = look;
        std::fill(entry_at.begin() + table + SAFE_PC_END, entry_at.begin() + table + 0x10000, look);
    }
}

void clear() {
    for (unsigned page = 0; page < 256; ++page)
        if (page_has_code[page] != 0) drop_page(static_cast<u8>(page));
    used = 0;
}

void forget_rewrites() {
    rewrites.fill(0);
    page_cold.fill(0);
}

Block* add(std::array<const void*, 2> body, u16 start, u16 end, u16 instructions, u16 max_cycles) {
    if (used == MAX_BLOCKS) return nullptr;
    Block* b = &pool[used++];
    const u8 page = static_cast<u8>(start >> 8);
    *b = Block{body, start, end, instructions, max_cycles, page_blocks[page]};
    page_blocks[page] = b;
    block_at[start] = b;
    entry_at[start] = body[0];
    entry_at[0x10000 + start] = body[1];
    std::fill(code_map.begin() + start, code_map.begin() + end, u8{1});
    page_has_code[page] = 1;
    return b;
}

void page_written(u8 page) {
    if (page_has_code[page] == 0) return;
    drop_page(page);
    if (rewrites[page] < REWRITES_BEFORE_COLD) ++rewrites[page];
    if (rewrites[page] == REWRITES_BEFORE_COLD) page_cold[page] = 1;
}

std::uint32_t code_written(u16 address) {
    page_written(static_cast<u8>(address >> 8));
    return EXIT_CODE_WRITTEN;
}
}  // namespace block_cache
