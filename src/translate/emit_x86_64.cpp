// Host code for x86-64 (System V calls), made with xbyak. The registers stay
// in the state (rbx points at it); the common instructions are written out
// in host instructions, with their operand bytes as constants, the rest call
// their handler. A block adds its instructions and their fixed cycles to the
// counts once, at whichever exit it leaves by; page crossings and taken
// branches add theirs where they happen.
#include <cstddef>
#include <exception>
#include <memory>

#include <xbyak/xbyak.h>

#include "translate/block_cache.hpp"
#include "translate/emit.hpp"

namespace {
constexpr std::size_t CODE_SIZE = std::size_t{4} << 20;
// Room a block needs at most: its frame, each instruction and its exits.
constexpr std::size_t FRAME_BYTES = 64;
constexpr std::size_t INSTRUCTION_BYTES = 192;

std::unique_ptr<Xbyak::CodeGenerator> code;
std::uint64_t refusals = 0;

constexpr int OFF_PC = offsetof(TranslateState, r) + offsetof(RunRegisters, pc);
constexpr int OFF_SP = offsetof(TranslateState, r) + offsetof(RunRegisters, sp);
constexpr int OFF_A = offsetof(TranslateState, r) + offsetof(RunRegisters, a);
constexpr int OFF_X = offsetof(TranslateState, r) + offsetof(RunRegisters, x);
constexpr int OFF_Y = offsetof(TranslateState, r) + offsetof(RunRegisters, y);
constexpr int OFF_P = offsetof(TranslateState, r) + offsetof(RunRegisters, status);
constexpr int OFF_INSTRUCTIONS = offsetof(TranslateState, instructions);
constexpr int OFF_CYCLES = offsetof(TranslateState, cycles);
constexpr int OFF_ROOM_INSTRUCTIONS = offsetof(TranslateState, room_instructions);
constexpr int OFF_ROOM_CYCLES = offsetof(TranslateState, room_cycles);

// The tables the code addresses absolutely: this position-dependent
// program keeps them below 2 GiB.
[[nodiscard]] bool addressable(const void* p, std::size_t size) {
    return reinterpret_cast<std::uintptr_t>(p) + size < 0x80000000u;
}

std::uint32_t store_reached_code(std::uint32_t address) { return block_cache::code_written(static_cast<u16>(address)); }

[[nodiscard]] bool pays_page_cycle_of(Chip chip, Op op, u8 opcode) {
    switch (chip) {
    case Chip::m6502x: return pays_page_cycle<Chip::m6502x>(op, opcode);
    case Chip::m65c02: return pays_page_cycle<Chip::m65c02>(op, opcode);
    case Chip::m6502: break;
    }
    return pays_page_cycle<Chip::m6502>(op, opcode);
}

using namespace Xbyak::util;

class BlockEmitter {
public:
    BlockEmitter(Xbyak::CodeGenerator& c, const BlockSource& source) : c_(c), s_(source) {}

    void emit(const void*& body) {
        c_.push(rbx);
        c_.mov(rbx, rdi);
        body = c_.getCurr();
        for (std::size_t i = 0; i < s_.count; ++i) {
            const DecodedInstruction& in = s_.instructions[i];
            const OpcodeEntry entry = s_.grid[in.opcode];
            const bool last = i + 1 == s_.count;
            const bool written_out = native(in, entry);
            if (!written_out) call_handler(in);
            if (last && !ends_itself_) {
                // After a handler, pc is where it left it (a jump, a call, a return).
                const Xbyak::Label& out = written_out ? exit_to(static_cast<u16>(in.at + in.length), 0)
                                                      : new_exit(0, false, 0, false, native_instructions_, native_cycles_);
                c_.jmp(out, Xbyak::CodeGenerator::T_NEAR);
            }
        }
        stubs();
        c_.L(epilogue_);
        c_.pop(rbx);
        c_.ret();
    }

private:
    struct Exit {
        Xbyak::Label label;
        u16 pc;
        bool set_pc;
        bool store_reached_code;  // eax holds the address stored at
        bool stack_written;       // a push reached a page with translated code
        std::uint32_t code;       // or, when keep_code, eax holds it already
        bool keep_code;
        unsigned instructions, cycles;
    };

    Xbyak::Address state(int offset) { return c_.byte[rbx + offset]; }
    Xbyak::Address memory_at(Xbyak::Reg64 index, unsigned offset = 0) {
        return c_.byte[index + static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(memory.data()) + offset)];
    }

    Xbyak::Label& new_exit(u16 pc, bool set_pc, std::uint32_t exit_code, bool keep_code, unsigned instructions,
                           unsigned cycles) {
        Exit& e = exits_[exit_count_++];
        e.pc = pc;
        e.set_pc = set_pc;
        e.store_reached_code = false;
        e.stack_written = false;
        e.code = exit_code;
        e.keep_code = keep_code;
        e.instructions = instructions;
        e.cycles = cycles;
        return e.label;
    }
    // Leaves with pc at `pc`, the native instructions so far counted.
    Xbyak::Label& exit_to(u16 pc, std::uint32_t exit_code, unsigned extra_cycles = 0) {
        return new_exit(pc, true, exit_code, false, native_instructions_, native_cycles_ + extra_cycles);
    }

    // A native instruction done: counted at the exits after it.
    void counted(const OpcodeEntry& entry) {
        ++native_instructions_;
        native_cycles_ += entry.cycles;
    }

    void stubs() {
        for (std::size_t i = 0; i < exit_count_; ++i) {
            Exit& e = exits_[i];
            c_.L(e.label);
            if (e.store_reached_code || e.stack_written) {
                if (e.stack_written) c_.mov(edi, 0x100);
                else c_.mov(edi, eax);
                c_.mov(rax, reinterpret_cast<std::uintptr_t>(&store_reached_code));
                c_.call(rax);
            }
            if (e.instructions != 0) c_.add(c_.qword[rbx + OFF_INSTRUCTIONS], e.instructions);
            if (e.cycles != 0) c_.add(c_.qword[rbx + OFF_CYCLES], e.cycles);
            const bool straight_on = e.set_pc && e.code == 0 && !e.keep_code && !e.store_reached_code &&
                                     !e.stack_written && !outside_safe_range(e.pc);
            if (straight_on) go_on(e.pc);
            if (e.set_pc) c_.mov(c_.qword[rbx + OFF_PC], e.pc);
            if (!e.keep_code) c_.mov(eax, e.code);
            c_.jmp(epilogue_, Xbyak::CodeGenerator::T_NEAR);
        }
    }

    // Straight on into the block at `pc` when there is one and the room
    // holds all of it; else on to what follows (the run loop's lookup).
    void go_on(u16 pc) {
        Xbyak::Label back;
        c_.mov(rax, c_.qword[static_cast<const void*>(block_cache::block_at.data() + pc)]);
        c_.test(rax, rax);
        c_.jz(back);
        c_.movzx(ecx, c_.word[rax + offsetof(Block, instructions)]);
        c_.add(rcx, c_.qword[rbx + OFF_INSTRUCTIONS]);
        c_.cmp(rcx, c_.qword[rbx + OFF_ROOM_INSTRUCTIONS]);
        c_.ja(back);
        c_.movzx(ecx, c_.word[rax + offsetof(Block, max_cycles)]);
        c_.add(rcx, c_.qword[rbx + OFF_CYCLES]);
        c_.cmp(rcx, c_.qword[rbx + OFF_ROOM_CYCLES]);
        c_.jae(back);
        c_.jmp(c_.qword[rax + offsetof(Block, body)]);
        c_.L(back);
    }

    // The instruction through its handler, which counts it.
    void call_handler(const DecodedInstruction& in) {
        c_.mov(c_.qword[rbx + OFF_PC], in.at);
        c_.mov(rdi, rbx);
        c_.mov(rax, reinterpret_cast<std::uintptr_t>(s_.helpers[in.opcode]));
        c_.call(rax);
        c_.test(eax, eax);
        c_.jnz(new_exit(0, false, 0, true, native_instructions_, native_cycles_), Xbyak::CodeGenerator::T_NEAR);
    }

    // N and Z from the byte in `value` (zero-extended).
    void set_nz_from(const Xbyak::Reg64& value) {
        c_.and_(state(OFF_P), static_cast<u8>(~(FLAG_N | FLAG_Z)));
        c_.mov(dl, zn_of(value));
        c_.or_(state(OFF_P), dl);
    }
    void set_nz_from_eax() { set_nz_from(rax); }
    Xbyak::Address zn_of(const Xbyak::Reg64& value) {
        return c_.byte[value + static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(zn_flags.data()))];
    }
    void set_nz_constant(u8 value) {
        c_.and_(state(OFF_P), static_cast<u8>(~(FLAG_N | FLAG_Z)));
        if (zn_flags[value] != 0) c_.or_(state(OFF_P), zn_flags[value]);
    }

    [[nodiscard]] u8 operand8(const DecodedInstruction& in) const { return memory[static_cast<u16>(in.at + 1)]; }
    [[nodiscard]] u16 operand16(const DecodedInstruction& in) const {
        return static_cast<u16>(memory[static_cast<u16>(in.at + 1)] | memory[static_cast<u16>(in.at + 2)] << 8);
    }

    // Whether address_in_eax serves the instruction.
    [[nodiscard]] bool addressable_mode(const DecodedInstruction& in, Mode mode) const {
        switch (mode) {
        case Mode::zp: case Mode::zpx: case Mode::zpy: return true;
        case Mode::abs: return !is_device(operand16(in));
        case Mode::abx: case Mode::aby: return operand16(in) <= FIRST_PC_NEAR_DEVICES - 0xFF;
        default: return false;
        }
    }

    // The operand's address in eax for the modes written out; false for the
    // others, and where it may lie on the device page or wrap past 0xFFFF.
    // `pays`: a page crossing costs a cycle.
    bool address_in_eax(const DecodedInstruction& in, Mode mode, bool pays) {
        switch (mode) {
        case Mode::zp: c_.mov(eax, operand8(in)); return true;
        case Mode::zpx:
        case Mode::zpy:
            c_.movzx(eax, state(mode == Mode::zpx ? OFF_X : OFF_Y));
            c_.add(al, operand8(in));
            return true;
        case Mode::abs:
            if (!addressable_mode(in, mode)) return false;
            c_.mov(eax, operand16(in));
            return true;
        case Mode::abx:
        case Mode::aby: {
            const u16 base = operand16(in);
            if (!addressable_mode(in, mode)) return false;
            const int index = mode == Mode::abx ? OFF_X : OFF_Y;
            c_.movzx(eax, state(index));
            if (pays && (base & 0xFF) != 0) {
                // CF: no crossing; complemented, the cycle a crossing costs.
                c_.cmp(al, static_cast<u8>(0x100 - (base & 0xFF)));
                c_.cmc();
                c_.adc(c_.qword[rbx + OFF_CYCLES], 0);
            }
            c_.add(eax, base);
            return true;
        }
        default: return false;
        }
    }

    // The operand of a reading instruction in ecx.
    bool operand_in_ecx(const DecodedInstruction& in, const OpcodeEntry& entry, bool pays) {
        if (entry.mode == Mode::imm) {
            c_.mov(ecx, operand8(in));
            return true;
        }
        if (!address_in_eax(in, entry.mode, pays)) return false;
        c_.movzx(ecx, memory_at(rax));
        return true;
    }

    // The store of the byte in cl at the address in eax, and the exit
    // after it when it reached translated code.
    void store_cl(const DecodedInstruction& in, const OpcodeEntry& entry) {
        c_.mov(memory_at(rax), cl);
        c_.cmp(c_.byte[rax + static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(block_cache::code_map.data()))],
               0);
        Xbyak::Label& out =
            new_exit(static_cast<u16>(in.at + in.length), true, EXIT_CODE_WRITTEN, false, native_instructions_ + 1,
                     native_cycles_ + entry.cycles);
        exits_[exit_count_ - 1].store_reached_code = true;
        c_.jne(out, Xbyak::CodeGenerator::T_NEAR);
    }

    Xbyak::Address stack_at(const Xbyak::Reg64& index) { return memory_at(index, 0x100); }
    // After a push: the exit when the stack page holds translated code.
    void after_push(u16 pc, std::uint32_t exit_code, unsigned extra_cycles = 0) {
        c_.cmp(c_.byte[static_cast<const void*>(block_cache::page_has_code.data() + 1)], 0);
        Xbyak::Label& out = new_exit(pc, true, exit_code | EXIT_CODE_WRITTEN, false, native_instructions_,
                                     native_cycles_ + extra_cycles);
        exits_[exit_count_ - 1].stack_written = true;
        c_.jne(out, Xbyak::CodeGenerator::T_NEAR);
    }
    // The carry out of a shift in r8b; N, Z and C into the status.
    void shift_cl(Op op) {
        c_.movzx(edx, state(OFF_P));
        if (op == Op::ROL || op == Op::ROR) c_.bt(edx, 0);  // CF: the carry in
        if (op == Op::ASL) c_.shl(cl, 1);
        else if (op == Op::LSR) c_.shr(cl, 1);
        else if (op == Op::ROL) c_.rcl(cl, 1);
        else c_.rcr(cl, 1);
        c_.setc(r8b);
        c_.and_(edx, static_cast<u8>(~(FLAG_N | FLAG_Z | FLAG_C)));
        c_.or_(dl, r8b);
        c_.or_(dl, zn_of(rcx));
        c_.mov(state(OFF_P), dl);
    }

    [[nodiscard]] static int register_of(Op op) {
        switch (op) {
        case Op::LDX: case Op::STX: case Op::CPX: return OFF_X;
        case Op::LDY: case Op::STY: case Op::CPY: return OFF_Y;
        default: return OFF_A;
        }
    }

    // Runs the handler instead when decimal mode is on (out of line), the
    // count of the native path taken back.
    void unless_decimal(const DecodedInstruction& in, const OpcodeEntry& entry, Xbyak::Label& resume) {
        Xbyak::Label& slow = decimal_[decimal_count_].label;
        decimal_[decimal_count_].in = in;
        decimal_[decimal_count_].cycles = entry.cycles;
        decimal_[decimal_count_].resume = &resume;
        ++decimal_count_;
        c_.test(state(OFF_P), FLAG_D);
        c_.jnz(slow, Xbyak::CodeGenerator::T_NEAR);
    }

    // ADC and SBC in binary: the host's carry and overflow are the 6502's.
    void add_with_carry(bool subtract) {
        c_.movzx(eax, state(OFF_A));
        c_.movzx(edx, state(OFF_P));
        c_.bt(edx, 0);
        if (subtract) {
            c_.cmc();
            c_.sbb(al, cl);
            c_.cmc();
        } else {
            c_.adc(al, cl);
        }
        c_.setc(cl);
        c_.seto(ch);
        c_.mov(state(OFF_A), al);
        c_.and_(edx, static_cast<u8>(~(FLAG_N | FLAG_V | FLAG_Z | FLAG_C)));
        c_.or_(dl, cl);
        c_.shl(ch, 6);
        c_.or_(dl, ch);
        c_.movzx(eax, al);
        c_.or_(dl, zn_of(rax));
        c_.mov(state(OFF_P), dl);
    }

    // Writes the instruction out; false when its handler must run it.
    bool native(const DecodedInstruction& in, const OpcodeEntry& entry) {
        const bool pays = pays_page_cycle_of(s_.chip, entry.op, in.opcode);
        switch (entry.op) {
        case Op::LDA: case Op::LDX: case Op::LDY: {
            const int reg = register_of(entry.op);
            if (entry.mode == Mode::imm) {
                c_.mov(state(reg), operand8(in));
                set_nz_constant(operand8(in));
                break;
            }
            if (!address_in_eax(in, entry.mode, pays)) return false;
            c_.movzx(eax, memory_at(rax));
            c_.mov(state(reg), al);
            set_nz_from_eax();
            break;
        }
        case Op::STA: case Op::STX: case Op::STY: case Op::STZ: {
            if (!address_in_eax(in, entry.mode, false)) return false;
            if (entry.op == Op::STZ) c_.xor_(ecx, ecx);
            else c_.mov(cl, state(register_of(entry.op)));
            store_cl(in, entry);
            break;
        }
        case Op::AND: case Op::ORA: case Op::EOR: {
            if (!operand_in_ecx(in, entry, pays)) return false;
            c_.movzx(eax, state(OFF_A));
            if (entry.op == Op::AND) c_.and_(eax, ecx);
            else if (entry.op == Op::ORA) c_.or_(eax, ecx);
            else c_.xor_(eax, ecx);
            c_.mov(state(OFF_A), al);
            set_nz_from_eax();
            break;
        }
        case Op::CMP: case Op::CPX: case Op::CPY: {
            if (!operand_in_ecx(in, entry, pays)) return false;
            c_.movzx(eax, state(register_of(entry.op)));
            c_.sub(al, cl);  // CF: a borrow, the 6502's carry clear
            c_.setnc(cl);
            c_.and_(state(OFF_P), static_cast<u8>(~(FLAG_N | FLAG_Z | FLAG_C)));
            c_.or_(cl, zn_of(rax));
            c_.or_(state(OFF_P), cl);
            break;
        }
        case Op::ADC: case Op::SBC: {
            if (entry.mode != Mode::imm && !addressable_mode(in, entry.mode)) return false;
            Xbyak::Label& resume = resumes_[resume_count_++];
            unless_decimal(in, entry, resume);
            (void)operand_in_ecx(in, entry, pays);
            add_with_carry(entry.op == Op::SBC);
            c_.L(resume);
            break;
        }
        case Op::BIT: {
            if (entry.mode != Mode::zp && entry.mode != Mode::abs) return false;
            if (!operand_in_ecx(in, entry, pays)) return false;
            c_.movzx(edx, state(OFF_P));
            c_.and_(edx, static_cast<u8>(~(FLAG_N | FLAG_V | FLAG_Z)));
            c_.mov(eax, ecx);
            c_.and_(eax, FLAG_N | FLAG_V);
            c_.or_(edx, eax);
            c_.test(state(OFF_A), cl);
            c_.setz(al);
            c_.shl(al, 1);  // FLAG_Z
            c_.or_(dl, al);
            c_.mov(state(OFF_P), dl);
            break;
        }
        case Op::INC: case Op::DEC: {
            if (entry.mode == Mode::acc) {
                c_.movzx(eax, state(OFF_A));
                if (entry.op == Op::INC) c_.inc(al);
                else c_.dec(al);
                c_.mov(state(OFF_A), al);
                set_nz_from_eax();
                break;
            }
            if (!address_in_eax(in, entry.mode, false)) return false;
            c_.movzx(ecx, memory_at(rax));
            if (entry.op == Op::INC) c_.inc(cl);
            else c_.dec(cl);
            set_nz_from(rcx);
            store_cl(in, entry);
            break;
        }
        case Op::INX: case Op::INY: case Op::DEX: case Op::DEY: {
            const int reg = entry.op == Op::INX || entry.op == Op::DEX ? OFF_X : OFF_Y;
            if (entry.op == Op::INX || entry.op == Op::INY) c_.inc(state(reg));
            else c_.dec(state(reg));
            c_.movzx(eax, state(reg));
            set_nz_from_eax();
            break;
        }
        case Op::TAX: case Op::TAY: case Op::TXA: case Op::TYA: case Op::TSX: {
            const int from = entry.op == Op::TXA ? OFF_X : entry.op == Op::TYA ? OFF_Y : entry.op == Op::TSX ? OFF_SP : OFF_A;
            const int to = entry.op == Op::TAX || entry.op == Op::TSX ? OFF_X : entry.op == Op::TAY ? OFF_Y : OFF_A;
            c_.movzx(eax, state(from));
            c_.mov(state(to), al);
            set_nz_from_eax();
            break;
        }
        case Op::TXS:
            c_.mov(al, state(OFF_X));
            c_.mov(state(OFF_SP), al);
            break;
        case Op::CLC: c_.and_(state(OFF_P), static_cast<u8>(~FLAG_C)); break;
        case Op::CLD: c_.and_(state(OFF_P), static_cast<u8>(~FLAG_D)); break;
        case Op::CLI: c_.and_(state(OFF_P), static_cast<u8>(~FLAG_I)); break;
        case Op::CLV: c_.and_(state(OFF_P), static_cast<u8>(~FLAG_V)); break;
        case Op::SEC: c_.or_(state(OFF_P), FLAG_C); break;
        case Op::SED: c_.or_(state(OFF_P), FLAG_D); break;
        case Op::SEI: c_.or_(state(OFF_P), FLAG_I); break;
        case Op::NOP:
            if (entry.mode != Mode::imp) return false;
            break;
        case Op::ASL: case Op::LSR: case Op::ROL: case Op::ROR: {
            if (entry.mode == Mode::acc) {
                c_.movzx(ecx, state(OFF_A));
                shift_cl(entry.op);
                c_.mov(state(OFF_A), cl);
                break;
            }
            if (!address_in_eax(in, entry.mode, pays)) return false;
            c_.movzx(ecx, memory_at(rax));
            shift_cl(entry.op);
            store_cl(in, entry);
            break;
        }
        case Op::PHA: case Op::PHP: {
            c_.movzx(eax, state(OFF_SP));
            c_.mov(cl, state(entry.op == Op::PHA ? OFF_A : OFF_P));
            if (entry.op == Op::PHP) c_.or_(cl, FLAG_B);
            c_.mov(stack_at(rax), cl);
            c_.dec(state(OFF_SP));
            counted(entry);
            after_push(static_cast<u16>(in.at + 1), 0);
            return true;
        }
        case Op::PLA: case Op::PLP: {
            c_.inc(state(OFF_SP));
            c_.movzx(eax, state(OFF_SP));
            c_.movzx(eax, stack_at(rax));
            if (entry.op == Op::PLA) {
                c_.mov(state(OFF_A), al);
                set_nz_from_eax();
            } else {
                c_.or_(al, FLAG_CONSTANT);
                c_.mov(state(OFF_P), al);
            }
            break;
        }
        case Op::JSR: {
            // Pushes the address of its own last byte.
            const auto last_byte = static_cast<u16>(in.at + 2);
            const u16 target = operand16(in);
            c_.movzx(eax, state(OFF_SP));
            c_.mov(stack_at(rax), static_cast<u8>(last_byte >> 8));
            c_.dec(al);
            c_.mov(stack_at(rax), static_cast<u8>(last_byte));
            c_.dec(al);
            c_.mov(state(OFF_SP), al);
            counted(entry);
            const std::uint32_t look = outside_safe_range(target) ? EXIT_LOOK : 0;
            after_push(target, look);
            c_.jmp(exit_to(target, look), Xbyak::CodeGenerator::T_NEAR);
            ends_itself_ = true;
            return true;
        }
        case Op::RTS: {
            c_.movzx(ecx, state(OFF_SP));
            c_.inc(cl);
            c_.movzx(eax, stack_at(rcx));
            c_.inc(cl);
            c_.mov(state(OFF_SP), cl);
            c_.movzx(ecx, stack_at(rcx));
            c_.shl(ecx, 8);
            c_.or_(eax, ecx);
            c_.inc(eax);
            c_.movzx(eax, ax);
            c_.mov(c_.qword[rbx + OFF_PC], rax);
            // A look where the interpreter's threaded code looks: at 0x0000 and near the top.
            c_.dec(eax);
            c_.movzx(eax, ax);
            c_.cmp(eax, SAFE_PC_END - 1);
            c_.setae(al);
            c_.movzx(eax, al);
            counted(entry);
            c_.jmp(new_exit(0, false, 0, true, native_instructions_, native_cycles_), Xbyak::CodeGenerator::T_NEAR);
            ends_itself_ = true;
            return true;
        }
        case Op::BPL: case Op::BMI: case Op::BVC: case Op::BVS: case Op::BCC: case Op::BCS: case Op::BNE:
        case Op::BEQ: case Op::BRA: {
            const auto next = static_cast<u16>(in.at + 2);
            const auto target = static_cast<u16>(next + static_cast<std::int8_t>(operand8(in)));
            counted(entry);
            const unsigned taken_cycles = 1 + ((next ^ target) > 0xFF ? 1 : 0);
            Xbyak::Label& taken = exit_to(target, outside_safe_range(target) ? EXIT_LOOK : 0, taken_cycles);
            if (entry.op == Op::BRA) {
                c_.jmp(taken, Xbyak::CodeGenerator::T_NEAR);
            } else {
                u8 flag = FLAG_N;
                bool when_set = false;
                switch (entry.op) {
                case Op::BPL: flag = FLAG_N; break;
                case Op::BMI: flag = FLAG_N; when_set = true; break;
                case Op::BVC: flag = FLAG_V; break;
                case Op::BVS: flag = FLAG_V; when_set = true; break;
                case Op::BCC: flag = FLAG_C; break;
                case Op::BCS: flag = FLAG_C; when_set = true; break;
                case Op::BNE: flag = FLAG_Z; break;
                default: flag = FLAG_Z; when_set = true; break;
                }
                c_.test(state(OFF_P), flag);
                if (when_set) c_.jnz(taken, Xbyak::CodeGenerator::T_NEAR);
                else c_.jz(taken, Xbyak::CodeGenerator::T_NEAR);
                c_.jmp(exit_to(next, 0), Xbyak::CodeGenerator::T_NEAR);
            }
            ends_itself_ = true;
            return true;
        }
        case Op::JMP: {
            if (entry.mode != Mode::abs) return false;
            counted(entry);
            const u16 target = operand16(in);
            c_.jmp(exit_to(target, outside_safe_range(target) ? EXIT_LOOK : 0), Xbyak::CodeGenerator::T_NEAR);
            ends_itself_ = true;
            return true;
        }
        default: return false;
        }
        counted(entry);
        return true;
    }

public:
    // The decimal-mode paths, out of line after the stubs' labels.
    void decimal_paths() {
        for (std::size_t i = 0; i < decimal_count_; ++i) {
            Decimal& d = decimal_[i];
            c_.L(d.label);
            c_.mov(c_.qword[rbx + OFF_PC], d.in.at);
            c_.mov(rdi, rbx);
            c_.mov(rax, reinterpret_cast<std::uintptr_t>(s_.helpers[d.in.opcode]));
            c_.call(rax);
            // The native count that follows includes this instruction: the
            // handler counted it already.
            c_.sub(c_.qword[rbx + OFF_INSTRUCTIONS], 1);
            c_.sub(c_.qword[rbx + OFF_CYCLES], d.cycles);
            // ADC and SBC neither store nor ask for a look: on they go.
            c_.jmp(*d.resume, Xbyak::CodeGenerator::T_NEAR);
        }
    }

    struct Decimal {
        Xbyak::Label label;
        DecodedInstruction in;
        unsigned cycles;
        Xbyak::Label* resume;
    };

    Xbyak::CodeGenerator& c_;
    const BlockSource& s_;
    Xbyak::Label epilogue_;
    std::array<Exit, 3 * 32 + 4> exits_;
    std::size_t exit_count_ = 0;
    std::array<Decimal, 32> decimal_;
    std::size_t decimal_count_ = 0;
    std::array<Xbyak::Label, 32> resumes_;
    std::size_t resume_count_ = 0;
    unsigned native_instructions_ = 0;
    unsigned native_cycles_ = 0;
    bool ends_itself_ = false;
};
}  // namespace

bool emitter_open(const char*& why) {
    if (code != nullptr) return true;
    if (!addressable(memory.data(), memory.size()) || !addressable(zn_flags.data(), zn_flags.size()) ||
        !addressable(block_cache::code_map.data(), block_cache::code_map.size()) ||
        !addressable(block_cache::block_at.data(), sizeof block_cache::block_at)) {
        why = "the machine's tables lie beyond 2 GiB in this build";
        return false;
    }
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

BlockCode emit_block(const BlockSource& source, const void*& body) {
    if (code == nullptr || code->getSize() + FRAME_BYTES + source.count * INSTRUCTION_BYTES > CODE_SIZE) return nullptr;
    const Xbyak::uint8* entry = code->getCurr();
    try {
        auto emitter = std::make_unique<BlockEmitter>(*code, source);
        emitter->emit(body);
        emitter->decimal_paths();
    } catch (const Xbyak::Error&) {
        ++refusals;  // a fault of this file: the handlers run instead
        return nullptr;
    }
    return reinterpret_cast<BlockCode>(const_cast<Xbyak::uint8*>(entry));
}

std::uint64_t emitter_refusals() { return refusals; }

const char* emitter_name() { return "x86-64 host code, made with xbyak"; }
