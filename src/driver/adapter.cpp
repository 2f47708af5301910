#include "driver/adapter.hpp"

#include <cstdio>
#include <cstdlib>

#ifdef EMU6502_HAVE_DAP
#include <filesystem>
#include <memory>
#include <string>

#include "bus/devices.hpp"
#include "adapter/dap_connection.hpp"
#include "adapter/dap_inbox.hpp"
#include "adapter/dap_launch.hpp"
#include "adapter/dap_session.hpp"
#include "host/dap_streams.hpp"
#include "host/terminal.hpp"
#include "monitor/monitor_command.hpp"
#include "monitor/monitor_console.hpp"

namespace {
DapConnection* output_connection = nullptr;

// The program's console output and the emulator's messages, as the
// client's output events.
void forward_output(int stream, const char* data, std::size_t size) {
    output_connection->output(stream == 1 ? "stdout" : "stderr", std::string(data, size));
}

// Ends the adapter without running any exit handler: the thread that reads
// the client may still hold its stream.
[[noreturn]] void end_adapter(int status) {
    std::fflush(stdout);
    std::fflush(stderr);
    std::_Exit(status);
}

// The client went away or asked to end while the program ran: it ends as a
// stop signal ends it, memory not saved.
[[noreturn]] void leave_run(DapConnection& connection) {
    host_console_close();
    (void)data_file_close();
    keyboard_close();
    dap_output_finish();
    connection.event("terminated");
    end_adapter(0);
}

// The run's command line from the launch's settings. The paths point into
// `launch`'s own strings, pointed at again here: the launch was moved since
// it was read, and a short string moves with its object.
CommandLine launch_line(const DapLaunch& launch) {
    CommandLine line;
    static_cast<RunOptions&>(line) = launch.options;
    line.image_path = launch.program.c_str();
    if (!launch.debug_info.empty()) line.debug_info = launch.debug_info.c_str();
    return line;
}
}  // namespace

int serve_debug_adapter(RunProgram run) {
    const std::optional<DapChannel> channel = dap_channel_open();
    if (!channel) {
        std::fputs("emu6502: --dap: can't take over standard input and output.\n", stderr);
        return 1;
    }
    DapConnection connection(channel->out);
    DapInbox inbox(channel->in);
    std::optional<DapLaunch> launch = dap_await_launch(connection, inbox);
    if (!launch) end_adapter(0);

    // The launch's folder holds membackup and the data files.
    if (!launch->cwd.empty()) {
        std::error_code error;
        std::filesystem::current_path(launch->cwd, error);
        if (error) {
            connection.refuse(launch->request, "launch: can't use folder '" + launch->cwd + "': " + error.message());
            end_adapter(1);
        }
    }
    if (!launch->keys.empty()) {
        const std::string error = dap_keys_from(launch->keys.c_str());
        if (!error.empty()) {
            connection.refuse(launch->request, "launch: " + error);
            end_adapter(1);
        }
    }
    launch->options.dap = true;
    // The keyboard reads the keys file (or nothing) as -i reads standard input.
    launch->options.stdin_input = true;
    output_connection = &connection;
    if (!dap_output_start(forward_output)) {
        connection.refuse(launch->request, "launch: can't capture the program's output");
        end_adapter(1);
    }

    std::unique_ptr<DapSession> session;
    const AdapterRun adapter{[&](const RunDebugInfo& debug, Checker* checker) {
        DapSessionSetup setup{debug.info.get(), debug.path, launch->stop_on_entry, launch->options.deterministic,
                              launch->request,
                              [&connection] { leave_run(connection); }, debug.labels,
                              // The Debug Console's lines that are no expression.
                              [](const std::string& line, const Labels& labels) { return monitor_console_line(line, labels); },
                              {}, checker};
        for (const std::string_view word : monitor_command_words()) setup.console_words.emplace_back(word);
        session = std::make_unique<DapSession>(connection, inbox, std::move(setup));
        return session.get();
    }};
    const int status = run(launch_line(*launch), &adapter);

    dap_output_finish();  // every line of output reaches the client before the end
    if (session == nullptr || !session->launched()) {
        connection.refuse(launch->request,
                          "launch: the program could not start (exit status " + std::to_string(status) +
                              "); the output says why");
    } else {
        connection.event("exited", {{"exitCode", status}});
    }
    connection.event("terminated");
    // The client may still ask, then it disconnects.
    for (;;) {
        const DapRead read = inbox.take();
        if (read.status == DapReadStatus::end) break;
        if (read.status == DapReadStatus::malformed) {
            connection.refuse(nlohmann::json::object(), read.error);
            continue;
        }
        const std::string command = dap_command(read.message);
        if (command == "disconnect" || command == "terminate") {
            connection.respond(read.message);
            break;
        }
        if (command == "threads") connection.respond(read.message, {{"threads", nlohmann::json::array()}});
        else connection.refuse(read.message, "the program has ended");
    }
    end_adapter(status);
}
#else
int serve_debug_adapter(RunProgram) {
    std::fputs("emu6502: this emu6502 was built without the debug adapter (--dap).\n", stderr);
    return EXIT_BAD_OPTION;
}
#endif
