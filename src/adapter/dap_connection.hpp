// One client of the debug adapter: requests come in, responses and events
// go out. Output may come from two threads (the machine's and the one that
// forwards the program's console), so every message is written whole under
// a lock.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>

#include <nlohmann/json.hpp>

class DapConnection {
public:
    explicit DapConnection(std::FILE* out) : out_(out) {}

    void respond(const nlohmann::json& request, nlohmann::json body = nlohmann::json::object());
    // A failed request: `message` is shown to the user.
    void refuse(const nlohmann::json& request, const std::string& message);
    void event(const char* name, nlohmann::json body = nlohmann::json::object());
    // The program's console output or the emulator's own messages.
    void output(const char* category, const std::string& text);
    [[nodiscard]] bool failed() const { return failed_; }

private:
    void send(nlohmann::json message);

    std::FILE* out_;
    std::mutex lock_;
    long long next_seq_ = 1;
    bool failed_ = false;
};

// The command of a request ("" when it has none), and its arguments (an
// empty object when it has none or they are not an object).
[[nodiscard]] std::string dap_command(const nlohmann::json& request);
[[nodiscard]] nlohmann::json dap_arguments(const nlohmann::json& request);
