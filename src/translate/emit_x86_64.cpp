// Host code for x86-64 (System V calls), made with xbyak. While translated
// code runs, the registers live in host registers: A in r12, X in r13, Y in
// r14, SP in r15, the status in rbp (all as zero-extended bytes), the room
// left in instructions and cycles in r10 and r11, the state at rbx. The
// status's N and Z live apart, in esi, as the value they were set from (or,
// where they come from two values, a stand-in: Z from its low byte, N from
// its bits 7 and 15), C in r9 and V in r8 as 0 or 1: an instruction that
// sets them sets one register. They go back into the status for a handler,
// PHP and the hand-back. A block checks the room for all of itself on
// entry, counts its instructions and their fixed cycles once, at whichever
// exit it leaves by (page crossings and decimal mode where they happen), and
// goes on straight into the next block through block_cache::entry_at (the
// table for the stretch's bound at rdi), with that block's pc in rdx. Only
// the instructions that are rare in programs call their handler, with the
// registers put in the state around the call.
#include <cstddef>
#include <exception>
#include <memory>

#include <xbyak/xbyak.h>

#include "cpu/arithmetic.hpp"
#include "translate/block_cache.hpp"
#include "translate/emit.hpp"

namespace {
constexpr std::size_t CODE_SIZE = std::size_t{8} << 20;
// Room a block needs at most: each instruction with its exits and its
// out-of-line paths (a handler's call with the registers around it is the
// largest), and the shared code at the buffer's start.
constexpr std::size_t INSTRUCTION_BYTES = 640;
constexpr std::size_t SHARED_BYTES = 512;

std::unique_ptr<Xbyak::CodeGenerator> code;
std::uint64_t refusals = 0;
using Enter = std::uint32_t (*)(TranslateState*, const void*);
Enter enter = nullptr;
const void* hand_back = nullptr;  // eax: what to report; rdx: pc

constexpr int OFF_PC = offsetof(TranslateState, r) + offsetof(RunRegisters, pc);
constexpr int OFF_SP = offsetof(TranslateState, r) + offsetof(RunRegisters, sp);
constexpr int OFF_A = offsetof(TranslateState, r) + offsetof(RunRegisters, a);
constexpr int OFF_X = offsetof(TranslateState, r) + offsetof(RunRegisters, x);
constexpr int OFF_Y = offsetof(TranslateState, r) + offsetof(RunRegisters, y);
constexpr int OFF_P = offsetof(TranslateState, r) + offsetof(RunRegisters, status);
constexpr int OFF_LEFT_INSTRUCTIONS = offsetof(TranslateState, left_instructions);
constexpr int OFF_LEFT_CYCLES = offsetof(TranslateState, left_cycles);
constexpr int OFF_WRITTEN_AT = offsetof(TranslateState, written_at);
constexpr int OFF_ENTRIES = offsetof(TranslateState, entries);

// Decimal ADC and SBC of the processor running, by carry, accumulator and
// operand: the result, C, V and the stand-in for N and Z, each as its host
// register holds it. Each made on the first decimal instruction of its kind
// that a run's translated code meets.
struct DecimalTable {
    std::array<u8, 0x20000> value, carry, overflow;
    std::array<u16, 0x20000> nz;
};
DecimalTable decimal_add{};
DecimalTable decimal_subtract{};
Chip decimal_chip = Chip::m6502;
// Whether decimal_add and decimal_subtract hold decimal_chip's.
std::array<u8, 2> decimal_ready{};

// N and Z of a status as esi holds them.
[[nodiscard]] constexpr std::uint32_t nz_stand_in(u8 status) {
    return ((status & FLAG_Z) != 0 ? 0u : 1u) | ((status & FLAG_N) != 0 ? 0x8000u : 0u);
}
void put_decimal(DecimalTable& table, std::size_t at, const AluResult& r) {
    table.value[at] = r.value;
    table.carry[at] = r.status & FLAG_C;
    table.overflow[at] = (r.status & FLAG_V) != 0 ? 1 : 0;
    table.nz[at] = static_cast<u16>(nz_stand_in(r.status));
}

template <Chip P, bool SUBTRACT>
void fill_decimal_table(DecimalTable& table) {
    for (unsigned carry = 0; carry < 2; ++carry)
        for (unsigned a = 0; a < 256; ++a)
            for (unsigned operand = 0; operand < 256; ++operand) {
                const auto status = static_cast<u8>(FLAG_D | FLAG_CONSTANT | carry);
                put_decimal(table, carry << 16 | a << 8 | operand,
                            SUBTRACT ? alu::sbc<P>(static_cast<u8>(a), static_cast<u8>(operand), status)
                                     : alu::adc<P>(static_cast<u8>(a), static_cast<u8>(operand), status));
            }
}
template <bool SUBTRACT>
void make_decimal_table() {
    DecimalTable& table = SUBTRACT ? decimal_subtract : decimal_add;
    switch (decimal_chip) {
    case Chip::m6502: fill_decimal_table<Chip::m6502, SUBTRACT>(table); break;
    case Chip::m6502x: fill_decimal_table<Chip::m6502x, SUBTRACT>(table); break;
    case Chip::m65c02: fill_decimal_table<Chip::m65c02, SUBTRACT>(table); break;
    }
    decimal_ready[SUBTRACT ? 1 : 0] = 1;
}

// The tables the code addresses absolutely: this position-dependent
// program keeps them below 2 GiB.
[[nodiscard]] bool addressable(const void* p, std::size_t size) {
    return reinterpret_cast<std::uintptr_t>(p) + size < 0x80000000u;
}
template <typename T>
[[nodiscard]] std::uint32_t address_of(const T* p) {
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(p));
}
// A fixed address as an operand (xbyak takes it as a pointer).
[[nodiscard]] Xbyak::Address absolute(const Xbyak::AddressFrame& size, std::uint32_t address) {
    return size[reinterpret_cast<const void*>(std::uintptr_t{address})];
}

[[nodiscard]] bool pays_page_cycle_of(Chip chip, Op op, u8 opcode) {
    switch (chip) {
    case Chip::m6502x: return pays_page_cycle<Chip::m6502x>(op, opcode);
    case Chip::m65c02: return pays_page_cycle<Chip::m65c02>(op, opcode);
    case Chip::m6502: break;
    }
    return pays_page_cycle<Chip::m6502>(op, opcode);
}

using namespace Xbyak::util;
using Xbyak::CodeGenerator;

const Xbyak::Reg64 A = r12, X = r13, Y = r14, S = r15, LEFT_I = r10, LEFT_C = r11;
const Xbyak::Reg32 NZ = esi;

// N, Z, C and V into the status, with `scratch`.
void status_in(CodeGenerator& c, const Xbyak::Reg8& scratch) {
    c.and_(ebp, static_cast<u8>(~(FLAG_N | FLAG_Z | FLAG_C | FLAG_V)));
    c.or_(ebp, r9d);
    c.mov(scratch.cvt32(), r8d);
    c.shl(scratch.cvt32(), 6);  // FLAG_V
    c.or_(ebp, scratch.cvt32());
    c.test(NZ, 0x8080);
    c.setnz(scratch);
    c.shl(scratch, 7);
    c.or_(bpl, scratch);
    c.test(NZ, 0xFF);
    c.setz(scratch);
    c.add(scratch, scratch);  // FLAG_Z
    c.or_(bpl, scratch);
}
// And out of it, apart again.
void status_out(CodeGenerator& c, const Xbyak::Reg32& scratch) {
    c.mov(r9d, ebp);
    c.and_(r9d, FLAG_C);
    c.mov(r8d, ebp);
    c.shr(r8d, 6);
    c.and_(r8d, 1);
    c.mov(NZ, ebp);
    c.shr(NZ, 1);
    c.and_(NZ, 1);
    c.xor_(NZ, 1);  // FLAG_Z clear: a low byte of 1
    c.mov(scratch, ebp);
    c.and_(scratch, FLAG_N);
    c.shl(scratch, 8);
    c.or_(NZ, scratch);
}

// The registers into the state and back, around a call or at the end
// (ecx their scratch).
void registers_out(CodeGenerator& c) {
    status_in(c, cl);
    c.mov(c.byte[rbx + OFF_A], r12b);
    c.mov(c.byte[rbx + OFF_X], r13b);
    c.mov(c.byte[rbx + OFF_Y], r14b);
    c.mov(c.byte[rbx + OFF_SP], r15b);
    c.mov(c.byte[rbx + OFF_P], bpl);
    c.mov(c.qword[rbx + OFF_LEFT_INSTRUCTIONS], LEFT_I);
    c.mov(c.qword[rbx + OFF_LEFT_CYCLES], LEFT_C);
}
void registers_in(CodeGenerator& c) {
    c.movzx(r12d, c.byte[rbx + OFF_A]);
    c.movzx(r13d, c.byte[rbx + OFF_X]);
    c.movzx(r14d, c.byte[rbx + OFF_Y]);
    c.movzx(r15d, c.byte[rbx + OFF_SP]);
    c.movzx(ebp, c.byte[rbx + OFF_P]);
    c.mov(LEFT_I, c.qword[rbx + OFF_LEFT_INSTRUCTIONS]);
    c.mov(LEFT_C, c.qword[rbx + OFF_LEFT_CYCLES]);
    c.mov(rdi, c.qword[rbx + OFF_ENTRIES]);
    status_out(c, ecx);
}

// The code every block shares, at the buffer's start: the entry from C++,
// the hand-back to it, and the two ends entry_at holds where no block is.
void emit_shared(CodeGenerator& c) {
    enter = c.getCurr<Enter>();
    c.push(rbx);
    c.push(rbp);
    c.push(r12);
    c.push(r13);
    c.push(r14);
    c.push(r15);
    c.sub(rsp, 8);  // calls from translated code find the stack aligned
    c.mov(rbx, rdi);
    c.mov(rax, rsi);
    registers_in(c);
    c.mov(rdx, c.qword[rbx + OFF_PC]);
    c.jmp(rax);

    c.align(16);
    hand_back = c.getCurr();
    c.mov(c.qword[rbx + OFF_PC], rdx);
    registers_out(c);
    c.add(rsp, 8);
    c.pop(r15);
    c.pop(r14);
    c.pop(r13);
    c.pop(r12);
    c.pop(rbp);
    c.pop(rbx);
    c.ret();

    c.align(16);
    const void* no_block = c.getCurr();
    c.xor_(eax, eax);
    c.jmp(hand_back);
    const void* look = c.getCurr();
    c.mov(eax, EXIT_LOOK);
    c.jmp(hand_back);
    block_cache::set_exits(no_block, look);
}

class BlockEmitter {
public:
    BlockEmitter(CodeGenerator& c, const BlockSource& source) : c_(c), s_(source) {}

    void emit(std::array<const void*, 2>& body) {
        // The room for the whole block, or back to the caller (rdx holds pc):
        // under a budget its cycles, under a countdown its instructions.
        Xbyak::Label counted_down;
        body[1] = c_.getCurr();
        c_.cmp(LEFT_C, s_.max_cycles);
        c_.jle(hand_back_no_block(), CodeGenerator::T_NEAR);
        c_.jmp(counted_down, CodeGenerator::T_NEAR);
        c_.align(16);
        body[0] = c_.getCurr();
        c_.cmp(LEFT_I, static_cast<std::uint32_t>(s_.count));
        c_.jl(hand_back_no_block(), CodeGenerator::T_NEAR);
        c_.L(counted_down);
        for (std::size_t i = 0; i < s_.count; ++i) {
            in_ = s_.instructions[i];
            entry_ = s_.grid[in_.opcode];
            pays_ = pays_page_cycle_of(s_.chip, entry_.op, in_.opcode);
            if (!native()) handler();
        }
        if (!ended_) {
            const DecodedInstruction& last = s_.instructions[s_.count - 1];
            go_to(static_cast<u16>(last.at + last.length), 0, 0);
        }
        for (std::size_t i = 0; i < exit_count_; ++i) exit_path(exits_[i]);
        for (std::size_t i = 0; i < slow_count_; ++i) slow_path(slows_[i]);
    }

private:
    enum class Written : u8 { none, at_eax, at_constant, stack };
    struct Exit {
        Xbyak::Label label;
        bool dynamic_pc;  // pc in the state (after a handler), else `pc`
        u16 pc;
        std::uint32_t report;  // for a dynamic pc: in eax already
        Written written;
        u16 written_at;
        unsigned instructions, cycles;
    };
    // An instruction whose operand lies on the device page after all: its
    // handler runs it, from the start, and the block goes on after it.
    struct Slow {
        Xbyak::Label label, resume;
        DecodedInstruction in;
        unsigned instructions, cycles;  // counted before it
        unsigned own_cycles;
        bool decimal;  // the decimal ADC or SBC instead
        bool subtract;
    };

    // --- places and counts ---------------------------------------------
    Xbyak::Address mem(u16 address) { return absolute(c_.byte, address_of(memory.data()) + address); }
    Xbyak::Address mem(const Xbyak::Reg64& index, unsigned offset = 0) {
        return c_.byte[index + address_of(memory.data()) + offset];
    }
    Xbyak::Address stack_top() { return mem(S, 0x100); }
    [[nodiscard]] u8 operand8() const { return memory[static_cast<u16>(in_.at + 1)]; }
    [[nodiscard]] u16 operand16() const {
        return static_cast<u16>(memory[static_cast<u16>(in_.at + 1)] | memory[static_cast<u16>(in_.at + 2)] << 8);
    }
    [[nodiscard]] u16 next_pc() const { return static_cast<u16>(in_.at + in_.length); }
    void counted() {
        ++instructions_;
        cycles_ += entry_.cycles;
    }

    // --- exits ----------------------------------------------------------
    Exit& new_exit(u16 pc, std::uint32_t report, unsigned instructions, unsigned cycles) {
        Exit& e = exits_[exit_count_++];
        e.dynamic_pc = false;
        e.pc = pc;
        e.report = report;
        e.written = Written::none;
        e.written_at = 0;
        e.instructions = instructions;
        e.cycles = cycles;
        return e;
    }
    Xbyak::Label& hand_back_no_block() {
        if (entry_exit_ == nullptr) {
            Exit& e = new_exit(0, 0, 0, 0);
            e.dynamic_pc = true;  // rdx holds pc, eax is set below
            e.report = UINT32_MAX;
            entry_exit_ = &e;
        }
        return entry_exit_->label;
    }
    // On to `pc`, the instructions so far counted (and `extra` cycles).
    void go_to(u16 pc, std::uint32_t report, unsigned extra) {
        leave(pc, report, instructions_, cycles_ + extra);
        ended_ = true;
    }
    void leave(u16 pc, std::uint32_t report, unsigned instructions, unsigned cycles) {
        if (instructions != 0) c_.sub(LEFT_I, instructions);
        if (cycles != 0) c_.sub(LEFT_C, cycles);
        c_.mov(edx, pc);
        if (report == 0 && !outside_safe_range(pc)) {
            c_.jmp(c_.qword[rdi + rdx * 8]);
            return;
        }
        // Straight on out of the safe range: the caller steps there, without a look.
        c_.mov(eax, report);
        c_.jmp(hand_back);
    }
    void exit_path(Exit& e) {
        c_.L(e.label);
        if (e.report == UINT32_MAX) {  // a block's entry without room
            c_.xor_(eax, eax);
            c_.jmp(hand_back);
            return;
        }
        switch (e.written) {
        case Written::none: break;
        case Written::at_eax: c_.mov(c_.dword[rbx + OFF_WRITTEN_AT], eax); break;
        case Written::at_constant: c_.mov(c_.dword[rbx + OFF_WRITTEN_AT], e.written_at); break;
        case Written::stack: c_.mov(c_.dword[rbx + OFF_WRITTEN_AT], 0x100); break;
        }
        if (!e.dynamic_pc) {
            leave(e.pc, e.report, e.instructions, e.cycles);
            return;
        }
        if (e.instructions != 0) c_.sub(LEFT_I, e.instructions);
        if (e.cycles != 0) c_.sub(LEFT_C, e.cycles);
        c_.mov(rdx, c_.qword[rbx + OFF_PC]);
        c_.jmp(hand_back);
    }
    // After a store at eax or a constant: out when it reached translated code.
    void check_store(bool at_eax, u16 address = 0) {
        if (at_eax) c_.cmp(c_.byte[rax + address_of(block_cache::code_map.data())], 0);
        else c_.cmp(absolute(c_.byte, address_of(block_cache::code_map.data()) + address), 0);
        Exit& e = new_exit(next_pc(), EXIT_STORED, instructions_ + 1, cycles_ + entry_.cycles);
        e.written = at_eax ? Written::at_eax : Written::at_constant;
        e.written_at = address;
        c_.jne(e.label, CodeGenerator::T_NEAR);
    }
    // After a push: out when the stack's page holds translated code.
    void check_push(u16 pc, std::uint32_t report) {
        c_.cmp(absolute(c_.byte, address_of(block_cache::page_has_code.data()) + 1), 0);
        Exit& e = new_exit(pc, report | EXIT_STORED, instructions_, cycles_);
        e.written = Written::stack;
        c_.jne(e.label, CodeGenerator::T_NEAR);
    }

    // --- handlers -------------------------------------------------------
    // The instruction at `at` through its handler, which counts it; out,
    // with the report, when it has one.
    void call_handler(const DecodedInstruction& in, unsigned instructions, unsigned cycles) {
        c_.mov(c_.qword[rbx + OFF_PC], in.at);
        registers_out(c_);
        c_.mov(rdi, rbx);
        c_.mov(rax, reinterpret_cast<std::uintptr_t>(s_.helpers[in.opcode]));
        c_.call(rax);
        registers_in(c_);
        c_.test(eax, eax);
        Exit& e = new_exit(0, 0, instructions, cycles);
        e.dynamic_pc = true;
        c_.jnz(e.label, CodeGenerator::T_NEAR);
    }
    void handler() {
        call_handler(in_, instructions_, cycles_);
        decimal_ = Known::unknown;
        const OpcodeEntry entry = entry_;
        if (threaded::is_branch(entry.op) || threaded::moves_pc(entry.op)) {
            // On to wherever it left pc: within the safe range, or it reported a look.
            if (instructions_ != 0) c_.sub(LEFT_I, instructions_);
            if (cycles_ != 0) c_.sub(LEFT_C, cycles_);
            c_.mov(rdx, c_.qword[rbx + OFF_PC]);
            c_.jmp(c_.qword[rdi + rdx * 8]);
            ended_ = true;
        }
    }
    Slow& new_slow() {
        Slow& s = slows_[slow_count_++];
        s.in = in_;
        s.instructions = instructions_;
        s.cycles = cycles_;
        s.own_cycles = entry_.cycles;
        s.decimal = false;
        s.subtract = false;
        return s;
    }
    void slow_path(Slow& s) {
        c_.L(s.label);
        if (s.decimal) {
            decimal_path(s);
        } else {
            call_handler(s.in, s.instructions, s.cycles);
            // The count that follows has it already.
            c_.add(LEFT_I, 1);
            c_.add(LEFT_C, s.own_cycles);
        }
        c_.jmp(s.resume, CodeGenerator::T_NEAR);
    }
    // ADC or SBC in decimal mode, its operand in ecx: from the tables.
    void decimal_path(const Slow& s) { decimal(s.subtract, true); }
    // With `check`, the tables are made first if not yet.
    void decimal(bool subtract, bool check) {
        c_.mov(eax, r9d);
        c_.shl(eax, 8);
        c_.or_(eax, r12d);
        c_.shl(eax, 8);
        c_.or_(eax, ecx);
        Xbyak::Label ready;
        if (check) {
            c_.cmp(absolute(c_.byte, address_of(&decimal_ready[subtract ? 1 : 0])), 0);
            c_.jne(ready);
            c_.push(LEFT_I);
            c_.push(LEFT_C);
            c_.push(rax);
            c_.push(rdi);
            c_.mov(rax, reinterpret_cast<std::uintptr_t>(subtract ? &make_decimal_table<true> : &make_decimal_table<false>));
            c_.call(rax);
            c_.pop(rdi);
            c_.pop(rax);
            c_.pop(LEFT_C);
            c_.pop(LEFT_I);
        }
        c_.L(ready);
        const DecimalTable& table = subtract ? decimal_subtract : decimal_add;
        c_.movzx(r12d, c_.byte[rax + address_of(table.value.data())]);
        c_.movzx(r9d, c_.byte[rax + address_of(table.carry.data())]);
        c_.movzx(r8d, c_.byte[rax + address_of(table.overflow.data())]);
        c_.movzx(NZ, c_.word[rax * 2 + address_of(table.nz.data())]);
        if (s_.chip == Chip::m65c02) c_.sub(LEFT_C, 1);
    }

    // --- operands -------------------------------------------------------
    // Where the operand lies: a constant address, or eax.
    struct Where {
        bool constant;
        u16 address;
    };
    // The operand's address for the modes written out, the page crossing
    // paid when `pays`; false where the handler must run the instruction
    // (the device page may be in reach, or the mode is not written out).
    // An indirect address on the device page goes to the handler at run
    // time (`slow`, with its resume label to place after the instruction).
    bool address(Where& where, bool pays, Slow*& slow) {
        slow = nullptr;
        where = {false, 0};
        switch (entry_.mode) {
        case Mode::zp: where = {true, operand8()}; return true;
        case Mode::abs:
            if (is_device(operand16())) return false;
            where = {true, operand16()};
            return true;
        case Mode::zpx:
        case Mode::zpy:
            c_.lea(eax, c_.ptr[(entry_.mode == Mode::zpx ? X : Y) + operand8()]);
            c_.movzx(eax, al);
            return true;
        case Mode::abx:
        case Mode::aby: {
            const u16 base = operand16();
            if (base > FIRST_PC_NEAR_DEVICES - 0xFF) return false;
            const Xbyak::Reg64& index = entry_.mode == Mode::abx ? X : Y;
            if (pays && (base & 0xFF) != 0) {
                // CF: no crossing; LEFT_C loses the cycle of one.
                c_.cmp(index.cvt8(), static_cast<u8>(0x100 - (base & 0xFF)));
                c_.adc(LEFT_C, -1);
            }
            c_.lea(eax, c_.ptr[index + base]);
            return true;
        }
        case Mode::izx: case Mode::izy: case Mode::izp: {
            const u8 pointer = operand8();
            if (entry_.mode == Mode::izx) {
                c_.lea(ecx, c_.ptr[X + pointer]);
                c_.movzx(ecx, cl);
                c_.movzx(eax, mem(rcx));
                c_.inc(cl);
                c_.mov(ah, mem(rcx));
            } else if (pointer == 0xFF) {
                c_.movzx(eax, mem(0xFF));
                c_.mov(ah, mem(0x00));
            } else {
                c_.movzx(eax, absolute(c_.word, address_of(memory.data()) + pointer));
            }
            if (entry_.mode == Mode::izy) {
                c_.add(al, r14b);
                c_.adc(ah, 0);  // wraps at 0xFFFF
            }
            c_.cmp(eax, DEVICE_FIRST);
            slow = &new_slow();
            c_.jae(slow->label, CodeGenerator::T_NEAR);
            if (entry_.mode == Mode::izy && pays) {
                // CF: the low byte came out below Y, its page was left.
                c_.cmp(al, r14b);
                c_.sbb(LEFT_C, 0);
            }
            return true;
        }
        default: return false;
        }
    }
    void read(const Where& where, const Xbyak::Reg& into) {
        if (where.constant) c_.movzx(into, mem(where.address));
        else c_.movzx(into, mem(rax));
    }
    // The operand of a reading instruction in ecx.
    bool operand_in_ecx(Slow*& slow) {
        slow = nullptr;
        if (entry_.mode == Mode::imm) {
            c_.mov(ecx, operand8());
            return true;
        }
        Where where{};
        if (!address(where, pays_, slow)) return false;
        read(where, ecx);
        return true;
    }
    void store(const Where& where, const Xbyak::Reg8& value) {
        if (where.constant) c_.mov(mem(where.address), value);
        else c_.mov(mem(rax), value);
        check_store(!where.constant, where.address);
    }
    void resume_after(Slow* slow) {
        if (slow != nullptr) c_.L(slow->resume);
    }

    // --- flags ----------------------------------------------------------
    void set_nz(const Xbyak::Reg64& value) { c_.mov(NZ, value.cvt32()); }
    // N and Z from `value`, C from the host's carry.
    void set_nzc(const Xbyak::Reg64& value, bool carry_is_borrow = false) {
        if (carry_is_borrow) c_.setnc(r9b);
        else c_.setc(r9b);
        set_nz(value);
    }
    [[nodiscard]] static const Xbyak::Reg64& register_of(Op op) {
        switch (op) {
        case Op::LDX: case Op::STX: case Op::CPX: case Op::PHX: case Op::PLX: return X;
        case Op::LDY: case Op::STY: case Op::CPY: case Op::PHY: case Op::PLY: return Y;
        default: return A;
        }
    }
    // The shift of cl (or A), its carry out into C.
    void shift(const Xbyak::Reg8& value, Op op) {
        if (op == Op::ROL || op == Op::ROR) c_.bt(r9d, 0);  // CF: the carry in
        if (op == Op::ASL) c_.shl(value, 1);
        else if (op == Op::LSR) c_.shr(value, 1);
        else if (op == Op::ROL) c_.rcl(value, 1);
        else c_.rcr(value, 1);
    }

    // --- the instructions written out -----------------------------------
    bool native() {
        Slow* slow = nullptr;
        const Op op = entry_.op;
        switch (op) {
        case Op::LDA: case Op::LDX: case Op::LDY: {
            const Xbyak::Reg64& reg = register_of(op);
            if (entry_.mode == Mode::imm) {
                c_.mov(reg.cvt32(), operand8());
                c_.mov(NZ, operand8());
                break;
            }
            Where where{};
            if (!address(where, pays_, slow)) return false;
            read(where, reg.cvt32());
            set_nz(reg);
            break;
        }
        case Op::STA: case Op::STX: case Op::STY: case Op::STZ: {
            Where where{};
            if (!address(where, false, slow)) return false;
            if (op == Op::STZ) {
                c_.xor_(ecx, ecx);
                store(where, cl);
            } else {
                store(where, register_of(op).cvt8());
            }
            break;
        }
        case Op::AND: case Op::ORA: case Op::EOR: {
            if (!operand_in_ecx(slow)) return false;
            if (op == Op::AND) c_.and_(r12d, ecx);
            else if (op == Op::ORA) c_.or_(r12d, ecx);
            else c_.xor_(r12d, ecx);
            set_nz(A);
            break;
        }
        case Op::CMP: case Op::CPX: case Op::CPY: {
            if (!operand_in_ecx(slow)) return false;
            c_.mov(NZ, register_of(op).cvt32());
            c_.sub(sil, cl);  // CF: a borrow, the 6502's carry clear
            c_.setnc(r9b);
            break;
        }
        case Op::ADC: case Op::SBC: {
            if (!operand_in_ecx(slow)) return false;
            // Decimal mode known from an SED or CLD before in the block, or tested.
            if (decimal_ == Known::set) {
                if (decimal_ready[op == Op::SBC ? 1 : 0] == 0) {
                    if (op == Op::SBC) make_decimal_table<true>();
                    else make_decimal_table<false>();
                }
                decimal(op == Op::SBC, false);
                break;
            }
            Slow* decimal = nullptr;
            if (decimal_ == Known::unknown) {
                decimal = &new_slow();
                decimal->decimal = true;
                decimal->subtract = op == Op::SBC;
                c_.test(ebp, FLAG_D);
                c_.jnz(decimal->label, CodeGenerator::T_NEAR);
            }
            if (op == Op::SBC) c_.not_(ecx);  // A + ~M + C
            c_.bt(r9d, 0);
            c_.adc(r12b, cl);
            c_.setc(r9b);
            c_.seto(r8b);
            set_nz(A);
            if (decimal != nullptr) c_.L(decimal->resume);
            break;
        }
        case Op::BIT: {
            if (entry_.mode != Mode::zp && entry_.mode != Mode::abs) return false;
            if (!operand_in_ecx(slow)) return false;
            // V from the operand; N from it, Z from its AND with A, in the stand-in.
            c_.mov(r8d, ecx);
            c_.shr(r8d, 6);
            c_.and_(r8d, 1);
            c_.mov(eax, ecx);
            c_.and_(eax, FLAG_N);
            c_.shl(eax, 8);
            c_.xor_(NZ, NZ);
            c_.test(r12b, cl);
            c_.setnz(sil);
            c_.or_(NZ, eax);
            break;
        }
        case Op::INC: case Op::DEC: {
            if (entry_.mode == Mode::acc) {
                if (op == Op::INC) c_.inc(r12b);
                else c_.dec(r12b);
                set_nz(A);
                break;
            }
            Where where{};
            if (!address(where, false, slow)) return false;
            read(where, ecx);
            if (op == Op::INC) c_.inc(cl);
            else c_.dec(cl);
            set_nz(rcx);
            store(where, cl);
            break;
        }
        case Op::INX: case Op::INY: case Op::DEX: case Op::DEY: {
            const Xbyak::Reg64& reg = op == Op::INX || op == Op::DEX ? X : Y;
            if (op == Op::INX || op == Op::INY) c_.inc(reg.cvt8());
            else c_.dec(reg.cvt8());
            set_nz(reg);
            break;
        }
        case Op::TAX: case Op::TAY: case Op::TXA: case Op::TYA: case Op::TSX: {
            const Xbyak::Reg64& from = op == Op::TXA ? X : op == Op::TYA ? Y : op == Op::TSX ? S : A;
            const Xbyak::Reg64& to = op == Op::TAX || op == Op::TSX ? X : op == Op::TAY ? Y : A;
            c_.mov(to.cvt32(), from.cvt32());
            set_nz(to);
            break;
        }
        case Op::TXS: c_.mov(r15d, r13d); break;
        case Op::CLC: c_.xor_(r9d, r9d); break;
        case Op::CLD:
            c_.and_(ebp, static_cast<u8>(~FLAG_D));
            decimal_ = Known::clear;
            break;
        case Op::CLI: c_.and_(ebp, static_cast<u8>(~FLAG_I)); break;
        case Op::CLV: c_.xor_(r8d, r8d); break;
        case Op::SEC: c_.mov(r9d, 1); break;
        case Op::SED:
            c_.or_(ebp, FLAG_D);
            decimal_ = Known::set;
            break;
        case Op::SEI: c_.or_(ebp, FLAG_I); break;
        case Op::NOP:
            if (entry_.mode != Mode::imp) return false;
            break;
        case Op::ASL: case Op::LSR: case Op::ROL: case Op::ROR: {
            if (entry_.mode == Mode::acc) {
                shift(r12b, op);
                set_nzc(A);
                break;
            }
            Where where{};
            if (!address(where, pays_, slow)) return false;
            read(where, ecx);
            shift(cl, op);
            set_nzc(rcx);
            store(where, cl);
            break;
        }
        case Op::PHA: case Op::PHP: case Op::PHX: case Op::PHY: {
            if (op == Op::PHP) {
                status_in(c_, al);
                c_.mov(eax, ebp);
                c_.or_(al, FLAG_B);
                c_.mov(stack_top(), al);
            } else {
                c_.mov(stack_top(), register_of(op).cvt8());
            }
            c_.dec(r15b);
            counted();
            check_push(next_pc(), 0);
            return true;
        }
        case Op::PLA: case Op::PLP: case Op::PLX: case Op::PLY: {
            c_.inc(r15b);
            if (op == Op::PLP) {
                c_.movzx(ebp, stack_top());
                c_.or_(ebp, FLAG_CONSTANT);
                status_out(c_, eax);
                decimal_ = Known::unknown;
            } else {
                const Xbyak::Reg64& reg = register_of(op);
                c_.movzx(reg.cvt32(), stack_top());
                set_nz(reg);
            }
            break;
        }
        case Op::JSR: {
            // Pushes the address of its own last byte.
            const auto last_byte = static_cast<u16>(in_.at + 2);
            const u16 target = operand16();
            c_.mov(stack_top(), static_cast<u8>(last_byte >> 8));
            c_.dec(r15b);
            c_.mov(stack_top(), static_cast<u8>(last_byte));
            c_.dec(r15b);
            counted();
            const std::uint32_t look = outside_safe_range(target) ? EXIT_LOOK : 0;
            check_push(target, look);
            go_to(target, look, 0);
            return true;
        }
        case Op::RTS: {
            c_.inc(r15b);
            c_.movzx(edx, stack_top());
            c_.inc(r15b);
            c_.movzx(eax, stack_top());
            c_.shl(eax, 8);
            c_.or_(edx, eax);
            c_.inc(edx);
            c_.movzx(edx, dx);
            counted();
            c_.sub(LEFT_I, instructions_);
            c_.sub(LEFT_C, cycles_);
            // Where pc is outside the safe range, entry_at looks, as the threaded code does.
            c_.jmp(c_.qword[rdi + rdx * 8]);
            ended_ = true;
            return true;
        }
        case Op::BPL: case Op::BMI: case Op::BVC: case Op::BVS: case Op::BCC: case Op::BCS: case Op::BNE:
        case Op::BEQ: case Op::BRA: {
            const auto next = next_pc();
            const auto target = static_cast<u16>(next + static_cast<std::int8_t>(operand8()));
            counted();
            const unsigned taken_cycles = 1 + ((next ^ target) > 0xFF ? 1 : 0);
            const std::uint32_t look = outside_safe_range(target) ? EXIT_LOOK : 0;
            if (op == Op::BRA) {
                go_to(target, look, taken_cycles);
                return true;
            }
            // Each flag where it lives: N and Z in the stand-in, C in r9, V in the status.
            bool when_set = false;
            switch (op) {
            case Op::BMI: case Op::BVS: case Op::BCS: case Op::BEQ: when_set = true; break;
            default: break;
            }
            switch (op) {
            case Op::BPL: case Op::BMI: c_.test(NZ, 0x8080); break;
            case Op::BVC: case Op::BVS: c_.test(r8d, r8d); break;
            case Op::BCC: case Op::BCS: c_.test(r9d, r9d); break;
            default: c_.test(NZ, 0xFF); when_set = !when_set; break;  // BEQ: a zero low byte
            }
            Exit& taken = new_exit(target, look, instructions_, cycles_ + taken_cycles);
            if (when_set) c_.jnz(taken.label, CodeGenerator::T_NEAR);
            else c_.jz(taken.label, CodeGenerator::T_NEAR);
            go_to(next, 0, 0);
            return true;
        }
        case Op::JMP: {
            if (entry_.mode != Mode::abs) return false;
            counted();
            const u16 target = operand16();
            go_to(target, outside_safe_range(target) ? EXIT_LOOK : 0, 0);
            return true;
        }
        default: return false;
        }
        resume_after(slow);
        counted();
        return true;
    }

    CodeGenerator& c_;
    const BlockSource& s_;
    DecodedInstruction in_{};
    OpcodeEntry entry_{};
    bool pays_ = false;
    std::array<Exit, 3 * 32 + 4> exits_;
    std::size_t exit_count_ = 0;
    Exit* entry_exit_ = nullptr;
    std::array<Slow, 2 * 32> slows_;
    std::size_t slow_count_ = 0;
    unsigned instructions_ = 0;
    unsigned cycles_ = 0;
    bool ended_ = false;
    enum class Known : u8 { unknown, set, clear };
    Known decimal_ = Known::unknown;  // the D flag, as far as the block has set it
};
}  // namespace

bool emitter_open(const char*& why) {
    if (code != nullptr) return true;
    if (!addressable(memory.data(), memory.size()) ||
        !addressable(block_cache::code_map.data(), block_cache::code_map.size()) ||
        !addressable(block_cache::entry_at.data(), sizeof block_cache::entry_at) ||
        !addressable(&decimal_add, sizeof decimal_add) || !addressable(&decimal_subtract, sizeof decimal_subtract) ||
        !addressable(decimal_ready.data(), decimal_ready.size())) {
        why = "the machine's tables lie beyond 2 GiB in this build";
        return false;
    }
    try {
        code = std::make_unique<CodeGenerator>(CODE_SIZE);  // its shared code comes with emitter_reset
        return true;
    } catch (const Xbyak::Error& e) {
        why = e.what();
    } catch (const std::exception& e) {
        why = e.what();
    }
    code.reset();
    return false;
}

void emitter_reset() {
    if (code == nullptr) return;
    code->reset();
    emit_shared(*code);
}

std::array<const void*, 2> emit_block(const BlockSource& source) {
    if (code == nullptr || code->getSize() + SHARED_BYTES + source.count * INSTRUCTION_BYTES > CODE_SIZE)
        return {nullptr, nullptr};
    if (source.chip != decimal_chip) {
        decimal_chip = source.chip;
        decimal_ready = {};
    }
    code->align(16);
    std::array<const void*, 2> body{};
    try {
        auto emitter = std::make_unique<BlockEmitter>(*code, source);
        emitter->emit(body);
    } catch (const Xbyak::Error&) {
        ++refusals;  // a fault of this file: the handlers run instead
        return {nullptr, nullptr};
    }
    return body;
}

std::uint32_t emitter_enter(TranslateState* s, const void* body) { return enter(s, body); }

std::uint64_t emitter_refusals() { return refusals; }

const char* emitter_name() { return "x86-64 host code, made with xbyak"; }
