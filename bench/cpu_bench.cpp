// Emulated instructions and cycles per second of cpu_exec over three
// workloads: the self-checking instruction mix, an arithmetic loop with
// decimal mode, and a memory-heavy sort and copy through indexed and
// indirect modes. Run: build/bench/cpu_bench
#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bus/bus.hpp"
#include "bus/devices.hpp"
#include "cpu/cpu.hpp"

namespace {

std::vector<u8> load_program(const std::string& name) {
    std::ifstream in(std::string(EMU6502_PROGRAMS_DIR) + "/" + name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A fresh machine with `image` at 0x0200; the run's end at 0x0000 is a
// JMP $0000 that holds the processor there.
void prepare(const std::vector<u8>& image, int rounds_offset, u8 rounds) {
    memory.fill(0xEE);
    std::copy(image.begin(), image.end(), memory.begin() + 0x0200);
    if (rounds_offset >= 0) memory[0x0200 + static_cast<unsigned>(rounds_offset)] = rounds;
    memory[0x0000] = 0x4C;
    memory[0x0001] = 0x00;
    memory[0x0002] = 0x00;
    memory[0xFFFC] = 0x00;
    memory[0xFFFD] = 0x02;
    memory[0xFFFE] = 0x00;
    memory[0xFFFF] = 0x00;
    cpu = Cpu{};
    cpu_reset();
}

void run_workload(benchmark::State& state, const char* file, int rounds_offset, u8 rounds) {
    const std::vector<u8> image = load_program(file);
    if (image.empty()) {
        state.SkipWithError("program image missing");
        return;
    }
    console_init(false);
    std::uint64_t instructions = 0;
    std::uint64_t cycles = 0;
    for (auto _ : state) {
        state.PauseTiming();
        prepare(image, rounds_offset, rounds);
        std::fflush(stdout);
        state.ResumeTiming();
        const u32 before = cpu.instruction_count;
        while (cpu.pc != 0x0000) cycles += cpu_exec(100'000);
        instructions += cpu.instruction_count - before;
    }
    state.counters["instructions/s"] = benchmark::Counter(static_cast<double>(instructions), benchmark::Counter::kIsRate);
    state.counters["cycles/s"] = benchmark::Counter(static_cast<double>(cycles), benchmark::Counter::kIsRate);
}

void BM_SelfCheckMix(benchmark::State& state) { run_workload(state, "selftest.bin", -1, 0); }
void BM_DecimalArithmetic(benchmark::State& state) { run_workload(state, "bench_mix.bin", 3, 2); }
void BM_IndexedMemory(benchmark::State& state) { run_workload(state, "bench_memory.bin", 3, 10); }

BENCHMARK(BM_SelfCheckMix)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecimalArithmetic)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IndexedMemory)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
