#include "adapter/dap_session.hpp"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "base/text.hpp"
#include "bus/devices.hpp"
#include "cpu/cpu.hpp"
#include "cpu/observed.hpp"
#include "debug/c_values.hpp"
#include "debug/call_stack.hpp"
#include "adapter/dap_launch.hpp"
#include "debug/disassembler.hpp"
#include "debug/expression.hpp"
#include "engine/past.hpp"
#include "engine/run_loop.hpp"
#include "host/dap_streams.hpp"
#include "host/terminal.hpp"

namespace {
using nlohmann::json;

// The stop reasons this session gives; anything else the engine says (a
// halt) is shown as an exception.
constexpr const char* REASON_BREAKPOINT = "breakpoint";
constexpr const char* REASON_STEP = "step";
constexpr const char* REASON_PAUSE = "pause";
constexpr const char* REASON_DATA = "data breakpoint";
constexpr const char* REASON_FUNCTION = "function breakpoint";
constexpr const char* REASON_INSTRUCTION = "instruction breakpoint";

constexpr int THREAD_ID = 1;
constexpr std::size_t MAX_FRAMES = 64;

// Variable references: one per scope of a frame, the kind in the low bits.
enum class ScopeKind : int { locals = 1, registers = 2, globals = 3, zero_page = 4 };
int scope_reference(std::size_t frame, ScopeKind kind) { return static_cast<int>(frame) * 8 + static_cast<int>(kind); }

std::string hex4(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "$%04X", value & 0xFFFF);
    return text;
}

std::string memory_reference(unsigned address) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%04X", address & 0xFFFF);
    return text;
}

// "0x0200", "$0200", "0200" or a number: an address, with `offset` added.
std::optional<std::uint16_t> parse_reference(const json& reference, std::int64_t offset = 0) {
    std::int64_t value = 0;
    if (reference.is_number_integer()) {
        value = reference.get<std::int64_t>();
    } else if (reference.is_string()) {
        const std::string& text = reference.get_ref<const std::string&>();
        const auto address = parse_address_option(text.c_str());
        if (!address) return std::nullopt;
        value = *address;
    } else {
        return std::nullopt;
    }
    value += offset;
    if (value < 0 || value > 0xFFFF) return std::nullopt;
    return static_cast<std::uint16_t>(value);
}

std::int64_t integer_argument(const json& arguments, const char* name, std::int64_t otherwise = 0);

// The address that `key` (a memory or instruction reference) and "offset"
// give in `arguments`, or -1 when they give none.
long reference_address(const json& arguments, const char* key) {
    const auto found = arguments.find(key);
    if (found == arguments.end()) return -1;
    const std::optional<std::uint16_t> address = parse_reference(*found, integer_argument(arguments, "offset"));
    return address ? long{*address} : -1;
}

std::int64_t integer_argument(const json& arguments, const char* name, std::int64_t otherwise) {
    const auto found = arguments.find(name);
    return found != arguments.end() && found->is_number_integer() ? found->get<std::int64_t>() : otherwise;
}

std::string string_argument(const json& arguments, const char* name) {
    const auto found = arguments.find(name);
    return found != arguments.end() && found->is_string() ? found->get<std::string>() : std::string();
}

// "N", ">= N", "== N", "> N": the hit from which a breakpoint stops; 0
// when the text says nothing it can use.
std::uint64_t parse_hit_condition(std::string text) {
    text.erase(std::remove(text.begin(), text.end(), ' '), text.end());
    std::uint64_t adjust = 0;
    if (text.starts_with(">=") || text.starts_with("==")) text.erase(0, 2);
    else if (text.starts_with(">")) text.erase(0, 1), adjust = 1;
    char* end = nullptr;
    const unsigned long long value = std::strtoull(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0') return 0;
    return value + adjust;
}

const char* base64_digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string base64(const std::vector<std::uint8_t>& bytes) {
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const unsigned n = static_cast<unsigned>(bytes[i]) << 16 |
                           (i + 1 < bytes.size() ? static_cast<unsigned>(bytes[i + 1]) << 8 : 0) |
                           (i + 2 < bytes.size() ? bytes[i + 2] : 0);
        out += base64_digits[n >> 18 & 63];
        out += base64_digits[n >> 12 & 63];
        out += i + 1 < bytes.size() ? base64_digits[n >> 6 & 63] : '=';
        out += i + 2 < bytes.size() ? base64_digits[n & 63] : '=';
    }
    return out;
}

std::optional<std::vector<std::uint8_t>> from_base64(const std::string& text) {
    std::vector<std::uint8_t> bytes;
    unsigned bits = 0;
    int count = 0;
    for (const char c : text) {
        if (c == '=') break;
        const char* at = std::strchr(base64_digits, c);
        if (at == nullptr || c == '\0') return std::nullopt;
        bits = bits << 6 | static_cast<unsigned>(at - base64_digits);
        count += 6;
        if (count >= 8) {
            count -= 8;
            bytes.push_back(static_cast<std::uint8_t>(bits >> count));
        }
    }
    return bytes;
}

std::string absolute_path(const std::string& path) {
    std::error_code error;
    const std::filesystem::path canonical = std::filesystem::weakly_canonical(path, error);
    return error ? path : canonical.string();
}
}  // namespace

DapSession::DapSession(DapConnection& connection, DapInbox& inbox, DapSessionSetup setup)
    : connection_(connection), inbox_(inbox), setup_(std::move(setup)), c_view_(setup_.info, setup_.debug_file) {
    if (setup_.info != nullptr) {
        sources_ = std::make_unique<SourceFiles>(*setup_.info, setup_.debug_file);
        for (const debug_info::Symbol& symbol : setup_.info->symbols())
            if (symbol.kind == debug_info::SymbolKind::label && symbol.value && *symbol.value <= 0xFFFF)
                labels_.add("." + symbol.name, static_cast<std::uint16_t>(*symbol.value));
    }
    if (!setup_.image_labels.empty())
        (void)labels_.load(setup_.image_labels.c_str(), nullptr, nullptr,
                           [this](std::string_view name) { return !labels_.lookup(name).address; });
    c_view_.use_labels(labels_);
    observed.break_at.fill(0);
    observed.watch_page.fill(0);
    observed.watch_any = false;
}

DapSession::~DapSession() = default;

// ---- the engine's questions ------------------------------------------------

unsigned DapSession::threaded_checks() const {
    unsigned checks = 0;
    if (!source_breakpoints_.empty() || !function_breakpoints_.empty() || !instruction_breakpoints_.empty())
        checks |= observe::BREAKS;
    if (!watches_.empty()) checks |= observe::WATCHES;
    return checks;
}

bool DapSession::breakpoint_hits(Breakpoint& breakpoint) {
    if (breakpoint.address != cpu.pc) return false;
    if (!breakpoint.condition.empty()) {
        const MachineContext machine(labels_);
        const c_view::CContext context = c_view_.context_at(machine, cpu.pc);
        const Expression value = evaluate_expression(breakpoint.condition, context);
        // A condition that cannot be worked out stops, so that it is seen.
        if (value.ok() && value.value == 0) return false;
    }
    // Probing the past for the last stop, only the condition counts; a
    // logpoint is no stop, and said only once, as the run first passes.
    if (probing_) return breakpoint.log_message.empty();
    if (++breakpoint.hits < breakpoint.hit_after) return false;
    if (breakpoint.log_message.empty()) return true;
    log(breakpoint);
    return false;
}

void DapSession::log(const Breakpoint& breakpoint) {
    c_view_.stopped(frames());  // the C names where the logpoint is
    std::string text;
    const std::string& message = breakpoint.log_message;
    for (std::size_t i = 0; i < message.size(); ++i) {
        const std::size_t close = message[i] == '{' ? message.find('}', i) : std::string::npos;
        if (close == std::string::npos) {
            text += message[i];
            continue;
        }
        std::string error;
        const auto value = value_text(message.substr(i + 1, close - i - 1), error, true);
        text += value ? *value : "{" + error + "}";
        i = close;
    }
    host_console_flush();
    dap_output_sync();  // the program's output before it, in its order
    connection_.output("console", text + "\n");
}

void DapSession::tell_stopped(json body) {
    host_console_flush();
    dap_output_sync();
    connection_.event("stopped", std::move(body));
}

const char* DapSession::stop_before() {
    if (skip_break_ || observed.break_at[cpu.pc] == 0) return nullptr;
    const char* reason = nullptr;
    for (auto& [path, list] : source_breakpoints_)
        for (Breakpoint& breakpoint : list)
            if (breakpoint_hits(breakpoint)) reason = REASON_BREAKPOINT;
    for (Breakpoint& breakpoint : function_breakpoints_)
        if (breakpoint_hits(breakpoint) && reason == nullptr) reason = REASON_FUNCTION;
    for (Breakpoint& breakpoint : instruction_breakpoints_)
        if (breakpoint_hits(breakpoint) && reason == nullptr) reason = REASON_INSTRUCTION;
    return reason;
}

void DapSession::step_before() {
    access_count_ = watches_.empty() ? 0 : data_accesses(accesses_);
    sp_before_ = cpu.sp;
}

void DapSession::interrupt_taken() {
    if (step_ == Step::none) return;
    if (!call_) call_ = source_steps::CallThrough{static_cast<std::uint8_t>(cpu.sp + 3), std::nullopt};
    else source_steps::call_through_interrupted(*call_, static_cast<std::uint8_t>(cpu.sp + 3));
}

bool DapSession::at_line_start(std::uint16_t pc, std::optional<debug_info::Location>& where) const {
    where.reset();
    if (setup_.info == nullptr) return false;
    where = setup_.info->location(pc);
    return where && where->span_start == pc;
}

void DapSession::step_after(std::uint16_t pc, std::uint32_t) {
    skip_break_ = false;
    for (int i = 0; i < access_count_; ++i) {
        const Access& access = accesses_[static_cast<std::size_t>(i)];
        if ((watch_at_[access.address] & access.kind) != 0) {
            stop(REASON_DATA);
            break;
        }
    }
    if (step_ == Step::none) return;
    const std::uint8_t opcode = memory[pc];
    const bool returned = (opcode == 0x60 || opcode == 0x40) && cpu.sp > step_sp_;
    if (step_ == Step::out) {
        if (returned) stop(REASON_STEP);
        return;
    }
    // Inside a call made since the step began (a JSR, BRK or interrupt)
    // until it returns (source_steps.hpp), wherever pc is; a byte pushed
    // (PHA, PHP) is no call.
    if (call_) {
        if (source_steps::call_through_ends(*call_, {pc, opcode, sp_before_, cpu.pc, cpu.sp})) call_.reset();
    } else if (source_steps::is_call(opcode) && cpu.sp != sp_before_) {
        call_ = source_steps::CallThrough{sp_before_, std::nullopt};
    }
    const bool deeper = call_.has_value();
    if (step_ == Step::instruction || !line_steps_) {
        // One instruction; over a JSR, until the stack is back.
        if (step_ == Step::over && deeper) return;
        stop(REASON_STEP);
        return;
    }
    if (step_ == Step::over && deeper) return;
    // By line: on to the first instruction of another line; code without
    // source (cc65's runtime) is stepped through, as a call to it is.
    std::optional<debug_info::Location> where;
    if (!at_line_start(cpu.pc, where)) return;
    const bool same_line = step_from_ && where->file == step_from_->file && where->line == step_from_->line &&
                           !returned && !deeper;
    if (!same_line) stop(REASON_STEP);
}

void DapSession::timer_request() {
    if (!inbox_.waiting()) return;
    DapRead read;
    while (inbox_.try_take(read)) {
        if (read.status == DapReadStatus::malformed) connection_.refuse(json::object(), read.error);
        else handle_running(read.message);
    }
    if (inbox_.ended()) leave();
}

ObserverStop DapSession::stop_due(const RunCounts&) {
    if (!stop_due_) return {};
    stop_due_ = false;
    return {true, stop_reason_};
}

// ---- talking ---------------------------------------------------------------

void DapSession::converse(const char* reason, const RunCounts& counts) {
    counts_ = counts;
    stop_due_ = false;
    const Step stepped = step_;
    step_ = Step::none;
    if (!launched_) {
        // The machine is ready: the launch succeeded; the client now sets
        // its breakpoints and says when it is done.
        launched_ = true;
        connection_.respond(setup_.launch_request);
        connection_.event("initialized");
        while (!configured_) {
            const DapRead read = inbox_.take();
            if (read.status == DapReadStatus::end) leave();
            if (read.status == DapReadStatus::malformed) {
                connection_.refuse(json::object(), read.error);
                continue;
            }
            if (handle(read.message)) break;  // run before configuration done: take it as done
        }
        if (!setup_.stop_on_entry) {
            skip_break_ = false;  // a breakpoint on the first instruction counts
            return;
        }
        reason = "entry";
    } else if (std::exchange(restarting_, false)) {
        // Back at the start: it runs again as the launch made it run.
        if (!setup_.stop_on_entry) {
            skip_break_ = false;
            return;
        }
        reason = "entry";
    }
    if (back_by_line_ && reason == nullptr && stepping_back()) {
        skip_break_ = true;
        return;
    }
    back_by_line_ = false;
    json body = {{"threadId", THREAD_ID}, {"allThreadsStopped", true}};
    if (reason == nullptr) reason = stepped == Step::none && !std::exchange(went_back_, false) ? REASON_PAUSE : REASON_STEP;
    const std::string text(reason);
    if (text == REASON_BREAKPOINT || text == REASON_STEP || text == REASON_PAUSE || text == REASON_DATA ||
        text == REASON_FUNCTION || text == REASON_INSTRUCTION || text == "entry") {
        body["reason"] = text;
    } else if (text.starts_with("rc: ") || text.starts_with("back: ")) {
        body["reason"] = REASON_STEP;  // went back as far as the past reaches
        body["description"] = text;
    } else {
        body["reason"] = "exception";
        body["description"] = text;
        body["text"] = text;
    }
    c_view_.stopped(frames());
    tell_stopped(body);
    for (;;) {
        const DapRead read = inbox_.take();
        if (read.status == DapReadStatus::end) leave();
        if (read.status == DapReadStatus::malformed) {
            connection_.refuse(json::object(), read.error);
            continue;
        }
        if (handle(read.message)) break;
    }
    skip_break_ = true;
}

void DapSession::leave() {
    // The client is gone or asked to end: the run ends here, as a stop
    // signal ends it (memory not saved).
    if (setup_.on_leave) setup_.on_leave();
}

void DapSession::handle_running(const json& request) {
    const std::string command = dap_command(request);
    if (command == "pause") {
        connection_.respond(request);
        stop(REASON_PAUSE);
    } else if (command == "threads") {
        connection_.respond(request, {{"threads", json::array({{{"id", THREAD_ID}, {"name", "6502"}}})}});
    } else if (command == "setBreakpoints") {
        set_breakpoints(request);
    } else if (command == "setFunctionBreakpoints") {
        set_function_breakpoints(request);
    } else if (command == "setInstructionBreakpoints") {
        set_instruction_breakpoints(request);
    } else if (command == "setDataBreakpoints") {
        set_data_breakpoints(request);
    } else if (command == "setExceptionBreakpoints") {
        set_exception_breakpoints(request);
    } else if (command == "disconnect" || command == "terminate") {
        connection_.respond(request);
        leave();
    } else {
        connection_.refuse(request, "'" + command + "' needs the program stopped: pause it first");
    }
}

// The requests about the machine that stands still, each by its member.
DapSession::Handler DapSession::stopped_handler(const std::string& command) {
    static const std::pair<const char*, Handler> handlers[] = {
        {"stackTrace", &DapSession::stack_trace},
        {"scopes", &DapSession::scopes},
        {"variables", &DapSession::variables},
        {"evaluate", &DapSession::evaluate},
        {"setVariable", &DapSession::set_variable},
        {"setExpression", &DapSession::set_expression},
        {"dataBreakpointInfo", &DapSession::data_breakpoint_info},
        {"readMemory", &DapSession::read_memory},
        {"writeMemory", &DapSession::write_memory},
        {"disassemble", &DapSession::disassemble},
        {"gotoTargets", &DapSession::goto_targets},
        {"goto", &DapSession::go_to},
        {"completions", &DapSession::completions},
        {"loadedSources", &DapSession::loaded_sources},
    };
    for (const auto& [name, handler] : handlers)
        if (command == name) return handler;
    return nullptr;
}

bool DapSession::handle(const json& request) {
    const std::string command = dap_command(request);
    const json arguments = dap_arguments(request);
    if (command == "configurationDone") {
        const bool first = !configured_;
        configured_ = true;
        connection_.respond(request);
        return first;
    }
    if (command == "continue") {
        connection_.respond(request, {{"allThreadsContinued", true}});
        configured_ = true;
        return true;
    }
    if (command == "next" || command == "stepIn" || command == "stepOut") {
        start_step(command == "next" ? Step::over : command == "stepIn" ? Step::into : Step::out, arguments);
        connection_.respond(request);
        return true;
    }
    if (command == "stepBack" || command == "reverseContinue") return step_back(request, command == "reverseContinue");
    if (command == "restart") return restart(request);
    if (command == "pause") {
        connection_.respond(request);
    } else if (command == "threads" || command == "setBreakpoints" || command == "setFunctionBreakpoints" ||
               command == "setInstructionBreakpoints" || command == "setDataBreakpoints" ||
               command == "setExceptionBreakpoints") {
        handle_running(request);
    } else if (command == "disconnect" || command == "terminate") {
        connection_.respond(request);
        leave();
        return true;
    } else if (const Handler handler = stopped_handler(command)) {
        (this->*handler)(request);
    } else if (command == "initialize" || command == "launch") {
        connection_.refuse(request, "'" + command + "' again: the program is already launched");
    } else if (command.empty()) {
        connection_.refuse(request, "a request without a command");
    } else {
        connection_.refuse(request, "'" + command + "' is not a request this adapter serves");
    }
    return false;
}

bool DapSession::step_back(const json& request, bool to_last_stop) {
    if (counts_.earliest == UINT64_MAX) {
        connection_.refuse(request, "steps back need a deterministic launch (\"deterministic\": true)");
        return false;
    }
    if (counts_.instructions <= counts_.earliest) {
        connection_.refuse(request, "nothing earlier to go back to: no step back reaches before instruction count " +
                                        std::to_string(counts_.earliest));
        return false;
    }
    if (to_last_stop) {
        rewind_ = {RewindRequest::Kind::last_stop, 0};
    } else {
        const json arguments = dap_arguments(request);
        back_by_line_ = string_argument(arguments, "granularity") != "instruction" && setup_.info != nullptr;
        step_sp_ = cpu.sp;
        step_from_.reset();
        if (setup_.info != nullptr) step_from_ = setup_.info->location(cpu.pc);
        rewind_ = {RewindRequest::Kind::to_count, counts_.instructions - 1};
        went_back_ = true;
    }
    connection_.respond(request);
    return true;
}

bool DapSession::stepping_back() {
    std::optional<debug_info::Location> where;
    const bool arrived = at_line_start(cpu.pc, where) && cpu.sp >= step_sp_ &&
                         !(step_from_ && where->file == step_from_->file && where->line == step_from_->line);
    if (arrived || counts_.instructions <= counts_.earliest) return false;
    rewind_ = {RewindRequest::Kind::to_count, counts_.instructions - 1};
    return true;
}

void DapSession::start_step(Step step, const json& arguments) {
    step_ = step;
    call_.reset();
    line_steps_ = string_argument(arguments, "granularity") != "instruction" && setup_.info != nullptr;
    step_sp_ = cpu.sp;
    step_from_.reset();
    if (setup_.info != nullptr) step_from_ = setup_.info->location(cpu.pc);
    // Over an instruction that is not a call, a step over is a step.
    if (step == Step::over && !line_steps_ && memory[cpu.pc] != 0x20) step_ = Step::instruction;
}

// ---- breakpoints -----------------------------------------------------------

void DapSession::mark_breakpoints() {
    observed.break_at.fill(0);
    const auto mark = [](const std::vector<Breakpoint>& list) {
        for (const Breakpoint& breakpoint : list)
            if (observed.break_at[breakpoint.address] < 0xFF) ++observed.break_at[breakpoint.address];
    };
    for (const auto& [path, list] : source_breakpoints_) mark(list);
    mark(function_breakpoints_);
    mark(instruction_breakpoints_);
}

std::vector<std::uint32_t> DapSession::files_named(const std::string& path) {
    std::vector<std::uint32_t> found;
    if (setup_.info == nullptr) return found;
    const std::string wanted = absolute_path(path);
    const auto& files = setup_.info->files();
    for (std::uint32_t id = 0; id < files.size(); ++id) {
        const std::string at = sources_->path(id);
        if (!at.empty() && absolute_path(at) == wanted) found.push_back(id);
    }
    return found;
}

void DapSession::set_breakpoints(const json& request) {
    const json arguments = dap_arguments(request);
    const json source = arguments.value("source", json::object());
    const std::string path = source.is_object() ? string_argument(source, "path") : std::string();
    std::vector<Breakpoint>& list = source_breakpoints_[path];
    list.clear();
    json answers = json::array();
    const std::vector<std::uint32_t> files = files_named(path);
    const json wanted = arguments.value("breakpoints", json::array());
    for (const json& one : wanted.is_array() ? wanted : json::array()) {
        const std::int64_t line = one.is_object() ? integer_argument(one, "line") : 0;
        json answer = {{"verified", false}, {"line", line}};
        std::optional<std::uint16_t> address;
        for (const std::uint32_t file : files) {
            const std::string& name = setup_.info->files()[file].name;
            const std::optional<std::uint32_t> coded =
                line > 0 ? setup_.info->line_with_code(name, static_cast<std::uint32_t>(line)) : std::nullopt;
            if (!coded) continue;
            const std::vector<std::uint16_t> addresses = setup_.info->addresses(name, *coded);
            if (addresses.empty()) continue;
            address = addresses.front();
            answer["line"] = *coded;
            break;
        }
        if (address) {
            Breakpoint breakpoint{next_id_, *address, string_argument(one, "condition"),
                                  parse_hit_condition(string_argument(one, "hitCondition")), 0,
                                  string_argument(one, "logMessage")};
            list.push_back(breakpoint);
            answer["verified"] = true;
            answer["instructionReference"] = memory_reference(*address);
        } else {
            answer["message"] = setup_.info == nullptr ? "no debug information for this program"
                                : files.empty()        ? "this file made none of the program's code"
                                                       : "no code on or after this line";
        }
        answer["id"] = next_id_++;
        answers.push_back(answer);
    }
    if (list.empty()) source_breakpoints_.erase(path);
    mark_breakpoints();
    connection_.respond(request, {{"breakpoints", answers}});
}

void DapSession::set_address_breakpoints(const json& request, std::vector<Breakpoint>& list,
                                         const AddressOf& address_of) {
    list.clear();
    json answers = json::array();
    const json wanted = dap_arguments(request).value("breakpoints", json::array());
    for (const json& one : wanted.is_array() ? wanted : json::array()) {
        std::string message;
        const long address = one.is_object() ? address_of(one, message) : -1;
        json answer = {{"id", next_id_}, {"verified", address >= 0}};
        if (address >= 0) {
            list.push_back({next_id_, static_cast<std::uint16_t>(address), string_argument(one, "condition"),
                            parse_hit_condition(string_argument(one, "hitCondition")), 0,
                            string_argument(one, "logMessage")});
            answer["instructionReference"] = memory_reference(static_cast<unsigned>(address));
        } else {
            answer["message"] = message;
        }
        ++next_id_;
        answers.push_back(answer);
    }
    mark_breakpoints();
    connection_.respond(request, {{"breakpoints", answers}});
}

void DapSession::set_function_breakpoints(const json& request) {
    set_address_breakpoints(request, function_breakpoints_, [this](const json& one, std::string& message) -> long {
        const std::string name = string_argument(one, "name");
        if (setup_.info != nullptr) {
            if (const auto function = setup_.info->function(name)) return function->entry;
        }
        if (const auto label = labels_.find(name)) return *label;
        message = "no function or label '" + name + "'";
        return -1;
    });
}

void DapSession::set_instruction_breakpoints(const json& request) {
    set_address_breakpoints(request, instruction_breakpoints_, [](const json& one, std::string& message) {
        const long address = reference_address(one, "instructionReference");
        if (address < 0) message = "not an address of the machine";
        return address;
    });
}

// A data breakpoint's id: "ADDR:SIZE" in hex, e.g. "0A3C:18".
void DapSession::data_breakpoint_info(const json& request) {
    const json arguments = dap_arguments(request);
    const std::string name = string_argument(arguments, "name");
    std::optional<std::uint16_t> address;
    std::uint32_t size = 1;
    // A C lvalue: exactly its bytes.
    if (const auto object = c_view_.object(name, MachineContext(labels_))) {
        address = object->first;
        size = std::max<std::uint32_t>(1, object->second);
    }
    if (!address) {
        const MachineContext context(labels_);
        const Expression value = evaluate_expression(name, context);
        if (value.ok() && value.value >= 0 && value.value <= 0xFFFF) address = static_cast<std::uint16_t>(value.value);
    }
    if (!address) {
        connection_.respond(request, {{"dataId", nullptr}, {"description", "'" + name + "' has no address"}});
        return;
    }
    size = std::min<std::uint32_t>(size, 0x10000u - *address);
    char id[16];
    std::snprintf(id, sizeof id, "%04X:%X", *address, size);
    connection_.respond(request, {{"dataId", id},
                                  {"description", name + " at " + hex4(*address)},
                                  {"accessTypes", json::array({"read", "write", "readWrite"})}});
}

void DapSession::mark_watches() {
    std::fill(watch_at_.begin(), watch_at_.end(), 0);
    observed.watch_page.fill(0);
    for (const Watch& watch : watches_) {
        for (unsigned address = watch.first; address <= watch.last; ++address) {
            watch_at_[address] |= watch.access;
            observed.watch_page[address >> 8] = 1;
        }
    }
    observed.watch_any = !watches_.empty();
}

// Each check of --check is an exception filter: those ticked are made,
// and a report stops the run as an exception.
void DapSession::set_exception_breakpoints(const json& request) {
    const json arguments = dap_arguments(request);
    const json filters = arguments.contains("filters") && arguments["filters"].is_array() ? arguments["filters"] : json::array();
    CheckSet kinds;
    json breakpoints = json::array();
    for (const json& filter : filters) {
        const auto kind = filter.is_string() ? check_kind_named(filter.get<std::string>()) : std::nullopt;
        if (kind) kinds.set(*kind, true);
        breakpoints.push_back({{"verified", kind.has_value() && setup_.checker != nullptr}});
    }
    if (setup_.checker != nullptr) setup_.checker->set_kinds(kinds);
    connection_.respond(request, {{"breakpoints", breakpoints}});
}

void DapSession::set_data_breakpoints(const json& request) {
    const json arguments = dap_arguments(request);
    watches_.clear();
    json answers = json::array();
    const json wanted = arguments.value("breakpoints", json::array());
    for (const json& one : wanted.is_array() ? wanted : json::array()) {
        const std::string id = one.is_object() ? string_argument(one, "dataId") : std::string();
        unsigned address = 0, size = 0;
        char end = 0;
        const bool good = std::sscanf(id.c_str(), "%x:%x%c", &address, &size, &end) == 2 && address <= 0xFFFF &&
                          size >= 1 && address + size <= 0x10000;
        if (good) {
            const std::string kind = string_argument(one, "accessType");
            const std::uint8_t access = kind == "read" ? WATCH_READ : kind == "readWrite" ? WATCH_READ | WATCH_WRITE
                                                                                            : WATCH_WRITE;
            watches_.push_back({static_cast<std::uint16_t>(address), static_cast<std::uint16_t>(address + size - 1),
                                access});
        }
        json answer = {{"id", next_id_++}, {"verified", good}};
        if (!good) answer["message"] = "not a data breakpoint of this adapter";
        answers.push_back(answer);
    }
    mark_watches();
    connection_.respond(request, {{"breakpoints", answers}});
}

// ---- the stopped machine ---------------------------------------------------

std::string DapSession::function_name(std::uint16_t address) const {
    if (setup_.info != nullptr) {
        if (const auto function = setup_.info->function_at(address)) {
            std::string name = function->name;
            if (name.starts_with('_')) name.erase(0, 1);  // a C function's assembly name
            return name;
        }
    }
    if (const std::string label = nearest_label(labels_, address); !label.empty()) return label;
    return hex4(address);
}

// Frame 0 is where the processor is; each JSR's return address on the
// 6502 stack (cc65 keeps its C stack elsewhere) adds a caller, in code with
// lines or without (the runtime's, or a program with no debug information).
std::vector<std::uint16_t> DapSession::frames() const {
    std::vector<std::uint16_t> found{cpu.pc};
    const PeekByte peek = [](std::uint16_t address) { return bus_peek(address); };
    for (const std::uint16_t call : stacked_calls(cpu.sp, peek, MAX_FRAMES - 1, [](std::uint16_t) { return true; }))
        found.push_back(call);
    return found;
}

json DapSession::source_of(std::uint32_t file) {
    const std::string path = sources_->path(file);
    const std::string shown = path.empty() ? setup_.info->files()[file].name : absolute_path(path);
    json source = {{"name", std::filesystem::path(shown).filename().string()}};
    if (!path.empty()) source["path"] = shown;
    else source["presentationHint"] = "deemphasize";
    return source;
}

void DapSession::stack_trace(const json& request) {
    const std::vector<std::uint16_t> all = frames();
    json list = json::array();
    for (std::size_t i = 0; i < all.size(); ++i) {
        const std::uint16_t pc = all[i];
        json frame = {{"id", static_cast<int>(i)},
                      {"name", function_name(pc)},
                      {"line", 0},
                      {"column", 0},
                      {"instructionPointerReference", memory_reference(pc)}};
        if (setup_.info != nullptr) {
            if (const auto where = setup_.info->location(pc)) {
                frame["source"] = source_of(where->file);
                frame["line"] = where->line;
                frame["column"] = 1;
            }
        }
        list.push_back(frame);
    }
    connection_.respond(request, {{"stackFrames", list}, {"totalFrames", list.size()}});
}

void DapSession::scopes(const json& request) {
    const std::int64_t frame = integer_argument(dap_arguments(request), "frameId");
    json list = json::array();
    const auto add = [&](const char* name, ScopeKind kind, const char* hint) {
        json scope = {{"name", name}, {"variablesReference", scope_reference(static_cast<std::size_t>(frame), kind)},
                      {"expensive", false}};
        if (hint != nullptr) scope["presentationHint"] = hint;
        list.push_back(scope);
    };
    if (setup_.info != nullptr && (frame == 0 || c_view_.is_c_frame(static_cast<std::size_t>(frame))))
        add("Locals", ScopeKind::locals, "locals");
    add("Registers", ScopeKind::registers, "registers");
    if (setup_.info != nullptr) add("Globals", ScopeKind::globals, nullptr);
    add("Zero page", ScopeKind::zero_page, nullptr);
    connection_.respond(request, {{"scopes", list}});
}

void DapSession::variables(const json& request) {
    const std::int64_t reference = integer_argument(dap_arguments(request), "variablesReference");
    const MachineContext machine(labels_);
    tell_c_notes();
    if (reference >= DapCView::FIRST_CHILD) {
        connection_.respond(request, {{"variables", c_view_.children(reference, machine)}});
        return;
    }
    const auto kind = static_cast<ScopeKind>(reference % 8);
    json list = json::array();
    const auto add = [&](const std::string& name, const std::string& value, std::optional<unsigned> address) {
        json variable = {{"name", name}, {"value", value}, {"variablesReference", 0}};
        if (address) variable["memoryReference"] = memory_reference(*address);
        list.push_back(variable);
    };
    const PeekByte peek = [](std::uint16_t address) { return bus_peek(address); };
    switch (kind) {
    case ScopeKind::registers: {
        char text[16];
        const auto byte = [&](const char* name, unsigned value) {
            std::snprintf(text, sizeof text, "$%02X", value);
            add(name, text, std::nullopt);
        };
        add("PC", hex4(cpu.pc), cpu.pc);
        byte("A", cpu.a);
        byte("X", cpu.x);
        byte("Y", cpu.y);
        byte("SP", cpu.sp);
        static constexpr char FLAG_NAMES[] = "NV-BDIZC";
        std::string flags;
        for (int bit = 0; bit < 8; ++bit) flags += (cpu.status & (0x80 >> bit)) ? FLAG_NAMES[bit] : '.';
        add("P", flags, std::nullopt);
        add("instructions", std::to_string(counts_.instructions), std::nullopt);
        add("cycles", std::to_string(counts_.cycles), std::nullopt);
        break;
    }
    case ScopeKind::locals: list = c_view_.locals(static_cast<std::size_t>(reference / 8), machine); break;
    case ScopeKind::globals: list = c_view_.globals(machine); break;
    case ScopeKind::zero_page: {
        char name[8];
        char value[64];
        for (unsigned row = 0; row < 0x100; row += 16) {
            int used = 0;
            for (unsigned i = 0; i < 16; ++i)
                used += std::snprintf(value + used, sizeof value - static_cast<std::size_t>(used), i ? " %02X" : "%02X",
                                      bus_peek(static_cast<std::uint16_t>(row + i)));
            std::snprintf(name, sizeof name, "$%02X", row);
            add(name, value, row);
        }
        break;
    }
    }
    connection_.respond(request, {{"variables", list}});
}

std::optional<std::string> DapSession::value_text(const std::string& text, std::string& error, bool brief) {
    const MachineContext machine(labels_);
    if (const auto body = c_view_.evaluate(text, 0, machine, error)) {
        if (!error.empty()) return std::nullopt;
        return body->value("result", std::string());
    }
    const Expression value = evaluate_expression(text, machine);
    if (!value.ok()) {
        error = value.error;
        return std::nullopt;
    }
    if (!brief) return describe_value(value.value, &labels_);
    char shown[24];
    if (value.value < 0) std::snprintf(shown, sizeof shown, "%lld", static_cast<long long>(value.value));
    else std::snprintf(shown, sizeof shown, value.value <= 0xFF ? "$%02llX" : "$%04llX", static_cast<unsigned long long>(value.value));
    return shown;
}

void DapSession::evaluate(const json& request) {
    const json arguments = dap_arguments(request);
    const std::string text = string_argument(arguments, "expression");
    const auto frame = static_cast<std::size_t>(std::max<std::int64_t>(0, integer_argument(arguments, "frameId")));
    // C, where the text names a C variable in scope (watch, hover, repl alike).
    std::string c_error;
    {
        const MachineContext machine(labels_);
        const auto body = c_view_.evaluate(text, frame, machine, c_error);
        tell_c_notes();
        if (body && c_error.empty()) {
            connection_.respond(request, *body);
            return;
        }
    }
    const MachineContext context(labels_);
    const Expression value = evaluate_expression(text, context);
    if (!value.ok()) {
        // In the Debug Console, a line that begins with one of the
        // monitor's commands and is no expression runs as that command.
        const std::vector<std::string_view> words = split_arguments(text);
        std::string verb = words.empty() ? std::string() : std::string(words.front());
        std::transform(verb.begin(), verb.end(), verb.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (string_argument(arguments, "context") == "repl" && setup_.console &&
            std::find(setup_.console_words.begin(), setup_.console_words.end(), verb) != setup_.console_words.end()) {
            std::string said = setup_.console(text, labels_);
            if (said.ends_with('\n')) said.pop_back();
            connection_.respond(request, {{"result", said}, {"variablesReference", 0}});
            // It may have changed memory or registers: the views are read again.
            connection_.event("invalidated", {{"areas", json::array({"variables"})}});
            return;
        }
        connection_.refuse(request, c_error.empty() ? value.error : c_error);
        return;
    }
    json body = {{"result", describe_value(value.value, &labels_)}, {"variablesReference", 0}};
    if (value.value >= 0 && value.value <= 0xFFFF) body["memoryReference"] = memory_reference(static_cast<unsigned>(value.value));
    connection_.respond(request, body);
}

// What reading the C sources had to say (no libclang, a source changed
// since the build), once, on the Debug Console.
void DapSession::tell_c_notes() {
    const std::string notes = c_view_.take_notes();
    if (!notes.empty()) connection_.event("output", {{"category", "console"}, {"output", notes}});
}

void DapSession::set_variable(const json& request) {
    const json arguments = dap_arguments(request);
    const std::int64_t reference = integer_argument(arguments, "variablesReference");
    const MachineContext machine(labels_);
    std::size_t frame = static_cast<std::size_t>(reference < DapCView::FIRST_CHILD ? reference / 8 : 0);
    const auto kind = static_cast<ScopeKind>(reference % 8);
    if (reference < DapCView::FIRST_CHILD && kind != ScopeKind::locals && kind != ScopeKind::globals) {
        connection_.refuse(request, "setVariable: only C variables can be set here (writeMemory for the rest)");
        return;
    }
    const std::string lvalue = c_view_.lvalue_of(reference, string_argument(arguments, "name"), frame, machine);
    std::string error = lvalue.empty() ? "no such variable" : "";
    json body;
    if (error.empty()) body = c_view_.assign(lvalue, string_argument(arguments, "value"), frame, machine, error);
    if (!error.empty()) connection_.refuse(request, "setVariable: " + error);
    else connection_.respond(request, body);
}

void DapSession::set_expression(const json& request) {
    const json arguments = dap_arguments(request);
    const MachineContext machine(labels_);
    std::string error;
    const auto frame = static_cast<std::size_t>(std::max<std::int64_t>(0, integer_argument(arguments, "frameId")));
    const json body = c_view_.assign(string_argument(arguments, "expression"), string_argument(arguments, "value"),
                                     frame, machine, error);
    if (!error.empty()) connection_.refuse(request, "setExpression: " + error);
    else connection_.respond(request, body);
}

void DapSession::read_memory(const json& request) {
    const json arguments = dap_arguments(request);
    const long start = reference_address(arguments, "memoryReference");
    if (start < 0) {
        connection_.refuse(request, "readMemory: not an address of the machine");
        return;
    }
    const std::int64_t wanted = std::clamp<std::int64_t>(integer_argument(arguments, "count"), 0, 0x10000 - start);
    std::vector<std::uint8_t> bytes;
    for (std::int64_t i = 0; i < wanted; ++i) bytes.push_back(bus_peek(static_cast<std::uint16_t>(start + i)));
    connection_.respond(request, {{"address", memory_reference(static_cast<unsigned>(start))},
                                  {"unreadableBytes", integer_argument(arguments, "count") - wanted},
                                  {"data", base64(bytes)}});
}

void DapSession::write_memory(const json& request) {
    const json arguments = dap_arguments(request);
    const long start = reference_address(arguments, "memoryReference");
    const auto bytes = from_base64(string_argument(arguments, "data"));
    if (start < 0 || !bytes || static_cast<std::size_t>(start) + bytes->size() > 0x10000) {
        connection_.refuse(request, "writeMemory: not an address and base64 data that fit the machine");
        return;
    }
    // Plain memory, as the monitor's `e` writes it: no device acts.
    std::copy(bytes->begin(), bytes->end(), memory.begin() + start);
    connection_.respond(request, {{"offset", 0}, {"bytesWritten", bytes->size()}});
    connection_.event("memory", {{"memoryReference", memory_reference(static_cast<unsigned>(start))},
                                 {"offset", 0},
                                 {"count", bytes->size()}});
}

void DapSession::disassemble(const json& request) {
    const json arguments = dap_arguments(request);
    const long origin = reference_address(arguments, "memoryReference");
    const std::int64_t count = std::clamp<std::int64_t>(integer_argument(arguments, "instructionCount"), 0, 4096);
    if (origin < 0) {
        connection_.refuse(request, "disassemble: not an address of the machine");
        return;
    }
    // Instructions before the origin: walk forward from well before it and
    // keep the last ones that end at it.
    std::int64_t skip = integer_argument(arguments, "instructionOffset");
    std::int64_t address = origin;
    if (skip < 0) {
        std::vector<std::int64_t> starts;
        for (std::int64_t at = std::max<std::int64_t>(0, origin + skip * 3); at < origin;
             at += instruction_length(bus_peek(static_cast<std::uint16_t>(at))))
            starts.push_back(at);
        const std::int64_t back = std::min<std::int64_t>(-skip, static_cast<std::int64_t>(starts.size()));
        address = back > 0 ? starts[starts.size() - static_cast<std::size_t>(back)] : origin;
        skip += back;
    }
    json list = json::array();
    for (std::int64_t i = 0; i < count; ++i) {
        if (address > 0xFFFF || skip < 0) {
            // Outside the machine: the client asked for a fixed count.
            list.push_back({{"address", memory_reference(static_cast<unsigned>(std::clamp<std::int64_t>(address, 0, 0xFFFF)))},
                            {"instruction", "??"},
                            {"presentationHint", "invalid"}});
            if (skip < 0) ++skip;
            continue;
        }
        char text[64];
        const int length = ::disassemble(static_cast<std::uint16_t>(address), &labels_, text, sizeof text);
        if (skip > 0) {
            --skip;
            --i;
            address += length;
            continue;
        }
        std::string bytes;
        for (int b = 0; b < length && address + b <= 0xFFFF; ++b) {
            char byte[4];
            std::snprintf(byte, sizeof byte, b ? " %02X" : "%02X", bus_peek(static_cast<std::uint16_t>(address + b)));
            bytes += byte;
        }
        json line = {{"address", memory_reference(static_cast<unsigned>(address))},
                     {"instruction", text},
                     {"instructionBytes", bytes}};
        if (const char* label = labels_.name_at(static_cast<std::uint16_t>(address))) line["symbol"] = label;
        if (setup_.info != nullptr) {
            if (const auto where = setup_.info->location(static_cast<std::uint16_t>(address))) {
                line["location"] = source_of(where->file);
                line["line"] = where->line;
            }
        }
        list.push_back(line);
        address += length;
    }
    connection_.respond(request, {{"instructions", list}});
}

// ---- set next statement, completions, sources, restart ---------------------

void DapSession::goto_targets(const json& request) {
    const json arguments = dap_arguments(request);
    const json source = arguments.value("source", json::object());
    const std::string path = source.is_object() ? string_argument(source, "path") : std::string();
    const std::int64_t line = integer_argument(arguments, "line");
    json targets = json::array();
    for (const std::uint32_t file : files_named(path)) {
        const std::string& name = setup_.info->files()[file].name;
        const auto coded = line > 0 ? setup_.info->line_with_code(name, static_cast<std::uint32_t>(line)) : std::nullopt;
        if (!coded) continue;
        const std::vector<std::uint16_t> addresses = setup_.info->addresses(name, *coded);
        if (addresses.empty()) continue;
        targets.push_back({{"id", addresses.front()},
                           {"label", std::filesystem::path(name).filename().string() + ":" + std::to_string(*coded)},
                           {"line", *coded},
                           {"instructionPointerReference", memory_reference(addresses.front())}});
        break;
    }
    connection_.respond(request, {{"targets", targets}});
}

// Set next statement: pc moves there, nothing runs.
void DapSession::go_to(const json& request) {
    const std::int64_t target = integer_argument(dap_arguments(request), "targetId", -1);
    if (target < 0 || target > 0xFFFF) {
        connection_.refuse(request, "goto: not a target gotoTargets gave");
        return;
    }
    cpu.pc = static_cast<std::uint16_t>(target);
    connection_.respond(request);
    tell_stopped({{"reason", "goto"}, {"threadId", THREAD_ID}, {"allThreadsStopped", true}});
}

// The word before the cursor, completed from the monitor's commands (first
// on the line), the C variables in scope and the debug information's names.
void DapSession::completions(const json& request) {
    const json arguments = dap_arguments(request);
    const std::string text = string_argument(arguments, "text");
    const auto cursor = static_cast<std::size_t>(
        std::clamp<std::int64_t>(integer_argument(arguments, "column", static_cast<std::int64_t>(text.size()) + 1) - 1, 0,
                                 static_cast<std::int64_t>(text.size())));
    std::size_t start = cursor;
    const auto in_word = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_' || c == '.' || c == '@'; };
    while (start > 0 && in_word(text[start - 1])) --start;
    const std::string prefix = text.substr(start, cursor - start);
    std::vector<std::pair<std::string, const char*>> found;
    const auto offer = [&](const std::string& name, const char* type) {
        if (name.starts_with(prefix) && name != prefix) found.emplace_back(name, type);
    };
    if (text.find_first_not_of(' ') >= start)
        for (const std::string& word : setup_.console_words) offer(word, "keyword");
    if (setup_.info != nullptr) {
        if (const auto function = setup_.info->function_at(cpu.pc))
            for (const debug_info::CVariable& local : setup_.info->c_locals(function->scope)) offer(local.name, "variable");
        for (const debug_info::CVariable& global : setup_.info->c_globals()) offer(global.name, "variable");
        for (const debug_info::Symbol& symbol : setup_.info->symbols())
            if (symbol.kind == debug_info::SymbolKind::label) offer(symbol.name, "reference");
    }
    std::sort(found.begin(), found.end());
    found.erase(std::unique(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first == b.first; }),
                found.end());
    json targets = json::array();
    for (const auto& [name, type] : found) targets.push_back({{"label", name}, {"type", type}});
    connection_.respond(request, {{"targets", targets}});
}

void DapSession::loaded_sources(const json& request) {
    json list = json::array();
    if (setup_.info != nullptr) {
        std::vector<std::string> seen;
        for (std::uint32_t file = 0; file < setup_.info->files().size(); ++file) {
            json source = source_of(file);
            const std::string key = source.value("path", source.value("name", std::string()));
            if (std::find(seen.begin(), seen.end(), key) != seen.end()) continue;
            seen.push_back(key);
            list.push_back(source);
        }
    }
    connection_.respond(request, {{"sources", list}});
}

// Back to the start through the kept past: the same run again, as launched.
bool DapSession::restart(const json& request) {
    if (counts_.earliest == UINT64_MAX) {
        connection_.refuse(request, "restart goes back through the kept past: it needs a deterministic launch "
                                    "(\"deterministic\": true); stop and launch again");
        return false;
    }
    if (counts_.earliest != 0) {
        connection_.refuse(request, "restart: the run's start is no longer kept (" +
                                        std::string(counts_.earliest_why == PastLimit::data_file ? "the data file channel was used"
                                                    : counts_.earliest_why == PastLimit::input ? "more standard input was read than is kept"
                                                    : counts_.earliest_why == PastLimit::by_hand ? "memory or registers were changed by hand"
                                                                                                : "older states are not kept") +
                                        "); stop and launch again");
        return false;
    }
    for (auto& [path, list] : source_breakpoints_)
        for (Breakpoint& breakpoint : list) breakpoint.hits = 0;
    for (Breakpoint& breakpoint : function_breakpoints_) breakpoint.hits = 0;
    for (Breakpoint& breakpoint : instruction_breakpoints_) breakpoint.hits = 0;
    connection_.respond(request);
    if (counts_.instructions == 0) {  // at the start already
        if (!setup_.stop_on_entry) return true;
        tell_stopped({{"reason", "entry"}, {"threadId", THREAD_ID}, {"allThreadsStopped", true}});
        return false;
    }
    rewind_ = {RewindRequest::Kind::restart, 0};
    restarting_ = true;
    return true;
}
