#include "adapter/dap_connection.hpp"

#include "adapter/dap_transport.hpp"

void DapConnection::send(nlohmann::json message) {
    const std::lock_guard<std::mutex> hold(lock_);
    message["seq"] = next_seq_++;
    if (!dap_write(out_, message)) failed_ = true;
}

namespace {
nlohmann::json response_to(const nlohmann::json& request, bool success) {
    nlohmann::json response = {{"type", "response"}, {"success", success}, {"command", dap_command(request)}};
    const auto seq = request.find("seq");
    response["request_seq"] = seq != request.end() && seq->is_number_integer() ? seq->get<long long>() : 0;
    return response;
}
}  // namespace

void DapConnection::respond(const nlohmann::json& request, nlohmann::json body) {
    nlohmann::json response = response_to(request, true);
    response["body"] = std::move(body);
    send(std::move(response));
}

void DapConnection::refuse(const nlohmann::json& request, const std::string& message) {
    nlohmann::json response = response_to(request, false);
    response["message"] = message;
    response["body"] = {{"error", {{"id", 1}, {"format", message}, {"showUser", true}}}};
    send(std::move(response));
}

void DapConnection::event(const char* name, nlohmann::json body) {
    send({{"type", "event"}, {"event", name}, {"body", std::move(body)}});
}

void DapConnection::output(const char* category, const std::string& text) {
    event("output", {{"category", category}, {"output", text}});
}

std::string dap_command(const nlohmann::json& request) {
    if (!request.is_object()) return {};
    const auto command = request.find("command");
    return command != request.end() && command->is_string() ? command->get<std::string>() : std::string();
}

nlohmann::json dap_arguments(const nlohmann::json& request) {
    if (!request.is_object()) return nlohmann::json::object();
    const auto arguments = request.find("arguments");
    return arguments != request.end() && arguments->is_object() ? *arguments : nlohmann::json::object();
}
