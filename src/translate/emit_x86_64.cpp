// Host code for x86-64 (System V calls), made with xbyak.
#include <exception>
#include <memory>

#include <xbyak/xbyak.h>

#include "translate/emit.hpp"

namespace {
constexpr std::size_t CODE_SIZE = std::size_t{8} << 20;
// Room a block needs at most: its frame, and each instruction's call.
constexpr std::size_t FRAME_BYTES = 32;
constexpr std::size_t INSTRUCTION_BYTES = 32;

std::unique_ptr<Xbyak::CodeGenerator> code;
}  // namespace

bool emitter_open(const char*& why) {
    if (code != nullptr) return true;
    try {
        code = std::make_unique<Xbyak::CodeGenerator>(CODE_SIZE);
        return true;
    } catch (const Xbyak::Error& e) {
        why = e.what();
    } catch (const std::exception& e) {
        why = e.what();
    }
    return false;
}

void emitter_reset() {
    if (code != nullptr) code->reset();
}

BlockCode emit_block(const DecodedInstruction* instructions, std::size_t count, const InstructionHelper* helpers) {
    if (code == nullptr || code->getSize() + FRAME_BYTES + count * INSTRUCTION_BYTES > CODE_SIZE) return nullptr;
    using namespace Xbyak::util;
    Xbyak::CodeGenerator& c = *code;
    const Xbyak::uint8* entry = c.getCurr();
    Xbyak::Label out;
    c.push(rbx);
    c.mov(rbx, rdi);
    for (std::size_t i = 0; i < count; ++i) {
        c.mov(rdi, rbx);
        c.mov(rax, reinterpret_cast<std::size_t>(helpers[instructions[i].opcode]));
        c.call(rax);
        c.test(eax, eax);
        c.jnz(out, Xbyak::CodeGenerator::T_NEAR);
    }
    c.xor_(eax, eax);
    c.L(out);
    c.pop(rbx);
    c.ret();
    return reinterpret_cast<BlockCode>(const_cast<Xbyak::uint8*>(entry));
}

const char* emitter_name() { return "x86-64 host code, made with xbyak"; }
