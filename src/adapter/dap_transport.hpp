// The Debug Adapter Protocol's framing: each message is a JSON object after
// a "Content-Length: N" header and a blank line, on a byte stream.
#pragma once

#include <cstdio>
#include <string>

#include <nlohmann/json.hpp>

enum class DapReadStatus {
    message,    // `message` holds a JSON object
    end,        // the stream ended between messages
    malformed,  // `error` says why; the stream is at the next message when it can be found
};

struct DapRead {
    DapReadStatus status = DapReadStatus::end;
    nlohmann::json message;
    std::string error;
    // Malformed in a way that leaves the stream's next message unknown (a
    // length over the limit): nothing after it is read, the adapter ends.
    bool last = false;
};

// A message larger than this is refused and ends the adapter: no client sends one.
inline constexpr std::size_t DAP_MAX_CONTENT = 16u << 20;

// Reads the next message; never throws.
[[nodiscard]] DapRead dap_read(std::FILE* in);
// Writes one message and flushes; false when the stream failed.
bool dap_write(std::FILE* out, const nlohmann::json& message);
