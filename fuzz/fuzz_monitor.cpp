// libFuzzer target for what a command file hands the monitor: each line of
// the input read as a command, as an expression, as an instruction to
// assemble and as a hunt pattern. Whatever a line holds, every answer is a
// value or one line of message with its control characters escaped (so no
// message can act on the terminal), and an assembled instruction is one
// the processor decodes as the same operation.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "bus/bus.hpp"
#include "cpu/cpu.hpp"
#include "cpu/opcode_matrix.hpp"
#include "debug/assembler.hpp"
#include "debug/expression.hpp"
#include "debug/labels.hpp"
#include "monitor/memory_tools.hpp"
#include "monitor/monitor_command.hpp"

namespace {
void check(bool condition) {
    if (!condition) __builtin_trap();
}

// One line, nothing below a space, no DEL.
void check_message(const std::string& text) {
    for (const char c : text) check(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F);
}

Labels& labels() {
    static Labels instance = [] {
        Labels made;
        made.add(".start", 0x0200);
        made.add(".ptr", 0x0002);
        made.add(".@next", 0x0210);
        made.add(".@next", 0x0220);
        return made;
    }();
    return instance;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const MachineContext context(labels());
    std::size_t at = 0;
    int line_number = 0;
    while (at < input.size() && line_number++ < 64) {
        const std::size_t end = std::min(input.find('\n', at), input.size());
        const std::string_view line = input.substr(at, end - at);
        at = end + 1;

        const MonitorCommand command = parse_monitor_command(line, context);
        check_message(command.error);
        if (command.error.empty() && command.first && command.second) check(*command.first <= *command.second);

        const Expression value = evaluate_expression(line, context);
        check_message(value.error);
        check(value.ok() == value.error.empty());
        check_message(describe_value(value.value, &labels()));

        const Chip chip = ALL_CHIPS[static_cast<std::size_t>(line_number) % 3];
        const Assembled code = assemble(line, 0x0300, chip, context);
        check_message(code.error);
        check(code.error.empty() == (code.length > 0));
        if (code.length > 0) {
            const OpcodeEntry& entry = opcode_grid_of(chip)[code.bytes[0]];
            check(code.length == 1 + operand_bytes(entry.mode));
        }

        std::string error;
        const std::vector<std::string_view> words = split_arguments(line);
        (void)read_hunt_pattern(words, context, error);
        check_message(error);
    }
    return 0;
}
