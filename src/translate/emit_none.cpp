// A build without a JIT assembler, or for a host it cannot write code for.
#include "translate/emit.hpp"

bool emitter_open(const char*& why) {
    why = "this build has no translating core";
    return false;
}
void emitter_reset() {}
std::array<const void*, 2> emit_block(const BlockSource&) { return {nullptr, nullptr}; }
std::uint32_t emitter_enter(TranslateState*, const void*) { return 0; }
const char* emitter_name() { return nullptr; }
std::uint64_t emitter_refusals() { return 0; }
