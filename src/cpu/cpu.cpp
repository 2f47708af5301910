#include "cpu/cpu.hpp"

#include "cpu/dispatch.hpp"

Cpu cpu{};

namespace {
Chip selected_chip = Chip::m6502;
}

void cpu_select(Chip chip) { selected_chip = chip; }
Chip cpu_chip() { return selected_chip; }

void halt_processor(u16 opcode_address, u8 opcode) {
    cpu.pause = Pause::halted;
    cpu.pause_pc = opcode_address;
    cpu.pause_opcode = opcode;
}

void wait_for_interrupt(u16 resume_address) {
    cpu.pause = Pause::waiting;
    cpu.pause_pc = resume_address;
}

Pause cpu_resume_pause() {
    const Pause pause = cpu.pause;
    if (pause == Pause::none) return pause;
    cpu.pc = cpu.pause_pc;
    if (pause == Pause::waiting) cpu.pause = Pause::none;
    return pause;
}

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
template <Chip P>
u32 execute_instruction_near_devices() {
    cpu.opcode = bus_read(cpu.pc++);
    cpu.status |= FLAG_CONSTANT;
    return execute_opcode<P, Fetch::near_devices>(cpu, cpu.opcode);
}

// One out-of-line copy of the instruction set per processor for cpu_step,
// cpu_exec and the run loop's single steps. The sanitizer build, where each
// copy compiles slowly, makes do with the one that goes through the bus.
template <Chip P>
u32 execute_instruction_on_cpu() {
#ifdef EMU6502_ONE_RUN_LOOP
    return execute_instruction_near_devices<P>();
#else
    return execute_instruction<P>(cpu);
#endif
}

template u32 execute_instruction_on_cpu<Chip::m6502>();
template u32 execute_instruction_on_cpu<Chip::m6502x>();
template u32 execute_instruction_on_cpu<Chip::m65c02>();

namespace {
u32 execute_on_selected_chip() {
    switch (selected_chip) {
    case Chip::m6502x: return execute_instruction_on_cpu<Chip::m6502x>();
    case Chip::m65c02: return execute_instruction_on_cpu<Chip::m65c02>();
    default: return execute_instruction_on_cpu<Chip::m6502>();
    }
}
}  // namespace

void cpu_reset() {
    // The real part's six discarded reads; they reach only plain RAM.
    for (const u16 address : {0x00FF, 0x00FF, 0x00FF, 0x0100, 0x01FF, 0x01FE}) (void)bus_read(address);
    cpu.pc = read_word(RESET_VECTOR);
    cpu.sp = 0xFD;
    cpu.status |= FLAG_I | FLAG_CONSTANT;
}

u32 cpu_step() {
    cpu.cycle_count = execute_on_selected_chip();
    ++cpu.instruction_count;
    if (cpu.hook_installed) cpu.step_hook();
    return cpu.cycle_count;
}

namespace {
template <Chip P>
u32 exec_on(u32 budget) {
    cpu.cycle_goal = budget;
    cpu.cycle_count = 0;
    while (cpu.cycle_count < cpu.cycle_goal) {
        cpu.cycle_count += execute_instruction_on_cpu<P>();
        ++cpu.instruction_count;
        if (cpu.hook_installed) cpu.step_hook();
    }
    return cpu.cycle_count;
}
}  // namespace

u32 cpu_exec(u32 budget) {
    switch (selected_chip) {
    case Chip::m6502x: return exec_on<Chip::m6502x>(budget);
    case Chip::m65c02: return exec_on<Chip::m65c02>(budget);
    default: return exec_on<Chip::m6502>(budget);
    }
}

namespace {
// Interrupt entry costs no cycles here and leaves D alone, except on the
// 65C02, which clears it.
void enter_interrupt(u16 vector) {
    stack_push_word(cpu.pc);
    stack_push_byte(static_cast<u8>(cpu.status & ~FLAG_B));
    cpu.status |= FLAG_I;
    if (selected_chip == Chip::m65c02) cpu.status &= static_cast<u8>(~FLAG_D);
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
