// The debug adapter's conversation before the program runs: initialize,
// then launch, whose arguments become the run's command line.
#pragma once

#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "adapter/dap_connection.hpp"
#include "adapter/dap_inbox.hpp"
#include "engine/run_options.hpp"

struct DapLaunch {
    // Owned here; `options` holds no path: a pointer into them would not
    // survive the move of a launch (a short string moves with its object).
    std::string program, cwd, keys, debug_info;
    bool stop_on_entry = false;
    nlohmann::json request;  // answered once the machine is ready
    RunOptions options;
};

// Reads the launch request's arguments: an empty string, or what is wrong.
[[nodiscard]] std::string dap_parse_launch(const nlohmann::json& arguments, DapLaunch& launch);

// Answers requests until a valid launch; nullopt when the client leaves
// (disconnect, terminate, or the end of its input) first.
[[nodiscard]] std::optional<DapLaunch> dap_await_launch(DapConnection& connection, DapInbox& inbox);

// What the adapter can do, for the initialize response.
[[nodiscard]] nlohmann::json dap_capabilities(bool can_step_back);
