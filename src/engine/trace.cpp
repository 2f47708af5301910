#include "engine/trace.hpp"

#include <cerrno>
#include <cstdio>

#include "cpu/state.hpp"
#include "host/terminal.hpp"

namespace {
constexpr const char* nibble_bits[16] = {"0000", "0001", "0010", "0011", "0100", "0101", "0110", "0111",
                                         "1000", "1001", "1010", "1011", "1100", "1101", "1110", "1111"};
int trace_error = 0;
bool output_lost = false;
}  // namespace

int trace_output_error() { return trace_error; }
void note_lost_output() { output_lost = true; }
bool output_was_lost() { return output_lost; }

void print_trace_line() {
    host_console_flush();  // the program's output first, in the order it happened
    // The opcode shown is the stored byte: tracing must not trigger a device.
    // A processor that has just halted or begun to wait shows where it is.
    const u16 pc = cpu.pause == Pause::none ? cpu.pc : cpu.pause_pc;
    const int written = std::fprintf(stderr, "PC=%x mem=%x a=%x x=%x y=%x st=%s%s sp=%x \r\n", pc, bus_peek(pc),
                                     cpu.a, cpu.x, cpu.y, nibble_bits[cpu.status >> 4],
                                     nibble_bits[cpu.status & 0x0F], cpu.sp);
    if (written < 0 && trace_error == 0) trace_error = errno != 0 ? errno : EIO;
}
