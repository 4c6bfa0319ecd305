#pragma once

#include <optional>
#include <string>

namespace control {

// Sends one request line and returns the reply line, or nullopt with `error` set when no
// instance answers on that socket.
std::optional<std::string> sendRequest(const std::string& socketPath, const std::string& line,
                                       int timeoutMs, std::string& error);

}  // namespace control
