#include "adapter/dap_transport.hpp"

#include <cctype>
#include <charconv>
#include <string_view>

namespace {
constexpr std::size_t MAX_HEADER_LINE = 1024;

// One header line without its CR LF; false at the end of the stream. A line
// too long for a header is read to its end and reported as such.
bool read_header_line(std::FILE* in, std::string& line, bool& too_long) {
    line.clear();
    too_long = false;
    int c;
    while ((c = std::fgetc(in)) != EOF && c != '\n') {
        if (line.size() < MAX_HEADER_LINE) line += static_cast<char>(c);
        else too_long = true;
    }
    if (c == EOF && line.empty()) return false;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
}

bool equal_ignoring_case(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
    return true;
}
}  // namespace

DapRead dap_read(std::FILE* in) {
    DapRead read;
    std::string line;
    bool too_long = false;
    bool any_header = false;
    std::string header_error;
    std::size_t length = 0;
    bool have_length = false;
    for (;;) {
        if (!read_header_line(in, line, too_long)) {
            if (!any_header) return read;  // the end, between messages
            read.status = DapReadStatus::malformed;
            read.error = "the stream ended inside a message's header";
            return read;
        }
        if (line.empty() && !too_long) {
            if (any_header) break;
            continue;  // blank lines between messages are tolerated
        }
        any_header = true;
        if (too_long) {
            header_error = "a header line is too long";
            continue;
        }
        const std::size_t colon = line.find(':');
        if (colon == std::string::npos) {
            header_error = "a header line has no ':'";
            continue;
        }
        if (!equal_ignoring_case(std::string_view(line).substr(0, colon), "Content-Length")) continue;
        std::string_view value = std::string_view(line).substr(colon + 1);
        while (!value.empty() && value.front() == ' ') value.remove_prefix(1);
        while (!value.empty() && value.back() == ' ') value.remove_suffix(1);
        const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), length);
        if (error != std::errc() || end != value.data() + value.size() || value.empty()) {
            header_error = "Content-Length is not a number";
            continue;
        }
        have_length = true;
    }
    if (header_error.empty() && !have_length) header_error = "a message has no Content-Length";
    if (header_error.empty() && length > DAP_MAX_CONTENT) {
        // Skipping that much input would take long and find nothing sane.
        read.status = DapReadStatus::malformed;
        read.error = "a message is longer than 16 MiB; the adapter reads no further";
        read.last = true;
        return read;
    }
    if (!header_error.empty()) {
        // The content's length is unknown or refused: what follows is skipped
        // up to the next header, as far as it can be told.
        if (have_length) {
            for (std::size_t i = 0; i < length && std::fgetc(in) != EOF; ++i) {
            }
        }
        read.status = DapReadStatus::malformed;
        read.error = header_error;
        return read;
    }
    std::string content(length, '\0');
    const std::size_t got = length == 0 ? 0 : std::fread(content.data(), 1, length, in);
    if (got != length) {
        read.status = DapReadStatus::malformed;
        read.error = "the stream ended inside a message";
        return read;
    }
    read.message = nlohmann::json::parse(content, nullptr, false);
    if (read.message.is_discarded()) {
        read.status = DapReadStatus::malformed;
        read.error = "a message is not valid JSON";
        read.message = nullptr;
        return read;
    }
    if (!read.message.is_object()) {
        read.status = DapReadStatus::malformed;
        read.error = "a message is not a JSON object";
        read.message = nullptr;
        return read;
    }
    read.status = DapReadStatus::message;
    return read;
}

bool dap_write(std::FILE* out, const nlohmann::json& message) {
    // Invalid UTF-8 (a program's output, say) is replaced, not thrown at.
    const std::string text = message.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    if (std::fprintf(out, "Content-Length: %zu\r\n\r\n", text.size()) < 0) return false;
    if (std::fwrite(text.data(), 1, text.size(), out) != text.size()) return false;
    return std::fflush(out) == 0;
}
