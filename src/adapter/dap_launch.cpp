#include "adapter/dap_launch.hpp"

#include "adapter/dap_inbox.hpp"
#include "inspect/check_kinds.hpp"
#include "base/text.hpp"

namespace {
// A string argument, when present; false (with `error` set) when it is of
// another type.
bool string_argument(const nlohmann::json& arguments, const char* name, std::string& into, std::string& error) {
    const auto found = arguments.find(name);
    if (found == arguments.end() || found->is_null()) return true;
    if (!found->is_string()) {
        error = std::string("launch: '") + name + "' must be a string";
        return false;
    }
    into = found->get<std::string>();
    return true;
}

bool bool_argument(const nlohmann::json& arguments, const char* name, bool& into, std::string& error) {
    const auto found = arguments.find(name);
    if (found == arguments.end() || found->is_null()) return true;
    if (!found->is_boolean()) {
        error = std::string("launch: '") + name + "' must be true or false";
        return false;
    }
    into = found->get<bool>();
    return true;
}

// An address as a number or as the command line's forms (C000, 0xC000, $C000).
bool address_argument(const nlohmann::json& arguments, const char* name, std::optional<std::uint16_t>& into,
                      std::string& error) {
    const auto found = arguments.find(name);
    if (found == arguments.end() || found->is_null()) return true;
    if (found->is_number_unsigned() && found->get<std::uint64_t>() <= 0xFFFF) {
        into = static_cast<std::uint16_t>(found->get<std::uint64_t>());
        return true;
    }
    if (found->is_string()) {
        into = parse_address_option(found->get_ref<const std::string&>().c_str());
        if (into) return true;
    }
    error = std::string("launch: '") + name + "' must be an address up to FFFF, like C000, 0xC000, $C000 or 49152";
    return false;
}
}  // namespace

std::string dap_parse_launch(const nlohmann::json& arguments, DapLaunch& launch) {
    std::string error;
    std::string cpu;
    std::optional<std::uint16_t> load_address;
    std::optional<std::uint16_t> start;
    bool deterministic = false;
    if (!string_argument(arguments, "program", launch.program, error) ||
        !string_argument(arguments, "cwd", launch.cwd, error) || !string_argument(arguments, "keys", launch.keys, error) ||
        !string_argument(arguments, "debugInfo", launch.debug_info, error) ||
        !string_argument(arguments, "cpu", cpu, error) || !bool_argument(arguments, "deterministic", deterministic, error) ||
        !bool_argument(arguments, "stopOnEntry", launch.stop_on_entry, error) ||
        !address_argument(arguments, "loadAddress", load_address, error) ||
        !address_argument(arguments, "start", start, error))
        return error;
    if (launch.program.empty()) return "launch: 'program' must name the program image";
    RunOptions& line = launch.options;
    line = RunOptions{};
    line.image_path = launch.program.c_str();
    if (load_address) line.load_address = *load_address;
    line.start = start;
    line.deterministic = deterministic;
    line.stdin_input = !launch.keys.empty();
    if (!cpu.empty()) {
        const std::optional<Chip> chip = parse_chip_name(cpu.c_str());
        if (!chip) return "launch: 'cpu' must be 6502, 6502X or 65C02";
        line.chip = *chip;
        line.chip_given = true;
    }
    return {};
}

namespace {
// The checks of --check, one filter each, off until ticked.
nlohmann::json exception_filters() {
    nlohmann::json filters = nlohmann::json::array();
    for (const CheckKindInfo& info : CHECK_KINDS)
        filters.push_back({{"filter", std::string(info.name)}, {"label", std::string(info.label)}, {"default", false}});
    return filters;
}
}  // namespace

nlohmann::json dap_capabilities(bool can_step_back) {
    return {
        {"supportsConfigurationDoneRequest", true},
        {"supportsFunctionBreakpoints", true},
        {"supportsConditionalBreakpoints", true},
        {"supportsHitConditionalBreakpoints", true},
        {"supportsEvaluateForHovers", true},
        {"supportsStepBack", can_step_back},
        {"supportsDataBreakpoints", true},
        {"supportsInstructionBreakpoints", true},
        {"supportsReadMemoryRequest", true},
        {"supportsWriteMemoryRequest", true},
        {"supportsDisassembleRequest", true},
        {"supportsSteppingGranularity", true},
        {"supportsTerminateRequest", true},
        {"supportsSetVariable", true},
        {"supportsSetExpression", true},
        {"supportsLogPoints", true},
        {"supportsGotoTargetsRequest", true},
        {"supportsCompletionsRequest", true},
        {"supportsLoadedSourcesRequest", true},
        {"supportsRestartRequest", true},
        {"exceptionBreakpointFilters", exception_filters()},
    };
}

std::optional<DapLaunch> dap_await_launch(DapConnection& connection, DapInbox& inbox) {
    for (;;) {
        const DapRead read = inbox.take();
        if (read.status == DapReadStatus::end) return std::nullopt;
        if (read.status == DapReadStatus::malformed) {
            connection.refuse(nlohmann::json::object(), read.error);
            continue;
        }
        const nlohmann::json& request = read.message;
        const std::string command = dap_command(request);
        if (command == "initialize") {
            connection.respond(request, dap_capabilities(true));
        } else if (command == "launch") {
            DapLaunch launch;
            const std::string error = dap_parse_launch(dap_arguments(request), launch);
            if (!error.empty()) {
                connection.refuse(request, error);
                continue;
            }
            launch.request = request;
            return launch;
        } else if (command == "disconnect" || command == "terminate") {
            connection.respond(request);
            return std::nullopt;
        } else if (command.empty()) {
            connection.refuse(request, "a request without a command");
        } else {
            connection.refuse(request, "'" + command + "' before launch: launch the program first");
        }
    }
}
