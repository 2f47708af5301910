#include "cpu/cpu.hpp"

#include "cpu/dispatch.hpp"

Cpu cpu{};

void publish_registers(u16 pc, u8 sp, u8 a, u8 x, u8 y, u8 status) {
    cpu.pc = pc;
    cpu.sp = sp;
    cpu.a = a;
    cpu.x = x;
    cpu.y = y;
    cpu.status = status;
}

// Out of line: two copies of the whole instruction set would not help the
// common case.
u32 execute_instruction_near_devices() {
    cpu.opcode = bus_read(cpu.pc++);
    cpu.status |= FLAG_CONSTANT;
    return execute_opcode<Fetch::near_devices>(cpu, cpu.opcode);
}

// One out-of-line copy of the instruction set for cpu_step and cpu_exec.
u32 execute_instruction_on_cpu() { return execute_instruction(cpu); }

void cpu_reset() {
    // The real part's six discarded reads; they reach only plain RAM.
    for (const u16 address : {0x00FF, 0x00FF, 0x00FF, 0x0100, 0x01FF, 0x01FE}) (void)bus_read(address);
    cpu.pc = read_word(RESET_VECTOR);
    cpu.sp = 0xFD;
    cpu.status |= FLAG_I | FLAG_CONSTANT;
}

u32 cpu_step() {
    cpu.cycle_count = execute_instruction_on_cpu();
    ++cpu.instruction_count;
    if (cpu.hook_installed) cpu.step_hook();
    return cpu.cycle_count;
}

u32 cpu_exec(u32 budget) {
    cpu.cycle_goal = budget;
    cpu.cycle_count = 0;
    while (cpu.cycle_count < cpu.cycle_goal) {
        cpu.cycle_count += execute_instruction_on_cpu();
        ++cpu.instruction_count;
        if (cpu.hook_installed) cpu.step_hook();
    }
    return cpu.cycle_count;
}

namespace {
// Interrupt entry costs no cycles here and leaves D alone.
void enter_interrupt(u16 vector) {
    stack_push_word(cpu.pc);
    stack_push_byte(static_cast<u8>(cpu.status & ~FLAG_B));
    cpu.status |= FLAG_I;
    cpu.pc = read_word(vector);
}
}  // namespace

void cpu_irq() {
    if (cpu.status & FLAG_I) return;
    enter_interrupt(IRQ_VECTOR);
}

void cpu_nmi() { enter_interrupt(NMI_VECTOR); }

void cpu_set_hook(StepHook hook) {
    if (hook != nullptr) {
        cpu.step_hook = hook;
        cpu.hook_installed = true;
    } else {
        cpu.hook_installed = false;  // the old procedure stays, unused
    }
}
